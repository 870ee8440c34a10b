// vln_rinex: a day's hourly files (and overlapping pieces) spliced into the
// day's conversion, real files of other makers converted to every version and
// back, the check on damaged copies of real files and on the clean ones, the
// service presets, bad input, and a network's files spliced with GNU parallel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "code_map.h"
#include "expect_format.h"
#include "generated_logs.h"
#include "log_generator.h"
#include "obs_reader.h"
#include "rinex_check.h"
#include "rinex_text.h"
#include "runner.h"

using namespace vlntest;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

const std::string kTool = VLN_RINEX_PATH;

std::string body_of(const std::string& text) {
  size_t end = text.find("END OF HEADER");
  return end == std::string::npos ? "" : text.substr(text.find('\n', end) + 1);
}

// Writes a run's outputs into a folder; returns the paths, sorted.
std::vector<std::string> write_outputs(const RunResult& r, const std::string& dir,
                                       const std::string& part) {
  fs::create_directories(dir);
  std::vector<std::string> paths;
  for (const auto& f : r.outputs)
    if (f.first.find(part) != std::string::npos) {
      paths.push_back(dir + "/" + f.first);
      std::ofstream(paths.back(), std::ios::binary) << f.second;
    }
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string joined(const std::vector<std::string>& v) {
  std::string out;
  for (const std::string& s : v) out += " " + s;
  return out;
}

// The navigation records of a file's text, each once (lines without trailing blanks).
std::set<std::string> nav_records(const std::string& text) {
  std::set<std::string> out;
  std::string record, line;
  std::istringstream in(body_of(text));
  while (std::getline(in, line)) {
    line.erase(line.find_last_not_of(' ') + 1);
    if (!line.empty() && line[0] != ' ' && !record.empty()) out.insert(record), record.clear();
    record += line + "\n";
  }
  if (!record.empty()) out.insert(record);
  return out;
}

// The ephemeris records of a navigation file's text, whatever its layout:
// each its satellite number and epoch (two-digit year), then every number
// field in its order; ION, STO and EOP records of RINEX 4 left out.
std::multiset<std::vector<double>> nav_values(const std::string& text) {
  std::multiset<std::vector<double>> out;
  std::vector<double> record;
  bool v2 = text.size() > 5 && text[5] == '2', skip = false;
  const std::regex number("[-+]?[0-9]*\\.[0-9]+[DdEe][-+][0-9]+");
  std::istringstream in(body_of(text));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '>') {
      skip = line.compare(0, 5, "> EPH") != 0 && !line.empty();
      continue;
    }
    bool first = v2 ? line.size() > 1 && line[1] != ' ' : line[0] != ' ';
    if (first) {
      if (!record.empty()) out.insert(record);
      record.clear();
      if (skip) continue;
      std::istringstream head(line.substr(v2 ? 0 : 1, v2 ? 22 : 22));
      double v;
      while (head >> v) record.push_back(record.size() == 1 ? std::fmod(v, 100) : v);
    }
    if (skip) continue;
    std::string fields = line.substr(first ? (v2 ? 22 : 23) : 0);
    for (std::sregex_iterator it(fields.begin(), fields.end(), number), end; it != end; ++it) {
      std::string f = it->str();
      std::replace_if(
          f.begin(), f.end(), [](char c) { return c == 'D' || c == 'd'; }, 'E');
      record.push_back(std::stod(f));
    }
  }
  if (!record.empty()) out.insert(record);
  return out;
}

}  // namespace

