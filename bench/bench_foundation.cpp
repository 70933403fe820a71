// The foundation's figures: growing arrays, the paging-file reallocation and
// the checked formatter, each against what the C++ library does.
#include <cstring>
#include <vector>

#include "bench/bench.h"
#include "foundation/fault.h"
#include "foundation/format.h"
#include "foundation/memory.h"

namespace {

void BenchGrowArray() {
  const u32 n = 32u << 20;
  volatile u32 sink = 0;
  double ours = BestSeconds(3, [&] {
    GrowableArray a = {};
    for (u32 i = 0; i < n; i++) {
      if (a.count == a.capacity && !GrowArray(&a, sizeof(u32), a.count + 1)) break;
      static_cast<u32 *>(a.entries)[a.count++] = i;
    }
    sink = sink + static_cast<u32 *>(a.entries)[n / 2];
    Free(a.entries);
  });
  double base = BestSeconds(3, [&] {
    std::vector<u32> v;
    for (u32 i = 0; i < n; i++) v.push_back(i);
    sink = sink + v[n / 2];
  });
  Report("grow_array_append_32M", n / ours / 1e6, "Mentries/s");
  Ratio("grow_array_append_32M_vs_std_vector", ours, base);
}

// The worst case of a reallocation: the heap cannot grow the block, so the
// data goes out to the paging file and back.
void BenchPagingFile() {
  const size_t used = 256u << 20;
  std::vector<char> src(used, 'q');
  volatile char sink = 0;
  double ours = BestSeconds(3, [&] {
    char *block = static_cast<char *>(Allocate(used));
    memcpy(block, src.data(), used);
    FaultInjector fi = {};
    FaultPlan(&fi, kFaultAlloc, 1, false);  // the plain reallocation fails
    ScopedFaultInjector scope(&fi);
    char *grown = static_cast<char *>(ReallocateThroughPagingFile(block, used, used + 4096, nullptr));
    sink = sink + grown[used / 2];
    Free(grown);
  });
  double base = BestSeconds(3, [&] {
    char *block = static_cast<char *>(Allocate(used));
    memcpy(block, src.data(), used);
    char *copy = static_cast<char *>(Allocate(used + 4096));
    memcpy(copy, block, used);
    sink = sink + copy[used / 2];
    Free(block);
    Free(copy);
  });
  Report("paging_realloc_256MiB", used / ours / (1 << 20), "MiB/s");
  Ratio("paging_realloc_256MiB_vs_malloc_copy", ours, base);
}

void BenchFormat() {
  const int n = 1000000;
  char buf[256];
  volatile int sink = 0;
  double ours = BestSeconds(3, [&] {
    for (int i = 0; i < n; i++) sink = sink + Format(buf, sizeof buf, "Ln: %d/%d %s", i, n, "Untitled");
  });
  double base = BestSeconds(3, [&] {
    for (int i = 0; i < n; i++) sink = sink + snprintf(buf, sizeof buf, "Ln: %d/%d %s", i, n, "Untitled");
  });
  Report("format_1M", n / ours / 1e6, "Mcalls/s");
  Ratio("format_1M_vs_snprintf", ours, base);
}

}  // namespace

void BenchFoundation() {
  BenchGrowArray();
  BenchPagingFile();
  BenchFormat();
}
