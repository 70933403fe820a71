// Compact texts: the deleted bytes that an undo step keeps.
//
// A compact text is the block part of a text store without a row index,
// packed: its group and block arrays are sized exactly, the first and the
// last block's buffers are trimmed to their exact length (the blocks between
// keep 4096- or 8192-byte buffers). To read one, view it as a store
// (CompactView); to add bytes, CompactAdd expands it into a temporary store
// (bringing the first and last buffers back to full size), inserts, and
// packs it again.
//
// Ownership: a compact text owns its arrays and buffers; CompactFree
// releases everything. Failure: the functions that allocate return null / -1
// and leave an existing text exactly as it was.
#pragma once

#include "document/text_store.h"

struct CompactText {
  u32 length;
  u32 groupCount;
  BlockGroup *groups;
  u32 blockCount;
  TextBlock *blocks;
};
static_assert(sizeof(CompactText) == (sizeof(void *) == 4 ? 20 : 32), "a compact text is five words");

// A new compact text holding [from, to) of a store (from < to); null when out
// of memory.
[[nodiscard]] CompactText *CompactCreate(const TextStore *source, u32 from, u32 to);
// A compact text of n bytes not yet written, whose record is followed by
// extraBytes of the caller's (freed with it; a batch step keeps its table
// there). Null when out of memory.
[[nodiscard]] CompactText *CompactAllocate(u32 n, u32 extraBytes);
// Writes len bytes at offset (inside the text).
void CompactWrite(CompactText *text, u32 offset, const char *bytes, u32 len);
// Adds [from, to) of a store at the front or at the back. 0, or -1 with the
// text unchanged.
[[nodiscard]] int CompactAdd(CompactText *text, const TextStore *source, u32 from, u32 to, bool front);
void CompactFree(CompactText *text);

// A compact text of [from, to) of a store made by deleting that range
// (StoreDeleteKeeping) instead of copying it: CompactPrepareKeep allocates
// everything first (null when out of memory; the store is not touched) and
// fills `keep`; then the deletion hands the bytes over; then CompactFinishKeep
// completes the text. CompactFree releases a prepared text never filled.
[[nodiscard]] CompactText *CompactPrepareKeep(const TextStore *source, u32 from, u32 to, DeletedBytes *keep);
void CompactFinishKeep(CompactText *text);

// A read-only store over a compact text (it borrows the arrays; valid while
// the text is unchanged). Use it as a ByteSource or with ReadText.
struct CompactStoreView {
  TextStore store;
  Row row;
  RowGroup group;
  RowGroupShift shift;
};
void CompactView(const CompactText *text, CompactStoreView *view);

// Index bytes (the record, its arrays) and text bytes (exact first and last
// buffers, full buffers between) of a compact text.
void CompactMemory(const CompactText *text, u64 *indexBytes, u64 *textBytes);
