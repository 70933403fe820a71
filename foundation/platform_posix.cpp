// POSIX backend of the platform layer: native tests, fuzzers, benchmarks.
// It answers as Windows does with 1252 as the ANSI code page.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
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

void *PlatHeapAlloc(size_t size) {
  if (FaultFires(kFaultAlloc)) return nullptr;
  // HeapAlloc hands out a valid block for size 0.
  return malloc(size ? size : 1);
}

void *PlatHeapRealloc(void *block, size_t size) {
  if (FaultFires(kFaultAlloc)) return nullptr;
  return realloc(block, size ? size : 1);
}

void PlatHeapFree(void *block) { free(block); }

void PlatHeapCompact() {}

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

int PlatMultiByteToWide(u32 codePage, const char *src, int len, u16 *dst, int cap) {
  if (len <= 0) return 0;
  if (codePage == kCodePageUtf8) return Utf8ToWide(src, len, dst, cap);
  if (cap == 0) return len;
  if (cap < len) return 0;
  return PlatAnsiToWide(src, len, dst, cap);
}

int PlatWideToMultiByte(u32 codePage, const u16 *src, int len, char *dst, int cap) {
  if (len <= 0) return 0;
  if (codePage == kCodePageUtf8) return WideToUtf8(src, len, dst, cap);
  if (cap == 0) return len;
  if (cap < len) return 0;
  return PlatWideToAnsi(src, len, dst, cap);
}

// ---- files ----

struct PlatFileRec {
  int fd;
};

PlatFile PlatFileOpen(const char *path, PlatOpenMode mode) {
  if (FaultFires(kFaultOpen)) return nullptr;
  int flags = mode == kPlatOpenRead ? O_RDONLY : mode == kPlatOpenRewrite ? O_WRONLY | O_CREAT | O_TRUNC
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
