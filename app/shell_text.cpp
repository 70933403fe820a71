#include "app/shell_text.h"

#include "foundation/bytes.h"
#include "foundation/platform.h"
#include "foundation/random.h"

namespace {

// Appends `n` bytes when they fit with a terminator after them.
bool Put(char *out, size_t cap, size_t *at, const char *s, size_t n) {
  if (*at + n + 1 > cap) return false;
  MemCopy(out + *at, s, n);
  *at += n;
  out[*at] = 0;
  return true;
}

bool PutText(char *out, size_t cap, size_t *at, const char *s) { return Put(out, cap, at, s, StrLen(s)); }

void Escape(u8 c, char three[3]) {
  static const char kHex[] = "0123456789ABCDEF";
  three[0] = '%';
  three[1] = kHex[c >> 4];
  three[2] = kHex[c & 15];
}

bool Unreserved(u8 c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

bool Fail(char *out, size_t cap) {
  if (cap) out[0] = 0;
  return false;
}

}  // namespace

bool BuildManualUrl(const char *exeFolder, char *out, size_t cap) {
  size_t at = 0;
  if (!cap) return false;
  out[0] = 0;
  if (!PutText(out, cap, &at, "file:///")) return Fail(out, cap);
  for (const char *p = exeFolder; *p; p++) {
    const u8 c = static_cast<u8>(*p);
    bool ok;
    if (c == '\\') {
      ok = Put(out, cap, &at, "/", 1);
    } else if (c == '%' || c == '#' || c == ' ') {
      char three[3];
      Escape(c, three);
      ok = Put(out, cap, &at, three, 3);
    } else {
      ok = Put(out, cap, &at, p, 1);
    }
    if (!ok) return Fail(out, cap);
  }
  return PutText(out, cap, &at, "QuilPad.htm") || Fail(out, cap);
}

bool FolderOfFile(const char *path, char *out, size_t cap) {
  size_t n = StrLen(path);
  while (n && path[n - 1] != '\\' && path[n - 1] != '/') n--;
  if (!n) return Fail(out, cap);
  // The separator goes, unless it follows the drive ("C:\") or is all there is.
  const bool root = n == 1 || (n == 3 && path[1] == ':');
  const size_t keep = root ? n : n - 1;
  size_t at = 0;
  if (!cap) return false;
  out[0] = 0;
  return Put(out, cap, &at, path, keep) || Fail(out, cap);
}

bool BuildSearchUrl(const char *host, const char *text, size_t len, char *out, size_t cap) {
  if (!cap) return false;
  out[0] = 0;
  if (!host || !host[0] || !len) return false;
  size_t at = 0;
  if (!PutText(out, cap, &at, "http://") || !PutText(out, cap, &at, host) || !PutText(out, cap, &at, "/search?q="))
    return Fail(out, cap);
  const size_t most = cap - 1 < kSearchUrlMost ? cap - 1 : kSearchUrlMost;
  // Each byte of the text gives at least one character of the address, so a
  // prefix of `most` bytes (and one more, whose character may be cut) is all
  // that can be used.
  size_t take = len < most + 1 ? len : most + 1;
  const bool cut = take < len;
  char ansi[kSearchUrlMost + 2];
  MemCopy(ansi, text, take);
  for (size_t i = 0; i < take; i++)
    if (ansi[i] == '\r' || ansi[i] == '\n' || ansi[i] == '\t') ansi[i] = ' ';
  u16 wide[kSearchUrlMost + 2];
  int units = PlatAnsiToWide(ansi, static_cast<int>(take), wide, static_cast<int>(sizeof wide / sizeof wide[0]));
  if (units <= 0) return Fail(out, cap);
  if (cut) units--;  // the last character may have lost its trail byte
  for (int i = 0; i < units;) {
    const int n = (wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < units) ? 2 : 1;
    char utf8[8];
    const int bytes = PlatWideToMultiByte(kCodePageUtf8, wide + i, n, utf8, sizeof utf8);
    i += n;
    if (bytes <= 0) continue;
    char escaped[24];
    size_t e = 0;
    for (int b = 0; b < bytes; b++) {
      const u8 c = static_cast<u8>(utf8[b]);
      if (Unreserved(c)) {
        escaped[e++] = static_cast<char>(c);
      } else {
        Escape(c, escaped + e);
        e += 3;
      }
    }
    if (at + e > most) break;
    MemCopy(out + at, escaped, e);
    at += e;
    out[at] = 0;
  }
  return true;
}

bool UpdateCheckDue(u32 now, u32 last, u32 fail) {
  const u32 elapsed = now - last;
  const u64 need = fail ? static_cast<u64>(fail) * kUpdateFailUnits : kUpdateWeekUnits;
  return elapsed >= need;
}

void MakeUpdateHash(char hash[16]) {
  for (int i = 0; i < 15; i++) hash[i] = RandomLetter();
  hash[15] = 0;
}

UpdateNotice ApplyUpdateStatus(UpdateSettings *u, int status, u32 now, bool silent) {
  u->Last = now;
  if (status == 200 || status == 404) {
    u->Version = status == 200 ? kUpdateNewVersion : 0;
    u->Fail = 0;
    if (status == 200) return kNoticeNewVersion;
    return silent ? kNoticeNone : kNoticeNoUpdate;
  }
  u->Fail++;
  return silent ? kNoticeNone : kNoticeConnectionError;
}

PeriodicOutcome RunPeriodicCheck(UpdateSettings *u, u32 now, const PeriodicHooks &hooks) {
  if (!u->Hash[0]) MakeUpdateHash(u->Hash);
  if (!UpdateCheckDue(now, u->Last, u->Fail)) return kPeriodicNotDue;
  u->Inc++;
  if (hooks.save(hooks.context) == 0) {
    if (u->Last != 0) {
      hooks.spawn(hooks.context);
      return kPeriodicSpawned;
    }
    u->Last = now - kUpdateFirstRunBack;
    if (hooks.save(hooks.context) == 0) return kPeriodicFirstRun;
  }
  if (hooks.random(hooks.context) % 32 == 0) hooks.spawn(hooks.context);
  return kPeriodicSaveFailed;
}
