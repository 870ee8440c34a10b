// The standard writers' epochs: the store's signals of the current epoch
// gathered into one signal-level epoch item for the writer thread, satellite
// by satellite in the header's order of systems, each satellite's signals in
// its system's order of types; event items; and the plan of types the run
// follows (set before the writer starts, read by both threads).
#ifndef VLN_SIGNAL_EPOCH_H
#define VLN_SIGNAL_EPOCH_H

#include "obs_codes.h"
#include "output_stage.h"

void Signal_set_plan(const TypePlan& plan);
const TypePlan& Signal_plan();
// The systems of headers and epochs in their order, and how many there are.
const S16* Signal_system_order();
int Signal_system_count();
// Hands the store's current epoch to the writer.
void Signal_put_epoch(OutputStage& stage);
// Values measured that no F14.3 field holds (written as blank fields), since the reset.
long Signal_unwritable_values();
void Signal_reset_unwritable_values();
// Hands an event at a GPS time to the writer.
void Signal_put_event(OutputStage& stage, S32 week, D64 tow);

#endif
