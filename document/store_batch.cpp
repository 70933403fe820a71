// Many edits at once, made in place: each block keeps its own bytes and each
// row its place, so a batch costs a pass over the blocks and rows it touches
// instead of an insertion and a deletion through the tables per cluster.
//
// A batch qualifies when no edit changes a newline: no CR or LF in what is
// deleted or inserted, no run of adjacent edits between a CR and an LF (they
// could join or part), every edit inside the text of one row (not across a
// wrap, not between a CR and its LF), no wrapped row left empty, and every
// block touched ends with 1 to 8192 bytes. Then the row table keeps its rows,
// which change only their lengths and starts, and the block table keeps its
// blocks, which change only their bytes, lengths and starts.
//
// Two passes over the edits: the first checks all that, counts the blocks
// whose buffer must grow to 8192 bytes and notes each edit's row; then every
// new buffer is allocated; the second pass, which cannot fail, rewrites the
// blocks and the rows.
#include <string.h>

#include "document/batch_edit.h"
#include "document/store_internal.h"

namespace {

// Where the inserted bytes come from, read in ascending order.
struct SourceReader {
  const ByteSource &src;
  StoreCursor cursor;
  explicit SourceReader(const ByteSource &s) : src(s), cursor(s.store) {}
  void Copy(u32 offset, u32 n, char *out) {
    if (src.bytes) {
      memcpy(out, src.bytes + offset, n);
    } else {
      cursor.Copy(src.from + offset, n, out);
    }
  }
  bool HasNewline(u32 offset, u32 n) {
    if (src.bytes) return FindNewline(src.bytes + offset, src.bytes + offset + n) != src.bytes + offset + n;
    return !cursor.Pieces(src.from + offset, n, [](const char *p, u32 k) { return FindNewline(p, p + k) == p + k; });
  }
};

// The blocks that the edits touch, in order: Walk calls fn(block, its old
// start, its new length, first edit, end of edits) for each, where the edits
// [first, end) are those reaching into it (the first may have begun in an
// earlier block, the last may go on into the next one). An edit belongs to
// the block holding its start (the last block at the end of the text) and
// inserts there. fn returns false to stop the walk (false then).
// The blocks are only stepped through, never looked up, when `step` is set:
// for a walk that changes them as it goes.
template <class F>
bool WalkBlocks(const TextStore *s, const BatchRequest *e, u32 count, bool step, F &&fn) {
  const u32 blocks = s->blocks.count;
  const TextBlock *bl = s->blocks.entries;
  u32 b = BlockOfPosition(s, e[0].from);
  if (b >= blocks) b = blocks - 1;
  u32 bs = BlockStart(s, b);
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
    const u32 newLength = length < 0 || length > kBlockLarge ? 0 : static_cast<u32>(length);
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
      if (dst + w != src + r) memmove(dst + w, src + r, pc.a - r);
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
    if (gap && w != pc.b) memmove(data + w, data + pc.b, gap);
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

}  // namespace

u64 g_storeBatchesInPlace = 0;

int StoreReplaceInPlace(TextStore *s, const BatchRequest *e, u32 count, const ByteSource &text) {
  if (count == 0 || s->blocks.count == 0) return 1;
  SourceReader reader(text);
  for (u32 i = 0; i < count; i++) {
    if (e[i].length && reader.HasNewline(e[i].offset, e[i].length)) return 1;
  }

  // 1. The blocks: new lengths, the deleted bytes, the bytes around each run
  // of adjacent edits.
  const TextBlock *bl = s->blocks.entries;
  u32 grown = 0;
  bool crBefore = false;  // the run of adjacent edits being read follows a CR
  bool fits = WalkBlocks(s, e, count, false, [&](u32 b, u32 bs, u32 newLength, u32 i0, u32 i1) {
    if (newLength == 0) return false;
    const TextBlock &blk = bl[b];
    const u32 end = bs + blk.length;
    for (u32 k = i0; k < i1; k++) {
      const Piece pc = PieceOf(e[k], bs, end);
      if (FindNewline(blk.data + pc.a, blk.data + pc.b) != blk.data + pc.b) return false;
      if (e[k].from >= bs && (k == 0 || e[k - 1].to != e[k].from)) {
        const u32 p = e[k].from;
        crBefore = p > 0 && (p > bs ? blk.data[p - bs - 1] : bl[b - 1].data[bl[b - 1].length - 1]) == '\r';
      }
      if (e[k].to <= end && crBefore && (k + 1 == count || e[k + 1].from != e[k].to)) {
        const u32 p = e[k].to;
        if (p < s->length && (p < end ? blk.data[p - bs] : bl[b + 1].data[0]) == '\n') return false;
      }
    }
    if (newLength > BufferSize(blk.length)) grown++;
    return true;
  });
  if (!fits) return 1;

  // 2. The rows: each edit's row, the edit inside its text; no wrapped row
  // left empty.
  u32 *rows = nullptr;
  if (!s->noRowIndex) {
    rows = static_cast<u32 *>(Allocate(static_cast<size_t>(count) * sizeof(u32)));
    if (!rows) return -1;
    const u32 rowCount = s->rows.count;
    u32 r = RowOfPosition(s, e[0].from), rs = RowStart(s, r);
    const Row *row = &RowAt(s, r);
    i64 length = row->textLength;
    for (u32 i = 0; i < count && fits; i++) {
      const u32 p = e[i].from;
      if (p >= rs + row->textLength + row->newlineLength && r + 1 < rowCount) {
        if (length == 0 && row->newlineLength == 0) fits = false;
        for (u32 steps = 0; p >= rs + row->textLength + row->newlineLength && r + 1 < rowCount; steps++) {
          if (steps == 64) {
            r = RowOfPosition(s, p);
            rs = RowStart(s, r);
            row = &RowAt(s, r);
            break;
          }
          rs += row->textLength + row->newlineLength;
          row = &RowAt(s, ++r);
        }
        length = row->textLength;
      }
      if (e[i].to > rs + row->textLength) fits = false;
      length += static_cast<i64>(e[i].length) - (e[i].to - e[i].from);
      rows[i] = r;
    }
    if (length == 0 && row->newlineLength == 0 && r + 1 < rowCount) fits = false;
    if (!fits) {
      Free(rows);
      return 1;
    }
  }

  // 3. The buffers that grow, all made before anything changes.
  char **fresh = nullptr;
  if (grown) {
    fresh = static_cast<char **>(Allocate(static_cast<size_t>(grown) * sizeof(char *)));
    u32 made = 0;
    while (fresh && made < grown && (fresh[made] = static_cast<char *>(Allocate(kBlockLarge))) != nullptr) made++;
    if (made < grown) {
      for (u32 k = 0; fresh && k < made; k++) Free(fresh[k]);
      Free(fresh);
      Free(rows);
      return -1;
    }
  }

  // 4. The blocks' bytes and lengths, and the starts that follow: inside a
  // group with changed blocks, the blocks after the first of them; after
  // that group, the groups' starts.
  TextBlock *blocks = s->blocks.entries;
  BlockGroup *groups = s->blockGroups.entries;
  u32 used = 0;
  u32 moved = 0;        // the change of length so far (modulo 2^32)
  u32 group = 0xFFFFFFFFu;  // the group of the blocks being changed
  u32 groupMoved = 0;       // `moved` when that group was reached
  u32 next = 0;             // its first block whose start is still to be moved
  auto finishGroup = [&] {
    const u32 end = groups[group].first + groups[group].count;
    for (; next < end; next++) blocks[next].start += moved - groupMoved;
  };
  WalkBlocks(s, e, count, true, [&](u32 b, u32 bs, u32 newLength, u32 i0, u32 i1) {
    TextBlock &blk = blocks[b];
    if (group == 0xFFFFFFFFu) {
      group = blk.group;
      next = b;
    } else if (blk.group != group) {
      finishGroup();
      for (u32 g = group + 1; g <= blk.group; g++) groups[g].start += moved;
      group = blk.group;
      groupMoved = moved;
      next = groups[group].first;
    }
    for (; next <= b; next++) blocks[next].start += moved - groupMoved;
    const u32 length = blk.length;
    if (newLength > BufferSize(length)) {
      char *buffer = fresh[used++];
      RewriteForward(buffer, blk.data, length, bs, e, i0, i1, reader);
      Free(blk.data);
      blk.data = buffer;
    } else {
      // In place: forward when no insertion runs ahead of the old bytes,
      // backward when none falls behind, otherwise from a copy.
      bool forward = true, backward = true;
      i64 sum = 0;
      for (u32 k = i0; k < i1; k++) {
        const Piece pc = PieceOf(e[k], bs, bs + length);
        if (sum < 0) backward = false;
        sum += static_cast<i64>(pc.n) - (pc.b - pc.a);
        if (sum > 0) forward = false;
      }
      if (forward) {
        RewriteForward(blk.data, blk.data, length, bs, e, i0, i1, reader);
      } else if (backward) {
        RewriteBackward(blk.data, length, newLength, bs, e, i0, i1, reader);
      } else {
        char copy[kBlockLarge];
        memcpy(copy, blk.data, length);
        RewriteForward(blk.data, copy, length, bs, e, i0, i1, reader);
      }
    }
    blk.length = newLength;
    if (BufferSize(length) > BufferSize(newLength)) {
      if (void *p = Reallocate(blk.data, BufferSize(newLength))) blk.data = static_cast<char *>(p);
    }
    moved += newLength - length;
    return true;
  });
  finishGroup();
  for (u32 g = group + 1; g < s->blockGroups.count; g++) groups[g].start += moved;
  Free(fresh);

  // 5. The rows' lengths and starts, the same way; the row groups after the
  // last one changed move through their spans' shifts.
  if (rows) {
    u32 rowMoved = 0;
    u32 after = RowAt(s, rows[0]).group;  // the first row group not yet moved
    for (u32 i = 0; i < count;) {
      const u32 g = RowAt(s, rows[i]).group;
      ShiftRowGroups(s, after, g + 1, rowMoved);
      after = g + 1;
      const u32 end = RowGroupFirst(s, g) + s->rowGroups.entries[g].count;
      u32 local = 0;
      for (u32 r = rows[i]; r < end;) {
        u32 runEnd;
        Row *run = RowRun(s, r, end, &runEnd);
        for (; r < runEnd; r++, run++) {
          run->start += local;
          for (; i < count && rows[i] == r; i++) {
            const u32 d = e[i].length - (e[i].to - e[i].from);
            run->textLength += d;
            local += d;
          }
        }
      }
      rowMoved += local;
    }
    ShiftRowGroups(s, after, s->rowGroups.count, rowMoved);
    Free(rows);
  }
  s->length += moved;
  g_storeBatchesInPlace++;
  return 0;
}
