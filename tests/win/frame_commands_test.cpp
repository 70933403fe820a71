// The frame's close paths and file commands in this process: Esc and
// Shift+Esc with their settings, Save and Exit, Session Hard to Close,
// Revert, Include and Exclude, and the menu states that go with them.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/common_dialogs.h"
#include "app/file_commands.h"
#include "app/main_window.h"
#include "app/search_bar.h"
#include "app/search_commands.h"
#include "config/config_state.h"
#include "document/long_operation.h"
#include "document/range_set.h"
#include "document/edit.h"
#include "editor/editor_commands.h"
#include "editor/editor_messages.h"
#include "editor/editor_window.h"
#include "files/encoding.h"
#include "search/search_run.h"
#include "editor/editor_mouse.h"
#include "resources/resource.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"
#include "tests/win/gui_helpers.h"

namespace {

// The Open and Save dialogs answered from a script: each expected dialog
// gets its path ("" for Cancel); an unexpected one fails the test.
class ScriptedDialogs {
 public:
  ScriptedDialogs() : answerer_{Open, Save, this, nullptr, nullptr, nullptr} { previous_ = InstallDialogAnswerer(&answerer_); }
  ~ScriptedDialogs() {
    InstallDialogAnswerer(previous_);
    EXPECT_TRUE(script_.empty()) << "a dialog was expected and not shown";
  }
  ScriptedDialogs &Expect(bool save, const std::string &path) {
    script_.push_back({save, path});
    return *this;
  }

 private:
  static bool Answer(void *context, char *path, bool save) {
    ScriptedDialogs *d = static_cast<ScriptedDialogs *>(context);
    if (d->script_.empty() || d->script_.front().first != save) {
      ADD_FAILURE() << "an unexpected " << (save ? "Save" : "Open") << " dialog";
      return false;
    }
    const std::string answer = d->script_.front().second;
    d->script_.erase(d->script_.begin());
    if (answer.empty()) return false;
    snprintf(path, 261, "%s", answer.c_str());
    return true;
  }
  static bool Open(void *context, char *path) { return Answer(context, path, false); }
  static bool Save(void *context, char *path) { return Answer(context, path, true); }
  DialogAnswerer answerer_;
  const DialogAnswerer *previous_;
  std::vector<std::pair<bool, std::string>> script_;
};

class FrameCommands : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ResetFrameGlobals()); }
  void TearDown() override {
    DestroyFrame();
    SetDefaultSettings(&g_settings, true);
  }
  void Create() {
    ASSERT_EQ(CreateMainWindow(), 0);
    Pump();
    ASSERT_NE(g_app.editorWindow, nullptr);
  }
  // A fresh frame after this one, for a start-up option to be set before Create.
  void Restart() {
    DestroyFrame();
    ASSERT_TRUE(ResetFrameGlobals());
  }
  static void Pump() { PumpMessages(); }
  // Runs a command and what it posted; whether the frame is gone after it.
  bool Closes(int id) {
    SendMessageA(g_app.mainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0);
    HWND frame = g_app.mainWindow;
    Pump();
    return !IsWindow(frame);
  }
  void Type(const char *text) {
    for (const char *c = text; *c; c++) SendMessageA(g_app.editorWindow, WM_CHAR, static_cast<u8>(*c), 1);
  }
  static std::pair<DWORD, DWORD> Selection() {
    DWORD a = 0, b = 0;
    SendMessageA(g_app.editorWindow, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
    return {a, b};
  }
  bool Grey(int id) {
    HMENU menu = GetMenu(g_app.mainWindow);
    SendMessageA(g_app.mainWindow, WM_INITMENU, reinterpret_cast<WPARAM>(menu), 0);
    return (GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED) != 0;
  }
};

// Esc and Shift+Esc over their settings and the document's state: whether
// the window closes, what is asked, and whether the session ends without
// saving the configuration.
TEST_F(FrameCommands, EscapeAndShiftEscapeFollowTheirSettings) {
  const char *kQuit = "Do you want to quit?";
  const char *kSave = "Save current changes to Untitled?";
  struct Case {
    int id, esc, askEsc, dNoSave;
    bool modified;
    const char *question;  // asked first, answered with `answer`
    int answer;
    bool closes, withoutSaving;
  } cases[] = {
      {IDM_FILE_ESCAPE, 0, 0, 0, false, nullptr, 0, false, false},               // Esc off: a beep
      {IDM_FILE_ESCAPE, 1, 0, 0, false, nullptr, 0, true, false},                // straight out
      {IDM_FILE_ESCAPE, 1, 1, 0, false, kQuit, kAnswerYes, true, false},         // asked, Yes
      {IDM_FILE_ESCAPE, 1, 1, 0, false, kQuit, kAnswerNo, false, false},         // asked, No
      {IDM_FILE_ESCAPE, 1, 1, 0, true, kSave, kAnswerNo, true, false},           // only the save question
      {IDM_FILE_ESCAPE, 1, 1, 0, true, kSave, kAnswerCancel, false, false},
      {IDM_FILE_ESCAPE_NO_SAVE, 1, 1, 0, true, nullptr, 0, true, true},          // no question at all
      {IDM_FILE_ESCAPE_NO_SAVE, 1, 1, 0, false, kQuit, kAnswerCancel, false, false},
      {IDM_FILE_ESCAPE_NO_SAVE, 1, 0, 1, true, nullptr, 0, false, false},        // DNoSave: a beep
      {IDM_FILE_ESCAPE_NO_SAVE, 0, 0, 0, true, nullptr, 0, false, false},        // Esc off
  };
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(n++);
    ASSERT_TRUE(ResetFrameGlobals());
    g_settings.main.Esc = c.esc;
    g_settings.main.AskEsc = c.askEsc;
    g_settings.main.DNoSave = c.dNoSave;
    Create();
    if (c.modified) Type("x");
    bool closed;
    int withoutSaving = -1;
    {
      ScriptedAnswerer answers;
      if (c.question) answers.Expect(c.question, kAskYesNoCancel, c.answer);
      SendMessageA(g_app.mainWindow, WM_COMMAND, static_cast<WPARAM>(c.id), 0);
      withoutSaving = g_app.exitWithoutSaving;
      HWND frame = g_app.mainWindow;
      Pump();
      closed = !IsWindow(frame);
    }
    EXPECT_EQ(closed, c.closes);
    if (closed) EXPECT_EQ(withoutSaving != 0, c.withoutSaving);
    else EXPECT_EQ(g_app.exitWithoutSaving, 0) << "what does not close clears exit without saving";
    DestroyFrame();
  }
}

