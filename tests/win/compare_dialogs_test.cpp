// Compare (320) and Statistics (230) from the frame's commands: the boxes
// loaded from the selection, identical and different texts with the scripted
// message and both boxes selected from the difference, the options stored,
// the editor's font with TCmpFnt, the strings in the INI only with TCmpSv;
// the counts of the selection and of the document, the Selection column
// hidden without a selection; neither changes the document nor becomes the
// Last Tool.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <utility>

#include "app/app_state.h"
#include "app/main_window.h"
#include "config/config_io.h"
#include "config/config_state.h"
#include "editor/editor_commands.h"
#include "editor/editor_messages.h"
#include "editor/editor_window.h"
#include "resources/resource.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"
#include "tests/win/editor_harness.h"
#include "tests/win/frame_fixture.h"
#include "tests/win/gui_helpers.h"
#include "tools/compare_statistics.h"

namespace {

const char kDiffer[] = "Given texts differ!\nUnequal parts has been selected.";
const char kIdentical[] = "Both texts are identical.";

class CompareDialogs : public FrameTest {
 protected:
  static bool LastToolGrey() {
    HMENU menu = GetMenu(g_app.mainWindow);
    SendMessageA(g_app.mainWindow, WM_INITMENU, reinterpret_cast<WPARAM>(menu), 0);
    return (GetMenuState(menu, IDM_TOOLS_LAST_TOOL, MF_BYCOMMAND) & MF_GRAYED) != 0;
  }
};

std::string TextOf(HWND dialog, int id) {
  char text[256] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}
std::pair<DWORD, DWORD> SelectionOf(HWND dialog, int id) {
  DWORD a = 0, b = 0;
  SendDlgItemMessageA(dialog, id, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
  return {a, b};
}
// Shown, whether or not the dialog itself is on the screen yet.
bool Shown(HWND dialog, int id) { return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0; }
// The window as the screen shows it, saved as a picture into QP_SHOTS.
void Shoot(HWND window, const char *name) {
  if (!getenv("QP_SHOTS")) return;
  if (!IsWindowVisible(window)) ShowWindow(window, SW_SHOWNORMAL);
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
void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Both boxes loaded from the selection; different texts: the message, and
// each box selected from its first differing character to its end; with
// the options, identical texts; the texts and options are stored.
TEST_F(CompareDialogs, CompareLoadsSelectionsAndSelectsTheDifference) {
  strcpy(g_settings.tools.CmpStr1, "kept from last time");
  const std::string text("one abc\nabd t\0o", 15);
  SetText(text);
  Select(4, 7);
  EXPECT_TRUE(WithDialog([] { EXPECT_EQ(Command(IDM_TOOL_COMPARE), 0); }, [&](HWND dialog) {
    EXPECT_EQ(TextOf(dialog, IDC_CMP_TEXT1), "kept from last time");
    EXPECT_EQ(TextOf(dialog, IDC_CMP_LOAD1), "Load Selection &1");
    EXPECT_EQ(TextOf(dialog, IDC_CMP_LOAD2), "Load Selection &2");
    EXPECT_EQ(TextOf(dialog, IDC_CMP_COMPARE), "Co&mpare");
    Click(dialog, IDC_CMP_LOAD1);
    Select(8, 11);
    Click(dialog, IDC_CMP_LOAD2);
    EXPECT_EQ(TextOf(dialog, IDC_CMP_TEXT1), "abc");
    EXPECT_EQ(TextOf(dialog, IDC_CMP_TEXT2), "abd");
    {
      ScriptedAnswerer answers;
      answers.Expect(kDiffer, kAskWarning, kAnswerOk);
      Click(dialog, IDC_CMP_COMPARE);
    }
    EXPECT_EQ(SelectionOf(dialog, IDC_CMP_TEXT1), std::make_pair(2ul, 3ul));
    EXPECT_EQ(SelectionOf(dialog, IDC_CMP_TEXT2), std::make_pair(2ul, 3ul));
    // A newline goes in as the box writes it, a NUL as a space.
    Select(4, 11);
    Click(dialog, IDC_CMP_LOAD1);
    EXPECT_EQ(TextOf(dialog, IDC_CMP_TEXT1), "abc\r\nabd");
    Select(12, 15);
    Click(dialog, IDC_CMP_LOAD2);
    EXPECT_EQ(TextOf(dialog, IDC_CMP_TEXT2), "t o");
    // Longer texts: each box from its own offset.
    SetDlgItemTextA(dialog, IDC_CMP_TEXT1, "x  Hello\r\nworld");
    SetDlgItemTextA(dialog, IDC_CMP_TEXT2, "x hello world!!");
    const struct {
      bool ic, is, in;
      const char *answer;
      DWORD at1, at2;
    } runs[] = {
        {false, false, false, kDiffer, 2, 2},
        {false, true, false, kDiffer, 3, 2},
        {true, true, false, kDiffer, 8, 8},
        {true, true, true, kDiffer, 15, 13},
    };
    for (const auto &r : runs) {
      CheckDlgButton(dialog, IDC_CMP_IGNORE_CASE, r.ic ? BST_CHECKED : BST_UNCHECKED);
      CheckDlgButton(dialog, IDC_CMP_IGNORE_SPACES, r.is ? BST_CHECKED : BST_UNCHECKED);
      CheckDlgButton(dialog, IDC_CMP_IGNORE_NEWLINES, r.in ? BST_CHECKED : BST_UNCHECKED);
      ScriptedAnswerer answers;
      answers.Expect(r.answer, kAskWarning, kAnswerOk);
      Click(dialog, IDC_CMP_COMPARE);
      EXPECT_EQ(SelectionOf(dialog, IDC_CMP_TEXT1), std::make_pair(r.at1, 15ul)) << r.ic << r.is << r.in;
      EXPECT_EQ(SelectionOf(dialog, IDC_CMP_TEXT2), std::make_pair(r.at2, 15ul)) << r.ic << r.is << r.in;
    }
    SetDlgItemTextA(dialog, IDC_CMP_TEXT2, "X hello \r\n world \r\n");
    {
      ScriptedAnswerer answers;
      answers.Expect(kIdentical, kAskInfo, kAnswerOk);
      Click(dialog, IDC_CMP_COMPARE);
    }
    Shoot(dialog, "compare_dialog_320");
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  }));
  const ToolSettings &t = g_settings.tools;
  EXPECT_STREQ(t.CmpStr1, "x  Hello\r\nworld");
  EXPECT_STREQ(t.CmpStr2, "X hello \r\n world \r\n");
  EXPECT_EQ(std::make_pair(t.CmpIC, t.CmpIS), std::make_pair(1, 1));
  EXPECT_EQ(t.CmpIN, 1);
  EXPECT_EQ(Text(), text);
  EXPECT_EQ(SendMessageA(editor_, EM_CANUNDO, 0, 0), 0);
  EXPECT_TRUE(LastToolGrey()) << "never the Last Tool";
}

// The boxes take the editor's font with TCmpFnt; the strings reach the
// saved INI only with TCmpSv, the options always.
TEST_F(CompareDialogs, CompareFontAndSavedStrings) {
  const HFONT editorFont = EditorOf(editor_)->textFont;
  for (int font = 0; font < 2; font++) {
    g_settings.main.TCmpFnt = font;
    EXPECT_TRUE(WithDialog([] { Command(IDM_TOOL_COMPARE); }, [&](HWND dialog) {
      const HFONT shown = reinterpret_cast<HFONT>(SendDlgItemMessageA(dialog, IDC_CMP_TEXT2, WM_GETFONT, 0, 0));
      EXPECT_EQ(shown == editorFont, font == 1);
      SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }));
  }
  TempFolder dir;
  auto before = std::make_unique<SettingsBlock>(g_settings);
  auto baseline = std::make_unique<SettingsBlock>(g_baseline);
  EXPECT_TRUE(WithDialog([] { Command(IDM_TOOL_COMPARE); }, [&](HWND dialog) {
    SetDlgItemTextA(dialog, IDC_CMP_TEXT1, "first saved");
    SetDlgItemTextA(dialog, IDC_CMP_TEXT2, "second saved");
    CheckDlgButton(dialog, IDC_CMP_IGNORE_SPACES, BST_CHECKED);
    ScriptedAnswerer answers;
    answers.Expect(kDiffer, kAskWarning, kAnswerOk);
    Click(dialog, IDC_CMP_COMPARE);
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  }));
  for (int save = 1; save >= 0; save--) {
    const std::string ini = dir.File(save ? "with.ini" : "without.ini");
    ASSERT_TRUE(WriteBytes(ini, "\xEF\xBB\xBF"));
    g_baseline = *before;
    g_baseline.main.TCmpSv = g_settings.main.TCmpSv = save;
    g_config.noSave = 0;
    EXPECT_EQ(SaveConfig(nullptr, ini.c_str(), false, false), 0);
    g_config.noSave = 1;
    const std::string saved = ReadBytes(ini);
    EXPECT_NE(saved.find("CmpIS=1"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("CmpStr1=first saved") != std::string::npos, save == 1) << saved;
    EXPECT_EQ(saved.find("CmpStr2=second saved") != std::string::npos, save == 1) << saved;
  }
  g_baseline = *baseline;
}

// The counts of the selection and of the document; without a selection the
// Selection column is hidden; nothing changes.
TEST_F(CompareDialogs, StatisticsShowsTheSelectionColumnOnlyWithASelection) {
  const std::string text = "Hello world. bye.\r\n\r\nNext  line\r\n";
  SetText(text);
  TextStatistics whole, part;
  CountTextStatistics(text.data(), static_cast<u32>(text.size()), &whole);
  CountTextStatistics(text.data(), 5, &part);
  for (bool selected : {true, false}) {
    Select(selected ? 0 : 3, selected ? 5 : 3);
    EXPECT_TRUE(WithDialog([] { EXPECT_EQ(Command(IDM_TOOL_STATISTICS), 0); }, [&](HWND dialog) {
      EXPECT_EQ(Shown(dialog, IDC_STATS_SELECTION_HEAD), selected);
      for (int k = 0; k < kStatCount; k++) {
        EXPECT_EQ(TextOf(dialog, IDC_STATS_DOCUMENT + k), std::to_string(whole.count[k])) << k;
        EXPECT_EQ(Shown(dialog, IDC_STATS_SELECTION + k), selected) << k;
        if (selected) {
          EXPECT_EQ(TextOf(dialog, IDC_STATS_SELECTION + k), std::to_string(part.count[k])) << k;
        }
      }
      EXPECT_EQ(TextOf(dialog, IDC_STATS_DOCUMENT + kStatWords), "5");
      EXPECT_EQ(TextOf(dialog, IDC_STATS_DOCUMENT + kStatSentences), "1");
      EXPECT_EQ(TextOf(dialog, IDC_STATS_DOCUMENT + kStatParagraphs), "2");
      Shoot(dialog, selected ? "statistics_dialog_230" : "statistics_dialog_230_no_selection");
      SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    }));
    DWORD a = 0, b = 0;
    SendMessageA(editor_, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
    EXPECT_EQ(std::make_pair(a, b), selected ? std::make_pair(0ul, 5ul) : std::make_pair(3ul, 3ul))
        << "the selection stays";
  }
  EXPECT_EQ(Text(), text);
  EXPECT_EQ(SendMessageA(editor_, EM_CANUNDO, 0, 0), 0);
  EXPECT_TRUE(LastToolGrey()) << "never the Last Tool";
}

}  // namespace
