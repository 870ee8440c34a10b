// Signal-level epochs from the observation store. Only the signals the plan
// lists are taken; a satellite appears when at least one of them was measured
// in this epoch, and a signal not measured is simply absent, so the writers
// leave its fields blank.
#include "signal_epoch.h"

#include <cstring>

#include "const.h"
#include "obs.h"
#include "output_items.h"
#include "output_stage.h"
#include "rinex_format.h"

namespace {

const S16 kSystemOrder[] = {GNSS_TYPE_GPS, GNSS_TYPE_GLO,  GNSS_TYPE_GAL,
                            GNSS_TYPE_BD2, GNSS_TYPE_QZSS, GNSS_TYPE_SBAS};

// The record's four values as thousandths. The receiver sends 0 for a phase
// or a Doppler it did not measure: no field, as RINEX leaves a value that is
// not there. C/N0 is a whole number: its thousandths need no conversion.
// Counts the values that no field holds into unwritable.
void set_values(const SIGNAL_OBS_T& s, SIGNAL_REC_T* r, long* unwritable) {
  r->present = r->negative = 0;
  const D64 v[3] = {s.pr, s.carr_phase, (D64)s.doppler};
  for (int k = 0; k < 3; k++) {
    if (k > 0 && v[k] == 0) continue;
    bool negative;
    if (!RINEX_f14_3_magnitude(v[k], &r->field[k], &negative)) {
      (*unwritable)++;
      continue;
    }
    r->present = (U08)(r->present | 1 << k);
    r->negative = (U08)(r->negative | (negative ? 1 << k : 0));
  }
  // C/N0 comes from the message as an unsigned byte: whole dB-Hz, never negative.
  r->field[3] = (uint64_t)(s.cn0 & 0xFF) * 1000;
  r->present = (U08)(r->present | 1 << 3);
}

SIGNAL_EPOCH_T epoch_head(S16 flag) {
  SIGNAL_EPOCH_T e = {};
  Obs_get_gps_time(&e.week, &e.tow);
  e.flag = flag;
  return e;
}

}  // namespace

void SignalEpochs::set_plan(const TypePlan& plan) {
  plan_ = plan;
  for (S16 type = 0; type < GNSS_NTYPE; type++) {
    Listed& l = listed_[type];
    l.count = 0;
    for (int id : plan.signals[type])
      if (l.count < SIGNALS_PER_SYSTEM)
        l.id[l.count] = (U08)id, l.slot[l.count++] = (U08)Codes_slot(id);
  }
}
const S16* Signal_system_order() { return kSystemOrder; }
int Signal_system_count() { return (int)(sizeof kSystemOrder / sizeof kSystemOrder[0]); }

void SignalEpochs::put_epoch(OutputStage& stage) {
  SIGNAL_EPOCH_T e = epoch_head(0);
  U08* item = stage.reserve(ITEM_SIGNAL_EPOCH, sizeof e + MAX_EPOCH_SIGNALS * sizeof(SIGNAL_REC_T));
  SIGNAL_REC_T* recs = reinterpret_cast<SIGNAL_REC_T*>(item + sizeof e);
  for (S16 type : kSystemOrder) {
    const Listed& listed = listed_[type];
    if (listed.count == 0) continue;
    char letter = Codes_letter(type);
    const SIGNAL_OBS_T(*rows)[SIGNALS_PER_SYSTEM];
    const U08* masks;
    if (!Obs_signal_table(type, &rows, &masks)) continue;
    for (uint64_t sats = Obs_signal_satellites(type); sats != 0; sats &= sats - 1) {
      S16 svid = (S16)(__builtin_ctzll(sats) + 1);
      U08 mask = masks[svid - 1];
      U08 sat = (U08)Obs_convert_internal_svid_to_rinex_sat_number(type, svid);
      for (int i = 0; i < listed.count; i++) {
        if (!((mask >> listed.slot[i]) & 1) || e.nsig >= MAX_EPOCH_SIGNALS) continue;
        const SIGNAL_OBS_T* s = &rows[svid - 1][listed.slot[i]];
        SIGNAL_REC_T& r = recs[e.nsig++];
        r.letter = letter;
        r.gnss_type = (U08)type;
        r.sat = sat;
        r.signal = listed.id[i];
        r.lli = s->lli;
        set_values(*s, &r, &unwritable_);
      }
    }
  }
  memcpy(item, &e, sizeof e);
  stage.commit((U32)(sizeof e + (size_t)e.nsig * sizeof(SIGNAL_REC_T)));
}

void SignalEpochs::put_event(OutputStage& stage, S32 week, D64 tow) {
  SIGNAL_EPOCH_T e = epoch_head(5);
  e.week = week;
  e.tow = tow;
  U08* item = stage.reserve(ITEM_SIGNAL_EPOCH, sizeof e);
  memcpy(item, &e, sizeof e);
  stage.commit((U32)sizeof e);
}
