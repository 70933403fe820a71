// Scrolling and the caret: the margins kept around the caret, every scroll
// code, the scroll bars, the wheel with its accumulators and Alt-zoom, the
// system caret's shape and visibility, and the input-method window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "document/text_store.h"
#include "resources/resource.h"
#include "tests/win/editor_harness.h"

#include <imm.h>

namespace {

class ScrollTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    std::string text;
    for (int i = 0; i < 100; i++) text += "line " + std::to_string(i) + "\r\n";
    SetText(text);  // 101 rows, 20 visible
    ASSERT_EQ(ed()->visibleRows, 20);
  }
  // The start of a line of the text above.
  u32 LineStart(u32 line) const {
    u32 p = 0;
    for (u32 i = 0; i < line; i++) p += static_cast<u32>(("line " + std::to_string(i) + "\r\n").size());
    return p;
  }
  void Focus() {
    SetForegroundWindow(parent_);
    SetFocus(editor_);
    ASSERT_EQ(GetFocus(), editor_);
  }
  void VScroll(int code) { SendMessageA(editor_, WM_VSCROLL, static_cast<WPARAM>(code), 0); }
  void HScroll(int code) { SendMessageA(editor_, WM_HSCROLL, static_cast<WPARAM>(code), 0); }
  void Wheel(int delta, WORD keys = 0, bool horizontal = false) {
    SendMessageA(editor_, horizontal ? WM_MOUSEHWHEEL : WM_MOUSEWHEEL,
                 MAKEWPARAM(keys, static_cast<WORD>(static_cast<short>(delta))), 0);
  }
  SCROLLINFO Bar(int bar) const {
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(editor_, bar, &si);
    return si;
  }
  static int SystemValue(UINT what) {
    UINT n = 3;
    SystemParametersInfoA(what, 0, &n, 0);
    return static_cast<int>(n);
  }
};

TEST_F(ScrollTest, KeepYKeepsRowsBetweenTheCaretAndTheEdges) {
  g_settings.edit.KeepY = 3;
  for (u32 line = 0; line <= 30; line++) Select(LineStart(line), LineStart(line));
  // Three rows stay below the caret: it is on the 17th of 20 visible rows.
  EXPECT_EQ(ed()->topLine, 30u - 20 + 1 + 3);
  // Going up, three rows stay above it.
  for (u32 line = 30; line >= 10; line--) Select(LineStart(line), LineStart(line));
  EXPECT_EQ(ed()->topLine, 10u - 3);
  // A margin of more than half the rows is half the rows.
  g_settings.edit.KeepY = 20;
  Select(LineStart(40), LineStart(40));
  EXPECT_EQ(ed()->topLine, 40u - 20 + 1 + 10);
  // Upwards too, as far as an even row count allows: ten rows stay below the
  // caret and nine above it.
  Select(LineStart(25), LineStart(25));
  EXPECT_EQ(ed()->topLine, 25u - 9);
  // At the very top no margin can be kept.
  Select(0, 0);
  EXPECT_EQ(ed()->topLine, 0u);
}

TEST_F(ScrollTest, KeepXKeepsColumnsBetweenTheCaretAndTheSides) {
  g_settings.edit.KeepX = 5;
  SetText(std::string(300, 'x'));
  const int kx = 5 * ed()->maxCharWidth;
  auto caretX = [&] { return static_cast<int>(doc()->caret.column) * w() - ed()->hScroll * ed()->charWidth; };
  for (u32 c = 0; c <= 150; c += 7) {
    Select(c, c);
    ASSERT_GE(ed()->textWidth - caretX(), kx) << c;
  }
  // Scrolled no further than needed: one more column would have done.
  EXPECT_LT(ed()->textWidth - caretX(), kx + ed()->charWidth);
  const int scrolled = ed()->hScroll;
  for (u32 c = 150; c >= 60; c -= 9) {
    Select(c, c);
    ASSERT_GE(caretX(), kx) << c;
  }
  EXPECT_LT(ed()->hScroll, scrolled);
  EXPECT_LT(caretX(), kx + ed()->charWidth);
  Select(0, 0);
  EXPECT_EQ(ed()->hScroll, 0);
}

