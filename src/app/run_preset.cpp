// The converter's presets are vln_rinex's: one table of what each service
// takes and one check of its rules.
#include "app/run_preset.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "presets.h"
#include "rinex_check.h"

namespace fs = std::filesystem;

namespace {

// A file's size and time, so that a file written again is told from one left as it was.
long long stamp(const fs::directory_entry& e) {
  std::error_code ec;
  long long size = (long long)e.file_size(ec);
  long long time = (long long)e.last_write_time(ec).time_since_epoch().count();
  return size * 1000003LL ^ time;
}

bool rinex_name(const std::string& name) {
  for (const char* end : {".obs", ".nav", ".gnav", ".rnx", ".crx", ".gz"})
    if (name.size() > strlen(end) && name.compare(name.size() - strlen(end), strlen(end), end) == 0)
      return name.find(".incomplete") == std::string::npos;
  return name.size() > 4 && name[name.size() - 4] == '.' &&
         std::string("odng").find(name.back()) != std::string::npos;
}

}  // namespace

bool RunPreset::take(std::vector<std::string>* args, std::string* error) {
  for (size_t i = 0; i < args->size(); i++) {
    if ((*args)[i] != "--preset") continue;
    if (i + 1 >= args->size()) {
      *error = "Option --preset: missing value";
      return false;
    }
    name_ = (*args)[i + 1];
    args->erase(args->begin() + (long)i, args->begin() + (long)i + 2);
    std::string nearest;
    if (Preset_find(name_, &nearest) == nullptr) {
      *error = "Option --preset: no preset '" + name_ + "'" +
               (nearest.empty() ? "" : " (did you mean " + nearest + "?)");
      return false;
    }
    return true;
  }
  return true;
}

std::vector<std::string> RunPreset::arguments(const std::vector<std::string>& line) const {
  std::vector<std::string> out;
  if (name_.empty()) return out;
  std::string nearest;
  const Preset& p = *Preset_find(name_, &nearest);
  std::istringstream words(p.options);
  std::string w;
  std::vector<std::string> options;
  while (words >> w) options.push_back(w);
  for (size_t i = 0; i < options.size(); i++) {
    bool has_value = i + 1 < options.size() && options[i + 1].compare(0, 2, "--") != 0;
    bool given = false;
    for (const std::string& a : line) given = given || a == options[i];
    if (!given) {
      out.push_back(options[i]);
      if (has_value) out.push_back(options[i + 1]);
    }
    if (has_value) i++;
  }
  // The systems and signals the service takes: its constellations (when the
  // line names none) and every signal of them.
  bool letters = false, dual = false;
  for (size_t i = 1; i < line.size(); i++) {
    const std::string& a = line[i];
    letters =
        letters || (a.size() == 1 && std::string("GRCJSEAgrcjsea").find(a[0]) != std::string::npos);
    dual = dual || a == "-dual_freq";
  }
  if (!letters)
    for (char sys : std::string(p.systems)) out.push_back(std::string(1, sys));
  if (!dual) out.push_back("-dual_freq");
  // A period of its own file a service's day, hour or quarter hour.
  const std::string period = p.rules.period;
  bool split = false;
  for (const std::string& a : line) split = split || a == "--split";
  if (!split && !period.empty()) {
    out.push_back("--split");
    out.push_back(period == "01D" ? "1d" : period == "01H" ? "1h" : "15m");
  }
  return out;
}

void RunPreset::before(const std::string& folder) {
  folder_ = folder.empty() ? "." : folder;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(fs::u8path(folder_), ec))
    files_[e.path().filename().u8string()] = stamp(e);
}

void RunPreset::after() const {
  if (name_.empty()) return;
  std::string nearest;
  const Preset& p = *Preset_find(name_, &nearest);
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(fs::u8path(folder_), ec)) {
    std::string name = e.path().filename().u8string();
    auto was = files_.find(name);
    if (!e.is_regular_file() || !rinex_name(name) ||
        (was != files_.end() && was->second == stamp(e)))
      continue;
    CheckReport r = Check_file(e.path().u8string(), p.rules, {});
    for (const CheckFinding& f : r.findings)
      printf("preset %s: %s%s: %s\n", p.name, e.path().u8string().c_str(),
             f.line > 0 ? (":" + std::to_string(f.line)).c_str() : "", f.text.c_str());
  }
  fflush(stdout);
}
