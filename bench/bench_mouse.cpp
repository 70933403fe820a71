// The mouse and the clipboard on the 256 MiB text, under Wine: each figure
// against the keyboard or engine path making the same change in the same run.
#include <algorithm>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "bench/win_bench.h"
#include "app/app_state.h"
#include "app/main_window.h"
#include "config/config_lists.h"
#include "config/config_state.h"
#include "document/edit.h"
#include "document/text_store.h"
#include "editor/clipboard.h"
#include "editor/editor_messages.h"
#include "editor/editor_mouse.h"
#include "editor/editor_window.h"
#include "files/file_ops.h"
#include "files/load.h"
#include "foundation/bytes.h"
#include "foundation/format.h"
#include "foundation/memory.h"
#include "resources/resource.h"

namespace {

// The mouse's clock stands still unless moved: clicks meant as one
// multi-click are one however long the big text takes to select.
u32 g_clock = 1000000;
u32 BenchClock() { return g_clock; }

// Seconds spent in the system's clipboard calls that take the blocks.
double g_inSet, g_inClose;
HANDLE WINAPI TimedSet(UINT format, HANDLE block) {
  const double t0 = Now();
  HANDLE h = kSystemClipboardApi.set(format, block);
  g_inSet += Now() - t0;
  return h;
}
BOOL WINAPI TimedClose() {
  const double t0 = Now();
  const BOOL ok = kSystemClipboardApi.close();
  g_inClose += Now() - t0;
  return ok;
}

// Milliseconds from t0 to the repainted window.
double Painted(HWND editor, double t0) {
  UpdateWindow(editor);
  GdiFlush();
  return (Now() - t0) * 1000;
}

void Send(HWND editor, UINT msg, WPARAM keys, int x, int y) { SendMessageA(editor, msg, keys, MAKELPARAM(x, y)); }

void Show(HWND editor, u32 anchor, u32 caret) {
  SendMessageA(editor, EM_SETSEL, anchor, caret);
  SendMessageA(editor, EM_SCROLLCARET, 0, 0);
  UpdateWindow(editor);
}

}  // namespace

void Clips(HWND editor);
void InitMenu();

