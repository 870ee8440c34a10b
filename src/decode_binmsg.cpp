// Message dispatch and the measurement decoders. A checked payload comes in
// with its length; its decoder fills the observation store, the counters
// grow, and a completed epoch, event or ephemeris is written at once.
#include "decode_binmsg.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "const.h"
#include "epoch_select.h"
#include "obs.h"
#include "rinex_config.h"
#include "rinex_files.h"
#include "rinex_nav.h"
#include "rinex_obs.h"
#include "signal_epoch.h"
#include "std_nav.h"
#include "time_convert.h"

namespace {

constexpr U08 kFirstId = 0xDC;
constexpr U08 kLastId = 0xE9;
U32 Msg_cnt[kLastId - kFirstId + 1];

constexpr U16 kNavStateLen = 81;
constexpr U16 kTimeStampLen = 12;
constexpr U08 kNavStateWithPosition = 2;  // states above this carry a position
constexpr U08 kLossOfLock = 0x08;
constexpr U16 kHalfCycleSlipFlag = 0x0020;
constexpr D64 kPhaseHalfRange = 1000000000.0;
constexpr D64 kPhaseRange = 2000000000.0;
constexpr S16 kNoAlmanacK = -9;

// Big-endian fields of the payload.
U16 be16(const U08* p) { return (U16)((p[0] << 8) | p[1]); }
U32 be32(const U08* p) { return ((U32)p[0] << 24) | ((U32)p[1] << 16) | ((U32)p[2] << 8) | p[3]; }
F32 be_f32(const U08* p) {
  U32 v = be32(p);
  F32 f;
  memcpy(&f, &v, sizeof f);
  return f;
}
D64 be_f64(const U08* p) {
  uint64_t v = ((uint64_t)be32(p) << 32) | be32(p + 4);
  D64 d;
  memcpy(&d, &v, sizeof d);
  return d;
}

// Brings an accumulated phase into [-1e9, 1e9) cycles.
D64 wrap_carrier_phase(D64 c) {
  return c - kPhaseRange * floor((c + kPhaseHalfRange) / kPhaseRange);
}

S16 convert_to_internal_gnss_type(S16 meas_gnss_type) {
  static const S16 kTypes[] = {GNSS_TYPE_GPS, GNSS_TYPE_SBAS, GNSS_TYPE_GLO,
                               GNSS_TYPE_GAL, GNSS_TYPE_QZSS, GNSS_TYPE_BD2};
  if (meas_gnss_type < 0 || meas_gnss_type > 5) return GNSS_TYPE_NONE;
  return kTypes[meas_gnss_type];
}

S16 convert_to_internal_signal_type(S16 gnss_type, S16 signal_type) {
  switch (gnss_type) {
    case GNSS_TYPE_GPS:
      if (signal_type == 1) return GPS_SIGNAL_TYPE_L1C;
      if (signal_type == 2) return GPS_SIGNAL_TYPE_L2C;
      if (signal_type == 4) return GPS_SIGNAL_TYPE_L5;
      return GPS_SIGNAL_TYPE_L1CA;
    case GNSS_TYPE_SBAS: return SBAS_SIGNAL_TYPE_L1CA;
    case GNSS_TYPE_GLO:
      if (signal_type == 2) return GLO_SIGNAL_TYPE_L2;
      if (signal_type == 4) return GLO_SIGNAL_TYPE_L3;
      return GLO_SIGNAL_TYPE_L1;
    case GNSS_TYPE_GAL:
      if (signal_type == 4) return GAL_SIGNAL_TYPE_E5A;
      if (signal_type == 5) return GAL_SIGNAL_TYPE_E5B;
      if (signal_type == 6) return GAL_SIGNAL_TYPE_E6;
      return GAL_SIGNAL_TYPE_E1;
    case GNSS_TYPE_QZSS:
      if (signal_type == 1) return QZSS_SIGNAL_TYPE_L1C;
      if (signal_type == 2) return QZSS_SIGNAL_TYPE_L2C;
      if (signal_type == 4) return QZSS_SIGNAL_TYPE_L5;
      if (signal_type == 6) return QZSS_SIGNAL_TYPE_LEX;
      return QZSS_SIGNAL_TYPE_L1CA;
    case GNSS_TYPE_BD2:
      if (signal_type == 1) return BD2_SIGNAL_TYPE_B1C;
      if (signal_type == 4) return BD2_SIGNAL_TYPE_B2A;
      if (signal_type == 5) return BD2_SIGNAL_TYPE_B2I;
      if (signal_type == 7) return BD2_SIGNAL_TYPE_B3I;
      return BD2_SIGNAL_TYPE_B1I;
    default: return 0;
  }
}

void store_gps_time(U16 wn, D64 tow) {
  Obs_set_gps_time(wn, tow);
  UTC_TIME_T utc;
  TCVT_convert_gps_to_utc_time_by_default_parameters((S16)wn, tow, 0, &utc);
  Obs_set_utc_time(utc);
}

// 0xDC: measurement epoch time.
void extract_meas_time_msg(const U08* buf, U16 len) {
  if (len < kMeasTimeLen) return;
  U08 iod = buf[1];
  U16 wn = be16(buf + 2);
  D64 tow = be32(buf + 4) / 1000.0;
  U16 period = be16(buf + 8);
  Obs_set_meas_time(iod, wn, tow, period);
  store_gps_time(wn, tow);
}

// 0xDD: raw measurements of the original kind; only whole records inside the payload are read.
bool extract_meas_msg(const U08* buf, U16 len) {
  if (len < kMeasHeaderLen) return false;
  U08 iod = buf[1];
  int nsv = buf[2];
  int fit = (len - kMeasHeaderLen) / kMeasRecordLen;
  if (nsv > fit) nsv = fit;
  for (int i = 0; i < nsv; i++) {
    const U08* r = buf + kMeasHeaderLen + i * kMeasRecordLen;
    S16 svid = r[0];
    S16 type = GNSS_TYPE_NONE;
    if (!Obs_convert_svid_to_gnss_type(svid, &type)) type = GNSS_TYPE_NONE;
    if (!RINEX_is_able_to_output_measurement(type)) continue;
    D64 phase = wrap_carrier_phase(be_f64(r + 10));
    U08 lli = (r[22] & kLossOfLock) ? 1 : 0;
    Obs_set_measurement(iod, svid, 0, type, 0, r[1], lli, be_f64(r + 2), phase, be_f32(r + 18), 0,
                        0, 0);
  }
  return true;
}

// 0xDF: receiver navigation state; a position is kept only from a fix.
void extract_rcvr_nav_state_msg(const U08* buf, U16 len) {
  if (len < kNavStateLen) return;
  if (buf[2] <= kNavStateWithPosition) return;
  POS_T pos = {be_f64(buf + 13), be_f64(buf + 21), be_f64(buf + 29)};
  Obs_set_receiver_pos(pos);
}

// 0xE5: extended raw measurements, which carry their own epoch time.
bool extract_extended_meas_msg(const U08* buf, U16 len) {
  if (len < kExtMeasHeaderLen) return false;
  U08 iod = buf[2];
  U16 wn = be16(buf + 3);
  D64 tow = be32(buf + 5) / 1000.0;
  Obs_set_meas_version(buf[1]);
  Obs_set_meas_time(iod, wn, tow, be16(buf + 9));
  store_gps_time(wn, tow);
  Obs_set_meas_indicator(buf[11]);
  int nmeas = buf[13];
  int fit = (len - kExtMeasHeaderLen) / kExtMeasRecordLen;
  if (nmeas > fit) nmeas = fit;
  for (int i = 0; i < nmeas; i++) {
    const U08* r = buf + kExtMeasHeaderLen + i * kExtMeasRecordLen;
    S16 type;
    U08 signal;
    Decode_extended_signal(r[0], &type, &signal);
    S16 k = (S16)((r[2] & 0x0F) - 7);
    U16 ch_indicator = be16(r + 27);
    U08 lli = (U08)(((ch_indicator & kLossOfLock) ? 1 : 0) +
                    ((ch_indicator & kHalfCycleSlipFlag) ? 2 : 0));
    D64 phase = wrap_carrier_phase(be_f64(r + 12));
    Obs_set_measurement(iod, r[1], k, type, (U08)signal, r[3], lli, be_f64(r + 4), phase,
                        be_f32(r + 20), r[24], r[25], r[26]);
  }
  return true;
}

// 0xE9: event time stamp.
bool extract_time_stamp_msg(const U08* buf, U16 len) {
  if (len < kTimeStampLen) return false;
  store_gps_time(be16(buf + 2), be_f64(buf + 4));
  return true;
}

bool standard() { return RINEX_settings().rinex_version != RINEX_ORIGINAL; }

void complete_epoch(FileSet& files) {
  if (!Select_take_epoch()) {
    Obs_is_meas_lost();
    Obs_reset_all_measurement();
    return;
  }
  UTC_TIME_T utc;
  Obs_get_utc_time(&utc);
  if (!Obs_has_start_utc_time()) Obs_set_start_utc_time(utc);
  Obs_set_end_utc_time(utc);
  if (files.route_epoch(true)) {
    if (standard())
      files.signals().put_epoch(files.stage());
    else
      RINEX_put_obs_body(files.stage());
    files.epoch_written();
  }
  Obs_is_meas_lost();
  Obs_reset_all_measurement();
}

void put_nav_record(FileSet& files, S16 gnss_type, S16 svid) {
  if (standard()) {
    S08 k = 0;
    if (gnss_type == GNSS_TYPE_GLO) {
      k = (S08)(Obs_has_slot(svid) ? Obs_get_k_num(svid) : Decode_get_almanac_k_num(svid));
      if (!Obs_has_slot(svid) && k == kNoAlmanacK) return;
    }
    if (!Std_nav_record(files.stage(), gnss_type, svid, k)) files.note_nav_left_out(gnss_type);
    return;
  }
  switch (gnss_type) {
    case GNSS_TYPE_GPS:
    case GNSS_TYPE_QZSS: RINEX_put_nav_body(files.stage(), (U08)svid, (U08)gnss_type); break;
    case GNSS_TYPE_GLO: {
      // The frequency number measured on the slot wins over the almanac's.
      S16 k = Obs_has_slot(svid) ? Obs_get_k_num(svid) : Decode_get_almanac_k_num(svid);
      if (!Obs_has_slot(svid) && k == kNoAlmanacK) break;
      RINEX_put_glonav_body(files.stage(), (U08)svid, (S08)k);
      break;
    }
    case GNSS_TYPE_BD2: RINEX_put_bd2nav_body(files.stage(), (U08)svid); break;
    case GNSS_TYPE_GAL: RINEX_put_gal_nav_body(files.stage(), (U08)svid); break;
    default: break;
  }
}

}  // namespace