// A scroll code and where the view stands after it.
struct ScrollStep {
  int code;
  int then;
};

TEST_F(ScrollTest, EveryScrollCode) {
  // 256 and 255 are five lines down and up; up from the top stays there.
  for (ScrollStep step : {ScrollStep{SB_LINEDOWN, 1}, {256, 6}, {255, 1}, {SB_LINEUP, 0}, {SB_LINEUP, 0},
                          {SB_PAGEDOWN, 20}, {SB_PAGEUP, 0}}) {
    VScroll(step.code);
    EXPECT_EQ(ed()->topLine, static_cast<u32>(step.then)) << step.code;
  }
  // The bottom puts the last line on the last visible row.
  VScroll(SB_BOTTOM);
  EXPECT_EQ(ed()->topLine + 20 - 1, RowCount(&doc()->store) - 1);
  VScroll(256);
  EXPECT_EQ(ed()->topLine + 20 - 1, RowCount(&doc()->store) - 1);
  // Thumb position and end of scrolling do nothing; tracking takes the
  // thumb's place.
  VScroll(SB_TOP);
  SetScrollPos(editor_, SB_VERT, 40, FALSE);
  VScroll(SB_THUMBPOSITION);
  VScroll(SB_ENDSCROLL);
  EXPECT_EQ(ed()->topLine, 0u);
  VScroll(SB_THUMBTRACK);
  EXPECT_EQ(ed()->topLine, 40u);

  // Sideways a line is three columns, 256 and 255 fifteen.
  SetText(std::string(500, 'y'));
  for (ScrollStep step : {ScrollStep{SB_LINERIGHT, 3}, {256, 18}, {255, 3}, {SB_LINELEFT, 0}, {SB_LINELEFT, 0},
                          {SB_PAGERIGHT, ed()->visibleColumns}, {SB_PAGELEFT, 0}}) {
    HScroll(step.code);
    EXPECT_EQ(ed()->hScroll, step.then) << step.code;
  }
  // The right end brings the end of the range to the right edge.
  HScroll(SB_RIGHT);
  SCROLLINFO right = Bar(SB_HORZ);
  EXPECT_EQ(right.nMax, 1024);
  EXPECT_EQ(ed()->hScroll + static_cast<int>(right.nPage) - 1, right.nMax);
  HScroll(SB_LEFT);
  EXPECT_EQ(ed()->hScroll, 0);
}

TEST_F(ScrollTest, TheRefreshOfTheHorizontalRangeLetsTheLastLineReachTheTop) {
  const u32 last = RowCount(&doc()->store) - 1;
  ed()->topLine = last;
  Refresh(0x0200);
  EXPECT_EQ(ed()->topLine, last);
  // Any ordinary scroll brings the last line back to the bottom.
  VScroll(SB_LINEUP);
  EXPECT_EQ(ed()->topLine + 20 - 1, last);
}

TEST_F(ScrollTest, ScrollBarsDescribeTheViewAndAreSetOnlyWhenThatChanges) {
  SCROLLINFO v = Bar(SB_VERT);
  EXPECT_EQ(v.nMin, 0);
  EXPECT_EQ(v.nMax, 100);
  EXPECT_EQ(v.nPage, 20u);
  EXPECT_EQ(v.nPos, 0);
  SCROLLINFO hz = Bar(SB_HORZ);
  EXPECT_EQ(hz.nMax, 1024);
  EXPECT_EQ(static_cast<int>(hz.nPage), ed()->visibleColumns);
  // Someone else moves the thumb: a repaint that changes nothing in the view
  // leaves the bar alone.
  SetScrollPos(editor_, SB_VERT, 7, FALSE);
  InvalidateRect(editor_, nullptr, FALSE);
  UpdateWindow(editor_);
  EXPECT_EQ(Bar(SB_VERT).nPos, 7);
  // A real change sets it.
  VScroll(SB_LINEDOWN);
  EXPECT_EQ(Bar(SB_VERT).nPos, 1);
  // Line lengths reserve room at the right: the range grows by them.
  g_settings.opts.PrnLens = 1;
  Refresh(116);
  EXPECT_EQ(Bar(SB_HORZ).nMax, 1024 + 5);
  // A short text: the range covers the page from the top line.
  SetText("one\r\ntwo");
  EXPECT_EQ(Bar(SB_VERT).nMax, 19);
}

