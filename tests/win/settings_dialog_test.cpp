// The Settings dialog (401) driven by messages: every bound control against
// a table of its own (control, field, what is typed and what must come of
// it) through OK, an INI file, the registry and a reopened dialog; the page
// protocol by the editor's pixels (Cancel, OK, Import, Restore defaults);
// Save checked with failing writes; Export and Import; /ns; the Favourites
// page; and the layout of every page. With QP_SHOTS set, every page is
// saved as a picture.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/common_dialogs.h"
#include "app/main_window.h"
#include "app/settings_dialog.h"
#include "config/config_io.h"
#include "config/config_lists.h"
#include "config/config_state.h"
#include "config/config_store.h"
#include "editor/editor_messages.h"
#include "foundation/bytes.h"
#include "foundation/fault.h"
#include "foundation/numbers.h"
#include "foundation/platform.h"
#include "resources/resource.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"
#include "tests/win/editor_harness.h"
#include "tests/win/gui_helpers.h"

namespace {

// ---- the controls and what they stand for, written down from the page
// descriptions (not taken from the program's tables) ----

enum Kind { kCheck, kKeep, kRadio, kNumber, kText, kBitOff, kCopyLevel, kCtrlLevel, kColour, kFont };
using IntField = i32 &(*)(SettingsBlock &);
using TextField = char *(*)(SettingsBlock &);
#define I(path) [](SettingsBlock &s) -> i32 & { return s.path; }, nullptr
#define T(path) nullptr, [](SettingsBlock &s) -> char * { return s.path; }
#define C(path) [](SettingsBlock &s) -> i32 & { return reinterpret_cast<i32 &>(s.path); }, nullptr

struct Row {
  int page, control;
  Kind kind;
  int arg;  // radio: the button chosen; text: the most characters kept; bit: the bit
  IntField field;
  TextField text;
  const char *typed = nullptr;  // numbers
  i32 stored = 0;               // numbers: the value that must come of it
  const char *shown = nullptr;  // numbers: what the box shows when opened again
};

const Row kRows[] = {
    {410, 7111, kCheck, 0, I(main.Esc)}, {410, 7112, kCheck, 0, I(main.AskEsc)},
    {410, 7113, kCheck, 0, I(main.DNoSave)}, {410, 7114, kCheck, 0, I(main.FulPath)},
    {410, 7115, kCheck, 0, I(lists.update.Auto)}, {410, 7121, kCheck, 0, I(main.SBNoAsc)},
    {410, 7122, kCheck, 0, I(main.SBNoSav)}, {410, 7131, kCheck, 0, I(edit.SWord)},
    {410, 7132, kCheck, 0, I(edit._word)}, {410, 7141, kText, 31, T(main.TDTGlue)},
    {410, 7142, kCheck, 0, I(main.TDTSecs)}, {410, 7151, kCheck, 0, I(main.LOGDate)},
    {420, 7211, kNumber, 0, I(edit.Tab), "13", 13, "13"}, {420, 7212, kNumber, 0, I(edit.LMargin), " +21", 21, "21"},
    {420, 7213, kCheck, 0, I(edit.CurrLn)}, {420, 7221, kCheck, 0, I(edit.NoHome)},
    {420, 7222, kCheck, 0, I(edit.NoOver)}, {420, 7223, kCheck, 0, I(edit.BoldOvr)},
    {420, 7224, kCheck, 0, I(edit.NoMUndo)}, {420, 7225, kCheck, 0, I(edit.RedUndo)},
    {420, 7226, kCheck, 0, I(edit.InsCtrl)}, {420, 7231, kBitOff, 0, I(edit.NoMClks)},
    {420, 7232, kBitOff, 1, I(edit.NoMClks)}, {420, 7233, kBitOff, 2, I(edit.NoMClks)},
    {420, 7234, kBitOff, 3, I(edit.NoMClks)}, {420, 7235, kBitOff, 4, I(edit.NoMClks)},
    {420, 7241, kCheck, 0, I(edit.CWICase)}, {420, 7242, kCheck, 0, I(edit.CWLong)},
    {420, 7243, kCheck, 0, I(edit.CWSort)}, {420, 7251, kCheck, 0, I(edit.Indent)},
    {420, 7252, kCheck, 0, I(edit.AutoTab)}, {420, 7253, kCheck, 0, I(edit.NoTabs)},
    {420, 7261, kNumber, 0, I(edit.KeepY), "-7", -7, "-7"}, {420, 7262, kNumber, 0, I(edit.KeepX), "9", 9, "9"},
    {420, 7271, kNumber, 0, I(edit.HiSelLn), "0", 1, "1"}, {420, 7272, kCheck, 0, I(edit.HiSelMC)},
    {424, 7411, kColour, 0, C(edit.CLTText)}, {424, 7412, kColour, 0, C(edit.CLTBack)},
    {424, 7413, kColour, 0, C(edit.CLTSpc)}, {424, 7414, kColour, 0, C(edit.CLTClrz)},
    {424, 7415, kColour, 0, C(edit.CLTUrl)}, {424, 7417, kColour, 0, C(edit.CLTCurr)},
    {424, 7421, kColour, 0, C(edit.CLSText)}, {424, 7422, kColour, 0, C(edit.CLSBack)},
    {424, 7423, kColour, 0, C(edit.CLHiSel)}, {424, 7431, kColour, 0, C(edit.CLGText)},
    {424, 7432, kColour, 0, C(edit.CLGBack)}, {424, 7433, kColour, 0, C(edit.CLGBord)},
    {424, 7436, kColour, 0, C(edit.CLRWrap)}, {424, 7441, kColour, 0, C(edit.CLHiF1)},
    {424, 7442, kColour, 0, C(edit.CLHiF2)}, {424, 7491, kFont, 0, C(edit.LF1_.height)},
    {424, 7492, kFont, 0, C(edit.LF2_.height)}, {424, 7493, kFont, 0, C(edit.LFP_.height)},
    {460, 7711, kRadio, 3, I(file.Encode)}, {460, 7719, kCheck, 0, I(file.BOM)},
    {460, 7721, kRadio, 2, I(file.CRLF)}, {460, 7731, kText, 31, T(file.Suffix)},
    {460, 7733, kText, 260, T(file.DefPath)}, {460, 7734, kText, 1022, T(file.FFilter)},
    {460, 7732, kCheck, 0, I(file.GTitle)}, {461, 7811, kText, 260, T(file.Templ)},
    {461, 7821, kNumber, 0, I(file.Limit), "2047", 2047 * 1048576, "2047"},
    {461, 7822, kCheck, 0, I(file.OnlyOne)}, {461, 7823, kCheck, 0, I(file.Watch)},
    {461, 7824, kCheck, 0, I(file.ARevert)}, {461, 7825, kCheck, 0, I(file.WarnBin)},
    {461, 7826, kCheck, 0, I(file.AutoUni)}, {461, 7831, kCheck, 0, I(file.BAK)},
    {461, 7832, kCheck, 0, I(file.BAKKeep)}, {461, 7833, kCheck, 0, I(file.BAKTemp)},
    {461, 7834, kCheck, 0, I(file.BAKHid)}, {461, 7835, kCheck, 0, I(file.BAKDel)},
    {461, 7841, kCheck, 0, I(file.AS)}, {461, 7846, kNumber, 0, I(file.ASTime), "1000000000", 131072, "131072"},
    {461, 7842, kCheck, 0, I(file.ASOrig)}, {461, 7843, kCheck, 0, I(file.ASTemp)},
    {461, 7844, kCheck, 0, I(file.ASHid)}, {461, 7845, kCheck, 0, I(file.ASNoNm)},
    {461, 7851, kCheck, 0, I(file.SaveRO)}, {461, 7852, kCheck, 0, I(file.NoMixNl)},
    {461, 7853, kCheck, 0, I(file.SFlush)}, {461, 7854, kCheck, 0, I(file.SStream)},
    {461, 7891, kText, 199, T(file.TmpPath)}, {422, 7310, kRadio, 3, I(edit.CASel)},
    {422, 7321, kCopyLevel, 0, I(edit.AMCopy)}, {422, 7322, kCtrlLevel, 0, I(edit.AMCopy)},
    {422, 7331, kRadio, 1, I(edit.AMPaste)}, {422, 7341, kCheck, 0, I(edit.MiPaste)},
    {440, 7511, kCheck, 0, I(main.FSugg)}, {440, 7512, kCheck, 0, I(main.FSgKEsc)},
    {440, 7521, kCheck, 0, I(main.FRCase)}, {440, 7522, kCheck, 0, I(main.FRWrds)},
    {440, 7523, kCheck, 0, I(main.FRRegEx)}, {440, 7531, kCheck, 0, I(main.FHide)},
    {440, 7532, kCheck, 0, I(main.FHidePlus)}, {440, 7541, kCheck, 0, I(main.FHist)},
    {440, 7542, kCheck, 0, I(main.FHistSL)}, {440, 7551, kCheck, 0, I(main.FNoThrd)},
    {440, 7552, kCheck, 0, I(main.FNlEsc)}, {450, 7611, kCheck, 0, I(main.TPerSel)},
    {450, 7612, kCheck, 0, I(main.TPerScr)}, {450, 7618, kCheck, 0, I(main.TNoThrd)},
    {450, 7620, kRadio, 4, I(main.TASel)}, {450, 7631, kCheck, 0, I(main.TXMLAtr)},
    {450, 7632, kCheck, 0, I(main.TXMLEmp)}, {450, 7651, kCheck, 0, I(main.TSortIC)},
    {450, 7652, kCheck, 0, I(main.TSortSv)}, {450, 7661, kCheck, 0, I(main.TColsSv)},
    {450, 7671, kCheck, 0, I(main.TCmpFnt)}, {450, 7672, kCheck, 0, I(main.TCmpSv)},
    // What is saved must stay saved: these stay as they are.
    {490, 8811, kKeep, 0, I(save.Save)}, {490, 8822, kKeep, 0, I(save.Opts)},
    {490, 8823, kKeep, 0, I(save.MSetts)}, {490, 8824, kKeep, 0, I(save.ESetts)},
    {490, 8825, kKeep, 0, I(save.FSetts)}, {490, 8827, kKeep, 0, I(save.Tools)},
    {490, 8820, kCheck, 0, I(save.Place)}, {490, 8821, kCheck, 0, I(save.Size)},
    {490, 8826, kCheck, 0, I(save.Search)}, {490, 8828, kCheck, 0, I(save.Filters)},
    {490, 8839, kCheck, 0, I(save.Clips)},
};
#undef I
#undef T
#undef C

// The tabs in their order.
const int kPageOrder[] = {410, 420, 424, 460, 461, 422, 440, 450, 470, 480, 490};

int TabOf(int page) {
  for (int i = 0; i < static_cast<int>(sizeof kPageOrder / sizeof kPageOrder[0]); i++)
    if (kPageOrder[i] == page) return i;
  return -1;
}

u32 ColourFor(int control) { return static_cast<u32>(control) * 2654435761u & 0xFFFFFF; }
i32 PointsFor(int control) { return 9 + control % 10; }

// ---- driving ----

struct Modal {
  std::function<void(HWND)> *act;
  HWND except;
};
Modal *g_modal;

BOOL CALLBACK FindModal(HWND hwnd, LPARAM lParam) {
  if (hwnd == g_modal->except || ClassOf(hwnd) != "#32770") return TRUE;
  *reinterpret_cast<HWND *>(lParam) = hwnd;
  return FALSE;
}

void CALLBACK ModalTimer(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = nullptr;
  if (!g_modal || !g_modal->act) return;
  EnumThreadWindows(GetCurrentThreadId(), FindModal, reinterpret_cast<LPARAM>(&dialog));
  if (!dialog) return;
  KillTimer(nullptr, id);
  std::function<void(HWND)> *act = g_modal->act;
  g_modal->act = nullptr;
  (*act)(dialog);
}

// Runs `open`, which shows a modal dialog, and `act` on that dialog (not
// `except`, the one already open); act must end it. Whether act ran.
bool WithModal(const std::function<void()> &open, std::function<void(HWND)> act, HWND except = nullptr) {
  Modal modal = {&act, except}, *outer = g_modal;
  g_modal = &modal;
  UINT_PTR timer = SetTimer(nullptr, 0, 10, ModalTimer);
  open();
  KillTimer(nullptr, timer);
  g_modal = outer;
  return modal.act == nullptr;
}

// Shown among the pages (the frame itself may not be visible yet).
bool Shown(HWND page) { return page && (GetWindowLongA(page, GWL_STYLE) & WS_VISIBLE); }

HWND Page(HWND frame, int page) {
  HWND tabs = GetDlgItem(frame, IDC_SETTINGS_TABS);
  RECT r;
  const int n = TabOf(page);
  if (!SendMessageA(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(&r))) return nullptr;
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  SendMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(tabs, WM_LBUTTONUP, 0, at);
  HWND shown = SettingsPage(page);
  EXPECT_TRUE(Shown(shown)) << page;
  return shown;
}

void Click(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  ASSERT_NE(button, nullptr) << id;
  ASSERT_TRUE(IsWindowEnabled(button)) << id;
  SendMessageA(button, BM_CLICK, 0, 0);
}
bool IsChecked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }
std::string TextOf(HWND page, int id) { return WindowText(GetDlgItem(page, id)); }

