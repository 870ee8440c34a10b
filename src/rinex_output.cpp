// The writer thread's files. Each epoch item is formatted and appended to the
// observation file, each navigation record to the navigation file; with
// periods, a period item opens or closes a file pair (the closing rewrites
// both headers and gives the files their final names), and each period's
// navigation file starts with the latest record of every satellite.
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

// The files of a run without periods (the GLONASS navigation file of RINEX
// 2.11 the third).
Sink Obs_sink;
Sink Nav_sink;
Sink Gnav_sink;

// The files of the open period, their provisional names, the latest record of
// every satellite (the start of each later period's navigation file), the
// text of one epoch, and the periods' fates.
constexpr int kPeriodFiles = 3;
Sink Period_sinks[kPeriodFiles];
Sink& Period_obs = Period_sinks[0];
Sink& Period_nav = Period_sinks[1];
Sink& Period_gnav = Period_sinks[2];
std::string Period_names[kPeriodFiles];
std::string Latest_nav[GNSS_NTYPE][kMaxNavNumber];
std::string Epoch_text;
// The Compact RINEX encoder of the original writer's epochs; the records
// writer of the standard writers' version and the satellite lines of an epoch.
CrxEncoder Original_crx;
std::unique_ptr<ObsRecords> Std_records;
ObsFields Std_fields[MAX_EPOCH_SIGNALS];
std::string Raw_name;
int Periods_written;
std::vector<std::string> Incomplete_files;
int Period_obs_errno;
int Period_nav_errno;
long Unwritten_nav[2];  // RINEX 2.11 period files without GPS, GLONASS records, not kept

bool splits() { return RINEX_settings().split > 0; }
const RinexGeneration& generation() { return Rinex_generation(RINEX_settings().rinex_version); }
Sink* obs_out() { return splits() ? &Period_obs : &Obs_sink; }
// RINEX 2.11 writes GLONASS records into a file of their own.
Sink* nav_out(U08 gnss_type) {
  bool glonass = gnss_type == GNSS_TYPE_GLO && generation().nav_file_per_system;
  if (glonass) return splits() ? &Period_gnav : &Gnav_sink;
  return splits() ? &Period_nav : &Nav_sink;
}

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

// Every file starts its Compact RINEX anew.
void start_records() {
  Original_crx.start(Obs_get_freq_mode() == FREQ_MODE_DUAL, generation().crx_version);
  if (Std_records) Std_records->start();
}

// A standard writer's epoch item: its satellite lines, laid out by the
// records writer of the version.
void write_signal_epoch(const SIGNAL_EPOCH_T& e, const SIGNAL_REC_T* recs) {
  int nsat = generation().epoch_fields(e, recs, Std_fields);
  char start[48];
  Obs_epoch_start(start, RINEX_settings().rinex_version, TCVT_gps_calendar(e.week, e.tow), true,
                  e.flag, nsat);
  Std_records->epoch(start, e.flag, Std_fields, nsat, &Epoch_text);
}

// A period item's names, then their headers; a file without a name is not written.
void open_period_files(const std::vector<std::string>& parts) {
  bool gzip = RINEX_settings().gzip;
  for (int i = 0; i < kPeriodFiles; i++) {
    Period_names[i] = parts[i];
    if (parts[i].empty()) continue;
    Sink* s = &Period_sinks[i];
    if (!Sink_open(s, parts[i], gzip)) s->error = errno != 0 ? errno : EIO;
    Sink_header(s, parts[kPeriodFiles + i].data(), parts[kPeriodFiles + i].size());
  }
  start_records();
  for (int type = 0; type < GNSS_NTYPE; type++)
    for (const std::string& record : Latest_nav[type])
      Sink_body(nav_out((U08)type), record.data(), record.size());
}

bool rename_period_file(const std::string& from, const std::string& to) {
  return !File_same(Raw_name.c_str(), to) && File_rename(from, to);
}

