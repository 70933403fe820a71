// The row index side of edits: which rows an edit rewrites, the rows that
// replace them (found by scanning only the inserted bytes), and the layout of
// a hard line into wrapped rows.
#include <string.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "document/store_internal.h"
#include "foundation/bytes.h"
#include "foundation/helper_thread.h"

const char *FindNewline(const char *p, const char *end) {
#if defined(__SSE2__)
  // Sixteen bytes at a time: a row of an ordinary text is found in a few
  // steps.
  const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
    if (mask) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
  while (p < end) {
    if (*p == '\n' || *p == '\r') return p;
    p++;
  }
  return end;
#else
  typedef size_t Word;
  const Word ones = static_cast<Word>(-1) / 255;
  const Word high = ones * 0x80;
  const Word lf = ones * '\n', cr = ones * '\r';
  while (p < end && (reinterpret_cast<uintptr_t>(p) & (sizeof(Word) - 1))) {
    if (*p == '\n' || *p == '\r') return p;
    p++;
  }
  while (static_cast<size_t>(end - p) >= sizeof(Word)) {
    Word w;
    memcpy(&w, p, sizeof w);
    Word x = w ^ lf, y = w ^ cr;
    // Nonzero exactly when some byte of x or of y is zero.
    if ((((x - ones) & ~x) | ((y - ones) & ~y)) & high) break;
    p += sizeof(Word);
  }
  while (p < end) {
    if (*p == '\n' || *p == '\r') return p;
    p++;
  }
  return end;
#endif
}

u32 CountNewlines(const char *p, const char *end) {
  const char *const start = p;
  u32 count = 0;
#if defined(__SSE2__)
  if (end - p > 16) {
    // Each byte that is a CR, or an LF after something else, starts one:
    // sixteen bytes at a time, counted in byte lanes emptied every 255 steps.
    count += *p == '\n' || *p == '\r';
    p++;
    const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), zero = _mm_setzero_si128();
    while (end - p >= 16) {
      __m128i lanes = zero;
      for (int i = 0; i < 255 && end - p >= 16; i++, p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p - 1));
        const __m128i lone = _mm_andnot_si128(_mm_cmpeq_epi8(before, cr), _mm_cmpeq_epi8(v, lf));
        lanes = _mm_sub_epi8(lanes, _mm_or_si128(_mm_cmpeq_epi8(v, cr), lone));
      }
      const __m128i sums = _mm_sad_epu8(lanes, zero);
      count += static_cast<u32>(_mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
    }
  }
#endif
  for (; p < end; p++) count += *p == '\r' || (*p == '\n' && !(p > start && p[-1] == '\r'));
  return count;
}

namespace {

splice::GapRows Rows(TextStore *s) { return splice::GapRows{s}; }
splice::GapRows Rows(const TextStore *s) { return splice::GapRows{const_cast<TextStore *>(s)}; }

// Turns the window's head, the inserted bytes and the window's tail into rows:
// Emit(textLength, newlineLength, newlineType) for each, in order.
template <class Sink>
class RowScanner {
 public:
  RowScanner(Sink *sink, const RowWindow &w) : sink_(sink), cur_(w.headLength), pendingCR_(w.headCR) {}

  void Feed(const char *p, u32 n) {
    const char *end = p + n;
    if (pendingCR_ && p < end) {
      pendingCR_ = false;
      if (*p == '\n') {
        sink_->Emit(cur_, 2, kNewlineCRLF);
        p++;
      } else {
        sink_->Emit(cur_, 1, kNewlineCR);
      }
      cur_ = 0;
    }
    if constexpr (Sink::kCounts) {
      // A sink that only counts rows needs no row's length: the newlines
      // are counted in bulk, a final CR left for the next piece to decide.
      if (p < end) {
        if (end[-1] == '\r') {
          pendingCR_ = true;
          end--;
        }
        sink_->Newlines(CountNewlines(p, end));
      }
      return;
    }
    while (p < end) {
      const char *q = FindNewline(p, end);
      cur_ += static_cast<u32>(q - p);
      if (q == end) break;
      if (*q == '\n') {
        sink_->Emit(cur_, 1, kNewlineLF);
        p = q + 1;
      } else if (q + 1 == end) {
        pendingCR_ = true;  // the next piece (or the tail) decides
        p = end;
        break;
      } else if (q[1] == '\n') {
        sink_->Emit(cur_, 2, kNewlineCRLF);
        p = q + 2;
      } else {
        sink_->Emit(cur_, 1, kNewlineCR);
        p = q + 1;
      }
      cur_ = 0;
    }
  }

