// The merge reads each file's text, cuts it into header lines and records
// (a record: its first line, whose first column is not blank, and the lines
// after it that are; RINEX 4: a "> EPH" line first), keys each record and
// writes the first of each key in the output generation's layout.
#include "nav_merge.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "broadcast.h"
#include "creation_date.h"
#include "file_io.h"
#include "nav_records.h"
#include "obs_writer.h"
#include "output_names.h"
#include "output_sink.h"
#include "rinex_text.h"

namespace {

struct Record {
  char sys = 'G';
  int prn = 0;
  double t = 0;                    // seconds since the GPS epoch of its epoch, as written
  std::string message;             // RINEX 4: LNAV, FDMA ...; "" when the file does not say
  std::vector<std::string> lines;  // in RINEX 3 layout
  std::string key;
};

struct NavFile {
  double version = 3;
  std::vector<std::string> header;  // without RINEX VERSION / TYPE, PGM and END OF HEADER
  std::vector<Record> records;
  long other_records = 0;  // RINEX 4 ION, STO, EOP
};

std::string label_of(const std::string& l) { return l.size() > 60 ? l.substr(60) : ""; }

bool starts(const std::string& l, const char* label) {
  return l.size() > 60 && l.compare(60, strlen(label), label) == 0;
}

// Columns at..at+len of a line, as far as it goes ("" beyond its end).
std::string cols(const std::string& l, size_t at, size_t len) {
  return at < l.size() ? l.substr(at, len) : "";
}

int number(const std::string& l, size_t at, size_t len) { return atoi(cols(l, at, len).c_str()); }

// A field's text as a number, its exponent written D or E.
double value_of(std::string f) {
  for (char& c : f)
    if (c == 'D' || c == 'd') c = 'E';
  return atof(f.c_str());
}

// A field of a record as a number.
double value(const std::string& l, size_t at, size_t len) { return value_of(cols(l, at, len)); }

// A RINEX 2 record's first line as RINEX 3 writes it ("G05 2021 01 01 ...").
std::string first_line_3(char sys, const std::string& l) {
  int prn = number(l, 0, 2), yy = number(l, 3, 2);
  char text[32];
  snprintf(text, sizeof text, "%c%02d %04d %02d %02d %02d %02d %02d", sys, prn,
           yy < 80 ? 2000 + yy : 1900 + yy, number(l, 6, 2), number(l, 9, 2), number(l, 12, 2),
           number(l, 15, 2), (int)std::lround(value(l, 17, 5)));
  return std::string(text) + (l.size() > 22 ? l.substr(22) : "");
}

// The message of a record a RINEX 3 file does not name, as RINEX 4 names it.
std::string message_of(const Record& r) {
  switch (r.sys) {
    case 'G':
    case 'J':
    case 'I': return "LNAV";
    case 'R': return "FDMA";
    case 'S': return "SBAS";
    case 'C': return (r.prn <= 5 || r.prn >= 59) ? "D2" : "D1";
    case 'E': {
      // Data sources (line 6, field 2): bit 1 F/NAV E5a.
      double sources = r.lines.size() > 5 ? value(r.lines[5], 23, 19) : 0;
      return std::fabs(sources) < 1e6 && ((long)sources & 2) != 0 ? "FNAV" : "INAV";
    }
    default: return "";
  }
}

bool read_nav(const std::string& path, NavFile* f, std::string* error) {
  std::string text;
  if (!read_rinex_text(path, &text, error)) return false;
  size_t at = 0;
  std::vector<std::string> lines;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    lines.push_back(text.substr(at, nl - at));
    at = nl + 1;
  }
  size_t i = 0;
  char file_sys = 'G';
  bool ended = false;
  for (; i < lines.size(); i++) {
    const std::string& l = lines[i];
    if (starts(l, "RINEX VERSION / TYPE")) {
      f->version = atof(l.substr(0, 9).c_str());
      char type = l.size() > 20 ? l[20] : ' ';
      if (!(type == 'N' || (f->version < 3 && (type == 'G' || type == 'H')))) {
        *error = path + ": not a RINEX navigation file";
        return false;
      }
      file_sys = type == 'G' ? 'R' : type == 'H' ? 'S' : 'G';
      if (f->version >= 3 && l.size() > 40 && l[40] != ' ' && l[40] != 'M') file_sys = l[40];
    } else if (starts(l, "END OF HEADER")) {
      ended = true;
      i++;
      break;
    } else if (!starts(l, "PGM / RUN BY / DATE")) {
      f->header.push_back(l);
    }
  }
  if (!ended) {
    *error = path + ": no END OF HEADER";
    return false;
  }
  bool v2 = f->version < 3;
  std::string message;
  bool skip = false;
  while (i < lines.size()) {
    const std::string& l = lines[i];
    if (l.empty()) {
      i++;
      continue;
    }
    if (l[0] == '>') {  // RINEX 4: the next record's kind
      skip = l.compare(0, 5, "> EPH") != 0;
      if (skip) f->other_records++;
      message = l.size() > 10 ? l.substr(10) : "";
      message.erase(message.find_last_not_of(' ') + 1);
      i++;
      continue;
    }
    bool first = v2 ? l.size() > 1 && l[1] != ' ' : l[0] != ' ';
    if (!first) {
      i++;
      continue;
    }
    Record r;
    r.sys = v2 ? file_sys : l[0];
    r.lines.push_back(v2 ? first_line_3(file_sys, l) : l);
    for (i++; i < lines.size() && !lines[i].empty() && lines[i][0] == ' ' &&
              !(v2 && lines[i].size() > 1 && lines[i][1] != ' ');
         i++)
      r.lines.push_back(v2 ? " " + lines[i] : lines[i]);
    if (skip) continue;
    const std::string& h = r.lines[0];
    r.prn = number(h, 1, 2);
    r.t = bc::seconds_since_gps_epoch(number(h, 4, 4), number(h, 9, 2), number(h, 12, 2),
                                      number(h, 15, 2), number(h, 18, 2), number(h, 21, 2));
    r.message = message.empty() ? message_of(r) : message;
    message.clear();
    // Issue of data: the first field of the second line (GPS, QZSS IODE;
    // Galileo IODnav; BeiDou AODE); GLONASS and SBAS by their epoch alone.
    std::string iod =
        r.lines.size() > 1 && strchr("GJEC", r.sys) != nullptr ? cols(r.lines[1], 4, 19) : "";
    r.key = h.substr(0, std::min<size_t>(23, h.size())) + " " + r.message + " " + iod;
    f->records.push_back(r);
  }
  return true;
}

