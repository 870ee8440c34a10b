// Splice and convert: observation files of one station joined in time order
// (each epoch once, overlaps and repeats left out, differing values named),
// their codes mapped into the output version, thinned, cut and filtered, and
// written through one observation writer; navigation files merged record by
// record. A file converted alone is a splice of one.
#ifndef VLN_SPLICE_H
#define VLN_SPLICE_H

#include <string>
#include <vector>

#include "settings.h"

struct SpliceOptions {
  std::vector<std::string> inputs;
  std::string output;  // -o; "" with --long-names: named from the content
  // Shared with the converter: version, window, interval, station metadata,
  // names, compression (rinex_version 0: the first input's version).
  Settings settings;
  std::string systems;             // --systems: the letters kept ("" every system)
  std::vector<std::string> types;  // --types: the codes kept (empty: every code)
  std::string program;             // for PGM / RUN BY / DATE
  bool threads = true;             // files compress on threads of their own (false: the caller's)
};

struct SpliceResult {
  int status = 0;  // 0 written; 2 input that cannot be used; 4 output that cannot be written
  std::vector<std::string> console;  // lines for the console, in order
  std::vector<std::string> written;  // the files written
};

SpliceResult Splice_run(const SpliceOptions& o);

#endif
