// The store layer with range sets, and Replace selection.
#include "document/edit.h"

#include <string.h>

#include "document/compact_text.h"
#include "document/position.h"
#include "document/range_set.h"
#include "document/store_internal.h"
#include "document/undo.h"
#include "foundation/char_class.h"

namespace {

// Sets whose range ending at an insertion point counts as the range there;
// the others (row cache and the two coverage sets) only at the end of the text.
bool EndCounts(u32 set) { return set == 1 || set == 3 || set == 5 || set == 6 || set == 7; }

int Insert(TextStore *s, u32 p, const ByteSource &src, u32 flags) {
  if (src.length == 0) return 0;
  if (p > s->length) p = s->length;
  const u32 lengthBefore = s->length;
  if (StoreInsert(s, p, src, flags) != 0) return static_cast<int>(src.length > 0x7FFFFFFFu ? 0x7FFFFFFFu : src.length);
  RangeSetsOnInsert(s, p, src.length, lengthBefore);
  return 0;
}

void Notify(Document *d, DocumentNotification what) {
  if (d->events.notify) d->events.notify(d->events.context, d, what);
}

}  // namespace

int InsertText(TextStore *s, u32 position, const char *bytes, u32 length, u32 flags) {
  return Insert(s, position, BytesSource(bytes, length), flags | kStoreRangeUpdate);
}

int InsertRange(TextStore *s, u32 position, const TextStore *source, u32 from, u32 to, u32 flags) {
  if (from > to) {
    u32 t = from;
    from = to;
    to = t;
  }
  if (to > source->length) to = source->length;
  if (from >= to) return 0;
  const u32 n = to - from;
  if (source != s) return Insert(s, position, StoreSource(source, from, n), flags | kStoreRangeUpdate);
  // From the store itself: through a copy.
  char *copy = static_cast<char *>(Allocate(n));
  if (!copy) return static_cast<int>(n > 0x7FFFFFFFu ? 0x7FFFFFFFu : n);
  SourceCopy(StoreSource(source, from, n), 0, n, copy);
  int r = Insert(s, position, BytesSource(copy, n), flags | kStoreRangeUpdate);
  Free(copy);
  return r;
}

int InsertRun(TextStore *s, u32 position, u8 byte, u32 count, u32 flags) {
  char piece[1024];
  memset(piece, byte, sizeof piece);
  if (position > s->length) position = s->length;
  u32 done = 0;
  while (done < count) {
    u32 n = count - done < sizeof piece ? count - done : static_cast<u32>(sizeof piece);
    if (Insert(s, position + done, BytesSource(piece, n), flags | kStoreRangeUpdate) != 0) {
      u32 left = count - done;
      return static_cast<int>(left > 0x7FFFFFFFu ? 0x7FFFFFFFu : left);
    }
    done += n;
  }
  return 0;
}

CaseTransform CasePatternOf(const TextStore *s, u32 from, u32 to) {
  CasePatternScanner scan;
  CasePatternReset(&scan);
  bool more = true;
  if (from < to) {
    ForEachPiece(s, from, to - from, [&](const char *p, u32 n) {
      if (more) more = CasePatternFeed(&scan, p, n);
    });
  }
  return CasePatternResult(&scan);
}

u32 DeleteRange(TextStore *s, u32 from, u32 to, u32 flags) {
  if (from > to) {
    u32 t = from;
    from = to;
    to = t;
  }
  if (to > s->length) to = s->length;
  if (from >= to) return 0;
  StoreDelete(s, from, to, flags | kStoreRangeUpdate);
  RangeSetsOnDelete(s, from, to);
  return to - from;
}

void RangeSetsOnInsert(TextStore *s, u32 position, u32 length, u32 lengthBefore) {
  for (u32 k = 0; k < kRangeSetCount; k++) {
    RangeSet *set = &s->rangeSets[k];
    if (set->maintained) RangeSetOnInsert(set, position, length, EndCounts(k) || position == lengthBefore);
  }
}

