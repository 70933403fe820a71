#include "search/text_caches.h"

#include "document/edit.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/memory.h"
#include "foundation/platform.h"
#include "search/url_scan.h"

namespace {

constexpr u32 kWindow = 256 * 1024;     // bytes scanned at a time
constexpr u32 kLongestUrl = 64 * 1024;  // a URL reaching further is cut here

struct LinkSink {
  RangeSet *results;
  u32 base;        // document position of window byte 0
  u32 windowEnd;   // bytes in the window
  bool lastWindow;
  u32 resume;      // where the next window should start (window offset), or 0
  int failed;
};

int OnLink(void *context, u32 start, u32 length) {
  LinkSink *k = static_cast<LinkSink *>(context);
  if (!k->lastWindow && start + length == k->windowEnd && start > 0) {
    // It may go on past the window: scan it again from its start.
    k->resume = start;
    return 1;
  }
  if (RangeSetAdd(k->results, k->base + start, length, 0) != 0) {
    k->failed = 1;
    return 1;
  }
  return 0;
}

}  // namespace

int ScanLinks(Document *doc, u32 from, u32 to, RangeSet *results) {
  const TextStore *s = &doc->store;
  if (to > s->length) to = s->length;
  if (from >= to) return 0;
  const u32 capacity = to - from < kWindow + kLongestUrl ? to - from : kWindow + kLongestUrl;
  u8 *buffer = static_cast<u8 *>(Allocate(capacity));
  if (!buffer) return -1;
  const u8 *lower = LowerTable();
  u32 pos = from;
  int result = 0;
  while (pos < to) {
    u32 n = to - pos < capacity ? to - pos : capacity;
    n = ReadText(s, pos, pos + n, reinterpret_cast<char *>(buffer), n, 0, nullptr);
    if (n == 0) break;
    for (u32 i = 0; i < n; i++) buffer[i] = lower[buffer[i]];
    LinkSink sink = {results, pos, n, pos + n >= to, 0, 0};
    // Outside the last window, stop scanning at the last blank of its final
    // part: no URL contains one, so the next window starts on a boundary.
    u32 scanEnd = n;
    if (!sink.lastWindow) {
      u32 floor = n > kLongestUrl ? n - kLongestUrl : 0;
      for (u32 i = n; i > floor; i--) {
        if (buffer[i - 1] <= ' ') {
          scanEnd = i;
          break;
        }
      }
      sink.windowEnd = scanEnd;
    }
    ScanUrls(buffer, scanEnd, OnLink, &sink);
    if (sink.failed) {
      result = -1;
      break;
    }
    pos += sink.resume ? sink.resume : scanEnd;
  }
  Free(buffer);
  return result;
}

namespace {
int ScanLinksLine(void *, Document *doc, u32 from, u32 to, RangeSet *results) {
  return ScanLinks(doc, from, to, results);
}
int ScanOccurrencesLine(void *context, Document *doc, u32 from, u32 to, RangeSet *results) {
  return ScanOccurrences(doc, from, to, *static_cast<const OccurrenceText *>(context), results);
}
}  // namespace

LineScanner LinkScanner() { return LineScanner{ScanLinksLine, nullptr}; }

LineScanner OccurrenceScanner(const OccurrenceText *text) {
  return LineScanner{ScanOccurrencesLine, const_cast<OccurrenceText *>(text)};
}

int ScanOccurrences(Document *doc, u32 from, u32 to, const OccurrenceText &text, RangeSet *results) {
  const TextStore *s = &doc->store;
  const u32 m = text.length;
  if (m == 0 || from >= to || from >= s->length) return 0;
  if (to > s->length) to = s->length;
  // Each window holds the starts [pos, pos + kWindow) and the m - 1 bytes an
  // occurrence starting at its end needs.
  const u64 wanted = static_cast<u64>(to - from) + m - 1;
  const u32 capacity = static_cast<u32>(wanted < static_cast<u64>(kWindow) + m ? wanted : static_cast<u64>(kWindow) + m);
  u8 *buffer = static_cast<u8 *>(Allocate(capacity));
  if (!buffer) return -1;
  u8 lead[256];
  bool anyLead = false;
  for (int c = 0; c < 256; c++) {
    lead[c] = c >= 128 && PlatIsLeadByte(kCodePageAnsi, static_cast<u8>(c));
    anyLead = anyLead || lead[c];
  }
  const u8 *lower = LowerTable();
  const u8 *pattern = reinterpret_cast<const u8 *>(text.text);
  const u8 first = pattern[0];
  int result = 0;
  u32 pos = from;  // always on a character boundary
  while (pos < to) {
    const u32 starts = to - pos < kWindow ? to - pos : kWindow;
    u32 avail = s->length - pos;
    u32 n = starts + m - 1 < avail ? starts + m - 1 : avail;
    if (n > capacity) n = capacity;
    n = ReadText(s, pos, pos + n, reinterpret_cast<char *>(buffer), n, 0, nullptr);
    if (!text.matchCase) {
      for (u32 i = 0; i < n; i++) buffer[i] = lower[buffer[i]];
    }
    u32 i = 0;
    while (i < starts) {
      if (!anyLead) {
        const void *hit = MemFindByte(buffer + i, first, starts - i);
        if (!hit) {
          i = starts;
          break;
        }
        i = static_cast<u32>(static_cast<const u8 *>(hit) - buffer);
      }
      if (buffer[i] == first && i + m <= n && MemCompare(buffer + i, pattern, m) == 0) {
        if (RangeSetAdd(results, pos + i, m, 0) != 0) {
          result = -1;
          break;
        }
        i += m;
        continue;
      }
      i += anyLead && lead[buffer[i]] ? 2 : 1;
    }
    if (result) break;
    pos += i;  // past the window, or past an occurrence that ended beyond it
  }
  Free(buffer);
  return result;
}

bool LinkAt(Document *doc, u32 position, u32 *start, u32 *length) {
  const TextStore *s = &doc->store;
  if (position >= s->length) return false;
  const u32 row = RowOfPosition(s, position);
  const u32 hard = RowHardLine(s, row);
  const u32 a = RowStart(s, FirstRowOfHardLine(s, hard));
  const u32 b = RowTextEnd(s, FirstRowOfHardLine(s, hard + 1) - 1);
  // Look only at the neighbourhood of the position.
  const u32 from = position - a > kLongestUrl ? position - kLongestUrl : a;
  const u32 to = b - position > kLongestUrl ? position + kLongestUrl : b;
  RangeSet found = {};
  bool hit = false;
  if (ScanLinks(doc, from, to, &found) == 0) {
    const Range *r = RangeAt(&found, position);
    if (r && RangeAbsStart(&found, r) <= position && position < RangeAbsEnd(&found, r)) {
      *start = RangeAbsStart(&found, r);
      *length = r->length;
      hit = true;
    }
  }
  RangeSetClear(&found);
  return hit;
}
