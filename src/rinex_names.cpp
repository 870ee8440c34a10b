// The standard long file names of RINEX 3: station, data source, start,
// period covered and data frequency, content. Composed at the end of the run,
// when the first epoch, the span and the spacing of the epochs are known.
#include "rinex_names.h"

#include <cmath>
#include <cstdio>

#include "const.h"
#include "epoch_select.h"
#include "file_io.h"
#include "obs.h"
#include "rinex_config.h"
#include "time_convert.h"

namespace {

constexpr D64 kSecondsPerMinute = 60;
constexpr D64 kSecondsPerHour = 3600;
constexpr D64 kSecondsPerDay = 86400;
constexpr D64 kDaysPerYear = 365;
// Spans a whisker over a whole unit (clock steering) still count as that unit.
constexpr D64 kUnitTolerance = 1e-6;

// "00U" (unspecified) for a value that none of the two-digit forms holds.
std::string two_digits(D64 count, char unit) {
  if (count < 1 || count > 99) return "00U";
  char text[8];
  snprintf(text, sizeof text, "%02d%c", (int)count, unit);
  return text;
}

D64 whole_units(D64 seconds, D64 unit) { return std::ceil(seconds / unit - kUnitTolerance); }

// The span a file covers: minutes below an hour, hours below a day, days, years.
std::string period_code(D64 span) {
  if (span <= 0) return "00U";
  if (whole_units(span, kSecondsPerMinute) < 60)
    return two_digits(whole_units(span, kSecondsPerMinute), 'M');
  if (whole_units(span, kSecondsPerHour) < 24)
    return two_digits(whole_units(span, kSecondsPerHour), 'H');
  if (whole_units(span, kSecondsPerDay) < 100)
    return two_digits(whole_units(span, kSecondsPerDay), 'D');
  return two_digits(whole_units(span, kSecondsPerDay * kDaysPerYear), 'Y');
}

// The data interval: hertz below a second, then seconds, minutes, hours, days.
std::string frequency_code(D64 interval) {
  if (interval <= 0) return "00U";
  if (interval < 1) return two_digits(std::floor(1 / interval + 0.5), 'Z');
  const D64 kUnits[] = {1, kSecondsPerMinute, kSecondsPerHour, kSecondsPerDay};
  const char kLetters[] = {'S', 'M', 'H', 'D'};
  for (int i = 0; i < 4; i++) {
    D64 count = std::floor(interval / kUnits[i] + 0.5);
    if (count < 100) return two_digits(count, kLetters[i]);
  }
  return "00U";
}

// The station ID: given, else the marker name when it is one, else the first
// four letters or digits of the marker name with monument and receiver 0 and
// the unknown country XXX, else XXXX00XXX.
std::string station_id(const Settings& s) {
  if (s.given[SET_STATION_ID]) return s.text[SET_STATION_ID];
  const std::string& marker = s.text[SET_MARKER_NAME];
  if (Settings_is_station_id(marker)) return marker;
  std::string four = marker.substr(0, 4);
  for (char& c : four) {
    if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) four.clear();
  }
  return (four.size() == 4 ? four : "XXXX") + "00XXX";
}

char content_system() {
  switch (RINEX_get_sys_type()) {
    case RINEX_SYS_GPS: return 'G';
    case RINEX_SYS_QZSS: return 'J';
    case RINEX_SYS_SBAS: return 'S';
    case RINEX_SYS_GLONASS: return 'R';
    case RINEX_SYS_GALILEO: return 'E';
    case RINEX_SYS_BEIDOU: return 'C';
    default: return 'M';
  }
}

// The long name from its parts: the station, the data source R (the
// receiver), start, period, frequency (observations only), content, ending.
std::string compose(char content, const UTC_TIME_T& start, const std::string& period,
                    D64 data_interval) {
  char text[128];
  snprintf(text, sizeof text, "%s_R_%04d%03d%02d%02d_%s", station_id(RINEX_settings()).c_str(),
           start.year, (int)TCVT_day_of_year(start), start.hour, start.minute, period.c_str());
  std::string name = text;
  if (content == 'O') name += "_" + frequency_code(data_interval);
  name = name + "_" + content_system() + content;
  return name + (content == 'O' ? RINEX_obs_ending(true) : RINEX_nav_ending(true));
}

