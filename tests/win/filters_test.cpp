// External filters with real child processes (qpchild.exe, built beside the
// tests): the bytes in and out, the judging of every kind of ending, cancel
// with a grandchild holding the pipe, faults, the quoting of arguments, and
// the filter's windows: the launch dialog, the editor, the menu and the
// Filters page.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/filter_dialogs.h"
#include "app/main_window.h"
#include "config/config_io.h"
#include "config/config_state.h"
#include "config/config_store.h"
#include "foundation/bytes.h"
#include "foundation/platform.h"
#include "editor/editor_commands.h"
#include "editor/editor_messages.h"
#include "editor/editor_window.h"
#include "foundation/fault.h"
#include "foundation/random.h"
#include "foundation/texts.h"
#include "resources/resource.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"
#include "tests/win/frame_fixture.h"
#include "tests/win/gui_helpers.h"

namespace {

std::string Child() { return "\"" + ExeDir() + "qpchild.exe\""; }

class Filters : public FrameTest {
 protected:
  void TearDown() override {
    FrameTest::TearDown();
    MemZeroFilters();
  }
  static void MemZeroFilters() {
    for (int n = 0; n < kFilters; n++) {
      g_settings.lists.filters[n] = FilterRecord{};
      *FilterSessionParams(n) = FilterParams{};
    }
  }
  // Filter `slot` runs qpchild with `steps`; flags as given, no launch dialog.
  static FilterRecord &Define(int slot, const std::string &steps, const char *name = "f") {
    FilterRecord &f = g_settings.lists.filters[slot];
    f = FilterRecord{};
    snprintf(f.name, sizeof f.name, "%s", name);
    snprintf(f.Cmd, sizeof f.Cmd, "%s %s", Child().c_str(), steps.c_str());
    f.SkipDlg = 1;
    return f;
  }
  Document *Doc() const { return EditorOf(editor_)->doc; }
  // The text, its selection, undo depth and modified flag: what a failed
  // run must leave as it was.
  struct State {
    std::string text;
    std::pair<DWORD, DWORD> selection;
    u32 undo;
    u32 modified;
    bool operator==(const State &o) const {
      return text == o.text && selection == o.selection && undo == o.undo && modified == o.modified;
    }
  };
  State Now() const { return State{Text(), Selection(), Doc()->undo.count, Doc()->modified}; }
};

// Bytes through the child and back: ANSI as they are, UTF-8 converted both
// ways; one Undo brings the selection back; a filter with no input that
// writes before it would read; 64 MiB each way, and 64 MiB of error text in
// small writes mixed into the output.
TEST_F(Filters, BytesGoThroughAndOneUndoTakesThemBack) {
  SetText("keep [mixed Case \xE9\t\r\nline] keep");
  Select(6, 25);
  const State before = Now();
  Define(0, "upper");
  ASSERT_EQ(Command(IDM_FILTER_FIRST), 0);
  EXPECT_EQ(Text(), "keep [MIXED CASE \xE9\t\r\nLINE] keep");
  EXPECT_EQ(Selection(), (std::pair<DWORD, DWORD>(6, 25)));
  Command(IDM_EDIT_UNDO);
  EXPECT_EQ(Text(), before.text);
  // UTF-8: the child counts the bytes it was given; é is two of them.
  Select(6, 25);
  Define(1, "count").Utf8 = 1;
  ASSERT_EQ(Command(IDM_FILTER_FIRST + 1), 0);
  EXPECT_EQ(Text(), "keep [20] keep");
  Select(6, 8);
  Define(2, "hex C3A9E282AC41").Utf8 = 1;
  ASSERT_EQ(Command(IDM_FILTER_FIRST + 2), 0);
  EXPECT_EQ(Text(), "keep [\xE9\x80" "A] keep");

  // Big texts: the output comes first, before the child reads anything.
  std::string big(64u << 20, 'x');
  for (size_t i = 0; i < big.size(); i += 4099) big[i] = static_cast<char>('\n' + i % 100);
  SetText(big);
  Select(0, static_cast<DWORD>(big.size()));
  Define(3, "outn 67108864 drain");
  ASSERT_EQ(Command(IDM_FILTER_FIRST + 3), 0);
  const std::string out = Text();
  ASSERT_EQ(out.size(), 64u << 20);
  EXPECT_EQ(out.substr(0, 26), "abcdefghijklmnopqrstuvwxyz");
  SetText(big);
  Select(0, static_cast<DWORD>(big.size()));
  Define(4, "copy");
  ASSERT_EQ(Command(IDM_FILTER_FIRST + 4), 0);
  EXPECT_TRUE(Text() == big);
  // Output and error mixed into one pipe in 4 KiB writes: all of both.
  SetText("x");
  Select(0, 1);
  Define(5, "mixn 16777216").MixOuts = 1;
  ASSERT_EQ(Command(IDM_FILTER_FIRST + 5), 0);
  EXPECT_EQ(Text().size(), 32u << 20);
  // 16 MiB of error text with exit code 1: the message shows 64 KiB of it.
  std::string shown = "Filter return code: 1.\n\n";
  for (int i = 0; i < 65536; i++) shown += (i % 61 == 60) ? '\n' : static_cast<char>('a' + i % 26);
  SetText("x");
  Select(0, 1);
  Define(6, "errn 16777216 exit 1");
  ScriptedAnswerer answers;
  answers.Expect(shown, kAskWarning, kAnswerOk);
  Command(IDM_FILTER_FIRST + 6);
  EXPECT_EQ(Text(), "x");
}

// Every way a filter can end, with what the user is told and what becomes of
// the text.
TEST_F(Filters, EveryEndingIsJudged) {
  ASSERT_STREQ(::Text(TXT_FILTER_RETURN_CODE), "Filter return code: %d.\n\n");
  auto head = [](int k) { return "Filter return code: " + std::to_string(k) + ".\n\n"; };
  TempFolder folder;
  const struct {
    const char *steps;
    i32 FilterRecord::*flag1;
    i32 FilterRecord::*flag2;
    std::string message;  // "" none
    const char *result;   // the text after; null: unchanged
  } kCases[] = {
      {"out o err bad exit 3", nullptr, nullptr, head(3) + "bad", nullptr},
      {"out o exit 3", nullptr, nullptr, head(3) + "o", nullptr},
      {"exit 0xC0000005", nullptr, nullptr, head(static_cast<int>(0xC0000005)), nullptr},
      {"err only", nullptr, nullptr, head(0) + "only", nullptr},
      {"out new err warn", nullptr, nullptr, head(0) + "warn", "<new>"},
      {"out new err warn", &FilterRecord::MsgOut, nullptr, head(0) + "warn", nullptr},
      {"out o err e exit 3", &FilterRecord::IRet, &FilterRecord::Wait, "e", nullptr},
      {"out new exit 3", &FilterRecord::IRet, nullptr, "", "<new>"},
      {"err e exit 3", &FilterRecord::MixOuts, nullptr, head(3) + "e", nullptr},
      {"out shown", &FilterRecord::MsgOut, nullptr, "shown", nullptr},
      {"out gone exit 3", &FilterRecord::NoOut, nullptr, head(3), nullptr},
      {"out gone", &FilterRecord::NoOut, nullptr, "", nullptr},
      {"copy", &FilterRecord::NoIn, nullptr, "", "<>"},
      {"count", nullptr, nullptr, "", "<3>"},
  };
  for (const auto &c : kCases) {
    SetText("<sel>");
    Select(1, 4);
    const State before = Now();
    FilterRecord &f = Define(7, c.steps);
    if (c.flag1) f.*c.flag1 = 1;
    if (c.flag2) f.*c.flag2 = 1;
    {
      ScriptedAnswerer answers;
      if (!c.message.empty()) answers.Expect(c.message, kAskWarning, kAnswerOk);
      Command(IDM_FILTER_FIRST + 7);
    }
    if (c.result) {
      EXPECT_EQ(Text(), c.result) << c.steps;
      Command(IDM_EDIT_UNDO);
    }
    EXPECT_TRUE(Now() == before) << c.steps << ": " << Text();
  }
  // Programs that cannot run, and a command line that is too long (nine
  // copies of a 4,000-byte selection).
  const struct {
    std::string command;
    const char *message;
  } kStarts[] = {
      {"\"" + folder.path() + "missing.exe\" x", "Executable not found!"},
      {"\"" + folder.path() + "\"", "Could not launch process!"},
      {Child() + " %S%S%S%S%S%S%S%S%S", "Command too long!"},
  };
  for (const auto &s : kStarts) {
    SetText(std::string(4000, 's'));
    Select(0, 4000);
    const State before = Now();
    snprintf(Define(8, "").Cmd, sizeof(FilterRecord::Cmd), "%s", s.command.c_str());
    {
      ScriptedAnswerer answers;
      answers.Expect(s.message, kAskWarning, kAnswerOk);
      Command(IDM_FILTER_FIRST + 8);
    }
    EXPECT_TRUE(Now() == before) << s.message;
  }
  // No input, no output, return code ignored without waiting: back at once.
  Define(9, "sleep 20000");
  FilterRecord &quick = g_settings.lists.filters[9];
  quick.NoIn = quick.NoOut = quick.IRet = 1;
  const DWORD start = GetTickCount();
  EXPECT_EQ(Command(IDM_FILTER_FIRST + 9), 0);
  EXPECT_LT(GetTickCount() - start, 5000u);
}

// Exit when done closes the window after a filter that succeeded, asking
// about the changed document unless it is to close without saving; a filter
// that failed closes nothing.
TEST_F(Filters, ExitWhenDone) {
  FilterRecord &f = Define(0, "out x exit 3");
  f.NoIn = f.Exit = f.ExitWS = 1;
  {
    ScriptedAnswerer answers;
    answers.Expect("Filter return code: 3.\n\nx", kAskWarning, kAnswerOk);
    Command(IDM_FILTER_FIRST);
    PumpMessages();
  }
  ASSERT_NE(g_app.mainWindow, nullptr);
  snprintf(f.Cmd, sizeof f.Cmd, "%s out x", Child().c_str());
  f.ExitWS = 0;
  {
    std::string question = ::Text(TXT_SAVE_CHANGES);
    question.replace(question.find("%s"), 2, ::Text(TXT_UNTITLED));
    ScriptedAnswerer answers;
    answers.Expect(question, kAskYesNoCancel, kAnswerCancel);
    Command(IDM_FILTER_FIRST);
    PumpMessages();
  }
  ASSERT_NE(g_app.mainWindow, nullptr);
  EXPECT_EQ(Text(), "x");
  f.ExitWS = 1;
  ScriptedAnswerer none;
  Command(IDM_FILTER_FIRST);
  PumpMessages();
  EXPECT_EQ(g_app.mainWindow, nullptr);
}

// Characters the code page has no place for: asked once; No leaves the text.
TEST_F(Filters, UntranslatableOutputIsAskedAbout) {
  for (int answer : {kAnswerNo, kAnswerYes}) {
    SetText("ab");
    Select(0, 2);
    const State before = Now();
    Define(0, "hex E4B8AD41").Utf8 = 1;  // a Chinese character and A
    {
      ScriptedAnswerer answers;
      answers.Expect(::Text(TXT_UNTRANSLATABLE), kAskYesNo, answer);
      Command(IDM_FILTER_FIRST);
    }
    if (answer == kAnswerNo) {
      EXPECT_TRUE(Now() == before);
    } else {
      EXPECT_EQ(Text(), "?A");
    }
  }
}

// A thread that presses Cancel of the wait window once it shows, after the
// child has written its process id.
struct Pressing {
  DWORD pid;
  HANDLE child;
  std::string pidFile;
  DWORD pressed;
};
DWORD WINAPI PressCancel(void *p) {
  Pressing *s = static_cast<Pressing *>(p);
  for (int i = 0; i < 1000; i++) {
    Sleep(20);
    if (!s->child) {
      const std::string id = ReadBytes(s->pidFile);
      if (!id.empty()) s->child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, atoi(id.c_str()));
    }
    HWND wait = FindProcessWindow(s->pid, "#32770");
    if (s->child && wait && GetDlgItem(wait, IDCANCEL)) {
      s->pressed = GetTickCount();
      PostMessageA(wait, WM_COMMAND, IDCANCEL, 0);
      return 0;
    }
  }
  return 0;
}

