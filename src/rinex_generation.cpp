// The table of writers by version: a new generation is a row here and units
// of its own, not a test of the version inside the writers.
#include "rinex_generation.h"

#include "rinex2_nav.h"
#include "rinex2_obs.h"
#include "rinex3_nav.h"
#include "rinex3_obs.h"
#include "rinex4_nav.h"
#include "rinex_config.h"
#include "rinex_nav.h"
#include "rinex_obs.h"
#include "settings.h"

namespace {

std::string original_obs_header(const UTC_TIME_T& start, const UTC_TIME_T& end, const ObsTimes&,
                                const ObsHeaderHints&, const TypePlan&) {
  return RINEX_obs_header_text(start, end);
}
std::string rinex2_obs_header(const UTC_TIME_T&, const UTC_TIME_T&, const ObsTimes& times,
                              const ObsHeaderHints& hints, const TypePlan& plan) {
  return Rinex2_obs_header_text(times, hints, plan);
}
std::string rinex3_obs_header(const UTC_TIME_T&, const UTC_TIME_T&, const ObsTimes& times,
                              const ObsHeaderHints& hints, const TypePlan& plan) {
  return Rinex3_obs_header_text(times, hints, plan);
}
std::string original_nav_header(bool) { return RINEX_nav_header_text(); }
std::string rinex3_nav_header(bool) { return Rinex3_nav_header_text(); }
std::string rinex4_nav_header(bool) { return Rinex4_nav_header_text(); }

const RinexGeneration kOriginal = {
    original_obs_header, nullptr, original_nav_header, 3, false, false};
const RinexGeneration kRinex2 = {
    rinex2_obs_header, Rinex2_epoch_fields, Rinex2_nav_header_text, 1, true, false};
const RinexGeneration kRinex3 = {
    rinex3_obs_header, Rinex3_epoch_fields, rinex3_nav_header, 3, false, false};
const RinexGeneration kRinex4 = {
    rinex3_obs_header, Rinex3_epoch_fields, rinex4_nav_header, 3, false, true};

}  // namespace

const RinexGeneration& Rinex_generation(int rinex_version) {
  if (rinex_version == RINEX_ORIGINAL) return kOriginal;
  if (rinex_version == RINEX_211) return kRinex2;
  return rinex_version >= RINEX_400 ? kRinex4 : kRinex3;
}

const RinexGeneration& Rinex_run_generation() {
  return Rinex_generation(RINEX_settings().rinex_version);
}
