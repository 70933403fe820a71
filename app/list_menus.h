// Recent Files, Favourites and Clips: their submenus in the menu bar, the
// commands that open, add, clear and show them, and the Clips dialog.
#pragma once

#include <windows.h>

#include "document/document.h"

// Rebuilds Recent Files (newest first, numbered 0-9) and Favourites from the
// lists, builds the Clips Roster the first time, and enables its Paste items
// by the clips that hold text. `doc` may be null (Add this File greyed).
void BuildListMenus(HMENU bar, const Document *doc);

// 17001-17010 and 17020, 41101-41150 and 41020, 45001 and 45010: a result
// code; 64 for any other id.
int ListCommand(HWND hwnd, int id);

// The Clips dialog (150): the nine clips, a zero byte shown as a space and
// at most the first 32,767 characters of each; a Paste button closes it and
// sends its clip's insert command to `owner`.
int RunClipsDialog(HWND owner);

// A menu item's text "&n. path" with every "&" of the path doubled, so that
// the path shows as it is and the number stays the mnemonic.
void NumberedItemText(char *out, size_t size, int number, const char *path);
