// vln_qc OBS NAV... [--html FILE] [--json FILE] [--mask DEG]: the quality
// report of an observation file with its navigation files, as text on
// standard output and, when asked, as JSON and a self-contained HTML page.
#include <cerrno>
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
  return kQcUsage;
}

// Whether a file can be made at path: a file beside it is made and removed
// (an existing report is not touched before the work is done).
bool can_write(const std::string& path, std::string* why) {
  std::string probe = path + ".vln_qc_probe";
  FILE* f = fopen(probe.c_str(), "wb");
  if (f == nullptr) {
    *why = strerror(errno);
    return false;
  }
  fclose(f);
  remove(probe.c_str());
  return true;
}

// Writes beside the path and renames over it, so that a report is whole or absent.
bool write_file(const std::string& path, const std::string& text, std::string* why) {
  std::string temporary = path + ".vln_qc_probe";
  FILE* f = fopen(temporary.c_str(), "wb");
  bool ok = f != nullptr && fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = f != nullptr && fclose(f) == 0 && ok;
  if (ok) {
    remove(path.c_str());  // Windows renames over no file
    ok = rename(temporary.c_str(), path.c_str()) == 0;
  }
  if (!ok) {
    *why = strerror(errno);
    remove(temporary.c_str());
  }
  return ok;
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
  Settings station;
  if (!station_file.empty()) {
    std::string why = Settings_read_file(station_file, &station);
    if (!why.empty()) {
      fprintf(stderr, "vln_qc: %s\n", why.c_str());
      return kQcBadInput;
    }
  }
  // A report file that cannot be written is refused before the work, with the system's reason.
  for (const std::string& path : {json, html}) {
    std::string why;
    if (!path.empty() && !can_write(path, &why)) {
      fprintf(stderr, "vln_qc: %s cannot be written: %s\n", path.c_str(), why.c_str());
      return kQcWriteError;
    }
  }
  QcReport r;
  std::string error;
  int status = qc_report_files(files[0], std::vector<std::string>(files.begin() + 1, files.end()),
                               mask, &r, &error);
  if (status != 0) {
    fprintf(stderr, "vln_qc: %s\n", error.c_str());
    return status;
  }
  r.version = VLN_VERSION;
  if (!station_file.empty()) {
    std::map<std::string, std::string> given;
    for (int id = 0; id < SET_COUNT; id++)
      if (station.given[id]) given[Settings_name(id)] = station.text[id];
    qc_check_station(given, &r);
  }
  fputs(qc_text(r).c_str(), stdout);
  for (const auto& out : {std::make_pair(json, &qc_json), std::make_pair(html, &qc_html)}) {
    std::string why;
    if (!out.first.empty() && !write_file(out.first, out.second(r), &why)) {
      fprintf(stderr, "vln_qc: %s cannot be written: %s\n", out.first.c_str(), why.c_str());
      return kQcWriteError;
    }
  }
  return 0;
}
