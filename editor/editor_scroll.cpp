#include "editor/editor_scroll.h"

#include <imm.h>

#include "config/config_state.h"
#include "editor/editor_layout.h"
#include "foundation/bytes.h"
#include "resources/resource.h"

namespace {

// The system's wheel steps.
int WheelLines() {
  if (!g_inputMetrics.read) ReadInputMetrics();
  return g_inputMetrics.wheelLines;
}

int WheelChars() {
  if (!g_inputMetrics.read) ReadInputMetrics();
  return g_inputMetrics.wheelChars;
}

bool SameBar(const SCROLLINFO &a, const SCROLLINFO &b) {
  return a.nMin == b.nMin && a.nMax == b.nMax && a.nPage == b.nPage && a.nPos == b.nPos && a.cbSize == b.cbSize;
}

void SetBar(EditorWindow *ed, int bar, SCROLLINFO *last, int maximum, int page, int position) {
  SCROLLINFO si = {};
  si.cbSize = sizeof si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  si.nMin = 0;
  si.nMax = maximum;
  si.nPage = static_cast<UINT>(page);
  si.nPos = position;
  if (SameBar(si, *last)) return;
  const SCROLLINFO before = *last;
  *last = si;
  // On a long text a page or a line more or less rarely moves the thumb by
  // a pixel: a scroll bar that would look the same is not drawn again.
  if (before.cbSize == si.cbSize) {
    const LONG object = bar == SB_VERT ? OBJID_VSCROLL : OBJID_HSCROLL;
    SCROLLBARINFO was = {}, now = {};
    was.cbSize = now.cbSize = sizeof was;
    SCROLLINFO shown = {};
    shown.cbSize = sizeof shown;
    shown.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    // (Someone else may have changed it meanwhile: then it is drawn anyway.)
    if (GetScrollInfo(ed->hwnd, bar, &shown) && shown.nPos == before.nPos && shown.nMin == before.nMin &&
        shown.nMax == before.nMax && shown.nPage == before.nPage && GetScrollBarInfo(ed->hwnd, object, &was)) {
      SetScrollInfo(ed->hwnd, bar, &si, FALSE);
      if (GetScrollBarInfo(ed->hwnd, object, &now) && now.xyThumbTop == was.xyThumbTop &&
          now.xyThumbBottom == was.xyThumbBottom && now.dxyLineButton == was.dxyLineButton &&
          MemCompare(now.rgstate, was.rgstate, sizeof now.rgstate) == 0 &&
          EqualRect(&now.rcScrollBar, &was.rcScrollBar))
        return;
      // It does look different: back to what it was without drawing, then
      // to the new state with drawing.
      SetScrollInfo(ed->hwnd, bar, &before, FALSE);
    }
  }
  SetScrollInfo(ed->hwnd, bar, &si, TRUE);
}

}  // namespace

void UpdateScrollBars(EditorWindow *ed, UINT flags) {
  if (flags & 0x800) {
    ed->lastVertical = {};
    ed->lastHorizontal = {};
    ShowScrollBar(ed->hwnd, SB_HORZ, !ed->doc->wordWrap);
  }
  if (!(flags & 0x100)) {
    int page = ed->visibleRows > 1 ? ed->visibleRows : 1;
    i64 lines = RowCount(&ed->doc->store);
    i64 maximum = lines - 1 > static_cast<i64>(ed->topLine) - 1 + page ? lines - 1 : static_cast<i64>(ed->topLine) - 1 + page;
    SetBar(ed, SB_VERT, &ed->lastVertical, static_cast<int>(maximum > 0x7FFFFFFF ? 0x7FFFFFFF : maximum), page,
           static_cast<int>(ed->topLine));
  }
  if (!ed->doc->wordWrap) {
    int page = ed->visibleColumns > 1 ? ed->visibleColumns : 1;
    int maximum = ed->decorationUnits + 1024;
    int widest = ed->widestRow / ed->charWidth + 1;
    if (widest > maximum) maximum = widest;
    if (ed->hScroll - 1 + page > maximum) maximum = ed->hScroll - 1 + page;
    SetBar(ed, SB_HORZ, &ed->lastHorizontal, maximum, page, ed->hScroll);
  }
}

