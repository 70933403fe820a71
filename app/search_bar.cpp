#include "app/search_bar.h"

#include <string.h>

#include <initializer_list>

#include "app/app_state.h"
#include "app/file_commands.h"
#include "app/main_window.h"
#include "app/search_commands.h"
#include "config/config_lists.h"
#include "config/config_state.h"
#include "editor/editor_commands.h"
#include "editor/editor_messages.h"
#include "foundation/bytes.h"
#include "foundation/texts.h"
#include "resources/resource.h"
#include "search/search_run.h"

namespace {

struct BarState {
  int mode;
  bool withMessage;    // the last search from the bar ended with a message
  bool noMoreMatches;  // ... and it was "No more matches."
};
BarState g_bar;

// The record a search from the bar uses (scratch for the suggestion: a
// record is too big for the stack).
SearchBarSettings g_suggestion;

HWND Item(int id) { return GetDlgItem(g_app.searchBar, id); }
bool Checked(int id) { return IsDlgButtonChecked(g_app.searchBar, id) == BST_CHECKED; }
void SetCheck(int id, bool on) { CheckDlgButton(g_app.searchBar, id, on ? BST_CHECKED : BST_UNCHECKED); }
int Which() { return Checked(IDC_BAR_SECOND) ? 1 : 0; }

// The controls into the record of the search they edit, and the two
// options the bar shows.
void WriteBack() {
  SearchBarSettings &r = g_settings.opts.bar[Which()];
  GetDlgItemTextA(g_app.searchBar, IDC_BAR_FIND, r.Patt, sizeof r.Patt);
  GetDlgItemTextA(g_app.searchBar, IDC_BAR_REPLACE, r.Repl, sizeof r.Repl);
  r.Case = Checked(IDC_BAR_CASE);
  r.Wrds = Checked(IDC_BAR_WORDS);
  r.Escs = Checked(IDC_BAR_ESCAPES);
  r.RgEx = Checked(IDC_BAR_REGEXPS);
  r.NWA = !Checked(IDC_BAR_WRAP);
  r.Mim = Checked(IDC_BAR_MIMIC);
  g_settings.main.FInc = Checked(IDC_BAR_HIGHLIGHT);
  g_settings.main.FHist = Checked(IDC_BAR_HISTORY);
}

// ---- history ----

// The history the combo boxes list: FHistCL entries (0 to 50), newest first,
// each item keeping its slot.
void FillHistory() {
  int shown = g_settings.main.FHistCL;
  if (shown < 0) shown = 0;
  if (shown > kSearchHistory) shown = kSearchHistory;
  for (int box : {IDC_BAR_FIND, IDC_BAR_REPLACE}) {
    char text[sizeof g_settings.opts.bar[0].Patt];
    GetDlgItemTextA(g_app.searchBar, box, text, sizeof text);
    HWND combo = Item(box);
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    int listed = 0;
    for (int slot = kSearchHistory - 1; slot >= 0 && listed < shown; slot--) {
      const char *entry = box == IDC_BAR_FIND ? g_settings.lists.find[slot].Fnd : g_settings.lists.replace[slot].Rep;
      if (!entry[0]) continue;
      const LRESULT at = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
      if (at >= 0) SendMessageA(combo, CB_SETITEMDATA, static_cast<WPARAM>(at), slot);
      listed++;
    }
    SetDlgItemTextA(g_app.searchBar, box, text);
  }
}

// The pattern (and the replace text, with the replace row) with their
// options, when Keep history is on.
void AddHistory() {
  if (g_settings.main.FHist) AddToSearchHistory(g_settings.opts.bar[Which()], (g_bar.mode & kBarReplaceRow) != 0);
}

// An entry chosen from a list brings its options back.
void ChooseHistory(int box) {
  HWND combo = Item(box);
  const LRESULT at = SendMessageA(combo, CB_GETCURSEL, 0, 0);
  if (at < 0) return;
  const LRESULT slot = SendMessageA(combo, CB_GETITEMDATA, static_cast<WPARAM>(at), 0);
  if (slot < 0 || slot >= kSearchHistory) return;
  if (box == IDC_BAR_FIND) {
    const FindEntry &e = g_settings.lists.find[slot];
    SetCheck(IDC_BAR_CASE, e.MC != 0);
    SetCheck(IDC_BAR_WORDS, e.WW != 0);
    SetCheck(IDC_BAR_ESCAPES, e.Esc != 0);
    SetCheck(IDC_BAR_REGEXPS, e.REx != 0);
    SetCheck(IDC_BAR_WRAP, !e.NWA);
    EnableWindow(Item(IDC_BAR_ESCAPES), !e.REx);
  } else {
    SetCheck(IDC_BAR_MIMIC, g_settings.lists.replace[slot].Mim != 0);
  }
}

void ShowRows(int mode) {
  static const int kReplaceRow[] = {IDC_BAR_REPLACE_LABEL, IDC_BAR_REPLACE, IDC_BAR_REPLACE_ONE, IDC_BAR_REPLACE_ALL,
                                    IDC_BAR_MIMIC};
  static const int kToolRow[] = {IDC_BAR_TOOL_LABEL, IDC_BAR_LAST_TOOL, IDC_BAR_LAST_TOOL_ALL};
  for (int id : kReplaceRow) ShowWindow(Item(id), (mode & kBarReplaceRow) ? SW_SHOW : SW_HIDE);
  for (int id : kToolRow) ShowWindow(Item(id), (mode & kBarReplaceRow) == 0 && (mode & kBarToolRow) ? SW_SHOW : SW_HIDE);
  ShowWindow(Item(IDC_BAR_NOTE), (mode & (kBarReplaceRow | kBarToolRow)) ? SW_SHOW : SW_HIDE);
  // Disabled while no tool has run.
  EnableWindow(Item(IDC_BAR_LAST_TOOL), HasLastTool());
  EnableWindow(Item(IDC_BAR_LAST_TOOL_ALL), HasLastTool());
}

// Opening steps 1-4: the record into the controls, the resets, the
// suggestion from the selection, the two options.
void Load(int mode) {
  const int which = (mode & kBarSecondary) ? 1 : 0;
  const SearchBarSettings &r = g_settings.opts.bar[which];
  const MainSettings &m = g_settings.main;
  SetCheck(IDC_BAR_SECOND, which == 1);
  FillHistory();
  SetDlgItemTextA(g_app.searchBar, IDC_BAR_FIND, r.Patt);
  SetDlgItemTextA(g_app.searchBar, IDC_BAR_REPLACE, r.Repl);
  SetCheck(IDC_BAR_WRAP, !r.NWA);
  SetCheck(IDC_BAR_MIMIC, r.Mim != 0);
  SetCheck(IDC_BAR_CASE, !m.FRCase && r.Case);
  SetCheck(IDC_BAR_WORDS, !m.FRWrds && r.Wrds);
  SetCheck(IDC_BAR_ESCAPES, !m.FRRegEx && r.Escs);
  SetCheck(IDC_BAR_REGEXPS, !m.FRRegEx && r.RgEx);
  Document *doc = AppDocument();
  if (m.FSugg && doc && doc->selStart->position != doc->selEnd->position) {
    g_suggestion = r;
    if (TakeSelectionAsPattern(&g_suggestion)) {
      SetDlgItemTextA(g_app.searchBar, IDC_BAR_FIND, g_suggestion.Patt);
      SetCheck(IDC_BAR_ESCAPES, g_suggestion.Escs != 0);
      SetCheck(IDC_BAR_REGEXPS, false);
    }
  }
  EnableWindow(Item(IDC_BAR_ESCAPES), !Checked(IDC_BAR_REGEXPS));
  SetCheck(IDC_BAR_HIGHLIGHT, m.FInc != 0);
  SetCheck(IDC_BAR_HISTORY, m.FHist != 0);
  SetDlgItemTextA(g_app.searchBar, IDC_BAR_NOTE, "");
  ShowRows(mode);
  g_bar.mode = mode;
}

// A request from the bar, with the controls written back first; then the
// bar hides itself when asked to.
void Request(u32 request) {
  WriteBack();
  AddHistory();
  g_bar.withMessage = g_bar.noMoreMatches = false;
  RunSearch(Which(), request);
  if (g_app.searchBar) FillHistory();
  const MainSettings &m = g_settings.main;
  if (!g_app.searchBar || !m.FHide) return;
  if (m.FHidePlus && g_bar.withMessage && !g_bar.noMoreMatches) return;
  CloseSearchBar();
}

// The F3 (first search) and F2 (second search) families.
void SearchKey(int id) {
  const bool second = id >= 25300;
  if (second != (Which() == 1)) {
    WriteBack();
    Load((g_bar.mode & ~kBarSecondary) | (second ? kBarSecondary : 0));
  }
  static const u32 kRequests[] = {0, kSearchBackward, 0, 0, kSearchSelectTo, kSearchSelectTo | kSearchBackward};
  Request(kRequests[((id - 25100) % 200) / 10 - 1]);
}

// Enter and its kin, by the focused control.
void EnterKey(int key) {
  const int focus = GetDlgCtrlID(GetFocus());
  const bool inReplaceBox = IsChild(Item(IDC_BAR_REPLACE), GetFocus()) || focus == IDC_BAR_REPLACE;
  const bool inFindBox = IsChild(Item(IDC_BAR_FIND), GetFocus());
  if (key == IDC_BAR_KEY_SHIFT_ENTER) return Request(kSearchFromStart);
  if (key == IDC_BAR_KEY_CTRL_SHIFT_ENTER) return Request(kSearchFromStart | kSearchBackward);
  const bool ctrl = key == IDC_BAR_KEY_CTRL_ENTER;
  if (inReplaceBox) return Request(ctrl ? kSearchReplace | kSearchBackward : static_cast<u32>(kSearchReplace));
  if (!inFindBox) {
    switch (focus) {
      case IDC_BAR_MIMIC:
      case IDC_BAR_REPLACE_ONE:
        if (!ctrl) return Request(kSearchReplace);
        break;
      case IDC_BAR_PREVIOUS:
        if (!ctrl) return Request(kSearchBackward);
        break;
      case IDC_BAR_NEXT:
        if (ctrl) return Request(0);
        break;
      case IDC_BAR_REPLACE_ALL: return Request(kSearchReplaceAll | kSearchFromStart | kSearchReplace);
      case IDC_BAR_LAST_TOOL:
        return Request(ctrl ? kSearchLastTool | kSearchBackward : static_cast<u32>(kSearchLastTool));
      case IDC_BAR_LAST_TOOL_ALL: return Request(kSearchLastToolAll | kSearchLastTool | kSearchFromStart);
      case IDC_BAR_HIGHLIGHT:
      case IDC_BAR_HISTORY:
        if (!ctrl) {
          SetCheck(focus, !Checked(focus));
          SendMessageA(g_app.searchBar, WM_COMMAND, MAKEWPARAM(focus, BN_CLICKED), reinterpret_cast<LPARAM>(Item(focus)));
          return;
        }
        break;
      default:
        break;
    }
  }
  Request(ctrl ? static_cast<u32>(kSearchBackward) : 0u);
}

constexpr UINT_PTR kRetryTimer = 1;

// How long a highlight cut off while typing waits before it is tried again
// in full: longer for short patterns in long texts, and for big texts.
UINT RetryDelay(const char *pattern) {
  const Document *doc = AppDocument();
  const u32 length = doc ? doc->store.length : 0;
  UINT delay = length > 16384 && strlen(pattern) < 3 ? 3072 : 2048;
  if (length > (1u << 20)) delay += 1024;
  if (length > 10u * (1u << 20)) delay += 1024;
  return delay;
}

// Highlight all on: every occurrence, on this thread and for at most a
// quarter of a second while typing (tried again in full a little later when
// that was not enough); off: the highlights go.
void Highlight(bool typing) {
  const int which = Which();
  KillTimer(g_app.searchBar, kRetryTimer);
  if (!Checked(IDC_BAR_HIGHLIGHT)) {
    SendMessageA(g_app.editorWindow, which ? EDM_CLEARHIGHLIGHT2 : EDM_CLEARHIGHLIGHT1, 0, 0);
    return;
  }
  WriteBack();
  if (!g_settings.opts.bar[which].Patt[0]) {
    SendMessageA(g_app.editorWindow, which ? EDM_CLEARHIGHLIGHT2 : EDM_CLEARHIGHLIGHT1, 0, 0);
    return;
  }
  RunSearch(which, kSearchHighlight | kSearchFromStart | (typing ? static_cast<u32>(kSearchInline) : 0u));
  if (typing && g_app.searchBar && LastSearchCutOff()) {
    SetTimer(g_app.searchBar, kRetryTimer, RetryDelay(g_settings.opts.bar[which].Patt), nullptr);
  }
}

INT_PTR CALLBACK BarProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_TIMER && wParam == kRetryTimer) {
    Highlight(false);
    return TRUE;
  }
  if (msg != WM_COMMAND) return FALSE;
  const int id = LOWORD(wParam), code = HIWORD(wParam);
  switch (id) {
    case IDC_BAR_NEXT: Request(0); return TRUE;
    case IDC_BAR_PREVIOUS: Request(kSearchBackward); return TRUE;
    case IDC_BAR_REPLACE_ONE: Request(kSearchReplace); return TRUE;
    case IDC_BAR_REPLACE_ALL: Request(kSearchReplaceAll | kSearchFromStart | kSearchReplace); return TRUE;
    case IDC_BAR_LAST_TOOL: Request(kSearchLastTool); return TRUE;
    case IDC_BAR_LAST_TOOL_ALL: Request(kSearchLastToolAll | kSearchLastTool | kSearchFromStart); return TRUE;
    case IDC_BAR_REGEXPS:
      EnableWindow(Item(IDC_BAR_ESCAPES), !Checked(IDC_BAR_REGEXPS));
      return TRUE;
    case IDC_BAR_HIGHLIGHT:
      if (code == BN_CLICKED) {
        // Both searches' highlights go; on, they come anew.
        SendMessageA(g_app.editorWindow, EDM_CLEARHIGHLIGHT1, 0, 0);
        SendMessageA(g_app.editorWindow, EDM_CLEARHIGHLIGHT2, 0, 0);
        Highlight(false);
      }
      return TRUE;
    case IDC_BAR_SECOND:
      if (code == BN_CLICKED) {
        // The controls belong to the other record now.
        SetCheck(IDC_BAR_SECOND, !Checked(IDC_BAR_SECOND));
        WriteBack();
        Load((g_bar.mode & ~kBarSecondary) | (Checked(IDC_BAR_SECOND) ? 0 : kBarSecondary));
      }
      return TRUE;
    case IDC_BAR_HISTORY:
      if (code == BN_CLICKED && !Checked(IDC_BAR_HISTORY)) {
        // No history kept: the one there is goes too.
        MemZero(g_settings.lists.find, sizeof g_settings.lists.find);
        MemZero(g_settings.lists.replace, sizeof g_settings.lists.replace);
        g_config.search.dirty = 1;
        FillHistory();
      }
      g_settings.main.FHist = Checked(IDC_BAR_HISTORY);
      return TRUE;
    case IDC_BAR_FIND:
      if (code == CBN_SELCHANGE) ChooseHistory(IDC_BAR_FIND);
      if (code == CBN_EDITCHANGE && Checked(IDC_BAR_HIGHLIGHT)) Highlight(true);
      if (code == CBN_SETFOCUS) g_app.lastFocus = dialog;
      return TRUE;
    case IDC_BAR_REPLACE:
      if (code == CBN_SELCHANGE) ChooseHistory(IDC_BAR_REPLACE);
      if (code == CBN_SETFOCUS) g_app.lastFocus = dialog;
      return TRUE;
    case IDC_BAR_KEY_ENTER:
    case IDC_BAR_KEY_CTRL_ENTER:
    case IDC_BAR_KEY_SHIFT_ENTER:
    case IDC_BAR_KEY_CTRL_SHIFT_ENTER:
      EnterKey(id);
      return TRUE;
    case IDC_BAR_KEY_REPLACE_MODE: OpenSearchBar(kBarReplaceRow | (g_bar.mode & kBarSecondary)); return TRUE;
    case IDC_BAR_KEY_TOOL_MODE: OpenSearchBar(kBarToolRow | (g_bar.mode & kBarSecondary)); return TRUE;
    case IDC_BAR_KEY_SECOND: OpenSearchBar((g_bar.mode & ~kBarSecondary) | kBarSecondary); return TRUE;
    case IDCANCEL: CloseSearchBar(); return TRUE;
    default:
      if (id >= 25110 && id <= 25360) {
        SearchKey(id);
        return TRUE;
      }
      return FALSE;
  }
}

}  // namespace

