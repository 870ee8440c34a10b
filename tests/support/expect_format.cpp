#include "expect_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vlntest {

namespace {

// Leading-point text: prefix, '.', n significant digits, E, signed two-digit
// exponent (one above printf's, also for zero when zero_up is set).
std::string leading_point(double x, int n, const std::string& prefix, bool zero_up) {
  char sci[64];
  snprintf(sci, sizeof sci, "%.*E", n - 1, std::fabs(x));
  std::string digits = std::string(1, sci[0]) + std::string(sci + 2, (size_t)(n - 1));
  int exponent = atoi(strchr(sci, 'E') + 1);
  if (x != 0.0 || zero_up) exponent += 1;
  char exp_text[16];
  snprintf(exp_text, sizeof exp_text, "E%c%02d", exponent < 0 ? '-' : '+',
           std::abs(exponent) % 100);
  return prefix + "." + digits + exp_text;
}

}  // namespace

// The sign of negative zero shows in the long field, as the conversion gives it.
std::string expect_d19(double x) {
  return leading_point(x, 12, std::signbit(x) ? " -" : "  ", false);
}
std::string expect_d12(double x) { return leading_point(x, 4, x < 0 ? "  -" : "   ", false); }
std::string expect_d17(double x) { return leading_point(x, 10, x < 0 ? " -" : "  ", true); }
std::string expect_d16(double x) { return leading_point(x, 9, x < 0 ? " -" : "  ", true); }

std::string fmt(const char* format, double x) {
  char b[512];
  snprintf(b, sizeof b, format, x);
  return b;
}

std::string header_line(const std::string& content, const std::string& label) {
  return content + std::string(60 - content.size(), ' ') + label + "\n";
}

std::string fmt_int(const char* format, long x) {
  char b[128];
  snprintf(b, sizeof b, format, x);
  return b;
}

std::string expect_e19(double x, char letter) {
  char b[32];
  snprintf(b, sizeof b, "%19.12E", x);
  std::string t = b;
  t[15] = letter;
  return t;
}

}  // namespace vlntest
