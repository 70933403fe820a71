// Splicing a grouped flat table (blocks in block groups, rows in row groups).
//
// An edit replaces the items [i0, i1) of the flat table with m new items and
// shifts every later item by (dStart bytes, dHard hard lines). Only the
// "region" is rewritten: the groups holding the replaced items (or, for a
// pure insertion, the group of the item before it), plus the following group
// when overflowing items move into it. Later groups change one word each
// (first item, start, hard line base) -- row groups only up to the end of
// their span, and then the shifts of the later spans (text_store.h); their
// items change only when the number of groups changes (their group index).
//
// The region is laid out so that every group holds 1 .. min(groupMax, 2 x
// fill) items: a splice of rows across one group boundary keeps its two
// groups while they hold `fill` items and the second a quarter of that;
// otherwise the region becomes one group when it fits, two when it lies
// across a boundary and two groups hold it (a deletion), and anything bigger
// is cut into groups of `fill` after the first, which keeps the items
// before the edit.
//
// Use: PlanSplice (pure), reserve the tables with the plan's counts, then
// Begin, Put each new item in order with its absolute start and hard line,
// and Finish. Nothing after PlanSplice and the reservation can fail.
#pragma once

#include <stddef.h>
#include <string.h>

#include "document/text_store.h"
#include "foundation/helper_thread.h"

namespace splice {

// Renumbering at least this many items is done in two halves at once (tests
// make it small).
extern u32 g_renumberHalves;

// Adds a word-wise delta to n records of four 32-bit words each (stride
// bytes apart), 16 bytes at a time where the target has vectors. (Vector
// values never cross a function boundary: 32-bit x86 without SSE passes
// them differently.)
struct Delta4 {
  u32 w[4];
};
inline void AddWords(void *first, size_t stride, u32 n, const Delta4 &d) {
  typedef u32 Words4 __attribute__((vector_size(16)));
  const Words4 delta = {d.w[0], d.w[1], d.w[2], d.w[3]};
  char *p = static_cast<char *>(first);
  for (u32 k = 0; k < n; k++, p += stride) {
    Words4 w;
    memcpy(&w, p, 16);
    w += delta;
    memcpy(p, &w, 16);
  }
}
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "record words are added as little-endian words");
static_assert(sizeof(Row) == 16 && offsetof(Row, start) == 4 && offsetof(Row, hardLine) == 14,
              "a row's start is its second word, its hard line the top half of its fourth");
static_assert(offsetof(TextBlock, start) == 4 && offsetof(RowGroup, start) == 4 && offsetof(BlockGroup, start) == 4 &&
                  offsetof(RowGroup, first) == 0 && offsetof(BlockGroup, first) == 0 &&
                  offsetof(RowGroup, hardLineBase) == 8 && offsetof(RowGroupShift, first) == 0 &&
                  offsetof(RowGroupShift, start) == 4 && offsetof(RowGroupShift, hardLineBase) == 8,
              "the words that edits shift");

// The delta that shifts an item's start by ds and its hard line by dh.
inline Delta4 ItemDelta(const Row &, u32 ds, u32 dh) { return Delta4{{0, ds, 0, dh << 16}}; }
inline Delta4 ItemDelta(const TextBlock &, u32 ds, u32) { return Delta4{{0, ds, 0, 0}}; }
// The delta that shifts a group's first item, start and hard line base.
inline Delta4 GroupDelta(const RowGroup &, u32 di, u32 ds, u32 dh) { return Delta4{{di, ds, dh, 0}}; }
inline Delta4 GroupDelta(const BlockGroup &, u32 di, u32 ds, u32) { return Delta4{{di, ds, 0, 0}}; }

// Rows carry a hard line; blocks do not.
inline u32 GroupHard(const RowGroup &g) { return g.hardLineBase; }
inline void SetGroupHard(RowGroup &g, u32 h) { g.hardLineBase = h; }
inline u32 ItemHard(const Row &r) { return static_cast<u32>(static_cast<i32>(r.hardLine)); }
inline void SetItemHard(Row &r, u32 rel) { r.hardLine = static_cast<i16>(static_cast<i32>(rel)); }
inline u32 GroupHard(const BlockGroup &) { return 0; }
inline void SetGroupHard(BlockGroup &, u32) {}
inline u32 ItemHard(const TextBlock &) { return 0; }
inline void SetItemHard(TextBlock &, u32) {}

