// The text store: the characters of one document in a two-level block store,
// with a two-level row index and eight range sets.
//
// Text. Characters are single ANSI bytes; newlines are stored as read (CR, LF
// or CR LF). A position is a byte offset from 0 to the length inclusive.
// The text lives in blocks of 1 to 8192 bytes, kept in one flat table; each
// block's buffer is 4096 bytes while it holds at most 4096 bytes and 8192
// bytes otherwise (a buffer may be bigger than that when a shrinking
// reallocation failed; never smaller). Blocks are grouped: a group holds
// 1 to 8192 consecutive blocks, knows the absolute start of its first block,
// and each block stores its start relative to its group. An edit therefore
// rewrites the relative starts of the blocks that follow inside one group and
// one word of every following group.
//
// Rows. One entry per display row (per hard line while rows are not wrapped),
// in one flat table grouped the same way: a row stores its start relative to
// its row group and its hard line number relative to the group's hard line
// base. The row table's free capacity is spread over kRowGaps gaps among the
// rows (rowGaps). An edit that adds or removes rows moves the nearest gap
// with room to it and takes its rows from there (or leaves the freed ones
// there): only the rows between that gap and the edit move, a small part of
// the table however far apart consecutive edits are, and runs of newline
// edits in one place (typing, Replace All, undoing a group) move nothing
// after the first.
//
// Row groups are many (a 256 MiB text has about 34,000), so an edit does not
// add its change to every later group: consecutive row groups form spans of
// 2^rowSpanBits groups, and each span keeps the shift (first row, start, hard
// line base) that its groups' own words still lack (rowShifts). An edit adds
// its change to the groups after it inside its span and to the shifts of the
// later spans; when groups are added or removed, the shifts from the edit's
// span on are folded into their groups first. A group's true first row,
// start and hard line base are its words plus its span's shift: read them
// with RowGroupFirst, RowGroupStart and RowGroupHardBase (RowStart and
// RowHardLine do). A row ends with a newline (CR: length 1 type 1; LF: 1, 2; CR LF: 2, 3)
// or, when it ends by wrapping or is the last row, with none (0, 0). Every row
// but the last one spans at least one byte, a CR that is a row's newline is
// never followed by an LF (the two would form one CR LF newline), and no row's
// text contains a CR or an LF. The store always has at least one row; an empty
// document has one row of length 0.
//
// Invariants kept by every operation (CheckStore verifies them):
// - block and row group tables cover their item tables exactly, in order;
//   group.first/start (with its span's shift, for row groups) are those of
//   its first item; item.group is its group;
// - the row shift table has one entry per span of row groups;
// - a group's base hard line is that of its first row, so relative hard lines
//   lie in 0 .. (index in the group) and fit the 16-bit field;
// - sum of block lengths == length == sum of row spans.
//
// Ownership: the store owns every block buffer, table and range chunk; FreeStore
// releases them all. Stores created with a row hint of 0 (the texts of undo
// steps) keep no row index: only the blocks are maintained.
//
// Failure: the operations that allocate reserve everything first and change the
// store only when every allocation has succeeded; on failure they return -1
// (or the documented failure value) with the store exactly as before.
#pragma once

#include "foundation/memory.h"
#include "foundation/types.h"

