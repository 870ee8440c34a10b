// Observation files of RINEX 2.11 from the standard writer: one list of
// two-character types for GPS, GLONASS, Galileo and SBAS, epoch lines of 12
// satellites with continuation lines, records of five fields a line; as
// RINEX text or as Compact RINEX 1.0.
#ifndef VLN_RINEX2_OBS_H
#define VLN_RINEX2_OBS_H

#include <string>

#include "output_items.h"
#include "std_obs.h"

// The whole header text (Compact RINEX 1.0 header with --crx).
std::string Rinex2_obs_header_text(const ObsTimes& times);
// The text of an epoch or event item; on the writer thread.
void Rinex2_format_epoch(const SIGNAL_EPOCH_T& e, const SIGNAL_REC_T* recs, std::string* out);

#endif
