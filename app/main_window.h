// The main window (class "QuilPad"): the frame of the one document of the
// process. It owns the editor window, runs the shell's commands and forwards
// every other command to the editor.
#pragma once

#include <windows.h>

extern const char kMainClassName[];

// Registers the class; false on failure.
bool RegisterMainClass(HINSTANCE instance);

// Creates the main window with its editor child, applies the start-up show
// state and placement options, and shows it. Returns 0, or -3 when the window
// (or its editor) could not be created.
int CreateMainWindow();

// Runs the command-result convention on one result code: 0 and 64 (after the
// editor answered 0) refresh and answer 0, 32 answers 1, 48/80/96 answer 3,
// anything else is shown as a warning and answers 3.
LRESULT AnswerCommandResult(HWND hwnd, int result);

// Wrap Margin (55211): turns the wrap margin (RWrap, pixels from the text's
// left edge) on or off by its sign, keeping its place. A margin that was
// never set (0) is placed 80 average character widths in and left off.
int CommandWrapMargin();

// Handling of the private command 10011: opens the start-up document and
// applies the options that act on it. Returns 0 or an error code.
int OpenStartupDocument();

// Cuts the text to at most `most` bytes, never inside a double-byte
// character of the ANSI code page (the tray tip).
void CutAtCharacter(char *text, size_t most);

// Lays the children out: the editor above the search bar and the status bar.
void LayoutChildren(HWND hwnd);

// Whether a command id lies in the tools' range with no tool built (its item is greyed).
bool CommandPending(UINT id);

// The submenu standing for the menu item `id` anywhere in `menu`: a
// placeholder item of the resource becomes an empty submenu the first time,
// marked with its id; after that the submenu is found by the mark (and
// emptied when `empty`). Null when there is no such item.
HMENU Submenu(HMENU menu, UINT id, bool empty);

// Puts the window on top, or not, by Stay on Top and Session on Top.
void ApplyWindowOnTop();