void RangeSetsOnDelete(TextStore *s, u32 from, u32 to) {
  for (u32 k = 0; k < kRangeSetCount; k++) {
    RangeSet *set = &s->rangeSets[k];
    if (set->maintained) RangeSetOnDelete(set, from, to);
  }
}

void SetSelection(Document *d, u32 anchor, u32 caret) {
  SetFromPosition(d, &d->caret, caret, kPositionSettleColumn);
  if (anchor == caret) {
    d->anchor = d->caret;
  } else {
    SetFromPosition(d, &d->anchor, anchor, kPositionSettleColumn);
  }
  OrderSelection(d);
}

// Deletions from this size on give their blocks to the undo step instead of
// a copy (two blocks: one at least lies wholly inside).
constexpr u32 kDeletionTaken = 2 * kBlockLarge;

int ReplaceSelection(Document *d, const ReplaceSource *source, u32 flags, i32 *outCount) {
  i32 ignored;
  if (!outCount) outCount = &ignored;
  *outCount = -1;
  TextStore *s = &d->store;
  Journal *j = (flags & kReplaceIntoRedo) ? &d->redo : &d->undo;
  u32 a = d->selStart->position, e = d->selEnd->position;
  if (e > s->length) e = s->length;
  if (a > e) a = e;

  ByteSource src = {nullptr, nullptr, 0, 0, nullptr, nullptr};
  if (source) {
    if ((flags & kReplaceFromBytes) && !source->bytes && source->pieces) {
      src = PiecesSource(source->pieces, source->length, source->pieceLengths);
    } else if (flags & kReplaceFromBytes) {
      src = BytesSource(source->bytes, source->length);
    } else if (source->store) {
      src = StoreSource(source->store, 0, source->store->length);
    }
  }
  // 1. Nothing to insert and nothing selected.
  if (src.length == 0 && a == e) {
    Collapse(d);
    if (flags & (kReplaceCloseBefore | kReplaceCloseAfter)) CloseStep(j);
    *outCount = 0;
    return 1;
  }
  char *converted = nullptr;
  if (src.store == s && src.length) {
    // The document's own text: through a copy.
    converted = static_cast<char *>(Allocate(src.length));
    if (!converted) {
      Notify(d, kNotifyOutOfMemory);
      return 0;
    }
    SourceCopy(src, 0, src.length, converted);
    src = BytesSource(converted, src.length);
  }
  // 2. Match case: the new text takes the case pattern of the replaced one.
  if ((flags & kReplaceMatchCase) && a < e && src.length) {
    const CaseTransform pattern = CasePatternOf(s, a, e);
    if (pattern != kCaseNone) {
      if (!converted) {
        converted = static_cast<char *>(Allocate(src.length));
        if (!converted) {
          Notify(d, kNotifyOutOfMemory);
          return 0;
        }
        SourceCopy(src, 0, src.length, converted);
        src = BytesSource(converted, src.length);
      }
      ApplyCase(pattern, converted, src.length);
    }
  }
  // 3, 4. The deletion is recorded first; without memory for it nothing
  // changes. A large one whose step holds no deleted bytes yet hands its
  // blocks to the step as they are (prepared here, filled by the deletion)
  // instead of copying them.
  if (flags & kReplaceCloseBefore) CloseStep(j);
  const Journal journalBefore = *j;
  const u32 modifiedBefore = d->modified, autoSaveBefore = d->modifiedSinceAutoSave;
  CompactText *taken = nullptr;
  DeletedBytes keep = {};
  if (e - a >= kDeletionTaken && CanRecordTaken(j, a, e)) {
    void *steps = j->steps;
    const int grown = GrowArray(&steps, sizeof(Step), &j->capacity, j->count + 1);
    j->steps = static_cast<Step *>(steps);
    taken = grown ? CompactPrepareKeep(s, a, e, &keep) : nullptr;
    if (!taken) {
      Free(converted);
      Notify(d, kNotifyOutOfMemory);
      return 0;
    }
  } else if (!Record(j, s, a, e, 0)) {
    Free(converted);
    Notify(d, kNotifyOutOfMemory);
    return 0;
  }
  *outCount = 0;
  // 5.
  d->modified = 1;
  d->modifiedSinceAutoSave = 1;
  if (d->events.status) d->events.status(d->events.context, d, TXT_REPLACING);
  // What the view needs to know: the first row the edit touches (the row
  // before it when a CR there may join an LF), and where the hard lines after
  // the edit were.
  const bool view = d->events.relayout || d->events.repaint;
  u32 firstRow = 0, rowsBefore = 0, hardAfterBefore = 0;
  if (view) {
    firstRow = RowOfPosition(s, a);
    if (firstRow > 0 && RowStart(s, firstRow) == a) firstRow--;
    rowsBefore = RowCount(s);
    hardAfterBefore = RowHardLine(s, RowOfPosition(s, e));
  }
  // 6, 7.
  if (taken) {
    StoreDeleteKeeping(s, a, e, kStoreRangeUpdate, &keep);
    RangeSetsOnDelete(s, a, e);
    CompactFinishKeep(taken);
    RecordTaken(j, taken, a, e);
  } else {
    DeleteRange(s, a, e, 0);
  }
  u32 missing = 0;
  if (src.length) {
    int r = Insert(s, a, src, kStoreRangeUpdate);
    if (r == -2) Notify(d, kNotifyOutOfMemory);  // inserted, a range set not updated
    if (r > 0) missing = src.length;
  }
  u32 inserted = src.length - missing;
  if (a == e && missing) {
    // Nothing was deleted and nothing inserted: no step, no change.
    if (j->count > journalBefore.count) CompactFree(j->steps[j->count - 1].deleted);
    j->count = journalBefore.count;
    j->closed = journalBefore.closed;
    j->groupStartPending = journalBefore.groupStartPending;
    d->modified = modifiedBefore;
    d->modifiedSinceAutoSave = autoSaveBefore;
    Free(converted);
    *outCount = -1;
    Notify(d, kNotifyOutOfMemory);
    return 0;
  }
  // 8.
  if (flags & kReplaceCountTyped) d->typedCount += inserted;
  // 9. The insertion goes into the step the deletion went into.
  if (!Record(j, nullptr, a, a, inserted)) {
    DeleteRange(s, a, a + inserted, 0);
    missing = src.length;
    inserted = 0;
  }
  Free(converted);
  if (missing) {
    *outCount = static_cast<i32>(missing > 0x7FFFFFFFu ? 0x7FFFFFFFu : missing);
    Notify(d, kNotifyOutOfMemory);
  }
  // 10.
  if (flags & kReplaceCloseAfter) CloseStep(j);
  // 11.
  int layout = 0;
  if (d->events.relayout) layout = d->events.relayout(d->events.context, d, firstRow, a + inserted);
  const u32 end = a + inserted;
  u32 caret = (flags & kReplaceCaretAtStart) ? a : end;
  u32 anchor = caret;
  if (flags & kReplaceSelectInserted) anchor = (flags & kReplaceCaretAtStart) ? end : a;
  SetSelection(d, anchor, caret);
  if (d->events.repaint) {
    const u32 lastRow = RowOfPosition(s, end);
    bool toEnd = RowCount(s) != rowsBefore || RowHardLine(s, lastRow) != hardAfterBefore;
    d->events.repaint(d->events.context, d, firstRow, lastRow, toEnd, flags & (kReplaceView1 | kReplaceView32));
  }
  // 12.
  if (!(flags & (kReplaceIntoRedo | kReplaceKeepRedo))) ClearJournal(&d->redo);
  // 13.
  Notify(d, kNotifyChange);
  if ((flags & kReplaceCheckOccurrences) && d->events.checkOccurrences) d->events.checkOccurrences(d->events.context, d);
  Notify(d, kNotifyUpdate);
  if (missing) return 0;
  if (layout < 0) {
    Notify(d, kNotifyOutOfMemory);
    return 2;
  }
  return 1;
}

