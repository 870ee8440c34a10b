// The quality statistics. One pass over the epochs keeps, per satellite and
// signal, the previous phases and Doppler (cycle slips, arcs) and the current
// arc of the code-minus-phase combination (multipath); elevations come from
// the broadcast orbits at the header position, sampled every 5 minutes (or
// every epoch when the interval is longer) and interpolated between.
#include "qc.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

namespace {

constexpr double kRad = 3.14159265358979323846 / 180.0;
constexpr double kElevationStep = 300.0;  // seconds between elevation samples
// Spans beyond these (a year, a few million epochs) are damaged times: no
// elevations and no expected counts are worked out for them.
constexpr double kMaxElevationSamples = 110000;
constexpr long kMaxExpectedEpochs = 4000000;
constexpr int kShortestArc = 10;  // multipath arcs of fewer epochs are dropped
constexpr size_t kMaxPlotPoints = 1500;
constexpr double kMaxSolutions = 2880;  // position epochs of a file at most
constexpr double kMaxSeries = 3000;     // 15-minute intervals at most, a month
constexpr int kTrackPoints = 300;       // per satellite across the span

// Carrier frequency of a band (the second character of a type), Hz; 0 when unknown.
double frequency(char sys, char band, double version, int glonass_k, bool k_known) {
  switch (sys) {
    case 'G':
    case 'J':
      return band == '1'   ? 1575.42e6
             : band == '2' ? 1227.60e6
             : band == '5' ? 1176.45e6
             : band == '6' ? 1278.75e6
                           : 0;
    case 'E':
      return band == '1'   ? 1575.42e6
             : band == '5' ? 1176.45e6
             : band == '7' ? 1207.14e6
             : band == '8' ? 1191.795e6
             : band == '6' ? 1278.75e6
                           : 0;
    case 'C':  // RINEX 3.02 calls B1I band 1, later versions band 2
      if (band == '1') return version < 3.03 ? 1561.098e6 : 1575.42e6;
      return band == '2'   ? 1561.098e6
             : band == '7' ? 1207.14e6
             : band == '6' ? 1268.52e6
             : band == '5' ? 1176.45e6
             : band == '8' ? 1191.795e6
                           : 0;
    case 'R':
      if (band == '3') return 1202.025e6;
      if (!k_known) return 0;
      return band == '1'   ? 1602.0e6 + glonass_k * 0.5625e6
             : band == '2' ? 1246.0e6 + glonass_k * 0.4375e6
                           : 0;
    case 'S': return band == '1' ? 1575.42e6 : band == '5' ? 1176.45e6 : 0;
    default: return 0;
  }
}

int index_of(const std::vector<std::string>& types, const std::string& type) {
  auto it = std::find(types.begin(), types.end(), type);
  return it == types.end() ? -1 : (int)(it - types.begin());
}

constexpr int kMaxNumber = 100;
// A satellite's place in the per-satellite tables: system by its letter, then number.
int slot_of(char sys, int prn) {
  static const char kSystems[] = "GRECJSI";
  const char* p = strchr(kSystems, sys);
  if (p == nullptr || sys == '\0' || prn < 0 || prn >= kMaxNumber) return -1;
  return (int)(p - kSystems) * kMaxNumber + prn;
}
constexpr int kSlots = 7 * kMaxNumber;

// A signal of another band that pairs with a signal for the combinations.
struct Partner {
  int phase, code;  // type indexes; code -1 when the type list has no code of it
  char band;
};

struct SignalDef {
  char sys;
  int code, phase, doppler, snr;  // type indexes, -1 when absent
  char band;
  // The phases of the system's other bands, in the order of the type list:
  // on each satellite the first one measured is its partner.
  std::vector<Partner> partners;
};

// Per satellite and signal while the epochs pass.
struct Track {
  double t = -1e30;
  double la = NAN, lb = NAN, doppler = NAN;
  int partner = -1;               // the partner of the last epoch, -1 when none
  double mw_mean = 0, mw_m2 = 0;  // Melbourne-Wuebbena mean and sum of squares of the arc
  long mw_count = 0;
  double p = NAN;  // the code of the last epoch, for the clock jumps
  struct Point {
    float el;   // degrees, NaN where unknown
    double t;   // seconds
    double mp;  // code minus the phase combination, metres
  };
  std::vector<Point> arc;
};

// Multipath: the mean over this window (seconds, centred, within the arc) is
// removed from each value, then values beyond kMpOutlier standard deviations
// of the arc are dropped.
constexpr double kMpWindow = 1800;
constexpr double kMpOutlier = 3;
// A median step of the codes (or phases) of an epoch beyond half a
// millisecond of light is a receiver clock jump.
constexpr double kClockJump = 0.5e-3 * gnss::kC;

// Geometry-free: its change from one epoch to the next beyond what the
// ionosphere drifts, metres plus kGeometryFreeRate per second.
constexpr double kGeometryFreeJump = 0.05;
constexpr double kGeometryFreeRate = 0.003;
// Melbourne-Wuebbena: wide-lane cycles from the arc's mean, or four of the
// arc's standard deviations where its code is noisier.
constexpr double kWideLaneJump = 5.0;
constexpr int kWideLaneSettle = 5;  // epochs of an arc before its mean is trusted
// Phase against integrated Doppler, receiver clock removed: cycles, plus
// kDopplerRate per second (the Doppler's noise and the change of the range's
// acceleration, which the mean of two Dopplers misses, grow with the
// interval: about 6 cycles at 30 s on a real day).
constexpr double kDopplerJump = 2.0;
constexpr double kDopplerRate = 0.2;

void enu(const double ref[3], const double d[3], double out[3]) {
  double lat, lon, h;
  gnss::ecef_to_geodetic(ref, &lat, &lon, &h);
  double sl = std::sin(lat), cl = std::cos(lat), so = std::sin(lon), co = std::cos(lon);
  out[0] = -so * d[0] + co * d[1];
  out[1] = -sl * co * d[0] - sl * so * d[1] + cl * d[2];
  out[2] = cl * co * d[0] + cl * so * d[1] + sl * d[2];
}

class Analysis {
 public:
  Analysis(const ObsFile& obs, const bc::NavData& nav, double mask, QcReport* r)
      : obs_(obs), nav_(nav), mask_(mask * kRad), r_(*r) {}
  void run();

