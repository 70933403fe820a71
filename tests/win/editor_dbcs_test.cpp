// The editor under a double-byte ANSI code page: layout, hit-testing, the
// caret and painting treat a lead byte and its trail byte as one character
// with one glyph. These tests need the process to run with such a code page
// (CTest runs them with Wine's locale set to Chinese, code page 936, and to
// Japanese, 932); anywhere else they fail at once rather than pass vacuously.
//
// The characters used are pairs in every double-byte code page: one whose
// trail byte is itself a lead byte, one whose trail byte is the letter "a".
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "document/text_store.h"
#include "editor/editor_layout.h"
#include "editor/editor_mouse.h"
#include "editor/editor_messages.h"
#include "tests/win/editor_harness.h"

namespace {

const std::string kWide = "\x88\xE0";  // trail byte from the lead range
const std::string kLowTrail = "\x81" "a";  // trail byte below 128

class DoubleByteTest : public EditorTest {
 protected:
  void SetUp() override {
    CPINFO info = {};
    ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
    ASSERT_EQ(info.MaxCharSize, 2u) << "run with a double-byte ANSI code page; this one is " << GetACP();
    EditorTest::SetUp();
    ASSERT_TRUE(ed()->doubleByte);
    ASSERT_TRUE(ed()->leadByte[0x88] && ed()->leadByte[0x81] && ed()->leadByte[0xE0]);
  }

  // What the system measures for these bytes in the editor's text font.
  int Extent(const std::string &bytes) const {
    HDC dc = GetDC(editor_);
    HGDIOBJ old = SelectObject(dc, ed()->textFont);
    SIZE size = {};
    GetTextExtentPoint32A(dc, bytes.data(), static_cast<int>(bytes.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(editor_, dc);
    return size.cx;
  }

  // The character starts of a row's text, by the code page's rule.
  std::vector<u32> Starts(u32 row) const {
    const TextStore *s = &doc()->store;
    const std::string text = Text().substr(RowStart(s, row), RowAt(s, row).textLength);
    std::vector<u32> out;
    for (u32 i = 0; i < text.size();) {
      out.push_back(i);
      i += IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size() ? 2 : 1;
    }
    return out;
  }

  void Key(WPARAM key) { SendMessageA(editor_, WM_KEYDOWN, key, 0); }
  u32 Caret() const { return doc()->caret.position; }

  // Word wrap on, with the wrap width this many pixels.
  void WrapAt(int wrapWidth) {
    SendMessageA(editor_, EDM_SETWORDWRAP, 1, 0);
    ResizeClient(wrapWidth + 5, 20 * h());
    ASSERT_EQ(ed()->wrapWidth, wrapWidth);
  }
};

std::string Repeat(const std::string &s, int n) {
  std::string out;
  for (int i = 0; i < n; i++) out += s;
  return out;
}

TEST_F(DoubleByteTest, PairsMeasureAsTheFontMeasuresThem) {
  const std::string line = "ab" + kWide + "c" + kLowTrail + kWide;
  SetText(line);
  // Every character boundary, and the whole line as one string.
  const std::vector<std::pair<u32, std::string>> prefixes = {
      {2, "ab"}, {4, "ab" + kWide}, {5, "ab" + kWide + "c"}, {7, "ab" + kWide + "c" + kLowTrail}, {9, line}};
  for (const auto &p : prefixes) EXPECT_EQ(ColumnX(ed(), 0, p.first), Extent(p.second)) << "column " << p.first;
  EXPECT_EQ(MeasureRun(ed(), 0, 2, 2, 0, -1, nullptr), Extent(kWide));
  // A count that ends inside a pair leaves the pair out.
  u32 measured = 0;
  EXPECT_EQ(MeasureRun(ed(), 0, 0, 3, 0, -1, &measured), Extent("ab"));
  EXPECT_EQ(measured, 2u);
  // Measuring stops at the limit after a whole pair.
  MeasureRun(ed(), 0, 0, 9, 0, Extent("ab") + 1, &measured);
  EXPECT_EQ(measured, 4u);
  // A lead byte before a newline or at the end of the text is one character.
  SetText("x\x88\r\n\x88");
  EXPECT_EQ(ColumnX(ed(), 0, 2), Extent("x\x88"));
  EXPECT_EQ(ColumnX(ed(), 1, 1), Extent("\x88"));
}

TEST_F(DoubleByteTest, WrapNeverSplitsAPairAndFillsRowsByPairWidths) {
  const int pair = Extent(kWide);
  ASSERT_GT(pair, 0);
  // Eleven pairs fit after the single byte; the twelfth does not.
  const int wrap = Extent("x") + 11 * pair + pair / 2;
  WrapAt(wrap);
  // One long "word": it is cut where the width runs out.
  SetText("x" + Repeat(kWide, 40));
  std::vector<u32> rows = RowLengths();
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[0], 1u + 2 * 11);
  u32 start = 0;
  for (size_t r = 0; r < rows.size(); r++) {
    EXPECT_EQ(start % 2, r == 0 ? 0u : 1u) << "row " << r << " starts inside a pair";
    EXPECT_LE(ColumnX(ed(), static_cast<u32>(r), rows[r]), ed()->wrapWidth) << "row " << r;
    if (r + 1 < rows.size()) EXPECT_EQ(rows[r] % 2, r == 0 ? 1u : 0u) << "row " << r;
    start += rows[r];
  }
  EXPECT_EQ(rows[1], 2u * static_cast<u32>(wrap / pair)) << "a row of pairs only";
  // Trail bytes below 128 too.
  SetText("x" + Repeat(kLowTrail, 40));
  rows = RowLengths();
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[0] % 2, 1u);
  for (size_t r = 1; r + 1 < rows.size(); r++) EXPECT_EQ(rows[r] % 2, 0u) << "row " << r;
  // Words of pairs between spaces move whole to the next row.
  const std::string word = Repeat(kWide, 4);
  SetText(word + " " + word + " " + word + " " + word);
  rows = RowLengths();
  ASSERT_GE(rows.size(), 2u);
  for (size_t r = 0; r + 1 < rows.size(); r++) EXPECT_EQ(rows[r] % 9, 0u) << "row " << r << " cuts a word";
}

TEST_F(DoubleByteTest, TheLongestRowIsCutBeforeAPair) {
  // No word wrap: a line longer than the longest row is cut there, unless
  // that would split a pair.
  SetText("x" + Repeat(kWide, static_cast<int>(kMaxRowLength)));
  std::vector<u32> rows = RowLengths();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], kMaxRowLength - 1);
  EXPECT_EQ(rows[1], kMaxRowLength);
  EXPECT_EQ(rows[0] + rows[1] + rows[2], 1 + 2 * kMaxRowLength);
}

