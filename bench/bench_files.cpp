// Decoding a file's bytes: UTF-8 with 5% non-ASCII characters to the ANSI
// code page, in place, against glibc's iconv converting the same bytes.
#include <iconv.h>

#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "bench/bench.h"
#include "files/encoding.h"

namespace {

std::vector<char> EnglishLikeUtf8(size_t bytes) {
  static const char *words[] = {"the", "of", "and", "to", "in", "is", "that", "for", "it", "as", "with", "was",
                                "on", "be", "at", "by", "this", "had", "not", "are", "but", "from", "or", "have"};
  static const char *accented[] = {"caf\xC3\xA9", "na\xC3\xAFve", "r\xC3\xB4le", "\xC3\xBC" "ber", "se\xC3\xB1or"};
  std::mt19937 rng(42);
  std::vector<char> out;
  out.reserve(bytes + 64);
  size_t line = 0;
  while (out.size() < bytes) {
    const char *w = (rng() % 100 < 5) ? accented[rng() % 5] : words[rng() % 24];
    size_t n = strlen(w);
    out.insert(out.end(), w, w + n);
    line += n + 1;
    if (line > 60) {
      out.push_back('\r');
      out.push_back('\n');
      line = 0;
    } else {
      out.push_back(' ');
    }
  }
  return out;
}

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

void BenchFiles() {
  const size_t size = 256u << 20;
  std::vector<char> utf8 = EnglishLikeUtf8(size);
  ByteBuffer buf = {};
  if (!BufferReserve(&buf, utf8.size())) return;
  double ours = 1e30;
  for (int run = 0; run < 3; run++) {
    memcpy(buf.data, utf8.data(), utf8.size());
    buf.length = utf8.size();
    bool lost = false;
    auto t0 = std::chrono::steady_clock::now();
    if (DecodeToAnsi(kEncodingUtf8, 0, &buf, &lost, nullptr) != 0) return;
    ours = std::min(ours, Seconds(t0));
  }
  BufferFree(&buf);

  std::vector<char> out(utf8.size());
  double base = 1e30;
  for (int run = 0; run < 3; run++) {
    iconv_t cd = iconv_open("CP1252", "UTF-8");
    char *in = utf8.data(), *o = out.data();
    size_t inLeft = utf8.size(), outLeft = out.size();
    auto t0 = std::chrono::steady_clock::now();
    iconv(cd, &in, &inLeft, &o, &outLeft);
    base = std::min(base, Seconds(t0));
    iconv_close(cd);
  }
  Report("decode_utf8_256MiB", utf8.size() / ours / (1 << 20), "MiB/s");
  Report("iconv_utf8_to_cp1252_256MiB", utf8.size() / base / (1 << 20), "MiB/s");
  Ratio("decode_utf8_256MiB_vs_iconv", ours, base);
}
