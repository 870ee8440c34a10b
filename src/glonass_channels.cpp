// The almanac's GLONASS channel numbers, a fixed table by slot.
#include "glonass_channels.h"

#include "const.h"

namespace {

// Set by Glo_clear_almanac_k before a run reads them.
S08 Knum_table[GLO_MAX_SLOT];    // the channel by slot, GLONASS_UNKNOWN_K unknown
S08 Health_table[GLO_MAX_SLOT];  // the almanac's C bit by slot, -1 unknown

}  // namespace

void Glo_clear_almanac_k() {
  for (S08& k : Knum_table) k = GLONASS_UNKNOWN_K;
  for (S08& c : Health_table) c = -1;
}

void Glo_set_almanac_health(S16 slot, S08 c) {
  if (slot >= 1 && slot <= GLO_MAX_SLOT) Health_table[slot - 1] = c;
}

S08 Glo_almanac_health(S16 slot) {
  return slot >= 1 && slot <= GLO_MAX_SLOT ? Health_table[slot - 1] : (S08)-1;
}

void Glo_set_almanac_k(S16 slot, S08 k) {
  if (slot >= 1 && slot <= GLO_MAX_SLOT) Knum_table[slot - 1] = k;
}

S16 Glo_almanac_slot(S16 tk, U08 string_number) {
  if (tk < 0) return 0;
  if (string_number < 7 || string_number > 15 || string_number % 2 == 0) return 0;
  S32 frame = tk % 5;
  if (frame == 4 && string_number == 15) return 0;  // the fifth frame carries four slots
  return (S16)((string_number - 7) / 2 + 5 * frame + 1);
}

S08 Glo_almanac_string_k(U32 word2) {
  S32 k = (S32)((word2 >> 9) & 0x1F);
  if (k > 15) k -= 32;
  return (S08)k;
}

S08 Glo_almanac_k(S16 slot) {
  if (slot < 1 || slot > GLO_MAX_SLOT) return GLONASS_UNKNOWN_K;
  return Knum_table[slot - 1];
}
