// The signal scan. Frames are found as the framing loop finds them (start
// bytes, a length no larger than the frame buffer, payload, checksum, tail),
// read from large blocks; only the first byte of each record of 0xE5, or the
// identifier of each record of 0xDD, is looked at.
#include "signal_scan.h"

#include <cmath>
#include <vector>

#include "const.h"
#include "decode_binmsg.h"
#include "main.h"
#include "obs.h"

namespace {

constexpr size_t kBlock = 1 << 20;
constexpr size_t kMaxPayload = FRAME_BUFFER_SIZE - 1;
constexpr size_t kExtHeader = 14, kExtRecord = 31;
constexpr size_t kOriHeader = 3, kOriRecord = 23;
constexpr S16 kNoKind = 0, kOriginal = 0xDD, kExtended = 0xE5, kTimeMessage = 0xDC;

void mark(S16 gnss_type, U08 signal_type, bool* present) {
  int id = Codes_signal_id(gnss_type, signal_type);
  if (id != SIG_NONE) present[id] = true;
}

constexpr size_t kTimeEnd = 8, kExtTimeEnd = 9;  // a time message's bytes up to its time of week
constexpr D64 kSecondsPerWeek = 604800;

void note_time(const U08* week, LogScan* scan) {
  U16 wn = (U16)(week[0] << 8 | week[1]);
  U32 ms = (U32)week[2] << 24 | (U32)week[3] << 16 | (U32)week[4] << 8 | week[5];
  D64 t = wn * kSecondsPerWeek + ms / 1000.0;
  if (scan->period > 0 && t >= scan->start && t < scan->end)
    scan->periods.insert((int64_t)std::floor(t / scan->period));
}

void scan_payload(const U08* p, size_t len, S16* kind, LogScan* scan) {
  bool* present = scan->present;
  if (p[0] == kTimeMessage && len >= kTimeEnd) note_time(p + 2, scan);
  if (p[0] == kExtended && len >= kExtTimeEnd) note_time(p + 3, scan);
  if (p[0] != kOriginal && p[0] != kExtended) return;
  if (*kind == kNoKind) *kind = p[0];
  if (p[0] != *kind) return;  // the conversion takes the first kind only
  if (p[0] == kExtended && len >= kExtHeader) {
    size_t n = p[13];
    for (size_t i = 0; i < n && kExtHeader + (i + 1) * kExtRecord <= len; i++) {
      S16 type;
      U08 signal;
      Decode_extended_signal(p[kExtHeader + i * kExtRecord], &type, &signal);
      mark(type, signal, present);
    }
  } else if (p[0] == kOriginal && len >= kOriHeader) {
    size_t n = p[2];
    for (size_t i = 0; i < n && kOriHeader + (i + 1) * kOriRecord <= len; i++)
      mark(Obs_original_constellation(p[kOriHeader + i * kOriRecord]), 0, present);
  }
}

}  // namespace

bool Scan_log(FILE* fp, LogScan* scan) {
  std::vector<U08> buf;
  std::vector<U08> block(kBlock);
  S16 kind = kNoKind;
  size_t at = 0;
  bool end = false;
  for (;;) {
    // Keep at least one whole frame ahead of the position, unless the log has ended.
    if (!end && at <= buf.size() && buf.size() - at < kMaxPayload + 8) {
      buf.erase(buf.begin(), buf.begin() + (long)at);
      at = 0;
      size_t n = fread(block.data(), 1, kBlock, fp);
      buf.insert(buf.end(), block.begin(), block.begin() + (long)n);
      end = n < kBlock;
    }
    // A frame's tail may lie beyond the end of a log cut short.
    if (at >= buf.size() || buf.size() - at < 4) break;
    if (buf[at] != 0xA0) {
      at++;
      continue;
    }
    if (buf[at + 1] != 0xA1) {  // as the framing loop reads: the byte after a lone A0 is passed
      at += 2;
      continue;
    }
    size_t len = (size_t)buf[at + 2] << 8 | buf[at + 3];
    if (len > kMaxPayload) {  // a false start: its four bytes are passed
      at += 4;
      continue;
    }
    if (buf.size() - at < 4 + len + 1) break;  // cut short: the conversion stops there too
    const U08* payload = &buf[at + 4];
    if (len > 0 && calculate_checksum(payload, (int)len) == payload[len])
      scan_payload(payload, len, &kind, scan);
    at += 4 + len + 1 + 2;  // payload, checksum and the tail, whatever it holds
  }
  clearerr(fp);
  return fseek(fp, 0, SEEK_SET) == 0;
}
