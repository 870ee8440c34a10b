// Station files: the run settings as "name = value" lines, one file per
// station kept by a network operator. Written by any editor on any system,
// so a byte-order mark, CR LF line ends and trailing blanks are read as meant.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "file_io.h"
#include "settings.h"

namespace {

constexpr size_t kMaxStationFileBytes = 1 << 20;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string trim(const std::string& s) {
  size_t first = 0, last = s.size();
  while (first < last && is_blank(s[first])) first++;
  while (last > first && is_blank(s[last - 1])) last--;
  return s.substr(first, last - first);
}

bool read_whole(const std::string& path, std::string* text, std::string* why) {
  FILE* fp = File_open(path.c_str(), "rb");
  if (fp == nullptr) {
    *why = strerror(errno);
    return false;
  }
  char chunk[1 << 14];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, fp)) > 0 && text->size() <= kMaxStationFileBytes)
    text->append(chunk, n);
  bool failed = ferror(fp) != 0;
  int error = errno;
  fclose(fp);
  if (failed) *why = strerror(error != 0 ? error : EIO);
  if (!failed && text->size() > kMaxStationFileBytes) *why = "larger than 1 MiB";
  return why->empty();
}

// A value in one pair of double quotes stands for the text inside them.
std::string unquoted(const std::string& v) {
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') return v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

std::string Settings_read_file(const std::string& path, Settings* s) {
  std::string text, why;
  if (!read_whole(path, &text, &why))
    return "Station file " + path + ": cannot be read (" + why + ")";
  return Settings_read_text(text, path, s);
}

std::string Settings_read_text(std::string text, const std::string& path, Settings* s) {
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  int first_line[SET_COUNT] = {};  // where each setting was given, for a repeated one
  size_t from = 0;
  for (int number = 1; from < text.size(); number++) {
    size_t nl = text.find('\n', from);
    if (nl == std::string::npos) nl = text.size();
    // A line whose first character that is not blank is '#' is a comment; a
    // '#' inside a value belongs to it ("Pillar #2", serial numbers).
    std::string line = trim(text.substr(from, nl - from));
    from = nl + 1;
    if (line.empty() || line[0] == '#') continue;
    std::string where = "Station file " + path + " line " + std::to_string(number) + ": ";
    size_t eq = line.find('=');
    if (eq == std::string::npos) return where + "expected 'name = value'";
    std::string name = trim(line.substr(0, eq));
    int id = Settings_find(name.c_str());
    if (id < 0 || id == SET_STATION_FILE) {
      std::string nearest = Settings_nearest(name);
      return where + "unknown setting '" + name + "'" +
             (nearest.empty() || nearest == "station-file" ? ""
                                                           : " (did you mean " + nearest + "?)");
    }
    // Comments add a line each; any other setting given twice is a mistake.
    if (id != SET_COMMENT && first_line[id] != 0)
      return where + name + " is given twice (first on line " + std::to_string(first_line[id]) +
             ")";
    first_line[id] = number;
    std::string error = Settings_apply(s, id, unquoted(trim(line.substr(eq + 1))));
    if (!error.empty()) return where + name + ": " + error;
  }
  return "";
}