TEST_F(ScrollTest, WordWrapHasNoHorizontalScrollOrBar) {
  HScroll(SB_LINERIGHT);
  ASSERT_EQ(ed()->hScroll, 3);
  EXPECT_TRUE(GetWindowLongA(editor_, GWL_STYLE) & WS_HSCROLL);
  SendMessageA(editor_, EDM_SETWORDWRAP, 1, 0);
  EXPECT_EQ(ed()->hScroll, 0);
  EXPECT_FALSE(GetWindowLongA(editor_, GWL_STYLE) & WS_HSCROLL);
  HScroll(SB_LINERIGHT);
  Wheel(120, 0, true);
  EXPECT_EQ(ed()->hScroll, 0);
  SendMessageA(editor_, EDM_SETWORDWRAP, 0, 0);
  EXPECT_TRUE(GetWindowLongA(editor_, GWL_STYLE) & WS_HSCROLL);
}

TEST_F(ScrollTest, WheelStepsAccumulateAndScrollBySystemLines) {
  const int lines = SystemValue(SPI_GETWHEELSCROLLLINES);
  const int chars = SystemValue(0x006C /* SPI_GETWHEELSCROLLCHARS */);
  ASSERT_GT(lines, 0);
  VScroll(SB_PAGEDOWN);
  const u32 top = ed()->topLine;
  // A notch towards the user scrolls down.
  Wheel(-120);
  EXPECT_EQ(ed()->topLine, top + static_cast<u32>(lines));
  // Two half notches: nothing on the first, a whole step on the second.
  Wheel(60);
  EXPECT_EQ(ed()->topLine, top + static_cast<u32>(lines));
  Wheel(60);
  EXPECT_EQ(ed()->topLine, top);
  // The rest of a notch is kept: 200 is one step with 80 left, which the
  // next 40 completes.
  Wheel(-200);
  EXPECT_EQ(ed()->topLine, top + static_cast<u32>(lines));
  Wheel(-40);
  EXPECT_EQ(ed()->topLine, top + 2u * static_cast<u32>(lines));
  // With Ctrl the vertical wheel scrolls sideways; the horizontal wheel
  // scrolls sideways, with Ctrl up and down.
  Wheel(-120, MK_CONTROL);
  EXPECT_EQ(ed()->hScroll, chars);
  Wheel(120, 0, true);
  EXPECT_EQ(ed()->hScroll, 2 * chars);
  Wheel(-120, 0, true);
  EXPECT_EQ(ed()->hScroll, chars);
  Wheel(120, MK_CONTROL, true);
  EXPECT_EQ(ed()->topLine, top + 3u * static_cast<u32>(lines));
}

TEST_F(ScrollTest, AltWithTheWheelAsksTheParentToZoom) {
  BYTE keys[256];
  GetKeyboardState(keys);
  BYTE alt[256];
  memcpy(alt, keys, sizeof alt);
  alt[VK_MENU] = 0x80;
  SetKeyboardState(alt);
  const u32 top = ed()->topLine;
  Wheel(120);
  Wheel(60);
  Wheel(60);
  Wheel(-120);
  SetKeyboardState(keys);
  std::vector<WORD> zooms;
  for (const Notice &n : Received(WM_COMMAND))
    if (n.lParam == 0) zooms.push_back(LOWORD(n.wParam));
  EXPECT_EQ(zooms, (std::vector<WORD>{IDM_ZOOM_IN, IDM_ZOOM_IN, IDM_ZOOM_OUT}));
  EXPECT_EQ(ed()->topLine, top) << "zooming does not scroll";
}

