// The Columns, Numbers dialog (270): the output mask with its "&?" help
// (string 961), "Modify non-empty lines only", the counter's start and step,
// the random numbers' range, the nine column definitions %1-%9 on tabs of
// the column page (271), and the previews:
// - "&Preview:" (CtView) shows the first lines of the result below the
//   mask: the tool run through the runner into that box, on at most 8,192
//   characters of the selection, again after every change;
// - "Column pre&view" opens the "Column preview" window (272) beside the
//   dialog: what the column definition of the tab shown cuts from those
//   lines, following every change until it is closed.
// The dialog works on a copy; OK stores the mask, the options and the nine
// definitions into g_settings.tools and the tool runs with them; Cancel
// changes nothing.
#pragma once

#include <windows.h>

// 0 when OK stored the settings, 32 when cancelled.
int RunColumnsDialog(HWND owner);
