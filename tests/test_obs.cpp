// The observation store: numbering, frequency index and epoch completion.
#include <gtest/gtest.h>

#include "const.h"
#include "obs.h"

namespace {

void set(S16 svid, S16 type, U08 signal, double pr, U08 iod = 1) {
  Obs_set_measurement(iod, svid, 3, type, signal, 40, 0, pr, 0.0, 0.0f, 0, 0, 0);
}

// The first-frequency pseudorange and the l2 flag the writer would get.
bool fetch(S16 type, S16 svid, double* pr0, S16* l2) {
  S16 count = 0;
  const OBS_DATA_T* slots = Obs_slots(type, &count);
  if (slots == nullptr || svid < 1 || svid > count) return false;
  const OBS_DATA_T& s = slots[svid - 1];
  *pr0 = s.pr[0];
  *l2 = s.valid[1] != 0;
  return s.valid[0] || s.valid[1];
}

}  // namespace

TEST(Obs, SignalsMapToFrequencyIndices) {
  Obs_init(FREQ_MODE_L1_ONLY);
  ASSERT_EQ(1, Obs_set_and_check_meas_type(OBS_TYPE_EXTENDED));
  EXPECT_EQ(0, Obs_set_and_check_meas_type(OBS_TYPE_ORIGINAL));
  // Neither a record nor a time yet: both issues are "none", which match, so a
  // measurement message without records completes an epoch.
  EXPECT_EQ(1, Obs_is_sync_meas_msg_and_time_msg());
  struct Case {
    S16 type, svid;
    U08 signal;
    bool stored;
  };
  const Case cases[] = {{GNSS_TYPE_GPS, 1, GPS_SIGNAL_TYPE_L1C, false},
                        {GNSS_TYPE_GPS, 2, GPS_SIGNAL_TYPE_L5, true},
                        {GNSS_TYPE_QZSS, 193, QZSS_SIGNAL_TYPE_L5, false},
                        {GNSS_TYPE_QZSS, 194, QZSS_SIGNAL_TYPE_L2C, true},
                        {GNSS_TYPE_GLO, 3, GLO_SIGNAL_TYPE_L3, false},
                        {GNSS_TYPE_BD2, 37, BD2_SIGNAL_TYPE_B3I, false},
                        {GNSS_TYPE_BD2, 36, BD2_SIGNAL_TYPE_B2I, true},
                        {GNSS_TYPE_GAL, 5, GAL_SIGNAL_TYPE_E6, true},
                        {GNSS_TYPE_SBAS, 120, 1, false}};
  for (const Case& c : cases) {
    set(c.svid, c.type, c.signal, 5.0);
    S16 internal = c.type == GNSS_TYPE_QZSS ? (S16)(c.svid - 192) : c.svid;
    double pr0;
    S16 l2 = -1;
    EXPECT_EQ(c.stored, fetch(c.type, internal, &pr0, &l2)) << c.type << " " << c.svid;
    if (c.stored) {
      EXPECT_EQ(1, l2);
      EXPECT_EQ(0.0, pr0);  // only index 1 was measured: entry 0 holds zeros
    }
  }
  EXPECT_EQ(1, Obs_has_slot(3));  // the k of a record was kept though its signal was not
  EXPECT_EQ(3, Obs_get_k_num(3));
  EXPECT_EQ(1, Obs_is_sync_meas_msg_and_time_msg() == 0);  // no measurement time yet
  Obs_set_meas_time(1, 2400, 10.0, 1000);
  EXPECT_EQ(1, Obs_is_sync_meas_msg_and_time_msg());
  Obs_reset_all_measurement();
  EXPECT_EQ(0, Obs_is_sync_meas_msg_and_time_msg());
}

TEST(Obs, OriginalIdentifiersAndNumbering) {
  Obs_init(FREQ_MODE_DUAL);
  ASSERT_EQ(1, Obs_set_and_check_meas_type(OBS_TYPE_ORIGINAL));
  struct Case {
    S16 id, type, internal, rinex;
  };
  const Case cases[] = {
      {5, GNSS_TYPE_GPS, 5, 5},    {40, GNSS_TYPE_SBAS, 8, 27},  {70, GNSS_TYPE_GLO, 6, 6},
      {193, GNSS_TYPE_QZSS, 1, 1}, {215, GNSS_TYPE_BD2, 15, 15}, {33, GNSS_TYPE_SBAS, 1, 20},
  };
  for (const Case& c : cases) {
    S16 type = -1;
    EXPECT_EQ(1, Obs_convert_svid_to_gnss_type(c.id, &type));
    EXPECT_EQ(c.type, type);
    set(c.id, GNSS_TYPE_NONE, 0, 7.0);  // the constellation argument is not used
    double pr0;
    S16 l2;
    EXPECT_TRUE(fetch(c.type, c.internal, &pr0, &l2)) << c.id;
    EXPECT_EQ(7.0, pr0);
    EXPECT_EQ(c.rinex, Obs_convert_internal_svid_to_rinex_sat_number(c.type, c.internal));
  }
  // Both ends of every identifier range and the gaps between them.
  const S16 kRanges[][2] = {{0, GNSS_TYPE_NONE},   {1, GNSS_TYPE_GPS},    {32, GNSS_TYPE_GPS},
                            {33, GNSS_TYPE_SBAS},  {51, GNSS_TYPE_SBAS},  {52, GNSS_TYPE_NONE},
                            {64, GNSS_TYPE_NONE},  {65, GNSS_TYPE_GLO},   {88, GNSS_TYPE_GLO},
                            {89, GNSS_TYPE_NONE},  {192, GNSS_TYPE_NONE}, {193, GNSS_TYPE_QZSS},
                            {197, GNSS_TYPE_QZSS}, {198, GNSS_TYPE_NONE}, {200, GNSS_TYPE_NONE},
                            {201, GNSS_TYPE_BD2},  {215, GNSS_TYPE_BD2},  {216, GNSS_TYPE_NONE}};
  for (const auto& r : kRanges) {
    S16 type = -1;
    EXPECT_EQ(1, Obs_convert_svid_to_gnss_type(r[0], &type));
    EXPECT_EQ(r[1], type) << r[0];
  }
  EXPECT_EQ(0, Obs_has_slot(6));  // k is learnt only from extended measurements
}

TEST(Obs, BadNumbersAreReportedAndDropped) {
  Obs_init(FREQ_MODE_L1_ONLY);
  Obs_set_and_check_meas_type(OBS_TYPE_EXTENDED);
  testing::internal::CaptureStdout();
  set(33, GNSS_TYPE_GPS, 0, 1.0);
  set(25, GNSS_TYPE_GLO, 0, 1.0);
  set(9, GNSS_TYPE_NONE, 0, 1.0);
  EXPECT_EQ(
      "Access invalid measurement array index! gn=1 33\nget_obs_data_reference error\n"
      "Access invalid measurement array index! gn=2 25\nget_obs_data_reference error\n"
      "get_obs_data_reference error\n",
      testing::internal::GetCapturedStdout());
  EXPECT_EQ(0, Obs_has_slot(25));
  EXPECT_EQ(1, Obs_is_sync_meas_msg_and_time_msg() == 0);
}
