// The checker reads the file once: the header line by line against the
// labels each version defines, then the body (observation epochs or
// navigation records) against its layout; what a rule of a service or a
// station file says is checked at the end, from what the reading gathered.
#include "rinex_check.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

#include "broadcast.h"
#include "code_map.h"
#include "rinex_text.h"

namespace {

const char* const kObsLabels[] = {"RINEX VERSION / TYPE",
                                  "PGM / RUN BY / DATE",
                                  "COMMENT",
                                  "MARKER NAME",
                                  "MARKER NUMBER",
                                  "MARKER TYPE",
                                  "OBSERVER / AGENCY",
                                  "REC # / TYPE / VERS",
                                  "ANT # / TYPE",
                                  "APPROX POSITION XYZ",
                                  "ANTENNA: DELTA H/E/N",
                                  "ANTENNA: DELTA X/Y/Z",
                                  "ANTENNA:PHASECENTER",
                                  "ANTENNA: B.SIGHT XYZ",
                                  "ANTENNA: ZERODIR AZI",
                                  "ANTENNA: ZERODIR XYZ",
                                  "CENTER OF MASS: XYZ",
                                  "SYS / # / OBS TYPES",
                                  "SIGNAL STRENGTH UNIT",
                                  "INTERVAL",
                                  "TIME OF FIRST OBS",
                                  "TIME OF LAST OBS",
                                  "RCV CLOCK OFFS APPL",
                                  "SYS / DCBS APPLIED",
                                  "SYS / PCVS APPLIED",
                                  "SYS / SCALE FACTOR",
                                  "SYS / PHASE SHIFT",
                                  "GLONASS SLOT / FRQ #",
                                  "GLONASS COD/PHS/BIS",
                                  "LEAP SECONDS",
                                  "# OF SATELLITES",
                                  "PRN / # OF OBS",
                                  "END OF HEADER",
                                  "DOI",
                                  "LICENSE OF USE",
                                  "STATION INFORMATION",
                                  "WAVELENGTH FACT L1/2",
                                  "# / TYPES OF OBSERV"};
const char* const kNavLabels[] = {"RINEX VERSION / TYPE",
                                  "PGM / RUN BY / DATE",
                                  "COMMENT",
                                  "ION ALPHA",
                                  "ION BETA",
                                  "DELTA-UTC: A0,A1,T,W",
                                  "CORR TO SYSTEM TIME",
                                  "IONOSPHERIC CORR",
                                  "TIME SYSTEM CORR",
                                  "LEAP SECONDS",
                                  "MERGED FILE",
                                  "END OF HEADER",
                                  "DOI",
                                  "LICENSE OF USE",
                                  "STATION INFORMATION"};

std::string trimmed(const std::string& s) {
  size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::string cols(const std::string& l, size_t from, size_t n) {
  return from < l.size() ? l.substr(from, std::min(n, l.size() - from)) : "";
}

std::string version_text(int v) {
  char text[16];
  snprintf(text, sizeof text, "%.2f", v / 100.0);
  return text;
}

// A 14-column F14.3 field: blank, or a number with three decimals ending in its last column.
bool f14_3(const std::string& f) {
  size_t a = f.find_first_not_of(' ');
  if (a == std::string::npos) return true;
  if (f.size() != 14 || f[13] == ' ') return false;
  size_t point = f.find('.', a);
  if (point == std::string::npos || point != 10) return false;
  for (size_t i = a; i < 14; i++) {
    char c = f[i];
    if (i == point) continue;
    if (i == a && c == '-') continue;
    if (!isdigit((unsigned char)c)) return false;
  }
  return true;
}

int doy_of(double t) {
  long long days = (long long)std::floor(t / 86400) + 3657 + 719468;
  long long era = (days >= 0 ? days : days - 146096) / 146097, doe = days - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);  // from March 1st
  long long mp = (5 * doy + 2) / 153, d = doy - (153 * mp + 2) / 5 + 1;
  long long m = mp < 10 ? mp + 3 : mp - 9, y = yoe + era * 400 + (m <= 2);
  static const int kBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return kBefore[m - 1] + (int)d + (leap && m > 2 ? 1 : 0);
}

class Checker {
 public:
  Checker(const std::string& path, const CheckRules& rules,
          const std::map<std::string, std::string>& station, CheckReport* r)
      : path_(path), rules_(rules), station_(station), r_(*r) {}
  void run();

