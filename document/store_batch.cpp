// Many edits at once, made in place: each block keeps its own bytes and each
// row its place, so a batch costs a pass over the blocks and rows it touches
// instead of an insertion and a deletion through the tables per cluster.
//
// A batch qualifies when no edit changes a newline: no CR or LF in what is
// deleted or inserted, no run of adjacent edits between a CR and an LF (they
// could join or part), every edit inside the text of one row (not across a
// wrap, not between a CR and its LF), and no wrapped row left empty. Then the
// row table keeps its rows, which change only their lengths and starts.
//
// The blocks keep their buffers. A block whose new bytes outgrow its buffer
// keeps what fits and pushes the rest on (the carry) to the front of the
// blocks after it, each of which does the same; a new 4096-byte block takes
// every 4096 bytes of carry, and the last of it when the next block the
// edits touch is far (moving the blocks between would cost more than a new
// block) or the edits are done. So a replacement that grows a full 4096-byte
// block costs no new 8192-byte buffer (an allocation and two fresh pages,
// most of the cost of such a batch): the blocks after it move up a little.
// Only a block that edits empty with nothing carried into it makes the batch
// go the general way.
//
// Two passes over the edits: the first checks all that, plans the carry
// (how many new blocks, how much room for a block's new bytes) and notes each
// edit's row; then everything needed is allocated; the second pass, which
// cannot fail, rewrites the blocks and the rows.
//
// A long batch is cut where its two halves share no block and no row; each
// half then plans its own carry (the first half's last carry becomes a block
// of its own), and the halves find their rows and rewrite their blocks and
// rows at once, the second on the kept helper thread. Only the tables of the
// blocks and their groups are put together after both.
#include <string.h>

#include "document/batch_edit.h"
#include "document/store_internal.h"
#include "foundation/helper_thread.h"

