#include "search/search_run.h"

#include <string.h>

#include "document/edit.h"
#include "document/store_internal.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/memory.h"
#include "foundation/helper_thread.h"

namespace {

constexpr u64 kMaxReplacement = 0x7FFFFFFF;  // a replacement past 2 GiB is out of memory

bool Append(ByteBuffer *out, const char *p, u64 n) {
  if (out->length + n > kMaxReplacement) return false;
  return n == 0 || BufferAppend(out, p, static_cast<size_t>(n));
}

// The text of [from, to) of the store, appended (read through the cursor).
bool AppendRange(ByteBuffer *out, StoreCursor &cursor, u32 from, u32 to) {
  if (from >= to) return true;
  if (out->length + static_cast<u64>(to - from) > kMaxReplacement) return false;
  if (!BufferReserve(out, to - from)) return false;
  cursor.Copy(from, to - from, out->data + out->length);
  out->length += to - from;
  return true;
}

// A number in one of the format letters d x X o b; false for another letter.
bool AppendNumber(ByteBuffer *out, u64 value, char letter) {
  u32 base;
  const char *digits = "0123456789abcdef";
  switch (letter) {
    case 'd': base = 10; break;
    case 'x': base = 16; break;
    case 'X': base = 16; digits = "0123456789ABCDEF"; break;
    case 'o': base = 8; break;
    case 'b': base = 2; break;
    default: return false;
  }
  char text[72];
  int n = 0;
  do {
    text[n++] = digits[value % base];
    value /= base;
  } while (value);
  char reversed[72];
  for (int i = 0; i < n; i++) reversed[i] = text[n - 1 - i];
  return Append(out, reversed, static_cast<u64>(n));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Took(const MatchGroups &g, u32 k) { return g.group[k].end != kNoPosition && g.group[k].start != kNoPosition; }

}  // namespace

const char *NewlineSequence(u32 newlineType) {
  switch (newlineType) {
    case 1: return "\n";
    case 2: return "\r";
    default: return "\r\n";
  }
}

namespace {

int Expand(const CompiledPattern *cp, StoreCursor &cursor, const MatchGroups &groups, const char *newline,
           u32 occurrence, ByteBuffer *out, bool *constant) {
  bool fixed = true;
  const char *r = cp->replace;
  const bool regExps = (cp->flags & kPatternRegExps) != 0;
  const bool escapes = regExps || (cp->flags & kPatternEscapes) != 0;
  int result = kExpandDone;
  // A group that took no part: empty, skipped or asked about.
  auto undefined = [&]() {
    if (cp->flags & kPatternUndefinedEmpty) return kExpandDone;
    return (cp->flags & kPatternUndefinedSkip) ? kExpandSkip : kExpandUndefined;
  };
  auto group = [&](u32 k) -> int {
    fixed = false;
    if (!Took(groups, k)) return undefined();
    return AppendRange(out, cursor, groups.group[k].start, groups.group[k].end) ? kExpandDone : kExpandNoMemory;
  };
  if (!escapes || !*r) {
    if (constant) *constant = true;
    return Append(out, r, strlen(r)) ? kExpandDone : kExpandNoMemory;
  }
  for (const char *p = r; *p && result == kExpandDone; p++) {
    if (*p != '\\') {
      const char *q = p;
      while (q[1] && q[1] != '\\') q++;
      if (!Append(out, p, static_cast<u64>(q - p + 1))) result = kExpandNoMemory;
      p = q;
      continue;
    }
    const char c = p[1];
    // Escapes and RegExps alike.
    if (c == '0' || c == '\\' || c == 'n' || c == 't') {
      const char *text = c == '0' ? "" : c == '\\' ? "\\" : c == 'n' ? newline : "\t";
      if (!Append(out, text, c == '0' ? 1 : strlen(text))) result = kExpandNoMemory;
      p++;
      continue;
    }
    if (!regExps) {
      // Any other backslash stands for itself.
      if (!Append(out, p, 1)) result = kExpandNoMemory;
      continue;
    }
    if (!c) {
      result = kExpandError;  // a lone backslash at the end
      break;
    }
    p++;
    switch (c) {
      case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8': case '9':
        result = group(static_cast<u32>(c - '0'));
        break;
      case '&': result = group(0); break;
      case '+': {
        fixed = false;
        u32 k = 9;
        while (k > 0 && !Took(groups, k)) k--;
        if (k > 0) result = group(k);
        break;
      }
      case 'L': {
        const char which = p[1];
        const u32 k = which == '&' ? 0 : which >= '1' && which <= '9' ? static_cast<u32>(which - '0') : which == '+' ? 10 : 11;
        if (k == 11) {
          result = kExpandError;
          break;
        }
        p++;
        fixed = false;
        u32 g = k;
        if (g == 10) {
          g = 9;
          while (g > 0 && !Took(groups, g)) g--;
        }
        if (!Took(groups, g)) {
          result = undefined();
          break;
        }
        if (!AppendNumber(out, groups.group[g].end - groups.group[g].start, 'd')) result = kExpandNoMemory;
        break;
      }
      case '#':
      case '*': {
        const char letter = p[1];
        if (!letter || !strchr("dxXob", letter)) {
          result = kExpandError;
          break;
        }
        p++;
        fixed = false;
        const u64 value = c == '#' ? occurrence : RandomStep(ThreadRecordCurrent()) % 0x7FFFFFFF;
        if (!AppendNumber(out, value, letter)) result = kExpandNoMemory;
        break;
      }
      case 'Q': {
        const char *end = strstr(p + 1, "\\E");
        if (!end) {
          result = kExpandError;
          break;
        }
        if (!Append(out, p + 1, static_cast<u64>(end - p - 1))) result = kExpandNoMemory;
        p = end + 1;
        break;
      }
      case 'a': case 'e': case 'f': case 'v': {
        const char b = c == 'a' ? 7 : c == 'e' ? 27 : c == 'f' ? 12 : 11;
        if (!Append(out, &b, 1)) result = kExpandNoMemory;
        break;
      }
      case 'c': {
        const char x = p[1];
        if (!((x >= 'A' && x <= 'Z') || (x >= 'a' && x <= 'z'))) {
          result = kExpandError;
          break;
        }
        p++;
        const char b = static_cast<char>(x >= 'a' ? x - 96 : x - 64);
        if (!Append(out, &b, 1)) result = kExpandNoMemory;
        break;
      }
      case 'x': {
        const int hi = HexDigit(p[1]), lo = hi < 0 ? -1 : HexDigit(p[2]);
        if (lo < 0) {
          result = kExpandError;
          break;
        }
        p += 2;
        const char b = static_cast<char>(hi * 16 + lo);
        if (!Append(out, &b, 1)) result = kExpandNoMemory;
        break;
      }
      default:  // every other escape, \r and a lone backslash at the end
        result = kExpandError;
        break;
    }
  }
  if (constant) *constant = fixed;
  return result;
}

}  // namespace

int ExpandReplacement(const CompiledPattern *cp, const TextStore *store, const MatchGroups &groups,
                      const char *newline, u32 occurrence, ByteBuffer *out, bool *constant) {
  StoreCursor cursor(store);
  return Expand(cp, cursor, groups, newline, occurrence, out, constant);
}

// ---- the loop ----------------------------------------------------------------------------

namespace {

// How far back of a match the text decides it: not at all; only whether the
// byte before is a word character (\b \B \y \Y, whole words); or more (line
// and paragraph starts, look-behinds, \G, whose edits must be in place).
enum BackReach { kReachNone, kReachWord, kReachText };

BackReach ReachOf(const CompiledPattern *cp) {
  BackReach reach = (cp->flags & kPatternWholeWords) ? kReachWord : kReachNone;
  for (u32 i = 0; i < cp->nodeCount; i++) {
    const PatternNode &n = cp->nodes[i];
    switch (n.kind) {
      case kNodeWordBoundary:
      case kNodeNotWordBoundary:
      case kNodeWordStart:
      case kNodeWordEnd:
        if (reach == kReachNone) reach = kReachWord;
        break;
      case kNodeLineStart:
      case kNodeParagraphStart:
      case kNodeSearchStart:
        return kReachText;
      case kNodeOpen:
        if (n.mode & kModeLookBehind) return kReachText;
        break;
      default:
        break;
    }
  }
  if (cp->prefilter.prevConditions & ~(kPrevNonWord | kPrevWord | kPrevBoundary | kPrevNoBoundary)) return kReachText;
  return reach;
}

bool IsWordFor(const CompiledPattern *cp, int byte) {
  if (byte < 0) return false;
  if (cp->flags & kPatternRegExps) return (cp->tables[static_cast<u8>(byte)] & 0x02) != 0;
  return IsWordChar(static_cast<u8>(byte));
}

// Single bytes of the store around the occurrences, which come in ascending
// order: the block of the last read serves the next, a neighbour is a step.
// Forget() after the store changed.
struct Peek {
  const TextStore *s;
  const char *data = nullptr;
  u32 block = 0, start = 0, end = 0;

