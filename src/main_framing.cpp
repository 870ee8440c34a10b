// Raw stream framing. Frames are A0 A1, a big-endian payload length, the
// payload, an XOR checksum and the tail 0D 0A; anything between frames is
// skipped byte by byte. Every frame whose checksum matches is decoded.
#include <cerrno>
#include <cstdio>

#include "decode_binmsg.h"
#include "main.h"

#ifdef _WIN32
#define getc_unlocked _getc_nolock  // the Windows C runtime's name for it
#endif

namespace {

constexpr int kFirstStartByte = 0xA0;
constexpr int kSecondStartByte = 0xA1;
constexpr U16 kMaxPayloadLen = FRAME_BUFFER_SIZE - 1;
constexpr S32 kEpochLimit = 5183999;

// Why the last read stopped short of the end of the input (an errno value), or 0.
int Raw_read_errno;

// Called where a read came back short: tells a failing device from the end of the file.
void note_read_stop(FILE* fp_raw) {
  if (ferror(fp_raw) && Raw_read_errno == 0) Raw_read_errno = (errno != 0) ? errno : EIO;
}

}  // namespace

int raw_read_errno() { return Raw_read_errno; }

U08 calculate_checksum(const unsigned char* buf, int len) {
  U08 sum = 0;
  for (int i = 0; i < len; i++) sum ^= buf[i];
  return sum;
}

void parsing_raw_file_and_put_obs_nav_record(FILE* fp_raw) {
  static U08 buf[FRAME_BUFFER_SIZE];
  U08 tmp[2];
  Raw_read_errno = 0;
  unsigned long iteration = 0;
  unsigned long succeed = 0;
  unsigned long checksum_error = 0;
  unsigned long tail_mismatch = 0;

  for (;;) {
    int c = getc_unlocked(fp_raw);
    if (c == EOF) {
      note_read_stop(fp_raw);
      printf("reading error when locating file header 0x%x\n", kFirstStartByte);
      break;
    }
    if (c != kFirstStartByte) continue;
    c = getc_unlocked(fp_raw);
    if (c == EOF) {
      note_read_stop(fp_raw);
      printf("reading error when locating file header 0x%x\n", kSecondStartByte);
      break;
    }
    if (c == kSecondStartByte) {
      iteration++;
      if (fread(tmp, 1, 2, fp_raw) < 2) {
        note_read_stop(fp_raw);
        printf(
            "parsing stopped at %ld-th iteration because of insufficient reading length "
            "(possibly EOF encountered)\n",
            (long)iteration);
        break;
      }
      U16 pl_len = (U16)(tmp[0] * 256 + tmp[1]);
      if (pl_len > kMaxPayloadLen) {
        // A false start inside data: only its four bytes are lost.
        printf(
            "Buffer size is not enough!!! Payload Length=%d, Buf Size=%d. May find fake "
            "header.\n\n",
            pl_len, FRAME_BUFFER_SIZE);
      } else {
        int rdlen = (int)fread(buf, 1, (size_t)pl_len + 1, fp_raw);
        if (rdlen < pl_len + 1) {
          note_read_stop(fp_raw);
          printf(
              "parsing stopped while reading payload and checksum at %lu-th iteration "
              "(rdlen=%d paylen=%d, EOF=%d)\n\n",
              iteration, rdlen, pl_len, feof(fp_raw) ? 1 : 0);
          break;
        }
        U08 msg_id = buf[0];
        if (calculate_checksum(buf, pl_len) == buf[pl_len]) {
          Decode_binary_message_process(msg_id, buf, pl_len);
        } else {
          printf("%2x checksum error. Payload Length = %d\n\n", msg_id, pl_len);
          checksum_error++;
        }
        if (fread(buf, 1, 2, fp_raw) < 2) {
          note_read_stop(fp_raw);
          puts("read to EOF 1");
          break;
        }
        if (buf[0] == 0x0D && buf[1] == 0x0A)
          succeed++;
        else
          tail_mismatch++;
        printf("Decoded msg epoch= %8ld\r", (long)Decode_get_number_of_epoch());
      }
    }
    if (Decode_get_number_of_epoch() > kEpochLimit) break;
  }

  printf("Decoded msg epoch number= %8ld\n\n", (long)Decode_get_number_of_epoch());
  puts("Raw file parsing results: ");
  printf("total header number = %lu\n", iteration);
  printf("succeed             = %lu\n", succeed);
  printf("check sum error     = %lu\n", checksum_error);
  printf("tail_mismatch       = %lu\n", tail_mismatch);
  puts("");
  Decode_show_decoded_msg_number();
}
