// The matcher: the cases its rules single out (empty matches refused at the
// start, newlines, look-behind reach, \K, back-references with ignore case,
// scan directions, lines and paragraphs by the row index, the two word
// rules, the context and the range), the literal and anchor prefilters on
// texts of real block sizes, cancel and time limits, deep nesting without
// the machine stack, and out of memory at every allocation.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <random>
#include <regex>
#include <string>

#include "foundation/char_class.h"
#include "foundation/fault.h"
#include "foundation/memory.h"
#include "foundation/platform.h"
#include "search/matcher.h"
#include "tests/support/pattern_support.h"

namespace {

constexpr u32 R = kPatternRegExps;
constexpr u32 WHOLE = kPatternWholeContext;

// All matches of a full forward scan (continuing at each match's end, one
// further after an empty one), as "start-end" pairs. The matcher sees the
// whole document, as the search driver has it.
std::string AllMatches(const std::string &pattern, u32 flags, const std::string &text, unsigned maxBlock = 3,
                       const PatternSettings &settings = kTestSettings) {
  Pattern p;
  int r = p.Compile(pattern, flags | WHOLE, settings);
  if (r != 0) return "error " + std::to_string(r);
  TestStore s(text, maxBlock);
  const u32 n = static_cast<u32>(text.size());
  std::string out;
  for (u32 from = 0; from <= n;) {
    MatchGroups g;
    u32 at;
    int f = FindMatch(p.cp, &s.s, from, n, n, false, false, &g, &at);
    if (f != kMatchFound) break;
    if (!out.empty()) out += " ";
    out += std::to_string(g.group[0].start) + "-" + std::to_string(g.group[0].end);
    u32 next = g.group[0].end > g.group[0].start ? g.group[0].end : g.group[0].end + 1;
    from = next > at ? next : at + 1;
  }
  return out;
}

TEST(Matcher, RejectingAnEmptyMatchAtTheStart) {
  Pattern p;
  ASSERT_EQ(p.Compile("a*", R), 0);
  TestStore s("xaay");
  // Find Next after an empty match at 1: the same empty match is refused,
  // and a longer one at the same position is taken instead.
  Found f = EngineFind(p.cp, &s.s, 1, 4, 4, false, true);
  ASSERT_TRUE(f.found);
  EXPECT_EQ(f.at, 1u);
  EXPECT_EQ(f.groups[0], std::make_pair(1L, 3L));
  // At 0 there is nothing longer: the scan moves on to the next position.
  f = EngineFind(p.cp, &s.s, 0, 4, 4, false, true);
  ASSERT_TRUE(f.found);
  EXPECT_EQ(f.groups[0], std::make_pair(1L, 3L));
  // Only the first position refuses: later empty matches are found.
  f = EngineFind(p.cp, &s.s, 3, 4, 4, false, true);
  ASSERT_TRUE(f.found);
  EXPECT_EQ(f.groups[0], std::make_pair(4L, 4L));
  // A lazy pattern backtracks into a longer match rather than moving on.
  ASSERT_EQ(p.Compile("a*?", R), 0);
  f = EngineFind(p.cp, &s.s, 1, 4, 4, false, true);
  EXPECT_EQ(f.groups[0], std::make_pair(1L, 2L));
  // Backwards, the same rule at the first position.
  ASSERT_EQ(p.Compile("a*", R), 0);
  f = EngineFind(p.cp, &s.s, 4, 0, 4, true, true);
  ASSERT_TRUE(f.found);
  EXPECT_EQ(f.at, 3u);
}

TEST(Matcher, AnyNewlineIsOneUnit) {
  EXPECT_EQ(AllMatches("\\n", R, "a\r\nb\nc\rd\r\r\n"), "1-3 4-5 6-7 8-9 9-11");
  EXPECT_EQ(AllMatches("\\n+", R, "a\r\n\n\r\rb"), "1-6");
  // Never starting at the LF of a CR LF pair.
  Pattern p;
  ASSERT_EQ(p.Compile("\\n", R | WHOLE), 0);
  TestStore s("a\r\nb");
  Found f = EngineFind(p.cp, &s.s, 2, 4, 4, false, false);
  EXPECT_FALSE(f.found);
  // Given back one unit at a time: \n+\n needs two units.
  EXPECT_EQ(AllMatches("\\n+\\n", R, "\r\n\r\n"), "0-4");
  EXPECT_EQ(AllMatches("\\n+\\x0d", R, "\r\n\r"), "0-3");
  // Typed newlines with the any-newline flag, at the plain level too.
  EXPECT_EQ(AllMatches("a\nb", kPatternAnyNewline, "a\r\nb a\rb a\nb"), "0-4 5-8 9-12");
  EXPECT_EQ(AllMatches("a\\nb", kPatternEscapes, "a\r\nb"), "0-4");
  // Without the flag a typed LF is just that character.
  EXPECT_EQ(AllMatches("a\nb", 0, "a\r\nb a\nb"), "5-8");
}

TEST(Matcher, LookBehind) {
  EXPECT_EQ(AllMatches("(?<=ab)c", R, "abc xbc abcc"), "2-3 10-11");
  EXPECT_EQ(AllMatches("(?<!ab)c", R, "abc xbc c"), "6-7 8-9");
  // Alternatives of different lengths: each try must end where the
  // look-behind stands.
  EXPECT_EQ(AllMatches("(?<=a|bc)d", R, "ad bcd xd"), "1-2 5-6");
  EXPECT_EQ(AllMatches("(?<=a.*)z", R, "a123z"), "4-5");
  // The reach: the minimum length plus FMaxLBA characters back.
  const std::string near = "x" + std::string(100, 'a') + "c";
  const std::string far = "x" + std::string(200, 'a') + "c";
  EXPECT_EQ(AllMatches("(?<=xa+)c", R, near, 0), "101-102");
  EXPECT_EQ(AllMatches("(?<=xa+)c", R, far, 0), "");
  EXPECT_EQ(AllMatches("(?<=xa+)c", R, far, 0, PatternSettings{0, 1000}), "201-202");
  // (?<=a+)c starts at most 1 + 128 characters back; the nearest start
  // already matches here.
  EXPECT_EQ(AllMatches("(?<=a+)c", R, far, 0), "201-202");
  // The body's minimum is 2: 2 + 128 characters back is the farthest try.
  const std::string edge = "x" + std::string(129, 'a') + "c";
  EXPECT_EQ(AllMatches("(?<=xa+)c", R, edge, 0), "130-131");
  const std::string past = "x" + std::string(130, 'a') + "c";
  EXPECT_EQ(AllMatches("(?<=xa+)c", R, past, 0), "");
  // Captures inside a positive look-behind are kept.
  Pattern p;
  ASSERT_EQ(p.Compile("(?<=(a+))b", R), 0);
  TestStore s("aab");
  Found f = EngineFind(p.cp, &s.s, 0, 3, 3, false, false);
  ASSERT_TRUE(f.found);
  EXPECT_EQ(f.groups[1], std::make_pair(1L, 2L));  // the nearest start wins
}

TEST(Matcher, ResetStart) {
  Pattern p;
  ASSERT_EQ(p.Compile("x\\Ky", R), 0);
  TestStore s("axy");
  Found f = EngineFind(p.cp, &s.s, 0, 3, 3, false, false);
  ASSERT_TRUE(f.found);
  EXPECT_EQ(f.at, 1u);  // where the attempt started
  EXPECT_EQ(f.groups[0], std::make_pair(2L, 3L));
  // \K inside a look-ahead: the match never starts after its end.
  ASSERT_EQ(p.Compile("a(?=b\\K)", R), 0);
  TestStore ab("xab");
  f = EngineFind(p.cp, &ab.s, 0, 3, 3, false, false);
  ASSERT_TRUE(f.found);
  EXPECT_EQ(f.groups[0], std::make_pair(2L, 2L));
  // \K where the search range does not reach fails that path.
  ASSERT_EQ(p.Compile("(?<=\\Ka)b", R | WHOLE), 0);
  TestStore t("ab");
  EXPECT_FALSE(EngineFind(p.cp, &t.s, 1, 2, 2, false, false).found);
  f = EngineFind(p.cp, &t.s, 0, 2, 2, false, false);
  ASSERT_TRUE(f.found);
  EXPECT_EQ(f.groups[0], std::make_pair(0L, 2L));
}

TEST(Matcher, BackReferences) {
  EXPECT_EQ(AllMatches("(ab)\\1", R | kPatternIgnoreCase, "abAB xx aBab"), "0-4 8-12");
  EXPECT_EQ(AllMatches("(ab)\\1", R, "abAB abab"), "5-9");
  // A group that has not matched fails the reference (unless it may repeat 0 times).
  EXPECT_EQ(AllMatches("(a)?\\1b", R, "b ab aab"), "5-8");
  EXPECT_EQ(AllMatches("(a)?\\1?b", R, "b"), "0-1");
  // References across block boundaries (blocks of one byte).
  EXPECT_EQ(AllMatches("(\\w+) \\1", R, "hello hello world world", 1), "0-11 12-23");
  EXPECT_EQ(AllMatches("(\\w+)\\s+\\1\\b", R, "the the cat cats", 2), "0-7");
}

TEST(Matcher, ScanDirections) {
  Pattern p;
  ASSERT_EQ(p.Compile("abc", R), 0);
  TestStore s("abc ab");
  // Forwards: from 4 fewer than three characters are left: not found at once.
  EXPECT_FALSE(EngineFind(p.cp, &s.s, 4, 6, 6, false, false).found);
  // Backwards from 5 the scan goes on towards the start and finds 0.
  Found f = EngineFind(p.cp, &s.s, 5, 0, 6, true, false);
  ASSERT_TRUE(f.found);
  EXPECT_EQ(f.at, 0u);
  // Backwards stops below stopAt.
  EXPECT_FALSE(EngineFind(p.cp, &s.s, 5, 1, 6, true, false).found);
  // The match may not pass the end of the range.
  EXPECT_FALSE(EngineFind(p.cp, &s.s, 0, 6, 2, false, false).found);
  // Clamping: from, stopAt and rangeEnd past the end.
  f = EngineFind(p.cp, &s.s, 0, 1000, 1000, false, false);
  EXPECT_TRUE(f.found);
  f = EngineFind(p.cp, &s.s, 1000, 0, 1000, true, false);
  EXPECT_TRUE(f.found);
  // An empty document.
  TestStore empty("");
  EXPECT_FALSE(EngineFind(p.cp, &empty.s, 0, 0, 0, false, false).found);
  ASSERT_EQ(p.Compile("", R), 0);
  f = EngineFind(p.cp, &empty.s, 0, 0, 0, false, false);
  ASSERT_TRUE(f.found);
  EXPECT_EQ(f.groups[0], std::make_pair(0L, 0L));
  // Groups that did not take part end at -1.
  ASSERT_EQ(p.Compile("(a)|(b)", R), 0);
  TestStore t("b");
  f = EngineFind(p.cp, &t.s, 0, 1, 1, false, false);
  EXPECT_EQ(f.groups[1], std::make_pair(-1L, -1L));
  EXPECT_EQ(f.groups[2], std::make_pair(0L, 1L));
}

TEST(Matcher, LinesAndParagraphs) {
  const std::string text = "one\r\ntwo\n\nthree\r\n  \r\nfour\nfive\n";
  //                        0    3 5   8 9 10   15 17 19  21   25   30
  EXPECT_EQ(AllMatches("^", R, text), "0-0 5-5 9-9 10-10 17-17 21-21 26-26 31-31");
  EXPECT_EQ(AllMatches("$", R, text), "3-3 8-8 9-9 15-15 19-19 25-25 30-30 31-31");
  EXPECT_EQ(AllMatches("^\\w+$", R, text), "0-3 5-8 10-15 21-25 26-30");
  // Paragraphs: a non-blank line after a blank line (or none), before a
  // blank line (or none). "  " is blank.
  EXPECT_EQ(AllMatches("\\p\\w+", R, text), "0-3 10-15 21-25");
  EXPECT_EQ(AllMatches("\\w+\\P", R, text), "5-8 10-15 26-30");
  // Whole lines.
  EXPECT_EQ(AllMatches("t\\w+", R | kPatternWholeLines, text), "5-8 10-15");
  EXPECT_EQ(AllMatches("one", kPatternWholeLines, text), "0-3");
  EXPECT_EQ(AllMatches("on", kPatternWholeLines, text), "");
  // Lone CRs end lines too.
  EXPECT_EQ(AllMatches("^.", R, "a\rb\r\rc"), "0-1 2-3 5-6");
}

TEST(Matcher, LinesByTheRowIndexAgreeWithTheBytes) {
  // ^ and $ read the neighbouring bytes; the row index splits rows at exactly
  // those places. Compare the two on random texts.
  std::mt19937_64 rng(3);
  const char *pieces[] = {"a", "b", "\r", "\n", "\r\n", " "};
  for (int round = 0; round < 200; round++) {
    std::string text;
    for (int k = rng() % 20; k > 0; k--) text += pieces[rng() % 6];
    TestStore s(text, 2);
    Pattern start, end;
    ASSERT_EQ(start.Compile("^", R), 0);
    ASSERT_EQ(end.Compile("$", R), 0);
    const u32 n = static_cast<u32>(text.size());
    for (u32 p = 0; p <= n; p++) {
      u32 row = RowOfPosition(&s.s, p);
      bool rowStart = RowStart(&s.s, row) == p;
      bool rowEnd = RowTextEnd(&s.s, row) == p;
      EXPECT_EQ(EngineFind(start.cp, &s.s, p, p, n, false, false).found, rowStart) << text << " " << p;
      EXPECT_EQ(EngineFind(end.cp, &s.s, p, p, n, false, false).found, rowEnd) << text << " " << p;
    }
  }
}

TEST(Matcher, WordRules) {
  const std::string text = "a_b ab_ xab";
  // The plain levels follow the live word rule...
  WordOptions saved = CurrentWordOptions();
  SetWordOptions(WordOptions{1, 1});
  BuildPatternClassTables();  // start-up: the rule of that moment goes into class 1
  EXPECT_EQ(AllMatches("ab", kPatternWholeWords, text), "");
  EXPECT_EQ(AllMatches("a_b", kPatternWholeWords, text), "0-3");
  SetWordOptions(WordOptions{1, 0});
  EXPECT_EQ(AllMatches("ab", kPatternWholeWords, text), "4-6");
  EXPECT_EQ(AllMatches("a_b", kPatternWholeWords, text), "0-3");
  // ...while RegExps keeps class 1 as it was built at start-up.
  EXPECT_EQ(AllMatches("\\bab\\b", R, text), "");
  EXPECT_EQ(AllMatches("ab", R | kPatternWholeWords, text), "");
  SetWordOptions(saved);
  // A pattern that starts or ends with a non-word character never matches
  // as a whole word.
  EXPECT_EQ(AllMatches(" ab", kPatternWholeWords, "x ab y"), "");
  EXPECT_EQ(AllMatches("ab.", kPatternWholeWords, "ab. y"), "");
  EXPECT_EQ(AllMatches("\\y\\w+\\Y", R, "ab cd"), "0-2 3-5");
  EXPECT_EQ(AllMatches("\\B.", R, "ab  c"), "1-2 3-4");
}

TEST(Matcher, ContextAndRange) {
  Pattern p;
  TestStore s("xab abc");
  // The characters before `from` stay visible, with or without the
  // whole-document flag: a scan that goes on after a match judges \b there
  // as a scan from the start would.
  for (u32 whole : {0u, WHOLE}) {
    ASSERT_EQ(p.Compile("\\bab", R | whole), 0);
    Found f = EngineFind(p.cp, &s.s, 1, 7, 7, false, false);
    ASSERT_TRUE(f.found);
    EXPECT_EQ(f.at, 4u);
    ASSERT_EQ(p.Compile("\\Aab", R | whole), 0);
    EXPECT_FALSE(EngineFind(p.cp, &s.s, 1, 7, 7, false, false).found);
    ASSERT_EQ(p.Compile("(?<=x)ab", R | whole), 0);
    EXPECT_TRUE(EngineFind(p.cp, &s.s, 1, 7, 7, false, false).found);
  }
  // The end of the context is the range end, or with the flag the document's.
  Found f;
  ASSERT_EQ(p.Compile("ab\\Z", R), 0);
  EXPECT_EQ(EngineFind(p.cp, &s.s, 0, 6, 6, false, false).at, 4u);
  ASSERT_EQ(p.Compile("ab\\Z", R | WHOLE), 0);
  EXPECT_FALSE(EngineFind(p.cp, &s.s, 0, 6, 6, false, false).found);
  // Look-around sees the context, the match stays in the range.
  ASSERT_EQ(p.Compile("ab(?=c)", R | WHOLE), 0);
  f = EngineFind(p.cp, &s.s, 0, 6, 6, false, false);
  EXPECT_EQ(f.at, 4u);
  ASSERT_EQ(p.Compile("ab(?=c)", R), 0);
  EXPECT_FALSE(EngineFind(p.cp, &s.s, 0, 6, 6, false, false).found);
  // ^ and $ belong to the document's lines, not to the range.
  TestStore lines("ab\ncd");
  ASSERT_EQ(p.Compile("^c", R), 0);
  EXPECT_TRUE(EngineFind(p.cp, &lines.s, 3, 5, 5, false, false).found);
  ASSERT_EQ(p.Compile("^d", R), 0);
  EXPECT_FALSE(EngineFind(p.cp, &lines.s, 4, 5, 5, false, false).found);
  // \G: where the search started.
  ASSERT_EQ(p.Compile("\\Gab", R), 0);
  p.cp->scan.searchStart = 4;
  EXPECT_EQ(EngineFind(p.cp, &s.s, 0, 7, 7, false, false).at, 4u);
  p.cp->scan.searchStart = kNoPosition;
  EXPECT_FALSE(EngineFind(p.cp, &s.s, 0, 7, 7, false, false).found);
}

// Literal, first-byte and anchor prefilters on texts with the store's own
// block layout (4096 bytes), against std::string searches.
TEST(Matcher, PrefiltersOnRealBlocks) {
  std::mt19937_64 rng(11);
  std::string text;
  while (text.size() < 300000) {
    u32 k = rng() % 100;
    if (k < 2) {
      text += "Needle";
    } else if (k < 4) {
      text += "nEEDLe";
    } else if (k < 6) {
      text += "\n";
    } else if (k < 7) {
      text += "\n\n";
    } else {
      text += static_cast<char>('a' + rng() % 26);
      if (rng() % 6 == 0) text += ' ';
    }
  }
  // Needles across the first block boundaries.
  for (u32 at : {4093u, 8190u, 12286u}) text.replace(at, 6, "Needle");
  TestStore s(text);
  ASSERT_GT(s.s.blocks.count, 50u);
  auto count = [&](const std::string &pattern, u32 flags) -> u32 {
    const std::string all = AllMatches(pattern, flags, text, 0);
    return all.empty() ? 0 : 1 + static_cast<u32>(std::count(all.begin(), all.end(), ' '));
  };
  auto occurrences = [&](const std::string &needle, bool icase) {
    u32 c = 0;
    std::string hay = text;
    if (icase) {
      for (char &ch : hay) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    }
    for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + needle.size())) c++;
    return c;
  };
  EXPECT_EQ(count("Needle", 0), occurrences("Needle", false));
  EXPECT_EQ(count("needle", kPatternIgnoreCase), occurrences("needle", true));
  EXPECT_EQ(count("Needle", R), occurrences("Needle", false));
  u32 lines = 1;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(count("^", R), lines);
  EXPECT_EQ(count("^$", R), [&] {
    u32 c = 0;
    for (size_t i = 0; i <= text.size(); i++) {
      c += (i == 0 || text[i - 1] == '\n') && (i == text.size() || text[i] == '\n');
    }
    return c;
  }());
  EXPECT_EQ(count("(?<=e)N", R), occurrences("eN", false));
  // a.*b: per line, from each a to the line's last b after it.
  EXPECT_EQ(count("a.*b", R), [&] {
    u32 c = 0;
    size_t i = 0;
    while (i < text.size()) {
      size_t eol = text.find('\n', i);
      if (eol == std::string::npos) eol = text.size();
      size_t a = text.find('a', i);
      if (a == std::string::npos || a >= eol) {
        i = eol + 1;
        continue;
      }
      size_t b = text.rfind('b', eol - 1);
      if (b == std::string::npos || b <= a) {
        i = eol + 1;
        continue;
      }
      c++;
      i = b + 1;
    }
    return c;
  }());
  // A look-behind of one literal.
  EXPECT_EQ(count("(?<=le)\\w", R), occurrences("le", false) - [&] {
    u32 c = 0;  // "le" at the end of a word
    for (size_t at = text.find("le"); at != std::string::npos; at = text.find("le", at + 1)) {
      if (at + 2 >= text.size() || !isalnum(static_cast<unsigned char>(text[at + 2]))) c++;
    }
    return c;
  }());
  // A run up to a literal, inside groups that stand once: every match where
  // std::regex finds it (the scan looks for the literal, then back over the run).
  for (const char *pattern : {"(\\w+)dle\\b", "((?:[a-z]+))ee", "([a-z]+)N"}) {
    std::string expected;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it) {
      expected += (expected.empty() ? "" : " ") + std::to_string(it->position()) + "-" +
                  std::to_string(it->position() + it->length());
    }
    EXPECT_EQ(AllMatches(pattern, R, text, 0), expected) << pattern;
  }
  // Anchored, a one-character literal stands in either case; a run and a
  // literal set the groups closed before the literal and after it.
  EXPECT_EQ(AllMatches("n", kPatternIgnoreCase | kPatternWholeLines, "N\nx\nn\n", 0), "0-1 4-5");
  {
    Pattern p;
    ASSERT_EQ(p.Compile("((\\w+)ing)\\b", R | WHOLE, kTestSettings), 0);
    TestStore one("xx thinking", 0);
    MatchGroups g;
    ASSERT_EQ(FindMatch(p.cp, &one.s, 0, 11, 11, false, false, &g, nullptr), kMatchFound);
    EXPECT_EQ(std::to_string(g.group[0].start) + " " + std::to_string(g.group[1].end) + " " +
                  std::to_string(g.group[2].start) + " " + std::to_string(g.group[2].end),
              "3 11 3 8");
  }
  EXPECT_EQ(count("\\bN", R), [&] {
    u32 c = 0;
    for (size_t i = 0; i < text.size(); i++) {
      if (text[i] == 'N' && (i == 0 || !isalnum(static_cast<unsigned char>(text[i - 1])))) c++;
    }
    return c;
  }());
}
// Many matches of a literal at once (replace all and highlight all): the
// matches of a scan that goes on at each match's end, whatever the batch
// size and however the text is cut into blocks.
TEST(Matcher, LiteralOccurrencesAreTheScanOneAfterAnother) {
  static const struct {
    const char *pattern;
    u32 flags;
  } kCases[] = {{"ab", 0},
                {"aba", 0},
                {"a", 0},
                {"AbA", kPatternIgnoreCase},
                {"ab", kPatternWholeWords},
                {"Ab", kPatternWholeWords | kPatternIgnoreCase}};
  std::mt19937_64 rng(29);
  for (const auto &c : kCases) {
    for (int round = 0; round < 60; round++) {
      std::string text;
      const unsigned n = rng() % 300;
      for (unsigned i = 0; i < n; i++) text += "ab A\nBa"[rng() % 7];
      const unsigned maxBlock = 1 + static_cast<unsigned>(rng() % 7);
      SCOPED_TRACE(std::string(c.pattern) + " in " + text + " blocks of at most " + std::to_string(maxBlock));
      Pattern p;
      ASSERT_EQ(p.Compile(c.pattern, c.flags | WHOLE, kTestSettings), 0);
      ASSERT_TRUE(p.cp->prefilter.literalOnly);
      TestStore s(text, maxBlock, rng());
      std::string got;
      MatchSpan spans[5];
      for (u32 from = 0;;) {
        const u32 most = 1 + static_cast<u32>(rng() % 5);
        const int found = FindLiteralOccurrences(p.cp, &s.s, from, n, spans, most);
        ASSERT_GE(found, 0);
        for (int k = 0; k < found; k++) {
          if (!got.empty()) got += " ";
          got += std::to_string(spans[k].start) + "-" + std::to_string(spans[k].end);
        }
        if (static_cast<u32>(found) < most) break;
        from = spans[found - 1].end;
      }
      ASSERT_EQ(got, AllMatches(c.pattern, c.flags, text, maxBlock));
    }
  }
}


