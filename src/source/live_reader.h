// A live source read by a thread of its own: it opens the line (standard
// input, TCP, serial), reads it into a queue of 16 MiB, so that a slow disk
// never makes the receiver's line overflow, and for TCP and serial reopens it
// after a drop with a growing delay (1 s doubling to 60 s). The run takes
// bytes from the queue through the byte-source interface; a read waits at
// most half a second, so that the run can close a period on time while the
// line is silent.
#ifndef VLN_SOURCE_LIVE_READER_H
#define VLN_SOURCE_LIVE_READER_H

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "source/byte_source.h"

// What happened on the line before the bytes of the last read: console lines
// (drops, reconnects, failed opens, each with its time), whether bytes may be
// missing (a drop), so that phase continuity is unknown, and whether the line
// is open now.
struct LiveNews {
  std::vector<std::string> lines;
  bool gap = false;
  bool connected = false;
};

class LiveReader : public ByteSource {
 public:
  explicit LiveReader(const SourceAddress& address) : address_(address) {}
  ~LiveReader() override { close(); }
  // Starts the reading thread, which opens the line (and keeps trying).
  bool open(std::string* why) override;
  // Bytes from the queue, never across a drop; 0 when none came within half a
  // second; -1 once the source has ended (standard input at its end) or close().
  long read(U08* buf, size_t max, std::string* why) override;
  // Ends the reading thread.
  void close() override;
  // What happened before the bytes of the last read.
  const LiveNews& news() const { return news_; }

 private:
  void read_line_loop();
  void note(const std::string& line, bool gap);
  bool stopping();
  bool pause(int seconds);
  void push(const U08* data, size_t n);

  SourceAddress address_;
  LiveNews news_;
  std::vector<U08> ring_;
  size_t head_ = 0, size_ = 0;
  uint64_t pushed_ = 0, taken_ = 0;  // stream bytes put in and taken out
  std::deque<uint64_t> gaps_;        // stream offsets where the line dropped
  bool ended_ = false, stopping_ = false, connected_ = false;
  std::vector<std::string> lines_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::thread thread_;
};

#endif