namespace {

// Moves n bytes to a place that may overlap them. A batch moves the short
// runs between dense edits (a few dozen bytes each) and their new bytes;
// those go without a call: every load comes before any store.
inline void MoveBytes(char *dst, const char *src, u32 n) {
  if (n > 32) {
    memmove(dst, src, n);
  } else if (n > 16) {
    u64 a, b, c, d;
    memcpy(&a, src, 8);
    memcpy(&b, src + 8, 8);
    memcpy(&c, src + n - 16, 8);
    memcpy(&d, src + n - 8, 8);
    memcpy(dst, &a, 8);
    memcpy(dst + 8, &b, 8);
    memcpy(dst + n - 16, &c, 8);
    memcpy(dst + n - 8, &d, 8);
  } else if (n >= 8) {
    u64 a, b;
    memcpy(&a, src, 8);
    memcpy(&b, src + n - 8, 8);
    memcpy(dst, &a, 8);
    memcpy(dst + n - 8, &b, 8);
  } else if (n >= 4) {
    u32 a, b;
    memcpy(&a, src, 4);
    memcpy(&b, src + n - 4, 4);
    memcpy(dst, &a, 4);
    memcpy(dst + n - 4, &b, 4);
  } else if (n) {
    const char a = src[0], b = src[n / 2], c = src[n - 1];
    dst[0] = a;
    dst[n / 2] = b;
    dst[n - 1] = c;
  }
}

// Where the inserted bytes come from, read in ascending order.
struct SourceReader {
  const ByteSource &src;
  StoreCursor cursor;
  explicit SourceReader(const ByteSource &s) : src(s), cursor(s.store) {}
  void Copy(u32 offset, u32 n, char *out) {
    if (src.bytes) {
      MoveBytes(out, src.bytes + offset, n);
    } else {
      cursor.Copy(src.from + offset, n, out);
    }
  }
  bool HasNewline(u32 offset, u32 n) {
    if (src.bytes) return FindNewline(src.bytes + offset, src.bytes + offset + n) != src.bytes + offset + n;
    return !cursor.Pieces(src.from + offset, n, [](const char *p, u32 k) { return FindNewline(p, p + k) == p + k; });
  }
};

// The blocks that the edits touch, in order: WalkBlocks calls fn(block, its
// old start, its new length, first edit, end of edits) for each, where the edits
// [first, end) are those reaching into it (the first may have begun in an
// earlier block, the last may go on into the next one). An edit belongs to
// the block holding its start (the last block at the end of the text) and
// inserts there. fn returns false to stop the walk (false then).
// The blocks are only stepped through, never looked up, when `step` is set:
// for a walk that changes them as it goes.
// `first` (with its start) is the block of the first edit when the caller
// looked it up before.
template <class F>
bool WalkBlocks(const TextStore *s, const BatchRequest *e, u32 count, bool step, F &&fn, u32 first = 0xFFFFFFFFu,
                u32 firstStart = 0) {
  const u32 blocks = s->blocks.count;
  const TextBlock *bl = s->blocks.entries;
  u32 b = first;
  if (b == 0xFFFFFFFFu) {
    b = BlockOfPosition(s, e[0].from);
    if (b >= blocks) b = blocks - 1;
  }
  u32 bs = first == 0xFFFFFFFFu ? BlockStart(s, b) : firstStart;
  u32 i = 0;
  while (i < count) {
    const u32 p = e[i].from > bs ? e[i].from : bs;  // an edit going on from the last block starts here
    for (u32 steps = 0; p >= bs + bl[b].length && b + 1 < blocks; steps++) {
      if (steps == 8 && !step) {
        b = BlockOfPosition(s, p);
        if (b >= blocks) b = blocks - 1;
        bs = BlockStart(s, b);
        break;
      }
      bs += bl[b].length;
      b++;
    }
    const u32 end = bs + bl[b].length;
    const bool last = b + 1 == blocks;
    i64 length = bl[b].length;
    u32 j = i;
    bool goesOn = false;
    for (; j < count && (e[j].from < end || last); j++) {
      const u32 from = e[j].from > bs ? e[j].from : bs;
      const u32 to = e[j].to < end ? e[j].to : end;
      length += (e[j].from >= bs ? e[j].length : 0) - static_cast<i64>(to - from);
      if (e[j].to > end) {
        goesOn = true;
        break;
      }
    }
    const u64 newLength = length < 0 ? 0 : static_cast<u64>(length);
    if (!fn(b, bs, newLength, i, goesOn ? j + 1 : j)) return false;
    // (fn may have changed the block: its old end is `end`.)
    i = j;
    if (b + 1 == blocks) break;
    bs = end;
    b++;
  }
  return true;
}

// One edit's part of a block: [a, b) of its old bytes become n inserted bytes.
struct Piece {
  u32 a, b, n;
};
inline Piece PieceOf(const BatchRequest &r, u32 bs, u32 end) {
  const u32 from = r.from > bs ? r.from : bs;
  const u32 to = r.to < end ? r.to : end;
  return Piece{from - bs, to - bs, r.from >= bs ? r.length : 0};
}

// Writes the block's new bytes from `src` (its old bytes; `dst` may be the
// same buffer when no insertion ever runs ahead of the bytes still to be read).
void RewriteForward(char *dst, const char *src, u32 length, u32 bs, const BatchRequest *e, u32 i0, u32 i1,
                    SourceReader &reader) {
  u32 w = 0, r = 0;
  for (u32 k = i0; k < i1; k++) {
    const Piece pc = PieceOf(e[k], bs, bs + length);
    if (pc.a > r) {
      if (dst + w != src + r) MoveBytes(dst + w, src + r, pc.a - r);
      w += pc.a - r;
    }
    if (pc.n) reader.Copy(e[k].offset, pc.n, dst + w);
    w += pc.n;
    r = pc.b;
  }
  if (length > r && dst + w != src + r) memmove(dst + w, src + r, length - r);
}

// The same in place when every edit leaves the bytes before it where they
// were or further on: the unchanged runs move from the last one back, then
// the inserted bytes fill the holes in ascending order.
void RewriteBackward(char *data, u32 length, u32 newLength, u32 bs, const BatchRequest *e, u32 i0, u32 i1,
                     SourceReader &reader) {
  u32 w = newLength, r = length;
  for (u32 k = i1; k-- > i0;) {
    const Piece pc = PieceOf(e[k], bs, bs + length);
    const u32 gap = r - pc.b;
    w -= gap;
    if (gap && w != pc.b) MoveBytes(data + w, data + pc.b, gap);
    w -= pc.n;
    r = pc.a;
  }
  i64 moved = 0;
  for (u32 k = i0; k < i1; k++) {
    const Piece pc = PieceOf(e[k], bs, bs + length);
    if (pc.n) reader.Copy(e[k].offset, pc.n, data + pc.a + moved);
    moved += static_cast<i64>(pc.n) - (pc.b - pc.a);
  }
}

// Adds d to the true start of the row groups [from, to): word by word inside
// a span, through the shift for a whole span.
void ShiftRowGroups(TextStore *s, u32 from, u32 to, u32 d) {
  if (d == 0) return;
  const u32 bits = g_storeLimits.rowSpanBits, mask = (1u << bits) - 1;
  RowGroup *g = s->rowGroups.entries;
  while (from < to) {
    RowGroupShift &x = s->rowShifts.entries[from >> bits];
    if (!(from & mask) && (from | mask) + 1 <= to) {
      x.start += d;
      x.spanStart += d;
      from += mask + 1;
      continue;
    }
    if (!(from & mask)) x.spanStart += d;
    g[from].start += d;
    from++;
  }
}


constexpr u32 kNone = 0xFFFFFFFFu;
// Blocks that the carry flows through before a new block takes it instead.
constexpr u32 kFlowBlocks = 16;
// The most bytes a block's new bytes and the carry may come to (the room
// the second pass needs for them); a batch that needs more goes the general
// way.
constexpr u64 kMostContent = 8u << 20;

// A new block and the block it follows.
struct NewBlock {
  u32 after;
  u32 length;
  char *data;
};

// Rewrites a block in its own buffer: forward when no insertion runs ahead of
// the old bytes, backward when none falls behind, otherwise from a copy.
void RewriteInPlace(TextBlock *blk, u32 bs, u32 newLength, const BatchRequest *e, u32 i0, u32 i1,
                    SourceReader &reader) {
  const u32 length = blk->length;
  bool forward = true, backward = true;
  i64 sum = 0;
  for (u32 k = i0; k < i1; k++) {
    const Piece pc = PieceOf(e[k], bs, bs + length);
    if (sum < 0) backward = false;
    sum += static_cast<i64>(pc.n) - (pc.b - pc.a);
    if (sum > 0) forward = false;
  }
  if (forward) {
    RewriteForward(blk->data, blk->data, length, bs, e, i0, i1, reader);
  } else if (backward) {
    RewriteBackward(blk->data, length, newLength, bs, e, i0, i1, reader);
  } else {
    char copy[kBlockLarge];
    memcpy(copy, blk->data, length);
    RewriteForward(blk->data, copy, length, bs, e, i0, i1, reader);
  }
}

// Gives a block that shrank past 4096 bytes its smaller buffer (a refusal
// leaves the bigger one, which is harmless).
void ShrinkBuffer(TextBlock *blk, u32 oldLength) {
  if (BufferSize(oldLength) <= BufferSize(blk->length)) return;
  if (void *p = Reallocate(blk->data, BufferSize(blk->length))) blk->data = static_cast<char *>(p);
}

// The blocks' side of a batch, block by block in ascending order. Planning
// (commit false) only counts; committing (with the room and buffers that the
// plan asked for) moves the bytes and lists the new blocks.
struct BlockFlow {
  TextStore *s;
  bool commit;
  // The plan.
  u32 first = kNone, last = kNone;  // the first and last block changed
  u32 newBlocks = 0;
  u64 mostContent = 0;
  // Committing: the room for a block's new bytes after the carry, the new
  // blocks' buffers and where they go.
  char *room = nullptr;
  char **buffers = nullptr;
  NewBlock *placed = nullptr;
  u64 carry = 0;  // at the front of `room`

