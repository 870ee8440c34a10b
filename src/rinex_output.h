// The writer thread's side of the output: the files items go into (the run's
// pair, or the pair of the open period with --split), what each item does to
// them, and what became of the period files. The writer prints nothing:
// the converting thread reports once the writer has stopped, so the console
// reads the same on every run.
#ifndef VLN_RINEX_OUTPUT_H
#define VLN_RINEX_OUTPUT_H

#include <string>
#include <vector>

#include "output_sink.h"

// The files of a run without periods, opened by the caller.
Sink* RINEX_obs_sink();
Sink* RINEX_nav_sink();
// The GLONASS navigation file of RINEX 2.11 (not opened for other versions).
Sink* RINEX_gnav_sink();
// Writes items at once, on the calling thread, until the writer starts;
// raw_name is the log, which no renamed file may replace.
void RINEX_output_bind(const std::string& raw_name);
// Starts writing, with the writer thread and the files' threads or without.
void RINEX_output_start(bool threads);
// Waits until everything handed over is written, and stops the writer.
void RINEX_output_stop();
// Values of the original writer's Compact RINEX that no 14-column field
// holds, written as blank fields.
long RINEX_crx_blank_values();
// Period files completed, and the files left under their provisional names.
int RINEX_periods_written();
// RINEX 2.11's period navigation files of GPS or GLONASS left out for lack of records.
long RINEX_unwritten_nav_files(bool glonass);
const std::vector<std::string>& RINEX_incomplete_files();
// The first write error (an errno value) of any period's observation or navigation file.
int RINEX_period_obs_errno();
int RINEX_period_nav_errno();

#endif
