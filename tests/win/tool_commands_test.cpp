// The text tools from the frame's commands: the runner through the editor's
// host (automatic selection and its question, one undo step, the worker and
// the inline run alike), the menu states, the Quote dialog and the Last Tool
// without it, the Last Tool from the search and from EDM_RUNLASTTOOL, Tab
// over lines, Fun Case's refusal, and Complete Word with its list.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/search_commands.h"
#include "config/config_state.h"
#include "editor/editor_commands.h"
#include "editor/editor_messages.h"
#include "foundation/texts.h"
#include "resources/resource.h"
#include "search/search_run.h"
#include "tests/support/scripted_answerer.h"
#include "tests/win/frame_fixture.h"
#include "tests/win/gui_helpers.h"
#include "tools/grep_tools.h"
#include "tools/text_tools.h"

namespace {

class ToolCommands : public FrameTest {
 protected:
  void TearDown() override {
    SetControl(false);
    FrameTest::TearDown();
  }

  // The text, with the caret put where the tool's auto-selection starts.
  void SetText(const std::string &text, DWORD caret = 0) {
    FrameTest::SetText(text);
    Select(caret, caret);
  }
  static bool Grey(int id) {
    HMENU menu = GetMenu(g_app.mainWindow);
    SendMessageA(g_app.mainWindow, WM_INITMENU, reinterpret_cast<WPARAM>(menu), 0);
    return (GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED) != 0;
  }
  static void SetControl(bool down) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = down ? 0x80 : 0;
    SetKeyboardState(keys);
  }
  // A key as the dialog's message loop hands it over.
  static void DialogKey(HWND dialog, HWND control, WPARAM key) {
    MSG m = {control, WM_KEYDOWN, key, 0, 0, {0, 0}};
    if (!IsDialogMessageA(dialog, &m)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
  }
};

// A case tool on the caret's line (TASel Line) is one undo step; the menu
// enables the built tools and the Last Tool once one ran; with TASel off
// the question comes first: No changes nothing, Yes selects everything.
TEST_F(ToolCommands, CaseToolTakesTheCaretsLineAndAsksWithoutAutoSelection) {
  EXPECT_TRUE(Grey(IDM_TOOLS_LAST_TOOL)) << "no tool has run";
  EXPECT_FALSE(Grey(IDM_TOOL_UPPER_CASE) || Grey(IDM_TOOL_QUOTE) || Grey(IDM_EDIT_COMPLETE_WORD));
  EXPECT_FALSE(Grey(32620) || Grey(IDM_TOOL_COMPARE) || Grey(IDM_TOOL_STATISTICS)) << "every tool is built";
  EXPECT_EQ(Command(33000), 2) << "an id of the tools' range without a tool is no command";

  SetText("one two\r\nthree four\r\nfive", 12);
  EXPECT_EQ(Command(IDM_TOOL_UPPER_CASE), 0);
  EXPECT_EQ(Text(), "one two\r\nTHREE FOUR\r\nfive");
  EXPECT_FALSE(Grey(IDM_TOOLS_LAST_TOOL));
  SendMessageA(editor_, WM_UNDO, 0, 0);
  EXPECT_EQ(Text(), "one two\r\nthree four\r\nfive") << "one undo step";

  g_settings.main.TASel = 0;
  SetText("abc\r\ndef", 1);
  {
    ScriptedAnswerer answers;
    answers.Expect(::Text(TXT_NEEDS_SELECTION), kAskYesNo, kAnswerNo);
    EXPECT_EQ(Command(IDM_TOOL_UPPER_CASE), 1);
  }
  EXPECT_EQ(Text(), "abc\r\ndef");
  EXPECT_EQ(Selection(), std::make_pair(1ul, 1ul));
  // Yes; a command posted while the question is up waits for the run's end.
  int asked = 0;
  const Answerer yes = {[](void *context, WindowRef, const char *q, AskKind kind) {
                          EXPECT_STREQ(q, ::Text(TXT_NEEDS_SELECTION));
                          EXPECT_EQ(kind, kAskYesNo);
                          if ((*static_cast<int *>(context))++ == 0) {
                            PostMessageA(g_app.mainWindow, WM_COMMAND, 31020, 0);  // All Lower Case
                            PumpMessages();
                          }
                          return static_cast<int>(kAnswerYes);
                        },
                        &asked};
  const Answerer *previous = InstallAnswerer(&yes);
  EXPECT_EQ(Command(IDM_TOOL_UPPER_CASE), 0);
  InstallAnswerer(previous);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(Text(), "ABC\r\nDEF");
  EXPECT_EQ(Selection(), std::make_pair(0ul, 8ul));
  PumpMessages();
  EXPECT_EQ(Text(), "abc\r\ndef") << "the posted command ran after the tool";
}

// A worker tool gives on the worker the text it gives inline, on a few MB.
TEST_F(ToolCommands, WorkerAndInlineRunsAgree) {
  std::string text;
  for (unsigned i = 0; text.size() < 3u << 20; i++) {
    text.append(i % 7, ' ');
    if (i % 3 == 0) text += '\t';
    text += "word " + std::to_string(i);
    text.append(i % 5, ' ');
    text += i % 11 ? "\r\n" : "\n";
  }
  std::string results[2];
  for (int noThread = 0; noThread < 2; noThread++) {
    g_settings.main.TNoThrd = noThread;
    SetText(text);
    Select(0, static_cast<DWORD>(text.size()));
    EXPECT_EQ(Command(32410), 0);  // Tabify
    EXPECT_EQ(Command(32110), 0);  // Trim Tail Spaces
    results[noThread] = Text();
    SendMessageA(editor_, WM_UNDO, 0, 0);
    SendMessageA(editor_, WM_UNDO, 0, 0);
    EXPECT_TRUE(Text() == text) << "two tools, two undo steps";
  }
  EXPECT_NE(results[0], text);
  EXPECT_LT(results[0].size(), text.size());
  EXPECT_TRUE(results[0] == results[1]);
}

// Quote's dialog: its texts, Ctrl+Tab typing a tab, Cancel changing nothing,
// OK storing the settings and quoting (keeping the lines selected); then the
// Last Tool quotes again without the dialog.
TEST_F(ToolCommands, QuoteDialogStoresItsSettingsAndLastToolRepeatsWithoutIt) {
  SetText("a\r\n\r\nc\r\nd");
  Select(0, 6);
  EXPECT_TRUE(WithDialog([] { EXPECT_EQ(Command(IDM_TOOL_QUOTE), 1); }, [](HWND dialog) {
    SetDlgItemTextA(dialog, IDC_TOOL_EDIT, "#");
    CheckDlgButton(dialog, IDC_TOOL_CHECK, BST_CHECKED);
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  }));
  EXPECT_EQ(Text(), "a\r\n\r\nc\r\nd");
  EXPECT_STREQ(g_settings.tools.QtText, "");
  EXPECT_EQ(g_settings.tools.QtEmpty, 0);
  EXPECT_FALSE(HasLastTool()) << "a cancelled dialog runs nothing";

  EXPECT_TRUE(WithDialog([] { EXPECT_EQ(Command(IDM_TOOL_QUOTE), 0); }, [](HWND dialog) {
    auto text = [&](int id) {
      char t[128] = {};
      GetDlgItemTextA(dialog, id, t, sizeof t);
      return std::string(t);
    };
    EXPECT_EQ(text(IDC_TOOL_CHECK), "Quote non-&empty lines only");
    EXPECT_EQ(text(IDC_TOOL_CHECK + 1), "&Skip leading spaces");
    EXPECT_EQ(text(IDC_TOOL_NOTE), "Press Ctrl+Tab to insert a Tab character into the edit box.");
    EXPECT_EQ(text(IDOK), "Quote");
    EXPECT_EQ(text(IDCANCEL), "Cancel");
    HWND edit = GetDlgItem(dialog, IDC_TOOL_EDIT);
    EXPECT_EQ(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), 1023);
    SetWindowTextA(edit, ">");
    SendMessageA(edit, EM_SETSEL, 1, 1);
    DialogKey(dialog, edit, VK_TAB);  // a plain Tab is the dialog's
    EXPECT_EQ(text(IDC_TOOL_EDIT), ">");
    SetControl(true);
    DialogKey(dialog, edit, VK_TAB);
    SetControl(false);
    EXPECT_EQ(text(IDC_TOOL_EDIT), ">\t");
    CheckDlgButton(dialog, IDC_TOOL_CHECK, BST_CHECKED);
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
  }));
  EXPECT_STREQ(g_settings.tools.QtText, ">\t");
  EXPECT_EQ(g_settings.tools.QtEmpty, 1);
  EXPECT_EQ(g_settings.tools.QtSpace, 0);
  EXPECT_EQ(Text(), ">\ta\r\n\r\n>\tc\r\nd") << "non-empty lines only; the fourth line untouched";
  EXPECT_EQ(Selection(), std::make_pair(0ul, 10ul)) << "the quoted lines stay selected";
  EXPECT_FALSE(WithDialog([] { EXPECT_EQ(Command(IDM_TOOLS_LAST_TOOL), 0); }, [](HWND dialog) {
    ADD_FAILURE() << "Last Tool showed a dialog";
    EndDialog(dialog, IDCANCEL);
  }));
  EXPECT_EQ(Text(), ">\t>\ta\r\n\r\n>\t>\tc\r\nd");
}

