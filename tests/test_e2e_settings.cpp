// End-to-end: station metadata, epoch window and interval, output folder and
// long names through the real program. Header lines are written out from the
// RINEX 3 columns; thinned files are compared with the full run's epochs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

#include "generated_logs.h"
#include "log_generator.h"
#include "meas_frames.h"
#include "obs_reader.h"
#include "runner.h"
#include "settings.h"

#ifdef _WIN32
#define timegm _mkgmtime  // the C runtime's name for it
#endif

using namespace vlntest;

namespace {

std::string pad(const std::string& text, size_t width) {
  return text + std::string(width - text.size(), ' ');
}

// Text settings at their full field widths, each of its own letter, so that a
// field cut short, shifted or swapped shows.
struct TextSetting {
  const char* option;
  size_t width;
  char letter;
  std::string value() const { return std::string(width, letter); }
};
const TextSetting kTexts[] = {{"--marker-name", 60, 'N'},    {"--marker-number", 20, 'U'},
                              {"--marker-type", 20, 'T'},    {"--observer", 20, 'O'},
                              {"--agency", 40, 'A'},         {"--receiver-number", 20, 'R'},
                              {"--receiver-type", 20, 'Y'},  {"--receiver-version", 20, 'V'},
                              {"--antenna-number", 20, 'M'}, {"--antenna-type", 15, 'P'},
                              {"--radome", 4, 'D'},          {"--comment", 60, 'C'}};
std::string full(char letter, size_t width) { return std::string(width, letter); }

std::vector<std::string> metadata_options() {
  std::vector<std::string> o;
  for (const TextSetting& t : kTexts) o.insert(o.end(), {t.option, t.value()});
  o.insert(o.end(), {"--comment", "Pillar #2 north", "--antenna-delta", "1.512,0.1,-0.2",
                     "--position", "1234567.12346,-7654321.5,0.001", "--interval", "0.5"});
  return o;
}

// The same settings as a station file written on Windows with a byte-order mark, comments, blank
// lines, blanks around keys and values, a value in quotes and switches that are off.
std::string station_file() {
  std::string f = "\xEF\xBB\xBF# station file\r\n\r\n";
  for (const TextSetting& t : kTexts) f += std::string(t.option + 2) + " = " + t.value() + "  \r\n";
  return f +
         "   # indented comment\r\ncomment=\"Pillar #2 north\"\r\nantenna-delta = "
         "1.512,0.1,-0.2\r\n"
         "position = 1234567.12346,-7654321.5,0.001\r\n  interval  = 0.5\r\ncrx = no\r\ngzip = "
         "no\r\n";
}

Bytes generated(double seconds, int rate_hz) {
  LogOptions o;
  o.seconds = seconds, o.rate_hz = rate_hz, o.satellites = 6, o.navigation = false;
  return generated_log(o);
}

std::vector<std::string> args(std::vector<std::string> first,
                              const std::vector<std::string>& more) {
  first.insert(first.end(), more.begin(), more.end());
  return first;
}

// Epoch blocks by their epoch line's time field.
std::map<std::string, std::string> epochs_by_time(const std::string& obs) {
  std::map<std::string, std::string> blocks;
  std::string current;
  for (const std::string& line : lines(obs.substr(obs.find("END OF HEADER") + 21))) {
    if (line[0] == '>') current = line.substr(2, 27);
    blocks[current] += line + "\n";
  }
  return blocks;
}

}  // namespace

