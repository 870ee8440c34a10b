// End-to-end: a reference station's live sources through real parts: a TCP
// server on 127.0.0.1 inside the test that drops the line, a pseudo-terminal
// pair standing for a serial port, a pipe as standard input, and SIGTERM.
// The period files are compared with a file conversion of the same bytes.
#include <gtest/gtest.h>

#include <string>

#include "source/byte_source.h"
#include "source/live_reader.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "generated_logs.h"
#include "log_generator.h"
#include "rinex_text.h"
#include "runner.h"

using namespace vlntest;

namespace {

// A stream server on 127.0.0.1: one connection per chunk, each closed after
// its chunk (a drop), the last one kept open and silent until stop() or 60 s.
class Server {
 public:
  explicit Server(std::vector<Bytes> chunks) : chunks_(std::move(chunks)) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd_, 1);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~Server() {
    stop();
    thread_.join();
    close(fd_);
  }
  std::string source() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
  void stop() { stopped_ = true; }
  bool all_sent() const { return sent_ == chunks_.size(); }

 private:
  void serve() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (size_t i = 0; i < chunks_.size() && !stopped_; i++) {
      pollfd p = {fd_, POLLIN, 0};
      while (!stopped_ && std::chrono::steady_clock::now() < deadline && poll(&p, 1, 100) == 0) {
      }
      if (stopped_ || std::chrono::steady_clock::now() >= deadline) return;
      int c = accept(fd_, nullptr, nullptr);
      for (size_t at = 0; at < chunks_[i].size();) {
        ssize_t n = send(c, chunks_[i].data() + at, chunks_[i].size() - at, MSG_NOSIGNAL);
        if (n <= 0) break;
        at += (size_t)n;
      }
      sent_++;
      while (i + 1 == chunks_.size() && !stopped_ && std::chrono::steady_clock::now() < deadline)
        usleep(20000);  // the last connection stays open: the line falls silent
      close(c);
    }
  }
  std::vector<Bytes> chunks_;
  int fd_ = -1, port_ = 0;
  std::atomic<bool> stopped_{false};
  std::atomic<size_t> sent_{0};
  std::thread thread_;
};

Bytes station_log(double seconds) {
  LogOptions o;
  o.seconds = seconds, o.interval = 10, o.satellites = 8;
  return generated_log(o);
}

// The outputs of a file conversion of the same bytes into hourly files.
std::map<std::string, std::string> file_periods(const Bytes& log) {
  return run_program({"log.dat", "-dual_freq", "--split", "1h"}, "log.dat", log).outputs;
}

// An observation text with the loss-of-lock digits blanked (16-column fields
// from column 4, the digit in the field's 15th column).
std::string without_lli(const std::string& text) {
  std::string out;
  bool body = false;
  for (const std::string& line : lines(text)) {
    std::string l = line;
    if (body && !l.empty() && l[0] != '>')
      for (size_t c = 3 + 14; c < l.size(); c += 16) l[c] = ' ';
    body = body || l.find("END OF HEADER") != std::string::npos;
    out += l + "\n";
  }
  return out;
}

