// An observation file written from epochs of any maker's codes: the header
// a RINEX version defines (2.11, 3.02-3.05, 4.00) with the values known at
// the end (first and last epoch, interval, satellites), the records under
// the header's codes, as RINEX text or Compact RINEX, plain or gzip. A
// writer is an object per output file holding its own state; the file gets
// its final name only when it is whole.
#ifndef VLN_OBS_WRITER_H
#define VLN_OBS_WRITER_H

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "obs_reader.h"

// What the header says, apart from what the writer counts itself.
struct OutHeader {
  int version = 305;  // 211, 302, 303, 304, 305, 400
  ObsHeader station;
  double approx[3] = {0, 0, 0};
  // RINEX 3 codes per system in header order; for 2.11, the one list of
  // two-character types under the key ' '.
  std::map<char, std::vector<std::string>> types;
  double interval = 0;  // 0: the median spacing of the epochs written
  double leap = NAN;
  std::string time_system = "GPS";
  std::map<int, int> glonass_channel;
  std::vector<std::string> comments;
  std::vector<std::string> kept_lines;  // lines passed on as they are (phase shifts ...)
  std::string program;                  // "vln_rinex 1.0"
};

// One satellite's record: its values in its system's header order (NaN blank).
struct OutSat {
  char sys;
  int prn;
  std::vector<double> values;
  std::vector<unsigned char> lli, ssi;  // digits, 0 for blank
};

class ObsWriter {
 public:
  ObsWriter();
  ~ObsWriter();
  // Starts the file at path + ".incomplete" with the header's types (which
  // fix the records' layout), compressing on threads of its own or not;
  // false with the system's reason.
  bool open(const std::string& path, const OutHeader& draft, bool compact, bool gzip, bool threads,
            std::string* error);
  // Appends an epoch (GPS seconds, in time order; flag 0, or 1 after a
  // power failure); its satellites in the header's order of systems.
  void epoch(double t, int flag, const std::vector<OutSat>& sats);
  // Appends a special record (flag 2-6: an event, header records, cycle
  // slips) with its lines as they are; t NaN for one without a time.
  void special(double t, int flag, const std::vector<std::string>& lines);
  // Writes the header with the epochs' values and gives the file its final
  // name; false with the reason (the file is then removed).
  bool close(const OutHeader& header, const std::string& final_path, std::string* error);
  // Values no 14-column field holds, written blank.
  long overflows() const;
  long epochs() const;
  double first() const;
  double last() const;
  // The commonest spacing of the epochs written (0 below two).
  double interval() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The calendar of a time since the GPS epoch: year, month, day, hour,
// minute and seconds (rounded to 1e-7 s).
void Gps_calendar(double t, int* y, int* mo, int* d, int* h, int* mi, double* s);

#endif
