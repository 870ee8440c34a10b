// Raw logs from the project's log generator, in memory, for the end-to-end tests.
#ifndef VLN_TEST_GENERATED_LOGS_H
#define VLN_TEST_GENERATED_LOGS_H

#include "frame_builder.h"
#include "log_generator.h"

namespace vlntest {

// The whole log the options describe; counts (if given) receives what it holds.
Bytes generated_log(const LogOptions& options, LogCounts* counts = nullptr);
// The bundled sample log of a real receiver (examples/sample.dat).
Bytes sample_log();

}  // namespace vlntest

#endif