// Hard to Close refuses Exit, Esc, Save and Exit and the close button, each
// time with message 574; Exit and Save and Exit are greyed meanwhile.
TEST_F(FrameCommands, HardToCloseRefusesEveryWayOut) {
  TempFolder dir;
  const std::string file = dir.File("keep.txt");
  ASSERT_TRUE(WriteBytes(file, "kept"));
  g_settings.main.Esc = 1;
  Create();
  EXPECT_FALSE(Grey(IDM_FILE_EXIT));
  EXPECT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_OPT_HARD_TO_CLOSE, 0), 0);
  EXPECT_TRUE(Grey(IDM_FILE_EXIT));
  EXPECT_TRUE(Grey(IDM_FILE_SAVE_AND_EXIT));
  EXPECT_TRUE(GetMenuState(GetMenu(g_app.mainWindow), IDM_OPT_HARD_TO_CLOSE, MF_BYCOMMAND) & MF_CHECKED);
  const std::string refusal =
      "Wait! This session is set to be Hard-To-Close.\nSee the Options menu to make the window closeable again.";
  for (int id : {IDM_FILE_EXIT, IDM_FILE_ESCAPE, IDM_FILE_ESCAPE_NO_SAVE}) {
    ScriptedAnswerer answers;
    answers.Expect(refusal, kAskWarning, kAnswerOk);
    EXPECT_FALSE(Closes(id)) << id;
    EXPECT_EQ(g_app.exitWithoutSaving, 0);
  }
  {
    ScriptedAnswerer answers;
    answers.Expect(refusal, kAskWarning, kAnswerOk);
    SendMessageA(g_app.mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump();
    EXPECT_TRUE(IsWindow(g_app.mainWindow));
  }
  EXPECT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_OPT_HARD_TO_CLOSE, 0), 0);
  EXPECT_FALSE(Grey(IDM_FILE_EXIT));
  // Save and Exit: a cancelled Save keeps the window (an untitled document
  // asks for a name), a saved document closes it.
  Type("new ");
  {
    ScriptedDialogs dialogs;
    dialogs.Expect(true, "");
    EXPECT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_SAVE_AND_EXIT, 0), 1);
    Pump();
    EXPECT_TRUE(IsWindow(g_app.mainWindow));
  }
  {
    ScriptedDialogs dialogs;
    dialogs.Expect(true, file);
    EXPECT_TRUE(Closes(IDM_FILE_SAVE_AND_EXIT));
  }
  EXPECT_EQ(ReadBytes(file), "new ");
}

// Revert drops the changes (after asking), Include puts a file's text at the
// caret keeping the document's name, Exclude saves the selection as a file
// and deletes it; their menu items are greyed when there is nothing to do.
TEST_F(FrameCommands, RevertIncludeAndExclude) {
  TempFolder dir;
  const std::string file = dir.File("doc.txt"), part = dir.File("part.txt"), cut = dir.File("cut.txt");
  ASSERT_TRUE(WriteBytes(file, "one two"));
  ASSERT_TRUE(WriteBytes(part, "[part]"));
  Create();
  EXPECT_TRUE(Grey(IDM_FILE_REVERT));
  EXPECT_TRUE(Grey(IDM_FILE_EXCLUDE));
  {
    ScriptedDialogs dialogs;
    dialogs.Expect(false, file);
    SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_OPEN, 0);
  }
  EXPECT_FALSE(Grey(IDM_FILE_REVERT));
  SendMessageA(g_app.editorWindow, EM_SETSEL, 3, 3);
  {
    ScriptedDialogs dialogs;
    dialogs.Expect(false, part);
    EXPECT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_INCLUDE, 0), 0);
  }
  char text[64];
  SendMessageA(g_app.editorWindow, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "one[part] two");
  EXPECT_EQ(WindowText(g_app.mainWindow), "*doc.txt - Quillpad");
  // Exclude: " two" into a file of its own.
  SendMessageA(g_app.editorWindow, EM_SETSEL, 9, 13);
  EXPECT_FALSE(Grey(IDM_FILE_EXCLUDE));
  {
    ScriptedDialogs dialogs;
    dialogs.Expect(true, cut);
    EXPECT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_EXCLUDE, 0), 0);
  }
  EXPECT_EQ(ReadBytes(cut), " two");
  SendMessageA(g_app.editorWindow, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "one[part]");
  // Revert: asked, then the file as it is on disk.
  {
    ScriptedAnswerer answers;
    answers.Expect("Do you realy want to revert the document? All changes will be lost!", kAskYesNo, kAnswerYes);
    EXPECT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_REVERT, 0), 0);
  }
  SendMessageA(g_app.editorWindow, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "one two");
  EXPECT_EQ(WindowText(g_app.mainWindow), "doc.txt - Quillpad");
}

// Encoding and Newlines become submenus when the menu bar opens, made anew
// each time from the document: checks, the BOM item, Mixed greyed when mixed
// newlines are not allowed; choosing an item changes the document.
TEST_F(FrameCommands, EncodingAndNewlinesSubmenusFollowTheDocument) {
  Create();
  HMENU bar = GetMenu(g_app.mainWindow);
  auto state = [&](UINT id) {
    SendMessageA(g_app.mainWindow, WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0);
    return GetMenuState(bar, id, MF_BYCOMMAND);
  };
  const UINT kMissing = static_cast<UINT>(-1);
  EXPECT_TRUE(state(IDM_ENCODING_ANSI) & MF_CHECKED);
  EXPECT_TRUE(state(IDM_ENCODING_BOM) & MF_GRAYED) << "ANSI has no byte-order mark";
  EXPECT_EQ(state(IDM_ENCODING_CODE_PAGE), kMissing);
  EXPECT_TRUE(state(IDM_NEWLINES_WIN) & MF_CHECKED);
  EXPECT_FALSE(state(IDM_NEWLINES_MIXED) & MF_GRAYED);
  // UTF-8, then its mark; Unix newlines.
  EXPECT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_ENCODING_ANSI + 1, 0), 0);
  EXPECT_EQ(SendMessageA(g_app.editorWindow, EDM_GETENCODING, 0, 0), 1);
  EXPECT_FALSE(state(IDM_ENCODING_ANSI) & MF_CHECKED);
  EXPECT_TRUE(state(IDM_ENCODING_ANSI + 1) & MF_CHECKED);
  const bool bom = (state(IDM_ENCODING_BOM) & MF_CHECKED) != 0;
  EXPECT_FALSE(state(IDM_ENCODING_BOM) & MF_GRAYED);
  EXPECT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_ENCODING_BOM, 0), 0);
  EXPECT_EQ((state(IDM_ENCODING_BOM) & MF_CHECKED) != 0, !bom);
  EXPECT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_NEWLINES_WIN + 1, 0), 0);
  EXPECT_EQ(SendMessageA(g_app.editorWindow, EDM_GETNEWLINES, 0, 0), 1);
  EXPECT_TRUE(state(IDM_NEWLINES_WIN + 1) & MF_CHECKED);
  EXPECT_FALSE(state(IDM_NEWLINES_WIN) & MF_CHECKED);
  // One submenu each, however often the bar opens.
  int popups = 0;
  HMENU file = GetSubMenu(bar, 0);
  for (int i = 0; i < GetMenuItemCount(file); i++) popups += GetSubMenu(file, i) != nullptr;
  EXPECT_EQ(popups, 8) << "Encoding, Newlines, Import, Export, Re-open, System, Recent Files, Favourites";
  g_settings.file.NoMixNl = 1;
  EXPECT_TRUE(state(IDM_NEWLINES_MIXED) & MF_GRAYED);
}

