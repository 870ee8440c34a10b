// The RINEX writers' output stage: what the converting thread hands over
// (epochs, events, navigation records, the opening and closing of period
// files) and how the writer thread turns it into files: plain RINEX or
// Compact RINEX, plain text or gzip, one file pair or one per period.
#ifndef VLN_RINEX_OUTPUT_H
#define VLN_RINEX_OUTPUT_H

#include <string>

#include "data_type.h"
#include "epoch_record.h"
#include "output_sink.h"

// Item kinds of the output stage.
enum { ITEM_EPOCH = 1, ITEM_NAV = 2, ITEM_PERIOD_OPEN = 3, ITEM_PERIOD_CLOSE = 4 };

// Writes items at once, on the calling thread, until the writer starts.
void RINEX_output_bind();
// The files of a run without periods.
Sink* RINEX_obs_sink();
Sink* RINEX_nav_sink();
// True when the run writes one file pair per period.
bool RINEX_splits();

// Converting thread.
// Starts the writer thread.
void RINEX_output_start();
// Closes the last period, waits for the writer and stops it.
void RINEX_output_stop();
// Writes a header at the start of the run's file (nothing with periods, whose
// files get theirs when they open and close).
void RINEX_write_obs_header(const std::string& text);
void RINEX_write_nav_header(const std::string& text);
// Hands a navigation record to the writer.
void RINEX_emit_nav_record(S16 gnss_type, S16 number, const std::string& text);
// With periods: closes and opens period files for an epoch or event at t;
// false when t falls in a period already closed (the epoch is not written).
bool RINEX_route_epoch(const UTC_TIME_T& t, bool is_epoch);
// Prints what became of the period files; after RINEX_output_stop.
void RINEX_output_report();
// The epoch text (plain or compact) of an epoch record; on the writer thread.
void RINEX_format_epoch(const EPOCH_REC_T& e, const SAT_REC_T* sats, std::string* out);
// The whole observation header text (Compact RINEX header with --crx).
std::string RINEX_obs_header_text(const UTC_TIME_T& start, const UTC_TIME_T& end);
std::string RINEX_nav_header_text();
// The long name of a file covering period seconds from start.
std::string RINEX_period_name(char content, const UTC_TIME_T& start, D64 period);
// The endings of the observation and navigation files: .obs/.crx/.rnx, .nav, and .gz.
std::string RINEX_obs_ending(bool long_name);
std::string RINEX_nav_ending(bool long_name);

#endif
