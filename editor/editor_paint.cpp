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
#include "foundation/memory.h"
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

inline bool PairIn(const char *text, u32 count, u32 i, const u8 *lead) {
  if (!lead[static_cast<u8>(text[i])] || i + 1 >= count) return false;
  const char trail = text[i + 1];
  return trail != '\r' && trail != '\n';
}

}  // namespace

u32 DrawRunEnd(const char *text, u32 count, u32 i, bool colorize) {
  u8 first = static_cast<u8>(text[i]);
  if (first == '\t' || first == '\r' || first == '\n' || IsSpaceClass(first) || IsControl(first)) return i + 1;
  bool word = IsWordChar(first);
  u32 j = i + 1, safe = 0;
  while (j < count) {
    u8 c = static_cast<u8>(text[j]);
    if (c == '\t' || c == '\r' || c == '\n' || IsSpaceClass(c) || IsControl(c)) break;
    if (colorize && IsWordChar(c) != word) break;
    u32 length = j - i;
    // Double-byte characters stay whole: cut only where two bytes below 128
    // meet, after 256 characters; after 384 in any case.
    if (static_cast<u8>(text[j - 1]) < 128 && c < 128) safe = j;
    if (length >= 384) break;
    if (length >= 256 && safe > i) {
      j = safe;
      break;
    }
    j++;
  }
  return j;
}

u32 DrawRunEndPairs(const char *text, u32 count, u32 i, bool colorize, const u8 *lead) {
  u8 first = static_cast<u8>(text[i]);
  u32 j = i + 1, safe = 0;
  bool word = true;
  if (PairIn(text, count, i, lead)) {
    j = i + 2;
  } else {
    if (first == '\t' || first == '\r' || first == '\n' || IsSpaceClass(first) || IsControl(first)) return i + 1;
    word = IsWordChar(first);
  }
  while (j < count) {
    u8 c = static_cast<u8>(text[j]);
    const bool pair = PairIn(text, count, j, lead);
    if (!pair) {
      if (c == '\t' || c == '\r' || c == '\n' || IsSpaceClass(c) || IsControl(c)) break;
      if (colorize && IsWordChar(c) != word) break;
    } else if (colorize && !word) {
      break;
    }
    u32 length = j - i;
    // j is a character boundary here: a pair is stepped over whole.
    if (static_cast<u8>(text[j - 1]) < 128 && c < 128) safe = j;
    if (length >= 384) break;
    if (length >= 256 && safe > i) {
      j = safe;
      break;
    }
    j += pair ? 2 : 1;
  }
  return j;
}

namespace {

// Runs of one colour that follow each other, with the plain spaces between
// them that draw nothing, go to the system in one call when the font draws a
// string exactly as its characters one by one at their measured advances
// (the editor checks that by drawing when it takes the font): the picture is
// the one the separate runs give, at a fraction of the calls.
struct TextBatch {
  static constexpr u32 kMax = 512;
  HDC dc;
  int x = 0, y = 0;
  u32 count = 0;
  const char *text = nullptr;
  COLORREF color = CLR_INVALID;

