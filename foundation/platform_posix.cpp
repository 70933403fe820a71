// POSIX backend of the platform layer: native tests, fuzzers, benchmarks.
// It answers as Windows does with 1252 as the ANSI code page.
#include <errno.h>
#include <iconv.h>
#include <malloc.h>
#include <limits.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "foundation/fault.h"
#include "foundation/platform.h"
#include "foundation/wsprintf_impl.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct CharAnswer {
  u16 ctype1, ctype3;
  u8 lower, upper;
  u16 wide;
};

const CharAnswer kCp1252[256] = {
#include "foundation/cp1252_table.inc"
};

}  // namespace

namespace {

// Blocks of text-sized data (a private copy of a selection, a tool's output)
// are touched once from end to end right after they are made. With 4 KiB
// pages each touch is a page fault, and where faults pass a hypervisor that
// costs more than the work on the text; 2 MiB pages take one fault per 512.
// The whole 2 MiB pages inside a large block are offered for huge pages,
// unless QP_SMALL_PAGES is set (where 4 KiB pages are cheap and 2 MiB pages
// cost the kernel's compaction: the benchmarks decide).
constexpr size_t kHugePage = 2u << 20;
constexpr size_t kHugeBlock = 4u << 20;

void *OfferHugePages(void *block, size_t size) {
  static const bool small = getenv("QP_SMALL_PAGES") != nullptr;
  if (block && size >= kHugeBlock && !small) {
    const uintptr_t first = (reinterpret_cast<uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size) & ~(kHugePage - 1);
    if (end > first) (void)madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
  }
  return block;
}

}  // namespace

void *PlatHeapAlloc(size_t size) {
  if (FaultFires(kFaultAlloc)) return nullptr;
  // HeapAlloc hands out a valid block for size 0.
  return OfferHugePages(malloc(size ? size : 1), size);
}

void *PlatHeapRealloc(void *block, size_t size) {
  if (FaultFires(kFaultAlloc)) return nullptr;
  return OfferHugePages(realloc(block, size ? size : 1), size);
}

void PlatHeapFree(void *block) { free(block); }

struct PlatThreadRec {
  pthread_t id;
  u32 (*fn)(void *);
  void *arg;
};

static void *ThreadTrampoline(void *p) {
  PlatThreadRec *t = static_cast<PlatThreadRec *>(p);
  t->fn(t->arg);
  return nullptr;
}

PlatThread PlatThreadStart(u32 (*fn)(void *), void *arg) {
  if (FaultFires(kFaultThread)) return nullptr;
  PlatThreadRec *t = static_cast<PlatThreadRec *>(malloc(sizeof(PlatThreadRec)));
  if (!t) return nullptr;
  t->fn = fn;
  t->arg = arg;
  if (pthread_create(&t->id, nullptr, ThreadTrampoline, t) != 0) {
    free(t);
    return nullptr;
  }
  return t;
}

void PlatThreadJoin(PlatThread t) {
  if (!t) return;
  pthread_join(t->id, nullptr);
  free(t);
}

void *PlatThreadWaitHandle(PlatThread) { return nullptr; }

struct PlatEventRec {
  pthread_mutex_t mutex;
  pthread_cond_t cond;
  bool set;
};

PlatEvent PlatEventCreate() {
  PlatEventRec *e = static_cast<PlatEventRec *>(malloc(sizeof(PlatEventRec)));
  if (!e) return nullptr;
  pthread_mutex_init(&e->mutex, nullptr);
  pthread_cond_init(&e->cond, nullptr);
  e->set = false;
  return e;
}

void PlatEventSet(PlatEvent e) {
  pthread_mutex_lock(&e->mutex);
  e->set = true;
  pthread_cond_signal(&e->cond);
  pthread_mutex_unlock(&e->mutex);
}

void PlatEventWait(PlatEvent e) {
  pthread_mutex_lock(&e->mutex);
  while (!e->set) pthread_cond_wait(&e->cond, &e->mutex);
  e->set = false;
  pthread_mutex_unlock(&e->mutex);
}

void PlatEventClose(PlatEvent e) {
  if (!e) return;
  pthread_cond_destroy(&e->cond);
  pthread_mutex_destroy(&e->mutex);
  free(e);
}

