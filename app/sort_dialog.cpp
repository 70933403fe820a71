#include "app/sort_dialog.h"

#include <commctrl.h>

#include "app/app_state.h"
#include "app/column_page.h"
#include "app/tool_dialogs.h"
#include "config/config_state.h"
#include "foundation/bytes.h"
#include "resources/resource.h"
#include "tools/sort_tools.h"

namespace {

struct SortDialog {
  SortKey keys[kSortKeys];  // the dialog's copy; the pages show keys[shown]
  int shown;
  HWND tabs, keyPage, columnPage;
};

const char *const kTabNames[kSortKeys] = {"First..", "Second..", "Third..", "Then..", "Finally.."};

// The check boxes of the key page and the flags they stand for.
const struct {
  int control;
  i32 SortKey::*flag;
} kKeyFlags[] = {
    {IDC_SORT_USE, &SortKey::Use},
    {IDC_SORT_IGNORE_CASE, &SortKey::IC},
    {IDC_SORT_IGNORE_SPACES, &SortKey::IWs},
    {IDC_SORT_IGNORE_PUNCTUATION, &SortKey::IPn},
    {IDC_SORT_IGNORE_BLANKS, &SortKey::IBn},
    {IDC_SORT_IGNORE_CONTROLS, &SortKey::ICt},
    {IDC_SORT_ALPHANUMERICS_ONLY, &SortKey::INa},
    {IDC_SORT_IGNORE_LISTED, &SortKey::ICl},
    {IDC_SORT_KEEP_LISTED, &SortKey::IBl},
};

constexpr u32 kCharsLimit = sizeof(SortKey{}.ICd) - 1;  // 255 characters

bool Checked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }

// A key not in use has everything but its Use box greyed, its column page
// included; each list of characters only counts with its box checked.
void UpdateEnabled(SortDialog *d) {
  HWND page = d->keyPage;
  const bool use = Checked(page, IDC_SORT_USE);
  for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (GetDlgCtrlID(c) != IDC_SORT_USE) EnableWindow(c, use);
  EnableWindow(GetDlgItem(page, IDC_SORT_IGNORE_CHARS), use && Checked(page, IDC_SORT_IGNORE_LISTED));
  EnableWindow(GetDlgItem(page, IDC_SORT_KEEP_CHARS), use && Checked(page, IDC_SORT_KEEP_LISTED));
  EnableColumnPage(d->columnPage, use);
}

void ShowKey(SortDialog *d, int n) {
  const SortKey &k = d->keys[n];
  HWND page = d->keyPage;
  for (const auto &f : kKeyFlags) CheckDlgButton(page, f.control, k.*f.flag ? BST_CHECKED : BST_UNCHECKED);
  CheckRadioButton(page, IDC_SORT_ASCENDING, IDC_SORT_DESCENDING, k.Dsc ? IDC_SORT_DESCENDING : IDC_SORT_ASCENDING);
  CheckRadioButton(page, IDC_SORT_TEXT, IDC_SORT_NUMBERS, k.Num ? IDC_SORT_NUMBERS : IDC_SORT_TEXT);
  char chars[kCharsLimit + 1];
  lstrcpynA(chars, k.ICd, sizeof chars);
  SetDlgItemTextA(page, IDC_SORT_IGNORE_CHARS, chars);
  lstrcpynA(chars, k.IBd, sizeof chars);
  SetDlgItemTextA(page, IDC_SORT_KEEP_CHARS, chars);
  ShowColumnDef(d->columnPage, k.column);
  UpdateEnabled(d);
}

void ReadKey(SortDialog *d, int n) {
  SortKey &k = d->keys[n];
  HWND page = d->keyPage;
  for (const auto &f : kKeyFlags) k.*f.flag = Checked(page, f.control) ? 1 : 0;
  k.Dsc = Checked(page, IDC_SORT_DESCENDING) ? 1 : 0;
  k.Num = Checked(page, IDC_SORT_NUMBERS) ? 1 : 0;
  GetDlgItemTextA(page, IDC_SORT_IGNORE_CHARS, k.ICd, sizeof k.ICd);
  GetDlgItemTextA(page, IDC_SORT_KEEP_CHARS, k.IBd, sizeof k.IBd);
  ReadColumnDef(d->columnPage, &k.column);
}

