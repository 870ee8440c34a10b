// End-to-end: Compact RINEX, gzip and period files through the real program,
// read back by the project's own reader and compared, value by value and flag
// by flag, with the plain run; the reader on real files of other programs.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "crx_encode.h"
#include "generated_logs.h"
#include "log_generator.h"
#include "meas_frames.h"
#include "nav_encoders.h"
#include "position_check.h"
#include "rinex_text.h"
#include "runner.h"

using namespace vlntest;

namespace {

// Observation text as numbers and flags: header and event lines without trailing blanks, epoch
// lines up to the satellite count, each record as its values in thousandths ("_" blank or not
// finite) and flags, the way the standard programs compare files.
std::vector<std::string> canonical(const std::string& text, bool body_only = false) {
  std::vector<std::string> out;
  bool body = false;
  for (size_t at = 0; at < text.size();) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    size_t end = nl;
    while (end > at && (text[end - 1] == ' ' || text[end - 1] == '\r')) end--;
    const char* line = text.data() + at;
    size_t len = end - at;
    at = nl + 1;
    if (!body) {
      std::string header(line, len);
      body = header.find("END OF HEADER") != std::string::npos;
      if (!body_only && header.find("PGM / RUN BY / DATE") == std::string::npos)
        out.push_back(header);
      continue;
    }
    if (len == 0 || line[0] == '>') {
      out.emplace_back(line, len < 35 ? len : 35);
      continue;
    }
    std::string fields(line, 3);
    for (size_t f = 3; f < len; f += 16) {
      char value[16] = {};
      memcpy(value, line + f, f + 14 <= len ? 14 : len - f);
      bool blank = strspn(value, " ") == strlen(value);
      double v = blank || strstr(value, "nan") || strstr(value, "inf") ? NAN : atof(value);
      char text_value[32];
      snprintf(text_value, sizeof text_value, std::isfinite(v) ? " %lld/" : " _/",
               std::isfinite(v) ? std::llround(v * 1000) : 0LL);
      fields += text_value;
      if (f + 14 < len) fields.append(line + f + 14, f + 16 <= len ? 2 : 1);
    }
    out.push_back(fields);
  }
  return out;
}

// The text the project's reader makes of a file's bytes.
std::string unpacked(const std::string& bytes) {
  std::string path = temp_path(".file"), text, error;
  FILE* f = fopen(path.c_str(), "wb");
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  EXPECT_TRUE(read_rinex_text(path, &text, &error)) << error;
  remove(path.c_str());
  return text;
}

#ifndef _WIN32
// What a command makes of a file's bytes on its standard output ("%s" the file).
std::string through(const char* command, const std::string& bytes) {
  std::string in = temp_path(".gz"), out = temp_path(".txt");
  FILE* f = fopen(in.c_str(), "wb");
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  char line[512];
  snprintf(line, sizeof line, command, in.c_str());
  EXPECT_EQ(0, std::system((std::string(line) + " > " + out).c_str())) << line;
  std::string text = read_file(out);
  remove(in.c_str());
  remove(out.c_str());
  return text;
}
#endif

// The output whose name contains part.
std::string output(const RunResult& r, const std::string& part) {
  for (const auto& f : r.outputs)
    if (f.first.find(part) != std::string::npos) return f.second;
  ADD_FAILURE() << "no output named *" << part << "*";
  return "";
}

Bytes generated_hour(int satellites, int rate_hz = 10) {
  LogOptions o;
  o.seconds = 3600, o.rate_hz = rate_hz, o.satellites = satellites;
  return generated_log(o);
}

}  // namespace