  void Flush() {
    if (!count) return;
    ExtTextOutA(dc, x, y, 0, nullptr, text, count, nullptr);
    count = 0;
  }
  // Whether characters at `at` in this colour can extend the batch.
  bool Continues(const char *at, COLORREF want, u32 n) const {
    return count && text + count == at && color == want && count + n <= kMax;
  }
};

template <bool kPairs>
int DrawRunOf(EditorWindow *ed, DrawRequest &r, u32 *consumed) {
  Advance adv = MakeAdvance(ed);
  int x = r.x;
  u32 i = 0;
  HPEN pen = nullptr;
  HGDIOBJ oldPen = nullptr;
  COLORREF color = r.textColorInDc ? r.textColor : CLR_INVALID;
  const bool backgrounds = r.draw && r.mode != kDrawText;
  const bool text = r.draw && r.mode != kDrawBackgrounds;
  const bool opaqueText = r.opaque && r.mode == kDrawAll;
  // Opaque runs stay apart: each clips its characters to its own cell.
  // Double-byte characters go to the system run by run.
  const bool batching = !kPairs && text && !opaqueText && r.batchRuns;
  TextBatch batch;
  batch.dc = r.dc;
  batch.y = r.y;
  while (i < r.count) {
    if (r.limitX >= 0 && x >= r.limitX) break;
    if (r.clipRight >= 0 && x >= r.clipRight && r.draw) break;
    u32 end = kPairs ? DrawRunEndPairs(r.text, r.count, i, r.colorize, ed->leadByte)
                     : DrawRunEnd(r.text, r.count, i, r.colorize);
    u8 first = static_cast<u8>(r.text[i]);
    int width = 0;
    if (end == i + 1 && (first == '\t' || first == '\r' || first == '\n' || IsSpaceClass(first))) {
      width = adv.Of(first, x - r.tabOrigin);
      // A plain space without its mark joins the batch: its glyph is blank.
      if (batching && first == ' ' && !r.visibleSpaces && width == ed->glyphWidth[first] &&
          batch.Continues(r.text + i, batch.color, 1)) {
        batch.count++;
        x += width;
        i = end;
        continue;
      }
      batch.Flush();
      if (backgrounds && x + width > r.clipLeft) {
        RECT cell = {x, r.top, x + width, r.bottom};
        if (r.opaque) {
          SetBkColor(r.dc, r.backColor);
          ExtTextOutA(r.dc, 0, 0, ETO_OPAQUE, &cell, "", 0, nullptr);
        }
        const bool newline = first == '\r' || first == '\n';
        const bool mark = newline ? !r.noMarks : (first == '\t' ? r.visibleTabs : r.visibleSpaces);
        if (mark) {
          if (!pen) {
            int penWidth = (r.bottom - r.top) / 16;
            pen = CreatePen(PS_SOLID, penWidth > 1 ? penWidth : 1, r.markColor);
            oldPen = SelectObject(r.dc, pen);
          }
          if (first == '\t')
            TabMark(r.dc, x, x + width, r.top, r.bottom);
          else if (newline)
            NewlineMark(r.dc, x, x + width, r.top, r.bottom, first == '\r' ? kNewlineCR : kNewlineLF);
          else
            SpaceMark(r.dc, x, x + width, r.top, r.bottom, first == 0xA0);
        }
      }
    } else {
      bool startsPair = false;
      if constexpr (kPairs) {
        for (u32 k = i; k < end; k++) {
          const u8 c = static_cast<u8>(r.text[k]);
          if (PairIn(r.text, end, k, ed->leadByte)) {
            width += adv.Pair(c, static_cast<u8>(r.text[k + 1]));
            startsPair = startsPair || k == i;
            k++;
          } else {
            width += ed->glyphWidth[c];
          }
        }
      } else {
        for (u32 k = i; k < end; k++) width += ed->glyphWidth[static_cast<u8>(r.text[k])];
      }
      // A row scrolled far to the left costs no drawing for what is out of
      // sight there.
      if (r.draw && x + width > r.clipLeft) {
        RECT cell = {x, r.top, x + width, r.bottom};
        if (r.mode == kDrawBackgrounds) {
          if (r.opaque) {
            SetBkColor(r.dc, r.backColor);
            ExtTextOutA(r.dc, 0, 0, ETO_OPAQUE, &cell, "", 0, nullptr);
          }
        } else if (text) {
          const bool punct = r.colorize && !startsPair && !IsWordChar(first);
          const COLORREF want = punct ? r.colorizedColor : r.textColor;
          if (batching && end - i <= TextBatch::kMax) {
            if (!batch.Continues(r.text + i, want, end - i)) {
              batch.Flush();
              if (want != color) SetTextColor(r.dc, color = want);
              batch.text = r.text + i;
              batch.x = x;
              batch.color = want;
            }
            batch.count += end - i;
          } else {
            batch.Flush();
            if (want != color) SetTextColor(r.dc, color = want);
            if (opaqueText) SetBkColor(r.dc, r.backColor);
            ExtTextOutA(r.dc, x, r.y, opaqueText ? ETO_OPAQUE | ETO_CLIPPED : 0, &cell, r.text + i,
                        static_cast<UINT>(end - i), nullptr);
          }
        }
      } else {
        batch.Flush();
      }
    }
    x += width;
    i = end;
  }
  batch.Flush();
  if (pen) {
    SelectObject(r.dc, oldPen);
    DeleteObject(pen);
  }
  if (consumed) *consumed = i;
  return x;
}

}  // namespace

