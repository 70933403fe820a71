// Batches of edits, applied in one pass and recorded as one undo step.
//
// A batch that changes no newline (a replace-all of words, its undo and
// redo) is made in place, block by block (store_batch.cpp). Any other goes
// through insertions and deletions of clusters.
//
// The edits are grouped into clusters: runs of edits whose gaps are short
// and whose new text (gaps included) stays within kClusterBytes. A cluster's new
// text is built in one buffer (an edit that stands alone is inserted straight
// from its source) and inserted in front of the cluster's old span; once every
// cluster has been inserted, the old spans are deleted. Insertions are the only
// steps that can fail: a failure deletes the clusters inserted so far, which
// needs no memory, so the batch is all or nothing. The untouched text between
// clusters is never copied, and the text inside a cluster is copied once.
#include "document/batch_edit.h"

#include <string.h>

#include "document/compact_text.h"
#include "document/edit.h"
#include "document/long_operation.h"
#include "document/position.h"
#include "document/range_set.h"
#include "document/store_internal.h"
#include "document/undo.h"

namespace {

// A gap of unchanged text up to this long is copied into the cluster. Each
// cluster costs a splice of the row index, but one that copies long gaps
// makes as many rows as they hold, and the rows a cluster adds before its
// old span goes can split a row group, which renumbers every row after it:
// edits a few lines apart are better made apart.
constexpr u32 kClusterGap = 256;
// A cluster's new text stops growing at this size: every cluster costs
// a splice of the row index, so fewer and longer ones are cheaper.
constexpr u32 kClusterBytes = 8388608;

// The cluster buffer, kept from one batch to the next of a run: megabytes of
// fresh memory cost more to touch than to copy. Released when the run ends.
char *g_scratch;
u32 g_scratchSize;

char *Scratch(u32 n) {
  if (n > g_scratchSize) {
    Free(g_scratch);
    g_scratch = nullptr;
    g_scratchSize = 0;
    g_scratch = static_cast<char *>(Allocate(n));
    if (g_scratch) g_scratchSize = n;
  }
  return g_scratch;
}

void Notify(Document *d, DocumentNotification what) {
  if (d->events.notify) d->events.notify(d->events.context, d, what);
}

// Cluster [first, end) of the edits starting at `first`: the greedy run
// described above. newLength receives the cluster's new text length.
u32 ClusterEnd(const BatchRequest *e, u32 count, u32 first, u32 *newLength) {
  u64 n = e[first].length;
  u32 i = first + 1;
  while (i < count) {
    const u32 gap = e[i].from - e[i - 1].to;
    if (gap > kClusterGap || n + gap + e[i].length > kClusterBytes) break;
    n += gap + e[i].length;
    i++;
  }
  *newLength = static_cast<u32>(n);
  return i;
}

// Inserts a cluster's new text at `at`, where the store holds its old span
// moved by `shift` bytes (the clusters before it, inserted and not yet
// deleted). 0, or nonzero when memory ran out (nothing inserted).
int InsertCluster(TextStore *s, const BatchRequest *e, u32 first, u32 end, u32 newLength, const ByteSource &text,
                  u32 shift, char *buffer) {
  if (newLength == 0) return 0;
  const u32 at = e[first].from + shift;
  if (end == first + 1) {
    const BatchRequest &r = e[first];
    if (text.bytes) return InsertText(s, at, text.bytes + r.offset, r.length, 0);
    return InsertRange(s, at, text.store, text.from + r.offset, text.from + r.offset + r.length, 0);
  }
  u32 k = 0;
  StoreCursor cursor(s);
  for (u32 i = first; i < end; i++) {
    if (i > first) {
      const u32 gap = e[i].from - e[i - 1].to;
      cursor.Copy(e[i - 1].to + shift, gap, buffer + k);
      k += gap;
    }
    if (text.bytes) {
      memcpy(buffer + k, text.bytes + e[i].offset, e[i].length);
    } else {
      SourceCopy(text, e[i].offset, e[i].length, buffer + k);
    }
    k += e[i].length;
  }
  return InsertText(s, at, buffer, newLength, 0);
}

// The longest new text of a cluster of more than one edit (the room
// ApplyClusters needs).
u32 ClusterBuffer(const BatchRequest *e, u32 count) {
  u32 buffer = 0;
  for (u32 i = 0, n; i < count;) {
    const u32 end = ClusterEnd(e, count, i, &n);
    if (end > i + 1 && n > buffer) buffer = n;
    i = end;
  }
  return buffer;
}

// Every cluster's new text in front of its old span, then the old spans go;
// buffer is the longest cluster's new text. 0, or -1 with nothing changed.
int ApplyClusters(TextStore *s, const BatchRequest *e, u32 count, const ByteSource &text, u32 buffer) {
  char *scratch = buffer ? Scratch(buffer) : nullptr;
  if (buffer && !scratch) return -1;
  u32 shift = 0;
  for (u32 i = 0, n; i < count;) {
    const u32 end = ClusterEnd(e, count, i, &n);
    if (InsertCluster(s, e, i, end, n, text, shift, scratch) != 0) {
      // All or nothing.
      for (u32 c = 0, m; c < i;) {
        const u32 ce = ClusterEnd(e, count, c, &m);
        if (m) DeleteRange(s, e[c].from, e[c].from + m, 0);
        c = ce;
      }
      return -1;
    }
    shift += n;
    i = end;
  }
  i64 moved = 0;
  for (u32 i = 0, n; i < count;) {
    const u32 end = ClusterEnd(e, count, i, &n);
    const u32 at = static_cast<u32>(e[i].from + moved + n);
    const u32 span = e[end - 1].to - e[i].from;
    DeleteRange(s, at, at + span, 0);
    moved += static_cast<i64>(n) - span;
    i = end;
  }
  return 0;
}

// Whether the edits [i0, i1) delete the `del` bytes at `first`.
bool SameDeleted(const TextStore *s, const BatchRequest *e, u32 i0, u32 i1, const char *first, u32 del) {
  StoreCursor cursor(s);
  bool same = true;
  for (u32 i = i0; i < i1 && same; i++) {
    // Compared where they stand, without a copy or a call for a few bytes.
    if (const char *p = cursor.Within(e[i].from, del)) {
      for (u32 k = 0; k < del; k++) same &= p[k] == first[k];
      continue;
    }
    u32 at = 0;
    same = cursor.Pieces(e[i].from, del, [&](const char *p, u32 n) {
      for (u32 k = 0; k < n; k++) {
        if (p[k] != first[at + k]) return false;
      }
      at += n;
      return true;
    });
  }
  return same;
}

// Whether every edit deletes the same bytes and inserts as many (a literal
// replace-all and its undo): its undo step then keeps those bytes once.
// known: the sender knows the deleted bytes are alike.
bool Uniform(const TextStore *s, const BatchRequest *e, u32 count, bool known) {
  const u32 del = e[0].to - e[0].from;
  char first[64];
  if (del > sizeof first) return false;
  for (u32 i = 1; i < count; i++) {
    if (e[i].length != e[0].length || e[i].to - e[i].from != del) return false;
  }
  if (del == 0 || known) return true;
  StoreCursor cursor(s);
  cursor.Copy(e[0].from, del, first);
  return SameDeleted(s, e, 1, count, first, del);
}

// The undo step's record: the edits' deleted bytes (the first edit's alone
// when uniform) and their places after the batch.
void WriteRecord(const TextStore *s, const BatchRequest *e, u32 count, bool uniform, CompactText *record,
                 BatchTable *table) {
  u32 k = 0;
  StoreCursor cursor(s);
  auto keep = [&](const BatchRequest &r) {
    cursor.Pieces(r.from, r.to - r.from, [&](const char *p, u32 n) {
      CompactWrite(record, k, p, n);
      k += n;
      return true;
    });
  };
  i64 moved = 0;
  if (uniform) {
    // The first edit's bytes, then the places alone.
    keep(e[0]);
    const i64 step = static_cast<i64>(e[0].length) - (e[0].to - e[0].from);
    u32 *words = table->words;
    for (u32 i = 0; i < count; i++, moved += step) words[i] = static_cast<u32>(e[i].from + moved);
    return;
  }
  for (u32 i = 0; i < count; i++) {
    keep(e[i]);
    SetBatchEdit(table, i, BatchEdit{static_cast<u32>(e[i].from + moved), e[i].length, e[i].to - e[i].from});
    moved += static_cast<i64>(e[i].length) - (e[i].to - e[i].from);
  }
}

int AddRanges(Document *d, u32 set, const BatchRequest *e, u32 count) {
  RangeSet *rs = &d->store.rangeSets[set];
  for (u32 i = 0; i < count; i++) {
    if (RangeSetAdd(rs, e[i].from, e[i].to - e[i].from, e[i].offset) != 0) {
      // The batch comes after every range of the set the run has added, so
      // taking its span out again leaves the set as it was.
      if (i > 0 && e[0].from < e[i - 1].to) RangeSetRemove(rs, e[0].from, e[i - 1].to);
      Notify(d, kNotifyOutOfMemory);
      return kResultOutOfMemory;
    }
  }
  return 0;
}

bool Valid(const BatchRequest *e, u32 count, u32 length, u64 textLength) {
  for (u32 i = 0; i < count; i++) {
    if (e[i].from > e[i].to || e[i].to > length) return false;
    if (i > 0 && e[i - 1].to > e[i].from) return false;
    if (static_cast<u64>(e[i].offset) + e[i].length > textLength) return false;
  }
  return true;
}

}  // namespace

