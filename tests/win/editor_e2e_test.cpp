// The editor inside the frame: the frame's creation steps, commands, fonts
// and caption in this process; then the built program started on a file,
// changed through messages, saved, and the bytes on disk compared.
#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "config/config_io.h"
#include "editor/editor_messages.h"
#include "editor/editor_window.h"
#include "foundation/bytes.h"
#include "resources/resource.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"
#include "tests/win/gui_helpers.h"

namespace {

// ---- the frame, in this process ----

class FrameTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ResetFrameGlobals());
  }
  void TearDown() override {
    DestroyFrame();
    SetDefaultSettings(&g_settings, true);
  }
  // Creates the frame and lets it open its (untitled) start-up document.
  void Create() {
    ASSERT_EQ(CreateMainWindow(), 0);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    ASSERT_NE(g_app.editorWindow, nullptr);
  }
  EditorWindow *ed() const { return EditorOf(g_app.editorWindow); }
  LRESULT Command(int id) { return SendMessageA(g_app.mainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0); }
};

TEST_F(FrameTest, AMarginNeverSetGetsItsPlaceAtCreationAndStaysOff) {
  g_settings.opts.RWrap = 0;
  Create();
  const int unit = ed()->averageWidth;
  EXPECT_EQ(g_settings.opts.RWrap, -80 * unit);
  EXPECT_EQ(ed()->wrapMargin, 0x7FFFFFFF);
  // The command turns it on where it was placed, and off again.
  EXPECT_EQ(Command(IDM_OPT_WRAP_MARGIN), 0);
  EXPECT_EQ(g_settings.opts.RWrap, 80 * unit);
  EXPECT_EQ(ed()->wrapMargin, 80 * unit);
  EXPECT_EQ(Command(IDM_OPT_WRAP_MARGIN), 0);
  EXPECT_EQ(g_settings.opts.RWrap, -80 * unit);
  EXPECT_EQ(ed()->wrapMargin, 0x7FFFFFFF);
}

TEST_F(FrameTest, ASetMarginIsKeptAtCreation) {
  g_settings.opts.RWrap = 123;
  Create();
  EXPECT_EQ(g_settings.opts.RWrap, 123);
  EXPECT_EQ(ed()->wrapMargin, 123);
}

TEST_F(FrameTest, WordWrapFromTheSettingAndTheCommand) {
  g_settings.opts.WWrap = 0;
  Create();
  EXPECT_EQ(SendMessageA(g_app.editorWindow, EDM_GETWORDWRAP, 0, 0), 0);
  EXPECT_TRUE(GetWindowLongA(g_app.editorWindow, GWL_STYLE) & WS_HSCROLL);
  EXPECT_EQ(Command(IDM_OPT_WORD_WRAP), 0);
  EXPECT_EQ(g_settings.opts.WWrap, 1);
  EXPECT_EQ(SendMessageA(g_app.editorWindow, EDM_GETWORDWRAP, 0, 0), 1);
  EXPECT_FALSE(GetWindowLongA(g_app.editorWindow, GWL_STYLE) & WS_HSCROLL);
}

TEST_F(FrameTest, FontsFollowTheConfigurationTheSecondFontAndZoom) {
  Create();
  // "Courier New": fixed pitch, one height.
  EXPECT_FALSE(ed()->variablePitch);
  const int height = ed()->lineHeight;
  // Zoom in twice, out once: one point larger than configured.
  EXPECT_EQ(Command(IDM_ZOOM_IN), 0);
  EXPECT_EQ(Command(IDM_ZOOM_IN), 0);
  EXPECT_EQ(Command(IDM_ZOOM_OUT), 0);
  EXPECT_EQ(g_settings.opts.Zoom, 1);
  EXPECT_GT(ed()->lineHeight, height);
  EXPECT_EQ(Command(IDM_ZOOM_RESET), 0);
  EXPECT_EQ(g_settings.opts.Zoom, 0);
  EXPECT_EQ(ed()->lineHeight, height);
  // Zoomed far out the font is one point high, not less.
  g_settings.opts.Zoom = -100;
  EXPECT_EQ(Command(IDM_ZOOM_OUT), 0);
  const int tiny = ed()->lineHeight;
  EXPECT_LT(tiny, height);
  g_settings.opts.Zoom = -50;
  EXPECT_EQ(Command(IDM_ZOOM_OUT), 0);
  EXPECT_EQ(ed()->lineHeight, tiny);
  // The second font ("Arial") has a variable pitch.
  g_settings.opts.Zoom = 0;
  g_settings.opts.CFont = 1;
  EXPECT_EQ(Command(IDM_ZOOM_RESET), 0);
  EXPECT_TRUE(ed()->variablePitch);
  // The URL font is the text font underlined.
  LOGFONTA text, aux;
  ASSERT_TRUE(GetObjectA(ed()->textFont, sizeof text, &text));
  ASSERT_TRUE(GetObjectA(ed()->auxFont, sizeof aux, &aux));
  EXPECT_EQ(aux.lfUnderline, 1);
  EXPECT_STREQ(aux.lfFaceName, text.lfFaceName);
}

