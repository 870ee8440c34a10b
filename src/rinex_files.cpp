// The run's output files. The names come from the raw input name (or are the
// standard long names); both files are written through large buffers and
// rewound once at the end for the header rewrite. With periods, each epoch
// is routed to the file pair of its period of GPS time: a new period closes
// the open one (whose final headers go with the closing item) and opens its
// own; a period once closed is never reopened. All of it is the state of one
// FileSet, which the run owns.
#include "rinex_files.h"

#include <bitset>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "const.h"
#include "epoch_select.h"
#include "file_io.h"
#include "obs.h"
#include "output_items.h"
#include "output_stage.h"
#include "rinex_config.h"
#include "rinex_generation.h"
#include "rinex_names.h"
#include "rinex_nav.h"
#include "rinex_obs.h"
#include "rinex_output.h"
#include "run_stop.h"
#include "signal_epoch.h"
#include "station_status.h"
#include "std_nav.h"
#include "std_obs.h"
#include "time_convert.h"

namespace {

// Files written under long names are opened under this ending and renamed
// when the run (or the period) is complete, so that a cut-off file never
// carries a final name.
const char* const kProvisionalEnding = ".incomplete";

// A period's files (or the run's, without periods): its index and start, the
// calendar times of its first and last epochs, the standard writers' GPS times
// of them and the last time written into its file, its part, its counts.
struct Period {
  bool open;
  int64_t index;
  UTC_TIME_T start, first, last;
  bool has_epoch;
  ObsTimes times;
  bool has_written;
  D64 last_written;
  int part;  // 1, or the further part beside files of the period that exist
  long epochs;
  int gaps;
  std::bitset<GNSS_NTYPE * 64> satellites;
};

constexpr D64 kSecondsPerWeek = 604800;

constexpr D64 kLiveFlushSeconds = 10;  // a live source's checkpoints without --flush

bool standard() { return RINEX_settings().rinex_version != RINEX_ORIGINAL; }

// A final name the run may replace at its end: none, or a file that can be written.
bool replaceable(const std::string& path) {
  if (RINEX_settings().long_names || !File_exists(path)) return true;
  FILE* f = File_open(path.c_str(), "r+");
  if (f == nullptr) return false;
  fclose(f);
  return true;
}

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
  stem = File_base_name(stem);
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

// The navigation header of the version (of the GLONASS file of RINEX 2.11).
std::string nav_header_text(bool glonass_file) {
  return Rinex_run_generation().nav_header_text(glonass_file);
}

// RINEX 2.11 keeps GLONASS records in a file of their own.
bool writes_glonass_file() {
  return Rinex_run_generation().nav_file_per_system &&
         RINEX_is_able_to_output_measurement(GNSS_TYPE_GLO);
}

void put_strings_item(OutputStage& stage, U32 kind, std::initializer_list<std::string> parts) {
  size_t len = 0;
  for (const std::string& part : parts) len += part.size() + 1;
  U08* p = stage.reserve(kind, (U32)len);
  for (const std::string& part : parts) {
    memcpy(p, part.c_str(), part.size() + 1);
    p += part.size() + 1;
  }
  stage.commit((U32)len);
}

// The name of a period's file in its folder, of its part.
std::string period_file(char content, const Period& p) {
  std::string name = folder() + RINEX_period_name(content, p.start, RINEX_settings().split);
  return p.part > 1 ? RINEX_part_name(name, p.part) : name;
}

// A file of the period (of any content, part, or data interval, complete or
// not) that the folder holds and this run has not written; "" when none.
std::string period_file_found(const UTC_TIME_T& start, int part) {
  std::string key = RINEX_period_key(start, RINEX_settings().split);
  std::string dir = folder().empty() ? "." : folder();
  std::error_code error;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::u8path(dir), error)) {
    std::string name = e.path().filename().u8string();
    if (name.compare(0, key.size(), key) != 0) continue;
    bool is_part = name.find(".part") != std::string::npos;
    if (part == 1 ? !is_part : name.find(".part" + std::to_string(part) + ".") != std::string::npos)
      return folder() + name;
  }
  return "";
}

bool period_has_files(const UTC_TIME_T& start, int part) {
  return !period_file_found(start, part).empty();
}

// "2026-01-08 01:00:00", the period's start as the console shows it.
std::string start_text(const Period& p) {
  char text[64];
  const UTC_TIME_T& s = p.start;
  snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", s.year, s.month, s.day, s.hour,
           s.minute, (int)s.sec);
  return text;
}