// Cancel ends a child that never ends, and one whose grandchild keeps the
// output pipe open: within two seconds, the child's exit code 1, nothing
// changed, no handle left behind. Tools set to run without a thread still
// run a filter on the worker, or there would be no Cancel to press.
TEST_F(Filters, CancelEndsTheChildAndItsPipes) {
  TempFolder folder;
  g_settings.main.TNoThrd = 1;
  for (int grand = 0; grand < 2; grand++) {
    const std::string pidFile = folder.File("pid" + std::to_string(grand));
    const std::string grandFile = folder.File("grand" + std::to_string(grand));
    Define(0, "pidfile \"" + pidFile + "\"" + (grand ? " grandchild \"" + grandFile + "\"" : "") + " forever");
    SetText("text");
    Select(0, 4);
    const State before = Now();
    DWORD handles0 = 0, handles1 = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles0);
    Pressing press{GetCurrentProcessId(), nullptr, pidFile, 0};
    HANDLE presser = CreateThread(nullptr, 0, PressCancel, &press, 0, nullptr);
    Command(IDM_FILTER_FIRST);
    const DWORD ended = GetTickCount();
    WaitForSingleObject(presser, 5000);
    CloseHandle(presser);
    ASSERT_NE(press.child, nullptr);
    ASSERT_NE(press.pressed, 0u);
    EXPECT_LT(ended - press.pressed, 2000u) << "grandchild " << grand;
    DWORD exitCode = 0;
    WaitForSingleObject(press.child, 2000);
    GetExitCodeProcess(press.child, &exitCode);
    EXPECT_EQ(exitCode, 1u);
    CloseHandle(press.child);
    EXPECT_TRUE(Now() == before);
    PumpMessages();
    GetProcessHandleCount(GetCurrentProcess(), &handles1);
    EXPECT_LE(handles1, handles0) << "grandchild " << grand;
    if (grand) {
      const std::string id = ReadBytes(grandFile);
      if (HANDLE g = OpenProcess(PROCESS_TERMINATE, FALSE, atoi(id.c_str()))) {
        TerminateProcess(g, 0);
        CloseHandle(g);
      }
    }
  }
}

