// Observation store. Measurement decoders write records and times in, the
// dispatcher asks whether an epoch is complete and clears it, the RINEX
// writers read slots, times and the position out. All storage is static.
#include "obs.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "const.h"
#include "obs_codes.h"

namespace {

constexpr S32 kSecondsPerWeek = 604800;
constexpr D64 kLargestPrintableCoordinate = 99999999.9999;  // metres

OBS_DATA_T Gps_obs_data_array[GPS_MAX_SV];
OBS_DATA_T Qzss_obs_data_array[QZSS_TABLE_SV];
OBS_DATA_T Sbas_obs_data_array[SBAS_TABLE_SV];
OBS_DATA_T Glo_obs_data_array[GLO_MAX_SLOT];
OBS_DATA_T Bd2_obs_data_array[BD2_TABLE_SV];
OBS_DATA_T Gal_obs_data_array[GAL_MAX_SV];

typedef struct {
  S16 has_slot;
  S16 k_num;
} SLOT_K_NUM_T;
SLOT_K_NUM_T Slot_k_num_table[GLO_MAX_SLOT];

S16 Meas_type;
S16 Meas_version;
S16 Issue_of_data_meas = -1;
S16 Issue_of_data_time = -1;
D64 Tow;
S32 Wn;
S16 Period;
S16 Is_tow_and_wn_update;
D64 Last_tow;
S32 Last_wn;
U08 Meas_indicator;
UTC_TIME_T Utc_time;
UTC_TIME_T Utc_time_start;
UTC_TIME_T Utc_time_end;
S16 Has_start_utc_time;
POS_T Rcv_pos;
S16 Freq_mode;
S32 Gps_wn;
D64 Gps_tow;

// Every signal apart, for the standard writers, which also take every
// satellite the receiver reports; the original writer keeps its own ranges.
constexpr int kMaxSats = MAX_TABLE_SV;  // the largest satellite table
bool Keep_signals;

struct Table {
  OBS_DATA_T* slots;
  S16 size;  // the satellites of the run's writer
};

Table table_of(S16 gnss_type) {
  const bool all = Keep_signals;
  switch (gnss_type) {
    case GNSS_TYPE_GPS: return {Gps_obs_data_array, GPS_MAX_SV};
    case GNSS_TYPE_QZSS: return {Qzss_obs_data_array, (S16)(all ? +QZSS_TABLE_SV : +QZSS_MAX_SV)};
    case GNSS_TYPE_SBAS: return {Sbas_obs_data_array, (S16)(all ? +SBAS_TABLE_SV : +SBAS_MAX_SV)};
    case GNSS_TYPE_GLO: return {Glo_obs_data_array, GLO_MAX_SLOT};
    case GNSS_TYPE_BD2: return {Bd2_obs_data_array, (S16)(all ? +BD2_TABLE_SV : +BD2_MAX_SV)};
    case GNSS_TYPE_GAL: return {Gal_obs_data_array, GAL_MAX_SV};
    default: return {nullptr, 0};
  }
}
S08 Place[GNSS_NTYPE][8];  // Codes_place by constellation and internal signal type
SIGNAL_OBS_T Signals[GNSS_NTYPE][kMaxSats][SIGNALS_PER_SYSTEM];
U08 Signal_mask[GNSS_NTYPE][kMaxSats];
uint64_t Signal_sats[GNSS_NTYPE];

bool signal_place(S16 gnss_type, S16 svid, int slot) {
  return gnss_type > GNSS_TYPE_NONE && gnss_type < GNSS_NTYPE && svid >= 1 &&
         svid <= table_of(gnss_type).size && slot >= 0 && slot < SIGNALS_PER_SYSTEM;
}

// A signal of a satellite within its constellation's table.
void keep_signal(S16 gnss_type, S16 svid, U08 signal_type, S16 cn0, U08 lli, D64 pr, D64 phase,
                 F32 doppler) {
  if (signal_type >= 8) return;
  int slot = Place[gnss_type][signal_type];
  if (slot < 0 || slot >= SIGNALS_PER_SYSTEM) return;
  Signals[gnss_type][svid - 1][slot] = SIGNAL_OBS_T{pr, phase, doppler, cn0, lli};
  Signal_mask[gnss_type][svid - 1] = (U08)(Signal_mask[gnss_type][svid - 1] | (1u << slot));
  Signal_sats[gnss_type] |= 1ULL << (svid - 1);
}

// Classifies an identifier of the original measurement message (0xDD numbering).
S16 classify_ori_svid(S16 svid) {
  if (svid >= 1 && svid <= 32) return GNSS_TYPE_GPS;
  if (svid >= 33 && svid <= 51) return GNSS_TYPE_SBAS;
  if (svid >= 65 && svid <= 88) return GNSS_TYPE_GLO;
  if (svid >= 193 && svid <= 197) return GNSS_TYPE_QZSS;
  if (svid >= 201 && svid <= 215) return GNSS_TYPE_BD2;
  return GNSS_TYPE_NONE;
}

// Turns an original identifier into the extended numbering (PRN for SBAS and
// QZSS, slot for GLONASS, BeiDou number); the constellation comes from the range.
void convert_ori_meas_svid_to_ext_meas_svid_and_gnss_type(S16 ori_svid, S16 ori_gnss_type,
                                                          S16* svid_p, S16* gnss_type_p) {
  (void)ori_gnss_type;
  S16 type = classify_ori_svid(ori_svid);
  S16 svid = ori_svid;
  if (type == GNSS_TYPE_SBAS) svid = (S16)(ori_svid + 87);
  if (type == GNSS_TYPE_GLO) svid = (S16)(ori_svid - 64);
  if (type == GNSS_TYPE_BD2) svid = (S16)(ori_svid - 200);
  *svid_p = svid;
  *gnss_type_p = type;
}

S16 convert_meas_svid_to_internal_svid(S16 gnss_type, S16 svid) {
  if (gnss_type == GNSS_TYPE_QZSS) return (S16)(svid - 192);
  if (gnss_type == GNSS_TYPE_SBAS) return (S16)(svid - 119);
  return svid;
}

OBS_DATA_PT get_obs_data_reference(S16 gnss_type, S16 svid) {
  Table t = table_of(gnss_type);
  // An unknown constellation has no table size to exceed: it is refused
  // silently unless its number is not positive.
  if (svid <= 0 || (t.slots != nullptr && svid > t.size)) {
    printf("Access invalid measurement array index! gn=%d %d\n", gnss_type, svid);
    return nullptr;
  }
  if (t.slots == nullptr) return nullptr;
  return &t.slots[svid - 1];
}

// 0 or 1 for the frequency index of a signal, -1 when it is not stored.
S16 convert_signal_type_to_freq_idx(S16 gnss_type, S16 signal_type) {
  switch (gnss_type) {
    case GNSS_TYPE_GPS:
      if (signal_type == GPS_SIGNAL_TYPE_L1CA) return 0;
      if (signal_type == GPS_SIGNAL_TYPE_L2C || signal_type == GPS_SIGNAL_TYPE_L5) return 1;
      return -1;
    case GNSS_TYPE_QZSS:
      if (signal_type == QZSS_SIGNAL_TYPE_L1CA) return 0;
      if (signal_type == QZSS_SIGNAL_TYPE_L2C) return 1;
      return -1;
    case GNSS_TYPE_SBAS: return signal_type == SBAS_SIGNAL_TYPE_L1CA ? 0 : -1;
    case GNSS_TYPE_GLO:
      if (signal_type == GLO_SIGNAL_TYPE_L1) return 0;
      if (signal_type == GLO_SIGNAL_TYPE_L2) return 1;
      return -1;
    case GNSS_TYPE_BD2:
      if (signal_type == BD2_SIGNAL_TYPE_B1I) return 0;
      if (signal_type == BD2_SIGNAL_TYPE_B2I) return 1;
      return -1;
    case GNSS_TYPE_GAL: return signal_type == GAL_SIGNAL_TYPE_E1 ? 0 : 1;
    default: return -1;
  }
}

void clear_valid(Table t) {
  for (S16 i = 0; i < t.size; i++) {
    t.slots[i].valid[0] = 0;
    t.slots[i].valid[1] = 0;
  }
}

// The slot when its signal freq holds a measurement of the current epoch.
OBS_DATA_T* valid_slot(S16 gnss_type, S16 svid, S16 freq) {
  Table t = table_of(gnss_type);
  if (t.slots == nullptr || svid <= 0 || svid > t.size || freq < 0 || freq > 1) return nullptr;
  OBS_DATA_T* slot = &t.slots[svid - 1];
  return slot->valid[freq] ? slot : nullptr;
}

}  // namespace

