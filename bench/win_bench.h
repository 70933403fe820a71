// What the benchmarks of the editor under Wine share: a clock, a message
// pump, medians and goal lines.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

inline double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The keyboard state the editor reads for its keys: Ctrl and Shift as given, Alt up.
inline void SetKeys(bool control, bool shift = false) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] = control ? 0x80 : 0;
  keys[VK_SHIFT] = shift ? 0x80 : 0;
  keys[VK_MENU] = 0;
  SetKeyboardState(keys);
}

inline void Goal(const char *name, double value, double goal, const char *unit) {
  printf("%s goal %.2f %s: %s\n", name, goal, unit, value <= goal ? "met" : "MISSED");
}

// The mouse and the clipboard (bench_mouse.cpp): a MouseMove against the
// Shift+Down making the same change, the sixth click against Select All, a
// drag move of 64 MiB against deleting and re-inserting it, Copy here and
// Paste in another process, then the clips: storing 256 MiB against Read
// text, inserting it against the engine's insertion; WM_INITMENU of the
// main window with full lists. `self` is this program, for the pasting child.
void Mouse(HWND editor, const char *path, const char *self);
// The child's part: pastes what the clipboard holds and prints the time.
int PasteChild(HWND editor);
// Auto-save and recovery (bench_autosave.cpp): opens `path` in the editor.
void AutoSave(HWND editor, const char *path);

// The file watch (bench_watch.cpp): a write by another program (`self` with
// --write) to command 13153, as a median, and the idle watch's share of a
// core.
void WatchFigures(const char *self);
// The writing child's part: writes the file each time the parent says so.
int WriteChild(const char *path);

// External filters (bench_filters.cpp): `child` is the tests' qpchild.exe;
// the whole command runs in `editor`.
void FilterFigures(const char *child, HWND editor);
// The Settings dialog (bench_settings.cpp) over `owner`: opening, a page's
// first showing, Export and Import of a maximal configuration.
void SettingsFigures(HWND owner);
// Commit Wrapping at 80 columns (bench_wrap.cpp) in `editor`, against the
// figure of fold that the native benchmarks left.
void CommitWrappingFigures(HWND editor);
// Printing's pages (bench_print.cpp): EDM_PAGINATE of the file at `path`
// against the editor's full wrap at the printable width.
void PrintFigures(HWND editor, const char *path);
// Printing 300 pages on a printer of Wine's PostScript driver (added for the
// run) through the print job, against a bare ExtTextOutA loop of the same
// rows on the same printer.
void PrinterFigures(HWND editor);
// The first paint of the main window with a periodic update check due,
// against the same with "Check for updates" off (bench_update.cpp).
void FirstPaintFigures();