TEST_F(DoubleByteTest, ClicksLandOnCharacterStarts) {
  SetText("a" + kWide + kLowTrail + "b" + kWide + "\t" + kLowTrail);
  const std::vector<u32> starts = Starts(0);
  const int end = ColumnX(ed(), 0, static_cast<u32>(Text().size()));
  for (int x = 0; x < end; x++) {
    const i64 hit = CharAtX(ed(), 0, x);
    ASSERT_GE(hit, 0) << "x " << x;
    auto it = std::find(starts.begin(), starts.end(), static_cast<u32>(hit));
    ASSERT_NE(it, starts.end()) << "x " << x << " hits byte " << hit << ", inside a pair";
    const u32 next = it + 1 == starts.end() ? static_cast<u32>(Text().size()) : *(it + 1);
    EXPECT_LE(ColumnX(ed(), 0, static_cast<u32>(hit)), x);
    EXPECT_GT(ColumnX(ed(), 0, next), x);
  }
  EXPECT_EQ(CharAtX(ed(), 0, end), -1);
}

u32 g_clickClock;

// Real button messages at every pixel of a row: a click puts the caret on a
// character start, and a double-click selects a word of whole pairs.
TEST_F(DoubleByteTest, MouseClicksAndDoubleClicksKeepPairsWhole) {
  SetFocus(editor_);
  g_inputMetrics = InputMetrics{3, 3, 4, 4, 500, true};
  u32 (*clock)() = g_mouseClock;
  g_mouseClock = [] { return g_clickClock; };
  SetText("x " + kWide + "." + kLowTrail + kWide + "a" + kWide + "\t" + kLowTrail + " y");
  std::vector<u32> starts = Starts(0);
  const u32 n = static_cast<u32>(Text().size());
  starts.push_back(n);
  auto isStart = [&](u32 p) { return std::find(starts.begin(), starts.end(), p) != starts.end(); };
  const int left = ed()->gutterWidth + ed()->leftMargin, y = h() / 2;
  const int end = ColumnX(ed(), 0, n);
  auto click = [&](int x) {
    SendMessageA(editor_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(left + x, y));
    SendMessageA(editor_, WM_LBUTTONUP, 0, MAKELPARAM(left + x, y));
  };
  for (int x = 0; x < end + 4; x++) {
    g_clickClock += 1000;
    click(x);
    const u32 p = Caret();
    ASSERT_TRUE(isStart(p)) << "a click at x " << x << " put the caret at " << p << ", inside a pair";
    ASSERT_EQ(doc()->selStart->position, doc()->selEnd->position);
    click(x);  // the second click of a double-click
    const u32 a = doc()->selStart->position, b = doc()->selEnd->position;
    ASSERT_TRUE(isStart(a) && isStart(b)) << "x " << x << " selected [" << a << ", " << b << ")";
    if (x < end) {
      EXPECT_LT(a, b) << "x " << x;
      EXPECT_TRUE(a <= p && p <= b) << "x " << x << ": the word does not hold the character clicked";
    }
  }
  // The pair after ". " stands alone; the run after "." holds three pairs and a letter.
  g_clickClock += 1000;
  click(ColumnX(ed(), 0, 2) + 1);
  click(ColumnX(ed(), 0, 2) + 1);
  EXPECT_EQ(Text().substr(doc()->selStart->position, doc()->selEnd->position - doc()->selStart->position), kWide);
  g_clickClock += 1000;
  click(ColumnX(ed(), 0, 7) + 1);
  click(ColumnX(ed(), 0, 7) + 1);
  EXPECT_EQ(Text().substr(doc()->selStart->position, doc()->selEnd->position - doc()->selStart->position),
            kLowTrail + kWide + "a" + kWide);
  g_mouseClock = clock;
}

