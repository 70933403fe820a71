// The tool runner with the case and line tools, against string models of
// the tools written from their rules (the line tools walk from the last line
// to the first and edit in place, as the rules put it), over random texts
// and selections; the rules' own examples; the question, faults and cancel;
// double-byte text.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/config_state.h"
#include "document/document.h"
#include "document/edit.h"
#include "document/motion.h"
#include "document/undo.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/fault.h"
#include "foundation/platform.h"
#include "foundation/texts.h"
#include "tests/support/document_support.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/tool_support.h"
#include "tools/line_walker.h"
#include "tools/text_tools.h"
#include "tools/tool_table.h"

namespace {

// ---- models ----

bool Blank(char c) { return (CharType(static_cast<u8>(c)) & kC1Space) != 0; }

struct MLine {
  size_t start, textEnd, end;
};

std::vector<MLine> SplitLines(const std::string &t) {
  std::vector<MLine> lines;
  size_t p = 0;
  for (;;) {
    size_t e = p;
    while (e < t.size() && t[e] != '\r' && t[e] != '\n') e++;
    if (e == t.size()) {
      lines.push_back({p, e, e});
      return lines;
    }
    size_t nl = (t[e] == '\r' && e + 1 < t.size() && t[e + 1] == '\n') ? 2 : 1;
    lines.push_back({p, e, e + nl});
    p = e + nl;
  }
}

size_t LeadCount(const std::string &t, const MLine &l, unsigned tab, unsigned *width) {
  size_t i = l.start;
  unsigned w = 0;
  for (; i < l.textEnd && Blank(t[i]); i++) w = t[i] == '\t' ? (w / tab + 1) * tab : w + 1;
  if (width) *width = w;
  return i - l.start;
}
bool BlankLine(const std::string &t, const MLine &l) { return LeadCount(t, l, 1, nullptr) == l.textEnd - l.start; }

std::string CaseModel(int id, std::string t) {
  bool flag = true;
  for (char &ch : t) {
    const u8 c = static_cast<u8>(ch);
    const bool word = IsWordChar(c);
    switch (id) {
      case 31010: ch = static_cast<char>(ToUpper(c)); break;
      case 31020: ch = static_cast<char>(ToLower(c)); break;
      case 31030:
        ch = static_cast<char>((CharType(c) & kC1Upper) ? ToLower(c) : (CharType(c) & kC1Lower) ? ToUpper(c) : c);
        break;
      case 31040:  // flag: at a word's start
        if (word) ch = static_cast<char>(flag ? ToUpper(c) : ToLower(c));
        flag = !word;
        break;
      case 31050:  // flag: no word character yet
        if (word) ch = static_cast<char>(flag ? ToUpper(c) : ToLower(c));
        if (word) flag = false;
        break;
      case 31060:
        if (IsSentenceEnd(c)) {
          flag = true;
        } else if (flag && word) {
          ch = static_cast<char>(ToUpper(c));
          flag = false;
        }
        break;
    }
  }
  return t;
}

std::string LineModel(int id, std::string t, const LinePhraseSettings &quote, unsigned tab, bool noTabs) {
  std::vector<MLine> lines = SplitLines(t);
  if (id == 32210 || id == 32230 || id == 32310) {
    LinePhraseSettings s = quote;
    std::string indent = noTabs ? std::string(tab, ' ') : "\t";
    if (id == 32210) s = {indent.c_str(), 0, 0, 0};
    s.atEnd = id == 32310;
    for (size_t i = lines.size(); i-- > 0;) {
      const MLine &l = lines[i];
      if (s.nonEmptyOnly && BlankLine(t, l)) continue;
      size_t at = l.start;
      if (s.atEnd) {
        at = l.textEnd;
        while (s.skipSpaces && at > l.start && Blank(t[at - 1])) at--;
      } else if (s.skipSpaces) {
        at += LeadCount(t, l, 1, nullptr);
      }
      t.insert(at, s.phrase);
    }
    return t;
  }
  if (id >= 32240 && id <= 32330 && id != 32310) {
    const int mode = id == 32330 ? 1 : id == 32320 ? 2 : id == 32260 ? 4 : id == 32250 ? 8 : 16;
    char ref = 0;
    bool any = false;
    for (const MLine &l : lines)
      if (l.textEnd > l.start && !any) {
        ref = mode == 2 ? t[l.textEnd - 1] : t[l.start];
        any = true;
      }
    if (!any) return t;
    for (size_t i = lines.size(); i-- > 0;) {
      const MLine &l = lines[i];
      if (l.textEnd == l.start) continue;
      if (mode == 1 || (mode == 2 && t[l.textEnd - 1] == ref)) t.erase(l.textEnd - 1, 1);
      if (mode == 4 || (mode == 8 && t[l.start] == ref)) t.erase(l.start, 1);
      if (mode == 16) {
        size_t n = 0;
        if (noTabs && t[l.start] == ' ') {
          while (n < tab && l.start + n < l.textEnd && t[l.start + n] == ' ') n++;
        } else if (Blank(t[l.start])) {
          n = 1;
        }
        t.erase(l.start, n);
      }
    }
    return t;
  }
  for (size_t i = lines.size(); i-- > 0;) {
    MLine &l = lines[i];
    const bool blank = BlankLine(t, l);
    unsigned width = 0;
    const size_t lead = LeadCount(t, l, tab, &width);
    switch (id) {
      case 32110: {
        size_t e = l.textEnd;
        while (e > l.start && Blank(t[e - 1])) e--;
        t.erase(e, l.textEnd - e);
        break;
      }
      case 32120:
        if (blank) t.erase(l.start, l.textEnd - l.start);
        break;
      case 32130:
      case 32140:
        if (blank && (id == 32130 || (i > 0 && BlankLine(t, lines[i - 1])))) {
          if (l.end == l.textEnd && i > 0) {  // the last line: the newline before it goes
            t.erase(lines[i - 1].textEnd, l.end - lines[i - 1].textEnd);
            lines[i - 1].end = lines[i - 1].textEnd;
          } else {
            t.erase(l.start, l.end - l.start);
          }
        }
        break;
      case 32410:
      case 32420:
        if (lead) {
          std::string fresh = id == 32410 ? std::string(width / tab, '\t') + std::string(width % tab, ' ')
                                          : std::string(width, ' ');
          t.replace(l.start, lead, fresh);
        }
        break;
    }
  }
  return t;
}

// The runner's pull-back of a selection's end at a line start or inside a CR LF.
size_t PullBack(const std::string &t, size_t a, size_t b) { return PulledBack(t, a, b); }

// ---- the host ----

using Host = ToolTestHost;

ToolRunSettings Settings(int autoSelect = 2) { return ToolRunSettings{autoSelect, 0, 0, 0}; }

const int kToolIds[] = {31010, 31020, 31030, 31040, 31050, 31060, 32110, 32120, 32130, 32140, 32210,
                        32230, 32240, 32250, 32260, 32310, 32320, 32330, 32410, 32420};

class Tools : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = g_settings;
    g_settings.edit.Tab = 4;
    g_settings.edit.NoTabs = 0;
  }
  void TearDown() override { g_settings = saved_; }
  ScopedToolStreaming streaming_{g_toolInputChunk, g_toolHalves};  // put back after each test
  const u32 kChunk = streaming_.chunk, kHalves = streaming_.halves;
  // Runs the tool on the whole text as selected; the new text.
  std::string Run(int id, const std::string &text) {
    TestDocument d;
    d.Load(text);
    RunOnAll(d, id);
    return d.Text();
  }
  void RunOnAll(TestDocument &d, int id) {
    d.Select(0, d->store.length);
    ToolDescriptor tool;
    EXPECT_TRUE(DescribeTool(id, &tool));
    tool.flags |= kToolNoPullBack;
    Host host;
    EXPECT_EQ(RunTool(d, &tool, host.Make(d), Settings()), 0);
  }
  SettingsBlock saved_;
};