// The 24 hourly files of a generated day, Compact and gzip, splice into the file of the day
// converted in one run, value for value and with its events; two pieces that overlap by an hour do
// too; the hourly navigation files merge into the day's records, each once.
TEST(RinexTool, TheHourlyFilesOfADaySpliceIntoTheDay) {
  VLN_SKIP_UNLESS_TOOLS_RUN_HERE();
  LogOptions o;
  o.seconds = 86400;
  o.interval = 30, o.satellites = 12;
  Bytes log = generated_log(o);
  const std::vector<std::string> std305 = {"log.dat", "-dual_freq", "--rinex-version", "3.05"};
  auto day = run_program(std305, "log.dat", log);
  std::vector<std::string> args = std305;
  args.insert(args.end(), {"--split", "1h", "--crx", "--gzip"});
  auto hours = run_program(args, "log.dat", log);
  std::string dir = temp_path("");
  std::vector<std::string> obs = write_outputs(hours, dir + "/hours", "_MO.crx.gz");
  std::vector<std::string> nav = write_outputs(hours, dir + "/hours", "_MN.rnx.gz");
  ASSERT_EQ(24u, obs.size());
  std::reverse(obs.begin(), obs.end());  // in any order
  CommandResult r = run_command(kTool + " splice" + joined(obs) + " -o " + dir + "/day.rnx");
  ASSERT_EQ(0, r.status) << r.out;
  long events = 0;  // the day's special records, as the one run wrote them
  for (const std::string& l : lines(day.obs)) events += l.size() > 31 && l[0] == '>' && l[31] > '1';
  EXPECT_EQ(dir + "/day.rnx: 2880 epochs, " + std::to_string(events) +
                " special records (events, header records)\n",
            r.out);
  EXPECT_EQ("", first_difference(body_of(day.obs), body_of(read_file(dir + "/day.rnx"))));
  r = run_command(kTool + " splice" + joined(nav) + " -o " + dir + "/day.nav");
  ASSERT_EQ(0, r.status) << r.out;
  EXPECT_EQ(nav_records(day.nav), nav_records(read_file(dir + "/day.nav")));
  // Two pieces of the day, 00-13 h and 12-24 h, the second as a restart's part.
  args = std305;
  args.insert(args.end(), {"--end", "2026-01-08 13:00:00"});
  write_outputs(run_program(args, "log.dat", log), dir + "/a", ".obs");
  args = std305;
  args.insert(args.end(), {"--start", "2026-01-08 12:00:00"});
  write_outputs(run_program(args, "log.dat", log), dir + "/b", ".obs");
  fs::rename(dir + "/b/log.obs", dir + "/b/log.part2.obs");
  r = run_command(kTool + " splice " + dir + "/b/log.part2.obs " + dir + "/a/log.obs -o " + dir +
                  "/both.rnx");
  ASSERT_EQ(0, r.status) << r.out;
  EXPECT_TRUE(Holds(r.out, "120 epochs in more than one file, written once"));
  EXPECT_EQ("", first_difference(body_of(day.obs), body_of(read_file(dir + "/both.rnx"))));
  fs::remove_all(dir);
}

namespace {

// Values and loss-of-lock digits a converted file holds, each against the
// original's value of the code it came from (the first of the original's
// codes that maps to it); "" when every one agrees, else the first that does not.
std::string same_values(const ObsFile& original, const ObsFile& converted, int version) {
  int from = original.version < 3 ? 305 : Code_version(original.version);
  long compared = 0;
  for (size_t e = 0; e < converted.epochs.size(); e++) {
    const ObsEpoch& ce = converted.epochs[e];
    const ObsEpoch& oe = original.epochs[e];
    if (std::fabs(ce.t - oe.t) > 1e-6) return "epoch " + std::to_string(e) + " at another time";
    for (int i = 0; i < ce.nsat; i++) {
      const ObsSat& cs = converted.sats[(size_t)(ce.first_sat + i)];
      const ObsSat* os = nullptr;
      for (int j = 0; j < oe.nsat; j++) {
        const ObsSat& s = original.sats[(size_t)(oe.first_sat + j)];
        if (s.sys == cs.sys && s.prn == cs.prn) os = &s;
      }
      if (os == nullptr) return "a satellite the original does not have";
      const auto& ct = converted.types.at(cs.sys);
      const auto& ot = original.types.at(os->sys);
      for (size_t k = 0; k < ct.size(); k++) {
        size_t o = ot.size();
        for (size_t m = 0; m < ot.size() && o == ot.size(); m++) {
          std::string two = Code_to_rinex2(cs.sys, ct[k]);
          bool maps = version == 211 ? !two.empty() && Code_to_rinex2(cs.sys, ot[m]) == two
                                     : Code_between(cs.sys, ot[m], from, version) == ct[k];
          if (maps) o = m;
        }
        double b = converted.values[cs.first_value + k];
        if (o == ot.size()) {  // RINEX 2.11's one list: another system's type, blank here
          if (!std::isnan(b)) return std::string(1, cs.sys) + " " + ct[k] + ": from no code";
          continue;
        }
        double a = original.values[os->first_value + o];
        unsigned char la = original.lli[os->first_value + o],
                      lb = converted.lli[cs.first_value + k];
        if (std::isnan(a) != std::isnan(b) || (!std::isnan(a) && std::fabs(a - b) > 0.0005) ||
            (!std::isnan(a) && la != lb))
          return std::string(1, cs.sys) + std::to_string(cs.prn) + " " + ct[k] + " epoch " +
                 std::to_string(e) + ": " + std::to_string(a) + " against " + std::to_string(b);
        compared++;
      }
    }
  }
  return compared > 0 ? "" : "nothing compared";
}

}  // namespace

