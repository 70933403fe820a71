#include "editor/editor_pages.h"

#include "document/text_store.h"
#include "editor/editor_paint.h"
#include "foundation/bytes.h"
#include "foundation/memory.h"
#include "foundation/texts.h"

namespace {

// On paper the characters of one call are placed by the driver's own
// advances. A row goes out in one call (as the editor's runs do on a screen
// whose font draws them alike) only where those are the measured ones: where
// the extent of a string of every character is the sum of their widths.
bool PaperRunsAlike(const EditorWindow *view, HDC dc) {
  char probe[224];
  int sum = 0;
  for (int c = 32; c < 256; c++) {
    probe[c - 32] = static_cast<char>(c == 127 ? ' ' : c);
    sum += view->glyphWidth[static_cast<u8>(probe[c - 32])];
  }
  SIZE size;
  return GetTextExtentPoint32A(dc, probe, sizeof probe, &size) && size.cx == sum;
}

// Rows broken at a time while the pages are counted: a line without
// newlines is worked through in pieces, never held whole.
constexpr u32 kChunkRows = 4096;
// Progress of a long layout: every this many lines.
constexpr u32 kProgressLines = 16384;

void FreeView(EditorWindow *view) {
  if (!view) return;
  ForgetPairWidths(view);
  Free(view);
}

// A line of the printed text, seen from p (its start, or a row start inside
// it): the store's hard line holding p (the rows from `row` on), cut to
// [from, to). As if the range had been copied out on its own: a range that
// starts between the CR and the LF of a newline begins with an empty line
// ended by the LF, and one that ends between them ends with the CR and an
// empty last line.
struct PrintLine {
  u32 end;       // the end of its text
  bool newline;  // a newline (or the part of one) follows; otherwise it is the last line
  u32 next;      // where the next line starts
  u32 nextRow;   // a row of the store that holds `next`
};

PrintLine LineFrom(const TextStore *s, u32 row, u32 p, u32 to) {
  const u32 count = RowCount(s);
  u32 last = row;
  while (last + 1 < count && RowAt(s, last).newlineLength == 0) last++;
  const u32 textEnd = RowTextEnd(s, last);
  const u32 newlineEnd = textEnd + RowAt(s, last).newlineLength;
  PrintLine line;
  const u32 at = textEnd > p ? textEnd : p;
  line.end = at < to ? at : to;
  line.newline = (newlineEnd < to ? newlineEnd : to) > at;
  line.next = newlineEnd <= to ? newlineEnd : to;
  line.nextRow = newlineEnd <= to && last + 1 < count ? last + 1 : last;
  return line;
}

}  // namespace

int Paginate(EditorWindow *ed, bool selectionOnly, PageLayout *layout) {
  if (!layout) return 0;
  layout->view = nullptr;
  layout->starts = nullptr;
  layout->pageRows = nullptr;
  layout->lengths = {};
  layout->startCapacity = 0;
  layout->rows = layout->pages = 0;
  if (!layout->dc || layout->width < 1 || layout->rowsPerPage < 1) return 0;
  const TextStore *s = &ed->doc->store;
  u32 from = 0, to = s->length;
  if (selectionOnly) {
    from = ed->doc->selStart->position;
    to = ed->doc->selEnd->position;
  }
  layout->store = s;
  layout->from = from;
  layout->to = to;
  layout->storeLength = s->length;
  const u32 perPage = static_cast<u32>(layout->rowsPerPage);
  EditorWindow *view = static_cast<EditorWindow *>(Allocate(sizeof(EditorWindow)));
  if (!view) return 0;
  MemZero(view, sizeof *view);
  layout->view = view;
  const u32 room = perPage > kChunkRows ? perPage : kChunkRows;
  const u64 rowBytes = static_cast<u64>(perPage) * sizeof(PageRow);
  if (rowBytes != static_cast<size_t>(rowBytes) || !GrowArray(&layout->lengths.a, sizeof(u32), room) ||
      !(layout->pageRows = static_cast<PageRow *>(Allocate(static_cast<size_t>(rowBytes))))) {
    FreePageLayout(layout);
    return 0;
  }
  // The view reports to the editor's parent as the editor does (the status
  // bar shows the layout's progress), and measures on the printer.
  view->hwnd = ed->hwnd;
  view->controlId = ed->controlId;
  view->measureDc = layout->dc;
  view->doubleByte = ed->doubleByte;
  MemCopy(view->leadByte, ed->leadByte, sizeof view->leadByte);
  MeasureFontOn(view, layout->dc, false);
  view->batchRuns = !view->doubleByte && PaperRunsAlike(view, layout->dc);
  view->textWidth = layout->width;
  view->wrapWidth = layout->width;
  view->wrapMargin = 0x7FFFFFFF;

  NotifyParentPrivate(ed, EDN_PROGRESSBEGIN, reinterpret_cast<LPARAM>(Text(TXT_REWRAPPING)));
  TextCursor cur;
  CursorAt(&cur, s, from);
  RowLengths *lengths = &layout->lengths;
  u32 rows = 0, lines = 0, p = from, row = RowOfPosition(s, from);
  int ok = 1;
  for (;;) {
    const PrintLine line = LineFrom(s, row, p, to);
    // Its rows, a piece at a time; each page notes the row it begins with.
    u32 q = p;
    for (bool first = true; ok; first = false) {
      if (!WrapRows(view, &cur, q, line.end, first, kChunkRows, lengths)) {
        ok = 0;
        break;
      }
      const u32 *n = lengths->data();
      for (u32 k = 0; k < lengths->a.count; k++, rows++) {
        if (rows % perPage == 0) {
          if (!GrowArray(reinterpret_cast<void **>(&layout->starts), sizeof(PageStart), &layout->startCapacity,
                         layout->pages + 1)) {
            ok = 0;
            break;
          }
          layout->starts[layout->pages++] = PageStart{q, first && k == 0 ? 1u : 0u};
        }
        q += n[k];
      }
      if (q >= line.end) break;
    }
    if (!ok || !line.newline) break;
    p = line.next;
    row = line.nextRow;
    if (++lines % kProgressLines == 0) SendProgress(ed, p - from, to - from);
  }
  NotifyParentPrivate(ed, EDN_PROGRESSEND, 0);
  if (!ok) {
    FreePageLayout(layout);
    return 0;
  }
  layout->rows = rows;
  return 1;
}

