#include "app/main_window.h"
#include "app/search_bar.h"
#include "app/search_commands.h"

#include <commctrl.h>
#include <initializer_list>
#include <shellapi.h>

#include "app/app_state.h"
#include "app/file_commands.h"
#include "app/file_watch.h"
#include "app/filter_dialogs.h"
#include "app/one_instance.h"
#include "app/shell_commands.h"
#include "app/update_check.h"
#include "app/print_job.h"
#include "app/goto_dialog.h"
#include "app/info_dialogs.h"
#include "app/list_menus.h"
#include "app/settings_dialog.h"
#include "app/status_bar.h"
#include "app/tool_dialogs.h"
#include "document/long_operation.h"
#include "document/undo.h"
#include "editor/editor_messages.h"
#include "files/encoding.h"
#include "files/load.h"
#include "config/config_io.h"
#include "config/config_state.h"
#include "editor/clipboard.h"
#include "editor/editor_mouse.h"
#include "editor/editor_caches.h"
#include "editor/editor_commands.h"
#include "editor/editor_window.h"
#include "editor/tool_commands.h"
#include "editor/wait_window.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/format.h"
#include "foundation/texts.h"
#include "resources/resource.h"
#include "tools/tool_table.h"

const char kMainClassName[] = "QuilPad";

namespace {

constexpr UINT kTrayCallback = 0x8100;  // the notification-area icon's messages


// Forgets the child windows: they are gone with the frame.
void ForgetChildren() {
  g_app.editorWindow = nullptr;
  g_app.statusBar = nullptr;
  g_statusBar.hwnd = nullptr;
  g_statusFieldFree = nullptr;
}

// A double-click on a field of the status bar.
void OnStatusDoubleClick(HWND hwnd, int field) {
  HWND editor = g_app.editorWindow;
  if (!editor) return;
  switch (field) {
    case kFieldLine:
      RunGotoDialog(hwnd, editor, kGotoBoxLine);
      break;
    case kFieldColumn:
    case kFieldPosition:
      RunGotoDialog(hwnd, editor, kGotoBoxPosition);
      break;
    case kFieldEncoding:
      SendMessageA(editor, EDM_NEXTENCODING, 0, 0);
      break;
    case kFieldBom:
      SendMessageA(editor, EDM_TOGGLEBOM, 0, 0);
      break;
    case kFieldNewlines:
      SendMessageA(editor, EDM_SETNEWLINES, SendMessageA(editor, EDM_GETNEWLINES, 0, 0) + 1, 0);
      break;
    case kFieldModified:
      if (!g_settings.main.SBNoSav) SendMessageA(hwnd, WM_COMMAND, IDM_FILE_SAVE, 0);
      break;
    case kFieldOverwrite:
      SendMessageA(editor, EDM_SETOVERWRITE, !SendMessageA(editor, EDM_GETOVERWRITE, 0, 0), 0);
      break;
    case kFieldWrap:
      SendMessageA(editor, EDM_SETWORDWRAP, !SendMessageA(editor, EDM_GETWORDWRAP, 0, 0), 0);
      break;
    case kFieldMessage: {
      // What the field was given: the bar may show a line break otherwise.
      const char *shown = g_statusBar.message, *note = Text(TXT_NEW_VERSION);
      if (note[0] && StrLen(shown) == StrLen(note) && MemCompare(shown, note, StrLen(note)) == 0) (void)OfferNewVersion(hwnd);
      break;
    }
    default:
      break;  // the selection and the character answer nothing
  }
}

void ApplyMenuStates(HMENU menu, const Document *doc);

// The editor's context menu (menu 21) at a point of the client area.
void ShowContextMenu(HWND hwnd, POINT point) {
  HMENU menu = LoadMenuA(g_app.instance, MAKEINTRESOURCEA(IDR_CONTEXT_MENU));
  if (!menu) return;
  HMENU popup = GetSubMenu(menu, 0);
  ApplyMenuStates(popup, AppDocument());
  ClientToScreen(hwnd, &point);
  const UINT chosen = ShowPopupMenu(popup, point.x, point.y, hwnd);
  DestroyMenu(menu);
  if (chosen) SendMessageA(hwnd, WM_COMMAND, chosen, 0);
}

LRESULT OnNotify(HWND hwnd, const NMHDR *header) {
  if (header->idFrom == IDC_EDITOR && header->code == static_cast<UINT>(NM_RCLICK)) {
    struct Note {
      NMHDR header;
      POINT point;
    };
    ShowContextMenu(hwnd, reinterpret_cast<const Note *>(header)->point);
    return 0;
  }
  if (header->idFrom == IDC_STATUS_BAR && header->code == static_cast<UINT>(NM_DBLCLK)) {
    const NMMOUSE *mouse = reinterpret_cast<const NMMOUSE *>(header);
    int field = mouse->dwItemSpec < static_cast<DWORD_PTR>(kStatusFieldCount) ? static_cast<int>(mouse->dwItemSpec)
                                                                               : StatusFieldAt(mouse->pt);
    OnStatusDoubleClick(hwnd, field);
    return 0;
  }
  return 0;
}

// Dynamic menu items share the help text of the first of their range.
u16 HelpTextId(UINT id) {
  static const struct {
    u16 first, last;
  } kRanges[] = {{17001, 17019}, {41101, 41150}, {45201, 45209}, {45301, 45309},
                 {14001, 14999}, {15001, 15999}, {16001, 16999}};
  for (const auto &r : kRanges)
    if (id >= r.first && id <= r.last) return r.first;
  return static_cast<u16>(id);
}

// The help text of the menu item under the pointer; the field empties when
// the menu closes.
void OnMenuSelect(UINT item, UINT flags, HMENU menu) {
  if (flags == 0xFFFF && !menu) {
    ClearMessage(true, false);
    return;
  }
  char text[1100];
  text[0] = 0;
  if (!(flags & (MF_POPUP | MF_SEPARATOR)) && item && !FilterMenuHelp(item, text, sizeof text))
    LoadStringA(g_app.instance, HelpTextId(item), text, sizeof text);
  ShowMessage(text, 0);
}


// The display options of the Options menu, in menu order, and the setting
// each one turns on and off.
struct DisplayOption {
  UINT id;
  i32 OptsSettings::*flag;
};
const DisplayOption kDisplayOptions[] = {
    {IDM_OPT_LINE_NUMBERS, &OptsSettings::LnNums},  {IDM_OPT_VISIBLE_TABS, &OptsSettings::PrnTabs},
    {IDM_OPT_VISIBLE_SPACES, &OptsSettings::PrnSpcs}, {IDM_OPT_VISIBLE_NEWLINES, &OptsSettings::PrnNlns},
    {IDM_OPT_LINE_LENGTHS, &OptsSettings::PrnLens}, {IDM_OPT_COLORIZE, &OptsSettings::TxtClrz},
    {IDM_OPT_DETECT_URLS, &OptsSettings::Urls},     {IDM_OPT_HIGHLIGHTER, &OptsSettings::HiliSel},
};

void Check(HMENU menu, UINT id, bool on) { CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED)); }

}  // namespace

