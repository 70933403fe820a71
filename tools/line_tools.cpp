// The line tools: each walks the lines of its private text and writes the
// new text, line by line, in one pass. A tool that never lengthens a line
// writes over the text it has read (its output never overtakes its input);
// the others write into a new buffer sized first. Lines end with CR LF, a
// lone CR or a lone LF, kept as they are; the text after the last newline is
// the last line (empty when the text ends with a newline).
#include <string.h>

#include "config/config_state.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
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

// Runs `rewrite` over every line of the text: over the text itself when
// `growth` is 0 (no line grows), else into a new buffer of the text's length
// plus `growth`. rewrite(out, text, line, index) writes the line's new bytes
// (text and newline) at out and returns where they end. A cancel stops the
// walk with the text unchanged. 0, or -1 out of memory.
template <class Rewrite>
int RewriteLines(ToolDocument *doc, u64 growth, Rewrite rewrite) {
  ToolDocument fresh = {};
  char *out = doc->text;
  if (growth) {
    if (ToolDocumentReserve(&fresh, static_cast<u64>(doc->length) + growth + 1) != 0) return -1;
    out = fresh.text;
  }
  char *const base = out;
  LineWalker w(doc->text, doc->length);
  Line line;
  u32 lines = 0;
  bool stopped = false;
  while (w.Next(&line)) {
    out = rewrite(out, doc->text, line);
    if (Tick(&lines)) {
      stopped = true;
      break;
    }
  }
  if (stopped) {
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
  const u64 growth = CountLines(doc->text, doc->length) * k;
  const char *phrase = s.phrase;
  return RewriteLines(doc, growth, [&](char *out, const char *t, const Line &line) {
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
  return RewriteLines(doc, 0, [&](char *out, const char *t, const Line &line) {
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
  return RewriteLines(doc, 0, [&](char *out, const char *t, const Line &line) {
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
  return RewriteLines(doc, 0, [&](char *out, const char *t, const Line &line) {
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
  u64 growth = 0;
  if (mode == 0) {
    // Untabify: a blank grows to at most a tab's width. Without growth every
    // line keeps its length, and the text is rewritten in place.
    LineWalker w(doc->text, doc->length);
    Line line;
    while (w.Next(&line)) {
      u32 width = 0;
      const u32 lead = LeadingBlanks(doc->text + line.start, line.textEnd - line.start, tab, &width);
      growth += width - lead;
    }
  }
  return RewriteLines(doc, growth, [&](char *out, const char *t, const Line &line) {
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