TEST_F(DoubleByteTest, CaretKeysStepOverPairsAndKeepThemWhole) {
  SetFocus(editor_);
  SetText("abc\n" + kWide + kWide + "\nabcdef\n" + "z\x88\r\nq");
  Select(3, 3);
  // Down from column 3 would stand between the bytes of the second pair:
  // the caret goes before it, and the column is remembered for the next row.
  Key(VK_DOWN);
  EXPECT_EQ(Caret(), 4u + 2);
  EXPECT_EQ(ed()->caretX, ColumnX(ed(), 1, 2) - 1 + ed()->gutterWidth + ed()->leftMargin);
  Key(VK_DOWN);
  EXPECT_EQ(Caret(), 9u + 3);
  Key(VK_UP);
  Key(VK_UP);
  EXPECT_EQ(Caret(), 3u);
  // End and Home on the row of pairs; Left and Right step over a pair.
  Select(4, 4);
  Key(VK_END);
  EXPECT_EQ(Caret(), 8u);
  EXPECT_EQ(ed()->caretX, Extent(kWide + kWide) - 1 + ed()->gutterWidth + ed()->leftMargin);
  Key(VK_LEFT);
  EXPECT_EQ(Caret(), 6u);
  Key(VK_HOME);
  EXPECT_EQ(Caret(), 4u);
  Key(VK_RIGHT);
  EXPECT_EQ(Caret(), 6u);
  // A lead byte before CR LF stands alone: Right stops before the newline,
  // not between its CR and LF.
  Select(17, 17);
  Key(VK_RIGHT);
  EXPECT_EQ(Caret(), 18u);
  Key(VK_RIGHT);
  EXPECT_EQ(Caret(), 20u);
  Key(VK_LEFT);
  EXPECT_EQ(Caret(), 18u);
  Key(VK_LEFT);
  EXPECT_EQ(Caret(), 17u);
}

TEST_F(DoubleByteTest, EndOnAWrappedRowOfPairs) {
  SetFocus(editor_);
  const int pair = Extent(kWide);
  WrapAt(Extent("x") + 5 * pair + pair / 2);
  SetText("x" + Repeat(kWide, 20));
  const std::vector<u32> rows = RowLengths();
  ASSERT_GE(rows.size(), 3u);
  ASSERT_EQ(rows[0], 11u);
  Select(0, 0);
  Key(VK_END);
  EXPECT_EQ(Caret(), 11u);
  EXPECT_EQ(doc()->caret.row, 0u);
  Key(VK_END);
  EXPECT_EQ(Caret(), 41u);
  EXPECT_EQ(doc()->caret.row, rows.size() - 1);
  Key(VK_UP);
  EXPECT_EQ(doc()->caret.row, rows.size() - 2);
  EXPECT_EQ(Caret() % 2, 1u) << "inside a pair";
}

