// The pattern compiler: what each pattern compiles to (as the compact dump),
// the lengths it records, its errors and warnings, class membership, group
// numbering, and out-of-memory at every allocation.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "foundation/char_class.h"
#include "foundation/fault.h"
#include "foundation/texts.h"
#include "search/pattern.h"
#include "tests/support/pattern_support.h"

namespace {

constexpr u32 R = kPatternRegExps;
constexpr u32 I = kPatternIgnoreCase;
constexpr u32 E = kPatternEscapes;
constexpr u32 N = kPatternAnyNewline;
constexpr u32 W = kPatternWholeWords;
constexpr u32 L = kPatternWholeLines;
constexpr u32 U = kLengthUnbounded;

struct DumpCase {
  const char *pattern;
  u32 flags;
  const char *dump;
};

const DumpCase kDumps[] = {
    // Literals, merging into strings, the three levels.
    {"", R, "(0)"},
    {"", 0, "(0)"},
    {"a", R, "(0 'a')"},
    {"abc", R, "(0 \"abc\")"},
    {"a.b*", 0, "(0 \"a.b*\")"},
    {"a.b*", R, "(0 'a' . 'b'*)"},
    {"aB", R | I, "(0 \"ab\")"},
    {"a", R | I, "(0 'a/A')"},
    {"1", R | I, "(0 '1')"},
    {"a\\tb\\n", E, "(0 \"a\\x09b\" \\n)"},
    {"\\0\\\\", E, "(0 \"\\x00\\x5c\")"},
    {"a\\qb\\", E, "(0 \"a\\x5cqb\\x5c\")"},  // other escapes: the backslash stands for itself
    {"a\\tb", 0, "(0 \"a\\x5ctb\")"},
    {"a\\rb", E, "(0 \"a\\x5crb\")"},           // no \r in plain Escapes
    {"a\r\nb\nc\rd", N, "(0 'a' \\n 'b' \\n 'c' \\n 'd')"},
    {"a\r\nb", 0, "(0 \"a\\x0d\\x0ab\")"},
    {"a\r\nb\n", R | N, "(0 'a' \\n 'b' \\n)"},
    {"a\r\nb", R, "(0 \"a\\x0d\\x0ab\")"},
    // Frames of whole words and whole lines.
    {"ab", W, "\\y (0 \"ab\") \\Y"},
    {"ab", L, "^ (0 \"ab\") $"},
    {"ab", R | W | L, "^ \\y (0 \"ab\") \\Y $"},
    // Escapes of the RegExps level.
    {"\\$\\(\\)\\*\\+\\.\\:\\<\\>\\?\\[\\\\\\]\\^\\{\\|\\}", R, "(0 \"$()*+.:<>?[\\x5c]^{|}\")"},
    {"\\0\\a\\e\\f\\t\\v", R, "(0 \"\\x00\\x07\\x1b\\x0c\\x09\\x0b\")"},
    {"\\x41\\x7e\\x4g", R, "(0 \"A~x4g\")"},
    {"\\cA\\cz\\c1", R, "(0 \"\\x01\\x1ac1\")"},
    {"\\r", R, "(0 'r')"},
    {"ab\\", R, "(0 \"ab\\x00\")"},
    {"\\w\\W\\s\\S\\d\\D", R, "(0 [1] [2] [3] [4] [5] [6])"},
    {"\\b\\B\\y\\Y\\p\\P\\A\\Z\\G^$", R, "(0 \\b \\B \\y \\Y \\p \\P \\A \\Z \\G ^ $)"},
    {"x\\Ky", R, "(0 'x' \\K 'y')"},
    {"\\Qa.b\\E+c", R, "(0 \"a.b\"+ 'c')"},
    {"a\\Q\\E*b", R, "(0 \"ab\")"},
    {"\\Q(\\E", R, "(0 \"(\")"},  // one string node, even of one character
    {"(a)\\1\\9", R, "(0 (1 'a') \\1 \\9)"},
    {"\\n\\n", R, "(0 \\n{2})"},
    // Quantifiers and their suffixes.
    {"a*b+c?", R, "(0 'a'* 'b'+ 'c'?)"},
    {"a*?b+?c?" "?", R, "(0 'a'*? 'b'+? 'c'?" "?)"},
    {"a*+b++c?+", R, "(0 'a'*+ 'b'++ 'c'?+)"},
    {"x{3}y{2,}z{2,5}", R, "(0 'x'{3} 'y'{2,} 'z'{2,5})"},
    {"x{,}", R, "(0 'x'*)"},
    {"x{2,0}", R, "(0 'x'{2,})"},
    {"x{,3}", R, "(0 'x'{0,3})"},
    {"x{0}", R, "(0 'x'{0})"},
    {"x{}", R, "(0 'x'{0})"},
    {"x{2,3}?", R, "(0 'x'{2,3}?)"},
    {"a**", R, "(0 'a'* '*')"},
    {"a*?" "?", R, "(0 'a'*? '?')"},
    {"*a", R, "(0 \"*a\")"},
    {"a{2}{3}", R, "(0 'a'{2} \"{3}\")"},
    {"(*)", R, "(0 (1 '*'))"},
    // Repeat merging.
    {"aa*", R, "(0 'a'+)"},
    {"a*a", R, "(0 'a'+)"},
    {"a*?a", R, "(0 'a'+?)"},
    {"aa*?", R, "(0 'a'+?)"},
    {"a?a?", R, "(0 'a'{0,2})"},
    {"a?" "?a?" "?", R, "(0 'a'{0,2}?)"},
    {"a{2}a{3}", R, "(0 'a'{5})"},
    {"a*+a", R, "(0 'a'*+ 'a')"},
    {"a?a*?", R, "(0 'a'? 'a'*?)"},
    {"a*?a*", R, "(0 'a'*)"},
    {"a*a*?", R, "(0 'a'*)"},
    {"a*a*+", R, "(0 'a'*+)"},
    {"a?a?+", R, "(0 'a'? 'a'?+)"},
    {"a{2}a?+", R, "(0 'a'{2,3}+)"},
    {"xaa*", R, "(0 \"xa\" 'a'*)"},
    {".*.+", R, "(0 .+)"},
    {"\\d\\d\\d", R, "(0 [5]{3})"},
    {"[ab][ab]", R, "(0 [19] [20])"},
    {"a(?:)a", R, "(0 'a' (?:10) 'a')"},
    // Groups, numbering, alternatives.
    {"(a)(?:b)(c)", R, "(0 (1 'a') (?:10 'b') (2 'c'))"},
    {"(?|(a)|(b)(c))(d)", R, "(0 (?|10 (1 'a')|(1 'b') (2 'c')) (3 'd'))"},
    {"(?=a)(?!b)(?<=c)(?<!d)", R, "(0 (?=10 'a') (?!11 'b') (?<=12 'c') (?<!13 'd'))"},
    {"(?>ab|a)c", R, "(0 (?>10 \"ab\"|'a') 'c')"},
    {"(?>a)*", R, "(0 (?:10 (?>11 'a'))*)"},
    {"(ab)*+", R, "(0 (1 \"ab\")*+)"},
    {"(ab){2,3}?", R, "(0 (1 \"ab\"){2,3}?)"},
    {"(?=a)*", R, "(0 (?=10 'a')*)"},
    {"a|b|", R, "(0 'a'|'b'|)"},
    {"(|a)", R, "(0 (1 _|'a'))"},
    {"(a||b)", R, "(0 (1 'a'|_|'b'))"},
    {"()", R, "(0 (1))"},
    {"(?x)", R, "(0 (1 \"?x\"))"},
    {"(?<x)", R, "(0 (1 \"?<x\"))"},
    {"((a)(b(c)))", R, "(0 (1 (2 'a') (3 'b' (4 'c'))))"},
    {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(?:k)", R,
     "(0 (1 'a') (2 'b') (3 'c') (4 'd') (5 'e') (6 'f') (7 'g') (8 'h') (9 'i') (10 'j') (?:11 'k'))"},
    {"ab|cd(e|f)", R, "(0 \"ab\"|\"cd\" (1 'e'|'f'))"},
    // Classes take numbers from 19 on, a table of eight at a time.
    {"[a][b][c][d][e][f][g][h][i]", R, "(0 [19] [20] [21] [22] [23] [24] [25] [26] [27])"},
};

TEST(PatternCompile, Dumps) {
  for (const DumpCase &c : kDumps) {
    Pattern p;
    ASSERT_EQ(p.Compile(c.pattern, c.flags), 0) << c.pattern;
    EXPECT_EQ(p.Dump(), c.dump) << "pattern " << c.pattern << " flags " << c.flags;
  }
}

struct LengthCase {
  const char *pattern;
  u32 flags;
  u32 min, max;
};

const LengthCase kLengths[] = {
    {"", R, 0, 0},
    {"abc", R, 3, 3},
    {"a*", R, 0, U},
    {"a{2,5}", R, 2, 5},
    {"(ab|c)d", R, 2, 3},
    {"\\n", R, 1, 2},
    {"a\\nb", E, 3, 4},
    {"a\nb", N, 3, 4},
    {"(a)\\1", R, 1, U},
    {"(?=abc)x", R, 1, 1},
    {"(?<=abc)", R, 0, 0},
    {"\\Qabc\\E{2}", R, 6, 6},
    {"a|", R, 0, 1},
    {"(a|bc){2}", R, 2, 4},
    {"(a|bc){2}|xyz+", R, 2, U},
    {"a{0}", R, 0, 0},
    {"\\K", R, 0, 0},
    {"\\b*", R, 0, U},  // a length times an unbounded repeat is unbounded
    {"x{2147483647}y{2147483647}", R, U, U},
    {"(?:a{1000}){1000}", R, 1000000, 1000000},
    {"ab", W | L, 2, 2},
};

TEST(PatternCompile, Lengths) {
  for (const LengthCase &c : kLengths) {
    Pattern p;
    ASSERT_EQ(p.Compile(c.pattern, c.flags), 0) << c.pattern;
    EXPECT_EQ(p.cp->minLength, c.min) << c.pattern;
    EXPECT_EQ(p.cp->maxLength, c.max) << c.pattern;
  }
}

struct ErrorCase {
  const char *pattern;
  int result;
};

const ErrorCase kErrors[] = {
    {"a)", kPatternEndOfGroup},
    {")", kPatternEndOfGroup},
    {"(a))", kPatternEndOfGroup},
    {"(a", kPatternBleedingGroup},
    {"(a(b)", kPatternBleedingGroup},
    {"(?:", kPatternBleedingGroup},
    {"(?<=a", kPatternBleedingGroup},
    {"\\Qabc", kPatternBleedingQuote},
    {"\\Q", kPatternBleedingQuote},
    {"\\Qab\\", kPatternBleedingQuote},
    {"a{2", kPatternBleedingInterval},
    {"a{2,3x", kPatternBleedingInterval},
    {"a{x}", kPatternBleedingInterval},
    {"a{", kPatternBleedingInterval},
    {"[abc", kPatternBleedingClass},
    {"[", kPatternBleedingClass},
    {"[]", kPatternBleedingClass},
    {"[^]", kPatternBleedingClass},
    {"[a\\", kPatternBleedingClass},
    {"[a-", kPatternBleedingClass},
    {"[[:al", kPatternBleedingClass},
    {"[[:xdigit:]]", kPatternUnknownClass},
    {"[[:foo:]]", kPatternUnknownClass},
    {"[[:alpha]]", kPatternUnknownClass},
    {"[[:ALPHA:]]", kPatternUnknownClass},
    // Not errors.
    {"[]a]", 0},
    {"[^]a]", 0},
    {"[-a]", 0},
    {"[a-]", 0},
    {"[[:xdigi:]]", 0},
    {"[[a]", 0},
    {"]}", 0},
    {"{", 0},
    {"a{,}", 0},
};

TEST(PatternCompile, Errors) {
  for (const ErrorCase &c : kErrors) {
    Pattern p;
    EXPECT_EQ(p.Compile(c.pattern, R), c.result) << c.pattern;
  }
  // The plain levels know no errors.
  for (const ErrorCase &c : kErrors) {
    Pattern p;
    EXPECT_EQ(p.Compile(c.pattern, E), 0) << c.pattern;
  }
}

// Error code c and warning code w report the string table's texts 528 + c
// and 534 + w.
TEST(PatternCompile, MessagesFollowTheCodes) {
  ASSERT_EQ(LoadTexts(&kBuiltinTextLoader), 0);
  const char *errors[] = {"Unexpected end-of-group!", "Bleeding group!", "Bleeding quote!",
                          "Bleeding interval!",       "Bleeding class!", "Unknown class!"};
  for (int code = 1; code <= 6; code++) {
    EXPECT_EQ(Text(PatternErrorText(code)), std::string("Pattern error: ") + errors[code - 1]);
    EXPECT_EQ(TextId(PatternErrorText(code)), 528 + code);
  }
  EXPECT_STREQ(Text(PatternErrorText(-1)), "Out of Memory!");
  EXPECT_STREQ(Text(PatternWarningText(1)), "Pattern warning: Unknown escape.");
  EXPECT_STREQ(Text(PatternWarningText(2)), "Pattern warning: Reversed range.");
}

struct WarningCase {
  const char *pattern;
  u32 flags;
  int warning;
};

const WarningCase kWarnings[] = {
    {"\\r", R, kPatternUnknownEscape},
    {"\\-", R, kPatternUnknownEscape},
    {"\\x4g", R, kPatternUnknownEscape},
    {"\\c1", R, kPatternUnknownEscape},
    {"ab\\", R, kPatternUnknownEscape},
    {"[\\.]", R, kPatternUnknownEscape},
    {"[z-a]", R, kPatternReversedRange},
    {"\\r[z-a]", R, kPatternUnknownEscape},  // only the first warning is kept
    {"[z-a]\\r", R, kPatternReversedRange},
    {"[\\d-z]", R, kPatternNoWarning},
    {"[\\r\\n\\b\\x41\\cA\\-\\:\\[\\]\\^\\\\]", R, kPatternNoWarning},
    {"\\r", E, kPatternNoWarning},
    {"\\q", E, kPatternNoWarning},
    {"a\\.b", R, kPatternNoWarning},
};

TEST(PatternCompile, Warnings) {
  for (const WarningCase &c : kWarnings) {
    Pattern p;
    ASSERT_EQ(p.Compile(c.pattern, c.flags), 0) << c.pattern;
    EXPECT_EQ(p.cp->warning, c.warning) << c.pattern;
  }
}

// The members of the class that a single-class pattern compiles to.
std::string Members(const char *pattern, u32 flags, int *warning = nullptr) {
  Pattern p;
  EXPECT_EQ(p.Compile(pattern, flags | R), 0) << pattern;
  const PatternNode *n = nullptr;
  for (u32 k = 0; k < p.cp->nodeCount; k++) {
    if (p.cp->nodes[k].kind == kNodeClass) n = &p.cp->nodes[k];
  }
  if (warning) *warning = p.cp->warning;
  std::string s;
  if (!n) return s;
  for (u32 c = 0; c < 256; c++) {
    if (ClassHas(p.cp, n->a, n->b, static_cast<u8>(c))) s += static_cast<char>(c);
  }
  return s;
}

std::string Bytes(u32 from, u32 to, const char *except = "") {
  std::string s;
  for (u32 c = from; c <= to; c++) {
    if (!strchr(except, static_cast<int>(c)) || c == 0) s += static_cast<char>(c);
  }
  return s;
}

TEST(PatternCompile, BracketClasses) {
  int warning;
  EXPECT_EQ(Members("[z-a]", 0, &warning), Bytes('a', 'z'));
  EXPECT_EQ(warning, kPatternReversedRange);
  EXPECT_EQ(Members("[abc]", 0), "abc");
  EXPECT_EQ(Members("[]a]", 0), "]a");
  EXPECT_EQ(Members("[-a]", 0), "-a");
  EXPECT_EQ(Members("[a-]", 0), "-a");
  // A class item is no range end. (Code page 1252 counts the superscript
  // digits as digits.)
  EXPECT_EQ(Members("[\\d-z]", 0), "-0123456789z\xB2\xB3\xB9");
  EXPECT_EQ(Members("[a-\\d]", 0), "-0123456789a\xB2\xB3\xB9");
  EXPECT_EQ(Members("[\\x41-\\x43]", 0), "ABC");
  EXPECT_EQ(Members("[\\b]", 0), "\b");  // backspace inside a class
  EXPECT_EQ(Members("[\\n\\r]", 0), "\n\r");
  EXPECT_EQ(Members("[[:xdigi:]]", 0), "0123456789ABCDEFabcdef");
  EXPECT_EQ(Members("[[:digit:][:upper:]]", 0).substr(0, 12), "0123456789AB");
  EXPECT_EQ(Members("[ab]", I), "ABab");
  EXPECT_EQ(Members("[[:upper:]]", I).find('q') != std::string::npos, true);
  // Negation is applied last and never admits a newline character.
  std::string notX = Members("[^x]", 0);
  EXPECT_EQ(notX.size(), 256u - 3u);
  EXPECT_EQ(notX.find('x'), std::string::npos);
  EXPECT_EQ(notX.find('\r'), std::string::npos);
  EXPECT_EQ(notX.find('\n'), std::string::npos);
  std::string notXi = Members("[^x]", I);
  EXPECT_EQ(notXi.find('X'), std::string::npos);
  EXPECT_EQ(Members("[^\\n]", 0).find('\r'), std::string::npos);
}

TEST(PatternCompile, PredefinedClassesFollowTheCharacterTypes) {
  const u8 *t = PredefinedClassTables();
  auto has = [&](u32 cls, u8 c) { return (t[(cls / 8) * 256 + c] & (1u << (cls % 8))) != 0; };
  for (u32 c = 0; c < 256; c++) {
    const u8 b = static_cast<u8>(c);
    const bool newline = c == '\r' || c == '\n';
    for (u32 cls = 0; cls < kPredefinedClasses; cls++) {
      if (newline) {
        EXPECT_FALSE(has(cls, b)) << "class " << cls << " has a newline character";
      }
    }
    if (newline) continue;
    const u16 ty = CharType(b);
    EXPECT_TRUE(has(0, b));
    EXPECT_EQ(has(1, b), IsWordChar(b)) << c;
    EXPECT_NE(has(1, b), has(2, b)) << c;
    EXPECT_EQ(has(3, b), (ty & kC1Space) != 0) << c;
    EXPECT_NE(has(3, b), has(4, b)) << c;
    EXPECT_EQ(has(5, b), (ty & kC1Digit) != 0) << c;
    EXPECT_NE(has(5, b), has(6, b)) << c;
    EXPECT_EQ(has(7, b), (ty & kC1Alpha) != 0) << c;
    EXPECT_EQ(has(8, b), (ty & (kC1Alpha | kC1Digit)) != 0) << c;
    EXPECT_EQ(has(9, b), (ty & kC1Blank) != 0) << c;
    EXPECT_EQ(has(10, b), (ty & kC1Cntrl) != 0) << c;
    EXPECT_EQ(has(11, b), has(5, b)) << c;
    EXPECT_EQ(has(13, b), (ty & kC1Lower) != 0) << c;
    EXPECT_EQ(has(15, b), (ty & kC1Punct) != 0) << c;
    EXPECT_EQ(has(16, b), has(3, b)) << c;
    EXPECT_EQ(has(17, b), (ty & kC1Upper) != 0) << c;
    EXPECT_EQ(has(18, b), (ty & kC1XDigit) != 0) << c;
    EXPECT_TRUE(!has(12, b) || has(14, b)) << "graph is part of print: " << c;
  }
  EXPECT_TRUE(has(1, '_'));
  EXPECT_TRUE(has(1, 0xE9));  // e acute is a letter of code page 1252
  EXPECT_TRUE(has(14, ' '));
  EXPECT_FALSE(has(12, ' '));
}

TEST(PatternCompile, WordClassIsTheWordRuleAtBuildTime) {
  WordOptions saved = CurrentWordOptions();
  SetWordOptions(WordOptions{1, 0});
  BuildPatternClassTables();
  EXPECT_FALSE(PredefinedClassTables()['_'] & 0x02);
  SetWordOptions(WordOptions{1, 1});
  // A later change of the rule leaves the tables alone until they are rebuilt.
  EXPECT_FALSE(PredefinedClassTables()['_'] & 0x02);
  BuildPatternClassTables();
  EXPECT_TRUE(PredefinedClassTables()['_'] & 0x02);
  SetWordOptions(saved);
  BuildPatternClassTables();
}

TEST(PatternCompile, TheCopyOfThePattern) {
  Pattern p;
  // Escapes "\n" shows a real line break in the not-found message...
  ASSERT_EQ(p.Compile("a\\nb", E), 0);
  EXPECT_STREQ(p.cp->pattern, "a\r\nb");
  // ...unless FNlEsc keeps it as typed.
  ASSERT_EQ(p.Compile("a\\nb", E, PatternSettings{1, 128}), 0);
  EXPECT_STREQ(p.cp->pattern, "a\\nb");
  ASSERT_EQ(p.Compile("a\\nb", R), 0);
  EXPECT_STREQ(p.cp->pattern, "a\\nb");
  // Cut at 65,535 characters.
  std::string big(70000, 'q');
  ASSERT_EQ(p.Compile(big, 0), 0);
  EXPECT_EQ(strlen(p.cp->pattern), 65535u);
  EXPECT_EQ(p.cp->minLength, 65535u);
  EXPECT_EQ(p.Dump(), "(0 \"" + std::string(65535, 'q') + "\")");
}

TEST(PatternCompile, GroupSlots) {
  Pattern p;
  ASSERT_EQ(p.Compile("abc", R), 0);
  EXPECT_EQ(p.cp->groupCount, 10u);
  ASSERT_EQ(p.Compile("(a)(?:b)(?=c)\\K", R), 0);
  EXPECT_EQ(p.cp->groupCount, 13u);  // 0-9, then one slot each for (?:), (?=), \K
  ASSERT_EQ(p.Compile("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(?:l)", R), 0);
  EXPECT_EQ(p.cp->groupCount, 13u);  // 0-11 and the non-capturing one
  ASSERT_EQ(p.Compile("abc", 0), 0);
  EXPECT_EQ(p.cp->groupCount, 10u);
}

TEST(PatternCompile, DeepNestingNeedsNoMachineStack) {
  const int depth = 30000;
  std::string pattern = std::string(depth, '(') + "a" + std::string(depth, ')');
  Pattern p;
  ASSERT_EQ(p.Compile(pattern, R), 0);
  EXPECT_EQ(p.cp->groupCount, static_cast<u32>(depth + 1));
  EXPECT_EQ(p.cp->minLength, 1u);
  TestStore s("xxa");
  Found f = EngineFind(p.cp, &s.s, 0, 3, 3, false, false);
  EXPECT_TRUE(f.found);
  EXPECT_EQ(f.at, 2u);
  ASSERT_EQ(p.Compile(std::string(depth, '(') + "a", R), kPatternBleedingGroup);
  ASSERT_EQ(p.Compile(std::string(depth, '[') + "a", R), kPatternBleedingClass);
}

TEST(PatternCompile, OutOfMemoryAtEveryAllocation) {
  const DumpCase cases[] = {
      {"(a|b)*c[x-z]+(?<=y)\\1{2,}\\Qlit\\E(?>q)*", R, nullptr},
      {"a\\nb", E, nullptr},
      {"[a][b][c][d][e][f][g][h][i][j]", R | I, nullptr},
      {"abc", W | L, nullptr},
  };
  for (const DumpCase &c : cases) {
    Pattern ref;
    ASSERT_EQ(ref.Compile(c.pattern, c.flags), 0);
    const std::string want = ref.Dump();
    for (bool persistent : {false, true}) {
      for (u32 n = 1;; n++) {
        Pattern p;
        FaultInjector fi = {};
        FaultPlan(&fi, kFaultAlloc, n, persistent);
        int r;
        {
          ScopedFaultInjector scope(&fi);
          r = p.Compile(c.pattern, c.flags);
        }
        if (!fi.fired[kFaultAlloc]) {
          EXPECT_EQ(r, 0);
          EXPECT_EQ(p.Dump(), want);
          break;
        }
        // Either out of memory, or a success that lost nothing that matters.
        if (r == 0) {
          EXPECT_EQ(p.Dump(), want) << c.pattern << " allocation " << n;
        } else {
          EXPECT_EQ(r, kPatternOutOfMemory) << c.pattern << " allocation " << n;
        }
      }
    }
  }
}

}  // namespace
