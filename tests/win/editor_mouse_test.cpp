// The mouse in the editor harness: a clock and double-click metrics the test
// sets, a fixed-pitch font, messages as the system sends them.
#include <gtest/gtest.h>

#include <string>

#include "document/undo.h"
#include "editor/clipboard.h"
#include "editor/editor_mouse.h"
#include "foundation/fault.h"
#include "resources/resource.h"
#include "tests/win/editor_harness.h"
#include "tests/win/gui_helpers.h"

namespace {

u32 g_now;
UINT g_menuAnswer;
int g_menusShown;

class MouseTest : public EditorTest {
 protected:
  UINT (*popup_)(HMENU, int, int, HWND) = g_popupMenu;
  u32 (*clock_)() = g_mouseClock;
  void SetUp() override {
    EditorTest::SetUp();
    g_inputMetrics = InputMetrics{3, 3, 4, 4, 500, true};
    g_mouseClock = [] { return g_now; };
    g_popupMenu = [](HMENU menu, int, int, HWND) -> UINT {
      g_menusShown++;
      EXPECT_EQ(GetMenuItemID(menu, 0), static_cast<UINT>(IDM_DRAG_MOVE));
      return g_menuAnswer;
    };
    g_now = 100000;
    g_menusShown = 0;
    SetFocus(editor_);
  }
  void TearDown() override {
    g_popupMenu = popup_;
    g_mouseClock = clock_;
    EditorTest::TearDown();
  }
  // The client point of a column of a visible row (its left half).
  int X(int column) const { return ColumnLeft(column) + 1; }
  int Y(int row) const { return RowTop(row) + h() / 2; }
  void Down(int button, int x, int y, WPARAM keys = 0) {
    const UINT msg = button ? WM_RBUTTONDOWN : WM_LBUTTONDOWN;
    SendMessageA(editor_, msg, keys | (button ? MK_RBUTTON : MK_LBUTTON), MAKELPARAM(x, y));
  }
  void Move(int x, int y, WPARAM keys = MK_LBUTTON) { SendMessageA(editor_, WM_MOUSEMOVE, keys, MAKELPARAM(x, y)); }
  void Up(int button, int x, int y, WPARAM keys = 0) {
    SendMessageA(editor_, button ? WM_RBUTTONUP : WM_LBUTTONUP, keys, MAKELPARAM(x, y));
  }
  void Click(int x, int y, WPARAM keys = 0, int button = 0) {
    Down(button, x, y, keys);
    Up(button, x, y, keys);
    g_now += 100;
  }
  std::string Selected() const {
    const std::string t = Text();
    return t.substr(doc()->selStart->position, doc()->selEnd->position - doc()->selStart->position);
  }
};

// Quick clicks walk the units NoMClks leaves; a pause or a move outside the
// double-click rectangle starts counting anew.
TEST_F(MouseTest, MultiClicksSelectGrowingUnits) {
  SetText("alpha beta gamma delta epsilon zeta eta theta\r\nnext line\r\n\r\nother paragraph");
  ResizeClient(20 * w() + 4, 10 * h());
  ASSERT_TRUE(SendMessageA(editor_, EDM_SETWORDWRAP, 1, 0) >= 0);
  ASSERT_GT(RowCount(&doc()->store), 4u);
  const struct {
    i32 skip;
    std::vector<std::string> clicks;  // the selection after each click
  } kCases[] = {
      {0,
       {"", "beta", Text().substr(RowStart(&doc()->store, 0), RowEnd(&doc()->store, 0)),
        "alpha beta gamma delta epsilon zeta eta theta\r\n", "alpha beta gamma delta epsilon zeta eta theta\r\nnext line\r\n",
        Text(), "beta"}},
      {2 | 8, {"", "beta", "alpha beta gamma delta epsilon zeta eta theta\r\n", Text(), "beta"}},
      {31, {"", "", ""}},
  };
  for (const auto &c : kCases) {
    g_settings.edit.NoMClks = c.skip;
    g_now += 10000;
    for (size_t i = 0; i < c.clicks.size(); i++) {
      Click(X(7), Y(0));
      EXPECT_EQ(Selected(), c.clicks[i]) << "NoMClks " << c.skip << " click " << i + 1;
    }
  }
  g_settings.edit.NoMClks = 0;
  g_now += 10000;
  Click(X(7), Y(0));
  Click(X(7) + 5, Y(0));  // outside the rectangle: a first click again
  EXPECT_EQ(Selected(), "");
  Click(X(7) + 5, Y(0));
  EXPECT_EQ(Selected(), "beta");
  g_now += 600;
  Click(X(7) + 5, Y(0));
  EXPECT_EQ(Selected(), "") << "too late for a double click";
}

// Dragging selects, past the edges it scrolls by a row, Shift keeps the
// anchor; a double click and drag extends by words.
TEST_F(MouseTest, DraggingSelectsAndScrollsPastTheEdges) {
  std::string text;
  for (int i = 0; i < 100; i++) text += "line " + std::to_string(i) + " word\r\n";
  SetText(text);
  Down(0, X(2), Y(1));
  Move(X(4), Y(3));
  EXPECT_EQ(doc()->anchor.position, RowStart(&doc()->store, 1) + 2);
  EXPECT_EQ(doc()->caret.position, RowStart(&doc()->store, 3) + 4);
  Move(X(4), -100);  // above the window: one row above the top, then the top
  EXPECT_EQ(doc()->caret.row, 0u);
  Move(X(4), 30 * h());  // below: one row past the last visible
  EXPECT_EQ(doc()->caret.row, 20u);
  EXPECT_GT(ed()->topLine, 0u);
  Move(X(100), Y(5));  // past the end of the row: its end
  EXPECT_EQ(doc()->caret.position, RowTextEnd(&doc()->store, ed()->topLine + 5));
  Up(0, X(100), Y(5));
  EXPECT_EQ(g_mouseMode, kMouseIdle);
  EXPECT_EQ(GetCapture(), nullptr);

  SendMessageA(editor_, EM_SETSEL, 3, 3);
  Click(X(1), Y(2), MK_SHIFT);
  EXPECT_EQ(doc()->selStart->position, 3u) << "Shift keeps the anchor";
  // Double click and drag: whole words.
  SetText("one two three four");
  g_now += 10000;
  Click(X(5), Y(0));
  Down(0, X(5), Y(0));
  Move(X(15), Y(0));
  Up(0, X(15), Y(0));
  EXPECT_EQ(Selected(), "two three four");
}

// A drag of the selection moves it (left), copies it (left with Ctrl, or the
// right button's menu), each one undo step; a drop inside collapses.
TEST_F(MouseTest, DragAndDropMovesOrCopiesAsOneStep) {
  const std::string text = "abc DEF ghi";
  const struct {
    int button;
    WPARAM keys;
    UINT answer;
    const char *result;
    const char *selected;
  } kCases[] = {
      {0, 0, 0, "abc ghiDEF ", "DEF "},
      {0, MK_CONTROL, 0, "abc DEF ghiDEF ", "DEF "},
      {1, 0, IDM_DRAG_MOVE, "abc ghiDEF ", "DEF "},
      {1, 0, IDM_DRAG_COPY, "abc DEF ghiDEF ", "DEF "},
      {1, 0, 0, "abc DEF ghi", "DEF "},
  };
  for (const auto &c : kCases) {
    SetText(text);
    Select(4, 8);
    g_menuAnswer = c.answer;
    g_now += 10000;
    Down(c.button, X(5), Y(0), c.keys);
    EXPECT_EQ(g_mouseMode, kMouseDragging);
    Move(X(11), Y(0), c.keys | (c.button ? MK_RBUTTON : MK_LBUTTON));
    Up(c.button, X(11), Y(0), c.keys);
    EXPECT_EQ(Text(), c.result) << c.button << " " << c.answer;
    EXPECT_EQ(Selected(), c.selected);
    if (Text() != text) {
      SendMessageA(editor_, WM_UNDO, 0, 0);
      EXPECT_EQ(Text(), text) << "one undo step";
    }
  }
  EXPECT_EQ(g_menusShown, 3);
  // Dropped before the selection.
  SetText(text);
  Select(8, 11);
  Down(0, X(9), Y(0));
  Move(X(0), Y(0));
  Up(0, X(0), Y(0));
  EXPECT_EQ(Text(), "ghiabc DEF ");
  // A click inside the selection puts the caret there.
  Select(0, 6);
  g_now += 10000;
  Click(X(2), Y(0));
  EXPECT_EQ(doc()->anchor.position, 2u);
  EXPECT_EQ(doc()->caret.position, 2u);
  // Esc (a capture released) and a lost focus end a drag without effect.
  for (int way = 0; way < 2; way++) {
    SetText(text);
    Select(4, 8);
    g_now += 10000;
    Down(0, X(5), Y(0));
    Move(X(10), Y(0));
    if (way == 0) ReleaseCapture();
    else SendMessageA(editor_, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(g_mouseMode, kMouseIdle);
    Up(0, X(10), Y(0));
    EXPECT_EQ(Text(), text);
    SetFocus(editor_);
  }
}

// Memory failing at each allocation of a drag move or copy: the text
// arrives whole as one undo step, or the document stays as it was with no
// step and nothing to redo (a move whose text cannot come back in is undone).
TEST_F(MouseTest, AFailedDropLeavesTheDocument) {
  const std::string text = "abc DEF ghi\r\n" + std::string(20000, 'x') + "\r\nend";
  for (WPARAM keys : {WPARAM(0), WPARAM(MK_CONTROL)}) {
    FaultInjector fi = {};
    for (u32 k = 1;; k++) {
      SetText(text);
      Select(8 + 2 + 20000, 4);  // the caret (and the view) at the start
      const u32 steps = doc()->undo.count;
      g_now += 10000;
      FaultReset(&fi);
      FaultPlan(&fi, kFaultAlloc, k, false);
      {
        ScopedFaultInjector scope(&fi);
        Down(0, X(5), Y(0), keys);
        Move(X(1), Y(0), keys | MK_LBUTTON);
        Up(0, X(1), Y(0), keys);
      }
      const std::string moved = text.substr(4, 20006);
      const std::string done = keys ? "a" + moved + text.substr(1) : "a" + moved + "bc " + text.substr(20010);
      if (Text() == text) {
        EXPECT_EQ(doc()->undo.count, steps) << "fault " << k;
        EXPECT_EQ(doc()->redo.count, 0u) << "fault " << k;
        EXPECT_EQ(Selected(), moved) << "fault " << k;
      } else {
        ASSERT_EQ(Text(), done) << "fault " << k;
        SendMessageA(editor_, WM_UNDO, 0, 0);
        EXPECT_EQ(Text(), text) << "one undo step, fault " << k;
      }
      if (!fi.fired[kFaultAlloc]) break;
      ASSERT_LT(k, 300u);
    }
  }
}

// The wrap margin: dragged with word wrap on, the text re-wraps; into the
// gutter it stays one character wide.
TEST_F(MouseTest, DraggingTheWrapMarginRewraps) {
  SetText("aaaa bbbb cccc dddd eeee ffff");
  g_settings.opts.RWrap = 20 * w();
  SendMessageA(editor_, EDM_SETWORDWRAP, 1, 0);
  const int margin = ColumnLeft(20);
  Down(0, margin + 1, Y(0));
  EXPECT_EQ(g_mouseMode, kMouseMargin);
  Move(ColumnLeft(10), Y(0));
  EXPECT_EQ(g_settings.opts.RWrap, 10 * w());
  EXPECT_EQ(RowAt(&doc()->store, 0).textLength, 10u) << "re-wrapped while dragging";
  Move(-50, Y(0));
  EXPECT_EQ(g_settings.opts.RWrap, w());
  Up(0, -50, Y(0));
  EXPECT_EQ(g_mouseMode, kMouseIdle);
}

// Auto-copy by AMCopy and Ctrl; the right button pastes by AMPaste and Ctrl
// (a Swap with Shift) or asks for the context menu at the parent's point.
TEST_F(MouseTest, AutoCopyRightClickPasteAndTheContextMenuPoint) {
  auto clipboard = [] {
    std::string out;
    if (!OpenClipboardWhenFree()) return out;
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
      out = static_cast<const char *>(GlobalLock(h));
      GlobalUnlock(h);
    }
    CloseClipboard();
    return out;
  };
  auto setClipboard = [](const char *text) {
    OpenClipboardWhenFree();
    EmptyClipboard();
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1);
    strcpy(static_cast<char *>(GlobalLock(h)), text);
    GlobalUnlock(h);
    SetClipboardData(CF_TEXT, h);
    CloseClipboard();
  };
  for (i32 copy : {0, 1, 2}) {
    for (WPARAM ctrl : {WPARAM(0), WPARAM(MK_CONTROL)}) {
      setClipboard("none");
      SetText("abc def");
      g_settings.edit.AMCopy = copy;
      g_now += 10000;
      Down(0, X(0), Y(0), ctrl);
      Move(X(3), Y(0), MK_LBUTTON | ctrl);
      Up(0, X(3), Y(0), ctrl);
      const bool copied = (copy == 1 && !ctrl) || (copy == 2 && ctrl);
      EXPECT_EQ(clipboard(), copied ? "abc" : "none") << copy << " " << ctrl;
    }
  }
  for (i32 paste : {0, 1}) {
    for (WPARAM keys : {WPARAM(0), WPARAM(MK_CONTROL), WPARAM(MK_CONTROL | MK_SHIFT), WPARAM(MK_SHIFT)}) {
      setClipboard("XY");
      SetText("abc def");
      g_settings.edit.AMPaste = paste;
      Select(4, 7);
      ClearNotices();
      g_now += 10000;
      Click(X(5), Y(0), keys, 1);
      const bool pastes = paste ? !(keys & MK_CONTROL) : (keys & MK_CONTROL) != 0;
      if (!pastes) {
        EXPECT_EQ(Text(), "abc def");
        ASSERT_EQ(Received(WM_NOTIFY).size(), 1u);
        EXPECT_EQ(Received(WM_NOTIFY)[0].point.x, X(5) + ed()->x);
        EXPECT_EQ(Received(WM_NOTIFY)[0].point.y, Y(0) + ed()->y);
      } else if (keys & MK_SHIFT) {
        EXPECT_EQ(Text(), "abc XY") << "a Swap";
        EXPECT_EQ(clipboard(), "def");
      } else {
        EXPECT_EQ(Text(), "abc XY");
      }
    }
  }
}

}  // namespace
