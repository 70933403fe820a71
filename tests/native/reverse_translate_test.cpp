// Reverse, Unwrap, Translate, Enclose and Tag through the runner: the rules'
// examples as one table, string models over random texts (every newline
// kind, NUL), faults and cancel, double-byte text.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/config_state.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/platform.h"
#include "tests/support/tool_support.h"
#include "tools/text_tools.h"

namespace {

using Line = TextLine;


bool Space(char c) { return (CharType(static_cast<u8>(c)) & kC1Space) != 0; }
bool Blank(const std::string &s) { return std::all_of(s.begin(), s.end(), Space); }

std::string ReverseModel(std::string t) {
  std::reverse(t.begin(), t.end());
  for (size_t i = 0; i + 1 < t.size(); i++)
    if (t[i] == '\n' && t[i + 1] == '\r') t[i] = '\r', t[i + 1] = '\n', i++;
  return t;
}

// The newlines taken out from the last to the first, as the rule says.
std::string UnwrapModel(const std::string &t, int mode) {
  std::vector<Line> lines = SplitTextLines(t);
  for (size_t k = lines.size() - 1; k-- > 0;) {
    Line &before = lines[k], &after = lines[k + 1];
    if (mode == 0 && (Blank(before.text) || Blank(after.text))) continue;
    const bool space = !before.text.empty() && !Space(before.text.back()) && !(!after.text.empty() && Space(after.text[0]));
    before.text += (space ? " " : "") + after.text;
    before.newline = after.newline;
    lines.erase(lines.begin() + static_cast<long>(k) + 1);
  }
  std::string out;
  for (const Line &l : lines) out += l.text + l.newline;
  return out;
}

// Translate: both texts expanded into lists of items (a list of characters
// each), then zipped.
std::vector<std::vector<int>> Items(const std::string &s, bool esc) {
  std::vector<std::vector<int>> items;
  size_t i = 0;
  auto one = [&]() -> int {
    const unsigned char c = static_cast<unsigned char>(s[i++]);
    if (!esc || c != '\\' || i == s.size()) return c;
    const char e = s[i];
    static const std::string kFrom = "-\\0abefnrtv";
    static const int kTo[] = {'-', '\\', 0, 7, 8, 27, 12, 10, 13, 9, 11};
    if (kFrom.find(e) != std::string::npos) return i++, kTo[kFrom.find(e)];
    if (e == 'c' && i + 1 < s.size() && isalpha(static_cast<unsigned char>(s[i + 1])))
      return i += 2, s[i - 1] & 31;
    if (e == 'x' && i + 2 < s.size() + 0 && isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        isxdigit(static_cast<unsigned char>(s[i + 2])))
      return i += 3, static_cast<int>(strtol(s.substr(i - 2, 2).c_str(), nullptr, 16));
    return c;
  };
  while (i < s.size()) {
    int lo = one(), hi = lo;
    if (esc && i + 1 < s.size() && s[i] == '-') i++, hi = one();
    if (hi < lo) std::swap(lo, hi);
    std::vector<int> item;
    for (int c = lo; c <= hi; c++) item.push_back(c);
    items.push_back(item);
  }
  return items;
}

std::string TranslateModel(const std::string &t, const std::string &find, const std::string &to, bool esc, bool del) {
  std::vector<int> map(256);
  for (int c = 0; c < 256; c++) map[c] = del ? -1 : c;
  const auto f = Items(find, esc), r = Items(to, esc);
  for (size_t k = 0; k < f.size(); k++)
    for (size_t j = 0; j < f[k].size(); j++) map[f[k][j]] = k < r.size() ? r[k][std::min(j, r[k].size() - 1)] : -1;
  std::string out;
  for (char c : t)
    if (map[static_cast<u8>(c)] >= 0) out += static_cast<char>(map[static_cast<u8>(c)]);
  return out;
}

class ReverseTranslate : public testing::Test {
 protected:
  void SetUp() override { saved_ = g_settings; }
  void TearDown() override { g_settings = saved_; }
  // The tool over the whole text (the document's newline type given); the
  // new text and the selection.
  std::string Run(int id, const std::string &text, u32 newlineType = 0, unsigned *from = nullptr,
                  unsigned *to = nullptr) {
    TestDocument d;
    d.Load(text);
    d->newlineType = newlineType;
    EXPECT_EQ(RunTableTool(d, id, 0, static_cast<unsigned>(text.size())), 0) << id;
    if (from) *from = d->selStart->position, *to = d->selEnd->position;
    return d.Text();
  }
  void SetTranslate(const char *find, const char *to, int esc, int del) {
    StrCopy(g_settings.tools.TrFind, find);
    StrCopy(g_settings.tools.TrRepl, to);
    g_settings.tools.TrEsc = esc;
    g_settings.tools.TrDel = del;
  }
  SettingsBlock saved_;
};

TEST_F(ReverseTranslate, TheExamplesOfTheRules) {
  struct Case {
    int id;
    const char *text, *want;
    u32 newlineType;
  } const cases[] = {
      {35120, "ab\r\ncd", "dc\r\nba", 0},
      {35120, "ab\r\n", "ba\r\n", 0},  // the newline at the end stays out of the selection
      {35160, "hello, world", "olleh, dlrow", 0},
      {35340, "one two three", "three two one", 0},
      {35320, "ab\ncd\r\nef", "ba\ndc\r\nfe", 0},
      {35360, "a b c\nd e", "c b a\ne d", 0},
      {39030, "a\nb\n\nc\nd", "a b\n\nc d", 1},
      {39020, "a \nb", "a b", 1},
      {39020, "a\n\n b", "a b", 1},
      {35140, "1\n2\r\n3", "3\n2\n1", 1},
      {35140, "1\n2\n3\n", "3\r2\r1\n", 2},
      {34210, "one, two\r\n\tone-3", "one\ntwo\none\n3", 1},
      {34210, ".,;", "", 0},
  };
  for (const Case &c : cases) EXPECT_EQ(Run(c.id, c.text, c.newlineType), c.want) << c.id << " " << c.text;
  char crlfAtEnd[] = "ab\r\n";
  ReverseText(crlfAtEnd, 4);
  EXPECT_STREQ(crlfAtEnd, "\r\nba");
  struct Tr {
    const char *find, *to;
    int esc, del;
    const char *text, *want;
  } const tr[] = {
      {"abc", "xyz", 0, 0, "cab", "zxy"},
      {"a-z", "A-Z", 1, 0, "Hi, you\xe4!", "HI, YOU\xe4!"},
      {"a-e", "x", 1, 0, "abcef", "xxxxf"},
      {"abc", "x", 0, 0, "abcd", "xd"},
      {"0-9", "0-9", 1, 1, "a1\r\n2b 3", "123"},
      {"\\t\\x41\\c", "-\\-\\", 1, 0, "\tA\\c", "--\\"},
      {"x\\", "yz", 1, 0, "x\\", "yz"},
      {"z-a", "a", 1, 0, "mz", "aa"},
  };
  for (const Tr &t : tr) {
    SetTranslate(t.find, t.to, t.esc, t.del);
    EXPECT_EQ(Run(34310, t.text), t.want) << t.find << " -> " << t.to;
  }
  // Tag and Enclose select what they say.
  StrCopy(g_settings.tools.XmlName, "b");
  g_settings.tools.XmlAttr[0] = 0;
  unsigned from, to;
  EXPECT_EQ(Run(34120, "text", 0, &from, &to), "<b>text</b>");
  EXPECT_EQ(from, 3u);
  EXPECT_EQ(to, 7u);
  StrCopy(g_settings.tools.XmlAttr, "id=\"x\"");
  EXPECT_EQ(Run(34120, "a\nb", 1, &from, &to), "<b id=\"x\">\na\nb\n</b>");
  EXPECT_EQ(Run(34120, "a\r\nb\r\n", 0), "<b id=\"x\">\r\na\r\nb\r\n</b>");
  g_settings.tools.XmlEmpt = 1;
  EXPECT_EQ(Run(34120, "text", 0, &from, &to), "text<b id=\"x\" />");
  EXPECT_EQ(to, 4u);
  g_settings.tools.XmlName[0] = 0;
  EXPECT_EQ(Run(34120, "text"), "text");
  StrCopy(g_settings.tools.EnBefor, "((");
  StrCopy(g_settings.tools.EnAfter, ")");
  EXPECT_EQ(Run(34110, "x y"), "((x y)");
  TestDocument d;
  d.Load("ab");
  ASSERT_EQ(RunTableTool(d, 34110, 1, 1), 0);
  EXPECT_EQ(d.Text(), "a(()b");
  EXPECT_EQ(d->anchor.position, 3u);
  EXPECT_EQ(d->caret.position, 3u);
}

TEST_F(ReverseTranslate, RandomTextsAgainstTheModels) {
  TestRandom rng(3516);
  const char alphabet[] = "ab c\t\r\n,.x-\\\r\n  \n";
  for (int round = 0; round < 800; round++) {
    std::string text;
    const unsigned n = 1 + rng.Below(50);
    for (unsigned i = 0; i < n; i++) text += rng.OneIn(30) ? '\0' : alphabet[rng.Below(sizeof alphabet - 1)];
    SCOPED_TRACE(testing::Message() << "round " << round << " text '" << text << "'");
    const u32 type = rng.Below(3);
    const char *nl = type == 0 ? "\r\n" : type == 1 ? "\n" : "\r";
    // The selection's end is pulled back before a newline at its end.
    const size_t end = PulledBack(text, 0, text.size());
    if (end == 0) continue;  // nothing selected: the runner's automatic selection (tested with the runner)
    const std::string in = text.substr(0, end), rest = text.substr(end);
    EXPECT_EQ(Run(35120, text), ReverseModel(in) + rest);
    if (text.find("\n\r") == std::string::npos) {
      std::string twice = text;
      ReverseText(&twice[0], static_cast<u32>(twice.size()));
      ReverseText(&twice[0], static_cast<u32>(twice.size()));
      EXPECT_EQ(twice, text);
    }
    std::string lines;
    const std::vector<Line> split = SplitTextLines(in);
    for (size_t k = split.size(); k-- > 0;) lines += split[k].text + (k ? nl : "");
    {
      // A few bytes of lines at a time, from the last, in two halves.
      ScopedToolStreaming streaming(rng.OneIn(2) ? 1 + rng.Below(9) : g_toolInputChunk, rng.OneIn(2) ? 1 : g_toolHalves);
      EXPECT_EQ(Run(35140, text, type), lines + rest);
    }
    std::string each;
    for (const TextLine &l : split) each += ReverseModel(l.text) + l.newline;
    {
      ScopedToolStreaming streaming(g_toolInputChunk, rng.OneIn(2) ? 1 : g_toolHalves);  // in two halves at once
      EXPECT_EQ(Run(35320, text), each + rest);
    }
    std::string words, word;
    for (char c : in + ".") {
      if (IsWordChar(static_cast<u8>(c))) {
        word += c;
      } else if (!word.empty()) {
        words += (words.empty() ? "" : nl) + word;
        word.clear();
      }
    }
    EXPECT_EQ(Run(34210, text, type), words + rest);
    EXPECT_EQ(Run(39020, text), UnwrapModel(in, 1) + rest);
    EXPECT_EQ(Run(39030, text), UnwrapModel(in, 0) + rest);
    std::string find, to;
    for (unsigned i = rng.Below(8); i > 0; i--) find += alphabet[rng.Below(sizeof alphabet - 1)];
    for (unsigned i = rng.Below(8); i > 0; i--) to += alphabet[rng.Below(sizeof alphabet - 1)];
    const int esc = rng.Below(2), del = rng.OneIn(4);
    SetTranslate(find.c_str(), to.c_str(), esc, del);
    // What is left goes a few lines at a time, in two halves.
    ScopedToolStreaming streaming(rng.OneIn(2) ? 1 + rng.Below(9) : g_toolInputChunk, rng.OneIn(2) ? 1 : g_toolHalves);
    EXPECT_EQ(Run(34310, text), TranslateModel(text, find, to, esc, del)) << find << " -> " << to;
  }
}

// Commit Wrapping, read a few lines at a time and in two halves, puts back
// what one read of the selection with the wrap points as newlines gives.
TEST_F(ReverseTranslate, CommitWrappingPutsBackTheRowsAsLines) {
  TestRandom rng(39010);
  const char alphabet[] = "ab c\t\r\n-xyz  ";
  for (int round = 0; round < 300; round++) {
    std::string text;
    for (unsigned i = 1 + rng.Below(120); i > 0; i--) text += alphabet[rng.Below(sizeof alphabet - 1)];
    TestDocument d;
    d.Load(text);
    d->newlineType = rng.Below(4);
    TextStore *s = &d->store;
    for (int k = 0; k < 4; k++) {
      const u32 first = FirstRowOfHardLine(s, RowHardLine(s, rng.Below(RowCount(s))));
      std::vector<u32> rows;
      for (u32 left = RowLengthWithContinuation(s, first); left > 0; left -= rows.back())
        rows.push_back(std::min<u32>(left, 1 + rng.Below(6)));
      if (!rows.empty()) ASSERT_EQ(SetHardLineRows(s, first, rows.data(), static_cast<u32>(rows.size())), 0);
    }
    const unsigned end = static_cast<unsigned>(PulledBack(text, 0, text.size()));
    if (end == 0) continue;
    const u32 mode = d->newlineType == 1 ? kReadSoftLF : d->newlineType == 2 ? kReadSoftCR : kReadSoftCR | kReadSoftLF;
    std::string expected(2 * text.size() + 2, '\0');
    expected.resize(ReadText(s, 0, end, &expected[0], static_cast<u32>(expected.size()), mode, nullptr));
    expected += text.substr(end);
    ScopedToolStreaming streaming(rng.OneIn(2) ? 1 + rng.Below(9) : g_toolInputChunk, rng.OneIn(2) ? 1 : g_toolHalves);
    ASSERT_EQ(RunTableTool(d, 39010, 0, end), 0);
    ASSERT_EQ(d.Text(), expected) << "round " << round;
    ASSERT_TRUE(DocOk(d));
  }
}

TEST_F(ReverseTranslate, FaultsAndCancelChangeNothing) {
  std::string text;
  for (int i = 0; i < 2500; i++) text += i % 5 ? "word and more\r\n" : "\n";
  SetTranslate("a-z", "A-Y", 1, 0);
  for (int id : {35120, 35140, 35320, 39020, 34310, 39010}) ExpectFaultsAndCancelChangeNothing(id, text, 1, nullptr);
  {
    ScopedToolStreaming streaming(1000, 1);  // Reverse Order of Lines a chunk at a time, in two halves
    ExpectFaultsAndCancelChangeNothing(35140, text, 1, nullptr);
  }
  // Characters that go: what is left goes a chunk at a time.
  SetTranslate("aeiou", "", 0, 0);
  ScopedToolStreaming streaming(1000, 1);  // and Reverse Each Line in two halves
  ExpectFaultsAndCancelChangeNothing(34310, text, 1, nullptr);
  ExpectFaultsAndCancelChangeNothing(35320, text, 1, nullptr);
}

// A lead byte and its trail byte are one character: reversal keeps the pair
// in order, Translate leaves it alone.
TEST_F(ReverseTranslate, DoubleBytePairsStayWhole) {
#ifndef _WIN32
  setenv("QP_ANSI_CODEPAGE", "936", 1);
  InitCharClasses();
#endif
  if (!IsLeadByte(0x81)) GTEST_SKIP() << "no double-byte code page here";
  EXPECT_EQ(Run(35120, "a\x81\x62" "c\x81\nz"), "z\n\x81" "c\x81\x62" "a");
  EXPECT_EQ(Run(35160, "ab\x81\x41 c"), "\x81\x41" "ba c");
  EXPECT_EQ(Run(35340, "\x81\x41 b"), "b \x81\x41");
  EXPECT_EQ(Run(34210, "a\x81\x2c,b"), "a\x81\x2c\r\nb");
  SetTranslate("Ab", "ZZ", 0, 0);
  EXPECT_EQ(Run(34310, "b\x81\x41\x41"), "Z\x81\x41Z");
#ifndef _WIN32
  unsetenv("QP_ANSI_CODEPAGE");
  InitCharClasses();
#endif
}

}  // namespace