// Block buffers.
constexpr u32 kBlockSmall = 4096;
constexpr u32 kBlockLarge = 8192;
// Groups (of blocks, of rows) and range chunks hold at most kGroupMax
// entries; a range chunk's buffer holds kGroupFill ranges until it needs
// kGroupMax.
constexpr u32 kGroupMax = 8192;
constexpr u32 kGroupFill = 4096;
// Groups made anew hold this many entries, and a group that grows past twice
// as many is split into groups of this size. An edit rewrites the relative
// starts of the entries after it in its group, and one word of every later
// block group; of the later row groups, only those in its span and the
// shifts of the later spans. A 256 MiB text of 60-byte lines has 256 block
// groups and about 34,000 row groups in some 265 spans: an edit at a random
// place rewrites about 1 KiB of the row table (which does not fit the cache;
// smaller row groups would leave more of the work to the shifts), 1 KiB of
// the row groups and 4 KiB of the shifts and block groups (which do).
constexpr u32 kBlockGroupFill = 256;
constexpr u32 kRowGroupFill = 128;
// Row groups per span: 2^kRowSpanBits.
constexpr u32 kRowSpanBits = 7;
// Gaps among the rows (RowGaps), and the buckets of rows that find them
// (RowGapIndex).
constexpr u32 kRowGaps = 64;
constexpr u32 kRowGapBuckets = 256;
constexpr u32 kRangeSetCount = 8;
// "The end of the document" wherever a position is expected.
constexpr u32 kPositionEnd = 0xFFFFFFFFu;

// Store-layer flags.
constexpr u32 kStoreRangeUpdate = 256;   // range-set update during an edit (internal)
constexpr u32 kStoreNoProgress = 4096;   // send no per-block progress

// A growable array of fixed-size entries (grown with GrowTable).
template <class T>
struct Table {
  u32 capacity;
  u32 count;
  T *entries;
};

struct TextBlock {
  u32 group;   // index into the block group table
  u32 start;   // relative to the group's start
  u32 length;  // 1 .. 8192
  char *data;  // 4096- or 8192-byte buffer
};

struct BlockGroup {
  u32 first;  // index of its first block
  u32 start;  // absolute start of its first block
  u32 count;  // blocks in the group, 1 .. 8192
  u32 reserved;
};

// Newline kinds of a row: (length, type).
constexpr u8 kNewlineCR = 1;
constexpr u8 kNewlineLF = 2;
constexpr u8 kNewlineCRLF = 3;

struct Row {
  u32 group;          // index into the row group table
  u32 start;          // relative to the row group's start
  u32 textLength;     // without the newline
  u8 newlineLength;   // 0 (wrapped, or the last row), 1, or 2
  u8 newlineType;     // 0, kNewlineCR, kNewlineLF, kNewlineCRLF
  i16 hardLine;       // relative to the row group's hard line base
};

struct RowGroup {
  u32 first;         // index of its first row      } each less its
  u32 start;         // absolute start of its first row } span's shift
  u32 hardLineBase;  // hard line of its first row   } (RowGroupShift)
  u32 count;         // rows in the group, 1 .. 8192
};

// What the words of every row group in one span still lack: the true first
// row of a group is group.first + shift.first, and so on.
struct RowGroupShift {
  u32 first;
  u32 start;
  u32 hardLineBase;
  u32 spanStart;  // the true start of the span's first group: the key of a search
};

// Where the row table's free capacity lies: gap j sits before row at[j] and
// is length[j] entries long, so row r is entry r + (the lengths of the gaps
// at or before r). The gaps are in order (at ascending, equal values
// allowed, every at <= the row count), and their lengths add up to
// capacity - count; a gap of length 0 may sit anywhere in that order.
struct RowGaps {
  u32 at[kRowGaps];
  u32 length[kRowGaps];
};

// Finds a row's entry in one step: bucket b covers the rows from b << shift
// on (the buckets cover every row and the row count) and holds the lengths
// of the gaps at or before its first row, and the next two gaps with room
// after it (gaps of length 0 move no row). Only a row at or after the second
// of those (two gaps in one bucket) walks the gaps, from the bucket's first.
// Made anew (IndexRowGaps) whenever the gaps or the row count change.
constexpr u32 kNoRowGap = 0xFFFFFFFFu;
struct RowGapBucket {
  u32 skip;
  u32 at, length;  // the first gap with room after the first row (at kNoRowGap: none)
  u32 nextAt;      // the one after it
};
struct RowGapIndex {
  u32 shift;
  RowGapBucket buckets[kRowGapBuckets];
  u8 firstGap[kRowGapBuckets];  // the first gap after the bucket's first row
};
static_assert(kRowGaps < 256, "gap numbers fit a byte");

