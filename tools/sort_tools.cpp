// Sorting compares lines by up to five keys, each a part of the line (the
// whole line, columns or positions) with characters skipped by an ignore
// table, read as text (byte codes, optionally case-folded) or as a number in
// the user's locale. Numbers are compared as digit strings, never converted,
// so that a number of any length compares exactly.
//
// Speed: every line carries the first eight bytes of its first key as it
// compares (skipped characters left out, case folded, inverted for a
// descending key) in one integer, so that most comparisons of the merge sort
// are one integer comparison and never touch the text.
#include "tools/sort_tools.h"

#include <string.h>

#include "config/config_state.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/memory.h"
#include "foundation/platform.h"
#include "foundation/random.h"
#include "tools/line_walker.h"

// ---- keys ----

NumberLocale CurrentNumberLocale() {
  NumberLocale l;
  MemZero(&l, sizeof l);
  StrCopyN(l.decimal, g_settings.main.LcDS, sizeof l.decimal);
  StrCopyN(l.thousands, g_settings.main.LcTS, sizeof l.thousands);
  StrCopyN(l.negative, g_settings.main.LcNS, sizeof l.negative);
  StrCopyN(l.positive, g_settings.main.LcPS, sizeof l.positive);
  l.signAfter = g_settings.main.LcNM == 3 || g_settings.main.LcNM == 4;
  return l;
}

namespace {

void MarkTypes(u8 *table, u16 types, u8 value) {
  for (int c = 0; c < 256; c++)
    if (CharType(static_cast<u8>(c)) & types) table[c] = value;
}

void MarkChars(u8 *table, const char *chars, size_t cap, u8 value) {
  for (size_t i = 0; i < cap && chars[i]; i++) table[static_cast<u8>(chars[i])] = value;
}

}  // namespace

void PrepareSortKeys(const SortKey *keys, int count, const NumberLocale &locale, PreparedKeys *out) {
  MemZero(out, sizeof *out);
  out->locale = locale;
  out->locale.decimal[7] = out->locale.thousands[7] = out->locale.negative[7] = out->locale.positive[7] = 0;
  out->lower = LowerTable();
  for (int k = 0; k < count; k++) {
    const SortKey &s = keys[k];
    if (!s.Use) continue;
    PreparedKey &p = out->key[out->count++];
    u8 *ig = p.ignore;
    MemFill(ig, (s.IBl || s.INa) ? 1 : 0, 256);
    if (s.IBl) MarkChars(ig, s.IBd, sizeof s.IBd, 0);
    if (s.INa) MarkTypes(ig, kC1Alpha | kC1Digit, 0);
    if (s.IWs || s.Num) MarkTypes(ig, kC1Space, 1);
    if (s.IPn) MarkTypes(ig, kC1Punct, 1);
    if (s.IBn) MarkTypes(ig, kC1Blank, 1);
    if (s.ICt) MarkTypes(ig, kC1Cntrl, 1);
    if (s.ICl) MarkChars(ig, s.ICd, sizeof s.ICd, 1);
    for (int c = 0; c < 256; c++) p.anyIgnored |= ig[c] != 0;
    p.descending = s.Dsc != 0;
    p.numbers = s.Num != 0;
    p.ignoreCase = s.IC != 0;
    PrepareColumn(s.column, true, &p.column);
    p.whole = s.column.CC == kColumnEntireLine && !s.column.RC;
  }
}

namespace {

// ---- text ----

int CompareText(const u8 *a, u32 an, const u8 *b, u32 bn, const PreparedKey &key, const u8 *lower) {
  if (!key.anyIgnored) {
    const u32 m = an < bn ? an : bn;
    if (!key.ignoreCase) {
      const int r = m ? memcmp(a, b, m) : 0;
      if (r) return r < 0 ? -1 : 1;
    } else {
      for (u32 i = 0; i < m; i++) {
        const u8 x = lower[a[i]], y = lower[b[i]];
        if (x != y) return x < y ? -1 : 1;
      }
    }
    return an < bn ? -1 : an > bn ? 1 : 0;
  }
  const u8 *ig = key.ignore;
  const u8 *fold = key.ignoreCase ? lower : nullptr;
  u32 i = 0, j = 0;
  for (;;) {
    while (i < an && ig[a[i]]) i++;
    while (j < bn && ig[b[j]]) j++;
    if (i == an || j == bn) break;
    const u8 x = fold ? fold[a[i]] : a[i], y = fold ? fold[b[j]] : b[j];
    if (x != y) return x < y ? -1 : 1;
    i++, j++;
  }
  return (i < an) - (j < bn);
}

// ---- numbers ----

inline bool IsNumberDigit(u8 c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); }

