// The almanac's GLONASS channel numbers, a fixed table by slot.
#include "glonass_channels.h"

#include "const.h"

namespace {

S08 Knum_table[GLO_MAX_SLOT] = {-9, -9, -9, -9, -9, -9, -9, -9, -9, -9, -9, -9,
                                -9, -9, -9, -9, -9, -9, -9, -9, -9, -9, -9, -9};

}  // namespace

void Glo_clear_almanac_k() {
  for (S08& k : Knum_table) k = GLONASS_UNKNOWN_K;
}

void Glo_set_almanac_k(S16 slot, S08 k) {
  if (slot >= 1 && slot <= GLO_MAX_SLOT) Knum_table[slot - 1] = k;
}

S08 Glo_almanac_k(S16 slot) {
  if (slot < 1 || slot > GLO_MAX_SLOT) return GLONASS_UNKNOWN_K;
  return Knum_table[slot - 1];
}