 private:
  void span();
  void positions();
  std::string unsolved_reason(const QcPosition& p, const std::map<char, std::set<int>>& observed,
                              const std::map<char, std::set<int>>& with_orbit) const;
  void define_signals();
  bool elevation(char sys, int prn, double t, double* az, double* el);
  void expected_counts();
  void signal_pass();
  void end_arc(size_t g, int slot, Track* tr);
  bool clock_jump(const ObsEpoch& e, const std::vector<Track>& tracks);
  void summaries(const std::vector<std::vector<std::pair<double, double>>>& runs);
  int glonass_k(const ObsSat& sat) const;
  bool glonass_known(const ObsSat& sat) const;
  bool phase_doppler_metres(const SignalDef& d, const Track& tr, const ObsSat& sat, double t,
                            double* metres) const;

  const ObsFile& obs_;
  const bc::NavData& nav_;
  double mask_;
  QcReport& r_;
  double ref_[3] = {0, 0, 0};
  bool have_ref_ = false;
  double el_step_ = kElevationStep;
  std::vector<SignalDef> defs_;
  std::vector<std::string> names_;  // "G C1C" per signal
  // Per satellite slot: multipath sums by signal, the satellite's summary.
  std::vector<std::vector<std::pair<double, long>>> sat_mp_;
  std::vector<QcSatellite> sat_;
  std::vector<float> az_[kSlots], el_[kSlots];  // samples by satellite slot
};

void Analysis::span() {
  const std::vector<ObsEpoch>& e = obs_.epochs;
  r_.epochs_present = (long)e.size();
  if (e.empty()) return;
  // A damaged file's epochs need not be in order.
  r_.first = e.front().t;
  r_.last = e.back().t;
  for (const ObsEpoch& x : e) {
    r_.first = std::min(r_.first, x.t);
    r_.last = std::max(r_.last, x.t);
  }
  std::vector<double> spacing;
  long back = 0;
  size_t first_back = 0;
  for (size_t i = 1; i < e.size(); i++) {
    spacing.push_back(e[i].t - e[i - 1].t);
    if (e[i].t <= e[i - 1].t && back++ == 0) first_back = i;
  }
  if (back > 0)  // their observations are counted as they come: completeness can pass 100 %
    r_.notes.push_back(std::to_string(back) + " epochs not later than the epoch before them, the " +
                       "first at " + qc_time_text(e[first_back].t) + " after " +
                       qc_time_text(e[first_back - 1].t) +
                       ": the file's time goes back, and completeness counts them again");
  double median = 0;
  if (!spacing.empty()) {
    std::nth_element(spacing.begin(), spacing.begin() + (long)spacing.size() / 2, spacing.end());
    median = spacing[spacing.size() / 2];
  }
  r_.interval = obs_.interval > 0 ? obs_.interval : median;
  if (r_.interval <= 0) {
    r_.epochs_expected = r_.epochs_present;
    return;
  }
  r_.epochs_expected = std::lround(std::min((r_.last - r_.first) / r_.interval, 1e9)) + 1;
  for (size_t i = 1; i < e.size(); i++)
    if (e[i].t - e[i - 1].t > 1.5 * r_.interval) r_.gaps.push_back({e[i - 1].t, e[i].t});
  el_step_ = std::max(kElevationStep, r_.interval);
}

// Single-point positions from the first pseudorange of each system.
void Analysis::positions() {
  const char* kGroups[] = {"G", "E", "C", "R", "J", "all"};
  std::map<char, int> first_code;
  for (const auto& t : obs_.types)
    for (size_t i = 0; i < t.second.size(); i++)
      if (t.second[i][0] == 'C' && first_code.count(t.first) == 0) first_code[t.first] = (int)i;
  std::vector<std::vector<double>> errors(6);
  std::vector<QcPosition>& pos = r_.positions;
  for (const char* g : kGroups) {
    pos.emplace_back();
    pos.back().name = g;
  }
  std::vector<double> sum[6];
  for (auto& s : sum) s.assign(3, 0.0);
  std::map<char, std::set<int>> observed, with_orbit;  // satellites by system
  double last_t = -1e30;
  // From the header position when there is one: two iterations instead of six.
  bool has_start = obs_.approx[0] != 0 || obs_.approx[1] != 0 || obs_.approx[2] != 0;
  // At most kMaxSolutions epochs, evenly spread (a day: every 30 s), and at
  // most one a second: more would change the figures by nothing visible.
  double step = std::max(1.0, (r_.last - r_.first) / kMaxSolutions) - 0.001;
  for (const ObsEpoch& e : obs_.epochs) {
    if (e.t - last_t < step) continue;
    last_t = e.t;
    std::vector<bc::SatMeas> ms;
    for (int i = 0; i < e.nsat; i++) {
      const ObsSat& s = obs_.sats[(size_t)(e.first_sat + i)];
      auto c = first_code.find(s.sys);
      if (c == first_code.end()) continue;
      double pr = obs_.values[s.first_value + (size_t)c->second];
      bc::SatMeas m;
      char band = obs_.types.at(s.sys)[(size_t)c->second][1];
      if (pr > 1e7 && bc::place_satellite(nav_, s.sys, s.prn, e.t, pr, &m, band)) {
        ms.push_back(m);
        with_orbit[s.sys].insert(s.prn);
      }
    }
    for (int i = 0; i < e.nsat; i++) {
      const ObsSat& s = obs_.sats[(size_t)(e.first_sat + i)];
      if (first_code.count(s.sys) != 0) observed[s.sys].insert(s.prn);
    }
    for (size_t g = 0; g < pos.size(); g++) {
      QcPosition& p = pos[g];
      std::vector<const bc::SatMeas*> use;
      bool all = p.name == "all";
      for (const bc::SatMeas& m : ms)
        if (all ? std::string("GRECJ").find(m.sys) != std::string::npos : m.sys == p.name[0])
          use.push_back(&m);
      bool seen = false;
      for (int i = 0; i < e.nsat && !seen; i++) {
        char sys = obs_.sats[(size_t)(e.first_sat + i)].sys;
        seen = first_code.count(sys) != 0 &&
               (all ? std::string("GRECJ").find(sys) != std::string::npos : sys == p.name[0]);
      }
      if (!seen) continue;
      p.epochs++;
      if (use.size() < 4) {
        p.few_orbits++;
        continue;
      }
      double x[3];
      // The report's mask: what counts for positions is what counts for completeness.
      if (!bc::solve(use, nav_, e.t, x, has_start ? obs_.approx : nullptr, mask_ / kRad)) {
        p.failed++;
        continue;
      }
      double off[3] = {x[0] - obs_.approx[0], x[1] - obs_.approx[1], x[2] - obs_.approx[2]};
      if (has_start &&
          std::sqrt(off[0] * off[0] + off[1] * off[1] + off[2] * off[2]) > kFarSolution) {
        p.far++;
        continue;
      }
      pos[g].solved++;
      for (int k = 0; k < 3; k++) sum[g][(size_t)k] += x[k];
      pos[g].t.push_back(e.t);
      for (int k = 0; k < 3; k++)
        pos[g].enu[k].push_back(x[k]);  // ECEF until the reference is known
    }
  }
  have_ref_ = obs_.approx[0] != 0 || obs_.approx[1] != 0 || obs_.approx[2] != 0;
  for (int k = 0; k < 3; k++) ref_[k] = obs_.approx[k];
  if (!have_ref_ && pos.back().solved > 0) {
    for (int k = 0; k < 3; k++) ref_[k] = sum[5][(size_t)k] / pos.back().solved;
    have_ref_ = true;
    r_.notes.push_back("no APPROX POSITION XYZ: positions are against the mean solution");
  }
  for (int k = 0; k < 3; k++) r_.approx[k] = ref_[k];
  for (size_t g = 0; g < pos.size(); g++) {
    QcPosition& p = pos[g];
    std::vector<double> d3;
    for (size_t i = 0; i < p.t.size(); i++) {
      double d[3] = {p.enu[0][i] - ref_[0], p.enu[1][i] - ref_[1], p.enu[2][i] - ref_[2]};
      double e[3];
      enu(ref_, d, e);
      for (int k = 0; k < 3; k++) p.enu[k][i] = e[k];
      d3.push_back(std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]));
    }
    if (p.solved == 0) {  // no figure rather than a zero that reads as a perfect one
      p.median = p.p95 = NAN;
      for (double& v : p.mean_enu) v = NAN;
      if (p.epochs > 0) p.unsolved = unsolved_reason(p, observed, with_orbit);
    } else {
      double d[3] = {sum[g][0] / p.solved - ref_[0], sum[g][1] / p.solved - ref_[1],
                     sum[g][2] / p.solved - ref_[2]};
      enu(ref_, d, p.mean_enu);
      std::sort(d3.begin(), d3.end());
      p.median =
          d3.size() % 2 ? d3[d3.size() / 2] : 0.5 * (d3[d3.size() / 2 - 1] + d3[d3.size() / 2]);
      p.p95 = d3[(size_t)std::ceil(0.95 * (double)d3.size()) - 1];
    }
    if (p.t.size() > kMaxPlotPoints) {
      std::vector<double> idx(p.t.size());
      size_t most = kMaxPlotPoints;
      double step = (double)p.t.size() / (double)most;
      std::vector<double> t2, e2[3];
      for (size_t i = 0; i < most; i++) {
        size_t j = (size_t)(i * step);
        t2.push_back(p.t[j]);
        for (int k = 0; k < 3; k++) e2[k].push_back(p.enu[k][j]);
      }
      p.t.swap(t2);
      for (int k = 0; k < 3; k++) p.enu[k].swap(e2[k]);
    }
  }
}

