// Recent Files, Favourites and Clips in the frame: the submenus WM_INITMENU
// builds from the lists, the commands behind their items, the Clips dialog.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/file_commands.h"
#include "app/list_menus.h"
#include "app/main_window.h"
#include "app/status_bar.h"
#include "config/config_lists.h"
#include "config/config_state.h"
#include "document/undo.h"
#include "editor/editor_messages.h"
#include "editor/editor_window.h"
#include "foundation/bytes.h"
#include "foundation/fault.h"
#include "resources/resource.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"
#include "tests/win/gui_helpers.h"

namespace {

class ListMenus : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ResetFrameGlobals());
    ASSERT_EQ(CreateMainWindow(), 0);
    Pump();
    ASSERT_NE(g_app.editorWindow, nullptr);
  }
  void TearDown() override {
    DestroyFrame();
    FreeClips();
    SetDefaultSettings(&g_settings, true);
  }
  static void Pump() { PumpMessages(); }
  static LRESULT Run(int id) { return SendMessageA(g_app.mainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0); }
  // The submenu of a placeholder item after WM_INITMENU, as "text|id|state"
  // lines ("-" for a separator).
  static std::vector<std::string> Items(UINT placeholder) {
    HMENU bar = GetMenu(g_app.mainWindow);
    SendMessageA(g_app.mainWindow, WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0);
    std::vector<std::string> out;
    HMENU menu = Submenu(bar, placeholder, false);
    if (!menu) return out;
    for (int i = 0; i < GetMenuItemCount(menu); i++) {
      const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
      if (state & MF_SEPARATOR) {
        out.push_back("-");
        continue;
      }
      char text[600] = {};
      GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
      out.push_back(std::string(text) + "|" + std::to_string(GetMenuItemID(menu, i)) +
                    (state & MF_GRAYED ? "|grey" : ""));
    }
    return out;
  }
  static std::string Text() {
    const LRESULT n = SendMessageA(g_app.editorWindow, EDM_GETTEXTLENGTHRAW, 0, 0);
    std::string out(static_cast<size_t>(n) + 1, '\0');
    SendMessageA(g_app.editorWindow, EDM_GETTEXTRAW, static_cast<WPARAM>(n) + 1, reinterpret_cast<LPARAM>(&out[0]));
    out.resize(static_cast<size_t>(n));
    return out;
  }
  static void SetText(const std::string &text) {
    SendMessageA(g_app.editorWindow, EDM_SETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  }
  static void Select(WPARAM a, LPARAM b) { SendMessageA(g_app.editorWindow, EM_SETSEL, a, b); }
  static std::string StatusMessage() {
    char text[512] = {};
    SendMessageA(g_app.statusBar, SB_GETTEXTA, kFieldMessage, reinterpret_cast<LPARAM>(text));
    return text;
  }
};

// Eleven files opened leave the ten newest, numbered 0-9 newest first; a
// reopened file moves to the top without a duplicate; an item opens its
// slot's file; a path with "&" shows as it is; Clear leaves "(none)".
TEST_F(ListMenus, RecentFilesNewestFirst) {
  TempFolder dir;
  std::vector<std::string> files;
  for (int i = 0; i < 11; i++) {
    files.push_back(dir.File("f" + std::to_string(i) + (i == 10 ? "&x.txt" : ".txt")));
    ASSERT_TRUE(WriteBytes(files.back(), "file " + std::to_string(i)));
    ASSERT_EQ(CommandOpenPath(files.back().c_str()), 0);
  }
  auto escaped = [](std::string path) {
    for (size_t at = path.find('&'); at != std::string::npos; at = path.find('&', at + 2)) path.insert(at, "&");
    return path;
  };
  std::vector<std::string> items = Items(IDM_RECENT_MENU);
  ASSERT_EQ(items.size(), 12u);
  for (int k = 0; k < 10; k++)
    EXPECT_EQ(items[k], "&" + std::to_string(k) + ". " + escaped(files[10 - k]) + "|" + std::to_string(17010 - k));
  EXPECT_EQ(items[10], "-");
  EXPECT_EQ(items[11], "Clear|17020");
  // Reopening the file in slot 3 (f3): to the top, the others move down.
  ASSERT_EQ(Run(IDM_RECENT_FIRST + 2), 0);
  EXPECT_EQ(Text(), "file 3");
  items = Items(IDM_RECENT_MENU);
  EXPECT_EQ(items[0], "&0. " + files[3] + "|17010");
  EXPECT_EQ(items[1], "&1. " + escaped(files[10]) + "|17009");
  EXPECT_EQ(items[8], "&8. " + files[2] + "|17002");
  EXPECT_EQ(items[9], "&9. " + files[1] + "|17001");
  // A file gone since: the open's questions (changes offered for saving
  // first), and declined the list keeps its entry.
  DeleteFileA(files[2].c_str());
  SendMessageA(g_app.editorWindow, WM_CHAR, 'z', 1);
  {
    ScriptedAnswerer answers;
    answers.Expect("Save current changes to f3.txt?", kAskYesNoCancel, kAnswerCancel);
    EXPECT_EQ(Run(IDM_RECENT_FIRST + 1), 1);
    answers.Expect("Save current changes to f3.txt?", kAskYesNoCancel, kAnswerNo);
    answers.Expect("Could not find file " + files[2] + ".\nDo you want to create a new file?", kAskYesNo, kAnswerNo);
    answers.Expect("Could not read file " + files[2] + "!", kAskWarning, kAnswerOk);
    EXPECT_EQ(Run(IDM_RECENT_FIRST + 1), 3);
  }
  EXPECT_EQ(Items(IDM_RECENT_MENU)[8], "&8. " + files[2] + "|17002");
  ASSERT_EQ(Run(IDM_RECENT_CLEAR), 0);
  EXPECT_EQ(Items(IDM_RECENT_MENU), (std::vector<std::string>{"(none)|0|grey", "-", "Clear|17020"}));
}

