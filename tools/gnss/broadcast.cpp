// Broadcast orbits: satellites placed at transmit time with their clocks from
// the navigation records a reader gathered, and the single-point solution
// with one receiver clock per constellation.
#include "broadcast.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace bc {

constexpr double kBdsOffset = 14.0;  // GPS time minus BeiDou time, s

// Seconds from the GPS epoch (1980-01-06) to a calendar time of the same scale.
double seconds_since_gps_epoch(int y, int m, int d, int hh, int mm, double ss) {
  y -= m <= 2;
  long era = (y >= 0 ? y : y - 399) / 400;
  long yoe = y - era * 400;
  long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  long days = era * 146097 + doe - 719468;  // since 1970-01-01
  const long kGpsEpochDays = 3657;          // 1970-01-01 to 1980-01-06
  return (double)(days - kGpsEpochDays) * 86400.0 + hh * 3600.0 + mm * 60.0 + ss;
}

long resolve_glonass_times(NavData* nav, double leap) {
  long dropped = 0;
  for (auto& sat : nav->by_sat) {
    std::vector<Ephemeris>& records = sat.second;
    for (size_t i = 0; i < records.size();) {
      Ephemeris& e = records[i];
      if (e.sys != 'R' || e.leap_known) {
        i++;
      } else if (std::isnan(leap)) {
        records.erase(records.begin() + (long)i);
        dropped++;
      } else {
        e.t_ref = e.t_utc + leap;
        e.leap_known = true;
        i++;
      }
    }
  }
  for (auto it = nav->by_sat.begin(); it != nav->by_sat.end();)
    it = it->second.empty() ? nav->by_sat.erase(it) : std::next(it);
  nav->glonass_undated = 0;
  return dropped;
}

void merge(NavData* into, const NavData& from) {
  bool klobuchar = false;
  for (int i = 0; i < 4; i++) klobuchar = klobuchar || from.alpha[i] != 0 || from.beta[i] != 0;
  if (klobuchar)
    for (int i = 0; i < 4; i++) into->alpha[i] = from.alpha[i], into->beta[i] = from.beta[i];
  if (from.has_leap) into->leap = from.leap, into->has_leap = true;
  into->glonass_undated += from.glonass_undated;
  for (const auto& sat : from.by_sat) {
    std::vector<Ephemeris>& records = into->by_sat[sat.first];
    records.insert(records.end(), sat.second.begin(), sat.second.end());
  }
  for (const auto& k : from.skipped) into->skipped[k.first] += k.second;
  for (const auto& k : from.skipped_messages) into->skipped_messages[k.first] += k.second;
}

bool record_span(const NavData& nav, double* first, double* last) {
  bool any = false;
  for (const auto& sat : nav.by_sat)
    for (const Ephemeris& e : sat.second) {
      double t = e.sys == 'R' && !e.leap_known ? e.t_utc : e.t_ref;
      *first = any ? std::min(*first, t) : t;
      *last = any ? std::max(*last, t) : t;
      any = true;
    }
  return any;
}

std::string sat_key(char sys, int prn) {
  char key[8];
  snprintf(key, sizeof key, "%c%02d", sys, prn);
  return key;
}

const Ephemeris* nearest(const NavData& nav, const std::string& key, double t, bool fnav) {
  auto it = nav.by_sat.find(key);
  if (it == nav.by_sat.end()) return nullptr;
  bool chosen_kind = false;  // some record is of the message asked for
  for (const Ephemeris& e : it->second) chosen_kind = chosen_kind || e.fnav == fnav;
  const Ephemeris* best = nullptr;
  for (const Ephemeris& e : it->second) {
    if (chosen_kind && e.fnav != fnav) continue;
    if (best == nullptr || std::fabs(e.t_ref - t) < std::fabs(best->t_ref - t)) best = &e;
  }
  double limit = best->sys == 'R' ? 1800.0 : 4.0 * 3600.0;
  return std::fabs(best->t_ref - t) <= limit ? best : nullptr;
}

