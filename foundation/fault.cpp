#include "foundation/fault.h"

#include "foundation/bytes.h"

static FaultInjector *g_injector;

void FaultReset(FaultInjector *fi) { MemZero(fi, sizeof *fi); }

void FaultPlan(FaultInjector *fi, FaultKind kind, u32 n, bool persistent) {
  fi->failAt[kind] = n;
  fi->persistent[kind] = persistent ? 1 : 0;
}

FaultInjector *FaultCurrent() { return __atomic_load_n(&g_injector, __ATOMIC_ACQUIRE); }

FaultInjector *FaultInstall(FaultInjector *fi) {
  return __atomic_exchange_n(&g_injector, fi, __ATOMIC_ACQ_REL);
}

bool FaultFires(FaultKind kind) {
  FaultInjector *fi = FaultCurrent();
  if (!fi) return false;
  u32 n = __atomic_add_fetch(&fi->calls[kind], 1u, __ATOMIC_RELAXED);
  u32 at = fi->failAt[kind];
  if (at == 0) return false;
  bool fires = fi->persistent[kind] ? n >= at : n == at;
  if (fires) __atomic_add_fetch(&fi->fired[kind], 1u, __ATOMIC_RELAXED);
  return fires;
}
