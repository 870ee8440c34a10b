// Compact RINEX 3.0 written straight from the values: epoch lines and flag
// strings as text differences, each observation as an arc of third-order
// differences of its integer thousandths, events as special records.
#ifndef VLN_CRX_ENCODE_H
#define VLN_CRX_ENCODE_H

#include <string>

#include "data_type.h"
#include "output_items.h"

// One satellite line: its 3-character ID as the epoch line lists it, and its
// fields in header order, each a value (when present) and two flag
// characters (loss of lock and signal strength).
enum { CRX_MAX_FIELDS = 32 };
struct CrxSat {
  char id[3];
  int nfields;
  int64_t value[CRX_MAX_FIELDS];  // thousandths, as the F14.3 field shows them
  bool present[CRX_MAX_FIELDS];   // a value an F14.3 field holds; else blank
  char flags[2 * CRX_MAX_FIELDS];
};

// Starts a file: every satellite new, the next epoch line written in full.
// dual: the original writer's header lists eight types for every system but
// SBAS; version: Compact RINEX 3 (RINEX 3 and 4) or 1 (RINEX 2).
void Crx_start(bool dual, int version);
// The Compact RINEX header of a RINEX header text: the two CRINEX lines
// (date "dd-Mmm-yy hh:mm" from the 20-character creation date), then the
// RINEX lines without their trailing blanks, or as they are with whole_lines
// (a header whose reserved lines change their label keeps its length so).
std::string Crx_header(const std::string& rinex_header, const char* creation_date, int version,
                       bool whole_lines = false);
// Appends the compact form of an epoch (or event) to out; epoch_start is the
// RINEX epoch line up to its satellite count (35 characters).
void Crx_epoch(const EPOCH_REC_T& e, const SAT_REC_T* sats, const char* epoch_start,
               std::string* out);
// The same from satellite lines of any number of fields; epoch_start is the
// epoch line up to its satellite count (35 characters of RINEX 3, 32 of RINEX 2).
void Crx_fields_epoch(const char* epoch_start, int flag, const CrxSat* sats, int nsat,
                      std::string* out);
// Values written as blank fields because no 14-column field holds them
// (not finite, or too large) since the program started.
long Crx_blank_values();

#endif
