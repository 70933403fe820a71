#include "document/undo.h"

#include <string.h>

#include <initializer_list>

#include "document/batch_edit.h"
#include "document/edit.h"
#include "document/position.h"
#include "document/store_internal.h"

namespace {

constexpr u32 kInitialSteps = 8;

// A deleted text this long goes back as the blocks the step keeps rather
// than as a copy of them.
constexpr u32 kAdoptedBytes = 16384;

// A step's deleted text as pieces the document can take as its blocks: the
// first and last buffers (trimmed to their length) grown back to a block's
// size. False when memory ran out; the text then still holds all it held.
bool BlocksAsPieces(CompactText *text, char ***pieces, u32 **lengths) {
  const u32 count = text->blockCount;
  char **p = static_cast<char **>(Allocate(count * sizeof(char *)));
  u32 *l = static_cast<u32 *>(Allocate(count * sizeof(u32)));
  bool ok = p && l;
  for (u32 i = 0; i < count && ok; i++) {
    TextBlock &b = text->blocks[i];
    if (i == 0 || i + 1 == count) {
      void *grown = Reallocate(b.data, BufferSize(b.length));
      ok = grown != nullptr;
      if (grown) b.data = static_cast<char *>(grown);
    }
    if (ok) {
      p[i] = b.data;
      l[i] = b.length;
    }
  }
  if (!ok) {
    Free(p);
    Free(l);
    return false;
  }
  *pieces = p;
  *lengths = l;
  return true;
}

void ResetFlags(Journal *j) {
  j->groupMode = 0;
  j->closeInsideGroup = 0;
  j->groupStartPending = 0;
}

}  // namespace

int CreateJournal(Journal *j) {
  memset(j, 0, sizeof *j);
  j->savedIndex = -1;
  j->steps = static_cast<Step *>(Allocate(kInitialSteps * sizeof(Step)));
  if (!j->steps) return 0;
  j->capacity = kInitialSteps;
  return 1;
}

void FreeJournal(Journal *j) {
  for (u32 i = 0; i < j->count; i++) CompactFree(j->steps[i].deleted);
  Free(j->steps);
  memset(j, 0, sizeof *j);
}

bool RecordExtends(const Journal *j, u32 start, u32 end, u32 inserted) {
  const Step *last = j->count ? &j->steps[j->count - 1] : nullptr;
  if (!last || j->closed) return false;
  // Deleting backwards up to the step, or going on at its end.
  return (inserted == 0 && end == last->position) || start == last->position + last->insertedLength;
}

bool CanRecordTaken(const Journal *j, u32 start, u32 end) {
  return !RecordExtends(j, start, end, 0) || !j->steps[j->count - 1].deleted;
}

void RecordTaken(Journal *j, CompactText *text, u32 start, u32 end) {
  if (RecordExtends(j, start, end, 0)) {
    Step &last = j->steps[j->count - 1];
    last.deleted = text;
    last.groupStart &= ~kStepSwapped;  // a step that grows is undone as any other
    if (start < last.position) last.position = start;
    j->closed = 0;
    j->groupStartPending = 0;
    return;
  }
  Step step = {};
  step.groupStart = (!j->groupMode || j->groupStartPending) ? kStepStartsGroup : 0;
  step.position = start;
  step.deleted = text;
  j->steps[j->count++] = step;
  j->closed = 0;
  j->groupStartPending = 0;
}

int Record(Journal *j, const TextStore *source, u32 start, u32 end, u32 inserted) {
  Step *last = j->count ? &j->steps[j->count - 1] : nullptr;
  const bool extend = RecordExtends(j, start, end, inserted);
  Step fresh = {};
  Step *st = last;
  if (!extend) {
    void *steps = j->steps;
    int grown = GrowArray(&steps, sizeof(Step), &j->capacity, j->count + 1);
    j->steps = static_cast<Step *>(steps);
    if (!grown) return 0;
    fresh.groupStart = (!j->groupMode || j->groupStartPending) ? kStepStartsGroup : 0;
    fresh.position = start;
    st = &fresh;
  }
  if (start < end) {
    if (st->deleted) {
      if (CompactAdd(st->deleted, source, start, end, end == st->position) != 0) return 0;
    } else {
      st->deleted = CompactCreate(source, start, end);
      if (!st->deleted) return 0;
    }
  }
  if (!extend) {
    j->steps[j->count++] = fresh;
    st = &j->steps[j->count - 1];
  } else {
    st->groupStart &= ~kStepSwapped;  // a step that grows is undone as any other
  }
  if (start < st->position) st->position = start;
  st->insertedLength += inserted;
  j->closed = 0;
  j->groupStartPending = 0;
  return 1;
}

