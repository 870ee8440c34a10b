// One output file as the writer sees it: plain text, or gzip. A header is
// written at the file's start and may be written again at a checkpoint and at
// the end, when it has its final values; in a gzip file it is a member of its
// own in stored (uncompressed) blocks. A header of the same length is written
// over the first in place; one of another length makes the file written anew
// beside itself (the new header, then the records' bytes as they are) and
// renamed over itself, so the header holds exactly what the file needs.
#ifndef VLN_OUTPUT_SINK_H
#define VLN_OUTPUT_SINK_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "data_type.h"

struct SinkState;

struct Sink {
  FILE* fp = nullptr;
  bool gzip = false;
  int error = 0;            // errno of the first failed write, flush or close
  std::string path;         // the name it was opened under
  size_t header_len = 0;    // characters of the header written last
  long header_bytes = 0;    // its bytes in the file (a gzip member; CR LF line ends on Windows)
  long rebuilt = 0;         // times a header of another length made the file written anew
  uint64_t body_bytes = 0;  // record text given since the file was opened
  SinkState* z = nullptr;
  // Whether the file, once opened, writes (and compresses) on threads of its
  // own once its records fill a block; without, on the caller's thread.
  bool threads = true;
};

// Opens path for writing: text mode for plain text (the platform's line
// ends), binary for gzip (LF everywhere). False when it cannot be created.
bool Sink_open(Sink* s, const std::string& path, bool gzip);
// Writes the header at the file's start (where the file stands after
// opening or a rewind): over the one before when it has its length, else the
// file is written anew with it.
void Sink_header(Sink* s, const char* text, size_t len);
// Appends record text (compressed into the records member for gzip).
void Sink_body(Sink* s, const char* text, size_t len);
// A checkpoint: writes every record given so far (a gzip member ends), the
// header again over itself with the values of a file that ends here (it must
// keep its length), and makes the file durable (synced to the disk), so that
// a file cut at any later point holds a whole file up to here.
void Sink_checkpoint(Sink* s, const char* header, size_t len);
// Ends the records (the gzip member is completed) and returns to the file's
// start, so that the header can be written again over itself.
void Sink_rewind(Sink* s);
// Flushes and closes; the error, if any, stays in s->error.
void Sink_close(Sink* s);
bool Sink_is_open(const Sink* s);
// Closes it if open and gives back its buffers and compressors (a sink that
// is not kept for another file).
void Sink_free(Sink* s);
// A whole gzip member of the text as the sink writes headers (stored blocks,
// its size depending only on the length) and records (compressed).
std::string Sink_stored_member_text(const char* text, size_t len);
std::string Sink_member_text(const char* text, size_t len);

#endif
