// Watching the open file for changes by other programs and one window per
// file: the frame of this process against writes of the test itself, and
// the built program twice on one file.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>

#include <string>

#include "app/app_state.h"
#include "app/file_commands.h"
#include "app/file_watch.h"
#include "app/main_window.h"
#include "app/status_bar.h"
#include "config/config_state.h"
#include "document/long_operation.h"
#include "editor/editor_messages.h"
#include "editor/editor_scroll.h"
#include "editor/editor_window.h"
#include "resources/resource.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"
#include "tests/win/gui_helpers.h"

namespace {

const DWORD kWait = 15000;
const std::string kBom = "\xEF\xBB\xBF";
const char kAlreadyOpen[] =
    "This file is already opened in another window.\nDo you want to close this window and switch to the other one?";

std::string Exe() { return "\"" + ExeDir() + "quillpad.exe\""; }

HWND MainOf(Program &p) {
  HWND main = WaitForWindow(p.pid(), "QuilPad", kWait);
  if (main) p.WaitIdle(kWait);
  return main;
}

std::string ChangedOnDisk(const std::string &path) {
  return "File " + path +
         " has been changed by another program.\nDo you want to reload it? All changes made here will be lost!\n\n"
         "Click Cancel to stop watching this file.";
}

// Version `v` of a file of 300 lines of 12 bytes: a position stays on its line.
std::string Version(int v) {
  std::string text;
  char line[16];
  for (int i = 0; i < 300; i++) {
    snprintf(line, sizeof line, "line %03d v%d\r\n", i, v);
    text += line;
  }
  return text;
}

void PumpFor(DWORD ms) { PumpUntil([] { return false; }, ms); }

size_t Count(const ScriptedAnswerer &answers, const std::string &text) {
  size_t n = 0;
  for (const ScriptedAnswerer::Question &q : answers.asked()) n += q.text == text;
  return n;
}

class FileWatch : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ResetFrameGlobals()); }
  void TearDown() override {
    DestroyFrame();
    SetDefaultSettings(&g_settings, true);
    // Every watch thread ends by itself once its window let go of it.
    EXPECT_TRUE(PumpUntil([] { return WatchThreadsRunning() == 0; }, 3000));
  }
  void CreateAndOpen(const std::string &path) {
    ASSERT_EQ(CreateMainWindow(), 0);
    PumpFor(50);
    ASSERT_EQ(CommandOpenPath(path.c_str()), 0);
    ASSERT_TRUE(Watching());
    path_ = AppDocument()->filePath;
  }
  static std::string Text() {
    std::string text(static_cast<size_t>(SendMessageA(g_app.editorWindow, WM_GETTEXTLENGTH, 0, 0)) + 1, '\0');
    text.resize(static_cast<size_t>(
        SendMessageA(g_app.editorWindow, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]))));
    return text;
  }
  static EditorWindow *Editor() { return EditorOf(g_app.editorWindow); }
  std::string path_;  // as the document names it
};

