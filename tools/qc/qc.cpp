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
constexpr int kShortestArc = 10;        // multipath arcs of fewer epochs are dropped
constexpr double kMaxSolutions = 2880;  // position epochs of a file at most
constexpr float kUnsampled = -1000;     // an elevation sample not yet computed
constexpr size_t kEarlyEpochs = 200;    // epochs read before the pass starts
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
  // The multipath arc: points relative to its first (time and value), which
  // keeps them small over a day at 1 Hz.
  struct Point {
    float el;  // degrees, NaN where unknown
    float dt;  // seconds since the arc's first point
    float mp;  // code minus the phase combination, metres from the first point's
  };
  std::vector<Point> arc;
  double arc_start = 0, arc_mp = 0;
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

// An epoch as the pass reads it: each satellite's values from its
// first_value on, in the system's type order.
struct EpochView {
  double t;
  const ObsSat* sats;
  int nsat;
  const double* values;
  const unsigned char* lli;
};

class Analysis {
 public:
  // header: the file's header values and types (its epochs are not read here).
  Analysis(const ObsFile& header, const bc::NavData& nav, double mask, QcReport* r)
      : obs_(header), nav_(nav), mask_(mask * kRad), r_(*r) {}
  // Before the first epoch: where the file starts, the spacing the pass
  // tests continuity with, the span the file is expected to have (0: not
  // known) and, without a header position, the epochs to take one from.
  void begin(double first, double interval, double span, const std::vector<EpochView>& early);
  void epoch(const EpochView& e);
  // After the last epoch: the file's skipped lines and the figures.
  void finish(const std::map<std::string, long>& skipped);

 private:
  void span();
  void position_epoch(const EpochView& e, bool solve_it);
  void positions_end();
  std::string unsolved_reason(const QcPosition& p) const;
  void define_signals();
  bool elevation(char sys, int prn, double t, double* az, double* el);
  void expected_counts();
  void pass_epoch(const EpochView& e);
  void pass_end();
  void end_arc(size_t g, int slot, Track* tr);
  bool clock_jump(const EpochView& e);
  void summaries();
  int glonass_k(const ObsSat& sat);
  bool glonass_known(const ObsSat& sat);
  bool phase_doppler_metres(const SignalDef& d, const Track& tr, const ObsSat& sat, const double* v,
                            double t, double* metres);
  QcInterval& series_bin(double t, size_t* index);

  const ObsFile& obs_;
  const bc::NavData& nav_;
  double mask_;
  QcReport& r_;
  double ref_[3] = {0, 0, 0};
  bool have_ref_ = false;
  double origin_ = 0;    // the first epoch's time: elevation samples and bins from it
  double interval_ = 0;  // the spacing continuity is tested against
  double el_step_ = kElevationStep;
  std::vector<double> times_;  // every epoch's time
  std::vector<SignalDef> defs_;
  std::vector<std::string> names_;  // "G C1C" per signal
  std::map<char, int> first_code;   // the first pseudorange type of each system
  // Positions: the solutions' sums, the satellites observed and with orbits.
  std::vector<double> pos_sum_[6];
  std::map<char, std::set<int>> observed_, with_orbit_;
  double solve_step_ = 1, last_solved_ = -1e30;
  // Per satellite slot: multipath sums by signal, the satellite's summary,
  // the signals it carried, its elevation samples.
  std::vector<std::vector<std::pair<double, long>>> sat_mp_;
  std::vector<QcSatellite> sat_;
  std::vector<std::vector<bool>> carried_;
  std::vector<float> az_[kSlots], el_[kSlots];
  // The pass: per satellite and signal; per satellite.
  std::vector<Track> tracks_;
  std::vector<double> last_track_point_;
  std::vector<bool> slip_since_;
  std::vector<std::vector<std::pair<double, double>>> runs_;
  std::vector<std::vector<double>> slip_times_;
  std::vector<std::vector<QcTrackPoint>> track_points_;
  std::vector<double> track_step_;  // per satellite, doubled as its points fill up
  std::vector<QcDensity*> cn0_plot_;
  std::vector<long> seen_in_bin_;
  std::vector<double> clock_terms_;
  bool series_capped_ = false;
  struct Channel {
    bool looked_up = false, known = false;
    int k = 0;
  };
  Channel channels_[kMaxNumber];  // GLONASS, by slot
};

