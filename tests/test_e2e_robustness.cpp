// End-to-end: damaged and cut-off logs, failing reads and full disks, and the
// inputs the fuzzer once found, through the real program.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "generated_logs.h"
#include "runner.h"

using vlntest::Bytes;
using vlntest::Holds;
using vlntest::lines;
using vlntest::run_program;
using vlntest::sample_log;

namespace {

// Offsets where the sample's frames start, and the frames' message IDs.
std::vector<size_t> frame_starts(const Bytes& log, std::vector<uint8_t>* ids = nullptr) {
  std::vector<size_t> starts;
  for (size_t i = 0; i + 4 < log.size();) {
    size_t len = (size_t)log[i + 2] << 8 | log[i + 3];
    starts.push_back(i);
    if (ids != nullptr) ids->push_back(log[i + 4]);
    i += 4 + len + 3;
  }
  return starts;
}

// Length of the header up to and including its END OF HEADER line.
size_t header_length(const std::string& file) {
  size_t label = file.find("END OF HEADER");
  return label == std::string::npos ? 0 : file.find('\n', label) + 1;
}

// The header of the final rewrite covers exactly the provisional one: it has
// the length an empty log gives, and the first record follows it intact.
void expect_headers_intact(const vlntest::RunResult& r, const vlntest::RunResult& empty,
                           const std::string& name) {
  ASSERT_EQ(header_length(empty.obs), header_length(r.obs)) << name;
  ASSERT_EQ(header_length(empty.nav), header_length(r.nav)) << name;
  std::string after = r.obs.substr(header_length(r.obs), 2);
  EXPECT_TRUE(after.empty() || after == "> ") << name << ": " << after;
  after = r.nav.substr(header_length(r.nav), 1);
  EXPECT_TRUE(after.empty() || strchr("GRECJ", after[0]) != nullptr) << name << ": " << after;
}

TEST(Robustness, FullDiskIsReportedAfterTheCountersWithStatus2) {
  if (!vlntest::kFileSizeLimitSupported) GTEST_SKIP() << "no file size limit here";
  Bytes sample = sample_log();
  // The sample's navigation frames alone: its obs file is a bare header, its
  // nav file is long. Its measurement frames alone: a nav file of a header.
  Bytes nav_only, obs_only;
  std::vector<uint8_t> ids;
  std::vector<size_t> starts = frame_starts(sample, &ids);
  starts.push_back(sample.size());
  for (size_t i = 0; i + 1 < starts.size(); i++) {
    bool nav = ids[i] >= 0xE0 && ids[i] != 0xE5 && ids[i] != 0xE9;
    Bytes& to = nav ? nav_only : obs_only;
    to.insert(to.end(), sample.begin() + (long)starts[i], sample.begin() + (long)starts[i + 1]);
  }
  const std::string both = std::string("RINEX obs file write error: ") + strerror(EFBIG) +
                           "\nRINEX nav file write error: ";
  struct Case {
    const char* name;
    const Bytes& log;
    long limit;
    std::string message;
    const char* version;
  } const kCases[] = {
      {"obs", sample, 100000, "RINEX obs file write error: ", nullptr},
      {"nav", nav_only, 8000, "RINEX nav file write error: ", nullptr},
      {"nav header", obs_only, 300, both, nullptr},  // the nav file fails in its header alone
      // The nav file's longer header makes it written anew: 14484 bytes of the
      // first header and records fit, 15537 with the final header do not.
      {"nav written anew", nav_only, 15000, "RINEX nav file write error: ", "3.05"},
  };
  for (const Case& c : kCases) {
    std::vector<std::string> args = {"log.dat", "-dual_freq"};
    if (c.version != nullptr) args.insert(args.end(), {"--rinex-version", c.version});
    vlntest::RunResult full = run_program(args, "log.dat", c.log);
    vlntest::RunResult cut = run_program(args, "log.dat", c.log, {}, c.limit);
    ASSERT_EQ(1, full.status) << c.name;
    EXPECT_EQ(2, cut.status) << c.name;
    EXPECT_EQ(full.out + c.message + strerror(EFBIG) +
                  "\nThe run is incomplete: the files keep the names log.obs.incomplete and "
                  "log.nav.incomplete\n",
              cut.out)
        << c.name;
    // Nothing partial under a final name.
    EXPECT_EQ((std::vector<std::string>{"log.dat", "log.nav.incomplete", "log.obs.incomplete"}),
              cut.files)
        << c.name;
    // The file written anew is given up: the kept one has every record.
    const std::string& kept = cut.outputs["log.nav.incomplete"];
    EXPECT_TRUE(!c.version ||
                kept.substr(header_length(kept)) == full.nav.substr(header_length(full.nav)));
  }
}

// A full disk in every naming: status 2, and every file the run could not
// finish keeps its provisional name, which the console gives.
TEST(Robustness, AFullDiskLeavesNoPartialFileUnderAFinalName) {
  if (!vlntest::kFileSizeLimitSupported) GTEST_SKIP() << "no file size limit here";
  const std::vector<std::string> kRuns[] = {
      {"log.dat", "-dual_freq"},
      {"log.dat", "-dual_freq", "--long-names", "--crx"},
      {"log.dat", "-dual_freq", "--split", "15m", "--gzip"},
      {"log.dat", "-dual_freq", "--rinex-version", "2.11", "--split", "1h"}};
  for (const auto& args : kRuns) {
    std::string name = args.back();
    vlntest::RunResult r = run_program(args, "log.dat", sample_log(), {}, 60000);
    EXPECT_EQ(2, r.status) << name << "\n" << r.out;
    EXPECT_TRUE(Holds(r.out, std::string("write error: ") + strerror(EFBIG))) << name;
    for (const auto& f : r.outputs) {
      bool provisional = f.first.size() > 11 && f.first.rfind(".incomplete") == f.first.size() - 11;
      // An observation file at the limit was cut: it must be provisional and named.
      if (f.second.size() >= 60000 || provisional) {
        EXPECT_TRUE(provisional) << name << ": " << f.first;
        EXPECT_TRUE(Holds(r.out, f.first)) << name << ": " << f.first;
      }
    }
  }
}

TEST(Robustness, UnreadableLogIsReportedWithStatus2) {
#ifdef _WIN32
  GTEST_SKIP() << "a directory cannot be opened as a file here";
#endif
  vlntest::RunResult r = run_program({"d.dat"}, "", {}, {"d.dat"});
  EXPECT_EQ(2, r.status);
  std::vector<std::string> out = lines(r.out);
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(std::string("Raw file read error: ") + strerror(EISDIR), out[out.size() - 2]);
  EXPECT_EQ(
      "The run is incomplete: the files keep the names d.obs.incomplete and "
      "d.nav.incomplete",
      out.back());
}

// The sample cut at 100 frame starts and 100 points inside frames, with three option sets; then
// each committed fuzzer finding, whose first byte picks the options as the fuzz target reads it
// (under the sanitizers this also proves the fix).
TEST(Robustness, CutOffLogsAndFuzzerFindingsConvertWithIntactHeaders) {
  vlntest::RinexFaultsExpected original_habits;
  struct Run {
    std::vector<std::string> args;
    Bytes log;
    std::string name;
  };
  std::vector<Run> runs;
  Bytes sample = sample_log();
  std::vector<size_t> cuts = frame_starts(sample);
  std::mt19937 rng(7);
  const std::vector<std::string> kOptions[3] = {
      {"log.dat", "-dual_freq"}, {"log.dat", "G", "r"}, {"log.dat"}};
  for (int i = 0; i < 200; i++) {
    size_t at = i < 100 ? cuts[rng() % cuts.size()] : rng() % sample.size();
    runs.push_back({kOptions[i % 3], Bytes(sample.begin(), sample.begin() + (long)at),
                    "cut at " + std::to_string(at)});
  }
  const char* const kWords[6] = {"G", "J", "S", "R", "C", "E"};
  for (const auto& e : std::filesystem::directory_iterator(VLN_FUZZ_REGRESSIONS)) {
    std::string name = e.path().filename().string();
    std::string input = vlntest::read_file(std::string(VLN_FUZZ_REGRESSIONS) + "/" + name);
    ASSERT_FALSE(input.empty()) << name;
    std::vector<std::string> args = {"log.dat"};
    for (int i = 0; i < 7; i++)
      if ((uint8_t)input[0] >> i & 1) args.push_back(i < 6 ? kWords[i] : "-dual_freq");
    runs.push_back({args, Bytes(input.begin() + 1, input.end()), name});
  }
  ASSERT_GT(runs.size(), 200u);
  std::map<std::vector<std::string>, vlntest::RunResult> empty;
  const char* const kVersions[3] = {"2.11", "3.05", "4.00"};
  int standard = 0;
  for (const Run& run : runs) {
    if (empty.count(run.args) == 0) empty[run.args] = run_program(run.args, "log.dat", {});
    vlntest::RunResult r = run_program(run.args, "log.dat", run.log);
    EXPECT_EQ(1, r.status) << run.name;
    expect_headers_intact(r, empty[run.args], run.name);
    if (run.name.compare(0, 7, "cut at ") == 0) continue;
    // The fuzzer's findings through a standard writer too: a whole header, then epochs.
    std::vector<std::string> args = run.args;
    args.insert(args.end(), {"--rinex-version", kVersions[standard++ % 3]});
    r = run_program(args, "log.dat", run.log);
    EXPECT_EQ(1, r.status) << run.name;
    size_t end = r.obs.find("END OF HEADER");
    ASSERT_NE(std::string::npos, end) << run.name;
    EXPECT_TRUE(r.obs.size() == end + 21 || r.obs[end + 21] == '>' || r.obs[end + 21] == ' ')
        << run.name;
  }
}

}  // namespace

