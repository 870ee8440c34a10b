#include "generated_logs.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "runner.h"

namespace vlntest {

Bytes generated_log(const LogOptions& options, LogCounts* counts) {
  std::string path = temp_path(".dat");
  FILE* f = fopen(path.c_str(), "wb");
  write_log(options, f, counts);
  fclose(f);
  std::string bytes = read_file(path);
  remove(path.c_str());
  return Bytes(bytes.begin(), bytes.end());
}

Bytes sample_log() {
  bool exists = false;
  std::string s = read_file(VLN_SAMPLE_LOG, &exists);
  EXPECT_TRUE(exists) << VLN_SAMPLE_LOG;
  return Bytes(s.begin(), s.end());
}

}  // namespace vlntest
