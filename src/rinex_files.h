// The run's output files: their names (from the raw file's, or the standard
// long names), opening, both headers at the start and again in place at the
// end, the routing of epochs to period files with --split, closing, the
// final names, and the console report of what became of them.
#ifndef VLN_RINEX_FILES_H
#define VLN_RINEX_FILES_H

#include <cstdint>
#include <memory>
#include <string>

#include "data_type.h"
#include "output_stage.h"
#include "signal_epoch.h"
#include "station_status.h"
#include "std_obs.h"

class OutputFiles;

// The file set of a run: one object, owned by the run and handed to what
// routes epochs into it; the writer thread's files live as long as it does.
class FileSet {
 public:
  FileSet();
  ~FileSet();
  FileSet(const FileSet&) = delete;
  FileSet& operator=(const FileSet&) = delete;

  // Builds both output names from the input name, creates both files (none with
  // periods, whose files open as their periods begin) and clears the switches.
  S16 open(const char* input);
  // The stage the writers put their items into, for these files, and the
  // run's plan of types with the standard writers' epochs.
  OutputStage& stage();
  SignalEpochs& signals();
  // What the quick scan of the log tells the standard writers' first header.
  void set_hints(const ObsHeaderHints& hints);
  // Writes both headers of the run's files with the store's current values
  // (nothing with periods, whose files get theirs when they open and close).
  void write_headers();
  // Starts the pass over the log: with threads, a writer thread formats and
  // the files' threads write (and compress); without, all of it happens in the
  // calling thread.
  void start_writing(bool threads);
  // A live source's run: a period whose files exist gets files of a further
  // part beside them, and every period's closing is handed to the writer at once.
  void set_live(bool live);
  // Closes the open period when the GPS time of the clock has passed its end by
  // the --close-after grace: an hourly file appears on time while the line is silent.
  // True when it closed one.
  bool close_overdue(D64 gps_now);
  // After an epoch was handed to the writer: a checkpoint of the files when
  // --flush seconds of data (a live source: 10) have passed since the last one,
  // and at a period's first epoch.
  void epoch_written();
  // A checkpoint now when epochs were written since the last one (a silent line).
  void checkpoint_pending();
  // Seconds between checkpoints (below 0: only at the end).
  D64 flush_seconds();
  // Checkpoints so far in the run (the raw journal syncs with each).
  int checkpoints();
  // The open period as the status file shows it.
  OpenPeriod status_period();
  // Counts a gap in the data (a drop of the line) in the period of the next epoch.
  void note_gap();
  // Periods opened so far in the run, and the name of the open one's raw
  // journal file (its observation file's name with .raw; "" with none open).
  int period_serial();
  std::string period_raw_name();
  // The raw journal name of the period closed last, with its final data interval.
  const std::string& closed_raw_name();
  // A file of the period of that index (GPS seconds / --split) that the output
  // folder holds already; "" when none.
  std::string existing_period_file(int64_t index);
  // The period file that exists and stopped a raw file's run; "" when none did.
  const std::string& refused_name();
  // Closes the last period, waits for the writer and stops it.
  void stop_writing();
  // For the epoch or event at the store's time: with periods, closes and opens
  // period files; false when it falls in a period already closed, or (standard
  // writers) is not later than what its file already holds: it is not written.
  bool route_epoch(bool is_epoch);
  // The standard writers' event at the store's time: written once an epoch later
  // than it has been routed, or when the writing stops.
  void hold_event();
  // Counts a navigation record of the system (by type) that the version has
  // no file for; the counts of the run.
  void note_nav_left_out(S16 gnss_type);
  const long* nav_left_out();
  // Prints what became of the period files and of values Compact RINEX cannot hold.
  void output_report();
  // Positions both files at their first byte so the headers can be written again.
  void rewind();
  // Flushes and closes each output file that is open.
  void close();
  // The reason (an errno value) the observation or navigation file could not be
  // written completely; 0 when every write, flush and close succeeded.
  int obs_write_errno();
  int nav_write_errno();
  // After close: with long names, gives both files their standard long
  // names when the run is complete (status 1); they keep their provisional
  // names otherwise. Returns the status, 2 when a file could not be renamed.
  int finish_names(int status);

 private:
  struct State;
  std::unique_ptr<State> s_;
};

// The run's files opened (open), positioned for the header rewrite (rewind)
// and closed (close).
S16 RINEX_init(FileSet& files, const char* input);
void RINEX_rewinding(FileSet& files);
void RINEX_close(FileSet& files);
// True when the run writes one file pair per period.
bool RINEX_splits();

#endif