  // A block the edits [i0, i1) touch; false when the batch cannot be made
  // in place.
  bool Touched(u32 b, u32 bs, u64 newLength, const BatchRequest *e, u32 i0, u32 i1, SourceReader &reader) {
    if (carry) {
      if (b - last - 1 > kFlowBlocks) {
        Emit(last);
      } else {
        for (u32 u = last + 1; u < b; u++) {
          if (!Pass(u, s->blocks.entries[u].length, [&](char *out) {
                memcpy(out, s->blocks.entries[u].data, s->blocks.entries[u].length);
              })) {
            return false;
          }
        }
      }
    }
    if (first == kNone) first = b;
    last = b;
    TextBlock *blk = &s->blocks.entries[b];
    if (!carry && newLength >= 1 && newLength <= BufferSize(blk->length)) {
      if (commit) {
        const u32 length = blk->length;
        RewriteInPlace(blk, bs, static_cast<u32>(newLength), e, i0, i1, reader);
        blk->length = static_cast<u32>(newLength);
        ShrinkBuffer(blk, length);
      }
      return true;
    }
    return Pass(b, newLength, [&](char *out) { RewriteForward(out, blk->data, blk->length, bs, e, i0, i1, reader); });
  }

  void Finish() {
    if (carry) Emit(last);
  }

