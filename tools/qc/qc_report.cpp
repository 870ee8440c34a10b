// The quality report's three forms: text for the console, JSON for scripts
// (names and units are an interface), and one self-contained HTML page with
// inline SVG charts and CSS (no script, no font or file from elsewhere).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "qc.h"
#include "qc_format.h"

using namespace qcfmt;

namespace {

double completeness(const QcSignal& s) {
  return s.expected > 0 ? 100.0 * (double)s.present_above_mask / (double)s.expected : NAN;
}
double phase_completeness(const QcSignal& s) {
  return s.expected > 0 ? 100.0 * (double)s.phase_above_mask / (double)s.expected : NAN;
}
double cn0_mean(const QcSignal& s) {
  return s.cn0_count > 0 ? s.cn0_sum / (double)s.cn0_count : NAN;
}
double mp_rms(const QcSignal& s) { return s.mp_rms; }

const char* system_colour(char sys) {
  switch (sys) {
    case 'G': return "#1f5fbf";
    case 'R': return "#c0392b";
    case 'E': return "#1e8449";
    case 'C': return "#d68910";
    case 'J': return "#7d3c98";
    default: return "#566573";
  }
}

// Signal strength as a colour from dark red (25 dB-Hz) to green (55 dB-Hz).
std::string cn0_colour(double cn0) {
  double f = std::isnan(cn0) ? 0.5 : std::min(1.0, std::max(0.0, (cn0 - 25) / 30));
  int r = (int)(200 * (1 - f) + 30 * f), g = (int)(40 * (1 - f) + 160 * f), b = 60;
  char text[16];
  snprintf(text, sizeof text, "#%02x%02x%02x", r, g, b);
  return text;
}

// Ticks on round values within [a, b]: steps of 1, 2, 2.5, 3 or 5 times a
// power of ten, at most six intervals; on a time axis whole minutes to hours
// (values are seconds), at most eight.
std::vector<double> ticks(double a, double b, bool time_axis) {
  std::vector<double> out;
  if (!(b > a) || !std::isfinite(a) || !std::isfinite(b)) return out;
  double step = 0;
  if (time_axis) {
    const double kSteps[] = {60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    for (double c : kSteps)
      if (step == 0 && (b - a) / c <= 8) step = c;
    if (step == 0) step = 86400 * std::ceil((b - a) / 8 / 86400);
  } else {
    double power = std::pow(10.0, std::floor(std::log10((b - a) / 6)));
    for (double m : {1.0, 2.0, 2.5, 3.0, 5.0, 10.0})
      if (step == 0 && (b - a) / (m * power) <= 6) step = m * power;
  }
  for (double v = std::ceil(a / step - 1e-9) * step; v <= b + 1e-9 * step && out.size() < 100;
       v += step)
    out.push_back(std::fabs(v) < 1e-9 * step ? 0.0 : v);
  return out;
}

// A time axis's label: hours and minutes, or the whole text of a time that has no date
// ("(no time)" for a damaged file's epochs beyond any calendar).
std::string clock_text(double t) {
  std::string text = qc_time_text(t);
  size_t at = text.find('T');
  return at == std::string::npos ? text : text.substr(at + 1, 5);
}

// A plot area with axes, ticks and labels in SVG.
struct Chart {
  Chart(double ax0, double ax1, double ay0, double ay1) : x0(ax0), x1(ax1), y0(ay0), y1(ay1) {}
  double x0, x1, y0, y1;
  int w = 460, h = 260, left = 56, right = 12, top = 28, bottom = 40;
  bool no_y_ticks = false;  // rows of labels instead (the tracking chart)
  std::string body;
  double px(double x) const { return left + (x - x0) / (x1 - x0) * (w - left - right); }
  double py(double y) const { return h - bottom - (y - y0) / (y1 - y0) * (h - top - bottom); }
  std::string svg(const std::string& title, const std::string& xlabel, const std::string& ylabel,
                  const std::string& cls, bool time_axis = false) const {
    std::string s = "<svg class=\"chart " + cls + "\" viewBox=\"0 0 " + std::to_string(w) + " " +
                    std::to_string(h) + "\" width=\"" + std::to_string(w) + "\" height=\"" +
                    std::to_string(h) + "\"><text x=\"" + std::to_string(w / 2) +
                    "\" y=\"16\" class=\"title\">" + html_escape(title) + "</text>";
    s += "<rect x=\"" + std::to_string(left) + "\" y=\"" + std::to_string(top) + "\" width=\"" +
         std::to_string(w - left - right) + "\" height=\"" + std::to_string(h - top - bottom) +
         "\" class=\"frame\"/>";
    for (double xv : ticks(x0, x1, time_axis)) {
      std::string xt = time_axis ? clock_text(xv) : fmt("%.4g", xv);
      s += "<text x=\"" + fmt("%.1f", px(xv)) + "\" y=\"" + std::to_string(h - bottom + 14) +
           "\" class=\"tick\">" + xt + "</text>";
    }
    for (double yv : no_y_ticks ? std::vector<double>{} : ticks(y0, y1, false)) {
      s += "<text x=\"" + std::to_string(left - 4) + "\" y=\"" + fmt("%.1f", py(yv) + 4) +
           "\" class=\"tick y\">" + fmt("%.4g", yv) + "</text>";
      s += "<line x1=\"" + std::to_string(left) + "\" x2=\"" + std::to_string(w - right) +
           "\" y1=\"" + fmt("%.1f", py(yv)) + "\" y2=\"" + fmt("%.1f", py(yv)) +
           "\" class=\"grid\"/>";
    }
    s += "<text x=\"" + std::to_string(w / 2) + "\" y=\"" + std::to_string(h - 6) +
         "\" class=\"label\">" + html_escape(xlabel) + "</text>";
    s += "<text x=\"12\" y=\"" + std::to_string(h / 2) +
         "\" class=\"label\" transform=\"rotate(-90 12 " + std::to_string(h / 2) + ")\">" +
         html_escape(ylabel) + "</text>";
    return s + body + "</svg>";
  }
};

// Seconds without a track point after which a track is not joined on.
constexpr double kTrackBreak = 1800;

std::string sky_plot(const QcReport& r) {
  const double c = 200, radius = 180;
  // A margin of 30 around the horizon, so that labels near it are not cut,
  // and the colour scale of C/N0 on the right.
  std::string s =
      "<svg class=\"chart sky\" viewBox=\"-30 0 520 450\" width=\"520\" height=\"450\">"
      "<text x=\"200\" y=\"14\" class=\"title\">Sky plot (colour: C/N0 of the first "
      "signal, x: cycle slip)</text><g transform=\"translate(0,30)\">";
  s += "<defs><linearGradient id=\"cn0scale\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\"><stop "
       "offset=\"0\" stop-color=\"" +
       cn0_colour(25) + "\"/><stop offset=\"1\" stop-color=\"" + cn0_colour(55) +
       "\"/></linearGradient></defs><rect x=\"430\" y=\"40\" width=\"12\" height=\"300\" "
       "fill=\"url(#cn0scale)\"/>";
  for (int db = 25; db <= 55; db += 10)
    s += "<text x=\"446\" y=\"" + fmt("%.0f", 344 - (db - 25) * 10.0) + "\" class=\"tick y2\">" +
         std::to_string(db) + "</text>";
  s += "<text x=\"436\" y=\"30\" class=\"tick\">dB-Hz</text>";
  for (int el = 0; el < 90; el += 30)
    s += "<circle cx=\"200\" cy=\"200\" r=\"" + fmt("%.1f", radius * (90 - el) / 90) +
         "\" class=\"ring\"/><text x=\"202\" y=\"" + fmt("%.1f", c - radius * (90 - el) / 90 + 12) +
         "\" class=\"tick\">" + std::to_string(el) + "&#176;</text>";
  s += "<text x=\"200\" y=\"14\" class=\"tick\">N</text><text x=\"392\" y=\"204\" "
       "class=\"tick\">E</text><text x=\"200\" y=\"396\" class=\"tick\">S</text><text "
       "x=\"8\" y=\"204\" class=\"tick\">W</text>";
  // Each track as polylines of whole pixels, one per run of one colour (C/N0
  // in steps of 5 dB-Hz), a point within a pixel and a half of the last left out.
  for (const auto& t : r.tracks) {
    s += "<g class=\"track\" data-sat=\"" + t.first + "\">";
    std::string colour, points, slips;
    long last_x = -1000, last_y = -1000, x = 0, y = 0;
    double last_t = -1e30;
    int kept = 0;
    auto flush = [&]() {
      if (kept > 1)
        s += "<polyline points=\"" + points + "\" stroke=\"" + colour + "\" fill=\"none\"/>";
      points.clear();
      kept = 0;
    };
    for (const QcTrackPoint& p : t.second) {
      double rr = radius * (90 - std::max(0.0, p.el)) / 90;
      x = std::lround(c + rr * std::sin(p.az * 3.14159265358979 / 180));
      y = std::lround(c - rr * std::cos(p.az * 3.14159265358979 / 180));
      std::string now =
          cn0_colour(std::isnan(p.cn0) ? p.cn0 : 25 + 5 * std::round((p.cn0 - 25) / 5));
      bool moved = std::labs(x - last_x) + std::labs(y - last_y) >= 2;
      // A satellite that set and rose again, or was not tracked for a while, is
      // not joined across the sky.
      if (kept > 0 &&
          (p.t - last_t > kTrackBreak || std::labs(x - last_x) + std::labs(y - last_y) > 40)) {
        flush();
        colour.clear();
      }
      last_t = p.t;
      if (now != colour && kept > 0) {  // the new colour starts where the old one ends
        points += std::to_string(x) + "," + std::to_string(y) + " ";
        kept++;
        flush();
        points = std::to_string(last_x = x) + "," + std::to_string(last_y = y) + " ";
        kept = 1;
      } else if (moved || kept == 0) {
        points += std::to_string(last_x = x) + "," + std::to_string(last_y = y) + " ";
        kept++;
      }
      colour = now;
      if (p.slip)
        slips += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y + 3) +
                 "\" class=\"slip\">x</text>";
    }
    flush();
    s += slips;
    if (!t.second.empty())
      s += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
           "\" class=\"sat\" fill=\"" + system_colour(t.first[0]) + "\">" + t.first + "</text>";
    s += "</g>";
  }
  return s + "</g></svg>";
}

std::string timeline(const QcReport& r) {
  int rows = (int)r.runs.size();
  Chart ch{r.first, std::max(r.last, r.first + 1), 0, (double)std::max(rows, 1)};
  ch.w = 920;
  ch.h = 60 + 11 * std::max(rows, 1);
  ch.left = 44;
  ch.no_y_ticks = true;  // the rows carry the satellites' names
  // Per satellite one path of its tracked runs (strokes 8 px high) and one of
  // its slips, each slip's tick once per pixel.
  int row = 0;
  for (const auto& sat : r.runs) {
    double y = ch.py(row + 1);
    std::string runs, ticks;
    for (const auto& run : sat.second)
      runs += "M" + fmt("%.1f", ch.px(run.first)) + " " + fmt("%.1f", y + 5) + "h" +
              fmt("%.1f", std::max(1.0, ch.px(run.second) - ch.px(run.first)));
    auto slips = r.slip_times.find(sat.first);
    long last = -1;
    if (slips != r.slip_times.end())
      for (double t : slips->second) {
        long x = std::lround(ch.px(t));
        if (x != last) ticks += "M" + std::to_string(x) + " " + fmt("%.1f", y) + "v10";
        last = x;
      }
    ch.body += "<g class=\"timeline-sat\" data-sat=\"" + sat.first + "\"><text x=\"40\" y=\"" +
               fmt("%.1f", y + 8) + "\" class=\"tick y\">" + sat.first + "</text><path d=\"" +
               runs + "\" stroke=\"" + system_colour(sat.first[0]) +
               "\" stroke-width=\"8\" fill=\"none\"/>" +
               (ticks.empty() ? "" : "<path d=\"" + ticks + "\" class=\"slipmark\"/>") + "</g>";
    row++;
  }
  return ch.svg("Tracking per satellite (bars: tracked; black ticks: cycle slips)",
                "GPS time (hh:mm)", "", "timeline", true);
}

// Dots of 2.4 px on the density's cells, each row's runs of neighbouring
// cells drawn as one stroke: a dense chart costs its area, not its points.
std::string scatter(const std::string& title, const std::string& cls, const QcDensity& dots,
                    const std::string& ylabel, const char* colour) {
  Chart ch{0, 90, dots.y0, dots.y1};
  const int cell = (ch.w - ch.left - ch.right) / QcDensity::kColumns;
  std::string d;
  for (int row = 0; row < QcDensity::kRows && !dots.cells.empty(); row++) {
    const unsigned char* line = &dots.cells[(size_t)row * QcDensity::kColumns];
    for (int col = 0; col < QcDensity::kColumns; col++) {
      if (!line[col]) continue;
      int end = col;
      while (end + 1 < QcDensity::kColumns && line[end + 1]) end++;
      d += "M" + std::to_string(ch.left + cell * col + 1) + " " +
           std::to_string(ch.top + cell * row + 1) + "h" + std::to_string(cell * (end - col));
      col = end;
    }
  }
  if (!d.empty())
    ch.body += "<path class=\"dots\" d=\"" + d + "\" stroke=\"" + std::string(colour) +
               "\" stroke-width=\"2.4\" stroke-linecap=\"round\" fill=\"none\"/>";
  return ch.svg(title, "elevation (degrees)", ylabel, cls);
}

// East, north and up of a system's solutions over time; a gap in its
// solutions (over three times their usual spacing) is a gap in the lines.
std::string enu_chart(const QcPosition& p, double lim, int width, const std::string& title) {
  Chart time{p.t.front(), std::max(p.t.back(), p.t.front() + 1), -lim, lim};
  time.w = width;
  std::vector<double> steps;
  for (size_t i = 1; i < p.t.size(); i++) steps.push_back(p.t[i] - p.t[i - 1]);
  double usual = 0;
  if (!steps.empty()) {
    std::nth_element(steps.begin(), steps.begin() + (long)steps.size() / 2, steps.end());
    usual = steps[steps.size() / 2];
  }
  const char* kColours[3] = {"#1f5fbf", "#1e8449", "#c0392b"};
  // One point per pixel column: the mean of the solutions that fall in it.
  for (int k = 0; k < 3; k++) {
    std::string points;
    auto line = [&]() {
      if (!points.empty())
        time.body += "<polyline class=\"enu\" fill=\"none\" stroke-width=\"1\" stroke=\"" +
                     std::string(kColours[k]) + "\" points=\"" + points + "\"/>";
      points.clear();
    };
    for (size_t i = 0; i < p.t.size();) {
      if (i > 0 && p.t[i] - p.t[i - 1] > 3 * usual) line();
      long column = std::lround(time.px(p.t[i]));
      double sum = 0;
      size_t n = 0;
      for (; i < p.t.size() && std::lround(time.px(p.t[i])) == column &&
             (n == 0 || p.t[i] - p.t[i - 1] <= 3 * usual);
           i++, n++)
        sum += std::max(-lim, std::min(lim, p.enu[k][i]));
      points += std::to_string(column) + fmt(",%.1f ", time.py(sum / (double)n));
    }
    line();
  }
  time.body +=
      "<text x=\"70\" y=\"44\" class=\"legend\" fill=\"#1f5fbf\">east</text><text x=\"110\" "
      "y=\"44\" class=\"legend\" fill=\"#1e8449\">north</text><text x=\"155\" y=\"44\" "
      "class=\"legend\" fill=\"#c0392b\">up</text>";
  return time.svg(title, "GPS time (hh:mm)", "metres", "enu", true);
}

std::string position_charts(const QcReport& r) {
  const QcPosition* all = nullptr;
  for (const QcPosition& p : r.positions)
    if (p.name == "all") all = &p;
  if (all == nullptr || all->t.empty()) return "<p>No position solved.</p>";
  double lim = 1;
  for (int k = 0; k < 3; k++)
    for (double v : all->enu[k]) lim = std::max(lim, std::min(100.0, std::fabs(v)));
  std::string s = enu_chart(*all, lim, 920,
                            "Single-point position, all systems: offset from the header position");
  Chart hz{-lim, lim, -lim, lim};
  hz.w = 300;
  hz.h = 300;
  std::vector<long> cells;  // the pixels hit, each drawn once
  for (size_t i = 0; i < all->t.size(); i++)
    cells.push_back(std::lround(hz.px(std::max(-lim, std::min(lim, all->enu[0][i])))) * 4096 +
                    std::lround(hz.py(std::max(-lim, std::min(lim, all->enu[1][i])))));
  std::sort(cells.begin(), cells.end());
  cells.erase(std::unique(cells.begin(), cells.end()), cells.end());
  std::string d;
  for (long c : cells) d += "M" + std::to_string(c / 4096) + " " + std::to_string(c % 4096) + "h0";
  hz.body += "<path class=\"dots\" d=\"" + d +
             "\" stroke=\"#1f5fbf\" stroke-width=\"2.4\" stroke-linecap=\"round\" fill=\"none\"/>";
  s += hz.svg("Horizontal scatter", "east (m)", "north (m)", "horizontal");
  // Each system alone, on its own scale.
  for (const QcPosition& p : r.positions) {
    if (p.name == "all") continue;
    if (p.t.empty()) {
      if (p.epochs > 0)
        s += "<p>" + p.name + ": observed in " + std::to_string(p.epochs) +
             " epochs, never solved: " + html_escape(p.unsolved) + ".</p>";
      continue;
    }
    double own = 1;
    for (int k = 0; k < 3; k++)
      for (double v : p.enu[k]) own = std::max(own, std::min(100.0, std::fabs(v)));
    s += enu_chart(p, own, 460, "Position from " + p.name + " alone");
  }
  return s;
}

}  // namespace