// Real files of other makers, converted to each generation and back: every value and loss-of-lock
// digit both versions hold is kept (read back by the readers, and the Compact form expanded by the
// Compact RINEX decoder gives the plain form's records); each converted file passes the check.
TEST(RinexTool, RealFilesConvertToEveryVersionAndBack) {
  VLN_SKIP_UNLESS_TOOLS_RUN_HERE();
  if (!fs::exists(fs::u8path(VLN_SHARED_DATA))) GTEST_SKIP() << "no " << VLN_SHARED_DATA;
  const std::string d = VLN_SHARED_DATA "/";
  const struct {
    std::string file, version;
  } kFiles[] = {{d + "crx/NYA100NOR_S_20241240000_02H_30S_MO.crx", "3.05"},
                {d + "crx/KMS300DNK_R_20221591000_01H_30S_MO.crx", "4.00"},
                {d + "rinex2/AJAC3550.21O", "2.11"},
                {d + "rinex2/delf0010.21o", "2.11"}};
  std::string dir = temp_path("");
  fs::create_directories(dir);
  for (const auto& f : kFiles) {
    ObsFile original;
    std::string error;
    ASSERT_TRUE(read_obs_file(f.file, &original, &error)) << error;
    for (const char* v : {"2.11", "3.02", "4.00"}) {
      int version = Code_version(atof(v));
      std::string there = dir + "/there.rnx", back = dir + "/back.rnx", crx = dir + "/there.crx";
      CommandResult r =
          run_command(kTool + " convert " + f.file + " -o " + there + " --rinex-version " + v);
      ASSERT_EQ(0, r.status) << f.file << " " << v << "\n" << r.out;
      r = run_command(kTool + " convert " + f.file + " --crx -o " + crx + " --rinex-version " + v);
      ASSERT_EQ(0, r.status) << r.out;
      r = run_command(kTool + " convert " + there + " -o " + back + " --rinex-version " +
                      f.version);
      ASSERT_EQ(0, r.status) << r.out;
      for (const std::string& path : {there, crx, back})
        EXPECT_EQ(0, Check_file(path, CheckRules{}, {}).status())
            << f.file << " " << v << " " << path;
      ObsFile converted, returned;
      ASSERT_TRUE(read_obs_file(there, &converted, &error)) << error;
      ASSERT_TRUE(read_obs_file(back, &returned, &error)) << error;
      EXPECT_EQ("", same_values(original, converted, version)) << f.file << " to " << v;
      EXPECT_EQ("", same_values(converted, returned, Code_version(atof(f.version.c_str()))))
          << f.file << " to " << v << " and back";
      // The Compact form expands (by the Compact RINEX decoder) to the same values.
      std::string expanded;
      ObsFile compact;
      ASSERT_TRUE(crx_to_rinex(read_file(crx), &expanded, &error)) << error;
      ASSERT_TRUE(read_obs_text(expanded, crx, &compact, &error)) << error;
      EXPECT_EQ("", same_values(converted, compact, version)) << f.file << " " << v;
    }
  }
  fs::remove_all(dir);
}

