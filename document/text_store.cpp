// The text store's life cycle, lookups and statistics.
#include "document/text_store.h"

#include <string.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "document/grouped_table.h"
#include "document/store_internal.h"

StoreLimits g_storeLimits = {kGroupMax, kGroupFill, kBlockGroupFill, kRowGroupFill, kRowSpanBits};
u32 splice::g_renumberHalves = 1u << 20;
u64 g_storeRowsMoved = 0;

void SetStoreLimitsForTesting(u32 groupMax) {
  // Even, so that a full chunk splits into two halves of groupFill; spans of
  // two row groups (four from groupMax 16 on), so that small texts cross
  // many of them, and end spans are partly filled.
  if (groupMax < 2 || groupMax > kGroupMax) {
    g_storeLimits = {kGroupMax, kGroupFill, kBlockGroupFill, kRowGroupFill, kRowSpanBits};
  } else {
    u32 half = groupMax / 2;
    g_storeLimits = {groupMax & ~1u, half, half, half, groupMax < 16 ? 1u : 2u};
  }
}

int GrowTableRaw(void **entries, size_t entrySize, u32 *capacity, u32 needed) {
  const u32 cap = *capacity;
  if (cap >= needed) return 1;
  const u64 kLarge = 65536;
  u64 want;
  if (needed >= kLarge && needed > 2ull * cap) {
    want = needed;  // a bulk insertion: exactly what it needs
  } else if (cap < kLarge) {
    want = cap ? cap : 1;
    while (want < needed) want *= 2;
  } else {
    // At least an eighth more than asked: a text appended in pieces (a
    // large file loaded view by view, a paste, a filter's output) then grows
    // the table O(log n) times, not once a piece.
    want = cap + cap / 8;
    const u64 ample = needed + needed / 8;
    if (want < ample) want = ample;
  }
  const u64 most = SIZE_MAX / entrySize < 0xFFFFFFFFull ? SIZE_MAX / entrySize : 0xFFFFFFFFull;
  if (needed > most) return 0;
  if (want > most) want = most;
  void *grown = Reallocate(*entries, static_cast<size_t>(want) * entrySize);
  if (!grown && want > needed) {
    // The slack does not fit the address space (a 32-bit process with a huge
    // text): exactly what is needed may.
    want = needed;
    grown = Reallocate(*entries, static_cast<size_t>(want) * entrySize);
  }
  if (!grown) return 0;
  *entries = grown;
  *capacity = static_cast<u32>(want);
  return 1;
}

// ---- the gaps among the rows ---------------------------------------------------------

