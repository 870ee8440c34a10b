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
#include "output_sink.h"
#include "rinex_format.h"

namespace {

constexpr double kMaxField = 9999999999.999;  // the largest F14.3 value
constexpr int kSatsPerLine2 = 12;
constexpr int kFieldsPerLine2 = 5;

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

// The time lines of TIME OF FIRST OBS and TIME OF LAST OBS.
std::string time_line(double t, const std::string& system, const char* label) {
  int y, mo, d, h, mi;
  double s;
  Gps_calendar(t, &y, &mo, &d, &h, &mi, &s);
  char text[96];
  snprintf(text, sizeof text, "%6d%6d%6d%6d%6d%13.7f     %-3s", y, mo, d, h, mi, s, system.c_str());
  return line(text, label);
}

// A value as its field: 14 columns, then the loss-of-lock digit and a blank.
void put_field(std::string* out, double v, unsigned char lli, unsigned char ssi, long* overflows) {
  char f[16];
  if (std::isnan(v)) {
    memset(f, ' ', 16);
  } else if (!(std::fabs(v) <= kMaxField)) {
    memset(f, ' ', 16);
    (*overflows)++;
  } else {
    uint64_t thousandths = (uint64_t)std::llround(std::fabs(v) * 1000.0);
    RINEX_put_f14_3(f, thousandths, v < 0 && thousandths != 0);
    f[14] = lli != 0 ? (char)('0' + lli % 10) : ' ';
    f[15] = ssi != 0 ? (char)('0' + ssi % 10) : ' ';
  }
  out->append(f, 16);
}

void cut_blanks(std::string* s) {
  size_t end = s->find_last_not_of(' ');
  s->resize(end == std::string::npos ? 0 : end + 1);
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
  std::vector<CrxSat> crx;
  long overflows = 0, epochs = 0;
  double first = 0, last = 0;
  std::map<long long, long> spacing;  // milliseconds -> count
  std::map<std::string, bool> sats;   // satellites seen
  std::string header_text(const OutHeader& h) const;
  void format3(double t, int flag, const std::vector<OutSat>& sats);
  void format2(double t, int flag, const std::vector<OutSat>& sats);
  std::string epoch_start(double t, int flag, size_t count) const;
  void compact_epoch(const std::string& start, int flag, const std::vector<OutSat>& list);
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
                     std::string* error) {
  Impl& m = *impl_;
  m.path = path;
  m.temporary = path + ".incomplete";
  m.compact = compact;
  m.version = draft.version;
  m.draft = draft;
  if (!Sink_open(&m.sink, m.temporary, gzip)) {
    *error = m.temporary + " cannot be created: " + strerror(errno);
    return false;
  }
  if (compact) Crx_start(false, draft.version == 211 ? 1 : 3);
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
    const std::vector<std::string>& types = h.types.at(' ');
    for (size_t i = 0; i < types.size() || i == 0; i += 9) {
      std::string content = i == 0 ? fmt("%6.0f", (double)types.size()) : "      ";
      for (size_t k = i; k < types.size() && k < i + 9; k++) content += "    " + types[k];
      s += line(content, "# / TYPES OF OBSERV");
    }
  } else {
    for (const auto& t : h.types) {
      for (size_t i = 0; i < t.second.size() || i == 0; i += 13) {
        std::string content =
            i == 0 ? std::string(1, t.first) + fmt("  %3.0f", (double)t.second.size()) : "      ";
        for (size_t k = i; k < t.second.size() && k < i + 13; k++) content += " " + t.second[k];
        s += line(content, "SYS / # / OBS TYPES");
      }
    }
    for (const std::string& k : h.kept_lines) s += k + "\n";
  }
  if (h.interval > 0) s += line(fmt("%10.3f", h.interval), "INTERVAL");
  s += time_line(epochs > 0 ? first : 0, h.time_system, "TIME OF FIRST OBS");
  if (epochs > 0) s += time_line(last, h.time_system, "TIME OF LAST OBS");
  if (!v2 && h.types.count('R') != 0) {
    std::string content = fmt("%3.0f ", (double)h.glonass_channel.size());
    size_t n = 0;
    std::string lines;
    for (const auto& c : h.glonass_channel) {
      char one[16];
      snprintf(one, sizeof one, "R%02d %2d ", c.first, c.second);
      content += one;
      if (++n % 8 == 0) {
        lines += line(content, "GLONASS SLOT / FRQ #");
        content = "    ";
      }
    }
    if (h.glonass_channel.empty() || n % 8 != 0) lines += line(content, "GLONASS SLOT / FRQ #");
    s += lines;
  }
  if (!std::isnan(h.leap)) s += line(fmt("%6.0f", h.leap), "LEAP SECONDS");
  if (!v2 || !sats.empty()) s += line(fmt("%6.0f", (double)sats.size()), "# OF SATELLITES");
  s += line("", "END OF HEADER");
  return s;
}

