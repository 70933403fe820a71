#include <cstdio>

#include "bench/bench.h"
#include "foundation/random.h"

int main() {
  if (ThreadSlotInit() != 0) return 1;
  BenchFoundation();
  BenchPatterns();
  return 0;
}
