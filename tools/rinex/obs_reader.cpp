// Observation reader of the quality report and the position check. The
// header is read by labels in columns 61-80; the body by the fixed columns of
// epoch lines and of the 16-column fields of data lines. Numbers of the usual
// F14.3 shape are read digit by digit (a day at 30 s or an hour at 10 Hz in a
// fraction of a second). RINEX 2 files have one list of two-character types
// for every system; each system gets it as the RINEX 3 codes they stand for
// (code_map: C1 C1C, P2 C2W on GPS, L2 L2W beside P2), and its epochs
// continue their satellite list and their records over several lines.
#include "obs_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "code_map.h"
#include "nav_reader.h"
#include "rinex_text.h"

namespace {

struct Lines {
  RinexLines* source;
  long number = 0;
  bool next(std::string* line) {
    if (!source->next(line)) return false;
    number++;
    return true;
  }
};

// Columns from..from+n of a header line without the blanks around them.
std::string cut(const std::string& line, size_t from, size_t n) {
  std::string s = from < line.size() ? line.substr(from, std::min(n, line.size() - from)) : "";
  size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::string label_of(const std::string& line) { return line.size() > 60 ? line.substr(60) : ""; }

bool is_label(const std::string& line, const char* label) {
  return line.size() > 60 && line.compare(60, strlen(label), label) == 0;
}

// A 14-column number: digits around one point, optional sign, blanks around.
double fixed_value(const char* p, size_t len) {
  size_t i = 0;
  while (i < len && p[i] == ' ') i++;
  if (i == len) return NAN;
  bool negative = p[i] == '-';
  if (p[i] == '-' || p[i] == '+') i++;
  double whole = 0, scale = 1, frac = 0;
  bool point = false, digits = false;
  for (; i < len && p[i] != ' '; i++) {
    if (p[i] == '.' && !point) {
      point = true;
    } else if (p[i] >= '0' && p[i] <= '9') {
      digits = true;
      if (point) {
        scale *= 10;
        frac = frac * 10 + (p[i] - '0');
      } else {
        whole = whole * 10 + (p[i] - '0');
      }
    } else {  // an exponent or anything else: the general reader
      char text[32] = {};
      memcpy(text, p, len < 31 ? len : 31);
      char* end;
      double v = strtod(text, &end);
      return end == text ? NAN : v;
    }
  }
  if (!digits) return NAN;
  double v = whole + frac / scale;
  return negative ? -v : v;
}

// The types of one SYS / # / OBS TYPES record (with its continuation lines).
bool read_types(Lines* in, std::string line, ObsFile* obs, std::string* why) {
  char sys = line[0];
  int n = atoi(line.substr(3, 3).c_str());
  if (n <= 0 || n > 999) {
    *why = "bad SYS / # / OBS TYPES count";
    return false;
  }
  std::vector<std::string>& types = obs->types[sys];
  types.clear();
  for (;;) {
    for (size_t pos = 7; pos + 3 <= 58 && (int)types.size() < n; pos += 4) {
      std::string type = line.size() >= pos + 3 ? line.substr(pos, 3) : "   ";
      types.push_back(type);
    }
    if ((int)types.size() >= n) return true;
    if (!in->next(&line) || !is_label(line, "SYS / # / OBS TYPES")) {
      *why = "SYS / # / OBS TYPES continuation missing";
      return false;
    }
  }
}

// The one types list of RINEX 2 ("# / TYPES OF OBSERV", nine a line), given
// to every system it may hold as three-character codes.
bool read_types2(Lines* in, std::string line, ObsFile* obs, std::string* why) {
  int n = atoi(line.substr(0, 6).c_str());
  if (n <= 0 || n > 99) {
    *why = "bad # / TYPES OF OBSERV count";
    return false;
  }
  std::vector<std::string> two;
  for (;;) {
    for (size_t pos = 10; pos + 2 <= 60 && (int)two.size() < n; pos += 6)
      two.push_back(line.size() >= pos + 2 ? line.substr(pos, 2) : "  ");
    if ((int)two.size() >= n) break;
    if (!in->next(&line) || !is_label(line, "# / TYPES OF OBSERV")) {
      *why = "# / TYPES OF OBSERV continuation missing";
      return false;
    }
  }
  for (char sys : {'G', 'R', 'E', 'S'}) obs->types[sys] = Code_from_rinex2(sys, two);
  return true;
}

struct Scale {
  double factor;
  std::vector<std::string> types;  // empty: every type of the system
};

bool read_header(Lines* in, ObsFile* obs, std::map<char, std::vector<Scale>>* scales,
                 std::string* why) {
  std::string line;
  if (!in->next(&line) || !is_label(line, "RINEX VERSION / TYPE")) {
    *why = "not a RINEX file (no RINEX VERSION / TYPE line)";
    return false;
  }
  obs->version = atof(line.substr(0, 9).c_str());
  if (obs->version < 2 || obs->version >= 5) {
    *why = "RINEX version " + line.substr(0, 9).erase(0, line.find_first_not_of(' ')) +
           " is not read (2.10 to 4.00 are)";
    return false;
  }
  if (line.size() < 21 || line[20] != 'O') {
    *why = "not an observation file";
    return false;
  }
  ObsHeader& h = obs->header;
  obs->header_lines.push_back(line);
  while (in->next(&line)) {
    std::string label = label_of(line);
    if (is_label(line, "END OF HEADER")) return true;
    obs->header_lines.push_back(line);
    if (is_label(line, "SYS / # / OBS TYPES") && line[0] != ' ' && obs->version >= 3) {
      if (!read_types(in, line, obs, why)) return false;
    } else if (is_label(line, "# / TYPES OF OBSERV") && obs->version < 3) {
      if (!read_types2(in, line, obs, why)) return false;
    } else if (is_label(line, "MARKER NAME")) {
      h.marker_name = cut(line, 0, 60);
    } else if (is_label(line, "MARKER NUMBER")) {
      h.marker_number = cut(line, 0, 20);
    } else if (is_label(line, "MARKER TYPE")) {
      h.marker_type = cut(line, 0, 20);
    } else if (is_label(line, "OBSERVER / AGENCY")) {
      h.observer = cut(line, 0, 20);
      h.agency = cut(line, 20, 40);
    } else if (is_label(line, "REC # / TYPE / VERS")) {
      h.receiver_number = cut(line, 0, 20);
      h.receiver_type = cut(line, 20, 20);
      h.receiver_version = cut(line, 40, 20);
    } else if (is_label(line, "ANT # / TYPE")) {
      h.antenna_number = cut(line, 0, 20);
      h.antenna_type = cut(line, 20, 16);
      h.radome = cut(line, 36, 4);
    } else if (is_label(line, "ANTENNA: DELTA H/E/N")) {
      for (int i = 0; i < 3; i++) h.antenna_delta[i] = bc::field(line, 14 * (size_t)i, 14);
      h.has_delta = true;
    } else if (is_label(line, "APPROX POSITION XYZ")) {
      for (int i = 0; i < 3; i++) obs->approx[i] = bc::field(line, 14 * (size_t)i, 14);
    } else if (is_label(line, "INTERVAL")) {
      obs->interval = bc::field(line, 0, 10);
    } else if (is_label(line, "LEAP SECONDS")) {
      obs->leap = bc::field(line, 0, 6);
    } else if (is_label(line, "TIME OF FIRST OBS")) {
      obs->first_obs = bc::seconds_since_gps_epoch(
          bc::int_field(line, 0, 6), bc::int_field(line, 6, 6), bc::int_field(line, 12, 6),
          bc::int_field(line, 18, 6), bc::int_field(line, 24, 6), bc::field(line, 30, 13));
      obs->time_system = cut(line, 48, 3);
    } else if (is_label(line, "TIME OF LAST OBS")) {
      obs->last_obs = bc::seconds_since_gps_epoch(
          bc::int_field(line, 0, 6), bc::int_field(line, 6, 6), bc::int_field(line, 12, 6),
          bc::int_field(line, 18, 6), bc::int_field(line, 24, 6), bc::field(line, 30, 13));
    } else if (is_label(line, "SYS / SCALE FACTOR") && line[0] != ' ') {
      Scale s{(double)atoi(line.substr(2, 4).c_str()), {}};
      int n = atoi(line.substr(8, 2).c_str());
      for (size_t pos = 11; pos + 3 <= 59 && (int)s.types.size() < n; pos += 4)
        if (line.size() >= pos + 3) s.types.push_back(line.substr(pos, 3));
      if (s.factor > 0) (*scales)[line[0]].push_back(s);
    } else if (is_label(line, "GLONASS SLOT / FRQ #")) {
      for (size_t pos = 4; pos + 6 <= 60 && pos + 6 <= line.size(); pos += 7)
        if (line[pos] == 'R')
          obs->glonass_channel[atoi(line.substr(pos + 1, 2).c_str())] =
              atoi(line.substr(pos + 3, 3).c_str());
    }
  }
  *why = "no END OF HEADER";
  return false;
}

// The value and loss-of-lock digit of field k of a record.
void read_field(const std::string& line, size_t at, double divisor, ObsRecord* obs) {
  double v = at < line.size()
                 ? fixed_value(line.data() + at, std::min<size_t>(14, line.size() - at))
                 : NAN;
  // Many receivers write 0.000 for what they did not observe: missing, as blank is.
  obs->values.push_back(v == 0 ? NAN : v / divisor);
  auto digit = [&](size_t k) {
    return k < line.size() && line[k] >= '0' && line[k] <= '9' ? (unsigned char)(line[k] - '0')
                                                               : (unsigned char)0;
  };
  obs->lli.push_back(digit(at + 14));
  obs->ssi.push_back(digit(at + 15));
}

// A special record's lines: kept in the record, or skipped and counted.
// True when the record is given on.
bool special_lines(Lines* in, int n, bool keep, ObsFile* obs, ObsRecord* e) {
  e->sats.clear();
  e->values.clear();
  e->lli.clear();
  e->ssi.clear();
  e->lines.clear();
  std::string line;
  for (int i = 0; i < n && in->next(&line); i++)
    if (keep) e->lines.push_back(line);
  if (!keep) obs->skipped["special records (flags 2-6)"]++;
  return keep;
}

// RINEX 2 epochs: " yy mm dd hh mm ss.sssssss  f nnn" and 12 satellites a
// line, then per satellite its fields five a line. False at the end.
bool read_epoch2(Lines* in, ObsFile* obs, std::map<char, bool>* seen, bool keep_special,
                 ObsRecord* e) {
  std::string line;
  size_t ntypes = obs->types.empty() ? 0 : obs->types.begin()->second.size();
  size_t lines_per_sat = (ntypes + 4) / 5;
  while (in->next(&line)) {
    if (line.size() < 32 || line[28] < '0' || line[28] > '9') {
      if (!line.empty()) obs->skipped["lines outside an epoch"]++;
      continue;
    }
    int flag = line[28] - '0';
    int nsat = atoi(line.substr(29, 3).c_str());
    int yy = bc::int_field(line, 1, 2);
    bool timed = line.find_first_not_of(' ', 1) < 26;
    e->t = timed ? bc::seconds_since_gps_epoch(yy < 80 ? 2000 + yy : 1900 + yy,
                                               bc::int_field(line, 4, 2), bc::int_field(line, 7, 2),
                                               bc::int_field(line, 10, 2),
                                               bc::int_field(line, 13, 2), bc::field(line, 15, 11))
                 : NAN;
    e->flag = flag;
    if (flag > 1) {  // events, header records, cycle-slip records: not observations
      if (special_lines(in, nsat, keep_special, obs, e)) return true;
      continue;
    }
    e->sats.clear();
    e->values.clear();
    e->lli.clear();
    e->ssi.clear();
    long epoch_line = in->number;
    std::vector<std::string> ids;
    for (int i = 0; i < nsat; i++) {
      if (i > 0 && i % 12 == 0 && !in->next(&line)) break;
      size_t at = 32 + 3 * (size_t)(i % 12);
      ids.push_back(line.size() >= at + 3 ? line.substr(at, 3) : "   ");
    }
    for (size_t i = 0; i < ids.size(); i++) {
      char sys = ids[i][0] == ' ' ? 'G' : ids[i][0];
      auto types = obs->types.find(sys);
      std::string record;
      for (size_t l = 0; l < lines_per_sat; l++) {
        if (!in->next(&line)) {
          obs->skipped["satellites of a truncated last epoch (line " + std::to_string(epoch_line) +
                       ")"] += (long)(ids.size() - i);
          return true;
        }
        line.resize(80, ' ');
        record += line;
      }
      if (types == obs->types.end()) {
        obs->skipped["records of systems without types"]++;
        continue;
      }
      (*seen)[sys] = true;
      ObsSat s{sys, atoi(ids[i].substr(1, 2).c_str()), e->values.size()};
      for (size_t k = 0; k < ntypes; k++) read_field(record, 16 * k, 1.0, e);
      e->sats.push_back(s);
    }
    return true;
  }
  return false;
}

// RINEX 3 and 4 epochs: "> yyyy mm dd hh mm ss.sssssss  f nnn", then a line a
// satellite. False at the end.
bool read_epoch3(Lines* in, ObsFile* obs, const std::map<char, std::vector<double>>& divisor,
                 bool keep_special, ObsRecord* e) {
  std::string line;
  while (in->next(&line)) {
    if (line.empty()) continue;
    if (line[0] != '>' || line.size() < 35) {
      obs->skipped["lines outside an epoch"]++;
      continue;
    }
    int flag = line[31] - '0';
    int nsat = atoi(line.substr(32, 3).c_str());
    if (flag < 0 || flag > 6 || nsat < 0) {
      obs->skipped["bad epoch lines"]++;
      continue;
    }
    bool timed = line.find_first_not_of(' ', 1) < 29;
    e->t = timed
               ? bc::seconds_since_gps_epoch(bc::int_field(line, 2, 4), bc::int_field(line, 7, 2),
                                             bc::int_field(line, 10, 2), bc::int_field(line, 13, 2),
                                             bc::int_field(line, 16, 2), bc::field(line, 18, 11))
               : NAN;
    e->flag = flag;
    if (flag > 1) {  // events, header records, cycle-slip records: not observations
      if (special_lines(in, nsat, keep_special, obs, e)) return true;
      continue;
    }
    e->sats.clear();
    e->values.clear();
    e->lli.clear();
    e->ssi.clear();
    long epoch_line = in->number;
    for (int i = 0; i < nsat; i++) {
      if (!in->next(&line)) {
        obs->skipped["satellites of a truncated last epoch (line " + std::to_string(epoch_line) +
                     ")"] += nsat - i;
        break;
      }
      auto types = obs->types.find(line.empty() ? ' ' : line[0]);
      if (types == obs->types.end() || line.size() < 3) {
        obs->skipped["records of systems without types"]++;
        continue;
      }
      ObsSat s{line[0], atoi(line.substr(1, 2).c_str()), e->values.size()};
      const std::vector<double>& d = divisor.at(s.sys);
      for (size_t k = 0; k < types->second.size(); k++) read_field(line, 3 + 16 * k, d[k], e);
      e->sats.push_back(s);
    }
    return true;
  }
  return false;
}

}  // namespace

struct ObsStream::Impl {
  RinexLines source;
  Lines in{&source};
  ObsFile header;
  std::map<char, std::vector<double>> divisor;  // per system and type index
  std::map<char, bool> seen;                    // RINEX 2: the systems of any record
  bool ended = false;
  bool keep_special = false;
};

ObsStream::ObsStream() : impl_(new Impl) {}
ObsStream::~ObsStream() = default;

bool ObsStream::start(const std::string& name, std::string* error) {
  Impl& m = *impl_;
  std::map<char, std::vector<Scale>> scales;
  std::string why;
  if (!read_header(&m.in, &m.header, &scales, &why)) {
    if (!m.source.error().empty())
      *error = m.source.error();
    else
      *error = name + " line " + std::to_string(m.in.number) + ": " + why;
    return false;
  }
  for (const auto& t : m.header.types) {
    std::vector<double>& d = m.divisor[t.first];
    d.assign(t.second.size(), 1.0);
    for (const Scale& s : scales[t.first])
      for (size_t i = 0; i < t.second.size(); i++)
        if (s.types.empty() ||
            std::find(s.types.begin(), s.types.end(), t.second[i]) != s.types.end())
          d[i] = s.factor;
  }
  return true;
}

bool ObsStream::open(const std::string& path, std::string* error) {
  impl_.reset(new Impl);
  if (!impl_->source.open(path, error)) return false;
  return start(path, error);
}

bool ObsStream::open_text(const std::string& text, const std::string& name, std::string* error) {
  impl_.reset(new Impl);
  impl_->source.open_text(text, name);
  return start(name, error);
}

const ObsFile& ObsStream::header() const { return impl_->header; }

bool ObsStream::next(ObsRecord* record) {
  Impl& m = *impl_;
  if (m.ended) return false;
  bool got = m.header.version < 3
                 ? read_epoch2(&m.in, &m.header, &m.seen, m.keep_special, record)
                 : read_epoch3(&m.in, &m.header, m.divisor, m.keep_special, record);
  if (got) return true;
  m.ended = true;
  // RINEX 2: systems the one list was given to but no record had keep no types.
  if (m.header.version < 3)
    for (auto it = m.header.types.begin(); it != m.header.types.end();)
      it = m.seen.count(it->first) != 0 ? std::next(it) : m.header.types.erase(it);
  return false;
}

const std::string& ObsStream::error() const { return impl_->source.error(); }

void ObsStream::keep_special_records() { impl_->keep_special = true; }

bool read_obs_text(const std::string& text, const std::string& name, ObsFile* obs,
                   std::string* error) {
  ObsStream stream;
  if (!stream.open_text(text, name, error)) return false;
  return read_all(&stream, obs, error);
}

bool read_all(ObsStream* stream, ObsFile* obs, std::string* error) {
  ObsRecord r;
  std::vector<ObsEpoch> epochs;
  std::vector<ObsSat> sats;
  std::vector<double> values;
  std::vector<unsigned char> lli, ssi;
  while (stream->next(&r)) {
    epochs.push_back({r.t, (int)sats.size(), (int)r.sats.size()});
    for (ObsSat s : r.sats) {
      s.first_value += values.size();
      sats.push_back(s);
    }
    values.insert(values.end(), r.values.begin(), r.values.end());
    lli.insert(lli.end(), r.lli.begin(), r.lli.end());
    ssi.insert(ssi.end(), r.ssi.begin(), r.ssi.end());
  }
  if (!stream->error().empty()) {
    *error = stream->error();
    return false;
  }
  *obs = stream->header();
  obs->epochs.swap(epochs);
  obs->sats.swap(sats);
  obs->values.swap(values);
  obs->lli.swap(lli);
  obs->ssi.swap(ssi);
  return true;
}

bool read_obs_file(const std::string& path, ObsFile* obs, std::string* error) {
  ObsStream stream;
  if (!stream.open(path, error)) return false;
  return read_all(&stream, obs, error);
}