size_t PlatHeapSize(const void *block) { return block ? malloc_usable_size(const_cast<void *>(block)) : 0; }

void PlatHeapCompact() {}

bool PlatHeapTopDown(const void **lowest, u32 *straddling) {
  if (lowest) *lowest = nullptr;
  if (straddling) *straddling = 0;
  return false;
}

struct PlatMappingRec {
  void *base;
  size_t bytes;
};

PlatMapping PlatCreateMapping(u64 bytes) {
  if (FaultFires(kFaultMap)) return nullptr;
  if (bytes == 0 || bytes > SIZE_MAX) return nullptr;
  PlatMapping m = static_cast<PlatMapping>(malloc(sizeof(PlatMappingRec)));
  if (!m) return nullptr;
  m->bytes = static_cast<size_t>(bytes);
  m->base = mmap(nullptr, m->bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m->base == MAP_FAILED) {
    free(m);
    return nullptr;
  }
  OfferHugePages(m->base, m->bytes);
  return m;
}

void *PlatMapView(PlatMapping mapping, u64 offset, size_t bytes) {
  if (FaultFires(kFaultMap)) return nullptr;
  if (!mapping || offset > mapping->bytes || bytes > mapping->bytes - offset) return nullptr;
  return static_cast<char *>(mapping->base) + offset;
}

void PlatUnmapView(void *, size_t) {}

void PlatCloseMapping(PlatMapping mapping) {
  if (!mapping) return;
  munmap(mapping->base, mapping->bytes);
  free(mapping);
}

u64 PlatSystemTimeAsFileTime() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  // 1601-01-01 to 1970-01-01 in 100-ns units.
  const u64 kEpochDelta = 116444736000000000ull;
  return kEpochDelta + static_cast<u64>(ts.tv_sec) * 10000000ull + static_cast<u64>(ts.tv_nsec) / 100;
}

u32 PlatTickCount() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<u32>(static_cast<u64>(ts.tv_sec) * 1000u + static_cast<u64>(ts.tv_nsec) / 1000000u);
}

u32 PlatCurrentThreadId() { return static_cast<u32>(syscall(SYS_gettid)); }

u32 PlatCurrentProcessId() { return static_cast<u32>(getpid()); }

u32 PlatTlsAlloc() {
  pthread_key_t key;
  if (pthread_key_create(&key, nullptr) != 0) return kPlatTlsNone;
  return static_cast<u32>(key);
}

void PlatTlsFree(u32 slot) { pthread_key_delete(static_cast<pthread_key_t>(slot)); }

bool PlatTlsSet(u32 slot, void *value) {
  return pthread_setspecific(static_cast<pthread_key_t>(slot), value) == 0;
}

void *PlatTlsGet(u32 slot) { return pthread_getspecific(static_cast<pthread_key_t>(slot)); }

void PlatCharTypes(u8 c, u16 *ctype1, u16 *ctype3) {
  *ctype1 = kCp1252[c].ctype1;
  *ctype3 = kCp1252[c].ctype3;
}

u8 PlatCharLower(u8 c) { return kCp1252[c].lower; }

u8 PlatCharUpper(u8 c) { return kCp1252[c].upper; }

int PlatAnsiToWide(const char *src, int len, u16 *dst, int cap) {
  int n = 0;
  for (; n < len && n < cap; n++) dst[n] = kCp1252[static_cast<u8>(src[n])].wide;
  return n;
}

int PlatWideToAnsi(const u16 *src, int len, char *dst, int cap) {
  // The code page backwards: 0 marks a character it does not have.
  static const u16 *const reverse = [] {
    static u16 table[65536];
    for (int b = 255; b >= 0; b--) table[kCp1252[b].wide] = static_cast<u16>(b + 1);
    return table;
  }();
  int n = 0;
  for (; n < len && n < cap; n++) {
    u16 b = reverse[src[n]];
    dst[n] = b ? static_cast<char>(b - 1) : '?';  // the system's default character
  }
  return n;
}

int PlatFormatV(char *out, const char *format, va_list args) {
  return wsprintf_impl::Format<char>(out, format, args);
}

int PlatFormatWV(u16 *out, const u16 *format, va_list args) {
  return wsprintf_impl::Format<u16>(out, format, args);
}

// ---- code pages: the ANSI code page is 1252; UTF-8 besides ----