TEST(Settings, MetadataLandsInItsColumnsFromOptionsAndStationFile) {
  auto by_options =
      run_program(args({"log.dat", "G"}, metadata_options()), "log.dat", sample_log());
  ASSERT_EQ(1, by_options.status) << by_options.out;
  auto obs = lines(by_options.obs);
  const std::vector<std::string> want = {
      pad("Test version 0.1", 60) + "COMMENT             ",
      full('C', 60) + "COMMENT             ",
      pad("Pillar #2 north", 60) + "COMMENT             ",
      full('N', 60) + "MARKER NAME         ",
      pad(full('U', 20), 60) + "MARKER NUMBER       ",
      pad(full('T', 20), 60) + "MARKER TYPE         ",
      full('O', 20) + full('A', 40) + "OBSERVER / AGENCY   ",
      full('R', 20) + full('Y', 20) + full('V', 20) + "REC # / TYPE / VERS ",
      full('M', 20) + full('P', 15) + " " + full('D', 4) + pad("", 20) + "ANT # / TYPE        ",
      "  1234567.1235 -7654321.5000        0.0010" + pad("", 18) + "APPROX POSITION XYZ ",
      "        1.5120        0.1000       -0.2000" + pad("", 18) + "ANTENNA: DELTA H/E/N",
      "G    4 C1C L1C D1C S1C" + pad("", 38) + "SYS / # / OBS TYPES ",
      "     1.000" + pad("", 50) + "INTERVAL            ",  // the spacing written, not 0.5
      "  2026     1     8     0     0    0.0000000     GPS         TIME OF FIRST OBS   ",
      "  2026     1     8     0     2   59.0000000     GPS         TIME OF LAST OBS    "};
  ASSERT_GT(obs.size(), want.size() + 2);
  for (size_t i = 0; i < want.size(); i++) EXPECT_EQ(want[i], obs[i + 2]) << "line " << i + 3;
  auto std3 = run_program(args({"log.dat", "G", "--rinex-version", "3.05"}, metadata_options()),
                          "log.dat", sample_log());  // a standard writer's lines: the same
  for (size_t i = 1; i < 11; i++) EXPECT_TRUE(Holds(std3.obs, want[i] + "\n"));

  ExtraFiles file = {{"algo.station", station_file()}};
  auto by_file = run_program({"log.dat", "--station-file", "algo.station", "G"}, "log.dat",
                             sample_log(), {}, 0, file);
  EXPECT_EQ(by_options.obs, by_file.obs);

  // The command line wins; its comments replace the file's, an empty radome
  // the file's radome. A type given without any radome gets NONE.
  auto over = run_program({"log.dat", "G", "--station-file", "algo.station", "--marker-name", "G",
                           "--comment", "only", "--radome", "", "--antenna-type", "TRM59800.00"},
                          "log.dat", sample_log(), {}, 0, file);
  auto top = lines(over.obs);
  EXPECT_EQ(pad("only", 60) + "COMMENT             ", top[3]);
  EXPECT_EQ(pad("G", 60) + "MARKER NAME         ", top[4]);
  EXPECT_EQ(full('M', 20) + "TRM59800.00" + pad("", 29) + "ANT # / TYPE        ", top[9]);
  EXPECT_EQ("G    4 C1C L1C D1C S1C", top[12].substr(0, 22));  // "G" named the marker only
  // Other options alone leave the file's comments.
  auto named = run_program({"log.dat", "--station-file", "algo.station", "--marker-name", "G"},
                           "log.dat", sample_log(), {}, 0, file);
  EXPECT_EQ(pad("Pillar #2 north", 60) + "COMMENT             ", lines(named.obs)[4]);
  auto plain = run_program({"log.dat", "--antenna-type", "TRM59800.00"}, "log.dat", sample_log());
  const std::string antenna = pad("", 20) + "TRM59800.00     NONE" + pad("", 20) + "ANT # / TYPE";
  EXPECT_EQ(antenna + "        ", lines(plain.obs)[8]);
  // RINEX 2.11 has no MARKER TYPE line.
  auto std2 = run_program({"log.dat", "--rinex-version", "2.11", "--marker-type", "GEODETIC",
                           "--antenna-type", "TRM59800.00"},
                          "log.dat", sample_log());
  EXPECT_EQ(std::string::npos, std2.obs.find("MARKER TYPE"));
  EXPECT_TRUE(Holds(std2.obs, antenna));
}

