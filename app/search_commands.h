// The search commands of the main window: Find Next and Previous, Select
// to Next and Previous, Find Selected and Find Later for the primary search
// (25110-25160) and the secondary one (25310-25360), and RunSearch, which
// turns a search record and a request into a run of the search loop on the
// editor's worker and the messages about its outcome.
#pragma once

#include <windows.h>

#include "config/settings.h"

// The command's result (the frame's convention), or 64 for an id that is
// not one of these.
int CommandSearch(int id);

// Runs a request (search_run.h flags) with the primary (0) or secondary (1)
// record: compiles it, runs the loop, reports the outcome, wraps around.
// Returns the loop's result (occurrences handled, or a negative code), or
// kPatternCompileFailed when the pattern did not compile.
constexpr int kPatternCompileFailed = -100;
int RunSearch(int which, u32 request);

// Whether the last search ended at its time limit (a highlight while
// typing), so that it is worth trying again without one.
bool LastSearchCutOff();

// Takes the selection (or the word at the caret) as the pattern of a
// record, escaped: Find Selected and Find Later, and the search bar's
// suggestion. False when there is nothing to take.
bool TakeSelectionAsPattern(SearchBarSettings *record);