TEST(Archive, CompactGzipAndPeriodsRestoreThePlainValues) {
  std::string sample = read_file(VLN_SAMPLE_LOG);
  struct Log {
    const char* name;
    Bytes bytes;
    const char* name_part;  // of the long names
    int periods;            // of 15 minutes
  } const kLogs[] = {{"sample", Bytes(sample.begin(), sample.end()), "20260080000_03M_01S", 1},
                     {"one hour", generated_hour(8, 2), "20260080000_01H_02Z", 4}};
  for (const Log& log : kLogs) {
    auto plain = run_program({"log.dat", "-dual_freq"}, "log.dat", log.bytes);
    ASSERT_EQ(1, plain.status);
    const auto want = canonical(plain.obs);
    struct Case {
      std::vector<std::string> options;
      const char* obs;
      const char* nav;
    } const kCases[] = {{{"--crx"}, "log.crx", "log.nav"},
                        {{"--gzip"}, "log.obs.gz", "log.nav.gz"},
                        {{"--crx", "--gzip", "--long-names"}, "_MO.crx.gz", "_MN.rnx.gz"}};
    for (const Case& c : kCases) {
      std::vector<std::string> args = {"log.dat", "-dual_freq"};
      args.insert(args.end(), c.options.begin(), c.options.end());
      auto r = run_program(args, "log.dat", log.bytes);
      ASSERT_EQ(1, r.status) << log.name << " " << c.obs;
      EXPECT_EQ(want, canonical(unpacked(output(r, c.obs)))) << log.name << " " << c.obs;
      EXPECT_EQ(plain.nav, unpacked(output(r, c.nav))) << log.name << " " << c.nav;
#ifndef _WIN32
      // The records are gzip members of a few MiB: zcat and Python read them
      // as one text, and the Compact text through zcat expands to the values.
      if (c.options.size() == 1 && c.options[0] == "--gzip") {
        EXPECT_EQ(plain.obs, through("gzip -dc %s", output(r, c.obs))) << log.name;
        EXPECT_EQ(plain.obs, through("python3 -c \"import gzip,sys; sys.stdout.buffer.write("
                                     "gzip.open(sys.argv[1]).read())\" %s",
                                     output(r, c.obs)))
            << log.name;
      }
      if (c.options.size() == 3) {
        EXPECT_EQ(want, canonical(unpacked(through("gzip -dc %s", output(r, c.obs)))));
      }
#endif
      if (c.options.size() == 3) {
        EXPECT_EQ(1u, r.outputs.count(std::string("XXXX00XXX_R_") + log.name_part + "_MO.crx.gz"));
        // deflate, no flags, no time, unknown system (RFC 1952): the same bytes everywhere
        EXPECT_EQ(std::string("\x1f\x8b\x08\0\0\0\0\0\0\xff", 10), output(r, c.nav).substr(0, 10));
      }
    }
    // Periods of 15 minutes: their records together are the plain run's, and
    // each navigation file lets its own period's first epoch be solved.
    auto split =
        run_program({"log.dat", "-dual_freq", "--split", "15m", "--crx"}, "log.dat", log.bytes);
    ASSERT_EQ(1, split.status) << split.out;
    ASSERT_EQ(2u * log.periods, split.outputs.size());
    std::vector<std::string> body;
    for (const auto& f : split.outputs) {
      if (f.first.find("_MO.crx") == std::string::npos) continue;
      auto part = canonical(unpacked(f.second), true);
      body.insert(body.end(), part.begin(), part.end());
    }
    EXPECT_EQ(canonical(plain.obs, true), body) << log.name;
    EXPECT_TRUE(Holds(split.out, "Periods written: " + std::to_string(log.periods)));
  }
}

TEST(Archive, LastPeriodPairSolvesFromItsOwnFiles) {
  Bytes hour = generated_hour(14);
  auto r =
      run_program({"log.dat", "--split", "15m", "--gzip", "--output-dir", "out"}, "log.dat", hour);
  const char* kLast = "out/XXXX00XXX_R_20260080045_15M_10Z_MO.rnx.gz";
  ASSERT_EQ(1u, r.outputs.count(kLast));
  std::string obs = temp_path(".rnx.gz"), nav = temp_path(".rnx.gz");
  for (auto name_file :
       {std::make_pair(std::string(kLast), obs),
        std::make_pair(std::string("out/XXXX00XXX_R_20260080045_15M_MN.rnx.gz"), nav)}) {
    FILE* f = fopen(name_file.second.c_str(), "wb");
    fwrite(r.outputs[name_file.first].data(), 1, r.outputs[name_file.first].size(), f);
    fclose(f);
  }
  PositionReport report = check_positions(obs, {nav});
  remove(obs.c_str());
  remove(nav.c_str());
  ASSERT_TRUE(report.ok) << report.error;
  EXPECT_EQ(9000, report.stats.back().epochs);  // all together: 14 satellites, each alone too few
  EXPECT_EQ(9000, report.stats.back().solved);
}