TEST(Settings, BadValuesStopBeforeAnyFileIsTouched) {
  const ExtraFiles kFiles = {
      {"bad.station", "# comment\nmarker = ALGO\n"},
      {"noeq.station", "\xEF\xBB\xBFmarker-name ALGO\r\n"},
      {"long.station", "\n\nradome = ABCDE\n"},
      {"twice.station", "marker-name = A\ncomment = x\ncomment = y\nmarker-name = B\n"},
      {"typo.station", "rinex-verison = 3.05\n"}};
  struct Case {
    std::vector<std::string> options;
    const char* message;
  } const kCases[] = {
      {{"--antenna-type", "ABCDEFGHIJKLMNOP"},
       "Option --antenna-type: value longer than 15 characters"},
      {{"--observer", "Jos\xC3\xA9"},
       "Option --observer: value holds a character that is not printable ASCII"},
      {{"--position", "1,2"}, "Option --position: '1,2' is not three numbers separated by commas"},
      {{"--antenna-delta", "1,0x2,3"},
       "Option --antenna-delta: '1,0x2,3' is not three numbers separated by commas"},
      {{"--position", "1,2,-1e8"},
       "Option --position: -1e8 does not fit the header's field (at most 99999999.9999 m)"},
      {{"--start", "2100-02-29 00:00:00"},  // not a leap year in the Gregorian calendar
       "Option --start: '2100-02-29 00:00:00' is not a valid date and time"},
      {{"--station-id", "ALGOX0CAN"},
       "Option --station-id: 'ALGOX0CAN' is not a station ID of four letters or digits, a "
       "monument digit, a receiver digit and a three-letter country code (ALGO00CAN)"},
      {{"--start", "2026-13-01 00:00:00"},
       "Option --start: '2026-13-01 00:00:00' is not a valid date and time"},
      {{"--start", "2026-01-08 00:00:60"},
       "Option --start: '2026-01-08 00:00:60' is not a valid date and time"},
      {{"--end", "2026-01-08 00:60:00"},
       "Option --end: '2026-01-08 00:60:00' is not a valid date and time"},
      {{"--start", "2026/01/08 00:00:00"},
       "Option --start: '2026/01/08 00:00:00' is not a time YYYY-MM-DD HH:MM:SS (or "
       "YYYY-MM-DDTHH:MM:SS)"},
      {{"--start", "2026-01-08 00:00:10.5", "--end", "2026-01-08T00:00:10.5"},
       "Option --end: 2026-01-08T00:00:10.5 is not after --start 2026-01-08 00:00:10.5"},
      {{"--start", "2026-01-08 00:00:10", "--end", "2026-01-08T00:00:09"},
       "Option --end: 2026-01-08T00:00:09 is not after --start 2026-01-08 00:00:10"},
      {{"--interval", "0"}, "Option --interval: the interval must be positive"},
      {{"--interval", "-30"}, "Option --interval: the interval must be positive"},
      {{"--interval", "30s"}, "Option --interval: '30s' is not a number of seconds"},
      {{"--station-id", "ALGO00CAn"},
       "Option --station-id: 'ALGO00CAn' is not a station ID of four letters or digits, a "
       "monument digit, a receiver digit and a three-letter country code (ALGO00CAN)"},
      {{"--station-id", "AL-O0XCAN"},
       "Option --station-id: 'AL-O0XCAN' is not a station ID of four letters or digits, a "
       "monument digit, a receiver digit and a three-letter country code (ALGO00CAN)"},
      {{"--marker-name", "X", "--marker-nmae", "Y"},
       "Unknown option --marker-nmae (did you mean --marker-name?) (--help lists the options)"},
      {{"--marker-name", "X", "--crs", "Y"},
       "Unknown option --crs (did you mean --crx?) (--help lists the options)"},
      {{"--marker-name", "X", "--ab", "Y"}, "Unknown option --ab (--help lists the options)"},
      {{"--marker-name", "X", "--crxx", "Y"},  // a key held down
       "Unknown option --crxx (did you mean --crx?) (--help lists the options)"},
      {{"--rinex-version", "3.1"},
       "Option --rinex-version: '3.1' is not one of 2.11, 3.02, 3.03, 3.04, 3.05, 4.00"},
      {{"--long-names", "--rinex-version", "2.11"},
       "Option --long-names: RINEX 2.11 files have short names (ssssdddf.yyo); leave it out or "
       "write RINEX 3.02 or later"},
      {{"--station-file", "twice.station"},
       "Station file twice.station line 4: marker-name is given twice (first on line 1)"},
      {{"--station-file", "typo.station"},
       "Station file typo.station line 1: unknown setting 'rinex-verison' (did you mean "
       "rinex-version?)"},
      {{"G", "--observer"}, "Option --observer: missing value"},
      {{"--observer", "--agency", "A"}, "Option --observer: missing value"},
      {{"--station-file", "none.station"},
       "Station file none.station: cannot be read (No such file or directory)"},
#ifdef _WIN32
      {{"--station-file", "."}, "Station file .: cannot be read (Permission denied)"},
#else
      {{"--station-file", "."}, "Station file .: cannot be read (Is a directory)"},
#endif
      {{"--station-file", "bad.station"},
       "Station file bad.station line 2: unknown setting 'marker'"},
      {{"--station-file", "noeq.station"},
       "Station file noeq.station line 1: expected 'name = value'"},
      {{"--station-file", "long.station"},
       "Station file long.station line 3: radome: value longer than 4 characters"},
  };
  std::vector<Case> cases(std::begin(kCases), std::end(kCases));
  std::vector<std::string> too_long;  // every text one character over its field
  for (const TextSetting& t : kTexts)
    too_long.push_back(std::string("Option ") + t.option + ": value longer than " +
                       std::to_string(t.width) + " characters");
  for (size_t i = 0; i < too_long.size(); i++)
    cases.push_back({{kTexts[i].option, kTexts[i].value() + "X"}, too_long[i].c_str()});
  for (const Case& c : cases) {
    auto r = run_program(args({"log.dat"}, c.options), "log.dat", sample_log(), {}, 0, kFiles);
    EXPECT_EQ(3, r.status) << c.message;
    EXPECT_EQ(std::string(c.message) + "\n", r.out);
    EXPECT_TRUE(r.outputs.empty()) << c.message;
  }
  auto help = run_program({"--help"}, "", {});
  EXPECT_EQ(0, help.status);
  EXPECT_EQ(0u, help.out.find("Usage: vln_raw_to_rinex.exe raw_file <options>\n"));
  EXPECT_TRUE(Holds(help.out,
                    "\t--interval SECONDS - write epochs on multiples of this interval of "
                    "GPS time only; adds INTERVAL. Example: --interval 30.\n"));
}