// Random texts and selections, every tool: the text, the line after the
// selection, the new selection, and Undo and Redo exact.
TEST_F(Tools, RandomTextsAndSelectionsAgainstTheModels) {
  TestRandom rng(1807);
  const char alphabet[] = "aB c\t\r\n#;.?x  \n\r\n";
  for (int round = 0; round < 1500; round++) {
    std::string text;
    const unsigned n = rng.Below(60);
    for (unsigned i = 0; i < n; i++) text += rng.OneIn(40) ? '\0' : alphabet[rng.Below(sizeof alphabet - 1)];
    const int id = kToolIds[rng.Below(QP_ARRAY_COUNT(kToolIds))];
    g_settings.edit.NoTabs = rng.Below(2);
    g_settings.edit.Tab = 1 + rng.Below(5);
    StrCopy(g_settings.tools.QtText, rng.OneIn(2) ? "> " : "#");
    StrCopy(g_settings.tools.ClText, ";");
    g_settings.tools.QtEmpty = g_settings.tools.ClEmpty = rng.Below(2);
    g_settings.tools.QtSpace = g_settings.tools.ClSpace = rng.Below(2);
    // The line tools that read the document: a few bytes of lines at a
    // time, in two halves.
    g_toolInputChunk = rng.OneIn(2) ? 1 + rng.Below(9) : kChunk;
    g_toolHalves = rng.OneIn(2) ? 1 : kHalves;
    const int autoSelect = 1 + rng.Below(4);
    unsigned anchor = rng.Below(n + 1), caret = rng.Below(4) == 0 ? anchor : rng.Below(n + 1);
    if (rng.OneIn(8)) anchor = 0, caret = n;
    SCOPED_TRACE(testing::Message() << "round " << round << " tool " << id << " sel " << anchor << "," << caret);

    TestDocument d;
    d.Load(text);
    d.Select(anchor, caret);
    // The expectation.
    size_t a = std::min(anchor, caret), b = std::max(anchor, caret);
    size_t pushed = b - PullBack(text, a, b);
    b -= pushed;
    if (a == b) {
      // Around the caret, which a pulled-back selection left at its start.
      u32 ua = 0, ub = n;
      const u32 at = anchor != caret ? static_cast<u32>(a) : caret;
      if (autoSelect == 4 || UnitAround(d, autoSelect - 1, at, &ua, &ub)) {
        a = ua;
        b = ub;
        pushed = b - PullBack(text, a, b);
        b -= pushed;
      }
    }
    const LinePhraseSettings phrase = id == 32310 ? CloseSettings() : QuoteSettings();
    std::string expected = text, piece = text.substr(a, b - a);
    const bool runs = a != b;
    if (runs)
      expected = text.substr(0, a) +
                 (id < 32000 ? CaseModel(id, piece)
                             : LineModel(id, piece, phrase, g_settings.edit.Tab, g_settings.edit.NoTabs != 0)) +
                 text.substr(b);

    ToolDescriptor tool;
    ASSERT_TRUE(DescribeTool(id, &tool));
    Host host;
    host.thread = rng.OneIn(4);
    ToolRunSettings settings = Settings(autoSelect);
    settings.persistent = rng.Below(2);
    const u32 stepsBefore = d->undo.count;
    const int r = RunTool(d, &tool, host.Make(d), settings);
    ASSERT_EQ(r, runs ? 0 : kResultCancelled);
    ASSERT_EQ(d.Text(), expected);
    ASSERT_TRUE(DocOk(d));
    EXPECT_EQ(host.messages, "");
    if (!runs) {
      EXPECT_EQ(d->anchor.position, anchor);
      EXPECT_EQ(d->caret.position, caret);
      continue;
    }
    const u32 end = static_cast<u32>(a + (expected.size() - (text.size() - (b - a))) + pushed);
    const bool keep = settings.persistent || FindToolRow(id)->rowFlags & kToolRowKeepsSelection;
    const bool reversed = keep && caret < anchor && caret != anchor;
    EXPECT_EQ(d->selStart->position, a);
    EXPECT_EQ(d->selEnd->position, end);
    if (end != a) {
      EXPECT_EQ(d->caret.position < d->anchor.position, reversed);
    }
    ASSERT_EQ(d->undo.count, stepsBefore + 1);
    ASSERT_TRUE(UndoRedo(d, kUndo));
    ASSERT_EQ(d.Text(), text);
    ASSERT_TRUE(UndoRedo(d, kRedo));
    ASSERT_EQ(d.Text(), expected);
    ASSERT_TRUE(DocOk(d));
  }
}

