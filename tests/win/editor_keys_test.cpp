// Keys and editing commands of the editor, driven through the real main
// window: movement keys as WM_KEYDOWN with the modifier state set for this
// thread, typing as WM_CHAR, editing keys as the commands their accelerators
// send to the frame.
#include <gtest/gtest.h>

#include <string>

#include "app/app_state.h"
#include "app/file_commands.h"
#include "app/main_window.h"
#include "config/config_io.h"
#include "config/config_state.h"
#include "document/document.h"
#include "editor/editor_layout.h"
#include "editor/editor_messages.h"
#include "editor/editor_window.h"
#include "foundation/bytes.h"
#include "resources/resource.h"
#include "tests/support/test_files.h"
#include "tests/win/gui_helpers.h"

namespace {

enum Mods { kNone = 0, kShift = 1, kCtrl = 2, kAlt = 4 };

class EditorKeysTest : public testing::Test {
 protected:
  HWND ed = nullptr;
  HWND main = nullptr;

  void SetUp() override {
    ASSERT_TRUE(ResetFrameGlobals());
    g_settings.opts.WWrap = 0;
    ASSERT_EQ(CreateMainWindow(), 0);
    main = g_app.mainWindow;
    ed = g_app.editorWindow;
    ShowWindow(main, SW_SHOWNORMAL);
    SetWindowPos(main, nullptr, 0, 0, 640, 480, SWP_NOZORDER | SWP_NOMOVE);
    SetFocus(ed);
  }
  void TearDown() override {
    SetModifiers(kNone);
    DestroyFrame();
  }

  static void SetModifiers(int mods) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = (mods & kShift) ? 0x80 : 0;
    keys[VK_CONTROL] = (mods & kCtrl) ? 0x80 : 0;
    keys[VK_MENU] = (mods & kAlt) ? 0x80 : 0;
    SetKeyboardState(keys);
  }

  void SetText(const std::string &text, unsigned caret = 0) {
    SendMessageA(ed, EDM_SETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    Select(caret, caret);
  }
  std::string Text() {
    LRESULT n = SendMessageA(ed, EDM_GETTEXTLENGTHRAW, 0, 0);
    std::string s(static_cast<size_t>(n) + 1, '\0');
    LRESULT got = SendMessageA(ed, EDM_GETTEXTRAW, s.size(), reinterpret_cast<LPARAM>(&s[0]));
    s.resize(static_cast<size_t>(got));
    return s;
  }
  void Select(unsigned anchor, unsigned caret) { SendMessageA(ed, EM_SETSEL, anchor, caret); }
  // Anchor and caret.
  std::pair<unsigned, unsigned> Sel() {
    DWORD a = 0, c = 0;
    SendMessageA(ed, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&c));
    return {a, c};
  }
  unsigned Caret() { return Sel().second; }
  void Key(WPARAM vk, int mods = kNone, int times = 1) {
    SetModifiers(mods);
    for (int i = 0; i < times; i++) SendMessageA(ed, (mods & kAlt) ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, (mods & kAlt) ? 1 << 29 : 1);
    SetModifiers(kNone);
  }
  void Type(const std::string &text) {
    for (char c : text) SendMessageA(ed, WM_CHAR, static_cast<u8>(c), 1);
  }
  LRESULT Command(int id) { return SendMessageA(main, WM_COMMAND, id, 0); }
  Document *Doc() { return EditorOf(ed)->doc; }
  void UndoAll() {
    for (int guard = 0; guard < 10000 && SendMessageA(ed, EM_CANUNDO, 0, 0); guard++) SendMessageA(ed, WM_UNDO, 0, 0);
  }
};

using P = std::pair<unsigned, unsigned>;

