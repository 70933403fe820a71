// The pattern engine against PCRE2 (interpreter and JIT) in the same run:
// every match of each pattern over a seeded English-like corpus (256 MiB;
// QP_BENCH_MB sets another size; QP_BENCH_PATTERN picks one pattern by name), counted the same way by all three: the
// next search starts at the end of a match, one further after an empty one.
// The engine reads the text in place from a text store; PCRE2 gets the same
// bytes in one flat buffer.
//
// Figures: MB/s for each engine and pattern, ratios (engine time / PCRE2
// time, lower is better), and the geometric mean of engine speed / JIT speed.
// Goals: every pattern at least as fast as the PCRE2 interpreter, the two
// literal patterns at 2 GB/s or more, the geometric mean at least 0.5.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "document/text_store.h"
#include "foundation/char_class.h"
#include "foundation/memory.h"
#include "search/matcher.h"
#include "search/pattern.h"
#include "search/search_run.h"
#include "document/document.h"
#include "document/edit.h"
#include "document/undo.h"

namespace {

const char *const kWords[] = {
    "the", "of", "and", "to", "a", "in", "is", "it", "you", "that", "he", "was", "for", "on", "are", "with", "as",
    "his", "they", "be", "at", "one", "have", "this", "from", "or", "had", "by", "hot", "word", "but", "what", "some",
    "we", "can", "out", "other", "were", "all", "there", "when", "up", "use", "your", "how", "said", "an", "each",
    "she", "which", "do", "their", "time", "if", "will", "way", "about", "many", "then", "them", "write", "would",
    "like", "so", "these", "her", "long", "make", "thing", "see", "him", "two", "has", "look", "more", "day", "could",
    "go", "come", "did", "number", "sound", "no", "most", "people", "my", "over", "know", "water", "than", "call",
    "first", "who", "may", "down", "side", "been", "now", "find", "any", "new", "work", "part", "take", "get",
    "place", "made", "live", "where", "after", "back", "little", "only", "round", "man", "year", "came", "show",
    "every", "good", "me", "give", "our", "under", "name", "very", "through", "just", "form", "sentence", "great",
    "think", "say", "help", "low", "line", "differ", "turn", "cause", "much", "mean", "before", "move", "right",
    "boy", "old", "too", "same", "tell", "does", "set", "three", "want", "air", "well", "also", "play", "small",
    "end", "put", "home", "read", "hand", "port", "large", "spell", "add", "even", "land", "here", "must", "big",
    "high", "such", "follow", "act", "why", "ask", "men", "change", "went", "light", "kind", "off", "need", "house",
    "picture", "try", "us", "again", "animal", "point", "mother", "world", "near", "build", "self", "earth",
    "father", "head", "stand", "own", "page", "should", "country", "found", "answer", "school", "grow", "study",
    "still", "learn", "plant", "cover", "food", "sun", "four", "between", "state", "keep", "eye", "never", "last",
    "let", "thought", "city", "tree", "cross", "farm", "hard", "start", "might", "story", "saw", "far", "sea",
    "draw", "left", "late", "run", "while", "press", "close", "night", "real", "life", "few", "north", "open",
    "seem", "together", "next", "white", "children", "begin", "got", "walk", "example", "ease", "paper", "group",
    "always", "music", "those", "both", "mark", "often", "letter", "until", "mile", "river", "car", "feet", "care",
    "second", "book", "carry", "took", "science", "eat", "room", "friend", "began", "idea", "fish", "mountain",
    "stop", "once", "base", "hear", "horse", "cut", "sure", "watch", "color", "face", "wood", "main", "enough",
    "plain", "girl", "usual", "young", "ready", "above", "ever", "red", "list", "though", "feel", "talk", "bird",
    "soon", "body", "dog", "family", "direct", "pose", "leave", "song", "measure", "door", "product", "black",
    "short", "numeral", "class", "wind", "question", "happen", "complete", "ship", "area", "half", "rock", "order",
    "fire", "south", "problem", "piece", "told", "knew", "pass", "since", "top", "whole", "king", "space", "heard",
    "best", "hour", "better", "during", "hundred", "five", "remember", "step", "early", "hold", "west", "ground",
    "interest", "reach", "fast", "verb", "sing", "listen", "six", "table", "travel", "less", "morning", "ten",
    "simple", "several", "vowel", "toward", "war", "lay", "against", "pattern", "slow", "center", "love", "person",
    "money", "serve", "appear", "road", "map", "rain", "rule", "govern", "pull", "cold", "notice", "voice", "unit",
    "power", "town", "fine", "certain", "fly", "fall", "lead", "cry", "dark", "machine", "note", "wait", "plan",
    "figure", "star", "box", "noun", "field", "rest", "correct", "able", "pound", "done", "beauty", "drive",
    "stood", "contain", "front", "teach", "week", "final", "gave", "green", "oh", "quick", "develop", "ocean",
    "warm", "free", "minute", "strong", "special", "mind", "behind", "clear", "tail", "produce", "fact", "street",
    "inch", "multiply", "nothing", "course", "stay", "wheel", "full", "force", "blue", "object", "decide",
    "surface", "deep", "moon", "island", "foot", "system", "busy", "test", "record", "boat", "common", "gold",
    "possible", "plane", "stead", "dry", "wonder", "laugh", "thousand", "ago", "ran", "check", "game", "shape",
    "equate", "miss", "brought", "heat", "snow", "tire", "bring", "yes", "distant", "fill", "east", "paint",
    "language", "among"};
const char *const kSuffixes[] = {"", "", "", "", "s", "ing", "ed", "ing", "er", "ly"};

// A seeded English-like text: sentences of common words (some with
// suffixes), lines of about 70 characters, paragraphs separated by blank
// (sometimes blank-looking) lines, now and then a doubled word.
std::string Corpus(size_t bytes) {
  std::mt19937_64 rng(20240521);
  std::string t;
  t.reserve(bytes + 256);
  size_t lineStart = 0;
  u32 sentence = 0, paragraph = 0;
  const u32 words = QP_ARRAY_COUNT(kWords);
  std::string prev;
  while (t.size() < bytes) {
    // Zipf-like: small indexes far more often.
    double u = static_cast<double>(rng() % 1000000) / 1000000.0;
    u32 w = static_cast<u32>(pow(u, 2.2) * words);
    if (w >= words) w = words - 1;
    std::string word = kWords[w];
    if (word.size() > 2) word += kSuffixes[rng() % QP_ARRAY_COUNT(kSuffixes)];
    if (rng() % 400 == 0 && !prev.empty()) word = prev;  // "the the"
    prev = word;
    if (sentence == 0) word[0] = static_cast<char>(word[0] - 'a' + 'A');
    if (t.size() - lineStart + word.size() > 70) {
      t += '\n';
      lineStart = t.size();
    } else if (!t.empty() && t.back() != '\n') {
      t += ' ';
    }
    t += word;
    sentence++;
    if (sentence > 6 && rng() % 10 == 0) {
      t += rng() % 8 == 0 ? "?" : ".";
      sentence = 0;
      paragraph++;
      if (paragraph > 4 && rng() % 5 == 0) {
        t += rng() % 4 == 0 ? "\n  \n" : "\n\n";
        lineStart = t.size();
        paragraph = 0;
      }
    } else if (sentence > 3 && rng() % 15 == 0) {
      t += ',';
    }
  }
  t.resize(bytes);
  return t;
}

struct BenchPattern {
  const char *name;
  const char *ours;
  u32 flags;
  const char *pcre;
  u32 pcreOptions;
  bool literal;  // one of the two literal patterns (2 GB/s goal)
};

const BenchPattern kPatterns[] = {
    {"literal", "people", 0, "people", 0, true},
    {"literal_icase", "people", kPatternIgnoreCase, "people", PCRE2_CASELESS, true},
    {"word_ing", "\\b\\w+ing\\b", kPatternRegExps, "\\b\\w+ing\\b", 0, false},
    {"capital_words", "[A-Z][a-z]+ [a-z]+", kPatternRegExps, "[A-Z][a-z]+ [a-z]+", 0, false},
    {"backref", "(\\w+)\\s+\\1", kPatternRegExps, "(\\w+)[^\\S\\r\\n]+\\1", 0, false},
    {"lookbehind", "(?<=the )\\w+", kPatternRegExps, "(?<=the )\\w+", 0, false},
    {"blank_line", "^\\s*$", kPatternRegExps, "^[^\\S\\r\\n]*$", PCRE2_MULTILINE, false},
    {"a_dot_star_b", "a.*b", kPatternRegExps, "a[^\\r\\n]*b", 0, false},
};

u64 CountOurs(CompiledPattern *cp, const TextStore *s) {
  const u32 n = s->length;
  u64 count = 0;
  MatchGroups g;
  u32 at;
  for (u32 from = 0; from <= n;) {
    if (FindMatch(cp, s, from, n, n, false, false, &g, &at) != kMatchFound) break;
    count++;
    u32 next = g.group[0].end > g.group[0].start ? g.group[0].end : g.group[0].end + 1;
    from = next > at ? next : at + 1;
  }
  return count;
}

u64 CountPcre(pcre2_code *code, pcre2_match_data *md, const std::string &text, bool jit) {
  u64 count = 0;
  PCRE2_SIZE from = 0;
  const PCRE2_SIZE n = text.size();
  while (from <= n) {
    int rc = jit ? pcre2_jit_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), n, from, 0, md, nullptr)
                 : pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), n, from, 0, md, nullptr);
    if (rc < 0) break;
    count++;
    PCRE2_SIZE *ov = pcre2_get_ovector_pointer(md);
    from = ov[1] > ov[0] ? ov[1] : ov[1] + 1;
  }
  return count;
}

