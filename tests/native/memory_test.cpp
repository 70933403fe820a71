#include <gtest/gtest.h>

#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "foundation/bytes.h"
#include "foundation/fault.h"
#include "foundation/helper_thread.h"
#include "foundation/memory.h"
#include "foundation/platform.h"

namespace {

class MemoryTest : public testing::Test {
 protected:
  MemoryTest() : scope_(&fi_) {}
  void FailAlloc(u32 n, bool persistent) { FaultPlan(&fi_, kFaultAlloc, n, persistent); }
  void FailMap(u32 n, bool persistent) { FaultPlan(&fi_, kFaultMap, n, persistent); }
  FaultInjector fi_ = {};
  ScopedFaultInjector scope_;
};

TEST_F(MemoryTest, GrowArrayDoublesFromOneAndNeverShrinks) {
  struct {
    u32 needed, capacity;
  } steps[] = {{5, 8}, {8, 8}, {9, 16}, {3, 16}, {17, 32}, {0, 32}};
  GrowableArray a = {};
  for (auto s : steps) {
    ASSERT_TRUE(GrowArray(&a, sizeof(u32), s.needed));
    EXPECT_EQ(a.capacity, s.capacity) << "needed " << s.needed;
  }
  Free(a.entries);

  GrowableArray b = {};
  ASSERT_TRUE(GrowArray(&b, 12, 1));
  EXPECT_EQ(b.capacity, 1u);
  Free(b.entries);
}

TEST_F(MemoryTest, GrowArrayFailureLeavesPointerCapacityAndDataUntouched) {
  GrowableArray a = {};
  ASSERT_TRUE(GrowArray(&a, sizeof(u32), 4));
  u32 *e = static_cast<u32 *>(a.entries);
  for (u32 i = 0; i < 4; i++) e[i] = 100 + i;
  a.count = 4;
  void *before = a.entries;
  FailAlloc(fi_.calls[kFaultAlloc] + 1, false);
  EXPECT_FALSE(GrowArray(&a, sizeof(u32), 5));
  EXPECT_EQ(a.entries, before);
  EXPECT_EQ(a.capacity, 4u);
  for (u32 i = 0; i < 4; i++) EXPECT_EQ(static_cast<u32 *>(a.entries)[i], 100 + i);
  // The next attempt succeeds and keeps the data.
  ASSERT_TRUE(GrowArray(&a, sizeof(u32), 5));
  EXPECT_EQ(a.capacity, 8u);
  for (u32 i = 0; i < 4; i++) EXPECT_EQ(static_cast<u32 *>(a.entries)[i], 100 + i);
  Free(a.entries);
}

TEST_F(MemoryTest, GrowArrayRefusesSizesBeyondTheAddressSpace) {
  GrowableArray a = {};
  EXPECT_FALSE(GrowArray(&a, SIZE_MAX / 2, 3));
  EXPECT_EQ(a.entries, nullptr);
  EXPECT_EQ(a.capacity, 0u);
}

// Appending 1000 values with the N-th allocation failing once: every failure is
// seen by the caller, the data so far survives it, and retrying completes.
TEST_F(MemoryTest, AppendFaultLoop) {
  for (u32 n = 1;; n++) {
    FaultReset(&fi_);
    FailAlloc(n, false);
    GrowableArray a = {};
    u32 failures = 0;
    for (u32 v = 0; v < 1000;) {
      if (!GrowArray(&a, sizeof(u32), a.count + 1)) {
        failures++;
        for (u32 i = 0; i < a.count; i++) ASSERT_EQ(static_cast<u32 *>(a.entries)[i], i);
        continue;
      }
      static_cast<u32 *>(a.entries)[a.count++] = v++;
    }
    for (u32 i = 0; i < 1000; i++) ASSERT_EQ(static_cast<u32 *>(a.entries)[i], i);
    Free(a.entries);
    EXPECT_EQ(failures, fi_.fired[kFaultAlloc]);
    if (fi_.fired[kFaultAlloc] == 0) break;  // the loop has run past the last allocation
  }
}

TEST_F(MemoryTest, ReallocateKeepsTheOldBlockOnFailure) {
  char *p = static_cast<char *>(Allocate(16));
  ASSERT_NE(p, nullptr);
  StrCopy(p, "keep me");
  FailAlloc(fi_.calls[kFaultAlloc] + 1, false);
  EXPECT_EQ(Reallocate(p, 1 << 20), nullptr);
  EXPECT_STREQ(p, "keep me");
  char *q = static_cast<char *>(Reallocate(p, 1 << 20));
  ASSERT_NE(q, nullptr);
  EXPECT_STREQ(q, "keep me");
  Free(q);
  Free(nullptr);  // harmless

  void *fresh = Reallocate(nullptr, 10);  // a null block allocates
  EXPECT_NE(fresh, nullptr);
  Free(fresh);
}

TEST_F(MemoryTest, ReallocateOrFreeReleasesTheBlockOnFailure) {
  // The leak checker of the sanitizer build reports the block if it is kept.
  void *p = Allocate(32);
  ASSERT_NE(p, nullptr);
  FailAlloc(fi_.calls[kFaultAlloc] + 1, false);
  EXPECT_EQ(ReallocateOrFree(p, 64), nullptr);
}

struct ProgressLog {
  std::vector<std::pair<u64, u64>> calls;
  static void Report(void *context, u64 done, u64 total) {
    static_cast<ProgressLog *>(context)->calls.push_back({done, total});
  }
};

std::vector<u8> Pattern(size_t n) {
  std::vector<u8> v(n);
  for (size_t i = 0; i < n; i++) v[i] = static_cast<u8>(i * 7 + (i >> 13));
  return v;
}

TEST_F(MemoryTest, PagingFileCarriesTheDataWhenTheHeapCannotGrow) {
  const size_t used = 2 * kPagingViewBytes + 12345;  // three views
  std::vector<u8> expected = Pattern(used);
  u8 *block = static_cast<u8 *>(Allocate(used));
  ASSERT_NE(block, nullptr);
  MemCopy(block, expected.data(), used);

  FailAlloc(fi_.calls[kFaultAlloc] + 1, false);  // only the plain reallocation fails
  ProgressLog log;
  ProgressSink sink = {ProgressLog::Report, &log, nullptr};
  u8 *grown = static_cast<u8 *>(ReallocateThroughPagingFile(block, used, used + 4096, &sink));
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(MemCompare(grown, expected.data(), used), 0u);
  grown[used + 4095] = 1;  // the new size is usable

  const u64 v = kPagingViewBytes, total = 2ull * used;
  std::vector<std::pair<u64, u64>> want = {{v, total},        {2 * v, total},        {used, total},
                                           {used + v, total}, {used + 2 * v, total}, {total, total}};
  EXPECT_EQ(log.calls, want);
  Free(grown);
}

TEST_F(MemoryTest, PagingFileTakesThePlainPathWhenItWorks) {
  u8 *block = static_cast<u8 *>(Allocate(100));
  ASSERT_NE(block, nullptr);
  MemFill(block, 0xAB, 100);
  u8 *grown = static_cast<u8 *>(ReallocateThroughPagingFile(block, 100, 200, nullptr));
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(MemFindOther(grown, 0xAB, 100), 100u);
  EXPECT_EQ(fi_.calls[kFaultMap], 0u);
  Free(grown);
}

// Every way the paging path can fail returns null, with the old block freed
// and nothing leaked (the sanitizer build's leak checker watches).
TEST_F(MemoryTest, PagingFileFailuresFreeEverything) {
  const size_t used = kPagingViewBytes + 10;
  std::vector<u8> expected = Pattern(used);
  for (int failure = 0;; failure++) {
    FaultReset(&fi_);
    u8 *block = static_cast<u8 *>(Allocate(used));
    ASSERT_NE(block, nullptr);
    MemCopy(block, expected.data(), used);
    u32 allocs = fi_.calls[kFaultAlloc];
    // 0: no memory at all; then the plain reallocation fails and map call
    // `failure` does: the mapping, the first and second view out, the first
    // and second view back.
    FailAlloc(allocs + 1, failure == 0);
    if (failure > 0) FailMap(static_cast<u32>(failure), false);
    if (failure > 5) {
      Free(block);
      break;
    }
    EXPECT_EQ(ReallocateThroughPagingFile(block, used, used * 2, nullptr), nullptr) << failure;
  }
}

TEST_F(MemoryTest, PagingFileShrinkCarriesOnlyWhatFits) {
  u8 *block = static_cast<u8 *>(Allocate(1000));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 1000; i++) block[i] = static_cast<u8>(i);
  FailAlloc(fi_.calls[kFaultAlloc] + 1, false);
  u8 *small = static_cast<u8 *>(ReallocateThroughPagingFile(block, 1000, 10, nullptr));
  ASSERT_NE(small, nullptr);
  for (int i = 0; i < 10; i++) EXPECT_EQ(small[i], i);
  Free(small);
}