std::string join_raw(const std::map<std::string, std::string>& outputs) {
  std::string all;
  for (const auto& f : outputs)
    if (f.first.size() > 4 && f.first.compare(f.first.size() - 4, 4, ".raw") == 0) all += f.second;
  return all;
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

const char* const kHours[3] = {"XXXX00XXX_R_20260080000_01H_10S_MO.rnx",
                               "XXXX00XXX_R_20260080100_01H_10S_MO.rnx",
                               "XXXX00XXX_R_20260080200_01H_10S_MO.rnx"};

// The console line of the closed period of hour h of 2026-01-08 up to its
// byte count, from its file: the epochs and satellites the file holds.
std::string period_line(int h, const std::string& file, int gaps) {
  std::set<std::string> sats;
  long epochs = 0;
  bool body = false;
  for (const std::string& l : lines(file)) {
    if (body && !l.empty() && l[0] != '>') sats.insert(l.substr(0, 3));
    epochs += body && l.size() > 31 && l[0] == '>' && l[31] == '0';  // not the events' lines
    body = body || l.find("END OF HEADER") != std::string::npos;
  }
  return "\nPeriod 2026-01-08 0" + std::to_string(h) + ":00:00: " + kHours[h] + ", " +
         std::to_string(epochs) + " epochs, " + std::to_string(sats.size()) + " satellites, " +
         std::to_string(gaps) + " gaps, ";
}

// Where the first frame at or after byte at of the log begins.
size_t frame_boundary(const Bytes& log, size_t at) {
  size_t i = 0;
  while (i + 4 < log.size() && i < at) i += 4 + ((size_t)log[i + 2] << 8 | log[i + 3]) + 3;
  return i;
}

// A live line of each kind, carrying the bytes given and then staying open
// and silent until it is closed: a TCP server on 127.0.0.1, a pseudo-terminal
// standing for a serial port, a pipe as standard input.
class Line {
 public:
  Line(const std::string& kind, const Bytes& bytes) : kind_(kind), bytes_(bytes) {
    if (kind == "tcp") {
      server_ = std::make_unique<Server>(std::vector<Bytes>{bytes});
      source_ = server_->source();
    } else if (kind == "serial") {
      master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);  // no other case's child keeps it
      grantpt(master_);
      unlockpt(master_);
      source_ = std::string("serial://") + ptsname(master_);
    } else {
      int p[2];
      if (pipe2(p, O_CLOEXEC) == 0) {
        stdin_ = p[0];
        write_ = p[1];
      }
      source_ = "-";
    }
  }
  ~Line() { close_line(); }
  // Starts the program with args, this line as its source (args[0]), and sends the bytes.
  void run(Started* s, std::vector<std::string> args) {
    args[0] = source_;
    start_program(s, args, {}, stdin_);
    start(s);
  }
  // Once the program runs: the bytes go down a pseudo-terminal or a pipe.
  void start(Started* run) {
    if (stdin_ >= 0) {
      close(stdin_);
      stdin_ = -1;
    }
    if (kind_ == "tcp") return;
    if (kind_ == "serial") wait_for_output(run, "connected", 10);
    int fd = kind_ == "serial" ? master_ : write_;
    writer_ = std::thread([this, fd] { write_all(fd, bytes_, 0, 4096); });
  }
  void close_line() {
    if (writer_.joinable()) writer_.join();
    if (server_) server_->stop();
    for (int* fd : {&master_, &write_, &stdin_}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
  }

 private:
  std::string kind_;
  Bytes bytes_;
  std::string source_;
  std::unique_ptr<Server> server_;
  int master_ = -1, write_ = -1, stdin_ = -1;
  std::thread writer_;
};

// A RINEX file's text whatever its form (gzip, Compact RINEX), "" when it cannot be read.
std::string rinex_text(const std::string& path) {
  std::string text, error;
  return read_rinex_text(path, &text, &error) ? text : "";
}

std::string body(const std::string& text) {
  size_t end = text.find("END OF HEADER");
  return end == std::string::npos ? "" : text.substr(text.find('\n', end) + 1);
}

// The text of a file a file conversion writes, by the name's start.
std::string converted(const RunResult& r, const std::string& start) {
  for (const auto& f : r.outputs)
    if (f.first.rfind(start, 0) == 0) {
      std::string path = temp_path(f.first.substr(f.first.find('.')));
      std::ofstream(path, std::ios::binary) << f.second;
      std::string text = rinex_text(path);
      std::filesystem::remove(path);
      return text;
    }
  return "";
}

}  // namespace

// Two drops in 2.5 hours of data sent as fast as the socket takes it, then silence: every period
// closes (the last one by the grace time), the files hold the file conversion's epochs but for the
// losses of lock after the drops, the raw journals joined are the bytes sent.
TEST(Station, TcpSourceWithDropsGivesTheFileConversionsPeriods) {
  Bytes log = station_log(9000);
  size_t third = log.size() / 3;
  Server server({Bytes(log.begin(), log.begin() + (long)third),
                 Bytes(log.begin() + (long)third, log.begin() + 2 * (long)third),
                 Bytes(log.begin() + 2 * (long)third, log.end())});
  Started run;
  start_program(&run, {server.source(), "-dual_freq", "--split", "1h", "--raw-dir", "raw",
                       "--status-file", "status.json", "--close-after", "2"});
  bool closed = wait_for_file(run, kHours[2], 30);
  server.stop();
  RunResult r = finish_program(&run, SIGTERM);
  ASSERT_TRUE(closed) << "status " << r.status << "\n" << r.out;
  EXPECT_EQ(1, r.status) << r.out;
  EXPECT_EQ(std::string::npos, r.out.find("No frames")) << r.out;  // frames all along
  auto want = file_periods(log);
  size_t marked = 0;
  for (const char* hour : kHours) {
    ASSERT_EQ(1u, r.outputs.count(hour)) << hour << "\n" << r.out;
    EXPECT_EQ("", first_difference(without_lli(want[hour]), without_lli(r.outputs[hour]))) << hour;
    marked += r.outputs[hour] != want[hour];
    std::string nav = std::string(hour).replace(28, 7, "MN");  // ..._01H_MN.rnx
    EXPECT_EQ("", first_difference(want[nav], r.outputs[nav])) << nav;
  }
  EXPECT_GE(marked, 1u);  // the drops' losses of lock
  EXPECT_EQ(std::string(log.begin(), log.end()), join_raw(r.outputs));
  EXPECT_EQ(std::string::npos, r.out.find("Raw journal")) << r.out;  // no journal complaint
  // The server's two drops and its end when stopped (unless the signal came first).
  // Each drop came after data, so each is retried after 1 s.
  EXPECT_LE(2u, count(r.out, " dropped: the other end closed the connection; reconnecting in 1 s"))
      << r.out;
  EXPECT_EQ(3u, count(r.out, "\nPeriod 2026-01-08 0")) << r.out;
  for (int h = 0; h < 3; h++)  // a drop in each of the first two hours
    EXPECT_TRUE(Holds(r.out, period_line(h, want[kHours[h]], h < 2 ? 1 : 0)));
  EXPECT_NE(std::string::npos, r.outputs["status.json"].find("\"periods_written\": 3"));
  EXPECT_NE(std::string::npos,
            r.outputs["status.json"].find("\"source\": \"" + server.source() + "\""));
  // Each period's raw file converted alone gives that period's observations.
  for (const char* hour : kHours) {
    std::string raw = "raw/" + std::string(hour).replace(35, 3, "raw");  // ..._MO.raw
    auto again = run_program({"p.raw", "-dual_freq", "--split", "1h"}, "p.raw",
                             Bytes(r.outputs[raw].begin(), r.outputs[raw].end()));
    size_t files = 0;
    for (const auto& f : again.outputs) files += f.first.find("_MO.rnx") != std::string::npos;
    EXPECT_EQ(1u, files) << raw;
    EXPECT_EQ("", first_difference(without_lli(want[hour]), without_lli(again.outputs[hour])))
        << raw;
  }
}

