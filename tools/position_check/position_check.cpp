// Single-point positioning over a RINEX 3.02 file pair, read as any RINEX
// reader would (fixed columns, satellite numbers such as "G 5", numbers such
// as ".123E-04"). Pseudoranges are corrected with the broadcast satellite
// clock and group delay, the GPS Klobuchar ionosphere of the navigation
// header (scaled to each signal's frequency) and a standard troposphere; each
// constellation in a solution has its own receiver clock.
#include "position_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "nav_reader.h"
#include "gnss_models.h"
#include "rinex_text.h"

using namespace bc;

namespace {

struct Group {
  const char* name;
  const char* systems;
};
const Group kGroups[] = {
    {"GPS", "G"}, {"Galileo", "E"}, {"BeiDou", "C"}, {"GLONASS", "R"}, {"all", "GRECJ"}};

}  // namespace

PositionReport check_positions(const std::string& obs_path, const std::string& nav_path) {
  PositionReport report;
  NavData nav;
  if (!read_nav_file(nav_path, &nav, &report.error)) return report;
  std::string text;
  if (!read_rinex_text(obs_path, &text, &report.error)) return report;
  std::istringstream in(text);
  std::map<char, int> code_index;     // field of the first pseudorange per system
  std::map<char, int> phase_index;    // of the first carrier phase
  std::map<char, int> doppler_index;  // of the first Doppler
  std::string line;
  char last_sys = ' ';
  int type_count = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string label = line.size() > 60 ? line.substr(60) : "";
    if (label.compare(0, 19, "APPROX POSITION XYZ") == 0) {
      for (int i = 0; i < 3; i++) report.approx[i] = field(line, 14 * (size_t)i, 14);
    } else if (label.compare(0, 19, "SYS / # / OBS TYPES") == 0) {
      if (line[0] != ' ') last_sys = line[0], type_count = 0;
      for (size_t pos = 7; pos + 3 <= 58 && pos + 3 <= line.size(); pos += 4) {
        std::string type = line.substr(pos, 3);
        if (type == "   ") continue;
        for (auto* index : {&code_index, &phase_index, &doppler_index}) {
          char kind = index == &code_index ? 'C' : index == &phase_index ? 'L' : 'D';
          if (type[0] == kind && index->find(last_sys) == index->end())
            (*index)[last_sys] = type_count;
        }
        type_count++;
      }
    } else if (label.compare(0, 13, "END OF HEADER") == 0) {
      break;
    }
  }
  std::vector<std::vector<double>> errors(sizeof kGroups / sizeof kGroups[0]);
  struct PhaseSample {
    double t, phase, doppler;
  };
  std::map<std::string, PhaseSample> last_phase;  // by satellite
  std::vector<double> phase_doppler;
  std::vector<int> epochs(errors.size(), 0);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] != '>') continue;
    int flag = int_field(line, 31, 1), nsat = int_field(line, 32, 3);
    double t_rx = seconds_since_gps_epoch(int_field(line, 2, 4), int_field(line, 7, 2),
                                          int_field(line, 10, 2), int_field(line, 13, 2),
                                          int_field(line, 16, 2), field(line, 18, 11));
    std::vector<SatMeas> ms;
    for (int i = 0; i < nsat && std::getline(in, line); i++) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (flag > 1 || line.size() < 3) continue;
      char sys = line[0];
      auto code = code_index.find(sys);
      if (code == code_index.end()) continue;
      double pr = field(line, 3 + 16 * (size_t)code->second, 14);
      if (phase_index.count(sys) && doppler_index.count(sys)) {
        size_t at = 3 + 16 * (size_t)phase_index[sys];
        PhaseSample now = {t_rx, field(line, at, 14),
                           field(line, 3 + 16 * (size_t)doppler_index[sys], 14)};
        bool lost = line.size() > at + 14 && line[at + 14] != ' ';  // loss-of-lock indicator
        PhaseSample& before = last_phase[line.substr(0, 3)];
        double dt = now.t - before.t;
        if (!lost && before.t > 0 && dt > 0 && dt <= 1.5 && now.phase != 0 && before.phase != 0)
          phase_doppler.push_back(
              std::fabs((now.phase - before.phase) / dt + 0.5 * (now.doppler + before.doppler)));
        before = now;
      }
      SatMeas m;
      if (pr > 1e7 && place_satellite(nav, sys, int_field(line, 1, 2), t_rx, pr, &m))
        ms.push_back(m);
    }
    for (size_t g = 0; g < errors.size(); g++) {
      std::vector<const SatMeas*> use;
      for (const SatMeas& m : ms)
        if (std::string(kGroups[g].systems).find(m.sys) != std::string::npos) use.push_back(&m);
      if (use.empty()) continue;
      epochs[g]++;
      double x[3];
      if (!solve(use, nav, t_rx, x)) continue;
      double d[3] = {x[0] - report.approx[0], x[1] - report.approx[1], x[2] - report.approx[2]};
      errors[g].push_back(std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]));
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
    snprintf(text, sizeof text, "%-8s %7d %7d %10.2f %10.2f\n", s.name.c_str(), s.epochs, s.solved,
             s.median, s.p95);
    out += text;
  }
  snprintf(text, sizeof text, "phase rate + Doppler: median %.3f Hz over %d epoch pairs\n",
           r.phase_doppler_hz, r.phase_doppler_pairs);
  return out + text;
}
