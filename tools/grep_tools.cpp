#include "tools/grep_tools.h"

#include <string.h>

#include "document/edit.h"
#include "document/store_internal.h"
#include "document/text_store.h"
#include "foundation/ask_user.h"
#include "foundation/byte_buffer.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/format.h"
#include "foundation/helper_thread.h"
#include "foundation/memory.h"
#include "search/matcher.h"
#include "search/search_run.h"
#include "tools/line_walker.h"

namespace {

// ---- the pattern and the copy it runs over ----

// A compiled pattern (a large record, on the heap) and a store holding the
// private copy, so that the matcher sees the copy's lines.
struct PatternRun {
  CompiledPattern *cp = nullptr;
  bool twin = false;  // cp is another run's pattern with a scan state of its own
  TextStore store;
  bool haveStore = false;
  const TextStore *text = nullptr;  // what the matches are found in: the store, or the document's
  ~PatternRun() {
    if (cp && twin) {
      FreePatternTwin(cp);
    } else if (cp) {
      FreePattern(cp);
      Free(cp);
    }
    if (haveStore) FreeStore(&store);
  }
};

bool Uses(const CompiledPattern *cp, u8 kind, u8 other) {
  for (u32 k = 0; k < cp->nodeCount; k++)
    if (cp->nodes[k].kind == kind || cp->nodes[k].kind == other) return true;
  return false;
}
bool UsesRows(const CompiledPattern *cp) { return Uses(cp, kNodeParagraphStart, kNodeParagraphEnd); }

// Compiles (typed newlines stand for any newline). 0; a pattern error's
// string id; 32 when the warning was not accepted; -1.
int Compile(PatternRun *run, const char *pattern, u32 flags) {
  run->cp = static_cast<CompiledPattern *>(Allocate(sizeof(CompiledPattern)));
  if (!run->cp) return -1;
  memset(run->cp, 0, sizeof *run->cp);
  const int r = CompilePattern(run->cp, pattern, flags | kPatternAnyNewline);
  if (r < 0) return -1;
  if (r > 0) return TextId(PatternErrorText(r));
  if (run->cp->warning &&
      AskUser(nullptr, TXT_CONTINUE_QUESTION, kAskYesNo, Text(PatternWarningText(run->cp->warning))) != kAnswerYes) {
    return kResultCancelled;
  }
  return 0;
}

// Loads the copy the matches are found in (or, when the text is only read,
// lays a store over it). 0 or -1.
int Load(PatternRun *run, const char *text, u32 length, bool readOnly) {
  // Only the paragraph assertions look at the rows; without them a store
  // laid over the text needs its blocks alone.
  const bool rows = !readOnly || UsesRows(run->cp);
  if (!InitialiseStore(&run->store, 64, rows ? 512 : 0)) return -1;
  run->haveStore = true;
  run->text = &run->store;
  if (readOnly) return StoreBorrow(&run->store, text, length);
  if (length && StoreInsert(&run->store, 0, BytesSource(text, length), kStoreNoProgress) != 0) return -1;
  return 0;
}


// ---- the text read: a private copy, or the document itself ----

bool Blank(const char *p, u32 n) {
  for (u32 i = 0; i < n; i++)
    if (!(CharType(static_cast<u8>(p[i])) & kC1Space)) return false;
  return true;
}

// A flat text: its lines found by walking it.
class FlatText {
 public:
  FlatText(const char *t, u32 n) : t_(t), n_(n), walker_(t, n) { walker_.Next(&line_); }
  u32 Begin() const { return 0; }
  u32 Length() const { return n_; }
  char At(u32 p) const { return t_[p]; }
  // The line holding p, and its index from 0; p never goes back.
  const LineBounds &LineAt(u32 p, u32 *index) {
    while (p >= line_.end && line_.textEnd != n_) {
      walker_.Next(&line_);
      index_++;
    }
    *index = index_;
    return line_;
  }
  // The end of the line that starts at p (after its newline).
  u32 LineEndFrom(u32 p) const {
    while (p < n_ && t_[p] != '\r' && t_[p] != '\n') p++;
    if (p < n_) p += (t_[p] == '\r' && p + 1 < n_ && t_[p + 1] == '\n') ? 2 : 1;
    return p;
  }
  // The start of the line before the line that starts at p (p > 0).
  u32 LineStartBefore(u32 p) const {
    p -= (p >= 2 && t_[p - 1] == '\n' && t_[p - 2] == '\r') ? 2 : 1;
    while (p > 0 && t_[p - 1] != '\r' && t_[p - 1] != '\n') p--;
    return p;
  }
  bool BlankText(u32 from, u32 to) const { return Blank(t_ + from, to - from); }
  int Put(u32 from, u32 to, ToolDocument *out, ToolPieces *pieces) const {
    if (to <= from) return 0;
    return pieces ? ToolPiecesAppend(pieces, t_ + from, to - from) : ToolDocumentAppend(out, t_ + from, to - from);
  }
  // fn(line) for the lines of [from, to) as a text of its own has them (at
  // most `lines` of them), positions in this text; false when fn says stop.
  template <class F>
  void EachLine(u32 from, u32 to, u32 lines, F fn) const {
    LineWalker w(t_ + from, to - from);
    LineBounds l;
    for (u32 k = 0; k < lines && w.Next(&l); k++)
      if (!fn(LineBounds{from + l.start, from + l.textEnd, from + l.end})) return;
  }
  // Lines passed in [from, to), for the progress count.
  u32 LinesIn(u32 from, u32 to) const {
    u32 lines = 0;
    for (const char *p = t_ + from, *e = t_ + to; p < e; lines++) {
      const void *q = MemFindByte(p, '\n', static_cast<size_t>(e - p));
      if (!q) break;
      p = static_cast<const char *>(q) + 1;
    }
    if (lines == 0 && to > from && MemFindByte(t_ + from, '\r', to - from)) lines = 1;
    return lines;
  }

