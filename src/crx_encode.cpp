// Compact RINEX encoder. Per satellite it keeps the flag string and, per
// observation type, the arc's last value and differences; a satellite that
// was not in the previous epoch starts anew. Runs on the writer thread.
#include "crx_encode.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rinex_format.h"

namespace {

constexpr int kOrder = 3;                    // difference order of every arc
constexpr int64_t kUpperUnit = 100000;       // the upper digits' unit of a value
constexpr int64_t kUpperJumpLimit = 100000;  // a difference of uppers above this restarts
constexpr int kMaxTypes = CRX_MAX_FIELDS;
constexpr int kSystems = 6;
constexpr int kMaxNumber = 100;
constexpr int kEpochColumns = 41;   // the RINEX 3 epoch line before the satellite list
constexpr int kEpochColumns2 = 32;  // the RINEX 2 epoch line before the satellite list

struct Arc {
  bool active;
  int count;  // differences held: 0 .. kOrder
  int64_t d[kOrder + 1];
  int64_t u[kOrder + 1];  // the same for the upper digits
};

struct SatState {
  bool in_previous;
  bool in_current;
  char flags[2 * kMaxTypes + 1];
  Arc arcs[kMaxTypes];
};

SatState Sats[kSystems][kMaxNumber];
std::string Previous_line;
bool Fresh = true;
bool Dual;
int Version = 3;  // Compact RINEX 3.0, or 1.0 for RINEX 2
long Blank_values;

int system_index(char letter) {
  const char* kLetters = "GRECJS";
  const char* p = strchr(kLetters, letter);
  return p != nullptr && letter != '\0' ? (int)(p - kLetters) : -1;
}

// Appends the text difference of new against old (blank: same, '&': blanked),
// trailing blanks cut.
void append_diff(const char* old_text, size_t old_len, const char* new_text, size_t new_len,
                 std::string* out) {
  size_t n = old_len > new_len ? old_len : new_len;
  size_t start = out->size();
  size_t last = start;  // end of the last character that is not a blank
  for (size_t i = 0; i < n; i++) {
    char o = i < old_len ? old_text[i] : ' ';
    char c = i < new_len ? new_text[i] : ' ';
    char d = i >= old_len ? c : (c == o ? ' ' : (c == ' ' ? '&' : c));
    out->push_back(d);
    if (d != ' ') last = out->size();
  }
  out->resize(last);
}

void append_int(std::string* out, int64_t v) {
  char text[24];
  char* end = text + sizeof text;
  char* p = end;
  uint64_t m = v < 0 ? (uint64_t)(-(v + 1)) + 1 : (uint64_t)v;
  do {
    *--p = (char)('0' + m % 10);
    m /= 10;
  } while (m > 0);
  if (v < 0) *--p = '-';
  out->append(p, (size_t)(end - p));
}

int64_t upper(int64_t v) { return v / kUpperUnit; }

// The token of a present value: "3&v" at an arc's start, else its difference.
void put_value(Arc* a, int64_t y, std::string* out) {
  if (a->active) {
    int c = a->count + 1 < kOrder ? a->count + 1 : kOrder;
    int64_t e[kOrder + 1];
    int64_t eu[kOrder + 1];
    e[0] = y;
    eu[0] = upper(y);
    for (int j = 0; j < c; j++) {
      e[j + 1] = e[j] - a->d[j];
      eu[j + 1] = eu[j] - a->u[j];
    }
    if (llabs(eu[c]) <= kUpperJumpLimit) {
      memcpy(a->d, e, sizeof e);
      memcpy(a->u, eu, sizeof eu);
      a->count = c;
      append_int(out, e[c]);
      return;
    }
  }
  a->active = true;
  a->count = 0;
  a->d[0] = y;
  a->u[0] = upper(y);
  out->push_back((char)('0' + kOrder));
  out->push_back('&');
  append_int(out, y);
}

void reset_all() {
  for (auto& system : Sats)
    for (SatState& s : system) s.in_previous = false;
}

// The satellite's number from the digits of its ID ("G 3", "G03", "S20").
int id_number(const char* id) {
  int tens = id[1] >= '0' && id[1] <= '9' ? id[1] - '0' : 0;
  return 10 * tens + (id[2] - '0');
}

void put_fields(const CrxSat& c, std::string* out) {
  int sys = system_index(c.id[0]);
  int number = id_number(c.id);
  if (sys < 0 || number < 0 || number >= kMaxNumber || c.nfields > kMaxTypes) return;
  SatState& s = Sats[sys][number];
  bool is_new = !s.in_previous;
  s.in_current = true;
  int n = c.nfields;
  char flags[2 * kMaxTypes + 1];
  memcpy(flags, c.flags, (size_t)(2 * n));
  flags[2 * n] = '\0';
  for (int t = 0; t < n; t++) {
    Arc& a = s.arcs[t];
    if (is_new) a.active = false;
    bool present = c.present[t];
    int64_t y = 0;
    if (present && !RINEX_f14_3_thousandths(c.value[t], &y)) {
      Blank_values++;
      present = false;
    }
    if (present)
      put_value(&a, y, out);
    else
      a.active = false;
    out->push_back(' ');
  }
  if (is_new && Version == 1) {  // against blanks: blanks stay blanks, the tail is cut
    std::string blanks((size_t)(2 * n), ' ');
    append_diff(blanks.data(), blanks.size(), flags, (size_t)(2 * n), out);
  } else if (is_new) {  // the whole string, blanks as '&'
    for (int i = 0; i < 2 * n; i++) out->push_back(flags[i] == ' ' ? '&' : flags[i]);
  } else {
    append_diff(s.flags, strlen(s.flags), flags, strlen(flags), out);
  }
  memcpy(s.flags, flags, sizeof flags);
  while (!out->empty() && out->back() == ' ') out->pop_back();
  out->push_back('\n');
}

// A satellite of the original writer's records: four types per frequency.
CrxSat fields_of(const SAT_REC_T& r) {
  CrxSat c = {};
  int number = r.sat % 100;
  c.id[0] = r.letter;
  c.id[1] = number >= 10 ? (char)('0' + number / 10) : ' ';
  c.id[2] = (char)('0' + number % 10);
  c.nfields = (Dual && r.letter != 'S') ? 8 : 4;
  memset(c.flags, ' ', sizeof c.flags);
  for (int t = 0; t < c.nfields; t++) {
    int f = t / 4;
    c.present[t] = f < r.nfreq && !(f == 1 && r.blank_second);
    if (!c.present[t]) continue;
    const D64 values[4] = {r.pr[f], r.carr_phase[f], (D64)r.doppler[f], (D64)r.cn0[f]};
    c.value[t] = values[t % 4];
    if (t % 4 == 1 && r.lli[f] != 0) c.flags[2 * t] = (char)('0' + r.lli[f]);
  }
  return c;
}

// The epoch line (full at a fresh start, else the difference) and the empty clock line.
void put_epoch_line(std::string line, std::string* out) {
  if (Fresh) {
    reset_all();
    std::string full = line;
    if (Version == 1) full[0] = '&';
    while (!full.empty() && full.back() == ' ') full.pop_back();
    *out += full;
  } else {
    append_diff(Previous_line.data(), Previous_line.size(), line.data(), line.size(), out);
  }
  *out += "\n\n";  // and the empty clock line
  Previous_line = line;
  Fresh = false;
}

void end_epoch() {
  for (auto& system : Sats)
    for (SatState& s : system) {
      s.in_previous = s.in_current;
      s.in_current = false;
    }
}

// A special record: the line verbatim ('&' first in version 1.0), and
// everything starts anew after it.
void put_special(const char* epoch_start, std::string* out) {
  std::string line(epoch_start);
  if (Version == 1 && !line.empty()) line[0] = '&';
  while (!line.empty() && line.back() == ' ') line.pop_back();
  *out += line + "\n";
  Fresh = true;
}

}  // namespace

