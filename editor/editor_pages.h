// The pages of a print job (EDM_PAGINATE): the text to print, the selection
// or the whole document, copied into a document of its own, so that the
// editor stays free to change while the job runs, and laid out into rows of
// the printable width by the editor's own layout measured on the printer.
//
// Paper shows the text alone: no gutter, current-line band, selection,
// highlighters, marks, line lengths or wrap line, and rows break at the
// printable width only (no wrap margin).
#pragma once

#include <windows.h>

#include "editor/editor_window.h"

// The record of EDM_PAGINATE (wParam 1: the selection only; lParam: this).
struct PageLayout {
  // Filled by the sender.
  HDC dc;           // the printer, with the print font selected
  int width;        // the printable width in device pixels, at least 1
  int rowsPerPage;  // at least 1
  // Filled by the editor; FreePageLayout releases them.
  EditorWindow *view;  // the copy with the printer's metrics (measureDc = dc)
  u32 rows;            // rows of the copy; an empty text is one empty row
  u32 pages;           // ceil(rows / rowsPerPage), at least 1
};

// Lays out the text or the selection into pages. 1 on success; 0 when memory
// ran out (nothing is left allocated) or the record is unusable (width or
// rows per page below 1, no device context).
[[nodiscard]] int Paginate(EditorWindow *ed, bool selectionOnly, PageLayout *layout);
void FreePageLayout(PageLayout *layout);

// The first row of a page (0-based) and the row after its last.
inline u32 PageFirstRow(const PageLayout *layout, u32 page) { return page * static_cast<u32>(layout->rowsPerPage); }
inline u32 PageEndRow(const PageLayout *layout, u32 page) {
  const u64 end = static_cast<u64>(page + 1) * static_cast<u32>(layout->rowsPerPage);
  return end < layout->rows ? static_cast<u32>(end) : layout->rows;
}

// Draws one row of the layout with its left edge at x and its top at y into
// dc (the print font selected, as in the layout's dc): the row painter's
// text in black, tabs expanded from x. Returns the x reached.
int DrawPageRow(const PageLayout *layout, HDC dc, u32 row, int x, int y);
