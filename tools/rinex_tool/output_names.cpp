// Standard names from a file's content: station ID (nine characters: the
// settings' --station-id, else the marker name's first four, 00, XXX),
// start, period and sampling, as the RINEX 3 documents define the long name;
// RINEX 2.11's ssssdddf.yy with the session letter of the hour.
#include "output_names.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "obs_writer.h"

namespace {

// Day of year of a calendar date.
int day_of_year(int y, int m, int d) {
  static const int kBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return kBefore[m - 1] + d + (leap && m > 2 ? 1 : 0);
}

std::string period(double seconds) {
  char text[24];
  if (seconds >= 86400 - 1)
    snprintf(text, sizeof text, "%02dD", (int)std::lround(seconds / 86400));
  else if (seconds >= 3600 - 1)
    snprintf(text, sizeof text, "%02dH", (int)std::lround(seconds / 3600));
  else
    snprintf(text, sizeof text, "%02dM", std::max(1, (int)std::lround(seconds / 60)));
  return text;
}

std::string sampling(double interval) {
  char text[24];
  if (interval >= 1)
    snprintf(text, sizeof text, "%02dS", (int)std::lround(interval));
  else
    snprintf(text, sizeof text, "%02dZ", (int)std::lround(1 / std::max(interval, 0.01)));
  return text;
}

}  // namespace

std::string Output_path(const Settings& s, const NameParts& p) {
  std::string dir = s.given[SET_OUTPUT_DIR] ? s.text[SET_OUTPUT_DIR] : "";
  if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += "/";
  if (!p.given.empty()) {
    bool absolute =
        p.given[0] == '/' || p.given[0] == '\\' || (p.given.size() > 1 && p.given[1] == ':');
    return absolute ? p.given : dir + p.given;
  }
  int y, mo, d, h, mi;
  double sec;
  Gps_calendar(p.first, &y, &mo, &d, &h, &mi, &sec);
  int doy = day_of_year(y, mo, d);
  std::string id = s.given[SET_STATION_ID] ? s.text[SET_STATION_ID] : "";
  if (id.empty()) {
    std::string four = (p.station + "XXXX").substr(0, 4);
    for (char& c : four) c = (char)toupper((unsigned char)(c == ' ' ? 'X' : c));
    id = four + "00XXX";
  }
  double span = p.last - p.first + p.interval;
  char name[96];
  if (p.version == 211) {
    std::string four = id.substr(0, 4);
    for (char& c : four) c = (char)tolower((unsigned char)c);
    char session = span >= 86400 - 1 ? '0' : (char)('a' + h);
    snprintf(name, sizeof name, "%s%03d%c.%02d%c%s", four.c_str(), doy, session, y % 100,
             p.kind == 'N' ? 'n'
             : p.compact   ? 'd'
                           : 'o',
             p.gzip ? ".gz" : "");
  } else {
    snprintf(name, sizeof name, "%s_R_%04d%03d%02d%02d_%s_%s%s.%s%s", id.c_str(), y, doy, h, mi,
             period(span).c_str(), p.kind == 'N' ? "" : (sampling(p.interval) + "_").c_str(),
             p.kind == 'N' ? "MN" : "MO", p.compact ? "crx" : "rnx", p.gzip ? ".gz" : "");
  }
  return dir + name;
}
