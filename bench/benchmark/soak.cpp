// The station soak: days of a 1 Hz receiver streamed to the converter through
// a TCP socket on 127.0.0.1 as fast as it reads, the line dropped every few
// hours of data and the converter killed (SIGKILL) and started again every
// 20 hours of data, into hourly Compact RINEX gzip files with the raw journal.
// It shows that memory stays flat over the run (resident size after the
// first hours against the end), what an hour of data costs in CPU, and that
// every epoch is in exactly one file, every period was closed and every byte
// kept.
#include "soak.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "log_generator.h"
#include "rinex_text.h"

namespace {

constexpr double kKillHours = 20;  // hours of data between kills of the converter
constexpr int kFlushSeconds = 10;  // the converter's checkpoints of a live source, and of its silence

double seconds_now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Resident and peak resident KB of a running process.
void memory_kb(pid_t pid, long* rss, long* peak) {
  char path[64], line[256];
  snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
  FILE* f = fopen(path, "r");
  while (f != nullptr && fgets(line, sizeof line, f) != nullptr) {
    if (strncmp(line, "VmRSS:", 6) == 0) *rss = atol(line + 6);
    if (strncmp(line, "VmHWM:", 6) == 0) *peak = atol(line + 6);
  }
  if (f != nullptr) fclose(f);
}

// User plus system CPU seconds of a running process.
double cpu_seconds(pid_t pid) {
  char path[64], text[1024];
  snprintf(path, sizeof path, "/proc/%d/stat", (int)pid);
  FILE* f = fopen(path, "r");
  size_t n = f != nullptr ? fread(text, 1, sizeof text - 1, f) : 0;
  if (f != nullptr) fclose(f);
  text[n] = '\0';
  const char* p = strrchr(text, ')');  // the fields after the command name
  unsigned long utime = 0, stime = 0;
  if (p == nullptr ||
      sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
    return 0;
  return (double)(utime + stime) / (double)sysconf(_SC_CLK_TCK);
}

// Files in dir whose names end with ending: their count and bytes.
void folder_files(const std::string& dir, const char* ending, long* count, long long* bytes,
                  const char* part = "") {
  *count = 0;
  *bytes = 0;
  DIR* d = opendir(dir.c_str());
  size_t n = strlen(ending);
  for (dirent* e; d != nullptr && (e = readdir(d)) != nullptr;) {
    std::string name = e->d_name;
    if (name.size() < n || name.compare(name.size() - n, n, ending) != 0 ||
        name.find(part) == std::string::npos)
      continue;
    struct stat st;
    if (stat((dir + "/" + name).c_str(), &st) != 0) continue;
    (*count)++;
    *bytes += st.st_size;
  }
  if (d != nullptr) closedir(d);
}

// The epochs of every observation file in dir (parts included): how many
// there are, and how many of them stand in more than one file.
void count_epochs(const std::string& dir, long* epochs, long* twice) {
  std::set<std::string> seen;
  *epochs = *twice = 0;
  DIR* d = opendir(dir.c_str());
  for (dirent* e; d != nullptr && (e = readdir(d)) != nullptr;) {
    std::string name = e->d_name, text, error;
    if (name.find("_MO.") == std::string::npos || name.find(".incomplete") != std::string::npos ||
        !read_rinex_text(dir + "/" + name, &text, &error))
      continue;
    for (size_t at = text.find("\n> "); at != std::string::npos; at = text.find("\n> ", at + 1)) {
      std::string line = text.substr(at + 1, 35);
      if (line.size() < 35 || line[31] != '0') continue;  // observation epochs only
      (*epochs)++;
      if (!seen.insert(line.substr(0, 29)).second) (*twice)++;
    }
  }
  if (d != nullptr) closedir(d);
}

bool has_file(const std::string& dir, const char* part) {
  DIR* d = opendir(dir.c_str());
  bool found = false;
  for (dirent* e; d != nullptr && !found && (e = readdir(d)) != nullptr;)
    found = strstr(e->d_name, part) != nullptr && strstr(e->d_name, "_MO.") != nullptr &&
            strstr(e->d_name, ".incomplete") == nullptr;
  if (d != nullptr) closedir(d);
  return found;
}

void remove_folder(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  for (dirent* e; d != nullptr && (e = readdir(d)) != nullptr;)
    if (e->d_name[0] != '.') unlink((dir + "/" + e->d_name).c_str());
  if (d != nullptr) closedir(d);
  rmdir(dir.c_str());
}

}  // namespace

int run_soak(double days, const std::string& dir, double drop_hours) {
  const std::string out_dir = dir + "/vln_soak_rinex", raw_dir = dir + "/vln_soak_raw";
  const std::string console = dir + "/vln_soak_console.txt";
  mkdir(out_dir.c_str(), 0755);
  mkdir(raw_dir.c_str(), 0755);

  // The log comes from a generator process through a pipe, never as a file.
  int log_pipe[2];
  if (pipe(log_pipe) != 0) return 1;
  pid_t generator = fork();
  if (generator == 0) {
    close(log_pipe[0]);
    FILE* out = fdopen(log_pipe[1], "wb");
    LogOptions o;
    o.seconds = days * 86400.0;
    o.satellites = 30;
    o.signals = 2;
    write_log(o, out);
    fclose(out);
    _exit(0);
  }
  close(log_pipe[1]);

  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    return 1;
  const std::string source = "tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port));

  // The converter, started again after each kill with the same command.
  auto start_converter = [&]() {
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
      close(log_pipe[0]);
      close(listener);
      if (!freopen(console.c_str(), "a", stdout)) _exit(126);
      execl(VLN_PROGRAM_PATH, VLN_PROGRAM_PATH, source.c_str(), "-dual_freq", "--split", "1h",
            "--crx", "--gzip", "--output-dir", out_dir.c_str(), "--raw-dir", raw_dir.c_str(),
            "--close-after", "3", (char*)nullptr);
      _exit(127);
    }
    return pid;
  };
  pid_t converter = start_converter();