HMENU Submenu(HMENU menu, UINT id, bool empty) {
  const int n = GetMenuItemCount(menu);
  for (int k = 0; k < n; k++) {
    MENUITEMINFOA mii = {};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_DATA;
    if (!GetMenuItemInfoA(menu, static_cast<UINT>(k), TRUE, &mii)) continue;
    if (mii.hSubMenu && mii.dwItemData == id) {
      if (empty)
        while (GetMenuItemCount(mii.hSubMenu) > 0) DeleteMenu(mii.hSubMenu, 0, MF_BYPOSITION);
      return mii.hSubMenu;
    }
    if (!mii.hSubMenu && mii.wID == id) {
      HMENU popup = CreatePopupMenu();
      if (!popup) return nullptr;
      mii.fMask = MIIM_SUBMENU | MIIM_DATA;
      mii.hSubMenu = popup;
      mii.dwItemData = id;
      if (!SetMenuItemInfoA(menu, static_cast<UINT>(k), TRUE, &mii)) {
        DestroyMenu(popup);
        return nullptr;
      }
      return popup;
    }
    // An ordinary submenu of the resource: look inside.
    if (mii.hSubMenu && !mii.dwItemData)
      if (HMENU found = Submenu(mii.hSubMenu, id, empty)) return found;
  }
  return nullptr;
}

