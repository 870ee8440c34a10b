// RINEX number formats. The navigation fields use a leading decimal point
// (.123456789012E-04); the observation records use plain fixed-point numbers,
// which are produced here digit for digit as printf would, but without its cost.
#include "rinex_format.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

__extension__ typedef unsigned __int128 U128;

const uint64_t kPow10[10] = {1,      10,      100,      1000,      10000,
                             100000, 1000000, 10000000, 100000000, 1000000000};

constexpr double kFastFixedLimit = 1e15;  // integer part always fits 64 bits below this
// "00" to "99", two digits at a time.
const char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Largest fraction shift for which fraction bits times 10^prec fit in 64 bits.
const int kShiftLimit64[10] = {64, 60, 57, 54, 50, 47, 44, 40, 37, 34};

// Writes the leading-point field of a value with n significant digits:
// digits, exponent, sign flag, all from the exponent conversion of printf.
struct Mantissa {
  char digits[20];  // the n significant digits, first digit first
  int exp10;        // exponent of the printf conversion (d.ddd x 10^exp10)
};

Mantissa scientific(double magnitude, int n) {
  if (!std::isfinite(magnitude)) return Mantissa{};  // callers saturate these
  char text[40];
  snprintf(text, sizeof text, "%.*E", n - 1, magnitude);
  Mantissa m{};
  int k = 0;
  const char* p = text;
  for (; *p != 'E'; p++)
    if (*p >= '0' && *p <= '9') m.digits[k++] = *p;
  m.exp10 = atoi(p + 1);
  return m;
}

// The largest magnitude a field can show, for values beyond it.
void saturate(Mantissa* m, int* e) {
  memset(m->digits, '9', sizeof m->digits);
  *e = 99;
}

// Fills buf[0..width-1] with the text right-aligned, for values that have no
// leading-point form (NaN), and terminates it.
void fill_right(char* buf, int width, const char* text) {
  int len = (int)strlen(text);
  memset(buf, ' ', (size_t)width);
  memcpy(buf + width - len, text, (size_t)len);
  buf[width] = '\0';
}

void write_exponent(char* p, int e) {
  p[0] = 'E';
  p[1] = e < 0 ? '-' : '+';
  int m = e < 0 ? -e : e;
  p[2] = (char)('0' + m / 10);
  p[3] = (char)('0' + m % 10);
}

// Lays out a field: blanks up to the sign column, the sign ('-' or blank), the
// point, the n digits and the exponent; returns after the terminating zero.
void put_field(char* buf, int sign_col, bool negative, const Mantissa& m, int n, int e) {
  memset(buf, ' ', (size_t)sign_col);
  buf[sign_col] = negative ? '-' : ' ';
  buf[sign_col + 1] = '.';
  memcpy(buf + sign_col + 2, m.digits, (size_t)n);
  write_exponent(buf + sign_col + 2 + n, e);
  buf[sign_col + 6 + n] = '\0';
}

// The 17- and 16-column fields: blank, sign, point, n digits, exponent of the
// conversion plus one (also for zero), magnitude taken modulo 100.
void leading_point_field(double x, char* buf, int n) {
  int width = n + 7;
  if (std::isnan(x)) return fill_right(buf, width, "NaN");
  double mag = x < 0 ? -x : x;
  Mantissa m = scientific(mag, n);
  int e = m.exp10 + 1;
  if (std::isinf(mag)) saturate(&m, &e);
  put_field(buf, 1, x < 0, m, n, e % 100);
}

}  // namespace

void RINEX_format_exponent(double x, int width, int prec, char letter, char* buf) {
  double mag = std::fabs(x);
  Mantissa m = scientific(mag, prec + 1);
  int e = m.exp10;
  if (x == 0.0 || e < -99) {
    memset(m.digits, '0', sizeof m.digits);
    e = 0;
  } else if (e > 99 || !std::isfinite(x)) {
    saturate(&m, &e);
  }
  int len = prec + 6 + (std::signbit(x) && x != 0.0 ? 1 : 0);
  memset(buf, ' ', (size_t)width);
  char* p = buf + (width > len ? width - len : 0);
  if (std::signbit(x) && x != 0.0) *p++ = '-';
  *p++ = m.digits[0];
  *p++ = '.';
  memcpy(p, m.digits + 1, (size_t)prec);
  p += prec;
  write_exponent(p, e);
  p[0] = letter;
  p[4] = '\0';
}

