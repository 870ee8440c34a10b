// The run sequence once the raw log and both outputs are open: switches,
// initialisation, provisional headers, the pass over the log, the header
// rewrite, closing, and the report of any read or write failure.
#include <cstring>

#include "const.h"
#include "decode_binmsg.h"
#include "ephemeris.h"
#include "epoch_select.h"
#include "main.h"
#include "nav.h"
#include "obs.h"
#include "raw_journal.h"
#include "rinex_config.h"
#include "rinex_files.h"
#include "run_stop.h"
#include "signal_epoch.h"
#include "signal_scan.h"
#include "station_status.h"
#include "std_nav.h"
#include "std_obs.h"
#include "subframe.h"

namespace {

// The standard writers' types: the signals the log holds, as the version and
// the selection let them be written; what is left out is said on the console.
// A live source cannot be scanned ahead: its files list every signal the
// receiver has, blank where one is not measured.
void plan_types(FileSet& files, const LogScan* scan, int version, bool dual) {
  bool present[SIG_COUNT] = {};
  for (int id = 0; id < SIG_COUNT; id++) present[id] = scan == nullptr || scan->present[id];
  bool selected[GNSS_NTYPE] = {};
  for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++)
    selected[type] = RINEX_is_able_to_output_measurement(type) != 0;
  TypePlan plan = Codes_plan(version, selected, present, dual);
  for (const std::string& note : plan.notes) printf("Not written: %s\n", note.c_str());
  files.signals().set_plan(plan);
}

// A raw file's run into period files that exist: the first one found, before
// anything is written; "" when every period of the log is free.
std::string existing_period_file(FileSet& files, const LogScan& scan) {
  for (int64_t index : scan.periods) {
    std::string name = files.existing_period_file(index);
    if (!name.empty()) return name;
  }
  return "";
}

// Threads pay from a few MB of log on: below, starting them and handing
// work between them costs more than they save (measured with the benchmark).
// A live source, or a log whose size is unknown (a pipe), gets them.
bool threads_pay(FileSource* file) {
  constexpr long kThreadedLogBytes = 3L << 20;
  if (file == nullptr) return true;
  long size = file->size();
  return size < 0 || size >= kThreadedLogBytes;
}

}  // namespace

