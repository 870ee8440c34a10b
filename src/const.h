// Enumerations shared by every unit: constellations, RINEX systems,
// frequency mode, measurement message kind and internal signal types.
#ifndef VLN_CONST_H
#define VLN_CONST_H

enum {
  GNSS_TYPE_NONE = 0,
  GNSS_TYPE_GPS = 1,
  GNSS_TYPE_GLO = 2,
  GNSS_TYPE_GAL = 3,
  GNSS_TYPE_BD2 = 4,
  GNSS_TYPE_QZSS = 5,
  GNSS_TYPE_SBAS = 6,
  GNSS_NTYPE = 7
};

enum {
  RINEX_SYS_GPS = 0,
  RINEX_SYS_QZSS = 1,
  RINEX_SYS_SBAS = 2,
  RINEX_SYS_GLONASS = 3,
  RINEX_SYS_GALILEO = 4,
  RINEX_SYS_BEIDOU = 5,
  RINEX_SYS_ALL = 6
};

enum { FREQ_MODE_L1_ONLY = 0, FREQ_MODE_DUAL = 1 };

enum {
  GPS_SIGNAL_TYPE_L1CA = 0,
  GPS_SIGNAL_TYPE_L1C = 1,
  GPS_SIGNAL_TYPE_L2C = 2,
  GPS_SIGNAL_TYPE_L5 = 3
};
enum { SBAS_SIGNAL_TYPE_L1CA = 0 };
enum { GLO_SIGNAL_TYPE_L1 = 0, GLO_SIGNAL_TYPE_L2 = 1, GLO_SIGNAL_TYPE_L3 = 2 };
enum {
  GAL_SIGNAL_TYPE_E1 = 0,
  GAL_SIGNAL_TYPE_E5A = 1,
  GAL_SIGNAL_TYPE_E5B = 2,
  GAL_SIGNAL_TYPE_E6 = 3
};
enum {
  QZSS_SIGNAL_TYPE_L1CA = 0,
  QZSS_SIGNAL_TYPE_L1C = 1,
  QZSS_SIGNAL_TYPE_L2C = 2,
  QZSS_SIGNAL_TYPE_L5 = 3,
  QZSS_SIGNAL_TYPE_LEX = 4
};
enum {
  BD2_SIGNAL_TYPE_B1I = 0,
  BD2_SIGNAL_TYPE_B1C = 1,
  BD2_SIGNAL_TYPE_B2I = 2,
  BD2_SIGNAL_TYPE_B3I = 3,
  BD2_SIGNAL_TYPE_B2A = 4
};

// Satellite table sizes by constellation (internal numbers are 1-based), as
// the original writer takes them.
enum {
  GPS_MAX_SV = 32,
  QZSS_MAX_SV = 5,
  SBAS_MAX_SV = 19,
  GLO_MAX_SLOT = 24,
  BD2_MAX_SV = 37,
  GAL_MAX_SV = 36
};
// The standard writers take every satellite the receiver reports: QZSS PRN
// 193-202, SBAS PRN 120-158 and BeiDou 1-63; the tables are sized for them.
enum { QZSS_TABLE_SV = 10, SBAS_TABLE_SV = 39, BD2_TABLE_SV = 63, MAX_TABLE_SV = 63 };

// The BeiDou geostationary satellites, which broadcast D2: C01-C05 and C59-C63.
inline bool Bds_is_geo(int number) {
  return (number >= 1 && number <= 5) || (number >= 59 && number <= 63);
}

#endif
