// Printing's pages (EDM_PAGINATE) of the 256 MiB text: A4 at 300 dpi, 25 mm
// margins, a 10-point font, against the editor's own full wrap of the same
// text at the same width with the same font, in the same run; and the memory
// the pages take (their copy of the text with its rows) beside the store.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "bench/bench.h"
#include "bench/win_bench.h"
#include "document/document.h"
#include "document/text_store.h"
#include "editor/editor_layout.h"
#include "editor/editor_messages.h"
#include "editor/editor_pages.h"
#include "editor/editor_window.h"
#include "files/load.h"

namespace {

u64 StoreBytes(const TextStore *s) {
  StoreMemory m;
  StoreMemoryStatistics(s, &m);
  return m.markers + m.lineIndex + m.blockIndex + m.textBuffers;
}

}  // namespace

void PrintFigures(HWND editor, const char *path) {
  EditorWindow *ed = EditorOf(editor);
  FileHooks hooks = {};
  const OpenRequest request = {path, kDetectEncoding, 0, kOpenAsked | kOpenNoRecent};
  SendMessageA(editor, EDM_SETWORDWRAP, 0, 0);
  if (OpenFile(ed->doc, request, hooks) != 0) {
    printf("print: open failed\n");
    return;
  }
  // 10 points at 300 dpi; the width between 25 mm margins of A4 inside
  // the PostScript driver's border of 75 pixels.
  const int pixels = (10 * 300 + 36) / 72;
  const int width = 2480 - 2 * ((2500 * 300 + 1270) / 2540);
  HFONT font = CreateFontA(-pixels, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FIXED_PITCH, "Courier New");
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA tm;
  GetTextMetricsA(dc, &tm);
  const int rowsPerPage = (3508 - 2 * ((2500 * 300 + 1270) / 2540)) / (tm.tmHeight + tm.tmExternalLeading);

  // The editor's full wrap with the same font, at the same width.
  SendMessageA(editor, EDM_SETFONTS, reinterpret_cast<WPARAM>(font), reinterpret_cast<LPARAM>(font));
  ed->doc->wordWrap = 1;
  double wrap = 1e30, paginate = 1e30, copyTime = 1e30, insertTime = 1e30;
  u32 rows = 0, pageRows = 0, pages = 0;
  u64 copyBytes = 0;
  for (int run = 0; run < 3; run++) {
    ed->wrapWidth = width;
    ed->wrapMargin = 0x7FFFFFFF;
    double t0 = Now();
    if (!WrapLines(ed, 0, ed->doc->store.length, true)) printf("print: wrap failed\n");
    wrap = std::min(wrap, Now() - t0);
    rows = RowCount(&ed->doc->store);
    // Back to one row a line, so that each layout starts alike.
    ed->doc->wordWrap = 0;
    (void)WrapLines(ed, 0, ed->doc->store.length, true);
    ed->doc->wordWrap = 1;

    PageLayout layout = {};
    layout.dc = dc;
    layout.width = width;
    layout.rowsPerPage = rowsPerPage;
    t0 = Now();
    if (!SendMessageA(editor, EDM_PAGINATE, 0, reinterpret_cast<LPARAM>(&layout))) printf("print: paginate failed\n");
    paginate = std::min(paginate, Now() - t0);
    pageRows = layout.rows;
    {
      // The copy alone, as the pages take it.
      TextStore copy;
      t0 = Now();
      if (CloneStore(&ed->doc->store, &copy) != 0) printf("print: copy failed\n");
      copyTime = std::min(copyTime, Now() - t0);
      FreeStore(&copy);
      // Against inserting the text into an empty store.
      Document *inserted = CreateDocument();
      t0 = Now();
      if (!inserted || StoreInsert(&inserted->store, 0, StoreSource(&ed->doc->store, 0, ed->doc->store.length),
                                   kStoreNoProgress) != 0)
        printf("print: insert failed\n");
      insertTime = std::min(insertTime, Now() - t0);
      DestroyDocument(inserted);
    }
    pages = layout.pages;
    if (layout.view) copyBytes = StoreBytes(&layout.view->doc->store);
    FreePageLayout(&layout);
  }
  const u64 storeBytes = StoreBytes(&ed->doc->store);
  printf("print_pages %u of %d rows (%u rows; the editor's wrap %u rows)\n", pages, rowsPerPage, pageRows, rows);
  Report("editor_full_wrap_print_width_256MiB", wrap, "s");
  Report("paginate_256MiB", paginate, "s");
  Report("paginate_copy_of_the_text_256MiB", copyTime, "s");
  Report("insert_of_the_text_into_an_empty_store_256MiB", insertTime, "s");
  Ratio("paginate_vs_editor_full_wrap", paginate, wrap);
  Goal("paginate_vs_editor_full_wrap", paginate / wrap, 1.3, "x");
  // While the job runs, the document's store and the pages' copy are held.
  const double peak = static_cast<double>(storeBytes + copyBytes) / static_cast<double>(storeBytes);
  printf("paginate_store_bytes %llu copy_bytes %llu\n", static_cast<unsigned long long>(storeBytes),
         static_cast<unsigned long long>(copyBytes));
  printf("paginate_peak_vs_store ratio %.2f x\n", peak);
  Goal("paginate_peak_vs_store", peak, 2.2, "x");
  SendMessageA(editor, EDM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
  SelectObject(dc, old);
  DeleteDC(dc);
}
