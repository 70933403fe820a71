// The engine against the reference matcher on generated patterns of the
// whole dialect (every atom, group kind, quantifier and anchor, the plain
// levels, whole words and lines, ignore case, any newline) and generated
// texts cut into blocks of a few bytes: forward and backward scans from
// every position, shortened ranges, the search range as context, rejected
// empty matches. The engine runs the optimised graph with its hints and
// prefilters; the reference runs the plain graph of the same pattern.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <random>
#include <string>

#include "tests/support/pattern_support.h"

namespace {

class Gen {
 public:
  explicit Gen(u64 seed) : rng_(seed) {}
  u32 Below(u32 n) { return static_cast<u32>(rng_() % n); }
  bool OneIn(u32 n) { return Below(n) == 0; }

  std::string Text(u32 maxLength) {
    static const char *const kPieces[] = {"a", "a", "a", "b", "b", "c", "A", "B", " ", " ", "_", "1",
                                          ".", "\n", "\r\n", "\r", "ab", "aa", "\t"};
    std::string t;
    u32 n = Below(maxLength + 1);
    while (t.size() < n) t += kPieces[Below(QP_ARRAY_COUNT(kPieces))];
    return t;
  }

  std::string Quantifier() {
    if (Below(10) < 6) return "";
    static const char *const kQ[] = {"*", "+", "?", "{2}", "{1,}", "{0,2}", "{,2}", "{2,3}", "{0}", "{3,2}"};
    std::string q = kQ[Below(QP_ARRAY_COUNT(kQ))];
    u32 k = Below(6);
    if (k == 0) q += "?";
    if (k == 1) q += "+";
    return q;
  }

  std::string Atom(int depth) {
    u32 k = Below(depth > 2 ? 20 : 28);
    switch (k) {
      case 0: case 1: case 2: case 3: {
        static const char kChars[] = "aabbcA _1";
        return std::string(1, kChars[Below(sizeof kChars - 1)]);
      }
      case 4: return ".";
      case 5: {
        static const char *const kClasses[] = {"[ab]", "[^a]", "[a-c]", "[[:alpha:]]", "[\\w]", "[^\\s]",
                                               "[_\\d]", "[^ab\\n]", "[\\r\\n]", "[[:space:][:punct:]]"};
        return kClasses[Below(QP_ARRAY_COUNT(kClasses))];
      }
      case 6: {
        static const char *const kEsc[] = {"\\w", "\\W", "\\s", "\\S", "\\d", "\\D", "\\n", "\\x61", "\\.", "\\t"};
        return kEsc[Below(QP_ARRAY_COUNT(kEsc))];
      }
      case 7: case 8: {
        static const char *const kAnchors[] = {"^", "$", "\\b", "\\B", "\\y", "\\Y", "\\A", "\\Z", "\\p",
                                               "\\P", "\\G"};
        return kAnchors[Below(QP_ARRAY_COUNT(kAnchors))];
      }
      case 9: return OneIn(2) ? "\\1" : "\\2";
      case 10: return OneIn(3) ? "\\K" : "\\Qa.\\E";
      case 11: return "ab";
      default: {
        static const char *const kOpen[] = {"(", "(", "(", "(?:", "(?>", "(?=", "(?!", "(?<=", "(?<!", "(?|"};
        return std::string(kOpen[Below(QP_ARRAY_COUNT(kOpen))]) + Alternatives(depth + 1) + ")";
      }
    }
  }

  std::string Sequence(int depth) {
    std::string s;
    u32 n = Below(depth > 2 ? 3 : 5);
    for (u32 i = 0; i < n; i++) s += Atom(depth) + Quantifier();
    return s;
  }

  std::string Alternatives(int depth) {
    std::string s = Sequence(depth);
    u32 n = Below(4) == 0 ? 1 + Below(2) : 0;
    for (u32 i = 0; i < n; i++) s += "|" + Sequence(depth);
    return s;
  }

  // A pattern of the plain levels: characters, escapes, typed newlines.
  std::string Plain() {
    static const char *const kPieces[] = {"a", "b", "A", " ", "\\n", "\\t", "\\\\", "\\q", "\n", "\r\n", "ab", "."};
    std::string s;
    u32 n = Below(5);
    for (u32 i = 0; i < n; i++) s += kPieces[Below(QP_ARRAY_COUNT(kPieces))];
    return s;
  }

