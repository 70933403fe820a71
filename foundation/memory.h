// Heap blocks, growable arrays, and the reallocation that survives a
// fragmented address space by parking the data in a paging-file mapping.
//
// Failure conventions, relied upon everywhere above:
// - Allocate, Reallocate and GrowArray return null / 0 on failure and leave the
//   old block (and the array's pointer and capacity) exactly as they were.
// - ReallocateOrFree and ReallocateThroughPagingFile free the old block when
//   they fail; the caller must drop its pointer and report "Out of Memory!".
#pragma once

#include "foundation/types.h"

// Progress of a long copy: done and total bytes.
struct ProgressSink {
  void (*report)(void *context, u64 done, u64 total);
  void *context;
  // The phase text of the work from now on (a text slot), or null.
  void (*phase)(void *context, int textSlot);
};

[[nodiscard]] void *Allocate(size_t size);
void Free(void *block);
// Allocates when block is null; on failure the old block stays valid.
[[nodiscard]] void *Reallocate(void *block, size_t size);
// As Reallocate, but frees the old block on failure.
[[nodiscard]] void *ReallocateOrFree(void *block, size_t size);

// A growable array of fixed-size entries.
struct GrowableArray {
  u32 capacity;  // in entries
  u32 count;
  void *entries;
};

// Makes room for `needed` entries of entrySize bytes: the capacity doubles,
// starting from 1, until it is at least `needed`. Never shrinks. Returns
// nonzero on success; on failure *entries and *capacity keep their values.
[[nodiscard]] int GrowArray(void **entries, size_t entrySize, u32 *capacity, u32 needed);
[[nodiscard]] inline int GrowArray(GrowableArray *a, size_t entrySize, u32 needed) {
  return GrowArray(&a->entries, entrySize, &a->capacity, needed);
}

// Views of this many bytes carry the data to and from the paging file.
constexpr u32 kPagingViewBytes = 8388608;

// Reallocates block (of which bytesInUse are meaningful) to newSize bytes.
// When the heap cannot, the data goes out to a paging-file mapping, the block
// is freed and the heap compacted, a new block is allocated and the data comes
// back; progress runs from 0 to 2 x bytesInUse. Returns null on failure, with
// the old block already freed. progress may be null.
[[nodiscard]] void *ReallocateThroughPagingFile(void *block, size_t bytesInUse, size_t newSize,
                                                const ProgressSink *progress);