// Every month's last day is a date and the day after it is not, as the C
// library's calendar has it, in a common and a leap year; 100 comments, not 101.
TEST(Settings, MonthEndsAndTheCommentLimit) {
  for (int year : {2023, 2024}) {
    for (int month = 1; month <= 12; month++) {
      tm last = {};
      last.tm_year = year - 1900, last.tm_mon = month, last.tm_mday = 0;  // next month's day 0
      timegm(&last);
      for (int day : {last.tm_mday, last.tm_mday + 1}) {
        char text[32];
        snprintf(text, sizeof text, "%04d-%02d-%02d 00:00:00", year, month, day);
        Settings s;
        EXPECT_EQ(day > last.tm_mday, !Settings_apply(&s, SET_START, text).empty()) << text;
      }
    }
  }
  Settings s;
  for (int i = 0; i < 100; i++) ASSERT_EQ("", Settings_apply(&s, SET_COMMENT, "c"));
  EXPECT_EQ("more than 100 comments", Settings_apply(&s, SET_COMMENT, "c"));
  // The ends of the other ranges: month 0 and 13, a grace (and a flush interval) of a day
  // and more, an interval of a day, the printable characters.
  const struct {
    int id;
    const char* value;
    bool good;
  } kEnds[] = {{SET_START, "2024-00-10 00:00:00", false},
               {SET_START, "2024-13-10 00:00:00", false},
               {SET_START, "2024-12-31 23:59:59", true},
               {SET_CLOSE_AFTER, "86400", true},
               {SET_CLOSE_AFTER, "86401", false},
               {SET_CLOSE_AFTER, "1", true},
               {SET_CLOSE_AFTER, "0.5", false},
               {SET_FLUSH, "0", true},
               {SET_FLUSH, "86400", true},
               {SET_FLUSH, "86400.5", false},
               {SET_FLUSH, "-1", false},
               {SET_INTERVAL, "86400", true},
               {SET_OBSERVER, " ~", true},  // printable ASCII from space to tilde
               {SET_OBSERVER, "\x7f", false},
               {SET_OBSERVER, "\x1f", false}};
  for (const auto& e : kEnds) {
    Settings t;
    EXPECT_EQ(e.good, Settings_apply(&t, e.id, e.value).empty()) << e.value;
  }
}