// A station killed in mid-period (SIGKILL: a crash, a power cut) keeps every epoch up to its last
// checkpoint in its .incomplete files, readable as they are; the restart recovers them under their
// final names and writes the rest of the period beside them, so that the two parts hold the
// period's epochs once each. Each form of file, through each kind of line.
struct KillCase {
  const char* line;
  std::vector<std::string> form;
  const char* ending;
};

void kill_and_restart(const KillCase& c, const Bytes& log) {
  size_t cut = frame_boundary(log, log.size() * 6 / 10);  // about 01:20
  Bytes first(log.begin(), log.begin() + (long)cut), rest(log.begin() + (long)cut, log.end());
  // The last bytes before the kill are a message that changes no file: the
  // raw journal holds them all the same.
  append(&first, frame(Bytes{0x30, 0x01, 0x02}));
  const std::string hour1 = "XXXX00XXX_R_20260080100_01H_10S_MO";
  std::vector<std::string> args = {"log.dat", "-dual_freq", "--split", "1h"};
  args.insert(args.end(), c.form.begin(), c.form.end());
  std::string want_first = converted(run_program(args, "log.dat", first), hour1);
  std::string want_all = converted(run_program(args, "log.dat", log), hour1);
  ASSERT_NE("", want_first) << c.ending;
  std::string out = temp_path("");
  // A second of silence, not the default ten, syncs what came before it.
  args.insert(args.end(), {"--output-dir", out, "--status-file", out + "/status.json", "--raw-dir",
                           out + "/raw", "--flush", "1"});
  auto journaled = [&]() {  // the raw files' bytes, in the order of their periods
    std::vector<std::string> names;
    for (const auto& f : std::filesystem::directory_iterator(out + "/raw"))
      names.push_back(f.path().string());
    std::sort(names.begin(), names.end());
    std::string all;
    for (const std::string& n : names) all += read_file(n);
    return all;
  };
  std::string incomplete = out + "/" + hour1 + c.ending + ".incomplete";
  {
    Line line(c.line, first);
    Started run;
    line.run(&run, args);
    bool caught_up = false;  // the last epoch's checkpoint has everything sent on disk
    for (int i = 0; i < 400 && !caught_up; i++, usleep(50000))
      caught_up = rinex_text(incomplete) == want_first;
    // The status file tells of the open period within moments.
    const std::string open = "\"open_period\": {\"start\": \"2026-01-08 01:00:00\"";
    std::string status;
    for (int i = 0; i < 100 && status.find(open) == std::string::npos; i++, usleep(50000))
      status = read_file(out + "/status.json");
    const std::string sent(first.begin(), first.end());
    for (int i = 0; i < 100 && journaled() != sent; i++) usleep(50000);
    kill(run.pid, SIGKILL);
    finish_program(&run, 0);
    EXPECT_TRUE(journaled() == sent) << c.ending << ": " << journaled().size() << " of "
                                     << sent.size() << " bytes in the raw journal";
    EXPECT_TRUE(caught_up) << c.ending << "\n" << rinex_text(incomplete).substr(0, 3000);
    EXPECT_EQ(want_first, rinex_text(incomplete)) << c.ending;     // the project's reader
    if (std::string(c.ending).find(".gz") != std::string::npos) {  // and gzip's own
      EXPECT_EQ(0, system(("gzip -dc " + incomplete + " > /dev/null").c_str()));
    }
    EXPECT_TRUE(Holds(status, "\"connected\": true"));
    EXPECT_TRUE(Holds(status, open));
  }
  Line line(c.line, rest);
  Started run;
  line.run(&run, args);
  std::string part2 = out + "/" + hour1 + ".part2" + c.ending;
  std::string hour2 = out + "/XXXX00XXX_R_20260080200_01H_10S_MO" + c.ending + ".incomplete";
  bool closed = false;  // hour 1's second part, and hour 2 up to the log's last epoch
  for (int i = 0; i < 400 && !closed; i++, usleep(50000))
    closed = std::filesystem::exists(part2) &&
             rinex_text(hour2).find("> 2026  1  8  2 13 10.0000000") != std::string::npos;
  RunResult r = finish_program(&run, SIGTERM);
  line.close_line();
  ASSERT_TRUE(closed) << c.ending << "\n" << r.out;
  EXPECT_TRUE(Holds(r.out, "Recovered " + out + "/" + hour1 + c.ending + " from an earlier run: "));
  std::string recovered = rinex_text(out + "/" + hour1 + c.ending);
  EXPECT_EQ(want_first, recovered) << c.ending;
  EXPECT_EQ(without_lli(body(want_all)), without_lli(body(recovered) + body(rinex_text(part2))))
      << c.ending;
  // Hour 2 was stopped after 13 of its 60 minutes: not complete.
  std::string status = read_file(out + "/status.json");
  EXPECT_TRUE(Holds(status, "\"start\": \"2026-01-08 02:00:00\", \"obs\": \"" + out +
                                "/XXXX00XXX_R_20260080200_01H_10S_MO" + c.ending +
                                "\", \"epochs\": 80, \"expected_epochs\": 360, "
                                "\"gaps\": 0, \"complete\": false}"));
  std::filesystem::remove_all(out);
}

