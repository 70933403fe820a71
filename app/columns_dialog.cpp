#include "app/columns_dialog.h"

#include <commctrl.h>

#include "app/app_state.h"
#include "app/column_page.h"
#include "app/tool_dialogs.h"
#include "config/config_state.h"
#include "editor/editor_window.h"
#include "editor/tool_commands.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "resources/resource.h"
#include "tools/columns_numbers.h"

namespace {

struct ColumnsDialog {
  ColumnsRequest values;  // the dialog's copy; the page shows values.columns[shown]
  i32 view;               // CtView
  int shown;
  int quiet;              // controls being filled: their notifications run no preview
  HWND dialog, tabs, page, preview;
  HWND columnPreview;     // window 272 while it is open
  HFONT font;             // the previews' fixed-pitch font
};

const char *const kTabNames[kColumnDefs] = {"%1", "%2", "%3", "%4", "%5", "%6", "%7", "%8", "%9"};

// The number boxes and the fields they stand for.
const struct {
  int control;
  i32 ColumnsRequest::*field;
} kNumbers[] = {
    {IDC_COLS_COUNTER_FROM, &ColumnsRequest::counterFrom},
    {IDC_COLS_COUNTER_STEP, &ColumnsRequest::counterStep},
    {IDC_COLS_RANDOM_MIN, &ColumnsRequest::randomMin},
    {IDC_COLS_RANDOM_MAX, &ColumnsRequest::randomMax},
};

ColumnsDialog *Of(HWND dialog) { return reinterpret_cast<ColumnsDialog *>(GetWindowLongPtrA(dialog, DWLP_USER)); }

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// Everything the controls hold, into the dialog's copy.
void ReadAll(ColumnsDialog *d) {
  HWND dialog = d->dialog;
  ColumnsRequest &v = d->values;
  GetDlgItemTextA(dialog, IDC_COLS_MASK, v.mask, sizeof v.mask);
  v.nonEmptyOnly = Checked(dialog, IDC_COLS_NON_EMPTY) ? 1 : 0;
  for (const auto &n : kNumbers) {
    BOOL ok = FALSE;
    const int value = static_cast<int>(GetDlgItemInt(dialog, n.control, &ok, TRUE));
    v.*n.field = ok ? value : 0;
  }
  d->view = Checked(dialog, IDC_COLS_PREVIEW_ON) ? 1 : 0;
  ReadColumnDef(d->page, &v.columns[d->shown]);
}

// Runs the tool on the selection (at most 8,192 characters of it) with the
// result going into `target`; the document stays as it is. Without an
// automatic selection (TASel Disabled) an empty selection previews nothing
// rather than asking for one.
void RunPreview(const ColumnsRequest &request, HWND target) {
  EditorWindow *ed = g_app.editorWindow ? EditorOf(g_app.editorWindow) : nullptr;
  if (!ed || ToolRunning()) return;
  ToolDescriptor tool;
  MemZero(&tool, sizeof tool);
  tool.buildFromDocument = ColumnsNumbersTool;
  tool.param = reinterpret_cast<ToolParam>(&request);
  tool.flags = kToolPreview;
  if (g_settings.main.TASel == 0 && ed->doc->selStart->position == ed->doc->selEnd->position)
    tool.flags |= kToolEmptyOk;
  tool.target = target;
  if (RunEditorTool(ed, &tool) != kResultDone) SetWindowTextA(target, "");
}

// The previews again, after a change.
void UpdatePreviews(ColumnsDialog *d) {
  if (d->quiet) return;
  ReadAll(d);
  EnableWindow(d->preview, d->view ? TRUE : FALSE);
  if (d->view) {
    RunPreview(d->values, d->preview);
  } else {
    SetWindowTextA(d->preview, "");
  }
  if (d->columnPreview && IsWindow(d->columnPreview)) {
    // The definition of the tab shown as the one column of a mask "%1".
    ColumnsRequest one = {};
    StrCopyN(one.mask, "%1", sizeof one.mask);
    one.counterFrom = one.counterStep = 1;
    one.columns[0] = d->values.columns[d->shown];
    RunPreview(one, GetDlgItem(d->columnPreview, IDC_COLUMN_PREVIEW_TEXT));
  }
}

void ShowColumn(ColumnsDialog *d, int n) {
  d->quiet++;
  ShowColumnDef(d->page, d->values.columns[n]);
  d->quiet--;
}

// ---- the Column preview window ----

void FitPreviewText(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  MoveWindow(GetDlgItem(window, IDC_COLUMN_PREVIEW_TEXT), 0, 0, r.right, r.bottom, TRUE);
}

INT_PTR CALLBACK ColumnPreviewDlgProc(HWND window, UINT msg, WPARAM, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      const ColumnsDialog *d = reinterpret_cast<const ColumnsDialog *>(lParam);
      if (d->font) SendDlgItemMessageA(window, IDC_COLUMN_PREVIEW_TEXT, WM_SETFONT, reinterpret_cast<WPARAM>(d->font), 0);
      FitPreviewText(window);
      return FALSE;
    }
    case WM_SIZE:
      FitPreviewText(window);
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(window);
      return TRUE;
    default:
      return FALSE;
  }
}

