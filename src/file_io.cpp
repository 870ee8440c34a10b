// Files by UTF-8 name. POSIX takes the bytes as they are; Windows gets the
// name as wide characters, with the prefix that lifts the 260-character limit
// on long paths, and tells files apart by volume and file index.
#include "file_io.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstring>
#include <filesystem>

namespace {

#ifdef _WIN32
// A UTF-8 path as the wide-character path Windows opens; a long one gets the
// prefix that lifts the 260-character limit.
std::wstring wide_path(const char* utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring w(n > 0 ? (size_t)n : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &w[0], n);
  w.resize(wcslen(w.c_str()));
  if (w.size() >= MAX_PATH && w.compare(0, 4, L"\\\\?\\") != 0) {
    DWORD len = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    std::wstring full(len, L'\0');
    len = GetFullPathNameW(w.c_str(), len, &full[0], nullptr);
    full.resize(len);
    w = File_extended_path(full);
  }
  return w;
}

// Volume serial number and file index: what identifies a file on Windows.
bool file_identity(const char* path, DWORD* volume, ULONGLONG* index) {
  HANDLE h = CreateFileW(wide_path(path).c_str(), 0,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  BOOL ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  if (!ok) return false;
  *volume = info.dwVolumeSerialNumber;
  *index = ((ULONGLONG)info.nFileIndexHigh << 32) | info.nFileIndexLow;
  return true;
}
#endif

}  // namespace

FILE* File_open(const char* path, const char* mode) {
#ifdef _WIN32
  wchar_t wmode[8];
  size_t i = 0;
  for (; mode[i] != '\0' && i + 1 < sizeof wmode / sizeof wmode[0]; i++)
    wmode[i] = (wchar_t)mode[i];
  wmode[i] = L'\0';
  return _wfopen(wide_path(path).c_str(), wmode);
#else
  return fopen(path, mode);
#endif
}

bool File_sync(FILE* fp) {
  if (fflush(fp) != 0) return false;
#ifdef _WIN32
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(fp)));
  return h != INVALID_HANDLE_VALUE && FlushFileBuffers(h) != 0;
#else
  return fdatasync(fileno(fp)) == 0;
#endif
}

bool File_is_on_disk(FILE* fp) {
#ifdef _WIN32
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(fp)));
  return h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_DISK;
#else
  struct stat st;
  return fstat(fileno(fp), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

FILE* File_temporary() {
#ifdef _WIN32
  // The C library's tmpfile() writes to the root of the drive, which a user
  // may not write to; the user's folder for temporary files is used instead.
  wchar_t dir[MAX_PATH + 1], name[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, dir);
  if (n == 0 || n > MAX_PATH || GetTempFileNameW(dir, L"vln", 0, name) == 0) return nullptr;
  FILE* fp = _wfopen(name, L"w+bD");
  if (fp == nullptr) DeleteFileW(name);
  return fp;
#else
  return tmpfile();
#endif
}

bool File_exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::u8path(path), error);
}

bool File_remove(const std::string& path) {
  std::error_code error;
  return std::filesystem::remove(std::filesystem::u8path(path), error);
}

bool File_truncate(const std::string& path, uint64_t size) {
  std::error_code error;
  std::filesystem::resize_file(std::filesystem::u8path(path), size, error);
  return !error;
}

bool File_rename(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExW(wide_path(from.c_str()).c_str(), wide_path(to.c_str()).c_str(),
                     MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool File_same(const char* a, const std::string& b) {
#ifdef _WIN32
  DWORD a_volume, b_volume;
  ULONGLONG a_index, b_index;
  if (!file_identity(a, &a_volume, &a_index) || !file_identity(b.c_str(), &b_volume, &b_index))
    return false;
  return a_volume == b_volume && a_index == b_index;
#else
  struct stat a_stat;
  struct stat b_stat;
  if (stat(a, &a_stat) != 0 || stat(b.c_str(), &b_stat) != 0) return false;
  return a_stat.st_dev == b_stat.st_dev && a_stat.st_ino == b_stat.st_ino;
#endif
}

bool File_make_folders(const std::string& dir, std::string* why) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::u8path(dir), ec);
  if (ec) *why = ec.message();
  return !ec;
}

std::wstring File_extended_path(const std::wstring& full) {
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

const char* File_separators() {
#ifdef _WIN32
  return "/\\";
#else
  return "/";
#endif
}

std::string File_base_name(const std::string& path) {
  size_t slash = path.find_last_of(File_separators());
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
