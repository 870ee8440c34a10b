// vln_log_generator OUTPUT [--seconds S] [--rate HZ] [--kind e5|dcdd] [--signals N]
//                          [--profile l1l2|l1l5|multi]
//                          [--systems GRECJS] [--sats N] [--no-nav] [--week W] [--tow S]
//                          [--interval S] [--unflagged-slips P] [--multipath M]
//                          [--clock-jumps S] [--gap T:S] [--slip T:N] [--bds3]
#include <cstdio>
#include <cstring>

#include "log_generator.h"

namespace {

const char* const kUsage =
    "usage: vln_log_generator OUTPUT [options]\n"
    "Writes a synthetic raw log of a receiver standing still, tracking the satellites\n"
    "above its horizon.\n"
    "  --seconds S      length of the log (default 180)\n"
    "  --rate HZ        measurement epochs per second, 1-20 (default 1)\n"
    "  --kind e5|dcdd   extended 0xE5 measurements or 0xDC + 0xDD (default e5)\n"
    "  --signals N      signals per satellite in 0xE5, the profile's first N (default all)\n"
    "  --profile P      l1l2: L1 C/A with L2C (GPS, QZSS), L2 (GLONASS), E5b, B2I\n"
    "                   (default); l1l5: L1 with L5, E5a, B2a; multi: every signal the\n"
    "                   receiver reports (L1C, L5, L3, E5a, E6, B1C, B3I, B2a, QZSS L6 ...)\n"
    "  --systems LIST   constellation letters out of GRECJS (default all)\n"
    "  --sats N         receiver channels (default 40)\n"
    "  --no-nav         no navigation messages\n"
    "  --bds3           BeiDou-3 beside BeiDou-2 (MEOs C19-C30 and C41-C46, IGSOs\n"
    "                   C38-C40, GEOs C59 and C60) and QZSS J07 (PRN 199)\n"
    "  --week W         GPS week of the first epoch (default 2400)\n"
    "  --tow S          GPS second of week of the first epoch (default 345600)\n"
    "  --interval S     seconds between epochs, above 1 (navigation words in the first\n"
    "                   minute of every quarter hour)\n"
    "  --unflagged-slips P  chance per observation of a cycle slip without a flag\n"
    "  --multipath M    amplitude of a code multipath error near the horizon, metres\n"
    "  --clock-jumps S  the receiver clock steps by 1 ms every S seconds (code and phase)\n"
    "  --gap T:S        no measurement epochs for S seconds from T seconds into the log\n"
    "  --slip T:N       an unflagged slip of N cycles on the second signal of the first\n"
    "                   GPS satellite tracked, T seconds into the log\n"
    "  --help           this text\n";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
      fputs(kUsage, stdout);
      return 0;
    }
  }
  LogOptions options;
  std::string error;
  if (argc < 2 || argv[1][0] == '-') {
    fprintf(stderr, "%s%s", argc < 2 ? "" : "the first argument must be the output file\n", kUsage);
    return 2;
  }
  if (!parse_log_options(argc - 2, argv + 2, &options, &error)) {
    fprintf(stderr, "%s\n%s", error.c_str(), kUsage);
    return 2;
  }
  FILE* out = fopen(argv[1], "wb");
  if (out == nullptr) {
    perror(argv[1]);
    return 1;
  }
  uint64_t bytes = write_log(options, out);
  if (fclose(out) != 0) {
    perror(argv[1]);
    return 1;
  }
  printf("%s: %llu bytes\n", argv[1], (unsigned long long)bytes);
  return 0;
}
