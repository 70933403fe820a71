#include "editor/editor_paint.h"

#include "editor/editor_caches.h"

#include "config/config_state.h"
#include "document/position.h"
#include "document/range_set.h"
#include "document/text_store.h"
#include "editor/editor_layout.h"
#include "editor/editor_messages.h"
#include "editor/editor_scroll.h"
#include "foundation/char_class.h"
#include "foundation/format.h"
#include "foundation/platform.h"
#include "foundation/texts.h"

namespace {

constexpr u32 kPiece = 512;

bool IsControl(u8 c) { return c < 32 || c == 127; }
bool IsSpaceClass(u8 c) { return (CharType(c) & kC1Space) != 0; }

void Line(HDC dc, int x0, int y0, int x1, int y1) {
  MoveToEx(dc, x0, y0, nullptr);
  LineTo(dc, x1, y1);
}

// The marks of visible tabs, spaces and newlines, drawn with the mark pen.
void TabMark(HDC dc, int x0, int x1, int top, int bottom) {
  int y = (top + bottom) / 2;
  int head = (bottom - top) / 5 + 1;
  if (x1 - x0 < 3) return;
  Line(dc, x0 + 1, y, x1 - 1, y);
  Line(dc, x1 - 1 - head, y - head, x1 - 1, y);
  Line(dc, x1 - 1 - head, y + head, x1 - 1, y);
}

void SpaceMark(HDC dc, int x0, int x1, int top, int bottom, bool nonBreaking) {
  int cx = (x0 + x1) / 2, cy = (top + bottom) / 2;
  if (nonBreaking) {
    // A little bracket: the space that does not break.
    Line(dc, x0 + 1, cy - 1, x0 + 1, cy + 2);
    Line(dc, x0 + 1, cy + 2, x1 - 1, cy + 2);
    Line(dc, x1 - 1, cy + 2, x1 - 1, cy - 2);
  } else {
    Line(dc, cx, cy, cx + 1, cy);
    Line(dc, cx, cy + 1, cx + 1, cy + 1);
  }
}

// kind: 1 CR, 2 LF, 3 CR LF.
void NewlineMark(HDC dc, int x0, int x1, int top, int bottom, int kind) {
  int cx = (x0 + x1) / 2, cy = (top + bottom) / 2;
  int h = (bottom - top) / 4 + 1;
  int w = (x1 - x0) / 3 + 1;
  switch (kind) {
    case 1:  // left arrow
      Line(dc, x1 - 1, cy, x0 + 1, cy);
      Line(dc, x0 + 1, cy, x0 + 1 + w, cy - w);
      Line(dc, x0 + 1, cy, x0 + 1 + w, cy + w);
      break;
    case 2:  // down arrow
      Line(dc, cx, top + 2, cx, bottom - 2);
      Line(dc, cx, bottom - 2, cx - w, bottom - 2 - w);
      Line(dc, cx, bottom - 2, cx + w, bottom - 2 - w);
      break;
    default:  // down, then left
      Line(dc, x1 - 2, top + h, x1 - 2, cy + h);
      Line(dc, x1 - 2, cy + h, x0 + 1, cy + h);
      Line(dc, x0 + 1, cy + h, x0 + 1 + w, cy + h - w);
      Line(dc, x0 + 1, cy + h, x0 + 1 + w, cy + h + w);
      break;
  }
}

// Where the run that starts at text[i] ends.
u32 RunEnd(const DrawRequest &r, u32 i) {
  u8 first = static_cast<u8>(r.text[i]);
  if (first == '\t' || first == '\r' || first == '\n' || IsSpaceClass(first) || IsControl(first)) return i + 1;
  bool word = IsWordChar(first);
  u32 j = i + 1, safe = 0;
  while (j < r.count) {
    u8 c = static_cast<u8>(r.text[j]);
    if (c == '\t' || c == '\r' || c == '\n' || IsSpaceClass(c) || IsControl(c)) break;
    if (r.colorize && IsWordChar(c) != word) break;
    u32 length = j - i;
    // Double-byte characters stay whole: cut only where two bytes below 128
    // meet, after 256 characters; after 384 in any case.
    if (static_cast<u8>(r.text[j - 1]) < 128 && c < 128) safe = j;
    if (length >= 384) break;
    if (length >= 256 && safe > i) {
      j = safe;
      break;
    }
    j++;
  }
  return j;
}

}  // namespace

