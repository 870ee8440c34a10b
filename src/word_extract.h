// Bit-field readers for GLONASS strings and BeiDou navigation words, each
// with its own bit numbering and sign convention. Pure functions.
#ifndef VLN_WORD_EXTRACT_H
#define VLN_WORD_EXTRACT_H

#include "data_type.h"

// GLONASS string of three words; bit 1 is the least significant bit of word 2,
// a field is named by its lowest string bit. Signed fields are sign-magnitude.
U32 WORDEXTR_glo_str_extract_unsigned_bits(const U32* string, S32 start_pos, S32 nbits);
S32 WORDEXTR_glo_str_extract_signed_bits(const U32* string, S32 start_pos, S32 nbits);

// BeiDou word: bit b (1..30, first transmitted first) at position 30 - b; a
// field is named by its first (most significant) bit. Signed fields are two's complement.
U32 WORDEXTR_bd2_extract_unsigned_bits(U32 word, S32 start_pos, S32 nbits);
S32 WORDEXTR_bd2_extract_signed_bits(U32 word, S32 start_pos, S32 nbits);
// A field that may run from the end of one word's information bits (26 for
// word 1 of a subframe, else 22) into the first bits of the next word.
U32 WORDEXTR_bd2_extract_unsigned_bits_from_words(U32 first_word, U32 second_word, S32 is_word1,
                                                  S32 start_pos, S32 nbits);
S32 WORDEXTR_bd2_extract_signed_bits_from_words(U32 first_word, U32 second_word, S32 is_word1,
                                                S32 start_pos, S32 nbits);

#endif
