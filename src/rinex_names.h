// The names of the output files: the endings of the short names and the
// standard long names of RINEX 3 (station, data source, start, period,
// frequency, content), composed when the times and spacing they show are known.
#ifndef VLN_RINEX_NAMES_H
#define VLN_RINEX_NAMES_H

#include <string>

#include "data_type.h"

// The standard long names of the files as the run stands (without folder).
std::string RINEX_long_name(char content);
// The name of a file covering period seconds from start: the long name, or
// for RINEX 2.11 the short name ssssdddf.yyt (t: o or d for observations,
// n for GPS, g for GLONASS navigation; content 'O', 'N' or 'G').
std::string RINEX_period_name(char content, const UTC_TIME_T& start, D64 period);
// What the names of every file of a period share whatever their content and
// data interval: the long name up to its period ("SSSSMRCCC_R_YYYYDDDHHMM_01H_"),
// or the short name up to its type ("ssssdddf.yy").
std::string RINEX_period_key(const UTC_TIME_T& start, D64 period);
// The name of a further part of a file (part 2, 3, ...): ".partN" before its
// endings, "X_MO.part2.crx.gz".
std::string RINEX_part_name(const std::string& name, int part);
// The data frequency of a long name for epochs interval seconds apart ("30S", "10Z", "00U").
std::string RINEX_frequency_code(D64 interval);
// The station ID of the long names: given, else from the marker name, else XXXX00XXX.
std::string RINEX_station_id();
// What starts the names of every file of the run's station: its long names'
// station and data source ("BJFS00CHN_R_"), or RINEX 2.11's four letters ("bjfs").
std::string RINEX_station_prefix();
// The endings of the observation and navigation files: .obs/.crx/.rnx, .nav, and .gz.
std::string RINEX_obs_ending(bool long_name);
std::string RINEX_nav_ending(bool long_name);
// The ending of the GLONASS navigation file of RINEX 2.11 (.gnav, and .gz).
std::string RINEX_gnav_ending();

#endif