struct Engines {
  double ours, pcre, jit;  // MB/s
};

void Line(const char *name, const char *what, double value, const char *unit) {
  char label[128];
  snprintf(label, sizeof label, "pattern_%s_%s", name, what);
  Report(label, value, unit);
}

Engines RunOne(const char *name, const char *ours, u32 flags, const char *pcreText, u32 pcreOptions,
               const TextStore *store, const std::string &flat, int runs, u64 repeat = 1) {
  Engines e = {0, 0, 0};
  const double mb = static_cast<double>(flat.size()) * static_cast<double>(repeat) / 1e6;
  CompiledPattern *cp = static_cast<CompiledPattern *>(Allocate(sizeof(CompiledPattern)));
  memset(cp, 0, sizeof *cp);
  PatternSettings settings = {0, 128};
  if (CompilePattern(cp, ours, flags | kPatternWholeContext, settings) != 0) {
    printf("pattern_%s does not compile\n", name);
    Free(cp);
    return e;
  }
  int err;
  PCRE2_SIZE offset;
  pcre2_code *code =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pcreText), PCRE2_ZERO_TERMINATED, pcreOptions, &err, &offset, nullptr);
  pcre2_code *jitCode =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pcreText), PCRE2_ZERO_TERMINATED, pcreOptions, &err, &offset, nullptr);
  pcre2_jit_compile(jitCode, PCRE2_JIT_COMPLETE);
  pcre2_match_data *md = pcre2_match_data_create_from_pattern(code, nullptr);

  volatile u64 sink = 0;
  u64 ourCount = 0, pcreCount = 0, jitCount = 0;
  double t = BestSeconds(runs, [&] {
    for (u64 k = 0; k < repeat; k++) ourCount = CountOurs(cp, store);
  });
  e.ours = mb / t;
  t = BestSeconds(runs, [&] {
    for (u64 k = 0; k < repeat; k++) pcreCount = CountPcre(code, md, flat, false);
  });
  e.pcre = mb / t;
  t = BestSeconds(runs, [&] {
    for (u64 k = 0; k < repeat; k++) jitCount = CountPcre(jitCode, md, flat, true);
  });
  e.jit = mb / t;
  sink = sink + ourCount + pcreCount + jitCount;
  if (ourCount != pcreCount || pcreCount != jitCount) {
    printf("pattern_%s counts differ: ours %llu, PCRE2 %llu, JIT %llu\n", name,
           static_cast<unsigned long long>(ourCount), static_cast<unsigned long long>(pcreCount),
           static_cast<unsigned long long>(jitCount));
  }
  Line(name, "matches", static_cast<double>(ourCount), "matches");
  Line(name, "ours", e.ours, "MB/s");
  Line(name, "pcre2", e.pcre, "MB/s");
  Line(name, "pcre2_jit", e.jit, "MB/s");
  char label[128];
  snprintf(label, sizeof label, "pattern_%s_vs_pcre2", name);
  Ratio(label, e.pcre, e.ours);  // time ratio: our time / PCRE2's
  snprintf(label, sizeof label, "pattern_%s_vs_pcre2_jit", name);
  Ratio(label, e.jit, e.ours);

  pcre2_match_data_free(md);
  pcre2_code_free(code);
  pcre2_code_free(jitCode);
  FreePattern(cp);
  Free(cp);
  return e;
}