void Mouse(HWND editor, const char *path, const char *self) {
  EditorWindow *ed = EditorOf(editor);
  Document *doc = ed->doc;
  FileHooks hooks = {};
  const OpenRequest request = {path, kDetectEncoding, 0, kOpenAsked | kOpenNoRecent};
  if (OpenFile(doc, request, hooks) != 0) {
    printf("open failed\n");
    return;
  }
  SendMessageA(editor, EDM_REFRESH, 1270, 0);
  UpdateWindow(editor);
  u32 (*clock)() = g_mouseClock;
  g_mouseClock = BenchClock;
  g_inputMetrics = InputMetrics{3, 3, 4, 4, 500, true};
  const i32 skip = g_settings.edit.NoMClks;
  g_settings.edit.NoMClks = 0;  // the sixth click selects the entire document
  const u32 length = doc->store.length;
  const int h = ed->lineHeight;

  // Extending a selection by a row: the pointer moved down a row with the
  // button held, against Shift+Down from the same caret.
  std::vector<double> moved, shifted;
  int differ = 0;
  for (int i = 0; i < 21; i++) {
    const u32 p = length / 2 + static_cast<u32>(i) * 4099;
    Show(editor, p, p);
    const int x = ed->caretX + 1, y = ed->caretY + h / 2;
    g_clock += 1000;
    Send(editor, WM_LBUTTONDOWN, MK_LBUTTON, x, y);
    UpdateWindow(editor);
    double t0 = Now();
    Send(editor, WM_MOUSEMOVE, MK_LBUTTON, x, y + h);
    moved.push_back(Painted(editor, t0));
    Send(editor, WM_LBUTTONUP, 0, x, y + h);
    const u32 a = doc->selStart->position, b = doc->selEnd->position;
    Show(editor, p, p);
    SetKeys(false, true);
    t0 = Now();
    SendMessageA(editor, WM_KEYDOWN, VK_DOWN, 1);
    shifted.push_back(Painted(editor, t0));
    SetKeys(false);
    differ += a != doc->selStart->position || b != doc->selEnd->position;
  }
  if (differ) printf("(the pointer and Shift+Down selected differently %d times of 21)\n", differ);
  Report("mouse_move_extend_selection_ms", Median(moved), "ms");
  Report("shift_down_extend_selection_ms", Median(shifted), "ms");
  Ratio("mouse_move_vs_shift_down", Median(moved), Median(shifted));
  Goal("mouse_move_vs_shift_down", Median(moved) / Median(shifted), 1.5, "x");

  // The sixth quick click (the entire document) against Select All.
  std::vector<double> sixth, all;
  for (int i = 0; i < 9; i++) {
    Show(editor, length / 3, length / 3);
    const int x = ed->caretX + 1, y = ed->caretY + h / 2;
    g_clock += 1000;
    for (int c = 0; c < 5; c++) {
      Send(editor, WM_LBUTTONDOWN, MK_LBUTTON, x, y);
      Send(editor, WM_LBUTTONUP, 0, x, y);
    }
    UpdateWindow(editor);
    double t0 = Now();
    Send(editor, WM_LBUTTONDOWN, MK_LBUTTON, x, y);
    Send(editor, WM_LBUTTONUP, 0, x, y);
    sixth.push_back(Painted(editor, t0));
    if (doc->selStart->position != 0 || doc->selEnd->position != length) printf("(the sixth click did not select all)\n");
    Show(editor, length / 3, length / 3);
    t0 = Now();
    SendMessageA(editor, WM_COMMAND, IDM_EDIT_SELECT_ALL, 0);
    all.push_back(Painted(editor, t0));
  }
  Report("sixth_click_entire_document_ms", Median(sixth), "ms");
  Report("select_all_ms", Median(all), "ms");
  Ratio("sixth_click_vs_select_all", Median(sixth), Median(all));
  Goal("sixth_click_vs_select_all", Median(sixth) / Median(all), 1.2, "x");

  // Dragging 64 MiB up by two rows, against deleting it and inserting the
  // same bytes there (each undone before the next run).
  const u32 n = 64u << 20, from = length / 2 - n / 2;
  char *bytes = static_cast<char *>(Allocate(n + 1));
  double drag = 1e30, again = 1e30;
  for (int i = 0; bytes && i < 3; i++) {
    Show(editor, from + n, from);  // the caret at the selection's start
    for (int k = 0; k < 4; k++) SendMessageA(editor, WM_VSCROLL, SB_LINEUP, 0);
    UpdateWindow(editor);
    const int x = ed->caretX + 1, y = ed->caretY + h / 2;
    const u32 steps = doc->undo.count;
    g_clock += 1000;
    double t0 = Now();
    Send(editor, WM_LBUTTONDOWN, MK_LBUTTON, x, y + h);
    Send(editor, WM_MOUSEMOVE, MK_LBUTTON, x, y - 2 * h);
    Send(editor, WM_LBUTTONUP, 0, x, y - 2 * h);
    const double t = Painted(editor, t0) / 1000;
    const u32 to = doc->selStart->position;
    if (to >= from || doc->selEnd->position != to + n) {
      printf("(the drag did not move the text)\n");
      break;
    }
    if (t < drag) drag = t;
    SendMessageA(editor, WM_UNDO, 0, 0);  // the drop is one group
    if (doc->undo.count != steps) printf("(one Undo did not take the drop back)\n");
    ReadText(&doc->store, from, from + n, bytes, n, 0, nullptr);
    bytes[n] = 0;
    SendMessageA(editor, EDM_JOURNALBREAK, 0, 0);
    t0 = Now();
    SendMessageA(editor, EM_SETSEL, from, from + n);
    SendMessageA(editor, EM_REPLACESEL, 1, reinterpret_cast<LPARAM>(""));
    SendMessageA(editor, EDM_JOURNALBREAK, 0, 0);
    SendMessageA(editor, EM_SETSEL, to, to);
    SendMessageA(editor, EM_REPLACESEL, 1, reinterpret_cast<LPARAM>(bytes));
    const double b = Painted(editor, t0) / 1000;
    if (b < again) again = b;
    while (doc->undo.count > steps) SendMessageA(editor, WM_UNDO, 0, 0);
  }
  Free(bytes);
  if (drag < 1e30 && again < 1e30) {
    Report("drag_move_64MiB", drag, "s");
    Report("delete_and_reinsert_64MiB", again, "s");
    Ratio("drag_move_vs_delete_and_reinsert", drag, again);
    Goal("drag_move_vs_delete_and_reinsert", drag / again, 1.5, "x");
  }

  // Copy 16 MiB here; another process pastes it into an empty editor.
  const u32 copied = 16u << 20;
  SendMessageA(editor, EM_SETSEL, from, from + copied);
  g_clipboardApi.set = TimedSet;
  g_clipboardApi.close = TimedClose;
  double t0 = Now();
  const LRESULT r = SendMessageA(editor, WM_COPY, 0, 0);
  Report("copy_16MiB_ms", (Now() - t0) * 1000, "ms");
  g_clipboardApi = kSystemClipboardApi;
  Report("copy_16MiB_of_which_SetClipboardData_ms", g_inSet * 1000, "ms");
  Report("copy_16MiB_of_which_CloseClipboard_ms", g_inClose * 1000, "ms");
  fflush(stdout);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi = {};
  std::string line = "\"" + std::string(self) + "\" --paste";
  if (r == 0 && CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    WaitForSingleObject(pi.hProcess, 120000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  } else {
    printf("(the copy or the pasting process failed)\n");
  }
  g_settings.edit.NoMClks = skip;
  g_mouseClock = clock;
  Clips(editor);
  InitMenu();
}

void Clips(HWND editor) {
  EditorWindow *ed = EditorOf(editor);
  Document *doc = ed->doc;
  const u32 length = doc->store.length;
  // Storing the whole text as clip 1, against reading it into a new block.
  double store = 1e30, read = 1e30;
  for (int i = 0; i < 3; i++) {
    SendMessageA(editor, EM_SETSEL, 0, length);
    double t0 = Now();
    SendMessageA(editor, WM_COMMAND, IDM_CLIP_STORE, 0);
    store = std::min(store, Now() - t0);
    t0 = Now();
    char *copy = static_cast<char *>(Allocate(static_cast<size_t>(length) + 1));
    if (!copy) break;
    ReadText(&doc->store, 0, length, copy, length, 0, nullptr);
    copy[length] = 0;
    read = std::min(read, Now() - t0);
    Free(copy);
  }
  if (g_config.clips[0].length != length) printf("(the clip was not stored)\n");
  Report("clip_store_256MiB", store, "s");
  Report("read_text_256MiB", read, "s");
  Ratio("clip_store_vs_read_text", store, read);
  Goal("clip_store_vs_read_text", store / read, 1.1, "x");
  // Inserting it in the middle (undone after each run), against the
  // engine's insertion of the same bytes.
  double insert = 1e30, engine = 1e30;
  for (int i = 0; i < 3; i++) {
    SendMessageA(editor, EM_SETSEL, length / 2, length / 2);
    double t0 = Now();
    SendMessageA(editor, WM_COMMAND, IDM_CLIP_INSERT, 0);
    insert = std::min(insert, Now() - t0);
    if (doc->store.length != 2 * length) printf("(the clip was not inserted)\n");
    SendMessageA(editor, WM_UNDO, 0, 0);
    SetSelection(doc, length / 2, length / 2);
    t0 = Now();
    if (!ReplaceSelectionCounted(doc, g_config.clips[0].text, length,
                                 kReplaceFromBytes | kReplaceCloseBefore | kReplaceCloseAfter, nullptr))
      printf("(the insertion failed)\n");
    engine = std::min(engine, Now() - t0);
    SendMessageA(editor, WM_UNDO, 0, 0);
  }
  FreeClips();
  Report("clip_insert_256MiB", insert, "s");
  Report("engine_insert_256MiB", engine, "s");
  Ratio("clip_insert_vs_engine_insert", insert, engine);
  Goal("clip_insert_vs_engine_insert", insert / engine, 1.1, "x");
}

void InitMenu() {
  // The main window as the program makes it, with full lists.
  MemZero(&g_app, sizeof g_app);
  g_app.instance = GetModuleHandleA(nullptr);
  g_config.noSave = 1;
  if (!RegisterMainClass(g_app.instance) || CreateMainWindow() != 0) {
    printf("(no main window)\n");
    return;
  }
  Pump();
  for (int i = 0; i < kRecentFiles; i++) {
    char path[64];
    Format(path, sizeof path, "C:\\Texts\\recent file %d.txt", i);
    AddRecentFile(&g_settings, path, ConfigTimeStamp());
  }
  for (int i = 0; i < kFavourites; i++) {
    char path[64];
    Format(path, sizeof path, i % 10 == 9 ? "--" : "C:\\Texts\\favourite & %d.txt", i);
    StrCopyN(g_settings.lists.favourites[i], path, kPathChars);
  }
  for (int i = 0; i < kClipCount; i++) (void)SetClip(i, "clip text", 9);
  HMENU bar = GetMenu(g_app.mainWindow);
  std::vector<double> times;
  for (int i = 0; i < 21; i++) {
    const double t0 = Now();
    SendMessageA(g_app.mainWindow, WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0);
    times.push_back((Now() - t0) * 1000);
  }
  Report("wm_initmenu_full_lists_ms", Median(times), "ms");
  Goal("wm_initmenu_full_lists_ms", Median(times), 2, "ms");
  g_app.exitWithoutSaving = 1;
  DestroyWindow(g_app.mainWindow);
  Pump();
  FreeClips();
}

int PasteChild(HWND editor) {
  EditorWindow *ed = EditorOf(editor);
  const double t0 = Now();
  const LRESULT r = SendMessageA(editor, WM_PASTE, 0, 0);
  const double t = Painted(editor, t0);
  Report("paste_16MiB_in_another_process_ms", t, "ms");
  if (r != 0 || ed->doc->store.length != 16u << 20) printf("(the paste gave %u bytes)\n", ed->doc->store.length);
  return 0;
}
