// Compact RINEX encoder. Per satellite it keeps the flag string and, per
// observation type, the arc's last value and differences; a satellite that
// was not in the previous epoch starts anew. Runs on the writer thread.
#include "crx_encode.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "rinex_format.h"

namespace {

constexpr int kOrder = 3;                    // difference order of every arc
constexpr int64_t kUpperUnit = 100000;       // the upper digits' unit of a value
constexpr int64_t kUpperJumpLimit = 100000;  // a difference of uppers above this restarts
constexpr int kMaxTypes = OBS_MAX_FIELDS;
constexpr int kSystems = 7;
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

int system_index(char letter) {
  const char* kLetters = "GRECJSI";
  const char* p = strchr(kLetters, letter);
  return p != nullptr && letter != '\0' ? (int)(p - kLetters) : -1;
}

// Writes the text difference of new against old (blank: same, '&':
// blanked), trailing blanks cut, at out; returns its end.
char* put_diff(const char* old_text, size_t old_len, const char* new_text, size_t new_len,
               char* out) {
  size_t n = old_len > new_len ? old_len : new_len;
  char* last = out;  // end of the last character that is not a blank
  for (size_t i = 0; i < n; i++) {
    char o = i < old_len ? old_text[i] : ' ';
    char c = i < new_len ? new_text[i] : ' ';
    char d = i >= old_len ? c : (c == o ? ' ' : (c == ' ' ? '&' : c));
    *out++ = d;
    if (d != ' ') last = out;
  }
  return last;
}

// "00" to "99", two digits at a time.
const char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes v in decimal at out; returns its end.
char* put_int(char* out, int64_t v) {
  if (v < 0) *out++ = '-';
  uint64_t m = v < 0 ? (uint64_t)(-(v + 1)) + 1 : (uint64_t)v;
  int digits = 1;
  for (uint64_t reach = 10; digits < 20 && m >= reach; reach *= 10) digits++;
  char* end = out + digits;
  char* p = end;
  while (m >= 100) {
    p -= 2;
    memcpy(p, kPairs + 2 * (m % 100), 2);
    m /= 100;
  }
  if (m >= 10) {
    memcpy(p - 2, kPairs + 2 * m, 2);
  } else {
    p[-1] = (char)('0' + m);
  }
  return end;
}

int64_t upper(int64_t v) { return v / kUpperUnit; }

// The token of a present value: "3&v" at an arc's start, else its difference.
char* put_value(Arc* a, int64_t y, char* out) {
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
      return put_int(out, e[c]);
    }
  }
  a->active = true;
  a->count = 0;
  a->d[0] = y;
  a->u[0] = upper(y);
  *out++ = (char)('0' + kOrder);
  *out++ = '&';
  return put_int(out, y);
}

// The satellite's number from the digits of its ID ("G 3", "G03", "S20").
int id_number(const char* id) {
  int tens = id[1] >= '0' && id[1] <= '9' ? id[1] - '0' : 0;
  return 10 * tens + (id[2] - '0');
}

}  // namespace

// What the encoder keeps between epochs: per satellite (made when first
// seen) its flags and arcs, the satellites of the epoch being written and of
// the one before, and the previous epoch line.
struct CrxEncoder::State {
  std::unique_ptr<SatState> sats[kSystems][kMaxNumber];
  SatState* current[kSystems * kMaxNumber];
  SatState* previous[kSystems * kMaxNumber];
  int current_count = 0, previous_count = 0;
  std::string previous_line;
  std::string line, diff;  // the epoch line and its difference, kept at their longest
  ObsFields fields[MAX_EPOCH_SATS];
  bool fresh = true;
  bool dual = false;
  int version = 3;  // Compact RINEX 3.0, or 1.0 for RINEX 2
  long blank_values = 0;

  void reset_all();
  void put_fields(const ObsFields& c, std::string* out);
  ObsFields fields_of(const SAT_REC_T& r);
  void put_epoch_line(const std::string& epoch_line, std::string* out);
  void end_epoch();
  void put_special(const char* epoch_start, std::string* out);
};

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

void CrxEncoder::State::reset_all() {
  for (auto& system : sats)
    for (auto& s : system)
      if (s) s->in_previous = s->in_current = false;
  previous_count = current_count = 0;
}

// The satellite's line: its values' tokens and its flags, gathered in one
// buffer and appended at once.
void CrxEncoder::State::put_fields(const ObsFields& c, std::string* out) {
  int sys = system_index(c.id[0]);
  int number = id_number(c.id);
  if (sys < 0 || number < 0 || number >= kMaxNumber || c.nfields > kMaxTypes) return;
  if (!sats[sys][number]) sats[sys][number].reset(new SatState());
  SatState& s = *sats[sys][number];
  bool is_new = !s.in_previous;
  if (!s.in_current) current[current_count++] = &s;
  s.in_current = true;
  int n = c.nfields;
  char flags[2 * kMaxTypes + 1];
  memcpy(flags, c.flags, (size_t)(2 * n));
  flags[2 * n] = '\0';
  // At most 24 characters a token, a blank each, the flags and the line end.
  char line[kMaxTypes * 25 + 2 * kMaxTypes + 2];
  char* p = line;
  for (int t = 0; t < n; t++) {
    Arc& a = s.arcs[t];
    if (is_new) a.active = false;
    if (c.present[t])
      p = put_value(&a, c.value[t], p);
    else
      a.active = false;
    *p++ = ' ';
  }
  if (is_new && version == 1) {  // against blanks: blanks stay blanks, the tail is cut
    char blanks[2 * kMaxTypes];
    memset(blanks, ' ', sizeof blanks);
    p = put_diff(blanks, (size_t)(2 * n), flags, (size_t)(2 * n), p);
  } else if (is_new) {  // the whole string, blanks as '&'
    for (int i = 0; i < 2 * n; i++) *p++ = flags[i] == ' ' ? '&' : flags[i];
  } else if (strlen(s.flags) != (size_t)(2 * n) || memcmp(s.flags, flags, (size_t)(2 * n)) != 0) {
    p = put_diff(s.flags, strlen(s.flags), flags, (size_t)(2 * n), p);
  }  // the same flags as before: nothing
  memcpy(s.flags, flags, sizeof flags);
  while (p > line && p[-1] == ' ') p--;
  *p++ = '\n';
  out->append(line, (size_t)(p - line));
}