// Enclose, XML/HTML Tag and Translate: each dialog shows its labels and
// fields, Cancel changes nothing, OK stores the fields and runs the tool;
// Tag starts without the last attributes and Empty flag unless the settings
// keep them.
TEST_F(ToolCommands, TextMenuDialogsStoreTheirFieldsAndRun) {
  struct Case {
    int id;
    const char *caption, *edit0, *edit1;
    UINT check0, check1;
    const char *text, *want;
    std::pair<DWORD, DWORD> selected;
  } const cases[] = {
      {IDM_TOOL_ENCLOSE, "Enclose Selection", "[", "]", 0, 0, "x y", "[x] y", {0, 3}},
      {IDM_TOOL_TAG, "XML/HTML Tag", "i", "class=\"c\"", BST_UNCHECKED, 0, "x y", "<i class=\"c\">x</i> y", {13, 14}},
      {IDM_TOOL_TRANSLATE, "Translate Characters", "a-c", "A-C", BST_CHECKED, BST_UNCHECKED, "abcd e", "ABCd e", {0, 4}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.caption);
    SetText(c.text);
    Select(0, c.id == IDM_TOOL_TRANSLATE ? 4 : 1);
    const SettingsBlock before = g_settings;
    EXPECT_TRUE(WithDialog([&] { EXPECT_EQ(Command(c.id), 1); }, [&](HWND dialog) {
      SetDlgItemTextA(dialog, IDC_TOOL_EDIT, c.edit0);
      SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }));
    EXPECT_EQ(Text(), c.text);
    EXPECT_EQ(memcmp(&before.tools, &g_settings.tools, sizeof before.tools), 0);
    EXPECT_TRUE(WithDialog([&] { EXPECT_EQ(Command(c.id), 0); }, [&](HWND dialog) {
      char caption[64] = {};
      GetWindowTextA(dialog, caption, sizeof caption);
      EXPECT_STREQ(caption, c.caption);
      char note[128] = {};
      GetDlgItemTextA(dialog, IDC_TOOL_NOTE, note, sizeof note);
      EXPECT_STREQ(note, "Press Ctrl+Tab to insert a Tab character into the edit box.");
      SetDlgItemTextA(dialog, IDC_TOOL_EDIT, c.edit0);
      SetDlgItemTextA(dialog, IDC_TOOL_EDIT + 1, c.edit1);
      if (c.check0) CheckDlgButton(dialog, IDC_TOOL_CHECK, c.check0);
      if (c.check1) CheckDlgButton(dialog, IDC_TOOL_CHECK + 1, c.check1);
      SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    }));
    EXPECT_EQ(Text(), c.want);
    EXPECT_EQ(Selection(), c.selected);
    SendMessageA(editor_, WM_UNDO, 0, 0);
    EXPECT_EQ(Text(), c.text) << "one undo step";
  }
  EXPECT_STREQ(g_settings.tools.EnBefor, "[");
  EXPECT_STREQ(g_settings.tools.TrRepl, "A-C");
  EXPECT_EQ(g_settings.tools.TrEsc, 1);
  // Enclose on no selection puts the caret between the phrases.
  SetText("ab", 1);
  EXPECT_EQ(Command(IDM_TOOLS_LAST_TOOL), 0);  // Translate: nothing selected, the line is taken
  EXPECT_EQ(Text(), "AB");
  Select(1, 1);
  EXPECT_TRUE(WithDialog([&] { EXPECT_EQ(Command(IDM_TOOL_ENCLOSE), 0); },
                         [&](HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDOK, 0); }));
  EXPECT_EQ(Text(), "A[]B");
  EXPECT_EQ(Selection(), std::make_pair(2ul, 2ul));
  // EDM_TRANSLATE runs Translate with the record it is given.
  const TranslateSettings upper = {"a-z", "A-Z", 1, 0};
  SetText("mixed Case 1", 0);
  Select(0, 12);
  EXPECT_EQ(SendMessageA(editor_, EDM_TRANSLATE, reinterpret_cast<WPARAM>(&upper), 0), 0);
  EXPECT_EQ(Text(), "MIXED CASE 1");
  // Tag: the attributes and the flag shown as kept, or empty.
  for (int keep = 0; keep < 2; keep++) {
    g_settings.main.TXMLAtr = g_settings.main.TXMLEmp = keep;
    g_settings.tools.XmlEmpt = 1;
    EXPECT_TRUE(WithDialog([&] { Command(IDM_TOOL_TAG); }, [&](HWND dialog) {
      char attributes[64] = {};
      GetDlgItemTextA(dialog, IDC_TOOL_EDIT + 1, attributes, sizeof attributes);
      EXPECT_STREQ(attributes, keep ? "class=\"c\"" : "");
      EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_TOOL_CHECK), keep ? BST_CHECKED : BST_UNCHECKED);
      SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }));
    EXPECT_STREQ(g_settings.tools.XmlAttr, "class=\"c\"") << "Cancel keeps them";
  }
}

