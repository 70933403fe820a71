// Sort and Shuffle: document tools that build a new text from the lines of
// their input, reordered.
//
// The lines are referenced by an array (start and length in the input, with
// a cached key prefix), sorted by a stable bottom-up merge sort, or shuffled,
// and then written out in the new order, joined by one newline sequence with
// none after the last line. The input is never changed; out of memory (-1)
// or a cancel (0, the runner sees the flag) leaves the output empty.
#pragma once

#include "config/settings.h"
#include "tools/columns.h"
#include "tools/tool_runner.h"

constexpr int kSortKeys = 5;

// How numbers are written in the user's locale. Empty strings never match.
struct NumberLocale {
  char decimal[8];    // LcDS
  char thousands[8];  // LcTS
  char negative[8];   // LcNS
  char positive[8];   // LcPS
  int signAfter;      // the sign follows the number (LcNM 3 and 4)
};

// The locale from the settings block.
NumberLocale CurrentNumberLocale();

// What a sort or shuffle run takes: the keys, the locale, and the newline
// sequence written between lines (length 0: the document's).
// The milliseconds of a sort's phases, for measurements.
struct SortPhaseTimes {
  u32 collect, sort, write;
};

struct SortRequest {
  SortKey keys[kSortKeys];
  NumberLocale locale;
  char newline[2];
  u32 newlineLength;  // 0 (the document's), 1 or 2
  SortPhaseTimes *times;  // null, or filled by a sort
};

// One key prepared for a run.
struct PreparedKey {
  u8 ignore[256];  // characters skipped on both sides
  bool anyIgnored;
  bool descending;
  bool numbers;
  bool ignoreCase;
  bool whole;  // neither columns nor positions: the key is the whole line
  PreparedColumn column;
};

// The keys in use, prepared, with the locale.
struct PreparedKeys {
  PreparedKey key[kSortKeys];
  int count;
  NumberLocale locale;
  const u8 *lower;  // the case-folding table
};

// Builds the ignore tables (in this order: all set for "ignore all but" and
// "all but alpha-numerics"; the characters to keep and the alpha-numeric
// types cleared; space types set for "whitespaces" and always for numbers;
// punctuation, blank and control types by their flags; the characters to
// ignore set), the delimiter tables, and swaps reversed ranges.
void PrepareSortKeys(const SortKey *keys, int count, const NumberLocale &locale, PreparedKeys *out);

// Compares two lines (texts without newlines) by the keys in order: <0, 0,
// >0; a descending key's result negated.
int CompareLines(const char *a, u32 aLength, const char *b, u32 bLength, const PreparedKeys &keys);

// Compares two texts read as numbers in the locale (with the key's ignore
// table and case folding).
int CompareNumbers(const char *a, u32 aLength, const char *b, u32 bLength, const PreparedKey &key,
                   const PreparedKeys &keys);

// A line of the input: its text (without newline).
struct LineSpan {
  u32 start;
  u32 length;
};

// The line writer: the lines in the given order, each `stride` bytes after
// the previous one in memory (a LineSpan at the start of each record),
// separated by the newline sequence, none after the last, appended to the
// empty `out`. 0, or -1 (out of memory or too large; out stays empty).
[[nodiscard]] int WriteLines(const char *text, const void *lines, size_t stride, u32 count, const char *newline,
                             u32 newlineLength, ToolDocument *out);

// The tool functions; param: a SortRequest.
int SortLinesTool(const ToolDocument *in, ToolDocument *out, ToolParam param);
int ShuffleLinesTool(const ToolDocument *in, ToolDocument *out, ToolParam param);

// The quick sorts' request: only the first key, as text, in the direction
// given, ignore case from TSortIC at this moment; the locale from the
// settings; the document's newlines.
void QuickSortRequest(bool descending, SortRequest *request);

// Unique and Find Duplicates: lines equal to an earlier line (as text, or
// ignoring case) are duplicates, found with the stable sort. Job 0 deletes
// the duplicates, 1 keeps only lines that have none, 2 keeps only the first
// of lines that have some; with `count` (jobs 0 and 2) a kept line begins
// with "(n) ", n its occurrences; with `leaveEmpty` blank lines stay as they
// are. A deleted last line takes the newline before it along.
struct DuplicatesSettings {
  int job;         // UniJob
  int ignoreCase;  // UniIC
  int leaveEmpty;  // UniEmpt
  int count;       // UniDup
};
int FindDuplicates(ToolDocument *doc, ToolParam param);
// Sort..'s request: the five keys the Sort dialog stored (the Sr keys), the
// locale from the settings, the document's newlines.
void StoredSortRequest(SortRequest *request);
