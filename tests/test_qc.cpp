// The quality report: a hand-written file whose statistics follow from the formulas, a day of a
// public reference station and real files of other programs, a generated day with injected slips
// and multipath, bad files, and the HTML page in a real browser.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "expect_format.h"
#include "generated_logs.h"
#include "log_generator.h"
#include "qc.h"
#include "rinex_text.h"
#include "runner.h"

using namespace vlntest;

namespace {

const QcSignal* signal(const QcReport& r, char sys, const std::string& code) {
  for (const QcSignal& s : r.signals)
    if (s.system == sys && s.code == code) return &s;
  return nullptr;
}

const QcPosition& position(const QcReport& r, const std::string& name) {
  for (const QcPosition& p : r.positions)
    if (p.name == name) return p;
  return r.positions.back();
}

const double kLight = 299792458.0, kF1 = 1575.42e6, kF2 = 1227.60e6;  // GPS L1 and L2

double rms(const QcSignal& s) { return std::sqrt(s.mp_sum2 / (double)s.mp_count); }

// The report of a log converted with the arguments after it (the observation
// file read into obs when asked).
void report_of_run(const std::vector<std::string>& args, const Bytes& log, QcReport* r,
                   ObsFile* obs = nullptr) {
  std::vector<std::string> line = {"log.dat"};
  line.insert(line.end(), args.begin(), args.end());
  auto run = run_program(line, "log.dat", log);
  ObsFile file;
  bc::NavData nav;
  std::string error;
  ASSERT_TRUE(read_obs_text(run.obs, "log.obs", &file, &error)) << error;
  ASSERT_TRUE(bc::read_nav_text(run.nav, &nav));
  *r = qc_analyse(file, nav, 10);
  if (obs != nullptr) *obs = file;
}

// The report of a generated log converted with -dual_freq.
void report_of_generated(const LogOptions& o, LogCounts* made, QcReport* r) {
  report_of_run({"-dual_freq"}, generated_log(o, made), r);
}

std::string station(const std::string& name) {
  return std::string(VLN_SHARED_DATA "/station-day/") + name;
}

}  // namespace

TEST(Qc, HandWrittenFileFollowsTheFormulas) {
  // One GPS satellite every 30 s: phases that follow the range exactly, a code error of +-0.5 m
  // alternating (multipath RMS 0.5 m by the formula MP1 = P1 - (1 + 2/(a-1)) L1 + 2/(a-1) L2, a =
  // (f1/f2)^2, mean removed), a 7-cycle jump of L1 at epoch 10 (a slip; the 5 epochs after it are
  // too few for an arc), a loss-of-lock flag at epoch 12, no epoch at 14 (a gap), S1C stored as 400
  // with a scale factor of 10, and what the reader must skip.
  std::string text =
      header_line("     3.04           OBSERVATION DATA    M", "RINEX VERSION / TYPE") +
      header_line("G    5 C1C L1C S1C C2W L2W", "SYS / # / OBS TYPES") +
      header_line("G   10   1 S1C", "SYS / SCALE FACTOR") + header_line("    30.000", "INTERVAL") +
      header_line("  1202434.1303   252632.2212  6237772.4351", "APPROX POSITION XYZ") +
      header_line("", "END OF HEADER");
  for (int k = 0; k <= 15; k++) {
    if (k == 14) continue;
    char line[256];
    snprintf(line, sizeof line, "> 2024 05 03 00 %02d %10.7f  0  %d\n", k / 2, 30.0 * (k % 2),
             k == 3 ? 3 : 2);
    text += line;
    double range = 2e7 + 100.0 * k, m = (k % 2 ? 0.5 : -0.5);
    double l1 = range * kF1 / kLight + 1000 + (k >= 10 ? 7 : 0), l2 = range * kF2 / kLight + 2000;
    snprintf(line, sizeof line, "G07%14.3f  %14.3f%c %14.3f  %14.3f  %14.3f\n", range + m, l1,
             k == 12 ? '1' : ' ', 400.0, range, l2);
    text += line;
    text += k == 3 ? "I05  20000000.000\n" : "";  // a system without types
    text += "R09  21000000.000\n";                // a short line of another unknown system
  }
  text += "> 2024 05 03 00 07 45.0000000  4  1\n" + header_line("ANTENNA MOVED", "COMMENT");
  text += "> 2024 05 03 00 08  0.0000000  0  2\nG07  20001600.000\n";  // line 55, cut off
  ObsFile obs;
  std::string error;
  ASSERT_TRUE(read_obs_text(text, "hand.rnx", &obs, &error)) << error;
  QcReport r = qc_analyse(obs, bc::NavData{}, 10);
  EXPECT_EQ(16, r.epochs_present);
  EXPECT_EQ(17, r.epochs_expected);  // 00:00:00 to 00:08:00 every 30 s
  ASSERT_EQ(1u, r.gaps.size());
  EXPECT_EQ("2024-05-03T00:06:30", qc_time_text(r.gaps[0].first));
  EXPECT_EQ("2024-05-03T00:07:30", qc_time_text(r.gaps[0].second));
  EXPECT_EQ("1980-01-05T23:59:59", qc_time_text(-1));  // a damaged epoch before the GPS epoch
  const QcSignal* c1 = signal(r, 'G', "C1C");
  const QcSignal* c2 = signal(r, 'G', "C2W");
  ASSERT_TRUE(c1 != nullptr && c2 != nullptr);
  EXPECT_EQ("C2W", c1->second);
  EXPECT_EQ(16, c1->present);
  EXPECT_EQ(-1, c1->expected);  // no orbits
  EXPECT_EQ(1, c1->lli);
  EXPECT_EQ(1, c1->slips);
  EXPECT_EQ(1, c2->slips);  // the same geometry-free jump
  EXPECT_DOUBLE_EQ(40.0, c1->cn0_sum / (double)c1->cn0_count);
  EXPECT_EQ(1, c1->mp_arcs);
  EXPECT_NEAR(0.5, rms(*c1), 0.002);                             // printed to the millimetre
  EXPECT_NEAR(0.0, rms(*c2), 0.002);                             // P2 has no error
  EXPECT_EQ(16, r.skipped["records of systems without types"]);  // I05 and 15 short R09 lines
  EXPECT_EQ(1, r.skipped["special records (flags 2-6)"]);
  EXPECT_EQ(1, r.skipped["satellites of a truncated last epoch (line 55)"]);
}

