// GLONASS immediate data (strings 1-5) into GLOEPH_T, and tau_c of string 5.
// Positions are those of the GLONASS ICD: bit 1 is the last bit of a string;
// signed fields are sign-magnitude.
#include "ephemeris.h"
#include "word_extract.h"

namespace {

GLOEPH_T Gloeph[24];

// Accuracy in metres by FT index; -1 marks an index with no accuracy assigned.
const F32 FT_table[16] = {1.0f,  2.0f,  2.5f,  4.0f,  5.0f,   7.0f,   10.0f,  12.0f,
                          14.0f, 16.0f, 32.0f, 64.0f, 128.0f, 256.0f, 512.0f, -1.0f};

constexpr D64 kP2_11 = 1.0 / 2048.0;
constexpr D64 kP2_20 = 1.0 / 1048576.0;
constexpr D64 kP2_30 = 1.0 / 1073741824.0;
constexpr D64 kP2_31 = kP2_30 / 2.0;
constexpr D64 kP2_40 = kP2_30 / 1024.0;
constexpr S32 kSecondsPerTbStep = 15 * 60;
constexpr S32 kSecondsPerTkStep = 30;

U32 field(const U32* str, S32 first, S32 len) {
  return WORDEXTR_glo_str_extract_unsigned_bits(str, first, len);
}

S32 sfield(const U32* str, S32 first, S32 len) {
  return WORDEXTR_glo_str_extract_signed_bits(str, first, len);
}

void decode_string1(const U32* s1, GLOEPH_T* eph, U08* p1) {
  U32 tk = field(s1, 65, 12);
  U32 hours = tk >> 7;
  eph->tod = (S32)((hours * 120u + (tk & 127u)) * kSecondsPerTkStep);
  *p1 = (U08)field(s1, 77, 2);
  eph->Xn = sfield(s1, 9, 27) * kP2_11;
  eph->dXn = (F32)(sfield(s1, 41, 24) * kP2_20);
  eph->ddXn = (F32)(sfield(s1, 36, 5) * kP2_30);
}

void decode_string2(const U32* s2, GLOEPH_T* eph, U08* p2, U08* bn) {
  eph->tb = (S32)field(s2, 70, 7) * kSecondsPerTbStep;
  *p2 = (U08)field(s2, 77, 1);
  *bn = (U08)field(s2, 78, 3);
  eph->Yn = sfield(s2, 9, 27) * kP2_11;
  eph->dYn = (F32)(sfield(s2, 41, 24) * kP2_20);
  eph->ddYn = (F32)(sfield(s2, 36, 5) * kP2_30);
}

void decode_string3(const U32* s3, GLOEPH_T* eph, U08* ln, U08* p3) {
  *ln = (U08)field(s3, 65, 1);
  eph->P_flag = (U08)field(s3, 66, 2);
  eph->gamma_n = (F32)(sfield(s3, 69, 11) * kP2_40);
  *p3 = (U08)field(s3, 80, 1);
  eph->Zn = sfield(s3, 9, 27) * kP2_11;
  eph->dZn = (F32)(sfield(s3, 41, 24) * kP2_20);
  eph->ddZn = (F32)(sfield(s3, 36, 5) * kP2_30);
}

void decode_string4(const U32* s4, GLOEPH_T* eph, U08* p4) {
  eph->M = (U08)field(s4, 9, 2);
  eph->slot_n = (S16)field(s4, 11, 5);
  eph->NT = (U16)field(s4, 16, 11);
  eph->FT_index = (U08)field(s4, 30, 4);
  eph->FT = (U08)(S32)FT_table[eph->FT_index];
  *p4 = (U08)field(s4, 34, 1);
  eph->En = (U08)field(s4, 49, 5);
  eph->delta_tau_n = (F32)(sfield(s4, 54, 5) * kP2_30);
  eph->tau_n = (F32)(sfield(s4, 59, 22) * kP2_30);
}

}  // namespace

GLOEPH_T* Eph_glonass_get_reference(S16 slot) {
  if (slot < 1 || slot > 24) return nullptr;
  return &Gloeph[slot - 1];
}

S16 Eph_glonass_update(const U32* string_p, GLOEPH_T* gloeph, D64* glo_tau_c_p) {
  if (gloeph == nullptr) return 0;
  U08 p1, p2, p3, p4, bn, ln;
  decode_string1(string_p, gloeph, &p1);
  decode_string2(string_p + 3, gloeph, &p2, &bn);
  decode_string3(string_p + 6, gloeph, &ln, &p3);
  decode_string4(string_p + 9, gloeph, &p4);
  const U32* s5 = string_p + 12;
  gloeph->N4 = (U16)field(s5, 32, 5);
  *glo_tau_c_p = sfield(s5, 38, 32) * kP2_31;

  gloeph->healthy = (U08)((bn << 1) | ln);
  gloeph->p1234 = (U08)((p1 << 3) | (p2 << 2) | (p3 << 1) | p4);
  return 1;
}