// Draws text with the editor's font the plain way, as the reference for
// what the editor's row shows.
Picture Reference(HFONT font, int width, int height, int x, const std::string &text) {
  return DrawPicture(width, height, [&](HDC dc) {
    HGDIOBJ oldFont = SelectObject(dc, font);
    RECT all = {0, 0, width, height};
    SetBkColor(dc, colors::kBack);
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &all, "", 0, nullptr);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colors::kText);
    ExtTextOutA(dc, x, 0, 0, nullptr, text.data(), static_cast<UINT>(text.size()), nullptr);
    SelectObject(dc, oldFont);
  });
}

// The rows [0, h) of the text area of both pictures, pixel by pixel.
int Differences(const Picture &shown, const Picture &reference, int left, int height) {
  int n = 0;
  for (int y = 0; y < height; y++)
    for (int x = left; x < shown.width && x < reference.width; x++) n += shown.At(x, y) != reference.At(x, y);
  return n;
}

TEST_F(DoubleByteTest, AMixedRowLooksAsTheSystemDrawsIt) {
  // Spaces make runs of their own: each run starts where the widths of the
  // ones before it put it.
  const std::string line = "ab" + kWide + " c" + kLowTrail + " d" + Repeat(kWide, 5) + " e";
  SetText(line);
  const Picture shown = Render();
  shown.Save("dbcs-mixed");
  const Picture reference = Reference(ed()->textFont, shown.width, shown.height, ColumnLeft(0), line);
  EXPECT_EQ(Differences(shown, reference, 0, h()), 0);
  EXPECT_GT(shown.Count(0, 0, shown.width, h(), colors::kText), 0);

  // A selection edge set between the bytes of a pair: the pair is still
  // drawn whole (with the segment of its lead byte), so the ink of the row
  // keeps its shape.
  auto ink = [&](const Picture &p) {
    std::vector<bool> out;
    for (int y = 0; y < h(); y++)
      for (int x = 0; x < p.width; x++) out.push_back(p.At(x, y) == colors::kText || p.At(x, y) == colors::kSelText);
    return out;
  };
  Select(3, 8);
  const Picture selected = Render();
  selected.Save("dbcs-selected");
  EXPECT_EQ(ink(selected), ink(reference));
}

TEST_F(DoubleByteTest, ALongRowIsDrawnInPiecesThatKeepPairsWhole) {
  // The drawer takes a row in pieces of 512 bytes: with a single byte first,
  // the first piece ends between the bytes of a pair. Scrolled so that the
  // place shows.
  const std::string line = "x" + Repeat(kWide, 400);
  SetText(line);
  const int at = ColumnX(ed(), 0, 511);  // the pair the piece would cut
  int columns = (at - 200) / ed()->charWidth;
  ASSERT_GT(columns, 0);
  for (int i = 0; i < columns / 3; i++) SendMessageA(editor_, WM_HSCROLL, SB_LINERIGHT, 0);  // 3 columns each
  ASSERT_GT(ed()->hScroll, 0);
  const Picture shown = Render();
  shown.Save("dbcs-long");
  const int origin = ColumnLeft(0) - ed()->hScroll * ed()->charWidth;
  ASSERT_LT(at + origin, shown.width - ed()->maxCharWidth);
  const Picture reference = Reference(ed()->textFont, shown.width, shown.height, origin, line);
  EXPECT_EQ(Differences(shown, reference, 0, h()), 0);
}

// The tray tip is the caption cut to 127 bytes, never between a lead byte
// and its trail byte.
TEST_F(DoubleByteTest, TrayTipIsNeverCutInsideACharacter) {
  for (size_t ascii : {125u, 126u}) {
    for (const std::string &wide : {kWide, kLowTrail}) {
      std::string tip = std::string(ascii, 'a') + wide + "bc";
      CutAtCharacter(&tip[0], 127);
      EXPECT_EQ(strlen(tip.c_str()), ascii == 125 ? 127u : 126u) << ascii;
    }
  }
}

}  // namespace
