#include "document/motion.h"

#include "foundation/char_class.h"
#include "foundation/platform.h"

namespace {

using Reader = TextReader;

struct LeadBytes {
  u8 lead[256];
  bool any;
  LeadBytes() : any(false) {
    for (int c = 0; c < 256; c++) {
      lead[c] = c >= 128 && PlatIsLeadByte(kCodePageAnsi, static_cast<u8>(c));
      any = any || lead[c];
    }
  }
};
const LeadBytes &Leads() {
  static const LeadBytes table;
  return table;
}

inline bool IsNewline(u8 c) { return c == '\r' || c == '\n'; }
inline bool IsBlank(u8 c) { return !IsNewline(c) && (CharType(c) & kC1Space) != 0; }

enum Unit { kUnitWord, kUnitBlank, kUnitNewline, kUnitOther };
Unit UnitOf(u8 c) {
  if (IsNewline(c)) return kUnitNewline;
  if (IsBlank(c)) return kUnitBlank;
  if (IsWordChar(c) || Leads().lead[c]) return kUnitWord;
  return kUnitOther;
}

// Past the character at p (p below n): a lead byte takes the byte after it,
// unless that is a CR or an LF or the text ends there.
inline u32 PastChar(Reader &r, u32 p, u32 n) {
  if (Leads().lead[r.At(p)] && p + 1 < n && !IsNewline(r.At(p + 1))) return p + 2;
  return p + 1;
}

// The newline starting at p (a byte of CR or LF): its length.
u32 NewlineLength(Reader &r, u32 p, u32 length) {
  if (r.At(p) == '\r' && p + 1 < length && r.At(p + 1) == '\n') return 2;
  return 1;
}

}  // namespace

void TextReader::Load(u32 p) {
  u32 b = BlockOfPosition(s, p);
  blockStart = BlockStart(s, b);
  blockEnd = blockStart + s->blocks.entries[b].length;
  data = s->blocks.entries[b].data;
}

u32 CharRight(const Document *doc, u32 p) {
  const TextStore *s = &doc->store;
  if (p >= s->length) return s->length;
  Reader r(s);
  u8 c = r.At(p);
  if (c == '\r') return p + NewlineLength(r, p, s->length);
  return PastChar(r, p, s->length);
}

u32 CharLeft(const Document *doc, u32 p) {
  const TextStore *s = &doc->store;
  if (p > s->length) p = s->length;
  if (p == 0) return 0;
  Reader r(s);
  if (r.At(p - 1) == '\n' && p >= 2 && r.At(p - 2) == '\r') return p - 2;
  if (!Leads().any || p < 2) return p - 1;
  // The byte before p is a trail byte when an odd number of lead-class bytes
  // stand right before it (counted back to the line start at most).
  u32 q = p - 1, n = 0;
  while (q > 0 && !IsNewline(r.At(q - 1)) && Leads().lead[r.At(q - 1)]) {
    q--;
    n++;
  }
  return (n & 1) ? p - 2 : p - 1;
}

u32 WordRight(const Document *doc, u32 p) {
  const TextStore *s = &doc->store;
  const u32 n = s->length;
  if (p >= n) return n;
  Reader r(s);
  Unit u = UnitOf(r.At(p));
  if (u == kUnitNewline) {
    p += NewlineLength(r, p, n);
  } else if (u != kUnitBlank) {
    while (p < n && UnitOf(r.At(p)) == u) p = PastChar(r, p, n);
  }
  while (p < n && IsBlank(r.At(p))) p++;
  return p;
}

u32 WordLeft(const Document *doc, u32 p) {
  const TextStore *s = &doc->store;
  if (p > s->length) p = s->length;
  if (p == 0) return 0;
  Reader r(s);
  if (IsNewline(r.At(p - 1))) return CharLeft(doc, p);
  while (p > 0 && IsBlank(r.At(p - 1))) p--;
  if (p == 0 || IsNewline(r.At(p - 1))) return p;
  // The unit of the character before p, found from its own start.
  u32 q = CharLeft(doc, p);
  Unit u = UnitOf(r.At(q));
  while (q > 0) {
    u32 before = CharLeft(doc, q);
    if (UnitOf(r.At(before)) != u || IsNewline(r.At(before))) break;
    q = before;
  }
  return q;
}

void WordUnitAt(const Document *doc, u32 p, u32 *start, u32 *end) {
  const TextStore *s = &doc->store;
  const u32 n = s->length;
  if (p > n) p = n;
  Reader r(s);
  if (p == n || IsNewline(r.At(p))) {
    if (p == 0 || IsNewline(r.At(p - 1))) {
      *start = *end = p;
      return;
    }
    p = CharLeft(doc, p);
  }
  Unit u = UnitOf(r.At(p));
  u32 a = p, b = CharRight(doc, p);
  if (u == kUnitOther) {
    *start = a;
    *end = b;
    return;
  }
  while (a > 0) {
    u32 before = CharLeft(doc, a);
    if (UnitOf(r.At(before)) != u) break;
    a = before;
  }
  while (b < n && UnitOf(r.At(b)) == u) b = CharRight(doc, b);
  *start = a;
  *end = b;
}

