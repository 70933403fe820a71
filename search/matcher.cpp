// MatchAt: the backtracking walk of the pattern graph at one position.
//
// The walk keeps two registers, the node and the text position, and one
// explicit stack. Entering a node first pushes the choice of its next
// alternative, then runs the node; a node that fails pops frames until one
// offers another way. Group records change only after their old value has
// been pushed (kFrameRestore), so popping past a change undoes it; when no
// choice point lies below, nothing is pushed since nothing could be undone.
//
//   - A single-byte repeat takes its whole run in one scan and leaves one
//     frame that gives a byte back per failure (or, lazy, takes one more);
//     the analysis hints let it skip positions where the follower cannot
//     start, or give nothing back at all.
//   - A group pushes per iteration the choice between another iteration and
//     leaving. An empty iteration ends a repetition that has reached its
//     minimum, so that (a*)* terminates.
//   - Atomic groups and possessive repetitions push a marker; on leaving, the
//     frames above it are dropped except the group restores, which keep the
//     captures undoable.
//   - A look-around pushes a look frame and matches its body in the same
//     loop, with the consumption limit moved (look-ahead: the context end;
//     look-behind: where the look-behind stands, which every try must reach
//     exactly). Its success cuts the body's frames like an atomic group; a
//     body that fails pops to the look frame, which tries the next
//     look-behind start or settles the assertion.
#include "foundation/bytes.h"
#include "foundation/platform.h"
#include "search/byte_search.h"
#include "search/matcher_internal.h"

using namespace matcher_detail;
using namespace pattern_detail;

// ---- set-up -------------------------------------------------------------------------

void Engine::Setup(CompiledPattern *pattern, const TextStore *s) {
  cp = pattern;
  nodes = pattern->nodes;
  tables = pattern->tables;
  pool = reinterpret_cast<const u8 *>(pattern->pool);
  lower = (pattern->flags & kPatternIgnoreCase) ? LowerTable() : nullptr;
  if (pattern->flags & kPatternRegExps) {
    wordTable = pattern->tables;  // class 1: table 0, bit 0x02 (the word rule at start-up)
    wordMask = 0x02;
  } else {
    wordTable = char_class_detail::T().word;  // the live word rule
    wordMask = 1;
  }
  lookBehindReach = pattern->scan.lookBehindReach;
  searchStart = pattern->scan.searchStart;
  store = s;
  r.Init(s);
  r2.Init(s);
  length = s->length;
  cancel = CancelFlag(pattern);
  budget = kPollSteps;
  cancelled = false;
  dirty = ~0ull;
  dirtyHigh = true;
  currentLook = kNoLook;
}

bool Engine::Poll() {
  budget = kPollSteps;
  CheckSearchTime(cp);
  if (__atomic_load_n(cancel, __ATOMIC_RELAXED) != 0) cancelled = true;
  return cancelled;
}

void ResetGroupRecords(GroupRecord *groups, u32 count) {
  for (u32 s = 0; s < count; s++) {
    groups[s].start = groups[s].end = groups[s].tentative = kNoPosition;
    groups[s].count = 0;
    groups[s].entry = 0;
  }
}

int InitMatchStack(MatchStack *stack) {
  stack->count = 0;
  stack->capacity = 0;
  stack->frames = static_cast<MatchFrame *>(Allocate(kInitialFrames * sizeof(MatchFrame)));
  if (!stack->frames) return -1;
  stack->capacity = kInitialFrames;
  return 0;
}

void FreeMatchStack(MatchStack *stack) {
  Free(stack->frames);
  stack->frames = nullptr;
  stack->capacity = stack->count = 0;
}

void StartSearchClock(CompiledPattern *cp, u32 timeLimitMs) {
  cp->scan.timeLimitMs = timeLimitMs;
  cp->scan.startTick = PlatTickCount();
}

void CheckSearchTime(CompiledPattern *cp) {
  if (cp->scan.timeLimitMs == 0) return;
  volatile i32 *flag = CancelFlag(cp);
  if (__atomic_load_n(flag, __ATOMIC_RELAXED) != 0) return;
  if (PlatTickCount() - cp->scan.startTick > cp->scan.timeLimitMs) __atomic_store_n(flag, 1, __ATOMIC_RELAXED);
}