namespace {

// The parameters of the methods, so that a script can tell how the figures were made.
std::string qc_method_json(double mask_deg) {
  return "{\"slips\": {\"geometry_free_m\": 0.05, \"geometry_free_m_per_s\": 0.003, "
         "\"wide_lane_cycles\": 5, \"wide_lane_sigmas\": 4, \"wide_lane_settle_epochs\": 5, "
         "\"doppler_cycles\": 2, \"doppler_cycles_per_s\": 0.2, \"doppler_clock\": "
         "\"median of the epoch\"}, \"multipath\": {\"window_s\": 1800, \"outlier_sigmas\": 3, "
         "\"shortest_arc_epochs\": 10, \"figure\": \"mean of the satellites' RMS\"}, "
         "\"positions\": {\"elevation_mask_deg\": " +
         fmt("%g", mask_deg) +
         ", \"ionosphere\": \"Klobuchar\", \"failed_beyond_m\": 1000}, "
         "\"short_arc_s\": 600, \"series_s\": 900, \"clock_jump_ms\": 0.5}";
}

}  // namespace

std::string qc_text(const QcReport& r) {
  std::string s = "observation file: " + r.obs_file + "\nnavigation files:";
  for (const std::string& n : r.nav_files) s += " " + n;
  s += "\n" + qc_header_text(r);
  s.pop_back();
  s += "\nspan: " + qc_time_text(r.first) + " to " + qc_time_text(r.last) + ", interval " +
       fmt("%.3f", r.interval) + " s\nepochs: " + std::to_string(r.epochs_present) +
       " present of " + std::to_string(r.epochs_expected) + " expected, " +
       std::to_string(r.gaps.size()) + " gaps longer than the interval\n";
  for (const auto& g : r.gaps)
    s += "  gap " + qc_time_text(g.first) + " to " + qc_time_text(g.second) + "\n";
  s += "\nsignals (mask " + fmt("%.1f", r.mask_deg) + " degrees)\n";
  char line[256];
  snprintf(line, sizeof line, "%-3s %-4s %-6s %9s %9s %9s %7s %7s %6s %6s %8s %7s %7s\n", "sys",
           "code", "second", "present", "above", "expected", "compl%", "phase%", "LLI", "slips",
           "obs/slip", "C/N0", "MP m");
  s += line;
  for (const QcSignal& g : r.signals) {
    double c = completeness(g);
    snprintf(line, sizeof line, "%-3c %-4s %-6s %9ld %9ld %9s %7s %7s %6ld %6ld %8s %7s %7s\n",
             g.system, g.code.c_str(), g.second.empty() ? "-" : g.second.c_str(), g.present,
             g.present_above_mask, g.expected < 0 ? "-" : std::to_string(g.expected).c_str(),
             figure(c, "%.1f").c_str(), figure(phase_completeness(g), "%.1f").c_str(), g.lli,
             g.slips, g.slips > 0 ? fmt("%.0f", (double)g.present / (double)g.slips).c_str() : "-",
             std::isnan(cn0_mean(g)) ? "-" : fmt("%.1f", cn0_mean(g)).c_str(),
             std::isnan(mp_rms(g)) ? "-" : fmt("%.3f", mp_rms(g)).c_str());
    s += line;
  }
  s += "\npositions against " + fmt("%.4f", r.approx[0]) + " " + fmt("%.4f", r.approx[1]) + " " +
       fmt("%.4f", r.approx[2]) + "\n";
  snprintf(line, sizeof line, "%-6s %7s %7s %10s %10s %9s %9s %9s\n", "system", "epochs", "solved",
           "median m", "95% m", "east m", "north m", "up m");
  s += line;
  for (const QcPosition& p : r.positions) {
    if (p.epochs == 0) continue;
    snprintf(line, sizeof line, "%-6s %7d %7d %10s %10s %9s %9s %9s\n", p.name.c_str(), p.epochs,
             p.solved, figure(p.median, "%.2f").c_str(), figure(p.p95, "%.2f").c_str(),
             figure(p.mean_enu[0], "%.3f").c_str(), figure(p.mean_enu[1], "%.3f").c_str(),
             figure(p.mean_enu[2], "%.3f").c_str());
    s += line;
  }
  for (const QcPosition& p : r.positions) {
    if (!p.unsolved.empty()) s += "  " + p.name + " never solved: " + p.unsolved + "\n";
    if (p.far > 0 && p.solved > 0)
      s += "  " + p.name + ": " + std::to_string(p.far) +
           " solutions more than 1 km from the header position counted as failed\n";
  }
  s += qc_sections_text(r);
  if (!r.skipped.empty()) s += "\nskipped:\n";
  for (const auto& k : r.skipped) s += "  " + std::to_string(k.second) + " " + k.first + "\n";
  if (!r.notes.empty()) s += "\nnotes:\n";
  for (const std::string& n : r.notes) s += "  " + n + "\n";
  return s;
}