void Obs_init(S16 freq_mode) {
  // Every table and time from scratch, so that a run never sees what an
  // earlier run in the same process left behind.
  for (OBS_DATA_T& slot : Gps_obs_data_array) slot = OBS_DATA_T{};
  for (OBS_DATA_T& slot : Qzss_obs_data_array) slot = OBS_DATA_T{};
  for (OBS_DATA_T& slot : Sbas_obs_data_array) slot = OBS_DATA_T{};
  for (OBS_DATA_T& slot : Glo_obs_data_array) slot = OBS_DATA_T{};
  for (OBS_DATA_T& slot : Bd2_obs_data_array) slot = OBS_DATA_T{};
  for (OBS_DATA_T& slot : Gal_obs_data_array) slot = OBS_DATA_T{};
  for (auto& entry : Slot_k_num_table) entry = SLOT_K_NUM_T{};
  Last_tow = 0;
  Last_wn = 0;
  Utc_time = Utc_time_start = Utc_time_end = UTC_TIME_T{};
  Rcv_pos = POS_T{};
  memset(Signal_mask, 0, sizeof Signal_mask);
  memset(Signal_sats, 0, sizeof Signal_sats);
  Gps_wn = 0;
  Gps_tow = 0;
  Issue_of_data_time = -1;
  Tow = 0;
  Wn = 0;
  Period = 0;
  Is_tow_and_wn_update = 0;
  Has_start_utc_time = 0;
  Meas_indicator = 0;
  Freq_mode = freq_mode;
  Meas_type = OBS_TYPE_NONE;
  Meas_version = 0;
  Obs_reset_all_measurement();
}