// Favourites from a prepared list: separators, numbering 1-9 then 0, "&"
// doubled; Add this File greyed without a file, a duplicate unchanged, a
// full list refused with its message; a relative favourite opens from the
// working directory.
TEST_F(ListMenus, FavouritesMenuAndAddThisFile) {
  TempFolder dir;
  const char *const kList[] = {"C:\\a.txt", "-", "C:\\b&c.txt", "--", "C:\\d.txt", "C:\\e.txt", "C:\\f.txt",
                               "C:\\g.txt", "C:\\h.txt", "C:\\i.txt", "C:\\j.txt", "",  "C:\\k.txt", "C:\\l.txt",
                               "rel.txt"};
  for (size_t i = 0; i < sizeof kList / sizeof *kList; i++)
    StrCopyN(g_settings.lists.favourites[i], kList[i], kPathChars);
  const std::vector<std::string> expected = {
      "&Add this File|41020|grey", "&Manage List..|41010", "-", "&1. C:\\a.txt|41101", "-",
      "&3. C:\\b&&c.txt|41103", "-", "&5. C:\\d.txt|41105", "&6. C:\\e.txt|41106", "&7. C:\\f.txt|41107",
      "&8. C:\\g.txt|41108", "&9. C:\\h.txt|41109", "&0. C:\\i.txt|41110", "&0. C:\\j.txt|41111",
      "&0. C:\\k.txt|41113", "&0. C:\\l.txt|41114", "&0. rel.txt|41115"};
  EXPECT_EQ(Items(IDM_FAVOURITES_MENU), expected);
  EXPECT_EQ(Run(IDM_FAVOURITES_ADD), 1) << "nothing to add without a file";
  // A relative favourite, against the working directory.
  ASSERT_TRUE(WriteBytes(dir.File("rel.txt"), "relative"));
  char before[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, before);
  SetCurrentDirectoryA(dir.path().c_str());
  EXPECT_EQ(Run(IDM_FAVOURITE_FIRST + 14), 0);
  SetCurrentDirectoryA(before);
  EXPECT_EQ(Text(), "relative");
  EXPECT_EQ(Items(IDM_FAVOURITES_MENU)[0], "&Add this File|41020");
  // Add this File: the full path into the first free slot, then unchanged.
  EXPECT_EQ(Run(IDM_FAVOURITES_ADD), 0);
  EXPECT_STREQ(g_settings.lists.favourites[11], dir.File("rel.txt").c_str());
  EXPECT_EQ(Run(IDM_FAVOURITES_ADD), 0);
  EXPECT_STREQ(g_settings.lists.favourites[15], "");
  // Full (the file's own slot a separator now): the message.
  StrCopyN(g_settings.lists.favourites[11], "-", kPathChars);
  for (int i = 15; i < kFavourites; i++) StrCopyN(g_settings.lists.favourites[i], "--", kPathChars);
  ScriptedAnswerer answers;
  answers.Expect("Could not add item!", kAskWarning, kAnswerOk);
  EXPECT_EQ(Run(IDM_FAVOURITES_ADD), 3);
}