// The common dialogs, answered from here.
struct Choosers {
  std::string file;
  u32 colour = 0;
  FontRecord font = {};
  int colours = 0, fonts = 0;
  DialogAnswerer answerer{Path, Path, this, Colour, Font, nullptr};
  const DialogAnswerer *previous;
  Choosers() { previous = InstallDialogAnswerer(&answerer); }
  ~Choosers() { InstallDialogAnswerer(previous); }
  static bool Path(void *c, char *path) {
    StrCopyN(path, static_cast<Choosers *>(c)->file.c_str(), kPathChars);
    return !static_cast<Choosers *>(c)->file.empty();
  }
  static bool Colour(void *c, u32 *colour) {
    *colour = static_cast<Choosers *>(c)->colour;
    static_cast<Choosers *>(c)->colours++;
    return true;
  }
  static bool Font(void *c, FontRecord *record) {
    *record = static_cast<Choosers *>(c)->font;
    static_cast<Choosers *>(c)->fonts++;
    return true;
  }
};

Picture EditorPicture() {
  HWND editor = g_app.editorWindow;
  RECT r;
  GetClientRect(editor, &r);
  return DrawPicture(r.right, r.bottom,
                     [&](HDC dc) { SendMessageA(editor, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT); });
}

class SettingsDialog : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ResetFrameGlobals());
    static int counter;
    registry_ = "Software\\QuillpadTests\\D" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
    SetRegistryRoot(registry_.c_str());
    root_ = RegistryRoot();
    ini_ = dir_.File("QuilPad.ini");
    ASSERT_TRUE(WriteBytes(ini_, "\xEF\xBB\xBF"));
    g_config.noSave = 0;
    StrCopy(g_config.path, ini_.c_str());
    MemCopy(&g_baseline, &g_settings, sizeof g_settings);
    OpenFrame();
  }
  void TearDown() override {
    DestroyFrame();
    SetDefaultSettings(&g_settings, true);
    MemZero(&g_config, sizeof g_config);
    PlatRegDeleteTree(nullptr, registry_.c_str());
    SetRegistryRoot(root_.c_str());
  }
  void OpenFrame() {
    ASSERT_EQ(CreateMainWindow(), 0);
    PumpMessages();
    SetText("a\tb\tc\n\tindented\nhttp://x.y/ and more\n");
  }
  static void SetText(const std::string &text) {
    SendMessageA(g_app.editorWindow, EDM_SETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    PumpMessages();
  }
  // A fresh session on the store (the INI file, or the registry when
  // `path` is empty), its window made anew.
  void FreshSession(const std::string &path) {
    DestroyFrame();
    ASSERT_TRUE(ResetFrameGlobals());
    g_config.noSave = 0;
    StrCopy(g_config.path, path.c_str());
    StrCopy(g_config.configFile, path.c_str());
    // Without a file the current folder's QuilPad.ini, then the registry.
    char folder[MAX_PATH];
    GetCurrentDirectoryA(sizeof folder, folder);
    SetCurrentDirectoryA(empty_.path().c_str());
    LoadConfigFrom(nullptr, nullptr);
    SetCurrentDirectoryA(folder);
    MemCopy(&g_baseline, &g_settings, sizeof g_settings);
    StrCopy(g_config.path, path.c_str());
    OpenFrame();
  }
  bool Settings(int page, const std::function<void(HWND frame)> &act, int command = IDM_OPT_SETTINGS) {
    return WithModal([&] { SendMessageA(g_app.mainWindow, WM_COMMAND, static_cast<WPARAM>(command), 0); }, act);
  }

  TempFolder dir_, empty_;
  std::string ini_, registry_, root_;
};

