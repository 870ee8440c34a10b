// Run settings: one table names every setting with its kind, field width and
// usage line; one checker per kind turns an option's or a station file's text
// into the value the header writer, the epoch selection and the file naming use.
#include "settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "time_convert.h"

namespace {

enum Kind {
  kText,
  kComment,
  kTriple,
  kTime,
  kSeconds,
  kPath,
  kSwitch,
  kStationId,
  kPeriod,
  kVersion,
  kGrace,
  kFlush
};

struct OptionDef {
  const char* name;
  Kind kind;
  int max_len;  // text kinds: the header field's width
  const char* value;
  const char* what;
  const char* example;
};

const OptionDef kOptions[SET_COUNT] = {
    {"marker-name", kText, 60, "TEXT", "MARKER NAME", "ALGO"},
    {"marker-number", kText, 20, "TEXT", "MARKER NUMBER", "40104M002"},
    {"marker-type", kText, 20, "TEXT", "MARKER TYPE", "GEODETIC"},
    {"observer", kText, 20, "TEXT", "OBSERVER / AGENCY: observer", "\"J. Smith\""},
    {"agency", kText, 40, "TEXT", "OBSERVER / AGENCY: agency", "\"Survey Office\""},
    {"receiver-number", kText, 20, "TEXT", "REC # / TYPE / VERS: number", "5123K12345"},
    {"receiver-type", kText, 20, "TEXT", "REC # / TYPE / VERS: type", "VLN-R2"},
    {"receiver-version", kText, 20, "TEXT", "REC # / TYPE / VERS: firmware", "1.07"},
    {"antenna-number", kText, 20, "TEXT", "ANT # / TYPE: number", "1440912345"},
    {"antenna-type", kText, 15, "TEXT", "ANT # / TYPE: type as the antenna tables spell it",
     "TRM59800.00"},
    {"radome", kText, 4, "TEXT", "ANT # / TYPE: radome (NONE when a type is given without it)",
     "SCIS"},
    {"antenna-delta", kTriple, 0, "H,E,N", "ANTENNA: DELTA H/E/N, metres", "1.5120,0,0"},
    {"position", kTriple, 0, "X,Y,Z",
     "APPROX POSITION XYZ, ECEF metres, instead of the receiver's own",
     "-2148744.271,4426641.113,4044655.987"},
    {"comment", kComment, 60, "TEXT", "one COMMENT line each time it is given",
     "\"Pillar 3, north roof\""},
    {"station-file", kPath, 0, "FILE", "these settings as 'name = value' lines", "algo.station"},
    {"start", kTime, 0, "TIME", "write epochs from this GPS time on (YYYY-MM-DD HH:MM:SS)",
     "\"2026-01-08 00:00:00\""},
    {"end", kTime, 0, "TIME", "write epochs before this GPS time (or YYYY-MM-DDTHH:MM:SS)",
     "2026-01-09T00:00:00"},
    {"interval", kSeconds, 0, "SECONDS",
     "write epochs on multiples of this interval of GPS time only; adds INTERVAL", "30"},
    {"output-dir", kPath, 0, "DIR", "write both files into this folder (created if missing)",
     "rinex"},
    {"long-names", kSwitch, 0, "", "standard long names SSSSMRCCC_R_YYYYDDDHHMM_PPU_FFU_MO.rnx",
     ""},
    {"station-id", kStationId, 0, "ID",
     "station of the long names: 4 letters or digits, monument and receiver digit, country",
     "ALGO00CAN"},
    {"crx", kSwitch, 0, "", "the observation file in Compact RINEX 3.0 (.crx)", ""},
    {"gzip", kSwitch, 0, "", "both files gzip-compressed (.gz)", ""},
    {"split", kPeriod, 0, "15m|1h|1d",
     "one file pair per period of GPS time, with long names; a finished period is closed", "1h"},
    {"rinex-version", kVersion, 0, "V",
     "the standard writer of RINEX V for both files (2.11, 3.02, 3.03, 3.04, 3.05 or 4.00): every "
     "signal under its own code",
     "3.05"},
    {"close-after", kGrace, 0, "SECONDS",
     "a live source's period file is closed this long after the period's end even without "
     "data (default 120)",
     "60"},
    {"raw-dir", kPath, 0, "DIR",
     "keep every byte a live source sends, one .raw file per period, in this folder", "raw"},
    {"status-file", kPath, 0, "FILE",
     "rewrite this JSON file after each period with what the period files hold", "status.json"},
    {"overwrite", kSwitch, 0, "",
     "replace period and long-named files that exist (else a raw file's run stops)", ""},
    {"flush", kFlush, 0, "SECONDS",
     "write what is converted to disk (synced) every SECONDS of data, 0 every epoch (default 10 "
     "for a live source, else only at the end)",
     "10"},
};

struct VersionName {
  const char* name;
  int version;
};
const VersionName kVersions[] = {{"2.11", RINEX_211}, {"3.02", RINEX_302}, {"3.03", RINEX_303},
                                 {"3.04", RINEX_304}, {"3.05", RINEX_305}, {"4.00", RINEX_400}};

struct PeriodName {
  const char* name;
  D64 seconds;
};
const PeriodName kPeriods[] = {{"15m", 900}, {"1h", 3600}, {"1d", 86400}};

// The largest magnitude the header's 14-column fixed-point fields hold.
constexpr D64 kLargestHeaderCoordinate = 99999999.9999;
// Intervals the INTERVAL line's three decimals and the epoch grid tell apart.
constexpr D64 kShortestInterval = 0.01;
constexpr D64 kLongestInterval = 86400;
constexpr size_t kMaxComments = 100;

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }

std::string check_text(const std::string& v, int max_len) {
  if ((int)v.size() > max_len)
    return "value longer than " + std::to_string(max_len) + " characters";
  for (char c : v)
    if ((unsigned char)c < 0x20 || (unsigned char)c > 0x7E)
      return "value holds a character that is not printable ASCII";
  return "";
}

// A decimal number and nothing else (no hexadecimal, no inf or nan).
bool parse_number(const std::string& text, D64* out) {
  if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
  char* end = nullptr;
  *out = strtod(text.c_str(), &end);
  return *end == '\0' && std::isfinite(*out);
}

std::string parse_triple(const std::string& v, D64 out[3]) {
  const std::string bad = "'" + v + "' is not three numbers separated by commas";
  size_t from = 0;
  for (int i = 0; i < 3; i++) {
    size_t comma = v.find(',', from);
    if ((i < 2) != (comma != std::string::npos)) return bad;
    std::string part = v.substr(from, i < 2 ? comma - from : std::string::npos);
    if (!parse_number(part, &out[i])) return bad;
    if (std::fabs(out[i]) > kLargestHeaderCoordinate)
      return part + " does not fit the header's field (at most 99999999.9999 m)";
    from = comma + 1;
  }
  return "";
}

// Reads n digits at p[*i]; false if any is not a digit.
bool digits(const std::string& p, size_t* i, int n, int* out) {
  *out = 0;
  for (int k = 0; k < n; k++, (*i)++) {
    if (*i >= p.size() || !is_digit(p[*i])) return false;
    *out = *out * 10 + (p[*i] - '0');
  }
  return true;
}

bool expect_char(const std::string& p, size_t* i, const char* any) {
  if (*i >= p.size() || strchr(any, p[*i]) == nullptr) return false;
  (*i)++;
  return true;
}