  void Finish(const RowWindow &w) {
    if (pendingCR_) {
      if (w.tailLength == 0 && w.tailNewlineType == kNewlineLF) {
        sink_->Emit(cur_, 2, kNewlineCRLF);  // the CR meets the LF after the edit
        return;
      }
      sink_->Emit(cur_, 1, kNewlineCR);
      cur_ = 0;
    }
    sink_->Emit(cur_ + w.tailLength, w.tailNewlineLength, w.tailNewlineType);
  }

 private:
  Sink *sink_;
  u32 cur_;
  bool pendingCR_;
};

// Feeds [from, to) of a source to a row scanner that starts with the
// window's head (first) or with nothing (after a cut), and ends with the
// window's tail when it is the last.
template <class Sink>
struct HalfScan {
  const ByteSource *src;
  u32 from, to;
  const RowWindow *window;
  Sink *sink;
  bool first, last;
  static u32 Run(void *context) {
    const HalfScan *h = static_cast<const HalfScan *>(context);
    const RowWindow none = {};
    // The sink works on this thread's stack, not beside the other half's.
    Sink sink = *h->sink;
    RowScanner<Sink> scan(&sink, h->first ? *h->window : none);
    ForEachSourcePieceIn(*h->src, h->from, h->to, [&](const char *piece, u32 n) {
      scan.Feed(piece, n);
      return true;
    });
    if (h->last) scan.Finish(*h->window);
    *h->sink = sink;
    return 0;
  }
};

struct CountSink {
  static constexpr bool kCounts = true;
  u64 rows = 0;
  u32 hard = 0;
  void Emit(u32, u8 nl, u8) {
    rows++;
    if (nl) hard++;
  }
  void Newlines(u32 n) {
    rows += n;
    hard += n;
  }
};

struct PutSink {
  static constexpr bool kCounts = false;
  splice::Writer<splice::GapRows, RowGroup> *writer;
  u32 abs;
  u32 hard;
  void Newlines(u32) {}
  void Emit(u32 len, u8 nl, u8 type) {
    writer->Put(Row{0, 0, len, nl, type, 0}, abs, hard);
    abs += len + nl;
    if (nl) hard++;
  }
};

void WindowAt(const TextStore *s, u32 a, u32 b, RowWindow *w, const EditLookup *look) {
  u32 ra = RowOfPosition(s, a, look);
  const Row &rowA = RowAt(s, ra);
  const u32 rs = RowGroupStart(s, rowA.group) + rowA.start;
  if (a > rs + rowA.textLength) {
    // Between the CR and the LF of a CR LF.
    w->first = ra;
    w->headLength = rowA.textLength;
    w->headCR = true;
  } else if (a == rs && ra > 0 && RowAt(s, ra - 1).newlineType == kNewlineCR) {
    // Right after a lone CR, which an LF at a would join.
    w->first = ra - 1;
    w->headLength = RowAt(s, ra - 1).textLength;
    w->headCR = true;
  } else {
    w->first = ra;
    w->headLength = a - rs;
    w->headCR = false;
  }
  const u32 rb = (b < rs + rowA.textLength + rowA.newlineLength || ra + 1 == RowCount(s)) ? ra : RowOfPosition(s, b);
  const Row &rowB = rb == ra ? rowA : RowAt(s, rb);
  const u32 bs = rb == ra ? rs : RowGroupStart(s, rowB.group) + rowB.start;
  w->last = rb;
  if (b > bs + rowB.textLength) {
    // Between a CR and an LF: what is left of the newline is the LF.
    w->tailLength = 0;
    w->tailNewlineLength = 1;
    w->tailNewlineType = kNewlineLF;
  } else {
    w->tailLength = bs + rowB.textLength - b;
    w->tailNewlineLength = rowB.newlineLength;
    w->tailNewlineType = rowB.newlineType;
  }
  const Row &first = w->first == ra ? rowA : RowAt(s, w->first);
  w->start = w->first == ra ? rs : RowGroupStart(s, first.group) + first.start;
  w->hard = RowGroupHardBase(s, first.group) + static_cast<u32>(first.hardLine);
  const u32 lastHard = RowGroupHardBase(s, rowB.group) + static_cast<u32>(rowB.hardLine);
  w->oldHardNewlines = lastHard - w->hard + (rowB.newlineLength ? 1 : 0);
}

// Where the rows of a long insertion are cut in two: the offset just after
// the `skip`-th newline that ends after `from` (from itself when skip is 0),
// which must be an LF; 0 when there is none such (a lone CR there, or the
// text's end first).
u32 CutAfterNewlines(const ByteSource &src, u32 from, u32 skip) {
  if (skip == 0) return from;
  u32 at = from, cut = 0;
  bool cr = false;  // the byte before `at` is a CR
  ForEachSourcePieceIn(src, from, src.length, [&](const char *p, u32 n) {
    for (u32 k = 0; k < n; k++, at++) {
      const char c = p[k];
      if (cr && c != '\n' && --skip == 0) return false;  // a lone CR ends the row before `at`
      cr = c == '\r';
      if (c == '\n' && --skip == 0) {
        cut = at + 1;
        return false;
      }
    }
    return true;
  });
  return cut;
}

// The first LF at or after the middle of a long insertion: its rows are
// counted and laid out in two halves from there. 0: not cut.
u32 MiddleCut(const ByteSource &src) {
  if (src.length < g_rowHalvesBytes || src.length < 2) return 0;
  u32 at = src.length / 2, cut = 0;
  ForEachSourcePieceIn(src, at, src.length, [&](const char *p, u32 n) {
    const void *lf = MemFindByte(p, '\n', n);
    if (lf) cut = at + static_cast<u32>(static_cast<const char *>(lf) - p) + 1;
    at += n;
    return lf == nullptr;
  });
  return cut < src.length ? cut : 0;
}

}  // namespace

