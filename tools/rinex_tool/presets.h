// Service presets: what a processing service or archive takes, as the
// settings that write it (version, interval, period, names, compression,
// systems and codes) and the rules its check applies to what was written.
#ifndef VLN_PRESETS_H
#define VLN_PRESETS_H

#include <string>
#include <vector>

#include "rinex_check.h"

struct Preset {
  const char* name;
  const char* service;  // as the findings name it
  const char* options;  // the settings it gives, as long options
  const char* systems;  // "" every system
  const char* types;    // codes kept, "" every code
  CheckRules rules;
};

// The preset of a name; nullptr when there is none (then *nearest is the
// closest name, for a hint).
const Preset* Preset_find(const std::string& name, std::string* nearest);
const std::vector<Preset>& Preset_all();

#endif