// ---- every control: set, OK, saved, loaded, shown ----

void SetRow(HWND page, const Row &r, Choosers &choosers) {
  switch (r.kind) {
    case kCheck: case kBitOff: case kCtrlLevel: Click(page, r.control); break;
    case kRadio: Click(page, r.control + r.arg); break;
    case kNumber: SetDlgItemTextA(page, r.control, r.typed); break;
    case kText: SetDlgItemTextA(page, r.control, std::string(2000, static_cast<char>('a' + r.control % 26)).c_str()); break;
    case kColour: choosers.colour = ColourFor(r.control); Click(page, r.control); break;
    case kFont:
      choosers.font = FontRecord{};
      choosers.font.height = PointsFor(r.control);
      StrCopy(choosers.font.faceName, "Tahoma");
      Click(page, r.control);
      break;
    case kKeep: case kCopyLevel: break;
  }
}

void ExpectStored(const Row &r, const SettingsBlock &defaults) {
  SCOPED_TRACE(r.control);
  SettingsBlock &s = g_settings;
  SettingsBlock &d = const_cast<SettingsBlock &>(defaults);
  switch (r.kind) {
    case kCheck: EXPECT_EQ(r.field(s), r.field(d) ? 0 : 1); break;
    case kKeep: EXPECT_EQ(r.field(s), r.field(d)); break;
    case kCopyLevel: break;  // with the Ctrl box
    case kRadio: EXPECT_EQ(r.field(s), r.arg); break;
    case kNumber: EXPECT_EQ(r.field(s), r.stored); break;
    case kText: EXPECT_EQ(std::string(r.text(s)), std::string(r.arg, static_cast<char>('a' + r.control % 26))); break;
    case kBitOff: EXPECT_EQ(r.field(s) & (1 << r.arg), (r.field(d) & (1 << r.arg)) ^ (1 << r.arg)); break;
    case kCtrlLevel: EXPECT_EQ(r.field(s), 1) << "Ctrl off leaves auto-copy on"; break;
    case kColour: EXPECT_EQ(static_cast<u32>(r.field(s)), ColourFor(r.control)); break;
    case kFont:
      EXPECT_EQ(r.field(s), PointsFor(r.control));
      EXPECT_STREQ(reinterpret_cast<FontRecord &>(r.field(s)).faceName, "Tahoma");
      break;
  }
}

