// FindMatch: the scan driver. It tries start positions one after the other
// and runs the engine (matcher.cpp) at each, skipping positions where the
// compiled prefilter proves no match can start:
//   - an anchored pattern (\A, \G, ^ or \p first) is tried only where the
//     anchor can hold;
//   - a pattern that starts with a literal string is tried where the literal
//     stands (16 bytes at a time on its first and last byte, then compared);
//   - otherwise only where the first byte can start a match and the byte
//     before suits the leading assertions (\b \y ^ and look-behind literals);
//   - a byte every match must contain is looked for ahead once; where it is
//     missing, the forward scan ends.
// The group array and the backtrack stack are kept in the pattern between
// scans (a replace loop calls FindMatch once per occurrence).
#include "foundation/bytes.h"
#include "search/byte_search.h"
#include "search/matcher_internal.h"

using namespace matcher_detail;
using namespace pattern_detail;

// A scan that needed a deep stack does not keep it for the next one.
constexpr u32 kKeptFrames = 65536;

struct MatchWorkspace {
  GroupRecord *groups;
  u32 groupCount;
  MatchStack stack;
  // The table of bytes that may stand before a match, and the word table it
  // was built from (the plain levels follow the live word rule).
  u8 prevReady;
  // Group records written since they were last reset (the engine's dirty
  // marks, kept between scans), and the block the last scan ended in.
  u8 dirtyHigh;
  u64 dirty;
  u32 lastBlock;
  u8 prevOk[256];
  u8 wordSnapshot[256];
};

void pattern_detail::FreeMatchWorkspace(MatchWorkspace *w) {
  if (!w) return;
  Free(w->groups);
  FreeMatchStack(&w->stack);
  Free(w);
}