// Allocations and threads failing, the k-th once and from the k-th on: "Out
// of Memory!" and the text as it was (or the whole result), never cut
// output, until the run needs no more and succeeds.
TEST_F(Filters, FaultsChangeNothing) {
  Define(0, "upper");
  for (FaultKind kind : {kFaultThread, kFaultAlloc}) {
    for (int persistent = 0; persistent < 2; persistent++) {
      for (u32 k = 1;; k++) {
        SetText("some text");
        Select(0, 4);
        const State before = Now();
        FaultInjector fi;
        FaultReset(&fi);
        FaultPlan(&fi, kind, k, persistent != 0);
        {
          ScriptedAnswerer answers;
          answers.Allow(::Text(TXT_OUT_OF_MEMORY), kAskWarning, kAnswerOk);
          ScopedFaultInjector scope(&fi);
          Command(IDM_FILTER_FIRST);
        }
        if (fi.fired[kind] == 0) {
          EXPECT_EQ(Text(), "SOME text") << k;
          break;
        }
        // Some requests have a way round their failure (a thread's own
        // generator record): then the run may still succeed whole.
        if (Text() != "SOME text") {
          EXPECT_TRUE(Now() == before) << kind << " " << k << ": " << Text();
        }
        ASSERT_LT(k, 200u);
      }
    }
  }
}