namespace {

// Moves n rows from src to dst without passing them through the cache: a
// far move would otherwise push out the tables that the next edits look up.
// Chunks of 4 KiB never overlap while they are no longer than the distance;
// short moves and short distances use memmove.
void MoveRows(Row *dst, const Row *src, u32 n) {
  g_storeRowsMoved += n;
#if defined(__SSE2__)
  const u32 kChunk = 256;
  const u32 dist = dst > src ? static_cast<u32>(dst - src) : static_cast<u32>(src - dst);
  if (n >= 16 * kChunk && dist >= kChunk && !(reinterpret_cast<uintptr_t>(dst) & 15)) {
    auto chunk = [&](u32 at) {
      const __m128i *s = reinterpret_cast<const __m128i *>(src + at);
      __m128i *d = reinterpret_cast<__m128i *>(dst + at);
      for (u32 i = 0; i < kChunk; i += 4) {
        const __m128i a = _mm_loadu_si128(s + i), b = _mm_loadu_si128(s + i + 1), c = _mm_loadu_si128(s + i + 2),
                      x = _mm_loadu_si128(s + i + 3);
        _mm_stream_si128(d + i, a);
        _mm_stream_si128(d + i + 1, b);
        _mm_stream_si128(d + i + 2, c);
        _mm_stream_si128(d + i + 3, x);
      }
    };
    u32 done;
    if (dst > src) {
      u32 at = n;
      while (at >= kChunk) chunk(at -= kChunk);
      done = at;  // the first `done` rows are left
      memmove(dst, src, static_cast<size_t>(done) * sizeof(Row));
    } else {
      u32 at = 0;
      for (; at + kChunk <= n; at += kChunk) chunk(at);
      memmove(dst + at, src + at, static_cast<size_t>(n - at) * sizeof(Row));
    }
    _mm_sfence();
    return;
  }
#endif
  memmove(dst, src, static_cast<size_t>(n) * sizeof(Row));
}

// Moves the rows of `count` from the layout `from` to the layout `to` (the
// capacity holds both; `from` may describe less free room than there is when
// the rest lies after the last row). Both layouts keep the rows in order, so
// the runs that move down can go first, in ascending order, and then those
// that move up, in descending order: no run overwrites one that has still to
// move.
void ArrangeRows(Row *e, u32 count, const RowGaps &from, const RowGaps &to) {
  // The runs of rows that lie at one distance from their index in each
  // layout, and move.
  struct Run {
    u32 a, b, from, to;
  };
  Run runs[2 * kRowGaps + 1];
  u32 n = 0, i = 0, j = 0, skipFrom = 0, skipTo = 0;
  for (u32 a = 0; a < count;) {
    while (i < kRowGaps && from.at[i] <= a) skipFrom += from.length[i++];
    while (j < kRowGaps && to.at[j] <= a) skipTo += to.length[j++];
    u32 b = count;
    if (i < kRowGaps && from.at[i] < b) b = from.at[i];
    if (j < kRowGaps && to.at[j] < b) b = to.at[j];
    if (skipFrom != skipTo) runs[n++] = Run{a, b, skipFrom, skipTo};
    a = b;
  }
  for (u32 k = 0; k < n; k++) {
    if (runs[k].to < runs[k].from) MoveRows(e + runs[k].a + runs[k].to, e + runs[k].a + runs[k].from, runs[k].b - runs[k].a);
  }
  for (u32 k = n; k-- > 0;) {
    if (runs[k].to > runs[k].from) MoveRows(e + runs[k].a + runs[k].to, e + runs[k].a + runs[k].from, runs[k].b - runs[k].a);
  }
}

// Gaps spread evenly over `count` rows, sharing half the spare room (`room`
// entries less `need`), except that gap `*focus` sits at i1 and holds `need`
// entries and the other half more: edits that keep adding rows in one place
// (pieces appended at the end) then spread the gaps anew a logarithmic number
// of times, not once a piece. No other gap lies inside (i0, i1), where an
// edit is about to replace the rows.
RowGaps SpreadGaps(u32 count, u32 room, u32 i0, u32 i1, u32 need, u32 *focus) {
  RowGaps g;
  const u32 share = (room - need) / 2 / kRowGaps;
  u32 c = static_cast<u32>(static_cast<u64>(i1) * kRowGaps / (static_cast<u64>(count) + 1));
  if (c >= kRowGaps) c = kRowGaps - 1;
  for (u32 j = 0; j < kRowGaps; j++) {
    u32 at = static_cast<u32>(static_cast<u64>(count) * (2 * j + 1) / (2 * kRowGaps));
    if (j < c && at > i0) at = i0;
    if (j > c && at < i1) at = i1;
    g.at[j] = j == c ? i1 : at;
    g.length[j] = share;
  }
  g.length[c] = room - share * (kRowGaps - 1);
  *focus = c;
  return g;
}

}  // namespace

void IndexRowGaps(TextStore *s) {
  const RowGaps &g = s->rowGaps;
  RowGapIndex &x = s->rowGapIndex;
  const u32 count = s->rows.count;
  u32 shift = 0;
  while ((count >> shift) >= kRowGapBuckets) shift++;
  x.shift = shift;
  u32 j = 0, skip = 0;
  for (u32 b = 0; b < kRowGapBuckets; b++) {
    const u64 first = static_cast<u64>(b) << shift;
    while (j < kRowGaps && g.at[j] <= first) skip += g.length[j++];
    u32 k = j;
    while (k < kRowGaps && !g.length[k]) k++;
    u32 k2 = k + 1;
    while (k2 < kRowGaps && !g.length[k2]) k2++;
    RowGapBucket &bucket = x.buckets[b];
    bucket.skip = skip;
    bucket.at = k < kRowGaps ? g.at[k] : kNoRowGap;
    bucket.length = k < kRowGaps ? g.length[k] : 0;
    bucket.nextAt = k2 < kRowGaps ? g.at[k2] : kNoRowGap;
    x.firstGap[b] = static_cast<u8>(j);
  }
}

