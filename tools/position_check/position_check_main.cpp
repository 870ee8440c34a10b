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

int main(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') {
    fprintf(stderr, "usage: vln_position_check OBS_FILE [NAV_FILE...]\n");
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