TEST(Qc, SlipsFromAnyPairPresentAndFromDopplerWithoutTheReceiverClock) {
  // 40 epochs at 1 s of four GPS satellites whose ranges change linearly (the Doppler is exact) and
  // whose phases all carry the same receiver-clock term, steps of up to 3.2 m (17 cycles) from
  // epoch to epoch. G05 has L1 and L2W but not the header's first L2 signal L2L, no Doppler, and a
  // 9-cycle L1 slip at epoch 20; G09, G13 and G17 have L1 only, G13 a 6-cycle slip at epoch 30.
  std::string text =
      header_line("     3.04           OBSERVATION DATA    M", "RINEX VERSION / TYPE") +
      header_line("G    7 C1C L1C D1C C2L L2L C2W L2W", "SYS / # / OBS TYPES") +
      header_line("     1.000", "INTERVAL") + header_line("", "END OF HEADER");
  const int kSats[4] = {5, 9, 13, 17};
  for (int k = 0; k < 40; k++) {
    char line[256];
    snprintf(line, sizeof line, "> 2024 05 03 00 00 %10.7f  0  4\n", (double)k);
    text += line;
    double clock = 0.8 * ((k * 7) % 5 - 2);
    for (int i = 0; i < 4; i++) {
      double rate = 300.0 * (i + 1) - 700.0, range = 2.1e7 + 1e6 * i + rate * k;
      double l1 = (range + clock) * kF1 / kLight + (i == 0 && k >= 20 ? 9 : 0) +
                  (i == 2 && k >= 30 ? 6 : 0);
      snprintf(line, sizeof line, "G%02d%14.3f  %14.3f  %14.3f  ", kSats[i], range, l1,
               -rate * kF1 / kLight);
      if (i == 0) memset(line + 35, ' ', 16);  // G05: no Doppler, only its pair tells the slip
      text += line;
      if (i == 0) {
        snprintf(line, sizeof line, "%32s%14.3f  %14.3f", "", range,
                 (range + clock) * kF2 / kLight);
        text += line;
      }
      text += "\n";
    }
  }
  ObsFile obs;
  std::string error;
  ASSERT_TRUE(read_obs_text(text, "pairs.rnx", &obs, &error)) << error;
  QcReport r = qc_analyse(obs, bc::NavData{}, 10);
  EXPECT_EQ(2, signal(r, 'G', "C1C")->slips);  // G05 by L1 - L2W, G13 by its Doppler
  EXPECT_EQ(1, signal(r, 'G', "C2W")->slips);
  EXPECT_EQ(0, signal(r, 'G', "C2L")->slips);
  EXPECT_EQ(0, signal(r, 'G', "C1C")->lli);
}