// "2026-01-08 01:00:00.0000000", an epoch's time as the status file shows it.
std::string epoch_text(const UTC_TIME_T& t) {
  char text[64];
  snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%010.7f", t.year, t.month, t.day, t.hour,
           t.minute, t.sec);
  return text;
}

// The epochs a whole period holds at the data's interval; 0 while it is unknown.
long expected_epochs() {
  D64 interval = Select_data_interval();
  if (interval <= 0 && RINEX_settings().given[SET_INTERVAL]) interval = RINEX_settings().interval;
  if (interval <= 0) return 0;
  return (long)D64_to_S32(std::floor(RINEX_settings().split / interval + 0.5));
}

// The raw journal name of a period: its observation file's name with .raw.
std::string raw_name_of(const Period& p) {
  std::string name = File_base_name(period_file('O', p));
  std::string part = p.part > 1 ? ".part" + std::to_string(p.part) : "";
  return name.substr(0, name.find('.')) + part + ".raw";
}

// The satellites measured in the store's current epoch, into the period's set.
void count_satellites(Period* p) {
  for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++) {
    uint64_t sats = Obs_signal_satellites(type);
    S16 count = 0;
    const OBS_DATA_T* slots = Obs_slots(type, &count);
    for (S16 i = 0; slots != nullptr && i < count && i < 64; i++)
      if (slots[i].valid[0] || slots[i].valid[1]) sats |= 1ULL << i;
    for (int i = 0; i < 64; i++)
      if ((sats >> i & 1) != 0) p->satellites.set((size_t)(type * 64 + i));
  }
}

// Events of the standard writers wait for the first epoch later than them, so
// that an event stamped just after an epoch time but logged before that
// epoch's measurements goes behind them.
struct PendingEvent {
  S32 week;
  D64 tow;
};

constexpr int kMaxPendingEvents = 64;

}  // namespace

bool RINEX_splits() { return RINEX_settings().split > 0; }

// The state of a run's files, and what works on it.
struct FileSet::State {
  // The raw input and the names the files were opened under.
  std::string Input_name;
  std::string Obs_name;
  std::string Nav_name;
  std::string Gnav_name;
  // The names the files of a run without periods get when it is complete
  // (with long names, the long names are composed then).
  std::string Final_obs;
  std::string Final_nav;
  std::string Final_gnav;
  // The open period, the run's files without periods, the periods closed.
  Period Current{};
  Period Run{};
  std::set<int64_t> Closed;
  long Dropped_epochs = 0;
  long Late_epochs = 0, Late_events = 0;
  bool Live = false;       // a live source: parts beside existing files, items handed on at once
  int Pending_gaps = 0;    // gaps (drops) not yet followed by an epoch
  int Period_serial = 0;   // periods opened so far
  std::string Refused;     // a period file that exists and may not be replaced
  std::string Closed_raw;  // the raw journal name of the period closed last
  // The run's plan of types and its epochs; the stage between the converting
  // thread and the writer, and the writer thread's side of the run's files.
  SignalEpochs Signals;
  OutputStage Stage;
  std::unique_ptr<OutputFiles> Output;
  // Checkpoints: every Flush_every seconds of data (below 0: none) what was
  // converted goes to disk with headers of files that end there.
  D64 Flush_every = -1;
  D64 Last_flush = -1e300;
  bool Unflushed = false;  // epochs written since the last checkpoint
  int Checkpoints = 0;     // checkpoints so far
  // Events held until an epoch later than them is routed.
  PendingEvent Pending[kMaxPendingEvents] = {};
  int Pending_count = 0;
  long Nav_left_out[GNSS_NTYPE] = {};  // records of systems the version has no file for
  // What the scan of the log told the first header.
  ObsHeaderHints Hints;

  OutputFiles& output() {
    if (!Output) Output.reset(new OutputFiles("", Stage, Signals.plan()));
    return *Output;
  }

  std::string obs_header_text(const UTC_TIME_T& start, const UTC_TIME_T& end,
                              const ObsTimes& times) {
    return Rinex_run_generation().obs_header_text(start, end, times, Hints, Signals.plan());
  }

