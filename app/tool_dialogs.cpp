#include "app/tool_dialogs.h"

#include "app/app_state.h"
#include "app/columns_dialog.h"
#include "app/compare_dialogs.h"
#include "app/sort_dialog.h"
#include "config/config_state.h"
#include "foundation/bytes.h"
#include "foundation/memory.h"
#include "tools/grep_tools.h"
#include "resources/resource.h"

namespace {

// ---- edit boxes that take Ctrl+Tab as a tab character ----

WNDPROC g_editBase;  // the edit class's procedure (the same for every box)

bool ControlDown() { return (GetKeyState(VK_CONTROL) & 0x8000) != 0; }

LRESULT CALLBACK TabEditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_GETDLGCODE: {
      // The dialog manager asks before it moves the focus on a Tab; with Ctrl
      // down the box keeps the key.
      LRESULT code = CallWindowProcA(g_editBase, edit, msg, wParam, lParam);
      const MSG *m = reinterpret_cast<const MSG *>(lParam);
      if (m && m->message == WM_KEYDOWN && m->wParam == VK_TAB && ControlDown()) code |= DLGC_WANTTAB;
      return code;
    }
    case WM_KEYDOWN:
      if (wParam == VK_TAB && ControlDown()) {
        SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("\t"));
        return 0;
      }
      break;
    case WM_CHAR:
      if (wParam == '\t') return 0;  // the tab went in with its key
      break;
    default:
      break;
  }
  return CallWindowProcA(g_editBase, edit, msg, wParam, lParam);
}

}  // namespace

void AcceptCtrlTab(HWND edit) {
  const LONG_PTR base = SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TabEditProc));
  if (!g_editBase) g_editBase = reinterpret_cast<WNDPROC>(base);
}

