// Observation files of RINEX 2.11 from the standard writer: one list of
// two-character types for GPS, GLONASS, Galileo and SBAS, epoch lines of 12
// satellites with continuation lines, records of five fields a line; as
// RINEX text or as Compact RINEX 1.0.
#ifndef VLN_RINEX2_OBS_H
#define VLN_RINEX2_OBS_H

#include <string>

#include "obs_codes.h"
#include "obs_fields.h"
#include "output_items.h"
#include "std_obs.h"

// The whole header text (Compact RINEX 1.0 header with --crx).
std::string Rinex2_obs_header_text(const ObsTimes& times, const ObsHeaderHints& hints,
                                   const TypePlan& plan);
// The satellite lines of an epoch item, four types a band of the one list
// (blank for a band the satellite's system lacks); returns their count. On
// the writer thread.
int Rinex2_epoch_fields(const TypePlan& plan, const SIGNAL_EPOCH_T& e, const SIGNAL_REC_T* recs,
                        ObsFields* sats);

#endif
