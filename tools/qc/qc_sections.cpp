// The report's station header, per-satellite table, slip list, short arcs,
// clock jumps, 15-minute figures and method, as text, JSON and page.
#include <algorithm>

#include "qc_format.h"

using namespace qcfmt;

namespace {

// Lines of the text and rows of the page at most; the JSON holds them all.
constexpr size_t kListed = 200;

struct Field {
  const char* name;  // the JSON name
  const char* label;
  std::string value;
};

std::vector<Field> header_fields(const QcReport& r) {
  const ObsHeader& h = r.header;
  std::string delta = h.has_delta ? fmt("%.4f", h.antenna_delta[0]) + " " +
                                        fmt("%.4f", h.antenna_delta[1]) + " " +
                                        fmt("%.4f", h.antenna_delta[2])
                                  : "";
  std::string approx =
      fmt("%.4f", r.approx[0]) + " " + fmt("%.4f", r.approx[1]) + " " + fmt("%.4f", r.approx[2]);
  return {{"marker_name", "marker", h.marker_name},
          {"marker_number", "marker number", h.marker_number},
          {"receiver_type", "receiver", h.receiver_type},
          {"receiver_number", "receiver number", h.receiver_number},
          {"receiver_version", "receiver version", h.receiver_version},
          {"antenna_type", "antenna", h.antenna_type},
          {"radome", "radome", h.radome},
          {"antenna_number", "antenna number", h.antenna_number},
          {"antenna_delta_hen_m", "antenna delta H/E/N m", delta},
          {"approx_position_m", "approximate position m", approx}};
}

std::string slip_size(const QcSlip& s) {
  return std::isfinite(s.cycles) ? fmt("%.0f", s.cycles) : "-";
}

std::string mp_list(const QcSatellite& s, const char* separator) {
  std::string out;
  for (const auto& m : s.mp_rms)
    out += (out.empty() ? "" : separator) + m.first + " " + fmt("%.3f", m.second);
  return out.empty() ? "-" : out;
}

}  // namespace

std::string qc_header_text(const QcReport& r) {
  std::string s;
  for (const Field& f : header_fields(r))
    if (!f.value.empty()) s += std::string(f.label) + ": " + f.value + "\n";
  for (const QcHeaderCheck& c : r.header_checks)
    s += std::string(c.agrees ? "  agrees with the station file: "
                              : "  DIFFERS from the station file: ") +
         c.what +
         (c.agrees ? "" : " (header '" + c.header + "', station file '" + c.station_file + "')") +
         "\n";
  return s;
}

std::string qc_sections_text(const QcReport& r) {
  char line[256];
  std::string s = "\nsatellites\n";
  snprintf(line, sizeof line, "%-4s %7s %7s %7s %6s %6s  %s\n", "sat", "epochs", "el min", "el max",
           "LLI", "slips", "multipath RMS m per signal");
  s += line;
  for (const QcSatellite& t : r.satellites) {
    snprintf(line, sizeof line, "%-4s %7ld %7s %7s %6ld %6ld  %s\n", t.key.c_str(), t.epochs,
             figure(t.el_min, "%.1f").c_str(), figure(t.el_max, "%.1f").c_str(), t.lli, t.slips,
             mp_list(t, ", ").c_str());
    s += line;
  }
  s += "\nslips (" + std::to_string(r.slips.size() + (size_t)r.slips_not_listed) + ")\n";
  for (size_t i = 0; i < r.slips.size() && i < kListed; i++) {
    const QcSlip& k = r.slips[i];
    s += "  " + qc_time_text(k.t) + " " + k.sat + " " + k.code + " " + k.method + " " +
         slip_size(k) + "\n";
  }
  if (r.slips.size() + (size_t)r.slips_not_listed > kListed)
    s += "  ... " + std::to_string(r.slips.size() + (size_t)r.slips_not_listed - kListed) +
         " more (the JSON lists " + std::to_string(r.slips.size()) + ")\n";
  s += "\nshort arcs (under " + fmt("%.0f", kShortArc) + " s, " +
       std::to_string(r.short_arcs.size()) + ")\n";
  for (size_t i = 0; i < r.short_arcs.size() && i < kListed; i++)
    s += "  " + r.short_arcs[i].first + " " + qc_time_text(r.short_arcs[i].second.first) + " to " +
         qc_time_text(r.short_arcs[i].second.second) + "\n";
  s += "\nreceiver clock jumps (" + std::to_string(r.clock_jumps.size()) + ")\n";
  for (const QcClockJump& j : r.clock_jumps)
    s += "  " + qc_time_text(j.t) + " code " + std::to_string(j.code_ms) + " ms, phase " +
         std::to_string(j.phase_ms) + " ms\n";
  s += "\nevery 15 minutes\n";
  snprintf(line, sizeof line, "%-19s %5s %7s %7s %6s\n", "start", "sats", "C/N0", "MP m", "slips");
  s += line;
  for (const QcInterval& i : r.series) {
    snprintf(line, sizeof line, "%-19s %5d %7s %7s %6ld\n", qc_time_text(i.start).c_str(),
             i.satellites, figure(i.cn0_mean, "%.1f").c_str(), figure(i.mp_rms, "%.3f").c_str(),
             i.slips);
    s += line;
  }
  return s;
}

