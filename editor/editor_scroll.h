// Scrolling, the caret, the wheel: keeping the view and the system caret in
// step with the document.
#pragma once

#include "editor/editor_window.h"

// UpdateCaret flags.
constexpr UINT kCaretNoScroll = 1;     // do not bring the caret into view
constexpr UINT kCaretLeaveSystem = 2;  // leave the system caret alone
constexpr UINT kCaretNoMargins = 4;    // ignore KeepX and KeepY
constexpr UINT kCaretRecreate = 8;     // make the system caret anew

// ApplyScroll flag: the last line may reach the top.
constexpr UINT kScrollPastEnd = 4;

// Clamps the top line and the horizontal scroll; when either moved, the
// scroll bars, the pixel scroll, invalidation and the caret follow.
void ApplyScroll(EditorWindow *ed, UINT flags);
void UpdateCaret(EditorWindow *ed, UINT flags);
// 0x800: forget the bars' remembered descriptions and show the horizontal
// bar only without word wrap; 0x100: leave the vertical bar alone.
void UpdateScrollBars(EditorWindow *ed, UINT flags);
void VScroll(EditorWindow *ed, int code);
void HScroll(EditorWindow *ed, int code);
void Wheel(EditorWindow *ed, WPARAM wParam, bool horizontal);
// Places the input-method composition window at the caret.
void PlaceComposition(EditorWindow *ed, bool setFont);
