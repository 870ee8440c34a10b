// Coverage-guided fuzz target: one input is a station file's text, read and
// checked as a run reads it before any output is opened.
#include <cstdint>
#include <string>

#include "settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Settings s;
  std::string text(reinterpret_cast<const char*>(data), size);
  if (Settings_read_text(text, "fuzz.station", &s).empty()) Settings_check(s);
  return 0;
}
