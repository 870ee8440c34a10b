// Header lines whose layout every observation writer shares, as the
// contents of their columns 1-60 (each writer adds the label its way): the
// types of a system (RINEX 3 and 4), the one list of types of RINEX 2.11,
// the GLONASS slots with their channel numbers, and the time of the first or
// last epoch.
#ifndef VLN_OBS_HEADER_LINES_H
#define VLN_OBS_HEADER_LINES_H

#include <string>
#include <utility>
#include <vector>

#include "data_type.h"

// SYS / # / OBS TYPES: the system's letter and count, 13 codes a line.
std::vector<std::string> Obs_types_contents(char system, const std::vector<std::string>& codes);
// # / TYPES OF OBSERV: the count, nine two-character types a line.
std::vector<std::string> Obs_types2_contents(const std::vector<std::string>& types);
// GLONASS SLOT / FRQ #: the count, eight slots (slot, channel) a line.
std::vector<std::string> Obs_slot_contents(const std::vector<std::pair<int, int>>& slots);
// TIME OF FIRST OBS / TIME OF LAST OBS: the calendar and the time system.
std::string Obs_time_content(const UTC_TIME_T& c, const std::string& system);

#endif