// Why a system (or all of them) was never solved, from the commonest failure.
std::string Analysis::unsolved_reason(const QcPosition& p,
                                      const std::map<char, std::set<int>>& observed,
                                      const std::map<char, std::set<int>>& with_orbit) const {
  char mask[32];
  snprintf(mask, sizeof mask, "%g", mask_ / kRad);
  if (p.far >= p.few_orbits && p.far >= p.failed)
    return "its solutions lie more than 1 km from the header position, so they count as failed";
  if (p.failed >= p.few_orbits)
    return std::string("fewer than four of its satellites above the ") + mask +
           " degree mask at each epoch, or the solution did not converge";
  std::string systems = p.name == "all" ? "GRECJ" : p.name;
  long seen = 0, orbits = 0;
  std::string listed;
  for (char sys : systems) {
    auto o = observed.find(sys);
    if (o == observed.end()) continue;
    seen += (long)o->second.size();
    auto w = with_orbit.find(sys);
    if (w == with_orbit.end()) continue;
    orbits += (long)w->second.size();
    for (int prn : w->second) listed += " " + bc::sat_key(sys, prn);
  }
  if (orbits == 0) return "no navigation record of its satellites at these times";
  return "fewer than four of its satellites with a navigation record at each epoch (records for " +
         std::to_string(orbits) + " of its " + std::to_string(seen) + " satellites:" + listed + ")";
}

