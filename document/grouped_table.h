// Splicing a grouped flat table (blocks in block groups, rows in row groups).
//
// An edit replaces the items [i0, i1) of the flat table with m new items and
// shifts every later item by (dStart bytes, dHard hard lines). Only the
// "region" is rewritten: the groups holding the replaced items (or, for a
// pure insertion, the group of the item before it), plus the following group
// when overflowing items move into it. Later groups change one word each
// (first item, start, hard line base); their items change only when the
// number of groups changes (their group index).
//
// The region is laid out so that every group holds 1 .. groupMax items: it
// stays one group when it fits; otherwise its first group is filled to
// groupMax and the rest goes into the second old group of the region (a
// deletion across a group boundary), or into the following group as far as
// it has room, and into new groups of groupFill items.
//
// Use: PlanSplice (pure), reserve the tables with the plan's counts, then
// Begin, Put each new item in order with its absolute start and hard line,
// and Finish. Nothing after PlanSplice and the reservation can fail.
#pragma once

#include <string.h>

#include "document/text_store.h"

namespace splice {

// Rows carry a hard line; blocks do not.
inline u32 GroupHard(const RowGroup &g) { return g.hardLineBase; }
inline void SetGroupHard(RowGroup &g, u32 h) { g.hardLineBase = h; }
inline u32 ItemHard(const Row &r) { return static_cast<u32>(static_cast<i32>(r.hardLine)); }
inline void SetItemHard(Row &r, u32 rel) { r.hardLine = static_cast<i16>(static_cast<i32>(rel)); }
inline u32 GroupHard(const BlockGroup &) { return 0; }
inline void SetGroupHard(BlockGroup &, u32) {}
inline u32 ItemHard(const TextBlock &) { return 0; }
inline void SetItemHard(TextBlock &, u32) {}

struct Plan {
  u32 i0, i1, m;
  bool hadGroups;    // the table had any group
  u32 gA;            // first group of the region (the same index before and after)
  u32 gB;            // old group of the last replaced item (or gA)
  bool useNext;      // old group gB + 1 joins the region
  u32 oldGroups;     // groups of the region before
  u32 newGroups;     // groups of the region after
  u32 regionFirst;   // first item of the region
  u32 total;         // items of the region after
  u32 firstCount;    // items of group gA after
  u32 middleGroups;  // new groups after the first one
  u32 middleLast;    // items of the last of them (the others hold groupFill)
  u32 tailCount;     // items of a last kept group (gB or the next one); 0 when none
};

inline u32 GroupCountAt(const Plan &p, u32 j) {
  if (j == 0) return p.firstCount;
  if (j <= p.middleGroups) return j == p.middleGroups ? p.middleLast : g_storeLimits.groupFill;
  return p.tailCount;
}

template <class I, class G>
Plan PlanSplice(const Table<G> &groups, const Table<I> &items, u32 i0, u32 i1, u32 m) {
  const u32 max = g_storeLimits.groupMax;
  const u32 fill = g_storeLimits.groupFill;
  Plan p = {};
  p.i0 = i0;
  p.i1 = i1;
  p.m = m;
  u32 a = 0, b = 0;
  if (groups.count > 0) {
    p.hadGroups = true;
    u32 anchor = i1 > i0 ? i0 : (i0 > 0 ? i0 - 1 : 0);
    p.gA = items.entries[anchor].group;
    p.gB = i1 > i0 ? items.entries[i1 - 1].group : p.gA;
    p.regionFirst = groups.entries[p.gA].first;
    a = i0 - p.regionFirst;
    b = groups.entries[p.gB].first + groups.entries[p.gB].count - i1;
    p.oldGroups = p.gB - p.gA + 1;
  }
  u64 t = static_cast<u64>(a) + m + b;
  p.total = static_cast<u32>(t);
  if (t == 0) return p;
  if (t <= max) {
    p.newGroups = 1;
    p.firstCount = p.total;
    return p;
  }
  p.firstCount = max;
  u32 e = p.total - max;
  if (p.hadGroups && p.gB != p.gA && e <= max) {
    p.tailCount = e;
    p.newGroups = 2;
    return p;
  }
  u32 moved = 0;
  if (p.hadGroups && p.gB == p.gA && p.gB + 1 < groups.count) {
    u32 nextCount = groups.entries[p.gB + 1].count;
    u32 room = max - nextCount;
    moved = e < room ? e : room;
    if (moved > 0) {
      p.useNext = true;
      p.oldGroups++;
      p.tailCount = nextCount + moved;
      p.total += nextCount;
    }
  }
  u32 rest = e - moved;
  p.middleGroups = (rest + fill - 1) / fill;
  p.middleLast = p.middleGroups ? rest - (p.middleGroups - 1) * fill : 0;
  p.newGroups = 1 + p.middleGroups + (p.useNext ? 1 : 0);
  return p;
}

// Entries the tables need for the plan.
template <class I, class G>
inline u32 ItemsNeeded(const Plan &p, const Table<I> &items) {
  return items.count - (p.i1 - p.i0) + p.m;
}
template <class I, class G>
inline u32 GroupsNeeded(const Plan &p, const Table<G> &groups) {
  return groups.count - p.oldGroups + p.newGroups;
}

template <class I, class G>
class Writer {
 public:
  // dStart and dHard are added (modulo 2^32) to every item after the window.
  Writer(Table<I> *items, Table<G> *groups, const Plan &plan, u32 dStart, u32 dHard)
      : items_(items), groups_(groups), p_(plan), dStart_(dStart), dHard_(dHard) {}

