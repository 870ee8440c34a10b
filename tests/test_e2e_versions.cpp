// End-to-end: the standard writer of every RINEX version through the real program. Expected lines
// are written out from the RINEX formats and the code tables of the RINEX documents; values are
// compared with the original writer's where both write the same signal, and across versions through
// the readers the quality report and the position check use.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <regex>

#include "expect_format.h"
#include "frame_builder.h"
#include "generated_logs.h"
#include "log_generator.h"
#include "meas_frames.h"
#include "nav_encoders.h"
#include "nav_reader.h"
#include "obs_reader.h"
#include "position_check.h"
#include "rinex_text.h"
#include "runner.h"

using namespace vlntest;

namespace {

typedef std::vector<std::string> Lines;

std::string label(std::string content, const char* name) {
  content.resize(60, ' ');
  return content + (name + std::string(20 - strlen(name), ' '));
}

// SYS / # / OBS TYPES of RINEX 3 (A1,2X,I3,13(1X,A3), continued after 6X):
// each signal "1C" gives its code, phase, Doppler and strength types.
Lines types3(char sys, const std::vector<std::string>& signals) {
  std::vector<std::string> codes;
  for (const std::string& s : signals)
    for (char kind : {'C', 'L', 'D', 'S'}) codes.push_back(kind + s);
  char head[16];
  snprintf(head, sizeof head, "%c  %3zu", sys, codes.size());
  Lines out;
  std::string line = head;
  for (size_t i = 0; i < codes.size(); i++) {
    if (i > 0 && i % 13 == 0) out.push_back(label(line, "SYS / # / OBS TYPES")), line = "      ";
    line += " " + codes[i];
  }
  out.push_back(label(line, "SYS / # / OBS TYPES"));
  return out;
}

// # / TYPES OF OBSERV of RINEX 2 (I6,9(4X,A2), continued after 6X), four per band.
Lines types2(const std::string& bands) {
  char head[16];
  snprintf(head, sizeof head, "%6zu", 4 * bands.size());
  Lines out;
  std::string line = head;
  int n = 0;
  for (char band : bands)
    for (char kind : {'C', 'L', 'D', 'S'}) {
      if (n++ > 0 && (n - 1) % 9 == 0)
        out.push_back(label(line, "# / TYPES OF OBSERV")), line = "      ";
      line += std::string(4, ' ') + kind + band;
    }
  out.push_back(label(line, "# / TYPES OF OBSERV"));
  return out;
}

Lines with_label(const std::string& obs, const char* name) {
  Lines out;
  for (const std::string& l : lines(obs))
    if (l.size() > 60 && l.compare(60, strlen(name), name) == 0) out.push_back(l);
  return out;
}

// Values and loss-of-lock indicators of a file by satellite, observation kind and band, and epoch
// ("G02 C1 t"), so that RINEX 2 and 3 files and their codes compare.
std::map<std::string, double> values(const std::string& text) {
  ObsFile obs;
  std::string error;
  EXPECT_TRUE(read_obs_text(text, "f", &obs, &error)) << error;
  std::map<std::string, double> out;
  for (const ObsEpoch& e : obs.epochs)
    for (int i = 0; i < e.nsat; i++) {
      const ObsSat& s = obs.sats[(size_t)(e.first_sat + i)];
      const std::vector<std::string>& types = obs.types[s.sys];
      for (size_t k = 0; k < types.size(); k++) {
        double v = obs.values[s.first_value + k];
        char key[48];
        snprintf(key, sizeof key, "%c%02d %.2s %.3f", s.sys, s.prn, types[k].c_str(), e.t);
        if (std::isfinite(v)) out[key] = v;
        unsigned char lli = obs.lli[s.first_value + k];
        if (lli != 0) out[std::string(key) + " lli"] = lli;
      }
    }
  return out;
}

}  // namespace

// A receiver of every signal: each version lists each signal under its own code (B1I as band 1 in
// 3.02, band 2 from 3.03; B1C and B2a from 3.04; RINEX 2.11 by band, without BeiDou, QZSS, GLONASS
// L3 and a second L1 code), and says what it left out.
TEST(RinexVersions, EverySignalUnderItsOwnCodeInEachVersion) {
  LogOptions o;
  o.seconds = 20, o.profile = "multi", o.navigation = false;
  Bytes log = generated_log(o);
  const std::vector<std::string> kGps = {"1C", "1L", "2L", "5Q"}, kGlo = {"1C", "2C", "3Q"},
                                 kGal = {"1C", "5Q", "7Q", "6C"},
                                 kQzss = {"1C", "1L", "2L", "5Q", "6S"};
  const std::vector<std::string> kBds302 = {"1I", "7I", "6I"}, kBds303 = {"2I", "7I", "6I"},
                                 kBds304 = {"2I", "1P", "7I", "6I", "5P"};
  struct Case {
    const char* version;
    std::vector<std::string> bds;
    Lines notes;
  } const kCases[] = {
      {"3.02",
       kBds302,
       {"BeiDou B1C: no RINEX 3.02 code; left out", "BeiDou B2a: no RINEX 3.02 code; left out"}},
      {"3.03",
       kBds303,
       {"BeiDou B1C: no RINEX 3.03 code; left out", "BeiDou B2a: no RINEX 3.03 code; left out"}},
      {"3.04", kBds304, {}},
      {"3.05", kBds304, {}},
      {"4.00", kBds304, {}},
      {"2.11",
       {},
       {"GPS L1C: its 2.11 code holds another signal; left out",
        "GLONASS L3: no RINEX 2.11 code; left out", "BeiDou: no RINEX 2.11 system; left out",
        "QZSS: no RINEX 2.11 system; left out"}},
  };
  for (const Case& c : kCases) {
    auto r = run_program({"log.dat", "-dual_freq", "--rinex-version", c.version}, "log.dat", log);
    ASSERT_EQ(1, r.status) << c.version << r.out;
    bool v2 = c.version[0] == '2';
    EXPECT_EQ(std::string("     ") + c.version +
                  "           OBSERVATION DATA    M (MIXED)           "
                  "RINEX VERSION / TYPE",
              lines(r.obs)[0]);
    Lines want;
    if (v2) {
      want = types2("12576");
    } else {
      for (auto part : {types3('G', kGps), types3('R', kGlo), types3('E', kGal), types3('C', c.bds),
                        types3('J', kQzss), types3('S', {"1C"})})
        want.insert(want.end(), part.begin(), part.end());
    }
    EXPECT_EQ(want, with_label(r.obs, v2 ? "# / TYPES OF OBSERV" : "SYS / # / OBS TYPES"))
        << c.version;
    Lines notes, said;
    for (const std::string& n : c.notes)
      notes.push_back(label(n, "COMMENT")), said.push_back("Not written: " + n);
    EXPECT_EQ(notes, with_label(r.obs, "COMMENT")) << c.version;  // and no blank padding
    for (const std::string& nav : {r.nav, r.outputs["log.gnav"]})
      EXPECT_EQ(0u, with_label(nav, "COMMENT").size()) << c.version;
    for (const std::string& s : said) EXPECT_TRUE(Holds(r.out, s + "\n")) << s;
    // One phase shift line per phase type in RINEX 3; none in 4.00 (deprecated) and 2.11.
    size_t phases = v2 || c.version[0] == '4'
                        ? 0
                        : kGps.size() + kGlo.size() + kGal.size() + c.bds.size() + kQzss.size() + 1;
    EXPECT_EQ(phases, with_label(r.obs, "SYS / PHASE SHIFT").size()) << c.version;
    EXPECT_EQ(v2 || c.version[0] == '4' ? 0u : 1u, with_label(r.obs, "GLONASS COD/PHS/BIS").size());
  }
  // RINEX 2.11 has a navigation file per system: a GLONASS-only log writes the GLONASS one.
  o.systems = "R", o.navigation = true, o.seconds = 120;
  auto r = run_program({"log.dat", "--rinex-version", "2.11"}, "log.dat", generated_log(o));
  EXPECT_EQ((Lines{"log.dat", "log.gnav", "log.obs"}), r.files);
  EXPECT_TRUE(Holds(r.out,
                    "Navigation file log.nav not written: the log holds no GPS navigation "
                    "records\n"));
  // So in periods: the period's GPS file goes, and the console counts it.
  r = run_program({"log.dat", "--rinex-version", "2.11", "--split", "15m"}, "log.dat",
                  generated_log(o));
  EXPECT_EQ((Lines{"log.dat", "xxxx008a00.26g", "xxxx008a00.26o"}), r.files);
  EXPECT_TRUE(Holds(r.out,
                    "Navigation files of RINEX 2.11 periods without records "
                    "of their system, not written: 1 GPS, 0 GLONASS\n"));
}