TEST_F(EditorKeysTest, HomeAndEnd) {
  SetText("    abc def\r\nxyz", 8);
  Key(VK_HOME);
  EXPECT_EQ(Caret(), 4u) << "first to the first non-blank column";
  Key(VK_HOME);
  EXPECT_EQ(Caret(), 0u) << "then to the start of the line";
  Key(VK_HOME);
  EXPECT_EQ(Caret(), 4u) << "and from there back to the text";
  g_settings.edit.NoHome = 1;
  Select(8, 8);
  Key(VK_HOME);
  EXPECT_EQ(Caret(), 0u);
  Key(VK_HOME);
  EXPECT_EQ(Caret(), 0u);
  g_settings.edit.NoHome = 0;
  Key(VK_END);
  EXPECT_EQ(Caret(), 11u);
  Key(VK_END, kCtrl);
  EXPECT_EQ(Caret(), 16u);
  Key(VK_HOME, kCtrl | kShift);
  EXPECT_EQ(Sel(), P(16, 0)) << "Shift keeps the anchor";
  Key(VK_RIGHT);
  EXPECT_EQ(Sel(), P(1, 1)) << "a move without Shift collapses onto the caret";
}

TEST_F(EditorKeysTest, EndOnAWrappedLineGoesToTheRowFirst) {
  std::string words;
  for (int i = 0; i < 60; i++) words += "word ";
  SetText(words + "\r\nnext", 0);
  SendMessageA(ed, EDM_SETWORDWRAP, 1, 0);
  Document *doc = Doc();
  ASSERT_GT(doc->store.rows.count, 3u) << "the line must wrap";
  Key(VK_END);
  const u32 rowEnd = Caret();
  EXPECT_LT(rowEnd, words.size());
  EXPECT_EQ(doc->caret.row, 0u);
  Key(VK_END);
  EXPECT_EQ(Caret(), words.size()) << "then the end of the logical line";
  // Up and Down keep the line-end column.
  Key(VK_DOWN);
  EXPECT_EQ(Caret(), words.size() + 2 + 4);
}

TEST_F(EditorKeysTest, CharacterWordAndRowSteps) {
  SetText("ab\r\ncd", 2);
  Key(VK_RIGHT);
  EXPECT_EQ(Caret(), 4u) << "CR LF is one step";
  Key(VK_LEFT);
  EXPECT_EQ(Caret(), 2u);
  SetText("one two,  three\r\n  four", 0);
  const unsigned rightStops[] = {4, 7, 10, 15, 19, 23};
  for (unsigned stop : rightStops) {
    Key(VK_RIGHT, kCtrl);
    EXPECT_EQ(Caret(), stop);
  }
  const unsigned leftStops[] = {19, 17, 15, 10, 7, 4, 0};
  for (unsigned stop : leftStops) {
    Key(VK_LEFT, kCtrl);
    EXPECT_EQ(Caret(), stop);
  }
  // The remembered column survives a short line.
  SetText("abcdef\r\nab\r\nabcdef", 5);
  Key(VK_DOWN);
  EXPECT_EQ(Caret(), 10u);
  Key(VK_DOWN);
  EXPECT_EQ(Caret(), 17u);
  Key(VK_UP, kNone, 3);
  EXPECT_EQ(Caret(), 0u) << "Up on the first row goes to its start";
  Key(VK_DOWN, kNone, 3);
  EXPECT_EQ(Caret(), 18u) << "Down on the last row goes to its end";
}

TEST_F(EditorKeysTest, ParagraphJumps) {
  SetText("a1\r\n  a2\r\n\r\n\r\n  b1\r\nb2\r\n\r\nc1", 5);
  Key(VK_DOWN, kCtrl);
  EXPECT_EQ(Caret(), 16u) << "first non-blank of the next paragraph";
  Key(VK_DOWN, kCtrl | kShift);
  EXPECT_EQ(Sel(), P(16, 26)) << "with Shift column 0, the selection extends";
  Key(VK_DOWN, kCtrl);
  EXPECT_EQ(Caret(), 28u) << "past the last paragraph: the end of the text";
  // Up, and above the first line the start of the text.
  for (unsigned stop : {26u, 16u, 0u, 0u}) {
    Key(VK_UP, kCtrl);
    EXPECT_EQ(Caret(), stop);
  }
}

