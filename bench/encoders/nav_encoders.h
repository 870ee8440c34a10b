// Navigation-message encoders written from the public interface documents
// (IS-GPS-200 LNAV, GLONASS ICD strings, BeiDou B1I D1/D2, Galileo OS SIS
// I/NAV, RTCA DO-229 SBAS). They take raw field values as broadcast and pack
// them into the receiver's message payloads, independently of the decoders.
#ifndef VLN_TEST_NAV_ENCODERS_H
#define VLN_TEST_NAV_ENCODERS_H

#include <array>
#include <cstdint>
#include <vector>

#include "frame_builder.h"

namespace vlntest {

// The scale values the navigation software uses for pi and some powers of two
// (decimal constants, as broadcast ephemerides are conventionally scaled).
namespace scale {
constexpr double kPi = 3.1415926535898;
constexpr double k2_31 = 4.6566128730773e-10;
constexpr double k2_33 = 1.1641532182693e-10;
constexpr double k2_43 = 1.1368683772161e-13;
constexpr double k2_29 = 1.8626451492309e-09;
}  // namespace scale

// Rounds a physical value to its raw field value for a given scale.
int64_t quantise(double value, double scale);

// ---- GPS / QZSS LNAV subframes 1-3 (and subframe 4 page 18) ----
struct GpsLnav {
  uint32_t tow_count, week, code_l2, ura, health, iodc, l2p;
  int32_t tgd;
  uint32_t toc;  // raw (x16 s)
  int32_t af2, af1, af0;
  uint32_t iode;
  int32_t crs, delta_n, m0, cuc;
  uint32_t e;
  int32_t cus;
  uint32_t sqrt_a, toe, fit, aodo;
  int32_t cic, omega0, cis, i0, crc, omega, omega_dot, idot;
};
struct GpsPage18 {
  uint32_t data_id;
  int32_t alpha[4], beta[4], a1, a0;
  uint32_t tot, wnt;
  int32_t dt_ls;
  uint32_t tow_count = 100;  // the HOW's: the next subframe starts at 6 x tow_count s
};
typedef std::array<uint32_t, 10> Words24;  // data bits 1-24 of each word, bit 1 most significant
std::array<Words24, 3> encode_gps_lnav(const GpsLnav& v);
Words24 encode_gps_page18(const GpsPage18& v);
Bytes gps_subframe_payload(uint8_t prn, uint8_t sfid, const Words24& words);

// ---- GLONASS strings 1-5 and almanac strings ----
struct GloImmediate {
  uint32_t tk, p1, tb, p2, bn, ln, p, p3, m, n, nt, ft, p4, en, n4;
  int32_t x, dx, ddx, y, dy, ddy, z, dz, ddz, gamma, delta_tau, tau;  // signed values
  int64_t tau_c;
};
typedef std::array<uint8_t, 9> GloString;  // string bits 80..9, most significant first
std::array<GloString, 5> encode_glonass(const GloImmediate& v);
GloString glonass_almanac_k_string(int k);  // odd almanac string carrying HnA = k
// Even almanac string (6-14) of a slot nA with its health bit CnA.
GloString glonass_almanac_health_string(int slot, int c);
Bytes glonass_string_payload(uint8_t slot, uint8_t string_number, const GloString& s);

// ---- BeiDou D1 subframes 1-3, subframe 5 page 10, D2 subframe 1 pages 1-10 ----
struct BdsEph {
  uint32_t sow, sath1, aodc, urai, wn, toc;  // toc raw (x8 s)
  int32_t tgd1, tgd2, alpha[4], beta[4], a2, a0, a1;
  uint32_t aode;
  int32_t delta_n, cuc, m0;
  uint32_t e;
  int32_t cus, crc, crs;
  uint32_t sqrt_a, toe;  // toe raw (x8 s)
  int32_t i0, cic, omega_dot, cis, idot, omega0, omega;
};
struct BdsUtc {
  int32_t dt_ls, dt_lsf;
  uint32_t wn_lsf;
  int32_t a0, a1;
};
typedef std::vector<uint8_t> InfoBits;  // the information bits as bytes, first bit first
std::array<InfoBits, 3> encode_bds_d1(const BdsEph& v);
InfoBits encode_bds_d1_page10(uint32_t sow, const BdsUtc& u);
std::array<InfoBits, 10> encode_bds_d2(const BdsEph& v);  // pages 1-10 (sow + 3 s per page)
Bytes bds_payload(uint8_t msg_id, uint8_t number, uint8_t sfid, const InfoBits& bits);

// ---- Galileo I/NAV word types 1-6 ----
struct GalEph {
  uint32_t iodnav, toe;  // toe raw (x60 s)
  int32_t m0;
  uint32_t e, sqrt_a;
  int32_t omega0, i0, omega, idot, omega_dot, delta_n, cuc, cus, crc, crs;
  uint32_t sisa, svid;
  int32_t cic, cis;
  uint32_t toc;
  int32_t af0, af1, af2;
  uint32_t ai0;
  int32_t ai1, ai2;
  uint32_t region[5];
  int32_t bgd_a, bgd_b;
  uint32_t e5b_hs, e1b_hs, e5b_dvs, e1b_dvs, wn, tow;
};
struct GalUtc {
  int32_t a0, a1;
  uint32_t t0t_hours = 0, wn0t = 0;  // reference time (hours of the week) and week modulo 256
  uint32_t tow = 0;                  // the word's time of week, s
};
typedef std::array<uint8_t, 16> GalWord;  // 128 word bits, bit 1 most significant
std::array<GalWord, 5> encode_galileo(const GalEph& v);
GalWord encode_galileo_type6(const GalUtc& u);
Bytes galileo_payload(uint8_t svid, const GalWord& w);

// ---- SBAS message types 9, 12, 17 (DO-229), 250 bits ----
struct SbasGeoNav {
  uint32_t iod, t0, ura;
  int32_t xg, yg, zg, vx, vy, vz, ax, ay, az, agf0, agf1;
};
typedef std::array<uint8_t, 32> SbasMessage;
SbasMessage encode_sbas_mt9(const SbasGeoNav& v);
SbasMessage encode_sbas_mt12(uint32_t tow, uint32_t week);
SbasMessage encode_sbas_mt17(const uint32_t prn[3], const uint32_t health[3], uint32_t t0 = 0);
Bytes sbas_payload(uint8_t prn, const SbasMessage& m);

// The stored word layouts the collector keeps (as the receiver's messages
// are unpacked): GPS data bits at 29-6; GLONASS three words with string bit 1
// at the least significant end of word 2; BeiDou word 1's 26 bits at 29-4 and
// the others' 22 at 29-8; Galileo 128 bits in four words, bit 1 first.
std::array<uint32_t, 10> stored_gps(const Words24& w);
std::array<uint32_t, 3> stored_glonass(const GloString& s);
std::vector<uint32_t> stored_bds(const InfoBits& s, int nwords);
std::array<uint32_t, 4> stored_galileo(const GalWord& w);

}  // namespace vlntest

#endif
