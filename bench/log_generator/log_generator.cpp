// Synthetic raw logs of a receiver standing still at a known place. Each
// satellite flies one orbit, broadcast as a sequence of ephemerides that
// continue it; the pseudoranges, carrier phases and Doppler shifts are what
// the receiver would measure from those broadcast orbits and clocks through
// the broadcast ionosphere and a standard troposphere, with a drifting
// receiver clock and a little noise. Satellites are tracked while above the
// elevation mask, so in a long log they rise and set.
#include "log_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frame_builder.h"
#include "gnss_models.h"
#include "nav_encoders.h"

using namespace vlntest;
using gnss::kC;

namespace {

constexpr double kPi = gnss::kGpsPi;
constexpr double kDeg = kPi / 180.0;
constexpr int kWeek = 604800;
constexpr int kMaxExtendedRecords = 64;
constexpr int kMaxOriginalRecords = 86;
constexpr int kMaxSignals = 5;  // signals of one satellite in 0xE5
constexpr double kElevationMask = 7.0 * kDeg;
constexpr double kBdsOffset = 14.0;    // GPS time minus BeiDou time, s
constexpr double kLeapSeconds = 18.0;  // GPS time minus UTC, s
constexpr double kMoscowOffset = 10800.0;
constexpr double kGlonassEpochToGps = 504489600.0;  // 1980-01-06 to 1996-01-01, s
const double kReceiver[3] = {-2148744.271, 4426641.113, 4044655.987};

// Broadcast Klobuchar coefficients (raw, GPS subframe 4 page 18) and their scales.
const int32_t kAlphaRaw[4] = {11, -1, -60, 60};
const int32_t kBetaRaw[4] = {88, 16, -64, -64};
const double kAlphaScale[4] = {0x1p-30, 0x1p-27, 0x1p-24, 0x1p-24};
const double kBetaScale[4] = {0x1p11, 0x1p14, 0x1p16, 0x1p16};

// Deterministic pseudo-random numbers, so a log can be made again byte for byte.
struct Random {
  uint64_t state;
  double uniform() {  // [0, 1)
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return (double)(state >> 11) * 0x1p-53;
  }
  double noise(double amplitude) { return amplitude * (2.0 * uniform() - 1.0); }
  double gauss(double sigma) { return sigma * 2.0 * (uniform() + uniform() + uniform() - 1.5); }
};

enum System { kGps, kSbas, kGlo, kGal, kQzss, kBds };

// The orbit a satellite flies: Keplerian elements at the start of the first
// week (node as an inertial angle from the Greenwich meridian at that instant),
// or a GEO longitude.
struct Orbit {
  double a, e, i, node, argp, m, delta_n, node_rate, i_rate;
  bool geo;
  double geo_lon;
};

// The satellite clock: offset at the start of the first week and its drift.
struct Clock {
  double a0, a1;
};

// One GLONASS ephemeris: the broadcast state (raw and in SI units) at tb.
struct GloSet {
  double t_tb;  // GPS seconds since the first week's start
  uint32_t tb;  // raw, 15-min units of the Moscow day
  GloImmediate raw;
  gnss::GloState state;
  double acc[3];
  double tau, gamma;
  // The orbit the satellite flies at tb (the broadcast state rounds it).
  gnss::GloState truth;
  double truth_acc[3];
};

// What the signals of one satellite share at an epoch: the geometry, the
// satellite clock (before group delays) and the atmosphere (ionosphere at L1).
struct Geometry {
  double range, rate, clock, iono_l1, tropo;
};

struct Sat {
  System system = kGps;
  int id = 0;  // PRN, slot or number as the receiver reports it in 0xE5
  int k = 0;   // GLONASS frequency channel number
  Orbit orbit = {};
  Clock clock = {};
  double f[kMaxSignals] = {};
  int signal_code[kMaxSignals] = {};
  int signals = 1;
  // Broadcast data of the current set, and its orbit and clock as the
  // satellite flies them (not rounded: continuous from one set to the next).
  int set = -1;
  gnss::Kepler kepler = {};
  double group_delay[kMaxSignals] = {};  // s, subtracted from the clock per signal
  // GLONASS: the ephemerides along the log and the running integration.
  std::vector<GloSet> glo_sets;
  int glo_window = -1;
  double glo_t = 0;
  gnss::GloState glo_state = {};
  // Tracking.
  bool tracked = false;
  bool new_lock = false;
  double travel = 0;            // signal travel time at the last epoch, s
  double node_t[2] = {-1, -1};  // whole seconds whose geometry is cached
  Geometry node[2] = {};
  double elevation = -1, azimuth = 0;
  double ambiguity[kMaxSignals] = {};
};

int glonass_k(int slot) { return slot * 5 % 14 - 7; }

double wrap_pi(double x) { return x - 2.0 * kPi * std::floor((x + kPi) / (2.0 * kPi)); }

const gnss::Frame& frame_of(System s) {
  if (s == kGal) return gnss::kGalileoFrame;
  if (s == kBds) return gnss::kBeiDouFrame;
  return gnss::kGpsFrame;
}

// Seconds of each system's own time since the GPS week start of the log.
double system_offset(System s) { return s == kBds ? kBdsOffset : 0.0; }

// A signal as the extended measurement message codes it, and its frequency
// (GLONASS L1 and L2 from the channel number).
struct SignalPlan {
  int code;
  double f;
};
constexpr double kGloL1 = -1, kGloL2 = -2;
struct Profile {
  const char* name;
  std::vector<SignalPlan> by_system[6];  // by System: GPS, SBAS, GLONASS, Galileo, QZSS, BeiDou
};
const Profile kProfiles[] = {
    {"l1l2",
     {{{0, 1575.42e6}, {2, 1227.60e6}},
      {{0, 1575.42e6}},
      {{0, kGloL1}, {2, kGloL2}},
      {{0, 1575.42e6}, {5, 1207.14e6}},
      {{0, 1575.42e6}, {2, 1227.60e6}},
      {{0, 1561.098e6}, {5, 1207.14e6}}}},
    {"l1l5",
     {{{0, 1575.42e6}, {4, 1176.45e6}},
      {{0, 1575.42e6}},
      {{0, kGloL1}},
      {{0, 1575.42e6}, {4, 1176.45e6}},
      {{0, 1575.42e6}, {4, 1176.45e6}},
      {{0, 1561.098e6}, {4, 1176.45e6}}}},
    {"multi",
     {{{0, 1575.42e6}, {1, 1575.42e6}, {2, 1227.60e6}, {4, 1176.45e6}},
      {{0, 1575.42e6}},
      {{0, kGloL1}, {2, kGloL2}, {4, 1202.025e6}},
      {{0, 1575.42e6}, {4, 1176.45e6}, {5, 1207.14e6}, {6, 1278.75e6}},
      {{0, 1575.42e6}, {1, 1575.42e6}, {2, 1227.60e6}, {4, 1176.45e6}, {6, 1278.75e6}},
      {{0, 1561.098e6}, {1, 1575.42e6}, {5, 1207.14e6}, {7, 1268.52e6}, {4, 1176.45e6}}}},
};

const Profile* profile_named(const std::string& name) {
  for (const Profile& p : kProfiles)
    if (name == p.name) return &p;
  return nullptr;
}

// The signals of a satellite: the profile's for its system, at most `signals`.
void set_signals(Sat* s, const Profile& p, int signals) {
  const std::vector<SignalPlan>& plan = p.by_system[s->system];
  s->signals = std::min(signals, (int)plan.size());
  for (int i = 0; i < s->signals; i++) {
    double f = plan[(size_t)i].f;
    s->f[i] = f == kGloL1   ? 1602.0e6 + s->k * 0.5625e6
              : f == kGloL2 ? 1246.0e6 + s->k * 0.4375e6
                            : f;
    s->signal_code[i] = plan[(size_t)i].code;
  }
}

// The group delays of the signals beyond today's pair (L2C, E5b, B2I), in
// proportion to the squared frequency ratio, as the ionosphere-free TGD has them.
void other_group_delays(Sat* s) {
  for (int i = 1; i < s->signals; i++) {
    bool today = i == 1 && (s->signal_code[1] == 2 || s->signal_code[1] == 5);
    if (!today) s->group_delay[i] = s->group_delay[0] * (s->f[0] / s->f[i]) * (s->f[0] / s->f[i]);
  }
}

Orbit meo(double a, double incl, int plane, int planes, int slot, int slots, double e,
          double phase) {
  Orbit o = {};
  o.a = a;
  o.e = e;
  o.i = incl * kDeg;
  o.node = 2.0 * kPi * plane / planes + 0.3;
  o.argp = 0.4 + 0.1 * slot;
  o.m = 2.0 * kPi * slot / slots + phase * plane - o.argp;
  o.delta_n = 4.5e-9;
  o.node_rate = -8.0e-9;
  o.i_rate = 2.0e-10;
  return o;
}

// Inclined geosynchronous orbit whose figure-eight track is centred at lon; k-th of n
// satellites sharing the track.
Orbit igso(double lon, double incl, double e, int k, int n) {
  Orbit o = {};
  o.a = 42164170.0;
  o.e = e;
  o.i = incl * kDeg;
  o.argp = 270.0 * kDeg;
  o.node = (lon - 90.0) * kDeg + 2.0 * kPi * k / n;
  o.m = -2.0 * kPi * k / n - o.argp + 90.0 * kDeg;
  o.node_rate = -3.0e-9;
  o.i_rate = 3.0e-10;
  return o;
}

Orbit geo(double lon) {
  Orbit o = {};
  o.geo = true;
  o.geo_lon = lon * kDeg;
  return o;
}

// The satellites of each constellation (receiver identifiers) and their
// orbits; with beidou3 the newer BeiDou and QZSS satellites too.
std::vector<Sat> constellation(System s, bool beidou3) {
  std::vector<Sat> sats;
  auto add = [&](int id, const Orbit& o) {
    Sat sat;
    sat.system = s;
    sat.id = id;
    sat.k = s == kGlo ? glonass_k(id) : 0;
    sat.orbit = o;
    sats.push_back(sat);
  };
  switch (s) {
    case kGps:
      for (int n = 0; n < 30; n++)
        add(n + 1, meo(26559700.0, 55.0, n % 6, 6, n / 6, 5, 0.004 + 0.0007 * (n % 9), 0.5));
      break;
    case kGal:
      for (int n = 0; n < 24; n++)
        add(n + 1 + n / 8, meo(29599800.0, 56.0, n % 3, 3, n / 3, 8, 0.0002 * (n % 5 + 1), 0.26));
      break;
    case kGlo:
      for (int n = 0; n < 24; n++)
        add(n + 1, meo(25508200.0, 64.8, n / 8, 3, n % 8, 8, 0.0008, 0.52));
      break;
    case kBds: {
      const double geo_lon[5] = {140.0, 80.0, 110.5, 160.0, 120.0};
      for (int n = 0; n < 5; n++) add(n + 1, geo(geo_lon[n]));
      for (int n = 0; n < 5; n++)
        add(n + 6, igso(n < 3 ? 118.0 : 95.0, 55.0, 0.003, n % 3, n < 3 ? 3 : 2));
      // The receiver's original tables decode D1 ephemerides of numbers 6-15 only.
      for (int n = 0; n < 5; n++) add(n + 11, meo(27906100.0, 55.0, n % 3, 3, n, 5, 0.0006, 0.3));
      if (!beidou3) break;
      for (int n = 0; n < 18; n++)
        add(n < 12 ? n + 19 : n + 29, meo(27906100.0, 55.0, n % 3, 3, n / 3, 6, 0.0004, 0.7));
      for (int n = 0; n < 3; n++) add(n + 38, igso(118.0, 55.0, 0.002, n, 3));
      add(59, geo(144.5));
      add(60, geo(140.0));
      break;
    }
    case kQzss:
      for (int n = 0; n < 4; n++) add(193 + n, igso(135.0, 41.0, 0.075, n, 4));
      if (beidou3) add(199, igso(127.0, 0.1, 0.0001, 0, 1));  // J07, geostationary
      break;
    case kSbas: {
      const int prn[4] = {127, 129, 133, 137};
      const double lon[4] = {83.0, 140.0, 98.0, 145.0};
      for (int n = 0; n < 4; n++) add(prn[n], geo(lon[n]));
      break;
    }
  }
  for (size_t n = 0; n < sats.size(); n++) {
    sats[n].clock.a0 = 1e-5 * (double)((sats[n].id * 37) % 97 - 48);
    sats[n].clock.a1 = 1e-13 * (double)((sats[n].id * 13) % 61 - 30);
  }
  return sats;
}

// ---- broadcast ephemerides ----

// Week and second of week of t (seconds since the first week's start) in a system.
void week_and_sow(double t, int week0, int* week, double* sow) {
  double w = std::floor(t / kWeek);
  *week = week0 + (int)w;
  *sow = t - w * kWeek;
}

// Keplerian elements of sat's orbit referred to toe (system seconds since the first week start).
gnss::Kepler elements_at(const Sat& s, double toe_rel, double toe_sow) {
  const gnss::Frame& f = frame_of(s.system);
  const Orbit& o = s.orbit;
  gnss::Kepler k = {};
  k.toe = toe_sow;
  if (o.geo) {
    // BeiDou GEO: an equatorial circle in the tilted reference frame; the
    // node stays at pi there so the satellite stays at its longitude.
    k.beidou_geo = true;
    k.sqrt_a = std::sqrt(std::cbrt(f.mu / (f.omega_e * f.omega_e)));
    k.i0 = 5.0 * kDeg;
    k.omega0 = wrap_pi(kPi + f.omega_e * toe_sow);
    k.m0 = wrap_pi(o.geo_lon - kPi);
    return k;
  }
  double a = o.a;
  double n = std::sqrt(f.mu / (a * a * a)) + o.delta_n;
  double week_start = toe_rel - toe_sow;
  k.sqrt_a = std::sqrt(a);
  k.e = o.e;
  k.i0 = o.i + o.i_rate * toe_rel;
  k.omega0 = wrap_pi(o.node + o.node_rate * toe_rel - f.omega_e * week_start);
  k.omega = o.argp;
  k.m0 = wrap_pi(o.m + n * toe_rel);
  k.delta_n = o.delta_n;
  k.omega_dot = o.node_rate;
  k.idot = o.i_rate;
  k.cuc = -2.0e-6, k.cus = 7.0e-6, k.crc = 230.0, k.crs = 20.0, k.cic = 1.0e-7, k.cis = -5.0e-8;
  return k;
}

// Rounds v to a multiple of scale and gives both the raw value and the rounded value.
int64_t q(double* v, double scale) {
  int64_t raw = quantise(*v, scale);
  *v = (double)raw * scale;
  return raw;
}

const double kSc31 = scale::k2_31 * kPi;  // 2^-31 semicircles in radians
const double kSc43 = scale::k2_43 * kPi;

void clock_terms(const Sat& s, double toc_rel, gnss::Kepler* k) {
  k->af0 = s.clock.a0 + s.clock.a1 * toc_rel;
  k->af1 = s.clock.a1;
  k->af2 = 0;
}

GpsLnav gps_ephemeris(Sat* s, int set, int week, double toe_rel, double toe_sow) {
  gnss::Kepler k = elements_at(*s, toe_rel, toe_sow);
  k.toc = toe_sow;
  clock_terms(*s, toe_rel, &k);
  s->kepler = k;  // what the satellite flies; the broadcast values round it
  GpsLnav v = {};
  int id = s->id % 64;
  v.week = (uint32_t)(week % 1024);
  v.code_l2 = 1;
  v.ura = (uint32_t)(id % 3);
  v.iode = (uint32_t)((set * 7 + id) % 256);
  v.iodc = v.iode | (uint32_t)((id % 4) << 8);
  v.l2p = 1;
  double tgd = -1e-9 * (id % 20);
  v.tgd = (int32_t)q(&tgd, 0x1p-31);
  v.toc = v.toe = (uint32_t)(toe_sow / 16);
  v.af2 = (int32_t)q(&k.af2, 0x1p-55);
  v.af1 = (int32_t)q(&k.af1, 0x1p-43);
  v.af0 = (int32_t)q(&k.af0, 0x1p-31);
  v.crs = (int32_t)q(&k.crs, 0x1p-5);
  v.delta_n = (int32_t)q(&k.delta_n, kSc43);
  v.m0 = (int32_t)q(&k.m0, kSc31);
  v.cuc = (int32_t)q(&k.cuc, scale::k2_29);
  v.e = (uint32_t)q(&k.e, scale::k2_33);
  v.cus = (int32_t)q(&k.cus, scale::k2_29);
  v.sqrt_a = (uint32_t)q(&k.sqrt_a, 0x1p-19);
  v.fit = 0;
  v.cic = (int32_t)q(&k.cic, scale::k2_29);
  v.omega0 = (int32_t)q(&k.omega0, kSc31);
  v.cis = (int32_t)q(&k.cis, scale::k2_29);
  v.i0 = (int32_t)q(&k.i0, kSc31);
  v.crc = (int32_t)q(&k.crc, 0x1p-5);
  v.omega = (int32_t)q(&k.omega, kSc31);
  v.omega_dot = (int32_t)q(&k.omega_dot, kSc43);
  v.idot = (int32_t)q(&k.idot, kSc43);
  double gamma = (1575.42 / 1227.60) * (1575.42 / 1227.60);
  s->group_delay[0] = tgd;
  s->group_delay[1] = gamma * tgd;
  other_group_delays(s);
  return v;
}

BdsEph bds_ephemeris(Sat* s, int set, int bdt_week, double toe_rel, double toe_sow, uint32_t sow) {
  gnss::Kepler k = elements_at(*s, toe_rel, toe_sow);
  k.toc = toe_sow;
  clock_terms(*s, toe_rel + kBdsOffset, &k);
  s->kepler = k;  // what the satellite flies; the broadcast values round it
  BdsEph v = {};
  int id = s->id;
  v.sow = sow;
  v.aodc = (uint32_t)(set % 32);
  v.urai = 2;
  v.wn = (uint32_t)bdt_week;
  v.toc = v.toe = (uint32_t)(toe_sow / 8);
  double tgd1 = 3e-9 * (id % 7 - 3), tgd2 = 1e-9 * (2 - id % 5);
  v.tgd1 = (int32_t)q(&tgd1, 1e-10);
  v.tgd2 = (int32_t)q(&tgd2, 1e-10);
  v.alpha[0] = 14, v.alpha[1] = 2, v.alpha[2] = -60, v.alpha[3] = 30;
  v.beta[0] = 120, v.beta[1] = 2, v.beta[2] = -64, v.beta[3] = 16;
  v.a2 = (int32_t)q(&k.af2, 0x1p-66);
  v.a0 = (int32_t)q(&k.af0, 0x1p-33);
  v.a1 = (int32_t)q(&k.af1, 0x1p-50);
  v.aode = (uint32_t)(set % 32);
  v.delta_n = (int32_t)q(&k.delta_n, kSc43);
  v.cuc = (int32_t)q(&k.cuc, 0x1p-31);
  v.m0 = (int32_t)q(&k.m0, kSc31);
  v.e = (uint32_t)q(&k.e, 0x1p-33);
  v.cus = (int32_t)q(&k.cus, 0x1p-31);
  v.crc = (int32_t)q(&k.crc, 0x1p-6);
  v.crs = (int32_t)q(&k.crs, 0x1p-6);
  v.sqrt_a = (uint32_t)q(&k.sqrt_a, 0x1p-19);
  v.i0 = (int32_t)q(&k.i0, kSc31);
  v.cic = (int32_t)q(&k.cic, 0x1p-31);
  v.omega_dot = (int32_t)q(&k.omega_dot, kSc43);
  v.cis = (int32_t)q(&k.cis, 0x1p-31);
  v.idot = (int32_t)q(&k.idot, kSc43);
  v.omega0 = (int32_t)q(&k.omega0, kSc31);
  v.omega = (int32_t)q(&k.omega, kSc31);
  s->group_delay[0] = tgd1;
  s->group_delay[1] = tgd2;
  other_group_delays(s);
  return v;
}

GalEph galileo_ephemeris(Sat* s, uint32_t iodnav, int week, double toe_rel, double toe_sow,
                         uint32_t tow) {
  gnss::Kepler k = elements_at(*s, toe_rel, toe_sow);
  k.toc = toe_sow;
  clock_terms(*s, toe_rel, &k);
  s->kepler = k;  // what the satellite flies; the broadcast values round it
  GalEph v = {};
  int id = s->id;
  v.iodnav = iodnav;
  v.toe = v.toc = (uint32_t)(toe_sow / 60);
  v.m0 = (int32_t)q(&k.m0, kSc31);
  v.e = (uint32_t)q(&k.e, 0x1p-33);
  v.sqrt_a = (uint32_t)q(&k.sqrt_a, 0x1p-19);
  v.omega0 = (int32_t)q(&k.omega0, kSc31);
  v.i0 = (int32_t)q(&k.i0, kSc31);
  v.omega = (int32_t)q(&k.omega, kSc31);
  v.idot = (int32_t)q(&k.idot, kSc43);
  v.omega_dot = (int32_t)q(&k.omega_dot, kSc43);
  v.delta_n = (int32_t)q(&k.delta_n, kSc43);
  v.cuc = (int32_t)q(&k.cuc, 0x1p-29);
  v.cus = (int32_t)q(&k.cus, 0x1p-29);
  v.crc = (int32_t)q(&k.crc, 0x1p-5);
  v.crs = (int32_t)q(&k.crs, 0x1p-5);
  v.cic = (int32_t)q(&k.cic, 0x1p-29);
  v.cis = (int32_t)q(&k.cis, 0x1p-29);
  v.sisa = 107;
  v.svid = (uint32_t)id;
  v.af0 = (int32_t)q(&k.af0, 0x1p-34);
  v.af1 = (int32_t)q(&k.af1, 0x1p-46);
  v.af2 = (int32_t)q(&k.af2, 0x1p-59);
  v.ai0 = 200;
  v.ai1 = -3;
  v.ai2 = 100;
  double bgd_a = -1e-9 * (id % 3 + 1), bgd_b = -1e-9 * (2 * (id % 4) + 3);
  v.bgd_a = (int32_t)q(&bgd_a, 0x1p-32);
  v.bgd_b = (int32_t)q(&bgd_b, 0x1p-32);
  v.wn = (uint32_t)(week - 1024) & 0xFFF;
  v.tow = tow;
  double gamma = (1575.42 / 1207.14) * (1575.42 / 1207.14);
  s->group_delay[0] = bgd_b;
  s->group_delay[1] = gamma * bgd_b;
  other_group_delays(s);
  return v;
}

// ---- GLONASS ----

// State of a circular-ish orbit in the Earth-fixed frame at t (s since the first week's start).
gnss::GloState glonass_initial_state(const Orbit& o, double t) {
  const double mu = 3.9860044e14, we = 7.292115e-5;
  double n = std::sqrt(mu / (o.a * o.a * o.a));
  double u = o.argp + o.m + n * t;
  double r = o.a, v = std::sqrt(mu / o.a);
  double node = o.node - we * t;  // inertial node seen from the rotating Earth
  double pu[3] = {r * std::cos(u), r * std::sin(u), 0};
  double vu[3] = {-v * std::sin(u), v * std::cos(u), 0};
  gnss::GloState s;
  double ci = std::cos(o.i), si = std::sin(o.i), cn = std::cos(node), sn = std::sin(node);
  for (int k = 0; k < 2; k++) {
    const double* in = k == 0 ? pu : vu;
    double* out = k == 0 ? s.p : s.v;
    out[0] = in[0] * cn - in[1] * ci * sn;
    out[1] = in[0] * sn + in[1] * ci * cn;
    out[2] = in[1] * si;
  }
  s.v[0] += we * s.p[1];
  s.v[1] -= we * s.p[0];
  return s;
}

// Moscow day count since 1996-01-01 and second of day of GPS time t_abs (s since the GPS epoch).
void moscow_day(double t_abs, long* day, int* tod) {
  double glo = t_abs - kLeapSeconds + kMoscowOffset - kGlonassEpochToGps;
  *day = (long)std::floor(glo / 86400.0);
  *tod = (int)(glo - (double)*day * 86400.0);
}

// The broadcast ephemerides of one GLONASS satellite at the centre of every
// half hour of the log: its orbit integrated from the first, rounded to the
// broadcast resolution.
void plan_glonass(Sat* s, double t_first, double t_last, double week_start_abs) {
  long day;
  int tod;
  moscow_day(week_start_abs + t_first, &day, &tod);
  double t = t_first - (tod % 1800) + 900;  // centre of the first half hour
  gnss::GloState truth = glonass_initial_state(s->orbit, t);
  double acc[3] = {((s->id % 5) - 2) * 0x1p-30 * 1000.0, ((s->id % 3) - 1) * 0x1p-30 * 1000.0,
                   ((s->id % 7) - 3) * 0x1p-30 * 1000.0};
  for (; t < t_last + 1800.0; t += 1800.0) {
    GloSet g = {};
    g.t_tb = t;
    g.truth = truth;
    for (int i = 0; i < 3; i++) g.truth_acc[i] = acc[i];
    moscow_day(week_start_abs + t, &day, &tod);
    g.tb = (uint32_t)(tod / 900);
    GloImmediate& v = g.raw;
    double km = 1000.0;
    for (int i = 0; i < 3; i++) {
      double p = truth.p[i] / km, vel = truth.v[i] / km, a = acc[i] / km;
      int32_t rp = (int32_t)q(&p, 0x1p-11), rv = (int32_t)q(&vel, 0x1p-20),
              ra = (int32_t)q(&a, 0x1p-30);
      g.state.p[i] = p * km, g.state.v[i] = vel * km, g.acc[i] = a * km;
      (i == 0 ? v.x : i == 1 ? v.y : v.z) = rp;
      (i == 0 ? v.dx : i == 1 ? v.dy : v.dz) = rv;
      (i == 0 ? v.ddx : i == 1 ? v.ddy : v.ddz) = ra;
    }
    // Clock: the satellite runs ahead by -tau_n + gamma_n (t - tb).
    double offset = s->clock.a0 + s->clock.a1 * t;
    double tau = -offset, gamma = s->clock.a1;
    v.tau = (int32_t)q(&tau, 0x1p-30);
    v.gamma = (int32_t)q(&gamma, 0x1p-40);
    g.tau = tau, g.gamma = gamma;
    v.tb = g.tb;
    v.p1 = 1;
    v.m = 1;
    v.n = (uint32_t)s->id;
    v.ft = 3;
    v.tau_c = -45;
    s->glo_sets.push_back(g);
    gnss::glonass_integrate(&truth, acc, 1800.0, 10.0);
  }
}

// Position and velocity of a GLONASS satellite at t, integrated from the
// orbit at the tb of the half hour t falls in (not from its rounded broadcast
// state, which would move the satellite where the sets change). The
// integration advances a base state second by second; other times are one
// short step away.
gnss::GloState glonass_at(Sat* s, double t) {
  int w =
      s->glo_window > 0 && t >= s->glo_sets[(size_t)s->glo_window].t_tb - 900.0 ? s->glo_window : 0;
  while (w + 1 < (int)s->glo_sets.size() && t >= s->glo_sets[(size_t)w + 1].t_tb - 900.0) w++;
  const GloSet& g = s->glo_sets[(size_t)w];
  if (w != s->glo_window || t < s->glo_t - 2.0) {
    s->glo_window = w;
    s->glo_state = g.truth;
    s->glo_t = g.t_tb;
    double base = std::floor(t);
    gnss::glonass_integrate(&s->glo_state, g.truth_acc, base - s->glo_t, 30.0);
    s->glo_t = base;
  }
  while (s->glo_t + 1.0 <= t) {
    gnss::glonass_integrate(&s->glo_state, g.truth_acc, 1.0, 1.0);
    s->glo_t += 1.0;
  }
  gnss::GloState at = s->glo_state;
  gnss::glonass_integrate(&at, g.truth_acc, t - s->glo_t, 2.0);
  return at;
}

const GloSet& glonass_set(const Sat& s, double t) {
  size_t w = 0;
  while (w + 1 < s.glo_sets.size() && t >= s.glo_sets[w + 1].t_tb - 900.0) w++;
  return s.glo_sets[w];
}

// ---- SBAS ----

SbasGeoNav sbas_geo(const Sat& s, double sow) {
  SbasGeoNav v = {};
  double r = 42164170.0;
  v.iod = (uint32_t)((int)sow % 256);
  v.t0 = (uint32_t)((int)sow % 86400 / 16);
  v.ura = 2;
  v.xg = (int32_t)std::lround(r * std::cos(s.orbit.geo_lon) / 0.08);
  v.yg = (int32_t)std::lround(r * std::sin(s.orbit.geo_lon) / 0.08);
  v.zg = 0;
  v.agf0 = (int32_t)std::lround(s.clock.a0 / 0x1p-31);
  v.agf1 = 0;
  return v;
}

// ---- the current broadcast set of each satellite ----

struct LogClock {
  int week0;
  double week_start_abs;  // GPS seconds from the GPS epoch to the first week's start
};

// Makes sure sat holds the broadcast data valid at GPS time t (s since the first week's start).
void update_set(Sat* s, double t, const LogClock& c) {
  double ts = t - system_offset(s->system);
  int week;
  double sow;
  switch (s->system) {
    case kGps:
    case kQzss: {
      week_and_sow(ts, c.week0, &week, &sow);
      int set = (int)(ts / 7200);
      if (set == s->set) return;
      double toe_sow = std::floor(sow / 7200) * 7200 + 3600;
      gps_ephemeris(s, set, week, ts - sow + toe_sow, toe_sow);
      s->set = set;
      break;
    }
    case kGal: {
      week_and_sow(ts, c.week0, &week, &sow);
      int set = (int)(ts / 1800);
      if (set == s->set) return;
      double toe_sow = std::floor(sow / 1800) * 1800;
      galileo_ephemeris(s, 0, week, ts - sow + toe_sow, toe_sow, 0);
      s->set = set;
      break;
    }
    case kBds: {
      week_and_sow(ts, c.week0 - 1356, &week, &sow);
      int set = (int)std::floor(ts / 3600);
      if (set == s->set) return;
      double toe_sow = std::floor(sow / 3600) * 3600;
      bds_ephemeris(s, set, week, ts - sow + toe_sow, toe_sow, 0);
      s->set = set;
      break;
    }
    default: break;
  }
}

// Satellite position at GPS time t and its clock offset (before group delays).
void satellite_at(Sat* s, double t, const LogClock& c, double pos[3], double* clock) {
  switch (s->system) {
    case kGlo: {
      gnss::GloState st = glonass_at(s, t);
      for (int i = 0; i < 3; i++) pos[i] = st.p[i];
      *clock = s->clock.a0 + s->clock.a1 * t;  // the broadcast tau and gamma round it
      return;
    }
    case kSbas: {
      double r = 42164170.0;
      pos[0] = std::round(r * std::cos(s->orbit.geo_lon) / 0.08) * 0.08;
      pos[1] = std::round(r * std::sin(s->orbit.geo_lon) / 0.08) * 0.08;
      pos[2] = 0;
      *clock = std::round(s->clock.a0 / 0x1p-31) * 0x1p-31;
      return;
    }
    default: {
      update_set(s, t, c);
      const gnss::Kepler& k = s->kepler;
      double ts = t - system_offset(s->system);
      double sow = ts - std::floor(ts / kWeek) * kWeek;
      double rel;
      gnss::kepler_position(k, frame_of(s->system), sow, pos, &rel);
      double dt = gnss::week_diff(sow, k.toc);
      *clock = k.af0 + k.af1 * dt + k.af2 * dt * dt + rel;
      return;
    }
  }
}

double omega_e_of(System s) { return s == kGlo ? 7.292115e-5 : frame_of(s).omega_e; }

// ---- measurement messages ----

struct Observed {
  double pr, phase;
  float doppler;
  int cn0;
  bool lost_lock;
};

double Clock_jump_every;
bool Clock_jump_code_only;
// Metres: a drift; and the millisecond steps of a receiver that steers its
// clock, in the code only or in code and phase.
double receiver_clock(double t_log) { return 150.0 + 0.05 * t_log; }
double clock_steps(double t_log) {
  return Clock_jump_every > 0 ? std::floor(t_log / Clock_jump_every) * 1e-3 * kC : 0;
}

// Geodetic latitude and longitude of the receiver.
void receiver_lat_lon(double* lat, double* lon) {
  static double la, lo;
  static bool ready = false;
  if (!ready) {
    double h;
    gnss::ecef_to_geodetic(kReceiver, &la, &lo, &h);
    ready = true;
  }
  *lat = la, *lon = lo;
}

Geometry exact_geometry(Sat* s, double t, const LogClock& c) {
  double lat, lon, alpha[4], beta[4];
  receiver_lat_lon(&lat, &lon);
  for (int i = 0; i < 4; i++)
    alpha[i] = kAlphaRaw[i] * kAlphaScale[i], beta[i] = kBetaRaw[i] * kBetaScale[i];
  Geometry g;
  double pos[3];
  // The travel time of the last epoch is a microsecond off at most: one
  // iteration from it is exact to far below a millimetre.
  int iterations = s->travel > 0 ? 1 : 3;
  double travel = s->travel > 0 ? s->travel : 0.075;
  for (int iter = 0; iter < iterations; iter++) {
    satellite_at(s, t - travel, c, pos, &g.clock);
    g.range = gnss::sagnac_range(pos, kReceiver, omega_e_of(s->system));
    travel = g.range / kC;
  }
  s->travel = travel;
  // Range rate from the satellite's position a twentieth of a second later.
  double later[3], unused;
  satellite_at(s, t - travel + 0.05, c, later, &unused);
  g.rate = (gnss::sagnac_range(later, kReceiver, 0) - gnss::sagnac_range(pos, kReceiver, 0)) / 0.05;
  double sow = t - std::floor(t / kWeek) * kWeek;
  g.iono_l1 = gnss::klobuchar(alpha, beta, lat, lon, s->azimuth, s->elevation, sow);
  g.tropo = gnss::troposphere(s->elevation);
  return g;
}

// Geometry at a whole second, computed once.
const Geometry& node_at(Sat* s, double second, const LogClock& c) {
  for (int i = 0; i < 2; i++)
    if (s->node_t[i] == second) return s->node[i];
  int slot = s->node_t[0] < s->node_t[1] ? 0 : 1;
  s->node[slot] = exact_geometry(s, second, c);
  s->node_t[slot] = second;
  return s->node[slot];
}

// Geometry at t: exact at whole seconds, between them a cubic through the
// ranges and range rates of the seconds either side (its error is far below a
// millimetre), so that high rates cost little more than one epoch a second.
Geometry geometry(Sat* s, double t, const LogClock& c) {
  double second = std::floor(t);
  if (t == second) return node_at(s, t, c);
  Geometry a = node_at(s, second, c);
  const Geometry& b = node_at(s, second + 1.0, c);
  double x = t - second, x2 = x * x, x3 = x2 * x;
  Geometry g = a;
  g.range = (2 * x3 - 3 * x2 + 1) * a.range + (x3 - 2 * x2 + x) * a.rate +
            (-2 * x3 + 3 * x2) * b.range + (x3 - x2) * b.rate;
  g.rate = (6 * x2 - 6 * x) * a.range + (3 * x2 - 4 * x + 1) * a.rate +
           (-6 * x2 + 6 * x) * b.range + (3 * x2 - 2 * x) * b.rate;
  g.clock = a.clock + x * (b.clock - a.clock);
  return g;
}

// What the whole log adds to the observations, and the slips made.
double Unflagged_slips;
double Multipath;
LogCounts Made;

Observed observe(Sat* s, const Geometry& g, int sig, double t_log, Random* rng) {
  double ratio = 1575.42e6 / s->f[sig];
  double iono = g.iono_l1 * ratio * ratio;
  double lambda = kC / s->f[sig];
  double clocks = receiver_clock(t_log) - kC * (g.clock - s->group_delay[sig]);
  Observed o;
  o.lost_lock = s->new_lock;
  if (rng->uniform() < 1.0 / 20000.0) {  // a rare cycle slip
    s->ambiguity[sig] += std::floor(rng->noise(1e4));
    o.lost_lock = true;  // flagged: the file tells it
  }
  if (!s->new_lock && rng->uniform() < Unflagged_slips) {  // a slip of 5 to 50 cycles, unflagged
    double cycles = 5 + std::floor(rng->uniform() * 46);
    s->ambiguity[sig] += rng->uniform() < 0.5 ? -cycles : cycles;
    Made.slips++;
  }
  // Multipath: strongest near the horizon, varying over minutes.
  double multipath =
      Multipath * std::exp(-s->elevation / 0.5) * std::sin(t_log / 97.0 + 1.7 * s->id + 2.1 * sig);
  double steps = clock_steps(t_log), phase_steps = Clock_jump_code_only ? 0 : steps;
  o.pr = g.range + clocks + steps + iono + g.tropo + multipath + rng->gauss(0.3);
  o.phase = (g.range + clocks + phase_steps - iono + g.tropo) / lambda + s->ambiguity[sig] +
            rng->gauss(0.005);
  o.doppler = (float)(-(g.rate + 0.05 - kC * s->clock.a1) / lambda + rng->gauss(0.02));
  double cn0 = 32.0 + 18.0 * std::sin(s->elevation) - 3.0 * sig + rng->gauss(1.0);
  o.cn0 = (int)std::min(60.0, std::max(20.0, cn0));
  return o;
}

int extended_constellation_code(System s) {
  return (int)s;
}  // GPS 0, SBAS 1, GLO 2, GAL 3, QZSS 4, BDS 5

int original_identifier(const Sat& s) {
  switch (s.system) {
    case kSbas: return s.id - 87;
    case kGlo: return s.id + 64;
    case kBds: return s.id + 200;
    default: return s.id;
  }
}

Bytes extended_message(std::vector<Sat*>& tracked, uint8_t iod, int week, uint32_t tow_ms,
                       uint16_t period, double t, double t_log, const LogClock& c, Random* rng) {
  int count = 0;
  for (const Sat* s : tracked) count += s->signals;
  Payload p(0xE5);
  p.u8(1).u8(iod).be16((uint32_t)week).be32(tow_ms).be16(period).u8(0).u8(0).u8((uint32_t)count);
  for (Sat* s : tracked) {
    Geometry g = geometry(s, t, c);
    for (int sig = 0; sig < s->signals; sig++) {
      Observed o = observe(s, g, sig, t_log, rng);
      p.u8((uint32_t)(extended_constellation_code(s->system) | s->signal_code[sig] << 4));
      p.u8((uint32_t)s->id).u8((uint32_t)((s->k + 7) & 0x0F) | 0xF0).u8((uint32_t)o.cn0);
      p.f64(o.pr).f64(o.phase).f32(o.doppler).u8(3).u8(1).u8(2);
      p.be16(o.lost_lock ? 0x0008 : 0x0000).be16(0);
    }
    s->new_lock = false;
  }
  return p.bytes();
}

Bytes original_message(std::vector<Sat*>& tracked, uint8_t iod, double t, double t_log,
                       const LogClock& c, Random* rng) {
  Payload p(0xDD);
  p.u8(iod).u8((uint32_t)tracked.size());
  for (Sat* s : tracked) {
    Observed o = observe(s, geometry(s, t, c), 0, t_log, rng);
    p.u8((uint32_t)original_identifier(*s))
        .u8((uint32_t)o.cn0)
        .f64(o.pr)
        .f64(o.phase)
        .f32(o.doppler);
    p.u8(o.lost_lock ? 0x08 : 0x00);
    s->new_lock = false;
  }
  return p.bytes();
}

Bytes position_message(int week, double tow) {
  Payload p(0xDF);
  p.u8(1).u8(3).be16((uint32_t)week).f64(tow);
  p.f64(kReceiver[0]).f64(kReceiver[1]).f64(kReceiver[2]);
  p.f32(0).f32(0).f32(0).f64(45.0).f32(0.01f);
  for (int i = 0; i < 5; i++) p.f32(1.2f);
  return p.bytes();
}

// ---- tracking ----

// Channels per constellation for a receiver of `total` channels, within the
// record limit of the measurement message.
std::vector<int> channel_caps(const std::vector<System>& systems, int total,
                              const std::vector<int>& signals, int max_records) {
  const int weight[6] = {8, 2, 7, 7, 3, 8};  // by System
  int sum = 0;
  for (System s : systems) sum += weight[s];
  std::vector<int> caps;
  for (System s : systems) caps.push_back(std::max(1, total * weight[s] / std::max(1, sum)));
  auto records = [&]() {
    int r = 0;
    for (size_t i = 0; i < systems.size(); i++) r += caps[i] * signals[i];
    return r;
  };
  while (records() > max_records) {
    size_t largest = (size_t)(std::max_element(caps.begin(), caps.end()) - caps.begin());
    if (caps[largest] <= 1) break;
    caps[largest]--;
  }
  return caps;
}

// Once a second: elevations, satellites that set leave their channel, the
// highest risen ones take free channels.
void update_tracking(std::vector<Sat>* sats, const std::vector<System>& systems,
                     const std::vector<int>& caps, double t, const LogClock& c, Random* rng) {
  double lat, lon;
  receiver_lat_lon(&lat, &lon);
  for (Sat& s : *sats) {
    double pos[3], clock;
    satellite_at(&s, t, c, pos, &clock);
    gnss::azimuth_elevation_at(kReceiver, lat, lon, pos, &s.azimuth, &s.elevation);
    if (s.tracked && s.elevation < kElevationMask) s.tracked = false;
  }
  for (size_t k = 0; k < systems.size(); k++) {
    int used = 0;
    std::vector<Sat*> candidates;
    for (Sat& s : *sats) {
      if (s.system != systems[k]) continue;
      if (s.tracked)
        used++;
      else if (s.elevation >= kElevationMask)
        candidates.push_back(&s);
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const Sat* a, const Sat* b) { return a->elevation > b->elevation; });
    for (Sat* s : candidates) {
      if (used >= caps[k]) break;
      s->tracked = s->new_lock = true;
      s->travel = 0;
      s->node_t[0] = s->node_t[1] = -1;
      s->ambiguity[0] = std::floor(rng->noise(5e6));
      s->ambiguity[1] = std::floor(rng->noise(5e6));
      for (int i = 2; i < s->signals; i++) s->ambiguity[i] = std::floor(rng->noise(5e6));
      used++;
    }
  }
}

