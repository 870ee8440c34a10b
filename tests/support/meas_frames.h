// Measurement frames and the observation record text the tests expect of
// them, written out from the message layouts and the record format.
#ifndef VLN_TEST_MEAS_FRAMES_H
#define VLN_TEST_MEAS_FRAMES_H

#include <string>
#include <vector>

#include "frame_builder.h"

namespace vlntest {

struct Meas {
  uint8_t code, svid, k_byte, cn0;  // code: 0xE5's constellation | signal << 4
  double pr, phase;
  float doppler;
  uint16_t indicator;  // 0xDD indicator byte or 0xE5 channel indicator
};

// 0xE5 of week 2400 at tow_ms; extra_count adds to the announced record count.
Bytes e5(uint8_t iod, uint32_t tow_ms, const std::vector<Meas>& ms, int extra_count = 0);
// 0xE9 event stamp of week 2400.
Bytes e9(double tow);
// One frequency's 64 columns of a record line, and a whole single-frequency line.
std::string second(double pr, double phase, char lli, double dop, double cn0);
std::string rec(char letter, int sat, double pr, double phase, char lli, double dop, double cn0);

}  // namespace vlntest

#endif
