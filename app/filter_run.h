// Running an external filter: a child process started from the filter's
// command line, the selection pushed to its standard input by a writer
// thread, its standard output (and, apart, its standard error) taken by
// reader threads, all of it while the worker waits for the process with the
// cancel button at hand.
//
// RunFilter is the tool function (on the worker; it never asks anything):
// it starts the process, moves the bytes, waits and records what happened in
// the job. JudgeFilter (on the window's thread, before anything goes back)
// asks about untranslatable characters, shows the messages and decides: 0
// the output replaces the selection, 80 the document stays as it is, 48
// failed (its message shown).
#pragma once

#include <windows.h>

#include "config/settings.h"
#include "tools/filter_command.h"
#include "tools/tool_runner.h"

// The launch parameters %1 .. %9 of one filter, kept for the session only.
struct FilterParams {
  char text[kFilterParams][kFilterParamChars + 1];
};

enum FilterThreadKind : int { kFilterWriter, kFilterOutput, kFilterError, kFilterThreads };

struct FilterJob {
  // Set by the caller.
  FilterRecord record;
  FilterParams params;
  char path[kPathChars];  // the document's file ("" untitled)
  // The selection as %S takes it, for a filter that is pushed no input (with
  // input, the input itself is the selection).
  char selection[kFilterSelectionBytes];
  u32 selectionLength;
  HWND owner;         // of the questions and messages
  HWND launchDialog;  // shows the final command when set
  HWND notify;        // gets kFilterMemoryWarning while threads are missing (may be null)

  // Filled by the run.
  char command[kFilterCommandChars + 1];
  int failure;        // a text slot when the run failed before judging (0: none)
  bool started;       // the process was started
  bool waited;        // its end was waited for, so exitCode holds its code
  DWORD exitCode;
  bool threadRan[kFilterThreads];
  int threadResult[kFilterThreads];  // -1 out of memory, -2 failed, else characters lost
  bool threadMissing;  // a thread could not be made
  ToolDocument error;  // standard error, when taken apart from the output
};

// Posted to `notify` after every wait in which a thread was missing and the
// process still runs: the wait window comes up with the memory message.
constexpr UINT kFilterMemoryWarning = WM_APP + 0x40;

// The tool function: ToolParam is the FilterJob. 0 (judge it), or 32 when
// the run was cancelled (the process is then ended with code 1).
int RunFilter(const char *input, u32 length, ToolDocument *out, ToolParam job);
// The descriptor's afterRun: ToolParam is the FilterJob.
int JudgeFilter(ToolDocument *out, ToolParam job);
// Frees what the run kept in the job.
void ReleaseFilterJob(FilterJob *job);

// The flags of a filter's tool descriptor.
u32 FilterToolFlags(const FilterRecord &record);