// Find Duplicates' dialog: the job as radio buttons, counting greyed for
// unique lines only, Cancel changing nothing, OK storing and running;
// Unique ignoring case from its key.
TEST_F(ToolCommands, FindDuplicatesDialogAndUniqueKeys) {
  SetText("x\r\ny\r\nX\r\nx");
  Select(0, 10);
  EXPECT_TRUE(WithDialog([&] { EXPECT_EQ(Command(IDM_TOOL_FIND_DUPLICATES), 1); }, [&](HWND dialog) {
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_TOOL_RADIO), BST_CHECKED);
    CheckRadioButton(dialog, IDC_TOOL_RADIO, IDC_TOOL_RADIO + 2, IDC_TOOL_RADIO + 1);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_TOOL_RADIO + 1, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_TOOL_CHECK + 2))) << "nothing to count";
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  }));
  EXPECT_EQ(g_settings.tools.UniJob, 0);
  EXPECT_EQ(Text(), "x\r\ny\r\nX\r\nx");
  EXPECT_TRUE(WithDialog([&] { EXPECT_EQ(Command(IDM_TOOL_FIND_DUPLICATES), 0); }, [&](HWND dialog) {
    char text[64] = {};
    GetDlgItemTextA(dialog, IDC_TOOL_RADIO + 2, text, sizeof text);
    EXPECT_STREQ(text, "Du&plicated lines only");
    CheckRadioButton(dialog, IDC_TOOL_RADIO, IDC_TOOL_RADIO + 2, IDC_TOOL_RADIO + 2);
    CheckDlgButton(dialog, IDC_TOOL_CHECK + 2, BST_CHECKED);
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
  }));
  EXPECT_EQ(g_settings.tools.UniJob, 2);
  EXPECT_EQ(g_settings.tools.UniDup, 1);
  EXPECT_EQ(Text(), "(2) x");
  SendMessageA(editor_, WM_UNDO, 0, 0);
  Select(0, 10);
  EXPECT_EQ(Command(32511), 0);
  EXPECT_EQ(Text(), "x\r\ny");
}