// The length of the locale string when it stands at t[i] (0: not there, or
// the string is empty).
inline u32 MatchAt(const u8 *t, u32 i, u32 n, const char *s) {
  u32 k = 0;
  while (s[k]) {
    if (i + k >= n || t[i + k] != static_cast<u8>(s[k])) return 0;
    k++;
  }
  return k;
}

// A number as read (a locale string standing at a place wins over a letter
// that would be a digit): its sign (0 for zero), the stretch of its significant
// integer digits and of its fraction (with skipped characters and thousands
// separators inside them).
struct NumberParts {
  int sign;
  u32 intBegin, intEnd, intDigits;
  u32 fracBegin, fracEnd;
};

struct NumberReader {
  const u8 *t;
  u32 n;
  const PreparedKey &key;
  const NumberLocale &loc;
  const u8 *fold;

  u8 At(u32 i) const { return fold ? fold[t[i]] : t[i]; }
  void Skip(u32 *i) const {
    while (*i < n && key.ignore[t[*i]]) ++*i;
  }
  int Sign(u32 *i) const {
    u32 k;
    if ((k = MatchAt(t, *i, n, loc.negative)) != 0) {
      *i += k;
      return -1;
    }
    if ((k = MatchAt(t, *i, n, loc.positive)) != 0) *i += k;
    return 1;
  }

  NumberParts Read() const {
    NumberParts p = {1, 0, 0, 0, 0, 0};
    u32 i = 0;
    Skip(&i);
    if (!loc.signAfter) p.sign = Sign(&i);
    bool leading = true, nonZero = false;
    p.intBegin = p.intEnd = i;
    for (;;) {
      Skip(&i);
      if (i == n) break;
      if (MatchAt(t, i, n, loc.decimal)) break;
      const u32 k = MatchAt(t, i, n, loc.thousands);
      if (k) {
        i += k;
        continue;
      }
      const u8 c = At(i);
      if (!IsNumberDigit(c)) break;
      if (leading && c == '0') {
        i++;
        continue;
      }
      if (leading) p.intBegin = i, leading = false;
      p.intDigits++;
      p.intEnd = ++i;
    }
    if (leading) p.intBegin = p.intEnd = i;
    p.fracBegin = p.fracEnd = i;
    u32 k;
    if (i < n && (k = MatchAt(t, i, n, loc.decimal)) != 0) {
      i += k;
      p.fracBegin = p.fracEnd = i;
      for (;;) {
        Skip(&i);
        if (i == n) break;
        const u32 s = MatchAt(t, i, n, loc.thousands);
        if (s) {
          i += s;
          continue;
        }
        const u8 c = At(i);
        if (!IsNumberDigit(c)) break;
        nonZero |= c != '0';
        p.fracEnd = ++i;
      }
    }
    if (loc.signAfter) {
      Skip(&i);
      p.sign = Sign(&i);
    }
    if (p.intDigits == 0 && !nonZero) p.sign = 0;
    return p;
  }

  // The next digit in [*i, end) (0 when none is left: read as '0' by the
  // fraction's comparison).
  u8 NextDigit(u32 *i, u32 end) const {
    while (*i < end) {
      if (key.ignore[t[*i]]) {
        ++*i;
        continue;
      }
      const u32 k = MatchAt(t, *i, end, loc.thousands);
      if (k) {
        *i += k;
        continue;
      }
      const u8 c = At(*i);
      ++*i;
      if (IsNumberDigit(c)) return c;
    }
    return 0;
  }
};

}  // namespace

