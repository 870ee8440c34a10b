// The navigation file: its header (written before parsing and again, in
// place, with the parameters gathered during the run) and one record per new
// ephemeris of GPS, QZSS, GLONASS, BeiDou and Galileo, in input order.
#include "rinex_nav.h"

#include <cstring>

#include "const.h"
#include "creation_date.h"
#include "ephemeris.h"
#include "nav.h"
#include "output_items.h"
#include "output_stage.h"
#include "rinex_config.h"
#include "rinex_format.h"
#include "text_buffer.h"
#include "time_convert.h"

namespace {

constexpr int kD19 = 20;
constexpr D64 kGalileoDataSource = 513.0;  // I/NAV E1-B data, clock terms for E5b/E1

const char* version_line() {
  if (RINEX_is_gnss_mixed_mode())
    return "     3.02           N: GNSS NAV DATA    M: Mixed            RINEX VERSION / TYPE\n";
  if (RINEX_is_able_to_output_measurement(GNSS_TYPE_GPS))
    return "     3.02           N: GNSS NAV DATA    G: GPS              RINEX VERSION / TYPE\n";
  if (RINEX_is_able_to_output_measurement(GNSS_TYPE_GLO))
    return "     3.02           N: GNSS NAV DATA    R: GLONASS          RINEX VERSION / TYPE\n";
  if (RINEX_is_able_to_output_measurement(GNSS_TYPE_BD2))
    return "     3.02           N: GNSS NAV DATA    C: BDS              RINEX VERSION / TYPE\n";
  if (RINEX_is_able_to_output_measurement(GNSS_TYPE_GAL))
    return "     3.02           N: GNSS NAV DATA    E: Galileo          RINEX VERSION / TYPE\n";
  // Every RINEX reader needs this line, so the selections without a version
  // text of their own still get one of the same fixed form.
  if (RINEX_is_able_to_output_measurement(GNSS_TYPE_QZSS))
    return "     3.02           N: GNSS NAV DATA    J: QZSS             RINEX VERSION / TYPE\n";
  if (RINEX_is_able_to_output_measurement(GNSS_TYPE_SBAS))
    return "     3.02           N: GNSS NAV DATA    S: SBAS             RINEX VERSION / TYPE\n";
  return "     3.02           N: GNSS NAV DATA    M: Mixed            RINEX VERSION / TYPE\n";
}

void put_iono_lines(Text* fp, S16 gnss_type, const char* name_a, const char* name_b) {
  F32 a[4];
  S32 b[4];
  Nav_get_iono_parameter(gnss_type, a, b);
  char fa[4][13];
  char fb[4][13];
  for (int i = 0; i < 4; i++) {
    D12_04_format(a[i], fa[i]);
    D12_04_format((D64)b[i], fb[i]);
  }
  text_printf(fp, "%4s%1s%12s%12s%12s%12s       %-20s\n", name_a, " ", fa[0], fa[1], fa[2], fa[3],
              "IONOSPHERIC CORR");
  if (name_b != nullptr)
    text_printf(fp, "%4s%1s%12s%12s%12s%12s       %-20s\n", name_b, " ", fb[0], fb[1], fb[2], fb[3],
                "IONOSPHERIC CORR");
}

void put_time_system_line(Text* fp, S16 gnss_type, const char* name) {
  D64 a0 = 0, a1 = 0;
  S32 tow = 0;
  S16 wn = 0;
  Nav_get_utc_parameter(gnss_type, &a0, &a1, &tow, &wn);
  char fa0[18];
  char fa1[17];
  D17_10_format(a0, fa0);
  D16_09_format(a1, fa1);
  text_printf(fp, "%4s %17s%16s%7ld%5d          %-20s\n", name, fa0, fa1, (long)tow, wn,
              "TIME SYSTEM CORR");
}

void put_orbit(Text* fp, D64 x, D64 y, D64 z, D64 w) {
  char f[4][kD19];
  D19_12_format(x, f[0]);
  D19_12_format(y, f[1]);
  D19_12_format(z, f[2]);
  D19_12_format(w, f[3]);
  text_printf(fp, "    %s%s%s%s\n", f[0], f[1], f[2], f[3]);
}

void put_orbit_7(Text* fp, D64 x, D64 y) {
  char f[2][kD19];
  D19_12_format(x, f[0]);
  D19_12_format(y, f[1]);
  text_printf(fp, "    %s%s\n", f[0], f[1]);
}

// First line for GPS, QZSS and Galileo: epoch is toc of week wn in GPS time.
void nav_record_sv_epoch_sv_clk(Text* fp_nav, U08 gnss, U08 sat_num, S16 wn, S32 toc, D64 clk_bias,
                                D64 clk_drift, D64 clk_drift_rate) {
  char letter = gnss == GNSS_TYPE_QZSS ? 'J' : gnss == GNSS_TYPE_GAL ? 'E' : 'G';
  UTC_TIME_T t;
  TCVT_convert_gps_to_utc_time_by_default_parameters(wn, toc, 0, &t);
  char f[3][kD19];
  D19_12_format(clk_bias, f[0]);
  D19_12_format(clk_drift, f[1]);
  D19_12_format(clk_drift_rate, f[2]);
  text_printf(fp_nav, "%c%02d %4d %2d %2d %2d %2d %2d%s%s%s\n", letter, sat_num, t.year, t.month,
              t.day, t.hour, t.minute, (int)t.sec, f[0], f[1], f[2]);
}

// First line for GLONASS and BeiDou, whose numbers print as 0n below ten.
void put_first_line(Text* fp, char letter, U08 number, const UTC_TIME_T& t, D64 c0, D64 c1,
                    D64 c2) {
  char f[3][kD19];
  D19_12_format(c0, f[0]);
  D19_12_format(c1, f[1]);
  D19_12_format(c2, f[2]);
  if (number < 10)
    text_printf(fp, "%c0%d %4d %2d %2d %2d %2d %2d%s%s%s\n", letter, number, t.year, t.month, t.day,
                t.hour, t.minute, (int)t.sec, f[0], f[1], f[2]);
  else
    text_printf(fp, "%c%2d %4d %2d %2d %2d %2d %2d%s%s%s\n", letter, number, t.year, t.month, t.day,
                t.hour, t.minute, (int)t.sec, f[0], f[1], f[2]);
}

// GLONASS epoch (UTC, from Moscow time) and message frame time (seconds of the UTC week).
void print_glonav_record_sv_epoch_sv_clk(Text* fp_nav, U08 slot, S32 tb, F32 tau_n, F32 gamma_n,
                                         U16 NT, S32 tod, S16 N4) {
  UTC_TIME_T t = {};
  TCVT_convert_glo_time_to_utc(N4, NT, tb, &t);
  S16 wn = 0;
  D64 frame_time = 0;
  TCVT_convert_glonass_to_gps_tow(N4, NT, tod, 0, &wn, &frame_time);
  F32 minus_tau_n = -tau_n;
  put_first_line(fp_nav, 'R', slot, t, minus_tau_n, gamma_n, frame_time);
}

void print_bd2nav_record_sv_epoch_sv_clk(Text* fp_nav, U08 svid, S16 wn, S32 toc, D64 af0, D64 af1,
                                         D64 af2) {
  S16 gps_wn = 0;
  D64 gps_tow = 0;
  TCVT_convert_bd_to_gps_time(wn, toc, &gps_wn, &gps_tow);
  UTC_TIME_T t;
  TCVT_convert_gps_to_utc_time_by_default_parameters(gps_wn, gps_tow, 0, &t);
  put_first_line(fp_nav, 'C', svid, t, af0, af1, af2);
}

// The text of one record; its capacity stays from record to record.
Text* record_text() {
  static Text record;
  record.s.clear();
  return &record;
}

}  // namespace

