// A quick plausibility check of an observation and navigation file pair
// (RINEX 2.10 to 4.00, plain, gzip or Compact RINEX): single-point positions from the
// first-frequency pseudoranges and the broadcast orbits and clocks, per constellation alone and all
// together, compared with the observation header's APPROX POSITION XYZ.
#ifndef VLN_POSITION_CHECK_H
#define VLN_POSITION_CHECK_H

#include <string>
#include <vector>

struct PositionStats {
  std::string name;            // "GPS", "Galileo", "BeiDou", "GLONASS", "all"
  int epochs = 0;              // epochs with observations of the constellation
  int solved = 0;              // epochs with a converged solution within 1 km of the header's
  double median = 0, p95 = 0;  // 3D distance from the header position, metres
};

struct PositionReport {
  bool ok = false;
  std::string error;  // why the files could not be checked
  double approx[3] = {0, 0, 0};
  std::vector<PositionStats> stats;  // GPS, Galileo, BeiDou, GLONASS, all
  // First-frequency carrier phase against Doppler: the median over consecutive
  // epochs of |phase change per second + Doppler| (they agree for sound
  // records), and how many pairs of epochs it was taken over.
  double phase_doppler_hz = 0;
  int phase_doppler_pairs = 0;
  std::vector<std::string> notes;  // where the leap seconds came from, when it matters
};

// Reads the files and solves every epoch; several navigation files (RINEX 2's
// GPS and GLONASS files) are read as one.
PositionReport check_positions(const std::string& obs_path,
                               const std::vector<std::string>& nav_paths);
// The report as the command prints it.
std::string format_report(const PositionReport& r);

#endif