std::string parse_time(const std::string& v, UTC_TIME_T* t, D64* seconds) {
  const std::string bad = "'" + v + "' is not a time YYYY-MM-DD HH:MM:SS (or YYYY-MM-DDTHH:MM:SS)";
  size_t i = 0;
  int year, month, day, hour, minute, sec;
  if (!digits(v, &i, 4, &year) || !expect_char(v, &i, "-") || !digits(v, &i, 2, &month) ||
      !expect_char(v, &i, "-") || !digits(v, &i, 2, &day) || !expect_char(v, &i, " T") ||
      !digits(v, &i, 2, &hour) || !expect_char(v, &i, ":") || !digits(v, &i, 2, &minute) ||
      !expect_char(v, &i, ":") || !digits(v, &i, 2, &sec))
    return bad;
  D64 fraction = 0;
  if (i < v.size()) {
    if (v[i] != '.' || i + 1 == v.size() || !parse_number("0" + v.substr(i), &fraction)) return bad;
    if (v.find_first_not_of("0123456789", i + 1) != std::string::npos) return bad;
  }
  if (month < 1 || month > 12 || day < 1 || day > TCVT_days_in_month(year, month) || hour > 23 ||
      minute > 59 || sec > 59)
    return "'" + v + "' is not a valid date and time";
  *t = UTC_TIME_T{(S16)year, (S16)month, (S16)day, 0, (S16)hour, (S16)minute, sec + fraction};
  *seconds = TCVT_calendar_to_gps_seconds(*t);
  if (*seconds < 0) return "'" + v + "' is before the GPS epoch, 1980-01-06";
  return "";
}

}  // namespace

bool Settings_is_station_id(const std::string& v) {
  if (v.size() != 9) return false;
  for (int i = 0; i < 4; i++)
    if (!is_upper(v[i]) && !is_digit(v[i])) return false;
  return is_digit(v[4]) && is_digit(v[5]) && is_upper(v[6]) && is_upper(v[7]) && is_upper(v[8]);
}

int Settings_find(const char* name) {
  for (int id = 0; id < SET_COUNT; id++)
    if (strcmp(kOptions[id].name, name) == 0) return id;
  return -1;
}

const char* Settings_name(int id) { return kOptions[id].name; }

bool Settings_is_switch(int id) { return kOptions[id].kind == kSwitch; }

// The number of single-character edits between two names.
size_t edit_distance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); j++) row[j] = j;
  for (size_t i = 1; i <= a.size(); i++) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); j++) {
      size_t up = row[j];
      row[j] = std::min(std::min(row[j] + 1, row[j - 1] + 1), diagonal + (a[i - 1] != b[j - 1]));
      diagonal = up;
    }
  }
  return row[b.size()];
}

std::string Nearest_name(const std::string& name, const std::vector<std::string>& names) {
  // A typing slip changes a few letters of a long name, one of a short one;
  // more edits than that make another word, which gets no suggestion.
  std::string best;
  size_t best_distance = std::min<size_t>(3, std::max<size_t>(1, name.size() / 3)) + 1;
  for (const std::string& candidate : names) {
    size_t d = edit_distance(name, candidate);
    if (d < best_distance) best_distance = d, best = candidate;
  }
  return best;
}

std::string Settings_nearest(const std::string& name) {
  std::vector<std::string> names;
  for (const OptionDef& option : kOptions) names.push_back(option.name);
  return Nearest_name(name, names);
}

