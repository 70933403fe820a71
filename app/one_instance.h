// One window per file: every window registers the full path of its file as
// a global atom (atoms are shared by all processes, and equal strings,
// letter case aside, give the same atom), and with `OnlyOne` announces it
// to every top-level window through the registered message "QLP.AE". A
// window that has the same file answers with its own handle and that atom;
// the announcing window then offers to hand over: the other window comes
// forward and this one closes.
//
// The message's wParam is the sender's main window, its lParam an atom (0
// for an announcement). Only a main window of the program in another
// process is listened to; anything else posting the message is ignored.
#pragma once

#include <windows.h>

// Registers the path (replacing the previous file's atom); with `OnlyOne`,
// waits for an answer and announces the file. The file this window already
// has (a save) is announced only once.
void RegisterFile(const char *path);
// Deletes this window's atom, and stops waiting for an answer.
void ReleaseFile();
// The registered message from `sender` with `atom`, in the main window.
void OnHandOverMessage(HWND hwnd, WPARAM sender, LPARAM atom);

