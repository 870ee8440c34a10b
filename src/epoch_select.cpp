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
constexpr S16 kMaxSlots = BD2_MAX_SV;  // the largest satellite table

bool Has_start, Has_end;
D64 Start, End, Interval;
bool Active;
U08 Held_lli[GNSS_NTYPE][kMaxSlots][2];
U08 Held_signal_lli[GNSS_NTYPE][kMaxSlots][SIGNALS_PER_SYSTEM];  // the standard writers' store
S32 Seen;
S32 Written;
D64 Last_written;
D64 Shortest_spacing;

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

void hold_lli() {
  for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++)
    for (S16 svid = 1; svid <= Obs_get_total_nsv(type); svid++) {
      for (S16 f = 0; f < frequencies(); f++)
        Held_lli[type][svid - 1][f] |= (U08)(Obs_get_lli(type, svid, f) & kLossOfLock);
      for (int slot = 0; slot < SIGNALS_PER_SYSTEM; slot++)
        Held_signal_lli[type][svid - 1][slot] |=
            (U08)(Obs_get_signal_lli(type, svid, slot) & kLossOfLock);
    }
}

void release_lli() {
  for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++)
    for (S16 svid = 1; svid <= Obs_get_total_nsv(type); svid++) {
      for (S16 f = 0; f < frequencies(); f++) {
        U08& held = Held_lli[type][svid - 1][f];
        if (held != 0 && Obs_add_lli(type, svid, f, held)) held = 0;
      }
      for (int slot = 0; slot < SIGNALS_PER_SYSTEM; slot++) {
        U08& held = Held_signal_lli[type][svid - 1][slot];
        if (held != 0 && Obs_add_signal_lli(type, svid, slot, held)) held = 0;
      }
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
  Last_written = Shortest_spacing = 0;
}

S16 Select_take_epoch() {
  D64 t = epoch_seconds();
  Seen++;
  if (Active && !(in_window(t) && on_grid(t))) {
    hold_lli();
    return 0;
  }
  if (Active) release_lli();
  D64 spacing = t - Last_written;
  if (Written > 0 && spacing > 0 && (Shortest_spacing == 0 || spacing < Shortest_spacing))
    Shortest_spacing = spacing;
  Last_written = t;
  Written++;
  return 1;
}

S16 Select_take_event() { return (!Active || in_window(epoch_seconds())) ? 1 : 0; }

D64 Select_data_interval() { return Shortest_spacing; }

void Select_report() {
  if (!Active) return;
  printf("Epochs written with the selection: %ld of %ld\n", (long)Written, (long)Seen);
  if (Written == 0)
    puts("No epoch fell in the selection: the observation file holds its header only.");
}