// Where both writers write the same signal, the standard writer writes the original writer's values
// (3.02 codes, the sample's L1 and L2C); RINEX 2.11 writes them too, its epoch lines continued
// after 12 satellites and each record over lines of five fields; Compact RINEX 1.0 and 3.0 and gzip
// restore them; period files of 2.11 get short names.
TEST(RinexVersions, SameValuesAsTheOriginalWriterInEveryForm) {
  Bytes log = sample_log();
  auto original = run_program({"log.dat", "-dual_freq"}, "log.dat", log);
  auto v302 = run_program({"log.dat", "-dual_freq", "--rinex-version", "3.02"}, "log.dat", log);
  auto v211 = run_program({"log.dat", "-dual_freq", "--rinex-version", "2.11"}, "log.dat", log);
  auto want = values(original.obs);
  EXPECT_EQ(want, values(v302.obs));
  for (const char* label : {"APPROX POSITION XYZ", "ANTENNA: DELTA H/E/N"}) {
    size_t a = original.obs.find(label), b = v302.obs.find(label);
    ASSERT_TRUE(a != std::string::npos && b != std::string::npos) << label;
    EXPECT_EQ(original.obs.substr(a - 60, 80), v302.obs.substr(b - 60, 80));
  }
  std::map<std::string, double> g_r_e_s;  // the systems of 2.11
  for (const auto& v : want)
    if (std::string("GRES").find(v.first[0]) != std::string::npos) g_r_e_s.insert(v);
  EXPECT_EQ(g_r_e_s, values(v211.obs));
  // Epoch lines: 23 satellites, 12 on the first line, the rest after 32
  // blanks; then each satellite's 12 fields on three lines.
  Lines body = lines(v211.obs.substr(v211.obs.find("END OF HEADER") + 21));
  EXPECT_EQ(" 26  1  8  0  0  0.0000000  0 23G02G03G06G07G08G13G27R06R07R08R12R13", body[0]);
  EXPECT_EQ(std::string(32, ' ') + "R14R23E05E08E11E14E16E17E20S29S33", body[1]);
  // G02's fields as the original writer wrote them, five to a line.
  std::string g02 = original.obs.substr(original.obs.find("\nG 2") + 1);
  g02 = g02.substr(0, g02.find('\n'));
  auto cut = [](std::string s) { return s.erase(s.find_last_not_of(' ') + 1); };
  EXPECT_EQ(cut(g02.substr(3, 80)), body[2]);
  EXPECT_EQ(cut(g02.substr(83, 48)), body[3]);
  EXPECT_EQ("", body[4]);  // no Galileo E5b signal on a GPS satellite: an empty line
  EXPECT_EQ(" 26  1  8  0  0  1.0000000  0 23G02G03G06G07G08G13G27R06R07R08R12R13",
            body[2 + 23 * 3]);

  struct Form {
    std::vector<std::string> options;
    const char* obs;  // the observation file the run writes
    const RunResult* plain;
  } const kForms[] = {
      {{"--rinex-version", "3.05", "--crx"}, "log.crx", nullptr},
      {{"--rinex-version", "4.00", "--crx", "--gzip"}, "log.crx.gz", nullptr},
      {{"--rinex-version", "2.11", "--crx"}, "log.crx", &v211},
      {{"--rinex-version", "2.11", "--crx", "--gzip", "--split", "1h", "--marker-name", "ALGO"},
       "algo008a.26d.gz",
       &v211},
  };
  for (const Form& f : kForms) {
    std::vector<std::string> args = {"log.dat", "-dual_freq"};
    args.insert(args.end(), f.options.begin(), f.options.end());
    auto r = run_program(args, "log.dat", log);
    ASSERT_EQ(1, r.status) << f.obs << r.out;
    ASSERT_EQ(1u, r.outputs.count(f.obs)) << f.obs;
    std::string path = temp_path(".gz"), text, error;
    FILE* out = fopen(path.c_str(), "wb");
    fwrite(r.outputs[f.obs].data(), 1, r.outputs[f.obs].size(), out);
    fclose(out);
    ASSERT_TRUE(read_rinex_text(path, &text, &error)) << error;
    remove(path.c_str());
    std::map<std::string, double> expected = f.plain != nullptr ? g_r_e_s : want;
    if (f.plain == nullptr) {  // BeiDou B1I is band 2 from 3.03 on
      for (auto it = expected.begin(); it != expected.end();) {
        if (it->first[0] == 'C' && it->first[5] == '1') {
          std::string key = it->first;
          key[5] = '2';
          double v = it->second;
          it = expected.erase(it);
          expected[key] = v;
        } else {
          ++it;
        }
      }
    }
    EXPECT_EQ(expected, values(text)) << f.obs;
  }
  auto split =  // a marker name's first four letters in either case name the station
      run_program({"log.dat", "--rinex-version", "2.11", "--split", "1h", "--marker-name", "zimM"},
                  "log.dat", log);
  std::vector<std::string> names;
  for (const auto& o : split.outputs) names.push_back(o.first);
  EXPECT_EQ((Lines{"zimm008a.26g", "zimm008a.26n", "zimm008a.26o"}), names);
}

