// Insertion into and deletion from the blocks, and the store-layer edits
// that combine them with the row index.
//
// Insertion: the bytes go into the block holding the byte before the
// position (block 0 at position 0); at the end of a full buffer they go to the
// front of the next block instead, so that text typed or loaded at the end
// fills 4096-byte blocks one after another. Then:
// - they fit into that block (up to 8192 bytes): in place;
// - they fit into it and the next block: the block is filled to 8192 and the
//   rest spills into the next block's front;
// - otherwise new 4096-byte blocks take them (and the block's tail after
//   the position); at the end of a block's text the block is first topped up
//   to its buffer.
// Every allocation (new buffers, larger buffers, table growth) is made before
// the first byte moves; on failure the new buffers are freed, enlarged ones
// are shrunk back, and nothing has changed.
#include <string.h>

#include "document/store_internal.h"

namespace {

constexpr u32 kNone = 0xFFFFFFFFu;

typedef splice::PlainItems<TextBlock> Blocks;
typedef splice::Writer<Blocks, BlockGroup> BlockWriter;

Blocks ConstBlocks(const TextStore *s) { return Blocks{const_cast<Table<TextBlock> *>(&s->blocks)}; }

void Progress(const TextStore *s, u32 flags, u64 done, u64 total) {
  if (!(flags & kStoreNoProgress) && s->progress.report) s->progress.report(s->progress.context, done, total);
}

// Asks the memory for the block's bytes from an offset on, which an edit
// there moves, so that they arrive while the rest of the edit is planned.
// (Asking for more -- the block entries and groups that shift -- only
// crowds out the lookups' own misses.)
void PrefetchBlockEdit(const TextStore *s, u32 blk, u32 off) {
  const TextBlock &b = s->blocks.entries[blk];
  for (u32 i = off & ~63u; i < b.length; i += 64) __builtin_prefetch(b.data + i, 1);
}

enum BlockEditKind { kInPlace, kSpill, kNewBlocks };

struct BlockInsert {
  BlockEditKind kind;
  u32 blk;        // the block written in place, spilled from, split or topped up; kNone
  u32 off;        // the insertion offset in it
  u32 topUp;      // new blocks: source bytes appended to blk first
  u32 tail;       // new blocks: bytes of blk after off that move into them
  u32 at;         // new blocks: index of the first one
  u32 newBlocks;
  u32 newStart;   // absolute start of the first new block
  u32 blkStart;
  bool growBlk, growNext;
  bool grewBlk, grewNext;
  splice::Plan plan;
  char **buffers;
  char *inlineBuffers[16];
  const char *borrowFrom;  // StoreBorrow: the new blocks are slices of this text
  char **pieces;           // a pieces source whose buffers become the first new blocks
  const u32 *pieceLengths;  // their lengths (null: kBlockSmall but the last)
  u32 taken;               // how many: the source's pieces (the rest, the tail's, are made)
};

void PlanBlockInsert(const TextStore *s, u32 p, u32 n, BlockInsert *e, const EditLookup *look, const ByteSource &src) {
  char **pieces = src.pieces;
  memset(e, 0, sizeof *e);
  e->blk = kNone;
  const u32 count = s->blocks.count;
  const TextBlock *b = s->blocks.entries;
  if (count == 0) {
    e->kind = kNewBlocks;
    e->at = 0;
  } else {
    u32 blk = p == 0 ? 0 : BlockOfPosition(s, p - 1, look);
    u32 off = p - BlockStart(s, blk);
    u32 len = b[blk].length;
    bool atEnd = false;
    if (off == len && len == BufferSize(len)) {
      if (blk + 1 < count) {
        blk++;
        off = 0;
        len = b[blk].length;
      } else {
        atEnd = true;
      }
    }
    if (atEnd) {
      e->kind = kNewBlocks;
      e->at = count;
    } else {
      e->blk = blk;
      e->off = off;
      e->blkStart = BlockStart(s, blk);
      // A buffer that grows is copied whole.
      PrefetchBlockEdit(s, blk, len + n > BufferSize(len) ? 0 : off);
      const u32 room = kBlockLarge - len;
      if (n <= room) {
        e->kind = kInPlace;
        e->growBlk = len + n > BufferSize(len);
      } else if (blk + 1 < count && n - room <= kBlockLarge - b[blk + 1].length) {
        e->kind = kSpill;
        u32 overflow = len + n - kBlockLarge;
        u32 lenN = b[blk + 1].length;
        e->growBlk = BufferSize(len) < kBlockLarge;
        e->growNext = lenN + overflow > BufferSize(lenN);
      } else {
        e->kind = kNewBlocks;
        if (off == 0) {
          e->at = blk;  // before the block, which stays as it is
          e->blk = kNone;
        } else if (off == len) {
          u32 space = BufferSize(len) - len;
          e->topUp = pieces ? 0 : space < n ? space : n;  // pieces start a block
          e->at = blk + 1;
        } else {
          e->tail = len - off;
          e->at = blk + 1;
        }
      }
    }
  }
  switch (e->kind) {
    case kInPlace:
      e->plan = splice::PlanSplice(splice::BlockGroups(s), ConstBlocks(s), e->blk + 1, e->blk + 1, 0, g_storeLimits.blockGroupFill);
      break;
    case kSpill:
      e->plan = splice::PlanSplice(splice::BlockGroups(s), ConstBlocks(s), e->blk + 1, e->blk + 2, 1, g_storeLimits.blockGroupFill);
      break;
    case kNewBlocks: {
      u64 x = static_cast<u64>(n) - e->topUp + e->tail;
      e->newBlocks = static_cast<u32>((x + kBlockSmall - 1) / kBlockSmall);
      if (pieces) {
        // The pieces as they are, then the block's tail in blocks of its own.
        e->pieces = pieces;
        e->pieceLengths = src.pieceLengths;
        e->taken = SourcePieceCount(src);
        e->newBlocks = e->taken + (e->tail + kBlockSmall - 1) / kBlockSmall;
      }
      e->newStart = p + e->topUp;
      e->plan = splice::PlanSplice(splice::BlockGroups(s), ConstBlocks(s), e->at, e->at, e->newBlocks, g_storeLimits.blockGroupFill);
      break;
    }
  }
}

bool Enlarge(TextBlock *b) {
  void *p = Reallocate(b->data, kBlockLarge);
  if (!p) return false;
  b->data = static_cast<char *>(p);
  return true;
}

// Gives a block's buffer back its size for `length` bytes; a failure leaves
// the bigger buffer, which is harmless.
void ShrinkTo(TextBlock *b, u32 length) {
  if (BufferSize(length) >= kBlockLarge) return;
  if (void *p = Reallocate(b->data, BufferSize(length))) b->data = static_cast<char *>(p);
}

void ReleaseReservation(TextStore *s, BlockInsert *e) {
  if (e->buffers) {
    for (u32 i = e->taken; i < e->newBlocks && e->buffers[i]; i++) Free(e->buffers[i]);  // not the source's
    if (e->buffers != e->inlineBuffers) Free(e->buffers);
    e->buffers = nullptr;
  }
  TextBlock *b = s->blocks.entries;
  if (e->grewBlk) ShrinkTo(&b[e->blk], b[e->blk].length);
  if (e->grewNext) ShrinkTo(&b[e->blk + 1], b[e->blk + 1].length);
}

int ReserveBlocks(TextStore *s, BlockInsert *e) {
  if (!GrowTable(&s->blocks, splice::ItemsNeeded(e->plan, s->blocks.count)) ||
      !GrowTable(&s->blockGroups, splice::GroupsNeeded(e->plan, s->blockGroups))) {
    return -1;
  }
  TextBlock *b = s->blocks.entries;
  if (e->growBlk) {
    if (!Enlarge(&b[e->blk])) return -1;
    e->grewBlk = true;
  }
  if (e->growNext) {
    if (!Enlarge(&b[e->blk + 1])) {
      ReleaseReservation(s, e);
      return -1;
    }
    e->grewNext = true;
  }
  if (e->kind == kNewBlocks) {
    if (e->newBlocks <= QP_ARRAY_COUNT(e->inlineBuffers)) {
      e->buffers = e->inlineBuffers;
    } else {
      if (static_cast<u64>(e->newBlocks) * sizeof(char *) > SIZE_MAX) return -1;
      e->buffers = static_cast<char **>(Allocate(static_cast<size_t>(e->newBlocks) * sizeof(char *)));
      if (!e->buffers) return -1;
    }
    memset(e->buffers, 0, static_cast<size_t>(e->newBlocks) * sizeof(char *));
    if (e->borrowFrom) {
      // Each block a slice of the caller's text (a full block's worth).
      for (u32 i = 0; i < e->newBlocks; i++) e->buffers[i] = const_cast<char *>(e->borrowFrom) + static_cast<size_t>(i) * kBlockSmall;
      return 0;
    }
    for (u32 i = 0; i < e->taken; i++) e->buffers[i] = e->pieces[i];
    for (u32 i = e->taken; i < e->newBlocks; i++) {
      e->buffers[i] = static_cast<char *>(Allocate(kBlockSmall));
      if (!e->buffers[i]) {
        ReleaseReservation(s, e);
        return -1;
      }
    }
  }
  return 0;
}

void CommitBlocks(TextStore *s, BlockInsert *e, const ByteSource &src, u32 flags) {
  const u32 n = src.length;
  TextBlock *b = s->blocks.entries;
  BlockWriter writer(Blocks{&s->blocks}, splice::BlockGroups(s), e->plan, n, 0);
  switch (e->kind) {
    case kInPlace: {
      TextBlock &blk = b[e->blk];
      memmove(blk.data + e->off + n, blk.data + e->off, blk.length - e->off);
      SourceCopy(src, 0, n, blk.data + e->off);
      blk.length += n;
      writer.Begin();
      writer.Finish();
      return;
    }
    case kSpill: {
      // The block, the bytes and the block's tail, then the next block: the
      // block takes the first 8192 bytes, the next one the rest.
      TextBlock &blk = b[e->blk];
      TextBlock next = b[e->blk + 1];
      const u32 off = e->off, tail = blk.length - off;
      const u32 overflow = blk.length + n - kBlockLarge;
      const char *tailBytes = blk.data + off;
      memmove(next.data + overflow, next.data, next.length);
      // The last `overflow` bytes of (source, tail) go to the next block.
      u32 from = n + tail - overflow;
      char *dst = next.data;
      if (from < n) {
        u32 k = n - from;
        SourceCopy(src, from, k, dst);
        memcpy(dst + k, tailBytes, tail);
      } else {
        memcpy(dst, tailBytes + (from - n), overflow);
      }
      // What stays: the tail's first part moves up behind the source bytes.
      if (from > n) memmove(blk.data + off + n, tailBytes, from - n);
      SourceCopy(src, 0, from < n ? from : n, blk.data + off);
      blk.length = kBlockLarge;
      next.length += overflow;
      writer.Begin();
      writer.Put(next, e->blkStart + kBlockLarge, 0);
      writer.Finish();
      return;
    }
    case kNewBlocks: {
      // The new blocks hold X = source[topUp, n) followed by the block's tail.
      const u32 srcPart = n - e->topUp;
      const char *tailBytes = e->blk != kNone ? b[e->blk].data + e->off : nullptr;
      writer.Begin();
      u32 abs = e->newStart;
      u32 x = 0;
      const u32 xLen = srcPart + e->tail;
      for (u32 i = 0; i < e->taken; i++) {
        // The source's pieces become blocks as they are.
        const u32 len = e->pieceLengths ? e->pieceLengths[i] : srcPart - x < kBlockSmall ? srcPart - x : kBlockSmall;
        writer.Put(TextBlock{0, 0, len, e->buffers[i]}, abs, 0);
        abs += len;
        x += len;
        if ((i + 1) % kGroupMax == 0) Progress(s, flags, i + 1, e->newBlocks);
      }
      for (u32 i = e->taken; i < e->newBlocks; i++) {
        u32 len = xLen - x < kBlockSmall ? xLen - x : kBlockSmall;
        char *buf = e->buffers[i];
        u32 fromSrc = 0;
        if (x < srcPart) {
          fromSrc = srcPart - x < len ? srcPart - x : len;
          if (!e->borrowFrom) SourceCopy(src, e->topUp + x, fromSrc, buf);
        }
        if (fromSrc < len) memcpy(buf + fromSrc, tailBytes + (x + fromSrc - srcPart), len - fromSrc);
        writer.Put(TextBlock{0, 0, len, buf}, abs, 0);
        abs += len;
        x += len;
        if ((i + 1) % kGroupMax == 0) Progress(s, flags, i + 1, e->newBlocks);
      }
      if (e->blk != kNone) {
        TextBlock &blk = s->blocks.entries[e->blk];
        if (e->topUp) {
          SourceCopy(src, 0, e->topUp, blk.data + blk.length);
          blk.length += e->topUp;
        }
        if (e->tail) {
          u32 before = blk.length;
          blk.length = e->off;
          if (BufferSize(before) > BufferSize(blk.length)) ShrinkTo(&blk, blk.length);
        }
      }
      writer.Finish();
      if (e->buffers != e->inlineBuffers) Free(e->buffers);
      e->buffers = nullptr;
      return;
    }
  }
}

// Deletes [a, b) from the blocks (the length is not yet changed).
// With `keep`, the deleted bytes are handed over instead of freed: the
// first block's part is copied to keep->head, the last block's to keep->tail,
// and the blocks between move to keep->moved, buffers and all.
void DeleteBlocks(TextStore *s, u32 a, u32 b, u32 flags, const EditLookup *look, const DeletedBytes *keep = nullptr) {
  const u32 n = b - a;
  TextBlock *bl = s->blocks.entries;
  const u32 count = s->blocks.count;
  const u32 fb = BlockOfPosition(s, a, look);
  const u32 fbStart = BlockStart(s, fb);
  const u32 lb = b <= fbStart + bl[fb].length ? fb : BlockOfPosition(s, b - 1);
  if (keep) {
    const u32 headEnd = fb == lb ? b : fbStart + bl[fb].length;
    memcpy(keep->head, bl[fb].data + (a - fbStart), headEnd - a);
    if (fb != lb) {
      const u32 lbStart = BlockStart(s, lb);
      memcpy(keep->tail, bl[lb].data, b - lbStart);
      for (u32 i = fb + 1; i < lb; i++) {
        keep->moved[i - fb - 1] = bl[i];
        bl[i].data = nullptr;  // no longer the store's (freeing null is nothing)
      }
    }
  }
  if (!look) PrefetchBlockEdit(s, fb, a - fbStart);  // (an edit with lookups asked already)
  const u32 fbCap = BufferSize(bl[fb].length);
  const u32 fbLen0 = bl[fb].length;
  u32 f;                // bytes left in the first block
  u32 j;                // first block not absorbed
  bool lbKept = false;  // the last block keeps its own tail
  u32 lbLen0 = 0, t = 0;
  u32 freed = 0;
  const u32 toFree = lb > fb + 1 ? lb - fb - 1 : 0;
  if (fb == lb) {
    u32 cut = a - fbStart;
    memmove(bl[fb].data + cut, bl[fb].data + cut + n, fbLen0 - cut - n);
    f = fbLen0 - n;
    j = fb + 1;
  } else {
    f = a - fbStart;
    for (u32 i = fb + 1; i < lb; i++) {
      Free(bl[i].data);
      if (++freed % kGroupMax == 0) Progress(s, flags, freed, toFree);
    }
    const u32 lbStart = BlockStart(s, lb);
    lbLen0 = bl[lb].length;
    t = lbStart + lbLen0 - b;
    const char *tailBytes = bl[lb].data + (b - lbStart);
    if (f + t <= fbCap) {
      memcpy(bl[fb].data + f, tailBytes, t);
      f += t;
      Free(bl[lb].data);
      j = lb + 1;
    } else {
      memmove(bl[lb].data, tailBytes, t);
      bl[lb].length = t;
      lbKept = true;
      j = lb;
    }
  }
  if (!lbKept && f > 0) {
    // Later blocks join the first one while they fit into its buffer (an
    // emptied first block simply goes).
    while (j < count && f + bl[j].length <= fbCap) {
      memcpy(bl[fb].data + f, bl[j].data, bl[j].length);
      f += bl[j].length;
      Free(bl[j].data);
      j++;
    }
  }
  bl[fb].length = f;
  const bool fbRemoved = f == 0;
  if (fbRemoved) {
    Free(bl[fb].data);
  } else if (fbCap > BufferSize(f)) {
    ShrinkTo(&bl[fb], f);
  }
  if (lbKept && BufferSize(lbLen0) > BufferSize(t)) ShrinkTo(&bl[lb], t);
  const u32 i0 = fbRemoved ? fb : fb + 1;
  const u32 i1 = lbKept ? lb + 1 : j;
  const TextBlock lbEntry = bl[lb];
  splice::Plan plan = splice::PlanSplice(splice::BlockGroups(s), Blocks{&s->blocks}, i0, i1, lbKept ? 1 : 0, g_storeLimits.blockGroupFill);
  BlockWriter writer(Blocks{&s->blocks}, splice::BlockGroups(s), plan, 0u - n, 0);
  writer.Begin();
  if (lbKept) writer.Put(lbEntry, a, 0);
  writer.Finish();
}

// An insertion; with borrowFrom (an empty store, the source's own bytes) the
// new blocks are slices of that text instead of copies.
int Insert(TextStore *s, u32 p, const ByteSource &src, u32 flags, const char *borrowFrom) {
  const u32 n = src.length;
  if (n == 0) return 0;
  if (src.store == s && !src.bytes) return -1;
  if (p > s->length) p = s->length;
  if (static_cast<u64>(s->length) + n > 0xFFFFFFFFull) return -1;
  // The lookups' cache misses overlap: the block's entry and the row
  // group's, then the row's, while the block is looked up and its bytes asked
  // for; the row lookup comes last.
  EditLookup look;
  StartLookups(s, p == 0 ? 0 : p - 1, p, &look);
  BlockInsert blocks;
  PlanBlockInsert(s, p, n, &blocks, &look, src);
  blocks.borrowFrom = borrowFrom;
  RowEdit rows;
  if (!s->noRowIndex) {
    if (PlanRowInsert(s, p, src, &rows, &look) != 0 || ReserveRows(s, rows) != 0) return -1;
    PrefetchRowEdit(s, rows);
  }
  if (ReserveBlocks(s, &blocks) != 0) return -1;
  CommitBlocks(s, &blocks, src, flags);
  if (!s->noRowIndex) CommitRows(s, rows, src, n);
  s->length += n;
  if (src.pieces) {
    // The pieces are the store's now: blocks, or copied and no longer needed.
    for (u32 i = 0, count = SourcePieceCount(src); i < count; i++) {
      if (i >= blocks.taken) Free(src.pieces[i]);
      src.pieces[i] = nullptr;
    }
  }
  return 0;
}

}  // namespace

