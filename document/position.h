// Positions, the selection, and the range sets used as lazy caches.
//
// A position record is computed from its row and wanted column (Complete);
// the Set forms find the row first. The Document's selection is its anchor and
// caret; selStart/selEnd point at whichever of them comes first/last.
#pragma once

#include "document/document.h"
#include "document/range_set.h"

// Complete flag: the wanted column becomes the clamped column.
constexpr u32 kPositionSettleColumn = 64;

// Row of the position (past the end: the end), wanted column = position - row
// start clamped to the row's text and newline, then Complete.
void SetFromPosition(Document *doc, PositionRecord *rec, u32 position, u32 flags);
// Row clamped to the rows, column to at least 0, then Complete.
void SetFromRowColumn(Document *doc, PositionRecord *rec, i64 row, i64 column);
// The hard line's first row (the last row past the end) plus the offset, as a
// position; then as SetFromPosition.
void SetFromHardLine(Document *doc, PositionRecord *rec, u32 hardLine, u32 offset, u32 flags);
// Fills every field from row and wantedColumn. A wanted column one past the
// text of a row ending with CR LF is the place between CR and LF.
void CompletePosition(const Document *doc, PositionRecord *rec, u32 flags);

// selStart and selEnd from the anchor and the caret.
void OrderSelection(Document *doc);
// The anchor becomes the caret.
void Collapse(Document *doc);
void CollapseToStart(Document *doc);
void CollapseToEnd(Document *doc);
void SwapAnchorCaret(Document *doc);

// The painter's per-row cache (set 0). Get returns the stored value, or 0 when
// the entry no longer matches the row's start and length (text plus newline),
// or the row is not a whole hard line numbered like the rows. Put returns 0,
// or -1 when memory ran out (nothing stored).
u32 RowCacheGet(const Document *doc, u32 row);
[[nodiscard]] int RowCachePut(Document *doc, u32 row, u32 value);

// Fills result ranges for the hard line [from, to) (its text and newline):
// 0, or -1 when memory ran out.
struct LineScanner {
  int (*scan)(void *context, Document *doc, u32 from, u32 to, RangeSet *results);
  void *context;
};
// For each hard line of rows firstRow..lastRow not covered by the coverage
// set: removes the result ranges on it, runs the scanner over it and records
// it as covered. After 1024 ms since startTime (PlatTickCount), progress goes
// to the store's sink (rows done, rows to do). Returns 1 when anything was
// rebuilt, 0 when nothing needed it, -1 when memory ran out.
[[nodiscard]] int EnsureScanned(Document *doc, u32 resultSet, u32 coverageSet, u32 firstRow, u32 lastRow,
                                u32 startTime, const LineScanner &scanner);
