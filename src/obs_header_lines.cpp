// Lists that run over several header lines start each further line with the
// blanks of the first line's count, and go on there.
#include "obs_header_lines.h"

#include <cstdio>

#include "rinex_format.h"

namespace {

constexpr size_t kCodesPerLine = 13;
constexpr size_t kTypesPerLine2 = 9;
constexpr size_t kSlotsPerLine = 8;

// The first line's start, then each item behind its separator, a new line
// (started by the continuation) every per_line items; one line at least.
std::vector<std::string> listed(const std::string& first, const std::string& continuation,
                                const std::string& separator, const std::vector<std::string>& items,
                                size_t per_line) {
  std::vector<std::string> lines;
  std::string line = first;
  for (size_t i = 0; i < items.size(); i++) {
    if (i > 0 && i % per_line == 0) {
      lines.push_back(line);
      line = continuation;
    }
    line += separator + items[i];
  }
  lines.push_back(line);
  return lines;
}

}  // namespace

std::vector<std::string> Obs_types_contents(char system, const std::vector<std::string>& codes) {
  char first[16];
  snprintf(first, sizeof first, "%c  %3d", system, (int)codes.size() % 1000);
  return listed(first, std::string(6, ' '), " ", codes, kCodesPerLine);
}

std::vector<std::string> Obs_types2_contents(const std::vector<std::string>& types) {
  char first[16];
  snprintf(first, sizeof first, "%6d", (int)types.size() % 1000000);
  return listed(first, std::string(6, ' '), std::string(4, ' '), types, kTypesPerLine2);
}

std::vector<std::string> Obs_slot_contents(const std::vector<std::pair<int, int>>& slots) {
  std::vector<std::string> items;
  for (const auto& s : slots) {
    char item[16];
    snprintf(item, sizeof item, "R%02d %2d", s.first % 100, s.second % 100);
    items.push_back(item);
  }
  char first[8];
  snprintf(first, sizeof first, "%3d", (int)slots.size() % 1000);
  return listed(first, "   ", " ", items, kSlotsPerLine);
}

std::string Obs_time_content(const UTC_TIME_T& c, const std::string& system) {
  char text[96];
  int n = snprintf(text, sizeof text, "%6d%6d%6d%6d%6d", c.year, c.month, c.day, c.hour, c.minute);
  n += RINEX_format_fixed(text + n, c.sec, 13, 7);
  snprintf(text + n, sizeof text - (size_t)n, "     %-3s", system.c_str());
  return text;
}
