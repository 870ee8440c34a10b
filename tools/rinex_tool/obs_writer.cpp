// The observation writer: records formatted as each generation lays them out
// (RINEX 2.11: epoch lines of 12 satellites and five fields a line; RINEX 3
// and 4: one line a satellite), or encoded as Compact RINEX; the header made
// at the end from the epochs written and rewritten over the first one.
#include "obs_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "code_map.h"
#include "creation_date.h"
#include "crx_encode.h"
#include "file_io.h"
#include "obs_header_lines.h"
#include "obs_records.h"
#include "output_sink.h"
#include "rinex_format.h"

namespace {

// A header line: content in columns 1-60, the label from 61.
std::string line(const std::string& content, const char* label) {
  std::string s = content.substr(0, 60);
  s.resize(60, ' ');
  return s + label + "\n";
}

std::string fmt(const char* format, double v) {
  char text[64];
  snprintf(text, sizeof text, format, v);
  return text;
}

std::string padded(const std::string& s, size_t width) {
  std::string out = s.substr(0, width);
  out.resize(width, ' ');
  return out;
}

// The calendar of a time since the GPS epoch.
UTC_TIME_T calendar(double t) {
  UTC_TIME_T c = {};
  int y, mo, d, h, mi;
  Gps_calendar(t, &y, &mo, &d, &h, &mi, &c.sec);
  c.year = (S16)y;
  c.month = (S16)mo;
  c.day = (S16)d;
  c.hour = (S16)h;
  c.minute = (S16)mi;
  return c;
}

// The time lines of TIME OF FIRST OBS and TIME OF LAST OBS.
std::string time_line(double t, const std::string& system, const char* label) {
  return line(Obs_time_content(calendar(t), system), label);
}

// A satellite's values as the records writers take them: each in the
// thousandths its F14.3 field shows, blank (and counted) when no field holds
// it, with its loss-of-lock and strength digits.
void put_fields(const OutSat& sat, ObsFields* c, long* overflows) {
  c->id[0] = sat.sys;
  c->id[1] = (char)('0' + sat.prn / 10 % 10);
  c->id[2] = (char)('0' + sat.prn % 10);
  c->nfields = (int)std::min<size_t>(sat.values.size(), OBS_MAX_FIELDS);
  c->minus_zero = 0;
  for (int k = 0; k < c->nfields; k++) {
    double v = sat.values[(size_t)k];
    uint64_t thousandths = 0;
    bool negative = false;
    bool holds = !std::isnan(v) && RINEX_f14_3_magnitude(v, &thousandths, &negative);
    if (!std::isnan(v) && !holds) (*overflows)++;
    c->present[k] = holds;
    c->value[k] = negative ? -(int64_t)thousandths : (int64_t)thousandths;
    if (negative && thousandths == 0) c->minus_zero |= 1ULL << k;
    unsigned char lli = sat.lli[(size_t)k], ssi = sat.ssi[(size_t)k];
    c->flags[2 * k] = holds && lli != 0 ? (char)('0' + lli % 10) : ' ';
    c->flags[2 * k + 1] = holds && ssi != 0 ? (char)('0' + ssi % 10) : ' ';
  }
}

// The epoch line up to its count (blank time fields for a special record
// without a time).
std::string epoch_start(int version, double t, int flag, size_t count) {
  bool timed = !std::isnan(t);
  UTC_TIME_T c = timed ? calendar(t) : UTC_TIME_T{};
  char start[48];
  Obs_epoch_start(start, version, c, timed, flag, (int)count);
  return start;
}

}  // namespace

void Gps_calendar(double t, int* y, int* mo, int* d, int* h, int* mi, double* s) {
  // Whole seconds and the rest, rounded to the 1e-7 s of an epoch line.
  double whole = std::floor(t);
  double frac = std::round((t - whole) * 1e7) / 1e7;
  if (frac >= 1) whole += 1, frac -= 1;
  long long sec = (long long)whole;
  long long days = sec / 86400 + 3657, sod = sec % 86400;  // days since 1970-01-01
  if (sod < 0) sod += 86400, days--;
  long long z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097, yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  long long day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
  *y = (int)(yoe + era * 400 + (month <= 2));
  *mo = (int)month;
  *d = (int)day;
  *h = (int)(sod / 3600);
  *mi = (int)(sod / 60 % 60);
  *s = (double)(sod % 60) + frac;
}