u32 HardLineOfPosition(const Document *doc, u32 p) { return RowHardLine(&doc->store, RowOfPosition(&doc->store, p)); }

u32 HardLineStart(const Document *doc, u32 hardLine) {
  const TextStore *s = &doc->store;
  u32 row = FirstRowOfHardLine(s, hardLine);
  return row >= RowCount(s) ? s->length : RowStart(s, row);
}

u32 HardLineTextEnd(const Document *doc, u32 hardLine) {
  const TextStore *s = &doc->store;
  u32 next = FirstRowOfHardLine(s, hardLine + 1);
  if (next == 0) return 0;
  return RowTextEnd(s, next - 1);
}

u32 HardLineEnd(const Document *doc, u32 hardLine) {
  const TextStore *s = &doc->store;
  u32 next = FirstRowOfHardLine(s, hardLine + 1);
  return next >= RowCount(s) ? s->length : RowStart(s, next);
}

bool HardLineEmpty(const Document *doc, u32 hardLine) {
  return HardLineStart(doc, hardLine) == HardLineTextEnd(doc, hardLine);
}

u32 SkipBlanks(const Document *doc, u32 from, u32 to) {
  Reader r(&doc->store);
  while (from < to && IsBlank(r.At(from))) from++;
  return from;
}

i64 ParagraphUp(const Document *doc, u32 hardLine) {
  i64 k = static_cast<i64>(hardLine) - 1;
  while (k >= 0 && HardLineEmpty(doc, static_cast<u32>(k))) k--;
  if (k < 0) return -1;
  while (k > 0 && !HardLineEmpty(doc, static_cast<u32>(k - 1))) k--;
  return k;
}

i64 ParagraphDown(const Document *doc, u32 hardLine) {
  const u32 lines = HardLineCount(&doc->store);
  u32 k = hardLine;
  while (k < lines && !HardLineEmpty(doc, k)) k++;
  while (k < lines && HardLineEmpty(doc, k)) k++;
  return k < lines ? static_cast<i64>(k) : -1;
}

void ParagraphOf(const Document *doc, u32 hardLine, u32 *first, u32 *last) {
  const u32 lines = HardLineCount(&doc->store);
  if (hardLine >= lines) hardLine = lines - 1;
  const bool empty = HardLineEmpty(doc, hardLine);
  u32 a = hardLine, b = hardLine;
  while (a > 0 && HardLineEmpty(doc, a - 1) == empty) a--;
  while (b + 1 < lines && HardLineEmpty(doc, b + 1) == empty) b++;
  *first = a;
  *last = b;
}

namespace {

void NextWordUnit(const Document *doc, u32 p, u32 *a, u32 *b) {
  TextReader r(&doc->store);
  const u32 n = doc->store.length;
  while (p < n && (r.At(p) == '\r' || r.At(p) == '\n')) p++;
  if (p >= n) {
    *a = *b = n;
    return;
  }
  WordUnitAt(doc, p, a, b);
}

// The paragraph (a run of non-empty lines) holding the line, or the next one
// after it when the line is empty; false when there is none.
bool ParagraphFrom(const Document *doc, u32 line, u32 *from, u32 *to) {
  const u32 lines = HardLineCount(&doc->store);
  while (line < lines && HardLineEmpty(doc, line)) line++;
  if (line >= lines) return false;
  u32 first, last;
  ParagraphOf(doc, line, &first, &last);
  *from = HardLineStart(doc, first);
  *to = HardLineEnd(doc, last);
  return true;
}

}  // namespace

bool UnitAround(const Document *doc, int kind, u32 p, u32 *a, u32 *b) {
  switch (kind) {
    case kUnitWordKind: WordUnitAt(doc, p, a, b); return true;
    case kUnitLine: {
      u32 line = HardLineOfPosition(doc, p);
      *a = HardLineStart(doc, line);
      *b = HardLineEnd(doc, line);
      return true;
    }
    case kUnitParagraph: return ParagraphFrom(doc, HardLineOfPosition(doc, p), a, b);
  }
  return false;
}

bool UnitAfter(const Document *doc, int kind, u32 end, u32 *a, u32 *b) {
  const u32 n = doc->store.length;
  if (end >= n) return false;
  switch (kind) {
    case kUnitWordKind: NextWordUnit(doc, end, a, b); return *b > *a;
    case kUnitLine: return UnitAround(doc, kUnitLine, end, a, b);
    case kUnitParagraph: {
      u32 line = HardLineOfPosition(doc, end);
      // A paragraph that ends at `end` is behind us: start after it.
      if (HardLineStart(doc, line) != end && !HardLineEmpty(doc, line)) {
        u32 first, last;
        ParagraphOf(doc, line, &first, &last);
        line = last + 1;
      }
      return ParagraphFrom(doc, line, a, b);
    }
  }
  return false;
}
