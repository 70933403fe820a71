#include "editor/editor_layout.h"

#include "config/config_state.h"
#include "document/edit.h"
#include "document/text_store.h"
#include "editor/editor_messages.h"
#include "editor/editor_scroll.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/memory.h"
#include "foundation/texts.h"

namespace {

bool IsSeparator(u8 c) { return c == '-' || (CharType(c) & kC1Space); }

using Lengths = RowLengths;

// A pair of a double-byte code page starts at i (text ends at end): the
// lead byte, followed by a byte that is not a CR or an LF. *trail receives
// that byte.
inline bool PairAt(const EditorWindow *ed, TextCursor *cur, u8 c, u32 i, u32 end, u8 *trail) {
  if (!ed->leadByte[c] || i + 1 >= end) return false;
  *trail = CursorByte(cur, i + 1);
  return *trail != '\r' && *trail != '\n';
}

// Width of [from, to) of the text, starting at x, stopping once x passes
// limit (-1: none); *taken receives the characters measured. With pairs, the
// text ends at textEnd and a pair that `to` would cut is not measured.
template <bool kPairs>
int MeasureBytes(Advance &adv, TextCursor *cur, u32 from, u32 to, u32 textEnd, int x, int limit, u32 *taken) {
  int start = x;
  u32 i = from;
  while (i < to) {
    if (limit >= 0 && x >= limit) break;
    const u8 c = CursorByte(cur, i);
    if constexpr (kPairs) {
      u8 trail;
      if (PairAt(adv.ed, cur, c, i, textEnd, &trail)) {
        if (i + 1 >= to) break;
        x += adv.Pair(c, trail);
        i += 2;
        continue;
      }
    }
    x += adv.Of(c, x);
    i++;
  }
  if (taken) *taken = i - from;
  return x - start;
}

int Measure(Advance &adv, TextCursor *cur, u32 from, u32 to, u32 textEnd, int x, int limit, u32 *taken) {
  return adv.ed->doubleByte ? MeasureBytes<true>(adv, cur, from, to, textEnd, x, limit, taken)
                            : MeasureBytes<false>(adv, cur, from, to, textEnd, x, limit, taken);
}

// Whether [start, start + length) holds a tab (with pairs: or any byte from
// 128 up, which the quick test of a short line cannot judge).
template <bool kPairs>
bool HasTab(TextCursor *cur, u32 start, u32 length) {
  for (u32 p = start, end = start + length; p < end;) {
    if (p < cur->blockStart || p >= cur->blockEnd) CursorAt(cur, cur->store, p);
    u32 n = (end < cur->blockEnd ? end : cur->blockEnd) - p;
    const char *data = cur->data + (p - cur->blockStart);
    if constexpr (kPairs) {
      for (u32 k = 0; k < n; k++)
        if (data[k] == '\t' || static_cast<u8>(data[k]) >= 128) return true;
    } else {
      if (MemFindByte(data, '\t', n)) return true;
    }
    p += n;
  }
  return false;
}

// Breaks the hard line [start, start + length) into rows; at most maxRows
// of them (a row's breaks depend only on the text from its start on, so
// the rest can be broken later from where these end). lineStart: start is
// the line's own start, where a short line may be judged by its length.
template <bool kPairs>
bool BreakLine(EditorWindow *ed, TextCursor *cur, u32 start, u32 length, Lengths *out, bool wordWrap = true,
               bool lineStart = true, u32 maxRows = 0xFFFFFFFFu) {
  const u32 end = start + length;
  if (!wordWrap) {
    u32 pos = 0;
    do {
      u32 n = length - pos < kMaxRowLength ? length - pos : kMaxRowLength;
      // A cut at the longest row moves before a pair it would split.
      if constexpr (kPairs)
        if (pos + n < length && SplitsPair(ed, cur, start + pos, start + pos + n, end)) n--;
      if (!out->Push(n)) return false;
      pos += n;
    } while (pos < length);
    return true;
  }
  const int wrap = ed->wrapWidth;
  const int margin = ed->wrapMargin;
  // A line without tabs that would fit even if every character were the
  // widest one is one row: most lines of most texts, measured no further.
  // So is one that fits but for a last separator after a word: that
  // separator ends the row wherever it reaches (a row a wrap made, made a
  // line of its own, is one of these).
  const i64 room = wrap < margin ? wrap : margin;
  const bool lastAlone = length >= 2 && IsSeparator(CursorByte(cur, end - 1)) && !IsSeparator(CursorByte(cur, end - 2));
  if (lineStart && length <= kMaxRowLength && static_cast<i64>(length - lastAlone) * ed->maxAdvance <= room &&
      !HasTab<kPairs>(cur, start, length))
    return out->Push(length);
  u32 pos = 0, made = 0;
  do {
    Advance adv = MakeAdvance(ed);
    u32 accepted = 0;
    int x = 0;
    u32 rowLength = 0;
    for (;;) {
      u32 seg = pos + accepted;
      if (seg >= length) {
        rowLength = accepted;
        break;
      }
      // A segment: separators, then the word after them, measured as it is
      // found. Once x reaches the wrap width with characters left, the
      // segment cannot fit, wherever it ends: a long word is not read to its
      // end for every row it fills.
      u32 i = seg;
      const u32 cap = pos + kMaxRowLength < length ? pos + kMaxRowLength : length;
      int sx = x;
      bool over = false;
      for (int part = 0; part < 2 && !over; part++) {
        const bool separators = part == 0;
        while (i < cap) {
          const u8 c = CursorByte(cur, start + i);
          if constexpr (kPairs) {
            // A pair is never a separator, and is never cut by the longest
            // row: the row ends before it.
            u8 trail;
            if (PairAt(ed, cur, c, start + i, end, &trail)) {
              if (separators || i + 1 >= cap) break;
              if (sx >= wrap) {
                over = true;
                break;
              }
              sx += adv.Pair(c, trail);
              i += 2;
              continue;
            }
          }
          if (IsSeparator(c) != separators) break;
          if (sx >= wrap) {
            over = true;
            break;
          }
          sx += adv.Of(c, sx);
          i++;
        }
      }
      if constexpr (kPairs) {
        if (i == seg && !over) {  // only a pair cut by the longest row is left
          rowLength = accepted;
          break;
        }
      }
      const int w = sx - x;
      const bool fits = !over && sx <= wrap;
      if (fits) {
        if (x + w > margin && accepted > 0) {
          rowLength = accepted + 1 <= kMaxRowLength ? accepted + 1 : accepted;
          break;
        }
        accepted = i - pos;
        x += w;
        if (i >= length || accepted >= kMaxRowLength) {
          rowLength = accepted;
          break;
        }
        continue;
      }
      // The rejected segment starts with a separator, a single byte: it
      // stays at the end of this row.
      if (accepted > 0) {
        rowLength = accepted + 1 <= kMaxRowLength ? accepted + 1 : accepted;
        break;
      }
      // One word wider than the row: cut it where the width runs out, never
      // shorter than one character.
      Advance cut = MakeAdvance(ed);
      u32 fit = 0, first = 0;
      int cx = 0;
      while (pos + fit < length && fit < kMaxRowLength) {
        const u8 c = CursorByte(cur, start + pos + fit);
        u32 n = 1;
        int a;
        u8 trail;
        if constexpr (kPairs) {
          if (PairAt(ed, cur, c, start + pos + fit, end, &trail)) n = 2;
        }
        if (n == 2) {
          if (fit + 2 > kMaxRowLength) break;
          a = cut.Pair(c, trail);
        } else {
          a = cut.Of(c, cx);
        }
        if (fit == 0) first = n;
        if (cx + a > wrap) break;
        cx += a;
        fit += n;
      }
      rowLength = fit > 0 ? fit : (first > 0 ? first : 1);
      break;
    }
    if (rowLength > length - pos) rowLength = length - pos;
    if (!out->Push(rowLength)) return false;
    pos += rowLength;
  } while (pos < length && ++made < maxRows);
  return true;
}

// The double-byte layout apart from the single-byte one, which stays inline
// in WrapLines's loop as it was.
[[gnu::noinline]] bool BreakLineWithPairs(EditorWindow *ed, TextCursor *cur, u32 start, u32 length, Lengths *out,
                                          bool wordWrap, bool lineStart = true, u32 maxRows = 0xFFFFFFFFu) {
  return BreakLine<true>(ed, cur, start, length, out, wordWrap, lineStart, maxRows);
}

void Status(EditorWindow *ed, bool begin) {
  if (begin)
    NotifyParentPrivate(ed, EDN_PROGRESSBEGIN, reinterpret_cast<LPARAM>(Text(TXT_REWRAPPING)));
  else
    NotifyParentPrivate(ed, EDN_PROGRESSEND, 0);
}

// Progress of a long layout: every this many hard lines.
constexpr u32 kProgressLines = 16384;

EditorWindow::LayoutKey CurrentLayoutKey(const EditorWindow *ed) {
  EditorWindow::LayoutKey key = {};
  key.valid = true;
  key.wordWrap = ed->doc->wordWrap ? 1 : 0;
  if (key.wordWrap) {
    key.wrapWidth = ed->wrapWidth;
    key.wrapMargin = ed->wrapMargin;
    key.tabPixels = MakeAdvance(ed).tabPixels;
    key.fontGeneration = ed->fontGeneration;
  }
  return key;
}

bool SameKey(const EditorWindow::LayoutKey &a, const EditorWindow::LayoutKey &b) {
  return a.valid && b.valid && a.wordWrap == b.wordWrap && a.wrapWidth == b.wrapWidth &&
         a.wrapMargin == b.wrapMargin && a.tabPixels == b.tabPixels && a.fontGeneration == b.fontGeneration;
}

}  // namespace