// Five quick writes of another program give one question, asked once
// however many notifications follow; No keeps the document and the watch;
// Yes to the next
// change reloads and keeps the caret, the anchor and the first visible line;
// with ARevert the reload is silent and the status bar says so.
TEST_F(FileWatch, WritesOfAnotherProgramAskOnceAndRevertKeepsTheView) {
  TempFolder dir;
  const std::string file = dir.File("watched.txt");
  ASSERT_TRUE(WriteBytes(file, Version(0)));
  CreateAndOpen(file);
  SendMessageA(g_app.editorWindow, EM_SETSEL, 1320, 1330);  // line 110, clear of the margins
  Editor()->topLine = 100;
  ApplyScroll(Editor(), 0);
  ASSERT_EQ(Editor()->topLine, 100u);
  for (int v = 1; v <= 5; v++) ASSERT_TRUE(WriteBytes(file, Version(v)));
  {
    ScriptedAnswerer answers;
    answers.Expect(ChangedOnDisk(path_), kAskYesNoCancel, kAnswerNo);
    EXPECT_TRUE(PumpUntil([&] { return answers.asked().size() == 1; }, 5000));
    // More notifications of the same change ask nothing more.
    for (int i = 0; i < 3; i++) PostMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_CHANGED, 0);
    PumpFor(1000);
  }
  EXPECT_TRUE(Text() == Version(0));
  EXPECT_TRUE(Watching()) << "No keeps watching";
  ASSERT_TRUE(WriteBytes(file, Version(5)));
  {
    ScriptedAnswerer answers;
    answers.Expect(ChangedOnDisk(path_), kAskYesNoCancel, kAnswerYes);
    EXPECT_TRUE(PumpUntil([&] { return answers.asked().size() == 1; }, 5000));
    PumpFor(500);
  }
  EXPECT_TRUE(Text() == Version(5));
  DWORD a = 0, b = 0;
  SendMessageA(g_app.editorWindow, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
  EXPECT_EQ(a, 1320u);
  EXPECT_EQ(b, 1330u);
  EXPECT_EQ(Editor()->topLine, 100u);
  EXPECT_EQ(AppDocument()->modified, 0u);
  EXPECT_TRUE(Watching()) << "a revert keeps the watch";

  g_settings.file.ARevert = 1;
  ASSERT_TRUE(WriteBytes(file, Version(6)));
  {
    ScriptedAnswerer none;
    EXPECT_TRUE(PumpUntil([] { return Text() == Version(6); }, 5000));
  }
  EXPECT_STREQ(g_statusBar.message, "File reloaded from the disk.");
  EXPECT_EQ(Editor()->topLine, 100u);
}

// What is no change of the file: an attribute, another file in the folder,
// this window's own saves, a deleted file (the document stays), a file held
// shut by its writer (looked at again once it is let go). Cancel stops
// watching until the next save; a folder that goes away ends its watch.
TEST_F(FileWatch, OwnSavesAttributesAndMissingFilesAskNothing) {
  TempFolder dir;
  const std::string folder = dir.File("sub"), file = folder + "\\own.txt";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(file, "own\r\n"));
  CreateAndOpen(file);
  {
    ScriptedAnswerer none;
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(WriteBytes(folder + "\\other.txt", "other"));
    PumpFor(700);
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL));
    for (int i = 0; i < 50; i++) {
      SendMessageA(g_app.editorWindow, WM_CHAR, 'a' + i % 26, 1);
      ASSERT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_SAVE, 0), 0);
      // As a watch thread that saw the save's write before its stop would.
      PostMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_CHANGED, 0);
      PumpFor(i % 10 == 0 ? 300 : 5);  // now and then the watch has time to look
    }
    PumpFor(1000);
    EXPECT_TRUE(ReadBytes(file) == Text());
    const std::string kept = Text();
    ASSERT_TRUE(DeleteFileA(file.c_str()));
    PumpFor(1000);
    EXPECT_TRUE(Text() == kept);
    EXPECT_EQ(path_, AppDocument()->filePath);
    // Written while its writer keeps everybody out: nothing until it closes.
    HANDLE locked = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(locked, "new\r\n", 5, &written, nullptr));
    PumpFor(1000);
    EXPECT_TRUE(Text() == kept);
    CloseHandle(locked);
  }
  for (int answer : {kAnswerYes, kAnswerCancel}) {
    ScriptedAnswerer answers;
    answers.Expect(ChangedOnDisk(path_), kAskYesNoCancel, answer);
    if (answer == kAnswerCancel) ASSERT_TRUE(WriteBytes(file, "cancel\r\n"));
    EXPECT_TRUE(PumpUntil([&] { return answers.asked().size() == 1; }, 5000));
    EXPECT_EQ(Text(), "new\r\n");
  }
  EXPECT_FALSE(Watching());
  {
    ScriptedAnswerer none;
    ASSERT_TRUE(WriteBytes(file, "unwatched\r\n"));
    PumpFor(800);
  }
  ASSERT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_SAVE, 0), 0);
  EXPECT_TRUE(Watching());
  EXPECT_TRUE(PumpUntil([] { return WatchThreadsRunning() == 1; }, 2000));
  WIN32_FIND_DATAA found;
  HANDLE list = FindFirstFileA((folder + "\\*").c_str(), &found);
  do DeleteFileA((folder + "\\" + found.cFileName).c_str());
  while (FindNextFileA(list, &found));
  FindClose(list);
  ASSERT_TRUE(RemoveDirectoryA(folder.c_str()));
  EXPECT_TRUE(PumpUntil([] { return WatchThreadsRunning() == 0; }, 3000)) << "the watch of a folder that went away ends";
}

