#include <gtest/gtest.h>

#include "const.h"
#include "nav.h"

TEST(Nav, StartValuesAndConstellationsServed) {
  Nav_init();
  EXPECT_EQ(18, Nav_get_delta_t_ls(GNSS_TYPE_GPS));
  EXPECT_EQ(18, Nav_get_delta_t_ls(GNSS_TYPE_GAL));
  EXPECT_EQ(18, Nav_get_delta_t_ls(GNSS_TYPE_GLO));
  EXPECT_EQ(0, Nav_get_delta_t_ls(GNSS_TYPE_QZSS));
  EXPECT_EQ(0, Nav_get_delta_t_ls(GNSS_TYPE_BD2));
  Nav_set_delta_t_ls(GNSS_TYPE_GAL, 5);
  EXPECT_EQ(18, Nav_get_delta_t_ls(GNSS_TYPE_GAL));

  D64 a0 = 7, a1 = 7;
  S32 tot = 7;
  S16 wn = 7;
  EXPECT_EQ(0, Nav_get_utc_parameter(GNSS_TYPE_GLO, &a0, &a1, &tot, &wn));
  EXPECT_EQ(7, tot);
  Nav_set_utc_parameter(GNSS_TYPE_BD2, 1e-9, 2e-15, 14, 1600);
  EXPECT_EQ(1, Nav_get_utc_parameter(GNSS_TYPE_BD2, &a0, &a1, &tot, &wn));
  EXPECT_EQ(1e-9, a0);
  EXPECT_EQ(1600, wn);

  const F32 a[4] = {1, 2, 3, 4};
  const S32 b[4] = {5, 6, 7, 8};
  const F32 a2[4] = {9, 9, 9, 9};
  const S32 b2[4] = {0, 0, 0, 1};
  Nav_set_iono_parameter(GNSS_TYPE_QZSS, a, b);
  Nav_set_iono_parameter(GNSS_TYPE_QZSS, a2, b2);
  F32 ga[4];
  S32 gb[4];
  EXPECT_EQ(1, Nav_get_iono_parameter(GNSS_TYPE_QZSS, ga, gb));
  EXPECT_EQ(9.0f, ga[0]);
  EXPECT_EQ(0, gb[0]);
  EXPECT_EQ(1, gb[3]);
  Nav_init();
}
