// Helpers for the pattern engine's tests: a compiled pattern that frees
// itself, a text store cut into blocks of chosen sizes, and a deliberately
// simple reference matcher to compare the engine with.
#pragma once

#include <string>
#include <vector>

#include "search/matcher.h"
#include "search/pattern.h"

constexpr PatternSettings kTestSettings = {0, 128};

// A CompiledPattern on the heap (it is large), zeroed, freed with its owner.
class Pattern {
 public:
  Pattern();
  ~Pattern();
  Pattern(const Pattern &) = delete;
  Pattern &operator=(const Pattern &) = delete;
  int Compile(const std::string &text, u32 flags, const PatternSettings &settings = kTestSettings);
  int CompileUnoptimised(const std::string &text, u32 flags, const PatternSettings &settings = kTestSettings);
  std::string Dump() const;
  CompiledPattern *cp;
};

// A text store holding `text`, its blocks cut at random sizes of 1 ..
// maxBlock bytes (0: as the store lays them out itself).
class TestStore {
 public:
  explicit TestStore(const std::string &text, unsigned maxBlock = 0, unsigned long long seed = 1);
  ~TestStore();
  TestStore(const TestStore &) = delete;
  TestStore &operator=(const TestStore &) = delete;
  TextStore s;
};

// One search result in a form that compares and prints well.
struct Found {
  bool found = false;
  u32 at = 0;
  std::vector<std::pair<long, long>> groups;  // 0-9, (-1, -1) when not set
  bool operator==(const Found &o) const { return found == o.found && (!found || (at == o.at && groups == o.groups)); }
};
std::string Describe(const Found &f);
Found FromGroups(int result, u32 at, const MatchGroups &g);

// FindMatch on a store.
Found EngineFind(CompiledPattern *cp, const TextStore *s, u32 from, u32 stopAt, u32 rangeEnd, bool backward,
                 bool rejectEmpty, int *result = nullptr);

// The reference matcher: a recursive backtracker over the graph of a pattern
// (compile it unoptimised) and a flat string, written for clarity only. It
// follows the same rules as the engine: the context, \K and the range, the
// look-behind reach, empty iterations, possessive repetitions, captures kept
// from positive look-arounds. Returns false in *complete when it gave up after
// stepLimit steps.
Found ReferenceFind(const CompiledPattern *cp, const std::string &text, u32 from, u32 stopAt, u32 rangeEnd,
                    bool backward, bool rejectEmpty, unsigned long stepLimit, bool *complete);
