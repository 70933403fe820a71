// Layout and word wrap with a fixed-pitch font: where rows break, the limits
// of a row, the geometry of the gutter and the wrap width, and which lines an
// edit lays out anew.
#include <gtest/gtest.h>

#include <algorithm>

#include "document/position.h"
#include "document/text_store.h"
#include "editor/editor_layout.h"
#include "foundation/fault.h"
#include "tests/support/document_support.h"
#include "tests/win/editor_harness.h"

namespace {

using Rows = std::vector<u32>;

class WrapTest : public EditorTest {
 protected:
  // Word wrap on, with room for exactly `columns` characters per row (no
  // gutter, no left margin, no decorations: wrap width = text width - 5).
  void WrapAt(int columns) {
    SendMessageA(editor_, EDM_SETWORDWRAP, 1, 0);
    ResizeClient(columns * w() + 5, 20 * h());
    ASSERT_EQ(ed()->wrapWidth, columns * w());
  }
  Rows RowsOf(const std::string &text) {
    SetText(text);
    return RowLengths();
  }
};

TEST_F(WrapTest, SeparatorsHyphensAndTheTrailingSeparator) {
  WrapAt(5);
  // One space: it stays at the end of the first row.
  EXPECT_EQ(RowsOf("aaa bbb"), (Rows{4, 3}));
  // Three spaces: one ends the first row, two begin the next.
  EXPECT_EQ(RowsOf("aaa   bbb"), (Rows{4, 5}));
  // A line that fills the row but for one separator after a word (a row
  // made a line of its own) is one row; with two separators the second
  // begins the next.
  EXPECT_EQ(RowsOf("aaaaa "), (Rows{6}));
  EXPECT_EQ(RowsOf("aaaa-"), (Rows{5}));
  EXPECT_EQ(RowsOf("aaaa  "), (Rows{5, 1}));
  // A hyphenated word breaks after its hyphen.
  EXPECT_EQ(RowsOf("well-known"), (Rows{5, 5}));
  // Exactly filling the row is fitting.
  EXPECT_EQ(RowsOf("aa bb cc"), (Rows{6, 2}));
  // A tab is a separator, and as wide as it reaches: three characters that
  // would fit by their count do not.
  EXPECT_EQ(RowsOf("a\tb"), (Rows{2, 1}));
  // Hard lines wrap each on their own; the newline stays with the last row.
  EXPECT_EQ(RowsOf("aaa bbb\r\nc"), (Rows{4, 3, 1}));
  EXPECT_EQ(RowAt(&doc()->store, 1).newlineLength, 2);
  EXPECT_EQ(RowAt(&doc()->store, 0).newlineLength, 0);
}

TEST_F(WrapTest, WordsLongerThanTheRowAreCutWhereTheWidthRunsOut) {
  WrapAt(5);
  EXPECT_EQ(RowsOf("abcdefghijkl"), (Rows{5, 5, 2}));
  // After accepted words the long word first moves to a row of its own.
  EXPECT_EQ(RowsOf("ab abcdefghijkl"), (Rows{3, 5, 5, 2}));
  // Text that is too wide for even one character: one character a row.
  ResizeClient(3, 10 * h());
  EXPECT_EQ(ed()->wrapWidth, 1);
  EXPECT_EQ(RowsOf("aaa bbb"), (Rows{1, 1, 1, 1, 1, 1, 1}));
}

TEST_F(WrapTest, WrapMarginEndsRowsBeforeTheWordThatWouldPassIt) {
  SendMessageA(editor_, EDM_SETWORDWRAP, 1, 0);
  ResizeClient(80 * w() + 5, 10 * h());
  g_settings.opts.RWrap = 10 * w();
  Refresh(0x0004);
  EXPECT_EQ(ed()->wrapMargin, 10 * w());
  EXPECT_EQ(RowsOf("aaaa bbbb cccc dddd"), (Rows{10, 9}));
  EXPECT_EQ(RowsOf("aaaa bbbbb "), (Rows{11}));
  // A first word longer than the margin stays whole on its row.
  EXPECT_EQ(RowsOf("abcdefghijklmno pq rs"), (Rows{16, 5}));
  // Switched off by the sign, the margin is gone; the row is the window's.
  g_settings.opts.RWrap = -10 * w();
  Refresh(0x0004);
  EXPECT_EQ(RowLengths(), (Rows{21}));
}

TEST_F(WrapTest, TabsMoveToTheStopAfterXPlusOneCharacter) {
  g_settings.edit.Tab = 4;
  SetText("abc\tX\r\n\tY");
  const int stop = 4 * w();
  // "abc" ends one character before the stop: the tab fills that character.
  EXPECT_EQ(ColumnX(ed(), 0, 4), stop);
  // A tab one pixel before a stop jumps to the following one.
  EXPECT_EQ(MeasureRun(ed(), 1, 0, 1, stop - 1, -1, nullptr), stop + 1);
  // From a stop it goes a whole stop on.
  EXPECT_EQ(MeasureRun(ed(), 1, 0, 1, stop, -1, nullptr), stop);
  // From just past the last character width before the stop it also jumps.
  EXPECT_EQ(MeasureRun(ed(), 1, 0, 1, stop - w() + 1, -1, nullptr), 2 * stop - (stop - w() + 1));
  // Hit-testing agrees: the tab covers x 3w .. 4w - 1, X begins at 4w; past
  // the end is -1.
  EXPECT_EQ(CharAtX(ed(), 0, 3 * w()), 3);
  EXPECT_EQ(CharAtX(ed(), 0, stop - 1), 3);
  EXPECT_EQ(CharAtX(ed(), 0, stop), 4);
  EXPECT_EQ(CharAtX(ed(), 0, stop + w()), -1);
  // MeasureRun reports how far it got before the limit.
  u32 measured = 0;
  MeasureRun(ed(), 0, 0, 5, 0, 2 * w(), &measured);
  EXPECT_EQ(measured, 2u);
}

TEST_F(WrapTest, RowsNeverPassTheLongestRowWithOrWithoutWrap) {
  const u32 kMax = 1048576;
  std::string line(3000000, 'a');
  SetText(line + "\r\nb");
  // Without wrap: pieces of exactly the longest row, the rest last.
  EXPECT_EQ(RowLengths(), (Rows{kMax, kMax, 3000000 - 2 * kMax, 1}));
  EXPECT_EQ(HardLineCount(&doc()->store), 2u);
  // Line numbers count hard lines: the pieces are one line.
  EXPECT_EQ(RowHardLine(&doc()->store, 2), 0u);
  EXPECT_EQ(RowHardLine(&doc()->store, 3), 1u);
  // With wrap the same limit holds when the width would allow more: a
  // character that takes no room never fills a row.
  SendMessageA(editor_, EDM_SETWORDWRAP, 1, 0);
  ed()->glyphWidth['a'] = 0;
  Refresh(0x0008);
  EXPECT_EQ(RowLengths(), (Rows{kMax, kMax, 3000000 - 2 * kMax, 1}));
  // An edit in the middle lays the line out again under the same limit.
  SendMessageA(editor_, EDM_SETSELQUIET, 5, 5);
  SendMessageA(editor_, EDM_REPLACESEL, 2, reinterpret_cast<LPARAM>("aa"));
  EXPECT_EQ(RowLengths(), (Rows{kMax, kMax, 3000002 - 2 * kMax, 1}));
}

TEST_F(WrapTest, GutterGrowsAtTheHundredthLineAndTheRowsFollow) {
  g_settings.opts.LnNums = 1;
  SendMessageA(editor_, EDM_SETWORDWRAP, 1, 0);
  std::string lines;
  for (int i = 1; i < 99; i++) lines += "x\r\n";
  lines += "aaaa aaaa aaaa aaaa aaaaa";  // the 99th line: 25 characters
  SetText(lines);
  Refresh(0x0012);
  const int digit = ed()->digitWidth;
  EXPECT_EQ(ed()->gutterWidth, 2 * digit + 10);
  // Room for exactly 25 characters beside the two-digit gutter.
  ResizeClient(2 * digit + 10 + 25 * w() + 5, 10 * h());
  const u32 last = RowCount(&doc()->store) - 1;
  EXPECT_EQ(RowAt(&doc()->store, last).textLength, 25u) << "one row for the last line";
  // The hundredth line: a third digit, less room, the last line re-wrapped.
  SendMessageA(editor_, EDM_SETSELQUIET, 0, 0);
  SendMessageA(editor_, EDM_REPLACESEL, 3, reinterpret_cast<LPARAM>("x\r\n"));
  EXPECT_EQ(HardLineCount(&doc()->store), 100u);
  EXPECT_EQ(ed()->gutterWidth, 3 * digit + 10);
  const u32 rows = RowCount(&doc()->store);
  EXPECT_EQ(RowAt(&doc()->store, rows - 2).textLength, 20u);
  EXPECT_EQ(RowAt(&doc()->store, rows - 1).textLength, 5u);
}

TEST_F(WrapTest, LineLengthsAndVisibleNewlinesNarrowTheWrapWidth) {
  SendMessageA(editor_, EDM_SETWORDWRAP, 1, 0);
  ResizeClient(40 * w() + 5, 10 * h());
  const int plain = ed()->wrapWidth;
  g_settings.opts.PrnLens = 1;
  Refresh(116);
  EXPECT_EQ(ed()->decorationUnits, 5);
  EXPECT_EQ(ed()->wrapWidth, plain - 5 * ed()->maxCharWidth);
  g_settings.opts.PrnNlns = 1;
  Refresh(116);
  EXPECT_EQ(ed()->wrapWidth, plain - 6 * ed()->maxCharWidth);
  // The rows follow at once.
  const int room = ed()->wrapWidth / w();
  SetText(std::string(static_cast<size_t>(room) + 1, 'z'));
  EXPECT_EQ(RowLengths(), (Rows{static_cast<u32>(room), 1}));
}

TEST_F(WrapTest, AnEditLaysOutOnlyTheLinesItTouches) {
  WrapAt(10);
  SetText("aaaa bbbb cccc\r\naaaa bbbb cccc\r\naaaa bbbb cccc");
  EXPECT_EQ(RowLengths(), (Rows{10, 4, 10, 4, 10, 4}));
  // Make the layout parameters stale behind the view's back: only the line
  // an edit touches is laid out with the new width.
  ed()->wrapWidth = 5 * w();
  SendMessageA(editor_, EDM_SETSELQUIET, 18, 18);  // inside the second line
  SendMessageA(editor_, EDM_REPLACESEL, 1, reinterpret_cast<LPARAM>("a"));
  EXPECT_EQ(RowLengths(), (Rows{10, 4, 6, 5, 4, 10, 4}));
  // Back at the width of the other lines, a whole re-wrap must not take the
  // text for laid out already: the edited line was laid out differently.
  ed()->wrapWidth = 10 * w();
  Refresh(0x0004);
  EXPECT_EQ(RowLengths(), (Rows{10, 4, 11, 4, 10, 4}));
  // Joining two lines lays out the joined line.
  const u32 newline = static_cast<u32>(Text().find("\r\n"));
  SendMessageA(editor_, EDM_SETSELQUIET, newline, newline + 2);
  SendMessageA(editor_, EDM_REPLACESEL, 1, reinterpret_cast<LPARAM>(" "));
  EXPECT_EQ(Text().substr(0, 30), "aaaa bbbb cccc aaaaa bbbb cccc");
  EXPECT_EQ(RowLengths(), (Rows{10, 11, 9, 10, 4}));
}

TEST_F(WrapTest, RelayoutShowsRewrappingAndLongOnesShowProgress) {
  WrapAt(10);
  SetText("aaaa bbbb cccc");
  SendMessageA(editor_, EDM_SETSELQUIET, 2, 2);
  ClearNotices();
  SendMessageA(editor_, EDM_REPLACESEL, 1, reinterpret_cast<LPARAM>("x"));
  bool rewrapping = false;
  for (const Notice &n : Received(EDN_PROGRESSBEGIN)) rewrapping |= n.text == "Rewrapping..";
  EXPECT_TRUE(rewrapping);
  EXPECT_FALSE(Received(EDN_PROGRESSEND).empty());
  EXPECT_TRUE(Received(EDN_PROGRESS).empty()) << "one line needs no progress";

  std::string many;
  for (int i = 0; i < 40000; i++) many += "aaaa bbbb cccc\r\n";
  SetText(many);
  SendMessageA(editor_, EDM_SETWORDWRAP, 0, 0);
  ClearNotices();
  SendMessageA(editor_, EDM_SETWORDWRAP, 1, 0);
  std::vector<Notice> progress = Received(EDN_PROGRESS);
  ASSERT_FALSE(progress.empty());
  EXPECT_LE(progress.back().wParam, static_cast<WPARAM>(progress.back().lParam));
  EXPECT_EQ(Received(EDN_WORDWRAP).size(), 1u);
  EXPECT_EQ(RowCount(&doc()->store), 80001u);
}

// Memory failing at each allocation of a layout in turn: the layout reports
// it (0x500), the text and a sound row index stay, and with memory back the
// next layout gives the rows.
TEST_F(WrapTest, OutOfMemoryWhileWrappingKeepsTheTextAndTellsTheParent) {
  std::string text;
  for (int i = 0; i < 300; i++) text += "aaaa bbbb cccc\r\n";
  SetText(text);
  ResizeClient(10 * w() + 5, 20 * h());
  const std::vector<u32> unwrapped = RowLengths();
  int failures = 0;
  for (u32 n = 1;; n++) {
    SendMessageA(editor_, EDM_SETWORDWRAP, 0, 0);
    ASSERT_EQ(RowLengths(), unwrapped);
    ClearNotices();
    FaultInjector fi = {};
    FaultPlan(&fi, kFaultAlloc, n, true);
    {
      ScopedFaultInjector scope(&fi);
      SendMessageA(editor_, EDM_SETWORDWRAP, 1, 0);
    }
    ASSERT_TRUE(StoreOk(&doc()->store, false, true)) << n;
    ASSERT_EQ(Text(), text);
    std::vector<WORD> codes = CommandCodes();
    const bool reported = std::find(codes.begin(), codes.end(), 0x500) != codes.end();
    if (fi.fired[kFaultAlloc] == 0) {
      EXPECT_FALSE(reported);
      break;
    }
    EXPECT_TRUE(reported) << n;
    failures++;
    // Memory is back: re-wrapping lays the text out, although the failed
    // layout left the parameters of the new one in force.
    Refresh(0x0004);
    EXPECT_EQ(RowCount(&doc()->store), 601u) << n;
  }
  EXPECT_GT(failures, 0);
  EXPECT_EQ(RowCount(&doc()->store), 601u);
}

TEST_F(WrapTest, SwitchingWrapKeepsTheCaretAndItsDistanceFromTheTop) {
  std::string text;
  for (int i = 0; i < 100; i++) text += "aaaa bbbb cccc dddd\r\n";
  SetText(text);
  ResizeClient(10 * w() + 5, 10 * h());
  // The caret on line 50, four rows below the top.
  const u32 caret = 50 * 21 + 7;
  Select(caret, caret);
  SendMessageA(editor_, EDM_SETTOPOFFSET, static_cast<WPARAM>(-4), 0);
  ASSERT_EQ(ed()->topLine, 46u);
  SendMessageA(editor_, EDM_SETWORDWRAP, 1, 0);
  EXPECT_EQ(doc()->caret.position, caret);
  EXPECT_EQ(doc()->caret.row, 100u);  // two rows a line: "aaaa bbbb ", "cccc dddd"
  EXPECT_EQ(ed()->topLine, 96u);
  SendMessageA(editor_, EDM_SETWORDWRAP, 0, 0);
  EXPECT_EQ(doc()->caret.position, caret);
  EXPECT_EQ(ed()->topLine, 46u);
}

}  // namespace
