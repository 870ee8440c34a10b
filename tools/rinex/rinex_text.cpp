// RINEX reader: gzip through zlib's gzip reader (which reads multi-member
// files), Compact RINEX 1.0 and 3.0 through a decoder written from the
// format's description: epoch lines and flag strings restored from text
// differences, observations and clock from their difference arcs. Version 1.0
// (for RINEX 2) differs in its epoch lines (a full one starts with '&', the
// satellites follow from column 33, the clock is in nanoseconds) and in the
// records it restores (five fields a line, the epoch line continued every 12
// satellites).
#include "rinex_text.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif
#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>
#include <vector>

namespace {

constexpr size_t kMaxFileBytes = (size_t)4 << 30;
constexpr int kMaxOrder = 9;

struct Arc {
  bool active = false;
  int order = 0;
  int count = 0;
  int64_t d[kMaxOrder + 1] = {};
};

struct SatState {
  long epoch = -1;  // the last epoch it was in
  std::string flags;
  std::vector<Arc> arcs;
};

// Reads the next line (without its line end, CR LF too); false at the end.
bool next_line(const std::string& text, size_t* at, std::string* line) {
  if (*at >= text.size()) return false;
  size_t nl = text.find('\n', *at);
  if (nl == std::string::npos) nl = text.size();
  size_t end = nl;
  if (end > *at && text[end - 1] == '\r') end--;
  line->assign(text, *at, end - *at);
  *at = nl + 1;
  return true;
}

void cut_trailing_blanks(std::string* s) {
  while (!s->empty() && s->back() == ' ') s->pop_back();
}

// Restores new text from old and a difference: blank keeps, '&' blanks, others replace.
std::string apply_diff(const std::string& old_text, const std::string& diff) {
  std::string out = old_text;
  for (size_t i = 0; i < diff.size(); i++) {
    char c = diff[i] == '&' ? ' ' : diff[i];
    if (i >= out.size())
      out += c;
    else if (diff[i] != ' ')
      out[i] = c;
  }
  return out;
}

bool parse_int64(const std::string& s, int64_t* v) {
  if (s.empty()) return false;
  size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
  if (i == s.size()) return false;
  uint64_t m = 0;
  for (; i < s.size(); i++) {
    if (s[i] < '0' || s[i] > '9' || m > (uint64_t)1e17) return false;
    m = m * 10 + (uint64_t)(s[i] - '0');
  }
  *v = s[0] == '-' ? -(int64_t)m : (int64_t)m;
  return true;
}

// One token of an arc: "d&v" starts it, a bare number continues it.
bool arc_value(Arc* a, const std::string& token, int64_t* value) {
  size_t amp = token.find('&');
  if (amp != std::string::npos) {
    if (amp != 1 || token[0] < '0' || token[0] > '9') return false;
    if (!parse_int64(token.substr(2), value)) return false;
    a->active = true;
    a->order = token[0] - '0';
    a->count = 0;
    a->d[0] = *value;
    return true;
  }
  int64_t t;
  if (!a->active || !parse_int64(token, &t)) return false;
  int c = a->count + 1 < a->order ? a->count + 1 : a->order;
  int64_t e[kMaxOrder + 1];
  e[c] = t;
  for (int j = c - 1; j >= 0; j--) e[j] = e[j + 1] + a->d[j];
  for (int j = 0; j <= c; j++) a->d[j] = e[j];
  a->count = c;
  *value = e[0];
  return true;
}

// Appends a number of 10^-decimals units as the standard expander writes it:
// right-aligned in width, no 0 before the point when the magnitude is below
// 1; false when it does not fit.
bool append_fixed(std::string* out, int64_t v, int decimals, int width) {
  uint64_t m = v < 0 ? (uint64_t)(-(v + 1)) + 1 : (uint64_t)v;
  char text[40];
  char* end = text + sizeof text;
  char* p = end;
  for (int i = 0; i < decimals; i++, m /= 10) *--p = (char)('0' + m % 10);
  *--p = '.';
  for (; m > 0; m /= 10) *--p = (char)('0' + m % 10);
  if (v < 0) *--p = '-';
  int len = (int)(end - p);
  if (len > width) return false;
  out->append((size_t)(width - len), ' ');
  out->append(p, (size_t)len);
  return true;
}

// Lines of the packed text, whatever holds it.
class RawLines {
 public:
  virtual ~RawLines() = default;
  // The next line without its line end; false at the end.
  virtual bool next(std::string* line) = 0;
  // Whether the text has ended (the last next() read its last line).
  virtual bool at_end() const = 0;
};

class StringLines : public RawLines {
 public:
  explicit StringLines(const std::string& text) : text_(text) {}
  bool next(std::string* line) override { return next_line(text_, &at_, line); }
  bool at_end() const override { return at_ >= text_.size(); }