  explicit Peek(const TextStore *store) : s(store) {}
  void Forget() { data = nullptr; }
  // The byte at p, or -1 past the end.
  int At(u32 p) {
    if (p >= s->length) return -1;
    if (!data || p - start >= end - start) Seek(p);
    return static_cast<u8>(data[p - start]);
  }
  void Seek(u32 p) {
    const TextBlock *b = s->blocks.entries;
    if (data && p >= end && block + 1 < s->blocks.count && p - end < b[block + 1].length) {
      block++;
      start = end;
    } else if (data && p < start && block > 0 && start - p <= b[block - 1].length) {
      block--;
      start -= b[block].length;
    } else {
      block = BlockOfPosition(s, p);
      start = BlockStart(s, block);
    }
    end = start + b[block].length;
    data = b[block].data;
  }
};

// The replace-all and highlight state: the batcher, and what the text looks
// like right before the last edit not yet handed over ends.
struct Pending {
  EditBatcher batcher;
  bool any = false;
  u32 end = 0;            // end of the last pending edit, in the text as it is
  int newBefore = -1;     // the byte before `end` once the edits are in place (-1: none)
  bool mustFlush = false; // the next search may not see the text as it is
  i64 delta = 0;          // (inserted - deleted) of the pending edits
  int lastByte = -2;      // the byte before `end` as the text is (-2: not known)
};

// The bytes at the end of an occurrence that the loop looks at, noted when
// it is found, while they are at hand: its last byte (when it is not empty)
// and the byte after it (when there is one). The edits before the occurrence
// never change them.
constexpr u32 kHasLast = 0x100;
constexpr u32 kHasAfter = 0x1000000;

// With them, the key of the bytes it deletes when replaced (up to 7).
void MarkAround(const TextStore *s, const MatchSpan *spans, u32 n, u32 *around, u64 *keys) {
  Peek peek(s);
  StoreCursor cursor(s);
  for (u32 k = 0; k < n; k++) {
    const MatchSpan m = spans[k];
    const u32 len = m.end - m.start;
    // Most lie in one block with the byte after them: read straight.
    const char *p = len - 1 < 7 && m.end < s->length ? cursor.Within(m.start, len + 1) : nullptr;
    auto at = [&](u32 q) -> u32 { return p ? static_cast<u8>(p[q - m.start]) : static_cast<u32>(peek.At(q)); };
    u32 a = 0;
    if (len) a = at(m.end - 1) | kHasLast;
    if (m.end < s->length) a |= (at(m.end) << 16) | kHasAfter;
    around[k] = a;
    u64 key = kNoDeletedKey;
    if (len <= 7) {
      key = static_cast<u64>(len) << 56;
      for (u32 i = 0; i < len; i++) key |= static_cast<u64>(at(m.start + i)) << (8 * i);
    }
    keys[k] = key;
  }
}

// ---- occurrences found ahead ----

constexpr int kAheadUnused = -2;

// One half of a stretch: its chain of occurrences with their bytes around,
// found some at a time so that those bytes are still at hand.
struct HalfScan {
  CompiledPattern *cp;
  const TextStore *s;
  u32 from, stopAt;
  MatchSpan *spans;
  u32 *around;
  u64 *keys;
  u32 most;
  int found;
};

u32 ScanHalf(void *arg) {
  HalfScan *h = static_cast<HalfScan *>(arg);
  constexpr u32 kSome = 1024;
  u32 n = 0;
  for (u32 from = h->from;;) {
    const u32 want = h->most - n < kSome ? h->most - n : kSome;
    const int k = FindLiteralOccurrencesBefore(h->cp, h->s, from, h->stopAt, h->spans + n, want);
    if (k < 0) {
      h->found = -1;
      return 0;
    }
    MarkAround(h->s, h->spans + n, static_cast<u32>(k), h->around + n, h->keys + n);
    n += static_cast<u32>(k);
    if (static_cast<u32>(k) < want || n == h->most) break;
    from = h->spans[n - 1].end;
  }
  h->found = static_cast<int>(n);
  return 0;
}

// The occurrences of a literal from where the loop stands on, found a
// stretch of text at a time: the stretch's first half on this thread, its
// second at once on the kept helper thread (with a twin of the pattern), each
// half one chain of occurrences as the loop finds them searching on from the
// end of the one before. The second half's chain is the loop's when the first
// half's ends before the second half starts (or is empty); otherwise its first
// occurrence is checked against a search from where the loop stands, as is
// the next one after the text changed under them or the loop went on from
// elsewhere than the end of the last one handed over. Positions are those of
// the text when the stretch was found: the batches sent since moved them by
// their shift, and never the text after where the loop stands.
struct Ahead {
  CompiledPattern *cp;
  const TextStore *s;
  CompiledPattern *twin = nullptr;
  MatchSpan *spans = nullptr;  // 2 x most
  u32 *around = nullptr;       // their bytes around
  u64 *keys = nullptr;         // and the keys of their bytes
  u32 most = 0, count = 0, next = 0, seam = 0;
  bool seamChecked = true;  // the second half's first occurrence needs no check
  bool check = false;       // the next one handed over is checked first
  bool off = false;         // memory ran short, or a scan was cut: the loop searches alone
  i64 shift = 0;            // the batcher's shift when the stretch was found
  u32 end = 0;              // where the stretch ends, in the text as it was then
  u32 half = 0;