// A pipe thread that cannot be made: while the child runs, the wait window
// comes up at once with the memory message; the run ends with "Out of
// Memory!" and the text as it was.
struct WaitWatch {
  DWORD pid;
  std::string line;
};
DWORD WINAPI WatchWaitWindow(void *p) {
  WaitWatch *w = static_cast<WaitWatch *>(p);
  for (int i = 0; i < 300 && w->line.empty(); i++) {
    Sleep(10);
    if (HWND wait = FindProcessWindow(w->pid, "#32770")) w->line = WindowText(GetDlgItem(wait, IDC_WAIT_LINE2));
  }
  return 0;
}

TEST_F(Filters, MissingThreadIsReportedWhileTheChildRuns) {
  Define(0, "sleep 2000 upper");
  SetText("text");
  Select(0, 4);
  const State before = Now();
  FaultInjector fi;
  FaultReset(&fi);
  FaultPlan(&fi, kFaultThread, 2, false);  // the worker is made; the writer is not
  WaitWatch watch{GetCurrentProcessId(), ""};
  HANDLE watcher = CreateThread(nullptr, 0, WatchWaitWindow, &watch, 0, nullptr);
  {
    ScriptedAnswerer answers;
    answers.Expect(::Text(TXT_OUT_OF_MEMORY), kAskWarning, kAnswerOk);
    ScopedFaultInjector scope(&fi);
    Command(IDM_FILTER_FIRST);
  }
  WaitForSingleObject(watcher, 5000);
  CloseHandle(watcher);
  EXPECT_EQ(watch.line, ::Text(TXT_FILTER_MEMORY));
  EXPECT_TRUE(Now() == before);
}