std::string Settings_apply(Settings* s, int id, const std::string& value) {
  const OptionDef& option = kOptions[id];
  std::string error;
  switch (option.kind) {
    case kText:
    case kComment:
      error = check_text(value, option.max_len);
      if (error.empty() && option.kind == kComment && s->comments.size() >= kMaxComments)
        error = "more than " + std::to_string(kMaxComments) + " comments";
      if (error.empty() && option.kind == kComment) s->comments.push_back(value);
      break;
    case kTriple:
      error = parse_triple(value, id == SET_POSITION ? s->position : s->antenna_delta);
      break;
    case kTime:
      error = id == SET_START ? parse_time(value, &s->start_time, &s->start)
                              : parse_time(value, &s->end_time, &s->end);
      break;
    case kSeconds:
      if (!parse_number(value, &s->interval))
        error = "'" + value + "' is not a number of seconds";
      else if (s->interval <= 0)
        error = "the interval must be positive";
      else if (s->interval < kShortestInterval || s->interval > kLongestInterval)
        error = "'" + value + "' is outside 0.01 to 86400 seconds";
      break;
    case kPath:
      if (value.empty()) error = "the name is empty";
      break;
    case kSwitch:
      if (value != "yes" && value != "no") error = "'" + value + "' is neither yes nor no";
      if (id == SET_CRX) s->crx = value == "yes";
      if (id == SET_GZIP) s->gzip = value == "yes";
      if (id == SET_LONG_NAMES) s->long_names = value == "yes";
      if (id == SET_OVERWRITE) s->overwrite = value == "yes";
      break;
    case kVersion:
      error = "'" + value + "' is not one of 2.11, 3.02, 3.03, 3.04, 3.05, 4.00";
      for (const VersionName& v : kVersions)
        if (value == v.name) {
          s->rinex_version = v.version;
          error.clear();
        }
      break;
    case kPeriod:
      error = "'" + value + "' is not one of 15m, 1h, 1d";
      for (const PeriodName& p : kPeriods)
        if (value == p.name) {
          s->split = p.seconds;
          error.clear();
        }
      break;
    case kGrace:
      if (!parse_number(value, &s->close_after) || s->close_after < 1 || s->close_after > 86400)
        error = "'" + value + "' is not a number of seconds from 1 to 86400";
      break;
    case kFlush:
      if (!parse_number(value, &s->flush) || s->flush < 0 || s->flush > 86400)
        error = "'" + value + "' is not a number of seconds from 0 to 86400";
      break;
    case kStationId:
      if (!Settings_is_station_id(value))
        error = "'" + value +
                "' is not a station ID of four letters or digits, a monument digit, a receiver "
                "digit and a three-letter country code (ALGO00CAN)";
      break;
  }
  if (!error.empty()) return error;
  s->given[id] = true;
  s->text[id] = value;
  return "";
}

std::string Settings_check(const Settings& s) {
  if (s.given[SET_START] && s.given[SET_END] && s.end <= s.start)
    return "Option --end: " + s.text[SET_END] + " is not after --start " + s.text[SET_START];
  if (s.long_names && s.rinex_version == RINEX_211)
    return "Option --long-names: RINEX 2.11 files have short names (ssssdddf.yyo); leave it out "
           "or write RINEX 3.02 or later";
  return "";
}

const char* Settings_text(const Settings& s, int id, const char* fallback) {
  return s.given[id] ? s.text[id].c_str() : fallback;
}

bool Settings_selects_epochs(const Settings& s) {
  return s.given[SET_START] || s.given[SET_END] || s.given[SET_INTERVAL];
}

void Settings_print_usage() {
  puts("raw_file may be a live source (it needs --split; its files get long names):");
  puts("\t- - standard input, a pipe or FIFO; the run ends at its end.");
  puts(
      "\ttcp://HOST:PORT - a receiver's network port or a stream server. Example: "
      "tcp://10.0.0.7:5017.");
  puts(
      "\tserial://DEVICE[:BAUD] - a serial or USB line, 8N1, default 115200. Example: "
      "serial:///dev/ttyUSB0:115200.");
  puts("");
  puts("long options (after raw_file, in any order; each takes one value but the switches");
  puts("--long-names, --crx, --gzip and --overwrite):");
  for (const OptionDef& option : kOptions) {
    std::string words = std::string("--") + option.name;
    if (option.value[0] != '\0') words += std::string(" ") + option.value;
    printf("\t%s - %s", words.c_str(), option.what);
    if (option.kind == kText || option.kind == kComment)
      printf(", up to %d characters", option.max_len);
    printf(". Example: --%s%s%s", option.name, option.example[0] != '\0' ? " " : "",
           option.example);
    puts(".");
  }
  puts(
      "\t--preset NAME - a processing service's or archive's settings (igs-daily, igs-hourly, "
      "igs-highrate, epn, opus, auspos, csrs, rtx), those the command line does not give, and its "
      "rules checked on the files written (a failed rule is a warning). Example: --preset "
      "igs-daily.");
  puts("\t--help - Show this complete usage.");
  puts("");
  puts("A station file holds the same settings as 'name = value' lines (names without --;");
  puts("lines starting with '#' are comments); options on the command line override it.");
  puts("Exit status: 0 nothing converted (help shown, or a file could not be opened),");
  puts("1 converted (or a station run ended), 2 interrupted or incomplete (read or write");
  puts("error), 3 a bad option, source or station file, or an output file that exists");
  puts("without --overwrite (nothing opened or written).");
  puts("");
}
