// The keys the editor handles itself: caret movement and scrolling on
// WM_KEYDOWN, typed characters on WM_CHAR. The editing keys arrive as
// commands through the accelerator tables (editor_editing).
#pragma once

#include "editor/editor_window.h"

// WM_KEYDOWN, and WM_SYSKEYDOWN with the context bit (before the base class).
void OnKeyDown(EditorWindow *ed, WPARAM key);
// WM_CHAR: types the character (lParam's low word is the repeat count).
void OnChar(EditorWindow *ed, WPARAM character, LPARAM lParam);

// The caret's column value that stands for the end of the hard line.
constexpr u32 kColumnLineEnd = 1048583;

// Moves the caret to a position record; extend keeps the anchor, otherwise
// the selection collapses onto the caret. The view, the caret, the status
// facts and the selection highlighter follow.
void MoveCaretTo(EditorWindow *ed, const PositionRecord &caret, bool extend);
