// The records of the undo and redo journals. The operations are in undo.h.
//
// A journal is a stack of steps, oldest first. A step records one contiguous
// replacement: at `position`, `insertedLength` bytes are now where the bytes of
// `deleted` used to be. Undoing a step replaces those inserted bytes with the
// deleted ones (itself a replacement, recorded in the other journal).
//
// Ownership: a journal owns its step array and every step's compact text.
#pragma once

#include "document/compact_text.h"

// Bits of a step's first word.
constexpr u32 kStepStartsGroup = 1;  // starts a group (every step recorded outside group mode)
constexpr u32 kStepBatch = 2;        // a batch of edits (below)

struct Step {
  u32 groupStart;      // kStepStartsGroup, kStepBatch
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
// them over in batches): `deleted` holds all their deleted bytes, one after
// another, and its record is followed by the table below, one entry per
// replacement in ascending order, positions as they are after the batch.
// `position` is the first entry's, `insertedLength` the sum of the entries'.
// A batch step is never extended.
struct BatchEdit {
  u32 position;
  u32 insertedLength;
  u32 deletedLength;
};
struct BatchTable {
  u32 count;
  BatchEdit edits[1];  // count entries
};
inline bool IsBatch(const Step &st) { return (st.groupStart & kStepBatch) != 0; }
inline bool StartsGroup(const Step &st) { return (st.groupStart & kStepStartsGroup) != 0; }
// The table of a batch step: right after the compact text's record.
inline BatchTable *BatchTableOf(const Step &st) { return reinterpret_cast<BatchTable *>(st.deleted + 1); }

static_assert(sizeof(Step) == 12 + sizeof(void *) + (sizeof(void *) == 8 ? 4 : 0), "a step is three words and a pointer");
static_assert(sizeof(Journal) == 28 + sizeof(void *) + (sizeof(void *) == 8 ? 4 : 0), "a journal is seven words and a pointer");