std::string RINEX_nav_header_text() {
  Text text;
  Text* fp = &text;
  char date_str[32];
  RINEX_get_create_utc_time(date_str);
  text_puts(fp, version_line());
  text_printf(fp, "%-20s%-20s%20s%-20s\n", "Velnora FW host", "Velnora Corp.", date_str,
              "PGM / RUN BY / DATE");
  text_printf(fp, "%-60s%-20s\n", "Velnora FW kernel 1.100.38", "COMMENT");
  text_printf(fp, "%-60s%-20s\n", "Vln test version ", "COMMENT");
  if (RINEX_is_able_to_output_measurement(GNSS_TYPE_GPS))
    put_iono_lines(fp, GNSS_TYPE_GPS, "GPSA", "GPSB");
  if (RINEX_is_able_to_output_measurement(GNSS_TYPE_QZSS))
    put_iono_lines(fp, GNSS_TYPE_QZSS, "QZSA", "QZSB");
  if (RINEX_is_able_to_output_measurement(GNSS_TYPE_BD2))
    put_iono_lines(fp, GNSS_TYPE_BD2, "BDSA", "BDSB");
  if (RINEX_is_able_to_output_measurement(GNSS_TYPE_GAL))
    put_iono_lines(fp, GNSS_TYPE_GAL, "GAL ", nullptr);
  if (RINEX_is_able_to_output_measurement(GNSS_TYPE_GPS))
    put_time_system_line(fp, GNSS_TYPE_GPS, "GPUT");
  if (RINEX_is_able_to_output_measurement(GNSS_TYPE_BD2))
    put_time_system_line(fp, GNSS_TYPE_BD2, "BDUT");
  if (RINEX_is_able_to_output_measurement(GNSS_TYPE_GAL))
    put_time_system_line(fp, GNSS_TYPE_GAL, "GAUT");
  text_printf(fp, "%6d%54s%-20s\n", Nav_get_delta_t_ls(GNSS_TYPE_GPS), " ", "LEAP SECONDS");
  text_printf(fp, "%60s%-20s\n", " ", "END OF HEADER");
  return text.s;
}

