// The status bar of the main window, driven through the real windows: the
// editor's notifications, the bar's own double-clicks, the menu and the
// Go to dialog. Field texts are read back from the bar with SB_GETTEXT.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/common_dialogs.h"
#include "app/goto_dialog.h"
#include "app/main_window.h"
#include "app/status_bar.h"
#include "config/config_io.h"
#include "editor/editor_caches.h"
#include "editor/editor_messages.h"
#include "editor/editor_window.h"
#include "foundation/bytes.h"
#include "resources/resource.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"
#include "tests/win/gui_helpers.h"

namespace {

// No test here expects a file dialog: one would wait for a click forever.
bool NoFileDialog(void *, char *) {
  ADD_FAILURE() << "unexpected file dialog";
  return false;
}
const DialogAnswerer kNoFileDialogs = {NoFileDialog, NoFileDialog, nullptr, nullptr, nullptr, nullptr};

void DrainMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

class StatusBarTest : public testing::Test {
 protected:
  void SetUp() override {
    InitCommonControls();
    const bool ready = ResetFrameGlobals();
    previousDialogs_ = InstallDialogAnswerer(&kNoFileDialogs);
    ASSERT_TRUE(ready);
  }
  void TearDown() override {
    DestroyFrame();
    InstallDialogAnswerer(previousDialogs_);
  }

  // The frame with its start-up document open (a new one unless a file is
  // named first).
  void Open(const std::string &file = "") {
    StrCopyN(g_app.options.fileName, file.c_str(), sizeof g_app.options.fileName);
    ASSERT_EQ(CreateMainWindow(), 0);
    main_ = g_app.mainWindow;
    editor_ = g_app.editorWindow;
    bar_ = GetDlgItem(main_, IDC_STATUS_BAR);
    ASSERT_NE(bar_, nullptr);
    DrainMessages();
  }

  std::string Field(int i) {
    char text[1024];
    LRESULT n = LOWORD(SendMessageA(bar_, SB_GETTEXTLENGTHA, static_cast<WPARAM>(i), 0));
    if (n >= static_cast<LRESULT>(sizeof text)) return "<too long>";
    SendMessageA(bar_, SB_GETTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    return std::string(text, static_cast<size_t>(n));
  }

  void SetText(const char *text) { SendMessageA(editor_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)); }
  void Select(int anchor, int caret) { SendMessageA(editor_, EM_SETSEL, anchor, caret); }
  void Notify(UINT msg, WPARAM wParam, LPARAM lParam) { SendMessageA(main_, msg, wParam, lParam); }
  void ClearRequest() { Notify(EDN_PROGRESSEND, reinterpret_cast<WPARAM>(editor_), 0); }