u32 RowSlotWalk(const TextStore *s, u32 row) {
  u32 runEnd;
  return static_cast<u32>(RowRunWalk(s, row, s->rows.count, &runEnd) - s->rows.entries);
}

Row *RowRunWalk(const TextStore *s, u32 row, u32 limit, u32 *runEnd) {
  const RowGaps &g = s->rowGaps;
  const u32 b = row >> s->rowGapIndex.shift;
  u32 j = s->rowGapIndex.firstGap[b], skip = s->rowGapIndex.buckets[b].skip;
  while (j < kRowGaps && g.at[j] <= row) skip += g.length[j++];
  while (j < kRowGaps && g.at[j] < limit && !g.length[j]) j++;
  *runEnd = j < kRowGaps && g.at[j] < limit ? g.at[j] : limit;
  return s->rows.entries + row + skip;
}

void OpenRows(TextStore *s, u32 i0, u32 i1, u32 m) {
  Table<Row> *rows = &s->rows;
  RowGaps *gaps = &s->rowGaps;
  const u32 count = rows->count;
  const u32 removed = i1 - i0;
  const u32 need = m > removed ? m - removed : 0;
  RowGaps to = *gaps;
  // The gaps inside (i0, i1) sit among rows about to be replaced: they join
  // the gap that goes to i1, together with the nearest ones below or above
  // that have the room (the cheaper side; gaps at one place go together, and
  // gaps of length 0 move no row).
  u32 lo = 0;
  while (lo < kRowGaps && gaps->at[lo] <= i0) lo++;
  u32 hi = lo;  // gaps [lo, hi) lie inside
  u32 inside = 0;
  while (hi < kRowGaps && gaps->at[hi] < i1) inside += gaps->length[hi++];
  u32 first = lo, last = hi;  // the gaps [first, last] join at i1
  bool found = false;
  if (hi > lo && inside >= need) {
    last = hi - 1;
    found = true;
  } else {
    u64 best = ~0ull;
    if (lo > 0) {
      u32 f = lo - 1, room = inside;
      while (f > 0 && gaps->at[f - 1] == gaps->at[lo - 1]) f--;
      for (u32 j = f; j < lo; j++) room += gaps->length[j];
      if (room >= need) {
        best = room > inside ? i1 - gaps->at[lo - 1] : 0;
        first = f;
        last = hi > lo ? hi - 1 : lo - 1;
        found = true;
      }
    }
    if (hi < kRowGaps) {
      u32 l = hi, room = inside + gaps->length[hi];
      while (l + 1 < kRowGaps && gaps->at[l + 1] == gaps->at[hi]) room += gaps->length[++l];
      const u64 cost = room > inside ? gaps->at[hi] - i1 : 0;
      if (room >= need && cost < best) {
        first = lo;
        last = l;
        found = true;
      }
    }
  }
  u32 c;
  if (found) {
    u32 sum = 0;
    for (u32 j = first; j <= last; j++) {
      sum += to.length[j];
      to.length[j] = 0;
      to.at[j] = i1;
    }
    to.length[last] = sum;
    c = last;
  } else {
    to = SpreadGaps(count, rows->capacity - count, i0, i1, need, &c);
  }
  ArrangeRows(rows->entries, count, *gaps, to);
  // The new rows take the front of gap c (or the freed ones join it); the
  // gaps after it move with the rows after i1.
  const u32 delta = m - removed;  // modulo 2^32
  for (u32 j = 0; j < c; j++) {
    if (to.at[j] > i0) to.at[j] = i0;  // emptied, inside the window
  }
  to.at[c] = i0 + m;
  to.length[c] -= delta;
  for (u32 j = c + 1; j < kRowGaps; j++) to.at[j] += delta;
  rows->count = count + delta;
  *gaps = to;
  IndexRowGaps(s);
}

