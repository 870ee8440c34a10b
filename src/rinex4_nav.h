// Navigation files of RINEX 4.00 from the standard writer: the header without
// the corrections 4.00 moved into the body, and the ION and STO records of
// every new parameter set (Klobuchar from GPS, QZSS and BeiDou, NeQuick-G
// from Galileo; UTC offsets of every system). EPH records come from
// nav_records.
#ifndef VLN_RINEX4_NAV_H
#define VLN_RINEX4_NAV_H

#include <string>

#include "data_type.h"

std::string Rinex4_nav_header_text();
// The ION record of a constellation's current ionosphere set; "" for none.
std::string Rinex4_ion_record(S16 gnss_type);
// The STO record of a constellation's current UTC terms (GLONASS: tau_c).
std::string Rinex4_sto_record(S16 gnss_type);

#endif
