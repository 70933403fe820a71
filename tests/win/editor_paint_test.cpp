// Painting, checked by pixels: the editor renders through WM_PRINTCLIENT into
// a memory bitmap with a fixed-pitch font without anti-aliasing, and the
// tests look at the colours of known cells.
#include <gtest/gtest.h>

#include <algorithm>

#include "document/position.h"
#include "document/text_store.h"
#include "editor/editor_caches.h"
#include "editor/editor_paint.h"
#include "tests/win/editor_harness.h"

namespace {

using namespace colors;

class PaintTest : public EditorTest {
 protected:
  // The cell of a character: column and visible row.
  struct Cell {
    int left, top, right, bottom;
  };
  Cell At(int column, int row) const {
    return {ColumnLeft(column), RowTop(row), ColumnLeft(column) + w(), RowTop(row) + h()};
  }
  // Pixels of a colour in a cell.
  int In(const Picture &p, Cell c, COLORREF color) const { return p.Count(c.left, c.top, c.right, c.bottom, color); }
  // The cell's background: its top pixel row, above every glyph.
  COLORREF BackOf(const Picture &p, Cell c) const { return p.At(c.left + w() / 2, c.top); }
};

TEST_F(PaintTest, SelectionOverThreeRowsWithTheCurrentLineBand) {
  g_settings.edit.CurrLn = 1;
  SetText("abcdef\r\nghijkl\r\nmnopqr\r\nstu");
  // From "c" on the first row to before "p" on the third.
  Select(2, 19);
  Picture p = Render();
  p.Save("selection");
  // Before the selection: the band; selected characters: the selection
  // background with the selected text colour.
  EXPECT_EQ(BackOf(p, At(1, 0)), kCurrent);
  EXPECT_GT(In(p, At(1, 0), kText), 0);
  for (int c = 2; c < 6; c++) {
    EXPECT_EQ(BackOf(p, At(c, 0)), kSelBack) << c;
    EXPECT_GT(In(p, At(c, 0), kSelText), 0) << c;
    EXPECT_EQ(In(p, At(c, 0), kText), 0) << c;
  }
  // The newline of the first two rows is selected: a selection-coloured cell
  // right after the last character; after it the band goes on.
  const int cell = ed()->glyphWidth[0xB6];
  for (int row = 0; row < 2; row++) {
    EXPECT_TRUE(p.All(ColumnLeft(6), RowTop(row), ColumnLeft(6) + cell, RowTop(row) + h(), kSelBack)) << row;
    EXPECT_TRUE(p.All(ColumnLeft(6) + cell, RowTop(row), p.width, RowTop(row) + h(), kCurrent)) << row;
  }
  // The third row: selected up to "p", then the band; its newline is not
  // selected.
  EXPECT_EQ(BackOf(p, At(2, 2)), kSelBack);
  EXPECT_EQ(BackOf(p, At(3, 2)), kCurrent);
  EXPECT_GT(In(p, At(3, 2), kText), 0);
  EXPECT_TRUE(p.All(ColumnLeft(6), RowTop(2), p.width, RowTop(2) + h(), kCurrent));
  // The fourth row is outside the selection: plain background.
  EXPECT_TRUE(p.All(ColumnLeft(3), RowTop(3), p.width, RowTop(3) + h(), kBack));
  // Below the text the background goes on.
  EXPECT_TRUE(p.All(0, RowTop(4), p.width, p.height, kBack));

  // Without the band setting the unselected parts are plain.
  g_settings.edit.CurrLn = 0;
  Picture q = Render();
  EXPECT_EQ(BackOf(q, At(1, 0)), kBack);
  EXPECT_EQ(BackOf(q, At(2, 0)), kSelBack);
}

TEST_F(PaintTest, ColorizedPunctuationAndSelectedTextInOneColour) {
  g_settings.opts.TxtClrz = 1;
  SetText("a+b");
  Picture p = Render();
  EXPECT_GT(In(p, At(0, 0), kText), 0);
  EXPECT_EQ(In(p, At(0, 0), kColorized), 0);
  EXPECT_GT(In(p, At(1, 0), kColorized), 0);
  EXPECT_EQ(In(p, At(1, 0), kText), 0);
  EXPECT_GT(In(p, At(2, 0), kText), 0);
  // Selected: no colorizing.
  Select(0, 3);
  Picture q = Render();
  for (int c = 0; c < 3; c++) {
    EXPECT_GT(In(q, At(c, 0), kSelText), 0) << c;
    EXPECT_EQ(In(q, At(c, 0), kColorized), 0) << c;
  }
  // Switched off, the sign is text like the letters.
  g_settings.opts.TxtClrz = 0;
  Select(0, 0);
  Picture r = Render();
  EXPECT_GT(In(r, At(1, 0), kText), 0);
  EXPECT_EQ(In(r, At(1, 0), kColorized), 0);
}

TEST_F(PaintTest, LineNumbersOnlyOnTheFirstRowOfEachLine) {
  g_settings.opts.LnNums = 1;
  SendMessageA(editor_, EDM_SETWORDWRAP, 1, 0);
  SetText("aaaa bbbb cccc dddd eeee\r\nx\r\n");
  Refresh(0x0012);
  const int gutter = ed()->gutterWidth;
  ASSERT_EQ(gutter, 2 * ed()->digitWidth + 10);
  ResizeClient(gutter + 10 * w() + 5, 10 * h());
  ASSERT_EQ(RowCount(&doc()->store), 5u);  // 3 rows, then "x", then the empty last line
  Picture p = Render();
  p.Save("gutter");
  auto digits = [&](int row) { return p.Count(0, RowTop(row), gutter - 1, RowTop(row) + h(), kGutterText); };
  EXPECT_GT(digits(0), 0);
  EXPECT_EQ(digits(1), 0);
  EXPECT_EQ(digits(2), 0);
  EXPECT_GT(digits(3), 0);
  EXPECT_GT(digits(4), 0);
  // "2" and "3" are told apart from "1": the numbers are the line numbers.
  EXPECT_NE(digits(0), digits(3));
  // The numbers stand right-aligned 5 pixels left of the gutter's edge.
  EXPECT_EQ(p.Count(gutter - 5, 0, gutter, p.height, kGutterText), 0);
  // The gutter's background and its border on the right edge, down to the
  // bottom of the window.
  EXPECT_EQ(p.At(1, RowTop(1) + 1), kGutterBack);
  EXPECT_EQ(p.At(gutter - 1, RowTop(1)), kGutterBorder);
  EXPECT_EQ(p.At(gutter - 1, p.height - 1), kGutterBorder);
  EXPECT_EQ(p.At(1, p.height - 1), kGutterBack);
}

TEST_F(PaintTest, UrlsAndHighlightersWithTheirOrderOfPrecedence) {
  g_settings.opts.Urls = 1;
  SetText("see http://example.com/x now see");
  // The URL's cells: the URL colour and the underline of the auxiliary font.
  Picture p = Render();
  p.Save("url");
  const int url0 = 4, urlEnd = 4 + 20;
  for (int c = url0; c < urlEnd; c++) EXPECT_EQ(In(p, At(c, 0), kText), 0) << c;
  EXPECT_GT(In(p, At(url0, 0), kUrl), 0);
  EXPECT_EQ(In(p, At(2, 0), kUrl), 0);
  // The underline runs under every cell of the URL, spaces of the text around
  // it have none.
  int underlineRow = -1;
  for (int y = RowTop(1) - 1; y > RowTop(0) && underlineRow < 0; y--)
    if (p.All(ColumnLeft(url0), y, ColumnLeft(urlEnd), y + 1, kUrl)) underlineRow = y;
  EXPECT_GE(underlineRow, 0);
  if (underlineRow >= 0) EXPECT_EQ(p.Count(ColumnLeft(3), underlineRow, ColumnLeft(4), underlineRow + 1, kUrl), 0);
  // A URL inside search highlighter 1: its background, the URL's colour.
  SendMessageA(editor_, EDM_SETHIGHLIGHT1, 0, 15);
  Picture q = Render();
  EXPECT_EQ(BackOf(q, At(1, 0)), kHiF1);
  EXPECT_EQ(BackOf(q, At(6, 0)), kHiF1);
  EXPECT_GT(In(q, At(url0, 0), kUrl), 0);
  EXPECT_EQ(BackOf(q, At(16, 0)), kBack);
  // Highlighter 2 under highlighter 1: 1 wins where both are; the selection
  // highlighter wins over both.
  SendMessageA(editor_, EDM_SETHIGHLIGHT2, 10, 26);
  // The selection highlighter, as a selection by the keyboard would set it:
  // the last "see" selected marks the first one.
  g_settings.opts.HiliSel = 1;
  Select(29, 32);
  CheckSelectionHighlighter(ed());
  Picture r = Render();
  r.Save("highlighters");
  EXPECT_EQ(BackOf(r, At(12, 0)), kHiF1);
  EXPECT_EQ(BackOf(r, At(16, 0)), kHiF2);
  EXPECT_EQ(BackOf(r, At(0, 0)), kHiSel);
  EXPECT_EQ(BackOf(r, At(2, 0)), kHiSel);
  EXPECT_EQ(BackOf(r, At(3, 0)), kHiF1);
  EXPECT_EQ(BackOf(r, At(29, 0)), kSelBack);
  // An empty range marks nothing.
  SendMessageA(editor_, EDM_CLEARHIGHLIGHT1, 0, 0);
  SendMessageA(editor_, EDM_SETHIGHLIGHT1, 5, 5);
  Picture s = Render();
  EXPECT_EQ(BackOf(s, At(5, 0)), kBack);
  EXPECT_EQ(BackOf(s, At(12, 0)), kHiF2);
}

TEST_F(PaintTest, VisibleTabsSpacesAndTheThreeNewlineMarks) {
  g_settings.opts.PrnTabs = g_settings.opts.PrnSpcs = g_settings.opts.PrnNlns = 1;
  SetText("a\tb c\xA0" "d\r\ne\nf\rg");
  Picture p = Render();
  p.Save("marks");
  // The tab's arrow across its span, in the mark colour.
  EXPECT_GT(p.Count(ColumnLeft(1), RowTop(0), ColumnLeft(8), RowTop(1), kMarks), 7 * w() / 2);
  // A space and a non-breaking space: each has a mark, and not the same one.
  // Which pixels of a box of the given width at a column are marks.
  auto marks = [&](int column, int row, int width) {
    std::vector<bool> bits;
    for (int y = RowTop(row); y < RowTop(row) + h(); y++)
      for (int x = ColumnLeft(column); x < ColumnLeft(column) + width; x++) bits.push_back(p.At(x, y) == kMarks);
    return bits;
  };
  const std::vector<bool> space = marks(9, 0, w()), nbsp = marks(11, 0, w());
  EXPECT_GT(In(p, At(9, 0), kMarks), 0);
  EXPECT_GT(In(p, At(11, 0), kMarks), 0);
  EXPECT_NE(space, nbsp);
  // The three newline types each have their mark, all different, each inside
  // its cell.
  const int cell = ed()->glyphWidth[0xB6];
  const std::vector<bool> crlf = marks(13, 0, cell), lf = marks(1, 1, cell), cr = marks(1, 2, cell);
  for (const auto *m : {&crlf, &lf, &cr}) EXPECT_NE(std::count(m->begin(), m->end(), true), 0);
  EXPECT_NE(crlf, lf);
  EXPECT_NE(crlf, cr);
  EXPECT_NE(lf, cr);
  // Nothing of them spills past the cell, and the last line has none.
  EXPECT_EQ(p.Count(ColumnLeft(1) + cell, RowTop(1), p.width, RowTop(3), kMarks), 0);
  EXPECT_EQ(p.Count(ColumnLeft(1), RowTop(3), p.width, RowTop(4), kMarks), 0);
  // Switched off: no marks anywhere.
  g_settings.opts.PrnTabs = g_settings.opts.PrnSpcs = g_settings.opts.PrnNlns = 0;
  Picture q = Render();
  EXPECT_EQ(q.Count(0, 0, q.width, q.height, kMarks), 0);
}

TEST_F(PaintTest, LineLengthsAndTheWrapMarginLine) {
  g_settings.opts.PrnLens = 1;
  g_settings.opts.RWrap = 20 * w();
  Refresh(116);
  SetText("abc\r\nabcdefghijkl");
  Picture p = Render();
  p.Save("lengths");
  // The length figure stands one character plus one pixel after the text and
  // the newline cell.
  const int cell = ed()->glyphWidth[0xB6];
  const int at = ColumnLeft(3) + cell + w() + 1;
  EXPECT_EQ(p.Count(ColumnLeft(3), RowTop(0), at, RowTop(1), kMarks), 0);
  EXPECT_GT(p.Count(at, RowTop(0), at + w(), RowTop(1), kMarks), 0);
  // Two digits for the second line, after its text (no newline cell).
  const int at2 = ColumnLeft(12) + w() + 1;
  EXPECT_GT(p.Count(at2 + w(), RowTop(1), at2 + 2 * w(), RowTop(2), kMarks), 0);
  // The margin line, over every row and below the text.
  const int x = ColumnLeft(0) + 20 * w();
  EXPECT_TRUE(p.All(x, 0, x + 1, p.height, kWrapLine));
  EXPECT_EQ(p.Count(0, 0, x, p.height, kWrapLine), 0);
  // Off (by its sign): no line.
  g_settings.opts.RWrap = -20 * w();
  Picture q = Render();
  EXPECT_EQ(q.Count(0, 0, q.width, q.height, kWrapLine), 0);
}

TEST_F(PaintTest, OverhangingGlyphsSurviveTheNeighbouringBackground) {
  // An italic font leans its glyphs into the next cell. The selected "W"
  // keeps the part that reaches into the highlighted cell after it.
  HFONT italic = MakeTestFont(16, false, true);
  SendMessageA(editor_, EDM_SETFONTS, reinterpret_cast<WPARAM>(italic), 0);
  SetText("aWWWa");
  Select(1, 2);
  SendMessageA(editor_, EDM_SETHIGHLIGHT1, 2, 4);
  Picture p = Render();
  p.Save("overhang");
  // The overhang of the selected W in the cell after it: selected-text pixels
  // on the highlighter's background.
  Cell next = At(2, 0);
  EXPECT_GT(In(p, next, kSelText), 0);
  EXPECT_EQ(BackOf(p, next), kHiF1);
  SendMessageA(editor_, EDM_SETFONTS, reinterpret_cast<WPARAM>(font_), reinterpret_cast<LPARAM>(auxFont_));
  DeleteObject(italic);
}

TEST_F(PaintTest, HorizontalScrollMovesTheTextAndTabStopsWithIt) {
  g_settings.edit.Tab = 4;
  SetText("\tX");
  Picture p = Render();
  EXPECT_GT(In(p, At(4, 0), kText), 0);
  EXPECT_EQ(In(p, At(0, 0), kText), 0);
  SendMessageA(editor_, WM_HSCROLL, SB_LINERIGHT, 0);
  ASSERT_EQ(ed()->hScroll, 3);
  Picture q = Render();
  // Three columns of the column unit (average width + 1) to the left.
  const int shift = 3 * ed()->charWidth;
  EXPECT_GT(q.Count(ColumnLeft(4) - shift, 0, ColumnLeft(5) - shift, h(), kText), 0);
  EXPECT_EQ(q.Count(ColumnLeft(5) - shift, 0, q.width, h(), kText), 0);
  // Far to the right in a long line: what is left of the window is not
  // drawn, but it still counts for the places of what is.
  std::string line = "\t";
  for (int i = 0; i < 40; i++) line += "abc\t";
  line += "X";
  SetText(line);
  SetScrollPos(editor_, SB_HORZ, 110, FALSE);
  SendMessageA(editor_, WM_HSCROLL, SB_THUMBTRACK, 0);
  ASSERT_EQ(ed()->hScroll, 110);
  Picture r = Render();
  // X stands at the 41st tab stop after the first: column 4 * 41.
  const int x = ColumnLeft(4 * 41) - 110 * ed()->charWidth;
  ASSERT_GT(x, 0);
  ASSERT_LT(x + w(), r.width);
  EXPECT_GT(r.Count(x, 0, x + w(), h(), kText), 0);
  EXPECT_EQ(r.Count(x + w(), 0, r.width, h(), kText), 0);
  EXPECT_GT(r.Count(0, 0, x, h(), kText), 0) << "the abc groups before it";
}

// The lengths of the runs the text is cut into; with `lead`, by the
// double-byte code page whose lead bytes it marks.
std::vector<u32> RunLengths(const std::string &text, bool colorize, const u8 *lead = nullptr) {
  std::vector<u32> out;
  const u32 n = static_cast<u32>(text.size());
  for (u32 i = 0; i < n;) {
    u32 end = lead ? DrawRunEndPairs(text.data(), n, i, colorize, lead) : DrawRunEnd(text.data(), n, i, colorize);
    out.push_back(end - i);
    i = end;
  }
  return out;
}
using Runs = std::vector<u32>;

TEST(DrawRuns, WhereRunsEnd) {
  auto runs = [](const std::string &text, bool colorize) { return RunLengths(text, colorize); };
  // Spaces, tabs and control characters stand alone.
  EXPECT_EQ(runs("ab cd\tef\x01gh\x7f", false), (Runs{2, 1, 2, 1, 2, 1, 2, 1}));
  EXPECT_EQ(runs("\x01\x02", false), (Runs{1, 1}));
  // Colorizing cuts where word characters and the others meet.
  EXPECT_EQ(runs("a+b==c", false), (Runs{6}));
  EXPECT_EQ(runs("a+b==c", true), (Runs{1, 1, 1, 2, 1}));
  // Long runs: 384 characters at most; beyond 256 the last place where two
  // bytes below 128 meet.
  EXPECT_EQ(runs(std::string(1000, 'a'), false), (Runs{256, 256, 256, 232}));
  std::string wide;
  for (int i = 0; i < 200; i++) wide += "\x93\x94";  // bytes from 128 up, as double-byte characters are
  EXPECT_EQ(runs(std::string(100, 'a') + wide, false), (Runs{99, 384, 17}))
      << "cut between the last two a, then after 384 in any case";
  std::string mixed = std::string(250, 'a') + std::string(20, '\xE9') + std::string(40, 'b');
  EXPECT_EQ(runs(mixed, false), (Runs{249, 61})) << "the last safe place before 256";
}

TEST(DrawRuns, PairsOfADoubleByteCodePageStayWhole) {
  // Lead bytes made up for the test: 0x93, 0xA0 (a space in code page 1252)
  // and 0xE9.
  u8 lead[256] = {};
  lead[0x93] = lead[0xA0] = lead[0xE9] = 1;
  auto runs = [&](const std::string &text, bool colorize) { return RunLengths(text, colorize, lead); };
  std::string wide;
  for (int i = 0; i < 200; i++) wide += "\x93\x94";
  EXPECT_EQ(runs(std::string(100, 'a') + wide, false), (Runs{99, 385, 16}))
      << "the cut after 384 characters moves past the pair it would split";
  std::string mixed = std::string(250, 'a') + std::string(20, '\xE9') + std::string(40, 'b');
  EXPECT_EQ(runs(mixed, false), (Runs{249, 61}));
  // A pair is one ordinary character of the word class, whatever its bytes
  // are alone: a space-class lead byte, a trail byte that is a tab or "+".
  EXPECT_EQ(runs("x\xA0" "Ay", false), (Runs{4}));
  EXPECT_EQ(runs("x\x93\ty", false), (Runs{4}));
  EXPECT_EQ(runs("a+\x93\x94+b", true), (Runs{1, 1, 2, 1, 1}));
  EXPECT_EQ(runs("a+\x93+b", true), (Runs{1, 1, 3})) << "the + after the lead byte is its trail byte";
  // A lead byte before a newline or at the end of the piece stands alone.
  EXPECT_EQ(runs("\xA0\r\xA0\n", false), (Runs{1, 1, 1, 1}));
  EXPECT_EQ(runs("ab\x93", false), (Runs{3}));
}

TEST_F(PaintTest, AScreenshotOfEverythingAtOnce) {
  // Not a check of its own: a picture to look at.
  g_settings.opts.LnNums = g_settings.opts.TxtClrz = g_settings.opts.Urls = 1;
  g_settings.opts.PrnTabs = g_settings.opts.PrnSpcs = g_settings.opts.PrnNlns = g_settings.opts.PrnLens = 1;
  g_settings.edit.CurrLn = 1;
  g_settings.edit.LMargin = 8;
  g_settings.opts.RWrap = 40 * w();
  SendMessageA(editor_, EDM_SETWORDWRAP, 1, 0);
  Refresh(998);
  SetText("int main(void) {\r\n\treturn printf(\"see http://example.com/a?b=1, ok\\n\");\r\n}\n"
          "a line that is long enough to wrap at the window's right edge, with a-hyphenated-word in it\r"
          "last\xA0line  with  spaces");
  SendMessageA(editor_, EDM_SETHIGHLIGHT1, 4, 8);
  SendMessageA(editor_, EDM_SETHIGHLIGHT2, 25, 31);
  Select(60, 90);
  Picture p = Render();
  p.Save("everything");
  EXPECT_GT(p.Count(0, 0, p.width, p.height, kSelBack), 0);
}

}  // namespace

