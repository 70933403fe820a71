// The search loop and the replace-pattern language: replace all against the
// same occurrences replaced one after another, highlight all, find and
// select-to, single replace, the undefined back-reference question, and the
// expansion of every escape.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "document/edit.h"
#include "document/range_set.h"
#include "document/undo.h"
#include "foundation/fault.h"
#include "search/search_run.h"
#include "tests/support/document_support.h"
#include "tests/support/scripted_answerer.h"

namespace {

struct Pattern {
  std::unique_ptr<CompiledPattern> cp{new CompiledPattern()};
  Pattern(const char *text, u32 flags, const char *replace) {
    EXPECT_EQ(CompilePattern(cp.get(), text, flags), 0) << text;
    strncpy(cp->replace, replace, sizeof cp->replace - 1);
  }
  ~Pattern() { FreePattern(cp.get()); }
};

// The loop on a test document: selections and batches applied at once.
struct Host {
  Document *doc;
  static SearchHost Of(Host *h) {
    return SearchHost{h,
                      [](void *c, u32 anchor, u32 caret, bool) { SetSelection(static_cast<Host *>(c)->doc, anchor, caret); },
                      [](void *c, const EditBatch *b) { return ApplyEditBatch(static_cast<Host *>(c)->doc, b); },
                      nullptr};
  }
};

int Search(Document *doc, CompiledPattern *cp, u32 request, bool *foundNext = nullptr) {
  Host h{doc};
  SearchRun run = {doc, cp, request, Host::Of(&h), nullptr, false};
  BeginGroup(doc, 1, 0);
  const int r = RunSearchLoop(&run);
  BeginGroup(doc, 0, 0);
  if (foundNext) *foundNext = run.foundNext;
  return r;
}

// Replace all as one occurrence after another: find, expand, Replace
// selection, go on after the new text (an empty occurrence may not be found
// again at the same place).
int OneByOne(Document *doc, CompiledPattern *cp) {
  const char *newline = NewlineSequence(doc->newlineType);
  u32 pos = 0, count = 0;
  bool reject = doc->selStart->position == doc->selEnd->position;
  for (;;) {
    MatchGroups g;
    u32 at;
    if (FindMatch(cp, doc, pos, doc->store.length, doc->store.length, false, reject, &g, &at) != kMatchFound) break;
    ByteBuffer text = {};
    const int x = ExpandReplacement(cp, &doc->store, g, newline, count + 1, &text, nullptr);
    if (x != kExpandDone) {
      BufferFree(&text);
      if (x == kExpandSkip) {
        pos = g.group[0].end;
        reject = g.group[0].start == g.group[0].end;
        continue;
      }
      return x;
    }
    SetSelection(doc, g.group[0].start, g.group[0].end);
    EXPECT_EQ(ReplaceSelectionCounted(doc, text.data, static_cast<u32>(text.length), 0, nullptr), 1);
    pos = g.group[0].start + static_cast<u32>(text.length);
    reject = g.group[0].start == g.group[0].end;
    BufferFree(&text);
    count++;
  }
  return static_cast<int>(count);
}

// Occurrences of a literal on a long text are found ahead, a stretch at a
// time in two halves at once; small limits make every text long.
struct AheadLimits {
  SearchAheadLimits saved = g_searchAhead;
  explicit AheadLimits(SearchAheadLimits limits) { g_searchAhead = limits; }
  ~AheadLimits() { g_searchAhead = saved; }
};

// The non-empty occurrences one search after another finds, as highlight
// all lists them.
std::vector<RangeTriple> Occurrences(Document *doc, CompiledPattern *cp) {
  std::vector<RangeTriple> out;
  u32 pos = 0;
  bool reject = true;
  MatchGroups g;
  while (FindMatch(cp, doc, pos, doc->store.length, doc->store.length, false, reject, &g, nullptr) == kMatchFound) {
    if (g.group[0].end > g.group[0].start) out.push_back({g.group[0].start, g.group[0].end - g.group[0].start, 0});
    pos = g.group[0].end;
    reject = g.group[0].start == g.group[0].end;
  }
  return out;
}

TEST(SearchRun, ReplaceAllEqualsReplacingOneOccurrenceAfterAnother) {
  static const struct {
    const char *pattern;
    u32 flags;
  } kPatterns[] = {
      {"a", 0}, {"ab", kPatternIgnoreCase}, {"a*", kPatternRegExps}, {"b+", kPatternRegExps},
      {"\\bab", kPatternRegExps}, {"^a", kPatternRegExps}, {"a$", kPatternRegExps}, {"(?<=a)b", kPatternRegExps},
      {"\\n", kPatternEscapes}, {"(a)(b)?", kPatternRegExps}, {"[ab]{2}", kPatternRegExps}, {"ba", kPatternWholeWords},
      {"\\p.", kPatternRegExps}, {"x*", kPatternRegExps}, {"(?=b)", kPatternRegExps}, {"\\0", kPatternEscapes},
      {"aa", 0}, {"bab", kPatternIgnoreCase},  // occurrences that overlap: the later one is not replaced
      {"\\na", kPatternEscapes},                  // one that starts where the one before may end in a CR
  };
  static const char *const kReplacements[] = {"", "X", "\\&\\&", "[\\1\\2]", "\\n", "\\#d.", "\\L&", "\\0b", "a\r"};
  TestRandom rng(5);
  int cases = 0;
  for (const auto &p : kPatterns) {
    for (const char *replacement : kReplacements) {
      for (int round = 0; round < 3; round++) {
        std::string text;
        const unsigned n = round == 2 ? 1000 + rng.Below(3000) : rng.Below(80);
        static const SearchAheadLimits kLimits[] = {g_searchAhead, {4, 3, 2}, {64, 40, 7}};
        AheadLimits limits(kLimits[round]);
        static const char kAlphabet[] = {'a', 'b', 'a', 'b', ' ', '\r', '\n', '\0', 'B'};
        for (unsigned i = 0; i < n; i++) text += kAlphabet[rng.Below(sizeof kAlphabet)];
        SCOPED_TRACE(std::string(p.pattern) + " -> " + replacement + " over " + std::to_string(n) + " bytes");
        Pattern ours(p.pattern, p.flags | (strchr(replacement, '\\') ? kPatternRegExps : 0u), replacement);
        ours.cp->flags |= kPatternUndefinedEmpty;
        Pattern model(p.pattern, ours.cp->flags & ~kPatternUndefinedEmpty, replacement);
        model.cp->flags |= kPatternUndefinedEmpty;
        TestDocument a, b;
        a.Load(text);
        b.Load(text);
        a->newlineType = b->newlineType = static_cast<u32>(round);
        const int expected = OneByOne(b, model.cp.get());
        TestDocument h;
        h.Load(text);
        ASSERT_GE(Search(h, ours.cp.get(), kSearchHighlight | kSearchFromStart), 0);
        ASSERT_EQ(SetRanges(h, kSetPrimaryMatches), Occurrences(h, model.cp.get()));
        const int got = Search(a, ours.cp.get(), kSearchReplaceAll | kSearchFromStart);
        ASSERT_EQ(got, expected);
        ASSERT_EQ(a.Text(), b.Text()) << testing::PrintToString(text);
        ASSERT_TRUE(DocOk(a));
        if (got > 0) {
          ASSERT_EQ(UndoRedo(a, kUndo), 1);
          EXPECT_TRUE(a.Text() == text) << "one undo";
          ASSERT_EQ(UndoRedo(a, kRedo), 1);
          EXPECT_TRUE(a.Text() == b.Text());
        }
        cases++;
      }
    }
  }
  EXPECT_EQ(cases, 19 * 9 * 3);
}

// Highlight all puts every non-empty occurrence into set 5 (6 for the
// second search) and changes nothing; find selects the next occurrence (the
// previous one backwards); select-to extends the selection; a single replace
// replaces the selected occurrence and selects the next.
TEST(SearchRun, HighlightFindSelectToAndSingleReplace) {
  TestDocument d;
  d.Load("one two one three one");
  Pattern p("one", 0, "1");
  EXPECT_EQ(Search(d, p.cp.get(), kSearchHighlight | kSearchSecondary | kSearchFromStart), 3);
  EXPECT_EQ(SetRanges(d, kSetSecondaryMatches), (std::vector<RangeTriple>{{0, 3, 0}, {8, 3, 0}, {18, 3, 0}}));
  EXPECT_EQ(d->undo.count, 0u);
  d.Select(4, 4);
  EXPECT_EQ(Search(d, p.cp.get(), 0), 1);
  EXPECT_EQ(d->anchor.position, 8u);
  EXPECT_EQ(d->caret.position, 11u);
  EXPECT_EQ(Search(d, p.cp.get(), kSearchBackward), 1);
  EXPECT_EQ(d->caret.position, 0u) << "backwards, the caret at the start";
  d.Select(4, 5);
  EXPECT_EQ(Search(d, p.cp.get(), kSearchSelectTo), 1);
  EXPECT_EQ(d->anchor.position, 4u);
  EXPECT_EQ(d->caret.position, 11u);
  d.Select(8, 11);
  bool next = false;
  EXPECT_EQ(Search(d, p.cp.get(), kSearchReplace, &next), 1);
  EXPECT_EQ(d.Text(), "one two 1 three one");
  EXPECT_TRUE(next);
  EXPECT_EQ(d->anchor.position, 16u);
  EXPECT_EQ(d->caret.position, 19u);
  EXPECT_EQ(Search(d, p.cp.get(), kSearchReplace, &next), 1);
  EXPECT_FALSE(next) << "no more matches";
  EXPECT_EQ(d.Text(), "one two 1 three 1");
  Pattern none("four", 0, "");
  EXPECT_EQ(Search(d, none.cp.get(), kSearchFromStart), 0);
}

// (a)|b replaced by [\1] over "ab": at "b" the question comes once; Yes gives
// empty references, No skips such occurrences, Cancel stops with -4 and the
// replacements before it stay.
TEST(SearchRun, UndefinedBackReferencesAskOnce) {
  for (int answer : {kAnswerYes, kAnswerNo, kAnswerCancel}) {
    ScriptedAnswerer answers;
    answers.Expect(Text(TXT_UNDEFINED_BACKREF), kAskYesNoCancel, answer);
    TestDocument d;
    d.Load("abab");
    Pattern p("(a)|b", kPatternRegExps, "[\\1]");
    const int r = Search(d, p.cp.get(), kSearchReplaceAll | kSearchFromStart);
    EXPECT_EQ(r, answer == kAnswerYes ? 4 : answer == kAnswerNo ? 2 : kSearchAskCancelled);
    EXPECT_EQ(d.Text(), answer == kAnswerYes ? "[a][][a][]" : answer == kAnswerNo ? "[a]b[a]b" : "[a]bab");
  }
}

// The replace-pattern language, escape by escape.
TEST(SearchRun, ExpandReplacement) {
  static const struct {
    u32 flags;
    const char *replace;
    int result;
    const char *out;  // for result 0
    bool constant;
  } kCases[] = {
      {0, "a\\n\\1", 0, "a\\n\\1", true},
      {kPatternEscapes, "\\0|\\\\|\\n|\\t|\\1|\\", 0, "\0|\\|\r\n|\t|\\1|\\", true},
      {kPatternRegExps, "<\\1\\2>", 0, "<xy>", false},
      {kPatternRegExps, "\\&-\\+-\\L&-\\L1-\\L+", 0, "xyz-y-3-1-1", false},
      {kPatternRegExps, "\\#d \\#x \\#X \\#o \\#b", 0, "26 1a 1A 32 11010", false},
      {kPatternRegExps, "\\Q\\1\\E\\a\\e\\f\\v\\cA\\cz\\x41\\x7e", 0, "\\1\x07\x1b\x0c\x0b\x01\x1a" "A~", true},
      {kPatternRegExps, "\\3", kExpandUndefined, "", false},
      {kPatternRegExps, "\\L3", kExpandUndefined, "", false},
      {kPatternRegExps, "\\r", kExpandError, "", true},
      {kPatternRegExps, "a\\", kExpandError, "", true},
      {kPatternRegExps, "\\x4", kExpandError, "", true},
      {kPatternRegExps, "\\c1", kExpandError, "", true},
      {kPatternRegExps, "\\#", kExpandError, "", true},
      {kPatternRegExps, "\\#q", kExpandError, "", true},
      {kPatternRegExps, "\\Lx", kExpandError, "", true},
      {kPatternRegExps, "\\Qopen", kExpandError, "", true},
      {kPatternRegExps, "\\y", kExpandError, "", true},
  };
  TestDocument d;
  d.Load("..xyz..");
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.replace);
    Pattern p("(x)(y)(q)?z", kPatternRegExps, c.replace);
    p.cp->flags = (p.cp->flags & ~(kPatternRegExps | kPatternEscapes)) | c.flags;
    MatchGroups g;
    u32 at;
    ASSERT_EQ(FindMatch(p.cp.get(), d, 0, 7, 7, false, false, &g, &at), kMatchFound);
    ByteBuffer out = {};
    bool constant = false;
    EXPECT_EQ(ExpandReplacement(p.cp.get(), &d->store, g, "\r\n", 26, &out, &constant), c.result);
    if (c.result == 0) {
      const size_t n = c.flags == kPatternEscapes ? 13 : strlen(c.out);
      EXPECT_EQ(std::string(out.data, out.length), std::string(c.out, n));
      EXPECT_EQ(constant, c.constant);
    }
    BufferFree(&out);
  }
  // With undefined references marked empty or skipped.
  Pattern p("(a)|b", kPatternRegExps, "[\\1]");
  TestDocument b;
  b.Load("b");
  MatchGroups g;
  u32 at;
  ASSERT_EQ(FindMatch(p.cp.get(), b, 0, 1, 1, false, false, &g, &at), kMatchFound);
  ByteBuffer out = {};
  p.cp->flags |= kPatternUndefinedSkip;
  EXPECT_EQ(ExpandReplacement(p.cp.get(), &b->store, g, "\n", 1, &out, nullptr), kExpandSkip);
  p.cp->flags ^= kPatternUndefinedSkip | kPatternUndefinedEmpty;
  out.length = 0;
  EXPECT_EQ(ExpandReplacement(p.cp.get(), &b->store, g, "\n", 1, &out, nullptr), kExpandDone);
  EXPECT_EQ(std::string(out.data, out.length), "[]");
  BufferFree(&out);
}