int CompareNumbers(const char *a, u32 an, const char *b, u32 bn, const PreparedKey &key, const PreparedKeys &keys) {
  const u8 *fold = key.ignoreCase ? keys.lower : nullptr;
  const NumberReader ra{reinterpret_cast<const u8 *>(a), an, key, keys.locale, fold};
  const NumberReader rb{reinterpret_cast<const u8 *>(b), bn, key, keys.locale, fold};
  const NumberParts pa = ra.Read(), pb = rb.Read();
  if (pa.sign != pb.sign) return pa.sign < pb.sign ? -1 : 1;
  if (pa.sign == 0) return 0;
  int r = 0;
  if (pa.intDigits != pb.intDigits) {
    r = pa.intDigits < pb.intDigits ? -1 : 1;
  } else {
    u32 i = pa.intBegin, j = pb.intBegin;
    for (u32 d = 0; d < pa.intDigits && !r; d++) {
      const u8 x = ra.NextDigit(&i, pa.intEnd), y = rb.NextDigit(&j, pb.intEnd);
      if (x != y) r = x < y ? -1 : 1;
    }
    i = pa.fracBegin, j = pb.fracBegin;
    while (!r && (i < pa.fracEnd || j < pb.fracEnd)) {
      u8 x = ra.NextDigit(&i, pa.fracEnd), y = rb.NextDigit(&j, pb.fracEnd);
      if (!x) x = '0';
      if (!y) y = '0';
      if (x != y) r = x < y ? -1 : 1;
    }
  }
  return pa.sign < 0 ? -r : r;
}

namespace {

// A number key's first 64 bits as it compares: two bits for the sign
// (negative, zero, positive), sixteen for the count of integer digits, then
// the first seven digits (integer digits, then the fraction's, padded with
// zeros) at six bits each; the magnitude's bits complemented for a negative
// number. Numbers of 65,535 integer digits or more have only their sign
// here, and equal prefixes leave the order to the full comparison. *whole:
// the prefix holds every digit (then equal prefixes are equal numbers).
u64 NumberPrefix(const u8 *t, u32 n, const PreparedKey &key, const PreparedKeys &keys, bool *whole) {
  const NumberReader r{t, n, key, keys.locale, key.ignoreCase ? keys.lower : nullptr};
  const NumberParts parts = r.Read();
  *whole = parts.sign == 0;
  if (parts.sign == 0) return u64{1} << 62;
  u64 magnitude = 0;
  if (parts.intDigits < 0xFFFF) {
    magnitude = static_cast<u64>(parts.intDigits) << 42;
    u32 i = parts.intBegin, f = parts.fracBegin;
    for (int d = 0; d < 7; d++) {
      u8 c = r.NextDigit(&i, parts.intEnd);
      if (!c) c = r.NextDigit(&f, parts.fracEnd);
      const u64 value = !c ? 0 : c <= '9' ? c - '0' : 10 + (c - 'a');
      magnitude |= value << (36 - 6 * d);
    }
    *whole = !r.NextDigit(&i, parts.intEnd) && !r.NextDigit(&f, parts.fracEnd);
  }
  constexpr u64 kMagnitude = (u64{1} << 58) - 1;
  return parts.sign < 0 ? (~magnitude & kMagnitude) : (u64{2} << 62) | magnitude;
}

inline void KeyPart(const char *line, u32 length, const PreparedKey &key, const u8 **p, u32 *n) {
  if (key.whole) {
    *p = reinterpret_cast<const u8 *>(line);
    *n = length;
    return;
  }
  u32 s, c;
  ExtractColumn(line, length, key.column, &s, &c);
  *p = reinterpret_cast<const u8 *>(line) + s;
  *n = c;
}

}  // namespace