// A log given through a named pipe (as a shell's <(zcat log.gz) gives it) is read once only; the
// standard writers, which scan the log before converting it, write what a file on disk gives.
TEST(Robustness, ALogFromAPipeConvertsAsTheFileDoes) {
#ifdef _WIN32
  GTEST_SKIP() << "no named pipes by path here";
#else
  Bytes log = sample_log();
  std::vector<std::string> options = {"-dual_freq", "--rinex-version", "3.05"};
  std::vector<std::string> args = {"p.dat"};
  args.insert(args.end(), options.begin(), options.end());
  vlntest::RunResult want = run_program(args, "p.dat", log);

  std::string dir = vlntest::temp_path("");
  std::filesystem::create_directories(dir);
  ASSERT_EQ(0, mkfifo((dir + "/p.dat").c_str(), 0600));
  signal(SIGPIPE, SIG_IGN);  // a program that stops reading fails the write, not the test
  args[0] = dir + "/p.dat";
  // The second run with a full disk, which cuts the log's copy short; the third stopped (SIGTERM)
  // with a frame cut short in the pipe: 1 once the pipe is open, 2 once the signal is sent.
  vlntest::RunResult got[3];
  std::atomic<int> stage{0};
  for (int run = 0; run < 3; run++) {
    std::thread writer([&] {
      int fd = -1;  // opens once the program has opened its end, within 20 s
      for (int i = 0; i < 400 && fd < 0; i++) {
        fd = open((dir + "/p.dat").c_str(), O_WRONLY | O_NONBLOCK);
        if (fd < 0) usleep(50000);
      }
      if (fd < 0) return;
      fcntl(fd, F_SETFL, 0);
      stage = 1;
      vlntest::write_all(fd, run < 2 ? log : Bytes{0xA0, 0xA1, 0, 16, 1, 2, 3, 4, 5});
      for (int i = 0; run == 2 && i < 400 && stage < 2; i++) usleep(50000);
      close(fd);
    });
    vlntest::Started s;
    vlntest::start_program(&s, run < 2 ? args : std::vector<std::string>{args[0]}, {}, -1,
                           run == 1 ? 100000 : 0);
    for (int i = 0; run == 2 && i < 400 && stage < 1; i++) usleep(50000);
    if (run == 2) {
      usleep(500000);  // the program waits in its read of the pipe
      kill(s.pid, SIGTERM);
      stage = 2;
    }
    got[run] = vlntest::finish_program(&s, 0);
    writer.join();
    if (run == 0) got[0].obs = vlntest::read_file(dir + "/p.obs");
    if (run == 0) got[0].nav = vlntest::read_file(dir + "/p.nav");
  }
  EXPECT_EQ(want.status, got[0].status);
  EXPECT_EQ(want.out, got[0].out);
  EXPECT_EQ("", vlntest::first_difference(want.obs, got[0].obs));
  EXPECT_EQ("", vlntest::first_difference(want.nav, got[0].nav));
  EXPECT_EQ(2, got[1].status);
  EXPECT_TRUE(Holds(got[1].out,
                    "Raw file " + args[0] + " cannot be read a second time: " + strerror(EFBIG)));
  EXPECT_GT(want.obs.size(), 100000u);
  EXPECT_EQ(2, got[2].status);
  EXPECT_TRUE(Holds(got[2].out, "(rdlen=5 paylen=16, EOF=0)\n"));  // not at the log's end
  EXPECT_TRUE(Holds(got[2].out, "The run was interrupted: the files hold what was read up to"));
  std::filesystem::remove_all(dir);
#endif
}