// A group table as a splice sees it: the true words of a group are its own
// plus, for row groups, the shift of its span. Block groups have no shifts.
template <class G>
struct GroupTable {
  Table<G> *t;
  Table<RowGroupShift> *shifts;  // null: the words are true as they stand
  u32 bits;                      // groups per span: 2^bits

  u32 Count() const { return t->count; }
  u32 Items(u32 g) const { return t->entries[g].count; }
  u32 First(u32 g) const { return t->entries[g].first + (shifts ? shifts->entries[g >> bits].first : 0); }
  u32 Start(u32 g) const { return t->entries[g].start + (shifts ? shifts->entries[g >> bits].start : 0); }
  u32 Hard(u32 g) const { return GroupHard(t->entries[g]) + (shifts ? shifts->entries[g >> bits].hardLineBase : 0); }
  void SetFirst(u32 g, u32 v) const { t->entries[g].first = v - (shifts ? shifts->entries[g >> bits].first : 0); }
  void SetStart(u32 g, u32 v) const {
    if (!shifts) {
      t->entries[g].start = v;
      return;
    }
    RowGroupShift &x = shifts->entries[g >> bits];
    t->entries[g].start = v - x.start;
    if (!(g & ((1u << bits) - 1))) x.spanStart = v;  // the span's first group
  }
  void SetHard(u32 g, u32 v) const {
    SetGroupHard(t->entries[g], v - (shifts ? shifts->entries[g >> bits].hardLineBase : 0));
  }
};

inline GroupTable<BlockGroup> BlockGroups(const TextStore *s) {
  return GroupTable<BlockGroup>{const_cast<Table<BlockGroup> *>(&s->blockGroups), nullptr, 0};
}
inline GroupTable<RowGroup> RowGroups(const TextStore *s) {
  return GroupTable<RowGroup>{const_cast<Table<RowGroup> *>(&s->rowGroups),
                              const_cast<Table<RowGroupShift> *>(&s->rowShifts), g_storeLimits.rowSpanBits};
}

// Spans of 2^bits groups that `groups` groups need.
inline u32 SpansFor(u32 groups, u32 bits) { return static_cast<u32>((static_cast<u64>(groups) + (1u << bits) - 1) >> bits); }

// Adds every span's shift from span `from` on to its groups and clears it.
inline void FoldShifts(const GroupTable<RowGroup> &g, u32 from) {
  Table<RowGroupShift> *sh = g.shifts;
  for (u32 k = from; k < sh->count; k++) {
    RowGroupShift &x = sh->entries[k];
    if (!(x.first | x.start | x.hardLineBase)) continue;
    const u32 a = k << g.bits;
    u32 b = a + (1u << g.bits);
    if (b > g.t->count) b = g.t->count;
    if (a < b) AddWords(g.t->entries + a, sizeof(RowGroup), b - a, Delta4{{x.first, x.start, x.hardLineBase, 0}});
    x.first = x.start = x.hardLineBase = 0;
  }
}
inline void FoldShifts(const GroupTable<BlockGroup> &, u32) {}

// Sets the start of every span from span `from` on from its first group.
inline void SetSpanStarts(const GroupTable<RowGroup> &g, u32 from) {
  for (u32 k = from; k < g.shifts->count; k++) g.shifts->entries[k].spanStart = g.Start(k << g.bits);
}
inline void SetSpanStarts(const GroupTable<BlockGroup> &, u32) {}

struct Plan {
  u32 i0, i1, m;
  bool hadGroups;    // the table had any group
  u32 gA;            // first group of the region (the same index before and after)
  u32 gB;            // old group of the last replaced item (or gA)
  u32 oldGroups;     // groups of the region before
  u32 newGroups;     // groups of the region after
  u32 regionFirst;   // first item of the region
  u32 total;         // items of the region after
  u32 fill;          // items of each group but the first and the last
  u32 firstCount;    // items of group gA after
  u32 lastCount;     // items of the last group, when there are two or more
};

inline u32 GroupCountAt(const Plan &p, u32 j) {
  if (j == 0) return p.firstCount;
  return j + 1 == p.newGroups ? p.lastCount : p.fill;
}