 private:
  // The carry and the block's new bytes (written by `write`): the block keeps
  // what its buffer holds, new blocks take each 4096 bytes of the rest, and
  // what is left is carried on.
  template <class W>
  bool Pass(u32 b, u64 newLength, W &&write) {
    const u64 content = carry + newLength;
    if (content == 0 || content > kMostContent) return false;
    if (content > mostContent) mostContent = content;
    TextBlock *blk = &s->blocks.entries[b];
    const u32 length = blk->length;
    const u32 keep = content < BufferSize(length) ? static_cast<u32>(content) : BufferSize(length);
    const u64 out = content - keep;
    const u32 full = static_cast<u32>(out / kBlockSmall);
    const u32 left = static_cast<u32>(out - static_cast<u64>(full) * kBlockSmall);
    if (commit) {
      write(room + carry);
      memcpy(blk->data, room, keep);
      blk->length = keep;
      ShrinkBuffer(blk, length);
      for (u32 k = 0; k < full; k++) {
        char *buffer = buffers[newBlocks + k];
        memcpy(buffer, room + keep + static_cast<size_t>(k) * kBlockSmall, kBlockSmall);
        placed[newBlocks + k] = NewBlock{b, kBlockSmall, buffer};
      }
      if (left) memmove(room, room + keep + static_cast<size_t>(full) * kBlockSmall, left);
    }
    newBlocks += full;
    carry = left;
    last = b;
    return true;
  }

