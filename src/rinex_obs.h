// The observation file: its header text (provisional before the pass over the
// log, final after it), the epochs and event lines of the store handed to the
// writer thread as items, and their formatting there as RINEX lines or as
// Compact RINEX.
#ifndef VLN_RINEX_OBS_H
#define VLN_RINEX_OBS_H

#include <string>

#include "crx_encode.h"
#include "data_type.h"
#include "output_items.h"
#include "output_stage.h"

// The whole observation header text (Compact RINEX header with --crx).
std::string RINEX_obs_header_text(const UTC_TIME_T& start, const UTC_TIME_T& end);
// Hands the store's current epoch to the writer: the epoch line and one record per satellite.
void RINEX_put_obs_body(OutputStage& stage);
// Hands an event line for the time the store holds.
void RINEX_put_obs_timestamp(OutputStage& stage);
// The epoch text (plain, or compact through the file's encoder) of an epoch
// record; on the writer thread.
void RINEX_format_epoch(const EPOCH_REC_T& e, const SAT_REC_T* sats, CrxEncoder* crx,
                        std::string* out);

#endif
