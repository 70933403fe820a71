// The mouse in the editor: selecting by characters and by growing units on
// repeated clicks, dragging the selection to move or copy it, dragging the
// wrap margin, auto-copy, paste on a right-click, and the context menu.
//
// The editor class has no CS_DBLCLKS: the editor counts clicks itself, per
// button, within the system's double-click time and rectangle.
#pragma once

#include "editor/editor_window.h"

// Mouse modes.
constexpr int kMouseIdle = 0;
constexpr int kMouseSelecting = 1;
constexpr int kMouseDragging = 2;  // the selection's text
constexpr int kMouseMargin = 4;    // the wrap margin

// The mode of the editor that has the mouse: a mouse operation is under way.
extern int g_mouseMode;

// WM_LBUTTONDOWN/WM_RBUTTONDOWN (button 0 left, 1 right), WM_LBUTTONUP/
// WM_RBUTTONUP, WM_MOUSEMOVE: the MK_* key flags and the pointer in client
// coordinates (signed).
void ButtonDown(EditorWindow *ed, int button, WPARAM keys, int x, int y);
void ButtonUp(EditorWindow *ed, int button, WPARAM keys, int x, int y);
void MouseMove(EditorWindow *ed, WPARAM keys, int x, int y);
// WM_KILLFOCUS, WM_CAPTURECHANGED: a drag ends without effect.
void CancelMouse(EditorWindow *ed);
// WM_SETCURSOR over the client area: the pointer shape for that point.
void SetMouseCursor(EditorWindow *ed, int x, int y);

// The clock of the click counters, in milliseconds (tests set their own).
extern u32 (*g_mouseClock)();

// Shows a popup menu (the context menu, the drag menu) at a screen point
// and returns the command chosen, 0 for none. Tests replace it.
extern UINT (*g_popupMenu)(HMENU menu, int x, int y, HWND owner);
UINT ShowPopupMenu(HMENU menu, int x, int y, HWND owner);