 private:
  const char *t_;
  u32 n_;
  LineWalker walker_;
  LineBounds line_;
  u32 index_ = 0;
};

// The document's text from its start to n, read where it lies: its lines
// are the hard lines of its row index, the last one cut at n. The matches
// are found from `begin` (a line's start) on.
class StoreText {
 public:
  StoreText(const TextStore *s, u32 n, u32 begin = 0) : s_(s), n_(n), begin_(begin) {}
  u32 Begin() const { return begin_; }
  u32 Length() const { return n_; }
  char At(u32 p) const {
    char c = 0;
    ForEachPiece(s_, p, 1, [&](const char *q, u32) { c = *q; });
    return c;
  }
  const LineBounds &LineAt(u32 p, u32 *index) {
    const u32 row = RowOfPosition(s_, p);
    *index = RowHardLine(s_, row);
    line_ = Bounds(*index);
    if (line_.textEnd >= n_) line_.textEnd = line_.end = n_;
    if (line_.end > n_) line_.end = n_;
    return line_;
  }
  u32 LineEndFrom(u32 p) const {
    if (p >= n_) return p;
    const u32 end = Bounds(LineOf(p)).end;
    return end < n_ ? end : n_;
  }
  u32 LineStartBefore(u32 p) const { return Bounds(LineOf(p) - 1).start; }
  bool BlankText(u32 from, u32 to) const {
    bool blank = true;
    if (to > from) ForEachPiece(s_, from, to - from, [&](const char *q, u32 n) { blank = blank && Blank(q, n); });
    return blank;
  }
  int Put(u32 from, u32 to, ToolDocument *out, ToolPieces *pieces) const {
    int r = 0;
    if (to > from)
      ForEachPiece(s_, from, to - from, [&](const char *q, u32 n) {
        if (r == 0) r = pieces ? ToolPiecesAppend(pieces, q, n) : ToolDocumentAppend(out, q, n);
      });
    return r;
  }
  template <class F>
  void EachLine(u32 from, u32 to, u32 lines, F fn) const {
    // As a text of its own [from, to) ends at `to`: a line there is cut
    // (the CR of a CR LF stays a newline), and after a last newline comes
    // one empty line.
    for (u32 k = 0, p = from, line = LineOf(from); k < lines; k++, line++) {
      LineBounds l = {to, to, to};
      if (p < to) {
        l = Bounds(line);
        l.start = p;
        if (l.textEnd >= to) l.textEnd = l.end = to;
        if (l.end > to) l.end = to;
      }
      if (!fn(l) || l.end == l.textEnd) return;
      p = l.end;
    }
  }
  u32 LinesIn(u32 from, u32 to) const { return to > from ? LineOf(to) - LineOf(from) : 0; }

