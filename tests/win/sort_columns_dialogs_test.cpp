// The Sort dialog (260 with the pages 261 and 271) and the Columns, Numbers
// dialog (270, with its previews and the Column preview window 272), driven
// through the frame's commands with their controls clicked and typed into
// by messages; and the quick sorts with TSortIC from the menu commands.
// With QP_SHOTS set, each dialog is also saved as a picture.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/main_window.h"
#include "config/config_io.h"
#include "config/config_state.h"
#include "editor/editor_commands.h"
#include "editor/editor_messages.h"
#include "foundation/texts.h"
#include "resources/resource.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"
#include "tests/win/editor_harness.h"
#include "tests/win/frame_fixture.h"
#include "tests/win/gui_helpers.h"

namespace {

class SortColumnsDialogs : public FrameTest {
 protected:
  void SelectAll() const { SendMessageA(editor_, EM_SETSEL, 0, -1); }
};

// ---- driving dialogs ----

// The control `id` anywhere in the dialog, its pages included.
HWND Item(HWND dialog, int id) {
  if (HWND direct = GetDlgItem(dialog, id)) return direct;
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (HWND inner = GetDlgItem(c, id)) return inner;
  return nullptr;
}
void Click(HWND dialog, int id) {
  HWND button = Item(dialog, id);
  ASSERT_NE(button, nullptr) << id;
  ASSERT_TRUE(IsWindowEnabled(button)) << id;
  SendMessageA(button, BM_CLICK, 0, 0);
}
// Clicks a check box until it shows the state wanted.
void SetCheck(HWND dialog, int id, bool on) {
  if ((SendMessageA(Item(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED) != on) Click(dialog, id);
}
bool IsChecked(HWND dialog, int id) { return SendMessageA(Item(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
void Type(HWND dialog, int id, const char *text) { SetWindowTextA(Item(dialog, id), text); }
std::string TextOf(HWND dialog, int id) { return WindowText(Item(dialog, id)); }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(Item(dialog, id)) != 0; }

// Clicks the tab as a user does, so that the control tells the dialog.
void ChooseTab(HWND tabs, int n) {
  RECT r;
  ASSERT_TRUE(SendMessageA(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(&r)));
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  SendMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(tabs, WM_LBUTTONUP, 0, at);
  ASSERT_EQ(SendMessageA(tabs, TCM_GETCURSEL, 0, 0), n);
}
std::string TabName(HWND tabs, int n) {
  char text[64] = {};
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(tabs, TCM_GETITEMA, static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(&item));
  return text;
}

// The window as the screen shows it, saved as a picture into QP_SHOTS.
void Shoot(HWND window, const char *name) {
  if (!getenv("QP_SHOTS")) return;
  // A modal dialog shows itself once its queue first runs empty: that may
  // be after this.
  if (!IsWindowVisible(window)) ShowWindow(window, SW_SHOWNORMAL);
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpMessages();
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  Picture p = DrawPicture(w, h, [&](HDC dc) { BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY); });
  ReleaseDC(nullptr, screen);
  p.Save(name);
}

// ---- the Sort dialog ----

struct KeySetting {
  bool use, descending, numbers, ignoreCase, punctuation;
  int choice;  // IDC_COLUMN_NOTHING, IDC_COLUMN_ENTIRE_LINE, IDC_COLUMN_COLUMNS
  const char *from, *to, *delimiters;
  bool positions;
  const char *positionFrom, *positionTo;
  const char *ignoreChars;  // with "Ignore characters:" when not null
};

// The first key: column 2 of ";"-separated lines as numbers, descending; the
// second: column 3, ignoring case; the other three keys are set to be read
// back (the third by positions counted from the end of the line).
const KeySetting kKeys[5] = {
    {true, true, true, false, false, IDC_COLUMN_COLUMNS, "2", "2", ";", false, "1", "1", nullptr},
    {true, false, false, true, false, IDC_COLUMN_COLUMNS, "3", "3", ";", false, "1", "1", nullptr},
    {true, false, false, false, true, IDC_COLUMN_ENTIRE_LINE, "1", "1", "", true, "2", "4", nullptr},
    {true, true, false, false, false, IDC_COLUMN_NOTHING, "1", "1", "", false, "1", "1", "xyz"},
    {false, false, false, false, false, IDC_COLUMN_ENTIRE_LINE, "1", "1", "", false, "1", "1", nullptr},
};

void SetKey(HWND dialog, const KeySetting &k) {
  SetCheck(dialog, IDC_SORT_USE, k.use);
  if (!k.use) return;
  Click(dialog, k.descending ? IDC_SORT_DESCENDING : IDC_SORT_ASCENDING);
  Click(dialog, k.numbers ? IDC_SORT_NUMBERS : IDC_SORT_TEXT);
  SetCheck(dialog, IDC_SORT_IGNORE_CASE, k.ignoreCase);
  SetCheck(dialog, IDC_SORT_IGNORE_PUNCTUATION, k.punctuation);
  EXPECT_FALSE(Enabled(dialog, IDC_SORT_IGNORE_CHARS)) << "the list counts only with its box";
  if (k.ignoreChars) {
    SetCheck(dialog, IDC_SORT_IGNORE_LISTED, true);
    Type(dialog, IDC_SORT_IGNORE_CHARS, k.ignoreChars);
  }
  Click(dialog, k.choice);
  EXPECT_EQ(Enabled(dialog, IDC_COLUMN_DELIMITERS), k.choice == IDC_COLUMN_COLUMNS);
  EXPECT_EQ(Enabled(dialog, IDC_COLUMN_POSITIONS), k.choice != IDC_COLUMN_NOTHING);
  if (k.choice == IDC_COLUMN_COLUMNS) {
    Type(dialog, IDC_COLUMN_FROM, k.from);
    Type(dialog, IDC_COLUMN_TO, k.to);
    Type(dialog, IDC_COLUMN_DELIMITERS, k.delimiters);
  }
  if (k.positions) {
    SetCheck(dialog, IDC_COLUMN_POSITIONS, true);
    Type(dialog, IDC_COLUMN_POSITION_FROM, k.positionFrom);
    Type(dialog, IDC_COLUMN_POSITION_TO, k.positionTo);
    Click(dialog, IDC_COLUMN_POSITION_BACKWARDS);
  }
}

void ExpectKeyShown(HWND dialog, const KeySetting &k) {
  EXPECT_EQ(IsChecked(dialog, IDC_SORT_USE), k.use);
  if (!k.use) {
    EXPECT_FALSE(Enabled(dialog, IDC_SORT_DESCENDING) || Enabled(dialog, IDC_COLUMN_ENTIRE_LINE))
        << "a key not in use is greyed, its columns too";
    return;
  }
  EXPECT_EQ(IsChecked(dialog, IDC_SORT_DESCENDING), k.descending);
  EXPECT_EQ(IsChecked(dialog, IDC_SORT_ASCENDING), !k.descending);
  EXPECT_EQ(IsChecked(dialog, IDC_SORT_NUMBERS), k.numbers);
  EXPECT_EQ(IsChecked(dialog, IDC_SORT_IGNORE_CASE), k.ignoreCase);
  EXPECT_EQ(IsChecked(dialog, IDC_SORT_IGNORE_PUNCTUATION), k.punctuation);
  EXPECT_TRUE(IsChecked(dialog, k.choice));
  EXPECT_EQ(TextOf(dialog, IDC_SORT_IGNORE_CHARS), k.ignoreChars ? k.ignoreChars : "");
  EXPECT_EQ(Enabled(dialog, IDC_SORT_IGNORE_CHARS), k.ignoreChars != nullptr);
  EXPECT_EQ(TextOf(dialog, IDC_COLUMN_FROM), k.from);
  EXPECT_EQ(TextOf(dialog, IDC_COLUMN_DELIMITERS), k.delimiters);
  EXPECT_EQ(IsChecked(dialog, IDC_COLUMN_POSITIONS), k.positions);
  EXPECT_EQ(TextOf(dialog, IDC_COLUMN_POSITION_TO), k.positionTo);
  EXPECT_EQ(IsChecked(dialog, IDC_COLUMN_POSITION_BACKWARDS), k.positions);
}

void ExpectKeyStored(const SortKey &s, const KeySetting &k, int n) {
  SCOPED_TRACE(n);
  EXPECT_EQ(s.Use, k.use ? 1 : 0);
  if (!k.use) return;
  EXPECT_EQ(s.Dsc, k.descending ? 1 : 0);
  EXPECT_EQ(s.Num, k.numbers ? 1 : 0);
  EXPECT_EQ(s.IC, k.ignoreCase ? 1 : 0);
  EXPECT_EQ(s.IPn, k.punctuation ? 1 : 0);
  EXPECT_EQ(s.ICl, k.ignoreChars ? 1 : 0);
  EXPECT_STREQ(s.ICd, k.ignoreChars ? k.ignoreChars : "");
  const int cc = k.choice == IDC_COLUMN_COLUMNS ? 1 : k.choice == IDC_COLUMN_NOTHING ? 2 : 0;
  EXPECT_EQ(s.column.CC, cc) << "0 entire line, 1 columns, 2 nothing";
  EXPECT_EQ(s.column.CFr, atoi(k.from)) << "as the user counts";
  EXPECT_EQ(s.column.CTo, atoi(k.to));
  EXPECT_STREQ(s.column.CD, k.delimiters);
  EXPECT_EQ(s.column.RC, k.positions ? 1 : 0);
  EXPECT_EQ(s.column.RRl, k.positions ? 1 : 0);
  if (k.positions) EXPECT_EQ(s.column.RFr, atoi(k.positionFrom));
}

const char kUnsorted[] = "x;10;b\r\ny;9;a\r\nz;10;a\r\nw;9;B";
const char kSorted[] = "z;10;a\r\nx;10;b\r\ny;9;a\r\nw;9;B";

// Five keys set on their tabs, Sort: the keys stored as the Sr records (as
// the user counts columns) and the lines sorted by them in one undo step;
// reopened, every tab shows its key; the Last Tool sorts again without the
// dialog; saved, the Sr keys reach the INI only with TSortSv.
TEST_F(SortColumnsDialogs, SortDialogStoresFiveKeysAndSortsByThem) {
  TempFolder dir;
  auto baseline = std::make_unique<SettingsBlock>(g_baseline);
  auto before = std::make_unique<SettingsBlock>(g_settings);
  SetText(kUnsorted);
  SelectAll();
  EXPECT_TRUE(WithDialog([] { EXPECT_EQ(Command(IDM_TOOL_SORT), 0); }, [](HWND dialog) {
    EXPECT_EQ(WindowText(dialog), "Sort");
    HWND tabs = GetDlgItem(dialog, IDC_SORT_TABS);
    ASSERT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 5);
    const char *names[] = {"First..", "Second..", "Third..", "Then..", "Finally.."};
    for (int n = 0; n < 5; n++) EXPECT_EQ(TabName(tabs, n), names[n]);
    EXPECT_EQ(TextOf(dialog, IDC_COLUMN_COLUMNS), "C&olumns from");
    EXPECT_EQ(TextOf(dialog, IDC_COLUMN_DELIMITERS_LABEL), "De&limiting characters");
    EXPECT_EQ(TextOf(dialog, IDC_COLUMN_POSITIONS), "Use only cha&racters from position");
    EXPECT_EQ(TextOf(dialog, IDOK), "Sort");
    EXPECT_TRUE(IsChecked(dialog, IDC_SORT_USE) && IsChecked(dialog, IDC_COLUMN_ENTIRE_LINE)) << "the defaults";
    Shoot(dialog, "sort_dialog_260");
    for (int n = 0; n < 5; n++) {
      ChooseTab(tabs, n);
      SetKey(dialog, kKeys[n]);
    }
    ChooseTab(tabs, 2);
    Shoot(dialog, "sort_dialog_260_third");
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
  }));
  for (int n = 0; n < 5; n++) ExpectKeyStored(g_settings.tools.sort[n], kKeys[n], n);
  EXPECT_EQ(Text(), kSorted);
  SendMessageA(editor_, WM_UNDO, 0, 0);
  EXPECT_EQ(Text(), kUnsorted) << "one undo step";

  EXPECT_TRUE(WithDialog([] { EXPECT_EQ(Command(IDM_TOOL_SORT), 1); }, [](HWND dialog) {
    HWND tabs = GetDlgItem(dialog, IDC_SORT_TABS);
    for (int n : {4, 0, 3, 1, 2}) {
      SCOPED_TRACE(n);
      ChooseTab(tabs, n);
      ExpectKeyShown(dialog, kKeys[n]);
    }
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  }));

  SelectAll();
  EXPECT_FALSE(WithDialog([] { EXPECT_EQ(Command(IDM_TOOLS_LAST_TOOL), 0); }, [](HWND dialog) {
    ADD_FAILURE() << "Last Tool showed a dialog";
    EndDialog(dialog, IDCANCEL);
  }));
  EXPECT_EQ(Text(), kSorted);

  // Saved over the settings as they were before the dialog: only what the
  // dialog changed is written.
  for (int saveKeys = 1; saveKeys >= 0; saveKeys--) {
    const std::string ini = dir.File(saveKeys ? "with.ini" : "without.ini");
    ASSERT_TRUE(WriteBytes(ini, "\xEF\xBB\xBF"));  // an INI there, or the save goes to the registry
    g_baseline = *before;
    g_baseline.main.TSortSv = g_settings.main.TSortSv = saveKeys;
    g_config.noSave = 0;
    EXPECT_EQ(SaveConfig(nullptr, ini.c_str(), false, false), 0);
    g_config.noSave = 1;
    const std::string saved = ReadBytes(ini);
    if (saveKeys) {
      EXPECT_NE(saved.find("Sr1IC=1"), std::string::npos) << saved;
      EXPECT_NE(saved.find("Sr2RRl=1"), std::string::npos) << saved;
    } else {
      EXPECT_EQ(saved.find("Sr"), std::string::npos) << "no Sr key without TSortSv:\n" << saved;
    }
  }
  g_baseline = *baseline;
}

// Cancel stores nothing and runs nothing, however much was changed.
TEST_F(SortColumnsDialogs, SortDialogCancelChangesNothing) {
  auto before = std::make_unique<SettingsBlock>(g_settings);
  SetText(kUnsorted);
  SelectAll();
  EXPECT_TRUE(WithDialog([] { EXPECT_EQ(Command(IDM_TOOL_SORT), 1); }, [](HWND dialog) {
    HWND tabs = GetDlgItem(dialog, IDC_SORT_TABS);
    SetKey(dialog, kKeys[0]);
    ChooseTab(tabs, 3);
    SetKey(dialog, kKeys[3]);
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  }));
  EXPECT_EQ(memcmp(g_settings.tools.sort, before->tools.sort, sizeof g_settings.tools.sort), 0);
  EXPECT_EQ(Text(), kUnsorted);
  EXPECT_FALSE(HasLastTool());
}

// Sort Ascending and Descending from their menu commands, with TSortIC off
// (character codes) and on (stable: equal letters keep their order).
TEST_F(SortColumnsDialogs, QuickSortsFollowTSortIC) {
  const struct {
    int command, ignoreCase;
    const char *result;
  } kCases[] = {
      {IDM_TOOL_SORT_ASCENDING, 0, "A\r\nB\r\na\r\nb"},
      {IDM_TOOL_SORT_ASCENDING, 1, "a\r\nA\r\nb\r\nB"},
      {IDM_TOOL_SORT_DESCENDING, 0, "b\r\na\r\nB\r\nA"},
      {IDM_TOOL_SORT_DESCENDING, 1, "b\r\nB\r\na\r\nA"},
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.result);
    g_settings.main.TSortIC = c.ignoreCase;
    SetText("b\r\nB\r\na\r\nA");
    SelectAll();
    EXPECT_EQ(Command(c.command), 0);
    EXPECT_EQ(Text(), c.result);
  }
}

// ---- the Columns, Numbers dialog ----

HWND ColumnPreviewWindow() { return FindWindowA("#32770", "Column preview"); }

const char kColumnsText[] = "a b c\r\nd e f\r\ng h i";

// The previews follow every change without touching the document: the
// result of the mask in the dialog (on at most 8,192 characters of the
// selection), the column of the tab shown in the Column preview window;
// "&?" shows the mask help. OK stores everything and rewrites the lines in
// one undo step; the Last Tool does it again without the dialog.
TEST_F(SortColumnsDialogs, ColumnsDialogPreviewsStoresAndRuns) {
  SetText(kColumnsText);
  SelectAll();
  EXPECT_TRUE(WithDialog([] { EXPECT_EQ(Command(IDM_TOOL_COLUMNS), 0); }, [&](HWND dialog) {
    EXPECT_EQ(WindowText(dialog), "Columns, Numbers");
    HWND tabs = GetDlgItem(dialog, IDC_COLS_TABS);
    ASSERT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 9);
    EXPECT_EQ(TabName(tabs, 0), "%1");
    EXPECT_EQ(TabName(tabs, 8), "%9");
    EXPECT_EQ(TextOf(dialog, IDC_COLS_MASK_HELP), "&?");
    EXPECT_EQ(TextOf(dialog, IDC_COLS_PREVIEW_ON), "&Preview:");
    EXPECT_EQ(TextOf(dialog, IDC_COLUMN_NOTHING), "&Nothing");
    EXPECT_EQ(TextOf(dialog, IDC_COLUMN_POSITION_BACKWARDS), "Calculate the position backwards: &from right to left");
    EXPECT_EQ(TextOf(dialog, IDC_COLS_MASK), "%1") << "the default mask";
    EXPECT_FALSE(IsChecked(dialog, IDC_COLS_PREVIEW_ON));
    EXPECT_FALSE(Enabled(dialog, IDC_COLS_PREVIEW));
    EXPECT_EQ(TextOf(dialog, IDC_COLS_PREVIEW), "");

    Click(dialog, IDC_COLUMN_COLUMNS);
    Type(dialog, IDC_COLUMN_DELIMITERS, " ");
    Click(dialog, IDC_COLS_PREVIEW_ON);
    EXPECT_EQ(TextOf(dialog, IDC_COLS_PREVIEW), "a\r\nd\r\ng");
    ChooseTab(tabs, 1);
    EXPECT_TRUE(IsChecked(dialog, IDC_COLUMN_ENTIRE_LINE)) << "each tab its own definition";
    Click(dialog, IDC_COLUMN_COLUMNS);
    Type(dialog, IDC_COLUMN_FROM, "3");
    Type(dialog, IDC_COLUMN_TO, "3");
    Type(dialog, IDC_COLUMN_DELIMITERS, " ");
    Type(dialog, IDC_COLS_MASK, "%2|%1");
    EXPECT_EQ(TextOf(dialog, IDC_COLS_PREVIEW), "c|a\r\nf|d\r\ni|g");

    Click(dialog, IDC_COLS_COLUMN_PREVIEW);
    HWND column = ColumnPreviewWindow();
    ASSERT_NE(column, nullptr);
    EXPECT_TRUE(IsWindowVisible(column));
    EXPECT_EQ(GetWindow(column, GW_OWNER), dialog);
    EXPECT_EQ(TextOf(column, IDC_COLUMN_PREVIEW_TEXT), "c\r\nf\r\ni") << "the tab shown: %2";
    ChooseTab(tabs, 0);
    EXPECT_EQ(TextOf(column, IDC_COLUMN_PREVIEW_TEXT), "a\r\nd\r\ng");
    Type(dialog, IDC_COLUMN_FROM, "2");
    Type(dialog, IDC_COLUMN_TO, "2");
    EXPECT_EQ(TextOf(column, IDC_COLUMN_PREVIEW_TEXT), "b\r\ne\r\nh");
    Type(dialog, IDC_COLS_MASK, "%1-%2");
    EXPECT_EQ(TextOf(dialog, IDC_COLS_PREVIEW), "b-c\r\ne-f\r\nh-i");
    EXPECT_EQ(Text(), kColumnsText) << "previews leave the document alone";
    Shoot(dialog, "columns_dialog_270");
    Shoot(column, "column_preview_272");
    {
      ScriptedAnswerer answers;
      answers.Expect(::Text(TXT_MASK_HELP), kAskInfo, kAnswerOk);
      Click(dialog, IDC_COLS_MASK_HELP);
    }
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
  }));
  EXPECT_EQ(ColumnPreviewWindow(), nullptr) << "closed with the dialog";
  const ToolSettings &t = g_settings.tools;
  EXPECT_STREQ(t.CtMask, "%1-%2");
  EXPECT_EQ(t.CtView, 1);
  EXPECT_EQ(t.columns[0].CC, 1);
  EXPECT_EQ(t.columns[0].CFr, 2);
  EXPECT_STREQ(t.columns[0].CD, " ");
  EXPECT_EQ(t.columns[1].CFr, 3);
  EXPECT_EQ(t.columns[2].CC, 0);
  EXPECT_EQ(Text(), "b-c\r\ne-f\r\nh-i");
  SendMessageA(editor_, WM_UNDO, 0, 0);
  EXPECT_EQ(Text(), kColumnsText) << "one undo step";

  SetText("1 2 3\r\n4 5 6");
  SelectAll();
  EXPECT_FALSE(WithDialog([] { EXPECT_EQ(Command(IDM_TOOLS_LAST_TOOL), 0); }, [](HWND dialog) {
    ADD_FAILURE() << "Last Tool showed a dialog";
    EndDialog(dialog, IDCANCEL);
  }));
  EXPECT_EQ(Text(), "2-3\r\n5-6");

  // Reopened with the preview on, over a selection of 16,000 characters:
  // the preview takes its first 8,192.
  std::string many;
  for (int i = 0; i < 2000; i++) many += "1 2 34\r\n";
  SetText(many);
  SelectAll();
  EXPECT_TRUE(WithDialog([] { EXPECT_EQ(Command(IDM_TOOL_COLUMNS), 1); }, [](HWND dialog) {
    EXPECT_TRUE(IsChecked(dialog, IDC_COLS_PREVIEW_ON));
    const std::string preview = TextOf(dialog, IDC_COLS_PREVIEW);
    size_t lines = 0;
    for (size_t at = 0; (at = preview.find("2-34", at)) != std::string::npos; at++) lines++;
    EXPECT_EQ(lines, 8192u / 8) << "whole lines of the first 8,192 characters";
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  }));
}

// Cancel stores nothing and runs nothing; without automatic selection
// (TASel Disabled) an empty selection previews nothing and asks nothing.
TEST_F(SortColumnsDialogs, ColumnsDialogCancelChangesNothing) {
  auto before = std::make_unique<SettingsBlock>(g_settings);
  g_settings.tools.CtView = 1;
  g_settings.main.TASel = 0;
  SetText(kColumnsText);
  EXPECT_TRUE(WithDialog([] { EXPECT_EQ(Command(IDM_TOOL_COLUMNS), 1); }, [](HWND dialog) {
    EXPECT_EQ(TextOf(dialog, IDC_COLS_PREVIEW), "");
    Type(dialog, IDC_COLS_MASK, "[%0]");
    Click(dialog, IDC_COLS_NON_EMPTY);
    Type(dialog, IDC_COLS_COUNTER_STEP, "-2");
    ChooseTab(GetDlgItem(dialog, IDC_COLS_TABS), 4);
    Click(dialog, IDC_COLUMN_NOTHING);
    Click(dialog, IDC_COLS_PREVIEW_ON);
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  }));
  g_settings.tools.CtView = 0;
  g_settings.main.TASel = before->main.TASel;
  EXPECT_EQ(memcmp(&g_settings.tools, &before->tools, sizeof g_settings.tools), 0);
  EXPECT_EQ(Text(), kColumnsText);
  EXPECT_FALSE(HasLastTool());
}

}  // namespace
