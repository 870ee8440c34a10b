// Speed and memory of the converter on generated logs of increasing size.
// For each size: generate the log (0xE5, 10 Hz, dual frequency, all
// constellations), run the real program on it, and print input and output
// megabytes, seconds, input MB/s and the child's peak resident memory. The
// bare cost of reading the same input and writing the same number of output
// bytes is timed on the same machine, and the ratio to it printed; last, the
// seconds of a second run with a 30-second interval and all station metadata.
//
// vln_bench [--max-mb N] [--dir DIR] [--day]
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "log_generator.h"

namespace {

constexpr double kMB = 1e6;
constexpr double kBytesPerSecondOfLog = 18060.0;  // 10 Hz x 60 signals, plus navigation words

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

long long file_size(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (long long)st.st_size : 0;
}

struct Run {
  double seconds;
  long peak_kb;
};

// The options of the second run of each log: a 30-second interval and every
// station metadata option, as a processing service's file is made.
const char* const kStationOptions[] = {
    "--interval",         "30",          "--marker-name",    "BJFS",
    "--marker-number",    "21601M001",   "--marker-type",    "GEODETIC",
    "--observer",         "OBS",         "--agency",         "AGENCY",
    "--receiver-number",  "1",           "--receiver-type",  "VLN",
    "--receiver-version", "1.0",         "--antenna-number", "2",
    "--antenna-type",     "TRM59800.00", "--radome",         "SCIS",
    "--antenna-delta",    "0.1,0,0",     "--position",       "-2148744.271,4426641.113,4044655.987",
    "--comment",          "benchmark"};

Run run_converter(const std::string& log, bool station_options) {
  std::vector<const char*> argv = {VLN_PROGRAM_PATH, log.c_str(), "-dual_freq"};
  if (station_options)
    argv.insert(argv.end(), std::begin(kStationOptions), std::end(kStationOptions));
  argv.push_back(nullptr);
  fflush(stdout);  // the child must not inherit unwritten lines
  double start = now();
  pid_t pid = fork();
  if (pid == 0) {
    if (!freopen("/dev/null", "w", stdout)) _exit(126);
    execv(VLN_PROGRAM_PATH, const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  int status = 0;
  rusage usage = {};
  wait4(pid, &status, 0, &usage);
  return {now() - start, usage.ru_maxrss};
}

// Reads the whole input and writes out_bytes to a file with 1 MB stdio calls.
double bare_io(const std::string& log, long long out_bytes, const std::string& scratch) {
  static std::vector<char> buf(1 << 20, 'x');
  double start = now();
  FILE* in = fopen(log.c_str(), "rb");
  while (in != nullptr && fread(buf.data(), 1, buf.size(), in) == buf.size()) {
  }
  if (in != nullptr) fclose(in);
  FILE* out = fopen(scratch.c_str(), "w");
  for (long long left = out_bytes; out != nullptr && left > 0; left -= (long long)buf.size())
    fwrite(buf.data(), 1, (size_t)std::min<long long>(left, (long long)buf.size()), out);
  if (out != nullptr) fclose(out);
  double elapsed = now() - start;
  remove(scratch.c_str());
  return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  double max_mb = 1000;
  std::string dir = "/tmp";
  bool day = false;
  for (int i = 1; i < argc; i++) {
    if (!strcmp(argv[i], "--max-mb") && i + 1 < argc)
      max_mb = atof(argv[++i]);
    else if (!strcmp(argv[i], "--dir") && i + 1 < argc)
      dir = argv[++i];
    else if (!strcmp(argv[i], "--day"))
      day = true;
  }
  std::vector<double> sizes;
  for (double mb = 1; mb <= max_mb * 1.0001; mb *= 10) sizes.push_back(mb);
  if (sizes.back() < max_mb) sizes.push_back(max_mb);

  printf("%10s %10s %9s %10s %12s %10s %8s %13s\n", "input MB", "output MB", "seconds",
         "input MB/s", "peak RSS KB", "bare s", "ratio", "30 s+meta s");
  for (size_t i = 0; i < sizes.size() + (day ? 1 : 0); i++) {
    LogOptions o;
    o.rate_hz = 10;
    o.satellites = 30;  // 60 signals
    o.signals = 2;
    o.seconds = i < sizes.size() ? sizes[i] * kMB / kBytesPerSecondOfLog : 86400.0;
    std::string log = dir + "/vln_bench_log.dat";
    FILE* out = fopen(log.c_str(), "wb");
    if (out == nullptr) {
      perror(log.c_str());
      return 1;
    }
    write_log(o, out);
    fclose(out);
    sync();  // start every measurement without pending writes of earlier steps

    Run r = run_converter(log, false);
    long long in_bytes = file_size(log);
    long long out_bytes =
        file_size(dir + "/vln_bench_log.obs") + file_size(dir + "/vln_bench_log.nav");
    remove((dir + "/vln_bench_log.obs").c_str());
    remove((dir + "/vln_bench_log.nav").c_str());
    sync();
    double bare = bare_io(log, out_bytes, dir + "/vln_bench_scratch");
    Run thinned = run_converter(log, true);
    remove((dir + "/vln_bench_log.obs").c_str());
    remove((dir + "/vln_bench_log.nav").c_str());
    remove(log.c_str());
    printf("%10.1f %10.1f %9.3f %10.1f %12ld %10.3f %8.2f %13.3f\n", in_bytes / kMB,
           out_bytes / kMB, r.seconds, in_bytes / kMB / r.seconds, r.peak_kb, bare,
           r.seconds / bare, thinned.seconds);
    fflush(stdout);
  }
  return 0;
}
