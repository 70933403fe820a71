#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "bench/bench.h"
#include "foundation/random.h"
#include "foundation/texts.h"

// With arguments, only the named groups run (foundation, files, document, batch, patterns, replace, clipboard, config, tools, sort).
int main(int argc, char **argv) {
  // The heap on 2 MiB pages, as the large blocks already are: where page
  // faults pass a hypervisor, first-touching 256 MiB of 4 KiB pages costs
  // close to a second, more than most tools' work on the text, and the
  // figures would measure the machine. QP_BENCH_SMALL_PAGES=1 keeps the
  // default heap, for comparison.
  const char *tunables = getenv("GLIBC_TUNABLES");
  if (!getenv("QP_BENCH_SMALL_PAGES") && (!tunables || !strstr(tunables, "hugetlb"))) {
    setenv("GLIBC_TUNABLES", "glibc.malloc.hugetlb=1:glibc.malloc.top_pad=67108864", 1);
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
  return 0;
}
