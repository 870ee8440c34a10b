// The pass over the raw stream: bytes from the byte source (a file in large
// reads, or a live reader's queue) go through the framer, and every frame
// whose checksum matches is decoded. While a live line is silent the pass
// closes periods that are due, makes checkpoints, and watches for a stop.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "const.h"
#include "decode_binmsg.h"
#include "epoch_select.h"
#include "framing/framer.h"
#include "main.h"
#include "nav.h"
#include "raw_journal.h"
#include "rinex_config.h"
#include "rinex_files.h"
#include "run_stop.h"
#include "source/live_reader.h"
#include "station_status.h"

namespace {

constexpr S32 kEpochLimit = 5183999;
constexpr size_t kInputBuffer = 1 << 20;
constexpr uint64_t kNoFrameWindow = 64 * 1024;  // bytes without a frame that mean a wrong baud rate
constexpr D64 kGpsMinusUnix = 315964800;        // 1980-01-06 in Unix time

// The GPS time the computer's clock shows, for closing silent periods.
D64 clock_gps_seconds() {
  S16 leap = Nav_get_delta_t_ls(GNSS_TYPE_GPS);
  return (D64)time(nullptr) - kGpsMinusUnix + (leap > 0 ? leap : 18);
}

// What the pass does with each frame, and what it counts.
class RunFrames : public FrameHandler {
 public:
  RunFrames(FileSet& files, RawJournal& journal, bool live)
      : files_(files), journal_(journal), live_(live), serial_(files.period_serial()) {}

  void frame(U08* payload, U16 len, bool checksum_ok, uint64_t start) override {
    if (live_) journal_.frame_at(start);
    frame_end = start + len + kFrameOverhead;
    if (checksum_ok) {
      Decode_binary_message_process(payload[0], payload, len, files_);
      if (live_) last_frame = start;
    } else {
      printf("%2x checksum error. Payload Length = %d\n\n", payload[0], len);
      checksum_error++;
    }
    if (!live_) return;
    if (files_.period_serial() != serial_) {
      serial_ = files_.period_serial();
      journal_.switch_to(start, files_.period_raw_name(), files_.closed_raw_name());
    }
    sync_journal(start);
  }

  bool tail(bool matched) override {
    (matched ? succeed : tail_mismatch)++;
    // The progress line belongs to a file's conversion; a station's console
    // gets one line a period instead.
    if (!live_) printf("Decoded msg epoch= %8ld\r", (long)Decode_get_number_of_epoch());
    if (Decode_get_number_of_epoch() > kEpochLimit && !live_) return false;
    return Stop_reason() == STOP_NONE;
  }

  void oversize(U16 len) override {
    // A false start inside data: only its four bytes are lost.
    printf("Buffer size is not enough!!! Payload Length=%d, Buf Size=%d. May find fake header.\n\n",
           len, FRAME_BUFFER_SIZE);
  }

  // Checkpoints of the RINEX files seen so far; the raw journal syncs with each.
  void sync_journal(uint64_t at) {
    if (files_.checkpoints() == checkpoints_) return;
    checkpoints_ = files_.checkpoints();
    journal_.sync(at);
  }

  RawJournal& journal() { return journal_; }

  unsigned long succeed = 0, checksum_error = 0, tail_mismatch = 0;
  uint64_t last_frame = 0;  // where the last good frame began (a live source)
  uint64_t frame_end = 0;   // where the last frame ends (its tail may not have come yet)

