// The view's lazy caches: URL links and the selection highlighter's
// occurrences, filled for the rows about to be painted.
#pragma once

#include "editor/editor_window.h"

// Makes the link cache (when "Detect URLs" is on) and the selection
// highlighter's cache (when it is on, the selection is not empty and there is
// a highlighter text) cover rows first..last. A cache that cannot be filled
// leaves its missing ranges out; painting goes on.
void FillPaintCaches(EditorWindow *ed, u32 first, u32 last, u32 startTick);

// After a caret or selection move by the keyboard or the mouse: a selection
// of at least HiSelLn characters becomes the highlighter's text (matched with
// case while HiSelMC is on); a shorter one leaves the previous text in force.
// A new text empties the cache and repaints.
void CheckSelectionHighlighter(EditorWindow *ed);

// Forgets the highlighter's text (a new document).
void ClearSelectionHighlighter(EditorWindow *ed);

// Whether the status bar's message field is free for the short cache and
// painting texts (no progress caption, no kept message). Installed by the
// main window once it has a status bar; null: never show them.
extern bool (*g_statusFieldFree)(HWND editor);
// Shows one of those texts when the field is free; true when shown.
bool ShowTransientStatus(EditorWindow *ed, const char *text);