int OpenSearchBar(int mode) {
  HWND main = g_app.mainWindow;
  if (!main) return kResultCancelled;
  if (!g_app.searchBar) {
    g_app.searchBar = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_SEARCHBAR), main, BarProc, 0);
    if (!g_app.searchBar) return TextId(TXT_OUT_OF_MEMORY);
    if (!g_app.accelSearchBar) g_app.accelSearchBar = LoadAcceleratorsA(g_app.instance, MAKEINTRESOURCEA(IDR_ACCEL_SEARCHBAR));
    SendDlgItemMessageA(g_app.searchBar, IDC_BAR_FIND, CB_LIMITTEXT, 65534, 0);
    SendDlgItemMessageA(g_app.searchBar, IDC_BAR_REPLACE, CB_LIMITTEXT, 65534, 0);
  }
  Load(mode);
  LayoutChildren(main);
  ShowWindow(g_app.searchBar, SW_SHOW);
  HWND find = Item(IDC_BAR_FIND);
  SetFocus(find);
  SendMessageA(find, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
  g_app.lastFocus = g_app.searchBar;
  return 0;
}

void CloseSearchBar() {
  HWND bar = g_app.searchBar;
  if (!bar) return;
  WriteBack();
  g_app.searchBar = nullptr;
  DestroyWindow(bar);
  if (g_app.editorWindow) {
    SendMessageA(g_app.editorWindow, EDM_CLEARHIGHLIGHT1, 0, 0);
    SendMessageA(g_app.editorWindow, EDM_CLEARHIGHLIGHT2, 0, 0);
    g_app.lastFocus = g_app.editorWindow;
    SetFocus(g_app.editorWindow);
  }
  if (g_app.mainWindow) LayoutChildren(g_app.mainWindow);
}

