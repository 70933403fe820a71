#include "tools/compare_statistics.h"

#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/helper_thread.h"
#include "tools/word_chars.h"

namespace {

// What the counting needs of a byte, looked up once per byte.
enum : u8 {
  kIsSpace = 1,
  kIsAlnum = 2,
  kIsWord = 4,
  kIsUpper = 8,
  kIsSentenceEnd = 16,
  kIsNewline = 32,
  kIsLead = 64,
  // A letter or digit that is a word character and nothing else that
  // counts: inside a word it changes only the running counts.
  kIsPlain = 128,
};

void BuildClasses(u8 classes[256]) {
  for (int c = 0; c < 256; c++) {
    const u8 b = static_cast<u8>(c);
    const u16 t = CharType(b);
    u8 k = 0;
    if (t & kC1Space) k |= kIsSpace;
    if (t & (kC1Alpha | kC1Digit)) k |= kIsAlnum;
    if (IsWordChar(b)) k |= kIsWord;
    if (t & kC1Upper) k |= kIsUpper;
    if (IsSentenceEnd(b)) k |= kIsSentenceEnd;
    if (b == '\r' || b == '\n') k |= kIsNewline | kIsSpace;
    if (IsLeadByte(b)) k |= kIsLead;
    if ((k & (kIsWord | kIsAlnum)) == (kIsWord | kIsAlnum) && !(k & (kIsSpace | kIsSentenceEnd | kIsLead)))
      k |= kIsPlain;
    classes[c] = k;
  }
}

// The running state of one pass.
struct Counter {
  u32 characters = 0, nonSpace = 0, alnum = 0, words = 0, newlines = 0;
  u32 nonEmptyLines = 0, paragraphs = 0, sentences = 0;
  u64 lengthSum = 0;
  u32 shortest = 0, longest = 0;
  u32 lineStart = 0;        // characters before the current line
  u32 lineLength = 0;       // the current line up to its last non-space character (0: none yet)
  u32 newlinesSince = 0;    // newlines since the last non-space character
  bool seenNonSpace = false;
  bool inWord = false;
  bool firstWordSeen = false;  // since the last sentence end
  bool firstWordUpper = false;
  // For joining the counts of a text that follows another (cut after a
  // newline): the newlines before the first non-space character, and whether
  // the first sentence end was counted, which the text before may decide.
  u32 leadingNewlines = 0;
  bool endSeen = false;
  bool firstEndCounted = false;

  void EndLine() {
    if (lineLength == 0) return;
    nonEmptyLines++;
    lengthSum += lineLength;
    if (nonEmptyLines == 1 || lineLength < shortest) shortest = lineLength;
    if (lineLength > longest) longest = lineLength;
    lineLength = 0;
  }
  // A character that is not a space, already counted in `characters`.
  void NonSpace() {
    nonSpace++;
    if (!seenNonSpace) leadingNewlines = newlinesSince;
    if (!seenNonSpace || newlinesSince >= 2) paragraphs++;
    seenNonSpace = true;
    newlinesSince = 0;
    lineLength = characters - lineStart;
  }
  void WordChar(bool upper) {
    if (inWord) return;
    inWord = true;
    words++;
    if (!firstWordSeen) {
      firstWordSeen = true;
      firstWordUpper = upper;
    }
  }

