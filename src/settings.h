// Run settings beyond the constellation words: station metadata for the
// observation header, the epoch window and sampling interval, and where and
// under which names the files go. Filled from long options and station
// files, each value checked here, so that a bad one stops the run before any
// file is opened.
#ifndef VLN_SETTINGS_H
#define VLN_SETTINGS_H

#include <string>
#include <vector>

#include "data_type.h"

// Every setting, in the order the usage text lists them.
enum SettingId {
  SET_MARKER_NAME,
  SET_MARKER_NUMBER,
  SET_MARKER_TYPE,
  SET_OBSERVER,
  SET_AGENCY,
  SET_RECEIVER_NUMBER,
  SET_RECEIVER_TYPE,
  SET_RECEIVER_VERSION,
  SET_ANTENNA_NUMBER,
  SET_ANTENNA_TYPE,
  SET_RADOME,
  SET_ANTENNA_DELTA,
  SET_POSITION,
  SET_COMMENT,
  SET_STATION_FILE,
  SET_START,
  SET_END,
  SET_INTERVAL,
  SET_OUTPUT_DIR,
  SET_LONG_NAMES,
  SET_STATION_ID,
  SET_CRX,
  SET_GZIP,
  SET_SPLIT,
  SET_RINEX_VERSION,
  SET_CLOSE_AFTER,
  SET_RAW_DIR,
  SET_STATUS_FILE,
  SET_OVERWRITE,
  SET_FLUSH,
  SET_COUNT
};

// RINEX versions of the standard writer, as version x 100; 0 is the
// receiver's original RINEX 3.02 form.
enum {
  RINEX_ORIGINAL = 0,
  RINEX_211 = 211,
  RINEX_302 = 302,
  RINEX_303 = 303,
  RINEX_304 = 304,
  RINEX_305 = 305,
  RINEX_400 = 400
};

struct Settings {
  bool given[SET_COUNT] = {};
  std::string text[SET_COUNT];  // the text settings, as given
  std::vector<std::string> comments;
  D64 antenna_delta[3] = {0, 0, 0};  // height, east, north (m)
  D64 position[3] = {0, 0, 0};       // ECEF X, Y, Z (m)
  UTC_TIME_T start_time = {}, end_time = {};
  D64 start = 0, end = 0;  // seconds since the GPS epoch
  D64 interval = 0;        // seconds; 0 = every epoch
  D64 split = 0;           // seconds of a period of its own file; 0 = one file
  bool crx = false, gzip = false, long_names = false;  // the switches' values
  bool overwrite = false;
  D64 close_after = 120;  // a live source's wall-clock grace after a period's end, seconds
  // Seconds of data between writes to disk (with a sync); below 0: at the end only, or
  // every 10 s for a live source.
  D64 flush = -1;
  int rinex_version = RINEX_ORIGINAL;
};

// The setting of an option or station-file name ("marker-name"); -1 if none.
int Settings_find(const char* name);
// The setting's name without the leading "--".
const char* Settings_name(int id);
// True for the settings that take no value on the command line.
bool Settings_is_switch(int id);
// Checks value and stores it; returns "" or what is wrong with the value.
std::string Settings_apply(Settings* s, int id, const std::string& value);
// Checks the settings against each other; returns "" or a whole error line.
std::string Settings_check(const Settings& s);
// The known option nearest to a mistyped name, for a hint; "" when none is near.
std::string Settings_nearest(const std::string& name);
// The same among any names: one edit for every three letters of the name,
// three at most.
std::string Nearest_name(const std::string& name, const std::vector<std::string>& names);
// Applies a station file's "name = value" lines; returns "" or a whole error
// line naming the file and line.
std::string Settings_read_file(const std::string& path, Settings* s);
// The same for a station file's text already read; path names it in errors.
std::string Settings_read_text(std::string text, const std::string& path, Settings* s);
// True for a nine-character station ID such as ALGO00CAN.
bool Settings_is_station_id(const std::string& v);
// A text setting, or fallback when it was not given.
const char* Settings_text(const Settings& s, int id, const char* fallback);
// True when the run writes a subset of the epochs.
bool Settings_selects_epochs(const Settings& s);
// Prints the long options' part of the usage text.
void Settings_print_usage();

#endif