namespace {

void AppendItem(HMENU menu, UINT id, const char *text, bool checked, bool enabled) {
  AppendMenuA(menu, MF_STRING | (checked ? MF_CHECKED : 0) | (enabled ? 0 : MF_GRAYED), id, text);
}

// Encoding: the four encodings, the document's code page when it has one,
// BOM (greyed where there is none to write); Newlines: the four types, Mixed
// greyed when mixed newlines are not allowed.
void BuildEncodingMenus(HMENU bar, const Document *doc) {
  if (HMENU menu = Submenu(bar, IDM_ENCODING_MENU, true)) {
    static const char *const kNames[] = {"ANSI", "UTF-8", "Unicode", "Unicode, Big Endian"};
    for (u32 i = 0; i < 4; i++) AppendItem(menu, IDM_ENCODING_ANSI + i, kNames[i], doc->encoding == i, true);
    if (doc->encoding == kEncodingCodePage && doc->codePageIndex < CodePageCount())
      AppendItem(menu, IDM_ENCODING_CODE_PAGE, CodePageName(doc->codePageIndex), true, true);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    const bool bomPossible = doc->encoding != kEncodingAnsi && doc->encoding != kEncodingCodePage;
    AppendItem(menu, IDM_ENCODING_BOM, "BOM", doc->bomInEffect != 0, bomPossible);
  }
  if (HMENU menu = Submenu(bar, IDM_NEWLINES_MENU, true)) {
    static const char *const kNames[] = {"Win", "Unix", "Mac", "Mixed"};
    for (u32 i = 0; i < 4; i++)
      AppendItem(menu, IDM_NEWLINES_WIN + i, kNames[i], doc->newlineType == i, i < 3 || !g_settings.file.NoMixNl);
  }
}

// Import, Export and Re-open: the four encodings, then the installed code
// pages in eight groups by the description in their names; code page i is
// base + 100 + i. The list is made at start-up: a submenu filled for it
// (its menu data: the count + 1) is left as it is.
void BuildCodePageMenus(HMENU bar) {
  static const TextSlot kGroupNames[kCodePageGroups] = {TXT_CP_GROUP_ANSI, TXT_CP_GROUP_ISO, TXT_CP_GROUP_OEM,
                                                         TXT_CP_GROUP_IBM, TXT_CP_GROUP_MAC, TXT_CP_GROUP_ANSI_OEM,
                                                         TXT_CP_GROUP_ISCII, TXT_CP_GROUP_OTHER};
  static const char *const kNames[] = {"ANSI", "UTF-8", "Unicode", "Unicode, Big Endian"};
  for (UINT base : {IDM_IMPORT_MENU, IDM_EXPORT_MENU, IDM_REOPEN_MENU}) {
    HMENU menu = Submenu(bar, base, false);
    if (!menu) continue;
    MENUINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = MIM_MENUDATA;
    if (GetMenuInfo(menu, &info) && info.dwMenuData == CodePageCount() + 1 && GetMenuItemCount(menu) > 0) continue;
    while (GetMenuItemCount(menu) > 0) DeleteMenu(menu, 0, MF_BYPOSITION);
    info.dwMenuData = CodePageCount() + 1;
    SetMenuInfo(menu, &info);
    for (u32 i = 0; i < 4; i++) AppendItem(menu, base + 1 + i, kNames[i], false, true);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    HMENU groups[kCodePageGroups];
    for (u32 g = 0; g < kCodePageGroups; g++) groups[g] = CreatePopupMenu();
    for (u32 i = 0; i < CodePageCount() && 100 + i < 1000; i++) {
      const char *name = CodePageName(i);
      HMENU group = groups[CodePageGroup(name)];
      if (group) AppendItem(group, base + 100 + i, name, false, true);
    }
    for (u32 g = 0; g < kCodePageGroups; g++) {
      if (!groups[g]) continue;
      MENUITEMINFOA mii = {};
      mii.cbSize = sizeof mii;
      mii.fMask = MIIM_SUBMENU | MIIM_STRING | MIIM_ID;
      mii.wID = base + 10 + g;
      mii.hSubMenu = groups[g];
      mii.dwTypeData = const_cast<char *>(Text(kGroupNames[g]));
      if (!InsertMenuItemA(menu, static_cast<UINT>(GetMenuItemCount(menu)), TRUE, &mii)) DestroyMenu(groups[g]);
    }
  }
}

// Import (14000), Export (15000), Re-open (16000) in an encoding: base + 1..4
// the four encodings, base + 100 + i code page i (an id past the list does
// nothing).
int CommandInEncoding(int id) {
  const int base = id / 1000 * 1000;
  const int item = id - base;
  u32 encoding, codePage = 0xFFFFFFFF;
  if (item >= 1 && item <= 4) {
    encoding = static_cast<u32>(item - 1);
  } else if (item >= 100 && static_cast<u32>(item - 100) < CodePageCount()) {
    encoding = kEncodingCodePage;
    codePage = static_cast<u32>(item - 100);
  } else {
    return kResultCancelled;
  }
  if (base == IDM_IMPORT_MENU) return CommandImport(encoding, codePage);
  if (base == IDM_EXPORT_MENU) return CommandExport(encoding, codePage);
  return CommandReopen(encoding, codePage);
}

// The encoding and newline commands of those submenus.
int CommandEncoding(int id) {
  HWND editor = g_app.editorWindow;
  Document *doc = AppDocument();
  if (!editor || !doc) return kResultCancelled;
  if (id == IDM_ENCODING_BOM) {
    SendMessageA(editor, EDM_TOGGLEBOM, 0, 0);
  } else if (id == IDM_ENCODING_CODE_PAGE) {
    SendMessageA(editor, EDM_SETENCODING, EncodingRequest(kEncodingCodePage, 255, 0), doc->codePageIndex);
  } else if (id >= IDM_NEWLINES_WIN && id <= IDM_NEWLINES_MIXED) {
    SendMessageA(editor, EDM_SETNEWLINES, static_cast<WPARAM>(id - IDM_NEWLINES_WIN), 0);
  } else {
    SendMessageA(editor, EDM_SETENCODING, EncodingRequest(static_cast<u32>(id - IDM_ENCODING_ANSI), 255, 0), 0xFFFFFFFF);
  }
  UpdateDocumentFields(editor);
  return 0;
}



// The enabled states whose facts exist, by command.
struct MenuState {
  UINT id;
  bool (*enabled)(const Document *doc);
};
bool HasFile(const Document *doc) { return doc->filePath[0] != 0; }
bool HasSelection(const Document *doc) { return doc->selStart->position != doc->selEnd->position; }
bool CanCopy(const Document *doc) { return HasSelection(doc) || g_settings.edit.CASel; }
bool ClipboardHasText(const Document *) { return ClipboardHoldsText(); }
bool Closeable(const Document *) { return !g_app.hardToClose; }
bool Wrapping(const Document *doc) { return doc->wordWrap != 0; }
bool CanUndo(const Document *doc) { return UndoEnabled(doc, g_settings.edit.NoMUndo != 0); }
bool CanRedo(const Document *doc) { return RedoEnabled(doc, g_settings.edit.NoMUndo != 0); }
bool CanReinsertDeleted(const Document *) {
  return SendMessageA(g_app.editorWindow, EDM_CANREINSERTDELETED, 0, 0) != 0;
}
bool LastToolRan(const Document *) { return HasLastTool(); }
bool CanSearchWeb(const Document *) { return WebSearchPossible(); }
bool HasMakerHost(const Document *) { return MakerHost()[0] != 0; }
bool CanReinsertInserted(const Document *) {
  return SendMessageA(g_app.editorWindow, EDM_CANREINSERTINSERTED, 0, 0) != 0;
}
const MenuState kMenuStates[] = {
    {IDM_FILE_REVERT, HasFile},          {IDM_REOPEN_MENU, HasFile},
    {13653, HasFile},                    {13655, HasFile},
    {13657, HasFile},                    {IDM_EDIT_INSERT_FILE_NAME, HasFile},
    {IDM_EDIT_INSERT_FULL_PATH, HasFile}, {41020, HasFile},
    {IDM_FILE_EXCLUDE, HasSelection},    {IDM_EDIT_DELETE, HasSelection},
    {IDM_EDIT_CUT, CanCopy},             {IDM_EDIT_CUT_APPEND, CanCopy},
    {IDM_EDIT_COPY, CanCopy},            {IDM_EDIT_COPY_APPEND, CanCopy},
    {IDM_EDIT_PASTE, ClipboardHasText},  {IDM_EDIT_SWAP, ClipboardHasText},
    {IDM_FILE_EXIT, Closeable},          {IDM_FILE_SAVE_AND_EXIT, Closeable},
    {39010, Wrapping},                   {IDM_EDIT_UNDO, CanUndo},
    {IDM_EDIT_REDO, CanRedo},            {IDM_EDIT_REINSERT_DELETED, CanReinsertDeleted},
    {IDM_EDIT_REINSERT_INSERTED, CanReinsertInserted},
    {IDM_TOOLS_LAST_TOOL, LastToolRan},
    {IDM_EDIT_WEB_SEARCH, CanSearchWeb}, {IDM_HELP_ONLINE_MANUAL, HasMakerHost},
    {IDM_HELP_HOMEPAGE, HasMakerHost},
};

// Greys or enables every item of a menu and its submenus by the tables
// above; the submenus built from an item (encodings, code pages) keep the
// states they were built with.
void ApplyMenuStates(HMENU menu, const Document *doc) {
  for (int i = 0; i < GetMenuItemCount(menu); i++) {
    MENUITEMINFOA mii = {};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_DATA;
    if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &mii)) continue;
    // A submenu made of an item keeps that item's id as its data.
    const UINT id = mii.hSubMenu ? static_cast<UINT>(mii.dwItemData) : mii.wID;
    if (mii.hSubMenu && !id) {
      ApplyMenuStates(mii.hSubMenu, doc);
      continue;
    }
    bool on = !CommandPending(id);
    for (const MenuState &state : kMenuStates)
      if (state.id == id && on && doc) on = state.enabled(doc);
    EnableMenuItem(menu, static_cast<UINT>(i), MF_BYPOSITION | (on ? MF_ENABLED : MF_GRAYED));
  }
}

