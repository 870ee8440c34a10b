// The standard writers' navigation records, built from the ephemeris tables
// the moment a new set is decoded. Fields a version leaves to "spare" are
// blank; the GLONASS health is Bn before 3.04 and Bn's top bit from 3.04 on,
// and 3.05 and 4.00 add the GLONASS status line; the QZSS fit interval is a
// flag from 3.03 on; transmission times before the week of toc are negative.
#include "nav_records.h"

#include <cmath>
#include <cstdio>

#include "const.h"
#include "ephemeris.h"
#include "glonass_channels.h"
#include "rinex_format.h"
#include "settings.h"
#include "time_convert.h"

namespace {

constexpr S32 kSecondsPerWeek = 604800;
constexpr S32 kHalfWeek = 302400;
constexpr D64 kSecondsPerDay = 86400;
constexpr D64 kGalileoDataSource = 513.0;     // I/NAV E1-B data, clock terms for E5b/E1
constexpr D64 kUnknownDelay = 999999999.999;  // RINEX's "unknown" of the GLONASS line 4 delay
constexpr D64 kUnknownUrai = 15;
constexpr U08 kGlonassM = 1;  // the M field of GLONASS-M satellites

NavField v(D64 value) { return NavField{value, false}; }
const NavField kBlank = {0, true};

void line(NavRecord* r, int n, NavField a, NavField b, NavField c, NavField d) {
  r->f[n][0] = a, r->f[n][1] = b, r->f[n][2] = c, r->f[n][3] = d;
  if (n + 1 > r->lines) r->lines = n + 1;
}

// The transmission time in seconds of the week of toc: negative when the
// message went out in the week before.
D64 transmission_time(U32 start_tow, S32 toc) {
  S32 t = (S32)start_tow;
  if (t - toc > kHalfWeek) return (D64)(t - kSecondsPerWeek);
  if (toc - t > kHalfWeek) return (D64)(t + kSecondsPerWeek);
  return (D64)t;
}

void kepler_lines(NavRecord* r, D64 iod, D64 crs, D64 dn, D64 m0, D64 cuc, D64 e, D64 cus,
                  D64 sqrt_a, D64 toe, D64 cic, D64 omega0, D64 cis, D64 i0, D64 crc, D64 omega,
                  D64 omega_dot) {
  line(r, 1, v(iod), v(crs), v(dn), v(m0));
  line(r, 2, v(cuc), v(e), v(cus), v(sqrt_a));
  line(r, 3, v(toe), v(cic), v(omega0), v(cis));
  line(r, 4, v(i0), v(crc), v(omega), v(omega_dot));
}

bool gps_qzss(S16 gnss_type, S16 number, int version, NavRecord* r) {
  const EPH_T* e = Eph_gps_qzss_get_reference(gnss_type, number);
  if (e == nullptr) return false;
  r->message = "LNAV";
  TCVT_convert_gps_to_utc_time_by_default_parameters(e->WN, e->toc, 0, &r->epoch);
  line(r, 0, kBlank, v(e->af0), v(e->af1), v(e->af2));
  kepler_lines(r, e->IODE, e->Crs, e->delta_n, e->M0, e->Cuc, e->e, e->Cus, e->sqrt_A, e->toe,
               e->Cic, e->Omega_0, e->Cis, e->i0, e->Crc, e->omega, e->Omega_dot);
  line(r, 5, v(e->IDOT), v(e->codes_on_L2), v(e->WN), v(e->L2_P_data_flag));
  line(r, 6, v(Nav_ura_meters(e->URA)), v(e->health), v(e->TGD), v(e->IODC));
  // From 3.03 QZSS writes its fit interval flag, GPS the hours.
  bool flag = gnss_type == GNSS_TYPE_QZSS && version >= RINEX_303;
  D64 fit = flag ? (e->fit_interval > 4 ? 1 : 0) : e->fit_interval;
  line(r, 7, v(transmission_time(e->start_tow, e->toc)), v(fit), kBlank, kBlank);
  return true;
}

bool glonass(S16 slot, S08 k, int version, NavRecord* r) {
  const GLOEPH_T* e = Eph_glonass_get_reference(slot);
  if (e == nullptr) return false;
  r->message = "FDMA";
  TCVT_convert_glo_time_to_utc((S16)e->N4, e->NT, e->tb, &r->epoch);
  S16 wn = 0;
  D64 frame_time = 0;  // seconds of the UTC week
  TCVT_convert_glonass_to_gps_tow((S16)e->N4, e->NT, e->tod, 0, &wn, &frame_time);
  if (version == RINEX_211) frame_time -= kSecondsPerDay * std::floor(frame_time / kSecondsPerDay);
  U08 bn = (U08)(e->healthy >> 1);
  D64 health = version >= RINEX_304 ? (bn >> 2) & 1 : bn;
  line(r, 0, kBlank, v(-(D64)e->tau_n), v(e->gamma_n), v(frame_time));
  line(r, 1, v(e->Xn), v(e->dXn), v(e->ddXn), v(health));
  line(r, 2, v(e->Yn), v(e->dYn), v(e->ddYn), v(k));
  line(r, 3, v(e->Zn), v(e->dZn), v(e->ddZn), v(e->En));
  if (version >= RINEX_305) {
    U32 status = (U32)(e->P_flag & 3) | (U32)((e->p1234 >> 3) & 3) << 2 |
                 (U32)((e->p1234 >> 2) & 1) << 4 | (U32)((e->p1234 >> 1) & 1) << 5 |
                 (U32)(e->p1234 & 1) << 6 | (U32)(e->M & 3) << 7;
    bool m = e->M == kGlonassM;  // the delay and the accuracy index come with GLONASS-M
    // Health flags: bit 0 the almanac's C, bit 1 that C is known, bit 2 string 3's l.
    S08 c = Glo_almanac_health(slot);
    U32 flags = (c >= 0 ? (U32)c | 2u : 0u) | (U32)(e->healthy & 1) << 2;
    line(r, 4, v(status), v(m ? e->delta_tau_n : kUnknownDelay), v(m ? e->FT_index : kUnknownUrai),
         v(flags));
  }
  return true;
}

bool beidou(S16 number, NavRecord* r) {
  const BD2EPH_T* e = Eph_beidou_get_reference(number);
  if (e == nullptr) return false;
  r->message = Bds_is_geo(number) ? "D2" : "D1";  // the geostationary satellites broadcast D2
  S16 gps_wn = 0;
  D64 gps_tow = 0;
  TCVT_convert_bd_to_gps_time(e->WN, e->toc, &gps_wn, &gps_tow);
  TCVT_convert_gps_to_utc_time_by_default_parameters(gps_wn, gps_tow, 0, &r->epoch);
  line(r, 0, kBlank, v(e->af0), v(e->af1), v(e->af2));
  kepler_lines(r, e->IODE, e->Crs, e->delta_n, e->M0, e->Cuc, e->e, e->Cus, e->sqrt_A, e->toe,
               e->Cic, e->Omega_0, e->Cis, e->i0, e->Crc, e->omega, e->Omega_dot);
  line(r, 5, v(e->IDOT), kBlank, v(e->WN), kBlank);
  line(r, 6, v(Nav_ura_meters(e->URA)), v(e->health), v(e->TGD1), v(e->TGD2));
  line(r, 7, v(transmission_time(e->start_tow, e->toc)), v(e->IODC), kBlank, kBlank);
  return true;
}

bool galileo(S16 svid, NavRecord* r) {
  const GALIEPH_T* e = Eph_gal_get_reference(svid);
  if (e == nullptr) return false;
  r->message = "INAV";
  TCVT_convert_gps_to_utc_time_by_default_parameters(e->WN, e->toc, 0, &r->epoch);
  line(r, 0, kBlank, v(e->af0), v(e->af1), v(e->af2));
  kepler_lines(r, e->IOD_nav[0], e->Crs, e->delta_n, e->M0, e->Cuc, e->e, e->Cus, e->sqrt_A, e->toe,
               e->Cic, e->Omega_0, e->Cis, e->i0, e->Crc, e->omega, e->Omega_dot);
  line(r, 5, v(e->idot), v(kGalileoDataSource), v(e->WN), kBlank);
  line(r, 6, v(Eph_gal_sisa_meters(e->SISA)), v(Eph_gal_health(*e)), v(e->BGD_E1E5a),
       v(e->BGD_E1E5b));
  line(r, 7, v(transmission_time((U32)e->TOW_5, e->toc)), kBlank, kBlank, kBlank);
  return true;
}

void cut_trailing_blanks(std::string* s) {
  while (!s->empty() && s->back() == ' ') s->pop_back();
}

}  // namespace