void PopStep(Journal *j) {
  if (j->count == 0) return;
  j->count--;
  CompactFree(j->steps[j->count].deleted);
  j->steps[j->count].deleted = nullptr;
  j->closed = 1;
  if (j->savedIndex > static_cast<i32>(j->count)) j->savedIndex = -1;
}

void ClearJournal(Journal *j) {
  for (u32 i = 0; i < j->count; i++) CompactFree(j->steps[i].deleted);
  j->count = 0;
  j->savedIndex = -1;
  ResetFlags(j);
  j->closed = 0;
  if (j->capacity > 32) {
    if (void *p = Reallocate(j->steps, kInitialSteps * sizeof(Step))) {
      j->steps = static_cast<Step *>(p);
      j->capacity = kInitialSteps;
    }
  }
}

void ReduceJournals(Journal *undo, Journal *redo) {
  u32 keep = undo->count;
  while (keep > 0 && !StartsGroup(undo->steps[keep - 1])) keep--;
  // keep - 1 is the newest group's first step (or 0 when none starts one).
  u32 first = keep ? keep - 1 : 0;
  for (u32 i = 0; i < first; i++) CompactFree(undo->steps[i].deleted);
  memmove(undo->steps, undo->steps + first, (undo->count - first) * sizeof(Step));
  undo->count -= first;
  ResetFlags(undo);
  undo->closed = 1;
  undo->savedIndex = -1;
  ClearJournal(redo);
}

void CloseStep(Journal *j) {
  if (!j->groupMode || j->closeInsideGroup) j->closed = 1;
}

void BeginGroup(Document *d, u32 groupMode, u32 closeInside) {
  for (Journal *j : {&d->undo, &d->redo}) {
    j->groupMode = groupMode;
    j->groupStartPending = groupMode;
    j->closeInsideGroup = closeInside;
    j->closed = 1;
  }
}

void EndGroup(Document *d) {
  for (Journal *j : {&d->undo, &d->redo}) {
    if (!(j->groupMode && !j->closeInsideGroup)) j->closed = 1;
  }
}

void MarkSaved(Document *d) {
  for (Journal *j : {&d->undo, &d->redo}) {
    if (j->groupMode) continue;
    j->closed = 1;
    j->savedIndex = static_cast<i32>(j->count);
  }
  d->modified = 0;
}

namespace {

// Undoes (or redoes) a batch step as a batch of its own: every entry's new
// bytes become its deleted ones again; the restored text of the first entry is
// selected. 0, or -1 with nothing changed.
int UndoBatch(Document *d, const Step &st, bool redo) {
  const BatchTable *table = BatchTableOf(st);
  BatchRequest *inverse = static_cast<BatchRequest *>(Allocate(table->count * sizeof(BatchRequest)));
  if (!inverse) return kResultOutOfMemory;
  u32 offset = 0;
  for (u32 i = 0; i < table->count; i++) {
    const BatchEdit e = BatchEditAt(table, i);
    inverse[i] = BatchRequest{e.position, e.position + e.insertedLength, BatchDeletedOffset(table, offset), e.deletedLength};
    offset += e.deletedLength;
  }
  CompactStoreView view;
  CompactView(st.deleted, &view);
  // What the step inserted, the inverse deletes.
  const int r = ApplyBatch(d, inverse, table->count, StoreSource(&view.store, 0, st.deleted->length),
                           kReplaceKeepRedo | (redo ? 0 : kReplaceIntoRedo) | (table->insertedAlike ? kBatchSameDeleted : 0));
  if (r == 0) SetSelection(d, inverse[0].from, inverse[0].from + inverse[0].length);
  Free(inverse);
  return r;
}

}  // namespace

