// Process start-up: the prepared tables, the command line, the one-shot jobs,
// the main window and the message loop. The process exit code is decided here:
// 0 after a normal session (and always for /u); -1 when the texts or the
// editor window class cannot be set up; -2 when the main window class cannot
// be registered; -3 when the main window cannot be created; for /? 0 when the
// manual could be opened, 1 when not.
#pragma once

#include <windows.h>

// Fills g_app.options from the process command line (GetCommandLineA).
void ParseCommandLine();

// Runs the whole process; returns its exit code.
int RunQuillpad(HINSTANCE instance);

// The message loop, until WM_QUIT; returns 0.
int RunMessageLoop();

// A non-blocking pump for modal waits: handles every pending message (dialog
// messages through `dialog` when it is set) and stops early when *cancel
// becomes nonzero.
void PumpPendingMessages(HWND dialog, const volatile unsigned *cancel);