void OnInitMenu(HMENU menu) {
  Check(menu, IDM_STATUS_BAR, g_settings.opts.Status > 0);
  Check(menu, IDM_OPT_HARD_TO_CLOSE, g_app.hardToClose != 0);
  Check(menu, IDM_OPT_FULLSCREEN, g_app.fullscreen != 0);
  Check(menu, IDM_OPT_STAY_ON_TOP, g_settings.opts.OnTop != 0);
  Check(menu, IDM_OPT_SESSION_ON_TOP, g_app.sessionOnTop != 0);
  Check(menu, IDM_OPT_SECOND_FONT, g_settings.opts.CFont != 0);
  for (const DisplayOption &option : kDisplayOptions) Check(menu, option.id, g_settings.opts.*option.flag != 0);
  HWND editor = g_app.editorWindow;
  Document *doc = AppDocument();
  if (!editor || !doc) {
    BuildListMenus(menu, nullptr);
    ApplyMenuStates(menu, nullptr);
    return;
  }
  Check(menu, IDM_OPT_WORD_WRAP, doc->wordWrap != 0);
  BuildEncodingMenus(menu, doc);
  BuildCodePageMenus(menu);
  BuildListMenus(menu, doc);
  BuildFiltersMenu(menu);
  ApplyMenuStates(menu, doc);
  CheckMenuItem(menu, IDM_OVERWRITE_MODE, MF_BYCOMMAND | (doc->overwriteMode ? MF_CHECKED : MF_UNCHECKED));
}

// While a long operation, a tool run or a file operation runs (a message box
// of a half-done load or of a tool dispatches what is posted), the messages that could free or
// replace the document under it (close, hand-over, revert, auto-save, drops,
// tray restores, posted commands) wait here and are posted again after it; a
// close also cancels a long operation, and the end of the session is refused
// meanwhile.
struct PutOff {
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};
PutOff g_putOff[64];
int g_putOffCount;

void ReplayPutOff() {
  const int n = g_putOffCount;
  g_putOffCount = 0;
  for (int i = 0; i < n; i++)
    if (g_app.mainWindow) PostMessageA(g_app.mainWindow, g_putOff[i].msg, g_putOff[i].wParam, g_putOff[i].lParam);
}

bool PutOffDuringOperation(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT *answer) {
  if (!LongOperationRunning() && !FileOperationBusy() && !ToolRunning() && !PrintJobRunning()) return false;
  const bool deferred = msg == WM_CLOSE || msg == WM_DROPFILES || msg == WM_COMMAND || msg == kTrayCallback ||
                        (msg == WM_TIMER && wParam == 5) || (g_app.handOver && msg == g_app.handOver);
  if (msg == WM_QUERYENDSESSION) {
    *answer = FALSE;
    return true;
  }
  if (!deferred) return false;
  if (msg == WM_CLOSE) CancelLongOperation();
  // A full list drops the newest; a drop's handle is released then.
  if (g_putOffCount < static_cast<int>(sizeof g_putOff / sizeof g_putOff[0])) {
    g_putOff[g_putOffCount++] = PutOff{msg, wParam, lParam};
  } else if (msg == WM_DROPFILES) {
    DragFinish(reinterpret_cast<HDROP>(wParam));
  }
  *answer = 0;
  return true;
}

LRESULT OnCreate(HWND hwnd) {
  g_app.mainWindow = hwnd;
  g_app.editorWindow = CreateWindowExA(
      WS_EX_CLIENTEDGE, kEditorClassName, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_HSCROLL | WS_VSCROLL, 0,
      0, 0, 0, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_EDITOR)), g_app.instance, nullptr);
  if (!g_app.editorWindow) {
    AskUser(hwnd, TXT_OUT_OF_MEMORY, kAskWarning);
    g_app.mainWindow = nullptr;  // the creation fails: this is no main window
    return -1;
  }
  CreateStatusBar(hwnd);
  LayoutChildren(hwnd);
  g_afterLongOperation = ReplayPutOff;
  g_afterFileOperation = ReplayPutOff;
  SetToolDialogHook(RunToolDialog);
  g_app.handOver = RegisterWindowMessageA("QLP.AE");
  g_app.taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
  DragAcceptFiles(hwnd, TRUE);
  ReadInputMetrics();
  ApplyAutoSaveTimer();
  // The word-wrap state and the fonts of the configuration.
  SendMessageA(g_app.editorWindow, EDM_SETWORDWRAP, g_settings.opts.WWrap ? 1 : 0, 0);
  ApplyEditorFonts();
  // A margin that was never set gets its place now that the font is known.
  if (g_settings.opts.RWrap == 0) (void)CommandWrapMargin();
  UpdateDocumentFields(g_app.editorWindow);
  SendMessageA(g_app.editorWindow, EDM_UPDATE, 0, 0);
  PostMessageA(hwnd, WM_COMMAND, IDM_STARTUP_OPEN, 0);
  return 0;
}

int CommandWordWrap() {
  g_settings.opts.WWrap = g_settings.opts.WWrap ? 0 : 1;
  if (g_app.editorWindow) SendMessageA(g_app.editorWindow, EDM_SETWORDWRAP, static_cast<WPARAM>(g_settings.opts.WWrap), 0);
  return 0;
}

int Zoom(int step) {
  i32 &zoom = g_settings.opts.Zoom;
  zoom = step ? zoom + step : 0;
  ApplyEditorFonts();
  return 0;
}


// The notification-area icon, its tip the caption cut to 127 characters
// (never inside a double-byte character).
bool AddTrayIcon(HWND hwnd) {
  NOTIFYICONDATAA nid = {};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = hwnd;
  nid.uID = 1;
  nid.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  nid.uCallbackMessage = kTrayCallback;
  nid.hIcon = LoadIconA(g_app.instance, MAKEINTRESOURCEA(IDI_QUILLPAD));
  char caption[512];
  GetWindowTextA(hwnd, caption, sizeof caption);
  CutAtCharacter(caption, sizeof nid.szTip - 1);
  StrCopyN(nid.szTip, caption, sizeof nid.szTip);
  return Shell_NotifyIconA(NIM_ADD, &nid) != FALSE;
}

void DeleteTrayIcon(HWND hwnd) {
  NOTIFYICONDATAA nid = {};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = hwnd;
  nid.uID = 1;
  Shell_NotifyIconA(NIM_DELETE, &nid);
}

// Hide to Tray (13711) and /H: hidden only once the icon is there.
int HideToTray(HWND hwnd) {
  if (g_app.inTray) return kResultCancelled;
  if (!AddTrayIcon(hwnd)) return kResultCancelled;
  ShowWindow(hwnd, SW_MINIMIZE);
  ShowWindow(hwnd, SW_HIDE);
  g_app.inTray = 1;
  return 0;
}

// The icon's callback: a button released brings the window back; 24 (sent
// by another window of the program handing over) restores it without
// showing it first.
void OnTrayCallback(HWND hwnd, LPARAM lParam) {
  if (lParam == 24) {
    if (IsIconic(hwnd)) ShowWindow(hwnd, SW_RESTORE);
    DeleteTrayIcon(hwnd);
    g_app.inTray = 0;
    return;
  }
  if ((lParam == WM_LBUTTONUP || lParam == WM_RBUTTONUP) && g_app.inTray) {
    ShowWindow(hwnd, SW_SHOW);
    if (IsIconic(hwnd)) ShowWindow(hwnd, SW_RESTORE);
    SetForegroundWindow(hwnd);
    DeleteTrayIcon(hwnd);
    g_app.inTray = 0;
  }
}

