#include <gtest/gtest.h>

#include <thread>

#include "foundation/fault.h"
#include "foundation/random.h"

namespace {

const u64 kFromOneToFive[] = {0xe8dcull, 0x49b276ull, 0x162ed377ull, 0x22117b93b709ull, 0x47dfecb7c5bf4ull,
                              0x3371d078c694f56ull};

TEST(Random, StepFromAFixedStateGivesTheKnownSequence) {
  ThreadRecord r = {{1, 2, 3, 4, 5}};
  for (u64 expected : kFromOneToFive) EXPECT_EQ(RandomStep(&r), expected);
  const u32 state[5] = {0x83046, 0x20441c5, 0x8314b081, 0x463830c4, 0xcc14e0c2};
  for (int i = 0; i < 5; i++) EXPECT_EQ(r.s[i], state[i]) << i;
}

TEST(Random, SeedingDiffersBetweenThreadsAndDiscardsEightSteps) {
  ThreadRecord a, b;
  RandomSeed(&a);
  std::thread([&] { RandomSeed(&b); }).join();
  bool same = true;
  for (int i = 0; i < 5; i++) same = same && a.s[i] == b.s[i];
  EXPECT_FALSE(same);
  // After eight discarded steps none of the raw seed words is left in place.
  EXPECT_NE(a.s[1], 0u);
}

TEST(Random, WorkerThatAdoptsTheRecordContinuesTheSameSequence) {
  ThreadRecord *main = ThreadRecordCurrent();
  ThreadRecord copy = *main;
  u64 fromWorker[3];
  std::thread([&] {
    ThreadRecordAdopt(main);
    for (u64 &v : fromWorker) v = Random();
  }).join();
  for (u64 v : fromWorker) EXPECT_EQ(v, RandomStep(&copy));
  // The main thread goes on where the worker stopped.
  EXPECT_EQ(Random(), RandomStep(&copy));
}

TEST(Random, PipeThreadRecordTakesTheStartersWords) {
  const u32 words[5] = {1, 2, 3, 4, 5};
  u64 got[3] = {};
  bool made = false;
  std::thread([&] {
    ThreadRecord *own = ThreadRecordCreateOwn(words);
    made = own != nullptr;
    if (!own) return;
    for (u64 &v : got) v = Random();
    ThreadRecordReleaseOwn(own);
  }).join();
  ASSERT_TRUE(made);
  for (int i = 0; i < 3; i++) EXPECT_EQ(got[i], kFromOneToFive[i]);
}

TEST(Random, PipeThreadRecordFailsCleanlyWithoutMemory) {
  FaultInjector fi;
  FaultReset(&fi);
  FaultPlan(&fi, kFaultAlloc, 1, true);
  const u32 words[5] = {1, 2, 3, 4, 5};
  std::thread([&] {
    ScopedFaultInjector scope(&fi);
    EXPECT_EQ(ThreadRecordCreateOwn(words), nullptr);
    Random();  // the thread still has its own fallback generator
  }).join();
}

TEST(Random, LettersCoverTheAlphabetOnly) {
  bool seen[26] = {};
  for (int i = 0; i < 2000; i++) {
    char c = RandomLetter();
    ASSERT_GE(c, 'a');
    ASSERT_LE(c, 'z');
    seen[c - 'a'] = true;
  }
  for (bool s : seen) EXPECT_TRUE(s);
}

}  // namespace
