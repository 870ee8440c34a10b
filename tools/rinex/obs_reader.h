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
#include <memory>
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
  double last_obs = NAN;  // TIME OF LAST OBS, NaN when absent
  std::string time_system;
  std::map<char, std::vector<std::string>> types;
  std::map<int, int> glonass_channel;  // slot -> frequency number, from the header
  std::vector<ObsEpoch> epochs;
  std::vector<ObsSat> sats;
  std::vector<double> values;             // NaN where blank
  std::vector<unsigned char> lli;         // loss-of-lock indicator digit, 0 when blank
  std::vector<unsigned char> ssi;         // signal strength digit, 0 when blank
  std::map<std::string, long> skipped;    // what could not be used, and how often
  std::vector<std::string> header_lines;  // the header as it stands, END OF HEADER excluded
};

// One epoch of observations as a stream gives it: each satellite's values
// from first_value on, as many as its system has types (NaN where blank).
struct ObsRecord {
  double t = 0;                    // NaN: a special record without a time
  int flag = 0;                    // the epoch flag: 0 or 1 observations, 2-6 a special record
  std::vector<std::string> lines;  // a special record's lines, as they are
  std::vector<ObsSat> sats;
  std::vector<double> values;
  std::vector<unsigned char> lli;
  std::vector<unsigned char> ssi;
};

// An observation file read epoch by epoch: the header first, then one epoch
// at a time (special records skipped and counted in the header's skipped),
// so that a file of any length costs one epoch's memory.
class ObsStream {
 public:
  ObsStream();
  ~ObsStream();
  // Opens a file (plain, gzip or Compact RINEX) and reads its header; false
  // with a message naming the file and, where it helps, the line.
  bool open(const std::string& path, std::string* error);
  bool open_text(const std::string& text, const std::string& name, std::string* error);
  // The header's values, types and counts of what was skipped (epochs, sats
  // and values stay empty). RINEX 2: at the end, the systems without records
  // lose the types list.
  const ObsFile& header() const;
  // The next epoch; false at the end, or on damage (error() then says why).
  bool next(ObsRecord* record);
  // Special records (events, header records, cycle slips) given by next()
  // too, instead of being skipped and counted.
  void keep_special_records();
  const std::string& error() const;

 private:
  bool start(const std::string& name, std::string* error);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The rest of a stream's epochs gathered into obs, with the header.
bool read_all(ObsStream* stream, ObsFile* obs, std::string* error);

// Reads a file (plain, gzip or Compact RINEX); false with a message naming the
// file and, where it helps, the line.
bool read_obs_file(const std::string& path, ObsFile* obs, std::string* error);
// The same for text already read; name stands for the file in messages.
bool read_obs_text(const std::string& text, const std::string& name, ObsFile* obs,
                   std::string* error);

#endif