// A range of a range set; the payload belongs to the set's owner.
struct Range {
  u32 chunk;   // index of its chunk
  u32 start;   // relative to the chunk's start
  u32 length;
  u32 payload;
};

struct RangeChunk {
  u32 reserved;
  u32 start;      // absolute start of its first range
  u32 count;      // 1 .. 8192 ranges
  Range *ranges;  // buffer of 4096 ranges, 8192 while it holds more than 4096
};

// Ranges sorted by start, not overlapping, every range inside the document.
// Edits shift and cut the ranges of maintained sets (edit.h).
struct RangeSet {
  u32 maintained;
  Table<RangeChunk> chunks;
};

struct TextStore {
  u32 length;
  Table<BlockGroup> blockGroups;
  Table<TextBlock> blocks;
  u32 noRowIndex;  // 1: only the blocks are maintained (undo-step texts)
  // 1: the blocks point into a caller's text (StoreBorrow): read only, and
  // freeing the store leaves the text alone.
  u32 borrowed;
  Table<RowGroup> rowGroups;
  Table<Row> rows;
  // One shift per span of row groups (see the top of this file).
  Table<RowGroupShift> rowShifts;
  // The rows' free capacity, as gaps among them (see the top of this file).
  // Use RowAt to reach a row.
  RowGaps rowGaps;
  RowGapIndex rowGapIndex;
  void *toolScratch;  // scratch pointer of the text tools
  RangeSet rangeSets[kRangeSetCount];
  u32 occurrenceHighlight[4];
  // Receives (done, total) from long store operations: creating or freeing
  // many blocks. The editor points it at its progress message.
  ProgressSink progress;
  void *toolCounters[3];  // counters that row walkers of the text tools fill
};

static_assert(sizeof(Row) == 16, "a row is 16 bytes");
static_assert(sizeof(RowGroup) == 16 && sizeof(RowGroupShift) == 16 && sizeof(BlockGroup) == 16 &&
                  sizeof(Range) == 16,
              "group and range records are 16 bytes");
static_assert(sizeof(TextBlock) == 12 + sizeof(void *) + (sizeof(void *) == 8 ? 4 : 0),
              "a block is three words and a pointer");
static_assert(sizeof(RangeSet) == 4 + 8 + sizeof(void *) + (sizeof(void *) == 8 ? 4 : 0),
              "a range set is a flag and a table");

// Group sizes. The product always uses the constants above; tests shrink
// them so that small texts exercise many groups and chunks.
struct StoreLimits {
  u32 groupMax;        // most entries of a block group, row group or range chunk
  u32 groupFill;       // ranges of a chunk buffer before it needs groupMax (groupMax / 2)
  u32 blockGroupFill;  // blocks of a new block group
  u32 rowGroupFill;    // rows of a new row group
  u32 rowSpanBits;     // row groups per span: 2^rowSpanBits
};
extern StoreLimits g_storeLimits;
// Row entries moved so far by the gaps' moves (not the copies a growth of
// the table may make: those are the allocator's, O(log n) times over a text
// appended in pieces): the cost measure of the tests that prove appending is
// linear.
extern u64 g_storeRowsMoved;
// Batches made in place (store_batch.cpp) rather than by insertions and
// deletions: for the tests that prove which way a batch went.
extern u64 g_storeBatchesInPlace;
// Restores the product limits with 0.
void SetStoreLimitsForTesting(u32 groupMax);