// Commit Wrapping makes every visual row a line of its own, with the
// document's newlines; greyed without word wrap.
TEST_F(ToolCommands, CommitWrappingMakesEachRowALine) {
  std::string text;
  for (int i = 0; i < 40; i++) text += "word" + std::to_string(i) + (i % 13 == 12 ? "\r\n" : " ");
  SetText(text);
  SendMessageA(editor_, EDM_SETWORDWRAP, 0, 0);
  EXPECT_TRUE(Grey(IDM_TOOL_COMMIT_WRAPPING));
  SetWindowPos(g_app.mainWindow, nullptr, 0, 0, 300, 400, SWP_NOMOVE | SWP_NOZORDER);
  SendMessageA(editor_, EDM_SETWORDWRAP, 1, 0);
  PumpMessages();
  EXPECT_FALSE(Grey(IDM_TOOL_COMMIT_WRAPPING));
  const Document *doc = EditorOf(editor_)->doc;
  const u32 rows = RowCount(&doc->store);
  std::vector<std::string> visual;
  for (u32 r = 0; r < rows; r++) {
    visual.push_back(text.substr(RowStart(&doc->store, r), RowAt(&doc->store, r).textLength));
  }
  ASSERT_GT(rows, 8u) << "the lines wrap";
  Select(0, static_cast<DWORD>(text.size()));
  EXPECT_EQ(Command(IDM_TOOL_COMMIT_WRAPPING), 0);
  std::string want;
  for (u32 r = 0; r < rows; r++) want += visual[r] + (r + 1 < rows ? "\r\n" : "");
  EXPECT_EQ(Text(), want);
  SendMessageA(editor_, WM_UNDO, 0, 0);
  EXPECT_EQ(Text(), text);
}