TEST(Archive, CompactEdgeCasesAndValuesThatAreNotFinite) {
  vlntest::RinexFaultsExpected original_habits;
  // Satellites that come and go, a second frequency present then blank, loss of lock, an event, an
  // epoch without satellites, and values that are not finite.
  const float kNan = NAN, kInf = INFINITY;
  const std::vector<std::vector<Meas>> kEpochs = {
      {{0x00, 3, 7, 45, 2e7, 1e8, 1.0f, 0},
       {0x20, 3, 7, 40, 2e7 + 3, 8e7, 2.0f, 0},
       {0x00, 7, 7, 44, 2.1e7, -2e6, -5.5f, 0},
       {0x03, 11, 7, 39, 2.3e7, 3e6, 7.0f, 0},
       {0x00, 10, 7, 40, 2.2e7, 1e6, 3.0f, 0}},
      {{0x00, 3, 7, 45, 2e7 + 1, 1e8 + 5, 1.5f, 0},
       {0x03, 11, 7, 39, 2.3e7, 3e6 + 1, 7.0f, 8},
       {0x02, 2, 10, 41, 1.9e7, 4e5, 1.5f, 0}},
      {{0x04, 193, 7, 50, 3.7e7, 1e6, 1.0f, 0}},  // QZSS only: not selected, no satellite
      {{0x00, 3, 7, 45, 2e7 + 2, -9e8, kNan, 0},
       {0x20, 3, 7, 40, 2e7 + 5, 8e7 + 1, -kNan, 8},
       {0x02, 2, 10, 41, 1.9e7, 4e5 + 3, kInf, 0},
       {0x00, 7, 7, 44, 2.1e7, -2e6, -kInf, 0}},
      {{0x00, 3, 7, 45, 2e7 + 3, -9e8 + 7, 1.0f, 0}, {0x00, 7, 7, 44, 2.1e7, -2e6 + 1, 2.0f, 0}},
  };
  Bytes log;
  for (size_t i = 0; i < kEpochs.size(); i++) {
    append(&log, e5((uint8_t)i, 345600000 + 1000 * (uint32_t)i, kEpochs[i]));
    if (i == 1) append(&log, e9(345601.5));
  }
  auto plain = run_program({"log.dat", "G", "R", "E", "-dual_freq"}, "log.dat", log);
  auto crx = run_program({"log.dat", "G", "R", "E", "-dual_freq", "--crx"}, "log.dat", log);
  EXPECT_EQ(canonical(plain.obs), canonical(unpacked(output(crx, "log.crx"))));
  auto records = lines(plain.obs);
  auto field = [&](const char* id, int epoch_line, int column) {
    int seen = 0;
    for (const std::string& line : records)
      if (line.compare(0, 3, id) == 0 && ++seen == epoch_line)
        return line.substr(3 + 16 * column, 14);
    return std::string("none");
  };
  EXPECT_EQ("           nan", field("G 3", 3, 2));  // the GNU C library's text everywhere
  EXPECT_EQ("          -nan", field("G 3", 3, 6));
  EXPECT_EQ("           inf", field("R 2", 2, 2));
  EXPECT_EQ("          -inf", field("G 7", 2, 2));
  EXPECT_TRUE(Holds(crx.out,
                    "Compact RINEX: 4 values that no 14-column field holds written as blank "
                    "fields\n"));

  // Upper digits (units of 100 cycles) that differ by exactly 100000 are still differenced; a phase
  // jump of 1e9 cycles is beyond that: the arc starts again there, and only there.
  Bytes jump;
  const double kPhase[] = {1e8, 1.1e8, 1.2e8 + 0.25, -9e8, -9e8 + 7};
  for (uint8_t i = 0; i < 5; i++)
    append(&jump, e5(i, 345600000 + 1000 * (uint32_t)i, {{0x00, 3, 7, 45, 2e7, kPhase[i], 1, 0}}));
  auto arc = lines(output(run_program({"log.dat", "G", "--crx"}, "log.dat", jump), "log.crx"));
  std::vector<std::string> tokens;  // one satellite: epoch, clock and data line each epoch
  size_t data =
      std::find(arc.begin(), arc.end(), std::string(60, ' ') + "END OF HEADER") - arc.begin() + 3;
  for (size_t i = data; i < arc.size(); i += 3) {
    std::istringstream fields(arc[i]);
    std::string range, phase;
    fields >> range >> phase;
    tokens.push_back(phase);
  }
  EXPECT_EQ(
      (std::vector<std::string>{"3&100000000000", "10000000000", "250", "3&-900000000000", "7000"}),
      tokens);
}

