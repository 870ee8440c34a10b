// Builds raw logs for tests: payloads with big-endian fields, and frames
// around them (optionally with a broken checksum or tail).
#ifndef VLN_TEST_FRAME_BUILDER_H
#define VLN_TEST_FRAME_BUILDER_H

#include <cstdint>
#include <string>
#include <vector>

namespace vlntest {

typedef std::vector<uint8_t> Bytes;

// A payload written field by field, big-endian like the receiver writes it.
class Payload {
 public:
  explicit Payload(uint8_t msg_id) { bytes_.push_back(msg_id); }
  Payload& u8(uint32_t v);
  Payload& be16(uint32_t v);
  Payload& be32(uint32_t v);
  Payload& f32(float v);
  Payload& f64(double v);
  Payload& raw(const Bytes& b);
  Payload& zeros(size_t n);
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

enum class Fault { kNone, kBadChecksum, kBadTail };

// A0 A1, length, payload, XOR checksum, 0D 0A.
Bytes frame(const Bytes& payload, Fault fault = Fault::kNone);
Bytes frame(const Payload& payload, Fault fault = Fault::kNone);
void append(Bytes* log, const Bytes& more);

}  // namespace vlntest

#endif