int GrowRows(TextStore *s, u32 needed, u32 i0, u32 i1) {
  const u32 oldCap = s->rows.capacity;
  if (oldCap >= needed) return 1;
  void *p = s->rows.entries;
  u32 cap = oldCap;
  if (!GrowTableRaw(&p, sizeof(Row), &cap, needed)) return 0;
  Row *e = static_cast<Row *>(p);
  // The new room lies after the last row. It goes where the edit is: into
  // one gap at i1 (the gaps inside the edit's window join it), so that an
  // edit that keeps adding rows in one place -- a text appended piece by
  // piece above all -- finds it there again and moves no row. The rows after
  // i1 move once per growth, and growths are geometric.
  const u32 count = s->rows.count;
  const RowGaps &from = s->rowGaps;
  RowGaps to = from;
  u32 lo = 0;
  while (lo < kRowGaps && from.at[lo] <= i0) lo++;
  u32 hi = lo;
  while (hi < kRowGaps && from.at[hi] < i1) hi++;
  // Gap c goes to i1: the last gap inside the window, else the first one
  // after it, else the last gap of all (which then comes up to i1).
  const u32 c = hi > lo ? hi - 1 : (hi < kRowGaps ? hi : kRowGaps - 1);
  u32 sum = cap - oldCap;
  for (u32 j = lo; j < hi; j++) {
    sum += to.length[j];
    to.length[j] = 0;
    to.at[j] = i1;
  }
  if (!(c >= lo && c < hi)) sum += to.length[c];
  to.at[c] = i1;
  to.length[c] = sum;
  ArrangeRows(e, count, from, to);
  s->rowGaps = to;
  s->rows.entries = e;
  s->rows.capacity = cap;
  IndexRowGaps(s);
  return 1;
}

int ReserveForAppend(TextStore *s, u32 bytes, u32 newRows) {
  // Pieces of up to 8 MiB each leave at most one partly filled block behind.
  const u64 pieces = bytes / kPagingViewBytes + 2;
  const u64 blocks = static_cast<u64>(s->blocks.count) + bytes / 4096 + pieces + 1;
  if (blocks > 0xFFFFFFFFull) return 0;
  if (!GrowTable(&s->blocks, static_cast<u32>(blocks)) ||
      !GrowTable(&s->blockGroups, static_cast<u32>(blocks / g_storeLimits.blockGroupFill + pieces + 1))) {
    return 0;
  }
  if (s->noRowIndex) return 1;
  const u64 rows = static_cast<u64>(s->rows.count) + newRows;
  if (rows > 0xFFFFFFFFull) return 0;
  const u64 groups = rows / g_storeLimits.rowGroupFill + s->rowGroups.count + pieces + 1;
  return GrowRows(s, static_cast<u32>(rows), s->rows.count, s->rows.count) && GrowTable(&s->rowGroups, static_cast<u32>(groups)) &&
         GrowTable(&s->rowShifts, splice::SpansFor(static_cast<u32>(groups), g_storeLimits.rowSpanBits));
}

u32 CountNewRows(const char *p, u32 n, bool *pendingCR) {
  const char *end = p + n;
  if (*pendingCR && p < end && *p == '\n') p++;  // the LF of a CR LF counted with its CR
  *pendingCR = false;
  if (p == end) return 0;
  if (end[-1] != '\r') return CountNewlines(p, end);
  *pendingCR = true;  // counted now; an LF starting the next piece joins it
  return CountNewlines(p, end - 1) + 1;
}

// ---- life cycle -------------------------------------------------------------------

