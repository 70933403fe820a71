// Layout: the geometry of the client area and the visual lines (rows) of the
// text. The store's row index holds the rows; each hard line is one or more
// consecutive rows. Without word wrap a hard line is one row, cut only past
// kMaxRowLength characters; with it, lines break before the word that does
// not fit (see WrapHardLine).
#pragma once

#include <windows.h>

#include "editor/editor_window.h"

constexpr u32 kMaxRowLength = 1048576;

// The metrics of the text font (line height, character widths, the widest
// digit) and the advance of every character, for measuring without the
// system.
void MeasureFont(EditorWindow *ed);
// The same with the font selected into dc (a printer's); checkRuns: find out
// by drawing whether runs may be drawn together (screens only).
void MeasureFontOn(EditorWindow *ed, HDC dc, bool checkRuns);
// Decoration units: 5 for line lengths, 1 for visible newlines.
void ComputeDecorations(EditorWindow *ed);

// With a new client size (haveSize) or to re-measure: gutter, text width,
// visible columns and rows, wrap width and margin; re-wraps, invalidates and
// updates the scroll bars where those changed.
void UpdateGeometry(EditorWindow *ed, bool haveSize, int width, int height);

// Lays out anew the hard lines from the one of firstRow to the one holding
// lastPosition. 1 on success; 0 when memory ran out (the parent has been told
// with 0x500 and a beep; the text is untouched).
int WrapLines(EditorWindow *ed, u32 firstRow, u32 lastPosition, bool quiet = false);
// The lengths of rows, one hard line's (or a part of one) at a time.
struct RowLengths {
  GrowableArray a;
  bool Push(u32 n) {
    if (!GrowArray(&a, sizeof(u32), a.count + 1)) return false;
    static_cast<u32 *>(a.entries)[a.count++] = n;
    return true;
  }
  u32 *data() { return static_cast<u32 *>(a.entries); }
};

struct TextCursor;
// The word-wrapped rows of [start, end), the rest of a hard line from one of
// its row starts (lineStart: from the line's own start), by ed's metrics,
// wrap width and margin, read through cur: at most maxRows of them, their
// lengths in *out (emptied first). A row breaks the same way whatever came
// before it, so the rows that follow the last one are WrapRows from its end.
// False when *out could not grow (never when its capacity holds maxRows).
bool WrapRows(EditorWindow *ed, TextCursor *cur, u32 start, u32 end, bool lineStart, u32 maxRows,
              RowLengths *out);

// The whole text anew, keeping anchor, caret and the caret's distance from the
// top of the view. Unless forced, the layout itself is skipped when the
// whole text already has the rows of the parameters in force (word wrap,
// wrap width and margin, tab size, font).
void RewrapAll(EditorWindow *ed, bool force = false);

// Width in pixels of `count` characters of a row from `offset`, drawn from x
// (the pixel position of `offset` from the row's origin, so that tab stops
// fall right); *measured (optional) receives how many were measured before x
// reached limitX (-1: no limit). A double-byte character is measured as one
// glyph; one that the end of the count would cut is left out.
int MeasureRun(EditorWindow *ed, u32 row, u32 offset, u32 count, int x, int limitX, u32 *measured);
// The character index at pixel x of the row (x relative to the row's origin),
// or -1 when x lies beyond the row's end. A hit on a double-byte character
// gives the index of its lead byte.
i64 CharAtX(EditorWindow *ed, u32 row, int x);
// The pixel x of a column of a row, relative to the row's origin.
int ColumnX(EditorWindow *ed, u32 row, u32 column);

// Reads the text of a document byte by byte, block by block.
struct TextCursor {
  const TextStore *store;
  u32 block;
  u32 blockStart;
  u32 blockEnd;
  const char *data;
};
void CursorAt(TextCursor *c, const TextStore *store, u32 position);
inline u8 CursorByte(TextCursor *c, u32 position) {
  if (position < c->blockStart || position >= c->blockEnd) CursorAt(c, c->store, position);
  return static_cast<u8>(c->data[position - c->blockStart]);
}

// The advance of one character at x in the row measuring rules: tabs to the
// next stop after x + average width - 1, spaces as the first space of the
// run, newline characters one average width, everything else its glyph.
// With a double-byte code page, Pair gives the one glyph of a lead byte and
// its trail byte.
struct Advance {
  const EditorWindow *ed;
  int tabPixels;   // tab size x average character width
  int spaceWidth;  // -1 until the first space-class character
  int Of(u8 c, int x);
  int Pair(u8 lead, u8 trail) const {
    const i16 *row = ed->pairWidth[lead];
    return row ? row[trail] : PairWidth(ed, lead, trail);
  }
  static int PairWidth(const EditorWindow *ed, u8 lead, u8 trail);
};
Advance MakeAdvance(const EditorWindow *ed);

// Double-byte code pages. Whether the byte at p (of a text ending at end)
// is the trail byte of a pair, so that p lies inside a character; lower is a
// known character boundary at or before p (a row or line start).
bool SplitsPair(const EditorWindow *ed, TextCursor *cur, u32 lower, u32 p, u32 end);
// The same for a position of a row (false with a single-byte code page).
bool RowSplitsPair(const EditorWindow *ed, u32 row, u32 position);
// Frees the measured pair widths (a new font, or the window goes).
void ForgetPairWidths(EditorWindow *ed);
