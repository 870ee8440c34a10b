// The name of a file vln_rinex writes: the one given (-o, in --output-dir),
// else the standard one from its content: the long name
// SSSSMRCCC_R_YYYYDDDHHMM_PPU_FFU_MO.rnx (.crx, .gz) of RINEX 3 and 4, the
// short name ssssdddf.yyo (.yyd, .gz) of RINEX 2.11.
#ifndef VLN_OUTPUT_NAMES_H
#define VLN_OUTPUT_NAMES_H

#include <string>

#include "settings.h"

struct NameParts {
  std::string given;    // -o ("" for a name from the content)
  std::string station;  // the station ID or marker name
  int version = 305;
  bool compact = false, gzip = false;
  char kind = 'O';                           // 'O' observation, 'N' navigation
  double first = 0, last = 0, interval = 0;  // GPS seconds
};

// The path: the given name or the standard one, inside the settings' output folder.
std::string Output_path(const Settings& s, const NameParts& p);

#endif