void D19_12_format(double x, char* buf) {
  constexpr int kDigits = 12;
  constexpr int kWidth = 19;
  if (std::isnan(x)) return fill_right(buf, kWidth, "NaN");
  double mag = std::fabs(x);
  Mantissa m = scientific(mag, kDigits);
  int e = (m.digits[0] == '0') ? 0 : m.exp10 + 1;
  if (e > 99 || std::isinf(mag)) {
    saturate(&m, &e);
  } else if (e < -99) {  // below the smallest: shows as zero
    memset(m.digits, '0', kDigits);
    e = 0;
  }
  put_field(buf, 1, std::signbit(x), m, kDigits, e);
}

void D12_04_format(double x, char* buf) {
  constexpr int kDigits = 4;
  constexpr int kWidth = 12;
  if (std::isnan(x)) return fill_right(buf, kWidth, "NaN");
  double mag = std::fabs(x);
  Mantissa m = scientific(mag, kDigits);
  int e = (x != 0.0) ? m.exp10 + 1 : m.exp10;
  if (std::isinf(mag)) saturate(&m, &e);
  put_field(buf, 2, x < 0, m, kDigits, e % 100);
}

void D17_10_format(double x, char* buf) { leading_point_field(x, buf, 10); }

void D16_09_format(double x, char* buf) { leading_point_field(x, buf, 9); }

namespace {

// The integer part and the prec decimals of the fraction of a magnitude below
// 1e15, rounded half to even on the exact binary value, as printf rounds.
inline void split_fixed(double mag, int prec, uint64_t* ip_out, uint64_t* q_out) {
  uint64_t bits;
  memcpy(&bits, &mag, sizeof bits);
  int biased = (int)(bits >> 52);
  uint64_t mant = bits & ((1ULL << 52) - 1);
  if (biased != 0) mant |= 1ULL << 52;
  int e2 = (biased != 0 ? biased : 1) - 1075;  // mag = mant * 2^e2, exactly

  uint64_t ip = 0;
  uint64_t q = 0;
  if (e2 >= 0) {
    ip = mant << e2;
  } else {
    int s = -e2;
    uint64_t fbits = mant;
    if (s < 64) {
      ip = mant >> s;
      fbits = mant & ((1ULL << s) - 1);
    }
    if (s <= kShiftLimit64[prec]) {  // the product fits 64 bits: the common case
      uint64_t prod = fbits * kPow10[prec];
      q = prod >> s;
      uint64_t rem = prod & ((1ULL << s) - 1);
      uint64_t half = 1ULL << (s - 1);
      q += (uint64_t)((rem > half) | ((rem == half) & (q & 1)));  // branch-free: unpredictable
    } else if (s < 100) {
      U128 prod = (U128)fbits * kPow10[prec];
      q = (uint64_t)(prod >> s);
      U128 rem = prod & (((U128)1 << s) - 1);
      U128 half = (U128)1 << (s - 1);
      if (rem > half || (rem == half && (q & 1))) q++;
    }  // else the value is below 2^-99 and every decimal is 0
    if (q == kPow10[prec]) {
      q = 0;
      ip++;
    }
  }
  *ip_out = ip;
  *q_out = q;
}

// Non-finite values as the GNU C library prints them, on every platform.
int format_non_finite(char* out, double x, int width) {
  const char* text = std::isnan(x) ? (std::signbit(x) ? "-nan" : "nan") : (x < 0 ? "-inf" : "inf");
  int len = (int)strlen(text);
  int pad = width > len ? width - len : 0;
  memset(out, ' ', (size_t)pad);
  memcpy(out + pad, text, (size_t)len);
  return pad + len;
}

// The digits of a split magnitude, right-aligned in width, as printf writes them.
int put_fixed(char* out, bool negative, uint64_t ip, uint64_t q, int width, int prec) {
  // Digits are written backwards from the end of a local buffer.
  char text[48];
  char* end = text + sizeof text;
  char* p = end;
  int left = prec;
  for (; left >= 2; left -= 2) {
    p -= 2;
    memcpy(p, kDigitPairs + 2 * (q % 100), 2);
    q /= 100;
  }
  if (left == 1) *--p = (char)('0' + q % 10);
  *--p = '.';
  while (ip >= 100000000) {  // rare: more than eight integer digits
    p -= 2;
    memcpy(p, kDigitPairs + 2 * (ip % 100), 2);
    ip /= 100;
  }
  uint32_t ip32 = (uint32_t)ip;  // 32-bit divisions are cheaper
  while (ip32 >= 100) {
    p -= 2;
    memcpy(p, kDigitPairs + 2 * (ip32 % 100), 2);
    ip32 /= 100;
  }
  if (ip32 >= 10) {
    p -= 2;
    memcpy(p, kDigitPairs + 2 * ip32, 2);
  } else {
    *--p = (char)('0' + ip32);
  }
  if (negative) *--p = '-';
  int len = (int)(end - p);
  int pad = width > len ? width - len : 0;
  memset(out, ' ', (size_t)pad);
  memcpy(out + pad, p, (size_t)len);
  return pad + len;
}

}  // namespace