TEST_F(FrameTest, CaptionMarksAModifiedDocument) {
  Create();
  EXPECT_EQ(WindowText(g_app.mainWindow), "Untitled - Quillpad");
  SendMessageA(g_app.editorWindow, WM_CHAR, 'x', 1);
  EXPECT_EQ(WindowText(g_app.mainWindow), "*Untitled - Quillpad");
  SendMessageA(g_app.editorWindow, EM_SETMODIFY, 0, 0);
  EXPECT_EQ(WindowText(g_app.mainWindow), "Untitled - Quillpad");
  // Undoing the change there and back follows too.
  SendMessageA(g_app.editorWindow, WM_UNDO, 0, 0);
  EXPECT_EQ(WindowText(g_app.mainWindow), "*Untitled - Quillpad");
}

TEST_F(FrameTest, AnEditorCommandThatFailsWithAMessageIsShown) {
  Create();
  ScriptedAnswerer answers;
  answers.Expect("Something went wrong", kAskWarning, kAnswerOk);
  SendMessageA(g_app.mainWindow, EDN_FAILED, reinterpret_cast<WPARAM>(g_app.editorWindow),
               reinterpret_cast<LPARAM>("Something went wrong"));
}

// ---- the built program on a file ----

const DWORD kWait = 15000;

std::string Exe() { return "\"" + ExeDir() + "quillpad.exe\" /nl /ns "; }

