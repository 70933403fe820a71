// The matcher's engine, shared by matcher.cpp (MatchAt: the backtracking
// walk of the graph) and find_match.cpp (FindMatch: the scan driver). Not for
// use outside search/.
#pragma once

#include "foundation/char_class.h"
#include "search/matcher.h"
#include "search/pattern_internal.h"

namespace matcher_detail {

// Reads the text of a store in place. It keeps the block that served the
// last read; moving to a neighbouring block is a step, anything farther a
// binary search.
struct Reader {
  const TextStore *store;
  const u8 *data;  // the current block's bytes
  u32 start, end;  // the current block spans [start, end)
  u32 block;

  void Init(const TextStore *s) {
    store = s;
    data = nullptr;
    start = end = 0;
    block = 0;
  }
  void Load(u32 b) {
    const TextBlock &t = store->blocks.entries[b];
    block = b;
    start = BlockStart(store, b);
    end = start + t.length;
    data = reinterpret_cast<const u8 *>(t.data);
  }
  // Makes the current block the one holding p (p < length).
  void Seek(u32 p) {
    const TextBlock *blocks = store->blocks.entries;
    if (data) {
      if (p >= end && block + 1 < store->blocks.count && p - end < blocks[block + 1].length) {
        Load(block + 1);
        return;
      }
      if (p < start && block > 0 && start - p <= blocks[block - 1].length) {
        Load(block - 1);
        return;
      }
    }
    Load(BlockOfPosition(store, p));
  }
  __attribute__((always_inline)) bool Holds(u32 p) const { return p - start < end - start; }
  __attribute__((always_inline)) u8 At(u32 p) {
    if (!Holds(p)) Seek(p);
    return data[p - start];
  }
};

// Frame kinds of the backtrack stack.
enum FrameKind : u32 {
  kFrameRestore,      // node = slot; w = the group record to put back
  kFrameAlternative,  // try node `node` at pos
  kFrameGiveBack,     // greedy repeat of node: pos = current end, w0 = run start, w1 = count, w2 = unit width
  kFrameTakeMore,     // lazy repeat of node: pos = current end, w1 = count, w2 = unit width
  kFrameGroupExit,    // leave the repetition of group `node` (its opening) at pos
  kFrameGroupIter,    // one more iteration of group `node` at pos (lazy)
  kFrameAtomic,       // start of atomic group / possessive repetition `node`
  kFrameLook,         // look-around `node` in progress: pos = where it was entered,
                      // w0 = look-behind start being tried, w1 = farthest start,
                      // w2 = the consumption limit outside, w3 = the enclosing look frame
  kFrameKindCount
};

}  // namespace matcher_detail

struct MatchFrame {
  u32 kind;
  u32 node;
  u32 pos;
  u32 w[5];
};
static_assert(sizeof(MatchFrame) == 32, "a frame is eight words");
static_assert(sizeof(GroupRecord) == 5 * sizeof(u32), "a group record fits a frame's words");

namespace matcher_detail {

constexpr u32 kPollSteps = 4096;  // node and backtrack steps between polls of the cancel flag
constexpr u32 kNoLook = 0xFFFFFFFFu;

struct Engine {
  // The pattern.
  CompiledPattern *cp;
  const PatternNode *nodes;
  const u8 *tables;
  const u8 *pool;
  const u8 *lower;       // the lower-case table, with ignore case; else null
  const u8 *wordTable;   // word characters: entry & wordMask
  u8 wordMask;
  u32 lookBehindReach;
  u32 searchStart;       // \G
  // The text.
  const TextStore *store;
  Reader r;
  Reader r2;             // a second view, for back-references
  u32 length;
  u32 contextStart, contextEnd;  // what the matcher may see
  u32 rangeStart, rangeEnd;      // the search range: \K stays inside; matches end by rangeEnd
  // Working state.
  GroupRecord *groups;
  u32 groupCount;
  MatchStack *stack;
  u32 base;              // frames below belong to the caller
  u32 limit;             // consumption stops here (rangeEnd; look-around bodies: their own)
  u32 currentLook;       // the innermost look frame, kNoLook
  u32 attempt;           // where this attempt started
  bool rejectEmpty;
  bool cancelled;
  u32 budget;            // steps until the next poll
  volatile i32 *cancel;
  // Group records written since the last reset: bit s for slot s < 64.
  u64 dirty;
  bool dirtyHigh;

  void Setup(CompiledPattern *pattern, const TextStore *s);
  // Runs one attempt at `position`. 1 matched, -1 not, 0 out of memory.
  int Run(u32 position);
  bool Poll();
  // Puts the records written since the last reset back to "not set". Group
  // 0 needs none: every attempt sets it when it starts and when it succeeds.
  void ResetGroups() {
    if (dirtyHigh) {
      ResetGroupRecords(groups, groupCount);
    } else {
      u64 d = dirty & ~1ull;
      while (d) {
        const u32 s = static_cast<u32>(__builtin_ctzll(d));
        d &= d - 1;
        GroupRecord &g = groups[s];
        g.start = g.end = g.tentative = kNoPosition;
        g.count = 0;
        g.entry = 0;
      }
    }
    dirty = 0;
    dirtyHigh = false;
  }

  bool WordBefore(u32 p) {
    return p > contextStart && p <= contextEnd && (wordTable[r.At(p - 1)] & wordMask);
  }
  bool WordAfter(u32 p) { return p >= contextStart && p < contextEnd && (wordTable[r.At(p)] & wordMask); }
  bool LineStart(u32 p);
  bool LineEnd(u32 p);
};

// Whether the zero-width assertion of node kind `kind` holds at p.
bool AssertAt(Engine &e, u8 kind, u32 p);

}  // namespace matcher_detail
