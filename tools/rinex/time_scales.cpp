// Leap seconds by source: a navigation file's LEAP SECONDS, the observation
// header's, then the converter's table of announced leap seconds (IERS
// Bulletin C) for the file's first epoch.
#include "time_scales.h"

#include <cmath>

#include "time_convert.h"

namespace {

constexpr double kBdsOffset = 14.0;  // GPS time minus BeiDou time, s

std::string whole(double v) { return std::to_string(std::lround(v)); }

}  // namespace

TimeScales settle_time_scales(const ObsFile& obs, bc::NavData* nav) {
  TimeScales ts;
  bool glonass_time = obs.time_system == "GLO";
  bool needed = nav->glonass_undated > 0 || glonass_time;
  if (nav->has_leap) {
    ts.leap = nav->leap;
  } else if (!std::isnan(obs.leap)) {
    ts.leap = obs.leap;
    if (needed)
      ts.notes.push_back("leap seconds " + whole(ts.leap) +
                         " from the observation header: no navigation file gives them");
  } else if (needed) {
    double at = std::isnan(obs.first_obs) ? NAN : obs.first_obs;
    S32 table = std::isnan(at) ? -1 : TCVT_leap_seconds_at(at);
    if (table >= 0) {
      ts.leap = table;
      ts.notes.push_back("leap seconds " + whole(ts.leap) +
                         " from the table of announced leap seconds (IERS Bulletin C, to "
                         "2026-06-30): neither the navigation files nor the observation header "
                         "give them");
    } else {
      ts.notes.push_back(
          "leap seconds unknown: the files give none and the table of announced leap seconds "
          "(IERS Bulletin C) ends 2026-06-30, before the file's first epoch");
    }
  }
  long dropped = bc::resolve_glonass_times(nav, ts.leap);
  if (dropped > 0)
    ts.notes.push_back(std::to_string(dropped) +
                       " GLONASS navigation records not used: their epochs are UTC and the leap "
                       "seconds are not known");
  if (glonass_time) ts.obs_to_gps = std::isnan(ts.leap) ? 0 : ts.leap;
  if (obs.time_system == "BDT") ts.obs_to_gps = kBdsOffset;
  return ts;
}