namespace {

int Utf8ToWide(const char *src, int len, u16 *dst, int cap) {
  const u8 *s = reinterpret_cast<const u8 *>(src);
  int n = 0;
  auto put = [&](u32 unit) {
    if (cap && n < cap) dst[n] = static_cast<u16>(unit);
    n++;
  };
  for (int i = 0; i < len;) {
    u8 b = s[i];
    u32 cp;
    int extra;
    if (b < 0x80) {
      cp = b;
      extra = 0;
    } else if (b >= 0xC2 && b < 0xE0) {
      cp = b & 0x1F;
      extra = 1;
    } else if (b >= 0xE0 && b < 0xF0) {
      cp = b & 0x0F;
      extra = 2;
    } else if (b >= 0xF0 && b < 0xF5) {
      cp = b & 0x07;
      extra = 3;
    } else {
      put(0xFFFD);
      i++;
      continue;
    }
    int j = 1;
    for (; j <= extra && i + j < len && (s[i + j] & 0xC0) == 0x80; j++) cp = (cp << 6) | (s[i + j] & 0x3F);
    if (j <= extra || (extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000))) ||
        (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) {
      put(0xFFFD);
      i += j;
      continue;
    }
    i += j;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  if (cap && n > cap) return 0;  // the buffer was too small
  return n;
}

int WideToUtf8(const u16 *src, int len, char *dst, int cap) {
  int n = 0;
  auto put = [&](u32 byte) {
    if (cap && n < cap) dst[n] = static_cast<char>(byte);
    n++;
  };
  for (int i = 0; i < len; i++) {
    u32 cp = src[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < len && src[i + 1] >= 0xDC00 && src[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (src[i + 1] - 0xDC00);
      i++;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      put(cp);
    } else if (cp < 0x800) {
      put(0xC0 | (cp >> 6));
      put(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      put(0xE0 | (cp >> 12));
      put(0x80 | ((cp >> 6) & 0x3F));
      put(0x80 | (cp & 0x3F));
    } else {
      put(0xF0 | (cp >> 18));
      put(0x80 | ((cp >> 12) & 0x3F));
      put(0x80 | ((cp >> 6) & 0x3F));
      put(0x80 | (cp & 0x3F));
    }
  }
  if (cap && n > cap) return 0;
  return n;
}

}  // namespace

// Other code pages go through iconv, under the names it knows them by.
namespace {

struct CodePageDef {
  u32 number;
  const char *iconvName;
  u32 maxCharSize;
  const char *name;
};

const CodePageDef kCodePages[] = {
    {437, "CP437", 1, "437   (OEM - United States)"},
    {850, "CP850", 1, "850   (OEM - Multilingual Latin I)"},
    {852, "CP852", 1, "852   (OEM - Latin II)"},
    {866, "CP866", 1, "866   (OEM - Russian)"},
    {874, "CP874", 1, "874   (ANSI/OEM - Thai)"},
    {932, "CP932", 2, "932   (ANSI/OEM - Japanese Shift-JIS)"},
    {936, "CP936", 2, "936   (ANSI/OEM - Simplified Chinese GBK)"},
    {949, "CP949", 2, "949   (ANSI/OEM - Korean)"},
    {950, "CP950", 2, "950   (ANSI/OEM - Traditional Chinese Big5)"},
    {1250, "CP1250", 1, "1250  (ANSI - Central Europe)"},
    {1251, "CP1251", 1, "1251  (ANSI - Cyrillic)"},
    {1252, "CP1252", 1, "1252  (ANSI - Latin I)"},
    {1253, "CP1253", 1, "1253  (ANSI - Greek)"},
    {1254, "CP1254", 1, "1254  (ANSI - Turkish)"},
    {1255, "CP1255", 1, "1255  (ANSI - Hebrew)"},
    {1256, "CP1256", 1, "1256  (ANSI - Arabic)"},
    {1257, "CP1257", 1, "1257  (ANSI - Baltic)"},
    {1258, "CP1258", 1, "1258  (ANSI/OEM - Viet Nam)"},
    {10000, "MACINTOSH", 1, "10000 (MAC - Roman)"},
    {20866, "KOI8-R", 1, "20866 (Russian - KOI8)"},
    {28591, "ISO-8859-1", 1, "28591 (ISO 8859-1 Latin I)"},
    {28592, "ISO-8859-2", 1, "28592 (ISO 8859-2 Central Europe)"},
    {28595, "ISO-8859-5", 1, "28595 (ISO 8859-5 Cyrillic)"},
    {28597, "ISO-8859-7", 1, "28597 (ISO 8859-7 Greek)"},
    {28605, "ISO-8859-15", 1, "28605 (ISO 8859-15 Latin 9)"},
    {65000, "UTF-7", 5, "65000 (UTF-7)"},
    {65001, "UTF-8", 4, "65001 (UTF-8)"},
};

// The ANSI code page is 1252 here; tests of double-byte text name another in
// QP_ANSI_CODEPAGE (read at each call, so that a test can switch).
const CodePageDef *FindCodePage(u32 cp) {
  if (cp == kCodePageAnsi) {
    const char *forced = getenv("QP_ANSI_CODEPAGE");
    cp = forced && *forced ? static_cast<u32>(strtoul(forced, nullptr, 10)) : 1252;
  }
  for (const CodePageDef &d : kCodePages)
    if (d.number == cp) return &d;
  return nullptr;
}

// Converts with iconv; returns the units (or bytes) written, or the length
// needed when cap is 0. Characters it cannot convert become `replacement`
// and set *usedDefault.
int IconvConvert(const char *from, const char *to, const char *src, size_t srcBytes, char *dst, size_t dstBytes,
                 size_t unit, size_t outUnit, const char *replacement, size_t replacementBytes, bool *usedDefault) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
  std::vector<char> scratch;
  bool counting = dstBytes == 0;
  if (counting) {
    scratch.resize(srcBytes * 8 + 16);
    dst = scratch.data();
    dstBytes = scratch.size();
  }
  char *in = const_cast<char *>(src);
  size_t inLeft = srcBytes;
  char *out = dst;
  size_t outLeft = dstBytes;
  bool overflow = false;
  while (inLeft > 0) {
    size_t r = iconv(cd, &in, &inLeft, &out, &outLeft);
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      overflow = true;
      break;
    }
    // An invalid or unconvertible input unit: replace it and go on.
    if (outLeft < replacementBytes) {
      overflow = true;
      break;
    }
    memcpy(out, replacement, replacementBytes);
    out += replacementBytes;
    outLeft -= replacementBytes;
    if (usedDefault) *usedDefault = true;
    size_t skip = unit < inLeft ? unit : inLeft;
    in += skip;
    inLeft -= skip;
  }
  iconv_close(cd);
  if (overflow) return 0;
  return static_cast<int>((dstBytes - outLeft) / outUnit);
}

}  // namespace