  // A double-click in the middle of a field, as the mouse would give it.
  void DoubleClick(int field) {
    RECT rc;
    ASSERT_TRUE(SendMessageA(bar_, SB_GETRECT, static_cast<WPARAM>(field), reinterpret_cast<LPARAM>(&rc)));
    ASSERT_LT(rc.left, rc.right) << "field " << field << " lies outside the bar";
    LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    SendMessageA(bar_, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(bar_, WM_LBUTTONUP, 0, at);
    SendMessageA(bar_, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageA(bar_, WM_LBUTTONUP, 0, at);
  }

  int Height(HWND hwnd) {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    return rc.bottom - rc.top;
  }
  int ClientHeight() {
    RECT rc;
    GetClientRect(main_, &rc);
    return rc.bottom;
  }
  // The bar lies along the bottom edge and the editor fills the rest, its
  // own geometry following.
  void ExpectBarAtTheBottom(int barHeight) {
    RECT rc, client, inner;
    GetWindowRect(bar_, &rc);
    MapWindowPoints(nullptr, main_, reinterpret_cast<POINT *>(&rc), 2);
    EXPECT_EQ(rc.bottom, ClientHeight());
    EXPECT_EQ(Height(editor_), ClientHeight() - barHeight);
    GetWindowRect(editor_, &rc);
    GetClientRect(main_, &client);
    EXPECT_EQ(rc.right - rc.left, client.right);
    GetClientRect(editor_, &inner);
    EXPECT_EQ(EditorOf(editor_)->clientWidth, inner.right);
    EXPECT_EQ(EditorOf(editor_)->visibleRows, inner.bottom / EditorOf(editor_)->lineHeight);
  }
  bool MenuChecked(UINT id) {
    HMENU menu = GetMenu(main_);
    SendMessageA(main_, WM_INITMENU, reinterpret_cast<WPARAM>(menu), 0);
    return GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED;
  }

  HWND main_ = nullptr, editor_ = nullptr, bar_ = nullptr;
  const DialogAnswerer *previousDialogs_ = nullptr;
};

// ---- the position, selection and character fields ----

TEST_F(StatusBarTest, PositionAndSelectionFieldsFollowTheSelection) {
  Open();
  // Lines of 13, 11 and 15 characters; 43 positions in all.
  SetText("one two three\r\nsecond line\r\nthird line here");
  EXPECT_EQ(Field(kFieldLine), "Ln: 1/3");
  EXPECT_EQ(Field(kFieldSelection), "");

  // Within the first line ("two t"), from the middle of line 1 to the middle
  // of line 3 and back, and none: the caret's place is what counts.
  struct Case {
    int anchor, caret;
    const char *selection, *line, *column, *position;
  } cases[] = {
      {4, 9, "Sel: 5", "Ln: 1/3", "Col: 10/13", "Pos: 10/43"},
      {4, 31, "Sel: 27 (3 lines)", "Ln: 3/3", "Col: 4/15", "Pos: 32/43"},
      {31, 4, "Sel: 27 (3 lines)", "Ln: 1/3", "Col: 5/13", "Pos: 5/43"},
      {20, 20, "", "Ln: 2/3", "Col: 6/11", "Pos: 21/43"},
  };
  for (const Case &c : cases) {
    Select(c.anchor, c.caret);
    EXPECT_EQ(Field(kFieldSelection), c.selection) << c.anchor << "-" << c.caret;
    EXPECT_EQ(Field(kFieldLine), c.line) << c.anchor << "-" << c.caret;
    EXPECT_EQ(Field(kFieldColumn), c.column) << c.anchor << "-" << c.caret;
    EXPECT_EQ(Field(kFieldPosition), c.position) << c.anchor << "-" << c.caret;
  }
}

TEST_F(StatusBarTest, CharacterFieldShowsTheCodeAndIsEmptyAtTheEnd) {
  Open();
  SetText("caf\xe9\r\nx");
  Select(0, 0);
  EXPECT_EQ(Field(kFieldCharacter), "Ch: 99 (x0063)");
  Select(3, 3);
  EXPECT_EQ(Field(kFieldCharacter), "Ch: 233 (x00E9)");
  Select(4, 4);
  EXPECT_EQ(Field(kFieldCharacter), "Ch: 13 (x000D)");
  Select(7, 7);  // after the last character
  EXPECT_EQ(Field(kFieldPosition), "Pos: 8/7");
  EXPECT_EQ(Field(kFieldCharacter), "");

  g_settings.main.SBNoAsc = 1;
  Select(0, 0);
  EXPECT_EQ(Field(kFieldCharacter), "");
  EXPECT_EQ(Field(kFieldPosition), "Pos: 1/7");
}

// A caret move sets only the fields whose text changed, and the parts only
// when a width changed: a field set is painted again, and new parts paint the
// whole bar.
std::vector<WPARAM> g_setFields;
int g_setParts;
WNDPROC g_barProc;
LRESULT CALLBACK CountingBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == SB_SETTEXTA) g_setFields.push_back(LOBYTE(wParam));
  if (msg == SB_SETPARTS) g_setParts++;
  return CallWindowProcA(g_barProc, hwnd, msg, wParam, lParam);
}

TEST_F(StatusBarTest, ACaretMoveSetsOnlyTheFieldsWhoseTextChanged) {
  Open();
  SetText(("abc\r\nabc\r\n" + std::string(1000000, 'x')).c_str());
  Select(0, 0);
  g_barProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(bar_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingBarProc)));
  g_setFields.clear();
  g_setParts = 0;
  Select(5, 5);  // line 2: the line and the position change; the column, selection and character stay
  EXPECT_EQ(Field(kFieldLine), "Ln: 2/3");
  EXPECT_EQ(g_setFields, (std::vector<WPARAM>{kFieldLine, kFieldPosition}));
  EXPECT_EQ(g_setParts, 0);
  // Far into the long third line the column field grows, and the parts with it.
  Select(999990, 999990);
  EXPECT_EQ(Field(kFieldColumn), "Col: 999981/1000000");
  EXPECT_EQ(g_setParts, 1);
  SetWindowLongPtrA(bar_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_barProc));
}

// ---- the message field ----

