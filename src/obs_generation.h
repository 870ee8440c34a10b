// The observation writer of each version the run may write, chosen in this
// one place: the original 3.02 writer, RINEX 2.11, or RINEX 3.02-4.00. Each
// gives the whole header text and (the standard writers) the satellite
// lines of an epoch item, which the records writer of its version lays out.
#ifndef VLN_OBS_GENERATION_H
#define VLN_OBS_GENERATION_H

#include <string>

#include "data_type.h"
#include "obs_fields.h"
#include "output_items.h"
#include "std_obs.h"

struct ObsGeneration {
  // The whole header text (Compact RINEX header with --crx): the original
  // writer's from the first and last epochs' times, the standard writers'
  // from what was written.
  std::string (*header_text)(const UTC_TIME_T& start, const UTC_TIME_T& end, const ObsTimes& times);
  // The satellite lines of a standard writer's epoch item; returns their
  // count (nullptr for the original writer, whose items are its own).
  int (*epoch_fields)(const SIGNAL_EPOCH_T& e, const SIGNAL_REC_T* recs, ObsFields* sats);
  int crx_version;  // Compact RINEX 1.0 or 3.0
};

// The generation of a --rinex-version value (RINEX_ORIGINAL, RINEX_211, ...).
const ObsGeneration& Obs_generation(int rinex_version);

#endif