// The menu bar as WM_INITMENU leaves it: the items of commands still to come
// greyed (and answered without a word when sent anyway), the others greyed
// by the facts they need: a file, a selection, word wrap.
TEST_F(FrameCommands, MenuStatesFollowTheirTables) {
  Create();
  HWND main = g_app.mainWindow;
  HMENU bar = GetMenu(main);
  auto greyed = [&](UINT id) {
    SendMessageA(main, WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0);
    return (GetMenuState(bar, id, MF_BYCOMMAND) & MF_GRAYED) != 0;
  };
  std::vector<UINT> ids;
  std::function<void(HMENU)> collect = [&](HMENU m) {
    for (int i = 0; i < GetMenuItemCount(m); i++) {
      if (HMENU sub = GetSubMenu(m, i)) {
        collect(sub);
      } else if (const UINT id = GetMenuItemID(m, i); id && id != static_cast<UINT>(-1)) {
        ids.push_back(id);
      }
    }
  };
  SendMessageA(main, WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0);
  collect(bar);
  ASSERT_GT(ids.size(), 150u);
  int pending = 0;
  for (UINT id : ids) {
    if (!CommandPending(id)) continue;
    pending++;
    EXPECT_TRUE(GetMenuState(bar, id, MF_BYCOMMAND) & MF_GRAYED) << id;
    const LRESULT r = SendMessageA(main, WM_COMMAND, id, 0);
    EXPECT_TRUE(r == 1 || r == 2) << id << " answered " << r;
  }
  EXPECT_EQ(pending, 0) << "every command of the menus is built";
  EXPECT_FALSE(CommandPending(IDM_FILE_SAVE) || CommandPending(IDM_EDIT_UNDO) || CommandPending(IDM_HELP_ABOUT));
  SendMessageA(g_app.editorWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("some text"));
  SendMessageA(g_app.editorWindow, EM_SETSEL, 2, 2);
  EXPECT_TRUE(greyed(IDM_FILE_EXCLUDE) && greyed(IDM_EDIT_DELETE) && greyed(IDM_FILE_REVERT) && greyed(IDM_REOPEN_MENU));
  SendMessageA(g_app.editorWindow, EM_SETSEL, 2, 5);
  EXPECT_FALSE(greyed(IDM_FILE_EXCLUDE) || greyed(IDM_EDIT_DELETE));
  EXPECT_FALSE(greyed(IDM_FILE_EXIT));
  SendMessageA(main, WM_COMMAND, IDM_OPT_HARD_TO_CLOSE, 0);
  EXPECT_TRUE(greyed(IDM_FILE_EXIT) && greyed(IDM_FILE_SAVE_AND_EXIT));
  SendMessageA(main, WM_COMMAND, IDM_OPT_HARD_TO_CLOSE, 0);
}

// The editor's NM_RCLICK shows menu 21 through the popup function, its
// items greyed by the same tables (Paste and Swap without text on the
// clipboard, Cut and Copy without a selection while CASel is 0), and runs
// the command chosen.
TEST_F(FrameCommands, ContextMenuFromTheEditor) {
  Create();
  static std::vector<std::pair<UINT, bool>> shown;  // id, greyed
  static UINT answer;
  auto saved = g_popupMenu;
  g_popupMenu = [](HMENU menu, int, int, HWND) -> UINT {
    shown.clear();
    for (int i = 0; i < GetMenuItemCount(menu); i++) {
      const UINT id = GetMenuItemID(menu, i);
      if (id && id != static_cast<UINT>(-1))
        shown.push_back({id, (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0});
    }
    return answer;
  };
  ASSERT_TRUE(OpenClipboardWhenFree());
  EmptyClipboard();
  CloseClipboard();
  g_settings.edit.CASel = 0;
  SendMessageA(g_app.editorWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("some text"));
  SendMessageA(g_app.editorWindow, EM_SETSEL, 2, 2);
  answer = IDM_EDIT_SELECT_ALL;
  struct {
    NMHDR header;
    POINT point;
  } note = {{g_app.editorWindow, IDC_EDITOR, static_cast<UINT>(NM_RCLICK)}, {10, 10}};
  SendMessageA(g_app.mainWindow, WM_NOTIFY, IDC_EDITOR, reinterpret_cast<LPARAM>(&note));
  const std::vector<std::pair<UINT, bool>> expected = {
      {IDM_EDIT_UNDO, true},  {IDM_EDIT_REDO, true},   {IDM_EDIT_CUT, true},    {IDM_EDIT_COPY, true},
      {IDM_EDIT_PASTE, true}, {IDM_EDIT_SWAP, true},   {IDM_EDIT_DELETE, true}, {IDM_EDIT_SELECT_ALL, false},
      {IDM_EDIT_WEB_SEARCH, true}};
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(Selection(), std::make_pair(DWORD(0), DWORD(9)));
  answer = IDM_EDIT_COPY;
  SendMessageA(g_app.mainWindow, WM_NOTIFY, IDC_EDITOR, reinterpret_cast<LPARAM>(&note));
  answer = 0;
  SendMessageA(g_app.mainWindow, WM_NOTIFY, IDC_EDITOR, reinterpret_cast<LPARAM>(&note));
  EXPECT_FALSE(shown[4].second) << "Paste once the clipboard holds text";
  EXPECT_FALSE(shown[2].second) << "Cut with a selection";
  g_popupMenu = saved;
}

// The wheel and double-click metrics are read at creation and again when
// the system says its settings changed.
TEST_F(FrameCommands, InputMetricsFollowTheSystemSettings) {
  Create();
  UINT lines = 0;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &lines, 0));
  EXPECT_EQ(g_inputMetrics.wheelLines, static_cast<int>(lines));
  EXPECT_EQ(g_inputMetrics.doubleClickTime, GetDoubleClickTime());
  ASSERT_TRUE(SystemParametersInfoA(SPI_SETWHEELSCROLLLINES, lines + 4, nullptr, 0));
  SendMessageA(g_app.mainWindow, WM_SETTINGCHANGE, SPI_SETWHEELSCROLLLINES, 0);
  EXPECT_EQ(g_inputMetrics.wheelLines, static_cast<int>(lines + 4));
  ASSERT_TRUE(SystemParametersInfoA(SPI_SETWHEELSCROLLLINES, lines, nullptr, 0));
  SendMessageA(g_app.mainWindow, WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(g_inputMetrics.wheelLines, static_cast<int>(lines));
}

