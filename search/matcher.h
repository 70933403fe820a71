// The pattern matcher: runs a CompiledPattern (pattern.h) over the text of a
// document, in place across the blocks of its text store, and reads the row
// index for the line and paragraph anchors. It never changes the text.
//
// Two layers:
//   FindMatch  tries successive start positions forwards or backwards and
//              reports the first one where the pattern matches, with groups 0-9;
//   MatchAt    the backtracking matcher at one position.
// Both take a TextStore; the Document forms are one-line wrappers over
// &doc->store.
//
// Positions. The match itself never extends past rangeEnd. What the matcher
// may *see* (look-around bodies, \b \B \y \Y, \A \Z) is its context:
// from the document's start to rangeEnd, or to the document's end when the
// pattern carries kPatternWholeContext. (It never starts at `from`: callers
// continue after each match, and the text before it still decides \b, \A
// and look-behinds.) Outside the context counts as no character (not a word
// character). ^ $ \p \P are properties of the document's lines. \K may not
// move the start of a match outside the search range [min(from, stopAt),
// rangeEnd].
//
// No recursion anywhere: every choice point, look-around body in progress and
// saved group record lives on one explicit, growable backtrack stack.
//
// Cancel and time. The caller owns a cancel flag (scan.cancel) that another
// thread may set; the matcher polls it (and CheckSearchTime) every 4096
// backtracking steps and loop iterations, and the scan every 256 failed start
// positions; either then ends the scan as "not found" (a clock read per node
// would cost more than the matching). Threads: the pattern object (with its workspace) serves one scan at
// a time; the text must not change while a scan runs.
#pragma once

#include "document/document.h"
#include "document/text_store.h"
#include "search/pattern.h"

// One group's span; end == kNoPosition when the group did not take part.
struct MatchSpan {
  u32 start;
  u32 end;
};
struct MatchGroups {
  MatchSpan group[10];  // group 0 is the whole match (its start moves with \K)
};

// The record the matcher keeps per group slot.
struct GroupRecord {
  u32 start;      // last match: start and end, kNoPosition when not set
  u32 end;
  u32 tentative;  // start of the iteration in progress
  u32 count;      // iterations of the current repetition
  u32 entry;      // the opening node the group was entered from
};

// The backtrack stack (frames are private to matcher.cpp).
struct MatchFrame;
struct MatchStack {
  u32 capacity;
  u32 count;
  MatchFrame *frames;
};
constexpr u32 kInitialFrames = 256;

// Results of FindMatch.
constexpr int kMatchFound = 0;
constexpr int kMatchNone = 1;   // not found, or cancelled (the caller's flag tells)
// Results of MatchAt.
constexpr int kMatchAtMatched = 1;
constexpr int kMatchAtFailed = -1;  // no match here, or cancelled
constexpr int kMatchAtNoMemory = 0;

// Scans for the first match. Forwards, start positions from, from + 1, ...
// up to stopAt; backwards, from, from - 1, ... down to stopAt. rangeEnd is
// clamped to the length, from and stopAt to rangeEnd. With
// rejectEmptyAtStart, an empty match at the first position tried is refused
// (the matcher backtracks for a longer one). Returns 0 found (groups and the
// start position filled in), 1 not found or cancelled, -1 out of memory.
// groups and matchPosition may be null.
[[nodiscard]] int FindMatch(CompiledPattern *cp, const TextStore *store, u32 from, u32 stopAt, u32 rangeEnd,
                            bool backward, bool rejectEmptyAtStart, MatchGroups *groups, u32 *matchPosition);

// For a literal-only pattern (the literal between assertions, no other
// group), forwards: the matches FindMatch finds one after another when each
// search starts where the match before ended, at most max of them from
// `from` on, inside [0, rangeEnd), as spans. How many (0: none, or the
// pattern is not literal-only), or -1 out of memory.
[[nodiscard]] int FindLiteralOccurrences(CompiledPattern *cp, const TextStore *store, u32 from, u32 rangeEnd,
                                         MatchSpan *spans, u32 max);
// The same for the occurrences that start before stopAt, the text read to
// its end for what they assert about the bytes after them.
[[nodiscard]] int FindLiteralOccurrencesBefore(CompiledPattern *cp, const TextStore *store, u32 from, u32 stopAt,
                                               MatchSpan *spans, u32 max);
// A pattern that shares cp's compiled program with a scan state of its own,
// for a scan on another thread (cp must outlive it and stay unchanged);
// freed with FreePatternTwin. Null when out of memory.
CompiledPattern *PatternTwin(const CompiledPattern *cp);
void FreePatternTwin(CompiledPattern *twin);

// The same over a document's text.
[[nodiscard]] inline int FindMatch(CompiledPattern *cp, const Document *doc, u32 from, u32 stopAt, u32 rangeEnd,
                                   bool backward, bool rejectEmptyAtStart, MatchGroups *groups, u32 *matchPosition) {
  return FindMatch(cp, &doc->store, from, stopAt, rangeEnd, backward, rejectEmptyAtStart, groups, matchPosition);
}

// Options of MatchAt.
constexpr u32 kMatchRejectEmpty = 1;  // refuse a match that is empty at `position`

// Tries the pattern at one position. left: characters from position to the
// end of the range (the match ends at position + left at the latest);
// [first, last]: the context the matcher may see. groups: cp->groupCount
// records (reset to kNoPosition by the caller); stack: a backtrack stack
// (InitMatchStack's, or any other; it grows as needed). Returns 1 matched
// (groups filled in), -1 no match or cancelled, 0 out of memory.
[[nodiscard]] int MatchAt(CompiledPattern *cp, const TextStore *store, u32 position, u32 left, u32 first, u32 last,
                          GroupRecord *groups, MatchStack *stack, u32 options);

[[nodiscard]] inline int MatchAt(CompiledPattern *cp, const Document *doc, u32 position, u32 left, u32 first, u32 last,
                                 GroupRecord *groups, MatchStack *stack, u32 options) {
  return MatchAt(cp, &doc->store, position, left, first, last, groups, stack, options);
}

// Makes and releases a stack of kInitialFrames frames (0 / -1).
[[nodiscard]] int InitMatchStack(MatchStack *stack);
void FreeMatchStack(MatchStack *stack);
// Resets every record to "not set".
void ResetGroupRecords(GroupRecord *groups, u32 count);

// Sets the cancel flag once more than the time limit has passed since the
// search started (when a limit is set and the flag is still clear).
void CheckSearchTime(CompiledPattern *cp);
// Starts the clock of a search: records the start time and the limit (0: none).
void StartSearchClock(CompiledPattern *cp, u32 timeLimitMs);
// The flag the scan polls: the caller's, or the pattern's own when none is set.
inline volatile i32 *CancelFlag(CompiledPattern *cp) { return cp->scan.cancel ? cp->scan.cancel : &cp->scan.ownCancel; }
