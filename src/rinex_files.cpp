// The run's output files. The names come from the raw input name (or are the
// standard long names); both files are written through large buffers and
// rewound once at the end for the header rewrite. With periods, each epoch
// is routed to the file pair of its period of GPS time: a new period closes
// the open one (whose final headers go with the closing item) and opens its
// own; a period once closed is never reopened.
#include "rinex_files.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "const.h"
#include "crx_encode.h"
#include "file_io.h"
#include "obs.h"
#include "output_items.h"
#include "output_stage.h"
#include "rinex_config.h"
#include "rinex_names.h"
#include "rinex_nav.h"
#include "rinex_obs.h"
#include "rinex_output.h"
#include "time_convert.h"

namespace {

// The raw input and the names the files were opened under.
std::string Input_name;
std::string Obs_name;
std::string Nav_name;
// Files written under long names are opened under this ending and renamed
// when the run (or the period) is complete, so that a cut-off file never
// carries a final name.
const char* const kProvisionalEnding = ".incomplete";

// The open period and the periods already closed.
struct Period {
  bool open;
  int64_t index;
  UTC_TIME_T start, first, last;
  bool has_epoch;
};
Period Current;
std::set<int64_t> Closed;
long Dropped_epochs;

bool is_input_file(const std::string& path) { return File_same(Input_name.c_str(), path); }

// The output names up to their endings: the raw name up to its last '.', or,
// with an output folder, its file name up to the last '.' inside that folder
// (created if missing). Empty when the folder cannot be created.
std::string output_stem(const char* input) {
  const Settings& s = RINEX_settings();
  std::string stem(input);
  if (!s.given[SET_OUTPUT_DIR]) {
    size_t dot = stem.rfind('.');
    if (dot != std::string::npos) stem.resize(dot);
    return stem;
  }
  size_t slash = stem.find_last_of(File_separators());
  if (slash != std::string::npos) stem.erase(0, slash + 1);
  size_t dot = stem.rfind('.');
  if (dot != std::string::npos) stem.resize(dot);
  const std::string& dir = s.text[SET_OUTPUT_DIR];
  std::string why;
  if (!File_make_folders(dir, &why)) {
    printf("RINEX output folder %s cannot be created: %s\n", dir.c_str(), why.c_str());
    return "";
  }
  bool ends_in_separator = strchr(File_separators(), dir.back()) != nullptr;
  return dir + (ends_in_separator ? "" : "/") + stem;
}

std::string folder() {
  const Settings& s = RINEX_settings();
  if (!s.given[SET_OUTPUT_DIR]) return "";
  const std::string& dir = s.text[SET_OUTPUT_DIR];
  char last = dir.back();
  return (last == '/' || last == '\\') ? dir : dir + "/";
}

std::string obs_header_now() {
  UTC_TIME_T start;
  UTC_TIME_T end;
  Obs_get_start_utc_time(&start);
  Obs_get_end_utc_time(&end);
  return RINEX_obs_header_text(start, end);
}

void put_period_item(U32 kind, const std::string (&parts)[4]) {
  size_t len = 0;
  for (const std::string& part : parts) len += part.size() + 1;
  U08* p = Stage_reserve(kind, (U32)len);
  for (const std::string& part : parts) {
    memcpy(p, part.c_str(), part.size() + 1);
    p += part.size() + 1;
  }
  Stage_commit((U32)len);
}

void open_period(int64_t index) {
  D64 length = RINEX_settings().split;
  Current =
      Period{true, index, TCVT_calendar_of_gps_seconds(index * (int64_t)length), {}, {}, false};
  std::string parts[4] = {
      folder() + RINEX_period_name('O', Current.start, length) + kProvisionalEnding,
      folder() + RINEX_period_name('N', Current.start, length) + kProvisionalEnding,
      RINEX_obs_header_text(UTC_TIME_T{}, UTC_TIME_T{}), RINEX_nav_header_text()};
  put_period_item(ITEM_PERIOD_OPEN, parts);
}

void close_period() {
  D64 length = RINEX_settings().split;
  std::string parts[4] = {folder() + RINEX_period_name('O', Current.start, length),
                          folder() + RINEX_period_name('N', Current.start, length),
                          RINEX_obs_header_text(Current.first, Current.last),
                          RINEX_nav_header_text()};
  put_period_item(ITEM_PERIOD_CLOSE, parts);
  Closed.insert(Current.index);
  Current.open = false;
}

}  // namespace

bool RINEX_splits() { return RINEX_settings().split > 0; }