namespace {

int EnsureWorkspace(CompiledPattern *cp) {
  MatchWorkspace *w = cp->workspace;
  if (w && w->groupCount == cp->groupCount) return 0;
  FreeMatchWorkspace(w);
  cp->workspace = nullptr;
  w = static_cast<MatchWorkspace *>(Allocate(sizeof(MatchWorkspace)));
  if (!w) return -1;
  MemZero(w, sizeof *w);
  w->groups = static_cast<GroupRecord *>(Allocate(static_cast<size_t>(cp->groupCount) * sizeof(GroupRecord)));
  if (!w->groups || InitMatchStack(&w->stack) != 0) {
    FreeMatchWorkspace(w);
    return -1;
  }
  w->groupCount = cp->groupCount;
  w->dirtyHigh = 1;  // the records hold nothing yet
  cp->workspace = w;
  return 0;
}

struct Scan {
  Engine *e;
  const PatternPrefilter *pf;
  const u8 *prevOk;  // null: no condition on the byte before
  Reader r;          // the scan's own view
  // The last run window: members of the run node over [runStart, runAt),
  // the run literal at runAt (kNoPosition: none found yet).
  u32 runAt, runStart;
  // The required byte: found at requiredAt (kNoPosition: not looked for yet),
  // or missing from requiredGone on.
  u32 requiredAt;
  bool requiredGone;
};

// Builds the table of bytes that may stand before a match start from the
// prefilter's conditions and the word table in force.
void BuildPrevTable(Engine &e, MatchWorkspace *w, const PatternPrefilter &pf) {
  const u8 *word = e.wordTable;
  const u8 mask = e.wordMask;
  if (w->prevReady && memcmp(w->wordSnapshot, word, 256) == 0) return;
  memcpy(w->wordSnapshot, word, 256);
  bool firstWord = false, firstNonWord = false;
  if (!pf.firstAny) {
    for (u32 c = 0; c < 256; c++) {
      if (!pf.firstSet[c]) continue;
      if (word[c] & mask) firstWord = true; else firstNonWord = true;
    }
    if (pf.firstAtEnd) firstNonWord = true;  // nothing after the end: not a word character
  }
  for (u32 c = 0; c < 256; c++) {
    const bool isWord = (word[c] & mask) != 0;
    bool ok = true;
    if (pf.prevConditions & kPrevNewline) ok = ok && (c == '\r' || c == '\n');
    if (pf.prevConditions & kPrevNonWord) ok = ok && !isWord;
    if (pf.prevConditions & kPrevWord) ok = ok && isWord;
    if ((pf.prevConditions & kPrevBoundary) && !pf.firstAny && firstWord != firstNonWord) {
      ok = ok && (isWord == firstNonWord);  // \b before a word byte: a non-word byte
    }
    if ((pf.prevConditions & kPrevNoBoundary) && !pf.firstAny && firstWord != firstNonWord) {
      ok = ok && (isWord == firstWord);
    }
    if (pf.prevConditions & kPrevBytes) ok = ok && (c == pf.prevBytes[0] || c == pf.prevBytes[1]);
    w->prevOk[c] = ok ? 1 : 0;
  }
  w->prevReady = 1;
}

// Whether the byte before q allows a match start at q (q > 0).
bool PrevAllows(Scan &s, u32 q) {
  if (!s.prevOk || q == 0 || q <= s.e->contextStart) return true;
  return s.prevOk[s.r.At(q - 1)] != 0;
}

// Whether the literal stands at q, across blocks.
bool LiteralAcross(Scan &s, const PrefilterLiteral &lit, u32 q) {
  const u8 *bytes = lit.bytes;
  u32 n = lit.length;
  if (s.e->length - q < n) return false;
  if (n == 1) {
    // One character: its variants (a character node keeps no lower-case form).
    const u8 c = s.r.At(q);
    return c == lit.first[0] || c == lit.first[1];
  }
  const u8 *lower = lit.ignoreCase ? LowerTable() : nullptr;
  Reader &r = s.r;
  while (n > 0) {
    if (!r.Holds(q)) r.Seek(q);
    u32 chunk = r.end - q;
    if (chunk > n) chunk = n;
    if (!byte_search::LiteralAt(r.data + (q - r.start), bytes, chunk, lower)) return false;
    bytes += chunk;
    q += chunk;
    n -= chunk;
  }
  return true;
}

// Calls hit(x) for the x in [from, last] where the literal stands,
// ascending, until it returns true.
template <class Hit>
void ScanLiteralFrom(Scan &s, const PrefilterLiteral &lit, u32 from, u32 last, Hit &&hit) {
  const u32 n = lit.length;
  if (s.e->length < n) return;
  const u8 *lower = lit.ignoreCase ? LowerTable() : nullptr;
  Reader &r = s.r;
  if (last > s.e->length - n) last = s.e->length - n;
  u32 q = from;
  while (q <= last) {
    if (!r.Holds(q)) r.Seek(q);
    const u32 bs = r.start, be = r.end;
    if (q + n <= be) {
      u32 top = be - n;
      if (top > last) top = last;
      const u8 *d = r.data + (q - bs), *stop = r.data + (top - bs) + 1;
      bool stopped = false;
      auto at = [&](const u8 *x) { return stopped = hit(bs + static_cast<u32>(x - r.data)); };
      if (n == 1) {
        const u8 *x = d;
        while ((x = byte_search::FindEither(x, stop, lit.first[0], lit.first[1])) != stop && !at(x)) x++;
      } else {
        byte_search::ScanLiteral(d, stop + n - 1, lit.bytes, n, lit.first[0], lit.first[1], lit.last[0], lit.last[1],
                                 lower, at);
      }
      if (stopped || top == last) return;
      q = top + 1;
    }
    // Starts whose literal runs on into the next block.
    u32 top = be - 1;
    if (top > last) top = last;
    for (; q <= top; q++) {
      u8 c = r.At(q);
      if ((c == lit.first[0] || c == lit.first[1]) && LiteralAcross(s, lit, q) && hit(q)) return;
    }
  }
}

// The first x in [from, last] where the literal stands, or kNoPosition.
u32 FindLiteralFrom(Scan &s, const PrefilterLiteral &lit, u32 from, u32 last) {
  u32 found = kNoPosition;
  ScanLiteralFrom(s, lit, from, last, [&](u32 x) {
    found = x;
    return true;
  });
  return found;
}

// Every x in [from, last] where the literal stands, ascending, at most max
// of them into out; how many (fewer than max: none is left up to last).
u32 FindLiteralsFrom(Scan &s, const PrefilterLiteral &lit, u32 from, u32 last, u32 *out, u32 max) {
  u32 count = 0;
  if (max == 0) return 0;
  ScanLiteralFrom(s, lit, from, last, [&](u32 x) {
    out[count++] = x;
    return count == max;
  });
  return count;
}

// The first q in [p, hi] where the start literal stands.
u32 NextLiteral(Scan &s, u32 p, u32 hi) {
  while (p <= hi) {
    u32 x = FindLiteralFrom(s, s.pf->start, p, hi);
    if (x == kNoPosition || PrevAllows(s, x)) return x;
    p = x + 1;
  }
  return kNoPosition;
}

bool RunMember(const Engine &e, const PatternNode &n, u8 c) {
  switch (n.kind) {
    case kNodeChar: return c == n.a || c == n.b;
    case kNodeAny: return c != '\r' && c != '\n';
    default: return (e.tables[n.a * kClassTableBytes + c] & n.b) != 0;
  }
}

// Where the run of x's members that ends at `at` begins, no earlier than p:
// block by block, without a lookup per byte.
u32 RunStartBefore(Scan &s, const PatternNode &x, u32 p, u32 at) {
  const Engine &e = *s.e;
  Reader &r = s.r;
  const u8 *tab = x.kind == kNodeClass ? e.tables + x.a * kClassTableBytes : nullptr;
  const u8 mask = static_cast<u8>(x.b);
  u32 k = at;
  while (k > p) {
    if (!r.Holds(k - 1)) r.Seek(k - 1);
    const u32 lo = p > r.start ? p : r.start;
    const u8 *d = r.data;
    const u32 base = r.start;
    if (tab) {
      while (k > lo && (tab[d[k - 1 - base]] & mask)) k--;
    } else {
      while (k > lo && RunMember(e, x, d[k - 1 - base])) k--;
    }
    if (k > lo) break;  // a byte that is no member
  }
  return k;
}

// The first q in [p, hi] where a match may start with a run of the run
// node's members followed by the run literal: only where the run from q
// reaches an occurrence of the literal.
u32 NextRunStart(Scan &s, u32 p, u32 hi) {
  Engine &e = *s.e;
  const PatternNode &x = e.nodes[s.pf->runNode];
  const u64 min = static_cast<u32>(x.minRepeat);
  const PrefilterLiteral &lit = s.pf->runLiteral;
  while (p <= hi) {
    if (s.runAt != kNoPosition && p >= s.runStart && p + min <= s.runAt) {
      if (PrevAllows(s, p)) return p;
      p++;
      continue;
    }
    const u64 from = p + min;
    if (from + lit.length > e.rangeEnd) return kNoPosition;
    u32 at = FindLiteralFrom(s, lit, static_cast<u32>(from), e.rangeEnd - lit.length);
    if (at == kNoPosition) return kNoPosition;
    const u32 start = RunStartBefore(s, x, p, at);
    s.runAt = at;
    s.runStart = start;
    if (start + min > at) {
      p = static_cast<u32>(at - min + 1);  // too short a run: no start can use this occurrence
      continue;
    }
    if (p < start) p = start;
  }
  return kNoPosition;
}

// The first q in [p, hi] right after an occurrence of the look-behind
// literal (inside the context) where a match may start.
u32 NextAfterLiteral(Scan &s, u32 p, u32 hi) {
  const PatternPrefilter &pf = *s.pf;
  Engine &e = *s.e;
  const PrefilterLiteral &lit = pf.before;
  const u32 n = lit.length;
  while (p <= hi) {
    if (hi < n) return kNoPosition;
    u32 from = p >= n ? p - n : 0;
    if (from < e.contextStart) from = e.contextStart;
    u32 x = FindLiteralFrom(s, lit, from, hi - n);
    if (x == kNoPosition) return kNoPosition;
    u32 q = x + n;
    bool first = pf.firstAny || (q < e.length ? pf.firstSet[s.r.At(q)] != 0 : pf.firstAtEnd != 0);
    if (first && PrevAllows(s, q)) return q;
    p = q + 1;
  }
  return kNoPosition;
}

// After a failed attempt at p: the next start worth trying. When the pattern
// opens with a node that stands once and then a repeat without maximum, and
// both held at p, every start inside the repeat's run reaches the same run
// end and tries a subset of the continuations p tried.
u32 NextAfterFailure(Scan &s, u32 p) {
  const PatternPrefilter &pf = *s.pf;
  Engine &e = *s.e;
  if (!pf.skipNode) return p + 1;
  const PatternNode &lead = e.nodes[e.nodes[0].next];
  const PatternNode &x = e.nodes[pf.skipNode];
  const u32 a = p + pf.skipLead;
  if (a > e.rangeEnd || a < p) return p + 1;
  Reader &r = s.r;
  if (lead.kind == kNodeString) {
    const u8 *lower = e.lower;
    for (u32 k = 0; k < lead.b; k++) {
      u8 c = r.At(p + k);
      if ((lower ? lower[c] : c) != e.pool[lead.a + k]) return p + 1;
    }
  } else if (!RunMember(e, lead, r.At(p))) {
    return p + 1;
  }
  u32 q = a;
  while (q < e.rangeEnd) {
    if (!r.Holds(q)) r.Seek(q);
    const u8 *d = r.data + (q - r.start);
    const u32 stop = e.rangeEnd < r.end ? e.rangeEnd : r.end;
    const u8 *dend = r.data + (stop - r.start);
    const u8 *hit = d;
    if (x.kind == kNodeAny) {
      hit = byte_search::FindEither(d, dend, '\r', '\n');
    } else {
      while (hit < dend && RunMember(e, x, *hit)) hit++;
    }
    q += static_cast<u32>(hit - d);
    if (hit < dend) break;
  }
  // Starts p' with p' + lead <= q reach the same run end q.
  const u32 next = q - pf.skipLead + 1;
  return next > p + 1 ? next : p + 1;
}

// The first q in [p, hi] whose byte may start a match (and whose byte before
// allows it).
u32 NextFirstByte(Scan &s, u32 p, u32 hi) {
  const PatternPrefilter &pf = *s.pf;
  Reader &r = s.r;
  u32 q = p;
  while (q <= hi) {
    if (!r.Holds(q)) r.Seek(q);
    const u8 *d = r.data + (q - r.start);
    const u32 stop = hi < r.end - 1 ? hi + 1 : r.end;
    const u8 *dend = r.data + (stop - r.start);
    const u8 *hit;
    if (pf.firstCount == 1) {
      hit = byte_search::FindByte(d, dend, pf.firstBytes[0]);
    } else if (pf.firstCount == 2) {
      hit = byte_search::FindEither(d, dend, pf.firstBytes[0], pf.firstBytes[1]);
    } else if (pf.firstRange) {
      hit = byte_search::FindInRange(d, dend, pf.firstLow, pf.firstHigh);
    } else {
      hit = byte_search::FindInSet(d, dend, pf.firstSet);
    }
    u32 x = r.start + static_cast<u32>(hit - r.data);
    if (hit == dend) {
      q = x;
      continue;
    }
    if (PrevAllows(s, x)) return x;
    q = x + 1;
  }
  return kNoPosition;
}

// The first q in [p, hi] whose byte before allows a match start.
u32 NextAfterPrev(Scan &s, u32 p, u32 hi) {
  if (p == 0 || p <= s.e->contextStart) return p;
  Reader &r = s.r;
  u32 y = p - 1;  // the byte before the candidate
  while (y < hi) {
    if (!r.Holds(y)) r.Seek(y);
    const u8 *d = r.data + (y - r.start);
    const u32 stop = hi < r.end ? hi : r.end;
    const u8 *dend = r.data + (stop - r.start);
    const u8 *hit = byte_search::FindInSet(d, dend, s.prevOk);
    u32 x = r.start + static_cast<u32>(hit - r.data);
    if (hit != dend) return x + 1;
    y = x;
  }
  return kNoPosition;
}

// The first line start in [p, hi] whose first byte may start a match.
u32 NextLineStart(Scan &s, u32 p, u32 hi) {
  const PatternPrefilter &pf = *s.pf;
  Reader &r = s.r;
  const u32 length = s.e->length;
  u32 q = p;
  while (q <= hi) {
    bool start = q == 0;
    if (!start) {
      u8 before = r.At(q - 1);
      start = before == '\n' || (before == '\r' && (q == length || r.At(q) != '\n'));
    }
    if (!start) {
      // The next newline at or after q: the candidate follows it.
      u32 y = q;
      u32 found = kNoPosition;
      while (y < hi) {
        if (!r.Holds(y)) r.Seek(y);
        const u8 *d = r.data + (y - r.start);
        const u32 stop = hi < r.end ? hi : r.end;
        const u8 *dend = r.data + (stop - r.start);
        const u8 *hit = byte_search::FindEither(d, dend, '\n', '\r');
        y = r.start + static_cast<u32>(hit - r.data);
        if (hit != dend) {
          found = y;
          break;
        }
      }
      if (found == kNoPosition) return kNoPosition;
      q = found + 1;
      if (r.At(found) == '\r' && q < length && r.At(q) == '\n') q++;
      if (q > hi) return kNoPosition;
    }
    if (pf.firstAny) return q;
    if (q < length ? pf.firstSet[r.At(q)] != 0 : pf.firstAtEnd != 0) return q;
    q++;
  }
  return kNoPosition;
}

u32 NextCandidate(Scan &s, u32 p, u32 hi) {
  const PatternPrefilter &pf = *s.pf;
  Engine &e = *s.e;
  u32 q;
  switch (pf.anchor) {
    case kAnchorContextStart:
      q = (p <= e.contextStart && e.contextStart <= hi) ? e.contextStart : kNoPosition;
      break;
    case kAnchorSearchStart:
      q = (p <= e.searchStart && e.searchStart <= hi) ? e.searchStart : kNoPosition;
      break;
    case kAnchorLineStart:
      q = NextLineStart(s, p, hi);
      break;
    default:
      if (!pf.firstAny || pf.start.length) {
        // A match consumes its first byte here: none starts at the end,
        // except one that may be empty there ("$").
        const bool end = pf.firstAtEnd && !pf.start.length && !pf.runNode && p <= e.length && hi >= e.length;
        if (hi >= e.length) hi = e.length == 0 ? 0 : e.length - 1;
        if (e.length == 0 || p > hi) {
          q = end && PrevAllows(s, e.length) ? e.length : kNoPosition;
          break;
        }
        if (end) {
          q = NextFirstByte(s, p, hi);
          if (q == kNoPosition && PrevAllows(s, e.length)) q = e.length;
          break;
        }
      }
      if (pf.start.length) {
        q = NextLiteral(s, p, hi);
      } else if (pf.runNode) {
        q = NextRunStart(s, p, hi);
      } else if (pf.before.length) {
        q = NextAfterLiteral(s, p, hi);
      } else if (!pf.firstAny) {
        q = NextFirstByte(s, p, hi);
      } else if (s.prevOk) {
        q = NextAfterPrev(s, p, hi);
      } else {
        q = p;
      }
      break;
  }
  if (q == kNoPosition || pf.requiredCount == 0) return q;
  // Every match from q on contains the required byte: look for it once.
  if (s.requiredGone) return kNoPosition;
  if (s.requiredAt == kNoPosition || s.requiredAt < q) {
    Reader &r = s.r;
    u32 y = q;
    const u32 end = e.rangeEnd;
    s.requiredAt = kNoPosition;
    while (y < end) {
      if (!r.Holds(y)) r.Seek(y);
      const u8 *d = r.data + (y - r.start);
      const u32 stop = end < r.end ? end : r.end;
      const u8 *dend = r.data + (stop - r.start);
      const u8 *hit = byte_search::FindEither(d, dend, pf.requiredBytes[0], pf.requiredBytes[1]);
      y = r.start + static_cast<u32>(hit - r.data);
      if (hit != dend) {
        s.requiredAt = y;
        break;
      }
    }
    if (s.requiredAt == kNoPosition) {
      s.requiredGone = true;
      return kNoPosition;
    }
  }
  return q;
}

// Whether a backward scan should try position q.
bool CandidateAt(Scan &s, u32 q) {
  const PatternPrefilter &pf = *s.pf;
  Engine &e = *s.e;
  switch (pf.anchor) {
    case kAnchorContextStart:
      if (q != e.contextStart) return false;
      break;
    case kAnchorSearchStart:
      if (q != e.searchStart) return false;
      break;
    case kAnchorLineStart:
      if (!e.LineStart(q)) return false;
      break;
    default:
      break;
  }
  if (!pf.firstAny && (q < e.length ? !pf.firstSet[s.r.At(q)] : !pf.firstAtEnd)) return false;
  return PrevAllows(s, q);
}

// Whether the assertions before and after a literal that stands at q hold;
// *end: where the literal ends.
bool LiteralOnlyHolds(Engine &e, u32 q, u32 *end) {
  const PatternNode *nodes = e.nodes;
  u32 k = 0;
  for (; nodes[k].kind != kNodeOpen; k = nodes[k].next) {
    if (!AssertAt(e, nodes[k].kind, q)) return false;
  }
  const PatternNode &literal = nodes[nodes[k].next];
  *end = q + (literal.kind == kNodeChar ? 1 : literal.b);
  for (k = nodes[literal.next].next; k != 0; k = nodes[k].next) {
    if (!AssertAt(e, nodes[k].kind, *end)) return false;
  }
  return true;
}

// A match of a literal-only pattern (PatternPrefilter::literalOnly) whose
// literal stands at q: whether the assertions before and after it hold (then
// group 0 is set).
bool LiteralOnlyAt(Engine &e, u32 q) {
  u32 end = 0;
  if (!LiteralOnlyHolds(e, q, &end)) return false;
  e.ResetGroups();
  e.dirty = 1;
  GroupRecord &g = e.groups[0];
  g.start = g.tentative = q;
  g.end = end;
  g.count = 1;
  return true;
}

// An attempt of a run-and-literal pattern (PatternPrefilter::runLiteralOnly)
// at q: the run from q, then, from its end back, the first place where the
// literal stands and the assertions after it hold; the groups are set as the
// walk of the graph would set them. 1 matched, -1 not (or cancelled). A
// failure after the run means that no start inside the run can match
// either (each would try a part of the same places): *skipTo is then the
// first position after the run.
int RunLiteralAt(Scan &s, u32 q, u32 *skipTo) {
  Engine &e = *s.e;
  const PatternNode *nodes = e.nodes;
  u32 k = 0;
  for (; nodes[k].kind != kNodeOpen; k = nodes[k].next) {
    if (!AssertAt(e, nodes[k].kind, q)) return -1;
  }
  while (nodes[k].kind == kNodeOpen) k = nodes[k].next;
  const PatternNode &x = nodes[k];
  u32 literal = x.next;
  while (nodes[literal].kind == kNodeClose) literal = nodes[literal].next;
  const PatternNode &lit = nodes[literal];
  const u32 n = lit.kind == kNodeChar ? 1 : lit.b;
  // The run, block by block.
  Reader &r = s.r;
  const u8 *tab = x.kind == kNodeClass ? e.tables + x.a * kClassTableBytes : nullptr;
  const u8 mask = static_cast<u8>(x.b);
  u32 end = q;
  while (end < e.limit) {
    if (!r.Holds(end)) r.Seek(end);
    const u32 stop = e.limit < r.end ? e.limit : r.end;
    const u8 *d = r.data;
    const u32 base = r.start;
    if (tab) {
      while (end < stop && (tab[d[end - base]] & mask)) end++;
    } else {
      while (end < stop && RunMember(e, x, d[end - base])) end++;
    }
    if (end < stop) break;
  }
  *skipTo = end + 1;
  const u32 min = static_cast<u32>(x.minRepeat);
  for (u32 at = end;; at--) {
    if (at - q < min) return -1;
    const PrefilterLiteral &want = s.pf->runLiteral;
    u8 head;
    if (e.limit - at >= n && ((head = r.At(at)) == want.first[0] || head == want.first[1]) &&
        LiteralAcross(s, want, at)) {
      const u32 after = at + n;
      bool holds = true;
      for (u32 t = lit.next; t != 0 && holds; t = nodes[t].next) {
        if (nodes[t].kind != kNodeClose) holds = AssertAt(e, nodes[t].kind, after);
      }
      if (holds) {
        // Groups closed before the literal end at the run's end, the others after it.
        e.ResetGroups();
        u32 groupEnd = at;
        for (u32 t = x.next; t != 0; t = nodes[t].next) {
          const PatternNode &c = nodes[t];
          if (t == literal) {
            groupEnd = after;
            continue;
          }
          if (c.kind != kNodeClose) continue;
          GroupRecord &g = e.groups[c.a];
          g.start = g.tentative = q;
          g.end = groupEnd;
          g.count = 1;
          g.entry = c.b;
          if (c.a < 64) e.dirty |= 1ull << c.a; else e.dirtyHigh = true;
        }
        return 1;
      }
    }
    if (--e.budget == 0 && e.Poll()) return -1;
    if (at == q) return -1;
  }
}

}  // namespace