 private:
  const std::string& text_;
  size_t at_ = 0;
};

// Expands Compact RINEX item by item: the header first, then each epoch or
// special record on demand, appending RINEX lines to the output.
class CrxDecoder {
 public:
  CrxDecoder(RawLines* in, std::string* out, std::string* error)
      : in_(in), out_(out), error_(error) {}
  bool header();
  // Expands the next epoch or special record: 1, 0 at the end, -1 on damage.
  int step();

 private:
  bool fail(const std::string& why) {
    *error_ = "Compact RINEX line " + std::to_string(line_no_) + ": " + why;
    return false;
  }
  bool read(std::string* line) {
    if (!in_->next(line)) return false;
    line_no_++;
    return true;
  }
  bool types_line(const std::string& line);
  bool special_record(const std::string& line);
  bool epoch(const std::string& line);
  bool epoch2(const std::string& line);
  bool satellite(const std::string& id);
  bool is_special(const std::string& line) const;

  RawLines* in_;
  std::string* out_;
  std::string* error_;
  long line_no_ = 0;
  bool cut_ = false;           // the file ended inside an epoch
  int version_ = 3;            // Compact RINEX 3.0, or 1.0 for RINEX 2
  std::map<char, int> types_;  // N(sys); RINEX 2: one N for every system, under ' '

