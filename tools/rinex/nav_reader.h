// Navigation files of RINEX 3 read into broadcast records: the header's
// Klobuchar coefficients and leap seconds, the Keplerian sets of GPS, QZSS,
// Galileo and BeiDou and the GLONASS state vectors.
#ifndef VLN_NAV_READER_H
#define VLN_NAV_READER_H

#include <string>

#include "broadcast.h"

namespace bc {

// A fixed-column field of a RINEX line as a number ('D' exponents too); 0 when absent.
double field(const std::string& line, size_t pos, size_t len);
int int_field(const std::string& line, size_t pos, size_t len);
// Adds the header values and records of a navigation file's text; false when
// it is not one (no navigation RINEX VERSION / TYPE line, no END OF HEADER).
bool read_nav_text(const std::string& text, NavData* nav);
// The same for a file (plain, gzip or Compact RINEX).
bool read_nav_file(const std::string& path, NavData* nav, std::string* error);

}  // namespace bc

#endif
