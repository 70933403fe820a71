// The pattern compiler and matcher on any pattern and text.
//
// Input: one byte of option flags, one byte choosing the block sizes of the
// text store, the pattern up to the first zero byte, then the text. The
// pattern compiles (or fails with a known code), its dump is written, and
// full scans forwards and backwards run under a time limit. Every match lies
// in the range with its groups inside the text, and the optimised graph
// (hints and prefilters included) finds exactly what the unoptimised graph
// finds.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "document/text_store.h"
#include "foundation/memory.h"
#include "search/matcher.h"
#include "search/pattern.h"
#include "tests/support/pattern_support.h"

namespace {

constexpr u32 kTimeLimitMs = 150;

struct Hit {
  int result;
  u32 at;
  MatchGroups g;
};

// One scan step under the time limit; false when it ran out of time.
bool Scan(CompiledPattern *cp, const TextStore *s, u32 from, u32 stopAt, u32 end, bool backward, bool reject,
          Hit *hit) {
  volatile i32 cancel = 0;
  cp->scan.cancel = &cancel;
  StartSearchClock(cp, kTimeLimitMs);
  hit->result = FindMatch(cp, s, from, stopAt, end, backward, reject, &hit->g, &hit->at);
  cp->scan.cancel = nullptr;
  return cancel == 0;
}

void CheckHit(const Hit &h, u32 from, u32 stopAt, u32 end, u32 textLength, bool backward) {
  if (h.result == -1 || h.result == kMatchNone) return;
  if (h.result != kMatchFound) __builtin_trap();
  if (!backward && (h.at < from || h.at > stopAt)) __builtin_trap();
  if (backward && (h.at > from || h.at < stopAt)) __builtin_trap();
  if (h.g.group[0].end == kNoPosition || h.g.group[0].end > end) __builtin_trap();
  for (const MatchSpan &sp : h.g.group) {
    // Groups set inside look-aheads may lie past the range end, never past
    // the text; no group starts after its end.
    if (sp.end != kNoPosition && (sp.start > sp.end || sp.end > textLength)) __builtin_trap();
  }
}

bool Same(const Hit &a, const Hit &b) {
  if (a.result != b.result) return false;
  if (a.result != kMatchFound) return true;
  return a.at == b.at && memcmp(&a.g, &b.g, sizeof a.g) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size) {
  if (size < 2) return 0;
  static const u32 kFlagBits[8] = {kPatternRegExps, kPatternEscapes,    kPatternIgnoreCase, kPatternWholeWords,
                                   kPatternWholeLines, kPatternAnyNewline, kPatternWholeContext, kPatternRegExps};
  u32 flags = 0;
  for (int k = 0; k < 8; k++) {
    if (data[0] & (1u << k)) flags |= kFlagBits[k];
  }
  const u32 maxBlock = data[1] % 9;
  const unsigned char *p = data + 2;
  const unsigned char *end = data + size;
  const unsigned char *zero = static_cast<const unsigned char *>(memchr(p, 0, static_cast<size_t>(end - p)));
  std::string pattern(reinterpret_cast<const char *>(p), zero ? static_cast<size_t>(zero - p) : static_cast<size_t>(end - p));
  std::string text;
  if (zero) text.assign(reinterpret_cast<const char *>(zero + 1), static_cast<size_t>(end - zero - 1));
  if (text.size() > 1024) text.resize(1024);

  PatternSettings settings = {static_cast<int>(data[1] & 0x80 ? 1 : 0), (data[1] & 0x40) ? 4u : 128u};
  Pattern fast, plain;
  if (!fast.cp || !plain.cp) abort();
  int r = fast.Compile(pattern, flags, settings);
  int r2 = plain.CompileUnoptimised(pattern, flags, settings);
  if (r != r2) __builtin_trap();
  if (r < -1 || r > 6) __builtin_trap();
  if (r != 0) return 0;
  if (fast.cp->groupCount < kMinGroupSlots) __builtin_trap();
  std::vector<char> dump(DumpPattern(fast.cp, nullptr, 0) + 1);
  if (DumpPattern(fast.cp, dump.data(), static_cast<u32>(dump.size())) + 1 != dump.size()) __builtin_trap();

  TestStore store(text, maxBlock, size);
  const u32 n = static_cast<u32>(text.size());
  // Forwards through the whole text, then a few steps backwards.
  u32 from = 0;
  for (int steps = 0; steps < 64 && from <= n; steps++) {
    Hit a, b;
    fast.cp->scan.searchStart = from;
    plain.cp->scan.searchStart = from;
    bool reject = (steps & 1) != 0;
    if (!Scan(fast.cp, &store.s, from, n, n, false, reject, &a)) break;
    if (!Scan(plain.cp, &store.s, from, n, n, false, reject, &b)) break;
    CheckHit(a, from, n, n, n, false);
    if (!Same(a, b)) __builtin_trap();
    if (a.result != kMatchFound) break;
    u32 next = a.g.group[0].end > a.g.group[0].start ? a.g.group[0].end : a.g.group[0].end + 1;
    from = next > a.at ? next : a.at + 1;
  }
  u32 back = n;
  for (int steps = 0; steps < 8; steps++) {
    Hit a, b;
    if (!Scan(fast.cp, &store.s, back, 0, n, true, false, &a)) break;
    if (!Scan(plain.cp, &store.s, back, 0, n, true, false, &b)) break;
    CheckHit(a, back, 0, n, n, true);
    if (!Same(a, b)) __builtin_trap();
    if (a.result != kMatchFound || a.at == 0) break;
    back = a.at - 1;
  }
  return 0;
}
