#include "document/store_check.h"

#include <stdarg.h>

#include "document/store_internal.h"
#include "foundation/format.h"

namespace {

struct Checker {
  const TextStore *s;
  const StoreCheckOptions &opt;
  char *why;
  size_t whyCap;

  bool Fail(const char *format, ...) {
    if (why && whyCap) {
      va_list args;
      va_start(args, format);
      FormatV(why, whyCap, format, args);
      va_end(args);
    }
    return false;
  }

  // Sequential reading of the text (positions never go backwards).
  u32 block = 0, blockStart = 0;
  const char *SpanAt(u32 pos, u32 *avail) {
    while (pos >= blockStart + s->blocks.entries[block].length) {
      blockStart += s->blocks.entries[block].length;
      block++;
    }
    *avail = blockStart + s->blocks.entries[block].length - pos;
    return s->blocks.entries[block].data + (pos - blockStart);
  }
  u8 ByteAt(u32 pos) {
    u32 avail;
    return static_cast<u8>(*SpanAt(pos, &avail));
  }

  bool Blocks() {
    const Table<TextBlock> &b = s->blocks;
    const Table<BlockGroup> &g = s->blockGroups;
    if (b.count > b.capacity || g.count > g.capacity) return Fail("block tables over capacity");
    if (b.count == 0) {
      if (g.count != 0) return Fail("block groups without blocks");
      if (s->length != 0) return Fail("length %u without blocks", s->length);
      return true;
    }
    u32 item = 0;
    u64 abs = 0;
    for (u32 gi = 0; gi < g.count; gi++) {
      const BlockGroup &grp = g.entries[gi];
      if (grp.count == 0 || grp.count > g_storeLimits.groupMax) return Fail("block group %u holds %u", gi, grp.count);
      if (grp.first != item) return Fail("block group %u first %u, expected %u", gi, grp.first, item);
      if (grp.start != abs) return Fail("block group %u start %u, expected %u", gi, grp.start, (u32)abs);
      for (u32 k = 0; k < grp.count; k++, item++) {
        if (item >= b.count) return Fail("block group %u runs past the blocks", gi);
        const TextBlock &blk = b.entries[item];
        if (blk.group != gi) return Fail("block %u says group %u, is in %u", item, blk.group, gi);
        if (grp.start + blk.start != abs) return Fail("block %u starts at %u, expected %u", item, grp.start + blk.start,
                                                      (u32)abs);
        if (blk.length == 0 || blk.length > kBlockLarge) return Fail("block %u length %u", item, blk.length);
        if (!blk.data) return Fail("block %u has no buffer", item);
        if (opt.bufferSize) {
          size_t real = opt.bufferSize(blk.data);
          size_t nominal = BufferSize(blk.length);
          if (real < nominal || (opt.exactBuffers && real != nominal)) {
            return Fail("block %u of %u bytes has a %u-byte buffer", item, blk.length, (u32)real);
          }
        }
        abs += blk.length;
      }
    }
    if (item != b.count) return Fail("block groups cover %u of %u blocks", item, b.count);
    if (abs != s->length) return Fail("blocks hold %u bytes, length %u", (u32)abs, s->length);
    return true;
  }

