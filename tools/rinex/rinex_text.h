// Reads a RINEX file whatever its packing: plain text, gzip (any number of
// members) and Compact RINEX 1.0 (RINEX 2, .yyd) and 3.0 (.crx), which are
// expanded to RINEX text here, by this reader's own decoder. The text comes back with LF line ends.
#ifndef VLN_RINEX_TEXT_H
#define VLN_RINEX_TEXT_H

#include <memory>
#include <string>

// The RINEX text of a file line by line, as it is read: a day at 1 Hz costs
// a buffer, not the file. Compact RINEX is expanded an epoch at a time.
class RinexLines {
 public:
  RinexLines();
  ~RinexLines();
  // Opens a file (plain, gzip, Compact RINEX); false with a reason naming it.
  bool open(const std::string& path, std::string* error);
  // Text already read (or expanded); name stands for the file in messages.
  void open_text(const std::string& text, const std::string& name);
  // The next line without its line end; false at the end of the text or on
  // damage (error() then says where and why, the file named).
  bool next(std::string* line);
  const std::string& error() const { return error_; }
  // Whether the file is Compact RINEX (its lines come expanded).
  bool compact() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string error_;
};

// The RINEX text of a file; false with a reason when it cannot be read.
bool read_rinex_text(const std::string& path, std::string* text, std::string* error);
// Expands Compact RINEX 1.0 or 3.0 text to RINEX text as the standard
// expander writes it; false with a reason naming the line on damaged input.
bool crx_to_rinex(const std::string& crx, std::string* rinex, std::string* error);

#endif