TEST(Archive, ReaderRestoresRealCompactFilesOfOtherPrograms) {
  std::string text, error;  // a damaged file names its line (this part needs no data folder)
  EXPECT_FALSE(
      crx_to_rinex("3.0                 COMPACT RINEX FORMAT                    CRINEX "
                   "VERS   / TYPE\nx\n",
                   &text, &error));
  EXPECT_EQ("Compact RINEX line 2: no CRINEX PROG / DATE line", error);
  // The two lines that open our Compact RINEX files, with the date's fields moved.
  EXPECT_EQ(
      std::string("3.0                 COMPACT RINEX FORMAT                    CRINEX VERS   / "
                  "TYPE\nvln_raw_to_rinex                        05-Mar-24 01:02     CRINEX "
                  "PROG / DATE\nX\n"),
      Crx_header("X   \n", "20240305 010203 UTC ", 3));
  std::filesystem::path dir = std::filesystem::u8path(VLN_SHARED_DATA "/crx");
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no " << dir.u8string();
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.path().extension() != ".crx") continue;
    std::string rnx = e.path().u8string();
    rnx.replace(rnx.size() - 3, 3, "rnx");
    ASSERT_TRUE(read_rinex_text(e.path().u8string(), &text, &error)) << error;
    EXPECT_EQ(read_file(rnx), text) << e.path().u8string();  // byte for byte
    files++;
  }
  EXPECT_EQ(5, files);
}

namespace {

// The gzip members of a file, walked one by one (0 when one is damaged).
int gzip_members(const std::string& gz) {
  int members = 0;
  size_t at = 0;
  std::vector<unsigned char> out(1 << 16);
  while (at < gz.size()) {
    z_stream z = {};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return 0;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data() + at));
    z.avail_in = (uInt)(gz.size() - at);
    int rc;
    do {
      z.next_out = out.data(), z.avail_out = (uInt)out.size();
      rc = inflate(&z, Z_NO_FLUSH);
    } while (rc == Z_OK);
    at = gz.size() - z.avail_in;
    inflateEnd(&z);
    if (rc != Z_STREAM_END) return 0;
    members++;
  }
  return members;
}

}  // namespace

// --flush S in a file conversion: each checkpoint ends a gzip member, so the
// three minutes of the sample (180 epochs at 1 Hz) are a member an epoch with
// 0, a few with 60, and the header and one body without; the text is the same.
TEST(Archive, FlushEndsAGzipMemberAtEachCheckpoint) {
  Bytes log = sample_log();
  auto plain = run_program({"log.dat", "--gzip"}, "log.dat", log);
  const struct {
    const char* flush;
    int fewest, most;
  } kCases[] = {{"0", 180, 200}, {"60", 4, 7}, {nullptr, 2, 2}};
  for (const auto& c : kCases) {
    std::vector<std::string> args = {"log.dat", "--gzip"};
    if (c.flush != nullptr) args.insert(args.end(), {"--flush", c.flush});
    auto r = run_program(args, "log.dat", log);
    int members = gzip_members(r.outputs["log.obs.gz"]);
    std::string name = c.flush != nullptr ? c.flush : "none";
    EXPECT_GE(members, c.fewest) << name;
    EXPECT_LE(members, c.most) << name;
    EXPECT_EQ(unpacked(plain.outputs["log.obs.gz"]), unpacked(r.outputs["log.obs.gz"])) << name;
  }
}