void Analysis::define_signals() {
  for (const auto& t : obs_.types) {
    const std::vector<std::string>& types = t.second;
    for (size_t i = 0; i < types.size(); i++) {
      const std::string& code = types[i];
      if (code[0] != 'C') continue;
      std::string rest = code.substr(1);
      SignalDef d = {t.first,
                     (int)i,
                     index_of(types, "L" + rest),
                     index_of(types, "D" + rest),
                     index_of(types, "S" + rest),
                     code[1],
                     {}};
      QcSignal s;
      s.system = t.first;
      s.code = code;
      for (const std::string& other : types) {
        if (other[0] != 'L' || other.size() < 3 || other[1] == code[1]) continue;
        if (s.second.empty()) s.second = "C" + other.substr(1);
        d.partners.push_back(
            {index_of(types, other), index_of(types, "C" + other.substr(1)), other[1]});
      }
      defs_.push_back(d);
      r_.signals.push_back(s);
    }
  }
}

bool Analysis::elevation(char sys, int prn, double t, double* az, double* el) {
  if (!have_ref_) return false;
  int slot = slot_of(sys, prn);
  if (slot < 0) return false;
  std::vector<float>& els = el_[slot];
  std::vector<float>& azs = az_[slot];
  if ((r_.last - r_.first) / el_step_ > kMaxElevationSamples) return false;
  if (els.empty()) {  // sampled once over the whole span
    size_t n = (size_t)((r_.last - r_.first) / el_step_) + 3;
    els.assign(n, NAN);
    azs.assign(n, NAN);
    for (size_t k = 0; k < n; k++) {
      double p[3], a, e;
      if (!bc::satellite_position(nav_, sys, prn, r_.first + (double)k * el_step_, p)) continue;
      gnss::azimuth_elevation(ref_, p, &a, &e);
      els[k] = (float)e;
      azs[k] = (float)a;
    }
  }
  // Elevation between the samples on a straight line (a satellite moves less
  // than half a degree a minute), azimuth from the nearer sample.
  double x = (t - r_.first) / el_step_;
  if (!(x >= 0 && x + 1 < (double)els.size())) return false;
  size_t k = (size_t)std::floor(x);
  if (std::isnan(els[k]) || std::isnan(els[k + 1])) return false;
  double f = x - (double)k;
  *el = els[k] + f * (els[k + 1] - els[k]);
  *az = azs[f < 0.5 ? k : k + 1];
  return true;
}

// Expected observations: for every satellite with orbits that carried the
// signal at least once, the epochs of the expected grid with it above the mask.
void Analysis::expected_counts() {
  if (r_.interval <= 0 || r_.epochs_expected > kMaxExpectedEpochs) {
    r_.notes.push_back("the span is too long for expected counts (damaged epoch times?)");
    return;
  }
  std::vector<std::vector<bool>> carried(kSlots);  // by satellite slot: per signal
  for (const ObsSat& s : obs_.sats) {
    int slot = slot_of(s.sys, s.prn);
    if (slot < 0) continue;
    std::vector<bool>& c = carried[(size_t)slot];
    c.resize(defs_.size(), false);
    for (size_t g = 0; g < defs_.size(); g++)
      if (defs_[g].sys == s.sys && !std::isnan(obs_.values[s.first_value + (size_t)defs_[g].code]))
        c[g] = true;
  }
  std::map<char, bool> has_orbits;
  for (int slot = 0; slot < kSlots; slot++) {
    const std::vector<bool>& sat = carried[(size_t)slot];
    if (sat.empty()) continue;
    char sys = "GRECJSI"[slot / kMaxNumber];
    int prn = slot % kMaxNumber;
    double az, el;
    long above = 0;
    bool orbit = false;
    for (long k = 0; k < r_.epochs_expected; k++) {
      if (!elevation(sys, prn, r_.first + (double)k * r_.interval, &az, &el)) continue;
      orbit = true;
      if (el >= mask_) above++;
    }
    has_orbits[sys] = has_orbits[sys] || orbit;
    for (size_t g = 0; g < defs_.size(); g++) {
      if (!sat[g] || !orbit) continue;
      if (r_.signals[g].expected < 0) r_.signals[g].expected = 0;
      r_.signals[g].expected += above;
    }
  }
  for (const auto& t : obs_.types)
    if (!has_orbits[t.first])
      r_.notes.push_back(std::string("no orbits for ") + t.first +
                         ": its expected observations are unknown");
}

