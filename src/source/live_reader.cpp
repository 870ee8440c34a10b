// The live reader: the thread that reads a line into the queue, with its
// reconnects and console lines, and the run's reads from the queue.
#include "source/live_reader.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "creation_date.h"

namespace {

constexpr size_t kQueueBytes = 16 << 20;  // what the line may run ahead of the conversion
constexpr int kLongestDelay = 60;         // seconds between attempts, at most
constexpr int kReadWaitMs = 500;          // the run's longest wait for bytes

std::string now_text() { return Utc_now_text("%Y-%m-%d %H:%M:%S UTC"); }

}  // namespace

// A console line now; a gap where the stream stands, reported when the run gets there.
void LiveReader::note(const std::string& line, bool gap) {
  std::lock_guard<std::mutex> hold(lock_);
  lines_.push_back(now_text() + ": " + line);
  if (gap) gaps_.push_back(pushed_);
  changed_.notify_all();
}

bool LiveReader::stopping() {
  std::lock_guard<std::mutex> hold(lock_);
  return stopping_;
}

// Waits seconds, or less when the run stops; false when it stops.
bool LiveReader::pause(int seconds) {
  std::unique_lock<std::mutex> hold(lock_);
  return !changed_.wait_for(hold, std::chrono::seconds(seconds), [this] { return stopping_; });
}

void LiveReader::push(const U08* data, size_t n) {
  std::unique_lock<std::mutex> hold(lock_);
  while (n > 0 && !stopping_) {
    changed_.wait(hold, [this] { return size_ < ring_.size() || stopping_; });
    size_t room = std::min(n, ring_.size() - size_);
    for (size_t i = 0; i < room; i++) ring_[(head_ + size_ + i) % ring_.size()] = data[i];
    size_ += room;
    pushed_ += room;
    data += room;
    n -= room;
    changed_.notify_all();
  }
}

void LiveReader::read_line_loop() {
  int delay = 1;
  bool connected_before = false;
  std::vector<U08> chunk(1 << 16);
  std::unique_ptr<ByteSource> line = Source_line(address_, [this] { return stopping(); });
  for (;;) {
    if (stopping()) return;
    std::string why;
    if (!line->open(&why)) {
      note(address_.text + " cannot be opened: " + why + "; next try in " + std::to_string(delay) +
               " s",
           false);
      if (!pause(delay)) return;
      delay = std::min(delay * 2, kLongestDelay);
      continue;
    }
    {
      std::lock_guard<std::mutex> hold(lock_);
      connected_ = true;
    }
    if (address_.kind != SOURCE_STDIN)
      note(address_.text + (connected_before ? " reconnected" : " connected"), false);
    connected_before = true;
    // The delay starts again from 1 s only when the line brought data: a far
    // end that accepts and closes at once is retried ever more slowly.
    bool received = false;
    for (;;) {
      if (stopping()) {
        line->close();
        return;
      }
      long n = line->read(chunk.data(), chunk.size(), &why);
      if (n > 0) {
        push(chunk.data(), (size_t)n);
        if (!received) delay = 1;
        received = true;
      }
      if (n >= 0) continue;
      line->close();
      {
        std::lock_guard<std::mutex> hold(lock_);
        connected_ = false;
      }
      if (address_.kind == SOURCE_STDIN) {
        std::lock_guard<std::mutex> hold(lock_);
        ended_ = true;
        changed_.notify_all();
        return;
      }
      note(address_.text + " dropped: " + why + "; reconnecting in " + std::to_string(delay) + " s",
           true);
      if (!pause(delay)) return;
      delay = std::min(delay * 2, kLongestDelay);
      break;
    }
  }
}

bool LiveReader::open(std::string*) {
  ring_.assign(kQueueBytes, 0);
  head_ = size_ = 0;
  pushed_ = taken_ = 0;
  gaps_.clear();
  ended_ = stopping_ = connected_ = false;
  lines_.clear();
  thread_ = std::thread(&LiveReader::read_line_loop, this);
  return true;
}

long LiveReader::read(U08* buf, size_t max, std::string*) {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait_for(hold, std::chrono::milliseconds(kReadWaitMs),
                    [this] { return size_ > 0 || ended_ || stopping_ || !lines_.empty(); });
  news_.lines.swap(lines_);
  lines_.clear();
  news_.gap = false;
  news_.connected = connected_;
  while (!gaps_.empty() && gaps_.front() <= taken_) {
    news_.gap = true;
    gaps_.pop_front();
  }
  if (size_ == 0) return (ended_ || stopping_) ? -1 : 0;
  size_t n = std::min(size_, max);
  if (!gaps_.empty()) n = std::min(n, (size_t)(gaps_.front() - taken_));  // up to the next gap
  taken_ += n;
  for (size_t i = 0; i < n; i++) buf[i] = ring_[(head_ + i) % ring_.size()];
  head_ = (head_ + n) % ring_.size();
  size_ -= n;
  changed_.notify_all();
  return (long)n;
}

void LiveReader::close() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
    changed_.notify_all();
  }
#ifdef _WIN32
  // A blocking read of standard input cannot be woken: the process ends soon.
  if (address_.kind == SOURCE_STDIN) {
    thread_.detach();
    return;
  }
#endif
  thread_.join();
}