int PlatMultiByteToWide(u32 codePage, const char *src, int len, u16 *dst, int cap) {
  if (len <= 0) return 0;
  if (codePage == kCodePageUtf8) return Utf8ToWide(src, len, dst, cap);
  const CodePageDef *d = FindCodePage(codePage);
  if (!d) return 0;
  if (d->number == 1252) {
    if (cap == 0) return len;
    if (cap < len) return 0;
    return PlatAnsiToWide(src, len, dst, cap);
  }
  static const char kReplacement[2] = {'\xFD', '\xFF'};  // U+FFFD, little-endian
  return IconvConvert(d->iconvName, "UTF-16LE", src, static_cast<size_t>(len), reinterpret_cast<char *>(dst),
                      static_cast<size_t>(cap) * 2, 1, 2, kReplacement, 2, nullptr);
}

int PlatWideToMultiByteChecked(u32 codePage, const u16 *src, int len, char *dst, int cap, bool *usedDefault) {
  *usedDefault = false;
  if (len <= 0) return 0;
  if (codePage == kCodePageUtf8) return WideToUtf8(src, len, dst, cap);
  const CodePageDef *d = FindCodePage(codePage);
  if (!d) return 0;
  if (d->number == 1252) {
    if (cap == 0) return len;
    if (cap < len) return 0;
    int n = PlatWideToAnsi(src, len, dst, cap);
    for (int i = 0; i < n; i++)
      if (dst[i] == '?' && src[i] != '?') *usedDefault = true;
    return n;
  }
  return IconvConvert("UTF-16LE", d->iconvName, reinterpret_cast<const char *>(src), static_cast<size_t>(len) * 2,
                      dst, static_cast<size_t>(cap), 2, 1, "?", 1, usedDefault);
}