int Analysis::glonass_k(const ObsSat& sat) const {
  if (sat.sys != 'R') return 0;
  auto h = obs_.glonass_channel.find(sat.prn);
  bool known;
  return h != obs_.glonass_channel.end() ? h->second : bc::glonass_channel(nav_, sat.prn, &known);
}

bool Analysis::glonass_known(const ObsSat& sat) const {
  if (sat.sys != 'R' || obs_.glonass_channel.count(sat.prn) != 0) return true;
  bool known;
  bc::glonass_channel(nav_, sat.prn, &known);
  return known;
}

// The change of phase since the track's last epoch less the Doppler
// integrated over it (the mean of the two), in metres: a slip, plus the
// receiver clock's share common to the epoch. False without both values at
// consecutive epochs.
bool Analysis::phase_doppler_metres(const SignalDef& d, const Track& tr, const ObsSat& sat,
                                    double t, double* metres) const {
  if (d.phase < 0 || d.doppler < 0) return false;
  const double* v = &obs_.values[sat.first_value];
  double la = v[d.phase], dop = v[d.doppler], dt = t - tr.t;
  if (!(dt > 0 && dt <= 1.5 * r_.interval) || std::isnan(la) || std::isnan(dop) ||
      std::isnan(tr.la) || std::isnan(tr.doppler))
    return false;
  double f = frequency(sat.sys, d.band, obs_.version, glonass_k(sat), glonass_known(sat));
  if (f <= 0) return false;
  *metres = ((la - tr.la) + 0.5 * (dop + tr.doppler) * dt) * gnss::kC / f;
  return true;
}

void Analysis::end_arc(size_t g, int slot, Track* tr) {
  std::vector<Track::Point>& arc = tr->arc;
  if ((int)arc.size() >= kShortestArc) {
    // The moving mean (two ends sliding over the arc in time order).
    std::vector<double> d(arc.size());
    double sum = 0;
    size_t lo = 0, hi = 0;
    for (size_t i = 0; i < arc.size(); i++) {
      for (; hi < arc.size() && arc[hi].t <= arc[i].t + kMpWindow / 2; hi++) sum += arc[hi].mp;
      for (; arc[lo].t < arc[i].t - kMpWindow / 2; lo++) sum -= arc[lo].mp;
      d[i] = arc[i].mp - sum / (double)(hi - lo);
    }
    double sum2 = 0;
    for (double v : d) sum2 += v * v;
    double limit = kMpOutlier * std::sqrt(sum2 / (double)d.size());
    QcSignal& s = r_.signals[g];
    QcDensity& plot = r_.mp_el[names_[g]];
    plot.y0 = -3, plot.y1 = 3;
    std::pair<double, long>& sat = sat_mp_[(size_t)slot][g];
    for (size_t i = 0; i < arc.size(); i++) {
      if (std::fabs(d[i]) > limit) continue;
      s.mp_sum2 += d[i] * d[i];
      s.mp_count++;
      sat.first += d[i] * d[i];
      sat.second++;
      double at = std::max(0.0, (arc[i].t - r_.first) / kSeriesStep);
      QcInterval& bin = r_.series[std::min(r_.series.size() - 1, (size_t)std::min(at, 1e9))];
      bin.mp_sum2 += d[i] * d[i];
      bin.mp_count++;
      if (!std::isnan(arc[i].el)) plot.add(arc[i].el, d[i]);
    }
    s.mp_arcs++;
  }
  arc.clear();
}

// The median millisecond steps of code and phase since the last epoch, over
// the satellites that have them, each against the Doppler (without one,
// code against phase): a step of the receiver's clock, which moves every
// satellite's code (and, with some receivers, phase) by the same
// milliseconds of light. True when the epoch holds one; it is listed.
bool Analysis::clock_jump(const ObsEpoch& e, const std::vector<Track>& tracks) {
  std::vector<double> code, phase;
  for (int i = 0; i < e.nsat; i++) {
    const ObsSat& sat = obs_.sats[(size_t)(e.first_sat + i)];
    int slot = slot_of(sat.sys, sat.prn);
    if (slot < 0) continue;
    for (size_t g = 0; g < defs_.size(); g++) {
      const SignalDef& d = defs_[g];
      if (d.sys != sat.sys || d.phase < 0) continue;
      const Track& tr = tracks[(size_t)slot * defs_.size() + g];
      const double* v = &obs_.values[sat.first_value];
      double dt = e.t - tr.t,
             f = frequency(sat.sys, d.band, obs_.version, glonass_k(sat), glonass_known(sat));
      if (!(dt > 0 && dt <= 1.5 * r_.interval) || f <= 0) continue;
      double lambda = gnss::kC / f, dp = v[d.code] - tr.p, dl = (v[d.phase] - tr.la) * lambda;
      double dop = d.doppler >= 0 ? v[d.doppler] : NAN;
      double moved = std::isnan(dop) || std::isnan(tr.doppler)
                         ? NAN
                         : -0.5 * (dop + tr.doppler) * dt * lambda;  // the range's change
      if (!std::isnan(moved)) {
        if (!std::isnan(dp)) code.push_back(dp - moved);
        if (!std::isnan(dl)) phase.push_back(dl - moved);
      } else if (!std::isnan(dp) && !std::isnan(dl)) {
        code.push_back(dp - dl);
      }
      break;  // one signal a satellite
    }
  }
  auto median = [](std::vector<double>* v) {
    if (v->empty()) return 0.0;
    std::nth_element(v->begin(), v->begin() + (long)v->size() / 2, v->end());
    return (*v)[v->size() / 2];
  };
  double c = median(&code), p = median(&phase);
  if (!(std::fabs(c) > kClockJump || std::fabs(p) > kClockJump)) return false;
  const double ms = 1e-3 * gnss::kC;
  auto whole_ms = [&](double v) { return std::lround(std::max(-1e9, std::min(1e9, v / ms))); };
  r_.clock_jumps.push_back({e.t, whole_ms(c), whole_ms(p)});
  return true;
}