TEST(Matcher, CancelAndTimeLimit) {
  Pattern p;
  ASSERT_EQ(p.Compile("(a|aa)*c", R), 0);
  const std::string text = std::string(60, 'a') + "\nc";  // exponential before the c
  TestStore s(text);
  volatile i32 cancel = 1;
  p.cp->scan.cancel = &cancel;
  int r;
  Found f = EngineFind(p.cp, &s.s, 0, 62, 62, false, false, &r);
  EXPECT_EQ(r, kMatchNone);
  EXPECT_EQ(cancel, 1);
  // A time limit ends the scan as "not found" and sets the flag.
  cancel = 0;
  StartSearchClock(p.cp, 50);
  u32 t0 = PlatTickCount();
  f = EngineFind(p.cp, &s.s, 0, 62, 62, false, false, &r);
  u32 spent = PlatTickCount() - t0;
  EXPECT_EQ(r, kMatchNone);
  EXPECT_EQ(cancel, 1);
  EXPECT_LT(spent, 5000u);
  // CheckSearchTime alone: nothing without a limit, or before it has passed.
  cancel = 0;
  StartSearchClock(p.cp, 0);
  CheckSearchTime(p.cp);
  EXPECT_EQ(cancel, 0);
  StartSearchClock(p.cp, 100000);
  CheckSearchTime(p.cp);
  EXPECT_EQ(cancel, 0);
  // Without a caller's flag the pattern's own is set.
  p.cp->scan.cancel = nullptr;
  StartSearchClock(p.cp, 1);
  p.cp->scan.startTick -= 10;
  CheckSearchTime(p.cp);
  EXPECT_EQ(*CancelFlag(p.cp), 1);
}

