// Text of RINEX fields for expected lines, computed here with the standard
// conversions, independently of the program's own formatters.
#ifndef VLN_TEST_EXPECT_FORMAT_H
#define VLN_TEST_EXPECT_FORMAT_H

#include <string>

namespace vlntest {

// The 19-column leading-point field, e.g. " -.123456789012E-04".
std::string expect_d19(double x);
// The standard writers' 19-column field: one digit before the point, E
// exponents (RINEX 3 and 4) or D (RINEX 2), e.g. " -1.234567890123E-05".
std::string expect_e19(double x, char letter = 'E');
// The header fields: 12 columns with 4 digits, 17 with 10 and 16 with 9.
std::string expect_d12(double x);
std::string expect_d17(double x);
std::string expect_d16(double x);
// printf of one value with a format, as a string.
std::string fmt(const char* format, double x);
std::string fmt_int(const char* format, long x);
// A header line of a hand-written RINEX file: the content in 60 columns, then the label.
std::string header_line(const std::string& content, const std::string& label);

}  // namespace vlntest

#endif
