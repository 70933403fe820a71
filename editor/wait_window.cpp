// Waiting for a worker thread while the window stays alive.
#include "editor/wait_window.h"

#include "foundation/format.h"
#include "foundation/texts.h"
#include "resources/resource.h"

namespace {

HWND g_waitWindow;
constexpr DWORD kDelayMs = 1024;
constexpr DWORD kProgressCapMs = 16384;

INT_PTR CALLBACK WaitDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) {
        LongOperation *op = reinterpret_cast<LongOperation *>(GetWindowLongPtrA(dialog, DWLP_USER));
        if (op) CancelOperation(op);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// The wait under way: what showing its window needs, and whether it is up.
struct WaitState {
  HWND owner;
  LongOperation *op;
  const WaitTexts *texts;
  HWND window;
  bool full;  // every message is served
};
WaitState *g_wait;

void ShowWaitWindow(WaitState *w) {
  w->full = true;
  if (w->window) return;
  HWND wait = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_WAIT), w->owner, WaitDlgProc,
                                 reinterpret_cast<LPARAM>(w->op));
  if (!wait) return;
  static const int kLines[3] = {IDC_WAIT_LINE1, IDC_WAIT_LINE2, IDC_WAIT_LINE3};
  for (int i = 0; i < 3; i++) SetDlgItemTextA(wait, kLines[i], w->texts->lines[i] ? w->texts->lines[i] : "");
  if (w->owner) EnableWindow(w->owner, FALSE);
  ShowWindow(wait, SW_SHOW);
  w->window = wait;
  g_waitWindow = wait;
}

// A counted operation's running count, on the window's third line unless
// that line has a text of its own.
void ShowCount(const WaitState *w, u32 done) {
  if (!w->window || w->texts->lines[2]) return;
  char count[64];
  Format(count, sizeof count, Text(TXT_RUNNING_COUNT), static_cast<int>(done), static_cast<int>(w->op->total));
  SetDlgItemTextA(w->window, IDC_WAIT_LINE3, count);
}

}  // namespace

HWND CurrentWaitWindow() { return g_waitWindow; }

HWND RevealWaitWindow() {
  if (g_wait) ShowWaitWindow(g_wait);
  return g_waitWindow;
}

void (*g_afterLongOperation)();

void WaitForThread(HANDLE thread, LongOperation *op, HWND owner, const WaitTexts &texts, HWND progressWindow,
                   UINT progressMessage, bool delayed, HWND filter) {
  const DWORD start = GetTickCount();
  // The window this one stands in for while it is up (the dialog of its role).
  const HWND previous = g_waitWindow;
  WaitState state = {owner, op, &texts, nullptr, false};
  WaitState *outer = g_wait;
  g_wait = &state;
  if (!delayed) ShowWaitWindow(&state);
  DWORD interval = kDelayMs;
  u32 shown = 0;
  for (;;) {
    MSG msg;
    if (!state.full) {
      // Only what is sent to this thread: the worker's requests.
      while (PeekMessageA(&msg, filter, 0, 0, PM_REMOVE | PM_QS_SENDMESSAGE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    } else {
      bool quit = false;
      int exitCode = 0;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          quit = true;  // for the main loop, after the worker
          exitCode = static_cast<int>(msg.wParam);
          continue;
        }
        if (state.window && IsDialogMessageA(state.window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      if (quit) PostQuitMessage(exitCode);
    }
    const bool full = state.full;
    const DWORD timeout = full ? (op->total ? interval : INFINITE) : kDelayMs;
    const DWORD r = MsgWaitForMultipleObjectsEx(1, &thread, timeout, full ? QS_ALLINPUT : QS_SENDMESSAGE,
                                                MWMO_INPUTAVAILABLE);
    if (r == WAIT_OBJECT_0) break;
    if (!full) {
      // A second without the end, or a message after it: the wait window.
      if (r == WAIT_TIMEOUT || GetTickCount() - start > kDelayMs) ShowWaitWindow(&state);
      continue;
    }
    if (op->total) {
      if (r == WAIT_TIMEOUT && interval < kProgressCapMs) interval *= 2;
      const u32 done = op->progress.load();
      if (done && done != shown) {
        shown = done;
        if (progressWindow) SendMessageA(progressWindow, progressMessage, done, op->total);
        ShowCount(&state, done);
      }
    }
  }
  g_wait = outer;
  if (state.window) {
    if (owner) EnableWindow(owner, TRUE);  // before the window goes, so that the focus can return
    DestroyWindow(state.window);
    g_waitWindow = previous;
  }
}