namespace {

template <class T>
bool Reserve(Table<T> *t, u32 entries) {
  if (entries == 0) return true;
  void *p = Allocate(static_cast<size_t>(entries) * sizeof(T));
  if (!p) return false;
  t->entries = static_cast<T *>(p);
  t->capacity = entries;
  return true;
}

template <class T>
void Release(Table<T> *t) {
  Free(t->entries);
  *t = Table<T>{};
}

}  // namespace

int InitialiseStore(TextStore *store, u32 blockHint, u32 rowHint) {
  memset(store, 0, sizeof *store);
  u32 rows = rowHint ? rowHint : 1;
  if (!Reserve(&store->rows, rows) || !Reserve(&store->rowGroups, rows / kGroupFill + 1) ||
      !Reserve(&store->rowShifts, 1) || !Reserve(&store->blocks, blockHint) ||
      !Reserve(&store->blockGroups, blockHint / kGroupFill + 1)) {
    Release(&store->rows);
    Release(&store->rowGroups);
    Release(&store->rowShifts);
    Release(&store->blocks);
    Release(&store->blockGroups);
    return 0;
  }
  store->noRowIndex = rowHint == 0 ? 1 : 0;
  store->rows.count = 1;
  store->rows.entries[0] = Row{0, 0, 0, 0, 0, 0};
  // Every gap after the one row, the room in the last one.
  for (u32 j = 0; j < kRowGaps; j++) store->rowGaps.at[j] = 1;
  store->rowGaps.length[kRowGaps - 1] = rows - 1;
  IndexRowGaps(store);
  store->rowGroups.count = 1;
  store->rowGroups.entries[0] = RowGroup{0, 0, 0, 1};
  store->rowShifts.count = 1;
  store->rowShifts.entries[0] = RowGroupShift{0, 0, 0, 0};
  return 1;
}

static void Progress(const TextStore *s, u64 done, u64 total) {
  if (s->progress.report) s->progress.report(s->progress.context, done, total);
}

void FreeStore(TextStore *store) {
  const u32 n = store->blocks.count;
  for (u32 i = 0; i < n && !store->borrowed; i++) {
    Free(store->blocks.entries[i].data);
    if ((i + 1) % kGroupMax == 0) Progress(store, n - i - 1, n);
  }
  Release(&store->blocks);
  Release(&store->blockGroups);
  Release(&store->rows);
  Release(&store->rowGroups);
  Release(&store->rowShifts);
  for (u32 k = 0; k < kRangeSetCount; k++) {
    RangeSet &set = store->rangeSets[k];
    for (u32 c = 0; c < set.chunks.count; c++) Free(set.chunks.entries[c].ranges);
    Release(&set.chunks);
  }
  ProgressSink progress = store->progress;
  memset(store, 0, sizeof *store);
  store->progress = progress;
}

// ---- lookups ----------------------------------------------------------------------