// The flat item tables. Blocks are a plain array. Rows keep their free
// capacity in gaps among them (TextStore::rowGaps): an edit that adds or
// removes rows moves only the rows between it and the nearest gap.
template <class T>
struct PlainItems {
  typedef T Item;
  Table<T> *t;
  u32 Count() const { return t->count; }
  T &At(u32 i) const { return t->entries[i]; }
  // Items from i up to this index lie one after another in memory.
  u32 RunEnd(u32) const { return t->count; }
  // [i0, i1) make way for m items at i0, written afterwards.
  void Open(u32 i0, u32 i1, u32 m) {
    u32 tail = t->count - i1;
    if (i0 + m != i1 && tail) memmove(t->entries + i0 + m, t->entries + i1, tail * sizeof(T));
    t->count = t->count - (i1 - i0) + m;
  }
};

struct GapRows {
  typedef Row Item;
  TextStore *s;
  u32 Count() const { return s->rows.count; }
  Row &At(u32 i) const { return s->rows.entries[RowSlot(s, i)]; }
  u32 RunEnd(u32 i) const {
    u32 end;
    RowRun(s, i, s->rows.count, &end);
    return end;
  }
  void Open(u32 i0, u32 i1, u32 m) {
    if (i1 - i0 == m) return;  // rewritten in place: the gaps stay where they are
    OpenRows(s, i0, i1, m);
  }
};

// Whether a splice across one boundary keeps both groups when one would do:
// for rows (millions of them, renumbered when the groups change), not for
// blocks (a few thousand, and an edit shifts every later block group).
inline bool KeepsAcross(const GroupTable<RowGroup> &) { return true; }
inline bool KeepsAcross(const GroupTable<BlockGroup> &) { return false; }

// fill: the items of a new group (block or row groups).
template <class A, class G>
Plan PlanSplice(const GroupTable<G> &groups, const A &items, u32 i0, u32 i1, u32 m, u32 fill) {
  const u32 limit = 2 * fill < g_storeLimits.groupMax ? 2 * fill : g_storeLimits.groupMax;
  Plan p = {};
  p.i0 = i0;
  p.i1 = i1;
  p.m = m;
  p.fill = fill;
  u32 a = 0, b = 0;
  if (groups.Count() > 0) {
    p.hadGroups = true;
    u32 anchor = i1 > i0 ? i0 : (i0 > 0 ? i0 - 1 : 0);
    p.gA = items.At(anchor).group;
    p.gB = i1 > i0 ? items.At(i1 - 1).group : p.gA;
    p.regionFirst = groups.First(p.gA);
    a = i0 - p.regionFirst;
    b = groups.First(p.gB) + groups.Items(p.gB) - i1;
    p.oldGroups = p.gB - p.gA + 1;
  }
  u64 t = static_cast<u64>(a) + m + b;
  p.total = static_cast<u32>(t);
  if (t == 0) return p;
  // The first group keeps every item before the window (a <= limit): those
  // are not rewritten.
  const u32 half = static_cast<u32>(t - t / 2) > a ? static_cast<u32>(t - t / 2) : a;  // the first of two groups
  if (p.hadGroups && p.gB != p.gA && t <= 2ull * limit &&
      (t > limit || (KeepsAcross(groups) && p.gB == p.gA + 1 && t >= fill && t - half >= fill / 4))) {
    // Across a group boundary: two groups, no more than before, and no fewer
    // while two hold the items well (one would do, but a change in the
    // number of groups renumbers every item after them: an edit joining two
    // lines at a boundary would cost as much as the whole table).
    p.newGroups = 2;
    p.firstCount = half;
    p.lastCount = p.total - p.firstCount;
  } else if (t <= limit) {
    p.newGroups = 1;
    p.firstCount = p.total;
  } else {
    p.firstCount = a > fill ? a : fill;
    u32 rest = p.total - p.firstCount;
    u32 more = (rest + fill - 1) / fill;
    p.newGroups = 1 + more;
    p.lastCount = rest - (more - 1) * fill;
  }
  return p;
}

// Entries the tables need for the plan.
inline u32 ItemsNeeded(const Plan &p, u32 itemCount) { return itemCount - (p.i1 - p.i0) + p.m; }
template <class G>
inline u32 GroupsNeeded(const Plan &p, const Table<G> &groups) {
  return groups.count - p.oldGroups + p.newGroups;
}
template <class G>
inline u32 GroupsNeeded(const Plan &p, const GroupTable<G> &groups) {
  return GroupsNeeded(p, *groups.t);
}

