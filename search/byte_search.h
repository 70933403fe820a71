// Searching one contiguous piece of text (the inside of a text block) for
// bytes and literals: the scan driver's first-byte and literal filters and
// the matcher's runs. Where the compiler targets SSE2 the searches take 16
// bytes at a time; elsewhere they are plain loops.
//
// Every function takes [p, end) and returns a pointer into it, or end when
// nothing is found; ScanLiteral calls back with each place instead.
#pragma once

#include <string.h>

#include "foundation/bytes.h"
#include "foundation/types.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define QP_BYTE_SEARCH_SSE2 1
#endif

namespace byte_search {

inline const u8 *FindByte(const u8 *p, const u8 *end, u8 a) {
  if (p >= end) return end;
  const void *q = MemFindByte(p, a, static_cast<size_t>(end - p));
  return q ? static_cast<const u8 *>(q) : end;
}

inline const u8 *FindEither(const u8 *p, const u8 *end, u8 a, u8 b) {
  if (a == b) return FindByte(p, end, a);
#ifdef QP_BYTE_SEARCH_SSE2
  const __m128i va = _mm_set1_epi8(static_cast<char>(a));
  const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
  while (end - p >= 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    int m = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)));
    if (m) return p + __builtin_ctz(static_cast<unsigned>(m));
    p += 16;
  }
#endif
  for (; p < end; p++) {
    if (*p == a || *p == b) return p;
  }
  return end;
}

// The first byte in [low, high].
inline const u8 *FindInRange(const u8 *p, const u8 *end, u8 low, u8 high) {
  const u8 span = static_cast<u8>(high - low);
#ifdef QP_BYTE_SEARCH_SSE2
  const __m128i vlow = _mm_set1_epi8(static_cast<char>(low));
  const __m128i vspan = _mm_set1_epi8(static_cast<char>(span));
  const __m128i zero = _mm_setzero_si128();
  while (end - p >= 16) {
    __m128i x = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), vlow);
    // x - low <= span, unsigned: saturating x - low - span is zero.
    int m = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(x, vspan), zero));
    if (m) return p + __builtin_ctz(static_cast<unsigned>(m));
    p += 16;
  }
#endif
  for (; p < end; p++) {
    if (static_cast<u8>(*p - low) <= span) return p;
  }
  return end;
}

// The first byte whose entry in set is nonzero.
inline const u8 *FindInSet(const u8 *p, const u8 *end, const u8 *set) {
  while (end - p >= 4) {
    if (set[p[0]]) return p;
    if (set[p[1]]) return p + 1;
    if (set[p[2]]) return p + 2;
    if (set[p[3]]) return p + 3;
    p += 4;
  }
  for (; p < end; p++) {
    if (set[*p]) return p;
  }
  return end;
}

// The first byte whose entry in set is zero.
inline const u8 *FindNotInSet(const u8 *p, const u8 *end, const u8 *set) {
  while (end - p >= 4) {
    if (!set[p[0]]) return p;
    if (!set[p[1]]) return p + 1;
    if (!set[p[2]]) return p + 2;
    if (!set[p[3]]) return p + 3;
    p += 4;
  }
  for (; p < end; p++) {
    if (!set[*p]) return p;
  }
  return end;
}

// The first byte that is neither a nor b.
inline const u8 *FindOther(const u8 *p, const u8 *end, u8 a, u8 b) {
  for (; p < end; p++) {
    if (*p != a && *p != b) return p;
  }
  return end;
}

// Whether a literal of length n >= 1, stored in lower case when ignoring
// case (lower: the table), stands at s.
inline bool LiteralAt(const u8 *s, const u8 *literal, u32 n, const u8 *lower) {
  if (!lower) {
    if (n > 16) return memcmp(s, literal, n) == 0;
    for (u32 i = 0; i < n; i++) {
      if (s[i] != literal[i]) return false;
    }
    return true;
  }
  for (u32 i = 0; i < n; i++) {
    if (lower[s[i]] != literal[i]) return false;
  }
  return true;
}

// Calls hit(start) for the starts in [p, end - n] where the literal (n >= 1)
// stands, ascending, until it returns true; f0/f1 and l0/l1 are the byte
// variants its first and last byte match.
template <class Hit>
inline void ScanLiteral(const u8 *p, const u8 *end, const u8 *literal, u32 n, u8 f0, u8 f1, u8 l0, u8 l1,
                        const u8 *lower, Hit &&hit) {
  if (n == 0 || end - p < static_cast<ptrdiff_t>(n)) return;
  const u8 *last = end - n;  // the last possible start
#ifdef QP_BYTE_SEARCH_SSE2
  const __m128i vf0 = _mm_set1_epi8(static_cast<char>(f0)), vf1 = _mm_set1_epi8(static_cast<char>(f1));
  const __m128i vl0 = _mm_set1_epi8(static_cast<char>(l0)), vl1 = _mm_set1_epi8(static_cast<char>(l1));
  while (last - p >= 15) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + n - 1));
    __m128i fx = _mm_or_si128(_mm_cmpeq_epi8(x, vf0), _mm_cmpeq_epi8(x, vf1));
    __m128i ly = _mm_or_si128(_mm_cmpeq_epi8(y, vl0), _mm_cmpeq_epi8(y, vl1));
    unsigned m = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(fx, ly)));
    while (m) {
      unsigned i = static_cast<unsigned>(__builtin_ctz(m));
      if (LiteralAt(p + i, literal, n, lower) && hit(p + i)) return;
      m &= m - 1;
    }
    p += 16;
  }
#endif
  while (p <= last) {
    p = FindEither(p, last + 1, f0, f1);
    if (p > last) return;
    const u8 e = p[n - 1];
    if ((e == l0 || e == l1) && LiteralAt(p, literal, n, lower) && hit(p)) return;
    p++;
  }
}

}  // namespace byte_search