  Ahead(CompiledPattern *pattern, const TextStore *store) : cp(pattern), s(store) {}
  ~Ahead() {
    Free(spans);
    Free(around);
    Free(keys);
    FreePatternTwin(twin);
  }

  // Up to `max` occurrences from pos on into out: how many (0: none is left),
  // -1 out of memory, or kAheadUnused when the loop searches by itself.
  // chained: pos is where the last occurrence handed over ends, and no batch
  // went since.
  int Fill(u32 pos, i64 shiftNow, bool chained, MatchSpan *out, u32 *outAround, u64 *outKeys, u32 max) {
    if (off) return kAheadUnused;
    auto moved = [&](u32 k) {
      const i64 d = shiftNow - shift;
      return MatchSpan{static_cast<u32>(spans[k].start + d), static_cast<u32>(spans[k].end + d)};
    };
    if (!chained) {
      // The loop may have left some of those handed over (a batch went).
      while (next > 0 && moved(next - 1).start >= pos) next--;
      check = true;
    }
    while (next < count && moved(next).start < pos) next++;
    // A stretch without an occurrence: the chain goes on from its end.
    for (u32 from = pos; next == count;) {
      const int r = Stretch(from, shiftNow);
      if (r < 0) return -1;
      if (r == 0 || (off && count == 0)) {
        // The rest is short: searched here when no occurrence lies before it.
        if (from == pos || off) return kAheadUnused;
        const int n = FindLiteralOccurrences(cp, s, from, s->length, out, max);
        if (n > 0) MarkAround(s, out, static_cast<u32>(n), outAround, outKeys);
        return n;
      }
      if (count == 0 && end == s->length) return 0;
      from = end;
    }
    if (check || (next == seam && !seamChecked)) {
      MatchSpan t;
      const int n = FindLiteralOccurrences(cp, s, pos, s->length, &t, 1);
      if (n <= 0) return n;
      while (next < count && moved(next).start < t.start) next++;
      if (next == count || moved(next).start != t.start || moved(next).end != t.end) {
        out[0] = t;
        MarkAround(s, out, 1, outAround, outKeys);
        check = true;
        return 1;
      }
      check = false;
      if (next >= seam) seamChecked = true;
    }
    const u32 last = next < seam && !seamChecked ? seam : count;
    const u32 n = last - next < max ? last - next : max;
    for (u32 k = 0; k < n; k++) out[k] = moved(next + k);
    memcpy(outAround, around + next, n * sizeof(u32));
    memcpy(outKeys, keys + next, n * sizeof(u64));
    next += n;
    return static_cast<int>(n);
  }

