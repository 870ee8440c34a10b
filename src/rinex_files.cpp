// Output files, constellation switches and the header creation date. The
// file names come from the raw input name; both files are written through
// large stdio buffers and rewound once at the end for the header rewrite.
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "const.h"
#include "rinex.h"
#include "rinex_output.h"

namespace {

constexpr int kUtcOffsetHours = 8;  // the local clock is taken to run 8 hours ahead of UTC

S16 Enable_output_gps_meas;
S16 Enable_output_qzss_meas;
S16 Enable_output_glonass_meas;
S16 Enable_output_beidou2_meas;
S16 Enable_output_galileo_meas;
S16 Enable_output_sbas_meas;

time_t (*Time_source)() = nullptr;

Settings Config;
// The raw input and the names the files were opened under.
std::string Input_name;
std::string Obs_name;
std::string Nav_name;
// Files written under long names are opened under these endings and renamed
// when the run is complete, so that a cut-off file never carries a final name.
const char* const kProvisionalEnding = ".incomplete";

S16* switch_of(S16 gnss_type) {
  switch (gnss_type) {
    case GNSS_TYPE_GPS: return &Enable_output_gps_meas;
    case GNSS_TYPE_GLO: return &Enable_output_glonass_meas;
    case GNSS_TYPE_GAL: return &Enable_output_galileo_meas;
    case GNSS_TYPE_BD2: return &Enable_output_beidou2_meas;
    case GNSS_TYPE_QZSS: return &Enable_output_qzss_meas;
    case GNSS_TYPE_SBAS: return &Enable_output_sbas_meas;
    default: return nullptr;
  }
}

// The system clock, unless SOURCE_DATE_EPOCH asks for a fixed time so that
// two runs over the same log give identical files.
time_t system_now() {
  const char* fixed = getenv("SOURCE_DATE_EPOCH");
  if (fixed != nullptr && *fixed != '\0') return (time_t)strtoll(fixed, nullptr, 10);
  return time(nullptr);
}

S16 two_digits(const char* p) {
  // A one-digit day may be padded with a blank instead of a zero.
  S16 tens = (p[0] == ' ') ? 0 : (S16)(p[0] - '0');
  return (S16)(10 * tens + (p[1] - '0'));
}

S16 days_in_month(S16 month, S16 year) {
  static const S16 kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && year % 4 == 0) return 29;
  return kDays[month - 1];
}

#ifdef _WIN32
// A UTF-8 path as the wide-character path Windows opens; a long one gets the
// prefix that lifts the 260-character limit.
std::wstring wide_path(const char* utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring w(n > 0 ? (size_t)n : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &w[0], n);
  w.resize(wcslen(w.c_str()));
  if (w.size() >= MAX_PATH && w.compare(0, 4, L"\\\\?\\") != 0) {
    DWORD len = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    std::wstring full(len, L'\0');
    len = GetFullPathNameW(w.c_str(), len, &full[0], nullptr);
    full.resize(len);
    if (full.compare(0, 2, L"\\\\") == 0)
      w = L"\\\\?\\UNC\\" + full.substr(2);
    else
      w = L"\\\\?\\" + full;
  }
  return w;
}

