// The optimisation passes over a freshly parsed graph:
//   - empty slots and empty strings are unlinked from every chain;
//   - pass 1 merges each run of literal characters and strings that repeat
//     exactly once into one string in a freshly built literal pool, and
//     repeat-merges any-character, class and newline nodes;
//   - pass 2 repeat-merges equal neighbours of the single-unit kinds, so that
//     "aa*" becomes "a+".
// Merged-away nodes stay in the array as unreachable empty nodes.
//
// Nodes of one sequence are created in the order of the text, so walking the
// array in index order meets the first node of every run first.
#include "foundation/bytes.h"
#include "search/pattern_internal.h"

using namespace pattern_detail;

namespace {

bool Unlinkable(const PatternNode &n) {
  return n.alternative == 0 && (n.kind == kNodeEmpty || (n.kind == kNodeString && n.b == 0));
}

u32 SkipUnlinkable(const CompiledPattern *cp, u32 t) {
  while (t != 0 && Unlinkable(cp->nodes[t])) t = cp->nodes[t].next;
  return t;
}

void Kill(PatternNode &n) {
  n.kind = kNodeEmpty;
  n.alternative = 0;
  n.next = 0;
}

void UnlinkEmpty(CompiledPattern *cp) {
  for (u32 k = 0; k < cp->nodeCount; k++) {
    PatternNode &n = cp->nodes[k];
    n.next = SkipUnlinkable(cp, n.next);
    n.alternative = SkipUnlinkable(cp, n.alternative);
  }
  // An empty string that starts an alternative stays as an empty slot.
  for (u32 k = 0; k < cp->nodeCount; k++) {
    PatternNode &n = cp->nodes[k];
    if (n.kind == kNodeString && n.b == 0) {
      n.kind = kNodeEmpty;
      n.minRepeat = n.maxRepeat = 1;
    }
  }
}

bool Once(const PatternNode &n) { return n.minRepeat == 1 && n.maxRepeat == 1; }
bool LiteralOnce(const PatternNode &n) { return (n.kind == kNodeChar || n.kind == kNodeString) && Once(n); }

// 0 lazy, 1 greedy, 3 possessive.
u8 Greediness(u8 mode) { return mode & kModeRepeatMask; }

// Merges equal neighbours of node k into it while the modes allow.
void RepeatMerge(CompiledPattern *cp, u32 k) {
  for (;;) {
    PatternNode &x = cp->nodes[k];
    u32 yi = x.next;
    if (yi == 0) return;
    PatternNode &y = cp->nodes[yi];
    if (y.kind != x.kind || y.a != x.a || y.b != x.b) return;
    if (IsPossessive(x.mode)) return;
    if (x.minRepeat > x.maxRepeat || y.minRepeat > y.maxRepeat) return;
    const bool fixedX = x.minRepeat == x.maxRepeat, fixedY = y.minRepeat == y.maxRepeat;
    const bool unboundedBoth = x.maxRepeat == kRepeatUnbounded && y.maxRepeat == kRepeatUnbounded;
    if (Greediness(x.mode) != Greediness(y.mode) && !(fixedX || fixedY || unboundedBoth)) return;
    u8 mode;
    if (!fixedY && !IsLazy(y.mode)) {
      mode = y.mode;
    } else if (fixedX && IsLazy(y.mode)) {
      mode = kModeLazy;
    } else {
      mode = x.mode;
    }
    x.minRepeat = RepeatAdd(x.minRepeat, y.minRepeat);
    x.maxRepeat = RepeatAdd(x.maxRepeat, y.maxRepeat);
    x.mode = mode;
    x.next = y.next;
    Kill(y);
  }
}

// Appends the characters of a literal node to the pool; false when it is full.
bool AppendLiteral(const CompiledPattern *cp, const PatternNode &n, char *pool, u32 *length) {
  if (n.kind == kNodeChar) {
    if (*length >= kPatternTextBytes) return false;
    pool[(*length)++] = static_cast<char>(n.a);
    return true;
  }
  if (n.b > kPatternTextBytes - *length) return false;
  MemCopy(pool + *length, cp->pool + n.a, n.b);
  *length += n.b;
  return true;
}

}  // namespace

void pattern_detail::LinkPartners(CompiledPattern *cp) {
  for (u32 k = 0; k < cp->nodeCount; k++) {
    const PatternNode &n = cp->nodes[k];
    if (n.kind == kNodeClose) cp->nodes[n.b].partner = k;
  }
}

int pattern_detail::OptimisePattern(CompiledPattern *cp) {
  UnlinkEmpty(cp);
  char *pool = static_cast<char *>(Allocate(kPatternTextBytes));
  if (!pool) return -1;
  u32 length = 0;
  // Pass 1.
  for (u32 k = 0; k < cp->nodeCount; k++) {
    PatternNode &x = cp->nodes[k];
    if (LiteralOnce(x)) {
      u32 count = 1;
      u32 y = x.next;
      while (y != 0 && LiteralOnce(cp->nodes[y])) {
        count++;
        y = cp->nodes[y].next;
      }
      if (count >= 2 || x.kind == kNodeString) {
        const u32 offset = length;
        u32 z = k;
        for (u32 j = 0; j < count; j++) {
          PatternNode &m = cp->nodes[z];
          if (!AppendLiteral(cp, m, pool, &length)) {
            Free(pool);
            return -1;
          }
          u32 after = m.next;
          if (j > 0) Kill(m);
          z = after;
        }
        x.kind = kNodeString;
        x.a = offset;
        x.b = length - offset;
        x.next = y;
      }
    } else if (x.kind == kNodeString) {
      const u32 offset = length;
      if (!AppendLiteral(cp, x, pool, &length)) {
        Free(pool);
        return -1;
      }
      x.a = offset;
    } else if (x.kind == kNodeAny || x.kind == kNodeClass || x.kind == kNodeNewline) {
      RepeatMerge(cp, k);
    }
  }
  MemCopy(cp->pool, pool, length);
  cp->poolLength = length;
  Free(pool);
  // Pass 2.
  for (u32 k = 0; k < cp->nodeCount; k++) {
    const u8 kind = cp->nodes[k].kind;
    if (kind == kNodeChar || kind == kNodeAny || kind == kNodeClass || kind == kNodeNewline) RepeatMerge(cp, k);
  }
  return 0;
}