namespace {

// One 16-column observation field (F14.3, loss of lock, blank strength).
std::string f16(double v, char lli = ' ') {
  char b[32];
  snprintf(b, sizeof b, "%14.3f%c ", v, lli);
  return b;
}

std::string cut(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

// A signal not measured in an epoch is blank, not an earlier value; seconds are exact at 10 Hz
// (59.9, not the single-precision 59.9000015); GLONASS slots learnt from measurements and from the
// almanac are listed; an epoch or an event earlier than one written, or at its time, is left out
// and counted; an event stamped after an epoch goes behind it.
TEST(RinexVersions, BlankSignalsExactSecondsSlotsAndTimeOrder) {
  const uint8_t kGps = 0, kGlo = 2;
  Bytes log;
  append(&log, frame(glonass_string_payload(3, 1, {0x0A, 0xB3, 0, 0, 0, 0, 0, 0, 0})));  // frame 1
  append(&log, frame(glonass_string_payload(3, 7, glonass_almanac_k_string(-7))));  // slot 6: -7
  GloImmediate fifth = {};
  fifth.tk = 4;  // 00:02:00, the fifth frame, whose string 13 tells slot 24
  append(&log, frame(glonass_string_payload(3, 1, encode_glonass(fifth)[0])));
  append(&log, frame(glonass_string_payload(3, 13, glonass_almanac_k_string(-2))));
  Meas l1 = {kGps | 0x00, 3, 0x07, 45, 20000000.125, 1000.5, 100.25f, 0x0028};  // LLI 1 + 2
  Meas l2 = {kGps | 0x20, 3, 0x07, 40, 20000001.5, 800.25, 78.0f, 0};
  Meas r2 = {kGlo | 0x00, 1, 0x0A, 41, 19000000.0, 400.0, -0.0004f, 0};  // R01: channel 3, -0.000
  Meas unmeasured = {kGps | 0x00, 5, 0x07, 33, 20500000.0, 0.0, 0.0f, 0x0008};  // phase, Doppler 0
  Meas g07 = l2;  // L2C alone, behind G05's L1 alone
  g07.svid = 7;
  append(&log, e5(1, 345659800, {l1, l2, unmeasured, g07, r2}));
  append(&log, e5(2, 345659900, {l2}));  // L2C alone
  append(&log, e5(3, 345660000, {l1, l2}));
  append(&log, e9(345660.05));
  append(&log, e5(4, 345659950, {l1}));  // back in time: not written
  append(&log, e5(5, 345660100, {l1, l2}));
  append(&log, e5(6, 345660100, {l1}));  // the same time again: not written either
  append(&log, e9(345660.02));           // an event before the last epoch: left out too
  auto r =
      run_program({"log.dat", "G", "R", "-dual_freq", "--rinex-version", "3.05"}, "log.dat", log);
  ASSERT_EQ(1, r.status) << r.out;
  EXPECT_TRUE(Holds(r.out,
                    "Epochs not later than one already written into their file, left out: 2\n"
                    "Events not later than one already written into their file, left out: 1\n"));
  const std::string g1 = f16(20000000.125) + f16(1000.5, '3') + f16(100.25) + f16(45);
  const std::string g2 = f16(20000001.5) + f16(800.25) + f16(78) + f16(40);
  Lines body = lines(r.obs.substr(r.obs.find("END OF HEADER") + 21));
  // The receiver's 0 for a phase or a Doppler it did not measure: blank fields,
  // and no loss-of-lock digit without a phase.
  EXPECT_EQ((Lines{"> 2026 01 08 00 00 59.8000000  0  4", cut("G03" + g1 + g2),
                   cut("G05" + f16(20500000) + std::string(32, ' ') + f16(33)),
                   cut("G07" + std::string(64, ' ') + g2),
                   cut("R01" + f16(19000000) + f16(400) + f16(-0.0004f) + f16(41)),
                   "> 2026 01 08 00 00 59.9000000  0  1", cut("G03" + std::string(64, ' ') + g2),
                   "> 2026 01 08 00 01  0.0000000  0  1", cut("G03" + g1 + g2),
                   "> 2026 01 08 00 01  0.0500000  5  0", "> 2026 01 08 00 01  0.1000000  0  1",
                   cut("G03" + g1 + g2)}),
            body);
  Lines header = lines(r.obs.substr(0, r.obs.find("END OF HEADER")));
  auto at = [&](const char* name) {
    for (size_t i = 0; i < header.size(); i++)
      if (header[i].compare(60, strlen(name), name) == 0) return i;
    return header.size();
  };
  ASSERT_LT(at("GLONASS SLOT / FRQ #") + 2, header.size());
  EXPECT_EQ(label("  3 R01  3 R06 -7 R24 -2", "GLONASS SLOT / FRQ #"),
            header[at("GLONASS SLOT / FRQ #")]);
  EXPECT_EQ(label("", "GLONASS COD/PHS/BIS"), header[at("GLONASS SLOT / FRQ #") + 1]);
  EXPECT_EQ(label("  2026     1     8     0     0   59.8000000     GPS", "TIME OF FIRST OBS"),
            header[at("TIME OF FIRST OBS")]);
  EXPECT_EQ(label("  2026     1     8     0     1    0.1000000     GPS", "TIME OF LAST OBS"),
            header[at("TIME OF LAST OBS")]);
  ASSERT_LT(at("INTERVAL"), header.size());
  EXPECT_EQ(label("     0.100", "INTERVAL"), header[at("INTERVAL")]);
  // A frame whose checksum fails is left out by the scan as by the conversion:
  // its L5 signal, measured nowhere else, adds no types.
  Bytes damaged = log, bad = e5(7, 345660200, {{kGps | 0x40, 3, 0x07, 40, 2e7, 1.0, 1.0f, 0}});
  bad[bad.size() - 3] ^= 0x5A;
  append(&damaged, bad);
  EXPECT_EQ(r.obs, run_program({"log.dat", "G", "R", "-dual_freq", "--rinex-version", "3.05"},
                               "log.dat", damaged)
                       .obs);
  // RINEX 2.11: the same epochs.
  auto v2 =
      run_program({"log.dat", "G", "R", "-dual_freq", "--rinex-version", "2.11"}, "log.dat", log);
  Lines epochs;
  for (const std::string& l : lines(v2.obs.substr(v2.obs.find("END OF HEADER") + 21)))
    if (l.size() >= 32 && isdigit((unsigned char)l[1]) && l[3] == ' ' &&
        isdigit((unsigned char)l[28]))
      epochs.push_back(l);
  EXPECT_EQ((Lines{" 26  1  8  0  0 59.8000000  0  4G03G05G07R01",
                   " 26  1  8  0  0 59.9000000  0  1G03", " 26  1  8  0  1  0.0000000  0  1G03",
                   " 26  1  8  0  1  0.0500000  5  0", " 26  1  8  0  1  0.1000000  0  1G03"}),
            epochs);
}

// The navigation records of 2.11 (GPS and GLONASS files), 3.05 and 4.00 of one
// run read back to the same orbits, the 4.00 ION record to the 3.05 header's
// Klobuchar coefficients; the position check solves the same epochs alike.
TEST(RinexVersions, OrbitsAndPositionsAlikeFromEveryVersion) {
  Bytes log = sample_log();
  struct Run {
    const char* version;
    std::vector<std::string> navs;
    bc::NavData nav;
    PositionReport report;
  } runs[] = {{"3.05", {"log.nav"}, {}, {}},
              {"4.00", {"log.nav"}, {}, {}},
              {"2.11", {"log.nav", "log.gnav"}, {}, {}}};
  for (Run& run : runs) {
    auto r = run_program({"log.dat", "-dual_freq", "--rinex-version", run.version}, "log.dat", log);
    std::vector<std::string> paths;
    std::vector<std::string> names = {"log.obs"};
    names.insert(names.end(), run.navs.begin(), run.navs.end());
    for (const std::string& name : names) {
      paths.push_back(temp_path(name));
      FILE* f = fopen(paths.back().c_str(), "wb");
      fwrite(r.outputs[name].data(), 1, r.outputs[name].size(), f);
      fclose(f);
    }
    std::string error;
    for (size_t i = 1; i < paths.size(); i++)
      ASSERT_TRUE(bc::read_nav_file(paths[i], &run.nav, &error)) << error;
    run.report =
        check_positions(paths[0], std::vector<std::string>(paths.begin() + 1, paths.end()));
    for (const std::string& p : paths) remove(p.c_str());
    ASSERT_TRUE(run.report.ok) << run.report.error;
  }
  const bc::NavData& want = runs[0].nav;
  for (int k = 0; k < 4; k++) {  // the header's D12.4 holds five digits, the ION record 13
    EXPECT_NEAR(want.alpha[k], runs[1].nav.alpha[k], 1e-4 * std::fabs(want.alpha[k])) << k;
    EXPECT_NEAR(want.beta[k], runs[1].nav.beta[k], 1e-4 * std::fabs(want.beta[k])) << k;
  }
  for (const Run& run : {runs[1], runs[2]}) {
    size_t records = 0;
    for (const auto& sat : want.by_sat) {
      bool v2 = run.version[0] == '2';
      if (v2 && sat.first[0] != 'G' && sat.first[0] != 'R') continue;
      auto other = run.nav.by_sat.find(sat.first);
      ASSERT_NE(run.nav.by_sat.end(), other) << run.version << " " << sat.first;
      ASSERT_EQ(sat.second.size(), other->second.size()) << sat.first;
      for (size_t i = 0; i < sat.second.size(); i++, records++) {
        const bc::Ephemeris &a = sat.second[i], &b = other->second[i];
        const double x[] = {a.t_ref,      a.k.sqrt_a, a.k.e,     a.k.m0, a.k.omega,
                            a.k.cuc,      a.k.af0,    a.k.af1,   a.tgd,  a.state.p[0],
                            a.state.v[2], a.acc[1],   a.tau_neg, a.gamma};
        const double y[] = {b.t_ref,      b.k.sqrt_a, b.k.e,     b.k.m0, b.k.omega,
                            b.k.cuc,      b.k.af0,    b.k.af1,   b.tgd,  b.state.p[0],
                            b.state.v[2], b.acc[1],   b.tau_neg, b.gamma};
        for (size_t f = 0; f < sizeof x / sizeof x[0]; f++)
          EXPECT_EQ(x[f], y[f]) << run.version << " " << sat.first << " field " << f;
        EXPECT_EQ(a.channel, b.channel);
      }
    }
    EXPECT_GE(records, 14u) << run.version;  // the sample has 7 GPS and 7 GLONASS sets at least
  }
  for (size_t g = 0; g < runs[0].report.stats.size(); g++) {
    const PositionStats& a = runs[0].report.stats[g];
    for (const Run& run : {runs[1], runs[2]}) {
      if (run.version[0] == '2' && a.name != "GPS" && a.name != "GLONASS") continue;
      const PositionStats& b = run.report.stats[g];
      EXPECT_EQ(180, b.solved) << run.version << " " << a.name;
      EXPECT_EQ(a.solved, b.solved) << run.version << " " << a.name;
      EXPECT_EQ(a.median, b.median) << run.version << " " << a.name;
    }
  }
}

// The readers take the real RINEX 2 files of other makers (each Compact
// RINEX 1.0 file expanding to its RINEX 2 file byte for byte) and every
// record of the real RINEX 4.00 navigation files of the kinds they compute.
TEST(Readers, RealRinex2AndRinex4FilesOfOtherMakers) {
  std::filesystem::path data = std::filesystem::u8path(VLN_SHARED_DATA);
  if (!std::filesystem::exists(data / "rinex2")) GTEST_SKIP() << "no " << data.u8string();
  const std::regex epoch2(R"(^ \d\d [ \d]\d [ \d]\d [ \d]\d [ \d]\d [ \d]\d\.\d{7}  [0-6])");
  const std::regex record2(R"(^[ \d]\d [ \d]\d [ \d]\d [ \d]\d [ \d]\d [ \d]\d [ \d]\d\.\d)");
  int compact = 0, observations = 0, navigation = 0;
  for (const auto& e : std::filesystem::directory_iterator(data / "rinex2")) {
    std::string path = e.path().u8string(), ext = e.path().extension().u8string(), text, error;
    ASSERT_TRUE(read_rinex_text(path, &text, &error)) << error;
    char type = (char)tolower(ext.size() == 4 ? ext[3] : path[path.size() - 4]);
    if (type == 'd') {
      std::string o = path;
      o.back() = o.back() == 'D' ? 'O' : 'o';
      EXPECT_EQ(read_file(o), text) << path;
      compact++;
    } else if (type == 'o') {
      ObsFile obs;
      ASSERT_TRUE(read_obs_text(text, path, &obs, &error)) << error;
      long epochs = 0;
      for (const std::string& l : lines(text)) epochs += std::regex_search(l, epoch2) ? 1 : 0;
      EXPECT_EQ(epochs, (long)obs.epochs.size() + obs.skipped["special records (flags 2-6)"])
          << path;
      EXPECT_EQ(0u, obs.skipped.count("records of systems without types")) << path;
      observations++;
    } else {
      bc::NavData nav;
      ASSERT_TRUE(bc::read_nav_text(text, &nav)) << path;
      long records = 0, read = 0;
      for (const std::string& l : lines(text.substr(text.find("END OF HEADER"))))
        records += std::regex_search(l, record2) ? 1 : 0;
      for (const auto& sat : nav.by_sat) read += (long)sat.second.size();
      EXPECT_EQ(records, read) << path;
      navigation++;
    }
  }
  EXPECT_EQ(6, compact);
  EXPECT_EQ(6, observations);
  EXPECT_EQ(4, navigation);
  for (const auto& e : std::filesystem::directory_iterator(data / "nav4")) {
    std::string text, error;
    ASSERT_TRUE(read_rinex_text(e.path().u8string(), &text, &error)) << error;
    bc::NavData nav;
    ASSERT_TRUE(bc::read_nav_text(text, &nav));
    const std::regex kinds(R"(^> EPH ([GJ]\d\d LNAV|R\d\d FDMA|E\d\d [IF]NAV|C\d\d D[12]))");
    std::map<char, long> want, read;
    for (const std::string& l : lines(text))
      if (std::regex_search(l, kinds)) want[l[6]]++;
    for (const auto& sat : nav.by_sat) read[sat.first[0]] += (long)sat.second.size();
    EXPECT_EQ(want, read) << e.path().u8string();
    EXPECT_NE(0.0, nav.alpha[0]);  // from the ION record of GPS LNAV
  }
}

namespace {

// A field of the navigation records: D19.12 with one digit before the point,
// E exponents (RINEX 3 and 4) or D (RINEX 2).
std::string e19(double x, char letter = 'E') { return vlntest::expect_e19(x, letter); }

}  // namespace

// A GLONASS set of known fields in each version's record: the health is Bn before 3.04 and Bn's top
// bit from it on; 3.05 adds the status line (P, P1-P4 and M bits, the L1/L2 delay and the accuracy
// index of a GLONASS-M satellite, and the health flags: the almanac's C with its known bit and
// string 3's l); the frame time is of the UTC day in 2.11, of the UTC week in 3.x.
TEST(RinexVersions, GlonassRecordOfEachVersion) {
  GloImmediate v = {};
  v.tk = 2 << 7 | 3 << 1, v.p1 = 2, v.tb = 40, v.p2 = 1, v.bn = 4, v.p = 1, v.p3 = 0, v.m = 1;
  v.nt = 1, v.ft = 3, v.p4 = 1, v.en = 5, v.n4 = 7, v.x = 100000, v.dx = 5000, v.ddx = 3;
  v.y = -200000, v.dy = -7000, v.ddy = -2, v.z = 300000, v.dz = 1000, v.ddz = 1, v.gamma = 5;
  v.delta_tau = 4, v.tau = -3000, v.ln = 1, v.tau_c = -1000;
  Bytes log = e5(1, 345600000, {{2, 4, 0x0A, 40, 2e7, 1.0, 1.0f, 0}});  // slot 4, channel 3
  auto strings = encode_glonass(v);
  for (int i = 0; i < 5; i++) {
    append(&log, frame(glonass_string_payload(4, (uint8_t)(i + 1), strings[(size_t)i])));
    if (i > 0) continue;  // after string 1 the frame's almanac: slot 4 healthy, slot 5 not
    append(&log, frame(glonass_string_payload(4, 14, glonass_almanac_health_string(4, 1))));
    append(&log, frame(glonass_string_payload(4, 6, glonass_almanac_health_string(5, 0))));
    // A fifth frame's string 14 (heard from slot 5) carries no almanac: slot 4 stays healthy.
    GloImmediate fifth = {};
    fifth.tk = 4;
    append(&log, frame(glonass_string_payload(5, 1, encode_glonass(fifth)[0])));
    append(&log, frame(glonass_string_payload(5, 14, glonass_almanac_health_string(4, 0))));
  }
  append(&log, frame(gps_subframe_payload(5, 4, encode_gps_page18({1, {}, {}, 0, 0, 0, 0, 18}))));
  // Day 1 of the interval from 2020 (N4 7), tb 40 x 15 min Moscow time, 3 h ahead of UTC.
  const double kGpsToGlonassEpoch = 504489600;  // 1980-01-06 to 1996-01-01
  double days = 6 * 1461.0, tod_utc = 2 * 3600 + 3 * 60 - 10800 + 86400;
  double since_gps = kGpsToGlonassEpoch + (days - 1) * 86400 + tod_utc;
  double week_seconds = since_gps - 604800 * std::floor(since_gps / 604800);
  struct Case {
    const char* version;
    Lines want;
  } const kCases[] = {
      {"2.11",
       {" 4 20  1  1  7  0  0.0" + e19(3000 * 0x1p-30, 'D') + e19(5 * 0x1p-40, 'D') +
            e19(tod_utc, 'D'),
        "   " + e19(100000 * 0x1p-11, 'D') + e19(5000 * 0x1p-20, 'D') + e19(3 * 0x1p-30, 'D') +
            e19(4, 'D'),
        "   " + e19(-200000 * 0x1p-11, 'D') + e19(-7000 * 0x1p-20, 'D') + e19(-2 * 0x1p-30, 'D') +
            e19(3, 'D'),
        "   " + e19(300000 * 0x1p-11, 'D') + e19(1000 * 0x1p-20, 'D') + e19(1 * 0x1p-30, 'D') +
            e19(5, 'D')}},
      {"3.04",
       {"R04 2020 01 01 07 00 00" + e19(3000 * 0x1p-30) + e19(5 * 0x1p-40) + e19(week_seconds),
        "    " + e19(100000 * 0x1p-11) + e19(5000 * 0x1p-20) + e19(3 * 0x1p-30) + e19(1),
        "    " + e19(-200000 * 0x1p-11) + e19(-7000 * 0x1p-20) + e19(-2 * 0x1p-30) + e19(3),
        "    " + e19(300000 * 0x1p-11) + e19(1000 * 0x1p-20) + e19(1 * 0x1p-30) + e19(5)}},
  };
  for (const Case& c : kCases) {
    auto r = run_program({"log.dat", "R", "--rinex-version", c.version}, "log.dat", log);
    const std::string& nav = c.version[0] == '2' ? r.outputs["log.gnav"] : r.nav;
    EXPECT_EQ(c.want, lines(nav.substr(nav.find("END OF HEADER") + 21))) << c.version;
    EXPECT_TRUE(Holds(nav, "LEAP SECONDS")) << c.version;
    EXPECT_TRUE(c.version[0] != '2' ||  // -tau_c from the GPS day of its string
                nav.find(label("  2019    12    31   " + e19(1000 * 0x1p-31, 'D'),
                               "CORR TO SYSTEM TIME")) != std::string::npos);
  }
  auto r = run_program({"log.dat", "R", "--rinex-version", "3.05"}, "log.dat", log);
  EXPECT_EQ(std::string::npos, r.nav.find("LEAP SECONDS"));  // none in a GLONASS-only 3.05 file
  Lines got = lines(r.nav.substr(r.nav.find("END OF HEADER") + 21));
  // GLONASS time minus UTC(SU) (identifier 3) is -tau_c, with neither reference time nor week.
  char glut[64];
  snprintf(glut, sizeof glut, "GLUT %17.10E%16.9E      0    0   R04  3", 1000 * 0x1p-31, 0.0);
  EXPECT_TRUE(Holds(r.nav, label(glut, "TIME SYSTEM CORR")));
  // status: P 1, P1 2 (bits 2-3), P2 1 (bit 4), P3 0 (bit 5), P4 1 (bit 6), M 1 (bit 7).
  Lines want = kCases[1].want;
  want.push_back("    " + e19(1 | 2 << 2 | 1 << 4 | 1 << 6 | 1 << 7) + e19(4 * 0x1p-30) + e19(3) +
                 e19(1 | 2 | 4));
  EXPECT_EQ(want, got);
  // The first and last slots' almanac health reaches their own records; their
  // status bits are the other way round: P 2, P1 1, P2 0, P3 1, P4 0, M 0 (no GLONASS-M:
  // the delay and the accuracy index unknown, 999999999.999 and 15).
  GloImmediate flip = v;
  flip.p = 2, flip.p1 = 1, flip.p2 = 0, flip.p3 = 1, flip.p4 = 0, flip.m = 0;
  auto flipped = encode_glonass(flip);
  for (uint8_t slot : {1, 24}) {
    Bytes edge = e5(1, 345600000, {{2, slot, 0x0A, 40, 2e7, 1.0, 1.0f, 0}});
    append(&edge, frame(glonass_string_payload(slot, 1, flipped[0])));
    append(&edge, frame(glonass_string_payload(slot, 6, glonass_almanac_health_string(slot, 1))));
    for (uint8_t i = 1; i < 5; i++)
      append(&edge, frame(glonass_string_payload(slot, (uint8_t)(i + 1), flipped[i])));
    r = run_program({"log.dat", "R", "--rinex-version", "3.05"}, "log.dat", edge);
    EXPECT_EQ("    " + e19(2 | 1 << 2 | 1 << 5) + e19(999999999.999) + e19(15) +
                  want.back().substr(4 + 3 * 19),
              lines(r.nav).back())
        << (int)slot;
  }
  // A log that starts within a fifth frame: its string 14, heard before any
  // string 1 has told the frame, is no almanac. Slot 4's C stays unknown.
  Bytes mid = frame(glonass_string_payload(5, 14, glonass_almanac_health_string(4, 0)));
  append(&mid, e5(1, 345600000, {{2, 4, 0x0A, 40, 2e7, 1.0, 1.0f, 0}}));
  for (uint8_t i = 0; i < 5; i++)
    append(&mid, frame(glonass_string_payload(4, (uint8_t)(i + 1), strings[i])));
  r = run_program({"log.dat", "R", "--rinex-version", "3.05"}, "log.dat", mid);
  want.back() = want.back().substr(0, 4 + 3 * 19) + e19(4);  // l alone
  EXPECT_EQ(want, lines(r.nav.substr(r.nav.find("END OF HEADER") + 21)));
  // 4.00: tau_c of string 5 as the STO record GLUT of the GPS day it came with:
  // tk 02:03 Moscow time on 1 January 2020 is 23:03:18 GPS time on Tuesday 31 December.
  r = run_program({"log.dat", "R", "--rinex-version", "4.00"}, "log.dat", log);
  EXPECT_TRUE(Holds(r.nav, "> STO R04 FDMA\n    2019 12 31 00 00 00 GLUT"));
  EXPECT_NE(std::string::npos,  // its transmission time, a0 = -tau_c and a1 0
            r.nav.find("UTC(SU)           \n    " + e19(2 * 86400 + 23 * 3600 + 3 * 60 + 18) +
                       e19(1000 * 0x1p-31) + e19(0) + e19(0)));
}

// The QZSS record's clock terms, and its fit interval: hours (4 or 6) up to
// 3.02, its flag (0 or 1) from 3.03.
TEST(RinexVersions, QzssFitIntervalHoursThenFlag) {
  Bytes log = e5(1, 345600000, {{4, 193, 0x07, 40, 2e7, 1.0, 1.0f, 0}});
  for (uint32_t fit : {0u, 1u}) {
    GpsLnav v = {};
    v.fit = fit, v.iodc = v.iode = 10 + fit, v.af0 = 1000, v.af1 = -5, v.af2 = 3;
    v.tow_count = fit ? 100799 : 0, v.toc = fit ? 225 : 0;  // sent 6 s before toc's week
    auto sf = encode_gps_lnav(v);
    for (uint8_t s = 1; s <= 3; s++)
      append(&log, frame(gps_subframe_payload((uint8_t)(193 + 2 * fit), s, sf[s - 1u])));
  }
  for (const char* version : {"3.02", "3.05"}) {
    auto r = run_program({"log.dat", "J", "--rinex-version", version}, "log.dat", log);
    Lines got = lines(r.nav.substr(r.nav.find("END OF HEADER") + 21));
    ASSERT_EQ(16u, got.size()) << version;
    EXPECT_EQ(std::string::npos, r.nav.find("LEAP SECONDS")) << version;  // no page 18 heard
    bool flag = version[2] == '0' && version[3] == '5';
    EXPECT_EQ(e19(1000 * 0x1p-31) + e19(-5 * 0x1p-43) + e19(3 * 0x1p-55), got[0].substr(23))
        << version;  // the clock terms on the first line
    EXPECT_EQ("    " + e19(0) + e19(flag ? 0 : 4), got[7]) << version;
    EXPECT_EQ("    " + e19(-6) + e19(flag ? 1 : 6), got[15]) << version;
  }
}

// RINEX 4.00's NeQuick-G record: a_i0..a_i2 and the five regions' disturbance flags as bits 0-4.
TEST(RinexVersions, GalileoIonosphereRecordWithItsRegionFlags) {
  Bytes log = e5(1, 345600000, {{3, 11, 0x07, 40, 2e7, 1.0, 1.0f, 0}});
  GalEph v = {};
  v.iodnav = 5, v.ai0 = 100, v.ai1 = -5, v.ai2 = 7, v.wn = 1352, v.tow = 604700;
  const uint32_t kRegions[5] = {1, 0, 1, 0, 1};
  std::copy(kRegions, kRegions + 5, v.region);
  for (const GalWord& w : encode_galileo(v)) append(&log, frame(galileo_payload(11, w)));
  auto r = run_program({"log.dat", "E", "--rinex-version", "4.00"}, "log.dat", log);
  Lines nav = lines(r.nav);
  auto ion = std::find_if(nav.begin(), nav.end(),
                          [](const std::string& l) { return l.rfind("> ION E11", 0) == 0; });
  ASSERT_TRUE(ion != nav.end() && ion + 2 < nav.end()) << r.nav;
  EXPECT_EQ(e19(100 * 0x1p-2) + e19(-5 * 0x1p-8) + e19(7 * 0x1p-15), ion[1].substr(23));
  EXPECT_EQ("    " + e19(1 | 1 << 2 | 1 << 4), ion[2]);
  for (const char* none : {"IONOSPHERIC CORR", "LEAP SECONDS"})  // records; no page 18 heard
    EXPECT_EQ(std::string::npos, r.nav.find(none)) << none;
  // 3.03's header line instead, marked with the hour of its message: X, 23:00-23:59.
  r = run_program({"log.dat", "E", "--rinex-version", "3.03"}, "log.dat", log);
  nav = lines(r.nav);
  auto gal = std::find_if(nav.begin(), nav.end(),
                          [](const std::string& l) { return l.rfind("GAL ", 0) == 0; });
  ASSERT_TRUE(gal != nav.end()) << r.nav;
  EXPECT_EQ(" X 11  IONOSPHERIC CORR    ", gal->substr(53)) << r.nav;
}

// The standard writers take every satellite the receiver reports, one beyond
// each end refused: QZSS PRN 193-202 (J01-J10), SBAS PRN 120-158 (S20-S58)
// and BeiDou 1-63; RINEX 2.11 holds SBAS but neither QZSS nor BeiDou.
TEST(RinexVersions, EverySatelliteTheReceiverReportsInTheObservations) {
  const uint8_t kSbas = 1, kQzss = 4, kBds = 5;
  auto records = [](uint8_t code, int first, int last) {
    std::vector<Meas> m;
    for (int n = first; n <= last; n++)
      m.push_back({code, (uint8_t)n, 0x07, 40, 2.0e7 + n, 1000.0 + n, 1.0f, 0});
    return m;
  };
  std::vector<Meas> first = records(kQzss, 192, 203), sbas = records(kSbas, 119, 159);
  first.insert(first.end(), sbas.begin(), sbas.end());
  Bytes log = e5(1, 345600000, first);
  append(&log, e5(2, 345601000, records(kBds, 0, 32)));
  append(&log, e5(3, 345602000, records(kBds, 33, 64)));
  auto ids = [](const std::string& obs, char letter) {
    std::string found;
    for (const std::string& l : lines(obs.substr(obs.find("END OF HEADER"))))
      if (!l.empty() && l[0] == letter) found += l.substr(0, 3) + " ";
    return found;
  };
  auto range = [](char letter, int first, int last) {
    std::string s;
    for (int n = first; n <= last; n++) s += letter + fmt_int("%02ld", n) + " ";
    return s;
  };
  for (const char* version : {"3.02", "3.05", "4.00"}) {
    auto r = run_program({"log.dat", "--rinex-version", version}, "log.dat", log);
    EXPECT_EQ(range('J', 1, 10), ids(r.obs, 'J')) << version;
    EXPECT_EQ(range('S', 20, 58), ids(r.obs, 'S')) << version;
    EXPECT_EQ(range('C', 1, 63), ids(r.obs, 'C')) << version;
  }
  auto r = run_program({"log.dat", "--rinex-version", "2.11"}, "log.dat", log);
  Lines epochs;
  for (const std::string& l : lines(r.obs.substr(r.obs.find("END OF HEADER") + 21)))
    if (l.size() > 32 && l.compare(0, 4, " 26 ") == 0 && l[28] == '0')
      epochs.push_back(l.substr(29));
  ASSERT_EQ(1u, epochs.size()) << r.obs;  // the QZSS-and-SBAS epoch; BeiDou's are empty
  EXPECT_EQ(" 39S20S21S22S23S24S25S26S27S28S29S30S31", epochs[0]);
}

// Navigation words before the first measurement (a receiver that has just started): RINEX 4.00's
// ION and STO records are dated by the messages' own transmission times (the HOW, Galileo word 5
// and 6's time of week, BeiDou's seconds of week), their reference weeks resolved against the
// messages' full weeks; one STO a system each time its values change, not one for each satellite
// that sends the same.
TEST(RinexVersions, Rinex4IonAndStoRecordsDatedByTheirMessages) {
  const long long kGpsEpoch = 315964800;  // 1980-01-06 in Unix time
  auto calendar = [&](int week, double tow) {
    time_t t = (time_t)(kGpsEpoch + 604800LL * week + (long long)tow);
    const tm* c = gmtime(&t);
    char b[80];
    snprintf(b, sizeof b, "    %4d %02d %02d %02d %02d %02d", c->tm_year + 1900, c->tm_mon + 1,
             c->tm_mday, c->tm_hour, c->tm_min, c->tm_sec);
    return std::string(b);
  };
  Bytes log;
  GpsLnav g = {};
  g.tow_count = 345000 / 6 + 1, g.week = 2400 % 1024;
  append(&log, frame(gps_subframe_payload(4, 1, encode_gps_lnav(g)[0])));  // week 2400 known
  append(&log, frame(gps_subframe_payload(5, 1, encode_gps_lnav(g)[0])));  // the same week
  GpsPage18 p = {1, {10, -20, 0, 127}, {30, -2, -64, 5}, -20000, 3000, 84, 2400 % 256, 18};
  p.tow_count = 345012 / 6 + 1;
  append(&log, frame(gps_subframe_payload(5, 4, encode_gps_page18(p))));
  append(&log, frame(gps_subframe_payload(6, 4, encode_gps_page18(p))));  // the same: no record
  p.a0 = 3001;
  append(&log, frame(gps_subframe_payload(7, 4, encode_gps_page18(p))));  // another STO
  GalEph e = {};
  e.iodnav = 3, e.wn = 2400 - 1024, e.tow = 345100, e.ai0 = 100, e.ai1 = -5, e.ai2 = 7;
  e.region[1] = e.region[3] = 1;  // disturbance in regions 2 and 4
  for (const GalWord& w : encode_galileo(e)) append(&log, frame(galileo_payload(11, w)));
  append(&log, frame(galileo_payload(11, encode_galileo_type6({-100, 200, 96, 96, 345102}))));
  // The same terms for another reference time, then for another week: two more STOs.
  append(&log, frame(galileo_payload(11, encode_galileo_type6({-100, 200, 97, 96, 345132}))));
  append(&log, frame(galileo_payload(11, encode_galileo_type6({-100, 200, 97, 97, 345162}))));
  // E12, whose ephemeris has not come yet, sends the same terms: no STO.
  append(&log, frame(galileo_payload(12, encode_galileo_type6({-100, 200, 97, 97, 345192}))));
  BdsEph b = {};
  b.sow = 344986, b.wn = 2400 - 1356;
  for (int i = 0; i < 4; i++) b.alpha[i] = 3 * i - 4, b.beta[i] = 5 - i;
  auto d1 = encode_bds_d1(b);
  for (uint8_t sf = 1; sf <= 3; sf++) append(&log, frame(bds_payload(0xE2, 7, sf, d1[sf - 1u])));
  append(&log, frame(bds_payload(0xE2, 7, 5, encode_bds_d1_page10(345010, {18, 18, 0, 4000, -7}))));
  for (uint8_t slot : {0, 25})  // a damaged log's strings of no slot tell no time
    append(&log, frame(glonass_string_payload(slot, 5, glonass_almanac_health_string(4, 1))));
  append(&log, e5(1, 345700000, {{0, 5, 0x07, 40, 2e7, 1.0, 1.0f, 0}}));
  auto r = run_program({"log.dat", "G", "E", "C", "--rinex-version", "4.00"}, "log.dat", log);
  Lines nav = lines(r.nav);
  auto record = [&](const std::string& head) {
    auto at = std::find(nav.begin(), nav.end(), head);
    Lines found;
    for (auto l = at; at != nav.end() && ++l != nav.end() && (*l)[0] == ' ';) found.push_back(*l);
    return found;
  };
  const std::string f0 = e19(0.0);
  EXPECT_EQ((Lines{calendar(2400, 345012) + e19(10 * 0x1p-30) + e19(-20 * 0x1p-27) + f0,
                   "    " + e19(127 * 0x1p-24) + e19(30 * 2048.0) + e19(-2 * 16384.0) +
                       e19(-64 * 65536.0),
                   "    " + e19(5 * 65536.0) + f0}),
            record("> ION G05 LNAV"));
  const Lines sto_g05 = {calendar(2400, 344064) + " GPUT" + std::string(15, ' ') +
                             std::string(19, ' ') + "UTC(USNO)         ",
                         "    " + e19(345012) + e19(3000 * 0x1p-30) + e19(-20000 * 0x1p-50) + f0};
  EXPECT_EQ(sto_g05, record("> STO G05 LNAV"));
  EXPECT_EQ("    " + e19(345012) + e19(3001 * 0x1p-30) + e19(-20000 * 0x1p-50) + f0,
            record("> STO G07 LNAV").back());
  // RINEX 3's header line of the same terms (A4,1X,D17.10,D16.9,1X,I6,1X,I4): tot 84 x 4096 s
  // and WNt 2400 mod 256 resolved to the full week.
  auto r3 = run_program({"log.dat", "G", "--rinex-version", "3.04"}, "log.dat", log);
  std::string gput;
  for (const std::string& l : lines(r3.nav))
    if (l.compare(0, 5, "GPUT ") == 0 && l.find("TIME SYSTEM CORR") != std::string::npos) gput = l;
  EXPECT_EQ(" 344064 2400", gput.substr(std::min<size_t>(38, gput.size()), 12)) << r3.nav;
  // RINEX 2.11's DELTA-UTC line (3X,2D19.12,2I9): W a continuous GPS week too (G05's
  // whole ephemeris makes the GPS file written).
  Bytes whole = log;
  for (uint8_t sf : {2, 3})
    append(&whole, frame(gps_subframe_payload(5, sf, encode_gps_lnav(g)[sf - 1u])));
  GpsPage18 latest = p;  // its latest terms, A1 positive: A0 and A1 are D19.12 fields still
  latest.a1 = 20000;
  append(&whole, frame(gps_subframe_payload(5, 4, encode_gps_page18(latest))));
  char terms[48];
  snprintf(terms, sizeof terms, "   %19.12E%19.12E", 3001 * 0x1p-30, 20000 * 0x1p-50);
  for (char* c = terms; *c; c++) *c = *c == 'E' ? 'D' : *c;
  std::string delta, ion, want_ion;
  for (const std::string& l :
       lines(run_program({"log.dat", "G", "--rinex-version", "2.11"}, "log.dat", whole).nav)) {
    if (l.find("DELTA-UTC: A0,A1,T,W") == 60) delta = l;
    if (l.find("ION ") == 60) ion += l.substr(0, 50) + "\n";
  }
  EXPECT_EQ(terms + std::string("   344064     2400"), delta.substr(0, 59)) << delta;
  // ION ALPHA and ION BETA (2X,4D12.4) of the page's fields by their scale factors.
  const double kIon[2][4] = {{10 * 0x1p-30, -20 * 0x1p-27, 0, 127 * 0x1p-24},
                             {30 * 0x1p11, -2 * 0x1p14, -64 * 0x1p16, 5 * 0x1p16}};
  for (const auto& row : kIon)
    want_ion += "  " + fmt("%12.4E", row[0]) + fmt("%12.4E", row[1]) + fmt("%12.4E", row[2]) +
                fmt("%12.4E", row[3]) + "\n";
  for (char& c : want_ion) c = c == 'E' ? 'D' : c;
  EXPECT_EQ(want_ion, ion);
  // The source satellite and UTC identifier (A5,1X,I2) of these lines: UTC(USNO) is 2 and
  // UTC(Europe) 5; BeiDou's UTC(NTSC) is 7 from 3.03 on, and unknown (0) in 3.02, which
  // numbers no UTC past 6 and names no source. LEAP SECONDS names its system from 3.03 on,
  // and IONOSPHERIC CORR (4D12.4) the hour of its message (X, 23:00-23:59) and its satellite.
  for (const char* v : {"3.02", "3.03"}) {
    std::map<std::string, std::string> corr;
    std::string gaut_terms, leap, gpsa;
    for (const std::string& l :
         lines(run_program({"log.dat", "--rinex-version", v}, "log.dat", log).nav)) {
      if (l.find("TIME SYSTEM CORR") == 60) {
        corr[l.substr(0, 4)] = l.substr(38, 21);
        if (l.compare(0, 4, "GAUT") == 0) gaut_terms = l.substr(5, 33);
      }
      if (l.find("LEAP SECONDS") == 60) leap = l.substr(0, 60);
      if (l.compare(0, 5, "GPSA ") == 0) gpsa = l.substr(0, 60);
    }
    bool v302 = v[3] == '2';
    EXPECT_EQ("    18" + std::string(18, ' ') + (v302 ? "   " : "GPS") + std::string(33, ' '),
              leap);
    std::string alpha = "GPSA ";
    for (double a : kIon[0]) alpha += fmt("%12.4E", a);
    EXPECT_EQ(label(alpha + (v302 ? "" : " X  5"), "").substr(0, 60), gpsa) << v;
    EXPECT_EQ(std::string("      0 1044 ") + (v302 ? "       0" : "  C07  7"), corr["BDUT"]) << v;
    EXPECT_EQ(" 2", corr["GPUT"].substr(std::min<size_t>(19, corr["GPUT"].size()))) << v;
    EXPECT_EQ(" 5", corr["GAUT"].substr(std::min<size_t>(19, corr["GAUT"].size()))) << v;
    // A0 and A1 (D17.10, D16.9) of a positive A1: no column given up to a sign.
    char terms[40];
    snprintf(terms, sizeof terms, "%17.10E%16.9E", -100 * 0x1p-30, 200 * 0x1p-50);
    EXPECT_EQ(terms, gaut_terms) << v;
  }
  // BeiDou's terms hold for a BDT week: a message of BDT week 1044's last
  // second, heard 13 s into GPS week 2401, is of week 1044; one of week 1045's
  // first second, heard 14 s into it, of week 1045.
  for (const auto& sow_week : std::map<uint32_t, std::string>{{604799, "1044"}, {0, "1045"}}) {
    Bytes last = e5(1, 345700000, {{0, 5, 0x07, 40, 2e7, 1.0, 1.0f, 0}});
    append(&last, frame(bds_payload(0xE2, 7, 5,
                                    encode_bds_d1_page10(sow_week.first, {18, 18, 0, 4000, -7}))));
    std::string bdut;
    for (const std::string& l :
         lines(run_program({"log.dat", "--rinex-version", "3.04"}, "log.dat", last).nav))
      if (l.compare(0, 4, "BDUT") == 0) bdut = l;
    EXPECT_EQ("      0 " + sow_week.second, bdut.substr(std::min<size_t>(38, bdut.size()), 12));
    std::string nav4 = run_program({"log.dat", "--rinex-version", "4.00"}, "log.dat", last).nav;
    EXPECT_TRUE(Holds(nav4, "UTC(NTSC)         \n    " + e19(sow_week.first)));
  }
  EXPECT_EQ((Lines{calendar(2400, 345100) + e19(100 * 0x1p-2) + e19(-5 * 0x1p-8) + e19(7 * 0x1p-15),
                   "    " + e19(2 + 8)}),  // the flags of regions 1 to 5 as bits 0 to 4
            record("> ION E11 IFNV"));
  EXPECT_EQ((Lines{calendar(2400, 345600) + " GAUT" + std::string(15, ' ') + std::string(19, ' ') +
                       "UTCGAL            ",
                   "    " + e19(345102) + e19(-100 * 0x1p-30) + e19(200 * 0x1p-50) + f0}),
            record("> STO E11 IFNV"));
  // BeiDou in its own time: BDT is GPS time minus 14 s; its terms refer to its week's start.
  EXPECT_EQ(
      (Lines{calendar(2400, 344998) + e19(-4 * 0x1p-30) + e19(-1 * 0x1p-27) + e19(2 * 0x1p-24),
             "    " + e19(5 * 0x1p-24) + e19(5 * 2048.0) + e19(4 * 16384.0) + e19(3 * 65536.0),
             "    " + e19(2 * 65536.0) + f0}),  // beta 0 spans two words
      record("> ION C07 D1D2"));
  EXPECT_EQ((Lines{calendar(2400, 0) + " BDUT" + std::string(15, ' ') + std::string(19, ' ') +
                       "UTC(NTSC)         ",
                   "    " + e19(345010) + e19(4000 * 0x1p-30) + e19(-7 * 0x1p-50) + f0}),
            record("> STO C07 D1D2"));
  std::string sto;  // the satellites of the STO records: G07 and E11's new values, not E12's copy
  for (const std::string& l : nav) sto += l.compare(0, 5, "> STO") == 0 ? l.substr(6, 4) : "";
  EXPECT_EQ("G05 G07 E11 E11 E11 C07 ", sto) << r.nav;
  // Page 18 before any message has told the week: dated once subframe 1 tells it.
  Bytes late;
  p.a0 = 3000;
  append(&late, frame(gps_subframe_payload(5, 4, encode_gps_page18(p))));
  append(&late, frame(gps_subframe_payload(5, 1, encode_gps_lnav(g)[0])));
  append(&late, e5(1, 345700000, {{0, 5, 0x07, 40, 2e7, 1.0, 1.0f, 0}}));
  r = run_program({"log.dat", "G", "--rinex-version", "4.00"}, "log.dat", late);
  nav = lines(r.nav);
  ASSERT_FALSE(record("> ION G05 LNAV").empty()) << r.nav;
  EXPECT_EQ(calendar(2400, 345012) + e19(10 * 0x1p-30) + e19(-20 * 0x1p-27) + f0,
            record("> ION G05 LNAV").front());
  // The UTC terms' reference week (8 bits) one behind the week the message came in.
  EXPECT_EQ(sto_g05, record("> STO G05 LNAV")) << r.nav;  // and only once it is dated
  Bytes behind;
  p.wnt = (2400 - 1) % 256;
  append(&behind, frame(gps_subframe_payload(5, 1, encode_gps_lnav(g)[0])));
  append(&behind, frame(gps_subframe_payload(5, 4, encode_gps_page18(p))));
  GpsPage18 q = p;
  q.data_id = 3;  // QZSS's own parameters, from J01
  append(&behind, frame(gps_subframe_payload(193, 4, encode_gps_page18(q))));
  append(&behind, e5(1, 345700000, {{0, 5, 0x07, 40, 2e7, 1.0, 1.0f, 0}}));
  r = run_program({"log.dat", "G", "J", "--rinex-version", "4.00"}, "log.dat", behind);
  nav = lines(r.nav);
  ASSERT_FALSE(record("> STO G05 LNAV").empty()) << r.nav;
  EXPECT_FALSE(record("> STO J01 LNAV").empty()) << r.nav;
  EXPECT_EQ(calendar(2399, 344064), record("> STO G05 LNAV").front().substr(0, 23)) << r.nav;
  r = run_program({"log.dat", "G", "J", "--rinex-version", "3.04"}, "log.dat", behind);
  EXPECT_TRUE(Holds(r.nav, " 344064 2399   J01  6 TIME SYSTEM CORR"));
  EXPECT_TRUE(Holds(r.nav, label("    18" + std::string(18, ' ') + "GPS", "LEAP SECONDS")));
  // A page 18 whose week no message ever tells: not written, and said.
  Bytes never;
  append(&never, frame(gps_subframe_payload(5, 4, encode_gps_page18(p))));
  r = run_program({"log.dat", "G", "--rinex-version", "4.00"}, "log.dat", never);
  EXPECT_TRUE(Holds(r.nav, label("    18", "LEAP SECONDS")));  // I6
  EXPECT_TRUE(Holds(r.out,
                    "ION and STO records whose message's time the log does not tell, not "
                    "written: 2\n"));
  // Then an epoch and an SBAS message, the only one after it: the receiver's week dates both.
  append(&never, e5(1, 345700000, {{0, 5, 0x07, 40, 2e7, 1.0, 1.0f, 0}}));
  append(&never, frame(sbas_payload(129, encode_sbas_mt12(1000, 352))));
  r = run_program({"log.dat", "G", "--rinex-version", "4.00"}, "log.dat", never);
  nav = lines(r.nav);
  EXPECT_EQ(calendar(2400, 345012), record("> ION G05 LNAV").at(0).substr(0, 23)) << r.nav;
  EXPECT_EQ(2u, record("> STO G05 LNAV").size()) << r.nav;
  // Messages of the end of a week heard after an epoch of the next: their week.
  Bytes rollover;
  append(&rollover, e5(1, 3000, {{0, 5, 0x07, 40, 2e7, 1.0, 1.0f, 0}}));
  g.week = 2399 % 1024, g.tow_count = 604788 / 6 + 1, p.tow_count = 604788 / 6 + 1;
  append(&rollover, frame(gps_subframe_payload(5, 1, encode_gps_lnav(g)[0])));
  append(&rollover, frame(gps_subframe_payload(5, 4, encode_gps_page18(p))));
  r = run_program({"log.dat", "G", "--rinex-version", "4.00"}, "log.dat", rollover);
  nav = lines(r.nav);
  ASSERT_FALSE(record("> ION G05 LNAV").empty()) << r.nav;
  EXPECT_EQ(calendar(2399, 604788), record("> ION G05 LNAV").front().substr(0, 23)) << r.nav;
}
