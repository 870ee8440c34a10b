// Time scale conversion: GPS, BeiDou and GLONASS time tags to calendar
// records and between time scales. Pure functions, no state.
#ifndef VLN_TIME_CONVERT_H
#define VLN_TIME_CONVERT_H

#include "data_type.h"

// GPS week and seconds of week, minus leap_sec (ignored for week 0), into calendar fields.
void TCVT_convert_gps_to_utc_time_by_default_parameters(S16 wn, D64 tow, S16 leap_sec,
                                                        UTC_TIME_T* utc_time_p);
// BeiDou week and seconds of week onto the GPS week count (no 14 s offset).
void TCVT_convert_bd_to_gps_time(S16 bd_wn, D64 bd_sow, S16* wn_p, D64* tow_p);
// GLONASS four-year interval, day number and Moscow seconds of day into UTC calendar fields.
void TCVT_convert_glo_time_to_utc(S16 N4, U16 NT, S32 tb, UTC_TIME_T* utc_p);
// GLONASS day and seconds of day into GPS week and time of week; 0 and 0.0 for invalid input.
void TCVT_convert_glonass_to_gps_tow(S16 N4, U16 NT, S32 tod, S16 leap_sec, S16* wn_p, D64* tow_p);
// Seconds since the GPS epoch (1980-01-06 00:00:00) of calendar fields in the
// same time scale; proleptic Gregorian, any year.
D64 TCVT_calendar_to_gps_seconds(const UTC_TIME_T& t);
// Days of a month of the Gregorian calendar (month 1-12).
S16 TCVT_days_in_month(S32 year, S32 month);
// Day of the year (1-366) of calendar fields.
S16 TCVT_day_of_year(const UTC_TIME_T& t);
// Calendar fields of whole seconds since the GPS epoch (negative too).
UTC_TIME_T TCVT_calendar_of_gps_seconds(int64_t seconds);
// GPS week and seconds of week into calendar fields with the seconds exact in
// double precision (the whole seconds counted apart from their fraction).
UTC_TIME_T TCVT_gps_calendar(S32 wn, D64 tow);
// GPS minus UTC in whole seconds at a GPS time (seconds since the GPS epoch),
// from the leap seconds announced by the IERS (Bulletin C): -1 beyond the last
// date the announcements cover (2026-06-30: Bulletin C 70 announced none for
// the end of 2025, and the next can only come at the end of June 2026).
S32 TCVT_leap_seconds_at(D64 gps_seconds);
// Days since 1980-01-06, seconds of day and fraction of a second into calendar fields.
void convert_day_and_tod_2_utc(S32 total_utc_day, S32 sec_of_day, D64 tow_frac,
                               UTC_TIME_T* utc_time_p);

#endif