u32 g_rowHalvesBytes = 4u << 20;

int PlanRowInsert(const TextStore *s, u32 p, const ByteSource &src, RowEdit *edit, const EditLookup *look) {
  WindowAt(s, p, p, &edit->window, look);
  CountSink count;
  edit->cut = MiddleCut(src);
  edit->cutRows = 0;
  if (edit->cut) {
    CountSink rest;
    HalfScan<CountSink> first = {&src, 0, edit->cut, &edit->window, &count, true, false};
    HalfScan<CountSink> second = {&src, edit->cut, src.length, &edit->window, &rest, false, true};
    RunBeside(HalfScan<CountSink>::Run, &first, &second);
    edit->cutRows = static_cast<u32>(count.rows);
    count.rows += rest.rows;
    count.hard += rest.hard;
  } else {
    RowScanner<CountSink> scan(&count, edit->window);
    ForEachSourcePiece(src, [&](const char *piece, u32 n) { scan.Feed(piece, n); });
    scan.Finish(edit->window);
  }
  u64 replaced = edit->window.last - edit->window.first + 1;
  if (s->rows.count - replaced + count.rows > 0xFFFFFFFFull) return -1;
  edit->rows = static_cast<u32>(count.rows);
  edit->hardNewlines = count.hard;
  edit->plan = splice::PlanSplice(splice::RowGroups(s), Rows(s), edit->window.first, edit->window.last + 1, edit->rows, g_storeLimits.rowGroupFill);
  return 0;
}

void PlanRowDelete(const TextStore *s, u32 a, u32 b, RowEdit *edit, const EditLookup *look) {
  WindowAt(s, a, b, &edit->window, look);
  CountSink count;
  RowScanner<CountSink> scan(&count, edit->window);
  scan.Finish(edit->window);
  edit->rows = static_cast<u32>(count.rows);
  edit->hardNewlines = count.hard;
  edit->plan = splice::PlanSplice(splice::RowGroups(s), Rows(s), edit->window.first, edit->window.last + 1, edit->rows, g_storeLimits.rowGroupFill);
  edit->cut = edit->cutRows = 0;
}

