// vln_log_generator OUTPUT [--seconds S] [--rate HZ] [--kind e5|dcdd] [--signals 1|2]
//                          [--systems GRECJS] [--sats N] [--no-nav] [--week W] [--tow S]
#include <cstdio>

#include "log_generator.h"

int main(int argc, char** argv) {
  LogOptions options;
  std::string error;
  if (argc < 2 || !parse_log_options(argc - 2, argv + 2, &options, &error)) {
    fprintf(stderr,
            "%s\nusage: vln_log_generator OUTPUT [--seconds S] [--rate HZ] [--kind e5|dcdd] "
            "[--signals 1|2] [--systems GRECJS] [--sats N] [--no-nav] [--week W] [--tow S]\n",
            error.c_str());
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
