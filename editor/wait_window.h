// The GUI thread's side of a long operation: the wait for the worker, and
// the wait window with its Cancel button (dialog 180).
#pragma once

#include <windows.h>

#include "document/long_operation.h"

struct WaitTexts {
  const char *lines[3];  // the three lines of the wait window (null: empty)
};

// Waits until `thread` ends. Delayed: for the first 1024 ms only messages
// sent to this thread are served (the worker's requests to the editor), no
// input; then the wait window appears over `owner` (disabled meanwhile) and
// every message is served, the wait window's through IsDialogMessageA.
// Without delay the window shows at once. With op->total the progress
// counter is polled, from 1024 ms doubling, and sent as `progressMessage`
// (done, total) to progressWindow when it changed; the window's third line,
// when it has no text of its own, shows it as a running count.
void WaitForThread(HANDLE thread, LongOperation *op, HWND owner, const WaitTexts &texts, HWND progressWindow,
                   UINT progressMessage, bool delayed, HWND filter);

// The wait window shown while `WaitForThread` runs; null otherwise.
HWND CurrentWaitWindow();
// Shows the wait window at once (a question from the worker needs it) and
// serves every message from now on; returns it (null when no wait runs).
HWND RevealWaitWindow();

// Called when the outermost long operation has ended (the main window
// replays what it put off meanwhile); null for nothing.
extern void (*g_afterLongOperation)();
