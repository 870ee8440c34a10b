// Speed and memory of the converter on generated logs of increasing size.
// For each size: generate the log (0xE5, 10 Hz, dual frequency, all
// constellations) and run the real program on it in several ways: plain,
// with a 30-second interval and all station metadata, --crx, --crx --gzip,
// the standard writer of RINEX 3.05 and 2.11 (and 3.05 compacted), and the
// plain conversion followed by gzip -6 of its observation file (what
// a user does without --gzip). For each: seconds, MB of log per second, the
// output megabytes, the peak resident memory and the instructions per byte of
// log (from the processor's counter, where the machine lets a program read
// it). Then the bare cost of reading the input and writing as many bytes as
// the plain conversion writes; last, the time of the quality report on a day
// at 30 s and an hour at 10 Hz, beside their conversions.
//
// vln_bench [--max-mb N] [--dir DIR] [--day]
#include <linux/perf_event.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

// The options of the station run: a 30-second interval and every station
// metadata option, as a processing service's file is made.
const std::vector<std::string> kStationOptions = {
    "--interval",         "30",          "--marker-name",    "BJFS",
    "--marker-number",    "21601M001",   "--marker-type",    "GEODETIC",
    "--observer",         "OBS",         "--agency",         "AGENCY",
    "--receiver-number",  "1",           "--receiver-type",  "VLN",
    "--receiver-version", "1.0",         "--antenna-number", "2",
    "--antenna-type",     "TRM59800.00", "--radome",         "SCIS",
    "--antenna-delta",    "0.1,0,0",     "--position",       "-2148744.271,4426641.113,4044655.987",
    "--comment",          "benchmark"};

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
  long long instructions;  // -1 where the counter cannot be read
};