// Grows a table so that it holds `needed` entries. Small tables double;
// large ones grow by an eighth, and a jump far beyond the capacity (a file
// being loaded) takes exactly what is needed, so that a huge row table does not
// carry a second huge table of slack. Never shrinks. Nonzero on success; on
// failure the table is untouched.
[[nodiscard]] int GrowTableRaw(void **entries, size_t entrySize, u32 *capacity, u32 needed);
template <class T>
[[nodiscard]] inline int GrowTable(Table<T> *t, u32 needed) {
  void *p = t->entries;
  int ok = GrowTableRaw(&p, sizeof(T), &t->capacity, needed);
  t->entries = static_cast<T *>(p);
  return ok;
}

// ---- life cycle ---------------------------------------------------------------

// Zeroes the store and reserves max(rowHint, 1) rows, rowHint / 4096 + 1 row
// groups, blockHint blocks and blockHint / 4096 + 1 block groups (and one row
// group shift); the store then has one empty row in one row group. rowHint 0 sets noRowIndex. Returns
// 1, or 0 on failure with nothing left allocated.
[[nodiscard]] int InitialiseStore(TextStore *store, u32 blockHint, u32 rowHint);
// Frees every block buffer (progress (blocks remaining, block count) every 8192
// blocks), the four tables and the chunks of the eight range sets. The store
// is left zeroed except for its progress sink.
void FreeStore(TextStore *store);

// Makes room, ahead of a text appended piece by piece at the end (a large
// file loaded view by view), for `bytes` more text holding `newRows` more
// rows: the block and row tables (and their group tables) are grown once to
// what the appends will need, so that none of them grows on the way.
// Nonzero on success; on failure the store is unchanged (but for room that
// was reserved), and the appends may still succeed by growing as usual.
[[nodiscard]] int ReserveForAppend(TextStore *store, u32 bytes, u32 newRows);
// The rows that appending the bytes adds (each CR, LF and CR LF ends one);
// *pendingCR carries a final CR over to the next piece, whose leading LF then
// adds none. Start with *pendingCR false.
u32 CountNewRows(const char *bytes, u32 n, bool *pendingCR);

// ---- lookups --------------------------------------------------------------------

// The entry of the row array that holds a row (at most the row count).
u32 RowSlotWalk(const TextStore *s, u32 row);
inline u32 RowSlot(const TextStore *s, u32 row) {
  const RowGapBucket &b = s->rowGapIndex.buckets[row >> s->rowGapIndex.shift];
  if (row >= b.nextAt) return RowSlotWalk(s, row);
  return row + b.skip + (row >= b.at ? b.length : 0);
}
inline Row &RowAt(TextStore *s, u32 row) { return s->rows.entries[RowSlot(s, row)]; }
inline const Row &RowAt(const TextStore *s, u32 row) { return s->rows.entries[RowSlot(s, row)]; }
// The entry of a row, and in *runEnd the first row after it (at most `limit`)
// that a gap parts from it: the rows up to there lie one after another, so
// that a loop over them needs one lookup, not one a row.
Row *RowRunWalk(const TextStore *s, u32 row, u32 limit, u32 *runEnd);
inline Row *RowRun(const TextStore *s, u32 row, u32 limit, u32 *runEnd) {
  const RowGapBucket &b = s->rowGapIndex.buckets[row >> s->rowGapIndex.shift];
  if (row >= b.nextAt) return RowRunWalk(s, row, limit, runEnd);
  const bool past = row >= b.at;
  const u32 end = past ? b.nextAt : b.at;
  *runEnd = end < limit ? end : limit;
  return s->rows.entries + row + b.skip + (past ? b.length : 0);
}
// Makes the bucket index of the gaps.
void IndexRowGaps(TextStore *s);
// Makes the rows [i0, i1) way for m rows (written afterwards): the nearest
// gap with room moves to i1 (or, when no gap near enough has room, the gaps
// are spread anew around it) and the row count changes. The capacity must
// hold the new count.
void OpenRows(TextStore *s, u32 i0, u32 i1, u32 m);
// GrowTable for the rows: the new capacity goes into one gap at i1, with the
// gaps inside [i0, i1), so that the edit there (adding needed - count rows)
// and the edits after it in the same place move no row. Nonzero on success;
// on failure nothing changed.
[[nodiscard]] int GrowRows(TextStore *s, u32 needed, u32 i0, u32 i1);
[[nodiscard]] inline int GrowRows(TextStore *s, u32 needed) { return GrowRows(s, needed, s->rows.count, s->rows.count); }