  // The standard writers keep a file's epochs in time order: an epoch or event
  // not later than one already written into the file is left out of it.
  bool in_time_order(Period* file, S32 week, D64 tow, bool is_epoch) {
    if (!standard()) return true;
    D64 t = week * kSecondsPerWeek + tow;
    if (file->has_written && !(t > file->last_written)) {
      (is_epoch ? Late_epochs : Late_events)++;
      return false;
    }
    file->has_written = true;
    file->last_written = t;
    if (is_epoch) {
      ObsTimes& f = file->times;
      if (!f.has) f.first_week = week, f.first_tow = tow;
      f.last_week = week, f.last_tow = tow;
      f.has = true;
    }
    return true;
  }

  bool is_input_file(const std::string& path) { return File_same(Input_name.c_str(), path); }

  std::string obs_header_now() {
    UTC_TIME_T start;
    UTC_TIME_T end;
    Obs_get_start_utc_time(&start);
    Obs_get_end_utc_time(&end);
    return obs_header_text(start, end, Run.times);
  }

  // Opens the period's files; false when they exist and a raw file's run may
  // not replace them (the run stops).
  bool open_period(int64_t index) {
    D64 length = RINEX_settings().split;
    Current = Period{};
    Current.index = index;
    Current.start = TCVT_calendar_of_gps_seconds(index * (int64_t)length);
    Current.part = 1;
    if (Live) {
      while (period_has_files(Current.start, Current.part)) Current.part++;
    } else if (!RINEX_settings().overwrite && period_has_files(Current.start, 1)) {
      Refused = period_file_found(Current.start, 1);
      Stop_request(STOP_REFUSED);
      return false;
    }
    Current.open = true;
    Period_serial++;
    bool glonass = writes_glonass_file();
    put_strings_item(Stage, ITEM_PERIOD_OPEN,
                     {period_file('O', Current) + kProvisionalEnding,
                      period_file('N', Current) + kProvisionalEnding,
                      glonass ? period_file('G', Current) + kProvisionalEnding : "",
                      obs_header_text(UTC_TIME_T{}, UTC_TIME_T{}, ObsTimes{}),
                      nav_header_text(false), glonass ? nav_header_text(true) : ""});
    return true;
  }

  // Closes the open period: its files get their final names, but those of a
  // file's conversion cut short (interrupted), which keep their provisional
  // ones. reached_end: the data or the clock passed the period's end.
  void close_period(bool reached_end) {
    bool glonass = writes_glonass_file();
    bool cut_short = !Live && Stop_reason() == STOP_SIGNAL;
    put_strings_item(Stage, ITEM_PERIOD_CLOSE,
                     {cut_short ? "keep" : "final", period_file('O', Current),
                      period_file('N', Current), glonass ? period_file('G', Current) : "",
                      obs_header_text(Current.first, Current.last, Current.times),
                      nav_header_text(false), glonass ? nav_header_text(true) : ""});
    Unflushed = false;
    Closed_raw = raw_name_of(Current);
    Closed.insert(Current.index);
    Current.open = false;
    if (Current.part > 1) {  // named at the close, when the interval in the names is known
      Period first = Current;
      first.part = 1;
      printf("Period %s: %s exists: this run's data of the period goes into %s beside it\n",
             start_text(Current).c_str(), File_base_name(period_file('O', first)).c_str(),
             File_base_name(period_file('O', Current)).c_str());
    }
    PeriodFacts facts;
    facts.start = start_text(Current);
    facts.epochs = Current.epochs;
    facts.satellites = (int)Current.satellites.count();
    facts.gaps = Current.gaps;
    facts.reached_end = reached_end;
    facts.expected = expected_epochs();
    facts.last_epoch = Current.has_epoch ? epoch_text(Current.last) : "";
    Station_period_closed(facts);
    if (Live) Stage.flush();  // the period's files are closed now, not when a buffer fills
  }

  // Hands the writer a checkpoint of the open files, with the headers of files
  // that end after the epochs written so far, and hands it over at once.
  void checkpoint() {
    if (RINEX_splits() && !Current.open) return;
    bool glonass = writes_glonass_file();
    std::string obs = RINEX_splits() ? obs_header_text(Current.first, Current.last, Current.times)
                                     : obs_header_now();
    put_strings_item(Stage, ITEM_CHECKPOINT,
                     {obs, nav_header_text(false), glonass ? nav_header_text(true) : ""});
    Stage.flush();
    Unflushed = false;
    Checkpoints++;
  }

  // Writes the pending events earlier than t (all of them for t < 0).
  void release_events(D64 t) {
    int kept = 0;
    for (int i = 0; i < Pending_count; i++) {
      const PendingEvent& e = Pending[i];
      if (t >= 0 && !(e.week * kSecondsPerWeek + e.tow < t)) {
        Pending[kept++] = e;
        continue;
      }
      if (route(UTC_TIME_T{}, e.week, e.tow, false)) Signals.put_event(Stage, e.week, e.tow);
    }
    Pending_count = kept;
  }

