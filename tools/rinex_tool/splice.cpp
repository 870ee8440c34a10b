// The splice: every input opened as a stream, checked to be of one station
// and one interval, its codes placed in the output's lists, then the epochs
// merged in time order into one writer (each time once), thinned and cut
// as asked, the loss of lock of a dropped epoch carried to the next kept one.
#include "splice.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "code_map.h"
#include "file_io.h"
#include "nav_merge.h"
#include "obs_reader.h"
#include "obs_writer.h"
#include "output_names.h"

namespace {

constexpr double kSameEpoch = 1e-6;     // seconds: two files' epochs at one time
constexpr double kSameValue = 0.0015;   // two values of one field that agree
constexpr double kOnInterval = 1e-3;    // seconds from a multiple of --interval, as the converter
const char kSystemOrder[] = "GRECJSI";  // systems in header and epoch order

struct Input {
  std::string path;
  std::unique_ptr<ObsStream> stream;
  ObsRecord now;
  bool has = false;
  bool untimed = false;  // the record is special and has no time of its own
  // Per system, for each of its input types: the output index, -1 when left out.
  std::map<char, std::vector<int>> place;
};

std::string upper4(const std::string& s) {
  std::string out = s.substr(0, 4);
  for (char& c : out) c = (char)toupper((unsigned char)c);
  return out;
}

std::string base_name(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The station a file is of: its marker name's first four characters, else its name's.
std::string station_of(const Input& in) {
  const std::string& marker = in.stream->header().header.marker_name;
  return upper4(marker.empty() ? base_name(in.path) : marker);
}

int system_rank(char sys) {
  const char* p = strchr(kSystemOrder, sys);
  return p == nullptr ? 99 : (int)(p - kSystemOrder);
}

std::string seconds_text(double s) {
  char text[32];
  snprintf(text, sizeof text, "%g s", s);
  return text;
}

class Splicer {
 public:
  Splicer(const SpliceOptions& o, SpliceResult* r) : o_(o), r_(*r) {}
  void run();

 private:
  bool open_inputs();
  bool same_station_and_interval();
  void plan_types();
  bool kept_system(char sys) const;
  bool kept_code(const std::string& in, const std::string& out) const;
  void merge();
  bool advance(Input* in);
  void write_special(const Input& in);
  bool epoch_kept(double t) const;
  void write_epoch(const Input& in);
  void compare(const Input& a, const Input& b);
  OutHeader header() const;
  void kept_lines(OutHeader* h) const;
  void fail(int status, const std::string& why) {
    r_.status = status;
    r_.console.push_back(why);
  }

  const SpliceOptions& o_;
  SpliceResult& r_;
  std::vector<Input> in_;
  int version_ = 305;
  OutHeader out_;
  std::vector<std::string> notes_;
  ObsWriter writer_;
  double last_written_ = -1e300;
  long repeated_ = 0, differing_ = 0, thinned_ = 0, outside_ = 0, back_ = 0;
  std::string first_difference_;
  std::map<std::string, unsigned char> carried_;  // "G05 3": loss of lock of a dropped epoch
  std::vector<OutSat> sats_;
  std::set<char> written_;          // systems with records written
  std::set<std::string> specials_;  // special records written, by flag, time and lines
  long specials_written_ = 0;
  int last_input_ = -1;  // the input of the last epoch written
};

bool Splicer::open_inputs() {
  for (const std::string& path : o_.inputs) {
    Input in;
    in.path = path;
    in.stream.reset(new ObsStream);
    std::string error;
    if (!in.stream->open(path, &error)) {
      fail(2, "vln_rinex: " + error);
      return false;
    }
    in.stream->keep_special_records();
    in_.push_back(std::move(in));
  }
  return true;
}

bool Splicer::same_station_and_interval() {
  const Input& first = in_[0];
  for (const Input& in : in_) {
    if (station_of(in) != station_of(first)) {
      fail(2, "vln_rinex: " + in.path + " is of station " + station_of(in) + ", " + first.path +
                  " of " + station_of(first) + ": a splice joins the files of one station");
      return false;
    }
    double a = in.stream->header().interval, b = first.stream->header().interval;
    if (a > 0 && b > 0 && std::fabs(a - b) > 1e-6 && !o_.settings.given[SET_INTERVAL]) {
      fail(2, "vln_rinex: " + in.path + " has an interval of " + seconds_text(a) + ", " +
                  first.path + " of " + seconds_text(b) +
                  ": give --interval to write them at one interval");
      return false;
    }
  }
  return true;
}

bool Splicer::kept_system(char sys) const {
  return o_.systems.empty() || o_.systems.find(sys) != std::string::npos;
}

bool Splicer::kept_code(const std::string& in, const std::string& out) const {
  if (o_.types.empty()) return true;
  return std::find(o_.types.begin(), o_.types.end(), in) != o_.types.end() ||
         std::find(o_.types.begin(), o_.types.end(), out) != o_.types.end();
}

// The output's codes: each input's, in the order they come, mapped into the
// output version; what the version has no place for is named.
void Splicer::plan_types() {
  std::map<std::string, bool> noted;
  auto note = [&](const std::string& text) {
    if (!noted[text]) notes_.push_back(text);
    noted[text] = true;
  };
  char vname[8];
  snprintf(vname, sizeof vname, "%.2f", version_ / 100.0);
  for (Input& in : in_) {
    const ObsFile& h = in.stream->header();
    int from = h.version < 3 ? 305 : Code_version(h.version);
    for (const auto& t : h.types) {
      char sys = t.first;
      std::vector<int>& place = in.place[sys];
      place.assign(t.second.size(), -1);
      if (!kept_system(sys)) continue;
      if (version_ == 211 && std::string("GRES").find(sys) == std::string::npos) {
        note(std::string(1, sys) + ": no such system in RINEX 2.11");
        continue;
      }
      std::vector<std::string>& list = out_.types[version_ == 211 ? ' ' : sys];
      for (size_t k = 0; k < t.second.size(); k++) {
        const std::string& code = t.second[k];
        if (code == "   ") continue;  // RINEX 2: a type of another system
        std::string mapped =
            version_ == 211 ? Code_to_rinex2(sys, code) : Code_between(sys, code, from, version_);
        if (!kept_code(code, mapped)) continue;
        if (mapped.empty()) {
          note(std::string(1, sys) + " " + code + ": no RINEX " + std::string(vname) + " code");
          continue;
        }
        auto at = std::find(list.begin(), list.end(), mapped);
        if (version_ == 211 && at != list.end()) {
          // One 2.11 type a band: the first code that fills it stays.
          bool mine = false;
          for (size_t j = 0; j < k; j++) mine = mine || place[j] == (int)(at - list.begin());
          if (mine) {
            note(std::string(1, sys) + " " + code + ": 2.11 has one " + mapped +
                 ", an earlier code's");
            continue;
          }
        }
        if (at == list.end()) at = list.insert(list.end(), mapped);
        place[k] = (int)(at - list.begin());
      }
      if (list.empty()) out_.types.erase(version_ == 211 ? ' ' : sys);
    }
  }
}

bool Splicer::epoch_kept(double t) const {
  const Settings& s = o_.settings;
  if (s.given[SET_START] && t < s.start) return false;
  if (s.given[SET_END] && t >= s.end) return false;
  return true;
}

// The epoch of one input as output satellites: values in the output's code
// order, a dropped epoch's loss of lock carried in.
void Splicer::write_epoch(const Input& in) {
  const ObsRecord& e = in.now;
  sats_.clear();
  for (const ObsSat& s : e.sats) {
    auto p = in.place.find(s.sys);
    auto list = out_.types.find(version_ == 211 ? ' ' : s.sys);
    if (p == in.place.end() || list == out_.types.end()) continue;
    size_t n = list->second.size();
    OutSat o{s.sys, s.prn, std::vector<double>(n, NAN), std::vector<unsigned char>(n, 0),
             std::vector<unsigned char>(n, 0)};
    bool any = false;
    for (size_t k = 0; k < p->second.size(); k++) {
      int at = p->second[k];
      if (at < 0) continue;
      double v = e.values[s.first_value + k];
      if (std::isnan(v)) continue;
      o.values[(size_t)at] = v;
      o.lli[(size_t)at] = e.lli[s.first_value + k];
      o.ssi[(size_t)at] = e.ssi[s.first_value + k];
      any = true;
    }
    if (!any) continue;
    char key[48];
    for (size_t k = 0; k < o.values.size(); k++) {
      snprintf(key, sizeof key, "%c%02d %zu", s.sys, s.prn, k);
      auto c = carried_.find(key);
      if (c != carried_.end() && !std::isnan(o.values[k])) {
        o.lli[k] = (unsigned char)(o.lli[k] | c->second);
        carried_.erase(c);
      }
    }
    written_.insert(o.sys);
    sats_.push_back(o);
  }
  std::stable_sort(sats_.begin(), sats_.end(), [](const OutSat& a, const OutSat& b) {
    return system_rank(a.sys) != system_rank(b.sys) ? system_rank(a.sys) < system_rank(b.sys)
                                                    : a.prn < b.prn;
  });
  writer_.epoch(e.t, e.flag, sats_);
  last_written_ = e.t;
}

// Two files' records of one epoch: the first is written; values they both
// hold that differ are counted and the first named.
void Splicer::compare(const Input& a, const Input& b) {
  bool differ = false;
  for (const ObsSat& sb : b.now.sats) {
    for (const ObsSat& sa : a.now.sats) {
      if (sa.sys != sb.sys || sa.prn != sb.prn) continue;
      const std::vector<std::string>& ta = a.stream->header().types.at(sa.sys);
      const std::vector<std::string>& tb = b.stream->header().types.at(sb.sys);
      for (size_t i = 0; i < ta.size(); i++)
        for (size_t j = 0; j < tb.size(); j++) {
          if (ta[i] != tb[j]) continue;
          double x = a.now.values[sa.first_value + i], y = b.now.values[sb.first_value + j];
          if (std::isnan(x) || std::isnan(y) || std::fabs(x - y) <= kSameValue || differ) continue;
          differ = true;
          if (first_difference_.empty()) {
            char text[256];
            snprintf(text, sizeof text, "%c%02d %s: %.3f in %s, %.3f in %s", sa.sys, sa.prn,
                     ta[i].c_str(), x, a.path.c_str(), y, b.path.c_str());
            first_difference_ = text;
          }
        }
    }
  }
  if (differ) differing_++;
}

// The next record of an input; a special record without a time takes the
// time of the input's epoch before it, so that it stays where it stood.
bool Splicer::advance(Input* in) {
  double before = in->has ? in->now.t : -1e300;
  in->has = in->stream->next(&in->now);
  in->untimed = in->has && std::isnan(in->now.t);
  if (in->untimed) in->now.t = before;
  return in->has;
}

// A special record once: the same flag, time and lines from two files are one.
void Splicer::write_special(const Input& in) {
  const ObsRecord& e = in.now;
  std::string key = std::to_string(e.flag) + " " + std::to_string(e.t);
  for (const std::string& l : e.lines) key += "\n" + l;
  if (!specials_.insert(key).second) return;
  if (!in.untimed && !epoch_kept(e.t)) return;
  writer_.special(in.untimed ? NAN : e.t, e.flag, e.lines);
  specials_written_++;
}

void Splicer::merge() {
  const Settings& s = o_.settings;
  for (Input& in : in_) advance(&in);
  for (;;) {
    int best = -1;
    for (size_t i = 0; i < in_.size(); i++)
      if (in_[i].has && (best < 0 || in_[i].now.t < in_[(size_t)best].now.t - kSameEpoch))
        best = (int)i;
    if (best < 0) break;
    // Files that overlap: the epoch comes from the file the epoch before it
    // came from, which has it in the middle of its tracking (a file's first
    // epoch flags every satellite's loss of lock).
    if (last_input_ >= 0 && last_input_ != best && in_[(size_t)last_input_].has &&
        std::fabs(in_[(size_t)last_input_].now.t - in_[(size_t)best].now.t) <= kSameEpoch)
      best = last_input_;
    Input& chosen = in_[(size_t)best];
    double t = chosen.now.t;
    if (chosen.now.flag > 1) {
      write_special(chosen);
      advance(&chosen);
      continue;
    }
    for (size_t i = 0; i < in_.size(); i++) {
      if ((int)i == best || !in_[i].has || std::fabs(in_[i].now.t - t) > kSameEpoch ||
          in_[i].now.flag > 1)
        continue;
      compare(chosen, in_[i]);
      repeated_++;
      advance(&in_[i]);
    }
    if (t <= last_written_ + kSameEpoch) {
      back_++;
    } else if (!epoch_kept(t)) {
      outside_++;
    } else if (s.interval > 0 &&
               std::fabs(t - s.interval * std::round(t / s.interval)) > kOnInterval) {
      thinned_++;  // its loss of lock goes on to the next epoch written
      for (const ObsSat& sat : chosen.now.sats) {
        auto p = chosen.place.find(sat.sys);
        if (p == chosen.place.end()) continue;
        for (size_t k = 0; k < p->second.size(); k++) {
          if (p->second[k] < 0 || (chosen.now.lli[sat.first_value + k] & 1) == 0) continue;
          char key[48];
          snprintf(key, sizeof key, "%c%02d %d", sat.sys, sat.prn, p->second[k]);
          carried_[key] |= 1;
        }
      }
    } else {
      write_epoch(chosen);
      last_input_ = best;
    }
    advance(&chosen);
  }
  for (const Input& in : in_)
    if (!in.stream->error().empty())
      r_.console.push_back("vln_rinex: " + in.stream->error() +
                           ": the epochs before it are kept, the rest of the file is not read");
}

OutHeader Splicer::header() const {
  OutHeader h = out_;
  const ObsFile& first = in_[0].stream->header();
  h.station = first.header;
  for (int k = 0; k < 3; k++) h.approx[k] = first.approx[k];
  h.leap = first.leap;
  if (!first.time_system.empty()) h.time_system = first.time_system;
  for (const Input& in : in_) {
    const ObsFile& f = in.stream->header();
    for (const auto& c : f.glonass_channel) h.glonass_channel.insert(c);
    for (const std::string& l : f.header_lines)
      if (l.size() > 60 && l.compare(60, 7, "COMMENT") == 0) {
        std::string c = l.substr(0, 60);
        c.erase(c.find_last_not_of(' ') + 1);
        if (std::find(h.comments.begin(), h.comments.end(), c) == h.comments.end())
          h.comments.push_back(c);
      }
  }
  const Settings& s = o_.settings;
  ObsHeader& st = h.station;
  auto text = [&](int id, std::string* field) {
    if (s.given[id]) *field = s.text[id];
  };
  text(SET_MARKER_NAME, &st.marker_name);
  text(SET_MARKER_NUMBER, &st.marker_number);
  text(SET_MARKER_TYPE, &st.marker_type);
  text(SET_OBSERVER, &st.observer);
  text(SET_AGENCY, &st.agency);
  text(SET_RECEIVER_NUMBER, &st.receiver_number);
  text(SET_RECEIVER_TYPE, &st.receiver_type);
  text(SET_RECEIVER_VERSION, &st.receiver_version);
  text(SET_ANTENNA_NUMBER, &st.antenna_number);
  text(SET_ANTENNA_TYPE, &st.antenna_type);
  text(SET_RADOME, &st.radome);
  if (s.given[SET_ANTENNA_DELTA])
    for (int k = 0; k < 3; k++) st.antenna_delta[k] = s.antenna_delta[k];
  if (s.given[SET_POSITION])
    for (int k = 0; k < 3; k++) h.approx[k] = s.position[k];
  for (const std::string& c : s.comments) h.comments.push_back(c);
  for (const std::string& n : notes_) h.comments.push_back(("Not written: " + n).substr(0, 60));

  if (s.interval > 0) h.interval = s.interval;
  h.program = o_.program;
  kept_lines(&h);
  return h;
}

// Header lines the writer does not make itself, from the first RINEX 3 or 4
// input where the output version has them: the phase shifts (3.01-3.05; a
// code-only line a phase code where no input gives them, the alignment not
// known), the GLONASS code-phase biases (3.02-3.05; blank values when not
// known), and the lines of station information passed on as they are.
void Splicer::kept_lines(OutHeader* h) const {
  if (version_ == 211) return;
  const ObsFile* source = nullptr;
  for (const Input& in : in_)
    if (source == nullptr && in.stream->header().version >= 3) source = &in.stream->header();
  auto has_code = [&](char sys, const std::string& code) {
    auto t = h->types.find(sys);
    return t != h->types.end() &&
           std::find(t->second.begin(), t->second.end(), code) != t->second.end();
  };
  auto label = [](const std::string& l, const char* name) {
    return l.size() > 60 && l.compare(60, strlen(name), name) == 0;
  };
  bool shifts = false, biases = false;
  if (source != nullptr)
    for (const std::string& l : source->header_lines) {
      if (label(l, "SYS / PHASE SHIFT") && version_ < 400) {
        // A continuation line of satellites follows its line's code.
        if (l[0] != ' ' && !(l.size() > 5 && has_code(l[0], l.substr(2, 3)))) continue;
        h->kept_lines.push_back(l);
        shifts = true;
      } else if (label(l, "GLONASS COD/PHS/BIS") && version_ < 400 && h->types.count('R')) {
        h->kept_lines.push_back(l);
        biases = true;
      } else if (label(l, "SIGNAL STRENGTH UNIT") || label(l, "RCV CLOCK OFFS APPL") ||
                 label(l, "DOI") || label(l, "LICENSE OF USE") || label(l, "STATION INFORMATION")) {
        h->kept_lines.push_back(l);
      }
    }
  auto line = [](const std::string& content, const char* name) {
    std::string out = content.substr(0, 60);
    out.resize(60, ' ');
    return out + name;
  };
  if (!shifts && version_ < 400)
    for (const auto& t : h->types)
      for (const std::string& code : t.second)
        if (code[0] == 'L')
          h->kept_lines.push_back(line(std::string(1, t.first) + " " + code, "SYS / PHASE SHIFT"));
  if (!biases && version_ >= 302 && version_ < 400 && h->types.count('R'))
    h->kept_lines.push_back(
        line(" C1C          C1P          C2C          C2P", "GLONASS COD/PHS/BIS"));
}

void Splicer::run() {
  if (!open_inputs() || !same_station_and_interval()) return;
  const Settings& s = o_.settings;
  version_ = s.rinex_version != 0 ? s.rinex_version : Code_version(in_[0].stream->header().version);
  out_.version = version_;
  plan_types();
  if (out_.types.empty()) {
    fail(2, "vln_rinex: no observation code is left to write");
    return;
  }
  NameParts name;
  name.given = o_.output;
  name.station = in_[0].stream->header().header.marker_name;
  if (name.station.empty()) name.station = base_name(in_[0].path);
  name.version = version_;
  name.compact = s.crx, name.gzip = s.gzip;
  // Written under a working name beside the final one until its name is known.
  std::string work = Output_path(s, name.given.empty() ? [&] {
    NameParts w = name;
    w.given = "vln_rinex_" + upper4(name.station) + ".work";
    return w;
  }() : name);
  std::string error;
  if (!writer_.open(work, header(), s.crx, s.gzip, o_.threads, &error)) {
    fail(4, "vln_rinex: " + error);
    return;
  }
  merge();
  // Systems a RINEX 2 file's one list was given to but no record had: their
  // lists and notes go (RINEX 3 lists are a system's own).
  for (auto it = out_.types.begin(); it != out_.types.end();)
    it = it->first != ' ' && written_.count(it->first) == 0 ? out_.types.erase(it) : std::next(it);
  std::vector<std::string> notes;
  for (const std::string& n : notes_)
    if (written_.count(n[0]) != 0) notes.push_back(n);
  notes_.swap(notes);
  for (const std::string& n : notes_) r_.console.push_back("Not written: " + n + "; left out");
  name.first = writer_.first(), name.last = writer_.last();
  OutHeader final_header = header();
  name.interval = final_header.interval > 0 ? final_header.interval : writer_.interval();
  std::string path = Output_path(s, name);
  if (!writer_.close(final_header, path, &error)) {
    fail(4, "vln_rinex: " + error);
    return;
  }
  r_.written.push_back(path);
  char line[512];
  snprintf(line, sizeof line, "%s: %ld epochs", path.c_str(), writer_.epochs());
  r_.console.push_back(line + std::string(specials_written_ > 0
                                              ? ", " + std::to_string(specials_written_) +
                                                    " special records (events, header records)"
                                              : ""));
  if (repeated_ > 0)
    r_.console.push_back(std::to_string(repeated_) + " epochs in more than one file, written once");
  if (differing_ > 0)
    r_.console.push_back(std::to_string(differing_) +
                         " of them with differing values, the first: " + first_difference_);
  if (back_ > 0)
    r_.console.push_back(std::to_string(back_) +
                         " epochs not later than the epoch before them, left out");
  if (thinned_ > 0)
    r_.console.push_back(std::to_string(thinned_) + " epochs between the interval's, left out");
  if (outside_ > 0)
    r_.console.push_back(std::to_string(outside_) + " epochs outside --start/--end, left out");
  if (writer_.overflows() > 0)
    r_.console.push_back(std::to_string(writer_.overflows()) +
                         " values too large for their field, written blank");
}

}  // namespace

SpliceResult Splice_run(const SpliceOptions& o) {
  SpliceResult r;
  if (o.inputs.empty()) {
    r.status = 2;
    r.console.push_back("vln_rinex: no input file");
    return r;
  }
  if (o.settings.given[SET_OUTPUT_DIR]) {  // created when missing, as the converter does
    std::string why;
    if (!File_make_folders(o.settings.text[SET_OUTPUT_DIR], &why)) {
      r.status = 4;
      r.console.push_back("vln_rinex: output folder " + o.settings.text[SET_OUTPUT_DIR] +
                          " cannot be created: " + why);
      return r;
    }
  }
  if (Nav_is_navigation_file(o.inputs[0])) return Nav_merge_run(o);
  Splicer(o, &r).run();
  return r;
}