// Arguments keep their boundaries: random values with quotes and runs of
// backslashes through %~1 arrive as one argument equal to the value;
// %F with the characters a command shell gives meanings of their own.
TEST_F(Filters, QuotedArgumentsArriveWhole) {
  static const char kAlphabet[] = {'a', ' ', '"', '\\', '\\', 'x', '&', '%', '^'};
  u32 seed = 12345;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int round = 0; round < 24; round++) {
    std::string value;
    for (u32 n = next() % 12; n; n--) value += kAlphabet[next() % sizeof kAlphabet];
    Define(0, "args %~1").NoIn = 1;
    snprintf(FilterSessionParams(0)->text[0], kFilterParamChars + 1, "%s", value.c_str());
    SetText("");
    Command(IDM_FILTER_FIRST);
    EXPECT_EQ(Text(), "[" + value + "]\n") << "value " << value;
  }
  snprintf(Doc()->filePath, sizeof Doc()->filePath, "%s", "C:\\a & b ^ 100%\\x y.txt");
  Define(0, "args %F %~F").NoIn = 1;
  SetText("");
  Command(IDM_FILTER_FIRST);
  EXPECT_EQ(Text(), "[C:\\a & b ^ 100%\\x y.txt]\n[C:\\a & b ^ 100%\\x y.txt]\n");
}

// On a double-byte code page a trail byte 0x5C is part of its character:
// values of pairs, quotes and backslashes arrive whole through %~1.
TEST_F(Filters, DoubleByteArgumentsArriveWhole) {
  if (!IsDBCSLeadByte(0x95) && !IsDBCSLeadByte(0x81)) GTEST_SKIP() << "a single-byte code page";
  const bool japanese = GetACP() == 932;
  const std::string pair = japanese ? "\x95\x5C" : "\x81\x5C";
  for (const std::string &value : {pair, pair + "\"", "a\\" + pair + "\\", "\"" + pair + " " + pair + pair}) {
    Define(0, "args %~1").NoIn = 1;
    snprintf(FilterSessionParams(0)->text[0], kFilterParamChars + 1, "%s", value.c_str());
    SetText("");
    Command(IDM_FILTER_FIRST);
    EXPECT_EQ(Text(), "[" + value + "]\n") << value;
  }
}

