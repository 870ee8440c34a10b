// Single-point positioning over an observation and navigation file pair of
// RINEX 2.10 to 4.00, read by the programs' shared readers. Pseudoranges are corrected with the
// broadcast satellite clock and group delay, the GPS Klobuchar ionosphere of the navigation header
// (scaled to each signal's frequency) and a standard troposphere; each constellation in a solution
// has its own receiver clock.
#include "position_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "gnss_models.h"
#include "nav_reader.h"
#include "obs_reader.h"
#include "time_scales.h"

using namespace bc;

namespace {

struct Group {
  const char* name;
  const char* systems;
};
// A solution farther than this (metres) from the header position failed.
constexpr double kFarSolution = 1000;

const Group kGroups[] = {
    {"GPS", "G"}, {"Galileo", "E"}, {"BeiDou", "C"}, {"GLONASS", "R"}, {"all", "GRECJ"}};

}  // namespace

PositionReport check_positions(const std::string& obs_path,
                               const std::vector<std::string>& nav_paths) {
  PositionReport report;
  NavData nav;
  for (const std::string& path : nav_paths)
    if (!read_nav_file(path, &nav, &report.error)) return report;
  ObsFile obs;
  if (!read_obs_file(obs_path, &obs, &report.error)) return report;
  TimeScales scales = settle_time_scales(obs, &nav);
  report.notes = scales.notes;
  for (ObsEpoch& e : obs.epochs) e.t += scales.obs_to_gps;
  bool has_approx = obs.approx[0] != 0 || obs.approx[1] != 0 || obs.approx[2] != 0;
  for (int i = 0; i < 3; i++) report.approx[i] = obs.approx[i];
  // The first pseudorange, carrier phase and Doppler of each system.
  std::map<char, int> code_index, phase_index, doppler_index;
  for (const auto& t : obs.types)
    for (size_t k = 0; k < t.second.size(); k++) {
      std::map<char, int>* index = t.second[k][0] == 'C'   ? &code_index
                                   : t.second[k][0] == 'L' ? &phase_index
                                   : t.second[k][0] == 'D' ? &doppler_index
                                                           : nullptr;
      if (index != nullptr && index->count(t.first) == 0) (*index)[t.first] = (int)k;
    }
  std::vector<std::vector<double>> errors(sizeof kGroups / sizeof kGroups[0]);
  struct PhaseSample {
    double t, phase, doppler;
  };
  std::map<std::string, PhaseSample> last_phase;  // by satellite
  std::vector<double> phase_doppler;
  std::vector<int> epochs(errors.size(), 0);
  for (const ObsEpoch& e : obs.epochs) {
    std::vector<SatMeas> ms;
    for (int i = 0; i < e.nsat; i++) {
      const ObsSat& s = obs.sats[(size_t)(e.first_sat + i)];
      auto code = code_index.find(s.sys);
      if (code == code_index.end()) continue;
      double pr = obs.values[s.first_value + (size_t)code->second];
      if (phase_index.count(s.sys) && doppler_index.count(s.sys)) {
        size_t at = s.first_value + (size_t)phase_index[s.sys];
        PhaseSample now = {e.t, obs.values[at],
                           obs.values[s.first_value + (size_t)doppler_index[s.sys]]};
        bool lost = obs.lli[at] != 0;
        PhaseSample& before = last_phase[sat_key(s.sys, s.prn)];
        double dt = now.t - before.t;
        if (!lost && before.t > 0 && dt > 0 && dt <= 1.5 && std::isfinite(now.phase) &&
            std::isfinite(before.phase) && std::isfinite(now.doppler) &&
            std::isfinite(before.doppler))
          phase_doppler.push_back(
              std::fabs((now.phase - before.phase) / dt + 0.5 * (now.doppler + before.doppler)));
        before = now;
      }
      SatMeas m;
      char band = obs.types.at(s.sys)[(size_t)code->second][1];
      if (pr > 1e7 && place_satellite(nav, s.sys, s.prn, e.t, pr, &m, band)) ms.push_back(m);
    }
    for (size_t g = 0; g < errors.size(); g++) {
      std::vector<const SatMeas*> use;
      for (const SatMeas& m : ms)
        if (std::string(kGroups[g].systems).find(m.sys) != std::string::npos) use.push_back(&m);
      if (use.empty()) continue;
      epochs[g]++;
      double x[3];
      if (!solve(use, nav, e.t, x)) continue;
      double d[3] = {x[0] - report.approx[0], x[1] - report.approx[1], x[2] - report.approx[2]};
      double distance = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
      if (has_approx && distance > kFarSolution) continue;  // a failed solution
      errors[g].push_back(distance);
    }
  }
  for (size_t g = 0; g < errors.size(); g++) {
    PositionStats s;
    s.name = kGroups[g].name;
    s.epochs = epochs[g];
    s.solved = (int)errors[g].size();
    std::vector<double>& e = errors[g];
    std::sort(e.begin(), e.end());
    if (!e.empty()) {
      s.median = e.size() % 2 ? e[e.size() / 2] : 0.5 * (e[e.size() / 2 - 1] + e[e.size() / 2]);
      s.p95 = e[(size_t)std::ceil(0.95 * (double)e.size()) - 1];
    }
    report.stats.push_back(s);
  }
  if (!phase_doppler.empty()) {
    std::sort(phase_doppler.begin(), phase_doppler.end());
    report.phase_doppler_hz = phase_doppler[phase_doppler.size() / 2];
    report.phase_doppler_pairs = (int)phase_doppler.size();
  }
  report.ok = true;
  return report;
}

std::string format_report(const PositionReport& r) {
  if (!r.ok) return "position check: " + r.error + "\n";
  char text[256];
  snprintf(text, sizeof text, "reference (APPROX POSITION XYZ): %.4f %.4f %.4f\n", r.approx[0],
           r.approx[1], r.approx[2]);
  std::string out = text;
  snprintf(text, sizeof text, "%-8s %7s %7s %10s %10s\n", "system", "epochs", "solved", "median m",
           "95% m");
  out += text;
  for (const PositionStats& s : r.stats) {
    // An unsolved system has no figures: "-", never a zero that reads as perfect.
    char m[32] = "-", p[32] = "-";
    if (s.solved > 0) {
      snprintf(m, sizeof m, "%.2f", s.median);
      snprintf(p, sizeof p, "%.2f", s.p95);
    }
    snprintf(text, sizeof text, "%-8s %7d %7d %10s %10s\n", s.name.c_str(), s.epochs, s.solved, m,
             p);
    out += text;
  }
  if (r.phase_doppler_pairs > 0)
    snprintf(text, sizeof text, "phase rate + Doppler: median %.3f Hz over %d epoch pairs\n",
             r.phase_doppler_hz, r.phase_doppler_pairs);
  else
    snprintf(text, sizeof text, "phase rate + Doppler: - (no pair of consecutive epochs)\n");
  out += text;
  for (const std::string& n : r.notes) out += "note: " + n + "\n";
  return out;
}
