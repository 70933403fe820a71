#include "foundation/bytes.h"

#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

size_t MemCompare(const void *a, const void *b, size_t n) {
  const u8 *x = static_cast<const u8 *>(a), *y = static_cast<const u8 *>(b);
  size_t i = 0;
  // Eight bytes at a time; the lowest differing bit of the two words lies in
  // the first differing byte (words are read little-endian).
  for (; i + 8 <= n; i += 8) {
    u64 u, v;
    memcpy(&u, x + i, 8);
    memcpy(&v, y + i, 8);
    if (u != v) return n - (i + static_cast<size_t>(__builtin_ctzll(u ^ v)) / 8);
  }
  for (; i < n; i++)
    if (x[i] != y[i]) return n - i;
  return 0;
}

size_t MemCompareLower(const void *a, const void *b, size_t n, const u8 *lowerTable) {
  const u8 *x = static_cast<const u8 *>(a), *y = static_cast<const u8 *>(b);
  for (size_t i = 0; i < n; i++)
    if (lowerTable[x[i]] != lowerTable[y[i]]) return n - i;
  return 0;
}

const void *MemFindByteWide(const void *p, u8 value, size_t n) {
  const u8 *x = static_cast<const u8 *>(p), *end = x + n;
#if defined(__SSE2__)
  // Up to a 16-byte boundary one at a time, then aligned loads that stay
  // inside the range.
  while (x < end && (reinterpret_cast<uintptr_t>(x) & 15)) {
    if (*x == value) return x;
    x++;
  }
  const __m128i v = _mm_set1_epi8(static_cast<char>(value));
  while (end - x >= 64) {
    const __m128i *q = reinterpret_cast<const __m128i *>(x);
    const __m128i a = _mm_cmpeq_epi8(_mm_load_si128(q), v), b = _mm_cmpeq_epi8(_mm_load_si128(q + 1), v);
    const __m128i c = _mm_cmpeq_epi8(_mm_load_si128(q + 2), v), d = _mm_cmpeq_epi8(_mm_load_si128(q + 3), v);
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)))) break;
    x += 64;
  }
  while (end - x >= 16) {
    const int m = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(reinterpret_cast<const __m128i *>(x)), v));
    if (m) return x + __builtin_ctz(static_cast<unsigned>(m));
    x += 16;
  }
#endif
  for (; x < end; x++)
    if (*x == value) return x;
  return nullptr;
}

size_t MemFindOther(const void *p, u8 value, size_t n) {
  const u8 *x = static_cast<const u8 *>(p);
  for (size_t i = 0; i < n; i++)
    if (x[i] != value) return i;
  return n;
}

void MemSwap16(void *p, size_t units) {
  u8 *x = static_cast<u8 *>(p);
  for (size_t i = 0; i < units; i++, x += 2) {
    u8 t = x[0];
    x[0] = x[1];
    x[1] = t;
  }
}

namespace {

// The table's ASCII half as runs of bytes moved by one amount (the bytes
// between them stay): a case table has one run (a-z or A-Z), a translation
// of a few letters a few. False when there are more than kRuns.
constexpr int kRuns = 4;
struct AsciiRuns {
  int count;
  u8 first[kRuns], last[kRuns], shift[kRuns];
};

bool FindAsciiRuns(const u8 *table, AsciiRuns *runs) {
  runs->count = 0;
  for (int c = 0; c < 128;) {
    const u8 shift = static_cast<u8>(table[c] - c);
    int end = c + 1;
    while (end < 128 && static_cast<u8>(table[end] - end) == shift) end++;
    if (shift) {
      if (runs->count == kRuns) return false;
      runs->first[runs->count] = static_cast<u8>(c);
      runs->last[runs->count] = static_cast<u8>(end - 1);
      runs->shift[runs->count++] = shift;
    }
    c = end;
  }
  return true;
}

}  // namespace

void MemCopyMapped(void *dst, const void *src, const u8 *table, size_t n) {
  u8 *d = static_cast<u8 *>(dst);
  const u8 *s = static_cast<const u8 *>(src);
  size_t i = 0;
#if defined(__SSE2__)
  // Sixteen ASCII bytes at a time, each run's bytes found by two compares
  // and moved by an add; a block with any other byte goes through the table.
  AsciiRuns runs;
  if (n >= 64 && FindAsciiRuns(table, &runs)) {
    __m128i below[kRuns], last[kRuns], shift[kRuns];
    for (int r = 0; r < runs.count; r++) {
      below[r] = _mm_set1_epi8(static_cast<char>(runs.first[r] - 1));  // -1 for a run from 0
      last[r] = _mm_set1_epi8(static_cast<char>(runs.last[r]));
      shift[r] = _mm_set1_epi8(static_cast<char>(runs.shift[r]));
    }
    for (; i + 16 <= n; i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i));
      if (_mm_movemask_epi8(v)) {
        for (size_t k = i; k < i + 16; k++) d[k] = table[s[k]];
        continue;
      }
      // Every byte is below 128: signed compares order them.
      __m128i out = v;
      for (int r = 0; r < runs.count; r++) {
        const __m128i in = _mm_andnot_si128(_mm_cmpgt_epi8(v, last[r]), _mm_cmpgt_epi8(v, below[r]));
        out = _mm_add_epi8(out, _mm_and_si128(in, shift[r]));
      }
      _mm_storeu_si128(reinterpret_cast<__m128i *>(d + i), out);
    }
  }
#endif
  for (; i < n; i++) d[i] = table[s[i]];
}

void MemReplaceByte(void *dst, const void *src, u8 from, u8 to, size_t n) {
  u8 *d = static_cast<u8 *>(dst);
  const u8 *s = static_cast<const u8 *>(src);
  for (size_t i = 0; i < n; i++) d[i] = s[i] == from ? to : s[i];
}

u32 ExpandedWidth(const char *text, size_t n, u32 tabSize) {
  if (tabSize == 0) tabSize = 1;
  u32 col = 0;
  for (size_t i = 0; i < n; i++) col = text[i] == '\t' ? (col / tabSize + 1) * tabSize : col + 1;
  return col;
}

size_t StrLen(const char *s) { return strlen(s); }

char *StrCopy(char *dst, const char *s) {
  size_t n = strlen(s);
  memmove(dst, s, n + 1);
  return dst + n;
}

char *StrCopyN(char *dst, const char *s, size_t cap) {
  size_t n = StrLenN(s, cap - 1);
  memmove(dst, s, n);
  dst[n] = 0;
  return dst + n;
}

size_t StrLenN(const char *s, size_t max) { return strnlen(s, max); }

size_t WStrLen(const u16 *s) {
  size_t n = 0;
  while (s[n]) n++;
  return n;
}