TEST(Qc, ASystemWithoutSatellitesInViewDropsOutOfTheSolution) {
  // Six GPS satellites above the receiver with exact ranges, and a QZSS one
  // below the horizon: the solution is the GPS one, not void.
  const double rcv[3] = {1202434.1303, 252632.2212, 6237772.4351};
  double lat, lon, h;
  gnss::ecef_to_geodetic(rcv, &lat, &lon, &h);
  const double kSky[7][2] = {{0, 80},   {60, 40},  {130, 25}, {200, 55},
                             {270, 30}, {320, 15}, {90, -5}};  // azimuth, elevation in degrees
  std::vector<bc::SatMeas> sats(7);
  for (int i = 0; i < 7; i++) {
    const double kDeg = 3.14159265358979323846 / 180;
    double az = kSky[i][0] * kDeg, el = kSky[i][1] * kDeg;
    double e = std::cos(el) * std::sin(az), n = std::cos(el) * std::cos(az), u = std::sin(el);
    double up[3] = {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
    double east[3] = {-std::sin(lon), std::cos(lon), 0};
    double north[3] = {-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon),
                       std::cos(lat)};
    bc::SatMeas& m = sats[(size_t)i];
    m.sys = i < 6 ? 'G' : 'J', m.omega_e = 0, m.freq = 1575.42e6;
    for (int k = 0; k < 3; k++)
      m.pos[k] = rcv[k] + 2.2e7 * (e * east[k] + n * north[k] + u * up[k]);
    m.pr = 2.2e7 + gnss::troposphere(el) + 1e4;  // and a receiver clock of 10 km
  }
  std::vector<const bc::SatMeas*> use;
  for (const bc::SatMeas& m : sats) use.push_back(&m);
  double x[3];
  ASSERT_TRUE(bc::solve(use, bc::NavData{}, 1.4e9, x, rcv));
  // The constant night ionosphere of an empty Klobuchar set differs with
  // elevation only by its obliquity: metres at most.
  EXPECT_LT(std::hypot(x[0] - rcv[0], x[1] - rcv[1], x[2] - rcv[2]), 5.0);
}

TEST(Qc, FnavRecordsBesideInavOnesLeaveTheGalileoSolution) {
  if (!std::filesystem::exists(std::filesystem::u8path(VLN_SHARED_DATA)))
    GTEST_SKIP() << "no " << VLN_SHARED_DATA;
  ObsFile obs;
  std::string error, inav;
  ASSERT_TRUE(read_obs_file(station("NYA100NOR_S_20241240000_01D_30S_MO.crx.gz"), &obs, &error));
  ASSERT_TRUE(read_rinex_text(station("NYA100NOR_S_20241240000_01D_EN.rnx.gz"), &inav, &error));
  // Every I/NAV record again as F/NAV (data sources 258) with a clock 1 us
  // off, 300 m: a solver that took them would be hundreds of metres out.
  // They come first, so that a tie of times does not hide them.
  size_t header_end = inav.find('\n', inav.find("END OF HEADER")) + 1;
  std::string both = inav.substr(0, header_end);
  std::vector<std::string> body = lines(inav.substr(header_end));
  for (size_t i = 0; i + 7 < body.size(); i++) {
    if (body[i].empty() || body[i][0] != 'E') continue;
    std::string first = body[i];
    double af0 = std::stod(first.substr(23, 19)) + 1e-6;
    char field[32];
    snprintf(field, sizeof field, "%19.12E", af0);
    both += first.replace(23, 19, field) + "\n";
    for (size_t k = 1; k <= 7; k++) {
      std::string orbit = body[i + k];
      if (k == 5) orbit.replace(23, 19, " 2.580000000000E+02");
      both += orbit + "\n";
    }
  }
  both += inav.substr(header_end);
  bc::NavData one, two;
  ASSERT_TRUE(bc::read_nav_text(inav, &one));
  ASSERT_TRUE(bc::read_nav_text(both, &two));
  QcReport a = qc_analyse(obs, one, 10), b = qc_analyse(obs, two, 10);
  EXPECT_EQ(2880, position(b, "E").solved);
  EXPECT_DOUBLE_EQ(position(a, "E").median, position(b, "E").median);
  EXPECT_LT(position(b, "E").median, 2.5);
}

