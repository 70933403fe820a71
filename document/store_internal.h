// Helpers shared by the text store's own files. Not for use outside document/.
#pragma once

#include <string.h>

#include "document/grouped_table.h"
#include "document/text_store.h"

// ---- the lookups of an edit ------------------------------------------------------

// The first steps of the two searches, over the small tables: the block
// group holding a position and a guess of its block; the span holding it and
// a guess of its row group; then the rows of that group that can hold it
// and a guess among them.
struct BlockStep {
  u32 group, first, last, rel, guess;
};
struct SpanStep {
  u32 span, first, last, guess;
};
struct RowStep {
  u32 first, last, guess, rel;
};

// An edit looks up one position's block and one position's row (they differ
// for an insertion, whose bytes join the block of the byte before). Made
// once, the searches' first steps serve every later lookup of those
// positions in the edit, and their cache misses are asked for together.
struct EditLookup {
  u32 blockPosition;  // kPositionEnd when its search has no steps
  BlockStep block;
  u32 rowPosition;    // likewise
  RowStep row;
};
// Takes the first steps and asks the memory for the entries the searches
// will read: the blocks around the guessed block, the row group, then the
// rows around the guessed row.
void StartLookups(const TextStore *s, u32 blockPosition, u32 rowPosition, EditLookup *out);
// BlockOfPosition and RowOfPosition, from the steps when they are for p.
// The store must not have changed since StartLookups.
u32 BlockOfPosition(const TextStore *s, u32 p, const EditLookup *look);
u32 RowOfPosition(const TextStore *s, u32 p, const EditLookup *look);

// The buffer size that a block of `length` bytes has.
inline u32 BufferSize(u32 length) { return length <= kBlockSmall ? kBlockSmall : kBlockLarge; }

// The ranges a chunk's buffer holds for `count` ranges.
inline u32 ChunkCapacity(u32 count) {
  return count <= g_storeLimits.groupFill ? g_storeLimits.groupFill : g_storeLimits.groupMax;
}

// Reads a store from front to back without looking a block up for every
// read: each read starts in the block where the last one ended (or after it;
// a read before it looks the block up again).
struct StoreCursor {
  const TextStore *s;
  u32 block = 0xFFFFFFFFu;
  u32 blockStart = 0;

  explicit StoreCursor(const TextStore *store) : s(store) {}
  // Calls fn(pointer, length) for the pieces of [p, p + n) until it returns
  // false; false then.
  template <class F>
  bool Pieces(u32 p, u32 n, F &&fn) {
    if (n == 0) return true;
    if (block == 0xFFFFFFFFu || p < blockStart) {
      block = BlockOfPosition(s, p);
      blockStart = BlockStart(s, block);
    }
    while (n) {
      const TextBlock &b = s->blocks.entries[block];
      if (p >= blockStart + b.length) {
        blockStart += b.length;
        block++;
        continue;
      }
      const u32 off = p - blockStart;
      const u32 take = b.length - off < n ? b.length - off : n;
      if (!fn(b.data + off, take)) return false;
      p += take;
      n -= take;
    }
    return true;
  }
  // The bytes [p, p + n) (n > 0) where they lie inside one block, or null.
  char *Within(u32 p, u32 n) {
    if (block == 0xFFFFFFFFu || p < blockStart) {
      const u32 b = BlockOfPosition(s, p);
      if (b >= s->blocks.count) return nullptr;
      block = b;
      blockStart = BlockStart(s, b);
    }
    for (;;) {
      const TextBlock &b = s->blocks.entries[block];
      if (p < blockStart + b.length) return p + n <= blockStart + b.length ? b.data + (p - blockStart) : nullptr;
      if (block + 1 >= s->blocks.count) return nullptr;
      blockStart += b.length;
      block++;
    }
  }
  // Copies [p, p + n) to out.
  void Copy(u32 p, u32 n, char *out) {
    Pieces(p, n, [&](const char *piece, u32 take) {
      memcpy(out, piece, take);
      out += take;
      return true;
    });
  }
};

// Calls fn(pointer, length) for the consecutive pieces of [from, from + n) of
// a store, block by block.
template <class F>
void ForEachPiece(const TextStore *s, u32 from, u32 n, F &&fn) {
  if (n == 0) return;
  u32 b = BlockOfPosition(s, from);
  u32 off = from - BlockStart(s, b);
  while (n > 0) {
    const TextBlock &blk = s->blocks.entries[b];
    u32 take = blk.length - off;
    if (take > n) take = n;
    fn(blk.data + off, take);
    n -= take;
    off = 0;
    b++;
  }
}