// New Window (13721): the configuration saved, then the program once more,
// on the same configuration file when /i named one.
int CommandNewWindow(HWND hwnd) {
  (void)SaveConfig(hwnd, g_config.path, false, false);
  char exe[MAX_PATH];
  if (!ProgramPath(exe, sizeof exe)) return ReportSystemError(hwnd, GetLastError());
  char parameters[kConfigPathChars + 8] = "";
  if (g_app.options.configFile[0]) Format(parameters, sizeof parameters, "/i \"%s\"", g_app.options.configFile);
  return ShellRun(ShellRequest{hwnd, nullptr, exe, parameters[0] ? parameters : nullptr, nullptr, 0, false});
}

// Topmost while Stay on Top or Session on Top is set.
void ApplyOnTop(HWND hwnd) {
  const bool top = g_settings.opts.OnTop || g_app.sessionOnTop;
  SetWindowPos(hwnd, top ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// Fullscreen: the placement is remembered in the settings (and saved from
// there meanwhile, with FulScr), the caption and sizing frame go, and the
// window is maximized; leaving gives them back and restores the placement.
void EnterFullscreen(HWND hwnd) {
  WINDOWPLACEMENT wp = {};
  wp.length = sizeof wp;
  if (GetWindowPlacement(hwnd, &wp)) {
    PlaceSettings &place = g_settings.place;
    place.Left = wp.rcNormalPosition.left;
    place.Top = wp.rcNormalPosition.top;
    place.Width = wp.rcNormalPosition.right - wp.rcNormalPosition.left;
    place.Height = wp.rcNormalPosition.bottom - wp.rcNormalPosition.top;
    place.Maxed = IsZoomed(hwnd) ? 1 : 0;
  }
  const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
  SetWindowLongA(hwnd, GWL_STYLE, style & ~(WS_CAPTION | WS_THICKFRAME));
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  if (IsZoomed(hwnd)) ShowWindow(hwnd, SW_RESTORE);
  ShowWindow(hwnd, SW_MAXIMIZE);
  g_settings.place.FulScr = 1;
  g_app.fullscreen = 1;
}

void LeaveFullscreen(HWND hwnd) {
  g_app.fullscreen = 0;
  g_settings.place.FulScr = 0;
  const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
  SetWindowLongA(hwnd, GWL_STYLE, style | WS_CAPTION | WS_THICKFRAME);
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  const PlaceSettings &place = g_settings.place;
  WINDOWPLACEMENT wp = {};
  wp.length = sizeof wp;
  GetWindowPlacement(hwnd, &wp);
  if (place.Left != kNotSaved && place.Top != kNotSaved && place.Width != kNotSaved && place.Height != kNotSaved) {
    wp.rcNormalPosition = RECT{place.Left, place.Top, place.Left + place.Width, place.Top + place.Height};
  }
  wp.showCmd = place.Maxed ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
  SetWindowPlacement(hwnd, &wp);
}

int ToggleDisplayOption(const DisplayOption &option) {
  i32 &flag = g_settings.opts.*option.flag;
  flag = flag ? 0 : 1;
  // Everything the view draws or lays out may change: the gutter's width,
  // the caches of URLs and of the highlighter, the marks.
  if (g_app.editorWindow) {
    SendMessageA(g_app.editorWindow, EDM_REFRESH, 1270, 0);
    SendMessageA(g_app.editorWindow, EDM_UPDATE, 0, 0);
  }
  return 0;
}

// Esc (13813), and Shift+Esc (13817) once it has set exit without saving:
// a drag or the search bar is ended first; otherwise the window closes when
// Esc is to quit, after "Do you want to quit?" when AskEsc wants it and the
// document has no changes to ask about. Whatever does not close clears exit
// without saving.
int CommandEscape(HWND hwnd) {
  bool close = false;
  if (GetCapture()) {
    ReleaseCapture();
  } else if (g_app.searchBar) {
    CloseSearchBar();
  } else if (!g_settings.main.Esc) {
    MessageBeep(MB_OK);
  } else if (!g_settings.main.AskEsc) {
    close = true;
  } else {
    Document *doc = AppDocument();
    close = (doc && doc->modified) || AskUser(hwnd, TXT_QUIT_QUESTION, kAskYesNoCancel) == kAnswerYes;
  }
  if (!close) {
    g_app.exitWithoutSaving = 0;
    return kResultCancelled;
  }
  PostMessageA(hwnd, WM_CLOSE, 0, 0);
  return 0;
}

// Save and Exit (13815): closes once the document is saved.
int CommandSaveAndExit(HWND hwnd) {
  const LRESULT saved = SendMessageA(hwnd, WM_COMMAND, IDM_FILE_SAVE, 0);
  if (saved == 0) {
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    return 0;
  }
  return saved == 1 ? kResultCancelled : kResultReported;
}

// Print (13612): the document, or the selection, under its file name.
int CommandPrint(HWND hwnd) {
  const Document *doc = AppDocument();
  if (!g_app.editorWindow || !doc) return kResultCancelled;
  return PrintJob(hwnd, g_app.editorWindow, doc->fileTitle[0] ? doc->fileTitle : Text(TXT_UNTITLED));
}

// The shell's own commands; 64 for everything the editor handles.
int OnMainCommand(HWND hwnd, int id) {
  switch (id) {
    case 25100: return OpenSearchBar(0);
    case 25200: return OpenSearchBar(kBarReplaceRow);
    case 25250: return OpenSearchBar(kBarToolRow);
    case 25300: return OpenSearchBar(kBarSecondary);
    default: break;
  }
  if (id >= 25100 && id <= 25360) {
    const int r = CommandSearch(id);
    if (r != 64) return r;
  }
  if (id >= IDM_FILTER_FIRST && id <= IDM_FILTER_LAST) return FilterCommand(hwnd, id);
  {
    const int r = ShellCommand(hwnd, id);
    if (r != 64) return r;
  }
  if ((id >= 17001 && id <= 17020) || (id >= 41001 && id <= 41150) || id == 45001 || id == 45010) {
    const int r = ListCommand(hwnd, id);
    if (r != 64) return r;
  }
  switch (id) {
    case IDM_STARTUP_OPEN:
      return OpenStartupDocument();
    case IDM_FILE_EXIT:
      PostMessageA(hwnd, WM_CLOSE, 0, 0);
      return 0;
    case IDM_FILE_SAVE_AND_EXIT: return CommandSaveAndExit(hwnd);
    case IDM_FILE_ESCAPE: return CommandEscape(hwnd);
    case IDM_FILE_ESCAPE_NO_SAVE:
      if (g_settings.main.DNoSave) {
        MessageBeep(MB_OK);
        g_app.exitWithoutSaving = 0;
        return kResultCancelled;
      }
      g_app.exitWithoutSaving = 1;
      return CommandEscape(hwnd);
    case IDM_FILE_HIDE_TO_TRAY: return HideToTray(hwnd);
    case IDM_FILE_NEW_WINDOW: return CommandNewWindow(hwnd);
    case IDM_HELP_CHECK_UPDATES: return CheckForUpdate(hwnd, false, "up");
    case IDM_HELP_INFO: return RunInfoDialog(hwnd);
    case IDM_HELP_ABOUT: return RunAboutDialog(hwnd);
    case IDM_OPT_HARD_TO_CLOSE:
      g_app.hardToClose = !g_app.hardToClose;
      return 0;
    case IDM_OPT_STAY_ON_TOP:
      g_settings.opts.OnTop = !g_settings.opts.OnTop;
      ApplyOnTop(hwnd);
      return 0;
    case IDM_OPT_SESSION_ON_TOP:
      g_app.sessionOnTop = !g_app.sessionOnTop;
      ApplyOnTop(hwnd);
      return 0;
    case IDM_OPT_SECOND_FONT:
      g_settings.opts.CFont = !g_settings.opts.CFont;
      ApplyEditorFonts();
      return 0;
    case IDM_OPT_FULLSCREEN:
      if (g_app.fullscreen) LeaveFullscreen(hwnd);
      else EnterFullscreen(hwnd);
      return 0;
    case IDM_ENCODING_ANSI:
    case IDM_ENCODING_ANSI + 1:
    case IDM_ENCODING_ANSI + 2:
    case IDM_ENCODING_ANSI + 3:
    case IDM_ENCODING_CODE_PAGE:
    case IDM_ENCODING_BOM:
    case IDM_NEWLINES_WIN:
    case IDM_NEWLINES_WIN + 1:
    case IDM_NEWLINES_WIN + 2:
    case IDM_NEWLINES_MIXED:
      return CommandEncoding(id);
    case IDM_FILE_REVERT: return CommandRevert();
    case IDM_FILE_CHANGED: return CommandFileChanged();
    case IDM_FILE_INCLUDE: return CommandInclude();
    case IDM_FILE_EXCLUDE: return CommandExclude();
    case IDM_FILE_NEW: return CommandNew();
    case IDM_FILE_OPEN: return CommandOpen();
    case IDM_FILE_SAVE: return CommandSave();
    case IDM_FILE_SAVE_AS: return CommandSaveAs();
    case IDM_OVERWRITE_MODE:
      if (g_app.editorWindow) {
        LRESULT on = SendMessageA(g_app.editorWindow, EDM_GETOVERWRITE, 0, 0);
        SendMessageA(g_app.editorWindow, EDM_SETOVERWRITE, !on, 0);
      }
      return 0;
    case IDM_ZOOM_IN: return Zoom(1);
    case IDM_ZOOM_OUT: return Zoom(-1);
    case IDM_ZOOM_RESET: return Zoom(0);
    case IDM_EDIT_GOTO: return RunGotoDialog(hwnd, g_app.editorWindow, kGotoBoxLine);
    case IDM_STATUS_BAR:
      ShowStatusBar(g_settings.opts.Status <= 0);
      LayoutChildren(hwnd);
      return 0;
    case IDM_FILE_PAGE_SETUP: return CommandPageSetup(hwnd);
    case IDM_FILE_PRINT: return CommandPrint(hwnd);
    case IDM_OPT_WORD_WRAP: return CommandWordWrap();
    case IDM_OPT_SETTINGS: return RunSettingsDialog(hwnd, 0);
    case IDM_FAVOURITES_MANAGE: return RunSettingsDialog(hwnd, IDD_FAVOURITES_PAGE);
    case IDM_FILTERS_MANAGE: return RunSettingsDialog(hwnd, IDD_FILTERS_PAGE);
    case IDM_OPT_WRAP_MARGIN: return CommandWrapMargin();
    default:
      for (const DisplayOption &option : kDisplayOptions)
        if (static_cast<UINT>(id) == option.id) return ToggleDisplayOption(option);
      if (id > IDM_IMPORT_MENU && id < IDM_REOPEN_MENU + 1000) return CommandInEncoding(id);
      return 64;
  }
}

// The editor's own notifications (focus, change, moved, ...): a caret move
// is an idle clear request of the message field.
void OnEditorNotification(WORD code) {
  if (code == kEditorMoved) ClearMessage(false, true);
}

LRESULT OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  const bool fromEditor = lParam && reinterpret_cast<HWND>(lParam) == g_app.editorWindow;
  if (fromEditor && LOWORD(wParam) == IDC_EDITOR) {
    OnEditorNotification(HIWORD(wParam));
    return 0;
  }
  int result = OnMainCommand(hwnd, LOWORD(wParam));
  if (result == 64) {
    if (!g_app.editorWindow) return 0;
    LRESULT editor = SendMessageA(g_app.editorWindow, WM_COMMAND, wParam, lParam);
    if (editor != 0) return editor;
    result = 0;
  }
  // A finished command is a clear request, unless the editor itself asked.
  if (result == 0 && !fromEditor) ClearMessage(false, false);
  return AnswerCommandResult(hwnd, result);
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT putOff = 0;
  if (hwnd == g_app.mainWindow && PutOffDuringOperation(msg, wParam, lParam, &putOff)) return putOff;
  if (msg >= EDN_STATUSMESSAGE && msg <= EDN_BREAKSNEWLINE) {
    OnEditorStatusNotification(msg, wParam, lParam);
    if (msg == EDN_MODIFIED) UpdateCaption();
    return 0;
  }
  switch (msg) {
    case WM_CREATE:
      return OnCreate(hwnd);
    case WM_SIZE:
      // Restoring the window leaves fullscreen.
      if (g_app.fullscreen && wParam == SIZE_RESTORED && hwnd == g_app.mainWindow) LeaveFullscreen(hwnd);
      LayoutChildren(hwnd);
      return 0;
    case WM_COMMAND:
      return OnCommand(hwnd, wParam, lParam);
    case WM_SETFOCUS:
      SetFocus(g_app.lastFocus ? g_app.lastFocus : g_app.editorWindow);
      return 0;
    case WM_CLOSE:
      if (g_app.hardToClose) {
        AskUser(hwnd, TXT_HARD_TO_CLOSE, kAskWarning);
        g_app.exitWithoutSaving = 0;
        return 0;
      }
      if (AskBeforeClosing() != 0) {  // cancelled, or the save failed
        g_app.exitWithoutSaving = 0;
        return 0;
      }
      KillTimer(hwnd, kAutoSaveTimer);
      ReleaseFileState();
      DestroyWindow(hwnd);
      return 0;
    case WM_QUERYENDSESSION:
      // The session may end when the question about unsaved changes lets it.
      return AskBeforeClosing() == 0 ? TRUE : FALSE;
    case WM_TIMER:
      if (wParam == kAutoSaveTimer) {
        AutoSaveTick();
        return 0;
      }
      return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_MOVE:
      g_app.position = MAKEPOINTS(lParam);
      return 0;
    case WM_NCDESTROY:
      FreeEditorFonts();
      return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_NOTIFY:
      return OnNotify(hwnd, reinterpret_cast<const NMHDR *>(lParam));
    case kTrayCallback:
      OnTrayCallback(hwnd, lParam);
      return 0;
    case WM_DROPFILES: {
      const int r = OpenDroppedFiles(reinterpret_cast<HDROP>(wParam));
      AnswerCommandResult(hwnd, r);
      return 0;
    }
    case WM_INITMENU:
      OnInitMenu(reinterpret_cast<HMENU>(wParam));
      return 0;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
      ReadInputMetrics();
      if (msg == WM_SYSCOLORCHANGE && g_app.editorWindow) SendMessageA(g_app.editorWindow, msg, wParam, lParam);
      return DefWindowProcA(hwnd, msg, wParam, lParam);
    case kFilterMemoryWarning:
      OnFilterMemoryWarning();
      return 0;
    case WM_MENUSELECT:
      OnMenuSelect(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam));
      return 0;
    case EDN_FAILED:
      // An editor command failed with this message.
      if (lParam) AskUser(hwnd, reinterpret_cast<const char *>(lParam), kAskWarning);
      return 0;
    case WM_DESTROY:
      // Only the destruction of the created frame ends the session.
      if (hwnd != g_app.mainWindow) return 0;
      ReleaseFileState();
      if (g_app.inTray) DeleteTrayIcon(hwnd);
      g_app.inTray = 0;
      if (!g_app.exitWithoutSaving) (void)SaveConfig(hwnd, g_config.path, false, false);
      g_app.mainWindow = nullptr;
      ForgetChildren();
      PostQuitMessage(0);
      return 0;
    default:
      if (msg == g_app.handOver && g_app.handOver) {
        OnHandOverMessage(hwnd, wParam, lParam);
        return 0;
      }
      if (msg == g_app.taskbarCreated && g_app.taskbarCreated && g_app.inTray) {
        (void)AddTrayIcon(hwnd);  // the taskbar came back without our icon
        return 0;
      }
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

// The show state: hidden for /H, maximized for /M, minimized for /m (which
// also forgets a saved maximized state), maximized when that was saved, else
// the one the program was started with.
int StartupShowState() {
  const StartupOptions &o = g_app.options;
  if (o.minimized) g_settings.place.Maxed = 0;
  // /H shows the window minimized first; it goes to the notification area
  // once its icon is there, and stays minimized (reachable) when the icon
  // cannot be added.
  if (o.hidden || o.minimized) return SW_SHOWMINNOACTIVE;
  if (o.maximized || g_settings.place.Maxed) return SW_SHOWMAXIMIZED;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  GetStartupInfoA(&si);
  return (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : SW_SHOWDEFAULT;
}

// From the placement the system gave: a saved left/top moves the window
// keeping its size, /x and /y then set the edges; a saved width/height sets
// the size from the (new) left/top, /w and /h then set it. //p and //s have
// erased the saved position or size before.
void ApplyPlacement(HWND hwnd) {
  const StartupOptions &o = g_app.options;
  PlaceSettings &saved = g_settings.place;
  if (o.forgetPosition) saved.Top = saved.Left = kNotSaved;
  if (o.forgetSize) saved.Width = saved.Height = kNotSaved;
  WINDOWPLACEMENT wp = {};
  wp.length = sizeof wp;
  GetWindowPlacement(hwnd, &wp);
  RECT &r = wp.rcNormalPosition;
  LONG width = r.right - r.left, height = r.bottom - r.top;
  if (saved.Left != kNotSaved) r.left = saved.Left;
  if (saved.Top != kNotSaved) r.top = saved.Top;
  if (o.hasLeft) r.left = o.left;
  if (o.hasTop) r.top = o.top;
  if (saved.Width != kNotSaved) width = saved.Width;
  if (saved.Height != kNotSaved) height = saved.Height;
  if (o.hasWidth) width = o.width;
  if (o.hasHeight) height = o.height;
  r.right = r.left + width;
  r.bottom = r.top + height;
  wp.showCmd = SW_HIDE;
  SetWindowPlacement(hwnd, &wp);
}

// The placement the configuration saves: the window's normal rectangle and
// whether it is maximized.
void CapturePlacement(void *, PlaceSettings *place) {
  HWND hwnd = g_app.mainWindow;
  if (!hwnd) return;
  if (g_app.fullscreen) {
    // The placement remembered when fullscreen began, and FulScr.
    *place = g_settings.place;
    place->FulScr = 1;
    return;
  }
  WINDOWPLACEMENT wp = {};
  wp.length = sizeof wp;
  if (!GetWindowPlacement(hwnd, &wp)) return;
  place->Left = wp.rcNormalPosition.left;
  place->Top = wp.rcNormalPosition.top;
  place->Width = wp.rcNormalPosition.right - wp.rcNormalPosition.left;
  place->Height = wp.rcNormalPosition.bottom - wp.rcNormalPosition.top;
  place->Maxed = IsZoomed(hwnd) ? 1 : 0;
  place->FulScr = 0;
}

}  // namespace

bool RegisterMainClass(HINSTANCE instance) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = MainWndProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_QUILLPAD));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAIN_MENU);
  wc.lpszClassName = kMainClassName;
  return RegisterClassA(&wc) != 0;
}