TEST(Qc, BadFilesAreNamedWithTheirLine) {
  struct Case {
    std::string text;
    const char* message;
  } const kCases[] = {
      {"hello\n", "x.rnx line 1: not a RINEX file (no RINEX VERSION / TYPE line)"},
      {header_line("     1.00           OBSERVATION DATA    M", "RINEX VERSION / TYPE"),
       "x.rnx line 1: RINEX version 1.00 is not read (2.10 to 4.00 are)"},
      {header_line("     2.11           OBSERVATION DATA    M", "RINEX VERSION / TYPE") +
           header_line("    12    C1", "# / TYPES OF OBSERV"),
       "x.rnx line 2: # / TYPES OF OBSERV continuation missing"},
      {header_line("     3.04           N: GNSS NAV DATA    M", "RINEX VERSION / TYPE"),
       "x.rnx line 1: not an observation file"},
      {header_line("     3.04           OBSERVATION DATA    M", "RINEX VERSION / TYPE") +
           header_line("G   20 C1C", "SYS / # / OBS TYPES"),
       "x.rnx line 2: SYS / # / OBS TYPES continuation missing"},
      {header_line("     3.04           OBSERVATION DATA    M", "RINEX VERSION / TYPE"),
       "x.rnx line 1: no END OF HEADER"},
  };
  for (const Case& c : kCases) {
    ObsFile obs;
    std::string error;
    EXPECT_FALSE(read_obs_text(c.text, "x.rnx", &obs, &error));
    EXPECT_EQ(c.message, error);
  }
  bc::NavData nav;
  EXPECT_FALSE(bc::read_nav_text("G01 2024 05 03 00 00 00\n", &nav));  // no header
  // The fuzzer's findings: read and analysed without a fault (the sanitizer build shows it).
  for (const auto& e : std::filesystem::directory_iterator(VLN_RINEX_REGRESSIONS)) {
    std::string text = read_file(e.path().u8string()), error;
    ObsFile obs;
    if (read_obs_text(text, "x", &obs, &error)) qc_analyse(obs, bc::NavData{}, 10);
    EXPECT_TRUE(bc::read_nav_text(text, &nav) || true);
  }
}

// The programs on what a user gives them by mistake: each answer and status.
TEST(Qc, HostileInputsGetTheirReasonAndStatus) {
  VLN_SKIP_UNLESS_TOOLS_RUN_HERE();
  if (!std::filesystem::exists(std::filesystem::u8path(VLN_SHARED_DATA)))
    GTEST_SKIP() << "no " << VLN_SHARED_DATA;
  std::string dir = temp_path("");
  std::filesystem::create_directories(dir);
  std::string cut = dir + "/cut.crx", day = dir + "/day.crx",
              gn = station("NYA100NOR_S_20241240000_01D_GN.rnx.gz");
  std::string compact = read_file(VLN_SHARED_DATA "/crx/NYA100NOR_S_20241240000_02H_30S_MO.crx");
  std::ofstream(cut, std::ios::binary) << compact.substr(0, compact.size() / 2);
  const std::string bad_gzip = dir + "/bad.rnx.gz";  // a gzip header, then no valid block
  std::ofstream(bad_gzip, std::ios::binary)
      << std::string("\x1f\x8b\x08\0\0\0\0\0\0\x03\xff\xff", 12);
  // A generated log's hour: another day than the navigation file's.
  auto run = run_program({"log.dat", "-dual_freq"}, "log.dat", sample_log());
  std::ofstream(day, std::ios::binary) << run.obs;
  const std::string qc = VLN_QC_PATH, check = VLN_POSITION_CHECK_PATH;
  const struct {
    std::string command;
    int status;
    std::string says;
    bool whole;  // the whole output, else a part of it
  } kCases[] = {
      {qc + " " + dir + " " + gn, 2, "vln_qc: " + dir + ": Is a directory\n", true},
      {qc + " " + dir + "/none.rnx " + gn, 2,
       "vln_qc: " + dir + "/none.rnx: No such file or directory\n", true},
      {qc + " " + bad_gzip + " " + gn, 2, "vln_qc: " + bad_gzip + ": invalid block type\n", true},
      {qc + " --help", 0, "usage: vln_qc OBS NAV...", false},
      // Cut in the middle of an epoch, as a plain file cut there is reported.
      {qc + " " + cut + " " + gn, 0, " satellites of a truncated last epoch", false},
      {qc + " " + day + " " + gn, 3,
       "vln_qc: the navigation files hold no orbit for any observed satellite at the observation "
       "times (other satellites, or days apart)\n",
       true},
      // A report that cannot be written is refused before any work, with the reason.
      {qc + " " + day + " " + gn + " --html " + dir + "/none/day.html", 4,
       "vln_qc: " + dir + "/none/day.html cannot be written: No such file or directory\n", true},
      {check + " --help", 0, "usage: vln_position_check OBS_FILE [NAV_FILE...]\n", false},
      {check + " " + day + " " + gn, 1,
       "position check: no epoch solved: no epoch holds four satellites with a pseudorange and an "
       "orbit at its time\n",
       false},
  };
  for (const auto& c : kCases) {
    CommandResult run = run_command(c.command);
    const std::string& out = run.out;
    EXPECT_EQ(c.status, run.status) << c.command << "\n" << out;
    if (c.whole) {
      EXPECT_EQ(c.says, out);
    } else {
      EXPECT_TRUE(Holds(out, c.says)) << c.command;
    }
    if (c.command.find(check + " " + day) == 0) {  // no figures where nothing was solved
      EXPECT_TRUE(Holds(out, "all            0       0          -          -\n"));
    }
  }
  std::filesystem::remove_all(dir);
  // A file whose time goes back says so.
  std::string back =
      header_line("     3.04           OBSERVATION DATA    M", "RINEX VERSION / TYPE") +
      header_line("G    1 C1C", "SYS / # / OBS TYPES") + header_line("", "END OF HEADER");
  for (int s : {0, 30, 60, 30, 60, 90})
    back += "> 2024 05 03 00 0" + std::to_string(s / 60) + (s % 60 ? " 30" : " 00") +
            ".0000000  0  1\nG05  20000000.000\n";
  ObsFile obs;
  std::string why;
  ASSERT_TRUE(read_obs_text(back, "back.rnx", &obs, &why)) << why;
  QcReport r = qc_analyse(obs, bc::NavData{}, 10);
  ASSERT_FALSE(r.notes.empty());
  EXPECT_EQ(
      "1 epochs not later than the epoch before them, the first at 2024-05-03T00:00:30 after "
      "2024-05-03T00:01:00: the file's time goes back, and completeness counts them again",
      r.notes[0]);
}

