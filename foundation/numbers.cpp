#include "foundation/numbers.h"

#include "foundation/platform.h"

static u32 ValidBase(u32 base) { return base >= 2 && base <= 36 ? base : 10; }

char *FormatNumber(char *dst, u64 value, u32 base, bool upper) {
  base = ValidBase(base);
  char digits[64];
  int n = 0;
  do {
    u32 d = static_cast<u32>(value % base);
    digits[n++] = static_cast<char>(d < 10 ? '0' + d : (upper ? 'A' : 'a') + d - 10);
    value /= base;
  } while (value);
  while (n) *dst++ = digits[--n];
  *dst = 0;
  return dst;
}

static int DigitValue(u8 c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

i64 ParseNumber(const char *text, u32 base, const char **end) {
  base = ValidBase(base);
  const u8 *p = reinterpret_cast<const u8 *>(text);
  for (;;) {
    u16 t1, t3;
    PlatCharTypes(*p, &t1, &t3);
    if (!*p || !(t1 & 8)) break;  // C1_SPACE
    p++;
  }
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  u64 value = 0;
  for (int d; (d = DigitValue(*p)) < static_cast<int>(base); p++) value = value * base + static_cast<u64>(d);
  if (end) *end = reinterpret_cast<const char *>(p);
  return static_cast<i64>(negative ? 0 - value : value);
}

u32 DigitCount(u64 value, u32 base) {
  base = ValidBase(base);
  u32 n = 1;
  while (value >= base) {
    value /= base;
    n++;
  }
  return n;
}

static const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char *Base64Encode(char *dst, const void *bytes, size_t n) {
  const u8 *s = static_cast<const u8 *>(bytes);
  size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    u32 v = (u32(s[i]) << 16) | (u32(s[i + 1]) << 8) | s[i + 2];
    *dst++ = kBase64[v >> 18];
    *dst++ = kBase64[(v >> 12) & 63];
    *dst++ = kBase64[(v >> 6) & 63];
    *dst++ = kBase64[v & 63];
  }
  if (n - i == 1) {
    u32 v = u32(s[i]) << 16;
    *dst++ = kBase64[v >> 18];
    *dst++ = kBase64[(v >> 12) & 63];
  } else if (n - i == 2) {
    u32 v = (u32(s[i]) << 16) | (u32(s[i + 1]) << 8);
    *dst++ = kBase64[v >> 18];
    *dst++ = kBase64[(v >> 12) & 63];
    *dst++ = kBase64[(v >> 6) & 63];
  }
  *dst = 0;
  return dst;
}

static int Base64Value(u8 c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

size_t Base64Decode(void *dst, const char *text) {
  u8 *d = static_cast<u8 *>(dst);
  size_t n = 0;
  u32 acc = 0;
  int bits = 0;
  for (const u8 *p = reinterpret_cast<const u8 *>(text); *p; p++) {
    int v = Base64Value(*p);
    if (v < 0) continue;
    acc = (acc << 6) | static_cast<u32>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      d[n++] = static_cast<u8>(acc >> bits);
    }
  }
  return n;
}