// Opens the window beside the dialog (right of it where the screen has
// room, else left), or brings it back when it is open.
void OpenColumnPreview(ColumnsDialog *d) {
  if (d->columnPreview && IsWindow(d->columnPreview)) {
    SetWindowPos(d->columnPreview, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    return;
  }
  d->columnPreview = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_COLUMN_PREVIEW), d->dialog,
                                        ColumnPreviewDlgProc, reinterpret_cast<LPARAM>(d));
  if (!d->columnPreview) return;
  RECT dr, pr;
  GetWindowRect(d->dialog, &dr);
  GetWindowRect(d->columnPreview, &pr);
  const int width = pr.right - pr.left, screen = GetSystemMetrics(SM_CXSCREEN);
  int x = dr.right + 4;
  if (x + width > screen) x = dr.left - 4 - width;
  if (x < 0) x = 0;
  SetWindowPos(d->columnPreview, nullptr, x, dr.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(d->columnPreview, SW_SHOWNA);
  UpdatePreviews(d);
}

// ---- the dialog ----

HFONT MakePreviewFont(HWND dialog) {
  LOGFONTA lf = {};
  HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
  if (!dialogFont || !GetObjectA(dialogFont, sizeof lf, &lf)) lf.lfHeight = -11;
  return CreateFontA(lf.lfHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New");
}

bool OnInit(HWND dialog, ColumnsDialog *d) {
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(d));
  d->dialog = dialog;
  d->quiet = 1;
  d->tabs = GetDlgItem(dialog, IDC_COLS_TABS);
  d->preview = GetDlgItem(dialog, IDC_COLS_PREVIEW);
  d->font = MakePreviewFont(dialog);
  if (d->font) SendMessageA(d->preview, WM_SETFONT, reinterpret_cast<WPARAM>(d->font), 0);
  AddTabs(d->tabs, kTabNames, kColumnDefs, true);
  d->page = CreateColumnPage(dialog, d->tabs, TabPageArea(dialog, d->tabs));
  if (!d->page) return false;
  HWND mask = GetDlgItem(dialog, IDC_COLS_MASK);
  SendMessageA(mask, EM_LIMITTEXT, sizeof d->values.mask - 1, 0);
  AcceptCtrlTab(mask);
  SetWindowTextA(mask, d->values.mask);
  CheckDlgButton(dialog, IDC_COLS_NON_EMPTY, d->values.nonEmptyOnly ? BST_CHECKED : BST_UNCHECKED);
  for (const auto &n : kNumbers) {
    SendDlgItemMessageA(dialog, n.control, EM_LIMITTEXT, 11, 0);
    SetDlgItemInt(dialog, n.control, static_cast<UINT>(d->values.*n.field), TRUE);
  }
  CheckDlgButton(dialog, IDC_COLS_PREVIEW_ON, d->view ? BST_CHECKED : BST_UNCHECKED);
  ShowColumnDef(d->page, d->values.columns[0]);
  CenterDialogOverOwner(dialog);
  d->quiet = 0;
  UpdatePreviews(d);
  SetFocus(mask);
  SendMessageA(mask, EM_SETSEL, 0, -1);
  return true;
}

void Store(ColumnsDialog *d) {
  ReadAll(d);
  ToolSettings &t = g_settings.tools;
  const ColumnsRequest &v = d->values;
  static_assert(sizeof t.CtMask == sizeof v.mask && sizeof t.columns == sizeof v.columns, "the request mirrors the keys");
  StrCopyN(t.CtMask, v.mask, sizeof t.CtMask);
  t.CtEmpt = v.nonEmptyOnly;
  t.CtFrom = v.counterFrom;
  t.CtStep = v.counterStep;
  t.CtRMin = v.randomMin;
  t.CtRMax = v.randomMax;
  t.CtView = d->view;
  MemCopy(t.columns, v.columns, sizeof t.columns);
}

INT_PTR CALLBACK ColumnsDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  ColumnsDialog *d = Of(dialog);
  switch (msg) {
    case WM_INITDIALOG:
      if (!OnInit(dialog, reinterpret_cast<ColumnsDialog *>(lParam))) EndDialog(dialog, IDCANCEL);
      return FALSE;  // the focus is set
    case WM_NOTIFY: {
      const NMHDR *n = reinterpret_cast<const NMHDR *>(lParam);
      if (!d || n->hwndFrom != d->tabs) return FALSE;
      if (n->code == TCN_SELCHANGING) {
        ReadColumnDef(d->page, &d->values.columns[d->shown]);
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, FALSE);  // the change may go ahead
        return TRUE;
      }
      if (n->code == TCN_SELCHANGE) {
        const int tab = static_cast<int>(SendMessageA(d->tabs, TCM_GETCURSEL, 0, 0));
        if (tab >= 0 && tab < kColumnDefs) d->shown = tab;
        ShowColumn(d, d->shown);
        UpdatePreviews(d);
        return TRUE;
      }
      return FALSE;
    }
    case WM_COMMAND: {
      if (!d) return FALSE;
      const int id = LOWORD(wParam), code = HIWORD(wParam);
      switch (id) {
        case IDOK:
          Store(d);
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case IDC_COLS_MASK_HELP:
          AskUserAsIs(dialog, Text(TXT_MASK_HELP), kAskInfo);
          return TRUE;
        case IDC_COLS_COLUMN_PREVIEW:
          OpenColumnPreview(d);
          return TRUE;
        default:
          if (code == BN_CLICKED || code == EN_CHANGE) {
            if (lParam && reinterpret_cast<HWND>(lParam) == d->preview) return FALSE;
            UpdatePreviews(d);
            return TRUE;
          }
          return FALSE;
      }
    }
    default:
      return FALSE;
  }
}

}  // namespace

int RunColumnsDialog(HWND owner) {
  ColumnsDialog d = {};
  ColumnsRequestFromSettings(&d.values);
  d.view = g_settings.tools.CtView;
  const INT_PTR r = DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_COLUMNS), owner, ColumnsDlgProc,
                                    reinterpret_cast<LPARAM>(&d));
  if (d.font) DeleteObject(d.font);
  return r == IDOK ? kResultDone : kResultCancelled;
}