int DrawRun(EditorWindow *ed, DrawRequest &r, u32 *consumed) {
  Advance adv = MakeAdvance(ed);
  int x = r.x;
  u32 i = 0;
  HPEN pen = nullptr;
  HGDIOBJ oldPen = nullptr;
  if (r.draw && (r.visibleTabs || r.visibleSpaces)) {
    int width = (r.bottom - r.top) / 16;
    pen = CreatePen(PS_SOLID, width > 1 ? width : 1, r.markColor);
    oldPen = SelectObject(r.dc, pen);
  }
  while (i < r.count) {
    if (r.limitX >= 0 && x >= r.limitX) break;
    if (r.clipRight >= 0 && x >= r.clipRight && r.draw) break;
    u32 end = RunEnd(r, i);
    u8 first = static_cast<u8>(r.text[i]);
    int width = 0;
    if (end == i + 1 && (first == '\t' || first == '\r' || first == '\n' || IsSpaceClass(first))) {
      width = adv.Of(first, x - r.tabOrigin);
      if (r.draw) {
        RECT cell = {x, r.top, x + width, r.bottom};
        if (r.opaque) {
          SetBkColor(r.dc, r.backColor);
          ExtTextOutA(r.dc, 0, 0, ETO_OPAQUE, &cell, "", 0, nullptr);
        }
        if (first == '\t' && r.visibleTabs) TabMark(r.dc, x, x + width, r.top, r.bottom);
        if (first != '\t' && first != '\r' && first != '\n' && r.visibleSpaces)
          SpaceMark(r.dc, x, x + width, r.top, r.bottom, first == 0xA0);
        if ((first == '\r' || first == '\n') && r.visibleSpaces)
          NewlineMark(r.dc, x, x + width, r.top, r.bottom, first == '\r' ? 1 : 2);
      }
    } else {
      for (u32 k = i; k < end; k++) width += ed->glyphWidth[static_cast<u8>(r.text[k])];
      if (r.draw) {
        bool punct = r.colorize && !IsWordChar(first);
        SetTextColor(r.dc, punct ? r.colorizedColor : r.textColor);
        RECT cell = {x, r.top, x + width, r.bottom};
        if (r.opaque) SetBkColor(r.dc, r.backColor);
        ExtTextOutA(r.dc, x, r.y, (r.opaque ? ETO_OPAQUE | ETO_CLIPPED : 0), &cell, r.text + i,
                    static_cast<UINT>(end - i), nullptr);
      }
    }
    x += width;
    i = end;
  }
  if (pen) {
    SelectObject(r.dc, oldPen);
    DeleteObject(pen);
  }
  if (consumed) *consumed = i;
  return x;
}

namespace {

struct RowPainter {
  EditorWindow *ed;
  HDC dc;
  const TextStore *s;
  int originX;
  COLORREF rowBack;

  // Which highlighter background covers a position (0: none).
  COLORREF HighlightAt(u32 p, bool *found) const {
    const SettingsBlock &g = g_settings;
    struct {
      u32 set;
      COLORREF color;
      bool on;
    } order[] = {{kSetOccurrences, g.edit.CLHiSel, g.opts.HiliSel != 0},
                 {kSetPrimaryMatches, g.edit.CLHiF1, true},
                 {kSetSecondaryMatches, g.edit.CLHiF2, true}};
    COLORREF color = 0;
    *found = false;
    for (auto &o : order) {
      if (!o.on) continue;
      const RangeSet *set = &s->rangeSets[o.set];
      const Range *range = RangeAt(set, p);
      if (range && RangeAbsStart(set, range) <= p && p < RangeAbsEnd(set, range)) {
        color = o.color;
        *found = true;
      }
    }
    return color;
  }

