// Reading back the files an earlier run left unfinished: where the last whole
// navigation record ends for each system and version (a record has the lines
// its system and version give it), and the observation files' epochs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "expect_format.h"
#include "output/recovery.h"
#include "output_sink.h"
#include "rinex_config.h"
#include "rinex_names.h"
#include "rinex_text.h"
#include "runner.h"
#include "settings.h"

using namespace vlntest;

namespace {

std::string header(const char* version_line) {
  return header_line(version_line, "RINEX VERSION / TYPE") + header_line("", "END OF HEADER");
}

// A record: its first line, then n more.
std::string record(const std::string& first, int more) {
  std::string r = first + " 1.0\n";
  for (int i = 0; i < more; i++) r += "     1.0\n";
  return r;
}

}  // namespace

// Records of each system in each version, the file cut inside the last one: the recovered file ends
// after the records before it, however many lines their systems give them (GLONASS 4 lines in 3.04,
// 5 from 3.05; SBAS 4; the others 8; RINEX 4 by the message its "> EPH" line names).
TEST(Recovery, NavigationRecordsOfEverySystemAndVersionUpToTheCut) {
  const struct {
    const char* version;
    std::vector<std::string> records;  // whole records, then the one that is cut
  } kFiles[] = {
      {"     3.04           N: GNSS NAV DATA    M",
       {record("R01 2026 01 08 00 15 00", 3), record("S20 2026 01 08 00 00 00", 3),
        record("G01 2026 01 08 00 00 00", 7), record("R02 2026 01 08 00 15 00", 3)}},
      {"     3.05           N: GNSS NAV DATA    M",
       {record("R01 2026 01 08 00 15 00", 4), record("E01 2026 01 08 00 00 00", 7),
        record("S20 2026 01 08 00 00 00", 3), record("R02 2026 01 08 00 15 00", 4)}},
      {"     2.11           G: GLONASS NAV DATA",
       {record(" 1 26  1  8  0 15  0.0", 3), record(" 2 26  1  8  0 15  0.0", 3)}},
      {"     2.11           N: GPS NAV DATA",
       {record(" 1 26  1  8  0  0  0.0", 7), record(" 2 26  1  8  0  0  0.0", 7)}},
      {"     4.00           NAVIGATION DATA     M",
       {"> EPH R01 FDMA\n" + record("R01 2026 01 08 00 15 00", 4),
        "> EPH S20 SBAS\n" + record("S20 2026 01 08 00 00 00", 3),
        "> EPH G01 LNAV\n" + record("G01 2026 01 08 00 00 00", 7),
        "> STO G01 LNAV\n" + record("    2026 01 08 00 00 00 GPUT", 1),
        "> EPH G02 LNAV\n" + record("G02 2026 01 08 00 00 00", 7)}},
  };
  for (const auto& f : kFiles) {
    std::string whole = header(f.version);
    for (size_t i = 0; i + 1 < f.records.size(); i++) whole += f.records[i];
    const std::string& last = f.records.back();
    for (size_t keep : {last.size(), last.size() - 9, (size_t)1}) {
      std::string text = whole + last.substr(0, keep);
      long records = -1;
      size_t end = Recover_nav_end(text, &records);
      bool all = keep == last.size();
      EXPECT_EQ((long)f.records.size() - (all ? 0 : 1), records) << f.version << " " << keep;
      EXPECT_EQ(all ? text.size() : whole.size(), end) << f.version << " " << keep;
    }
  }
}