std::string qc_header_json(const QcReport& r) {
  std::string s = "{";
  bool first = true;
  for (const Field& f : header_fields(r)) {
    s += std::string(first ? "" : ", ") + "\"" + f.name +
         "\": " + (f.value.empty() ? "null" : json_string(f.value));
    first = false;
  }
  s += ", \"station_file_checks\": [";
  for (size_t i = 0; i < r.header_checks.size(); i++) {
    const QcHeaderCheck& c = r.header_checks[i];
    s += std::string(i ? ", " : "") + "{\"what\": " + json_string(c.what) +
         ", \"header\": " + json_string(c.header) +
         ", \"station_file\": " + json_string(c.station_file) +
         ", \"agrees\": " + (c.agrees ? "true" : "false") + "}";
  }
  return s + "]}";
}

std::string qc_sections_json(const QcReport& r) {
  std::string s = ",\n \"satellites\": [";
  for (size_t i = 0; i < r.satellites.size(); i++) {
    const QcSatellite& t = r.satellites[i];
    s += std::string(i ? ",\n  " : "\n  ") + "{\"satellite\": " + json_string(t.key) +
         ", \"epochs\": " + std::to_string(t.epochs) + ", \"lli\": " + std::to_string(t.lli) +
         ", \"slips\": " + std::to_string(t.slips) +
         ", \"elevation_min_deg\": " + json_number(t.el_min, "%.1f") +
         ", \"elevation_max_deg\": " + json_number(t.el_max, "%.1f") + ", \"multipath_rms_m\": {";
    bool first = true;
    for (const auto& m : t.mp_rms) {
      s += std::string(first ? "" : ", ") + json_string(m.first) + ": " +
           json_number(m.second, "%.4f");
      first = false;
    }
    s += "}}";
  }
  s += "],\n \"slips\": [";
  for (size_t i = 0; i < r.slips.size(); i++) {
    const QcSlip& k = r.slips[i];
    s += std::string(i ? ",\n  " : "\n  ") + "{\"time\": " + json_string(qc_time_text(k.t)) +
         ", \"satellite\": " + json_string(k.sat) + ", \"code\": " + json_string(k.code) +
         ", \"method\": " + json_string(k.method) +
         ", \"cycles\": " + json_number(k.cycles, "%.0f") + "}";
  }
  s += "], \"slips_not_listed\": " + std::to_string(r.slips_not_listed) + ",\n \"short_arcs\": [";
  for (size_t i = 0; i < r.short_arcs.size(); i++)
    s += std::string(i ? ", " : "") + "{\"satellite\": " + json_string(r.short_arcs[i].first) +
         ", \"start\": " + json_string(qc_time_text(r.short_arcs[i].second.first)) +
         ", \"end\": " + json_string(qc_time_text(r.short_arcs[i].second.second)) + "}";
  s += "],\n \"clock_jumps\": [";
  for (size_t i = 0; i < r.clock_jumps.size(); i++)
    s += std::string(i ? ", " : "") +
         "{\"time\": " + json_string(qc_time_text(r.clock_jumps[i].t)) +
         ", \"code_ms\": " + std::to_string(r.clock_jumps[i].code_ms) +
         ", \"phase_ms\": " + std::to_string(r.clock_jumps[i].phase_ms) + "}";
  s += "],\n \"series_15min\": [";
  for (size_t i = 0; i < r.series.size(); i++) {
    const QcInterval& v = r.series[i];
    s += std::string(i ? ",\n  " : "\n  ") + "{\"start\": " + json_string(qc_time_text(v.start)) +
         ", \"satellites\": " + std::to_string(v.satellites) +
         ", \"cn0_mean_dbhz\": " + json_number(v.cn0_mean, "%.2f") +
         ", \"multipath_rms_m\": " + json_number(v.mp_rms, "%.4f") +
         ", \"slips\": " + std::to_string(v.slips) + "}";
  }
  return s + "]";
}

std::string qc_header_html(const QcReport& r) {
  std::string s = "<table class=\"station\">";
  for (const Field& f : header_fields(r))
    if (!f.value.empty())
      s += "<tr><th class=\"l\">" + std::string(f.label) + "</th><td class=\"l\">" +
           html_escape(f.value) + "</td></tr>";
  s += "</table>";
  for (const QcHeaderCheck& c : r.header_checks)
    s += std::string("<p class=\"") + (c.agrees ? "agree" : "differ") + "\">" +
         (c.agrees ? "Agrees with the station file: " : "Differs from the station file: ") +
         html_escape(c.what) +
         (c.agrees ? ""
                   : " (header '" + html_escape(c.header) + "', station file '" +
                         html_escape(c.station_file) + "')") +
         "</p>";
  return s;
}

