// Walking the lines of a flat text: the line tools, sorting and the other
// tools that take a text line by line share this walker.
#pragma once

#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/bytes.h"
#include "foundation/types.h"

// One line: its text [start, textEnd) and its newline [textEnd, end).
struct LineBounds {
  u32 start, textEnd, end;
};

// Walks the lines of a text in order. Lines end with CR LF, a lone CR or a
// lone LF; the text after the last newline is the last line (empty when the
// text ends with a newline, and an empty text is one empty line). With SSE2
// the CRs and LFs of 64 bytes at a time are gathered into a bit mask, so a
// line costs a few bit operations rather than a search call of its own;
// otherwise the next CR and the next LF are found by MemFindByte and kept
// until passed, so that a text of one newline kind costs one scan.
class LineWalker {
 public:
  LineWalker(const char *text, u32 length) : t_(text), n_(length) {}
  bool Next(LineBounds *line) {
    if (done_) return false;
    const u32 e = NextNewline();
    if (e >= n_) {
      *line = LineBounds{pos_, n_, n_};
      done_ = true;
      return true;
    }
    const u32 newline = (t_[e] == '\r' && e + 1 < n_ && t_[e + 1] == '\n') ? 2 : 1;
    *line = LineBounds{pos_, e, e + newline};
    pos_ = e + newline;
    return true;
  }

 private:
#if defined(__SSE2__)
  // The first CR or LF at or after pos_; n_ when none.
  u32 NextNewline() {
    u32 from = pos_;
    if (from >= n_) return n_;
    if (!loaded_ || from < base_ || from - base_ >= 64) Load(from & ~63u);
    for (;;) {
      const u64 m = mask_ & (~0ull << (from - base_));
      if (m) return base_ + static_cast<u32>(__builtin_ctzll(m));
      const u64 next = static_cast<u64>(base_) + 64;
      if (next >= n_) return n_;
      from = static_cast<u32>(next);
      Load(from);
    }
  }
  // The mask of the 64 bytes from base (fewer at the text's end).
  void Load(u32 base) {
    base_ = base;
    loaded_ = true;
    if (n_ - base >= 64) {
      const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
      u64 m = 0;
      for (int k = 0; k < 4; k++) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t_ + base + 16 * k));
        const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf));
        m |= static_cast<u64>(static_cast<u32>(_mm_movemask_epi8(hit))) << (16 * k);
      }
      mask_ = m;
      return;
    }
    u64 m = 0;
    for (u32 i = base; i < n_; i++)
      if (t_[i] == '\r' || t_[i] == '\n') m |= u64{1} << (i - base);
    mask_ = m;
  }
  u32 base_ = 0;
  u64 mask_ = 0;
  bool loaded_ = false;
#else
  u32 NextNewline() {
    if (nextLF_ < pos_ || !lfKnown_) nextLF_ = Find('\n'), lfKnown_ = true;
    if (nextCR_ < pos_ || !crKnown_) nextCR_ = Find('\r'), crKnown_ = true;
    return nextCR_ < nextLF_ ? nextCR_ : nextLF_;
  }
  u32 Find(char c) const {
    if (pos_ >= n_) return n_;
    const void *p = MemFindByte(t_ + pos_, static_cast<u8>(c), n_ - pos_);
    return p ? static_cast<u32>(static_cast<const char *>(p) - t_) : n_;
  }
  u32 nextCR_ = 0, nextLF_ = 0;
  bool crKnown_ = false, lfKnown_ = false;
#endif
  const char *t_;
  u32 n_;
  u32 pos_ = 0;
  bool done_ = false;
};
