// GLONASS frequency channel numbers learnt from the almanac strings, one per
// slot: written by the navigation-data extractors, read by the dispatcher
// (for navigation records) and by the observation headers that list slots.
#ifndef VLN_GLONASS_CHANNELS_H
#define VLN_GLONASS_CHANNELS_H

#include "data_type.h"

enum { GLONASS_UNKNOWN_K = -9 };

// Every slot unknown.
void Glo_clear_almanac_k();
void Glo_set_almanac_k(S16 slot, S08 k);
// The slot's (1-24) channel number from the almanac; GLONASS_UNKNOWN_K when none.
S08 Glo_almanac_k(S16 slot);

#endif