// Stay on Top and Session on Top make the window topmost, either of them;
// Second Font switches the editor's font; Fullscreen takes the caption and
// frame away and maximizes, remembering the placement (which a configuration
// save meanwhile writes, with FulScr), and restoring the window leaves it.
TEST_F(FrameCommands, OnTopSecondFontAndFullscreen) {
  Create();
  HWND main = g_app.mainWindow;
  auto topmost = [&] { return (GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
  auto run = [&](int id) { EXPECT_EQ(SendMessageA(main, WM_COMMAND, static_cast<WPARAM>(id), 0), 0); };
  EXPECT_FALSE(topmost());
  run(IDM_OPT_STAY_ON_TOP);
  EXPECT_TRUE(topmost());
  EXPECT_EQ(g_settings.opts.OnTop, 1);
  run(IDM_OPT_SESSION_ON_TOP);
  run(IDM_OPT_STAY_ON_TOP);
  EXPECT_TRUE(topmost()) << "the session flag still holds it";
  run(IDM_OPT_SESSION_ON_TOP);
  EXPECT_FALSE(topmost());

  const int pitch = SendMessageA(g_app.editorWindow, EDM_GETCHARWIDTH, 0, 0);
  run(IDM_OPT_SECOND_FONT);
  EXPECT_EQ(g_settings.opts.CFont, 1);
  run(IDM_OPT_SECOND_FONT);
  EXPECT_EQ(g_settings.opts.CFont, 0);
  EXPECT_EQ(SendMessageA(g_app.editorWindow, EDM_GETCHARWIDTH, 0, 0), pitch);

  SetWindowPos(main, nullptr, 40, 30, 500, 400, SWP_NOZORDER);
  run(IDM_OPT_FULLSCREEN);
  EXPECT_EQ(g_app.fullscreen, 1);
  EXPECT_EQ(g_settings.place.FulScr, 1);
  EXPECT_FALSE(GetWindowLongA(main, GWL_STYLE) & WS_CAPTION);
  EXPECT_TRUE(IsZoomed(main));
  PlaceSettings saved = {};
  g_config.hooks.capturePlacement(g_config.hooks.context, &saved);
  EXPECT_EQ(saved.Left, 40);
  EXPECT_EQ(saved.Top, 30);
  EXPECT_EQ(saved.Width, 500);
  EXPECT_EQ(saved.FulScr, 1);
  run(IDM_OPT_FULLSCREEN);
  EXPECT_EQ(g_app.fullscreen, 0);
  EXPECT_TRUE(GetWindowLongA(main, GWL_STYLE) & WS_CAPTION);
  EXPECT_FALSE(IsZoomed(main));
  RECT r;
  GetWindowRect(main, &r);
  EXPECT_EQ(r.left, 40);
  EXPECT_EQ(r.right - r.left, 500);
  // Restoring the window leaves fullscreen too.
  run(IDM_OPT_FULLSCREEN);
  ShowWindow(main, SW_RESTORE);
  EXPECT_EQ(g_app.fullscreen, 0);
  EXPECT_EQ(g_settings.place.FulScr, 0);
  EXPECT_TRUE(GetWindowLongA(main, GWL_STYLE) & WS_CAPTION);
  Restart();  // /F at start
  g_app.options.fullscreen = 1;
  Create();
  EXPECT_EQ(g_app.fullscreen, 1);
  EXPECT_TRUE(IsZoomed(g_app.mainWindow));
}

// A drop of files as the shell hands it over: DROPFILES and the names.
HGLOBAL Drop(const std::vector<std::string> &paths) {
  size_t bytes = sizeof(DROPFILES) + 1;
  for (const std::string &p : paths) bytes += p.size() + 1;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
  char *base = static_cast<char *>(GlobalLock(h));
  reinterpret_cast<DROPFILES *>(base)->pFiles = sizeof(DROPFILES);
  char *at = base + sizeof(DROPFILES);
  for (const std::string &p : paths) {
    memcpy(at, p.c_str(), p.size() + 1);
    at += p.size() + 1;
  }
  GlobalUnlock(h);
  return h;
}

// Dropped files: the first opened, the others joined at its end on Yes, in
// drop order; No keeps the first alone; a name too long is reported whole
// and nothing is opened; the join question comes only after a first file
// opened.
TEST_F(FrameCommands, DroppedFilesOpenTheFirstAndJoinTheOthersOnYes) {
  TempFolder dir;
  const std::string a = dir.File("a.txt"), b = dir.File("b.txt"), c = dir.File("c.txt");
  ASSERT_TRUE(WriteBytes(a, "A\r\n"));
  ASSERT_TRUE(WriteBytes(b, "B\r\n"));
  ASSERT_TRUE(WriteBytes(c, "C"));
  Create();
  auto text = [] {
    char t[64];
    SendMessageA(g_app.editorWindow, WM_GETTEXT, sizeof t, reinterpret_cast<LPARAM>(t));
    return std::string(t);
  };
  const char *kJoin = "Multiple files have been dropped. Do you want to join them?";
  {
    ScriptedAnswerer answers;
    answers.Expect(kJoin, kAskYesNo, kAnswerYes);
    SendMessageA(g_app.mainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(Drop({a, b, c})), 0);
  }
  EXPECT_EQ(text(), "A\r\nB\r\nC");
  EXPECT_EQ(WindowText(g_app.mainWindow), "*a.txt - Quillpad");
  {
    ScriptedAnswerer answers;
    answers.Expect("Save current changes to a.txt?", kAskYesNoCancel, kAnswerNo).Expect(kJoin, kAskYesNo, kAnswerNo);
    SendMessageA(g_app.mainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(Drop({c, a})), 0);
  }
  EXPECT_EQ(text(), "C");
  EXPECT_EQ(WindowText(g_app.mainWindow), "c.txt - Quillpad");
  const std::string longName = dir.File(std::string(300, 'x') + ".txt");
  {
    ScriptedAnswerer answers;
    answers.Expect("Could not read file " + longName + "!", kAskWarning, kAnswerOk);
    SendMessageA(g_app.mainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(Drop({longName, a})), 0);
  }
  EXPECT_EQ(text(), "C");
  const std::string missing = dir.File("missing.txt");
  {
    ScriptedAnswerer answers;
    answers.Expect("Could not find file " + missing + ".\nDo you want to create a new file?", kAskYesNo, kAnswerNo)
        .Expect("Could not read file " + missing + "!", kAskWarning, kAnswerOk);
    SendMessageA(g_app.mainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(Drop({missing, a})), 0);
  }
}

// Hide to Tray: the window hidden once its icon is there; a button released
// on the icon brings it back; 24 (another window handing over) restores it
// and forgets the tray too; /H at start goes to the tray.
TEST_F(FrameCommands, HideToTrayAndBack) {
  Create();
  HWND main = g_app.mainWindow;
  EXPECT_EQ(SendMessageA(main, WM_COMMAND, IDM_FILE_HIDE_TO_TRAY, 0), 0);
  EXPECT_EQ(g_app.inTray, 1);
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_EQ(SendMessageA(main, WM_COMMAND, IDM_FILE_HIDE_TO_TRAY, 0), 1) << "already there";
  SendMessageA(main, g_app.taskbarCreated, 0, 0);  // the icon added again
  EXPECT_EQ(g_app.inTray, 1);
  SendMessageA(main, 0x8100, 1, WM_MOUSEMOVE);
  EXPECT_FALSE(IsWindowVisible(main));
  SendMessageA(main, 0x8100, 1, WM_LBUTTONUP);
  EXPECT_EQ(g_app.inTray, 0);
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_FALSE(IsIconic(main));
  EXPECT_EQ(SendMessageA(main, WM_COMMAND, IDM_FILE_HIDE_TO_TRAY, 0), 0);
  SendMessageA(main, 0x8100, 1, 24);
  EXPECT_EQ(g_app.inTray, 0);
  EXPECT_FALSE(IsIconic(main));
  Restart();  // /H at start
  g_app.options.hidden = 1;
  Create();
  EXPECT_EQ(g_app.inTray, 1);
  EXPECT_FALSE(IsWindowVisible(g_app.mainWindow));
}

// New Window starts the program again on the same configuration file: the
// new window reads the INI named with /i (word wrap off there).
TEST(FrameEndToEnd, NewWindowKeepsTheConfigurationFile) {
  TempFolder dir;
  const std::string ini = dir.File("QuilPad.ini");
  ASSERT_TRUE(WriteBytes(ini, "\xEF\xBB\xBF[Opts]\r\nWWrap=0\r\n"));
  Program first("\"" + ExeDir() + "quillpad.exe\" /i \"" + ini + "\"");
  HWND main = WaitForWindow(first.pid(), "QuilPad", 15000);
  ASSERT_NE(main, nullptr);
  first.WaitIdle(15000);
  EXPECT_EQ(SendMessageA(GetDlgItem(main, 1020), EDM_GETWORDWRAP, 0, 0), 0);
  PostMessageA(main, WM_COMMAND, IDM_FILE_NEW_WINDOW, 0);
  HWND second = nullptr;
  ASSERT_TRUE(PumpUntil(
      [&] {
        for (HWND h = FindWindowA("QuilPad", nullptr); h; h = FindWindowExA(nullptr, h, "QuilPad", nullptr)) {
          DWORD pid = 0;
          GetWindowThreadProcessId(h, &pid);
          if (pid != first.pid() && IsWindowVisible(h)) second = h;
        }
        return second != nullptr;
      },
      15000));
  DWORD pid = 0;
  GetWindowThreadProcessId(second, &pid);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  // A window can be visible before its start-up command has read the
  // configuration: give it the time a slow machine needs.
  EXPECT_TRUE(PumpUntil([&] { return SendMessageA(GetDlgItem(second, 1020), EDM_GETWORDWRAP, 0, 0) == 0; }, 30000))
      << "the new window read another configuration";
  PostMessageA(second, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process, 30000), WAIT_OBJECT_0);
  CloseHandle(process);
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(first.WaitExit(15000), 0u);
}

// Utility Info: the figures from the editor (KiB rounded up), Compact with
// its quip, Clear All Steps enabled only with steps and asking first; About
// shows the version.
TEST_F(FrameCommands, InfoAndAboutDialogs) {
  Create();
  Type("hello");
  auto item = [](HWND dialog, int id) {
    char text[64];
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return std::string(text);
  };
  auto open = [](int id) { return [id] { SendMessageA(g_app.mainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0); }; };
  ScriptedAnswerer answers;
  answers.Allow("Knock it off!", kAskInfo, kAnswerOk).Allow("No way!", kAskInfo, kAnswerOk)
      .Allow("Really? No..", kAskInfo, kAnswerOk).Allow("Are we there yet?", kAskInfo, kAnswerOk);
  answers.Expect("Are you sure?", kAskYesNo, kAnswerYes);
  EXPECT_TRUE(WithDialog(open(IDM_HELP_INFO), [&](HWND dialog) {
    EXPECT_EQ(WindowText(dialog), "Info");
    EXPECT_EQ(item(dialog, IDC_INFO_LENGTH), "5");
    EXPECT_EQ(item(dialog, IDC_INFO_SIZE), "1 KiB") << "5 bytes round up";
    EXPECT_EQ(item(dialog, IDC_INFO_TEXT), "4 KiB") << "one block buffer";
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_INFO_CLEAR)));
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDOK));
    SendMessageA(dialog, WM_COMMAND, IDC_INFO_COMPACT, 0);
    SendMessageA(dialog, WM_COMMAND, IDC_INFO_CLEAR, 0);
    EXPECT_EQ(item(dialog, IDC_INFO_STEPS), "0 + 0");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_INFO_CLEAR)));
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
  }));
  EXPECT_EQ(answers.asked().size(), 2u) << "one quip and the question";
  EXPECT_EQ(SendMessageA(g_app.editorWindow, EM_CANUNDO, 0, 0), 0);
  EXPECT_TRUE(WithDialog(open(IDM_HELP_ABOUT), [&](HWND dialog) {
    EXPECT_EQ(item(dialog, IDC_ABOUT_VERSION), "Version 6.4.1.beta, NonUNICODE, 32-bit");
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
  }));
}

