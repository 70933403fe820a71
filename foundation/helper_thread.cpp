#include "foundation/helper_thread.h"

#include "foundation/platform.h"

namespace {

struct Helper {
  PlatThread thread;
  PlatEvent wake, done;
  u32 (*fn)(void *);
  void *arg;
  u32 process;  // that made it: a forked copy of the process has no helper
};
Helper g_helper;
// Taken by the one caller the helper works for.
int g_busy;

u32 HelperLoop(void *) {
  for (;;) {
    PlatEventWait(g_helper.wake);
    g_helper.fn(g_helper.arg);
    PlatEventSet(g_helper.done);
  }
}

// The helper, made on first use (under g_busy). False when it cannot be had
// (it is tried again next time).
bool HelperReady() {
  if (g_helper.thread && g_helper.process != PlatCurrentProcessId()) g_helper = Helper{};
  if (g_helper.thread) return true;
  g_helper.process = PlatCurrentProcessId();
  if (!g_helper.wake) g_helper.wake = PlatEventCreate();
  if (!g_helper.done) g_helper.done = PlatEventCreate();
  if (g_helper.wake && g_helper.done) g_helper.thread = PlatThreadStart(HelperLoop, nullptr);
  return g_helper.thread != nullptr;
}

}  // namespace

void RunBeside(u32 (*fn)(void *), void *first, void *second) {
  if (!second) {
    fn(first);
    return;
  }
  if (__atomic_exchange_n(&g_busy, 1, __ATOMIC_ACQUIRE) == 0) {
    if (HelperReady()) {
      g_helper.fn = fn;
      g_helper.arg = second;
      PlatEventSet(g_helper.wake);
      fn(first);
      PlatEventWait(g_helper.done);
      __atomic_store_n(&g_busy, 0, __ATOMIC_RELEASE);
      return;
    }
    __atomic_store_n(&g_busy, 0, __ATOMIC_RELEASE);
  }
  PlatThread thread = PlatThreadStart(fn, second);
  fn(first);
  if (thread) {
    PlatThreadJoin(thread);
  } else {
    fn(second);
  }
}
