// Helpers shared by the pattern compiler's files (compile, optimise, analyse,
// dump) and the matcher. Not for use outside search/.
#pragma once

#include "search/pattern.h"

namespace pattern_detail {

inline bool IsLookAround(const PatternNode &n) { return (n.mode & (kModeLookAhead | kModeLookBehind)) != 0; }
inline bool IsResetStart(const PatternNode &n) { return (n.mode & kModeResetStart) != 0; }
inline bool IsPossessive(u8 mode) { return (mode & kModePossessive) != 0; }
inline bool IsLazy(u8 mode) { return (mode & kModeRepeatMask) == kModeLazy; }
inline bool IsSingleByteKind(u8 kind) { return kind == kNodeChar || kind == kNodeAny || kind == kNodeClass; }
inline bool IsZeroWidthKind(u8 kind) { return kind >= kNodeTextStart && kind <= kNodeSearchStart; }

// Lengths saturate at kLengthUnbounded.
inline u32 LengthAdd(u32 a, u32 b) {
  u64 s = static_cast<u64>(a) + b;
  return s >= kLengthUnbounded ? kLengthUnbounded : static_cast<u32>(s);
}
// A length times a repeat; unbounded when either factor is.
inline u32 LengthTimes(u32 length, i32 repeat) {
  if (length == kLengthUnbounded || repeat == kRepeatUnbounded) return kLengthUnbounded;
  u64 p = static_cast<u64>(length) * static_cast<u32>(repeat);
  return p >= kLengthUnbounded ? kLengthUnbounded : static_cast<u32>(p);
}
// The minimum side: only the saturation (0 times anything is 0).
inline u32 MinLengthTimes(u32 length, i32 repeat) {
  u64 p = static_cast<u64>(length) * static_cast<u32>(repeat);
  return p >= kLengthUnbounded ? kLengthUnbounded : static_cast<u32>(p);
}
inline i32 RepeatAdd(i32 a, i32 b) {
  if (a == kRepeatUnbounded || b == kRepeatUnbounded) return kRepeatUnbounded;
  i64 s = static_cast<i64>(a) + b;
  return s >= kRepeatUnbounded ? kRepeatUnbounded : static_cast<i32>(s);
}

// The two optimisation passes and the unlinking of empty slots (optimise).
[[nodiscard]] int OptimisePattern(CompiledPattern *cp);
// Links every opening node to its closing node (always needed by the matcher).
void LinkPartners(CompiledPattern *cp);
// The matching hints and the scan prefilter (analyse). Never fails: without
// memory it leaves the hints out.
void AnalysePattern(CompiledPattern *cp);

// Frees the matcher's workspace kept in a pattern (find_match.cpp).
void FreeMatchWorkspace(MatchWorkspace *workspace);

// The bytes c for which the lower-case table gives `lower`; returns how many
// (at most 256), filling out[] when it is not null.
u32 BytesWithLower(u8 lower, u8 *out);

}  // namespace pattern_detail
