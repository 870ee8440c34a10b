// Synthetic raw logs. Every satellite has a smooth range; the pseudorange,
// carrier phase (range in cycles plus an ambiguity that changes at a loss of
// lock) and Doppler (minus the range rate in cycles) are taken from it, so the
// three observables agree. Navigation words come from the test encoders.
#include "log_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frame_builder.h"
#include "nav_encoders.h"

using namespace vlntest;

namespace {

constexpr double kC = 299792458.0;
constexpr double kPi = scale::kPi;
constexpr double kTwoPi = 2.0 * M_PI;
constexpr int kSecondsPerWeek = 604800;
constexpr int kMaxExtendedRecords = 64;
constexpr int kMaxOriginalRecords = 86;

// Deterministic pseudo-random numbers, so a log can be made again byte for byte.
struct Random {
  uint64_t state;
  double uniform() {  // [0, 1)
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return (double)(state >> 11) * 0x1p-53;
  }
  double noise(double amplitude) { return amplitude * (2.0 * uniform() - 1.0); }
};

enum System { kGps, kSbas, kGlo, kGal, kQzss, kBds };

struct Sat {
  System system;
  int id;  // PRN, slot or number as the receiver reports it in 0xE5
  int k;   // GLONASS frequency channel number
  double r0, amplitude, omega, phase0;
  double ambiguity[2];
  double f[2];  // carrier frequencies of the two signals, Hz
  int signal_code[2];
  int signals;
};

// Satellites a receiver might see, per constellation (receiver identifiers).
const std::vector<int>& pool(System s) {
  static const std::vector<int> gps = {2, 5, 7, 9, 13, 15, 18, 21, 24, 27, 29, 30};
  static const std::vector<int> sbas = {127, 129, 133, 138};
  static const std::vector<int> glo = {1, 2, 3, 8, 9, 10, 17, 18, 19, 24};
  static const std::vector<int> gal = {1, 3, 4, 5, 9, 11, 19, 24, 26, 30, 31, 33};
  static const std::vector<int> qzss = {193, 194, 195, 197};
  static const std::vector<int> bds = {1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  switch (s) {
    case kGps: return gps;
    case kSbas: return sbas;
    case kGlo: return glo;
    case kGal: return gal;
    case kQzss: return qzss;
    default: return bds;
  }
}

int glonass_k(int slot) { return slot * 5 % 14 - 7; }

bool is_geostationary(const Sat& s) { return s.system == kSbas || (s.system == kBds && s.id <= 5); }

void set_signals(Sat* s, int signals) {
  switch (s->system) {
    case kGps:
    case kQzss: s->f[0] = 1575.42e6, s->f[1] = 1227.60e6, s->signal_code[1] = 2; break;
    case kSbas: s->f[0] = 1575.42e6, s->f[1] = 0, signals = 1; break;
    case kGlo:
      s->f[0] = 1602.0e6 + s->k * 0.5625e6, s->f[1] = 1246.0e6 + s->k * 0.4375e6;
      s->signal_code[1] = 2;
      break;
    case kGal: s->f[0] = 1575.42e6, s->f[1] = 1207.14e6, s->signal_code[1] = 5; break;
    case kBds: s->f[0] = 1561.098e6, s->f[1] = 1207.14e6, s->signal_code[1] = 5; break;
  }
  s->signal_code[0] = 0;
  s->signals = signals;
}

std::vector<Sat> choose_satellites(const LogOptions& o, Random* rng) {
  std::vector<System> systems;
  const System order[] = {kGps, kSbas, kGlo, kGal, kQzss, kBds};
  for (System s : order)
    if (o.systems.find("GSREJC"[s]) != std::string::npos) systems.push_back(s);  // letter by System
  if (!o.extended) {  // the original message carries no Galileo
    systems.erase(std::remove(systems.begin(), systems.end(), kGal), systems.end());
  }
  std::vector<Sat> sats;
  int max_records = o.extended ? kMaxExtendedRecords : kMaxOriginalRecords;
  int records = 0;
  for (size_t round = 0; (int)sats.size() < o.satellites && round < 16; round++) {
    for (System s : systems) {
      if ((int)sats.size() >= o.satellites || round >= pool(s).size()) continue;
      Sat sat = {};
      sat.system = s;
      sat.id = pool(s)[round];
      sat.k = s == kGlo ? glonass_k(sat.id) : 0;
      set_signals(&sat, o.extended ? o.signals : 1);
      if (records + sat.signals > max_records) return sats;
      records += sat.signals;
      bool geo = is_geostationary(sat);
      sat.r0 = geo ? 3.70e7 + rng->noise(8e5) : 2.25e7 + rng->noise(1.5e6);
      sat.amplitude = geo ? 2e3 : 2.5e6 + rng->noise(5e5);
      sat.omega = geo ? kTwoPi / 86164.0 : kTwoPi / (s == kGlo ? 40544.0 : 43082.0);
      sat.phase0 = rng->uniform() * kTwoPi;
      sat.ambiguity[0] = std::floor(rng->noise(5e6));
      sat.ambiguity[1] = std::floor(rng->noise(5e6));
      sats.push_back(sat);
    }
  }
  return sats;
}

// ---- measurement messages ----

struct Observed {
  double pr, phase;
  float doppler;
  int cn0;
  bool slip;
};

Observed observe(Sat* s, int sig, double t, Random* rng) {
  double arg = s->omega * t + s->phase0;
  double range = s->r0 + s->amplitude * std::sin(arg);
  double rate = s->amplitude * s->omega * std::cos(arg);
  double lambda = kC / s->f[sig];
  Observed o;
  o.slip = rng->uniform() < 1.0 / 20000.0;
  if (o.slip) s->ambiguity[sig] += std::floor(rng->noise(1e4));
  double clock = 150.0 + 0.05 * t;  // receiver clock offset, metres
  o.pr = range + clock + rng->noise(0.6);
  o.phase = (range + clock) / lambda + s->ambiguity[sig] + rng->noise(0.01);
  o.doppler = (float)(-rate / lambda + rng->noise(0.05));
  o.cn0 = (int)(44.0 + 6.0 * std::sin(0.5 * arg) - 4.0 * sig + rng->noise(1.5));
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

Bytes extended_message(std::vector<Sat>* sats, uint8_t iod, int week, uint32_t tow_ms,
                       uint16_t period, double t, Random* rng) {
  int count = 0;
  for (const Sat& s : *sats) count += s.signals;
  Payload p(0xE5);
  p.u8(1).u8(iod).be16((uint32_t)week).be32(tow_ms).be16(period).u8(0).u8(0).u8((uint32_t)count);
  for (Sat& s : *sats) {
    for (int sig = 0; sig < s.signals; sig++) {
      Observed o = observe(&s, sig, t, rng);
      p.u8((uint32_t)(extended_constellation_code(s.system) | s.signal_code[sig] << 4));
      p.u8((uint32_t)s.id).u8((uint32_t)((s.k + 7) & 0x0F) | 0xF0).u8((uint32_t)o.cn0);
      p.f64(o.pr).f64(o.phase).f32(o.doppler).u8(3).u8(1).u8(2);
      p.be16(o.slip ? 0x0008 : 0x0000).be16(0);
    }
  }
  return p.bytes();
}

Bytes original_message(std::vector<Sat>* sats, uint8_t iod, double t, Random* rng) {
  Payload p(0xDD);
  p.u8(iod).u8((uint32_t)sats->size());
  for (Sat& s : *sats) {
    Observed o = observe(&s, 0, t, rng);
    p.u8((uint32_t)original_identifier(s))
        .u8((uint32_t)o.cn0)
        .f64(o.pr)
        .f64(o.phase)
        .f32(o.doppler);
    p.u8(o.slip ? 0x08 : 0x00);
  }
  return p.bytes();
}

Bytes position_message(int week, double tow, Random* rng) {
  Payload p(0xDF);
  p.u8(1).u8(3).be16((uint32_t)week).f64(tow);
  p.f64(-2148744.271 + rng->noise(0.02))
      .f64(4426641.113 + rng->noise(0.02))
      .f64(4044655.987 + rng->noise(0.02));
  p.f32(0).f32(0).f32(0).f64(45.0).f32(0.01f);
  for (int i = 0; i < 5; i++) p.f32(1.2f);
  return p.bytes();
}

// ---- navigation messages ----

// Plausible ephemeris parameters of satellite `id` for data set `set`.
GpsLnav gps_ephemeris(int id, int set, int week, uint32_t toc) {
  GpsLnav v = {};
  v.week = (uint32_t)(week % 1024);
  v.code_l2 = 1;
  v.ura = (uint32_t)(id % 3);
  v.iode = (uint32_t)((set * 7 + id) % 256);
  v.iodc = v.iode | (uint32_t)((id % 4) << 8);
  v.l2p = 1;
  v.tgd = -(id % 20);
  v.toc = v.toe = toc / 16;
  v.af2 = 0;
  v.af1 = -(id * 37 % 3000) + 1000;
  v.af0 = (int32_t)quantise(1e-5 * (id % 17) - 8e-5 + 1e-8 * set, 0x1p-31);
  v.crs = (int32_t)quantise(20.0 * std::sin(id + set), 0x1p-5);
  v.delta_n = (int32_t)quantise(4.5e-9, scale::k2_43 * kPi);
  v.m0 = (int32_t)quantise(std::fmod(0.37 * id + 0.05 * set, 2.0) - 1.0, scale::k2_31 * kPi);
  v.cuc = (int32_t)quantise(-2e-6 * std::cos(id), scale::k2_29);
  v.e = (uint32_t)quantise(0.002 + 0.0007 * (id % 20), scale::k2_33);
  v.cus = (int32_t)quantise(7e-6, scale::k2_29);
  v.sqrt_a = (uint32_t)quantise(5153.6 + 0.01 * id, 0x1p-19);
  v.fit = 0;
  v.cic = (int32_t)quantise(1e-7, scale::k2_29);
  v.omega0 = (int32_t)quantise(std::fmod(0.9 * id, 2.0) - 1.0, scale::k2_31 * kPi);
  v.cis = (int32_t)quantise(-5e-8, scale::k2_29);
  v.i0 = (int32_t)quantise(0.3 + 0.002 * id, scale::k2_31 * kPi);
  v.crc = (int32_t)quantise(230.0 + id, 0x1p-5);
  v.omega = (int32_t)quantise(std::fmod(0.61 * id, 2.0) - 1.0, scale::k2_31 * kPi);
  v.omega_dot = (int32_t)quantise(-8e-9, scale::k2_43 * kPi);
  v.idot = (int32_t)quantise(2e-10, scale::k2_43 * kPi);
  return v;
}

BdsEph bds_ephemeris(int id, int set, int bdt_week, uint32_t toc, uint32_t sow) {
  BdsEph v = {};
  bool geo = id <= 5;
  v.sow = sow;
  v.aodc = (uint32_t)(set % 32);
  v.urai = 2;
  v.wn = (uint32_t)bdt_week;
  v.toc = v.toe = toc / 8;
  v.tgd1 = -30 + id;
  v.tgd2 = 20 - id;
  v.alpha[0] = 14, v.alpha[1] = 2, v.alpha[2] = -60, v.alpha[3] = 30;
  v.beta[0] = 120, v.beta[1] = 2, v.beta[2] = -64, v.beta[3] = 16;
  v.a0 = -400000 + 20000 * id + set;
  v.a1 = 1000 - 50 * id;
  v.aode = (uint32_t)(set % 32);
  v.delta_n = geo ? 1000 : 12000;
  v.cuc = -40000 + 100 * id;
  v.m0 = -1500000000 + 100000000 * (id % 14);
  v.e = geo ? 300000u : 5000000u;
  v.cus = 41000;
  v.crc = geo ? -30000 : -5000;
  v.crs = 7777 * (id % 5);
  v.sqrt_a = geo ? 3411000000u : 2700000000u + 1000000u * (uint32_t)id;
  v.i0 = geo ? 10000000 : 700000000;
  v.cic = -99;
  v.omega_dot = -8000000;
  v.cis = 1234;
  v.idot = -812;
  v.omega0 = 2000000000 - 150000000 * (id % 13);
  v.omega = -100000 * id;
  return v;
}

GloImmediate glonass_ephemeris(int slot, uint32_t tk, uint32_t tb, uint32_t n4, uint32_t nt) {
  GloImmediate v = {};
  v.tk = tk;
  v.tb = tb;
  v.p1 = 1;
  v.m = 1;
  v.n = (uint32_t)slot;
  v.nt = nt;
  v.n4 = n4;
  v.ft = 3;
  v.x = (int32_t)(std::sin(slot + tb) * 25000.0 * 2048.0);
  v.y = (int32_t)(std::cos(slot + tb) * 25000.0 * 2048.0);
  v.z = (int32_t)(std::sin(2.0 * slot) * 12000.0 * 2048.0);
  v.dx = (int32_t)(std::cos(slot) * 2.5 * 1048576.0);
  v.dy = (int32_t)(std::sin(slot) * -2.5 * 1048576.0);
  v.dz = (int32_t)(1.2 * 1048576.0);
  v.ddx = 1, v.ddy = -1, v.ddz = 2;
  v.gamma = slot % 5 - 2;
  v.tau = -20000 * slot + (int32_t)tb;
  v.tau_c = -45;
  return v;
}

GalEph galileo_ephemeris(int id, uint32_t iodnav, uint32_t toe, int week, uint32_t tow) {
  GalEph v = {};
  v.iodnav = iodnav;
  v.toe = v.toc = toe / 60;
  v.m0 = 300000000 * (id % 7) - 900000000;
  v.e = 1000000u + 10000u * (uint32_t)id;
  v.sqrt_a = 2852000000u + (uint32_t)id * 1000;
  v.omega0 = 600000000 * (id % 3) - 600000000;
  v.i0 = 600000000;
  v.omega = 42 * id;
  v.idot = -800;
  v.omega_dot = -5000000;
  v.delta_n = 12000;
  v.cuc = -3000;
  v.cus = 4000;
  v.crc = 2000 + id;
  v.crs = -300;
  v.sisa = 107;
  v.svid = (uint32_t)id;
  v.cic = -5;
  v.cis = 5;
  v.af0 = -1234567 * (id % 9) + (int32_t)iodnav;
  v.af1 = -1000;
  v.ai0 = 200;
  v.ai1 = -3;
  v.ai2 = 100;
  v.bgd_a = -5;
  v.bgd_b = -6;
  v.wn = (uint32_t)(week - 1024) & 0xFFF;
  v.tow = tow;
  return v;
}

struct NavState {
  int glonass_frame_slot_k[25];
};

void emit(FILE* out, const Bytes& payload, uint64_t* bytes) {
  Bytes f = frame(payload);
  fwrite(f.data(), 1, f.size(), out);
  *bytes += f.size();
}

// Navigation messages broadcast during GPS second `sec` of the week.
void navigation_second(const std::vector<Sat>& sats, int week, int sec, double total_seconds,
                       FILE* out, uint64_t* bytes) {
  bool first_gps = true, first_qzss = true, first_d1 = true;
  for (const Sat& s : sats) {
    switch (s.system) {
      case kGps:
      case kQzss: {
        if (sec % 6 != 0) break;
        int sfid = sec / 6 % 5 + 1;
        int set = sec / 7200;
        uint32_t toc = (uint32_t)((set + 1) * 7200);
        GpsLnav v = gps_ephemeris(s.id % 64, set, week, toc);
        v.tow_count = (uint32_t)(sec / 6 + 1) % 100800;
        bool& first = s.system == kGps ? first_gps : first_qzss;
        if (sfid <= 3) {
          emit(out,
               gps_subframe_payload((uint8_t)s.id, (uint8_t)sfid,
                                    encode_gps_lnav(v)[(size_t)sfid - 1]),
               bytes);
        } else if (sfid == 4 && first) {
          GpsPage18 p = {s.system == kGps ? 1u : 3u,
                         {11, -1, -60, 60},
                         {88, 16, -64, -64},
                         -12,
                         2000,
                         (uint32_t)(sec / 4096 % 148),
                         (uint32_t)(week % 256),
                         18};
          emit(out, gps_subframe_payload((uint8_t)s.id, 4, encode_gps_page18(p)), bytes);
        }
        if (sfid == 4) first = false;
        break;
      }
      case kGlo: {
        if (sec % 2 != 0) break;
        double glonass_seconds = total_seconds - 18.0 + 10800.0;  // Moscow time
        long day = (long)std::floor((glonass_seconds - 504489600.0) / 86400.0);
        int tod = (int)(glonass_seconds - 504489600.0 - day * 86400.0);
        int frame_start = tod / 30 * 30;
        uint32_t tk = (uint32_t)((frame_start / 3600) << 7 | (frame_start % 3600 / 60) << 1 |
                                 (frame_start % 60 / 30));
        uint32_t tb = (uint32_t)((tod / 1800 * 1800 + 900) / 900);
        int string_number = (tod - frame_start) / 2 + 1;
        GloImmediate v =
            glonass_ephemeris(s.id, tk, tb, (uint32_t)(day / 1461 + 1), (uint32_t)(day % 1461 + 1));
        GloString str = {};
        if (string_number <= 5) {
          str = encode_glonass(v)[(size_t)string_number - 1];
        } else if (string_number % 2 == 1) {
          int almanac_slot = (string_number - 7) / 2 + 5 * (frame_start / 30 % 5) + 1;
          if (almanac_slot <= 24) str = glonass_almanac_k_string(glonass_k(almanac_slot));
        }
        emit(out, glonass_string_payload((uint8_t)s.id, (uint8_t)string_number, str), bytes);
        break;
      }
      case kBds: {
        int bdt = (sec - 14 + kSecondsPerWeek) % kSecondsPerWeek;
        int bdt_week = week - 1356 - (sec < 14 ? 1 : 0);
        int set = bdt / 3600;
        uint32_t toc = (uint32_t)(set * 3600);
        if (s.id <= 5) {  // D2: one page every 3 s, ten pages a cycle
          if (bdt % 3 != 0) break;
          int page = bdt / 3 % 10 + 1;
          uint32_t cycle_start = (uint32_t)(bdt - 3 * (page - 1));
          BdsEph v = bds_ephemeris(s.id, set, bdt_week, toc, cycle_start);
          emit(out, bds_payload(0xE3, (uint8_t)s.id, 1, encode_bds_d2(v)[(size_t)page - 1]), bytes);
        } else {  // D1: one subframe every 6 s
          if (bdt % 6 != 0) break;
          int sfid = bdt / 6 % 5 + 1;
          uint32_t sf1_sow = (uint32_t)(bdt - 6 * (sfid - 1));
          BdsEph v = bds_ephemeris(s.id, set, bdt_week, toc, sf1_sow);
          if (sfid <= 3) {
            emit(
                out,
                bds_payload(0xE2, (uint8_t)s.id, (uint8_t)sfid, encode_bds_d1(v)[(size_t)sfid - 1]),
                bytes);
          } else if (sfid == 5 && first_d1) {
            emit(out,
                 bds_payload(0xE2, (uint8_t)s.id, 5,
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
        GalEph v = galileo_ephemeris(s.id, (uint32_t)(block % 1024), (uint32_t)(block * 1800), week,
                                     (uint32_t)(sec - sec % 12));
        GalWord w = word_type <= 5 ? encode_galileo(v)[(size_t)word_type - 1]
                                   : encode_galileo_type6({-60, 20});
        emit(out, galileo_payload((uint8_t)s.id, w), bytes);
        break;
      }
      case kSbas: {
        SbasMessage m;
        if (sec % 3 == 0) {
          m = encode_sbas_mt9({(uint32_t)(sec % 256), (uint32_t)(sec % 86400 / 16), 2, 100000000,
                               -200000000, 3000000, 100, -100, 50, 1, -1, 2, 100, 10});
        } else if (sec % 3 == 1) {
          m = encode_sbas_mt12((uint32_t)sec, (uint32_t)(week % 1024));
        } else {
          const uint32_t prn[3] = {127, 129, 133}, health[3] = {0, 0, 0};
          m = encode_sbas_mt17(prn, health);
        }
        emit(out, sbas_payload((uint8_t)s.id, m), bytes);
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
    else if (word == "--systems")
      o->systems = value;
    else if (word == "--sats")
      o->satellites = atoi(value);
    else if (word == "--week")
      o->week = atoi(value);
    else if (word == "--tow")
      o->start_tow = atof(value);
    else {
      *error = "unknown option " + word;
      return false;
    }
  }
  if (o->rate_hz < 1 || o->rate_hz > 20 || o->signals < 1 || o->signals > 2 || o->seconds <= 0) {
    *error = "rate must be 1-20 Hz, signals 1 or 2, seconds positive";
    return false;
  }
  return true;
}

uint64_t write_log(const LogOptions& o, FILE* out) {
  Random rng{0x5EED1234ULL};
  std::vector<Sat> sats = choose_satellites(o, &rng);
  uint64_t bytes = 0;
  long epochs = (long)(o.seconds * o.rate_hz);
  uint16_t period = (uint16_t)(1000 / o.rate_hz);
  for (long e = 0; e < epochs; e++) {
    double t = (double)e / o.rate_hz;
    long tow_ms_total = (long)std::llround(o.start_tow * 1000.0) + e * period;
    int week = o.week + (int)(tow_ms_total / (kSecondsPerWeek * 1000L));
    uint32_t tow_ms = (uint32_t)(tow_ms_total % (kSecondsPerWeek * 1000L));
    uint8_t iod = (uint8_t)e;
    bool whole_second = tow_ms % 1000 == 0;
    if (whole_second) {
      int sec = (int)(tow_ms / 1000);
      emit(out, position_message(week, sec, &rng), &bytes);
      if (o.navigation)
        navigation_second(sats, week, sec, (double)week * kSecondsPerWeek + sec, out, &bytes);
      if (sec % 47 == 0)
        emit(out, Payload(0xE9).u8(0).be16((uint32_t)week).f64(sec + 0.123456).bytes(), &bytes);
    }
    if (o.extended) {
      emit(out, extended_message(&sats, iod, week, tow_ms, period, t, &rng), &bytes);
    } else {
      emit(out, Payload(0xDC).u8(iod).be16((uint32_t)week).be32(tow_ms).be16(period).bytes(),
           &bytes);
      emit(out, original_message(&sats, iod, t, &rng), &bytes);
    }
  }
  return bytes;
}
