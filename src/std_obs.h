// What both standard observation writers (RINEX 2.11 and 3.x/4.00) share:
// a signal's fields in a satellite line, and header lines: the program line in UTC, comments and
// the notes of the plan, station metadata, position, the times of the first and last epochs, and
// the lines whose values are known only as the epochs come (INTERVAL, LEAP SECONDS, the GLONASS
// slots). A raw file's first header takes those from the quick scan of the log, so that it has the
// lines of the last one and the file is not written anew when the last one comes.
#ifndef VLN_STD_OBS_H
#define VLN_STD_OBS_H

#include <string>
#include <vector>

#include "const.h"
#include "data_type.h"
#include "glonass_channels.h"
#include "obs_fields.h"
#include "output_items.h"
#include "text_buffer.h"

// The GPS times of a file's first and last epochs written.
struct ObsTimes {
  bool has = false;
  S32 first_week = 0, last_week = 0;
  D64 first_tow = 0, last_tow = 0;
};

// One header line: content in columns 1-60, the label in 61-80.
void Std_line(Text* t, const std::string& content, const char* label);
// PGM / RUN BY / DATE with the creation date in UTC.
void Std_program_line(Text* t);
// The settings' comments, then one COMMENT line per note.
void Std_comment_lines(Text* t, const std::vector<std::string>& notes);
// MARKER NAME to ANT # / TYPE from the settings; MARKER TYPE only for RINEX 3.
void Std_station_lines(Text* t, bool rinex3);
// APPROX POSITION XYZ and ANTENNA: DELTA H/E/N.
void Std_position_lines(Text* t);
// TIME OF FIRST OBS and TIME OF LAST OBS (zero fields before any epoch).
void Std_time_lines(Text* t, const ObsTimes& times);
// What the scan of a raw log tells of those lines.
struct ObsHeaderHints {
  bool given = false;
  D64 interval = 0;  // the spacing of the epochs to be written; 0 below two
  bool leap_known = false;
  S16 leap = 0;
  S08 glonass_k[GLO_MAX_SLOT + 1] = {};  // by slot; GLONASS_UNKNOWN_K where none is told
};
// INTERVAL once the spacing of the epochs written is known (the first header,
// before any epoch: the scan's), else "".
std::string Std_interval_line(const ObsTimes& times, const ObsHeaderHints& hints);
// LEAP SECONDS once the log has taught them (the first header: the scan's), else "".
std::string Std_leap_line(const ObsTimes& times, const ObsHeaderHints& hints);
// The channel number a header gives a GLONASS slot: measured, else the
// almanac's (the first header: the scan's); false when none is known.
bool Std_glonass_k(S16 slot, const ObsTimes& times, const ObsHeaderHints& hints, S08* k);
// The END OF HEADER line, and the whole header as Compact RINEX crx_version
// (header lines kept at 80 columns) when the run writes Compact RINEX.
std::string Std_end_header(Text* t, int crx_version);

// Appends the four fields of a signal (code, phase with its loss-of-lock
// digit, Doppler, strength) to a satellite line; r nullptr: a signal not
// measured in the epoch, four blank fields.
void Std_signal_fields(const SIGNAL_REC_T* r, ObsFields* sat);

#endif
