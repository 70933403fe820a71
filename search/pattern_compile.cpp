// The pattern compiler: the predefined classes, the parsers of the three
// levels, group numbering. The optimisation passes live in
// pattern_optimise.cpp, the matching hints in pattern_analyse.cpp.
//
// The RegExps parser reads nested groups with an explicit stack of parse
// frames on the heap, so a pattern of 65,535 "(" costs memory, not the
// machine stack. Every sequence ends in an empty slot: an atom is written
// into the slot and a fresh slot is appended after it; the trailing slots are
// unlinked afterwards.
#include "config/config_state.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "search/pattern_internal.h"

using namespace pattern_detail;

// ---- messages ---------------------------------------------------------------------

TextSlot PatternErrorText(int result) {
  static const TextSlot kErrors[] = {TXT_PATTERN_END_OF_GROUP,     TXT_PATTERN_BLEEDING_GROUP,
                                     TXT_PATTERN_BLEEDING_QUOTE,   TXT_PATTERN_BLEEDING_INTERVAL,
                                     TXT_PATTERN_BLEEDING_CLASS,   TXT_PATTERN_UNKNOWN_CLASS};
  static_assert(QP_ARRAY_COUNT(kErrors) == kPatternUnknownClass, "one text per error code");
  if (result >= 1 && result <= kPatternUnknownClass) return kErrors[result - 1];
  return TXT_OUT_OF_MEMORY;
}

TextSlot PatternWarningText(int warning) {
  return warning == kPatternReversedRange ? TXT_PATTERN_REVERSED_RANGE : TXT_PATTERN_UNKNOWN_ESCAPE;
}

PatternSettings CurrentPatternSettings() {
  PatternSettings s;
  s.noNewlineDecoding = g_settings.main.FNlEsc;
  s.lookBehindReach = g_settings.main.FMaxLBA < 0 ? 0 : static_cast<u32>(g_settings.main.FMaxLBA);
  return s;
}

// ---- predefined classes -------------------------------------------------------------

namespace {

u8 g_classTables[kPredefinedTables * kClassTableBytes];
bool g_classTablesReady;

void SetClass(u32 cls, u8 c) { g_classTables[(cls / 8) * kClassTableBytes + c] |= static_cast<u8>(1u << (cls % 8)); }

}  // namespace

void BuildPatternClassTables() {
  MemZero(g_classTables, sizeof g_classTables);
  for (u32 c = 0; c < 256; c++) {
    if (c == '\r' || c == '\n') continue;  // no predefined class holds a newline character
    const u8 b = static_cast<u8>(c);
    const u16 t = CharType(b);
    const bool alpha = (t & kC1Alpha) != 0, digit = (t & kC1Digit) != 0, space = (t & kC1Space) != 0;
    const bool punct = (t & kC1Punct) != 0, lower = (t & kC1Lower) != 0, upper = (t & kC1Upper) != 0;
    const bool blank = (t & kC1Blank) != 0;
    SetClass(0, b);
    SetClass(IsWordChar(b) ? 1 : 2, b);
    SetClass(space ? 3 : 4, b);
    SetClass(digit ? 5 : 6, b);
    if (alpha) SetClass(7, b);
    if (alpha || digit) SetClass(8, b);
    if (blank) SetClass(9, b);
    if (t & kC1Cntrl) SetClass(10, b);
    if (digit) SetClass(11, b);
    if (alpha || punct || digit || lower || upper) SetClass(12, b);
    if (lower) SetClass(13, b);
    if (alpha || blank || punct || space || digit || lower || upper) SetClass(14, b);
    if (punct) SetClass(15, b);
    if (space) SetClass(16, b);
    if (upper) SetClass(17, b);
    if (t & kC1XDigit) SetClass(18, b);
  }
  g_classTablesReady = true;
}

const u8 *PredefinedClassTables() {
  if (!g_classTablesReady) BuildPatternClassTables();
  return g_classTables;
}

u32 pattern_detail::BytesWithLower(u8 lower, u8 *out) {
  const u8 *table = LowerTable();
  u32 n = 0;
  for (u32 c = 0; c < 256; c++) {
    if (table[c] == lower) {
      if (out) out[n] = static_cast<u8>(c);
      n++;
    }
  }
  return n;
}

// ---- the compiler -------------------------------------------------------------------

