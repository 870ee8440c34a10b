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
  double tgd;
  // GLONASS
  gnss::GloState state;
  double acc[3];
  double tau_neg, gamma;
  int channel;
};

struct NavData {
  double alpha[4] = {0, 0, 0, 0}, beta[4] = {0, 0, 0, 0};
  double leap = 0;
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

// Seconds from the GPS epoch (1980-01-06) to a calendar time of the same scale.
double seconds_since_gps_epoch(int y, int m, int d, int hh, int mm, double ss);
std::string sat_key(char sys, int prn);
// The record closest to t within its validity; nullptr when there is none.
const Ephemeris* nearest(const NavData& nav, const std::string& key, double t);
// Places the satellite for a pseudorange pr received at t_rx; false without a record.
bool place_satellite(const NavData& nav, char sys, int prn, double t_rx, double pr, SatMeas* m);
// The satellite's position at t (ECEF, metres); false without a record.
bool satellite_position(const NavData& nav, char sys, int prn, double t, double pos[3]);
// The GLONASS frequency channel of a slot: the number most of its records give.
int glonass_channel(const NavData& nav, int slot, bool* known);
// Solves position and one clock per constellation, from start (the Earth's
// centre without one); false when it does not converge.
bool solve(const std::vector<const SatMeas*>& ms, const NavData& nav, double t_rx, double x[3],
           const double* start = nullptr);

}  // namespace bc

#endif
