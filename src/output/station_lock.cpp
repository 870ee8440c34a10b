// The station lock: flock on POSIX, LockFileEx on Windows (on a byte far
// beyond the process ID the file holds, so that a second run can still read
// who holds it). A holder removes the file when it lets go; one that opened
// the file just before it was removed sees that it holds a lock on a file
// that is gone, and opens it again.
#include "output/station_lock.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>

#include "file_io.h"

namespace {

constexpr int kAttempts = 3;  // a file removed by its holder between our open and lock

std::string in_use(const std::string& station, const std::string& folder, const std::string& path,
                   const std::string& holder) {
  std::string pid = holder.substr(0, holder.find_first_not_of("0123456789"));
  return "Station " + station + " is being written into " + (folder.empty() ? "." : folder) +
         " by process " + (pid.empty() ? "(unknown)" : pid) + " (" + path +
         "): one run per station and folder";
}

std::string cannot_write(const std::string& folder, const std::string& why) {
  return "Output folder " + (folder.empty() ? std::string(".") : folder) +
         " cannot be written: " + why;
}

#ifdef _WIN32
std::wstring wide(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring w(n > 0 ? (size_t)n : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &w[0], n);
  w.resize(wcslen(w.c_str()));
  return w;
}
constexpr DWORD kLockedByte = 0x7fffffff;
#endif

}  // namespace

std::string StationLock::take(const std::string& folder, const std::string& station) {
  std::string why;
  if (!folder.empty() && !File_make_folders(folder, &why)) return cannot_write(folder, why);
  char last = folder.empty() ? '/' : folder.back();
  path_ =
      (folder.empty() ? "" : folder + (last == '/' || last == '\\' ? "" : "/")) + station + ".lock";
  std::string pid = std::to_string(
#ifdef _WIN32
      (unsigned long)GetCurrentProcessId()
#else
      (long)getpid()
#endif
  );
  pid += "\n";
#ifdef _WIN32
  HANDLE h = CreateFileW(wide(path_).c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return cannot_write(folder, "the lock file cannot be created");
  OVERLAPPED at = {};
  at.Offset = kLockedByte;
  if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    char text[32] = "";
    DWORD got = 0;
    ReadFile(h, text, sizeof text - 1, &got, nullptr);
    CloseHandle(h);
    return in_use(station, folder, path_, std::string(text, got));
  }
  DWORD put = 0;
  SetFilePointer(h, 0, nullptr, FILE_BEGIN);
  if (!WriteFile(h, pid.data(), (DWORD)pid.size(), &put, nullptr) || !SetEndOfFile(h)) {
    CloseHandle(h);
    return cannot_write(folder, "the lock file cannot be written");
  }
  handle_ = h;
  return "";
#else
  for (int attempt = 0; attempt < kAttempts; attempt++) {
    int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return cannot_write(folder, strerror(errno));
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int error = errno;
      char text[32] = "";
      ssize_t got = read(fd, text, sizeof text - 1);
      close(fd);
      if (error != EWOULDBLOCK) return cannot_write(folder, strerror(error));
      return in_use(station, folder, path_, std::string(text, got > 0 ? (size_t)got : 0));
    }
    struct stat held, named;
    if (fstat(fd, &held) != 0 || stat(path_.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
        held.st_dev != named.st_dev) {
      close(fd);  // its holder removed it meanwhile
      continue;
    }
    if (ftruncate(fd, 0) != 0 || write(fd, pid.data(), pid.size()) != (ssize_t)pid.size()) {
      int error = errno;
      close(fd);
      return cannot_write(folder, strerror(error));
    }
    fd_ = fd;
    return "";
  }
  return cannot_write(folder, "the lock file keeps being removed");
#endif
}

void StationLock::release() {
#ifdef _WIN32
  if (handle_ == nullptr) return;
  CloseHandle(static_cast<HANDLE>(handle_));
  DeleteFileW(wide(path_).c_str());
  handle_ = nullptr;
#else
  if (fd_ < 0) return;
  unlink(path_.c_str());
  close(fd_);
  fd_ = -1;
#endif
}