inline u32 BlockStart(const TextStore *s, u32 block) {
  const TextBlock &b = s->blocks.entries[block];
  return s->blockGroups.entries[b.group].start + b.start;
}
// A row group's true words: its own plus its span's shift.
inline const RowGroupShift &RowSpanShift(const TextStore *s, u32 group) {
  return s->rowShifts.entries[group >> g_storeLimits.rowSpanBits];
}
inline u32 RowGroupFirst(const TextStore *s, u32 group) {
  return s->rowGroups.entries[group].first + RowSpanShift(s, group).first;
}
inline u32 RowGroupStart(const TextStore *s, u32 group) {
  return s->rowGroups.entries[group].start + RowSpanShift(s, group).start;
}
inline u32 RowGroupHardBase(const TextStore *s, u32 group) {
  return s->rowGroups.entries[group].hardLineBase + RowSpanShift(s, group).hardLineBase;
}
inline u32 RowCount(const TextStore *s) { return s->rows.count; }
inline u32 RowStart(const TextStore *s, u32 row) {
  const Row &r = RowAt(s, row);
  return RowGroupStart(s, r.group) + r.start;
}
inline u32 RowHardLine(const TextStore *s, u32 row) {
  const Row &r = RowAt(s, row);
  return RowGroupHardBase(s, r.group) + static_cast<u32>(r.hardLine);
}
inline u32 RowTextEnd(const TextStore *s, u32 row) { return RowStart(s, row) + RowAt(s, row).textLength; }
// The start of the next row: after the text and the newline.
inline u32 RowEnd(const TextStore *s, u32 row) {
  return RowTextEnd(s, row) + RowAt(s, row).newlineLength;
}
// Hard lines: the hard line of the last row plus 1.
inline u32 HardLineCount(const TextStore *s) { return RowHardLine(s, s->rows.count - 1) + 1; }

// The block holding the position: 0 for position 0, the block count at or past
// the end, the last block for length - 1.
u32 BlockOfPosition(const TextStore *store, u32 position);
// The row holding the position (a position between the CR and LF of a newline
// belongs to that row): 0 for 0, the last row at or past the end.
u32 RowOfPosition(const TextStore *store, u32 position);
// The first row of a hard line; the row count past the last hard line.
u32 FirstRowOfHardLine(const TextStore *store, u32 hardLine);
// The last row of the hard line that `row` belongs to.
u32 LastRowOfHardLine(const TextStore *store, u32 row);
// Bytes from the row's start to the end of the text of the last row of its
// hard line (its newline excluded): the rest of the hard line from this row on.
u32 RowLengthWithContinuation(const TextStore *store, u32 row);

// ---- reading ------------------------------------------------------------------------

// Read text flags.
constexpr u32 kReadHardCR = 1;       // a CR at each hard newline instead of the stored bytes
constexpr u32 kReadHardLF = 2;       // an LF (both: CR LF)
constexpr u32 kReadNulToSpace = 4;   // NUL bytes become spaces (out-flag 4 when any did)
constexpr u32 kReadTerminate = 8;    // a terminating zero, counted, kept room for
constexpr u32 kReadSoftCR = 16;      // a CR at soft (wrap) row ends
constexpr u32 kReadSoftLF = 32;      // an LF at soft row ends
constexpr u32 kReadPartialNewline = 64;  // with 1 or 2: a range starting inside a newline writes it
// Out-flags.
constexpr u32 kReadOutNotCRLF = 3;   // with 1 and 2: a newline stored as other than CR LF
constexpr u32 kReadOutNul = 4;

