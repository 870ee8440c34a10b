#include "runner.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "rinex_check.h"

namespace fs = std::filesystem;

namespace vlntest {

::testing::AssertionResult Holds(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

const char* const kRunDate = "20231114 141320 UTC ";

std::string read_file(const std::string& path, bool* exists) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  if (exists != nullptr) *exists = in.good();
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string temp_path(const std::string& ending) {
  static std::atomic<int> counter{0};
  std::string name =
      "vln_test_" +
      std::to_string((long long)fs::file_time_type::clock::now().time_since_epoch().count()) + "_" +
      std::to_string(counter++) + ending;
  return (fs::temp_directory_path() / name).u8string();
}

namespace {

#ifndef _WIN32
// The program's command line and environment (the fixed clock and zone of every run), made before
// fork: a child of a process with threads may only make async-signal-safe calls, and an allocation
// there can wait forever on a lock another thread held at the fork.
struct Exec {
  std::vector<std::string> words, env;
  std::vector<char*> argv, envp;
};
void prepare_exec(const std::vector<std::string>& args, Exec* e) {
#ifdef VLN_PROGRAM_EMULATOR
  std::istringstream emulator(VLN_PROGRAM_EMULATOR);  // one word a line
  for (std::string w; std::getline(emulator, w);) e->words.push_back(w);
#endif
  e->words.push_back(VLN_PROGRAM_PATH);
  e->words.insert(e->words.end(), args.begin(), args.end());
  for (char** v = environ; *v != nullptr; v++)
    if (strncmp(*v, "SOURCE_DATE_EPOCH=", 18) != 0 && strncmp(*v, "TZ=", 3) != 0)
      e->env.push_back(*v);
  e->env.push_back("SOURCE_DATE_EPOCH=1700000000");
  e->env.push_back("TZ=UTC");
  for (std::string& w : e->words) e->argv.push_back(&w[0]);
  e->argv.push_back(nullptr);
  for (std::string& v : e->env) e->envp.push_back(&v[0]);
  e->envp.push_back(nullptr);
}
// In a child: the program (through the emulator of a cross build) in dir,
// its output into the pipe, its input from stdin_fd if given; never returns.
[[noreturn]] void exec_program(const Exec& e, const std::string& dir, const int out_pipe[2],
                               int stdin_fd, long file_size_limit) {
  if (chdir(dir.c_str()) != 0) _exit(126);
  dup2(out_pipe[1], 1);
  close(out_pipe[0]);
  close(out_pipe[1]);
  if (stdin_fd >= 0) {
    dup2(stdin_fd, 0);
    close(stdin_fd);
  } else {
    close(0);  // as when started with input closed (<&-): its first file takes descriptor 0
  }
  if (file_size_limit > 0) {
    rlimit limit = {(rlim_t)file_size_limit, (rlim_t)file_size_limit};
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, SIG_IGN);
  }
  execvpe(e.argv[0], e.argv.data(), e.envp.data());
  _exit(127);
}
#endif

std::string output_name(const std::string& log_name, const char* ext) {
  size_t dot = log_name.rfind('.');
  std::string base = dot == std::string::npos ? log_name : log_name.substr(0, dot);
  return base + ext;
}

#ifdef _WIN32
// Text-mode files and the console write each line end as CR LF on Windows:
// every line end must be one, and the text is compared as LF after that.
std::string from_crlf(const std::string& text, bool* all_crlf) {
  std::string out;
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) *all_crlf = false;
    out += text[i];
  }
  return out;
}

std::wstring wide(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring w((size_t)n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &w[0], n);
  w.resize(wcslen(w.c_str()));
  return w;
}

