// The two read-only tools' dialogs of the Text menu.
//
// Compare (320): two edit boxes (CmpStr1, CmpStr2, at most 65,534
// characters each, in the editor's font with TCmpFnt) and the options
// CmpIC, CmpIS, CmpIN. "Load Selection &1" and "&2" copy the editor's
// selection into a box (newlines as CR LF, a NUL as a space). Co&mpare
// stores the texts and options, then either says the texts are identical or
// says they differ and selects, in both boxes, from where they start to
// differ to the end. Closing stores nothing more.
//
// Statistics (230): the counts of the selection and of the whole document,
// counted by the Statistics tool through the runner (read-only, so on an
// empty selection too) before the dialog shows; the Selection column shows
// only when the selection has at least one character.
#pragma once

#include <windows.h>

// 0 when the dialog was shown and closed, 32 when there was nothing to show
// it for (no editor, or the count was cancelled), -1 out of memory.
int RunCompareDialog(HWND owner);
int RunStatisticsDialog(HWND owner);