namespace {

// The last index in [lo, hi] whose key is <= x, where key(lo) <= x and keys
// ascend. Texts tend to be alike throughout (lines of similar length, blocks
// of similar fill), so a guess in proportion lands close: a widening step
// from it brackets the answer within a few probes, which matters because
// each probe into a table of millions of entries is a cache miss. A binary
// search finishes.
template <class Key>
u32 SearchFrom(u32 lo, u32 hi, u32 guess, u32 x, Key key) {
  if (hi - lo > 8) {
    if (guess < lo) guess = lo;
    if (guess > hi) guess = hi;
    if (key(guess) <= x) {
      lo = guess;
      for (u32 step = 1; lo < hi; step *= 2) {
        u32 next = hi - lo > step ? lo + step : hi;
        if (key(next) > x) {
          hi = next - 1;
          break;
        }
        lo = next;
      }
    } else {
      hi = guess - 1;
      for (u32 step = 1; lo < hi; step *= 2) {
        u32 next = hi - lo > step ? hi - step : lo;
        if (key(next) <= x) {
          lo = next;
          break;
        }
        hi = next - 1;
      }
    }
  }
  while (lo < hi) {
    u32 mid = lo + (hi - lo + 1) / 2;
    if (key(mid) <= x) lo = mid; else hi = mid - 1;
  }
  return lo;
}

// first + rel * n / bytes: where rel falls among n items spread over bytes.
inline u32 Proportion(u32 first, u32 rel, u32 n, u32 bytes) {
  return first + static_cast<u32>(static_cast<u64>(rel) * n / (bytes ? bytes : 1));
}

// The first steps of the two searches, over the small tables: the block
// group holding a position and a guess of its block; the span holding it and
// a guess of its row group.
BlockStep FirstBlockStep(const TextStore *s, u32 p) {
  const BlockGroup *g = s->blockGroups.entries;
  u32 lo = 0, hi = s->blockGroups.count - 1;
  while (lo < hi) {
    u32 mid = lo + (hi - lo + 1) / 2;
    if (g[mid].start <= p) lo = mid; else hi = mid - 1;
  }
  const BlockGroup &grp = g[lo];
  BlockStep st;
  st.group = lo;
  // No block exceeds 8192 bytes, and each one holds at least one byte.
  st.first = grp.first;
  st.last = grp.first + grp.count - 1;
  if (p / kBlockLarge > st.first) st.first = p / kBlockLarge;
  if (p < st.last) st.last = p;
  st.rel = p - grp.start;
  const u32 groupEnd = lo + 1 < s->blockGroups.count ? g[lo + 1].start : s->length;
  st.guess = Proportion(grp.first, st.rel, grp.count, groupEnd - grp.start);
  return st;
}

SpanStep FirstSpanStep(const TextStore *s, u32 p) {
  const RowGroupShift *sh = s->rowShifts.entries;
  const u32 spans = s->rowShifts.count, groups = s->rowGroups.count, bits = g_storeLimits.rowSpanBits;
  u32 lo = 0, hi = spans - 1;
  while (lo < hi) {
    u32 mid = lo + (hi - lo + 1) / 2;
    if (sh[mid].spanStart <= p) lo = mid; else hi = mid - 1;
  }
  SpanStep st;
  st.span = lo;
  st.first = lo << bits;
  st.last = groups - st.first > (1u << bits) ? st.first + (1u << bits) - 1 : groups - 1;
  const u32 spanEnd = lo + 1 < spans ? sh[lo + 1].spanStart : s->length;
  st.guess = Proportion(st.first, p - sh[lo].spanStart, st.last - st.first + 1, spanEnd - sh[lo].spanStart);
  return st;
}

}  // namespace

namespace {

// The row search for 0 < p < length up to its last step, from the span
// step: the rows [first, last] that hold p, a guess among them, and p
// relative to their group.
RowStep RowSteps(const TextStore *s, u32 p, const SpanStep &st) {
  // The last group of the span starting at or before p.
  const RowGroup *g = s->rowGroups.entries;
  const RowGroupShift &shift = s->rowShifts.entries[st.span];
  // The groups' own starts lack the span's shift, and an edit may leave them
  // wrapped around zero: they are compared as offsets from the span's first
  // group (p - spanStart for p), which nothing reorders.
  const u32 base = g[st.first].start;
  const u32 gi = SearchFrom(st.first, st.last, st.guess, p - shift.start - base,
                            [g, base](u32 i) { return g[i].start - base; });
  const RowGroup &grp = g[gi];
  const u32 grpFirst = grp.first + shift.first, grpStart = grp.start + shift.start;
  // Every row but the last spans at least one byte: the row lies between
  // count - (length - p) - 1 and min(p, count - 1).
  const u32 count = s->rows.count;
  RowStep r;
  r.first = grpFirst;
  r.last = grpFirst + grp.count - 1;
  const u32 after = s->length - p;
  if (count > after + 1 && count - after - 1 > r.first) r.first = count - after - 1;
  if (p < r.last) r.last = p;
  r.rel = p - grpStart;
  const u32 groupEnd = gi + 1 < s->rowGroups.count ? RowGroupStart(s, gi + 1) : s->length;
  r.guess = Proportion(grpFirst, r.rel, grp.count, groupEnd - grpStart);
  return r;
}

// Positions whose searches go through the steps.
bool BlockSearched(const TextStore *s, u32 p) { return p > 0 && s->blocks.count && p + 1 < s->length; }
bool RowSearched(const TextStore *s, u32 p) { return p > 0 && p < s->length && !s->noRowIndex; }

u32 BlockSearch(const TextStore *s, const BlockStep &st) {
  const TextBlock *b = s->blocks.entries;
  return SearchFrom(st.first, st.last, st.guess, st.rel, [b](u32 i) { return b[i].start; });
}

u32 RowSearch(const TextStore *s, const RowStep &r) {
  // The group's rows usually lie in one run.
  u32 runEnd;
  const Row *run = RowRun(s, r.first, r.last + 1, &runEnd);
  if (runEnd > r.last) {
    const Row *base = run - r.first;
    return SearchFrom(r.first, r.last, r.guess, r.rel, [base](u32 i) { return base[i].start; });
  }
  return SearchFrom(r.first, r.last, r.guess, r.rel, [s](u32 i) { return RowAt(s, i).start; });
}

}  // namespace