int ApplyBatch(Document *d, const BatchRequest *e, u32 count, const ByteSource &text, u32 flags) {
  TextStore *s = &d->store;
  if (!Valid(e, count, s->length, text.length)) return kBatchRejected;
  if (count == 0) return 0;
  u64 deleted = 0, inserted = 0;
  u32 longest = 0;
  for (u32 i = 0; i < count; i++) {
    deleted += e[i].to - e[i].from;
    inserted += e[i].length;
    longest |= (e[i].to - e[i].from) | e[i].length;
  }
  if (s->length - deleted + inserted > 0xFFFFFFFEu) {
    Notify(d, kNotifyOutOfMemory);
    return kResultOutOfMemory;
  }

  // The undo step first: the deleted bytes and the table of the edits.
  Journal *j = (flags & kReplaceIntoRedo) ? &d->redo : &d->undo;
  void *steps = j->steps;
  const int grown = GrowArray(&steps, sizeof(Step), &j->capacity, j->count + 1);
  j->steps = static_cast<Step *>(steps);
  const bool uniform = Uniform(s, e, count, (flags & kBatchSameDeleted) != 0);
  // The undo of this batch deletes what it inserts: alike when every edit
  // takes its bytes from the same place.
  bool insertedAlike = true;
  for (u32 i = 1; i < count && insertedAlike; i++) {
    insertedAlike = e[i].length == e[0].length && e[i].offset == e[0].offset;
  }
  const u32 format = uniform ? kBatchUniform : longest < 0x10000 ? kBatchNarrow : kBatchFull;
  const u32 kept = uniform ? e[0].to - e[0].from : static_cast<u32>(deleted);
  CompactText *record = grown ? CompactAllocate(kept, BatchTableBytes(count, format)) : nullptr;
  if (!record) {
    Notify(d, kNotifyOutOfMemory);
    return kResultOutOfMemory;
  }
  Step step = {};
  step.deleted = record;
  BatchTable *table = BatchTableOf(step);
  table->count = count;
  table->format = format;
  table->insertedLength = e[0].length;
  table->deletedLength = e[0].to - e[0].from;
  table->insertedAlike = insertedAlike;
  WriteRecord(s, e, count, uniform, record, table);

  // What the view needs: the first row touched, the rows and the hard line
  // after the batch as they were.
  const bool view = d->events.relayout || d->events.repaint;
  u32 firstRow = 0, rowsBefore = 0, hardAfterBefore = 0;
  if (view) {
    firstRow = RowOfPosition(s, e[0].from);
    if (firstRow > 0 && RowStart(s, firstRow) == e[0].from) firstRow--;
    rowsBefore = RowCount(s);
    hardAfterBefore = RowHardLine(s, RowOfPosition(s, e[count - 1].to));
  }

  // Edits that change no newline are made in place, block by block; the
  // range sets are then cut and shifted cluster by cluster, as the
  // insertions and deletions below would have.
  const u32 lengthBefore = s->length;
  const int inPlace = StoreReplaceInPlace(s, e, count, text, uniform);
  if (inPlace < 0) {
    CompactFree(record);
    Notify(d, kNotifyOutOfMemory);
    return kResultOutOfMemory;
  }
  bool maintained = false;
  for (u32 k = 0; k < kRangeSetCount; k++) maintained |= s->rangeSets[k].maintained != 0;
  if (inPlace != 0) {
    if (ApplyClusters(s, e, count, text, ClusterBuffer(e, count)) != 0) {
      CompactFree(record);
      Notify(d, kNotifyOutOfMemory);
      return kResultOutOfMemory;
    }
  } else if (maintained) {
    i64 moved = 0;
    for (u32 i = 0, n; i < count;) {
      const u32 end = ClusterEnd(e, count, i, &n);
      const u32 at = static_cast<u32>(e[i].from + moved);
      const u32 span = e[end - 1].to - e[i].from;
      RangeSetsOnInsert(s, at, n, static_cast<u32>(lengthBefore + moved));
      RangeSetsOnDelete(s, at + n, at + n + span);
      moved += static_cast<i64>(n) - span;
      i = end;
    }
  }

  step.groupStart = kStepBatch | ((!j->groupMode || j->groupStartPending) ? kStepStartsGroup : 0);
  step.position = BatchEditAt(table, 0).position;
  step.insertedLength = static_cast<u32>(inserted);
  j->steps[j->count++] = step;
  j->closed = 1;
  j->groupStartPending = 0;
  d->modified = 1;
  d->modifiedSinceAutoSave = 1;
  if (d->events.status) d->events.status(d->events.context, d, TXT_REPLACING);

  const BatchEdit last = BatchEditAt(table, count - 1);
  const u32 caret = last.position + last.insertedLength;
  // The rows of each cluster laid out anew (not the untouched text between
  // clusters, which may be most of the document).
  int layout = 0;
  if (d->events.relayout) {
    i64 before = 0;
    for (u32 i = 0, n; i < count && layout == 0;) {
      const u32 end = ClusterEnd(e, count, i, &n);
      const u32 start = static_cast<u32>(e[i].from + before);
      u32 row = RowOfPosition(s, start);
      if (row > 0 && RowStart(s, row) == start) row--;
      layout = d->events.relayout(d->events.context, d, row, start + n);
      before += static_cast<i64>(n) - (e[end - 1].to - e[i].from);
      i = end;
    }
  }
  SetSelection(d, caret, caret);
  if (d->events.repaint) {
    const u32 lastRow = RowOfPosition(s, caret);
    const bool toEnd = RowCount(s) != rowsBefore || RowHardLine(s, lastRow) != hardAfterBefore;
    d->events.repaint(d->events.context, d, firstRow, lastRow, toEnd, flags & (kReplaceView1 | kReplaceView32));
  }
  if (!(flags & (kReplaceIntoRedo | kReplaceKeepRedo))) ClearJournal(&d->redo);
  Notify(d, kNotifyChange);
  Notify(d, kNotifyUpdate);
  if (layout < 0) Notify(d, kNotifyOutOfMemory);
  return 0;
}

