// Grep, Filter by Pattern and Extended Replace: the two tools that run a
// search pattern over the private copy of the selection.
#pragma once

#include "tools/tool_runner.h"

struct GrepSettings {
  const char *find;   // at most 65,535 characters
  int remove;         // remove the matching lines (else keep them)
  int onlyParts;      // only the matched parts of lines
  int matchCase, wholeWords, wholeLines, escapes, regExps;
  int numbers;        // "n:" before every output line that begins a source line
  int keepEmpty;      // keep mode: the blank lines between blocks too
  int before, after;  // context lines (negative: 0; not with only parts)
  u32 base;           // the number of the first line
  char *message;      // 1,024 bytes: "Total matches: %d" is left here (may be null)
};
// The number Grep gives the first selected line: 1 at start-up, set by its
// dialog, not saved.
extern u32 g_grepLineBase;

// param: a GrepSettings. A pattern error is returned as its string id; a
// warning is asked about (No: 32).
int GrepTool(const ToolDocument *in, ToolDocument *out, ToolParam param);

struct ExtendedReplaceSettings {
  const char *find, *replace;  // at most 65,535 characters each
  int matchCase, wholeWords, regExps, mimic;
  char *message;  // 1,024 bytes for a message (an error in the replace pattern)
};
// param: an ExtendedReplaceSettings. Every occurrence replaced one after
// another, as the search's replace-all does; the undefined back-reference
// question is asked at most once (Cancel: 32).
int ExtendedReplaceTool(const ToolDocument *in, ToolDocument *out, ToolParam param);

// The dialog's "Escape \" and "UnEscape \": a backslash doubled, tab, LF and
// CR as \t \n \r; and back (any other escape stays as it stands). Writes at
// most cap - 1 characters and a terminator; returns the length the whole
// result needs (the caller refuses one that does not fit).
u32 EscapeText(const char *in, char *out, u32 cap);
u32 UnEscapeText(const char *in, char *out, u32 cap);