  std::string epoch_line_;
  bool need_full_ = true;
  // Satellites by their three-character ID; known when in the previous epoch.
  std::unordered_map<uint32_t, SatState> sats_;
  long epoch_ = 0;
  std::string rinex_;
  size_t first_epoch_line_end_ = 0;
  Arc clock_;
};

bool CrxDecoder::types_line(const std::string& line) {
  if (version_ == 1) {  // # / TYPES OF OBSERV: the count of the one list in columns 1-6
    std::string count = line.substr(0, 6);
    int64_t n;
    if (count.find_first_not_of(' ') == std::string::npos) return true;  // a continuation
    if (!parse_int64(count.erase(0, count.find_first_not_of(' ')), &n) || n < 0 || n > 999)
      return fail("bad # / TYPES OF OBSERV");
    types_[' '] = (int)n;
    return true;
  }
  if (line.size() < 6 || line[0] == ' ') return true;
  int64_t n;
  std::string count = line.substr(3, 3);
  while (!count.empty() && count[0] == ' ') count.erase(0, 1);
  if (!parse_int64(count, &n) || n < 0 || n > 999) return fail("bad SYS / # / OBS TYPES");
  types_[line[0]] = (int)n;
  return true;
}

bool CrxDecoder::header() {
  std::string line;
  if (!read(&line) || (line.compare(0, 3, "3.0") != 0 && line.compare(0, 3, "1.0") != 0) ||
      line.find("CRINEX VERS") == std::string::npos)
    return fail("not Compact RINEX 1.0 or 3.0 (no CRINEX VERS / TYPE line)");
  version_ = line[0] == '1' ? 1 : 3;
  if (!read(&line) || line.find("CRINEX PROG / DATE") == std::string::npos)
    return fail("no CRINEX PROG / DATE line");
  char rinex = version_ == 1 ? '2' : '3';
  if (!read(&line) || line.size() < 21 || line[20] != 'O' ||
      (line[5] != rinex && !(version_ == 3 && line[5] == '4')))
    return fail(version_ == 1 ? "not a RINEX 2 observation header"
                              : "not a RINEX 3 or 4 observation header");
  const char* types_label = version_ == 1 ? "# / TYPES OF OBSERV" : "SYS / # / OBS TYPES";
  for (;;) {
    *out_ += line + "\n";
    std::string label = line.size() > 60 ? line.substr(60) : "";
    if (label.compare(0, 19, types_label) == 0 && !types_line(line)) return false;
    if (label.compare(0, 13, "END OF HEADER") == 0) return true;
    if (!read(&line)) return fail("no END OF HEADER");
  }
}

bool CrxDecoder::is_special(const std::string& line) const {
  size_t flag = version_ == 1 ? 28 : 31;
  char first = version_ == 1 ? '&' : '>';
  return !line.empty() && line[0] == first && line.size() > flag && line[flag] >= '2' &&
         line[flag] <= '9';
}

bool CrxDecoder::special_record(const std::string& line) {
  std::string copy = line;
  if (version_ == 1) copy[0] = ' ';  // RINEX 2 epoch lines start with a blank
  cut_trailing_blanks(&copy);
  *out_ += copy + "\n";
  int64_t k = 0;
  std::string count = version_ == 1       ? (line.size() >= 32 ? line.substr(29, 3) : "0")
                      : line.size() >= 35 ? line.substr(32, 3)
                                          : "0";
  size_t digit = count.find_first_not_of(' ');
  if (digit == std::string::npos || !parse_int64(count.substr(digit), &k) || k < 0)
    return fail("bad record count of a special record");
  for (int64_t i = 0; i < k; i++) {
    std::string more;
    if (!read(&more)) return fail("special record cut short");
    *out_ += more + "\n";
    if (more.size() > 60 &&
        more.compare(60, 19, version_ == 1 ? "# / TYPES OF OBSERV" : "SYS / # / OBS TYPES") == 0 &&
        !types_line(more))
      return false;
  }
  need_full_ = true;
  clock_.active = false;
  return true;
}

bool CrxDecoder::satellite(const std::string& id) {
  std::string line;
  if (!read(&line)) {
    // The file ends inside the epoch: a file cut short, which the reader
    // reports as it does a plain file cut there (the epoch's satellites so far).
    cut_ = in_->at_end();
    return cut_ || fail("data line of " + id + " missing");
  }
  auto n_it = types_.find(version_ == 1 ? ' ' : id[0]);
  if (n_it == types_.end()) return fail("no observation types for " + id.substr(0, 1));
  int n = n_it->second;
  uint32_t key = (uint32_t)(unsigned char)id[0] << 16 | (uint32_t)(unsigned char)id[1] << 8 |
                 (unsigned char)id[2];
  SatState& state = sats_[key];
  if (state.epoch == epoch_) return fail("satellite " + id + " twice in one epoch");
  bool is_new = state.epoch != epoch_ - 1;
  state.epoch = epoch_;
  state.arcs.resize((size_t)n);
  if (is_new) {
    state.flags.clear();
    for (Arc& a : state.arcs) a.active = false;
  }
  // Tokens up to the first n blanks; the rest is the flag difference.
  size_t from = 0;
  size_t starts[1000], ends[1000];
  for (int j = 0; j < n; j++) {
    size_t blank = from <= line.size() ? line.find(' ', from) : std::string::npos;
    starts[j] = from;
    ends[j] = blank == std::string::npos ? (from <= line.size() ? line.size() : from) : blank;
    from = blank == std::string::npos ? line.size() + 1 : blank + 1;
  }
  std::string flag_diff = from < line.size() ? line.substr(from) : "";
  state.flags = apply_diff(state.flags, flag_diff);
  state.flags.resize(2 * (size_t)n, ' ');
  // RINEX 3: the ID and every field on one line; RINEX 2: five fields a line.
  rinex_ = version_ == 1 ? "" : id;
  for (int j = 0; j < n; j++) {
    Arc& a = state.arcs[(size_t)j];
    if (starts[j] >= ends[j]) {  // a missing value, with blank flags
      a.active = false;
      rinex_.append(16, ' ');
      if (version_ == 1 && (j % 5 == 4 || j == n - 1)) {
        cut_trailing_blanks(&rinex_);
        *out_ += rinex_ + '\n';
        rinex_.clear();
      }
      continue;
    } else {
      int64_t v;
      std::string token = line.substr(starts[j], ends[j] - starts[j]);
      if (!arc_value(&a, token, &v)) return fail("bad value '" + token + "'");
      if (!append_fixed(&rinex_, v, 3, 14)) return fail("value wider than its field");
    }
    rinex_.append(state.flags, 2 * (size_t)j, 2);
    if (version_ == 1 && (j % 5 == 4 || j == n - 1)) {
      cut_trailing_blanks(&rinex_);
      *out_ += rinex_ + '\n';
      rinex_.clear();
    }
  }
  if (version_ == 1) return true;
  cut_trailing_blanks(&rinex_);
  *out_ += rinex_;
  *out_ += '\n';
  return true;
}

// A Compact RINEX 1.0 epoch: the RINEX 2 epoch line with all its satellites
// from column 33 and no clock, full ('&' first) or as a difference.
bool CrxDecoder::epoch2(const std::string& line) {
  epoch_++;
  if (!line.empty() && line[0] == '&') {
    epoch_line_ = " " + line.substr(1);
    epoch_++;  // every satellite is new
    need_full_ = false;
  } else {
    if (need_full_) return fail("a difference where a full epoch line is needed");
    epoch_line_ = apply_diff(epoch_line_, line);
  }
  cut_trailing_blanks(&epoch_line_);
  if (epoch_line_.size() < 32 || epoch_line_[28] < '0' || epoch_line_[28] > '9')
    return fail("bad epoch line");
  std::string count = epoch_line_.substr(29, 3);
  int64_t nsat;
  if (!parse_int64(count.erase(0, count.find_first_not_of(' ')), &nsat) || nsat < 0)
    return fail("bad satellite count");
  if (epoch_line_.size() < 32 + 3 * (size_t)nsat) return fail("satellite list too short");
  // The first line holds 12 satellites and the clock in columns 69-80; the
  // others continue the list after 32 blanks.
  std::string rinex = epoch_line_.substr(0, 32);
  for (int64_t i = 0; i < nsat; i++) {
    if (i > 0 && i % 12 == 0) {
      if (i == 12) first_epoch_line_end_ = rinex.size();
      rinex += "\n" + std::string(32, ' ');
    }
    rinex += epoch_line_.substr(32 + 3 * (size_t)i, 3);
  }
  std::string clock_line;
  if (!read(&clock_line)) {
    cut_ = in_->at_end();  // cut after the epoch line: an epoch without its satellites
    if (cut_) *out_ += rinex + "\n";
    return cut_ || fail("clock line missing");
  }
  if (clock_line.empty()) {
    clock_.active = false;
  } else {
    int64_t clock;
    if (clock_line.find('&') == std::string::npos && !clock_.active)
      return fail("clock difference without a clock");
    if (!arc_value(&clock_, clock_line, &clock)) return fail("bad clock");
    std::string first = nsat > 12 ? rinex.substr(0, first_epoch_line_end_) : rinex;
    std::string rest = nsat > 12 ? rinex.substr(first_epoch_line_end_) : "";
    first.resize(68, ' ');
    if (!append_fixed(&first, clock, 9, 12)) return fail("clock wider than its field");
    rinex = first + rest;
  }
  *out_ += rinex + "\n";
  for (int64_t i = 0; i < nsat && !cut_; i++)
    if (!satellite(epoch_line_.substr(32 + 3 * (size_t)i, 3))) return false;
  return true;
}

bool CrxDecoder::epoch(const std::string& line) {
  epoch_++;
  if (line[0] == '>') {
    epoch_line_ = line;
    epoch_++;  // every satellite is new
    need_full_ = false;
  } else {
    if (need_full_) return fail("a difference where a full epoch line is needed");
    epoch_line_ = apply_diff(epoch_line_, line);
  }
  cut_trailing_blanks(&epoch_line_);
  if (epoch_line_.size() < 35 || epoch_line_[0] != '>' || epoch_line_[29] != ' ' ||
      epoch_line_[30] != ' ' || epoch_line_[31] < '0' || epoch_line_[31] > '9')
    return fail("bad epoch line");
  std::string count = epoch_line_.substr(32, 3);
  int64_t nsat;
  if (!parse_int64(count.erase(0, count.find_first_not_of(' ')), &nsat) || nsat < 0)
    return fail("bad satellite count");
  if (nsat > 0 && epoch_line_.size() < 41 + 3 * (size_t)nsat)
    return fail("satellite list too short");
  std::string clock_line;
  if (!read(&clock_line)) return fail("clock line missing");
  std::string rinex = epoch_line_.substr(0, 41);
  if (clock_line.empty()) {
    clock_.active = false;
    cut_trailing_blanks(&rinex);
  } else {
    int64_t clock;
    if (clock_line.find('&') == std::string::npos && !clock_.active)
      return fail("clock difference without a clock");
    if (!arc_value(&clock_, clock_line, &clock)) return fail("bad clock");
    rinex.resize(41, ' ');
    if (!append_fixed(&rinex, clock, 12, 15)) return fail("clock wider than its field");
  }
  *out_ += rinex + "\n";
  for (int64_t i = 0; i < nsat; i++)
    if (!satellite(epoch_line_.substr(41 + 3 * (size_t)i, 3))) return false;
  return true;
}

int CrxDecoder::step() {
  std::string line;
  for (;;) {
    if (cut_ || !read(&line)) return 0;
    if (line.empty() && need_full_ && in_->at_end()) return 0;
    if (is_special(line)) return special_record(line) ? 1 : -1;
    if (version_ == 1) return epoch2(line) ? 1 : -1;
    if (!line.empty() && line[0] == '&') continue;  // escape lines
    return epoch(line) ? 1 : -1;
  }
}

bool read_gzip(const std::string& path, std::string* text, std::string* error) {
#ifdef _WIN32
  int n_wide = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  std::wstring wide(n_wide > 0 ? (size_t)n_wide : 1, L'\0');
  if (n_wide > 0) MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, &wide[0], n_wide);
  gzFile f = gzopen_w(wide.c_str(), "rb");
#else
  gzFile f = gzopen(path.c_str(), "rb");
#endif
  if (f == nullptr) {
    *error = errno != 0 ? strerror(errno) : "cannot be opened";
    return false;
  }
  gzbuffer(f, 1 << 20);
  std::vector<char> chunk((size_t)1 << 22);
  int n;
  while ((n = gzread(f, chunk.data(), (unsigned)chunk.size())) > 0 && text->size() < kMaxFileBytes)
    text->append(chunk.data(), (size_t)n);
  int code = 0, saved = errno;
  // Copied before the stream goes: the text is the stream's. zlib puts the
  // path in front, which the caller adds itself; a system error is errno's.
  std::string why = gzerror(f, &code);
  if (code == Z_ERRNO) why = strerror(saved);
  if (why.compare(0, path.size() + 2, path + ": ") == 0) why.erase(0, path.size() + 2);
  gzclose(f);
  if (n < 0 || (code != Z_OK && code != Z_BUF_ERROR)) {
    *error = why;
    return false;
  }
  return true;
}

