// Decoding a file's bytes: UTF-8 with 5% non-ASCII characters to the ANSI
// code page, in place, against glibc's iconv converting the same bytes.
#include <iconv.h>

#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/bench.h"
#include "config/config_state.h"
#include "document/document.h"
#include "files/encoding.h"
#include "files/load.h"
#include "files/save.h"
#include "foundation/texts.h"

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

// Peak resident memory of this process, in bytes (VmHWM).
u64 PeakMemory() {
  FILE *f = fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  u64 kib = 0;
  while (fgets(line, sizeof line, f))
    if (sscanf(line, "VmHWM: %llu kB", reinterpret_cast<unsigned long long *>(&kib)) == 1) break;
  fclose(f);
  return kib * 1024;
}

void WriteFile(const char *path, const std::vector<char> &bytes) {
  FILE *f = fopen(path, "wb");
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

// Opening a 256 MiB ANSI file against reading it and inserting it into a
// store; saving it against writing its bytes; the peak memory of a load in a
// process of its own.
void BenchLoadSave() {
  const char *path = "/tmp/quillpad-bench.txt";
  const char *out = "/tmp/quillpad-bench-out.txt";
  std::vector<char> bytes = AnsiLines(256u << 20);
  WriteFile(path, bytes);
  SetDefaultSettings(&g_settings, true);
  g_settings.file.Limit = 0;
  FileHooks hooks = {};

  double base = BestSeconds(3, [&] {
    FILE *f = fopen(path, "rb");
    std::vector<char> data(bytes.size());
    if (fread(data.data(), 1, data.size(), f) != data.size()) return;
    fclose(f);
    Document *doc = CreateDocument();
    if (StoreInsert(&doc->store, 0, BytesSource(data.data(), static_cast<u32>(data.size())), 0) != 0) return;
    DestroyDocument(doc);
  });
  double ours = BestSeconds(3, [&] {
    Document *doc = CreateDocument();
    OpenRequest request = {path, kDetectEncoding, 0, kOpenAsked | kOpenNoRecent};
    if (OpenFile(doc, request, hooks) != 0) printf("load failed\n");
    DestroyDocument(doc);
  });
  Report("load_ansi_256MiB", bytes.size() / ours / (1 << 20), "MiB/s");
  Ratio("load_ansi_256MiB_vs_read_and_insert", ours, base);

  Document *doc = CreateDocument();
  OpenRequest request = {path, kDetectEncoding, 0, kOpenAsked | kOpenNoRecent};
  if (OpenFile(doc, request, hooks) != 0) return;
  double writing = BestSeconds(3, [&] { WriteFile(out, bytes); });
  double save = BestSeconds(3, [&] {
    if (SaveFile(doc, out, kDocumentEncoding, 0, kSaveNoBackup | kSaveNoFlush, hooks) != 0) printf("save failed\n");
  });
  g_settings.file.SStream = 1;
  double streamed = BestSeconds(3, [&] {
    if (SaveFile(doc, out, kDocumentEncoding, 0, kSaveNoBackup | kSaveNoFlush, hooks) != 0) printf("save failed\n");
  });
  g_settings.file.SStream = 0;
  Report("save_ansi_256MiB", bytes.size() / save / (1 << 20), "MiB/s");
  Ratio("save_ansi_256MiB_vs_write", save, writing);
  Ratio("save_streamed_256MiB_vs_write", streamed, writing);
  DocumentStatistics stats;
  DocumentStatisticsOf(doc, &stats);
  u64 docBytes = stats.memory.textBuffers + stats.memory.blockIndex + stats.memory.lineIndex + stats.memory.markers;
  DestroyDocument(doc);

  // The peak of a load, in a fresh process.
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return;
  pid_t child = fork();
  if (child == 0) {
    u64 before = PeakMemory();
    Document *d = CreateDocument();
    OpenRequest r = {path, kDetectEncoding, 0, kOpenAsked | kOpenNoRecent};
    int result = OpenFile(d, r, hooks);
    u64 peak = PeakMemory() - before;
    if (result != 0) peak = 0;
    if (write(pipeFds[1], &peak, sizeof peak) != sizeof peak) _exit(1);
    _exit(0);
  }
  u64 peak = 0;
  if (read(pipeFds[0], &peak, sizeof peak) != sizeof peak) peak = 0;
  waitpid(child, nullptr, 0);
  close(pipeFds[0]);
  close(pipeFds[1]);
  Report("load_peak_memory_256MiB", peak / 1048576.0, "MiB");
  Report("load_peak_allowed_256MiB", (bytes.size() + docBytes + (16u << 20)) / 1048576.0, "MiB");
  Ratio("load_peak_vs_file_plus_document_plus_16MiB", static_cast<double>(peak),
        static_cast<double>(bytes.size() + docBytes + (16u << 20)));
  unlink(path);
  unlink(out);
}

void BenchFiles() {
  BenchLoadSave();
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