TEST(Qc, PublicStationDayAndRealFilesOfOtherPrograms) {
  if (!std::filesystem::exists(std::filesystem::u8path(VLN_SHARED_DATA)))
    GTEST_SKIP() << "no " << VLN_SHARED_DATA;
  // Epoch counts as the data's description gives them.
  struct Count {
    const char* file;
    long epochs;
  } const kCounts[] = {{"KMS300DNK_R_20221591000_01H_30S_MO.crx", 19},
                       {"ACOR00ESP_R_20213550000_01D_30S_MO.crx", 25},
                       {"BME100HUN_R_20213550000_01D_30S_MO.crx", 25},
                       {"DOUR00BEL_R_20200130000_01D_30S_MO.crx", 43},
                       {"NYA100NOR_S_20241240000_02H_30S_MO.crx", 240}};
  for (const Count& c : kCounts) {
    ObsFile obs;
    std::string error;
    ASSERT_TRUE(read_obs_file(std::string(VLN_SHARED_DATA "/crx/") + c.file, &obs, &error))
        << error;
    EXPECT_EQ(c.epochs, (long)obs.epochs.size()) << c.file;
  }
  ObsFile obs;
  bc::NavData nav;
  std::string error;
  ASSERT_TRUE(read_obs_file(station("NYA100NOR_S_20241240000_01D_30S_MO.crx.gz"), &obs, &error));
  for (const char* n : {"GN", "EN", "CN"})
    ASSERT_TRUE(bc::read_nav_file(
        station(std::string("NYA100NOR_S_20241240000_01D_") + n + ".rnx.gz"), &nav, &error))
        << error;
  QcReport r = qc_analyse(obs, nav, 10);
  // The file read as a stream, epoch by epoch, gives the same report.
  QcReport streamed;
  std::vector<std::string> navs;
  for (const char* n : {"GN", "EN", "CN"})
    navs.push_back(station(std::string("NYA100NOR_S_20241240000_01D_") + n + ".rnx.gz"));
  ASSERT_EQ(kQcOk, qc_report_files(station("NYA100NOR_S_20241240000_01D_30S_MO.crx.gz"), navs, 10,
                                   &streamed, &error))
      << error;
  streamed.obs_file = r.obs_file, streamed.nav_files = r.nav_files;
  EXPECT_EQ(qc_text(r), qc_text(streamed));
  EXPECT_EQ(2880, r.epochs_present);
  EXPECT_EQ(2880, r.epochs_expected);
  EXPECT_TRUE(r.gaps.empty());
  EXPECT_EQ(30.0, r.interval);
  // The station's published position is the reference: single-point
  // solutions of a geodetic receiver lie within metres of it.
  for (const char* name : {"G", "E", "C", "all"}) {
    const QcPosition& p = position(r, name);
    EXPECT_EQ(2880, p.solved) << name;
    EXPECT_LT(p.median, 2.5) << name;
    for (double d : p.mean_enu) EXPECT_LT(std::fabs(d), 1.0) << name;
  }
  const QcSignal* g = signal(r, 'G', "C1C");
  ASSERT_NE(nullptr, g);
  EXPECT_GT(100.0 * g->present_above_mask / g->expected, 99.0);  // tracked all it could
  EXPECT_GT(rms(*g), 0.2);  // a choke-ring antenna's code multipath: decimetres
  EXPECT_LT(rms(*g), 0.8);
  EXPECT_EQ(-1, signal(r, 'R', "C1C")->expected);  // no GLONASS navigation file
  EXPECT_EQ(1u, r.notes.size());
  // The header against a station file: a wrong radome and height are named.
  qc_check_station({{"antenna-type", "ASH701073.1"},
                    {"radome", "NONE"},
                    {"marker-name", "NYA1"},
                    {"antenna-delta", "0.0004,0,0"},
                    {"position", "1202434.9,252632.2212,6237772.4351"}},
                   &r);
  qc_check_station({{"antenna-delta", "0.0006,0,0"}, {"position", "1202435.2,252632.2,6237772.4"}},
                   &r);
  std::string checks;
  for (const QcHeaderCheck& c : r.header_checks) checks += c.what + (c.agrees ? "=" : "!") + " ";
  EXPECT_EQ("marker-name= antenna-type= radome! antenna-delta= position= antenna-delta! position! ",
            checks);
  // The page of a day of four systems at 30 s stays small enough to open at once.
  size_t page = qc_html(r).size();
  printf("the page of the NYA1 day: %zu bytes\n", page);
  EXPECT_LT(page, 1500000u);
}

