// Navigation-data extractors: unpack the words of GPS/QZSS subframes (0xE0),
// GLONASS strings (0xE1), BeiDou D1 and D2 subframes (0xE2, 0xE3), Galileo
// I/NAV words and SBAS messages (0xE6) into the layouts the collector and the
// decoders read, and learn GLONASS frequency numbers from the almanac.
#include <cstring>

#include "const.h"
#include "decode_binmsg.h"
#include "ephemeris.h"
#include "glonass_channels.h"
#include "rinex_config.h"
#include "subframe.h"
#include "word_extract.h"

namespace {

// 30-second intervals since the start of the GLONASS day, from the last
// string 1; none before the first (a log may start in mid-frame).
constexpr S16 kNoFrame = -1;
S16 tk = kNoFrame;

// Bytes each extractor reads; a shorter payload is ignored.
constexpr U16 kGpsSubframeLen = 33;
constexpr U16 kGloStringLen = 12;
constexpr U16 kBdsD1Len = 31;
constexpr U16 kBdsD2Len = 18;
constexpr U16 kGalWordLen = 24;
// SBAS: byte 3 is the PRN, bytes 4-35 the 250-bit message, first preamble bit
// first (bit 7 of byte 4), padded to 32 bytes.
constexpr U16 kSbasMessageOffset = 4;
constexpr U16 kSbasLen = kSbasMessageOffset + 32;

constexpr U32 BD2_PREAMBLE = 0x38900000;
constexpr U32 kBd2PreambleMask = 0x3FF80000;
constexpr S16 kSbasFirstPrn = 120;
constexpr S08 kSbasComplete = 7;

// len (1..32) bits starting at bit `first` of a most-significant-first byte stream.
U32 stream_bits(const U08* p, int first, int len) {
  int byte = first / 8;
  int off = first % 8;
  int nbytes = (off + len + 7) / 8;
  uint64_t acc = 0;
  for (int i = 0; i < nbytes; i++) acc = (acc << 8) | p[byte + i];
  acc >>= nbytes * 8 - off - len;
  return (U32)(acc & ((1ULL << len) - 1));
}

// BeiDou words from the stream of information bits: word 1's 26 bits at
// positions 29-4, the other words' 22 bits at positions 29-8.
void unpack_bd2_words(const U08* stream, int nwords, U32* words) {
  words[0] = stream_bits(stream, 0, 26) << 4;
  for (int k = 2; k <= nwords; k++) words[k - 1] = stream_bits(stream, 26 + 22 * (k - 2), 22) << 8;
}

bool selected(S16 gnss_type) { return RINEX_is_able_to_output_measurement(gnss_type) != 0; }

// The standard writers take every satellite the receiver reports; the
// original writer its own ranges (QZSS PRN 193-197, BeiDou D1 6-15, D2 1-5).
bool every_satellite() { return RINEX_settings().rinex_version != RINEX_ORIGINAL; }
constexpr U08 kFirstQzssPrn = 193;

void report(S16 gnss_type, S16 svid, S16* enable_put_p, S16* gnss_type_p, S16* svid_p) {
  *enable_put_p = 1;
  *gnss_type_p = gnss_type;
  *svid_p = svid;
}

// Almanac strings 7, 9, ... 15 of a frame carry the frequency number of one
// slot each; the frame's place in the superframe (from tk) tells which slots.
void learn_almanac_k(U08 string_number, const U32* words) {
  S16 slot = Glo_almanac_slot(tk, string_number);
  if (slot != 0) Glo_set_almanac_k(slot, Glo_almanac_string_k(words[2]));
}

// The even almanac strings 6-14 carry a slot's number nA (string bits 77-73)
// and its health bit CnA (bit 80); the fifth frame's string 14 carries no almanac.
void learn_almanac_health(U08 string_number, const U32* words) {
  if (tk < 0 || string_number < 6 || string_number > 14 || string_number % 2 != 0) return;
  if (tk % 5 == 4 && string_number == 14) return;
  S16 slot = (S16)((words[0] >> 8) & 0x1F);
  if (slot >= 1 && slot <= GLO_MAX_SLOT) Glo_set_almanac_health(slot, (S08)((words[0] >> 15) & 1));
}

}  // namespace

