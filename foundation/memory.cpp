#include "foundation/memory.h"

#include "foundation/bytes.h"
#include "foundation/platform.h"

void *Allocate(size_t size) { return PlatHeapAlloc(size); }

void Free(void *block) { PlatHeapFree(block); }

void *Reallocate(void *block, size_t size) { return PlatHeapRealloc(block, size); }

void *ReallocateOrFree(void *block, size_t size) {
  void *grown = PlatHeapRealloc(block, size);
  if (!grown) PlatHeapFree(block);
  return grown;
}

int GrowArray(void **entries, size_t entrySize, u32 *capacity, u32 needed) {
  u32 cap = *capacity;
  if (cap >= needed) return 1;
  u64 want = cap ? cap : 1;
  while (want < needed) want *= 2;
  // The byte count must fit the address space; the entry count must fit u32.
  if (want > 0xFFFFFFFFull || want > SIZE_MAX / (entrySize ? entrySize : 1)) return 0;
  void *grown = PlatHeapRealloc(*entries, static_cast<size_t>(want) * entrySize);
  if (!grown) return 0;
  *entries = grown;
  *capacity = static_cast<u32>(want);
  return 1;
}

static void Report(const ProgressSink *progress, u64 done, u64 total) {
  if (progress && progress->report) progress->report(progress->context, done, total);
}

void *ReallocateThroughPagingFile(void *block, size_t bytesInUse, size_t newSize,
                                  const ProgressSink *progress) {
  void *grown = PlatHeapRealloc(block, newSize);
  if (grown) return grown;
  if (bytesInUse > newSize) bytesInUse = newSize;

  // Nothing to carry over: only the allocation itself is left to try.
  if (bytesInUse == 0) {
    PlatHeapFree(block);
    PlatHeapCompact();
    return PlatHeapAlloc(newSize);
  }

  PlatMapping mapping = PlatCreateMapping(bytesInUse);
  if (!mapping) {
    PlatHeapFree(block);
    return nullptr;
  }
  const u64 total = 2ull * bytesInUse;
  const char *src = static_cast<const char *>(block);
  for (size_t off = 0; off < bytesInUse;) {
    size_t n = bytesInUse - off < kPagingViewBytes ? bytesInUse - off : kPagingViewBytes;
    void *view = PlatMapView(mapping, off, n);
    if (!view) {
      PlatCloseMapping(mapping);
      PlatHeapFree(block);
      return nullptr;
    }
    MemCopy(view, src + off, n);
    PlatUnmapView(view, n);
    off += n;
    Report(progress, off, total);
  }

  PlatHeapFree(block);
  PlatHeapCompact();
  char *fresh = static_cast<char *>(PlatHeapAlloc(newSize));
  if (!fresh) {
    PlatCloseMapping(mapping);
    return nullptr;
  }
  for (size_t off = 0; off < bytesInUse;) {
    size_t n = bytesInUse - off < kPagingViewBytes ? bytesInUse - off : kPagingViewBytes;
    void *view = PlatMapView(mapping, off, n);
    if (!view) {
      PlatCloseMapping(mapping);
      PlatHeapFree(fresh);
      return nullptr;
    }
    MemCopy(fresh + off, view, n);
    PlatUnmapView(view, n);
    off += n;
    Report(progress, bytesInUse + off, total);
  }
  PlatCloseMapping(mapping);
  return fresh;
}