// The Last Tool on every search occurrence (one undo), on one, and through
// the editor's EDM_RUNLASTTOOL while its nesting counter is raised.
TEST_F(ToolCommands, LastToolRunsOnSearchOccurrencesAndFromTheEditorsRequest) {
  SetText("x", 0);
  EXPECT_EQ(Command(IDM_TOOL_UPPER_CASE), 0);
  SetText("one two one two");
  strcpy(g_settings.opts.bar[0].Patt, "one");
  for (int noThread = 0; noThread < 2; noThread++) {
    g_settings.main.FNoThrd = noThread;
    ScriptedAnswerer answers;
    answers.Expect("Total replacements: 2", kAskInfo, kAnswerOk);
    EXPECT_EQ(RunSearch(0, kSearchLastToolAll | kSearchLastTool | kSearchFromStart), 2);
    EXPECT_EQ(Text(), "ONE two ONE two");
    SendMessageA(editor_, WM_UNDO, 0, 0);
    EXPECT_EQ(Text(), "one two one two") << "one undo";
  }
  strcpy(g_settings.opts.bar[0].Patt, "two");
  Select(0, 0);
  EXPECT_EQ(RunSearch(0, kSearchLastTool | kSearchFromStart), 1);
  EXPECT_EQ(Text(), "one TWO one two");
  EXPECT_EQ(Selection(), std::make_pair(12ul, 15ul)) << "the next one selected";
  EXPECT_EQ(SendMessageA(editor_, EDM_RUNLASTTOOL, 4, reinterpret_cast<LPARAM>("text")), 1);
  EXPECT_EQ(Text(), "one TWO one TWO");
  EXPECT_EQ(EditorOf(editor_)->toolNesting, 0);
}