// The program with its main window and editor.
struct Running {
  explicit Running(const std::string &arguments) : program(Exe() + arguments) {
    main = WaitForWindow(program.pid(), "QuilPad", kWait);
    if (main) {
      program.WaitIdle(kWait);
      editor = GetDlgItem(main, 1020);
    }
  }
  // Posts the characters as typed keys and waits until the text is `after`.
  bool Type(const std::string &keys, const std::string &after) {
    for (char c : keys) PostMessageA(editor, WM_CHAR, static_cast<u8>(c), 1);
    return PumpUntil([&] { return Text() == after; }, kWait);
  }
  LRESULT Save() { return SendMessageA(main, WM_COMMAND, IDM_FILE_SAVE, 0); }
  void CaretToEnd() { SendMessageA(editor, EDM_GOTO, static_cast<WPARAM>(-1), 0x02); }
  // Posts `message` to the main window and expects a clean exit.
  void ExpectExitZeroAfter(UINT message, WPARAM wParam = 0) {
    PostMessageA(main, message, wParam, 0);
    EXPECT_EQ(program.WaitExit(kWait), 0u);
  }
  std::string Text() const {
    char buffer[4096];
    LRESULT n = SendMessageA(editor, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    return std::string(buffer, static_cast<size_t>(n));
  }
  Program program;
  HWND main = nullptr;
  HWND editor = nullptr;
};

TEST(EndToEnd, ChangedThroughMessagesAndSavedByteForByte) {
  TempFolder dir;
  const std::string file = dir.File("a.txt");
  ASSERT_TRUE(WriteBytes(file, "first line\r\nsecond line\r\nthird"));
  Running app("/l 2 /c 8 \"" + file + "\"");
  ASSERT_NE(app.editor, nullptr);
  EXPECT_EQ(WindowText(app.main), "a.txt - Quillpad");
  // The caret stands on line 2, column 8: typing goes in there.
  ASSERT_TRUE(app.Type("big ", "first line\r\nsecond big line\r\nthird")) << app.Text();
  EXPECT_TRUE(PumpUntil([&] { return WindowText(app.main) == "*a.txt - Quillpad"; }, kWait));
  EXPECT_EQ(ReadBytes(file), "first line\r\nsecond line\r\nthird") << "nothing is written before Save";
  // Save: the bytes, the caption without its mark.
  EXPECT_EQ(app.Save(), 0);
  EXPECT_EQ(ReadBytes(file), "first line\r\nsecond big line\r\nthird");
  EXPECT_EQ(WindowText(app.main), "a.txt - Quillpad");
  EXPECT_EQ(SendMessageA(app.editor, EM_GETMODIFY, 0, 0), 0);
  // Unix newlines: a change of the document, saved as LF.
  EXPECT_EQ(SendMessageA(app.editor, EDM_SETNEWLINES, 1, 0), 1);
  EXPECT_EQ(WindowText(app.main), "*a.txt - Quillpad");
  EXPECT_EQ(app.Save(), 0);
  EXPECT_EQ(ReadBytes(file), "first line\nsecond big line\nthird");
  // UTF-8 with a byte-order mark.
  EXPECT_EQ(SendMessageA(app.editor, EDM_SETENCODING, 1 | (1 << 16), 0xFFFFFFFF), 1);
  app.CaretToEnd();
  ASSERT_TRUE(app.Type("\xE9", "first line\r\nsecond big line\r\nthird\xE9"));
  EXPECT_EQ(app.Save(), 0);
  EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBF" "first line\nsecond big line\nthird\xC3\xA9");
  // Saved: closing asks nothing.
  app.ExpectExitZeroAfter(WM_CLOSE);
}

TEST(EndToEnd, ClosingWithChangesAsksAndNoKeepsTheFile) {
  TempFolder dir;
  const std::string file = dir.File("keep.txt");
  ASSERT_TRUE(WriteBytes(file, "unchanged"));
  Running app("/E \"" + file + "\"");
  ASSERT_NE(app.editor, nullptr);
  ASSERT_TRUE(app.Type("!", "unchanged!")) << "/E puts the caret at the end: " << app.Text();
  PostMessageA(app.main, WM_CLOSE, 0, 0);
  HWND box = WaitForWindow(app.program.pid(), "#32770", kWait);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(WindowText(box), "Quillpad");
  EXPECT_EQ(MessageBoxText(box), "Save current changes to keep.txt?");
  PostMessageA(box, WM_COMMAND, IDNO, 0);
  EXPECT_EQ(app.program.WaitExit(kWait), 0u);
  EXPECT_EQ(ReadBytes(file), "unchanged");
}

TEST(EndToEnd, SelectAllReplacesAndAMissingFileIsCreatedWithB) {
  TempFolder dir;
  const std::string file = dir.File("all.txt");
  ASSERT_TRUE(WriteBytes(file, "old text\r\nold line"));
  {
    Running app("/a \"" + file + "\"");
    ASSERT_NE(app.editor, nullptr);
    ASSERT_TRUE(app.Type("Z", "Z")) << "/a selects everything: " << app.Text();
    EXPECT_EQ(app.Save(), 0);
    EXPECT_EQ(ReadBytes(file), "Z");
    app.ExpectExitZeroAfter(WM_COMMAND, IDM_FILE_EXIT);
  }
  const std::string missing = dir.File("new file.txt");
  {
    // Unquoted, with a space in the name: the rest of the line is the file.
    Running app("/b /s 1,1 " + missing);
    ASSERT_NE(app.editor, nullptr);
    EXPECT_EQ(WindowText(app.main), "new file.txt - Quillpad");
    ASSERT_TRUE(app.Type("new", "new"));
    EXPECT_EQ(app.Save(), 0);
    EXPECT_EQ(ReadBytes(missing), "new");
    app.ExpectExitZeroAfter(WM_CLOSE);
  }
}

TEST(EndToEnd, EncodingOptionsDecideHowTheBytesAreRead) {
  TempFolder dir;
  const std::string file = dir.File("enc.txt");
  ASSERT_TRUE(WriteBytes(file, "caf\xC3\xA9"));
  {
    Running app("/A \"" + file + "\"");
    ASSERT_NE(app.editor, nullptr);
    EXPECT_EQ(app.Text(), "caf\xC3\xA9") << "ANSI: every byte a character";
    EXPECT_EQ(SendMessageA(app.editor, EDM_GETENCODING, 0, 0), 0);
    app.ExpectExitZeroAfter(WM_CLOSE);
  }
  {
    Running app("/U \"" + file + "\"");
    ASSERT_NE(app.editor, nullptr);
    EXPECT_EQ(app.Text(), "caf\xE9");
    EXPECT_EQ(SendMessageA(app.editor, EDM_GETENCODING, 0, 0), 1);
    // Saved back in UTF-8, as read.
    app.CaretToEnd();
    ASSERT_TRUE(app.Type("s", "caf\xE9s"));
    EXPECT_EQ(app.Save(), 0);
    EXPECT_EQ(ReadBytes(file), "caf\xC3\xA9s");
    app.ExpectExitZeroAfter(WM_CLOSE);
  }
}

}  // namespace
