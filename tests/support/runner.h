// Runs the real program in a fresh temporary directory on a log written
// there, and returns its exit status, console output and both output files.
#ifndef VLN_TEST_RUNNER_H
#define VLN_TEST_RUNNER_H

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "frame_builder.h"

namespace vlntest {

// Whether text holds part; a failure shows both.
::testing::AssertionResult Holds(const std::string& text, const std::string& part);

struct RunResult {
  int status = -1;
  std::string out;  // standard output
  std::string obs;  // observation file, empty if not created
  std::string nav;  // navigation file, empty if not created
  bool obs_exists = false, nav_exists = false;
  double cpu_seconds = 0;  // the program's processor time (user and system), started programs
  std::vector<std::string> files;  // top-level entries of the run directory after the run, sorted
  // Every file below the run directory but the log and the extra files, by
  // path relative to it ('/' separated), text files with LF line ends.
  std::map<std::string, std::string> outputs;
};

// Files (path, content) written into the run directory before the run.
typedef std::vector<std::pair<std::string, std::string>> ExtraFiles;

// The header date every run shows: the runner fixes the clock at SOURCE_DATE_EPOCH 1700000000
// (2023-11-14 22:13:20 UTC) with TZ=UTC, which the 8-hour shift turns into this text.
extern const char* const kRunDate;

// A shell command's console (standard output and error together) and exit status.
struct CommandResult {
  int status = -1;
  std::string out;
};
CommandResult run_command(const std::string& command);

// Within its scope the RINEX files runs write are not checked: the tests of the original writer's
// own habits on broken input (values written as the format prints them, nan and inf included; an
// epoch line whose records were all refused) make files the check rightly faults.
struct RinexFaultsExpected {
  RinexFaultsExpected();
  ~RinexFaultsExpected();
};

// Writes log under log_name (may contain directories) and runs the program with args; the first
// argument is normally log_name. Output names follow log_name. Directories named in make_dirs are
// created in the run directory beforehand. A file_size_limit above 0 caps every file the program
// writes at that many bytes, as a full disk would (writes beyond fail with EFBIG).
RunResult run_program(const std::vector<std::string>& args, const std::string& log_name,
                      const Bytes& log, const std::vector<std::string>& make_dirs = {},
                      long file_size_limit = 0, const ExtraFiles& extra_files = {});

#ifndef _WIN32
// A program running in the background in a run directory of its own, for the
// live sources: its console is read while it runs.
struct Started {
  int pid = -1;
  std::string dir;
  std::string out;
  int out_fd = -1;
  std::thread reader;
  std::mutex out_lock;  // out grows on the reader thread while the program runs
};
// Starts the program with args in a fresh run directory holding files, its standard input from
// stdin_fd (-1: none), its files capped at file_size_limit bytes when above 0.
void start_program(Started* s, const std::vector<std::string>& args, const ExtraFiles& files = {},
                   int stdin_fd = -1, long file_size_limit = 0);
// Waits (up to seconds) until the run directory holds a file whose path
// contains part, under its final name (not .incomplete); false when none came.
bool wait_for_file(const Started& s, const std::string& part, double seconds);
// Waits (up to seconds) until the console so far holds text; false when not.
bool wait_for_output(Started* s, const std::string& text, double seconds);
// Writes bytes from `from` on into fd, at most chunk bytes a write, until one fails.
void write_all(int fd, const Bytes& bytes, size_t from = 0, size_t chunk = SIZE_MAX);
// Sends sig (0: none), waits for the end, and returns what run_program does
// (outputs by path relative to the run directory, without the files given).
RunResult finish_program(Started* s, int sig, const ExtraFiles& files = {});
#endif

// A path in the temporary directory that no other call returns.
std::string temp_path(const std::string& ending);
// Whether run_program can cap file sizes on this platform.
#ifdef _WIN32
constexpr bool kFileSizeLimitSupported = false;
#else
constexpr bool kFileSizeLimitSupported = true;
#endif

// Splits text into lines (line ends dropped).
std::vector<std::string> lines(const std::string& text);
// The first line where got differs from want, or "" when they are the same
// (for texts too long for a test's own comparison to print).
std::string first_difference(const std::string& want, const std::string& got);
std::string read_file(const std::string& path, bool* exists = nullptr);

}  // namespace vlntest

// The first statement of a test that runs the built programs, skipped by a cross build.
#ifdef VLN_TOOLS_RUN_HERE
#define VLN_SKIP_UNLESS_TOOLS_RUN_HERE() (void)0
#else
#define VLN_SKIP_UNLESS_TOOLS_RUN_HERE() GTEST_SKIP() << "the programs run on the build machine"
#endif

#endif