// The rules' own examples.
TEST_F(Tools, TheExamplesOfTheRules) {
  struct Case {
    int id;
    const char *settings;  // Q: quote "> " non-empty only; S: and skip spaces; T: NoTabs
    const char *in, *out;
  };
  const Case cases[] = {
      {31040, "", "hello wORLD-foo", "Hello World-Foo"},
      {31050, "", "hello WORLD", "Hello world"},
      {31060, "", "one. two? three", "One. Two? Three"},
      {31060, "", "ONE. two", "ONE. Two"},
      {31030, "", "aB1,.-Z", "Ab1,.-z"},
      {32230, "Q", "a\n\n  b", "> a\n\n>   b"},
      {32230, "QS", "a\n\n  b", "> a\n\n  > b"},
      {32250, "", "#a\r\n#b\n c", "a\r\nb\n c"},
      {32250, "", "#a\n#b\nc", "a\nb\nc"},
      {32320, "", "a;\nb;\nc", "a\nb\nc"},
      {32240, "T", "      x\n\ty\n", "  x\ny\n"},
      {32240, "", "      x\n\ty", "     x\ny"},
      {32140, "", "a\n\n\n  \nb", "a\n\nb"},
      {32130, "", "a\n \nb\n\n", "a\nb"},
      {32410, "", "  \t  x\n", "\t  x\n"},
      {32420, "", " \tx\n\t\ty", "    x\n        y"},
      {32260, "", "\nab\n", "\nb\n"},
      {32110, "", "a \t\nb  \r\n  ", "a\nb\r\n"},
      {32120, "", "a \n \t\r\n", "a \n\r\n"},
      {32210, "", "a\n\nb", "\ta\n\t\n\tb"},
      {32210, "T", "a", "    a"},
      {32310, "", "a\n b ", "a;\n b ;"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.in);
    const std::string s = c.settings;
    g_settings.edit.NoTabs = s.find('T') != std::string::npos;
    StrCopy(g_settings.tools.QtText, "> ");
    StrCopy(g_settings.tools.ClText, ";");
    g_settings.tools.QtEmpty = s.find('Q') != std::string::npos;
    g_settings.tools.QtSpace = s.find('S') != std::string::npos;
    g_settings.tools.ClEmpty = g_settings.tools.ClSpace = 0;
    EXPECT_EQ(Run(c.id, c.in), c.out);
    g_toolInputChunk = 1;  // and a line read at a time
    EXPECT_EQ(Run(c.id, c.in), c.out);
    g_toolInputChunk = kChunk;
  }
  // A same-length result that makes or removes a newline still goes back
  // right (not written over the old text: the rows would not match).
  TestDocument d;
  d.Load("ax\nb\r\nc");
  d.Select(0, 7);
  ToolDescriptor swap = {};
  swap.transformInPlace = [](char *t, u32 n) {
    for (u32 i = 0; i < n; i++) t[i] = t[i] == 'x' ? '\n' : t[i] == '\n' ? 'y' : t[i];
    return 0;
  };
  Host host;
  ASSERT_EQ(RunTool(d, &swap, host.Make(d), Settings()), 0);
  EXPECT_EQ(d.Text(), "a\nyb\ryc");
  EXPECT_TRUE(DocOk(d));
  // A preview: the result goes to the target window, the document stays.
  ToolDescriptor preview;
  DescribeTool(31010, &preview);
  preview.target = &host;
  ToolHost h = host.Make(d);
  h.setTargetText = [](void *c, WindowRef, const char *text, u32 n) {
    static_cast<Host *>(c)->messages = std::string(text, n);
    return 0;
  };
  d.Select(0, 2);
  ASSERT_EQ(RunTool(d, &preview, h, Settings()), 0);
  EXPECT_EQ(host.messages, "A");  // the newline after it pulled back, as ever
  EXPECT_EQ(d.Text(), "a\nyb\ryc");
  // Random and Fun Case change case only; Fun Case lowers what is not a word.
  std::string mixed = "Hello, World! ABC def";
  std::string r1 = Run(31070, mixed), r2 = Run(31080, mixed);
  EXPECT_EQ(CaseModel(31020, r1), CaseModel(31020, mixed));
  EXPECT_EQ(CaseModel(31020, r2), CaseModel(31020, mixed));
}

