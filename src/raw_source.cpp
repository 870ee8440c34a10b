// Live raw sources: the argument's forms, and the reading thread with its
// queue and reconnects, over the POSIX and Windows calls for standard input,
// TCP sockets and serial lines.
#include "raw_source.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h first
#include <windows.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>

namespace {

constexpr size_t kQueueBytes = 16 << 20;  // what the line may run ahead of the conversion
constexpr int kPollMs = 200;              // how soon the reading thread sees a stop
constexpr int kLongestDelay = 60;         // seconds between attempts, at most
constexpr int kConnectMs = 10000;         // an unanswered connect: three SYNs, then given up

bool all_digits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

std::string now_text() {
  time_t t = time(nullptr);
  struct tm utc = {};
#ifdef _WIN32
  gmtime_s(&utc, &t);
#else
  gmtime_r(&t, &utc);
#endif
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
  return text;
}

#ifdef _WIN32
typedef SOCKET Socket;
const Socket kNoSocket = INVALID_SOCKET;
std::string last_error_text() {
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 GetLastError(), 0, text, sizeof text, nullptr);
  std::string s = text;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.')) s.pop_back();
  return s.empty() ? "error " + std::to_string(GetLastError()) : s;
}
// The texts the Linux program prints for the same failures, so a station's
// log reads alike on both.
std::string socket_error_text() {
  const struct {
    int code;
    const char* text;
  } kTexts[] = {{WSAECONNREFUSED, "Connection refused"},
                {WSAETIMEDOUT, "Connection timed out"},
                {WSAECONNRESET, "Connection reset by peer"},
                {WSAEHOSTUNREACH, "No route to host"},
                {WSAENETUNREACH, "Network is unreachable"},
                {WSAECONNABORTED, "Software caused connection abort"}};
  int code = WSAGetLastError();
  for (const auto& t : kTexts)
    if (t.code == code) return t.text;
  return "socket error " + std::to_string(code);
}
void close_socket(Socket s) { closesocket(s); }
bool set_blocking(Socket s, bool on) {
  u_long nonblocking = on ? 0 : 1;
  return ioctlsocket(s, FIONBIO, &nonblocking) == 0;
}
bool connect_pending() { return WSAGetLastError() == WSAEWOULDBLOCK; }
// Whether a connect on s succeeded or failed within ms.
bool settled(Socket s, int ms) {
  fd_set done, failed;
  FD_ZERO(&done);
  FD_ZERO(&failed);
  FD_SET(s, &done);
  FD_SET(s, &failed);
  timeval wait = {0, ms * 1000};
  return select(0, nullptr, &done, &failed, &wait) > 0;
}
void set_socket_error(int code) { WSASetLastError(code); }
const int kTimedOut = WSAETIMEDOUT;
#else
typedef int Socket;
const Socket kNoSocket = -1;
std::string socket_error_text() { return strerror(errno); }
void close_socket(Socket s) { close(s); }
bool set_blocking(Socket s, bool on) {
  int flags = fcntl(s, F_GETFL);
  return flags >= 0 && fcntl(s, F_SETFL, on ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}
bool connect_pending() { return errno == EINPROGRESS; }
// Whether a connect on s succeeded or failed within ms.
bool settled(Socket s, int ms) {
  pollfd p = {s, POLLOUT, 0};
  return poll(&p, 1, ms) > 0;
}
void set_socket_error(int code) { errno = code; }
const int kTimedOut = ETIMEDOUT;
#endif

// One open connection of any kind.
struct Line {
  Socket sock = kNoSocket;
#ifdef _WIN32
  HANDLE handle = INVALID_HANDLE_VALUE;
#else
  int fd = -1;
#endif
};

bool stop_asked();

// Connects s without blocking, waiting up to kConnectMs in kPollMs steps so
// that a stop is seen at once: a far end that never answers (a firewall, a
// full accept queue) would otherwise hold the reading thread for minutes.
bool connect_within(Socket s, const addrinfo* a) {
  set_blocking(s, false);
  if (connect(s, a->ai_addr, (int)a->ai_addrlen) == 0) return set_blocking(s, true);
  if (!connect_pending()) return false;
  for (int waited = 0; waited < kConnectMs && !stop_asked(); waited += kPollMs) {
    if (!settled(s, kPollMs)) continue;
    int error = 0;
    socklen_t len = sizeof error;
    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len);
    if (error == 0) return set_blocking(s, true);
    set_socket_error(error);
    return false;
  }
  set_socket_error(kTimedOut);
  return false;
}

