// Helpers of the Windows tests that drive real windows and processes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The folder of the test program, with a trailing backslash; the built
// quillpad.exe lies beside it.
std::string ExeDir();

// A started program, ended (killed if still running) on destruction.
class Program {
 public:
  // Started in `folder` when one is given.
  explicit Program(const std::string &commandLine, const std::string &folder = "");
  ~Program();
  bool started() const { return pi_.hProcess != nullptr; }
  DWORD pid() const { return pi_.dwProcessId; }
  // The exit code, or STILL_ACTIVE after timeoutMs.
  DWORD WaitExit(DWORD timeoutMs);
  // Waits until the program's GUI thread waits for input.
  void WaitIdle(DWORD timeoutMs) { WaitForInputIdle(pi_.hProcess, timeoutMs); }

 private:
  PROCESS_INFORMATION pi_ = {};
};

// The first visible top-level window of class `className` owned by process
// `pid`, waiting up to timeoutMs; null when none appeared.
HWND WaitForWindow(DWORD pid, const char *className, DWORD timeoutMs);
// Same, without waiting; also finds hidden windows when `visibleOnly` is false.
HWND FindProcessWindow(DWORD pid, const char *className, bool visibleOnly = true);

// Opens the clipboard for this thread, waiting up to two seconds while
// another process has it open (Wine's X clipboard bridge does, for a moment,
// after every change).
bool OpenClipboardWhenFree(HWND owner = nullptr);
std::string WindowText(HWND hwnd);
std::string ClassOf(HWND hwnd);
// The message text of a message box (its static text control).
std::string MessageBoxText(HWND box);

// Pumps this thread's messages until done() or timeoutMs; returns done().
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

// The main window's globals as a fresh start leaves them (default settings,
// nothing saved on close), with the window classes registered; false if a
// class could not be.
bool ResetFrameGlobals();
// Dispatches this thread's waiting messages (a WM_QUIT is dropped).
void PumpMessages();
// Destroys the main window, if there is one, without saving, and drops what
// is left in the queue (the WM_QUIT of the destruction among it).
void DestroyFrame();

// Runs `open`, which shows a modal dialog of this thread, and `act` on the
// dialog once it is up (from a timer of the dialog's message loop). act must
// end the dialog. Returns whether act ran.
bool WithDialog(const std::function<void()> &open, std::function<void(HWND)> act);
