// The run's output files: their names (from the raw file's, or the standard
// long names), opening, both headers at the start and again in place at the
// end, the routing of epochs to period files with --split, closing, the
// final names, and the console report of what became of them.
#ifndef VLN_RINEX_FILES_H
#define VLN_RINEX_FILES_H

#include "data_type.h"

// Builds both output names from the input name, creates both files (none with
// periods, whose files open as their periods begin) and clears the switches.
S16 RINEX_init(const char* input);
// True when the run writes one file pair per period.
bool RINEX_splits();
// Writes both headers of the run's files with the store's current values
// (nothing with periods, whose files get theirs when they open and close).
void RINEX_write_headers();
// Starts the pass over the log: with threads, a writer thread formats and
// the files' threads write (and compress); without, all of it happens in the
// calling thread.
void RINEX_start_writing(bool threads);
// Closes the last period, waits for the writer and stops it.
void RINEX_stop_writing();
// For the epoch or event at the store's time: with periods, closes and opens
// period files; false when it falls in a period already closed, or (standard
// writers) is not later than what its file already holds: it is not written.
bool RINEX_route_epoch(bool is_epoch);
// The standard writers' event at the store's time: written once an epoch later
// than it has been routed, or when the writing stops.
void RINEX_hold_event();
// Prints what became of the period files and of values Compact RINEX cannot hold.
void RINEX_output_report();
// Positions both files at their first byte so the headers can be written again.
void RINEX_rewinding();
// Flushes and closes each output file that is open.
void RINEX_close();
// The reason (an errno value) the observation or navigation file could not be
// written completely; 0 when every write, flush and close succeeded.
int RINEX_obs_write_errno();
int RINEX_nav_write_errno();
// After RINEX_close: with long names, gives both files their standard long
// names when the run is complete (status 1); they keep their provisional
// names otherwise. Returns the status, 2 when a file could not be renamed.
int RINEX_finish_names(int status);

#endif