 private:
  std::mt19937_64 rng_;
};

struct Stats {
  u32 patterns = 0, compared = 0, skipped = 0, found = 0;
};

// Compares every scan of interest over one text; false after the first
// difference (reported).
bool CompareOnText(Pattern &fast, Pattern &plain, const std::string &pattern, u32 flags, const std::string &text,
                   Gen &g, Stats &st) {
  const u32 n = static_cast<u32>(text.size());
  TestStore store(text, 1 + g.Below(5), g.Below(1000) + 1);
  struct Scan {
    u32 from, stopAt, rangeEnd;
    bool backward, reject;
  };
  std::vector<Scan> scans;
  for (u32 f = 0; f <= n; f++) scans.push_back({f, n, n, false, g.OneIn(3)});
  scans.push_back({n, 0, n, true, false});
  scans.push_back({n / 2, 0, n, true, g.OneIn(2)});
  if (n > 2) {
    u32 end = g.Below(n + 1);
    scans.push_back({g.Below(end + 1), end, end, false, false});
    scans.push_back({end, g.Below(end + 1), end, true, false});
  }
  const u32 searchStart = g.Below(n + 2);
  fast.cp->scan.searchStart = searchStart;
  plain.cp->scan.searchStart = searchStart;
  for (const Scan &sc : scans) {
    bool complete = true;
    Found want =
        ReferenceFind(plain.cp, text, sc.from, sc.stopAt, sc.rangeEnd, sc.backward, sc.reject, 3000, &complete);
    if (!complete) {
      st.skipped++;
      continue;
    }
    Found got = EngineFind(fast.cp, &store.s, sc.from, sc.stopAt, sc.rangeEnd, sc.backward, sc.reject);
    Found raw = EngineFind(plain.cp, &store.s, sc.from, sc.stopAt, sc.rangeEnd, sc.backward, sc.reject);
    st.compared++;
    if (want.found) st.found++;
    if (!(got == want) || !(raw == want)) {
      std::string shown;
      for (char c : text) shown += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
      ADD_FAILURE() << "pattern \"" << pattern << "\" flags " << std::hex << flags << std::dec << " text \"" << shown
                    << "\" from " << sc.from << " stop " << sc.stopAt << " end " << sc.rangeEnd
                    << (sc.backward ? " backward" : "") << (sc.reject ? " reject-empty" : "") << " \\G "
                    << searchStart << "\n  engine:      " << Describe(got) << "\n  unoptimised: " << Describe(raw)
                    << "\n  reference:   " << Describe(want) << "\n  graph: " << fast.Dump();
      return false;
    }
  }
  return true;
}

void RunDifferential(u64 seed, u32 patterns, bool regExps) {
  Gen g(seed);
  Stats st;
  u32 failures = 0;
  for (u32 i = 0; i < patterns && failures < 3; i++) {
    std::string pattern = regExps ? g.Alternatives(0) : g.Plain();
    u32 flags = regExps ? kPatternRegExps : (g.OneIn(2) ? kPatternEscapes : 0);
    if (g.OneIn(3)) flags |= kPatternIgnoreCase;
    if (g.OneIn(6)) flags |= kPatternWholeWords;
    if (g.OneIn(8)) flags |= kPatternWholeLines;
    if (g.OneIn(4)) flags |= kPatternAnyNewline;
    if (g.OneIn(2)) flags |= kPatternWholeContext;
    PatternSettings settings = {0, g.Below(4)};  // a short look-behind reach shows its cap
    Pattern fast, plain;
    int r1 = fast.Compile(pattern, flags, settings);
    int r2 = plain.CompileUnoptimised(pattern, flags, settings);
    ASSERT_EQ(r1, r2) << pattern;
    if (r1 != 0) continue;
    st.patterns++;
    if (getenv("QP_VERBOSE")) fprintf(stderr, "pattern %s flags %x\n", pattern.c_str(), flags);
    for (int t = 0; t < 3; t++) {
      if (!CompareOnText(fast, plain, pattern, flags, g.Text(14), g, st)) {
        failures++;
        break;
      }
    }
  }
  EXPECT_GT(st.compared, patterns);
  printf("  %u patterns, %u scans compared (%u found a match), %u given up by the reference\n", st.patterns,
         st.compared, st.found, st.skipped);
}

TEST(PatternReference, RegExps) { RunDifferential(1, 700, true); }
TEST(PatternReference, RegExpsMore) { RunDifferential(77, 700, true); }
TEST(PatternReference, PlainAndEscapes) { RunDifferential(5, 600, false); }

}  // namespace