// The program's registered message is heard only from a main window of the
// program in another process, and only with the atom of this window's file
// while it waits for an answer. That answer, and a change on disk, arriving
// while a worker job runs wait for it and then act once each.
TEST_F(FileWatch, HandOverHearsOnlyOtherProgramsAndWaitsForAJob) {
  TempFolder dir;
  const std::string ini = dir.File("QuilPad.ini"), file = dir.File("mine.txt");
  ASSERT_TRUE(WriteBytes(ini, kBom));
  ASSERT_TRUE(WriteBytes(file, "before\r\n"));
  Program other(Exe() + " /ns /i \"" + ini + "\"");
  HWND legit = MainOf(other);
  ASSERT_NE(legit, nullptr);
  CreateAndOpen(file);
  const ATOM atom = GlobalFindAtomA(path_.c_str());
  ASSERT_NE(atom, 0);
  const ATOM unknown = GlobalAddAtomA(dir.File("unknown.txt").c_str());
  // The program's class name in this process (registered for another module).
  WNDCLASSA twinClass = {};
  twinClass.lpfnWndProc = DefWindowProcA;
  twinClass.hInstance = GetModuleHandleA("gdi32.dll");
  twinClass.lpszClassName = kMainClassName;
  ASSERT_TRUE(RegisterClassA(&twinClass));
  HWND twin = CreateWindowA(kMainClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, twinClass.hInstance, nullptr);
  ASSERT_EQ(ClassOf(twin), kMainClassName);
  struct Case {
    const char *name;
    HWND sender;
    LPARAM atom;
  } forged[] = {
      {"own window", g_app.mainWindow, atom},
      {"a window of this process", g_app.editorWindow, atom},
      {"the program's class in this process", twin, atom},
      {"another class in the other program", GetDlgItem(legit, 1020), atom},
      {"no window", reinterpret_cast<HWND>(static_cast<INT_PTR>(0x4321)), atom},
      {"unknown atom", legit, unknown},
      {"not an atom", legit, atom + 0x10000},
  };
  for (const Case &c : forged) {
    ScriptedAnswerer none;
    SendMessageA(g_app.mainWindow, g_app.handOver, reinterpret_cast<WPARAM>(c.sender), c.atom);
    PumpFor(50);
    EXPECT_TRUE(none.asked().empty()) << c.name;
  }
  GlobalDeleteAtom(unknown);
  DestroyWindow(twin);
  UnregisterClassA(kMainClassName, twinClass.hInstance);
  struct Context {
    HWND main, legit;
    UINT handOver;
    ATOM atom;
    std::string file;
  } context{g_app.mainWindow, legit, g_app.handOver, atom, file};
  LongOperation op = {};
  op.context = &context;
  op.work = [](LongOperation *o) {
    Context *c = static_cast<Context *>(o->context);
    WriteBytes(c->file, "after\r\n");
    for (int i = 0; i < 3; i++) PostMessageA(c->main, WM_COMMAND, IDM_FILE_CHANGED, 0);
    for (int i = 0; i < 2; i++) PostMessageA(c->main, c->handOver, reinterpret_cast<WPARAM>(c->legit), c->atom);
    // Long enough for the wait window, whose loop dispatches everything; the
    // watch posts its own request meanwhile.
    Sleep(2000);
    return 0;
  };
  {
    ScriptedAnswerer answers;
    answers.Allow(ChangedOnDisk(path_), kAskYesNoCancel, kAnswerYes).Allow(kAlreadyOpen, kAskYesNo, kAnswerNo);
    EXPECT_EQ(SendMessageA(g_app.editorWindow, EDM_RUNLONG, 0, reinterpret_cast<LPARAM>(&op)), 0);
    EXPECT_TRUE(answers.asked().empty()) << "nothing while the job ran";
    EXPECT_EQ(Text(), "before\r\n");
    PumpFor(1000);
    EXPECT_EQ(Count(answers, ChangedOnDisk(path_)), 1u);
    EXPECT_EQ(Count(answers, kAlreadyOpen), 1u) << "asked once: then no longer waiting";
  }
  EXPECT_EQ(Text(), "after\r\n");
  PostMessageA(legit, WM_CLOSE, 0, 0);
  EXPECT_EQ(other.WaitExit(kWait), 0u);
}

