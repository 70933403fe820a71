// Columns, Numbers: the mask is compiled once into items (text runs, the
// whole line, columns, lengths, the counter, random numbers, the newline),
// then every line of the input is written through it into the output, in the
// input's order, each with its own newline.
//
// Speed: a line costs one walk for its newline, one column extraction per
// column the mask names, and memcpy of the pieces. The widths of aligned
// variables need the whole selection first, so a pre-pass runs only when the
// mask aligns something that depends on it. Under the runner, lines are
// written to a small stage that goes to the result's pieces, which the
// document takes as its blocks: a large result is made once, and a long
// input is cut in two halves written at once. Otherwise the output grows by
// what the part written so far projects for the whole input, so a large
// result is reallocated a few times at most. A line's room is checked once,
// from a bound that needs no formatting.
//
// Decisions where the rules leave room (kept by the tests):
// - After `%` come any number of alignment specifiers, then the variable.
//   When no variable follows (the mask ends, or another character stands
//   there, `%` included), "Error!" is written and the mask is read again from
//   the character after the `%`, as text: "%<q" gives "Error!<q", a mask
//   ending in "%" gives "Error!", "%l" gives "Error!l".
// - `%n` takes an alignment but has no width; `%%` takes none.
// - The counter is start + step x (counted lines before the line), exact in
//   64 bits; decimal shows a '-' for a negative value; %x %X %o %b show the
//   low 32 bits.
// - Widths cover every value a variable can show: the counter's is the longer
//   of its first value and start + step x counted lines (the rule's largest
//   value; with a negative step the first value is the largest); %r's the
//   longer of the minimum and the maximum (for min >= 0 the digits of the
//   maximum), and 11 (-2147483648) when the whole 32-bit range is drawn. A
//   minus sign counts in the width.
// - '+' pads with zeros after a number's minus sign ("-005"); a column's text
//   is padded with zeros on its left as it is.
// - Column widths are the greatest over all selected lines, blank ones too.
// - A random value is drawn for each %r of each rewritten line, in the
//   mask's order: the low 32 bits of the thread's generator modulo
//   (max - min + 1), counted in 64 bits, plus the minimum; the whole range
//   as a signed 32-bit value when max <= min.
#include "tools/columns_numbers.h"

#include <string.h>

#include "config/config_state.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/helper_thread.h"
#include "foundation/memory.h"
#include "foundation/random.h"
#include "tools/columns.h"
#include "tools/line_walker.h"

void ColumnsRequestFromSettings(ColumnsRequest *request) {
  const ToolSettings &t = g_settings.tools;
  MemZero(request, sizeof *request);
  StrCopyN(request->mask, t.CtMask, sizeof request->mask);
  request->nonEmptyOnly = t.CtEmpt;
  request->counterFrom = t.CtFrom;
  request->counterStep = t.CtStep;
  request->randomMin = t.CtRMin;
  request->randomMax = t.CtRMax;
  for (int k = 0; k < kColumnDefs; k++) request->columns[k] = t.columns[k];
}