// ---- navigation messages ----

void emit(FILE* out, const Bytes& payload, uint64_t* bytes) {
  Bytes f = frame(payload);
  fwrite(f.data(), 1, f.size(), out);
  *bytes += f.size();
}

// Navigation messages broadcast by the tracked satellites during GPS second
// `sec` of the week (t: the same instant in seconds since the first week's start).
void navigation_second(std::vector<Sat*>& tracked, int week, int sec, double t, const LogClock& c,
                       FILE* out, uint64_t* bytes) {
  bool first_gps = true, first_qzss = true, first_d1 = true;
  for (Sat* s : tracked) {
    switch (s->system) {
      case kGps:
      case kQzss: {
        if (sec % 6 != 0) break;
        int sfid = sec / 6 % 5 + 1;
        int set = (int)(t / 7200);
        double toe_sow = std::floor(sec / 7200.0) * 7200 + 3600;
        GpsLnav v = gps_ephemeris(s, set, week, t - sec + toe_sow, toe_sow);
        s->set = set;
        v.tow_count = (uint32_t)(sec / 6 + 1) % 100800;
        bool& first = s->system == kGps ? first_gps : first_qzss;
        if (sfid <= 3) {
          emit(out,
               gps_subframe_payload((uint8_t)s->id, (uint8_t)sfid,
                                    encode_gps_lnav(v)[(size_t)sfid - 1]),
               bytes);
        } else if (sfid == 4 && first) {
          GpsPage18 p = {s->system == kGps ? 1u : 3u,
                         {kAlphaRaw[0], kAlphaRaw[1], kAlphaRaw[2], kAlphaRaw[3]},
                         {kBetaRaw[0], kBetaRaw[1], kBetaRaw[2], kBetaRaw[3]},
                         -12,
                         2000,
                         (uint32_t)(sec / 4096 % 148),
                         (uint32_t)(week % 256),
                         18,
                         (uint32_t)(sec / 6 + 1) % 100800};
          emit(out, gps_subframe_payload((uint8_t)s->id, 4, encode_gps_page18(p)), bytes);
        }
        if (sfid == 4) first = false;
        break;
      }
      case kGlo: {
        if (sec % 2 != 0) break;
        long day;
        int tod;
        moscow_day(c.week_start_abs + t, &day, &tod);
        int frame_start = tod / 30 * 30;
        int string_number = (tod - frame_start) / 2 + 1;
        GloImmediate v = glonass_set(*s, t).raw;
        v.tk = (uint32_t)((frame_start / 3600) << 7 | (frame_start % 3600 / 60) << 1 |
                          (frame_start % 60 / 30));
        v.n4 = (uint32_t)(day / 1461 + 1);
        v.nt = (uint32_t)(day % 1461 + 1);
        GloString str = {};
        if (string_number <= 5) {
          str = encode_glonass(v)[(size_t)string_number - 1];
        } else if (string_number % 2 == 1) {
          int almanac_slot = (string_number - 7) / 2 + 5 * (frame_start / 30 % 5) + 1;
          if (almanac_slot <= 24) str = glonass_almanac_k_string(glonass_k(almanac_slot));
        }
        emit(out, glonass_string_payload((uint8_t)s->id, (uint8_t)string_number, str), bytes);
        break;
      }
      case kBds: {
        double tb = t - kBdsOffset;
        int bdt = (sec - 14 + kWeek) % kWeek;
        int bdt_week = week - 1356 - (sec < 14 ? 1 : 0);
        int set = (int)std::floor(tb / 3600);
        double toe_sow = std::floor(bdt / 3600.0) * 3600;
        double toe_rel = tb - bdt + toe_sow;
        if (s->orbit.geo) {  // D2 (the GEOs): one page every 3 s, ten pages a cycle
          if (bdt % 3 != 0) break;
          int page = bdt / 3 % 10 + 1;
          uint32_t cycle_start = (uint32_t)(bdt - 3 * (page - 1));
          BdsEph v = bds_ephemeris(s, set, bdt_week, toe_rel, toe_sow, cycle_start);
          s->set = set;
          emit(out, bds_payload(0xE3, (uint8_t)s->id, 1, encode_bds_d2(v)[(size_t)page - 1]),
               bytes);
        } else {  // D1: one subframe every 6 s
          if (bdt % 6 != 0) break;
          int sfid = bdt / 6 % 5 + 1;
          uint32_t sf1_sow = (uint32_t)(bdt - 6 * (sfid - 1));
          BdsEph v = bds_ephemeris(s, set, bdt_week, toe_rel, toe_sow, sf1_sow);
          s->set = set;
          if (sfid <= 3) {
            emit(out,
                 bds_payload(0xE2, (uint8_t)s->id, (uint8_t)sfid,
                             encode_bds_d1(v)[(size_t)sfid - 1]),
                 bytes);
          } else if (sfid == 5 && first_d1) {
            emit(out,
                 bds_payload(0xE2, (uint8_t)s->id, 5,
                             encode_bds_d1_page10((uint32_t)bdt, {4, 4, 100, -500, 3000})),
                 bytes);
          }
          if (sfid == 5) first_d1 = false;
        }
        break;
      }
      case kGal: {
        if (sec % 2 != 0) break;
        int word_type = sec / 2 % 6 + 1;
        int block = sec / 1800;
        GalEph v = galileo_ephemeris(s, (uint32_t)(block % 1024), week, t - sec + block * 1800.0,
                                     block * 1800.0, (uint32_t)(sec - sec % 12));
        s->set = (int)(t / 1800);
        GalWord w = word_type <= 5
                        ? encode_galileo(v)[(size_t)word_type - 1]
                        : encode_galileo_type6({-60, 20, 96, (uint32_t)week & 0xFF, (uint32_t)sec});
        emit(out, galileo_payload((uint8_t)s->id, w), bytes);
        break;
      }
      case kSbas: {
        SbasMessage m;
        if (sec % 3 == 0) {
          m = encode_sbas_mt9(sbas_geo(*s, sec));
        } else if (sec % 3 == 1) {
          m = encode_sbas_mt12((uint32_t)sec, (uint32_t)(week % 1024));
        } else {
          const uint32_t prn[3] = {127, 129, 133}, health[3] = {0, 0, 0};
          m = encode_sbas_mt17(prn, health);
        }
        emit(out, sbas_payload((uint8_t)s->id, m), bytes);
        break;
      }
    }
  }
}

}  // namespace

