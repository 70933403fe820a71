// The line tools: each walks the lines of its private text and writes the
// new text, line by line, in one pass. A tool that never lengthens a line
// writes over the text it has read (its output never overtakes its input);
// the others write into a new buffer sized first. Under the runner, those
// whose lines do not depend on the lines around them read the document a
// chunk of lines at a time instead, in two halves at once, and leave their
// result in pieces the document takes as its blocks. Lines end with CR LF, a
// lone CR or a lone LF, kept as they are; the text after the last newline is
// the last line (empty when the text ends with a newline).
#include <string.h>

#include "config/config_state.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/helper_thread.h"
#include "tools/line_walker.h"
#include "tools/text_tools.h"

namespace {

u32 TabSize() { return g_settings.edit.Tab > 0 ? static_cast<u32>(g_settings.edit.Tab) : 1; }

inline bool IsBlankChar(u8 c) { return (CharType(c) & kC1Space) != 0; }

using Line = LineBounds;

// The lines of a text (at least one).
u64 CountLines(const char *text, u32 length) {
  u64 lines = 1;
  LineWalker w(text, length);
  Line line;
  while (w.Next(&line))
    if (line.end > line.textEnd) lines++;
  return lines;
}

// Leading whitespace: its length and its width, a tab advancing to the next
// multiple of the tab size.
u32 LeadingBlanks(const char *p, u32 n, u32 tab, u32 *width) {
  u32 i = 0, w = 0;
  for (; i < n && IsBlankChar(static_cast<u8>(p[i])); i++) w = p[i] == '\t' ? (w / tab + 1) * tab : w + 1;
  if (width) *width = w;
  return i;
}

u32 TrailingBlanks(const char *p, u32 n) {
  u32 i = n;
  while (i > 0 && IsBlankChar(static_cast<u8>(p[i - 1]))) i--;
  return n - i;
}

// The length of the character at p[i] of a line of n bytes: 2 for a
// double-byte character, else 1.
u32 CharLength(const char *p, u32 i, u32 n) { return IsLeadByte(static_cast<u8>(p[i])) && i + 1 < n ? 2 : 1; }

// The length of the line's last character: a trail byte may look like a lead
// byte, so the line is walked from its start.
u32 LastCharLength(const char *p, u32 n) {
  if (!AnyLeadBytes()) return 1;
  u32 i = 0, k = 1;
  while (i < n) {
    k = CharLength(p, i, n);
    i += k;
  }
  return k;
}

// Writes a line's pieces; out may lie at or before the bytes it copies.
inline char *Put(char *out, const char *from, u32 n) {
  if (n && out != from) memmove(out, from, n);
  return out + n;
}

// Every 1024 lines: progress, and whether to stop.
inline bool Tick(u32 *lines) {
  if ((++*lines & 1023) != 0) return false;
  ToolProgress(1024);
  return ToolCancelled();
}

// Rewrites the lines of a text: rewrite(out, text, line) writes the line's
// new bytes (text and newline) at out, which may lie at or before the line,
// and returns where they end. Lines from `from` on; the text after the last
// newline is a line only when `last`. The lines walked are counted in
// *lines. The end of what was written, or null when cancelled.
template <class Rewrite>
char *RewriteText(char *out, const char *text, u32 length, bool last, u32 *lines, Rewrite &rewrite) {
  LineWalker w(text, length);
  Line line;
  while (w.Next(&line)) {
    if (!last && line.start == length) break;
    out = rewrite(out, text, line);
    if (Tick(lines)) return nullptr;
  }
  return out;
}

// Under the runner: one half of the input, read from the document a chunk of
// whole lines at a time, each chunk rewritten into a stage that then goes to
// the half's part of the result's pieces.
template <class Rewrite, class Growth>
struct StreamHalf {
  const ToolInput *input;
  Rewrite *rewrite;
  Growth *growthOf;
  u32 from, to;
  bool last;  // the input's end is this half's
  ToolPieces *pieces;
  ToolDocument chunk, stage;
  int result;

  static u32 Run(void *context) {
    StreamHalf *h = static_cast<StreamHalf *>(context);
    h->result = h->Go();
    return 0;
  }
  // The last bytes written stay in the stage for the next chunk: a rewrite
  // may take back the newline it wrote last (at most two bytes).
  static constexpr u32 kKept = 2;

