// Complete Word's dictionary: the words of the whole text that begin with the
// partial word before the caret, gathered by a tool function that the runner
// runs over the whole document (read only, on the worker).
//
// A word is a run of word characters: bytes of the word table, and on a
// double-byte code page a lead byte with the byte after it (unless that is a
// CR or an LF or the text ends), as the word motions count them.
//
// The candidates:
// - every distinct word (byte for byte) that begins with the prefix (with
//   ignoreCase: ignoring case) and is longer than it, so that it has a
//   remainder to insert;
// - never the occurrence the prefix itself starts (the caret's own word);
// - nearest first: ordered by the distance of their nearest occurrence from
//   the prefix's start, the earlier occurrence first on a tie; with `sorted`,
//   in byte order instead (ignoring case first with ignoreCase).
#pragma once

#include "tools/tool_runner.h"

// The start of the partial word that ends `length` bytes into `line` (the
// caret's line from its start up to the caret): the start of the run of
// word characters that reaches the end; `length` when the byte before the
// end is no word character.
u32 PartialWordStart(const char *line, u32 length);

struct CompleteWordRequest {
  // In. The prefix is the caller's and lives through the run.
  const char *prefix;
  u32 prefixLength;
  u32 ownStart;    // where the prefix starts in the text: that word is not offered
  int ignoreCase;  // CWICase
  int sorted;      // CWSort
  // Out: the candidates in their order, each followed by a zero byte (the
  // request's own buffer: FreeCompleteWordRequest).
  ToolDocument words;
  u32 count;
};

// The tool function (a text-building kind; `out` stays empty): fills the
// request named by `param`. 0 (also when cancelled: the runner sees the
// flag), or -1 when memory ran out (the request then holds no candidates).
int CollectCompletions(const char *text, u32 length, ToolDocument *out, ToolParam param);

// The candidate at `index` (a zero-terminated word), or null past the end.
const char *CompletionAt(const CompleteWordRequest &request, u32 index);

// Longest auto-completion (CWLong): how many bytes past the prefix every
// candidate continues with the same bytes (compared as written, so "Foo" and
// "FOO" part at once even when ignoring case), cut back to whole characters.
// With one candidate that is its whole remainder; with none, 0.
u32 CommonContinuation(const CompleteWordRequest &request);

void FreeCompleteWordRequest(CompleteWordRequest *request);
