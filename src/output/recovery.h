// Recovery of the files a station's earlier run left unfinished (it was
// killed, it crashed, the power went): every NAME.incomplete of the station
// in the output folder is read back in whatever form it was written (plain,
// gzip, Compact RINEX 1.0 or 3.0, observation or navigation), cut after its
// last whole epoch or record, its header's first and last epoch and interval
// set to the epochs it holds, and given its final name, or a further part's
// name beside a file that has it. Raw journals follow their observation files.
#ifndef VLN_OUTPUT_RECOVERY_H
#define VLN_OUTPUT_RECOVERY_H

#include <string>
#include <vector>

// Recovers the unfinished files whose names start with prefix (the station's
// part of its file names) in folder, and the raw journals of raw_folder ("":
// none). Returns one console line per file.
std::vector<std::string> Recover_station_files(const std::string& folder,
                                               const std::string& raw_folder,
                                               const std::string& prefix);

// What recovery finds in the text of a RINEX observation file (plain or
// Compact): where its last whole epoch ends, the first and last epoch lines'
// times, the shortest spacing of its epochs and how many it holds.
struct ObsRecovery {
  bool header = false;    // the text holds a whole header
  size_t header_end = 0;  // offset after END OF HEADER's line
  size_t end = 0;         // offset after the last whole epoch (the header's end without one)
  long epochs = 0;        // observation epochs (events and other records not counted)
  int first[5] = {}, last[5] = {};  // year, month, day, hour, minute
  std::string first_sec, last_sec;  // the seconds as the epoch lines show them
  double spacing = 0;               // the shortest spacing of consecutive epochs; 0 below two
};
ObsRecovery Recover_scan_obs(const std::string& text);
// The header of an observation text with TIME OF FIRST OBS, TIME OF LAST OBS
// and the INTERVAL value set to what r found (lines it does not hold are
// left out of it); the same length as before.
std::string Recover_obs_header(const std::string& text, const ObsRecovery& r);
// Where the last whole record of a navigation text ends (the header's end
// without one; 0 without a whole header), and how many records come before.
size_t Recover_nav_end(const std::string& text, long* records);

#endif