int CreateMainWindow() {
  HWND hwnd = CreateWindowExA(0, kMainClassName, Text(TXT_PRODUCT), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                              g_app.instance, nullptr);
  if (!hwnd) {
    g_app.mainWindow = nullptr;
    return -3;
  }
  ApplyPlacement(hwnd);
  g_config.hooks.capturePlacement = CapturePlacement;
  if (g_app.options.onTop) g_app.sessionOnTop = 1;
  if (g_app.options.fullscreen || g_settings.place.FulScr) {
    ShowWindow(hwnd, SW_SHOWNORMAL);
    EnterFullscreen(hwnd);
  } else {
    ShowWindow(hwnd, StartupShowState());
  }
  if (g_settings.opts.OnTop || g_app.sessionOnTop) ApplyOnTop(hwnd);
  UpdateWindow(hwnd);
  if (g_app.options.hidden) (void)HideToTray(hwnd);
  return 0;
}

int CommandWrapMargin() {
  i32 &margin = g_settings.opts.RWrap;
  if (margin == 0) {
    // The first margin lies 80 average character widths into the text; it is
    // off until the command turns it on.
    LRESULT unit = g_app.editorWindow ? SendMessageA(g_app.editorWindow, EDM_GETCHARWIDTH, 0, 0) - 1 : 0;
    margin = -80 * static_cast<i32>(unit > 0 ? unit : 1);
  } else {
    margin = -margin;
  }
  if (g_app.editorWindow) SendMessageA(g_app.editorWindow, EDM_REFRESH, 100, 0);
  return 0;
}

