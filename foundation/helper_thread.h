// A thread kept for work cut in two halves: the caller does one half while
// the helper does the other. A long operation cuts many of its steps in two
// (every batch of a replace all, every stretch of its search), and a thread
// started for each would cost more than half a millisecond a step where
// threads are dearest; the kept one is woken instead.
#pragma once

#include "foundation/types.h"

// Runs fn(first) on this thread and fn(second) beside it: on the kept
// helper, on a thread of its own while the helper is busy (another caller),
// or after fn(first) here when no thread can be had. Returns when both are
// done. With second null, fn(first) alone.
void RunBeside(u32 (*fn)(void *), void *first, void *second);