void FreePattern(CompiledPattern *cp) {
  Free(cp->nodes);
  cp->nodes = nullptr;
  cp->nodeCount = cp->nodeCapacity = 0;
  Free(cp->tables);
  cp->tables = nullptr;
  cp->tableCount = cp->tableCapacity = 0;
  FreeMatchWorkspace(cp->workspace);
  cp->workspace = nullptr;
}

namespace {

// FindMatch; with `more` (forward, a literal-only pattern), the scan goes on
// after each match from its end, each match into more, until moreMax of them.
int FindCore(CompiledPattern *cp, const TextStore *store, u32 from, u32 stopAt, u32 rangeEnd, bool backward,
             bool rejectEmptyAtStart, MatchGroups *out, u32 *matchPosition, MatchSpan *more, u32 moreMax,
             u32 *moreCount) {
  if (EnsureWorkspace(cp) != 0) {
    cp->scan.lastResult = -1;
    return -1;
  }
  MatchWorkspace *w = cp->workspace;
  const u32 length = store->length;
  if (rangeEnd > length) rangeEnd = length;
  if (from > rangeEnd) from = rangeEnd;
  if (stopAt > rangeEnd) stopAt = rangeEnd;

  // A forward scan for a pattern that needs a byte missing from the rest of
  // the range is over before it starts.
  const PatternPrefilter &pf = cp->prefilter;
  // One view of the text, in the block the last scan ended in, serves every
  // reader below to begin with.
  Reader view;
  view.Init(store);
  if (w->lastBlock < store->blocks.count) view.Load(w->lastBlock);
  u32 requiredAt = kNoPosition;
  if (!backward && pf.requiredCount && from <= stopAt) {
    Reader r = view;
    for (u32 y = from; y < rangeEnd;) {
      if (!r.Holds(y)) r.Seek(y);
      const u8 *d = r.data + (y - r.start);
      const u32 stop = rangeEnd < r.end ? rangeEnd : r.end;
      const u8 *dend = r.data + (stop - r.start);
      const u8 *hit = byte_search::FindEither(d, dend, pf.requiredBytes[0], pf.requiredBytes[1]);
      y = r.start + static_cast<u32>(hit - r.data);
      if (hit != dend) {
        requiredAt = y;
        break;
      }
    }
    if (requiredAt == kNoPosition) {
      cp->scan.lastResult = kMatchNone;
      return kMatchNone;
    }
  }

  Engine e;
  e.Setup(cp, store);
  e.rangeStart = from < stopAt ? from : stopAt;
  e.rangeEnd = rangeEnd;
  e.limit = rangeEnd;
  // The context starts at the document's start: a scan that goes on after a
  // match (Grep, Extended Replace) must still see the characters before its
  // `from`, or \b, \A and look-behinds would misjudge every later start.
  e.contextStart = 0;
  e.contextEnd = (cp->flags & kPatternWholeContext) ? length : rangeEnd;
  e.groups = w->groups;
  e.groupCount = w->groupCount;
  e.dirty = w->dirty;
  e.dirtyHigh = w->dirtyHigh != 0;
  e.r = view;
  e.r2 = view;
  e.stack = &w->stack;
  e.stack->count = 0;
  e.base = 0;

  Scan s;
  s.e = &e;
  s.pf = &pf;
  s.prevOk = nullptr;
  if (pf.prevConditions) {
    BuildPrevTable(e, w, pf);
    s.prevOk = w->prevOk;
  }
  s.r = view;
  s.runAt = s.runStart = kNoPosition;
  s.requiredAt = requiredAt;
  s.requiredGone = false;

  const u32 minLength = cp->minLength;
  u32 polls = 0;
  int result = kMatchNone;
  u32 at = kNoPosition;

  auto attempt = [&](u32 q) -> int {
    if (s.r.Holds(q)) e.r = s.r;  // the engine starts in the scan's block
    e.ResetGroups();
    e.stack->count = 0;
    e.limit = rangeEnd;
    e.currentLook = kNoLook;
    e.attempt = q;
    e.rejectEmpty = rejectEmptyAtStart && q == from;
    return e.Run(q);
  };

  if (!backward) {
    if (from <= stopAt && rangeEnd - from >= minLength) {
      u32 hi = rangeEnd - minLength;
      if (stopAt < hi) hi = stopAt;
      u32 p = from;
      if (more && pf.literalOnly && pf.anchor == kAnchorNone) {
        // Many matches of a literal: every place it stands, 64 at a time,
        // then the byte before and the assertions at each, in order.
        u32 hits[64];
        while (p <= hi && *moreCount < moreMax) {
          const u32 found = FindLiteralsFrom(s, pf.start, p, hi, hits, 64);
          for (u32 k = 0; k < found && *moreCount < moreMax; k++) {
            const u32 q = hits[k];
            u32 end = 0;
            if (q < p || !PrevAllows(s, q) || !LiteralOnlyHolds(e, q, &end)) continue;
            more[(*moreCount)++] = MatchSpan{q, end};
            if (result != kMatchFound) at = q;
            result = kMatchFound;
            p = end;
          }
          if (found < 64 || e.cancelled || ((++polls & 15) == 0 && e.Poll())) break;
          if (p <= hits[63]) p = hits[63] + 1;
        }
        p = hi + 1;  // done
      }
      while (p <= hi) {
        u32 q = NextCandidate(s, p, hi);
        if (q == kNoPosition || q > hi) break;
        int r;
        u32 skipTo = 0;  // after a failed run-and-literal attempt: where the next start may be
        if (pf.literalOnly) {
          // Unanchored, the candidate is where the literal stands; anchored,
          // only where the anchor holds.
          const bool stands = pf.anchor == kAnchorNone || LiteralAcross(s, pf.start, q);
          r = stands && LiteralOnlyAt(e, q) ? 1 : -1;
        } else if (pf.runLiteralOnly) {
          r = RunLiteralAt(s, q, &skipTo);
        } else {
          r = attempt(q);
        }
        if (r == 1) {
          if (result != kMatchFound) at = q;
          result = kMatchFound;
          if (!more) break;
          // The next search starts where this match ends.
          const u32 end = e.groups[0].end;
          more[(*moreCount)++] = MatchSpan{q, end};
          if (*moreCount == moreMax || end > hi || e.cancelled || ((++polls & 255) == 0 && e.Poll())) break;
          p = end;
          continue;
        }
        if (r == 0) {
          result = -1;
          break;
        }
        if (e.cancelled || ((++polls & 255) == 0 && e.Poll())) break;
        if (q == hi) break;
        p = NextAfterFailure(s, q);
        if (skipTo > p) p = skipTo;
      }
    }
  } else if (from >= stopAt) {
    u32 p = from;
    for (;;) {
      if (rangeEnd - p >= minLength && CandidateAt(s, p)) {
        int r = attempt(p);
        if (r == 1) {
          result = kMatchFound;
          at = p;
          break;
        }
        if (r == 0) {
          result = -1;
          break;
        }
        if (e.cancelled || ((++polls & 255) == 0 && e.Poll())) break;
      } else if ((++polls & 4095) == 0 && e.Poll()) {
        break;
      }
      if (p == stopAt) break;
      p--;
    }
  }

  if (result == kMatchFound) {
    if (out) {
      // Records the attempt never wrote hold nothing.
      static_assert(kNoPosition == 0xFFFFFFFFu, "a span of all ones is no span");
      memset(out, 0xFF, sizeof *out);
      for (u64 written = (e.dirtyHigh ? ~0ull : e.dirty | 1) & 0x3FF; written; written &= written - 1) {
        const u32 g = static_cast<u32>(__builtin_ctzll(written));
        const GroupRecord &rec = w->groups[g];
        if (rec.end != kNoPosition) out->group[g] = MatchSpan{rec.start, rec.end};
      }
    }
    if (matchPosition) *matchPosition = at;
  }
  e.stack->count = 0;
  if (e.stack->capacity > kKeptFrames) FreeMatchStack(e.stack);  // regrown on demand
  w->dirty = e.dirty;
  w->dirtyHigh = e.dirtyHigh ? 1 : 0;
  w->lastBlock = s.r.block;
  cp->scan.lastResult = result;
  return result;
}

}  // namespace

