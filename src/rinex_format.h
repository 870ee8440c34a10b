// The number formats of the RINEX files: the navigation fields of the
// D-exponent forms, and the fixed-point fields of the observation file,
// printed exactly as the C library's printf prints them, on every platform.
#ifndef VLN_RINEX_FORMAT_H
#define VLN_RINEX_FORMAT_H

#include <cmath>
#include <cstdint>
#include <cstring>

// Fields of exactly 19, 12, 17 and 16 characters plus a terminating zero.
void D19_12_format(double x, char* buf);
void D12_04_format(double x, char* buf);
void D17_10_format(double x, char* buf);
void D16_09_format(double x, char* buf);
// Writes x exactly as printf("%*.*f", width, prec, x) does (prec 1 to 9), without a
// terminating zero; returns the number of characters written.
int RINEX_format_fixed(char* out, double x, int width, int prec);
// Writes v as printf's "%*d" does (right-aligned in width, wider when it
// needs more); returns the length.
int RINEX_format_int(char* out, int v, int width);
// Writes x in F14.3 as printf does when such a field holds it (finite, from
// -999999999.999 to 9999999999.999); false, and nothing written, otherwise.
bool RINEX_format_f14_3(char* out, double x);
// Writes the F14.3 field of a magnitude in thousandths (at most 13 digits,
// 12 when negative) and its sign.
void RINEX_put_f14_3(char* out, uint64_t thousandths, bool negative);
// True when an F14.3 field shows x (finite, from -999999999.999 to
// 9999999999.999), with the thousandths of |x| it shows and the sign: x =
// mant * 2^-s exactly, rounded half to even on that value as printf rounds;
// mant * 1000 fits 64 bits (mant < 2^53), and below 2^-11 the thousandths are
// 0. Inline: the writers ask for every value of every epoch.
inline bool RINEX_f14_3_magnitude(double x, uint64_t* thousandths, bool* negative) {
  constexpr uint64_t kLargest = 9999999999999ULL;
  constexpr uint64_t kLargestNegative = 999999999999ULL;
  if (!(std::fabs(x) < 1e10)) return false;  // NaN too
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  *negative = (bits >> 63) != 0;
  int biased = (int)((bits >> 52) & 0x7FF);
  uint64_t mant = (bits & ((1ULL << 52) - 1)) | (biased != 0 ? 1ULL << 52 : 0);
  int s = 1075 - (biased != 0 ? biased : 1);  // at least 19 below 1e10
  uint64_t t = 0;
  if (s < 64) {
    uint64_t prod = mant * 1000;
    t = prod >> s;
    uint64_t rem = prod & ((1ULL << s) - 1), half = 1ULL << (s - 1);
    t += (uint64_t)((rem > half) | ((rem == half) & (t & 1)));
  }
  *thousandths = t;
  return t <= (*negative ? kLargestNegative : kLargest);
}
// The standard form of a number with one digit before the point: prec decimals
// and a two-digit exponent after the letter (E, or D for RINEX 2), right-aligned
// in width characters ("-6.528543308377E-04" in 19), plus a terminating zero.
// Exponents beyond two digits show the largest magnitude, or zero below.
void RINEX_format_exponent(double x, int width, int prec, char letter, char* buf);

#endif