TEST(Settings, WindowAndIntervalKeepTheirEpochsAndEveryLossOfLock) {
  // 10 Hz epochs of one GPS satellite on two frequencies; loss of lock on L1
  // at 0.3 s and 1.7 s, on L2 at 1.0 s, events at 0.5 s and 1.5 s.
  Bytes log;
  for (int tenth = 0; tenth <= 20; tenth++) {
    uint16_t l1 = (tenth == 3 || tenth == 17) ? 0x08 : 0, l2 = tenth == 10 ? 0x08 : 0;
    append(&log, e5((uint8_t)tenth, 345600000 + 100 * tenth,
                    {{0x00, 3, 0x07, 45, 2e7 + tenth, 1000.0 + tenth, 1.0f, l1},
                     {0x20, 3, 0x07, 40, 3e7 + tenth, 2000.0 + tenth, 2.0f, l2}}));
    if (tenth == 5 || tenth == 15) append(&log, e9(345600.0 + tenth / 10.0));
  }
  // Epoch seconds as the file prints them: the fraction of the week's seconds
  // in double precision, summed with the whole seconds in single precision.
  auto epoch = [](int tenth, int flag, int count) {
    double t = 2400 * 604800.0 + (345600000 + 100 * tenth) / 1000.0;
    float sec = (float)(std::floor(t) - 2400 * 604800.0 - 345600) + (float)(t - std::floor(t));
    char b[80];
    snprintf(b, sizeof b, "> 2026  1  8  0  0%11.7f  %d%3d", (double)sec, flag, count);
    return std::string(b) + (flag == 0 ? std::string(21, ' ') : "");
  };
  auto record = [](int tenth, char lli1, char lli2) {
    return rec('G', 3, 2e7 + tenth, 1000.0 + tenth, lli1, 1.0, 45) +
           second(3e7 + tenth, 2000.0 + tenth, lli2, 2.0, 40);
  };
  std::vector<std::string> thinned = {epoch(0, 0, 1),  record(0, ' ', ' '),  epoch(5, 5, 0),
                                      epoch(10, 0, 1), record(10, '1', '1'), epoch(15, 5, 0),
                                      epoch(20, 0, 1), record(20, '1', ' ')};
  std::vector<std::string> window = {epoch(5, 0, 1), record(5, '1', ' '), epoch(5, 5, 0)};
  for (int tenth = 6; tenth < 15; tenth++) {
    window.push_back(epoch(tenth, 0, 1));
    window.push_back(record(tenth, ' ', tenth == 10 ? '1' : ' '));
  }
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> body;
    const char* console;
  } const kCases[] = {
      {{"--interval", "1"}, thinned, "Epochs written with the selection: 3 of 21\n"},
      {{"--start", "2026-01-08 00:00:00.5", "--end", "2026-01-08T00:00:01.5"},
       window,
       "Epochs written with the selection: 10 of 21\n"},
      {{"--start", "2026-12-31 23:59:59"},
       {},
       "Epochs written with the selection: 0 of 21\nNo epoch fell in the selection: the "
       "observation file holds its header only.\n"},
  };
  for (const Case& c : kCases) {
    auto r = run_program(args({"log.dat", "G", "-dual_freq"}, c.options), "log.dat", log);
    ASSERT_EQ(1, r.status);
    auto obs = lines(r.obs);
    auto end = std::find(obs.begin(), obs.end(), pad("", 60) + "END OF HEADER       ");
    ASSERT_NE(obs.end(), end);
    EXPECT_EQ(c.body, std::vector<std::string>(end + 1, obs.end())) << c.console;
    EXPECT_TRUE(Holds(r.out, c.console));
  }
  // The standard writer keeps each signal's loss of lock with its own
  // satellite: G01's and G03's (0.3 s and 1.7 s on L1, 1.0 s on L2) are on
  // their phases at 1 s and 2 s; G02 between them, tracked alike, has none.
  Bytes two;
  for (int tenth = 0; tenth <= 20; tenth++) {
    uint16_t l1 = (tenth == 3 || tenth == 17) ? 0x08 : 0, l2 = tenth == 10 ? 0x08 : 0;
    std::vector<Meas> sats;
    for (uint8_t sv = 1; sv <= 3; sv++) {
      uint16_t a = sv == 2 ? 0 : l1, b = sv == 2 ? 0 : l2;
      sats.push_back({0x00, sv, 0x07, 45, 2e7 + tenth, 1000.0 + tenth, 1.0f, a});
      sats.push_back({0x20, sv, 0x07, 40, 3e7 + tenth, 2000.0 + tenth, 2.0f, b});
    }
    append(&two, e5((uint8_t)tenth, 345600000 + 100 * tenth, sats));
  }
  auto r = run_program({"log.dat", "G", "-dual_freq", "--rinex-version", "3.05", "--interval", "1"},
                       "log.dat", two);
  ObsFile f;
  std::string error;
  ASSERT_TRUE(read_obs_text(r.obs, "std", &f, &error)) << error;
  ASSERT_EQ(3u, f.epochs.size());
  const std::vector<std::string>& types = f.types['G'];
  for (size_t e = 0; e < 3; e++)
    for (int s = 0; s < 3; s++) {
      const ObsSat& sat = f.sats[(size_t)f.epochs[e].first_sat + (size_t)s];
      for (size_t k = 0; k < types.size(); k++) {
        bool l1 = types[k] == "L1C", l2 = types[k][0] == 'L' && types[k][1] == '2';
        int want = sat.prn != 2 && ((e > 0 && l1) || (e == 1 && l2)) ? 1 : 0;
        EXPECT_EQ(want, f.lli[sat.first_value + k])
            << "epoch " << e << " G0" << sat.prn << " " << types[k];
      }
    }
}

