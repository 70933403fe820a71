// Position records, the selection, range lookups and the lazy caches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/edit.h"
#include "document/position.h"
#include "document/range_set.h"
#include "foundation/platform.h"
#include "tests/support/document_support.h"

namespace {

TEST(Position, BetweenCrAndLf) {
  TestDocument d;
  d.Load("ab\r\ncd\rx\ny");
  PositionRecord r;
  // One column past the text of a CR LF row: between CR and LF.
  SetFromRowColumn(d, &r, 0, 3);
  EXPECT_EQ(r.column, 2u);
  EXPECT_EQ(r.effectiveColumn, 3u);
  EXPECT_EQ(r.position, 3u);
  // Further on, or on a CR row, the column stops at the text's end.
  SetFromRowColumn(d, &r, 0, 9);
  EXPECT_EQ(r.position, 2u);
  SetFromRowColumn(d, &r, 1, 3);
  EXPECT_EQ(r.position, 6u);
  // And from the position the same place comes back.
  SetFromPosition(d, &r, 3, 0);
  EXPECT_EQ(r.row, 0u);
  EXPECT_EQ(r.wantedColumn, 3u);
  EXPECT_EQ(r.position, 3u);
  SetFromPosition(d, &r, 3, kPositionSettleColumn);
  EXPECT_EQ(r.wantedColumn, 2u);
  EXPECT_EQ(r.position, 3u);
}

TEST(Position, ClampingAndTheEnd) {
  TestDocument d;
  d.Load("one\ntwo\nthree");
  PositionRecord r;
  SetFromRowColumn(d, &r, 99, -4);
  EXPECT_EQ(r.row, 2u);
  EXPECT_EQ(r.position, 8u);
  SetFromRowColumn(d, &r, -1, 2);
  EXPECT_EQ(r.position, 2u);
  SetFromPosition(d, &r, kPositionEnd, 0);
  EXPECT_EQ(r.position, 13u);
  EXPECT_EQ(r.column, 5u);
  SetFromHardLine(d, &r, 1, 1, 0);
  EXPECT_EQ(r.position, 5u);
  SetFromHardLine(d, &r, 7, 1, 0);  // past the last hard line: its last row
  EXPECT_EQ(r.row, 2u);
  EXPECT_EQ(r.position, 9u);
  SetFromHardLine(d, &r, 0, 100, 0);
  EXPECT_EQ(r.position, 13u);
  EXPECT_EQ(r.hardLine, 2u);
  EXPECT_EQ(r.offsetInHardLine, 5u);
  EXPECT_EQ(r.hardLineLength, 5u);
}

TEST(Position, WrappedHardLine) {
  TestDocument d;
  d.Load("head\nabcdefghij\r\ntail");
  d->wordWrap = 1;
  u32 rows[] = {4, 3, 3};
  ASSERT_EQ(SetHardLineRows(&d->store, 1, rows, 3), 0);
  for (u32 row = 1; row <= 3; row++) {
    PositionRecord r;
    SetFromRowColumn(d, &r, row, 1);
    EXPECT_EQ(r.hardLine, 1u);
    EXPECT_EQ(r.firstRow, 1u);
    EXPECT_EQ(r.lastRow, 3u);
    EXPECT_EQ(r.hardLineLength, 10u);
    EXPECT_EQ(r.offsetInHardLine, r.position - 5);
  }
  PositionRecord r;
  SetFromHardLine(d, &r, 1, 8, 0);
  EXPECT_EQ(r.row, 3u);
  EXPECT_EQ(r.column, 1u);
  EXPECT_EQ(r.position, 13u);
  SetFromHardLine(d, &r, 2, 0, 0);
  EXPECT_EQ(r.row, 4u);
  // A wrapped row is no cache row: its hard line is not its number.
  ASSERT_EQ(RowCachePut(d, 2, 7), 0);
  EXPECT_EQ(RowCacheGet(d, 2), 0u);
  EXPECT_TRUE(DocOk(d));
}

TEST(Position, SelectionOrderCollapseAndSwap) {
  TestDocument d;
  d.Load("0123456789");
  d.Select(7, 2);
  EXPECT_EQ(d->selStart, &d->caret);
  EXPECT_EQ(d->selEnd->position, 7u);
  SwapAnchorCaret(d);
  EXPECT_EQ(d->caret.position, 7u);
  EXPECT_EQ(d->selStart, &d->anchor);
  CollapseToStart(d);
  EXPECT_EQ(d->anchor.position, 2u);
  EXPECT_EQ(d->caret.position, 2u);
  d.Select(7, 2);
  CollapseToEnd(d);
  EXPECT_EQ(d->caret.position, 7u);
  d.Select(7, 2);
  Collapse(d);
  EXPECT_EQ(d->anchor.position, 2u);
  EXPECT_EQ(d->selEnd->position, 2u);
}

TEST(Position, RangeAtAcrossChunks) {
  ScopedStoreLimits limits(4);
  TestDocument d;
  d.Load(std::string(500, 'x'));
  RangeSet *set = &d->store.rangeSets[kSetSpare];
  EXPECT_EQ(RangeAt(set, 0), nullptr);
  for (u32 p = 10; p < 300; p += 20) ASSERT_EQ(RangeSetAdd(set, p, 5, p), 0);
  ASSERT_GT(set->chunks.count, 2u);
  EXPECT_TRUE(DocOk(d));
  EXPECT_EQ(RangeAt(set, 0)->payload, 10u);   // before the first: the first
  EXPECT_EQ(RangeAt(set, 12)->payload, 10u);  // inside
  EXPECT_EQ(RangeAt(set, 15)->payload, 30u);  // at its end: the next one
  for (u32 p = 10; p < 290; p += 20) {
    const Range *r = RangeAt(set, p + 7);
    ASSERT_NE(r, nullptr) << p;
    EXPECT_EQ(r->payload, p + 20) << "the next range, also in the next chunk";
    EXPECT_EQ(RangeAbsStart(set, r), p + 20);
  }
  EXPECT_EQ(RangeAt(set, 295), nullptr);
  // Walking the set visits every range in order.
  u32 n = 0, last = 0;
  for (const Range *r = RangeAt(set, 0); r; r = RangeNext(set, r), n++) {
    EXPECT_GE(RangeAbsStart(set, r), last);
    last = RangeAbsStart(set, r);
  }
  EXPECT_EQ(n, RangeCount(set));
  // Overlapping ranges give way to a new one.
  ASSERT_EQ(RangeSetAdd(set, 12, 40, 1), 0);
  EXPECT_EQ(RangeAt(set, 11)->payload, 1u);
  EXPECT_EQ(RangeCount(set), 13u);
  EXPECT_TRUE(DocOk(d));
}

TEST(Position, RowCacheFollowsTheRow) {
  TestDocument d;
  d.Load("alpha\nbeta\r\ngamma");
  ASSERT_EQ(RowCachePut(d, 1, 42), 0);
  ASSERT_EQ(RowCachePut(d, 2, 43), 0);
  // The Info dialog's markers figure: the chunk table plus 64 KiB per chunk.
  DocumentStatistics stats;
  DocumentStatisticsOf(d, &stats);
  EXPECT_EQ(stats.memory.markers, d->store.rangeSets[0].chunks.capacity * sizeof(RangeChunk) + 4096 * sizeof(Range));
  EXPECT_EQ(RowCacheGet(d, 1), 42u);
  EXPECT_EQ(RowCacheGet(d, 2), 43u);
  EXPECT_EQ(RowCacheGet(d, 0), 0u);
  // A newline typed above: the entries move with their rows' text.
  d.Select(2, 2);
  ASSERT_EQ(d.Replace("\n"), 1);
  EXPECT_EQ(RowCacheGet(d, 1), 0u);
  EXPECT_EQ(RowCacheGet(d, 2), 42u);
  EXPECT_EQ(RowCacheGet(d, 3), 43u);
  // Typing at a cached row's start shifts that start: the entry is ignored.
  u32 beta = RowStart(&d->store, 2);
  d.Select(beta, beta);
  ASSERT_EQ(d.Replace("z"), 1);
  EXPECT_EQ(RowCacheGet(d, 2), 0u);
  EXPECT_EQ(RowCacheGet(d, 3), 43u);
  // So is one that no longer covers its row's text and newline.
  u32 gamma = RowStart(&d->store, 3);
  ASSERT_EQ(RangeSetAdd(&d->store.rangeSets[kSetRowCache], gamma, 3, 9), 0);
  EXPECT_EQ(RowCacheGet(d, 3), 0u);
  // A deletion reaching a row's start drops that row's entry.
  ASSERT_EQ(RowCachePut(d, 3, 44), 0);
  d.Select(gamma - 1, gamma);
  ASSERT_EQ(d.Replace(""), 1);
  EXPECT_EQ(RowCount(&d->store), 4u);
  EXPECT_EQ(RowCacheGet(d, 3), 0u);
  EXPECT_TRUE(DocOk(d));
}

// A scanner that records which lines it saw and marks each "http" as a link.
struct UrlScanner {
  std::vector<unsigned> lines;
  static int Scan(void *c, Document *doc, u32 from, u32 to, RangeSet *results) {
    UrlScanner *self = static_cast<UrlScanner *>(c);
    self->lines.push_back(from);
    std::string text = DocText(doc).substr(from, to - from);
    for (size_t at = text.find("http"); at != std::string::npos; at = text.find("http", at + 1)) {
      size_t end = text.find_first_of(" \r\n", at);
      if (end == std::string::npos) end = text.size();
      if (RangeSetAdd(results, from + static_cast<u32>(at), static_cast<u32>(end - at), 0) != 0) return -1;
    }
    return 0;
  }
};

TEST(Position, EnsureScannedRescansOnlyTouchedLines) {
  TestDocument d;
  d.Load("see http://a.b here\nplain\nhttp://c.d\nlast");
  UrlScanner urls;
  LineScanner scanner = {UrlScanner::Scan, &urls};
  ASSERT_EQ(EnsureScanned(d, kSetLinks, kSetLinksScanned, 0, 3, PlatTickCount(), scanner), 1);
  EXPECT_EQ(urls.lines.size(), 4u);
  EXPECT_EQ(RangeCount(&d->store.rangeSets[kSetLinks]), 2u);
  ASSERT_EQ(EnsureScanned(d, kSetLinks, kSetLinksScanned, 0, 3, PlatTickCount(), scanner), 0);
  EXPECT_EQ(urls.lines.size(), 4u) << "nothing to rescan";
  // Typing inside the first URL removes it and its line's coverage.
  d.Select(8, 8);
  ASSERT_EQ(d.Replace("x"), 1);
  EXPECT_EQ(RangeCount(&d->store.rangeSets[kSetLinks]), 1u);
  urls.lines.clear();
  ASSERT_EQ(EnsureScanned(d, kSetLinks, kSetLinksScanned, 0, 3, PlatTickCount(), scanner), 1);
  ASSERT_EQ(urls.lines.size(), 1u);
  EXPECT_EQ(urls.lines[0], 0u) << "exactly that line";
  const Range *r = RangeAt(&d->store.rangeSets[kSetLinks], 0);
  EXPECT_EQ(RangeAbsStart(&d->store.rangeSets[kSetLinks], r), 4u);
  EXPECT_EQ(r->length, 11u);
  // Progress goes out once more than 1024 ms have passed since the start.
  std::vector<std::pair<u64, u64>> progress;
  d->store.progress = {[](void *c, u64 done, u64 total) {
                         static_cast<std::vector<std::pair<u64, u64>> *>(c)->push_back({done, total});
                       },
                       &progress, nullptr};
  RangeSetClear(&d->store.rangeSets[kSetLinksScanned]);
  ASSERT_EQ(EnsureScanned(d, kSetLinks, kSetLinksScanned, 0, 3, PlatTickCount() - 5000, scanner), 1);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back().first, 4u);
  EXPECT_EQ(progress.back().second, 4u);
}

}  // namespace
