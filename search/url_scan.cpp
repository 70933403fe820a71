#include "search/url_scan.h"

#include "foundation/platform.h"

namespace {

enum : u8 {
  kAlnum = 1,      // a-z 0-9 (text is lower-cased)
  kHost = 2,       // alnum - . _
  kUser = 4,       // alnum . _ - + ~ %   (local part of a mail address)
  kPath = 8,       // everything a URL may contain after its prefix
  kScheme = 16,    // alnum + - .
  kTrailing = 32,  // ! ' ) , . : ; ? ]  never end a URL
};

struct Classes {
  u8 c[256];
  Classes() {
    for (int i = 0; i < 256; i++) c[i] = 0;
    for (int i = 'a'; i <= 'z'; i++) c[i] = kAlnum | kHost | kUser | kPath | kScheme;
    for (int i = '0'; i <= '9'; i++) c[i] = kAlnum | kHost | kUser | kPath | kScheme;
    for (const char *p = "-._"; *p; p++) c[static_cast<u8>(*p)] |= kHost;
    for (const char *p = "._-+~%"; *p; p++) c[static_cast<u8>(*p)] |= kUser;
    for (const char *p = "-._~:/?#[]@!$&'()*+,;=%"; *p; p++) c[static_cast<u8>(*p)] |= kPath;
    for (const char *p = "+-."; *p; p++) c[static_cast<u8>(*p)] |= kScheme;
    for (const char *p = "!'),.:;?]"; *p; p++) c[static_cast<u8>(*p)] |= kTrailing;
  }
};
const Classes g_classes;

inline bool Is(u8 ch, u8 mask) { return (g_classes.c[ch] & mask) != 0; }
inline bool IsHex(u8 ch) { return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F'); }

// Extends a URL over path characters from i; a % counts only as the start of
// a two-digit escape.
u32 PathEnd(const u8 *t, u32 n, u32 i) {
  while (i < n && Is(t[i], kPath)) {
    if (t[i] == '%') {
      if (i + 2 >= n + 0 || !IsHex(t[i + 1]) || !IsHex(t[i + 2])) break;
      i += 3;
      continue;
    }
    i++;
  }
  return i;
}

// Drops the trailing characters that never end a URL; the result is at least
// `minimum`.
u32 TrimTrailing(const u8 *t, u32 start, u32 end, u32 minimum) {
  while (end > minimum && Is(t[end - 1], kTrailing)) end--;
  (void)start;
  return end;
}

bool StartsWith(const u8 *t, u32 n, u32 i, const char *word) {
  for (; *word; word++, i++) {
    if (i >= n || t[i] != static_cast<u8>(*word)) return false;
  }
  return true;
}

// A mail address user@host.domain from i (the first character of the user
// part): the end, or 0.
u32 MailEnd(const u8 *t, u32 n, u32 i) {
  u32 j = i;
  while (j < n && Is(t[j], kUser) && t[j] != '%') j++;
  if (j == i || j >= n || t[j] != '@') return 0;
  u32 hostStart = ++j;
  bool dot = false;
  while (j < n && Is(t[j], kHost)) {
    if (t[j] == '.' && j + 1 < n && Is(t[j + 1], kAlnum) && j > hostStart) dot = true;
    j++;
  }
  if (!dot) return 0;
  while (j > hostStart && (t[j - 1] == '.' || t[j - 1] == '-' || t[j - 1] == '_')) j--;
  return j;
}

// The forms with a prefix (scheme://, mailto:, news:, www.) from i: the end,
// or 0.
u32 PrefixedEnd(const u8 *t, u32 n, u32 i) {
  u32 j = i;
  while (j < n && j - i < 33 && Is(t[j], kScheme)) j++;
  if (t[i] >= 'a' && t[i] <= 'z' && j - i <= 32 && StartsWith(t, n, j, "://")) {
    u32 body = j + 3;
    u32 end = TrimTrailing(t, i, PathEnd(t, n, body), body);
    return end > body ? end : 0;
  }
  if (StartsWith(t, n, i, "mailto:")) return MailEnd(t, n, i + 7);
  if (StartsWith(t, n, i, "news:")) {
    u32 body = i + 5;
    if (body >= n || !Is(t[body], kAlnum)) return 0;
    return TrimTrailing(t, i, PathEnd(t, n, body), body);
  }
  if (StartsWith(t, n, i, "www.") && i + 4 < n && Is(t[i + 4], kAlnum)) {
    return TrimTrailing(t, i, PathEnd(t, n, i + 4), i + 4);
  }
  return 0;
}

}  // namespace

u32 UrlLengthAt(const u8 *t, u32 n, u32 i) {
  if (i >= n || !Is(t[i], kAlnum)) return 0;
  u32 end = PrefixedEnd(t, n, i);
  if (!end) end = MailEnd(t, n, i);
  return end ? end - i : 0;
}

int ScanUrls(const u8 *t, u32 n, int (*found)(void *, u32, u32), void *context) {
  u8 lead[256];
  for (int c = 0; c < 256; c++) lead[c] = c >= 128 && PlatIsLeadByte(kCodePageAnsi, static_cast<u8>(c));
  for (u32 i = 0; i < n;) {
    const u8 c = t[i];
    if (lead[c]) {
      i += 2;
      continue;
    }
    if (!Is(c, kAlnum) || (i > 0 && (Is(t[i - 1], kAlnum) || t[i - 1] == '_'))) {
      i++;
      continue;
    }
    // A word start: the prefixed forms first; a mail address only from the
    // start of its user part, so that a long run of dotted words is looked at
    // once.
    u32 end = PrefixedEnd(t, n, i);
    if (!end && (i == 0 || !Is(t[i - 1], kUser))) end = MailEnd(t, n, i);
    if (end) {
      int r = found(context, i, end - i);
      if (r) return r;
      i = end;
      continue;
    }
    i++;
  }
  return 0;
}