int UndoRedo(Document *d, UndoMode mode) {
  const bool redo = mode == kRedo || (mode == kUndoToggle && d->redo.count > 0);
  Journal *from = redo ? &d->redo : &d->undo;
  if (from->count == 0) return 0;
  if (!StartsGroup(from->steps[from->count - 1])) {
    // The inverse steps form one group in the other journal.
    for (Journal *j : {&d->undo, &d->redo}) {
      j->groupMode = 1;
      j->groupStartPending = 1;
      j->closeInsideGroup = 1;
      j->closed = 1;
    }
  }
  const u32 flags = kReplaceCloseBefore | kReplaceCloseAfter | kReplaceSelectInserted | kReplaceKeepRedo |
                    (redo ? 0 : kReplaceIntoRedo);
  int result = 1;
  while (from->count > 0) {
    Step &st = from->steps[from->count - 1];
    if (IsBatch(st)) {
      if (UndoBatch(d, st, redo) != 0) {
        result = 0;
        break;
      }
    } else {
      SetSelection(d, st.position, st.position + st.insertedLength);
      CompactStoreView view;
      ReplaceSource src = {0, nullptr, nullptr, nullptr, nullptr};
      char **pieces = nullptr;
      u32 *lengths = nullptr;
      u32 stepFlags = flags;
      if (st.deleted && st.deleted->length >= kAdoptedBytes && BlocksAsPieces(st.deleted, &pieces, &lengths)) {
        src = ReplaceSource{st.deleted->length, nullptr, nullptr, pieces, lengths};
        stepFlags |= kReplaceFromBytes;
      } else if (st.deleted) {
        CompactView(st.deleted, &view);
        src.store = &view.store;
      }
      i32 missing = 0;
      // A step that kept every CR and LF where it was goes back the same way:
      // its blocks take the place of the bytes it put in, the rows staying.
      int done = -2;
      if (pieces && (st.groupStart & kStepSwapped) && st.deleted->length == st.insertedLength)
        done = OverwriteSelectionPieces(d, pieces, lengths, st.insertedLength, flags | kReplaceSameNewlines);
      if (done == -2) done = ReplaceSelection(d, st.deleted ? &src : nullptr, stepFlags, &missing);
      if (pieces) {
        // The blocks the document took are its own now.
        for (u32 i = 0; i < st.deleted->blockCount; i++)
          if (!pieces[i]) st.deleted->blocks[i].data = nullptr;
        Free(pieces);
        Free(lengths);
      }
      if (done == 0) {
        // When the step's inserted bytes are already gone, the step keeps only
        // its deleted text, so that it still describes the document.
        if (missing > 0) from->steps[from->count - 1].insertedLength = 0;
        result = 0;
        break;
      }
    }
    const bool startsGroup = StartsGroup(from->steps[from->count - 1]);
    PopStep(from);
    if (startsGroup) break;
  }
  ReleaseBatchScratch();
  for (Journal *j : {&d->undo, &d->redo}) {
    ResetFlags(j);
    j->closed = 1;
  }
  if (from->savedIndex == static_cast<i32>(from->count)) {
    d->modified = 0;
    for (Journal *j : {&d->undo, &d->redo}) j->savedIndex = static_cast<i32>(j->count);
    if (d->events.savedStateReached) d->events.savedStateReached(d->events.context, d);
  }
  return result;
}

UndoMode UndoModeForCommand(UndoCommand command, bool noMultiLevelUndo) {
  switch (command) {
    case kCmdUndo: return noMultiLevelUndo ? kUndoToggle : kUndo;
    case kCmdRedo: return noMultiLevelUndo ? kUndoToggle : kRedo;
    case kCmdWmUndo: return kUndo;
    case kCmdEmUndo: return kUndoToggle;
  }
  return kUndo;
}

bool UndoEnabled(const Document *d, bool noMultiLevelUndo) {
  return d->undo.count > 0 || (noMultiLevelUndo && d->redo.count > 0);
}

bool RedoEnabled(const Document *d, bool noMultiLevelUndo) { return !noMultiLevelUndo && d->redo.count > 0; }

void ForgetSavedState(Document *d) {
  d->undo.savedIndex = -1;
  d->redo.savedIndex = -1;
  d->modified = 1;
}

