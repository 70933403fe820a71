// The main window and the start-up path, in this process.
#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "config/config_io.h"
#include "editor/editor_window.h"
#include "foundation/bytes.h"
#include "resources/resource.h"
#include "tests/support/scripted_answerer.h"
#include "tests/win/gui_helpers.h"

namespace {

class StartupTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ResetFrameGlobals()); }
  void TearDown() override { DestroyFrame(); }
};

TEST_F(StartupTest, MainWindowHostsTheEditor) {
  ASSERT_EQ(CreateMainWindow(), 0);
  HWND main = g_app.mainWindow;
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(ClassOf(main), "QuilPad");
  EXPECT_EQ(WindowText(main), "Quillpad");
  EXPECT_TRUE(GetWindowLongA(main, GWL_STYLE) & WS_CLIPCHILDREN);
  EXPECT_NE(GetMenu(main), nullptr);
  ASSERT_NE(g_app.editorWindow, nullptr);
  EXPECT_EQ(GetDlgItem(main, IDC_EDITOR), g_app.editorWindow);
  EXPECT_EQ(ClassOf(g_app.editorWindow), "QilEdiA");
  LONG style = GetWindowLongA(g_app.editorWindow, GWL_STYLE);
  EXPECT_TRUE(style & WS_VSCROLL);
  // Word wrap is on by default: no horizontal bar.
  EXPECT_FALSE(style & WS_HSCROLL);
}

TEST_F(StartupTest, CloseDestroysTheWindowAndEndsTheLoop) {
  ASSERT_EQ(CreateMainWindow(), 0);
  HWND main = g_app.mainWindow;
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(RunMessageLoop(), 0);
  EXPECT_FALSE(IsWindow(main));
  EXPECT_EQ(g_app.mainWindow, nullptr);
}

TEST_F(StartupTest, StartupCommandIsPostedAfterCreation) {
  g_app.options.command = IDM_FILE_EXIT;
  ASSERT_EQ(CreateMainWindow(), 0);
  HWND main = g_app.mainWindow;
  // The loop opens the start-up document, which posts /d's command: Exit.
  EXPECT_EQ(RunMessageLoop(), 0);
  EXPECT_FALSE(IsWindow(main));
}

TEST_F(StartupTest, CommandResultsFollowTheConvention) {
  ASSERT_EQ(CreateMainWindow(), 0);
  HWND main = g_app.mainWindow;
  EXPECT_EQ(AnswerCommandResult(main, 0), 0);
  EXPECT_EQ(AnswerCommandResult(main, 32), 1);
  EXPECT_EQ(AnswerCommandResult(main, 48), 3);
  EXPECT_EQ(AnswerCommandResult(main, 80), 3);
  EXPECT_EQ(AnswerCommandResult(main, 96), 3);
  ScriptedAnswerer answers;
  answers.Expect("Out of Memory!", kAskWarning, kAnswerOk)
      .Expect("Could not complete file writing! Disk out of space?", kAskWarning, kAnswerOk);
  EXPECT_EQ(AnswerCommandResult(main, -1), 3);
  EXPECT_EQ(AnswerCommandResult(main, 524), 3);
  // A command the frame does not own goes to the editor: Undo with nothing to
  // undo answers 1, an id that is nobody's 2.
  EXPECT_EQ(SendMessageA(main, WM_COMMAND, 21113, 0), 1);
  EXPECT_EQ(SendMessageA(main, WM_COMMAND, 12345, 0), 2);
}

TEST_F(StartupTest, PlacementOptionsOverrideTheSystemPlacement) {
  g_app.options.hasLeft = 1;
  g_app.options.left = 30;
  ASSERT_EQ(CreateMainWindow(), 0);
  RECT plain;
  GetWindowRect(g_app.mainWindow, &plain);
  EXPECT_EQ(plain.left, 30);
  LONG width = plain.right - plain.left;
  DestroyWindow(g_app.mainWindow);

  // /x alone keeps the size the system gave; /w and /h set it.
  MemZero(&g_app.options, sizeof g_app.options);
  g_app.options.hasWidth = g_app.options.hasHeight = 1;
  g_app.options.width = 420;
  g_app.options.height = 310;
  ASSERT_EQ(CreateMainWindow(), 0);
  RECT sized;
  GetWindowRect(g_app.mainWindow, &sized);
  EXPECT_EQ(sized.right - sized.left, 420);
  EXPECT_EQ(sized.bottom - sized.top, 310);
  EXPECT_GT(width, 0);
}

TEST_F(StartupTest, SessionOnTopMakesTheWindowTopmost) {
  g_app.options.onTop = 1;
  ASSERT_EQ(CreateMainWindow(), 0);
  EXPECT_TRUE(GetWindowLongA(g_app.mainWindow, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(g_app.sessionOnTop, 1);
}

TEST_F(StartupTest, MissingEditorMeansOutOfMemoryAndNoWindow) {
  ASSERT_TRUE(UnregisterClassA(kEditorClassName, g_app.instance));
  {
    ScriptedAnswerer answers;
    answers.Expect("Out of Memory!", kAskWarning, kAnswerOk);
    EXPECT_EQ(CreateMainWindow(), -3);
    EXPECT_EQ(g_app.mainWindow, nullptr);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "a failed creation ends no session";
  }
  ASSERT_TRUE(RegisterEditorClass(g_app.instance));
}

TEST_F(StartupTest, PendingMessagePumpStopsOnCancelAndKeepsQuit) {
  ASSERT_EQ(CreateMainWindow(), 0);
  // Messages waiting in the queue are dispatched: File > Exit closes the frame.
  volatile unsigned cancel = 1;
  PostMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_EXIT, 0);
  PumpPendingMessages(nullptr, &cancel);
  EXPECT_NE(g_app.mainWindow, nullptr) << "a cancelled pump must not dispatch";
  cancel = 0;
  PumpPendingMessages(nullptr, &cancel);
  PumpPendingMessages(nullptr, &cancel);
  EXPECT_EQ(g_app.mainWindow, nullptr);
  // The WM_QUIT of the destruction is left for the main loop.
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

}  // namespace