void Decode_extended_signal(U08 first_byte, S16* gnss_type, U08* signal_type) {
  *gnss_type = convert_to_internal_gnss_type(first_byte & 0x0F);
  *signal_type = (U08)convert_to_internal_signal_type(*gnss_type, first_byte >> 4);
}

void Decode_init() {
  memset(Msg_cnt, 0, sizeof Msg_cnt);
  Decode_init_glonass_almanac();
}

S16 Decode_binary_message_process(U08 msg_id, U08* buf, U16 len, FileSet& files) {
  S16 enable_put_nav_body = 0;
  S16 nav_gnss_type = GNSS_TYPE_NONE;
  S16 nav_svid_or_slot = -1;
  bool enable_put_obs_body = false;
  bool enable_put_obs_timestamp = false;

  switch (msg_id) {
    case 0xDC: extract_meas_time_msg(buf, len); break;
    case 0xDD:
      if (Obs_set_and_check_meas_type(OBS_TYPE_ORIGINAL))
        enable_put_obs_body = extract_meas_msg(buf, len);
      break;
    case 0xDE: break;  // satellite and channel status: nothing of it is kept
    case 0xDF: extract_rcvr_nav_state_msg(buf, len); break;
    case 0xE0:
      extract_gps_subframe_msg(buf, len, &enable_put_nav_body, &nav_gnss_type, &nav_svid_or_slot);
      break;
    case 0xE1:
      extract_glonass_string_msg(buf, len, &enable_put_nav_body, &nav_gnss_type, &nav_svid_or_slot);
      break;
    case 0xE2:
      extract_bd2_d1_subframe_msg(buf, len, &enable_put_nav_body, &nav_gnss_type,
                                  &nav_svid_or_slot);
      break;
    case 0xE3:
      extract_bd2_d2_subframe_msg(buf, len, &enable_put_nav_body, &nav_gnss_type,
                                  &nav_svid_or_slot);
      break;
    case 0xE5:
      if (Obs_set_and_check_meas_type(OBS_TYPE_EXTENDED))
        enable_put_obs_body = extract_extended_meas_msg(buf, len);
      break;
    case 0xE6:
      if (len < 3) break;
      if ((buf[2] & 0x0F) == 1) {
        // SBAS data is decoded into its own table; no navigation record follows.
        enable_put_nav_body = extract_sbas_subframe_msg(buf, len, &nav_svid_or_slot);
      } else if ((buf[2] & 0x0F) == 3) {
        extract_gal_subframe_msg(buf, len, &enable_put_nav_body, &nav_svid_or_slot);
        nav_gnss_type = GNSS_TYPE_GAL;
      }
      break;
    case 0xE9: enable_put_obs_timestamp = extract_time_stamp_msg(buf, len); break;
    default: break;  // 0xE4, 0xE7, 0xE8 are counted only; other IDs not even that
  }
  if (msg_id >= kFirstId && msg_id <= kLastId) Msg_cnt[msg_id - kFirstId]++;

  if (enable_put_obs_timestamp && Select_take_event()) {
    if (standard())
      files.hold_event();
    else if (files.route_epoch(false))
      RINEX_put_obs_timestamp(files.stage());
  }
  if (enable_put_obs_body && Obs_is_sync_meas_msg_and_time_msg()) complete_epoch(files);
  if (enable_put_nav_body) put_nav_record(files, nav_gnss_type, nav_svid_or_slot);
  if (standard() && msg_id >= 0xE0 && msg_id <= 0xE6)
    Std_nav_message(files.stage(), msg_id, buf, len);
  return 1;
}

S32 Decode_get_number_of_epoch() {
  U32 dc = Msg_cnt[0xDC - kFirstId];
  return (S32)(dc != 0 ? dc : Msg_cnt[0xE5 - kFirstId]);
}

void Decode_show_decoded_msg_number() {
  for (int first = kFirstId; first <= kLastId; first += 7) {
    char line[128];
    int n = 0;
    for (int id = first; id < first + 7; id++)
      n += snprintf(line + n, sizeof line - (size_t)n, " 0x%02x=%7lu", id,
                    (unsigned long)Msg_cnt[id - kFirstId]);
    printf("Msg cnt:%s\n", line);
  }
}