TEST(Matcher, LongRunsAndDeepNestingUseTheHeap) {
  // A million iterations of a group: frames on the heap, none on the
  // machine stack.
  const std::string text = std::string(1000000, 'a') + "c";
  TestStore s(text);
  Pattern p;
  ASSERT_EQ(p.Compile("(a|b)*c", R), 0);
  Found f = EngineFind(p.cp, &s.s, 0, 1000001, 1000001, false, false);
  ASSERT_TRUE(f.found);
  EXPECT_EQ(f.groups[0], std::make_pair(0L, 1000001L));
  EXPECT_EQ(f.groups[1], std::make_pair(999999L, 1000000L));
  // Look-arounds nested ten thousand deep.
  std::string nested;
  for (int k = 0; k < 10000; k++) nested += "(?=";
  nested += "a";
  for (int k = 0; k < 10000; k++) nested += ")";
  ASSERT_EQ(p.Compile(nested + "a", R), 0);
  f = EngineFind(p.cp, &s.s, 0, 10, 10, false, false);
  EXPECT_TRUE(f.found);
  // A bounded repetition of empty iterations below its minimum.
  ASSERT_EQ(p.Compile("(?:b?){100000}c", R), 0);
  TestStore c("xc");
  f = EngineFind(p.cp, &c.s, 0, 2, 2, false, false);
  EXPECT_EQ(f.at, 1u);
}

