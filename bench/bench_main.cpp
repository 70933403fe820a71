#include <cstdio>
#include <cstring>

#include "bench/bench.h"
#include "foundation/random.h"
#include "foundation/texts.h"

// With arguments, only the named groups run (foundation, files, document, batch, patterns, replace, clipboard, config, tools, sort).
int main(int argc, char **argv) {
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