void Obs_reset_all_measurement() {
  for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++) clear_valid(table_of(type));
  if (Keep_signals) {
    memset(Signal_mask, 0, sizeof Signal_mask);
    memset(Signal_sats, 0, sizeof Signal_sats);
  }
  Issue_of_data_meas = -1;
}

S16 Obs_get_freq_mode() { return Freq_mode; }

S16 Obs_set_and_check_meas_type(S16 meas_type) {
  if (Meas_type != OBS_TYPE_NONE && Meas_type != meas_type) return 0;
  Meas_type = meas_type;
  return 1;
}

void Obs_set_meas_version(S16 version) { Meas_version = version; }

void Obs_set_meas_indicator(U08 meas_indicator) { Meas_indicator = meas_indicator; }

void Obs_set_meas_time(U08 iod, S32 wn, D64 tow, U16 period) {
  if (Is_tow_and_wn_update) {
    Last_tow = Tow;
    Last_wn = Wn;
  } else {
    Last_tow = tow;
    Last_wn = wn;
    Is_tow_and_wn_update = 1;
  }
  Issue_of_data_time = iod;
  Tow = tow;
  Wn = wn;
  Period = (S16)period;
}

S16 Obs_is_sync_meas_msg_and_time_msg() {
  if (Meas_type != OBS_TYPE_ORIGINAL && Meas_type != OBS_TYPE_EXTENDED) return 0;
  return Issue_of_data_meas == Issue_of_data_time ? 1 : 0;
}