// A satellite of the original writer's records: four types per frequency;
// a value no F14.3 field holds is left blank and counted.
ObsFields CrxEncoder::State::fields_of(const SAT_REC_T& r) {
  ObsFields c;
  c.minus_zero = 0;
  int number = r.sat % 100;
  c.id[0] = r.letter;
  c.id[1] = number >= 10 ? (char)('0' + number / 10) : ' ';
  c.id[2] = (char)('0' + number % 10);
  c.nfields = (dual && r.letter != 'S') ? 8 : 4;
  memset(c.flags, ' ', (size_t)(2 * c.nfields));
  for (int t = 0; t < c.nfields; t++) {
    int f = t / 4;
    bool present = f < r.nfreq && !(f == 1 && r.blank_second);
    if (present && (r.raw >> t & 1) != 0) {
      blank_values++;
      present = false;
    }
    c.present[t] = present;
    c.value[t] =
        present ? ((r.negative >> t & 1) != 0 ? -(int64_t)r.field[t] : (int64_t)r.field[t]) : 0;
    if (present && t % 4 == 1 && r.lli[f] != 0) c.flags[2 * t] = (char)('0' + r.lli[f]);
  }
  return c;
}

// The epoch line (full at a fresh start, else the difference) and the empty clock line.
void CrxEncoder::State::put_epoch_line(const std::string& line, std::string* out) {
  size_t longest = std::max(line.size(), previous_line.size()) + 2;
  if (diff.size() < longest) diff.resize(longest);
  char* p = &diff[0];
  if (fresh) {
    reset_all();
    size_t len = line.size();
    while (len > 0 && line[len - 1] == ' ') len--;
    memcpy(p, line.data(), len);
    if (version == 1 && len > 0) p[0] = '&';
    p += len;
  } else {
    p = put_diff(previous_line.data(), previous_line.size(), line.data(), line.size(), p);
  }
  *p++ = '\n';
  *p++ = '\n';  // and the empty clock line
  out->append(diff.data(), (size_t)(p - diff.data()));
  previous_line = line;
  fresh = false;
}

// The satellites of this epoch become those of the previous one; only the
// satellites of the two epochs are touched.
void CrxEncoder::State::end_epoch() {
  for (int i = 0; i < previous_count; i++) previous[i]->in_previous = false;
  for (int i = 0; i < current_count; i++) {
    current[i]->in_previous = true;
    current[i]->in_current = false;
    previous[i] = current[i];
  }
  previous_count = current_count;
  current_count = 0;
}

// A special record: the line verbatim ('&' first in version 1.0), and
// everything starts anew after it.
void CrxEncoder::State::put_special(const char* epoch_start, std::string* out) {
  std::string line(epoch_start);
  if (version == 1 && !line.empty()) line[0] = '&';
  while (!line.empty() && line.back() == ' ') line.pop_back();
  *out += line + "\n";
  fresh = true;
}

CrxEncoder::CrxEncoder() : s_(new State) {}
CrxEncoder::~CrxEncoder() = default;

void CrxEncoder::start(bool dual, int version) {
  s_->dual = dual;
  s_->version = version;
  s_->fresh = true;
  s_->previous_line.clear();
  s_->reset_all();
}

void CrxEncoder::epoch(const EPOCH_REC_T& e, const SAT_REC_T* sats, const char* epoch_start,
                       std::string* out) {
  for (S16 i = 0; i < e.nsat && i < MAX_EPOCH_SATS; i++) s_->fields[i] = s_->fields_of(sats[i]);
  fields_epoch(epoch_start, e.flag, s_->fields, e.nsat, out);
}

void CrxEncoder::fields_epoch(const char* epoch_start, int flag, const ObsFields* sats, int nsat,
                              std::string* out) {
  State& m = *s_;
  if (flag > 1) return m.put_special(epoch_start, out);
  m.line.assign(epoch_start);
  m.line.resize(m.version == 1 ? kEpochColumns2 : kEpochColumns, ' ');
  for (int i = 0; i < nsat; i++) m.line.append(sats[i].id, 3);
  m.put_epoch_line(m.line, out);
  for (int i = 0; i < nsat; i++) m.put_fields(sats[i], out);
  m.end_epoch();
}

long CrxEncoder::blank_values() const { return s_->blank_values; }
