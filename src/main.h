// Command line and raw stream: the framing loop that cuts the raw log into
// checked frames and hands each to the dispatcher. (The entry point itself,
// with the argument handling and the run sequence, is in main.cpp.)
#ifndef VLN_MAIN_H
#define VLN_MAIN_H

#include <cstdio>

#include "data_type.h"
#include "raw_source.h"

// Frame buffer size: payload and checksum together must fit.
enum { FRAME_BUFFER_SIZE = 2000 };

// Reads frames to the end of the input or the epoch limit, then prints the summary.
void parsing_raw_file_and_put_obs_nav_record(FILE* fp_raw);
// Why reading the input stopped before its end (an errno value); 0 after a clean end of file.
int raw_read_errno();
// Runs the conversion over an open raw log into the outputs RINEX_init created:
// headers, the pass over the log, the header rewrite; closes all three files.
// Returns the exit status: 1, or 2 when the log could not be read to its end or
// an output could not be written completely (the reason is printed).
// fp_raw is nullptr for a live source (source).
int convert_raw_file(FILE* fp_raw, const SourceAddress& source, S16 enable_gps, S16 enable_qzss,
                     S16 enable_sbas, S16 enable_glo, S16 enable_bd2, S16 enable_gal,
                     S16 freq_mode);
// Exclusive OR of buf[0] to buf[len-1]; 0 for len 0.
U08 calculate_checksum(const unsigned char* buf, int len);

#endif