  // The carry becomes a block of its own after block `after`.
  void Emit(u32 after) {
    if (commit) {
      memcpy(buffers[newBlocks], room, static_cast<size_t>(carry));
      placed[newBlocks] = NewBlock{after, static_cast<u32>(carry), buffers[newBlocks]};
    }
    newBlocks++;
    carry = 0;
  }
};

// Gives every block from group `group` on its relative start (and, when the
// blocks were regrouped, its group), and every group its start: a pass over
// the blocks of the groups [group, through], then the later groups' starts.
// moved: the change of length.
void SetBlockStarts(TextStore *s, u32 group, u32 through, u32 moved) {
  TextBlock *b = s->blocks.entries;
  BlockGroup *g = s->blockGroups.entries;
  u32 start = g[group].start;
  for (u32 k = group; k <= through; k++) {
    g[k].start = start;
    u32 rel = 0;
    for (u32 i = g[k].first; i < g[k].first + g[k].count; i++) {
      b[i].group = k;
      b[i].start = rel;
      rel += b[i].length;
    }
    start += rel;
  }
  for (u32 k = through + 1; k < s->blockGroups.count; k++) g[k].start += moved;
}

// The edits' rows, kept from one batch to the next of a run: fresh memory
// costs more to touch than the table is worth.
u32 *g_rowScratch;
u32 g_rowScratchCount;

u32 *RowScratch(u32 count) {
  if (count > g_rowScratchCount) {
    ReleaseStoreBatchScratch();
    g_rowScratch = static_cast<u32 *>(Allocate(static_cast<size_t>(count) * sizeof(u32)));
    if (g_rowScratch) g_rowScratchCount = count;
  }
  return g_rowScratch;
}

// ---- a long batch in two halves at once ----

// Where a long batch is cut in two halves that share no block and no row:
// the first edit of the second half, with its block and the block's start
// (0: no cut). The halves' carries then stay apart (the first half's goes
// into a block of its own), and so do their rows.
u32 CutOf(const TextStore *s, const BatchRequest *e, u32 count, u32 *block, u32 *blockStart) {
  if (count < g_batchTwoThreadEdits || count < 2) return 0;
  u32 m = BlockOfPosition(s, e[count / 2].from), j = count / 2;
  for (int tries = 0; tries < 8; tries++) {
    // The first edit from the next block on.
    if (m + 1 >= s->blocks.count) return 0;
    const u32 next = BlockStart(s, m + 1);
    u32 lo = j, hi = count;
    while (lo < hi) {
      const u32 mid = lo + (hi - lo) / 2;
      if (e[mid].from < next) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    j = lo;
    if (j == 0 || j >= count || e[j].from >= s->length) return 0;
    m = BlockOfPosition(s, e[j].from);
    const BatchRequest &before = e[j - 1];
    if (before.to <= next && before.to < e[j].from &&
        (s->noRowIndex || RowOfPosition(s, before.from) < RowOfPosition(s, e[j].from))) {
      *block = m;
      *blockStart = BlockStart(s, m);
      return j;
    }
  }
  return 0;
}

// Each edit's row, for the edits [i0, i1); false when one does not lie inside
// the text of its row or a wrapped row would be left empty.
bool FindRows(const TextStore *s, const BatchRequest *e, u32 i0, u32 i1, u32 *rows) {
  const u32 rowCount = s->rows.count;
  u32 r = RowOfPosition(s, e[i0].from), rs = RowStart(s, r);
  // The rows are stepped through along their runs in the table.
  u32 runEnd;
  const Row *row = RowRun(s, r, rowCount, &runEnd);
  i64 length = row->textLength;
  for (u32 i = i0; i < i1; i++) {
    const u32 p = e[i].from;
    if (p >= rs + row->textLength + row->newlineLength && r + 1 < rowCount) {
      if (length == 0 && row->newlineLength == 0) return false;
      for (u32 steps = 0; p >= rs + row->textLength + row->newlineLength && r + 1 < rowCount; steps++) {
        if (steps == 64) {
          r = RowOfPosition(s, p);
          rs = RowStart(s, r);
          row = RowRun(s, r, rowCount, &runEnd);
          break;
        }
        rs += row->textLength + row->newlineLength;
        row = ++r < runEnd ? row + 1 : RowRun(s, r, rowCount, &runEnd);
      }
      length = row->textLength;
    }
    if (e[i].to > rs + row->textLength) return false;
    length += static_cast<i64>(e[i].length) - (e[i].to - e[i].from);
    rows[i] = r;
  }
  return !(length == 0 && row->newlineLength == 0 && r + 1 < rowCount);
}

// The rows' lengths and starts for the edits [i0, i1): inside a row group with
// edits, the rows from the first edited one on; the groups between, and those
// after up to groupsEnd, move whole (by `moved` more: what the edits before
// the first group changed). A row group the halves share is the first half's
// up to the second half's first row (rowEnd), and the second half's from
// there, where its rows move by the first half's change in it (local) and
// the group itself is not moved again (shared).
void UpdateRows(TextStore *s, const BatchRequest *e, u32 i0, u32 i1, const u32 *rows, u32 moved, u32 local0,
                bool shared, u32 rowEnd, u32 groupsEnd) {
  u32 rowMoved = moved;  // modulo 2^32
  u32 after = RowAt(s, rows[i0]).group + (shared ? 1 : 0);  // the first row group not yet moved
  for (u32 i = i0; i < i1;) {
    const u32 g = RowAt(s, rows[i]).group;
    ShiftRowGroups(s, after, g + 1, rowMoved);
    const bool first = i == i0;
    after = g + 1;
    u32 end = RowGroupFirst(s, g) + s->rowGroups.entries[g].count;
    if (end > rowEnd) end = rowEnd;
    u32 local = first ? local0 : 0;
    for (u32 r = rows[i]; r < end;) {
      u32 runEnd;
      Row *run = RowRun(s, r, end, &runEnd);
      for (; r < runEnd; r++, run++) {
        run->start += local;
        for (; i < i1 && rows[i] == r; i++) {
          const u32 d = e[i].length - (e[i].to - e[i].from);
          run->textLength += d;
          local += d;
        }
      }
    }
    rowMoved += local;
  }
  ShiftRowGroups(s, after, groupsEnd, rowMoved);
}

// One half's work on its thread.
struct Half {
  TextStore *s;
  const BatchRequest *e;  // the whole batch
  u32 i0, i1;
  const ByteSource *text;
  u32 *rows;
  bool fits;
  BlockFlow *flow;
  u32 block, blockStart;  // the block of the half's first edit (kNone: looked up)
  // For UpdateRows.
  u32 moved, local;
  bool shared;
  u32 rowEnd, groupsEnd;
};

u32 HalfRows(void *arg) {
  Half *h = static_cast<Half *>(arg);
  h->fits = FindRows(h->s, h->e, h->i0, h->i1, h->rows);
  return 0;
}

u32 HalfCommit(void *arg) {
  Half *h = static_cast<Half *>(arg);
  SourceReader reader(*h->text);
  const BatchRequest *e = h->e + h->i0;
  WalkBlocks(
      h->s, e, h->i1 - h->i0, true,
      [&](u32 b, u32 bs, u64 newLength, u32 i0, u32 i1) { return h->flow->Touched(b, bs, newLength, e, i0, i1, reader); },
      h->block, h->blockStart);
  h->flow->Finish();
  if (h->rows) UpdateRows(h->s, h->e, h->i0, h->i1, h->rows, h->moved, h->local, h->shared, h->rowEnd, h->groupsEnd);
  return 0;
}

// Writes the new bytes of the edits [i0, i1) of equal lengths over the old.
struct SameHalf {
  const TextStore *s;
  const BatchRequest *e;
  u32 i0, i1;
  const ByteSource *text;
};

u32 WriteSame(void *arg) {
  SameHalf *h = static_cast<SameHalf *>(arg);
  SourceReader reader(*h->text);
  StoreCursor cursor(h->s);
  // Short new bytes read from a store are kept while the next edit puts the
  // same (an undo of a uniform step).
  char kept[64];
  u32 keptOffset = kNone, keptLength = 0;
  for (u32 i = h->i0; i < h->i1; i++) {
    const BatchRequest &r = h->e[i];
    if (char *p = r.length <= sizeof kept ? cursor.Within(r.from, r.length) : nullptr) {
      if (h->text->bytes) {
        MoveBytes(p, h->text->bytes + r.offset, r.length);
        continue;
      }
      if (r.offset != keptOffset || r.length != keptLength) {
        reader.Copy(r.offset, r.length, kept);
        keptOffset = r.offset;
        keptLength = r.length;
      }
      MoveBytes(p, kept, r.length);
      continue;
    }
    u32 k = 0;
    cursor.Pieces(r.from, r.length, [&](const char *p, u32 n) {
      reader.Copy(r.offset + k, n, const_cast<char *>(p));
      k += n;
      return true;
    });
  }
  return 0;
}

}  // namespace

void ReleaseStoreBatchScratch() {
  Free(g_rowScratch);
  g_rowScratch = nullptr;
  g_rowScratchCount = 0;
}

u32 g_batchTwoThreadEdits = 4096;

u64 g_storeBatchesInPlace = 0;

int StoreReplaceInPlace(TextStore *s, const BatchRequest *e, u32 count, const ByteSource &text, bool deletedAlike) {
  if (count == 0 || s->blocks.count == 0) return 1;
  SourceReader reader(text);
  // New text in one buffer is looked at once; an edit that inserts the same
  // bytes as the one before (a uniform undo step) needs no second look.
  if (!text.bytes || FindNewline(text.bytes, text.bytes + text.length) != text.bytes + text.length) {
    for (u32 i = 0; i < count; i++) {
      if (i > 0 && e[i].offset == e[i - 1].offset && e[i].length == e[i - 1].length) continue;
      if (e[i].length && reader.HasNewline(e[i].offset, e[i].length)) return 1;
    }
  }
  // Edits that put as many bytes as they take, none of them a newline ("the"
  // by "THE", and back): the blocks, rows and starts stay as they are, the
  // bytes are written over where they stand.
  bool sameLengths = true;
  for (u32 i = 0; i < count && sameLengths; i++) sameLengths = e[i].length && e[i].length == e[i].to - e[i].from;
  if (sameLengths) {
    StoreCursor cursor(s);
    auto noNewline = [](const char *p, u32 n) { return FindNewline(p, p + n) == p + n; };
    for (u32 i = 0; i < (deletedAlike ? 1 : count); i++) {
      if (!cursor.Pieces(e[i].from, e[i].to - e[i].from, noNewline)) return 1;
    }
    // Long batches in two halves at once: the edits share no byte.
    const u32 half = count >= g_batchTwoThreadEdits && count >= 2 ? count / 2 : count;
    SameHalf first = {s, e, 0, half, &text}, second = {s, e, half, count, &text};
    RunBeside(WriteSame, &first, half < count ? &second : nullptr);
    g_storeBatchesInPlace++;
    return 0;
  }
  // With a row index, pass 2 finds every deletion inside the text of a row,
  // which holds no newline.
  const bool deletionsChecked = !s->noRowIndex;
  // A long batch is made in two halves at once.
  u32 blockB = kNone, blockStartB = 0;
  const u32 cut = CutOf(s, e, count, &blockB, &blockStartB);

  // 1. The blocks: the deleted bytes, the bytes around each run of adjacent
  // edits, the carry's plan (each half's own).
  BlockFlow plan{s, false}, planB{s, false};
  bool crBefore = false;  // the run of adjacent edits being read follows a CR
  bool fits = WalkBlocks(s, e, count, false, [&](u32 b, u32 bs, u64 newLength, u32 i0, u32 i1) {
    const TextBlock *bl = s->blocks.entries;
    const TextBlock &blk = bl[b];
    const u32 end = bs + blk.length;
    for (u32 k = i0; k < i1; k++) {
      const Piece pc = PieceOf(e[k], bs, end);
      if (!deletionsChecked && FindNewline(blk.data + pc.a, blk.data + pc.b) != blk.data + pc.b) return false;
      // An edit with no neighbour that takes bytes and puts bytes (none a
      // newline) keeps apart a CR before it and an LF after it: no need to
      // look at them.
      if (e[k].to > e[k].from && e[k].length && (k == 0 || e[k - 1].to != e[k].from) &&
          (k + 1 == count || e[k + 1].from != e[k].to)) {
        crBefore = false;
        continue;
      }
      if (e[k].from >= bs && (k == 0 || e[k - 1].to != e[k].from)) {
        const u32 p = e[k].from;
        crBefore = p > 0 && (p > bs ? blk.data[p - bs - 1] : bl[b - 1].data[bl[b - 1].length - 1]) == '\r';
      }
      if (e[k].to <= end && crBefore && (k + 1 == count || e[k + 1].from != e[k].to)) {
        const u32 p = e[k].to;
        if (p < s->length && (p < end ? blk.data[p - bs] : bl[b + 1].data[0]) == '\n') return false;
      }
    }
    return (cut && i0 >= cut ? planB : plan).Touched(b, bs, newLength, e, i0, i1, reader);
  });
  if (!fits) return 1;
  plan.Finish();
  planB.Finish();
  const u32 newBlocks = plan.newBlocks + planB.newBlocks;
  const u32 blockCount = s->blocks.count + newBlocks;
  if (blockCount < s->blocks.count) return 1;
  const u32 firstGroup = s->blocks.entries[plan.first].group;
  const u32 fill = g_storeLimits.blockGroupFill;
  const u32 regrouped = s->blockGroups.entries[firstGroup].first;
  const u32 groupCount = firstGroup + (blockCount - regrouped + fill - 1) / fill;

  // 2. The rows: each edit's row, the edit inside its text; no wrapped row
  // left empty.
  u32 *rows = nullptr;
  Half first = {s, e, 0, cut ? cut : count, &text, nullptr, true, nullptr, kNone, 0, 0, 0, false, kNone, 0};
  Half second = {s, e, cut, count, &text, nullptr, true, nullptr, blockB, blockStartB, 0, 0, false, kNone, 0};
  if (!s->noRowIndex) {
    rows = RowScratch(count);
    if (!rows) return -1;
    first.rows = second.rows = rows;
    RunBeside(HalfRows, &first, cut ? &second : nullptr);
    if (!first.fits || !second.fits) return 1;
  }
  // The halves' rows must lie apart to be changed at once.
  const bool apart = cut && (!rows || rows[cut - 1] < rows[cut]);

  // 3. Everything the second pass needs, made before anything changes: room
  // for a block's new bytes, the new blocks' buffers and their places in the
  // tables.
  BlockFlow flow{s, true}, flowB{s, true};
  char stackRoom[3 * kBlockSmall], stackRoomB[3 * kBlockSmall];
  const size_t roomSize = static_cast<size_t>(plan.mostContent), roomSizeB = static_cast<size_t>(planB.mostContent);
  flow.room = roomSize <= sizeof stackRoom ? stackRoom : static_cast<char *>(Allocate(roomSize));
  flowB.room = roomSizeB <= sizeof stackRoomB ? stackRoomB : static_cast<char *>(Allocate(roomSizeB));
  bool ready = flow.room && flowB.room;
  char **buffers = nullptr;
  NewBlock *placed = nullptr;
  u32 made = 0;
  if (ready && newBlocks) {
    ready = GrowTable(&s->blocks, blockCount) && GrowTable(&s->blockGroups, groupCount);
    buffers = ready ? static_cast<char **>(Allocate(static_cast<size_t>(newBlocks) * sizeof(char *))) : nullptr;
    placed = ready ? static_cast<NewBlock *>(Allocate(static_cast<size_t>(newBlocks) * sizeof(NewBlock))) : nullptr;
    ready = buffers && placed;
    while (ready && made < newBlocks && (buffers[made] = static_cast<char *>(Allocate(kBlockSmall))) != nullptr) made++;
    ready = ready && made == newBlocks;
  }
  auto freeRooms = [&]() {
    if (flow.room != stackRoom) Free(flow.room);
    if (flowB.room != stackRoomB) Free(flowB.room);
  };
  if (!ready) {
    for (u32 k = 0; k < made; k++) Free(buffers[k]);
    Free(buffers);
    Free(placed);
    freeRooms();
    return -1;
  }
  flow.buffers = buffers;
  flow.placed = placed;
  flowB.buffers = buffers ? buffers + plan.newBlocks : nullptr;
  flowB.placed = placed ? placed + plan.newBlocks : nullptr;

  // 4. The blocks' bytes and lengths, and the rows' lengths and starts (5):
  // each half on its own when they lie apart, otherwise one after the other
  // (the rows then at once). Inside a row group with edits, the rows from the
  // first edited one on change; the groups between and after move whole
  // (those after the last span changed through their spans' shifts).
  u32 change = 0, changeA = 0;  // modulo 2^32
  for (u32 i = 0; i < count; i++) {
    if (i == cut && cut) changeA = change;
    change += e[i].length - (e[i].to - e[i].from);
  }
  first.flow = &flow;
  second.flow = &flowB;
  first.rows = second.rows = apart ? rows : nullptr;
  if (apart) {
    // A row group both halves edit: the first half's change in it.
    const u32 g = RowAt(s, rows[cut]).group;
    u32 local = 0;
    for (u32 i = cut; i-- > 0 && RowAt(s, rows[i]).group == g;) local += e[i].length - (e[i].to - e[i].from);
    const bool shared = RowAt(s, rows[cut - 1]).group == g;
    first.groupsEnd = g;
    first.rowEnd = shared ? rows[cut] : kNone;
    second.moved = changeA - local;
    second.local = local;
    second.shared = shared;
    second.groupsEnd = s->rowGroups.count;
  }
  RunBeside(HalfCommit, &first, cut ? &second : nullptr);
  if (rows && !apart) UpdateRows(s, e, 0, count, rows, 0, 0, false, kNone, s->rowGroups.count);
  // The new blocks into the table (from its end back), then the starts and
  // groups from the first changed block's group on: the groups through the
  // last changed block's keep their blocks, or, with new blocks, the blocks
  // from there on are grouped anew.
  if (newBlocks) {
    TextBlock *b = s->blocks.entries;
    u32 to = blockCount, k = newBlocks;
    for (u32 i = s->blocks.count; k > 0 && i-- > 0;) {
      for (; k > 0 && placed[k - 1].after == i; k--) b[--to] = TextBlock{0, 0, placed[k - 1].length, placed[k - 1].data};
      b[--to] = b[i];
    }
    s->blocks.count = blockCount;
    BlockGroup *g = s->blockGroups.entries;
    for (u32 k2 = firstGroup, i = regrouped; i < blockCount; k2++, i += fill) {
      g[k2] = BlockGroup{i, g[firstGroup].start, blockCount - i < fill ? blockCount - i : fill, 0};
    }
    s->blockGroups.count = groupCount;
    SetBlockStarts(s, firstGroup, groupCount - 1, change);
    Free(buffers);
    Free(placed);
  } else {
    SetBlockStarts(s, firstGroup, s->blocks.entries[(cut ? flowB : flow).last].group, change);
  }
  freeRooms();
  s->length += change;
  g_storeBatchesInPlace++;
  return 0;
}