 private:
  u32 LineOf(u32 p) const { return RowHardLine(s_, RowOfPosition(s_, p)); }
  LineBounds Bounds(u32 hardLine) const {
    const u32 first = FirstRowOfHardLine(s_, hardLine);
    const u32 last = LastRowOfHardLine(s_, first);
    return LineBounds{RowStart(s_, first), RowTextEnd(s_, last), RowEnd(s_, last)};
  }
  const TextStore *s_;
  u32 n_, begin_;
  LineBounds line_ = {};
};

constexpr u32 kSteps = 128;

// Walks the matches over the text from its Begin(). The start positions are
// taken in kSteps steps, so that the count moves and a cancel is seen; a
// step bounds where a match starts, never where it ends. onMatch(ms, me,
// groups, &pos, &rejectEmpty) handles one and says where the search goes on
// (it may change the text before pos: the steps are counted from the end,
// which only the text behind pos decides). After an empty match an empty
// match at the same place is refused, as the search loop does. With
// linesOnly (the text does not change) no match starts between the CR and
// the LF of a newline. 0, 32 cancelled, -1, or onMatch's nonzero result.
template <typename Text, typename OnMatch>
int WalkMatches(PatternRun *run, const Text &original, bool linesOnly, OnMatch onMatch) {
  const u32 originalLength = original.Length(), begin = original.Begin();
  const i64 positions = static_cast<i64>(originalLength) - begin + 1;
  i64 pos = begin;
  bool rejectEmpty = false;
  for (u32 k = 0; k < kSteps; k++) {
    if (ToolCancelled()) return kResultCancelled;
    // Step k: the starts that leave more than `beyond` bytes behind them.
    const i64 lo = begin + positions * k / kSteps, hi = begin + positions * (k + 1) / kSteps;
    const i64 beyond = static_cast<i64>(originalLength) - hi;
    for (;;) {
      // (A document read where it lies goes on after the text.)
      const i64 length = run->text == &run->store ? run->text->length : originalLength;
      const i64 stop = length - beyond - 1;
      if (pos > stop) break;
      MatchGroups groups;
      u32 at = 0;
      const int found = FindMatch(run->cp, run->text, static_cast<u32>(pos), static_cast<u32>(stop),
                                  static_cast<u32>(length), false, rejectEmpty, &groups, &at);
      if (found < 0) return -1;
      if (found != kMatchFound) {
        pos = stop + 1;
        rejectEmpty = false;
        break;
      }
      if (linesOnly && at > 0 && at < originalLength && original.At(at - 1) == '\r' && original.At(at) == '\n') {
        pos = at + 1;
        rejectEmpty = false;
        continue;
      }
      u32 next = 0;
      const int r = onMatch(groups, &next, &rejectEmpty);
      if (r != 0) return r;
      pos = next;
      if (ToolCancelled()) return kResultCancelled;
    }
    ToolProgress(original.LinesIn(static_cast<u32>(lo), static_cast<u32>(hi > originalLength ? originalLength : hi)));
  }
  return 0;
}

// The lines of a range of the document, for the progress count of a tool
// that read the range into a store of its own.
class RangeText {
 public:
  RangeText(const TextStore *s, u32 from, u32 to) : s_(s), from_(from), to_(to) {}
  u32 Begin() const { return 0; }
  u32 Length() const { return to_ - from_; }
  char At(u32 p) const {
    char c = 0;
    ForEachPiece(s_, from_ + p, 1, [&](const char *q, u32) { c = *q; });
    return c;
  }
  u32 LinesIn(u32 from, u32 to) const {
    auto line = [&](u32 p) { return RowHardLine(s_, RowOfPosition(s_, from_ + p)); };
    return to > from ? line(to) - line(from) : 0;
  }

 private:
  const TextStore *s_;
  u32 from_, to_;
};

// ---- Grep ----

struct Block {
  u32 first, start;  // first line: index and start
  u32 last, end;     // last line: index and end (after its newline)
  bool atEnd;        // the last line is the text's last line
};

// Writes the output into a text, or into pieces when there are.
template <class Text>
class GrepWriter {
 public:
  GrepWriter(const GrepSettings &s, const Text &t, ToolDocument *out, ToolPieces *pieces)
      : s_(s), t_(t), out_(out), pieces_(pieces) {}