TEST_F(ScrollTest, TheCaretHidesWhenScrolledAwayAndComesBack) {
  Focus();
  Select(LineStart(2) + 3, LineStart(2) + 3);
  ASSERT_TRUE(ed()->caretCreated);
  EXPECT_TRUE(ed()->caretShown);
  POINT at;
  GetCaretPos(&at);
  EXPECT_EQ(at.x, 3 * w() - 1);
  EXPECT_EQ(at.y, 2 * h());
  VScroll(SB_PAGEDOWN);
  EXPECT_FALSE(ed()->caretShown);
  EXPECT_EQ(ed()->caretX, 0);
  VScroll(SB_PAGEUP);
  EXPECT_TRUE(ed()->caretShown);
  GetCaretPos(&at);
  EXPECT_EQ(at.y, 2 * h());
  // Sideways too: a caret left of the scrolled text is hidden.
  HScroll(SB_LINERIGHT);
  EXPECT_FALSE(ed()->caretShown);
  HScroll(SB_LINELEFT);
  EXPECT_TRUE(ed()->caretShown);
  // The input method's composition window follows the caret.
  HIMC imc = ImmGetContext(editor_);
  if (imc) {
    COMPOSITIONFORM form = {};
    if (ImmGetCompositionWindow(imc, &form)) {
      EXPECT_EQ(form.ptCurrentPos.x, 3 * w() - 1);
      EXPECT_EQ(form.ptCurrentPos.y, 2 * h());
    }
    ImmReleaseContext(editor_, imc);
  }
  // Losing the focus destroys the caret; the parent hears of both.
  SetFocus(parent_);
  EXPECT_FALSE(ed()->caretCreated);
  std::vector<WORD> codes = CommandCodes();
  EXPECT_NE(std::find(codes.begin(), codes.end(), 0x100), codes.end());
  EXPECT_NE(std::find(codes.begin(), codes.end(), 0x200), codes.end());
}