// Per satellite and signal the multipath RMS, per signal the mean of its
// satellites'; per satellite its row; the short arcs; the 15-minute figures.
void Analysis::summaries(const std::vector<std::vector<std::pair<double, double>>>& runs) {
  std::vector<double> rms_sum(defs_.size(), 0.0);
  std::vector<int> rms_sats(defs_.size(), 0);
  for (int slot = 0; slot < kSlots; slot++) {
    QcSatellite& sat = sat_[(size_t)slot];
    if (sat.epochs == 0) continue;
    sat.key = bc::sat_key("GRECJSI"[slot / kMaxNumber], slot % kMaxNumber);
    for (size_t g = 0; g < defs_.size(); g++) {
      const std::pair<double, long>& m = sat_mp_[(size_t)slot][g];
      if (m.second == 0) continue;
      double rms = std::sqrt(m.first / (double)m.second);
      sat.mp_rms[r_.signals[g].code] = rms;
      rms_sum[g] += rms;
      rms_sats[g]++;
    }
    for (const auto& run : runs[(size_t)slot])
      if (run.second - run.first + r_.interval < kShortArc && run.first > r_.first &&
          run.second < r_.last)
        r_.short_arcs.push_back({sat.key, run});
    r_.satellites.push_back(sat);
  }
  for (size_t g = 0; g < defs_.size(); g++)
    if (rms_sats[g] > 0) r_.signals[g].mp_rms = rms_sum[g] / rms_sats[g];
  for (QcInterval& i : r_.series) {
    if (i.cn0_count > 0) i.cn0_mean = i.cn0_sum / (double)i.cn0_count;
    if (i.mp_count > 0) i.mp_rms = std::sqrt(i.mp_sum2 / (double)i.mp_count);
  }
  std::sort(r_.short_arcs.begin(), r_.short_arcs.end(),
            [](const auto& a, const auto& b) { return a.second.first < b.second.first; });
  std::stable_sort(r_.slips.begin(), r_.slips.end(),
                   [](const QcSlip& a, const QcSlip& b) { return a.t < b.t; });
}

