// Reads a RINEX file whatever its packing: plain text, gzip (any number of
// members) and Compact RINEX 1.0 (RINEX 2, .yyd) and 3.0 (.crx), which are
// expanded to RINEX text here, by this reader's own decoder. The text comes back with LF line ends.
#ifndef VLN_RINEX_TEXT_H
#define VLN_RINEX_TEXT_H

#include <string>

// The RINEX text of a file; false with a reason when it cannot be read.
bool read_rinex_text(const std::string& path, std::string* text, std::string* error);
// Expands Compact RINEX 1.0 or 3.0 text to RINEX text as the standard
// expander writes it; false with a reason naming the line on damaged input.
bool crx_to_rinex(const std::string& crx, std::string* rinex, std::string* error);

#endif