int StoreInsert(TextStore *s, u32 p, const ByteSource &src, u32 flags) { return Insert(s, p, src, flags, nullptr); }

int StoreBorrow(TextStore *s, const char *text, u32 n) {
  if (s->length != 0 || s->blocks.count != 0) return -1;
  if (Insert(s, 0, BytesSource(text, n), kStoreNoProgress, text) != 0) return -1;
  s->borrowed = n ? 1 : 0;
  return 0;
}

void StoreDeletePieces(const TextStore *s, u32 a, u32 b, DeletedPieces *out) {
  *out = DeletedPieces{};
  if (b > s->length) b = s->length;
  if (a >= b) return;
  const u32 fb = BlockOfPosition(s, a);
  const u32 fbStart = BlockStart(s, fb);
  const u32 fbEnd = fbStart + s->blocks.entries[fb].length;
  if (b <= fbEnd) {
    out->headLength = b - a;
    return;
  }
  const u32 lb = BlockOfPosition(s, b - 1);
  out->headLength = fbEnd - a;
  out->tailLength = b - BlockStart(s, lb);
  out->movedCount = lb - fb - 1;
}

void StoreDelete(TextStore *s, u32 a, u32 b, u32 flags) { StoreDeleteKeeping(s, a, b, flags, nullptr); }

