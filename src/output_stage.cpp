// Output stage: a few large buffers go round between the converting thread,
// which fills them with items (kind, length, payload), and the writer thread,
// which consumes them in order. Nothing is allocated while items flow.
#include "output_stage.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

constexpr int kBuffers = 4;
constexpr size_t kBufferSize = 1 << 20;

struct ItemHead {
  U32 kind;
  U32 len;
};

// Items start on 8-byte boundaries, so that records inside them can be read in place.
constexpr size_t kItemAlign = 8;

struct Buffer {
  alignas(kItemAlign) U08 bytes[kBufferSize];
  size_t used;
};

Buffer Buffers[kBuffers];
StageConsumer* Consumer;
bool Running;
std::thread Writer;
std::mutex Lock;
std::condition_variable Changed;
// Buffers in order: Filled[First .. First+Count-1] wait for the writer.
int Queue[kBuffers];
int First, Count;
bool Free[kBuffers];
bool Stopping;
int Current = -1;  // the buffer being filled
size_t Item_start;

size_t padded(size_t len) { return (len + kItemAlign - 1) / kItemAlign * kItemAlign; }

void consume_buffer(const Buffer& b) {
  for (size_t at = 0; at + sizeof(ItemHead) <= b.used;) {
    ItemHead h;
    memcpy(&h, b.bytes + at, sizeof h);
    Consumer->consume(h.kind, b.bytes + at + sizeof h, h.len);
    at += sizeof h + padded(h.len);
  }
}

void writer_loop() {
  for (;;) {
    int index;
    {
      std::unique_lock<std::mutex> hold(Lock);
      Changed.wait(hold, [] { return Count > 0 || Stopping; });
      if (Count == 0) return;
      index = Queue[First];
    }
    consume_buffer(Buffers[index]);
    std::lock_guard<std::mutex> hold(Lock);
    First = (First + 1) % kBuffers;
    Count--;
    Free[index] = true;
    Changed.notify_all();
  }
}

// Hands the current buffer to the writer (or writes it at once without one).
void hand_over() {
  if (Current < 0) return;
  if (!Running) {
    consume_buffer(Buffers[Current]);
    Buffers[Current].used = 0;
    return;
  }
  std::unique_lock<std::mutex> hold(Lock);
  Queue[(First + Count) % kBuffers] = Current;
  Count++;
  Changed.notify_all();
  Changed.wait(hold, [] {
    for (bool f : Free)
      if (f) return true;
    return false;
  });
  for (int i = 0; i < kBuffers; i++) {
    if (Free[i]) {
      Free[i] = false;
      Current = i;
      break;
    }
  }
  Buffers[Current].used = 0;
}

}  // namespace

void Stage_set_consumer(StageConsumer* consumer) { Consumer = consumer; }

void Stage_start(StageConsumer* consumer) {
  Consumer = consumer;
  First = Count = 0;
  Stopping = false;
  for (bool& f : Free) f = true;
  Free[0] = false;
  Current = 0;
  Buffers[0].used = 0;
  Running = true;
  Writer = std::thread(writer_loop);
}

U08* Stage_reserve(U32 kind, U32 max_len) {
  if (Current < 0) {  // no stage: one buffer, written whenever it fills
    Current = 0;
    Buffers[0].used = 0;
  }
  Buffer* b = &Buffers[Current];
  if (b->used + sizeof(ItemHead) + padded(max_len) > kBufferSize) {
    hand_over();
    b = &Buffers[Current];
  }
  Item_start = b->used;
  ItemHead h = {kind, 0};
  memcpy(b->bytes + b->used, &h, sizeof h);
  return b->bytes + b->used + sizeof h;
}

void Stage_commit(U32 len) {
  Buffer* b = &Buffers[Current];
  memcpy(b->bytes + Item_start + offsetof(ItemHead, len), &len, sizeof len);
  b->used = Item_start + sizeof(ItemHead) + padded(len);
  if (!Running) hand_over();  // without a writer thread every item is written at once
}

void Stage_flush() {
  if (Current >= 0 && Buffers[Current].used > 0) hand_over();
}

void Stage_stop() {
  if (!Running) return;
  if (Current >= 0 && Buffers[Current].used > 0) {
    std::lock_guard<std::mutex> hold(Lock);
    Queue[(First + Count) % kBuffers] = Current;
    Count++;
  }
  {
    std::lock_guard<std::mutex> hold(Lock);
    Stopping = true;
    Changed.notify_all();
  }
  Writer.join();
  Running = false;
  Current = -1;
}
