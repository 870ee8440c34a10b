// What a station's run tells its operator about each closed period: one
// console line (name, epochs, satellites, gaps, bytes) and, with
// --status-file, a JSON file rewritten atomically after each period, for a
// monitoring system to alarm on a silent station. The converting thread knows
// a period's epochs; the writer thread knows its files once they are closed:
// both hand their half over here, and the converting thread reports.
#ifndef VLN_STATION_STATUS_H
#define VLN_STATION_STATUS_H

#include <cstdint>
#include <string>

struct PeriodFacts {
  std::string start;  // the period's start, "2026-01-08 01:00:00"
  long epochs = 0;
  int satellites = 0;
  int gaps = 0;
  bool reached_end = true;  // the data or the clock passed the period's end (not a stop)
  long expected = 0;        // the epochs of a whole period at the data's interval; 0 unknown
  std::string last_epoch;   // the time of its last epoch; "" without one
};

// The period being written, as the status file shows it while it is open.
struct OpenPeriod {
  bool open = false;
  std::string start, obs;  // its start, and its observation file's provisional name
  long epochs = 0;
  std::string last_epoch;
};

// Starts reporting for a live source's run; status_file may be "". Without
// it (a file's run) nothing is kept or reported.
void Station_start(const std::string& source, const std::string& status_file);
// Converting thread: a period was closed with these facts.
void Station_period_closed(const PeriodFacts& facts);
// Writer thread: the period's files are closed (complete, or not) under these names.
void Station_files_closed(const std::string& obs, const std::string& nav, bool complete);
// Converting thread: whether the source is connected now (for the status file).
void Station_connected(bool connected);
// Converting thread, often: the open period now. The status file is written
// when a minute has passed since it was last written.
void Station_progress(const OpenPeriod& open);
// Converting thread: prints and records every period whose files are closed.
void Station_report();

#endif