  // Writes [from, to) (whole lines from line `index` on), numbering each line
  // when asked; with blankOnly only the blank ones.
  // `lines` bounds the count (the range's end is a line's end: the empty
  // line after its newline is not one of them unless counted).
  int Lines(u32 from, u32 to, u32 index, u32 lines, bool blankOnly) {
    if (!s_.numbers && !blankOnly) return Bytes(from, to);
    int r = 0;
    t_.EachLine(from, to, lines, [&](const LineBounds &l) {
      if (!blankOnly || t_.BlankText(l.start, l.textEnd)) r = Number(index) != 0 || Bytes(l.start, l.end) != 0 ? -1 : 0;
      index++;
      return r == 0;
    });
    return r;
  }
  int Number(u32 index) {
    if (!s_.numbers) return 0;
    // Decimal by hand: a number on every output line.
    char buf[16];
    char *p = buf + sizeof buf;
    *--p = ':';
    u32 v = s_.base + index;
    do {
      *--p = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v);
    const u32 n = static_cast<u32>(buf + sizeof buf - p);
    return pieces_ ? ToolPiecesAppend(pieces_, p, n) : ToolDocumentAppend(out_, p, n);
  }
  // The text's bytes [from, to).
  int Bytes(u32 from, u32 to) { return t_.Put(from, to, out_, pieces_); }