  int Go() {
    u32 kept = 0;
    return ForEachInputChunk(input, from, to, &chunk, [&](const char *text, u32 length, bool atEnd) -> int {
      const u64 room = static_cast<u64>(kept) + length + (*growthOf)(text, length) + 1;
      if (ToolDocumentReserve(&stage, room) != 0) return kResultOutOfMemory;
      u32 lines = 0;
      char *out = RewriteText(stage.text + kept, text, length, last && atEnd, &lines, *rewrite);
      if (!out) return kResultCancelled;
      ToolProgress(lines & 1023);
      const u32 written = static_cast<u32>(out - stage.text);
      const u32 keep = atEnd ? 0 : written < kKept ? written : kKept;
      if (ToolPiecesAppend(pieces, stage.text, written - keep) != 0) return kResultOutOfMemory;
      memmove(stage.text, stage.text + written - keep, keep);
      kept = keep;
      return 0;
    });
  }
};

// How a line tool may take its lines under the runner.
enum Streaming {
  kWhole,         // the private text whole (a line depends on what lies around it)
  kChunks,        // the document's lines a chunk at a time (a line depends on those before it)
  kChunksHalves,  // and in two halves at once (no line depends on the lines before it)
};

// Runs `rewrite` over every line of the text. Under the runner, for a tool
// that reads the document (kToolReadsInput) and streams, the lines are read
// a chunk at a time and the result goes to pieces, a long input cut in two
// halves rewritten at once when the tool allows.
// Otherwise over the text itself when growthOf(text, length) -- how much
// the lines may grow -- is 0, else into a new buffer that much longer. A
// cancel stops the walk with the text unchanged. 0, or -1 out of memory.
template <class Rewrite, class Growth>
int RewriteLines(ToolDocument *doc, Growth growthOf, Streaming streaming, Rewrite rewrite) {
  const ToolInput *input = streaming != kWhole ? ToolInputRange() : nullptr;
  ToolPieces *pieces = ToolResultPieces();
  if (input && pieces) {
    const u32 cut = streaming == kChunksHalves ? ToolInputCut(input) : input->to;
    typedef StreamHalf<Rewrite, Growth> Half;
    Half half[2] = {{input, &rewrite, &growthOf, input->from, cut, cut == input->to, &pieces[0], {}, {}, 0},
                    {input, &rewrite, &growthOf, cut, input->to, true, &pieces[1], {}, {}, 0}};
    RunBeside(Half::Run, &half[0], cut < input->to ? &half[1] : nullptr);
    const int r = HalvesResult(half[0].result, half[1].result);
    for (Half &h : half) {
      ToolDocumentFree(&h.chunk);
      ToolDocumentFree(&h.stage);
    }
    return r == kResultCancelled ? 0 : r;  // the runner sees the cancel
  }
  const u64 growth = growthOf(doc->text, doc->length);
  ToolDocument fresh = {};
  char *out = doc->text;
  if (growth) {
    if (ToolDocumentReserve(&fresh, static_cast<u64>(doc->length) + growth + 1) != 0) return -1;
    out = fresh.text;
  }
  char *const base = out;
  u32 lines = 0;
  out = RewriteText(out, doc->text, doc->length, true, &lines, rewrite);
  if (!out) {
    // In place, the text is already half rewritten; the runner drops it.
    ToolDocumentFree(&fresh);
    return 0;
  }
  ToolProgress(lines & 1023);
  const u32 length = static_cast<u32>(out - base);
  if (growth) {
    fresh.length = length;
    ToolDocumentTake(doc, &fresh);
  } else {
    doc->length = length;
  }
  return 0;
}

// No line grows.
u64 NoGrowth(const char *, u32) { return 0; }

}  // namespace

// ---- adding a phrase ----

LinePhraseSettings QuoteSettings() {
  const ToolSettings &t = g_settings.tools;
  return LinePhraseSettings{t.QtText, t.QtEmpty, t.QtSpace, 0};
}

LinePhraseSettings CloseSettings() {
  const ToolSettings &t = g_settings.tools;
  return LinePhraseSettings{t.ClText, t.ClEmpty, t.ClSpace, 1};
}

int AddLinePhrase(ToolDocument *doc, ToolParam param) {
  char indent[256];
  LinePhraseSettings s = {indent, 0, 0, 0};
  if (param) {
    s = *reinterpret_cast<const LinePhraseSettings *>(param);
  } else if (g_settings.edit.NoTabs) {
    const u32 n = TabSize() < sizeof indent ? TabSize() : sizeof indent - 1;
    MemFill(indent, ' ', n);
    indent[n] = 0;
  } else {
    indent[0] = '\t';
    indent[1] = 0;
  }
  const u32 k = s.phrase ? static_cast<u32>(StrLen(s.phrase)) : 0;
  if (k == 0) return 0;
  const char *phrase = s.phrase;
  auto growth = [k](const char *text, u32 length) { return CountLines(text, length) * k; };
  return RewriteLines(doc, growth, kChunksHalves, [&](char *out, const char *t, const Line &line) {
    const char *p = t + line.start;
    const u32 n = line.textEnd - line.start;
    const u32 lead = LeadingBlanks(p, n, 1, nullptr);
    if (s.nonEmptyOnly && lead == n) return Put(out, p, line.end - line.start);
    u32 at = 0;
    if (s.atEnd) {
      at = s.skipSpaces ? n - TrailingBlanks(p, n) : n;
    } else {
      at = s.skipSpaces ? lead : 0;
    }
    out = Put(out, p, at);
    out = Put(out, phrase, k);
    return Put(out, p + at, line.end - line.start - at);
  });
}