TEST_F(StatusBarTest, ProgressPercentagesNeverDivideByZeroAndRoundToNearest) {
  Open();
  WPARAM ed = reinterpret_cast<WPARAM>(editor_);
  Notify(EDN_PROGRESSBEGIN, ed, reinterpret_cast<LPARAM>("Working.."));
  EXPECT_EQ(Field(kFieldMessage), "") << "the editor's caption waits for the first figures";
  EXPECT_FALSE(g_statusFieldFree(editor_));
  struct Figures {
    WPARAM done;
    LPARAM total;
    const char *shown;
  } figures[] = {{0, 0, "Working.. 0%"}, {5, 0, "Working.. 100%"}, {1, 3, "Working.. 33%"}, {2, 3, "Working.. 67%"}};
  for (const Figures &f : figures) {
    Notify(EDN_PROGRESS, f.done, f.total);
    EXPECT_EQ(Field(kFieldMessage), f.shown);
  }
  // Nothing clears a running operation's caption, not even a forced request.
  ClearMessage(true, false);
  EXPECT_EQ(Field(kFieldMessage), "Working.. 67%");
  // Its end does.
  ClearRequest();
  EXPECT_EQ(Field(kFieldMessage), "");
  EXPECT_TRUE(g_statusFieldFree(editor_));
  // Figures without a running operation show nothing.
  Notify(EDN_PROGRESS, 1, 2);
  EXPECT_EQ(Field(kFieldMessage), "");
  // Huge totals still give sensible percentages.
  BeginProgress("Reading..", true);
  EXPECT_EQ(Field(kFieldMessage), "Reading..");
  ShowProgress(3000000000ull, 6000000000ull);
  EXPECT_EQ(Field(kFieldMessage), "Reading.. 50%");
  EndProgress();
  EXPECT_EQ(Field(kFieldMessage), "");
}

TEST_F(StatusBarTest, MessagesSurviveAsManyClearRequestsAsTheirKeepCount) {
  Open();
  WPARAM ed = reinterpret_cast<WPARAM>(editor_);
  const std::string warning = "Warning: Current selection breaks CR/NL newline!";
  Notify(EDN_BREAKSNEWLINE, ed, 0);
  EXPECT_EQ(Field(kFieldMessage), warning);
  EXPECT_FALSE(g_statusFieldFree(editor_)) << "a kept message leaves no room for the editor's texts";
  ClearRequest();
  EXPECT_EQ(Field(kFieldMessage), warning) << "kept for one clear request";
  ClearRequest();
  EXPECT_EQ(Field(kFieldMessage), "");

  // Number messages: kind 0 goes at the first request, kind 2 stays for 15.
  StatusMessage plain = {"Total matches: %d", 7, 0};
  Notify(EDN_STATUSMESSAGE, ed, reinterpret_cast<LPARAM>(&plain));
  EXPECT_EQ(Field(kFieldMessage), "Total matches: 7");
  EXPECT_TRUE(g_statusFieldFree(editor_));
  ClearRequest();
  EXPECT_EQ(Field(kFieldMessage), "");
  StatusMessage longKept = {"Total matches: %d", 12, 2};
  Notify(EDN_STATUSMESSAGE, ed, reinterpret_cast<LPARAM>(&longKept));
  for (int i = 0; i < 15; i++) ClearRequest();
  EXPECT_EQ(Field(kFieldMessage), "Total matches: 12");
  ClearRequest();
  EXPECT_EQ(Field(kFieldMessage), "");
  // Other kinds show nothing; a forced request clears at once.
  StatusMessage odd = {"Total matches: %d", 1, 3};
  Notify(EDN_STATUSMESSAGE, ed, reinterpret_cast<LPARAM>(&odd));
  EXPECT_EQ(Field(kFieldMessage), "");
  Notify(EDN_BREAKSNEWLINE, ed, 0);
  Notify(EDN_PROGRESSEND, ed, 1);
  EXPECT_EQ(Field(kFieldMessage), "");
  // A held message goes one request earlier.
  Notify(EDN_BREAKSNEWLINE, ed, 0);
  HoldMessage();
  ClearRequest();
  EXPECT_EQ(Field(kFieldMessage), "");
}