// Suspends or resumes every thread of a process (a hung program).
void SuspendProcess(DWORD pid, bool suspend) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != pid) continue;
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
    if (!thread) continue;
    if (suspend) SuspendThread(thread);
    else ResumeThread(thread);
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
}

// The built program twice on one file: the second window asks string 519
// in its message box; Yes brings the first one forward (restored) and
// ends the second without a question, even when the first hangs; No keeps
// both; the path in another letter case is the same file; with OnlyOne off
// nothing is asked.
TEST(ExeOneInstance, SecondWindowOnTheSameFileOffersToHandOver) {
  struct Case {
    const char *name;
    bool onlyOne, otherCase;
    int answer;  // 0: no question
    bool hung;   // the first program hangs before the answer
  } cases[] = {
      {"yes", true, false, IDYES, false},
      {"no", true, false, IDNO, false},
      {"other letter case", true, true, IDYES, false},
      {"OnlyOne off", false, false, 0, false},
      {"first one hung", true, false, IDYES, true},
  };
  for (const Case &c : cases) {
    TempFolder dir;
    const std::string ini = dir.File("QuilPad.ini"), file = dir.File("shared.txt");
    ASSERT_TRUE(WriteBytes(ini, c.onlyOne ? kBom : kBom + "[Setts]\r\nOnlyOne=0\r\n"));
    ASSERT_TRUE(WriteBytes(file, "shared\r\n"));
    std::string second = file;
    if (c.otherCase) CharUpperA(&second[0]);
    Program first(Exe() + " /ns /i \"" + ini + "\" \"" + file + "\"");
    HWND main1 = MainOf(first);
    ASSERT_NE(main1, nullptr) << c.name;
    ShowWindow(main1, SW_MINIMIZE);
    Program p2(Exe() + " /ns /i \"" + ini + "\" \"" + second + "\"");
    HWND main2 = MainOf(p2);
    ASSERT_NE(main2, nullptr) << c.name;
    HWND box = WaitForWindow(p2.pid(), "#32770", c.answer ? kWait : 1500);
    if (!c.answer) {
      EXPECT_EQ(box, nullptr) << c.name;
    } else {
      ASSERT_NE(box, nullptr) << c.name;
      EXPECT_EQ(MessageBoxText(box), kAlreadyOpen) << c.name;
      if (c.hung) SuspendProcess(first.pid(), true);
      PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(c.answer), 0);
    }
    if (c.answer == IDYES) {
      EXPECT_EQ(p2.WaitExit(kWait), 0u) << c.name;
      if (c.hung) {
        SuspendProcess(first.pid(), false);
        first.WaitIdle(kWait);
      }
      // Shown and restored asynchronously: a program that was hung catches up.
      EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(main1) && !IsIconic(main1); }, kWait)) << c.name;
    } else {
      EXPECT_EQ(p2.WaitExit(500), static_cast<DWORD>(STILL_ACTIVE)) << c.name;
      EXPECT_EQ(FindProcessWindow(first.pid(), "#32770", false), nullptr) << c.name;
      PostMessageA(main2, WM_CLOSE, 0, 0);
      EXPECT_EQ(p2.WaitExit(kWait), 0u) << c.name;
    }
    PostMessageA(main1, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.WaitExit(kWait), 0u) << c.name;
  }
}

}  // namespace
