// The Settings dialog (run under Wine): opening it to its first paint
// against making the first page's resource with an empty procedure, a
// page's first showing against making that page alone, and Export and
// Import of a maximal configuration against writing and reading its bytes
// at once.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/settings_dialog.h"
#include "bench/bench.h"
#include "bench/win_bench.h"
#include "config/config_io.h"
#include "config/config_lists.h"
#include "config/config_state.h"
#include "foundation/bytes.h"
#include "foundation/format.h"
#include "resources/resource.h"

namespace {

INT_PTR CALLBACK EmptyProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Making a page resource (shown and painted) with nothing behind it.
double BarePage(HWND owner, int resource) {
  const double t0 = Now();
  HWND page = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(resource), owner, EmptyProc, 0);
  ShowWindow(page, SW_SHOWNA);
  UpdateWindow(page);
  const double t = Now() - t0;
  DestroyWindow(page);
  // What the page covered is painted again here, not in the next measure.
  RedrawWindow(owner, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  return t;
}

// The dialog's first paint is seen by the message hook; the next message
// after it ends the measure, then a page not yet made is shown.
struct Opening {
  double start, painted, pageShown;
  bool paintSeen, done;
  HHOOK hook;
};
Opening g_open;

LRESULT CALLBACK WatchMessages(int code, WPARAM wParam, LPARAM lParam) {
  const MSG *msg = reinterpret_cast<const MSG *>(lParam);
  HWND frame = SettingsFrame();
  if (code == HC_ACTION && frame && !g_open.done) {
    if (g_open.paintSeen) {
      g_open.painted = Now() - g_open.start;
      g_open.done = true;
      // The Edit page's first showing, by its tab, painted.
      HWND tabs = GetDlgItem(frame, IDC_SETTINGS_TABS);
      RECT r;
      SendMessageA(tabs, TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r));
      const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
      const double t0 = Now();
      SendMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
      SendMessageA(tabs, WM_LBUTTONUP, 0, at);
      UpdateWindow(SettingsPage(IDD_EDIT_PAGE));
      g_open.pageShown = Now() - t0;
      PostMessageA(frame, WM_COMMAND, IDCANCEL, 0);
    } else if (msg->message == WM_PAINT && msg->hwnd == frame) {
      g_open.paintSeen = true;
      PostMessageA(frame, WM_NULL, 0, 0);
    }
  }
  return CallNextHookEx(g_open.hook, code, wParam, lParam);
}

void Maximal() {
  ListSettings &l = g_settings.lists;
  const std::string kib(1023, 'h'), desc(8191, 'd'), clip(65536, 'c');
  for (int i = 0; i < kFilters; i++) {
    FilterRecord &f = l.filters[i];
    Format(f.name, sizeof f.name, "Filter %d", i);
    StrCopyN(f.Cmd, "sort.exe /r", sizeof f.Cmd);
    StrCopyN(f.Desc, desc.c_str(), sizeof f.Desc);
  }
  for (int i = 0; i < kSearchHistory; i++) {
    StrCopyN(l.find[i].Fnd, kib.c_str(), sizeof l.find[i].Fnd);
    l.find[i].Fnd[0] = static_cast<char>('A' + i % 26);
    l.find[i].FTx = static_cast<u32>(i + 1);
    StrCopyN(l.replace[i].Rep, kib.c_str(), sizeof l.replace[i].Rep);
    l.replace[i].RTx = static_cast<u32>(i + 1);
  }
  for (int n = 0; n < kClipCount; n++) (void)SetClip(n, clip.c_str(), static_cast<u32>(clip.size()));
  MemFill(g_settings.tools.CmpStr1, 'x', sizeof g_settings.tools.CmpStr1 - 1);
  MemFill(g_settings.tools.CmpStr2, 'y', sizeof g_settings.tools.CmpStr2 - 1);
  g_settings.main.TCmpSv = 1;
}

double WriteOnce(const std::string &path, const std::string &bytes) {
  const double t0 = Now();
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD n = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  CloseHandle(h);
  return Now() - t0;
}

double ReadOnce(const std::string &path, size_t size) {
  std::string bytes(size, '\0');
  const double t0 = Now();
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD n = 0;
  ReadFile(h, &bytes[0], static_cast<DWORD>(size), &n, nullptr);
  CloseHandle(h);
  return Now() - t0;
}

// What any import pays before it parses a byte: the file read into memory
// allocated for it (the first touches of new memory may cost more than the
// read itself).
double ReadIntoNewMemory(const std::string &path, size_t size) {
  const double t0 = Now();
  char *bytes = static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, size + 1));
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD n = 0;
  ReadFile(h, bytes, static_cast<DWORD>(size), &n, nullptr);
  CloseHandle(h);
  HeapFree(GetProcessHeap(), 0, bytes);
  return Now() - t0;
}

