// The compact text form of a compiled graph, read back in the pattern's own
// notation so that compiler tests read as tables:
//   (0 "ab" [19]{2,}? (1 'x/X'|\n) \1)      group 0, a string, a lazy class,
//                                             a capturing group with two
//                                             alternatives, a back-reference
// Groups show their slot: (1 ...) captures, (?:10 ...) (?>11 ...)
// (?|12 ...) (?=13 ...) (?!..) (?<=..) (?<!..) do not; \K is an empty group
// shown as \K. Classes show their number (table * 8 + bit). Quantifiers use
// * + ? {n} {n,} {n,m} with ? (lazy) or + (possessive) after them.
// The walk keeps its own stack of open groups.
#include "foundation/bytes.h"
#include "search/pattern_internal.h"

using namespace pattern_detail;

namespace {

struct Out {
  char *buf;
  u32 cap;
  u32 length;
  void Put(char c) {
    if (length + 1 < cap) buf[length] = c;
    length++;
  }
  void Put(const char *s) {
    while (*s) Put(*s++);
  }
  void Number(u32 v) {
    char digits[12];
    u32 n = 0;
    do {
      digits[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v);
    while (n) Put(digits[--n]);
  }
  void Byte(u8 c, char quote) {
    if (c < 32 || c >= 127 || c == '\\' || c == static_cast<u8>(quote)) {
      static const char kHex[] = "0123456789abcdef";
      Put('\\');
      Put('x');
      Put(kHex[c >> 4]);
      Put(kHex[c & 15]);
    } else {
      Put(static_cast<char>(c));
    }
  }
};

void Quantifier(Out &o, const PatternNode &n) {
  const i32 min = n.minRepeat, max = n.maxRepeat;
  if (min == 1 && max == 1) return;
  if (min == 0 && max == kRepeatUnbounded) {
    o.Put('*');
  } else if (min == 1 && max == kRepeatUnbounded) {
    o.Put('+');
  } else if (min == 0 && max == 1) {
    o.Put('?');
  } else {
    o.Put('{');
    o.Number(static_cast<u32>(min));
    if (max != min) {
      o.Put(',');
      if (max != kRepeatUnbounded) o.Number(static_cast<u32>(max));
    }
    o.Put('}');
  }
  if (IsPossessive(n.mode)) {
    o.Put('+');
  } else if (IsLazy(n.mode)) {
    o.Put('?');
  }
}

void Atom(Out &o, const CompiledPattern *cp, const PatternNode &n) {
  switch (n.kind) {
    case kNodeEmpty: o.Put('_'); break;
    case kNodeTextStart: o.Put("\\A"); break;
    case kNodeTextEnd: o.Put("\\Z"); break;
    case kNodeParagraphStart: o.Put("\\p"); break;
    case kNodeLineStart: o.Put('^'); break;
    case kNodeParagraphEnd: o.Put("\\P"); break;
    case kNodeLineEnd: o.Put('$'); break;
    case kNodeWordBoundary: o.Put("\\b"); break;
    case kNodeNotWordBoundary: o.Put("\\B"); break;
    case kNodeWordStart: o.Put("\\y"); break;
    case kNodeWordEnd: o.Put("\\Y"); break;
    case kNodeSearchStart: o.Put("\\G"); break;
    case kNodeChar:
      o.Put('\'');
      o.Byte(static_cast<u8>(n.a), '\'');
      if (n.b != n.a) {
        o.Put('/');
        o.Byte(static_cast<u8>(n.b), '\'');
      }
      o.Put('\'');
      break;
    case kNodeAny: o.Put('.'); break;
    case kNodeClass: {
      u32 bit = 0;
      while (bit < 8 && !(n.b & (1u << bit))) bit++;
      o.Put('[');
      o.Number(n.a * 8 + bit);
      o.Put(']');
      break;
    }
    case kNodeString:
      o.Put('"');
      for (u32 k = 0; k < n.b; k++) o.Byte(static_cast<u8>(cp->pool[n.a + k]), '"');
      o.Put('"');
      break;
    case kNodeNewline: o.Put("\\n"); break;
    case kNodeBackRef:
      o.Put('\\');
      o.Number(n.a);
      break;
    default:
      o.Put('?');
      break;
  }
  Quantifier(o, n);
}

void GroupTag(Out &o, const CompiledPattern *cp, const PatternNode &open) {
  const u8 m = open.mode;
  if (m & kModeLookAhead) {
    o.Put((m & kModeNegative) ? "?!" : "?=");
  } else if (m & kModeLookBehind) {
    o.Put((m & kModeNegative) ? "?<!" : "?<=");
  } else if (m & kModeBranchReset) {
    o.Put("?|");
  } else if ((m & kModeNonCapturing) && IsPossessive(m)) {
    o.Put("?>");
  } else if (m & kModeNonCapturing) {
    o.Put("?:");
  }
  o.Number(cp->nodes[open.partner].a);
}

}  // namespace

u32 DumpPattern(const CompiledPattern *cp, char *buf, u32 cap) {
  Out o = {buf, cap, 0};
  const PatternNode *nodes = cp->nodes;
  u32 *opens = nullptr;  // the open groups: their opening node
  u32 *alts = nullptr;   // the first node of the alternative being written
  u32 depth = 0, depthCap = 0;
  u32 n = 0, stop = 0;
  bool space = false;
  bool started = false;  // node 0 starts the pattern; as a "next", 0 ends it
  u64 guard = 4ull * cp->nodeCount + 16;
  while (cp->nodeCount > 0 && guard--) {
    const bool end = depth == 0 ? (started && n == 0) : n == stop;
    started = true;
    if (!end) {
      const PatternNode &nd = nodes[n];
      if (space) o.Put(' ');
      space = true;
      if (nd.kind == kNodeOpen && IsResetStart(nd)) {
        o.Put("\\K");
        Quantifier(o, nd);
        n = nodes[nd.partner].next;
      } else if (nd.kind == kNodeOpen) {
        if (depth == depthCap) {
          u32 c1 = depthCap, c2 = depthCap;
          void *p1 = opens, *p2 = alts;
          if (!GrowArray(&p1, sizeof(u32), &c1, depth + 1)) break;
          opens = static_cast<u32 *>(p1);
          if (!GrowArray(&p2, sizeof(u32), &c2, depth + 1)) break;
          alts = static_cast<u32 *>(p2);
          depthCap = c1 < c2 ? c1 : c2;
        }
        opens[depth] = n;
        alts[depth] = nd.next;
        depth++;
        o.Put('(');
        GroupTag(o, cp, nd);
        stop = nd.partner;
        n = nd.next;
      } else {
        Atom(o, cp, nd);
        n = nd.next;
      }
      continue;
    }
    // The end of a sequence: of the pattern, or of one alternative.
    if (depth == 0) break;
    const u32 open = opens[depth - 1];
    const u32 nextAlt = nodes[alts[depth - 1]].alternative;
    if (nextAlt != 0 && alts[depth - 1] != nodes[open].partner) {
      o.Put('|');
      space = false;
      alts[depth - 1] = nextAlt;
      n = nextAlt;
      continue;
    }
    o.Put(')');
    Quantifier(o, nodes[open]);
    depth--;
    n = nodes[nodes[open].partner].next;
    stop = depth ? nodes[opens[depth - 1]].partner : 0;
    space = true;
  }
  Free(opens);
  Free(alts);
  if (cap) buf[o.length < cap ? o.length : cap - 1] = 0;
  return o.length;
}
