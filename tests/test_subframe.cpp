// The collector's life cycles per constellation and the parameters it stores.
#include <gtest/gtest.h>

#include <functional>

#include "const.h"
#include "ephemeris.h"
#include "nav.h"
#include "nav_encoders.h"
#include "obs.h"
#include "subframe.h"

using namespace vlntest;

namespace {

std::array<std::array<U32, 10>, 3> gps_set(uint32_t iode, uint32_t iodc) {
  GpsLnav v = {};
  v.iode = iode, v.iodc = iodc;
  auto sf = encode_gps_lnav(v);
  return {stored_gps(sf[0]), stored_gps(sf[1]), stored_gps(sf[2])};
}

}  // namespace

TEST(Subframe, GpsSubframesIssueOfDataAndOrder) {
  SF_init();
  auto a = gps_set(0x11, 0x111);
  const U08 prn = 9;
  EXPECT_EQ(0, SF_gps_collect_subframe123(prn, 3, a[2].data()));  // 3, 1, 2: nothing yet
  EXPECT_EQ(0, SF_gps_collect_subframe123(prn, 1, a[0].data()));
  EXPECT_EQ(0, SF_gps_collect_subframe123(prn, 2, a[1].data()));
  EXPECT_EQ(1, SF_gps_collect_subframe123(prn, 3, a[2].data()));
  for (int sf = 1; sf <= 3; sf++)  // the same data set again
    EXPECT_EQ(0, SF_gps_collect_subframe123(prn, (U08)sf, a[(size_t)sf - 1].data()));
  auto b = gps_set(0x11, 0x211);  // new IODC, old IODE
  for (int sf = 1; sf <= 3; sf++)
    EXPECT_EQ(sf == 3, SF_gps_collect_subframe123(prn, (U08)sf, b[(size_t)sf - 1].data()) == 1);
  EXPECT_EQ(0x211, Eph_gps_qzss_get_reference(GNSS_TYPE_GPS, prn)->IODC);
  auto bad = gps_set(0x12, 0x211);  // inconsistent: decoded, not reported, subframes spent
  for (int sf = 1; sf <= 3; sf++)
    EXPECT_EQ(0, SF_gps_collect_subframe123(prn, (U08)sf, bad[(size_t)sf - 1].data()));
  EXPECT_EQ(0, SF_gps_collect_subframe123(prn, 3, a[2].data()));
}

// Page 18 goes to GPS or QZSS by its data ID and the signal it came on; the
// navigation file shows its fields.
TEST(Subframe, GpsPage18ByDataIdAndOrigin) {
  GpsPage18 p = {};
  p.wnt = 0x2A;
  struct Case {
    S16 from_qzss;
    uint32_t data_id, sv_id;
    S16 stored_for;
  };
  const Case cases[] = {
      {0, 0, 56, GNSS_TYPE_NONE}, {0, 1, 56, GNSS_TYPE_GPS},  {1, 0, 56, GNSS_TYPE_GPS},
      {1, 3, 56, GNSS_TYPE_QZSS}, {1, 1, 56, GNSS_TYPE_NONE}, {0, 1, 55, GNSS_TYPE_NONE},
  };
  for (const Case& c : cases) {
    Nav_init();
    p.data_id = c.data_id;
    auto w = stored_gps(encode_gps_page18(p));
    if (c.sv_id != 56) w[2] ^= 1u << 23;  // SV ID 55 instead of 56
    EXPECT_EQ(c.stored_for != GNSS_TYPE_NONE,
              SF_gps_qzss_update_subframe4(c.from_qzss, w.data()) == 1);
    for (S16 type : {GNSS_TYPE_GPS, GNSS_TYPE_QZSS}) {
      D64 a0, a1;
      S32 tot;
      S16 wnt;
      Nav_get_utc_parameter(type, &a0, &a1, &tot, &wnt);
      EXPECT_EQ(type == c.stored_for ? 1578 : 0, wnt) << c.data_id << " " << type;
    }
  }
  Nav_init();
}

