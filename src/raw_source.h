// Where the raw stream comes from: a file (as always), or a live source that
// streams for as long as the station runs: standard input ("-"), a TCP
// connection ("tcp://HOST:PORT") or a serial line ("serial://DEVICE[:BAUD]").
// A live source is read by a thread of its own, which opens it, reads it into
// a queue and, for TCP and serial, reopens it after a drop with a growing
// delay (1 s doubling to 60 s); the converting thread takes bytes from the
// queue with a timeout, so that it can close a period on time while the line
// is silent.
#ifndef VLN_RAW_SOURCE_H
#define VLN_RAW_SOURCE_H

#include <string>
#include <vector>

#include "data_type.h"

enum SourceKind { SOURCE_FILE, SOURCE_STDIN, SOURCE_TCP, SOURCE_SERIAL };

struct SourceAddress {
  SourceKind kind = SOURCE_FILE;
  std::string text;    // the argument as given
  std::string target;  // the file or device path, or the TCP host
  int port = 0;
  int baud = 115200;
};

// The source an argument names; "" or what is wrong with it (a whole line).
std::string Source_parse(const std::string& arg, SourceAddress* address);
bool Source_is_live(const SourceAddress& address);

// What happened on the line since the last read: console lines (drops,
// reconnects, failed opens, each with its time) and whether bytes may be
// missing (a drop), so that phase continuity is unknown.
struct LiveNews {
  std::vector<std::string> lines;
  bool gap = false;
  bool connected = false;  // the line is open now
};

// Starts the reading thread of a live source.
void Live_start(const SourceAddress& address);
// Waits up to timeout_ms for bytes and copies up to max of them. Returns
// their count, 0 when none came in time, -1 when the source has ended
// (standard input at its end, or Live_stop). news gets what happened.
int Live_read(U08* buf, int max, int timeout_ms, LiveNews* news);
// Ends the reading thread.
void Live_stop();

#endif