int SearchBarHeight() {
  if (!g_app.searchBar) return 0;
  RECT r = {0, 0, 0, (g_bar.mode & (kBarReplaceRow | kBarToolRow)) ? 34 : 22};
  MapDialogRect(g_app.searchBar, &r);
  return r.bottom;
}

void SetSearchBarNote(const char *text) {
  if (g_app.searchBar) SetDlgItemTextA(g_app.searchBar, IDC_BAR_NOTE, text ? text : "");
}

void NoteSearchOutcome(bool withMessage, bool noMoreMatches) {
  g_bar.withMessage = withMessage;
  g_bar.noMoreMatches = noMoreMatches;
}

void StopHighlightRetry() {
  if (g_app.searchBar) KillTimer(g_app.searchBar, kRetryTimer);
}

void ReloadSearchBar(int which) {
  if (!g_app.searchBar || Which() != which) return;
  const SearchBarSettings &r = g_settings.opts.bar[which];
  FillHistory();
  SetDlgItemTextA(g_app.searchBar, IDC_BAR_FIND, r.Patt);
  SetCheck(IDC_BAR_CASE, r.Case != 0);
  SetCheck(IDC_BAR_WORDS, r.Wrds != 0);
  SetCheck(IDC_BAR_ESCAPES, r.Escs != 0);
  SetCheck(IDC_BAR_REGEXPS, r.RgEx != 0);
  EnableWindow(Item(IDC_BAR_ESCAPES), !r.RgEx);
}

void AddToSearchHistory(const SearchBarSettings &r, bool withReplace) {
  // A text too long for an entry is left out rather than cut.
  const u32 now = ConfigTimeStamp();
  static FindEntry find;
  if (r.Patt[0] && strlen(r.Patt) < sizeof find.Fnd) {
    MemZero(&find, sizeof find);
    strcpy(find.Fnd, r.Patt);
    find.MC = r.Case;
    find.WW = r.Wrds;
    find.Esc = r.Escs;
    find.REx = r.RgEx;
    find.NWA = r.NWA;
    find.FTx = now;
    AddFindHistory(&g_settings, find);
  }
  static ReplaceEntry replace;
  if (withReplace && r.Repl[0] && strlen(r.Repl) < sizeof replace.Rep) {
    MemZero(&replace, sizeof replace);
    strcpy(replace.Rep, r.Repl);
    replace.Mim = r.Mim;
    replace.RTx = now;
    AddReplaceHistory(&g_settings, replace);
  }
}
