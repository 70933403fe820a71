// The Settings dialog (401): a tab control over the pages of the table, each
// a modeless child dialog made the first time its tab is shown.
//
// The frame talks to a page with SendMessageA(page, WM_COMMAND,
// MAKEWPARAM(n, 0), 0): 1 apply the controls to the live settings, 2 cancel
// (undo what the page changed live), 3 close (no undoing, no applying: the
// live settings were replaced). OK sends 1 to every page made so far, Cancel
// 2. A page asks the frame with SendMessageA(GetParent(page), WM_COMMAND,
// MAKEWPARAM(n, 0), (LPARAM)page), the page's own window in lParam: 1 has
// every page apply (the dialog stays open), 3 closes the dialog once the
// live settings were replaced (every page gets 3). Either way the live
// settings are then put into effect.
#pragma once

#include <windows.h>

constexpr int kPageApply = 1;
constexpr int kPageCancel = 2;
constexpr int kPageClose = 3;

// Opens the dialog on the page of this resource, or with 0 on the page shown
// last (the first when that is out of range). Returns 0.
int RunSettingsDialog(HWND owner, int pageResource);

// A page asks the frame to apply every page (kPageApply) or to close
// (kPageClose).
void AskSettingsFrame(HWND page, int request);

// Puts the live settings into effect: the word definition, the editor's
// fonts, colours, word wrap and margin, display flags, tab size and left
// margin (laid out again), the status bar, the window on top, the auto-save
// timer and the watching of the file.
void ApplyLiveSettings();

// For tests: the open frame (null when closed), a page window (null until
// its tab was first shown), and the index of the page shown last.
HWND SettingsFrame();
HWND SettingsPage(int pageResource);
int LastSettingsPage();
