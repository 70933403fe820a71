// Detection and decoding on any bytes: whatever the file holds, the load path
// ends with ANSI text no longer than the file (or a clean refusal), and text
// from a valid UTF-8 file of 1252 characters comes back byte for byte.
#include <string.h>

#include "files/encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size) {
  for (int autoUni = 0; autoUni < 2; autoUni++) {
    DetectedEncoding d = DetectEncoding(data, size, -1, DetectOptions{static_cast<u32>(autoUni), autoUni != 0});
    if (d.textOffset > size) __builtin_trap();
    ByteBuffer buf = {};
    if (!BufferAppend(&buf, data + d.textOffset, size - d.textOffset)) return 0;
    bool lost = false;
    int r = DecodeToAnsi(d.id, 0, &buf, &lost, nullptr);
    if (r == 0 && buf.length > size) __builtin_trap();
    if (r == 0 && d.id == kEncodingUtf8 && !lost) {
      ByteBuffer back = {};
      if (BufferAppend(&back, buf.data, buf.length) && EncodeFromAnsi(kEncodingUtf8, 0, &back, &lost, nullptr) == 0) {
        if (back.length != size - d.textOffset || memcmp(back.data, data + d.textOffset, back.length) != 0)
          __builtin_trap();
      }
      BufferFree(&back);
    }
    BufferFree(&buf);
  }
  return 0;
}
