// Raw stream framing. Frames are A0 A1, a big-endian payload length, the
// payload, an XOR checksum and the tail 0D 0A; anything between frames is
// skipped byte by byte. Every frame whose checksum matches is decoded.
//
// The bytes come through a buffer that is refilled from the raw file in large
// reads, or from a live source's queue; while a live line is silent the
// refill closes periods that are due and watches for a stop request.
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "const.h"
#include "decode_binmsg.h"
#include "epoch_select.h"
#include "main.h"
#include "nav.h"
#include "raw_journal.h"
#include "raw_source.h"
#include "rinex_config.h"
#include "rinex_files.h"
#include "run_stop.h"
#include "station_status.h"

namespace {

constexpr int kFirstStartByte = 0xA0;
constexpr int kSecondStartByte = 0xA1;
constexpr U16 kMaxPayloadLen = FRAME_BUFFER_SIZE - 1;
constexpr S32 kEpochLimit = 5183999;
constexpr size_t kInputBuffer = 1 << 20;
constexpr int kIdleMs = 500;
constexpr uint64_t kNoFrameWindow = 64 * 1024;  // bytes without a frame that mean a wrong baud rate
constexpr D64 kGpsMinusUnix = 315964800;        // 1980-01-06 in Unix time

// Why the last read stopped short of the end of the input (an errno value), or 0.
int Raw_read_errno;

struct Input {
  FILE* fp = nullptr;  // the raw file; nullptr for a live source
  U08 buf[kInputBuffer];
  size_t pos = 0, len = 0;
  uint64_t before = 0;  // stream bytes before buf[0]
  bool ended = false;
  // A live source: where the last frame began, and when the last warning about
  // bytes without frames was given.
  uint64_t last_frame = 0;
  time_t last_warning = 0;
  time_t last_data = 0;  // when bytes last came
};
Input In;

// Checkpoints of the RINEX files seen so far; the raw journal syncs with each.
int Journal_checkpoints;
void sync_journal(uint64_t at) {
  if (RINEX_checkpoints() == Journal_checkpoints) return;
  Journal_checkpoints = RINEX_checkpoints();
  Journal_sync(at);
}

// The GPS time the computer's clock shows, for closing silent periods.
D64 clock_gps_seconds() {
  S16 leap = Nav_get_delta_t_ls(GNSS_TYPE_GPS);
  return (D64)time(nullptr) - kGpsMinusUnix + (leap > 0 ? leap : 18);
}

// A live source said what happened on the line: its lines go to the console;
// after a drop the phase of every signal starts anew.
void take_news(const LiveNews& news) {
  for (const std::string& line : news.lines) puts(line.c_str());
  if (!news.lines.empty()) fflush(stdout);
  Station_connected(news.connected);
  if (news.gap) {
    Select_mark_gap();
    RINEX_note_gap();
  }
}

// While the line is silent or between reads: periods due, reports, warnings.
// A period is due when the line has been silent for the grace time and the
// clock has passed the period's end by it too (data sent faster than real
// time, from an older log, closes its periods by their data alone).
void live_idle(bool silent) {
  time_t now = time(nullptr);
  if (!silent) In.last_data = now;
  if (silent && (D64)(now - In.last_data) >= RINEX_settings().close_after &&
      RINEX_close_overdue(clock_gps_seconds()))
    Journal_end_period(In.before + In.pos, RINEX_closed_raw_name());
  // What was converted before the line fell silent goes to disk now.
  if (silent) {
    RINEX_checkpoint_pending();
    sync_journal(In.before + In.pos);
  }
  Station_progress(RINEX_open_period());
  Station_report();
  uint64_t at = In.before + In.pos;
  if (at - In.last_frame > kNoFrameWindow && now - In.last_warning >= 60) {
    puts("No frames in the last 64 KiB: check the baud rate");
    fflush(stdout);
    In.last_warning = now;
  }
}

bool refill() {
  if (In.ended) return false;
  In.before += In.len;
  In.pos = In.len = 0;
  if (Stop_reason() != STOP_NONE) {
    In.ended = true;
    return false;
  }
  if (In.fp != nullptr) {
    In.len = fread(In.buf, 1, sizeof In.buf, In.fp);
    if (In.len == 0) {
      if (ferror(In.fp) && Raw_read_errno == 0) Raw_read_errno = (errno != 0) ? errno : EIO;
      In.ended = true;
    }
    return In.len > 0;
  }
  for (;;) {
    LiveNews news;
    int n = Live_read(In.buf, (int)sizeof In.buf, kIdleMs, &news);
    take_news(news);
    if (n > 0) {
      In.len = (size_t)n;
      Journal_take(In.buf, In.len);
      live_idle(false);
      return true;
    }
    if (n < 0 || Stop_reason() != STOP_NONE) {
      In.ended = true;
      return false;
    }
    live_idle(true);
  }
}

inline int next_byte() {
  if (In.pos == In.len && !refill()) return EOF;
  return In.buf[In.pos++];
}

size_t read_bytes(U08* dst, size_t n) {
  size_t got = 0;
  while (got < n) {
    if (In.pos == In.len && !refill()) break;
    size_t take = In.len - In.pos < n - got ? In.len - In.pos : n - got;
    for (size_t i = 0; i < take; i++) dst[got + i] = In.buf[In.pos + i];
    In.pos += take;
    got += take;
  }
  return got;
}

}  // namespace

