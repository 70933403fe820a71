#include "app/compare_dialogs.h"

#include "app/app_state.h"
#include "app/tool_dialogs.h"
#include "config/config_state.h"
#include "editor/editor_window.h"
#include "editor/tool_commands.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/memory.h"
#include "foundation/numbers.h"
#include "resources/resource.h"
#include "tools/compare_statistics.h"
#include "tools/tool_table.h"
#include "tools/word_chars.h"

namespace {

const char kTextsDiffer[] = "Given texts differ!\nUnequal parts has been selected.";
const char kTextsIdentical[] = "Both texts are identical.";

// A box holds what its setting can: the buffer less its terminating zero.
constexpr u32 kCompareLimit = sizeof(ToolSettings::CmpStr1) - 1;
static_assert(sizeof(ToolSettings::CmpStr1) == sizeof(ToolSettings::CmpStr2), "both texts are alike");

EditorWindow *Editor() { return g_app.editorWindow ? EditorOf(g_app.editorWindow) : nullptr; }

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// ---- Compare ----

// The editor's selection into the box: at most the box's limit, never
// ending inside a pair or a CR LF; newlines as the box writes them (CR LF),
// a NUL as a space, since an edit box holds neither a lone one nor a NUL.
void LoadSelection(HWND dialog, int box) {
  EditorWindow *ed = Editor();
  if (!ed) return;
  const Document *doc = ed->doc;
  const u32 from = doc->selStart->position, to = doc->selEnd->position;
  const u32 room = kCompareLimit + 2;
  char *text = static_cast<char *>(Allocate(room));
  if (!text) {
    AskUser(dialog, TXT_OUT_OF_MEMORY, kAskWarning);
    return;
  }
  u32 n = ReadText(&doc->store, from, to, text, room - 1, kReadHardCR | kReadHardLF | kReadNulToSpace, nullptr);
  u32 end = 0;
  while (end < n) {
    const u32 step = text[end] == '\r' && end + 1 < n && text[end + 1] == '\n' ? 2 : ReadTextChar(text, end, n).length;
    if (end + step > kCompareLimit) break;
    end += step;
  }
  text[end] = 0;
  SetDlgItemTextA(dialog, box, text);
  Free(text);
}

void Compare(HWND dialog) {
  ToolSettings &t = g_settings.tools;
  GetDlgItemTextA(dialog, IDC_CMP_TEXT1, t.CmpStr1, sizeof t.CmpStr1);
  GetDlgItemTextA(dialog, IDC_CMP_TEXT2, t.CmpStr2, sizeof t.CmpStr2);
  t.CmpIC = Checked(dialog, IDC_CMP_IGNORE_CASE);
  t.CmpIS = Checked(dialog, IDC_CMP_IGNORE_SPACES);
  t.CmpIN = Checked(dialog, IDC_CMP_IGNORE_NEWLINES);
  const CompareOptions options = {t.CmpIC, t.CmpIS, t.CmpIN};
  u32 at1 = 0, at2 = 0;
  if (CompareTexts(t.CmpStr1, StrLen(t.CmpStr1), t.CmpStr2, StrLen(t.CmpStr2), options, &at1, &at2)) {
    AskUser(dialog, kTextsIdentical, kAskInfo);
    return;
  }
  // Both differing parts stay selected while the message is up and after.
  const int boxes[2] = {IDC_CMP_TEXT1, IDC_CMP_TEXT2};
  const u32 at[2] = {at1, at2};
  for (int k = 1; k >= 0; k--) {
    HWND box = GetDlgItem(dialog, boxes[k]);
    SetFocus(box);
    SendMessageA(box, EM_SETSEL, at[k], -1);
    SendMessageA(box, EM_SCROLLCARET, 0, 0);
  }
  AskUser(dialog, kTextsDiffer, kAskWarning);
}

void OnCompareInit(HWND dialog) {
  const ToolSettings &t = g_settings.tools;
  const char *texts[2] = {t.CmpStr1, t.CmpStr2};
  EditorWindow *ed = Editor();
  for (int k = 0; k < 2; k++) {
    HWND box = GetDlgItem(dialog, IDC_CMP_TEXT1 + k);
    SendMessageA(box, EM_LIMITTEXT, kCompareLimit, 0);
    SetWindowTextA(box, texts[k]);
    if (g_settings.main.TCmpFnt && ed && ed->textFont)
      SendMessageA(box, WM_SETFONT, reinterpret_cast<WPARAM>(ed->textFont), FALSE);
    AcceptCtrlTab(box);
  }
  CheckDlgButton(dialog, IDC_CMP_IGNORE_CASE, t.CmpIC ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_CMP_IGNORE_SPACES, t.CmpIS ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_CMP_IGNORE_NEWLINES, t.CmpIN ? BST_CHECKED : BST_UNCHECKED);
  CenterDialogOverOwner(dialog);
  SetFocus(GetDlgItem(dialog, IDC_CMP_TEXT1));
}

INT_PTR CALLBACK CompareDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      OnCompareInit(dialog);
      return FALSE;  // the focus is set
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_CMP_LOAD1:
        case IDC_CMP_LOAD2:
          LoadSelection(dialog, LOWORD(wParam) == IDC_CMP_LOAD1 ? IDC_CMP_TEXT1 : IDC_CMP_TEXT2);
          return TRUE;
        case IDC_CMP_COMPARE:
          Compare(dialog);
          return TRUE;
        case IDOK:  // Enter in a box with ES_WANTRETURN goes there; elsewhere it compares
          Compare(dialog);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

// ---- Statistics ----

struct StatisticsShown {
  TextStatistics selection, document;
  bool hasSelection;
};

void OnStatisticsInit(HWND dialog, const StatisticsShown *s) {
  for (int k = 0; k < kStatCount; k++) {
    char number[24];
    FormatNumber(number, s->document.count[k], 10, false);
    SetDlgItemTextA(dialog, IDC_STATS_DOCUMENT + k, number);
    HWND selection = GetDlgItem(dialog, IDC_STATS_SELECTION + k);
    FormatNumber(number, s->selection.count[k], 10, false);
    SetWindowTextA(selection, s->hasSelection ? number : "");
    ShowWindow(selection, s->hasSelection ? SW_SHOW : SW_HIDE);
  }
  ShowWindow(GetDlgItem(dialog, IDC_STATS_SELECTION_HEAD), s->hasSelection ? SW_SHOW : SW_HIDE);
  CenterDialogOverOwner(dialog);
}

INT_PTR CALLBACK StatisticsDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      OnStatisticsInit(dialog, reinterpret_cast<const StatisticsShown *>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// One run of the Statistics tool into `into`; the runner's result.
int Count(EditorWindow *ed, u32 extraFlags, TextStatistics *into) {
  ToolDescriptor tool;
  if (!DescribeTool(IDM_TOOL_STATISTICS, &tool)) return kResultCancelled;
  tool.flags |= extraFlags;
  tool.param = reinterpret_cast<ToolParam>(into);
  return RunEditorTool(ed, &tool);
}

}  // namespace

int RunCompareDialog(HWND owner) {
  DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_COMPARE), owner, CompareDlgProc, 0);
  return kResultDone;
}

int RunStatisticsDialog(HWND owner) {
  EditorWindow *ed = Editor();
  if (!ed || ToolRunning()) return kResultCancelled;
  StatisticsShown shown = {};
  shown.hasSelection = ed->doc->selStart->position != ed->doc->selEnd->position;
  int r = Count(ed, 0, &shown.selection);
  if (r == kResultDone) r = Count(ed, kToolWholeDocument, &shown.document);
  if (r != kResultDone) return r == kResultOutOfMemory ? r : kResultCancelled;
  DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_STATISTICS), owner, StatisticsDlgProc,
                  reinterpret_cast<LPARAM>(&shown));
  return kResultDone;
}