void ExpectShown(HWND page, const Row &r) {
  SCOPED_TRACE(r.control);
  SettingsBlock &s = g_settings;
  switch (r.kind) {
    case kCheck: case kKeep: EXPECT_EQ(IsChecked(page, r.control), r.field(s) != 0); break;
    case kCtrlLevel: EXPECT_FALSE(IsChecked(page, r.control)); break;
    case kCopyLevel: EXPECT_TRUE(IsChecked(page, r.control)); break;
    case kBitOff: EXPECT_EQ(IsChecked(page, r.control), (r.field(s) & (1 << r.arg)) == 0); break;
    case kRadio:
      for (int i = 0; i <= r.arg; i++) EXPECT_EQ(IsChecked(page, r.control + i), i == r.arg) << i;
      break;
    case kNumber: EXPECT_EQ(TextOf(page, r.control), r.shown); break;
    case kText: EXPECT_EQ(TextOf(page, r.control), std::string(r.text(s))); break;
    case kColour: case kFont: break;  // the fields are checked
  }
}

void ExpectEveryRowStored(const SettingsBlock &defaults) {
  for (const Row &r : kRows) ExpectStored(r, defaults);
}

TEST_F(SettingsDialog, EveryControlGoesThroughOkTheStoresAndBack) {
  SettingsBlock *defaults = new SettingsBlock;
  SetDefaultSettings(defaults, true);
  Choosers choosers;
  ScriptedAnswerer answers;
  answers.Expect(Text(TXT_AREVERT_WARNING), kAskWarning, kAnswerOk);
  // The template typed (a file that is not there) is read by every new window.
  answers.Allow("Could not read file " + std::string(260, 'a' + 7811 % 26) + "!", kAskWarning, kAnswerOk);
  ASSERT_TRUE(Settings(0, [&](HWND frame) {
    for (const Row &r : kRows) SetRow(Page(frame, r.page), r, choosers);
    Click(frame, IDOK);
  }));
  EXPECT_EQ(choosers.colours, 15);
  EXPECT_EQ(choosers.fonts, 3);
  ExpectEveryRowStored(*defaults);

  // The INI file, then the registry, each read by a fresh session.
  for (const std::string &store : {ini_, std::string()}) {
    SCOPED_TRACE(store.empty() ? "registry" : "INI file");
    if (store.empty()) {
      StrCopy(g_config.path, "");
      MemCopy(&g_baseline, defaults, sizeof *defaults);  // everything changed is written
    }
    ASSERT_EQ(SaveConfig(g_app.mainWindow, g_config.path, false, false), 0);
    FreshSession(store);
    ExpectEveryRowStored(*defaults);
    ASSERT_TRUE(Settings(0, [&](HWND frame) {
      for (const Row &r : kRows) ExpectShown(Page(frame, r.page), r);
      Click(frame, IDCANCEL);
    }));
  }
  delete defaults;
}

// ---- the page protocol by the editor's pixels ----

TEST_F(SettingsDialog, CancelGivesBackThePixelsFromBeforeColoursAndFonts) {
  const Picture before = EditorPicture();
  Choosers choosers;
  ASSERT_TRUE(Settings(0, [&](HWND frame) {
    HWND page = Page(frame, 424);
    choosers.colour = RGB(20, 40, 60);
    Click(page, 7412);
    choosers.colour = RGB(250, 250, 0);
    Click(page, 7411);
    choosers.font.height = 20;
    StrCopy(choosers.font.faceName, "Arial");
    Click(page, 7491);
    EXPECT_NE(EditorPicture().pixels, before.pixels) << "in effect at once";
    Click(frame, IDCANCEL);
  }));
  EXPECT_EQ(g_settings.edit.LF1_.height, 10);
  EXPECT_STREQ(g_settings.edit.LF1_.faceName, "Courier New");
  EXPECT_EQ(EditorPicture().pixels, before.pixels);
}