  bool route(const UTC_TIME_T& t, S32 week, D64 tow, bool is_epoch) {
    if (!RINEX_splits()) return in_time_order(&Run, week, tow, is_epoch);
    // The standard writers place an epoch by its exact time; the original one by its calendar
    // fields.
    D64 seconds = standard() ? week * kSecondsPerWeek + tow : TCVT_calendar_to_gps_seconds(t);
    D64 index_value = std::floor(seconds / RINEX_settings().split);
    int64_t index = (int64_t)index_value;
    if (!Current.open || index != Current.index) {
      if (Closed.count(index) != 0) {
        if (is_epoch) Dropped_epochs++;
        return false;
      }
      if (Current.open) close_period(true);
      if (!open_period(index)) return false;
    }
    if (!in_time_order(&Current, week, tow, is_epoch)) return false;
    if (is_epoch) {
      // A gap counts in the period of the epoch after it: one after the last
      // byte of a stream that ended is none.
      Current.gaps += Pending_gaps;
      Pending_gaps = 0;
      if (!Current.has_epoch) Current.first = t;
      Current.last = t;
      Current.has_epoch = true;
      Current.epochs++;
      if (Live) count_satellites(&Current);
    }
    return true;
  }
};

FileSet::FileSet() : s_(new State) {}
FileSet::~FileSet() { s_->Stage.stop(); }  // before the files it hands items to go

OutputStage& FileSet::stage() { return s_->Stage; }
SignalEpochs& FileSet::signals() { return s_->Signals; }

void FileSet::note_nav_left_out(S16 gnss_type) {
  if (gnss_type > GNSS_TYPE_NONE && gnss_type < GNSS_NTYPE) s_->Nav_left_out[gnss_type]++;
}

const long* FileSet::nav_left_out() { return s_->Nav_left_out; }

void FileSet::set_hints(const ObsHeaderHints& hints) { s_->Hints = hints; }

S16 FileSet::open(const char* input) {
  const Settings& s = RINEX_settings();
  // The name is built at its full length: a long path is never cut short.
  std::string stem = output_stem(input);
  if (stem.empty() && s.given[SET_OUTPUT_DIR]) return 0;
  RINEX_clear_selection();
  s_->Input_name = input;
  s_->Output.reset(new OutputFiles(s_->Input_name, s_->Stage, s_->Signals.plan()));
  if (RINEX_splits()) return 1;  // the period files are opened as their periods begin
  // Every file is written under its provisional name and given its own when
  // the run is complete: a file cut short never carries a final name.
  s_->Final_obs = stem + RINEX_obs_ending(false);
  s_->Final_nav = stem + RINEX_nav_ending(false);
  s_->Final_gnav = stem + RINEX_gnav_ending();
  s_->Obs_name = s_->Final_obs + kProvisionalEnding;
  s_->Nav_name = s_->Final_nav + kProvisionalEnding;
  s_->Gnav_name = s_->Final_gnav + kProvisionalEnding;
  for (const std::string* out : {&s_->Final_obs, &s_->Final_nav}) {
    if (s_->is_input_file(*out)) {
      printf("RINEX file %s is the raw file itself; it is not overwritten\n", out->c_str());
      return 0;
    }
  }
  bool gzip = s.gzip;
  if (!replaceable(s_->Final_obs) || !Sink_open(s_->output().obs_sink(), s_->Obs_name, gzip)) {
    printf("RINEX obs file %s open error\n", (s.long_names ? s_->Obs_name : s_->Final_obs).c_str());
    return 0;
  }
  if (!replaceable(s_->Final_nav) || !Sink_open(s_->output().nav_sink(), s_->Nav_name, gzip)) {
    puts("RINEX nav file open error");
    return 0;
  }
  return 1;
}

void FileSet::write_headers() {
  if (RINEX_splits()) return;
  std::string obs = s_->obs_header_now();
  std::string nav = nav_header_text(false);
  Sink_header(s_->output().obs_sink(), obs.data(), obs.size());
  Sink_header(s_->output().nav_sink(), nav.data(), nav.size());
  if (!writes_glonass_file()) return;
  // Opened with its first header, once the selection is known.
  Sink* g = s_->output().gnav_sink();
  if (!Sink_is_open(g) && !Sink_open(g, s_->Gnav_name, RINEX_settings().gzip))
    g->error = errno != 0 ? errno : EIO;
  std::string text = nav_header_text(true);
  Sink_header(g, text.data(), text.size());
}