std::string qc_sections_html(const QcReport& r) {
  std::string s =
      "\n<h2>Satellites</h2><table><tr><th>satellite</th><th>epochs</th><th>elevation "
      "min</th><th>max</th><th>LLI</th><th>slips</th><th>multipath RMS m</th></tr>";
  for (const QcSatellite& t : r.satellites)
    s += "<tr><td class=\"l\">" + t.key + "</td><td>" + std::to_string(t.epochs) + "</td><td>" +
         figure(t.el_min, "%.1f") + "</td><td>" + figure(t.el_max, "%.1f") + "</td><td>" +
         std::to_string(t.lli) + "</td><td>" + std::to_string(t.slips) + "</td><td class=\"l\">" +
         mp_list(t, ", ") + "</td></tr>";
  size_t all = r.slips.size() + (size_t)r.slips_not_listed;
  s += "</table>\n<h2>Cycle slips (" + std::to_string(all) +
       ")</h2><table><tr><th>time</th><th>satellite</th><th>signal</th><th>method</th><th>cycles</"
       "th></tr>";
  for (size_t i = 0; i < r.slips.size() && i < kListed; i++) {
    const QcSlip& k = r.slips[i];
    s += "<tr><td>" + qc_time_text(k.t) + "</td><td class=\"l\">" + k.sat +
         "</td><td class=\"l\">" + k.code + "</td><td class=\"l\">" + k.method + "</td><td>" +
         slip_size(k) + "</td></tr>";
  }
  s += "</table>";
  if (all > kListed)
    s += "<p>The first " + std::to_string(kListed) + "; the JSON lists them all.</p>";
  s += "\n<h2>Short arcs and clock jumps</h2><p>Arcs under " + fmt("%.0f", kShortArc) +
       " s: " + std::to_string(r.short_arcs.size());
  for (size_t i = 0; i < r.short_arcs.size() && i < kListed; i++)
    s += (i ? ", " : ": ") + r.short_arcs[i].first + " " +
         qc_time_text(r.short_arcs[i].second.first).substr(11) + "-" +
         qc_time_text(r.short_arcs[i].second.second).substr(11);
  s += ".</p><p>Receiver clock jumps: " + std::to_string(r.clock_jumps.size());
  for (size_t i = 0; i < r.clock_jumps.size(); i++)
    s += (i ? ", " : ": ") + qc_time_text(r.clock_jumps[i].t) + " (code " +
         std::to_string(r.clock_jumps[i].code_ms) + " ms, phase " +
         std::to_string(r.clock_jumps[i].phase_ms) + " ms)";
  s += ".</p>\n<h2>Every 15 minutes</h2><table><tr><th>start</th><th>satellites</th><th>C/N0 "
       "dB-Hz</th><th>multipath RMS m</th><th>slips</th></tr>";
  for (const QcInterval& v : r.series)
    s += "<tr><td>" + qc_time_text(v.start) + "</td><td>" + std::to_string(v.satellites) +
         "</td><td>" + figure(v.cn0_mean, "%.1f") + "</td><td>" + figure(v.mp_rms, "%.3f") +
         "</td><td>" + std::to_string(v.slips) + "</td></tr>";
  return s + "</table>";
}

void qc_check_station(const std::map<std::string, std::string>& station, QcReport* r) {
  const ObsHeader& h = r->header;
  const struct {
    const char* name;
    const std::string& header;
  } kText[] = {{"marker-name", h.marker_name},
               {"marker-number", h.marker_number},
               {"receiver-type", h.receiver_type},
               {"receiver-number", h.receiver_number},
               {"receiver-version", h.receiver_version},
               {"antenna-type", h.antenna_type},
               {"radome", h.radome},
               {"antenna-number", h.antenna_number}};
  for (const auto& t : kText) {
    auto it = station.find(t.name);
    if (it == station.end()) continue;
    r->header_checks.push_back({t.name, t.header, it->second, it->second == t.header});
  }
  // Numbers: the antenna height to the half millimetre the header holds, the
  // position to a metre (an approximate position).
  const struct {
    const char* name;
    const double* header;
    double tolerance;
  } kNumbers[] = {{"antenna-delta", h.antenna_delta, 0.0005}, {"position", r->approx, 1.0}};
  for (const auto& n : kNumbers) {
    auto it = station.find(n.name);
    if (it == station.end()) continue;
    double v[3] = {NAN, NAN, NAN};
    int got = sscanf(it->second.c_str(), "%lf,%lf,%lf", &v[0], &v[1], &v[2]);
    bool agrees = got == 3;
    for (int k = 0; k < 3 && agrees; k++) agrees = std::fabs(v[k] - n.header[k]) <= n.tolerance;
    r->header_checks.push_back(
        {n.name,
         fmt("%.4f", n.header[0]) + "," + fmt("%.4f", n.header[1]) + "," + fmt("%.4f", n.header[2]),
         it->second, agrees});
  }
}