// A record (its lines in RINEX 3 layout) as the navigation writers take it,
// in the lines the version gives its system: GLONASS has a fifth line from
// 3.05 on (blank when the file had none).
NavRecord nav_record(const Record& rec, int version) {
  NavRecord r = {};
  const std::string& h = rec.lines[0];
  r.letter = rec.sys;
  r.number = rec.prn;
  r.message = rec.message.c_str();
  r.epoch.year = (S16)number(h, 4, 4);
  r.epoch.month = (S16)number(h, 9, 2);
  r.epoch.day = (S16)number(h, 12, 2);
  r.epoch.hour = (S16)number(h, 15, 2);
  r.epoch.minute = (S16)number(h, 18, 2);
  r.epoch.sec = number(h, 21, 2);
  r.lines = (int)std::min<size_t>(rec.lines.size(), NAV_MAX_LINES);
  if (rec.sys == 'R') r.lines = version < 305 ? std::min(r.lines, 4) : std::max(r.lines, 5);
  for (int n = 0; n < r.lines; n++)
    for (int k = n == 0 ? 1 : 0; k < 4; k++) {
      size_t at = n == 0 ? 23 + 19 * (size_t)(k - 1) : 4 + 19 * (size_t)k;
      std::string field = (size_t)n < rec.lines.size() ? cols(rec.lines[(size_t)n], at, 19) : "";
      r.f[n][k].blank = field.find_first_not_of(' ') == std::string::npos;
      r.f[n][k].value = r.f[n][k].blank ? 0 : value_of(field);
    }
  return r;
}

