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

struct Step {
  u32 groupStart;      // 1: starts a group (every step recorded outside group mode)
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

static_assert(sizeof(Step) == 12 + sizeof(void *) + (sizeof(void *) == 8 ? 4 : 0), "a step is three words and a pointer");
static_assert(sizeof(Journal) == 28 + sizeof(void *) + (sizeof(void *) == 8 ? 4 : 0), "a journal is seven words and a pointer");