int raw_read_errno() { return Raw_read_errno; }

U08 calculate_checksum(const unsigned char* buf, int len) {
  U08 sum = 0;
  for (int i = 0; i < len; i++) sum ^= buf[i];
  return sum;
}

void parsing_raw_file_and_put_obs_nav_record(FILE* fp_raw) {
  static U08 buf[FRAME_BUFFER_SIZE];
  U08 tmp[2];
  Raw_read_errno = 0;
  In.fp = fp_raw;
  In.pos = In.len = 0;
  In.before = In.last_frame = 0;
  In.ended = false;
  In.last_warning = 0;
  In.last_data = time(nullptr);
  Journal_checkpoints = 0;
  bool live = fp_raw == nullptr;
  int serial = RINEX_period_serial();
  unsigned long iteration = 0;
  unsigned long succeed = 0;
  unsigned long checksum_error = 0;
  unsigned long tail_mismatch = 0;

  for (;;) {
    int c = next_byte();
    if (c == EOF) {
      printf("reading error when locating file header 0x%x\n", kFirstStartByte);
      break;
    }
    if (c != kFirstStartByte) continue;
    uint64_t frame_start = In.before + In.pos - 1;
    c = next_byte();
    if (c == EOF) {
      printf("reading error when locating file header 0x%x\n", kSecondStartByte);
      break;
    }
    if (c == kSecondStartByte) {
      iteration++;
      if (read_bytes(tmp, 2) < 2) {
        printf(
            "parsing stopped at %ld-th iteration because of insufficient reading length "
            "(possibly EOF encountered)\n",
            (long)iteration);
        break;
      }
      U16 pl_len = (U16)(tmp[0] * 256 + tmp[1]);
      if (pl_len > kMaxPayloadLen) {
        // A false start inside data: only its four bytes are lost.
        printf(
            "Buffer size is not enough!!! Payload Length=%d, Buf Size=%d. May find fake "
            "header.\n\n",
            pl_len, FRAME_BUFFER_SIZE);
      } else {
        int rdlen = (int)read_bytes(buf, (size_t)pl_len + 1);
        if (rdlen < pl_len + 1) {
          printf(
              "parsing stopped while reading payload and checksum at %lu-th iteration "
              "(rdlen=%d paylen=%d, EOF=%d)\n\n",
              iteration, rdlen, pl_len, In.fp != nullptr ? (feof(In.fp) ? 1 : 0) : 1);
          break;
        }
        U08 msg_id = buf[0];
        if (live) Journal_frame_at(frame_start);
        if (calculate_checksum(buf, pl_len) == buf[pl_len]) {
          Decode_binary_message_process(msg_id, buf, pl_len);
          if (live) In.last_frame = frame_start;
        } else {
          printf("%2x checksum error. Payload Length = %d\n\n", msg_id, pl_len);
          checksum_error++;
        }
        if (live && RINEX_period_serial() != serial) {
          serial = RINEX_period_serial();
          Journal_switch(frame_start, RINEX_period_raw_name(), RINEX_closed_raw_name());
        }
        if (live) sync_journal(frame_start);
        if (read_bytes(buf, 2) < 2) {
          puts("read to EOF 1");
          break;
        }
        if (buf[0] == 0x0D && buf[1] == 0x0A)
          succeed++;
        else
          tail_mismatch++;
        // The progress line belongs to a file's conversion; a station's
        // console gets one line a period instead.
        if (!live) printf("Decoded msg epoch= %8ld\r", (long)Decode_get_number_of_epoch());
      }
    }
    if (Decode_get_number_of_epoch() > kEpochLimit && !live) break;
    if (Stop_reason() != STOP_NONE) break;
  }

  printf("Decoded msg epoch number= %8ld\n\n", (long)Decode_get_number_of_epoch());
  puts("Raw file parsing results: ");
  printf("total header number = %lu\n", iteration);
  printf("succeed             = %lu\n", succeed);
  printf("check sum error     = %lu\n", checksum_error);
  printf("tail_mismatch       = %lu\n", tail_mismatch);
  puts("");
  Decode_show_decoded_msg_number();
}
