#include "runner.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vlntest {

const char* const kRunDate = "20231114 141320 UTC ";

std::string read_file(const std::string& path, bool* exists) {
  std::ifstream in(path, std::ios::binary);
  if (exists != nullptr) *exists = in.good();
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : text) {
    if (c == '\n') {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

namespace {

void make_parent_dirs(const std::string& path) {
  for (size_t i = 1; i < path.size(); i++)
    if (path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
}

std::string output_name(const std::string& log_name, const char* ext) {
  size_t dot = log_name.rfind('.');
  std::string base = dot == std::string::npos ? log_name : log_name.substr(0, dot);
  return base + ext;
}

}  // namespace

RunResult run_program(const std::vector<std::string>& args, const std::string& log_name,
                      const Bytes& log, const std::vector<std::string>& make_dirs,
                      long file_size_limit) {
  char dir_template[] = "/tmp/vln_test_XXXXXX";
  std::string dir = mkdtemp(dir_template);
  for (const std::string& d : make_dirs) mkdir((dir + "/" + d).c_str(), 0755);
  if (!log_name.empty()) {
    make_parent_dirs(dir + "/" + log_name);
    std::ofstream(dir + "/" + log_name, std::ios::binary)
        .write(reinterpret_cast<const char*>(log.data()), (std::streamsize)log.size());
  }
  // Standard output comes through a pipe, which no file size limit applies to.
  int out_pipe[2];
  if (pipe(out_pipe) != 0) return RunResult{};
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    dup2(out_pipe[1], 1);
    close(out_pipe[0]);
    close(out_pipe[1]);
    if (file_size_limit > 0) {
      rlimit limit = {(rlim_t)file_size_limit, (rlim_t)file_size_limit};
      setrlimit(RLIMIT_FSIZE, &limit);
      signal(SIGXFSZ, SIG_IGN);
    }
    setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
    setenv("TZ", "UTC", 1);
    std::vector<char*> argv;
    std::string prog = VLN_PROGRAM_PATH;
    argv.push_back(const_cast<char*>(prog.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(prog.c_str(), argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  RunResult r;
  char chunk[1 << 16];
  for (ssize_t n; (n = read(out_pipe[0], chunk, sizeof chunk)) > 0;) r.out.append(chunk, (size_t)n);
  close(out_pipe[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  if (!log_name.empty()) {
    r.obs = read_file(dir + "/" + output_name(log_name, ".obs"), &r.obs_exists);
    r.nav = read_file(dir + "/" + output_name(log_name, ".nav"), &r.nav_exists);
  }
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") r.files.push_back(name);
    }
    closedir(d);
  }
  std::sort(r.files.begin(), r.files.end());
  std::string cleanup = "rm -rf '" + dir + "'";
  if (system(cleanup.c_str()) != 0) perror("cleanup");
  return r;
}

}  // namespace vlntest