// RINEX 2.11 keeps GLONASS navigation in a file of its own: a kill keeps it up to the checkpoint,
// as the observation and GPS navigation files; a restart recovers the three, the observation header
// timed by its epochs; as RINEX and as Compact RINEX 1.0.
void kill_a_rinex2_period(const Bytes& log, bool crx) {
  Bytes first(log.begin(), log.begin() + (long)frame_boundary(log, log.size() * 6 / 10));
  std::vector<std::string> args = {"log.dat", "-dual_freq", "--rinex-version",
                                   "2.11",    "--split",    "1h"};
  if (crx) args.push_back("--crx");
  RunResult want = run_program(args, "log.dat", first);
  const std::vector<std::string> kNames = {crx ? "xxxx008b.26d" : "xxxx008b.26o", "xxxx008b.26n",
                                           "xxxx008b.26g"};
  std::string times;  // the observation header's TIME OF FIRST OBS and TIME OF LAST OBS
  const std::string& o = want.outputs[kNames[0]];
  size_t at = o.find("TIME OF FIRST OBS");
  ASSERT_NE(std::string::npos, at);
  times = o.substr(at - 60, o.find('\n', o.find("TIME OF LAST OBS")) + 1 - (at - 60));
  std::string out = temp_path("");
  args.insert(args.end(), {"--flush", "1", "--output-dir", out});
  auto kept = [&](const std::string& ending) {  // the three files hold what was sent
    return read_file(out + "/" + kNames[0] + ending).find(times) != std::string::npos &&
           read_file(out + "/" + kNames[1] + ending) == want.outputs[kNames[1]] &&
           read_file(out + "/" + kNames[2] + ending) == want.outputs[kNames[2]];
  };
  {
    Line line("pipe", first);
    Started run;
    line.run(&run, args);
    for (int i = 0; i < 400 && !kept(".incomplete"); i++) usleep(50000);
    kill(run.pid, SIGKILL);
    finish_program(&run, 0);
    EXPECT_TRUE(kept(".incomplete")) << read_file(out + "/" + kNames[2] + ".incomplete");
  }
  Line line("pipe", {});  // a restart that receives nothing
  Started run;
  line.run(&run, args);
  line.close_line();
  RunResult r = finish_program(&run, 0);
  EXPECT_TRUE(kept("")) << r.out;
  std::filesystem::remove_all(out);
}

// A line of bytes without frames (a wrong baud rate) is said once a minute.
TEST(Station, BytesWithoutFramesAskForTheBaudRate) {
  Line line("pipe", Bytes(200 * 1024, 0x55));
  Started run;
  line.run(&run, {"-", "--split", "1h"});
  wait_for_output(&run, "No frames", 10);  // the line stays open, as a receiver's does
  line.close_line();
  RunResult r = finish_program(&run, 0);
  size_t at = r.out.find("No frames in the last 64 KiB: check the baud rate\n");
  EXPECT_NE(std::string::npos, at) << r.out;
  EXPECT_EQ(std::string::npos, r.out.find("No frames", at + 1)) << r.out;
}