int DrawRun(EditorWindow *ed, DrawRequest &r, u32 *consumed) {
  return ed->doubleByte ? DrawRunOf<true>(ed, r, consumed) : DrawRunOf<false>(ed, r, consumed);
}

namespace {

COLORREF Settings(u32 c) { return static_cast<COLORREF>(c & 0xFFFFFF); }

bool InRange(const RangeSet *set, u32 p) {
  const Range *range = RangeAt(set, p);
  return range && RangeAbsStart(set, range) <= p && p < RangeAbsEnd(set, range);
}

struct RowPainter {
  EditorWindow *ed;
  HDC dc;
  const TextStore *s;
  int originX;
  COLORREF rowBack;
  // The font selected into dc: selecting one costs some systems a lookup
  // of their font settings each time, so it is selected only when it changes.
  HGDIOBJ font;

  void UseFont(HGDIOBJ want) {
    if (want != font) SelectObject(dc, font = want);
  }

  // The highlighter background at a position: search highlighter 2, then 1,
  // then the selection highlighter; where they overlap the later one wins.
  bool HighlightAt(u32 p, COLORREF *color) const {
    const SettingsBlock &g = g_settings;
    bool found = false;
    if (InRange(&s->rangeSets[kSetSecondaryMatches], p)) {
      *color = Settings(g.edit.CLHiF2);
      found = true;
    }
    if (InRange(&s->rangeSets[kSetPrimaryMatches], p)) {
      *color = Settings(g.edit.CLHiF1);
      found = true;
    }
    if (g.opts.HiliSel && InRange(&s->rangeSets[kSetOccurrences], p)) {
      *color = Settings(g.edit.CLHiSel);
      found = true;
    }
    return found;
  }

  bool InLink(u32 p) const { return g_settings.opts.Urls && InRange(&s->rangeSets[kSetLinks], p); }

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

  // Draws [from, to) of the row from x in the given mode; returns the x
  // reached.
  int Segment(u32 from, u32 to, int x, int y, int top, int bottom, int clipRight, DrawMode mode) {
    const SettingsBlock &g = g_settings;
    const Document *doc = ed->doc;
    const bool selected = from >= doc->selStart->position && from < doc->selEnd->position;
    const bool link = InLink(from);
    COLORREF hiBack = 0;
    const bool highlighted = HighlightAt(from, &hiBack);
    DrawRequest r = {};
    r.dc = dc;
    r.draw = true;
    r.mode = mode;
    r.x = x;
    r.y = y;
    r.limitX = -1;
    r.clipRight = clipRight;
    r.clipLeft = ed->gutterWidth;
    r.tabOrigin = originX;
    r.top = top;
    r.bottom = bottom;
    r.markColor = Settings(g.edit.CLTSpc);
    r.visibleTabs = g.opts.PrnTabs != 0;
    r.visibleSpaces = g.opts.PrnSpcs != 0;
    r.batchRuns = ed->batchRuns;
    if (selected) {
      r.textColor = r.colorizedColor = Settings(g.edit.CLSText);
      r.backColor = Settings(g.edit.CLSBack);
      r.opaque = true;
    } else {
      r.textColor = Settings(link ? g.edit.CLTUrl : g.edit.CLTText);
      r.colorizedColor = Settings(link ? g.edit.CLTUrl : g.edit.CLTClrz);
      r.colorize = g.opts.TxtClrz && !link;
      r.backColor = highlighted ? hiBack : rowBack;
      r.opaque = highlighted;
    }
    if (mode != kDrawBackgrounds) UseFont(link && ed->auxFont ? ed->auxFont : ed->textFont);
    char scratch[kPiece];
    for (u32 p = from; p < to;) {
      u32 n = to - p < kPiece ? to - p : kPiece;
      r.text = DirectPointer(s, p, p + n, scratch, kPiece);
      if (ed->doubleByte && p + n < to) {
        // A piece that would end between a lead byte and its trail byte
        // leaves the pair to the next piece.
        u32 k = 0;
        while (k + 1 < n) k += PairIn(r.text, n, k, ed->leadByte) ? 2 : 1;
        if (k == n - 1 && ed->leadByte[static_cast<u8>(r.text[k])]) n--;
      }
      r.count = n;
      u32 used = 0;
      r.x = DrawRun(ed, r, &used);
      if (used < n) break;  // past the clip edge
      p += n;
    }
    return r.x;
  }
};

void FillRect(HDC dc, int left, int top, int right, int bottom, COLORREF color) {
  RECT rc = {left, top, right, bottom};
  SetBkColor(dc, color);
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rc, "", 0, nullptr);
}