// A caret already in place is not placed again: after any mix of keys,
// scrolls, font changes and focus changes, the system caret and the input
// method's window stand where the editor says the caret is.
TEST_F(ScrollTest, TheSystemCaretFollowsEveryMoveItIsNotPlacedAgainFor) {
  Focus();
  srand(7);
  const WPARAM keys[] = {VK_NEXT, VK_PRIOR, VK_DOWN, VK_UP, VK_LEFT, VK_RIGHT, VK_HOME, VK_END};
  for (int step = 0; step < 300; step++) {
    const int what = rand() % 12;
    if (what < 8) SendMessageA(editor_, WM_KEYDOWN, keys[what], 1);
    else if (what == 8) VScroll(rand() % 2 ? SB_LINEDOWN : SB_PAGEUP);
    else if (what == 9) HScroll(rand() % 2 ? SB_LINERIGHT : SB_LINELEFT);
    else if (what == 10) {
      HGDIOBJ font = GetStockObject(rand() % 2 ? ANSI_FIXED_FONT : SYSTEM_FIXED_FONT);
      SendMessageA(editor_, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    } else {
      SetFocus(parent_);
      Focus();
    }
    if (!ed()->caretShown) continue;
    POINT at;
    GetCaretPos(&at);
    ASSERT_EQ(at.x, ed()->caretX) << "step " << step;
    ASSERT_EQ(at.y, ed()->caretY) << "step " << step;
    HIMC imc = ImmGetContext(editor_);
    COMPOSITIONFORM form = {};
    if (imc && ImmGetCompositionWindow(imc, &form)) {
      ASSERT_EQ(form.ptCurrentPos.x, ed()->caretX) << "step " << step;
      ASSERT_EQ(form.ptCurrentPos.y, ed()->caretY) << "step " << step;
    }
    if (imc) ImmReleaseContext(editor_, imc);
  }
}

TEST_F(ScrollTest, BoldCaretInOverwriteMode) {
  Focus();
  auto caret = [] {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(0, &info);
    return info.rcCaret;
  };
  auto caretWidth = [&] { return caret().right - caret().left; };
  g_settings.edit.BoldOvr = 1;
  EXPECT_EQ(caretWidth(), 2);
  SendMessageA(editor_, EDM_SETOVERWRITE, 1, 0);
  EXPECT_EQ(caretWidth(), 5);
  SendMessageA(editor_, EDM_SETOVERWRITE, 0, 0);
  EXPECT_EQ(caretWidth(), 2);
  g_settings.edit.BoldOvr = 0;
  SendMessageA(editor_, EDM_SETOVERWRITE, 1, 0);
  EXPECT_EQ(caretWidth(), 2);
  EXPECT_EQ(caret().bottom - caret().top, h());
}

TEST_F(ScrollTest, ResizingChangesTheVisibleRowsAndKeepsTheTextInRange) {
  VScroll(SB_BOTTOM);
  ResizeClient(600, 30 * h());
  EXPECT_EQ(ed()->visibleRows, 30);
  EXPECT_EQ(Bar(SB_VERT).nPage, 30u);
  // Scrolling again keeps the last line at the bottom of the taller view.
  VScroll(SB_BOTTOM);
  EXPECT_EQ(ed()->topLine + 30 - 1, RowCount(&doc()->store) - 1);
}

// The pixels of the editor's vertical scroll bar as the screen shows them.
std::vector<COLORREF> BarPixels(HWND editor) {
  SCROLLBARINFO info = {};
  info.cbSize = sizeof info;
  if (!GetScrollBarInfo(editor, OBJID_VSCROLL, &info)) return {};
  RECT window;
  GetWindowRect(editor, &window);
  const RECT &bar = info.rcScrollBar;
  return DrawPicture(bar.right - bar.left, bar.bottom - bar.top, [&](HDC dc) {
           HDC source = GetWindowDC(editor);
           BitBlt(dc, 0, 0, bar.right - bar.left, bar.bottom - bar.top, source, bar.left - window.left,
                  bar.top - window.top, SRCCOPY);
           ReleaseDC(editor, source);
         })
      .pixels;
}

}  // namespace

// On a long text a page moves the thumb by less than a pixel, and the bar is
// not drawn again for it; whatever the steps, the bar on the screen is the one
// a full redraw gives.
TEST_F(ScrollTest, TheScrollBarOnTheScreenAlwaysShowsThePosition) {
  std::string text;
  for (int i = 0; i < 60000; i++) text += "line\r\n";
  SetText(text);
  UpdateWindow(editor_);
  int moved = 0;
  std::vector<COLORREF> previous = BarPixels(editor_);
  ASSERT_FALSE(previous.empty());
  for (int step = 0; step < 200; step++) {
    // Pages down, a few lines up and a jump, so that the thumb moves by
    // pixels now and then; lines deleted and added, which change the range;
    // a short text that disables the bar, and the long one again.
    if (step == 120) {
      SetText("short\r\ntext");
    } else if (step == 121) {
      SetText(text);
    } else if (step % 40 == 39) {
      VScroll(SB_TOP + (step / 40) % 2);
    } else if (step % 11 == 10) {
      SendMessageA(editor_, WM_COMMAND, IDM_EDIT_DELETE_LINE, 0);
    } else if (step % 13 == 12) {
      SendMessageA(editor_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("new\r\n"));
    } else if (step % 7 == 6) {
      VScroll(SB_LINEUP);
    } else {
      VScroll(SB_PAGEDOWN);
    }
    UpdateWindow(editor_);
    std::vector<COLORREF> shown = BarPixels(editor_);
    RedrawWindow(editor_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    std::vector<COLORREF> redrawn = BarPixels(editor_);
    ASSERT_EQ(shown, redrawn) << "step " << step << ", position " << Bar(SB_VERT).nPos;
    moved += shown != previous;
    previous = shown;
  }
  EXPECT_GT(moved, 3) << "the thumb moved now and then";
}