// Allocation N fails during replace all and highlight all: out of memory
// (or done), the replacements made stay and one Undo removes them.
TEST(SearchRun, AllocationFailuresKeepWhatWasDone) {
  TestRandom rng(9);
  std::string text;
  for (int i = 0; i < 400; i++) text += rng.OneIn(5) ? "word " : "other\r\n";
  for (u32 request : {kSearchReplaceAll | kSearchFromStart, kSearchHighlight | kSearchFromStart}) {
    u32 n = 1;
    for (;; n++) {
      TestDocument d;
      d.Load(text);
      Pattern p("word", 0, "WORDS");
      FaultInjector fi = {};
      FaultPlan(&fi, kFaultAlloc, n, false);
      int r;
      {
        ScopedFaultInjector scope(&fi);
        r = Search(d, p.cp.get(), request);
      }
      ASSERT_TRUE(r >= 0 || r == kSearchNoMemory) << r;
      ASSERT_TRUE(DocOk(d, false));
      EXPECT_EQ(d->undo.groupMode, 0u);
      if (request & kSearchReplaceAll) {
        if (d->undo.count) {
          ASSERT_EQ(UndoRedo(d, kUndo), 1);
        }
        EXPECT_TRUE(d.Text() == text) << "one undo, allocation " << n;
      } else {
        EXPECT_TRUE(d.Text() == text);
      }
      if (!fi.fired[kFaultAlloc] || HasFailure()) break;
    }
    EXPECT_GT(n, 3u);
  }
}