TEST_F(EditorKeysTest, PagesAndAltScrolling) {
  std::string text;
  for (int i = 0; i < 200; i++) text += "line\r\n";
  g_settings.edit.KeepY = 0;
  SetText(text, 0);
  EditorWindow *w = EditorOf(ed);
  const int rows = w->visibleRows;
  ASSERT_GT(rows, 3);
  Key(VK_NEXT);
  EXPECT_EQ(Doc()->caret.row, static_cast<u32>(rows - 1));
  EXPECT_EQ(w->topLine, static_cast<u32>(rows - 1)) << "the view moves with the caret";
  Key(VK_PRIOR);
  EXPECT_EQ(Doc()->caret.row, 0u);
  // Alt scrolls the view and leaves the caret.
  Key(VK_DOWN, kAlt, 3);
  EXPECT_EQ(w->topLine, 3u);
  Key(VK_DOWN, kAlt | kShift);
  EXPECT_EQ(w->topLine, 8u);
  EXPECT_EQ(Caret(), 0u);
  Key(VK_END, kAlt);
  EXPECT_EQ(w->topLine, static_cast<u32>(201 - rows));
  Key(VK_INSERT, kAlt);
  EXPECT_EQ(w->topLine, 0u) << "Alt+Insert brings the caret into view";
  // A window of one visible row pages by one row.
  RECT rc;
  GetClientRect(ed, &rc);
  UpdateGeometry(w, true, rc.right, w->lineHeight);
  ASSERT_EQ(w->visibleRows, 1);
  Select(0, 0);
  Key(VK_NEXT);
  EXPECT_EQ(Doc()->caret.row, 1u);
}

// Control characters and repeat counts: ProtocolTest.TypingOverwriteModeAndControlCharacters.
TEST_F(EditorKeysTest, TypingAndTheOverwriteCommand) {
  SetText("xy", 1);
  Type("abc");
  EXPECT_EQ(Text(), "xabcy");
  SendMessageA(ed, WM_UNDO, 0, 0);
  EXPECT_EQ(Text(), "xy") << "typing on is one undo step";
  // Overwrite replaces, but inserts at the end of a line.
  SetText("abc\r\nd", 1);
  Command(IDM_OVERWRITE_MODE);
  EXPECT_EQ(SendMessageA(ed, EDM_GETOVERWRITE, 0, 0), 1);
  Type("XYZW");
  EXPECT_EQ(Text(), "aXYZW\r\nd");
  Command(IDM_OVERWRITE_MODE);
  EXPECT_EQ(SendMessageA(ed, EDM_GETOVERWRITE, 0, 0), 0);
  g_settings.edit.NoOver = 1;
  Command(IDM_OVERWRITE_MODE);
  EXPECT_EQ(SendMessageA(ed, EDM_GETOVERWRITE, 0, 0), 0) << "NoOver keeps insert mode";
}

TEST_F(EditorKeysTest, ReturnsAndIndent) {
  g_settings.edit.Indent = 1;
  SetText("\t x\r\n", 5);
  Command(IDM_EDIT_RETURN);
  EXPECT_EQ(Text(), "\t x\r\n\r\n\t ") << "an empty line between does not stop the indent";
  EXPECT_EQ(Caret(), 9u);
  Command(IDM_EDIT_SMART_RETURN);
  EXPECT_EQ(Text(), "\t x\r\n\r\n\t \r\n") << "Smart Return does the opposite";
  g_settings.edit.Indent = 0;
  SetText("  ab\ncd", 3);  // a Unix text
  Doc()->newlineType = 1;
  Command(IDM_EDIT_SMART_RETURN);
  EXPECT_EQ(Text(), "  a\n  b\ncd");
  SetText("abcdef", 3);
  Doc()->newlineType = 0;
  Command(IDM_EDIT_COPYING_RETURN);
  EXPECT_EQ(Text(), "abc\r\nabcdef");
  EXPECT_EQ(Caret(), 8u);
}