namespace {

// CompareLines from key `first` on.
int CompareLinesFrom(const char *a, u32 aLength, const char *b, u32 bLength, const PreparedKeys &keys, int first) {
  for (int k = first; k < keys.count; k++) {
    const PreparedKey &key = keys.key[k];
    const u8 *pa, *pb;
    u32 na, nb;
    KeyPart(a, aLength, key, &pa, &na);
    KeyPart(b, bLength, key, &pb, &nb);
    const int r = key.numbers ? CompareNumbers(reinterpret_cast<const char *>(pa), na,
                                               reinterpret_cast<const char *>(pb), nb, key, keys)
                              : CompareText(pa, na, pb, nb, key, keys.lower);
    if (r) return key.descending ? -r : r;
  }
  return 0;
}

}  // namespace

int CompareLines(const char *a, u32 aLength, const char *b, u32 bLength, const PreparedKeys &keys) {
  return CompareLinesFrom(a, aLength, b, bLength, keys, 0);
}

// ---- the line writer ----

namespace {

// Lines [from, to) of a writer's list, each but the list's first after a
// newline, written from w on.
struct WriterPart {
  const char *text;
  const u8 *base;
  size_t stride;
  u32 from, to;
  const char *newline;
  u32 newlineLength;
  char *w;
};

u32 WriteLinePart(void *arg) {
  const WriterPart &p = *static_cast<const WriterPart *>(arg);
  char *w = p.w;
  // The lines lie anywhere in the text: their starts are fetched a few lines
  // ahead so that the copies do not wait on memory one by one.
  constexpr u32 kAhead = 16;
  for (u32 i = p.from; i < p.to; i++) {
    const LineSpan *l = reinterpret_cast<const LineSpan *>(p.base + i * p.stride);
    if (i + kAhead < p.to)
      __builtin_prefetch(p.text + reinterpret_cast<const LineSpan *>(p.base + (i + kAhead) * p.stride)->start);
    if (i) {
      MemCopy(w, p.newline, p.newlineLength);
      w += p.newlineLength;
    }
    if (l->length) MemCopy(w, p.text + l->start, l->length);  // an empty input has no text
    w += l->length;
  }
  return 0;
}

// Lists this long are written in two halves at once, the second on a
// thread of its own (the copies mostly wait on memory).
constexpr u32 kSplitLines = 1u << 20;

}  // namespace

int WriteLines(const char *text, const void *lines, size_t stride, u32 count, const char *newline, u32 newlineLength,
               ToolDocument *out) {
  const u8 *base = static_cast<const u8 *>(lines);
  const u32 half = count / 2;
  u64 total = count ? static_cast<u64>(count - 1) * newlineLength : 0, firstHalf = 0;
  for (u32 i = 0; i < count; i++) {
    if (i == half) firstHalf = total - static_cast<u64>(count - half) * newlineLength;
    total += reinterpret_cast<const LineSpan *>(base + i * stride)->length;
  }
  if (ToolDocumentReserve(out, total + 1) != 0) return -1;
  WriterPart first = {text, base, stride, 0, count, newline, newlineLength, out->text};
  PlatThread thread = nullptr;
  WriterPart second = first;
  if (count >= kSplitLines) {
    // The second half starts with the newline before its first line.
    first.to = second.from = half;
    second.w = out->text + firstHalf;
    thread = PlatThreadStart(WriteLinePart, &second);
    if (!thread) WriteLinePart(&second);
  }
  WriteLinePart(&first);
  if (thread) PlatThreadJoin(thread);
  out->length = static_cast<u32>(total);
  out->text[out->length] = 0;
  return 0;
}