S16 Obs_is_meas_lost() {
  S16 delta_week = (S16)(Wn - Last_wn);
  D64 delta_t = (Tow - Last_tow) + (D64)delta_week * kSecondsPerWeek;
  D64 limit = (D64)((F32)Period / 1000.0f);
  if (delta_t > limit) {
    printf(">>Measurement lost. Last tow = %f, tow = %f, UTC: %02d/%02d_%02d:%02d:%2.2f\n\n",
           Last_tow, Tow, Utc_time.month, Utc_time.day, Utc_time.hour, Utc_time.minute,
           Utc_time.sec);
    return 1;
  }
  return 0;
}

void Obs_set_measurement(U08 iod, S16 svid, S16 k_num, S16 gnss_type, U08 signal_type, S16 cn0,
                         U08 lli, D64 pr, D64 carr_phase, F32 doppler, U08 pr_std,
                         U08 carr_phase_std, U08 doppler_std) {
  (void)pr_std;
  (void)carr_phase_std;
  (void)doppler_std;
  if (Meas_type == OBS_TYPE_ORIGINAL)
    convert_ori_meas_svid_to_ext_meas_svid_and_gnss_type(svid, gnss_type, &svid, &gnss_type);
  svid = convert_meas_svid_to_internal_svid(gnss_type, svid);

  if (Meas_type == OBS_TYPE_EXTENDED && gnss_type == GNSS_TYPE_GLO && svid >= 1 &&
      svid <= GLO_MAX_SLOT) {
    Slot_k_num_table[svid - 1].has_slot = 1;
    Slot_k_num_table[svid - 1].k_num = k_num;
  }
  Issue_of_data_meas = iod;
  if (Keep_signals) {  // the standard writers read the signals, not the slots
    Table t = table_of(gnss_type);
    if (svid <= 0 || (t.slots != nullptr && svid > t.size)) {
      printf("Access invalid measurement array index! gn=%d %d\n", gnss_type, svid);
      puts("get_obs_data_reference error");
      return;
    }
    if (t.slots == nullptr) {
      puts("get_obs_data_reference error");
      return;
    }
    keep_signal(gnss_type, svid, signal_type, cn0, lli, pr, carr_phase, doppler);
    return;
  }

  OBS_DATA_PT slot = get_obs_data_reference(gnss_type, svid);
  if (slot == nullptr) {
    puts("get_obs_data_reference error");
    return;
  }
  S16 i = convert_signal_type_to_freq_idx(gnss_type, signal_type);
  if (i < 0) return;
  slot->valid[i] = 1;
  slot->gnss_type = gnss_type;
  slot->svid = svid;
  slot->signal_type[i] = signal_type;
  slot->cn0[i] = cn0;
  slot->lli[i] = lli;
  slot->pr[i] = pr;
  slot->carr_phase[i] = carr_phase;
  slot->doppler[i] = doppler;
}

U08 Obs_get_lli(S16 gnss_type, S16 svid, S16 freq) {
  OBS_DATA_T* slot = valid_slot(gnss_type, svid, freq);
  return slot != nullptr ? slot->lli[freq] : 0;
}

S16 Obs_add_lli(S16 gnss_type, S16 svid, S16 freq, U08 lli) {
  OBS_DATA_T* slot = valid_slot(gnss_type, svid, freq);
  if (slot == nullptr) return 0;
  slot->lli[freq] = (U08)(slot->lli[freq] | lli);
  return 1;
}

S16 Obs_get_total_nsv(S16 gnss_type) { return table_of(gnss_type).size; }

const OBS_DATA_T* Obs_slots(S16 gnss_type, S16* count) {
  Table t = table_of(gnss_type);
  *count = t.size;
  return t.slots;
}

S16 Obs_convert_internal_svid_to_rinex_sat_number(S16 gnss_type, S16 svid) {
  return gnss_type == GNSS_TYPE_SBAS ? (S16)(svid + 19) : svid;
}

S16 Obs_original_constellation(S16 svid) { return classify_ori_svid(svid); }

S16 Obs_convert_svid_to_gnss_type(S16 svid, S16* gnss_type_p) {
  if (Meas_type != OBS_TYPE_ORIGINAL) return 0;
  *gnss_type_p = classify_ori_svid(svid);
  return 1;
}