// ---- lines ----------------------------------------------------------------------------

// A line start: the document's start, or right after a newline (not between
// the CR and LF of one). Equivalent to "a row starts here after a row that
// ends with a newline" in the row index, whose rows split exactly there.
bool Engine::LineStart(u32 p) {
  if (p == 0) return true;
  if (p > length) return false;
  u8 before = r.At(p - 1);
  if (before == '\n') return true;
  if (before != '\r') return false;
  return p == length || r.At(p) != '\n';
}

// A line end: the document's end, or right before a newline.
bool Engine::LineEnd(u32 p) {
  if (p >= length) return p == length;
  u8 c = r.At(p);
  if (c == '\r') return true;
  if (c != '\n') return false;
  return p == 0 || r.At(p - 1) != '\r';
}

namespace {

// The hard line that `row` belongs to: from its first row's start to its last
// row's text end.
void HardLineOfRow(const TextStore *s, u32 row, u32 *first, u32 *last, u32 *start, u32 *textEnd) {
  *first = FirstRowOfHardLine(s, RowHardLine(s, row));
  *last = LastRowOfHardLine(s, row);
  *start = RowStart(s, *first);
  *textEnd = RowTextEnd(s, *last);
}

// Empty or only space-type characters.
bool Blank(Reader &r, u32 from, u32 to) {
  for (u32 p = from; p < to; p++) {
    if (!(CharType(r.At(p)) & kC1Space)) return false;
  }
  return true;
}

// \p: a line start whose line is not blank and whose previous line is blank
// or missing.
bool ParagraphStart(Engine &e, u32 p) {
  if (!e.LineStart(p)) return false;
  const TextStore *s = e.store;
  u32 first, last, start, textEnd;
  HardLineOfRow(s, RowOfPosition(s, p), &first, &last, &start, &textEnd);
  if (Blank(e.r, start, textEnd)) return false;
  if (first == 0) return true;
  HardLineOfRow(s, first - 1, &first, &last, &start, &textEnd);
  return Blank(e.r, start, textEnd);
}

// \P: a line end whose line is not blank and whose next line is blank or
// missing.
bool ParagraphEnd(Engine &e, u32 p) {
  if (!e.LineEnd(p)) return false;
  const TextStore *s = e.store;
  u32 first, last, start, textEnd;
  HardLineOfRow(s, RowOfPosition(s, p), &first, &last, &start, &textEnd);
  if (Blank(e.r, start, textEnd)) return false;
  if (last + 1 >= RowCount(s)) return true;
  HardLineOfRow(s, last + 1, &first, &last, &start, &textEnd);
  return Blank(e.r, start, textEnd);
}

bool Assert(Engine &e, u8 kind, u32 p) {
  switch (kind) {
    case kNodeTextStart: return p == e.contextStart;
    case kNodeTextEnd: return p == e.contextEnd;
    case kNodeLineStart: return e.LineStart(p);
    case kNodeLineEnd: return e.LineEnd(p);
    case kNodeParagraphStart: return ParagraphStart(e, p);
    case kNodeParagraphEnd: return ParagraphEnd(e, p);
    case kNodeWordBoundary: return e.WordBefore(p) != e.WordAfter(p);
    case kNodeNotWordBoundary: return e.WordBefore(p) == e.WordAfter(p);
    case kNodeWordStart: return !e.WordBefore(p) && e.WordAfter(p);
    case kNodeWordEnd: return e.WordBefore(p) && !e.WordAfter(p);
    case kNodeSearchStart: return p == e.searchStart;
    default: return false;
  }
}

}  // namespace

bool matcher_detail::AssertAt(Engine &e, u8 kind, u32 p) { return Assert(e, kind, p); }