// Runs the program in dir with stdout into a pipe; returns the exit code and the output.
int spawn(const std::vector<std::string>& args, const std::string& dir, long, std::string* out) {
  std::wstring cmd = L"\"" + wide(VLN_PROGRAM_PATH) + L"\"";
  for (const std::string& a : args) {
    std::wstring w = wide(a), quoted = L" \"";
    for (wchar_t c : w) {
      if (c == L'"') quoted += L'\\';
      quoted += c;
    }
    cmd += quoted + L"\"";
  }
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE read_end, write_end;
  if (!CreatePipe(&read_end, &write_end, &sa, 0)) return -1;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  SetEnvironmentVariableW(L"SOURCE_DATE_EPOCH", L"1700000000");
  SetEnvironmentVariableW(L"TZ", L"UTC");
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write_end;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi = {};
  std::wstring wdir = wide(dir);
  BOOL ok =
      CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, wdir.c_str(), &si, &pi);
  CloseHandle(write_end);
  if (!ok) {
    CloseHandle(read_end);
    return -1;
  }
  char chunk[1 << 16];
  DWORD n = 0;
  while (ReadFile(read_end, chunk, sizeof chunk, &n, nullptr) && n > 0) out->append(chunk, n);
  CloseHandle(read_end);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return (int)code;
}
#else
int spawn(const std::vector<std::string>& args, const std::string& dir, long file_size_limit,
          std::string* out) {
  // Standard output comes through a pipe, which no file size limit applies to.
  int out_pipe[2];
  Exec e;
  prepare_exec(args, &e);
  if (pipe(out_pipe) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) exec_program(e, dir, out_pipe, -1, file_size_limit);
  close(out_pipe[1]);
  char chunk[1 << 16];
  for (ssize_t n; (n = read(out_pipe[0], chunk, sizeof chunk)) > 0;) out->append(chunk, (size_t)n);
  close(out_pipe[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}
#endif

}  // namespace

namespace {
void collect(const std::string& dir, const std::string& log_name, const ExtraFiles& extra_files,
             RunResult* result);
}  // namespace

RunResult run_program(const std::vector<std::string>& args, const std::string& log_name,
                      const Bytes& log, const std::vector<std::string>& make_dirs,
                      long file_size_limit, const ExtraFiles& extra_files) {
  std::string dir = temp_path("");
  fs::create_directories(fs::u8path(dir));
  for (const std::string& d : make_dirs) fs::create_directories(fs::u8path(dir + "/" + d));
  if (!log_name.empty()) {
    fs::path log_path = fs::u8path(dir + "/" + log_name);
    fs::create_directories(log_path.parent_path());
    std::ofstream(log_path, std::ios::binary)
        .write(reinterpret_cast<const char*>(log.data()), (std::streamsize)log.size());
  }
  for (const auto& f : extra_files)
    std::ofstream(fs::u8path(dir + "/" + f.first), std::ios::binary) << f.second;
  RunResult r;
  r.status = spawn(args, dir, file_size_limit, &r.out);
  collect(dir, log_name, extra_files, &r);
  return r;
}

namespace {

// Every RINEX file a run wrote passes vln_rinex's check without an error, so
// that a writer's defect shows in the test of the run that made it.
int Faults_expected = 0;

void expect_valid_rinex(const std::string& path, const std::string& name) {
  if (Faults_expected > 0) return;
  static const char* const kEndings[] = {".obs", ".nav", ".gnav", ".rnx", ".crx",
                                         ".gz",  "o",    "d",     "n",    "g"};
  if (name.find(".incomplete") != std::string::npos || name.find(".raw") != std::string::npos ||
      name.find(".json") != std::string::npos || name.find(".lock") != std::string::npos)
    return;
  bool rinex = false;
  for (const char* e : kEndings) {
    size_t n = strlen(e);
    bool short_name = n == 1 && name.size() > 4 && name[name.size() - 4] == '.';
    rinex = rinex ||
            ((n > 1 || short_name) && name.size() > n && name.compare(name.size() - n, n, e) == 0);
  }
  if (!rinex) return;
  CheckReport c = Check_file(path, CheckRules{}, {});
  for (const CheckFinding& f : c.findings)
    if (f.error) ADD_FAILURE() << name << ":" << f.line << ": " << f.text;
}

}  // namespace

std::string first_difference(const std::string& want, const std::string& got) {
  auto w = lines(want), g = lines(got);
  for (size_t i = 0; i < std::max(w.size(), g.size()); i++)
    if (i >= w.size() || i >= g.size() || w[i] != g[i])
      return "line " + std::to_string(i + 1) + ": want '" + (i < w.size() ? w[i] : "") +
             "', got '" + (i < g.size() ? g[i] : "") + "'";
  return "";
}

CommandResult run_command(const std::string& command) {
  CommandResult r;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return r;
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, p)) > 0;) r.out.append(chunk, n);
  int status = pclose(p);
#ifdef _WIN32
  r.status = status;
#else
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return r;
}

RinexFaultsExpected::RinexFaultsExpected() { Faults_expected++; }
RinexFaultsExpected::~RinexFaultsExpected() { Faults_expected--; }