// Volume serial number and file index: what identifies a file on Windows.
bool file_identity(const char* path, DWORD* volume, ULONGLONG* index) {
  HANDLE h = CreateFileW(wide_path(path).c_str(), 0,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  BOOL ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  if (!ok) return false;
  *volume = info.dwVolumeSerialNumber;
  *index = ((ULONGLONG)info.nFileIndexHigh << 32) | info.nFileIndexLow;
  return true;
}
#endif

// True when path names the same existing file as the raw input, which
// opening it for writing would destroy.
bool is_input_file(const char* input, const std::string& path) {
#ifdef _WIN32
  DWORD in_volume, out_volume;
  ULONGLONG in_index, out_index;
  if (!file_identity(input, &in_volume, &in_index) ||
      !file_identity(path.c_str(), &out_volume, &out_index))
    return false;
  return in_volume == out_volume && in_index == out_index;
#else
  struct stat in_stat;
  struct stat out_stat;
  if (stat(input, &in_stat) != 0 || stat(path.c_str(), &out_stat) != 0) return false;
  return in_stat.st_dev == out_stat.st_dev && in_stat.st_ino == out_stat.st_ino;
#endif
}

#ifdef _WIN32
const char* const kSeparators = "/\\";
#else
const char* const kSeparators = "/";
#endif

// The output names up to their endings: the raw name up to its last '.', or,
// with an output folder, its file name up to the last '.' inside that folder
// (created if missing). Empty when the folder cannot be created.
std::string output_stem(const char* input) {
  std::string stem(input);
  if (!Config.given[SET_OUTPUT_DIR]) {
    size_t dot = stem.rfind('.');
    if (dot != std::string::npos) stem.resize(dot);
    return stem;
  }
  size_t slash = stem.find_last_of(kSeparators);
  if (slash != std::string::npos) stem.erase(0, slash + 1);
  size_t dot = stem.rfind('.');
  if (dot != std::string::npos) stem.resize(dot);
  const std::string& dir = Config.text[SET_OUTPUT_DIR];
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::u8path(dir), ec);
  if (ec) {
    printf("RINEX output folder %s cannot be created: %s\n", dir.c_str(), ec.message().c_str());
    return "";
  }
  bool ends_in_separator = strchr(kSeparators, dir.back()) != nullptr;
  return dir + (ends_in_separator ? "" : "/") + stem;
}

bool rename_file(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExW(wide_path(from.c_str()).c_str(), wide_path(to.c_str()).c_str(),
                     MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

void RINEX_configure(const Settings& s) { Config = s; }

const Settings& RINEX_settings() { return Config; }

FILE* RINEX_open_file(const char* path, const char* mode) {
#ifdef _WIN32
  wchar_t wmode[8];
  size_t i = 0;
  for (; mode[i] != '\0' && i + 1 < sizeof wmode / sizeof wmode[0]; i++)
    wmode[i] = (wchar_t)mode[i];
  wmode[i] = L'\0';
  return _wfopen(wide_path(path).c_str(), wmode);
#else
  return fopen(path, mode);
#endif
}

S16 RINEX_init(const char* input) {
  // The name is built at its full length: a long path is never cut short.
  std::string stem = output_stem(input);
  if (stem.empty() && Config.given[SET_OUTPUT_DIR]) return 0;
  for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++) *switch_of(type) = 0;
  Input_name = input;
  RINEX_output_bind();
  if (RINEX_splits()) return 1;  // the period files are opened as their periods begin
  const char* ending = Settings_on(Config, SET_LONG_NAMES) ? kProvisionalEnding : "";
  std::string name = stem + RINEX_obs_ending(false) + ending;
  std::string nav_name = stem + RINEX_nav_ending(false) + ending;
  Obs_name = name;
  Nav_name = nav_name;
  for (const std::string* out : {&name, &nav_name}) {
    if (is_input_file(input, *out)) {
      printf("RINEX file %s is the raw file itself; it is not overwritten\n", out->c_str());
      return 0;
    }
  }
  bool gzip = Settings_on(Config, SET_GZIP);
  if (!Sink_open(RINEX_obs_sink(), name, gzip)) {
    printf("RINEX obs file %s open error\n", name.c_str());
    return 0;
  }
  if (!Sink_open(RINEX_nav_sink(), nav_name, gzip)) {
    puts("RINEX nav file open error");
    return 0;
  }
  return 1;
}

void RINEX_rewinding() {
  Sink_rewind(RINEX_obs_sink());
  Sink_rewind(RINEX_nav_sink());
}

void RINEX_close() {
  Sink_close(RINEX_obs_sink());
  Sink_close(RINEX_nav_sink());
}

bool RINEX_rename(const std::string& from, const std::string& to) {
  if (is_input_file(Input_name.c_str(), to)) return false;
  return rename_file(from, to);
}

int RINEX_finish_names(int status) {
  if (!Settings_on(Config, SET_LONG_NAMES) || RINEX_splits()) return status;
  if (status != 1) {
    printf("The run is incomplete: the files keep the names %s and %s\n", Obs_name.c_str(),
           Nav_name.c_str());
    return status;
  }
  size_t slash = Obs_name.find_last_of(kSeparators);
  std::string dir = slash == std::string::npos ? "" : Obs_name.substr(0, slash + 1);
  const std::string* provisional[2] = {&Obs_name, &Nav_name};
  const char kContent[2] = {'O', 'N'};
  for (int i = 0; i < 2; i++) {
    std::string final_name = dir + RINEX_long_name(kContent[i]);
    if (is_input_file(Input_name.c_str(), final_name)) {
      printf("RINEX file %s is the raw file itself; %s keeps its name\n", final_name.c_str(),
             provisional[i]->c_str());
      return 2;
    }
    if (!rename_file(*provisional[i], final_name)) {
      printf("RINEX file %s cannot be renamed to %s: %s\n", provisional[i]->c_str(),
             final_name.c_str(), strerror(errno));
      return 2;
    }
    printf("RINEX %s file: %s\n", i == 0 ? "obs" : "nav", final_name.c_str());
  }
  return status;
}

FILE* RINEX_obs_stream() { return RINEX_obs_sink()->fp; }
FILE* RINEX_nav_stream() { return RINEX_nav_sink()->fp; }

void RINEX_set_output_measurement(S16 gnss_type) {
  S16* sw = switch_of(gnss_type);
  if (sw != nullptr) *sw = 1;
}

S16 RINEX_is_able_to_output_measurement(S16 gnss_type) {
  S16* sw = switch_of(gnss_type);
  return (sw != nullptr && *sw) ? 1 : 0;
}

S16 RINEX_is_gnss_mixed_mode() {
  S16 count = 0;
  for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++) count += *switch_of(type) ? 1 : 0;
  return count > 1 ? 1 : 0;
}