 private:
  void error(long line, const std::string& text) { r_.findings.push_back({line, true, text}); }
  void warning(long line, const std::string& text) { r_.findings.push_back({line, false, text}); }
  bool next(std::string* l) {
    if (!in_.next(l)) return false;
    line_++;
    if (!l->empty() && l->back() == '\r') l->pop_back();
    return true;
  }
  bool header();
  void header_line(const std::string& l);
  void observation_body();
  void epoch3(const std::string& l);
  void epoch2(std::string l);
  void record_fields(const std::string& l, size_t from, size_t nfields, char sys,
                     const std::string& id);
  void navigation_body();
  void epoch_time(double t, long line, int flag);
  void name_and_rules();
  void station_file();

  std::string path_;
  const CheckRules& rules_;
  const std::map<std::string, std::string>& station_;
  CheckReport& r_;
  RinexLines in_;
  long line_ = 0;
  int version_ = 0;
  double raw_version_ = 0;  // as the file writes it (2.10 is not 2.11)
  bool navigation_ = false;
  char file_system_ = 'M';
  std::map<std::string, long> labels_;              // label -> first line
  std::map<std::string, std::string> values_;       // label -> first line's content
  std::map<char, std::vector<std::string>> types_;  // RINEX 3 codes; 2.11: ' '
  double interval_ = 0, first_ = NAN, last_ = NAN, header_first_ = NAN;
  std::map<long long, long> spacing_;
  std::set<char> systems_seen_;
  std::string pending_types_;  // a types record continued over lines
};

bool Checker::header() {
  std::string l;
  if (!next(&l)) {
    error(0, in_.error().empty() ? "an empty file" : in_.error());
    return false;
  }
  if (l.size() < 80 || l.compare(60, 20, "RINEX VERSION / TYPE") != 0) {
    error(1, "the first line is not RINEX VERSION / TYPE");
    return false;
  }
  raw_version_ = atof(l.substr(0, 9).c_str());
  version_ = Code_version(raw_version_);
  char type = l[20];
  navigation_ = type == 'N' || (version_ == 211 && (type == 'G' || type == 'H'));
  if (!navigation_ && type != 'O') {
    error(1, std::string("file type '") + type + "' is neither O nor N: not checked further");
    return false;
  }
  file_system_ = version_ == 211 ? (type == 'G'   ? 'R'
                                    : type == 'H' ? 'S'
                                                  : 'G')
                                 : (l.size() > 40 ? l[40] : 'M');
  header_line(l);
  while (next(&l)) {
    if (l.size() > 60 && l.compare(60, 13, "END OF HEADER") == 0) {
      labels_["END OF HEADER"] = line_;
      return true;
    }
    // A record where the header should go on: its end is missing.
    bool record =
        navigation_
            ? (version_ == 211 ? l.size() > 1 && l[1] != ' ' && l.size() < 81 &&
                                     trimmed(cols(l, 60, 20)).empty()
                               : !l.empty() && l[0] != ' ' && trimmed(cols(l, 60, 20)).empty())
        : version_ == 211 ? l.size() >= 32 && l.size() <= 80 && isdigit((unsigned char)l[28]) &&
                                trimmed(cols(l, 60, 20)).empty()
                          : !l.empty() && l[0] == '>';
    if (record) {
      error(line_, "a record where the header goes on: no END OF HEADER before it");
      return false;
    }
    header_line(l);
  }
  error(line_, "no END OF HEADER: the header runs to the end of the file");
  return false;
}

void Checker::header_line(const std::string& l) {
  if (l.size() > 80)
    error(line_, "a header line of " + std::to_string(l.size()) + " characters (80 at most)");
  std::string label = trimmed(cols(l, 60, 20));
  bool known = false;
  const char* const* list = navigation_ ? kNavLabels : kObsLabels;
  size_t n =
      navigation_ ? sizeof kNavLabels / sizeof *kNavLabels : sizeof kObsLabels / sizeof *kObsLabels;
  for (size_t i = 0; i < n && !known; i++) known = label == list[i];
  if (known && l[60] == ' ') {
    error(line_, "the label '" + label + "' starts in column " +
                     std::to_string(l.find_first_not_of(' ', 60) + 1) + ", not 61");
    return;
  }
  if (!known) {
    for (size_t i = 0; i < n; i++) {
      size_t at = l.find(list[i]);
      if (at != std::string::npos && at != 60 && strlen(list[i]) > 6) {
        error(line_, std::string("the label '") + list[i] + "' starts in column " +
                         std::to_string(at + 1) + ", not 61");
        return;
      }
    }
    if (l.size() > 60 && !label.empty() && !navigation_)
      warning(line_, "'" + label + "' is not a header label of RINEX observation files");
    else if (label.empty())
      error(line_, "a header line without a label in columns 61-80");
    return;
  }
  if (labels_.count(label) == 0) {
    labels_[label] = line_;
    values_[label] = cols(l, 0, 60);
  }
  bool v2 = version_ == 211;
  if (label == "SYS / # / OBS TYPES" && v2)
    error(line_, "SYS / # / OBS TYPES is RINEX 3 and 4; 2.11 has # / TYPES OF OBSERV");
  if (label == "# / TYPES OF OBSERV" && !v2)
    error(line_, "# / TYPES OF OBSERV is RINEX 2; RINEX " + version_text(version_) +
                     " has SYS / # / OBS TYPES");
  if (label == "SYS / # / OBS TYPES" && !v2) {
    char sys = l[0] != ' ' ? l[0] : pending_types_.empty() ? ' ' : pending_types_[0];
    if (l[0] != ' ') pending_types_ = std::string(1, sys);
    for (size_t at = 7; at + 3 <= 58 && at + 3 <= l.size(); at += 4) {
      std::string code = l.substr(at, 3);
      if (trimmed(code).empty()) continue;
      types_[sys].push_back(code);
      if (!Code_valid(sys, code, version_))
        error(line_, "'" + code + "' is not an observation code of system " + sys + " in RINEX " +
                         version_text(version_));
    }
  }
  if (label == "# / TYPES OF OBSERV" && v2) {
    for (size_t at = 10; at + 2 <= 60 && at + 2 <= l.size(); at += 6) {
      std::string code = l.substr(at, 2);
      if (trimmed(code).empty()) continue;
      types_[' '].push_back(code);
      bool any = false;
      for (char sys : {'G', 'R', 'E', 'S'}) any = any || Code_valid2(sys, code);
      if (!any) error(line_, "'" + code + "' is not a RINEX 2.11 observation type");
    }
  }
  if (label == "ANT # / TYPE") {
    std::string type = cols(l, 20, 16), radome = cols(l, 36, 4), rest = cols(l, 40, 20);
    std::string t = trimmed(type);
    if (t.find(' ') != std::string::npos)
      error(line_,
            "the antenna type '" + t + "' holds a blank: the radome belongs in columns 37-40");
    else if (!trimmed(rest).empty())
      error(line_, "text in columns 41-60 of ANT # / TYPE: the radome belongs in columns 37-40");
    else if (!t.empty() && trimmed(radome).empty() && raw_version_ >= 2.11 - 1e-9)
      warning(line_, "no radome in columns 37-40 (NONE when the antenna has none)");
  }
  if (label == "INTERVAL") interval_ = atof(cols(l, 0, 10).c_str());
  if (label == "TIME OF FIRST OBS")
    header_first_ = bc::seconds_since_gps_epoch(
        atoi(cols(l, 0, 6).c_str()), atoi(cols(l, 6, 6).c_str()), atoi(cols(l, 12, 6).c_str()),
        atoi(cols(l, 18, 6).c_str()), atoi(cols(l, 24, 6).c_str()), atof(cols(l, 30, 13).c_str()));
}

void Checker::epoch_time(double t, long line, int flag) {
  if (flag > 1) return;  // events and header records keep no order with epochs
  if (!std::isnan(last_)) {
    if (std::fabs(t - last_) < 1e-6)
      error(line, "an epoch repeated (the same time as the epoch before it)");
    else if (t < last_)
      error(line, "an epoch earlier than the epoch before it");
    else
      spacing_[std::llround((t - last_) * 1000)]++;
  }
  if (std::isnan(first_) || t < first_) first_ = t;
  if (std::isnan(last_) || t > last_) last_ = t;
  last_ = t;
  r_.epochs++;
}

void Checker::record_fields(const std::string& l, size_t from, size_t nfields, char sys,
                            const std::string& id) {
  for (size_t k = 0; k < nfields; k++) {
    size_t at = from + 16 * k;
    if (at >= l.size()) break;
    std::string field = cols(l, at, 14);
    field.resize(14, ' ');
    if (!f14_3(field)) {
      std::string code = k < types_[version_ == 211 ? ' ' : sys].size()
                             ? types_[version_ == 211 ? ' ' : sys][k]
                             : "field " + std::to_string(k + 1);
      error(line_, id + " " + code + ": columns " + std::to_string(at + 1) + "-" +
                       std::to_string(at + 14) + " hold no F14.3 number ('" + trimmed(field) +
                       "'): a value that overflows its field or a shifted line");
      return;
    }
    char lli = at + 14 < l.size() ? l[at + 14] : ' ';
    char ssi = at + 15 < l.size() ? l[at + 15] : ' ';
    if (lli != ' ' && !(lli >= '0' && lli <= '7'))
      error(line_, id + ": loss-of-lock digit '" + std::string(1, lli) + "' in column " +
                       std::to_string(at + 15) + " (0-7 or blank)");
    if (ssi != ' ' && !(ssi >= '0' && ssi <= '9'))
      error(line_, id + ": signal strength digit '" + std::string(1, ssi) + "' in column " +
                       std::to_string(at + 16) + " (1-9 or blank)");
  }
}

void Checker::epoch3(const std::string& l) {
  long at = line_;
  if (l.size() < 35 || l[0] != '>') {
    error(at, "an epoch line was expected ('>' in column 1)");
    return;
  }
  int flag = l[31] - '0';
  if (flag < 0 || flag > 6) {
    error(at, "event flag '" + std::string(1, l[31]) + "' in column 32 (0-6)");
    return;
  }
  int count = atoi(cols(l, 32, 3).c_str());
  if (flag <= 1) {
    double t = bc::seconds_since_gps_epoch(
        atoi(cols(l, 2, 4).c_str()), atoi(cols(l, 7, 2).c_str()), atoi(cols(l, 10, 2).c_str()),
        atoi(cols(l, 13, 2).c_str()), atoi(cols(l, 16, 2).c_str()), atof(cols(l, 18, 11).c_str()));
    epoch_time(t, at, flag);
  }
  std::string s;
  for (int i = 0; i < count; i++) {
    if (!next(&s)) {
      error(at, "the file ends inside this epoch: " + std::to_string(count - i) + " of its " +
                    std::to_string(count) + " records are missing (the file was cut)");
      return;
    }
    if (flag > 1) continue;  // header lines and event records
    if (!s.empty() && s[0] == '>') {
      error(line_, "an epoch line where a satellite of the epoch at line " + std::to_string(at) +
                       " was due: its count says " + std::to_string(count));
      epoch3(s);
      return;
    }
    char sys = s.empty() ? ' ' : s[0];
    systems_seen_.insert(sys);
    auto t = types_.find(sys);
    if (t == types_.end()) {
      error(line_,
            "a record of system '" + std::string(1, sys) + "', which the header gives no types");
      continue;
    }
    if (s.size() > 3 + 16 * t->second.size())
      error(line_,
            "a record longer than its system's " + std::to_string(t->second.size()) + " fields");
    record_fields(s, 3, t->second.size(), sys, s.substr(0, 3));
    r_.records++;
  }
}

void Checker::epoch2(std::string l) {
  long at = line_;
  if (l.size() < 32 || l[28] < '0' || l[28] > '9') {
    error(at, "an epoch line was expected (event flag in column 29)");
    return;
  }
  int flag = l[28] - '0';
  int count = atoi(cols(l, 29, 3).c_str());
  if (flag > 6) error(at, "event flag " + std::to_string(flag) + " in column 29 (0-6)");
  if (flag > 1) {
    std::string s;
    for (int i = 0; i < count && next(&s); i++) {
    }
    return;
  }
  int yy = atoi(cols(l, 1, 2).c_str());
  double t = bc::seconds_since_gps_epoch(
      yy < 80 ? 2000 + yy : 1900 + yy, atoi(cols(l, 4, 2).c_str()), atoi(cols(l, 7, 2).c_str()),
      atoi(cols(l, 10, 2).c_str()), atoi(cols(l, 13, 2).c_str()), atof(cols(l, 15, 11).c_str()));
  epoch_time(t, at, flag);
  std::vector<std::string> ids;
  for (int i = 0; i < count; i++) {
    if (i > 0 && i % 12 == 0 && !next(&l)) {
      error(at, "the file ends inside the satellite list of this epoch");
      return;
    }
    ids.push_back(cols(l, 32 + 3 * (size_t)(i % 12), 3));
  }
  size_t ntypes = types_[' '].size(), per = (ntypes + 4) / 5;
  std::string s;
  for (const std::string& id : ids) {
    char sys = id.empty() || id[0] == ' ' ? 'G' : id[0];
    systems_seen_.insert(sys);
    for (size_t k = 0; k < per; k++) {
      if (!next(&s)) {
        error(at, "the file ends inside this epoch (the file was cut)");
        return;
      }
      if (s.size() > 80) error(line_, "a record line of more than 80 characters");
      record_fields(s, 0, std::min<size_t>(5, ntypes - 5 * k), sys, id);
    }
    r_.records++;
  }
}

void Checker::observation_body() {
  // Header records a version requires.
  std::vector<std::string> required = {
      "PGM / RUN BY / DATE", "MARKER NAME",          "OBSERVER / AGENCY", "REC # / TYPE / VERS",
      "ANT # / TYPE",        "ANTENNA: DELTA H/E/N", "TIME OF FIRST OBS"};
  if (version_ == 211) {
    required.push_back("# / TYPES OF OBSERV");
    required.push_back("APPROX POSITION XYZ");
  } else {
    // MARKER TYPE may be left out for a geodetic marker; SYS / PHASE SHIFT
    // and GLONASS SLOT / FRQ #, mandatory in 3.x, are left out by many real
    // files that every service reads: not reported.
    required.push_back("SYS / # / OBS TYPES");
  }
  for (const std::string& label : required)
    if (labels_.count(label) == 0)
      error(labels_["END OF HEADER"],
            "no " + label + " line: RINEX " + version_text(version_) + " requires it");
  std::string l;
  while (next(&l)) {
    if (l.empty()) continue;
    if (version_ == 211)
      epoch2(l);
    else
      epoch3(l);
  }
  if (!in_.error().empty()) error(line_, in_.error());
  for (char sys : systems_seen_)
    if (version_ != 211 && types_.count(sys) == 0) (void)sys;
}

void Checker::navigation_body() {
  std::string l;
  std::string message;
  long start = 0;
  size_t lines = 0;
  char sys = ' ';
  auto finish = [&]() {
    if (start == 0) return;
    size_t want = 0;
    char s = sys;
    if (message.empty() || message == "LNAV" || message == "INAV" || message == "FNAV" ||
        message == "D1" || message == "D2")
      want = (s == 'R' || s == 'S') ? 0 : 8;
    if (message == "FDMA" || (message.empty() && s == 'R')) want = version_ >= 305 ? 5 : 4;
    if (message == "SBAS" || (message.empty() && s == 'S')) want = 4;
    if (want > 0 && lines != want && !(s == 'R' && version_ == 305 && lines == 4))
      error(start, "a record of " + std::string(1, s) + " with " + std::to_string(lines) +
                       " lines: RINEX " + version_text(version_) + " gives it " +
                       std::to_string(want));
    r_.records++;
    start = 0;
  };
  bool v2 = version_ == 211;
  while (next(&l)) {
    if (l.empty()) continue;
    if (l[0] == '>') {
      finish();
      message = trimmed(cols(l, 10, 10));
      if (l.compare(0, 5, "> EPH") != 0) message = "other";
      continue;
    }
    bool first = v2 ? l.size() > 1 && l[1] != ' ' : l[0] != ' ';
    if (first) {
      finish();
      start = line_;
      lines = 1;
      sys = v2 ? file_system_ : l[0];
      if (message == "other") start = 0;
    } else if (start != 0) {
      lines++;
    }
  }
  finish();
  if (!in_.error().empty()) error(line_, in_.error());
}

void Checker::name_and_rules() {
  std::string base = path_.substr(
      path_.find_last_of("/\\") == std::string::npos ? 0 : path_.find_last_of("/\\") + 1);
  std::string marker = trimmed(values_["MARKER NAME"]);
  std::string four = marker.substr(0, 4);
  for (char& c : four) c = (char)toupper((unsigned char)c);
  auto digits = [&](size_t from, size_t n) {
    for (size_t i = from; i < from + n; i++)
      if (i >= base.size() || !isdigit((unsigned char)base[i])) return false;
    return true;
  };
  bool long_name =
      base.size() > 34 && base[9] == '_' && base[11] == '_' && base[23] == '_' && digits(12, 11);
  bool short_name = base.size() >= 12 && base[8] == '.' && digits(4, 3) && digits(9, 2) &&
                    isalnum((unsigned char)base[7]) && isalpha((unsigned char)base[11]);
  if (long_name) {
    std::string station = base.substr(0, 4);
    if (!navigation_ && !four.empty() && station != four)
      warning(0, "the file name's station " + station + " is not the MARKER NAME's " + four);
    std::string ext = base.find('.') == std::string::npos ? "" : base.substr(base.find('.'));
    bool compact_name = ext.compare(0, 4, ".crx") == 0;
    if (compact_name != in_.compact())
      error(0, std::string("the name says ") + (compact_name ? "Compact RINEX" : "RINEX") +
                   ", the content is " + (in_.compact() ? "Compact RINEX" : "RINEX"));
    if (!std::isnan(header_first_)) {
      int year = atoi(base.substr(12, 4).c_str()), doy = atoi(base.substr(16, 3).c_str());
      int y = 0, dummy = 0;
      (void)dummy;
      y = atoi(values_["TIME OF FIRST OBS"].substr(0, 6).c_str());
      if (y != year || doy_of(header_first_) != doy)
        warning(0, "the file name's day " + base.substr(12, 7) +
                       " is not the day of TIME OF FIRST OBS");
    }
  } else if (short_name) {
    std::string station = base.substr(0, 4);
    for (char& c : station) c = (char)toupper((unsigned char)c);
    if (!navigation_ && !four.empty() && station != four)
      warning(0, "the file name's station " + station + " is not the MARKER NAME's " + four);
    char type = (char)tolower((unsigned char)base[11]);
    if (!navigation_ && type != (in_.compact() ? 'd' : 'o'))
      error(0, std::string("the name's type letter '") + base[11] + "' does not say " +
                   (in_.compact() ? "Compact RINEX (d)" : "observations (o)"));
  }
  if (rules_.service.empty() || navigation_) return;  // a service's rules are of observations
  const std::string who = rules_.service + ": ";
  double interval = interval_;
  if (interval <= 0 && !spacing_.empty())
    interval =
        (double)std::max_element(spacing_.begin(), spacing_.end(),
                                 [](const auto& a, const auto& b) { return a.second < b.second; })
            ->first /
        1000.0;
  double hours = std::isnan(first_) ? 0 : (last_ - first_ + interval) / 3600.0;
  // Each limit of the service that the file passes: its text otherwise.
  auto limit = [&](bool broken, const char* format, double value, double bound) {
    if (!broken) return;
    char text[160];
    snprintf(text, sizeof text, format, value, bound);
    warning(0, who + text);
  };
  limit(rules_.min_hours > 0 && hours < rules_.min_hours - 1e-6,
        "the file spans %.2f h; the service needs at least %g h", hours, rules_.min_hours);
  limit(rules_.max_hours > 0 && hours > rules_.max_hours + 1e-6,
        "the file spans %.2f h; the service takes at most %g h", hours, rules_.max_hours);
  limit(rules_.min_interval > 0 && interval < rules_.min_interval - 1e-9,
        "an interval of %g s; the service needs at least %g s", interval, rules_.min_interval);
  limit(rules_.max_interval > 0 && interval > rules_.max_interval + 1e-9,
        "an interval of %g s; the service wants %g s", interval, rules_.max_interval);
  if (rules_.whole_interval && std::fabs(interval - std::round(interval)) > 1e-6)
    warning(0, who + "the interval is not a whole number of seconds");
  if (!rules_.versions.empty() &&
      std::find(rules_.versions.begin(), rules_.versions.end(), version_) == rules_.versions.end())
    warning(0, who + "RINEX " + version_text(version_) + " is not a version the service reads");
  const std::vector<std::string>& gps = types_.count('G') ? types_['G'] : types_[' '];
  for (const std::string& code : rules_.gps_codes) {
    bool has = false;
    for (const std::string& c : gps)
      has = has || c == code || (version_ == 211 && Code_to_rinex2('G', code) == c);
    if (!has) warning(0, who + "no GPS " + code + " in the types");
  }
  if (rules_.dual_frequency) {
    bool l1 = false, l2 = false;
    for (const std::string& c : gps) {
      l1 = l1 || (c.size() >= 2 && c[0] == 'L' && c[1] == '1');
      l2 = l2 || (c.size() >= 2 && c[0] == 'L' && c[1] == '2');
    }
    if (!(l1 && l2)) warning(0, who + "GPS phases on two frequencies (L1 and L2) are needed");
  }
  if (rules_.receiver_and_antenna) {
    if (trimmed(cols(values_["REC # / TYPE / VERS"], 20, 20)).empty())
      warning(0, who + "no receiver type in REC # / TYPE / VERS");
    if (trimmed(cols(values_["ANT # / TYPE"], 20, 16)).empty())
      warning(0, who + "no antenna type in ANT # / TYPE");
  }
  if (rules_.marker_is_station) {
    bool id = four.size() == 4;
    for (char c : four) id = id && isalnum((unsigned char)c);
    if (!id)
      warning(0, who + "the MARKER NAME ('" + marker +
                     "') does not start with four letters or digits naming the station");
  }
  if (rules_.plain_name)
    for (char c : base)
      if (!isalnum((unsigned char)c) && c != '.' && c != '_' && c != '-') {
        warning(0, who + "the file name holds '" + std::string(1, c) +
                       "' (letters, digits, . _ - only)");
        break;
      }
  if (rules_.long_name && !long_name) warning(0, who + "the file name is not a RINEX long name");
  if (!rules_.period.empty() && long_name && base.substr(24, 3) != rules_.period)
    warning(0, who + "the name's period " + base.substr(24, 3) + " is not " + rules_.period);
  if (rules_.compact_gzip && base.find(".crx.gz") == std::string::npos)
    warning(0, who + "the file is not Compact RINEX with gzip (.crx.gz)");
}

void Checker::station_file() {
  auto compare = [&](const char* name, const std::string& header) {
    auto s = station_.find(name);
    if (s == station_.end()) return;
    if (trimmed(s->second) != trimmed(header))
      error(0, std::string("the header's ") + name + " '" + trimmed(header) +
                   "' is not the station file's '" + trimmed(s->second) + "'");
  };
  compare("marker-name", values_["MARKER NAME"]);
  compare("marker-number", cols(values_["MARKER NUMBER"], 0, 20));
  compare("receiver-type", cols(values_["REC # / TYPE / VERS"], 20, 20));
  compare("receiver-number", cols(values_["REC # / TYPE / VERS"], 0, 20));
  compare("antenna-type", cols(values_["ANT # / TYPE"], 20, 16));
  compare("antenna-number", cols(values_["ANT # / TYPE"], 0, 20));
  compare("radome", cols(values_["ANT # / TYPE"], 36, 4));
  auto triple = [&](const char* name, const std::string& header, double tolerance) {
    auto s = station_.find(name);
    if (s == station_.end()) return;
    double a[3] = {0, 0, 0}, b[3] = {0, 0, 0};
    sscanf(s->second.c_str(), "%lf,%lf,%lf", &a[0], &a[1], &a[2]);
    for (int k = 0; k < 3; k++) b[k] = atof(cols(header, 14 * (size_t)k, 14).c_str());
    for (int k = 0; k < 3; k++)
      if (std::fabs(a[k] - b[k]) > tolerance) {
        error(0, std::string("the header's ") + name + " is not the station file's (" +
                     trimmed(header) + " against " + s->second + ")");
        return;
      }
  };
  triple("antenna-delta", values_["ANTENNA: DELTA H/E/N"], 0.0005);
  triple("position", values_["APPROX POSITION XYZ"], 1.0);
}

void Checker::run() {
  std::string error_text;
  if (!in_.open(path_, &error_text)) {
    error(0, error_text);
    return;
  }
  if (!header()) return;
  if (navigation_)
    navigation_body();
  else
    observation_body();
  name_and_rules();
  if (!navigation_) station_file();
  std::stable_sort(r_.findings.begin(), r_.findings.end(),
                   [](const CheckFinding& a, const CheckFinding& b) { return a.line < b.line; });
}

std::string json_string(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if ((unsigned char)c < 0x20) continue;
    out += c;
  }
  return out + "\"";
}

}  // namespace