// The launch dialog: only the fields the command uses are enabled, the line
// follows every change, OK keeps the parameters for the session and Last
// Tool runs the filter again with them, without the dialog.
TEST_F(Filters, LaunchDialogAndLastTool) {
  Define(0, "args %2 %~S").SkipDlg = 0;
  snprintf(g_settings.lists.filters[0].Desc, sizeof g_settings.lists.filters[0].Desc, "what\nit does");
  snprintf(FilterSessionParams(0)->text[1], kFilterParamChars + 1, "old");
  SetText("sel");
  Select(0, 3);
  std::string shown;
  bool enabled[9] = {};
  ASSERT_TRUE(WithDialog([&] { Command(IDM_FILTER_FIRST); },
                         [&](HWND d) {
                           for (int i = 0; i < 9; i++) enabled[i] = IsWindowEnabled(GetDlgItem(d, IDC_LAUNCH_PARAM + i));
                           SetDlgItemTextA(d, IDC_LAUNCH_PARAM + 1, "new \"v\"");
                           shown = WindowText(GetDlgItem(d, IDC_LAUNCH_EXECUTE));
                           EXPECT_EQ(WindowText(GetDlgItem(d, IDC_LAUNCH_DESC)), "what\r\nit does");
                           SendMessageA(d, WM_COMMAND, IDOK, 0);
                         }));
  for (int i = 0; i < 9; i++) EXPECT_EQ(enabled[i], i == 1) << i;
  EXPECT_EQ(shown, Child() + " args new \"v\" \"sel\"");
  EXPECT_EQ(Text(), "[new]\n[v]\n[sel]\n");
  EXPECT_STREQ(FilterSessionParams(0)->text[1], "new \"v\"");
  SetText("again");
  Select(0, 5);
  ScriptedAnswerer none;
  Command(IDM_TOOLS_LAST_TOOL);
  EXPECT_EQ(Text(), "[new]\n[v]\n[again]\n");
  // Cancel runs nothing.
  SetText("x");
  Select(0, 1);
  ASSERT_TRUE(WithDialog([&] { Command(IDM_FILTER_FIRST); }, [](HWND d) { SendMessageA(d, WM_COMMAND, IDCANCEL, 0); }));
  EXPECT_EQ(Text(), "x");
}

// The Text Filters menu: Manage List, a separator, the used slots with the
// keys of the first twelve; names shown as text; the help line; the keys.
TEST_F(Filters, MenuListsTheFilters) {
  for (int n = 0; n < 13; n++) Define(n, "out x", n == 2 ? "a&b|%s\tc" : "name");
  HMENU bar = GetMenu(g_app.mainWindow);
  SendMessageA(g_app.mainWindow, WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0);
  HMENU menu = Submenu(bar, IDM_FILTERS_MENU, false);
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(GetMenuItemCount(menu), 15);
  auto text = [&](int pos) {
    char t[600] = "";
    GetMenuStringA(menu, static_cast<UINT>(pos), t, sizeof t, MF_BYPOSITION);
    return std::string(t);
  };
  EXPECT_EQ(text(0), "&Manage List..");
  EXPECT_EQ(GetMenuItemID(menu, 0), static_cast<UINT>(IDM_FILTERS_MANAGE));
  EXPECT_EQ(text(2), "&name\tAlt+Ctrl+F1");
  EXPECT_EQ(text(4), "&a&&b|%s c\tAlt+Ctrl+F3");
  EXPECT_EQ(text(13), "&name\tAlt+Ctrl+F12");
  EXPECT_EQ(text(14), "&name");
  EXPECT_EQ(GetMenuItemID(menu, 14), static_cast<UINT>(IDM_FILTER_FIRST + 12));
  char help[1100];
  ASSERT_TRUE(FilterMenuHelp(IDM_FILTER_FIRST + 12, help, sizeof help));
  EXPECT_EQ(std::string(help), "Command: " + Child() + " out x");
  // Alt+Ctrl+F3 runs the third.
  Define(2, "out third").NoIn = 1;
  SetText("");
  MSG key = {g_app.mainWindow, WM_KEYDOWN, VK_F3, 0, 0, {0, 0}};
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] = keys[VK_MENU] = 0x80;
  SetKeyboardState(keys);
  key.message = WM_SYSKEYDOWN;
  HACCEL table = LoadAcceleratorsA(g_app.instance, MAKEINTRESOURCEA(IDR_ACCEL_MAIN));
  EXPECT_TRUE(TranslateAcceleratorA(g_app.mainWindow, table, &key));
  keys[VK_CONTROL] = keys[VK_MENU] = 0;
  SetKeyboardState(keys);
  EXPECT_EQ(Text(), "third");
  // A free slot does nothing.
  Command(IDM_FILTER_FIRST + 40);
  EXPECT_EQ(Text(), "third");
}

