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
  size_t used = 0;
};

size_t padded(size_t len) { return (len + kItemAlign - 1) / kItemAlign * kItemAlign; }

}  // namespace

// The buffers, the writer thread and the order of the buffers between them.
struct OutputStage::State {
  Buffer Buffers[kBuffers];
  StageConsumer* Consumer = nullptr;
  bool Running = false;
  std::thread Writer;
  std::mutex Lock;
  std::condition_variable Changed;
  // Buffers in order: Filled[First .. First+Count-1] wait for the writer.
  int Queue[kBuffers] = {};
  int First = 0, Count = 0;
  bool Free[kBuffers] = {};
  bool Stopping = false;
  int Current = -1;  // the buffer being filled
  size_t Item_start = 0;

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
        Changed.wait(hold, [this] { return Count > 0 || Stopping; });
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
    Changed.wait(hold, [this] {
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
};

OutputStage::OutputStage() : s_(new State) {}
OutputStage::~OutputStage() { stop(); }

void OutputStage::set_consumer(StageConsumer* consumer) { s_->Consumer = consumer; }

void OutputStage::start(StageConsumer* consumer) {
  s_->Consumer = consumer;
  s_->First = s_->Count = 0;
  s_->Stopping = false;
  for (bool& f : s_->Free) f = true;
  s_->Free[0] = false;
  s_->Current = 0;
  s_->Buffers[0].used = 0;
  s_->Running = true;
  State* state = s_.get();
  s_->Writer = std::thread([state] { state->writer_loop(); });
}

U08* OutputStage::reserve(U32 kind, U32 max_len) {
  if (s_->Current < 0) {  // no stage: one buffer, written whenever it fills
    s_->Current = 0;
    s_->Buffers[0].used = 0;
  }
  Buffer* b = &s_->Buffers[s_->Current];
  if (b->used + sizeof(ItemHead) + padded(max_len) > kBufferSize) {
    s_->hand_over();
    b = &s_->Buffers[s_->Current];
  }
  s_->Item_start = b->used;
  ItemHead h = {kind, 0};
  memcpy(b->bytes + b->used, &h, sizeof h);
  return b->bytes + b->used + sizeof h;
}

void OutputStage::commit(U32 len) {
  Buffer* b = &s_->Buffers[s_->Current];
  memcpy(b->bytes + s_->Item_start + offsetof(ItemHead, len), &len, sizeof len);
  b->used = s_->Item_start + sizeof(ItemHead) + padded(len);
  if (!s_->Running) s_->hand_over();  // without a writer thread every item is written at once
}

void OutputStage::flush() {
  if (s_->Current >= 0 && s_->Buffers[s_->Current].used > 0) s_->hand_over();
}

void OutputStage::stop() {
  if (!s_->Running) return;
  if (s_->Current >= 0 && s_->Buffers[s_->Current].used > 0) {
    std::lock_guard<std::mutex> hold(s_->Lock);
    s_->Queue[(s_->First + s_->Count) % kBuffers] = s_->Current;
    s_->Count++;
  }
  {
    std::lock_guard<std::mutex> hold(s_->Lock);
    s_->Stopping = true;
    s_->Changed.notify_all();
  }
  s_->Writer.join();
  s_->Running = false;
  s_->Current = -1;
}
