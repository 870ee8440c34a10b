// Coverage-guided fuzz target: the whole conversion of one input held in memory, from framing to
// the header rewrite. The first byte chooses the run's options, the rest is the raw log; the
// outputs go to scratch files.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "const.h"
#include "epoch_select.h"
#include "main.h"
#include "rinex_config.h"
#include "rinex_files.h"
#include "settings.h"

namespace {

std::string Scratch_name;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The console output of a run is not checked here and costs time.
  if (freopen("/dev/null", "w", stdout) == nullptr) abort();
  const char* dir = getenv("TMPDIR");
  Scratch_name = std::string(dir != nullptr ? dir : "/tmp") + "/vln_fuzz_" +
                 std::to_string((long)getpid()) + ".dat";
  return 0;
}

// Option byte: bits 0-5 select GPS, QZSS, SBAS, GLONASS, BeiDou, Galileo (none set: all six, as
// without constellation words); bit 6 the dual-frequency mode; bit 7 a one-second interval from
// 2010 on with station metadata in the header, written as gzip-compressed Compact RINEX. The
// input's length picks the writer: the original one, or the standard one of a RINEX version.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  U08 options = data[0];
  S16 enable[6];
  bool any = false;
  for (int i = 0; i < 6; i++) any |= (enable[i] = (S16)((options >> i) & 1)) != 0;
  if (!any)
    for (S16& e : enable) e = 1;
  S16 freq_mode = (options & 0x40) ? FREQ_MODE_DUAL : FREQ_MODE_L1_ONLY;

  Settings settings;
  if (options & 0x80) {
    Settings_apply(&settings, SET_INTERVAL, "1");
    Settings_apply(&settings, SET_START, "2010-01-01 00:00:00");
    Settings_apply(&settings, SET_MARKER_NAME, "FUZZ");
    Settings_apply(&settings, SET_ANTENNA_TYPE, "TRM59800.00");
    Settings_apply(&settings, SET_COMMENT, "fuzz");
    Settings_apply(&settings, SET_CRX, "yes");
    Settings_apply(&settings, SET_GZIP, "yes");
  }
  // Half the inputs, by their length, go to a standard writer of a RINEX version.
  const char* const kVersions[] = {"2.11", "3.02", "3.03", "3.04", "3.05", "4.00"};
  size_t pick = size % 12;
  if (pick >= 6) Settings_apply(&settings, SET_RINEX_VERSION, kVersions[pick - 6]);
  RINEX_configure(settings);
  Select_configure(settings);
  FILE* raw = fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "rb");
  if (raw == nullptr) abort();
  FileSet files;
  if (!RINEX_init(files, Scratch_name.c_str())) abort();
  convert_raw_file(files, raw, SourceAddress{}, enable[0], enable[1], enable[2], enable[3],
                   enable[4], enable[5], freq_mode);
  return 0;
}