namespace {

// An overwrite of [a, a + n) about to be made (its step recorded): the
// document marked changed, the status told; the first row the view redraws.
u32 StartOverwrite(Document *d, u32 a) {
  TextStore *s = &d->store;
  d->modified = 1;
  d->modifiedSinceAutoSave = 1;
  if (d->events.status) d->events.status(d->events.context, d, TXT_REPLACING);
  u32 firstRow = RowOfPosition(s, a);
  if (firstRow > 0 && RowStart(s, firstRow) == a) firstRow--;
  return firstRow;
}

// An overwrite of [a, e) made: the range sets, the step closed, the view,
// the selection and the notifications, as Replace selection does them.
int FinishOverwrite(Document *d, Journal *j, u32 a, u32 e, u32 firstRow, u32 flags) {
  TextStore *s = &d->store;
  const u32 n = e - a;
  // The range sets as an insertion of the new bytes and a deletion of the old.
  RangeSetsOnInsert(s, a, n, s->length - n);
  RangeSetsOnDelete(s, a + n, e + n);
  if (flags & kReplaceCountTyped) d->typedCount += n;
  if (flags & kReplaceCloseAfter) CloseStep(j);
  int layout = 0;
  if (d->events.relayout) layout = d->events.relayout(d->events.context, d, firstRow, e);
  u32 caret = (flags & kReplaceCaretAtStart) ? a : e;
  u32 anchor = caret;
  if (flags & kReplaceSelectInserted) anchor = (flags & kReplaceCaretAtStart) ? e : a;
  SetSelection(d, anchor, caret);
  if (d->events.repaint) {
    const u32 lastRow = RowOfPosition(s, e);
    d->events.repaint(d->events.context, d, firstRow, lastRow, false, flags & (kReplaceView1 | kReplaceView32));
  }
  if (!(flags & (kReplaceIntoRedo | kReplaceKeepRedo))) ClearJournal(&d->redo);
  Notify(d, kNotifyChange);
  if ((flags & kReplaceCheckOccurrences) && d->events.checkOccurrences) d->events.checkOccurrences(d->events.context, d);
  Notify(d, kNotifyUpdate);
  if (layout < 0) {
    Notify(d, kNotifyOutOfMemory);
    return 2;
  }
  return 1;
}

// Whether no newline appears, goes or changes where the source's bytes
// would replace as many of the store's from position a. (A branch-free pass
// over each piece: the compiler vectorises it.)
bool NewlinesKept(const TextStore *s, u32 a, const ByteSource &src) {
  u8 changed = 0;
  u32 k = 0;
  ForEachSourcePiece(src, [&](const char *piece, u32 len) {
    u32 off = 0;
    ForEachPiece(s, a + k, len, [&](const char *p, u32 m) {
      const u8 *o = reinterpret_cast<const u8 *>(p), *c = reinterpret_cast<const u8 *>(piece + off);
      u8 bad = 0;
      for (u32 i = 0; i < m; i++) {
        const u8 newline = (o[i] == '\r') | (o[i] == '\n') | (c[i] == '\r') | (c[i] == '\n');
        bad |= newline & (o[i] != c[i]);
      }
      changed |= bad;
      off += m;
    });
    k += len;
  });
  return !changed;
}

}  // namespace