  // Relay the log, dropping the connection after every drop_hours of data
  // (about 1.8 KB a second at 1 Hz); the converter reconnects after 1 s.
  // Every kill_hours of data the relay waits until the converter is idle and
  // the line has been silent for the flush interval (everything it received
  // is on disk at its last checkpoint), and kills it.
  const long long drop_bytes = (long long)(drop_hours * 3600.0 * 1800.0);
  const long long kill_bytes = (long long)(kKillHours * 3600.0 * 1800.0);
  const double start = seconds_now();
  long long sent = 0, since_drop = 0, since_kill = 0;
  long drops = 0, kills = 0, rss_early = 0, rss_end = 0, peak = 0, peak_killed = 0;
  double early_at = 0, cpu_killed = 0;
  static char chunk[1 << 16];
  std::string pending;  // bytes of the log not yet sent: the start of a frame
  int c = -1;
  for (;;) {
    if (c < 0) {
      pollfd p = {listener, POLLIN, 0};
      if (poll(&p, 1, 120000) <= 0) break;  // the converter is gone
      c = accept(listener, nullptr, nullptr);
      if (c < 0) break;
    }
    ssize_t got = read(log_pipe[0], chunk, sizeof chunk);
    if (got <= 0) break;
    // Whole frames only, so that a drop or a kill never cuts one in two.
    pending.append(chunk, (size_t)got);
    size_t whole = 0;
    while (pending.size() - whole >= 4) {
      size_t len =
          4 + ((size_t)(unsigned char)pending[whole + 2] << 8 | (unsigned char)pending[whole + 3]) +
          3;
      if (pending.size() - whole < len) break;
      whole += len;
    }
    ssize_t n = (ssize_t)whole;
    bool ok = true;
    for (ssize_t at = 0; ok && at < n;) {
      ssize_t w = send(c, pending.data() + at, (size_t)(n - at), MSG_NOSIGNAL);
      ok = w > 0;
      at += ok ? w : 0;
    }
    pending.erase(0, whole);
    if (!ok) break;
    sent += n;
    since_drop += n;
    if (early_at == 0 && sent > (long long)(days * 86400.0 * 1800.0 / 10)) {  // a tenth in
      long p = 0;
      memory_kb(converter, &rss_early, &p);
      early_at = seconds_now();
    }
    if (since_drop >= drop_bytes) {
      close(c);
      c = -1;
      since_drop = 0;
      drops++;
    }
    since_kill += n;
    if (since_kill >= kill_bytes) {
      for (double before = -1, now = cpu_seconds(converter); now != before;
           before = now, now = cpu_seconds(converter))
        usleep(700000);  // idle: every byte sent converted
      sleep(kFlushSeconds + 1);  // and the silence's checkpoint has put them on disk
      long rss = 0, p = 0;
      memory_kb(converter, &rss, &p);
      peak_killed = p > peak_killed ? p : peak_killed;
      cpu_killed += cpu_seconds(converter);
      kill(converter, SIGKILL);
      waitpid(converter, nullptr, 0);
      if (c >= 0) close(c);
      c = -1;
      since_kill = 0;
      kills++;
      converter = start_converter();
    }
    fprintf(stderr, "\r[soak] %.0f MB sent, %ld drops, %ld kills", sent / 1e6, drops, kills);
  }
  fprintf(stderr, "\r%-60s\r", "");
  // The last period closes by the grace time once the line is silent.
  long closed = 0, hours = (long)(days * 24.0 + 0.5);
  long long obs_bytes = 0, raw_bytes = 0;
  auto hours_with_files = [&]() {
    long n = 0;
    for (long h = 0; h < hours; h++) {
      char key[64];  // hour h of the log, whose first epoch is 2026-01-08 00:00 (day 008)
      snprintf(key, sizeof key, "_R_2026%03ld%02ld00_01H_", 8 + h / 24, h % 24);
      n += has_file(out_dir, key) ? 1 : 0;
    }
    return n;
  };
  for (int i = 0; i < 600 && hours_with_files() < hours; i++) usleep(100000);
  // The last hour's file appears with its first epoch: stop the converter
  // only once it is idle, every byte sent read and journaled.
  for (double before = -1, now = cpu_seconds(converter); now != before;
       before = now, now = cpu_seconds(converter))
    usleep(700000);
  memory_kb(converter, &rss_end, &peak);
  double cpu_end = cpu_seconds(converter), end_at = seconds_now();
  kill(converter, SIGTERM);
  int status = 0;
  waitpid(converter, &status, 0);
  if (c >= 0) close(c);
  close(listener);
  close(log_pipe[0]);
  kill(generator, SIGTERM);
  waitpid(generator, nullptr, 0);
  long raw_files = 0, epochs = 0, twice = 0;
  folder_files(out_dir, ".crx.gz", &closed, &obs_bytes, "_MO.");
  folder_files(raw_dir, ".raw", &raw_files, &raw_bytes);
  count_epochs(out_dir, &epochs, &twice);
  long hours_closed = hours_with_files();
  peak = peak > peak_killed ? peak : peak_killed;
  cpu_end += cpu_killed;