// The cases wait on the line's silence, not on the processor: they run at once.
TEST(Station, AKillLosesNothingBeforeTheLastCheckpointInEveryForm) {
  const KillCase kCases[] = {{"tcp", {}, ".rnx"},
                             {"serial", {"--gzip"}, ".rnx.gz"},
                             {"pipe", {"--crx"}, ".crx"},
                             {"tcp", {"--crx", "--gzip"}, ".crx.gz"}};
  const Bytes log = station_log(8000);
  std::vector<std::thread> cases;
  for (const KillCase& c : kCases) cases.emplace_back([&c, &log] { kill_and_restart(c, log); });
  for (bool crx : {false, true})
    cases.emplace_back([crx, &log] { kill_a_rinex2_period(log, crx); });
  for (std::thread& t : cases) t.join();
}

// A receiver's stream in real time, stamped from now on: pauses shorter than the flush
// interval are no checkpoints, one longer than the grace time closes no period that has not
// ended; the files are the bytes of a file conversion flushing every 10 s of data, as a live
// run does by default (the gzip members end at the checkpoints).
TEST(Station, PausesBetweenEpochsAreNoCheckpoints) {
  LogOptions o;  // 1 Hz: a checkpoint every 10 s of data is told from one every 9 s
  o.seconds = 120, o.interval = 1, o.satellites = 8;
  const long long now = (long long)time(nullptr) - 315964800 + 18;  // GPS time
  o.week = (int)(now / 604800), o.start_tow = (double)(now % 604800);
  Bytes log = generated_log(o);
  std::vector<std::string> args = {"log.dat", "-dual_freq", "--split", "1h", "--gzip"};
  std::vector<std::string> file_args = args;
  file_args.insert(file_args.end(), {"--flush", "10"});
  args.insert(args.end(), {"--close-after", "1"});
  RunResult want = run_program(file_args, "log.dat", log);
  int p[2];
  ASSERT_EQ(0, pipe2(p, O_CLOEXEC));
  Started run;
  args[0] = "-";
  start_program(&run, args, {}, p[0]);
  close(p[0]);
  for (int piece = 0, at = 0; piece < 4; piece++) {  // 30 s of data, then 0.3 s or 1.2 s of silence
    int end = (int)(piece == 3 ? log.size() : frame_boundary(log, log.size() * (piece + 1) / 4));
    ASSERT_EQ(end - at, write(p[1], log.data() + at, (size_t)(end - at)));
    at = end;
    usleep(piece == 1 ? 1200000 : 300000);
  }
  close(p[1]);
  RunResult r = finish_program(&run, 0);
  EXPECT_EQ(want.outputs.size(), r.outputs.size()) << r.out;
  for (const auto& f : want.outputs)
    EXPECT_TRUE(f.second == r.outputs[f.first]) << f.first << "\n" << r.out;
}

// A pseudo-terminal pair stands for the receiver's serial port.
TEST(Station, SerialSourceThroughAPseudoTerminal) {
  Bytes log = station_log(4000);
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);  // the program holds no end of it
  ASSERT_GE(master, 0);
  ASSERT_EQ(0, grantpt(master));
  ASSERT_EQ(0, unlockpt(master));
  std::string slave = ptsname(master);
  Started run;
  start_program(
      &run, {"serial://" + slave + ":115200", "-dual_freq", "--split", "1h", "--close-after", "1"});
  wait_for_output(&run, "connected", 10);
  termios line = {};  // the pair shares one setting: the program's
  ASSERT_EQ(0, tcgetattr(master, &line));
  EXPECT_EQ((speed_t)B115200, cfgetispeed(&line));
  EXPECT_EQ(0u, line.c_lflag & (ICANON | ECHO));  // raw mode
  EXPECT_EQ((tcflag_t)CS8, line.c_cflag & CSIZE);
  std::thread writer([&] {
    // The first 600 bytes one at a time, as a slow line delivers them.
    for (size_t at = 0; at < 600; at++) {
      if (write(master, log.data() + at, 1) != 1) return;
      usleep(300);
    }
    write_all(master, log, 600, 4096);
  });
  bool closed = wait_for_file(run, kHours[1], 60);
  writer.join();
  // The receiver unplugged: a drop, not silence.
  close(master);
  const std::string drop = "serial://" + slave + ":115200 dropped: the device went away";
  bool dropped = wait_for_output(&run, drop + "; reconnecting in 1 s", 10);
  RunResult r = finish_program(&run, SIGTERM);
  ASSERT_TRUE(closed) << "status " << r.status << "\n" << r.out;
  EXPECT_TRUE(dropped) << r.out;
  auto want = file_periods(log);
  for (const char* hour : {kHours[0], kHours[1]})
    EXPECT_EQ("", first_difference(want[hour], r.outputs[hour])) << hour;
}

