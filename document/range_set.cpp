#include "document/range_set.h"

#include <string.h>

#include "document/store_internal.h"

namespace {

// A range by chunk and index; c == chunk count means "none".
struct Pos {
  u32 c, i;
};

inline bool Valid(const RangeSet *s, Pos p) { return p.c < s->chunks.count; }
inline u32 StartOf(const RangeSet *s, Pos p) {
  const RangeChunk &k = s->chunks.entries[p.c];
  return k.start + k.ranges[p.i].start;
}

Pos Next(const RangeSet *s, Pos p) {
  if (p.i + 1 < s->chunks.entries[p.c].count) return Pos{p.c, p.i + 1};
  return Pos{p.c + 1, 0};
}

Pos Prev(const RangeSet *s, Pos p) {
  if (p.c < s->chunks.count && p.i > 0) return Pos{p.c, p.i - 1};
  return Pos{p.c - 1, s->chunks.entries[p.c - 1].count - 1};
}

bool Before(Pos a, Pos b) { return a.c < b.c || (a.c == b.c && a.i < b.i); }

// The last chunk whose start is <= x (strict: < x), or count when none.
u32 ChunkFor(const RangeSet *s, u32 x, bool strict) {
  const RangeChunk *ch = s->chunks.entries;
  u32 n = s->chunks.count;
  auto ok = [&](u32 c) { return strict ? ch[c].start < x : ch[c].start <= x; };
  if (n == 0 || !ok(0)) return n;
  u32 lo = 0, hi = n - 1;
  while (lo < hi) {
    u32 mid = lo + (hi - lo + 1) / 2;
    if (ok(mid)) lo = mid; else hi = mid - 1;
  }
  return lo;
}

// The first range whose end is > p (inclusive: >= p).
Pos FirstEnding(const RangeSet *s, u32 p, bool inclusive) {
  u32 c = ChunkFor(s, p, inclusive);
  if (c == s->chunks.count) return Pos{0, 0};
  const RangeChunk &k = s->chunks.entries[c];
  u32 rel = p - k.start;
  u32 lo = 0, hi = k.count;
  while (lo < hi) {
    u32 mid = lo + (hi - lo) / 2;
    u32 end = k.ranges[mid].start + k.ranges[mid].length;
    if (inclusive ? end >= rel : end > rel) hi = mid; else lo = mid + 1;
  }
  return lo < k.count ? Pos{c, lo} : Pos{c + 1, 0};
}

// The first range whose start is >= x (strict: > x).
Pos FirstStart(const RangeSet *s, u32 x, bool strict) {
  u32 c = ChunkFor(s, x, false);
  if (c == s->chunks.count) return Pos{0, 0};
  const RangeChunk &k = s->chunks.entries[c];
  u32 rel = x - k.start;
  u32 lo = 0, hi = k.count;
  while (lo < hi) {
    u32 mid = lo + (hi - lo) / 2;
    if (strict ? k.ranges[mid].start > rel : k.ranges[mid].start >= rel) hi = mid; else lo = mid + 1;
  }
  return lo < k.count ? Pos{c, lo} : Pos{c + 1, 0};
}

// Makes the chunk's first range start at relative 0 again.
void Rebase(RangeChunk &k) {
  u32 r0 = k.ranges[0].start;
  if (r0 == 0) return;
  k.start += r0;
  for (u32 i = 0; i < k.count; i++) k.ranges[i].start -= r0;
}

void ShrinkChunk(RangeChunk &k, u32 oldCount) {
  if (ChunkCapacity(oldCount) <= ChunkCapacity(k.count)) return;
  if (void *p = Reallocate(k.ranges, ChunkCapacity(k.count) * sizeof(Range))) k.ranges = static_cast<Range *>(p);
}

void Renumber(RangeSet *s, u32 fromChunk) {
  for (u32 c = fromChunk; c < s->chunks.count; c++) {
    RangeChunk &k = s->chunks.entries[c];
    for (u32 i = 0; i < k.count; i++) k.ranges[i].chunk = c;
  }
}

void RemoveChunks(RangeSet *s, u32 from, u32 to) {
  if (from >= to) return;
  RangeChunk *ch = s->chunks.entries;
  for (u32 c = from; c < to; c++) Free(ch[c].ranges);
  memmove(ch + from, ch + to, (s->chunks.count - to) * sizeof(RangeChunk));
  s->chunks.count -= to - from;
  Renumber(s, from);
}

// Removes the ranges from a to b inclusive.
void RemoveSpan(RangeSet *s, Pos a, Pos b) {
  RangeChunk *ch = s->chunks.entries;
  if (a.c == b.c) {
    RangeChunk &k = ch[a.c];
    u32 old = k.count;
    memmove(k.ranges + a.i, k.ranges + b.i + 1, (old - b.i - 1) * sizeof(Range));
    k.count = old - (b.i - a.i + 1);
    if (k.count == 0) {
      RemoveChunks(s, a.c, a.c + 1);
      return;
    }
    if (a.i == 0) Rebase(k);
    ShrinkChunk(k, old);
    return;
  }
  u32 delFrom = a.c + 1, delTo = b.c;
  RangeChunk &first = ch[a.c];
  u32 oldFirst = first.count;
  first.count = a.i;
  if (first.count == 0) {
    delFrom = a.c;
  } else {
    ShrinkChunk(first, oldFirst);
  }
  RangeChunk &last = ch[b.c];
  u32 oldLast = last.count, keep = oldLast - b.i - 1;
  memmove(last.ranges, last.ranges + b.i + 1, keep * sizeof(Range));
  last.count = keep;
  if (keep == 0) {
    delTo = b.c + 1;
  } else {
    Rebase(last);
    ShrinkChunk(last, oldLast);
  }
  RemoveChunks(s, delFrom, delTo);
}

// Adds delta to the start of every range from p on.
void ShiftFrom(RangeSet *s, Pos p, u32 delta) {
  if (!Valid(s, p) || delta == 0) return;
  RangeChunk *ch = s->chunks.entries;
  u32 c = p.c;
  if (p.i == 0) {
    ch[c].start += delta;
  } else {
    for (u32 i = p.i; i < ch[c].count; i++) ch[c].ranges[i].start += delta;
  }
  for (u32 k = c + 1; k < s->chunks.count; k++) ch[k].start += delta;
}

// Inserts a range before p (p may be "none": at the end).
int InsertBefore(RangeSet *s, Pos p, u32 start, u32 length, u32 payload) {
  const u32 max = g_storeLimits.groupMax, fill = g_storeLimits.groupFill;
  if (s->chunks.count == 0) {
    if (!GrowTable(&s->chunks, 1)) return -1;
    Range *buf = static_cast<Range *>(Allocate(fill * sizeof(Range)));
    if (!buf) return -1;
    buf[0] = Range{0, 0, length, payload};
    s->chunks.entries[0] = RangeChunk{0, start, 1, buf};
    s->chunks.count = 1;
    return 0;
  }
  // At a chunk's front, the new range joins the end of the previous chunk.
  if (!Valid(s, p) || (p.i == 0 && p.c > 0)) p = Pos{p.c - 1, s->chunks.entries[p.c - 1].count};
  RangeChunk *k = &s->chunks.entries[p.c];
  if (k->count < max) {
    if (k->count + 1 > ChunkCapacity(k->count)) {
      void *grown = Reallocate(k->ranges, ChunkCapacity(k->count + 1) * sizeof(Range));
      if (!grown) return -1;
      k->ranges = static_cast<Range *>(grown);
    }
    memmove(k->ranges + p.i + 1, k->ranges + p.i, (k->count - p.i) * sizeof(Range));
    k->count++;
    if (p.i == 0 && start < k->start) {
      u32 d = k->start - start;
      for (u32 i = 1; i < k->count; i++) k->ranges[i].start += d;
      k->start = start;
    }
    k->ranges[p.i] = Range{p.c, start - k->start, length, payload};
    return 0;
  }
  // A full chunk splits: the first fill + 1 ranges stay, the last fill move
  // into a new chunk after it.
  if (!GrowTable(&s->chunks, s->chunks.count + 1)) return -1;
  Range *upper = static_cast<Range *>(Allocate(fill * sizeof(Range)));
  if (!upper) return -1;
  k = &s->chunks.entries[p.c];
  const u32 c = p.c;
  const Range added = Range{c, start - (p.i == 0 ? start : k->start), length, payload};
  if (p.i <= fill) {
    memcpy(upper, k->ranges + fill, fill * sizeof(Range));
    memmove(k->ranges + p.i + 1, k->ranges + p.i, (fill - p.i) * sizeof(Range));
    k->ranges[p.i] = added;
  } else {
    u32 before = p.i - (fill + 1);
    memcpy(upper, k->ranges + fill + 1, before * sizeof(Range));
    upper[before] = added;
    memcpy(upper + before + 1, k->ranges + p.i, (max - p.i) * sizeof(Range));
  }
  k->count = fill + 1;
  const u32 lowerStart = k->start;
  if (p.i == 0) {
    // The new range leads the chunk: every other relative start grows.
    u32 d = lowerStart - start;
    for (u32 i = 1; i < k->count; i++) k->ranges[i].start += d;
    for (u32 i = 0; i < fill; i++) upper[i].start += d;
    k->start = start;
  }
  RangeChunk *ch = s->chunks.entries;
  memmove(ch + c + 2, ch + c + 1, (s->chunks.count - c - 1) * sizeof(RangeChunk));
  s->chunks.count++;
  ch[c + 1] = RangeChunk{0, ch[c].start, fill, upper};
  Rebase(ch[c + 1]);
  Renumber(s, c);
  return 0;
}

}  // namespace