std::string qc_json(const QcReport& r) {
  std::string s = "{\"program\": {\"name\": \"vln_qc\", \"version\": " + json_string(r.version) +
                  "},\n \"observation_file\": " + json_string(r.obs_file) +
                  ", \"navigation_files\": [";
  for (size_t i = 0; i < r.nav_files.size(); i++)
    s += (i ? ", " : "") + json_string(r.nav_files[i]);
  s += "],\n \"first_epoch\": " + json_string(qc_time_text(r.first)) +
       ", \"last_epoch\": " + json_string(qc_time_text(r.last)) +
       ", \"interval_s\": " + json_number(r.interval) +
       ", \"mask_deg\": " + json_number(r.mask_deg, "%.1f") +
       ",\n \"header\": " + qc_header_json(r) + ",\n \"method\": " + qc_method_json(r.mask_deg) +
       ",\n \"epochs\": {\"present\": " + std::to_string(r.epochs_present) +
       ", \"expected\": " + std::to_string(r.epochs_expected) + ", \"gaps\": [";
  for (size_t i = 0; i < r.gaps.size(); i++)
    s += std::string(i ? ", " : "") + "{\"start\": " + json_string(qc_time_text(r.gaps[i].first)) +
         ", \"end\": " + json_string(qc_time_text(r.gaps[i].second)) + "}";
  s += "]},\n \"signals\": [";
  for (size_t i = 0; i < r.signals.size(); i++) {
    const QcSignal& g = r.signals[i];
    s += std::string(i ? ",\n  " : "\n  ") + "{\"system\": \"" + g.system +
         "\", \"code\": " + json_string(g.code) +
         ", \"second_code\": " + (g.second.empty() ? "null" : json_string(g.second)) +
         ", \"present\": " + std::to_string(g.present) +
         ", \"present_above_mask\": " + std::to_string(g.present_above_mask) +
         ", \"expected\": " + (g.expected < 0 ? "null" : std::to_string(g.expected)) +
         ", \"completeness_pct\": " + json_number(completeness(g), "%.2f") +
         ", \"phase_above_mask\": " + std::to_string(g.phase_above_mask) +
         ", \"phase_completeness_pct\": " + json_number(phase_completeness(g), "%.2f") +
         ", \"lli\": " + std::to_string(g.lli) + ", \"slips\": " + std::to_string(g.slips) +
         ", \"observations_per_slip\": " +
         (g.slips > 0 ? json_number((double)g.present / (double)g.slips, "%.1f") : "null") +
         ", \"cn0_mean_dbhz\": " + json_number(cn0_mean(g), "%.2f") +
         ", \"multipath_rms_m\": " + json_number(mp_rms(g), "%.4f") +
         ", \"multipath_arcs\": " + std::to_string(g.mp_arcs) + "}";
  }
  s += "],\n \"position\": {";
  bool first = true;
  for (const QcPosition& p : r.positions) {
    if (p.epochs == 0) continue;
    s += std::string(first ? "" : ",\n  ") + json_string(p.name) +
         ": {\"epochs\": " + std::to_string(p.epochs) +
         ", \"solved\": " + std::to_string(p.solved) +
         ", \"median_3d_m\": " + json_number(p.median) + ", \"p95_3d_m\": " + json_number(p.p95) +
         ", \"mean_enu_m\": [" + json_number(p.mean_enu[0], "%.4f") + ", " +
         json_number(p.mean_enu[1], "%.4f") + ", " + json_number(p.mean_enu[2], "%.4f") +
         "], \"unsolved_few_orbits\": " + std::to_string(p.few_orbits) +
         ", \"unsolved_failed\": " + std::to_string(p.failed) +
         ", \"unsolved_beyond_1km\": " + std::to_string(p.far) + ", \"never_solved_because\": " +
         (p.unsolved.empty() ? std::string("null") : json_string(p.unsolved)) + "}";
    first = false;
  }
  s += "},\n \"skipped\": {";
  first = true;
  for (const auto& k : r.skipped) {
    s += std::string(first ? "" : ", ") + json_string(k.first) + ": " + std::to_string(k.second);
    first = false;
  }
  s += "}" + qc_sections_json(r) + ",\n \"notes\": [";
  for (size_t i = 0; i < r.notes.size(); i++) s += (i ? ", " : "") + json_string(r.notes[i]);
  return s + "]}\n";
}