 private:
  const GrepSettings &s_;
  const Text &t_;
  ToolDocument *out_;
  ToolPieces *pieces_;
};

u32 GrepFlags(const GrepSettings &s) {
  return (s.matchCase ? 0 : kPatternIgnoreCase) | (s.wholeWords ? kPatternWholeWords : 0) |
         (s.wholeLines ? kPatternWholeLines : 0) | (s.escapes ? kPatternEscapes : 0) | (s.regExps ? kPatternRegExps : 0);
}

// Grep over a prepared run and the text it reads from its Begin(), into out
// or pieces. toEnd: the text ends where the input does (else it ends after a
// newline where a second half goes on, and no empty line comes after it).
template <class Text>
int Grep(const GrepSettings &s, PatternRun &run, Text &text, ToolDocument *out, ToolPieces *pieces, u32 *matches,
         bool toEnd) {
  int r = 0;
  const u32 n = text.Length();
  // Removing keeps most of the text as a rule: room for all of it at once.
  if (s.remove && !s.numbers && !pieces && ToolDocumentReserve(out, static_cast<u64>(n) + 1) != 0) return -1;
  const u32 before = s.before > 0 ? static_cast<u32>(s.before) : 0;
  const u32 after = s.after > 0 ? static_cast<u32>(s.after) : 0;
  GrepWriter<Text> w(s, text, out, pieces);
  // The line around a position, moving forwards only.
  struct {
    Text &text;
    LineBounds line;
    u32 index;
    void To(u32 p) { line = text.LineAt(p, &index); }
  } cursor = {text, {}, 0};
  cursor.To(text.Begin());
  u32 count = 0;

  if (s.onlyParts && !s.remove) {
    // The parts of each line, then the newline of the line the last one ends on.
    bool open = false;
    u32 group = 0;
    LineBounds tail = {};
    auto close = [&]() -> int {
      open = false;
      return w.Bytes(tail.textEnd, tail.end);
    };
    r = WalkMatches(&run, text, true, [&](const MatchGroups &g, u32 *next, bool *reject) -> int {
      const u32 ms = g.group[0].start, me = g.group[0].end;
      count++;
      cursor.To(ms);
      if (open && cursor.index != group && close() != 0) return -1;
      if (!open) {
        open = true;
        group = cursor.index;
        if (w.Number(group) != 0) return -1;
      }
      cursor.To(me > ms ? me - 1 : ms);
      tail = cursor.line;
      if (me > tail.textEnd) tail.textEnd = tail.end;  // the part took (some of) the newline
      if (w.Bytes(ms, me) != 0) return -1;
      *next = me;
      *reject = ms == me;
      return 0;
    });
    if (r == 0 && open && close() != 0) r = -1;
  } else if (s.onlyParts) {
    // The text with the parts cut out; a line is numbered where it begins
    // unless the byte before it was cut.
    u32 from = 0;
    bool cutBefore = false;  // byte from - 1 was cut
    auto copy = [&](u32 to) -> int {
      for (u32 p = from;;) {
        cursor.To(p);
        if (p == cursor.line.start && !(p == from && cutBefore) && w.Number(cursor.index) != 0) return -1;
        if (p >= to) return 0;
        const u32 e = cursor.line.end < to ? cursor.line.end : to;
        if (w.Bytes(p, e) != 0) return -1;
        p = e;
      }
    };
    r = WalkMatches(&run, text, true, [&](const MatchGroups &g, u32 *next, bool *reject) -> int {
      const u32 ms = g.group[0].start, me = g.group[0].end;
      count++;
      if (ms < me) {
        if (copy(ms) != 0) return -1;
        from = me;
        cutBefore = true;
      }
      *next = me;
      *reject = ms == me;
      return 0;
    });
    if (r == 0 && copy(n) != 0) r = -1;
  } else {
    bool pending = false;
    Block b = {};
    u32 doneEnd = text.Begin(), doneIndex = cursor.index;  // the text before doneEnd is dealt with
    bool any = false;
    auto emit = [&]() -> int {
      if (s.remove) {
          if (w.Lines(doneEnd, b.start, doneIndex, b.first - doneIndex, false) != 0) return -1;
      } else {
        if (s.keepEmpty && any && w.Lines(doneEnd, b.start, doneIndex, b.first - doneIndex, true) != 0) return -1;
        if (w.Lines(b.start, b.end, b.first, b.last - b.first + 1, false) != 0) return -1;
      }
      any = true;
      doneEnd = b.end;
      doneIndex = b.last + 1;
      return 0;
    };
    r = WalkMatches(&run, text, true, [&](const MatchGroups &g, u32 *next, bool *reject) -> int {
      const u32 ms = g.group[0].start, me = g.group[0].end;
      count++;
      *next = me;
      *reject = ms == me;
      cursor.To(ms);
      Block nb = {cursor.index, cursor.line.start, 0, 0, false};
      cursor.To(me > ms ? me - 1 : ms);
      nb.last = cursor.index;
      nb.end = cursor.line.end;
      nb.atEnd = cursor.line.textEnd == n;
      if (pending && static_cast<u64>(nb.last) + after <= b.last) return 0;  // within the block as it stands
      // The lines before, back to the block before at most.
      const u32 floor = pending ? b.end : 0;
      for (u32 k = 0; k < before && nb.start > floor; k++) {
        nb.start = text.LineStartBefore(nb.start);
        nb.first--;
      }
      // The lines after, on from where the block before ends when it reaches further.
      u32 extra = after;
      if (pending && b.last >= nb.last) {
        extra -= b.last - nb.last;
        nb.last = b.last;
        nb.end = b.end;
        nb.atEnd = b.atEnd;
      }
      for (; extra && !nb.atEnd; extra--) {
        const u32 p = nb.end;
        nb.end = text.LineEndFrom(p);
        nb.last++;
        nb.atEnd = nb.end == n && (p == n || (text.At(n - 1) != '\n' && text.At(n - 1) != '\r'));
      }
      if (pending && nb.first <= b.last + 1) {
        b.last = nb.last;
        b.end = nb.end;
        b.atEnd = nb.atEnd;
        return 0;
      }
      if (pending && emit() != 0) return -1;
      b = nb;
      pending = true;
      return 0;
    });
    if (r == 0 && pending && emit() != 0) r = -1;
    if (r == 0 && s.remove && !(pending && b.atEnd) &&
        w.Lines(doneEnd, n, doneIndex, toEnd ? 0xFFFFFFFFu : text.LinesIn(doneEnd, n), false) != 0)
      r = -1;
  }
  *matches = count;
  return r;
}

// Whether Grep may find and write its lines in two halves cut after a
// newline, each half alone giving what one pass gives there: every match
// holds a byte and no newline (a literal without one; an empty one would be
// found at the cut by both halves), no context lines reach across the
// cut, and neither the blank lines kept between blocks nor the parts cut out
// of lines depend on what came before.
bool Halvable(const GrepSettings &s) {
  if (!s.find[0] || s.regExps || s.before > 0 || s.after > 0 || (s.remove ? s.onlyParts : s.keepEmpty)) return false;
  for (const char *p = s.find; *p; p++)
    if (*p == '\r' || *p == '\n' || (s.escapes && *p == '\\')) return false;
  return true;
}

// Grep over the document in place, in two halves at once (the second cut at
// `cut`, found with a twin of the pattern) into the two parts of pieces.
int GrepHalves(const GrepSettings &s, PatternRun &run, const ToolInput *input, u32 cut, ToolPieces *pieces,
               u32 *matches) {
  PatternRun second;
  second.cp = PatternTwin(run.cp);
  if (!second.cp) return -1;
  second.twin = true;
  second.text = input->store;
  struct Half {
    const GrepSettings *s;
    PatternRun *run;
    StoreText text;
    ToolPieces *pieces;
    bool toEnd;
    u32 matches;
    int result;
    static u32 Run(void *context) {
      Half *h = static_cast<Half *>(context);
      h->result = Grep(*h->s, *h->run, h->text, nullptr, h->pieces, &h->matches, h->toEnd);
      return 0;
    }
  };
  Half half[2] = {{&s, &run, StoreText(input->store, cut), &pieces[0], false, 0, 0},
                  {&s, &second, StoreText(input->store, input->to, cut), &pieces[1], true, 0, 0}};
  RunBeside(Half::Run, &half[0], &half[1]);
  *matches = half[0].matches + half[1].matches;
  return HalvesResult(half[0].result, half[1].result);
}

}  // namespace

