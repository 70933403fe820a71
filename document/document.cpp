#include "document/document.h"

#include <string.h>

#include "document/compact_text.h"
#include "document/edit.h"
#include "document/position.h"
#include "document/range_set.h"
#include "document/undo.h"

Document *CreateDocument() {
  Document *d = static_cast<Document *>(Allocate(sizeof(Document)));
  if (!d) return nullptr;
  memset(d, 0, sizeof *d);
  if (!InitialiseStore(&d->store, 64, 512)) {
    Free(d);
    return nullptr;
  }
  for (u32 k = 0; k < kRangeSetCount; k++) d->store.rangeSets[k].maintained = 1;
  if (!CreateJournal(&d->undo) || !CreateJournal(&d->redo)) {
    FreeJournal(&d->undo);
    FreeJournal(&d->redo);
    FreeStore(&d->store);
    Free(d);
    return nullptr;
  }
  SetSelection(d, 0, 0);
  return d;
}

void DestroyDocument(Document *d) {
  if (!d) return;
  FreeJournal(&d->undo);
  FreeJournal(&d->redo);
  FreeStore(&d->store);
  Free(d);
}

int ResetStore(Document *d, u32 blockHint, u32 rowHint) {
  TextStore fresh;
  if (!InitialiseStore(&fresh, blockHint, rowHint)) {
    DeleteRange(&d->store, 0, d->store.length, 0);
    if (!InitialiseStore(&fresh, blockHint, rowHint)) {
      SetSelection(d, 0, 0);
      return -1;
    }
  }
  for (u32 k = 0; k < kRangeSetCount; k++) fresh.rangeSets[k].maintained = d->store.rangeSets[k].maintained;
  fresh.progress = d->store.progress;
  FreeStore(&d->store);
  d->store = fresh;
  SetSelection(d, 0, 0);
  return 0;
}

void DocumentStatisticsOf(const Document *d, DocumentStatistics *out) {
  memset(out, 0, sizeof *out);
  StoreMemoryStatistics(&d->store, &out->memory);
  out->length = d->store.length;
  out->rows = RowCount(&d->store);
  out->hardLines = HardLineCount(&d->store);
  JournalStatistics u, r;
  JournalStatisticsOf(&d->undo, &u);
  JournalStatisticsOf(&d->redo, &r);
  out->undoSteps = u.steps;
  out->redoSteps = r.steps;
  out->undoIndexBytes = u.indexBytes;
  out->redoIndexBytes = r.indexBytes;
  out->undoTextBytes = u.textBytes;
  out->redoTextBytes = r.textBytes;
}

void CompactCaches(Document *d) {
  for (u32 k = kSetRowCache; k <= kSetLinksScanned; k++) RangeSetClear(&d->store.rangeSets[k]);
}
