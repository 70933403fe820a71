// Reversal at every level (characters, words, lines) and the joining of
// lines. On a double-byte code page a lead byte and the byte after it (not a
// newline) are one character, and a word character: reversal keeps them
// whole and in order.
#include <string.h>

#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/helper_thread.h"
#include "foundation/memory.h"
#include "tools/line_walker.h"
#include "tools/sort_tools.h"
#include "tools/text_tools.h"
#include "tools/word_chars.h"

namespace {

// The length of the character at p[i]: 2 for a lead byte and its trail.
inline u32 CharAt(const char *p, u32 i, u32 n) {
  return IsLeadByte(static_cast<u8>(p[i])) && i + 1 < n && p[i + 1] != '\r' && p[i + 1] != '\n' ? 2 : 1;
}

// Reverses the bytes of [p, p + n): eight at a time from both ends.
void ReverseBytes(char *p, u32 n) {
  u32 i = 0, j = n;
  while (j - i >= 16) {
    u64 a, b;
    memcpy(&a, p + i, 8);
    memcpy(&b, p + j - 8, 8);
    a = __builtin_bswap64(a);
    b = __builtin_bswap64(b);
    memcpy(p + i, &b, 8);
    memcpy(p + j - 8, &a, 8);
    i += 8;
    j -= 8;
  }
  while (j - i >= 2) {
    const char t = p[i];
    p[i++] = p[--j];
    p[j] = t;
  }
}

// Swaps the two bytes of every double-byte character, so that reversing the
// whole text afterwards leaves each pair in order.
void SwapPairs(char *p, u32 n) {
  for (u32 i = 0; i < n;) {
    if (CharAt(p, i, n) == 2) {
      const char t = p[i];
      p[i] = p[i + 1];
      p[i + 1] = t;
      i += 2;
    } else {
      i++;
    }
  }
}

// Reverses the characters of [p, p + n).
void ReverseChars(char *p, u32 n) {
  if (AnyLeadBytes()) SwapPairs(p, n);
  ReverseBytes(p, n);
}

// Turns every LF CR back into CR LF.
void MendNewlines(char *p, u32 n) {
  for (char *q = p, *end = p + n; q < end;) {
    q = MemFindByte(q, '\n', static_cast<size_t>(end - q));
    if (!q) break;
    if (q + 1 < end && q[1] == '\r') {
      q[0] = '\r';
      q[1] = '\n';
      q += 2;
    } else {
      q++;
    }
  }
}

}  // namespace

int ReverseText(char *text, u32 length) {
  ReverseChars(text, length);
  MendNewlines(text, length);
  return 0;
}

int ReverseEachWord(char *text, u32 length) {
  for (u32 i = 0, start; NextWord(text, length, &i, &start);) ReverseChars(text + start, i - start);
  return 0;
}

int ReverseWordOrder(char *text, u32 length) {
  ReverseText(text, length);
  return ReverseEachWord(text, length);
}

namespace {

// The lines of [text, text + length) reversed each in place; the text after
// its last newline is a line (for the count) only when `last`.
struct LinesPart {
  char *text;
  u32 length;
  bool last;
  int (*fn)(char *, u32);
};

u32 ReverseLinesOf(void *context) {
  const LinesPart &p = *static_cast<const LinesPart *>(context);
  LineWalker w(p.text, p.length);
  LineBounds l;
  u32 lines = 0;
  while (w.Next(&l)) {
    if (!p.last && l.start == p.length) break;
    p.fn(p.text + l.start, l.textEnd - l.start);
    if (++lines == 1024) {
      ToolProgress(lines);
      lines = 0;
      if (ToolCancelled()) return 0;
    }
  }
  ToolProgress(lines);
  return 0;
}

}  // namespace

