// Caret movement over the text: character, word, line and paragraph steps,
// and the units that Select Word, Select Line and Select Paragraph take.
//
// A CR LF pair is one step, and so is a double-byte character of the ANSI
// code page (its lead byte and the byte after it). Words are runs of word
// characters; runs of blanks (space-class characters other than CR and LF)
// and runs of other characters (punctuation) are units of their own, and each
// newline is a unit.
#pragma once

#include "document/document.h"

// Reads single bytes of the text through the block holding the last one
// read (positions below the text length).
struct TextReader {
  const TextStore *s;
  u32 blockStart = 1, blockEnd = 0;
  const char *data = nullptr;

  explicit TextReader(const TextStore *store) : s(store) {}
  u8 At(u32 p) {
    if (p < blockStart || p >= blockEnd) Load(p);
    return static_cast<u8>(data[p - blockStart]);
  }
  void Load(u32 p);
};

// One character right or left of p (clamped to the text).
u32 CharRight(const Document *doc, u32 p);
u32 CharLeft(const Document *doc, u32 p);

// Ctrl+Right: past the unit at p (a word or a run of punctuation) and the
// blanks after it; a newline is passed alone, then the blanks after it.
u32 WordRight(const Document *doc, u32 p);
// Ctrl+Left: back over blanks, then to the start of the unit before them; a
// newline right before p (with no blanks between) is stepped over alone.
u32 WordLeft(const Document *doc, u32 p);

// Select Word: the word, the run of blanks, or the single other character at
// p (at a newline or the end of the text: the unit before p, if any, else the
// empty range at p).
void WordUnitAt(const Document *doc, u32 p, u32 *start, u32 *end);

// Hard lines.
u32 HardLineOfPosition(const Document *doc, u32 p);
u32 HardLineStart(const Document *doc, u32 hardLine);
// The end of the hard line's text (before its newline).
u32 HardLineTextEnd(const Document *doc, u32 hardLine);
// The start of the next hard line (after the newline), or the text length.
u32 HardLineEnd(const Document *doc, u32 hardLine);
bool HardLineEmpty(const Document *doc, u32 hardLine);

// The first position in [from, to) that is not a blank, or `to`.
u32 SkipBlanks(const Document *doc, u32 from, u32 to);

// Ctrl+Up: the first line of the paragraph before the caret's line (of the
// caret's own paragraph when it does not start there); -1 when only empty
// lines lie above (the start of the text).
i64 ParagraphUp(const Document *doc, u32 hardLine);
// Ctrl+Down: the first line of the next paragraph; -1 when none follows (the
// end of the text).
i64 ParagraphDown(const Document *doc, u32 hardLine);
// The paragraph around a line: its first and last lines (an empty line is a
// paragraph of its own, together with the empty lines next to it).
void ParagraphOf(const Document *doc, u32 hardLine, u32 *first, u32 *last);

// The units of Select Word, Select Line and Select Paragraph.
enum UnitKindValue : int { kUnitWordKind = 0, kUnitLine = 1, kUnitParagraph = 2 };
// The unit of that kind around a position: the word (WordUnitAt), the hard
// line with its newline, the paragraph holding the line or the next one
// after an empty line; false when there is none (no paragraph at or after
// the line).
bool UnitAround(const Document *doc, int kind, u32 p, u32 *a, u32 *b);
// The unit after one that ends at `end`; false at the end of the text.
bool UnitAfter(const Document *doc, int kind, u32 end, u32 *a, u32 *b);
