// The source addresses (files, "-", tcp://, serial://) and the raw file as a
// byte source.
#include "source/byte_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "file_io.h"

namespace {

bool all_digits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
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
      if (!all_digits(baud) || baud.size() > 7 ||
          std::find(std::begin(kBaudRates), std::end(kBaudRates), std::stoi(baud)) ==
              std::end(kBaudRates))
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

long FileSource::read(U08* buf, size_t max, std::string* why) {
  size_t n = fread(buf, 1, max, fp_);
  if (n > 0) return (long)n;
  if (ferror(fp_) && error_ == 0) error_ = errno != 0 ? errno : EIO;
  if (error_ != 0) *why = strerror(error_);
  return -1;
}

void FileSource::close() {
  if (fp_ != nullptr) fclose(fp_);
  fp_ = nullptr;
}

bool FileSource::make_rereadable(std::string* why) {
  if (File_is_on_disk(fp_)) return true;
  constexpr size_t kBlock = 1 << 20;
  FILE* copy = File_temporary();
  if (copy == nullptr) {
    *why = strerror(errno);
    return false;
  }
  copy_buffer_.reset(new char[kBlock]);
  setvbuf(copy, copy_buffer_.get(), _IOFBF, kBlock);
  std::unique_ptr<U08[]> block(new U08[kBlock]);
  for (size_t n; (n = fread(block.get(), 1, kBlock, fp_)) > 0;) {
    if (fwrite(block.get(), 1, n, copy) != n) {
      *why = strerror(errno != 0 ? errno : EIO);
      fclose(copy);
      return false;
    }
  }
  if (ferror(fp_)) error_ = errno != 0 ? errno : EIO;
  if (fflush(copy) != 0 || fseek(copy, 0, SEEK_SET) != 0) {
    *why = strerror(errno != 0 ? errno : EIO);
    fclose(copy);
    return false;
  }
  fclose(fp_);
  fp_ = copy;
  return true;
}

bool FileSource::rewind() {
  clearerr(fp_);
  return fseek(fp_, 0, SEEK_SET) == 0;
}

long FileSource::size() {
  long at = ftell(fp_);
  if (at < 0 || fseek(fp_, 0, SEEK_END) != 0) return -1;
  long size = ftell(fp_);
  fseek(fp_, at, SEEK_SET);
  return size;
}
