// Which signals a raw log holds, found by a quick pass over its frames before
// the conversion, so that the standard writers' header lists every type the
// file will need from its first byte on.
#ifndef VLN_SIGNAL_SCAN_H
#define VLN_SIGNAL_SCAN_H

#include <cstdio>

#include "obs_codes.h"

// Marks present[id] for every signal of the records of the measurement messages
// in frames whose checksum matches (of the first kind the log has, as the
// conversion takes it), then rewinds the file; false when it cannot be rewound.
bool Scan_log_signals(FILE* fp, bool present[SIG_COUNT]);

#endif