void CursorAt(TextCursor *c, const TextStore *store, u32 position) {
  c->store = store;
  u32 b = BlockOfPosition(store, position);
  if (b >= store->blocks.count) {
    c->block = b;
    c->blockStart = c->blockEnd = store->length;
    c->data = "";
    return;
  }
  c->block = b;
  c->blockStart = BlockStart(store, b);
  c->blockEnd = c->blockStart + store->blocks.entries[b].length;
  c->data = store->blocks.entries[b].data;
}

Advance MakeAdvance(const EditorWindow *ed) {
  int tab = g_settings.edit.Tab > 0 ? g_settings.edit.Tab : 1;
  return Advance{ed, tab * (ed->averageWidth > 0 ? ed->averageWidth : 1), -1};
}

int Advance::Of(u8 c, int x) {
  if (c == '\t') {
    int from = x + ed->averageWidth - 1;
    return (from / tabPixels + 1) * tabPixels - x;
  }
  if (c == '\r' || c == '\n') return ed->averageWidth;
  if (CharType(c) & kC1Space) {
    if (spaceWidth < 0) spaceWidth = ed->glyphWidth[c];
    return spaceWidth;
  }
  return ed->glyphWidth[c];
}

int Advance::PairWidth(const EditorWindow *ed, u8 lead, u8 trail) {
  // The whole row of the lead byte at once: one device context for the 256
  // pairs a text is likely to use more of.
  EditorWindow *e = const_cast<EditorWindow *>(ed);
  i16 *row = static_cast<i16 *>(Allocate(256 * sizeof(i16)));
  HDC dc = ed->measureDc ? ed->measureDc : GetDC(ed->hwnd);
  HGDIOBJ old = ed->measureDc ? nullptr
                              : SelectObject(dc, ed->textFont ? ed->textFont : GetStockObject(SYSTEM_FIXED_FONT));
  int result = ed->glyphWidth[lead] + ed->glyphWidth[trail];
  for (int t = 0; t < 256; t++) {
    if (!row && t != trail) continue;  // no memory: measure only this pair, every time
    char pair[2] = {static_cast<char>(lead), static_cast<char>(t)};
    SIZE size;
    int width = GetTextExtentPoint32A(dc, pair, 2, &size) ? size.cx : ed->glyphWidth[lead] + ed->glyphWidth[t];
    if (width < 0) width = 0;
    if (width > 0x7FFF) width = 0x7FFF;
    if (row) row[t] = static_cast<i16>(width);
    if (t == trail) result = width;
  }
  if (!ed->measureDc) {
    SelectObject(dc, old);
    ReleaseDC(ed->hwnd, dc);
  }
  e->pairWidth[lead] = row;
  return result;
}

