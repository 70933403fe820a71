// Column extraction: the part of a line that a column definition selects,
// shared by the sort keys and Columns, Numbers.
//
// A definition picks the entire line, nothing, or the columns from..to
// (split by delimiter characters or by one delimiter phrase, a run of
// delimiters optionally counting as one, counted from the left or from the
// right); then, optionally, the characters from..to of that field (counted
// from its start or from its end). Numbers are 1-based as the user counts
// them; a number below 1 selects nothing. The result is always inside the
// line: nothing is read past its length.
#pragma once

#include "config/settings.h"
#include "foundation/types.h"

// ColumnDef.CC: which choice of the column page is on.
enum ColumnChoice : i32 {
  kColumnEntireLine = 0,
  kColumnColumns = 1,
  kColumnNothing = 2,  // an empty field
};

// A definition prepared for a run: its delimiter table built, and (for sort
// keys) a from greater than its to swapped.
struct PreparedColumn {
  ColumnDef def;
  u8 delimiter[256];   // the delimiter characters (character mode)
  u32 phraseLength;    // the delimiters text's length (phrase mode; 0: no delimiters)
};

// Prepares a definition; with swapReversed, columns and positions given as
// from > to are taken as to..from.
void PrepareColumn(const ColumnDef &def, bool swapReversed, PreparedColumn *prep);

// The field of the line [line, line + length) the definition selects: its
// start and length, within the line.
void ExtractColumn(const char *line, u32 length, const PreparedColumn &prep, u32 *start, u32 *count);

// Several definitions cut from the same lines: the ones that count the same
// columns from the left (the same delimiters, phrase and collapse choices,
// from..to within the first kSharedColumns) share one walk of each line.
constexpr u32 kSharedColumns = 32;

struct ColumnSet {
  const PreparedColumn *prep[9];
  u32 count;
  i8 leader[9];  // the definition whose walk this one shares (itself: it walks); -1: walked alone
  u32 limit[9];  // a walking definition's columns to record
};

// The set of `count` (at most 9) prepared definitions, which must outlive it.
void PrepareColumnSet(const PreparedColumn *const *preps, u32 count, ColumnSet *set);

// The fields of every definition of the set, each as ExtractColumn gives it.
void ExtractColumns(const char *line, u32 length, const ColumnSet &set, u32 *start, u32 *count);
