// The live lines behind the byte-source interface: standard input, TCP
// sockets and serial lines, over the POSIX and Windows calls. Each read waits
// at most kPollMs, so that the reading thread sees a stop at once.
#include "source/byte_source.h"

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

#include <cerrno>
#include <cstring>

namespace {

constexpr int kPollMs = 200;       // how soon a read returns from a silent line
constexpr int kConnectMs = 10000;  // an unanswered connect: three SYNs, then given up

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

// Connects s without blocking, waiting up to kConnectMs in kPollMs steps so
// that a stop is seen at once: a far end that never answers (a firewall, a
// full accept queue) would otherwise hold the reading thread for minutes.
bool connect_within(Socket s, const addrinfo* a, const std::function<bool()>& stopping) {
  set_blocking(s, false);
  if (connect(s, a->ai_addr, (int)a->ai_addrlen) == 0) return set_blocking(s, true);
  if (!connect_pending()) return false;
  for (int waited = 0; waited < kConnectMs && !stopping(); waited += kPollMs) {
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

#ifndef _WIN32
// What a descriptor has within kPollMs: the count, 0 for none yet, -1 at its
// end (ended says how that reads) or on a failure.
long read_fd(int fd, U08* buf, size_t max, std::string* why, const char* ended) {
  pollfd p = {fd, POLLIN, 0};
  int n = poll(&p, 1, kPollMs);
  if (n == 0) return 0;
  if (n < 0) {
    if (errno == EINTR) return 0;
    *why = strerror(errno);
    return -1;
  }
  ssize_t got = ::read(fd, buf, max);
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
  if (got == 0) *why = ended;
  if (got < 0) *why = strerror(errno);
  return got > 0 ? (long)got : -1;
}
#endif

class TcpLine : public ByteSource {
 public:
  TcpLine(const SourceAddress& a, std::function<bool()> stopping)
      : address_(a), stopping_(std::move(stopping)) {}
  ~TcpLine() override { close(); }
  bool open(std::string* why) override {
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
    std::string port = std::to_string(address_.port);
    int rc = getaddrinfo(address_.target.c_str(), port.c_str(), &hints, &found);
    if (rc != 0) {
      *why = std::string("host not found (") + gai_strerror(rc) + ")";
      return false;
    }
    *why = "no address to connect to";
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
      Socket s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
      if (s == kNoSocket) continue;
      if (connect_within(s, a, stopping_)) {
        sock_ = s;
        freeaddrinfo(found);
        return true;
      }
      *why = socket_error_text();
      close_socket(s);
    }
    freeaddrinfo(found);
    return false;
  }
  long read(U08* buf, size_t max, std::string* why) override {
#ifdef _WIN32
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(sock_, &ready);
    timeval wait = {0, kPollMs * 1000};
    int n = select(0, &ready, nullptr, nullptr, &wait);
#else
    pollfd p = {sock_, POLLIN, 0};
    int n = poll(&p, 1, kPollMs);
#endif
    if (n == 0) return 0;
    if (n < 0) {
      *why = socket_error_text();
      return -1;
    }
    long got = (long)recv(sock_, reinterpret_cast<char*>(buf), (int)max, 0);
    if (got == 0) *why = "the other end closed the connection";
    if (got < 0) *why = socket_error_text();
    return got > 0 ? got : -1;
  }
  void close() override {
    if (sock_ != kNoSocket) close_socket(sock_);
    sock_ = kNoSocket;
  }

 private:
  SourceAddress address_;
  std::function<bool()> stopping_;
  Socket sock_ = kNoSocket;
};

#ifndef _WIN32
// The terminal speed of a baud rate the source offers; B0 for any other.
speed_t speed_of(int baud) {
  // In the order of kBaudRates.
  static const speed_t kSpeeds[kBaudRateCount] = {B1200,  B2400,   B4800,   B9600,   B19200, B38400,
                                                  B57600, B115200, B230400, B460800, B921600};
  for (int i = 0; i < kBaudRateCount; i++)
    if (kBaudRates[i] == baud) return kSpeeds[i];
  return B0;
}
#endif

// A serial line: 8 data bits, no parity, one stop bit, raw.
class SerialLine : public ByteSource {
 public:
  explicit SerialLine(const SourceAddress& a) : address_(a) {}
  ~SerialLine() override { close(); }
  bool open(std::string* why) override {
#ifdef _WIN32
    std::string name =
        address_.target.rfind("\\\\.\\", 0) == 0 ? address_.target : "\\\\.\\" + address_.target;
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      *why = last_error_text();
      return false;
    }
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    GetCommState(h, &dcb);
    dcb.BaudRate = (DWORD)address_.baud;
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
    handle_ = h;
    return true;
#else
    int fd = ::open(address_.target.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
      *why = strerror(errno);
      return false;
    }
    termios t = {};
    if (tcgetattr(fd, &t) != 0) {
      *why = std::string("not a serial line (") + strerror(errno) + ")";
      ::close(fd);
      return false;
    }
    cfmakeraw(&t);
    t.c_cflag &= ~(tcflag_t)(PARENB | CSTOPB | CSIZE);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    cfsetispeed(&t, speed_of(address_.baud));
    cfsetospeed(&t, speed_of(address_.baud));
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
      *why = strerror(errno);
      ::close(fd);
      return false;
    }
    fd_ = fd;
    return true;
#endif
  }
  long read(U08* buf, size_t max, std::string* why) override {
#ifdef _WIN32
    DWORD got = 0;
    if (!ReadFile(handle_, buf, (DWORD)max, &got, nullptr)) {
      *why = last_error_text();
      return -1;
    }
    return (long)got;
#else
    return read_fd(fd_, buf, max, why, "the device went away");
#endif
  }
  void close() override {
#ifdef _WIN32
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
#else
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
#endif
  }

 private:
  SourceAddress address_;
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
};

// Standard input: a pipe or a FIFO, whose end is the end of the run.
class StdinLine : public ByteSource {
 public:
  bool open(std::string*) override { return true; }
  long read(U08* buf, size_t max, std::string* why) override {
#ifdef _WIN32
    DWORD got = 0;
    if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buf, (DWORD)max, &got, nullptr)) {
      *why = GetLastError() == ERROR_BROKEN_PIPE ? "end of input" : last_error_text();
      return -1;
    }
    if (got == 0) {
      *why = "end of input";
      return -1;
    }
    return (long)got;
#else
    return read_fd(0, buf, max, why, "end of input");
#endif
  }
  void close() override {}
};

}  // namespace

std::unique_ptr<ByteSource> Source_line(const SourceAddress& address,
                                        std::function<bool()> stopping) {
  switch (address.kind) {
    case SOURCE_TCP: return std::make_unique<TcpLine>(address, std::move(stopping));
    case SOURCE_SERIAL: return std::make_unique<SerialLine>(address);
    default: return std::make_unique<StdinLine>();
  }
}
