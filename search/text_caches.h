// The scanners behind the view's lazy caches: URL links (range set 1, its
// coverage in set 2) and the occurrences of the selection highlighter's text
// (set 3, coverage in set 4). Each scans one hard line at a time for
// EnsureScanned; the view asks for the rows it is about to paint.
#pragma once

#include "document/position.h"

// Finds the URLs of [from, to) and adds them to `results` (payload 0). A URL
// longer than 64 KiB is cut there. 0, or -1 when memory ran out.
[[nodiscard]] int ScanLinks(Document *doc, u32 from, u32 to, RangeSet *results);
LineScanner LinkScanner();

// The text whose occurrences the selection highlighter marks.
struct OccurrenceText {
  const char *text;  // lower-cased already when matchCase is off
  u32 length;
  bool matchCase;
};
// Adds every occurrence of the text that starts in [from, to) (it may end
// after `to` when the text spans lines); occurrences do not overlap. 0, or
// -1 when memory ran out.
[[nodiscard]] int ScanOccurrences(Document *doc, u32 from, u32 to, const OccurrenceText &text, RangeSet *results);
// The scanner for EnsureScanned; `text` must outlive the call.
LineScanner OccurrenceScanner(const OccurrenceText *text);

// The link under a position: its range in `start`/`length`, or false. Scans
// the hard line around the position (not the cache), so it also answers for
// rows never painted.
bool LinkAt(Document *doc, u32 position, u32 *start, u32 *length);