void JournalStatisticsOf(const Journal *j, JournalStatistics *out) {
  out->steps = j->count;
  out->indexBytes = static_cast<u64>(j->capacity) * sizeof(Step);
  out->textBytes = 0;
  for (u32 i = 0; i < j->count; i++) {
    if (!j->steps[i].deleted) continue;
    u64 index, text;
    CompactMemory(j->steps[i].deleted, &index, &text);
    if (IsBatch(j->steps[i])) {
      const BatchTable *t = BatchTableOf(j->steps[i]);
      index += BatchTableBytes(t->count, t->format);
    }
    out->indexBytes += index;
    out->textBytes += text;
  }
}

namespace {

// Replaces the selection with [from, to) of a store, as a step of its own.
int ReinsertFrom(Document *d, const TextStore *source, u32 from, u32 to) {
  TextStore copy;
  if (!InitialiseStore(&copy, 1, 0)) return kResultOutOfMemory;
  int result = kResultDone;
  if (StoreInsert(&copy, 0, StoreSource(source, from, to - from), kStoreNoProgress) != 0 ||
      ReplaceSelectionStore(d, &copy, kReplaceCloseBefore | kReplaceCloseAfter, nullptr) == 0) {
    result = kResultOutOfMemory;
  }
  FreeStore(&copy);
  return result;
}

}  // namespace

int ReinsertDeleted(Document *d) {
  for (u32 i = d->undo.count; i-- > 0;) {
    const Step &st = d->undo.steps[i];
    const CompactText *text = st.deleted;
    if (!text || text->length == 0) continue;
    u32 from = 0, to = text->length;
    if (IsBatch(st)) {
      // The last edit of the batch that deleted something.
      const BatchTable *table = BatchTableOf(st);
      if (table->format != kBatchUniform) {
        u32 k = table->count;
        while (BatchEditAt(table, k - 1).deletedLength == 0) k--;
        from = to - BatchEditAt(table, k - 1).deletedLength;
        for (u32 e = k; e < table->count; e++) from -= BatchEditAt(table, e).deletedLength;
        to = from + BatchEditAt(table, k - 1).deletedLength;
      }
    }
    CompactStoreView view;
    CompactView(text, &view);
    return ReinsertFrom(d, &view.store, from, to);
  }
  return kResultCancelled;
}

namespace {

// Carries the range [*p, *p + n) through one replacement made after it (at
// q, del bytes deleted, ins inserted): one wholly before it moves it; one
// reaching into it spoils it (false).
bool Carry(u64 *p, u64 n, u64 q, u64 del, u64 ins) {
  const bool overlaps = del ? (q < *p + n && q + del > *p) : (q > *p && q < *p + n);
  if (overlaps) return false;
  if (q + del <= *p) *p = *p - del + ins;
  return true;
}

}  // namespace

int ReinsertInserted(Document *d) {
  u32 k = d->undo.count;
  while (k > 0 && d->undo.steps[k - 1].insertedLength == 0) k--;
  if (k == 0) return kResultCancelled;
  const Step &found = d->undo.steps[k - 1];
  u64 p = found.position;
  u64 n = found.insertedLength;
  if (IsBatch(found)) {
    // The last edit of the batch that inserted something.
    const BatchTable *table = BatchTableOf(found);
    u32 e = table->count;
    while (BatchEditAt(table, e - 1).insertedLength == 0) e--;
    p = BatchEditAt(table, e - 1).position;
    n = BatchEditAt(table, e - 1).insertedLength;
  }
  // Carry the range through the newer steps (none of which inserted
  // anything, outside batches).
  for (u32 i = k; i < d->undo.count; i++) {
    const Step &st = d->undo.steps[i];
    if (IsBatch(st)) {
      // Its entries in order, each moving the range by what it changed.
      const BatchTable *table = BatchTableOf(st);
      for (u32 e = 0; e < table->count; e++) {
        const BatchEdit b = BatchEditAt(table, e);
        if (!Carry(&p, n, b.position, b.deletedLength, b.insertedLength)) return kResultCancelled;
      }
      continue;
    }
    const u64 del = st.deleted ? st.deleted->length : 0;
    if (!Carry(&p, n, st.position, del, st.insertedLength)) return kResultCancelled;
  }
  if (p + n > d->store.length) return kResultCancelled;
  return ReinsertFrom(d, &d->store, static_cast<u32>(p), static_cast<u32>(p + n));
}