TEST_F(SettingsDialog, OkGivesThePixelsOfAWindowMadeFromTheSavedFile) {
  const Picture before = EditorPicture();
  Choosers choosers;
  ASSERT_TRUE(Settings(0, [&](HWND frame) {
    HWND look = Page(frame, 424);
    choosers.colour = RGB(0, 0, 90);
    Click(look, 7412);
    choosers.colour = RGB(255, 255, 255);
    Click(look, 7411);
    choosers.font.height = 14;
    StrCopy(choosers.font.faceName, "Arial");
    Click(look, 7491);
    HWND edit = Page(frame, 420);
    SetDlgItemTextA(edit, 7211, "3");
    SetDlgItemTextA(edit, 7212, "30");
    Click(frame, IDOK);
  }));
  const Picture after = EditorPicture();
  EXPECT_NE(after.pixels, before.pixels);
  ASSERT_EQ(SaveConfig(g_app.mainWindow, g_config.path, false, false), 0);
  FreshSession(ini_);
  EXPECT_EQ(g_settings.edit.Tab, 3);
  const Picture fresh = EditorPicture();
  ASSERT_EQ(fresh.width, after.width);
  EXPECT_EQ(fresh.pixels, after.pixels);
}

TEST_F(SettingsDialog, ImportAndRestoreDefaultsCloseWithTheirSettingsInEffect) {
  const Picture defaults = EditorPicture();
  const std::string other = dir_.File("other.ini");
  g_settings.edit.Tab = 5;
  g_settings.edit.CLTBack = RGB(0, 80, 0);
  g_settings.edit.LF1_.height = 16;
  StrCopy(g_settings.lists.favourites[0], "C:\\kept");
  ASSERT_EQ(SaveConfig(nullptr, other.c_str(), false, true), 0);
  SetDefaultSettings(&g_settings, true);
  ApplyLiveSettings();
  EXPECT_EQ(EditorPicture().pixels, defaults.pixels);

  Choosers choosers;
  choosers.file = other;
  {
    ScriptedAnswerer answers;
    answers.Expect("Settings imported!", kAskInfo, kAnswerOk);
    ASSERT_TRUE(Settings(0, [&](HWND frame) { Click(Page(frame, 490), IDC_ST_IMPORT); }));
  }
  EXPECT_EQ(SettingsFrame(), nullptr) << "Import closes the dialog";
  EXPECT_EQ(g_settings.edit.Tab, 5);
  const Picture imported = EditorPicture();
  EXPECT_NE(imported.pixels, defaults.pixels);
  FreshSession(other);
  EXPECT_EQ(EditorPicture().pixels, imported.pixels);

  {
    ScriptedAnswerer answers;
    answers.Expect("Are you sure?", kAskYesNo, kAnswerYes).Expect("Settings saved!", kAskInfo, kAnswerOk);
    ASSERT_TRUE(Settings(0, [&](HWND frame) { Click(Page(frame, 490), IDC_ST_RESTORE); }));
  }
  EXPECT_EQ(SettingsFrame(), nullptr);
  EXPECT_EQ(g_settings.edit.Tab, 8);
  EXPECT_STREQ(g_settings.lists.favourites[0], "C:\\kept") << "the lists stay";
  EXPECT_EQ(EditorPicture().pixels, defaults.pixels);
  const std::string stored = ReadBytes(other);
  EXPECT_EQ(stored.find("Tab="), std::string::npos) << stored;
  EXPECT_EQ(stored.find("[Setts]"), std::string::npos) << stored;
  EXPECT_NE(stored.find("C:\\\\kept"), std::string::npos) << stored;
  FreshSession(other);
  EXPECT_EQ(EditorPicture().pixels, defaults.pixels);
}

// ---- the actions of the Settings page ----

TEST_F(SettingsDialog, SaveCheckedReportsEachFailedWriteOnceAndSavesTheChangeNextTime) {
  const FaultKind kinds[] = {kFaultWrite, kFaultFlush, kFaultRename};
  for (int kindIndex = 0; kindIndex < 3; kindIndex++) {
    const FaultKind kind = kinds[kindIndex];
    for (u32 k = 1; k < 40; k++) {
      SCOPED_TRACE(testing::Message() << "fault " << kind << " at call " << k);
      const std::string before = ReadBytes(ini_);
      const std::string tab = std::to_string(2 + k + 100 * kindIndex);
      bool fired = false;
      ScriptedAnswerer answers;
      answers.Allow("Error!", kAskWarning, kAnswerOk).Allow("Settings saved!", kAskInfo, kAnswerOk);
      ASSERT_TRUE(Settings(0, [&](HWND frame) {
        SetDlgItemTextA(Page(frame, 420), IDC_ST_TAB, tab.c_str());
        HWND page = Page(frame, 490);
        FaultInjector fi;
        FaultReset(&fi);
        FaultPlan(&fi, kind, k, false);
        {
          ScopedFaultInjector scoped(&fi);
          Click(page, IDC_ST_SAVE_NOW);
        }
        fired = fi.fired[kind] > 0;
        if (fired) {
          ASSERT_EQ(answers.asked().size(), 1u);
          EXPECT_EQ(answers.asked()[0].text, "Error!");
          EXPECT_EQ(ReadBytes(ini_), before) << "the store stays as it was";
          EXPECT_EQ(SettingsFrame(), frame) << "the dialog stays open";
          Click(page, IDC_ST_SAVE_NOW);
        }
        ASSERT_FALSE(answers.asked().empty());
        EXPECT_EQ(answers.asked().back().text, "Settings saved!");
        Click(frame, IDOK);
      }));
      EXPECT_NE(ReadBytes(ini_).find("Tab=" + tab + "\n"), std::string::npos);
      if (!fired) break;
    }
  }
}