bool open_tcp(const SourceAddress& address, Line* line, std::string* why) {
#ifdef _WIN32
  static bool started = false;
  if (!started) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
      *why = "Windows sockets cannot be started";
      return false;
    }
    started = true;
  }
#endif
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::string port = std::to_string(address.port);
  int rc = getaddrinfo(address.target.c_str(), port.c_str(), &hints, &found);
  if (rc != 0) {
    *why = std::string("host not found (") + gai_strerror(rc) + ")";
    return false;
  }
  *why = "no address to connect to";
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    Socket s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == kNoSocket) continue;
    if (connect_within(s, a)) {
      line->sock = s;
      freeaddrinfo(found);
      return true;
    }
    *why = socket_error_text();
    close_socket(s);
  }
  freeaddrinfo(found);
  return false;
}

#ifndef _WIN32
speed_t speed_of(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return B0;
  }
}
#endif

// 8 data bits, no parity, one stop bit, raw.
bool open_serial(const SourceAddress& address, Line* line, std::string* why) {
#ifdef _WIN32
  std::string name =
      address.target.rfind("\\\\.\\", 0) == 0 ? address.target : "\\\\.\\" + address.target;
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *why = last_error_text();
    return false;
  }
  DCB dcb = {};
  dcb.DCBlength = sizeof dcb;
  GetCommState(h, &dcb);
  dcb.BaudRate = (DWORD)address.baud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fInX = dcb.fOutX = FALSE;
  COMMTIMEOUTS timeouts = {MAXDWORD, MAXDWORD, (DWORD)kPollMs, 0, 0};
  if (!SetCommState(h, &dcb) || !SetCommTimeouts(h, &timeouts)) {
    *why = last_error_text();
    CloseHandle(h);
    return false;
  }
  line->handle = h;
  return true;
#else
  int fd = open(address.target.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    *why = strerror(errno);
    return false;
  }
  termios t = {};
  if (tcgetattr(fd, &t) != 0) {
    *why = std::string("not a serial line (") + strerror(errno) + ")";
    close(fd);
    return false;
  }
  cfmakeraw(&t);
  t.c_cflag &= ~(tcflag_t)(PARENB | CSTOPB | CSIZE);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  cfsetispeed(&t, speed_of(address.baud));
  cfsetospeed(&t, speed_of(address.baud));
  if (tcsetattr(fd, TCSANOW, &t) != 0) {
    *why = strerror(errno);
    close(fd);
    return false;
  }
  line->fd = fd;
  return true;
#endif
}

bool open_line(const SourceAddress& address, Line* line, std::string* why) {
  switch (address.kind) {
    case SOURCE_TCP: return open_tcp(address, line, why);
    case SOURCE_SERIAL: return open_serial(address, line, why);
    default:
#ifdef _WIN32
      line->handle = GetStdHandle(STD_INPUT_HANDLE);
#else
      line->fd = 0;
#endif
      return true;
  }
}

void close_line(const SourceAddress& address, Line* line) {
  if (line->sock != kNoSocket) close_socket(line->sock);
  line->sock = kNoSocket;
#ifdef _WIN32
  if (address.kind == SOURCE_SERIAL && line->handle != INVALID_HANDLE_VALUE)
    CloseHandle(line->handle);
  line->handle = INVALID_HANDLE_VALUE;
#else
  if (address.kind == SOURCE_SERIAL && line->fd >= 0) close(line->fd);
  line->fd = -1;
#endif
}

// Reads what the line has within kPollMs: the count, 0 for none yet, -1 at
// its end or on a failure (why says which).
int read_line(const SourceAddress& address, Line* line, char* buf, int max, std::string* why) {
  if (address.kind == SOURCE_TCP) {
#ifdef _WIN32
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(line->sock, &ready);
    timeval wait = {0, kPollMs * 1000};
    int n = select(0, &ready, nullptr, nullptr, &wait);
#else
    pollfd p = {line->sock, POLLIN, 0};
    int n = poll(&p, 1, kPollMs);
#endif
    if (n == 0) return 0;
    if (n < 0) {
      *why = socket_error_text();
      return -1;
    }
    int got = (int)recv(line->sock, buf, max, 0);
    if (got == 0) *why = "the other end closed the connection";
    if (got < 0) *why = socket_error_text();
    return got > 0 ? got : -1;
  }
#ifdef _WIN32
  DWORD got = 0;
  if (!ReadFile(line->handle, buf, (DWORD)max, &got, nullptr)) {
    *why = GetLastError() == ERROR_BROKEN_PIPE ? "end of input" : last_error_text();
    return -1;
  }
  if (got == 0 && address.kind != SOURCE_SERIAL) {
    *why = "end of input";
    return -1;
  }
  return (int)got;
#else
  int fd = address.kind == SOURCE_STDIN ? 0 : line->fd;
  pollfd p = {fd, POLLIN, 0};
  int n = poll(&p, 1, kPollMs);
  if (n == 0) return 0;
  if (n < 0) {
    if (errno == EINTR) return 0;
    *why = strerror(errno);
    return -1;
  }
  ssize_t got = read(fd, buf, (size_t)max);
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
  if (got == 0) *why = address.kind == SOURCE_STDIN ? "end of input" : "the device went away";
  if (got < 0) *why = strerror(errno);
  return got > 0 ? (int)got : -1;
#endif
}

