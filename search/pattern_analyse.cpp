// What the matcher may know in advance, worked out from the optimised graph:
//   - per repeated single-byte node, the bytes its follower must start with:
//     a greedy repeat whose follower can never start with one of its own
//     members never gives anything back, and a repeat followed by one or two
//     possible bytes gives back (or takes, when lazy) only up to positions
//     where one of them stands;
//   - for the scan, which bytes a match can start with, what must stand
//     before it, a literal it starts with, an anchor, and a byte every match
//     contains.
// All of it is optional: a walk that grows too long, or a failed allocation,
// simply leaves that knowledge out.
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "search/pattern_internal.h"

using namespace pattern_detail;

namespace {

constexpr u32 kWalkBudget = 256;              // nodes one walk may visit
constexpr u32 kWalkStack = 3 * kWalkBudget + 4;

struct Walk {
  const CompiledPattern *cp;
  u8 *seen;  // one bit per node
  u32 marked[kWalkBudget];
  u32 markedCount;
  u32 stack[kWalkStack];
};

void AddMembers(const CompiledPattern *cp, const PatternNode &n, u8 *set) {
  switch (n.kind) {
    case kNodeChar:
      set[n.a & 255] = 1;
      set[n.b & 255] = 1;
      break;
    case kNodeAny:
    case kNodeClass: {
      u32 table = n.kind == kNodeAny ? 0 : n.a;
      u32 mask = n.kind == kNodeAny ? 1 : n.b;
      if (!cp->tables) {
        for (u32 c = 0; c < 256; c++) set[c] = (c != '\r' && c != '\n') ? 1 : set[c];
        break;
      }
      for (u32 c = 0; c < 256; c++) {
        if (ClassHas(cp, table, mask, static_cast<u8>(c))) set[c] = 1;
      }
      break;
    }
    case kNodeString: {
      u8 first = static_cast<u8>(cp->pool[n.a]);
      if (cp->flags & kPatternIgnoreCase) {
        u8 bytes[256];
        u32 k = BytesWithLower(first, bytes);
        for (u32 j = 0; j < k; j++) set[bytes[j]] = 1;
        set[first] = 1;
      } else {
        set[first] = 1;
      }
      break;
    }
    case kNodeNewline:
      set[static_cast<u8>('\r')] = 1;
      set[static_cast<u8>('\n')] = 1;
      break;
    default:
      break;
  }
}

// The bytes that can be consumed first from node `start` on (its alternatives
// included). False when unknown (a back-reference, or the walk is too long).
// *nullable: the end of the pattern, or of the look-around body the walk
// started in, can be reached without consuming anything. A path through a
// "$" ends there: the byte there is a CR or LF (in the set), or there is none
// at the end of the text (*atEnd).
bool FirstBytes(Walk &w, u32 start, u8 *set, bool *nullable, bool *atEnd) {
  const CompiledPattern *cp = w.cp;
  MemZero(set, 256);
  *nullable = false;
  *atEnd = false;
  bool known = true;
  u32 top = 0;
  w.stack[top++] = start;
  bool first = true;  // the start may be node 0, which opens the pattern
  while (top > 0 && known) {
    u32 k = w.stack[--top];
    const bool atStart = first;
    first = false;
    if (k == 0 && !atStart) {
      *nullable = true;
      continue;
    }
    if (w.seen[k >> 3] & (1u << (k & 7))) continue;
    if (w.markedCount == kWalkBudget) {
      known = false;
      break;
    }
    w.seen[k >> 3] |= static_cast<u8>(1u << (k & 7));
    w.marked[w.markedCount++] = k;
    const PatternNode &n = cp->nodes[k];
    if (n.alternative) w.stack[top++] = n.alternative;
    if (n.minRepeat > n.maxRepeat) continue;  // never matches
    switch (n.kind) {
      case kNodeOpen: {
        const PatternNode &cl = cp->nodes[n.partner];
        if (IsLookAround(n) || IsResetStart(n) || n.maxRepeat == 0) {
          w.stack[top++] = cl.next;
        } else {
          w.stack[top++] = n.next;
          if (n.minRepeat == 0) w.stack[top++] = cl.next;
        }
        break;
      }
      case kNodeClose: {
        const PatternNode &open = cp->nodes[n.b];
        if (IsLookAround(open)) {
          *nullable = true;  // the end of a look-around body
        } else {
          w.stack[top++] = n.next;
          if (open.maxRepeat > 1) w.stack[top++] = open.next;
        }
        break;
      }
      case kNodeChar:
      case kNodeAny:
      case kNodeClass:
      case kNodeNewline:
      case kNodeString:
        if (n.maxRepeat > 0 && !(n.kind == kNodeString && n.b == 0)) AddMembers(cp, n, set);
        if (n.minRepeat == 0 || (n.kind == kNodeString && n.b == 0)) w.stack[top++] = n.next;
        break;
      case kNodeBackRef:
        known = false;
        break;
      case kNodeLineEnd:
        if (n.minRepeat >= 1) {
          set[static_cast<u8>('\r')] = 1;
          set[static_cast<u8>('\n')] = 1;
          *atEnd = true;
        } else {
          w.stack[top++] = n.next;
        }
        break;
      default:  // empty slots and zero-width assertions
        w.stack[top++] = n.next;
        break;
    }
  }
  for (u32 j = 0; j < w.markedCount; j++) {
    u32 k = w.marked[j];
    w.seen[k >> 3] &= static_cast<u8>(~(1u << (k & 7)));
  }
  w.markedCount = 0;
  return known;
}

u32 CountSet(const u8 *set, u8 *firstTwo) {
  u32 n = 0;
  for (u32 c = 0; c < 256; c++) {
    if (set[c]) {
      if (n < 2 && firstTwo) firstTwo[n] = static_cast<u8>(c);
      n++;
    }
  }
  return n;
}

void SetHints(Walk &w, CompiledPattern *cp) {
  u8 follow[256], own[256];
  for (u32 k = 0; k < cp->nodeCount; k++) {
    PatternNode &n = cp->nodes[k];
    n.hint = 0;
    n.follow = 0;
    if (!IsSingleByteKind(n.kind) || n.maxRepeat <= n.minRepeat || IsPossessive(n.mode)) continue;
    bool nullable, atEnd;
    if (!FirstBytes(w, n.next, follow, &nullable, &atEnd) || nullable) continue;
    u8 two[2] = {0, 0};
    u32 count = CountSet(follow, two);
    if (!IsLazy(n.mode)) {
      MemZero(own, sizeof own);
      AddMembers(cp, n, own);
      bool disjoint = true;
      for (u32 c = 0; c < 256 && disjoint; c++) disjoint = !(own[c] && follow[c]);
      if (disjoint) {
        n.hint = kHintNeverGiveBack;
        continue;
      }
    }
    if (count >= 1 && count <= 2) {
      n.hint = kHintFollowBytes;
      n.follow = static_cast<u16>(two[0] | ((count == 2 ? two[1] : two[0]) << 8));
    }
  }
}

// Case variants of a pool byte under ignore case: false when more than two.
bool Variants(const CompiledPattern *cp, u8 lower, u8 *out) {
  if (!(cp->flags & kPatternIgnoreCase)) {
    out[0] = out[1] = lower;
    return true;
  }
  u8 bytes[256];
  u32 k = BytesWithLower(lower, bytes);
  if (k == 0) {
    out[0] = out[1] = lower;  // a byte whose lower case is itself only by CharLowerA's word
    return true;
  }
  if (k > 2) return false;
  out[0] = bytes[0];
  out[1] = k == 2 ? bytes[1] : bytes[0];
  return true;
}

// The last byte (and its case variants) of a literal node that repeats at
// least once; false when the node is not such a literal.
bool LastLiteralByte(const CompiledPattern *cp, const PatternNode &n, u8 *out) {
  if (n.minRepeat < 1 || n.minRepeat > n.maxRepeat) return false;
  if (n.kind == kNodeChar) {
    out[0] = static_cast<u8>(n.a);
    out[1] = static_cast<u8>(n.b);
    return true;
  }
  if (n.kind == kNodeString && n.b > 0) return Variants(cp, static_cast<u8>(cp->pool[n.a + n.b - 1]), out);
  return false;
}

// The scan literal of a literal node that stands exactly once: false when
// the node is no such literal, or its case variants are too many.
bool MakeLiteral(const CompiledPattern *cp, const PatternNode &n, PrefilterLiteral *out) {
  PrefilterLiteral lit = {};
  if (n.minRepeat != 1 || n.maxRepeat != 1) return false;
  if (n.kind == kNodeChar) {
    lit.length = 1;
    lit.bytes[0] = static_cast<u8>(n.a);
    lit.first[0] = lit.last[0] = static_cast<u8>(n.a);
    lit.first[1] = lit.last[1] = static_cast<u8>(n.b);
  } else if (n.kind == kNodeString && n.b > 0) {
    lit.length = n.b < kPrefilterLiteralBytes ? n.b : kPrefilterLiteralBytes;
    MemCopy(lit.bytes, cp->pool + n.a, lit.length);
    lit.ignoreCase = (cp->flags & kPatternIgnoreCase) ? 1 : 0;
    if (!Variants(cp, lit.bytes[0], lit.first) || !Variants(cp, lit.bytes[lit.length - 1], lit.last)) return false;
  } else {
    return false;
  }
  *out = lit;
  return true;
}

// Whether node k closes a group that stands once and plainly: no
// look-around, \K, atomic group or repetition, so the text after it follows
// the group's body directly.
bool ClosesOnce(const PatternNode *nodes, u32 k) {
  const PatternNode &c = nodes[k];
  if (c.kind != kNodeClose || c.alternative) return false;
  const PatternNode &open = nodes[c.b];
  return open.minRepeat == 1 && open.maxRepeat == 1 && !IsLookAround(open) && !IsResetStart(open) &&
         !IsPossessive(open.mode);
}

u32 LiteralLength(const PatternNode &n) { return n.kind == kNodeChar ? 1 : n.b; }

// Whether the graph is assertions that stand once, group 0 holding only the
// literal node `literal`, and assertions again.
bool IsLiteralOnly(const PatternNode *nodes, u32 literal) {
  auto plain = [&](u32 k) { return nodes[k].alternative == 0 && nodes[k].minRepeat == 1 && nodes[k].maxRepeat == 1; };
  u32 k = 0;
  while (IsZeroWidthKind(nodes[k].kind) && plain(k) && nodes[k].next != 0) k = nodes[k].next;
  const PatternNode &open = nodes[k];
  if (open.kind != kNodeOpen || !plain(k) || open.mode & (kModeLookAhead | kModeLookBehind | kModeResetStart) ||
      IsPossessive(open.mode) || open.next != literal || !plain(literal)) {
    return false;
  }
  const u32 close = nodes[literal].next;
  if (close != open.partner || nodes[close].a != 0) return false;
  for (k = nodes[close].next; k != 0; k = nodes[k].next) {
    if (!IsZeroWidthKind(nodes[k].kind) || !plain(k)) return false;
  }
  return true;
}

// Whether the graph is assertions that stand once, group 0 and more groups
// opened (each once, plainly) right before the greedy run node `run`, the ends
// of some of them, the literal node `literal`, and then only ends of groups
// and assertions that stand once.
bool IsRunLiteralOnly(const PatternNode *nodes, u32 run, u32 literal) {
  auto plain = [&](u32 k) { return nodes[k].alternative == 0 && nodes[k].minRepeat == 1 && nodes[k].maxRepeat == 1; };
  u32 k = 0;
  while (IsZeroWidthKind(nodes[k].kind) && plain(k) && nodes[k].next != 0) k = nodes[k].next;
  if (nodes[k].kind != kNodeOpen || nodes[nodes[k].partner].a != 0) return false;
  for (; k != run; k = nodes[k].next) {
    if (nodes[k].kind != kNodeOpen || !ClosesOnce(nodes, nodes[k].partner) || nodes[k].alternative) return false;
  }
  const PatternNode &x = nodes[run];
  if (x.alternative || IsLazy(x.mode) || IsPossessive(x.mode) || x.minRepeat < 0) return false;
  for (k = x.next; k != literal; k = nodes[k].next) {
    if (!ClosesOnce(nodes, k)) return false;
  }
  if (!plain(literal)) return false;
  for (k = nodes[literal].next; k != 0; k = nodes[k].next) {
    if (!ClosesOnce(nodes, k) && !(IsZeroWidthKind(nodes[k].kind) && plain(k))) return false;
  }
  return true;
}

void SetPrefilter(Walk *w, CompiledPattern *cp) {
  PatternPrefilter &pf = cp->prefilter;
  MemZero(&pf, sizeof pf);
  pf.firstAny = 1;
  const PatternNode *nodes = cp->nodes;

  bool nullable = true, atEnd = false;
  if (w && FirstBytes(*w, 0, pf.firstSet, &nullable, &atEnd) && !nullable) {
    pf.firstAny = 0;
    pf.firstCount = CountSet(pf.firstSet, pf.firstBytes);
    pf.firstAtEnd = atEnd ? 1 : 0;
    u32 low = 0;
    while (low < 256 && !pf.firstSet[low]) low++;
    if (low < 256) {
      u32 high = low;
      while (high + 1 < 256 && pf.firstSet[high + 1]) high++;
      if (high - low + 1 == pf.firstCount) {
        pf.firstRange = 1;
        pf.firstLow = static_cast<u8>(low);
        pf.firstHigh = static_cast<u8>(high);
      }
    }
  }

  // The path every match must take from its start: assertions that hold at
  // the start, and the first literal.
  u32 literalNode = 0, runLiteralNode = 0;
  u32 k = 0;
  for (u32 steps = 0; steps < 4096; steps++) {
    const PatternNode &n = nodes[k];
    if (n.alternative || n.minRepeat > n.maxRepeat) break;
    if (IsSingleByteKind(n.kind) && n.maxRepeat == kRepeatUnbounded) {
      // A run of this node's members up to a literal: the scan looks for
      // the literal and starts no earlier than the run allows. The ends of
      // groups that stand once ("(\w+)ing") lie between them, taking nothing.
      u32 after = n.next;
      while (after != 0 && ClosesOnce(nodes, after)) after = nodes[after].next;
      if (after != 0 && MakeLiteral(cp, nodes[after], &pf.runLiteral)) {
        pf.runNode = k;
        runLiteralNode = after;
      }
      break;
    }
    if (n.minRepeat == 0) {
      if (n.kind == kNodeEmpty || IsZeroWidthKind(n.kind)) {
        k = n.next;
        if (k == 0) break;
        continue;
      }
      break;
    }
    bool stop = false;
    switch (n.kind) {
      case kNodeEmpty:
      case kNodeTextEnd:
      case kNodeLineEnd:
      case kNodeParagraphEnd:
      case kNodeClose:
        k = n.next;
        break;
      case kNodeLineStart:
      case kNodeParagraphStart:
        if (pf.anchor == kAnchorNone) pf.anchor = kAnchorLineStart;
        pf.prevConditions |= kPrevNewline;
        k = n.next;
        break;
      case kNodeTextStart:
        pf.anchor = kAnchorContextStart;
        k = n.next;
        break;
      case kNodeSearchStart:
        if (pf.anchor != kAnchorContextStart) pf.anchor = kAnchorSearchStart;
        k = n.next;
        break;
      case kNodeWordStart:
        pf.prevConditions |= kPrevNonWord;
        k = n.next;
        break;
      case kNodeWordEnd:
        pf.prevConditions |= kPrevWord;
        k = n.next;
        break;
      case kNodeWordBoundary:
        pf.prevConditions |= kPrevBoundary;
        k = n.next;
        break;
      case kNodeNotWordBoundary:
        pf.prevConditions |= kPrevNoBoundary;
        k = n.next;
        break;
      case kNodeOpen: {
        const PatternNode &cl = nodes[n.partner];
        if (IsResetStart(n)) {
          k = cl.next;
        } else if (IsLookAround(n)) {
          if ((n.mode & kModeLookBehind) && !(n.mode & kModeNegative) && !(pf.prevConditions & kPrevBytes) &&
              n.next != n.partner && nodes[n.next].alternative == 0) {
            u32 last = n.next;
            u32 guard = 0;
            while (nodes[last].next != n.partner && nodes[last].next != 0 && guard++ < 4096) last = nodes[last].next;
            u8 bytes[2];
            if (nodes[last].next == n.partner && nodes[last].maxRepeat >= 1 &&
                LastLiteralByte(cp, nodes[last], bytes)) {
              pf.prevBytes[0] = bytes[0];
              pf.prevBytes[1] = bytes[1];
              pf.prevConditions |= kPrevBytes;
              // A body of one literal: the scan looks for the literal itself.
              if (last == n.next && !pf.before.length) MakeLiteral(cp, nodes[last], &pf.before);
            }
          }
          k = cl.next;
        } else {
          if (nodes[n.next].alternative) {
            stop = true;
          } else {
            k = n.next;
          }
        }
        break;
      }
      case kNodeChar:
      case kNodeString:
        if (MakeLiteral(cp, n, &pf.start)) literalNode = k;
        stop = true;
        break;
      default:
        stop = true;
        break;
    }
    if (stop || k == 0) break;
  }

  pf.literalOnly = literalNode && pf.start.length == LiteralLength(nodes[literalNode]) && IsLiteralOnly(nodes, literalNode);
  pf.runLiteralOnly = pf.runNode && pf.runLiteral.length == LiteralLength(nodes[runLiteralNode]) &&
                      IsRunLiteralOnly(nodes, pf.runNode, runLiteralNode);

  // A byte every match contains: the last literal of group 0's top-level
  // sequence, unless it is a literal the scan looks for anyway (the one the
  // match starts with, or the one after its first run).
  u32 open0 = 0;
  while (nodes[open0].kind != kNodeOpen) open0 = nodes[open0].next;
  const u32 close0 = nodes[open0].partner;
  k = nodes[open0].next;
  if (k != close0 && nodes[k].alternative == 0) {
    u32 guard = 0;
    while (k != close0 && k != 0 && guard++ < 100000) {
      const PatternNode &n = nodes[k];
      u8 bytes[2];
      if (k != literalNode && k != runLiteralNode && LastLiteralByte(cp, n, bytes)) {
        pf.requiredBytes[0] = bytes[0];
        pf.requiredBytes[1] = bytes[1];
        pf.requiredCount = bytes[0] == bytes[1] ? 1 : 2;
      }
      k = n.kind == kNodeOpen ? nodes[n.partner].next : n.next;
    }
  }

  // Skipping inside runs: group 0 opens the pattern, its body starts with a
  // node that stands once, then a repeat without maximum; nothing refers
  // back to what the start captured.
  for (u32 j = 0; j < cp->nodeCount; j++) {
    if (nodes[j].kind == kNodeBackRef) return;
  }
  if (open0 != 0) return;
  const PatternNode &lead = nodes[nodes[0].next];
  if (lead.alternative || lead.minRepeat != 1 || lead.maxRepeat != 1 || lead.next == 0) return;
  u32 leadLength;
  if (IsSingleByteKind(lead.kind)) {
    leadLength = 1;
  } else if (lead.kind == kNodeString && lead.b > 0) {
    leadLength = lead.b;
  } else {
    return;
  }
  const PatternNode &run = nodes[lead.next];
  if (!IsSingleByteKind(run.kind) || run.maxRepeat != kRepeatUnbounded || run.minRepeat > run.maxRepeat) return;
  pf.skipNode = lead.next;
  pf.skipLead = leadLength;
}

}  // namespace

void pattern_detail::AnalysePattern(CompiledPattern *cp) {
  Walk *w = static_cast<Walk *>(Allocate(sizeof(Walk)));
  u8 *seen = w ? static_cast<u8 *>(Allocate(cp->nodeCount / 8 + 1)) : nullptr;
  if (w && seen) {
    MemZero(seen, cp->nodeCount / 8 + 1);
    w->cp = cp;
    w->seen = seen;
    w->markedCount = 0;
    SetHints(*w, cp);
    SetPrefilter(w, cp);
  } else {
    SetPrefilter(nullptr, cp);
  }
  Free(seen);
  Free(w);
}
