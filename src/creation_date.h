// The creation date of both headers (PGM / RUN BY / DATE): the clock, or the
// fixed time SOURCE_DATE_EPOCH names, as "YYYYMMDD hhmmss UTC ".
#ifndef VLN_CREATION_DATE_H
#define VLN_CREATION_DATE_H

#include <ctime>
#include <string>

// Replaces the clock read for the header date (nullptr restores the system clock).
void RINEX_set_time_source(time_t (*now)());
// Writes the 20-character creation date "YYYYMMDD hhmmss UTC " of the current time.
void RINEX_get_create_utc_time(char* date_str);
// The same date in true UTC, for the standard writers.
void RINEX_get_utc_date(char* date_str);
// The clock's time in UTC as strftime's format writes it (the real clock,
// whatever SOURCE_DATE_EPOCH says: for consoles and status files).
std::string Utc_now_text(const char* format);
// Same, from a 26-character local-time text: fields read, shifted back by 8 hours.
void RINEX_convert_creation_time(const char* ctime_text, char* date_str);

#endif