TEST_F(EditorKeysTest, Tabs) {
  g_settings.edit.NoTabs = 1;
  g_settings.edit.Tab = 4;
  SetText("abcdef", 6);
  Command(IDM_EDIT_TAB);
  EXPECT_EQ(Text(), "abcdef  ");
  SetText("\tab", 3);  // display column 6
  Command(IDM_EDIT_SHIFT_TAB);
  EXPECT_EQ(Text(), "\tab  ");
  g_settings.edit.NoTabs = 0;
  SetText("ab", 1);
  Command(IDM_EDIT_TAB);
  EXPECT_EQ(Text(), "a\tb");
}

TEST_F(EditorKeysTest, CompleteLine) {
  SetText("printf(\"x\");\r\nother\r\npri", 24);
  Command(IDM_EDIT_COMPLETE_LINE);
  EXPECT_EQ(Text(), "printf(\"x\");\r\nother\r\nprintf");
  Command(IDM_EDIT_COMPLETE_LINE);
  EXPECT_EQ(Text(), "printf(\"x\");\r\nother\r\nprintf(") << "a single other character";
  SetText("abc\r\nxyz", 8);
  EXPECT_EQ(Command(IDM_EDIT_COMPLETE_LINE), 1) << "no line begins with xyz";
  EXPECT_EQ(Text(), "abc\r\nxyz");
  // Below the caret's line when nothing above matches.
  SetText("z\r\nzzTop", 1);
  Command(IDM_EDIT_COMPLETE_LINE);
  EXPECT_EQ(Text(), "zzTop\r\nzzTop");
}

TEST_F(EditorKeysTest, PushLines) {
  SetText("a\r\nb\r\nc", 7);
  EXPECT_EQ(Command(IDM_EDIT_PUSH_UP), 0);
  EXPECT_EQ(Text(), "a\r\nc\r\nb") << "the last line keeps having no newline";
  EXPECT_EQ(Sel(), P(6, 3)) << "the moved line stays selected, the caret on it";
  Command(IDM_EDIT_PUSH_UP);
  EXPECT_EQ(Text(), "c\r\na\r\nb");
  EXPECT_EQ(Command(IDM_EDIT_PUSH_UP), 1) << "nothing to do at the first line";
  Command(IDM_EDIT_PUSH_DOWN_10);
  EXPECT_EQ(Text(), "a\r\nb\r\nc");
  EXPECT_EQ(Sel(), P(7, 6));
  EXPECT_EQ(Command(IDM_EDIT_PUSH_DOWN), 1);
  SendMessageA(ed, WM_UNDO, 0, 0);
  EXPECT_EQ(Text(), "c\r\na\r\nb") << "one push is one undo step";
}

TEST_F(EditorKeysTest, Deletions) {
  SetText("ab\r\ncd", 4);
  Command(IDM_EDIT_BACKSPACE);
  EXPECT_EQ(Text(), "abcd");
  Command(IDM_EDIT_DELETE);
  EXPECT_EQ(Text(), "abd");
  SetText("one two three\r\nfour", 4);
  Command(IDM_EDIT_CUT_OFF_WORD);
  EXPECT_EQ(Text(), "one three\r\nfour");
  Command(IDM_EDIT_BKSP_WORD);
  EXPECT_EQ(Text(), "three\r\nfour");
  Select(2, 2);
  Command(IDM_EDIT_CUT_OFF_LINE);
  EXPECT_EQ(Text(), "th\r\nfour");
  Select(7, 7);
  Command(IDM_EDIT_BKSP_LINE);
  EXPECT_EQ(Text(), "th\r\nr");
  Select(1, 1);
  Command(IDM_EDIT_DELETE_LINE);
  EXPECT_EQ(Text(), "r");
  UndoAll();
  EXPECT_EQ(Text(), "one two three\r\nfour");
}

