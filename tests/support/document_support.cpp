#include "tests/support/document_support.h"

#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <malloc.h>
#endif

size_t HeapBlockSize(const void *block) {
#ifdef _WIN32
  SIZE_T n = HeapSize(GetProcessHeap(), 0, block);
  return n == static_cast<SIZE_T>(-1) ? 0 : n;
#else
  return malloc_usable_size(const_cast<void *>(block));
#endif
}

std::string StoreText(const TextStore *s) {
  std::string t;
  t.reserve(s->length);
  for (u32 i = 0; i < s->blocks.count; i++) t.append(s->blocks.entries[i].data, s->blocks.entries[i].length);
  return t;
}

::testing::AssertionResult StoreOk(const TextStore *store, bool exactBuffers, bool softRows) {
  char why[512];
  StoreCheckOptions opt = {};
#if defined(__SANITIZE_ADDRESS__) || defined(_WIN32)
  // Both report the size that was asked for; glibc's malloc rounds up.
  opt.bufferSize = HeapBlockSize;
  opt.exactBuffers = exactBuffers;
#else
  opt.bufferSize = HeapBlockSize;
  opt.exactBuffers = false;
#endif
  opt.allowSoftRows = softRows;
  if (CheckStore(store, opt, why, sizeof why)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << why;
}

std::vector<ScannedRow> ScanRows(const std::string &t) {
  std::vector<ScannedRow> rows;
  unsigned cur = 0;
  for (size_t i = 0; i < t.size(); i++) {
    char c = t[i];
    if (c == '\n') {
      rows.push_back({cur, 1, kNewlineLF});
      cur = 0;
    } else if (c == '\r') {
      if (i + 1 < t.size() && t[i + 1] == '\n') {
        rows.push_back({cur, 2, kNewlineCRLF});
        i++;
      } else {
        rows.push_back({cur, 1, kNewlineCR});
      }
      cur = 0;
    } else {
      cur++;
    }
  }
  rows.push_back({cur, 0, 0});
  return rows;
}

std::string RandomText(TestRandom &rng, size_t n, unsigned lineLength) {
  std::string t;
  t.reserve(n);
  while (t.size() < n) {
    unsigned k = rng.Below(lineLength * 2 + 1);
    for (unsigned i = 0; i < k && t.size() < n; i++) {
      unsigned r = rng.Below(64);
      t.push_back(r < 52 ? static_cast<char>(r < 26 ? 'a' + r : 'A' + r - 26) : r < 60 ? ' ' : r == 60 ? '\0' : '.');
    }
    if (t.size() >= n) break;
    switch (rng.Below(4)) {
      case 0: t.push_back('\r'); break;
      case 1: t.push_back('\n'); break;
      default: t.append("\r\n"); break;
    }
  }
  t.resize(n);
  return t;
}
