// Compact RINEX 3.0 written straight from the values: epoch lines and flag
// strings as text differences, each observation as an arc of third-order
// differences of its integer thousandths, events as special records.
#ifndef VLN_CRX_ENCODE_H
#define VLN_CRX_ENCODE_H

#include <string>

#include "data_type.h"
#include "output_items.h"

// Starts a file: every satellite new, the next epoch line written in full.
// dual: the header lists eight types for every system but SBAS.
void Crx_start(bool dual);
// The Compact RINEX header of a RINEX header text: the two CRINEX lines
// (date "dd-Mmm-yy hh:mm" from the 20-character creation date), then the
// RINEX lines without their trailing blanks.
std::string Crx_header(const std::string& rinex_header, const char* creation_date);
// Appends the compact form of an epoch (or event) to out; epoch_start is the
// RINEX epoch line up to its satellite count (35 characters).
void Crx_epoch(const EPOCH_REC_T& e, const SAT_REC_T* sats, const char* epoch_start,
               std::string* out);
// Values written as blank fields because no 14-column field holds them
// (not finite, or too large) since the program started.
long Crx_blank_values();

#endif
