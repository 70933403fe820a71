// The pages of the Settings dialog (see settings_dialog.h for how the frame
// and the pages talk). Every control that shows a setting is bound through
// the rows of config/settings_bindings.h.
#pragma once

#include <windows.h>

INT_PTR CALLBACK GeneralPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK EditPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AppearancePageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FilePageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SaveLoadPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ClipboardPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SearchPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ToolsPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FavouritesPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ConfigPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);

// The one-line entry dialog (160) titled "Quillpad" with a prompt and a hint;
// text (kPathChars bytes) holds the proposal and receives the entry. False
// for Cancel.
bool RunEntryDialog(HWND owner, const char *prompt, const char *hint, char *text);
