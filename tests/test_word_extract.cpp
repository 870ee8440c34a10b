#include <gtest/gtest.h>

#include "ephemeris.h"
#include "word_extract.h"

TEST(WordExtract, GlonassStringFields) {
  struct Case {
    U32 words[3];
    int start, nbits;
    U32 unsigned_value;
    S32 signed_value;
  };
  const Case cases[] = {
      {{0xAB3, 0, 0}, 65, 12, 0xAB3, -0x2B3},
      {{0, 0x98, 0}, 36, 5, 19, -3},
      {{0, 0x5, 0x300}, 9, 27, 0x5000003, -16777219},
      {{0, 0x80000000, 0}, 64, 1, 1, 0},  // sign 1, magnitude 0 is zero
      {{0, 0xDEADBEEF, 0}, 33, 32, 0xDEADBEEF, -0x5EADBEEF},
      {{0, 0, 0x7FFFFFFF}, 1, 31, 0x7FFFFFFF, -0x3FFFFFFF},  // all ones: -(2^30 - 1)
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.unsigned_value, WORDEXTR_glo_str_extract_unsigned_bits(c.words, c.start, c.nbits))
        << c.start;
    EXPECT_EQ(c.signed_value, WORDEXTR_glo_str_extract_signed_bits(c.words, c.start, c.nbits))
        << c.start;
  }
}

TEST(WordExtract, BeiDouWordFields) {
  EXPECT_EQ(0x712u, WORDEXTR_bd2_extract_unsigned_bits(0x38900AB0, 1, 11));
  EXPECT_EQ(240u, WORDEXTR_bd2_extract_unsigned_bits(0xF00000, 7, 8));
  EXPECT_EQ(-16, WORDEXTR_bd2_extract_signed_bits(0xF00000, 7, 8));

  struct Case {
    U32 first, second;
    int is_word1, start, nbits;
    U32 unsigned_value;
    S32 signed_value;
  };
  const Case cases[] = {
      {0x38900AB0, 0x48C0000, 1, 19, 20, 0xAB123, 0xAB123 - 0x100000},
      {0x300, 0x2E000000, 0, 21, 8, 238, -18},
      {0x3FFFFF00, 0x3FF00000, 0, 1, 32, 0xFFFFFFFF, -1},
      {0x38900AB0, 0xFFFFFFFF, 1, 19, 8, 0xAB, -85},  // ends on the last bit of word 1
      {0x3FFFFF00, 0, 0, 1, 22, 0x3FFFFF, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.unsigned_value, WORDEXTR_bd2_extract_unsigned_bits_from_words(
                                    c.first, c.second, c.is_word1, c.start, c.nbits))
        << c.start;
    EXPECT_EQ(c.signed_value, WORDEXTR_bd2_extract_signed_bits_from_words(
                                  c.first, c.second, c.is_word1, c.start, c.nbits))
        << c.start;
  }
}

TEST(WordExtract, SbasMessageFields) {
  U32 a[8] = {0x9A240000};
  EXPECT_EQ(0x9Au, SBAS_EXT_unsign(a, 0, 8));
  EXPECT_EQ(9u, SBAS_EXT_unsign(a, 8, 6));
  U32 b[8] = {0, 0, 0, 0x1, 0x00080000};
  EXPECT_EQ(8193u, SBAS_EXT_unsign(b, 121, 20));
  U32 c[8] = {0, 0, 0, 0x7F, 0xFFF80000};
  EXPECT_EQ(1048575u, SBAS_EXT_unsign(c, 121, 20));
  EXPECT_EQ(-1, SBAS_EXT_sign(c, 121, 20));
  U32 d[8] = {0x0000000F, 0xFFFFFFFF};
  EXPECT_EQ(15u, SBAS_EXT_unsign(d, 28, 4));  // ends on bit 31: the next word is not read
  EXPECT_EQ(-1, SBAS_EXT_sign(d, 28, 4));
}