// Runs of one colour with plain spaces between them are handed to the system
// together when the font allows it; the picture must be the one that the runs
// drawn one by one give. With the test's fixed-pitch font and with a
// proportional, smoothed one (which this system may find unfit).
TEST_F(PaintTest, RunsDrawnTogetherLookAsDrawnOneByOne) {
  const char *kText =
      "int main(void)  { return a+b; }  \xA0 x  y\r\n"
      "  see http://example.com/a?b=c  and  www.example.org.\r\n"
      "\tword  word\x01word \x7f end   \r\n"
      "the quick brown fox jumps over the lazy dog, THE QUICK BROWN FOX";
  HFONT smooth = CreateFontA(-15, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             ANTIALIASED_QUALITY, VARIABLE_PITCH | FF_SWISS, "Tahoma");
  HFONT smoothLink = CreateFontA(-15, 0, 0, 0, FW_NORMAL, 0, 1, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH | FF_SWISS, "Tahoma");
  struct Font {
    HFONT text, link;
  };
  for (Font font : {Font{font_, auxFont_}, Font{smooth, smoothLink}}) {
    SendMessageA(editor_, EDM_SETFONTS, reinterpret_cast<WPARAM>(font.text), reinterpret_cast<LPARAM>(font.link));
    if (font.text == font_) ASSERT_TRUE(ed()->batchRuns) << "the fixed-pitch font draws runs together";
    if (!ed()->batchRuns) continue;
    for (int setup = 0; setup < 6; setup++) {
      SettingsBlock &g = g_settings;
      g.opts.TxtClrz = setup & 1;
      g.opts.Urls = setup >= 2;
      g.opts.PrnSpcs = setup == 5;
      SetText(kText);
      Refresh(0xFFFF);
      // A selection across runs and spaces (drawn opaque, in two passes).
      if (setup >= 3) Select(5, 60);
      if (setup == 4) {
        g.opts.HiliSel = 1;
        Select(10, 14);  // "void": the other "word"s are not it, "main" neither
      }
      Picture together = Render();
      ed()->batchRuns = false;
      Picture apart = Render();
      ed()->batchRuns = true;
      ASSERT_EQ(together.pixels.size(), apart.pixels.size());
      size_t differing = 0;
      for (size_t k = 0; k < together.pixels.size(); k++) differing += together.pixels[k] != apart.pixels[k];
      EXPECT_EQ(differing, 0u) << "setup " << setup << (font.text == smooth ? " (smoothed font)" : "");
      g.opts.HiliSel = 0;
    }
  }
  SendMessageA(editor_, EDM_SETFONTS, reinterpret_cast<WPARAM>(font_), reinterpret_cast<LPARAM>(auxFont_));
  DeleteObject(smooth);
  DeleteObject(smoothLink);
}

