// GLONASS and BeiDou bit-field readers. Widths are 1 to 32 bits; the
// callers never ask for fields beyond the words they pass.
#include "word_extract.h"

namespace {

U32 low_bits(U32 v, S32 nbits) { return nbits >= 32 ? v : v & ((1u << nbits) - 1u); }

S32 sign_extend(U32 v, S32 nbits) {
  if (nbits >= 32) return (S32)v;
  U32 shift = (U32)(32 - nbits);
  return (S32)(v << shift) >> shift;
}

}  // namespace

U32 WORDEXTR_glo_str_extract_unsigned_bits(const U32* string, S32 start_pos, S32 nbits) {
  S32 bit_ndx = (start_pos - 1) % 32;
  S32 word_ndx = 2 - (start_pos - 1) / 32;
  U32 data = string[word_ndx] >> bit_ndx;
  if (nbits + bit_ndx > 32 && word_ndx > 0) data |= string[word_ndx - 1] << (32 - bit_ndx);
  return low_bits(data, nbits);
}

S32 WORDEXTR_glo_str_extract_signed_bits(const U32* string, S32 start_pos, S32 nbits) {
  U32 field = WORDEXTR_glo_str_extract_unsigned_bits(string, start_pos, nbits);
  U32 sign = 1u << (nbits - 1);
  if (field & sign) return -(S32)(field & ~sign);
  return (S32)field;
}

U32 WORDEXTR_bd2_extract_unsigned_bits(U32 word, S32 start_pos, S32 nbits) {
  return (word << (start_pos + 1)) >> (32 - nbits);
}

S32 WORDEXTR_bd2_extract_signed_bits(U32 word, S32 start_pos, S32 nbits) {
  return (S32)(word << (start_pos + 1)) >> (32 - nbits);
}

U32 WORDEXTR_bd2_extract_unsigned_bits_from_words(U32 first_word, U32 second_word, S32 is_word1,
                                                  S32 start_pos, S32 nbits) {
  S32 info_bits = is_word1 == 1 ? 26 : 22;
  if (start_pos - 1 + nbits <= info_bits)
    return WORDEXTR_bd2_extract_unsigned_bits(first_word, start_pos, nbits);
  S32 nbits_of_1st_word = info_bits - (start_pos - 1);
  S32 nbits_of_2nd_word = nbits - nbits_of_1st_word;
  U32 high = ((first_word << (start_pos + 1)) >> (32 - nbits_of_1st_word)) << nbits_of_2nd_word;
  U32 low = (second_word << 2) >> (32 - nbits_of_2nd_word);
  return high | low;
}

S32 WORDEXTR_bd2_extract_signed_bits_from_words(U32 first_word, U32 second_word, S32 is_word1,
                                                S32 start_pos, S32 nbits) {
  U32 field = WORDEXTR_bd2_extract_unsigned_bits_from_words(first_word, second_word, is_word1,
                                                            start_pos, nbits);
  return sign_extend(field, nbits);
}
