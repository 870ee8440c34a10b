// The time scales of an observation file and its navigation files: the leap
// seconds that date GLONASS records (their epochs are UTC) and the epochs of
// a file kept in GLONASS or BeiDou time, taken from the navigation files
// where they give them, else from the observation header, else from the table
// of announced leap seconds, with a note saying which was used.
#ifndef VLN_TIME_SCALES_H
#define VLN_TIME_SCALES_H

#include <cmath>
#include <string>
#include <vector>

#include "broadcast.h"
#include "obs_reader.h"

struct TimeScales {
  double leap = NAN;      // GPS - UTC, s; NaN when nothing tells it
  double obs_to_gps = 0;  // add to the file's epochs for GPS time
  std::vector<std::string> notes;
};

// Settles the leap seconds for the GLONASS records of nav not yet dated
// (records that cannot be dated are dropped and counted in a note) and the
// offset of the observation epochs; obs needs only its header.
TimeScales settle_time_scales(const ObsFile& obs, bc::NavData* nav);

#endif