// Tab and Shift+Tab over lines indent and unindent them (AutoTab) without
// becoming the Last Tool; Ctrl+Tab is Indent as an ordinary tool.
TEST_F(ToolCommands, TabOverLinesIndentsWithoutBecomingTheLastTool) {
  SetText("A\r\nB\r\nC\r\nD");
  Select(9, 10);
  EXPECT_EQ(Command(31020), 0);  // All Lower Case: the Last Tool
  Select(0, 9);
  EXPECT_EQ(Command(IDM_EDIT_TAB), 0);
  EXPECT_EQ(Text(), "\tA\r\n\tB\r\n\tC\r\nd");
  EXPECT_EQ(Command(IDM_TOOLS_LAST_TOOL), 0);
  EXPECT_EQ(Text(), "\ta\r\n\tb\r\n\tc\r\nd") << "the Last Tool is still All Lower Case";
  EXPECT_EQ(Command(IDM_EDIT_SHIFT_TAB), 0);
  EXPECT_EQ(Text(), "a\r\nb\r\nc\r\nd");
  // Within one line Tab types a tab; with AutoTab off, over lines too.
  Select(0, 1);
  EXPECT_EQ(Command(IDM_EDIT_TAB), 0);
  EXPECT_EQ(Text(), "\t\r\nb\r\nc\r\nd");
  g_settings.edit.AutoTab = 0;
  Select(3, 6);
  EXPECT_EQ(Command(IDM_EDIT_TAB), 0);
  EXPECT_EQ(Text(), "\t\r\n\tc\r\nd");
  // Ctrl+Tab becomes the Last Tool.
  g_settings.edit.AutoTab = 1;
  Select(0, 6);
  EXPECT_EQ(Command(IDM_TOOL_INDENT), 0);
  EXPECT_EQ(Command(IDM_TOOLS_LAST_TOOL), 0);
  EXPECT_EQ(Text(), "\t\t\t\r\n\t\t\tc\r\nd");
}

// From the 33rd use on, Fun Case may refuse: one of its four texts is shown
// and the text stays as it was.
TEST_F(ToolCommands, FunCaseRefusalShowsItsTextAndChangesNothing) {
  ResetFunCaseCounters();
  const char *refusals[] = {"Knock it off!", "No way!", "Really? No..", "Are we there yet?"};
  ScriptedAnswerer answers;
  for (const char *r : refusals) answers.Allow(r, kAskWarning, kAnswerOk);
  int refusedAt = 0;
  for (int use = 1; use <= 400 && !refusedAt; use++) {
    SetText("some words here");
    Select(0, 15);
    const std::string before = Text();
    const size_t asked = answers.asked().size();
    const LRESULT r = Command(IDM_TOOL_FUN_CASE);
    if (answers.asked().size() == asked) {
      EXPECT_EQ(r, 0);
      continue;
    }
    refusedAt = use;
    EXPECT_EQ(r, 1);
    EXPECT_EQ(Text(), before);
    EXPECT_EQ(SendMessageA(editor_, EM_CANUNDO, 0, 0), 0);
  }
  EXPECT_GT(refusedAt, 32) << "never within the first 32 uses";
}