int ReverseEachLine(ToolDocument *doc, ToolParam function) {
  int (*fn)(char *, u32) = function == kReverseLineWords ? ReverseWordOrder : ReverseText;
  const ToolInput *input = ToolInputRange();
  ToolPieces *pieces = ToolResultPieces();
  if (input && pieces) {
    // Under the runner: the document's lines a chunk at a time, in two
    // halves at once, each chunk's lines turned where they were read.
    // Each line's text turns within its place; the newlines stay.
    const int r = MapInputToPieces(
        input, pieces,
        [fn](char *text, u32 length) {
          LinesPart part = {text, length, false, fn};
          ReverseLinesOf(&part);
        },
        true);
    return r == kResultCancelled ? 0 : r;  // the runner sees the cancel
  }
  // No line depends on another: a long text in two halves at once, cut
  // after the first newline from its middle on (the whole of a CR LF).
  const u32 n = doc->length;
  u32 cut = n;
  if (n >= g_toolHalves) {
    const char *t = doc->text;
    const char *lf = static_cast<const char *>(MemFindByte(t + n / 2, '\n', n - n / 2));
    const char *cr = static_cast<const char *>(MemFindByte(t + n / 2, '\r', (lf ? lf : t + n) - (t + n / 2)));
    const char *e = cr ? cr : lf;
    if (e) {
      cut = static_cast<u32>(e - t) + 1;
      if (*e == '\r' && cut < n && t[cut] == '\n') cut++;
    }
  }
  LinesPart part[2] = {{doc->text, cut, cut == n, fn}, {doc->text + cut, n - cut, true, fn}};
  RunBeside(ReverseLinesOf, &part[0], cut < n ? &part[1] : nullptr);
  return 0;
}

namespace {

// Under the runner: the input's chunks of whole lines taken from the last to
// the first, each one's lines written last first into pieces. A part of the
// output is the lines of chunks [first, end) of the input; the input's first
// line, written last of all, gets no newline after it.
struct ReversedChunks {
  const ToolInput *input;
  const u32 *starts;  // of every chunk, and the input's end after them
  u32 first, end;
  u32 chunkCount;
  ToolPieces *pieces;
  int result;

  static u32 Run(void *context) {
    ReversedChunks *part = static_cast<ReversedChunks *>(context);
    part->result = part->Go();
    return 0;
  }

  int Go() {
    const char *newline = ToolNewline();
    const u32 nl = newline[1] ? 2 : 1;
    ToolDocument chunk = {}, stage = {};
    LineSpan *spans = nullptr;
    u32 spanCapacity = 0;
    int r = 0;
    for (u32 c = end; c-- > first && r == 0;) {
      if (ToolInputRead(input, starts[c], starts[c + 1], &chunk) != 0 ||
          ToolDocumentReserve(&stage, static_cast<u64>(chunk.length) * 2 + 2) != 0) {
        r = kResultOutOfMemory;
        break;
      }
      // The chunk's lines; the empty one after a final newline only at the
      // input's end.
      const bool last = c + 1 == chunkCount;
      u32 count = 0;
      LineWalker w(chunk.text, chunk.length);
      LineBounds l;
      while (w.Next(&l)) {
        if (!last && l.start == chunk.length) break;
        if (count == spanCapacity) {
          const u32 grown = spanCapacity ? spanCapacity * 2 : 4096;
          void *p = Reallocate(spans, static_cast<size_t>(grown) * sizeof(LineSpan));
          if (!p) {
            r = kResultOutOfMemory;
            break;
          }
          spans = static_cast<LineSpan *>(p);
          spanCapacity = grown;
        }
        spans[count++] = LineSpan{l.start, l.textEnd - l.start};
      }
      if (r != 0) break;
      char *o = stage.text;
      for (u32 k = count; k-- > 0;) {
        memcpy(o, chunk.text + spans[k].start, spans[k].length);
        o += spans[k].length;
        if (k > 0 || c > 0) {
          memcpy(o, newline, nl);
          o += nl;
        }
      }
      if (ToolPiecesAppend(pieces, stage.text, static_cast<u32>(o - stage.text)) != 0) r = kResultOutOfMemory;
      ToolProgress(count);
      if (ToolCancelled()) r = kResultCancelled;
    }
    Free(spans);
    ToolDocumentFree(&chunk);
    ToolDocumentFree(&stage);
    return r;
  }
};

int ReverseInputLines(const ToolInput *input, ToolPieces *pieces) {
  // The chunks' starts, as the chunks are read going forwards.
  const u32 size = g_toolInputChunk ? g_toolInputChunk : 1;
  u32 count = 0, capacity = 0;
  u32 *starts = nullptr;
  for (u32 pos = input->from;;) {
    if (count + 2 > capacity) {
      capacity = capacity ? capacity * 2 : 64;
      void *p = Reallocate(starts, static_cast<size_t>(capacity) * sizeof(u32));
      if (!p) {
        Free(starts);
        return kResultOutOfMemory;
      }
      starts = static_cast<u32 *>(p);
    }
    starts[count++] = pos;
    const u32 end = input->to - pos > size ? ToolInputNextLine(input, pos + size - 1) : input->to;
    if (end >= input->to) break;
    pos = end;
  }
  starts[count] = input->to;
  // A long input in two halves at once: the second half's chunks reversed
  // make the output's first part.
  const u32 half = input->to - input->from >= g_toolHalves ? count / 2 : 0;
  ReversedChunks part[2] = {{input, starts, half, count, count, &pieces[0], 0},
                            {input, starts, 0, half, count, &pieces[1], 0}};
  RunBeside(ReversedChunks::Run, &part[0], half > 0 ? &part[1] : nullptr);
  Free(starts);
  const int r = HalvesResult(part[0].result, part[1].result);
  return r == kResultCancelled ? 0 : r;  // the runner sees the cancel
}

}  // namespace

