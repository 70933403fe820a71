// The text tools on a whole 256 MiB document (select all, the runner
// included, inline), each against the command-line program that does the
// same to the same file in the same run; Undo of All Upper Case against the
// tool; the runner alone (out and back unchanged) against the engine's load;
// the peak memory of a run above the document, per selected byte; and the
// cost per byte at 128 MiB and 512 MiB.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "config/config_state.h"
#include "document/document.h"
#include "document/edit.h"
#include "document/undo.h"
#include "files/load.h"
#include "foundation/bytes.h"
#include "tools/columns_numbers.h"
#include "tools/compare_statistics.h"
#include "tools/complete_word.h"
#include "tools/tool_table.h"

namespace {

// Lines of about 61 characters: words, an indent of spaces or tabs on one
// line in three, trailing blanks on one in five, a blank line in twelve,
// LF newlines; from a fixed seed.
std::vector<char> ToolCorpus(size_t bytes) {
  std::mt19937 rng(61);
  std::vector<char> out;
  out.reserve(bytes + 256);
  static const char *const kWords[] = {"bumble", "bump", "tree", "line", "of", "text", "bumper", "a", "the", "quill"};
  while (out.size() < bytes) {
    if (rng() % 12 == 0) {
      if (rng() % 2) out.push_back(' ');
      out.push_back('\n');
      continue;
    }
    if (rng() % 3 == 0) {
      const int indent = 1 + rng() % 3;
      for (int i = 0; i < indent; i++) out.push_back(rng() % 2 ? '\t' : ' ');
    }
    size_t start = out.size();
    while (out.size() - start < 56) {
      const char *w = kWords[rng() % 10];
      out.insert(out.end(), w, w + strlen(w));
      out.push_back(' ');
    }
    out.pop_back();
    if (rng() % 5 == 0) out.insert(out.end(), {' ', ' ', '\t'});
    out.push_back('\n');
  }
  return out;
}

Document *DocumentOf(const std::vector<char> &bytes) {
  Document *doc = CreateDocument();
  if (!doc || StoreInsert(&doc->store, 0, BytesSource(bytes.data(), static_cast<u32>(bytes.size())), 0) != 0) {
    printf("document failed\n");
    exit(1);
  }
  return doc;
}

const ToolRunSettings kSettings = {2, 1, 0, 0};

// The fastest run of the Columns, Numbers function itself (its share of a
// run through the runner): RunOnAll times it from inside the run.
double g_toolSeconds;
int (*g_timedTool)(const ToolDocument *, ToolDocument *, ToolParam);

int TimedTool(const ToolDocument *in, ToolDocument *out, ToolParam param) {
  const auto t0 = std::chrono::steady_clock::now();
  const int r = g_timedTool(in, out, param);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (s < g_toolSeconds) g_toolSeconds = s;
  return r;
}

// Runs the tool on the whole text; the seconds it took.
double RunOnAll(Document *doc, int id) {
  ToolDescriptor tool;
  if (!DescribeTool(id, &tool)) return 0;
  if (id == 32610) {
    g_timedTool = tool.buildFromDocument;
    tool.buildFromDocument = TimedTool;
  }
  SetSelection(doc, 0, doc->store.length);
  ToolHost host = {};
  const auto t0 = std::chrono::steady_clock::now();
  const int r = RunTool(doc, &tool, host, kSettings);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (r != 0) printf("tool %d failed: %d\n", id, r);
  return s;
}

// Best of two: the tool, then Undo (not timed) for the next run.
double BestTool(Document *doc, int id, double *undoSeconds = nullptr) {
  double best = 1e30;
  for (int i = 0; i < 2; i++) {
    const double s = RunOnAll(doc, id);
    if (s < best) best = s;
    const auto t0 = std::chrono::steady_clock::now();
    if (!UndoRedo(doc, kUndo)) printf("undo failed\n");
    const double u = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (undoSeconds && (i == 0 || u < *undoSeconds)) *undoSeconds = u;
    // The undo that restores the text leaves the tool's result as a redo
    // step, which a user running a tool does not have: held through the next
    // run, its memory would make that run's new text come from fresh pages.
    ClearJournal(&doc->redo);
  }
  return best;
}

// A peer in the C locale, byte by byte as the tools work.
double BestCommand(const std::string &command) {
  const std::string line = "LC_ALL=C " + command;
  return BestSeconds(2, [&] {
    if (system(line.c_str()) != 0) printf("peer failed: %s\n", command.c_str());
  });
}

// The peak memory above the document of one run, in a process of its own,
// per byte of the text.
double PeakPerByte(const std::vector<char> &bytes, int id) {
  int fds[2];
  if (pipe(fds) != 0) return 0;
  const pid_t child = fork();
  if (child == 0) {
    Document *doc = DocumentOf(bytes);
    const u64 before = PeakStart();
    RunOnAll(doc, id);
    const double perByte = static_cast<double>(PeakMemory() - before) / static_cast<double>(bytes.size());
    if (write(fds[1], &perByte, sizeof perByte) != sizeof perByte) _exit(1);
    _exit(0);
  }
  double perByte = 0;
  if (read(fds[0], &perByte, sizeof perByte) != sizeof perByte) perByte = 0;
  waitpid(child, nullptr, 0);
  close(fds[0]);
  close(fds[1]);
  return perByte;
}


// Lines of two to five words of two to nine letters from a seeded
// vocabulary, single spaces, LF newlines: about 25 bytes a line.
std::vector<char> WordLines(size_t bytes) {
  std::mt19937 rng(2610);
  std::vector<std::string> vocabulary(4096);
  for (std::string &w : vocabulary)
    for (int n = 2 + static_cast<int>(rng() % 8); n > 0; n--) w += static_cast<char>('a' + rng() % 26);
  std::vector<char> out;
  out.reserve(bytes + 64);
  while (out.size() < bytes) {
    for (int w = 2 + static_cast<int>(rng() % 4); w > 0; w--) {
      const std::string &word = vocabulary[rng() % vocabulary.size()];
      out.insert(out.end(), word.begin(), word.end());
      out.push_back(w > 1 ? ' ' : '\n');
    }
  }
  return out;
}

// Columns, Numbers over the whole text (select all, the runner included)
// against the programs that print the same: cut and awk on the same file,
// output to /dev/shm; at 128 and 256 MiB.
void BenchColumnsNumbers(const char *only) {
  struct Case {
    const char *name;
    const char *mask;
    std::string peer;  // FILE: the file; WIDTH: the counter's width
    double goal;
  };
  const Case cases[] = {
      {"columns_2_vs_cut_f2", "%2", "cut -d' ' -f2 FILE", 1.0},
      {"columns_2_1_vs_awk", "%2|%1", "awk '{print $2\"|\"$1}' FILE", 0.6},
      {"columns_counter_line_vs_awk_printf", "%+d. %0", "awk '{printf \"%0WIDTHd. %s\\n\", NR, $0}' FILE", 0.6},
      {"columns_right_1_2_vs_awk_two_passes", "%>1|%2",
       "awk 'NR==FNR{if(length($1)>m)m=length($1);next}{printf \"%*s|%s\\n\",m,$1,$2}' FILE FILE", 1.0},
  };
  bool any = false;
  for (const Case &c : cases) any |= !only || strstr(c.name, only) != nullptr;
  if (!any) return;
  const char *path = "/tmp/quillpad-columns.txt";
  SetDefaultSettings(&g_settings, true);
  g_settings.file.Limit = 0;
  ToolSettings &t = g_settings.tools;
  for (int k = 0; k < 2; k++) {
    ColumnDef &d = t.columns[k];
    d.CC = 1;
    StrCopy(d.CD, " ");
    d.CFr = d.CTo = k + 1;
  }
  t.CtFrom = t.CtStep = 1;
  for (size_t mib : {128u, 256u}) {
    std::vector<char> bytes = WordLines(mib << 20);
    WriteFile(path, bytes);
    u64 lines = 0;
    for (char ch : bytes) lines += ch == '\n';
    Document *doc = DocumentOf(bytes);
    for (const Case &c : cases) {
      if (only && !strstr(c.name, only)) continue;
      // The counter's width: the digits of 1 + the lines (the last line,
      // after the final newline, is empty and counted too).
      std::string peer = c.peer;
      for (size_t at; (at = peer.find("WIDTH")) != std::string::npos;)
        peer.replace(at, 5, std::to_string(std::to_string(lines + 2).size()));
      for (size_t at; (at = peer.find("FILE")) != std::string::npos;) peer.replace(at, 4, path);
      const double theirs = BestCommand(peer + " >/dev/shm/quillpad-tools-out.txt");
      StrCopyN(t.CtMask, c.mask, sizeof t.CtMask);
      g_toolSeconds = 1e30;
      const double ours = BestTool(doc, 32610);
      char name[128];
      snprintf(name, sizeof name, "tool_%s_%zuMiB", c.name, mib);
      Ratio(name, ours, theirs);
      printf("%s goal %.2f x (ours %.3f s, of which the tool function %.3f s; peer %.3f s)\n", name, c.goal, ours,
             g_toolSeconds, theirs);
    }
    // The floor under every figure above on this machine: a result the size
    // of the text needs fresh pages (the private copy, the output), and
    // their first touch is costly where page faults pass the hypervisor.
    const double fresh = BestSeconds(2, [&] {
      char *p = static_cast<char *>(malloc(bytes.size()));
      memset(p, 1, bytes.size());
      asm volatile("" : : "r"(p) : "memory");
      free(p);
    });
    char name[96];
    snprintf(name, sizeof name, "tool_columns_fresh_pages_%zuMiB_first_touch", mib);
    Report(name, fresh, "s");
    DestroyDocument(doc);
  }
  unlink(path);
  unlink("/dev/shm/quillpad-tools-out.txt");
}

void SetGrep(const char *find, int remove, int only, int numbers, int regExps) {
  ToolSettings &t = g_settings.tools;
  StrCopy(t.GrFind, find);
  t.GrRem = remove;
  t.GrOnly = only;
  t.GrNmbr = numbers;
  t.GrRgEx = regExps;
  t.GrCase = 1;
}

}  // namespace