namespace {

// ---- the line array ----

struct SortItem {
  LineSpan line;  // first: the writer reads it
  u64 prefix;
};
static_assert(sizeof(SortItem) == 16, "sort items are two words");

// The duplicate tools' item: also the line's index in the text.
struct IndexedItem {
  LineSpan line;
  u64 prefix;
  u32 index;
};

// An array of `count` records of `size` bytes; null when it cannot be had
// (the size is checked in 64 bits).
void *AllocateArray(u64 count, u64 size) {
  const u64 bytes = count * size;
  if (count > 0xFFFFFFFFull || bytes > static_cast<u64>(SIZE_MAX)) return nullptr;
  return Allocate(static_cast<size_t>(bytes ? bytes : 1));
}

// The lines of the input and the length of the longest.
u32 CountLines(const ToolDocument *in, u32 *longest) {
  LineWalker w(in->text, in->length);
  LineBounds l;
  u32 n = 0;
  *longest = 0;
  for (; w.Next(&l); n++)
    if (l.textEnd - l.start > *longest) *longest = l.textEnd - l.start;
  return n;
}

// The first key's first 64 bits as it compares (for text, its first eight
// bytes big-endian, padded with zeros: a shorter key and a zero byte compare
// as the full comparison does or tie; for numbers, NumberPrefix), inverted
// for a descending key: lines with different prefixes are in that order.
// *whole: the prefix holds the whole key (for text, at most eight bytes and
// no zero byte among them), so that lines with equal prefixes have equal
// first keys.
u64 KeyPrefix(const char *line, u32 length, const PreparedKeys &keys, bool *whole) {
  *whole = true;
  if (keys.count == 0) return 0;
  const PreparedKey &key = keys.key[0];
  const u8 *p;
  u32 n;
  KeyPart(line, length, key, &p, &n);
  if (key.numbers) {
    const u64 v = NumberPrefix(p, n, key, keys, whole);
    return key.descending ? ~v : v;
  }
  u64 v = 0;
  int taken = 0;
  const u8 *fold = key.ignoreCase ? keys.lower : nullptr;
  u32 i = 0;
  for (; i < n && taken < 8; i++) {
    if (key.ignore[p[i]]) continue;
    const u8 c = fold ? fold[p[i]] : p[i];
    *whole = *whole && c != 0;
    v = (v << 8) | c;
    taken++;
  }
  for (; i < n && *whole; i++) *whole = key.ignore[p[i]] != 0;
  v <<= 8 * (8 - taken) % 64;
  if (taken == 0) v = 0;
  return key.descending ? ~v : v;
}

// Set in a line's length when its prefix holds its whole first key; only
// while no line is as long as the bit (Sorter::wholeBit is 0 then).
constexpr u32 kWholeKeyBit = 0x80000000u;

// Progress in 64 bits (passes x lines + 1 passes 32 bits from about 80
// million lines), handed to the runner scaled to lines; the cancel flag read
// every 1,024 elements.
struct Progress {
  u64 done = 0;
  u64 scale = 1;  // elements per reported line
  u64 reported = 0;
  bool Advance(u64 units) {
    done += units;
    const u64 lines = done / scale;
    if (lines > reported) {
      ToolProgress(static_cast<u32>(lines - reported));
      reported = lines;
    }
    return ToolCancelled();
  }
};

struct Sorter {
  const char *text;
  const PreparedKeys *keys;
  u32 wholeBit;  // kWholeKeyBit when the lines' lengths carry it, else 0
  template <typename Item>
  bool Greater(const Item &x, const Item &y) const {
    if (x.prefix != y.prefix) return x.prefix > y.prefix;
    // Equal prefixes that both hold their whole first key: the order is the
    // later keys' (a tie when there are none).
    const int first = (x.line.length & y.line.length & wholeBit) ? 1 : 0;
    if (first >= keys->count) return false;
    const u32 mask = ~wholeBit;
    return CompareLinesFrom(text + x.line.start, x.line.length & mask, text + y.line.start, y.line.length & mask,
                            *keys, first) > 0;
  }
};

// The bottom-up merge sort: runs of eight lines sorted by insertion first,
// then runs of 8, 16, 32, ... merged between the array and the scratch
// array; the runs are written where the parity of the merge passes makes
// the last pass end in `a`. Equal lines keep their order (an insertion stops
// at an equal line; a merge takes the left run's line first). The merge
// picks its next line without a branch on the comparison, whose outcome is
// a coin toss. False when cancelled.
template <typename Item>
bool MergeSort(Item *a, Item *scratch, u32 n, const Sorter &s, Progress *progress) {
  constexpr u32 kRun = 8;
  u32 passes = 0;
  for (u64 width = kRun; width < n; width *= 2) passes++;
  progress->scale = passes + 1;
  Item *src = (passes & 1) ? scratch : a;
  u32 tick = 0;
  for (u32 lo = 0; lo < n; lo += kRun) {
    const u32 hi = n - lo < kRun ? n : lo + kRun;
    for (u32 i = lo; i < hi; i++) {
      const Item x = a[i];
      u32 k = i;
      for (; k > lo && s.Greater(src[k - 1], x); k--) src[k] = src[k - 1];
      src[k] = x;
    }
    if ((tick += hi - lo) >= 1024) {
      if (progress->Advance(tick)) return false;
      tick = 0;
    }
  }
  Item *dst = src == a ? scratch : a;
  for (u64 width = kRun; width < n; width *= 2) {
    for (u64 lo = 0; lo < n; lo += 2 * width) {
      const u32 mid = static_cast<u32>(lo + width < n ? lo + width : n);
      const u32 hi = static_cast<u32>(lo + 2 * width < n ? lo + 2 * width : n);
      u32 i = static_cast<u32>(lo), j = mid, o = static_cast<u32>(lo);
      while (i < mid && j < hi) {
        // The line to take is picked by arithmetic on its index: a branch
        // on the comparison would be mispredicted half the time.
        const u64 pi = src[i].prefix, pj = src[j].prefix;
        const u32 right = pi != pj ? pi > pj : s.Greater(src[i], src[j]);
        dst[o++] = src[i ^ ((i ^ j) & (0u - right))];
        j += right;
        i += right ^ 1;
        if (++tick >= 1024) {
          if (progress->Advance(tick)) return false;
          tick = 0;
        }
      }
      if (i < mid) MemCopy(dst + o, src + i, (mid - i) * sizeof *dst);
      if (j < hi) MemCopy(dst + o, src + j, (hi - j) * sizeof *dst);
      tick += (mid - i) + (hi - j);
    }
    Item *t = src;
    src = dst;
    dst = t;
  }
  return !progress->Advance(tick);
}

// The lines of the input into a new array (prefixes by the keys when given,
// and kWholeKeyBit in the lengths when *wholeBit says so).
template <typename Item = SortItem>
Item *CollectLines(const ToolDocument *in, const PreparedKeys *keys, u32 *count, u32 *wholeBit = nullptr) {
  u32 longest = 0;
  const u32 n = CountLines(in, &longest);
  Item *items = static_cast<Item *>(AllocateArray(n, sizeof(Item)));
  if (!items) return nullptr;
  const u32 bit = keys && longest < kWholeKeyBit ? kWholeKeyBit : 0;
  if (wholeBit) *wholeBit = bit;
  LineWalker w(in->text, in->length);
  LineBounds l;
  u32 k = 0;
  bool whole = false;
  while (w.Next(&l)) {
    Item &it = items[k++];
    it.line = LineSpan{l.start, l.textEnd - l.start};
    it.prefix = keys ? KeyPrefix(in->text + l.start, it.line.length, *keys, &whole) : 0;
    if (whole) it.line.length |= bit;
    if constexpr (sizeof(Item) > sizeof(SortItem)) it.index = k - 1;
  }
  *count = n;
  return items;
}

const char *NewlineOf(const SortRequest *r, u32 *length) {
  if (r->newlineLength == 0) {
    const char *nl = ToolNewline();
    *length = nl[1] ? 2 : 1;
    return nl;
  }
  *length = r->newlineLength == 1 ? 1 : 2;
  return r->newline;
}

}  // namespace

