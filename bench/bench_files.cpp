// Decoding a file's bytes: UTF-8 with 5% non-ASCII characters to the ANSI
// code page, in place, against glibc's iconv converting the same bytes.
#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <cstring>
#include <random>
#include <vector>

#include <malloc.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/bench.h"
#include "config/config_io.h"
#include "config/config_lists.h"
#include "config/config_state.h"
#include "document/document.h"
#include "files/encoding.h"
#include "files/load.h"
#include "files/save.h"
#include "foundation/bytes.h"
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
u64 PeakStart() {
  malloc_trim(0);
  if (FILE *f = fopen("/proc/self/clear_refs", "w")) {
    fputs("5", f);  // resets the high-water mark
    fclose(f);
  }
  return PeakMemory();
}

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
    const u64 before = PeakStart();
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

// The configuration with a 64 MiB clip (1% NUL, CR, LF and backslash) saved
// to the INI file against escaping those bytes and writing them once with
// plain writes, and loaded against reading the file.
void BenchConfig() {
  const std::string path = std::string(P_tmpdir) + "/quillpad-config-bench.ini";
  const u32 n = 64u << 20;
  std::vector<char> clip(n);
  std::mt19937 rng(5);
  static const char kSpecial[] = {'\0', '\r', '\n', '\\'};
  for (char &c : clip) c = rng() % 100 == 0 ? kSpecial[rng() % 4] : static_cast<char>('a' + rng() % 26);
  auto fresh = [&] {
    FreeClips();
    MemZero(&g_config, sizeof g_config);
    SetDefaultSettings(&g_settings, true);
    StrCopyN(g_config.configFile, path.c_str(), sizeof g_config.configFile);
    LoadConfigFrom(nullptr, nullptr);
    MemCopy(&g_baseline, &g_settings, sizeof g_settings);
  };
  auto writeFile = [&](const std::string &bytes) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) exit(1);
    fclose(f);
  };
  double save = 1e30, load = 1e30, escape = 1e30, read = 1e30;
  for (int run = 0; run < 3; run++) {
    writeFile("\xEF\xBB\xBF");
    fresh();
    if (!SetClip(0, clip.data(), n)) exit(1);
    g_config.clips[0].longAccepted = 1;  // no question in a benchmark
    auto t0 = std::chrono::steady_clock::now();
    if (SaveConfig(nullptr, g_config.path, false, false) != 0) exit(1);
    save = std::min(save, Seconds(t0));
    t0 = std::chrono::steady_clock::now();
    fresh();
    load = std::min(load, Seconds(t0));
    if (g_config.clips[0].length != n || memcmp(g_config.clips[0].text, clip.data(), n) != 0) {
      printf("config_clip_round_trip FAILED\n");
      exit(1);
    }
    // The baseline: the same bytes escaped into one buffer and written.
    t0 = std::chrono::steady_clock::now();
    std::string escaped;
    escaped.reserve(n + n / 50 + 64);
    escaped += "[Clips]\r\n00=";
    for (char c : clip) {
      const char *e = c == '\0' ? "\\0" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\\' ? "\\\\" : nullptr;
      if (e) escaped += e;
      else escaped += c;
    }
    escaped += "\r\n";
    writeFile(escaped);
    escape = std::min(escape, Seconds(t0));
    t0 = std::chrono::steady_clock::now();
    FILE *f = fopen(path.c_str(), "rb");
    std::vector<char> back(escaped.size());
    if (!f || fread(back.data(), 1, back.size(), f) != back.size()) exit(1);
    fclose(f);
    read = std::min(read, Seconds(t0));
  }
  FreeClips();
  remove(path.c_str());
  Report("config_save_64MiB_clip", save, "s");
  Report("escape_and_write_64MiB", escape, "s");
  Ratio("config_save_vs_escape_and_write", save, escape);
  Report("config_load_64MiB_clip", load, "s");
  Report("read_the_file", read, "s");
  Ratio("config_load_vs_read", load, read);
}