// Three whole lines selected with the newline after the third: the fourth
// line is untouched, and the selection ends where it did.
TEST_F(Tools, ALineToolLeavesTheLineAfterTheSelectionAlone) {
  TestDocument d;
  d.Load("a\r\nb\r\nc\r\nd");
  d.Select(0, 9);
  ToolDescriptor tool;
  DescribeTool(32210, &tool);
  Host host;
  ASSERT_EQ(RunTool(d, &tool, host.Make(d), Settings()), 0);
  EXPECT_EQ(d.Text(), "\ta\r\n\tb\r\n\tc\r\nd");
  EXPECT_EQ(d->selEnd->position, 12u);
}

TEST_F(Tools, WithoutAutomaticSelectionTheQuestionDecides) {
  for (int answer : {kAnswerNo, kAnswerYes}) {
    TestDocument d;
    d.Load("ab\ncd");
    d.Select(1, 1);
    ScriptedAnswerer script;
    script.Expect(Text(TXT_NEEDS_SELECTION), kAskYesNo, answer);
    ToolDescriptor tool;
    DescribeTool(31010, &tool);
    Host host;
    EXPECT_EQ(RunTool(d, &tool, host.Make(d), Settings(0)), answer == kAnswerYes ? 0 : kResultCancelled);
    EXPECT_EQ(d.Text(), answer == kAnswerYes ? "AB\nCD" : "ab\ncd");
    EXPECT_EQ(d->undo.count, answer == kAnswerYes ? 1u : 0u);
  }
}

