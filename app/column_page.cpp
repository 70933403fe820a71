#include "app/column_page.h"

#include <commctrl.h>

#include "app/app_state.h"
#include "app/tool_dialogs.h"
#include "resources/resource.h"
#include "tools/columns.h"

namespace {

// The page's own state is one flag: whether the page as a whole is enabled.
bool PageEnabled(HWND page) { return GetWindowLongPtrA(page, DWLP_USER) == 0; }

bool Checked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }

void Enable(HWND page, int id, bool on) { EnableWindow(GetDlgItem(page, id), on ? TRUE : FALSE); }

int Choice(HWND page) {
  if (Checked(page, IDC_COLUMN_COLUMNS)) return kColumnColumns;
  if (Checked(page, IDC_COLUMN_NOTHING)) return kColumnNothing;
  return kColumnEntireLine;
}

// Columns only matter with "Columns from"; positions with anything but
// "Nothing", and their numbers only once chosen.
void UpdateEnabled(HWND page) {
  const bool on = PageEnabled(page);
  const int choice = Choice(page);
  const bool columns = on && choice == kColumnColumns;
  const bool positionsChoice = on && choice != kColumnNothing;
  const bool positions = positionsChoice && Checked(page, IDC_COLUMN_POSITIONS);
  static const int kChoices[] = {IDC_COLUMN_NOTHING, IDC_COLUMN_ENTIRE_LINE, IDC_COLUMN_COLUMNS};
  static const int kColumns[] = {IDC_COLUMN_FROM,       IDC_COLUMN_TO_LABEL, IDC_COLUMN_TO,
                                 IDC_COLUMN_DELIMITERS_LABEL, IDC_COLUMN_DELIMITERS, IDC_COLUMN_PHRASE,
                                 IDC_COLUMN_COLLAPSE,   IDC_COLUMN_BACKWARDS};
  static const int kPositions[] = {IDC_COLUMN_POSITION_FROM, IDC_COLUMN_POSITION_TO_LABEL, IDC_COLUMN_POSITION_TO,
                                   IDC_COLUMN_POSITION_BACKWARDS};
  for (int id : kChoices) Enable(page, id, on);
  for (int id : kColumns) Enable(page, id, columns);
  Enable(page, IDC_COLUMN_POSITIONS, positionsChoice);
  for (int id : kPositions) Enable(page, id, positions);
}

void Check(HWND page, int id, i32 flag) { CheckDlgButton(page, id, flag ? BST_CHECKED : BST_UNCHECKED); }

i32 Number(HWND page, int id) {
  BOOL ok = FALSE;
  const int n = static_cast<int>(GetDlgItemInt(page, id, &ok, TRUE));
  return ok ? n : 0;
}

INT_PTR CALLBACK ColumnPageDlgProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      HWND delimiters = GetDlgItem(page, IDC_COLUMN_DELIMITERS);
      SendMessageA(delimiters, EM_LIMITTEXT, sizeof(ColumnDef{}.CD) - 1, 0);
      AcceptCtrlTab(delimiters);  // a tab is the most common delimiter
      static const int kNumbers[] = {IDC_COLUMN_FROM, IDC_COLUMN_TO, IDC_COLUMN_POSITION_FROM, IDC_COLUMN_POSITION_TO};
      for (int id : kNumbers) SendDlgItemMessageA(page, id, EM_LIMITTEXT, 10, 0);
      return FALSE;  // the focus stays where the dialog puts it
    }
    case WM_COMMAND: {
      const int code = HIWORD(wParam);
      if (code != BN_CLICKED && code != EN_CHANGE) return FALSE;
      if (code == BN_CLICKED) UpdateEnabled(page);
      // The dialog follows every change (its preview, say).
      SendMessageA(GetParent(page), WM_COMMAND, wParam, lParam);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

HWND CreateColumnPage(HWND dialog, HWND tabs, const RECT &where) {
  HWND page = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_COLUMN_PAGE), dialog, ColumnPageDlgProc, 0);
  if (!page) return nullptr;
  SetWindowLongPtrA(page, GWLP_ID, IDD_COLUMN_PAGE);
  PlaceOverTabs(page, tabs, where);
  ShowWindow(page, SW_SHOWNA);
  return page;
}