// Import, Export and Re-open: four encodings, then eight groups holding
// every installed code page once (id base + 100 + its index); Re-open is
// greyed without a file and reads the file again in the chosen code page.
TEST_F(FrameCommands, ImportExportAndReopenInAnyCodePage) {
  TempFolder dir;
  const std::string file = dir.File("cp.txt");
  ASSERT_TRUE(WriteBytes(file, "\x8A"));
  (void)BuildCodePageList();  // as start-up does
  Create();
  HMENU bar = GetMenu(g_app.mainWindow);
  SendMessageA(g_app.mainWindow, WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0);
  const u32 pages = CodePageCount();
  ASSERT_GT(pages, 10u);
  for (UINT base : {IDM_IMPORT_MENU, IDM_EXPORT_MENU, IDM_REOPEN_MENU}) {
    for (u32 i = 0; i < pages; i++) {
      MENUITEMINFOA mii = {};
      mii.cbSize = sizeof mii;
      mii.fMask = MIIM_ID;
      EXPECT_TRUE(GetMenuItemInfoA(bar, base + 100 + i, FALSE, &mii)) << base << " " << CodePageName(i);
    }
    EXPECT_NE(GetMenuState(bar, base + 17, MF_BYCOMMAND), static_cast<UINT>(-1)) << "the Other group";
    EXPECT_NE(GetMenuState(bar, base + 4, MF_BYCOMMAND), static_cast<UINT>(-1));
  }
  // Made anew each time: still one item per code page.
  SendMessageA(g_app.mainWindow, WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0);
  int items = 0;
  HMENU reopen = nullptr;
  HMENU filemenu = GetSubMenu(bar, 0);
  for (int k = 0; k < GetMenuItemCount(filemenu); k++) {
    MENUITEMINFOA mii = {};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_DATA | MIIM_SUBMENU;
    GetMenuItemInfoA(filemenu, static_cast<UINT>(k), TRUE, &mii);
    if (mii.dwItemData == IDM_REOPEN_MENU) {
      reopen = mii.hSubMenu;
      EXPECT_TRUE(GetMenuState(filemenu, static_cast<UINT>(k), MF_BYPOSITION) & MF_GRAYED) << "no file yet";
    }
  }
  ASSERT_NE(reopen, nullptr);
  for (int g = 5; g < GetMenuItemCount(reopen); g++) items += GetMenuItemCount(GetSubMenu(reopen, g));
  EXPECT_EQ(items, static_cast<int>(pages));
  // Re-open as 1250.
  {
    ScriptedDialogs dialogs;
    dialogs.Expect(false, file);
    EXPECT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_IMPORT_MENU + 1, 0), 0);  // ANSI
  }
  u32 index = 0;
  while (index < pages && CodePageNumber(index) != 1250) index++;
  ASSERT_LT(index, pages);
  {
    ScriptedAnswerer answers;
    answers.Expect("Do you realy want to revert the document? All changes will be lost!", kAskYesNo, kAnswerYes);
    EXPECT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_REOPEN_MENU + 100 + index, 0), 0);
  }
  EXPECT_EQ(SendMessageA(g_app.editorWindow, EDM_GETENCODING, 0, 0), 4);
  EXPECT_EQ(SendMessageA(g_app.editorWindow, EDM_GETCODEPAGE, 0, 0), static_cast<LRESULT>(index));
  // A code page past the list does nothing.
  EXPECT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_REOPEN_MENU + 100 + pages, 0), 1);
}

// The eight display options: each command flips its setting, the menu
// shows it, and the view follows (the gutter comes and goes with Line
// Numbers).
TEST_F(FrameCommands, DisplayOptionsFlipTheirSettings) {
  Create();
  HMENU bar = GetMenu(g_app.mainWindow);
  const struct {
    int id;
    i32 *flag;
  } options[] = {
      {IDM_OPT_LINE_NUMBERS, &g_settings.opts.LnNums},  {IDM_OPT_VISIBLE_TABS, &g_settings.opts.PrnTabs},
      {IDM_OPT_VISIBLE_SPACES, &g_settings.opts.PrnSpcs}, {IDM_OPT_VISIBLE_NEWLINES, &g_settings.opts.PrnNlns},
      {IDM_OPT_LINE_LENGTHS, &g_settings.opts.PrnLens}, {IDM_OPT_COLORIZE, &g_settings.opts.TxtClrz},
      {IDM_OPT_DETECT_URLS, &g_settings.opts.Urls},     {IDM_OPT_HIGHLIGHTER, &g_settings.opts.HiliSel},
  };
  for (const auto &o : options) {
    for (int round = 0; round < 2; round++) {
      const i32 before = *o.flag;
      EXPECT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, static_cast<WPARAM>(o.id), 0), 0);
      EXPECT_EQ(*o.flag, before ? 0 : 1) << o.id;
      SendMessageA(g_app.mainWindow, WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0);
      EXPECT_EQ((GetMenuState(bar, static_cast<UINT>(o.id), MF_BYCOMMAND) & MF_CHECKED) != 0, *o.flag != 0) << o.id;
    }
  }
  g_settings.opts.LnNums = 1;
  SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_OPT_LINE_NUMBERS, 0);
  EXPECT_EQ(EditorOf(g_app.editorWindow)->gutterWidth, 0);
  SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_OPT_LINE_NUMBERS, 0);
  EXPECT_GT(EditorOf(g_app.editorWindow)->gutterWidth, 0);
}