namespace {

// ---- units -----------------------------------------------------------------------------

inline bool Member(const Engine &e, const PatternNode &n, u8 c) {
  switch (n.kind) {
    case kNodeChar: return c == n.a || c == n.b;
    case kNodeAny: return c != '\r' && c != '\n';  // class 0: everything but the newline characters
    default: return (e.tables[n.a * kClassTableBytes + c] & n.b) != 0;
  }
}

// How many bytes from p on (at most max, never past the limit) are members.
inline __attribute__((always_inline)) u32 RunLength(Engine &e, const PatternNode &n, u32 p, u32 max) {
  u32 avail = e.limit - p;
  if (max < avail) avail = max;
  const u32 stop = p + avail;
  Reader &r = e.r;
  u32 q = p;
  while (q < stop) {
    if (!r.Holds(q)) r.Seek(q);
    const u8 *d = r.data + (q - r.start);
    const u8 *dend = d + ((stop < r.end ? stop : r.end) - q);
    const u8 *hit;
    switch (n.kind) {
      case kNodeAny:
        hit = byte_search::FindEither(d, dend, '\r', '\n');
        break;
      case kNodeChar:
        hit = byte_search::FindOther(d, dend, static_cast<u8>(n.a), static_cast<u8>(n.b));
        break;
      default: {
        const u8 *tab = e.tables + n.a * kClassTableBytes;
        const u8 mask = static_cast<u8>(n.b);
        hit = d;
        while (hit < dend && (tab[*hit] & mask)) hit++;
        break;
      }
    }
    q += static_cast<u32>(hit - d);
    if (hit < dend) break;
  }
  return q - p;
}

// Whether the string of node n (pool offset A, length B) stands at p.
bool StringAt(Engine &e, const u8 *s, u32 n, u32 p) {
  if (e.limit - p < n) return false;
  Reader &r = e.r;
  while (n > 0) {
    if (!r.Holds(p)) r.Seek(p);
    u32 chunk = r.end - p;
    if (chunk > n) chunk = n;
    const u8 *d = r.data + (p - r.start);
    if (!byte_search::LiteralAt(d, s, chunk, e.lower)) return false;
    s += chunk;
    p += chunk;
    n -= chunk;
  }
  return true;
}

// Whether the text [from, from + n) stands again at p.
bool SameTextAt(Engine &e, u32 from, u32 n, u32 p) {
  if (e.limit - p < n) return false;
  Reader &a = e.r2;
  Reader &b = e.r;
  while (n > 0) {
    if (!a.Holds(from)) a.Seek(from);
    if (!b.Holds(p)) b.Seek(p);
    u32 chunk = n;
    if (a.end - from < chunk) chunk = a.end - from;
    if (b.end - p < chunk) chunk = b.end - p;
    const u8 *x = a.data + (from - a.start);
    const u8 *y = b.data + (p - b.start);
    if (e.lower) {
      for (u32 i = 0; i < chunk; i++) {
        if (e.lower[x[i]] != e.lower[y[i]]) return false;
      }
    } else {
      for (u32 i = 0; i < chunk; i++) {
        if (x[i] != y[i]) return false;
      }
    }
    from += chunk;
    p += chunk;
    n -= chunk;
  }
  return true;
}

// One newline (CR LF, LF or CR) at p: its length, or 0. A line feed right
// after a carriage return is the middle of one newline and no newline itself.
u32 NewlineAt(Engine &e, u32 p) {
  if (p >= e.limit) return 0;
  u8 c = e.r.At(p);
  if (c == '\r') return (p + 1 < e.limit && e.r.At(p + 1) == '\n') ? 2 : 1;
  if (c != '\n') return 0;
  return (p > 0 && e.r.At(p - 1) == '\r') ? 0 : 1;
}

// One unit of a repeatable node at p: its width, or kNoPosition when it does
// not match. Strings and back-references have a fixed width w.
u32 UnitAt(Engine &e, const PatternNode &n, u32 p, u32 w) {
  switch (n.kind) {
    case kNodeString:
      return StringAt(e, e.pool + n.a, w, p) ? w : kNoPosition;
    case kNodeBackRef:
      return SameTextAt(e, e.groups[n.a].start, w, p) ? w : kNoPosition;
    case kNodeNewline: {
      u32 k = NewlineAt(e, p);
      return k ? k : kNoPosition;
    }
    default:
      return (p < e.limit && Member(e, n, e.r.At(p))) ? 1 : kNoPosition;
  }
}

inline bool IsFollow(u16 follow, u8 c) { return c == (follow & 255) || c == (follow >> 8); }

}  // namespace

// ---- the walk -----------------------------------------------------------------------------