LRESULT AnswerCommandResult(HWND hwnd, int result) {
  switch (result) {
    case 0:
      return 0;
    case 32:
      return 1;
    case 48:
    case 80:
    case 96:
      return 3;
    case -1:
      AskUser(hwnd, TXT_OUT_OF_MEMORY, kAskWarning);
      return 3;
    default: {
      int slot = result > 0 && result < 0x10000 ? TextSlotOfId(static_cast<u16>(result)) : -1;
      if (slot >= 0) AskUser(hwnd, static_cast<TextSlot>(slot), kAskWarning);
      return 3;
    }
  }
}

int OpenStartupDocument() {
  const StartupOptions &o = g_app.options;
  HWND editor = g_app.editorWindow;
  Document *doc = AppDocument();
  if (!doc) return kResultReported;
  // 1-2. The file, in the encoding asked for.
  u32 encoding = o.encodingUtf8 ? 1 : o.encodingUnicode ? 2 : o.encodingAnsi ? 0 : kDetectEncoding;
  u32 flags = kOpenAsked | (o.createSilently ? static_cast<u32>(kOpenCreate) : 0u);
  OpenRequest request = {o.fileName, encoding, 0, flags};
  int r = OpenFile(doc, request, AppFileHooks());
  SyncViewAfterLoad();
  if (r != 0) {
    PostMessageA(g_app.mainWindow, WM_CLOSE, 0, 0);
    return r == kResultReported ? kResultReported : r;
  }
  // 3.
  RunPeriodicUpdateCheck(g_app.mainWindow);
  // 4. The positions, 1-based on the command line: 0 is the end.
  if (o.hasLine) SendMessageA(editor, EDM_GOTO, static_cast<WPARAM>(o.line - 1), kGotoLine);
  if (o.hasColumn)
    SendMessageA(editor, EDM_GOTO, static_cast<WPARAM>(o.column - 1), o.hasLine ? kGotoPosition | kGotoRelative : kGotoPosition);
  if (o.hasSelection) {
    SendMessageA(editor, EDM_GOTO, static_cast<WPARAM>(o.selectionStart - 1), kGotoPosition);
    SendMessageA(editor, EDM_GOTO, static_cast<WPARAM>(o.selectionEnd - 1), kGotoPosition | kGotoExtend);
  }
  // 5. The clipboard pasted: a failure closes the window.
  if (o.paste) {
    const LRESULT pasted = SendMessageA(editor, WM_PASTE, 0, 0);
    if (pasted != 0) {
      PostMessageA(g_app.mainWindow, WM_CLOSE, 0, 0);
      return pasted == 1 ? kResultCancelled : pasted == 2 ? 64 : kResultReported;
    }
  }
  // 6. A command to run once the document is open.
  if (o.command) {
    PostMessageA(g_app.mainWindow, WM_COMMAND, static_cast<WPARAM>(o.command & 0xFFFF), 0);
  } else if (o.print) {
    // 7. Print and exit; the exit code tells a cancelled or failed job.
    const LRESULT printed = SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_PRINT, 0);
    if (printed != 0) {
      g_app.exitCode = printed == 1 ? kResultCancelled : printed == 2 ? 64 : kResultReported;
      PostMessageA(g_app.mainWindow, WM_CLOSE, 0, 0);
    } else {
      PostMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_EXIT, 0);
    }
  }
  // 8.
  SendMessageA(editor, EM_SCROLLCARET, 0, 0);
  return 0;
}