D64 Nav_ura_meters(U08 index) {
  static const D64 kMeters[16] = {2.0,  2.8,   4.0,   5.7,   8.0,    11.3,   16.0,   32.0,
                                  64.0, 128.0, 256.0, 512.0, 1024.0, 2048.0, 4096.0, 8192.0};
  return kMeters[index & 15];
}

bool Nav_build_record(S16 gnss_type, S16 number, S08 glonass_k, int version, NavRecord* r) {
  *r = NavRecord{};
  r->gnss_type = gnss_type;
  r->number = number;
  switch (gnss_type) {
    case GNSS_TYPE_GPS: r->letter = 'G'; return gps_qzss(gnss_type, number, version, r);
    case GNSS_TYPE_QZSS: r->letter = 'J'; return gps_qzss(gnss_type, number, version, r);
    case GNSS_TYPE_GLO: r->letter = 'R'; return glonass(number, glonass_k, version, r);
    case GNSS_TYPE_BD2: r->letter = 'C'; return beidou(number, r);
    case GNSS_TYPE_GAL: r->letter = 'E'; return galileo(number, r);
    default: return false;
  }
}

void Nav_put_field(std::string* out, const NavField& f, int version) {
  char text[24];
  if (f.blank) {
    out->append(19, ' ');
    return;
  }
  RINEX_format_exponent(f.value, 19, 12, version == RINEX_211 ? 'D' : 'E', text);
  out->append(text, 19);
}

