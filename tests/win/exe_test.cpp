// The built quillpad.exe, started as a user would start it.
#include <gtest/gtest.h>

#include <random>

#include "resources/resource.h"
#include "tests/support/test_files.h"
#include "tests/win/gui_helpers.h"

namespace {

const DWORD kWait = 15000;

std::string Exe() { return "\"" + ExeDir() + "quillpad.exe\""; }

// The main window of `p` once it is up and idle; null if it never came.
HWND MainOf(Program &p) {
  HWND main = WaitForWindow(p.pid(), "QuilPad", kWait);
  if (main) p.WaitIdle(kWait);
  return main;
}

// Closes the main window and expects a clean exit.
void CloseAndExpectExitZero(Program &p, HWND main) {
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(p.WaitExit(kWait), 0u);
}

void ExpectWindowRect(HWND main, int left, int top, int width, int height) {
  RECT r;
  GetWindowRect(main, &r);
  EXPECT_EQ(r.left, left);
  EXPECT_EQ(r.top, top);
  EXPECT_EQ(r.right - r.left, width);
  EXPECT_EQ(r.bottom - r.top, height);
}

TEST(Exe, StartsWithItsWindowAndEditorAndClosesWithExitCodeZero) {
  Program p(Exe() + " /nl /ns");
  ASSERT_TRUE(p.started());
  HWND main = MainOf(p);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(WindowText(main), "Untitled - Quillpad");
  HWND editor = GetDlgItem(main, 1020);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(ClassOf(editor), "QilEdiA");
  EXPECT_TRUE(GetWindowLongA(editor, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  // The editor fills the frame's client area above the status bar.
  HWND bar = GetDlgItem(main, 1030);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(ClassOf(bar), "msctls_statusbar32");
  EXPECT_TRUE(IsWindowVisible(bar));
  RECT client, child, status;
  GetClientRect(main, &client);
  GetWindowRect(editor, &child);
  GetWindowRect(bar, &status);
  EXPECT_EQ(child.right - child.left, client.right);
  EXPECT_EQ(child.bottom - child.top, client.bottom - (status.bottom - status.top));
  EXPECT_EQ(status.top, child.bottom);
  CloseAndExpectExitZero(p, main);
}

TEST(Exe, UnknownOptionShowsMessage567ThenStarts) {
  std::string line = Exe() + " /nl /ns /Q /l 3";
  Program p(line);
  ASSERT_TRUE(p.started());
  HWND box = WaitForWindow(p.pid(), "#32770", kWait);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(WindowText(box), "Quillpad");
  EXPECT_EQ(MessageBoxText(box),
            "Unknown command line parameter:\n\n/Q /l 3\n\nCommand line:\n\n" + line);
  // No main window before the question is answered.
  EXPECT_EQ(FindProcessWindow(p.pid(), "QuilPad", false), nullptr);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  HWND main = MainOf(p);
  ASSERT_NE(main, nullptr);
  CloseAndExpectExitZero(p, main);
}

TEST(Exe, NoWarningsOptionSilencesUnknownOptions) {
  Program p(Exe() + " /nl /ns /nw /Q");
  ASSERT_TRUE(p.started());
  HWND main = MainOf(p);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(FindProcessWindow(p.pid(), "#32770", false), nullptr);
  CloseAndExpectExitZero(p, main);
}

TEST(Exe, UpdateCheckOptionExitsWithoutAWindow) {
  Program p(Exe() + " /nl /ns /u");
  ASSERT_TRUE(p.started());
  EXPECT_EQ(p.WaitExit(kWait), 0u);
  EXPECT_EQ(FindProcessWindow(p.pid(), "QuilPad", false), nullptr);
}

void PressCtrlKey(WORD key) {
  INPUT in[4] = {};
  for (INPUT &i : in) i.type = INPUT_KEYBOARD;
  in[0].ki.wVk = VK_CONTROL;
  in[1].ki.wVk = key;
  in[2].ki.wVk = key;
  in[2].ki.dwFlags = KEYEVENTF_KEYUP;
  in[3].ki.wVk = VK_CONTROL;
  in[3].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(4, in, sizeof(INPUT));
}

TEST(Exe, CtrlGOpensTheGoToDialog) {
  Program p(Exe() + " /nl /ns");
  HWND main = MainOf(p);
  ASSERT_NE(main, nullptr);
  SetForegroundWindow(main);
  PumpUntil([&] { return GetForegroundWindow() == main; }, 2000);
  PressCtrlKey('G');
  HWND dialog = WaitForWindow(p.pid(), "#32770", kWait);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(WindowText(dialog), "Go To");
  // The Line box, read with WM_GETTEXT: it belongs to the other process.
  char line[16] = {};
  SendMessageA(GetDlgItem(dialog, 2310), WM_GETTEXT, sizeof line, reinterpret_cast<LPARAM>(line));
  EXPECT_STREQ(line, "1");
  PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  PumpUntil([&] { return !IsWindow(dialog); }, kWait);
  CloseAndExpectExitZero(p, main);
}

const std::string kBom = "\xEF\xBB\xBF";

TEST(ExeConfig, SavedPlacementIsWrittenOnCloseAndAppliedAtStart) {
  TempFolder dir;
  std::string ini = dir.File("QuilPad.ini");
  ASSERT_TRUE(WriteBytes(ini, kBom + "[Save]\nPlace=1\nSize=1\n"));
  {
    // The placement options set the window's rectangle, and it is saved.
    Program p(Exe() + " /i \"" + ini + "\" /x 70 /y 80 /w 520 /h 330");
    HWND main = MainOf(p);
    ASSERT_NE(main, nullptr);
    ExpectWindowRect(main, 70, 80, 520, 330);
    CloseAndExpectExitZero(p, main);
  }
  std::string saved = ReadBytes(ini);
  EXPECT_NE(saved.find("\nLeft=70\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\nWidth=520\n"), std::string::npos) << saved;
  {
    Program p(Exe() + " /i \"" + ini + "\"");
    HWND main = MainOf(p);
    ASSERT_NE(main, nullptr);
    ExpectWindowRect(main, 70, 80, 520, 330);
    CloseAndExpectExitZero(p, main);
  }
}

TEST(ExeConfig, NoSaveAndForgetOptions) {
  TempFolder dir;
  std::string ini = dir.File("QuilPad.ini");
  const std::string original = kBom + "[Save]\nPlace=1\nSize=1\n[Place]\nTop=5\nLeft=6\nWidth=400\nHeight=300\n";
  ASSERT_TRUE(WriteBytes(ini, original));
  {
    Program p(Exe() + " /ns /i \"" + ini + "\" /x 90");
    HWND main = MainOf(p);
    ASSERT_NE(main, nullptr);
    CloseAndExpectExitZero(p, main);
  }
  EXPECT_EQ(ReadBytes(ini), original);
  {
    Program p(Exe() + " //p //s /i \"" + ini + "\"");
    HWND main = MainOf(p);
    ASSERT_NE(main, nullptr);
    RECT r;
    GetWindowRect(main, &r);
    EXPECT_FALSE(r.left == 6 && r.top == 5) << "the saved position was forgotten";
    CloseAndExpectExitZero(p, main);
  }
  std::string saved = ReadBytes(ini);
  EXPECT_NE(saved.find("\nPlace=0\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\nTop=2147483648\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\nWidth=2147483648\n"), std::string::npos) << saved;
}

TEST(ExeConfig, StatusBarOptionIsSavedAndAppliedAtStart) {
  TempFolder dir;
  std::string ini = dir.File("QuilPad.ini");
  ASSERT_TRUE(WriteBytes(ini, kBom));
  {
    // /d 55111: the Status Bar command, once the document is open (how /d
    // runs a command in general: StartupTest.StartupCommandIsPostedAfterCreation).
    Program p(Exe() + " /i \"" + ini + "\" /d 55111");
    HWND main = MainOf(p);
    ASSERT_NE(main, nullptr);
    HWND bar = GetDlgItem(main, 1030);
    ASSERT_NE(bar, nullptr);
    PumpUntil([&] { return !IsWindowVisible(bar); }, kWait);
    EXPECT_FALSE(IsWindowVisible(bar));
    CloseAndExpectExitZero(p, main);
  }
  std::string saved = ReadBytes(ini);
  EXPECT_NE(saved.find("\nStatus=0\n"), std::string::npos) << saved;
  {
    Program p(Exe() + " /ns /i \"" + ini + "\"");
    HWND main = MainOf(p);
    ASSERT_NE(main, nullptr);
    HWND bar = GetDlgItem(main, 1030);
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(IsWindowVisible(bar));
    HWND editor = GetDlgItem(main, 1020);
    RECT client, child;
    GetClientRect(main, &client);
    GetWindowRect(editor, &child);
    EXPECT_EQ(child.bottom - child.top, client.bottom) << "no room kept for a hidden bar";
    CloseAndExpectExitZero(p, main);
  }
}

// /F /H /T: fullscreen (no caption, saved as FulScr), in the tray rather than
// on the screen (the icon's click brings it back), on top.
TEST(ExeConfig, FullscreenTrayAndOnTopFromTheCommandLine) {
  TempFolder dir;
  std::string ini = dir.File("QuilPad.ini");
  ASSERT_TRUE(WriteBytes(ini, kBom + "[Save]\nPlace=1\nSize=1\n"));
  Program p(Exe() + " /i \"" + ini + "\" /F /H /T");
  HWND main = MainOf(p);
  ASSERT_NE(main, nullptr);
  PumpUntil([&] { return !IsWindowVisible(main); }, kWait);
  EXPECT_FALSE(IsWindowVisible(main)) << "in the tray";
  EXPECT_TRUE(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_FALSE((GetWindowLongA(main, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) << "fullscreen";
  PostMessageA(main, 0x8100, 1, WM_LBUTTONUP);
  PumpUntil([&] { return IsWindowVisible(main) != 0; }, kWait);
  EXPECT_TRUE(IsWindowVisible(main)) << "the icon's click restores it";
  CloseAndExpectExitZero(p, main);
  const std::string saved = ReadBytes(ini);
  EXPECT_NE(saved.find("\nFulScr=1\n"), std::string::npos) << saved;
}

TEST(ExeConfig, UnreadableConfigFileIsReported) {
  TempFolder dir;
  std::string ini = dir.File("missing.ini");
  Program p(Exe() + " /ns /i \"" + ini + "\"");
  HWND box = WaitForWindow(p.pid(), "#32770", kWait);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(MessageBoxText(box), "Could not read file " + ini + "!");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  HWND main = MainOf(p);
  ASSERT_NE(main, nullptr);
  CloseAndExpectExitZero(p, main);
}

// Replace All from the search bar of the built program, its total
// answered; Undo and Save give the original bytes, the replacement saved
// gives the model's.
TEST(ExeSearch, ReplaceAllFromTheBarUndoAndSave) {
  TempFolder dir;
  const std::string ini = dir.File("QuilPad.ini"), file = dir.File("text.txt");
  std::string original, model;
  for (int i = 0; i < 200; i++) {
    original += "one two one\r\n";
    model += "1 two 1\r\n";
  }
  ASSERT_TRUE(WriteBytes(ini, kBom));
  ASSERT_TRUE(WriteBytes(file, original));
  Program p(Exe() + " /ns /i \"" + ini + "\" \"" + file + "\"");
  HWND main = MainOf(p);
  ASSERT_NE(main, nullptr);
  HWND editor = GetDlgItem(main, 1020);
  auto replaceAll = [&] {
    SendMessageA(main, WM_COMMAND, 25200, 0);
    HWND bar = FindWindowExA(main, nullptr, MAKEINTATOM(32770), nullptr);
    ASSERT_NE(bar, nullptr);
    SetDlgItemTextA(bar, IDC_BAR_FIND, "one");
    SetDlgItemTextA(bar, IDC_BAR_REPLACE, "1");
    PostMessageA(bar, WM_COMMAND, IDC_BAR_REPLACE_ALL, 0);
    HWND box = WaitForWindow(p.pid(), "#32770", kWait);
    ASSERT_NE(box, nullptr);
    char text[64] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    EXPECT_STREQ(text, "Total replacements: 400");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    PumpUntil([&] { return !IsWindow(box); }, kWait);
  };
  replaceAll();
  EXPECT_EQ(SendMessageA(editor, WM_GETTEXTLENGTH, 0, 0), static_cast<LRESULT>(model.size()));
  SendMessageA(editor, WM_UNDO, 0, 0);
  SendMessageA(main, WM_COMMAND, 13311, 0);
  EXPECT_TRUE(ReadBytes(file) == original) << "undone and saved";
  replaceAll();
  SendMessageA(main, WM_COMMAND, 13311, 0);
  EXPECT_TRUE(ReadBytes(file) == model) << "replaced and saved";
  CloseAndExpectExitZero(p, main);
}

// The clipboard between two running programs: A copies a text with zero
// bytes and mixed newlines, the test reads both formats, B pastes it at
// start-up (/v) and saves the same bytes; Cut Append twice, Swap with an
// empty clipboard and a plain-text clipboard of another program.
TEST(ExeClipboard, TwoProgramsKeepTheBytes) {
  TempFolder dir;
  const std::string ini = dir.File("QuilPad.ini"), a = dir.File("a.txt"), b = dir.File("b.txt");
  const std::string text("one\0two\rthree\nfour\r\nfive", 24);
  ASSERT_TRUE(WriteBytes(ini, kBom));
  ASSERT_TRUE(WriteBytes(a, text));
  ASSERT_TRUE(WriteBytes(b, ""));
  const UINT exact = RegisterClipboardFormatA("QLP_A64");
  auto block = [](UINT format) {
    std::string out;
    if (!OpenClipboardWhenFree()) return std::string("<clipboard not open>");
    if (HANDLE h = GetClipboardData(format)) {
      const char *p = static_cast<const char *>(GlobalLock(h));
      if (p) out.assign(p, GlobalSize(h));
      GlobalUnlock(h);
    }
    CloseClipboard();
    return out;
  };
  auto exactText = [&] {
    const std::string data = block(exact);
    unsigned n = 0;
    if (data.size() >= 8) memcpy(&n, data.data(), 4);
    return data.size() >= 8 + static_cast<size_t>(n) ? data.substr(8, n) : std::string("<bad block>");
  };
  auto plainText = [&] {
    const std::string data = block(CF_TEXT);
    return data.substr(0, data.find('\0'));
  };
  ASSERT_TRUE(OpenClipboardWhenFree());  // nothing left from before
  EmptyClipboard();
  CloseClipboard();
  Program pa(Exe() + " /ns /i \"" + ini + "\" \"" + a + "\"");
  // The zero byte makes it a binary file: a warning first.
  HWND warning = WaitForWindow(pa.pid(), "#32770", kWait);
  ASSERT_NE(warning, nullptr);
  PostMessageA(warning, WM_COMMAND, IDOK, 0);
  HWND mainA = MainOf(pa);
  ASSERT_NE(mainA, nullptr);
  HWND editorA = GetDlgItem(mainA, 1020);
  SendMessageA(mainA, WM_COMMAND, IDM_EDIT_SELECT_ALL, 0);
  // Now and then, right after another program's copy (the test before),
  // Wine's bridge to the X clipboard puts that program's text back over
  // this one: up to three copies, each given two seconds to be seen.
  const std::string plain("one two\r\nthree\r\nfour\r\nfive");
  for (int attempt = 0; attempt < 3; attempt++) {
    EXPECT_EQ(SendMessageA(mainA, WM_COMMAND, IDM_EDIT_COPY, 0), 0);
    if (PumpUntil([&] { return plainText() == plain; }, 2000)) break;
  }
  EXPECT_EQ(plainText(), plain);
  EXPECT_TRUE(exactText() == text);

  {
    Program pb(Exe() + " /ns /i \"" + ini + "\" /v \"" + b + "\"");
    HWND mainB = MainOf(pb);
    ASSERT_NE(mainB, nullptr);
    // Mixed newlines are saved as stored.
    SendMessageA(mainB, WM_COMMAND, IDM_NEWLINES_MIXED, 0);
    SendMessageA(mainB, WM_COMMAND, 13311, 0);
    EXPECT_TRUE(ReadBytes(b) == text) << "pasted by /v and saved: " << ReadBytes(b).size();
    CloseAndExpectExitZero(pb, mainB);
  }

  // Cut Append twice: both texts, older first, in both formats.
  SendMessageA(editorA, EM_SETSEL, 0, 3);
  SendMessageA(mainA, WM_COMMAND, IDM_EDIT_CUT_APPEND, 0);
  SendMessageA(editorA, EM_SETSEL, 1, 4);
  SendMessageA(mainA, WM_COMMAND, IDM_EDIT_CUT_APPEND, 0);
  EXPECT_TRUE(exactText() == text + "one" + std::string("two", 3)) << exactText();
  EXPECT_EQ(plainText().substr(plainText().size() - 6), "onetwo");

  // Swap with an empty clipboard: nothing deleted, the selection copied.
  ASSERT_TRUE(OpenClipboardWhenFree());
  EmptyClipboard();
  CloseClipboard();
  SendMessageA(editorA, EM_SETSEL, 2, 7);
  SendMessageA(mainA, WM_COMMAND, IDM_EDIT_SWAP, 0);
  EXPECT_TRUE(exactText() == std::string("three", 5));
  // Another program's plain text pasted in place of it.
  ASSERT_TRUE(OpenClipboardWhenFree());
  EmptyClipboard();
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 6);
  memcpy(GlobalLock(h), "x\r\ny\0", 6);
  GlobalUnlock(h);
  SetClipboardData(CF_TEXT, h);
  CloseClipboard();
  SendMessageA(mainA, WM_COMMAND, IDM_EDIT_PASTE, 0);
  SendMessageA(mainA, WM_COMMAND, 13311, 0);
  EXPECT_TRUE(ReadBytes(a) == std::string("\0\rx\r\ny\nfour\r\nfive", 17)) << ReadBytes(a).size();
  CloseAndExpectExitZero(pa, mainA);
}

}  // namespace

namespace {

// Real input from another program: qpdrive double-clicks a word and presses
// Ctrl+C; the clipboard holds that word.
TEST(ExeClipboard, DoubleClickAWordAndCtrlC) {
  TempFolder dir;
  const std::string ini = dir.File("QuilPad.ini"), a = dir.File("a.txt");
  ASSERT_TRUE(WriteBytes(ini, kBom));
  ASSERT_TRUE(WriteBytes(a, "doubleclicked words\r\nsecond line\r\n"));
  Program p(Exe() + " /ns /i \"" + ini + "\" \"" + a + "\"");
  HWND main = MainOf(p);
  ASSERT_NE(main, nullptr);
  HWND editor = GetDlgItem(main, 1020);
  ASSERT_TRUE(OpenClipboardWhenFree());
  EmptyClipboard();
  CloseClipboard();
  SetForegroundWindow(main);
  PumpUntil([&] { return GetForegroundWindow() == main; }, 2000);
  // A point well inside the first word of the first row.
  POINT at = {24, 6};
  ClientToScreen(editor, &at);
  auto drive = [](const std::string &args) {
    Program d("\"" + ExeDir() + "qpdrive.exe\" " + args);
    return d.WaitExit(kWait);
  };
  // (With no selection Copy copies nothing: the word is there only if the
  // two clicks made one double-click.) On a loaded machine the system has
  // been seen to count more clicks than were sent: up to three attempts,
  // each after a pause and a single click on the second line.
  std::string copied;
  for (int attempt = 0; attempt < 3 && copied != "doubleclicked"; attempt++) {
    if (attempt) {
      Sleep(1000);
      POINT other = {24, 6 + 2 * 16};
      ClientToScreen(editor, &other);
      ASSERT_EQ(drive("click " + std::to_string(other.x) + " " + std::to_string(other.y) + " 1"), 0u);
      Sleep(1000);
      printf("(double-click attempt %d: the one before copied \"%s\")\n", attempt + 1, copied.c_str());
    }
    ASSERT_TRUE(OpenClipboardWhenFree());
    EmptyClipboard();
    CloseClipboard();
    copied.clear();
    ASSERT_EQ(drive("click " + std::to_string(at.x) + " " + std::to_string(at.y) + " 2"), 0u);
    ASSERT_EQ(drive("ctrl C"), 0u);
    PumpUntil(
        [&] {
          if (!OpenClipboardWhenFree()) return false;
          if (HANDLE h = GetClipboardData(CF_TEXT)) {
            const char *text = static_cast<const char *>(GlobalLock(h));
            if (text) copied = text;
            GlobalUnlock(h);
          }
          CloseClipboard();
          return !copied.empty();
        },
        kWait);
  }
  EXPECT_EQ(copied, "doubleclicked");
  CloseAndExpectExitZero(p, main);
}

}  // namespace

namespace {

// Answers another program's Open dialog with a path: the name goes into the
// dialog's file name box, then OK.
bool AnswerOpenDialog(DWORD pid, const std::string &path) {
  HWND dialog = WaitForWindow(pid, "#32770", kWait);
  if (!dialog) return false;
  HWND box = nullptr;
  for (int id : {1148, 1152})
    if (!box) box = GetDlgItem(dialog, id);
  if (!box) return false;
  SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  return PumpUntil([&] { return !IsWindow(dialog); }, kWait);
}

std::string EditorText(HWND main) {
  char text[256] = {};
  SendMessageA(GetDlgItem(main, 1020), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

// Two programs on one INI file open files at interleaved times, each adds a
// favourite and stores clip 2; A exits, then B, answering the clip conflict
// in its real message box (Yes, then No). A third start finds the recent
// files merged by time, both favourites and clip 2 as answered.
TEST(ExeLists, TwoProgramsShareRecentFilesFavouritesAndClips) {
  // The INI file answering Yes, then No; then the registry (no file beside
  // the program, in the user's folder or in the working folder).
  const char *const kKey = "Software\\Orvendel\\QuilPad5";
  for (int run = 0; run < 3; run++) {
    const int answer = run == 1 ? IDNO : IDYES;
    const bool registry = run == 2;
    TempFolder dir;
    const std::string ini = dir.File("QuilPad.ini");
    if (!registry) ASSERT_TRUE(WriteBytes(ini, kBom));
    RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
    std::vector<std::string> files;
    for (const char *name : {"a1", "b1", "a2", "b2"}) {
      files.push_back(dir.File(std::string(name) + ".txt"));
      ASSERT_TRUE(WriteBytes(files.back(), std::string("text of ") + name));
    }
    const std::string start = registry ? Exe() : Exe() + " /i \"" + ini + "\"";
    // One time stamp is 0.84 s: the opens lie more than one apart.
    const DWORD kApart = 1000;
    Program a(start + " \"" + files[0] + "\"", dir.path());
    HWND mainA = MainOf(a);
    ASSERT_NE(mainA, nullptr);
    Sleep(kApart);
    Program b(start + " \"" + files[1] + "\"", dir.path());
    HWND mainB = MainOf(b);
    ASSERT_NE(mainB, nullptr);
    Sleep(kApart);
    PostMessageA(mainA, WM_COMMAND, IDM_FILE_OPEN, 0);
    ASSERT_TRUE(AnswerOpenDialog(a.pid(), files[2]));
    Sleep(kApart);
    PostMessageA(mainB, WM_COMMAND, IDM_FILE_OPEN, 0);
    ASSERT_TRUE(AnswerOpenDialog(b.pid(), files[3]));
    ASSERT_TRUE(PumpUntil([&] { return EditorText(mainA) == "text of a2" && EditorText(mainB) == "text of b2"; },
                          kWait));
    for (HWND main : {mainA, mainB}) {
      EXPECT_EQ(SendMessageA(main, WM_COMMAND, IDM_FAVOURITES_ADD, 0), 0);
      SendMessageA(main, WM_COMMAND, IDM_EDIT_SELECT_ALL, 0);
      EXPECT_EQ(SendMessageA(main, WM_COMMAND, IDM_CLIP_STORE + 1, 0), 0);
    }
    CloseAndExpectExitZero(a, mainA);
    PostMessageA(mainB, WM_CLOSE, 0, 0);
    HWND box = WaitForWindow(b.pid(), "#32770", kWait);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box),
              "Text stored in Clip 2 conflicts with text recently changed in Config by another session. Do you want to "
              "overwrite the one in the Config?\n\nClick Yes to save the new text from this session.\nClick No to "
              "keep the text already in the Config.");
    PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
    EXPECT_EQ(b.WaitExit(kWait), 0u);

    // The third start: Recent Files 0-3 are b2, a2, b1, a1; the favourites
    // b2 and a2 (B saved last: its list, then what it lacked of A's); clip 2
    // as answered.
    HKEY saved = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kKey) + "\\Clips").c_str(), 0, KEY_READ, &saved) ==
                  ERROR_SUCCESS,
              registry);
    if (saved) RegCloseKey(saved);
    if (registry) EXPECT_EQ(GetFileAttributesA(ini.c_str()), INVALID_FILE_ATTRIBUTES) << "saved to a file";
    Program c(start, dir.path());
    HWND mainC = MainOf(c);
    ASSERT_NE(mainC, nullptr);
    for (int k = 0; k < 4; k++) {
      EXPECT_EQ(SendMessageA(mainC, WM_COMMAND, IDM_RECENT_FIRST + 9 - k, 0), 0);
      EXPECT_EQ(EditorText(mainC), "text of " + std::string(k % 2 ? "a" : "b") + (k < 2 ? "2" : "1")) << k;
    }
    for (int k = 0; k < 2; k++) {
      EXPECT_EQ(SendMessageA(mainC, WM_COMMAND, IDM_FAVOURITE_FIRST + k, 0), 0);
      EXPECT_EQ(EditorText(mainC), std::string("text of ") + (k ? "a2" : "b2")) << k;
    }
    SendMessageA(mainC, WM_COMMAND, IDM_EDIT_SELECT_ALL, 0);
    EXPECT_EQ(SendMessageA(mainC, WM_COMMAND, IDM_CLIP_INSERT + 1, 0), 0);
    EXPECT_EQ(EditorText(mainC), answer == IDYES ? "text of b2" : "text of a2");
    SendMessageA(mainC, WM_COMMAND, IDM_EDIT_UNDO, 0);
    CloseAndExpectExitZero(c, mainC);
    RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
  }
}

}  // namespace

