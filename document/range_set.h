// Range sets: sorted, non-overlapping, non-empty ranges of positions, each
// with a payload word, kept in chunks of up to 8192 ranges (the chunk knows
// the absolute start of its first range; each range its start relative to the
// chunk). The eight sets of a document cache facts about the text (links,
// occurrences, matches, per-row paint data); edits shift and cut them.
//
// Ownership: the set owns its chunk table and chunk buffers; RangeSetClear
// frees them. Pointers to ranges stay valid only until the set changes.
#pragma once

#include "document/text_store.h"

// The roles of the eight sets of a document.
enum RangeSetRole : u32 {
  kSetRowCache = 0,     // per-row paint cache: one range per cached row
  kSetLinks = 1,        // URL links
  kSetLinksScanned = 2, // regions already scanned for links
  kSetOccurrences = 3,  // occurrences of the selected text
  kSetOccurrencesScanned = 4,
  kSetPrimaryMatches = 5,
  kSetSecondaryMatches = 6,
  kSetSpare = 7,
};

inline u32 RangeAbsStart(const RangeSet *set, const Range *r) { return set->chunks.entries[r->chunk].start + r->start; }
inline u32 RangeAbsEnd(const RangeSet *set, const Range *r) { return RangeAbsStart(set, r) + r->length; }
u32 RangeCount(const RangeSet *set);

// The range containing the position; when none does, the next range after it
// (in the same chunk or the first of the next chunk); null after the last.
const Range *RangeAt(const RangeSet *set, u32 position);
// The range after r, or null.
const Range *RangeNext(const RangeSet *set, const Range *r);

// Adds [start, start + length) with a payload, first removing every range it
// overlaps. An empty range is not stored (returns 0). Returns 0, or -1 with
// the set unchanged when memory ran out.
[[nodiscard]] int RangeSetAdd(RangeSet *set, u32 start, u32 length, u32 payload);
// Removes every range that overlaps [from, to) (from < to).
void RangeSetRemove(RangeSet *set, u32 from, u32 to);
// Removes every range; the maintained flag stays.
void RangeSetClear(RangeSet *set);

// Edits (the store's length before the edit is given):
// - an insertion of n bytes at p removes the range at p (the one containing
//   p, or one ending exactly at p when endCounts) and shifts the ranges from
//   p on by n;
// - a deletion of [a, b) removes every range that reaches a or b (including
//   one ending at a or starting at b) and shifts the later ones back.
// Neither needs memory.
void RangeSetOnInsert(RangeSet *set, u32 p, u32 n, bool endCounts);
void RangeSetOnDelete(RangeSet *set, u32 a, u32 b);