S08 Decode_get_almanac_k_num(S16 slot) { return Glo_almanac_k(slot); }

void Decode_init_glonass_almanac() {
  Glo_clear_almanac_k();
  tk = kNoFrame;
}

void extract_gps_subframe_msg(const U08* buf, U16 len, S16* enable_put_p, S16* gnss_type_p,
                              S16* svid_p) {
  if (len < kGpsSubframeLen) return;
  U32 words[10];
  for (int k = 0; k < 10; k++) {
    const U08* w = buf + 3 + 3 * k;
    words[k] = (((U32)w[0] << 16) | ((U32)w[1] << 8) | w[2]) << 6;
  }
  U08 prn = buf[1];
  U08 sfid = buf[2];
  bool gps = prn <= GPS_MAX_SV;
  int qzss_count = every_satellite() ? (int)QZSS_TABLE_SV : (int)QZSS_MAX_SV;
  bool qzss = prn >= kFirstQzssPrn && prn < kFirstQzssPrn + qzss_count;
  if (!gps && !qzss) return;
  if (sfid >= 1 && sfid <= 3) {
    if (gps && prn >= 1 && selected(GNSS_TYPE_GPS)) {
      if (SF_gps_collect_subframe123(prn, sfid, words))
        report(GNSS_TYPE_GPS, prn, enable_put_p, gnss_type_p, svid_p);
    } else if (qzss && selected(GNSS_TYPE_QZSS)) {
      U08 number = (U08)(prn + 64);  // 193 -> 1 ... 202 -> 10
      if (SF_qzss_collect_subframe123(number, sfid, words))
        report(GNSS_TYPE_QZSS, number, enable_put_p, gnss_type_p, svid_p);
    }
  } else if (sfid == 4) {
    // Correction parameters are kept whatever the selection.
    SF_gps_qzss_update_subframe4(qzss ? 1 : 0, words);
  }
}

void extract_glonass_string_msg(const U08* buf, U16 len, S16* enable_put_p, S16* gnss_type_p,
                                S16* slot_p) {
  if (len < kGloStringLen) return;
  U08 slot = (U08)(buf[1] - 64);
  U08 string_number = buf[2];
  U32 words[3];
  words[0] = ((U32)buf[3] << 8) | buf[4];
  words[1] = ((U32)buf[5] << 24) | ((U32)buf[6] << 16) | ((U32)buf[7] << 8) | buf[8];
  words[2] = ((U32)buf[9] << 24) | ((U32)buf[10] << 16) | ((U32)buf[11] << 8);
  if (slot == 0 || slot > GLO_MAX_SLOT) return;
  if (string_number == 1) tk = (S16)((words[0] & 0x7F) + ((words[0] >> 7) & 0x1F) * 120);
  if (string_number >= 1 && string_number <= 5) {
    if (!selected(GNSS_TYPE_GLO)) return;
    if (SF_glonass_collect_string(slot, string_number, words))
      report(GNSS_TYPE_GLO, slot, enable_put_p, gnss_type_p, slot_p);
    return;
  }
  learn_almanac_k(string_number, words);
  learn_almanac_health(string_number, words);
}

void extract_bd2_d1_subframe_msg(const U08* buf, U16 len, S16* enable_put_p, S16* gnss_type_p,
                                 S16* svid_p) {
  if (len < kBdsD1Len) return;
  U08 number = (U08)(buf[1] + 56);  // 201 -> 1 ... 255 -> 55, 0 -> 56 ... 7 -> 63
  U08 sfid = buf[2];
  U32 words[10];
  unpack_bd2_words(buf + 3, 10, words);
  bool d1 = every_satellite() ? number >= 1 && number <= BD2_TABLE_SV && !Bds_is_geo(number)
                              : number >= 6 && number <= 15;
  if (!d1) return;
  if (sfid >= 1 && sfid <= 3) {
    if (!selected(GNSS_TYPE_BD2)) return;
    if (SF_bd2_d1_collect_subframe123(number, sfid, words))
      report(GNSS_TYPE_BD2, number, enable_put_p, gnss_type_p, svid_p);
  } else if (sfid == 5) {
    SF_bd2_d1_update_subframe5(number, sfid, words);
  }
}

