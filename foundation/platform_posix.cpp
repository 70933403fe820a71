// POSIX backend of the platform layer: native tests, fuzzers, benchmarks.
// It answers as Windows does with 1252 as the ANSI code page.
#include <pthread.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "foundation/fault.h"
#include "foundation/platform.h"
#include "foundation/wsprintf_impl.h"

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
  int n = 0;
  for (; n < len && n < cap; n++) {
    char out = '?';  // the system's default character
    for (int b = 0; b < 256; b++) {
      if (kCp1252[b].wide == src[n]) {
        out = static_cast<char>(b);
        break;
      }
    }
    dst[n] = out;
  }
  return n;
}

int PlatFormatV(char *out, const char *format, va_list args) {
  return wsprintf_impl::Format<char>(out, format, args);
}

int PlatFormatWV(u16 *out, const u16 *format, va_list args) {
  return wsprintf_impl::Format<u16>(out, format, args);
}