TEST_F(SettingsDialog, ExportThenImportIntoAFreshSessionGivesTheSameSettings) {
  g_settings.save.Place = g_settings.save.Size = 1;
  g_settings.edit.Tab = 6;
  g_settings.edit.NoMClks = 5;
  g_settings.edit.CLHiF2 = RGB(1, 2, 3);
  StrCopy(g_settings.edit.LF2_.faceName, "Tahoma");
  StrCopy(g_settings.main.TDTGlue, " at ");
  StrCopy(g_settings.tools.CtMask, "%2|%1");
  g_settings.file.Limit = 0;
  Choosers choosers;
  choosers.file = dir_.File("exported.ini");
  {
    ScriptedAnswerer answers;
    answers.Expect("Settings saved!", kAskInfo, kAnswerOk);
    ASSERT_TRUE(Settings(0, [&](HWND frame) {
      Click(Page(frame, 490), IDC_ST_EXPORT);
      Click(frame, IDOK);
    }));
  }
  const size_t firstPart = offsetof(SettingsBlock, lists);
  std::vector<char> exported(firstPart);
  MemCopy(exported.data(), &g_settings, firstPart);
  FreshSession(ini_);
  SetDefaultSettings(&g_settings, true);
  {
    ScriptedAnswerer answers;
    answers.Expect("Settings imported!", kAskInfo, kAnswerOk);
    ASSERT_TRUE(Settings(0, [&](HWND frame) { Click(Page(frame, 490), IDC_ST_IMPORT); }));
  }
  EXPECT_EQ(g_settings.edit.Tab, 6);
  EXPECT_EQ(MemCompare(exported.data(), &g_settings, firstPart), 0u) << "bytes from the first difference to the end";

  // A target that cannot be written: "Error!", nothing made.
  choosers.file = dir_.File("no such folder\\x.ini");
  ScriptedAnswerer answers;
  answers.Expect("Error!", kAskWarning, kAnswerOk);
  ASSERT_TRUE(Settings(0, [&](HWND frame) {
    Click(Page(frame, 490), IDC_ST_EXPORT);
    EXPECT_EQ(SettingsFrame(), frame);
    Click(frame, IDCANCEL);
  }));
}

TEST_F(SettingsDialog, WithoutSavingTheSettingsPageGreysSavingAndRestoreWritesNothing) {
  ASSERT_TRUE(Settings(0, [&](HWND frame) {
    HWND page = Page(frame, 490);
    EXPECT_EQ(TextOf(page, IDC_ST_CONFIG_PATH), ini_);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_ST_PLACE)));
    Click(page, IDC_ST_SAVE);
    for (int id : {8820, 8821, 8822, 8823, 8824, 8825, 8826, 8827, 8828, 8839})
      EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, id))) << id;
    Click(frame, IDCANCEL);
  }));
  EXPECT_EQ(g_settings.save.Save, 1) << "cancelled";

  g_config.noSave = 1;
  g_settings.edit.Tab = 4;
  const std::string before = ReadBytes(ini_);
  ScriptedAnswerer answers;
  answers.Expect("Are you sure?", kAskYesNo, kAnswerYes);
  ASSERT_TRUE(Settings(0, [&](HWND frame) {
    HWND page = Page(frame, 490);
    for (int id : {8811, 8850, 8820, 8821, 8822, 8823, 8824, 8825, 8826, 8827, 8828, 8839})
      EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, id))) << id;
    for (int id : {8860, 8870, 8880}) EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, id))) << id;
    Click(page, IDC_ST_RESTORE);
  }));
  EXPECT_EQ(SettingsFrame(), nullptr);
  EXPECT_EQ(g_settings.edit.Tab, 8) << "the defaults are in the live settings";
  EXPECT_EQ(ReadBytes(ini_), before) << "and nowhere else";
}

// ---- Favourites ----

std::vector<std::string> Listed(HWND page) {
  HWND list = GetDlgItem(page, IDC_FAV_LIST);
  std::vector<std::string> items;
  for (int i = 0; i < SendMessageA(list, LB_GETCOUNT, 0, 0); i++) {
    char text[kPathChars] = {};
    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    items.push_back(text);
  }
  return items;
}

std::vector<std::string> Favourites() {
  std::vector<std::string> slots;
  for (const char *path : g_settings.lists.favourites)
    if (path[0]) slots.push_back(path);
  return slots;
}

void Select(HWND page, int n) {
  SendDlgItemMessageA(page, IDC_FAV_LIST, LB_SETCURSEL, static_cast<WPARAM>(n), 0);
  SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_FAV_LIST, LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_FAV_LIST)));
}

// New (or Edit) through the entry dialog, checked on the way.
void Enter(HWND frame, HWND page, int button, const char *text) {
  ASSERT_TRUE(WithModal([&] { Click(page, button); },
                        [&](HWND entry) {
                          EXPECT_EQ(WindowText(entry), "Quillpad");
                          EXPECT_EQ(TextOf(entry, IDC_ENTRY_PROMPT), Text(TXT_FAVOURITE_PROMPT));
                          EXPECT_EQ(TextOf(entry, IDC_ENTRY_HINT), Text(TXT_FAVOURITE_HINT));
                          SetDlgItemTextA(entry, IDC_ENTRY_TEXT, text);
                          Click(entry, IDOK);
                        },
                        frame));
}

TEST_F(SettingsDialog, FavouritesKeepTheirSeparatorsAndOrderThroughApplySaveAndReload) {
  for (const char *path : {"C:\\one", "--", "C:\\two", "--"}) ASSERT_TRUE(AddFavourite(&g_settings, path));
  ASSERT_TRUE(Settings(0, [&](HWND frame) {
    HWND page = SettingsPage(IDD_FAVOURITES_PAGE);
    ASSERT_TRUE(Shown(page)) << "Manage List opens on the Favourites page";
    EXPECT_EQ(TextOf(page, IDC_FAV_NOTE), "You may add up to 50 favourites.");
    EXPECT_EQ(Listed(page), (std::vector<std::string>{"C:\\one", "--", "C:\\two", "--"}));
    Select(page, 2);
    Click(page, IDC_FAV_UP);  // one, two, --, --
    Enter(frame, page, IDC_FAV_NEW, "-");  // after "two"
    Select(page, 0);
    Click(page, IDC_FAV_DOWN);  // two, one, -, --, --
    Select(page, 4);
    Enter(frame, page, IDC_FAV_EDIT, "D:\\three");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_FAV_DOWN))) << "the last one";
    Click(frame, IDOK);
  }, IDM_FAVOURITES_MANAGE));
  const std::vector<std::string> expected = {"C:\\two", "C:\\one", "-", "--", "D:\\three"};
  EXPECT_EQ(Favourites(), expected);
  EXPECT_STREQ(g_settings.lists.favourites[4], "D:\\three") << "in list order from the first slot";
  ASSERT_EQ(SaveConfig(g_app.mainWindow, g_config.path, false, false), 0);
  FreshSession(ini_);
  EXPECT_EQ(Favourites(), expected);

  // Fifty: no New; Delete makes room again.
  for (int i = 0; i < kFavourites; i++)
    StrCopy(g_settings.lists.favourites[i], i % 7 ? "--" : ("C:\\f" + std::to_string(i)).c_str());
  ASSERT_TRUE(Settings(0, [&](HWND frame) {
    HWND page = Page(frame, IDD_FAVOURITES_PAGE);
    EXPECT_EQ(Listed(page).size(), 50u);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_FAV_NEW)));
    Select(page, 49);
    Click(page, IDC_FAV_DELETE);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_FAV_NEW)));
    Click(frame, IDOK);
  }));
  EXPECT_EQ(Favourites().size(), 49u);
}