int OverwriteSelection(Document *d, const char *bytes, u32 flags) {
  TextStore *s = &d->store;
  Journal *j = (flags & kReplaceIntoRedo) ? &d->redo : &d->undo;
  const u32 a = d->selStart->position, e = d->selEnd->position < s->length ? d->selEnd->position : s->length;
  if (a >= e) return -2;
  const u32 n = e - a;
  // A newline that would appear, go or change makes it a general edit.
  if (!NewlinesKept(s, a, BytesSource(bytes, n))) return -2;
  // The old bytes and the new length, in one step. Room for two steps first,
  // so that recording the insertion (which copies nothing) cannot fail.
  void *steps = j->steps;
  const int grown = GrowArray(&steps, sizeof(Step), &j->capacity, j->count + 2);
  j->steps = static_cast<Step *>(steps);
  if (flags & kReplaceCloseBefore) CloseStep(j);
  if (!grown || !Record(j, s, a, e, 0)) {
    Notify(d, kNotifyOutOfMemory);
    return 0;
  }
  if (!Record(j, nullptr, a, a, n)) return 0;  // not reached: no memory needed
  const u32 firstRow = StartOverwrite(d, a);
  u32 k = 0;
  ForEachPiece(s, a, n, [&](char *p, u32 len) {
    memcpy(p, bytes + k, len);
    k += len;
  });
  return FinishOverwrite(d, j, a, e, firstRow, flags);
}


