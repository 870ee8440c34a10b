// The framer: a state machine over the stream's bytes that copies payloads
// in runs and looks for start bytes with memchr, so that it costs no more
// than reading the bytes once.
#include "framing/framer.h"

#include <cstring>

namespace {

constexpr U08 kFirstStartByte = 0xA0;
constexpr U08 kSecondStartByte = 0xA1;
constexpr U16 kMaxPayloadLen = FRAME_BUFFER_SIZE - 1;
constexpr U08 kTailBytes[2] = {0x0D, 0x0A};

}  // namespace

U08 calculate_checksum(const unsigned char* buf, int len) {
  // Eight bytes at a time, then folded: every byte of the payload is read once.
  uint64_t wide = 0;
  int i = 0;
  for (; i + 8 <= len; i += 8) {
    uint64_t w;
    memcpy(&w, buf + i, sizeof w);
    wide ^= w;
  }
  wide ^= wide >> 32;
  wide ^= wide >> 16;
  wide ^= wide >> 8;
  U08 sum = (U08)wide;
  for (; i < len; i++) sum ^= buf[i];
  return sum;
}

size_t Framer::feed(U08* bytes, size_t n) {
  size_t at = 0;
  while (at < n) {
    switch (state_) {
      case kFirstStart: {
        const void* found = memchr(bytes + at, kFirstStartByte, n - at);
        if (found == nullptr) {
          offset_ += n - at;
          at = n;
          break;
        }
        size_t skip = (size_t)(static_cast<const U08*>(found) - (bytes + at));
        offset_ += skip;
        at += skip;
        frame_start_ = offset_;
        offset_++;
        at++;
        state_ = kSecondStart;
        break;
      }
      case kSecondStart:
        // Either the second start byte, or a byte passed over with the lone first.
        state_ = bytes[at] == kSecondStartByte ? kLength : kFirstStart;
        if (state_ == kLength) {
          starts_++;
          have_ = 0;
        }
        offset_++;
        at++;
        break;
      case kLength:
        buf_[have_++] = bytes[at++];
        offset_++;
        if (have_ < 2) break;
        length_ = (U16)(buf_[0] * 256 + buf_[1]);
        have_ = 0;
        if (length_ > kMaxPayloadLen) {
          handler_->oversize(length_);
          state_ = kFirstStart;
        } else {
          state_ = kPayload;
        }
        break;
      case kPayload: {
        if (have_ == 0 && n - at >= (size_t)length_ + 1) {  // whole in this piece: no copy
          U08* payload = bytes + at;
          at += (size_t)length_ + 1;
          offset_ += (size_t)length_ + 1;
          handler_->frame(payload, length_,
                          calculate_checksum(payload, length_) == payload[length_], frame_start_);
          state_ = kTail;
          break;
        }
        size_t want = (size_t)length_ + 1 - have_;
        size_t take = n - at < want ? n - at : want;
        memcpy(buf_ + have_, bytes + at, take);
        have_ += take;
        at += take;
        offset_ += take;
        if (have_ < (size_t)length_ + 1) break;
        handler_->frame(buf_, length_, calculate_checksum(buf_, length_) == buf_[length_],
                        frame_start_);
        have_ = 0;
        state_ = kTail;
        break;
      }
      case kTail:
        buf_[have_++] = bytes[at++];
        offset_++;
        if (have_ < 2) break;
        have_ = 0;
        state_ = kFirstStart;
        if (!handler_->tail(buf_[0] == kTailBytes[0] && buf_[1] == kTailBytes[1])) return at;
        break;
    }
  }
  return at;
}