// Standard input from a pipe ends the run at its end; a stretch missing from the data is a drop.
TEST(Station, PipeAsStandardInput) {
  Bytes log = station_log(4000);
  // Five minutes (30 intervals) of the first hour missing: a live source
  // takes a gap of more than ten intervals for a drop, losses of lock after it.
  log.erase(log.begin() + (long)frame_boundary(log, log.size() / 4),
            log.begin() + (long)frame_boundary(log, log.size() / 4 + log.size() * 3 / 40));
  int p[2];
  ASSERT_EQ(0, pipe2(p, O_CLOEXEC));  // the child holds no write end: it sees the end
  Started run;
  start_program(&run, {"-", "-dual_freq", "--split", "1h"}, {}, p[0]);
  close(p[0]);
  write_all(p[1], log);
  close(p[1]);
  RunResult r = finish_program(&run, 0);
  EXPECT_EQ(1, r.status) << r.out;
  auto want = file_periods(log);
  EXPECT_NE(want[kHours[0]], r.outputs[kHours[0]]);
  EXPECT_EQ("", first_difference(without_lli(want[kHours[0]]), without_lli(r.outputs[kHours[0]])));
  EXPECT_EQ("", first_difference(want[kHours[1]], r.outputs[kHours[1]]));
  // Standard input that fails to read (a folder given for it) ends the run too.
  int folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  Started bad;
  start_program(&bad, {"-", "--split", "1h"}, {}, folder);
  close(folder);
  bool ended = wait_for_output(&bad, "\nPeriods written: 0 ", 10);
  r = finish_program(&bad, SIGTERM);
  EXPECT_TRUE(ended) << r.out;
}

// SIGTERM in the middle of a period closes it with a header that matches its
// epochs; a restart writes that period's further data into a second part.
TEST(Station, SigtermMidPeriodAndARestartBesideIt) {
  Bytes log = station_log(1800);
  size_t half = log.size() / 2;
  std::string out_dir = temp_path("");
  std::filesystem::create_directories(out_dir);
  const std::string first = out_dir + "/XXXX00XXX_R_20260080000_01H_10S_MO.rnx";
  {
    Server server({Bytes(log.begin(), log.begin() + (long)half)});
    Started run;
    start_program(&run, {server.source(), "-dual_freq", "--split", "1h", "--output-dir", out_dir});
    for (int i = 0; i < 200 && !server.all_sent(); i++) usleep(50000);
    usleep(500000);  // the bytes reach the program
    RunResult r = finish_program(&run, SIGTERM);
    EXPECT_EQ(1, r.status) << r.out;
  }
  std::string text = read_file(first);
  auto body = lines(text);
  std::string last_epoch, last_obs;
  for (const std::string& l : body) {
    if (l.rfind("> ", 0) == 0) last_epoch = l;
    if (l.find("TIME OF LAST OBS") != std::string::npos) last_obs = l;
  }
  ASSERT_FALSE(last_epoch.empty()) << text.substr(0, 2000);
  // "> 2026  1  8  0 MM SS.0000000" against "  2026     1     8     0    MM   SS.0000000"
  EXPECT_EQ(std::stoi(last_epoch.substr(16, 2)), std::stoi(last_obs.substr(24, 6))) << last_obs;
  EXPECT_EQ(std::stod(last_epoch.substr(19, 10)), std::stod(last_obs.substr(30, 13))) << last_obs;
  {
    Server server({Bytes(log.begin() + (long)half, log.end())});
    Started run;
    start_program(&run, {server.source(), "-dual_freq", "--split", "1h", "--output-dir", out_dir,
                         "--close-after", "1"});
    const std::string part2 = out_dir + "/XXXX00XXX_R_20260080000_01H_10S_MO.part2.rnx";
    bool second = false;
    for (int i = 0; i < 300 && !second; i++, usleep(50000)) second = std::filesystem::exists(part2);
    server.stop();
    RunResult r = finish_program(&run, SIGTERM);
    EXPECT_TRUE(second) << r.out;
    EXPECT_TRUE(Holds(r.out,
                      "Period 2026-01-08 00:00:00: XXXX00XXX_R_20260080000_01H_10S_MO.rnx "
                      "exists: this run's data of the period goes into "
                      "XXXX00XXX_R_20260080000_01H_10S_MO.part2.rnx beside it\n"));
  }
  EXPECT_EQ(text, read_file(first));  // not replaced
  std::filesystem::remove_all(out_dir);
}