  // Counts p[i, end) (a pair or a CR LF may run one byte past end, never
  // past n); returns where it stopped.
  u32 Run(const u8 *p, u32 i, u32 end, u32 n, const u8 *classes) {
    // On a copy held in registers: the text is read through a byte
    // pointer, which could otherwise alias every count.
    Counter c = *this;
    while (i < end) {
      const u8 b = p[i];
      const u8 k = classes[b];
      c.characters++;
      if (k & kIsLead) {
        if (i + 1 < n && p[i + 1] != '\r' && p[i + 1] != '\n') {
          c.alnum++;
          c.WordChar(false);
          c.NonSpace();
          i += 2;
          continue;
        }
      }
      if (k & kIsSpace) {
        c.inWord = false;
        if (k & kIsNewline) {
          if (b == '\r' && i + 1 < n && p[i + 1] == '\n') {
            c.characters++;
            i++;
          }
          c.newlines++;
          c.newlinesSince++;
          c.EndLine();
          c.lineStart = c.characters;
          i++;
          continue;
        }
        // The spaces after it change nothing but the count.
        for (i++; i < end && classes[p[i]] == kIsSpace; i++) c.characters++;
        continue;
      }
      if (k & kIsAlnum) c.alnum++;
      if (k & kIsWord) {
        c.WordChar((k & kIsUpper) != 0);
      } else {
        c.inWord = false;
      }
      if (k & kIsSentenceEnd) {
        if (!c.endSeen) {
          c.endSeen = true;
          c.firstEndCounted = c.firstWordSeen && c.firstWordUpper;
        }
        if (c.firstWordSeen && c.firstWordUpper) c.sentences++;
        c.firstWordSeen = false;
      }
      c.NonSpace();
      i++;
      if (c.inWord) {
        // The rest of the word, as far as it is plain letters and digits.
        u32 j = i;
        while (j < end && (classes[p[j]] & kIsPlain)) j++;
        const u32 run = j - i;
        c.characters += run;
        c.nonSpace += run;
        c.alnum += run;
        c.lineLength = c.characters - c.lineStart;
        i = j;
      }
    }
    *this = c;
    return i;
  }
};

constexpr u32 kChunk = 1u << 20;

// Eight bytes at a time: each byte's few bits gathered into one word, every
// count taken from it with masks and popcounts. Bytes that need more than
// counting (newlines, lead bytes, sentence ends) leave the eight to Run.
enum : u8 { kFastWord = 1, kFastNonSpace = 2, kFastAlnum = 4, kFastUpper = 8, kFastOther = 16 };
constexpr u64 kLanes = 0x0101010101010101ull;

void BuildFastClasses(const u8 classes[256], u8 fast[256]) {
  for (int c = 0; c < 256; c++) {
    const u8 k = classes[c];
    u8 f = 0;
    if (k & kIsWord) f |= kFastWord;
    if (!(k & kIsSpace)) f |= kFastNonSpace;
    if (k & kIsAlnum) f |= kFastAlnum;
    if (k & kIsUpper) f |= kFastUpper;
    if (k & (kIsNewline | kIsLead | kIsSentenceEnd)) f |= kFastOther;
    fast[c] = f;
  }
}

// How many lanes of x have the bit set (a multiply adds the eight lanes up
// into the top one).
inline u32 Lanes(u64 x, u8 bit) { return static_cast<u32>(((x / bit) & kLanes) * kLanes >> 56); }

// Counts p[i, end) as Run does; returns where it stopped.
u32 RunFast(Counter *counter, const u8 *p, u32 i, u32 end, u32 n, const u8 *classes, const u8 *fast) {
  Counter c = *counter;
  while (end - i >= 8) {
    // Two halves gathered side by side (a single chain of shifts would
    // leave each lookup waiting for the one before).
    const u8 *q = p + i;
    const u32 lo = fast[q[0]] | fast[q[1]] << 8 | fast[q[2]] << 16 | static_cast<u32>(fast[q[3]]) << 24;
    const u32 hi = fast[q[4]] | fast[q[5]] << 8 | fast[q[6]] << 16 | static_cast<u32>(fast[q[7]]) << 24;
    const u64 m = lo | static_cast<u64>(hi) << 32;
    if (m & (kLanes * kFastOther)) {
      i = c.Run(p, i, i + 8, n, classes);
      continue;
    }
    const u64 word = m & (kLanes * kFastWord);
    const u64 starts = word & ~((word << 8) | static_cast<u64>(c.inWord));
    c.words += Lanes(starts, kFastWord);
    if (starts && !c.firstWordSeen) {
      c.firstWordSeen = true;
      c.firstWordUpper = (m >> (__builtin_ctzll(starts) & ~7u)) & kFastUpper;
    }
    c.inWord = (word >> 56) != 0;
    c.alnum += Lanes(m, kFastAlnum);
    const u64 nonSpace = m & (kLanes * kFastNonSpace);
    if (nonSpace) {
      c.nonSpace += Lanes(nonSpace, kFastNonSpace);
      if (!c.seenNonSpace) c.leadingNewlines = c.newlinesSince;
      if (!c.seenNonSpace || c.newlinesSince >= 2) c.paragraphs++;
      c.seenNonSpace = true;
      c.newlinesSince = 0;
      c.lineLength = c.characters + (63 - __builtin_clzll(nonSpace)) / 8 + 1 - c.lineStart;
    }
    c.characters += 8;
    i += 8;
  }
  if (i < end) i = c.Run(p, i, end, n, classes);
  *counter = c;
  return i;
}

// The counts of a text a, then of the text b after it, which starts a line.
Counter Joined(const Counter &a, const Counter &b) {
  Counter c = b;
  c.characters += a.characters;
  c.nonSpace += a.nonSpace;
  c.alnum += a.alnum;
  c.words += a.words;
  c.newlines += a.newlines;
  c.nonEmptyLines += a.nonEmptyLines;
  c.lengthSum += a.lengthSum;
  c.lineStart += a.characters;
  if (a.nonEmptyLines && (!b.nonEmptyLines || a.shortest < b.shortest)) c.shortest = a.shortest;
  if (a.longest > b.longest) c.longest = a.longest;
  // b counted its first non-space character as a paragraph's start: the
  // newlines before it at the end of a say otherwise.
  c.paragraphs += a.paragraphs;
  if (b.seenNonSpace && a.seenNonSpace && a.newlinesSince + b.leadingNewlines < 2) c.paragraphs--;
  if (!b.seenNonSpace) c.newlinesSince += a.newlinesSince;
  c.seenNonSpace = a.seenNonSpace || b.seenNonSpace;
  c.leadingNewlines = a.seenNonSpace ? a.leadingNewlines : a.newlines + b.leadingNewlines;
  // b's first sentence end belongs to the first word after a's last one,
  // when a has such a word.
  c.sentences += a.sentences;
  if (b.endSeen && a.firstWordSeen) c.sentences += (a.firstWordUpper ? 1u : 0u) - (b.firstEndCounted ? 1u : 0u);
  if (!b.endSeen && a.firstWordSeen) {
    c.firstWordSeen = true;
    c.firstWordUpper = a.firstWordUpper;
  }
  c.endSeen = a.endSeen || b.endSeen;
  c.firstEndCounted = a.endSeen ? a.firstEndCounted : b.endSeen && (a.firstWordSeen ? a.firstWordUpper : b.firstEndCounted);
  return c;
}

struct Part {
  const u8 *p;
  u32 from, to, n;
  const u8 *classes, *fast;
  bool worker;
  Counter counter;
  bool cancelled;

