// Observation files of RINEX 3.02 to 3.05 and 4.00 from the standard writer:
// the header each version defines (the plan's types per system, phase shifts
// and GLONASS records where the version has them, the slots whose channel is
// known) and the epochs of signal-level items, every signal under its own
// code and a signal not measured in an epoch left blank; as RINEX lines or as
// Compact RINEX 3.0.
#ifndef VLN_RINEX3_OBS_H
#define VLN_RINEX3_OBS_H

#include <string>

#include "obs_codes.h"
#include "obs_fields.h"
#include "output_items.h"
#include "std_obs.h"

// The whole header text (Compact RINEX header with --crx).
std::string Rinex3_obs_header_text(const ObsTimes& times, const ObsHeaderHints& hints,
                                   const TypePlan& plan);
// The satellite lines of an epoch item, every type of the satellite's system
// in header order; returns their count. On the writer thread.
int Rinex3_epoch_fields(const TypePlan& plan, const SIGNAL_EPOCH_T& e, const SIGNAL_REC_T* recs,
                        ObsFields* sats);

#endif