// The closing item: whether the files get their final names, then the names
// and the final headers. Files that keep their provisional names (a run cut
// short) are incomplete.
void close_period_files(const std::vector<std::string>& item) {
  bool final_names = item[0] == "final";
  const std::string* parts = &item[1];
  int* noted[kPeriodFiles] = {&Period_obs_errno, &Period_nav_errno, &Period_nav_errno};
  bool complete = final_names;
  std::string named[kPeriodFiles];  // the name each file has now
  for (int i = 0; i < kPeriodFiles; i++) {
    if (Period_names[i].empty()) continue;
    Sink* s = &Period_sinks[i];
    // RINEX 2.11 has a navigation file per system: one without records is not kept.
    if (i > 0 && generation().nav_file_per_system && s->body_bytes == 0 && Sink_is_open(s) &&
        final_names) {
      Sink_close(s);
      File_remove(Period_names[i]);
      Unwritten_nav[i - 1]++;
      continue;
    }
    Sink_rewind(s);
    Sink_header(s, parts[kPeriodFiles + i].data(), parts[kPeriodFiles + i].size());
    bool opened = Sink_is_open(s);
    Sink_close(s);
    bool ok =
        opened && s->error == 0 && (!final_names || rename_period_file(Period_names[i], parts[i]));
    if (!ok && *noted[i] == 0) *noted[i] = s->error != 0 ? s->error : EIO;
    if (!ok || !final_names) Incomplete_files.push_back(Period_names[i]);
    named[i] = ok && final_names ? parts[i] : Period_names[i];
    complete = complete && ok;
  }
  if (complete) Periods_written++;
  Station_files_closed(named[0], named[1], complete);
}

// A checkpoint of the open files (the run's, or the period's) with their headers.
void checkpoint_files(const std::vector<std::string>& headers) {
  Sink* files[kPeriodFiles] = {obs_out(), nav_out(GNSS_TYPE_GPS), nav_out(GNSS_TYPE_GLO)};
  for (int i = 0; i < kPeriodFiles; i++) {
    if (i == 2 && files[2] == files[1]) continue;
    if (Sink_is_open(files[i]) && !headers[i].empty())
      Sink_checkpoint(files[i], headers[i].data(), headers[i].size());
  }
}

void consume(U32 kind, const U08* p, U32 len) {
  switch (kind) {
    case ITEM_EPOCH: {
      const EPOCH_REC_T* e = reinterpret_cast<const EPOCH_REC_T*>(p);
      Epoch_text.clear();
      RINEX_format_epoch(*e, reinterpret_cast<const SAT_REC_T*>(p + sizeof *e), &Original_crx,
                         &Epoch_text);
      Sink_body(obs_out(), Epoch_text.data(), Epoch_text.size());
      break;
    }
    case ITEM_SIGNAL_EPOCH: {
      const SIGNAL_EPOCH_T* e = reinterpret_cast<const SIGNAL_EPOCH_T*>(p);
      const SIGNAL_REC_T* recs = reinterpret_cast<const SIGNAL_REC_T*>(p + sizeof *e);
      Epoch_text.clear();
      write_signal_epoch(*e, recs);
      Sink_body(obs_out(), Epoch_text.data(), Epoch_text.size());
      break;
    }
    case ITEM_NAV: {
      const char* text = reinterpret_cast<const char*>(p + 2);
      Sink_body(nav_out(p[0]), text, len - 2);
      if (splits() && p[0] < GNSS_NTYPE && p[1] < kMaxNavNumber)
        Latest_nav[p[0]][p[1]].assign(text, len - 2);
      break;
    }
    case ITEM_PERIOD_OPEN: open_period_files(split_strings(p, len, 2 * kPeriodFiles)); break;
    case ITEM_PERIOD_CLOSE: close_period_files(split_strings(p, len, 2 * kPeriodFiles + 1)); break;
    case ITEM_CHECKPOINT: checkpoint_files(split_strings(p, len, kPeriodFiles)); break;
    default: break;
  }
}

}  // namespace

Sink* RINEX_obs_sink() { return &Obs_sink; }
Sink* RINEX_nav_sink() { return &Nav_sink; }
Sink* RINEX_gnav_sink() { return &Gnav_sink; }

void RINEX_output_bind(const std::string& raw_name) {
  Raw_name = raw_name;
  Stage_set_consumer(consume);
}

void RINEX_output_start(bool threads) {
  Periods_written = 0;
  Unwritten_nav[0] = Unwritten_nav[1] = 0;
  Incomplete_files.clear();
  Period_obs_errno = Period_nav_errno = 0;
  for (auto& system : Latest_nav)
    for (std::string& record : system) record.clear();
  if (generation().epoch_fields != nullptr)
    Std_records = Obs_records_for(RINEX_settings().rinex_version, RINEX_settings().crx);
  start_records();
  Sink_use_threads(threads);
  if (threads)
    Stage_start(consume);
  else
    Stage_set_consumer(consume);
}

void RINEX_output_stop() { Stage_stop(); }

long RINEX_crx_blank_values() { return Original_crx.blank_values(); }

int RINEX_periods_written() { return Periods_written; }
long RINEX_unwritten_nav_files(bool glonass) { return Unwritten_nav[glonass ? 1 : 0]; }
const std::vector<std::string>& RINEX_incomplete_files() { return Incomplete_files; }
int RINEX_period_obs_errno() { return Period_obs_errno; }
int RINEX_period_nav_errno() { return Period_nav_errno; }
