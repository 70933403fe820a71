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

struct MatchWorkspace {
  GroupRecord *groups;
  u32 groupCount;
  MatchStack stack;
  // The table of bytes that may stand before a match, and the word table it
  // was built from (the plain levels follow the live word rule).
  u8 prevReady;
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
  cp->workspace = w;
  return 0;
}

struct Scan {
  Engine *e;
  const PatternPrefilter *pf;
  const u8 *prevOk;  // null: no condition on the byte before
  Reader r;          // the scan's own view
  // The literal the match starts with.
  const u8 *literal;
  u32 literalLength;
  u8 f0, f1, l0, l1;
  const u8 *lower;
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
  if (w->prevReady && MemCompare(w->wordSnapshot, word, 256) == 0) return;
  for (u32 c = 0; c < 256; c++) w->wordSnapshot[c] = word[c];
  bool firstWord = false, firstNonWord = false;
  if (!pf.firstAny) {
    for (u32 c = 0; c < 256; c++) {
      if (!pf.firstSet[c]) continue;
      if (word[c] & mask) firstWord = true; else firstNonWord = true;
    }
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

// Whether the literal stands at q, across blocks (q + length <= the text).
bool LiteralAcross(Scan &s, u32 q) {
  const u8 *lit = s.literal;
  u32 n = s.literalLength;
  if (s.e->length - q < n) return false;
  Reader &r = s.r;
  while (n > 0) {
    if (!r.Holds(q)) r.Seek(q);
    u32 chunk = r.end - q;
    if (chunk > n) chunk = n;
    if (!byte_search::LiteralAt(r.data + (q - r.start), lit, chunk, s.lower)) return false;
    lit += chunk;
    q += chunk;
    n -= chunk;
  }
  return true;
}

// The first q in [p, hi] where the literal stands.
u32 NextLiteral(Scan &s, u32 p, u32 hi) {
  const u32 n = s.literalLength;
  Reader &r = s.r;
  u32 q = p;
  while (q <= hi) {
    r.Seek(q);
    const u32 bs = r.start, be = r.end;
    if (be - bs >= n && q + n <= be) {
      u32 top = be - n;
      if (top > hi) top = hi;
      const u8 *hit = byte_search::FindLiteral(r.data + (q - bs), r.data + (top - bs) + n, s.literal, n, s.f0, s.f1,
                                               s.l0, s.l1, s.lower);
      if (hit) {
        u32 x = bs + static_cast<u32>(hit - r.data);
        if (PrevAllows(s, x)) return x;
        q = x + 1;
        continue;
      }
      q = top + 1;
    }
    // Starts whose literal runs on into the next block.
    u32 top = be - 1;
    if (top > hi) top = hi;
    for (; q <= top; q++) {
      u8 c = r.At(q);
      if ((c == s.f0 || c == s.f1) && LiteralAcross(s, q) && PrevAllows(s, q)) return q;
    }
  }
  return kNoPosition;
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
    if (q < length && pf.firstSet[r.At(q)]) return q;
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
      if (s.literalLength) {
        q = NextLiteral(s, p, hi);
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
  if (!pf.firstAny && (q >= e.length || !pf.firstSet[s.r.At(q)])) return false;
  return PrevAllows(s, q);
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

int FindMatch(CompiledPattern *cp, const TextStore *store, u32 from, u32 stopAt, u32 rangeEnd, bool backward,
              bool rejectEmptyAtStart, MatchGroups *out, u32 *matchPosition) {
  if (EnsureWorkspace(cp) != 0) {
    cp->scan.lastResult = -1;
    return -1;
  }
  MatchWorkspace *w = cp->workspace;
  const u32 length = store->length;
  if (rangeEnd > length) rangeEnd = length;
  if (from > rangeEnd) from = rangeEnd;
  if (stopAt > rangeEnd) stopAt = rangeEnd;

  Engine e;
  e.Setup(cp, store);
  e.rangeStart = from < stopAt ? from : stopAt;
  e.rangeEnd = rangeEnd;
  if (cp->flags & kPatternWholeContext) {
    e.contextStart = 0;
    e.contextEnd = length;
  } else {
    e.contextStart = e.rangeStart;
    e.contextEnd = rangeEnd;
  }
  e.groups = w->groups;
  e.groupCount = w->groupCount;
  e.stack = &w->stack;
  e.stack->count = 0;
  e.base = 0;

  const PatternPrefilter &pf = cp->prefilter;
  Scan s;
  s.e = &e;
  s.pf = &pf;
  s.prevOk = nullptr;
  if (pf.prevConditions) {
    BuildPrevTable(e, w, pf);
    s.prevOk = w->prevOk;
  }
  s.r.Init(store);
  s.literal = nullptr;
  s.literalLength = 0;
  s.lower = e.lower;
  if (pf.literalLength) {
    s.literal = e.pool + pf.literalOffset;
    s.literalLength = pf.literalLength;
    u8 v[256];
    u32 k;
    if (e.lower) {
      k = BytesWithLower(s.literal[0], v);
      s.f0 = k ? v[0] : s.literal[0];
      s.f1 = k > 1 ? v[1] : s.f0;
      k = BytesWithLower(s.literal[s.literalLength - 1], v);
      s.l0 = k ? v[0] : s.literal[s.literalLength - 1];
      s.l1 = k > 1 ? v[1] : s.l0;
    } else {
      s.f0 = s.f1 = s.literal[0];
      s.l0 = s.l1 = s.literal[s.literalLength - 1];
    }
  }
  s.requiredAt = kNoPosition;
  s.requiredGone = false;

  const u32 minLength = cp->minLength;
  u32 polls = 0;
  int result = kMatchNone;
  u32 at = kNoPosition;

  auto attempt = [&](u32 q) -> int {
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
      while (p <= hi) {
        u32 q = NextCandidate(s, p, hi);
        if (q == kNoPosition || q > hi) break;
        int r = attempt(q);
        if (r == 1) {
          result = kMatchFound;
          at = q;
          break;
        }
        if (r == 0) {
          result = -1;
          break;
        }
        if (e.cancelled || ((++polls & 255) == 0 && e.Poll())) break;
        if (q == hi) break;
        p = q + 1;
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
      for (u32 g = 0; g < 10; g++) {
        const GroupRecord &rec = w->groups[g];
        bool set = rec.end != kNoPosition;
        out->group[g].start = set ? rec.start : kNoPosition;
        out->group[g].end = set ? rec.end : kNoPosition;
      }
    }
    if (matchPosition) *matchPosition = at;
  }
  e.stack->count = 0;
  cp->scan.lastResult = result;
  return result;
}