int OverwriteSelectionPieces(Document *d, char **pieces, const u32 *lengths, u32 n, u32 flags) {
  TextStore *s = &d->store;
  Journal *j = (flags & kReplaceIntoRedo) ? &d->redo : &d->undo;
  const u32 a = d->selStart->position, e = d->selEnd->position < s->length ? d->selEnd->position : s->length;
  if (a >= e || e - a != n || n < kDeletionTaken || s->noRowIndex) return -2;
  const ByteSource src = PiecesSource(pieces, n, lengths);
  if (!(flags & kReplaceSameNewlines) && !NewlinesKept(s, a, src)) return -2;
  // Room for the step first; the old blocks then go to it as they are.
  void *steps = j->steps;
  const int grown = GrowArray(&steps, sizeof(Step), &j->capacity, j->count + 2);
  j->steps = static_cast<Step *>(steps);
  if (flags & kReplaceCloseBefore) CloseStep(j);
  if (!CanRecordTaken(j, a, e)) return -2;
  DeletedBytes keep = {};
  CompactText *taken = grown ? CompactPrepareKeep(s, a, e, &keep) : nullptr;
  if (!taken || StoreSwapBytes(s, a, src, &keep) != 0) {
    CompactFree(taken);
    Notify(d, kNotifyOutOfMemory);
    return 0;
  }
  CompactFinishKeep(taken);
  RecordTaken(j, taken, a, e);
  if (!Record(j, nullptr, a, a, n)) return 0;  // not reached: the step takes it
  j->steps[j->count - 1].groupStart |= kStepSwapped;
  const u32 firstRow = StartOverwrite(d, a);
  return FinishOverwrite(d, j, a, e, firstRow, flags);
}

int ReplaceSelectionString(Document *d, const char *text, u32 flags, i32 *outCount) {
  u32 n = text ? static_cast<u32>(strlen(text)) : 0;
  return ReplaceSelectionCounted(d, text, n, flags, outCount);
}

int ReplaceSelectionCounted(Document *d, const char *bytes, u32 length, u32 flags, i32 *outCount) {
  ReplaceSource src = {length, bytes, nullptr, nullptr, nullptr};
  return ReplaceSelection(d, &src, flags | kReplaceFromBytes, outCount);
}

int ReplaceSelectionPieces(Document *d, char **pieces, u32 length, u32 flags, i32 *outCount, const u32 *lengths) {
  ReplaceSource src = {length, nullptr, nullptr, pieces, lengths};
  return ReplaceSelection(d, &src, flags | kReplaceFromBytes, outCount);
}

int ReplaceSelectionStore(Document *d, const TextStore *store, u32 flags, i32 *outCount) {
  ReplaceSource src = {0, nullptr, store, nullptr, nullptr};
  return ReplaceSelection(d, &src, flags & ~kReplaceFromBytes, outCount);
}