// A RINEX 2.11 station's files carry the short names of its four-character prefix: an unfinished
// one is recovered under its own name (a long name's sampling field is not looked for in it),
// plain, and gzip whose members end inside epochs (a member is a few MiB of text), an epoch of 13
// satellites among them: the recovered file holds the whole epochs, its last member written again
// up to the cut.
TEST(Recovery, ShortNamesOfARinex2Station) {
  Settings s;
  ASSERT_EQ("", Settings_apply(&s, SET_MARKER_NAME, "ZIMZ"));
  ASSERT_EQ("", Settings_apply(&s, SET_RINEX_VERSION, "2.11"));
  RINEX_configure(s);
  EXPECT_EQ("zimz", RINEX_station_prefix());
  RINEX_configure(Settings{});
  std::string dir = temp_path("");
  std::filesystem::create_directories(dir);
  // Six types: each satellite's record on two lines, the second with one value.
  std::string head =
      "     2.11           OBSERVATION DATA    G                   RINEX VERSION / TYPE\n"
      "     6    C1    L1    D1    S1    C2    L2                  # / TYPES OF OBSERV\n"
      "     1.000                                                  INTERVAL\n"
      "  2026     1     8     0     0    0.0000000     GPS         TIME OF FIRST OBS\n"
      "  2026     1     8     1     0    0.0000000     GPS         TIME OF LAST OBS\n"
      "                                                            END OF HEADER\n";
  for (int i = 0; i < 900; i++)  // 72 KiB of comments: a header of two stored blocks
    head.insert(head.find("INTERVAL") - 60, std::string(60, 'c') + "COMMENT             \n");
  const std::string record = "  20000000.000  20000000.000\n  20000000.000\n";
  // The second epoch has 13 satellites: its epoch line goes on in a second line.
  std::string epochs = " 25 12 31 23 59  0.0000000  0  2G05G07\n" + record + record;
  epochs += " 26  1  1  0  0  0.0000000  0 13G01G02G03G04G05G06G07G08G09G10G11G12\n" +
            std::string(32, ' ') + "G13\n";
  for (int sat = 1; sat <= 13; sat++) epochs += record;
  const std::string cut =
      " 26  1  1  0  1  0.0000000  0  2G05G07\n" + record;  // in its second record
  const std::string text = epochs + cut;
  const size_t split = epochs.size() / 2 + 3;  // the first member ends in the second epoch
  const struct {
    const char* name;
    std::string bytes;
  } kFiles[] = {
      {"algo008a.26o", head + text},
      {"algo008a.26o.gz", Sink_stored_member_text(head.data(), head.size()) +
                              Sink_member_text(text.data(), split) +
                              Sink_member_text(text.data() + split, text.size() - split)}};
  for (const auto& f : kFiles) {
    std::ofstream(dir + "/" + f.name + ".incomplete", std::ios::binary) << f.bytes;
    std::vector<std::string> lines = Recover_station_files(dir, "", "algo");
    ASSERT_EQ(1u, lines.size()) << f.name;
    const std::string name =
        std::string(f.name) + " from an earlier run: 2 epochs";  // either slash
    EXPECT_EQ(0u, lines[0].find("Recovered " + dir)) << lines[0];
    EXPECT_EQ(lines[0].size() - name.size(), lines[0].find(name)) << lines[0];
    std::string recovered = read_file(dir + "/" + f.name);
    std::string error;
    if (f.bytes[0] != ' ') {
      ASSERT_TRUE(read_rinex_text(dir + "/" + f.name, &recovered, &error)) << error;
    }
    EXPECT_TRUE(Holds(recovered, header_line("  2026     1     1     0     0    0.0000000     GPS",
                                             "TIME OF LAST OBS")));
    // The epochs' spacing, a minute, across the new year.
    EXPECT_TRUE(Holds(recovered, header_line("    60.000", "INTERVAL")));
    EXPECT_EQ(epochs, recovered.substr(recovered.find("END OF HEADER\n") + 14)) << f.name;
    std::filesystem::remove(dir + "/" + f.name);
  }
  std::ofstream(dir + "/algo008b.26o.incomplete", std::ios::binary) << head.substr(0, 100);
  std::vector<std::string> out = Recover_station_files(dir, "", "algo");  // cut in its header
  EXPECT_TRUE(Holds(out.empty() ? "" : out[0], "it holds no whole header; it is left"));
  std::filesystem::remove_all(dir);
}

// A second part of an hour whose sampling was not known yet gets its final
// name from its epochs, and its raw journal the same name: the .part2 stays.
TEST(Recovery, APartsJournalIsNamedAfterItsRecoveredFile) {
  std::string dir = temp_path("");
  std::filesystem::create_directories(dir + "/raw");
  const std::string name = "XXXX00XXX_R_20260080100_01H_00U_MO.part2";
  std::string text =
      "     3.05           OBSERVATION DATA    G                   RINEX VERSION / TYPE\n"
      "G    1 C1C                                                  SYS / # / OBS TYPES\n"
      "  2026     1     8     1     0    0.0000000     GPS         TIME OF FIRST OBS\n"
      "                                                            END OF HEADER\n";
  for (const char* seconds : {"00", "10", "20"})
    text += std::string("> 2026 01 08 01 00 ") + seconds + ".0000000  0  1\nG05  20000000.000\n";
  std::ofstream(dir + "/" + name + ".rnx.incomplete", std::ios::binary) << text;
  std::ofstream(dir + "/raw/" + name + ".raw.incomplete", std::ios::binary) << "raw bytes";
  std::vector<std::string> lines = Recover_station_files(dir, dir + "/raw", "XXXX00XXX");
  const std::string final_stem = "XXXX00XXX_R_20260080100_01H_10S_MO.part2";
  ASSERT_EQ(2u, lines.size());
  EXPECT_TRUE(Holds(lines[0], final_stem + ".rnx from an earlier run: 3 epochs"));
  EXPECT_TRUE(Holds(lines[1], final_stem + ".raw from an earlier run"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/raw/" + final_stem + ".raw"));
  std::filesystem::remove_all(dir);
}