void CenterDialogOverOwner(HWND dialog) {
  HWND owner = GetWindow(dialog, GW_OWNER);
  if (!owner) return;
  RECT o, d;
  GetWindowRect(owner, &o);
  GetWindowRect(dialog, &d);
  const int x = o.left + ((o.right - o.left) - (d.right - d.left)) / 2;
  const int y = o.top + ((o.bottom - o.top) - (d.bottom - d.top)) / 3;
  SetWindowPos(dialog, nullptr, x < 0 ? 0 : x, y < 0 ? 0 : y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

// ---- the dialog ----

void OnInit(HWND dialog, const SimpleToolDialog *table) {
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(table));
  for (const ToolDialogEdit &e : table->edits) {
    if (!e.control) continue;
    HWND edit = GetDlgItem(dialog, e.control);
    SendMessageA(edit, EM_LIMITTEXT, e.limit, 0);
    SetWindowTextA(edit, e.buffer);
    AcceptCtrlTab(edit);
  }
  for (const ToolDialogCheck &c : table->checks)
    if (c.control) CheckDlgButton(dialog, c.control, *c.flag ? BST_CHECKED : BST_UNCHECKED);
  CenterDialogOverOwner(dialog);
  if (table->edits[0].control) {
    HWND first = GetDlgItem(dialog, table->edits[0].control);
    SetFocus(first);
    SendMessageA(first, EM_SETSEL, 0, -1);
  }
}

void Store(HWND dialog, const SimpleToolDialog *table) {
  for (const ToolDialogEdit &e : table->edits)
    if (e.control) GetDlgItemTextA(dialog, e.control, e.buffer, static_cast<int>(e.limit + 1));
  for (const ToolDialogCheck &c : table->checks)
    if (c.control) *c.flag = IsDlgButtonChecked(dialog, c.control) == BST_CHECKED ? 1 : 0;
}

INT_PTR CALLBACK SimpleToolDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  const SimpleToolDialog *table = reinterpret_cast<const SimpleToolDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      OnInit(dialog, reinterpret_cast<const SimpleToolDialog *>(lParam));
      return FALSE;  // the focus is set
    case WM_COMMAND: {
      if (!table) return FALSE;
      const int id = LOWORD(wParam);
      if (id == IDOK) {
        Store(dialog, table);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (id == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      if (HIWORD(wParam) == BN_CLICKED && table->onButton) return table->onButton(dialog, id, table->context);
      return FALSE;
    }
    default:
      return FALSE;
  }
}

// ---- Find Duplicates ----

// Counting applies to keeping all lines or the duplicated ones.
void EnableCount(HWND dialog) {
  EnableWindow(GetDlgItem(dialog, IDC_TOOL_CHECK + 2), IsDlgButtonChecked(dialog, IDC_TOOL_RADIO + 1) != BST_CHECKED);
}

INT_PTR CALLBACK DuplicatesDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  ToolSettings &t = g_settings.tools;
  switch (msg) {
    case WM_INITDIALOG: {
      const int job = t.UniJob >= 0 && t.UniJob <= 2 ? t.UniJob : 0;
      CheckRadioButton(dialog, IDC_TOOL_RADIO, IDC_TOOL_RADIO + 2, IDC_TOOL_RADIO + job);
      CheckDlgButton(dialog, IDC_TOOL_CHECK, t.UniIC ? BST_CHECKED : BST_UNCHECKED);
      CheckDlgButton(dialog, IDC_TOOL_CHECK + 1, t.UniEmpt ? BST_CHECKED : BST_UNCHECKED);
      CheckDlgButton(dialog, IDC_TOOL_CHECK + 2, t.UniDup ? BST_CHECKED : BST_UNCHECKED);
      EnableCount(dialog);
      CenterDialogOverOwner(dialog);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          for (int job = 0; job < 3; job++)
            if (IsDlgButtonChecked(dialog, IDC_TOOL_RADIO + job) == BST_CHECKED) t.UniJob = job;
          t.UniIC = IsDlgButtonChecked(dialog, IDC_TOOL_CHECK) == BST_CHECKED;
          t.UniEmpt = IsDlgButtonChecked(dialog, IDC_TOOL_CHECK + 1) == BST_CHECKED;
          t.UniDup = IsDlgButtonChecked(dialog, IDC_TOOL_CHECK + 2) == BST_CHECKED;
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case IDC_TOOL_RADIO:
        case IDC_TOOL_RADIO + 1:
        case IDC_TOOL_RADIO + 2:
          EnableCount(dialog);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

// ---- Grep, Filter by Pattern ----

constexpr int kPatternBoxChars = 65534;

bool Checked(HWND dialog, int control) { return IsDlgButtonChecked(dialog, control) == BST_CHECKED; }
void Check(HWND dialog, int control, bool on) { CheckDlgButton(dialog, control, on ? BST_CHECKED : BST_UNCHECKED); }
void Enable(HWND dialog, int control, bool on) { EnableWindow(GetDlgItem(dialog, control), on ? TRUE : FALSE); }

// Empty lines are kept in keep mode only; context lines are not used with
// only parts; RegExps have escapes of their own.
void EnableGrepControls(HWND dialog) {
  Enable(dialog, IDC_GREP_EMPTY, Checked(dialog, IDC_GREP_KEEP));
  const bool context = !Checked(dialog, IDC_GREP_ONLY);
  static const int kContext[] = {IDC_GREP_BEFORE, IDC_GREP_AFTER, IDC_GREP_BEFORE_LABEL, IDC_GREP_AFTER_LABEL};
  for (int c : kContext) Enable(dialog, c, context);
  Enable(dialog, IDC_GREP_ESCAPES, !Checked(dialog, IDC_GREP_REGEXPS));
}

// A context count as typed; what is not a number, or negative, is 0.
i32 ContextCount(HWND dialog, int control) {
  BOOL ok = FALSE;
  const int v = static_cast<int>(GetDlgItemInt(dialog, control, &ok, TRUE));
  return ok && v > 0 ? v : 0;
}

INT_PTR CALLBACK GrepDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  ToolSettings &t = g_settings.tools;
  switch (msg) {
    case WM_INITDIALOG: {
      HWND find = GetDlgItem(dialog, IDC_GREP_FIND);
      SendMessageA(find, EM_LIMITTEXT, kPatternBoxChars, 0);
      SetWindowTextA(find, t.GrFind);
      AcceptCtrlTab(find);
      CheckRadioButton(dialog, IDC_GREP_KEEP, IDC_GREP_REMOVE, t.GrRem ? IDC_GREP_REMOVE : IDC_GREP_KEEP);
      Check(dialog, IDC_GREP_ONLY, t.GrOnly);
      Check(dialog, IDC_GREP_CASE, t.GrCase);
      Check(dialog, IDC_GREP_WORDS, t.GrWWord);
      Check(dialog, IDC_GREP_LINES, t.GrWLine);
      Check(dialog, IDC_GREP_ESCAPES, t.GrEsc);
      Check(dialog, IDC_GREP_REGEXPS, t.GrRgEx);
      Check(dialog, IDC_GREP_NUMBERS, t.GrNmbr);
      Check(dialog, IDC_GREP_EMPTY, t.GrEmpty);
      SetDlgItemInt(dialog, IDC_GREP_BEFORE, t.GrBefor > 0 ? static_cast<UINT>(t.GrBefor) : 0, FALSE);
      SetDlgItemInt(dialog, IDC_GREP_AFTER, t.GrAfter > 0 ? static_cast<UINT>(t.GrAfter) : 0, FALSE);
      SetDlgItemInt(dialog, IDC_GREP_BASE, g_grepLineBase, FALSE);
      EnableGrepControls(dialog);
      CenterDialogOverOwner(dialog);
      SetFocus(find);
      SendMessageA(find, EM_SETSEL, 0, -1);
      return FALSE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: {
          GetDlgItemTextA(dialog, IDC_GREP_FIND, t.GrFind, static_cast<int>(sizeof t.GrFind));
          t.GrRem = Checked(dialog, IDC_GREP_REMOVE);
          t.GrOnly = Checked(dialog, IDC_GREP_ONLY);
          t.GrCase = Checked(dialog, IDC_GREP_CASE);
          t.GrWWord = Checked(dialog, IDC_GREP_WORDS);
          t.GrWLine = Checked(dialog, IDC_GREP_LINES);
          t.GrEsc = Checked(dialog, IDC_GREP_ESCAPES);
          t.GrRgEx = Checked(dialog, IDC_GREP_REGEXPS);
          t.GrNmbr = Checked(dialog, IDC_GREP_NUMBERS);
          t.GrEmpty = Checked(dialog, IDC_GREP_EMPTY);
          t.GrBefor = ContextCount(dialog, IDC_GREP_BEFORE);
          t.GrAfter = ContextCount(dialog, IDC_GREP_AFTER);
          BOOL ok = FALSE;
          const UINT base = GetDlgItemInt(dialog, IDC_GREP_BASE, &ok, FALSE);
          if (ok) g_grepLineBase = base;
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case IDC_GREP_KEEP:
        case IDC_GREP_REMOVE:
        case IDC_GREP_ONLY:
        case IDC_GREP_REGEXPS:
          EnableGrepControls(dialog);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

// ---- Extended Replace ----

const int kReplaceBoxes[] = {IDC_XREP_FIND, IDC_XREP_REPLACE};

// Converts the text of an edit box to or from escaped form; a result that
// would not fit the box leaves it as it is.
void ConvertBox(HWND dialog, int control, bool escape) {
  const u32 in = kPatternBoxChars + 1, out = 2 * kPatternBoxChars + 2;
  char *buf = static_cast<char *>(Allocate(in + out));
  if (!buf) {
    MessageBeep(MB_ICONHAND);
    return;
  }
  GetDlgItemTextA(dialog, control, buf, static_cast<int>(in));
  const u32 n = escape ? EscapeText(buf, buf + in, out) : UnEscapeText(buf, buf + in, out);
  if (n <= static_cast<u32>(kPatternBoxChars)) {
    SetDlgItemTextA(dialog, control, buf + in);
  } else {
    MessageBeep(MB_ICONHAND);
  }
  Free(buf);
}

INT_PTR CALLBACK ExtendedReplaceDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  ToolSettings &t = g_settings.tools;
  switch (msg) {
    case WM_INITDIALOG: {
      for (int c : kReplaceBoxes) {
        HWND box = GetDlgItem(dialog, c);
        SendMessageA(box, EM_LIMITTEXT, kPatternBoxChars, 0);
        SetWindowTextA(box, c == IDC_XREP_FIND ? t.RepPatt : t.RepRepl);
        AcceptCtrlTab(box);
      }
      Check(dialog, IDC_XREP_CASE, t.RepCase);
      Check(dialog, IDC_XREP_WORDS, t.RepWrds);
      Check(dialog, IDC_XREP_REGEXPS, t.RepRgEx);
      Check(dialog, IDC_XREP_MIMIC, t.RepMim);
      CenterDialogOverOwner(dialog);
      HWND find = GetDlgItem(dialog, IDC_XREP_FIND);
      SetFocus(find);
      SendMessageA(find, EM_SETSEL, 0, -1);
      return FALSE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          GetDlgItemTextA(dialog, IDC_XREP_FIND, t.RepPatt, static_cast<int>(sizeof t.RepPatt));
          GetDlgItemTextA(dialog, IDC_XREP_REPLACE, t.RepRepl, static_cast<int>(sizeof t.RepRepl));
          t.RepCase = Checked(dialog, IDC_XREP_CASE);
          t.RepWrds = Checked(dialog, IDC_XREP_WORDS);
          t.RepRgEx = Checked(dialog, IDC_XREP_REGEXPS);
          t.RepMim = Checked(dialog, IDC_XREP_MIMIC);
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case IDC_XREP_ESCAPE:
        case IDC_XREP_UNESCAPE:
          for (int c : kReplaceBoxes) ConvertBox(dialog, c, LOWORD(wParam) == IDC_XREP_ESCAPE);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace

int RunSimpleToolDialog(HWND owner, const SimpleToolDialog &table) {
  const INT_PTR r = DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(table.dialog), owner, SimpleToolDlgProc,
                                    reinterpret_cast<LPARAM>(&table));
  return r == IDOK ? kResultDone : kResultCancelled;
}

int RunToolDialog(HWND owner, int id) {
  ToolSettings &t = g_settings.tools;
  const int kPhraseLimit = sizeof t.QtText - 1;  // 1,023 characters
  static_assert(sizeof t.QtText == 1024 && sizeof t.ClText == 1024, "the phrases hold 1,023 characters");
  switch (id) {
    case IDM_TOOL_QUOTE: {
      const SimpleToolDialog quote = {IDD_QUOTE,
                                      {{IDC_TOOL_EDIT, kPhraseLimit, t.QtText}},
                                      {{IDC_TOOL_CHECK, &t.QtEmpty}, {IDC_TOOL_CHECK + 1, &t.QtSpace}},
                                      nullptr,
                                      nullptr};
      return RunSimpleToolDialog(owner, quote);
    }
    case IDM_TOOL_CLOSE: {
      const SimpleToolDialog close = {IDD_CLOSE,
                                      {{IDC_TOOL_EDIT, kPhraseLimit, t.ClText}},
                                      {{IDC_TOOL_CHECK, &t.ClEmpty}, {IDC_TOOL_CHECK + 1, &t.ClSpace}},
                                      nullptr,
                                      nullptr};
      return RunSimpleToolDialog(owner, close);
    }
    case IDM_TOOL_FIND_DUPLICATES:
      return DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_DUPLICATES), owner, DuplicatesDlgProc, 0) == IDOK
                 ? kResultDone
                 : kResultCancelled;
    case IDM_TOOL_ENCLOSE: {
      const SimpleToolDialog enclose = {
          IDD_ENCLOSE,
          {{IDC_TOOL_EDIT, kPhraseLimit, t.EnBefor}, {IDC_TOOL_EDIT + 1, kPhraseLimit, t.EnAfter}},
          {},
          nullptr,
          nullptr};
      return RunSimpleToolDialog(owner, enclose);
    }
    case IDM_TOOL_TAG: {
      // The attributes and the Empty flag start as last time only when the
      // settings keep them; OK stores what the dialog shows either way.
      char attributes[sizeof t.XmlAttr];
      StrCopyN(attributes, g_settings.main.TXMLAtr ? t.XmlAttr : "", sizeof attributes);
      i32 empty = g_settings.main.TXMLEmp ? t.XmlEmpt : 0;
      const SimpleToolDialog tag = {
          IDD_TAG,
          {{IDC_TOOL_EDIT, sizeof t.XmlName - 1, t.XmlName}, {IDC_TOOL_EDIT + 1, kPhraseLimit, attributes}},
          {{IDC_TOOL_CHECK, &empty}},
          nullptr,
          nullptr};
      const int r = RunSimpleToolDialog(owner, tag);
      if (r == kResultDone) {
        StrCopyN(t.XmlAttr, attributes, sizeof t.XmlAttr);
        t.XmlEmpt = empty;
      }
      return r;
    }
    case IDM_TOOL_TRANSLATE: {
      const SimpleToolDialog translate = {
          IDD_TRANSLATE,
          {{IDC_TOOL_EDIT, kPhraseLimit, t.TrFind}, {IDC_TOOL_EDIT + 1, kPhraseLimit, t.TrRepl}},
          {{IDC_TOOL_CHECK, &t.TrEsc}, {IDC_TOOL_CHECK + 1, &t.TrDel}},
          nullptr,
          nullptr};
      return RunSimpleToolDialog(owner, translate);
    }
    case IDM_TOOL_GREP:
      return DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_GREP), owner, GrepDlgProc, 0) == IDOK
                 ? kResultDone
                 : kResultCancelled;
    case IDM_TOOL_EXTENDED_REPLACE:
      return DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_EXTENDED_REPLACE), owner, ExtendedReplaceDlgProc,
                             0) == IDOK
                 ? kResultDone
                 : kResultCancelled;
    case IDM_TOOL_SORT:
      return RunSortDialog(owner);
    case IDM_TOOL_COLUMNS:
      return RunColumnsDialog(owner);
    case IDM_TOOL_COMPARE:
      return RunCompareDialog(owner);
    case IDM_TOOL_STATISTICS:
      return RunStatisticsDialog(owner);
    default:
      return kResultCancelled;
  }
}