void Analysis::signal_pass() {
  std::vector<Track> tracks((size_t)kSlots * defs_.size());
  std::vector<double> last_track_point(kSlots, -1e30);
  std::vector<bool> slip_since(kSlots, false);
  std::vector<std::vector<std::pair<double, double>>> runs(kSlots);
  std::vector<std::vector<double>> slip_times(kSlots);
  std::vector<std::vector<QcTrackPoint>> track_points(kSlots);
  double track_step = std::max(r_.interval, (r_.last - r_.first) / kTrackPoints);
  std::vector<QcDensity*> cn0_plot;
  for (const QcSignal& s : r_.signals) {
    names_.push_back(std::string(1, s.system) + " " + s.code);
    cn0_plot.push_back(&r_.cn0_el[names_.back()]);
    cn0_plot.back()->y0 = 10, cn0_plot.back()->y1 = 60;
  }
  sat_mp_.assign(kSlots, std::vector<std::pair<double, long>>(defs_.size(), {0.0, 0L}));
  sat_.assign(kSlots, QcSatellite{});
  // A month at most (a damaged file's times span centuries): else one interval.
  double span_bins = (r_.last - r_.first) / kSeriesStep;
  size_t bins = span_bins >= 0 && span_bins < kMaxSeries ? (size_t)span_bins + 1 : 1;
  if (bins == 1 && span_bins >= kMaxSeries)
    r_.notes.push_back("the span is too long for 15-minute figures: one figure for the file");
  r_.series.resize(bins);
  for (size_t i = 0; i < bins; i++) r_.series[i].start = r_.first + (double)i * kSeriesStep;
  std::vector<long> seen_in_bin(kSlots, -1);
  std::vector<double> clock_terms;
  for (const ObsEpoch& e : obs_.epochs) {
    size_t bin =
        std::min(bins - 1, (size_t)std::min(1e9, std::max(0.0, (e.t - r_.first) / kSeriesStep)));
    QcInterval& interval = r_.series[bin];
    bool jumped = clock_jump(e, tracks);
    // The receiver clock's share of phase against integrated Doppler is the
    // same in metres on every satellite of the epoch: its median.
    clock_terms.clear();
    for (int i = 0; i < e.nsat; i++) {
      const ObsSat& sat = obs_.sats[(size_t)(e.first_sat + i)];
      int slot = slot_of(sat.sys, sat.prn);
      if (slot < 0) continue;
      for (size_t g = 0; g < defs_.size(); g++) {
        double m;
        if (defs_[g].sys == sat.sys &&
            phase_doppler_metres(defs_[g], tracks[(size_t)slot * defs_.size() + g], sat, e.t, &m))
          clock_terms.push_back(m);
      }
    }
    double clock_term = 0;
    if (!clock_terms.empty()) {
      std::nth_element(clock_terms.begin(), clock_terms.begin() + (long)clock_terms.size() / 2,
                       clock_terms.end());
      clock_term = clock_terms[clock_terms.size() / 2];
    }
    for (int i = 0; i < e.nsat; i++) {
      const ObsSat& sat = obs_.sats[(size_t)(e.first_sat + i)];
      const double* v = &obs_.values[sat.first_value];
      const unsigned char* lli = &obs_.lli[sat.first_value];
      int slot = slot_of(sat.sys, sat.prn);
      if (slot < 0) continue;
      double az = NAN, el = NAN;
      bool has_el = elevation(sat.sys, sat.prn, e.t, &az, &el);
      bool above = has_el && el >= mask_;
      QcSatellite& summary = sat_[(size_t)slot];
      summary.epochs++;
      if (has_el) {
        double deg = el / kRad;
        summary.el_min = std::isnan(summary.el_min) ? deg : std::min(summary.el_min, deg);
        summary.el_max = std::isnan(summary.el_max) ? deg : std::max(summary.el_max, deg);
      }
      if (seen_in_bin[(size_t)slot] != (long)bin) {
        seen_in_bin[(size_t)slot] = (long)bin;
        interval.satellites++;
      }
      std::vector<std::pair<double, double>>& run = runs[(size_t)slot];
      if (run.empty() || e.t - run.back().second > 1.5 * r_.interval)
        run.push_back({e.t, e.t});
      else
        run.back().second = e.t;
      double first_cn0 = NAN;
      for (size_t g = 0; g < defs_.size(); g++) {
        const SignalDef& d = defs_[g];
        if (d.sys != sat.sys) continue;
        QcSignal& s = r_.signals[g];
        double p = v[d.code];
        double la = d.phase >= 0 ? v[d.phase] : NAN;
        double dop = d.doppler >= 0 ? v[d.doppler] : NAN;
        double cn0 = d.snr >= 0 ? v[d.snr] : NAN;
        bool lost = d.phase >= 0 && !std::isnan(la) && (lli[d.phase] & 1);
        if (!std::isnan(p)) {
          s.present++;
          if (above) s.present_above_mask++;
        }
        if (above && !std::isnan(la)) s.phase_above_mask++;
        if (!std::isnan(cn0) && cn0 > 0) {
          s.cn0_sum += cn0;
          s.cn0_count++;
          if (has_el) cn0_plot[g]->add(el / kRad, cn0);
          if (std::isnan(first_cn0)) {
            first_cn0 = cn0;
            interval.cn0_sum += cn0;
            interval.cn0_count++;
          }
        }
        if (lost) {
          s.lli++;
          summary.lli++;
        }
        Track& tr = tracks[(size_t)slot * defs_.size() + g];
        // The partner: the one of the last epoch while it is measured, else
        // the first measured now (a new pair starts without a test).
        int partner = -1;
        if (tr.partner >= 0 && !std::isnan(v[d.partners[(size_t)tr.partner].phase]))
          partner = tr.partner;
        for (size_t k = 0; partner < 0 && k < d.partners.size(); k++)
          if (!std::isnan(v[d.partners[k].phase])) partner = (int)k;
        const Partner* b = partner >= 0 ? &d.partners[(size_t)partner] : nullptr;
        double lb = b != nullptr ? v[b->phase] : NAN;
        double pb = b != nullptr && b->code >= 0 ? v[b->code] : NAN;
        // A loss of lock the receiver flagged on either phase is its own
        // report (the LLI column): the arc starts again without a test.
        bool flagged = lost || (b != nullptr && !std::isnan(lb) && (lli[b->phase] & 1));
        double dt = e.t - tr.t;
        bool continuous =
            dt > 0 && dt <= 1.5 * r_.interval && !std::isnan(la) && !std::isnan(tr.la);
        bool same_pair = continuous && partner >= 0 && partner == tr.partner && !std::isnan(tr.lb);
        double fa = frequency(sat.sys, d.band, obs_.version, glonass_k(sat), glonass_known(sat));
        if (fa <= 0 && !std::isnan(p)) s.no_frequency++;
        double fb = b != nullptr ? frequency(sat.sys, b->band, obs_.version, glonass_k(sat),
                                             glonass_known(sat))
                                 : 0;
        const char* method = nullptr;
        double cycles = NAN;
        double mw = NAN;
        if (fa > 0 && fb > 0 && !std::isnan(la) && !std::isnan(lb) && !std::isnan(p) &&
            !std::isnan(pb)) {
          // Melbourne-Wuebbena: wide-lane phase minus narrow-lane code, in
          // wide-lane cycles; geometry, clocks and ionosphere cancel.
          double wide = gnss::kC / (fa - fb);
          mw = ((fa * gnss::kC * la / fa - fb * gnss::kC * lb / fb) / (fa - fb) -
                (fa * p + fb * pb) / (fa + fb)) /
               wide;
        }
        if (flagged) {
          // no test across the receiver's own loss of lock
        } else if (same_pair && fa > 0 && fb > 0) {
          double step = gnss::kC * (la / fa - lb / fb) - gnss::kC * (tr.la / fa - tr.lb / fb);
          if (std::fabs(step) > kGeometryFreeJump + kGeometryFreeRate * dt)
            method = "geometry-free";
          // A clock step that moved the codes alone moves this one too: not tested then.
          if (!jumped && !std::isnan(mw) && tr.mw_count >= kWideLaneSettle) {
            double sigma = std::sqrt(tr.mw_m2 / (double)(tr.mw_count - 1));
            if (std::fabs(mw - tr.mw_mean) > std::max(kWideLaneJump, 4 * sigma)) {
              method = method != nullptr ? method : "Melbourne-Wuebbena";
              cycles = std::round(mw - tr.mw_mean);
            }
          }
        } else if (continuous && partner < 0 && fa > 0 && !std::isnan(dop) &&
                   !std::isnan(tr.doppler)) {
          // One signal: phase against integrated Doppler (the phase runs
          // opposite to it) without the epoch's receiver-clock term.
          double m = 0;
          phase_doppler_metres(d, tr, sat, e.t, &m);
          double off = (m - clock_term) * fa / gnss::kC;
          if (std::fabs(off) > kDopplerJump + kDopplerRate * dt) {
            method = "Doppler";
            cycles = std::round(std::max(-1e12, std::min(1e12, off)));
          }
        }
        bool slip = method != nullptr;
        if (slip) {
          s.slips++;
          summary.slips++;
          interval.slips++;
          slip_since[(size_t)slot] = true;
          slip_times[(size_t)slot].push_back(e.t);
          if (r_.slips.size() < kMaxListedSlips)
            r_.slips.push_back({e.t, bc::sat_key(sat.sys, sat.prn), s.code, method, cycles});
          else
            r_.slips_not_listed++;
        }
        if (!continuous || flagged || slip || partner != tr.partner || jumped) {
          end_arc(g, slot, &tr);
          tr.mw_count = 0;
          tr.mw_mean = tr.mw_m2 = 0;
        }
        if (!std::isnan(mw)) {  // Welford's running mean and variance
          tr.mw_count++;
          double before = tr.mw_mean;
          tr.mw_mean += (mw - before) / (double)tr.mw_count;
          tr.mw_m2 += (mw - before) * (mw - tr.mw_mean);
        }
        // Code multipath above the mask only (low satellites' figures belong
        // to the horizon, not the antenna), or where no orbit tells the
        // elevation.
        if ((above || !has_el) && fa > 0 && fb > 0 && !std::isnan(p) && !std::isnan(la) &&
            !std::isnan(lb)) {
          double alpha = (fa / fb) * (fa / fb);
          double mp = p - (1 + 2 / (alpha - 1)) * gnss::kC * la / fa +
                      (2 / (alpha - 1)) * gnss::kC * lb / fb;
          tr.arc.push_back({has_el ? (float)(el / kRad) : NAN, e.t, mp});
        } else if (!tr.arc.empty()) {
          end_arc(g, slot, &tr);
        }
        tr.t = e.t;
        tr.p = p;
        tr.la = la;
        tr.lb = lb;
        tr.partner = partner;
        tr.doppler = dop;
      }
      double& last = last_track_point[(size_t)slot];
      if (has_el && e.t - last >= track_step) {
        track_points[(size_t)slot].push_back(
            {e.t, az / kRad, el / kRad, first_cn0, slip_since[(size_t)slot]});
        slip_since[(size_t)slot] = false;
        last = e.t;
      }
    }
  }
  for (size_t i = 0; i < tracks.size(); i++)
    end_arc(i % defs_.size(), (int)(i / defs_.size()), &tracks[i]);
  summaries(runs);
  for (int slot = 0; slot < kSlots; slot++) {
    if (runs[(size_t)slot].empty()) continue;
    std::string key = bc::sat_key("GRECJSI"[slot / kMaxNumber], slot % kMaxNumber);
    r_.runs[key].swap(runs[(size_t)slot]);
    if (!slip_times[(size_t)slot].empty()) r_.slip_times[key].swap(slip_times[(size_t)slot]);
    if (!track_points[(size_t)slot].empty()) r_.tracks[key].swap(track_points[(size_t)slot]);
  }
  for (auto* charts : {&r_.cn0_el, &r_.mp_el})  // signals without points get no chart
    for (auto it = charts->begin(); it != charts->end();)
      it = it->second.points == 0 ? charts->erase(it) : std::next(it);
}