bool parse_log_options(int argc, char** argv, LogOptions* o, std::string* error) {
  for (int i = 0; i < argc; i++) {
    std::string word = argv[i];
    bool has_value = i + 1 < argc;
    const char* value = has_value ? argv[i + 1] : "";
    if (word == "--no-nav") {
      o->navigation = false;
      continue;
    }
    if (word == "--bds3") {
      o->beidou3 = true;
      continue;
    }
    if (!has_value) {
      *error = "missing value after " + word;
      return false;
    }
    i++;
    if (word == "--seconds")
      o->seconds = atof(value);
    else if (word == "--rate")
      o->rate_hz = atoi(value);
    else if (word == "--kind")
      o->extended = strcmp(value, "dcdd") != 0;
    else if (word == "--signals")
      o->signals = atoi(value);
    else if (word == "--profile")
      o->profile = value;
    else if (word == "--systems")
      o->systems = value;
    else if (word == "--sats")
      o->satellites = atoi(value);
    else if (word == "--week")
      o->week = atoi(value);
    else if (word == "--tow")
      o->start_tow = atof(value);
    else if (word == "--interval")
      o->interval = atof(value);
    else if (word == "--unflagged-slips")
      o->unflagged_slips = atof(value);
    else if (word == "--multipath")
      o->multipath = atof(value);
    else if (word == "--clock-jumps")
      o->clock_jump_every = atof(value);
    else if (word == "--gap" && sscanf(value, "%lf:%lf", &o->gap_start, &o->gap_seconds) == 2)
      continue;
    else if (word == "--slip" && sscanf(value, "%lf:%lf", &o->slip_at, &o->slip_cycles) == 2)
      continue;
    else {
      *error = "unknown option " + word;
      return false;
    }
  }
  if (o->rate_hz < 1 || o->rate_hz > 20 || o->signals < 1 || o->signals > kMaxSignals ||
      o->seconds <= 0 || o->satellites < 1 || o->week < 1024 || o->start_tow < 0 ||
      o->start_tow >= kWeek || profile_named(o->profile) == nullptr) {
    *error =
        "rate must be 1-20 Hz, signals 1 to 5, seconds and satellites positive, week 1024 "
        "or more, tow within the week, profile l1l2, l1l5 or multi";
    return false;
  }
  return true;
}

