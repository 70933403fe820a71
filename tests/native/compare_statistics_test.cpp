// Statistics and Compare against models that first cut the text into
// characters (and lines) and then count each figure on its own, over random
// texts with every newline kind, NUL, spaces, sentence ends and, under code
// page 936, double-byte pairs; the rules' examples; Statistics through the
// runner (read-only, on an empty selection too, then the whole document) with
// failing allocations and cancel.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <random>
#include <string>
#include <vector>

#include "foundation/char_class.h"
#include "tests/support/tool_support.h"
#include "tools/compare_statistics.h"

namespace {

// The text's characters (a pair is one; a CR LF is two).
std::vector<std::string> Chars(const std::string &t) {
  std::vector<std::string> out;
  for (size_t i = 0; i < t.size(); i++) {
    if (IsLeadByte(static_cast<u8>(t[i])) && i + 1 < t.size() && t[i + 1] != '\r' && t[i + 1] != '\n') {
      out.push_back(t.substr(i++, 2));
    } else {
      out.push_back(t.substr(i, 1));
    }
  }
  return out;
}
bool Pair(const std::string &c) { return c.size() == 2; }
u16 Type(const std::string &c) { return Pair(c) ? 0 : CharType(static_cast<u8>(c[0])); }
bool Space(const std::string &c) { return !Pair(c) && (c == "\r" || c == "\n" || (Type(c) & kC1Space)); }
bool Word(const std::string &c) { return Pair(c) || IsWordChar(static_cast<u8>(c[0])); }

TextStatistics Model(const std::string &t) {
  TextStatistics s = {};
  u32 *n = s.count;
  const std::vector<std::string> chars = Chars(t);
  std::vector<std::vector<std::string>> lines(1);  // the characters of each line, without newlines
  u32 newlines = 0;
  for (size_t i = 0; i < chars.size(); i++) {
    const std::string &c = chars[i];
    n[kStatCharacters]++;
    n[kStatWithoutSpaces] += !Space(c);
    n[kStatLettersDigits] += Pair(c) || (Type(c) & (kC1Alpha | kC1Digit)) != 0;
    n[kStatWords] += Word(c) && (i == 0 || !Word(chars[i - 1]));
    const bool newline = c == "\n" || (c == "\r" && (i + 1 == chars.size() || chars[i + 1] != "\n"));
    if (newline) {
      newlines++;
      lines.push_back({});
    } else if (c != "\r") {
      lines.back().push_back(c);
    }
  }
  n[kStatLines] = newlines + (!t.empty() && t.back() != '\r' && t.back() != '\n');
  u64 sum = 0;
  for (const auto &line : lines) {
    size_t len = 0;
    for (size_t k = 0; k < line.size(); k++)
      if (!Space(line[k])) len = k + 1;
    if (!len) continue;
    n[kStatNonEmptyLines]++;
    sum += len;
    if (n[kStatNonEmptyLines] == 1 || len < n[kStatShortestLine]) n[kStatShortestLine] = static_cast<u32>(len);
    if (len > n[kStatLongestLine]) n[kStatLongestLine] = static_cast<u32>(len);
  }
  n[kStatAverageLine] = n[kStatNonEmptyLines] ? static_cast<u32>(sum / n[kStatNonEmptyLines]) : 0;
  // Paragraphs: newlines between non-space characters (a CR LF is one).
  int gap = -1;  // -1: no non-space character yet
  for (size_t i = 0; i < chars.size(); i++) {
    if (chars[i] == "\n" || (chars[i] == "\r" && (i + 1 == chars.size() || chars[i + 1] != "\n"))) {
      if (gap >= 0) gap++;
    } else if (!Space(chars[i])) {
      if (gap < 0 || gap >= 2) n[kStatParagraphs]++;
      gap = 0;
    }
  }
  // Sentences: the first word after each end decides the next end.
  int first = 0;  // 0 no word yet, 1 upper-case, 2 other
  for (size_t i = 0; i < chars.size(); i++) {
    const std::string &c = chars[i];
    if (Word(c) && (i == 0 || !Word(chars[i - 1])) && first == 0) first = (Type(c) & kC1Upper) ? 1 : 2;
    if (!Pair(c) && IsSentenceEnd(static_cast<u8>(c[0]))) {
      n[kStatSentences] += first == 1;
      first = 0;
    }
  }
  return s;
}

// Where two texts differ: both cut into the characters that count (with
// their offsets), lowered when asked, and compared as lists.
bool CompareModel(const std::string &a, const std::string &b, const CompareOptions &o, u32 *at1, u32 *at2) {
  struct Kept {
    std::vector<std::string> chars;
    std::vector<u32> offsets;
    u32 length;
  };
  auto keep = [&](const std::string &t) {
    Kept k;
    k.length = static_cast<u32>(t.size());
    u32 off = 0;
    for (std::string c : Chars(t)) {
      const bool newline = c == "\r" || c == "\n";
      const bool skip = (newline && o.ignoreNewlines) || (!newline && o.ignoreSpaces && Space(c));
      if (!skip) {
        if (o.ignoreCase && !Pair(c)) c[0] = static_cast<char>(ToLower(static_cast<u8>(c[0])));
        k.chars.push_back(c);
        k.offsets.push_back(off);
      }
      off += static_cast<u32>(c.size());
    }
    return k;
  };
  const Kept x = keep(a), y = keep(b);
  size_t k = 0;
  while (k < x.chars.size() && k < y.chars.size() && x.chars[k] == y.chars[k]) k++;
  if (k == x.chars.size() && k == y.chars.size()) return true;
  *at1 = k < x.chars.size() ? x.offsets[k] : x.length;
  *at2 = k < y.chars.size() ? y.offsets[k] : y.length;
  return false;
}

const char *const kPieces[] = {"a", "b", "Q", "Zed", "1", "_", " ", "\t", "\r", "\n", "\r\n", ".", "!", "?",
                               ",", "", "\xE9", "\xC9", "\x81\x41", "\x81", "\xA1\r"};

// Calm texts have long runs without newlines, pairs or sentence ends, which
// the counting takes eight bytes at a time.
std::string RandomText(std::mt19937 *r, int pieces, bool pairs, bool calm = false) {
  static const int kCalm[] = {0, 1, 2, 3, 4, 5, 6, 7, 14, 15, 16, 17};
  std::string t;
  const int kinds = static_cast<int>(sizeof kPieces / sizeof *kPieces) - (pairs ? 0 : 3);
  for (int i = 0; i < pieces; i++) {
    int k = static_cast<int>((*r)() % static_cast<u32>(kinds));
    if (calm && (*r)() % 8) k = kCalm[(*r)() % 12];
    if (k == 15) {
      t.push_back('\0');
    } else {
      t += kPieces[k];
    }
  }
  return t;
}

class CompareStatistics : public testing::Test {
 protected:
  void TearDown() override {
#ifndef _WIN32
    unsetenv("QP_ANSI_CODEPAGE");
    InitCharClasses();
#endif
  }
  // Statistics and Compare against the models on texts of both code pages.
  static void AgainstModels(bool pairs) {
    std::mt19937 r(pairs ? 936 : 1252);
    for (int round = 0; round < 1500; round++) {
      const std::string t = round % 2 ? RandomText(&r, static_cast<int>(r() % 40), pairs)
                                      : RandomText(&r, static_cast<int>(r() % 160), pairs, true);
      TextStatistics got;
      {
        // Every third text is counted in two halves cut after a newline.
        ScopedToolStreaming halves(g_toolInputChunk, round % 3 ? g_toolHalves : 1 + r() % 8);
        CountTextStatistics(t.data(), static_cast<u32>(t.size()), &got);
      }
      const TextStatistics want = Model(t);
      for (int k = 0; k < kStatCount; k++) ASSERT_EQ(got.count[k], want.count[k]) << "count " << k << " of " << testing::PrintToString(t);
      // The second text: the first changed a little, or another one.
      std::string u = r() % 4 ? t : RandomText(&r, static_cast<int>(r() % 40), pairs);
      for (u32 edits = r() % 3; edits > 0 && !u.empty(); edits--) {
        const size_t at = r() % u.size();
        u.insert(at, kPieces[r() % 14]);
      }
      for (int flags = 0; flags < 8; flags++) {
        const CompareOptions o = {flags & 1, (flags >> 1) & 1, (flags >> 2) & 1};
        u32 a1 = 99, a2 = 99, m1 = 99, m2 = 99;
        const bool same = CompareTexts(t.data(), static_cast<u32>(t.size()), u.data(), static_cast<u32>(u.size()), o, &a1, &a2);
        ASSERT_EQ(same, CompareModel(t, u, o, &m1, &m2)) << flags << testing::PrintToString(t) << testing::PrintToString(u);
        if (!same) {
          ASSERT_EQ(std::make_pair(a1, a2), std::make_pair(m1, m2)) << flags << testing::PrintToString(t) << testing::PrintToString(u);
        }
      }
    }
  }
};

TEST_F(CompareStatistics, AgainstModelsOnSingleByteTexts) { AgainstModels(false); }

TEST_F(CompareStatistics, AgainstModelsOnDoubleByteTexts) {
#ifndef _WIN32
  setenv("QP_ANSI_CODEPAGE", "936", 1);
  InitCharClasses();
#endif
  if (!IsLeadByte(0x81)) GTEST_SKIP() << "no double-byte code page here";
  AgainstModels(true);
  // A pair is one character, a letter and a word; ignoring case leaves it.
  TextStatistics s;
  CountTextStatistics("\x81\x41 a\x81\x61", 6, &s);
  EXPECT_EQ(s.count[kStatCharacters], 4u);
  EXPECT_EQ(s.count[kStatWords], 2u);
  EXPECT_EQ(s.count[kStatLongestLine], 4u);
  u32 a1, a2;
  EXPECT_FALSE(CompareTexts("\x81\x41", 2, "\x81\x61", 2, {1, 0, 0}, &a1, &a2));
}

// The rules' examples and the ends of texts.
TEST_F(CompareStatistics, Examples) {
  struct StatCase {
    const char *text;
    u32 words, lines, nonEmpty, paragraphs, sentences, characters;
  } stats[] = {
      {"Hello world. bye.", 3, 1, 1, 1, 1, 17},
      {"a\n\nb", 2, 3, 2, 2, 0, 4},
      {"", 0, 0, 0, 0, 0, 0},
      {"One.\r\n\r\nTwo! Three?", 3, 3, 2, 2, 3, 19},
      {"x\r\n", 1, 1, 1, 1, 0, 3},
      {" \t\r\r", 0, 2, 0, 0, 0, 4},
  };
  for (const StatCase &c : stats) {
    TextStatistics s;
    CountTextStatistics(c.text, static_cast<u32>(strlen(c.text)), &s);
    EXPECT_EQ(s.count[kStatWords], c.words) << c.text;
    EXPECT_EQ(s.count[kStatLines], c.lines) << c.text;
    EXPECT_EQ(s.count[kStatNonEmptyLines], c.nonEmpty) << c.text;
    EXPECT_EQ(s.count[kStatParagraphs], c.paragraphs) << c.text;
    EXPECT_EQ(s.count[kStatSentences], c.sentences) << c.text;
    EXPECT_EQ(s.count[kStatCharacters], c.characters) << c.text;
  }
  TextStatistics s;
  const char kLines[] = "  ab  \nabcdef\n\n x";
  CountTextStatistics(kLines, sizeof kLines - 1, &s);
  EXPECT_EQ(s.count[kStatShortestLine], 2u);
  EXPECT_EQ(s.count[kStatLongestLine], 6u);
  EXPECT_EQ(s.count[kStatAverageLine], 4u) << "(4 + 6 + 2) / 3";
  EXPECT_EQ(s.count[kStatWithoutSpaces], 9u);

  struct CompareCase {
    const char *a, *b;
    CompareOptions o;
    bool same;
    u32 at1, at2;
  } compares[] = {
      {"abc", "a b c", {0, 1, 0}, true, 0, 0},
      {"abc", "a b c", {0, 0, 1}, false, 1, 1},
      {"ab\r\ncd", "abcd", {0, 0, 1}, true, 0, 0},
      {"ab\r\ncd", "abcd", {0, 1, 0}, false, 2, 2},
      {"abc", "abd", {0, 0, 0}, false, 2, 2},
      {"ABC", "abc", {1, 0, 0}, true, 0, 0},
      {"ab", "ab \r\n", {0, 1, 1}, true, 0, 0},  // ignored characters at one end
      {"ab", "ab!", {0, 1, 1}, false, 2, 2},
      {"", "", {0, 0, 0}, true, 0, 0},
  };
  for (const CompareCase &c : compares) {
    u32 at1 = 99, at2 = 99;
    EXPECT_EQ(CompareTexts(c.a, static_cast<u32>(strlen(c.a)), c.b, static_cast<u32>(strlen(c.b)), c.o, &at1, &at2),
              c.same)
        << c.a << " / " << c.b;
    if (!c.same) {
      EXPECT_EQ(std::make_pair(at1, at2), std::make_pair(c.at1, c.at2)) << c.a << " / " << c.b;
    }
  }
}

// Statistics through the runner, as the dialog runs it: the selection (an
// empty one gives zeros, no automatic selection), then the whole document;
// nothing changes, failing allocations report and change nothing, a cancel
// leaves the record alone.
TEST_F(CompareStatistics, RunsReadOnlyThroughTheRunner) {
  std::string text;
  for (int i = 0; i < 3000; i++) text += i % 7 ? "Some words here. and\r\n" : "\n";
  for (int persistent = 0; persistent < 2; persistent++) {
    for (u32 n = 1;; n++) {
      TestDocument d;
      d.Load(text);
      ToolTestHost host;
      TextStatistics selection = {}, whole = {};
      ToolDescriptor tool;
      ASSERT_TRUE(DescribeTool(34410, &tool));
      EXPECT_TRUE(tool.flags & kToolReadOnly);
      FaultInjector fi;
      FaultReset(&fi);
      FaultPlan(&fi, kFaultAlloc, n, persistent != 0);
      int r1, r2;
      d.Select(5, 5);
      {
        ScopedFaultInjector scope(&fi);
        tool.param = reinterpret_cast<ToolParam>(&selection);
        r1 = RunTool(d, &tool, host.Make(d), ToolRunSettings{2, 0, 0, 0});
        tool.param = reinterpret_cast<ToolParam>(&whole);
        tool.flags |= kToolWholeDocument;
        r2 = RunTool(d, &tool, host.Make(d), ToolRunSettings{2, 0, 0, 0});
      }
      SCOPED_TRACE(testing::Message() << "allocation " << n << " persistent " << persistent);
      EXPECT_EQ(d.Text(), text);
      EXPECT_EQ(d->undo.count, 0u);
      EXPECT_EQ(d->anchor.position, 5u);
      EXPECT_EQ(d->caret.position, 5u) << "no automatic selection";
      EXPECT_TRUE(r1 == 0 || r1 == kResultOutOfMemory) << r1;
      EXPECT_TRUE(r2 == 0 || r2 == kResultOutOfMemory) << r2;
      EXPECT_EQ(selection.count[kStatCharacters], 0u);
      if (r2 == 0) {
        const TextStatistics want = Model(text);
        for (int k = 0; k < kStatCount; k++) EXPECT_EQ(whole.count[k], want.count[k]) << k;
      }
      if (fi.fired[kFaultAlloc] == 0 || HasFailure()) break;
    }
  }
  // A selection ending after a newline is counted as it is (no pull-back).
  TestDocument d;
  d.Load("ab\r\ncd");
  ToolTestHost host;
  TextStatistics s = {};
  ToolDescriptor tool;
  ASSERT_TRUE(DescribeTool(34410, &tool));
  tool.param = reinterpret_cast<ToolParam>(&s);
  d.Select(0, 4);
  EXPECT_EQ(RunTool(d, &tool, host.Make(d), ToolRunSettings{2, 0, 0, 0}), 0);
  EXPECT_EQ(s.count[kStatCharacters], 4u);
  EXPECT_EQ(s.count[kStatLines], 1u);
  EXPECT_EQ(d->caret.position, 4u);
  host.cancel = true;
  EXPECT_EQ(RunTool(d, &tool, host.Make(d), ToolRunSettings{2, 0, 0, 0}), kResultCancelled);
  EXPECT_EQ(d.Text(), "ab\r\ncd");
}

}  // namespace
