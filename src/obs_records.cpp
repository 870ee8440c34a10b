// The generations' record layouts behind one interface: plain RINEX writes
// the fields as F14.3 columns with their flag characters, trailing blanks of
// each line cut; Compact RINEX hands the fields to its encoder.
#include "obs_records.h"

#include <cstring>

#include "crx_encode.h"
#include "rinex_format.h"

namespace {

constexpr int kVersion211 = 211;
constexpr int kSatsPerLine2 = 12;
constexpr int kFieldsPerLine2 = 5;
constexpr int kEpochStart2 = 32;  // the RINEX 2 epoch line before its satellites
constexpr int kFieldWidth = 16;

// Appends [line, p) to out without its trailing blanks, then a line end.
void put_line(char* line, char* p, std::string* out) {
  while (p > line && p[-1] == ' ') p--;
  *p++ = '\n';
  out->append(line, (size_t)(p - line));
}

// RINEX 3.02-4.00: the epoch line, then one line a satellite, its ID first.
class Rinex3Records : public ObsRecords {
 public:
  void epoch(const char* start, int, const ObsFields* sats, int nsat, std::string* out) override {
    out->append(start);
    out->push_back('\n');
    char line[3 + kFieldWidth * OBS_MAX_FIELDS + 1];
    for (int i = 0; i < nsat; i++) {
      memcpy(line, sats[i].id, 3);
      char* p = line + 3;
      for (int k = 0; k < sats[i].nfields && k < OBS_MAX_FIELDS; k++, p += kFieldWidth)
        Obs_put_field(p, sats[i], k);
      put_line(line, p, out);
    }
  }
};

// RINEX 2.11: the epoch line lists the satellites, 12 a line; each
// satellite's fields follow in lines of five, empty lines included.
class Rinex2Records : public ObsRecords {
 public:
  void epoch(const char* start, int, const ObsFields* sats, int nsat, std::string* out) override {
    out->append(start);
    for (int i = 0; i < nsat; i++) {
      if (i > 0 && i % kSatsPerLine2 == 0) {
        out->push_back('\n');
        out->append((size_t)kEpochStart2, ' ');
      }
      out->append(sats[i].id, 3);
    }
    out->push_back('\n');
    char line[kFieldWidth * kFieldsPerLine2 + 1];
    for (int i = 0; i < nsat; i++) {
      char* p = line;
      int n = sats[i].nfields < OBS_MAX_FIELDS ? sats[i].nfields : OBS_MAX_FIELDS;
      for (int k = 0; k < n; k++) {
        Obs_put_field(p, sats[i], k);
        p += kFieldWidth;
        if (k % kFieldsPerLine2 == kFieldsPerLine2 - 1 || k + 1 == n) {
          put_line(line, p, out);
          p = line;
        }
      }
    }
  }
};

class CompactRecords : public ObsRecords {
 public:
  explicit CompactRecords(int crx_version) { encoder_.start(false, crx_version); }
  void epoch(const char* start, int flag, const ObsFields* sats, int nsat,
             std::string* out) override {
    encoder_.fields_epoch(start, flag, sats, nsat, out);
  }

 private:
  CrxEncoder encoder_;
};

}  // namespace

std::unique_ptr<ObsRecords> Obs_records_for(int version, bool compact) {
  bool v2 = version == kVersion211;
  if (compact) return std::unique_ptr<ObsRecords>(new CompactRecords(v2 ? 1 : 3));
  if (v2) return std::unique_ptr<ObsRecords>(new Rinex2Records());
  return std::unique_ptr<ObsRecords>(new Rinex3Records());
}

int Obs_epoch_start(char* line, int version, const UTC_TIME_T& c, bool timed, int flag, int nsat) {
  bool v2 = version == kVersion211;
  char* p = line;
  if (!timed) {  // a special record without a time
    int blanks = v2 ? 28 : 31;
    if (!v2) *p++ = '>';
    memset(p, ' ', (size_t)(v2 ? blanks : blanks - 1));
    p += v2 ? blanks : blanks - 1;
  } else {
    // "> %4d %02d %02d %02d %02d%11.7f", or " %02d %2d %2d %2d %2d%11.7f"
    // for 2.11, without printf: it runs for every epoch.
    *p++ = v2 ? ' ' : '>';
    if (v2) {
      *p++ = (char)('0' + c.year % 100 / 10);
      *p++ = (char)('0' + c.year % 10);
    } else {
      *p++ = ' ';
      p += RINEX_format_int(p, c.year % 10000, 4);
    }
    for (int field : {c.month, c.day, c.hour, c.minute}) {
      *p++ = ' ';
      if (v2) {
        p += RINEX_format_int(p, field, 2);
      } else {
        *p++ = (char)('0' + field / 10 % 10);
        *p++ = (char)('0' + field % 10);
      }
    }
    p += RINEX_format_fixed(p, c.sec, 11, 7);
    *p++ = ' ';
    *p++ = ' ';
  }
  *p++ = (char)('0' + flag % 10);
  p += RINEX_format_int(p, nsat % 1000, 3);
  *p = '\0';
  return (int)(p - line);
}

void Obs_put_field(char* p, const ObsFields& sat, int k) {
  if (!sat.present[k]) {
    memset(p, ' ', kFieldWidth);
    return;
  }
  int64_t v = sat.value[k];
  bool negative = v < 0 || (v == 0 && (sat.minus_zero >> k & 1) != 0);
  RINEX_put_f14_3(p, v < 0 ? (uint64_t)0 - (uint64_t)v : (uint64_t)v, negative);
  p[14] = sat.flags[2 * k];
  p[15] = sat.flags[2 * k + 1];
}
