// The pages of a print job (EDM_PAGINATE): the text to print, the selection
// or the whole document, laid out into rows of the printable width by the
// editor's own word wrap measured on the printer, straight from the
// document's store. Only where each page begins is kept; a page's rows are
// broken again when it is drawn (a row breaks the same way whatever came
// before it), so the pages cost a few bytes each, never a copy of the text.
//
// The document's text must not change while a layout lives: the print job
// holds the window (the main window puts off its commands meanwhile). Should
// its length change all the same, the pages draw nothing rather than read
// past its end.
//
// Paper shows the text alone: no gutter, current-line band, selection,
// highlighters, marks, line lengths or wrap line, and rows break at the
// printable width only (no wrap margin).
#pragma once

#include <windows.h>

#include "editor/editor_layout.h"
#include "editor/editor_window.h"

// Where a page begins: the position of its first row, and whether that row
// is the first of its line.
struct PageStart {
  u32 position;
  u32 lineStart;
};

// One row of a page: its text [start, end) in the document (no newline).
struct PageRow {
  u32 start, end;
};

// The record of EDM_PAGINATE (wParam 1: the selection only; lParam: this).
struct PageLayout {
  // Filled by the sender.
  HDC dc;           // the printer, with the print font selected
  int width;        // the printable width in device pixels, at least 1
  int rowsPerPage;  // at least 1
  // Filled by the editor; FreePageLayout releases them.
  EditorWindow *view;      // the printer's metrics (measureDc = dc); no document of its own
  const TextStore *store;  // the document's text
  u32 from, to;            // what is printed of it
  u32 storeLength;         // its length when laid out
  u32 rows;                // an empty text is one empty row
  u32 pages;               // ceil(rows / rowsPerPage), at least 1
  PageStart *starts;       // one a page
  u32 startCapacity;
  RowLengths lengths;      // room for a page's rows, so that drawing allocates nothing
  PageRow *pageRows;       // rowsPerPage entries
};

// Lays out the text or the selection into pages. 1 on success; 0 when memory
// ran out (nothing is left allocated) or the record is unusable (width or
// rows per page below 1, no device context).
[[nodiscard]] int Paginate(EditorWindow *ed, bool selectionOnly, PageLayout *layout);
void FreePageLayout(PageLayout *layout);
// The memory a layout holds.
u64 PageLayoutBytes(const PageLayout *layout);

// The rows of a page (0-based), in the layout's own buffer (valid until the
// next call); *count receives how many, at most rowsPerPage. None when the
// page does not exist or the text changed since the layout. Allocates
// nothing.
const PageRow *LayPage(PageLayout *layout, u32 page, u32 *count);

// Draws one row with its left edge at x and its top at y into dc (the print
// font selected, as in the layout's dc, and black text): the row painter's
// text, tabs expanded from x. Returns the x reached.
int DrawPageRow(const PageLayout *layout, HDC dc, const PageRow &row, int x, int y);
