// RINEX output: the two output files and the constellation switches, the
// creation date, the observation header, epochs and records, the navigation
// header and records, and the RINEX number formats.
#ifndef VLN_RINEX_H
#define VLN_RINEX_H

#include <cstdio>
#include <ctime>
#include <string>

#include "data_type.h"
#include "settings.h"

// Files and selection.
// Opens a file by its UTF-8 name (through the wide-character interface on
// Windows, so that any name and long paths open there too).
FILE* RINEX_open_file(const char* path, const char* mode);
// Takes the run settings (header metadata, interval, output folder, long
// names); before RINEX_init. Without it every setting has its default.
void RINEX_configure(const Settings& s);
const Settings& RINEX_settings();
// Builds both output names from the input name, creates both files and clears the switches.
S16 RINEX_init(const char* input);
// Positions both files at their first byte so the headers can be written again.
void RINEX_rewinding();
// Flushes and closes each output file that is open.
void RINEX_close();
// The reason (an errno value) the observation or navigation file could not be
// written completely; 0 when every write, flush and close succeeded.
int RINEX_obs_write_errno();
int RINEX_nav_write_errno();
// After RINEX_close: with long names, gives both files their standard long
// names when the run is complete (status 1); they keep their provisional
// names otherwise. Returns the status, 2 when a file could not be renamed.
int RINEX_finish_names(int status);
// The standard long names of the files as the run stands (without folder).
std::string RINEX_long_name(char content);
// Renames an output file; false when that fails or would replace the raw file.
bool RINEX_rename(const std::string& from, const std::string& to);
void RINEX_set_output_measurement(S16 gnss_type);
// 1 when the constellation was selected on the command line.
S16 RINEX_is_able_to_output_measurement(S16 gnss_type);
// 1 when more than one constellation is selected.
S16 RINEX_is_gnss_mixed_mode();
// The RINEX system of the selection (RINEX_SYS_ALL for more than one).
S16 RINEX_get_sys_type();

// Creation date.
// Replaces the clock read for the header date (nullptr restores the system clock).
void RINEX_set_time_source(time_t (*now)());
// Writes the 20-character creation date "YYYYMMDD hhmmss UTC " of the current time.
void RINEX_get_create_utc_time(char* date_str);
// Same, from a 26-character local-time text: fields read, shifted back by 8 hours.
void RINEX_convert_creation_time(const char* ctime_text, char* date_str);

// Observation file.
void RINEX_put_obs_header();
// Writes the epoch line and one record per satellite of the store's current epoch.
void RINEX_put_obs_body();
// Writes an event line for the time the store holds.
void RINEX_put_obs_timestamp();

// Navigation file.
void RINEX_put_nav_header();
void RINEX_put_nav_body(U08 prn, U08 gnss_type);
void RINEX_put_glonav_body(U08 slot, S08 knum);
void RINEX_put_bd2nav_body(U08 svid);
void RINEX_put_gal_nav_body(U08 svid);

// Number formats: fields of exactly 19, 12, 17 and 16 characters plus a terminating zero.
void D19_12_format(double x, char* buf);
void D12_04_format(double x, char* buf);
void D17_10_format(double x, char* buf);
void D16_09_format(double x, char* buf);
// Writes x exactly as printf("%*.*f", width, prec, x) does (prec 1 to 9), without a
// terminating zero; returns the number of characters written.
int RINEX_format_fixed(char* out, double x, int width, int prec);
// The value that format prints, as an integer count of 10^-prec (the digits
// without the point, signed); false for values that are not finite or 1e15 and above.
bool RINEX_fixed_scaled(double x, int prec, int64_t* scaled);

// The unit's streams, for its writers.
FILE* RINEX_obs_stream();
FILE* RINEX_nav_stream();

#endif