  bool InLink(u32 p) const {
    if (!g_settings.opts.Urls) return false;
    const RangeSet *set = &s->rangeSets[kSetLinks];
    const Range *range = RangeAt(set, p);
    return range && RangeAbsStart(set, range) <= p && p < RangeAbsEnd(set, range);
  }

  // The next position after p where a segment boundary lies (selection,
  // links, highlighters), at most end.
  u32 NextBoundary(u32 p, u32 end) const {
    u32 next = end;
    const Document *doc = ed->doc;
    u32 a = doc->selStart->position, b = doc->selEnd->position;
    if (a > p && a < next) next = a;
    if (b > p && b < next) next = b;
    static const u32 kSets[] = {kSetLinks, kSetOccurrences, kSetPrimaryMatches, kSetSecondaryMatches};
    for (u32 set : kSets) {
      const RangeSet *rs = &s->rangeSets[set];
      const Range *range = RangeAt(rs, p);
      if (!range) continue;
      u32 rs0 = RangeAbsStart(rs, range), rs1 = RangeAbsEnd(rs, range);
      if (rs0 > p && rs0 < next) next = rs0;
      else if (rs1 > p && rs1 < next) next = rs1;
    }
    return next;
  }

  // Draws [from, to) of the row from x; pass 1 draws backgrounds (and text),
  // pass 2 only text, transparently.
  int Segment(u32 from, u32 to, int x, int y, int top, int bottom, int clipRight, int pass) {
    const SettingsBlock &g = g_settings;
    const Document *doc = ed->doc;
    bool selected = from >= doc->selStart->position && from < doc->selEnd->position;
    bool link = InLink(from);
    bool highlighted = false;
    COLORREF hiBack = HighlightAt(from, &highlighted);
    DrawRequest r = {};
    r.dc = dc;
    r.draw = true;
    r.x = x;
    r.y = y;
    r.limitX = -1;
    r.clipRight = clipRight;
    r.tabOrigin = originX;
    r.top = top;
    r.bottom = bottom;
    r.markColor = g.edit.CLTSpc;
    r.visibleTabs = g.opts.PrnTabs && pass == 1;
    r.visibleSpaces = g.opts.PrnSpcs && pass == 1;
    if (selected) {
      r.textColor = r.colorizedColor = g.edit.CLSText;
      r.backColor = g.edit.CLSBack;
      r.opaque = pass == 1;
    } else {
      r.textColor = link ? g.edit.CLTUrl : g.edit.CLTText;
      r.colorizedColor = link ? g.edit.CLTUrl : g.edit.CLTClrz;
      r.colorize = g.opts.TxtClrz && !link;
      r.backColor = highlighted ? hiBack : rowBack;
      r.opaque = highlighted && pass == 1;
    }
    SelectObject(dc, link && ed->auxFont ? ed->auxFont : ed->textFont);
    char scratch[kPiece];
    for (u32 p = from; p < to;) {
      u32 n = to - p < kPiece ? to - p : kPiece;
      r.text = DirectPointer(s, p, p + n, scratch, kPiece);
      r.count = n;
      u32 used = 0;
      r.x = DrawRun(ed, r, &used);
      if (used < n) break;  // past the clip edge
      p += n;
    }
    return r.x;
  }
};

COLORREF Settings(u32 c) { return static_cast<COLORREF>(c & 0xFFFFFF); }

}  // namespace