uint64_t write_log(const LogOptions& o, FILE* out, LogCounts* counts) {
  Random rng{0x5EED1234ULL};
  LogClock c = {o.week, (double)o.week * kWeek};
  std::vector<System> systems;
  const System order[] = {kGps, kSbas, kGlo, kGal, kQzss, kBds};
  for (System s : order)
    if (o.systems.find("GSREJC"[s]) != std::string::npos) systems.push_back(s);
  if (!o.extended)  // the original message carries no Galileo
    systems.erase(std::remove(systems.begin(), systems.end(), kGal), systems.end());
  std::vector<Sat> sats;
  for (System s : systems) {
    std::vector<Sat> more = constellation(s, o.beidou3);
    sats.insert(sats.end(), more.begin(), more.end());
  }
  const Profile& profile = *profile_named(o.profile);
  std::vector<int> signals;
  for (System s : systems)
    signals.push_back(std::min(o.extended ? o.signals : 1, (int)profile.by_system[s].size()));
  for (Sat& s : sats) {
    set_signals(&s, profile, o.extended ? o.signals : 1);
    if (s.system == kGlo) plan_glonass(&s, o.start_tow, o.start_tow + o.seconds, c.week_start_abs);
  }
  std::vector<int> caps = channel_caps(systems, o.satellites, signals,
                                       o.extended ? kMaxExtendedRecords : kMaxOriginalRecords);

  uint64_t bytes = 0;
  Unflagged_slips = o.unflagged_slips;
  Multipath = o.multipath;
  Clock_jump_every = o.clock_jump_every;
  Clock_jump_code_only = o.clock_jump_code_only;
  Made = LogCounts{};
  long step_ms = o.interval > 1 ? std::lround(o.interval * 1000) : 1000 / o.rate_hz;
  long epochs = (long)(o.seconds * 1000 / (double)step_ms);
  uint16_t period = (uint16_t)std::min(step_ms, 65535L);
  long start_ms = (long)std::llround(o.start_tow * 1000.0);
  std::vector<Sat*> tracked;
  for (long e = 0; e < epochs; e++) {
    double t_log = (double)e * (double)step_ms / 1000.0;
    long ms = start_ms + e * step_ms;  // since the first week's start
    double t = ms / 1000.0;
    int week = o.week + (int)(ms / (kWeek * 1000L));
    uint32_t tow_ms = (uint32_t)(ms % (kWeek * 1000L));
    uint8_t iod = (uint8_t)e;
    if (e == 0 || tow_ms % 1000 == 0) {
      update_tracking(&sats, systems, caps, t, c, &rng);
      tracked.clear();
      for (Sat& s : sats)
        if (s.tracked) tracked.push_back(&s);
    }
    if (tow_ms % 1000 == 0) {
      int sec = (int)(tow_ms / 1000);
      emit(out, position_message(week, sec), &bytes);
      if (o.navigation && step_ms <= 1000) navigation_second(tracked, week, sec, t, c, out, &bytes);
      // Longer steps: the seconds since the last epoch within each quarter hour's first minute.
      for (long back = step_ms / 1000 - 1; o.navigation && step_ms > 1000 && back >= 0; back--) {
        long s_ms = ms - back * 1000;
        if (e == 0 && back > 0) continue;
        int s_sec = (int)((s_ms % (kWeek * 1000L)) / 1000);
        if (s_sec % 900 < 60)
          navigation_second(tracked, o.week + (int)(s_ms / (kWeek * 1000L)), s_sec, s_ms / 1000.0,
                            c, out, &bytes);
      }
      if (sec % 47 == 0)
        emit(out, Payload(0xE9).u8(0).be16((uint32_t)week).f64(sec + 0.123456).bytes(), &bytes);
    }
    if (t_log >= o.gap_start && t_log < o.gap_start + o.gap_seconds) continue;
    if (Clock_jump_every > 0 && e > 0 &&
        std::floor(t_log / Clock_jump_every) >
            std::floor((t_log - step_ms / 1000.0) / Clock_jump_every))
      Made.clock_jumps++;
    if (o.slip_cycles != 0 && Made.slip_satellite == 0 && t_log >= o.slip_at) {
      for (Sat* s : tracked)
        if (s->system == kGps && !s->new_lock && s->signals > 1) {
          s->ambiguity[1] += o.slip_cycles;
          Made.slip_satellite = s->id;
          Made.slips++;
          break;
        }
    }
    if (o.extended) {
      emit(out, extended_message(tracked, iod, week, tow_ms, period, t, t_log, c, &rng), &bytes);
    } else {
      emit(out, Payload(0xDC).u8(iod).be16((uint32_t)week).be32(tow_ms).be16(period).bytes(),
           &bytes);
      emit(out, original_message(tracked, iod, t, t_log, c, &rng), &bytes);
    }
  }
  if (counts != nullptr) *counts = Made;
  return bytes;
}