void ForgetPairWidths(EditorWindow *ed) {
  for (i16 *&row : ed->pairWidth) {
    Free(row);
    row = nullptr;
  }
}

bool SplitsPair(const EditorWindow *ed, TextCursor *cur, u32 lower, u32 p, u32 end) {
  if (!ed->doubleByte || p <= lower || p >= end) return false;
  const u8 c = CursorByte(cur, p);
  if (c == '\r' || c == '\n' || !ed->leadByte[CursorByte(cur, p - 1)]) return false;
  // A byte that is no lead byte ends a character, so the lead bytes after it
  // pair off from there: p - 1 starts a pair when an even number of them
  // stand before it.
  u32 q = p - 1, n = 0;
  while (q > lower && ed->leadByte[CursorByte(cur, q - 1)]) {
    q--;
    n++;
  }
  return (n & 1) == 0;
}

bool RowSplitsPair(const EditorWindow *ed, u32 row, u32 position) {
  if (!ed->doubleByte) return false;
  const TextStore *s = &ed->doc->store;
  TextCursor cur;
  CursorAt(&cur, s, position);
  return SplitsPair(ed, &cur, RowStart(s, row), position, RowTextEnd(s, row));
}

// Whether the font, selected into dc, draws a string exactly as its
// characters drawn one by one at the advances measured for them: then the
// painter may hand neighbouring runs to the system in one call. Checked by
// drawing every printable character both ways into two bitmaps.
bool RunsDrawAlike(HDC dc, const EditorWindow *ed) {
  char all[224];
  u32 count = 0;
  int total = 0;
  for (int c = 32; c < 256; c++) {
    if (c == 127) continue;
    all[count++] = static_cast<char>(c);
    total += ed->glyphWidth[c] > 0 ? ed->glyphWidth[c] : 0;
  }
  TEXTMETRICA tm;
  if (!GetTextMetricsA(dc, &tm)) return false;
  const int height = tm.tmHeight > 0 ? tm.tmHeight : 1;
  const int widest = tm.tmMaxCharWidth > 0 ? tm.tmMaxCharWidth : 64;
  const int margin = 2 * widest;
  // The characters go in pieces through two bitmaps of at most a million
  // pixels; a font so big that not even one character fits draws few of
  // them on a screen, and its runs stay apart.
  const i64 kPixels = 1 << 20;
  i64 width = kPixels / height;
  if (width > total + 2 * margin) width = total + 2 * margin;
  if (width < 2 * margin + widest) return false;
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = static_cast<LONG>(width);
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  void *bits[2] = {};
  HBITMAP bitmaps[2] = {};
  HDC mem = CreateCompatibleDC(dc);
  bool alike = mem != nullptr;
  for (int k = 0; k < 2 && alike; k++) {
    bitmaps[k] = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits[k], nullptr, 0);
    alike = bitmaps[k] && bits[k];
  }
  if (alike) {
    HGDIOBJ oldBitmap = SelectObject(mem, bitmaps[0]);
    HGDIOBJ oldFont = SelectObject(mem, GetCurrentObject(dc, OBJ_FONT));
    SetBkMode(mem, TRANSPARENT);
    SetTextColor(mem, RGB(0, 0, 0));
    for (u32 from = 0; from < count && alike;) {
      // As many characters as fit between the margins.
      u32 to = from;
      int span = 0;
      do {
        span += ed->glyphWidth[static_cast<u8>(all[to])];
        to++;
      } while (to < count && span + ed->glyphWidth[static_cast<u8>(all[to])] <= width - 2 * margin);
      for (int k = 0; k < 2; k++) {
        SelectObject(mem, bitmaps[k]);
        GdiFlush();
        u32 *px = static_cast<u32 *>(bits[k]);
        for (size_t i = 0; i < pixels; i++) px[i] = 0xFFFFFF;
        if (k == 0) {
          ExtTextOutA(mem, margin, 0, 0, nullptr, all + from, to - from, nullptr);
        } else {
          // The space is not drawn, as the painter leaves it: a font whose
          // space has ink keeps its runs apart.
          int x = margin;
          for (u32 i = from; i < to; i++) {
            if (all[i] != ' ') ExtTextOutA(mem, x, 0, 0, nullptr, all + i, 1, nullptr);
            x += ed->glyphWidth[static_cast<u8>(all[i])];
          }
        }
        GdiFlush();
      }
      alike = MemCompare(bits[0], bits[1], pixels * 4) == 0;
      from = to;
    }
    SelectObject(mem, oldFont);
    SelectObject(mem, oldBitmap);
  }
  for (HBITMAP b : bitmaps)
    if (b) DeleteObject(b);
  if (mem) DeleteDC(mem);
  return alike;
}

