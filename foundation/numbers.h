// Numbers to and from text, and base64 without padding.
#pragma once

#include "foundation/types.h"

// Writes value in base (2..36; anything else means 10), digits above 9 as
// letters in the chosen case, and a terminator. 0 is "0". Returns a pointer to
// the terminator. dst needs room for 65 characters in base 2.
char *FormatNumber(char *dst, u64 value, u32 base, bool upper);

// Skips leading white space (C1_SPACE), takes one "+" or "-", then the digits
// and letters of the base (case-insensitive), stopping at the first character
// that is not one. Arithmetic wraps. *end (optional) receives where it stopped.
i64 ParseNumber(const char *text, u32 base, const char **end = nullptr);

// How many digits value has in base (at least 1).
u32 DigitCount(u64 value, u32 base);

// Standard alphabet, no "=" padding; writes 4 characters per 3 bytes (fewer for
// the tail) and a terminator. Returns a pointer to the terminator.
char *Base64Encode(char *dst, const void *bytes, size_t n);
// Decodes text up to its terminator, skipping characters outside the alphabet
// (line breaks, "=", spaces). Returns the number of bytes written; dst needs
// room for 3/4 of the text length.
size_t Base64Decode(void *dst, const char *text);
// The characters Base64Encode writes for n bytes, without the terminator.
inline size_t Base64EncodedLength(size_t n) { return n / 3 * 4 + (n % 3 ? n % 3 + 1 : 0); }