void PaintRect(EditorWindow *ed, HDC dc, const RECT *area) {
  const SettingsBlock &g = g_settings;
  Document *doc = ed->doc;
  const TextStore *s = &doc->store;
  RECT client;
  GetClientRect(ed->hwnd, &client);
  RECT rc = area ? *area : client;
  const int lineHeight = ed->lineHeight;
  const int textLeft = ed->gutterWidth;
  const int originX = ed->leftMargin + ed->gutterWidth - ed->hScroll * ed->charWidth;
  const u32 rows = RowCount(s);
  u32 first = ed->topLine + static_cast<u32>(rc.top > 0 ? rc.top : 0) / static_cast<u32>(lineHeight);
  u32 last = ed->topLine + static_cast<u32>(rc.bottom > 0 ? rc.bottom - 1 : 0) / static_cast<u32>(lineHeight);
  if (last >= rows) last = rows ? rows - 1 : 0;
  const u32 start = PlatTickCount();
  if (rows) FillPaintCaches(ed, first, last, start);

  int saved = SaveDC(dc);
  HGDIOBJ oldFont = SelectObject(dc, ed->textFont);
  SetBkMode(dc, TRANSPARENT);

  // The gutter and its line numbers, on the first row of each hard line.
  if (g.opts.LnNums && ed->gutterWidth > 0 && rc.left < ed->gutterWidth) {
    int gs = SaveDC(dc);
    IntersectClipRect(dc, 0, rc.top, ed->gutterWidth, rc.bottom);
    HPEN pen = CreatePen(PS_SOLID, 1, Settings(g.edit.CLGBord));
    HBRUSH brush = CreateSolidBrush(Settings(g.edit.CLGBack));
    HGDIOBJ op = SelectObject(dc, pen), ob = SelectObject(dc, brush);
    Rectangle(dc, -1, -2, ed->gutterWidth, ed->clientHeight + 2);
    SelectObject(dc, op);
    SelectObject(dc, ob);
    DeleteObject(pen);
    DeleteObject(brush);
    SetTextAlign(dc, TA_RIGHT | TA_TOP);
    SetTextColor(dc, Settings(g.edit.CLGText));
    for (u32 row = first; row <= last && rows; row++) {
      if (row > 0 && RowHardLine(s, row) == RowHardLine(s, row - 1)) continue;
      char number[16];
      int n = Format(number, sizeof number, "%d", static_cast<int>(RowHardLine(s, row) + 1)) - 1;
      int y = static_cast<int>(row - ed->topLine) * lineHeight;
      TextOutA(dc, ed->gutterWidth - 5, y, number, n);
    }
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    RestoreDC(dc, gs);
  }

  IntersectClipRect(dc, textLeft, rc.top, client.right, rc.bottom);
  const bool painting = ShowTransientStatus(ed, Text(TXT_PAINTING));
  RowPainter painter = {ed, dc, s, originX, 0};
  const u32 selA = doc->selStart->position, selB = doc->selEnd->position;
  const u32 selRowA = doc->selStart->row, selRowB = doc->selEnd->row;
  int y = 0;
  for (u32 row = first; rows && row <= last; row++) {
    y = static_cast<int>(row - ed->topLine) * lineHeight;
    int top = y, bottom = y + lineHeight;
    bool band = g.edit.CurrLn && row >= selRowA && row <= selRowB;
    painter.rowBack = Settings(band ? g.edit.CLTCurr : g.edit.CLTBack);
    RECT fill = {textLeft, top, client.right, bottom};
    SetBkColor(dc, painter.rowBack);
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &fill, "", 0, nullptr);

    const u32 a = RowStart(s, row), e = RowTextEnd(s, row);
    bool twoPass = false;
    for (u32 p = a; p < e && !twoPass; p = painter.NextBoundary(p, e)) {
      bool hi;
      painter.HighlightAt(p, &hi);
      twoPass = hi || (p >= selA && p < selB);
    }
    int x = originX;
    for (int pass = 1; pass <= (twoPass ? 2 : 1); pass++) {
      x = originX;
      for (u32 p = a; p < e;) {
        u32 next = painter.NextBoundary(p, e);
        x = painter.Segment(p, next, x, y, top, bottom, client.right, pass);
        if (x >= client.right) break;
        p = next;
      }
    }
    // The newline cell.
    const Row &r = RowAt(s, row);
    int cell = ed->glyphWidth[0xB6];
    int textEnd = x < client.right ? x : client.right;
    if (r.newlineLength) {
      bool selectedNewline = selA <= e && selB > e;
      bool hi = false;
      COLORREF back = painter.HighlightAt(e, &hi);
      RECT nl = {textEnd, top, textEnd + cell, bottom};
      if (selectedNewline || hi) {
        SetBkColor(dc, selectedNewline ? Settings(g.edit.CLSBack) : back);
        ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &nl, "", 0, nullptr);
      }
      if (g.opts.PrnNlns) {
        HPEN pen = CreatePen(PS_SOLID, 1, Settings(g.edit.CLTSpc));
        HGDIOBJ op = SelectObject(dc, pen);
        NewlineMark(dc, nl.left, nl.right, top, bottom, r.newlineType);
        SelectObject(dc, op);
        DeleteObject(pen);
      }
      textEnd += cell;
    }
    if (g.opts.PrnLens) {
      char length[16];
      int n = Format(length, sizeof length, "%d", static_cast<int>(e - a)) - 1;
      SetTextColor(dc, Settings(g.edit.CLTSpc));
      SelectObject(dc, ed->textFont);
      TextOutA(dc, textEnd + ed->averageWidth + 1, y, length, n);
    }
    if (!doc->wordWrap && x - originX > 32768 && x - originX > ed->widestRow) ed->widestRow = x - originX;
    if (g.opts.RWrap > 0) {
      HPEN pen = CreatePen(PS_SOLID, 1, Settings(g.edit.CLRWrap));
      HGDIOBJ op = SelectObject(dc, pen);
      Line(dc, originX + g.opts.RWrap, top, originX + g.opts.RWrap, bottom);
      SelectObject(dc, op);
      DeleteObject(pen);
    }
    GdiFlush();
    if (PlatTickCount() - start > 1024) SendProgress(ed, row - first + 1, last - first + 1);
  }
  // Below the text.
  int below = rows ? static_cast<int>(last + 1 - ed->topLine) * lineHeight : 0;
  if (below < rc.bottom) {
    RECT fill = {textLeft, below, client.right, rc.bottom};
    SetBkColor(dc, Settings(g.edit.CLTBack));
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &fill, "", 0, nullptr);
    if (g.opts.RWrap > 0) {
      HPEN pen = CreatePen(PS_SOLID, 1, Settings(g.edit.CLRWrap));
      HGDIOBJ op = SelectObject(dc, pen);
      Line(dc, originX + g.opts.RWrap, below, originX + g.opts.RWrap, rc.bottom);
      SelectObject(dc, op);
      DeleteObject(pen);
    }
  }
  SelectObject(dc, oldFont);
  RestoreDC(dc, saved);
  if (painting) NotifyParentPrivate(ed, EDN_PROGRESSEND, 0);
}

void PaintWindow(EditorWindow *ed) {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  int kind = region ? GetUpdateRgn(ed->hwnd, region, FALSE) : ERROR;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(ed->hwnd, &ps);
  bool done = false;
  if (kind == COMPLEXREGION || kind == SIMPLEREGION) {
    DWORD size = GetRegionData(region, 0, nullptr);
    char stack[2048];
    RGNDATA *data = size <= sizeof stack ? reinterpret_cast<RGNDATA *>(stack) : nullptr;
    if (data && GetRegionData(region, size, data) == size && data->rdh.dwSize == 32 && data->rdh.iType == RDH_RECTANGLES &&
        data->rdh.nRgnSize >= data->rdh.nCount * 16) {
      const RECT *rects = reinterpret_cast<const RECT *>(data->Buffer);
      for (DWORD i = 0; i < data->rdh.nCount; i++) PaintRect(ed, dc, &rects[i]);
      done = true;
    }
  }
  if (!done) PaintRect(ed, dc, &ps.rcPaint);
  EndPaint(ed->hwnd, &ps);
  if (region) DeleteObject(region);
  UpdateScrollBars(ed, 0);
}