void MeasureFont(EditorWindow *ed) {
  HDC dc = GetDC(ed->hwnd);
  HGDIOBJ old = SelectObject(dc, ed->textFont ? ed->textFont : GetStockObject(SYSTEM_FIXED_FONT));
  MeasureFontOn(ed, dc, true);
  SelectObject(dc, old);
  ReleaseDC(ed->hwnd, dc);
}

void MeasureFontOn(EditorWindow *ed, HDC dc, bool checkRuns) {
  ForgetPairWidths(ed);
  TEXTMETRICA tm;
  GetTextMetricsA(dc, &tm);
  ed->lineHeight = tm.tmHeight + tm.tmExternalLeading;
  if (ed->lineHeight < 1) ed->lineHeight = 1;
  ed->externalLeading = tm.tmExternalLeading;
  ed->internalLeading = tm.tmInternalLeading;
  ed->averageWidth = tm.tmAveCharWidth > 0 ? tm.tmAveCharWidth : 1;
  ed->charWidth = ed->averageWidth + 1;
  ed->maxCharWidth = tm.tmMaxCharWidth > 0 ? tm.tmMaxCharWidth : 1;
  ed->variablePitch = (tm.tmPitchAndFamily & TMPF_FIXED_PITCH) != 0;
  ed->fontGeneration++;
  INT widths[256];
  if (!GetCharWidth32A(dc, 0, 255, widths))
    for (int &w : widths) w = ed->averageWidth;
  // A lead byte measures alone only where it stands alone (before a newline
  // or at the end of the text); it is then drawn as a run of one byte.
  for (int c = 128; c < 256 && ed->doubleByte; c++) {
    SIZE size;
    const char lone = static_cast<char>(c);
    if (ed->leadByte[c] && GetTextExtentPoint32A(dc, &lone, 1, &size)) widths[c] = size.cx;
  }
  ed->maxAdvance = ed->averageWidth;
  for (int c = 0; c < 256; c++) {
    ed->glyphWidth[c] = widths[c];
    if (widths[c] > ed->maxAdvance) ed->maxAdvance = widths[c];
  }
  // Each character is drawn alone or in runs that the system measures the
  // same way: take the runs' own view of the digits.
  int widest = 0;
  for (char d = '0'; d <= '9'; d++) {
    SIZE size;
    if (GetTextExtentPoint32A(dc, &d, 1, &size) && size.cx > widest) widest = size.cx;
  }
  ed->digitWidth = widest > 0 ? widest : ed->averageWidth;
  ed->batchRuns = checkRuns && !ed->doubleByte && RunsDrawAlike(dc, ed);
}