// Copies [from, to) (clamped to the document and ordered) into dest, at most
// capacity bytes, converting as the flags say; returns the bytes written. A
// converted newline is written whole or not at all; a newline counts as in
// the range when its first byte is (or, with 64, any byte). A soft row end is
// written (16, 32) when it lies after from and at or before to. The out-flags
// describe what was written: 1 + 2 for a newline written as CR LF that was
// stored otherwise, 4 for a NUL written as a space. A store without a row
// index reads as stored whatever the flags. outFlags may be null.
u32 ReadText(const TextStore *store, u32 from, u32 to, char *dest, u32 capacity, u32 flags, u32 *outFlags);
// ReadText into dest, and the bytes of [from, to) as stored into copy (to -
// from bytes), reading the text once where it can.
u32 ReadTextAndCopy(const TextStore *store, u32 from, u32 to, char *dest, u32 capacity, u32 flags, char *copy,
                    u32 *outFlags);
// An upper bound of what ReadText writes with the same range and flags.
u32 MeasureText(const TextStore *store, u32 from, u32 to, u32 flags);
// The characters of [from, to): straight into the block when the range lies in
// one block (valid until the store changes), otherwise copied (at most
// capacity bytes) into scratch, which is returned.
const char *DirectPointer(const TextStore *store, u32 from, u32 to, char *scratch, u32 capacity);
// How many consecutive bytes equal to `byte` start at the position (at most limit).
u32 CountRun(const TextStore *store, u32 position, u8 byte, u32 limit);

// ---- store-layer edits (blocks and rows; the range sets are edit.h's) ------------------

// Where inserted bytes come from: a flat buffer, a range of another store,
// or pieces an insertion takes as its blocks.
struct ByteSource {
  const char *bytes;        // the bytes, or null for a store source
  const TextStore *store;   // with bytes null: read [from, from + length) of it
  u32 from;
  u32 length;
  // With bytes and store null: the bytes in buffers of kBlockSmall bytes
  // each (the last one holds the rest), each made by Allocate(kBlockSmall).
  // An insertion that succeeds takes them all: as its new blocks where the
  // bytes start a block of their own, else copied and freed; each one taken
  // is set null. One that fails leaves them.
  char **pieces;
  // With pieces: each one's length (1 to kBlockLarge, in a buffer of
  // BufferSize(length), as a block holds it) instead of kBlockSmall each:
  // blocks taken from another text, which become blocks again as they are.
  const u32 *pieceLengths;
};
inline ByteSource BytesSource(const char *p, u32 n) { return ByteSource{p, nullptr, 0, n, nullptr, nullptr}; }
inline ByteSource StoreSource(const TextStore *s, u32 from, u32 n) {
  return ByteSource{nullptr, s, from, n, nullptr, nullptr};
}
inline ByteSource PiecesSource(char **pieces, u32 n, const u32 *lengths = nullptr) {
  return ByteSource{nullptr, nullptr, 0, n, pieces, lengths};
}
// How many pieces a pieces source has.
u32 SourcePieceCount(const ByteSource &src);
// Hands the store's blocks over, in order: their buffers to pieces[i] and
// their lengths to lengths[i] (each array of blocks.count), a pieces source
// of the store's text; the store keeps no bytes (only FreeStore is left).
void StoreReleaseBlocks(TextStore *store, char **pieces, u32 *lengths);
// Copies [offset, offset + n) of the source to dest.
void SourceCopy(const ByteSource &src, u32 offset, u32 n, char *dest);