// Calls fn(pointer, length) for the consecutive pieces of the bytes [from,
// to) of a source until it returns false.
template <class F>
void ForEachSourcePieceIn(const ByteSource &src, u32 from, u32 to, F &&fn) {
  if (from >= to) return;
  if (src.bytes) {
    fn(src.bytes + from, to - from);
    return;
  }
  if (!src.pieces) {
    StoreCursor cursor(src.store);
    cursor.Pieces(src.from + from, to - from, fn);
    return;
  }
  u32 i = 0, at = 0;  // piece i starts at `at`
  if (src.pieceLengths) {
    while (at + src.pieceLengths[i] <= from) at += src.pieceLengths[i++];
  } else {
    i = from / kBlockSmall;
    at = i * kBlockSmall;
  }
  for (; at < to; i++) {
    const u32 length = src.pieceLengths ? src.pieceLengths[i] : (src.length - at < kBlockSmall ? src.length - at : kBlockSmall);
    const u32 a = from > at ? from - at : 0;
    const u32 b = to - at < length ? to - at : length;
    if (!fn(src.pieces[i] + a, b - a)) return;
    at += length;
  }
}

// Calls fn(pointer, length) for the consecutive pieces of a source (the
// bytes of a typed character at once).
template <class F>
void ForEachSourcePiece(const ByteSource &src, F &&fn) {
  if (src.bytes) {
    if (src.length) fn(src.bytes, src.length);
    return;
  }
  ForEachSourcePieceIn(src, 0, src.length, [&](const char *p, u32 n) {
    fn(p, n);
    return true;
  });
}

// The first CR or LF in [p, end), or end.
const char *FindNewline(const char *p, const char *end);
// The newlines in [p, end): a CR LF counts once, as do a lone CR and a lone
// LF. An LF at p stands alone (the byte before p is taken for no CR).
u32 CountNewlines(const char *p, const char *end);

// ---- many edits at once ------------------------------------------------------------

// Applies a batch's edits (ascending, not overlapping; BatchRequest of
// batch_edit.h, new bytes from `text`) to the blocks and the row index in one
// pass, each block rewritten in place, when no edit changes a newline and
// every block touched keeps 1 to 8192 bytes (store_batch.cpp says exactly
// when). deletedAlike: every edit deletes the same bytes. Range sets are the
// caller's. 0 when done, 1 when the batch does not qualify and -1 when
// memory ran out; the store is unchanged but for 0.
struct BatchRequest;
[[nodiscard]] int StoreReplaceInPlace(TextStore *s, const BatchRequest *e, u32 count, const ByteSource &text,
                                      bool deletedAlike);
// Frees the table that StoreReplaceInPlace keeps from one batch to the next
// (ReleaseBatchScratch does, when a run of batches ends).
void ReleaseStoreBatchScratch();
// A batch of at least this many edits is made in two halves at once, the
// second on the kept helper thread, when it can be cut between two blocks and
// two rows (tests make it small).
extern u32 g_batchTwoThreadEdits;

// ---- the row index side of an edit ---------------------------------------------

// The rows an edit at [a, b] rewrites, and the text around the edit that
// decides them: the head of the first row before a (its text, plus a CR when a
// lies after a CR that a following byte could join), and the rest of the last
// row after b (its text and its newline).
struct RowWindow {
  u32 first, last;   // rows replaced
  u32 start;         // absolute start of the first one
  u32 hard;          // its hard line
  u32 headLength;    // text bytes before a
  bool headCR;       // a CR right before a (lone, or the first half of a split CR LF)
  u32 tailLength;    // text bytes from b to the end of the last row's text
  u8 tailNewlineLength, tailNewlineType;
  u32 oldHardNewlines;  // hard newlines among the replaced rows
};

struct RowEdit {
  RowWindow window;
  u32 rows;         // rows that replace the window
  u32 hardNewlines; // hard newlines among them
  splice::Plan plan;
  // A long insertion's rows are found in two halves at once: the inserted
  // bytes are cut after an LF (0: not cut), before which the window's rows
  // up to `cutRows` end.
  u32 cut, cutRows;
};
// An insertion of at least this many bytes finds its rows in two halves at
// once (tests make it small).
extern u32 g_rowHalvesBytes;

// Plans the rows of inserting src at p: counts the new rows (a pass over
// src). Returns 0, or -1 when the row count would overflow.
int PlanRowInsert(const TextStore *s, u32 p, const ByteSource &src, RowEdit *edit, const EditLookup *look);
// Plans the rows of deleting [a, b); needs no memory.
void PlanRowDelete(const TextStore *s, u32 a, u32 b, RowEdit *edit, const EditLookup *look);
// Asks the memory for what committing a planned edit rewrites.
void PrefetchRowEdit(const TextStore *s, const RowEdit &edit);
// Reserves the row, row group and shift tables for a planned edit; 0 or -1.
int ReserveRows(TextStore *s, const RowEdit &edit);
int ReserveRowGroups(TextStore *s, const splice::Plan &plan);
// Carries out a planned edit; src is the inserted text (empty for a deletion).
// dStart is the change of length (modulo 2^32).
void CommitRows(TextStore *s, const RowEdit &edit, const ByteSource &src, u32 dStart);