void FileSet::start_writing(bool threads) {
  const Settings& s = RINEX_settings();  // the set is new with the run: nothing to clear
  s_->Flush_every = s.flush >= 0 ? s.flush : (s_->Live ? kLiveFlushSeconds : -1);
  s_->output().start(threads);
}

void FileSet::stop_writing() {
  s_->release_events(-1);
  // A station stopped in mid-period has not reached its end; a file's run ends with its data.
  if (s_->Current.open) s_->close_period(!s_->Live);
  s_->output().stop();
}

void FileSet::set_live(bool live) { s_->Live = live; }

void FileSet::epoch_written() {
  if (s_->Flush_every < 0) return;
  s_->Unflushed = true;
  S32 week;
  D64 tow;
  Obs_get_gps_time(&week, &tow);
  D64 t = week * kSecondsPerWeek + tow;
  // A period's first epoch too, so that its header has a first epoch from the start.
  bool first_of_period = RINEX_splits() && s_->Current.epochs == 1;
  if (!(t - s_->Last_flush < s_->Flush_every) || t < s_->Last_flush || first_of_period) {
    s_->Last_flush = t;
    s_->checkpoint();
  }
}

void FileSet::checkpoint_pending() {
  if (s_->Unflushed) s_->checkpoint();
}

D64 FileSet::flush_seconds() { return s_->Flush_every; }

int FileSet::checkpoints() { return s_->Checkpoints; }

OpenPeriod FileSet::status_period() {
  OpenPeriod p;
  if (!s_->Current.open) return p;
  p.open = true;
  p.start = start_text(s_->Current);
  p.obs = period_file('O', s_->Current) + kProvisionalEnding;
  p.epochs = s_->Current.epochs;
  if (s_->Current.has_epoch) p.last_epoch = epoch_text(s_->Current.last);
  return p;
}

bool FileSet::close_overdue(D64 gps_now) {
  if (!s_->Current.open) return false;
  D64 length = RINEX_settings().split;
  D64 end = (D64)(s_->Current.index + 1) * length;
  if (gps_now < end + RINEX_settings().close_after) return false;
  s_->close_period(true);
  return true;
}

void FileSet::note_gap() { s_->Pending_gaps++; }

int FileSet::period_serial() { return s_->Period_serial; }

std::string FileSet::period_raw_name() {
  return s_->Current.open ? raw_name_of(s_->Current) + kProvisionalEnding : "";
}

const std::string& FileSet::closed_raw_name() { return s_->Closed_raw; }

const std::string& FileSet::refused_name() { return s_->Refused; }

std::string FileSet::existing_period_file(int64_t index) {
  return period_file_found(TCVT_calendar_of_gps_seconds(index * (int64_t)RINEX_settings().split),
                           1);
}

bool FileSet::route_epoch(bool is_epoch) {
  UTC_TIME_T t;
  Obs_get_utc_time(&t);
  S32 week;
  D64 tow;
  Obs_get_gps_time(&week, &tow);
  if (standard()) s_->release_events(week * kSecondsPerWeek + tow);
  return s_->route(t, week, tow, is_epoch);
}

void FileSet::hold_event() {
  if (s_->Pending_count == kMaxPendingEvents) s_->release_events(-1);
  PendingEvent& e = s_->Pending[s_->Pending_count++];
  Obs_get_gps_time(&e.week, &e.tow);
}

void FileSet::output_report() {
  if (s_->output().crx_blank_values() > 0)
    printf("Compact RINEX: %ld values that no 14-column field holds written as blank fields\n",
           s_->output().crx_blank_values());
  long blank = s_->Signals.unwritable_values();
  if (blank > 0)
    printf("Values that no 14-column field holds, written as blank fields: %ld\n", blank);
  if (s_->Late_epochs > 0)
    printf("Epochs not later than one already written into their file, left out: %ld\n",
           s_->Late_epochs);
  if (s_->Late_events > 0)
    printf("Events not later than one already written into their file, left out: %ld\n",
           s_->Late_events);
  if (!RINEX_splits()) return;
  printf("Periods written: %d (an observation and a navigation file each)\n",
         s_->output().periods_written());
  if (s_->output().unwritten_nav_files(false) + s_->output().unwritten_nav_files(true) > 0)
    printf(
        "Navigation files of RINEX 2.11 periods without records of their system, not written: "
        "%ld GPS, %ld GLONASS\n",
        s_->output().unwritten_nav_files(false), s_->output().unwritten_nav_files(true));
  if (s_->Dropped_epochs > 0)
    printf("Epochs in periods already closed, not written: %ld\n", s_->Dropped_epochs);
  for (const std::string& name : s_->output().incomplete_files())
    printf("Incomplete file: %s\n", name.c_str());
}

