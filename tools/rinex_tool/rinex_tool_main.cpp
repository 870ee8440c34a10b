// vln_rinex splice|convert|check: RINEX files of any maker joined, converted
// between versions, thinned and cut, their headers set from a station file,
// and checked against the RINEX documents and a service's rules.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "presets.h"
#include "rinex_check.h"
#include "settings.h"
#include "splice.h"

namespace {

constexpr int kUsageStatus = 2;

const char kUsage[] =
    "usage: vln_rinex splice FILE... -o OUT [options]\n"
    "       vln_rinex convert FILE -o OUT --rinex-version V [options]\n"
    "       vln_rinex check FILE... [--preset NAME] [--station-file F] [--json F]\n"
    "  splice   joins observation files of one station (hourly files, .partN parts,\n"
    "           overlapping files) in time order, each epoch once; navigation files\n"
    "           into one, each record once\n"
    "  convert  one file into another RINEX version (2.11, 3.02-3.05, 4.00), every\n"
    "           code the version has a place for kept\n"
    "  check    reports each fault with its line; status 0 clean, 1 warnings only, 2\n"
    "           errors\n"
    "options of splice and convert:\n"
    "  -o OUT               the file to write (or --long-names for the standard name)\n"
    "  --rinex-version V    2.11, 3.02, 3.03, 3.04, 3.05 or 4.00 (default: the first\n"
    "                       file's)\n"
    "  --interval S         keep the epochs on whole multiples of S seconds\n"
    "  --start T, --end T   keep the epochs from T on, before T (YYYY-MM-DD HH:MM:SS)\n"
    "  --systems LETTERS    keep these systems (GRECJSI)\n"
    "  --types CODES        keep these codes (C1C,L1C,C2W,L2W)\n"
    "  --station-file F     marker, receiver, antenna, radome, delta and position from\n"
    "                       the converter's station file\n"
    "  --long-names, --station-id ID, --crx, --gzip, --output-dir DIR\n"
    "                       names and packing as the converter gives them\n"
    "  --preset NAME        a service's settings, and its check of what was written:\n"
    "                       igs-daily igs-hourly igs-highrate epn opus auspos csrs rtx\n"
    "  --help               this text\n";

int usage(const std::string& why) {
  fprintf(stderr, "vln_rinex: %s\n%s", why.c_str(), kUsage);
  return kUsageStatus;
}

std::vector<std::string> split(const std::string& s, char by) {
  std::vector<std::string> out;
  std::stringstream in(s);
  std::string item;
  while (std::getline(in, item, by))
    if (!item.empty()) out.push_back(item);
  return out;
}

// A preset's settings and lists applied, unless the command line gives them.
std::string apply_preset(const Preset& p, SpliceOptions* o, const std::vector<bool>& given) {
  std::vector<std::string> words = split(p.options, ' ');
  for (size_t i = 0; i < words.size(); i++) {
    int id = Settings_find(words[i].c_str() + 2);
    if (id < 0 || given[(size_t)id]) {
      if (id >= 0 && !Settings_is_switch(id)) i++;
      continue;
    }
    std::string value = Settings_is_switch(id) ? "yes" : words[++i];
    std::string why = Settings_apply(&o->settings, id, value);
    if (!why.empty()) return why;
  }
  if (o->systems.empty()) o->systems = p.systems;
  if (o->types.empty()) o->types = split(p.types, ',');
  return "";
}

std::map<std::string, std::string> station_settings(const Settings& s) {
  std::map<std::string, std::string> out;
  for (int id = 0; id < SET_COUNT; id++)
    if (s.given[id] && id != SET_STATION_FILE) out[Settings_name(id)] = s.text[id];
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage("a command is needed: splice, convert or check");
  std::string command = argv[1];
  if (command == "--help" || command == "-h") {
    fputs(kUsage, stdout);
    return 0;
  }
  if (command != "splice" && command != "convert" && command != "check")
    return usage("unknown command '" + command + "'");
  SpliceOptions o;
  o.program = std::string("vln_rinex ") + VLN_VERSION;
  std::string preset_name, json;
  std::vector<bool> given(SET_COUNT, false);
  for (int i = 2; i < argc; i++) {
    std::string a = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    if (a == "--help" || a == "-h") {
      fputs(kUsage, stdout);
      return 0;
    } else if (a == "-o") {
      if (!value(&o.output)) return usage("-o needs a file");
    } else if (a == "--systems") {
      if (!value(&o.systems)) return usage("--systems needs letters");
    } else if (a == "--types") {
      std::string v;
      if (!value(&v)) return usage("--types needs codes");
      o.types = split(v, ',');
    } else if (a == "--preset") {
      if (!value(&preset_name)) return usage("--preset needs a name");
    } else if (a == "--json") {
      if (!value(&json)) return usage("--json needs a file");
    } else if (a.compare(0, 2, "--") == 0) {
      int id = Settings_find(a.c_str() + 2);
      if (id < 0) {
        std::string near = Settings_nearest(a.substr(2));
        return usage("unknown option " + a +
                     (near.empty() ? "" : " (did you mean --" + near + "?)"));
      }
      std::string v = "yes";
      if (!Settings_is_switch(id) && !value(&v)) return usage(a + " needs a value");
      std::string why = Settings_apply(&o.settings, id, v);
      if (!why.empty()) return usage(why);
      given[(size_t)id] = true;
    } else {
      o.inputs.push_back(a);
    }
  }
  const Preset* preset = nullptr;
  if (!preset_name.empty()) {
    std::string nearest;
    preset = Preset_find(preset_name, &nearest);
    if (preset == nullptr) {
      fprintf(stderr, "vln_rinex: no preset '%s'%s\n", preset_name.c_str(),
              nearest.empty() ? "" : (": did you mean " + nearest + "?").c_str());
      return kUsageStatus;
    }
  }
  if (o.inputs.empty()) return usage("no input file");
  if (command == "check") {
    CheckRules rules = preset != nullptr ? preset->rules : CheckRules{};
    std::map<std::string, std::string> station = station_settings(o.settings);
    std::vector<CheckReport> reports;
    int status = 0;
    for (const std::string& f : o.inputs) {
      reports.push_back(Check_file(f, rules, station));
      fputs(Check_text(reports.back()).c_str(), stdout);
      status = std::max(status, reports.back().status());
    }
    if (!json.empty()) {
      FILE* out = fopen(json.c_str(), "wb");
      std::string text = Check_json(reports);
      if (out == nullptr || fwrite(text.data(), 1, text.size(), out) != text.size()) {
        fprintf(stderr, "vln_rinex: %s cannot be written: %s\n", json.c_str(), strerror(errno));
        if (out != nullptr) fclose(out);
        return 2;
      }
      fclose(out);
    }
    return status;
  }
  if (command == "convert" && o.inputs.size() != 1)
    return usage("convert takes one file (splice joins several)");
  if (o.output.empty() && !o.settings.long_names && o.settings.rinex_version != 211 &&
      preset == nullptr)
    return usage("-o OUT is needed (or --long-names for the standard name)");
  if (preset != nullptr) {
    std::string why = apply_preset(*preset, &o, given);
    if (!why.empty()) return usage(why);
  }
  SpliceResult r = Splice_run(o);
  for (const std::string& line : r.console) puts(line.c_str());
  if (r.status != 0) return r.status;
  if (preset != nullptr)  // the service's rules on what was written: warnings only
    for (const std::string& f : r.written) {
      CheckReport c = Check_file(f, preset->rules, station_settings(o.settings));
      for (const CheckFinding& k : c.findings)
        printf("preset %s: %s%s: %s\n", preset->name, f.c_str(),
               k.line > 0 ? (":" + std::to_string(k.line)).c_str() : "", k.text.c_str());
    }
  return 0;
}
