// Columns, Numbers: every selected line rewritten through an output mask of
// text and variables (the whole line, nine columns cut from it, their
// lengths, a counter, a random number, the newline), with alignment.
#pragma once

#include "config/settings.h"
#include "tools/tool_runner.h"

constexpr int kColumnDefs = 9;

// What a run takes: the dialog's values (or the stored ones).
struct ColumnsRequest {
  char mask[1024];     // CtMask
  i32 nonEmptyOnly;    // CtEmpt: blank lines copied unchanged and not counted
  i32 counterFrom;     // CtFrom
  i32 counterStep;     // CtStep
  i32 randomMin;       // CtRMin
  i32 randomMax;       // CtRMax
  ColumnDef columns[kColumnDefs];  // Ct0-Ct8: %1-%9
};

// The stored values (g_settings.tools).
void ColumnsRequestFromSettings(ColumnsRequest *request);

// The tool function (a build-from-document tool); param: a ColumnsRequest.
// Every line of `in` becomes the mask's output followed by the line's own
// newline, in order. 0, or -1 when the output cannot be had (also past what
// a document holds); a cancel stops it with 0 (the runner sees the flag).
int ColumnsNumbersTool(const ToolDocument *in, ToolDocument *out, ToolParam param);
