// End-to-end: damaged and cut-off logs, failing reads and full disks, and the
// inputs the fuzzer once found, through the real program.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "runner.h"

using vlntest::Bytes;
using vlntest::lines;
using vlntest::run_program;

namespace {

Bytes sample_log() {
  bool exists = false;
  std::string s = vlntest::read_file(VLN_SAMPLE_LOG, &exists);
  EXPECT_TRUE(exists);
  return Bytes(s.begin(), s.end());
}

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
  if (!vlntest::file_size_limit_supported()) GTEST_SKIP() << "no file size limit here";
  Bytes sample = sample_log();
  // A log of the sample's navigation frames alone: its obs file is a bare
  // header, its nav file is long.
  Bytes nav_only;
  std::vector<uint8_t> ids;
  std::vector<size_t> starts = frame_starts(sample, &ids);
  starts.push_back(sample.size());
  for (size_t i = 0; i + 1 < starts.size(); i++)
    if (ids[i] >= 0xE0 && ids[i] != 0xE5 && ids[i] != 0xE9)
      nav_only.insert(nav_only.end(), sample.begin() + (long)starts[i],
                      sample.begin() + (long)starts[i + 1]);
  struct Case {
    const char* name;
    const Bytes& log;
    long limit;
    const char* message;
  } const kCases[] = {
      {"obs", sample, 100000, "RINEX obs file write error: "},
      {"nav", nav_only, 8000, "RINEX nav file write error: "},
  };
  for (const Case& c : kCases) {
    vlntest::RunResult full = run_program({"log.dat", "-dual_freq"}, "log.dat", c.log);
    vlntest::RunResult cut = run_program({"log.dat", "-dual_freq"}, "log.dat", c.log, {}, c.limit);
    ASSERT_EQ(1, full.status) << c.name;
    EXPECT_EQ(2, cut.status) << c.name;
    EXPECT_EQ(full.out + c.message + strerror(EFBIG) + "\n", cut.out) << c.name;
  }
}

TEST(Robustness, UnreadableLogIsReportedWithStatus2) {
#ifdef _WIN32
  GTEST_SKIP() << "a directory cannot be opened as a file here";
#endif
  vlntest::RunResult r = run_program({"d.dat"}, "", {}, {"d.dat"});
  EXPECT_EQ(2, r.status);
  std::vector<std::string> out = lines(r.out);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(std::string("Raw file read error: ") + strerror(EISDIR), out.back());
}

TEST(Robustness, CutOffLogsConvertWithIntactHeaders) {
  Bytes sample = sample_log();
  std::vector<size_t> cuts = frame_starts(sample);
  std::mt19937 rng(7);
  std::vector<size_t> points;
  for (int i = 0; i < 100; i++) points.push_back(cuts[rng() % cuts.size()]);  // between frames
  for (int i = 0; i < 100; i++) points.push_back(rng() % sample.size());      // inside frames
  const std::vector<std::vector<std::string>> kOptions = {{"-dual_freq"}, {"G", "r"}, {}};
  std::vector<vlntest::RunResult> empty;
  for (const auto& o : kOptions) {
    std::vector<std::string> args = {"log.dat"};
    args.insert(args.end(), o.begin(), o.end());
    empty.push_back(run_program(args, "log.dat", {}));
  }
  for (size_t i = 0; i < points.size(); i++) {
    size_t k = i % kOptions.size();
    std::vector<std::string> args = {"log.dat"};
    args.insert(args.end(), kOptions[k].begin(), kOptions[k].end());
    Bytes cut(sample.begin(), sample.begin() + (long)points[i]);
    vlntest::RunResult r = run_program(args, "log.dat", cut);
    std::string name = "cut at " + std::to_string(points[i]);
    EXPECT_EQ(1, r.status) << name;
    expect_headers_intact(r, empty[k], name);
  }
}

// Each committed fuzzer finding: its first byte picks the options as the fuzz
// target reads it, the rest is the log. Under the sanitizers this also proves
// the fix.
TEST(Robustness, FuzzerFindingsConvertCleanly) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(VLN_FUZZ_REGRESSIONS))
    names.push_back(e.path().filename().string());
  ASSERT_FALSE(names.empty());
  const char* const kWords[6] = {"G", "J", "S", "R", "C", "E"};
  for (const std::string& name : names) {
    std::string input = vlntest::read_file(std::string(VLN_FUZZ_REGRESSIONS) + "/" + name);
    ASSERT_FALSE(input.empty()) << name;
    uint8_t options = (uint8_t)input[0];
    std::vector<std::string> args = {"log.dat"};
    for (int i = 0; i < 6; i++)
      if (options >> i & 1) args.push_back(kWords[i]);
    if (options & 0x40) args.push_back("-dual_freq");
    vlntest::RunResult empty = run_program(args, "log.dat", {});
    vlntest::RunResult r = run_program(args, "log.dat", Bytes(input.begin() + 1, input.end()));
    EXPECT_EQ(1, r.status) << name;
    expect_headers_intact(r, empty, name);
  }
}

}  // namespace