// Complete Word: one candidate inserted as one edit; a shared continuation
// (CWLong); the list for several (nearest first), chosen by Enter or a
// double-click, cancelled by Esc; no partial word: nothing. Never the Last
// Tool.
TEST_F(ToolCommands, CompleteWordInsertsTheRemainderOrOffersTheList) {
  SetText("beta be", 7);
  EXPECT_EQ(Command(IDM_EDIT_COMPLETE_WORD), 0);
  EXPECT_EQ(Text(), "beta beta");
  SendMessageA(editor_, WM_UNDO, 0, 0);
  EXPECT_EQ(Text(), "beta be");
  SetText("alpha alphabet al", 17);
  EXPECT_EQ(Command(IDM_EDIT_COMPLETE_WORD), 0);
  EXPECT_EQ(Text(), "alpha alphabet alpha");

  const struct {
    int cwLong, choose;  // choose: 0 Esc, 1 Enter, 2 double-click
    const char *result;
  } kCases[] = {{1, 1, "apple apricot apple"}, {0, 2, "apple apricot apricot"}, {0, 0, "apple apricot ap"}};
  for (const auto &c : kCases) {
    g_settings.edit.CWLong = c.cwLong;
    SetText("apple apricot ap", 16);
    const int choose = c.choose;
    EXPECT_TRUE(WithDialog([&] { EXPECT_EQ(Command(IDM_EDIT_COMPLETE_WORD), choose ? 0 : 1); }, [&](HWND dialog) {
      EXPECT_NE(GetWindowLongA(dialog, GWL_STYLE) & WS_CAPTION, static_cast<LONG>(WS_CAPTION)) << "no caption";
      HWND list = GetDlgItem(dialog, IDC_COMPLETE_LIST);
      ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 2);
      char item[32] = {};
      SendMessageA(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(item));
      EXPECT_STREQ(item, "apricot") << "nearest first";
      if (choose == 0) {
        DialogKey(dialog, list, VK_ESCAPE);
      } else if (choose == 1) {
        SendMessageA(list, LB_SETCURSEL, 1, 0);
        DialogKey(dialog, list, VK_RETURN);
      } else {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_COMPLETE_LIST, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
      }
    }));
    EXPECT_EQ(Text(), c.result);
  }
  SetText("abc ", 4);
  EXPECT_EQ(Command(IDM_EDIT_COMPLETE_WORD), 1);
  EXPECT_EQ(Text(), "abc ");
  EXPECT_FALSE(HasLastTool());
}

}  // namespace