// Runs argv (stdout to /dev/null, or to out_path) and measures it; the
// instruction counter follows the child from its exec on.
Run run_measured(const std::vector<std::string>& args, const char* out_path = "/dev/null") {
  perf_event_attr attr = {};
  attr.type = PERF_TYPE_HARDWARE;
  attr.size = sizeof attr;
  attr.config = PERF_COUNT_HW_INSTRUCTIONS;
  attr.disabled = 1;
  attr.enable_on_exec = 1;
  attr.inherit = 1;
  attr.exclude_kernel = 1;
  attr.exclude_hv = 1;
  fflush(stdout);  // the child must not inherit unwritten lines
  int ready[2];
  if (pipe(ready) != 0) return {0, 0, -1};
  double start = now();
  pid_t pid = fork();
  if (pid == 0) {
    char go;
    close(ready[1]);
    if (read(ready[0], &go, 1) != 1) _exit(125);
    if (!freopen(out_path, "w", stdout)) _exit(126);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(ready[0]);
  int counter = (int)syscall(SYS_perf_event_open, &attr, pid, -1, -1, 0);
  if (write(ready[1], "g", 1) != 1) perror("bench");
  close(ready[1]);
  int status = 0;
  rusage usage = {};
  wait4(pid, &status, 0, &usage);
  Run r = {now() - start, usage.ru_maxrss, -1};
  long long count = 0;
  if (counter >= 0 && read(counter, &count, sizeof count) == (ssize_t)sizeof count)
    r.instructions = count;
  if (counter >= 0) close(counter);
  return r;
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

void print_row(double in_mb, const char* mode, const Run& r, long long out_bytes) {
  char instructions[32] = "n/a";
  if (r.instructions >= 0)
    snprintf(instructions, sizeof instructions, "%.1f", (double)r.instructions / (in_mb * kMB));
  printf("%9.1f  %-26s %8.3f %9.1f %10.1f %12ld %11s\n", in_mb, mode, r.seconds, in_mb / r.seconds,
         out_bytes / kMB, r.peak_kb, instructions);
  fflush(stdout);
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

  printf("%9s  %-26s %8s %9s %10s %12s %11s\n", "log MB", "run", "seconds", "log MB/s", "output MB",
         "peak RSS KB", "instr/byte");
  const std::string log = dir + "/vln_bench_log.dat";
  const std::string obs = dir + "/vln_bench_log.obs", nav = dir + "/vln_bench_log.nav";
  for (size_t i = 0; i < sizes.size() + (day ? 1 : 0); i++) {
    LogOptions o;
    o.rate_hz = 10;
    o.satellites = 30;  // 60 signals
    o.signals = 2;
    o.seconds = i < sizes.size() ? sizes[i] * kMB / kBytesPerSecondOfLog : 86400.0;
    FILE* out = fopen(log.c_str(), "wb");
    if (out == nullptr) {
      perror(log.c_str());
      return 1;
    }
    write_log(o, out);
    fclose(out);
    sync();  // start every measurement without pending writes of earlier steps
    double in_mb = file_size(log) / kMB;

    const std::vector<std::string> base = {VLN_PROGRAM_PATH, log, "-dual_freq"};
    struct Mode {
      const char* name;
      std::vector<std::string> options;
      std::vector<std::string> outputs;
    } const kModes[] = {
        {"plain", {}, {".obs", ".nav"}},
        {"--interval 30, metadata", kStationOptions, {".obs", ".nav"}},
        {"--crx", {"--crx"}, {".crx", ".nav"}},
        {"--crx --gzip", {"--crx", "--gzip"}, {".crx.gz", ".nav.gz"}},
        // The standard writer, every signal under its own code: the same observations here.
        {"--rinex-version 3.05", {"--rinex-version", "3.05"}, {".obs", ".nav"}},
        {"--rinex-version 2.11", {"--rinex-version", "2.11"}, {".obs", ".nav", ".gnav"}},
        {"--rinex-version 3.05 --crx", {"--rinex-version", "3.05", "--crx"}, {".crx", ".nav"}},
    };
    long long plain_bytes = 0;
    for (const Mode& m : kModes) {
      std::vector<std::string> args = base;
      args.insert(args.end(), m.options.begin(), m.options.end());
      Run r = run_measured(args);
      long long bytes = 0;
      for (const std::string& ending : m.outputs) {
        std::string path = dir + "/vln_bench_log" + ending;
        bytes += file_size(path);
        if (m.name != kModes[0].name || ending != ".obs") remove(path.c_str());
      }
      if (m.name == kModes[0].name) plain_bytes = bytes;
      print_row(in_mb, m.name, r, bytes);
      sync();
    }
    // What a user does without --gzip: the plain conversion (run above), then gzip -6.
    Run plain = run_measured({base[0], base[1], base[2]});
    Run gz = run_measured({"gzip", "-6", "-c", obs}, (obs + ".gz").c_str());
    Run both = {plain.seconds + gz.seconds, std::max(plain.peak_kb, gz.peak_kb),
                plain.instructions >= 0 && gz.instructions >= 0
                    ? plain.instructions + gz.instructions
                    : -1};
    print_row(in_mb, "plain, then gzip -6 of .obs", both, file_size(obs + ".gz") + file_size(nav));
    for (const std::string& path : {obs, nav, obs + ".gz"}) remove(path.c_str());
    sync();
    double bare = bare_io(log, plain_bytes, dir + "/vln_bench_scratch");
    printf("%9.1f  %-26s %8.3f\n", in_mb, "bare read + write", bare);
    remove(log.c_str());
  }
  // The quality report on a day at 30 s and an hour at 10 Hz, against the conversion.
  printf("\n%-34s %8s %8s\n", "quality report (vln_qc)", "convert", "vln_qc");
  for (int day = 1; day >= 0; day--) {
    LogOptions o;
    o.seconds = day ? 86400 : 3600;
    o.interval = day ? 30 : 0;
    o.rate_hz = day ? 1 : 10;
    FILE* out = fopen(log.c_str(), "wb");
    if (out == nullptr) return 1;
    write_log(o, out);
    fclose(out);
    Run convert = run_measured({VLN_PROGRAM_PATH, log, "-dual_freq"});
    Run qc = run_measured({VLN_QC_PATH, obs, nav});
    printf("%-34s %8.3f %8.3f\n",
           day ? "a day at 30 s, 40 satellites" : "an hour at 10 Hz, 40 satellites",
           convert.seconds, qc.seconds);
    for (const std::string& path : {log, obs, nav}) remove(path.c_str());
  }
  return 0;
}
