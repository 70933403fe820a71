// Utility Info (58811): the document's length and memory, the typing
// odometer and trip, Compact and Clear All Steps; About (58911).
#pragma once

#include <windows.h>

// Both modal over owner; 0.
int RunInfoDialog(HWND owner);
int RunAboutDialog(HWND owner);