// The peer of Commit Wrapping, which runs under Wine (bench_wrap.cpp): its
// seconds are left in QP_FOLD_PEER_FILE for that run.
void BenchFoldPeer() {
  const char *path = "/tmp/quillpad-wrap.txt";
  WriteFile(path, WrapLines(256u << 20));
  const double fold = BestCommand(std::string("fold -s -w 80 ") + path + " >/dev/shm/quillpad-tools-out.txt");
  Report("fold_s_w80_256MiB", fold, "s");
  if (FILE *f = fopen(QP_FOLD_PEER_FILE, "w")) {
    fprintf(f, "%.6f\n", fold);
    fclose(f);
  }
  unlink(path);
  unlink("/dev/shm/quillpad-tools-out.txt");
}

void BenchTools() {
  // QP_BENCH_CASE: only the tools whose names hold it, and nothing else.
  const char *only = getenv("QP_BENCH_CASE");
  BenchColumnsNumbers(only);
  if (only && strstr(only, "columns")) return;
  const char *path = "/tmp/quillpad-tools.txt";
  std::vector<char> bytes = ToolCorpus(256u << 20);
  WriteFile(path, bytes);
  SetDefaultSettings(&g_settings, true);
  g_settings.edit.Tab = 8;  // as expand and unexpand count
  g_settings.file.Limit = 0;
  Document *doc = DocumentOf(bytes);
  const std::string file = std::string(" ") + path;

  struct Peer {
    int id;
    const char *name;
    std::string command;
    double goal;
    void (*setup)();  // the tool's settings for this case (may be null)
  };
  // Grep's cases: a literal on about one line in a hundred, and a pattern.
  static const char kLiteral[] = "the quill of";
  const std::string out = " >/dev/shm/quillpad-tools-out.txt";
  const std::string literal = std::string(" '") + kLiteral + "'";
  const Peer peers[] = {
      {31010, "all_upper_case_vs_tr", "tr a-z A-Z <" + file + " >/dev/shm/quillpad-tools-out.txt", 0.75, nullptr},
      {32210, "indent_vs_awk", "awk '{print \"\\t\" $0}'" + file + " >/dev/shm/quillpad-tools-out.txt", 1.0, nullptr},
      {32110, "trim_tail_spaces_vs_awk", "awk '{sub(/[ \\t]+$/,\"\")}1'" + file + " >/dev/shm/quillpad-tools-out.txt", 0.5, nullptr},
      {32420, "untabify_vs_expand_i", "expand -i" + file + " >/dev/shm/quillpad-tools-out.txt", 0.7, nullptr},
      {32410, "tabify_vs_unexpand", "unexpand" + file + " >/dev/shm/quillpad-tools-out.txt", 0.5, nullptr},
      {32130, "remove_empty_vs_grep_v", "grep -v '^[[:space:]]*$'" + file + " >/dev/shm/quillpad-tools-out.txt", 1.0, nullptr},
      {32140, "collapse_empty_vs_cat_s", "cat -s" + file + " >/dev/shm/quillpad-tools-out.txt", 1.5, nullptr},
      {34310, "translate_vs_tr", "tr abc xyz <" + file + " >/dev/shm/quillpad-tools-out.txt", 0.75, nullptr},
      {34310, "translate_keep_digits_vs_tr_cd", "tr -cd 0-9 <" + file + " >/dev/shm/quillpad-tools-out.txt", 1.0,
       [] {
         StrCopy(g_settings.tools.TrFind, "0-9");
         StrCopy(g_settings.tools.TrRepl, "0-9");
         g_settings.tools.TrDel = 1;
       }},
      {35140, "reverse_order_of_lines_vs_tac", "tac" + file + " >/dev/shm/quillpad-tools-out.txt", 1.0, nullptr},
      {35320, "reverse_each_line_vs_rev", "rev" + file + " >/dev/shm/quillpad-tools-out.txt", 0.05, nullptr},
      {39020, "unwrap_lines_vs_paste", "paste -sd' '" + file + " >/dev/shm/quillpad-tools-out.txt", 1.0, nullptr},
      {32620, "grep_keep_vs_grep_F", "grep -F" + literal + file + out, 1.0, [] { SetGrep(kLiteral, 0, 0, 0, 0); }},
      {32620, "grep_remove_vs_grep_vF", "grep -vF" + literal + file + out, 0.5, [] { SetGrep(kLiteral, 1, 0, 0, 0); }},
      {32620, "grep_only_parts_vs_grep_oF", "grep -oF" + literal + file + out, 1.0, [] { SetGrep(kLiteral, 0, 1, 0, 0); }},
      {32620, "grep_numbers_vs_grep_nF", "grep -nF" + literal + file + out, 1.0, [] { SetGrep(kLiteral, 0, 0, 1, 0); }},
      {32620, "grep_regex_vs_grep_E", "grep -E '[A-Z][a-z]+ [a-z]+'" + file + out + " || true", 1.0,
       [] { SetGrep("[A-Z][a-z]+ [a-z]+", 0, 0, 0, 1); }},
      {34320, "extended_replace_vs_sed", "sed 's/bumuk/BUMUK/g'" + file + out, 0.5,
       [] {
         StrCopy(g_settings.tools.RepPatt, "bumuk");
         StrCopy(g_settings.tools.RepRepl, "BUMUK");
         g_settings.tools.RepCase = 1;
       }},
  };
  StrCopy(g_settings.tools.TrFind, "abc");
  StrCopy(g_settings.tools.TrRepl, "xyz");
  double upperUndo = 0, upper = 0;
  for (const Peer &p : peers) {
    if (only && !strstr(p.name, only)) continue;
    if (p.setup) p.setup();
    const double peer = BestCommand(p.command);
    const double ours = BestTool(doc, p.id, p.id == 31010 ? &upperUndo : nullptr);
    if (p.id == 31010) upper = ours;
    char name[96];
    snprintf(name, sizeof name, "tool_%s_256MiB", p.name);
    Ratio(name, ours, peer);
    printf("%s goal %.2f x (ours %.3f s, peer %.3f s)\n", name, p.goal, ours, peer);
  }
  Ratio("tool_undo_all_upper_case_vs_tool_256MiB", upperUndo, upper);
  // The floor of any undoable change of the whole text: the old or the new
  // text needs 256 MiB of memory the process did not have (the undo step
  // keeps the other), and fresh pages cost their first touch.
  const double fresh = BestSeconds(2, [&] {
    char *p = static_cast<char *>(malloc(bytes.size()));
    memset(p, 1, bytes.size());
    asm volatile("" : : "r"(p) : "memory");  // the pages are touched, not optimised away
    free(p);
  });
  Report("fresh_pages_256MiB_first_touch", fresh, "s");

  // Statistics as its dialog runs it (the selection, all of it, then the
  // whole document), against the faster of wc in the C and UTF-8 locales.
  if (!only || strstr("statistics_vs_wc", only)) {
    const double c = BestCommand("wc" + file + " >/dev/shm/quillpad-tools-out.txt");
    const double utf8 = BestCommand("LC_ALL=C.UTF-8 wc" + file + " >/dev/shm/quillpad-tools-out.txt");
    const double peer = c < utf8 ? c : utf8;
    TextStatistics selection = {}, whole = {};
    const double ours = BestSeconds(2, [&] {
      SetSelection(doc, 0, doc->store.length);
      ToolHost host = {};
      ToolDescriptor tool;
      if (!DescribeTool(34410, &tool)) return;
      tool.param = reinterpret_cast<ToolParam>(&selection);
      if (RunTool(doc, &tool, host, kSettings) != 0) printf("statistics failed\n");
      tool.flags |= kToolWholeDocument;
      tool.param = reinterpret_cast<ToolParam>(&whole);
      if (RunTool(doc, &tool, host, kSettings) != 0) printf("statistics failed\n");
    });
    const double count = BestSeconds(2, [&] { CountTextStatistics(bytes.data(), static_cast<u32>(bytes.size()), &whole); });
    Report("tool_statistics_count_alone_256MiB", count, "s");
    Ratio("tool_statistics_both_passes_vs_wc_256MiB", ours, peer);
    printf("tool_statistics_both_passes_vs_wc_256MiB goal 0.50 x (ours %.3f s, wc C %.3f s, UTF-8 %.3f s, %u words)\n",
           ours, c, utf8, whole.count[kStatWords]);
  }
  // Linear growth: seconds per byte from 128 MiB to 1 GiB, against 128 MiB.
  if (!only || strstr(only, "per_byte")) {
    for (int id : {31010, 32210}) {
      double first = 0;
      for (size_t mib : {128u, 256u, 512u, 1024u}) {
        std::vector<char> text = ToolCorpus(mib << 20);
        Document *d = DocumentOf(text);
        const double perByte = BestTool(d, id) / static_cast<double>(text.size());
        DestroyDocument(d);
        if (mib == 128) first = perByte;
        char name[96];
        snprintf(name, sizeof name, "tool_%d_per_byte_%zuMiB_vs_128MiB", id, mib);
        Ratio(name, perByte, first);
      }
    }
  }
  if (only) {
    DestroyDocument(doc);
    unlink(path);
    return;
  }

  // Complete Word with a prefix of three: the words of the whole text that
  // begin with it, through the runner, against grep and sort.
  {
    const double peer = BestCommand("grep -oE '\\bbum\\w*'" + file + " | sort -u >/dev/shm/quillpad-tools-out.txt");
    u32 found = 0;
    const double ours = BestSeconds(2, [&] {
      CompleteWordRequest request = {};
      request.prefix = "bum";
      request.prefixLength = 3;
      request.ownStart = doc->store.length;
      ToolDescriptor tool = {};
      tool.buildFromText = CollectCompletions;
      tool.flags = kToolWholeDocument | kToolReadOnly | kToolWorker;
      tool.param = reinterpret_cast<ToolParam>(&request);
      ToolHost host = {};
      if (RunTool(doc, &tool, host, kSettings) != 0) printf("complete word failed\n");
      found = request.count;
      FreeCompleteWordRequest(&request);
    });
    Ratio("tool_complete_word_vs_grep_sort_256MiB", ours, peer);
    printf("tool_complete_word_vs_grep_sort_256MiB goal 1.00 x (ours %.3f s, peer %.3f s, %u words)\n", ours, peer,
           found);
  }

  // The runner alone: the text out and back, against the engine's load.
  FileHooks hooks = {};
  const double load = BestSeconds(2, [&] {
    Document *d = CreateDocument();
    OpenRequest request = {path, kDetectEncoding, 0, kOpenAsked | kOpenNoRecent};
    if (OpenFile(d, request, hooks) != 0) printf("load failed\n");
    DestroyDocument(d);
  });
  double alone = 1e30;
  for (int i = 0; i < 2; i++) {
    ToolDescriptor none = {};
    SetSelection(doc, 0, doc->store.length);
    ToolHost host = {};
    const auto t0 = std::chrono::steady_clock::now();
    RunTool(doc, &none, host, kSettings);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < alone) alone = s;
    if (!UndoRedo(doc, kUndo)) printf("undo failed\n");
  }
  Ratio("tool_runner_alone_vs_load_256MiB", alone, load);
  printf("tool_runner_alone_vs_load_256MiB goal 2.50 x\n");
  DestroyDocument(doc);

  Report("tool_peak_per_byte_all_upper_case_256MiB", PeakPerByte(bytes, 31010), "bytes");
  Report("tool_peak_per_byte_indent_256MiB", PeakPerByte(bytes, 32210), "bytes");
  printf("tool_peak_per_byte goal 3.00 bytes\n");

  unlink(path);
  unlink("/dev/shm/quillpad-tools-out.txt");
}