// ssssdddf.yyt: station, day of year, session (0 for a day, the hour's letter
// a-x for an hour, the letter and the minute for 15 minutes), year, type.
std::string short_name(char content, const UTC_TIME_T& start, D64 period) {
  std::string station = station_id(RINEX_settings()).substr(0, 4);
  for (char& c : station)
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
  char session[8];
  char hour = (char)('a' + start.hour % 24);
  if (period >= kSecondsPerDay)
    snprintf(session, sizeof session, "0");
  else if (period >= kSecondsPerHour)
    snprintf(session, sizeof session, "%c", hour);
  else
    snprintf(session, sizeof session, "%c%02d", hour, start.minute % 60);
  char type = content == 'N' ? 'n' : content == 'G' ? 'g' : RINEX_settings().crx ? 'd' : 'o';
  char text[64];
  snprintf(text, sizeof text, "%s%03d%s.%02d%c", station.c_str(), (int)TCVT_day_of_year(start),
           session, start.year % 100, type);
  return std::string(text) + (RINEX_settings().gzip ? ".gz" : "");
}

// The spacing of the data: of the epochs written, else the interval asked for.
D64 data_interval() {
  const Settings& s = RINEX_settings();
  D64 interval = Select_data_interval();
  if (interval == 0 && s.given[SET_INTERVAL]) interval = s.interval;
  return interval;
}

}  // namespace

std::string RINEX_frequency_code(D64 interval) { return frequency_code(interval); }

std::string RINEX_station_id() { return station_id(RINEX_settings()); }

std::string RINEX_station_prefix() {
  std::string id = station_id(RINEX_settings());
  if (RINEX_settings().rinex_version != RINEX_211) return id + "_R_";
  std::string four = id.substr(0, 4);
  for (char& c : four)
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
  return four;
}

std::string RINEX_obs_ending(bool long_name) {
  const Settings& s = RINEX_settings();
  const char* base = s.crx ? ".crx" : (long_name ? ".rnx" : ".obs");
  return std::string(base) + (s.gzip ? ".gz" : "");
}

std::string RINEX_nav_ending(bool long_name) {
  return std::string(long_name ? ".rnx" : ".nav") + (RINEX_settings().gzip ? ".gz" : "");
}

std::string RINEX_period_name(char content, const UTC_TIME_T& start, D64 period) {
  if (RINEX_settings().rinex_version == RINEX_211) return short_name(content, start, period);
  return compose(content, start, period_code(period), data_interval());
}

std::string RINEX_period_key(const UTC_TIME_T& start, D64 period) {
  std::string name = RINEX_period_name('N', start, period);
  if (RINEX_settings().rinex_version == RINEX_211) return name.substr(0, name.find('.') + 3);
  return name.substr(0, 28);  // station 9, _R_ 3, start 11, _ 1, period 3, _ 1
}

std::string RINEX_part_name(const std::string& name, int part) {
  size_t slash = name.find_last_of(File_separators());
  size_t dot = name.find('.', slash == std::string::npos ? 0 : slash + 1);
  if (dot == std::string::npos) dot = name.size();
  return name.substr(0, dot) + ".part" + std::to_string(part) + name.substr(dot);
}

std::string RINEX_gnav_ending() {
  return std::string(".gnav") + (RINEX_settings().gzip ? ".gz" : "");
}

std::string RINEX_long_name(char content) {
  const Settings& s = RINEX_settings();
  // The start: the window's when one is set, else the first epoch written,
  // else (no epoch at all) the GPS epoch, with period and frequency unspecified.
  UTC_TIME_T start = {1980, 1, 6, 6, 0, 0, 0};
  UTC_TIME_T first, last;
  Obs_get_start_utc_time(&first);
  Obs_get_end_utc_time(&last);
  bool has_epochs = Obs_has_start_utc_time() != 0;
  if (has_epochs) start = first;
  if (s.given[SET_START]) start = s.start_time;

  D64 interval = data_interval();
  D64 span = 0;
  if (s.given[SET_START] && s.given[SET_END])
    span = s.end - s.start;
  else if (has_epochs && interval > 0)
    span = TCVT_calendar_to_gps_seconds(last) - TCVT_calendar_to_gps_seconds(first) + interval;
  return compose(content, start, period_code(span), interval);
}
