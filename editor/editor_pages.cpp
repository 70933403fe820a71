#include "editor/editor_pages.h"

#include "document/text_store.h"
#include "editor/editor_layout.h"
#include "editor/editor_paint.h"
#include "foundation/bytes.h"
#include "foundation/memory.h"

namespace {

void FreeView(EditorWindow *view) {
  if (!view) return;
  ForgetPairWidths(view);
  DestroyDocument(view->doc);
  Free(view);
}

}  // namespace

int Paginate(EditorWindow *ed, bool selectionOnly, PageLayout *layout) {
  if (!layout) return 0;
  layout->view = nullptr;
  layout->rows = layout->pages = 0;
  if (!layout->dc || layout->width < 1 || layout->rowsPerPage < 1) return 0;
  const Document *doc = ed->doc;
  u32 from = 0, to = doc->store.length;
  if (selectionOnly) {
    from = doc->selStart->position;
    to = doc->selEnd->position;
  }
  EditorWindow *view = static_cast<EditorWindow *>(Allocate(sizeof(EditorWindow)));
  if (!view) return 0;
  MemZero(view, sizeof *view);
  view->doc = CreateDocument();
  if (!view->doc) {
    Free(view);
    return 0;
  }
  // The whole text is copied as it lies, table by table (about what copying
  // its bytes costs); a selection is inserted into an empty store.
  int copied = 0;
  if (!selectionOnly) {
    FreeStore(&view->doc->store);
    copied = CloneStore(&doc->store, &view->doc->store);
  } else if (to > from) {
    copied = StoreInsert(&view->doc->store, 0, StoreSource(&doc->store, from, to - from), kStoreNoProgress);
  }
  if (copied != 0) {
    FreeView(view);
    return 0;
  }
  // The copy needs blocks and rows only: nothing of the editor's ranges.
  for (RangeSet &set : view->doc->store.rangeSets) set.maintained = 0;
  // The view reports to the editor's parent as the editor does (the status
  // bar shows the layout's progress), and measures on the printer.
  view->hwnd = ed->hwnd;
  view->controlId = ed->controlId;
  view->measureDc = layout->dc;
  view->doubleByte = ed->doubleByte;
  MemCopy(view->leadByte, ed->leadByte, sizeof view->leadByte);
  MeasureFontOn(view, layout->dc, false);
  view->doc->wordWrap = 1;
  view->textWidth = layout->width;
  view->wrapWidth = layout->width;
  view->wrapMargin = 0x7FFFFFFF;
  if (!WrapLines(view, 0, view->doc->store.length, true)) {
    FreeView(view);
    return 0;
  }
  layout->view = view;
  layout->rows = RowCount(&view->doc->store);
  const u32 per = static_cast<u32>(layout->rowsPerPage);
  layout->pages = layout->rows / per + (layout->rows % per ? 1 : 0);
  if (layout->pages == 0) layout->pages = 1;
  return 1;
}

void FreePageLayout(PageLayout *layout) {
  if (!layout) return;
  FreeView(layout->view);
  layout->view = nullptr;
  layout->rows = layout->pages = 0;
}

int DrawPageRow(const PageLayout *layout, HDC dc, u32 row, int x, int y) {
  EditorWindow *view = layout->view;
  const TextStore *s = &view->doc->store;
  if (row >= RowCount(s)) return x;
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
  char scratch[512];
  const u32 end = RowTextEnd(s, row);
  for (u32 p = RowStart(s, row); p < end;) {
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