void Analysis::run() {
  r_.skipped = obs_.skipped;
  r_.header = obs_.header;
  for (const auto& k : nav_.skipped)
    r_.skipped[std::string("navigation records of ") + k.first + " (no orbits computed)"] =
        k.second;
  span();
  positions();
  define_signals();
  expected_counts();
  signal_pass();
}

}  // namespace

QcReport qc_analyse(const ObsFile& obs, const bc::NavData& nav, double mask_deg) {
  QcReport r;
  r.mask_deg = mask_deg;
  Analysis(obs, nav, mask_deg, &r).run();
  return r;
}

std::string qc_time_text(double t) {
  if (!(std::fabs(t) < 1e13)) return "(no time)";
  long long s = std::llround(std::floor(t));
  long long days = s / 86400 + 3657;  // since 1970-01-01
  long long sod = s % 86400;
  // Civil date of a day count (the era-based inverse).
  long long z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097, yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = yoe + era * 400, doy = doe - (365 * yoe + yoe / 4 - yoe / 100),
            mp = (5 * doy + 2) / 153;
  long long d = doy - (153 * mp + 2) / 5 + 1, m = mp < 10 ? mp + 3 : mp - 9;
  char text[128];
  snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld", y + (m <= 2), m, d,
           sod / 3600, sod / 60 % 60, sod % 60);
  return text;
}