namespace {

constexpr u32 kPendingSlot = 0xFFFFFFFFu;  // a group whose slot is given after parsing

// One open group while parsing.
struct ParseFrame {
  u32 open, close;
  u32 altFirst;        // first node of the current alternative
  u32 cur;             // the empty slot that ends the current alternative
  u32 minLength, maxLength;  // of the current alternative
  u32 altMin, altMax;  // merged lengths of the finished alternatives
  u32 hasAlternatives;
  u32 branchReset;
  u32 resetBase, resetMax;  // branch reset: numbers at the start, highest reached
};

struct Compiler {
  CompiledPattern *cp;
  const u8 *s;    // the pattern copy
  u32 i;          // read position in it
  bool ignoreCase;
  bool anyNewline;
  u32 captures;   // capture numbers given so far
  ParseFrame *frames;
  u32 frameCount, frameCapacity;
};

PatternNode &N(Compiler &c, u32 index) { return c.cp->nodes[index]; }

int NewNode(Compiler &c, u32 *index) {
  CompiledPattern *cp = c.cp;
  if (cp->nodeCount == cp->nodeCapacity) {
    void *p = cp->nodes;
    u32 cap = cp->nodeCapacity;
    if (!GrowArray(&p, sizeof(PatternNode), &cap, cp->nodeCount + 1)) return -1;
    cp->nodes = static_cast<PatternNode *>(p);
    cp->nodeCapacity = cap;
  }
  u32 k = cp->nodeCount++;
  PatternNode &n = cp->nodes[k];
  MemZero(&n, sizeof n);
  n.minRepeat = 1;
  n.maxRepeat = 1;
  n.mode = kModeGreedy;
  *index = k;
  return 0;
}

void Warn(Compiler &c, int warning) {
  if (c.cp->warning == kPatternNoWarning) c.cp->warning = warning;
}

// Writes an atom into the slot of frame f and appends a fresh slot.
int PutAtom(Compiler &c, u32 f, u8 kind, u32 a, u32 b, u32 *atom) {
  u32 slot = c.frames[f].cur;
  u32 fresh;
  if (NewNode(c, &fresh) != 0) return -1;
  PatternNode &n = N(c, slot);
  n.kind = kind;
  n.a = a;
  n.b = b;
  n.next = fresh;
  c.frames[f].cur = fresh;
  *atom = slot;
  return 0;
}

int PutChar(Compiler &c, u32 f, u8 ch, u32 *atom) {
  if (c.ignoreCase) return PutAtom(c, f, kNodeChar, ToLower(ch), ToUpper(ch), atom);
  return PutAtom(c, f, kNodeChar, ch, ch, atom);
}

// Adds an atom's lengths, times its repeat, to the current alternative.
void Commit(Compiler &c, u32 f, u32 atom, u32 minLength, u32 maxLength) {
  const PatternNode &n = N(c, atom);
  ParseFrame &fr = c.frames[f];
  fr.minLength = LengthAdd(fr.minLength, MinLengthTimes(minLength, n.minRepeat));
  fr.maxLength = LengthAdd(fr.maxLength, LengthTimes(maxLength, n.maxRepeat));
}

bool IsHex(u8 ch) { return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F'); }
u8 HexValue(u8 ch) {
  if (ch <= '9') return static_cast<u8>(ch - '0');
  return static_cast<u8>((ch | 0x20) - 'a' + 10);
}
bool IsAsciiLetter(u8 ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }
u8 ControlOf(u8 ch) { return static_cast<u8>(ch <= 'Z' ? ch - 64 : ch - 96); }

// ---- quantifiers ----

// Decimal digits, saturating at kRepeatUnbounded.
i32 ReadNumber(Compiler &c) {
  u64 v = 0;
  while (c.s[c.i] >= '0' && c.s[c.i] <= '9') {
    v = v * 10 + (c.s[c.i] - '0');
    if (v > static_cast<u64>(kRepeatUnbounded)) v = kRepeatUnbounded;
    c.i++;
  }
  return static_cast<i32>(v);
}

// Reads one quantifier and its suffix after an atom. Returns 1 when there
// was one, 0 when not, or an error code (4) as a negative number.
int ReadQuantifier(Compiler &c, i32 *min, i32 *max, u8 *mode) {
  switch (c.s[c.i]) {
    case '*':
      *min = 0;
      *max = kRepeatUnbounded;
      c.i++;
      break;
    case '+':
      *min = 1;
      *max = kRepeatUnbounded;
      c.i++;
      break;
    case '?':
      *min = 0;
      *max = 1;
      c.i++;
      break;
    case '{': {
      c.i++;
      *min = ReadNumber(c);
      if (c.s[c.i] == ',') {
        c.i++;
        i32 m = ReadNumber(c);
        *max = m == 0 ? kRepeatUnbounded : m;
      } else {
        *max = *min;
      }
      if (c.s[c.i] != '}') return -kPatternBleedingInterval;
      c.i++;
      break;
    }
    default:
      return 0;
  }
  if (c.s[c.i] == '+') {
    *mode = kModeGreedy | kModePossessive;
    c.i++;
  } else if (c.s[c.i] == '?') {
    *mode = kModeLazy;
    c.i++;
  } else {
    *mode = kModeGreedy;
  }
  return 1;
}

// An atomic group that takes a quantifier is put inside a non-capturing group
// that carries the quantifier: (?>X)* repeats an atomic X and may give
// iterations back, while the atomic group itself stays atomic. The wrapper
// takes the atomic group's place (and index) in the chain.
int WrapAtomic(Compiler &c, u32 atom, u32 *wrapper) {
  u32 moved, wrapClose;
  if (NewNode(c, &moved) != 0 || NewNode(c, &wrapClose) != 0) return -1;
  PatternNode &o = N(c, atom);
  PatternNode inner = o;
  inner.alternative = 0;
  u32 innerClose = inner.partner;
  u32 after = N(c, innerClose).next;
  N(c, moved) = inner;
  N(c, innerClose).b = moved;
  N(c, innerClose).next = wrapClose;
  PatternNode &w = N(c, atom);
  u32 alt = w.alternative;
  MemZero(&w, sizeof w);
  w.alternative = alt;
  w.kind = kNodeOpen;
  w.next = moved;
  w.a = inner.a;
  w.b = inner.b;
  w.minRepeat = w.maxRepeat = 1;
  w.mode = kModeGreedy | kModeNonCapturing;
  w.partner = wrapClose;
  PatternNode &wc = N(c, wrapClose);
  wc.kind = kNodeClose;
  wc.a = kPendingSlot;
  wc.b = atom;
  wc.next = after;
  *wrapper = atom;
  return 0;
}

// Reads an optional quantifier for the atom just written, applies it, and
// adds the atom's lengths to the sequence. Returns 0 or an error.
int FinishAtom(Compiler &c, u32 f, u32 atom, u32 minLength, u32 maxLength) {
  i32 min = 1, max = 1;
  u8 mode = kModeGreedy;
  int q = ReadQuantifier(c, &min, &max, &mode);
  if (q < 0) return -q;
  if (q > 0) {
    PatternNode *n = &N(c, atom);
    if (n->kind == kNodeString && n->b == 0) {
      min = max = 0;  // an empty \Q\E string repeats 0..0
    }
    if (n->kind == kNodeOpen && n->mode == kModeAtomic) {
      if (WrapAtomic(c, atom, &atom) != 0) return kPatternOutOfMemory;
      n = &N(c, atom);
    }
    n->minRepeat = min;
    n->maxRepeat = max;
    n->mode = static_cast<u8>((n->mode & ~kModeRepeatMask) | mode);
    if (n->kind == kNodeOpen) {
      PatternNode &cl = N(c, n->partner);
      cl.minRepeat = min;
      cl.maxRepeat = max;
      cl.mode = n->mode;
    }
  }
  Commit(c, f, atom, minLength, maxLength);
  return 0;
}

// ---- bracket classes ----

int NewClass(Compiler &c, u32 *table, u32 *mask) {
  CompiledPattern *cp = c.cp;
  u32 number = cp->classCount;
  u32 t = number / 8;
  if (t >= cp->tableCount) {
    if (t >= cp->tableCapacity) {
      void *p = cp->tables;
      u32 cap = cp->tableCapacity;
      if (!GrowArray(&p, kClassTableBytes, &cap, t + 1)) return -1;
      cp->tables = static_cast<u8 *>(p);
      cp->tableCapacity = cap;
    }
    MemZero(cp->tables + cp->tableCount * kClassTableBytes, (t + 1 - cp->tableCount) * kClassTableBytes);
    cp->tableCount = t + 1;
  }
  cp->classCount = number + 1;
  *table = t;
  *mask = 1u << (number % 8);
  return 0;
}

void AddPredefined(Compiler &c, u32 cls, u8 *members) {
  const u8 *tab = c.cp->tables + (cls / 8) * kClassTableBytes;
  const u8 bit = static_cast<u8>(1u << (cls % 8));
  for (u32 ch = 0; ch < 256; ch++) {
    if (tab[ch] & bit) members[ch] = 1;
  }
}

// The predefined class of \d \D \s \S \w \W, or -1.
int EscapeClass(u8 ch) {
  switch (ch) {
    case 'd': return 5;
    case 'D': return 6;
    case 's': return 3;
    case 'S': return 4;
    case 'w': return 1;
    case 'W': return 2;
    default: return -1;
  }
}

// Whether a class item ([:name:] or a class escape) starts at position at.
bool ClassItemAt(const Compiler &c, u32 at) {
  if (c.s[at] == '[' && c.s[at + 1] == ':') return true;
  return c.s[at] == '\\' && EscapeClass(c.s[at + 1]) >= 0;
}

// One character of a bracket class at c.i (not a class item): its value.
// Returns 0, or an error.
int ClassChar(Compiler &c, u8 *value) {
  u8 ch = c.s[c.i];
  if (ch != '\\') {
    *value = ch;
    c.i++;
    return 0;
  }
  u8 e = c.s[c.i + 1];
  if (e == 0) return kPatternBleedingClass;
  c.i += 2;
  switch (e) {
    case '-': case ':': case '[': case '\\': case ']': case '^': *value = e; return 0;
    case '0': *value = 0; return 0;
    case 'a': *value = 7; return 0;
    case 'b': *value = 8; return 0;
    case 'e': *value = 27; return 0;
    case 'f': *value = 12; return 0;
    case 'n': *value = 10; return 0;
    case 'r': *value = 13; return 0;
    case 't': *value = 9; return 0;
    case 'v': *value = 11; return 0;
    case 'x':
      if (IsHex(c.s[c.i]) && IsHex(c.s[c.i + 1])) {
        *value = static_cast<u8>(HexValue(c.s[c.i]) * 16 + HexValue(c.s[c.i + 1]));
        c.i += 2;
        return 0;
      }
      break;
    case 'c':
      if (IsAsciiLetter(c.s[c.i])) {
        *value = ControlOf(c.s[c.i]);
        c.i++;
        return 0;
      }
      break;
    default:
      break;
  }
  Warn(c, kPatternUnknownEscape);
  *value = e;
  return 0;
}

const char kClassNames[12][6] = {"alpha", "alnum", "blank", "cntrl", "digit", "graph",
                                 "lower", "print", "punct", "space", "upper", "xdigi"};

// Parses a bracket class; c.i is just after "[". Gives the class's table and
// mask. Returns 0 or an error.
int ParseBracket(Compiler &c, u32 *table, u32 *mask) {
  u8 members[256];
  MemZero(members, sizeof members);
  bool negate = false;
  if (c.s[c.i] == '^') {
    negate = true;
    c.i++;
  }
  bool first = true;
  for (;;) {
    u8 ch = c.s[c.i];
    if (ch == 0) return kPatternBleedingClass;
    if (ch == ']' && !first) {
      c.i++;
      break;
    }
    first = false;
    if (ch == '[' && c.s[c.i + 1] == ':') {
      const u8 *name = c.s + c.i + 2;
      for (u32 k = 0; k < 5; k++) {
        if (name[k] == 0) return kPatternBleedingClass;
      }
      int found = -1;
      for (u32 k = 0; k < 12; k++) {
        if (MemCompare(name, kClassNames[k], 5) == 0) found = static_cast<int>(k);
      }
      if (found < 0 || name[5] != ':' || name[6] != ']') return kPatternUnknownClass;
      AddPredefined(c, 7 + static_cast<u32>(found), members);
      c.i += 9;
      continue;
    }
    if (ch == '\\' && EscapeClass(c.s[c.i + 1]) >= 0) {
      AddPredefined(c, static_cast<u32>(EscapeClass(c.s[c.i + 1])), members);
      c.i += 2;
      continue;
    }
    u8 from;
    int r = ClassChar(c, &from);
    if (r != 0) return r;
    // A range: "-" followed by something other than "]", the end, or a class item.
    if (c.s[c.i] == '-' && c.s[c.i + 1] != ']' && c.s[c.i + 1] != 0 && !ClassItemAt(c, c.i + 1)) {
      c.i++;
      u8 to;
      r = ClassChar(c, &to);
      if (r != 0) return r;
      if (from > to) {
        u8 t = from;
        from = to;
        to = t;
        Warn(c, kPatternReversedRange);
      }
      for (u32 k = from; k <= to; k++) members[k] = 1;
    } else {
      members[from] = 1;
    }
  }
  if (c.ignoreCase) {
    u8 folded[256];
    MemCopy(folded, members, sizeof folded);
    for (u32 k = 0; k < 256; k++) {
      if (members[k]) {
        folded[ToLower(static_cast<u8>(k))] = 1;
        folded[ToUpper(static_cast<u8>(k))] = 1;
      }
    }
    MemCopy(members, folded, sizeof members);
  }
  if (negate) {
    for (u32 k = 0; k < 256; k++) members[k] = !members[k];
    members[static_cast<u8>('\r')] = 0;
    members[static_cast<u8>('\n')] = 0;
  }
  if (NewClass(c, table, mask) != 0) return kPatternOutOfMemory;
  u8 *tab = c.cp->tables + *table * kClassTableBytes;
  for (u32 k = 0; k < 256; k++) {
    if (members[k]) tab[k] |= static_cast<u8>(*mask);
  }
  return 0;
}

// ---- groups ----

int PushFrame(Compiler &c, u32 open, u32 close, u32 body) {
  if (c.frameCount == c.frameCapacity) {
    void *p = c.frames;
    u32 cap = c.frameCapacity;
    if (!GrowArray(&p, sizeof(ParseFrame), &cap, c.frameCount + 1)) return -1;
    c.frames = static_cast<ParseFrame *>(p);
    c.frameCapacity = cap;
  }
  ParseFrame &f = c.frames[c.frameCount++];
  MemZero(&f, sizeof f);
  f.open = open;
  f.close = close;
  f.altFirst = body;
  f.cur = body;
  return 0;
}

// Ends the current alternative of the top frame and merges its lengths.
void EndAlternative(Compiler &c) {
  ParseFrame &f = c.frames[c.frameCount - 1];
  N(c, f.cur).next = f.close;
  if (f.hasAlternatives) {
    if (f.minLength < f.altMin) f.altMin = f.minLength;
    if (f.maxLength > f.altMax) f.altMax = f.maxLength;
  } else {
    f.altMin = f.minLength;
    f.altMax = f.maxLength;
  }
}

// "(" at c.i - 1: turns the slot of the top frame into a group opening.
int OpenGroup(Compiler &c) {
  u8 mode = kModeGreedy;
  bool capturing = false;
  const u8 *s = c.s;
  if (s[c.i] == '?') {
    u8 k = s[c.i + 1];
    if (k == ':') {
      mode |= kModeNonCapturing;
      c.i += 2;
    } else if (k == '=' || k == '!') {
      mode |= kModeLookAhead | (k == '!' ? kModeNegative : 0);
      c.i += 2;
    } else if (k == '>') {
      mode = kModeAtomic;
      c.i += 2;
    } else if (k == '|') {
      mode |= kModeBranchReset;
      c.i += 2;
    } else if (k == '<' && (s[c.i + 2] == '=' || s[c.i + 2] == '!')) {
      mode |= kModeLookBehind | (s[c.i + 2] == '!' ? kModeNegative : 0);
      c.i += 3;
    } else {
      capturing = true;  // "(?" and anything else: the "?" is read as pattern text
    }
  } else {
    capturing = true;
  }
  u32 f = c.frameCount - 1;
  u32 open = c.frames[f].cur;
  u32 close, body;
  if (NewNode(c, &close) != 0 || NewNode(c, &body) != 0) return -1;
  PatternNode &o = N(c, open);
  o.kind = kNodeOpen;
  o.mode = mode;
  o.next = body;
  o.partner = close;
  PatternNode &cl = N(c, close);
  cl.kind = kNodeClose;
  cl.b = open;
  cl.mode = mode;
  if (capturing) {
    if (c.captures < 0xFFFFFFF0u) c.captures++;
    cl.a = c.captures;
  } else {
    cl.a = kPendingSlot;
  }
  if (PushFrame(c, open, close, body) != 0) return -1;
  ParseFrame &fr = c.frames[c.frameCount - 1];
  if (mode & kModeBranchReset) {
    fr.branchReset = 1;
    fr.resetBase = c.captures;
    fr.resetMax = c.captures;
  }
  return 0;
}

// ")" (or the end of the text for group 0): closes the top frame. For an inner
// group, appends a slot after it in the parent and finishes it as an atom.
int CloseGroup(Compiler &c) {
  EndAlternative(c);
  ParseFrame f = c.frames[c.frameCount - 1];
  PatternNode &o = N(c, f.open);
  o.a = f.altMin;
  o.b = f.altMax;
  if (f.branchReset && f.resetMax > c.captures) c.captures = f.resetMax;
  if (c.frameCount == 1) return 0;
  c.frameCount--;
  u32 parent = c.frameCount - 1;
  u32 fresh;
  if (NewNode(c, &fresh) != 0) return -1;
  N(c, f.close).next = fresh;
  c.frames[parent].cur = fresh;
  const PatternNode &open = N(c, f.open);
  bool zero = IsLookAround(open);
  return FinishAtom(c, parent, f.open, zero ? 0 : f.altMin, zero ? 0 : f.altMax);
}

// "\K": an empty group that resets the match start.
int PutResetStart(Compiler &c, u32 f, u32 *atom) {
  u32 open = c.frames[f].cur;
  u32 close, fresh;
  if (NewNode(c, &close) != 0 || NewNode(c, &fresh) != 0) return -1;
  PatternNode &o = N(c, open);
  o.kind = kNodeOpen;
  o.mode = kModeGreedy | kModeResetStart;
  o.next = close;
  o.partner = close;
  PatternNode &cl = N(c, close);
  cl.kind = kNodeClose;
  cl.a = kPendingSlot;
  cl.b = open;
  cl.mode = o.mode;
  cl.next = fresh;
  c.frames[f].cur = fresh;
  *atom = open;
  return 0;
}

// "\Q...\E": the text goes to the literal pool.
int PutQuoted(Compiler &c, u32 f, u32 *atom, u32 *length) {
  u32 start = c.i;
  u32 end = start;
  while (c.s[end] != 0 && !(c.s[end] == '\\' && c.s[end + 1] == 'E')) end++;
  if (c.s[end] == 0) return kPatternBleedingQuote;
  u32 n = end - start;
  CompiledPattern *cp = c.cp;
  if (n > kPatternMaxChars - cp->poolLength) return kPatternOutOfMemory;
  u32 offset = cp->poolLength;
  for (u32 k = 0; k < n; k++) {
    u8 ch = c.s[start + k];
    cp->pool[offset + k] = static_cast<char>(c.ignoreCase ? ToLower(ch) : ch);
  }
  cp->poolLength += n;
  c.i = end + 2;
  *length = n;
  return PutAtom(c, f, kNodeString, offset, n, atom) != 0 ? kPatternOutOfMemory : 0;
}

// A backslash escape outside a class; c.i is just after the backslash.
int ParseEscape(Compiler &c, u32 f) {
  u8 e = c.s[c.i];
  u32 atom;
  auto put = [&](u8 kind, u32 a, u32 b, u32 minLength, u32 maxLength) -> int {
    if (PutAtom(c, f, kind, a, b, &atom) != 0) return kPatternOutOfMemory;
    return FinishAtom(c, f, atom, minLength, maxLength);
  };
  auto putChar = [&](u8 ch) -> int {
    if (PutChar(c, f, ch, &atom) != 0) return kPatternOutOfMemory;
    return FinishAtom(c, f, atom, 1, 1);
  };
  if (e == 0) {
    Warn(c, kPatternUnknownEscape);  // a backslash at the very end: the character 0
    return putChar(0);
  }
  c.i++;
  switch (e) {
    case '$': case '(': case ')': case '*': case '+': case '.': case ':': case '<': case '>':
    case '?': case '[': case '\\': case ']': case '^': case '{': case '|': case '}':
      return putChar(e);
    case '0': return putChar(0);
    case 'a': return putChar(7);
    case 'e': return putChar(27);
    case 'f': return putChar(12);
    case 't': return putChar(9);
    case 'v': return putChar(11);
    case 'n': return put(kNodeNewline, 0, 0, 1, 2);
    case 'x':
      if (IsHex(c.s[c.i]) && IsHex(c.s[c.i + 1])) {
        u8 v = static_cast<u8>(HexValue(c.s[c.i]) * 16 + HexValue(c.s[c.i + 1]));
        c.i += 2;
        return putChar(v);
      }
      break;
    case 'c':
      if (IsAsciiLetter(c.s[c.i])) {
        u8 v = ControlOf(c.s[c.i]);
        c.i++;
        return putChar(v);
      }
      break;
    case 'd': case 'D': case 's': case 'S': case 'w': case 'W': {
      u32 cls = static_cast<u32>(EscapeClass(e));
      return put(kNodeClass, cls / 8, 1u << (cls % 8), 1, 1);
    }
    case 'A': return put(kNodeTextStart, 0, 0, 0, 0);
    case 'Z': return put(kNodeTextEnd, 0, 0, 0, 0);
    case 'b': return put(kNodeWordBoundary, 0, 0, 0, 0);
    case 'B': return put(kNodeNotWordBoundary, 0, 0, 0, 0);
    case 'y': return put(kNodeWordStart, 0, 0, 0, 0);
    case 'Y': return put(kNodeWordEnd, 0, 0, 0, 0);
    case 'p': return put(kNodeParagraphStart, 0, 0, 0, 0);
    case 'P': return put(kNodeParagraphEnd, 0, 0, 0, 0);
    case 'G': return put(kNodeSearchStart, 0, 0, 0, 0);
    case 'K':
      if (PutResetStart(c, f, &atom) != 0) return kPatternOutOfMemory;
      return FinishAtom(c, f, atom, 0, 0);
    case 'Q': {
      u32 length;
      int r = PutQuoted(c, f, &atom, &length);
      if (r != 0) return r;
      return FinishAtom(c, f, atom, length, length);
    }
    default:
      if (e >= '1' && e <= '9') return put(kNodeBackRef, static_cast<u32>(e - '0'), 0, 0, kLengthUnbounded);
      break;
  }
  Warn(c, kPatternUnknownEscape);
  return putChar(e);
}

int ParseRegExps(Compiler &c) {
  for (;;) {
    const u32 f = c.frameCount - 1;
    const u8 ch = c.s[c.i];
    if (ch == 0) {
      if (c.frameCount > 1) return kPatternBleedingGroup;
      return CloseGroup(c) != 0 ? kPatternOutOfMemory : 0;
    }
    c.i++;
    int r = 0;
    u32 atom;
    switch (ch) {
      case '|': {
        EndAlternative(c);
        u32 fresh;
        if (NewNode(c, &fresh) != 0) return kPatternOutOfMemory;
        ParseFrame &fr = c.frames[f];
        N(c, fr.altFirst).alternative = fresh;
        fr.altFirst = fresh;
        fr.cur = fresh;
        fr.hasAlternatives = 1;
        fr.minLength = fr.maxLength = 0;
        if (fr.branchReset) {
          if (c.captures > fr.resetMax) fr.resetMax = c.captures;
          c.captures = fr.resetBase;
        }
        break;
      }
      case ')':
        if (c.frameCount == 1) return kPatternEndOfGroup;
        r = CloseGroup(c);
        break;
      case '(':
        if (OpenGroup(c) != 0) return kPatternOutOfMemory;
        break;
      case '\\':
        r = ParseEscape(c, f);
        break;
      case '.':
        if (PutAtom(c, f, kNodeAny, 0, 0, &atom) != 0) return kPatternOutOfMemory;
        r = FinishAtom(c, f, atom, 1, 1);
        break;
      case '^':
      case '$':
        if (PutAtom(c, f, ch == '^' ? kNodeLineStart : kNodeLineEnd, 0, 0, &atom) != 0) return kPatternOutOfMemory;
        r = FinishAtom(c, f, atom, 0, 0);
        break;
      case '[': {
        u32 table, mask;
        r = ParseBracket(c, &table, &mask);
        if (r != 0) return r;
        if (PutAtom(c, f, kNodeClass, table, mask, &atom) != 0) return kPatternOutOfMemory;
        r = FinishAtom(c, f, atom, 1, 1);
        break;
      }
      case '\r':
      case '\n':
        if (c.anyNewline) {
          if (ch == '\r' && c.s[c.i] == '\n') c.i++;
          if (PutAtom(c, f, kNodeNewline, 0, 0, &atom) != 0) return kPatternOutOfMemory;
          r = FinishAtom(c, f, atom, 1, 2);
          break;
        }
        [[fallthrough]];
      default:
        // Anything else, a quantifier character with no atom before it included.
        if (PutChar(c, f, ch, &atom) != 0) return kPatternOutOfMemory;
        r = FinishAtom(c, f, atom, 1, 1);
        break;
    }
    if (r != 0) return r;
  }
}

// Plain text and Escapes: one node per character, no groups.
int ParsePlain(Compiler &c, bool escapes, bool decodeNewline) {
  u8 *copy = reinterpret_cast<u8 *>(c.cp->pattern);
  for (;;) {
    u8 ch = c.s[c.i];
    if (ch == 0) return CloseGroup(c) != 0 ? kPatternOutOfMemory : 0;
    c.i++;
    u32 atom;
    bool newline = false;
    if (c.anyNewline && (ch == '\r' || ch == '\n')) {
      if (ch == '\r' && c.s[c.i] == '\n') c.i++;
      newline = true;
    } else if (escapes && ch == '\\') {
      u8 e = c.s[c.i];
      if (e == '0' || e == '\\' || e == 't') {
        ch = e == '0' ? 0 : e == 't' ? '\t' : '\\';
        c.i++;
      } else if (e == 'n') {
        if (decodeNewline) {
          copy[c.i - 1] = '\r';
          copy[c.i] = '\n';
        }
        c.i++;
        newline = true;
      }
      // Anything else: the backslash stands for itself.
    }
    if (newline) {
      if (PutAtom(c, 0, kNodeNewline, 0, 0, &atom) != 0) return kPatternOutOfMemory;
      Commit(c, 0, atom, 1, 2);
    } else {
      if (PutChar(c, 0, ch, &atom) != 0) return kPatternOutOfMemory;
      Commit(c, 0, atom, 1, 1);
    }
  }
}

// Gives every non-capturing group the next slot from max(10, captures + 1) on.
void NumberGroups(Compiler &c) {
  CompiledPattern *cp = c.cp;
  u32 count = c.captures + 1;
  if (count < kMinGroupSlots) count = kMinGroupSlots;
  for (u32 k = 0; k < cp->nodeCount; k++) {
    PatternNode &n = cp->nodes[k];
    if (n.kind != kNodeOpen) continue;
    PatternNode &cl = cp->nodes[n.partner];
    if (cl.a == kPendingSlot && count < 0xFFFFFFF0u) cl.a = count++;
  }
  cp->groupCount = count;
}

// Lays down the frame nodes and parses. Returns the compile result.
int Compile(CompiledPattern *cp, const char *text, u32 flags, const PatternSettings &settings, bool optimise) {
  MemZero(cp, sizeof *cp);
  u32 n = static_cast<u32>(StrLenN(text, kPatternMaxChars));
  MemCopy(cp->pattern, text, n);
  cp->pattern[n] = 0;
  cp->flags = flags;
  cp->scan.searchStart = kNoPosition;
  cp->scan.lookBehindReach = settings.lookBehindReach;
  cp->prefilter.firstAny = 1;  // until the analysis knows better

  const bool regExps = (flags & kPatternRegExps) != 0;
  if (regExps) {
    void *p = nullptr;
    u32 cap = 0;
    if (!GrowArray(&p, kClassTableBytes, &cap, kPredefinedTables)) return kPatternOutOfMemory;
    cp->tables = static_cast<u8 *>(p);
    cp->tableCapacity = cap;
    cp->tableCount = kPredefinedTables;
    MemCopy(cp->tables, PredefinedClassTables(), kPredefinedTables * kClassTableBytes);
    cp->classCount = kPredefinedClasses;
  }

  Compiler c = {};
  c.cp = cp;
  c.s = reinterpret_cast<const u8 *>(cp->pattern);
  c.ignoreCase = (flags & kPatternIgnoreCase) != 0;
  c.anyNewline = (flags & kPatternAnyNewline) != 0;

  int result = 0;
  u32 prev = 0;
  bool hasPrev = false;
  auto frame = [&](u8 kind) -> int {
    u32 k;
    if (NewNode(c, &k) != 0) return -1;
    cp->nodes[k].kind = kind;
    if (hasPrev) cp->nodes[prev].next = k;
    prev = k;
    hasPrev = true;
    return 0;
  };
  u32 open = 0, body = 0, close = 0;
  if ((flags & kPatternWholeLines) && frame(kNodeLineStart) != 0) result = kPatternOutOfMemory;
  if (!result && (flags & kPatternWholeWords) && frame(kNodeWordStart) != 0) result = kPatternOutOfMemory;
  if (!result) {
    if (frame(kNodeOpen) != 0 || NewNode(c, &body) != 0) {
      result = kPatternOutOfMemory;
    } else {
      open = prev;
      if (frame(kNodeClose) != 0) result = kPatternOutOfMemory;
      close = prev;
    }
  }
  if (!result && (flags & kPatternWholeWords) && frame(kNodeWordEnd) != 0) result = kPatternOutOfMemory;
  if (!result && (flags & kPatternWholeLines) && frame(kNodeLineEnd) != 0) result = kPatternOutOfMemory;
  if (!result) {
    PatternNode &o = cp->nodes[open];
    o.next = body;
    o.partner = close;
    cp->nodes[body].next = close;
    cp->nodes[close].b = open;
    cp->nodes[close].a = 0;
    if (PushFrame(c, open, close, body) != 0) result = kPatternOutOfMemory;
  }
  if (!result) {
    if (regExps) {
      result = ParseRegExps(c);
    } else {
      result = ParsePlain(c, (flags & kPatternEscapes) != 0, !settings.noNewlineDecoding);
    }
  }
  Free(c.frames);
  if (result != 0) return result;

  NumberGroups(c);
  cp->minLength = cp->nodes[open].a;
  cp->maxLength = cp->nodes[open].b;
  LinkPartners(cp);
  if (optimise) {
    if (OptimisePattern(cp) != 0) return kPatternOutOfMemory;
    AnalysePattern(cp);
  }
  return 0;
}

}  // namespace

int CompilePattern(CompiledPattern *cp, const char *text, u32 flags, const PatternSettings &settings) {
  return Compile(cp, text, flags, settings, true);
}

int CompilePattern(CompiledPattern *cp, const char *text, u32 flags) {
  return Compile(cp, text, flags, CurrentPatternSettings(), true);
}

int CompilePatternUnoptimised(CompiledPattern *cp, const char *text, u32 flags, const PatternSettings &settings) {
  return Compile(cp, text, flags, settings, false);
}