  void Begin() {
    G *g = groups_->entries;
    if (p_.hadGroups) {
      oldB_ = g[p_.gB];
      oldBEnd_ = oldB_.first + oldB_.count;
      if (p_.useNext) oldNext_ = g[p_.gB + 1];
    }
    const u32 removed = p_.i1 - p_.i0;
    dItems_ = p_.m - removed;  // modulo 2^32
    I *it = items_->entries;
    u32 tail = items_->count - p_.i1;
    if (p_.i0 + p_.m != p_.i1 && tail) memmove(it + p_.i0 + p_.m, it + p_.i1, tail * sizeof(I));
    items_->count = items_->count - removed + p_.m;

    u32 oldAfter = p_.gA + p_.oldGroups;
    u32 newAfter = p_.gA + p_.newGroups;
    u32 groupTail = groups_->count - oldAfter;
    if (oldAfter != newAfter && groupTail) memmove(g + newAfter, g + oldAfter, groupTail * sizeof(G));
    groups_->count = groups_->count - p_.oldGroups + p_.newGroups;

    u32 f = p_.regionFirst;
    for (u32 j = 0; j < p_.newGroups; j++) {
      G &grp = g[p_.gA + j];
      u32 c = GroupCountAt(p_, j);
      if (!(j == 0 && p_.i0 > f)) {
        // Its start and hard line base come with its first item.
        grp.start = 0;
        SetGroupHard(grp, 0);
      }
      grp.first = f;
      grp.count = c;
      f += c;
    }
    gi_ = p_.gA;
    next_ = p_.i0;
  }

  // The next new item; its group and relative fields are filled in here.
  void Put(I item, u32 absStart, u32 absHard) { Place(next_++, item, absStart, absHard); }

  void Finish() {
    G *g = groups_->entries;
    I *it = items_->entries;
    const u32 end = p_.regionFirst + p_.total;
    const u32 bEndNew = oldBEnd_ + dItems_;
    u32 i = next_;
    while (i < end) {
      const bool fromB = i < bEndNew;
      const G &src = fromB ? oldB_ : oldNext_;
      const u32 srcEnd = fromB ? bEndNew : end;
      while (i >= g[gi_].first + g[gi_].count) gi_++;
      G &dst = g[gi_];
      if (i == dst.first) {
        dst.start = src.start + it[i].start + dStart_;
        SetGroupHard(dst, GroupHard(src) + ItemHard(it[i]) + dHard_);
      }
      u32 segEnd = dst.first + dst.count;
      if (srcEnd < segEnd) segEnd = srcEnd;
      const u32 ds = src.start + dStart_ - dst.start;
      const u32 dh = GroupHard(src) + dHard_ - GroupHard(dst);
      const u32 gi = gi_;
      for (u32 j = i; j < segEnd; j++) {
        it[j].group = gi;
        it[j].start += ds;
        if (dh) SetItemHard(it[j], ItemHard(it[j]) + dh);
      }
      i = segEnd;
    }
    const u32 newAfter = p_.gA + p_.newGroups;
    for (u32 j = newAfter; j < groups_->count; j++) {
      g[j].first += dItems_;
      g[j].start += dStart_;
      SetGroupHard(g[j], GroupHard(g[j]) + dHard_);
    }
    const u32 dGroups = p_.newGroups - p_.oldGroups;
    if (dGroups) {
      for (u32 j = end; j < items_->count; j++) it[j].group += dGroups;
    }
  }

 private:
  void Place(u32 i, I item, u32 absStart, u32 absHard) {
    G *g = groups_->entries;
    while (i >= g[gi_].first + g[gi_].count) gi_++;
    G &grp = g[gi_];
    if (i == grp.first) {
      grp.start = absStart;
      SetGroupHard(grp, absHard);
    }
    item.group = gi_;
    item.start = absStart - grp.start;
    SetItemHard(item, absHard - GroupHard(grp));
    items_->entries[i] = item;
  }

  Table<I> *items_;
  Table<G> *groups_;
  Plan p_;
  u32 dStart_, dHard_;
  u32 dItems_ = 0;
  G oldB_ = {};
  G oldNext_ = {};
  u32 oldBEnd_ = 0;
  u32 gi_ = 0;
  u32 next_ = 0;
};

}  // namespace splice
