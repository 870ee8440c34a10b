// The standard writers' navigation path on the converting thread: each new
// ephemeris as a record of the version, the correction parameters noted
// after every navigation message (and, for RINEX 4.00, their ION and STO
// records), the headers by version, and what a version could not hold.
#ifndef VLN_STD_NAV_H
#define VLN_STD_NAV_H

#include <string>

#include "data_type.h"
#include "output_stage.h"

// The slots, beside the satellites', of each constellation's latest ION and
// STO records (a period's file starts with them too).
enum { NAV_SLOT_ION = 64, NAV_SLOT_STO = 65 };

void Std_nav_start();
// After a navigation message has been decoded.
void Std_nav_message(OutputStage& stage, U08 msg_id, const U08* buf, U16 len);
// A new ephemeris of a satellite (for GLONASS with its channel number);
// false when the version has no file for its system.
bool Std_nav_record(OutputStage& stage, S16 gnss_type, S16 number, S08 glonass_k);
// Prints the parameter records left out and the records the version had no
// file for (unwritten: the count of each system, by type).
void Std_nav_report(const long* unwritten);

#endif
