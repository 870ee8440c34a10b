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
// The almanac's health bit C of a slot (1-24): 1 operable, 0 not; -1 when
// no almanac told it.
void Glo_set_almanac_health(S16 slot, S08 c);
S08 Glo_almanac_health(S16 slot);
// The slot whose channel number an almanac string tells: the odd strings
// 7-15 of a frame carry one slot each, which the frame's place in the
// 2.5-minute superframe (from tk, 30-second intervals of the day) fixes; the
// fifth frame carries four. 0 when the string tells none.
S16 Glo_almanac_slot(S16 tk, U08 string_number);
// The channel number an almanac string's third word carries (5-bit two's complement).
S08 Glo_almanac_string_k(U32 word2);

#endif