// A receiver file with NavIC satellites and 36 BeiDou types (more than earlier Compact RINEX
// writers kept per system), and loss-of-lock and strength digits: every value, written as RINEX and
// as Compact RINEX, reads back as the file gave it.
TEST(RinexTool, EverySystemAndTypeOfAFileIsKept) {
  VLN_SKIP_UNLESS_TOOLS_RUN_HERE();
  const std::string kBands[9] = {"2I", "7I", "6I", "1P", "5P", "7D", "8P", "1D", "5D"};
  std::map<char, std::vector<std::string>> types = {
      {'G', {"C1C", "L1C"}}, {'C', {}}, {'I', {"C5A", "L5A", "S5A"}}};
  for (const std::string& band : kBands)
    for (char kind : {'C', 'L', 'D', 'S'}) types['C'].push_back(kind + band);
  std::string text =
      header_line("     3.04           OBSERVATION DATA    M", "RINEX VERSION / TYPE") +
      header_line("TEST", "MARKER NAME");
  for (const auto& t : types)
    for (size_t i = 0; i < t.second.size(); i += 13) {
      char head[8];
      snprintf(head, sizeof head, "%c  %3d", i == 0 ? t.first : ' ', (int)t.second.size());
      std::string line = i == 0 ? head : "      ";
      for (size_t k = i; k < t.second.size() && k < i + 13; k++) line += " " + t.second[k];
      text += header_line(line, "SYS / # / OBS TYPES");
    }
  const std::string kEmpty = "> 2024 05 03 00 00  0.0000000  0  0\n";  // no satellite yet
  text += header_line("  2024     5     3     0     0    0.0000000     GPS", "TIME OF FIRST OBS") +
          header_line("", "END OF HEADER") + kEmpty;
  // Value k of satellite s in epoch e, with a loss-of-lock digit on every
  // phase of the first epoch and a strength digit on every value.
  auto value = [](int e, int s, int k) { return 20000000.0 + 1000.125 * k + 37.5 * s + 0.25 * e; };
  const std::pair<char, int> kSats[] = {{'G', 5}, {'C', 19}, {'I', 2}, {'I', 10}};
  // A header record between the epochs, without a time of its own ('>', blanks, flag in column 32).
  const std::string kNote = ">" + std::string(30, ' ') + "4  1\n" + header_line("NOTE", "COMMENT");
  for (int e = 0; e < 3; e++) {
    char line[64];
    if (e == 1) text += kNote;
    snprintf(line, sizeof line, "> 2024 05 03 00 %02d  0.0000000  0  4", e + 1);
    text += std::string(line) + "\n";
    for (int s = 0; s < 4; s++) {
      snprintf(line, sizeof line, "%c%02d", kSats[s].first, kSats[s].second);
      std::string record = line;
      for (size_t k = 0; k < types[kSats[s].first].size(); k++) {
        snprintf(line, sizeof line, "%14.3f%c%d", value(e, s, (int)k),
                 e == 0 && types[kSats[s].first][k][0] == 'L' ? '1' : ' ', 5 + s);
        record += line;
      }
      text += record + "\n";
    }
  }
  std::string dir = temp_path("");
  fs::create_directories(dir);
  std::ofstream(dir + "/in.rnx", std::ios::binary) << text;
  for (const char* form : {"", " --crx"}) {
    std::string out = dir + "/out" + (form[0] ? ".crx" : ".rnx");
    CommandResult r = run_command(kTool + " convert " + dir + "/in.rnx -o " + out +
                                  " --rinex-version 3.05" + form);
    ASSERT_EQ(0, r.status) << r.out;
    std::string written = read_file(out), error;
    if (form[0]) {
      ASSERT_TRUE(crx_to_rinex(read_file(out), &written, &error)) << error;
    }
    EXPECT_TRUE(Holds(written, "\n" + kNote)) << form;
    EXPECT_TRUE(Holds(read_file(out), "END OF HEADER\n" + kEmpty)) << form;  // no blanks after
    ObsFile f;
    ASSERT_TRUE(read_obs_text(written, out, &f, &error)) << error;
    ASSERT_EQ(4u, f.epochs.size()) << form;
    ASSERT_EQ(36u, f.types['C'].size()) << form;
    for (int e = 0; e < 3; e++)
      for (int s = 0; s < 4; s++) {
        const ObsSat& sat = f.sats[(size_t)(f.epochs[(size_t)e + 1].first_sat + s)];
        ASSERT_EQ(kSats[s], std::make_pair(sat.sys, sat.prn)) << form;
        for (size_t k = 0; k < types[sat.sys].size(); k++) {
          size_t at = sat.first_value + k;
          std::string where = std::string(form) + " epoch " + std::to_string(e) + " " + sat.sys +
                              std::to_string(sat.prn) + " " + types[sat.sys][k];
          EXPECT_EQ(value(e, s, (int)k), f.values[at]) << where;
          EXPECT_EQ(e == 0 && types[sat.sys][k][0] == 'L' ? 1 : 0, f.lli[at]) << where;
          EXPECT_EQ(5 + s, f.ssi[at]) << where;
        }
      }
  }
  fs::remove_all(dir);
}