int StoreSwapBytes(TextStore *s, u32 a, const ByteSource &src, const DeletedBytes *keep) {
  const u32 n = src.length, b = a + n;
  if (n == 0 || b < a || b > s->length || (src.store == s && !src.bytes)) return -1;
  // The new bytes go in after the old ones (which they do not touch), then
  // the old ones go: the bytes before and after, and so every row, keep
  // their places.
  BlockInsert blocks;
  PlanBlockInsert(s, b, n, &blocks, nullptr, src);
  if (ReserveBlocks(s, &blocks) != 0) return -1;
  CommitBlocks(s, &blocks, src, kStoreNoProgress);
  s->length += n;
  DeleteBlocks(s, a, b, kStoreNoProgress, nullptr, keep);
  s->length -= n;
  if (src.pieces) {
    for (u32 i = 0, count = SourcePieceCount(src); i < count; i++) {
      if (i >= blocks.taken) Free(src.pieces[i]);
      src.pieces[i] = nullptr;
    }
  }
  return 0;
}

void StoreDeleteKeeping(TextStore *s, u32 a, u32 b, u32 flags, const DeletedBytes *keep) {
  if (b > s->length) b = s->length;
  if (a >= b) return;
  RowEdit rows;
  EditLookup look;
  const EditLookup *hint = nullptr;
  if (!s->noRowIndex) {
    // As for an insertion: the lookups' cache misses overlap.
    StartLookups(s, a, a, &look);
    hint = &look;
    const u32 blk = BlockOfPosition(s, a, hint);
    PrefetchBlockEdit(s, blk, a - BlockStart(s, blk));
    PlanRowDelete(s, a, b, &rows, hint);
    PrefetchRowEdit(s, rows);
  }
  DeleteBlocks(s, a, b, flags, hint, keep);
  if (!s->noRowIndex) CommitRows(s, rows, ByteSource{nullptr, nullptr, 0, 0, nullptr, nullptr}, 0u - (b - a));
  s->length -= b - a;
}
