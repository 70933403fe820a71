// Complete Word's candidates: a table of texts with the caret marked, and a
// comparison with a plain model (every word, a map of nearest distances)
// over random texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/support/document_support.h"
#include "tools/complete_word.h"

namespace {

struct Result {
  std::vector<std::string> words;
  unsigned common = 0;
};

// Runs the collection for the text with "|" as the caret, the partial word
// taken from the caret's line as the editor takes it.
Result Collect(std::string text, int ignoreCase, int sorted) {
  const size_t caret = text.find('|');
  text.erase(caret, 1);
  size_t lineStart = 0;
  for (size_t i = 0; i < caret; i++)
    if (text[i] == '\n') lineStart = i + 1;
  const u32 at = PartialWordStart(text.data() + lineStart, static_cast<u32>(caret - lineStart));
  const std::string prefix = text.substr(lineStart + at, caret - lineStart - at);
  CompleteWordRequest r = {};
  r.prefix = prefix.c_str();
  r.prefixLength = static_cast<u32>(prefix.size());
  r.ownStart = static_cast<u32>(lineStart + at);
  r.ignoreCase = ignoreCase;
  r.sorted = sorted;
  ToolDocument out = {};
  EXPECT_EQ(CollectCompletions(text.data(), static_cast<u32>(text.size()), &out, reinterpret_cast<ToolParam>(&r)), 0);
  EXPECT_EQ(out.length, 0u) << "the runner's output stays empty";
  Result result;
  for (u32 k = 0; const char *w = CompletionAt(r, k); k++) result.words.push_back(w);
  EXPECT_EQ(result.words.size(), r.count);
  result.common = CommonContinuation(r);
  FreeCompleteWordRequest(&r);
  return result;
}

TEST(CompleteWord, CandidatesOfTheTable) {
  const struct Case {
    const char *text;
    int ignoreCase, sorted;
    std::vector<std::string> words;
    unsigned common;
  } kCases[] = {
      // Nearest first, each word by its nearest occurrence; "alp" is shared.
      {"alpha alpine al| alps alpha", 0, 0, {"alps", "alpine", "alpha"}, 1},
      // Neither the caret's own word nor words no longer than the prefix.
      {"foo foo| foo foobar", 0, 0, {"foobar"}, 3},
      // The caret inside a word: that occurrence is its own, another is not.
      {"prefab pre|fab prefix", 0, 0, {"prefab", "prefix"}, 1},
      {"prefab pre|fix", 0, 0, {"prefab"}, 3},
      // Case: exact, then ignored (the remainders part at once).
      {"Apple apricot ap|", 0, 0, {"apricot"}, 5},
      {"Apple apricot ap|", 1, 0, {"apricot", "Apple"}, 0},
      // Distinct byte for byte, so both spellings are offered (and their
      // remainders agree).
      {"Foobar foobar fo|", 1, 0, {"foobar", "Foobar"}, 4},
      // Sorted, by bytes or ignoring case first.
      {"zeta zebra zero ze|", 0, 1, {"zebra", "zero", "zeta"}, 0},
      {"zeta zebra zero ze|", 0, 0, {"zero", "zebra", "zeta"}, 0},
      {"Zed zeal zEbu ze|", 1, 1, {"zeal", "zEbu", "Zed"}, 0},
      {"Zed zeal zEbu z|", 0, 1, {"zEbu", "zeal"}, 0},
      // Word characters: letters, digits, the underscore; not the hyphen.
      {"foo_bar foo-baz fo|", 0, 0, {"foo", "foo_bar"}, 1},
      {"x1 x2 x|", 0, 0, {"x2", "x1"}, 0},
      // Other lines, before and after; a tie goes to the earlier one.
      {"line1\nline2\nli|ne", 0, 0, {"line2", "line1"}, 2},
      {"abcd ab|   abce", 0, 0, {"abcd", "abce"}, 1},
      // Nothing to offer.
      {"abc x|", 0, 0, {}, 0},
      {"abc |", 0, 0, {}, 0},
      {"|abc", 0, 0, {}, 0},
  };
  for (const Case &c : kCases) {
    const Result r = Collect(c.text, c.ignoreCase, c.sorted);
    EXPECT_EQ(r.words, c.words) << c.text << " case " << c.ignoreCase << " sorted " << c.sorted;
    EXPECT_EQ(r.common, c.common) << c.text << " case " << c.ignoreCase << " sorted " << c.sorted;
  }
}

TEST(CompleteWord, PartialWordIsTheRunOfWordCharactersAtTheEnd) {
  const struct {
    const char *line;
    u32 start;
  } kCases[] = {{"abc", 0}, {"ab cd", 3}, {"ab ", 3}, {"", 0}, {"x-y", 2}, {"a_b", 0}, {"12ab", 0}, {"a\tb", 2}};
  for (const auto &c : kCases) {
    const u32 n = static_cast<u32>(strlen(c.line));
    EXPECT_EQ(PartialWordStart(c.line, n), c.start) << c.line;
  }
}

// The model: every word of the text with its distance, the own occurrence
// and words not longer than the prefix left out, the nearest occurrence of
// each distinct word kept.
TEST(CompleteWord, AgreesWithAPlainModelOverRandomTexts) {
  TestRandom rng(17);
  const char kAlphabet[] = "abAB  \n-";
  for (int round = 0; round < 400; round++) {
    std::string text;
    const unsigned n = 1 + rng.Below(120);
    for (unsigned i = 0; i < n; i++) text += kAlphabet[rng.Below(sizeof kAlphabet - 1)];
    const size_t caret = rng.Below(static_cast<unsigned>(text.size() + 1));
    const int ignoreCase = static_cast<int>(rng.Below(2));
    // Words and the partial word.
    std::vector<std::pair<size_t, std::string>> words;
    for (size_t i = 0; i < text.size();) {
      if (!isalpha(static_cast<unsigned char>(text[i]))) {
        i++;
        continue;
      }
      size_t e = i;
      while (e < text.size() && isalpha(static_cast<unsigned char>(text[e]))) e++;
      words.push_back({i, text.substr(i, e - i)});
      i = e;
    }
    size_t own = caret;
    while (own > 0 && isalpha(static_cast<unsigned char>(text[own - 1]))) own--;
    const std::string prefix = text.substr(own, caret - own);
    std::map<std::string, std::pair<size_t, size_t>> nearest;  // word: distance, position
    for (const auto &[at, w] : words) {
      if (prefix.empty() || at == own || w.size() <= prefix.size()) continue;
      std::string head = w.substr(0, prefix.size()), p = prefix;
      if (ignoreCase) {
        std::transform(head.begin(), head.end(), head.begin(), ::tolower);
        std::transform(p.begin(), p.end(), p.begin(), ::tolower);
      }
      if (head != p) continue;
      const size_t d = at < own ? own - at : at - own;
      auto it = nearest.find(w);
      if (it == nearest.end() || d < it->second.first) nearest[w] = {d, at};
    }
    std::vector<std::pair<std::pair<size_t, size_t>, std::string>> order;
    for (const auto &[w, key] : nearest) order.push_back({key, w});
    std::sort(order.begin(), order.end());
    std::vector<std::string> expected;
    for (const auto &o : order) expected.push_back(o.second);
    std::string marked = text;
    marked.insert(caret, "|");
    EXPECT_EQ(Collect(marked, ignoreCase, 0).words, expected) << marked;
  }
}

}  // namespace