// The corpus of QP_BENCH_MB megabytes (256 by default), with the character
// classes and the pattern tables ready.
std::string BenchCorpus() {
  size_t mb = 256;
  if (const char *env = getenv("QP_BENCH_MB")) mb = static_cast<size_t>(atoi(env));
  if (mb == 0) mb = 1;
  InitCharClasses();
  BuildPatternClassTables();
  return Corpus(mb << 20);
}

}  // namespace

void BenchPatterns() {
  const std::string flat = BenchCorpus();
  TextStore store;
  if (!InitialiseStore(&store, 64, 512)) return;
  for (size_t at = 0; at < flat.size(); at += 1u << 20) {
    u32 n = static_cast<u32>(flat.size() - at < (1u << 20) ? flat.size() - at : 1u << 20);
    if (StoreInsert(&store, store.length, BytesSource(flat.data() + at, n), kStoreNoProgress) != 0) {
      printf("pattern corpus: out of memory\n");
      FreeStore(&store);
      return;
    }
  }
  Report("pattern_corpus", static_cast<double>(flat.size()) / (1 << 20), "MiB");

  double logSum = 0;
  int count = 0;
  double slowestOverInterpreter = 1e30, slowestLiteral = 1e30;
  const char *only = getenv("QP_BENCH_PATTERN");  // one pattern by name, for profiling
  for (const BenchPattern &p : kPatterns) {
    if (only && strcmp(only, p.name) != 0) continue;
    Engines e = RunOne(p.name, p.ours, p.flags, p.pcre, p.pcreOptions, &store, flat, 2);
    if (e.ours <= 0 || e.jit <= 0) continue;
    logSum += log(e.ours / e.jit);
    count++;
    if (e.ours / e.pcre < slowestOverInterpreter) slowestOverInterpreter = e.ours / e.pcre;
    if (p.literal && e.ours < slowestLiteral) slowestLiteral = e.ours;
  }
  FreeStore(&store);

  // (a|aa)*c on a line of 30 a's: no c, so every path fails.
  TextStore line;
  if (only && strcmp(only, "alternation_30a") != 0) return;
  const std::string thirty = std::string(30, 'a') + "\n";
  if (InitialiseStore(&line, 64, 512) &&
      StoreInsert(&line, 0, BytesSource(thirty.data(), static_cast<u32>(thirty.size())), kStoreNoProgress) == 0) {
    Engines e = RunOne("alternation_30a", "(a|aa)*c", kPatternRegExps, "(a|aa)*c", 0, &line, thirty, 3, 200000);
    if (e.ours > 0 && e.jit > 0) {
      logSum += log(e.ours / e.jit);
      count++;
      if (e.ours / e.pcre < slowestOverInterpreter) slowestOverInterpreter = e.ours / e.pcre;
    }
  }
  FreeStore(&line);

  // The goals as three figures: the geometric mean of engine / JIT speed
  // (goal >= 0.5), the lowest engine / interpreter speed over the patterns
  // (goal >= 1), and the slower literal pattern (goal >= 2000 MB/s).
  if (count > 0) {
    Report("pattern_geomean_ours_over_pcre2_jit", exp(logSum / count), "x");
    Report("pattern_lowest_ours_over_pcre2", slowestOverInterpreter, "x");
  }
  if (slowestLiteral < 1e30) Report("pattern_slower_literal_ours", slowestLiteral, "MB/s");
}

