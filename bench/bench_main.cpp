#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>

#include "bench/bench.h"
#include "foundation/random.h"
#include "foundation/texts.h"

namespace {

// Seconds to first-touch n fresh bytes of 4 KiB or of 2 MiB pages.
double FirstTouch(size_t n, bool huge) {
  void *m = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) return 0;
  madvise(m, n, huge ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
  const auto t0 = std::chrono::steady_clock::now();
  for (size_t i = 0; i < n; i += 4096) static_cast<volatile char *>(m)[i] = 1;
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  munmap(m, n);
  return s;
}

}  // namespace

// With arguments, only the named groups run (foundation, files, document, batch, patterns, replace, clipboard, config, tools, sort).
int main(int argc, char **argv) {
  // Fresh memory costs what the machine makes it cost, and most tools' work
  // on a large text costs less. Where page faults pass a hypervisor,
  // first-touching 256 MiB of 4 KiB pages has cost close to a second: then
  // the heap goes on 2 MiB pages. Where 4 KiB pages are cheap they stay (2
  // MiB pages can then cost seconds of the kernel's compaction instead).
  // Either way the heap keeps what is freed rather than giving it back to
  // the system at once, as a long-running program's heap does, so that one
  // tool's run does not pay for the pages another gave back. The figures
  // then measure the program, not the machine's state.
  // QP_BENCH_SMALL_PAGES=1 or QP_BENCH_HUGE_PAGES=1 decide the pages.
  const char *tunables = getenv("GLIBC_TUNABLES");
  if (!tunables || !strstr(tunables, "trim_threshold")) {
    bool huge = getenv("QP_BENCH_HUGE_PAGES") != nullptr;
    if (!huge && !getenv("QP_BENCH_SMALL_PAGES")) {
      const double small = FirstTouch(256u << 20, false);
      huge = small > 0.4;
      printf("bench_first_touch_256MiB_small_pages %.3f s: heap on %s pages\n", small, huge ? "2 MiB" : "4 KiB");
      fflush(stdout);
    }
    if (!huge) setenv("QP_SMALL_PAGES", "1", 1);  // the large blocks too
    setenv("GLIBC_TUNABLES",
           huge ? "glibc.malloc.hugetlb=1:glibc.malloc.top_pad=67108864:glibc.malloc.trim_threshold=4294967295"
                : "glibc.malloc.top_pad=67108864:glibc.malloc.trim_threshold=4294967295",
           1);
    execv("/proc/self/exe", argv);  // on failure the run goes on as it is
  }
  if (ThreadSlotInit() != 0 || LoadTexts(&kBuiltinTextLoader) != 0) return 1;
  auto wanted = [&](const char *name) {
    if (argc < 2) return true;
    for (int i = 1; i < argc; i++)
      if (strcmp(argv[i], name) == 0) return true;
    return false;
  };
  if (wanted("foundation")) BenchFoundation();
  if (wanted("files")) BenchFiles();
  if (wanted("document")) BenchDocument();
  if (wanted("batch")) BenchBatch();
  if (wanted("patterns")) BenchPatterns();
  if (wanted("replace")) BenchReplaceAll();
  if (wanted("clipboard")) BenchClipboard();
  if (wanted("config")) BenchConfig();
  if (wanted("tools")) BenchTools();
  if (wanted("sort")) BenchSort();
  if (wanted("fold")) BenchFoldPeer();
  return 0;
}