int GrepTool(const ToolDocument *in, ToolDocument *out, ToolParam param) {
  const GrepSettings &s = *reinterpret_cast<const GrepSettings *>(param);
  u32 matches = 0;
  PatternRun run;
  // Under the runner the tool reads the document: from its start, as it
  // stands, where it lies, and the result goes to pieces; otherwise (or with
  // a paragraph assertion, which would see its wrapped rows, or an assertion
  // of the text's end, where the document goes on) a copy of the input.
  const ToolInput *input = ToolInputRange();
  ToolPieces *pieces = ToolResultPieces();
  int r = Compile(&run, s.find, GrepFlags(s));
  if (r != 0) return r;
  ToolDocument copy = {};
  if (input && (input->from != 0 || input->newlineMode != 0 || UsesRows(run.cp) ||
                (input->to != input->store->length && Uses(run.cp, kNodeTextEnd, kNodeTextEnd)))) {
    if (ToolInputRead(input, input->from, input->to, &copy) != 0) return kResultOutOfMemory;
    in = &copy;
    input = nullptr;
  }
  if (input) {
    run.text = input->store;
    const u32 cut = pieces && Halvable(s) ? ToolInputCut(input) : input->to;
    StoreText text(input->store, input->to);
    r = cut < input->to ? GrepHalves(s, run, input, cut, pieces, &matches) : Grep(s, run, text, out, pieces, &matches, true);
  } else {
    r = Load(&run, in->text, in->length, true);
    FlatText text(in->text, in->length);
    if (r == 0) r = Grep(s, run, text, out, nullptr, &matches, true);
  }
  ToolDocumentFree(&copy);
  if (r == 0 && s.message) Format(s.message, 1024, Text(TXT_TOTAL_MATCHES), matches);
  return r;
}

// ---- Extended Replace ----

