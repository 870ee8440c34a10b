// Where the raw stream's bytes come from, behind one interface: a file (as
// always), standard input ("-"), a TCP connection ("tcp://HOST:PORT") or a
// serial line ("serial://DEVICE[:BAUD]"). A source is opened, read into a
// buffer, and closed, and says why any of it failed. A line (standard input,
// TCP, serial) answers a read within a short wait, with nothing when it is
// silent, so that its reader can see a stop.
#ifndef VLN_SOURCE_BYTE_SOURCE_H
#define VLN_SOURCE_BYTE_SOURCE_H

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "data_type.h"

enum SourceKind { SOURCE_FILE, SOURCE_STDIN, SOURCE_TCP, SOURCE_SERIAL };

struct SourceAddress {
  SourceKind kind = SOURCE_FILE;
  std::string text;    // the argument as given
  std::string target;  // the file or device path, or the TCP host
  int port = 0;
  int baud = 115200;
};

// The baud rates a serial source offers, slowest first.
constexpr int kBaudRates[] = {1200,  2400,   4800,   9600,   19200, 38400,
                              57600, 115200, 230400, 460800, 921600};
constexpr int kBaudRateCount = sizeof kBaudRates / sizeof kBaudRates[0];

// The source an argument names; "" or what is wrong with it (a whole line).
std::string Source_parse(const std::string& arg, SourceAddress* address);
// True for standard input, TCP and serial: a stream without an end in view.
bool Source_is_live(const SourceAddress& address);

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Makes it readable; false with the reason in why.
  virtual bool open(std::string* why) = 0;
  // Up to max bytes: their count; 0 when a line had none within its short
  // wait; -1 at the end or on a failure (why says which, error() gives its errno).
  virtual long read(U08* buf, size_t max, std::string* why) = 0;
  virtual void close() = 0;
  // The errno of a failed read; 0 while none failed.
  virtual int error() const { return 0; }
};

// A raw file already opened (the run opens it, with its own message on
// failure); read in large blocks. It can be read again from its start, and
// tells its size.
class FileSource : public ByteSource {
 public:
  explicit FileSource(FILE* fp) : fp_(fp) {}
  bool open(std::string*) override { return fp_ != nullptr; }
  long read(U08* buf, size_t max, std::string* why) override;
  void close() override;
  int error() const override { return error_; }
  // Makes the file readable a second time. A pipe cannot be rewound, so its
  // bytes are first copied into a temporary file, which is read from then
  // on; a read failure on the way is kept for the run's report. False with
  // the reason in why when the copy cannot be kept.
  bool make_rereadable(std::string* why);
  // Back to the first byte; false when the file cannot be rewound.
  bool rewind();
  // Its size in bytes; -1 when unknown (a pipe).
  long size();

 private:
  FILE* fp_;
  int error_ = 0;
  std::unique_ptr<char[]> copy_buffer_;  // the stream buffer of a pipe's copy
};

// A line of a live address: standard input, a TCP connection or a serial
// line. stopping is asked while a TCP connect waits for its far end.
std::unique_ptr<ByteSource> Source_line(const SourceAddress& address,
                                        std::function<bool()> stopping);

#endif