// Real navigation files of four makers taken to another version and back give every ephemeris
// record's values as the file had them (RINEX 4's records of newer messages aside, which no older
// version holds), and each file written passes the check (a GLONASS record of 3.04 has four lines,
// so its fifth line's values are gone once it went through 3.04).
TEST(RinexTool, RealNavigationFilesConvertThereAndBack) {
  VLN_SKIP_UNLESS_TOOLS_RUN_HERE();
  if (!fs::exists(fs::u8path(VLN_SHARED_DATA))) GTEST_SKIP() << "no " << VLN_SHARED_DATA;
  const std::string d = VLN_SHARED_DATA "/";
  const struct {
    std::string file, there, back;
    bool values_kept;
  } kFiles[] = {{d + "nav4/KMS300DNK_R_20221591000_01H_MN.rnx.gz", "3.05", "4.00", true},
                {d + "nav4/KMS300DNK_R_20221591000_01H_MN.rnx.gz", "3.04", "4.00", false},
                {d + "station-day/NYA100NOR_S_20241240000_01D_GN.rnx.gz", "4.00", "3.05", true},
                {d + "rinex2/ijmu3650.21n.gz", "3.04", "2.11", true},
                {d + "rinex2/amel0010.21g", "4.00", "2.11", true}};
  std::string dir = temp_path("");
  fs::create_directories(dir);
  for (const auto& f : kFiles) {
    std::string there = dir + "/there.rnx", back = dir + "/back.rnx", original;
    CommandResult r =
        run_command(kTool + " splice " + f.file + " -o " + there + " --rinex-version " + f.there);
    ASSERT_EQ(0, r.status) << f.file << "\n" << r.out;
    r = run_command(kTool + " splice " + there + " -o " + back + " --rinex-version " + f.back);
    ASSERT_EQ(0, r.status) << f.file << "\n" << r.out;
    for (const std::string& path : {there, back})
      EXPECT_EQ(0, Check_file(path, CheckRules{}, {}).status()) << f.file << " " << path;
    if (!f.values_kept) continue;
    std::string error;
    ASSERT_TRUE(read_rinex_text(f.file, &original, &error)) << error;
    auto want = nav_values(original);
    EXPECT_GE(want.size(), 6u) << f.file;
    EXPECT_TRUE(want == nav_values(read_file(back))) << f.file << " " << f.there;
  }
  fs::remove_all(dir);
}