struct ObsWriter::Impl {
  std::string path, temporary;
  bool compact = false;
  int version = 305;
  Sink sink;
  OutHeader draft;
  std::string text;  // records not yet given to the sink
  std::unique_ptr<ObsRecords> records;
  std::vector<ObsFields> fields;
  long overflows = 0, epochs = 0;
  double first = 0, last = 0;
  std::map<long long, long> spacing;  // milliseconds -> count
  std::map<std::string, bool> sats;   // satellites seen
  std::string header_text(const OutHeader& h) const;
};

ObsWriter::ObsWriter() : impl_(new Impl) {}
ObsWriter::~ObsWriter() {
  if (Sink_is_open(&impl_->sink)) {  // never closed: the work is not kept
    Sink_close(&impl_->sink);
    File_remove(impl_->temporary);
  }
  Sink_free(&impl_->sink);
}

bool ObsWriter::open(const std::string& path, const OutHeader& draft, bool compact, bool gzip,
                     bool threads, std::string* error) {
  Impl& m = *impl_;
  m.path = path;
  m.temporary = path + ".incomplete";
  m.compact = compact;
  m.version = draft.version;
  m.draft = draft;
  for (const auto& t : draft.types)
    if (t.second.size() > OBS_MAX_FIELDS) {
      *error = path + ": " + std::to_string(t.second.size()) + " observation types of system " +
               (t.first == ' ' ? std::string("list") : std::string(1, t.first)) +
               ", more than the " + std::to_string(OBS_MAX_FIELDS) + " a file here may have";
      return false;
    }
  m.sink.threads = threads;
  if (!Sink_open(&m.sink, m.temporary, gzip)) {
    *error = m.temporary + " cannot be created: " + strerror(errno);
    return false;
  }
  m.records = Obs_records_for(draft.version, compact);
  std::string head = m.header_text(draft);
  Sink_header(&m.sink, head.data(), head.size());
  return true;
}

std::string ObsWriter::Impl::header_text(const OutHeader& h) const {
  bool v2 = h.version == 211;
  std::string s;
  char version[16];
  snprintf(version, sizeof version, "%9.2f", h.version / 100.0);
  std::string systems;
  for (const auto& t : h.types)
    if (t.first != ' ') systems += t.first;
  if (v2)
    for (const auto& sat : sats) systems += sat.first[0];
  std::sort(systems.begin(), systems.end());
  systems.erase(std::unique(systems.begin(), systems.end()), systems.end());
  char letter = systems.size() == 1 ? systems[0] : 'M';
  s += line(std::string(version) + "           OBSERVATION DATA    " + letter,
            "RINEX VERSION / TYPE");
  char date[32];
  RINEX_get_utc_date(date);
  s += line(padded(h.program, 20) + padded("", 20) + date, "PGM / RUN BY / DATE");
  for (const std::string& c : h.comments) s += line(c, "COMMENT");
  const ObsHeader& st = h.station;
  s += line(st.marker_name, "MARKER NAME");
  if (!st.marker_number.empty()) s += line(st.marker_number, "MARKER NUMBER");
  if (!v2) s += line(st.marker_type.empty() ? "GEODETIC" : st.marker_type, "MARKER TYPE");
  s += line(padded(st.observer, 20) + st.agency, "OBSERVER / AGENCY");
  s += line(padded(st.receiver_number, 20) + padded(st.receiver_type, 20) + st.receiver_version,
            "REC # / TYPE / VERS");
  std::string antenna = padded(st.antenna_type, 16) + padded(st.radome, 4);
  s += line(padded(st.antenna_number, 20) + antenna, "ANT # / TYPE");
  s += line(fmt("%14.4f", h.approx[0]) + fmt("%14.4f", h.approx[1]) + fmt("%14.4f", h.approx[2]),
            "APPROX POSITION XYZ");
  s += line(fmt("%14.4f", st.antenna_delta[0]) + fmt("%14.4f", st.antenna_delta[1]) +
                fmt("%14.4f", st.antenna_delta[2]),
            "ANTENNA: DELTA H/E/N");
  if (v2) {
    s += line("     1     1", "WAVELENGTH FACT L1/2");
    for (const std::string& l : Obs_types2_contents(h.types.at(' ')))
      s += line(l, "# / TYPES OF OBSERV");
  } else {
    for (const auto& t : h.types)
      for (const std::string& l : Obs_types_contents(t.first, t.second))
        s += line(l, "SYS / # / OBS TYPES");
    for (const std::string& k : h.kept_lines) s += k + "\n";
  }
  if (h.interval > 0) s += line(fmt("%10.3f", h.interval), "INTERVAL");
  s += time_line(epochs > 0 ? first : 0, h.time_system, "TIME OF FIRST OBS");
  if (epochs > 0) s += time_line(last, h.time_system, "TIME OF LAST OBS");
  if (!v2 && h.types.count('R') != 0) {
    std::vector<std::pair<int, int>> slots(h.glonass_channel.begin(), h.glonass_channel.end());
    for (const std::string& l : Obs_slot_contents(slots)) s += line(l, "GLONASS SLOT / FRQ #");
  }
  if (!std::isnan(h.leap)) s += line(fmt("%6.0f", h.leap), "LEAP SECONDS");
  if (!v2 || !sats.empty()) s += line(fmt("%6.0f", (double)sats.size()), "# OF SATELLITES");
  s += line("", "END OF HEADER");
  return s;
}

