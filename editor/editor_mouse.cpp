#include "editor/editor_mouse.h"

#include <commctrl.h>

#include "config/config_state.h"
#include "document/compact_text.h"
#include "document/edit.h"
#include "document/motion.h"
#include "document/position.h"
#include "document/undo.h"
#include "editor/clipboard.h"
#include "editor/editor_caches.h"
#include "editor/editor_commands.h"
#include "editor/editor_editing.h"
#include "editor/editor_keyboard.h"
#include "editor/editor_layout.h"
#include "editor/editor_messages.h"
#include "editor/editor_scroll.h"
#include "foundation/memory.h"
#include "resources/resource.h"

int g_mouseMode;

namespace {

u32 SystemClock() { return GetTickCount(); }

UINT TrackMenu(HMENU menu, int x, int y, HWND owner) {
  return static_cast<UINT>(
      TrackPopupMenuEx(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, x, y, owner, nullptr));
}

void SetMode(EditorWindow *ed, int mode) {
  ed->mouseMode = mode;
  g_mouseMode = mode;
}

// Floor division: a pointer above the window lies on a row above the top.
i64 FloorDiv(i64 a, i64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// The x of the wrap margin line in client coordinates; false while there is none.
bool MarginX(const EditorWindow *ed, int *x) {
  const i32 wrap = g_settings.opts.RWrap;
  if (wrap <= 0) return false;
  *x = ed->gutterWidth + ed->leftMargin + wrap - ed->hScroll * ed->charWidth;
  return true;
}
bool OnMargin(const EditorWindow *ed, int x) {
  int m;
  return MarginX(ed, &m) && x >= m - 1 && x <= m + 1;
}

// The position under the pointer: the row (one beyond each edge of the view
// at most, so that a drag past an edge scrolls) and the character there, or
// the end of the row past its end.
PositionRecord PointerPosition(EditorWindow *ed, int x, int y) {
  Document *doc = ed->doc;
  const i64 rows = RowCount(&doc->store);
  const i64 top = ed->topLine;
  i64 row = top + FloorDiv(y, ed->lineHeight > 0 ? ed->lineHeight : 1);
  if (row < top - 1) row = top - 1;
  if (row > top + ed->visibleRows) row = top + ed->visibleRows;
  if (row > rows - 1) row = rows - 1;
  if (row < 0) row = 0;
  const int textX = x - ed->gutterWidth - ed->leftMargin + ed->hScroll * ed->charWidth;
  i64 column = textX < 0 ? 0 : CharAtX(ed, static_cast<u32>(row), textX);
  if (column < 0) column = kColumnLineEnd;
  PositionRecord p;
  SetFromRowColumn(doc, &p, row, column);
  return p;
}

// The kind of unit that (units) multi-clicks select, walking word, wrapped
// row part, whole line, paragraph, entire document and skipping the kinds
// NoMClks marks; -1 when every kind is skipped.
int UnitKindOf(u32 units) {
  const u32 skip = static_cast<u32>(g_settings.edit.NoMClks) & 31;
  u32 kinds = 0;
  for (int k = 0; k < 5; k++) kinds += !(skip >> k & 1);
  if (kinds == 0 || units == 0) return -1;
  u32 step = (units - 1) % kinds + 1;
  for (int k = 0;; k = (k + 1) % 5)
    if (!(skip >> k & 1) && --step == 0) return k;
}

// The span of a unit kind around a position.
void UnitSpan(EditorWindow *ed, int kind, const PositionRecord &at, u32 *a, u32 *b) {
  Document *doc = ed->doc;
  const TextStore *s = &doc->store;
  *a = *b = at.position;
  switch (kind) {
    case 0: UnitAround(doc, 0, at.position, a, b); break;
    case 1:
      *a = RowStart(s, at.row);
      *b = RowEnd(s, at.row);
      break;
    case 2: UnitAround(doc, 1, at.position, a, b); break;
    case 3: UnitAround(doc, 2, at.position, a, b); break;
    case 4:
      *a = 0;
      *b = s->length;
      break;
    default: break;
  }
}

// Shows the caret at a position without moving the document's caret.
void ShowCaretAt(EditorWindow *ed, const PositionRecord &at) {
  Document *doc = ed->doc;
  const PositionRecord caret = doc->caret;
  doc->caret = at;
  UpdateCaret(ed, kCaretNoMargins);
  doc->caret = caret;
}

void SetShape(EditorWindow *ed, int x) {
  LPCSTR shape = IDC_IBEAM;
  if (ed->mouseMode == kMouseMargin || (ed->mouseMode == kMouseIdle && OnMargin(ed, x))) shape = IDC_SIZEWE;
  else if (ed->mouseMode == kMouseDragging) shape = IDC_ARROW;
  SetCursor(LoadCursorA(nullptr, shape));
}

// One step of selecting, dragging text or dragging the margin: at the
// button down (start) and at each move while the mouse is captured.
void SelectionStep(EditorWindow *ed, WPARAM keys, int x, int y, bool start) {
  Document *doc = ed->doc;
  if (ed->mouseMode == kMouseMargin) {
    i32 wrap = x + ed->hScroll * ed->charWidth - ed->gutterWidth - ed->leftMargin;
    // Into the gutter it stays one character wide: 0 or less is "no margin".
    const i32 least = ed->averageWidth > 0 ? ed->averageWidth : 1;
    if (wrap < least) wrap = least;
    if (wrap != g_settings.opts.RWrap) {
      g_settings.opts.RWrap = wrap;
      SendMessageA(ed->hwnd, EDM_REFRESH, kRefreshWrapIfWrapping | kRefreshUpdateWindow | kRefreshInvalidate, 0);
    }
    SetShape(ed, x);
    return;
  }
  PositionRecord at = PointerPosition(ed, x, y);
  if (ed->mouseMode == kMouseSelecting && start && ed->mouseUnits == 0 &&
      at.position >= doc->selStart->position && at.position < doc->selEnd->position) {
    SetMode(ed, kMouseDragging);
    ed->drop = at;
    SetShape(ed, x);
    return;
  }
  if (ed->mouseMode == kMouseDragging) {
    ed->drop = at;
    ShowCaretAt(ed, at);
    SetShape(ed, x);
    return;
  }
  // Selecting: the span at the pointer (a unit with multi-clicks) joins the
  // fixed span, which the start sets.
  const int kind = UnitKindOf(ed->mouseUnits);
  u32 a = at.position, b = at.position;
  if (kind >= 0) UnitSpan(ed, kind, at, &a, &b);
  if (start) {
    if (keys & MK_SHIFT) {
      ed->fixedFrom = ed->fixedTo = doc->anchor.position;
    } else {
      ed->fixedFrom = a;
      ed->fixedTo = b;
    }
  }
  const u32 oldA = doc->selStart->row, oldB = doc->selEnd->row;
  u32 anchor, caret;
  if (a < ed->fixedFrom) {
    anchor = ed->fixedTo;
    caret = a;
  } else {
    anchor = ed->fixedFrom;
    caret = b > ed->fixedTo ? b : ed->fixedTo;
  }
  SetFromPosition(doc, &doc->anchor, anchor, 0);
  if (kind < 0 && caret == at.position) doc->caret = at;  // keeps the end-of-line column
  else SetFromPosition(doc, &doc->caret, caret, 0);
  OrderSelection(doc);
  ShowSelectionChange(ed, oldA, oldB, kCaretNoMargins);
  CheckSelectionHighlighter(ed);
  SetShape(ed, x);
}

// Moves or copies the selection to a position outside it, as one undo step,
// and selects the text where it went. A move takes the text out first and
// puts back the bytes its undo step keeps, so no copy of the text is made;
// when they cannot go in, the deletion is undone at once. A copy reads the
// text first. Either way a failure leaves the document as it was.
void DropText(EditorWindow *ed, u32 to, bool copy) {
  Document *doc = ed->doc;
  const u32 from = doc->selStart->position, end = doc->selEnd->position, n = end - from;
  if (!n) return;
  const u32 edit = kReplaceCloseBefore | kReplaceCloseAfter;
  u32 at = to;
  bool ok = false, undo = false;
  if (copy) {
    char *text = static_cast<char *>(Allocate(n));
    if (!text) {
      FinishEditorCommand(ed, kResultOutOfMemory);
      return;
    }
    ReadText(&doc->store, from, end, text, n, 0, nullptr);
    BeginGroup(doc, 1, 0);
    SetSelection(doc, to, to);
    ok = ReplaceSelectionCounted(doc, text, n, edit | kReplaceFromBytes, nullptr) != 0;
    Free(text);
  } else {
    BeginGroup(doc, 1, 0);
    if (ReplaceSelectionCounted(doc, "", 0, edit | kReplaceFromBytes, nullptr)) {
      // The step just made keeps exactly the bytes taken out.
      const Step &step = doc->undo.steps[doc->undo.count - 1];
      if (step.position == from && step.deleted && step.deleted->length == n && !IsBatch(step)) {
        CompactStoreView view;
        CompactView(step.deleted, &view);
        if (to > end) at = to - n;
        SetSelection(doc, at, at);
        ok = ReplaceSelectionStore(doc, &view.store, edit, nullptr) != 0;
      }
      undo = !ok;
    }
  }
  BeginGroup(doc, 0, 0);
  if (undo && UndoRedo(doc, kUndo)) PopStep(&doc->redo);
  if (ok) SetSelection(doc, at, at + n);
  else SetSelection(doc, from, end);
  SelectAndShow(ed, doc->anchor.position, doc->caret.position, 0);
  CheckSelectionHighlighter(ed);
}

void ClipboardCommand(EditorWindow *ed, u32 flags) {
  if (ClipboardOperation(ed, flags)) {
    UpdateCaret(ed, 0);
    NotifyCaret(ed);
  }
}

}  // namespace

u32 (*g_mouseClock)() = SystemClock;
UINT (*g_popupMenu)(HMENU menu, int x, int y, HWND owner) = TrackMenu;

UINT ShowPopupMenu(HMENU menu, int x, int y, HWND owner) { return g_popupMenu(menu, x, y, owner); }

void ButtonDown(EditorWindow *ed, int button, WPARAM keys, int x, int y) {
  HWND hwnd = ed->hwnd;
  if (GetFocus() != hwnd) SetFocus(hwnd);
  if (GetFocus() != hwnd) return;
  if (!g_inputMetrics.read) ReadInputMetrics();
  EditorWindow::ClickCount &c = ed->clicks[button];
  const u32 now = g_mouseClock();
  const int dx = x - c.x, dy = y - c.y;
  const bool again = c.count && now - c.time <= g_inputMetrics.doubleClickTime &&
                     (dx < 0 ? -dx : dx) <= g_inputMetrics.doubleClickWidth &&
                     (dy < 0 ? -dy : dy) <= g_inputMetrics.doubleClickHeight;
  c.count = again && c.count < 0x7FFFFFFF ? c.count + 1 : 1;
  c.time = now;
  c.x = x;
  c.y = y;
  if ((keys & MK_LBUTTON) && (keys & MK_RBUTTON)) {
    ed->clicks[1].count = ed->clicks[0].count;
    MouseMove(ed, keys, x, y);
    return;
  }
  ed->mouseButton = button;
  ed->mouseUnits = c.count - 1;
  SetMode(ed, OnMargin(ed, x) ? kMouseMargin : kMouseSelecting);
  SetCapture(hwnd);
  SelectionStep(ed, keys, x, y, true);
}

void MouseMove(EditorWindow *ed, WPARAM keys, int x, int y) {
  if (ed->mouseMode == kMouseIdle || GetCapture() != ed->hwnd) {
    SetShape(ed, x);
    return;
  }
  SelectionStep(ed, keys, x, y, false);
}

void ButtonUp(EditorWindow *ed, int button, WPARAM keys, int x, int y) {
  const int mode = ed->mouseMode;
  // A release of the other button while both were down ends nothing.
  if (mode == kMouseIdle || button != ed->mouseButton) return;
  SetMode(ed, kMouseIdle);
  if (GetCapture() == ed->hwnd) ReleaseCapture();
  Document *doc = ed->doc;
  const bool ctrl = (keys & MK_CONTROL) != 0, shift = (keys & MK_SHIFT) != 0;
  bool dragged = false;
  if (mode == kMouseDragging) {
    UpdateCaret(ed, kCaretNoScroll);  // the caret display back where the caret is
    const u32 drop = ed->drop.position;
    dragged = drop < doc->selStart->position || drop > doc->selEnd->position;
    if (dragged) {
      int choice = 0;
      if (button == 1) {
        HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_DRAG_MENU));
        POINT pt = {x, y};
        ClientToScreen(ed->hwnd, &pt);
        if (menu) {
          const UINT chosen = ShowPopupMenu(GetSubMenu(menu, 0), pt.x, pt.y, ed->hwnd);
          choice = chosen == IDM_DRAG_MOVE ? 1 : chosen == IDM_DRAG_COPY ? 2 : 0;
          DestroyMenu(menu);
        }
      } else {
        choice = ctrl ? 2 : 1;
      }
      if (choice) DropText(ed, drop, choice == 2);
      return;
    }
    if (button == 0) {
      // A click (or a drag) inside the selection puts the caret there.
      MoveCaretTo(ed, ed->drop, false);
      return;
    }
  }
  if (mode == kMouseMargin) return;
  if (button == 0) {
    const i32 copy = g_settings.edit.AMCopy;
    if (mode == kMouseSelecting && doc->selStart->position != doc->selEnd->position &&
        ((copy == 1 && !ctrl) || (copy == 2 && ctrl)))
      ClipboardCommand(ed, kClipCopy);
    return;
  }
  const bool paste = g_settings.edit.AMPaste ? !ctrl : ctrl;
  if (paste) {
    ClipboardCommand(ed, shift ? kClipCopy | kClipPaste : kClipPaste);
    return;
  }
  HWND parent = GetParent(ed->hwnd);
  if (!parent) return;
  struct {
    NMHDR header;
    POINT point;
  } note = {};
  note.header.hwndFrom = ed->hwnd;
  note.header.idFrom = static_cast<UINT_PTR>(ed->controlId);
  note.header.code = static_cast<UINT>(NM_RCLICK);
  note.point.x = x + ed->x;
  note.point.y = y + ed->y;
  SendMessageA(parent, WM_NOTIFY, static_cast<WPARAM>(ed->controlId), reinterpret_cast<LPARAM>(&note));
}

void CancelMouse(EditorWindow *ed) {
  const int mode = ed->mouseMode;
  if (mode == kMouseIdle) return;
  SetMode(ed, kMouseIdle);
  if (mode == kMouseDragging) UpdateCaret(ed, kCaretNoScroll);
}

void SetMouseCursor(EditorWindow *ed, int x, int) { SetShape(ed, x); }