int SortLinesTool(const ToolDocument *in, ToolDocument *out, ToolParam param) {
  const SortRequest *request = reinterpret_cast<const SortRequest *>(param);
  PreparedKeys *keys = static_cast<PreparedKeys *>(Allocate(sizeof(PreparedKeys)));
  if (!keys) return kResultOutOfMemory;
  PrepareSortKeys(request->keys, kSortKeys, request->locale, keys);
  u32 t0 = PlatTickCount();
  u32 n = 0;
  u32 wholeBit = 0;
  SortItem *items = CollectLines(in, keys, &n, &wholeBit);
  if (request->times) request->times->collect = PlatTickCount() - t0, t0 = PlatTickCount();
  SortItem *scratch = items && n > 1 ? static_cast<SortItem *>(AllocateArray(n, sizeof(SortItem))) : nullptr;
  int r = 0;
  if (!items || (n > 1 && !scratch)) {
    r = kResultOutOfMemory;
  } else {
    Progress progress;
    const Sorter sorter{in->text, keys, wholeBit};
    if (n > 1 && !MergeSort(items, scratch, n, sorter, &progress)) {
      r = 0;  // cancelled: the runner sees the flag
    } else {
      if (wholeBit)
        for (u32 i = 0; i < n; i++) items[i].line.length &= ~wholeBit;
      if (request->times) request->times->sort = PlatTickCount() - t0, t0 = PlatTickCount();
      u32 nl;
      const char *newline = NewlineOf(request, &nl);
      r = WriteLines(in->text, items, sizeof *items, n, newline, nl, out) == 0 ? 0 : kResultOutOfMemory;
      if (request->times) request->times->write = PlatTickCount() - t0;
      progress.scale = 1;
      ToolProgress(1);
    }
  }
  Free(scratch);
  Free(items);
  Free(keys);
  return r;
}