void ComputeDecorations(EditorWindow *ed) {
  ed->decorationUnits = (g_settings.opts.PrnLens ? 5 : 0) + (g_settings.opts.PrnNlns ? 1 : 0);
}

void UpdateGeometry(EditorWindow *ed, bool haveSize, int width, int height) {
  if (haveSize) {
    ed->clientWidth = width;
    ed->clientHeight = height;
  }
  int gutter = 0;
  if (g_settings.opts.LnNums) {
    u32 lines = HardLineCount(&ed->doc->store);
    int digits = 1;
    for (u32 v = lines; v >= 10; v /= 10) digits++;
    gutter = ed->digitWidth * (digits > 2 ? digits : 2) + 10;
  }
  bool gutterChanged = gutter != ed->gutterWidth;
  ed->gutterWidth = gutter;
  if (gutterChanged) InvalidateRect(ed->hwnd, nullptr, FALSE);
  ed->leftMargin = g_settings.edit.LMargin;
  int textWidth = ed->clientWidth - gutter - ed->leftMargin;
  if (textWidth < 0) textWidth = 0;
  bool widthChanged = textWidth != ed->textWidth;
  ed->textWidth = textWidth;
  ed->visibleColumns = textWidth / ed->maxCharWidth;
  if (ed->visibleColumns < 1) ed->visibleColumns = 1;
  int wrap = textWidth - ed->maxCharWidth * ed->decorationUnits - 5;
  ed->wrapWidth = wrap > 1 ? wrap : 1;
  ed->wrapMargin = g_settings.opts.RWrap > 0 ? g_settings.opts.RWrap : 0x7FFFFFFF;
  if (widthChanged || gutterChanged) SendMessageA(ed->hwnd, EDM_REFRESH, 164, 0);
  int rows = ed->clientHeight / ed->lineHeight;
  if (rows < 1) rows = 1;
  if (rows != ed->visibleRows) {
    ed->visibleRows = rows;
    UpdateScrollBars(ed, 0);
    InvalidateRect(ed->hwnd, nullptr, FALSE);
  }
}