// Resident memory of this process (VmRSS, or VmHWM: its peak since the last
// ResetPeakResident), in bytes.
u64 Resident(const char *key) {
  FILE *f = fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  unsigned long long kib = 0;
  const size_t n = strlen(key);
  while (fgets(line, sizeof line, f)) {
    if (strncmp(line, key, n) == 0 && sscanf(line + n, ": %llu kB", &kib) == 1) break;
  }
  fclose(f);
  return static_cast<u64>(kib) * 1024;
}
void ResetPeakResident() {
  if (FILE *f = fopen("/proc/self/clear_refs", "w")) {
    fputs("5", f);
    fclose(f);
  }
}
double DocumentBytes(const Document *d) {
  DocumentStatistics st;
  DocumentStatisticsOf(d, &st);
  return static_cast<double>(st.memory.markers + st.memory.lineIndex + st.memory.blockIndex + st.memory.textBuffers +
                             st.undoIndexBytes + st.undoTextBytes + st.redoIndexBytes + st.redoTextBytes);
}

// Replace all through the engine's path (a document, the search loop, its
// batches, one undo step) against pcre2_substitute (global, JIT) over the
// same corpus; the undo against the replace all.
void BenchReplaceAll() {
  const std::string flat = BenchCorpus();
  static const struct {
    const char *name, *ours;
    u32 flags;
    const char *replace, *pcre, *pcreReplace;
    double goal;
  } kCases[] = {
      {"the_THE", "the", 0, "THE", "the", "THE", 1.0},
      {"word_the_a", "the", kPatternWholeWords, "a", "\\bthe\\b", "a", 1.0},
      {"group_ing_ed", "(\\w+)ing\\b", kPatternRegExps, "\\1ed", "(\\w+)ing\\b", "$1ed", 1.5},
      {"people_persons", "people", 0, "persons", "people", "persons", 1.0},
  };
  std::vector<char> out;
  const char *only = getenv("QP_BENCH_CASE");  // one case by name, for profiling
  for (const auto &c : kCases) {
    if (only && strcmp(only, c.name) != 0) continue;
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code *code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(c.pcre), PCRE2_ZERO_TERMINATED, 0, &error, &offset,
                                     nullptr);
    if (!code) continue;
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    out.resize(flat.size() + flat.size() / 2);
    PCRE2_SIZE outLength = 0;
    int substituted = 0;
    const double pcre = BestSeconds(2, [&] {
      outLength = out.size();
      substituted = pcre2_substitute(code, reinterpret_cast<PCRE2_SPTR>(flat.data()), flat.size(), 0,
                                     PCRE2_SUBSTITUTE_GLOBAL, nullptr, nullptr,
                                     reinterpret_cast<PCRE2_SPTR>(c.pcreReplace), PCRE2_ZERO_TERMINATED,
                                     reinterpret_cast<PCRE2_UCHAR *>(out.data()), &outLength);
    });
    // Counting the matches alone, as highlight all finds them.
    pcre2_match_data *md = pcre2_match_data_create_from_pattern(code, nullptr);
    int counted = 0;
    const double pcreCount = BestSeconds(2, [&] {
      counted = 0;
      for (PCRE2_SIZE at = 0; at <= flat.size();) {
        const PCRE2_SPTR subject = reinterpret_cast<PCRE2_SPTR>(flat.data());
        if (pcre2_jit_match(code, subject, flat.size(), at, 0, md, nullptr) < 0) break;
        const PCRE2_SIZE *v = pcre2_get_ovector_pointer(md);
        at = v[1] > v[0] ? v[1] : v[1] + 1;
        counted++;
      }
    });
    pcre2_match_data_free(md);
    pcre2_code_free(code);
    Document *doc = CreateDocument();
    CompiledPattern *cp = static_cast<CompiledPattern *>(Allocate(sizeof(CompiledPattern)));
    if (!doc || !cp || InsertText(&doc->store, 0, flat.data(), static_cast<u32>(flat.size()), kStoreNoProgress) != 0 ||
        CompilePattern(cp, c.ours, c.flags) != 0) {
      printf("replace all %s: cannot set up\n", c.name);
      return;
    }
    strcpy(cp->replace, c.replace);
    struct Job {
      SearchRun run;
    } job = {};
    job.run.doc = doc;
    job.run.cp = cp;
    job.run.request = kSearchReplaceAll | kSearchFromStart;
    job.run.host.context = doc;
    job.run.host.select = [](void *d, u32 a, u32 b, bool) { SetSelection(static_cast<Document *>(d), a, b); };
    job.run.host.edit = [](void *d, const EditBatch *b) { return ApplyEditBatch(static_cast<Document *>(d), b); };
    LongOperation op = {};
    op.context = &job;
    op.work = [](LongOperation *o) { return RunSearchLoop(&static_cast<Job *>(o->context)->run); };
    const LongOperationHooks hooks = {};
    const double docBefore = DocumentBytes(doc);
    const u64 residentBefore = Resident("VmRSS");
    ResetPeakResident();
    auto start = std::chrono::steady_clock::now();
    const int replaced = RunLong(doc, &op, kRunChanges | kRunInline, hooks);
    const double ours = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The peak against the document before plus the document after (its
    // undo step included) plus 16 MiB: the growth of the resident memory
    // against the document after plus 16 MiB.
    const double peakGrowth = static_cast<double>(Resident("VmHWM")) - static_cast<double>(residentBefore);
    const double docAfter = DocumentBytes(doc);
    start = std::chrono::steady_clock::now();
    const int undone = UndoRedo(doc, kUndo);
    const double undo = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (replaced != substituted || undone != 1 || doc->store.length != flat.size()) {
      printf("replace all %s: %d replaced, PCRE2 %d\n", c.name, replaced, substituted);
    }
    char name[96];
    snprintf(name, sizeof name, "replace_all_%s_occurrences", c.name);
    Report(name, replaced, "");
    snprintf(name, sizeof name, "replace_all_%s", c.name);
    Report(name, ours, "s");
    snprintf(name, sizeof name, "replace_all_%s_vs_pcre2_jit_substitute", c.name);
    Ratio(name, ours, pcre);
    printf("%s goal %.2f x: %s\n", name, c.goal, ours / pcre <= c.goal ? "met" : "MISSED");
    snprintf(name, sizeof name, "replace_all_%s_undo_vs_replace_all", c.name);
    Ratio(name, undo, ours);
    snprintf(name, sizeof name, "replace_all_%s_peak_over_document_before", c.name);
    Report(name, peakGrowth / 1048576.0, "MiB");
    snprintf(name, sizeof name, "replace_all_%s_peak_vs_before_plus_after_plus_16MiB", c.name);
    Ratio(name, docBefore + peakGrowth, docBefore + docAfter + 16.0 * 1048576.0);
    // The search alone: the same loop finding every occurrence (as Highlight
    // all does) with batches that go nowhere; what replacing adds is the rest.
    job.run.request = kSearchHighlight | kSearchFromStart;
    job.run.host.edit = [](void *, const EditBatch *) { return 0; };
    start = std::chrono::steady_clock::now();
    const int found = RunLong(doc, &op, kRunInline, hooks);
    const double search = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (found != replaced) printf("replace all %s: the search alone found %d\n", c.name, found);
    snprintf(name, sizeof name, "replace_all_%s_search_alone_vs_pcre2_jit_substitute", c.name);
    Ratio(name, search, pcre);
    if (counted != found) printf("replace all %s: PCRE2 counted %d\n", c.name, counted);
    snprintf(name, sizeof name, "highlight_all_%s_vs_pcre2_jit_count", c.name);
    Ratio(name, search, pcreCount);
    printf("%s goal 1.50 x: %s\n", name, search / pcreCount <= 1.5 ? "met" : "MISSED");
    FreePattern(cp);
    Free(cp);
    DestroyDocument(doc);
  }
}