namespace {

// The stack's growth: doubling; false when memory ran out.
bool GrowStack(MatchStack *st) {
  void *p = st->frames;
  u32 cap = st->capacity;
  const u32 needed = st->count + 1 < kInitialFrames ? kInitialFrames : st->count + 1;
  if (!GrowArray(&p, sizeof(MatchFrame), &cap, needed)) return false;
  st->frames = static_cast<MatchFrame *>(p);
  st->capacity = cap;
  return true;
}

// Drops frame i and every frame above it except the group restores, which
// slide down.
void Compact(MatchStack *st, u32 i) {
  MatchFrame *f = st->frames;
  u32 w = i;
  for (u32 j = i + 1; j < st->count; j++) {
    if (f[j].kind == kFrameRestore) f[w++] = f[j];
  }
  st->count = w;
}

}  // namespace

int Engine::Run(u32 position) {
  MatchStack *st = stack;
  u32 n = 0;           // the node
  u32 p = position;    // the text position
  u32 open = 0;        // the group being entered, iterated or left
  const PatternNode *nd;
  MatchFrame *f;

#define QP_PUSH(k, nodeIndex, position_)                        \
  do {                                                          \
    if (st->count == st->capacity && !GrowStack(st)) return 0;  \
    f = &st->frames[st->count++];                               \
    f->kind = (k);                                              \
    f->node = (nodeIndex);                                      \
    f->pos = (position_);                                       \
  } while (0)

  // Saves a group record before it changes (when anything could undo it).
#define QP_SAVE(slot)                                                          \
  do {                                                                         \
    u32 s_ = (slot);                                                           \
    if (s_ < 64) dirty |= 1ull << s_; else dirtyHigh = true;                   \
    if (st->count > base) {                                                    \
      QP_PUSH(kFrameRestore, s_, 0);                                           \
      memcpy(f->w, &groups[s_], sizeof(GroupRecord));                          \
    }                                                                          \
  } while (0)

  if (nodes[0].kind == kNodeOpen) {
    // Group 0 (once, capturing) opens most patterns: enter it directly.
    dirty |= 1;
    groups[0].count = 0;
    groups[0].entry = 0;
    groups[0].tentative = p;
    n = nodes[0].next;
    goto enter;
  }
  goto enter_node;  // node 0 opens the pattern; as a "next", 0 is its end

enter:
  if (n == 0) goto success;
enter_node:
  nd = &nodes[n];
  if (nd->alternative) QP_PUSH(kFrameAlternative, nd->alternative, p);
  // No poll here: a chain of nodes without a loop is as long as the pattern;
  // loops poll at each iteration and backtracking at each step.
  switch (nd->kind) {
    case kNodeEmpty:
      n = nd->next;
      goto enter;

    case kNodeChar:
    case kNodeAny:
    case kNodeClass: {
      if (nd->minRepeat == 1 && nd->maxRepeat == 1) {
        if (p < limit && Member(*this, *nd, r.At(p))) {
          p++;
          n = nd->next;
          goto enter;
        }
        goto fail;
      }
      const u32 min = static_cast<u32>(nd->minRepeat), max = static_cast<u32>(nd->maxRepeat);
      if (min > max) goto fail;
      if (!IsLazy(nd->mode)) {
        u32 count = RunLength(*this, *nd, p, max);
        if (count < min) goto fail;
        if (count > min && !IsPossessive(nd->mode) && !(nd->hint & kHintNeverGiveBack)) {
          QP_PUSH(kFrameGiveBack, n, p + count);
          f->w[0] = p;
          f->w[1] = count;
          f->w[2] = 1;
        }
        p += count;
      } else {
        if (min > 0) {
          if (RunLength(*this, *nd, p, min) < min) goto fail;
          p += min;
        }
        if (max > min && p < limit) {
          QP_PUSH(kFrameTakeMore, n, p);
          f->w[1] = min;
          f->w[2] = 1;
        }
      }
      n = nd->next;
      goto enter;
    }

    case kNodeString:
    case kNodeBackRef:
    case kNodeNewline: {
      u32 width = 0;  // fixed width of a unit; 0 for newlines
      if (nd->kind == kNodeString) {
        width = nd->b;
      } else if (nd->kind == kNodeBackRef) {
        const GroupRecord &g = groups[nd->a];
        if (g.end == kNoPosition) {
          if (nd->minRepeat == 0) {  // no repetition needed
            n = nd->next;
            goto enter;
          }
          goto fail;
        }
        width = g.end - g.start;
      }
      if (nd->kind != kNodeNewline && width == 0) {
        if (nd->minRepeat > nd->maxRepeat) goto fail;
        n = nd->next;  // an empty unit: any number of them is nothing
        goto enter;
      }
      const u32 min = static_cast<u32>(nd->minRepeat), max = static_cast<u32>(nd->maxRepeat);
      if (min > max) goto fail;
      if (min == 1 && max == 1) {
        if (nd->kind == kNodeBackRef && width > 0) {
          // Most references fail at their first character.
          if (p >= limit) goto fail;
          const u8 a = r.At(p), b = r2.At(groups[nd->a].start);
          if (lower ? lower[a] != lower[b] : a != b) goto fail;
        }
        u32 k = UnitAt(*this, *nd, p, width);
        if (k == kNoPosition) goto fail;
        p += k;
        n = nd->next;
        goto enter;
      }
      const u32 start = p;
      u32 count = 0;
      const u32 want = IsLazy(nd->mode) ? min : max;
      while (count < want) {
        u32 k = UnitAt(*this, *nd, p, width);
        if (k == kNoPosition) break;
        p += k;
        count++;
        if (--budget == 0 && Poll()) return -1;
      }
      if (count < min) goto fail;
      if (!IsLazy(nd->mode)) {
        if (count > min && !IsPossessive(nd->mode)) {
          QP_PUSH(kFrameGiveBack, n, p);
          f->w[0] = start;
          f->w[1] = count;
          f->w[2] = width;
        }
      } else if (max > min && p < limit) {
        QP_PUSH(kFrameTakeMore, n, p);
        f->w[1] = count;
        f->w[2] = width;
      }
      n = nd->next;
      goto enter;
    }

    case kNodeOpen: {
      const PatternNode &cl = nodes[nd->partner];
      open = n;
      if (nd->minRepeat > nd->maxRepeat) goto fail;
      if (IsLookAround(*nd)) {
        if (nd->maxRepeat == 0) {
          n = cl.next;
          goto enter;
        }
        if (nd->minRepeat == 0) {
          if (IsLazy(nd->mode)) {
            QP_PUSH(kFrameGroupIter, open, p);
            n = cl.next;
            goto enter;
          }
          QP_PUSH(kFrameGroupExit, open, p);
        }
        goto look_start;
      }
      if (IsResetStart(*nd)) {
        if (nd->maxRepeat != 0) {
          if (p < rangeStart || p > rangeEnd) goto fail;
          QP_SAVE(0);
          groups[0].tentative = p;
        }
        n = cl.next;
        goto enter;
      }
      if (nd->maxRepeat == 0) {
        n = cl.next;
        goto enter;
      }
      QP_SAVE(cl.a);
      {
        GroupRecord &g = groups[cl.a];
        g.count = 0;
        g.entry = n;
        if (nd->minRepeat == 1 && nd->maxRepeat == 1 && !IsPossessive(nd->mode)) {
          // Once, the common case: straight into the body.
          g.tentative = p;
          n = nd->next;
          goto enter;
        }
      }
      if (IsPossessive(nd->mode)) QP_PUSH(kFrameAtomic, open, p);
      goto loop_decide;
    }

    case kNodeClose: {
      open = nd->b;
      const PatternNode &o = nodes[open];
      if (IsLookAround(o)) goto look_success;
      if (IsResetStart(o)) {
        n = nd->next;
        goto enter;
      }
      const u32 s = nd->a;
      QP_SAVE(s);
      GroupRecord &g = groups[s];
      const bool empty = p == g.tentative;
      // A \K inside a look-ahead may have set group 0's start past where the
      // match ends: the match then starts at its end, never after it.
      g.start = g.tentative <= p ? g.tentative : p;
      g.end = p;
      g.count++;
      if (nd->maxRepeat == 1 && !IsPossessive(nd->mode)) {
        n = nd->next;  // once: straight on
        goto enter;
      }
      // An empty iteration ends a repetition that has its minimum: another one
      // would match the same nothing forever. Below the minimum the loop goes
      // on (the next iteration may take another way).
      if (empty && g.count >= static_cast<u32>(o.minRepeat)) goto exit_group;
      if (g.count >= static_cast<u32>(o.maxRepeat)) goto exit_group;
      goto loop_decide;
    }

    default:  // zero-width assertions
      if (nd->minRepeat > nd->maxRepeat) goto fail;
      if (nd->minRepeat == 0 || Assert(*this, nd->kind, p)) {
        n = nd->next;
        goto enter;
      }
      goto fail;
  }

loop_decide: {
  const PatternNode &o = nodes[open];
  const u32 count = groups[nodes[o.partner].a].count;
  if (count >= static_cast<u32>(o.maxRepeat)) goto exit_group;
  if (count >= static_cast<u32>(o.minRepeat)) {
    if (IsLazy(o.mode)) {
      QP_PUSH(kFrameGroupIter, open, p);
      goto exit_group;
    }
    QP_PUSH(kFrameGroupExit, open, p);
  }
  goto start_iteration;
}

start_iteration: {
  if (--budget == 0 && Poll()) return -1;
  const PatternNode &o = nodes[open];
  const u32 s = nodes[o.partner].a;
  QP_SAVE(s);
  groups[s].tentative = p;
  n = o.next;
  goto enter;
}

exit_group: {
  const PatternNode &o = nodes[open];
  if (IsPossessive(o.mode) && !IsLookAround(o)) {
    // Drop what the atomic group or possessive repetition left behind.
    MatchFrame *frames = st->frames;
    u32 i = st->count;
    while (i > base) {
      i--;
      if (frames[i].kind == kFrameAtomic && frames[i].node == open) {
        Compact(st, i);
        break;
      }
    }
  }
  n = nodes[o.partner].next;
  goto enter;
}

look_start: {
  const PatternNode &o = nodes[open];
  if (o.mode & kModeLookAhead) {
    QP_PUSH(kFrameLook, open, p);
    f->w[0] = p;
    f->w[1] = p;
    f->w[2] = limit;
    f->w[3] = currentLook;
    currentLook = st->count - 1;
    limit = contextEnd;
    n = o.next;
    goto enter;
  }
  // Look-behind: starts from p - min back to p - max, at most the reach
  // beyond the minimum, never before the context.
  const u32 minLength = o.a;
  u32 reach = LengthAdd(minLength, lookBehindReach);
  if (o.b < reach) reach = o.b;
  if (p < contextStart || p - contextStart < minLength) {
    if (o.mode & kModeNegative) {
      n = nodes[o.partner].next;
      goto enter;
    }
    goto fail;
  }
  const u32 first = p - minLength;
  const u32 farthest = p - contextStart < reach ? contextStart : p - reach;
  QP_PUSH(kFrameLook, open, p);
  f->w[0] = first;
  f->w[1] = farthest;
  f->w[2] = limit;
  f->w[3] = currentLook;
  currentLook = st->count - 1;
  limit = p;
  p = first;
  n = o.next;
  goto enter;
}

look_success: {
  // The body of the look-around `open` matched, ending at p.
  const PatternNode &o = nodes[open];
  MatchFrame &look = st->frames[currentLook];
  if ((o.mode & kModeLookBehind) && p != look.pos) goto fail;  // a try must end where the look-behind stands
  const u32 at = look.pos, outerLimit = look.w[2], outerLook = look.w[3], index = currentLook;
  if (o.mode & kModeNegative) {
    // The assertion fails: undo the body's captures, drop its frames.
    while (st->count > index + 1) {
      MatchFrame &top = st->frames[st->count - 1];
      if (top.kind == kFrameRestore) memcpy(&groups[top.node], top.w, sizeof(GroupRecord));
      st->count--;
    }
    st->count = index;
    limit = outerLimit;
    currentLook = outerLook;
    goto fail;
  }
  Compact(st, index);
  limit = outerLimit;
  currentLook = outerLook;
  p = at;
  n = nodes[o.partner].next;
  goto enter;
}

success:
  if (rejectEmpty && groups[0].start == groups[0].end && groups[0].end == attempt) goto fail;
  return 1;

fail:
  for (;;) {
    if (st->count <= base) return -1;
    if (--budget == 0 && Poll()) return -1;
    f = &st->frames[st->count - 1];
    switch (f->kind) {
      case kFrameRestore:
        memcpy(&groups[f->node], f->w, sizeof(GroupRecord));
        st->count--;
        continue;

      case kFrameAlternative:
        n = f->node;
        p = f->pos;
        st->count--;
        goto enter;

      case kFrameGiveBack: {
        const PatternNode &x = nodes[f->node];
        const u32 start = f->w[0], min = static_cast<u32>(x.minRepeat);
        u32 count = f->w[1] - 1;
        const u32 width = f->w[2];
        if (x.kind == kNodeNewline) {
          u32 end = f->pos;
          end -= (end - start >= 2 && r.At(end - 1) == '\n' && r.At(end - 2) == '\r') ? 2 : 1;
          p = end;
          f->pos = end;
        } else if (x.hint & kHintFollowBytes) {
          // Only where the follower can start: the last such byte at or
          // before start + count.
          u32 q = start + count + 1;
          const u32 low = start + min;
          bool found = false;
          while (q > low) {
            q--;
            if (IsFollow(x.follow, r.At(q))) {
              found = true;
              break;
            }
          }
          if (!found) {
            st->count--;
            continue;
          }
          count = q - start;
          p = q;
        } else {
          p = start + count * width;
        }
        n = x.next;
        if (count > min) {
          f->w[1] = count;
          f->pos = p;
        } else {
          st->count--;
        }
        goto enter;
      }

      case kFrameTakeMore: {
        const PatternNode &x = nodes[f->node];
        const u32 max = static_cast<u32>(x.maxRepeat);
        u32 q = f->pos;
        u32 count = f->w[1];
        u32 k = UnitAt(*this, x, q, f->w[2]);
        if (k == kNoPosition) {
          st->count--;
          continue;
        }
        q += k;
        count++;
        if ((x.hint & kHintFollowBytes) && IsSingleByteKind(x.kind)) {
          // Take on up to where the follower can start.
          while (count < max && q < limit) {
            u8 c = r.At(q);
            if (IsFollow(x.follow, c) || !Member(*this, x, c)) break;
            q++;
            count++;
          }
        }
        if (count >= max || q >= limit) {
          st->count--;
        } else {
          f->pos = q;
          f->w[1] = count;
        }
        p = q;
        n = x.next;
        goto enter;
      }

      case kFrameGroupExit:
        open = f->node;
        p = f->pos;
        st->count--;
        goto exit_group;

      case kFrameGroupIter:
        open = f->node;
        p = f->pos;
        st->count--;
        if (IsLookAround(nodes[open])) goto look_start;
        goto start_iteration;

      case kFrameAtomic:
        st->count--;
        continue;

      case kFrameLook: {
        const PatternNode &o = nodes[f->node];
        if ((o.mode & kModeLookBehind) && f->w[0] > f->w[1]) {
          f->w[0]--;  // the next look-behind start, one farther back
          p = f->w[0];
          n = o.next;
          goto enter;
        }
        limit = f->w[2];
        currentLook = f->w[3];
        p = f->pos;
        st->count--;
        if (o.mode & kModeNegative) {
          n = nodes[o.partner].next;  // no way for the body: the negative assertion holds
          goto enter;
        }
        continue;
      }

      default:
        st->count--;
        continue;
    }
  }
#undef QP_PUSH
#undef QP_SAVE
}

int MatchAt(CompiledPattern *cp, const TextStore *store, u32 position, u32 left, u32 first, u32 last,
            GroupRecord *groups, MatchStack *stack, u32 options) {
  Engine e;
  e.Setup(cp, store);
  if (last > e.length) last = e.length;
  if (position > e.length) return kMatchAtFailed;
  u32 end = left > e.length - position ? e.length : position + left;
  e.contextStart = first;
  e.contextEnd = last;
  e.rangeStart = first;
  e.rangeEnd = end;
  e.groups = groups;
  e.groupCount = cp->groupCount;
  e.stack = stack;
  e.base = stack->count;
  e.limit = end;
  e.attempt = position;
  e.rejectEmpty = (options & kMatchRejectEmpty) != 0;
  int r = e.Run(position);
  stack->count = e.base;
  if (r == 0) return kMatchAtNoMemory;
  return r == 1 ? kMatchAtMatched : kMatchAtFailed;
}
