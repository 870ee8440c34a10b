// The raw stream's framing. Frames are A0 A1, a big-endian payload length,
// the payload (the message ID first), an XOR checksum of the payload and the
// tail 0D 0A; anything between frames is skipped byte by byte, and the byte
// after a lone A0 is passed over with it. A length beyond the frame buffer is
// a false start inside data: only its four bytes are passed. The framer takes
// the stream as it comes, in pieces of any size, and hands each frame on as
// soon as it is whole; the run and the signal scan frame alike through it.
#ifndef VLN_FRAMING_FRAMER_H
#define VLN_FRAMING_FRAMER_H

#include <cstddef>
#include <cstdint>

#include "data_type.h"

// Frame buffer size: payload and checksum together must fit.
enum { FRAME_BUFFER_SIZE = 2000 };
// Bytes of a frame besides its payload: start pair, length, checksum, tail.
constexpr int kFrameOverhead = 7;

// Exclusive OR of buf[0] to buf[len-1]; 0 for len 0.
U08 calculate_checksum(const unsigned char* buf, int len);

// What the framer hands on.
class FrameHandler {
 public:
  virtual ~FrameHandler() = default;
  // A frame's payload (which a decoder may alter) and whether its checksum
  // matches; start is the
  // stream offset of its first byte.
  virtual void frame(U08* payload, U16 len, bool checksum_ok, uint64_t start) = 0;
  // The two bytes after the checksum were read: matched when they are the
  // tail. False stops the framer here.
  virtual bool tail(bool matched) {
    (void)matched;
    return true;
  }
  // A length beyond the frame buffer.
  virtual void oversize(U16 len) { (void)len; }
};

class Framer {
 public:
  // Where the stream stands between frames, or in which part of a frame.
  enum State { kFirstStart, kSecondStart, kLength, kPayload, kTail };

  explicit Framer(FrameHandler* handler) : handler_(handler) {}
  // Takes up to n bytes; returns how many were taken: all of them, unless the
  // handler stopped the framer at a frame's tail. A frame whole in the piece
  // is handed on where it lies (a decoder may alter its payload there).
  size_t feed(U08* bytes, size_t n);
  State state() const { return state_; }
  // Start pairs (A0 A1) found so far.
  unsigned long starts() const { return starts_; }
  // In a frame's payload: its length, and the bytes of payload and checksum read.
  U16 length() const { return length_; }
  size_t have() const { return have_; }

 private:
  FrameHandler* handler_;
  State state_ = kFirstStart;
  unsigned long starts_ = 0;
  uint64_t offset_ = 0;  // stream bytes taken
  uint64_t frame_start_ = 0;
  U16 length_ = 0;
  size_t have_ = 0;
  U08 buf_[FRAME_BUFFER_SIZE + 2];
};

#endif