// Work cut in two: both halves run, whoever calls, and callers at once share
// the kept helper or take threads of their own.
TEST(HelperThread, RunsBothHalvesForCallersAtOnce) {
  struct Half {
    u32 runs = 0;
    u32 thread = 0;
  };
  struct Caller {
    Half halves[2];
    u32 sameThread = 0;  // calls whose second half ran on the caller's thread
  };
  static auto halfFn = [](void *p) -> u32 {
    Half *h = static_cast<Half *>(p);
    h->runs++;
    h->thread = PlatCurrentThreadId();
    return 0;
  };
  auto call = [](void *p) -> u32 {
    Caller *c = static_cast<Caller *>(p);
    for (int i = 0; i < 300; i++) {
      RunBeside(halfFn, &c->halves[0], i % 7 ? &c->halves[1] : nullptr);
      if (i % 7) c->sameThread += c->halves[1].thread == c->halves[0].thread;
    }
    return 0;
  };
  Caller callers[3];
  PlatThread threads[2];
  for (int k = 0; k < 2; k++) threads[k] = PlatThreadStart(call, &callers[k + 1]);
  call(&callers[0]);
  for (PlatThread t : threads) PlatThreadJoin(t);
  for (const Caller &c : callers) {
    EXPECT_EQ(c.halves[0].runs, 300u);
    EXPECT_EQ(c.halves[1].runs, 300u - 43u) << "every seventh call has no second half";
    EXPECT_EQ(c.sameThread, 0u) << "a second half runs beside the first, not after it";
  }
}

#ifndef _WIN32
// A forked copy of the process (a benchmark's child) has no helper thread: it
// makes its own instead of waiting for one that is not there.
TEST(HelperThread, AForkedProcessMakesItsOwn) {
  u32 runs[2] = {};
  auto halfFn = [](void *p) -> u32 {
    ++*static_cast<u32 *>(p);
    return 0;
  };
  RunBeside(halfFn, &runs[0], &runs[1]);
  const pid_t child = fork();
  if (child == 0) {
    alarm(10);
    RunBeside(halfFn, &runs[0], &runs[1]);
    _exit(runs[0] == 2 && runs[1] == 2 ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

}  // namespace
