// Number and text forms shared by the report's text, JSON and page writers.
#ifndef VLN_QC_FORMAT_H
#define VLN_QC_FORMAT_H

#include <cmath>
#include <cstdio>
#include <string>

#include "qc.h"

namespace qcfmt {

// A number as the format writes it, without the sign of a value that
// rounds to zero ("-0.0" is "0.0").
inline std::string fmt(const char* format, double v) {
  char text[64];
  snprintf(text, sizeof text, format, v);
  if (text[0] == '-' && std::string(text + 1).find_first_not_of("0.") == std::string::npos)
    return text + 1;
  return text;
}

// JSON: null where a figure does not exist.
inline std::string json_number(double v, const char* format = "%.3f") {
  return std::isfinite(v) ? fmt(format, v) : "null";
}

// A figure of the text and the page: "-" where it does not exist.
inline std::string figure(double v, const char* format) {
  return std::isfinite(v) ? fmt(format, v) : std::string("-");
}

inline std::string json_string(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if ((unsigned char)c < 0x20) {
      char escape[8];
      snprintf(escape, sizeof escape, "\\u%04x", (unsigned)(unsigned char)c);
      out += escape;
      continue;
    }
    out += c;
  }
  return out + "\"";
}

inline std::string html_escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '&')
      out += "&amp;";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

}  // namespace qcfmt

// The report's parts beyond the signal and position tables, in each form:
// the station's header and its check against a station file; per satellite;
// slips; short arcs; clock jumps; the 15-minute figures; the method.
std::string qc_header_text(const QcReport& r);
std::string qc_sections_text(const QcReport& r);
std::string qc_header_json(const QcReport& r);
std::string qc_sections_json(const QcReport& r);
std::string qc_header_html(const QcReport& r);
std::string qc_sections_html(const QcReport& r);

#endif
