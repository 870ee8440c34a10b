// Change detection on the parameter store, and the transmission time of each
// navigation message. Each set's values are kept as last seen and compared
// after every navigation message (the store also counts how often each set
// was written, which tells a set the log never taught from one that stayed at
// its start value). A message's time of week comes from its own words; its
// week from the message where it carries one, else from the latest full week
// the log has told (a measurement epoch, or a message with its week), so that
// words that arrive before the first measurement are dated right; a set whose
// week is not known yet is dated once it is.
#include "nav_params.h"

#include <cstring>

#include "const.h"
#include "ephemeris.h"
#include "obs.h"
#include "time_convert.h"

namespace {

constexpr S32 kSecondsPerWeek = 604800;
constexpr S32 kHalfWeek = kSecondsPerWeek / 2;
constexpr S32 kGalileoWeekZero = 1024;    // GST week 0 is GPS week 1024
constexpr S32 kBdsWeekZero = 1356;        // BDT week 0 is GPS week 1356
constexpr D64 kBdsBehindGps = 14;         // BDT = GPS - 14 s
constexpr S32 kGpsWeekCycleStart = 2048;  // the ephemeris records' rule for a 10-bit week
constexpr S32 kGpsWeekCycle = 1024;
constexpr U16 kGpsSubframeLen = 33, kBdsD1Len = 31, kBdsWordLen = 18, kGalWordLen = 24;

struct Values {
  D64 v[8];
};

ParamSource Sources[NAV_KINDS][GNSS_NTYPE];
Values Last[NAV_KINDS][GNSS_NTYPE];
U32 Counts[NAV_KINDS][GNSS_NTYPE];  // the store's counts when last compared

// The latest full GPS week and time of week the log has told.
struct Clock {
  bool known;
  S32 week;
  D64 tow;
} Week_clock;

// What a message tells of its own transmission time.
struct Heard {
  bool has_tow, has_week;
  S32 week;
  D64 tow;  // GPS seconds of week
};

Values current(S16 kind, S16 gnss_type) {
  Values x = {};
  switch (kind) {
    case NAV_LEAP_SECONDS: x.v[0] = Nav_get_delta_t_ls(gnss_type); break;
    case NAV_UTC: {
      S32 tow = 0;
      S16 wn = 0;
      Nav_get_utc_parameter(gnss_type, &x.v[0], &x.v[1], &tow, &wn);
      x.v[2] = tow, x.v[3] = wn;
      if (gnss_type == GNSS_TYPE_GAL) {  // its store keeps word 5's time: the reference is t0t
        S32 t0t = 0, wn0t = 0;
        Nav_get_galileo_utc_reference(&t0t, &wn0t);
        x.v[2] = t0t, x.v[3] = wn0t;
      }
      break;
    }
    case NAV_IONO: {
      F32 a[4] = {0, 0, 0, 0};
      S32 b[4] = {0, 0, 0, 0};
      Nav_get_iono_parameter(gnss_type, a, b);
      for (int i = 0; i < 4; i++) x.v[i] = a[i], x.v[4 + i] = b[i];
      break;
    }
    case NAV_TAU_C: Nav_get_glonass_tau_c_parameter(&x.v[0]); break;
    default: break;
  }
  return x;
}

// len (1..32) bits from bit `first` of a most-significant-first byte stream.
U32 stream_bits(const U08* p, int first, int len) {
  uint64_t acc = 0;
  int byte = first / 8, off = first % 8, nbytes = (off + len + 7) / 8;
  for (int i = 0; i < nbytes; i++) acc = (acc << 8) | p[byte + i];
  acc >>= nbytes * 8 - off - len;
  return (U32)(acc & ((1ULL << len) - 1));
}

// A time of week kept within the week, the week moved with it.
void normalise(S32* week, D64* tow) {
  if (*tow < 0) *tow += kSecondsPerWeek, (*week)--;
  if (*tow >= kSecondsPerWeek) *tow -= kSecondsPerWeek, (*week)++;
}

// The full week of a week count known modulo `cycle`: the one nearest the
// clock's, or from `first` on without a clock.
S32 full_week(S32 count, S32 cycle, S32 first) {
  if (!Week_clock.known) return first + count;
  S32 d = (count - Week_clock.week) % cycle;
  if (d < 0) d += cycle;
  if (d >= cycle / 2) d -= cycle;
  return Week_clock.week + d;
}

// The week of a time of week: the clock's, or the one beside it when the
// time lies more than half a week away.
S32 week_of(D64 tow) {
  S32 week = Week_clock.week;
  if (tow - Week_clock.tow > kHalfWeek) week--;
  if (Week_clock.tow - tow > kHalfWeek) week++;
  return week;
}

// Galileo word bit b (1-128) of an 0xE6 word: bits 1-112 from byte 5 bit 5
// on, 113-128 from byte 21 bit 5 on; len bits from b within one part.
U32 galileo_bits(const U08* buf, int b, int len) {
  if (b <= 112) return stream_bits(buf + 5, b + 1, len);
  return stream_bits(buf + 21, b - 113 + 2, len);
}

Heard heard(U08 msg_id, const U08* buf, U16 len) {
  Heard h = {};
  switch (msg_id) {
    case 0xE0: {  // the HOW's count gives the next subframe's start
      if (len < kGpsSubframeLen) break;
      h.has_tow = true;
      h.tow = stream_bits(buf + 3, 24, 17) * 6.0 - 6.0;
      if (buf[2] == 1) {  // subframe 1: the week, modulo 1024
        h.has_week = true;
        h.week = full_week((S32)stream_bits(buf + 3, 48, 10), kGpsWeekCycle, kGpsWeekCycleStart);
      }
      break;
    }
    case 0xE2:
    case 0xE3: {  // the seconds of the BDT week, and D1 subframe 1's week
      if (len < kBdsWordLen) break;
      h.has_tow = true;
      h.tow = (stream_bits(buf + 3, 18, 8) << 12 | stream_bits(buf + 3, 26, 12)) + kBdsBehindGps;
      if (msg_id == 0xE2 && buf[2] == 1 && len >= kBdsD1Len) {
        h.has_week = true;
        h.week = (S32)stream_bits(buf + 3, 48, 13) + kBdsWeekZero;
      }
      break;
    }
    case 0xE6: {  // Galileo word types 5 (week and time of week) and 6 (time of week)
      if ((buf[2] & 0x0F) != 3 || len < kGalWordLen) break;
      U08 type = buf[5] & 0x3F;
      if (type == 5) {
        h.has_tow = h.has_week = true;
        h.week = (S32)galileo_bits(buf, 74, 12) + kGalileoWeekZero;
        h.tow = galileo_bits(buf, 86, 20);
      } else if (type == 6) {
        h.has_tow = true;
        h.tow = (galileo_bits(buf, 106, 7) << 13) | galileo_bits(buf, 113, 13);
      }
      break;
    }
    case 0xE1: {  // GLONASS: the frame of the slot's set decoded last (tau_c comes with it)
      const GLOEPH_T* e = Eph_glonass_get_reference((S16)(U08)(buf[1] - 64));
      if (e == nullptr || e->N4 < 1 || e->NT < 1) break;
      S16 wn = 0;
      D64 tow = 0;
      TCVT_convert_glonass_to_gps_tow((S16)e->N4, e->NT, e->tod, 0, &wn, &tow);
      S32 leap = Nav_set_count(NAV_LEAP_SECONDS, GNSS_TYPE_GPS) != 0
                     ? Nav_get_delta_t_ls(GNSS_TYPE_GPS)
                     : TCVT_leap_seconds_at((D64)wn * kSecondsPerWeek + tow);
      if (wn == 0 || leap < 0) break;
      h.has_tow = h.has_week = true;
      h.week = wn;
      h.tow = tow + leap;
      break;
    }
    default: break;
  }
  if (h.has_tow && h.has_week) normalise(&h.week, &h.tow);
  if (h.has_tow && !h.has_week) h.tow -= kSecondsPerWeek * (S32)(h.tow / kSecondsPerWeek);
  return h;
}

void set_clock(S32 week, D64 tow) {
  Week_clock.known = true;
  Week_clock.week = week;
  Week_clock.tow = tow;
}

}  // namespace