void Analysis::begin(double first, double interval, double span,
                     const std::vector<EpochView>& early) {
  origin_ = first;
  interval_ = interval;
  r_.interval = interval;
  el_step_ = std::max(kElevationStep, interval);
  for (const auto& t : obs_.types)
    for (size_t i = 0; i < t.second.size(); i++)
      if (t.second[i][0] == 'C' && first_code.count(t.first) == 0) first_code[t.first] = (int)i;
  const char* kGroups[] = {"G", "E", "C", "R", "J", "all"};
  for (const char* g : kGroups) {
    r_.positions.emplace_back();
    r_.positions.back().name = g;
  }
  for (auto& s : pos_sum_) s.assign(3, 0.0);
  // At most kMaxSolutions epochs, evenly spread (a day: every 30 s), and at
  // most one a second: more would change the figures by nothing visible. A
  // file whose span is not known is taken for a day.
  solve_step_ = std::max(1.0, (span > 0 ? span : 86400.0) / kMaxSolutions) - 0.001;
  have_ref_ = obs_.approx[0] != 0 || obs_.approx[1] != 0 || obs_.approx[2] != 0;
  for (int k = 0; k < 3; k++) ref_[k] = obs_.approx[k];
  if (!have_ref_) {
    // No header position: the mean of the first epochs' solutions of all systems.
    for (const EpochView& e : early) {
      position_epoch(e, true);
      if (r_.positions.back().solved >= 10) break;
    }
    QcPosition& all = r_.positions.back();
    if (all.solved > 0) {
      for (int k = 0; k < 3; k++) ref_[k] = pos_sum_[5][(size_t)k] / all.solved;
      have_ref_ = true;
      r_.notes.push_back(
          "no APPROX POSITION XYZ: positions and elevations are against the mean solution of the "
          "first epochs");
    }
    // Those epochs are solved again in their turn.
    r_.positions.clear();
    for (const char* g : kGroups) {
      r_.positions.emplace_back();
      r_.positions.back().name = g;
    }
    for (auto& s : pos_sum_) s.assign(3, 0.0);
    observed_.clear();
    with_orbit_.clear();
  }
  for (int k = 0; k < 3; k++) r_.approx[k] = ref_[k];
  define_signals();
  tracks_.assign((size_t)kSlots * defs_.size(), Track{});
  last_track_point_.assign(kSlots, -1e30);
  slip_since_.assign(kSlots, false);
  runs_.assign(kSlots, {});
  slip_times_.assign(kSlots, {});
  track_points_.assign(kSlots, {});
  double track_step = std::max(interval_, (span > 0 ? span : 0) / kTrackPoints);
  track_step_.assign(kSlots, track_step);
  for (const QcSignal& s : r_.signals) {
    names_.push_back(std::string(1, s.system) + " " + s.code);
    cn0_plot_.push_back(&r_.cn0_el[names_.back()]);
    cn0_plot_.back()->y0 = 10, cn0_plot_.back()->y1 = 60;
  }
  sat_mp_.assign(kSlots, std::vector<std::pair<double, long>>(defs_.size(), {0.0, 0L}));
  sat_.assign(kSlots, QcSatellite{});
  carried_.assign(kSlots, {});
  seen_in_bin_.assign(kSlots, -1);
}

void Analysis::epoch(const EpochView& e) {
  times_.push_back(e.t);
  bool solve_it = e.t - last_solved_ >= solve_step_;
  if (solve_it) last_solved_ = e.t;
  position_epoch(e, solve_it);
  pass_epoch(e);
}

// The 15-minute interval of a time from the first epoch's (the first for
// earlier times); a month of them at most, the last taking the rest.
QcInterval& Analysis::series_bin(double t, size_t* index) {
  double at = std::max(0.0, (t - origin_) / kSeriesStep);
  size_t bin = (size_t)std::min(at, kMaxSeries - 1);
  if (at >= kMaxSeries && !series_capped_) {
    series_capped_ = true;
    r_.notes.push_back(
        "the span is too long for 15-minute figures: the last figure holds "
        "everything from " +
        qc_time_text(origin_ + (kMaxSeries - 1) * kSeriesStep));
  }
  while (r_.series.size() <= bin) {
    r_.series.emplace_back();
    r_.series.back().start = origin_ + (double)(r_.series.size() - 1) * kSeriesStep;
  }
  if (index != nullptr) *index = bin;
  return r_.series[bin];
}