// Cancelled after two batches, replace all keeps exactly the occurrences
// handed over, which one Undo removes.
TEST(SearchRun, CancelKeepsThePrefix) {
  std::string text;
  for (int i = 0; i < 200000; i++) text += "xx word xx\n";
  TestDocument d;
  d.Load(text);
  Pattern p("word", 0, "W");
  struct Counting {
    Document *doc;
    LongOperation *op;
    int batches;
  };
  LongOperation op = {};
  Counting c = {d, &op, 0};
  SearchRun run = {d, p.cp.get(), kSearchReplaceAll | kSearchFromStart,
                   SearchHost{&c, [](void *, u32, u32, bool) {},
                              [](void *x, const EditBatch *b) {
                                Counting *k = static_cast<Counting *>(x);
                                const int r = ApplyEditBatch(k->doc, b);
                                if (++k->batches == 2) CancelOperation(k->op);
                                return r;
                              },
                              nullptr},
                   &op, false};
  BeginGroup(d, 1, 0);
  const int r = RunSearchLoop(&run);
  BeginGroup(d, 0, 0);
  EXPECT_GE(r, 2 * static_cast<int>(kBatchMaxEdits));
  EXPECT_LT(r, 3 * static_cast<int>(kBatchMaxEdits)) << "stopped at the cancel";
  std::string model;
  for (int i = 0; i < 200000; i++) model += i < r ? "xx W xx\n" : "xx word xx\n";
  EXPECT_TRUE(d.Text() == model);
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  EXPECT_TRUE(d.Text() == text);
}