TEST_F(StatusBarTest, FinishedCommandsAndCaretMovesAreClearRequests) {
  Open();
  SetText("abc\r\ndef");
  Notify(EDN_BREAKSNEWLINE, reinterpret_cast<WPARAM>(editor_), 0);
  Select(1, 1);  // one idle request
  EXPECT_NE(Field(kFieldMessage), "");
  // A command the frame runs: the second request.
  SendMessageA(main_, WM_COMMAND, IDM_STATUS_BAR, 0);
  EXPECT_EQ(Field(kFieldMessage), "");
  SendMessageA(main_, WM_COMMAND, IDM_STATUS_BAR, 0);

  // The editor's own notifications are no commands: they go nowhere else.
  Notify(EDN_BREAKSNEWLINE, reinterpret_cast<WPARAM>(editor_), 0);
  SendMessageA(main_, WM_COMMAND, MAKEWPARAM(IDC_EDITOR, EN_CHANGE), reinterpret_cast<LPARAM>(editor_));
  SendMessageA(main_, WM_COMMAND, MAKEWPARAM(IDC_EDITOR, EN_SETFOCUS), reinterpret_cast<LPARAM>(editor_));
  EXPECT_NE(Field(kFieldMessage), "");
}

TEST_F(StatusBarTest, NewVersionNoteComesAfterNineIdleRequestsAndOffersTheDownload) {
  g_settings.lists.update.Auto = 1;
  g_settings.lists.update.Version = 200;
  Open();
  // Wide enough for the message field to have room.
  SetWindowPos(main_, nullptr, 0, 0, 1000, 400, SWP_NOMOVE | SWP_NOZORDER);
  SetText("abcdefghijklmnop");
  ClearRequest();  // not idle: the count starts here
  const std::string note = "New version is available.\nDo you want to download it?";
  for (int i = 1; i <= 8; i++) Select(i, i);
  EXPECT_EQ(Field(kFieldMessage), "");
  Select(9, 9);
  // The bar may show the line break as a space.
  auto spacesAsBreaks = [](std::string text) {
    for (char &c : text)
      if (c == ' ') c = '\n';
    return text;
  };
  EXPECT_EQ(spacesAsBreaks(Field(kFieldMessage)), spacesAsBreaks(note));
  {
    ScriptedAnswerer answers;
    answers.Expect(note, kAskYesNoCancel, kAnswerNo);
    DoubleClick(kFieldMessage);
  }
  // A command is no idle moment: the note goes, and the count starts anew.
  SendMessageA(main_, WM_COMMAND, IDM_STATUS_BAR, 0);
  SendMessageA(main_, WM_COMMAND, IDM_STATUS_BAR, 0);
  EXPECT_EQ(Field(kFieldMessage), "");
  Select(1, 1);
  EXPECT_EQ(Field(kFieldMessage), "");
  // Without the automatic check there is no note.
  g_settings.lists.update.Auto = 0;
  for (int i = 1; i <= 12; i++) Select(i, i);
  EXPECT_EQ(Field(kFieldMessage), "");
  // Any other message double-clicked asks nothing.
  Notify(EDN_BREAKSNEWLINE, reinterpret_cast<WPARAM>(editor_), 0);
  DoubleClick(kFieldMessage);
}

// ---- the state fields and their double-clicks ----

TEST_F(StatusBarTest, StateFieldsFollowTheEditorAndDoubleClicksToggleThem) {
  Open();
  EXPECT_EQ(Field(kFieldEncoding), "ANSI");
  EXPECT_EQ(Field(kFieldBom), "");
  EXPECT_EQ(Field(kFieldNewlines), "Win");
  EXPECT_EQ(Field(kFieldModified), "");
  EXPECT_EQ(Field(kFieldOverwrite), "Ins");
  EXPECT_EQ(Field(kFieldWrap), "Wrap");

  DoubleClick(kFieldOverwrite);
  EXPECT_EQ(SendMessageA(editor_, EDM_GETOVERWRITE, 0, 0), 1);
  EXPECT_EQ(Field(kFieldOverwrite), "REP");
  DoubleClick(kFieldOverwrite);
  EXPECT_EQ(Field(kFieldOverwrite), "Ins");

  DoubleClick(kFieldWrap);
  EXPECT_EQ(SendMessageA(editor_, EDM_GETWORDWRAP, 0, 0), 0);
  EXPECT_EQ(Field(kFieldWrap), "");
  DoubleClick(kFieldWrap);
  EXPECT_EQ(Field(kFieldWrap), "Wrap");

  DoubleClick(kFieldEncoding);
  EXPECT_EQ(SendMessageA(editor_, EDM_GETENCODING, 0, 0), 1);
  EXPECT_EQ(Field(kFieldEncoding), "UTF-8");
  EXPECT_EQ(Field(kFieldBom), "");
  DoubleClick(kFieldBom);
  EXPECT_EQ(Field(kFieldBom), "BOM");
  DoubleClick(kFieldBom);
  EXPECT_EQ(Field(kFieldBom), "");

  // The selection and character fields answer nothing.
  SetText("abc");
  Select(0, 2);
  DoubleClick(kFieldSelection);
  DoubleClick(kFieldCharacter);
  EXPECT_EQ(Field(kFieldSelection), "Sel: 2");
  EXPECT_EQ(FindProcessWindow(GetCurrentProcessId(), "#32770", false), nullptr);
}