void ReleaseBatchScratch() {
  Free(g_scratch);
  g_scratch = nullptr;
  g_scratchSize = 0;
  ReleaseStoreBatchScratch();
}

int ApplyEditBatch(Document *d, const EditBatch *b) {
  if (!b || b->count > kBatchMaxEdits || (b->textLength > kBatchMaxText && b->count > 1)) return kBatchRejected;
  if (b->target == 0) {
    const int r = ApplyBatch(d, b->edits, b->count, BytesSource(b->text, b->textLength), b->flags & kBatchSameDeleted);
    if (!LongOperationRunning()) ReleaseBatchScratch();
    return r;
  }
  if (b->target != kSetPrimaryMatches && b->target != kSetSecondaryMatches) return kBatchRejected;
  if (!Valid(b->edits, b->count, d->store.length, 0xFFFFFFFFu)) return kBatchRejected;
  return AddRanges(d, b->target, b->edits, b->count);
}

// ---- the worker's side ------------------------------------------------------------------

int BatcherInit(EditBatcher *b, u32 target, int (*send)(void *, const EditBatch *), void *context) {
  memset(b, 0, sizeof *b);
  b->send = send;
  b->context = context;
  b->target = target;
  return 0;
}

void BatcherFree(EditBatcher *b) {
  Free(b->edits);
  Free(b->text);
  b->edits = nullptr;
  b->text = nullptr;
  b->count = b->textLength = 0;
}