int CheckReport::status() const {
  int s = 0;
  for (const CheckFinding& f : findings) s = std::max(s, f.error ? 2 : 1);
  return s;
}

CheckReport Check_file(const std::string& path, const CheckRules& rules,
                       const std::map<std::string, std::string>& station) {
  CheckReport r;
  r.file = path;
  Checker(path, rules, station, &r).run();
  return r;
}

std::string Check_text(const CheckReport& r) {
  std::string out;
  for (const CheckFinding& f : r.findings)
    out += r.file + (f.line > 0 ? ":" + std::to_string(f.line) : "") +
           (f.error ? ": error: " : ": warning: ") + f.text + "\n";
  long errors = 0, warnings = 0;
  for (const CheckFinding& f : r.findings) (f.error ? errors : warnings)++;
  out += r.file + ": " +
         (r.epochs > 0 || r.records == 0 ? std::to_string(r.epochs) + " epochs, "
                                         : std::to_string(r.records) + " records, ") +
         std::to_string(errors) + " errors, " + std::to_string(warnings) + " warnings\n";
  return out;
}

std::string Check_json(const std::vector<CheckReport>& reports) {
  std::string s = "[";
  for (size_t i = 0; i < reports.size(); i++) {
    const CheckReport& r = reports[i];
    s += std::string(i ? ",\n " : "") + "{\"file\": " + json_string(r.file) +
         ", \"status\": " + std::to_string(r.status()) +
         ", \"epochs\": " + std::to_string(r.epochs) + ", \"findings\": [";
    for (size_t k = 0; k < r.findings.size(); k++) {
      const CheckFinding& f = r.findings[k];
      s += std::string(k ? ", " : "") + "{\"line\": " + std::to_string(f.line) +
           ", \"severity\": \"" + (f.error ? "error" : "warning") +
           "\", \"text\": " + json_string(f.text) + "}";
    }
    s += "]}";
  }
  return s + "]\n";
}
