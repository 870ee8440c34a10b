// Observation files of RINEX 2.10 to 4.00 from any producer, read into flat
// tables: epochs, satellite records, values. Types in any number and order
// per system (continuation lines too; RINEX 2's one list as three-character
// codes), SYS / SCALE FACTOR, GLONASS SLOT / FRQ #, blank fields and short
// lines; special records (events, header records, cycle-slip records) and
// systems without types are skipped and counted.
#ifndef VLN_OBS_READER_H
#define VLN_OBS_READER_H

#include <cmath>
#include <map>
#include <string>
#include <vector>

struct ObsEpoch {
  double t;  // seconds since the GPS epoch, in the file's time scale
  int first_sat, nsat;
};

struct ObsSat {
  char sys;
  int prn;
  size_t first_value;  // index of its first value; as many as the system has types
};

// The header's station metadata, blanks cut.
struct ObsHeader {
  std::string marker_name, marker_number, marker_type, observer, agency;
  std::string receiver_number, receiver_type, receiver_version;
  std::string antenna_number, antenna_type, radome;
  double antenna_delta[3] = {0, 0, 0};  // height, east, north, metres
  bool has_delta = false;
};

struct ObsFile {
  double version = 0;
  ObsHeader header;
  double approx[3] = {0, 0, 0};
  double interval = 0;  // header INTERVAL, 0 when absent
  double leap = NAN;    // header LEAP SECONDS, NaN when absent
  // TIME OF FIRST OBS: seconds since the GPS epoch in the file's time scale
  // (NaN when absent) and that scale ("GPS", "GLO", "GAL", "BDT", "QZS"; RINEX
  // 2 files of one system may leave it blank).
  double first_obs = NAN;
  std::string time_system;
  std::map<char, std::vector<std::string>> types;
  std::map<int, int> glonass_channel;  // slot -> frequency number, from the header
  std::vector<ObsEpoch> epochs;
  std::vector<ObsSat> sats;
  std::vector<double> values;           // NaN where blank
  std::vector<unsigned char> lli;       // loss-of-lock indicator digit, 0 when blank
  std::map<std::string, long> skipped;  // what could not be used, and how often
};

// Reads a file (plain, gzip or Compact RINEX); false with a message naming the
// file and, where it helps, the line.
bool read_obs_file(const std::string& path, ObsFile* obs, std::string* error);
// The same for text already read; name stands for the file in messages.
bool read_obs_text(const std::string& text, const std::string& name, ObsFile* obs,
                   std::string* error);

#endif