void RINEX_emit_nav_record(OutputStage& stage, S16 gnss_type, S16 number, const std::string& text) {
  U08* p = stage.reserve(ITEM_NAV, (U32)(text.size() + 2));
  p[0] = (U08)gnss_type;
  p[1] = (U08)number;
  memcpy(p + 2, text.data(), text.size());
  stage.commit((U32)(text.size() + 2));
}

void RINEX_put_nav_body(OutputStage& stage, U08 prn, U08 gnss_type) {
  const EPH_T* e = Eph_gps_qzss_get_reference(gnss_type, prn);
  if (e == nullptr) return;
  Text* fp = record_text();
  nav_record_sv_epoch_sv_clk(fp, gnss_type, prn, e->WN, e->toc, e->af0, e->af1, e->af2);
  put_orbit(fp, e->IODE, e->Crs, e->delta_n, e->M0);
  put_orbit(fp, e->Cuc, e->e, e->Cus, e->sqrt_A);
  put_orbit(fp, e->toe, e->Cic, e->Omega_0, e->Cis);
  put_orbit(fp, e->i0, e->Crc, e->omega, e->Omega_dot);
  put_orbit(fp, e->IDOT, e->codes_on_L2, e->WN, e->L2_P_data_flag);
  put_orbit(fp, e->SV_accuracy_meters, e->health, e->TGD, e->IODC);
  put_orbit_7(fp, e->start_tow, e->fit_interval);
  RINEX_emit_nav_record(stage, gnss_type, prn, fp->s);
}

void RINEX_put_glonav_body(OutputStage& stage, U08 slot, S08 knum) {
  const GLOEPH_T* e = Eph_glonass_get_reference(slot);
  if (e == nullptr) return;
  Text* fp = record_text();
  print_glonav_record_sv_epoch_sv_clk(fp, slot, e->tb, e->tau_n, e->gamma_n, e->NT, e->tod,
                                      (S16)e->N4);
  put_orbit(fp, e->Xn, e->dXn, e->ddXn, e->healthy);
  put_orbit(fp, e->Yn, e->dYn, e->ddYn, knum);
  put_orbit(fp, e->Zn, e->dZn, e->ddZn, e->En);
  RINEX_emit_nav_record(stage, GNSS_TYPE_GLO, slot, fp->s);
}

void RINEX_put_bd2nav_body(OutputStage& stage, U08 svid) {
  const BD2EPH_T* e = Eph_beidou_get_reference(svid);
  if (e == nullptr) return;
  Text* fp = record_text();
  print_bd2nav_record_sv_epoch_sv_clk(fp, svid, e->WN, e->toc, e->af0, e->af1, e->af2);
  put_orbit(fp, e->IODE, e->Crs, e->delta_n, e->M0);
  put_orbit(fp, e->Cuc, e->e, e->Cus, e->sqrt_A);
  put_orbit(fp, e->toe, e->Cic, e->Omega_0, e->Cis);
  put_orbit(fp, e->i0, e->Crc, e->omega, e->Omega_dot);
  put_orbit(fp, e->IDOT, 0.0, e->WN, 0.0);
  put_orbit(fp, e->SV_accuracy_meters, e->health, e->TGD1, e->TGD2);
  put_orbit_7(fp, e->start_tow, e->IODC);
  RINEX_emit_nav_record(stage, GNSS_TYPE_BD2, svid, fp->s);
}

void RINEX_put_gal_nav_body(OutputStage& stage, U08 svid) {
  const GALIEPH_T* e = Eph_gal_get_reference(svid);
  if (e == nullptr) return;
  Text* fp = record_text();
  nav_record_sv_epoch_sv_clk(fp, GNSS_TYPE_GAL, svid, e->WN, e->toc, e->af0, e->af1, e->af2);
  put_orbit(fp, e->IOD_nav[0], e->Crs, e->delta_n, e->M0);
  put_orbit(fp, e->Cuc, e->e, e->Cus, e->sqrt_A);
  put_orbit(fp, e->toe, e->Cic, e->Omega_0, e->Cis);
  put_orbit(fp, e->i0, e->Crc, e->omega, e->Omega_dot);
  put_orbit(fp, e->idot, kGalileoDataSource, e->WN, 0.0);
  put_orbit(fp, Eph_gal_sisa_meters(e->SISA), Eph_gal_health(*e), e->BGD_E1E5a, e->BGD_E1E5b);
  char tow[kD19];
  char zero[kD19];
  D19_12_format(e->TOW_5, tow);
  D19_12_format(0.0, zero);
  text_printf(fp, "    %19s%19s%19s%19s\n", tow, zero, "", "");
  RINEX_emit_nav_record(stage, GNSS_TYPE_GAL, svid, fp->s);
}
