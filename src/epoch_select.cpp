// Epoch selection. The dispatcher asks for each complete epoch and event; the
// answer is taken on the epoch's GPS time as the file prints it. Flags of
// dropped epochs are held per constellation, satellite and frequency.
#include "epoch_select.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "const.h"
#include "obs.h"
#include "obs_codes.h"
#include "time_convert.h"

namespace {

// Receiver clock steering keeps epochs within a fraction of a millisecond of
// the whole second; one millisecond still tells 10 Hz epochs apart.
constexpr D64 kGridTolerance = 0.001;
constexpr U08 kLossOfLock = 1;
constexpr S16 kMaxSlots = MAX_TABLE_SV;  // the largest satellite table

bool Has_start, Has_end;
D64 Start, End, Interval;
bool Active;
U08 Held_lli[GNSS_NTYPE][kMaxSlots][2];
U08 Held_signal_lli[GNSS_NTYPE][kMaxSlots][SIGNALS_PER_SYSTEM];  // the standard writers' store
S32 Seen;
S32 Written;
D64 Last_written;
D64 Shortest_spacing;
bool Live;     // a live source: long gaps count as drops
bool Holding;  // flags are held for later observations

D64 epoch_seconds() {
  UTC_TIME_T t;
  Obs_get_utc_time(&t);
  return TCVT_calendar_to_gps_seconds(t);
}

bool in_window(D64 t) { return (!Has_start || t >= Start) && (!Has_end || t < End); }

bool on_grid(D64 t) {
  if (Interval <= 0) return true;
  D64 k = std::floor(t / Interval + 0.5);
  return std::fabs(t - k * Interval) <= kGridTolerance;
}

S16 frequencies() { return Obs_get_freq_mode() == FREQ_MODE_DUAL ? 2 : 1; }

// Losses of lock of a dropped epoch are held for the satellite's signal;
// only the satellites and signals measured in it are visited.
void hold_lli() {
  const S16 nf = frequencies();
  for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++) {
    S16 count = 0;
    const OBS_DATA_T* slots = Obs_slots(type, &count);
    for (S16 svid = 1; slots != nullptr && svid <= count && svid <= kMaxSlots; svid++)
      for (S16 f = 0; f < nf; f++)
        if (slots[svid - 1].valid[f])
          Held_lli[type][svid - 1][f] |= (U08)(slots[svid - 1].lli[f] & kLossOfLock);
    for (uint64_t sats = Obs_signal_satellites(type); sats != 0; sats &= sats - 1) {
      S16 svid = 1;
      while ((sats >> (svid - 1) & 1) == 0) svid++;
      U08 mask;
      const SIGNAL_OBS_T* row = Obs_signal_row(type, svid, &mask);
      for (int slot = 0; row != nullptr && slot < SIGNALS_PER_SYSTEM; slot++)
        if ((mask >> slot & 1) != 0)
          Held_signal_lli[type][svid - 1][slot] |= (U08)(row[slot].lli & kLossOfLock);
    }
  }
}

// Held losses of lock go to the satellite's signal in the written epoch that
// measures it; only satellites with something held are visited.
void release_lli() {
  const S16 nf = frequencies();
  for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++)
    for (S16 svid = 1; svid <= Obs_get_total_nsv(type) && svid <= kMaxSlots; svid++) {
      U08* held = Held_lli[type][svid - 1];
      for (S16 f = 0; f < nf; f++)
        if (held[f] != 0 && Obs_add_lli(type, svid, f, held[f])) held[f] = 0;
      U08* held_signal = Held_signal_lli[type][svid - 1];
      for (int slot = 0; slot < SIGNALS_PER_SYSTEM; slot++)
        if (held_signal[slot] != 0 && Obs_add_signal_lli(type, svid, slot, held_signal[slot]))
          held_signal[slot] = 0;
    }
}

}  // namespace

void Select_configure(const Settings& s) {
  Has_start = s.given[SET_START];
  Has_end = s.given[SET_END];
  Start = s.start;
  End = s.end;
  Interval = s.given[SET_INTERVAL] ? s.interval : 0;
  Active = Settings_selects_epochs(s);
}

void Select_start_run() {
  memset(Held_lli, 0, sizeof Held_lli);
  memset(Held_signal_lli, 0, sizeof Held_signal_lli);
  Seen = Written = 0;
  Holding = false;
  Last_written = Shortest_spacing = 0;
}

namespace {

// After a gap the phase of every signal starts anew: each signal's next
// observation carries a loss of lock.
void hold_gap() {
  for (auto& system : Held_lli)
    for (auto& sat : system)
      for (U08& f : sat) f |= kLossOfLock;
  for (auto& system : Held_signal_lli)
    for (auto& sat : system)
      for (U08& slot : sat) slot |= kLossOfLock;
  Holding = true;
}

}  // namespace

S16 Select_take_epoch() {
  D64 t = epoch_seconds();
  Seen++;
  // A live source: a gap of more than ten data intervals is a gap too.
  if (Live && Written > 0 && Shortest_spacing > 0 && t - Last_written > 10 * Shortest_spacing)
    hold_gap();
  if (Active && !(in_window(t) && on_grid(t))) {
    hold_lli();
    Holding = true;
    return 0;
  }
  if (Holding) release_lli();
  D64 spacing = t - Last_written;
  if (Written > 0 && spacing > 0 && (Shortest_spacing == 0 || spacing < Shortest_spacing))
    Shortest_spacing = spacing;
  Last_written = t;
  Written++;
  return 1;
}

void Select_mark_gap() { hold_gap(); }

void Select_set_live(bool live) { Live = live; }

S16 Select_take_event() { return (!Active || in_window(epoch_seconds())) ? 1 : 0; }

D64 Select_data_interval() { return Shortest_spacing; }

void Select_report() {
  if (!Active) return;
  printf("Epochs written with the selection: %ld of %ld\n", (long)Written, (long)Seen);
  if (Written == 0)
    puts("No epoch fell in the selection: the observation file holds its header only.");
}
