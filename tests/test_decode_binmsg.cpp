// The extractors' unpacking and gates, and the GLONASS frequency numbers learnt from the almanac.
#include <gtest/gtest.h>

#include <memory>

#include "const.h"
#include "decode_binmsg.h"
#include "ephemeris.h"
#include "glonass_channels.h"
#include "nav_encoders.h"
#include "obs.h"
#include "output_sink.h"
#include "rinex_config.h"
#include "rinex_files.h"
#include "rinex_output.h"
#include "runner.h"
#include "subframe.h"

using namespace vlntest;

namespace {

class Decode : public testing::Test {
 protected:
  void SetUp() override {
    // Named after the test: ctest runs tests in parallel processes.
    base_ = testing::TempDir() + "vln_decode_" +
            testing::UnitTest::GetInstance()->current_test_info()->name();
    files_.reset(new FileSet);
    ASSERT_EQ(1, RINEX_init(*files_, (base_ + ".dat").c_str()));
    for (S16 t = GNSS_TYPE_GPS; t < GNSS_NTYPE; t++) RINEX_set_output_measurement(t);
    Decode_init();
    SF_init();
    Eph_init();
    Obs_init(FREQ_MODE_L1_ONLY);
  }
  void TearDown() override {
    RINEX_close(*files_);
    remove((base_ + ".obs.incomplete").c_str());  // the run is never finished here
    remove((base_ + ".nav.incomplete").c_str());
  }
  void process(Bytes payload) {
    Decode_binary_message_process(payload[0], payload.data(), (U16)payload.size(), *files_);
  }
  std::string base_;
  std::unique_ptr<FileSet> files_;
};

}  // namespace

TEST_F(Decode, AlmanacStringsTeachFrequencyNumbers) {
  GloString almanac = glonass_almanac_k_string(-7);  // HnA = 11001
  process(glonass_string_payload(3, 7, almanac));    // before any string 1: nothing
  for (int slot = 1; slot <= 24; slot++) EXPECT_EQ(-9, Decode_get_almanac_k_num((S16)slot));

  // String 1 with bytes 3-4 = 0A B3: tk = 21 h x 120 + 51 = 2571, frame 1 of the superframe.
  process(glonass_string_payload(3, 1, {0x0A, 0xB3, 0, 0, 0, 0, 0, 0, 0}));
  process(glonass_string_payload(3, 7, almanac));
  EXPECT_EQ(-7, Decode_get_almanac_k_num(6));
  process(glonass_string_payload(3, 1, {0x00, 0x07, 0, 0, 0, 0, 0, 0, 0}));  // tk = 7: frame 2
  process(glonass_string_payload(3, 9, glonass_almanac_k_string(5)));
  EXPECT_EQ(5, Decode_get_almanac_k_num(12));
  process(glonass_string_payload(3, 8, glonass_almanac_k_string(4)));  // even strings carry no k
  EXPECT_EQ(-9, Decode_get_almanac_k_num(11));
  process(glonass_string_payload(3, 1, {0x00, 0x04, 0, 0, 0, 0, 0, 0, 0}));  // tk = 4: frame 4
  process(glonass_string_payload(3, 15,
                                 glonass_almanac_k_string(2)));  // the fifth frame has no slot 25
  process(glonass_string_payload(3, 13, glonass_almanac_k_string(1)));
  EXPECT_EQ(1, Decode_get_almanac_k_num(24));
  EXPECT_EQ(-9, Decode_get_almanac_k_num(25));
  process(
      glonass_string_payload(25, 1, {0x0F, 0, 0, 0, 0, 0, 0, 0, 0}));  // slot 25: ignored, tk kept
  process(glonass_string_payload(3, 7, glonass_almanac_k_string(-1)));
  EXPECT_EQ(-1, Decode_get_almanac_k_num(21));
  process(glonass_string_payload(3, 9, glonass_almanac_k_string(-16)));  // HnA = 10000
  EXPECT_EQ(-16, Decode_get_almanac_k_num(22));
  process(glonass_string_payload(3, 1, {0, 0, 0, 0, 0, 0, 0, 0, 0}));    // tk = 0: the day's start
  process(glonass_string_payload(3, 11, glonass_almanac_k_string(15)));  // HnA = 01111
  EXPECT_EQ(15, Decode_get_almanac_k_num(3));
  process(glonass_string_payload(3, 7, glonass_almanac_k_string(-3)));  // the first slot of all
  EXPECT_EQ(-3, Decode_get_almanac_k_num(1));
}