std::string header_line(const std::string& content, const char* label) {
  std::string s = content.substr(0, 60);
  s.resize(60, ' ');
  return s + label + "\n";
}

}  // namespace

bool Nav_is_navigation_file(const std::string& path) {
  RinexLines in;
  std::string error, line;
  if (!in.open(path, &error) || !in.next(&line)) return false;
  if (line.size() <= 60 || line.compare(60, 20, "RINEX VERSION / TYPE") != 0) return false;
  double version = atof(line.substr(0, 9).c_str());
  char type = line[20];
  return type == 'N' || (version < 3 && (type == 'G' || type == 'H'));
}

SpliceResult Nav_merge_run(const SpliceOptions& o) {
  SpliceResult r;
  std::vector<NavFile> files(o.inputs.size());
  for (size_t i = 0; i < o.inputs.size(); i++) {
    std::string error;
    if (!read_nav(o.inputs[i], &files[i], &error)) {
      r.status = 2;
      r.console.push_back("vln_rinex: " + error);
      return r;
    }
  }
  const Settings& s = o.settings;
  int version = s.rinex_version != 0    ? s.rinex_version
                : files[0].version < 3  ? 211
                : files[0].version >= 4 ? 400
                                        : (int)std::lround(files[0].version * 100);
  // Each key once, the first file's record first; legacy messages only below 4.00.
  std::map<std::string, size_t> seen;
  std::vector<Record> records;
  long repeated = 0, other_messages = 0, other_systems = 0, other_records = 0, too_long = 0;
  char only = 0;  // RINEX 2.11: the one system of the file
  for (const NavFile& f : files) {
    other_records += f.other_records;
    for (const Record& rec : f.records) {
      if (!o.systems.empty() && o.systems.find(rec.sys) == std::string::npos) continue;
      if (version < 400 && rec.message != "" &&
          std::string(" LNAV FDMA INAV FNAV D1 D2 SBAS ").find(" " + rec.message + " ") ==
              std::string::npos) {
        other_messages++;
        continue;
      }
      if (version == 211) {
        if (only == 0 && (rec.sys == 'G' || rec.sys == 'R')) only = rec.sys;
        if (rec.sys != only) {
          other_systems++;
          continue;
        }
      }
      if (rec.lines.size() > NAV_MAX_LINES) {
        too_long++;
        continue;
      }
      if (seen.count(rec.key) != 0) {
        repeated++;
        continue;
      }
      seen[rec.key] = records.size();
      records.push_back(rec);
    }
  }
  // In time order, then by system (GPS, GLONASS, Galileo, BeiDou, QZSS, SBAS) and number.
  auto rank = [](char sys) {
    const char* p = strchr("GRECJSI", sys);
    return p == nullptr ? 99 : (int)(p - "GRECJSI");
  };
  std::stable_sort(records.begin(), records.end(), [&](const Record& a, const Record& b) {
    return a.t != b.t ? a.t < b.t : a.sys != b.sys ? rank(a.sys) < rank(b.sys) : a.prn < b.prn;
  });
  // The header: the first file's parameter lines, each label and type once.
  std::string head;
  char v[16];
  snprintf(v, sizeof v, "%9.2f", version / 100.0);
  std::string systems;
  for (const Record& rec : records)
    if (systems.find(rec.sys) == std::string::npos) systems += rec.sys;
  if (version == 211)
    head += header_line(std::string(v) + (only == 'R' ? "           G: GLONASS NAV DATA"
                                                      : "           N: GPS NAV DATA"),
                        "RINEX VERSION / TYPE");
  else
    head += header_line(std::string(v) +
                            (version == 400 ? "           NAVIGATION DATA     "
                                            : "           N: GNSS NAV DATA    ") +
                            (systems.size() == 1 ? systems : "M"),
                        "RINEX VERSION / TYPE");
  char date[32];
  RINEX_get_utc_date(date);
  std::string pgm = o.program.substr(0, 20);
  pgm.resize(40, ' ');
  head += header_line(pgm + date, "PGM / RUN BY / DATE");
  std::map<std::string, bool> kept;
  long header_left_out = 0;
  for (const NavFile& f : files)
    for (const std::string& l : f.header) {
      std::string label = label_of(l);
      bool same_generation =
          (f.version < 3) == (version == 211) && (version == 400) == (f.version >= 4);
      bool parameter =
          label.compare(0, 16, "IONOSPHERIC CORR") == 0 ||
          label.compare(0, 16, "TIME SYSTEM CORR") == 0 || label.compare(0, 9, "ION ALPHA") == 0 ||
          label.compare(0, 8, "ION BETA") == 0 || label.compare(0, 9, "DELTA-UTC") == 0;
      if (parameter && !same_generation) {
        header_left_out++;
        continue;
      }
      std::string key = label.compare(0, 7, "COMMENT") == 0 ? l : label + l.substr(0, 5);
      if (kept[key]) continue;
      kept[key] = true;
      head += l + "\n";
    }
  head += header_line("", "END OF HEADER");
  std::string body;
  for (const Record& rec : records) body += Nav_record_text(nav_record(rec, version), version);
  NameParts name;
  name.given = o.output;
  name.station = o.inputs[0];
  size_t slash = name.station.find_last_of("/\\");
  if (slash != std::string::npos) name.station = name.station.substr(slash + 1);
  name.version = version;
  name.gzip = s.gzip;
  name.kind = 'N';
  if (!records.empty()) name.first = records.front().t, name.last = records.back().t;
  name.interval = 0;
  std::string path = Output_path(s, name), temporary = path + ".incomplete";
  Sink sink;
  sink.threads = o.threads;
  if (!Sink_open(&sink, temporary, s.gzip)) {
    Sink_free(&sink);
    r.status = 4;
    r.console.push_back("vln_rinex: " + temporary + " cannot be created: " + strerror(errno));
    return r;
  }
  Sink_header(&sink, head.data(), head.size());
  Sink_body(&sink, body.data(), body.size());
  Sink_free(&sink);
  File_remove(path);
  if (sink.error != 0 || !File_rename(temporary, path)) {
    File_remove(temporary);
    r.status = 4;
    r.console.push_back("vln_rinex: " + path +
                        " cannot be written: " + strerror(sink.error != 0 ? sink.error : errno));
    return r;
  }
  r.written.push_back(path);
  r.console.push_back(path + ": " + std::to_string(records.size()) + " records");
  if (repeated > 0)
    r.console.push_back(std::to_string(repeated) + " records in more than one file, written once");
  if (other_messages > 0)
    r.console.push_back(std::to_string(other_messages) +
                        " records of messages RINEX 4.00 names and older versions do not hold, "
                        "left out");
  if (other_records > 0 && version < 400)
    r.console.push_back(std::to_string(other_records) +
                        " RINEX 4 ION, STO and EOP records, which older versions hold in no "
                        "record, left out");
  if (other_systems > 0)
    r.console.push_back(std::to_string(other_systems) +
                        " records of another system than the RINEX 2.11 file's, left out");
  if (too_long > 0)
    r.console.push_back(std::to_string(too_long) + " records of more than " +
                        std::to_string(NAV_MAX_LINES) + " lines, which no message has, left out");
  if (header_left_out > 0)
    r.console.push_back(std::to_string(header_left_out) +
                        " header parameter lines of another generation's layout, left out");
  return r;
}