// ---- the commands, and the resources of every page ----

TEST_F(SettingsDialog, OpensFromItsCommandsOnThePageShownLast) {
  EXPECT_FALSE(CommandPending(IDM_OPT_SETTINGS));
  EXPECT_FALSE(CommandPending(IDM_FAVOURITES_MANAGE));
  EXPECT_FALSE(CommandPending(IDM_FILTERS_MANAGE));
  ASSERT_TRUE(Settings(0, [&](HWND frame) {
    EXPECT_TRUE(Shown(SettingsPage(IDD_FILTERS_PAGE))) << "Text Filters: Manage List";
    Click(frame, IDCANCEL);
  }, IDM_FILTERS_MANAGE));
  ASSERT_TRUE(Settings(0, [&](HWND frame) {
    EXPECT_EQ(WindowText(frame), "Settings");
    HWND tabs = GetDlgItem(frame, IDC_SETTINGS_TABS);
    ASSERT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 11);
    for (int i = 0; i < 11; i++) {
      char text[32] = {};
      TCITEMA item = {};
      item.mask = TCIF_TEXT;
      item.pszText = text;
      item.cchTextMax = sizeof text;
      SendMessageA(tabs, TCM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
      static const char *const kTitles[] = {"General", "Edit", "Appearance", "File", "Save/Load",
                                            "Clipboard", "Search", "Tools", "Favourites", "Filters", "Settings"};
      EXPECT_STREQ(text, kTitles[i]);
    }
    EXPECT_EQ(SettingsPage(461), nullptr) << "a page is made when first shown";
    Page(frame, 461);
    Click(frame, IDCANCEL);
  }));
  ASSERT_TRUE(Settings(0, [&](HWND frame) {
    EXPECT_TRUE(Shown(SettingsPage(461)));
    EXPECT_EQ(SettingsPage(410), nullptr);
    Click(frame, IDCANCEL);
  }));
  // Alt+Enter is the main table's key for it.
  HACCEL keys = LoadAcceleratorsA(g_app.instance, MAKEINTRESOURCEA(IDR_ACCEL_MAIN));
  ACCEL table[512];
  const int n = CopyAcceleratorTableA(keys, table, 512);
  bool found = false;
  for (int i = 0; i < n; i++)
    found |= table[i].key == VK_RETURN && (table[i].fVirt & FALT) && !(table[i].fVirt & (FCONTROL | FSHIFT)) &&
             table[i].cmd == IDM_OPT_SETTINGS;
  EXPECT_TRUE(found);
}

bool Overlap(const RECT &a, const RECT &b) {
  RECT both;
  return IntersectRect(&both, &a, &b) != FALSE;
}

