// The station soak of the benchmark: a live TCP source over days of data.
#ifndef VLN_BENCH_SOAK_H
#define VLN_BENCH_SOAK_H

#include <string>

// Streams days of a 1 Hz log through TCP on 127.0.0.1 to the converter
// (hourly files, raw journal), dropping the line every drop_hours of data;
// prints memory, CPU and what was closed and kept. 0 when every hour was
// closed and every byte kept.
int run_soak(double days, const std::string& dir, double drop_hours);

#endif