const gnss::Frame& frame_of(char sys) {
  if (sys == 'E') return gnss::kGalileoFrame;
  if (sys == 'C') return gnss::kBeiDouFrame;
  return gnss::kGpsFrame;
}

// The carrier of a code's band for the group delay and ionosphere scaling;
// the first frequency f1 where the band is not one of these.
double band_frequency(char sys, char band, double f1) {
  switch (band) {
    case '2': return sys == 'C' ? 1561.098e6 : 1227.60e6;  // BeiDou 3.02 writes B1I as band 1
    case '5': return 1176.45e6;
    case '7': return 1207.14e6;
    case '6': return sys == 'C' ? 1268.52e6 : 1278.75e6;
    default: return f1;
  }
}

bool place_satellite(const NavData& nav, char sys, int prn, double t_rx, double pr, SatMeas* m,
                     char band) {
  bool e5a = sys == 'E' && band == '5';
  const Ephemeris* e = nearest(nav, sat_key(sys, prn), t_rx, e5a);
  if (e == nullptr) return false;
  double t_tx = t_rx - pr / gnss::kC;
  double dt_sv;
  m->sys = sys;
  if (sys == 'R') {
    dt_sv = e->tau_neg + e->gamma * (t_tx - e->t_ref);
    t_tx -= dt_sv;
    gnss::GloState s = e->state;
    gnss::glonass_integrate(&s, e->acc, t_tx - e->t_ref, 30.0);
    for (int i = 0; i < 3; i++) m->pos[i] = s.p[i];
    m->omega_e = 7.292115e-5;
    m->freq = 1602.0e6 + e->channel * 0.5625e6;
  } else {
    const gnss::Frame& f = frame_of(sys);
    double offset = sys == 'C' ? kBdsOffset : 0.0;
    double ts = t_tx - offset;
    double sow = ts - std::floor(ts / gnss::kSecondsPerWeek) * gnss::kSecondsPerWeek;
    // The broadcast group delay is that of the first frequency; another band's
    // is it times the square of the frequency ratio.
    double f1 = sys == 'C' ? 1561.098e6 : 1575.42e6;
    m->freq = band_frequency(sys, band, f1);
    double ratio = (f1 / m->freq) * (f1 / m->freq);
    double group_delay = (e5a ? e->bgd_e5a : e->tgd) * ratio;
    dt_sv = gnss::kepler_clock(e->k, f, sow) - group_delay;
    sow -= dt_sv;
    gnss::kepler_position(e->k, f, sow, m->pos, nullptr);
    m->omega_e = f.omega_e;
  }
  m->pr = pr + gnss::kC * dt_sv;
  return true;
}