// ---- removing a character ----

int RemoveLineChar(ToolDocument *doc, ToolParam mode) {
  // The reference: the first or last character of the first non-empty line.
  char ref[2] = {0, 0};
  u32 refLength = 0;
  {
    LineWalker w(doc->text, doc->length);
    Line line;
    while (w.Next(&line) && refLength == 0) {
      const u32 n = line.textEnd - line.start;
      if (n == 0) continue;
      const char *p = doc->text + line.start;
      if (mode == 2) {
        refLength = LastCharLength(p, n);
        MemCopy(ref, p + n - refLength, refLength);
      } else {
        refLength = CharLength(p, 0, n);
        MemCopy(ref, p, refLength);
      }
    }
    if (refLength == 0) return 0;
  }
  const bool noTabs = g_settings.edit.NoTabs != 0;
  const u32 tab = TabSize();
  return RewriteLines(doc, NoGrowth, kWhole, [&](char *out, const char *t, const Line &line) {
    const char *p = t + line.start;
    const u32 n = line.textEnd - line.start;
    u32 from = 0, to = n;
    if (n) {
      switch (mode) {
        case 1: to = n - LastCharLength(p, n); break;
        case 2: {
          const u32 k = LastCharLength(p, n);
          if (k == refLength && memcmp(p + n - k, ref, k) == 0) to = n - k;
          break;
        }
        case 4: from = CharLength(p, 0, n); break;
        case 8: {
          const u32 k = CharLength(p, 0, n);
          if (k == refLength && memcmp(p, ref, k) == 0) from = k;
          break;
        }
        case 16:
          if (noTabs && p[0] == ' ') {
            while (from < n && from < tab && p[from] == ' ') from++;
          } else if (IsBlankChar(static_cast<u8>(p[0]))) {
            from = 1;
          }
          break;
      }
    }
    out = Put(out, p + from, to - from);
    return Put(out, t + line.textEnd, line.end - line.textEnd);
  });
}

// ---- trimming and removing ----

int TrimLines(ToolDocument *doc, ToolParam mode) {
  return RewriteLines(doc, NoGrowth, kChunksHalves, [&](char *out, const char *t, const Line &line) {
    const char *p = t + line.start;
    const u32 n = line.textEnd - line.start;
    u32 keep = n;
    if (mode == 0) {
      keep = n - TrailingBlanks(p, n);
    } else if (LeadingBlanks(p, n, 1, nullptr) == n) {
      keep = 0;
    }
    out = Put(out, p, keep);
    return Put(out, t + line.textEnd, line.end - line.textEnd);
  });
}

// A deleted line goes with its newline; when the deleted line is the last
// one (it has no newline), the newline before it goes instead; and so on
// while the lines before it go too. Walking forwards: the kept lines with
// their newlines, less the last newline written when the last line went.
int RemoveEmptyLines(ToolDocument *doc, ToolParam mode) {
  bool previousBlank = false;
  u32 lastNewline = 0;  // of the last line written
  return RewriteLines(doc, NoGrowth, kChunks, [&](char *out, const char *t, const Line &line) {
    const char *p = t + line.start;
    const u32 n = line.textEnd - line.start;
    const bool blank = LeadingBlanks(p, n, 1, nullptr) == n;
    const bool drop = blank && (mode == 0 || previousBlank);
    previousBlank = blank;
    if (drop) return line.end == line.textEnd ? out - lastNewline : out;  // the last line: the newline before it
    lastNewline = line.end - line.textEnd;
    return Put(out, p, line.end - line.start);
  });
}

// ---- tabs ----

int RetabLines(ToolDocument *doc, ToolParam mode) {
  const u32 tab = TabSize();
  // Untabify: a blank grows to at most a tab's width. Tabify never grows a
  // line, and the text is rewritten in place.
  auto growth = [tab, mode](const char *text, u32 length) {
    u64 more = 0;
    if (mode != 0) return more;
    LineWalker w(text, length);
    Line line;
    while (w.Next(&line)) {
      u32 width = 0;
      const u32 lead = LeadingBlanks(text + line.start, line.textEnd - line.start, tab, &width);
      more += width - lead;
    }
    return more;
  };
  return RewriteLines(doc, growth, kChunksHalves, [&](char *out, const char *t, const Line &line) {
    const char *p = t + line.start;
    const u32 n = line.textEnd - line.start;
    u32 width = 0;
    const u32 lead = LeadingBlanks(p, n, tab, &width);
    if (lead == 0) return Put(out, p, line.end - line.start);
    // The rest of the line first: in place it may move left over the blanks.
    const u32 blanks = mode == 1 ? width / tab + width % tab : width;
    char *rest = out + blanks;
    Put(rest, p + lead, line.end - line.start - lead);
    if (mode == 1) {
      MemFill(out, '\t', width / tab);
      MemFill(out + width / tab, ' ', width % tab);
    } else {
      MemFill(out, ' ', width);
    }
    return rest + (line.end - line.start - lead);
  });
}
