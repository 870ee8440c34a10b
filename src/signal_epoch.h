// The standard writers' epochs: the store's signals of the current epoch
// gathered into one signal-level epoch item for the writer thread, satellite
// by satellite in the header's order of systems, each satellite's signals in
// its system's order of types; event items; and the plan of types the run
// follows (set before the writer starts, read by both threads).
#ifndef VLN_SIGNAL_EPOCH_H
#define VLN_SIGNAL_EPOCH_H

#include "const.h"
#include "obs_codes.h"
#include "output_stage.h"

// The systems of headers and epochs in their order, and how many there are.
const S16* Signal_system_order();
int Signal_system_count();

// The run's plan and its epochs; the file set holds one.
class SignalEpochs {
 public:
  void set_plan(const TypePlan& plan);
  const TypePlan& plan() const { return plan_; }
  // Hands the store's current epoch to the writer.
  void put_epoch(OutputStage& stage);
  // Hands an event at a GPS time to the writer.
  void put_event(OutputStage& stage, S32 week, D64 tow);
  // Values measured that no F14.3 field holds (written as blank fields).
  long unwritable_values() const { return unwritable_; }

 private:
  // Per constellation: the plan's signals and their places in the store.
  struct Listed {
    int count;
    U08 id[SIGNALS_PER_SYSTEM];
    U08 slot[SIGNALS_PER_SYSTEM];
  };
  TypePlan plan_;
  long unwritable_ = 0;
  Listed listed_[GNSS_NTYPE] = {};
};

#endif