int convert_raw_file(FileSet& files, FILE* fp_raw, const SourceAddress& source, S16 enable_gps,
                     S16 enable_qzss, S16 enable_sbas, S16 enable_glo, S16 enable_bd2,
                     S16 enable_gal, S16 freq_mode) {
  if (enable_gps) RINEX_set_output_measurement(GNSS_TYPE_GPS);
  if (enable_qzss) RINEX_set_output_measurement(GNSS_TYPE_QZSS);
  if (enable_sbas) RINEX_set_output_measurement(GNSS_TYPE_SBAS);
  if (enable_glo) RINEX_set_output_measurement(GNSS_TYPE_GLO);
  if (enable_bd2) RINEX_set_output_measurement(GNSS_TYPE_BD2);
  if (enable_gal) RINEX_set_output_measurement(GNSS_TYPE_GAL);

  // Every store from its initial state (what a fresh process holds anyway).
  Decode_init();
  Nav_init();
  SF_init();
  Eph_init();
  Obs_init(freq_mode);
  const Settings& settings = RINEX_settings();
  int version = settings.rinex_version;
  bool live = fp_raw == nullptr;
  // The bytes come from the raw file, or from a live line's reader. The
  // reader of standard input on Windows may outlive the run (a blocking
  // read cannot be woken), so it is never freed.
  FileSource file(fp_raw);
  LiveReader* reader = live ? new LiveReader(source) : nullptr;
  ByteSource* input = live ? static_cast<ByteSource*>(reader) : &file;
  // A raw file is scanned first for what the headers need and, with periods
  // that must not replace existing files, for the periods it will write.
  bool check_periods = !live && RINEX_splits() && !settings.overwrite;
  LogScan scan;
  if (!live && (version != RINEX_ORIGINAL || check_periods)) {
    if (check_periods) scan.period = settings.split;
    if (settings.given[SET_START]) scan.start = settings.start;
    if (settings.given[SET_END]) scan.end = settings.end;
    if (settings.given[SET_INTERVAL]) scan.interval = settings.interval;
    // The scan reads the log once before the conversion reads it again.
    std::string why;
    bool rereadable = file.make_rereadable(&why);
    if (rereadable && !Scan_log(&file, &scan)) {
      rereadable = false;
      why = strerror(errno);
    }
    if (!rereadable) {
      printf("Raw file %s cannot be read a second time: %s\n", source.text.c_str(), why.c_str());
      file.close();
      RINEX_close(files);
      return files.finish_names(2);
    }
  }
  ObsHeaderHints hints;  // the first header with the lines of the last
  if (!live && version != RINEX_ORIGINAL) {
    hints.given = true;
    hints.interval = scan.spacing;
    hints.leap_known = scan.leap_known;
    hints.leap = scan.leap;
    for (int slot = 0; slot <= GLO_MAX_SLOT; slot++) hints.glonass_k[slot] = scan.glonass_k[slot];
  }
  files.set_hints(hints);
  if (check_periods) {
    std::string existing = existing_period_file(files, scan);
    if (!existing.empty()) {
      printf("RINEX file %s exists: give --overwrite to replace it\n", existing.c_str());
      file.close();
      return 3;
    }
  }
  Obs_keep_signals(version != RINEX_ORIGINAL);
  if (version != RINEX_ORIGINAL) {
    plan_types(files, live ? nullptr : &scan, version, freq_mode == FREQ_MODE_DUAL);
    Std_nav_start();
  }

  RawJournal journal;  // a live source's bytes as received, with --raw-dir
  files.set_live(live);
  Select_set_live(live);
  if (live) {
    const Settings& s = settings;
    Station_start(source.text, s.given[SET_STATUS_FILE] ? s.text[SET_STATUS_FILE] : "");
    if (s.given[SET_RAW_DIR]) {
      std::string error = journal.start(s.text[SET_RAW_DIR]);
      if (!error.empty()) puts(error.c_str());
    }
    std::string why;
    reader->open(&why);
  }

  files.write_headers();
  Select_start_run();
  files.start_writing(threads_pay(live ? nullptr : &file));
  int read_errno = parsing_raw_file_and_put_obs_nav_record(files, journal, input, reader);
  if (live) {
    reader->close();
#ifndef _WIN32
    delete reader;
#else
    if (source.kind != SOURCE_STDIN) delete reader;
#endif
  }
  files.stop_writing();
  if (live) {
    journal.close(files.closed_raw_name());
    Station_report();
  }
  Select_report();
  files.output_report();
  if (version != RINEX_ORIGINAL) Std_nav_report(files.nav_left_out());
  RINEX_rewinding(files);
  files.write_headers();

  file.close();
  RINEX_close(files);

  // A run that lost input or output says so and ends with its own status,
  // so that a script never takes a cut-off file for a complete one.
  int status = 1;
  // A station is stopped by a signal as a matter of course; a file's
  // conversion stopped so is incomplete.
  if (Stop_reason() == STOP_SIGNAL && live) {
    puts("The station run ended on a signal: every period file is closed");
  } else if (Stop_reason() == STOP_SIGNAL) {
    puts("The run was interrupted: the files hold what was read up to then, with their headers");
    status = 2;
  }
  if (Stop_reason() == STOP_REFUSED) {
    printf("RINEX file %s exists: give --overwrite to replace it (the run stopped there)\n",
           files.refused_name().c_str());
    return 3;
  }
  if (read_errno != 0) {
    printf("Raw file read error: %s\n", strerror(read_errno));
    status = 2;
  }
  if (files.obs_write_errno() != 0) {
    printf("RINEX obs file write error: %s\n", strerror(files.obs_write_errno()));
    status = 2;
  }
  if (files.nav_write_errno() != 0) {
    printf("RINEX nav file write error: %s\n", strerror(files.nav_write_errno()));
    status = 2;
  }
  return files.finish_names(status);
}
