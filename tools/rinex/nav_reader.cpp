// Navigation files read into the broadcast records the orbit computations
// use: the Klobuchar coefficients and leap seconds, then one record per
// satellite and epoch, by the fixed columns of RINEX 3. RINEX 2 files (GPS N,
// GLONASS G) have a two-digit number and year and their fields one column
// earlier; RINEX 4 files put a "> EPH" line before each record and the
// Klobuchar coefficients into "> ION ... LNAV" records.
#include "nav_reader.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "rinex_text.h"

namespace bc {

constexpr double kBdsOffset = 14.0;  // GPS time minus BeiDou time, s

double field(const std::string& line, size_t pos, size_t len) {
  if (pos >= line.size()) return 0.0;
  std::string s = line.substr(pos, len);
  for (char& c : s)
    if (c == 'D' || c == 'd') c = 'E';
  return strtod(s.c_str(), nullptr);
}

int int_field(const std::string& line, size_t pos, size_t len) {
  double v = field(line, pos, len);
  return (v > -2147483648.0 && v < 2147483648.0) ? (int)v : 0;  // a damaged field reads as 0
}

namespace {

void cut_blanks(std::string* s) {
  while (!s->empty() && s->back() == ' ') s->pop_back();
}

// A GPS LNAV ION record of RINEX 4: alpha on lines 1-2, beta on 2-3.
void read_ion_record(std::istringstream* in, NavData* nav) {
  std::string l[3];
  for (std::string& line : l) {
    if (!std::getline(*in, line)) return;
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  const double v[8] = {field(l[0], 23, 19), field(l[0], 42, 19), field(l[0], 61, 19),
                       field(l[1], 4, 19),  field(l[1], 23, 19), field(l[1], 42, 19),
                       field(l[1], 61, 19), field(l[2], 4, 19)};
  for (int i = 0; i < 4; i++) nav->alpha[i] = v[i], nav->beta[i] = v[4 + i];
}

}  // namespace

bool read_nav_text(const std::string& text, NavData* nav) {
  std::istringstream in(text);
  bool header_ended = false;
  bool navigation = false;
  bool file_leap = false;  // this file's header gave LEAP SECONDS
  double version = 3;
  char file_system = 'G';  // RINEX 2: the system of the file's records
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string label = line.size() > 60 ? line.substr(60) : "";
    if (label.compare(0, 16, "IONOSPHERIC CORR") == 0) {
      double* dst = line.compare(0, 4, "GPSA") == 0   ? nav->alpha
                    : line.compare(0, 4, "GPSB") == 0 ? nav->beta
                                                      : nullptr;
      if (dst != nullptr)
        for (int i = 0; i < 4; i++) dst[i] = field(line, 5 + 12 * (size_t)i, 12);
    } else if (label.compare(0, 9, "ION ALPHA") == 0 || label.compare(0, 8, "ION BETA") == 0) {
      double* dst = label[4] == 'A' ? nav->alpha : nav->beta;
      for (int i = 0; i < 4; i++) dst[i] = field(line, 2 + 12 * (size_t)i, 12);
    } else if (label.compare(0, 12, "LEAP SECONDS") == 0) {
      nav->leap = field(line, 0, 6);
      nav->has_leap = file_leap = true;
    } else if (label.compare(0, 20, "RINEX VERSION / TYPE") == 0) {
      version = field(line, 0, 9);
      char type = line.size() > 20 ? line[20] : ' ';
      navigation = type == 'N' || (version < 3 && (type == 'G' || type == 'H'));
      file_system = type == 'G' ? 'R' : type == 'H' ? 'S' : 'G';
    } else if (label.compare(0, 13, "END OF HEADER") == 0) {
      header_ended = true;
      break;
    }
  }
  if (!navigation) return false;  // an observation or other file: nothing to read as records
  bool v2 = version < 3;
  bool skip_record = false;   // inside a RINEX 4 record of a message not read
  size_t shift = v2 ? 1 : 0;  // RINEX 2 fields start a column earlier
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // RINEX 4 records start with '>': an ION record of GPS LNAV gives the
    // Klobuchar coefficients; an EPH record is read when its message has the
    // layout read here, else passed over with its lines.
    if (!line.empty() && line[0] == '>') {
      skip_record = false;
      if (line.compare(0, 7, "> ION G") == 0 && line.compare(10, 4, "LNAV") == 0) {
        read_ion_record(&in, nav);
      } else if (line.compare(0, 5, "> EPH") == 0 && line.size() >= 12) {
        std::string message = line.substr(10, 4);
        cut_blanks(&message);
        char sys = line[6];
        bool layout = ((sys == 'G' || sys == 'J') && message == "LNAV") ||
                      (sys == 'R' && message == "FDMA") ||
                      (sys == 'E' && (message == "INAV" || message == "FNAV")) ||
                      (sys == 'C' && (message == "D1" || message == "D2"));
        skip_record = std::string("GRECJ").find(sys) != std::string::npos && !layout;
        if (skip_record) nav->skipped_messages[std::string(1, sys) + " " + message]++;
      }
      continue;
    }
    if (skip_record) continue;
    // A record's first line: a system letter (RINEX 2: a digit in column 2).
    bool first = v2 ? line.size() > 1 && line[1] != ' ' : !line.empty() && line[0] != ' ';
    if (line.size() < 22 || !first || line[0] == '>') continue;
    char sys = v2 ? file_system : line[0];
    int prn = int_field(line, v2 ? 0 : 1, 2);
    int y = v2 ? int_field(line, 3, 2) : int_field(line, 4, 4);
    if (v2) y += y < 80 ? 2000 : 1900;
    int mo = int_field(line, 9 - 3 * shift, 2), d = int_field(line, 12 - 3 * shift, 2);
    int h = int_field(line, 15 - 3 * shift, 2), mi = int_field(line, 18 - 3 * shift, 2);
    int s = v2 ? (int)field(line, 17, 5) : int_field(line, 21, 2);
    double clk[3];
    for (int i = 0; i < 3; i++) clk[i] = field(line, 23 - shift + 19 * (size_t)i, 19);
    int orbit_lines = (sys == 'R' || sys == 'S') ? 3 : 7;
    double o[7][4] = {};
    for (int n = 0; n < orbit_lines && std::getline(in, line); n++) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      for (int i = 0; i < 4; i++) o[n][i] = field(line, 4 - shift + 19 * (size_t)i, 19);
    }
    double epoch = seconds_since_gps_epoch(y, mo, d, h, mi, s);
    Ephemeris e = {};
    e.sys = sys;
    e.prn = prn;
    if (sys == 'R') {
      // The record epoch is UTC: dated now with the file's leap seconds, or later.
      e.t_utc = epoch;
      e.leap_known = file_leap;
      e.t_ref = epoch + (file_leap ? nav->leap : 0);
      if (!file_leap) nav->glonass_undated++;
      e.tau_neg = clk[0];
      e.gamma = clk[1];
      for (int i = 0; i < 3; i++) {
        e.state.p[i] = o[i][0] * 1000.0;
        e.state.v[i] = o[i][1] * 1000.0;
        e.acc[i] = o[i][2] * 1000.0;
      }
      e.channel = std::fabs(o[1][3]) < 100 ? (int)o[1][3] : 0;
    } else if (sys == 'G' || sys == 'J' || sys == 'E' || sys == 'C') {
      gnss::Kepler& k = e.k;
      k.af0 = clk[0], k.af1 = clk[1], k.af2 = clk[2];
      k.crs = o[0][1], k.delta_n = o[0][2], k.m0 = o[0][3];
      k.cuc = o[1][0], k.e = o[1][1], k.cus = o[1][2], k.sqrt_a = o[1][3];
      k.toe = o[2][0], k.cic = o[2][1], k.omega0 = o[2][2], k.cis = o[2][3];
      k.i0 = o[3][0], k.crc = o[3][1], k.omega = o[3][2], k.omega_dot = o[3][3];
      k.idot = o[4][0];
      double week = o[4][2];
      k.beidou_geo = sys == 'C' && (prn <= 5 || prn >= 59);  // the GEO satellites
      e.tgd = sys == 'E' ? o[5][3] : o[5][2];
      if (sys == 'E') {
        e.bgd_e5a = o[5][2];
        long sources = std::fabs(o[4][1]) < 1e6 ? (long)o[4][1] : 0;
        e.fnav = (sources & 0x102) != 0 && (sources & 0x205) == 0;
      }
      double offset = 0;
      if (sys == 'C') {
        week += 1356;  // BeiDou weeks are counted from 2006
        offset = kBdsOffset;
      }
      // The epoch's calendar is the system's own time: toc as seconds of its week.
      double since = epoch - week * gnss::kSecondsPerWeek;
      k.toc = since - std::floor(since / gnss::kSecondsPerWeek) * gnss::kSecondsPerWeek;
      e.t_ref = week * gnss::kSecondsPerWeek + k.toe + offset;
    } else {
      nav->skipped[sys]++;  // SBAS, IRNSS and anything else: no orbit computed here
      continue;
    }
    nav->by_sat[sat_key(sys, prn)].push_back(e);
  }
  return header_ended;
}

bool read_nav_file(const std::string& path, NavData* nav, std::string* error) {
  std::string text;
  if (!read_rinex_text(path, &text, error)) return false;
  if (!read_nav_text(text, nav)) {
    *error = path + ": not a RINEX navigation file";
    return false;
  }
  return true;
}

}  // namespace bc