void ApplyScroll(EditorWindow *ed, UINT flags) {
  if (ed->doc->wordWrap || ed->hScroll < 0) ed->hScroll = 0;
  i64 lines = RowCount(&ed->doc->store);
  i64 highest = (flags & kScrollPastEnd) ? lines - 1 : lines - ed->visibleRows;
  if (highest < 0) highest = 0;
  if (static_cast<i64>(ed->topLine) > highest) ed->topLine = static_cast<u32>(highest);
  if (ed->topLine == ed->lastTopLine && ed->hScroll == ed->lastHScroll) return;
  UpdateScrollBars(ed, 0);
  ed->hScrollPixels = ed->hScroll * ed->charWidth;
  RECT text;
  GetClientRect(ed->hwnd, &text);
  if (ed->topLine == ed->lastTopLine) text.left = ed->gutterWidth;
  InvalidateRect(ed->hwnd, &text, FALSE);
  ed->lastTopLine = ed->topLine;
  ed->lastHScroll = ed->hScroll;
  UpdateCaret(ed, kCaretNoScroll);
}

void UpdateCaret(EditorWindow *ed, UINT flags) {
  Document *doc = ed->doc;
  const u32 caretRow = doc->caret.row;
  if (!(flags & kCaretNoScroll)) {
    int ky = 0, kx = 0;
    if (!(flags & kCaretNoMargins)) {
      ky = ed->visibleRows / 2 < g_settings.edit.KeepY ? ed->visibleRows / 2 : g_settings.edit.KeepY;
      int cols = ed->visibleColumns / 2 < g_settings.edit.KeepX ? ed->visibleColumns / 2 : g_settings.edit.KeepX;
      kx = cols * ed->maxCharWidth;
      if (ky < 0) ky = 0;
      if (kx < 0) kx = 0;
    }
    i64 top = ed->topLine;
    if (static_cast<i64>(caretRow) - ky < top) top = static_cast<i64>(caretRow) - ky;
    if (static_cast<i64>(caretRow) + ky >= top + ed->visibleRows) top = static_cast<i64>(caretRow) - ed->visibleRows + 1 + ky;
    ed->topLine = top > 0 ? static_cast<u32>(top) : 0;
    if (!doc->wordWrap) {
      int x = ColumnX(ed, caretRow, doc->caret.column) - ed->hScroll * ed->charWidth;
      if (kx - x > 0) ed->hScroll -= (kx - x) / ed->charWidth + 1;
      if (x + kx - ed->textWidth >= 0) ed->hScroll += (x + kx - ed->textWidth) / ed->charWidth + 1;
      if (ed->hScroll < 0) ed->hScroll = 0;
    }
    ApplyScroll(ed, flags);
  } else {
    // Only keep the top line inside the text.
    u32 lines = RowCount(&doc->store);
    if (ed->topLine >= lines) ed->topLine = lines ? lines - 1 : 0;
  }
  if (!ed->hasFocus || (flags & kCaretLeaveSystem)) return;
  if ((flags & kCaretRecreate) || !ed->caretCreated) {
    if (ed->caretCreated) DestroyCaret();
    int width = g_settings.edit.BoldOvr && doc->overwriteMode ? 5 : 2;
    CreateCaret(ed->hwnd, nullptr, width, ed->lineHeight);
    ed->caretCreated = true;
    ed->caretShown = false;
    PlaceComposition(ed, true);
  }
  int x = ColumnX(ed, caretRow, doc->caret.column) - ed->hScroll * ed->charWidth;
  bool visible = caretRow >= ed->topLine && caretRow < ed->topLine + static_cast<u32>(ed->visibleRows) && x >= 0 &&
                 x < ed->textWidth;
  if (visible) {
    const int caretX = x - 1 + ed->gutterWidth + ed->leftMargin;
    const int caretY = static_cast<int>(caretRow - ed->topLine) * ed->lineHeight;
    // A caret already shown where it goes is left alone (a Page Down keeps
    // it in place on the screen): each of these calls is a request of its
    // own to some systems.
    const bool moved = !ed->caretShown || caretX != ed->caretX || caretY != ed->caretY;
    ed->caretX = caretX;
    ed->caretY = caretY;
    if (!ed->caretShown) {
      ShowCaret(ed->hwnd);
      ed->caretShown = true;
    }
    if (moved) {
      SetCaretPos(ed->caretX, ed->caretY);
      PlaceComposition(ed, false);
    }
  } else {
    ed->caretX = ed->caretY = 0;
    if (ed->caretShown) {
      HideCaret(ed->hwnd);
      ed->caretShown = false;
    }
  }
}