// While a long operation runs, a close, a drop and a posted command wait for
// its end (the close cancels it), and the end of the session is refused;
// afterwards they take effect in the order they came.
TEST_F(FrameCommands, CloseDropsAndCommandsWaitForARunningOperation) {
  TempFolder dir;
  const std::string file = dir.File("dropped.txt");
  ASSERT_TRUE(WriteBytes(file, "dropped"));
  Create();
  struct Context {
    HWND main;
    HGLOBAL drop;
    LRESULT endSession = -1;
    bool aliveAfterClose = false;
  } context{g_app.mainWindow, Drop({file})};
  LongOperation op = {};
  op.context = &context;
  op.work = [](LongOperation *o) {
    Context *c = static_cast<Context *>(o->context);
    c->endSession = SendMessageA(c->main, WM_QUERYENDSESSION, 0, 0);
    PostMessageA(c->main, WM_DROPFILES, reinterpret_cast<WPARAM>(c->drop), 0);
    PostMessageA(c->main, WM_COMMAND, IDM_OPT_SESSION_ON_TOP, 0);
    PostMessageA(c->main, WM_CLOSE, 0, 0);
    const DWORD start = GetTickCount();
    while (!LongOperationCancelled(o) && GetTickCount() - start < 8000) Sleep(10);
    c->aliveAfterClose = IsWindow(c->main) != 0;
    return LongOperationCancelled(o) ? 32 : 0;
  };
  HWND frame = g_app.mainWindow;
  EXPECT_EQ(SendMessageA(g_app.editorWindow, EDM_RUNLONG, 0, reinterpret_cast<LPARAM>(&op)), 32) << "the close cancelled it";
  EXPECT_EQ(context.endSession, FALSE);
  EXPECT_TRUE(context.aliveAfterClose);
  EXPECT_TRUE(IsWindow(frame));
  EXPECT_EQ(g_app.sessionOnTop, 0);
  Pump();
  EXPECT_EQ(g_app.sessionOnTop, 1) << "the posted command ran after the operation";
  EXPECT_FALSE(IsWindow(frame)) << "then the close";
}

// A question of a half-done load runs a message loop: a close, the
// auto-save timer and a posted command arriving then wait for the load and
// act after it.
TEST_F(FrameCommands, CloseAndCommandsWaitForAHalfDoneLoad) {
  TempFolder dir;
  const std::string file = dir.File("binary.dat");
  ASSERT_TRUE(WriteBytes(file, std::string("bin\0ary", 7)));
  Create();
  g_settings.file.WarnBin = 1;
  static struct Seen {
    HWND main;
    bool alive = false;
    int onTop = -1;
    int questions = 0;
  } seen;
  seen = Seen{g_app.mainWindow};
  static const Answerer pumping = {[](void *, WindowRef, const char *text, AskKind) {
                                     seen.questions++;
                                     EXPECT_STREQ(text, ::Text(TXT_BINARY_FILE));
                                     PostMessageA(seen.main, WM_COMMAND, IDM_OPT_SESSION_ON_TOP, 0);
                                     PostMessageA(seen.main, WM_TIMER, 5, 0);
                                     PostMessageA(seen.main, WM_CLOSE, 0, 0);
                                     MSG msg;  // as the message box's own loop would
                                     while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
                                     seen.alive = IsWindow(seen.main) != 0;
                                     seen.onTop = g_app.sessionOnTop;
                                     return static_cast<int>(kAnswerOk);
                                   },
                                   nullptr};
  const Answerer *previous = InstallAnswerer(&pumping);
  HWND frame = g_app.mainWindow;
  SendMessageA(frame, WM_DROPFILES, reinterpret_cast<WPARAM>(Drop({file})), 0);
  InstallAnswerer(previous);
  EXPECT_EQ(seen.questions, 1);
  EXPECT_TRUE(seen.alive) << "the close waited";
  EXPECT_EQ(seen.onTop, 0) << "the command waited";
  EXPECT_EQ(SendMessageA(g_app.editorWindow, EDM_GETTEXTLENGTHRAW, 0, 0), 7) << "the load is whole";
  Pump();
  EXPECT_EQ(g_app.sessionOnTop, 1) << "the posted command ran after the load";
  EXPECT_FALSE(IsWindow(frame)) << "then the close";
}

// The search commands on the frame: Find Next and Previous with wrap-around
// and without, Select to Next, Find Selected and Find Later (escaping a tab),
// a replace all with its total and one Undo, a pattern that does not compile.
TEST_F(FrameCommands, SearchCommandsFindWrapAndReplace) {
  Create();
  HWND main = g_app.mainWindow, editor = g_app.editorWindow;
  SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("one two one\tthree"));
  auto sel = Selection;
  auto run = [&](int id) { return SendMessageA(main, WM_COMMAND, static_cast<WPARAM>(id), 0); };
  SearchBarSettings &first = g_settings.opts.bar[0];
  strcpy(first.Patt, "one");
  SendMessageA(editor, EM_SETSEL, 0, 0);
  EXPECT_EQ(run(25110), 0);
  EXPECT_EQ(sel(), std::make_pair(0ul, 3ul));
  EXPECT_EQ(run(25110), 0);
  EXPECT_EQ(sel(), std::make_pair(8ul, 11ul));
  EXPECT_EQ(run(25110), 0);
  EXPECT_EQ(sel(), std::make_pair(0ul, 3ul)) << "wrapped around";
  EXPECT_EQ(run(25120), 0);
  EXPECT_EQ(sel(), std::make_pair(11ul, 8ul)) << "backwards, wrapped from the end";
  SendMessageA(editor, EM_SETSEL, 4, 5);
  EXPECT_EQ(run(25150), 0);
  EXPECT_EQ(sel(), std::make_pair(4ul, 11ul)) << "select to next";
  {
    ScriptedAnswerer answers;
    answers.Expect("Could not find\none", kAskInfo, kAnswerOk);
    first.NWA = 1;
    EXPECT_EQ(run(25110), 0);
  }
  first.NWA = 0;
  // Find Selected takes a tab as \t with Escapes; Find Later only takes.
  SendMessageA(editor, EM_SETSEL, 10, 13);
  first.RgEx = 1;
  EXPECT_EQ(run(25130), 0);
  EXPECT_STREQ(first.Patt, "e\\tt");
  EXPECT_TRUE(first.Escs && !first.RgEx && !first.Case);
  SendMessageA(editor, EM_SETSEL, 5, 5);
  EXPECT_EQ(run(25340), 0);
  EXPECT_STREQ(g_settings.opts.bar[1].Patt, "two") << "the word at the caret";
  // Replace all, its total, one Undo; a pattern that does not compile.
  strcpy(first.Patt, "o");
  strcpy(first.Repl, "0");
  {
    ScriptedAnswerer answers;
    answers.Expect("Total replacements: 3", kAskInfo, kAnswerOk);
    EXPECT_EQ(RunSearch(0, kSearchReplaceAll | kSearchFromStart | kSearchReplace), 3);
  }
  char text[64];
  SendMessageA(editor, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "0ne tw0 0ne\tthree");
  SendMessageA(editor, WM_UNDO, 0, 0);
  SendMessageA(editor, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "one two one\tthree");
  strcpy(first.Patt, "(a");
  first.RgEx = 1;
  {
    ScriptedAnswerer answers;
    answers.Expect("Pattern error: Bleeding group!", kAskWarning, kAnswerOk);
    EXPECT_EQ(RunSearch(0, 0), kPatternCompileFailed);
  }
  // A catastrophic pattern highlighted while typing stops at its time limit,
  // inside the scan.
  SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(std::string(64, 'a').c_str()));
  strcpy(first.Patt, "(a|aa)*[^a]");
  const DWORD start = GetTickCount();
  RunSearch(0, kSearchHighlight | kSearchFromStart | kSearchInline);
  EXPECT_LT(GetTickCount() - start, 2000u);
  EXPECT_TRUE(LastSearchCutOff());
  strcpy(first.Patt, "a");
  RunSearch(0, kSearchHighlight | kSearchFromStart | kSearchInline);
  EXPECT_FALSE(LastSearchCutOff());
  // An empty pattern opens the bar instead.
  first.Patt[0] = 0;
  EXPECT_EQ(run(25110), 0);
  EXPECT_NE(g_app.searchBar, nullptr);
}

