// The framer on a log fed in pieces of every size: the same frames (where they start, their
// payloads, checksums and tails) as the log fed whole, a frame split at any byte included.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "frame_builder.h"
#include "framing/framer.h"
#include "runner.h"

using namespace vlntest;

namespace {

struct Recorder : FrameHandler {
  std::vector<std::string> seen;  // one line a frame and a tail
  void frame(U08* payload, U16 len, bool checksum_ok, uint64_t start) override {
    seen.push_back("frame at " + std::to_string(start) + " " +
                   std::string(reinterpret_cast<char*>(payload), len) +
                   (checksum_ok ? "" : " bad"));
  }
  bool tail(bool matched) override {
    seen.push_back(matched ? "tail" : "tail mismatch");
    return true;
  }
  void oversize(U16 len) override { seen.push_back("oversize " + std::to_string(len)); }
};

}  // namespace

TEST(Framer, AnyPiecesGiveTheFramesOfTheWholeLog) {
  std::string sample = vlntest::read_file(VLN_SAMPLE_LOG);
  Bytes log(sample.begin(), sample.begin() + (long)std::min<size_t>(sample.size(), 30000));
  append(&log, frame(Bytes{0x30, 1, 2, 3}, Fault::kBadChecksum));
  append(&log, Bytes{0xA0, 0x00, 0xA0, 0xA1, 0xFF, 0xFF});  // a lone start, an oversize length
  append(&log, frame(Bytes{0x31, 4, 5}, Fault::kBadTail));
  append(&log, frame(Bytes{0x32, 6}));
  Recorder whole;
  Bytes copy = log;
  Framer(&whole).feed(copy.data(), copy.size());
  ASSERT_GT(whole.seen.size(), 100u);
  std::mt19937 rng(5);
  for (size_t piece : {1, 2, 3, 7, 64, 1001, 0}) {
    Recorder pieces;
    Framer framer(&pieces);
    Bytes bytes = log;
    for (size_t at = 0; at < bytes.size();) {
      size_t n = piece != 0 ? piece : 1 + rng() % 300;  // 0: sizes at random
      n = std::min(n, bytes.size() - at);
      ASSERT_EQ(n, framer.feed(bytes.data() + at, n));
      at += n;
    }
    EXPECT_EQ(whole.seen, pieces.seen) << piece;
  }
}