void Crx_start(bool dual, int version) {
  Dual = dual;
  Version = version;
  Fresh = true;
  Previous_line.clear();
  reset_all();
}

std::string Crx_header(const std::string& rinex_header, const char* creation_date, int version,
                       bool whole_lines) {
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  // "YYYYMMDD hhmmss UTC " into "dd-Mmm-yy hh:mm".
  int month = (creation_date[4] - '0') * 10 + (creation_date[5] - '0');
  char date[32];
  snprintf(date, sizeof date, "%.2s-%s-%.2s %.2s:%.2s", creation_date + 6,
           kMonths[(month >= 1 && month <= 12) ? month - 1 : 0], creation_date + 2,
           creation_date + 9, creation_date + 11);
  char lines[256];
  snprintf(lines, sizeof lines, "%-20s%-20s%-20s%s\n%-40s%-20s%s\n", version == 1 ? "1.0" : "3.0",
           "COMPACT RINEX FORMAT", "", "CRINEX VERS   / TYPE", "vln_raw_to_rinex", date,
           "CRINEX PROG / DATE");
  std::string out = lines;
  size_t from = 0;
  while (from < rinex_header.size()) {
    size_t nl = rinex_header.find('\n', from);
    if (nl == std::string::npos) nl = rinex_header.size();
    size_t end = nl;
    while (!whole_lines && end > from && rinex_header[end - 1] == ' ') end--;
    out.append(rinex_header, from, end - from);
    out += '\n';
    from = nl + 1;
  }
  return out;
}

void Crx_epoch(const EPOCH_REC_T& e, const SAT_REC_T* sats, const char* epoch_start,
               std::string* out) {
  static CrxSat fields[MAX_EPOCH_SATS];
  for (S16 i = 0; i < e.nsat && i < MAX_EPOCH_SATS; i++) fields[i] = fields_of(sats[i]);
  Crx_fields_epoch(epoch_start, e.flag, fields, e.nsat, out);
}

void Crx_fields_epoch(const char* epoch_start, int flag, const CrxSat* sats, int nsat,
                      std::string* out) {
  if (flag > 1) return put_special(epoch_start, out);
  static std::string line;
  line.assign(epoch_start);
  line.resize(Version == 1 ? kEpochColumns2 : kEpochColumns, ' ');
  for (int i = 0; i < nsat; i++) line.append(sats[i].id, 3);
  put_epoch_line(line, out);
  for (int i = 0; i < nsat; i++) put_fields(sats[i], out);
  end_epoch();
}

long Crx_blank_values() { return Blank_values; }