  bool Rows() {
    const Table<Row> &r = s->rows;
    const Table<RowGroup> &g = s->rowGroups;
    if (r.count == 0 || r.count > r.capacity || g.count == 0 || g.count > g.capacity) {
      return Fail("row tables: %u rows of %u, %u groups of %u", r.count, r.capacity, g.count, g.capacity);
    }
    // The gaps among the rows: in order, inside the rows, holding the room.
    u64 room = 0;
    for (u32 j = 0; j < kRowGaps; j++) {
      const RowGaps &gaps = s->rowGaps;
      if (gaps.at[j] > r.count || (j > 0 && gaps.at[j] < gaps.at[j - 1])) {
        return Fail("row gap %u at %u (the one before at %u, %u rows)", j, gaps.at[j], j ? gaps.at[j - 1] : 0, r.count);
      }
      room += gaps.length[j];
    }
    if (room != r.capacity - r.count) return Fail("row gaps hold %u, the free room is %u", (u32)room, r.capacity - r.count);
    // Their index covers every row (each row's entry is checked below).
    const RowGapIndex &x = s->rowGapIndex;
    if (x.shift > 31 || (r.count >> x.shift) >= kRowGapBuckets) return Fail("row gap buckets of 2^%u rows", x.shift);
    u32 gap = 0, skip = 0;  // the gaps at or before the row being checked
    u32 item = 0;
    u64 abs = 0;
    u32 hard = 0;
    block = 0;
    blockStart = 0;
    for (u32 gi = 0; gi < g.count; gi++) {
      const u32 count = g.entries[gi].count;
      const u32 first = RowGroupFirst(s, gi), start = RowGroupStart(s, gi), base = RowGroupHardBase(s, gi);
      if (count == 0 || count > g_storeLimits.groupMax) return Fail("row group %u holds %u", gi, count);
      if (first != item) return Fail("row group %u first %u, expected %u", gi, first, item);
      if (start != abs) return Fail("row group %u start %u, expected %u", gi, start, (u32)abs);
      if (base != hard) return Fail("row group %u base %u, expected %u", gi, base, hard);
      for (u32 k = 0; k < count; k++, item++) {
        if (item >= r.count) return Fail("row group %u runs past the rows", gi);
        while (gap < kRowGaps && s->rowGaps.at[gap] <= item) skip += s->rowGaps.length[gap++];
        if (RowSlot(s, item) != item + skip) return Fail("row %u found at entry %u, lies at %u", item, RowSlot(s, item), item + skip);
        u32 runEnd;
        RowRun(s, item, r.count, &runEnd);
        u32 next = gap;
        while (next < kRowGaps && !s->rowGaps.length[next]) next++;
        if (runEnd != (next < kRowGaps ? s->rowGaps.at[next] : r.count)) return Fail("row %u: its run ends at %u", item, runEnd);
        const Row &row = RowAt(s, item);
        if (row.group != gi) return Fail("row %u says group %u, is in %u", item, row.group, gi);
        if (start + row.start != abs) return Fail("row %u starts at %u, expected %u", item, start + row.start,
                                                  (u32)abs);
        if (row.hardLine < 0 || static_cast<u32>(row.hardLine) > k || base + row.hardLine != hard) {
          return Fail("row %u hard line %d + %u, expected %u", item, row.hardLine, base, hard);
        }
        u32 kind = row.newlineLength | (row.newlineType << 8);
        if (kind != 0 && kind != (1 | kNewlineCR << 8) && kind != (1 | kNewlineLF << 8) &&
            kind != (2 | kNewlineCRLF << 8)) {
          return Fail("row %u newline %u/%u", item, row.newlineLength, row.newlineType);
        }
        const bool last = item + 1 == r.count;
        if (last && row.newlineLength) return Fail("the last row ends with a newline");
        if (!last && row.textLength + row.newlineLength == 0) return Fail("row %u is empty", item);
        if (!last && !row.newlineLength && !opt.allowSoftRows) return Fail("row %u ends by wrapping", item);
        if (abs + row.textLength + row.newlineLength > s->length) return Fail("row %u runs past the end", item);
        for (u32 i = 0; i < row.textLength;) {
          u32 avail;
          const char *p = SpanAt(static_cast<u32>(abs) + i, &avail);
          if (avail > row.textLength - i) avail = row.textLength - i;
          const char *nl = FindNewline(p, p + avail);
          if (nl != p + avail) return Fail("row %u holds a newline byte at %u", item, (u32)(abs + i + (nl - p)));
          i += avail;
        }
        u32 nl = static_cast<u32>(abs) + row.textLength;
        if (row.newlineType == kNewlineCR && ByteAt(nl) != '\r') return Fail("row %u: no CR at %u", item, nl);
        if (row.newlineType == kNewlineLF && ByteAt(nl) != '\n') return Fail("row %u: no LF at %u", item, nl);
        if (row.newlineType == kNewlineCRLF && (ByteAt(nl) != '\r' || ByteAt(nl + 1) != '\n')) {
          return Fail("row %u: no CR LF at %u", item, nl);
        }
        if (row.newlineType == kNewlineCR && nl + 1 < s->length && ByteAt(nl + 1) == '\n') {
          return Fail("row %u: a CR at %u is followed by an LF", item, nl);
        }
        abs += row.textLength + row.newlineLength;
        if (row.newlineLength) hard++;
      }
    }
    if (item != r.count) return Fail("row groups cover %u of %u rows", item, r.count);
    if (abs != s->length) return Fail("rows span %u bytes, length %u", (u32)abs, s->length);
    // Each span of row groups starts where its first group does: the row
    // searches begin with the spans.
    const u32 bits = g_storeLimits.rowSpanBits;
    const u32 spans = splice::SpansFor(g.count, bits);
    if (s->rowShifts.count != spans) return Fail("%u spans of row groups, %u groups", s->rowShifts.count, g.count);
    for (u32 k = 0; k < spans; k++) {
      const u32 start = RowGroupStart(s, k << bits);
      if (s->rowShifts.entries[k].spanStart != start) {
        return Fail("span %u starts at %u, its first row group at %u", k, s->rowShifts.entries[k].spanStart, start);
      }
    }
    return true;
  }

  bool Sets() {
    for (u32 k = 0; k < kRangeSetCount; k++) {
      const RangeSet &set = s->rangeSets[k];
      if (set.chunks.count > set.chunks.capacity) return Fail("set %u: chunk table over capacity", k);
      u64 prevEnd = 0;
      for (u32 c = 0; c < set.chunks.count; c++) {
        const RangeChunk &ch = set.chunks.entries[c];
        if (ch.count == 0 || ch.count > g_storeLimits.groupMax) return Fail("set %u chunk %u holds %u", k, c, ch.count);
        if (opt.bufferSize) {
          size_t real = opt.bufferSize(ch.ranges), nominal = ChunkCapacity(ch.count) * sizeof(Range);
          if (real < nominal || (opt.exactBuffers && real != nominal)) {
            return Fail("set %u chunk %u of %u ranges has %u bytes", k, c, ch.count, (u32)real);
          }
        }
        if (ch.ranges[0].start != 0) return Fail("set %u chunk %u: first range at %u", k, c, ch.ranges[0].start);
        for (u32 i = 0; i < ch.count; i++) {
          const Range &r = ch.ranges[i];
          u64 start = static_cast<u64>(ch.start) + r.start;
          if (r.chunk != c) return Fail("set %u chunk %u range %u says chunk %u", k, c, i, r.chunk);
          if (r.length == 0) return Fail("set %u: empty range at %u", k, (u32)start);
          if ((c || i) && start < prevEnd) return Fail("set %u: range at %u overlaps", k, (u32)start);
          prevEnd = start + r.length;
          if (prevEnd > s->length) return Fail("set %u: range ends at %u past %u", k, (u32)prevEnd,
                                               s->length);
        }
      }
    }
    return true;
  }
};

}  // namespace

bool CheckStore(const TextStore *store, const StoreCheckOptions &options, char *why, size_t whyCap) {
  Checker c{store, options, why, whyCap};
  if (!c.Blocks()) return false;
  if (!store->noRowIndex && !c.Rows()) return false;
  return c.Sets();
}