namespace {

// Files, span, epochs, gaps, what was skipped and the notes: the text
// report's opening without its tables, which the page shows as tables.
std::string summary_html(const QcReport& r) {
  std::string s = "<p>Observation file: " + html_escape(r.obs_file) + "<br>Navigation files:";
  for (const std::string& n : r.nav_files) s += " " + html_escape(n);
  s += "<br>Span: " + qc_time_text(r.first) + " to " + qc_time_text(r.last) + ", interval " +
       fmt("%.3f", r.interval) + " s<br>Epochs: " + std::to_string(r.epochs_present) +
       " present of " + std::to_string(r.epochs_expected) + " expected, " +
       std::to_string(r.gaps.size()) + " gaps longer than the interval</p>";
  if (!r.gaps.empty()) {
    s += "<ul>";
    for (const auto& g : r.gaps)
      s += "<li>gap " + qc_time_text(g.first) + " to " + qc_time_text(g.second) + "</li>";
    s += "</ul>";
  }
  for (const auto& k : r.skipped)
    s += "<p>Skipped: " + std::to_string(k.second) + " " + html_escape(k.first) + "</p>";
  for (const std::string& n : r.notes) s += "<p>Note: " + html_escape(n) + "</p>";
  return s;
}

std::string positions_table(const QcReport& r) {
  std::string s =
      "<table><tr><th>system</th><th>epochs</th><th>solved</th><th>median m</th><th>95% "
      "m</th><th>east m</th><th>north m</th><th>up m</th></tr>";
  for (const QcPosition& p : r.positions) {
    if (p.epochs == 0) continue;
    s += "<tr><td class=\"l\">" + p.name + "</td><td>" + std::to_string(p.epochs) + "</td><td>" +
         std::to_string(p.solved) + "</td><td>" + figure(p.median, "%.2f") + "</td><td>" +
         figure(p.p95, "%.2f") + "</td><td>" + figure(p.mean_enu[0], "%.3f") + "</td><td>" +
         figure(p.mean_enu[1], "%.3f") + "</td><td>" + figure(p.mean_enu[2], "%.3f") + "</td></tr>";
  }
  return s + "</table>";
}

}  // namespace