int ExtendedReplaceTool(const ToolDocument *in, ToolDocument *out, ToolParam param) {
  const ExtendedReplaceSettings &s = *reinterpret_cast<const ExtendedReplaceSettings *>(param);
  const u32 flags = (s.matchCase ? 0 : kPatternIgnoreCase) | (s.wholeWords ? kPatternWholeWords : 0) |
                    (s.regExps ? kPatternRegExps : 0);
  PatternRun run;
  int r = Compile(&run, s.find, flags);
  if (r != 0) return r;
  // Under the runner the text comes from the document into the store the
  // replacements are made in, with no copy before, and the result goes back
  // as that store's own blocks; otherwise the copy is loaded.
  const ToolInput *input = ToolInputRange();
  ToolPieces *pieces = ToolResultPieces();
  ToolDocument copy = {};
  if (input && input->newlineMode != 0) {
    const int read = ToolInputRead(input, input->from, input->to, &copy);
    input = nullptr;
    in = &copy;
    if (read != 0) return kResultOutOfMemory;
  }
  if (input) {
    if (!InitialiseStore(&run.store, 64, 512)) return -1;
    run.haveStore = true;
    run.text = &run.store;
    if (input->to > input->from &&
        StoreInsert(&run.store, 0, StoreSource(input->store, input->from, input->to - input->from), kStoreNoProgress) != 0)
      return -1;
  } else {
    r = Load(&run, in->text, in->length, false);
  }
  CompiledPattern *cp = run.cp;
  const size_t replaceLength = strnlen(s.replace, kPatternMaxChars);
  memcpy(cp->replace, s.replace, replaceLength);
  cp->replace[replaceLength] = 0;
  const char *newline = ToolNewline();
  ByteBuffer text = {};
  u32 count = 0;
  bool replaceError = false;
  auto onMatch = [&](const MatchGroups &g, u32 *next, bool *reject) -> int {
    const u32 ms = g.group[0].start, me = g.group[0].end;
    int x;
    for (;;) {
      text.length = 0;
      x = ExpandReplacement(cp, &run.store, g, newline, count + 1, &text, nullptr);
      if (x != kExpandUndefined) break;
      // Asked once per run.
      const int answer = AskUser(nullptr, TXT_UNDEFINED_BACKREF, kAskYesNoCancel);
      if (answer == kAnswerCancel) return kResultCancelled;
      cp->flags |= answer == kAnswerYes ? kPatternUndefinedEmpty : kPatternUndefinedSkip;
    }
    if (x == kExpandNoMemory) return -1;
    if (x == kExpandError) {
      replaceError = true;
      return kToolMessageText;
    }
    *reject = ms == me;
    if (x == kExpandSkip) {
      *next = me;
      return 0;
    }
    if (s.mimic && ms < me && text.length) ApplyCase(CasePatternOf(&run.store, ms, me), text.data, text.length);
    const u32 n = static_cast<u32>(text.length);
    if (n && StoreInsert(&run.store, me, BytesSource(text.data, n), kStoreNoProgress) != 0) return -1;
    if (ms < me) StoreDelete(&run.store, ms, me, kStoreNoProgress);
    count++;
    *next = ms + n;
    return 0;
  };
  if (r == 0 && input) r = WalkMatches(&run, RangeText(input->store, input->from, input->to), false, onMatch);
  else if (r == 0) r = WalkMatches(&run, FlatText(in->text, in->length), false, onMatch);
  BufferFree(&text);
  ToolDocumentFree(&copy);
  if (replaceError) {
    if (!s.message) return kResultReported;
    Format(s.message, 1024, "%s", Text(TXT_REPLACE_PATTERN_ERROR));
    return kToolMessageText;
  }
  if (r != 0) return r;
  if (input && pieces) return ToolPiecesOfStore(&run.store, &pieces[0]);
  const u32 length = run.store.length;
  if (ToolDocumentReserve(out, static_cast<u64>(length) + 1) != 0) return -1;
  out->length = ReadText(&run.store, 0, length, out->text, length + 1, 0, nullptr);
  return 0;
}

// ---- Escape and UnEscape ----

u32 EscapeText(const char *in, char *out, u32 cap) {
  u32 n = 0;
  auto put = [&](char c) {
    if (n + 1 < cap) out[n] = c;
    n++;
  };
  for (const char *p = in; *p; p++) {
    switch (*p) {
      case '\\': put('\\'); put('\\'); break;
      case '\t': put('\\'); put('t'); break;
      case '\n': put('\\'); put('n'); break;
      case '\r': put('\\'); put('r'); break;
      default: put(*p); break;
    }
  }
  if (cap) out[n < cap ? n : cap - 1] = 0;
  return n;
}

u32 UnEscapeText(const char *in, char *out, u32 cap) {
  u32 n = 0;
  auto put = [&](char c) {
    if (n + 1 < cap) out[n] = c;
    n++;
  };
  for (const char *p = in; *p; p++) {
    if (*p != '\\' || !p[1]) {
      put(*p);
      continue;
    }
    switch (p[1]) {
      case '\\': put('\\'); p++; break;
      case 't': put('\t'); p++; break;
      case 'n': put('\n'); p++; break;
      case 'r': put('\r'); p++; break;
      default: put(*p); break;  // stays as it stands
    }
  }
  if (cap) out[n < cap ? n : cap - 1] = 0;
  return n;
}