void StartLookups(const TextStore *s, u32 blockPosition, u32 rowPosition, EditLookup *out) {
  out->blockPosition = kPositionEnd;
  out->rowPosition = kPositionEnd;
  if (BlockSearched(s, blockPosition)) {
    // Blocks hold 1 to 8192 bytes, so the guess may be several blocks out:
    // the lines on either side too.
    const BlockStep b = FirstBlockStep(s, blockPosition);
    for (u32 i = b.guess > b.first + 9 ? b.guess - 9 : b.first; i <= b.guess + 9 && i <= b.last; i += 2) {
      __builtin_prefetch(&s->blocks.entries[i]);
    }
    out->blockPosition = blockPosition;
    out->block = b;
  }
  if (RowSearched(s, rowPosition)) {
    const SpanStep sp = FirstSpanStep(s, rowPosition);
    __builtin_prefetch(&s->rowGroups.entries[sp.guess]);
    // Then, once the group's entry is there (the block's entries are on
    // their way meanwhile), the rows around the guessed row.
    const RowStep r = RowSteps(s, rowPosition, sp);
    const u32 from = r.guess > r.first + 4 ? r.guess - 4 : r.first;
    u32 to = r.guess + 4 < r.last ? r.guess + 4 : r.last;
    u32 runEnd;
    const Row *run = RowRun(s, from, to + 1, &runEnd);
    if (runEnd <= to) to = runEnd - 1;  // (a gap there: the rows before it)
    for (u32 i = from; i <= to; i += 4) __builtin_prefetch(run + (i - from));
    out->rowPosition = rowPosition;
    out->row = r;
  }
}

u32 BlockOfPosition(const TextStore *s, u32 p) {
  const u32 count = s->blocks.count;
  if (p == 0 || count == 0) return 0;
  if (p >= s->length) return count;
  if (p == s->length - 1) return count - 1;
  return BlockSearch(s, FirstBlockStep(s, p));
}

u32 BlockOfPosition(const TextStore *s, u32 p, const EditLookup *look) {
  if (look && look->blockPosition == p) return BlockSearch(s, look->block);
  return BlockOfPosition(s, p);
}

u32 RowOfPosition(const TextStore *s, u32 p) {
  if (p == 0) return 0;
  if (p >= s->length) return s->rows.count - 1;
  return RowSearch(s, RowSteps(s, p, FirstSpanStep(s, p)));
}

u32 RowOfPosition(const TextStore *s, u32 p, const EditLookup *look) {
  if (look && look->rowPosition == p) return RowSearch(s, look->row);
  return RowOfPosition(s, p);
}

