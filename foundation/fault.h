// Fault injection for tests: makes the N-th call of one kind of operating
// system request fail, once or from N on.
//
// The program installs no injector; every check is then a single load of a
// null pointer. A test creates its own FaultInjector, installs it for its
// duration (ScopedFaultInjector) and reads back how many calls of each kind
// were made, so that a fault loop can run N = 1, 2, ... until no fault fires.
// The counters are updated atomically: worker threads may share an injector.
#pragma once

#include "foundation/types.h"

enum FaultKind : int {
  kFaultAlloc,    // heap allocation and reallocation
  kFaultMap,      // paging-file mapping and its views
  kFaultOpen,     // opening or creating a file
  kFaultRead,     // reading from a file
  kFaultWrite,    // writing to a file
  kFaultFlush,    // flushing a file
  kFaultRename,   // renaming, replacing or deleting a file
  kFaultThread,   // creating a thread
  kFaultKindCount
};

struct FaultInjector {
  // 0 disables the kind; otherwise the 1-based number of the call that fails.
  u32 failAt[kFaultKindCount];
  // Nonzero: every call from failAt on fails, not only that one.
  u8 persistent[kFaultKindCount];
  // Calls seen and faults fired so far, per kind.
  u32 calls[kFaultKindCount];
  u32 fired[kFaultKindCount];
};

// Clears the plan and the counters.
void FaultReset(FaultInjector *fi);
// Plans the failure of call n (1-based) of one kind.
void FaultPlan(FaultInjector *fi, FaultKind kind, u32 n, bool persistent);

// The injector currently installed (process-wide), or null.
FaultInjector *FaultCurrent();
// Installs fi (or null) and returns the one it replaces.
FaultInjector *FaultInstall(FaultInjector *fi);

// Counts one call of this kind; true when it must fail. Called by the
// platform backends at every operation that can fail.
bool FaultFires(FaultKind kind);

// Installs an injector for the lifetime of a scope.
class ScopedFaultInjector {
 public:
  explicit ScopedFaultInjector(FaultInjector *fi) : previous_(FaultInstall(fi)) {}
  ~ScopedFaultInjector() { FaultInstall(previous_); }
  ScopedFaultInjector(const ScopedFaultInjector &) = delete;
  ScopedFaultInjector &operator=(const ScopedFaultInjector &) = delete;

 private:
  FaultInjector *previous_;
};
