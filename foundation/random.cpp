#include "foundation/random.h"

#include "foundation/memory.h"
#include "foundation/platform.h"

static u32 g_slot = kPlatTlsNone;
static ThreadRecord g_mainRecord;

// Used by a thread that was never given a record.
static thread_local ThreadRecord t_fallback;
static thread_local bool t_fallbackSeeded;

void RandomSeed(ThreadRecord *r) {
  u64 ft = PlatSystemTimeAsFileTime();
  r->s[0] = static_cast<u32>(ft / 10000);
  r->s[1] = PlatCurrentThreadId();
  r->s[2] = PlatCurrentProcessId();
  r->s[3] = static_cast<u32>(ft);
  r->s[4] = static_cast<u32>(ft >> 32);
  for (int i = 0; i < 8; i++) RandomStep(r);
}

u64 RandomStep(ThreadRecord *r) {
  u32 t = r->s[0];
  u32 old4 = r->s[4];
  r->s[0] = r->s[1];
  r->s[1] = r->s[2];
  r->s[2] = r->s[3];
  r->s[3] = old4;
  u32 u = t ^ (t >> 7);
  r->s[4] = u ^ (u << 13) ^ old4 ^ (old4 << 6);
  return static_cast<u64>(2u * r->s[1] + 1u) * r->s[4];
}

int ThreadSlotInit() {
  if (g_slot == kPlatTlsNone) {
    g_slot = PlatTlsAlloc();
    if (g_slot == kPlatTlsNone) return -1;
  }
  RandomSeed(&g_mainRecord);
  PlatTlsSet(g_slot, &g_mainRecord);
  return 0;
}

void ThreadSlotRelease() {
  if (g_slot == kPlatTlsNone) return;
  PlatTlsFree(g_slot);
  g_slot = kPlatTlsNone;
}

ThreadRecord *ThreadRecordCurrent() {
  if (g_slot != kPlatTlsNone) {
    if (void *r = PlatTlsGet(g_slot)) return static_cast<ThreadRecord *>(r);
  }
  if (!t_fallbackSeeded) {
    RandomSeed(&t_fallback);
    t_fallbackSeeded = true;
  }
  return &t_fallback;
}

void ThreadRecordAdopt(ThreadRecord *r) {
  if (g_slot != kPlatTlsNone) PlatTlsSet(g_slot, r);
}

ThreadRecord *ThreadRecordCreateOwn(const u32 words[5]) {
  ThreadRecord *r = static_cast<ThreadRecord *>(Allocate(sizeof(ThreadRecord)));
  if (!r) return nullptr;
  RandomSeed(r);
  for (int i = 0; i < 5; i++) r->s[i] = words[i];
  if (g_slot != kPlatTlsNone) PlatTlsSet(g_slot, r);
  return r;
}

void ThreadRecordReleaseOwn(ThreadRecord *r) {
  if (g_slot != kPlatTlsNone && PlatTlsGet(g_slot) == r) PlatTlsSet(g_slot, nullptr);
  Free(r);
}

u64 Random() { return RandomStep(ThreadRecordCurrent()); }

char RandomLetter() { return static_cast<char>('a' + static_cast<u32>(Random()) % 26); }