int RINEX_format_int(char* out, int v, int width) {
  char text[16];
  char* end = text + sizeof text;
  char* p = end;
  uint32_t m = v < 0 ? 0u - (uint32_t)v : (uint32_t)v;
  do {
    *--p = (char)('0' + m % 10);
    m /= 10;
  } while (m != 0);
  if (v < 0) *--p = '-';
  int len = (int)(end - p);
  int pad = width > len ? width - len : 0;
  for (int i = 0; i < pad; i++) out[i] = ' ';
  memcpy(out + pad, p, (size_t)len);
  return pad + len;
}

int RINEX_format_fixed(char* out, double x, int width, int prec) {
  if (!std::isfinite(x)) return format_non_finite(out, x, width);
  if (!(std::fabs(x) < kFastFixedLimit)) {  // huge values
    char text[400];
    int n = snprintf(text, sizeof text, "%*.*f", width, prec, x);
    memcpy(out, text, (size_t)n);
    return n;
  }
  bool negative = std::signbit(x);
  uint64_t ip, q;
  split_fixed(std::fabs(x), prec, &ip, &q);
  return put_fixed(out, negative, ip, q, width, prec);
}

bool RINEX_format_f14_3(char* out, double x) {
  uint64_t thousandths;
  bool negative;
  if (!RINEX_f14_3_magnitude(x, &thousandths, &negative)) return false;
  RINEX_put_f14_3(out, thousandths, negative);
  return true;
}

namespace {

// Every number below 10000 in four characters: with leading zeros, and
// right-aligned with leading blanks; the writers' digits come four at a time.
struct FourDigits {
  char zero[10000][4];
  char blank[10000][4];
  FourDigits() {
    for (int n = 0; n < 10000; n++) {
      const int digits[4] = {n / 1000, n / 100 % 10, n / 10 % 10, n % 10};
      bool leading = true;
      for (int k = 0; k < 4; k++) {
        zero[n][k] = (char)('0' + digits[k]);
        leading = leading && digits[k] == 0 && k < 3;
        blank[n][k] = leading ? ' ' : zero[n][k];
      }
    }
  }
};
const FourDigits kFour;

// The digits of n < 10000 (at least one).
inline int digit_count(uint32_t n) { return 1 + (n >= 10) + (n >= 100) + (n >= 1000); }

}  // namespace

void RINEX_put_f14_3(char* out, uint64_t thousandths, bool negative) {
  // Ten columns of the integer part, the point, three decimals.
  uint64_t ip = thousandths / 1000;
  uint32_t decimals = (uint32_t)(thousandths - ip * 1000);
  out[10] = '.';
  memcpy(out + 11, kFour.zero[decimals] + 1, 3);
  int first;  // the column of the first digit
  if (ip < 10000) {
    memcpy(out, "      ", 6);
    memcpy(out + 6, kFour.blank[ip], 4);
    first = 10 - digit_count((uint32_t)ip);
  } else if (ip < 100000000) {
    uint32_t high = (uint32_t)ip / 10000, low = (uint32_t)ip - high * 10000;
    memcpy(out, "  ", 2);
    memcpy(out + 2, kFour.blank[high], 4);
    memcpy(out + 6, kFour.zero[low], 4);
    first = 6 - digit_count(high);
  } else {  // nine or ten digits (a negative value has at most nine)
    uint32_t top = (uint32_t)(ip / 100000000);
    uint32_t rest = (uint32_t)(ip - (uint64_t)top * 100000000);
    uint32_t high = rest / 10000, low = rest - high * 10000;
    memcpy(out, kFour.blank[top] + 2, 2);
    memcpy(out + 2, kFour.zero[high], 4);
    memcpy(out + 6, kFour.zero[low], 4);
    first = top >= 10 ? 0 : 1;
  }
  if (negative) out[first - 1] = '-';
}
