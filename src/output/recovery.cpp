// Recovery of unfinished files. The text comes back from the file's bytes
// (a gzip file member by member, as far as its members are whole), the
// epochs or records are walked as this program writes them, and the file is
// cut in place after the last whole one: a gzip file after its last whole
// member, a plain one after the epoch's line end. The header keeps its
// length, so it is written again over itself; then the file is renamed.
#include "output/recovery.h"

#include <libdeflate.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "file_io.h"
#include "output_sink.h"
#include "rinex_names.h"
#include "time_convert.h"

namespace {

const std::string kProvisional = ".incomplete";
constexpr size_t kGzipHeaderBytes = 10, kGzipTrailerBytes = 8;
constexpr size_t kLargestMember = 256u << 20;  // text of one member, at most
constexpr int kTimeColumns = 43;               // year to seconds of a TIME OF ... OBS line

bool ends_with(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// A line of text from at: false when it has no line end (it was cut). The
// line is given without its end (LF or CR LF); at moves past it.
bool next_line(const std::string& text, size_t* at, std::string* line) {
  size_t nl = text.find('\n', *at);
  if (nl == std::string::npos) return false;
  size_t end = nl > *at && text[nl - 1] == '\r' ? nl - 1 : nl;
  line->assign(text, *at, end - *at);
  *at = nl + 1;
  return line->find('\0') == std::string::npos;  // zeros of a torn write end the text
}

bool skip_lines(const std::string& text, size_t* at, long n) {
  std::string line;
  for (long i = 0; i < n; i++)
    if (!next_line(text, at, &line)) return false;
  return true;
}

int field(const std::string& line, size_t from, size_t len) {
  if (line.size() < from + len) return -1;
  std::string digits = line.substr(from, len);
  if (digits.find_first_not_of(" 0123456789") != std::string::npos) return -1;
  return atoi(digits.c_str());
}

// Restores a Compact RINEX epoch line from its difference against the previous one.
std::string apply_diff(const std::string& old, const std::string& diff) {
  std::string out = old;
  for (size_t i = 0; i < diff.size(); i++) {
    char c = diff[i] == '&' ? ' ' : diff[i];
    if (i >= out.size())
      out.push_back(c);
    else if (diff[i] != ' ')
      out[i] = c;
  }
  return out;
}

// The layout of an observation file: its RINEX version, whether it is
// Compact RINEX, and per system letter the types of RINEX 2's one list.
struct ObsLayout {
  int version = 0;
  bool crx = false;
  int types2 = 0;  // RINEX 2: the number of types
};

ObsLayout layout_of(const std::string& text, size_t header_end) {
  ObsLayout l;
  size_t at = 0;
  std::string line;
  while (at < header_end && next_line(text, &at, &line)) {
    if (line.find("CRINEX VERS") != std::string::npos) l.crx = true;
    if (line.find("RINEX VERSION / TYPE") != std::string::npos) l.version = line[5] - '0';
    if (line.find("# / TYPES OF OBSERV") != std::string::npos && line.size() > 6 && line[5] != ' ')
      l.types2 = field(line, 0, 6);
  }
  return l;
}

// An epoch line's time (RINEX 3 ">" lines; RINEX 2 lines of two-digit years).
bool epoch_time(const std::string& line, bool rinex2, int t[5], std::string* sec) {
  static const size_t k3[5] = {2, 7, 10, 13, 16}, k2[5] = {1, 4, 7, 10, 13};
  const size_t* at = rinex2 ? k2 : k3;
  for (int i = 0; i < 5; i++) {
    t[i] = field(line, at[i], i == 0 && !rinex2 ? 4 : 2);
    if (t[i] < 0) return false;
  }
  if (rinex2) t[0] += t[0] < 80 ? 2000 : 1900;
  size_t from = rinex2 ? 15 : 18;
  if (line.size() < from + 11) return false;
  *sec = line.substr(from, 11);
  while (!sec->empty() && (*sec)[0] == ' ') sec->erase(0, 1);
  return !sec->empty();
}

double epoch_seconds(const int t[5], const std::string& sec) {
  UTC_TIME_T c = {(S16)t[0], (S16)t[1], (S16)t[2], 0, (S16)t[3], (S16)t[4], atof(sec.c_str())};
  return TCVT_calendar_to_gps_seconds(c);
}

void note_epoch(ObsRecovery* r, const std::string& line, bool rinex2, double* previous) {
  int t[5];
  std::string sec;
  if (!epoch_time(line, rinex2, t, &sec)) return;
  double now = epoch_seconds(t, sec);
  if (r->epochs == 0) {
    memcpy(r->first, t, sizeof t);
    r->first_sec = sec;
  } else if (now > *previous && (r->spacing == 0 || now - *previous < r->spacing)) {
    r->spacing = now - *previous;
  }
  memcpy(r->last, t, sizeof t);
  r->last_sec = sec;
  *previous = now;
  r->epochs++;
}

// Walks the epochs of a plain RINEX text; returns the end of the last whole one.
void scan_plain(const std::string& text, const ObsLayout& l, ObsRecovery* r) {
  size_t at = r->header_end;
  std::string line;
  double previous = 0;
  const bool rinex2 = l.version == 2;
  for (;;) {
    size_t start = at;
    if (!next_line(text, &at, &line)) return;
    int flag = field(line, rinex2 ? 28 : 31, 1);
    long n = field(line, rinex2 ? 29 : 32, 3);
    if (flag < 0 || n < 0 || (!rinex2 && line[0] != '>')) return;
    long more = n;  // special records: n lines
    if (flag <= 1) {
      long per_sat = rinex2 ? (l.types2 + 4) / 5 : 1;
      if (rinex2 && per_sat < 1) per_sat = 1;
      more = (rinex2 ? (n > 12 ? (n - 1) / 12 : 0) : 0) + n * per_sat;
    }
    if (!skip_lines(text, &at, more)) return;
    if (flag <= 1) note_epoch(r, line, rinex2, &previous);
    r->end = at;
    (void)start;
  }
}

// Walks the epochs of a Compact RINEX text (1.0 for RINEX 2, 3.0 otherwise).
void scan_crx(const std::string& text, const ObsLayout& l, ObsRecovery* r) {
  size_t at = r->header_end;
  std::string line, previous_line;
  double previous = 0;
  const bool rinex2 = l.version == 2;
  const char full = rinex2 ? '&' : '>';
  const size_t flag_at = rinex2 ? 28 : 31;
  for (;;) {
    if (!next_line(text, &at, &line)) return;
    if (!line.empty() && line[0] == full) {
      int flag = field(line, flag_at, 1);
      if (flag < 0) return;
      if (flag > 1) {  // a special record: its lines verbatim, then everything anew
        long n = field(line, flag_at + 1, 3);
        if (n < 0 || !skip_lines(text, &at, n)) return;
        previous_line.clear();
        r->end = at;
        continue;
      }
      previous_line = line;
    } else {
      if (previous_line.empty()) return;
      previous_line = apply_diff(previous_line, line);
    }
    long n = field(previous_line, flag_at + 1, 3);
    if (n < 0 || !skip_lines(text, &at, 1 + n)) return;  // the clock line, the satellites
    std::string restored = previous_line;
    if (rinex2) restored[0] = ' ';
    note_epoch(r, restored, rinex2, &previous);
    r->end = at;
  }
}

// The gzip members of a file as far as they are whole: their text, and where
// each ends in the file and in the text.
struct Members {
  std::string text;
  std::vector<size_t> file_end, text_end;
};

Members read_members(const std::string& bytes) {
  Members m;
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  std::string out;
  size_t at = 0;
  while (d != nullptr && bytes.size() - at > kGzipHeaderBytes + kGzipTrailerBytes) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
    if (p[0] != 0x1f || p[1] != 0x8b || p[2] != 8 || p[3] != 0)
      break;  // as this program writes them
    size_t in_used = 0, out_len = 0;
    libdeflate_result result = LIBDEFLATE_INSUFFICIENT_SPACE;
    for (size_t room = 1 << 20; result == LIBDEFLATE_INSUFFICIENT_SPACE && room <= kLargestMember;
         room *= 2) {
      out.resize(room);
      result = libdeflate_deflate_decompress_ex(d, p + kGzipHeaderBytes,
                                                bytes.size() - at - kGzipHeaderBytes, &out[0], room,
                                                &in_used, &out_len);
    }
    if (result != LIBDEFLATE_SUCCESS) break;
    size_t trailer = at + kGzipHeaderBytes + in_used;
    if (bytes.size() - trailer < kGzipTrailerBytes) break;
    const unsigned char* t = reinterpret_cast<const unsigned char*>(bytes.data()) + trailer;
    uint32_t crc =
        (uint32_t)t[0] | (uint32_t)t[1] << 8 | (uint32_t)t[2] << 16 | (uint32_t)t[3] << 24;
    uint32_t size =
        (uint32_t)t[4] | (uint32_t)t[5] << 8 | (uint32_t)t[6] << 16 | (uint32_t)t[7] << 24;
    if (crc != libdeflate_crc32(0, out.data(), out_len) || size != (uint32_t)out_len) break;
    m.text.append(out, 0, out_len);
    at = trailer + kGzipTrailerBytes;
    m.file_end.push_back(at);
    m.text_end.push_back(m.text.size());
  }
  if (d != nullptr) libdeflate_free_decompressor(d);
  return m;
}

std::string read_all(const std::string& path, bool* ok) {
  std::string bytes;
  FILE* f = File_open(path.c_str(), "rb");
  *ok = f != nullptr;
  if (f == nullptr) return bytes;
  char buf[1 << 16];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
  *ok = ferror(f) == 0;
  fclose(f);
  return bytes;
}

size_t header_end_of(const std::string& text) {
  size_t at = 0;
  std::string line;
  while (next_line(text, &at, &line))
    if (line.find("END OF HEADER") != std::string::npos) return at;
  return 0;
}

// Replaces the columns [0, n) of the line that carries label, in place.
void replace_in_line(std::string* header, const char* label, const std::string& columns) {
  size_t found = header->find(label);
  if (found == std::string::npos) return;
  size_t start = header->rfind('\n', found);
  start = start == std::string::npos ? 0 : start + 1;
  if (found - start < columns.size()) return;
  header->replace(start, columns.size(), columns);
}

std::string time_columns(const int t[5], const std::string& sec) {
  char text[64];
  snprintf(text, sizeof text, "%6d%6d%6d%6d%6d%13s", t[0], t[1], t[2], t[3], t[4], sec.c_str());
  return std::string(text, kTimeColumns);
}

// Cuts the file to its first size bytes and writes header over its start,
// both synced; false when a step fails.
bool cut_and_write(const std::string& path, uint64_t size, const std::string& header,
                   const std::string& append) {
  if (!File_truncate(path, size)) return false;
  FILE* f = File_open(path.c_str(), "r+b");
  if (f == nullptr) return false;
  bool ok = fwrite(header.data(), 1, header.size(), f) == header.size();
  ok = ok && fseek(f, 0, SEEK_END) == 0;
  if (!append.empty()) ok = ok && fwrite(append.data(), 1, append.size(), f) == append.size();
  ok = File_sync(f) && ok;
  return fclose(f) == 0 && ok;
}

// The name beside which nothing exists: name itself, or its further part.
std::string free_name(const std::string& name) {
  if (!File_exists(name)) return name;
  for (int part = 2;; part++) {
    std::string candidate = RINEX_part_name(name, part);
    if (!File_exists(candidate)) return candidate;
  }
}

struct Outcome {
  bool ok = false;
  bool observation = false;
  long units = 0;  // epochs or records
  std::string final_name;
  std::string why;
};

// The final name of an observation file: the provisional one without its
// ending, with the data interval of its epochs in a long name.
std::string final_obs_name(const std::string& provisional, double spacing) {
  std::string name = provisional.substr(0, provisional.size() - kProvisional.size());
  std::string base = File_base_name(name);
  // SSSSMRCCC_R_YYYYDDDHHMM_PPP_FFF_xO: the frequency in columns 29-31.
  if (spacing > 0 && base.size() > 34 && base[9] == '_' && base[11] == '_' && base[27] == '_' &&
      base[31] == '_')
    name.replace(name.size() - base.size() + 28, 3, RINEX_frequency_code(spacing));
  return name;
}

Outcome recover_file(const std::string& path) {
  Outcome o;
  bool read = false;
  std::string bytes = read_all(path, &read);
  if (!read) {
    o.why = strerror(errno);
    return o;
  }
  bool gzip =
      bytes.size() >= 2 && (unsigned char)bytes[0] == 0x1f && (unsigned char)bytes[1] == 0x8b;
  Members members;
  if (gzip) members = read_members(bytes);
  const std::string& text = gzip ? members.text : bytes;
  size_t header_end = header_end_of(text);
  if (header_end == 0) {
    o.why = "it holds no whole header";
    return o;
  }
  size_t type_line = text.find("RINEX VERSION / TYPE");
  o.observation = type_line != std::string::npos && type_line >= 40 &&
                  text.rfind('\n', type_line) + 21 < text.size() &&
                  text[text.rfind('\n', type_line) + 21] == 'O';
  size_t end;
  std::string header = text.substr(0, header_end);
  if (o.observation) {
    ObsRecovery r = Recover_scan_obs(text);
    end = r.end;
    o.units = r.epochs;
    header = Recover_obs_header(text, r);
    o.final_name = final_obs_name(path, r.spacing);
  } else {
    end = Recover_nav_end(text, &o.units);
    o.final_name = path.substr(0, path.size() - kProvisional.size());
  }
  // Where the file is cut, and what is written again: a gzip file after its
  // last whole member, plus a member of the text up to the cut when that falls
  // inside one; the header member over itself.
  uint64_t cut = end;
  std::string head = header, append;
  if (gzip) {
    size_t k = 0;
    while (k < members.text_end.size() && members.text_end[k] < end) k++;
    cut = k == 0 ? 0 : members.file_end[k - 1];
    size_t text_from = k == 0 ? 0 : members.text_end[k - 1];
    if (k < members.text_end.size() && members.text_end[k] == end) {
      cut = members.file_end[k];
    } else if (end > text_from) {
      append = Sink_member_text(text.data() + text_from, end - text_from);
    }
    head = Sink_stored_member_text(header.data(), header.size());
    if (members.text_end.empty() || members.text_end[0] != header_end) {
      o.why = "its header is not a member of its own";
      return o;
    }
  }
  if (!cut_and_write(path, cut, head, append)) {
    o.why = strerror(errno);
    return o;
  }
  o.ok = true;
  return o;
}

std::vector<std::string> incomplete_files(const std::string& folder, const std::string& prefix,
                                          const char* also,
                                          const std::string& ending = kProvisional) {
  std::vector<std::string> found;
  std::error_code error;
  std::string dir = folder.empty() ? "." : folder;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::u8path(dir), error)) {
    std::string name = e.path().filename().u8string();
    if (name.compare(0, prefix.size(), prefix) == 0 && ends_with(name, ending) &&
        (also == nullptr || name.find(also) != std::string::npos))
      found.push_back(folder.empty()
                          ? name
                          : (std::filesystem::u8path(folder) / e.path().filename()).u8string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

// The part of a file name before its first '.', with the .partN that follows it.
std::string stem_of(const std::string& path) {
  std::string name = File_base_name(path);
  size_t dot = name.find('.');
  std::string stem = name.substr(0, dot);
  if (dot != std::string::npos && name.compare(dot, 5, ".part") == 0)
    stem += name.substr(dot, name.find('.', dot + 1) - dot);
  return stem;
}

}  // namespace

ObsRecovery Recover_scan_obs(const std::string& text) {
  ObsRecovery r;
  r.header_end = header_end_of(text);
  if (r.header_end == 0) return r;
  r.header = true;
  r.end = r.header_end;
  ObsLayout l = layout_of(text, r.header_end);
  if (l.version == 0) return r;
  if (l.crx)
    scan_crx(text, l, &r);
  else
    scan_plain(text, l, &r);
  return r;
}

std::string Recover_obs_header(const std::string& text, const ObsRecovery& r) {
  std::string header = text.substr(0, r.header_end);
  if (r.epochs == 0) return header;
  replace_in_line(&header, "TIME OF FIRST OBS", time_columns(r.first, r.first_sec));
  replace_in_line(&header, "TIME OF LAST OBS", time_columns(r.last, r.last_sec));
  if (r.spacing > 0) {
    char interval[16];
    snprintf(interval, sizeof interval, "%10.3f", r.spacing);
    if (strlen(interval) == 10) replace_in_line(&header, "INTERVAL", interval);
  }
  return header;
}

size_t Recover_nav_end(const std::string& text, long* records) {
  *records = 0;
  size_t header_end = header_end_of(text);
  if (header_end == 0) return 0;
  std::string line;
  size_t at = 0;
  int version = 0;
  bool glonass_file = false;
  while (at < header_end && next_line(text, &at, &line))
    if (line.find("RINEX VERSION / TYPE") != std::string::npos && line.size() > 20) {
      version = (line[5] - '0') * 100 + field(line, 7, 2);
      glonass_file = line[20] == 'G';
    }
  size_t end = header_end;
  at = header_end;
  while (next_line(text, &at, &line) && !line.empty()) {
    long more;
    if (version >= 400) {
      // "> EPH G01 LNAV": the lines of the message that follow.
      if (line[0] != '>' || line.size() < 6) break;
      std::string kind = line.substr(2, 3);
      std::string message = line.size() > 10 ? line.substr(10) : "";
      char sys = line.size() > 6 ? line[6] : ' ';
      if (kind == "EPH")
        more = message == "FDMA"                          ? 5
               : sys == 'S'                               ? 4
               : message == "CNAV"                        ? 9
               : (message == "CNV1" || message == "CNV2") ? 10
               : message == "CNV3"                        ? 9
                                                          : 8;
      else if (kind == "STO")
        more = 2;
      else if (kind == "ION")
        more = sys == 'E' ? 2 : 3;
      else if (kind == "EOP")
        more = 3;
      else
        break;
    } else if (version >= 300) {
      char sys = line[0];
      more = sys == 'R' ? (version >= 305 ? 4 : 3) : sys == 'S' ? 3 : 7;
    } else {
      more = glonass_file ? 3 : 7;
    }
    if (!skip_lines(text, &at, more)) break;
    end = at;
    (*records)++;
  }
  return end;
}

std::vector<std::string> Recover_station_files(const std::string& folder,
                                               const std::string& raw_folder,
                                               const std::string& prefix) {
  std::vector<std::string> lines;
  // A header being rewritten when the run died: the file beside it is whole.
  for (const std::string& path : incomplete_files(folder, prefix, nullptr, ".incomplete.new"))
    File_remove(path);
  std::map<std::string, std::string> stems;  // a provisional observation stem -> its final one
  for (const std::string& path : incomplete_files(folder, prefix, nullptr)) {
    Outcome o = recover_file(path);
    if (!o.ok) {
      lines.push_back("Unfinished file " + path + " cannot be recovered: " + o.why +
                      "; it is left as it is");
      continue;
    }
    std::string final_name = free_name(o.final_name);
    if (!File_rename(path, final_name)) {
      lines.push_back("Unfinished file " + path + " cannot be renamed to " + final_name + ": " +
                      strerror(errno));
      continue;
    }
    if (o.observation) stems[stem_of(path)] = stem_of(final_name);
    lines.push_back("Recovered " + final_name + " from an earlier run: " + std::to_string(o.units) +
                    (o.observation ? " epochs" : " records"));
  }
  if (raw_folder.empty()) return lines;
  for (const std::string& path : incomplete_files(raw_folder, "", ".raw.incomplete")) {
    std::string stem = stem_of(path);
    auto found = stems.find(stem);
    std::string name = path.substr(0, path.size() - kProvisional.size());
    if (found != stems.end())
      name = name.substr(0, name.size() - File_base_name(name).size()) + found->second + ".raw";
    else if (File_base_name(path).compare(0, prefix.size(), prefix) != 0)
      continue;  // another station's journal
    name = free_name(name);
    if (File_rename(path, name))
      lines.push_back("Recovered " + name + " from an earlier run");
    else
      lines.push_back("Unfinished file " + path + " cannot be renamed to " + name + ": " +
                      strerror(errno));
  }
  return lines;
}
