// The quality report of an observation file and its navigation files: span
// and gaps; per signal presence, completeness above an elevation mask, loss
// of lock, cycle slips found here, signal strength and code multipath; and
// single-point positions per constellation and all together. The text, JSON
// and HTML forms of the report are made from the one QcReport.
#ifndef VLN_QC_H
#define VLN_QC_H

#include <map>
#include <string>
#include <vector>

#include "nav_reader.h"
#include "obs_reader.h"

struct QcSignal {
  char system;
  std::string code;    // pseudorange type, "C1C"
  std::string second;  // the other frequency's code for multipath and slips, "" when none
  long present = 0, present_above_mask = 0, expected = -1;  // expected -1: no orbits
  long lli = 0, slips = 0;
  double cn0_sum = 0;
  long cn0_count = 0;
  double mp_sum2 = 0;
  long mp_count = 0;
  int mp_arcs = 0;
};

struct QcPosition {
  std::string name;  // "G", "E", "C", "R", "J", "all"
  int epochs = 0, solved = 0;
  double median = 0, p95 = 0;
  double mean_enu[3] = {0, 0, 0};
  std::vector<double> t, enu[3];  // each solution, for the plots
};

// Points of the plots, thinned to keep the page small.
struct QcTrackPoint {
  double t, az, el, cn0;
  bool slip;
};

struct QcReport {
  std::string obs_file;
  std::vector<std::string> nav_files;
  double mask_deg = 10;
  double first = 0, last = 0, interval = 0;
  long epochs_present = 0, epochs_expected = 0;
  std::vector<std::pair<double, double>> gaps;  // start, end (seconds since the GPS epoch)
  std::vector<QcSignal> signals;
  std::vector<QcPosition> positions;
  double approx[3] = {0, 0, 0};
  std::map<std::string, std::vector<QcTrackPoint>> tracks;             // by satellite "G05"
  std::map<std::string, std::vector<std::pair<double, double>>> runs;  // tracked spans
  std::map<std::string, std::vector<double>> slip_times;
  // Signal strength and multipath against elevation: (elevation, value) per signal.
  std::map<std::string, std::vector<std::pair<float, float>>> cn0_el, mp_el;
  std::map<std::string, long> skipped;
  std::vector<std::string> notes;
};

// Computes the whole report.
QcReport qc_analyse(const ObsFile& obs, const bc::NavData& nav, double mask_deg);

// Seconds since the GPS epoch as "2024-05-03T00:00:00".
std::string qc_time_text(double t);
// The report as text, JSON (the documented interface) and a self-contained HTML page.
std::string qc_text(const QcReport& r);
std::string qc_json(const QcReport& r);
std::string qc_html(const QcReport& r);

#endif
