// A service preset in the converter: its settings added to the command line
// (those the line does not give itself), and after the run its rules checked
// on the RINEX files the run wrote, each failed rule a warning on the console.
#ifndef VLN_RUN_PRESET_H
#define VLN_RUN_PRESET_H

#include <map>
#include <string>
#include <vector>

class RunPreset {
 public:
  // Takes "--preset NAME" out of the arguments; false with the error line
  // ("did you mean") for an unknown name.
  bool take(std::vector<std::string>* args, std::string* error);
  bool given() const { return !name_.empty(); }
  // The preset's long options, words (systems, -dual_freq) and station
  // settings for the command line, before the line's own.
  std::vector<std::string> arguments(const std::vector<std::string>& line) const;
  // Notes the files of the output folder before the run, to know afterwards
  // which ones it wrote.
  void before(const std::string& folder);
  // Checks the files written since before() against the rules; prints the warnings.
  void after() const;

 private:
  std::string name_, folder_;
  std::map<std::string, long long> files_;  // name -> size and time before the run
};

#endif