S16 RINEX_get_sys_type() {
  struct Entry {
    S16 gnss_type;
    S16 sys;
  };
  static const Entry kOrder[] = {
      {GNSS_TYPE_GPS, RINEX_SYS_GPS},    {GNSS_TYPE_QZSS, RINEX_SYS_QZSS},
      {GNSS_TYPE_SBAS, RINEX_SYS_SBAS},  {GNSS_TYPE_GLO, RINEX_SYS_GLONASS},
      {GNSS_TYPE_BD2, RINEX_SYS_BEIDOU}, {GNSS_TYPE_GAL, RINEX_SYS_GALILEO},
  };
  S16 sys = RINEX_SYS_GPS;
  S16 count = 0;
  for (const Entry& e : kOrder) {
    if (*switch_of(e.gnss_type)) {
      sys = e.sys;
      count++;
    }
  }
  return count > 1 ? (S16)RINEX_SYS_ALL : sys;
}

void RINEX_set_time_source(time_t (*now)()) { Time_source = now; }

void RINEX_convert_creation_time(const char* ctime_text, char* date_str) {
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  UTC_TIME_T utc = {};
  utc.year = (S16)atoi(ctime_text + 20);
  for (S16 m = 0; m < 12; m++)
    if (strncmp(ctime_text + 4, kMonths[m], 3) == 0) utc.month = (S16)(m + 1);
  utc.day = two_digits(ctime_text + 8);
  utc.hour = two_digits(ctime_text + 11);
  utc.minute = two_digits(ctime_text + 14);
  S16 sec = two_digits(ctime_text + 17);

  utc.hour = (S16)(utc.hour - kUtcOffsetHours);
  if (utc.hour < 0) {
    utc.hour = (S16)(utc.hour + 24);
    utc.day = (S16)(utc.day - 1);
    if (utc.day < 1) {
      utc.month = (S16)(utc.month - 1);
      if (utc.month < 1) {
        utc.month = 12;
        utc.year = (S16)(utc.year - 1);
      }
      utc.day = days_in_month(utc.month, utc.year);
    }
  }
  // Always exactly 20 characters, so the header line keeps its length.
  char text[64];
  snprintf(text, sizeof text, "%4d%02d%02d %02d%02d%02d UTC ", utc.year, utc.month, utc.day,
           utc.hour, utc.minute, sec);
  memcpy(date_str, text, 20);
  date_str[20] = '\0';
}

void RINEX_get_create_utc_time(char* date_str) {
  time_t now = Time_source != nullptr ? Time_source() : system_now();
  char text[100];
  const char* local = ctime(&now);
  strncpy(text, local != nullptr ? local : "Thu Jan 01 00:00:00 1970\n", sizeof text - 1);
  text[sizeof text - 1] = '\0';
  RINEX_convert_creation_time(text, date_str);
}