namespace {

// The outputs of a finished run (text with LF line ends), then the run directory is removed.
void collect(const std::string& dir, const std::string& log_name, const ExtraFiles& extra_files,
             RunResult* result) {
  RunResult& r = *result;
  if (!log_name.empty()) {
    r.obs = read_file(dir + "/" + output_name(log_name, ".obs"), &r.obs_exists);
    r.nav = read_file(dir + "/" + output_name(log_name, ".nav"), &r.nav_exists);
  }
#ifdef _WIN32
  bool crlf = true;
#endif
  std::error_code walk_ec;
  for (fs::recursive_directory_iterator it(fs::u8path(dir), walk_ec), end; !walk_ec && it != end;
       it.increment(walk_ec)) {
    std::string name = it->path().lexically_relative(fs::u8path(dir)).generic_u8string();
    bool extra = std::any_of(extra_files.begin(), extra_files.end(),
                             [&](const auto& f) { return f.first == name; });
    if (!it->is_regular_file() || name == log_name || extra) continue;
    r.outputs[name] = read_file(it->path().u8string());
    expect_valid_rinex(it->path().u8string(), name);
#ifdef _WIN32
    // Compressed files are archives with LF line ends on every platform.
    if (name.size() < 3 || name.compare(name.size() - 3, 3, ".gz") != 0)
      r.outputs[name] = from_crlf(r.outputs[name], &crlf);
#endif
  }
#ifdef _WIN32
  r.out = from_crlf(r.out, &crlf);
  r.obs = from_crlf(r.obs, &crlf);
  r.nav = from_crlf(r.nav, &crlf);
  if (!crlf) ADD_FAILURE() << "a line end of the console or an output file is not CR LF";
#endif
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(fs::u8path(dir), ec))
    r.files.push_back(e.path().filename().u8string());
  std::sort(r.files.begin(), r.files.end());
  fs::remove_all(fs::u8path(dir), ec);
}

}  // namespace

#ifndef _WIN32
void start_program(Started* s, const std::vector<std::string>& args, const ExtraFiles& files,
                   int stdin_fd, long file_size_limit) {
  s->dir = temp_path("");
  fs::create_directories(fs::u8path(s->dir));
  for (const auto& f : files)
    std::ofstream(fs::u8path(s->dir + "/" + f.first), std::ios::binary) << f.second;
  int out_pipe[2];
  Exec e;
  prepare_exec(args, &e);
  if (pipe2(out_pipe, O_CLOEXEC) != 0) return;  // no other child keeps it open
  pid_t pid = fork();
  if (pid == 0) exec_program(e, s->dir, out_pipe, stdin_fd, file_size_limit);
  close(out_pipe[1]);
  s->pid = pid;
  s->out_fd = out_pipe[0];
  s->reader = std::thread([s] {
    char chunk[1 << 14];
    for (ssize_t n; (n = read(s->out_fd, chunk, sizeof chunk)) > 0;) {
      std::lock_guard<std::mutex> hold(s->out_lock);
      s->out.append(chunk, (size_t)n);
    }
  });
}

void write_all(int fd, const Bytes& bytes, size_t from, size_t chunk) {
  for (size_t at = from; at < bytes.size();) {
    ssize_t n = write(fd, bytes.data() + at, std::min(chunk, bytes.size() - at));
    if (n <= 0) return;
    at += (size_t)n;
  }
}

bool wait_for_output(Started* s, const std::string& text, double seconds) {
  for (int i = 0; i < (int)(seconds * 20); i++) {
    {
      std::lock_guard<std::mutex> hold(s->out_lock);
      if (s->out.find(text) != std::string::npos) return true;
    }
    usleep(50000);
  }
  return false;
}

bool wait_for_file(const Started& s, const std::string& part, double seconds) {
  for (int i = 0; i < (int)(seconds * 20); i++) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(fs::u8path(s.dir), ec), end; !ec && it != end;
         it.increment(ec))
      if (it->path().generic_u8string().find(part) != std::string::npos &&
          it->path().extension() != ".incomplete")
        return true;
    usleep(50000);
  }
  return false;
}

RunResult finish_program(Started* s, int sig, const ExtraFiles& files) {
  RunResult r;
  if (s->pid <= 0) return r;
  if (sig != 0) kill(s->pid, sig);
  int wstatus = 0;
  rusage usage = {};
  wait4(s->pid, &wstatus, 0, &usage);
  r.cpu_seconds = (double)(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  (double)(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  s->reader.join();
  close(s->out_fd);
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  r.out = s->out;
  collect(s->dir, "", files, &r);
  return r;
}
#endif

}  // namespace vlntest