  static u32 Run(void *self) {
    Part *part = static_cast<Part *>(self);
    Counter &c = part->counter;
    for (u32 i = part->from; i < part->to;) {
      const u32 before = c.newlines;
      const u32 end = part->to - i > kChunk ? i + kChunk : part->to;
      i = RunFast(&c, part->p, i, end, part->n, part->classes, part->fast);
      if (part->worker) {
        ToolProgress(c.newlines - before);
        if (ToolCancelled()) {
          part->cancelled = true;
          return 0;
        }
      }
    }
    return 0;
  }
};

// Where a long text is cut in two halves counted at once: after the first
// newline from the middle on (a CR LF whole); the text's end when there is
// none, or the text is short.
u32 HalvesCut(const u8 *p, u32 length) {
  if (length < g_toolHalves || length < 2) return length;
  u32 i = length / 2;
  while (i < length && p[i] != '\r' && p[i] != '\n') i++;
  if (i >= length) return length;
  if (p[i] == '\r' && i + 1 < length && p[i + 1] == '\n') i++;
  return i + 1;
}

}  // namespace

static int Count(const char *text, u32 length, TextStatistics *s, bool worker) {
  MemZero(s, sizeof *s);
  u8 classes[256], fast[256];
  BuildClasses(classes);
  BuildFastClasses(classes, fast);
  const u8 *p = reinterpret_cast<const u8 *>(text);
  const u32 cut = HalvesCut(p, length);
  Part half[2] = {{p, 0, cut, length, classes, fast, worker, {}, false},
                  {p, cut, length, length, classes, fast, worker, {}, false}};
  RunBeside(Part::Run, &half[0], cut < length ? &half[1] : nullptr);
  if (half[0].cancelled || half[1].cancelled) return 0;
  Counter c = cut < length ? Joined(half[0].counter, half[1].counter) : half[0].counter;
  u32 lines = c.newlines;
  if (length > 0 && text[length - 1] != '\r' && text[length - 1] != '\n') {
    lines++;
    c.EndLine();
  }
  u32 *out = s->count;
  out[kStatCharacters] = c.characters;
  out[kStatWithoutSpaces] = c.nonSpace;
  out[kStatLettersDigits] = c.alnum;
  out[kStatWords] = c.words;
  out[kStatLines] = lines;
  out[kStatNonEmptyLines] = c.nonEmptyLines;
  out[kStatParagraphs] = c.paragraphs;
  out[kStatSentences] = c.sentences;
  out[kStatAverageLine] = c.nonEmptyLines ? static_cast<u32>(c.lengthSum / c.nonEmptyLines) : 0;
  out[kStatShortestLine] = c.shortest;
  out[kStatLongestLine] = c.longest;
  return 0;
}