// A font that draws "BROWN FOX" otherwise than "BROWN" and "FOX" at their
// measured places keeps its runs apart.
TEST_F(PaintTest, RunsStayApartWhenTheFontDrawsStringsOtherwise) {
  for (int quality : {NONANTIALIASED_QUALITY, ANTIALIASED_QUALITY}) {
    for (const char *face : {"Tahoma", "Courier New", "MS Sans Serif"}) {
      HFONT font = CreateFontA(-15, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, static_cast<BYTE>(quality), DEFAULT_PITCH, face);
      SendMessageA(editor_, EDM_SETFONTS, reinterpret_cast<WPARAM>(font), 0);
      // Both ways into a bitmap.
      std::vector<COLORREF> pictures[2];
      for (int way = 0; way < 2; way++) {
        pictures[way] = DrawPicture(300, 40, [&](HDC dc) {
                          HGDIOBJ oldFont = SelectObject(dc, font);
                          RECT all = {0, 0, 300, 40};
                          FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
                          SetBkMode(dc, TRANSPARENT);
                          if (way == 0) {
                            TextOutA(dc, 4, 4, "BROWN FOX", 9);
                          } else {
                            int x = 4;
                            for (const char *c = "BROWN"; *c; c++) x += ed()->glyphWidth[static_cast<u8>(*c)];
                            TextOutA(dc, 4, 4, "BROWN", 5);
                            TextOutA(dc, x + ed()->glyphWidth[' '], 4, "FOX", 3);
                          }
                          SelectObject(dc, oldFont);
                        }).pixels;
      }
      if (pictures[0] != pictures[1]) EXPECT_FALSE(ed()->batchRuns) << face << " " << quality;
      SendMessageA(editor_, EDM_SETFONTS, reinterpret_cast<WPARAM>(font_), reinterpret_cast<LPARAM>(auxFont_));
      DeleteObject(font);
    }
  }
}

// The check of a zoomed font goes through bitmaps of bounded size in pieces;
// a font too big for even one character in them keeps its runs apart.
TEST_F(PaintTest, ZoomedFontsAreCheckedInPieces) {
  for (int height : {150, 5000}) {
    HFONT big = CreateFontA(-height, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New");
    SendMessageA(editor_, EDM_SETFONTS, reinterpret_cast<WPARAM>(big), 0);
    EXPECT_EQ(ed()->batchRuns, height == 150) << height;
    SendMessageA(editor_, EDM_SETFONTS, reinterpret_cast<WPARAM>(font_), reinterpret_cast<LPARAM>(auxFont_));
    DeleteObject(big);
  }
}