void FreePageLayout(PageLayout *layout) {
  if (!layout) return;
  FreeView(layout->view);
  Free(layout->starts);
  Free(layout->pageRows);
  Free(layout->lengths.a.entries);
  layout->view = nullptr;
  layout->starts = nullptr;
  layout->pageRows = nullptr;
  layout->lengths = {};
  layout->startCapacity = 0;
  layout->rows = layout->pages = 0;
}

u64 PageLayoutBytes(const PageLayout *layout) {
  if (!layout->view) return 0;
  return sizeof(EditorWindow) + static_cast<u64>(layout->startCapacity) * sizeof(PageStart) +
         static_cast<u64>(layout->lengths.a.capacity) * sizeof(u32) +
         static_cast<u64>(layout->rowsPerPage) * sizeof(PageRow);
}

const PageRow *LayPage(PageLayout *layout, u32 page, u32 *count) {
  *count = 0;
  const TextStore *s = layout->store;
  if (!layout->view || page >= layout->pages || s->length != layout->storeLength) return layout->pageRows;
  const u32 perPage = static_cast<u32>(layout->rowsPerPage);
  u32 p = layout->starts[page].position;
  bool lineStart = layout->starts[page].lineStart != 0;
  u32 row = RowOfPosition(s, p);
  TextCursor cur;
  CursorAt(&cur, s, p);
  u32 n = 0;
  while (n < perPage) {
    const PrintLine line = LineFrom(s, row, p, layout->to);
    // The buffer holds a page: no growth.
    (void)WrapRows(layout->view, &cur, p, line.end, lineStart, perPage - n, &layout->lengths);
    u32 q = p;
    for (u32 k = 0; k < layout->lengths.a.count; k++) {
      layout->pageRows[n++] = PageRow{q, q + layout->lengths.data()[k]};
      q += layout->lengths.data()[k];
    }
    if (q < line.end || !line.newline) break;
    p = line.next;
    row = line.nextRow;
    lineStart = true;
  }
  *count = n;
  return layout->pageRows;
}

int DrawPageRow(const PageLayout *layout, HDC dc, const PageRow &row, int x, int y) {
  EditorWindow *view = layout->view;
  const TextStore *s = layout->store;
  if (!view || s->length != layout->storeLength || row.end > s->length) return x;
  DrawRequest r = {};
  r.dc = dc;
  r.draw = true;
  r.mode = kDrawAll;
  r.x = x;
  r.y = y;
  r.limitX = -1;
  r.clipRight = -1;
  r.clipLeft = x - 1;
  r.tabOrigin = x;
  r.top = y;
  r.bottom = y + view->lineHeight;
  r.textColor = r.colorizedColor = r.markColor = RGB(0, 0, 0);
  r.backColor = RGB(255, 255, 255);
  r.noMarks = true;
  r.batchRuns = view->batchRuns;
  // The page's colour is black from the start (a printer driver may take
  // every change of it for a new state of the page, font and all).
  r.textColorInDc = true;
  char scratch[512];
  const u32 end = row.end;
  for (u32 p = row.start; p < end;) {
    u32 n = end - p < sizeof scratch ? end - p : static_cast<u32>(sizeof scratch);
    r.text = DirectPointer(s, p, p + n, scratch, sizeof scratch);
    if (view->doubleByte && p + n < end) {
      // A piece never ends between a lead byte and its trail byte.
      u32 k = 0;
      while (k + 1 < n) k += view->leadByte[static_cast<u8>(r.text[k])] && r.text[k + 1] != '\r' && r.text[k + 1] != '\n' ? 2 : 1;
      if (k == n - 1 && view->leadByte[static_cast<u8>(r.text[k])]) n--;
    }
    r.count = n;
    r.x = DrawRun(view, r, nullptr);
    p += n;
  }
  return r.x;
}
