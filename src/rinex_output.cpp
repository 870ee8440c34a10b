// The RINEX output stage. The converting thread routes epochs to periods and
// packs epochs, events, navigation records and the opening and closing of
// period files into items; the writer thread formats them and owns every
// file while it runs. The writer prints nothing: what became of the files is
// printed by the converting thread once the writer has stopped, so the
// console reads the same on every run.
#include "rinex_output.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "const.h"
#include "crx_encode.h"
#include "epoch_select.h"
#include "obs.h"
#include "output_stage.h"
#include "rinex.h"
#include "time_convert.h"

namespace {

constexpr S32 kSecondsPerDay = 86400;
constexpr int kMaxNavNumber = 64;
const char* const kProvisionalEnding = ".incomplete";

// The files of a run without periods.
Sink Obs_sink;
Sink Nav_sink;

// Writer thread: the files of the open period, their provisional names, the
// latest record of every satellite (the start of each later period's
// navigation file), the text of one epoch, and the periods' fates.
Sink Period_obs;
Sink Period_nav;
std::string Period_names[2];
std::string Latest_nav[GNSS_NTYPE][kMaxNavNumber];
std::string Epoch_text;
int Periods_written;
std::vector<std::string> Incomplete_files;
int Period_obs_errno;
int Period_nav_errno;

// Converting thread: the open period and the periods already closed.
struct Period {
  bool open;
  int64_t index;
  UTC_TIME_T start, first, last;
  bool has_epoch;
};
Period Current;
std::set<int64_t> Closed;
long Dropped_epochs;

Sink* obs_out() { return RINEX_splits() ? &Period_obs : &Obs_sink; }
Sink* nav_out() { return RINEX_splits() ? &Period_nav : &Nav_sink; }

// The NUL-separated strings of a period item.
std::vector<std::string> split_strings(const U08* p, U32 len) {
  std::vector<std::string> parts;
  const char* text = reinterpret_cast<const char*>(p);
  for (U32 at = 0; at < len;) {
    size_t n = strnlen(text + at, len - at);
    parts.emplace_back(text + at, n);
    at += (U32)n + 1;
  }
  parts.resize(4);
  return parts;
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

void open_period_files(const std::vector<std::string>& parts) {
  Period_names[0] = parts[0];
  Period_names[1] = parts[1];
  bool gzip = Settings_on(RINEX_settings(), SET_GZIP);
  Sink* sinks[2] = {&Period_obs, &Period_nav};
  for (int i = 0; i < 2; i++) {
    if (!Sink_open(sinks[i], parts[i], gzip)) sinks[i]->error = errno != 0 ? errno : EIO;
    Sink_header(sinks[i], parts[2 + i].data(), parts[2 + i].size());
  }
  Crx_start(Obs_get_freq_mode() == FREQ_MODE_DUAL);
  for (auto& system : Latest_nav)
    for (const std::string& record : system) Sink_body(&Period_nav, record.data(), record.size());
}

void close_period_files(const std::vector<std::string>& parts) {
  Sink* sinks[2] = {&Period_obs, &Period_nav};
  int* noted[2] = {&Period_obs_errno, &Period_nav_errno};
  bool complete = true;
  for (int i = 0; i < 2; i++) {
    Sink_rewind(sinks[i]);
    Sink_header(sinks[i], parts[2 + i].data(), parts[2 + i].size());
    bool opened = Sink_is_open(sinks[i]);
    Sink_close(sinks[i]);
    bool ok = opened && sinks[i]->error == 0 && RINEX_rename(Period_names[i], parts[i]);
    if (!ok && *noted[i] == 0) *noted[i] = sinks[i]->error != 0 ? sinks[i]->error : EIO;
    if (!ok) Incomplete_files.push_back(Period_names[i]);
    complete = complete && ok;
  }
  if (complete) Periods_written++;
}

void consume(U32 kind, const U08* p, U32 len) {
  switch (kind) {
    case ITEM_EPOCH: {
      const EPOCH_REC_T* e = reinterpret_cast<const EPOCH_REC_T*>(p);
      Epoch_text.clear();
      RINEX_format_epoch(*e, reinterpret_cast<const SAT_REC_T*>(p + sizeof *e), &Epoch_text);
      Sink_body(obs_out(), Epoch_text.data(), Epoch_text.size());
      break;
    }
    case ITEM_NAV: {
      const char* text = reinterpret_cast<const char*>(p + 2);
      Sink_body(nav_out(), text, len - 2);
      if (RINEX_splits() && p[0] < GNSS_NTYPE && p[1] < kMaxNavNumber)
        Latest_nav[p[0]][p[1]].assign(text, len - 2);
      break;
    }
    case ITEM_PERIOD_OPEN: open_period_files(split_strings(p, len)); break;
    case ITEM_PERIOD_CLOSE: close_period_files(split_strings(p, len)); break;
    default: break;
  }
}

// Calendar fields of seconds since the GPS epoch.
UTC_TIME_T calendar_of(int64_t seconds) {
  int64_t days =
      seconds >= 0 ? seconds / kSecondsPerDay : -((-seconds + kSecondsPerDay - 1) / kSecondsPerDay);
  UTC_TIME_T t;
  convert_day_and_tod_2_utc((S32)days, (S32)(seconds - days * kSecondsPerDay), 0, &t);
  return t;
}

std::string folder() {
  const Settings& s = RINEX_settings();
  if (!s.given[SET_OUTPUT_DIR]) return "";
  const std::string& dir = s.text[SET_OUTPUT_DIR];
  char last = dir.back();
  return (last == '/' || last == '\\') ? dir : dir + "/";
}

void open_period(int64_t index) {
  D64 length = RINEX_settings().split;
  Current = Period{true, index, calendar_of(index * (int64_t)length), {}, {}, false};
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

void RINEX_output_bind() { Stage_set_consumer(consume); }

Sink* RINEX_obs_sink() { return &Obs_sink; }
Sink* RINEX_nav_sink() { return &Nav_sink; }

bool RINEX_splits() { return RINEX_settings().split > 0; }

void RINEX_output_start() {
  Current = Period{};
  Closed.clear();
  Dropped_epochs = 0;
  Periods_written = 0;
  Incomplete_files.clear();
  Period_obs_errno = Period_nav_errno = 0;
  for (auto& system : Latest_nav)
    for (std::string& record : system) record.clear();
  Crx_start(Obs_get_freq_mode() == FREQ_MODE_DUAL);
  Stage_start(consume);
}

void RINEX_output_stop() {
  if (Current.open) close_period();
  Stage_stop();
}

void RINEX_write_obs_header(const std::string& text) {
  if (!RINEX_splits()) Sink_header(&Obs_sink, text.data(), text.size());
}

void RINEX_write_nav_header(const std::string& text) {
  if (!RINEX_splits()) Sink_header(&Nav_sink, text.data(), text.size());
}

void RINEX_emit_nav_record(S16 gnss_type, S16 number, const std::string& text) {
  U08* p = Stage_reserve(ITEM_NAV, (U32)(text.size() + 2));
  p[0] = (U08)gnss_type;
  p[1] = (U08)number;
  memcpy(p + 2, text.data(), text.size());
  Stage_commit((U32)(text.size() + 2));
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
  printf("Periods written: %d (an observation and a navigation file each)\n", Periods_written);
  if (Dropped_epochs > 0)
    printf("Epochs in periods already closed, not written: %ld\n", Dropped_epochs);
  for (const std::string& name : Incomplete_files) printf("Incomplete file: %s\n", name.c_str());
}

int RINEX_obs_write_errno() { return RINEX_splits() ? Period_obs_errno : Obs_sink.error; }
int RINEX_nav_write_errno() { return RINEX_splits() ? Period_nav_errno : Nav_sink.error; }
