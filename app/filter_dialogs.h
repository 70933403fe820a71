// External filters in the window: the Text Filters menu, the commands that
// run a filter (40701-40750, Alt+Ctrl+F1-F12) with the launch dialog (310)
// first, the filter editor (481) and the Filters page (480) of the Settings
// dialog.
#pragma once

#include <windows.h>

#include "app/filter_run.h"

// The launch parameters of filter slot n for this session: filled by the
// launch dialog, never stored, moved along with their filter by the Filters
// page.
FilterParams *FilterSessionParams(int slot);

// Rebuilds the Text Filters submenu of the menu bar: "&Manage List..", a
// separator, then one item a used slot, the first twelve with their keys.
void BuildFiltersMenu(HMENU bar);
// The status-bar help of a filter item: "Command: " and its command. False
// for other ids.
bool FilterMenuHelp(UINT id, char *text, size_t size);

// 40701 + n: runs filter n (a free slot does nothing). A result code.
int FilterCommand(HWND hwnd, int id);
// The main window's answer to kFilterMemoryWarning.
void OnFilterMemoryWarning();

// The filter editor over `owner`: 0 when OK stored the fields into the
// record, 32 when cancelled.
int RunFilterEditor(HWND owner, FilterRecord *record);

// The Filters page (480), a child of the Settings dialog: WM_COMMAND 1
// applies its list to the settings, 2 and 3 drop it.
INT_PTR CALLBACK FiltersPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