void ShowColumnDef(HWND page, const ColumnDef &def) {
  const int choice = def.CC == kColumnColumns ? IDC_COLUMN_COLUMNS
                     : def.CC == kColumnNothing ? IDC_COLUMN_NOTHING
                                                : IDC_COLUMN_ENTIRE_LINE;
  CheckRadioButton(page, IDC_COLUMN_NOTHING, IDC_COLUMN_COLUMNS, choice);
  const bool columnsUnset = def.CFr == 0 && def.CTo == 0, positionsUnset = def.RFr == 0 && def.RTo == 0;
  SetDlgItemInt(page, IDC_COLUMN_FROM, static_cast<UINT>(columnsUnset ? 1 : def.CFr), TRUE);
  SetDlgItemInt(page, IDC_COLUMN_TO, static_cast<UINT>(columnsUnset ? 1 : def.CTo), TRUE);
  char delimiters[sizeof def.CD];
  lstrcpynA(delimiters, def.CD, sizeof delimiters);
  SetDlgItemTextA(page, IDC_COLUMN_DELIMITERS, delimiters);
  Check(page, IDC_COLUMN_PHRASE, def.CDs);
  Check(page, IDC_COLUMN_COLLAPSE, def.CDc);
  Check(page, IDC_COLUMN_BACKWARDS, def.CRl);
  Check(page, IDC_COLUMN_POSITIONS, def.RC);
  SetDlgItemInt(page, IDC_COLUMN_POSITION_FROM, static_cast<UINT>(positionsUnset ? 1 : def.RFr), TRUE);
  SetDlgItemInt(page, IDC_COLUMN_POSITION_TO, static_cast<UINT>(positionsUnset ? 1 : def.RTo), TRUE);
  Check(page, IDC_COLUMN_POSITION_BACKWARDS, def.RRl);
  UpdateEnabled(page);
}

void ReadColumnDef(HWND page, ColumnDef *def) {
  def->CC = Choice(page);
  def->CFr = Number(page, IDC_COLUMN_FROM);
  def->CTo = Number(page, IDC_COLUMN_TO);
  GetDlgItemTextA(page, IDC_COLUMN_DELIMITERS, def->CD, sizeof def->CD);
  def->CDs = Checked(page, IDC_COLUMN_PHRASE);
  def->CDc = Checked(page, IDC_COLUMN_COLLAPSE);
  def->CRl = Checked(page, IDC_COLUMN_BACKWARDS);
  def->RC = Checked(page, IDC_COLUMN_POSITIONS);
  def->RFr = Number(page, IDC_COLUMN_POSITION_FROM);
  def->RTo = Number(page, IDC_COLUMN_POSITION_TO);
  def->RRl = Checked(page, IDC_COLUMN_POSITION_BACKWARDS);
}

void EnableColumnPage(HWND page, bool enabled) {
  SetWindowLongPtrA(page, DWLP_USER, enabled ? 0 : 1);
  UpdateEnabled(page);
}

// ---- tab controls ----

namespace {

// A tab control drawn plain, like every other control of the program, which
// has no visual styles: a system that themes this control alone (Wine does)
// would otherwise draw it in another style, and several times slower.
void PlainTabs(HWND tabs) {
  typedef HRESULT(WINAPI * SetThemeFn)(HWND, LPCWSTR, LPCWSTR);
  static SetThemeFn setTheme = [] {
    HMODULE module = LoadLibraryA("uxtheme.dll");
    return module ? reinterpret_cast<SetThemeFn>(reinterpret_cast<void *>(GetProcAddress(module, "SetWindowTheme")))
                  : nullptr;
  }();
  if (setTheme) setTheme(tabs, L" ", L" ");
}

}  // namespace

void AddTabs(HWND tabs, const char *const *names, int count, bool evenWidth) {
  PlainTabs(tabs);
  for (int i = 0; i < count; i++) {
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char *>(names[i]);
    SendMessageA(tabs, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
  if (!evenWidth || count <= 0) return;
  // Short names (%1-%9) padded as usual would need more room than there is
  // and bring up the scroll arrows.
  RECT client, first;
  GetClientRect(tabs, &client);
  SendMessageA(tabs, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
  const int width = (client.right - 6) / count;
  SendMessageA(tabs, TCM_SETITEMSIZE, 0, MAKELPARAM(width, first.bottom - first.top));
}

RECT TabPageArea(HWND dialog, HWND tabs) {
  RECT r;
  GetWindowRect(tabs, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&r), 2);
  SendMessageA(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
  return r;
}

void PlaceOverTabs(HWND page, HWND tabs, const RECT &where) {
  // Above the tab control in the order of the controls: the tab control
  // (which clips its siblings) then leaves the page's pixels alone, and Tab
  // reaches the page after the controls before the tabs.
  HWND before = GetWindow(tabs, GW_HWNDPREV);
  if (before == page) before = GetWindow(page, GW_HWNDPREV);
  SetWindowPos(page, before ? before : HWND_TOP, where.left, where.top, where.right - where.left,
               where.bottom - where.top, SWP_NOACTIVATE);
}
