// Compact RINEX 3.0 written straight from the values: epoch lines and flag
// strings as text differences, each observation as an arc of third-order
// differences of its integer thousandths, events as special records.
#ifndef VLN_CRX_ENCODE_H
#define VLN_CRX_ENCODE_H

#include <memory>
#include <string>

#include "data_type.h"
#include "obs_fields.h"
#include "output_items.h"

// The Compact RINEX header of a RINEX header text: the two CRINEX lines
// (date "dd-Mmm-yy hh:mm" from the 20-character creation date), then the
// RINEX lines without their trailing blanks, or as they are with whole_lines
// (a header whose reserved lines change their label keeps its length so).
std::string Crx_header(const std::string& rinex_header, const char* creation_date, int version,
                       bool whole_lines = false);
// The encoder of one file: per satellite its flags and the arcs of its
// values, and the previous epoch line. Runs on the writer thread.
class CrxEncoder {
 public:
  CrxEncoder();
  ~CrxEncoder();
  // Starts a file: every satellite new, the next epoch line written in full.
  // dual: the original writer's header lists eight types for every system
  // but SBAS; version: Compact RINEX 3 (RINEX 3 and 4) or 1 (RINEX 2).
  void start(bool dual, int version);
  // Appends the compact form of an original writer's epoch (or event) to
  // out; epoch_start is the RINEX epoch line up to its satellite count.
  void epoch(const EPOCH_REC_T& e, const SAT_REC_T* sats, const char* epoch_start,
             std::string* out);
  // The same from satellite lines of any number of fields; epoch_start is
  // the epoch line up to its satellite count (35 characters of RINEX 3, 32
  // of RINEX 2).
  void fields_epoch(const char* epoch_start, int flag, const ObsFields* sats, int nsat,
                    std::string* out);
  // Values of the original writer's epochs written as blank fields because
  // no 14-column field holds them (not finite, or too large).
  long blank_values() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

#endif
