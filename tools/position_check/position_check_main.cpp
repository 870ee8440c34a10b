// vln_position_check OBS_FILE [NAV_FILE...]: single-point positions from an
// observation file and its navigation files (RINEX 2.10 to 4.00), per
// constellation and all together, against the observation header's APPROX
// POSITION XYZ. Without NAV_FILE the navigation file is the observation
// file's name with its last three letters replaced by "nav".
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "position_check.h"

namespace {

const char kUsage[] =
    "usage: vln_position_check OBS_FILE [NAV_FILE...]\n"
    "  Single-point positions per constellation and all together, against the\n"
    "  observation header's APPROX POSITION XYZ (a solution more than 1 km from it\n"
    "  counts as failed).\n"
    "  OBS_FILE  RINEX 2.10-4.00 observation file (plain, Compact RINEX, gzip)\n"
    "  NAV_FILE  its navigation files; without one, OBS_FILE with its last three\n"
    "            letters replaced by \"nav\"\n"
    "  --help    this text\n"
    "Status 0 when some epoch is solved, 1 when none is or a file cannot be read,\n"
    "2 for a wrong command line.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (argc < 2 || argv[1][0] == '-') {
    fputs(kUsage, stderr);
    return 2;
  }
  std::string obs = argv[1];
  std::vector<std::string> nav(argv + 2, argv + argc);
  if (nav.empty()) nav.push_back((obs.size() >= 3 ? obs.substr(0, obs.size() - 3) : obs) + "nav");
  PositionReport r = check_positions(obs, nav);
  fputs(format_report(r).c_str(), r.ok ? stdout : stderr);
  if (!r.ok) return 1;
  int solved = 0;
  for (const PositionStats& s : r.stats) solved += s.solved;
  if (solved == 0) {  // a file it cannot use is a failure, not a table of nothing
    fprintf(stderr,
            "position check: no epoch solved: no epoch holds four satellites with a pseudorange "
            "and an orbit at its time\n");
    return 1;
  }
  return 0;
}
