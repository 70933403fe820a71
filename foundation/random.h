// Per-thread random numbers.
//
// Each thread reaches its five-word generator state through one thread-local
// slot taken at start-up. The main thread's record is static; a worker adopts
// the record of the thread that started it (the sequence simply continues);
// the pipe threads of external filters get a record of their own, seeded and
// then overwritten with five words from the starter, freed when they end.
// A thread without a record (the slot not set up, or never assigned) falls
// back to a record of its own, seeded at its first use.
#pragma once

#include "foundation/types.h"

struct ThreadRecord {
  u32 s[5];
};

// Takes the thread-local slot and gives the calling (main) thread its static,
// freshly seeded record. Returns 0, or -1 when no slot is left.
[[nodiscard]] int ThreadSlotInit();
void ThreadSlotRelease();

// Seeds from the clock, the thread id and the process id, then discards
// eight steps.
void RandomSeed(ThreadRecord *r);
// One step of the generator: the 64-bit product of (2 x s1 + 1) and the new s4.
u64 RandomStep(ThreadRecord *r);

// The calling thread's record.
ThreadRecord *ThreadRecordCurrent();
// A worker thread continues the sequence of the record it is given.
void ThreadRecordAdopt(ThreadRecord *r);
// A record of the calling thread's own: allocated, seeded, then overwritten
// with `words`. Null when out of memory (the thread keeps the fallback).
[[nodiscard]] ThreadRecord *ThreadRecordCreateOwn(const u32 words[5]);
// Frees a record made by ThreadRecordCreateOwn and detaches it from the thread.
void ThreadRecordReleaseOwn(ThreadRecord *r);

// The next value of the calling thread's generator; callers use the low
// 32 bits (modulo a range, or the lowest bit).
u64 Random();
// A lower-case letter "a" to "z".
char RandomLetter();
