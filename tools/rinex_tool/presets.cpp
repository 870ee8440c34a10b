// The presets' table, each line from the service's published rules (see the
// README's table for the page each comes from).
#include "presets.h"

#include <algorithm>

#include "settings.h"

namespace {

CheckRules rules(const char* service) {
  CheckRules r;
  r.service = service;
  return r;
}

std::vector<Preset> make() {
  std::vector<Preset> p;
  {  // IGS: long names, Compact RINEX and gzip; daily and hourly 30 s, high-rate 15 min at 1 s.
    const char* names[3] = {"igs-daily", "igs-hourly", "igs-highrate"};
    const char* options[3] = {"--rinex-version 3.05 --interval 30 --long-names --crx --gzip",
                              "--rinex-version 3.05 --interval 30 --long-names --crx --gzip",
                              "--rinex-version 3.05 --interval 1 --long-names --crx --gzip"};
    const char* periods[3] = {"01D", "01H", "15M"};
    const double interval[3] = {30, 30, 1};
    for (int i = 0; i < 3; i++) {
      CheckRules r = rules(names[i]);
      r.long_name = true;
      r.period = periods[i];
      r.compact_gzip = true;
      r.min_interval = r.max_interval = interval[i];
      r.versions = {302, 303, 304, 305, 400};
      p.push_back({names[i], names[i], options[i], "", "", r});
    }
  }
  {  // EPN: daily 30 s files, the header as the site log says.
    CheckRules r = rules("epn");
    r.long_name = true;
    r.min_interval = r.max_interval = 30;
    r.receiver_and_antenna = true;
    r.versions = {211, 302, 303, 304, 305};
    p.push_back(
        {"epn", "epn", "--rinex-version 3.05 --interval 30 --long-names --crx --gzip", "", "", r});
  }
  {  // OPUS: static GPS, two frequencies, 2 to 48 hours; processed at 30 s.
    CheckRules r = rules("opus");
    r.min_hours = 2;
    r.max_hours = 48;
    r.dual_frequency = true;
    r.versions = {211, 302, 303, 304, 305};
    p.push_back({"opus", "opus", "--rinex-version 2.11 --interval 30", "G", "", r});
  }
  {  // AUSPOS: GPS L1 and L2, at least 1 h, a whole interval of at least 1 s,
     // the marker name's first four characters as the station, a plain name.
    CheckRules r = rules("auspos");
    r.min_hours = 1;
    r.min_interval = 1;
    r.whole_interval = true;
    r.dual_frequency = true;
    r.marker_is_station = true;
    r.plain_name = true;
    r.versions = {211, 302, 303, 304, 305};
    p.push_back({"auspos", "auspos", "--rinex-version 2.11 --interval 30", "G", "", r});
  }
  {  // CSRS-PPP: receiver, antenna and reference point from the header; no repeated epochs.
    CheckRules r = rules("csrs");
    r.receiver_and_antenna = true;
    r.whole_interval = true;
    r.versions = {211, 302, 303, 304, 305};
    p.push_back({"csrs", "csrs", "--rinex-version 3.04", "", "", r});
  }
  {  // Trimble RTX: at least an hour, not faster than 0.5 s, a known receiver and antenna.
    CheckRules r = rules("rtx");
    r.min_hours = 1;
    r.min_interval = 0.5;
    r.receiver_and_antenna = true;
    r.versions = {211, 302, 303, 304, 305, 400};
    p.push_back({"rtx", "rtx", "--rinex-version 3.04", "", "", r});
  }
  return p;
}

}  // namespace

const std::vector<Preset>& Preset_all() {
  static const std::vector<Preset> kPresets = make();
  return kPresets;
}

const Preset* Preset_find(const std::string& name, std::string* nearest) {
  std::vector<std::string> names;
  for (const Preset& p : Preset_all()) {
    if (name == p.name) return &p;
    names.push_back(p.name);
  }
  *nearest = Nearest_name(name, names);
  return nullptr;
}
