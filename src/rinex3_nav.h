// Navigation files of RINEX 3.02 to 3.05 from the standard writer: the
// header each version defines (IONOSPHERIC CORR, with the time mark and the
// satellite from 3.03, TIME SYSTEM CORR, LEAP SECONDS with its system from
// 3.03), reserving a line for each record the selected systems may get; the
// records come from nav_records.
#ifndef VLN_RINEX3_NAV_H
#define VLN_RINEX3_NAV_H

#include <string>

#include "data_type.h"

std::string Rinex3_nav_header_text();
// The full week of a week count broadcast modulo 256, the one nearest to the
// receiver's week (both in the same numbering).
S32 Nav_full_week(S32 week_mod_256, S32 receiver_week);

#endif
