#include <gtest/gtest.h>

#include "ephemeris.h"
#include "word_extract.h"

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
      {0x3FFFFF00, 0x20000000, 0, 1, 23, 0x7FFFFF, -1},  // one bit into the second word
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