// Damaged copies of a real file, one fault each: the check names it with its
// line (lines counted as in the file); the clean real files of every maker
// and version, observation and navigation, get no finding at all.
TEST(RinexTool, CheckFindsEachFaultAndNothingInCleanFiles) {
  if (!fs::exists(fs::u8path(VLN_SHARED_DATA))) GTEST_SKIP() << "no " << VLN_SHARED_DATA;
  const std::string d = VLN_SHARED_DATA "/";
  std::vector<std::string> clean;
  for (const char* folder : {"crx", "rinex2", "station-day", "nav4"})
    for (const auto& e : fs::directory_iterator(fs::u8path(d + folder)))
      if (e.is_regular_file()) clean.push_back(e.path().u8string());
  ASSERT_GT(clean.size(), 30u);
  for (const std::string& f : clean) {
    CheckReport r = Check_file(f, CheckRules{}, {});
    EXPECT_EQ(0u, r.findings.size()) << f << "\n" << Check_text(r);
  }
  Lines nya = lines(read_file(d + "crx/NYA100NOR_S_20241240000_02H_30S_MO.rnx"));
  Lines delf = lines(read_file(d + "rinex2/delf0010.21o"));
  ASSERT_EQ("> 2024  5  3  0  0  0.0000000  0 36", nya[42].substr(0, 35));  // line 43
  auto at = [](const Lines& l, const char* label) {
    for (size_t i = 0; i < l.size(); i++)
      if (l[i].find(label) != std::string::npos) return i;
    return l.size();
  };
  auto epoch = [](const Lines& l, size_t n) {  // where RINEX 3 epoch n (from 0) starts
    for (size_t i = 0; i < l.size(); i++)
      if (!l[i].empty() && l[i][0] == '>' && n-- == 0) return i;
    return l.size();
  };
  struct Damage {
    const char* what;
    Lines text;
    long line;
    std::string finding;
  };
  std::vector<Damage> cases;
  Lines t = nya;
  t[at(t, "MARKER NAME")].insert(0, " ");
  cases.push_back({"label shifted", t, 3, "the label 'MARKER NAME' starts in column 62, not 61"});
  t = nya;
  t.erase(t.begin() + (long)at(t, "END OF HEADER"));
  cases.push_back(
      {"no END OF HEADER", t, 42, "a record where the header goes on: no END OF HEADER before it"});
  t = nya;
  t[at(t, "ANT # / TYPE")].replace(20, 20, "ASH701073.1 SNOW    ");
  cases.push_back(
      {"radome in the type's columns", t, 7,
       "the antenna type 'ASH701073.1 SNOW' holds a blank: the radome belongs in columns 37-40"});
  t = nya;
  t[at(t, "SYS / # / OBS TYPES")].replace(7, 3, "C1Q");
  cases.push_back(
      {"code", t, 10,
       "'C1Q' is not an observation code of system " + t[9].substr(0, 1) + " in RINEX 3.05"});
  t = nya;
  Lines second(t.begin() + (long)epoch(t, 1), t.begin() + (long)epoch(t, 2));
  t.insert(t.begin() + (long)epoch(t, 2), second.begin(), second.end());
  cases.push_back({"epoch repeated", t, (long)epoch(t, 2) + 1,
                   "an epoch repeated (the same time as the epoch before it)"});
  t = nya;
  Lines third(t.begin() + (long)epoch(t, 2), t.begin() + (long)epoch(t, 3));
  t.erase(t.begin() + (long)epoch(t, 2), t.begin() + (long)epoch(t, 3));
  t.insert(t.begin() + (long)epoch(t, 1), third.begin(), third.end());
  cases.push_back({"epoch out of order", t, (long)epoch(t, 2) + 1,
                   "an epoch earlier than the epoch before it"});
  t = nya;
  t[43].replace(3, 14, "12345678901.23");
  cases.push_back({"overflow", t, 44,
                   t[43].substr(0, 3) +
                       " C1C: columns 4-17 hold no F14.3 number ('12345678901.23'): "
                       "a value that overflows its field or a shifted line"});
  t = delf;
  t[at(t, "# / TYPES OF OBSERV")].replace(10, 2, "X1");
  cases.push_back({"RINEX 2 type", t, 13, "'X1' is not a RINEX 2.11 observation type"});
  std::string dir = temp_path("");
  fs::create_directories(dir);
  for (const Damage& c : cases) {
    std::string path = dir + "/damaged.rnx", text;
    for (const std::string& l : c.text) text += l + "\n";
    std::ofstream(path, std::ios::binary) << text;
    CheckReport r = Check_file(path, CheckRules{}, {});
    ASSERT_FALSE(r.findings.empty()) << c.what;
    EXPECT_EQ(c.line, r.findings[0].line) << c.what << "\n" << Check_text(r);
    EXPECT_EQ(c.finding, r.findings[0].text) << c.what;
    EXPECT_EQ(2, r.status()) << c.what;
  }
  fs::remove_all(dir);
}