// What a write that keeps the target whole when it fails pays at least: the
// bytes written beside the target, then renamed over it.
double WriteBesideThenRename(const std::string &path, const std::string &bytes) {
  const std::string beside = path + ".new";
  const double t0 = Now();
  HANDLE h = CreateFileA(beside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD n = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  CloseHandle(h);
  MoveFileExA(beside.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
  return Now() - t0;
}

std::string FileBytes(const std::string &path) {
  std::string bytes;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return bytes;
  bytes.resize(GetFileSize(h, nullptr));
  DWORD n = 0;
  ReadFile(h, &bytes[0], static_cast<DWORD>(bytes.size()), &n, nullptr);
  CloseHandle(h);
  return bytes;
}

}  // namespace

void SettingsFigures(HWND owner) {
  g_app.instance = GetModuleHandleA(nullptr);
  std::vector<double> open, bare, page, barePage;
  for (int run = 0; run < 7; run++) {
    bare.push_back(BarePage(owner, IDD_GENERAL_PAGE));
    barePage.push_back(BarePage(owner, IDD_EDIT_PAGE));
    g_open = Opening{};
    g_open.hook = SetWindowsHookExA(WH_GETMESSAGE, WatchMessages, nullptr, GetCurrentThreadId());
    g_open.start = Now();
    RunSettingsDialog(owner, IDD_GENERAL_PAGE);
    UnhookWindowsHookEx(g_open.hook);
    if (!g_open.done) {
      printf("settings_dialog: no first paint seen\n");
      return;
    }
    open.push_back(g_open.painted);
    page.push_back(g_open.pageShown);
  }
  std::vector<double> frameOnly;
  for (int run = 0; run < 5; run++) frameOnly.push_back(BarePage(owner, IDD_SETTINGS));
  Report("settings_frame_bare_ms", Median(frameOnly) * 1000, "ms");
  Report("settings_open_to_first_paint_ms", Median(open) * 1000, "ms");
  Report("settings_first_page_bare_ms", Median(bare) * 1000, "ms");
  Ratio("settings_open_vs_bare_first_page", Median(open), Median(bare));
  Goal("settings_open_vs_bare_first_page", Median(open) / Median(bare), 1.3, "x");
  Report("settings_page_first_shown_ms", Median(page) * 1000, "ms");
  Ratio("settings_page_first_shown_vs_bare", Median(page), Median(barePage));
  Goal("settings_page_first_shown_vs_bare", Median(page) / Median(barePage), 1.3, "x");

  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  const std::string exported = std::string(folder) + "quillpad-settings-bench.ini";
  const std::string once = std::string(folder) + "quillpad-settings-bench-once.ini";
  Maximal();
  std::vector<double> exports, writes, imports, reads, newMemoryReads, renamedWrites;
  for (int run = 0; run < 5; run++) {
    double t0 = Now();
    if (SaveConfig(nullptr, exported.c_str(), false, true) != 0) {
      printf("settings_export failed\n");
      return;
    }
    exports.push_back(Now() - t0);
    const std::string bytes = FileBytes(exported);
    writes.push_back(WriteOnce(once, bytes));
    renamedWrites.push_back(WriteBesideThenRename(once, bytes));
    t0 = Now();
    if (ImportConfig(exported.c_str()) != 0) {
      printf("settings_import failed\n");
      return;
    }
    imports.push_back(Now() - t0);
    reads.push_back(ReadOnce(exported, bytes.size()));
    newMemoryReads.push_back(ReadIntoNewMemory(exported, bytes.size()));
    if (run == 0) Report("settings_export_bytes", static_cast<double>(bytes.size()), "bytes");
  }
  Report("settings_export_ms", Median(exports) * 1000, "ms");
  Ratio("settings_export_vs_one_write", Median(exports), Median(writes));
  Goal("settings_export_vs_one_write", Median(exports) / Median(writes), 1.5, "x");
  Ratio("settings_write_beside_then_rename_vs_one_write", Median(renamedWrites), Median(writes));
  Report("settings_import_ms", Median(imports) * 1000, "ms");
  Ratio("settings_read_into_new_memory_vs_one_read", Median(newMemoryReads), Median(reads));
  Ratio("settings_import_vs_one_read", Median(imports), Median(reads));
  Goal("settings_import_vs_one_read", Median(imports) / Median(reads), 2, "x");
  DeleteFileA(exported.c_str());
  DeleteFileA(once.c_str());
  FreeClips();
}