// Every real observation file with navigation files of its day: single-point medians within what
// one frequency reaches, against the header position. Delft's GPS file holds orbits of three of its
// satellites in that hour: the report says so instead of a position. A GLONASS navigation file
// without LEAP SECONDS is dated by the observation header's, else by the table of announced leap
// seconds: the same positions as with the line, and a note.
TEST(Qc, PositionsOfEveryRealFileWithTheNavigationFilesOfItsDay) {
  if (!std::filesystem::exists(std::filesystem::u8path(VLN_SHARED_DATA)))
    GTEST_SKIP() << "no " << VLN_SHARED_DATA;
  const std::string d = VLN_SHARED_DATA "/";
  const std::string nya = d + "station-day/NYA100NOR_S_20241240000_01D_";
  const struct {
    std::string obs;
    std::vector<std::string> nav;
    std::map<std::string, double> limit;  // metres, by system
    std::string unsolved;                 // a system never solved and why
  } kFiles[] = {
      {d + "rinex2/delf0010.21o",
       {d + "rinex2/cbw10010.21n.gz", d + "rinex2/dlf10010.21g"},
       {{"R", 20}, {"all", 20}},
       "G never solved: fewer than four of its satellites with a navigation record at each epoch "
       "(records for 3 of its 14 satellites: G01 G07 G08)"},
      {d + "rinex2/zegv0010.21o",
       {d + "rinex2/cbw10010.21n.gz", d + "rinex2/amel0010.21g", d + "rinex2/dlf10010.21g"},
       {{"R", 20}, {"all", 20}},
       "G never solved"},
      {d + "crx/KMS300DNK_R_20221591000_01H_30S_MO.crx",
       {d + "nav4/KMS300DNK_R_20221591000_01H_MN.rnx.gz"},
       {{"G", 10}, {"E", 10}, {"C", 20}, {"R", 20}, {"all", 10}},
       "J never solved: fewer than four of its satellites with a navigation record at each epoch "
       "(records for 1 of its 1 satellites: J04)"},
      {d + "crx/NYA100NOR_S_20241240000_02H_30S_MO.crx",
       {nya + "GN.rnx.gz", nya + "EN.rnx.gz", nya + "CN.rnx.gz"},
       {{"G", 10}, {"E", 10}, {"C", 20}, {"all", 10}},
       ""},
  };
  for (const auto& f : kFiles) {
    QcReport r;
    std::string error;
    ASSERT_EQ(kQcOk, qc_report_files(f.obs, f.nav, 10, &r, &error)) << error;
    for (const auto& l : f.limit) {
      const QcPosition& p = position(r, l.first);
      EXPECT_GT(p.solved, 0) << f.obs << " " << l.first;
      EXPECT_LT(p.median, l.second) << f.obs << " " << l.first;
    }
    EXPECT_NE(std::string::npos, qc_text(r).find(f.unsolved)) << f.obs;
  }
  // Delft with its GLONASS file: the leap seconds from the file, the header, the table.
  std::string obs = read_file(d + "rinex2/delf0010.21o"),
              glo = read_file(d + "rinex2/dlf10010.21g");
  const std::string leap_line = header_line("    18", "LEAP SECONDS");
  std::string dir = temp_path("");
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/leap.21g", std::ios::binary)
      << glo.insert(glo.find(header_line("", "END OF HEADER")), leap_line);
  std::ofstream(dir + "/noleap.21o", std::ios::binary) << obs.erase(obs.find(leap_line), 81);
  const struct {
    std::string obs, glonass, note;
  } kLeap[] = {
      {d + "rinex2/delf0010.21o", dir + "/leap.21g", ""},
      {d + "rinex2/delf0010.21o", d + "rinex2/dlf10010.21g",
       "leap seconds 18 from the observation header: no navigation file gives them"},
      {dir + "/noleap.21o", d + "rinex2/dlf10010.21g",
       "leap seconds 18 from the table of announced leap seconds (IERS Bulletin C, to "
       "2026-06-30): neither the navigation files nor the observation header give them"},
  };
  double median = 0;
  for (const auto& c : kLeap) {
    QcReport r;
    std::string error;
    ASSERT_EQ(kQcOk, qc_report_files(c.obs, {c.glonass}, 10, &r, &error)) << error;
    if (c.note.empty()) median = position(r, "R").median;
    EXPECT_DOUBLE_EQ(median, position(r, "R").median) << c.glonass;
    EXPECT_LT(median, 20.0);
    std::string leap_notes;
    for (const std::string& n : r.notes)
      if (n.find("leap seconds") != std::string::npos) leap_notes += n;
    EXPECT_EQ(c.note, leap_notes) << c.glonass;
  }
  std::filesystem::remove_all(dir);
}

