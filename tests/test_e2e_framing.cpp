// End-to-end: command line, framing and counters through the real program.
#include <gtest/gtest.h>

#include "frame_builder.h"
#include "runner.h"

using vlntest::Bytes;
using vlntest::Fault;
using vlntest::frame;
using vlntest::Payload;
using vlntest::run_program;

namespace {

const char* const kHelp =
    "Usage: vln_raw_to_rinex.exe raw_file <options>\n"
    "\n"
    "options:\n"
    "\thelp - Show this help message.\n"
    "\tA - output all GNSS type.\n"
    "\tG - output GPS.\n"
    "\tR - output GLONASS.\n"
    "\tC - output BeiDou.\n"
    "\tJ - output QZSS.\n"
    "\tS - output SBAS. (not support nav yet)\n"
    "\tE - output GALILEO.\n"
    "\t-dual_freq - output dual frequency observation.\n"
    "\n";

const char* const kAllSix =
    "\nOutput GNSS type include:\nGPS\nQZSS\nSBAS\nGLONASS\nBeiDou\nGalileo\n\n";

const char* const kNoCounts =
    "Msg cnt: 0xdc=      0 0xdd=      0 0xde=      0 0xdf=      0 0xe0=      0 0xe1=      0 "
    "0xe2=      0\n"
    "Msg cnt: 0xe3=      0 0xe4=      0 0xe5=      0 0xe6=      0 0xe7=      0 0xe8=      0 "
    "0xe9=      0\n";

std::string summary(int headers, int succeed, int checksum, int tail) {
  return "Decoded msg epoch number=        0\n\nRaw file parsing results: \n"
         "total header number = " +
         std::to_string(headers) + "\nsucceed             = " + std::to_string(succeed) +
         "\ncheck sum error     = " + std::to_string(checksum) +
         "\ntail_mismatch       = " + std::to_string(tail) + "\n\n";
}

const std::string kProgress = "Decoded msg epoch=        0\r";
const std::string kEndA0 = "reading error when locating file header 0xa0\n";

// One counted message of an ID without a decoder.
Bytes e4_frame(Fault fault = Fault::kNone) { return frame(Payload(0xE4).u8(1).u8(2), fault); }

// The counter lines with the given counts, the others 0.
std::string counts(std::vector<std::pair<const char*, int>> ids) {
  std::string s = kNoCounts;
  for (const auto& id : ids) {
    std::string n = std::to_string(id.second);
    s.replace(s.find(id.first) + 12 - n.size(), n.size(), n);
  }
  return s;
}

}  // namespace

// Runs that stop before converting anything: status 0, one message, and a
// raw file named like an output left as it was.
TEST(CommandLine, RunsThatConvertNothing) {
  struct Case {
    std::vector<std::string> args;
    std::string log_name, made_dir, out;
  };
  const std::string kItself = " is the raw file itself; it is not overwritten\n";
  const Case cases[] = {
      {{}, "", "", kHelp},
      {{"help"}, "log.dat", "", kHelp},
      {{"log.dat", "G", "help"}, "log.dat", "", kHelp},
      {{"absent.dat"}, "", "", "Raw file open error~\n"},
      {{"log.dat"}, "log.dat", "log.obs", "RINEX obs file log.obs open error\n"},
      {{"log.dat"}, "log.dat", "log.nav", "RINEX nav file open error\n"},
      {{"log.obs"}, "log.obs", "", "RINEX file log.obs" + kItself},
      {{"log.nav"}, "log.nav", "", "RINEX file log.nav" + kItself},
  };
  for (const Case& c : cases) {
    std::vector<std::string> dirs;
    if (!c.made_dir.empty()) dirs.push_back(c.made_dir);
    auto r = run_program(c.args, c.log_name, e4_frame(), dirs);
    EXPECT_EQ(0, r.status) << c.out;
    EXPECT_EQ(c.out, r.out);
    if (c.out.find(kItself) != std::string::npos) {
      EXPECT_EQ(std::vector<std::string>{c.log_name}, r.files);
    }
    if (c.out == kHelp) {
      EXPECT_FALSE(r.obs_exists || r.nav_exists);
    }
  }
}