u32 RangeCount(const RangeSet *s) {
  u32 n = 0;
  for (u32 c = 0; c < s->chunks.count; c++) n += s->chunks.entries[c].count;
  return n;
}

const Range *RangeAt(const RangeSet *s, u32 position) {
  Pos p = FirstEnding(s, position, false);
  return Valid(s, p) ? &s->chunks.entries[p.c].ranges[p.i] : nullptr;
}

const Range *RangeNext(const RangeSet *s, const Range *r) {
  const RangeChunk &k = s->chunks.entries[r->chunk];
  Pos p = Next(s, Pos{r->chunk, static_cast<u32>(r - k.ranges)});
  return Valid(s, p) ? &s->chunks.entries[p.c].ranges[p.i] : nullptr;
}

int RangeSetAdd(RangeSet *s, u32 start, u32 length, u32 payload) {
  if (length == 0) return 0;
  if (static_cast<u64>(start) + length > 0xFFFFFFFFull) length = 0xFFFFFFFFu - start;
  const u32 end = start + length;
  Pos f = FirstEnding(s, start, false);
  Pos g = FirstStart(s, end, false);
  if (!Valid(s, f) || !Before(f, g)) return InsertBefore(s, f, start, length, payload);
  // The new range takes the place of the first range it overlaps; the others go.
  Pos second = Next(s, f);
  if (Before(second, g)) RemoveSpan(s, second, Prev(s, g));
  RangeChunk &k = s->chunks.entries[f.c];
  if (f.i == 0) {
    u32 old = k.start;
    k.start = start;
    // start < old is possible; relative starts stay in 32-bit modular sums.
    for (u32 i = 1; i < k.count; i++) k.ranges[i].start += old - start;
  }
  k.ranges[f.i] = Range{f.c, start - k.start, length, payload};
  return 0;
}

