// The raw journal of a live source (--raw-dir): every byte received, exactly
// as received, in one file per period, named like the period's observation
// file with .raw, closed with the period. Converting a period's journal later
// gives that period's observation records. Bytes wait until the frame they
// belong to is placed: those from the frame that opened a period on go into
// that period's file; those before any period into the first one's.
#ifndef VLN_RAW_JOURNAL_H
#define VLN_RAW_JOURNAL_H

#include <cstdint>
#include <memory>
#include <string>

#include "data_type.h"

// The journal of a run: off until started.
class RawJournal {
 public:
  RawJournal();
  ~RawJournal();
  RawJournal(const RawJournal&) = delete;
  RawJournal& operator=(const RawJournal&) = delete;

  // Starts journaling into dir (created if missing); "" on success, else why not.
  std::string start(const std::string& dir);
  // The next bytes of the stream, in order.
  void take(const U08* bytes, size_t n);
  // A frame starts at stream offset at: what came before it can be written.
  void frame_at(uint64_t at);
  // A period opened at the frame starting at offset at: from there on into
  // name. The file before it, if any, is closed and renamed closed_name (its
  // period's final observation name with .raw: a period's name shows its data
  // interval only once it is known).
  void switch_to(uint64_t at, const std::string& name, const std::string& closed_name);
  // A checkpoint of the RINEX files: the bytes up to offset at (a frame's
  // start) are written and synced to the disk.
  void sync(uint64_t at);
  // The open period ended without a new one: its file is closed with what came
  // up to offset at, and renamed closed_name.
  void end_period(uint64_t at, const std::string& closed_name);
  // Writes what is left into the last file, closes it and renames it
  // closed_name; a console line names a write failure.
  void close(const std::string& closed_name);

 private:
  struct State;
  std::unique_ptr<State> s_;
};

#endif