TEST_F(StatusBarTest, NewlineFieldStepsPastMixedOnlyWhenMixedIsAllowed) {
  Open();
  SendMessageA(editor_, EDM_SETNEWLINES, 2, 0);
  EXPECT_EQ(Field(kFieldNewlines), "Mac");
  g_settings.file.NoMixNl = 1;
  DoubleClick(kFieldNewlines);
  EXPECT_EQ(Field(kFieldNewlines), "Win");
  EXPECT_EQ(SendMessageA(editor_, EDM_GETNEWLINES, 0, 0), 0);

  SendMessageA(editor_, EDM_SETNEWLINES, 2, 0);
  g_settings.file.NoMixNl = 0;
  DoubleClick(kFieldNewlines);
  EXPECT_EQ(Field(kFieldNewlines), "Mixed");
  DoubleClick(kFieldNewlines);
  EXPECT_EQ(Field(kFieldNewlines), "Win");
}

TEST_F(StatusBarTest, DoubleClickOnModSavesUnlessSaveThroughTheBarIsOff) {
  TempFolder folder;
  const std::string path = folder.File("notes.txt");
  ASSERT_TRUE(WriteBytes(path, "first"));
  Open(path);
  ASSERT_EQ(WindowText(main_), "notes.txt - Quillpad");
  Select(0, 0);
  SendMessageA(editor_, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>("new "));
  EXPECT_EQ(Field(kFieldModified), "Mod");
  EXPECT_EQ(WindowText(main_), "*notes.txt - Quillpad");

  g_settings.main.SBNoSav = 1;
  DoubleClick(kFieldModified);
  EXPECT_EQ(ReadBytes(path), "first");
  EXPECT_EQ(Field(kFieldModified), "Mod");

  g_settings.main.SBNoSav = 0;
  DoubleClick(kFieldModified);
  EXPECT_EQ(ReadBytes(path), "new first");
  EXPECT_EQ(Field(kFieldModified), "");
  EXPECT_EQ(WindowText(main_), "notes.txt - Quillpad");
}