TEST_F(EditorKeysTest, SelectUnits) {
  SetText("alpha, beta\r\ngamma\r\n\r\ndelta", 2);
  Command(IDM_EDIT_SELECT_WORD);
  EXPECT_EQ(Sel(), P(0, 5));
  Command(IDM_EDIT_SELECT_WORD);
  EXPECT_EQ(Sel(), P(5, 6)) << "selected already: the next unit";
  Command(IDM_EDIT_SELECT_WORD_MORE);
  EXPECT_EQ(Sel(), P(5, 7));
  Select(8, 8);
  Command(IDM_EDIT_SELECT_LINE);
  EXPECT_EQ(Sel(), P(0, 13));
  Command(IDM_EDIT_SELECT_LINE_MORE);
  EXPECT_EQ(Sel(), P(0, 20));
  Select(1, 1);
  Command(IDM_EDIT_SELECT_PARAGRAPH);
  EXPECT_EQ(Sel(), P(0, 20));
  Command(IDM_EDIT_SELECT_PARAGRAPH);
  EXPECT_EQ(Sel(), P(22, 27));
  Command(IDM_EDIT_SELECT_ALL);
  EXPECT_EQ(Sel(), P(0, 27));
}

TEST_F(EditorKeysTest, DatesNamesAndReinsertion) {
  StrCopy(g_settings.main.LcDSF, "'D'yyyy");
  StrCopy(g_settings.main.LcTF, "'T'HH");
  StrCopy(g_settings.main.TDTGlue, "+");
  SYSTEMTIME now;
  GetLocalTime(&now);
  char year[8];
  wsprintfA(year, "%04d", now.wYear);
  SetText("", 0);
  Command(IDM_EDIT_DATE);
  EXPECT_EQ(Text(), std::string("D") + year);
  SetText("", 0);
  Command(IDM_EDIT_DATE_TIME);
  std::string t = Text();
  EXPECT_EQ(t.substr(0, 5), std::string("D") + year);
  EXPECT_EQ(t.substr(5, 2), "+T");
  SetText("", 0);
  Command(IDM_EDIT_TIME_DATE);
  EXPECT_EQ(Text().substr(0, 1), "T");
  // The names themselves: ProtocolTest.TheCommandTableAndItsAnswers.
  EXPECT_EQ(Command(IDM_EDIT_INSERT_FULL_PATH), 1) << "no path to insert";
  // Re-insert what was deleted, then what was inserted.
  SetText("keep gone", 4);
  Type("!");
  Select(5, 10);
  Command(IDM_EDIT_DELETE);
  EXPECT_EQ(Text(), "keep!");
  Command(IDM_EDIT_REINSERT_DELETED);
  EXPECT_EQ(Text(), "keep! gone");
  Select(0, 0);
  Command(IDM_EDIT_REINSERT_INSERTED);
  EXPECT_EQ(Text().substr(0, 5), " gone");
}

TEST_F(EditorKeysTest, DiaryFileGetsADateLineAtTheEnd) {
  TempFolder folder;
  const std::string diary = folder.File("diary.txt"), plain = folder.File("plain.txt");
  ASSERT_TRUE(WriteBytes(diary, ".LOG\r\nmonday\r\n"));
  ASSERT_TRUE(WriteBytes(plain, ".log\r\n"));
  StrCopy(g_settings.main.LcDSF, "'D'yyyy");
  StrCopy(g_settings.main.LcTF, "'T'HH");
  StrCopy(g_settings.main.TDTGlue, "_");
  g_settings.main.LOGDate = 0;
  StrCopy(g_app.options.fileName, diary.c_str());
  ASSERT_EQ(OpenStartupDocument(), 0);
  std::string t = Text();
  ASSERT_GT(t.size(), 14u);
  EXPECT_EQ(t.substr(0, 14), ".LOG\r\nmonday\r\n");
  EXPECT_EQ(t.substr(14, 1), "T") << "time first without LOGDate";
  EXPECT_NE(t.find("_D"), std::string::npos);
  EXPECT_EQ(Caret(), t.size());
  EXPECT_EQ(SendMessageA(ed, EM_GETMODIFY, 0, 0), 1);
  // Lower case does not count.
  StrCopy(g_app.options.fileName, plain.c_str());
  Doc()->modified = 0;
  ASSERT_EQ(OpenStartupDocument(), 0);
  EXPECT_EQ(Text(), ".log\r\n");
}