namespace {

// ---- the compiled mask ----

enum ItemKind : u8 { kItemEnd, kItemText, kItemColumn, kItemLength, kItemCounter, kItemRandom, kItemNewline };
enum Align : u8 { kAlignNone, kAlignLeft, kAlignRight, kAlignZeros, kAlignCentre };

// Counter items: the base in the parameter's low byte, upper-case letters
// with this bit.
constexpr u32 kUpperDigits = 0x100;

struct MaskItem {
  u8 kind;    // ItemKind
  u8 align;   // Align
  u32 width;  // the padding width (set per run); text: its length
  u32 param;  // columns and lengths: 0-9; counter: base | kUpperDigits; text: offset in the pool
};

constexpr u32 kMaskItems = 1024;  // the last slot stays empty
constexpr u32 kMaskChars = 1023;
// Each character of the mask lands in the pool at most once, and a failed
// `%` (two characters at least, or the last one) adds six: 3.5 per character.
constexpr u32 kMaskPool = 4096;
constexpr char kErrorText[] = "Error!";

struct CompiledMask {
  MaskItem item[kMaskItems];
  u32 count;
  char pool[kMaskPool];
  u32 poolLength;
};

bool IsAlign(char c) { return c == '<' || c == '>' || c == '+' || c == '!'; }

Align AlignOf(char c) {
  switch (c) {
    case '<': return kAlignLeft;
    case '>': return kAlignRight;
    case '+': return kAlignZeros;
    default: return kAlignCentre;
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Text joins the text item before it. False when the items or the pool are
// full (not with a mask of at most kMaskChars characters).
bool AddText(CompiledMask *m, const char *s, u32 n) {
  if (m->poolLength + n > kMaskPool) return false;
  MaskItem *last = m->count ? &m->item[m->count - 1] : nullptr;
  if (!last || last->kind != kItemText) {
    if (m->count >= kMaskItems - 1) return false;
    last = &m->item[m->count++];
    *last = MaskItem{kItemText, kAlignNone, 0, m->poolLength};
  }
  MemCopy(m->pool + m->poolLength, s, n);
  m->poolLength += n;
  last->width += n;
  return true;
}

bool AddVariable(CompiledMask *m, u8 kind, u8 align, u32 param) {
  if (m->count >= kMaskItems - 1) return false;
  m->item[m->count++] = MaskItem{kind, align, 0, param};
  return true;
}

// The variable at mask[j] (after `%` and its specifiers): its item and the
// characters it takes, or 0 when none stands there.
u32 ReadVariable(const char *mask, u32 j, u32 n, u8 align, CompiledMask *m, bool *added) {
  *added = true;
  const char c = mask[j];
  if (IsDigit(c)) {
    *added = AddVariable(m, kItemColumn, align, static_cast<u32>(c - '0'));
    return 1;
  }
  switch (c) {
    case 'l':
      if (j + 1 < n && IsDigit(mask[j + 1])) {
        *added = AddVariable(m, kItemLength, align, static_cast<u32>(mask[j + 1] - '0'));
        return 2;
      }
      return 0;
    case 'd': *added = AddVariable(m, kItemCounter, align, 10); return 1;
    case 'x': *added = AddVariable(m, kItemCounter, align, 16); return 1;
    case 'X': *added = AddVariable(m, kItemCounter, align, 16 | kUpperDigits); return 1;
    case 'o': *added = AddVariable(m, kItemCounter, align, 8); return 1;
    case 'b': *added = AddVariable(m, kItemCounter, align, 2); return 1;
    case 'r': *added = AddVariable(m, kItemRandom, align, 0); return 1;
    case 'n': *added = AddVariable(m, kItemNewline, align, 0); return 1;
    default: return 0;
  }
}

void CompileMask(const char *mask, CompiledMask *m) {
  m->count = 0;
  m->poolLength = 0;
  const u32 n = static_cast<u32>(StrLenN(mask, kMaskChars));
  u32 i = 0;
  bool room = true;
  while (i < n && room) {
    if (mask[i] != '%') {
      u32 e = i + 1;
      while (e < n && mask[e] != '%') e++;
      room = AddText(m, mask + i, e - i);
      i = e;
      continue;
    }
    if (i + 1 < n && mask[i + 1] == '%') {
      room = AddText(m, "%", 1);
      i += 2;
      continue;
    }
    u32 j = i + 1;
    u8 align = kAlignNone;
    while (j < n && IsAlign(mask[j])) align = AlignOf(mask[j++]);
    const u32 taken = j < n ? ReadVariable(mask, j, n, align, m, &room) : 0;
    if (taken) {
      i = j + taken;
    } else {
      room = AddText(m, kErrorText, sizeof kErrorText - 1);
      i++;
    }
  }
  m->item[m->count] = MaskItem{kItemEnd, kAlignNone, 0, 0};
}

// ---- numbers ----

constexpr u32 kNumberChars = 40;  // 32 binary digits, or a sign and 19 decimal ones

// Writes the decimal text of v ending at end; returns where it starts.
inline char *DecimalBackward(char *end, i64 v) {
  u64 m = v < 0 ? 0 - static_cast<u64>(v) : static_cast<u64>(v);
  do {
    *--end = static_cast<char>('0' + m % 10);
    m /= 10;
  } while (m);
  if (v < 0) *--end = '-';
  return end;
}

// The counter's text in the item's base.
inline char *CounterBackward(char *end, i64 v, u32 param) {
  const u32 base = param & 0xFF;
  if (base == 10) return DecimalBackward(end, v);
  const char *digits = (param & kUpperDigits) ? "0123456789ABCDEF" : "0123456789abcdef";
  u32 m = static_cast<u32>(static_cast<u64>(v));
  do {
    *--end = digits[m % base];
    m /= base;
  } while (m);
  return end;
}

u32 CounterLength(i64 v, u32 param) {
  char buf[kNumberChars];
  return static_cast<u32>(buf + sizeof buf - CounterBackward(buf + sizeof buf, v, param));
}

// One value of %r.
inline i64 RandomValue(i32 min, i32 max) {
  const u32 r = static_cast<u32>(Random());
  if (max > min) {
    const u64 span = static_cast<u64>(static_cast<i64>(max) - min) + 1;  // up to 2^32
    return static_cast<i64>(min) + static_cast<i64>(r % span);
  }
  return static_cast<i32>(r);
}

// ---- writing ----

// s padded to the width by the alignment. A number's leading '-' stays in
// front of '+' zeros.
inline char *Put(char *w, const char *s, u32 n, u8 align, u32 width, bool number) {
  if (align == kAlignNone || n >= width) {
    if (n) memcpy(w, s, n);
    return w + n;
  }
  const u32 pad = width - n;
  switch (align) {
    case kAlignLeft:
      if (n) memcpy(w, s, n);
      memset(w + n, ' ', pad);
      return w + width;
    case kAlignRight:
      memset(w, ' ', pad);
      if (n) memcpy(w + pad, s, n);
      return w + width;
    case kAlignZeros:
      if (number && n && s[0] == '-') {
        *w++ = '-';
        s++, n--;
      }
      memset(w, '0', pad);
      if (n) memcpy(w + pad, s, n);
      return w + pad + n;
    default: {
      const u32 right = pad / 2, left = pad - right;
      memset(w, ' ', left);
      if (n) memcpy(w + left, s, n);
      memset(w + left + n, ' ', right);
      return w + width;
    }
  }
}

// What gathers in a stage before it goes to the result's pieces.
constexpr u32 kStage = 64u << 10;

// The output: the result, grown by projection; or, with pieces, a stage
// whose bytes go to the pieces every kStage bytes.
struct Output {
  ToolDocument *doc;
  u64 length;   // bytes written (to the stage: not yet handed over)
  u64 inTotal;  // the input's length
  ToolPieces *pieces;

  // Room for `more` bytes after what is written, and a terminator; inDone:
  // the input taken so far. False when it cannot be had.
  bool Room(u64 more, u64 inDone) {
    const u64 needed = length + more + 1;
    return needed <= doc->capacity || Grow(needed, inDone);
  }

  // With pieces: hands the staged bytes over once a stage's worth has
  // gathered (`all`: whatever there is). False when memory ran out.
  bool Hand(bool all) {
    if (!pieces || length == 0 || (!all && length < kStage)) return true;
    if (ToolPiecesAppend(pieces, doc->text, static_cast<u32>(length)) != 0) return false;
    length = 0;
    return true;
  }

  bool Grow(u64 needed, u64 inDone) {
    if (pieces) return ToolDocumentReserve(doc, needed + kStage) == 0 || ToolDocumentReserve(doc, needed) == 0;
    u64 target = static_cast<u64>(doc->capacity) + doc->capacity / 2 + 4096;
    // What is written so far, for the input taken so far, projects the
    // whole output; a sixteenth more absorbs the variation of the rest.
    if (inDone >= 65536 && inDone < inTotal) {
      const double projected = static_cast<double>(length) * static_cast<double>(inTotal) / static_cast<double>(inDone);
      const double wanted = projected * 1.0625 + 65536.0 + static_cast<double>(needed - length);
      if (wanted > static_cast<double>(target)) target = wanted < 1.8e19 ? static_cast<u64>(wanted) : ~0ull;
    }
    if (target < needed) target = needed;
    return ToolDocumentReserve(doc, target) == 0 || ToolDocumentReserve(doc, needed + (target - needed) / 8) == 0 ||
           ToolDocumentReserve(doc, needed) == 0;
  }
};

// ---- the run ----

inline bool IsBlankLine(const char *p, u32 n) {
  for (u32 i = 0; i < n; i++)
    if (!(CharType(static_cast<u8>(p[i])) & kC1Space)) return false;
  return true;
}

// Progress in lines: with a pre-pass, it hands over half of each line and
// the writing pass the rest, so that the total is the line count the runner
// expects. The cancel flag is read with each report: every 256 lines, or
// sooner after long lines (a megabyte of input).
struct Ticker {
  enum Share { kWhole, kFirstHalf, kSecondHalf };
  Share share = kWhole;
  u64 lines = 0;     // lines of this pass so far
  u64 base = 0;      // units of the pre-pass
  u64 reported = 0;  // units handed to the runner
  u64 bytes = 0;     // input since the last report

  bool Line(u32 length) {
    bytes += length;
    if ((++lines & 255) != 0 && bytes < (1u << 20)) return false;
    bytes = 0;
    Report();
    return ToolCancelled();
  }
  void Report() {
    const u64 target = share == kWhole ? lines : share == kFirstHalf ? lines / 2 : base + (lines + 1) / 2;
    if (target > reported) {
      ToolProgress(static_cast<u32>(target - reported));
      reported = target;
    }
  }
  void SecondPass() {
    Report();
    base = reported;
    lines = 0;
    share = kSecondHalf;
  }
};

struct Run {
  CompiledMask mask;
  PreparedColumn column[kColumnDefs];
  u32 maxLength[1 + kColumnDefs];  // 0: the line
  u32 extract[kColumnDefs];        // the columns (1-9) the lines need cut
  ColumnSet extractSet;            // their definitions, in that order
  u32 measure[kColumnDefs];        // the columns (1-9) whose greatest length is needed
  ColumnSet measureSet;
  u32 widthColumns;                // bits 0-9: the greatest length is needed
  bool countNeeded;                // an aligned counter needs the counted lines
  bool hasCounter;                 // the mask shows the counter
  bool hasRandom;                  // the mask draws random numbers (in the lines' order)
  u64 fixedBound;                  // a line's output beyond its columns, at most
};

void Plan(Run *run, const ColumnsRequest &request) {
  u32 needed = 0;
  run->widthColumns = 0;
  run->countNeeded = false;
  run->hasCounter = false;
  run->hasRandom = false;
  run->fixedBound = 2;  // the line's own newline
  for (u32 k = 0; k < run->mask.count; k++) {
    const MaskItem &it = run->mask.item[k];
    switch (it.kind) {
      case kItemColumn:
      case kItemLength:
        if (it.param) needed |= 1u << it.param;
        if (it.align != kAlignNone) run->widthColumns |= 1u << it.param;
        break;
      case kItemCounter:
        run->hasCounter = true;
        if (it.align != kAlignNone) run->countNeeded = true;
        break;
      case kItemRandom:
        run->hasRandom = true;
        break;
      default:
        break;
    }
  }
  for (u32 c = 1; c <= kColumnDefs; c++) PrepareColumn(request.columns[c - 1], false, &run->column[c - 1]);
  const PreparedColumn *preps[kColumnDefs];
  u32 n = 0;
  for (u32 c = 1; c <= kColumnDefs; c++)
    if (needed & (1u << c)) run->extract[n] = c, preps[n++] = &run->column[c - 1];
  PrepareColumnSet(preps, n, &run->extractSet);
  n = 0;
  for (u32 c = 1; c <= kColumnDefs; c++)
    if (run->widthColumns & (1u << c)) run->measure[n] = c, preps[n++] = &run->column[c - 1];
  PrepareColumnSet(preps, n, &run->measureSet);
}

// The widths of the aligned items, and the per-line bound of everything but
// the columns' text.
void SetWidths(Run *run, const ColumnsRequest &request, u64 counted) {
  const i64 first = request.counterFrom;
  const i64 last = first + static_cast<i64>(request.counterStep) * static_cast<i64>(counted);
  const i32 rmin = request.randomMin, rmax = request.randomMax;
  for (u32 k = 0; k < run->mask.count; k++) {
    MaskItem &it = run->mask.item[k];
    u32 valueBound = 0;
    switch (it.kind) {
      case kItemText:
        run->fixedBound += it.width;
        continue;
      case kItemNewline:
        run->fixedBound += 2;
        continue;
      case kItemColumn:
        it.width = run->maxLength[it.param];
        continue;  // bounded per line by the column's length
      case kItemLength:
        it.width = CounterLength(run->maxLength[it.param], 10);
        valueBound = 10;
        break;
      case kItemCounter: {
        const u32 a = CounterLength(first, it.param), b = CounterLength(last, it.param);
        it.width = a > b ? a : b;
        valueBound = kNumberChars;
        break;
      }
      case kItemRandom: {
        if (rmax > rmin) {
          const u32 a = CounterLength(rmin, 10), b = CounterLength(rmax, 10);
          it.width = a > b ? a : b;
        } else {
          it.width = 11;
        }
        valueBound = 11;
        break;
      }
      default:
        continue;
    }
    if (it.align == kAlignNone) it.width = 0;
    run->fixedBound += it.width > valueBound ? it.width : valueBound;
  }
}

// A stretch of whole lines of the input; the text after its last newline is
// a line only at the input's end (otherwise it is the next stretch's).
struct Stretch {
  const char *text;
  u32 length;
  bool last;
};

// What the pre-pass finds in a stretch: the greatest lengths (0: the line,
// 1-9: the columns aligned items need) and the counted lines.
struct Measures {
  u32 maxLength[1 + kColumnDefs];
  u64 counted;
};

// The pre-pass. False when cancelled.
bool MeasureLines(const Stretch &in, const ColumnsRequest &request, const Run &run, Measures *m, Ticker *ticker) {
  LineWalker walker(in.text, in.length);
  LineBounds l;
  u64 n = 0;
  const ColumnSet &set = run.measureSet;
  u32 start[kColumnDefs], count[kColumnDefs];
  while (walker.Next(&l)) {
    if (!in.last && l.start == in.length) break;
    const char *p = in.text + l.start;
    const u32 length = l.textEnd - l.start;
    if (!(request.nonEmptyOnly && IsBlankLine(p, length))) n++;
    if (length > m->maxLength[0]) m->maxLength[0] = length;
    if (set.count) {
      ExtractColumns(p, length, set, start, count);
      for (u32 k = 0; k < set.count; k++) {
        u32 &widest = m->maxLength[run.measure[k]];
        if (count[k] > widest) widest = count[k];
      }
    }
    if (ticker->Line(l.end - l.start)) return false;
  }
  m->counted += n;
  return true;
}

// The writing pass over a stretch whose first line follows *counted counted
// lines (then after its own). 0, -1 (out of memory) or 32 (cancelled: the
// runner sees the flag).
int WriteLines(const Stretch &in, const ColumnsRequest &request, const Run &run, u64 *countedBefore, Output *out,
               Ticker *ticker) {
  const char *newline = ToolNewline();
  const u32 newlineLength = newline[1] ? 2 : 1;
  const bool nonEmptyOnly = request.nonEmptyOnly != 0;
  const i64 from = request.counterFrom, step = request.counterStep;
  const i32 rmin = request.randomMin, rmax = request.randomMax;
  const MaskItem *items = run.mask.item;
  const u32 itemCount = run.mask.count;
  u32 fieldStart[1 + kColumnDefs] = {}, fieldLength[1 + kColumnDefs] = {};
  u32 start[kColumnDefs], count[kColumnDefs];
  const ColumnSet &set = run.extractSet;
  u64 counted = *countedBefore;
  LineWalker walker(in.text, in.length);
  LineBounds l;
  while (walker.Next(&l)) {
    if (!in.last && l.start == in.length) break;
    const char *p = in.text + l.start;
    const u32 length = l.textEnd - l.start;
    if (nonEmptyOnly && IsBlankLine(p, length)) {
      if (!out->Room(l.end - l.start, l.start)) return kResultOutOfMemory;
      if (l.end > l.start) memcpy(out->doc->text + out->length, p, l.end - l.start);
      out->length += l.end - l.start;
      if (!out->Hand(false)) return kResultOutOfMemory;
      if (ticker->Line(l.end - l.start)) return kResultCancelled;
      continue;
    }
    fieldStart[0] = 0;
    fieldLength[0] = length;
    u64 bound = run.fixedBound;
    if (set.count) {
      ExtractColumns(p, length, set, start, count);
      for (u32 k = 0; k < set.count; k++) {
        fieldStart[run.extract[k]] = start[k];
        fieldLength[run.extract[k]] = count[k];
      }
    }
    for (u32 k = 0; k < itemCount; k++) {
      const MaskItem &it = items[k];
      if (it.kind == kItemColumn) {
        const u32 n = fieldLength[it.param];
        bound += n > it.width ? n : it.width;
      }
    }
    if (!out->Room(bound, l.start)) return kResultOutOfMemory;
    char *w = out->doc->text + out->length;
    const i64 value = from + step * static_cast<i64>(counted);
    char number[kNumberChars];
    char *const numberEnd = number + sizeof number;
    for (u32 k = 0; k < itemCount; k++) {
      const MaskItem &it = items[k];
      switch (it.kind) {
        case kItemText:
          memcpy(w, run.mask.pool + it.param, it.width);
          w += it.width;
          break;
        case kItemColumn:
          w = Put(w, p + fieldStart[it.param], fieldLength[it.param], it.align, it.width, false);
          break;
        case kItemLength: {
          const char *s = DecimalBackward(numberEnd, fieldLength[it.param]);
          w = Put(w, s, static_cast<u32>(numberEnd - s), it.align, it.width, true);
          break;
        }
        case kItemCounter: {
          const char *s = CounterBackward(numberEnd, value, it.param);
          w = Put(w, s, static_cast<u32>(numberEnd - s), it.align, it.width, true);
          break;
        }
        case kItemRandom: {
          const char *s = DecimalBackward(numberEnd, RandomValue(rmin, rmax));
          w = Put(w, s, static_cast<u32>(numberEnd - s), it.align, it.width, true);
          break;
        }
        case kItemNewline:
          memcpy(w, newline, newlineLength);
          w += newlineLength;
          break;
        default:
          break;
      }
    }
    const u32 own = l.end - l.textEnd;
    if (own) memcpy(w, in.text + l.textEnd, own);
    w += own;
    out->length = static_cast<u64>(w - out->doc->text);
    if (!out->Hand(false)) return kResultOutOfMemory;
    counted++;
    *countedBefore = counted;
    if (ticker->Line(l.end - l.start)) return kResultCancelled;
  }
  return 0;
}

// One half of a run cut in two: its stretch, its pass and what it gives.
struct Half {
  const ColumnsRequest *request;
  const Run *run;
  Stretch in;
  const ToolInput *source;  // when set, the input is [from, to) of the document
  u32 from, to;
  ToolDocument chunk;       // the lines of it read last
  bool measuring;    // the pre-pass, else the writing pass
  Measures measures;
  ToolDocument *out;  // the result, or the stage of
  ToolPieces *pieces;  // the result's pieces
  u64 counted;       // the writing pass: the counted lines before the stretch
  Ticker ticker;
  int result;
};

// Calls fn on the half's input: the whole stretch, or the document's lines
// a chunk at a time; the first nonzero result it gives.
template <class F>
int ForEachStretch(Half *h, F &&fn) {
  if (!h->source) return fn(h->in);
  return ForEachInputChunk(h->source, h->from, h->to, &h->chunk, [&](const char *text, u32 length, bool atEnd) {
    return fn(Stretch{text, length, atEnd && h->in.last});
  });
}

u32 RunHalf(void *context) {
  Half *h = static_cast<Half *>(context);
  if (h->measuring) {
    h->result = ForEachStretch(h, [h](const Stretch &in) {
      return MeasureLines(in, *h->request, *h->run, &h->measures, &h->ticker) ? 0 : kResultCancelled;
    });
    return 0;
  }
  Output output = {h->out, 0, h->in.length, h->pieces};
  u64 counted = h->counted;
  h->result = ForEachStretch(
      h, [&](const Stretch &in) { return WriteLines(in, *h->request, *h->run, &counted, &output, &h->ticker); });
  if (h->result == 0 && !output.Hand(true)) h->result = kResultOutOfMemory;
  if (h->result == 0 && !h->pieces) {
    h->out->length = static_cast<u32>(output.length);
    if (h->out->text) h->out->text[h->out->length] = 0;
  }
  return 0;
}

}  // namespace

int ColumnsNumbersTool(const ToolDocument *in, ToolDocument *out, ToolParam param) {
  const ColumnsRequest &request = *reinterpret_cast<const ColumnsRequest *>(param);
  Run *run = static_cast<Run *>(Allocate(sizeof(Run)));
  if (!run) return kResultOutOfMemory;
  CompileMask(request.mask, &run->mask);
  Plan(run, request);
  // Under the runner the input is read from the document a chunk of lines
  // at a time rather than copied whole, and the result is written in pieces
  // the document takes, through a stage for each half. A long input is cut
  // in two halves written at once; random numbers are drawn in the lines'
  // order, so a mask with them runs in one piece.
  ToolPieces *pieces = ToolResultPieces();
  const ToolInput *source = pieces ? ToolInputRange() : nullptr;
  const u32 end = source ? source->to : 0;
  const u32 cut = source && !run->hasRandom ? ToolInputCut(source) : end;  // the second half's start
  Half half[2];
  ToolDocument stage[2] = {};
  for (int k = 0; k < 2; k++) {
    half[k] = Half{};
    half[k].request = &request;
    half[k].run = run;
    half[k].out = pieces ? &stage[k] : out;
    half[k].pieces = pieces ? &pieces[k] : nullptr;
    half[k].source = source;
  }
  if (source) {
    half[0].from = source->from;
    half[0].to = half[1].from = cut;
    half[1].to = end;
    half[0].in.last = cut == end;
    half[1].in.last = true;
  } else {
    half[0].in = Stretch{in->text, in->length, true};
  }
  Half *second = cut < end ? &half[1] : nullptr;
  // The pre-pass: for the aligned items' widths, and for the counter of a
  // second half, which starts after the first half's counted lines.
  int r = 0;
  u64 counted = 0;
  MemZero(run->maxLength, sizeof run->maxLength);
  if (run->widthColumns || run->countNeeded || (second && run->hasCounter)) {
    for (Half &h : half) {
      h.measuring = true;
      h.ticker.share = Ticker::kFirstHalf;
    }
    RunBeside(RunHalf, &half[0], second);
    for (const Half &h : half) {
      if (&h == &half[1] && !second) break;
      if (h.result) r = h.result;
      for (u32 k = 0; k <= kColumnDefs; k++)
        if (h.measures.maxLength[k] > run->maxLength[k]) run->maxLength[k] = h.measures.maxLength[k];
      counted += h.measures.counted;
    }
    for (Half &h : half) h.ticker.SecondPass();
  }
  if (r == 0) {
    SetWidths(run, request, counted);
    for (Half &h : half) h.measuring = false;
    half[1].counted = half[0].measures.counted;
    RunBeside(RunHalf, &half[0], second);
    r = HalvesResult(half[0].result, second ? second->result : 0);
    if (r == 0) {
      half[0].ticker.Report();
      if (second) second->ticker.Report();
    }
  }
  Free(run);
  for (int k = 0; k < 2; k++) {
    ToolDocumentFree(&stage[k]);
    ToolDocumentFree(&half[k].chunk);
  }
  // A cancel is the runner's to see: the tool just stops.
  return r == kResultCancelled ? 0 : r;
}
