// The command line of an external filter, made from its template.
//
// The template is copied character by character with these forms replaced:
// %1 .. %9 the launch parameters as they are, %F the document's path in
// double quotes ("" when the document has none), %S the selected text as it
// is; %~ before one of those letters puts the value in double quotes with
// each quote inside doubled, %\ in double quotes with each quote and
// backslash inside escaped by a backslash; %% is one %, and a % before
// anything else stays as it is.
#pragma once

#include "foundation/types.h"

constexpr u32 kFilterCommandChars = 8189;   // the longest command line
constexpr u32 kFilterSelectionBytes = 8192;  // the most of the selection %S takes
constexpr int kFilterParams = 9;
constexpr u32 kFilterParamChars = 1023;

struct FilterCommandInput {
  const char *templ;
  const char *params[kFilterParams];  // null: empty
  const char *path;                   // null or empty: the document has no file
  const char *selection;              // may hold NULs
  u32 selectionLength;
};

// What a template asks for: bit n - 1 of `params` for %n, and whether %S and
// %F occur (in any of their forms).
struct FilterCommandUse {
  u32 params;
  bool selection;
  bool file;
};

enum FilterCommandResult : int {
  kFilterCommandOk = 0,
  kFilterCommandTooLong = 1,  // over kFilterCommandChars characters
  kFilterCommandHasNul = 2,   // a value put a NUL into the line, which would end it there
};

// Expands the template into out (kFilterCommandChars + 1 bytes, always
// terminated); `use` (may be null) is filled whatever the result.
int ExpandFilterCommand(const FilterCommandInput &in, char *out, FilterCommandUse *use);

// How many of the first bytes of the text %S takes: at most
// kFilterSelectionBytes, and never half of a double-byte character of the
// ANSI code page.
u32 FilterSelectionBytes(const char *text, u32 length);