int WrapLines(EditorWindow *ed, u32 firstRow, u32 lastPosition, bool quiet) {
  TextStore *s = &ed->doc->store;
  ed->wrapMargin = g_settings.opts.RWrap > 0 && !ed->measureDc ? g_settings.opts.RWrap : 0x7FFFFFFF;
  const EditorWindow::LayoutKey key = CurrentLayoutKey(ed);
  if (s->length == 0) {
    ed->laidOut = key;
    return 1;
  }
  if (firstRow >= RowCount(s)) firstRow = RowCount(s) - 1;
  const bool whole = firstRow == 0 && lastPosition >= s->length;
  // Lines laid out with other parameters than the rest leave a text that only
  // a whole layout makes uniform again.
  if (!whole && !SameKey(key, ed->laidOut)) ed->laidOut.valid = false;
  u32 hard = RowHardLine(s, firstRow);
  u32 lastHard = RowHardLine(s, RowOfPosition(s, lastPosition));
  Status(ed, true);
  const bool big = lastHard - hard >= kProgressLines;
  TextCursor cur;
  CursorAt(&cur, s, 0);
  // The rows of each hard line are worked out first and put into the row
  // table in one splice, from the first line whose rows change to the last
  // one: lines whose rows stay as they are cost no table work.
  Lengths lengths = {};
  Lengths changed = {};
  u32 spliceFirst = 0xFFFFFFFFu, spliceLast = 0, kept = 0;
  int ok = 1;
  const u32 rowCount = RowCount(s);
  u32 total = lastHard - hard + 1, done = 0;
  for (u32 row = FirstRowOfHardLine(s, hard); hard <= lastHard && row < rowCount; hard++, done++) {
    u32 last = row;
    while (last + 1 < rowCount && RowAt(s, last).newlineLength == 0) last++;
    const u32 start = RowStart(s, row);
    const u32 length = RowTextEnd(s, last) - start;
    lengths.a.count = 0;
    const bool wrap = ed->doc->wordWrap != 0;
    if (!(ed->doubleByte ? BreakLineWithPairs(ed, &cur, start, length, &lengths, wrap)
                         : BreakLine<false>(ed, &cur, start, length, &lengths, wrap))) {
      ok = 0;
      break;
    }
    bool same = lengths.a.count == last - row + 1;
    for (u32 k = 0; same && k < lengths.a.count; k++) same = RowAt(s, row + k).textLength == lengths.data()[k];
    if (!same && spliceFirst == 0xFFFFFFFFu) spliceFirst = row;
    if (spliceFirst != 0xFFFFFFFFu) {
      for (u32 k = 0; ok && k < lengths.a.count; k++)
        if (!changed.Push(lengths.data()[k] | (k + 1 == lengths.a.count ? kRowEndsLine : 0))) ok = 0;
      if (!ok) break;
      if (!same) {
        spliceLast = last;
        kept = changed.a.count;
      }
    }
    row = last + 1;
    if (big && done % kProgressLines == 0) SendProgress(ed, done, total);
  }
  if (ok && spliceFirst != 0xFFFFFFFFu && SetRowsOfHardLines(s, spliceFirst, spliceLast, changed.data(), kept) != 0)
    ok = 0;
  Free(changed.a.entries);
  Free(lengths.a.entries);
  Status(ed, false);
  if (whole) {
    ed->laidOut = key;
    ed->laidOut.valid = ok != 0;
    ed->wholeLayouts++;
  } else if (!ok) {
    ed->laidOut.valid = false;  // the lines of this change kept rows of before
  }
  if (!ok && !quiet) {
    MessageBeep(0);
    NotifyParent(ed, kEditorOutOfMemory);
  }
  return ok;
}