TEST_F(StatusBarTest, LongTextWidensItsFieldToTheTextPlusOneAverageCharacter) {
  Open();
  HDC dc = GetDC(bar_);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(bar_, WM_GETFONT, 0, 0)));
  TEXTMETRICA tm;
  ASSERT_TRUE(GetTextMetricsA(dc, &tm));
  const std::string name = "A code page with a rather long name (Description Of It)";
  SIZE extent;
  GetTextExtentPoint32A(dc, name.c_str(), static_cast<int>(name.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(bar_, dc);
  const int average = tm.tmAveCharWidth;

  int edges[kStatusFieldCount];
  ASSERT_EQ(SendMessageA(bar_, SB_GETPARTS, kStatusFieldCount, reinterpret_cast<LPARAM>(edges)), kStatusFieldCount);
  EXPECT_EQ(edges[kFieldEncoding] - edges[kFieldEncoding - 1], (55 - 8) * average / 6 + 8) << "\"ANSI\" is narrow";
  EXPECT_EQ(edges[kFieldLine], (70 - 8) * average / 6 + 8);
  EXPECT_EQ(edges[kStatusFieldCount - 1], -1) << "the message field takes the rest";
  const int bomWidth = edges[kFieldBom] - edges[kFieldEncoding];

  SendMessageA(main_, EDN_ENCODING, reinterpret_cast<WPARAM>(editor_), reinterpret_cast<LPARAM>(name.c_str()));
  ASSERT_EQ(Field(kFieldEncoding), name);
  SendMessageA(bar_, SB_GETPARTS, kStatusFieldCount, reinterpret_cast<LPARAM>(edges));
  EXPECT_EQ(edges[kFieldEncoding] - edges[kFieldEncoding - 1], extent.cx + average);
  EXPECT_EQ(edges[kFieldBom] - edges[kFieldEncoding], bomWidth) << "the fields after it only move";
}

// ---- showing and hiding ----

TEST_F(StatusBarTest, HidingTheBarGivesItsHeightToTheEditor) {
  Open();
  SetWindowPos(main_, nullptr, 0, 0, 600, 400, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_TRUE(IsWindowVisible(bar_) || !IsWindowVisible(main_));
  const int barHeight = Height(bar_);
  ASSERT_GT(barHeight, 10);
  ExpectBarAtTheBottom(barHeight);
  EXPECT_TRUE(MenuChecked(IDM_STATUS_BAR));

  SendMessageA(main_, WM_COMMAND, IDM_STATUS_BAR, 0);
  EXPECT_EQ(g_settings.opts.Status, 0);
  EXPECT_FALSE(GetWindowLongA(bar_, GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(Height(editor_), ClientHeight());
  EXPECT_FALSE(MenuChecked(IDM_STATUS_BAR));

  // The fields go on following the editor while hidden.
  SetText("hidden");
  EXPECT_EQ(Field(kFieldPosition), "Pos: 1/6");

  SendMessageA(main_, WM_COMMAND, IDM_STATUS_BAR, 0);
  EXPECT_EQ(g_settings.opts.Status, 1);
  EXPECT_TRUE(GetWindowLongA(bar_, GWL_STYLE) & WS_VISIBLE);
  ExpectBarAtTheBottom(barHeight);

  // A new size: the editor and the bar follow.
  SetWindowPos(main_, nullptr, 0, 0, 500, 300, SWP_NOMOVE | SWP_NOZORDER);
  ExpectBarAtTheBottom(barHeight);
}

TEST_F(StatusBarTest, BarStartsHiddenWhenTheSettingIsOff) {
  g_settings.opts.Status = 0;
  Open();
  EXPECT_FALSE(GetWindowLongA(bar_, GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(Height(editor_), ClientHeight());
  EXPECT_EQ(GetDlgCtrlID(bar_), 1030);
  EXPECT_EQ(ClassOf(bar_), "msctls_statusbar32");
  EXPECT_TRUE(GetWindowLongA(bar_, GWL_STYLE) & SBARS_SIZEGRIP);
}

// ---- menu help ----

void CollectItems(HMENU menu, std::vector<UINT> *ids) {
  int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; i++) {
    if (HMENU sub = GetSubMenu(menu, i)) {
      CollectItems(sub, ids);
      continue;
    }
    UINT id = GetMenuItemID(menu, i);
    if (id != 0 && id != 0xFFFFFFFFu) ids->push_back(id);
  }
}

TEST_F(StatusBarTest, EveryMenuItemHasAHelpTextShownWhileItIsSelected) {
  Open();
  HMENU menu = GetMenu(main_);
  std::vector<UINT> ids;
  CollectItems(menu, &ids);
  ASSERT_GE(ids.size(), 7u);
  for (UINT id : ids) {
    char text[512];
    EXPECT_GT(LoadStringA(g_app.instance, id, text, sizeof text), 0) << "menu item " << id << " has no help text";
  }

  HMENU file = GetSubMenu(menu, 0);
  SendMessageA(main_, WM_MENUSELECT, MAKEWPARAM(IDM_FILE_OPEN, MF_STRING | MF_HILITE), reinterpret_cast<LPARAM>(file));
  EXPECT_EQ(Field(kFieldMessage), "Open an existing file.");
  SendMessageA(main_, WM_MENUSELECT, MAKEWPARAM(IDM_STATUS_BAR, MF_STRING | MF_HILITE), reinterpret_cast<LPARAM>(file));
  EXPECT_EQ(Field(kFieldMessage), "Show or hide the status bar.");
  // A submenu title has no text of its own.
  SendMessageA(main_, WM_MENUSELECT, MAKEWPARAM(0, MF_POPUP | MF_HILITE), reinterpret_cast<LPARAM>(menu));
  EXPECT_EQ(Field(kFieldMessage), "");
  SendMessageA(main_, WM_MENUSELECT, MAKEWPARAM(IDM_EDIT_GOTO, MF_STRING | MF_HILITE), reinterpret_cast<LPARAM>(file));
  EXPECT_EQ(Field(kFieldMessage), "Go to a line or a position.");
  // The menu closes: the text goes.
  SendMessageA(main_, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
  EXPECT_EQ(Field(kFieldMessage), "");
}

// ---- the Go to dialog ----

std::string BoxText(HWND dialog, int id) {
  char text[64];
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

// The box has the focus and its whole entry selected, ready for retyping.
void ExpectFocusedAndSelected(HWND dialog, int box, const std::string &why) {
  HWND edit = GetDlgItem(dialog, box);
  EXPECT_EQ(GetFocus(), edit) << why;
  DWORD from = 1, to = 0;
  SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  EXPECT_EQ(from, 0u) << why;
  EXPECT_EQ(to, static_cast<DWORD>(BoxText(dialog, box).size())) << why;
}

// Types into one box (focusing it first, as the user would) and presses OK.
void Enter(HWND dialog, int box, const char *text) {
  SetFocus(GetDlgItem(dialog, box));
  SetDlgItemTextA(dialog, box, text);
  SendMessageA(dialog, WM_COMMAND, IDOK, 0);
}

class GotoTest : public StatusBarTest {
 protected:
  void SetUp() override {
    StatusBarTest::SetUp();
    Open();
    // Five lines of ten characters and a last one of four: 64 positions.
    SetText("line 1 abc\r\nline 2 abc\r\nline 3 abc\r\nline 4 abc\r\nline 5 abc\r\nlast");
  }
  // Runs the command (Ctrl+G) with one entry; the frame's answer.
  LRESULT Go(int box, const char *text) {
    LRESULT answer = -1;
    bool ran = WithDialog([&] { answer = SendMessageA(main_, WM_COMMAND, IDM_EDIT_GOTO, 0); },
                          [&](HWND dialog) { Enter(dialog, box, text); });
    EXPECT_TRUE(ran);
    return answer;
  }
  DWORD Anchor() { return Sel().first; }
  DWORD Caret() { return Sel().second; }
  std::pair<DWORD, DWORD> Sel() {
    DWORD a = 0, c = 0;
    SendMessageA(editor_, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&c));
    return {a, c};
  }
};

TEST_F(GotoTest, OpensPrefilledWithTheCaretAndTheLineBoxFocused) {
  Select(26, 26);  // line 3, position 27
  bool ran = WithDialog([&] { SendMessageA(main_, WM_COMMAND, IDM_EDIT_GOTO, 0); }, [&](HWND dialog) {
    EXPECT_EQ(WindowText(dialog), "Go To");
    EXPECT_EQ(BoxText(dialog, IDC_GOTO_LINE), "3");
    EXPECT_EQ(BoxText(dialog, IDC_GOTO_POSITION), "27");
    EXPECT_EQ(BoxText(dialog, IDC_GOTO_LINE_RANGE), "of 6");
    EXPECT_EQ(BoxText(dialog, IDC_GOTO_POSITION_RANGE), "of 64");
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_GOTO_LINE));
    EXPECT_EQ(GetParent(dialog) == main_ || GetWindow(dialog, GW_OWNER) == main_, true);
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(Caret(), 26u) << "Cancel goes nowhere";
}

TEST_F(GotoTest, DoubleClicksOpenItWithTheMatchingBoxFocusedAndSelected) {
  Select(14, 14);
  for (int field : {kFieldColumn, kFieldPosition, kFieldLine}) {
    bool ran = WithDialog([&] { DoubleClick(field); }, [&](HWND dialog) {
      ExpectFocusedAndSelected(dialog, field == kFieldLine ? IDC_GOTO_LINE : IDC_GOTO_POSITION,
                               "field " + std::to_string(field));
      SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_TRUE(ran) << "field " << field;
  }
}

TEST_F(GotoTest, LineAndPositionEntriesAbsoluteRelativeAndFromTheEnd) {
  EXPECT_EQ(Go(IDC_GOTO_LINE, "3"), 0);
  EXPECT_EQ(Sel(), std::make_pair(DWORD{24}, DWORD{24})) << "the start of the line";
  EXPECT_EQ(Field(kFieldLine), "Ln: 3/6");
  // Each entry from where the one before left the caret. Lines go to their
  // start; beyond either end is the first or the last line.
  struct Step {
    int box;
    const char *entry;
    DWORD caret;
  } steps[] = {
      {IDC_GOTO_LINE, "+2", 48},    {IDC_GOTO_LINE, " -3 ", 12},
      {IDC_GOTO_LINE, "$", 60},     {IDC_GOTO_LINE, "$-2", 36},  {IDC_GOTO_LINE, "0", 60},
      {IDC_GOTO_LINE, "-40", 0},    {IDC_GOTO_LINE, "99", 64},   {IDC_GOTO_POSITION, "5", 4},
      {IDC_GOTO_POSITION, "+10", 14}, {IDC_GOTO_POSITION, "$", 64}, {IDC_GOTO_POSITION, "$-4", 60},
  };
  for (const Step &step : steps) {
    EXPECT_EQ(Go(step.box, step.entry), 0) << step.entry;
    EXPECT_EQ(Sel(), std::make_pair(step.caret, step.caret)) << step.entry;
  }

  // Extending the selection keeps the anchor.
  Select(2, 2);
  bool ran = WithDialog([&] { SendMessageA(main_, WM_COMMAND, IDM_EDIT_GOTO, 0); }, [&](HWND dialog) {
    CheckDlgButton(dialog, IDC_GOTO_EXTEND, BST_CHECKED);
    Enter(dialog, IDC_GOTO_POSITION, "8");
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(Anchor(), 2u);
  EXPECT_EQ(Caret(), 7u);
  EXPECT_EQ(Field(kFieldSelection), "Sel: 5");
}

TEST_F(GotoTest, TheBoxLastFocusedCounts) {
  Select(0, 0);
  bool ran = WithDialog([&] { SendMessageA(main_, WM_COMMAND, IDM_EDIT_GOTO, 0); }, [&](HWND dialog) {
    SetDlgItemTextA(dialog, IDC_GOTO_LINE, "4");
    SetDlgItemTextA(dialog, IDC_GOTO_POSITION, "3");
    // Into the Position box and out to the OK button.
    SetFocus(GetDlgItem(dialog, IDC_GOTO_POSITION));
    SetFocus(GetDlgItem(dialog, IDOK));
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(Caret(), 2u);
}

TEST_F(GotoTest, GarbageIsRefusedAndTheDialogStays) {
  Select(13, 13);
  LRESULT answer = -1;
  bool ran = WithDialog([&] { answer = SendMessageA(main_, WM_COMMAND, IDM_EDIT_GOTO, 0); }, [&](HWND dialog) {
    for (const char *bad : {"abc", "", "+", "$-", "3x", "--2", "9999999999", "$5"}) {
      Enter(dialog, IDC_GOTO_LINE, bad);
      EXPECT_EQ(Caret(), 13u) << bad;
      EXPECT_EQ(BoxText(dialog, IDC_GOTO_LINE), bad);
      ExpectFocusedAndSelected(dialog, IDC_GOTO_LINE, bad);
    }
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(answer, 1) << "cancelled: nothing done";
  EXPECT_EQ(Caret(), 13u);
}

TEST(GotoEntry, FormsAndTheRequestsTheyMake) {
  struct Case {
    const char *text;
    GotoBox box;
    bool ok;
    i32 number;
    u32 flags;
  } cases[] = {
      {"1", kGotoBoxLine, true, 0, kGotoLine},
      {"  12 ", kGotoBoxLine, true, 11, kGotoLine},
      {"0", kGotoBoxLine, true, -1, kGotoLine},
      {"$", kGotoBoxPosition, true, -1, kGotoPosition},
      {"$ - 3", kGotoBoxPosition, true, -4, kGotoPosition},
      {"+7", kGotoBoxLine, true, 7, kGotoLine | kGotoRelative},
      {"-7", kGotoBoxPosition, true, -7, kGotoPosition | kGotoRelative},
      {"+0", kGotoBoxLine, true, 0, kGotoLine | kGotoRelative},
      {"2147483647", kGotoBoxLine, true, 2147483646, kGotoLine},
      {"-2147483647", kGotoBoxLine, true, -2147483647, kGotoLine | kGotoRelative},
      {"2147483648", kGotoBoxLine, false, 0, 0},
      {"", kGotoBoxLine, false, 0, 0},
      {"  ", kGotoBoxLine, false, 0, 0},
      {"1 2", kGotoBoxLine, false, 0, 0},
      {"+-1", kGotoBoxLine, false, 0, 0},
      {"$$", kGotoBoxLine, false, 0, 0},
      {"0x10", kGotoBoxLine, false, 0, 0},
      {"1.5", kGotoBoxLine, false, 0, 0},
  };
  for (const Case &c : cases) {
    GotoRequest r = {99, 99};
    EXPECT_EQ(ParseGotoEntry(c.text, c.box, &r), c.ok) << "\"" << c.text << "\"";
    if (!c.ok) continue;
    EXPECT_EQ(r.number, c.number) << "\"" << c.text << "\"";
    EXPECT_EQ(r.flags, c.flags) << "\"" << c.text << "\"";
  }
}

}  // namespace