void FileSet::rewind() {
  Sink_rewind(s_->output().obs_sink());
  Sink_rewind(s_->output().nav_sink());
  Sink_rewind(s_->output().gnav_sink());
}

void FileSet::close() {
  Sink_close(s_->output().obs_sink());
  Sink_close(s_->output().nav_sink());
  Sink_close(s_->output().gnav_sink());
}

int FileSet::obs_write_errno() {
  return RINEX_splits() ? s_->output().period_obs_errno() : s_->output().obs_sink()->error;
}
int FileSet::nav_write_errno() {
  if (RINEX_splits()) return s_->output().period_nav_errno();
  return s_->output().nav_sink()->error != 0 ? s_->output().nav_sink()->error
                                             : s_->output().gnav_sink()->error;
}

int FileSet::finish_names(int status) {
  if (RINEX_splits()) return status;
  bool glonass = writes_glonass_file();
  if (status != 1) {
    if (glonass)
      printf("The run is incomplete: the files keep the names %s, %s and %s\n",
             s_->Obs_name.c_str(), s_->Nav_name.c_str(), s_->Gnav_name.c_str());
    else
      printf("The run is incomplete: the files keep the names %s and %s\n", s_->Obs_name.c_str(),
             s_->Nav_name.c_str());
    return status;
  }
  const bool long_names = RINEX_settings().long_names;
  size_t slash = s_->Obs_name.find_last_of(File_separators());
  std::string dir = slash == std::string::npos ? "" : s_->Obs_name.substr(0, slash + 1);
  const std::string* provisional[3] = {&s_->Obs_name, &s_->Nav_name, &s_->Gnav_name};
  std::string final_names[3] = {s_->Final_obs, s_->Final_nav, s_->Final_gnav};
  if (long_names) {
    final_names[0] = dir + RINEX_long_name('O');
    final_names[1] = dir + RINEX_long_name('N');
  }
  int files = glonass ? 3 : 2;
  // RINEX 2.11 has a navigation file per system: one without records is not kept.
  bool keep[3] = {true, true, true};
  if (Rinex_run_generation().nav_file_per_system) {
    const char* const kSystems[3] = {"", "GPS", "GLONASS"};
    Sink* navs[3] = {nullptr, s_->output().nav_sink(), s_->output().gnav_sink()};
    for (int i = 1; i < files; i++) {
      if (navs[i]->body_bytes != 0) continue;
      keep[i] = false;
      File_remove(*provisional[i]);
      printf("Navigation file %s not written: the log holds no %s navigation records\n",
             final_names[i].c_str(), kSystems[i]);
    }
  }
  // A complete long-named file of the same name is not replaced unless asked: neither is renamed.
  for (int i = 0; i < 2 && long_names && !RINEX_settings().overwrite; i++) {
    if (File_exists(final_names[i])) {
      printf(
          "RINEX file %s exists: give --overwrite to replace it; the run's files keep the "
          "names %s and %s\n",
          final_names[i].c_str(), s_->Obs_name.c_str(), s_->Nav_name.c_str());
      return 3;
    }
  }
  for (int i = 0; i < files; i++) {
    if (!keep[i]) continue;
    if (s_->is_input_file(final_names[i])) {
      printf("RINEX file %s is the raw file itself; %s keeps its name\n", final_names[i].c_str(),
             provisional[i]->c_str());
      return 2;
    }
    if (!File_rename(*provisional[i], final_names[i])) {
      printf("RINEX file %s cannot be renamed to %s: %s\n", provisional[i]->c_str(),
             final_names[i].c_str(), strerror(errno));
      return 2;
    }
    if (long_names) printf("RINEX %s file: %s\n", i == 0 ? "obs" : "nav", final_names[i].c_str());
  }
  return status;
}

S16 RINEX_init(FileSet& files, const char* input) { return files.open(input); }
void RINEX_rewinding(FileSet& files) { files.rewind(); }
void RINEX_close(FileSet& files) { files.close(); }
