// Output files through zlib for gzip. The gzip header fields that could differ
// between runs or platforms (time, operating system) are fixed, so the same
// log gives the same compressed bytes everywhere.
#include "output_sink.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>

#include "rinex.h"

struct SinkState {
  z_stream stream;
  bool started;  // a records member is open
  unsigned char out[1 << 16];
};

namespace {

constexpr int kLevel = 6;             // the ratio of gzip -6
constexpr int kGzipWindow = 15 + 16;  // 32 KB window, gzip wrapper
constexpr int kMemLevel = 8;
constexpr size_t kStreamBufferSize = 1 << 18;
constexpr size_t kStoredBlockMax = 65535;

void note_error(Sink* s) {
  if (s->error == 0 && (s->fp == nullptr || ferror(s->fp))) s->error = errno != 0 ? errno : EIO;
}

void put(Sink* s, const void* data, size_t len) {
  if (len > 0 && fwrite(data, 1, len, s->fp) != len) note_error(s);
}

void put_le32(Sink* s, uint32_t v) {
  unsigned char b[4] = {(unsigned char)v, (unsigned char)(v >> 8), (unsigned char)(v >> 16),
                        (unsigned char)(v >> 24)};
  put(s, b, 4);
}

// A whole gzip member of stored blocks: its size depends on the length alone.
void put_stored_member(Sink* s, const char* text, size_t len) {
  static const unsigned char kGzipHeader[10] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 0xff};
  put(s, kGzipHeader, sizeof kGzipHeader);
  size_t at = 0;
  do {
    size_t n = len - at < kStoredBlockMax ? len - at : kStoredBlockMax;
    unsigned char block[5] = {(unsigned char)(at + n == len ? 1 : 0), (unsigned char)n,
                              (unsigned char)(n >> 8), (unsigned char)~n, (unsigned char)(~n >> 8)};
    put(s, block, 5);
    put(s, text + at, n);
    at += n;
  } while (at < len);
  put_le32(s, (uint32_t)crc32(crc32(0L, Z_NULL, 0), (const Bytef*)text, (uInt)len));
  put_le32(s, (uint32_t)len);
}

void deflate_into_file(Sink* s, int flush) {
  z_stream& z = s->z->stream;
  do {
    z.next_out = s->z->out;
    z.avail_out = sizeof s->z->out;
    deflate(&z, flush);
    put(s, s->z->out, sizeof s->z->out - z.avail_out);
  } while (z.avail_out == 0);
}

// Completes the gzip member of the records, if one is open.
void end_records_member(Sink* s) {
  if (!s->gzip || !s->z->started) return;
  s->z->stream.avail_in = 0;
  deflate_into_file(s, Z_FINISH);
  deflateEnd(&s->z->stream);
  s->z->started = false;
}

}  // namespace

bool Sink_open(Sink* s, const std::string& path, bool gzip) {
  s->fp = RINEX_open_file(path.c_str(), gzip ? "wb" : "w");
  s->gzip = gzip;
  s->error = 0;
  if (s->fp == nullptr) return false;
  setvbuf(s->fp, nullptr, _IOFBF, kStreamBufferSize);
  if (gzip && s->z == nullptr) s->z = new SinkState();
  if (gzip) s->z->started = false;
  return true;
}

bool Sink_is_open(const Sink* s) { return s->fp != nullptr; }

void Sink_header(Sink* s, const char* text, size_t len) {
  if (s->fp == nullptr) return;
  if (s->gzip)
    put_stored_member(s, text, len);
  else
    put(s, text, len);
}

void Sink_body(Sink* s, const char* text, size_t len) {
  if (s->fp == nullptr || len == 0) return;
  if (!s->gzip) return put(s, text, len);
  z_stream& z = s->z->stream;
  if (!s->z->started) {
    memset(&z, 0, sizeof z);
    deflateInit2(&z, kLevel, Z_DEFLATED, kGzipWindow, kMemLevel, Z_DEFAULT_STRATEGY);
    s->z->started = true;
  }
  z.next_in = (Bytef*)text;
  z.avail_in = (uInt)len;
  deflate_into_file(s, Z_NO_FLUSH);
}

void Sink_rewind(Sink* s) {
  if (s->fp == nullptr) return;
  end_records_member(s);
  // Seeking flushes what the buffers still hold: a full disk shows here at the latest.
  if (fseek(s->fp, 0, SEEK_SET) != 0 || ferror(s->fp)) note_error(s);
}

void Sink_close(Sink* s) {
  if (s->fp == nullptr) return;
  end_records_member(s);
  if (fflush(s->fp) != 0 || ferror(s->fp)) note_error(s);
  if (fclose(s->fp) != 0 && s->error == 0) s->error = errno != 0 ? errno : EIO;
  s->fp = nullptr;
}
