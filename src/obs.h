// Observation store: the measurements of the epoch being assembled, one slot
// per satellite in a fixed table per constellation, the measurement times,
// first and last epoch times, the receiver position, the GLONASS frequency
// channel numbers learnt from measurements, and the satellite numbering.
#ifndef VLN_OBS_H
#define VLN_OBS_H

#include "data_type.h"
#include "obs_codes.h"

// Measurement message kind accepted for a run.
enum { OBS_TYPE_NONE = 0, OBS_TYPE_ORIGINAL = 1, OBS_TYPE_EXTENDED = 2 };

// One satellite slot; index 0 is the first frequency, index 1 the second.
typedef struct {
  U08 valid[2];
  S16 svid;
  S16 gnss_type;
  S16 cn0[2];
  U08 lli[2];
  U08 signal_type[2];
  D64 carr_phase[2];
  D64 pr[2];
  F32 doppler[2];
} OBS_DATA_T;
typedef OBS_DATA_T* OBS_DATA_PT;

// One signal of a satellite in the current epoch, for the standard writers,
// which keep every signal apart.
typedef struct {
  D64 pr;
  D64 carr_phase;
  F32 doppler;
  S16 cn0;
  U08 lli;
} SIGNAL_OBS_T;

// Sets the store to its initial state (every table and time cleared) for a
// run in the given frequency mode.
void Obs_init(S16 freq_mode);
// Empties every slot for the next epoch (keeps times, position and GLONASS k).
void Obs_reset_all_measurement();
// The frequency mode of the run.
S16 Obs_get_freq_mode();
// Fixes the measurement kind of the run at its first message; 0 for the other kind.
S16 Obs_set_and_check_meas_type(S16 meas_type);
void Obs_set_meas_version(S16 version);
void Obs_set_meas_indicator(U08 meas_indicator);
// Stores a measurement time and its issue of data; the previous one becomes the last.
void Obs_set_meas_time(U08 iod, S32 wn, D64 tow, U16 period);
// 1 when a stored measurement and the last measurement time share their issue of data.
S16 Obs_is_sync_meas_msg_and_time_msg();
// Prints the measurement-lost line and returns 1 when the last two times are a gap apart.
S16 Obs_is_meas_lost();
// Stores one measurement record under the internal satellite numbering.
void Obs_set_measurement(U08 iod, S16 svid, S16 k_num, S16 gnss_type, U08 signal_type, S16 cn0,
                         U08 lli, D64 pr, D64 carr_phase, F32 doppler, U08 pr_std,
                         U08 carr_phase_std, U08 doppler_std);
// The constellation's slots (count of them, satellites 1..count) as they
// stand, for reading an epoch without a call per satellite; nullptr for none.
const OBS_DATA_T* Obs_slots(S16 gnss_type, S16* count);
// The loss-of-lock indicator of a satellite's signal (freq 0 or 1) in the
// current epoch; 0 when that signal has no measurement.
U08 Obs_get_lli(S16 gnss_type, S16 svid, S16 freq);
// Adds indicator bits to the signal's measurement; 1 when it has one this epoch, else 0.
S16 Obs_add_lli(S16 gnss_type, S16 svid, S16 freq, U08 lli);
// Table size of the constellation.
S16 Obs_get_total_nsv(S16 gnss_type);
S16 Obs_convert_internal_svid_to_rinex_sat_number(S16 gnss_type, S16 svid);
// The constellation of an identifier of the original measurement message.
S16 Obs_original_constellation(S16 svid);
// Classifies an identifier of the original measurement message; 0 for the extended kind.
S16 Obs_convert_svid_to_gnss_type(S16 svid, S16* gnss_type_p);
// GLONASS frequency channel number learnt from the extended measurements (slot 1-24).
S16 Obs_has_slot(S16 slot);
S16 Obs_get_k_num(S16 slot);
// The standard writers' store: with it on, every record is also kept by
// signal (its place among the constellation's signals, Codes_slot).
void Obs_keep_signals(bool keep);
// The satellites of a constellation with a signal in the current epoch: bit
// svid - 1.
uint64_t Obs_signal_satellites(S16 gnss_type);
const SIGNAL_OBS_T* Obs_signal(S16 gnss_type, S16 svid, int slot);
// The satellite's signals by place and, in mask, those measured in the
// current epoch (a bit per place); nullptr (mask 0) for no such satellite.
const SIGNAL_OBS_T* Obs_signal_row(S16 gnss_type, S16 svid, U08* mask);
// A constellation's rows of signals and their masks, satellite svid at svid - 1
// (for an epoch's satellites, read once per constellation); false for none.
bool Obs_signal_table(S16 gnss_type, const SIGNAL_OBS_T (**rows)[SIGNALS_PER_SYSTEM],
                      const U08** masks);
// Adds loss-of-lock indicator bits to one signal of the current epoch (1
// when it was measured).
S16 Obs_add_signal_lli(S16 gnss_type, S16 svid, int slot, U08 lli);
// The GPS week and seconds of week the store's current time came from.
void Obs_set_gps_time(S32 wn, D64 tow);
void Obs_get_gps_time(S32* wn_p, D64* tow_p);
void Obs_set_utc_time(UTC_TIME_T utc_time);
void Obs_get_utc_time(UTC_TIME_T* utc_time_p);
void Obs_set_start_utc_time(UTC_TIME_T utc_time);
S16 Obs_has_start_utc_time();
void Obs_get_start_utc_time(UTC_TIME_T* utc_time_p);
void Obs_set_end_utc_time(UTC_TIME_T utc_time);
void Obs_get_end_utc_time(UTC_TIME_T* utc_time_p);
void Obs_set_receiver_pos(POS_T pos);
void Obs_get_receiver_pos(POS_T* pos_p);

#endif