template <class A, class G>
class Writer {
 public:
  typedef typename A::Item I;
  // dStart and dHard are added (modulo 2^32) to every item after the window.
  // The group table (and its shifts) must hold the plan's counts.
  Writer(A items, const GroupTable<G> &groups, const Plan &plan, u32 dStart, u32 dHard)
      : items_(items), groups_(groups), p_(plan), dStart_(dStart), dHard_(dHard) {}

  void Begin() {
    Table<G> *gt = groups_.t;
    G *g = gt->entries;
    if (groups_.shifts && p_.newGroups != p_.oldGroups) {
      // The groups from here on change places (and spans): their words
      // become true ones first.
      FoldShifts(groups_, p_.gA >> groups_.bits);
    }
    if (p_.hadGroups) {
      oldStart_ = groups_.Start(p_.gB);
      oldHard_ = groups_.Hard(p_.gB);
    }
    dItems_ = p_.m - (p_.i1 - p_.i0);  // modulo 2^32
    items_.Open(p_.i0, p_.i1, p_.m);

    u32 oldAfter = p_.gA + p_.oldGroups;
    u32 newAfter = p_.gA + p_.newGroups;
    u32 groupTail = gt->count - oldAfter;
    if (oldAfter != newAfter && groupTail) memmove(g + newAfter, g + oldAfter, groupTail * sizeof(G));
    gt->count = gt->count - p_.oldGroups + p_.newGroups;
    if (groups_.shifts) {
      // Spans that come or go hold no shift (folded above).
      Table<RowGroupShift> *sh = groups_.shifts;
      const u32 spans = SpansFor(gt->count, groups_.bits);
      for (u32 k = sh->count; k < spans; k++) sh->entries[k] = RowGroupShift{0, 0, 0, 0};
      sh->count = spans;
    }

    u32 f = p_.regionFirst;
    for (u32 j = 0; j < p_.newGroups; j++) {
      const u32 gi = p_.gA + j;
      if (!(j == 0 && p_.i0 > f)) {
        // Its start and hard line base come with its first item.
        groups_.SetStart(gi, 0);
        groups_.SetHard(gi, 0);
      }
      groups_.SetFirst(gi, f);
      g[gi].count = GroupCountAt(p_, j);
      f += g[gi].count;
    }
    gi_ = p_.gA;
    giFirst_ = groups_.First(gi_);
    next_ = p_.i0;
  }

  // The next new item; its group and relative fields are filled in here.
  void Put(I item, u32 absStart, u32 absHard) { Place(next_++, item, absStart, absHard); }

  // Two writers may put the new items at once when the second begins a new
  // group of its own (whose start only it sets): after Begin, a copy of the
  // writer starts at the first item of new group j (StartAtGroup), the first
  // writer puts the items before it, and then takes the second's place
  // (TakeOver) to Finish.
  // The first new group after the first whose first item is `item` or
  // later, or 0 when none is; *first receives that item.
  u32 GroupFrom(u32 item, u32 *first) const {
    const u32 second = p_.regionFirst + p_.firstCount;  // the first item of new group 1
    if (p_.newGroups < 2 || p_.fill == 0) return 0;
    const u32 j = item <= second ? 1 : 1 + (item - second + p_.fill - 1) / p_.fill;
    if (j >= p_.newGroups) return 0;
    *first = second + (j - 1) * p_.fill;
    return j;
  }
  void StartAtGroup(u32 j) {
    gi_ = p_.gA + j;
    giFirst_ = groups_.First(gi_);
    next_ = giFirst_;
  }
  void TakeOver(const Writer &second) {
    gi_ = second.gi_;
    giFirst_ = second.giFirst_;
    next_ = second.next_;
  }

