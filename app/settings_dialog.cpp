#include "app/settings_dialog.h"

#include <commctrl.h>

#include "app/app_state.h"
#include "app/column_page.h"
#include "app/file_commands.h"
#include "app/file_watch.h"
#include "app/filter_dialogs.h"
#include "app/main_window.h"
#include "app/settings_pages.h"
#include "app/status_bar.h"
#include "config/config_state.h"
#include "document/document.h"
#include "editor/editor_messages.h"
#include "foundation/ask_user.h"
#include "foundation/char_class.h"
#include "foundation/texts.h"
#include "resources/resource.h"

namespace {

struct PageRow {
  int resource;
  TextSlot title;
  DLGPROC proc;
};

// The pages in the order of their tabs.
const PageRow kPages[] = {
    {IDD_GENERAL_PAGE, TXT_PAGE_GENERAL, GeneralPageProc},
    {IDD_EDIT_PAGE, TXT_PAGE_EDIT, EditPageProc},
    {IDD_APPEARANCE_PAGE, TXT_PAGE_APPEARANCE, AppearancePageProc},
    {IDD_FILE_PAGE, TXT_PAGE_FILE, FilePageProc},
    {IDD_SAVE_LOAD_PAGE, TXT_PAGE_SAVE_LOAD, SaveLoadPageProc},
    {IDD_CLIPBOARD_PAGE, TXT_PAGE_CLIPBOARD, ClipboardPageProc},
    {IDD_SEARCH_PAGE, TXT_PAGE_SEARCH, SearchPageProc},
    {IDD_TOOLS_PAGE, TXT_PAGE_TOOLS, ToolsPageProc},
    {IDD_FAVOURITES_PAGE, TXT_PAGE_FAVOURITES, FavouritesPageProc},
    {IDD_FILTERS_PAGE, TXT_PAGE_FILTERS, FiltersPageProc},
    {IDD_CONFIG_PAGE, TXT_PAGE_SETTINGS, ConfigPageProc},
};
constexpr int kPageCount = static_cast<int>(sizeof kPages / sizeof kPages[0]);

// The page size every page resource has, in dialog units.
constexpr int kPageWidth = 300, kPageHeight = 200;

struct Frame {
  HWND dialog, tabs;
  HWND pages[kPageCount];
  int shown;
  int first;  // the page to open on
};

Frame *g_frame;   // while the dialog is open
int g_lastPage;   // the page shown last, for the next opening

int PageIndex(int resource) {
  for (int i = 0; i < kPageCount; i++)
    if (kPages[i].resource == resource) return i;
  return -1;
}

bool IsPage(const Frame *f, HWND window) {
  if (!window) return false;
  for (HWND page : f->pages)
    if (page == window) return true;
  return false;
}

void SendToPages(const Frame *f, int n) {
  for (HWND page : f->pages)
    if (page) SendMessageA(page, WM_COMMAND, MAKEWPARAM(n, 0), 0);
}

void ShowPage(Frame *f, int n) {
  if (n < 0 || n >= kPageCount) return;
  if (!f->pages[n]) {
    HWND page = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(kPages[n].resource), f->dialog, kPages[n].proc, 0);
    if (!page) return;
    f->pages[n] = page;
    PlaceOverTabs(page, f->tabs, TabPageArea(f->dialog, f->tabs));
  }
  for (int i = 0; i < kPageCount; i++)
    if (i != n && f->pages[i]) ShowWindow(f->pages[i], SW_HIDE);
  ShowWindow(f->pages[n], SW_SHOWNA);
  f->shown = n;
  g_lastPage = n;
  if (SendMessageA(f->tabs, TCM_GETCURSEL, 0, 0) != n) SendMessageA(f->tabs, TCM_SETCURSEL, static_cast<WPARAM>(n), 0);
}

// Where a window of this size stands centred over the dialog's owner (the
// work area without one), kept on the screen's top and left.
POINT CenteredOverOwner(HWND dialog, int width, int height) {
  HWND owner = GetWindow(dialog, GW_OWNER);
  RECT o;
  if (owner) GetWindowRect(owner, &o);
  else SystemParametersInfoA(SPI_GETWORKAREA, 0, &o, 0);
  POINT at = {o.left + ((o.right - o.left) - width) / 2, o.top + ((o.bottom - o.top) - height) / 2};
  if (at.x < 0) at.x = 0;
  if (at.y < 0) at.y = 0;
  return at;
}

