// The Sort dialog (260): five sort keys on the tabs "First..", "Second..",
// "Third..", "Then..", "Finally..". Each tab shows the key's page (261:
// whether it is used, its direction, text or numbers, what it ignores) with
// the column page (271) under it: the part of the line the key compares.
// The dialog works on a copy of the five keys; Sort stores them into
// g_settings.tools.sort (the Sr0-Sr4 keys) and the tool runs with them;
// Cancel changes nothing.
#pragma once

#include <windows.h>

// 0 when Sort stored the keys, 32 when cancelled.
int RunSortDialog(HWND owner);
