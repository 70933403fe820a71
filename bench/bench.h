// A small benchmark harness: each figure is the best of several runs, printed
// as "name value unit", and compared with a baseline measured in the same run
// ("name ratio x" where lower is better), because the machines are shared and
// noisy.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "foundation/types.h"

// Seconds of the fastest of `runs` calls of fn.
inline double BestSeconds(int runs, const std::function<void()> &fn) {
  double best = 1e30;
  for (int i = 0; i < runs; i++) {
    auto t0 = std::chrono::steady_clock::now();
    fn();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
  }
  return best;
}

inline void Report(const char *name, double value, const char *unit) { printf("%s %.3f %s\n", name, value, unit); }

inline void Ratio(const char *name, double ours, double baseline) { printf("%s ratio %.2f x\n", name, ours / baseline); }

// The benchmarks' text: lines of 40 to 79 letters with a space after every
// sixth, CR LF, from a fixed seed, about `bytes` long.
inline std::vector<char> AnsiLines(size_t bytes) {
  std::mt19937 rng(7);
  std::vector<char> out;
  out.reserve(bytes + 128);
  while (out.size() < bytes) {
    int n = 40 + static_cast<int>(rng() % 40);
    for (int i = 0; i < n; i++) out.push_back(static_cast<char>(i % 7 == 6 ? ' ' : 'a' + rng() % 26));
    out.push_back('\r');
    out.push_back('\n');
  }
  return out;
}

// The text of the wrapping figures: words of 1 to 9 letters, one space
// apart, in lines of 20 to 400 bytes (most of them wrap at 80 columns), LF,
// from a fixed seed, about `bytes` long.
inline std::vector<char> WrapLines(size_t bytes) {
  std::mt19937 rng(80);
  std::vector<char> out;
  out.reserve(bytes + 512);
  while (out.size() < bytes) {
    const size_t end = out.size() + 20 + rng() % 381;
    while (out.size() < end) {
      for (int n = 1 + static_cast<int>(rng() % 9); n > 0; n--) out.push_back(static_cast<char>('a' + rng() % 26));
      out.push_back(' ');
    }
    out.back() = '\n';
  }
  return out;
}
// Where the native benchmarks leave the seconds of `fold -s -w 80` over
// WrapLines(256 MiB) for the Commit Wrapping figure under Wine.
#define QP_FOLD_PEER_FILE "/tmp/quillpad-fold-peer.txt"

// Peak resident memory of this process in bytes, and a file written whole
// (bench_files.cpp).
u64 PeakMemory();
// Where a peak measured from here starts: the heap's free memory given back
// (the benchmarks' heap keeps it otherwise, and a run would reuse it unseen)
// and the high-water mark brought down to the present size, which is
// returned. PeakMemory() - PeakStart() is then what a run added.
u64 PeakStart();
void WriteFile(const char *path, const std::vector<char> &bytes);

// Registered benchmark groups.
void BenchFoundation();
void BenchFiles();
void BenchDocument();
void BenchBatch();
void BenchFoldPeer();
void BenchPatterns();
void BenchReplaceAll();
void BenchClipboard();
void BenchConfig();
void BenchTools();
void BenchSort();