// The almanac's slots by frame and string (GLONASS ICD): the odd strings 7-15
// of frame n carry the channel of slots 5n+1 to 5n+5, the fifth frame's
// string 15 none (24 slots); no slot before a string 1 has dated the frame.
TEST(GlonassChannels, AlmanacSlotOfEachFrameAndString) {
  for (S16 frame = 0; frame < 5; frame++)
    for (U08 string = 6; string <= 15; string++) {
      S16 want =
          string % 2 == 0 || (frame == 4 && string == 15) ? 0 : (string - 7) / 2 + 5 * frame + 1;
      EXPECT_EQ(want, Glo_almanac_slot((S16)(120 * 7 + frame), string))
          << frame << " " << (int)string;
    }
  EXPECT_EQ(0, Glo_almanac_slot(-1, 7));
}

TEST_F(Decode, SbasTypes9And12And17CompleteAGeoRecord) {
  // Layout: byte 3 the PRN, the 250-bit message from byte 4, first bit first.
  SbasGeoNav nav = {};
  nav.xg = -(1 << 29), nav.iod = 7;
  const uint32_t prn[3] = {140, 129, 133};  // each of the three almanacs read
  const uint32_t health[3] = {2, 0x3C, 5};
  S16 svid = -1;
  Bytes mt9 = sbas_payload(129, encode_sbas_mt9(nav));
  Bytes mt12 = sbas_payload(129, encode_sbas_mt12(345600, 352));
  Bytes mt17 = sbas_payload(120, encode_sbas_mt17(prn, health, 258));  // another GEO; t0 04:35:12
  EXPECT_EQ(0, extract_sbas_subframe_msg(mt9.data(), (U16)mt9.size(), &svid));
  EXPECT_EQ(0, extract_sbas_subframe_msg(mt12.data(), (U16)mt12.size(), &svid));
  process(mt17);  // through the dispatcher, which tells SBAS from Galileo words
  SBAS_GEO_T* geo = Eph_sbas_get_reference(129 - 120);
  EXPECT_EQ(7, geo->update_flag);
  EXPECT_EQ(-536870912 * 0.08, geo->XG);
  EXPECT_EQ(7, geo->IOD);
  EXPECT_EQ(345600, geo->TOW_SBAS);
  EXPECT_EQ(352, geo->WN_SBAS);
  EXPECT_EQ(0x3C, geo->health);
  EXPECT_EQ(5, Eph_sbas_get_reference(133 - 120)->health);
  EXPECT_EQ(0, Eph_sbas_get_reference(0)->update_flag);  // the sender is not described
  EXPECT_EQ(1, extract_sbas_subframe_msg(mt12.data(), (U16)mt12.size(), &svid));
  EXPECT_EQ(129, svid);
  Bytes short_message(mt12.begin(), mt12.end() - 1);
  EXPECT_EQ(0, extract_sbas_subframe_msg(short_message.data(), (U16)short_message.size(), &svid));
  Bytes prn139 = sbas_payload(139, encode_sbas_mt12(1, 1));
  EXPECT_EQ(0, extract_sbas_subframe_msg(prn139.data(), (U16)prn139.size(), &svid));
}

