// The check for a newer version: one HTTP HEAD request to the maker's web
// server for "/quillpad/updates/6.4.1.beta?u=<tag>", made by a worker thread
// so that the window never waits on the network; its answer is recorded in
// the Update keys (see shell_text.h).
//
// A 200 counts only from a real HTTP reply (with header fields) whose final
// address is the one asked for: a redirect, or anything that is not HTTP,
// is a connection error. Only the path, the tag, the User-Agent and the
// no-cache pragma leave the machine: no cookies, no credentials. Without a
// maker host nothing is sent and the check fails.
#pragma once

#include <windows.h>

#include "foundation/types.h"

// Runs the check and shows its outcome: the new-version question always,
// "No update available." and "Connection error!" only when not silent. With
// an owner window its messages are dispatched meanwhile. Gives up after the
// deadline (15 s), when the worker is abandoned. Returns 0; 32 while another
// check runs, or when the window was closed during the wait (the answer is
// then dropped).
int CheckForUpdate(HWND owner, bool silent, const char *tag);

// The status of the request alone (0 when there was no usable answer), for
// tests: the same worker and deadline, nothing recorded.
int RequestUpdateStatus(const char *tag);

// The /u job: the silent check with the installation tag ("none" when there
// is none yet), the configuration saved. Returns the exit code, 0.
int RunUpdateCheckJob();

// The periodic check, after the start-up document has been opened, when
// "Check for updates" (Auto) is on and there is a maker host: may start the
// program with /u (and /i when a configuration file was named). When the
// check is due the window is painted first.
void RunPeriodicUpdateCheck(HWND owner);

// Tests: the time-outs of the request handle and the overall deadline, in
// ms (0 restores 10 s and 15 s); the clock of `Last` (null: the system's).
void SetUpdateTimeouts(DWORD requestMs, DWORD deadlineMs);
void SetUpdateClock(u32 (*now)());
