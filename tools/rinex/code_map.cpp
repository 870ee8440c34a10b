// The code tables: the attributes each version defines per system and band
// (RINEX 3.02, 3.03, 3.04, 3.05 and 4.00 observation code tables), and the
// RINEX 2.11 types with the RINEX 3 code each stands for (RINEX 2.11 section
// 10.1 and the RINEX 3.05 table of signals; GPS P-code under anti-spoofing
// is Z-tracking, code W, as IGS stations write it).
#include "code_map.h"

#include <cstring>

namespace {

// Attributes of a band from a version on (until the next row of the band).
struct Band {
  char sys, band;
  int since;
  const char* attributes;
};
const Band kBands[] = {
    {'G', '1', 302, "CSLXPWYMN"}, {'G', '2', 302, "CDSLXPWYMN"}, {'G', '5', 302, "IQX"},
    {'R', '1', 302, "CP"},        {'R', '2', 302, "CP"},         {'R', '3', 302, "IQX"},
    {'R', '4', 304, "ABX"},       {'R', '6', 304, "ABX"},        {'E', '1', 302, "ABCXZ"},
    {'E', '5', 302, "IQX"},       {'E', '7', 302, "IQX"},        {'E', '8', 302, "IQX"},
    {'E', '6', 302, "ABCXZ"},     {'C', '1', 302, "IQX"},        {'C', '1', 303, ""},
    {'C', '1', 304, "DPXA"},      {'C', '1', 305, "DPXSLZ"},     {'C', '2', 303, "IQX"},
    {'C', '5', 304, "DPX"},       {'C', '7', 302, "IQX"},        {'C', '7', 304, "IQXDPZ"},
    {'C', '8', 304, "DPX"},       {'C', '6', 302, "IQX"},        {'C', '6', 304, "IQXA"},
    {'C', '6', 305, "IQXDPZ"},    {'J', '1', 302, "CSLXZ"},      {'J', '1', 305, "CSLXZB"},
    {'J', '2', 302, "SLX"},       {'J', '5', 302, "IQX"},        {'J', '5', 304, "IQXDPZ"},
    {'J', '6', 302, "SLX"},       {'J', '6', 304, "SLXEZ"},      {'S', '1', 302, "C"},
    {'S', '5', 302, "IQX"},       {'I', '5', 302, "ABCX"},       {'I', '9', 302, "ABCX"},
};

// The RINEX 2.11 types of each system (2.11 section 10.1): bands and whether P exists.
struct Types2 {
  char sys;
  const char* bands;    // bands with C, L, D, S
  const char* p_bands;  // bands with a P code
};
const Types2 kTypes2[] = {
    {'G', "125", "12"}, {'R', "12", "12"}, {'E', "15678", ""}, {'S', "15", ""}};

const char* attributes(char sys, char band, int version) {
  const char* found = nullptr;
  for (const Band& b : kBands)
    if (b.sys == sys && b.band == band && b.since <= version) found = b.attributes;
  return found;
}

bool is_type(char c) { return c == 'C' || c == 'L' || c == 'D' || c == 'S'; }

}  // namespace

int Code_version(double version) {
  if (version < 3) return 211;
  if (version < 3.025) return 302;
  if (version < 3.035) return 303;
  if (version < 3.045) return 304;
  if (version < 3.5) return 305;
  return 400;
}

bool Code_valid(char sys, const std::string& code, int version) {
  if (code.size() != 3 || !is_type(code[0])) return false;
  const char* a = attributes(sys, code[1], version);
  return a != nullptr && code[2] != '\0' && strchr(a, code[2]) != nullptr;
}

bool Code_valid2(char sys, const std::string& type) {
  if (type.size() != 2) return false;
  for (const Types2& t : kTypes2) {
    if (t.sys != sys) continue;
    if (type[0] == 'P') return strchr(t.p_bands, type[1]) != nullptr && type[1] != '\0';
    return is_type(type[0]) && type[1] != '\0' && strchr(t.bands, type[1]) != nullptr;
  }
  return false;
}

std::vector<std::string> Code_from_rinex2(char sys, const std::vector<std::string>& types) {
  auto has = [&](char kind, char band) {
    for (const std::string& t : types)
      if (t.size() == 2 && t[0] == kind && t[1] == band) return true;
    return false;
  };
  // The attribute of a band's code, C (civil) or P (precise), in RINEX 3.
  auto attribute = [&](bool precise, char band) -> char {
    switch (sys) {
      case 'G':
        if (precise) return 'W';
        return band == '2' ? 'L' : band == '5' ? 'X' : 'C';
      case 'R': return precise ? 'P' : 'C';
      case 'E': return 'X';
      case 'S': return band == '5' ? 'X' : 'C';
      default: return precise ? 'P' : 'C';
    }
  };
  std::vector<std::string> out;
  for (const std::string& t : types) {
    if (t.size() != 2 || !Code_valid2(sys, t)) {  // another system's type: no code here
      out.push_back("   ");
      continue;
    }
    char kind = t[0], band = t[1];
    bool precise =
        kind == 'P' || (kind != 'C' && has('P', band) && (band == '2' || !has('C', band)));
    out.push_back(std::string(1, kind == 'P' ? 'C' : kind) + band + attribute(precise, band));
  }
  return out;
}

std::string Code_to_rinex2(char sys, const std::string& code) {
  if (code.size() != 3 || !is_type(code[0])) return "";
  bool precise = code[0] == 'C' && (code[2] == 'P' || code[2] == 'W' || code[2] == 'Y') &&
                 (sys == 'G' || sys == 'R');
  std::string two = std::string(1, precise ? 'P' : code[0]) + code[1];
  return Code_valid2(sys, two) ? two : "";
}

std::string Code_between(char sys, const std::string& code, int from, int to) {
  if (code.size() != 3) return "";
  std::string out = code;
  // BeiDou B1I: band 1 in 3.02, band 2 from 3.03.
  bool b1i = sys == 'C' && strchr("IQX", code[2]) != nullptr;
  if (b1i && from == 302 && to >= 303 && code[1] == '1') out[1] = '2';
  if (b1i && from >= 303 && to == 302 && code[1] == '2') out[1] = '1';
  return Code_valid(sys, out, to) ? out : "";
}
