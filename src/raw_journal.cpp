// Raw journal files: a pending buffer of the bytes not yet placed, written
// into the open period's file up to each frame's start.
#include "raw_journal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "file_io.h"

// The journal's folder, its open file and the bytes not yet placed.
struct RawJournal::State {
  std::string Dir;
  bool On = false;
  FILE* File = nullptr;
  std::string Name;
  std::vector<U08> Pending;  // bytes from offset Pending_at on, not yet written
  uint64_t Pending_at = 0;
  uint64_t Synced_at = 0;  // the bytes on disk at the last sync
  bool Failed = false;

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
};

RawJournal::RawJournal() : s_(new State) {}
RawJournal::~RawJournal() = default;

std::string RawJournal::start(const std::string& dir) {
  std::string why;
  if (!File_make_folders(dir, &why)) return "Raw folder " + dir + " cannot be created: " + why;
  char last = dir.back();
  s_->Dir = (last == '/' || last == '\\') ? dir : dir + "/";
  s_->On = true;
  s_->Pending.clear();
  s_->Pending_at = 0;
  s_->Failed = false;
  return "";
}

void RawJournal::take(const U08* bytes, size_t n) {
  if (s_->On) s_->Pending.insert(s_->Pending.end(), bytes, bytes + n);
}

void RawJournal::frame_at(uint64_t at) {
  if (s_->On) s_->write_up_to(at);
}

void RawJournal::switch_to(uint64_t at, const std::string& name, const std::string& closed_name) {
  if (!s_->On) return;
  s_->write_up_to(at);
  s_->close_file(closed_name);
  s_->Name = s_->Dir + name;
  s_->Failed = false;
  s_->Synced_at = s_->Pending_at;
  s_->File = File_open(s_->Name.c_str(), "wb");
  if (s_->File == nullptr) {
    printf("Raw journal %s cannot be created: %s\n", s_->Name.c_str(), strerror(errno));
    s_->Failed = true;
  }
}

void RawJournal::sync(uint64_t at) {
  if (!s_->On || s_->File == nullptr) return;
  s_->write_up_to(at);
  if (s_->Pending_at == s_->Synced_at) return;  // nothing new since the last sync
  s_->Synced_at = s_->Pending_at;
  if (!File_sync(s_->File) && !s_->Failed) {
    printf("Raw journal %s write error: %s\n", s_->Name.c_str(), strerror(errno));
    s_->Failed = true;
  }
}

void RawJournal::end_period(uint64_t at, const std::string& closed_name) {
  if (!s_->On) return;
  s_->write_up_to(at);
  s_->close_file(closed_name);
}

void RawJournal::close(const std::string& closed_name) {
  if (!s_->On) return;
  s_->write_up_to(s_->Pending_at + s_->Pending.size());
  s_->close_file(closed_name);
  s_->On = false;
}
