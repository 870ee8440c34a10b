#include "expect_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vlntest {

std::string expect_d19(double x) {
  char sci[40];
  snprintf(sci, sizeof sci, "%.11E", std::fabs(x));  // d.ddddddddddd E+xx
  std::string digits = std::string(1, sci[0]) + std::string(sci + 2, 11);
  int exponent = atoi(sci + 14);
  if (x != 0.0) exponent += 1;
  char exp_text[16];
  snprintf(exp_text, sizeof exp_text, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  return std::string(" ") + (std::signbit(x) ? "-" : " ") + "." + digits + exp_text;
}

std::string fmt(const char* format, double x) {
  char b[512];
  snprintf(b, sizeof b, format, x);
  return b;
}

std::string fmt_int(const char* format, long x) {
  char b[128];
  snprintf(b, sizeof b, format, x);
  return b;
}

}  // namespace vlntest