namespace {

// The payloads of one complete ephemeris of satellite `id` as the receiver
// numbers it in each message.
std::vector<Bytes> ephemeris_messages(uint8_t msg_id, uint8_t id) {
  std::vector<Bytes> out;
  if (msg_id == 0xE0) {
    GpsLnav v = {};
    v.iode = v.iodc = 7;
    auto sf = encode_gps_lnav(v);
    for (uint8_t s = 1; s <= 3; s++) out.push_back(gps_subframe_payload(id, s, sf[s - 1u]));
  } else if (msg_id == 0xE1) {  // the slot's frequency number measured first
    Payload p(0xE5);
    p.u8(1).u8(1).be16(2400).be32(1000).be16(1000).u8(0).u8(0).u8(1);
    p.u8(2).u8(id).u8(7 + 1).u8(40).f64(1.0).f64(1.0).f32(1.0f).zeros(7);
    out.push_back(p.bytes());
    GloImmediate v = {};
    v.n4 = 8, v.nt = 300, v.tb = 0, v.tk = 77;  // tb 0: a valid time, not "none yet"
    auto strings = encode_glonass(v);
    for (uint8_t n = 1; n <= 5; n++) out.push_back(glonass_string_payload(id, n, strings[n - 1u]));
  } else if (msg_id == 0xE2) {
    BdsEph v = {};
    v.toc = v.toe = 100;
    auto sf = encode_bds_d1(v);
    for (uint8_t s = 1; s <= 3; s++)
      out.push_back(bds_payload(0xE2, (uint8_t)(id - 200), s, sf[s - 1u]));
  } else if (msg_id == 0xE3) {
    // Two cycles: a satellite whose data changed is accepted on the second.
    auto pages = encode_bds_d2(BdsEph{});
    for (int cycle = 0; cycle < 2; cycle++)
      for (const InfoBits& p : pages) out.push_back(bds_payload(0xE3, (uint8_t)(id - 200), 1, p));
  } else {
    GalEph v = {};
    v.iodnav = 5;
    auto words = encode_galileo(v);
    for (const GalWord& w : words) out.push_back(galileo_payload(id, w));
  }
  return out;
}

}  // namespace

// Receiver numbers at both ends of every range and just outside them: a
// record is written for exactly the ones inside.
TEST_F(Decode, NumberRangesOfEveryNavigationMessage) {
  struct Case {
    uint8_t msg_id, id;
    const char* record;       // the record's satellite, or "" for none
    bool last_short = false;  // the last message one byte short
    size_t cut = 0;           // every message cut to the bytes that are read, or one less
  } const kCases[] = {
      {0xE1, 0, ""},
      {0xE1, 1, "R01"},
      {0xE1, 24, "R24"},
      {0xE1, 25, ""},
      {0xE1, 24, "", true},
      {0xE0, 1, "", true},
      {0xE2, 206, "", true},
      {0xE6, 1, "", true},
      {0xE0, 0, ""},
      {0xE0, 1, "G01"},
      {0xE0, 32, "G32"},
      {0xE0, 33, ""},
      {0xE0, 192, ""},
      {0xE0, 193, "J01"},
      {0xE0, 197, "J05"},
      {0xE0, 198, ""},
      {0xE2, 205, ""},
      {0xE2, 206, "C06"},
      {0xE2, 215, "C15"},
      {0xE2, 216, ""},
      {0xE3, 200, ""},
      {0xE3, 201, "C01"},
      {0xE3, 205, "C05"},
      {0xE3, 206, ""},
      {0xE6, 0, ""},
      {0xE6, 1, "E01"},
      {0xE6, 36, "E36"},
      {0xE6, 37, ""},
      {0xE0, 1, "G01", false, 33},
      {0xE1, 1, "R01", false, 12},
      {0xE2, 206, "C06", false, 31},
      {0xE3, 201, "C01", false, 18},
      {0xE3, 201, "", false, 17},
      {0xE6, 1, "E01", false, 24},
  };
  for (const Case& c : kCases) {
    SetUp();
    std::vector<Bytes> messages = ephemeris_messages(c.msg_id, c.id);
    if (c.last_short) messages.back().pop_back();
    for (Bytes& m : messages)
      if (c.cut > 0 && m[0] == c.msg_id && m.size() > c.cut) m.resize(c.cut);
    for (Bytes& m : messages) process(m);
    RINEX_close(*files_);
    std::string nav = read_file(base_ + ".nav.incomplete");
    std::string name =
        std::to_string(c.msg_id) + "/" + std::to_string(c.id) + (c.last_short ? " short" : "");
    EXPECT_EQ(c.record, nav.substr(0, 3)) << name;  // nothing at all for ""
    TearDown();
  }
}
