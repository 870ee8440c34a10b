#include "nav_encoders.h"

#include <cmath>
#include <initializer_list>

namespace vlntest {

namespace {

// Writes len bits of v (two's complement for negative values) at bit pos of a
// most-significant-first byte array.
template <size_t N>
void put(std::array<uint8_t, N>* a, int pos, int len, int64_t v) {
  for (int i = 0; i < len; i++) {
    int bit = (int)((uint64_t)v >> (len - 1 - i)) & 1;
    int p = pos + i;
    (*a)[(size_t)p / 8] =
        (uint8_t)(((*a)[(size_t)p / 8] & ~(0x80 >> (p % 8))) | (bit << (7 - p % 8)));
  }
}

void put_vec(std::vector<uint8_t>* a, int pos, int len, int64_t v) {
  for (int i = 0; i < len; i++) {
    int bit = (int)((uint64_t)v >> (len - 1 - i)) & 1;
    int p = pos + i;
    (*a)[(size_t)p / 8] =
        (uint8_t)(((*a)[(size_t)p / 8] & ~(0x80 >> (p % 8))) | (bit << (7 - p % 8)));
  }
}

// GLONASS sign-magnitude field of len bits.
int64_t sign_magnitude(int64_t v, int len) { return v < 0 ? ((int64_t)1 << (len - 1)) | -v : v; }

// ---- GPS ----
// Sets data bits first..first+len-1 (1-based) of a 24-bit LNAV word.
void gps(Words24* w, int word, int first, int len, int64_t v) {
  uint32_t mask = (uint32_t)((1ULL << len) - 1);
  int shift = 24 - (first + len - 1);
  (*w)[word - 1] = ((*w)[word - 1] & ~(mask << shift)) | (((uint32_t)v & mask) << shift);
}

// A 32-bit parameter split as 8 MSBs at bits 17-24 of one word and 24 LSBs in the next.
void gps32(Words24* w, int word, int64_t v) {
  gps(w, word, 17, 8, (uint32_t)v >> 24);
  gps(w, word + 1, 1, 24, (uint32_t)v & 0xFFFFFF);
}

void gps_tlm_how(Words24* w, uint32_t tow_count, int sfid) {
  gps(w, 1, 1, 8, 0x8B);
  gps(w, 2, 1, 17, tow_count);
  gps(w, 2, 20, 3, sfid);
}

// ---- BeiDou: info bits of a subframe/page as one stream ----
int bds_pos(int word, int bit) { return word == 1 ? bit - 1 : 26 + 22 * (word - 2) + bit - 1; }
void bds(InfoBits* s, int word, int bit, int len, int64_t v) {
  put_vec(s, bds_pos(word, bit), len, v);
}
InfoBits bds_frame(int fraid, uint32_t sow) {
  InfoBits s(28, 0);
  bds(&s, 1, 1, 11, 0x712);  // preamble 11100010010
  bds(&s, 1, 16, 3, fraid);
  bds(&s, 1, 19, 20, sow);  // 8 bits in word 1, 12 in word 2
  return s;
}

// D2 fields are split into pieces over words and pages, most significant first.
struct D2Piece {
  int page, word, bit, len;
};
void d2(std::array<InfoBits, 10>* pages, std::initializer_list<D2Piece> pieces, int64_t v) {
  int total = 0;
  for (const D2Piece& p : pieces) total += p.len;
  int done = 0;
  for (const D2Piece& p : pieces) {
    int64_t part = (int64_t)(((uint64_t)v >> (total - done - p.len)) & ((1ULL << p.len) - 1));
    put_vec(&(*pages)[(size_t)p.page - 1], bds_pos(p.word, p.bit), p.len, part);
    done += p.len;
  }
}

}  // namespace

int64_t quantise(double value, double scale) { return (int64_t)std::llround(value / scale); }

std::array<Words24, 3> encode_gps_lnav(const GpsLnav& v) {
  std::array<Words24, 3> sf = {};
  Words24& s1 = sf[0];
  gps_tlm_how(&s1, v.tow_count, 1);
  gps(&s1, 3, 1, 10, v.week);
  gps(&s1, 3, 11, 2, v.code_l2);
  gps(&s1, 3, 13, 4, v.ura);
  gps(&s1, 3, 17, 6, v.health);
  gps(&s1, 3, 23, 2, v.iodc >> 8);
  gps(&s1, 4, 1, 1, v.l2p);
  gps(&s1, 7, 17, 8, v.tgd);
  gps(&s1, 8, 1, 8, v.iodc & 0xFF);
  gps(&s1, 8, 9, 16, v.toc);
  gps(&s1, 9, 1, 8, v.af2);
  gps(&s1, 9, 9, 16, v.af1);
  gps(&s1, 10, 1, 22, v.af0);
  Words24& s2 = sf[1];
  gps_tlm_how(&s2, v.tow_count + 1, 2);
  gps(&s2, 3, 1, 8, v.iode);
  gps(&s2, 3, 9, 16, v.crs);
  gps(&s2, 4, 1, 16, v.delta_n);
  gps32(&s2, 4, v.m0);
  gps(&s2, 6, 1, 16, v.cuc);
  gps32(&s2, 6, v.e);
  gps(&s2, 8, 1, 16, v.cus);
  gps32(&s2, 8, v.sqrt_a);
  gps(&s2, 10, 1, 16, v.toe);
  gps(&s2, 10, 17, 1, v.fit);
  gps(&s2, 10, 18, 5, v.aodo);
  Words24& s3 = sf[2];
  gps_tlm_how(&s3, v.tow_count + 2, 3);
  gps(&s3, 3, 1, 16, v.cic);
  gps32(&s3, 3, v.omega0);
  gps(&s3, 5, 1, 16, v.cis);
  gps32(&s3, 5, v.i0);
  gps(&s3, 7, 1, 16, v.crc);
  gps32(&s3, 7, v.omega);
  gps(&s3, 9, 1, 24, v.omega_dot);
  gps(&s3, 10, 1, 8, v.iode);
  gps(&s3, 10, 9, 14, v.idot);
  return sf;
}

Words24 encode_gps_page18(const GpsPage18& v) {
  Words24 w = {};
  gps_tlm_how(&w, v.tow_count, 4);
  gps(&w, 3, 1, 2, v.data_id);
  gps(&w, 3, 3, 6, 56);
  gps(&w, 3, 9, 8, v.alpha[0]);
  gps(&w, 3, 17, 8, v.alpha[1]);
  gps(&w, 4, 1, 8, v.alpha[2]);
  gps(&w, 4, 9, 8, v.alpha[3]);
  gps(&w, 4, 17, 8, v.beta[0]);
  gps(&w, 5, 1, 8, v.beta[1]);
  gps(&w, 5, 9, 8, v.beta[2]);
  gps(&w, 5, 17, 8, v.beta[3]);
  gps(&w, 6, 1, 24, v.a1);
  gps(&w, 7, 1, 24, (uint32_t)v.a0 >> 8);
  gps(&w, 8, 1, 8, (uint32_t)v.a0 & 0xFF);
  gps(&w, 8, 9, 8, v.tot);
  gps(&w, 8, 17, 8, v.wnt);
  gps(&w, 9, 1, 8, v.dt_ls);
  return w;
}

Bytes gps_subframe_payload(uint8_t prn, uint8_t sfid, const Words24& words) {
  Payload p(0xE0);
  p.u8(prn).u8(sfid);
  for (uint32_t w : words) p.u8(w >> 16).u8(w >> 8).u8(w);
  return p.bytes();
}

// GLONASS: string bit n (80..9) lies at stream position 80 - n.
namespace {
void glo(GloString* s, int lowest_bit, int len, int64_t v) {
  put(s, 80 - (lowest_bit + len - 1), len, v);
}
void glo_sm(GloString* s, int lowest_bit, int len, int64_t v) {
  glo(s, lowest_bit, len, sign_magnitude(v, len));
}
}  // namespace

std::array<GloString, 5> encode_glonass(const GloImmediate& v) {
  std::array<GloString, 5> s = {};
  glo(&s[0], 77, 2, v.p1);
  glo(&s[0], 65, 12, v.tk);
  glo_sm(&s[0], 41, 24, v.dx);
  glo_sm(&s[0], 36, 5, v.ddx);
  glo_sm(&s[0], 9, 27, v.x);
  glo(&s[1], 78, 3, v.bn);
  glo(&s[1], 77, 1, v.p2);
  glo(&s[1], 70, 7, v.tb);
  glo_sm(&s[1], 41, 24, v.dy);
  glo_sm(&s[1], 36, 5, v.ddy);
  glo_sm(&s[1], 9, 27, v.y);
  glo(&s[2], 80, 1, v.p3);
  glo_sm(&s[2], 69, 11, v.gamma);
  glo(&s[2], 66, 2, v.p);
  glo(&s[2], 65, 1, v.ln);
  glo_sm(&s[2], 41, 24, v.dz);
  glo_sm(&s[2], 36, 5, v.ddz);
  glo_sm(&s[2], 9, 27, v.z);
  glo_sm(&s[3], 59, 22, v.tau);
  glo_sm(&s[3], 54, 5, v.delta_tau);
  glo(&s[3], 49, 5, v.en);
  glo(&s[3], 34, 1, v.p4);
  glo(&s[3], 30, 4, v.ft);
  glo(&s[3], 16, 11, v.nt);
  glo(&s[3], 11, 5, v.n);
  glo(&s[3], 9, 2, v.m);
  glo_sm(&s[4], 38, 32, v.tau_c);
  glo(&s[4], 32, 5, v.n4);
  return s;
}

GloString glonass_almanac_k_string(int k) {
  GloString s = {};
  glo(&s, 10, 5, k);  // HnA, two's complement: -7..-1 as 25..31
  return s;
}

GloString glonass_almanac_health_string(int slot, int c) {
  GloString s = {};
  glo(&s, 80, 1, c);     // CnA
  glo(&s, 73, 5, slot);  // nA
  return s;
}

Bytes glonass_string_payload(uint8_t slot, uint8_t string_number, const GloString& s) {
  Payload p(0xE1);
  p.u8(slot + 64u).u8(string_number);
  for (uint8_t b : s) p.u8(b);
  return p.bytes();
}

std::array<InfoBits, 3> encode_bds_d1(const BdsEph& v) {
  std::array<InfoBits, 3> sf = {bds_frame(1, v.sow), bds_frame(2, v.sow + 6),
                                bds_frame(3, v.sow + 12)};
  InfoBits* s = &sf[0];
  bds(s, 2, 13, 1, v.sath1);
  bds(s, 2, 14, 5, v.aodc);
  bds(s, 2, 19, 4, v.urai);
  bds(s, 3, 1, 13, v.wn);
  bds(s, 3, 14, 17, v.toc);
  bds(s, 4, 9, 10, v.tgd1);
  bds(s, 4, 19, 10, v.tgd2);
  bds(s, 5, 7, 8, v.alpha[0]);
  bds(s, 5, 15, 8, v.alpha[1]);
  bds(s, 6, 1, 8, v.alpha[2]);
  bds(s, 6, 9, 8, v.alpha[3]);
  bds(s, 6, 17, 8, v.beta[0]);
  bds(s, 7, 3, 8, v.beta[1]);
  bds(s, 7, 11, 8, v.beta[2]);
  bds(s, 7, 19, 8, v.beta[3]);
  bds(s, 8, 5, 11, v.a2);
  bds(s, 8, 16, 24, v.a0);
  bds(s, 9, 18, 22, v.a1);
  bds(s, 10, 18, 5, v.aode);
  s = &sf[1];
  bds(s, 2, 13, 16, v.delta_n);
  bds(s, 3, 7, 18, v.cuc);
  bds(s, 4, 3, 32, v.m0);
  bds(s, 5, 13, 32, v.e);
  bds(s, 7, 1, 18, v.cus);
  bds(s, 7, 19, 18, v.crc);
  bds(s, 8, 15, 18, v.crs);
  bds(s, 9, 11, 32, v.sqrt_a);
  bds(s, 10, 21, 2, v.toe >> 15);
  s = &sf[2];
  bds(s, 2, 13, 15, v.toe & 0x7FFF);
  bds(s, 3, 6, 32, v.i0);
  bds(s, 4, 16, 18, v.cic);
  bds(s, 5, 12, 24, v.omega_dot);
  bds(s, 6, 14, 18, v.cis);
  bds(s, 7, 10, 14, v.idot);
  bds(s, 8, 2, 32, v.omega0);
  bds(s, 9, 12, 32, v.omega);
  return sf;
}

InfoBits encode_bds_d1_page10(uint32_t sow, const BdsUtc& u) {
  InfoBits s = bds_frame(5, sow);
  bds(&s, 2, 14, 7, 10);  // Pnum
  bds(&s, 2, 21, 8, u.dt_ls);
  bds(&s, 3, 7, 8, u.dt_lsf);
  bds(&s, 3, 15, 8, u.wn_lsf);
  bds(&s, 4, 1, 32, u.a0);
  bds(&s, 5, 11, 24, u.a1);
  return s;
}

std::array<InfoBits, 10> encode_bds_d2(const BdsEph& v) {
  std::array<InfoBits, 10> pages;
  for (int p = 1; p <= 10; p++) {
    pages[(size_t)p - 1] = bds_frame(1, v.sow + 3u * (uint32_t)(p - 1));
    bds(&pages[(size_t)p - 1], 2, 13, 4, p);
  }
  auto* g = &pages;
  d2(g, {{1, 2, 17, 1}}, v.sath1);
  d2(g, {{1, 2, 18, 5}}, v.aodc);
  d2(g, {{1, 3, 1, 4}}, v.urai);
  d2(g, {{1, 3, 5, 13}}, v.wn);
  d2(g, {{1, 3, 18, 5}, {1, 4, 1, 12}}, v.toc);
  d2(g, {{1, 4, 13, 10}}, v.tgd1);
  d2(g, {{1, 5, 1, 10}}, v.tgd2);
  d2(g, {{3, 4, 11, 12}, {3, 5, 1, 12}}, v.a0);
  d2(g, {{3, 5, 13, 4}, {4, 2, 17, 6}, {4, 3, 1, 12}}, v.a1);
  d2(g, {{4, 3, 13, 10}, {4, 4, 1, 1}}, v.a2);
  d2(g, {{4, 4, 2, 5}}, v.aode);
  d2(g, {{4, 4, 7, 16}}, v.delta_n);
  d2(g, {{4, 5, 1, 14}, {5, 2, 17, 4}}, v.cuc);
  d2(g, {{5, 2, 21, 2}, {5, 3, 1, 22}, {5, 4, 1, 8}}, v.m0);
  d2(g, {{5, 4, 9, 14}, {5, 5, 1, 4}}, v.cus);
  d2(g, {{5, 5, 5, 10}, {6, 2, 17, 6}, {6, 3, 1, 16}}, v.e);
  d2(g, {{6, 3, 17, 6}, {6, 4, 1, 22}, {6, 5, 1, 4}}, v.sqrt_a);
  d2(g, {{6, 5, 5, 10}, {7, 2, 17, 6}, {7, 3, 1, 2}}, v.cic);
  d2(g, {{7, 3, 3, 18}}, v.cis);
  d2(g, {{7, 3, 21, 2}, {7, 4, 1, 15}}, v.toe);
  d2(g, {{7, 4, 16, 7}, {7, 5, 1, 14}, {8, 2, 17, 6}, {8, 3, 1, 5}}, v.i0);
  d2(g, {{8, 3, 6, 17}, {8, 4, 1, 1}}, v.crc);
  d2(g, {{8, 4, 2, 18}}, v.crs);
  d2(g, {{8, 4, 20, 3}, {8, 5, 1, 16}, {9, 2, 17, 5}}, v.omega_dot);
  d2(g, {{9, 2, 22, 1}, {9, 3, 1, 22}, {9, 4, 1, 9}}, v.omega0);
  d2(g, {{9, 4, 10, 13}, {9, 5, 1, 14}, {10, 2, 17, 5}}, v.omega);
  d2(g, {{10, 2, 22, 1}, {10, 3, 1, 13}}, v.idot);
  return pages;
}

Bytes bds_payload(uint8_t msg_id, uint8_t number, uint8_t sfid, const InfoBits& bits) {
  Payload p(msg_id);
  p.u8(number + 200u).u8(sfid);
  for (uint8_t b : bits) p.u8(b);
  return p.bytes();
}

namespace {
// Galileo word bit `first` (1-based).
void gal(GalWord* w, int first, int len, int64_t v) { put(w, first - 1, len, v); }
GalWord gal_word(int type, uint32_t iodnav) {
  GalWord w = {};
  gal(&w, 1, 6, type);
  if (type <= 4) gal(&w, 7, 10, iodnav);
  return w;
}
}  // namespace

std::array<GalWord, 5> encode_galileo(const GalEph& v) {
  std::array<GalWord, 5> w = {gal_word(1, v.iodnav), gal_word(2, v.iodnav), gal_word(3, v.iodnav),
                              gal_word(4, v.iodnav), gal_word(5, 0)};
  gal(&w[0], 17, 14, v.toe);
  gal(&w[0], 31, 32, v.m0);
  gal(&w[0], 63, 32, v.e);
  gal(&w[0], 95, 32, v.sqrt_a);
  gal(&w[1], 17, 32, v.omega0);
  gal(&w[1], 49, 32, v.i0);
  gal(&w[1], 81, 32, v.omega);
  gal(&w[1], 113, 14, v.idot);
  gal(&w[2], 17, 24, v.omega_dot);
  gal(&w[2], 41, 16, v.delta_n);
  gal(&w[2], 57, 16, v.cuc);
  gal(&w[2], 73, 16, v.cus);
  gal(&w[2], 89, 16, v.crc);
  gal(&w[2], 105, 16, v.crs);
  gal(&w[2], 121, 8, v.sisa);
  gal(&w[3], 17, 6, v.svid);
  gal(&w[3], 23, 16, v.cic);
  gal(&w[3], 39, 16, v.cis);
  gal(&w[3], 55, 14, v.toc);
  gal(&w[3], 69, 31, v.af0);
  gal(&w[3], 100, 21, v.af1);
  gal(&w[3], 121, 6, v.af2);
  gal(&w[4], 7, 11, v.ai0);
  gal(&w[4], 18, 11, v.ai1);
  gal(&w[4], 29, 14, v.ai2);
  for (int i = 0; i < 5; i++) gal(&w[4], 43 + i, 1, v.region[i]);
  gal(&w[4], 48, 10, v.bgd_a);
  gal(&w[4], 58, 10, v.bgd_b);
  gal(&w[4], 68, 2, v.e5b_hs);
  gal(&w[4], 70, 2, v.e1b_hs);
  gal(&w[4], 72, 1, v.e5b_dvs);
  gal(&w[4], 73, 1, v.e1b_dvs);
  gal(&w[4], 74, 12, v.wn);
  gal(&w[4], 86, 20, v.tow);
  return w;
}

GalWord encode_galileo_type6(const GalUtc& u) {
  GalWord w = gal_word(6, 0);
  gal(&w, 7, 32, u.a0);
  gal(&w, 39, 24, u.a1);
  gal(&w, 63, 8, 18);  // delta t_LS
  gal(&w, 71, 8, (int32_t)u.t0t_hours);
  gal(&w, 79, 8, (int32_t)u.wn0t);
  gal(&w, 106, 20, (int32_t)u.tow);
  return w;
}

Bytes galileo_payload(uint8_t svid, const GalWord& w) {
  std::array<uint8_t, 24> p = {};
  p[0] = 0xE6;
  p[2] = 3;  // sub-ID: Galileo I/NAV
  p[3] = svid;
  put(&p, 5 * 8, 2, 0);  // even/odd and page type bits (not read)
  for (int bit = 0; bit < 112; bit++)
    put(&p, 5 * 8 + 2 + bit, 1, (w[(size_t)bit / 8] >> (7 - bit % 8)) & 1);
  put(&p, 21 * 8, 2, 2);  // odd part
  for (int bit = 112; bit < 128; bit++)
    put(&p, 21 * 8 + 2 + bit - 112, 1, (w[(size_t)bit / 8] >> (7 - bit % 8)) & 1);
  return Bytes(p.begin(), p.end());
}

namespace {
SbasMessage sbas_message(int type) {
  SbasMessage m = {};
  put(&m, 0, 8, 0x53);  // preamble
  put(&m, 8, 6, type);
  return m;
}
}  // namespace

SbasMessage encode_sbas_mt9(const SbasGeoNav& v) {
  SbasMessage m = sbas_message(9);
  put(&m, 14, 8, v.iod);
  put(&m, 22, 13, v.t0);
  put(&m, 35, 4, v.ura);
  put(&m, 39, 30, v.xg);
  put(&m, 69, 30, v.yg);
  put(&m, 99, 25, v.zg);
  put(&m, 124, 17, v.vx);
  put(&m, 141, 17, v.vy);
  put(&m, 158, 18, v.vz);
  put(&m, 176, 10, v.ax);
  put(&m, 186, 10, v.ay);
  put(&m, 196, 10, v.az);
  put(&m, 206, 12, v.agf0);
  put(&m, 218, 8, v.agf1);
  return m;
}

SbasMessage encode_sbas_mt12(uint32_t tow, uint32_t week) {
  SbasMessage m = sbas_message(12);
  put(&m, 121, 20, tow);
  put(&m, 141, 10, week);
  return m;
}

SbasMessage encode_sbas_mt17(const uint32_t prn[3], const uint32_t health[3], uint32_t t0) {
  SbasMessage m = sbas_message(17);
  put(&m, 215, 11, t0);  // the almanacs' time of day, in 64 s
  for (int i = 0; i < 3; i++) {
    put(&m, 14 + 67 * i, 2, 1);  // data ID
    put(&m, 16 + 67 * i, 8, prn[i]);
    put(&m, 24 + 67 * i, 8, health[i]);
  }
  return m;
}

Bytes sbas_payload(uint8_t prn, const SbasMessage& m) {
  Payload p(0xE6);
  p.u8(0).u8(1).u8(prn);  // sub-ID 1: SBAS; byte 3 the PRN
  for (uint8_t b : m) p.u8(b);
  return p.bytes();
}

std::array<uint32_t, 10> stored_gps(const Words24& w) {
  std::array<uint32_t, 10> out;
  for (size_t k = 0; k < 10; k++) out[k] = w[k] << 6;
  return out;
}

std::array<uint32_t, 3> stored_glonass(const GloString& b) {
  return {((uint32_t)b[0] << 8) | b[1],
          ((uint32_t)b[2] << 24) | ((uint32_t)b[3] << 16) | ((uint32_t)b[4] << 8) | b[5],
          ((uint32_t)b[6] << 24) | ((uint32_t)b[7] << 16) | ((uint32_t)b[8] << 8)};
}

namespace {
uint32_t stream_bits(const uint8_t* s, int first, int len) {
  uint32_t v = 0;
  for (int i = first; i < first + len; i++) v = (v << 1) | ((s[i / 8] >> (7 - i % 8)) & 1u);
  return v;
}
}  // namespace

std::vector<uint32_t> stored_bds(const InfoBits& s, int nwords) {
  std::vector<uint32_t> out((size_t)nwords);
  out[0] = stream_bits(s.data(), 0, 26) << 4;
  for (int k = 2; k <= nwords; k++)
    out[(size_t)k - 1] = stream_bits(s.data(), 26 + 22 * (k - 2), 22) << 8;
  return out;
}

std::array<uint32_t, 4> stored_galileo(const GalWord& w) {
  std::array<uint32_t, 4> out;
  for (size_t i = 0; i < 4; i++) out[i] = stream_bits(w.data(), 32 * (int)i, 32);
  return out;
}

}  // namespace vlntest