std::string qc_html(const QcReport& r) {
  std::string s =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Quality report: " +
      html_escape(r.obs_file) +
      "</title><style>"
      "body{font-family:sans-serif;margin:16px;color:#222;max-width:960px}"
      "h1{font-size:20px}h2{font-size:16px;border-bottom:1px solid #999;margin-top:24px}"
      "table{border-collapse:collapse;font-size:12px}td,th{border:1px solid #bbb;padding:2px "
      "6px;text-align:right}"
      "th{background:#eee}td.l{text-align:left}svg{margin:4px;background:#fff}"
      ".title{font-size:12px;font-weight:bold;text-anchor:middle}.tick{font-size:9px;text-anchor:"
      "middle;fill:#444}"
      ".tick.y{text-anchor:end}.tick.y2{text-anchor:start}.label{font-size:10px;text-anchor:middle}"
      ".legend{font-size:10px}"
      ".frame{fill:none;stroke:#888}.grid{stroke:#ddd}.ring{fill:none;stroke:#bbb}"
      ".track "
      "polyline{stroke-width:2;stroke-linejoin:round}.slip{font-size:9px;text-anchor:middle;fill:#"
      "000}.slipmark{stroke:#000}"
      ".sat{font-size:8px}pre{font-size:11px;white-space:pre-wrap}"
      "@media print{body{max-width:none}h2{break-after:avoid}svg{break-inside:avoid}}"
      ".station th{text-align:left}.differ{color:#b00;font-weight:bold}.agree{color:#1e8449}"
      "</style></head><body>\n<h1>Quality report</h1>\n" +
      qc_header_html(r) + summary_html(r) +
      "\n<h2>Signals</h2><table><tr><th>system</th><th>code</th><th>second</th>"
      "<th>present</th><th>above mask</th><th>expected</th><th>completeness "
      "%</th><th>phase %</th><th>LLI</th><th>slips</th>"
      "<th>C/N0 dB-Hz</th><th>multipath RMS m</th></tr>";
  for (const QcSignal& g : r.signals)
    s += "<tr><td class=\"l\" style=\"color:" + std::string(system_colour(g.system)) + "\">" +
         g.system + "</td><td class=\"l\">" + g.code + "</td><td class=\"l\">" +
         (g.second.empty() ? "-" : g.second) + "</td><td>" + std::to_string(g.present) +
         "</td><td>" + std::to_string(g.present_above_mask) + "</td><td>" +
         (g.expected < 0 ? "-" : std::to_string(g.expected)) + "</td><td>" +
         figure(completeness(g), "%.1f") + "</td><td>" + figure(phase_completeness(g), "%.1f") +
         "</td><td>" + std::to_string(g.lli) + "</td><td>" + std::to_string(g.slips) + "</td><td>" +
         (std::isnan(cn0_mean(g)) ? "-" : fmt("%.1f", cn0_mean(g))) + "</td><td>" +
         (std::isnan(mp_rms(g)) ? "-" : fmt("%.3f", mp_rms(g))) + "</td></tr>";
  s += "</table>\n<h2>Sky and tracking</h2>" + sky_plot(r) + timeline(r) +
       "\n<h2>Signal strength against elevation</h2>";
  for (const QcSignal& g : r.signals) {
    auto it = r.cn0_el.find(std::string(1, g.system) + " " + g.code);
    if (it != r.cn0_el.end())
      s += scatter(std::string(1, g.system) + " " + g.code + " C/N0", "cn0", it->second, "dB-Hz",
                   system_colour(g.system));
  }
  s += "\n<h2>Code multipath against elevation</h2>";
  for (const QcSignal& g : r.signals) {
    auto it = r.mp_el.find(std::string(1, g.system) + " " + g.code);
    if (it != r.mp_el.end())
      s += scatter(std::string(1, g.system) + " " + g.code + " multipath (with " + g.second + ")",
                   "mp", it->second, "metres", system_colour(g.system));
  }
  // Each signal without a chart, with the reason that holds for it.
  std::map<std::string, std::string> without;  // reason -> signals
  for (const QcSignal& g : r.signals) {
    auto it = r.mp_el.find(std::string(1, g.system) + " " + g.code);
    if (it != r.mp_el.end()) continue;
    std::string why =
        g.second.empty() ? "the file has no phase of a second band for the combination"
        : g.expected < 0 ? "no orbits for the system (no navigation file of it), so no elevations"
        : g.mp_count > 0 ? "no elevation is known where its multipath was computed"
        : g.no_frequency > 0
            ? "its satellites' frequency channels are not known (no GLONASS SLOT / FRQ # and "
              "no navigation record of them)"
            : "no arc of 10 epochs above the mask with the phases of both bands";
    std::string& list = without[why];
    list += std::string(list.empty() ? "" : ", ") + g.system + " " + g.code;
  }
  for (const auto& w : without)
    s += "<p>No multipath chart for " + w.second + ": " + w.first + ".</p>";
  bool sbas = false;
  for (const QcSignal& g : r.signals) sbas = sbas || g.system == 'S';
  s += "\n<h2>Position</h2>" +
       std::string(sbas ? "<p>SBAS satellites are not used for positions: their messages "
                          "correct other systems' orbits and carry no orbit of their own "
                          "that the solver uses.</p>"
                        : "") +
       positions_table(r) + position_charts(r) + qc_sections_html(r) + "\n</body></html>\n";
  return s;
}