int BatcherFlush(EditBatcher *b) {
  if (b->count == 0) return 0;
  EditBatch batch = {b->target, b->count, b->edits, b->text, b->textLength,
                     b->deletedKey != kNoDeletedKey ? kBatchSameDeleted : 0u};
  const int r = b->send(b->context, &batch);
  if (r != 0) return r;
  if (b->target == 0) {
    for (u32 i = 0; i < b->count; i++) b->shift += static_cast<i64>(b->edits[i].length) - (b->edits[i].to - b->edits[i].from);
  }
  b->count = 0;
  b->textLength = 0;
  b->sends++;
  return 0;
}

int BatcherAdd(EditBatcher *b, u32 from, u32 to, const char *bytes, u32 n, u64 deletedKey, bool asBefore) {
  // The same bytes as the edit before are not copied again: it points to them.
  bool shared = asBefore && b->count > 0 && b->edits[b->count - 1].length == n;
  if (b->count == kBatchMaxEdits || (b->count && !shared && b->textLength + static_cast<u64>(n) > kBatchMaxText)) {
    const int r = BatcherFlush(b);
    if (r != 0) return r;
    shared = false;
  }
  // Room grows by doubling, so that a small job allocates little.
  if (b->count == b->editCapacity) {
    void *p = b->edits;
    const int grown = GrowArray(&p, sizeof(BatchRequest), &b->editCapacity, b->count < 256 ? 256 : b->count + 1);
    b->edits = static_cast<BatchRequest *>(p);
    if (!grown) return kResultOutOfMemory;
  }
  if (!shared && b->textLength + static_cast<u64>(n) > b->textCapacity) {
    u64 want = b->textCapacity ? b->textCapacity : 4096;
    while (want < b->textLength + static_cast<u64>(n)) want *= 2;
    if (want > 0xFFFFFFFFu) return kResultOutOfMemory;
    void *p = Reallocate(b->text, static_cast<size_t>(want));
    if (!p) return kResultOutOfMemory;
    b->text = static_cast<char *>(p);
    b->textCapacity = static_cast<u32>(want);
  }
  if (b->count == 0) {
    b->deletedKey = deletedKey;
  } else if (deletedKey != b->deletedKey) {
    b->deletedKey = kNoDeletedKey;
  }
  const u32 at = static_cast<u32>(from + b->shift);
  if (shared) {
    b->edits[b->count] = BatchRequest{at, static_cast<u32>(to + b->shift), b->edits[b->count - 1].offset, n};
    b->count++;
    return 0;
  }
  b->edits[b->count++] = BatchRequest{at, static_cast<u32>(to + b->shift), b->textLength, n};
  if (n) memcpy(b->text + b->textLength, bytes, n);
  b->textLength += n;
  return 0;
}