namespace {

class GrepDialogs : public ToolCommands {};

std::string ItemText(HWND dialog, int control) {
  std::string s(70000, '\0');
  s.resize(static_cast<size_t>(GetDlgItemTextA(dialog, control, &s[0], static_cast<int>(s.size()))));
  return s;
}

// Grep's dialog: the enabling rules, the box limit, negative context shown
// as 0, the line-number base (1 at start-up, kept by OK); a run reports its
// count; Cancel changes nothing.
TEST_F(GrepDialogs, GrepEnablingRulesAndRun) {
  SetText("ok\r\nerr1\r\nok2\r\nerr3");
  g_settings.tools.GrBefor = -3;
  EXPECT_EQ(g_grepLineBase, 1u);
  auto enabled = [](HWND dialog, int c) { return IsWindowEnabled(GetDlgItem(dialog, c)) != FALSE; };
  auto click = [](HWND dialog, int c) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(c, BN_CLICKED), 0); };
  Select(0, 19);
  EXPECT_TRUE(WithDialog([&] { EXPECT_EQ(Command(IDM_TOOL_GREP), 1); }, [&](HWND dialog) {
    EXPECT_EQ(ItemText(dialog, IDC_GREP_BEFORE), "0");
    EXPECT_EQ(ItemText(dialog, IDC_GREP_BASE), "1");
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_GREP_FIND, EM_GETLIMITTEXT, 0, 0), 65534);
    EXPECT_EQ(ItemText(dialog, IDC_GREP_ESCAPES), "&Escapes (\\n \\t ..)");
    EXPECT_TRUE(enabled(dialog, IDC_GREP_EMPTY));
    CheckRadioButton(dialog, IDC_GREP_KEEP, IDC_GREP_REMOVE, IDC_GREP_REMOVE);
    click(dialog, IDC_GREP_REMOVE);
    EXPECT_FALSE(enabled(dialog, IDC_GREP_EMPTY)) << "keep mode only";
    EXPECT_TRUE(enabled(dialog, IDC_GREP_AFTER));
    CheckDlgButton(dialog, IDC_GREP_ONLY, BST_CHECKED);
    click(dialog, IDC_GREP_ONLY);
    EXPECT_FALSE(enabled(dialog, IDC_GREP_AFTER));
    EXPECT_FALSE(enabled(dialog, IDC_GREP_BEFORE));
    EXPECT_TRUE(enabled(dialog, IDC_GREP_ESCAPES));
    CheckDlgButton(dialog, IDC_GREP_REGEXPS, BST_CHECKED);
    click(dialog, IDC_GREP_REGEXPS);
    EXPECT_FALSE(enabled(dialog, IDC_GREP_ESCAPES));
    SetDlgItemTextA(dialog, IDC_GREP_FIND, "err");
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  }));
  EXPECT_EQ(g_settings.tools.GrRem, 0) << "Cancel stores nothing";
  EXPECT_EQ(Text(), "ok\r\nerr1\r\nok2\r\nerr3");
  ScriptedAnswerer script;
  script.Expect("Total matches: 2", kAskWarning, kAnswerOk);
  EXPECT_TRUE(WithDialog([&] { EXPECT_EQ(Command(IDM_TOOL_GREP), 0); }, [&](HWND dialog) {
    SetDlgItemTextA(dialog, IDC_GREP_FIND, "ERR");
    CheckDlgButton(dialog, IDC_GREP_NUMBERS, BST_CHECKED);
    SetDlgItemTextA(dialog, IDC_GREP_AFTER, "-2");
    SetDlgItemTextA(dialog, IDC_GREP_BASE, "10");
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
  }));
  EXPECT_STREQ(g_settings.tools.GrFind, "ERR");
  EXPECT_EQ(g_settings.tools.GrAfter, 0);
  EXPECT_EQ(g_grepLineBase, 10u);
  EXPECT_EQ(Text(), "11:err1\r\n13:err3");
  g_grepLineBase = 1;
}

// Extended Replace's dialog: Escape and UnEscape convert both boxes and
// back; OK stores and replaces within the selection as one undo step.
TEST_F(GrepDialogs, ExtendedReplaceRoundTrip) {
  SetText("a\tb a\tb\r\nc");
  Select(0, 7);
  EXPECT_TRUE(WithDialog([&] { EXPECT_EQ(Command(IDM_TOOL_EXTENDED_REPLACE), 0); }, [&](HWND dialog) {
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_XREP_REPLACE, EM_GETLIMITTEXT, 0, 0), 65534);
    SetDlgItemTextA(dialog, IDC_XREP_FIND, "a\tb");
    SetDlgItemTextA(dialog, IDC_XREP_REPLACE, "x\\y");
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_XREP_ESCAPE, BN_CLICKED), 0);
    EXPECT_EQ(ItemText(dialog, IDC_XREP_FIND), "a\\tb");
    EXPECT_EQ(ItemText(dialog, IDC_XREP_REPLACE), "x\\\\y");
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_XREP_UNESCAPE, BN_CLICKED), 0);
    EXPECT_EQ(ItemText(dialog, IDC_XREP_FIND), "a\tb");
    EXPECT_EQ(ItemText(dialog, IDC_XREP_REPLACE), "x\\y");
    CheckDlgButton(dialog, IDC_XREP_MIMIC, BST_CHECKED);
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
  }));
  EXPECT_STREQ(g_settings.tools.RepPatt, "a\tb");
  EXPECT_EQ(g_settings.tools.RepMim, 1);
  EXPECT_EQ(Text(), "x\\y x\\y\r\nc");
  SendMessageA(editor_, WM_UNDO, 0, 0);
  EXPECT_EQ(Text(), "a\tb a\tb\r\nc");
}

}  // namespace
