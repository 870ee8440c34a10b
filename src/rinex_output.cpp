// The writer thread's files. Each epoch item is formatted and appended to the
// observation file, each navigation record to the navigation file; with
// periods, a period item opens or closes a file pair (the closing rewrites
// both headers and gives the files their final names), and each period's
// navigation file starts with the latest record of every satellite. The
// state is the object's, one for a run.
#include "rinex_output.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "const.h"
#include "crx_encode.h"
#include "file_io.h"
#include "obs.h"
#include "obs_records.h"
#include "output_items.h"
#include "output_stage.h"
#include "rinex_config.h"
#include "rinex_generation.h"
#include "rinex_obs.h"
#include "station_status.h"
#include "time_convert.h"

namespace {

constexpr int kMaxNavNumber = 66;  // satellites 1-63, then the ION and STO slots
constexpr int kPeriodFiles = 3;    // observation, navigation, GLONASS navigation (2.11)

bool splits() { return RINEX_settings().split > 0; }

// The NUL-separated strings of a period or checkpoint item.
std::vector<std::string> split_strings(const U08* p, U32 len, size_t count) {
  std::vector<std::string> parts;
  const char* text = reinterpret_cast<const char*>(p);
  for (U32 at = 0; at < len;) {
    size_t n = strnlen(text + at, len - at);
    parts.emplace_back(text + at, n);
    at += (U32)n + 1;
  }
  parts.resize(count);
  return parts;
}

}  // namespace

struct OutputFiles::State {
  State(OutputStage& s, const TypePlan& p) : stage(s), plan(p) {}
  OutputStage& stage;
  const TypePlan& plan;  // the run's types, fixed before the writer starts
  std::string raw_name;
  // The files of a run without periods, and those of the open period with
  // their provisional names.
  Sink run[kPeriodFiles];
  Sink period[kPeriodFiles];
  std::string period_names[kPeriodFiles];
  // The latest record of every satellite (the start of each later period's
  // navigation file).
  std::string latest_nav[GNSS_NTYPE][kMaxNavNumber];
  // The text of one epoch; the observation file's layout of its epochs, new
  // with each file: the Compact RINEX encoder of the original writer's
  // epochs, or the records writer of the standard writers' version; the
  // satellite lines of an epoch.
  std::string epoch_text;
  std::unique_ptr<CrxEncoder> original_crx;
  long original_blank_values = 0;  // of the files before the current one
  std::unique_ptr<ObsRecords> std_records;
  ObsFields std_fields[MAX_EPOCH_SIGNALS];
  // The periods' fates.
  int periods_written = 0;
  std::vector<std::string> incomplete_files;
  int period_obs_errno = 0;
  int period_nav_errno = 0;
  long unwritten_nav[2] = {0, 0};  // RINEX 2.11 period files without GPS, GLONASS records

  Sink* obs_out() { return splits() ? &period[0] : &run[0]; }
  // RINEX 2.11 writes GLONASS records into a file of their own.
  Sink* nav_out(U08 gnss_type) {
    int i = gnss_type == GNSS_TYPE_GLO && Rinex_run_generation().nav_file_per_system ? 2 : 1;
    return splits() ? &period[i] : &run[i];
  }
  void start_records();
  void write_signal_epoch(const SIGNAL_EPOCH_T& e, const SIGNAL_REC_T* recs);
  void open_period_files(const std::vector<std::string>& parts);
  bool rename_period_file(const std::string& from, const std::string& to);
  void close_period_files(const std::vector<std::string>& item);
  void checkpoint_files(const std::vector<std::string>& headers);
};

// Every observation file gets its own records writer (its Compact RINEX
// starts anew).
void OutputFiles::State::start_records() {
  if (original_crx) original_blank_values += original_crx->blank_values();
  original_crx.reset(new CrxEncoder());
  original_crx->start(Obs_get_freq_mode() == FREQ_MODE_DUAL, Rinex_run_generation().crx_version);
  if (Rinex_run_generation().epoch_fields != nullptr)
    std_records = Obs_records_for(RINEX_settings().rinex_version, RINEX_settings().crx);
}

// A standard writer's epoch item: its satellite lines, laid out by the
// records writer of the version.
void OutputFiles::State::write_signal_epoch(const SIGNAL_EPOCH_T& e, const SIGNAL_REC_T* recs) {
  int nsat = Rinex_run_generation().epoch_fields(plan, e, recs, std_fields);
  char start[48];
  Obs_epoch_start(start, RINEX_settings().rinex_version, TCVT_gps_calendar(e.week, e.tow), true,
                  e.flag, nsat);
  std_records->epoch(start, e.flag, std_fields, nsat, &epoch_text);
}

// A period item's names, then their headers; a file without a name is not written.
void OutputFiles::State::open_period_files(const std::vector<std::string>& parts) {
  bool gzip = RINEX_settings().gzip;
  for (int i = 0; i < kPeriodFiles; i++) {
    period_names[i] = parts[i];
    if (parts[i].empty()) continue;
    Sink* s = &period[i];
    if (!Sink_open(s, parts[i], gzip)) s->error = errno != 0 ? errno : EIO;
    Sink_header(s, parts[kPeriodFiles + i].data(), parts[kPeriodFiles + i].size());
  }
  start_records();
  for (int type = 0; type < GNSS_NTYPE; type++)
    for (const std::string& record : latest_nav[type])
      Sink_body(nav_out((U08)type), record.data(), record.size());
}

bool OutputFiles::State::rename_period_file(const std::string& from, const std::string& to) {
  return !File_same(raw_name.c_str(), to) && File_rename(from, to);
}