// A file's lines as zlib reads them (gzip of any number of members, or plain).
class GzLines : public RawLines {
 public:
  ~GzLines() override {
    if (f_ != nullptr) gzclose(f_);
  }
  bool open(const std::string& path, std::string* error) {
#ifdef _WIN32
    int n_wide = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(n_wide > 0 ? (size_t)n_wide : 1, L'\0');
    if (n_wide > 0) MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, &wide[0], n_wide);
    f_ = gzopen_w(wide.c_str(), "rb");
#else
    f_ = gzopen(path.c_str(), "rb");
#endif
    if (f_ == nullptr) {
      *error = errno != 0 ? strerror(errno) : "cannot be opened";
      return false;
    }
    gzbuffer(f_, 1 << 20);
    path_ = path;
    return fill(error);
  }
  bool next(std::string* line) override {
    if (!back_.empty()) {
      line->swap(back_);
      back_.clear();
      has_back_ = false;
      return true;
    }
    if (has_back_) {  // an empty line put back
      line->clear();
      has_back_ = false;
      return true;
    }
    for (;;) {
      size_t nl = buffer_.find('\n', at_);
      if (nl != std::string::npos || eof_) {
        if (at_ >= buffer_.size() && eof_) return false;
        size_t end = nl == std::string::npos ? buffer_.size() : nl;
        size_t cut = end > at_ && buffer_[end - 1] == '\r' ? end - 1 : end;
        line->assign(buffer_, at_, cut - at_);
        at_ = end + 1;
        return true;
      }
      buffer_.erase(0, at_);
      at_ = 0;
      if (!fill(&error_)) return false;
    }
  }
  bool at_end() const override {
    return eof_ && at_ >= buffer_.size() && back_.empty() && !has_back_;
  }
  void put_back(const std::string& line) {
    back_ = line;
    has_back_ = true;
  }
  const std::string& error() const { return error_; }

 private:
  // Reads the next piece; false on a read error (the reason in error).
  bool fill(std::string* error) {
    if (eof_) return true;
    char chunk[1 << 16];
    int n = gzread(f_, chunk, sizeof chunk);
    if (n > 0) {
      buffer_.append(chunk, (size_t)n);
      return true;
    }
    eof_ = true;
    int code = 0, saved = errno;
    std::string why = gzerror(f_, &code);
    if (code == Z_ERRNO) why = strerror(saved);
    if (why.compare(0, path_.size() + 2, path_ + ": ") == 0) why.erase(0, path_.size() + 2);
    if (n < 0 || (code != Z_OK && code != Z_BUF_ERROR)) {
      *error = why;
      return false;
    }
    return true;
  }

  gzFile f_ = nullptr;
  std::string path_, buffer_, back_, error_;
  size_t at_ = 0;
  bool eof_ = false, has_back_ = false;
};

}  // namespace

