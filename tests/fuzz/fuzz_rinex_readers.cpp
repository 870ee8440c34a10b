// Coverage-guided fuzz target: one input is read as the tools read untrusted
// RINEX files: as Compact RINEX, as an observation file and as a navigation
// file; the quality statistics are computed from what was read and written
// in each of the report's forms.
#include <cstdint>
#include <string>

#include "nav_reader.h"
#include "qc.h"
#include "rinex_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size), rinex, error;
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
