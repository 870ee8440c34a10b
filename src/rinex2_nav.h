// Navigation files of RINEX 2.11 from the standard writer: a GPS file (N)
// with ION ALPHA, ION BETA, DELTA-UTC and LEAP SECONDS, and a GLONASS file
// (G) with CORR TO SYSTEM TIME; the records come from nav_records. Galileo,
// BeiDou and QZSS records have no file in 2.11.
#ifndef VLN_RINEX2_NAV_H
#define VLN_RINEX2_NAV_H

#include <string>

// The header of the GPS file (glonass false) or of the GLONASS file.
std::string Rinex2_nav_header_text(bool glonass);

#endif