// Clips: Alt+3 stores a selection holding a NUL, Ctrl+3 inserts it
// byte-exact as one undo step; the Roster's and the dialog's Paste items
// follow the clips; a dialog button inserts and closes; Clear All; the
// status bar's help of the dynamic items.
TEST_F(ListMenus, ClipsStoreInsertRosterDialogAndHelp) {
  const std::string text("ab\0c\r\nd", 7);
  SetText(text);
  Select(1, 6);
  EXPECT_EQ(Run(IDM_CLIP_STORE + 2), 0);
  ASSERT_EQ(g_config.clips[2].length, 5u);
  EXPECT_EQ(std::string(g_config.clips[2].text, 5), text.substr(1, 5));
  EXPECT_TRUE(g_config.clips[2].dirty && g_config.clipsChanged);
  Select(0, 0);
  EXPECT_EQ(Run(IDM_CLIP_STORE + 4), 1) << "no selection, CASel 0: nothing";
  EXPECT_EQ(g_config.clips[4].length, 0u);
  Select(7, 7);
  EXPECT_EQ(Run(IDM_CLIP_INSERT + 2), 0);
  EXPECT_EQ(Text(), text + text.substr(1, 5));
  SendMessageA(g_app.editorWindow, WM_UNDO, 0, 0);
  EXPECT_EQ(Text(), text) << "one undo step";
  EXPECT_EQ(Run(IDM_CLIP_INSERT + 5), 1) << "an empty clip inserts nothing";
  // The Roster: eighteen items in two columns, Paste 3 alone enabled.
  std::vector<std::string> roster = Items(IDM_CLIPS_ROSTER);
  ASSERT_EQ(roster.size(), 18u);
  EXPECT_EQ(roster[0], "Copy to &1\tAlt+1|45201");
  EXPECT_EQ(roster[9], "Paste from &1\tCtrl+1|45301|grey");
  EXPECT_EQ(roster[11], "Paste from &3\tCtrl+3|45303");
  EXPECT_EQ(roster[17], "Paste from &9\tCtrl+9|45309|grey");
  // The dialog: the NUL as a space, states by the clips, a long clip cut
  // at 32,767 characters, a press pastes.
  ASSERT_TRUE(SetClip(8, std::string(40000, 'x').data(), 40000));
  Select(0, 0);
  EXPECT_TRUE(WithDialog([] { Run(IDM_CLIPS_VIEW); }, [&](HWND dialog) {
    EXPECT_EQ(WindowText(dialog), "Clips");
    char shown[16] = {};
    GetDlgItemTextA(dialog, IDC_CLIP_TEXT + 2, shown, sizeof shown);
    EXPECT_STREQ(shown, "b c\r\n");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_CLIP_PASTE + 2)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_CLIP_PASTE + 0)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_CLIP_TEXT + 7)));
    EXPECT_EQ(GetWindowTextLengthA(GetDlgItem(dialog, IDC_CLIP_TEXT + 8)), 32767);
    SendMessageA(dialog, WM_COMMAND, IDC_CLIP_PASTE + 2, 0);
  }));
  EXPECT_EQ(Text(), text.substr(1, 5) + text);
  // Help texts of the dynamic items.
  StrCopyN(g_settings.lists.favourites[0], "C:\\x.txt", kPathChars);
  AddRecentFile(&g_settings, "C:\\y.txt", ConfigTimeStamp());
  HMENU bar = GetMenu(g_app.mainWindow);
  SendMessageA(g_app.mainWindow, WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0);
  const struct {
    UINT id;
    const char *help;
  } kHelp[] = {{17010, "Open this file."},
               {41101, "Open this favourite file."},
               {45207, "Store the selected text in this clip."},
               {45303, "Insert the text of this clip at the caret."}};
  for (const auto &h : kHelp) {
    SendMessageA(g_app.mainWindow, WM_MENUSELECT, MAKEWPARAM(h.id, MF_STRING | MF_HILITE),
                 reinterpret_cast<LPARAM>(bar));
    EXPECT_EQ(StatusMessage(), h.help) << h.id;
  }
  EXPECT_EQ(Run(IDM_CLIPS_CLEAR), 0);
  EXPECT_EQ(g_config.clips[2].length, 0u);
  EXPECT_NE(Items(IDM_CLIPS_ROSTER)[11].find("|grey"), std::string::npos);
}

// Memory failing at each allocation of storing or inserting a clip: the old
// clip and the document stay as they were, with no undo step.
TEST_F(ListMenus, FailedClipCommandsChangeNothing) {
  const std::string text = "one two three";
  for (int id : {IDM_CLIP_STORE + 1, IDM_CLIP_INSERT + 1}) {
    FaultInjector fi = {};
    for (u32 k = 1;; k++) {
      ASSERT_TRUE(SetClip(1, "old clip", 8));
      SetText(text);
      Select(4, 7);
      const u32 steps = EditorOf(g_app.editorWindow)->doc->undo.count;
      FaultReset(&fi);
      FaultPlan(&fi, kFaultAlloc, k, false);
      LRESULT r;
      {
        ScriptedAnswerer answers;  // the editor reports with a beep and 0x500, no box
        ScopedFaultInjector scope(&fi);
        r = Run(id);
      }
      EXPECT_TRUE(r == 0 || r == 3) << r;
      const std::string clip(g_config.clips[1].text, g_config.clips[1].length);
      if (r == 0) {
        EXPECT_EQ(clip, id == IDM_CLIP_STORE + 1 ? "two" : "old clip") << "fault " << k;
        EXPECT_EQ(Text(), id == IDM_CLIP_STORE + 1 ? text : "one old clip three") << "fault " << k;
      } else {
        EXPECT_EQ(clip, "old clip") << "fault " << k;
        EXPECT_EQ(Text(), text) << "fault " << k;
        EXPECT_EQ(EditorOf(g_app.editorWindow)->doc->undo.count, steps) << "fault " << k;
      }
      if (!fi.fired[kFaultAlloc]) break;
      ASSERT_LT(k, 100u);
    }
  }
}

}  // namespace