// The queue between the reading thread and the converting thread.
struct Queue {
  std::vector<U08> ring = std::vector<U08>(kQueueBytes);
  size_t head = 0, size = 0;
  uint64_t pushed = 0, taken = 0;  // stream bytes put in and taken out
  std::deque<uint64_t> gaps;       // stream offsets where the line dropped
  bool ended = false, stopping = false;
  bool connected = false;  // a line is open
  std::vector<std::string> lines;
  std::mutex lock;
  std::condition_variable changed;
};
Queue* Q;
std::thread Reader;
SourceAddress Address;

// A console line now; a gap where the stream stands, reported when the
// converting thread gets there.
void note(const std::string& line, bool gap) {
  std::lock_guard<std::mutex> hold(Q->lock);
  Q->lines.push_back(now_text() + ": " + line);
  if (gap) Q->gaps.push_back(Q->pushed);
  Q->changed.notify_all();
}

bool stop_asked() {
  std::lock_guard<std::mutex> hold(Q->lock);
  return Q->stopping;
}

// Waits seconds, or less when the run stops; false when it stops.
bool pause(int seconds) {
  std::unique_lock<std::mutex> hold(Q->lock);
  return !Q->changed.wait_for(hold, std::chrono::seconds(seconds), [] { return Q->stopping; });
}

void push(const char* data, size_t n) {
  std::unique_lock<std::mutex> hold(Q->lock);
  while (n > 0 && !Q->stopping) {
    Q->changed.wait(hold, [] { return Q->size < Q->ring.size() || Q->stopping; });
    size_t room = std::min(n, Q->ring.size() - Q->size);
    for (size_t i = 0; i < room; i++)
      Q->ring[(Q->head + Q->size + i) % Q->ring.size()] = (U08)data[i];
    Q->size += room;
    Q->pushed += room;
    data += room;
    n -= room;
    Q->changed.notify_all();
  }
}

void read_source() {
  int delay = 1;
  bool connected_before = false;
  static char chunk[1 << 16];
  for (;;) {
    {
      std::lock_guard<std::mutex> hold(Q->lock);
      if (Q->stopping) return;
    }
    Line line;
    std::string why;
    if (!open_line(Address, &line, &why)) {
      note(Address.text + " cannot be opened: " + why + "; next try in " + std::to_string(delay) +
               " s",
           false);
      if (!pause(delay)) return;
      delay = std::min(delay * 2, kLongestDelay);
      continue;
    }
    {
      std::lock_guard<std::mutex> hold(Q->lock);
      Q->connected = true;
    }
    if (Address.kind != SOURCE_STDIN)
      note(Address.text + (connected_before ? " reconnected" : " connected"), false);
    connected_before = true;
    // The delay starts again from 1 s only when the line brought data: a far
    // end that accepts and closes at once is retried ever more slowly.
    bool received = false;
    for (;;) {
      {
        std::lock_guard<std::mutex> hold(Q->lock);
        if (Q->stopping) {
          close_line(Address, &line);
          return;
        }
      }
      int n = read_line(Address, &line, chunk, (int)sizeof chunk, &why);
      if (n > 0) {
        push(chunk, (size_t)n);
        if (!received) delay = 1;
        received = true;
      }
      if (n >= 0) continue;
      close_line(Address, &line);
      {
        std::lock_guard<std::mutex> hold(Q->lock);
        Q->connected = false;
      }
      if (Address.kind == SOURCE_STDIN) {
        std::lock_guard<std::mutex> hold(Q->lock);
        Q->ended = true;
        Q->changed.notify_all();
        return;
      }
      note(Address.text + " dropped: " + why + "; reconnecting in " + std::to_string(delay) + " s",
           true);
      if (!pause(delay)) return;
      delay = std::min(delay * 2, kLongestDelay);
      break;
    }
  }
}

}  // namespace