struct RinexLines::Impl {
  std::string name;
  std::string text;  // open_text: the whole text
  std::unique_ptr<GzLines> file;
  std::unique_ptr<StringLines> string_lines;
  RawLines* raw = nullptr;
  std::unique_ptr<CrxDecoder> crx;  // a Compact file: its expanded lines come through out
  std::string out;
  size_t out_at = 0;
  std::string crx_error;
};

RinexLines::RinexLines() : impl_(new Impl) {}
RinexLines::~RinexLines() = default;

bool RinexLines::open(const std::string& path, std::string* error) {
  impl_.reset(new Impl);
  error_.clear();
  impl_->name = path;
  impl_->file.reset(new GzLines);
  std::string why;
  if (!impl_->file->open(path, &why)) {
    *error = path + ": " + why;
    return false;
  }
  impl_->raw = impl_->file.get();
  std::string first;
  if (impl_->file->next(&first)) {
    bool compact = (first.compare(0, 3, "3.0") == 0 || first.compare(0, 3, "1.0") == 0) &&
                   first.find("CRINEX VERS") < 80;
    impl_->file->put_back(first);
    if (compact) {
      impl_->crx.reset(new CrxDecoder(impl_->raw, &impl_->out, &impl_->crx_error));
      if (!impl_->crx->header()) {
        *error = path + ": " + impl_->crx_error;
        return false;
      }
    }
  } else if (!impl_->file->error().empty()) {
    *error = path + ": " + impl_->file->error();
    return false;
  }
  return true;
}

