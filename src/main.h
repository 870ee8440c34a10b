// Command line and raw stream: the framing loop that cuts the raw log into
// checked frames and hands each to the dispatcher. (The entry point itself,
// with the argument handling and the run sequence, is in main.cpp.)
#ifndef VLN_MAIN_H
#define VLN_MAIN_H

#include <cstdio>

#include "data_type.h"

// Frame buffer size: payload and checksum together must fit.
enum { FRAME_BUFFER_SIZE = 2000 };

// Reads frames to the end of the input or the epoch limit, then prints the summary.
void parsing_raw_file_and_put_obs_nav_record(FILE* fp_raw);
// Exclusive OR of buf[0] to buf[len-1]; 0 for len 0.
U08 calculate_checksum(const unsigned char* buf, int len);

#endif