void Params_start() {
  memset(Sources, 0, sizeof Sources);
  memset(Last, 0, sizeof Last);
  memset(Counts, 0, sizeof Counts);
  Week_clock = Clock{};
}

U32 Params_note(U08 msg_id, const U08* buf, U16 len, char letter, int sat) {
  S32 receiver_week;
  D64 receiver_tow;
  Obs_get_gps_time(&receiver_week, &receiver_tow);
  if (receiver_week > 0) set_clock(receiver_week, receiver_tow);
  Heard h = heard(msg_id, buf, len);
  if (h.has_week) set_clock(h.week, h.tow);
  if (h.has_tow && !h.has_week && Week_clock.known) {
    h.week = week_of(h.tow);
    h.has_week = true;
  }
  U32 changed = 0;
  for (S16 kind = 0; kind < NAV_KINDS; kind++)
    for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++) {
      ParamSource& s = Sources[kind][type];
      U32 bit = 1u << (kind * 8 + type);
      U32 count = Nav_set_count(kind, type);
      if (count != Counts[kind][type]) {  // written since: compare the values
        Counts[kind][type] = count;
        Values now = current(kind, type);
        if (!s.known || memcmp(&now, &Last[kind][type], sizeof now) != 0) {
          Last[kind][type] = now;
          s.known = true;
          s.letter = letter;
          s.sat = sat;
          s.timed = h.has_week;
          s.week = h.week;
          s.tow = h.has_tow ? h.tow : -1;
          if (s.timed) changed |= bit;
          continue;
        }
      }
      // A set heard earlier whose week is known now.
      if (s.known && !s.timed && s.tow >= 0 && Week_clock.known) {
        s.week = week_of(s.tow);
        s.timed = true;
        changed |= bit;
      }
    }
  return changed;
}

const ParamSource& Params_source(S16 kind, S16 gnss_type) { return Sources[kind][gnss_type]; }

void Params_time(const ParamSource& s, S32* week, D64* tow) {
  if (s.timed) {
    *week = s.week;
    *tow = s.tow;
    return;
  }
  Obs_get_gps_time(week, tow);
}

int Params_untimed(U32 bits) {
  int n = 0;
  for (S16 kind = 0; kind < NAV_KINDS; kind++)
    for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++) {
      const ParamSource& s = Sources[kind][type];
      if ((bits >> (kind * 8 + type) & 1) != 0 && s.known && !s.timed) n++;
    }
  return n;
}