// Inserts the source at position (clamped to the length) into the blocks and,
// unless noRowIndex, the row index, joining CR and LF across the edges. The
// source must not be this store. Returns 0, or -1 with nothing changed when
// memory ran out (or the length would pass 2^32 - 1).
[[nodiscard]] int StoreInsert(TextStore *store, u32 position, const ByteSource &src, u32 flags);
// Makes an empty store over text[0, n) without copying it: the blocks point
// into the text, the row index is built as an insertion builds it. The store
// is read only and the text must outlive it (FreeStore leaves the text).
// Returns 0, or -1 (out of memory, or the store was not empty) with the store
// unchanged.
[[nodiscard]] int StoreBorrow(TextStore *store, const char *text, u32 n);
// Deletes [from, to) (from < to <= length) from the blocks and the row index,
// re-joining a CR and an LF that the deletion brings together. Never fails:
// it needs no memory (a buffer that cannot be shrunk stays bigger).
void StoreDelete(TextStore *store, u32 from, u32 to, u32 flags);

// Makes dst (uninitialised) a copy of src: its text, blocks and rows, the
// range sets empty (their maintained flags kept), no progress sink. 0, or -1
// when memory ran out (dst is then an empty store that owns nothing).
[[nodiscard]] int CloneStore(const TextStore *src, TextStore *dst);

// The same, handing the deleted bytes over instead of freeing them, so that
// a large deletion kept for undo costs no copy and no new memory: the bytes
// of [from, to) in the first block touched go to `head` (all of them when one
// block holds the range), those in the last block to `tail`, and the blocks
// between move to `moved`, in order, buffers and all. StoreDeletePieces tells
// the sizes beforehand.
struct DeletedPieces {
  u32 headLength, tailLength;  // tail 0: the first block holds the range
  u32 movedCount;
};
void StoreDeletePieces(const TextStore *store, u32 from, u32 to, DeletedPieces *out);
struct DeletedBytes {
  char *head, *tail;
  TextBlock *moved;
};
void StoreDeleteKeeping(TextStore *store, u32 from, u32 to, u32 flags, const DeletedBytes *keep);
// Puts the source's bytes in place of as many at position, in the blocks
// alone: the caller knows that every CR and LF stays where it is (no newline
// appears, goes or changes), so the row index stays as it is. The old bytes
// go to keep (see StoreDeleteKeeping, prepared for [position, position +
// length) before). Pieces are taken as an insertion takes them. 0, or -1
// with nothing changed when memory ran out.
[[nodiscard]] int StoreSwapBytes(TextStore *store, u32 position, const ByteSource &src, const DeletedBytes *keep);

// Lays the rows of one hard line out anew (word wrap): the rows from firstRow
// (the hard line's first row) to the hard line's last row become `count` rows
// of the given text lengths, which must add up to the hard line's text; the
// last one takes the newline. Returns 0, or -1 with nothing changed.
[[nodiscard]] int SetHardLineRows(TextStore *store, u32 firstRow, const u32 *lengths, u32 count);

// The same for a run of consecutive hard lines at once, in one pass over the
// row table (a layout of the whole text costs one splice, not one a line):
// the rows from firstRow (a hard line's first row) to lastRow (a hard line's
// last row) become `count` rows. Each entry is a row's text length, with
// kRowEndsLine set on the last row of each hard line, which takes that line's
// newline. Each hard line's lengths must add up to its text, and only the
// last row of a hard line may be empty. Returns 0, -1 with nothing changed
// when memory ran out, or -2 for a layout that does not fit the text.
constexpr u32 kRowEndsLine = 0x80000000u;
[[nodiscard]] int SetRowsOfHardLines(TextStore *store, u32 firstRow, u32 lastRow, const u32 *rows, u32 count);

// ---- statistics -----------------------------------------------------------------------

struct StoreMemory {
  u64 markers;      // range sets: chunk tables plus 64 KiB per chunk (128 KiB when large)
  u64 lineIndex;    // row and row group tables
  u64 blockIndex;   // block and block group tables
  u64 textBuffers;  // 4096 or 8192 per block
};
void StoreMemoryStatistics(const TextStore *store, StoreMemory *out);