std::string Nav_record_text(const NavRecord& r, int version) {
  std::string out;
  char text[64];
  const UTC_TIME_T& t = r.epoch;
  if (version >= RINEX_400) {
    snprintf(text, sizeof text, "> EPH %c%02d %s\n", r.letter, r.number % 100, r.message);
    out += text;
  }
  if (version == RINEX_211)
    snprintf(text, sizeof text, "%2d %02d %2d %2d %2d %2d%5.1f", r.number % 100, t.year % 100,
             t.month, t.day, t.hour, t.minute, (D64)(int)t.sec);
  else
    snprintf(text, sizeof text, "%c%02d %4d %02d %02d %02d %02d %02d", r.letter, r.number % 100,
             t.year % 10000, t.month, t.day, t.hour, t.minute, (int)t.sec);
  out += text;
  for (int i = 1; i < 4; i++) Nav_put_field(&out, r.f[0][i], version);
  out += '\n';
  size_t indent = version == RINEX_211 ? 3 : 4;
  for (int n = 1; n < r.lines && n < NAV_MAX_LINES; n++) {
    size_t start = out.size();
    out.append(indent, ' ');
    for (const NavField& f : r.f[n]) Nav_put_field(&out, f, version);
    cut_trailing_blanks(&out);
    if (out.size() < start + indent) out.resize(start + indent, ' ');
    out += '\n';
  }
  return out;
}
