// A small benchmark harness: each figure is the best of several runs, printed
// as "name value unit", and compared with a baseline measured in the same run
// ("name ratio x" where lower is better), because the machines are shared and
// noisy.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>

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

// Registered benchmark groups.
void BenchFoundation();
void BenchFiles();
void BenchDocument();
void BenchPatterns();