namespace {

// UTF-8 of ANSI (code page 1252) text.
std::string Utf8Of(const std::string &ansi) {
  std::wstring wide(ansi.size(), L'\0');
  wide.resize(static_cast<size_t>(
      MultiByteToWideChar(1252, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], static_cast<int>(ansi.size()))));
  std::string out(wide.size() * 3, '\0');
  out.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0],
                                                     static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

std::string FullText(HWND main) {
  HWND editor = GetDlgItem(main, 1020);
  const LRESULT n = SendMessageA(editor, WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<size_t>(n) + 1, '\0');
  SendMessageA(editor, WM_GETTEXT, static_cast<WPARAM>(n + 1), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(n));
  return text;
}

// The one file named *.$ in a folder, or "".
std::string RecoveryIn(const std::string &folder) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "*.$").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return "";
  FindClose(h);
  return folder + found.cFileName;
}

// A killed program's text comes back. The program edits a 2 MiB UTF-8 file,
// auto-saves every second and is killed; the next start offers the recovery
// file (Yes, No, Cancel), or finds the file itself saved (ASOrig), or the
// untitled text in the temporary folder.
TEST(ExeRecovery, AKilledProgramsTextComesBack) {
  enum Mode { kBeside, kTemp, kOriginal, kUntitled };
  const struct {
    const char *name;
    Mode mode;
    int answer;
  } kCases[] = {{"yes", kBeside, IDYES},   {"no", kBeside, IDNO},         {"cancel", kBeside, IDCANCEL},
                {"temp", kTemp, IDYES},    {"original", kOriginal, 0},   {"untitled", kUntitled, 0}};
  std::string line = "Z\xFCrich caf\xE9 na\xEFve \xE0 la carte, ";
  std::string original;
  while (original.size() < (2u << 20)) original += line + std::to_string(original.size()) + "\r\n";
  // (Wine carries at most about a megabyte of text in a message between
  // processes: the edit sent is smaller.)
  const std::string edited = "Q" + original.substr(0, 700000) + "\xA9 edited\r\n";
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    const std::string ini = dir.File("QuilPad.ini"), file = dir.File("F.txt"), temp = dir.File("tmp\\");
    std::string tmpPath;  // backslashes are escaped in the file
    for (char ch : dir.File("tmp")) tmpPath += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
    std::string settings = "[Setts]\nASTime=1\nTmpPath=" + tmpPath + "\n";
    if (c.mode == kTemp) settings += "ASTemp=1\n";
    if (c.mode == kOriginal) settings += "ASOrig=1\n";
    ASSERT_TRUE(WriteBytes(ini, kBom + settings));
    const std::string bytes = kBom + Utf8Of(original), editedBytes = kBom + Utf8Of(edited);
    ASSERT_TRUE(WriteBytes(file, bytes));
    const std::string start = Exe() + " /ns /i \"" + ini + "\"";
    std::string recovery = c.mode == kBeside ? file + ".$" : "";
    {
      Program p(start + (c.mode == kUntitled ? std::string() : " \"" + file + "\""));
      HWND main = MainOf(p);
      ASSERT_NE(main, nullptr);
      HWND editor = GetDlgItem(main, 1020);
      SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(edited.c_str() + 1));
      SendMessageA(editor, EM_SETSEL, 0, 0);
      SendMessageA(editor, WM_CHAR, 'Q', 1);
      // Until the auto-save holds the whole edited text.
      const std::string want = c.mode == kUntitled ? edited : editedBytes;
      EXPECT_TRUE(PumpUntil(
          [&] {
            const std::string where = c.mode == kOriginal ? file : recovery.empty() ? RecoveryIn(temp) : recovery;
            if (where.empty() || ReadBytes(where) != want) return false;
            recovery = c.mode == kOriginal ? "" : where;
            return true;
          },
          kWait));
      if (c.mode == kBeside) EXPECT_TRUE(GetFileAttributesA(recovery.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    }  // killed here
    if (c.mode == kUntitled) {
      EXPECT_NE(recovery.find("Q"), std::string::npos) << "named from its first line: " << recovery;
      continue;
    }
    EXPECT_EQ(ReadBytes(file) == bytes, c.mode != kOriginal) << "the file itself is written only with ASOrig";
    Program p(start + " \"" + file + "\"");
    if (c.mode != kOriginal) {
      HWND box = WaitForWindow(p.pid(), "#32770", kWait);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(MessageBoxText(box), "An auto-saved copy of file " + file +
                                         " was found. Quillpad may have been closed unexpectedly.\nDo you want to "
                                         "open the auto-saved copy instead?");
      PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(c.answer), 0);
      if (c.answer != IDCANCEL) {
        ASSERT_TRUE(PumpUntil([&] { return !IsWindow(box); }, kWait));
        HWND note = WaitForWindow(p.pid(), "#32770", kWait);
        ASSERT_NE(note, nullptr);
        EXPECT_EQ(MessageBoxText(note).substr(0, 22), c.answer == IDYES ? "The auto-saved copy ha" : "The auto-saved copy wa");
        PostMessageA(note, WM_COMMAND, IDOK, 0);
      }
    }
    if (c.answer == IDCANCEL) {
      // Cancelled at start-up, the load failed: the program closes.
      EXPECT_EQ(p.WaitExit(kWait), 0u);
      EXPECT_NE(GetFileAttributesA(recovery.c_str()), INVALID_FILE_ATTRIBUTES) << "the recovery file stays";
      continue;
    }
    HWND main = MainOf(p);
    ASSERT_NE(main, nullptr);
    const bool back = c.answer == IDYES || c.mode == kOriginal;
    EXPECT_TRUE(PumpUntil([&] { return FullText(main) == (back ? edited : original); }, kWait));
    EXPECT_EQ(WindowText(main), back && c.mode != kOriginal ? "*F.txt - Quillpad" : "F.txt - Quillpad");
    if (c.answer == IDYES) {
      EXPECT_EQ(SendMessageA(main, WM_COMMAND, IDM_FILE_SAVE, 0), 0);
      EXPECT_EQ(ReadBytes(file), editedBytes);
      EXPECT_EQ(GetFileAttributesA(recovery.c_str()), INVALID_FILE_ATTRIBUTES) << "saving deletes the recovery file";
    } else if (!recovery.empty()) {
      EXPECT_NE(GetFileAttributesA(recovery.c_str()), INVALID_FILE_ATTRIBUTES) << "declined, it stays";
    }
    SendMessageA(GetDlgItem(main, 1020), EM_SETMODIFY, 0, 0);
    CloseAndExpectExitZero(p, main);
  }
}

}  // namespace