// The last satellite number, so that the sanitizer build sees a store beyond its row.
TEST(Subframe, BeiDouD1RejectedSetStillStoresIonosphereAndPage10) {
  SF_init();
  Nav_init();
  BdsEph v = {};
  v.toc = 500;
  v.toe = 501;  // rejected by the decoder
  v.alpha[0] = 9, v.beta[3] = -1;
  auto sf = encode_bds_d1(v);
  for (int i = 1; i <= 3; i++)
    EXPECT_EQ(0,
              SF_bd2_d1_collect_subframe123(37, (U08)i, stored_bds(sf[(size_t)i - 1], 10).data()));
  F32 a[4];
  S32 b[4];
  Nav_get_iono_parameter(GNSS_TYPE_BD2, a, b);
  EXPECT_EQ(9 * 0x1p-30f, a[0]);
  EXPECT_EQ(-65536, b[3]);
  v.toe = 500;
  sf = encode_bds_d1(v);
  EXPECT_EQ(1, SF_bd2_d1_collect_subframe123(37, 3, stored_bds(sf[2], 10).data()));  // flags kept

  BdsUtc u = {-3, 7, 200, 0, 0};
  auto page10 = stored_bds(encode_bds_d1_page10(1000, u), 10);
  auto page9 = page10;
  page9[1] ^= 3u << 10;  // page number 9 instead of 10
  EXPECT_EQ(0, SF_bd2_d1_update_subframe5(37, 5, page9.data()));
  EXPECT_EQ(1, SF_bd2_d1_update_subframe5(37, 5, page10.data()));  // the file shows its fields
  EXPECT_EQ(-3, Nav_get_delta_t_ls(GNSS_TYPE_BD2));
  Nav_init();
}

// Numbers beyond each table (a satellite, a subframe, a string or a page one
// past either end) are refused before anything is stored; the sanitizer build
// sees any store that would land outside a table.
TEST(Subframe, NumbersOutsideTheTablesAreRefused) {
  SF_init();
  auto gps = gps_set(0x21, 0x121);
  for (U08 prn : {0, 33})
    for (U08 sf = 1; sf <= 3; sf++)
      EXPECT_EQ(0, SF_gps_collect_subframe123(prn, sf, gps[sf - 1].data()));
  for (U08 prn : {0, 11})  // the tables hold every QZSS PRN, 193-202
    for (U08 sf = 1; sf <= 3; sf++)
      EXPECT_EQ(0, SF_qzss_collect_subframe123(prn, sf, gps[sf - 1].data()));
  for (U08 sf : {0, 4}) EXPECT_EQ(0, SF_gps_collect_subframe123(32, sf, gps[0].data()));
  EXPECT_EQ(nullptr, Eph_gps_qzss_get_reference(GNSS_TYPE_QZSS, 11));
  EXPECT_EQ(nullptr, Eph_gps_qzss_get_reference(GNSS_TYPE_GPS, 0));

  auto glo = encode_glonass(GloImmediate{});
  for (U08 slot : {0, 25})
    for (U08 n = 1; n <= 5; n++)
      EXPECT_EQ(0, SF_glonass_collect_string(slot, n, stored_glonass(glo[n - 1]).data()));
  for (U08 n : {0, 6})
    EXPECT_EQ(0, SF_glonass_collect_string(24, n, stored_glonass(glo[0]).data()));

  BdsEph v = {};
  auto d1 = encode_bds_d1(v);
  for (U08 svid : {0, 64})  // BeiDou 1-63
    for (U08 sf = 1; sf <= 3; sf++)
      EXPECT_EQ(0, SF_bd2_d1_collect_subframe123(svid, sf, stored_bds(d1[sf - 1], 10).data()));
  for (U08 sf : {0, 4})
    EXPECT_EQ(0, SF_bd2_d1_collect_subframe123(58, sf, stored_bds(d1[0], 10).data()));
  auto d2 = encode_bds_d2(v);
  for (U08 svid : {0, 64})
    for (U08 page = 1; page <= 10; page++)
      EXPECT_EQ(0, SF_bd2_d2_collect_subframe1_page1_to_10(
                       svid, 1, stored_bds(d2[page - 1], 5).data(), page));
  for (U08 page : {0, 11})
    EXPECT_EQ(0, SF_bd2_d2_collect_subframe1_page1_to_10(63, 1, stored_bds(d2[0], 5).data(), page));

  auto gal = encode_galileo(GalEph{});
  for (U08 prn : {0, 37})
    for (U08 type = 1; type <= 5; type++)
      EXPECT_EQ(0, SF_gal_collect_word123456(prn, type, stored_galileo(gal[type - 1]).data()));
  for (U08 type : {0, 7})
    EXPECT_EQ(0, SF_gal_collect_word123456(36, type, stored_galileo(gal[0]).data()));

  for (S16 freq : {-1, 2}) EXPECT_EQ(0, Obs_get_lli(GNSS_TYPE_GPS, 32, freq));
  for (S16 geo : {-1, 19, 100})
    EXPECT_EQ(nullptr, Eph_sbas_get_reference(geo));  // PRN 119, 139, 220
}

