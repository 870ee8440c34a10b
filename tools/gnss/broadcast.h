// Broadcast orbits for the tools that read RINEX files: navigation records of
// RINEX 3 (GPS, QZSS, Galileo, BeiDou Keplerian sets; GLONASS state vectors),
// satellite positions and clocks at transmit time, and a single-point
// solution with one receiver clock per constellation.
#ifndef VLN_BROADCAST_H
#define VLN_BROADCAST_H

#include <map>
#include <string>
#include <vector>

#include "gnss_models.h"

namespace bc {

struct Ephemeris {
  char sys;
  int prn;
  double t_ref;  // GPS seconds from the GPS epoch of toe (Kepler) or tb (GLONASS)
  gnss::Kepler k;
  double tgd;      // GPS, QZSS, BeiDou: TGD(1); Galileo: BGD(E5b,E1)
  double bgd_e5a;  // Galileo: BGD(E5a,E1)
  bool fnav;       // Galileo: an F/NAV record (data sources bit 1 or 8)
  // GLONASS: the record's epoch is UTC; t_ref is it plus the leap seconds,
  // those of its file where it has them, else settled by resolve_glonass_times.
  double t_utc;
  bool leap_known;
  gnss::GloState state;
  double acc[3];
  double tau_neg, gamma;
  int channel;
};

struct NavData {
  double alpha[4] = {0, 0, 0, 0}, beta[4] = {0, 0, 0, 0};
  double leap = 0;
  bool has_leap = false;     // some file's header gave LEAP SECONDS
  long glonass_undated = 0;  // GLONASS records of files without LEAP SECONDS, not yet dated
  std::map<std::string, std::vector<Ephemeris>> by_sat;  // "G05" ...
  std::map<char, long> skipped;  // records of systems without orbits here, by letter
  // RINEX 4 records of other messages of those systems (CNAV, CNV1 ...), by "G CNAV".
  std::map<std::string, long> skipped_messages;
};

// A pseudorange with its satellite placed at transmit time.
struct SatMeas {
  char sys;
  double pr;       // corrected for the satellite clock, m
  double pos[3];   // at transmit time, Earth-fixed frame of that instant
  double omega_e;  // rotation rate for the travel-time correction
  double freq;     // Hz, for the ionosphere scaling
};

// Dates the GLONASS records whose files gave no leap seconds with these;
// drops them when leap is NaN (not known), returning how many were dropped.
long resolve_glonass_times(NavData* nav, double leap);
// Adds one file's records and header values to another's.
void merge(NavData* into, const NavData& from);
// The first and last reference times of the records, false when there is none.
bool record_span(const NavData& nav, double* first, double* last);

// Seconds from the GPS epoch (1980-01-06) to a calendar time of the same scale.
double seconds_since_gps_epoch(int y, int m, int d, int hh, int mm, double ss);
std::string sat_key(char sys, int prn);
// The record closest to t within its validity; nullptr when there is none.
// For Galileo, fnav chooses the F/NAV records (else I/NAV) when any exists:
// each message has its own clock terms and group delay.
const Ephemeris* nearest(const NavData& nav, const std::string& key, double t, bool fnav = false);
// Places the satellite for a pseudorange pr of the band (the RINEX band digit
// of its code) received at t_rx; false without a record. The group delay is
// that of the band: Galileo E1 and E5b from I/NAV with BGD(E5b,E1), E5a from
// F/NAV with BGD(E5a,E1); GPS, QZSS and BeiDou TGD scaled to L2 or B2.
bool place_satellite(const NavData& nav, char sys, int prn, double t_rx, double pr, SatMeas* m,
                     char band = '1');
// The satellite's position at t (ECEF, metres); false without a record.
bool satellite_position(const NavData& nav, char sys, int prn, double t, double pos[3]);
// The GLONASS frequency channel of a slot: the number most of its records give.
int glonass_channel(const NavData& nav, int slot, bool* known);
// Solves position and one clock per constellation, from start (the Earth's
// centre without one), with the satellites above mask_deg; false when it
// does not converge.
bool solve(const std::vector<const SatMeas*>& ms, const NavData& nav, double t_rx, double x[3],
           const double* start = nullptr, double mask_deg = 5.0);

}  // namespace bc

#endif