// Allocation N fails (once, and from N on): the run either completes or
// leaves text, selection, undo depth and modified flag as they were, with the
// failure reported once.
TEST_F(Tools, AllocationFailuresChangeNothing) {
  std::string text;
  for (int i = 0; i < 3000; i++) text += (i % 7 ? "\tline of text \r\n" : "\n");
  for (int id : {32210, 31010, 32420}) {
    for (int mode = 0; mode < 4; mode++) {
      const int persistent = mode & 1;
      g_toolInputChunk = mode & 2 ? 5000 : kChunk;  // read in chunks, in two halves
      g_toolHalves = mode & 2 ? 1 : kHalves;
      for (u32 n = 1;; n++) {
        TestDocument d;
        d.Load(text);
        d.Select(5, static_cast<unsigned>(text.size()) - 3);
        ToolDescriptor tool;
        DescribeTool(id, &tool);
        Host host;
        FaultInjector fi;
        FaultReset(&fi);
        FaultPlan(&fi, kFaultAlloc, n, persistent != 0);
        int r;
        {
          ScopedFaultInjector scope(&fi);
          r = RunTool(d, &tool, host.Make(d), Settings());
        }
        SCOPED_TRACE(testing::Message() << id << " n " << n << " mode " << mode);
        ASSERT_TRUE(DocOk(d, false));
        if (r == 0) {
          // The old text, kept for Undo (its blocks handed over, not copied), comes back whole.
          const std::string changed = d.Text();
          EXPECT_NE(changed, text);
          EXPECT_EQ(d->undo.count, 1u);
          ASSERT_TRUE(UndoRedo(d, kUndo));
          EXPECT_EQ(d.Text(), text);
          ASSERT_TRUE(UndoRedo(d, kRedo));
          EXPECT_EQ(d.Text(), changed);
          EXPECT_TRUE(DocOk(d, false));
        } else {
          EXPECT_TRUE(r == kResultOutOfMemory || r == kResultReported) << r;
          EXPECT_EQ(d.Text(), text);
          EXPECT_EQ(d->undo.count, 0u);
          EXPECT_EQ(d->modified, 0u);
          EXPECT_EQ(d->anchor.position, 5u);
          EXPECT_EQ(d->caret.position, text.size() - 3);
          // Once: by the document (E) or by the result.
          EXPECT_LE(std::count(d.events.begin(), d.events.end(), 'E') + (r == kResultOutOfMemory), 1);
        }
        if (fi.fired[kFaultAlloc] == 0) break;
      }
    }
  }
}

