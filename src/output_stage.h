// The output stage: the converting thread packs what it has to write into
// items in large buffers and hands each full buffer to a writer thread, which
// formats, compresses and writes them; so decoding runs on one core and
// formatting and writing on the other. Without a started stage the items are
// written at once, on the calling thread.
#ifndef VLN_OUTPUT_STAGE_H
#define VLN_OUTPUT_STAGE_H

#include <cstddef>
#include <memory>

#include "data_type.h"

// What takes each item, in the order the items were put, on the writer thread.
class StageConsumer {
 public:
  virtual ~StageConsumer() = default;
  virtual void consume(U32 kind, const U08* payload, U32 len) = 0;
};

// The stage of a run: its buffers and its writer thread.
class OutputStage {
 public:
  OutputStage();
  // Stops the writer thread if it still runs.
  ~OutputStage();
  OutputStage(const OutputStage&) = delete;
  OutputStage& operator=(const OutputStage&) = delete;

  // Names the consumer of items put while no writer thread runs.
  void set_consumer(StageConsumer* consumer);
  // Starts the writer thread.
  void start(StageConsumer* consumer);
  // Room for an item's payload of at most max_len bytes in the current buffer.
  U08* reserve(U32 kind, U32 max_len);
  // Ends the item begun by reserve with its actual length.
  void commit(U32 len);
  // Hands the current buffer over now, however little it holds, so that what
  // it holds (a period's closing) is written without waiting for more.
  void flush();
  // Hands over what is pending, waits until everything is written, stops the thread.
  void stop();

 private:
  struct State;
  std::unique_ptr<State> s_;
};

#endif
