#include "app/main_window.h"

#include "app/app_state.h"
#include "app/file_commands.h"
#include "editor/editor_messages.h"
#include "files/load.h"
#include "config/config_io.h"
#include "config/config_state.h"
#include "editor/editor_window.h"
#include "foundation/ask_user.h"
#include "foundation/texts.h"
#include "resources/resource.h"

const char kMainClassName[] = "QuilPad";

namespace {

void LayoutChildren(HWND hwnd) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  if (g_app.editorWindow) MoveWindow(g_app.editorWindow, 0, 0, rc.right, rc.bottom, TRUE);
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
  LayoutChildren(hwnd);
  // The word-wrap state and the fonts of the configuration.
  SendMessageA(g_app.editorWindow, EDM_SETWORDWRAP, g_settings.opts.WWrap ? 1 : 0, 0);
  ApplyEditorFonts();
  // A margin that was never set gets its place now that the font is known.
  if (g_settings.opts.RWrap == 0) (void)CommandWrapMargin();
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

// The shell's own commands; 64 for everything the editor handles.
int OnMainCommand(HWND hwnd, int id) {
  switch (id) {
    case IDM_STARTUP_OPEN:
      return OpenStartupDocument();
    case IDM_FILE_EXIT:
      PostMessageA(hwnd, WM_CLOSE, 0, 0);
      return 0;
    case IDM_FILE_NEW: return CommandNew();
    case IDM_FILE_OPEN: return CommandOpen();
    case IDM_FILE_SAVE: return CommandSave();
    case IDM_FILE_SAVE_AS: return CommandSaveAs();
    case IDM_ZOOM_IN: return Zoom(1);
    case IDM_ZOOM_OUT: return Zoom(-1);
    case IDM_ZOOM_RESET: return Zoom(0);
    case IDM_OPT_WORD_WRAP: return CommandWordWrap();
    case IDM_OPT_WRAP_MARGIN: return CommandWrapMargin();
    default:
      return 64;
  }
}

LRESULT OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  int result = OnMainCommand(hwnd, LOWORD(wParam));
  if (result == 64) {
    if (!g_app.editorWindow) return 0;
    LRESULT editor = SendMessageA(g_app.editorWindow, WM_COMMAND, wParam, lParam);
    if (editor != 0) return editor;
    result = 0;
  }
  return AnswerCommandResult(hwnd, result);
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      return OnCreate(hwnd);
    case WM_SIZE:
      LayoutChildren(hwnd);
      return 0;
    case WM_COMMAND:
      return OnCommand(hwnd, wParam, lParam);
    case WM_SETFOCUS:
      SetFocus(g_app.lastFocus ? g_app.lastFocus : g_app.editorWindow);
      return 0;
    case WM_CLOSE:
      if (AskBeforeClosing() != 0) return 0;  // cancelled, or the save failed
      DestroyWindow(hwnd);
      return 0;
    case WM_NCDESTROY:
      FreeEditorFonts();
      return DefWindowProcA(hwnd, msg, wParam, lParam);
    case EDN_MODIFIED:
      UpdateCaption();
      return 0;
    case EDN_FAILED:
      // An editor command failed with this message.
      if (lParam) AskUser(hwnd, reinterpret_cast<const char *>(lParam), kAskWarning);
      return 0;
    case WM_DESTROY:
      // Only the destruction of the created frame ends the session.
      if (hwnd != g_app.mainWindow) return 0;
      if (!g_app.exitWithoutSaving) (void)SaveConfig(hwnd, g_config.path, false, false);
      g_app.mainWindow = nullptr;
      g_app.editorWindow = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

// The show state: hidden for /H, maximized for /M, minimized for /m (which
// also forgets a saved maximized state), maximized when that was saved, else
// the one the program was started with.
int StartupShowState() {
  const StartupOptions &o = g_app.options;
  if (o.minimized) g_settings.place.Maxed = 0;
  // Until the notification-area icon exists a window hidden with /H could not
  // be reached again; it starts minimized instead.
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
  if (g_app.options.onTop) {
    g_app.sessionOnTop = 1;
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  ShowWindow(hwnd, StartupShowState());
  UpdateWindow(hwnd);
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
  SendMessageA(editor, EDM_REFRESH, 1270, 0);
  SendMessageA(editor, EDM_UPDATE, 0, 0);
  UpdateCaption();
  if (r != 0) {
    PostMessageA(g_app.mainWindow, WM_CLOSE, 0, 0);
    return r == kResultReported ? kResultReported : r;
  }
  // 4. The positions, 1-based on the command line: 0 is the end.
  if (o.hasLine) SendMessageA(editor, EDM_GOTO, static_cast<WPARAM>(o.line - 1), kGotoLine);
  if (o.hasColumn)
    SendMessageA(editor, EDM_GOTO, static_cast<WPARAM>(o.column - 1), o.hasLine ? kGotoPosition | kGotoRelative : kGotoPosition);
  if (o.hasSelection) {
    SendMessageA(editor, EDM_GOTO, static_cast<WPARAM>(o.selectionStart - 1), kGotoPosition);
    SendMessageA(editor, EDM_GOTO, static_cast<WPARAM>(o.selectionEnd - 1), kGotoPosition | kGotoExtend);
  }
  // 6. A command to run once the document is open.
  if (o.command) PostMessageA(g_app.mainWindow, WM_COMMAND, static_cast<WPARAM>(o.command & 0xFFFF), 0);
  // 8.
  SendMessageA(editor, EM_SCROLLCARET, 0, 0);
  return 0;
}