int PlatWideToMultiByte(u32 codePage, const u16 *src, int len, char *dst, int cap) {
  bool used;
  return PlatWideToMultiByteChecked(codePage, src, len, dst, cap, &used);
}

void PlatEnumCodePages(bool (*visit)(void *context, u32 codePage), void *context) {
  for (const CodePageDef &d : kCodePages) {
    iconv_t cd = iconv_open("UTF-16LE", d.iconvName);
    if (cd == reinterpret_cast<iconv_t>(-1)) continue;
    iconv_close(cd);
    if (!visit(context, d.number)) return;
  }
}

bool PlatCodePageInfo(u32 codePage, u32 *maxCharSize, char *name, int cap) {
  const CodePageDef *d = FindCodePage(codePage);
  if (!d) return false;
  *maxCharSize = d->maxCharSize;
  if (cap > 0) snprintf(name, static_cast<size_t>(cap), "%s", d->name);
  return true;
}

bool PlatIsLeadByte(u32 codePage, u8 c) {
  const CodePageDef *d = FindCodePage(codePage);
  if (!d || d->maxCharSize != 2) return false;
  return d->number == 932 ? (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC) : c >= 0x81 && c <= 0xFE;
}

const char *PlatCharNext(u32 codePage, const char *p) {
  if (!*p) return p;
  return PlatIsLeadByte(codePage, static_cast<u8>(*p)) && p[1] ? p + 2 : p + 1;
}

// A stand-in for the system's statistical test: text whose high bytes stay
// calm while its low bytes move is UTF-16 little-endian, the reverse is
// big-endian; some units never occur in text.
bool PlatIsTextUnicode(const void *bytes, int size, int *flags) {
  const int kStatistics = 0x2, kSignature = 0x8, kReverseStatistics = 0x20, kReverseSignature = 0x80,
            kIllegal = 0x100, kOddLength = 0x200;
  int wanted = *flags;
  if (size < 2) {
    *flags = 0;
    return false;
  }
  const u8 *b = static_cast<const u8 *>(bytes);
  int out = (size & 1) ? kOddLength : 0;
  int units = size / 2;
  if (units > 256) units = 256;
  u32 first = b[0] | (b[1] << 8);
  if (first == 0xFEFF) out |= kSignature;
  if (first == 0xFFFE) out |= kReverseSignature;
  u32 loDiff = 0, hiDiff = 0;
  u8 lastLo = 0, lastHi = 0;
  for (int i = 0; i < units; i++) {
    u8 lo = b[2 * i], hi = b[2 * i + 1];
    u32 unit = lo | (hi << 8);
    loDiff += lo > lastLo ? lo - lastLo : lastLo - lo;
    hiDiff += hi > lastHi ? hi - lastHi : lastHi - hi;
    lastLo = lo;
    lastHi = hi;
    if (unit == 0xFFFE || unit == 0xFFFF || unit == 0x0000 || unit == 0x0A0D) out |= kIllegal;
  }
  if (3 * loDiff > hiDiff) out |= kStatistics;
  if (3 * hiDiff > loDiff) out |= kReverseStatistics;
  out &= wanted;
  *flags = out;
  if (out & 0x0FF0) return false;
  return (out & 0x000F) != 0;
}

// ---- files ----

struct PlatFileRec {
  int fd;
};