void extract_bd2_d2_subframe_msg(const U08* buf, U16 len, S16* enable_put_p, S16* gnss_type_p,
                                 S16* svid_p) {
  if (len < kBdsD2Len) return;
  U08 number = (U08)(buf[1] + 56);
  U08 sfid = buf[2];
  U32 words[5];
  unpack_bd2_words(buf + 3, 5, words);
  if ((words[0] & kBd2PreambleMask) != BD2_PREAMBLE) return;
  bool d2 = every_satellite() ? Bds_is_geo(number) : number >= 1 && number <= 5;
  if (!d2 || sfid != 1) return;
  U32 page = WORDEXTR_bd2_extract_unsigned_bits(words[1], 13, 4);
  if (page == 0 || page > 10) return;
  if (!selected(GNSS_TYPE_BD2)) return;
  if (SF_bd2_d2_collect_subframe1_page1_to_10(number, 1, words, (U08)page))
    report(GNSS_TYPE_BD2, number, enable_put_p, gnss_type_p, svid_p);
}

void extract_gal_subframe_msg(const U08* buf, U16 len, S16* enable_put_p, S16* svid_p) {
  if (len < kGalWordLen) return;
  U08 svid = buf[3];
  U08 word_type = buf[5] & 0x3F;
  U32 words[4];
  for (int i = 0; i < 3; i++) words[i] = stream_bits(buf + 5 + 4 * i, 2, 32);
  words[3] = (stream_bits(buf + 17, 2, 16) << 16) | stream_bits(buf + 21, 2, 16);
  if (word_type == 0 || word_type > 6 || svid == 0 || svid > GAL_MAX_SV) return;
  if (!selected(GNSS_TYPE_GAL)) return;
  if (SF_gal_collect_word123456(svid, word_type, words)) {
    *enable_put_p = 1;
    *svid_p = svid;
  }
}

S16 extract_sbas_subframe_msg(const U08* buf, U16 len, S16* svid_p) {
  if (len < kSbasLen) return 0;
  S16 prn = buf[3];
  SBAS_GEO_T* sbas_geo_p = Eph_sbas_get_reference((S16)(prn - kSbasFirstPrn));
  if (!selected(GNSS_TYPE_SBAS) || sbas_geo_p == nullptr) return 0;
  U32 words[8];
  for (int i = 0; i < 8; i++) words[i] = stream_bits(buf + kSbasMessageOffset, 32 * i, 32);
  U32 msg_type = SBAS_EXT_unsign(words, 8, 6);
  if (msg_type == 9) {
    Eph_sbas_update_mt9(sbas_geo_p, words);
  } else if (msg_type == 12) {
    S32 tow = (S32)SBAS_EXT_unsign(words, 121, 20);
    S16 week = (S16)SBAS_EXT_unsign(words, 141, 10);
    Eph_sbas_update_mt12(sbas_geo_p, week, tow);
  } else if (msg_type == 17) {
    for (int i = 0; i < 3; i++) {
      S16 almanac_prn = (S16)SBAS_EXT_unsign(words, (S16)(16 + 67 * i), 8);
      SBAS_GEO_T* described = Eph_sbas_get_reference((S16)(almanac_prn - kSbasFirstPrn));
      if (described != nullptr)
        Eph_sbas_update_mt17(described, (U08)SBAS_EXT_unsign(words, (S16)(24 + 67 * i), 8));
    }
  }
  if (sbas_geo_p->update_flag != kSbasComplete) return 0;
  *svid_p = prn;
  return 1;
}
