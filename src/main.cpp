// vln_raw_to_rinex: converts a receiver's binary log into a RINEX 3.02
// observation file and navigation file. Reads the command line, opens the
// files, writes provisional headers, runs one pass over the log and then
// rewrites both headers in place.
#include "main.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first
#include <shellapi.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/run_preset.h"
#include "const.h"
#include "epoch_select.h"
#include "file_io.h"
#include "output/recovery.h"
#include "output/station_lock.h"
#include "rinex_config.h"
#include "rinex_files.h"
#include "rinex_names.h"
#include "run_stop.h"
#include "settings.h"
#include "source/byte_source.h"

namespace {

// get_main_parameter's answer for a bad long option or station file, which is
// also the exit status: nothing was opened.
constexpr S16 kStopBadSettings = 3;
constexpr size_t kRawBufferSize = 1 << 20;
constexpr size_t kConsoleBufferSize = 1 << 14;
// The progress line is printed after every frame: through a buffer a console
// costs what a file costs (an unbuffered Windows console takes one system call
// per line). Standard output keeps it until the process ends; the raw file,
// its buffer, until it is closed, whenever that is.
char Console_buffer[kConsoleBufferSize];
char Raw_stream_buffer[kRawBufferSize];

// What a run holds from the command line to its end: the raw file (or the
// live source its reading thread opens), the station's lock, the output files.
struct MainRun {
  FILE* Fp_raw = nullptr;
  SourceAddress Source;
  // A station's run (a live source, or periods) holds its station's lock in its output folder.
  StationLock Lock;
  FileSet files;
};

#ifdef _WIN32
// The command line as UTF-8, whatever the console's code page, so that any
// file name reaches the program intact.
void utf8_arguments(int* argc, char*** argv) {
  static std::vector<std::string> text;
  static std::vector<char*> pointers;
  int n = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (wide == nullptr) return;
  for (int i = 0; i < n; i++) {
    int len = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(len > 0 ? (size_t)len : 1, '\0');
    if (len > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &arg[0], len, nullptr, nullptr);
    arg.resize(strlen(arg.c_str()));
    text.push_back(arg);
  }
  LocalFree(wide);
  for (std::string& arg : text) pointers.push_back(&arg[0]);
  pointers.push_back(nullptr);
  *argc = n;
  *argv = pointers.data();
}
#endif

void show_help_messages() {
  puts("Usage: vln_raw_to_rinex.exe raw_file <options>");
  puts("");
  puts("options:");
  puts("\thelp - Show this help message.");
  puts("\tA - output all GNSS type.");
  puts("\tG - output GPS.");
  puts("\tR - output GLONASS.");
  puts("\tC - output BeiDou.");
  puts("\tJ - output QZSS.");
  puts("\tS - output SBAS. (not support nav yet)");
  puts("\tE - output GALILEO.");
  puts("\t-dual_freq - output dual frequency observation.");
  puts("");
}

void show_output_gnss_type(S16 enable_gps, S16 enable_qzss, S16 enable_sbas, S16 enable_glo,
                           S16 enable_bd2, S16 enable_gal) {
  puts("");
  puts("Output GNSS type include:");
  if (enable_gps) puts("GPS");
  if (enable_qzss) puts("QZSS");
  if (enable_sbas) puts("SBAS");
  if (enable_glo) puts("GLONASS");
  if (enable_bd2) puts("BeiDou");
  if (enable_gal) puts("Galileo");
  puts("");
}

S16 open_raw_and_rinex_files(MainRun& run, S16 n, char* input) {
  if (n < 2) {
    show_help_messages();
    exit(0);
  }
  if (Source_is_live(run.Source)) return 1;  // its reading thread opens it
  run.Fp_raw = File_open(input, "rb");
  if (run.Fp_raw == nullptr) {
    puts("Raw file open error~");
    return 0;
  }
  setvbuf(run.Fp_raw, Raw_stream_buffer, _IOFBF, kRawBufferSize);
  return 1;
}

// The command line split into the words the converter has always read (the
// raw file, the constellation letters, -dual_freq, help) and the long options
// with their values, which are never read as words.
struct CommandLine {
  std::vector<char*> words;
  std::vector<std::pair<int, std::string>> options;  // setting and value, in order
  bool long_help = false;
  std::string missing;  // the first long option without its value
  std::string unknown;  // the first unknown long option
};

bool is_long_option(const char* arg) { return strncmp(arg, "--", 2) == 0; }

CommandLine split_command_line(int argc, char** argv) {
  CommandLine c;
  for (int i = 1; i < argc; i++) {
    // The raw file is always the first argument, whatever its name.
    if (strcmp(argv[i], "--help") == 0) {
      c.long_help = true;
    } else if (i == 1 || !is_long_option(argv[i])) {
      c.words.push_back(argv[i]);
    } else {
      int id = Settings_find(argv[i] + 2);
      if (id < 0) {
        if (c.unknown.empty()) c.unknown = argv[i];
      } else if (Settings_is_switch(id)) {
        c.options.push_back({id, "yes"});
      } else if (i + 1 < argc && !is_long_option(argv[i + 1])) {
        c.options.push_back({id, argv[++i]});
      } else if (c.missing.empty()) {
        c.missing = argv[i];
      }
    }
  }
  return c;
}

// The settings of the long options: station files first, in their order,
// then the command line's options over them (its comments replace the
// files'). Returns "" or the error line.
std::string build_settings(const CommandLine& c, Settings* s) {
  if (!c.missing.empty()) return "Option " + c.missing + ": missing value";
  if (!c.unknown.empty()) {
    std::string nearest = Settings_nearest(c.unknown.substr(2));
    return "Unknown option " + c.unknown +
           (nearest.empty() ? "" : " (did you mean --" + nearest + "?)") +
           " (--help lists the options)";
  }
  for (const auto& o : c.options) {
    if (o.first != SET_STATION_FILE) continue;
    std::string error = Settings_read_file(o.second, s);
    if (!error.empty()) return error;
  }
  bool files_comments = true;
  for (const auto& o : c.options) {
    if (o.first == SET_STATION_FILE) continue;
    if (o.first == SET_COMMENT && files_comments) {
      s->comments.clear();
      files_comments = false;
    }
    std::string error = Settings_apply(s, o.first, o.second);
    if (!error.empty()) return std::string("Option --") + Settings_name(o.first) + ": " + error;
  }
  return Settings_check(*s);
}

// Takes the station's lock in its output folder, then recovers the files an
// earlier run of the station left unfinished there. "" or the error line.
std::string take_station(MainRun& run, const Settings& s) {
  const std::string folder = s.given[SET_OUTPUT_DIR] ? s.text[SET_OUTPUT_DIR] : "";
  std::string error = run.Lock.take(folder, RINEX_station_id());
  if (!error.empty()) return error;
  const std::string raw = s.given[SET_RAW_DIR] ? s.text[SET_RAW_DIR] : "";
  for (const std::string& line : Recover_station_files(folder, raw, RINEX_station_prefix()))
    puts(line.c_str());
  return "";
}

bool is_word(const char* arg, const char* upper, const char* lower) {
  return strcmp(arg, upper) == 0 || strcmp(arg, lower) == 0;
}

S16 get_main_parameter(MainRun& run, int argc, char** argv, S16* enable_gps, S16* enable_qzss,
                       S16* enable_sbas, S16* enable_glo, S16* enable_bd2, S16* enable_gal,
                       S16* enable_dual_freq_mode) {
  CommandLine line = split_command_line(argc, argv);
  if (line.long_help) {
    show_help_messages();
    Settings_print_usage();
    return 0;
  }
  *enable_gps = *enable_qzss = *enable_sbas = *enable_glo = *enable_bd2 = 0;
  *enable_dual_freq_mode = 0;
  for (char* word : line.words) {
    if (strcmp(word, "help") == 0) {
      show_help_messages();
      return 0;
    }
  }
  // Without any long option an unknown "--" word is ignored like any other
  // unknown word; beside them it is a mistyped option and stops the run.
  Settings settings;
  if (!line.options.empty() || !line.missing.empty()) {
    std::string error = build_settings(line, &settings);
    if (!error.empty()) {
      puts(error.c_str());
      return kStopBadSettings;
    }
  }
  // The raw-file argument: a file as always, or a live source, which runs
  // for as long as the station does and so needs periods (with long names).
  std::string source_error = argc >= 2 ? Source_parse(argv[1], &run.Source) : "";
  if (!source_error.empty()) {
    puts(source_error.c_str());
    return kStopBadSettings;
  }
  if (Source_is_live(run.Source) && !(settings.split > 0)) {
    printf(
        "Source %s: a live source needs --split (15m, 1h or 1d): its files are closed period "
        "by period\n",
        argv[1]);
    return kStopBadSettings;
  }
  RINEX_configure(settings);
  Select_configure(settings);
  if (Source_is_live(run.Source) || settings.split > 0) {
    std::string error = take_station(run, settings);
    if (!error.empty()) {
      puts(error.c_str());
      return kStopBadSettings;
    }
  }
  if (!open_raw_and_rinex_files(run, (S16)(argc < 2 ? argc : 2), argv[1])) return 0;
  if (!RINEX_init(run.files, argv[1])) return 0;

  struct Word {
    const char* upper;
    const char* lower;
    S16* flag;
  };
  const Word kWords[] = {{"G", "g", enable_gps},  {"R", "r", enable_glo},  {"C", "c", enable_bd2},
                         {"J", "j", enable_qzss}, {"S", "s", enable_sbas}, {"E", "e", enable_gal}};
  S16* all[] = {enable_gps, enable_qzss, enable_sbas, enable_glo, enable_bd2, enable_gal};
  bool dedicated = false;
  for (char* word : line.words) {
    if (is_word(word, "A", "a")) {
      for (S16* flag : all) *flag = 1;
      dedicated = true;
    }
    for (const Word& w : kWords) {
      if (is_word(word, w.upper, w.lower)) {
        *w.flag = 1;
        dedicated = true;
      }
    }
  }
  if (!dedicated)
    for (S16* flag : all) *flag = 1;
  show_output_gnss_type(*enable_gps, *enable_qzss, *enable_sbas, *enable_glo, *enable_bd2,
                        *enable_gal);
  for (char* word : line.words)
    if (strcmp(word, "-dual_freq") == 0) *enable_dual_freq_mode = 1;
  return 1;
}

// The folder the run writes into: --output-dir, else the raw file's.
std::string output_folder(const std::vector<std::string>& args) {
  for (size_t i = 0; i + 1 < args.size(); i++)
    if (args[i] == "--output-dir") return args[i + 1];
  if (args.size() < 2) return ".";
  size_t slash = args[1].find_last_of("/\\");
  return slash == std::string::npos ? "." : args[1].substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  utf8_arguments(&argc, &argv);
#endif
  setvbuf(stdout, Console_buffer, _IOFBF, kConsoleBufferSize);
  Stop_install_handlers();
  // A service preset adds its settings to the line's and checks what was written.
  RunPreset preset;
  std::vector<std::string> args(argv, argv + argc);
  std::string preset_error;
  if (!preset.take(&args, &preset_error)) {
    puts(preset_error.c_str());
    return kStopBadSettings;
  }
  std::vector<std::string> added = preset.arguments(args);
  args.insert(args.end(), added.begin(), added.end());
  std::vector<char*> line;
  for (std::string& a : args) line.push_back(&a[0]);
  line.push_back(nullptr);
  if (preset.given()) {
    argc = (int)args.size();
    argv = line.data();
    preset.before(output_folder(args));
  }
  S16 enable_gps, enable_qzss, enable_sbas, enable_glo, enable_bd2, enable_dual_freq_mode;
  S16 enable_gal = 0;
  MainRun run;
  S16 go_on = get_main_parameter(run, argc, argv, &enable_gps, &enable_qzss, &enable_sbas,
                                 &enable_glo, &enable_bd2, &enable_gal, &enable_dual_freq_mode);
  if (go_on != 1) return go_on == kStopBadSettings ? kStopBadSettings : 0;
  S16 freq_mode = enable_dual_freq_mode ? FREQ_MODE_DUAL : FREQ_MODE_L1_ONLY;
  int status = convert_raw_file(run.files, run.Fp_raw, run.Source, enable_gps, enable_qzss,
                                enable_sbas, enable_glo, enable_bd2, enable_gal, freq_mode);
  run.Lock.release();
  preset.after();
  fflush(stdout);
  Stop_finished();
  return status;
}