// The tab control sized to hold a page of kPageWidth x kPageHeight units,
// the buttons below it at the right, the dialog around them, centred over
// its owner. Every window moves once (the tab control once more when its
// rows change with its width): each move costs a layout of the tabs.
void LayOut(Frame *f) {
  RECT unit = {0, 0, 4, 8};
  MapDialogRect(f->dialog, &unit);
  RECT page = {0, 0, kPageWidth, kPageHeight};
  MapDialogRect(f->dialog, &page);
  const int margin = unit.right;  // 4 units
  RECT tabs;
  GetWindowRect(f->tabs, &tabs);
  MapWindowPoints(nullptr, f->dialog, reinterpret_cast<POINT *>(&tabs), 2);
  // The rows of a multi-line tab control depend on its width: until the
  // size asked for is the size it has.
  for (int pass = 0; pass < 3; pass++) {
    RECT r = page;
    OffsetRect(&r, margin, margin);
    SendMessageA(f->tabs, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&r));
    OffsetRect(&r, margin - r.left, margin - r.top);
    if (EqualRect(&r, &tabs)) break;
    tabs = r;
    MoveWindow(f->tabs, tabs.left, tabs.top, tabs.right - tabs.left, tabs.bottom - tabs.top, FALSE);
  }
  HWND ok = GetDlgItem(f->dialog, IDOK), cancel = GetDlgItem(f->dialog, IDCANCEL);
  RECT b;
  GetWindowRect(ok, &b);
  const int bw = b.right - b.left, bh = b.bottom - b.top, gap = unit.right;
  const int top = tabs.bottom + gap;
  MoveWindow(cancel, tabs.right - bw, top, bw, bh, FALSE);
  MoveWindow(ok, tabs.right - 2 * bw - gap, top, bw, bh, FALSE);
  RECT client = {0, 0, tabs.right + margin, top + bh + margin};
  AdjustWindowRectEx(&client, static_cast<DWORD>(GetWindowLongA(f->dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(f->dialog, GWL_EXSTYLE)));
  const int width = client.right - client.left, height = client.bottom - client.top;
  const POINT at = CenteredOverOwner(f->dialog, width, height);
  SetWindowPos(f->dialog, nullptr, at.x, at.y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool OnInit(HWND dialog, Frame *f) {
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(f));
  f->dialog = dialog;
  f->tabs = GetDlgItem(dialog, IDC_SETTINGS_TABS);
  if (!f->tabs) return false;
  const char *titles[kPageCount];
  for (int i = 0; i < kPageCount; i++) titles[i] = Text(kPages[i].title);
  AddTabs(f->tabs, titles, kPageCount, false);
  LayOut(f);
  g_frame = f;
  ShowPage(f, f->first);
  SetFocus(f->tabs);
  return f->pages[f->shown] != nullptr;
}

void Finish(Frame *f, int how) {
  SendToPages(f, how);
  if (how != kPageCancel) ApplyLiveSettings();
  EndDialog(f->dialog, how == kPageCancel ? IDCANCEL : IDOK);
}

INT_PTR CALLBACK FrameProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  Frame *f = reinterpret_cast<Frame *>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      if (!OnInit(dialog, reinterpret_cast<Frame *>(lParam))) {
        AskUser(dialog, TXT_OUT_OF_MEMORY, kAskWarning);
        EndDialog(dialog, IDCANCEL);
      }
      return FALSE;  // the focus is set
    case WM_NOTIFY: {
      const NMHDR *n = reinterpret_cast<const NMHDR *>(lParam);
      if (!f || n->hwndFrom != f->tabs || n->code != static_cast<UINT>(TCN_SELCHANGE)) return FALSE;
      ShowPage(f, static_cast<int>(SendMessageA(f->tabs, TCM_GETCURSEL, 0, 0)));
      return TRUE;
    }
    case WM_COMMAND: {
      if (!f) return FALSE;
      const int id = LOWORD(wParam);
      if (IsPage(f, reinterpret_cast<HWND>(lParam))) {
        // A page's request.
        if (id == kPageApply) {
          SendToPages(f, kPageApply);
          ApplyLiveSettings();
        } else if (id == kPageClose) {
          Finish(f, kPageClose);
        }
        return TRUE;
      }
      if (id == IDOK) {
        Finish(f, kPageApply);
        return TRUE;
      }
      if (id == IDCANCEL) {
        Finish(f, kPageCancel);
        return TRUE;
      }
      return FALSE;
    }
    case WM_DESTROY:
      if (g_frame == f) g_frame = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

int RunSettingsDialog(HWND owner, int pageResource) {
  if (g_frame) {  // already open (a command from a page): show the page asked for
    const int n = pageResource ? PageIndex(pageResource) : -1;
    if (n >= 0) ShowPage(g_frame, n);
    return kResultCancelled;
  }
  Frame f = {};
  int first = pageResource ? PageIndex(pageResource) : g_lastPage;
  if (first < 0 || first >= kPageCount) first = 0;
  f.first = first;
  DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_SETTINGS), owner, FrameProc, reinterpret_cast<LPARAM>(&f));
  if (g_frame == &f) g_frame = nullptr;
  return 0;
}

void AskSettingsFrame(HWND page, int request) {
  SendMessageA(GetParent(page), WM_COMMAND, MAKEWPARAM(request, 0), reinterpret_cast<LPARAM>(page));
}

void ApplyLiveSettings() {
  SetWordOptions(WordOptions{g_settings.edit.SWord, g_settings.edit._word});
  ApplyEditorFonts();
  if (HWND editor = g_app.editorWindow) {
    SendMessageA(editor, EDM_SETWORDWRAP, g_settings.opts.WWrap ? 1 : 0, 0);
    // The layout (tab size, left margin, wrap margin), the caches of the
    // display flags, the measures and the caret, and a repaint with the
    // colours.
    SendMessageA(editor, EDM_REFRESH,
                 kRefreshResetLayout | kRefreshDropCaches | kRefreshDecorations | kRefreshMeasure |
                     kRefreshWrapIfWrapping | kRefreshCaret | kRefreshHorizontalRange | kRefreshInvalidate,
                 0);
    SendMessageA(editor, EDM_UPDATE, 0, 0);
  }
  if (HWND main = g_app.mainWindow) {
    ShowStatusBar(g_settings.opts.Status > 0);
    LayoutChildren(main);
    ApplyWindowOnTop();
    UpdateCaption();
  }
  ApplyAutoSaveTimer();
  const Document *doc = AppDocument();
  if (g_settings.file.Watch && doc && doc->filePath[0]) {
    if (!Watching()) StartWatching(doc->filePath);
  } else {
    StopWatching();
  }
}

HWND SettingsFrame() { return g_frame ? g_frame->dialog : nullptr; }

HWND SettingsPage(int pageResource) {
  const int n = PageIndex(pageResource);
  return g_frame && n >= 0 ? g_frame->pages[n] : nullptr;
}

int LastSettingsPage() { return g_lastPage; }