// A long same-length result in pieces takes the old text's place (its
// blocks; the rows stay), and undo and redo swap the two back and forth.
TEST_F(Tools, LongCaseChangesSwapInAndOut) {
  TestRandom rng(77);
  std::string text;
  while (text.size() < 90000) text += std::string("Word ab\tCD ef.") + (rng.OneIn(3) ? "\r\n" : rng.OneIn(2) ? "\n" : "\r");
  g_toolInputChunk = 3000;
  g_toolHalves = 20000;
  for (int id : {31010, 31020, 31030}) {
    TestDocument d;
    d.Load(text);
    const std::string expected = CaseModel(id, text);
    RunOnAll(d, id);
    for (int k = 0; k < 3; k++) {
      ASSERT_EQ(d.Text(), expected) << id;
      ASSERT_TRUE(DocOk(d));
      ASSERT_EQ(d->undo.count, 1u);
      ASSERT_TRUE(UndoRedo(d, kUndo));
      ASSERT_EQ(d.Text(), text) << id;
      ASSERT_TRUE(DocOk(d));
      ASSERT_TRUE(UndoRedo(d, kRedo));
    }
  }
}

TEST_F(Tools, CancelOrATooLargeResultChangesNothing) {
  std::string text;
  for (int i = 0; i < 5000; i++) text += "x\n";
  for (bool thread : {false, true}) {
    TestDocument d;
    d.Load(text);
    d.Select(0, static_cast<unsigned>(text.size()));
    ToolDescriptor tool;
    DescribeTool(32210, &tool);
    Host host;
    host.cancel = true;
    host.thread = thread;
    EXPECT_EQ(RunTool(d, &tool, host.Make(d), Settings()), kResultCancelled);
    EXPECT_EQ(d.Text(), text);
    EXPECT_EQ(d->undo.count, 0u);
  }
  // Sizes are counted in 64 bits: a result past what a document holds is
  // refused, not wrapped.
  ToolDocument big = {};
  EXPECT_EQ(ToolDocumentReserve(&big, 0x100000000ull + 16), -1);
  EXPECT_EQ(big.text, nullptr);
}

