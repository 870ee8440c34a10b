// Speed and memory of the converter on generated logs. For each size: generate
// the log (0xE5, 10 Hz, dual frequency, all constellations) and run the real
// program on it in several ways (plain, a station's 30-second file, --crx,
// --crx --gzip, the standard writer), then what a user does without --gzip
// (the plain conversion, then gzip -6 of its observation file), gzip -6 of the
// Compact text, and the bare read of the log and write of as many bytes as the
// plain run wrote: the bound no conversion beats. Each row gives wall and CPU
// seconds, MB of log per second, the output, the peak memory, the write calls
// and the instructions per byte of log (where the processor's counter can be
// read); the ratios that matter follow. With --compare another build of the
// converter runs the plain conversion beside this one.
#include <linux/perf_event.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "log_generator.h"
#include "soak.h"

namespace {

constexpr double kMB = 1e6;
constexpr double kBytesPerSecondOfLog = 18060.0;  // 10 Hz x 60 signals, plus navigation words

const char kHelp[] =
    "usage: vln_bench [options]\n"
    "Converts generated 10 Hz logs of 1 MB, 10 MB, ... up to the largest size in\n"
    "several ways and prints the time, memory and write calls of each, and ratios.\n"
    "  --max-mb N      largest log in MB (default 100)\n"
    "  --runs N        runs of each measurement; the median is shown (default 3)\n"
    "  --dir DIR       folder of the temporary files (default /tmp; /dev/shm measures\n"
    "                  the program rather than the disk); about four times the\n"
    "                  largest log must fit\n"
    "  --compare PROG  another build of vln_raw_to_rinex, run plain beside this one\n"
    "  --day           a 24-hour log at 10 Hz (about 1.6 GB) as the last size\n"
    "  --qc            the quality report on a day at 30 s and a day at 1 Hz too, and\n"
    "                  vln_rinex's splice of the 1 Hz day's 24 hourly files and check\n"
    "  --soak DAYS     only the station soak: DAYS (7 for a week) of a 1 Hz log\n"
    "                  through TCP on 127.0.0.1 with drops into hourly .crx.gz files\n"
    "                  and the raw journal, the converter killed (SIGKILL) and\n"
    "                  started again every 20 hours of data; memory, CPU per hour,\n"
    "                  files closed, every epoch in exactly one file\n"
    "  --help          this text\n";

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

// The observations a RINEX 3 observation file holds: the values of its record
// lines (each has its decimal point), after the header.
long long values_written(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return 0;
  long long values = 0;
  bool body = false;
  static char line[1 << 12];
  while (fgets(line, sizeof line, f) != nullptr) {
    if (!body) {
      body = strstr(line, "END OF HEADER") != nullptr;
      continue;
    }
    if (line[0] == '>') continue;
    for (const char* p = line; (p = strchr(p, '.')) != nullptr; p++) values++;
  }
  fclose(f);
  return values > 0 ? values : 1;
}

// The temporary files, removed at the end and when the run is interrupted.
constexpr int kTempFiles = 12;
char Temp_files[kTempFiles][512];

void remove_temp_files(int first = 0) {
  for (int i = first; i < kTempFiles; i++)
    if (Temp_files[i][0] != '\0') unlink(Temp_files[i]);
}

extern "C" void on_signal(int sig) {
  remove_temp_files();
  signal(sig, SIG_DFL);
  raise(sig);
}

std::string temp_file(int slot, const std::string& path) {
  snprintf(Temp_files[slot], sizeof Temp_files[slot], "%s", path.c_str());
  return path;
}

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

long long file_size(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (long long)st.st_size : 0;
}

struct Run {
  double wall, cpu;
  long peak_kb;
  long long writes;        // write calls; -1 where /proc cannot tell
  long long instructions;  // -1 where the counter cannot be read
};

// Reads the write calls of an exited child that has not been reaped yet.
long long write_calls(pid_t pid) {
  char path[64], line[128];
  snprintf(path, sizeof path, "/proc/%d/io", (int)pid);
  FILE* f = fopen(path, "r");
  long long n = -1;
  while (f != nullptr && fgets(line, sizeof line, f) != nullptr)
    if (strncmp(line, "syscw:", 6) == 0) n = atoll(line + 6);
  if (f != nullptr) fclose(f);
  return n;
}

// Runs args once (stdout to out_path) and measures it; the instruction counter
// follows the child from its exec on.
Run run_once(const std::vector<std::string>& args, const char* out_path) {
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
  if (pipe(ready) != 0) return {0, 0, 0, -1, -1};
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
  if (write(ready[1], "g", 1) != 1) perror("vln_bench");
  close(ready[1]);
  siginfo_t info = {};
  waitid(P_PID, (id_t)pid, &info, WEXITED | WNOWAIT);  // exited, /proc still there
  double wall = now() - start;
  long long writes = write_calls(pid);
  int status = 0;
  rusage usage = {};
  wait4(pid, &status, 0, &usage);
  double cpu = (double)usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 +
               (double)usage.ru_stime.tv_sec + usage.ru_stime.tv_usec * 1e-6;
  Run r = {wall, cpu, usage.ru_maxrss, writes, -1};
  long long count = 0;
  if (counter >= 0 && read(counter, &count, sizeof count) == (ssize_t)sizeof count)
    r.instructions = count;
  if (counter >= 0) close(counter);
  return r;
}

// The median of runs runs, field by field.
Run run_measured(const std::vector<std::string>& args, int runs,
                 const char* out_path = "/dev/null") {
  std::vector<Run> all;
  for (int i = 0; i < runs; i++) {
    all.push_back(run_once(args, out_path));
    sync();  // the next run starts without pending writes of this one
  }
  auto median = [&](auto field) {
    std::vector<decltype(field(all[0]))> v;
    for (const Run& r : all) v.push_back(field(r));
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  return {median([](const Run& r) { return r.wall; }), median([](const Run& r) { return r.cpu; }),
          median([](const Run& r) { return r.peak_kb; }),
          median([](const Run& r) { return r.writes; }),
          median([](const Run& r) { return r.instructions; })};
}

// Reads the whole input and writes out_bytes to a file in 1 MB calls.
Run bare_io(const std::string& log, long long out_bytes, const std::string& scratch, int runs) {
  static std::vector<char> buf(1 << 20, 'x');
  std::vector<double> walls;
  for (int i = 0; i < runs; i++) {
    double start = now();
    FILE* in = fopen(log.c_str(), "rb");
    while (in != nullptr && fread(buf.data(), 1, buf.size(), in) == buf.size()) {
    }
    if (in != nullptr) fclose(in);
    FILE* out = fopen(scratch.c_str(), "w");
    if (out != nullptr) setvbuf(out, nullptr, _IONBF, 0);
    for (long long left = out_bytes; out != nullptr && left > 0; left -= (long long)buf.size())
      fwrite(buf.data(), 1, (size_t)std::min<long long>(left, (long long)buf.size()), out);
    if (out != nullptr) fclose(out);
    walls.push_back(now() - start);
    remove(scratch.c_str());
    sync();
  }
  std::sort(walls.begin(), walls.end());
  return {walls[walls.size() / 2], 0, 0, -1, -1};
}

void print_row(double in_mb, const char* mode, const Run& r, long long out_bytes) {
  char instructions[32] = "n/a", writes[32] = "n/a";
  if (r.instructions >= 0)
    snprintf(instructions, sizeof instructions, "%.1f", (double)r.instructions / (in_mb * kMB));
  if (r.writes >= 0) snprintf(writes, sizeof writes, "%lld", r.writes);
  printf("%8.1f  %-30s %7.3f %7.3f %9.1f %9.1f %9ld %8s %10s\n", in_mb, mode, r.wall, r.cpu,
         in_mb / r.wall, out_bytes / kMB, r.peak_kb, writes, instructions);
  fflush(stdout);
}

void progress(double in_mb, const char* step) {
  fprintf(stderr, "\r%-70s\r[%.0f MB log] %s", "", in_mb, step);
  fflush(stderr);
}

std::string load_average() {
  char text[64] = "n/a";
  FILE* f = fopen("/proc/loadavg", "r");
  if (f != nullptr && fgets(text, sizeof text, f) != nullptr) text[strcspn(text, " ")] = '\0';
  if (f != nullptr) fclose(f);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  double max_mb = 100;
  int runs = 3;
  std::string dir = "/tmp", compare;
  bool day = false, qc = false;
  double soak_days = 0;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    bool has_value = i + 1 < argc;
    if (a == "--max-mb" && has_value)
      max_mb = atof(argv[++i]);
    else if (a == "--runs" && has_value)
      runs = std::max(1, atoi(argv[++i]));
    else if (a == "--dir" && has_value)
      dir = argv[++i];
    else if (a == "--compare" && has_value)
      compare = argv[++i];
    else if (a == "--day")
      day = true;
    else if (a == "--qc")
      qc = true;
    else if (a == "--soak" && has_value && atof(argv[i + 1]) > 0)
      soak_days = atof(argv[++i]);
    else {
      fputs(kHelp, a == "--help" ? stdout : stderr);
      return a == "--help" ? 0 : 2;
    }
  }
  if (max_mb < 1) max_mb = 1;
  if (soak_days > 0) return run_soak(soak_days, dir, 6);
  signal(SIGINT, on_signal);
  signal(SIGTERM, on_signal);
  signal(SIGHUP, on_signal);
  std::vector<double> sizes;
  for (double mb = 1; mb <= max_mb * 1.0001; mb *= 10) sizes.push_back(mb);
  if (sizes.back() < max_mb) sizes.push_back(max_mb);

  const std::string log = temp_file(0, dir + "/vln_bench_log.dat");
  const std::string stem = dir + "/vln_bench_log";
  const char* const kEndings[] = {".obs",    ".nav",  ".crx",    ".crx.gz",
                                  ".nav.gz", ".gnav", ".obs.gz", ".crx.gz6"};
  for (int k = 0; k < 8; k++) temp_file(1 + k, stem + kEndings[k]);
  const std::string scratch = temp_file(9, dir + "/vln_bench_scratch");
  const std::string load_before = load_average();
  long cores = sysconf(_SC_NPROCESSORS_ONLN);
  printf("%ld processors, load average %s; medians of %d runs\n", cores, load_before.c_str(), runs);
  printf("%8s  %-30s %7s %7s %9s %9s %9s %8s %10s\n", "log MB", "run", "wall s", "CPU s",
         "log MB/s", "output MB", "peak KB", "writes", "instr/byte");
  for (size_t i = 0; i < sizes.size() + (day ? 1 : 0); i++) {
    LogOptions o;
    o.rate_hz = 10;
    o.satellites = 30;  // 60 signals
    o.signals = 2;
    o.seconds = i < sizes.size() ? sizes[i] * kMB / kBytesPerSecondOfLog : 86400.0;
    progress(i < sizes.size() ? sizes[i] : 1600, "generating the log");
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
    Run plain = {}, crx_gzip = {}, standard = {};
    long long plain_bytes = 0, crx_gzip_bytes = 0, plain_values = 0, standard_values = 0;
    for (const Mode& m : kModes) {
      progress(in_mb, m.name);
      std::vector<std::string> args = base;
      args.insert(args.end(), m.options.begin(), m.options.end());
      Run r = run_measured(args, runs);
      long long bytes = 0;
      for (const std::string& ending : m.outputs) bytes += file_size(stem + ending);
      if (m.name == kModes[0].name)
        plain = r, plain_bytes = bytes, plain_values = values_written(stem + ".obs");
      if (m.name == kModes[4].name) standard = r, standard_values = values_written(stem + ".obs");
      if (m.name == kModes[3].name) crx_gzip = r, crx_gzip_bytes = file_size(stem + ".crx.gz");
      print_row(in_mb, m.name, r, bytes);
    }
    // The Compact text of the --crx run through gzip -6: the size to beat.
    progress(in_mb, "--crx, then gzip -6");
    run_measured({base[0], base[1], base[2], "--crx"}, 1);
    Run crx6 = run_measured({"gzip", "-6", "-c", stem + ".crx"}, runs, (stem + ".crx.gz6").c_str());
    long long crx6_bytes = file_size(stem + ".crx.gz6");
    print_row(in_mb, "gzip -6 of the .crx alone", crx6, crx6_bytes);
    // What a user does without --gzip: the plain conversion, then gzip -6.
    progress(in_mb, "plain, then gzip -6");
    run_measured(base, 1);
    Run gz = run_measured({"gzip", "-6", "-c", stem + ".obs"}, runs, (stem + ".obs.gz").c_str());
    Run both = {plain.wall + gz.wall, plain.cpu + gz.cpu, std::max(plain.peak_kb, gz.peak_kb), -1,
                plain.instructions >= 0 && gz.instructions >= 0
                    ? plain.instructions + gz.instructions
                    : -1};
    print_row(in_mb, "plain, then gzip -6 of .obs", both,
              file_size(stem + ".obs.gz") + file_size(stem + ".nav"));
    Run other = {};
    if (!compare.empty()) {
      progress(in_mb, "the other build, plain");
      other = run_measured({compare, log, "-dual_freq"}, runs);
      print_row(in_mb, "plain, the other build", other, file_size(stem + ".obs"));
    }
    remove_temp_files(1);  // the outputs; the log stays for the bound
    progress(in_mb, "bare read + write");
    Run bare = bare_io(log, plain_bytes, scratch, runs);
    print_row(in_mb, "bare read + write (bound)", bare, plain_bytes);
    remove(log.c_str());
    fprintf(stderr, "\r%-70s\r", "");
    printf(
        "%8.1f  plain / bare read + write %.2f (wall); convert then gzip -6 / --crx --gzip "
        "%.1f; --crx --gzip / gzip -6 of .crx %.3f (size)\n",
        in_mb, plain.wall / bare.wall, both.wall / crx_gzip.wall,
        (double)crx_gzip_bytes / (double)crx6_bytes);
    printf(
        "%8.1f  --rinex-version 3.05 / plain, per observation written (%lld and %lld): CPU %.2f, "
        "wall %.2f\n",
        in_mb, standard_values, plain_values,
        (standard.cpu / (double)standard_values) / (plain.cpu / (double)plain_values),
        (standard.wall / (double)standard_values) / (plain.wall / (double)plain_values));
    if (!compare.empty())
      printf("%8.1f  plain / the other build: wall %.2f, CPU %.2f, write calls %lld / %lld\n",
             in_mb, plain.wall / other.wall, plain.cpu / other.cpu, plain.writes, other.writes);
  }
  if (qc) {
    // The quality report on a day at 30 s and a day at 1 Hz, against the conversion.
    printf("\n%-34s %8s %8s %10s\n", "quality report (vln_qc)", "convert", "vln_qc", "peak KB");
    for (int whole_day = 1; whole_day >= 0; whole_day--) {
      LogOptions o;
      o.seconds = 86400;
      o.interval = whole_day ? 30 : 0;
      o.rate_hz = 1;
      FILE* out = fopen(log.c_str(), "wb");
      if (out == nullptr) return 1;
      write_log(o, out);
      fclose(out);
      Run convert = run_measured({VLN_PROGRAM_PATH, log, "-dual_freq"}, 1);
      Run report = run_measured({VLN_QC_PATH, stem + ".obs", stem + ".nav"}, 1);
      printf("%-34s %8.3f %8.3f %10ld\n",
             whole_day ? "a day at 30 s, 40 satellites" : "a day at 1 Hz, 40 satellites",
             convert.wall, report.wall, report.peak_kb);
      remove_temp_files(1);
    }
    // vln_rinex on the 1 Hz day: its 24 hourly Compact gzip files spliced into
    // one file, and the check of that day.
    const std::string hours = dir + "/vln_bench_hours";
    std::string mkdir = "mkdir -p " + hours;
    if (system(mkdir.c_str()) != 0) return 1;
    run_measured({VLN_PROGRAM_PATH, log, "-dual_freq", "--rinex-version", "3.05", "--split", "1h",
                  "--crx", "--gzip", "--output-dir", hours},
                 1);
    std::vector<std::string> splice = {VLN_RINEX_PATH, "splice"};
    for (int h = 0; h < 24; h++) {
      char name[128];
      snprintf(name, sizeof name, "/XXXX00XXX_R_2026008%02d00_01H_01S_MO.crx.gz", h);
      splice.push_back(hours + name);
    }
    const std::string day = temp_file(1, dir + "/vln_bench_day.rnx");
    splice.insert(splice.end(), {"-o", day});
    Run spliced = run_measured(splice, 1);
    Run checked = run_measured({VLN_RINEX_PATH, "check", day}, 1);
    printf("%-34s %8s %8.3f %10ld\n", "vln_rinex splice of 24 hourly files", "", spliced.wall,
           spliced.peak_kb);
    printf("%-34s %8s %8.3f %10ld\n", "vln_rinex check of the day", "", checked.wall,
           checked.peak_kb);
    std::string rm = "rm -rf " + hours;
    if (system(rm.c_str()) != 0) return 1;
    remove_temp_files(1);
  }
  remove_temp_files();
  printf("load average at the end %s\n", load_average().c_str());
  return 0;
}
