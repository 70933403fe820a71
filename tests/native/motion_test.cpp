// Caret steps over the text: characters, words, paragraphs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "document/document.h"
#include "document/edit.h"
#include "document/motion.h"
#include "tests/support/document_support.h"

namespace {

struct Doc {
  Document *doc = CreateDocument();
  explicit Doc(const std::string &text) {
    EXPECT_EQ(InsertText(&doc->store, 0, text.data(), static_cast<u32>(text.size()), 0), 0);
  }
  ~Doc() { DestroyDocument(doc); }
};

TEST(MotionTest, CharacterStepsKeepNewlinesWhole) {
  TestRandom rng(5);
  for (int round = 0; round < 200; round++) {
    std::string text = RandomText(rng, rng.Below(300), 6);
    Doc d(text);
    const u32 n = static_cast<u32>(text.size());
    std::vector<u32> stops = {0};
    for (u32 p = 0; p < n;) {
      u32 q = CharRight(d.doc, p);
      ASSERT_GT(q, p);
      ASSERT_FALSE(q < n && text[q] == '\n' && text[q - 1] == '\r') << "never between CR and LF";
      ASSERT_EQ(CharLeft(d.doc, q), p) << "left undoes right at " << p;
      stops.push_back(p = q);
    }
    EXPECT_EQ(CharRight(d.doc, n), n);
    EXPECT_EQ(CharLeft(d.doc, 0), 0u);
    // Word steps stop at character stops and always make progress.
    for (u32 p : stops) {
      u32 r = WordRight(d.doc, p), l = WordLeft(d.doc, p);
      if (p < n) EXPECT_GT(r, p);
      if (p > 0) EXPECT_LT(l, p);
      EXPECT_TRUE(std::find(stops.begin(), stops.end(), r) != stops.end());
      EXPECT_TRUE(std::find(stops.begin(), stops.end(), l) != stops.end());
    }
  }
}

TEST(MotionTest, WordUnits) {
  Doc d("foo_bar, \t baz\r\n\r\nx");
  u32 a, b;
  WordUnitAt(d.doc, 2, &a, &b);
  EXPECT_EQ(a, 0u);
  EXPECT_EQ(b, 7u) << "the underscore joins the word";
  WordUnitAt(d.doc, 7, &a, &b);
  EXPECT_EQ(b - a, 1u) << "a single other character";
  WordUnitAt(d.doc, 9, &a, &b);
  EXPECT_EQ(a, 8u);
  EXPECT_EQ(b, 11u) << "a run of blanks";
  WordUnitAt(d.doc, 14, &a, &b);
  EXPECT_EQ(a, 11u) << "at a newline: the word before it";
  EXPECT_EQ(b, 14u);
  WordUnitAt(d.doc, 16, &a, &b);
  EXPECT_EQ(a, b) << "an empty line has no unit";
}

TEST(MotionTest, Paragraphs) {
  // Lines: 0 a, 1 b, 2 "", 3 "", 4 c, 5 "", 6 d.
  Doc d("a\nb\n\n\nc\n\nd");
  EXPECT_EQ(ParagraphDown(d.doc, 0), 4);
  EXPECT_EQ(ParagraphDown(d.doc, 2), 4);
  EXPECT_EQ(ParagraphDown(d.doc, 4), 6);
  EXPECT_EQ(ParagraphDown(d.doc, 6), -1);
  EXPECT_EQ(ParagraphUp(d.doc, 6), 4);
  EXPECT_EQ(ParagraphUp(d.doc, 4), 0);
  EXPECT_EQ(ParagraphUp(d.doc, 1), 0);
  EXPECT_EQ(ParagraphUp(d.doc, 0), -1);
  u32 first, last;
  ParagraphOf(d.doc, 1, &first, &last);
  EXPECT_EQ(first, 0u);
  EXPECT_EQ(last, 1u);
  ParagraphOf(d.doc, 3, &first, &last);
  EXPECT_EQ(first, 2u);
  EXPECT_EQ(last, 3u);
  EXPECT_EQ(HardLineStart(d.doc, 4), 6u);
  EXPECT_EQ(HardLineTextEnd(d.doc, 4), 7u);
  EXPECT_EQ(HardLineEnd(d.doc, 4), 8u);
  EXPECT_EQ(HardLineEnd(d.doc, 6), 10u);
}

}  // namespace