TEST(Matcher, MatchAtDirectly) {
  Pattern p;
  ASSERT_EQ(p.Compile("b(c)", R), 0);
  TestStore s("abcd");
  std::vector<GroupRecord> groups(p.cp->groupCount);
  MatchStack stack;
  ASSERT_EQ(InitMatchStack(&stack), 0);
  ResetGroupRecords(groups.data(), p.cp->groupCount);
  EXPECT_EQ(MatchAt(p.cp, &s.s, 1, 3, 0, 4, groups.data(), &stack, 0), kMatchAtMatched);
  EXPECT_EQ(groups[0].start, 1u);
  EXPECT_EQ(groups[0].end, 3u);
  EXPECT_EQ(groups[1].start, 2u);
  ResetGroupRecords(groups.data(), p.cp->groupCount);
  EXPECT_EQ(MatchAt(p.cp, &s.s, 1, 1, 0, 4, groups.data(), &stack, 0), kMatchAtFailed);  // too little left
  EXPECT_EQ(MatchAt(p.cp, &s.s, 0, 4, 0, 4, groups.data(), &stack, 0), kMatchAtFailed);
  EXPECT_EQ(stack.count, 0u);
  // A stack that cannot grow: out of memory.
  ASSERT_EQ(p.Compile("(?:a|b)*x", R), 0);
  TestStore many(std::string(5000, 'a'));
  std::vector<GroupRecord> g2(p.cp->groupCount);
  ResetGroupRecords(g2.data(), p.cp->groupCount);
  FaultInjector fi = {};
  FaultPlan(&fi, kFaultAlloc, 1, true);
  int r;
  {
    ScopedFaultInjector scope(&fi);
    r = MatchAt(p.cp, &many.s, 0, 5000, 0, 5000, g2.data(), &stack, 0);
  }
  EXPECT_EQ(r, kMatchAtNoMemory);
  FreeMatchStack(&stack);
}

