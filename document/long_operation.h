// Long operations: a search, a replace-all or a tool runs on one worker
// thread while the GUI thread waits in a message pump that keeps the window
// alive and, after a second, shows a wait window with a Cancel button.
//
// The worker never changes the Document: it reads it and hands every change
// to the GUI thread (a search by messages to the editor, a tool by its
// result). RunLong brackets the run: an undo group around a changing
// operation (ended on every path), the caret and the first row restored
// unless cancelled, the highlight set of a highlighting search emptied first
// and repainted after. Exactly one worker runs at a time: an operation
// started inside another (Last Tool for each occurrence, say) runs inline,
// under the outer operation's cancel counter.
#pragma once

#include <atomic>

#include "document/document.h"
#include "foundation/platform.h"
#include "foundation/random.h"

struct LongOperation {
  // The job, run on the worker (or inline); its value becomes `result`.
  int (*work)(LongOperation *op);
  void *context;
  // Milliseconds after which the operation cancels itself (0: never): set
  // by searches; highlight searches run inline with 256.
  u32 limitMs;
  // 0 while the operation may go on; the wait window's Cancel adds 1, the
  // time limit sets it. Atomic, so that the worker's loop reads it anew.
  std::atomic<u32> cancel;
  // Progress the worker reports (0: none yet) out of `total` (0: no
  // progress is shown).
  std::atomic<u32> progress;
  // A flag that a pattern match polls on its own (may be null): set along
  // with the counter, so that Cancel also ends a long scan.
  volatile i32 *scanCancel;
  u32 total;
  // The wait window's first line (null: "Please wait..") and the status
  // text shown while the operation runs (null: none).
  const char *waitText;
  const char *waitDetail[2];  // the window's second and third lines (null: empty)
  const char *statusText;
  // The wait window shows at once, not after a second.
  bool waitAtOnce;
  // Kept by RunLong.
  u32 startTick;
  ThreadRecord *random;  // the starting thread's record, which the worker adopts
  int result;
};

// Whether the operation is to stop: cancelled, or past its time limit (which
// then cancels it). The worker asks between units of work.
bool LongOperationCancelled(LongOperation *op);

// The time limit of a highlighting search run without a thread.
constexpr u32 kInlineHighlightLimitMs = 256;

enum RunLongFlag : u32 {
  kRunChanges = 1,     // the operation changes the text: one undo group, the view restored after
  kRunInline = 2,      // no thread (FNoThrd, TNoThrd, or the caller's wish)
  kRunHighlight5 = 4,  // a highlighting search of the primary search: set 5
  kRunHighlight6 = 8,  // of the secondary search: set 6
  kRunKeepView = 16,   // with kRunChanges: the operation leaves the selection it means (a single
                       // replace selects the next occurrence), so the view is not put back
};

// What RunLong needs of the window.
struct LongOperationHooks {
  void *context;
  // Waits for the worker (the GUI thread's pump and wait window) and returns
  // when it has ended.
  void (*wait)(void *context, PlatThread thread, LongOperation *op);
  // The caret and the distance of the first visible row from the caret's row.
  void (*saveView)(void *context, u32 *caret, i32 *topOffset);
  void (*restoreView)(void *context, u32 caret, i32 topOffset);
  // Empties and repaints a highlight set before the run; repaints the rows it
  // covers after.
  void (*clearHighlight)(void *context, u32 set);
  void (*repaintHighlight)(void *context, u32 set);
};

// Runs the operation (flags: RunLongFlag). Returns its result, or -1 when the
// worker thread cannot be made (the group closed, nothing changed).
int RunLong(Document *doc, LongOperation *op, u32 flags, const LongOperationHooks &hooks);

// Whether a long operation is running (its worker, or inline).
bool LongOperationRunning();
// Cancels the running operation (as its Cancel button does); nothing when
// none runs.
void CancelLongOperation();
// Cancels one operation: its counter, and its scan's flag.
void CancelOperation(LongOperation *op);
