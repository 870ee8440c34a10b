// Epoch selection: which complete epochs and event stamps go into the
// observation file when a time window or a sampling interval is set, and the
// loss-of-lock flags of dropped epochs, carried to the next written
// observation of the same signal so that no cycle slip goes unseen.
#ifndef VLN_EPOCH_SELECT_H
#define VLN_EPOCH_SELECT_H

#include "data_type.h"
#include "settings.h"

// Takes the window and interval of the settings (none: every epoch is written).
void Select_configure(const Settings& s);
// Clears the counts and held flags at the start of a run.
void Select_start_run();
// Decides on the store's complete epoch: 1 = write it (held flags are added
// to its observations first), 0 = drop it (its loss-of-lock flags are held).
S16 Select_take_epoch();
// The line dropped (bytes may be missing): the next observation of every
// signal carries a loss of lock.
void Select_mark_gap();
// A live source: a gap of more than ten data intervals between epochs counts
// as a drop too.
void Select_set_live(bool live);
// 1 when an event stamp at the store's time is written: inside the window.
S16 Select_take_event();
// The shortest spacing of consecutive written epochs in seconds; 0 below two epochs.
D64 Select_data_interval();
// Prints how many epochs the selection kept, when a selection is set.
void Select_report();

#endif