// Each preset's output passes its own service's rules; a file that breaks
// one (45 minutes for AUSPOS) gets the rule's warning and is still written.
// Bad input gets its reason, status 2 and no file.
TEST(RinexTool, PresetsAndBadInput) {
  VLN_SKIP_UNLESS_TOOLS_RUN_HERE();
  std::string dir = temp_path("");
  fs::create_directories(dir + "/out");
  const std::vector<std::string> station = {
      "-dual_freq",  "--rinex-version", "3.05", "--marker-name",   "ALGO",  "--antenna-type",
      "TRM59800.00", "--radome",        "NONE", "--receiver-type", "VLN-R2"};
  auto convert = [&](const Bytes& log, const std::vector<std::string>& more,
                     const std::string& name) {
    std::vector<std::string> args = {"log.dat"};
    args.insert(args.end(), station.begin(), station.end());
    args.insert(args.end(), more.begin(), more.end());
    std::ofstream(dir + "/" + name, std::ios::binary) << run_program(args, "log.dat", log).obs;
    return dir + "/" + name;
  };
  LogOptions o;
  o.seconds = 86400, o.interval = 30, o.satellites = 12;
  const Bytes day_log = generated_log(o);
  o.seconds = 3600, o.interval = 0;
  const Bytes hour_log = generated_log(o);
  std::string day = convert(day_log, {}, "day.rnx"), hour = convert(hour_log, {}, "hour.rnx");
  const struct {
    const char* preset;
    std::string input, more;
  } kPresets[] = {{"igs-daily", day, ""},
                  {"igs-hourly", hour, ""},
                  {"igs-highrate", hour, " --end \"2026-01-08 00:15:00\""},
                  {"epn", day, ""},
                  {"opus", day, ""},
                  {"auspos", day, ""},
                  {"csrs", day, " -o algo.rnx"},
                  {"rtx", day, " -o algo.rnx"}};
  for (const auto& p : kPresets) {
    CommandResult r = run_command(kTool + " convert " + p.input + " --preset " + p.preset +
                                  " --output-dir " + dir + "/out" + p.more);
    EXPECT_EQ(0, r.status) << p.preset << "\n" << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("preset ")) << p.preset << "\n" << r.out;
  }
  std::string short_log = convert(day_log, {"--end", "2026-01-08 00:45:00"}, "algo0080.26o");
  CommandResult r = run_command(kTool + " convert " + short_log + " --preset auspos --output-dir " +
                                dir + "/short");
  EXPECT_EQ(0, r.status) << r.out;
  EXPECT_TRUE(Holds(r.out, "preset auspos: " + dir +
                               "/short/algo008a.26o: auspos: the file spans "
                               "0.75 h; the service needs at least 1 h\n"));
  // The converter's presets are the same: an IGS day and hour, and a short AUSPOS file warned.
  auto station_run = [&](std::vector<std::string> more, const ExtraFiles& there = {},
                         long limit = 0) {
    more.insert(more.begin(), {"log.dat", "--marker-name", "ALGO", "--receiver-type", "VLN-R2",
                               "--antenna-type", "TRM59800.00", "--radome", "NONE"});
    return run_program(more, "log.dat", day_log, {}, limit, there);
  };
  auto igs = station_run({"--preset", "igs-daily"});
  EXPECT_EQ(1, igs.status) << igs.out;
  EXPECT_EQ(1u, igs.outputs.count("ALGO00XXX_R_20260080000_01D_30S_MO.crx.gz"));
  EXPECT_EQ(std::string::npos, igs.out.find("preset ")) << igs.out;
  auto hourly = station_run({"--preset", "igs-hourly", "--end", "2026-01-08 00:59:30"});
  EXPECT_EQ(1u, hourly.outputs.count("ALGO00XXX_R_20260080000_01H_30S_MO.crx.gz")) << hourly.out;
  auto au = station_run({"--preset", "auspos", "--end", "2026-01-08 00:45:00"});
  EXPECT_TRUE(Holds(au.out,
                    "preset auspos: ./log.obs: auspos: the file spans 0.75 h; the service "
                    "needs at least 1 h\n"));
  EXPECT_EQ("G", au.obs.substr(40, 1)) << au.obs.substr(0, 80);  // GPS alone, as AUSPOS takes
  // A file the folder held before the run is not the run's: it is not checked.
  auto beside = station_run({"--preset", "auspos", "--end", "2026-01-08 00:45:00"},
                            ExtraFiles{{"old.obs", au.obs}});
  EXPECT_EQ(std::string::npos, beside.out.find("old.obs")) << beside.out;
  EXPECT_TRUE(Holds(beside.out, "preset auspos: ./log.obs: "));
  auto elsewhere =
      station_run({"--preset", "auspos", "--end", "2026-01-08 00:45:00", "--output-dir", "out"});
  EXPECT_TRUE(
      Holds(elsewhere.out,
            "preset auspos: out/log.obs: auspos: the file spans"));  // the files of the output
                                                                     // folder are checked
  // Files a full disk left unfinished are not the run's results: they are not checked.
  auto cut = station_run({"--preset", "auspos", "--end", "2026-01-08 00:45:00"}, {}, 10000);
  EXPECT_EQ(std::string::npos, cut.out.find(".incomplete: ")) << cut.out;
  auto glonass = station_run({"--preset", "auspos", "R", "--end", "2026-01-08 00:30:00"});
  EXPECT_EQ("R", glonass.obs.substr(40, 1)) << glonass.obs.substr(0, 80);  // the line's systems
  auto typo = station_run({"--preset", "igs-dayly"});
  EXPECT_EQ(3, typo.status);
  EXPECT_EQ("Option --preset: no preset 'igs-dayly' (did you mean igs-daily?)\n", typo.out);
  // Bad input: the reason, status 2, no file under the final name.
  std::string other = convert(day_log, {"--marker-name", "BOGO"}, "bogo.rnx");
  std::string newer = read_file(day);
  newer.replace(0, 9, "     5.00");
  std::ofstream(dir + "/newer.rnx", std::ios::binary) << newer;
  const std::string out = dir + "/bad.rnx";
  const struct {
    std::string command, says;
  } kBad[] = {
      {" splice " + day + " " + other + " -o " + out, "vln_rinex: " + other +
                                                          " is of station BOGO, " + day +
                                                          " of ALGO: a splice joins the "
                                                          "files of one station\n"},
      {" splice " + day + " " + hour + " -o " + out,
       "vln_rinex: " + hour + " has an interval of 1 s, " + day +
           " of 30 s: give --interval to write them at one interval\n"},
      {" convert " + dir + "/newer.rnx -o " + out,
       "vln_rinex: " + dir +
           "/newer.rnx line 1: RINEX version 5.00 is not read (2.10 to 4.00 are)\n"},
      {" convert " + day + " -o " + out + " --preset igs-dayly",
       "vln_rinex: no preset 'igs-dayly': did you mean igs-daily?\n"},
  };
  for (const auto& b : kBad) {
    r = run_command(kTool + b.command);
    EXPECT_EQ(2, r.status) << b.command;
    EXPECT_EQ(b.says, r.out) << b.command;
    EXPECT_FALSE(fs::exists(out)) << b.command;
  }
  fs::remove_all(dir);
}