u32 FirstRowOfHardLine(const TextStore *s, u32 hardLine) {
  if (hardLine >= HardLineCount(s)) return s->rows.count;
  if (hardLine == 0) return 0;
  // The last group whose base lies before the hard line holds its first row,
  // unless the hard line starts with the next group.
  u32 lo = 0, hi = s->rowGroups.count - 1;
  while (lo < hi) {
    u32 mid = lo + (hi - lo + 1) / 2;
    if (RowGroupHardBase(s, mid) < hardLine) lo = mid; else hi = mid - 1;
  }
  const u32 rel = hardLine - RowGroupHardBase(s, lo);
  u32 first = RowGroupFirst(s, lo), end = first + s->rowGroups.entries[lo].count;  // the first row with hard line >= rel
  while (first < end) {
    u32 mid = first + (end - first) / 2;
    if (static_cast<u32>(RowAt(s, mid).hardLine) < rel) first = mid + 1; else end = mid;
  }
  return first;  // may be the next group's first row
}

u32 LastRowOfHardLine(const TextStore *s, u32 row) {
  return FirstRowOfHardLine(s, RowHardLine(s, row) + 1) - 1;
}

u32 RowLengthWithContinuation(const TextStore *s, u32 row) {
  if (row >= s->rows.count) return 0;
  return RowTextEnd(s, LastRowOfHardLine(s, row)) - RowStart(s, row);
}

// ---- sources ----------------------------------------------------------------------

void SourceCopy(const ByteSource &src, u32 offset, u32 n, char *dest) {
  if (src.bytes) {
    memcpy(dest, src.bytes + offset, n);
    return;
  }
  if (src.pieces && src.pieceLengths) {
    u32 i = 0, start = 0;
    while (start + src.pieceLengths[i] <= offset) start += src.pieceLengths[i++];
    while (n) {
      const u32 off = offset - start, take = src.pieceLengths[i] - off < n ? src.pieceLengths[i] - off : n;
      memcpy(dest, src.pieces[i] + off, take);
      dest += take;
      offset += take;
      n -= take;
      start += src.pieceLengths[i++];
    }
    return;
  }
  if (src.pieces) {
    while (n) {
      const u32 off = offset % kBlockSmall, take = kBlockSmall - off < n ? kBlockSmall - off : n;
      memcpy(dest, src.pieces[offset / kBlockSmall] + off, take);
      dest += take;
      offset += take;
      n -= take;
    }
    return;
  }
  ForEachPiece(src.store, src.from + offset, n, [&](const char *p, u32 len) {
    memcpy(dest, p, len);
    dest += len;
  });
}

void StoreReleaseBlocks(TextStore *s, char **pieces, u32 *lengths) {
  for (u32 i = 0; i < s->blocks.count; i++) {
    TextBlock &b = s->blocks.entries[i];
    pieces[i] = b.data;
    lengths[i] = b.length;
    b.data = nullptr;
  }
}

u32 SourcePieceCount(const ByteSource &src) {
  if (!src.pieceLengths) return static_cast<u32>((static_cast<u64>(src.length) + kBlockSmall - 1) / kBlockSmall);
  u32 i = 0;
  for (u32 at = 0; at < src.length; at += src.pieceLengths[i++]) {
  }
  return i;
}

// ---- statistics -------------------------------------------------------------------

void StoreMemoryStatistics(const TextStore *s, StoreMemory *out) {
  *out = StoreMemory{};
  for (u32 k = 0; k < kRangeSetCount; k++) {
    const RangeSet &set = s->rangeSets[k];
    out->markers += static_cast<u64>(set.chunks.capacity) * sizeof(RangeChunk);
    for (u32 c = 0; c < set.chunks.count; c++) {
      out->markers += static_cast<u64>(ChunkCapacity(set.chunks.entries[c].count)) * sizeof(Range);
    }
  }
  out->lineIndex = (static_cast<u64>(s->rowGroups.capacity) * sizeof(RowGroup)) +
                   static_cast<u64>(s->rows.capacity) * sizeof(Row);
  out->blockIndex = (static_cast<u64>(s->blockGroups.capacity) * sizeof(BlockGroup)) +
                    static_cast<u64>(s->blocks.capacity) * sizeof(TextBlock);
  for (u32 i = 0; i < s->blocks.count; i++) out->textBuffers += BufferSize(s->blocks.entries[i].length);
}