void Analysis::finish(const std::map<std::string, long>& skipped) {
  pass_end();
  for (const auto& k : skipped) r_.skipped[k.first] += k.second;
  r_.header = obs_.header;
  for (const auto& k : nav_.skipped)
    r_.skipped[std::string("navigation records of ") + k.first + " (no orbits computed)"] =
        k.second;
  span();
  positions_end();
  expected_counts();
  summaries();
  // RINEX 2: systems the one types list was given to but no record had.
  for (size_t g = defs_.size(); g-- > 0;)
    if (obs_.types.count(defs_[g].sys) == 0) r_.signals.erase(r_.signals.begin() + (long)g);
}

void Analysis::span() {
  const std::vector<double>& e = times_;
  r_.epochs_present = (long)e.size();
  if (e.empty()) return;
  // A damaged file's epochs need not be in order.
  r_.first = e.front();
  r_.last = e.back();
  for (double x : e) {
    r_.first = std::min(r_.first, x);
    r_.last = std::max(r_.last, x);
  }
  long back = 0;
  size_t first_back = 0;
  for (size_t i = 1; i < e.size(); i++)
    if (e[i] <= e[i - 1] && back++ == 0) first_back = i;
  if (back > 0)  // their observations are counted as they come: completeness can pass 100 %
    r_.notes.push_back(std::to_string(back) + " epochs not later than the epoch before them, the " +
                       "first at " + qc_time_text(e[first_back]) + " after " +
                       qc_time_text(e[first_back - 1]) +
                       ": the file's time goes back, and completeness counts them again");
  if (r_.interval <= 0) {
    r_.epochs_expected = r_.epochs_present;
    return;
  }
  r_.epochs_expected = std::lround(std::min((r_.last - r_.first) / r_.interval, 1e9)) + 1;
  for (size_t i = 1; i < e.size(); i++)
    if (e[i] - e[i - 1] > 1.5 * r_.interval) r_.gaps.push_back({e[i - 1], e[i]});
}

// Single-point positions from the first pseudorange of each system.
void Analysis::position_epoch(const EpochView& e, bool solve_it) {
  std::vector<QcPosition>& pos = r_.positions;
  std::vector<bc::SatMeas> ms;
  for (int i = 0; i < e.nsat && solve_it; i++) {
    const ObsSat& s = e.sats[i];
    auto c = first_code.find(s.sys);
    if (c == first_code.end()) continue;
    observed_[s.sys].insert(s.prn);
    double pr = e.values[s.first_value + (size_t)c->second];
    bc::SatMeas m;
    char band = obs_.types.at(s.sys)[(size_t)c->second][1];
    if (pr > 1e7 && bc::place_satellite(nav_, s.sys, s.prn, e.t, pr, &m, band)) {
      ms.push_back(m);
      with_orbit_[s.sys].insert(s.prn);
    }
  }
  if (!solve_it) return;
  // From the header position when there is one: two iterations instead of six.
  bool has_start = obs_.approx[0] != 0 || obs_.approx[1] != 0 || obs_.approx[2] != 0;
  for (size_t g = 0; g < pos.size(); g++) {
    QcPosition& p = pos[g];
    std::vector<const bc::SatMeas*> use;
    bool all = p.name == "all";
    for (const bc::SatMeas& m : ms)
      if (all ? std::string("GRECJ").find(m.sys) != std::string::npos : m.sys == p.name[0])
        use.push_back(&m);
    bool seen = false;
    for (int i = 0; i < e.nsat && !seen; i++) {
      char sys = e.sats[i].sys;
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
    p.solved++;
    for (int k = 0; k < 3; k++) pos_sum_[g][(size_t)k] += x[k];
    p.t.push_back(e.t);
    for (int k = 0; k < 3; k++) p.enu[k].push_back(x[k]);  // ECEF until the end
  }
}

void Analysis::positions_end() {
  std::vector<QcPosition>& pos = r_.positions;
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
      if (p.epochs > 0) p.unsolved = unsolved_reason(p);
    } else {
      double d[3] = {pos_sum_[g][0] / p.solved - ref_[0], pos_sum_[g][1] / p.solved - ref_[1],
                     pos_sum_[g][2] / p.solved - ref_[2]};
      enu(ref_, d, p.mean_enu);
      std::sort(d3.begin(), d3.end());
      p.median =
          d3.size() % 2 ? d3[d3.size() / 2] : 0.5 * (d3[d3.size() / 2 - 1] + d3[d3.size() / 2]);
      p.p95 = d3[(size_t)std::ceil(0.95 * (double)d3.size()) - 1];
    }
  }
}