// Over many batches: the loop reads the bytes around each occurrence (for
// \b) in the text that every batch sent has changed.
TEST(SearchRun, WholeWordsAcrossManyBatches) {
  static const char *const kWords[] = {"ab", "ba", "abab", "b", "ab"};
  static const char *const kGaps[] = {" ", "\n", "\r\n", "  "};
  TestRandom rng(9);
  std::vector<std::string> words, gaps;
  std::string text;
  for (int i = 0; i < 260000; i++) {
    words.push_back(kWords[rng.Below(5)]);
    gaps.push_back(kGaps[rng.Below(4)]);
    text += words.back() + gaps.back();
  }
  static const struct {
    const char *pattern;
    u32 flags;
    const char *replacement, *result;
  } kCases[] = {{"ab", 0, "a", "a"}, {"ab", 0, "abc", "abc"}, {"ab", 0, "b\r", "b\r"},
                {"(a)(b)", kPatternRegExps, "\\2\\1\\2", "bab"}};
  for (const auto &c : kCases) {
    std::string model;
    int expected = 0;
    for (size_t i = 0; i < words.size(); i++) {
      expected += words[i] == "ab";
      model += (words[i] == "ab" ? c.result : words[i]) + gaps[i];
    }
    // Put together from the back, so that the blocks have all kinds of lengths.
    TestDocument d;
    for (size_t end = text.size(), n; end > 0; end -= n) {
      n = std::min<size_t>(end, 1 + rng.Below(7000));
      ASSERT_EQ(InsertText(&d->store, 0, text.data() + end - n, static_cast<u32>(n), 0), 0);
    }
    Pattern p(c.pattern, kPatternWholeWords | c.flags, c.replacement);
    AheadLimits limits({65536, 20000, 1000});
    ASSERT_EQ(Search(d, p.cp.get(), kSearchReplaceAll | kSearchFromStart), expected);
    ASSERT_GT(expected, static_cast<int>(kBatchMaxEdits));
    EXPECT_TRUE(d.Text() == model) << c.replacement;
  }
}

}  // namespace
