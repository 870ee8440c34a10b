// Coverage-guided fuzz target: one input is read as the tools read untrusted RINEX files: as
// Compact RINEX, as an observation file and as a navigation file; the quality statistics are
// computed from what was read and written in each of the report's forms; and vln_rinex checks the
// file and converts it (to RINEX 2.11, or 3.05 Compact), as a splice of one.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "nav_reader.h"
#include "output_sink.h"
#include "qc.h"
#include "rinex_check.h"
#include "rinex_text.h"
#include "splice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size), rinex, error;
  // vln_rinex reads files: the input as one, in a folder of this process's own.
  static const std::string dir = "/tmp/vln_fuzz_rinex_" + std::to_string(getpid());
  static const bool made = std::system(("mkdir -p " + dir).c_str()) == 0;
  if (made) {
    const std::string in = dir + "/in.rnx";
    FILE* f = fopen(in.c_str(), "wb");
    if (f != nullptr) {
      fwrite(data, 1, size, f);
      fclose(f);
      Check_file(in, CheckRules{}, {});
      // One conversion an input, its first byte choosing: 2.11, or 3.05 Compact.
      SpliceOptions o;
      o.threads = false;
      o.inputs = {in};
      o.output = dir + "/out.rnx";
      o.program = "fuzz";
      bool two = size > 0 && (data[0] & 1) != 0;
      Settings_apply(&o.settings, SET_RINEX_VERSION, two ? "2.11" : "3.05");
      if (!two) Settings_apply(&o.settings, SET_CRX, "yes");
      Splice_run(o);
    }
  }
  if (crx_to_rinex(text, &rinex, &error)) text = rinex;
  ObsFile obs;
  bc::NavData nav;
  bc::read_nav_text(text, &nav);
  if (read_obs_text(text, "fuzz", &obs, &error) && obs.epochs.size() < 5000) {
    QcReport r = qc_analyse(obs, nav, 10);
    qc_check_station({{"antenna-delta", "1,2"}, {"marker-name", "X"}}, &r);
    qc_text(r);  // and every form of the report, as a user asks for them
    qc_json(r);
    qc_html(r);
  }
  return 0;
}