// Every per-satellite table of the collectors and decoders, with neighbours n-1, n, n+1 at both
// ends of each range: their pieces arrive interleaved and the middle one completes its set while
// both neighbours are half collected, so that a piece, a flag or a record kept at a neighbour's
// index loses or spoils a record. Each record carries its own satellite's issue of data.
TEST(Subframe, NeighboursInterleavedInEveryTable) {
  struct Table {
    const char* name;
    std::vector<int> numbers;  // two runs of three neighbours
    int pieces;
    // What the set's last piece returns in each cycle (BeiDou GEOs: a new
    // set counts only when the next cycle repeats it).
    std::vector<S16> cycles;
    std::function<S16(int n, int piece, int cycle)> feed;
    std::function<long(int n)> stored;  // the issue of data of n's record
  };
  auto gps_like = [](bool qzss) {
    return [qzss](int n, int piece, int) {
      auto sf = gps_set((uint32_t)n, (uint32_t)(0x100 + n));
      const U32* w = sf[(size_t)piece].data();
      return qzss ? SF_qzss_collect_subframe123((U08)n, (U08)(piece + 1), w)
                  : SF_gps_collect_subframe123((U08)n, (U08)(piece + 1), w);
    };
  };
  auto bds = [](int n, int cycle) {
    BdsEph v = {};
    v.toe = v.toc = (uint32_t)((cycle == 0 ? 100 : 200) + n), v.sow = 3600;
    return v;
  };
  const std::vector<Table> tables = {
      {"GPS",
       {1, 2, 3, 30, 31, 32},
       3,
       {1},
       gps_like(false),
       [](int n) { return (long)Eph_gps_qzss_get_reference(GNSS_TYPE_GPS, (S16)n)->IODC - 0x100; }},
      {"QZSS",
       {1, 2, 3, 8, 9, 10},
       3,
       {1},
       gps_like(true),
       [](int n) {
         return (long)Eph_gps_qzss_get_reference(GNSS_TYPE_QZSS, (S16)n)->IODC - 0x100;
       }},
      {"GLONASS",
       {1, 2, 3, 22, 23, 24},
       5,
       {1},
       [](int n, int piece, int) {
         GloImmediate v = {};
         v.tb = (uint32_t)(10 + n);
         auto s = stored_glonass(encode_glonass(v)[(size_t)piece]);
         return SF_glonass_collect_string((U08)n, (U08)(piece + 1), s.data());
       },
       [](int n) { return (long)Eph_glonass_get_reference((S16)n)->tb / 900 - 10; }},
      {"BeiDou D1",
       {6, 7, 8, 56, 57, 58},
       3,
       {1},
       [&](int n, int piece, int) {
         auto w = stored_bds(encode_bds_d1(bds(n, 1))[(size_t)piece], 10);
         return SF_bd2_d1_collect_subframe123((U08)n, (U08)(piece + 1), w.data());
       },
       [](int n) { return (long)Eph_beidou_get_reference((S16)n)->toe / 8 - 200; }},
      {"BeiDou D2",
       {1, 2, 3, 61, 62, 63},
       10,
       {1, 0, 1},
       [&](int n, int piece, int cycle) {
         auto w = stored_bds(encode_bds_d2(bds(n, cycle))[(size_t)piece], 5);
         return SF_bd2_d2_collect_subframe1_page1_to_10((U08)n, 1, w.data(), (U08)(piece + 1));
       },
       [](int n) { return (long)Eph_beidou_get_reference((S16)n)->toe / 8 - 200; }},
      {"Galileo",
       {1, 2, 3, 34, 35, 36},
       5,
       {1},
       [](int n, int piece, int) {
         GalEph v = {};
         v.iodnav = (uint32_t)n;
         auto w = stored_galileo(encode_galileo(v)[(size_t)piece]);
         return SF_gal_collect_word123456((U08)n, (U08)(piece + 1), w.data());
       },
       [](int n) { return (long)Eph_gal_get_reference((S16)n)->IOD_nav[0]; }},
  };
  for (const Table& t : tables) {
    SF_init();
    Eph_init();
    for (size_t run = 0; run < t.numbers.size(); run += 3) {
      int b = t.numbers[run + 1];
      const int order[3] = {b, t.numbers[run], t.numbers[run + 2]};  // the middle one first
      int final_cycle = (int)t.cycles.size() - 1;
      for (int cycle = 0; cycle <= final_cycle; cycle++)
        for (int piece = 0; piece < t.pieces; piece++)
          for (int n : order) {
            bool last = piece == t.pieces - 1;
            if (last && cycle == final_cycle && n != b) continue;  // they complete afterwards
            EXPECT_EQ(last ? t.cycles[(size_t)cycle] : 0, t.feed(n, piece, cycle))
                << t.name << " " << n << " piece " << piece << " cycle " << cycle;
          }
      EXPECT_EQ(b, t.stored(b)) << t.name;
      for (int n : {order[1], order[2]}) {
        EXPECT_NE(b, t.stored(n)) << t.name << " " << n << " holds " << b << "'s record";
        EXPECT_EQ(1, t.feed(n, t.pieces - 1, final_cycle)) << t.name << " " << n;
      }
      for (int n : order) EXPECT_EQ(n, t.stored(n)) << t.name << " " << n;
    }
  }
}