int CountTextStatistics(const char *text, u32 length, TextStatistics *s) { return Count(text, length, s, false); }

int StatisticsTool(char *text, u32 length, ToolParam param) {
  TextStatistics *s = reinterpret_cast<TextStatistics *>(param);
  if (!s) return kResultReported;
  return Count(text, length, s, true);
}

namespace {

// Past the characters the options ignore, from i.
u32 SkipIgnored(const char *p, u32 i, u32 n, const CompareOptions &o) {
  while (i < n) {
    const u8 c = static_cast<u8>(p[i]);
    if (c == '\r' || c == '\n') {
      if (!o.ignoreNewlines) break;
    } else if (!o.ignoreSpaces || !(CharType(c) & kC1Space) ||
               (IsLeadByte(c) && ReadTextChar(p, i, n).length == 2)) {
      break;
    }
    i++;
  }
  return i;
}

}  // namespace

bool CompareTexts(const char *a, u32 na, const char *b, u32 nb, const CompareOptions &o, u32 *at1, u32 *at2) {
  u32 i = 0, j = 0;
  for (;;) {
    i = SkipIgnored(a, i, na, o);
    j = SkipIgnored(b, j, nb, o);
    if (i == na && j == nb) return true;
    if (i == na || j == nb) break;
    const u32 la = ReadTextChar(a, i, na).length, lb = ReadTextChar(b, j, nb).length;
    if (la != lb) break;
    if (la == 2) {
      if (a[i] != b[j] || a[i + 1] != b[j + 1]) break;
    } else {
      u8 x = static_cast<u8>(a[i]), y = static_cast<u8>(b[j]);
      if (o.ignoreCase) x = ToLower(x), y = ToLower(y);
      if (x != y) break;
    }
    i += la;
    j += lb;
  }
  *at1 = i;
  *at2 = j;
  return false;
}
