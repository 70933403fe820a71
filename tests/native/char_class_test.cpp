// Character classes, the word settings, case transforms and the classifier.
#include <gtest/gtest.h>

#include <string>

#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/platform.h"

namespace {

class CharClass : public testing::Test {
 protected:
  CharClass() { InitCharClasses(); }
  ~CharClass() override { SetWordOptions(WordOptions{1, 1}); }
  static std::string Apply(CaseTransform t, std::string s) {
    ApplyCase(t, &s[0], s.size());
    return s;
  }
  // The words of a text, separated by "|".
  static std::string Words(const std::string &s) {
    std::string out;
    bool in = false;
    for (char c : s) {
      bool w = IsWordChar(static_cast<u8>(c));
      if (w && !in && !out.empty()) out += '|';
      if (w) out += c;
      in = w;
    }
    return out;
  }
};

TEST_F(CharClass, TablesHoldThePlatformsAnswers) {
  for (int c = 0; c < 256; c++) {
    u16 t1, t3;
    PlatCharTypes(static_cast<u8>(c), &t1, &t3);
    EXPECT_EQ(CharType(static_cast<u8>(c)), t1) << c;
    EXPECT_EQ(CharType3(static_cast<u8>(c)), t3) << c;
    EXPECT_EQ(ToLower(static_cast<u8>(c)), PlatCharLower(static_cast<u8>(c))) << c;
    EXPECT_EQ(ToUpper(static_cast<u8>(c)), PlatCharUpper(static_cast<u8>(c))) << c;
  }
  EXPECT_EQ(ToUpper(0xE9), 0xC9);  // e acute
  EXPECT_EQ(MemCompareLower("Hello \xC9T\xC9", "hELLO \xE9t\xE9", 9, LowerTable()), 0u);
}

TEST_F(CharClass, WordSettings) {
  EXPECT_EQ(Words("a_b c1 2d \xE9t\xE9"), "a_b|c1|2d|\xE9t\xE9");
  SetWordOptions(WordOptions{1, 0});
  EXPECT_EQ(Words("a_b c1 2d"), "a|b|c1|2d") << "without underscores a_b is three tokens";
  // The full definition also takes the lexical signs; _word no longer matters.
  SetWordOptions(WordOptions{0, 0});
  EXPECT_EQ(Words("a_b don't x-y (z) 42"), "a_b|don't|x-y|z|42");
  EXPECT_FALSE(IsWordChar(' '));
  EXPECT_FALSE(IsWordChar('.'));
  SetWordOptions(WordOptions{0, 1});
  EXPECT_TRUE(IsWordChar('_'));
  for (char d = '0'; d <= '9'; d++) EXPECT_TRUE(IsWordChar(static_cast<u8>(d)));
  SetWordOptions(WordOptions{1, 1});
  for (char d = '0'; d <= '9'; d++) EXPECT_TRUE(IsWordChar(static_cast<u8>(d)));
  EXPECT_EQ(CurrentWordOptions().basicWords, 1);
}

TEST_F(CharClass, SentenceEndsAndNewlines) {
  for (int c = 0; c < 256; c++) EXPECT_EQ(IsSentenceEnd(static_cast<u8>(c)), c == '.' || c == '?' || c == '!') << c;
  EXPECT_EQ(NewlineLengthAt("\r\n", 2), 2u);
  EXPECT_EQ(NewlineLengthAt("\r\n", 1), 1u);
  EXPECT_EQ(NewlineLengthAt("\r\r", 2), 1u);
  EXPECT_EQ(NewlineLengthAt("\n\r", 2), 1u);
  EXPECT_EQ(NewlineLengthAt("a\n", 2), 0u);
  EXPECT_EQ(NewlineLengthAt("\r", 0), 0u);
}

TEST_F(CharClass, CaseTransforms) {
  EXPECT_EQ(Apply(kCaseUpper, "ab\xE9 1-Z"), "AB\xC9 1-Z");
  EXPECT_EQ(Apply(kCaseLower, "AB\xC9 1-z"), "ab\xE9 1-z");
  EXPECT_EQ(Apply(kCaseInvert, "aB3-\xE9!"), "Ab3-\xC9!");
  EXPECT_EQ(Apply(kCaseCapitalise, "hELLO wORLD"), "Hello World");
  EXPECT_EQ(Apply(kCaseFirstWord, "hELLO wORLD"), "Hello world");
  EXPECT_EQ(Apply(kCaseFirstWord, "  ..hELLO"), "  ..Hello");
  EXPECT_EQ(Apply(kCaseCapitalise, "o'neil x_y"), "O'Neil X_y");
  EXPECT_EQ(Apply(kCaseNone, "aBc"), "aBc");
}

TEST_F(CharClass, RandomAndFunOnlyChangeCase) {
  std::string text;
  for (int i = 0; i < 400; i++) text += "Some words, MIXED case; 12 digits.\r\n"[i % 36];
  for (CaseTransform t : {kCaseRandom, kCaseFun}) {
    std::string out = Apply(t, text);
    int uppers = 0, lowers = 0;
    for (size_t i = 0; i < out.size(); i++) {
      u8 c = static_cast<u8>(out[i]), o = static_cast<u8>(text[i]);
      EXPECT_EQ(ToLower(c), ToLower(o)) << i;
      if (CharType(c) & kC1Upper) uppers++;
      if (CharType(c) & kC1Lower) lowers++;
      if (t == kCaseFun && !IsWordChar(o)) {
        EXPECT_EQ(c, ToLower(o));
      }
    }
    EXPECT_GT(uppers, 50) << t;
    EXPECT_GT(lowers, 50) << t;
  }
  // Fun alternates inside a word, with only occasional extra flips.
  std::string word(200, 'a');
  std::string fun = Apply(kCaseFun, word);
  int alternations = 0;
  for (size_t i = 1; i < fun.size(); i++) alternations += (fun[i] == 'A') != (fun[i - 1] == 'A');
  EXPECT_GT(alternations, 100);
}

TEST_F(CharClass, CasePatternClassifier) {
  struct {
    const char *text;
    CaseTransform expected;
  } cases[] = {
      {"ABC", kCaseUpper},          {"abc", kCaseLower},        {"Abc Def", kCaseCapitalise},
      {"Abc def", kCaseFirstWord},  {"hELLO", kCaseNone},       {"", kCaseNone},
      {"123 ...", kCaseNone},       {"A", kCaseUpper},          {"a1", kCaseLower},
      {"Hello, World!", kCaseCapitalise}, {"McDonald", kCaseNone}, {"1AB", kCaseUpper},
      // A late capital and a word starting with a digit come before the first
      // lower-case letter: the answer still depends on what follows.
      {"1ABc", kCaseNone},          {"\xC9t\xE9 Pr\xE8s", kCaseCapitalise},
  };
  for (auto &c : cases) {
    EXPECT_EQ(ClassifyCasePattern(c.text, strlen(c.text)), c.expected) << c.text;
    // Fed in two pieces, the answer is the same.
    size_t n = strlen(c.text), half = n / 2;
    CasePatternScanner s;
    CasePatternReset(&s);
    if (CasePatternFeed(&s, c.text, half)) CasePatternFeed(&s, c.text + half, n - half);
    EXPECT_EQ(CasePatternResult(&s), c.expected) << c.text;
  }
}

}  // namespace