// The sample, converted with one frequency and with two, is clean: no slip (the generator's
// satellites fly on where their broadcast sets change) and no receiver clock jump.
TEST(Qc, TheSampleGivesACleanReport) {
  std::string sample = read_file(VLN_SAMPLE_LOG);
  for (bool dual : {false, true}) {
    QcReport r;
    ASSERT_NO_FATAL_FAILURE(
        report_of_run(dual ? std::vector<std::string>{"-dual_freq"} : std::vector<std::string>{},
                      Bytes(sample.begin(), sample.end()), &r));
    std::string slips;
    for (const QcSlip& k : r.slips) slips += qc_time_text(k.t) + " " + k.sat + " " + k.code + "\n";
    EXPECT_EQ("", slips) << dual;
    EXPECT_TRUE(r.clock_jumps.empty()) << dual;
    std::string text = qc_text(r);  // no negative zero: "-0.0" is "0.0"
    for (size_t at = text.find("-0."); at != std::string::npos; at = text.find("-0.", at + 1)) {
      size_t end = text.find_first_not_of("0123456789", at + 3);
      EXPECT_NE(std::string::npos, text.substr(at, end - at).find_first_of("123456789"))
          << text.substr(at, 12);
    }
  }
}

// A day at 30 s of every system and every signal the receiver reports (BeiDou-3 too): the page
// stays small enough to open at once, whatever the number of satellites and signals.
TEST(Qc, ThePageOfADayOfSixSystemsAndEverySignal) {
  LogOptions o;
  o.seconds = 86400, o.interval = 30, o.profile = "multi", o.satellites = 64, o.beidou3 = true;
  QcReport r;
  ObsFile obs;
  ASSERT_NO_FATAL_FAILURE(
      report_of_run({"-dual_freq", "--rinex-version", "3.05"}, generated_log(o), &r, &obs));
  std::string systems;
  for (const auto& t : obs.types) systems += t.first;
  EXPECT_EQ("CEGJRS", systems);
  EXPECT_GE(r.signals.size(), 22u);
  EXPECT_GT(r.satellites.size(), 70u);
  size_t page = qc_html(r).size();
  printf("the page of a generated day of six systems, %zu signals: %zu bytes\n", r.signals.size(),
         page);
  EXPECT_LT(page, 1500000u);
}

TEST(Qc, GeneratedDayFindsEveryInjectedSlipAndTheNoise) {
  // A day at 30 s: code noise of 0.3 m (and nothing else in the combination,
  // whose phase noise is millimetres), then 1 m of multipath at the horizon on
  // top; slips of 5 to 50 cycles without flags besides the flagged ones.
  for (double multipath : {0.0, 1.0}) {
    LogOptions o;
    o.seconds = 86400, o.interval = 30, o.systems = "GRECJ", o.unflagged_slips = 0.0005;
    o.multipath = multipath;
    LogCounts made;
    QcReport r;
    ASSERT_NO_FATAL_FAILURE(report_of_generated(o, &made, &r));
    long found = 0;
    for (const char* code : {"G C1C", "R C1C", "E C1C", "C C1I", "J C1C"})
      found += signal(r, code[0], code + 2)->slips;
    EXPECT_EQ(made.slips, found) << multipath;
    EXPECT_GT(made.slips, 50);
    double mp = rms(*signal(r, 'G', "C1C"));
    if (multipath == 0) {
      EXPECT_NEAR(0.30, mp, 0.02);  // the generator's code noise, 0.3 m
    } else {
      EXPECT_GT(mp, 0.35);  // and the multipath on top
    }
    EXPECT_EQ(2880, position(r, "all").solved);
    EXPECT_GT(signal(r, 'E', "C1C")->expected, 10000);
  }
}

