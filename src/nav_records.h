// Navigation records of the standard writers: each new ephemeris of GPS,
// QZSS, GLONASS, BeiDou and Galileo laid out as the RINEX versions lay it out
// (the epoch in the system's own time, lines of four fields, the fields that
// differ between versions), and its text in the layout of RINEX 2.11, 3.x or
// 4.00.
#ifndef VLN_NAV_RECORDS_H
#define VLN_NAV_RECORDS_H

#include <string>

#include "data_type.h"

struct NavField {
  D64 value;
  bool blank;
};

// The most lines of a record (RINEX 4's CNAV-2 and BeiDou CNAV records: 10).
enum { NAV_MAX_LINES = 12 };

// An ephemeris record whatever fed it: the converter's decoders, or a RINEX
// navigation file of any maker read by vln_rinex.
struct NavRecord {
  S16 gnss_type;
  char letter;
  int number;                    // as written: PRN, slot, BeiDou number, QZSS PRN - 192
  const char* message;           // RINEX 4 message type: LNAV, FDMA, INAV, D1, D2 ...
  UTC_TIME_T epoch;              // toc in the system's time scale (UTC for GLONASS)
  NavField f[NAV_MAX_LINES][4];  // line 0 holds the clock terms in fields 1-3
  int lines;
};

// The record of the ephemeris just decoded for a satellite of a version;
// glonass_k is the slot's frequency channel number. False for a number
// outside the tables.
bool Nav_build_record(S16 gnss_type, S16 number, S08 glonass_k, int version, NavRecord* r);
// The record's text: 2.11 (two-digit number, D exponents, 3-blank indent),
// 3.x (letter and number, E exponents, 4-blank indent) or 4.00 (3.x after a
// "> EPH" line); a line of blank fields keeps its indent.
std::string Nav_record_text(const NavRecord& r, int version);
// Appends one 19-column number field of a version (blank when the field is).
void Nav_put_field(std::string* out, const NavField& f, int version);
// The accuracy in metres of a GPS, QZSS or BeiDou URA index (RINEX's values).
D64 Nav_ura_meters(U08 index);

#endif
