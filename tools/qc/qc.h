// The quality report of an observation file and its navigation files: span
// and gaps; per signal presence, completeness above an elevation mask, loss
// of lock, cycle slips found here, signal strength and code multipath; and
// single-point positions per constellation and all together. The text, JSON
// and HTML forms of the report are made from the one QcReport.
#ifndef VLN_QC_H
#define VLN_QC_H

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "nav_reader.h"
#include "obs_reader.h"

struct QcSignal {
  char system;
  std::string code;    // pseudorange type, "C1C"
  std::string second;  // the header's first partner for multipath and slips, "" when none
  long present = 0, present_above_mask = 0, expected = -1;  // expected -1: no orbits
  long phase_above_mask = 0;  // epochs above the mask with the signal's phase
  long lli = 0, slips = 0;
  double cn0_sum = 0;
  long cn0_count = 0;
  double mp_sum2 = 0;  // multipath residuals kept, all satellites
  long mp_count = 0;
  int mp_arcs = 0;
  double mp_rms = NAN;    // the mean of the satellites' RMS, metres
  long no_frequency = 0;  // observations whose carrier frequency is not known (GLONASS channels)
};

// A satellite over the file: per signal its multipath RMS (NaN: none).
struct QcSatellite {
  std::string key;  // "G05"
  long epochs = 0, slips = 0, lli = 0;
  double el_min = NAN, el_max = NAN;                       // degrees, where orbits tell
  std::map<std::string, double> mp_rms;                    // by code
  std::map<std::string, std::pair<double, long>> mp_sums;  // by code: sum of squares, count
};

// A cycle slip found: how, and its size where the method tells it.
struct QcSlip {
  double t;
  std::string sat, code;
  const char* method;  // "geometry-free", "Melbourne-Wuebbena", "Doppler"
  // Doppler: cycles of the signal; Melbourne-Wuebbena: the wide-lane change
  // (the slip itself when only this signal slipped); NaN where not known.
  double cycles;
};

// A millisecond step of the receiver clock: code and phase in milliseconds.
struct QcClockJump {
  double t;
  long code_ms, phase_ms;
};

// Every 15 minutes from the first epoch.
struct QcInterval {
  double start;
  int satellites = 0;  // tracked in the interval
  double cn0_mean = NAN, mp_rms = NAN;
  long slips = 0;
  double cn0_sum = 0, mp_sum2 = 0;
  long cn0_count = 0, mp_count = 0;
};

// A station file's word against the header's: a disagreement when they differ.
struct QcHeaderCheck {
  std::string what, header, station_file;
  bool agrees;
};

struct QcPosition {
  std::string name;  // "G", "E", "C", "R", "J", "all"
  int epochs = 0, solved = 0;
  // Epochs not solved: fewer than four satellites with orbits; a solution
  // that failed (fewer than four above the mask, no convergence); one more
  // than kFarSolution from the header position, a failure too.
  int few_orbits = 0, failed = 0, far = 0;
  std::string unsolved;  // why it was never solved, "" when it was
  double median = 0, p95 = 0;
  double mean_enu[3] = {0, 0, 0};
  std::vector<double> t, enu[3];  // each solution, for the plots
};

// Points of the plots, thinned to keep the page small.
struct QcTrackPoint {
  double t, az, el, cn0;
  bool slip;
};

// A chart of a value against elevation, kept as the cells its dots fall in
// (2 pixels square over the plot area, the value axis from y0 to y1): a day
// at 1 Hz costs no more memory or page than an hour.
struct QcDensity {
  static constexpr int kColumns = 196, kRows = 96;  // 0-90 degrees across, y1 at the top
  double y0 = 0, y1 = 1;
  std::vector<unsigned char> cells;  // kRows rows of kColumns, 1 where a point fell
  long points = 0;
  void add(double elevation_deg, double value) {
    if (!(value >= y0 && value <= y1) || !(elevation_deg >= 0 && elevation_deg <= 90)) return;
    if (cells.empty()) cells.assign((size_t)kColumns * kRows, 0);
    int col = std::min(kColumns - 1, (int)(elevation_deg / 90.0 * kColumns));
    int row = std::min(kRows - 1, (int)((y1 - value) / (y1 - y0) * kRows));
    cells[(size_t)row * kColumns + (size_t)col] = 1;
    points++;
  }
};

struct QcReport {
  std::string version;  // of the program
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
  // Signal strength (10 to 60 dB-Hz) and multipath (-3 to 3 m) against elevation, per signal.
  std::map<std::string, QcDensity> cn0_el, mp_el;
  std::map<std::string, long> skipped;
  std::vector<std::string> notes;
  std::vector<QcSatellite> satellites;
  std::vector<QcSlip> slips;  // in time order, at most kMaxListedSlips
  long slips_not_listed = 0;
  std::vector<std::pair<std::string, std::pair<double, double>>> short_arcs;  // satellite, span
  std::vector<QcClockJump> clock_jumps;
  std::vector<QcInterval> series;
  ObsHeader header;
  std::vector<QcHeaderCheck> header_checks;  // with a station file
};

// Listed slips at most; beyond, only counted.
constexpr size_t kMaxListedSlips = 5000;
// A tracked arc shorter than this (seconds) that neither starts at the
// file's start nor ends at its end is a short arc.
constexpr double kShortArc = 600;
// Seconds of each interval of the time series.
constexpr double kSeriesStep = 900;
// A single-point solution farther than this (metres) from the header
// position is a failed one: no receiver is a kilometre from where it says.
constexpr double kFarSolution = 1000;

// Exit statuses of vln_qc.
enum QcStatus {
  kQcOk = 0,
  kQcUsage = 1,       // the command line is wrong
  kQcBadInput = 2,    // an input file cannot be read or is not what it must be
  kQcMismatch = 3,    // the files do not belong together
  kQcWriteError = 4,  // a report file cannot be written
};

// Computes the whole report.
QcReport qc_analyse(const ObsFile& obs, const bc::NavData& nav, double mask_deg);
// The same as the stream reads a file, epoch by epoch: a day at 1 Hz costs
// what the statistics keep, not the file. to_gps is added to every epoch's
// time. False with the stream's error.
bool qc_analyse_stream(ObsStream* stream, const bc::NavData& nav, double mask_deg, double to_gps,
                       QcReport* r, std::string* error);
// Reads an observation file and its navigation files and computes the report:
// the time scales settled (leap seconds from the navigation files, the
// observation header or the table of announced ones), a navigation file of
// another day named in the notes. A status other than kQcOk with a message
// naming the file when the files cannot be used.
int qc_report_files(const std::string& obs_path, const std::vector<std::string>& nav_paths,
                    double mask_deg, QcReport* r, std::string* error);
// Compares the header with a station file's settings (name, value as the
// converter reads them); the checks go into the report.
void qc_check_station(const std::map<std::string, std::string>& station, QcReport* r);

// Seconds since the GPS epoch as "2024-05-03T00:00:00".
std::string qc_time_text(double t);
// The report as text, JSON (the documented interface) and a self-contained HTML page.
std::string qc_text(const QcReport& r);
std::string qc_json(const QcReport& r);
std::string qc_html(const QcReport& r);

#endif