std::string Source_parse(const std::string& arg, SourceAddress* address) {
  *address = SourceAddress{};
  address->text = arg;
  if (arg == "-") {
    address->kind = SOURCE_STDIN;
    return "";
  }
  size_t scheme_end = arg.find("://");
  if (scheme_end == std::string::npos) {
    address->target = arg;
    return "";
  }
  std::string scheme = arg.substr(0, scheme_end), rest = arg.substr(scheme_end + 3);
  if (scheme == "tcp") {
    size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0)
      return "Source " + arg + ": a TCP source is tcp://HOST:PORT";
    std::string port = rest.substr(colon + 1);
    if (!all_digits(port) || port.size() > 5 || std::stoi(port) < 1 || std::stoi(port) > 65535)
      return "Source " + arg + ": '" + port + "' is not a port number (1 to 65535)";
    address->kind = SOURCE_TCP;
    address->target = rest.substr(0, colon);
    if (address->target.size() > 2 && address->target.front() == '[' &&
        address->target.back() == ']')
      address->target = address->target.substr(1, address->target.size() - 2);  // [::1]
    address->port = std::stoi(port);
    return "";
  }
  if (scheme == "serial") {
    address->kind = SOURCE_SERIAL;
    address->target = rest;
    size_t colon = rest.rfind(':');
    if (colon != std::string::npos) {
      std::string baud = rest.substr(colon + 1);
      const int kRates[] = {1200,  2400,   4800,   9600,   19200, 38400,
                            57600, 115200, 230400, 460800, 921600};
      if (!all_digits(baud) || baud.size() > 7 ||
          std::find(std::begin(kRates), std::end(kRates), std::stoi(baud)) == std::end(kRates))
        return "Source " + arg + ": '" + baud +
               "' is not a baud rate (1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, "
               "230400, 460800 or 921600)";
      address->baud = std::stoi(baud);
      address->target = rest.substr(0, colon);
    }
    if (address->target.empty())
      return "Source " + arg + ": a serial source is serial://DEVICE[:BAUD]";
    return "";
  }
  return "Source " + arg + ": unknown kind '" + scheme +
         "://' (a file, -, tcp://HOST:PORT or serial://DEVICE[:BAUD])";
}

bool Source_is_live(const SourceAddress& address) { return address.kind != SOURCE_FILE; }

void Live_start(const SourceAddress& address) {
  Address = address;
  if (Q == nullptr) Q = new Queue();
  Q->head = Q->size = 0;
  Q->pushed = Q->taken = 0;
  Q->gaps.clear();
  Q->ended = Q->stopping = false;
  Q->connected = false;
  Q->lines.clear();
  Reader = std::thread(read_source);
}

int Live_read(U08* buf, int max, int timeout_ms, LiveNews* news) {
  std::unique_lock<std::mutex> hold(Q->lock);
  Q->changed.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                      [] { return Q->size > 0 || Q->ended || Q->stopping || !Q->lines.empty(); });
  news->lines.swap(Q->lines);
  Q->lines.clear();
  news->gap = false;
  news->connected = Q->connected;
  while (!Q->gaps.empty() && Q->gaps.front() <= Q->taken) {
    news->gap = true;
    Q->gaps.pop_front();
  }
  if (Q->size == 0) return (Q->ended || Q->stopping) ? -1 : 0;
  size_t n = std::min(Q->size, (size_t)max);
  if (!Q->gaps.empty())
    n = std::min(n, (size_t)(Q->gaps.front() - Q->taken));  // up to the next gap
  Q->taken += n;
  for (size_t i = 0; i < n; i++) buf[i] = Q->ring[(Q->head + i) % Q->ring.size()];
  Q->head = (Q->head + n) % Q->ring.size();
  Q->size -= n;
  Q->changed.notify_all();
  return (int)n;
}

void Live_stop() {
  if (Q == nullptr || !Reader.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(Q->lock);
    Q->stopping = true;
    Q->changed.notify_all();
  }
#ifdef _WIN32
  // A blocking read of standard input cannot be woken: the process ends soon.
  if (Address.kind == SOURCE_STDIN) {
    Reader.detach();
    return;
  }
#endif
  Reader.join();
}