void VerticalLine(HDC dc, int x, int top, int bottom, COLORREF color) {
  HPEN pen = CreatePen(PS_SOLID, 1, color);
  HGDIOBJ old = SelectObject(dc, pen);
  Line(dc, x, top, x, bottom);
  SelectObject(dc, old);
  DeleteObject(pen);
}

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
  // The rows meeting the rectangle, never past the last one.
  const u32 first = ed->topLine + static_cast<u32>(rc.top > 0 ? rc.top : 0) / static_cast<u32>(lineHeight);
  u32 last = ed->topLine + static_cast<u32>(rc.bottom > 0 ? rc.bottom - 1 : 0) / static_cast<u32>(lineHeight);
  if (last >= rows) last = rows - 1;
  const bool anyRow = first <= last;
  const u32 start = PlatTickCount();
  if (anyRow) FillPaintCaches(ed, first, last, start);

  int saved = SaveDC(dc);
  HGDIOBJ oldFont = SelectObject(dc, ed->textFont);
  SetBkMode(dc, TRANSPARENT);

  // The gutter and its line numbers, on the first row of each logical line.
  if (g.opts.LnNums && ed->gutterWidth > 0 && rc.left < ed->gutterWidth) {
    int gs = SaveDC(dc);
    IntersectClipRect(dc, 0, rc.top, ed->gutterWidth, rc.bottom);
    HPEN pen = CreatePen(PS_SOLID, 1, Settings(g.edit.CLGBord));
    HBRUSH brush = CreateSolidBrush(Settings(g.edit.CLGBack));
    HGDIOBJ op = SelectObject(dc, pen), ob = SelectObject(dc, brush);
    Rectangle(dc, -1, -2, ed->gutterWidth, (client.bottom > rc.bottom ? client.bottom : rc.bottom) + 2);
    SelectObject(dc, op);
    SelectObject(dc, ob);
    DeleteObject(pen);
    DeleteObject(brush);
    SetTextAlign(dc, TA_RIGHT | TA_TOP);
    SetTextColor(dc, Settings(g.edit.CLGText));
    for (u32 row = first; anyRow && row <= last; row++) {
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
  const bool transient = ShowTransientStatus(ed, Text(TXT_PAINTING));
  bool progress = false;
  RowPainter painter = {ed, dc, s, originX, 0, ed->textFont};
  const u32 selA = doc->selStart->position, selB = doc->selEnd->position;
  const u32 selRowA = doc->selStart->row, selRowB = doc->selEnd->row;
  const COLORREF back = Settings(g.edit.CLTBack);
  for (u32 row = first; anyRow && row <= last; row++) {
    const int y = static_cast<int>(row - ed->topLine) * lineHeight;
    const int top = y, bottom = y + lineHeight;
    const bool band = g.edit.CurrLn && row >= selRowA && row <= selRowB;
    painter.rowBack = band ? Settings(g.edit.CLTCurr) : back;
    FillRect(dc, textLeft, top, client.right, bottom, painter.rowBack);

    const u32 a = RowStart(s, row), e = RowTextEnd(s, row);
    bool twoPass = false;
    for (u32 p = a; p < e && !twoPass; p = painter.NextBoundary(p, e)) {
      COLORREF unused;
      twoPass = painter.HighlightAt(p, &unused) || (p >= selA && p < selB);
    }
    int x = originX;
    const DrawMode single[] = {kDrawAll};
    const DrawMode twice[] = {kDrawBackgrounds, kDrawText};
    const DrawMode *modes = twoPass ? twice : single;
    for (int pass = 0; pass < (twoPass ? 2 : 1); pass++) {
      x = originX;
      for (u32 p = a; p < e;) {
        u32 next = painter.NextBoundary(p, e);
        // A selection or range edge set inside a double-byte character
        // leaves the character whole to the segment of its lead byte.
        if (ed->doubleByte) {
          TextCursor cur;
          CursorAt(&cur, s, next < s->length ? next : p);
          if (SplitsPair(ed, &cur, a, next, e)) next++;
        }
        x = painter.Segment(p, next, x, y, top, bottom, client.right, modes[pass]);
        if (x >= client.right) break;
        p = next;
      }
    }
    // The newline cell: selection-coloured while the selection goes on past
    // the row, else on the row's or a highlighter's background with the mark
    // of its type.
    const Row &r = RowAt(s, row);
    int textEnd = x < client.right ? x : client.right;
    if (r.newlineLength) {
      const int cell = ed->glyphWidth[0xB6];
      const bool selectedNewline = selA <= e && selB > e;
      COLORREF hiBack = 0;
      if (selectedNewline) {
        FillRect(dc, textEnd, top, textEnd + cell, bottom, Settings(g.edit.CLSBack));
      } else {
        if (painter.HighlightAt(e, &hiBack)) FillRect(dc, textEnd, top, textEnd + cell, bottom, hiBack);
        if (g.opts.PrnNlns) {
          HPEN pen = CreatePen(PS_SOLID, 1, Settings(g.edit.CLTSpc));
          HGDIOBJ op = SelectObject(dc, pen);
          NewlineMark(dc, textEnd, textEnd + cell, top, bottom, r.newlineType);
          SelectObject(dc, op);
          DeleteObject(pen);
        }
      }
      textEnd += cell;
    }
    if (g.opts.PrnLens) {
      char length[16];
      int n = Format(length, sizeof length, "%d", static_cast<int>(e - a)) - 1;
      SetTextColor(dc, Settings(g.edit.CLTSpc));
      painter.UseFont(ed->textFont);
      TextOutA(dc, textEnd + ed->averageWidth + 1, y, length, n);
    }
    if (!doc->wordWrap && x - originX > 32768 && x - originX > ed->widestRow) ed->widestRow = x - originX;
    if (g.opts.RWrap > 0) VerticalLine(dc, originX + g.opts.RWrap, top, bottom, Settings(g.edit.CLRWrap));
    GdiFlush();
    // A slow paint shows its progress.
    if (PlatTickCount() - start > 1024) {
      if (!progress) {
        NotifyParentPrivate(ed, EDN_PROGRESSBEGIN, reinterpret_cast<LPARAM>(Text(TXT_PAINTING)));
        progress = true;
      }
      SendProgress(ed, row - first + 1, last - first + 1);
    }
  }
  // Below the text.
  const int below = anyRow ? static_cast<int>(last + 1 - ed->topLine) * lineHeight : rc.top;
  if (below < rc.bottom) {
    FillRect(dc, textLeft, below, client.right, rc.bottom, back);
    if (g.opts.RWrap > 0) VerticalLine(dc, originX + g.opts.RWrap, below, rc.bottom, Settings(g.edit.CLRWrap));
  }
  SelectObject(dc, oldFont);
  RestoreDC(dc, saved);
  if (transient || progress) NotifyParentPrivate(ed, EDN_PROGRESSEND, 0);
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
    RGNDATA *data = size <= sizeof stack ? reinterpret_cast<RGNDATA *>(stack) : static_cast<RGNDATA *>(Allocate(size));
    if (data && size >= sizeof(RGNDATAHEADER) && GetRegionData(region, size, data) == size &&
        data->rdh.dwSize == 32 && data->rdh.iType == RDH_RECTANGLES && data->rdh.nRgnSize == data->rdh.nCount * 16) {
      const RECT *rects = reinterpret_cast<const RECT *>(data->Buffer);
      for (DWORD i = 0; i < data->rdh.nCount; i++) PaintRect(ed, dc, &rects[i]);
      done = true;
    }
    if (data && reinterpret_cast<char *>(data) != stack) Free(data);
  }
  if (!done) PaintRect(ed, dc, &ps.rcPaint);
  EndPaint(ed->hwnd, &ps);
  if (region) DeleteObject(region);
  UpdateScrollBars(ed, 0);
}