S16 RINEX_init(const char* input) {
  const Settings& s = RINEX_settings();
  // The name is built at its full length: a long path is never cut short.
  std::string stem = output_stem(input);
  if (stem.empty() && s.given[SET_OUTPUT_DIR]) return 0;
  RINEX_clear_selection();
  Input_name = input;
  RINEX_output_bind(Input_name);
  if (RINEX_splits()) return 1;  // the period files are opened as their periods begin
  const char* ending = s.long_names ? kProvisionalEnding : "";
  std::string name = stem + RINEX_obs_ending(false) + ending;
  std::string nav_name = stem + RINEX_nav_ending(false) + ending;
  Obs_name = name;
  Nav_name = nav_name;
  for (const std::string* out : {&name, &nav_name}) {
    if (is_input_file(*out)) {
      printf("RINEX file %s is the raw file itself; it is not overwritten\n", out->c_str());
      return 0;
    }
  }
  bool gzip = s.gzip;
  if (!Sink_open(RINEX_obs_sink(), name, gzip)) {
    printf("RINEX obs file %s open error\n", name.c_str());
    return 0;
  }
  if (!Sink_open(RINEX_nav_sink(), nav_name, gzip)) {
    puts("RINEX nav file open error");
    return 0;
  }
  return 1;
}

void RINEX_write_headers() {
  if (RINEX_splits()) return;
  std::string obs = obs_header_now();
  std::string nav = RINEX_nav_header_text();
  Sink_header(RINEX_obs_sink(), obs.data(), obs.size());
  Sink_header(RINEX_nav_sink(), nav.data(), nav.size());
}

void RINEX_start_writing() {
  Current = Period{};
  Closed.clear();
  Dropped_epochs = 0;
  RINEX_output_start();
}

void RINEX_stop_writing() {
  if (Current.open) close_period();
  RINEX_output_stop();
}

bool RINEX_route_epoch(const UTC_TIME_T& t, bool is_epoch) {
  if (!RINEX_splits()) return true;
  D64 index_value = std::floor(TCVT_calendar_to_gps_seconds(t) / RINEX_settings().split);
  int64_t index = (int64_t)index_value;
  if (!Current.open || index != Current.index) {
    if (Closed.count(index) != 0) {
      if (is_epoch) Dropped_epochs++;
      return false;
    }
    if (Current.open) close_period();
    open_period(index);
  }
  if (is_epoch) {
    if (!Current.has_epoch) Current.first = t;
    Current.last = t;
    Current.has_epoch = true;
  }
  return true;
}

void RINEX_output_report() {
  if (Crx_blank_values() > 0)
    printf("Compact RINEX: %ld values that no 14-column field holds written as blank fields\n",
           Crx_blank_values());
  if (!RINEX_splits()) return;
  printf("Periods written: %d (an observation and a navigation file each)\n",
         RINEX_periods_written());
  if (Dropped_epochs > 0)
    printf("Epochs in periods already closed, not written: %ld\n", Dropped_epochs);
  for (const std::string& name : RINEX_incomplete_files())
    printf("Incomplete file: %s\n", name.c_str());
}

void RINEX_rewinding() {
  Sink_rewind(RINEX_obs_sink());
  Sink_rewind(RINEX_nav_sink());
}

void RINEX_close() {
  Sink_close(RINEX_obs_sink());
  Sink_close(RINEX_nav_sink());
}

int RINEX_obs_write_errno() {
  return RINEX_splits() ? RINEX_period_obs_errno() : RINEX_obs_sink()->error;
}
int RINEX_nav_write_errno() {
  return RINEX_splits() ? RINEX_period_nav_errno() : RINEX_nav_sink()->error;
}

int RINEX_finish_names(int status) {
  if (!RINEX_settings().long_names || RINEX_splits()) return status;
  if (status != 1) {
    printf("The run is incomplete: the files keep the names %s and %s\n", Obs_name.c_str(),
           Nav_name.c_str());
    return status;
  }
  size_t slash = Obs_name.find_last_of(File_separators());
  std::string dir = slash == std::string::npos ? "" : Obs_name.substr(0, slash + 1);
  const std::string* provisional[2] = {&Obs_name, &Nav_name};
  const char kContent[2] = {'O', 'N'};
  for (int i = 0; i < 2; i++) {
    std::string final_name = dir + RINEX_long_name(kContent[i]);
    if (is_input_file(final_name)) {
      printf("RINEX file %s is the raw file itself; %s keeps its name\n", final_name.c_str(),
             provisional[i]->c_str());
      return 2;
    }
    if (!File_rename(*provisional[i], final_name)) {
      printf("RINEX file %s cannot be renamed to %s: %s\n", provisional[i]->c_str(),
             final_name.c_str(), strerror(errno));
      return 2;
    }
    printf("RINEX %s file: %s\n", i == 0 ? "obs" : "nav", final_name.c_str());
  }
  return status;
}
