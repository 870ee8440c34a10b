#include "meas_frames.h"

#include <cstdio>

namespace vlntest {

Bytes e5(uint8_t iod, uint32_t tow_ms, const std::vector<Meas>& ms, int extra_count) {
  Payload p(0xE5);
  p.u8(1).u8(iod).be16(2400).be32(tow_ms).be16(1000).u8(0).u8(0).u8((uint32_t)ms.size() +
                                                                    extra_count);
  for (const Meas& m : ms) {
    p.u8(m.code).u8(m.svid).u8(m.k_byte).u8(m.cn0).f64(m.pr).f64(m.phase).f32(m.doppler);
    p.u8(1).u8(2).u8(3).be16(m.indicator).be16(0);
  }
  return frame(p);
}

Bytes e9(double tow) { return frame(Payload(0xE9).u8(0).be16(2400).f64(tow)); }

std::string second(double pr, double phase, char lli, double dop, double cn0) {
  char b[256];
  snprintf(b, sizeof b, "%14.3lf  %14.3lf%1c %14.3f  %14.3f  ", pr, phase, lli, dop, cn0);
  return b;
}

std::string rec(char letter, int sat, double pr, double phase, char lli, double dop, double cn0) {
  char b[8];
  snprintf(b, sizeof b, "%c%2d", letter, sat);
  return b + second(pr, phase, lli, dop, cn0);
}

}  // namespace vlntest