void RewrapAll(EditorWindow *ed, bool force) {
  Document *doc = ed->doc;
  u32 anchor = doc->anchor.position, caret = doc->caret.position;
  i64 distance = static_cast<i64>(doc->caret.row) - static_cast<i64>(ed->topLine);
  ed->wrapMargin = g_settings.opts.RWrap > 0 ? g_settings.opts.RWrap : 0x7FFFFFFF;
  if (force || !SameKey(CurrentLayoutKey(ed), ed->laidOut)) (void)WrapLines(ed, 0, doc->store.length);
  SetSelection(doc, anchor, caret);
  i64 top = static_cast<i64>(doc->caret.row) - distance;
  ed->topLine = top > 0 ? static_cast<u32>(top) : 0;
  ApplyScroll(ed, 0);
  UpdateCaret(ed, 1);
  InvalidateRect(ed->hwnd, nullptr, FALSE);
}

int MeasureRun(EditorWindow *ed, u32 row, u32 offset, u32 count, int x, int limitX, u32 *measured) {
  const TextStore *s = &ed->doc->store;
  const u32 textEnd = RowTextEnd(s, row);
  u32 start = RowStart(s, row) + offset;
  u32 end = start + count;
  if (end > textEnd) end = textEnd;
  if (start > end) start = end;
  TextCursor cur;
  CursorAt(&cur, s, start);
  Advance adv = MakeAdvance(ed);
  u32 taken = 0;
  int w = Measure(adv, &cur, start, end, textEnd, x, limitX, &taken);
  if (measured) *measured = taken;
  return w;
}

namespace {

template <bool kPairs>
i64 CharAt(EditorWindow *ed, u32 row, int x) {
  const TextStore *s = &ed->doc->store;
  u32 start = RowStart(s, row), end = RowTextEnd(s, row);
  TextCursor cur;
  CursorAt(&cur, s, start);
  Advance adv = MakeAdvance(ed);
  int cx = 0;
  for (u32 i = start; i < end;) {
    const u8 c = CursorByte(&cur, i);
    if constexpr (kPairs) {
      u8 trail;
      if (PairAt(ed, &cur, c, i, end, &trail)) {
        int a = adv.Pair(c, trail);
        if (x < cx + a) return i - start;  // a pair is hit at its lead byte
        cx += a;
        i += 2;
        continue;
      }
    }
    int a = adv.Of(c, cx);
    if (x < cx + a) return i - start;
    cx += a;
    i++;
  }
  return -1;
}

}  // namespace

i64 CharAtX(EditorWindow *ed, u32 row, int x) {
  return ed->doubleByte ? CharAt<true>(ed, row, x) : CharAt<false>(ed, row, x);
}

bool WrapRows(EditorWindow *ed, TextCursor *cur, u32 start, u32 end, bool lineStart, u32 maxRows,
              RowLengths *out) {
  out->a.count = 0;
  if (maxRows == 0) return true;
  return ed->doubleByte ? BreakLineWithPairs(ed, cur, start, end - start, out, true, lineStart, maxRows)
                        : BreakLine<false>(ed, cur, start, end - start, out, true, lineStart, maxRows);
}

int ColumnX(EditorWindow *ed, u32 row, u32 column) {
  const TextStore *s = &ed->doc->store;
  u32 start = RowStart(s, row), end = RowTextEnd(s, row);
  if (column > end - start) column = end - start;
  TextCursor cur;
  CursorAt(&cur, s, start);
  Advance adv = MakeAdvance(ed);
  return Measure(adv, &cur, start, start + column, end, 0, -1, nullptr);
}