void RangeSetRemove(RangeSet *s, u32 from, u32 to) {
  if (from >= to) return;
  Pos f = FirstEnding(s, from, false);
  Pos g = FirstStart(s, to, false);
  if (Valid(s, f) && Before(f, g)) RemoveSpan(s, f, Prev(s, g));
}

void RangeSetClear(RangeSet *s) {
  for (u32 c = 0; c < s->chunks.count; c++) Free(s->chunks.entries[c].ranges);
  Free(s->chunks.entries);
  s->chunks = Table<RangeChunk>{};
}

void RangeSetOnInsert(RangeSet *s, u32 p, u32 n, bool endCounts) {
  if (s->chunks.count == 0) return;
  // The range holding p, or (endCounts) one ending exactly at p.
  Pos at = FirstEnding(s, p, endCounts);
  if (Valid(s, at) && StartOf(s, at) <= p) RemoveSpan(s, at, at);
  ShiftFrom(s, FirstEnding(s, p, false), n);
}

void RangeSetOnDelete(RangeSet *s, u32 a, u32 b) {
  if (s->chunks.count == 0) return;
  Pos f = FirstEnding(s, a, true);
  Pos g = FirstStart(s, b, true);
  if (Valid(s, f) && Before(f, g)) RemoveSpan(s, f, Prev(s, g));
  ShiftFrom(s, FirstEnding(s, a, true), 0u - (b - a));
}
