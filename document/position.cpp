#include "document/position.h"

#include "foundation/platform.h"

void CompletePosition(const Document *d, PositionRecord *rec, u32 flags) {
  const TextStore *s = &d->store;
  const u32 r = rec->row;
  const Row &row = RowAt(s, r);
  const u32 start = RowStart(s, r);
  rec->rowLength = row.textLength;
  rec->column = rec->wantedColumn < row.textLength ? rec->wantedColumn : row.textLength;
  // One column past the text of a CR LF row is the place between CR and LF.
  rec->effectiveColumn = rec->column;
  if (row.newlineType == kNewlineCRLF && rec->wantedColumn == row.textLength + 1) rec->effectiveColumn++;
  rec->position = start + rec->effectiveColumn;
  rec->hardLine = RowHardLine(s, r);
  // Unwrapped rows are their own hard lines: no search needed.
  rec->firstRow = (r == 0 || RowAt(s, r - 1).newlineLength) ? r : FirstRowOfHardLine(s, rec->hardLine);
  rec->lastRow = (row.newlineLength || r + 1 == RowCount(s)) ? r : FirstRowOfHardLine(s, rec->hardLine + 1) - 1;
  const u32 lineStart = RowStart(s, rec->firstRow);
  rec->offsetInHardLine = rec->position - lineStart;
  rec->hardLineLength = RowTextEnd(s, rec->lastRow) - lineStart;
  if (flags & kPositionSettleColumn) rec->wantedColumn = rec->column;
}

void SetFromPosition(Document *d, PositionRecord *rec, u32 position, u32 flags) {
  const TextStore *s = &d->store;
  if (position > s->length) position = s->length;
  rec->row = RowOfPosition(s, position);
  const Row &row = RowAt(s, rec->row);
  u32 wanted = position - RowStart(s, rec->row);
  u32 most = row.textLength + row.newlineLength;
  rec->wantedColumn = wanted < most ? wanted : most;
  CompletePosition(d, rec, flags);
}

void SetFromRowColumn(Document *d, PositionRecord *rec, i64 row, i64 column) {
  const i64 rows = RowCount(&d->store);
  if (row < 0) row = 0;
  if (row >= rows) row = rows - 1;
  if (column < 0) column = 0;
  if (column > 0xFFFFFFFEll) column = 0xFFFFFFFEll;
  rec->row = static_cast<u32>(row);
  rec->wantedColumn = static_cast<u32>(column);
  CompletePosition(d, rec, 0);
}

void SetFromHardLine(Document *d, PositionRecord *rec, u32 hardLine, u32 offset, u32 flags) {
  const TextStore *s = &d->store;
  u32 first = FirstRowOfHardLine(s, hardLine);
  if (first >= RowCount(s)) first = RowCount(s) - 1;
  u64 p = static_cast<u64>(RowStart(s, first)) + offset;
  SetFromPosition(d, rec, p > s->length ? s->length : static_cast<u32>(p), flags);
}

void OrderSelection(Document *d) {
  if (d->anchor.position <= d->caret.position) {
    d->selStart = &d->anchor;
    d->selEnd = &d->caret;
  } else {
    d->selStart = &d->caret;
    d->selEnd = &d->anchor;
  }
}

void Collapse(Document *d) {
  d->anchor = d->caret;
  OrderSelection(d);
}

void CollapseToStart(Document *d) {
  PositionRecord r = *d->selStart;
  d->anchor = r;
  d->caret = r;
  OrderSelection(d);
}

void CollapseToEnd(Document *d) {
  PositionRecord r = *d->selEnd;
  d->anchor = r;
  d->caret = r;
  OrderSelection(d);
}

void SwapAnchorCaret(Document *d) {
  PositionRecord t = d->anchor;
  d->anchor = d->caret;
  d->caret = t;
  OrderSelection(d);
}

// ---- caches -----------------------------------------------------------------------

namespace {

u32 RowSpan(const TextStore *s, u32 row) {
  return RowAt(s, row).textLength + RowAt(s, row).newlineLength;
}

}  // namespace

u32 RowCacheGet(const Document *d, u32 row) {
  const TextStore *s = &d->store;
  if (row >= RowCount(s)) return 0;
  if (RowHardLine(s, row) != row) return 0;
  if (row + 1 < RowCount(s) && RowHardLine(s, row + 1) != row + 1) return 0;
  const RangeSet *set = &s->rangeSets[kSetRowCache];
  const u32 start = RowStart(s, row);
  const Range *r = RangeAt(set, start);
  if (!r || RangeAbsStart(set, r) != start || r->length != RowSpan(s, row)) return 0;
  return r->payload;
}

int RowCachePut(Document *d, u32 row, u32 value) {
  TextStore *s = &d->store;
  if (row >= RowCount(s)) return 0;
  return RangeSetAdd(&s->rangeSets[kSetRowCache], RowStart(s, row), RowSpan(s, row), value);
}

int EnsureScanned(Document *d, u32 resultSet, u32 coverageSet, u32 firstRow, u32 lastRow, u32 startTime,
                  const LineScanner &scanner) {
  TextStore *s = &d->store;
  RangeSet *results = &s->rangeSets[resultSet];
  RangeSet *coverage = &s->rangeSets[coverageSet];
  if (lastRow >= RowCount(s)) lastRow = RowCount(s) - 1;
  int rebuilt = 0;
  const u32 toDo = lastRow >= firstRow ? lastRow - firstRow + 1 : 0;
  for (u32 row = firstRow; row <= lastRow && row < RowCount(s);) {
    const u32 hard = RowHardLine(s, row);
    const u32 first = FirstRowOfHardLine(s, hard);
    const u32 last = FirstRowOfHardLine(s, hard + 1) - 1;
    const u32 from = RowStart(s, first), to = RowEnd(s, last);
    if (to > from) {
      const Range *c = RangeAt(coverage, from);
      bool covered = c && RangeAbsStart(coverage, c) <= from && RangeAbsEnd(coverage, c) >= to;
      if (!covered) {
        RangeSetRemove(results, from, to);
        if (scanner.scan(scanner.context, d, from, to, results) != 0) return -1;
        if (RangeSetAdd(coverage, from, to - from, 0) != 0) return -1;
        rebuilt = 1;
      }
    }
    row = last + 1;
    if (s->progress.report && PlatTickCount() - startTime > 1024) {
      s->progress.report(s->progress.context, row - firstRow, toDo);
    }
  }
  return rebuilt;
}
