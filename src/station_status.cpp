// Closed periods reported: console line and status file.
#include "station_status.h"

#include <cstdio>
#include <ctime>
#include <deque>
#include <filesystem>
#include <mutex>

#include "creation_date.h"
#include "file_io.h"

namespace {

struct ClosedFiles {
  std::string obs, nav;
  bool complete;
};

// A closed period as the status file lists it.
struct ClosedPeriod {
  PeriodFacts facts;
  std::string obs;
  bool complete;
};
constexpr size_t kListedPeriods = 24;  // the closed periods the status file lists, newest last
constexpr time_t kStatusEvery = 60;    // seconds between status files while a period is open

bool Active;  // a live source's run: only it reports
std::string Source;
std::string Status_file;
bool Connected;
long Periods;
std::deque<PeriodFacts> Facts;  // converting thread only
std::mutex Lock;
std::deque<ClosedFiles> Files;  // filled by the writer thread
// What the status file shows besides: the last closed period in full, the
// closed periods of the run, the open one, and when the file was last written.
bool Has_last;
PeriodFacts Last_facts;
ClosedFiles Last_files;
long long Last_obs_bytes, Last_nav_bytes;
std::deque<ClosedPeriod> Listed;
OpenPeriod Open;
time_t Written_at;

long long size_of(const std::string& path) {
  std::error_code error;
  auto n = std::filesystem::file_size(std::filesystem::u8path(path), error);
  return error ? -1 : (long long)n;
}

std::string json_text(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    unsigned char u = (unsigned char)c;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escape[8];
      snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string utc_now() { return Utc_now_text("%Y-%m-%dT%H:%M:%SZ"); }

std::string last_period_text() {
  if (!Has_last) return "null";
  const PeriodFacts& f = Last_facts;
  const ClosedFiles& c = Last_files;
  char numbers[320];
  snprintf(numbers, sizeof numbers,
           "\"epochs\": %ld, \"expected_epochs\": %ld, \"satellites\": %d, \"gaps\": %d, "
           "\"obs_bytes\": %lld, \"nav_bytes\": %lld, \"complete\": %s",
           f.epochs, f.expected, f.satellites, f.gaps, Last_obs_bytes, Last_nav_bytes,
           c.complete && f.reached_end ? "true" : "false");
  return "{\"start\": " + json_text(f.start) + ", \"obs\": " + json_text(c.obs) +
         ", \"nav\": " + json_text(c.nav) + ", \"last_epoch\": " + json_text(f.last_epoch) + ", " +
         numbers + "}";
}

std::string open_period_text() {
  if (!Open.open) return "null";
  return "{\"start\": " + json_text(Open.start) + ", \"obs\": " + json_text(Open.obs) +
         ", \"epochs\": " + std::to_string(Open.epochs) +
         ", \"last_epoch\": " + json_text(Open.last_epoch) + "}";
}

std::string periods_text() {
  std::string text = "[";
  for (const ClosedPeriod& p : Listed) {
    char numbers[160];
    snprintf(numbers, sizeof numbers,
             "\"epochs\": %ld, \"expected_epochs\": %ld, \"gaps\": %d, \"complete\": %s",
             p.facts.epochs, p.facts.expected, p.facts.gaps, p.complete ? "true" : "false");
    text += std::string(text.size() > 1 ? ",\n    " : "\n    ") +
            "{\"start\": " + json_text(p.facts.start) + ", \"obs\": " + json_text(p.obs) + ", " +
            numbers + "}";
  }
  return text + (Listed.empty() ? "]" : "\n  ]");
}

// Written beside its final name and renamed over it: a reader never sees half a file.
void write_status() {
  Written_at = time(nullptr);
  if (Status_file.empty()) return;
  std::string text = "{\n  \"updated\": " + json_text(utc_now()) +
                     ",\n  \"source\": " + json_text(Source) +
                     ",\n  \"connected\": " + (Connected ? "true" : "false") +
                     ",\n  \"periods_written\": " + std::to_string(Periods) +
                     ",\n  \"open_period\": " + open_period_text() +
                     ",\n  \"last_period\": " + last_period_text() +
                     ",\n  \"periods\": " + periods_text() + "\n}\n";
  std::string temporary = Status_file + ".new";
  FILE* out = File_open(temporary.c_str(), "wb");
  bool ok = out != nullptr && fwrite(text.data(), 1, text.size(), out) == text.size();
  if (out != nullptr) ok = fclose(out) == 0 && ok;
  if (!ok || !File_rename(temporary, Status_file))
    printf("Status file %s cannot be written\n", Status_file.c_str());
}

}  // namespace

void Station_start(const std::string& source, const std::string& status_file) {
  Active = true;
  Source = source;
  Status_file = status_file;
  Connected = false;
  Periods = 0;
  Facts.clear();
  Has_last = false;
  Listed.clear();
  Open = OpenPeriod{};
  Written_at = 0;
  std::lock_guard<std::mutex> hold(Lock);
  Files.clear();
}

void Station_period_closed(const PeriodFacts& facts) {
  if (Active) Facts.push_back(facts);
}

void Station_files_closed(const std::string& obs, const std::string& nav, bool complete) {
  if (!Active) return;
  std::lock_guard<std::mutex> hold(Lock);
  Files.push_back(ClosedFiles{obs, nav, complete});
}

void Station_connected(bool connected) { Connected = connected; }

void Station_progress(const OpenPeriod& open) {
  if (!Active) return;
  Open = open;
  if (time(nullptr) - Written_at >= kStatusEvery) write_status();
}

void Station_report() {
  for (;;) {
    ClosedFiles c;
    {
      std::lock_guard<std::mutex> hold(Lock);
      if (Files.empty() || Facts.empty()) return;
      c = Files.front();
      Files.pop_front();
    }
    PeriodFacts f = Facts.front();
    Facts.pop_front();
    if (c.complete) Periods++;
    long long obs_bytes = size_of(c.obs), nav_bytes = size_of(c.nav);
    std::string nav = c.nav.empty() ? "no navigation file"
                                    : "navigation " + File_base_name(c.nav) + ", " +
                                          std::to_string(nav_bytes) + " bytes";
    printf("Period %s: %s, %ld epochs, %d satellites, %d gaps, %lld bytes (%s)%s\n",
           f.start.c_str(), File_base_name(c.obs).c_str(), f.epochs, f.satellites, f.gaps,
           obs_bytes, nav.c_str(), c.complete ? "" : ": incomplete");
    fflush(stdout);
    Has_last = true;
    Last_facts = f;
    Last_files = c;
    Last_obs_bytes = obs_bytes;
    Last_nav_bytes = nav_bytes;
    Listed.push_back(ClosedPeriod{f, c.obs, c.complete && f.reached_end});
    if (Listed.size() > kListedPeriods) Listed.pop_front();
    write_status();
  }
}
