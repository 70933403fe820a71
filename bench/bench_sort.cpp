// Sort and Shuffle on 10,000,000 lines of two to five words (about 250 MB),
// select all, the runner included, against GNU sort and shuf on the same
// file in the same run (output to a file), and the sort phase alone against
// std::stable_sort of the same line array; the peak memory above the
// document against GNU sort's; the cost per line at 2.5 and 10 million
// lines. QP_BENCH_CASE picks the cases whose names hold it.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "config/config_state.h"
#include "document/document.h"
#include "document/edit.h"
#include "document/undo.h"
#include "tools/sort_tools.h"
#include "tools/tool_table.h"

namespace {

// Lines of two to five words of two to nine letters, one word in four
// capitalised; with numbers, the second word is a signed decimal number
// (one in three with a fraction). LF newlines, from a fixed seed.
std::vector<char> SortCorpus(u32 lines, bool numbers) {
  std::mt19937 rng(260);
  std::vector<char> out;
  out.reserve(static_cast<size_t>(lines) * 26);
  for (u32 i = 0; i < lines; i++) {
    const int words = 2 + rng() % 4;
    for (int w = 0; w < words; w++) {
      if (w) out.push_back(' ');
      if (numbers && w == 1) {
        if (rng() % 4 == 0) out.push_back('-');
        const std::string n = std::to_string(rng() % 1000000);
        out.insert(out.end(), n.begin(), n.end());
        if (rng() % 3 == 0) {
          out.push_back('.');
          out.push_back(static_cast<char>('0' + rng() % 10));
        }
        continue;
      }
      const int letters = 2 + rng() % 8;
      for (int k = 0; k < letters; k++) {
        char c = static_cast<char>('a' + rng() % 26);
        if (k == 0 && rng() % 4 == 0) c = static_cast<char>(c - 'a' + 'A');
        out.push_back(c);
      }
    }
    out.push_back('\n');
  }
  out.pop_back();  // no newline after the last line, as the tool writes
  return out;
}

Document *DocumentOf(const std::vector<char> &bytes) {
  Document *doc = CreateDocument();
  if (!doc || StoreInsert(&doc->store, 0, BytesSource(bytes.data(), static_cast<u32>(bytes.size())), 0) != 0) {
    printf("document failed\n");
    exit(1);
  }
  doc->newlineType = 1;
  return doc;
}

const ToolRunSettings kSettings = {2, 1, 0, 0};

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The tool on the whole text, best of two (Undo between, not timed).
double BestTool(Document *doc, ToolDescriptor tool) {
  double best = 1e30;
  for (int i = 0; i < 2; i++) {
    ToolDescriptor t = tool;
    SetSelection(doc, 0, doc->store.length);
    ToolHost host = {};
    const auto t0 = std::chrono::steady_clock::now();
    const int r = RunTool(doc, &t, host, kSettings);
    best = std::min(best, Seconds(t0));
    if (r != 0) printf("sort tool failed: %d\n", r);
    if (!UndoRedo(doc, kUndo)) printf("undo failed\n");
  }
  ClearJournal(&doc->redo);
  return best;
}

// A sort request of one key over the whole line (or column 2 of lines split
// at spaces).
ToolDescriptor SortBy(SortRequest *request, bool ignoreCase, bool column2, bool numbers) {
  memset(request, 0, sizeof *request);
  SortKey &k = request->keys[0];
  k.Use = 1;
  k.IC = ignoreCase;
  k.Num = numbers;
  if (column2) {
    k.column.CC = 1;
    k.column.CFr = k.column.CTo = 2;
    strcpy(k.column.CD, " ");
  }
  request->locale = CurrentNumberLocale();
  ToolDescriptor tool = {};
  tool.buildFromDocument = SortLinesTool;
  tool.param = reinterpret_cast<ToolParam>(request);
  tool.flags = kToolDocumentDefault;
  return tool;
}

double BestCommand(const std::string &command) {
  const std::string line = "LC_ALL=C " + command;
  return BestSeconds(2, [&] {
    if (system(line.c_str()) != 0) printf("peer failed: %s\n", command.c_str());
  });
}

// The peak resident memory of a child process that runs fn, above what it
// had before (the document loaded), in bytes.
template <typename Fn>
double ChildPeakAbove(Fn fn) {
  int fds[2];
  if (pipe(fds) != 0) return 0;
  const pid_t child = fork();
  if (child == 0) {
    const double above = fn();
    if (write(fds[1], &above, sizeof above) != sizeof above) _exit(1);
    _exit(0);
  }
  double above = 0;
  if (read(fds[0], &above, sizeof above) != sizeof above) above = 0;
  waitpid(child, nullptr, 0);
  close(fds[0]);
  close(fds[1]);
  return above;
}

// GNU sort's peak resident memory over the file.
double PeerPeak(const std::string &command) {
  return ChildPeakAbove([&] {
    if (system(("LC_ALL=C " + command).c_str()) != 0) printf("peer failed\n");
    struct rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0;
  });
}

// The sort phase alone, against std::stable_sort of the same line spans with
// memcmp (and with 8-byte key prefixes), on n lines of the corpus.
void SortPhase(const std::vector<char> &bytes) {
  struct Item {
    u32 start, length;
    u64 prefix;
  };
  std::vector<Item> items;
  for (u32 s = 0, i = 0; i <= bytes.size(); i++) {
    if (i == bytes.size() || bytes[i] == '\n') {
      u64 p = 0;
      for (u32 k = 0; k < 8; k++) p = (p << 8) | (k < i - s ? static_cast<u8>(bytes[s + k]) : 0);
      items.push_back({s, i - s, p});
      s = i + 1;
    }
  }
  const char *text = bytes.data();
  auto memcmpLess = [&](const Item &a, const Item &b) {
    const int r = memcmp(text + a.start, text + b.start, std::min(a.length, b.length));
    return r ? r < 0 : a.length < b.length;
  };
  const double plain = BestSeconds(2, [&] {
    std::vector<Item> v = items;
    std::stable_sort(v.begin(), v.end(), memcmpLess);
  });
  const double prefixed = BestSeconds(2, [&] {
    std::vector<Item> v = items;
    std::stable_sort(v.begin(), v.end(), [&](const Item &a, const Item &b) {
      return a.prefix != b.prefix ? a.prefix < b.prefix : memcmpLess(a, b);
    });
  });
  SortRequest request;
  ToolDescriptor tool = SortBy(&request, false, false, false);
  SortPhaseTimes best = {~0u, ~0u, ~0u};
  for (int i = 0; i < 2; i++) {
    SortPhaseTimes times = {};
    request.times = &times;
    ToolDocument in = {const_cast<char *>(text), static_cast<u32>(bytes.size()), static_cast<u32>(bytes.size())};
    ToolDocument out = {};
    if (tool.buildFromDocument(&in, &out, tool.param) != 0) printf("sort failed\n");
    ToolDocumentFree(&out);
    best = {std::min(best.collect, times.collect), std::min(best.sort, times.sort), std::min(best.write, times.write)};
  }
  const SortPhaseTimes times = {best.collect, best.sort, best.write};
  Report("sort_phase_collect_s", times.collect / 1000.0, "s");
  Report("sort_phase_merge_s", times.sort / 1000.0, "s");
  Report("sort_phase_write_s", times.write / 1000.0, "s");
  Report("sort_phase_std_stable_sort_memcmp_s", plain, "s");
  Report("sort_phase_std_stable_sort_prefix_s", prefixed, "s");
  Ratio("sort_phase_vs_std_stable_sort", times.sort / 1000.0, plain);
  printf("sort_phase_vs_std_stable_sort goal 0.75 x\n");
}

}  // namespace

