// The signal scan: the log's frames through the framer the conversion uses,
// from large blocks; only the first byte of each record of 0xE5, or the
// identifier of each record of 0xDD, and the times of 0xDC and 0xE5 are
// looked at.
#include "signal_scan.h"

#include <cmath>
#include <memory>
#include <vector>

#include "const.h"
#include "decode_binmsg.h"
#include "framing/framer.h"
#include "glonass_channels.h"
#include "obs.h"

namespace {

constexpr size_t kBlock = 1 << 20;
constexpr S16 kNoKind = 0, kOriginal = 0xDD, kExtended = 0xE5, kTimeMessage = 0xDC;

constexpr U08 kGlonassCode = 2;  // an 0xE5 record's constellation code, its low four bits

void mark(S16 gnss_type, U08 signal_type, bool* present) {
  int id = Codes_signal_id(gnss_type, signal_type);
  if (id != SIG_NONE) present[id] = true;
}

constexpr D64 kSecondsPerWeek = 604800;

constexpr D64 kGridTolerance = 0.001;  // as the epoch selection keeps epochs on a grid
constexpr U16 kGpsSubframeLen = 33, kGloStringLen = 12;
constexpr U32 kPage18SvId = 56;

void note_time(const U08* week, LogScan* scan) {
  U16 wn = (U16)(week[0] << 8 | week[1]);
  U32 ms = (U32)week[2] << 24 | (U32)week[3] << 16 | (U32)week[4] << 8 | week[5];
  D64 t = wn * kSecondsPerWeek + ms / 1000.0;
  if (!(t >= scan->start && t < scan->end)) return;
  if (scan->period > 0) scan->periods.insert((int64_t)std::floor(t / scan->period));
  if (scan->interval > 0 &&
      std::fabs(t - std::floor(t / scan->interval + 0.5) * scan->interval) > kGridTolerance)
    return;
  D64 step = t - scan->last_epoch;
  if (scan->last_epoch >= 0 && step > 0 && (scan->spacing == 0 || step < scan->spacing))
    scan->spacing = step;
  scan->last_epoch = t;
}

// GLONASS strings: string 1's frame time, and the almanac's channel numbers.
void note_glonass(const U08* p, size_t len, LogScan* scan) {
  if (len < kGloStringLen) return;
  U08 string_number = p[2];
  U32 word0 = (U32)p[3] << 8 | p[4];
  U32 word2 = (U32)p[9] << 24 | (U32)p[10] << 16 | (U32)p[11] << 8;
  U08 slot = (U08)(p[1] - 64);
  if (slot == 0 || slot > GLO_MAX_SLOT) return;
  if (string_number == 1) scan->glonass_tk = (S16)((word0 & 0x7F) + ((word0 >> 7) & 0x1F) * 120);
  S16 almanac_slot = Glo_almanac_slot(scan->glonass_tk, string_number);
  if (almanac_slot != 0) scan->glonass_k[almanac_slot] = Glo_almanac_string_k(word2);
}

// GPS and QZSS subframe 4 page 18: the leap seconds (word 9's first 8 bits).
void note_page18(const U08* p, size_t len, LogScan* scan) {
  if (len < kGpsSubframeLen || p[2] != 4) return;
  U32 word3 = (U32)p[9] << 16 | (U32)p[10] << 8 | p[11];
  U32 data_id = word3 >> 22, sv_id = word3 >> 16 & 0x3F;
  bool gps = p[1] <= GPS_MAX_SV, qzss = p[1] >= 193 && p[1] < 193 + QZSS_TABLE_SV;
  if (sv_id != kPage18SvId || !(gps ? data_id == 1 : qzss && data_id == 0)) return;
  scan->leap_known = true;
  scan->leap = (S08)p[27];
}

void scan_payload(const U08* p, size_t len, S16* kind, LogScan* scan) {
  bool* present = scan->present;
  if (p[0] == kTimeMessage && len >= kMeasTimeLen) note_time(p + 2, scan);
  if (p[0] == kExtended && len >= kExtMeasHeaderLen && p[13] > 0) note_time(p + 3, scan);
  if (p[0] == 0xE1) note_glonass(p, len, scan);
  if (p[0] == 0xE0) note_page18(p, len, scan);
  if (p[0] != kOriginal && p[0] != kExtended) return;
  if (*kind == kNoKind) *kind = p[0];
  if (p[0] != *kind) return;  // the conversion takes the first kind only
  if (p[0] == kExtended && len >= kExtMeasHeaderLen) {
    // Each record's first byte marks its signal (looked up at the end); a
    // GLONASS record tells its slot's channel number.
    size_t n = p[13];
    size_t fit = (len - kExtMeasHeaderLen) / kExtMeasRecordLen;
    const U08* r = p + kExtMeasHeaderLen;
    for (size_t i = 0; i < n && i < fit; i++, r += kExtMeasRecordLen) {
      scan->first_bytes[r[0]] = true;
      if ((r[0] & 0x0F) == kGlonassCode && r[1] >= 1 && r[1] <= GLO_MAX_SLOT)
        scan->glonass_k[r[1]] = (S08)((r[2] & 0x0F) - 7);
    }
  } else if (p[0] == kOriginal && len >= kMeasHeaderLen) {
    size_t n = p[2];
    for (size_t i = 0; i < n && kMeasHeaderLen + (i + 1) * kMeasRecordLen <= len; i++)
      mark(Obs_original_constellation(p[kMeasHeaderLen + i * kMeasRecordLen]), 0, present);
  }
}

}  // namespace

LogScan::LogScan() {
  for (S08& k : glonass_k) k = GLONASS_UNKNOWN_K;
}

// The signals of the 0xE5 records' first bytes seen.
void mark_first_bytes(LogScan* scan) {
  for (int b = 0; b < 256; b++) {
    if (!scan->first_bytes[b]) continue;
    S16 type;
    U08 signal;
    Decode_extended_signal((U08)b, &type, &signal);
    mark(type, signal, scan->present);
  }
}

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
  std::unique_ptr<U08[]> block(new U08[kBlock]);  // filled by each read, never cleared
  std::string why;
  for (long n; (n = log->read(block.get(), kBlock, &why)) > 0;) framer.feed(block.get(), (size_t)n);
  mark_first_bytes(scan);
  return log->rewind();
}