// A file that cannot take its final name (a folder has it) keeps its
// provisional one, and the run ends with status 2.
TEST(Robustness, AFinalNameTakenByAFolderIsReportedWithStatus2) {
  Bytes log = sample_log();
  const std::vector<std::string> args = {"log.dat", "--long-names", "--overwrite"};
  vlntest::RunResult first = run_program(args, "log.dat", log);
  ASSERT_EQ(1, first.status);
  std::string name, nav;  // the long names the log gives its files
  for (const std::string& l : lines(first.out)) {
    if (l.rfind("RINEX obs file: ", 0) == 0) name = l.substr(16);
    if (l.rfind("RINEX nav file: ", 0) == 0) nav = l.substr(16);
  }
  ASSERT_FALSE(name.empty() || nav.empty()) << first.out;
  vlntest::RunResult r = run_program(args, "log.dat", log, {name});
  EXPECT_EQ(2, r.status);
  EXPECT_TRUE(Holds(r.out, ".incomplete cannot be renamed to " + name + ": "));
  // Without --overwrite, the navigation file's name taken alone stops the renaming of both.
  r = run_program({"log.dat", "--long-names"}, "log.dat", log, {nav});
  EXPECT_EQ(3, r.status);
  EXPECT_TRUE(Holds(r.out, "RINEX file " + nav + " exists: give --overwrite"));
}
