// The wsprintf dialect for the POSIX backend, written once for narrow and wide
// characters. It understands what Format lets through: flags "#-0", a width,
// a precision, and the conversions d i u x X s S p. Output stops at
// kPlatFormatMax characters, as the system's wsprintf does.
//
// Only platform_posix.cpp includes this file.
#pragma once

#include <stdarg.h>

#include "foundation/platform.h"

namespace wsprintf_impl {

// The other width's string, converted through the ANSI code page.
template <typename Ch>
int OtherWidthString(const void *src, Ch *dst, int cap);

template <>
inline int OtherWidthString<char>(const void *src, char *dst, int cap) {
  const u16 *w = static_cast<const u16 *>(src);
  int n = 0;
  while (w[n]) n++;
  return PlatWideToAnsi(w, n, dst, cap);
}

template <>
inline int OtherWidthString<u16>(const void *src, u16 *dst, int cap) {
  const char *a = static_cast<const char *>(src);
  int n = 0;
  while (a[n]) n++;
  return PlatAnsiToWide(a, n, dst, cap);
}

template <typename Ch>
int Format(Ch *out, const Ch *fmt, va_list args) {
  const int kMax = kPlatFormatMax;
  int n = 0;
  auto put = [&](Ch c) {
    if (n < kMax) out[n++] = c;
  };
  while (*fmt && n < kMax) {
    if (*fmt != '%') {
      put(*fmt++);
      continue;
    }
    fmt++;
    if (*fmt == '%') {
      put(*fmt++);
      continue;
    }
    bool left = false, zero = false, prefix = false;
    for (;; fmt++) {
      if (*fmt == '-') left = true;
      else if (*fmt == '0') zero = true;
      else if (*fmt == '#') prefix = true;
      else break;
    }
    // A width or precision past the longest output acts as that length plus
    // one: nothing more could be written (and the number cannot overflow).
    auto number = [&](int *value) {
      while (*fmt >= '0' && *fmt <= '9') {
        *value = *value * 10 + (*fmt++ - '0');
        if (*value > kMax) *value = kMax + 1;
      }
    };
    int width = 0, precision = -1;
    number(&width);
    if (*fmt == '.') {
      fmt++;
      precision = 0;
      number(&precision);
    }
    Ch conv = *fmt;
    if (!conv) break;
    fmt++;

    Ch text[kPlatFormatMax + 1];
    int len = 0;
    const Ch *body = text;
    const char *sign = "";
    const char *hex = "";
    if (conv == 's' || conv == 'S') {
      const void *arg = va_arg(args, const void *);
      bool same = (conv == 's');
      if (!arg) {
        static const char kNull[] = "(null)";
        for (len = 0; kNull[len]; len++) text[len] = static_cast<Ch>(kNull[len]);
      } else if (same) {
        body = static_cast<const Ch *>(arg);
        while (body[len] && len < kMax && (precision <= 0 || len < precision)) len++;
      } else {
        len = OtherWidthString<Ch>(arg, text, kMax);
      }
      if (precision > 0 && len > precision) len = precision;
    } else {
      u64 value;
      unsigned base = 10;
      bool upper = false;
      if (conv == 'd' || conv == 'i') {
        i32 v = va_arg(args, i32);
        if (v < 0) sign = "-";
        value = v < 0 ? static_cast<u64>(-static_cast<i64>(v)) : static_cast<u64>(v);
      } else if (conv == 'u' || conv == 'x' || conv == 'X') {
        value = va_arg(args, u32);
        if (conv != 'u') {
          base = 16;
          upper = (conv == 'X');
          if (prefix && value) hex = upper ? "0X" : "0x";
        }
      } else {  // 'p'
        value = reinterpret_cast<uintptr_t>(va_arg(args, void *));
        base = 16;
        upper = true;
        zero = true;
        left = false;
        width = static_cast<int>(2 * sizeof(void *));
      }
      char digits[24];
      int nd = 0;
      do {
        unsigned d = static_cast<unsigned>(value % base);
        digits[nd++] = static_cast<char>(d < 10 ? '0' + d : (upper ? 'A' : 'a') + d - 10);
        value /= base;
      } while (value);
      // Minimum digits from the precision, or from the width with "0".
      int mind = precision > nd ? precision : nd;
      int extra = 0;
      for (const char *s = sign; *s; s++) extra++;
      for (const char *s = hex; *s; s++) extra++;
      if (zero && !left && width - extra > mind) mind = width - extra;
      for (const char *s = sign; *s; s++) text[len++] = static_cast<Ch>(*s);
      for (const char *s = hex; *s; s++) text[len++] = static_cast<Ch>(*s);
      for (int i = nd; i < mind && len < kMax; i++) text[len++] = '0';
      while (nd > 0 && len < kMax) text[len++] = static_cast<Ch>(digits[--nd]);
    }
    if (!left)
      for (int i = len; i < width; i++) put(' ');
    for (int i = 0; i < len; i++) put(body[i]);
    if (left)
      for (int i = len; i < width; i++) put(' ');
  }
  out[n] = 0;
  return n;
}

}  // namespace wsprintf_impl
