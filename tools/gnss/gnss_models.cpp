// Measurement models from the satellite systems' interface documents. Every
// formula here is the user algorithm of the document named beside it.
#include "gnss_models.h"

#include <cmath>

namespace gnss {

const Frame kGpsFrame = {3.986005e14, 7.2921151467e-5, -4.442807633e-10};
const Frame kGalileoFrame = {3.986004418e14, 7.2921151467e-5, -4.442807309e-10};
const Frame kBeiDouFrame = {3.986004418e14, 7.292115e-5, -4.442807309e-10};

namespace {

constexpr double kGeoTilt = -5.0 * kGpsPi / 180.0;  // BeiDou GEO reference-frame tilt
constexpr double kGloMu = 3.9860044e14;
constexpr double kGloAe = 6378136.0;
constexpr double kGloJ2 = 1.0826257e-3;
constexpr double kGloOmega = 7.292115e-5;
constexpr double kWgsA = 6378137.0;
constexpr double kWgsF = 1.0 / 298.257223563;

// Kepler's equation M = E - e sin E by Newton's method.
double eccentric_anomaly(double m, double e) {
  double ek = m + e * std::sin(m);
  for (int i = 0; i < 10; i++) {
    double step = (ek - e * std::sin(ek) - m) / (1.0 - e * std::cos(ek));
    ek -= step;
    if (std::fabs(step) < 1e-13) break;
  }
  return ek;
}

}  // namespace

double week_diff(double t, double t_ref) {
  double d = t - t_ref;
  if (d > kSecondsPerWeek / 2) d -= kSecondsPerWeek;
  if (d < -kSecondsPerWeek / 2) d += kSecondsPerWeek;
  return d;
}

// IS-GPS-200 table 20-IV; BeiDou B1I ICD 5.2.4.12 for the GEO satellites.
void kepler_position(const Kepler& k, const Frame& f, double t, double pos[3], double* rel) {
  double a = k.sqrt_a * k.sqrt_a;
  double tk = week_diff(t, k.toe);
  double n = std::sqrt(f.mu / (a * a * a)) + k.delta_n;
  double ek = eccentric_anomaly(k.m0 + n * tk, k.e);
  double v = std::atan2(std::sqrt(1.0 - k.e * k.e) * std::sin(ek), std::cos(ek) - k.e);
  double phi = v + k.omega;
  double s2 = std::sin(2.0 * phi), c2 = std::cos(2.0 * phi);
  double u = phi + k.cus * s2 + k.cuc * c2;
  double r = a * (1.0 - k.e * std::cos(ek)) + k.crs * s2 + k.crc * c2;
  double i = k.i0 + k.idot * tk + k.cis * s2 + k.cic * c2;
  double x = r * std::cos(u), y = r * std::sin(u);
  if (k.beidou_geo) {
    double node = k.omega0 + k.omega_dot * tk - f.omega_e * k.toe;
    double xg = x * std::cos(node) - y * std::cos(i) * std::sin(node);
    double yg = x * std::sin(node) + y * std::cos(i) * std::cos(node);
    double zg = y * std::sin(i);
    double ct = std::cos(kGeoTilt), st = std::sin(kGeoTilt);
    double yt = yg * ct + zg * st;
    double zt = -yg * st + zg * ct;
    double rot = f.omega_e * tk;
    pos[0] = xg * std::cos(rot) + yt * std::sin(rot);
    pos[1] = -xg * std::sin(rot) + yt * std::cos(rot);
    pos[2] = zt;
  } else {
    double node = k.omega0 + (k.omega_dot - f.omega_e) * tk - f.omega_e * k.toe;
    pos[0] = x * std::cos(node) - y * std::cos(i) * std::sin(node);
    pos[1] = x * std::sin(node) + y * std::cos(i) * std::cos(node);
    pos[2] = y * std::sin(i);
  }
  if (rel != nullptr) *rel = f.rel_f * k.e * k.sqrt_a * std::sin(ek);
}

double kepler_clock(const Kepler& k, const Frame& f, double t) {
  double dt = week_diff(t, k.toc);
  double pos[3], rel;
  kepler_position(k, f, t, pos, &rel);
  return k.af0 + k.af1 * dt + k.af2 * dt * dt + rel;
}

// GLONASS ICD A.3.1.2: motion in PZ-90 with the J2 term, the rotating frame's
// terms and the broadcast luni-solar acceleration held constant.
void glonass_acceleration(const GloState& s, const double acc[3], double a[3]) {
  double r2 = s.p[0] * s.p[0] + s.p[1] * s.p[1] + s.p[2] * s.p[2];
  double r = std::sqrt(r2);
  double mu_r3 = kGloMu / (r2 * r);
  double j = 1.5 * kGloJ2 * kGloMu * kGloAe * kGloAe / (r2 * r2 * r);
  double z2 = 5.0 * s.p[2] * s.p[2] / r2;
  double w2 = kGloOmega * kGloOmega;
  a[0] =
      -mu_r3 * s.p[0] - j * s.p[0] * (1.0 - z2) + w2 * s.p[0] + 2.0 * kGloOmega * s.v[1] + acc[0];
  a[1] =
      -mu_r3 * s.p[1] - j * s.p[1] * (1.0 - z2) + w2 * s.p[1] - 2.0 * kGloOmega * s.v[0] + acc[1];
  a[2] = -mu_r3 * s.p[2] - j * s.p[2] * (3.0 - z2) + acc[2];
}

void glonass_integrate(GloState* s, const double acc[3], double dt, double max_step) {
  int steps = (int)std::ceil(std::fabs(dt) / max_step);
  if (steps == 0) return;
  double h = dt / steps;
  for (int n = 0; n < steps; n++) {
    GloState k[4];
    double ka[4][3];
    GloState y = *s;
    const double weights[4] = {0.0, 0.5, 0.5, 1.0};
    for (int stage = 0; stage < 4; stage++) {
      if (stage > 0) {
        for (int i = 0; i < 3; i++) {
          y.p[i] = s->p[i] + weights[stage] * h * k[stage - 1].p[i];
          y.v[i] = s->v[i] + weights[stage] * h * ka[stage - 1][i];
        }
      }
      glonass_acceleration(y, acc, ka[stage]);
      for (int i = 0; i < 3; i++) k[stage].p[i] = y.v[i];
    }
    for (int i = 0; i < 3; i++) {
      s->p[i] += h / 6.0 * (k[0].p[i] + 2.0 * k[1].p[i] + 2.0 * k[2].p[i] + k[3].p[i]);
      s->v[i] += h / 6.0 * (ka[0][i] + 2.0 * ka[1][i] + 2.0 * ka[2][i] + ka[3][i]);
    }
  }
}

// IS-GPS-200 20.3.3.5.2.5, in semicircles as the document computes it.
double klobuchar(const double alpha[4], const double beta[4], double lat, double lon, double az,
                 double el, double t) {
  double phi_u = lat / kGpsPi, lam_u = lon / kGpsPi, e = el / kGpsPi;
  double psi = 0.0137 / (e + 0.11) - 0.022;
  double phi_i = phi_u + psi * std::cos(az);
  if (phi_i > 0.416) phi_i = 0.416;
  if (phi_i < -0.416) phi_i = -0.416;
  double lam_i = lam_u + psi * std::sin(az) / std::cos(phi_i * kGpsPi);
  double phi_m = phi_i + 0.064 * std::cos((lam_i - 1.617) * kGpsPi);
  double tl = std::fmod(4.32e4 * lam_i + t, 86400.0);
  if (tl < 0) tl += 86400.0;
  double f = 1.0 + 16.0 * (0.53 - e) * (0.53 - e) * (0.53 - e);
  double amp = 0, per = 0, pm = 1.0;
  for (int n = 0; n < 4; n++) {
    amp += alpha[n] * pm;
    per += beta[n] * pm;
    pm *= phi_m;
  }
  if (amp < 0) amp = 0;
  if (per < 72000.0) per = 72000.0;
  double x = 2.0 * kGpsPi * (tl - 50400.0) / per;
  double delay = 5e-9;
  if (std::fabs(x) < 1.57) delay += amp * (1.0 - x * x / 2.0 + x * x * x * x / 24.0);
  return kC * f * delay;
}

double troposphere(double el) { return 2.47 / (std::sin(el) + 0.0121); }

void ecef_to_geodetic(const double p[3], double* lat, double* lon, double* h) {
  double e2 = kWgsF * (2.0 - kWgsF);
  double rho = std::sqrt(p[0] * p[0] + p[1] * p[1]);
  double phi = std::atan2(p[2], rho * (1.0 - e2));
  double height = 0;
  for (int i = 0; i < 10; i++) {
    double sp = std::sin(phi);
    double n = kWgsA / std::sqrt(1.0 - e2 * sp * sp);
    height = rho / std::cos(phi) - n;
    phi = std::atan2(p[2], rho * (1.0 - e2 * n / (n + height)));
  }
  *lat = phi;
  *lon = std::atan2(p[1], p[0]);
  *h = height;
}

void azimuth_elevation(const double rcv[3], const double sat[3], double* az, double* el) {
  double lat, lon, h;
  ecef_to_geodetic(rcv, &lat, &lon, &h);
  azimuth_elevation_at(rcv, lat, lon, sat, az, el);
}

void azimuth_elevation_at(const double rcv[3], double lat, double lon, const double sat[3],
                          double* az, double* el) {
  double d[3] = {sat[0] - rcv[0], sat[1] - rcv[1], sat[2] - rcv[2]};
  double sl = std::sin(lat), cl = std::cos(lat), so = std::sin(lon), co = std::cos(lon);
  double east = -so * d[0] + co * d[1];
  double north = -sl * co * d[0] - sl * so * d[1] + cl * d[2];
  double up = cl * co * d[0] + cl * so * d[1] + sl * d[2];
  *az = std::atan2(east, north);
  *el = std::atan2(up, std::sqrt(east * east + north * north));
}

double sagnac_range(const double sat[3], const double rcv[3], double omega_e) {
  double dx = sat[0] - rcv[0], dy = sat[1] - rcv[1], dz = sat[2] - rcv[2];
  double rho = std::sqrt(dx * dx + dy * dy + dz * dz);
  double theta = omega_e * rho / kC;
  double x = sat[0] * std::cos(theta) + sat[1] * std::sin(theta);
  double y = -sat[0] * std::sin(theta) + sat[1] * std::cos(theta);
  dx = x - rcv[0], dy = y - rcv[1];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace gnss
