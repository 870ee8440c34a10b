// The number formats of the RINEX files: the navigation fields of the
// D-exponent forms, and the fixed-point fields of the observation file,
// printed exactly as the C library's printf prints them, on every platform.
#ifndef VLN_RINEX_FORMAT_H
#define VLN_RINEX_FORMAT_H

#include <cstdint>

// Fields of exactly 19, 12, 17 and 16 characters plus a terminating zero.
void D19_12_format(double x, char* buf);
void D12_04_format(double x, char* buf);
void D17_10_format(double x, char* buf);
void D16_09_format(double x, char* buf);
// Writes x exactly as printf("%*.*f", width, prec, x) does (prec 1 to 9), without a
// terminating zero; returns the number of characters written.
int RINEX_format_fixed(char* out, double x, int width, int prec);
// The value that format prints, as an integer count of 10^-prec (the digits
// without the point, signed); false for values that are not finite or 1e15 and above.
bool RINEX_fixed_scaled(double x, int prec, int64_t* scaled);
// Writes x in F14.3 as printf does when such a field holds it (finite, from
// -999999999.999 to 9999999999.999); false, and nothing written, otherwise.
bool RINEX_format_f14_3(char* out, double x);
// True when an F14.3 field shows x (finite, from -999999999.999 to
// 9999999999.999), with the thousandths it shows.
bool RINEX_f14_3_thousandths(double x, int64_t* thousandths);
// The standard form of a number with one digit before the point: prec decimals
// and a two-digit exponent after the letter (E, or D for RINEX 2), right-aligned
// in width characters ("-6.528543308377E-04" in 19), plus a terminating zero.
// Exponents beyond two digits show the largest magnitude, or zero below.
void RINEX_format_exponent(double x, int width, int prec, char letter, char* buf);

#endif