TEST(Archive, StreamingGzipReaderAndInterruptedPeriod) {
  if (!kFileSizeLimitSupported) GTEST_SKIP() << "Linux only: zcat and file size limits";
  Bytes log = sample_log();
  auto r = run_program({"log.dat", "--crx", "--gzip"}, "log.dat", log);
  std::string path = temp_path(".crx.gz");
  FILE* f = fopen(path.c_str(), "wb");
  fwrite(r.outputs["log.crx.gz"].data(), 1, r.outputs["log.crx.gz"].size(), f);
  fclose(f);
  std::string streamed;
  FILE* zcat = popen(("zcat " + path).c_str(), "r");
  char chunk[1 << 16];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, zcat)) > 0;) streamed.append(chunk, n);
  EXPECT_EQ(0, pclose(zcat));
  remove(path.c_str());
  std::string from_stream, error;
  ASSERT_TRUE(crx_to_rinex(streamed, &from_stream, &error)) << error;
  EXPECT_EQ(unpacked(r.outputs["log.crx.gz"]), from_stream);

  auto cut = run_program({"log.dat", "--split", "1h"}, "log.dat", log, {}, 60000);
  EXPECT_EQ(2, cut.status);
  EXPECT_EQ(1u, cut.outputs.count("XXXX00XXX_R_20260080000_01H_00U_MO.rnx.incomplete"));
  EXPECT_TRUE(
      Holds(cut.out, "Incomplete file: XXXX00XXX_R_20260080000_01H_00U_MO.rnx.incomplete\n"));
}

TEST(Archive, TimeJumpsNeverReopenAClosedPeriod) {
  // Hourly files; the receiver's time goes to 01:00, back to 00:30, on to 02:00.
  // A GPS ephemeris comes before the first epoch: every period's navigation
  // file starts with it, as the latest record before its period.
  GpsLnav eph = {};
  eph.iodc = eph.iode = 5, eph.sqrt_a = 2702000000u, eph.e = 100000;
  Bytes log;
  auto sf = encode_gps_lnav(eph);
  for (uint8_t s = 1; s <= 3; s++) append(&log, frame(gps_subframe_payload(3, s, sf[s - 1])));
  const uint32_t kSeconds[] = {0, 3600, 1800, 7200};
  for (uint8_t i = 0; i < 4; i++)
    append(&log, e5(i, 345600000 + 1000 * kSeconds[i], {{0x00, 3, 7, 45, 2e7 + i, 1e8, 1.0f, 0}}));
  auto r = run_program({"log.dat", "G", "--split", "1h"}, "log.dat", log);
  ASSERT_EQ(1, r.status) << r.out;
  EXPECT_TRUE(Holds(r.out,
                    "Periods written: 3 (an observation and a navigation file each)\n"
                    "Epochs in periods already closed, not written: 1\n"));
  ASSERT_EQ(6u, r.outputs.size());
  std::string first = r.outputs["XXXX00XXX_R_20260080000_01H_60M_GO.rnx"];  // epochs an hour apart
  EXPECT_EQ(1, (int)std::count(first.begin(), first.end(), '>'));           // only its own epoch
  // A folder in the way of the first period's final name (replacing allowed):
  // the file keeps its provisional name and the run its incomplete status.
  auto blocked = run_program({"log.dat", "G", "--split", "1h", "--overwrite"}, "log.dat", log,
                             {"XXXX00XXX_R_20260080000_01H_60M_GO.rnx"});
  EXPECT_EQ(2, blocked.status);
  EXPECT_NE(
      std::string::npos,
      blocked.out.find("Periods written: 2 (an observation and a navigation file each)\n"
                       "Epochs in periods already closed, not written: 1\n"
                       "Incomplete file: XXXX00XXX_R_20260080000_01H_00U_GO.rnx.incomplete\n"));
#ifndef _WIN32  // there a folder opened as a file gives another error
  // A folder in the way of its provisional name: the console names the reason.
  auto unopened = run_program({"log.dat", "G", "--split", "1h", "--overwrite"}, "log.dat", log,
                              {"XXXX00XXX_R_20260080000_01H_00U_GO.rnx.incomplete"});
  EXPECT_EQ(2, unopened.status);
  EXPECT_TRUE(Holds(unopened.out, std::string("RINEX obs file write error: ") + strerror(EISDIR)));
#endif
  for (const char* hour : {"0000", "0100", "0200"})
    EXPECT_NE(std::string::npos,
              r.outputs[std::string("XXXX00XXX_R_2026008") + hour + "_01H_GN.rnx"].find("\nG03 "))
        << hour;
}
