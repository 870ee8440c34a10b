// The collector's life cycles per constellation and the parameters it stores.
#include <gtest/gtest.h>

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
  v.alpha[0] = 9;
  v.beta[3] = -1;
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