void ObsWriter::special(double t, int flag, const std::vector<std::string>& lines) {
  Impl& m = *impl_;
  std::string start = epoch_start(m.version, t, flag, lines.size());
  m.records->epoch(start.c_str(), flag, nullptr, 0, &m.text);
  for (const std::string& l : lines) m.text += l + "\n";
}

void ObsWriter::epoch(double t, int flag, const std::vector<OutSat>& list) {
  Impl& m = *impl_;
  if (m.epochs == 0) m.first = t;
  if (m.epochs > 0) m.spacing[std::llround((t - m.last) * 1000.0)]++;
  m.last = t;
  m.epochs++;
  for (const OutSat& s : list) {
    char id[8];
    snprintf(id, sizeof id, "%c%02d", s.sys, s.prn % 100);
    m.sats[id] = true;
  }
  if (m.fields.size() < list.size()) m.fields.resize(list.size());
  for (size_t i = 0; i < list.size(); i++) put_fields(list[i], &m.fields[i], &m.overflows);
  std::string start = epoch_start(m.version, t, flag, list.size());
  m.records->epoch(start.c_str(), flag, m.fields.data(), (int)list.size(), &m.text);
  if (m.text.size() > (1u << 20)) {
    Sink_body(&m.sink, m.text.data(), m.text.size());
    m.text.clear();
  }
}

bool ObsWriter::close(const OutHeader& final_header, const std::string& final_path,
                      std::string* error) {
  Impl& m = *impl_;
  if (!m.text.empty()) Sink_body(&m.sink, m.text.data(), m.text.size());
  m.text.clear();
  OutHeader h = final_header;
  if (h.interval <= 0) h.interval = interval();  // the commonest spacing
  std::string head = m.header_text(h);
  if (m.compact) {
    char date[32];
    RINEX_get_utc_date(date);
    head = Crx_header(head, date, m.version == 211 ? 1 : 3);
    size_t program = head.find("vln_raw_to_rinex    ");
    if (program != std::string::npos) head.replace(program, 20, padded(h.program, 20));
  }
  Sink_rewind(&m.sink);
  Sink_header(&m.sink, head.data(), head.size());
  Sink_close(&m.sink);
  if (m.sink.error != 0) {
    *error = m.path + " cannot be written: " + strerror(m.sink.error);
    File_remove(m.temporary);
    return false;
  }
  File_remove(final_path);
  if (!File_rename(m.temporary, final_path)) {
    *error = m.temporary + " cannot be renamed to " + final_path + ": " + strerror(errno);
    File_remove(m.temporary);
    return false;
  }
  return true;
}

long ObsWriter::overflows() const { return impl_->overflows; }
long ObsWriter::epochs() const { return impl_->epochs; }
double ObsWriter::first() const { return impl_->first; }
double ObsWriter::last() const { return impl_->last; }
double ObsWriter::interval() const {
  if (impl_->spacing.empty()) return 0;
  auto best = std::max_element(impl_->spacing.begin(), impl_->spacing.end(),
                               [](const auto& a, const auto& b) { return a.second < b.second; });
  return (double)best->first / 1000.0;
}