// The closing item: whether the files get their final names, then the names
// and the final headers. Files that keep their provisional names (a run cut
// short) are incomplete.
void OutputFiles::State::close_period_files(const std::vector<std::string>& item) {
  bool final_names = item[0] == "final";
  const std::string* parts = &item[1];
  int* noted[kPeriodFiles] = {&period_obs_errno, &period_nav_errno, &period_nav_errno};
  bool complete = final_names;
  std::string named[kPeriodFiles];  // the name each file has now
  for (int i = 0; i < kPeriodFiles; i++) {
    if (period_names[i].empty()) continue;
    Sink* s = &period[i];
    // RINEX 2.11 has a navigation file per system: one without records is not kept.
    if (i > 0 && Rinex_run_generation().nav_file_per_system && s->body_bytes == 0 &&
        Sink_is_open(s) && final_names) {
      Sink_close(s);
      File_remove(period_names[i]);
      unwritten_nav[i - 1]++;
      continue;
    }
    Sink_rewind(s);
    Sink_header(s, parts[kPeriodFiles + i].data(), parts[kPeriodFiles + i].size());
    bool opened = Sink_is_open(s);
    Sink_close(s);
    bool ok =
        opened && s->error == 0 && (!final_names || rename_period_file(period_names[i], parts[i]));
    if (!ok && *noted[i] == 0) *noted[i] = s->error != 0 ? s->error : EIO;
    if (!ok || !final_names) incomplete_files.push_back(period_names[i]);
    named[i] = ok && final_names ? parts[i] : period_names[i];
    complete = complete && ok;
  }
  if (complete) periods_written++;
  Station_files_closed(named[0], named[1], complete);
}

// A checkpoint of the open files (the run's, or the period's) with their headers.
void OutputFiles::State::checkpoint_files(const std::vector<std::string>& headers) {
  Sink* files[kPeriodFiles] = {obs_out(), nav_out(GNSS_TYPE_GPS), nav_out(GNSS_TYPE_GLO)};
  for (int i = 0; i < kPeriodFiles; i++) {
    if (i == 2 && files[2] == files[1]) continue;
    if (Sink_is_open(files[i]) && !headers[i].empty())
      Sink_checkpoint(files[i], headers[i].data(), headers[i].size());
  }
}

OutputFiles::OutputFiles(const std::string& raw_name, OutputStage& stage, const TypePlan& plan)
    : s_(new State(stage, plan)) {
  s_->raw_name = raw_name;
  stage.set_consumer(this);
}

// A file still open is closed with what it was given.
OutputFiles::~OutputFiles() {
  for (Sink* files : {s_->run, s_->period})
    for (int i = 0; i < kPeriodFiles; i++) Sink_free(&files[i]);
}

Sink* OutputFiles::obs_sink() { return &s_->run[0]; }
Sink* OutputFiles::nav_sink() { return &s_->run[1]; }
Sink* OutputFiles::gnav_sink() { return &s_->run[2]; }

void OutputFiles::consume(U32 kind, const U08* p, U32 len) {
  State& m = *s_;
  switch (kind) {
    case ITEM_EPOCH: {
      const EPOCH_REC_T* e = reinterpret_cast<const EPOCH_REC_T*>(p);
      m.epoch_text.clear();
      RINEX_format_epoch(*e, reinterpret_cast<const SAT_REC_T*>(p + sizeof *e),
                         m.original_crx.get(), &m.epoch_text);
      Sink_body(m.obs_out(), m.epoch_text.data(), m.epoch_text.size());
      break;
    }
    case ITEM_SIGNAL_EPOCH: {
      const SIGNAL_EPOCH_T* e = reinterpret_cast<const SIGNAL_EPOCH_T*>(p);
      const SIGNAL_REC_T* recs = reinterpret_cast<const SIGNAL_REC_T*>(p + sizeof *e);
      m.epoch_text.clear();
      m.write_signal_epoch(*e, recs);
      Sink_body(m.obs_out(), m.epoch_text.data(), m.epoch_text.size());
      break;
    }
    case ITEM_NAV: {
      const char* text = reinterpret_cast<const char*>(p + 2);
      Sink_body(m.nav_out(p[0]), text, len - 2);
      if (splits() && p[0] < GNSS_NTYPE && p[1] < kMaxNavNumber)
        m.latest_nav[p[0]][p[1]].assign(text, len - 2);
      break;
    }
    case ITEM_PERIOD_OPEN: m.open_period_files(split_strings(p, len, 2 * kPeriodFiles)); break;
    case ITEM_PERIOD_CLOSE:
      m.close_period_files(split_strings(p, len, 2 * kPeriodFiles + 1));
      break;
    case ITEM_CHECKPOINT: m.checkpoint_files(split_strings(p, len, kPeriodFiles)); break;
    default: break;
  }
}

void OutputFiles::start(bool threads) {
  State& m = *s_;  // new with the run: nothing of an earlier run to clear
  m.start_records();
  // Files opened from now on write (and compress) on threads of their own or not.
  for (Sink* files : {m.run, m.period})
    for (int i = 0; i < kPeriodFiles; i++) files[i].threads = threads;
  if (threads)
    m.stage.start(this);
  else
    m.stage.set_consumer(this);
}

void OutputFiles::stop() { s_->stage.stop(); }

long OutputFiles::crx_blank_values() const {
  return s_->original_blank_values + (s_->original_crx ? s_->original_crx->blank_values() : 0);
}
int OutputFiles::periods_written() const { return s_->periods_written; }
const std::vector<std::string>& OutputFiles::incomplete_files() const {
  return s_->incomplete_files;
}
long OutputFiles::unwritten_nav_files(bool glonass) const {
  return s_->unwritten_nav[glonass ? 1 : 0];
}
int OutputFiles::period_obs_errno() const { return s_->period_obs_errno; }
int OutputFiles::period_nav_errno() const { return s_->period_nav_errno; }
