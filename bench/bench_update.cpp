// The first paint of the main window when a periodic update check is due
// (its configuration save and the start of the checking process, this
// program with /u, which exits at once) against the same start with "Check
// for updates" off, as medians of alternating runs; and the time until
// everything of the start was done, where the check's work shows.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/shell_commands.h"
#include "bench/bench.h"
#include "bench/win_bench.h"
#include "config/config_state.h"
#include "editor/editor_window.h"
#include "foundation/bytes.h"

namespace {

WNDPROC g_editorProc;
double g_firstPaint;

LRESULT CALLBACK TimedEditorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const LRESULT r = CallWindowProcA(g_editorProc, hwnd, msg, wParam, lParam);
  if (msg == WM_PAINT && g_firstPaint == 0) g_firstPaint = Now();
  return r;
}

// One start of the main window, as the program makes it, with an untitled
// document; the seconds to the editor's first paint and to the end of the
// start.
bool StartOnce(bool due, const char *ini, double *paint, double *done) {
  MemZero(&g_app, sizeof g_app);
  g_app.instance = GetModuleHandleA(nullptr);
  SetDefaultSettings(&g_settings, true);
  g_config.noSave = 0;
  snprintf(g_config.path, sizeof g_config.path, "%s", ini);
  UpdateSettings &u = g_settings.lists.update;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  u.Auto = due ? 1 : 0;
  memcpy(u.Hash, "benchbenchbench", 16);
  u.Last = now.dwHighDateTime - 2000;  // due: about ten days ago
  u.Fail = 0;
  g_firstPaint = 0;
  const double t0 = Now();
  if (CreateMainWindow() != 0 || !g_app.editorWindow) return false;
  g_editorProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(g_app.editorWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TimedEditorProc)));
  // Until the start-up command has run and nothing waits.
  MSG msg;
  for (;;) {
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (g_firstPaint != 0) break;
      WaitMessage();
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  *done = Now() - t0;
  *paint = g_firstPaint - t0;
  SetWindowLongPtrA(g_app.editorWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_editorProc));
  g_app.exitWithoutSaving = 1;
  DestroyWindow(g_app.mainWindow);
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
  return true;
}

}  // namespace

void FirstPaintFigures() {
  char folder[MAX_PATH], ini[MAX_PATH + 32];
  GetTempPathA(MAX_PATH, folder);
  snprintf(ini, sizeof ini, "%squillpad-bench.ini", folder);
  WNDCLASSA existing;
  if (!GetClassInfoA(GetModuleHandleA(nullptr), kMainClassName, &existing) &&
      !RegisterMainClass(GetModuleHandleA(nullptr)))
    return;
  // A maker host, so that the check runs; the process it starts sends nothing.
  SetShellHosts("127.0.0.1:9", "");
  std::vector<double> paint[2], done[2];
  for (int run = 0; run < 25; run++) {
    for (int k = 0; k < 2; k++) {
      const bool due = (run + k) % 2 == 1;
      double p, d;
      if (!StartOnce(due, ini, &p, &d)) {
        printf("first_paint: the main window could not be made\n");
        return;
      }
      if (run > 0) {  // the first pair warms up
        paint[due].push_back(p);
        done[due].push_back(d);
      }
      // The checking process of a due start ends before the next start.
      Sleep(300);
    }
  }
  SetShellHosts("", "");
  DeleteFileA(ini);
  const double off = Median(paint[0]), due = Median(paint[1]);
  Report("first_paint_auto_off_ms", off * 1000, "ms");
  Report("first_paint_update_check_due_ms", due * 1000, "ms");
  Report("start_done_auto_off_ms", Median(done[0]) * 1000, "ms");
  Report("start_done_update_check_due_ms", Median(done[1]) * 1000, "ms");
  Ratio("first_paint_update_check_due_vs_auto_off", due, off);
  Goal("first_paint_update_check_due_vs_auto_off", due / off, 1.02, "x");
}