// The filter editor: the enabling rules, the hint, a name required, Ctrl+Tab
// typing a tab; Push input and Capture output are the negated flags.
TEST_F(Filters, EditorRules) {
  FilterRecord f = {};
  f.NoIn = 1;
  ASSERT_TRUE(WithDialog([&] { EXPECT_EQ(RunFilterEditor(g_app.mainWindow, &f), 0); },
                         [&](HWND d) {
                           auto on = [&](int id) { return IsWindowEnabled(GetDlgItem(d, id)) != FALSE; };
                           auto click = [&](int id) {
                             CheckDlgButton(d, id, IsDlgButtonChecked(d, id) ? BST_UNCHECKED : BST_CHECKED);
                             SendMessageA(d, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
                           };
                           EXPECT_FALSE(IsDlgButtonChecked(d, IDC_FILTER_INPUT));
                           EXPECT_TRUE(IsDlgButtonChecked(d, IDC_FILTER_OUTPUT));
                           EXPECT_TRUE(on(IDC_FILTER_MIX) && on(IDC_FILTER_MESSAGE) && on(IDC_FILTER_UTF8));
                           EXPECT_FALSE(on(IDC_FILTER_WAIT) || on(IDC_FILTER_NO_SAVE));
                           click(IDC_FILTER_OUTPUT);
                           EXPECT_FALSE(on(IDC_FILTER_MIX) || on(IDC_FILTER_MESSAGE) || on(IDC_FILTER_UTF8));
                           click(IDC_FILTER_INPUT);
                           EXPECT_TRUE(on(IDC_FILTER_UTF8));
                           click(IDC_FILTER_EXIT);
                           EXPECT_TRUE(on(IDC_FILTER_NO_SAVE));
                           EXPECT_EQ(WindowText(GetDlgItem(d, IDC_FILTER_HINT)), ::Text(TXT_FILTER_LAUNCH_HINT));
                           click(IDC_FILTER_INPUT);
                           click(IDC_FILTER_IGNORE);
                           EXPECT_TRUE(on(IDC_FILTER_WAIT));
                           EXPECT_EQ(WindowText(GetDlgItem(d, IDC_FILTER_HINT)), "");
                           {
                             ScriptedAnswerer answers;
                             answers.Expect(::Text(TXT_CHOOSE_NAME), kAskWarning, kAnswerOk);
                             SendMessageA(d, WM_COMMAND, IDOK, 0);
                           }
                           HWND cmd = GetDlgItem(d, IDC_FILTER_COMMAND);
                           SetWindowTextA(GetDlgItem(d, IDC_FILTER_NAME), "n");
                           SetWindowTextA(cmd, "a");
                           SendMessageA(cmd, EM_SETSEL, 1, 1);
                           BYTE keys[256];
                           GetKeyboardState(keys);
                           keys[VK_CONTROL] = 0x80;
                           SetKeyboardState(keys);
                           SendMessageA(cmd, WM_KEYDOWN, VK_TAB, 0);
                           keys[VK_CONTROL] = 0;
                           SetKeyboardState(keys);
                           SendMessageA(d, WM_COMMAND, IDOK, 0);
                         }));
  EXPECT_STREQ(f.name, "n");
  EXPECT_STREQ(f.Cmd, "a\t");
  EXPECT_EQ(f.NoIn, 1);
  EXPECT_EQ(f.NoOut, 1);
  EXPECT_EQ(f.Exit, 1);
  EXPECT_EQ(f.IRet, 1);
}

// The Filters page in a host window: New, Up, Down and Delete on its copy;
// 2 drops the copy, 1 writes it into the slots in list order with the
// parameters moved along; the list then survives a save and a load.
TEST_F(Filters, PageEditsApplyInOrder) {
  Define(0, "zero", "zero");
  Define(4, "four", "four");  // a gap before it
  snprintf(FilterSessionParams(4)->text[0], kFilterParamChars + 1, "p4");
  auto open = [&] {
    HWND page = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_FILTERS_PAGE), g_app.mainWindow,
                                   FiltersPageProc, 0);
    EXPECT_NE(page, nullptr);
    return page;
  };
  auto names = [&] {
    std::string s;
    for (int n = 0; n < 6; n++) s += std::string(g_settings.lists.filters[n].name) + ",";
    return s;
  };
  HWND page = open();
  auto press = [&](int id) { SendMessageA(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(page, id))); };
  EXPECT_EQ(WindowText(GetDlgItem(page, IDC_FILTERS_NOTE)), "You may add up to 50 filters.");
  ASSERT_TRUE(WithDialog([&] { press(IDC_FILTERS_NEW); },
                         [](HWND d) {
                           SetWindowTextA(GetDlgItem(d, IDC_FILTER_NAME), "new");
                           SetWindowTextA(GetDlgItem(d, IDC_FILTER_COMMAND), "cmd");
                           SendMessageA(d, WM_COMMAND, IDOK, 0);
                         }));
  EXPECT_EQ(WindowText(GetDlgItem(page, IDC_FILTERS_COMMAND)), "cmd");
  press(IDC_FILTERS_UP);  // new above four
  SendDlgItemMessageA(page, IDC_FILTERS_LIST, LB_SETCURSEL, 0, 0);
  press(IDC_FILTERS_DOWN);  // zero below new
  SendMessageA(page, WM_COMMAND, 2, 0);
  EXPECT_EQ(names(), "zero,,,,four,,");
  SendMessageA(page, WM_COMMAND, 1, 0);
  EXPECT_EQ(names(), "new,zero,four,,,,");
  EXPECT_STREQ(FilterSessionParams(2)->text[0], "p4");
  EXPECT_STREQ(FilterSessionParams(4)->text[0], "");
  DestroyWindow(page);
  page = open();
  SendDlgItemMessageA(page, IDC_FILTERS_LIST, LB_SETCURSEL, 1, 0);
  press(IDC_FILTERS_DELETE);
  SendMessageA(page, WM_COMMAND, 1, 0);
  EXPECT_EQ(names(), "new,four,,,,,");
  DestroyWindow(page);
  EXPECT_NE(g_config.filters.dirty, 0u);
  // Saved to an INI file and to the registry, read by a fresh session.
  TempFolder dir;
  const std::string ini = dir.File("QuilPad.ini");
  const std::string registry = "Software\\QuillpadTests\\F" + std::to_string(GetCurrentProcessId());
  const std::string root = RegistryRoot();
  for (int inRegistry = 0; inRegistry < 2; inRegistry++) {
    ASSERT_TRUE(WriteBytes(ini, "\xEF\xBB\xBF"));
    if (inRegistry) SetRegistryRoot(registry.c_str());
    g_config.noSave = 0;
    g_config.filters.dirty = 1;
    EXPECT_EQ(SaveConfig(nullptr, inRegistry ? "" : ini.c_str(), false, false), 0);
    const SettingsBlock saved = g_settings;
    MemZero(&g_config, sizeof g_config);
    SetDefaultSettings(&g_settings, true);
    if (!inRegistry) StrCopyN(g_config.configFile, ini.c_str(), sizeof g_config.configFile);
    LoadConfigFrom(nullptr, nullptr);
    EXPECT_EQ(names(), "new,four,,,,,") << (inRegistry ? "registry" : "INI");
    EXPECT_STREQ(g_settings.lists.filters[0].Cmd, "cmd");
    EXPECT_EQ(memcmp(&g_settings.lists.filters[1], &saved.lists.filters[1], sizeof(FilterRecord)), 0);
    g_config.noSave = 1;
  }
  PlatRegDeleteTree(nullptr, registry.c_str());
  SetRegistryRoot(root.c_str());
}

}  // namespace