// Why a system (or all of them) was never solved, from the commonest failure.
std::string Analysis::unsolved_reason(const QcPosition& p) const {
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
    auto o = observed_.find(sys);
    if (o == observed_.end()) continue;
    seen += (long)o->second.size();
    auto w = with_orbit_.find(sys);
    if (w == with_orbit_.end()) continue;
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
  // Samples every el_step_ from the first epoch, each computed when first
  // needed (kUnsampled until then; NaN where no orbit tells).
  double x = (t - origin_) / el_step_;
  if (!(x >= 0 && x + 1 < kMaxElevationSamples)) return false;
  size_t k = (size_t)std::floor(x);
  if (els.size() < k + 2) {
    els.resize(k + 2, kUnsampled);
    azs.resize(k + 2, kUnsampled);
  }
  for (size_t j = k; j <= k + 1; j++) {
    if (els[j] != kUnsampled) continue;
    double p[3], a, e;
    els[j] = azs[j] = NAN;
    if (!bc::satellite_position(nav_, sys, prn, origin_ + (double)j * el_step_, p)) continue;
    gnss::azimuth_elevation(ref_, p, &a, &e);
    els[j] = (float)e;
    azs[j] = (float)a;
  }
  // Elevation between the samples on a straight line (a satellite moves less
  // than half a degree a minute), azimuth from the nearer sample.
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
  std::map<char, bool> has_orbits;
  for (int slot = 0; slot < kSlots; slot++) {
    const std::vector<bool>& sat = carried_[(size_t)slot];
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

// A GLONASS satellite's frequency channel: the header's, else the number its
// navigation records give; looked up once a satellite.
int Analysis::glonass_k(const ObsSat& sat) {
  if (sat.sys != 'R' || sat.prn < 0 || sat.prn >= kMaxNumber) return 0;
  Channel& c = channels_[sat.prn];
  if (!c.looked_up) {
    auto h = obs_.glonass_channel.find(sat.prn);
    c.known = true;
    c.k =
        h != obs_.glonass_channel.end() ? h->second : bc::glonass_channel(nav_, sat.prn, &c.known);
    c.looked_up = true;
  }
  return c.k;
}

bool Analysis::glonass_known(const ObsSat& sat) {
  if (sat.sys != 'R' || sat.prn < 0 || sat.prn >= kMaxNumber) return true;
  glonass_k(sat);
  return channels_[sat.prn].known;
}

// The change of phase since the track's last epoch less the Doppler
// integrated over it (the mean of the two), in metres: a slip, plus the
// receiver clock's share common to the epoch. False without both values at
// consecutive epochs.
bool Analysis::phase_doppler_metres(const SignalDef& d, const Track& tr, const ObsSat& sat,
                                    const double* v, double t, double* metres) {
  if (d.phase < 0 || d.doppler < 0) return false;
  double la = v[d.phase], dop = v[d.doppler], dt = t - tr.t;
  if (!(dt > 0 && dt <= 1.5 * interval_) || std::isnan(la) || std::isnan(dop) ||
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
      for (; hi < arc.size() && arc[hi].dt <= arc[i].dt + kMpWindow / 2; hi++) sum += arc[hi].mp;
      for (; arc[lo].dt < arc[i].dt - kMpWindow / 2; lo++) sum -= arc[lo].mp;
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
      QcInterval& bin = series_bin(tr->arc_start + arc[i].dt, nullptr);
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
bool Analysis::clock_jump(const EpochView& e) {
  std::vector<double> code, phase;
  for (int i = 0; i < e.nsat; i++) {
    const ObsSat& sat = e.sats[i];
    int slot = slot_of(sat.sys, sat.prn);
    if (slot < 0) continue;
    for (size_t g = 0; g < defs_.size(); g++) {
      const SignalDef& d = defs_[g];
      if (d.sys != sat.sys || d.phase < 0) continue;
      const Track& tr = tracks_[(size_t)slot * defs_.size() + g];
      const double* v = &e.values[sat.first_value];
      double dt = e.t - tr.t,
             f = frequency(sat.sys, d.band, obs_.version, glonass_k(sat), glonass_known(sat));
      if (!(dt > 0 && dt <= 1.5 * interval_) || f <= 0) continue;
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
void Analysis::summaries() {
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
    for (const auto& run : runs_[(size_t)slot])
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
  for (int slot = 0; slot < kSlots; slot++) {
    if (runs_[(size_t)slot].empty()) continue;
    std::string key = bc::sat_key("GRECJSI"[slot / kMaxNumber], slot % kMaxNumber);
    r_.runs[key].swap(runs_[(size_t)slot]);
    if (!slip_times_[(size_t)slot].empty()) r_.slip_times[key].swap(slip_times_[(size_t)slot]);
    if (!track_points_[(size_t)slot].empty()) r_.tracks[key].swap(track_points_[(size_t)slot]);
  }
  for (auto* charts : {&r_.cn0_el, &r_.mp_el})  // signals without points get no chart
    for (auto it = charts->begin(); it != charts->end();)
      it = it->second.points == 0 ? charts->erase(it) : std::next(it);
}

void Analysis::pass_end() {
  for (size_t i = 0; i < tracks_.size(); i++)
    end_arc(i % defs_.size(), (int)(i / defs_.size()), &tracks_[i]);
}

void Analysis::pass_epoch(const EpochView& e) {
  size_t bin = 0;
  QcInterval& interval = series_bin(e.t, &bin);
  bool jumped = clock_jump(e);
  // The receiver clock's share of phase against integrated Doppler is the
  // same in metres on every satellite of the epoch: its median.
  clock_terms_.clear();
  for (int i = 0; i < e.nsat; i++) {
    const ObsSat& sat = e.sats[i];
    int slot = slot_of(sat.sys, sat.prn);
    if (slot < 0) continue;
    for (size_t g = 0; g < defs_.size(); g++) {
      double m;
      if (defs_[g].sys == sat.sys &&
          phase_doppler_metres(defs_[g], tracks_[(size_t)slot * defs_.size() + g], sat,
                               &e.values[sat.first_value], e.t, &m))
        clock_terms_.push_back(m);
    }
  }
  double clock_term = 0;
  if (!clock_terms_.empty()) {
    std::nth_element(clock_terms_.begin(), clock_terms_.begin() + (long)clock_terms_.size() / 2,
                     clock_terms_.end());
    clock_term = clock_terms_[clock_terms_.size() / 2];
  }
  for (int i = 0; i < e.nsat; i++) {
    const ObsSat& sat = e.sats[i];
    const double* v = &e.values[sat.first_value];
    const unsigned char* lli = &e.lli[sat.first_value];
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
    if (seen_in_bin_[(size_t)slot] != (long)bin) {
      seen_in_bin_[(size_t)slot] = (long)bin;
      interval.satellites++;
    }
    std::vector<std::pair<double, double>>& run = runs_[(size_t)slot];
    if (run.empty() || e.t - run.back().second > 1.5 * interval_)
      run.push_back({e.t, e.t});
    else
      run.back().second = e.t;
    double first_cn0 = NAN;
    for (size_t g = 0; g < defs_.size(); g++) {
      const SignalDef& d = defs_[g];
      if (d.sys != sat.sys) continue;
      QcSignal& s = r_.signals[g];
      double p = v[d.code];
      if (!std::isnan(p)) {
        std::vector<bool>& c = carried_[(size_t)slot];
        c.resize(defs_.size(), false);
        c[g] = true;
      }
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
        if (has_el) cn0_plot_[g]->add(el / kRad, cn0);
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
      Track& tr = tracks_[(size_t)slot * defs_.size() + g];
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
      bool continuous = dt > 0 && dt <= 1.5 * interval_ && !std::isnan(la) && !std::isnan(tr.la);
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
        if (std::fabs(step) > kGeometryFreeJump + kGeometryFreeRate * dt) method = "geometry-free";
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
        phase_doppler_metres(d, tr, sat, v, e.t, &m);
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
        slip_since_[(size_t)slot] = true;
        slip_times_[(size_t)slot].push_back(e.t);
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
        double mp =
            p - (1 + 2 / (alpha - 1)) * gnss::kC * la / fa + (2 / (alpha - 1)) * gnss::kC * lb / fb;
        if (tr.arc.empty()) tr.arc_start = e.t, tr.arc_mp = mp;
        tr.arc.push_back({has_el ? (float)(el / kRad) : NAN, (float)(e.t - tr.arc_start),
                          (float)(mp - tr.arc_mp)});
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
    double& last = last_track_point_[(size_t)slot];
    if (has_el && e.t - last >= track_step_[(size_t)slot]) {
      std::vector<QcTrackPoint>& points = track_points_[(size_t)slot];
      points.push_back({e.t, az / kRad, el / kRad, first_cn0, slip_since_[(size_t)slot]});
      slip_since_[(size_t)slot] = false;
      last = e.t;
      // A file longer than it said: every other point goes (its slip mark to
      // the next), and the satellite's step doubles.
      if (points.size() > 2 * (size_t)kTrackPoints) {
        size_t kept = 0;
        for (size_t j = 0; j < points.size(); j++) {
          if (j % 2 == 1 && j + 1 < points.size()) {
            points[j + 1].slip = points[j + 1].slip || points[j].slip;
            continue;
          }
          points[kept++] = points[j];
        }
        points.resize(kept);
        track_step_[(size_t)slot] *= 2;
      }
    }
  }
}

}  // namespace

QcReport qc_analyse(const ObsFile& obs, const bc::NavData& nav, double mask_deg) {
  QcReport r;
  r.mask_deg = mask_deg;
  Analysis analysis(obs, nav, mask_deg, &r);
  std::vector<EpochView> views;
  for (const ObsEpoch& e : obs.epochs)
    views.push_back(
        {e.t, obs.sats.data() + e.first_sat, e.nsat, obs.values.data(), obs.lli.data()});
  // The spacing: the header's, else the median of the epochs'.
  std::vector<double> spacing;
  double first = views.empty() ? 0 : views[0].t, last = first;
  for (size_t i = 0; i < views.size(); i++) {
    first = std::min(first, views[i].t), last = std::max(last, views[i].t);
    if (i > 0) spacing.push_back(views[i].t - views[i - 1].t);
  }
  double interval = obs.interval;
  if (interval <= 0 && !spacing.empty()) {
    std::nth_element(spacing.begin(), spacing.begin() + (long)spacing.size() / 2, spacing.end());
    interval = spacing[spacing.size() / 2];
  }
  analysis.begin(views.empty() ? 0 : views[0].t, interval, last - first, views);
  for (const EpochView& v : views) analysis.epoch(v);
  analysis.finish(obs.skipped);
  return r;
}

bool qc_analyse_stream(ObsStream* stream, const bc::NavData& nav, double mask_deg, double to_gps,
                       QcReport* r, std::string* error) {
  const ObsFile& header = stream->header();
  *r = QcReport();
  r->mask_deg = mask_deg;
  Analysis analysis(header, nav, mask_deg, r);
  // The first epochs wait until the spacing (without a header INTERVAL, the
  // median of theirs) and the reference position are known.
  std::vector<ObsRecord> early;
  ObsRecord record;
  while (early.size() < kEarlyEpochs && stream->next(&record)) {
    record.t += to_gps;
    early.push_back(record);
  }
  if (!stream->error().empty()) {
    *error = stream->error();
    return false;
  }
  if (early.empty()) {
    *error = "no observation epoch";
    return false;
  }
  auto view = [](const ObsRecord& e) {
    return EpochView{e.t, e.sats.data(), (int)e.sats.size(), e.values.data(), e.lli.data()};
  };
  std::vector<EpochView> views;
  std::vector<double> spacing;
  for (size_t i = 0; i < early.size(); i++) {
    views.push_back(view(early[i]));
    if (i > 0) spacing.push_back(early[i].t - early[i - 1].t);
  }
  double interval = header.interval;
  if (interval <= 0 && !spacing.empty()) {
    std::nth_element(spacing.begin(), spacing.begin() + (long)spacing.size() / 2, spacing.end());
    interval = spacing[spacing.size() / 2];
  }
  double span = header.last_obs - header.first_obs;
  analysis.begin(early[0].t, interval, std::isfinite(span) && span > 0 ? span : 0, views);
  for (const EpochView& v : views) analysis.epoch(v);
  early.clear();
  while (stream->next(&record)) {
    record.t += to_gps;
    analysis.epoch(view(record));
  }
  if (!stream->error().empty()) {
    *error = stream->error();
    return false;
  }
  analysis.finish(header.skipped);
  // Without a header INTERVAL the report gives the median of every spacing.
  if (header.interval <= 0 && r->epochs_present > 1) r->interval = interval;
  return true;
}

std::string qc_time_text(double t) {
  if (!(std::fabs(t) < 1e13)) return "(no time)";
  long long s = std::llround(std::floor(t));
  long long sod = s % 86400;
  if (sod < 0) sod += 86400;  // a time before the GPS epoch still counts its day from midnight
  long long days = (s - sod) / 86400 + 3657;  // since 1970-01-01
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