TEST(Matcher, OutOfMemoryAtEveryAllocation) {
  struct Case {
    const char *pattern;
    const char *text;
  };
  const Case cases[] = {
      {"(a|b)*c", "ababababababababababababababababababababababababababababababababababababababababababc"},
      {"(?<=(x+))y(?=z)", "xxxyz"},
      {"(\\w+) \\1", "alpha beta beta"},
  };
  for (const Case &c : cases) {
    Pattern ref;
    ASSERT_EQ(ref.Compile(c.pattern, R), 0);
    TestStore s(c.text, 3);
    const u32 n = static_cast<u32>(strlen(c.text));
    const Found want = EngineFind(ref.cp, &s.s, 0, n, n, false, false);
    ASSERT_TRUE(want.found) << c.pattern;
    for (bool persistent : {false, true}) {
      for (u32 k = 1;; k++) {
        Pattern p;
        ASSERT_EQ(p.Compile(c.pattern, R), 0);
        FaultInjector fi = {};
        FaultPlan(&fi, kFaultAlloc, k, persistent);
        int r;
        Found got;
        {
          ScopedFaultInjector scope(&fi);
          got = EngineFind(p.cp, &s.s, 0, n, n, false, false, &r);
        }
        if (!fi.fired[kFaultAlloc]) {
          EXPECT_EQ(r, kMatchFound);
          EXPECT_EQ(got, want);
          break;
        }
        if (r == -1) continue;  // reported as out of memory
        EXPECT_EQ(r, kMatchFound) << c.pattern << " allocation " << k;
        EXPECT_EQ(got, want) << c.pattern << " allocation " << k;
        if (k > 1000) break;
      }
    }
  }
}

}  // namespace
