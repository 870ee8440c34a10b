// The writers of each version the run may write, chosen in this one place:
// the original 3.02 writer, RINEX 2.11, RINEX 3.02-3.05 and RINEX 4.00. Each
// row gives the whole observation header, (the standard writers) the
// satellite lines of an epoch item, which the records writer of its version
// lays out, the navigation header, and the files a version has.
#ifndef VLN_RINEX_GENERATION_H
#define VLN_RINEX_GENERATION_H

#include <string>

#include "data_type.h"
#include "obs_codes.h"
#include "obs_fields.h"
#include "output_items.h"
#include "std_obs.h"

struct RinexGeneration {
  // The whole observation header text (Compact RINEX header with --crx):
  // the original writer's from the first and last epochs' times, the
  // standard writers' from what was written (before any epoch, with what the
  // scan of the log told).
  std::string (*obs_header_text)(const UTC_TIME_T& start, const UTC_TIME_T& end,
                                 const ObsTimes& times, const ObsHeaderHints& hints,
                                 const TypePlan& plan);
  // The satellite lines of a standard writer's epoch item under the run's
  // plan of types; returns their count (nullptr for the original writer,
  // whose items are its own).
  int (*epoch_fields)(const TypePlan& plan, const SIGNAL_EPOCH_T& e, const SIGNAL_REC_T* recs,
                      ObsFields* sats);
  // The navigation header (of the GLONASS file, where the version has one).
  std::string (*nav_header_text)(bool glonass_file);
  int crx_version;           // Compact RINEX 1.0 or 3.0
  bool nav_file_per_system;  // a navigation file per system, of GPS and of GLONASS only
  bool ion_sto_records;      // ionosphere and time offsets as records, not header lines
};

// The generation of a --rinex-version value (RINEX_ORIGINAL, RINEX_211, ...).
const RinexGeneration& Rinex_generation(int rinex_version);
// The generation of the run's --rinex-version.
const RinexGeneration& Rinex_run_generation();

#endif