 private:
  FileSet& files_;
  RawJournal& journal_;
  bool live_;
  int serial_;
  int checkpoints_ = 0;
};

// A live source: what happened on the line goes to the console; after a drop
// the phase of every signal starts anew.
void take_news(const LiveNews& news, FileSet& files) {
  for (const std::string& line : news.lines) puts(line.c_str());
  if (!news.lines.empty()) fflush(stdout);
  Station_connected(news.connected);
  if (news.gap) {
    Select_mark_gap();
    files.note_gap();
  }
}

// A live source, between reads: periods due, checkpoints, reports, warnings.
// A period is due when the line has been silent for the grace time and the
// clock has passed the period's end by it too (data sent faster than real
// time, from an older log, closes its periods by their data alone).
int64_t steady_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

struct Watch {
  time_t last_data = time(nullptr);  // when bytes last came
  int64_t last_data_ms = steady_ms();
  time_t last_warning = 0;  // the last warning about bytes without frames
};

void live_idle(bool silent, uint64_t at, FileSet& files, RunFrames* frames, Watch* w) {
  time_t now = time(nullptr);
  if (!silent) w->last_data = now, w->last_data_ms = steady_ms();
  if (silent && (D64)(now - w->last_data) >= RINEX_settings().close_after &&
      files.close_overdue(clock_gps_seconds()))
    frames->journal().end_period(at, files.closed_raw_name());
  // A line silent for the flush interval (a second at least: a receiver's
  // stream pauses between its epochs, and a pause is no reason for a
  // checkpoint) has what was converted before it on disk, and every byte of
  // the frames received, those that changed no file too (a navigation
  // message after the last epoch); a frame still coming stays pending, since
  // its start decides its period's journal.
  constexpr D64 kShortestSilence = 1;
  D64 silence = std::max(kShortestSilence, files.flush_seconds());
  if (silent && (D64)(steady_ms() - w->last_data_ms) >= 1000 * silence) {
    files.checkpoint_pending();
    frames->sync_journal(at);
    frames->journal().sync(std::min(at, frames->frame_end));
  }
  Station_progress(files.status_period());
  Station_report();
  if (at - frames->last_frame > kNoFrameWindow && now - w->last_warning >= 60) {
    puts("No frames in the last 64 KiB: check the baud rate");
    fflush(stdout);
    w->last_warning = now;
  }
}

// Why the pass ended where the framer stood, as the console says it.
void report_end(const Framer& framer, bool at_end_of_file) {
  switch (framer.state()) {
    case Framer::kFirstStart: printf("reading error when locating file header 0x%x\n", 0xA0); break;
    case Framer::kSecondStart:
      printf("reading error when locating file header 0x%x\n", 0xA1);
      break;
    case Framer::kLength:
      printf(
          "parsing stopped at %ld-th iteration because of insufficient reading length "
          "(possibly EOF encountered)\n",
          (long)framer.starts());
      break;
    case Framer::kPayload:
      printf(
          "parsing stopped while reading payload and checksum at %lu-th iteration "
          "(rdlen=%d paylen=%d, EOF=%d)\n\n",
          framer.starts(), (int)framer.have(), framer.length(), at_end_of_file ? 1 : 0);
      break;
    case Framer::kTail: puts("read to EOF 1"); break;
  }
}

}  // namespace

int parsing_raw_file_and_put_obs_nav_record(FileSet& files, RawJournal& journal, ByteSource* source,
                                            LiveReader* live) {
  int read_errno = 0;
  std::vector<U08> input(kInputBuffer);
  RunFrames frames(files, journal, live != nullptr);
  Framer framer(&frames);
  Watch watch;
  uint64_t at = 0;
  // Whether the framer stopped at a frame's tail (the epoch limit, a stop):
  // then the pass ends without the end-of-input line.
  bool stopped = false;
  bool clean_end = true;  // the input ended (not a read failure or a stop)
  for (;;) {
    if (Stop_reason() != STOP_NONE) {
      clean_end = live != nullptr;
      break;
    }
    std::string why;
    long n = source->read(input.data(), input.size(), &why);
    if (live != nullptr) take_news(live->news(), files);
    if (n < 0) {
      if (source->error() != 0) {
        read_errno = source->error();
        clean_end = false;
      }
      break;
    }
    if (n == 0) {
      live_idle(true, at, files, &frames, &watch);
      continue;
    }
    if (live != nullptr) {
      journal.take(input.data(), (size_t)n);
      live_idle(false, at, files, &frames, &watch);
    }
    size_t taken = framer.feed(input.data(), (size_t)n);
    at += taken;
    if (taken < (size_t)n) {
      stopped = true;
      break;
    }
  }
  if (!stopped) report_end(framer, clean_end);

  printf("Decoded msg epoch number= %8ld\n\n", (long)Decode_get_number_of_epoch());
  puts("Raw file parsing results: ");
  printf("total header number = %lu\n", framer.starts());
  printf("succeed             = %lu\n", frames.succeed);
  printf("check sum error     = %lu\n", frames.checksum_error);
  printf("tail_mismatch       = %lu\n", frames.tail_mismatch);
  puts("");
  Decode_show_decoded_msg_number();
  return read_errno;
}