TEST(CommandLine, ConstellationWords) {
  struct Case {
    std::vector<std::string> args;
    std::string log_name;
    std::string listed;
  };
  const Case cases[] = {
      {{"log.dat", "G", "r"}, "log.dat", "GPS\nGLONASS\n"},
      {{"log.dat", "gps", "-G", "GPS", "-dual_freq"},
       "log.dat",
       "GPS\nQZSS\nSBAS\nGLONASS\nBeiDou\nGalileo\n"},
      {{"C"}, "C", "BeiDou\n"},
      {{"log.dat", "e", "j", "s"}, "log.dat", "QZSS\nSBAS\nGalileo\n"},
      {{"log.dat", "a", "G"}, "log.dat", "GPS\nQZSS\nSBAS\nGLONASS\nBeiDou\nGalileo\n"},
  };
  for (const Case& c : cases) {
    auto r = run_program(c.args, c.log_name, e4_frame());
    EXPECT_EQ(1, r.status) << c.args[1];
    std::string expected = "\nOutput GNSS type include:\n" + c.listed + "\n" + kProgress + kEndA0 +
                           summary(1, 1, 0, 0) + counts({{"0xe4", 1}});
    EXPECT_EQ(expected, r.out) << c.log_name;
    EXPECT_TRUE(r.obs_exists && r.nav_exists);
  }
}

TEST(Framing, CountersAndMessages) {
  Bytes good = e4_frame();
  Bytes max_len = frame(Payload(0xE4).zeros(1998));
  Bytes too_long = {0xA0, 0xA1, 0x07, 0xD0};
  Bytes lost_start = {0xA0};
  vlntest::append(&lost_start, good);  // A0 A0 A1 ...: the frame is not found
  Bytes ids;                           // seven frames, four of them of IDs that are counted
  std::string seven_progress;
  for (uint8_t id : {0x80, 0xEA, 0xE4, 0xE7, 0xE8, 0xE8, 0xDE}) {
    vlntest::append(&ids, frame(Payload(id).zeros(3)));
    seven_progress += kProgress;
  }

  struct Case {
    const char* name;
    Bytes log;
    std::string tail_of_output;
  };
  const Case cases[] = {
      {"one frame", good, kProgress + kEndA0 + summary(1, 1, 0, 0) + counts({{"0xe4", 1}})},
      {"bad checksum, good tail", e4_frame(Fault::kBadChecksum),
       "e4 checksum error. Payload Length = 3\n\n" + kProgress + kEndA0 + summary(1, 1, 1, 0) +
           kNoCounts},
      {"good checksum, bad tail", e4_frame(Fault::kBadTail),
       kProgress + kEndA0 + summary(1, 0, 0, 1) + counts({{"0xe4", 1}})},
      {"length 1999", max_len, kProgress + kEndA0 + summary(1, 1, 0, 0) + counts({{"0xe4", 1}})},
      {"length 2000", too_long,
       "Buffer size is not enough!!! Payload Length=2000, Buf Size=2000. May find fake "
       "header.\n\n" +
           kEndA0 + summary(1, 0, 0, 0) + kNoCounts},
      {"A0 A0 A1", lost_start, kEndA0 + summary(0, 0, 0, 0) + kNoCounts},
      {"garbage only", {0x00, 0xA1, 0xA0, 0x55, 0xFF}, kEndA0 + summary(0, 0, 0, 0) + kNoCounts},
      {"zero length, zero checksum",
       {0xA0, 0xA1, 0, 0, 0, 0x0D, 0x0A},
       kProgress + kEndA0 + summary(1, 1, 0, 0) + kNoCounts},
      {"seven IDs", ids,
       seven_progress + kEndA0 + summary(7, 7, 0, 0) +
           counts({{"0xde", 1}, {"0xe4", 1}, {"0xe7", 1}, {"0xe8", 2}})},
  };
  for (const Case& c : cases) {
    auto r = run_program({"log.dat"}, "log.dat", c.log);
    EXPECT_EQ(1, r.status) << c.name;
    EXPECT_EQ(kAllSix + c.tail_of_output, r.out) << c.name;
  }
}

TEST(Framing, InputCutInsideEachPartOfAFrame) {
  Bytes whole = e4_frame();  // A0 A1 00 03 E4 01 02 E7 0D 0A
  const std::string cut_start = "reading error when locating file header 0xa1\n";
  const std::string cut_length =
      "parsing stopped at 1-th iteration because of insufficient reading length (possibly EOF "
      "encountered)\n";
  struct Case {
    size_t keep;
    std::string message;
    int headers;
  };
  const Case cases[] = {
      {1, cut_start, 0},
      {3, cut_length, 1},
      {6,
       "parsing stopped while reading payload and checksum at 1-th iteration (rdlen=2 "
       "paylen=3, EOF=1)\n\n",
       1},
      {9, "read to EOF 1\n", 1},
  };
  for (const Case& c : cases) {
    Bytes log(whole.begin(), whole.begin() + (long)c.keep);
    auto r = run_program({"log.dat"}, "log.dat", log);
    std::string count_lines = c.keep == 9 ? counts({{"0xe4", 1}}) : kNoCounts;
    EXPECT_EQ(kAllSix + c.message + summary(c.headers, 0, 0, 0) + count_lines, r.out) << c.keep;
    EXPECT_EQ(1, r.status);
  }
}
