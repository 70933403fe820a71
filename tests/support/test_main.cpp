// The test runner of both suites: texts loaded as the program loads them, the
// per-thread random record in place, and no question asked unless a test
// expects it.
#include <gtest/gtest.h>

#include "foundation/platform.h"
#include "foundation/random.h"
#include "foundation/texts.h"
#include "tests/support/scripted_answerer.h"

#ifdef _WIN32
#include <windows.h>
static int LoadResourceText(void *, u16 id, char *buf, int cap) {
  return LoadStringA(GetModuleHandleA(nullptr), id, buf, cap);
}
static const TextLoader kLoader = {LoadResourceText, nullptr};
#else
static const TextLoader &kLoader = kBuiltinTextLoader;
#endif

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  if (ThreadSlotInit() != 0 || LoadTexts(&kLoader) != 0) {
    fprintf(stderr, "cannot set up the program's texts\n");
    return 1;
  }
  ScriptedAnswerer strict;  // a question no test expects fails that test
  int rc = RUN_ALL_TESTS();
  // A filter that names no test of this program (a stale build, a renamed
  // test) must not count as a pass.
  if (rc == 0 && testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
    fprintf(stderr, "no test matched the filter\n");
    rc = 1;
  }
  FreeTexts();
  const void *lowest = nullptr;
  u32 straddling = 0;
  if (PlatHeapTopDown(&lowest, &straddling)) {
    // Proof that the run had its blocks where they were meant to be.
    const uintptr_t low = reinterpret_cast<uintptr_t>(lowest);
    const bool high = low >= (sizeof(void *) == 8 ? 0x100000000ull : 0x80000000ull);
    printf(high ? "allocations top-down, lowest block above 0x%08llx" : "allocations top-down, but a block lay at 0x%08llx",
           static_cast<unsigned long long>(low));
    if (sizeof(void *) == 4) printf(", %u blocks across 2 GiB", straddling);
    printf("\n");
  }
  return rc;
}
