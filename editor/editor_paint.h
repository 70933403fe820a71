// Painting the editor: gutter, rows, selection, the caches' ranges (links,
// occurrences of the selection, search matches), marks, line lengths and the
// wrap-margin line. One drawer does all text output and all measuring.
#pragma once

#include <windows.h>

#include "editor/editor_window.h"

// What a drawing call puts on the device. A row that holds selected or
// highlighted text is drawn twice: first every background and mark, then all
// text transparently over them, so that a glyph overhanging the edge of its
// segment is not cut by the neighbour's background.
enum DrawMode : int {
  kDrawAll,          // backgrounds (when opaque), marks and text
  kDrawBackgrounds,  // backgrounds (when opaque) and marks
  kDrawText,         // text only, transparently
};

struct DrawRequest {
  HDC dc;
  bool draw;              // false: measure only
  DrawMode mode;
  int x, y;
  int limitX;             // stop once x reaches it (-1: none)
  int clipRight;          // nothing is drawn right of it (-1: none)
  int clipLeft;           // runs that end left of it are only measured
  const char *text;
  u32 count;
  int tabOrigin;          // tab stops count from here
  bool colorize;
  COLORREF textColor, colorizedColor, markColor, backColor;
  bool opaque;            // fill each run's cell with backColor
  bool visibleTabs, visibleSpaces;
  bool batchRuns;         // the font allows runs to be drawn together (screen fonts checked when taken)
  int top, bottom;        // the row's band, for opaque cells and marks
  bool noMarks;           // paper: newline characters inside a row draw no mark either
  bool textColorInDc;     // the device context draws in textColor already: it is not set again
};

// Where the run of the drawer that starts at text[i] ends (count: the end of
// the piece). A run ends before a tab, CR, NL or space-class character, which
// each make a run of their own; a control character (below 32, or 127) never
// shares a run; with colorizing, where word and other characters meet; and
// after 256 characters at the last place where two bytes below 128 meet, or
// after 384 in any case, so that double-byte characters stay whole.
u32 DrawRunEnd(const char *text, u32 count, u32 i, bool colorize);
// The same for a double-byte code page (lead: 1 for each lead byte): a lead
// byte and the byte after it (unless a CR or an LF, or past the count) are
// one ordinary character of the word class; a run never ends inside one, so
// the cut after 384 characters falls after such a pair, not in it.
u32 DrawRunEndPairs(const char *text, u32 count, u32 i, bool colorize, const u8 *lead);

// Draws (or measures) a piece of text from x; returns the x reached.
// *consumed (optional) receives the characters taken before the limit. With
// a double-byte code page the piece must not end inside a pair: a lead byte
// at its end stands alone.
int DrawRun(EditorWindow *ed, DrawRequest &r, u32 *consumed);

// WM_PAINT: each rectangle of the update region on its own.
void PaintWindow(EditorWindow *ed);
// Draws the rows that meet rc (null: the whole client area) into dc.
void PaintRect(EditorWindow *ed, HDC dc, const RECT *rc);