TEST_F(Tools, FunCaseRefusesOnlyAfterThirtyTwoUsesWithOneOfItsTexts) {
  ResetFunCaseCounters();
  for (int i = 0; i < 32; i++) EXPECT_EQ(FunCaseRefusal(), nullptr);
  const std::string texts = "Knock it off!|No way!|Really? No..|Are we there yet?";
  int refusals = 0, lastAt = 32, threshold = 0, previous = 0;
  for (int use = 33; use < 5000; use++) {
    const char *r = FunCaseRefusal();
    if (!r) continue;
    EXPECT_NE(texts.find(r), std::string::npos);
    EXPECT_GT(use, threshold + 32);
    const int next = previous + 1 + threshold;
    previous = threshold;
    threshold = next;
    refusals++;
    lastAt = use;
  }
  EXPECT_GE(refusals, 3);
  EXPECT_GT(lastAt, 32);
  ResetFunCaseCounters();
}

// On a double-byte code page a lead byte and its trail byte stay whole: the
// trail byte is not case-mapped, and removing a last or first character takes
// both.
// The native backend's ANSI code page for a test. The Windows one follows
// the system's locale: the test runs in the Chinese and Japanese sessions.
bool UseAnsiCodePage(const char *page) {
#ifdef _WIN32
  return true;
#else
  if (page) {
    setenv("QP_ANSI_CODEPAGE", page, 1);
  } else {
    unsetenv("QP_ANSI_CODEPAGE");
  }
  InitCharClasses();
  return true;
#endif
}

TEST_F(Tools, DoubleBytePairsStayWhole) {
  if (!UseAnsiCodePage("936") || !IsLeadByte(0x81)) {
    UseAnsiCodePage(nullptr);
    GTEST_SKIP() << "no double-byte code page here";
    return;
  }
  EXPECT_EQ(Run(31010, "\x81" "ab\x81" "a"), "\x81" "aB\x81" "a");
  EXPECT_EQ(Run(31040, "x\x81" "ab c"), "X\x81" "ab C");
  EXPECT_EQ(Run(32330, "a\x81" "a\nb\x82\x81\n\x81"), "a\nb\n");
  EXPECT_EQ(Run(32320, "a\x81" "b\nc\x81" "b\nd\x82" "b"), "a\nc\nd\x82" "b");
  EXPECT_EQ(Run(32260, "\x81" "ab\n\x81\n"), "b\n\n");
  UseAnsiCodePage(nullptr);
}

}  // namespace

// The line walker against a byte-by-byte model: texts of every length up to
// a few windows, at every alignment, with CR, LF, CR LF, LF CR and zero bytes.
TEST(LineWalkerTest, MatchesTheModel) {
  TestRandom rng(64);
  static const char kBytes[] = {'a', 'b', '\r', '\n', '\0', ' '};
  std::string buffer;
  for (int round = 0; round < 3000; round++) {
    const u32 n = round < 2000 ? rng.Below(300) : rng.Below(5000);
    const u32 offset = rng.Below(16);
    const u32 density = 2 + rng.Below(60);  // one byte in `density` a newline byte
    buffer.assign(offset, 'x');
    for (u32 i = 0; i < n; i++)
      buffer.push_back(rng.Below(density) ? kBytes[rng.Below(2) ? 0 : 5] : kBytes[2 + rng.Below(3)]);
    const char *t = buffer.data() + offset;
    std::vector<LineBounds> want;
    for (u32 s = 0;;) {
      u32 e = s;
      while (e < n && t[e] != '\r' && t[e] != '\n') e++;
      if (e == n) {
        want.push_back({s, n, n});
        break;
      }
      const u32 end = e + (t[e] == '\r' && e + 1 < n && t[e + 1] == '\n' ? 2 : 1);
      want.push_back({s, e, end});
      s = end;
    }
    LineWalker walker(t, n);
    LineBounds l;
    size_t k = 0;
    for (; walker.Next(&l); k++) {
      ASSERT_LT(k, want.size()) << "round " << round;
      ASSERT_TRUE(l.start == want[k].start && l.textEnd == want[k].textEnd && l.end == want[k].end)
          << "round " << round << " line " << k;
    }
    ASSERT_EQ(k, want.size()) << "round " << round;
  }
}
