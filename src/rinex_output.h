// The writer thread's side of the output: the files items go into (the run's
// pair, or the pair of the open period with --split), what each item does to
// them, and what became of the period files. The file set owns one for a
// run. The writer prints nothing: the converting thread reports once the
// writer has stopped, so the console reads the same on every run.
#ifndef VLN_RINEX_OUTPUT_H
#define VLN_RINEX_OUTPUT_H

#include <memory>
#include <string>
#include <vector>

#include "obs_codes.h"
#include "output_sink.h"
#include "output_stage.h"

class OutputFiles : public StageConsumer {
 public:
  // Takes the stage's items; writes them at once, on the calling thread,
  // until the writer starts. raw_name is the log, which no renamed file may
  // replace; plan, the run's types, which the standard writers' epochs follow.
  OutputFiles(const std::string& raw_name, OutputStage& stage, const TypePlan& plan);
  ~OutputFiles() override;
  // The files of a run without periods, opened by the caller; the GLONASS
  // navigation file of RINEX 2.11 (not opened for other versions).
  Sink* obs_sink();
  Sink* nav_sink();
  Sink* gnav_sink();
  // Starts writing, with the writer thread and the files' threads or without.
  void start(bool threads);
  // Waits until everything handed over is written, and stops the writer.
  void stop();
  // What an item does to the files; on the writer thread.
  void consume(U32 kind, const U08* payload, U32 len) override;
  // Values of the original writer's Compact RINEX that no 14-column field
  // holds, written as blank fields.
  long crx_blank_values() const;
  // Period files completed, and the files left under their provisional names.
  int periods_written() const;
  const std::vector<std::string>& incomplete_files() const;
  // RINEX 2.11's period navigation files of GPS or GLONASS left out for lack of records.
  long unwritten_nav_files(bool glonass) const;
  // The first write error (an errno value) of any period's observation or navigation file.
  int period_obs_errno() const;
  int period_nav_errno() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

#endif
