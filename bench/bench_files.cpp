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

// Opens the file into a new document and drops it again.
void OpenAndDrop(const char *path, const FileHooks &hooks) {
  Document *doc = CreateDocument();
  OpenRequest request = {path, kDetectEncoding, 0, kOpenAsked | kOpenNoRecent};
  if (OpenFile(doc, request, hooks) != 0) printf("load failed\n");
  DestroyDocument(doc);
}

// The peak memory of one load in a fresh process, and the bytes its document
// takes (text, indexes, caches); zeros when the load failed.
struct LoadPeak {
  u64 peak, document;
};
LoadPeak PeakOfLoad(const char *path, const FileHooks &hooks) {
  LoadPeak result = {0, 0};
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return result;
  pid_t child = fork();
  if (child == 0) {
    const u64 before = PeakMemory();
    Document *d = CreateDocument();
    OpenRequest r = {path, kDetectEncoding, 0, kOpenAsked | kOpenNoRecent};
    LoadPeak got = {0, 0};
    if (OpenFile(d, r, hooks) == 0) {
      DocumentStatistics stats;
      DocumentStatisticsOf(d, &stats);
      got.peak = PeakMemory() - before;
      got.document = stats.memory.textBuffers + stats.memory.blockIndex + stats.memory.lineIndex + stats.memory.markers;
    }
    if (write(pipeFds[1], &got, sizeof got) != sizeof got) _exit(1);
    _exit(0);
  }
  if (read(pipeFds[0], &result, sizeof result) != sizeof result) result = LoadPeak{0, 0};
  waitpid(child, nullptr, 0);
  close(pipeFds[0]);
  close(pipeFds[1]);
  return result;
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
  double ours = BestSeconds(3, [&] { OpenAndDrop(path, hooks); });
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
  DestroyDocument(doc);

  // The peak of a load, in a fresh process.
  const LoadPeak peak = PeakOfLoad(path, hooks);
  const double allowed = static_cast<double>(bytes.size() + peak.document + (16u << 20));
  Report("load_peak_memory_256MiB", peak.peak / 1048576.0, "MiB");
  Report("load_peak_allowed_256MiB", allowed / 1048576.0, "MiB");
  Ratio("load_peak_vs_file_plus_document_plus_16MiB", static_cast<double>(peak.peak), allowed);
  unlink(path);
  unlink(out);
}

// Loading grows with the file and no faster: files of short CR LF lines
// from 128 MiB to 1 GiB opened through OpenFile (above 256 MiB the text goes
// through the paging file and is appended view by view). Time per byte at
// 1 GiB against that at 128 MiB; the 768 MiB load against reading the same
// file and counting its newlines; the peak memory of the 1 GiB load.
void BenchLoadSeries() {
  const char *path = "/tmp/quillpad-bench-series.txt";
  SetDefaultSettings(&g_settings, true);
  g_settings.file.Limit = 0;
  FileHooks hooks = {};
  const u32 sizes[] = {128, 512, 768, 1024};
  double perByte[4] = {};
  std::vector<char> bytes = AnsiLines(1024u << 20);
  for (int i = 0; i < 4; i++) {
    const size_t n = static_cast<size_t>(sizes[i]) << 20;
    FILE *f = fopen(path, "wb");
    fwrite(bytes.data(), 1, n, f);
    fclose(f);
    double ours = BestSeconds(2, [&] { OpenAndDrop(path, hooks); });
    perByte[i] = ours / n;
    char name[64];
    snprintf(name, sizeof name, "load_series_%uMiB", sizes[i]);
    Report(name, ours, "s");
    if (sizes[i] == 768) {
      double count = BestSeconds(2, [&] {
        FILE *g = fopen(path, "rb");
        static char chunk[1 << 20];
        size_t got, lines = 0;
        while ((got = fread(chunk, 1, sizeof chunk, g)) > 0) {
          for (const char *p = chunk; (p = static_cast<const char *>(memchr(p, '\n', chunk + got - p))) != nullptr; p++)
            lines++;
        }
        fclose(g);
        volatile size_t sink = lines;
        (void)sink;
      });
      Report("read_and_count_newlines_768MiB", count, "s");
      Ratio("load_768MiB_vs_read_and_count_newlines", ours, count);
      // The floor on this machine: memory of the document's size (4 KiB text
      // blocks and the row table) taken fresh and touched once. On a virtual
      // machine whose page faults are dear it dwarfs reading the file.
      double touch = BestSeconds(2, [&] {
        const size_t blocks = n / 4096, rows = n / 61;
        std::vector<char *> got(blocks);
        for (size_t k = 0; k < blocks; k++) {
          got[k] = static_cast<char *>(malloc(4096));
          memset(got[k], 'x', 4096);
        }
        char *table = static_cast<char *>(malloc(rows * 16));
        memset(table, 0, rows * 16);
        free(table);
        for (char *b : got) free(b);
      });
      Report("touch_fresh_document_memory_768MiB", touch, "s");
      Ratio("load_768MiB_vs_touching_its_memory", ours, touch);
    }
  }
  Ratio("load_time_per_byte_1GiB_vs_128MiB", perByte[3], perByte[0]);

  bytes = std::vector<char>();
  const LoadPeak peak = PeakOfLoad(path, hooks);
  const double allowed = (1024.0 * 1048576 + peak.document + (16u << 20));
  Report("load_peak_memory_1GiB", peak.peak / 1048576.0, "MiB");
  Report("load_peak_allowed_1GiB", allowed / 1048576.0, "MiB");
  Ratio("load_peak_1GiB_vs_file_plus_document_plus_16MiB", static_cast<double>(peak.peak), allowed);
  unlink(path);
}

void BenchFiles() {
  BenchLoadSeries();
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
