// The table of observation writers by version: a new generation is a row here
// and a unit of its own, not a test of the version inside the writers.
#include "obs_generation.h"

#include "rinex2_obs.h"
#include "rinex3_obs.h"
#include "rinex_obs.h"
#include "settings.h"

namespace {

const ObsGeneration kOriginal = {[](const UTC_TIME_T& start, const UTC_TIME_T& end,
                                    const ObsTimes&) { return RINEX_obs_header_text(start, end); },
                                 nullptr, 3};
const ObsGeneration kRinex2 = {[](const UTC_TIME_T&, const UTC_TIME_T&, const ObsTimes& times) {
                                 return Rinex2_obs_header_text(times);
                               },
                               Rinex2_epoch_fields, 1};
const ObsGeneration kRinex3 = {[](const UTC_TIME_T&, const UTC_TIME_T&, const ObsTimes& times) {
                                 return Rinex3_obs_header_text(times);
                               },
                               Rinex3_epoch_fields, 3};

}  // namespace

const ObsGeneration& Obs_generation(int rinex_version) {
  switch (rinex_version) {
    case RINEX_ORIGINAL: return kOriginal;
    case RINEX_211: return kRinex2;
    default: return kRinex3;
  }
}