void RinexLines::open_text(const std::string& text, const std::string& name) {
  impl_.reset(new Impl);
  error_.clear();
  impl_->name = name;
  impl_->text = text;
  impl_->string_lines.reset(new StringLines(impl_->text));
  impl_->raw = impl_->string_lines.get();
}

bool RinexLines::compact() const { return impl_->crx != nullptr; }

bool RinexLines::next(std::string* line) {
  Impl& m = *impl_;
  if (m.raw == nullptr || !error_.empty()) return false;
  if (m.crx == nullptr) {
    if (m.raw->next(line)) {
      if (!line->empty() && line->back() == '\r') line->pop_back();
      return true;
    }
    if (m.file != nullptr && !m.file->error().empty()) error_ = m.name + ": " + m.file->error();
    return false;
  }
  while (m.out_at >= m.out.size()) {
    m.out.clear();
    m.out_at = 0;
    int r = m.crx->step();
    if (r < 0 || (m.file != nullptr && !m.file->error().empty())) {
      error_ = m.name + ": " + (r < 0 ? m.crx_error : m.file->error());
      return false;
    }
    if (r == 0 && m.out.empty()) return false;
  }
  size_t nl = m.out.find('\n', m.out_at);
  if (nl == std::string::npos) nl = m.out.size();
  line->assign(m.out, m.out_at, nl - m.out_at);
  m.out_at = nl + 1;
  return true;
}

bool crx_to_rinex(const std::string& crx, std::string* rinex, std::string* error) {
  rinex->clear();
  StringLines in(crx);
  CrxDecoder decoder(&in, rinex, error);
  if (!decoder.header()) return false;
  int r;
  while ((r = decoder.step()) == 1) {
  }
  return r == 0;
}

bool read_rinex_text(const std::string& path, std::string* text, std::string* error) {
  std::string raw;
  // gzread reads plain files as they are, too.
  bool ok = read_gzip(path, &raw, error);
  bool compact = ok && (raw.compare(0, 3, "3.0") == 0 || raw.compare(0, 3, "1.0") == 0) &&
                 raw.find("CRINEX VERS") < 80;
  if (compact) ok = crx_to_rinex(raw, text, error);
  if (!ok) {
    *error = path + ": " + *error;
    return false;
  }
  if (compact) return true;
  if (raw.find('\r') == std::string::npos) {  // LF already: nothing to copy
    text->swap(raw);
    return true;
  }
  text->clear();
  text->reserve(raw.size());
  size_t from = 0;
  for (size_t cr = raw.find("\r\n"); cr != std::string::npos; cr = raw.find("\r\n", from)) {
    text->append(raw, from, cr - from);
    from = cr + 1;
  }
  text->append(raw, from, std::string::npos);
  return true;
}