// The search bar: laid out between the editor and the status bar, one row
// or two; the record into its controls (the selection suggested); its
// buttons and keys write the controls back and search; Escapes gives way to
// RegExps; Highlight all marks every occurrence; Esc closes it and the
// highlights go.
TEST_F(FrameCommands, SearchBarOpensSearchesAndCloses) {
  Create();
  HWND main = g_app.mainWindow, editor = g_app.editorWindow;
  SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("one two one two"));
  g_settings.main.FHide = 0;
  strcpy(g_settings.opts.bar[0].Patt, "one");
  SendMessageA(editor, EM_SETSEL, 0, 0);
  ASSERT_EQ(SendMessageA(main, WM_COMMAND, 25100, 0), 0);
  HWND bar = g_app.searchBar;
  ASSERT_NE(bar, nullptr);
  auto rect = [](HWND w) {
    RECT r;
    GetWindowRect(w, &r);
    return r;
  };
  EXPECT_EQ(rect(editor).bottom, rect(bar).top);
  EXPECT_EQ(rect(bar).bottom, rect(g_app.statusBar).top);
  const LONG oneRow = rect(bar).bottom - rect(bar).top;
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(bar, IDC_BAR_REPLACE)));
  char text[64];
  GetDlgItemTextA(bar, IDC_BAR_FIND, text, sizeof text);
  EXPECT_STREQ(text, "one");
  // Next from the bar; Enter in the Find box is Next too.
  SetDlgItemTextA(bar, IDC_BAR_FIND, "two");
  SendMessageA(bar, WM_COMMAND, IDC_BAR_NEXT, 0);
  EXPECT_EQ(Selection(), std::make_pair(4ul, 7ul));
  EXPECT_STREQ(g_settings.opts.bar[0].Patt, "two") << "written back";
  SetFocus(GetDlgItem(bar, IDC_BAR_FIND));
  SendMessageA(bar, WM_COMMAND, IDC_BAR_KEY_ENTER, 0);
  EXPECT_EQ(Selection(), std::make_pair(12ul, 15ul));
  // Replace mode: two rows, the selection suggested; Replace All.
  ASSERT_EQ(SendMessageA(main, WM_COMMAND, 25200, 0), 0);
  EXPECT_EQ(g_app.searchBar, bar) << "re-initialised, not made again";
  EXPECT_GT(rect(bar).bottom - rect(bar).top, oneRow);
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(bar, IDC_BAR_REPLACE)));
  GetDlgItemTextA(bar, IDC_BAR_FIND, text, sizeof text);
  EXPECT_STREQ(text, "two") << "the selection";
  SetDlgItemTextA(bar, IDC_BAR_REPLACE, "2");
  {
    ScriptedAnswerer answers;
    answers.Expect("Total replacements: 2", kAskInfo, kAnswerOk);
    SendMessageA(bar, WM_COMMAND, IDC_BAR_REPLACE_ALL, 0);
  }
  SendMessageA(editor, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "one 2 one 2");
  GetDlgItemTextA(bar, IDC_BAR_NOTE, text, sizeof text);
  EXPECT_STREQ(text, "Total replacements: 2");
  // RegExps disables Escapes; Highlight all marks the occurrences.
  CheckDlgButton(bar, IDC_BAR_REGEXPS, BST_CHECKED);
  SendMessageA(bar, WM_COMMAND, MAKEWPARAM(IDC_BAR_REGEXPS, BN_CLICKED), 0);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(bar, IDC_BAR_ESCAPES)));
  SetDlgItemTextA(bar, IDC_BAR_FIND, "o.e");
  CheckDlgButton(bar, IDC_BAR_HIGHLIGHT, BST_CHECKED);
  SendMessageA(bar, WM_COMMAND, MAKEWPARAM(IDC_BAR_HIGHLIGHT, BN_CLICKED), 0);
  EXPECT_EQ(RangeCount(&AppDocument()->store.rangeSets[5]), 2u);
  // Ctrl+U: the second search's record; Esc closes, the highlights go.
  SendMessageA(bar, WM_COMMAND, IDC_BAR_KEY_SECOND, 0);
  EXPECT_EQ(IsDlgButtonChecked(bar, IDC_BAR_SECOND), BST_CHECKED);
  SendMessageA(bar, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(g_app.searchBar, nullptr);
  EXPECT_FALSE(IsWindow(bar));
  EXPECT_EQ(RangeCount(&AppDocument()->store.rangeSets[5]), 0u);
  EXPECT_EQ(g_app.lastFocus, editor);
  EXPECT_EQ(rect(editor).bottom, rect(g_app.statusBar).top);
}