// Solves position and one clock per constellation; false when it does not converge.
bool solve(const std::vector<const SatMeas*>& ms, const NavData& nav, double t_rx, double x[3],
           const double* start, double mask_deg) {
  std::string systems;
  for (const SatMeas* m : ms)
    if (systems.find(m->sys) == std::string::npos) systems += m->sys;
  int n = 3 + (int)systems.size();
  std::vector<double> sol((size_t)n, 0.0);
  if (start != nullptr)
    for (int i = 0; i < 3; i++) sol[(size_t)i] = start[i];
  double sow = t_rx - std::floor(t_rx / gnss::kSecondsPerWeek) * gnss::kSecondsPerWeek;
  for (int iter = 0; iter < 15; iter++) {
    bool near_earth = std::sqrt(sol[0] * sol[0] + sol[1] * sol[1] + sol[2] * sol[2]) > 6.0e6;
    double lat = 0, lon = 0, h = 0;
    if (near_earth) gnss::ecef_to_geodetic(sol.data(), &lat, &lon, &h);
    std::vector<double> normal((size_t)(n * n), 0.0), rhs((size_t)n, 0.0);
    int used = 0;
    for (const SatMeas* m : ms) {
      double rcv[3] = {sol[0], sol[1], sol[2]};
      double range = gnss::sagnac_range(m->pos, rcv, m->omega_e);
      double corr = 0;
      if (near_earth) {
        double az, el;
        gnss::azimuth_elevation_at(rcv, lat, lon, m->pos, &az,
                                   &el);  // the geodetic position once an iteration
        if (el < mask_deg * gnss::kGpsPi / 180.0) continue;
        double ratio = 1575.42e6 / m->freq;
        corr = gnss::klobuchar(nav.alpha, nav.beta, lat, lon, az, el, sow) * ratio * ratio +
               gnss::troposphere(el);
      }
      int clock = 3 + (int)systems.find(m->sys);
      double row[16] = {};
      for (int i = 0; i < 3; i++) row[i] = (sol[(size_t)i] - m->pos[i]) / range;
      row[clock] = 1.0;
      double residual = m->pr - (range + sol[(size_t)clock] + corr);
      for (int i = 0; i < n; i++) {
        rhs[(size_t)i] += row[i] * residual;
        for (int j = 0; j < n; j++) normal[(size_t)(i * n + j)] += row[i] * row[j];
      }
      used++;
    }
    // A system whose satellites are all below the mask in this iteration has
    // no row for its clock: that clock stays where it is and the system drops
    // out of the solution instead of making it singular.
    int clocks = 0;
    for (int c = 3; c < n; c++) {
      if (normal[(size_t)(c * n + c)] > 0) {
        clocks++;
        continue;
      }
      normal[(size_t)(c * n + c)] = 1.0;
      rhs[(size_t)c] = 0.0;
    }
    if (clocks == 0 || used < 3 + clocks) return false;
    // Gaussian elimination with partial pivoting.
    for (int c = 0; c < n; c++) {
      int p = c;
      for (int r = c + 1; r < n; r++)
        if (std::fabs(normal[(size_t)(r * n + c)]) > std::fabs(normal[(size_t)(p * n + c)])) p = r;
      if (std::fabs(normal[(size_t)(p * n + c)]) < 1e-12) return false;
      for (int j = 0; j < n; j++)
        std::swap(normal[(size_t)(c * n + j)], normal[(size_t)(p * n + j)]);
      std::swap(rhs[(size_t)c], rhs[(size_t)p]);
      for (int r = c + 1; r < n; r++) {
        double f = normal[(size_t)(r * n + c)] / normal[(size_t)(c * n + c)];
        for (int j = c; j < n; j++) normal[(size_t)(r * n + j)] -= f * normal[(size_t)(c * n + j)];
        rhs[(size_t)r] -= f * rhs[(size_t)c];
      }
    }
    std::vector<double> dx((size_t)n, 0.0);
    for (int r = n - 1; r >= 0; r--) {
      double s = rhs[(size_t)r];
      for (int j = r + 1; j < n; j++) s -= normal[(size_t)(r * n + j)] * dx[(size_t)j];
      dx[(size_t)r] = s / normal[(size_t)(r * n + r)];
    }
    for (int i = 0; i < n; i++) sol[(size_t)i] += dx[(size_t)i];
    double step = std::sqrt(dx[0] * dx[0] + dx[1] * dx[1] + dx[2] * dx[2]);
    if (near_earth && step < 1e-3) {
      for (int i = 0; i < 3; i++) x[i] = sol[(size_t)i];
      return true;
    }
  }
  return false;
}

bool satellite_position(const NavData& nav, char sys, int prn, double t, double pos[3]) {
  SatMeas m;
  if (!place_satellite(nav, sys, prn, t, 0.0, &m)) return false;
  for (int i = 0; i < 3; i++) pos[i] = m.pos[i];
  return true;
}

int glonass_channel(const NavData& nav, int slot, bool* known) {
  auto it = nav.by_sat.find(sat_key('R', slot));
  *known = it != nav.by_sat.end() && !it->second.empty();
  if (!*known) return 0;
  // The number most records give: one record may carry another (an almanac's).
  std::map<int, int> votes;
  for (const Ephemeris& e : it->second) votes[e.channel]++;
  return std::max_element(votes.begin(), votes.end(),
                          [](const auto& a, const auto& b) { return a.second < b.second; })
      ->first;
}

}  // namespace bc
