// vln_damage_log INPUT OUT_DIR COUNT [SEED]: writes COUNT damaged copies of a
// raw log (damaged_000.dat ...), each with one kind of damage a log meets in
// the field: flipped bytes, a cut, inserted garbage, corrupted frame lengths,
// corrupted record counts, measurements that are not finite numbers (NaN of
// either sign, infinities). The same seed gives the same copies.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Random {
  uint64_t state;
  uint32_t next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return (uint32_t)(state >> 33);
  }
  size_t below(size_t n) { return n == 0 ? 0 : (size_t)next() % n; }
};

typedef std::vector<uint8_t> Bytes;

// Offsets of the frame starts (A0 A1) of an undamaged log.
std::vector<size_t> frames(const Bytes& log) {
  std::vector<size_t> starts;
  for (size_t i = 0; i + 4 < log.size();) {
    if (log[i] == 0xA0 && log[i + 1] == 0xA1) {
      starts.push_back(i);
      i += 4 + ((size_t)log[i + 2] << 8 | log[i + 3]) + 3;
    } else {
      i++;
    }
  }
  return starts;
}

// Writes NaN (either sign) or an infinity over one value of one record of a
// measurement frame at f (0xE5 or 0xDD), and mends the checksum.
void put_non_finite(Bytes* out, size_t f, Random* rng) {
  static const uint64_t kDouble[4] = {0x7FF8000000000000ULL, 0xFFF8000000000000ULL,
                                      0x7FF0000000000000ULL, 0xFFF0000000000000ULL};
  static const uint32_t kFloat[4] = {0x7FC00000U, 0xFFC00000U, 0x7F800000U, 0xFF800000U};
  Bytes& b = *out;
  size_t len = (size_t)b[f + 2] << 8 | b[f + 3];
  size_t p = f + 4;  // payload
  size_t header, record, count;
  if (b[p] == 0xE5 && len >= 14) {
    header = 14, record = 31, count = b[p + 13];
  } else if (b[p] == 0xDD && len >= 3) {
    header = 3, record = 23, count = b[p + 2];
  } else {
    return;
  }
  if (count == 0 || header + count * record > len) return;
  size_t r = p + header + rng->below(count) * record;
  size_t field = rng->below(3);  // pseudorange, phase, Doppler
  size_t at = r + (b[p] == 0xE5 ? 4 : 2) + 8 * field;
  size_t kind = rng->below(4);
  if (field < 2) {
    for (int i = 0; i < 8; i++) b[at + (size_t)i] = (uint8_t)(kDouble[kind] >> (56 - 8 * i));
  } else {
    for (int i = 0; i < 4; i++) b[at + (size_t)i] = (uint8_t)(kFloat[kind] >> (24 - 8 * i));
  }
  uint8_t sum = 0;
  for (size_t i = 0; i < len; i++) sum ^= b[p + i];
  b[p + len] = sum;
}

Bytes damage(const Bytes& log, const std::vector<size_t>& starts, int kind, Random* rng) {
  Bytes out = log;
  switch (kind) {
    case 0:  // flipped bytes
      for (size_t n = 1 + rng->below(20); n > 0 && !out.empty(); n--)
        out[rng->below(out.size())] ^= (uint8_t)(1 + rng->below(255));
      break;
    case 1:  // cut anywhere
      out.resize(rng->below(out.size() + 1));
      break;
    case 2:  // garbage inserted, frame starts among it
      for (size_t n = 1 + rng->below(5); n > 0; n--) {
        Bytes junk(1 + rng->below(200));
        for (uint8_t& b : junk) b = (uint8_t)rng->below(256);
        if (junk.size() > 2 && rng->below(2)) junk[0] = 0xA0, junk[1] = 0xA1;
        out.insert(out.begin() + (long)rng->below(out.size() + 1), junk.begin(), junk.end());
      }
      break;
    case 3:  // frame lengths
      for (size_t n = 1 + rng->below(5); n > 0 && !starts.empty(); n--) {
        size_t f = starts[rng->below(starts.size())];
        out[f + 2] = (uint8_t)rng->below(256);
        out[f + 3] = (uint8_t)rng->below(256);
      }
      break;
    case 4:  // record counts of measurement messages, checksums fixed so the frames decode
      for (size_t n = 1 + rng->below(5); n > 0 && !starts.empty(); n--) {
        size_t f = starts[rng->below(starts.size())];
        size_t len = (size_t)out[f + 2] << 8 | out[f + 3];
        size_t count = out[f + 4] == 0xE5 ? 13 : out[f + 4] == 0xDD ? 2 : 1 + rng->below(len);
        if (count >= len) continue;
        out[f + 4 + count] = (uint8_t)rng->below(256);
        uint8_t sum = 0;
        for (size_t i = 0; i < len; i++) sum ^= out[f + 4 + i];
        out[f + 4 + len] = sum;
      }
      break;
    default:  // a pseudorange, phase or Doppler of a measurement record not finite
      for (size_t n = 1 + rng->below(5); n > 0 && !starts.empty(); n--)
        put_non_finite(&out, starts[rng->below(starts.size())], rng);
      break;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    puts(
        "usage: vln_damage_log INPUT OUT_DIR COUNT [SEED]\n"
        "  Writes COUNT damaged copies of the raw log INPUT into OUT_DIR (damaged_000.dat\n"
        "  ...): flipped bytes, a cut, inserted garbage, corrupted frame lengths and record\n"
        "  counts, measurements that are not finite; the same copies for the same SEED\n"
        "  (default 7).");
    return 0;
  }
  if (argc < 4 || argc > 5 || argv[1][0] == '-') {
    fprintf(stderr, "usage: vln_damage_log INPUT OUT_DIR COUNT [SEED]\n");
    return 2;
  }
  FILE* in = fopen(argv[1], "rb");
  if (in == nullptr) {
    perror(argv[1]);
    return 1;
  }
  Bytes log;
  for (int c; (c = getc(in)) != EOF;) log.push_back((uint8_t)c);
  fclose(in);
  std::vector<size_t> starts = frames(log);
  int count = atoi(argv[3]);
  Random rng{argc == 5 ? strtoull(argv[4], nullptr, 10) : 7};
  for (int i = 0; i < count; i++) {
    Bytes out = damage(log, starts, i % 6, &rng);
    char name[32];
    snprintf(name, sizeof name, "/damaged_%03d.dat", i);
    std::string path = std::string(argv[2]) + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr || fwrite(out.data(), 1, out.size(), f) != out.size() || fclose(f) != 0) {
      perror(path.c_str());
      return 1;
    }
  }
  return 0;
}
