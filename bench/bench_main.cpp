#include <cstdio>

#include "bench/bench.h"
#include "foundation/random.h"
#include "foundation/texts.h"

int main() {
  if (ThreadSlotInit() != 0 || LoadTexts(&kBuiltinTextLoader) != 0) return 1;
  BenchFoundation();
  BenchFiles();
  BenchDocument();
  BenchPatterns();
  return 0;
}