int ShuffleLinesTool(const ToolDocument *in, ToolDocument *out, ToolParam param) {
  const SortRequest *request = reinterpret_cast<const SortRequest *>(param);
  u32 n = 0;
  SortItem *items = CollectLines(in, nullptr, &n);
  if (!items) return kResultOutOfMemory;
  u32 tick = 0;
  for (u32 k = n; k >= 2; k--) {
    const u32 j = static_cast<u32>(Random()) % k;
    const SortItem t = items[k - 1];
    items[k - 1] = items[j];
    items[j] = t;
    if (++tick == 1024) {
      ToolProgress(tick);
      tick = 0;
      if (ToolCancelled()) {
        Free(items);
        return 0;
      }
    }
  }
  ToolProgress(tick);
  u32 nl;
  const char *newline = NewlineOf(request, &nl);
  const int r = WriteLines(in->text, items, sizeof *items, n, newline, nl, out) == 0 ? 0 : kResultOutOfMemory;
  Free(items);
  return r;
}

void QuickSortRequest(bool descending, SortRequest *request) {
  MemZero(request, sizeof *request);
  SortKey &k = request->keys[0];
  k.Use = 1;
  k.Dsc = descending;
  k.IC = g_settings.main.TSortIC != 0;
  request->locale = CurrentNumberLocale();
  request->newlineLength = 0;  // the document's
}

// ---- duplicates ----

namespace {

constexpr u32 kDuplicate = 0xFFFFFFFFu;

// Each line's part in its run of equal lines: kDuplicate for a line that an
// earlier line equals, else the number of later lines equal to it. Null when
// memory ran out or the run was cancelled (*cancelled set).
u32 *MarkDuplicates(const ToolDocument *doc, const PreparedKeys &keys, u32 *count, bool *cancelled) {
  *cancelled = false;
  u32 n = 0;
  u32 wholeBit = 0;
  IndexedItem *items = CollectLines<IndexedItem>(doc, &keys, &n, &wholeBit);
  IndexedItem *scratch = items && n > 1 ? static_cast<IndexedItem *>(AllocateArray(n, sizeof(IndexedItem))) : nullptr;
  u32 *marks = items && (n < 2 || scratch) ? static_cast<u32 *>(AllocateArray(n, sizeof(u32))) : nullptr;
  Progress progress;
  const Sorter sorter{doc->text, &keys, wholeBit};
  if (marks && n > 1 && !MergeSort(items, scratch, n, sorter, &progress)) {
    *cancelled = true;
    Free(marks);
    marks = nullptr;
  }
  if (marks) {
    // The stable sort puts equal lines next to each other in text order:
    // the first of each run is the one the others duplicate.
    for (u32 i = 0; i < n;) {
      u32 j = i + 1;
      while (j < n && !sorter.Greater(items[j], items[i]) && !sorter.Greater(items[i], items[j])) {
        marks[items[j].index] = kDuplicate;
        j++;
      }
      marks[items[i].index] = j - i - 1;
      i = j;
    }
  }
  Free(scratch);
  Free(items);
  *count = n;
  return marks;
}

inline bool BlankText(const char *p, u32 n) {
  for (u32 i = 0; i < n; i++)
    if (!(CharType(static_cast<u8>(p[i])) & kC1Space)) return false;
  return true;
}

// The "(n) " a counted line begins with.
u32 FormatCount(u32 occurrences, char *out) {
  char digits[12];
  u32 d = 0;
  do digits[d++] = static_cast<char>('0' + occurrences % 10); while (occurrences /= 10);
  u32 k = 0;
  out[k++] = '(';
  while (d) out[k++] = digits[--d];
  out[k++] = ')';
  out[k++] = ' ';
  return k;
}

}  // namespace

