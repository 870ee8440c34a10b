// The check of a RINEX file of any maker, read once: every header line's
// label and columns, the records the version requires, observation codes
// the version defines, epochs in time order and not repeated, event flags
// and their record counts, fields that hold their numbers, loss-of-lock and
// strength digits, navigation records complete for their system and
// version, the file name against the content; with a service's rules or a
// station file, those too. Each finding with its line.
#ifndef VLN_RINEX_CHECK_H
#define VLN_RINEX_CHECK_H

#include <map>
#include <string>
#include <vector>

struct CheckFinding {
  long line;  // 0: the file as a whole
  bool error;
  std::string text;
};

// What a service requires (a preset's rules); zero and empty: no rule.
struct CheckRules {
  std::string service;                  // named in the findings
  double min_hours = 0, max_hours = 0;  // the span of the epochs
  double min_interval = 0, max_interval = 0;
  bool whole_interval = false;         // a whole number of seconds
  std::vector<int> versions;           // 211 ... 400
  std::vector<std::string> gps_codes;  // GPS codes that must be present ("C1C", "L2W" ...)
  bool dual_frequency = false;         // GPS phases on two bands
  bool receiver_and_antenna = false;   // REC # / TYPE / VERS and ANT # / TYPE given
  bool marker_is_station = false;      // MARKER NAME's first four characters name the file
  bool plain_name = false;             // no character beyond letters, digits, . _ -
  bool long_name = false;              // the RINEX 3 long name
  std::string period;                  // "01D", "01H", "15M" in the long name
  bool compact_gzip = false;           // .crx.gz
};

struct CheckReport {
  std::string file;
  std::vector<CheckFinding> findings;
  long epochs = 0, records = 0;
  // 0 clean, 1 warnings only, 2 errors.
  int status() const;
};

// Checks a file; station: a station file's settings by name ("marker-name"
// ...), compared with the header.
CheckReport Check_file(const std::string& path, const CheckRules& rules,
                       const std::map<std::string, std::string>& station);
// The findings as the console prints them ("FILE:LINE: error: ...") and as JSON.
std::string Check_text(const CheckReport& r);
std::string Check_json(const std::vector<CheckReport>& reports);

#endif