void PrefetchRowEdit(const TextStore *s, const RowEdit &edit) {
  // The rows after the edit in its group and the groups after it in its span
  // are rewritten at the end of the edit; asked for now, they arrive while
  // the blocks change.
  const splice::Plan &p = edit.plan;
  if (!p.hadGroups) return;
  const u32 groupEnd = RowGroupFirst(s, p.gB) + s->rowGroups.entries[p.gB].count;
  for (u32 i = edit.window.last + 1; i < groupEnd;) {
    u32 runEnd;
    const Row *run = RowRun(s, i, groupEnd, &runEnd);
    for (u32 k = 0; k < runEnd - i; k += 4) __builtin_prefetch(run + k, 1);
    i = runEnd;
  }
  const u32 mask = (1u << g_storeLimits.rowSpanBits) - 1;
  u32 spanEnd = (p.gB | mask) + 1;
  if (spanEnd > s->rowGroups.count) spanEnd = s->rowGroups.count;
  for (u32 g = p.gB + 1; g < spanEnd; g += 4) __builtin_prefetch(&s->rowGroups.entries[g], 1);
}

int ReserveRowGroups(TextStore *s, const splice::Plan &plan) {
  const u32 groups = splice::GroupsNeeded(plan, s->rowGroups);
  if (!GrowRows(s, splice::ItemsNeeded(plan, s->rows.count), plan.i0, plan.i1) || !GrowTable(&s->rowGroups, groups) ||
      !GrowTable(&s->rowShifts, splice::SpansFor(groups, g_storeLimits.rowSpanBits))) {
    return -1;
  }
  return 0;
}

int ReserveRows(TextStore *s, const RowEdit &edit) { return ReserveRowGroups(s, edit.plan); }

namespace {

typedef splice::Writer<splice::GapRows, RowGroup> RowWriter;

// Puts a cut insertion's rows in two halves at once, the second from the
// first new row group that starts at the cut or after it (and before the
// rows the insertion ends): then the writer stands after them. False (the
// writer untouched) when no group starts there.
bool PutInHalves(RowWriter &writer, const RowEdit &edit, const ByteSource &src) {
  const RowWindow &w = edit.window;
  const u32 i0 = edit.plan.i0;
  u32 k = 0;
  const u32 j = writer.GroupFrom(i0 + edit.cutRows, &k);
  const u32 cut = j && k < i0 + edit.rows ? CutAfterNewlines(src, edit.cut, k - i0 - edit.cutRows) : 0;
  if (!cut) return false;
  // The writers change with every row: each on a cache line of its own.
  struct alignas(64) OwnLine {
    RowWriter writer;
  };
  OwnLine one = {writer}, two = {writer};
  two.writer.StartAtGroup(j);
  // The first half's rows all end in a newline: the second's hard lines
  // follow on from as many.
  const u32 at = w.start + w.headLength + (w.headCR ? 1 : 0);
  PutSink put{&one.writer, w.start, w.hard}, put2{&two.writer, at + cut, w.hard + (k - i0)};
  HalfScan<PutSink> first = {&src, 0, cut, &w, &put, true, false};
  HalfScan<PutSink> second = {&src, cut, src.length, &w, &put2, false, true};
  RunBeside(HalfScan<PutSink>::Run, &first, &second);
  writer.TakeOver(two.writer);
  return true;
}

}  // namespace

void CommitRows(TextStore *s, const RowEdit &edit, const ByteSource &src, u32 dStart) {
  const RowWindow &w = edit.window;
  RowWriter writer(Rows(s), splice::RowGroups(s), edit.plan, dStart, edit.hardNewlines - w.oldHardNewlines);
  writer.Begin();
  if (!edit.cut || !PutInHalves(writer, edit, src)) {
    PutSink put{&writer, w.start, w.hard};
    RowScanner<PutSink> scan(&put, w);
    ForEachSourcePiece(src, [&](const char *piece, u32 n) { scan.Feed(piece, n); });
    scan.Finish(w);
  }
  writer.Finish();
}