S16 Obs_has_slot(S16 slot) {
  if (slot < 1 || slot > GLO_MAX_SLOT) return 0;
  return Slot_k_num_table[slot - 1].has_slot;
}

S16 Obs_get_k_num(S16 slot) {
  if (slot < 1 || slot > GLO_MAX_SLOT) return 0;
  return Slot_k_num_table[slot - 1].k_num;
}

void Obs_keep_signals(bool keep) {
  Keep_signals = keep;
  for (S16 type = 0; type < GNSS_NTYPE; type++)
    for (U08 signal = 0; signal < 8; signal++) Place[type][signal] = (S08)Codes_place(type, signal);
}

const SIGNAL_OBS_T* Obs_signal_row(S16 gnss_type, S16 svid, U08* mask) {
  // Within the arrays: what was stored passed the table's own range.
  bool inside =
      gnss_type > GNSS_TYPE_NONE && gnss_type < GNSS_NTYPE && svid >= 1 && svid <= kMaxSats;
  *mask = inside ? Signal_mask[gnss_type][svid - 1] : 0;
  return inside ? Signals[gnss_type][svid - 1] : nullptr;
}

bool Obs_signal_table(S16 gnss_type, const SIGNAL_OBS_T (**rows)[SIGNALS_PER_SYSTEM],
                      const U08** masks) {
  if (gnss_type <= GNSS_TYPE_NONE || gnss_type >= GNSS_NTYPE) return false;
  *rows = Signals[gnss_type];
  *masks = Signal_mask[gnss_type];
  return true;
}

uint64_t Obs_signal_satellites(S16 gnss_type) {
  return gnss_type > GNSS_TYPE_NONE && gnss_type < GNSS_NTYPE ? Signal_sats[gnss_type] : 0;
}

const SIGNAL_OBS_T* Obs_signal(S16 gnss_type, S16 svid, int slot) {
  if (!signal_place(gnss_type, svid, slot)) return nullptr;
  return (Signal_mask[gnss_type][svid - 1] >> slot) & 1 ? &Signals[gnss_type][svid - 1][slot]
                                                        : nullptr;
}

S16 Obs_add_signal_lli(S16 gnss_type, S16 svid, int slot, U08 lli) {
  if (Obs_signal(gnss_type, svid, slot) == nullptr) return 0;
  SIGNAL_OBS_T& s = Signals[gnss_type][svid - 1][slot];
  s.lli = (U08)(s.lli | lli);
  return 1;
}

void Obs_set_gps_time(S32 wn, D64 tow) {
  Gps_wn = wn;
  Gps_tow = tow;
}

void Obs_get_gps_time(S32* wn_p, D64* tow_p) {
  *wn_p = Gps_wn;
  *tow_p = Gps_tow;
}

void Obs_set_utc_time(UTC_TIME_T utc_time) { Utc_time = utc_time; }
void Obs_get_utc_time(UTC_TIME_T* utc_time_p) { *utc_time_p = Utc_time; }

void Obs_set_start_utc_time(UTC_TIME_T utc_time) {
  Utc_time_start = utc_time;
  Has_start_utc_time = 1;
}
S16 Obs_has_start_utc_time() { return Has_start_utc_time; }
void Obs_get_start_utc_time(UTC_TIME_T* utc_time_p) { *utc_time_p = Utc_time_start; }

void Obs_set_end_utc_time(UTC_TIME_T utc_time) { Utc_time_end = utc_time; }
void Obs_get_end_utc_time(UTC_TIME_T* utc_time_p) { *utc_time_p = Utc_time_end; }

// The header prints each coordinate in 14 columns with four decimals; a value
// that would not fit (no real position comes near it) is corrupt data, and
// storing it would make the final header longer than the provisional one.
static bool fits_position_field(D64 v) { return std::fabs(v) < kLargestPrintableCoordinate; }

void Obs_set_receiver_pos(POS_T pos) {
  if (fits_position_field(pos.px) && fits_position_field(pos.py) && fits_position_field(pos.pz))
    Rcv_pos = pos;
}
void Obs_get_receiver_pos(POS_T* pos_p) { *pos_p = Rcv_pos; }