void PlaceComposition(EditorWindow *ed, bool setFont) {
  HIMC imc = ImmGetContext(ed->hwnd);
  if (!imc) return;
  if (setFont && ed->textFont) {
    LOGFONTA lf;
    if (GetObjectA(ed->textFont, sizeof lf, &lf)) ImmSetCompositionFontA(imc, &lf);
  }
  COMPOSITIONFORM form = {};
  form.dwStyle = CFS_POINT;
  form.ptCurrentPos.x = ed->caretX;
  form.ptCurrentPos.y = ed->caretY;
  ImmSetCompositionWindow(imc, &form);
  ImmReleaseContext(ed->hwnd, imc);
}

void VScroll(EditorWindow *ed, int code) {
  i64 top = ed->topLine;
  switch (code) {
    case SB_LINEUP: top -= 1; break;
    case SB_LINEDOWN: top += 1; break;
    case 255: top -= 5; break;
    case 256: top += 5; break;
    case SB_PAGEUP: top -= ed->visibleRows; break;
    case SB_PAGEDOWN: top += ed->visibleRows; break;
    case SB_THUMBTRACK: {
      SCROLLINFO si = {};
      si.cbSize = sizeof si;
      si.fMask = SIF_TRACKPOS;
      if (GetScrollInfo(ed->hwnd, SB_VERT, &si)) top = si.nTrackPos;
      break;
    }
    case SB_TOP: top = 0; break;
    case SB_BOTTOM: top = 0x7FFFFFFF; break;
    default: return;  // thumb position, end of scroll
  }
  ed->topLine = top > 0 ? static_cast<u32>(top > 0xFFFFFFFFll ? 0xFFFFFFFFll : top) : 0;
  ApplyScroll(ed, 0);
}

void HScroll(EditorWindow *ed, int code) {
  int h = ed->hScroll;
  switch (code) {
    case SB_LINELEFT: h -= 3; break;
    case SB_LINERIGHT: h += 3; break;
    case 255: h -= 15; break;
    case 256: h += 15; break;
    case SB_PAGELEFT: h -= ed->visibleColumns; break;
    case SB_PAGERIGHT: h += ed->visibleColumns; break;
    case SB_THUMBTRACK: {
      SCROLLINFO si = {};
      si.cbSize = sizeof si;
      si.fMask = SIF_TRACKPOS;
      if (GetScrollInfo(ed->hwnd, SB_HORZ, &si)) h = si.nTrackPos;
      break;
    }
    case SB_LEFT: h = 0; break;
    case SB_RIGHT:  // the end of the range at the right edge
      h = ed->lastHorizontal.nMax - static_cast<int>(ed->lastHorizontal.nPage) + 1;
      break;
    default: return;
  }
  ed->hScroll = h;
  ApplyScroll(ed, 0);
}

void Wheel(EditorWindow *ed, WPARAM wParam, bool horizontal) {
  int &accumulator = horizontal ? ed->hWheelAccumulator : ed->wheelAccumulator;
  accumulator += static_cast<short>(HIWORD(wParam));
  int steps = accumulator / WHEEL_DELTA;
  accumulator -= steps * WHEEL_DELTA;
  if (steps == 0) return;
  bool control = (LOWORD(wParam) & MK_CONTROL) != 0;
  if (!horizontal && (GetKeyState(VK_MENU) & 0x8000)) {
    HWND parent = GetParent(ed->hwnd);
    if (parent) SendMessageA(parent, WM_COMMAND, steps < 1 ? IDM_ZOOM_OUT : IDM_ZOOM_IN, 0);
    return;
  }
  int lines = WheelLines() < ed->visibleRows ? WheelLines() : ed->visibleRows;
  int chars = WheelChars() < ed->visibleColumns ? WheelChars() : ed->visibleColumns;
  if (!horizontal) {
    if (control) {
      ed->hScroll -= chars * steps;
    } else {
      i64 top = static_cast<i64>(ed->topLine) - static_cast<i64>(lines) * steps;
      ed->topLine = top > 0 ? static_cast<u32>(top) : 0;
    }
  } else if (control) {
    i64 top = static_cast<i64>(ed->topLine) + static_cast<i64>(lines) * steps;
    ed->topLine = top > 0 ? static_cast<u32>(top) : 0;
  } else {
    ed->hScroll += chars * steps;
  }
  ApplyScroll(ed, 0);
}
