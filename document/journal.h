// The records of the undo and redo journals. The operations are in undo.h.
//
// A journal is a stack of steps, oldest first. A step records one contiguous
// replacement: at `position`, `insertedLength` bytes are now where the bytes of
// `deleted` used to be. Undoing a step replaces those inserted bytes with the
// deleted ones (itself a replacement, recorded in the other journal).
//
// Ownership: a journal owns its step array and every step's compact text.
#pragma once

#include <string.h>

#include "document/compact_text.h"

// Bits of a step's first word.
constexpr u32 kStepStartsGroup = 1;  // starts a group (every step recorded outside group mode)
constexpr u32 kStepBatch = 2;        // a batch of edits (below)
constexpr u32 kStepSwapped = 4;      // as many bytes, every CR and LF where it was (undone the same way)

struct Step {
  u32 groupStart;      // kStepStartsGroup, kStepBatch, kStepSwapped
  u32 position;
  u32 insertedLength;
  CompactText *deleted;  // the deleted bytes, or null
};

struct Journal {
  u32 groupMode;          // nonzero while a group of steps is being recorded
  u32 closeInsideGroup;   // nonzero: closing requests count even in group mode
  u32 groupStartPending;  // nonzero: the next new step starts a group
  u32 closed;             // nonzero: the next change makes a new step
  i32 savedIndex;         // step count at the last save or load; -1 unreachable
  u32 count;
  u32 capacity;           // at least 8
  Step *steps;
};

// A batch step records many replacements made at once (a replace-all hands
// them over in batches): `deleted` holds their deleted bytes, and its record
// is followed by the table below, one entry per replacement in ascending
// order, positions as they are after the batch. `position` is the first
// entry's, `insertedLength` the sum of the entries'. A batch step is never
// extended.
//
// The table is uniform when every replacement deleted the same bytes and
// inserted as many (a literal replace-all): then `deleted` holds those bytes
// once, the table the two lengths once and a position per entry (4 bytes an
// entry instead of 12, and no copy of the deleted bytes per entry).
// Otherwise `deleted` holds every entry's deleted bytes one after another,
// and the table is narrow (a position and two 16-bit lengths, 8 bytes an
// entry) when no entry's length reaches 65,536.
struct BatchEdit {
  u32 position;
  u32 insertedLength;
  u32 deletedLength;
};
enum BatchTableFormat : u32 {
  kBatchFull = 0,     // count BatchEdit records
  kBatchUniform = 1,  // count positions, the lengths below
  kBatchNarrow = 2,   // count (position, inserted | deleted << 16) pairs
};
struct BatchTable {
  u32 count;
  u32 format;                         // BatchTableFormat
  u32 insertedLength, deletedLength;  // of every entry of a uniform table
  u32 insertedAlike;                  // every entry inserted the same bytes
  u32 words[1];
};
inline u32 BatchTableBytes(u32 count, u32 format) {
  const u32 entry = format == kBatchUniform ? 4 : format == kBatchNarrow ? 8 : sizeof(BatchEdit);
  return static_cast<u32>(5 * sizeof(u32) + static_cast<u64>(count) * entry);
}
inline BatchEdit BatchEditAt(const BatchTable *t, u32 i) {
  if (t->format == kBatchUniform) return BatchEdit{t->words[i], t->insertedLength, t->deletedLength};
  if (t->format == kBatchNarrow) {
    const u32 lengths = t->words[2 * static_cast<size_t>(i) + 1];
    return BatchEdit{t->words[2 * static_cast<size_t>(i)], lengths & 0xFFFF, lengths >> 16};
  }
  BatchEdit e;
  memcpy(&e, t->words + 3 * static_cast<size_t>(i), sizeof e);
  return e;
}
inline void SetBatchEdit(BatchTable *t, u32 i, const BatchEdit &e) {
  if (t->format == kBatchUniform) {
    t->words[i] = e.position;
  } else if (t->format == kBatchNarrow) {
    t->words[2 * static_cast<size_t>(i)] = e.position;
    t->words[2 * static_cast<size_t>(i) + 1] = e.insertedLength | e.deletedLength << 16;
  } else {
    memcpy(t->words + 3 * static_cast<size_t>(i), &e, sizeof e);
  }
}
// Where entry i's deleted bytes lie in the step's text, given `offset`, the
// sum of the earlier entries' deleted lengths.
inline u32 BatchDeletedOffset(const BatchTable *t, u32 offset) { return t->format == kBatchUniform ? 0 : offset; }
inline bool IsBatch(const Step &st) { return (st.groupStart & kStepBatch) != 0; }
inline bool StartsGroup(const Step &st) { return (st.groupStart & kStepStartsGroup) != 0; }
// The table of a batch step: right after the compact text's record.
inline BatchTable *BatchTableOf(const Step &st) { return reinterpret_cast<BatchTable *>(st.deleted + 1); }

static_assert(sizeof(Step) == 12 + sizeof(void *) + (sizeof(void *) == 8 ? 4 : 0), "a step is three words and a pointer");
static_assert(sizeof(Journal) == 28 + sizeof(void *) + (sizeof(void *) == 8 ? 4 : 0), "a journal is seven words and a pointer");
