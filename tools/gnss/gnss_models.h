// What a receiver's measurements are made of, as the interface documents
// define it: satellite positions from broadcast Keplerian ephemerides
// (IS-GPS-200, Galileo OS SIS ICD, BeiDou B1I ICD with its GEO rotation) and
// from the GLONASS broadcast state vector (GLONASS ICD numerical integration),
// satellite clocks, the broadcast Klobuchar ionosphere, a standard troposphere,
// and the geometry between a receiver and a satellite. Shared by the log
// generator, which makes measurements with them, and the position check,
// which undoes them.
#ifndef VLN_GNSS_MODELS_H
#define VLN_GNSS_MODELS_H

namespace gnss {

constexpr double kC = 299792458.0;
constexpr double kGpsPi = 3.1415926535898;  // the value the interface documents scale with
constexpr double kSecondsPerWeek = 604800.0;

// Gravitational constant and Earth rotation rate of each system's reference frame.
struct Frame {
  double mu;       // m^3/s^2
  double omega_e;  // rad/s
  double rel_f;    // relativistic clock constant F, s/m^(1/2)
};
extern const Frame kGpsFrame;      // WGS 84, also QZSS
extern const Frame kGalileoFrame;  // GTRF
extern const Frame kBeiDouFrame;   // CGCS2000

// A broadcast Keplerian ephemeris in physical units (radians, metres, seconds),
// times as seconds of the system's own week.
struct Kepler {
  double toe, sqrt_a, e, i0, omega0, omega, m0, delta_n, omega_dot, idot;
  double cuc, cus, crc, crs, cic, cis;
  double toc, af0, af1, af2;
  bool beidou_geo;  // BeiDou GEO: positions rotated out of the tilted reference frame
};

// Satellite position (ECEF, metres) at time t (seconds of the week of toe, in
// the system's time) and the relativistic clock correction (seconds).
void kepler_position(const Kepler& k, const Frame& f, double t, double pos[3], double* rel);
// Satellite clock offset at t: polynomial plus relativistic term (no group delay).
double kepler_clock(const Kepler& k, const Frame& f, double t);
// Time difference t - t_ref folded into half a week either side.
double week_diff(double t, double t_ref);

// GLONASS: state in PZ-90 (metres, m/s) and the broadcast luni-solar acceleration.
struct GloState {
  double p[3], v[3];
};
// Integrates the ICD equations of motion over dt seconds (either sign) in steps of at most
// max_step.
void glonass_integrate(GloState* s, const double acc[3], double dt, double max_step);
// The acceleration the ICD equations give at state s.
void glonass_acceleration(const GloState& s, const double acc[3], double a[3]);

// Klobuchar model: L1 ionospheric delay in metres for a receiver at lat/lon
// (radians), a satellite at azimuth/elevation (radians), GPS time of week t.
double klobuchar(const double alpha[4], const double beta[4], double lat, double lon, double az,
                 double el, double t);
// Tropospheric delay in metres at elevation el (radians): a standard atmosphere
// zenith delay with a simple mapping function.
double troposphere(double el);

// Geometry.
void ecef_to_geodetic(const double p[3], double* lat, double* lon, double* h);
void azimuth_elevation(const double rcv[3], const double sat[3], double* az, double* el);
// The same for a receiver whose geodetic latitude and longitude are known.
void azimuth_elevation_at(const double rcv[3], double lat, double lon, const double sat[3],
                          double* az, double* el);
// Geometric range from a satellite at transmit time to the receiver, the
// satellite's position being turned by the Earth's rotation during the travel.
double sagnac_range(const double sat[3], const double rcv[3], double omega_e);

}  // namespace gnss

#endif