  double data_hours = days * 24.0;
  printf(
      "\nstation soak: %.1f days of a 1 Hz receiver (30 satellites, 2 signals) through TCP on "
      "127.0.0.1, dropped every %.0f hours of data\n",
      days, drop_hours);
  printf(
      "  %.1f MB sent in %.1f s, %ld drops, %ld kills; %ld hourly files and parts closed (%.1f "
      "MB), %ld of %ld hours with files; %ld raw files holding %lld of %lld bytes sent\n",
      sent / 1e6, end_at - start, drops, kills, closed, obs_bytes / 1e6, hours_closed, hours,
      raw_files, raw_bytes, sent);
  long expected = (long)(days * 86400.0 + 0.5);
  printf("  epochs: %ld of the log's %ld in the files, %ld of them in more than one file\n", epochs,
         expected, twice);
  printf("  resident memory: %ld KB a tenth in, %ld KB at the end, peak %ld KB\n", rss_early,
         rss_end, peak);
  printf(
      "  CPU: %.2f s in all (every run of the converter), %.3f s per hour of data; the "
      "converter kept up at %.0fx real time\n",
      cpu_end, cpu_end / data_hours, data_hours * 3600.0 / (end_at - start));
  remove_folder(out_dir);
  remove_folder(raw_dir);
  unlink(console.c_str());
  return hours_closed == hours && raw_bytes == sent && epochs == expected && twice == 0 ? 0 : 1;
}