int FindDuplicates(ToolDocument *doc, ToolParam param) {
  const DuplicatesSettings *s = reinterpret_cast<const DuplicatesSettings *>(param);
  SortKey key;
  MemZero(&key, sizeof key);
  key.Use = 1;
  key.IC = s->ignoreCase;
  PreparedKeys *keys = static_cast<PreparedKeys *>(Allocate(sizeof(PreparedKeys)));
  if (!keys) return kResultOutOfMemory;
  PrepareSortKeys(&key, 1, CurrentNumberLocale(), keys);
  u32 n = 0;
  bool cancelled = false;
  u32 *marks = MarkDuplicates(doc, *keys, &n, &cancelled);
  Free(keys);
  if (!marks) return cancelled ? 0 : kResultOutOfMemory;
  const bool counting = s->count && (s->job == 0 || s->job == 2);
  // What becomes of line k: kept (with its count when counting) or deleted.
  auto keep = [&](u32 k, const LineBounds &l) {
    if (s->leaveEmpty && BlankText(doc->text + l.start, l.textEnd - l.start)) return true;
    if (marks[k] == kDuplicate) return false;
    return s->job == 0 || (s->job == 1 ? marks[k] == 0 : marks[k] > 0);
  };
  auto counted = [&](u32 k, const LineBounds &l) {
    return counting && marks[k] != kDuplicate && !(s->leaveEmpty && BlankText(doc->text + l.start, l.textEnd - l.start));
  };
  // The size first: the counts may make the text longer.
  u64 total = 0;
  {
    LineWalker w(doc->text, doc->length);
    LineBounds l;
    char room[16];
    for (u32 k = 0; w.Next(&l); k++)
      if (keep(k, l)) total += (l.end - l.start) + (counted(k, l) ? FormatCount(marks[k] + 1, room) : 0);
  }
  ToolDocument out = {};
  if (ToolDocumentReserve(&out, total + 1) != 0) {
    Free(marks);
    return kResultOutOfMemory;
  }
  LineWalker w(doc->text, doc->length);
  LineBounds l;
  char *o = out.text;
  u32 lastNewline = 0;  // the length of the newline the output ends with
  bool lastDeleted = false;
  for (u32 k = 0; w.Next(&l); k++) {
    lastDeleted = !keep(k, l);
    if (lastDeleted) continue;
    if (counted(k, l)) o += FormatCount(marks[k] + 1, o);
    MemCopy(o, doc->text + l.start, l.end - l.start);
    o += l.end - l.start;
    lastNewline = l.end - l.textEnd;
    if ((k & 0xFFFF) == 0) ToolProgress(1);
  }
  // A deleted last line takes the newline before it along.
  if (lastDeleted) o -= lastNewline;
  Free(marks);
  out.length = static_cast<u32>(o - out.text);
  out.text[out.length] = 0;
  ToolDocumentTake(doc, &out);
  ToolDocumentFree(&out);
  return 0;
}

void StoredSortRequest(SortRequest *request) {
  static_assert(sizeof request->keys == sizeof g_settings.tools.sort, "the five stored keys");
  MemZero(request, sizeof *request);
  MemCopy(request->keys, g_settings.tools.sort, sizeof request->keys);
  request->locale = CurrentNumberLocale();
  request->newlineLength = 0;  // the document's
}
