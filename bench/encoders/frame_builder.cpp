#include "frame_builder.h"

#include <cstring>

namespace vlntest {

Payload& Payload::u8(uint32_t v) {
  bytes_.push_back((uint8_t)v);
  return *this;
}

Payload& Payload::be16(uint32_t v) { return u8(v >> 8).u8(v); }

Payload& Payload::be32(uint32_t v) { return be16(v >> 16).be16(v); }

Payload& Payload::f32(float v) {
  uint32_t bits;
  memcpy(&bits, &v, sizeof bits);
  return be32(bits);
}

Payload& Payload::f64(double v) {
  uint64_t bits;
  memcpy(&bits, &v, sizeof bits);
  return be32((uint32_t)(bits >> 32)).be32((uint32_t)bits);
}

Payload& Payload::raw(const Bytes& b) {
  bytes_.insert(bytes_.end(), b.begin(), b.end());
  return *this;
}

Payload& Payload::zeros(size_t n) {
  bytes_.insert(bytes_.end(), n, 0);
  return *this;
}

Bytes frame(const Bytes& payload, Fault fault) {
  Bytes f;
  f.reserve(payload.size() + 7);
  f.push_back(0xA0);
  f.push_back(0xA1);
  f.push_back((uint8_t)(payload.size() >> 8));
  f.push_back((uint8_t)payload.size());
  uint8_t sum = 0;
  for (uint8_t b : payload) {
    sum ^= b;
    f.push_back(b);
  }
  f.push_back(fault == Fault::kBadChecksum ? (uint8_t)(sum ^ 0x5A) : sum);
  f.push_back(0x0D);
  f.push_back(fault == Fault::kBadTail ? 0x0B : 0x0A);
  return f;
}

Bytes frame(const Payload& payload, Fault fault) { return frame(payload.bytes(), fault); }

void append(Bytes* log, const Bytes& more) { log->insert(log->end(), more.begin(), more.end()); }

}  // namespace vlntest