int FindMatch(CompiledPattern *cp, const TextStore *store, u32 from, u32 stopAt, u32 rangeEnd, bool backward,
              bool rejectEmptyAtStart, MatchGroups *out, u32 *matchPosition) {
  return FindCore(cp, store, from, stopAt, rangeEnd, backward, rejectEmptyAtStart, out, matchPosition, nullptr, 0,
                  nullptr);
}

int FindLiteralOccurrences(CompiledPattern *cp, const TextStore *store, u32 from, u32 rangeEnd, MatchSpan *spans,
                           u32 max) {
  if (!cp->prefilter.literalOnly || max == 0) return 0;
  u32 count = 0;
  const int r = FindCore(cp, store, from, rangeEnd, rangeEnd, false, false, nullptr, nullptr, spans, max, &count);
  return r < 0 ? -1 : static_cast<int>(count);
}

int FindLiteralOccurrencesBefore(CompiledPattern *cp, const TextStore *store, u32 from, u32 stopAt, MatchSpan *spans,
                                 u32 max) {
  if (!cp->prefilter.literalOnly || max == 0 || stopAt <= from) return 0;
  u32 count = 0;
  const int r =
      FindCore(cp, store, from, stopAt - 1, store->length, false, false, nullptr, nullptr, spans, max, &count);
  return r < 0 ? -1 : static_cast<int>(count);
}

CompiledPattern *PatternTwin(const CompiledPattern *cp) {
  CompiledPattern *twin = static_cast<CompiledPattern *>(Allocate(sizeof(CompiledPattern)));
  if (!twin) return nullptr;
  // The scan reads the nodes, tables and prefilter; the workspace is its own.
  MemCopy(twin, cp, sizeof *twin);
  twin->workspace = nullptr;
  return twin;
}

void FreePatternTwin(CompiledPattern *twin) {
  if (!twin) return;
  FreeMatchWorkspace(twin->workspace);
  Free(twin);
}