TEST_F(EditorKeysTest, EditMenuFollowsTheDocument) {
  HMENU menu = GetMenu(main);
  auto state = [&](UINT id) {
    SendMessageA(main, WM_INITMENU, reinterpret_cast<WPARAM>(menu), 0);
    return GetMenuState(menu, id, MF_BYCOMMAND);
  };
  SetText("abc", 3);
  EXPECT_TRUE(state(IDM_EDIT_UNDO) & MF_GRAYED);
  EXPECT_TRUE(state(IDM_EDIT_REINSERT_DELETED) & MF_GRAYED);
  Type("d");
  EXPECT_FALSE(state(IDM_EDIT_UNDO) & MF_GRAYED);
  EXPECT_TRUE(state(IDM_EDIT_REDO) & MF_GRAYED);
  EXPECT_FALSE(state(IDM_EDIT_REINSERT_INSERTED) & MF_GRAYED);
  EXPECT_TRUE(state(IDM_EDIT_REINSERT_DELETED) & MF_GRAYED);
  Command(IDM_EDIT_BACKSPACE);
  EXPECT_FALSE(state(IDM_EDIT_REINSERT_DELETED) & MF_GRAYED);
  SendMessageA(ed, WM_UNDO, 0, 0);
  EXPECT_FALSE(state(IDM_EDIT_REDO) & MF_GRAYED);
  EXPECT_TRUE(state(IDM_EDIT_INSERT_FULL_PATH) & MF_GRAYED) << "an untitled document has no path";
  EXPECT_FALSE(state(IDM_OVERWRITE_MODE) & MF_CHECKED);
  Command(IDM_OVERWRITE_MODE);
  EXPECT_TRUE(state(IDM_OVERWRITE_MODE) & MF_CHECKED);
}

// A session of a few hundred keys and commands: the text it ends with, the
// caret, and then undo step by step back to the start.
TEST_F(EditorKeysTest, ScriptedSession) {
  g_settings.edit.Indent = 1;
  SetText("int main()\r\n{\r\n}", 13);
  Key(VK_END);
  Command(IDM_EDIT_RETURN);
  Type("    int total = 0;");
  Command(IDM_EDIT_RETURN);
  Type("for (int i = 0; i < 10; i++)");
  Command(IDM_EDIT_RETURN);
  Type("    total += i;");
  Command(IDM_EDIT_RETURN);
  Key(VK_BACK);  // no effect: Backspace is a command, not a key
  Command(IDM_EDIT_BKSP_LINE);
  Type("    return total;");
  // Move the loop line below its body, then back.
  Key(VK_UP, kNone, 2);
  Command(IDM_EDIT_PUSH_DOWN);
  Command(IDM_EDIT_PUSH_UP);
  // Fix a word: select it and type over it.
  Key(VK_HOME, kCtrl);
  Key(VK_RIGHT, kCtrl);
  Key(VK_RIGHT, kCtrl | kShift);
  Type("start");
  Key(VK_END);
  Type(" /* entry */");
  for (int i = 0; i < 12; i++) Command(IDM_EDIT_BACKSPACE);
  Key(VK_END, kCtrl);
  Command(IDM_EDIT_RETURN);
  for (int i = 0; i < 40; i++) Type("x");
  for (int i = 0; i < 40; i++) Command(IDM_EDIT_BACKSPACE);
  Command(IDM_EDIT_BACKSPACE);
  const std::string expected =
      "int start()\r\n{\r\n    int total = 0;\r\n    for (int i = 0; i < 10; i++)\r\n        total += i;\r\n"
      "    return total;\r\n}";
  EXPECT_TRUE(Text() == expected) << Text();
  EXPECT_EQ(Caret(), expected.size());
  UndoAll();
  EXPECT_EQ(Text(), "int main()\r\n{\r\n}");
}

}  // namespace