namespace {

// Twenty kills at random moments while 32 MiB auto-saves run: the recovery
// file is always one whole version of the text, never a torn one.
TEST(ExeRecovery, KillsDuringAutoSavesLeaveAWholeVersion) {
  TempFolder dir;
  const std::string ini = dir.File("QuilPad.ini"), file = dir.File("big.txt"), recovery = file + ".$";
  ASSERT_TRUE(WriteBytes(ini, kBom + "[Setts]\nASTime=1\nLimit=0\n"));
  std::string original;
  original.reserve(32u << 20);
  for (int i = 0; original.size() < (32u << 20); i++) original += "line " + std::to_string(i) + " of the big text\r\n";
  ASSERT_TRUE(WriteBytes(file, original));
  std::mt19937 rng(3);
  std::string typed;
  int written = 0;
  for (int round = 0; round < 20; round++) {
    {
      Program p(Exe() + " /ns /i \"" + ini + "\" \"" + file + "\"");
      if (GetFileAttributesA(recovery.c_str()) != INVALID_FILE_ATTRIBUTES) {
        // Declined: the file itself; the recovery file stays until overwritten.
        for (int answer : {IDNO, IDOK}) {
          HWND box = WaitForWindow(p.pid(), "#32770", kWait);
          ASSERT_NE(box, nullptr) << round;
          PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
          PumpUntil([&] { return !IsWindow(box); }, kWait);
        }
      }
      HWND main = MainOf(p);
      ASSERT_NE(main, nullptr) << round;
      const char mark = static_cast<char>('A' + round);
      typed += mark;
      HWND editor = GetDlgItem(main, 1020);
      const UINT kRawLength = 0x0E22;  // the editor's raw length request
      ASSERT_TRUE(PumpUntil([&] { return SendMessageA(editor, kRawLength, 0, 0) == LRESULT(original.size()); }, kWait));
      SendMessageA(editor, EM_SETSEL, 0, 0);
      SendMessageA(editor, WM_CHAR, static_cast<WPARAM>(mark), 1);
      Sleep(600 + rng() % 1400);
    }  // killed here, perhaps in the middle of writing
    if (GetFileAttributesA(recovery.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    const std::string kept = ReadBytes(recovery);
    ASSERT_EQ(kept.size(), original.size() + 1) << round;
    EXPECT_NE(typed.find(kept[0]), std::string::npos) << round;
    EXPECT_TRUE(kept.compare(1, std::string::npos, original) == 0) << "a torn recovery file after kill " << round;
    written++;
  }
  EXPECT_GE(written, 5) << "the rounds lived long enough to auto-save";
}

}  // namespace
