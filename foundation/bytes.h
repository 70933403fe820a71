// Byte and string helpers of the program's own runtime.
#pragma once

#include "foundation/types.h"

// The copies are inline: with a constant size they become plain loads and
// stores, which the text store and the converters rely on in their loops.
inline void MemZero(void *dst, size_t n) { __builtin_memset(dst, 0, n); }
// Non-overlapping copy, or an overlapping move towards lower addresses.
inline void MemCopy(void *dst, const void *src, size_t n) { __builtin_memmove(dst, src, n); }
// Overlapping move towards higher addresses (copies from the end).
inline void MemCopyBackward(void *dst, const void *src, size_t n) { __builtin_memmove(dst, src, n); }
inline void MemFill(void *dst, u8 value, size_t n) { __builtin_memset(dst, value, n); }
// 0 when equal; otherwise the number of bytes left from the first difference
// on (so the difference is at index n - result).
size_t MemCompare(const void *a, const void *b, size_t n);
// As MemCompare, with both sides mapped through a 256-byte lowercase table.
size_t MemCompareLower(const void *a, const void *b, size_t n, const u8 *lowerTable);
// The first byte equal to `value` in p[0, n), or null: sixteen bytes at a
// time where the compiler targets SSE2, never reading outside p[0, n).
const void *MemFindByteWide(const void *p, u8 value, size_t n);
// The same: the C library's where it is fast, MemFindByteWide on Windows,
// whose C library looks at one byte at a time.
inline const void *MemFindByte(const void *p, u8 value, size_t n) {
#if defined(_WIN32)
  return MemFindByteWide(p, value, n);
#else
  return __builtin_memchr(p, value, n);
#endif
}
inline char *MemFindByte(char *p, u8 value, size_t n) {
  return static_cast<char *>(const_cast<void *>(MemFindByte(static_cast<const void *>(p), value, n)));
}
// Index of the first byte that is not `value`, or n when there is none.
size_t MemFindOther(const void *p, u8 value, size_t n);
// Swaps the bytes of each 16-bit unit of a buffer of `units` units.
void MemSwap16(void *p, size_t units);
// Copies n bytes, each replaced through a 256-byte table.
void MemCopyMapped(void *dst, const void *src, const u8 *table, size_t n);
// Copies n bytes, replacing every byte `from` with `to`.
void MemReplaceByte(void *dst, const void *src, u8 from, u8 to, size_t n);

// The column after the bytes, counting from 0, where a Tab advances to the next
// multiple of tabSize (tabSize >= 1).
u32 ExpandedWidth(const char *text, size_t n, u32 tabSize);

size_t StrLen(const char *s);
// Copies s with its terminator; returns a pointer to the terminator in dst.
char *StrCopy(char *dst, const char *s);
// Copies at most cap - 1 characters and always terminates (cap >= 1); returns
// a pointer to the terminator in dst.
char *StrCopyN(char *dst, const char *s, size_t cap);
// The length of s, but at most max.
size_t StrLenN(const char *s, size_t max);

size_t WStrLen(const u16 *s);