// A network's hourly files spliced into days with GNU parallel, a station a job.
TEST(RinexTool, ANetworksHoursSplicedWithGnuParallel) {
  VLN_SKIP_UNLESS_TOOLS_RUN_HERE();
  if (run_command("parallel --version").status != 0) GTEST_SKIP() << "no GNU parallel";
  std::string dir = temp_path("");
  LogOptions o;
  o.seconds = 3 * 3600, o.interval = 30;
  Bytes log = generated_log(o);
  for (const char* name : {"AAAA", "BBBB"})
    write_outputs(run_program({"log.dat", "--rinex-version", "3.05", "--split", "1h", "--crx",
                               "--gzip", "--marker-name", name},
                              "log.dat", log),
                  dir + "/" + name, "_MO.crx.gz");
  CommandResult r = run_command("cd " + dir + " && parallel --will-cite " + kTool +
                                " splice {}/'*_MO.crx.gz' -o {}.rnx ::: AAAA BBBB");
  EXPECT_EQ(0, r.status) << r.out;
  for (const char* name : {"AAAA", "BBBB"}) {
    CheckReport c = Check_file(dir + "/" + name + ".rnx", CheckRules{}, {});
    EXPECT_EQ(360, c.epochs) << name;
    EXPECT_EQ(0, c.status()) << Check_text(c);
  }
  fs::remove_all(dir);
}
