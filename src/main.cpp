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

#include "const.h"
#include "rinex.h"

namespace {

constexpr size_t kRawBufferSize = 1 << 20;
constexpr size_t kConsoleBufferSize = 1 << 14;
FILE* Fp_raw;
char Raw_stream_buffer[kRawBufferSize];
// The progress line is printed after every frame: through a buffer a console
// costs what a file costs (an unbuffered Windows console takes one system call
// per line).
char Console_buffer[kConsoleBufferSize];

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

S16 open_raw_and_rinex_files(S16 n, char* input) {
  if (n < 2) {
    show_help_messages();
    exit(0);
  }
  Fp_raw = RINEX_open_file(input, "rb");
  if (Fp_raw == nullptr) {
    puts("Raw file open error~");
    return 0;
  }
  setvbuf(Fp_raw, Raw_stream_buffer, _IOFBF, kRawBufferSize);
  return 1;
}

bool is_word(const char* arg, const char* upper, const char* lower) {
  return strcmp(arg, upper) == 0 || strcmp(arg, lower) == 0;
}

S16 get_main_parameter(int argc, char** argv, S16* enable_gps, S16* enable_qzss, S16* enable_sbas,
                       S16* enable_glo, S16* enable_bd2, S16* enable_gal,
                       S16* enable_dual_freq_mode) {
  *enable_gps = *enable_qzss = *enable_sbas = *enable_glo = *enable_bd2 = 0;
  *enable_dual_freq_mode = 0;
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "help") == 0) {
      show_help_messages();
      return 0;
    }
  }
  if (!open_raw_and_rinex_files((S16)(argc < 2 ? argc : 2), argv[1])) return 0;
  if (!RINEX_init(argv[1])) return 0;

  struct Word {
    const char* upper;
    const char* lower;
    S16* flag;
  };
  const Word kWords[] = {{"G", "g", enable_gps},  {"R", "r", enable_glo},  {"C", "c", enable_bd2},
                         {"J", "j", enable_qzss}, {"S", "s", enable_sbas}, {"E", "e", enable_gal}};
  S16* all[] = {enable_gps, enable_qzss, enable_sbas, enable_glo, enable_bd2, enable_gal};
  bool dedicated = false;
  for (int i = 1; i < argc; i++) {
    if (is_word(argv[i], "A", "a")) {
      for (S16* flag : all) *flag = 1;
      dedicated = true;
    }
    for (const Word& w : kWords) {
      if (is_word(argv[i], w.upper, w.lower)) {
        *w.flag = 1;
        dedicated = true;
      }
    }
  }
  if (!dedicated)
    for (S16* flag : all) *flag = 1;
  show_output_gnss_type(*enable_gps, *enable_qzss, *enable_sbas, *enable_glo, *enable_bd2,
                        *enable_gal);
  for (int i = 1; i < argc; i++)
    if (strcmp(argv[i], "-dual_freq") == 0) *enable_dual_freq_mode = 1;
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  utf8_arguments(&argc, &argv);
#endif
  setvbuf(stdout, Console_buffer, _IOFBF, kConsoleBufferSize);
  S16 enable_gps, enable_qzss, enable_sbas, enable_glo, enable_bd2, enable_dual_freq_mode;
  S16 enable_gal = 0;
  if (!get_main_parameter(argc, argv, &enable_gps, &enable_qzss, &enable_sbas, &enable_glo,
                          &enable_bd2, &enable_gal, &enable_dual_freq_mode))
    return 0;
  S16 freq_mode = enable_dual_freq_mode ? FREQ_MODE_DUAL : FREQ_MODE_L1_ONLY;
  return convert_raw_file(Fp_raw, enable_gps, enable_qzss, enable_sbas, enable_glo, enable_bd2,
                          enable_gal, freq_mode);
}