TEST(Settings, ThinnedGeneratedLogKeepsTheGridEpochsUnchanged) {
  Bytes log = generated(65, 10);
  auto full = epochs_by_time(run_program({"log.dat", "-dual_freq"}, "log.dat", log).obs);
  ASSERT_EQ(651u, full.size());  // and one event
  for (int interval : {1, 30}) {
    auto r = run_program({"log.dat", "-dual_freq", "--interval", std::to_string(interval)},
                         "log.dat", log);
    auto thinned = epochs_by_time(r.obs);
    std::map<std::string, std::string> want;  // event lines are kept whatever their time
    for (const auto& block : full)
      if (block.second.compare(29, 3, "  5") == 0) want.insert(block);
    for (int s = 0; s < 65; s += interval) {
      char key[64];
      snprintf(key, sizeof key, "2026  1  8  0 %2d%11.7f", s / 60, (double)(s % 60));
      want[key] = full[key];
    }
    EXPECT_EQ(want, thinned) << interval;
  }
}

TEST(Settings, LongNamesAndOutputFolder) {
  struct Case {
    std::vector<std::string> options;
    int log_kind;  // 0 the sample, 1 a generated hour at 10 Hz, 2 no epoch, 3 one epoch
    const char* obs_name;
    const char* nav_name;
    const char* log = "log.dat";  // in a folder: only its file name counts with --output-dir
  } const kCases[] = {
      {{"--long-names"},
       0,
       "XXXX00XXX_R_20260080000_03M_01S_MO.rnx",
       "XXXX00XXX_R_20260080000_03M_MN.rnx"},
      {{"R", "--long-names", "--marker-name", "ALGO00CAN", "--output-dir", "out/rnx/"},
       0,
       "out/rnx/ALGO00CAN_R_20260080000_03M_01S_RO.rnx",
       "out/rnx/ALGO00CAN_R_20260080000_03M_RN.rnx"},
      {{"--output-dir", "out", "G"}, 0, "out/log.obs", "out/log.nav", "raw.v1/log.dat"},
      {{"--long-names", "--marker-name", "a0z9 x"},
       1,
       "A0Z900XXX_R_20260080000_01H_10Z_MO.rnx",
       "A0Z900XXX_R_20260080000_01H_MN.rnx"},
      {{"--long-names", "--interval", "0.01"},  // 100 Hz: no two-digit frequency
       2,
       "XXXX00XXX_R_19800060000_00U_00U_MO.rnx",  // nothing known: the GPS epoch, unspecified
       "XXXX00XXX_R_19800060000_00U_MN.rnx"},
      {{"--long-names", "--interval", "99", "--start", "1980-01-06 00:00:00", "--end",
        "1980-04-14 00:00:00"},  // from the GPS epoch; the largest counts of two digits
       2,
       "XXXX00XXX_R_19800060000_99D_99S_MO.rnx",
       "XXXX00XXX_R_19800060000_99D_MN.rnx"},
      {{"--long-names", "--start", "2026-01-08 00:00:00", "--end", "2026-01-08 23:00:00"},
       2,  // the longest span in hours
       "XXXX00XXX_R_20260080000_23H_00U_MO.rnx",
       "XXXX00XXX_R_20260080000_23H_MN.rnx"},
      {{"--long-names", "--start", "1980-01-06 00:00:00", "--end", "1980-04-15 00:00:00"},
       2,  // a hundred days: in years, one begun
       "XXXX00XXX_R_19800060000_01Y_00U_MO.rnx",
       "XXXX00XXX_R_19800060000_01Y_MN.rnx"},
      {{"--long-names", "--interval", "1", "G"},  // one epoch: the interval asked for
       3,
       "XXXX00XXX_R_20260080000_01M_01S_GO.rnx",
       "XXXX00XXX_R_20260080000_01M_GN.rnx"},
      {{"--long-names", "--station-id", "BJFS01CHN", "--interval", "30", "--start",
        "2026-01-08 00:15:00", "--end", "2026-01-09 00:15:00"},
       1,
       "BJFS01CHN_R_20260080015_01D_30S_MO.rnx",
       "BJFS01CHN_R_20260080015_01D_MN.rnx"},
  };
  const Bytes kLogs[4] = {sample_log(), generated(3600, 10), Bytes(),
                          e5(0, 345600000, {{0x00, 3, 7, 45, 2e7, 1e8, 1.0f, 0}})};
  for (const Case& c : kCases) {
    auto r = run_program(args({c.log}, c.options), c.log, kLogs[c.log_kind]);
    ASSERT_EQ(1, r.status) << c.obs_name;
    ASSERT_EQ(2u, r.outputs.size()) << c.obs_name;
    EXPECT_EQ(1u, r.outputs.count(c.obs_name)) << r.outputs.begin()->first;
    EXPECT_EQ(0u, r.outputs[c.nav_name].find("     3.02           N: GNSS NAV DATA"));
  }
  // A file where the folder would be: nothing converted, the reason named.
  auto blocked = run_program({"log.dat", "--output-dir", "log.dat/out"}, "log.dat", kLogs[3]);
  EXPECT_EQ(0, blocked.status);
  EXPECT_TRUE(blocked.outputs.empty());
  EXPECT_EQ(0u, blocked.out.find("RINEX output folder log.dat/out cannot be created: "));
}
