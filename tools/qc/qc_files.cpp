// The report's files: the observation file, each navigation file on its own
// (to tell which is of another day) and then together, the time scales
// settled between them.
#include <algorithm>

#include "qc.h"
#include "time_scales.h"

namespace {

// Seconds beyond the observations within which a record can serve (a GPS
// ephemeris is used up to 4 hours from its reference time).
constexpr double kNavReach = 4 * 3600;

}  // namespace

int qc_report_files(const std::string& obs_path, const std::vector<std::string>& nav_paths,
                    double mask_deg, QcReport* r, std::string* error) {
  ObsStream obs;
  if (!obs.open(obs_path, error)) return kQcBadInput;
  bc::NavData nav;
  std::vector<std::pair<double, double>> spans;  // each navigation file's records
  for (const std::string& path : nav_paths) {
    bc::NavData one;
    if (!bc::read_nav_file(path, &one, error)) return kQcBadInput;
    double first = 0, last = 0;
    if (!bc::record_span(one, &first, &last)) {
      *error = path + ": no navigation record it can use";
      return kQcBadInput;
    }
    spans.push_back({first, last});
    bc::merge(&nav, one);
  }
  TimeScales scales = settle_time_scales(obs.header(), &nav);
  if (!qc_analyse_stream(&obs, nav, mask_deg, scales.obs_to_gps, r, error)) {
    if (error->compare(0, obs_path.size(), obs_path) != 0) *error = obs_path + ": " + *error;
    return kQcBadInput;
  }
  r->obs_file = obs_path;
  r->nav_files = nav_paths;
  r->notes.insert(r->notes.begin(), scales.notes.begin(), scales.notes.end());
  for (size_t i = 0; i < spans.size(); i++)
    if (spans[i].second < r->first - kNavReach || spans[i].first > r->last + kNavReach)
      r->notes.push_back(nav_paths[i] + " holds navigation records of " +
                         qc_time_text(spans[i].first).substr(0, 10) + " to " +
                         qc_time_text(spans[i].second).substr(0, 10) +
                         ", hours away from the observations: none of them is used");
  long expected = 0;
  for (const QcSignal& s : r->signals) expected += s.expected > 0 ? s.expected : 0;
  if (expected == 0) {
    *error =
        "the navigation files hold no orbit for any observed satellite at the observation times "
        "(other satellites, or days apart)";
    return kQcMismatch;
  }
  return kQcOk;
}