int SetHardLineRows(TextStore *s, u32 firstRow, const u32 *lengths, u32 count) {
  if (s->noRowIndex || firstRow >= s->rows.count || count == 0) return -2;
  if (firstRow > 0 && RowAt(s, firstRow - 1).newlineLength == 0) return -2;  // not a hard line's first row
  const u32 lastRow = LastRowOfHardLine(s, firstRow);
  const u32 start = RowStart(s, firstRow);
  u64 sum = 0;
  for (u32 i = 0; i < count; i++) {
    // A wrapped row spans at least one byte; the last one has the newline.
    if (lengths[i] == 0 && i + 1 < count) return -2;
    sum += lengths[i];
  }
  if (sum != RowTextEnd(s, lastRow) - start) return -2;
  splice::Plan plan = splice::PlanSplice(splice::RowGroups(s), Rows(s), firstRow, lastRow + 1, count, g_storeLimits.rowGroupFill);
  if (ReserveRowGroups(s, plan) != 0) return -1;
  const Row last = RowAt(s, lastRow);
  const u32 hard = RowHardLine(s, firstRow);
  splice::Writer<splice::GapRows, RowGroup> writer(Rows(s), splice::RowGroups(s), plan, 0, 0);
  writer.Begin();
  u32 abs = start;
  for (u32 i = 0; i < count; i++) {
    bool isLast = i == count - 1;
    writer.Put(Row{0, 0, lengths[i], isLast ? last.newlineLength : u8(0), isLast ? last.newlineType : u8(0), 0},
               abs, hard);
    abs += lengths[i];
  }
  writer.Finish();
  return 0;
}

int SetRowsOfHardLines(TextStore *s, u32 firstRow, u32 lastRow, const u32 *rows, u32 count) {
  if (s->noRowIndex || firstRow > lastRow || lastRow >= s->rows.count || count == 0) return -2;
  if (firstRow > 0 && RowAt(s, firstRow - 1).newlineLength == 0) return -2;  // not a hard line's first row
  if (lastRow + 1 < s->rows.count && RowAt(s, lastRow).newlineLength == 0) return -2;  // not a hard line's last row
  const u32 firstHard = RowHardLine(s, firstRow);
  const u32 lines = RowHardLine(s, lastRow) - firstHard + 1;
  // The newline of each hard line, (length, type), taken before the splice
  // writes over the old rows.
  u8 *newlines = static_cast<u8 *>(Allocate(lines));
  if (!newlines) return -1;
  u32 k = 0, line = 0;
  bool fits = true;
  for (u32 r = firstRow; fits && r <= lastRow; r++, line++) {
    const u32 start = RowStart(s, r);
    while (r < lastRow && RowAt(s, r).newlineLength == 0) r++;
    const Row &end = RowAt(s, r);
    newlines[line] = static_cast<u8>(end.newlineLength | (end.newlineType << 2));
    const u64 text = RowTextEnd(s, r) - start;
    u64 sum = 0;
    for (;;) {
      if (k >= count) {
        fits = false;
        break;
      }
      const u32 entry = rows[k++];
      const u32 length = entry & ~kRowEndsLine;
      sum += length;
      if (entry & kRowEndsLine) break;
      if (length == 0) fits = false;  // a wrapped row spans at least one byte
    }
    if (sum != text) fits = false;
  }
  if (!fits || k != count || line != lines) {
    Free(newlines);
    return -2;
  }
  splice::Plan plan = splice::PlanSplice(splice::RowGroups(s), Rows(s), firstRow, lastRow + 1, count, g_storeLimits.rowGroupFill);
  if (ReserveRowGroups(s, plan) != 0) {
    Free(newlines);
    return -1;
  }
  u32 abs = RowStart(s, firstRow);
  splice::Writer<splice::GapRows, RowGroup> writer(Rows(s), splice::RowGroups(s), plan, 0, 0);
  writer.Begin();
  line = 0;
  for (u32 i = 0; i < count; i++) {
    const u32 length = rows[i] & ~kRowEndsLine;
    const bool ends = (rows[i] & kRowEndsLine) != 0;
    const u8 nl = ends ? newlines[line] : 0;
    writer.Put(Row{0, 0, length, static_cast<u8>(nl & 3), static_cast<u8>(nl >> 2), 0}, abs, firstHard + line);
    abs += length + (nl & 3);
    if (ends) line++;
  }
  writer.Finish();
  Free(newlines);
  return 0;
}