void BenchSort() {
  const char *path = "/tmp/quillpad-sort.txt";
  const char *numbersPath = "/tmp/quillpad-sort-numbers.txt";
  const std::string out = " >/dev/shm/quillpad-sort-out.txt";
  SetDefaultSettings(&g_settings, true);
  g_settings.file.Limit = 0;
  const char *only = getenv("QP_BENCH_CASE");
  auto wanted = [&](const char *name) { return !only || strstr(name, only); };

  std::vector<char> bytes = SortCorpus(10000000, false);
  WriteFile(path, bytes);
  printf("sort corpus: 10,000,000 lines, %.1f MB\n", static_cast<double>(bytes.size()) / 1e6);
  Document *doc = DocumentOf(bytes);
  const std::string file = std::string(" ") + path;
  SortRequest request;

  struct Case {
    const char *name;
    bool ignoreCase, column2;
    std::string peer;
    double goal;
  };
  const Case cases[] = {
      {"sort_ascending_vs_sort", false, false, "sort" + file + out, 0.8},
      {"sort_ignore_case_vs_sort_s_f", true, false, "sort -s -f" + file + out, 0.6},
      {"sort_column_2_vs_sort_s_k2", false, true, "sort -s -t' ' -k2,2" + file + out, 0.8},
  };
  for (const Case &c : cases) {
    if (!wanted(c.name)) continue;
    const double peer = BestCommand(c.peer);
    const double ours = BestTool(doc, SortBy(&request, c.ignoreCase, c.column2, false));
    Ratio(c.name, ours, peer);
    printf("%s goal %.2f x (ours %.3f s, peer %.3f s)\n", c.name, c.goal, ours, peer);
  }
  if (wanted("shuffle")) {
    const double peer = BestCommand("shuf" + file + out);
    ToolDescriptor shuffle;
    DescribeTool(36210, &shuffle);
    const double ours = BestTool(doc, shuffle);
    Ratio("shuffle_vs_shuf", ours, peer);
    printf("shuffle_vs_shuf goal 0.70 x (ours %.3f s, peer %.3f s)\n", ours, peer);
  }
  if (wanted("unique")) {
    struct Dup {
      const char *name;
      DuplicatesSettings settings;
      std::string peer;
    } const dups[] = {
        {"unique_vs_sort_u", {0, 0, 0, 0}, "sort -u" + file + out},
        {"duplicates_counted_vs_uniq_dc", {2, 0, 0, 1}, "sort" + file + " | uniq -dc" + out},
    };
    for (const Dup &d : dups) {
      const double peer = BestCommand(d.peer);
      ToolDescriptor tool = {};
      tool.transformDocument = FindDuplicates;
      tool.param = reinterpret_cast<ToolParam>(&d.settings);
      tool.flags = kToolDocumentDefault;
      const double ours = BestTool(doc, tool);
      Ratio(d.name, ours, peer);
      printf("%s goal 1.00 x (ours %.3f s, peer %.3f s)\n", d.name, ours, peer);
    }
  }
  if (wanted("sort_phase")) SortPhase(bytes);
  if (wanted("peak")) {
    const double peer = PeerPeak("sort" + file + out);
    const double ours = ChildPeakAbove([&] {
      const u64 before = PeakStart();
      BestTool(doc, SortBy(&request, false, false, false));
      return static_cast<double>(PeakMemory() - before);
    });
    printf("sort_peak_above_document %.0f MB, GNU sort's peak %.0f MB\n", ours / 1e6, peer / 1e6);
    Ratio("sort_peak_vs_sort", ours, peer);
    printf("sort_peak_vs_sort goal 1.00 x\n");
  }
  DestroyDocument(doc);

  if (wanted("sort_numbers")) {
    std::vector<char> numbers = SortCorpus(10000000, true);
    WriteFile(numbersPath, numbers);
    Document *d = DocumentOf(numbers);
    const double peer = BestCommand("sort -s -t' ' -k2,2n " + std::string(numbersPath) + out);
    const double ours = BestTool(d, SortBy(&request, false, true, true));
    Ratio("sort_numbers_column_2_vs_sort_s_k2n", ours, peer);
    printf("sort_numbers_column_2_vs_sort_s_k2n goal 1.00 x (ours %.3f s, peer %.3f s)\n", ours, peer);
    DestroyDocument(d);
    unlink(numbersPath);
  }
  // Linear growth: seconds per line at 10 million lines against 2.5 million.
  if (wanted("per_line")) {
    double perLine[2];
    const u32 counts[2] = {2500000, 10000000};
    for (int k = 0; k < 2; k++) {
      std::vector<char> text = SortCorpus(counts[k], false);
      Document *d = DocumentOf(text);
      perLine[k] = BestTool(d, SortBy(&request, false, false, false)) / counts[k];
      DestroyDocument(d);
    }
    Ratio("sort_per_line_10M_vs_2_5M", perLine[1], perLine[0]);
  }
  unlink(path);
  unlink("/dev/shm/quillpad-sort-out.txt");
}