// The epoch line up to its count: RINEX 3 "> yyyy mm dd hh mm ss.sssssss  f nnn"
// (35 columns), RINEX 2 " yy mm dd hh mm ss.sssssss  f nnn" (32); blank time fields
// for a special record without a time.
std::string ObsWriter::Impl::epoch_start(double t, int flag, size_t count) const {
  char start[48];
  bool v2 = version == 211;
  if (std::isnan(t)) {
    snprintf(start, sizeof start, "%s%d%3d",
             v2 ? "                            " : ">                              ", flag,
             (int)count);
    return start;
  }
  int y, mo, d, h, mi;
  double sec;
  Gps_calendar(t, &y, &mo, &d, &h, &mi, &sec);
  if (v2)
    snprintf(start, sizeof start, " %02d %2d %2d %2d %2d%11.7f  %d%3d", y % 100, mo, d, h, mi, sec,
             flag, (int)count);
  else
    snprintf(start, sizeof start, "> %4d %02d %02d %02d %02d%11.7f  %d%3d", y, mo, d, h, mi, sec,
             flag, (int)count);
  return start;
}

// The epoch's satellites as the Compact RINEX encoder takes them (values in
// thousandths, each with its loss-of-lock and strength characters).
void ObsWriter::Impl::compact_epoch(const std::string& start, int flag,
                                    const std::vector<OutSat>& list) {
  crx.resize(list.size());
  for (size_t i = 0; i < list.size(); i++) {
    CrxSat& c = crx[i];
    c.id[0] = list[i].sys;
    c.id[1] = (char)('0' + list[i].prn / 10 % 10);
    c.id[2] = (char)('0' + list[i].prn % 10);
    c.nfields = (int)std::min<size_t>(list[i].values.size(), CRX_MAX_FIELDS);
    for (int k = 0; k < c.nfields; k++) {
      double v = list[i].values[(size_t)k];
      c.present[k] = !std::isnan(v) && std::fabs(v) <= kMaxField;
      if (!std::isnan(v) && !c.present[k]) overflows++;
      c.value[k] = c.present[k] ? std::llround(v * 1000.0) : 0;
      unsigned char lli = list[i].lli[(size_t)k], ssi = list[i].ssi[(size_t)k];
      c.flags[2 * k] = c.present[k] && lli != 0 ? (char)('0' + lli % 10) : ' ';
      c.flags[2 * k + 1] = c.present[k] && ssi != 0 ? (char)('0' + ssi % 10) : ' ';
    }
  }
  Crx_fields_epoch(start.c_str(), flag, crx.data(), (int)crx.size(), &text);
}

void ObsWriter::Impl::format3(double t, int flag, const std::vector<OutSat>& list) {
  std::string start = epoch_start(t, flag, list.size());
  if (compact) return compact_epoch(start, flag, list);
  text += start + "\n";
  for (const OutSat& sat : list) {
    char id[8];
    snprintf(id, sizeof id, "%c%02d", sat.sys, sat.prn % 100);
    std::string record = id;
    for (size_t k = 0; k < sat.values.size(); k++)
      put_field(&record, sat.values[k], sat.lli[k], sat.ssi[k], &overflows);
    cut_blanks(&record);
    text += record + "\n";
  }
}

void ObsWriter::Impl::format2(double t, int flag, const std::vector<OutSat>& list) {
  std::string start = epoch_start(t, flag, list.size());
  if (compact) return compact_epoch(start, flag, list);
  std::string epoch_line = start;
  for (size_t i = 0; i < list.size(); i++) {
    if (i > 0 && i % kSatsPerLine2 == 0) epoch_line += "\n" + std::string(32, ' ');
    char id[8];
    snprintf(id, sizeof id, "%c%02d", list[i].sys, list[i].prn % 100);
    epoch_line += id;
  }
  text += epoch_line + "\n";
  for (const OutSat& sat : list) {
    std::string record;
    for (size_t k = 0; k < sat.values.size(); k++) {
      put_field(&record, sat.values[k], sat.lli[k], sat.ssi[k], &overflows);
      if (k % kFieldsPerLine2 == kFieldsPerLine2 - 1 || k + 1 == sat.values.size()) {
        cut_blanks(&record);
        text += record + "\n";
        record.clear();
      }
    }
  }
}

void ObsWriter::special(double t, int flag, const std::vector<std::string>& lines) {
  Impl& m = *impl_;
  std::string start = m.epoch_start(t, flag, lines.size());
  if (m.compact)
    Crx_fields_epoch(start.c_str(), flag, nullptr, 0, &m.text);
  else
    m.text += start + "\n";
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
  if (m.version == 211)
    m.format2(t, flag, list);
  else
    m.format3(t, flag, list);
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
