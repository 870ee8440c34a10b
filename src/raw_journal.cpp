// Raw journal files: a pending buffer of the bytes not yet placed, written
// into the open period's file up to each frame's start.
#include "raw_journal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "file_io.h"

namespace {

std::string Dir;
bool On;
FILE* File;
std::string Name;
std::vector<U08> Pending;  // bytes from offset Pending_at on, not yet written
uint64_t Pending_at;
uint64_t Synced_at;  // the bytes on disk at the last sync
bool Failed;

void write_up_to(uint64_t at) {
  if (File == nullptr || at <= Pending_at) return;
  size_t n = (size_t)(at - Pending_at);
  if (n > Pending.size()) n = Pending.size();
  if (fwrite(Pending.data(), 1, n, File) != n && !Failed) {
    printf("Raw journal %s write error: %s\n", Name.c_str(), strerror(errno));
    Failed = true;
  }
  Pending.erase(Pending.begin(), Pending.begin() + (long)n);
  Pending_at += n;
}

void close_file(const std::string& final_name) {
  if (File == nullptr) return;
  if (fclose(File) != 0 && !Failed)
    printf("Raw journal %s write error: %s\n", Name.c_str(), strerror(errno));
  File = nullptr;
  if (!final_name.empty() && Dir + final_name != Name && !File_rename(Name, Dir + final_name))
    printf("Raw journal %s cannot be renamed to %s: %s\n", Name.c_str(), final_name.c_str(),
           strerror(errno));
}

}  // namespace

std::string Journal_start(const std::string& dir) {
  std::string why;
  if (!File_make_folders(dir, &why)) return "Raw folder " + dir + " cannot be created: " + why;
  char last = dir.back();
  Dir = (last == '/' || last == '\\') ? dir : dir + "/";
  On = true;
  Pending.clear();
  Pending_at = 0;
  Failed = false;
  return "";
}

void Journal_take(const U08* bytes, size_t n) {
  if (On) Pending.insert(Pending.end(), bytes, bytes + n);
}

void Journal_frame_at(uint64_t at) {
  if (On) write_up_to(at);
}

void Journal_switch(uint64_t at, const std::string& name, const std::string& closed_name) {
  if (!On) return;
  write_up_to(at);
  close_file(closed_name);
  Name = Dir + name;
  Failed = false;
  Synced_at = Pending_at;
  File = File_open(Name.c_str(), "wb");
  if (File == nullptr) {
    printf("Raw journal %s cannot be created: %s\n", Name.c_str(), strerror(errno));
    Failed = true;
  }
}

void Journal_sync(uint64_t at) {
  if (!On || File == nullptr) return;
  write_up_to(at);
  if (Pending_at == Synced_at) return;  // nothing new since the last sync
  Synced_at = Pending_at;
  if (!File_sync(File) && !Failed) {
    printf("Raw journal %s write error: %s\n", Name.c_str(), strerror(errno));
    Failed = true;
  }
}

void Journal_end_period(uint64_t at, const std::string& closed_name) {
  if (!On) return;
  write_up_to(at);
  close_file(closed_name);
}

void Journal_close(const std::string& closed_name) {
  if (!On) return;
  write_up_to(Pending_at + Pending.size());
  close_file(closed_name);
  On = false;
}