bool CommandPending(UINT id) {
  // Ids in the tools' range with no row of the tool table.
  return id >= IDM_TOOLS_FIRST && id <= IDM_TOOLS_LAST && !FindToolRow(static_cast<int>(id));
}

// Cuts the text to at most `most` bytes, never inside a double-byte
// character of the ANSI code page.
void CutAtCharacter(char *text, size_t most) {
  size_t i = 0;
  while (text[i]) {
    const size_t step = IsDBCSLeadByte(static_cast<BYTE>(text[i])) && text[i + 1] ? 2 : 1;
    if (i + step > most) break;
    i += step;
  }
  text[i] = 0;
}

// The editor takes the client area above the search bar (while it is open)
// and the status bar (while it is shown).
void LayoutChildren(HWND hwnd) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  int bottom = rc.bottom - StatusBarVisibleHeight();
  if (bottom < 0) bottom = 0;
  if (g_app.searchBar) {
    const int bar = SearchBarHeight();
    MoveWindow(g_app.searchBar, 0, bottom - bar > 0 ? bottom - bar : 0, rc.right, bar, TRUE);
    bottom = bottom - bar > 0 ? bottom - bar : 0;
  }
  if (g_app.editorWindow) MoveWindow(g_app.editorWindow, 0, 0, rc.right, bottom, TRUE);
  ResizeStatusBar();
}

void ApplyWindowOnTop() {
  if (g_app.mainWindow) ApplyOnTop(g_app.mainWindow);
}
