// Words as the tools see them: runs of word characters, that is bytes of the
// word table and, on a double-byte code page, a lead byte with the byte
// after it (unless that is a CR or an LF or the text ends), as the word
// motions count them.
#pragma once

#include "foundation/char_class.h"

// The character at p[i] of p[0, n): its length, and whether it is a word
// character.
struct TextChar {
  u32 length;
  bool word;
};
inline TextChar ReadTextChar(const char *p, u32 i, u32 n) {
  const u8 c = static_cast<u8>(p[i]);
  if (IsLeadByte(c) && i + 1 < n && p[i + 1] != '\r' && p[i + 1] != '\n') return {2, true};
  return {1, IsWordChar(c)};
}

// The next word at or after *i in p[0, n): its start in *start and its end
// in *i. False when no word is left.
inline bool NextWord(const char *p, u32 n, u32 *i, u32 *start) {
  while (*i < n) {
    TextChar c = ReadTextChar(p, *i, n);
    if (!c.word) {
      *i += c.length;
      continue;
    }
    *start = *i;
    while (c.word) {
      *i += c.length;
      if (*i == n) break;
      c = ReadTextChar(p, *i, n);
    }
    return true;
  }
  return false;
}