  void Finish() {
    G *g = groups_.t->entries;
    const u32 end = p_.regionFirst + p_.total;
    u32 i = next_;
    // The rest of the region: the items of the old last group after the window.
    while (i < end) {
      Seek(i);
      I *it = &items_.At(i);
      if (i == giFirst_) {
        groups_.SetStart(gi_, oldStart_ + it->start + dStart_);
        groups_.SetHard(gi_, oldHard_ + ItemHard(*it) + dHard_);
      }
      u32 segEnd = giFirst_ + g[gi_].count;
      if (end < segEnd) segEnd = end;
      if (items_.RunEnd(i) < segEnd) segEnd = items_.RunEnd(i);
      const u32 ds = oldStart_ + dStart_ - groups_.Start(gi_);
      const u32 dh = oldHard_ + dHard_ - groups_.Hard(gi_);
      const u32 n = segEnd - i;
      if (it->group != gi_) {
        for (u32 k = 0; k < n; k++) it[k].group = gi_;
      }
      if (ds || dh) AddWords(it, sizeof(I), n, ItemDelta(*it, ds, dh));
      i = segEnd;
    }
    ShiftLaterGroups();
    // Spans from the region's on begin with other groups now.
    if (groups_.shifts && p_.newGroups != p_.oldGroups) SetSpanStarts(groups_, p_.gA >> groups_.bits);
    const u32 dGroups = p_.newGroups - p_.oldGroups;
    if (dGroups && end < items_.Count()) Renumber(end, items_.Count(), dGroups);
  }

 private:
  // Moves gi_ to the group holding item i (at or after gi_).
  void Seek(u32 i) {
    const G *g = groups_.t->entries;
    while (i >= giFirst_ + g[gi_].count) {
      giFirst_ += g[gi_].count;
      gi_++;
    }
  }

  void Place(u32 i, I item, u32 absStart, u32 absHard) {
    Seek(i);
    if (i == giFirst_) {
      groups_.SetStart(gi_, absStart);
      groups_.SetHard(gi_, absHard);
    }
    item.group = gi_;
    item.start = absStart - groups_.Start(gi_);
    SetItemHard(item, absHard - groups_.Hard(gi_));
    items_.At(i) = item;
  }

  // Adds d to the group index of the items [from, to), a run of them at a
  // time; millions of them (the rows after an edit) in two halves at once.
  void Renumber(u32 from, u32 to, u32 d) {
    struct Half {
      const A *items;
      u32 from, to, d;
      static u32 Run(void *context) {
        const Half *h = static_cast<const Half *>(context);
        for (u32 j = h->from; j < h->to;) {
          I *it = &h->items->At(j);
          const u32 runEnd = h->items->RunEnd(j);
          const u32 n = (runEnd < h->to ? runEnd : h->to) - j;
          for (u32 k = 0; k < n; k++) it[k].group += h->d;
          j += n;
        }
        return 0;
      }
    };
    const u32 mid = to - from >= g_renumberHalves ? from + (to - from) / 2 : to;
    Half half[2] = {{&items_, from, mid, d}, {&items_, mid, to, d}};
    RunBeside(Half::Run, &half[0], mid < to ? &half[1] : nullptr);
  }

  // The groups after the region: every one of them, or for row groups those
  // up to the end of the span and then the later spans' shifts.
  void ShiftLaterGroups() {
    Table<G> *gt = groups_.t;
    u32 from = p_.gA + p_.newGroups;
    if (from >= gt->count) return;
    const Delta4 d = GroupDelta(gt->entries[0], dItems_, dStart_, dHard_);
    if (!groups_.shifts) {
      AddWords(gt->entries + from, sizeof(G), gt->count - from, d);
      return;
    }
    const u32 mask = (1u << groups_.bits) - 1;
    u32 span = from >> groups_.bits;
    if (from & mask) {
      // The rest of the region's span, group by group.
      u32 to = (from | mask) + 1;
      if (to > gt->count) to = gt->count;
      AddWords(gt->entries + from, sizeof(G), to - from, d);
      span++;
    }
    Table<RowGroupShift> *sh = groups_.shifts;
    const Delta4 spanDelta = {{d.w[0], d.w[1], d.w[2], d.w[1]}};  // the span's start moves too
    if (span < sh->count) AddWords(sh->entries + span, sizeof(RowGroupShift), sh->count - span, spanDelta);
  }

  A items_;
  GroupTable<G> groups_;
  Plan p_;
  u32 dStart_, dHard_;
  u32 dItems_ = 0;
  u32 oldStart_ = 0, oldHard_ = 0;  // true start and hard line base of the old group gB
  u32 gi_ = 0;
  u32 giFirst_ = 0;  // true first item of gi_
  u32 next_ = 0;
};

}  // namespace splice
