// Output files through zlib for gzip. The gzip header fields that could differ
// between runs or platforms (time, operating system) are fixed, so the same
// log gives the same compressed bytes everywhere.
//
// The records member is compressed in chunks of 1 MiB on two threads: every
// other chunk goes to the sink's compressor thread while the writer compresses
// the next one itself. Each chunk is raw deflate primed with the last 32 KiB
// of the chunk before it and ends byte-aligned (a sync flush), so the chunks
// joined are one deflate stream that any gzip reader reads, of about the size
// one stream would have, and the same bytes however the threads interleave.
#include "output_sink.h"

#include <zlib.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "file_io.h"

namespace {

constexpr int kLevel = 6;        // the ratio of gzip -6
constexpr int kRawWindow = -15;  // 32 KiB window, no wrapper: the member's header is ours
constexpr int kMemLevel = 8;
constexpr size_t kStreamBufferSize = 1 << 18;
constexpr size_t kStoredBlockMax = 65535;
constexpr size_t kChunk = 1 << 20;
constexpr size_t kDictionary = 1 << 15;
const unsigned char kGzipHeader[10] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 0xff};

// One chunk: its text, the text before it (the dictionary) and its deflate output.
struct Chunk {
  std::string text;
  std::string dictionary;
  std::string out;
  bool last = false;
};

void compress_chunk(Chunk* c) {
  z_stream z;
  memset(&z, 0, sizeof z);
  deflateInit2(&z, kLevel, Z_DEFLATED, kRawWindow, kMemLevel, Z_DEFAULT_STRATEGY);
  if (!c->dictionary.empty())
    deflateSetDictionary(&z, (const Bytef*)c->dictionary.data(), (uInt)c->dictionary.size());
  c->out.resize(deflateBound(&z, (uLong)c->text.size()) + 16);
  z.next_in = (Bytef*)c->text.data();
  z.avail_in = (uInt)c->text.size();
  z.next_out = (Bytef*)&c->out[0];
  z.avail_out = (uInt)c->out.size();
  deflate(&z, c->last ? Z_FINISH : Z_SYNC_FLUSH);
  c->out.resize(c->out.size() - z.avail_out);
  deflateEnd(&z);
}

}  // namespace

struct SinkState {
  bool started = false;  // a records member is open
  uLong crc = 0;
  uint64_t length = 0;
  std::string pending;     // text of the chunk being filled
  std::string dictionary;  // the last 32 KiB of text handed on
  Chunk own;               // the chunk the writer compresses itself
  // The compressor thread and the chunk it is given.
  Chunk given;
  bool busy = false, stop = false;
  bool given_unwritten = false;  // its output is still to be written
  std::thread worker;
  std::mutex lock;
  std::condition_variable changed;

  void run() {
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
      changed.wait(hold, [this] { return busy || stop; });
      if (stop && !busy) return;
      hold.unlock();
      compress_chunk(&given);
      hold.lock();
      busy = false;
      changed.notify_all();
    }
  }
  void wait_idle() {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [this] { return !busy; });
  }
};

namespace {

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

// Fills a chunk from the pending text: its dictionary is what came before.
void take_pending(SinkState* z, Chunk* c, bool last) {
  c->text.swap(z->pending);
  z->pending.clear();
  c->dictionary = z->dictionary;
  c->last = last;
  z->crc = crc32(z->crc, (const Bytef*)c->text.data(), (uInt)c->text.size());
  z->length += c->text.size();
  if (c->text.size() >= kDictionary)
    z->dictionary.assign(c->text, c->text.size() - kDictionary, kDictionary);
  else
    z->dictionary = (z->dictionary + c->text)
                        .substr(z->dictionary.size() + c->text.size() > kDictionary
                                    ? z->dictionary.size() + c->text.size() - kDictionary
                                    : 0);
}

// Hands the pending text on as a chunk. Chunks go alternately to the
// compressor thread and to the writer itself, which then writes the thread's
// chunk and its own, in their order.
void hand_on(Sink* s, bool last) {
  SinkState* z = s->z;
  if (!last && !z->given_unwritten) {
    take_pending(z, &z->given, false);
    std::lock_guard<std::mutex> hold(z->lock);
    z->busy = z->given_unwritten = true;
    z->changed.notify_all();
    return;
  }
  take_pending(z, &z->own, last);
  compress_chunk(&z->own);
  if (z->given_unwritten) {
    z->wait_idle();
    put(s, z->given.out.data(), z->given.out.size());
    z->given_unwritten = false;
  }
  put(s, z->own.out.data(), z->own.out.size());
}

// Completes the gzip member of the records, if one is open.
void end_records_member(Sink* s) {
  if (!s->gzip || s->z == nullptr || !s->z->started) return;
  hand_on(s, true);
  put_le32(s, (uint32_t)s->z->crc);
  put_le32(s, (uint32_t)s->z->length);
  s->z->started = false;
}

void stop_worker(SinkState* z) {
  if (!z->worker.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(z->lock);
    z->stop = true;
    z->changed.notify_all();
  }
  z->worker.join();
}

}  // namespace

bool Sink_open(Sink* s, const std::string& path, bool gzip) {
  s->fp = File_open(path.c_str(), gzip ? "wb" : "w");
  s->gzip = gzip;
  s->error = 0;
  s->header_len = 0;
  if (s->fp == nullptr) return false;
  setvbuf(s->fp, nullptr, _IOFBF, kStreamBufferSize);
  if (gzip) {
    if (s->z == nullptr) s->z = new SinkState();
    stop_worker(s->z);
    s->z->started = false;
    s->z->given_unwritten = false;
    s->z->stop = false;
    s->z->pending.reserve(kChunk + (1 << 16));
    s->z->worker = std::thread(&SinkState::run, s->z);
  }
  return true;
}

bool Sink_is_open(const Sink* s) { return s->fp != nullptr; }

void Sink_header(Sink* s, const char* text, size_t len) {
  if (s->fp == nullptr) return;
  if (s->header_len != 0 && len != s->header_len) {
    if (s->error == 0) s->error = EOVERFLOW;
    return;
  }
  s->header_len = len;
  if (s->gzip)
    put_stored_member(s, text, len);
  else
    put(s, text, len);
}

void Sink_body(Sink* s, const char* text, size_t len) {
  if (s->fp == nullptr || len == 0) return;
  if (!s->gzip) return put(s, text, len);
  SinkState* z = s->z;
  if (!z->started) {
    put(s, kGzipHeader, sizeof kGzipHeader);
    z->crc = crc32(0L, Z_NULL, 0);
    z->length = 0;
    z->dictionary.clear();
    z->started = true;
  }
  z->pending.append(text, len);
  if (z->pending.size() >= kChunk) hand_on(s, false);
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
  if (s->gzip) stop_worker(s->z);
  if (fflush(s->fp) != 0 || ferror(s->fp)) note_error(s);
  if (fclose(s->fp) != 0 && s->error == 0) s->error = errno != 0 ? errno : EIO;
  s->fp = nullptr;
}
