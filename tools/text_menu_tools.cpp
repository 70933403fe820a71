// Translate Characters, Enclose Selection and XML/HTML Tag.
#include <string.h>

#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/helper_thread.h"
#include "tools/text_tools.h"
#include "tools/word_chars.h"

// ---- Translate ----

namespace {

inline int HexValue(u8 c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads one character or escape at s[*i]; an escape that is not complete (a
// backslash at the end, "\c" before no letter, "\x" without two hexadecimal
// digits) and a backslash before any other character stand for the
// backslash itself, and what follows is read on its own.
u8 ReadChar(const u8 *s, u32 *i, bool escapes) {
  const u8 c = s[(*i)++];
  if (!escapes || c != '\\' || !s[*i]) return c;
  const u8 e = s[*i];
  u8 v;
  switch (e) {
    case '-': case '\\': v = e; break;
    case '0': v = 0; break;
    case 'a': v = 7; break;
    case 'b': v = 8; break;
    case 'e': v = 27; break;
    case 'f': v = 12; break;
    case 'n': v = 10; break;
    case 'r': v = 13; break;
    case 't': v = 9; break;
    case 'v': v = 11; break;
    case 'c': {
      const u8 x = s[*i + 1];
      if (x >= 'A' && x <= 'Z') v = static_cast<u8>(x - 64);
      else if (x >= 'a' && x <= 'z') v = static_cast<u8>(x - 96);
      else return c;
      *i += 2;
      return v;
    }
    case 'x': {
      const int h = s[*i + 1] ? HexValue(s[*i + 1]) : -1;
      const int l = h >= 0 && s[*i + 2] ? HexValue(s[*i + 2]) : -1;
      if (l < 0) return c;
      *i += 3;
      return static_cast<u8>(h * 16 + l);
    }
    default: return c;
  }
  ++*i;
  return v;
}

// The next item of the text at s[*i]: a character, or with escapes and
// ranges an escape or a range "a-z" (its ends swapped when reversed).
// False at the end of the text.
bool ReadItem(const u8 *s, u32 *i, bool escapes, u8 *lo, u8 *hi) {
  if (!s[*i]) return false;
  *lo = *hi = ReadChar(s, i, escapes);
  if (escapes && s[*i] == '-' && s[*i + 1]) {
    ++*i;
    *hi = ReadChar(s, i, escapes);
    if (*hi < *lo) {
      const u8 t = *lo;
      *lo = *hi;
      *hi = t;
    }
  }
  return true;
}

}  // namespace

void BuildTranslateTable(const TranslateSettings &settings, u16 table[256]) {
  for (int c = 0; c < 256; c++) table[c] = settings.deleteOthers ? kTranslateDelete : static_cast<u16>(c);
  const u8 *find = reinterpret_cast<const u8 *>(settings.find);
  const u8 *to = reinterpret_cast<const u8 *>(settings.replace);
  const bool esc = settings.escapes != 0;
  u32 i = 0, j = 0;
  u8 lo, hi, rlo, rhi;
  while (ReadItem(find, &i, esc, &lo, &hi)) {
    if (!ReadItem(to, &j, esc, &rlo, &rhi)) {
      for (int c = lo; c <= hi; c++) table[c] = kTranslateDelete;
      continue;
    }
    int r = rlo;
    for (int c = lo; c <= hi; c++) {
      table[c] = static_cast<u16>(r);
      if (r < rhi) r++;
    }
  }
}

namespace {

// Squeezes out the characters that go and maps the others, in place; a
// double-byte character stays whole and unchanged. The new length, or
// 0xFFFFFFFF when cancelled.
u32 Squeeze(char *t, u32 n, const u16 table[256], const u8 map[256], bool pairs) {
  u32 o = 0;
  if (!pairs) {
    // Every byte written, kept by moving on: no branch on what the text holds.
    u8 keep[256];
    for (int c = 0; c < 256; c++) keep[c] = table[c] != kTranslateDelete;
    for (u32 i = 0; i < n; i++) {
      const u8 c = static_cast<u8>(t[i]);
      t[o] = static_cast<char>(map[c]);
      o += keep[c];
      if ((i & 0xFFFFF) == 0xFFFFF && ToolCancelled()) return 0xFFFFFFFFu;
    }
    return o;
  }
  for (u32 i = 0; i < n;) {
    const u8 c = static_cast<u8>(t[i]);
    if (IsLeadByte(c) && i + 1 < n && t[i + 1] != '\r' && t[i + 1] != '\n') {
      t[o++] = t[i++];
      t[o++] = t[i++];
      continue;
    }
    i++;
    if (table[c] != kTranslateDelete) t[o++] = static_cast<char>(map[c]);
    if ((i & 0xFFFFF) == 0 && ToolCancelled()) return 0xFFFFFFFFu;
  }
  return o;
}

// Half of the input read a chunk of whole lines at a time (no character
// crosses a line's start), what is left of each going to its part of the
// result's pieces.
struct SqueezeHalf {
  const ToolInput *input;
  u32 from, to;
  const u16 *table;
  const u8 *map;
  bool pairs;
  ToolPieces *pieces;
  int result;

  static u32 Run(void *context) {
    SqueezeHalf *h = static_cast<SqueezeHalf *>(context);
    ToolDocument chunk = {};
    h->result = ForEachInputChunk(h->input, h->from, h->to, &chunk, [h](char *text, u32 length, bool) -> int {
      const u32 n = Squeeze(text, length, h->table, h->map, h->pairs);
      if (n == 0xFFFFFFFFu || ToolCancelled()) return kResultCancelled;
      return ToolPiecesAppend(h->pieces, text, n) != 0 ? kResultOutOfMemory : 0;
    });
    if (h->result == kResultCancelled) h->result = 0;  // the runner sees the cancel
    ToolDocumentFree(&chunk);
    return 0;
  }
};

}  // namespace

int TranslateChars(ToolDocument *doc, ToolParam param) {
  const TranslateSettings *settings = reinterpret_cast<const TranslateSettings *>(param);
  u16 table[256];
  BuildTranslateTable(*settings, table);
  bool deletes = false;
  u8 map[256];
  for (int c = 0; c < 256; c++) {
    deletes |= table[c] == kTranslateDelete;
    map[c] = static_cast<u8>(table[c]);
  }
  const bool pairs = AnyLeadBytes();
  const ToolInput *input = ToolInputRange();
  ToolPieces *pieces = ToolResultPieces();
  if (input && pieces) {
    if (!deletes) {
      // As long as it was: each chunk mapped where it was read (a pair kept
      // whole), into pieces, a long input in two halves at once.
      // The newlines stay where they are when no byte becomes one and they
      // map to themselves.
      bool sameNewlines = map[static_cast<u8>('\r')] == '\r' && map[static_cast<u8>('\n')] == '\n';
      for (int c = 0; c < 256; c++)
        if (c != '\r' && c != '\n' && (map[c] == '\r' || map[c] == '\n')) sameNewlines = false;
      const int r = MapInputToPieces(
          input, pieces,
          [&](char *text, u32 length) {
            if (pairs) (void)Squeeze(text, length, table, map, true);
            else MemCopyMapped(text, text, map, length);
          },
          sameNewlines);
      ToolProgress(1);
      return r == kResultCancelled ? 0 : r;
    }
    // What is left goes to pieces; a long input in two halves at once.
    const u32 cut = ToolInputCut(input);
    SqueezeHalf half[2] = {{input, input->from, cut, table, map, pairs, &pieces[0], 0},
                           {input, cut, input->to, table, map, pairs, &pieces[1], 0}};
    RunBeside(SqueezeHalf::Run, &half[0], cut < input->to ? &half[1] : nullptr);
    ToolProgress(1);
    return HalvesResult(half[0].result, half[1].result);
  }
  char *t = doc->text;
  const u32 n = doc->length;
  if (!deletes && !pairs) {
    MemCopyMapped(t, t, map, n);
    ToolProgress(1);
    return 0;
  }
  const u32 o = Squeeze(t, n, table, map, pairs);
  if (o == 0xFFFFFFFFu) return 0;
  doc->length = o;
  t[o] = 0;
  ToolProgress(1);
  return 0;
}

// ---- Enclose and Tag ----

int EncloseText(const char *text, u32 length, ToolDocument *out, ToolParam param) {
  EncloseSettings *s = reinterpret_cast<EncloseSettings *>(param);
  const u32 b = static_cast<u32>(strlen(s->before)), a = static_cast<u32>(strlen(s->after));
  if (ToolDocumentReserve(out, static_cast<u64>(b) + length + a + 1) != 0) return kResultOutOfMemory;
  if (ToolDocumentAppend(out, s->before, b) != 0 || ToolDocumentAppend(out, text, length) != 0 ||
      ToolDocumentAppend(out, s->after, a) != 0)
    return kResultOutOfMemory;
  out->text[out->length] = 0;
  if (length == 0) *s->selection = ToolResultSelection{true, b, b};  // the caret between the phrases
  return 0;
}

int TagText(const char *text, u32 length, ToolDocument *out, ToolParam param) {
  TagSettings *s = reinterpret_cast<TagSettings *>(param);
  const u32 name = static_cast<u32>(strlen(s->name)), attr = static_cast<u32>(strlen(s->attributes));
  if (name == 0) return kResultNoChange;
  const char *newline = ToolNewline();
  const u32 nl = newline[1] ? 2 : 1;
  const bool lines = MemFindByte(text, '\n', length) || MemFindByte(text, '\r', length);
  const bool lastEmpty = length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r');
  const u64 most = static_cast<u64>(length) + 2 * name + attr + 2 * nl + 16;
  if (ToolDocumentReserve(out, most) != 0) return kResultOutOfMemory;
  auto put = [&](const char *p, u32 n) { return ToolDocumentAppend(out, p, n) == 0; };
  bool ok = true;
  u32 from, to;
  if (s->empty) {
    from = 0;
    to = length;
    ok = put(text, length) && put("<", 1) && put(s->name, name) && (!attr || (put(" ", 1) && put(s->attributes, attr))) &&
         put(" />", 3);
  } else {
    ok = put("<", 1) && put(s->name, name) && (!attr || (put(" ", 1) && put(s->attributes, attr))) && put(">", 1) &&
         (!lines || put(newline, nl));
    from = out->length;
    ok = ok && put(text, length);
    to = out->length;
    ok = ok && (!lines || lastEmpty || put(newline, nl)) && put("</", 2) && put(s->name, name) && put(">", 1);
  }
  if (!ok) return kResultOutOfMemory;
  out->text[out->length] = 0;
  *s->selection = ToolResultSelection{true, from, to};
  return 0;
}

// ---- Extract Words ----

int ExtractWords(const char *text, u32 length, ToolDocument *out, ToolParam) {
  // The words and their separators never outgrow the text plus one newline
  // byte per word (a separator of CR LF for a word of one character).
  const char *newline = ToolNewline();
  const u32 nl = newline[1] ? 2 : 1;
  if (ToolDocumentReserve(out, static_cast<u64>(length) * (nl == 2 ? 3 : 2) / 2 + 2) != 0) return kResultOutOfMemory;
  char *w = out->text;
  bool any = false;
  u32 words = 0;
  for (u32 i = 0, start; NextWord(text, length, &i, &start);) {
    if (any) {
      MemCopy(w, newline, nl);
      w += nl;
    }
    MemCopy(w, text + start, i - start);
    w += i - start;
    any = true;
    if ((++words & 0xFFFF) == 0 && ToolCancelled()) return 0;
  }
  out->length = static_cast<u32>(w - out->text);
  out->text[out->length] = 0;
  ToolProgress(1);
  return 0;
}