int ReverseLineOrder(const ToolDocument *in, ToolDocument *out, ToolParam) {
  const ToolInput *input = ToolInputRange();
  ToolPieces *pieces = ToolResultPieces();
  if (input && pieces) return ReverseInputLines(input, pieces);
  u32 n = 0;
  {
    LineWalker w(in->text, in->length);
    LineBounds l;
    while (w.Next(&l)) n++;
  }
  if (static_cast<u64>(n) * sizeof(LineSpan) > static_cast<u64>(SIZE_MAX)) return kResultOutOfMemory;
  LineSpan *lines = static_cast<LineSpan *>(Allocate(static_cast<size_t>(n) * sizeof(LineSpan)));
  if (!lines) return kResultOutOfMemory;
  LineWalker w(in->text, in->length);
  LineBounds l;
  for (u32 k = n; w.Next(&l);) lines[--k] = LineSpan{l.start, l.textEnd - l.start};
  if (ToolCancelled()) {
    Free(lines);
    return 0;
  }
  const char *newline = ToolNewline();
  const int r = WriteLines(in->text, lines, sizeof *lines, n, newline, newline[1] ? 2 : 1, out);
  ToolProgress(n);
  Free(lines);
  return r == 0 ? 0 : kResultOutOfMemory;
}

int CommitWrappingText(ToolDocument *, ToolParam) {
  const ToolInput *input = ToolInputRange();
  ToolPieces *pieces = ToolResultPieces();
  if (!input || !pieces) return 0;
  return MapInputToPieces(input, pieces, [](char *, u32) {}, false);
}

int UnwrapLines(ToolDocument *doc, ToolParam mode) {
  // The text only shrinks (a newline gives way to at most one space), so the
  // lines are copied down within the buffer, first to last; the result is
  // that of taking the newlines out from the last to the first.
  char *t = doc->text;
  LineWalker w(t, doc->length);
  LineBounds cur = {}, next = {};
  if (!w.Next(&cur)) return 0;
  auto blank = [&](const LineBounds &l) {
    for (u32 i = l.start; i < l.textEnd; i++)
      if (!(CharType(static_cast<u8>(t[i])) & kC1Space)) return false;
    return true;
  };
  auto space = [&](u32 i) { return (CharType(static_cast<u8>(t[i])) & kC1Space) != 0; };
  // The line after a newline, as the joins from the end have left it: in
  // Unwrap Lines an empty line was joined with the lines after it, so what it
  // begins with is the first character of the next non-empty line (found
  // once for a run of empty lines). Unwrap Paragraphs never joins an empty
  // line onwards.
  const u32 n = doc->length;
  u32 firstText = 0;  // the first byte at or after the last look that is no newline
  auto JoinedStartsWithSpace = [&](const LineBounds &l) {
    if (l.textEnd > l.start) return space(l.start);
    if (mode != 1) return false;
    if (firstText < l.start) {
      firstText = l.start;
      while (firstText < n && (t[firstText] == '\r' || t[firstText] == '\n')) firstText++;
    }
    return firstText < n && space(firstText);
  };
  bool curBlank = blank(cur);
  u32 o = 0, lines = 0;
  for (;;) {
    const bool more = w.Next(&next);
    // The current line's text, moved down.
    MemCopy(t + o, t + cur.start, cur.textEnd - cur.start);
    o += cur.textEnd - cur.start;
    if (!more) break;
    const bool nextBlank = blank(next);
    const bool join = mode == 1 || (!curBlank && !nextBlank);
    if (!join) {
      MemCopy(t + o, t + cur.textEnd, cur.end - cur.textEnd);
      o += cur.end - cur.textEnd;
    } else if (cur.textEnd > cur.start && !space(o - 1) && !JoinedStartsWithSpace(next)) {
      // (the line has moved down: its last character is at o - 1)
      t[o++] = ' ';
    }
    cur = next;
    curBlank = nextBlank;
    if (++lines == 1024) {
      ToolProgress(lines);
      lines = 0;
      if (ToolCancelled()) return 0;
    }
  }
  ToolProgress(lines);
  doc->length = o;
  t[o] = 0;
  return 0;
}