// One run per station and folder: a second run of the station into the folder is refused while the
// first lives, naming its process; a lock file left by a run that died is taken over; a folder that
// cannot be written stops the run at once.
TEST(Station, OneRunPerStationAndFolder) {
  std::string out = temp_path("");
  Bytes log = station_log(600);
  Line line("tcp", log);
  Started first;
  line.run(&first, {"", "--split", "1h", "--output-dir", out});
  wait_for_output(&first, "connected", 10);
  auto second = run_program({"log.dat", "--split", "1h", "--output-dir", out}, "log.dat", log);
  RunResult ended = finish_program(&first, SIGTERM);
  EXPECT_EQ(3, second.status);
  EXPECT_EQ("Station XXXX00XXX is being written into " + out + " by process " +
                std::to_string(first.pid) + " (" + out +
                "/XXXX00XXX.lock): one run per station and folder\n",
            second.out);
  EXPECT_FALSE(std::filesystem::exists(out + "/XXXX00XXX.lock")) << "not removed at the end";
  // A dead run's lock file: taken over, and gone at the end.
  std::filesystem::remove_all(out);
  auto taken = run_program({"log.dat", "--split", "1h", "--output-dir", "out"}, "log.dat", log, {},
                           0, {{"XXXX00XXX.lock", "999999\n"}});
  EXPECT_EQ(1, taken.status) << taken.out;
  auto file = run_program({"log.dat", "--split", "1h", "--output-dir", "out"}, "log.dat", log, {},
                          0, {{"out", "a file, not a folder"}});
  EXPECT_EQ(3, file.status);
  EXPECT_EQ(0u, file.out.find("Output folder out cannot be written: ")) << file.out;
  // A live run into a full disk: status 2, and the period cut off keeps its provisional name.
  int p[2];
  ASSERT_EQ(0, pipe2(p, O_CLOEXEC));
  Started full;
  start_program(&full, {"-", "-dual_freq", "--split", "1h", "--flush", "3600"}, {}, p[0], 1000000);
  close(p[0]);
  LogOptions o;  // 1 Hz, 40 satellites: a whole block of records meets the full disk
  o.seconds = 300;
  Bytes big = generated_log(o);
  write_all(p[1], big);
  close(p[1]);
  RunResult r = finish_program(&full, 0);
  EXPECT_EQ(2, r.status) << r.out;
  EXPECT_TRUE(Holds(r.out, std::string("obs file write error: ") + strerror(EFBIG)));
  EXPECT_TRUE(Holds(r.out, "Incomplete file: XXXX00XXX_R_20260080000_01H_00U_MO.rnx.incomplete\n"));
  for (const auto& f : r.outputs)
    EXPECT_EQ(std::string::npos, f.first.find("_MO.rnx", f.first.size() - 7)) << f.first;
}

// Nothing listens at first: the source is tried again after 1 s. Then a far
// end accepts and closes at once, twice: without data the delay goes on
// doubling (2 s, then 4 s) instead of starting again from 1 s.
TEST(Station, ASourceThatCannotBeOpenedOrSendsNothingIsTriedLaterAndLater) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);  // a port that was free a moment ago
  int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  std::string source = "tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  Started run;
  start_program(&run, {source, "--split", "1h"});
  std::string refused = source + " cannot be opened: Connection refused; next try in 1 s\n";
  bool was_refused = wait_for_output(&run, refused, 10);
  listen(fd, 1);
  std::atomic<bool> stop{false};
  std::thread far_end([&] {
    for (int i = 0; i < 100 && !stop; i++) {  // at most 10 s
      pollfd p = {fd, POLLIN, 0};
      if (poll(&p, 1, 100) == 1) close(accept(fd, nullptr, nullptr));
    }
  });
  std::string dropped = source + " dropped: the other end closed the connection; reconnecting in ";
  wait_for_output(&run, dropped + "4 s", 10);
  RunResult r = finish_program(&run, SIGTERM);
  stop = true;
  far_end.join();
  close(fd);
  EXPECT_TRUE(was_refused) << r.out;
  EXPECT_EQ(1u, count(r.out, dropped + "2 s")) << r.out;
  EXPECT_EQ(1u, count(r.out, dropped + "4 s")) << r.out;
  EXPECT_EQ(0u, count(r.out, dropped + "1 s")) << r.out;
  EXPECT_EQ(1, r.status);
  EXPECT_LT(r.cpu_seconds, 1.0);  // waiting 3 s for its source: no processor spent spinning
}

