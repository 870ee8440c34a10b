// vln_qc OBS NAV... [--html FILE] [--json FILE] [--mask DEG]: the quality
// report of an observation file with its navigation files, as text on
// standard output and, when asked, as JSON and a self-contained HTML page.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "qc.h"
#include "settings.h"

namespace {

// Exit statuses.
constexpr int kUsage = 1;       // the command line is wrong
constexpr int kBadInput = 2;    // an input file cannot be read or is not what it must be
constexpr int kMismatch = 3;    // the files do not belong together
constexpr int kWriteError = 4;  // a report file cannot be written

const char kUsageText[] =
    "usage: vln_qc OBS NAV... [--html FILE] [--json FILE] [--mask DEG] [--station-file FILE]\n"
    "  OBS  RINEX 2.11-4.00 observation file (plain, Compact RINEX, gzip)\n"
    "  NAV  RINEX 2.11-4.00 navigation files, one or more\n"
    "  --html FILE  the report as one self-contained page\n"
    "  --json FILE  the report as JSON\n"
    "  --mask DEG   elevation mask of the expected observations (default 10)\n"
    "  --station-file FILE  the converter's station file: the report says where\n"
    "               the header differs from it (marker, receiver, antenna, radome,\n"
    "               antenna delta, position)\n"
    "  --help       this text\n";

int usage(const char* why) {
  fprintf(stderr, "vln_qc: %s\n%s", why, kUsageText);
  return kUsage;
}

bool write_file(const std::string& path, const std::string& text) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
  return fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  std::string html, json, station_file;
  double mask = 10;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      fputs(kUsageText, stdout);
      return 0;
    }
    if (a == "--html" || a == "--json" || a == "--mask" || a == "--station-file") {
      if (i + 1 >= argc) return usage((a + " needs a value").c_str());
      std::string v = argv[++i];
      if (a == "--html") html = v;
      if (a == "--json") json = v;
      if (a == "--station-file") station_file = v;
      if (a == "--mask") {
        char* end;
        mask = strtod(v.c_str(), &end);
        if (*end != '\0' || !(mask >= 0 && mask < 90))
          return usage("--mask takes degrees from 0 to 90");
      }
    } else if (a.compare(0, 2, "--") == 0) {
      return usage(("unknown option " + a).c_str());
    } else {
      files.push_back(a);
    }
  }
  if (files.size() < 2)
    return usage("an observation file and at least one navigation file are needed");
  ObsFile obs;
  std::string error;
  if (!read_obs_file(files[0], &obs, &error)) {
    fprintf(stderr, "vln_qc: %s\n", error.c_str());
    return kBadInput;
  }
  if (obs.epochs.empty()) {
    fprintf(stderr, "vln_qc: %s: no observation epoch\n", files[0].c_str());
    return kBadInput;
  }
  bc::NavData nav;
  for (size_t i = 1; i < files.size(); i++) {
    size_t before = 0;
    for (const auto& s : nav.by_sat) before += s.second.size();
    if (!bc::read_nav_file(files[i], &nav, &error)) {
      fprintf(stderr, "vln_qc: %s\n", error.c_str());
      return kBadInput;
    }
    size_t after = 0;
    for (const auto& s : nav.by_sat) after += s.second.size();
    if (after == before) {
      fprintf(stderr, "vln_qc: %s: no navigation record it can use\n", files[i].c_str());
      return kBadInput;
    }
  }
  Settings station;
  if (!station_file.empty()) {
    std::string why = Settings_read_file(station_file, &station);
    if (!why.empty()) {
      fprintf(stderr, "vln_qc: %s\n", why.c_str());
      return kBadInput;
    }
  }
  QcReport r = qc_analyse(obs, nav, mask);
  r.version = VLN_VERSION;
  if (!station_file.empty()) {
    std::map<std::string, std::string> given;
    for (int id = 0; id < SET_COUNT; id++)
      if (station.given[id]) given[Settings_name(id)] = station.text[id];
    qc_check_station(given, &r);
  }
  r.obs_file = files[0];
  r.nav_files.assign(files.begin() + 1, files.end());
  long expected = 0;
  for (const QcSignal& s : r.signals) expected += s.expected > 0 ? s.expected : 0;
  if (expected == 0) {
    fprintf(stderr,
            "vln_qc: the navigation files hold no orbit for any observed satellite at the "
            "observation times (other satellites, or days apart)\n");
    return kMismatch;
  }
  fputs(qc_text(r).c_str(), stdout);
  if (!json.empty() && !write_file(json, qc_json(r))) {
    fprintf(stderr, "vln_qc: %s cannot be written\n", json.c_str());
    return kWriteError;
  }
  if (!html.empty() && !write_file(html, qc_html(r))) {
    fprintf(stderr, "vln_qc: %s cannot be written\n", html.c_str());
    return kWriteError;
  }
  return 0;
}