// The key page only passes its controls' clicks on to the dialog.
INT_PTR CALLBACK SortKeyPageDlgProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      static const int kLists[] = {IDC_SORT_IGNORE_CHARS, IDC_SORT_KEEP_CHARS};
      for (int id : kLists) {
        SendDlgItemMessageA(page, id, EM_LIMITTEXT, kCharsLimit, 0);
        AcceptCtrlTab(GetDlgItem(page, id));
      }
      return FALSE;
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      SendMessageA(GetParent(page), WM_COMMAND, wParam, lParam);
      return TRUE;
    default:
      return FALSE;
  }
}

bool OnInit(HWND dialog, SortDialog *d) {
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(d));
  d->tabs = GetDlgItem(dialog, IDC_SORT_TABS);
  AddTabs(d->tabs, kTabNames, kSortKeys, false);
  const RECT area = TabPageArea(dialog, d->tabs);
  d->keyPage = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_SORT_PAGE), dialog, SortKeyPageDlgProc, 0);
  if (!d->keyPage) return false;
  SetWindowLongPtrA(d->keyPage, GWLP_ID, IDD_SORT_PAGE);
  // The key's page at the top as high as made, its columns below it.
  RECT key;
  GetWindowRect(d->keyPage, &key);
  RECT top = area, bottom = area;
  top.bottom = bottom.top = area.top + (key.bottom - key.top);
  PlaceOverTabs(d->keyPage, d->tabs, top);
  ShowWindow(d->keyPage, SW_SHOWNA);
  d->columnPage = CreateColumnPage(dialog, d->tabs, bottom);
  if (!d->columnPage) return false;
  ShowKey(d, 0);
  CenterDialogOverOwner(dialog);
  SetFocus(d->tabs);
  return true;
}

INT_PTR CALLBACK SortDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  SortDialog *d = reinterpret_cast<SortDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      if (!OnInit(dialog, reinterpret_cast<SortDialog *>(lParam))) EndDialog(dialog, IDCANCEL);
      return FALSE;  // the focus is set
    case WM_NOTIFY: {
      const NMHDR *n = reinterpret_cast<const NMHDR *>(lParam);
      if (!d || n->hwndFrom != d->tabs) return FALSE;
      if (n->code == TCN_SELCHANGING) {
        ReadKey(d, d->shown);
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, FALSE);  // the change may go ahead
        return TRUE;
      }
      if (n->code == TCN_SELCHANGE) {
        const int tab = static_cast<int>(SendMessageA(d->tabs, TCM_GETCURSEL, 0, 0));
        if (tab >= 0 && tab < kSortKeys) d->shown = tab;
        ShowKey(d, d->shown);
        return TRUE;
      }
      return FALSE;
    }
    case WM_COMMAND: {
      if (!d) return FALSE;
      const int id = LOWORD(wParam);
      if (id == IDOK) {
        ReadKey(d, d->shown);
        MemCopy(g_settings.tools.sort, d->keys, sizeof d->keys);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (id == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      if (HIWORD(wParam) == BN_CLICKED) UpdateEnabled(d);
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

int RunSortDialog(HWND owner) {
  static_assert(sizeof g_settings.tools.sort == sizeof(SortDialog{}.keys), "one copy of each key");
  SortDialog d = {};
  MemCopy(d.keys, g_settings.tools.sort, sizeof d.keys);
  const INT_PTR r = DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_SORT), owner, SortDlgProc,
                                    reinterpret_cast<LPARAM>(&d));
  return r == IDOK ? kResultDone : kResultCancelled;
}