// A far end that never answers (its accept queue is full, so its kernel drops
// further SYNs): a stop while the program waits for it ends the run at once.
TEST(Station, AStopWhileAFarEndDoesNotAnswerEndsTheRunAtOnce) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(fd, 0);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  int queued = socket(AF_INET, SOCK_STREAM, 0);  // fills the queue, never accepted
  ASSERT_EQ(0, connect(queued, reinterpret_cast<sockaddr*>(&a), sizeof a));
  Started run;
  start_program(&run, {"tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port)), "--split", "1h"});
  usleep(500000);  // the program is in its connect wait by then
  auto stopped = std::chrono::steady_clock::now();
  RunResult r = finish_program(&run, SIGTERM);
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - stopped;
  close(queued);
  close(fd);
  EXPECT_LT(took.count(), 2.0) << r.out;  // not the kernel's two minutes of SYNs
  EXPECT_EQ(std::string::npos, r.out.find("cannot be opened")) << r.out;
  EXPECT_EQ(1, r.status) << r.out;
}

// Sources named wrongly, and a live source without periods: status 3, one line.
TEST(Station, BadSourcesStopBeforeAnythingIsWritten) {
  const struct {
    std::vector<std::string> args;
    const char* line;
  } kCases[] = {
      {{"tcp://host", "--split", "1h"}, "Source tcp://host: a TCP source is tcp://HOST:PORT"},
      {{"tcp://host:port", "--split", "1h"},
       "Source tcp://host:port: 'port' is not a port number (1 to 65535)"},
      {{"udp://host:1", "--split", "1h"},
       "Source udp://host:1: unknown kind 'udp://' (a file, -, tcp://HOST:PORT or "
       "serial://DEVICE[:BAUD])"},
      {{"serial:///dev/ttyUSB0:fast", "--split", "1h"},
       "Source serial:///dev/ttyUSB0:fast: 'fast' is not a baud rate (1200, 2400, 4800, 9600, "
       "19200, 38400, 57600, 115200, 230400, 460800 or 921600)"},
      {{"-"},
       "Source -: a live source needs --split (15m, 1h or 1d): its files are closed period by "
       "period"},
  };
  for (const auto& c : kCases) {
    auto r = run_program(c.args, "", {});
    EXPECT_EQ(3, r.status) << c.line;
    EXPECT_EQ(std::string(c.line) + "\n", r.out);
    EXPECT_TRUE(r.outputs.empty()) << c.line;
  }
  // A raw file's second run into the same folder does not replace its hour, which the scan of the
  // log finds before anything is written, whichever measurement messages the log has.
  for (bool extended : {true, false}) {
    LogOptions o;
    o.seconds = 600, o.interval = 10, o.satellites = 8, o.extended = extended;
    Bytes log = generated_log(o);
    std::string out_dir = temp_path("");
    auto first = run_program({"log.dat", "--split", "1h", "--output-dir", out_dir}, "log.dat", log);
    auto again = run_program({"log.dat", "--split", "1h", "--output-dir", out_dir}, "log.dat", log);
    EXPECT_EQ(1, first.status);
    EXPECT_EQ(3, again.status);
    EXPECT_TRUE(Holds(again.out, "exists: give --overwrite to replace it\n")) << extended;
    std::filesystem::remove_all(out_dir);
  }
}

// A lagging run's read stops at a drop, even with the next connection's bytes queued.
TEST(Station, AReadStopsAtADropWithMoreQueuedBehindIt) {
  Server server({Bytes(1000, 1), Bytes(500, 2)});
  SourceAddress address;
  ASSERT_EQ("", Source_parse(server.source(), &address));
  LiveReader reader(address);
  std::string why;
  ASSERT_TRUE(reader.open(&why));
  for (int i = 0; i < 100 && !server.all_sent(); i++) usleep(50000);
  usleep(500000);  // the second connection's bytes reach the queue, on a slow emulator too
  U08 buf[4096];
  const long kReads[][2] = {{400, 400}, {4096, 600}, {4096, 500}};  // asked, given
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(kReads[i][1], reader.read(buf, (size_t)kReads[i][0], &why)) << i;
    EXPECT_EQ(i == 2, reader.news().gap) << i;  // the drop told with the bytes after it
  }
}

#endif

// Every baud rate a serial source offers is taken as it is; TCP hosts, IPv6 in brackets too.
TEST(Station, SourcesParseToTheirParts) {
  for (int rate : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600}) {
    SourceAddress address;
    EXPECT_EQ("", Source_parse("serial://COM3:" + std::to_string(rate), &address)) << rate;
    EXPECT_EQ(rate, address.baud);
    EXPECT_EQ("COM3", address.target);
  }
  SourceAddress address;
  EXPECT_EQ("", Source_parse("serial:///dev/ttyUSB0", &address));
  EXPECT_EQ(115200, address.baud);
  EXPECT_EQ("", Source_parse("tcp://[::1]:2101", &address));
  EXPECT_EQ("::1", address.target);
  EXPECT_EQ(2101, address.port);
  const struct {
    const char* port;
    bool good;
  } kPorts[] = {{"0", false}, {"1", true}, {"65535", true}, {"65536", false}, {"099999", false}};
  for (const auto& c : kPorts)
    EXPECT_EQ(c.good, Source_parse(std::string("tcp://host:") + c.port, &address).empty())
        << c.port;
  EXPECT_EQ("", Source_parse("log.dat", &address));
  EXPECT_FALSE(Source_is_live(address));
}
