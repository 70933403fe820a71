// RunLong: the bracket around a long operation, on the GUI thread.
#include "document/long_operation.h"

#include "document/batch_edit.h"
#include "document/undo.h"

namespace {

// Operations under way on the GUI thread (one worker at most: deeper ones
// run inline), and the outermost, whose cancel counter the inner ones obey.
int g_depth;
LongOperation *g_outer;

u32 Worker(void *p) {
  LongOperation *op = static_cast<LongOperation *>(p);
  ThreadRecordAdopt(op->random);
  op->result = op->work(op);
  return 0;
}

}  // namespace

void CancelOperation(LongOperation *op) {
  op->cancel.fetch_add(1);
  if (op->scanCancel) *op->scanCancel = 1;
}

bool LongOperationCancelled(LongOperation *op) {
  if (op->cancel.load(std::memory_order_relaxed)) return true;
  // A scan that stopped itself (its time limit) cancels the operation.
  if (op->scanCancel && *op->scanCancel) {
    op->cancel.store(1, std::memory_order_relaxed);
    return true;
  }
  if (g_outer && g_outer != op && LongOperationCancelled(g_outer)) {
    op->cancel.store(1, std::memory_order_relaxed);
    if (op->scanCancel) *op->scanCancel = 1;
    return true;
  }
  // Elapsed time as a difference of 32-bit ticks: right across the wrap.
  if (op->limitMs && PlatTickCount() - op->startTick > op->limitMs) {
    op->cancel.store(1, std::memory_order_relaxed);
    if (op->scanCancel) *op->scanCancel = 1;
    return true;
  }
  return false;
}

bool LongOperationRunning() { return g_depth > 0; }

void CancelLongOperation() {
  if (g_outer) CancelOperation(g_outer);
}

int RunLong(Document *doc, LongOperation *op, u32 flags, const LongOperationHooks &hooks) {
  const bool changes = (flags & kRunChanges) != 0;
  const u32 set = (flags & kRunHighlight5) ? 5 : (flags & kRunHighlight6) ? 6 : 0;
  // 1. One undo group around what the operation changes; a highlight set
  // refilled from scratch.
  if (changes) BeginGroup(doc, 1, 0);
  if (set && hooks.clearHighlight) hooks.clearHighlight(hooks.context, set);
  // 2. Where the view was.
  u32 caret = doc->caret.position;
  i32 topOffset = 0;
  if (hooks.saveView) hooks.saveView(hooks.context, &caret, &topOffset);
  // 3. The run: inline when asked or inside another operation, else on the
  // worker while the window waits.
  // A highlighting search without a thread may not hold the window longer
  // than a quarter of a second.
  if (set && (flags & kRunInline) && op->limitMs == 0) op->limitMs = kInlineHighlightLimitMs;
  op->startTick = PlatTickCount();
  op->random = ThreadRecordCurrent();
  op->result = 0;
  if (g_depth++ == 0) g_outer = op;
  if ((flags & kRunInline) || g_depth > 1 || !hooks.wait) {
    op->result = op->work(op);
  } else {
    PlatThread thread = PlatThreadStart(Worker, op);
    if (!thread) {
      if (--g_depth == 0) g_outer = nullptr;
      if (changes) BeginGroup(doc, 0, 0);
      return -1;
    }
    hooks.wait(hooks.context, thread, op);
    PlatThreadJoin(thread);
  }
  if (--g_depth == 0) {
    g_outer = nullptr;
    ReleaseBatchScratch();
  }
  // 4. The view as it was, unless cancelled.
  if (changes && !(flags & kRunKeepView) && !op->cancel.load() && hooks.restoreView) {
    hooks.restoreView(hooks.context, caret, topOffset);
  }
  // 5. The matches found.
  if (set && hooks.repaintHighlight) hooks.repaintHighlight(hooks.context, set);
  // 6. The group ends.
  if (changes) BeginGroup(doc, 0, 0);
  return op->result;
}
