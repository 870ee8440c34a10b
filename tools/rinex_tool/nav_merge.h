// Navigation files merged into one: each record once (the same satellite,
// epoch, message and issue of data), in time order, the header's parameters
// kept once; records moved between generations where their layouts allow
// (RINEX 2 and 3 records differ by their first columns, RINEX 4 adds a line
// naming each record's message and keeps parameters in records of their own).
#ifndef VLN_NAV_MERGE_H
#define VLN_NAV_MERGE_H

#include <string>

#include "splice.h"

// Whether a file is a navigation file (by its RINEX VERSION / TYPE line).
bool Nav_is_navigation_file(const std::string& path);
SpliceResult Nav_merge_run(const SpliceOptions& o);

#endif