TEST(Qc, PlacedSlipClockJumpsAndAGapAreFoundAndNothingElse) {
  // Half a day at 30 s: the receiver steps its clock by 1 ms every hour (code and phase), no epochs
  // for 20 minutes from 40000 s, and a slip of 17 cycles on the L2 phase of one GPS satellite at
  // 20000 s; nothing else but the generator's rare flagged slips.
  for (bool code_only : {false, true}) {  // and a receiver whose phase runs through them
    LogOptions o;
    o.seconds = 43200, o.interval = 30, o.systems = "GREC", o.clock_jump_every = 3600;
    o.clock_jump_code_only = code_only, o.gap_start = 40000, o.gap_seconds = 1200;
    o.slip_at = 20000, o.slip_cycles = 17;
    LogCounts made;
    QcReport r;
    ASSERT_NO_FATAL_FAILURE(report_of_generated(o, &made, &r));
    ASSERT_EQ(11, made.clock_jumps);
    ASSERT_EQ(11u, r.clock_jumps.size());
    for (size_t i = 0; i < r.clock_jumps.size(); i++) {
      EXPECT_EQ("2026-01-08T" + std::string(i < 9 ? "0" : "") + std::to_string(i + 1) + ":00:00",
                qc_time_text(r.clock_jumps[i].t));
      EXPECT_EQ(1, r.clock_jumps[i].code_ms);
      EXPECT_EQ(code_only ? 0 : 1, r.clock_jumps[i].phase_ms);
    }
    ASSERT_EQ(1u, r.gaps.size());
    EXPECT_EQ("2026-01-08T11:06:30", qc_time_text(r.gaps[0].first));  // 39990 s, then 41220 s
    EXPECT_EQ("2026-01-08T11:27:00", qc_time_text(r.gaps[0].second));
    // The placed slip: at the first epoch from 20000 s, its size from the wide lane.
    char sat[8];
    snprintf(sat, sizeof sat, "G%02d", made.slip_satellite);
    bool placed = false;
    for (const QcSlip& k : r.slips)
      placed = placed || (k.sat == sat && k.code == "C2L" &&
                          qc_time_text(k.t) == "2026-01-08T05:33:30" && k.cycles == 17);
    EXPECT_TRUE(placed) << sat;
    // One signal of each system: as many slips as were made, the clock jumps none of them.
    long found = 0;
    for (const char* code : {"G C1C", "R C1C", "E C1C", "C C1I"})
      found += signal(r, code[0], code + 2)->slips;
    EXPECT_EQ(made.slips, found) << code_only;
  }
}

TEST(Qc, PageRendersInARealBrowser) {
  const char* kBrowser = "/usr/bin/chromium";
#if !defined(__x86_64__) || !defined(__linux__)
  GTEST_SKIP() << "the browser runs beside the Linux x86-64 build";
#endif
  if (!std::filesystem::exists(kBrowser)) GTEST_SKIP() << "no " << kBrowser;
  std::string sample = read_file(VLN_SAMPLE_LOG);
  QcReport r;
  ASSERT_NO_FATAL_FAILURE(report_of_run({"-dual_freq"}, Bytes(sample.begin(), sample.end()), &r));
  std::string page = VLN_BUILD_DIR "/qc_sample.html";
  FILE* f = fopen(page.c_str(), "wb");
  std::string html = qc_html(r);
  fwrite(html.data(), 1, html.size(), f);
  fclose(f);
  std::string flags = " --headless --no-sandbox --disable-gpu --enable-logging=stderr --v=0 ";
  std::string dom = VLN_BUILD_DIR "/qc_sample_dom.html", log = VLN_BUILD_DIR "/qc_browser.log";
  ASSERT_EQ(
      0,
      std::system(
          (kBrowser + flags + "--dump-dom file://" + page + " > " + dom + " 2> " + log).c_str()));
  ASSERT_EQ(0, std::system((kBrowser + flags +
                            "--window-size=1000,2600 --screenshot=" VLN_BUILD_DIR
                            "/qc_sample.png file://" +
                            page + " > /dev/null 2>> " + log)
                               .c_str()));
  std::string rendered = read_file(dom), console = read_file(log);
  EXPECT_EQ(std::string::npos, console.find("CONSOLE")) << console;
  auto count = [&](const std::string& needle) {
    long n = 0;
    for (size_t at = rendered.find(needle); at != std::string::npos;
         at = rendered.find(needle, at + 1))
      n++;
    return n;
  };
  EXPECT_EQ((long)r.tracks.size(), count("class=\"track\""));  // one per satellite seen
  EXPECT_EQ((long)r.runs.size(), count("class=\"timeline-sat\""));
  EXPECT_EQ(1, count("class=\"chart sky\""));
  EXPECT_EQ((long)r.cn0_el.size(), count("class=\"chart cn0\""));
  EXPECT_EQ((long)r.mp_el.size(), count("class=\"chart mp\""));
  long solved = 0;  // all systems, and each system solved alone
  for (const QcPosition& p : r.positions) solved += !p.t.empty();
  EXPECT_EQ(solved, count("class=\"chart enu\""));
  EXPECT_EQ(1, count("class=\"chart horizontal\""));
  EXPECT_TRUE(std::filesystem::exists(VLN_BUILD_DIR "/qc_sample.png"));
}