// Inside the page, apart from each other (group boxes aside), every text
// fitting its control in the dialog's font, every control reached by Tab.
void CheckLayout(HWND page, int id) {
  SCOPED_TRACE(id);
  RECT client;
  GetClientRect(page, &client);
  HDC dc = GetDC(page);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(page, WM_GETFONT, 0, 0)));
  std::vector<HWND> controls;
  for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) controls.push_back(c);
  ASSERT_GT(controls.size(), 2u);
  auto rectOf = [&](HWND c) {
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT *>(&r), 2);
    return r;
  };
  auto isGroup = [](HWND c) {
    return ClassOf(c) == "Button" && (GetWindowLongA(c, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
  };
  for (size_t i = 0; i < controls.size(); i++) {
    HWND c = controls[i];
    const RECT r = rectOf(c);
    const int cid = GetDlgCtrlID(c);
    EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom) << cid;
    for (size_t j = 0; j < i && !isGroup(c); j++) {
      if (!isGroup(controls[j])) {
        EXPECT_FALSE(Overlap(r, rectOf(controls[j]))) << cid << " and " << GetDlgCtrlID(controls[j]);
      }
    }
    std::string text = WindowText(c);
    if (ClassOf(c) == "Edit" || ClassOf(c) == "ListBox") text.clear();
    std::string shown;
    for (size_t k = 0; k < text.size(); k++)
      if (text[k] != '&' || (k + 1 < text.size() && text[k + 1] == '&' && ++k)) shown += text[k];
    if (shown.empty()) continue;
    SIZE size;
    GetTextExtentPoint32A(dc, shown.c_str(), static_cast<int>(shown.size()), &size);
    const LONG style = GetWindowLongA(c, GWL_STYLE) & BS_TYPEMASK;
    int room = r.right - r.left;
    if (ClassOf(c) == "Button" && style != BS_PUSHBUTTON && style != BS_DEFPUSHBUTTON && !isGroup(c))
      room -= GetSystemMetrics(SM_CXMENUCHECK) + 4;
    else if (ClassOf(c) == "Button" && !isGroup(c))
      room -= 8;
    else if (isGroup(c))
      room -= 12;
    EXPECT_LE(size.cx, room) << cid << " \"" << shown << "\"";
  }
  SelectObject(dc, old);
  ReleaseDC(page, dc);
  // Tab from the first control around the page.
  std::vector<HWND> reached;
  HWND first = GetNextDlgTabItem(page, nullptr, FALSE);
  for (HWND c = first; c; c = GetNextDlgTabItem(page, c, FALSE)) {
    reached.push_back(c);
    if (reached.size() > controls.size() || GetNextDlgTabItem(page, c, FALSE) == first) break;
  }
  for (HWND c : controls) {
    const std::string cls = ClassOf(c);
    if (cls == "Static" || isGroup(c) || !IsWindowEnabled(c)) continue;
    // A radio button is reached through its group.
    auto wasReached = [&](HWND x) { return std::find(reached.begin(), reached.end(), x) != reached.end(); };
    bool inGroup = wasReached(c);
    for (HWND g = GetNextDlgGroupItem(page, c, FALSE); !inGroup && g && g != c; g = GetNextDlgGroupItem(page, g, FALSE))
      inGroup = (GetWindowLongA(c, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON && wasReached(g);
    EXPECT_TRUE(inGroup) << "Tab never reaches " << GetDlgCtrlID(c);
  }
}

TEST_F(SettingsDialog, EveryPageHoldsItsControlsApartReadableAndReachable) {
  ASSERT_TRUE(Settings(0, [&](HWND frame) {
    RECT area;
    GetWindowRect(GetDlgItem(frame, IDC_SETTINGS_TABS), &area);
    for (int id : kPageOrder) {
      HWND page = Page(frame, id);
      ASSERT_NE(page, nullptr);
      RECT r;
      GetWindowRect(page, &r);
      EXPECT_TRUE(r.left >= area.left && r.right <= area.right && r.bottom <= area.bottom) << id << " inside the tabs";
      CheckLayout(page, id);
      if (getenv("QP_SHOTS")) {
        // A modal dialog shows itself once its queue first runs empty.
        if (!IsWindowVisible(frame)) ShowWindow(frame, SW_SHOWNORMAL);
        SetWindowPos(frame, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
        PumpMessages();
        GetWindowRect(frame, &r);
        HDC screen = GetDC(nullptr);
        Picture p = DrawPicture(r.right - r.left, r.bottom - r.top, [&](HDC dc) {
          BitBlt(dc, 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
        });
        ReleaseDC(nullptr, screen);
        p.Save("settings_page_" + std::to_string(id));
      }
    }
    Click(frame, IDCANCEL);
  }));
}

}  // namespace

namespace {

// Import of bad files, and Export to places that cannot be written.
TEST_F(SettingsDialog, BadFilesAndTargetsGiveErrorOrClampedValuesAndTheFontsStillMade) {
  FontRecord wild = {};
  wild.height = 100000;
  MemFill(wild.faceName, 'W', sizeof wild.faceName);  // no terminator
  char font[128];
  Base64Encode(font, &wild, sizeof wild);
  const struct {
    const char *name;
    std::string bytes;
    bool imported;
  } kFiles[] = {
      {"nobom.ini", "[Setts]\nTab=3\n", false},
      {"junk.ini", std::string("\x01\xFF\x00\x7F garbage", 12), false},
      {"wild.ini", std::string("\xEF\xBB\xBF[Setts]\nTab=0\nASTime=1000000000\nLimit=4294967295\nCLTBack=4294967295\n"
                               "NoMClks=4294967295\nHiSelLn=-4\nLF1_=") + font + "\n", true},
  };
  Choosers choosers;
  for (const auto &f : kFiles) {
    SCOPED_TRACE(f.name);
    choosers.file = dir_.File(f.name);
    ASSERT_TRUE(WriteBytes(choosers.file, f.bytes));
    SetDefaultSettings(&g_settings, true);
    ScriptedAnswerer answers;
    answers.Expect(f.imported ? "Settings imported!" : "Error!", f.imported ? kAskInfo : kAskWarning, kAnswerOk);
    ASSERT_TRUE(Settings(0, [&](HWND frame) { Click(Page(frame, 490), IDC_ST_IMPORT); }));
    EXPECT_EQ(g_settings.edit.Tab, f.imported ? 1 : 8);
  }
  EXPECT_EQ(g_settings.file.ASTime, 131072);
  EXPECT_EQ(g_settings.edit.HiSelLn, 1);
  EXPECT_EQ(g_settings.edit.LF1_.height, 100000);
  EXPECT_GT(SendMessageA(g_app.editorWindow, EDM_GETCHARWIDTH, 0, 0), 1) << "a font was made all the same";
  ASSERT_TRUE(Settings(0, [&](HWND frame) {
    HWND save = Page(frame, 461);
    EXPECT_EQ(TextOf(save, IDC_ST_LIMIT), "4095");
    HWND edit = Page(frame, 420);
    for (int id = 7231; id <= 7235; id++) EXPECT_FALSE(IsChecked(edit, id)) << id;
    Click(frame, IDOK);
  }));
  EXPECT_EQ(g_settings.file.Limit, 0) << "4095 MiB is past the limit";
  EXPECT_EQ(static_cast<u32>(g_settings.edit.NoMClks), 0xFFFFFFFFu);

  // Export to a read-only file and to a folder: "Error!", nothing changed.
  const std::string locked = dir_.File("locked.ini");
  ASSERT_TRUE(WriteBytes(locked, "\xEF\xBB\xBFkept\n"));
  ASSERT_TRUE(MakeReadOnly(locked, true));
  for (const std::string &target : {locked, dir_.path()}) {
    choosers.file = target;
    ScriptedAnswerer answers;
    answers.Expect("Error!", kAskWarning, kAnswerOk);
    ASSERT_TRUE(Settings(0, [&](HWND frame) {
      Click(Page(frame, 490), IDC_ST_EXPORT);
      Click(frame, IDCANCEL);
    }));
  }
  EXPECT_EQ(ReadBytes(locked), "\xEF\xBB\xBFkept\n");
  MakeReadOnly(locked, false);
}

}  // namespace
