// The writer thread's files. Each epoch item is formatted and appended to the
// observation file, each navigation record to the navigation file; with
// periods, a period item opens or closes a file pair (the closing rewrites
// both headers and gives the files their final names), and each period's
// navigation file starts with the latest record of every satellite.
#include "rinex_output.h"

#include <cerrno>
#include <cstring>

#include "const.h"
#include "crx_encode.h"
#include "file_io.h"
#include "obs.h"
#include "output_items.h"
#include "output_stage.h"
#include "rinex_config.h"
#include "rinex_obs.h"

namespace {

constexpr int kMaxNavNumber = 64;

// The files of a run without periods.
Sink Obs_sink;
Sink Nav_sink;

// The files of the open period, their provisional names, the latest record of
// every satellite (the start of each later period's navigation file), the
// text of one epoch, and the periods' fates.
Sink Period_obs;
Sink Period_nav;
std::string Period_names[2];
std::string Latest_nav[GNSS_NTYPE][kMaxNavNumber];
std::string Epoch_text;
std::string Raw_name;
int Periods_written;
std::vector<std::string> Incomplete_files;
int Period_obs_errno;
int Period_nav_errno;

bool splits() { return RINEX_settings().split > 0; }
int crx_version() { return RINEX_settings().rinex_version == RINEX_211 ? 1 : 3; }
Sink* obs_out() { return splits() ? &Period_obs : &Obs_sink; }
Sink* nav_out() { return splits() ? &Period_nav : &Nav_sink; }

// The NUL-separated strings of a period item.
std::vector<std::string> split_strings(const U08* p, U32 len) {
  std::vector<std::string> parts;
  const char* text = reinterpret_cast<const char*>(p);
  for (U32 at = 0; at < len;) {
    size_t n = strnlen(text + at, len - at);
    parts.emplace_back(text + at, n);
    at += (U32)n + 1;
  }
  parts.resize(4);
  return parts;
}

void open_period_files(const std::vector<std::string>& parts) {
  Period_names[0] = parts[0];
  Period_names[1] = parts[1];
  bool gzip = RINEX_settings().gzip;
  Sink* sinks[2] = {&Period_obs, &Period_nav};
  for (int i = 0; i < 2; i++) {
    if (!Sink_open(sinks[i], parts[i], gzip)) sinks[i]->error = errno != 0 ? errno : EIO;
    Sink_header(sinks[i], parts[2 + i].data(), parts[2 + i].size());
  }
  Crx_start(Obs_get_freq_mode() == FREQ_MODE_DUAL, crx_version());
  for (auto& system : Latest_nav)
    for (const std::string& record : system) Sink_body(&Period_nav, record.data(), record.size());
}

bool rename_period_file(const std::string& from, const std::string& to) {
  return !File_same(Raw_name.c_str(), to) && File_rename(from, to);
}

void close_period_files(const std::vector<std::string>& parts) {
  Sink* sinks[2] = {&Period_obs, &Period_nav};
  int* noted[2] = {&Period_obs_errno, &Period_nav_errno};
  bool complete = true;
  for (int i = 0; i < 2; i++) {
    Sink_rewind(sinks[i]);
    Sink_header(sinks[i], parts[2 + i].data(), parts[2 + i].size());
    bool opened = Sink_is_open(sinks[i]);
    Sink_close(sinks[i]);
    bool ok = opened && sinks[i]->error == 0 && rename_period_file(Period_names[i], parts[i]);
    if (!ok && *noted[i] == 0) *noted[i] = sinks[i]->error != 0 ? sinks[i]->error : EIO;
    if (!ok) Incomplete_files.push_back(Period_names[i]);
    complete = complete && ok;
  }
  if (complete) Periods_written++;
}

void consume(U32 kind, const U08* p, U32 len) {
  switch (kind) {
    case ITEM_EPOCH: {
      const EPOCH_REC_T* e = reinterpret_cast<const EPOCH_REC_T*>(p);
      Epoch_text.clear();
      RINEX_format_epoch(*e, reinterpret_cast<const SAT_REC_T*>(p + sizeof *e), &Epoch_text);
      Sink_body(obs_out(), Epoch_text.data(), Epoch_text.size());
      break;
    }
    case ITEM_NAV: {
      const char* text = reinterpret_cast<const char*>(p + 2);
      Sink_body(nav_out(), text, len - 2);
      if (splits() && p[0] < GNSS_NTYPE && p[1] < kMaxNavNumber)
        Latest_nav[p[0]][p[1]].assign(text, len - 2);
      break;
    }
    case ITEM_PERIOD_OPEN: open_period_files(split_strings(p, len)); break;
    case ITEM_PERIOD_CLOSE: close_period_files(split_strings(p, len)); break;
    default: break;
  }
}

}  // namespace

Sink* RINEX_obs_sink() { return &Obs_sink; }
Sink* RINEX_nav_sink() { return &Nav_sink; }

void RINEX_output_bind(const std::string& raw_name) {
  Raw_name = raw_name;
  Stage_set_consumer(consume);
}

void RINEX_output_start() {
  Periods_written = 0;
  Incomplete_files.clear();
  Period_obs_errno = Period_nav_errno = 0;
  for (auto& system : Latest_nav)
    for (std::string& record : system) record.clear();
  Crx_start(Obs_get_freq_mode() == FREQ_MODE_DUAL, crx_version());
  Stage_start(consume);
}

void RINEX_output_stop() { Stage_stop(); }

int RINEX_periods_written() { return Periods_written; }
const std::vector<std::string>& RINEX_incomplete_files() { return Incomplete_files; }
int RINEX_period_obs_errno() { return Period_obs_errno; }
int RINEX_period_nav_errno() { return Period_nav_errno; }