PlatFile PlatFileOpen(const char *path, PlatOpenMode mode) {
  if (FaultFires(kFaultOpen)) return nullptr;
  int flags = mode == kPlatOpenRead      ? O_RDONLY
              : mode == kPlatOpenRewrite ? O_WRONLY | O_CREAT | O_TRUNC
              : mode == kPlatOpenAlways  ? O_WRONLY | O_CREAT
                                         : O_WRONLY | O_CREAT | O_EXCL;
  int fd = open(path, flags | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  PlatFile f = static_cast<PlatFile>(malloc(sizeof(PlatFileRec)));
  if (!f) {
    close(fd);
    return nullptr;
  }
  f->fd = fd;
  return f;
}

void PlatFileClose(PlatFile file) {
  if (!file) return;
  close(file->fd);
  free(file);
}

bool PlatFileSize(PlatFile file, u64 *size) {
  struct stat st;
  if (fstat(file->fd, &st) != 0) return false;
  *size = static_cast<u64>(st.st_size);
  return true;
}

bool PlatFileRead(PlatFile file, void *buf, u32 n, u32 *got) {
  *got = 0;
  if (FaultFires(kFaultRead)) return false;
  ssize_t r;
  do r = read(file->fd, buf, n);
  while (r < 0 && errno == EINTR);
  if (r < 0) return false;
  *got = static_cast<u32>(r);
  return true;
}

bool PlatFileWrite(PlatFile file, const void *buf, u32 n) {
  if (FaultFires(kFaultWrite)) return false;
  const char *p = static_cast<const char *>(buf);
  while (n > 0) {
    ssize_t w = write(file->fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<u32>(w);
  }
  return true;
}

bool PlatFileFlush(PlatFile file) {
  if (FaultFires(kFaultFlush)) return false;
  return fsync(file->fd) == 0;
}

bool PlatFileExists(const char *path) { return access(path, F_OK) == 0; }

bool PlatFileReplace(const char *from, const char *to) {
  if (FaultFires(kFaultRename)) return false;
  struct stat st;
  bool had = stat(to, &st) == 0;
  if (rename(from, to) != 0) return false;
  if (had) chmod(to, st.st_mode & 07777);
  return true;
}

// Windows attributes have no POSIX home but read-only; the others are kept
// here for the tests, by path.
static std::map<std::string, u32> &ExtraAttributes() {
  static std::map<std::string, u32> *extra = new std::map<std::string, u32>;
  return *extra;
}
static std::mutex g_attributeLock;

bool PlatGetAttributes(const char *path, u32 *attributes) {
  struct stat st;
  if (stat(path, &st) != 0) return false;
  u32 a = (st.st_mode & 0222) ? 0 : kAttrReadOnly;
  {
    std::lock_guard<std::mutex> guard(g_attributeLock);
    auto it = ExtraAttributes().find(path);
    if (it != ExtraAttributes().end()) a |= it->second;
  }
  *attributes = a ? a : kAttrNormal;
  return true;
}

bool PlatSetAttributes(const char *path, u32 attributes) {
  struct stat st;
  if (stat(path, &st) != 0) return false;
  mode_t mode = (attributes & kAttrReadOnly) ? (st.st_mode & ~0222) : (st.st_mode | 0200);
  if (chmod(path, mode) != 0) return false;
  std::lock_guard<std::mutex> guard(g_attributeLock);
  ExtraAttributes()[path] = attributes & ~(kAttrReadOnly | kAttrNormal);
  return true;
}

bool PlatLastWriteTime(const char *path, u64 *time) {
  struct stat st;
  if (stat(path, &st) != 0) return false;
  *time = 116444736000000000ull + static_cast<u64>(st.st_mtim.tv_sec) * 10000000ull +
          static_cast<u64>(st.st_mtim.tv_nsec) / 100;
  return true;
}

int PlatCopyFile(const char *from, const char *to) {
  if (FaultFires(kFaultWrite)) return 2;
  int in = open(from, O_RDONLY | O_CLOEXEC);
  if (in < 0) return errno == ENOENT ? 1 : 2;
  int out = open(to, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) {
    close(in);
    return 2;
  }
  char buf[65536];
  int r = 0;
  for (ssize_t n; (n = read(in, buf, sizeof buf)) != 0;) {
    if (n < 0 || write(out, buf, static_cast<size_t>(n)) != n) {
      r = 2;
      break;
    }
  }
  close(in);
  if (close(out) != 0) r = 2;
  return r;
}

bool PlatCreateFolder(const char *path) { return mkdir(path, 0755) == 0 || errno == EEXIST; }

int PlatAppDataFolder(char *buf, int cap) {
  const char *home = getenv("HOME");
  if (!home || !*home) return 0;
  int n = snprintf(buf, static_cast<size_t>(cap), "%s/.local/share/", home);
  return n > 0 && n < cap ? n : 0;
}

bool PlatFileDelete(const char *path) {
  if (FaultFires(kFaultRename)) return false;
  return unlink(path) == 0;
}

static int FolderOf(const char *path, char *buf, int cap) {
  const char *slash = strrchr(path, '/');
  if (!slash) return 0;
  int n = static_cast<int>(slash - path) + 1;
  if (n >= cap) return 0;
  memcpy(buf, path, static_cast<size_t>(n));
  buf[n] = 0;
  return n;
}

bool PlatFullPath(const char *path, char *out, int cap) {
  char resolved[PATH_MAX * 2 + 2];
  const char *result = path;
  bool ok = false;
  if (realpath(path, resolved)) {
    result = resolved;
    ok = true;
  } else if (path[0] != '/') {
    // A file that does not exist yet: its folder's full form and its name.
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) {
      snprintf(resolved, sizeof resolved, "%s/%s", cwd, path);
      result = resolved;
      ok = true;
    }
  } else {
    ok = true;
  }
  // out may be path itself: the result is copied from a buffer of its own.
  if (result == path) {
    snprintf(resolved, sizeof resolved, "%s", path);
    result = resolved;
  }
  snprintf(out, static_cast<size_t>(cap), "%s", result);
  return ok;
}

bool PlatFileTitle(const char *path, char *out, int cap) {
  const char *slash = strrchr(path, '/');
  snprintf(out, static_cast<size_t>(cap), "%s", slash ? slash + 1 : path);
  return true;
}

int PlatModuleFolder(char *buf, int cap) {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return 0;
  path[n] = 0;
  return FolderOf(path, buf, cap);
}

int PlatUserFolder(char *buf, int cap) {
  const char *home = getenv("HOME");
  if (!home || !*home) return 0;
  int n = snprintf(buf, static_cast<size_t>(cap), "%s/", home);
  return n > 0 && n < cap ? n : 0;
}

// ---- mutex: a lock on a file that every process of the same user shares ----

struct PlatMutexRec {
  int fd;
};

PlatMutex PlatMutexOpen(const char *name) {
  char path[512];
  snprintf(path, sizeof path, "/tmp/.quillpad-mutex-%u-%s", static_cast<unsigned>(getuid()), name);
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  PlatMutex m = static_cast<PlatMutex>(malloc(sizeof(PlatMutexRec)));
  if (!m) {
    close(fd);
    return nullptr;
  }
  m->fd = fd;
  return m;
}

bool PlatMutexWait(PlatMutex mutex) {
  int r;
  do r = flock(mutex->fd, LOCK_EX);
  while (r != 0 && errno == EINTR);
  return r == 0;
}

void PlatMutexRelease(PlatMutex mutex) { flock(mutex->fd, LOCK_UN); }

void PlatMutexClose(PlatMutex mutex) {
  if (!mutex) return;
  close(mutex->fd);
  free(mutex);
}

// ---- registry: kept in memory, for the tests of the registry store ----

namespace {

struct RegValue {
  std::string name;
  u32 type;
  std::string data;
};

struct RegTree {
  std::mutex lock;
  std::map<std::string, std::vector<RegValue>> keys;  // by lower-case path
};

RegTree &Registry() {
  static RegTree *tree = new RegTree;
  return *tree;
}

std::string Lower(std::string s) {
  for (char &c : s) c = static_cast<char>(PlatCharLower(static_cast<u8>(c)));
  return s;
}

}  // namespace

struct PlatRegKeyRec {
  std::string path;  // lower case
};

PlatRegKey PlatRegOpen(PlatRegKey parent, const char *path, bool create) {
  std::string full = Lower(parent ? parent->path + "\\" + path : std::string(path));
  RegTree &r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  if (!r.keys.count(full)) {
    if (!create) return nullptr;
    // Create every missing key on the way, as the registry does.
    for (size_t i = full.find('\\'); i != std::string::npos; i = full.find('\\', i + 1)) r.keys[full.substr(0, i)];
    r.keys[full];
  }
  return new PlatRegKeyRec{full};
}

void PlatRegClose(PlatRegKey key) { delete key; }

static RegValue *FindValue(std::vector<RegValue> &values, const char *name) {
  std::string lower = Lower(name ? name : "");
  for (RegValue &v : values)
    if (Lower(v.name) == lower) return &v;
  return nullptr;
}

bool PlatRegQuery(PlatRegKey key, const char *name, u32 *type, void *data, u32 *size) {
  RegTree &r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.keys.find(key->path);
  if (it == r.keys.end()) return false;
  RegValue *v = FindValue(it->second, name);
  if (!v) return false;
  *type = v->type;
  u32 need = static_cast<u32>(v->data.size());
  bool fits = need <= *size;
  if (fits && data) memcpy(data, v->data.data(), need);
  *size = need;
  return fits;
}

bool PlatRegSet(PlatRegKey key, const char *name, u32 type, const void *data, u32 size) {
  if (FaultFires(kFaultWrite)) return false;
  RegTree &r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.keys.find(key->path);
  if (it == r.keys.end()) return false;
  std::string bytes(static_cast<const char *>(data), size);
  if (RegValue *v = FindValue(it->second, name)) {
    v->type = type;
    v->data = bytes;
  } else {
    it->second.push_back({name ? name : "", type, bytes});
  }
  return true;
}

bool PlatRegDeleteValue(PlatRegKey key, const char *name) {
  RegTree &r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.keys.find(key->path);
  if (it == r.keys.end()) return false;
  RegValue *v = FindValue(it->second, name);
  if (!v) return false;
  it->second.erase(it->second.begin() + (v - it->second.data()));
  return true;
}

bool PlatRegEnumValue(PlatRegKey key, u32 index, char *name, u32 cap) {
  RegTree &r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.keys.find(key->path);
  if (it == r.keys.end() || index >= it->second.size()) return false;
  const std::string &n = it->second[index].name;
  if (n.size() + 1 > cap) return false;
  memcpy(name, n.c_str(), n.size() + 1);
  return true;
}

bool PlatRegDeleteTree(PlatRegKey parent, const char *path) {
  std::string full = Lower(parent ? parent->path + "\\" + path : std::string(path));
  RegTree &r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  bool found = false;
  for (auto it = r.keys.begin(); it != r.keys.end();) {
    if (it->first == full || it->first.compare(0, full.size() + 1, full + "\\") == 0) {
      it = r.keys.erase(it);
      found = true;
    } else {
      ++it;
    }
  }
  return found;
}

// ---- locale and colours: what an English (United States) Windows answers ----

int PlatLocaleInfo(PlatLocaleItem item, char *buf, int cap) {
  static const char *const kValues[] = {".", ",", "1", "-", ""};
  if (cap <= 0) return 0;
  int n = snprintf(buf, static_cast<size_t>(cap), "%s", kValues[item]);
  return n > 0 && n < cap ? n : 0;
}

u32 PlatSysColor(int index) {
  // The classic scheme; indexes as COLOR_*.
  static const u32 kColors[31] = {
      0xC8D0D4, 0xA56E3A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000, 0x000000, 0xFFFFFF,
      0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4, 0x808080, 0x808080, 0x000000, 0xC8D0D4,
      0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000, 0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0xD77800,
      0xC8D0D4};
  return index >= 0 && index < 31 ? kColors[index] : 0;
}

// ---- pipes ----

bool PlatCreatePipe(PlatFile *readEnd, PlatFile *writeEnd) {
  // A write to a pipe nobody reads must fail, not end the process.
  signal(SIGPIPE, SIG_IGN);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  PlatFile r = static_cast<PlatFile>(malloc(sizeof(PlatFileRec)));
  PlatFile w = static_cast<PlatFile>(malloc(sizeof(PlatFileRec)));
  if (!r || !w) {
    free(r);
    free(w);
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  r->fd = fds[0];
  w->fd = fds[1];
  *readEnd = r;
  *writeEnd = w;
  return true;
}

PlatPipeResult PlatPipeRead(PlatFile end, void *buf, u32 n, u32 *got) {
  *got = 0;
  if (FaultFires(kFaultRead)) return kPipeFailed;
  ssize_t r;
  do r = read(end->fd, buf, n);
  while (r < 0 && errno == EINTR);
  if (r < 0) return kPipeFailed;
  *got = static_cast<u32>(r);
  return r ? kPipeOk : kPipeBroken;
}

PlatPipeResult PlatPipeWrite(PlatFile end, const void *buf, u32 n) {
  if (FaultFires(kFaultWrite)) return kPipeFailed;
  const char *p = static_cast<const char *>(buf);
  while (n > 0) {
    ssize_t w = write(end->fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) return errno == EPIPE ? kPipeBroken : kPipeFailed;
    p += w;
    n -= static_cast<u32>(w);
  }
  return kPipeOk;
}
