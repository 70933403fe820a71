// Watching the open file (run under Wine): how long a write by another
// program takes to reach the main window as command 13153, and what a watch
// costs while nothing changes.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/file_watch.h"
#include "bench/bench.h"
#include "bench/win_bench.h"
#include "resources/resource.h"

namespace {

const char kGoEvent[] = "QuillpadWatchBenchGo";
bool g_told;

LRESULT CALLBACK TargetProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND && LOWORD(wParam) == IDM_FILE_CHANGED) g_told = true;
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

double ProcessSeconds() {
  FILETIME created, ended, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
  auto seconds = [](const FILETIME &t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

}  // namespace

int WriteChild(const char *path) {
  HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, kGoEvent);
  if (!go) return 1;
  // One write each time the event is set; a quiet half minute ends the child.
  for (int round = 0; WaitForSingleObject(go, 30000) == WAIT_OBJECT_0; round++) {
    HANDLE f = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    const std::string text = "round " + std::to_string(round) + "\r\n";
    DWORD written = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
  }
  CloseHandle(go);
  return 0;
}

void WatchFigures(const char *self) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = TargetProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "QpBenchWatchTarget";
  RegisterClassA(&wc);
  HWND target = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  const HWND savedMain = g_app.mainWindow, savedEditor = g_app.editorWindow;
  g_app.mainWindow = target;
  g_app.editorWindow = nullptr;

  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  const std::string path = std::string(folder) + "quillpad-watch-bench.txt";
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(f);
  HANDLE go = CreateEventA(nullptr, FALSE, FALSE, kGoEvent);
  const std::string line = std::string("\"") + self + "\" --write \"" + path + "\"";
  std::vector<char> command(line.begin(), line.end());
  command.push_back(0);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    printf("cannot start the writing program\n");
    return;
  }
  StartWatching(path.c_str());
  Sleep(500);  // the child and the watch are up

  // The other program writes; the clock runs until the window is told.
  std::vector<double> latency;
  int missed = 0;
  for (int round = 0; round < 21; round++) {
    g_told = false;
    const double t0 = Now();
    SetEvent(go);
    while (!g_told && Now() - t0 < 2) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
      Pump();
    }
    if (g_told) latency.push_back((Now() - t0) * 1000);
    else missed++;
    // The watch pauses after telling; the next write comes after that.
    const double settle = Now();
    while (Now() - settle < 0.6) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      Pump();
    }
  }
  if (missed) printf("watch_writes_not_told %d\n", missed);
  if (!latency.empty()) {
    Report("watch_write_to_command_median_ms", Median(latency), "ms");
    Goal("watch_write_to_command_median_ms", Median(latency), 300, "ms");
  }

  // Nothing changes for ten seconds: the process's time is the watch's (the
  // system counts it in ticks of 10 ms, 0.1 % of these ten seconds).
  const double cpu0 = ProcessSeconds(), wall0 = Now();
  Sleep(10000);
  const double idle = (ProcessSeconds() - cpu0) / (Now() - wall0) * 100;
  Report("watch_idle_cpu_percent", idle, "%");
  Goal("watch_idle_cpu_percent", idle, 0.1, "%");
  // Finer: what one quiet turn of the watch does (a wait that finds nothing,
  // a look whether the file is still there), timed, at four turns a second.
  HANDLE change = FindFirstChangeNotificationA(folder, FALSE, FILE_NOTIFY_CHANGE_LAST_WRITE);
  const int turns = 20000;
  const double t0 = Now();
  for (int i = 0; i < turns; i++) {
    WaitForSingleObject(change, 0);
    GetFileAttributesA(path.c_str());
  }
  const double turn = (Now() - t0) / turns;
  FindCloseChangeNotification(change);
  Report("watch_quiet_turn_us", turn * 1e6, "us");
  Report("watch_quiet_turns_cpu_percent", turn * (1000.0 / 256) * 100, "%");
  Goal("watch_quiet_turns_cpu_percent", turn * (1000.0 / 256) * 100, 0.1, "%");

  StopWatching();
  TerminateProcess(pi.hProcess, 0);  // the writer has done its part
  WaitForSingleObject(pi.hProcess, 5000);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  CloseHandle(go);
  DeleteFileA(path.c_str());
  DestroyWindow(target);
  g_app.mainWindow = savedMain;
  g_app.editorWindow = savedEditor;
}
