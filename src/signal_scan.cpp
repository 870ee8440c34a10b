// The signal scan: the log's frames through the framer the conversion uses,
// from large blocks; only the first byte of each record of 0xE5, or the
// identifier of each record of 0xDD, and the times of 0xDC and 0xE5 are
// looked at.
#include "signal_scan.h"

#include <cmath>
#include <vector>

#include "const.h"
#include "decode_binmsg.h"
#include "framing/framer.h"
#include "obs.h"

namespace {

constexpr size_t kBlock = 1 << 20;
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

bool Scan_log(FileSource* log, LogScan* scan) {
  // The frames as the pass over the log finds them; a frame whose checksum
  // matches is looked into, whatever its tail.
  class Frames : public FrameHandler {
   public:
    explicit Frames(LogScan* s) : scan_(s) {}
    void frame(U08* payload, U16 len, bool checksum_ok, uint64_t) override {
      if (len > 0 && checksum_ok) scan_payload(payload, len, &kind_, scan_);
    }

   private:
    LogScan* scan_;
    S16 kind_ = kNoKind;
  } frames(scan);
  Framer framer(&frames);
  std::vector<U08> block(kBlock);
  std::string why;
  for (long n; (n = log->read(block.data(), block.size(), &why)) > 0;)
    framer.feed(block.data(), (size_t)n);
  return log->rewind();
}
