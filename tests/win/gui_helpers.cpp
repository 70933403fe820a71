#include "tests/win/gui_helpers.h"

#include <cstdio>
#include <functional>

#include "app/app_state.h"
#include "app/main_window.h"
#include "config/config_io.h"
#include "editor/editor_window.h"
#include "foundation/bytes.h"

std::string ExeDir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path, n);
  return dir.substr(0, dir.find_last_of("\\/") + 1);
}

Program::Program(const std::string &commandLine, const std::string &folder) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  // A loaded wineserver now and then refuses a start it takes a moment later.
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::string line = commandLine;
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &si, &pi_))
      return;
    pi_ = {};
    fprintf(stderr, "CreateProcess failed (error %lu): %s\n", GetLastError(), commandLine.c_str());
    Sleep(500);
  }
}

Program::~Program() {
  if (!pi_.hProcess) return;
  if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(pi_.hProcess, 99);
    WaitForSingleObject(pi_.hProcess, 5000);
  }
  CloseHandle(pi_.hThread);
  CloseHandle(pi_.hProcess);
}

DWORD Program::WaitExit(DWORD timeoutMs) {
  if (WaitForSingleObject(pi_.hProcess, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = 0;
  GetExitCodeProcess(pi_.hProcess, &code);
  return code;
}

namespace {
struct Search {
  DWORD pid;
  const char *className;
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK Visit(HWND hwnd, LPARAM lParam) {
  Search *s = reinterpret_cast<Search *>(lParam);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != s->pid || ClassOf(hwnd) != s->className) return TRUE;
  if (s->visibleOnly && !IsWindowVisible(hwnd)) return TRUE;
  s->found = hwnd;
  return FALSE;
}
}  // namespace

HWND FindProcessWindow(DWORD pid, const char *className, bool visibleOnly) {
  Search s = {pid, className, visibleOnly, nullptr};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

HWND WaitForWindow(DWORD pid, const char *className, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (HWND h = FindProcessWindow(pid, className)) return h;
    if (GetTickCount() - start > timeoutMs) return nullptr;
    Sleep(20);
  }
}

std::string WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthA(hwnd);
  std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  const int n = GetWindowTextA(hwnd, &text[0], static_cast<int>(text.size()));
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

std::string ClassOf(HWND hwnd) {
  char buf[256];
  int n = GetClassNameA(hwnd, buf, sizeof buf);
  return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

namespace {
BOOL CALLBACK CollectStatic(HWND hwnd, LPARAM lParam) {
  std::string *text = reinterpret_cast<std::string *>(lParam);
  if (ClassOf(hwnd) == "Static") {
    // Read through WM_GETTEXT: the control belongs to another process.
    char buf[4096];
    LRESULT n = SendMessageA(hwnd, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf));
    if (n > 0 && text->empty()) *text = std::string(buf, static_cast<size_t>(n));
  }
  return TRUE;
}
}  // namespace

std::string MessageBoxText(HWND box) {
  std::string text;
  EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&text));
  return text;
}

bool ResetFrameGlobals() {
  MemZero(&g_app, sizeof g_app);
  g_app.instance = GetModuleHandleA(nullptr);
  SetDefaultSettings(&g_settings, true);
  g_config.noSave = 1;
  WNDCLASSA existing;
  return (GetClassInfoA(g_app.instance, kEditorClassName, &existing) || RegisterEditorClass(g_app.instance)) &&
         (GetClassInfoA(g_app.instance, kMainClassName, &existing) || RegisterMainClass(g_app.instance));
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void DestroyFrame() {
  if (g_app.mainWindow) {
    g_app.exitWithoutSaving = 1;
    DestroyWindow(g_app.mainWindow);
  }
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

namespace {

std::function<void(HWND)> *g_dialogAction;


BOOL CALLBACK FindDialog(HWND hwnd, LPARAM lParam) {
  if (ClassOf(hwnd) != "#32770") return TRUE;
  *reinterpret_cast<HWND *>(lParam) = hwnd;
  return FALSE;
}

void CALLBACK DialogTimer(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dialog));
  if (!dialog || !g_dialogAction) return;
  KillTimer(nullptr, id);
  std::function<void(HWND)> *action = g_dialogAction;
  g_dialogAction = nullptr;
  (*action)(dialog);
}

}  // namespace

bool WithDialog(const std::function<void()> &open, std::function<void(HWND)> act) {
  g_dialogAction = &act;
  UINT_PTR timer = SetTimer(nullptr, 0, 10, DialogTimer);
  open();
  KillTimer(nullptr, timer);
  bool ran = g_dialogAction == nullptr;
  g_dialogAction = nullptr;
  return ran;
}

bool OpenClipboardWhenFree(HWND owner) {
  const DWORD start = GetTickCount();
  while (!OpenClipboard(owner)) {
    if (GetTickCount() - start > 2000) return false;
    Sleep(10);
  }
  return true;
}