// The history: patterns searched from the bar with their options, newest
// first, as many as FHistCL shows; choosing one brings its options back;
// unchecking Keep history empties it.
TEST_F(FrameCommands, SearchBarKeepsAHistory) {
  Create();
  g_settings.main.FHide = 0;
  g_settings.main.FHist = 1;
  ASSERT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, 25200, 0), 0);
  HWND bar = g_app.searchBar;
  HWND find = GetDlgItem(bar, IDC_BAR_FIND);
  ScriptedAnswerer answers;
  for (const char *pattern : {"alpha", "beta"}) {
    answers.Expect(std::string("Could not find\n") + pattern, kAskInfo, kAnswerOk);
    SetDlgItemTextA(bar, IDC_BAR_FIND, pattern);
    CheckDlgButton(bar, IDC_BAR_CASE, pattern[0] == 'a' ? BST_CHECKED : BST_UNCHECKED);
    SendMessageA(bar, WM_COMMAND, IDC_BAR_NEXT, 0);
  }
  ASSERT_EQ(SendMessageA(find, CB_GETCOUNT, 0, 0), 2);
  char text[32];
  SendMessageA(find, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "beta") << "newest first";
  SendMessageA(find, CB_SETCURSEL, 1, 0);
  SendMessageA(bar, WM_COMMAND, MAKEWPARAM(IDC_BAR_FIND, CBN_SELCHANGE), reinterpret_cast<LPARAM>(find));
  EXPECT_EQ(IsDlgButtonChecked(bar, IDC_BAR_CASE), BST_CHECKED) << "alpha's options";
  g_settings.main.FHistCL = 1;
  SendMessageA(g_app.mainWindow, WM_COMMAND, 25200, 0);
  EXPECT_EQ(SendMessageA(find, CB_GETCOUNT, 0, 0), 1);
  CheckDlgButton(bar, IDC_BAR_HISTORY, BST_UNCHECKED);
  SendMessageA(bar, WM_COMMAND, MAKEWPARAM(IDC_BAR_HISTORY, BN_CLICKED), 0);
  EXPECT_EQ(SendMessageA(find, CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(g_settings.lists.find[kSearchHistory - 1].Fnd[0], 0);
}

// The same replace all with and without the worker thread (FNoThrd), over a
// text of mixed newlines and NULs: the same text, count and one-Undo.
TEST_F(FrameCommands, ReplaceAllWithAndWithoutTheWorkerAgree) {
  Create();
  HWND editor = g_app.editorWindow;
  std::string text;
  for (int i = 0; i < 20000; i++) text += (i % 7 == 0) ? std::string("ab\0\r", 4) : (i % 3 ? "a b\n" : "ba\r\n");
  SearchBarSettings &first = g_settings.opts.bar[0];
  strcpy(first.Patt, "(a)|b");
  strcpy(first.Repl, "<\\1\\n>");
  first.RgEx = 1;
  std::string results[2];
  int counts[2] = {0, 0};
  for (int threads = 0; threads < 2; threads++) {
    g_settings.main.FNoThrd = threads == 0;
    SendMessageA(editor, EDM_SETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    // The back-reference question gets Yes, the total OK.
    static int questions;
    questions = 0;
    static const Answerer yes = {[](void *, WindowRef, const char *q, AskKind kind) {
                                   if (kind == kAskYesNoCancel) questions++;
                                   EXPECT_TRUE(kind == kAskInfo || strcmp(q, ::Text(TXT_UNDEFINED_BACKREF)) == 0) << q;
                                   return static_cast<int>(kind == kAskYesNoCancel ? kAnswerYes : kAnswerOk);
                                 },
                                 nullptr};
    const Answerer *previous = InstallAnswerer(&yes);
    counts[threads] = RunSearch(0, kSearchReplaceAll | kSearchReplace | kSearchFromStart);
    InstallAnswerer(previous);
    EXPECT_EQ(questions, 1) << "asked once";
    const LRESULT n = SendMessageA(editor, EDM_GETTEXTLENGTHRAW, 0, 0);
    results[threads].resize(static_cast<size_t>(n));
    SendMessageA(editor, EDM_GETTEXTRAW, static_cast<WPARAM>(n + 1), reinterpret_cast<LPARAM>(&results[threads][0]));
    SendMessageA(editor, WM_UNDO, 0, 0);
    EXPECT_EQ(SendMessageA(editor, EDM_GETTEXTLENGTHRAW, 0, 0), static_cast<LRESULT>(text.size())) << "one undo";
  }
  EXPECT_GT(counts[0], 20000);
  EXPECT_EQ(counts[0], counts[1]);
  EXPECT_TRUE(results[0] == results[1]);
}

// The Last Tool on occurrences, with a test tool that makes the selection
// upper case: on all of them (one undo group), or on one and the next
// selected; the bar's Last Tool buttons work once a tool exists.
TEST_F(FrameCommands, LastToolRunsOnOccurrences) {
  Create();
  HWND editor = g_app.editorWindow;
  SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("one two one two"));
  strcpy(g_settings.opts.bar[0].Patt, "one");
  {
    ScriptedAnswerer none;
    EXPECT_EQ(RunSearch(0, kSearchLastToolAll | kSearchLastTool | kSearchFromStart), kSearchToolFailed)
        << "no tool has run yet";
  }
  static const LastToolEntry upper = {[](void *, EditorWindow *ed) {
                                        Document *d = ed->doc;
                                        std::string t;
                                        for (u32 p = d->selStart->position; p < d->selEnd->position; p++) {
                                          char c = 0;
                                          ReadText(&d->store, p, p + 1, &c, 1, 0, nullptr);
                                          t += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
                                        }
                                        return ReplaceSelectionCounted(d, t.data(), static_cast<u32>(t.size()),
                                                                       kReplaceSelectInserted | 0xC000, nullptr) == 1
                                                   ? 0
                                                   : -1;
                                      },
                                      nullptr};
  SetLastTool(&upper);
  {
    ScriptedAnswerer answers;
    answers.Expect("Total replacements: 2", kAskInfo, kAnswerOk);
    EXPECT_EQ(RunSearch(0, kSearchLastToolAll | kSearchLastTool | kSearchFromStart), 2);
  }
  char text[32];
  SendMessageA(editor, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "ONE two ONE two");
  SendMessageA(editor, WM_UNDO, 0, 0);
  SendMessageA(editor, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "one two one two") << "one undo";
  strcpy(g_settings.opts.bar[0].Patt, "two");
  SendMessageA(editor, EM_SETSEL, 4, 7);
  EXPECT_EQ(RunSearch(0, kSearchLastTool), 1);
  SendMessageA(editor, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "one TWO one two");
  EXPECT_EQ(Selection(), std::make_pair(12ul, 15ul)) << "the next one selected";
  SendMessageA(g_app.mainWindow, WM_COMMAND, 25250, 0);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(g_app.searchBar, IDC_BAR_LAST_TOOL_ALL)));
  SetLastTool(nullptr);
}

}  // namespace

namespace {

// Timer 5 in the frame: started with ASTime, it auto-saves a modified
// document into its hidden recovery file; encoding and newline changes and
// undo count as changes; ticks during a worker job wait for its end;
// closing deletes the file.
TEST_F(FrameCommands, AutoSaveTimerWritesTheRecoveryFile) {
  TempFolder dir;
  const std::string file = dir.File("a.txt"), recovery = file + ".$";
  ASSERT_TRUE(WriteBytes(file, "one"));
  g_settings.file.ASTime = 1;
  Create();
  ASSERT_EQ(CommandOpenPath(file.c_str()), 0);
  HWND editor = g_app.editorWindow;
  EXPECT_EQ(SendMessageA(editor, EM_GETMODIFY, 0, 1), 0);
  SendMessageA(editor, WM_CHAR, 'x', 1);
  EXPECT_EQ(SendMessageA(editor, EM_GETMODIFY, 0, 1), 1);

  ASSERT_TRUE(PumpUntil([&] { return ReadBytes(recovery) == "xone"; }, 5000)) << ReadBytes(recovery);
  EXPECT_TRUE(GetFileAttributesA(recovery.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(SendMessageA(editor, EM_GETMODIFY, 0, 1), 0);
  EXPECT_EQ(SendMessageA(editor, EM_GETMODIFY, 0, 0), 1) << "the file itself is still not saved";
  EXPECT_EQ(ReadBytes(file), "one");
  // A newline change, an encoding change and an undo count as changes.
  for (int change = 0; change < 3; change++) {
    if (change == 0) SendMessageA(editor, EDM_SETNEWLINES, 1, 0);
    if (change == 1) SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_ENCODING_ANSI + 1, 0);
    if (change == 2) SendMessageA(editor, WM_UNDO, 0, 0);
    EXPECT_EQ(SendMessageA(editor, EM_GETMODIFY, 0, 1), 1) << change;
    ASSERT_TRUE(PumpUntil([&] { return SendMessageA(editor, EM_GETMODIFY, 0, 1) == 0; }, 5000)) << change;
  }
  EXPECT_EQ(ReadBytes(recovery), "one") << "the undone text";
  // Ticks during a worker job wait for its end, and then write once.
  SendMessageA(editor, WM_CHAR, 'y', 1);
  struct Job {
    std::string recovery;
    bool unchanged;
  } job{recovery, false};
  LongOperation op = {};
  op.context = &job;
  op.work = [](LongOperation *o) {
    Job *j = static_cast<Job *>(o->context);
    Sleep(2500);  // two ticks fall in here
    j->unchanged = ReadBytes(j->recovery) == "one";
    return 0;
  };
  EXPECT_EQ(SendMessageA(editor, EDM_RUNLONG, 0, reinterpret_cast<LPARAM>(&op)), 0);
  EXPECT_TRUE(job.unchanged) << "no auto-save while the job ran";
  ASSERT_TRUE(PumpUntil([&] { return ReadBytes(recovery) == "yone"; }, 5000));
  // Closing without saving: the recovery file goes.
  {
    ScriptedAnswerer answers;
    answers.Expect("Save current changes to a.txt?", kAskYesNoCancel, kAnswerNo);
    EXPECT_TRUE(Closes(IDM_FILE_EXIT));
  }
  EXPECT_EQ(GetFileAttributesA(recovery.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