 private:
  // Finds the stretch from pos on. 1 found, 0 the text left is too short (or
  // the scans cannot be had), -1 out of memory.
  int Stretch(u32 pos, i64 shiftNow) {
    const SearchAheadLimits &limits = g_searchAhead;
    const u32 left = s->length - pos;
    if (left < limits.minBytes || left < 2 || cp->minLength == 0) return 0;
    if (!spans) {
      most = limits.most ? limits.most : 1;
      spans = static_cast<MatchSpan *>(Allocate(2 * static_cast<size_t>(most) * sizeof(MatchSpan)));
      around = static_cast<u32 *>(Allocate(2 * static_cast<size_t>(most) * sizeof(u32)));
      keys = static_cast<u64 *>(Allocate(2 * static_cast<size_t>(most) * sizeof(u64)));
      twin = spans && around && keys ? PatternTwin(cp) : nullptr;
      half = limits.half ? limits.half : 1;
      if (!twin) {
        off = true;
        return 0;
      }
    }
    const u32 h = half < left / 2 ? half : left / 2;
    const u32 mid = pos + h;
    // A short rest joins the second half.
    const u32 stop = left - 2 * static_cast<u64>(h) < limits.minBytes ? s->length : mid + h;
    HalfScan first = {cp, s, pos, mid, spans, around, keys, most, 0};
    HalfScan second = {twin, s, mid, stop, spans + most, around + most, keys + most, most, 0};
    RunBeside(ScanHalf, &first, &second);
    if (first.found < 0 || second.found < 0) return -1;
    const u32 a = static_cast<u32>(first.found), b = static_cast<u32>(second.found);
    next = 0;
    shift = shiftNow;
    end = stop;
    check = false;
    if (*CancelFlag(cp) || *CancelFlag(twin)) {
      // A scan cut short is no chain to go on from: what the first half
      // found stands, and the loop searches alone after it.
      off = true;
      count = seam = a;
      return 1;
    }
    if (a < most) {
      memmove(spans + a, spans + most, static_cast<size_t>(b) * sizeof(MatchSpan));
      memmove(around + a, around + most, static_cast<size_t>(b) * sizeof(u32));
      memmove(keys + a, keys + most, static_cast<size_t>(b) * sizeof(u64));
      count = a + b;
      seam = a;
      seamChecked = a == 0 || spans[a - 1].end <= mid;
    } else {
      // The first half's list is full before its end: the second half's
      // occurrences may not follow it.
      count = seam = a;
      seamChecked = true;
    }
    // Halves that find as many as a list holds, or few, make the next
    // stretch shorter or longer.
    const u32 found = a > b ? a : b;
    if (found >= most && half > 1) half /= 2;
    if (found < most / 4 && half <= (1u << 26)) half *= 2;
    return 1;
  }
};

}  // namespace

SearchAheadLimits g_searchAhead = {4u << 20, 8u << 20, 32768};

int RunSearchLoop(SearchRun *run) {
  CompiledPattern *cp = run->cp;
  const Document *doc = run->doc;
  const TextStore *s = &doc->store;
  const u32 req = run->request;
  const bool back = (req & kSearchBackward) != 0;
  const bool fromStart = (req & kSearchFromStart) != 0;
  const bool all = (req & (kSearchReplaceAll | kSearchLastToolAll | kSearchHighlight)) != 0;
  const bool replace = (req & (kSearchReplace | kSearchReplaceAll)) != 0;
  const bool tool = (req & (kSearchLastTool | kSearchLastToolAll)) != 0;
  const bool highlight = (req & kSearchHighlight) != 0;
  const bool single = (replace || tool) && !all;
  const char *newline = NewlineSequence(doc->newlineType);
  const BackReach reach = ReachOf(cp);
  run->foundNext = false;

  const u32 a = doc->selStart->position, e = doc->selEnd->position;
  u32 pos = fromStart ? (back ? s->length : 0) : back ? e : single ? a : e;
  if (back && !fromStart && !single) pos = a;
  bool rejectEmpty = a == e || (single && !fromStart);

  Pending pending;
  (void)BatcherInit(&pending.batcher, highlight ? ((req & kSearchSecondary) ? 6u : 5u) : 0u, run->host.edit,
                    run->host.context);
  ByteBuffer text = {};
  Peek peek(s);
  StoreCursor cursor(s);  // the groups' text for the replacements
  u32 sends = 0;  // the batches sent when peek and cursor last read
  bool constantText = false;  // text holds the replacement of every occurrence
  // Every batch sent changes the text that the two read.
  auto freshen = [&]() {
    if (pending.batcher.sends != sends) {
      sends = pending.batcher.sends;
      peek.Forget();
      cursor = StoreCursor(s);
    }
  };
  auto byteAt = [&](u32 p) {
    freshen();
    return peek.At(p);
  };
  // A literal-only pattern whose matches the edits before them cannot change
  // (nothing further back than a word boundary): replacing or highlighting
  // all, its occurrences are found many at a time, each search as the loop
  // would start it. They stand while no batch went and the loop goes on
  // from the end of the one before.
  const bool bulk = all && !back && !tool && reach != kReachText && cp->prefilter.literalOnly;
  MatchSpan queue[256];
  u32 queueAround[256];
  u64 queueKeys[256];
  u32 queued = 0, next = 0, queueFrom = 0, queueSends = 0;
  bool queueValid = false, queueMore = false;  // more may follow a queue used up
  Ahead ahead(cp, s);
  MatchGroups unset;
  MemFill(&unset, 0xFF, sizeof unset);
  u32 count = 0;
  bool handled = false;  // single replace or Last Tool: the occurrence is done
  int result = 0;
  u32 lastStart = 0, lastLength = 0;
  bool haveLast = false;

  auto flush = [&]() -> int {
    if (!pending.any) return 0;
    const i64 before = pending.batcher.shift;
    const int r = BatcherFlush(&pending.batcher);
    if (r != 0) return r;
    pos = static_cast<u32>(pos + (pending.batcher.shift - before));
    pending.any = false;
    pending.mustFlush = false;
    pending.delta = 0;
    return 0;
  };
  auto cancelled = [&]() { return run->op && LongOperationCancelled(run->op); };

  while (result == 0) {
    if (cancelled()) break;
    // A search whose start could see the text before it changed by the edits
    // not yet in place waits for them.
    if (pending.any && !highlight && !pending.mustFlush && reach != kReachNone && pos <= pending.end) {
      pending.mustFlush = reach == kReachText ||
                          IsWordFor(cp, pending.newBefore) !=
                              IsWordFor(cp, pending.lastByte != -2 ? pending.lastByte : byteAt(pending.end - 1));
    }
    if (pending.mustFlush && (result = flush()) != 0) break;
    MatchGroups groups;
    int found;
    u32 around = 0;  // the occurrence's bytes around, when found in bulk
    u64 key = kNoDeletedKey;  // and the key of its bytes
    if (bulk) {
      const u32 most = sizeof queue / sizeof queue[0];
      // A queue used up that may not hold the last occurrences: the ones
      // after it are yet to be found.
      const bool chained = queueValid && queueSends == pending.batcher.sends && queueFrom == pos;
      if (!chained || (next == queued && queueMore)) {
        int n = ahead.Fill(pos, pending.batcher.shift, chained, queue, queueAround, queueKeys, most);
        queueMore = n > 0;
        if (n == kAheadUnused) {
          n = FindLiteralOccurrences(cp, s, pos, s->length, queue, most);
          queueMore = n == static_cast<int>(most);
          if (n > 0) MarkAround(s, queue, static_cast<u32>(n), queueAround, queueKeys);
        }
        queued = n > 0 ? static_cast<u32>(n) : 0;
        next = 0;
        queueSends = pending.batcher.sends;
        queueValid = n >= 0;
      }
      found = !queueValid ? -1 : next < queued ? kMatchFound : kMatchNone;
      if (found == kMatchFound) {
        groups = unset;
        around = queueAround[next];
        key = queueKeys[next];
        groups.group[0] = queue[next++];
        queueFrom = groups.group[0].end;
      }
    } else {
      u32 at = 0;
      // Backwards, an occurrence lies wholly before where the search starts.
      found = FindMatch(cp, s, pos, back ? 0 : s->length, back ? pos : s->length, back, rejectEmpty, &groups, &at);
    }
    if (found < 0) {
      result = kSearchNoMemory;
      break;
    }
    if (found != kMatchFound || cancelled()) break;
    const u32 ms = groups.group[0].start, me = groups.group[0].end;

    if (!all && !(single && !handled)) {
      // Find, select-to, or the next occurrence after a single replace.
      if (req & kSearchSelectTo) {
        const u32 lo = ms < a ? ms : a, hi = me > e ? me : e;
        run->host.select(run->host.context, back ? hi : lo, back ? lo : hi, true);
      } else {
        run->host.select(run->host.context, back ? me : ms, back ? ms : me, true);
      }
      if (single) run->foundNext = true;
      if (!single) count = 1;
      break;
    }

    if (highlight) {
      if (ms < me && (result = BatcherAdd(&pending.batcher, ms, me, nullptr, 0)) != 0) break;
      pending.any = pending.batcher.count > 0;
      count++;
      pos = me;
      rejectEmpty = ms == me;
      continue;
    }

    if (tool) {
      if ((result = flush()) != 0) break;
      run->host.select(run->host.context, ms, me, !all);
      u32 end = me;
      if (!run->host.lastTool || run->host.lastTool(run->host.context, &end) != 0) {
        result = kSearchToolFailed;
        break;
      }
      count++;
      handled = true;
      pos = end;
      rejectEmpty = end == ms;
      continue;
    }

    // Replace: the expansion for this occurrence, with the case of the
    // replaced text when mimicking.
    int x = kExpandDone;
    const bool asBefore = constantText;  // the text of the edit added before
    if (!constantText) {
      text.length = 0;
      bool constant = false;
      freshen();
      x = Expand(cp, cursor, groups, newline, count + 1, &text, &constant);
      // The same for every occurrence: made once (mimicking changes it in place).
      constantText = x == kExpandDone && constant && !(req & kSearchMimic);
    }
    if (x == kExpandUndefined) {
      // Asked once per run (on the window's thread, over the wait window).
      const int answer = AskUser(nullptr, TXT_UNDEFINED_BACKREF, kAskYesNoCancel);
      if (answer == kAnswerCancel) {
        result = kSearchAskCancelled;
        break;
      }
      cp->flags |= answer == kAnswerYes ? kPatternUndefinedEmpty : kPatternUndefinedSkip;
      continue;  // the same occurrence again
    }
    if (x == kExpandError) {
      result = kSearchReplaceError;
      break;
    }
    if (x == kExpandNoMemory) {
      result = kSearchNoMemory;
      break;
    }
    if (x == kExpandSkip) {
      pos = back ? ms : me;
      rejectEmpty = ms == me;
      if (single) handled = true;
      continue;
    }
    if ((req & kSearchMimic) && ms < me && text.length) ApplyCase(CasePatternOf(s, ms, me), text.data, text.length);
    const u32 n = static_cast<u32>(text.length);
    const i64 before = pending.batcher.shift;
    // The batcher takes positions of the text as it was before its first
    // batch went.
    if ((result = BatcherAdd(&pending.batcher, static_cast<u32>(ms - before), static_cast<u32>(me - before), text.data,
                             n, key, asBefore)) != 0) {
      break;
    }
    // A send on the way (a full batch) moved the text behind it.
    const i64 moved = pending.batcher.shift - before;
    if (pending.batcher.count == 1) pending.delta = 0;
    const u32 ms2 = static_cast<u32>(ms + moved), me2 = static_cast<u32>(me + moved);
    const int newBefore = n ? static_cast<u8>(text.data[n - 1])
                            : (pending.any && pending.end == ms2) ? pending.newBefore : (ms2 ? byteAt(ms2 - 1) : -1);
    pending.any = true;
    pending.end = me2;
    pending.newBefore = newBefore;
    pending.lastByte = (around & kHasLast) ? static_cast<int>(around & 0xFF) : -2;
    // Whether the text at the edit's end is read as a newline of its own or
    // as the LF of a CR LF depends on the byte before: when the edit changes
    // that, the next search waits for it to be in place.
    const bool lfAfter = (around & kHasLast) ? (around & kHasAfter) && ((around >> 16) & 0xFF) == '\n'
                                              : byteAt(me2) == '\n';
    const int oldBefore = (around & kHasLast) ? pending.lastByte : me2 > 0 ? byteAt(me2 - 1) : -1;
    if (lfAfter && (newBefore == '\r') != (oldBefore == '\r')) pending.mustFlush = true;
    count++;
    haveLast = true;
    // Where it lands once in place: after the pending edits before it.
    lastStart = static_cast<u32>(ms2 + pending.delta);
    lastLength = n;
    pending.delta += static_cast<i64>(n) - (me - ms);
    handled = true;
    pos = me2;
    rejectEmpty = ms == me;
    if (single) {
      // In place now; the next occurrence is looked for after the new text.
      if ((result = flush()) != 0) break;
      pos = static_cast<u32>(lastStart + lastLength);
      if (back) pos = lastStart;
    }
  }
  // The replacements found so far stay: after a cancel, a memory failure or
  // a cancelled question too (not when handing over failed).
  if ((result == 0 || result == kSearchNoMemory || result == kSearchAskCancelled) && pending.any) {
    const int r = BatcherFlush(&pending.batcher);
    if (r != 0 && result == 0) result = r;
  }
  if (result == 0 && haveLast && all && replace) {
    // The selection on the last replacement, unscrolled.
    run->host.select(run->host.context, lastStart, lastStart + lastLength, false);
  }
  BatcherFree(&pending.batcher);
  BufferFree(&text);
  return result != 0 ? result : static_cast<int>(count);
}
