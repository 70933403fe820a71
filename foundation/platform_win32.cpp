// Win32 backend of the platform layer: the product's.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include "foundation/fault.h"
#include "foundation/platform.h"

// ---- the heap, and its top-down test mode ----
//
// With QP_TOP_DOWN=1 in the environment (read once, at the first
// allocation, so that every block of the process is of one kind), tests run
// the engine with its blocks where a large-address-aware 32-bit process on
// 64-bit Windows gets them late in a long session: above 2 GiB. Blocks of
// 64 KiB and more come from VirtualAlloc with MEM_TOP_DOWN (the top of the
// address space); smaller ones from a private heap made while the lower
// 2 GiB were taken (4 GiB in a 64-bit process), which stay taken, so that
// whatever the process maps from then on lies above them too. A pointer cut
// to 32 bits and widened again, or an end computed past the top, then goes
// wrong. In a 32-bit process one large block at a time gets the place that
// straddles 2 GiB (64 KiB below the line, the rest above), so that pointers
// into one block compared or subtracted as signed numbers go wrong as well.

namespace {

constexpr size_t kTopDownLarge = 65536;
constexpr size_t kBlockHeader = 16;  // magic (4), pad (4), size (8): keeps 16-byte alignment
constexpr u32 kMagicVirtual = 0x41565051;  // "QPVA"
constexpr u32 kMagicHeap = 0x50485051;     // "QPHP"
constexpr u32 kMagicStraddle = 0x53565051;  // "QPVS"

#ifdef _WIN64
constexpr uintptr_t kHalf = 0x100000000ull;
#else
constexpr uintptr_t kHalf = 0x80000000u;
// The straddling place, kept reserved while no block has it.
constexpr uintptr_t kStraddle = kHalf - 0x10000;
constexpr size_t kStraddleBytes = 0x1000000;
void *g_straddle;  // the place, or null where it could not be had
void *g_straddleRest;  // the place beyond the block that has it
volatile LONG g_straddleTaken;
#endif

int g_heapMode = -1;  // -1 not decided, 0 the process heap, 1 top-down
HANDLE g_highHeap;
volatile uintptr_t g_lowestBlock = ~static_cast<uintptr_t>(0);
volatile LONG g_straddled;  // blocks that had the straddling place

#ifdef _WIN64
void TakeLowerHalf() {
  // Every free region below 4 GiB, so that a pointer cut to 32 bits is
  // wrong, reserved and never released.
  MEMORY_BASIC_INFORMATION mbi;
  for (uintptr_t p = 0x10000; p < kHalf;) {
    if (!VirtualQuery(reinterpret_cast<void *>(p), &mbi, sizeof mbi)) break;
    const uintptr_t base = reinterpret_cast<uintptr_t>(mbi.BaseAddress);
    uintptr_t end = base + mbi.RegionSize;
    if (end <= p) break;
    if (mbi.State == MEM_FREE) {
      const uintptr_t a = (base + 0xFFFF) & ~static_cast<uintptr_t>(0xFFFF);
      const uintptr_t e = end < kHalf ? end : kHalf;
      if (e > a) (void)VirtualAlloc(reinterpret_cast<void *>(a), e - a, MEM_RESERVE, PAGE_NOACCESS);
    }
    p = end;
  }
}
#else
void TakeLowerHalf() {
  // Wine shows the areas it set aside at start as reserved, yet hands them
  // out later: a walk over the free regions misses them. So the whole
  // address space is reserved, largest pieces first; what lies below 2 GiB
  // is kept, the rest given back.
  g_straddle = VirtualAlloc(reinterpret_cast<void *>(kStraddle), kStraddleBytes, MEM_RESERVE, PAGE_NOACCESS);
  static void *high[1024];
  u32 count = 0;
  for (size_t size = 0x40000000; size >= 0x10000; size >>= 1) {
    while (count < sizeof high / sizeof high[0]) {
      void *p = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
      if (!p) break;
      if (reinterpret_cast<uintptr_t>(p) + size > kHalf) high[count++] = p;
    }
  }
  while (count) VirtualFree(high[--count], 0, MEM_RELEASE);
}

// The straddling place for a block of `bytes` (header included), or null.
// The rest of the place stays reserved, so that it is whole again when the
// block is freed.
void *TakeStraddle(size_t bytes) {
  if (!g_straddle || bytes > kStraddleBytes || InterlockedExchange(&g_straddleTaken, 1)) return nullptr;
  VirtualFree(g_straddle, 0, MEM_RELEASE);
  void *b = VirtualAlloc(g_straddle, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (b) {
    const size_t used = (bytes + 0xFFFF) & ~static_cast<size_t>(0xFFFF);
    g_straddleRest = used < kStraddleBytes ? VirtualAlloc(static_cast<char *>(b) + used, kStraddleBytes - used,
                                                          MEM_RESERVE, PAGE_NOACCESS)
                                           : nullptr;
    InterlockedIncrement(&g_straddled);
    return b;
  }
  // Something else took it meanwhile: no more straddling blocks.
  g_straddle = nullptr;
  return nullptr;
}

void GiveStraddleBack(void *base) {
  VirtualFree(base, 0, MEM_RELEASE);
  if (g_straddleRest) VirtualFree(g_straddleRest, 0, MEM_RELEASE);
  g_straddleRest = nullptr;
  g_straddle = VirtualAlloc(base, kStraddleBytes, MEM_RESERVE, PAGE_NOACCESS);
  InterlockedExchange(&g_straddleTaken, 0);
}
#endif

int HeapMode() {
  if (g_heapMode < 0) {
    char value[8] = "";
    const DWORD n = GetEnvironmentVariableA("QP_TOP_DOWN", value, sizeof value);
    g_heapMode = 0;
    if (n == 1 && value[0] == '1') {
      TakeLowerHalf();
      g_highHeap = HeapCreate(0, 0, 0);
      if (g_highHeap) g_heapMode = 1;
    }
  }
  return g_heapMode;
}

void NoteBlock(const void *p) {
  const uintptr_t a = reinterpret_cast<uintptr_t>(p);
  uintptr_t seen = g_lowestBlock;
  while (a < seen) {
    const uintptr_t was = reinterpret_cast<uintptr_t>(InterlockedCompareExchangePointer(
        reinterpret_cast<PVOID volatile *>(&g_lowestBlock), reinterpret_cast<PVOID>(a), reinterpret_cast<PVOID>(seen)));
    if (was == seen) break;
    seen = was;
  }
}

char *Header(const void *block) { return static_cast<char *>(const_cast<void *>(block)) - kBlockHeader; }
u32 MagicOf(const void *block) {
  u32 m;
  memcpy(&m, Header(block), 4);
  return m;
}
size_t SizeOf(const void *block) {
  u64 n;
  memcpy(&n, Header(block) + 8, 8);
  return static_cast<size_t>(n);
}
void *Stamp(void *base, u32 magic, size_t size) {
  if (!base) return nullptr;
  const u64 n = size;
  memcpy(base, &magic, 4);
  memset(static_cast<char *>(base) + 4, 0, 4);
  memcpy(static_cast<char *>(base) + 8, &n, 8);
  void *block = static_cast<char *>(base) + kBlockHeader;
  if (magic != kMagicStraddle) NoteBlock(block);  // that one lies below the line by design
  return block;
}

void *TopDownAlloc(size_t size) {
  if (size > SIZE_MAX - kBlockHeader) return nullptr;
  if (size >= kTopDownLarge) {
#ifndef _WIN64
    if (void *b = TakeStraddle(size + kBlockHeader)) return Stamp(b, kMagicStraddle, size);
#endif
    return Stamp(VirtualAlloc(nullptr, size + kBlockHeader, MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN, PAGE_READWRITE),
                 kMagicVirtual, size);
  }
  return Stamp(HeapAlloc(g_highHeap, 0, size + kBlockHeader), kMagicHeap, size);
}

void TopDownFree(void *block) {
  const u32 magic = MagicOf(block);
  if (magic == kMagicVirtual) {
    VirtualFree(Header(block), 0, MEM_RELEASE);
#ifndef _WIN64
  } else if (magic == kMagicStraddle) {
    GiveStraddleBack(Header(block));
#endif
  } else {
    HeapFree(g_highHeap, 0, Header(block));
  }
}

void *TopDownRealloc(void *block, size_t size) {
  if (MagicOf(block) == kMagicHeap && size < kTopDownLarge) {
    return Stamp(HeapReAlloc(g_highHeap, 0, Header(block), size + kBlockHeader), kMagicHeap, size);
  }
  void *fresh = TopDownAlloc(size);
  if (!fresh) return nullptr;
  const size_t old = SizeOf(block);
  memcpy(fresh, block, old < size ? old : size);
  TopDownFree(block);
  return fresh;
}

}  // namespace

void *PlatHeapAlloc(size_t size) {
  if (FaultFires(kFaultAlloc)) return nullptr;
  if (HeapMode()) return TopDownAlloc(size);
  return HeapAlloc(GetProcessHeap(), 0, size);
}

void *PlatHeapRealloc(void *block, size_t size) {
  if (FaultFires(kFaultAlloc)) return nullptr;
  if (HeapMode()) return block ? TopDownRealloc(block, size) : TopDownAlloc(size);
  if (!block) return HeapAlloc(GetProcessHeap(), 0, size);
  return HeapReAlloc(GetProcessHeap(), 0, block, size);
}

void PlatHeapFree(void *block) {
  if (!block) return;
  if (HeapMode()) {
    TopDownFree(block);
    return;
  }
  HeapFree(GetProcessHeap(), 0, block);
}

size_t PlatHeapSize(const void *block) {
  if (!block) return 0;
  if (HeapMode()) return SizeOf(block);
  const SIZE_T n = HeapSize(GetProcessHeap(), 0, block);
  return n == static_cast<SIZE_T>(-1) ? 0 : n;
}

void PlatHeapCompact() {
  HeapCompact(GetProcessHeap(), 0);
  if (g_highHeap) HeapCompact(g_highHeap, 0);
}

bool PlatHeapTopDown(const void **lowest, u32 *straddling) {
  if (lowest) *lowest = reinterpret_cast<const void *>(g_lowestBlock);
  if (straddling) *straddling = static_cast<u32>(g_straddled);
  return HeapMode() == 1;
}

struct PlatThreadRec {
  HANDLE handle;
  u32 (*fn)(void *);
  void *arg;
};

static DWORD WINAPI ThreadTrampoline(LPVOID p) {
  PlatThreadRec *t = static_cast<PlatThreadRec *>(p);
  return t->fn(t->arg);
}

PlatThread PlatThreadStart(u32 (*fn)(void *), void *arg) {
  if (FaultFires(kFaultThread)) return nullptr;
  PlatThreadRec *t = static_cast<PlatThreadRec *>(HeapAlloc(GetProcessHeap(), 0, sizeof(PlatThreadRec)));
  if (!t) return nullptr;
  t->fn = fn;
  t->arg = arg;
  t->handle = CreateThread(nullptr, 0, ThreadTrampoline, t, 0, nullptr);
  if (!t->handle) {
    HeapFree(GetProcessHeap(), 0, t);
    return nullptr;
  }
  return t;
}

void PlatThreadJoin(PlatThread t) {
  if (!t) return;
  WaitForSingleObject(t->handle, INFINITE);
  CloseHandle(t->handle);
  HeapFree(GetProcessHeap(), 0, t);
}

void *PlatThreadWaitHandle(PlatThread t) { return t ? t->handle : nullptr; }

PlatEvent PlatEventCreate() {
  return reinterpret_cast<PlatEvent>(CreateEventA(nullptr, FALSE, FALSE, nullptr));
}
void PlatEventSet(PlatEvent e) { SetEvent(reinterpret_cast<HANDLE>(e)); }
void PlatEventWait(PlatEvent e) { WaitForSingleObject(reinterpret_cast<HANDLE>(e), INFINITE); }
void PlatEventClose(PlatEvent e) {
  if (e) CloseHandle(reinterpret_cast<HANDLE>(e));
}

PlatMapping PlatCreateMapping(u64 bytes) {
  if (FaultFires(kFaultMap)) return nullptr;
  HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                static_cast<DWORD>(bytes >> 32), static_cast<DWORD>(bytes), nullptr);
  return reinterpret_cast<PlatMapping>(h);
}

void *PlatMapView(PlatMapping mapping, u64 offset, size_t bytes) {
  if (FaultFires(kFaultMap)) return nullptr;
  return MapViewOfFile(reinterpret_cast<HANDLE>(mapping), FILE_MAP_WRITE, static_cast<DWORD>(offset >> 32),
                       static_cast<DWORD>(offset), bytes);
}

void PlatUnmapView(void *view, size_t) {
  if (view) UnmapViewOfFile(view);
}

void PlatCloseMapping(PlatMapping mapping) {
  if (mapping) CloseHandle(reinterpret_cast<HANDLE>(mapping));
}

u64 PlatSystemTimeAsFileTime() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return (static_cast<u64>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

u32 PlatTickCount() { return GetTickCount(); }

u32 PlatCurrentThreadId() { return GetCurrentThreadId(); }

u32 PlatCurrentProcessId() { return GetCurrentProcessId(); }

u32 PlatTlsAlloc() {
  DWORD slot = TlsAlloc();
  return slot == TLS_OUT_OF_INDEXES ? kPlatTlsNone : slot;
}

void PlatTlsFree(u32 slot) { TlsFree(slot); }

bool PlatTlsSet(u32 slot, void *value) { return TlsSetValue(slot, value) != 0; }

void *PlatTlsGet(u32 slot) { return TlsGetValue(slot); }

void PlatCharTypes(u8 c, u16 *ctype1, u16 *ctype3) {
  char ch = static_cast<char>(c);
  WORD t1 = 0, t3 = 0;
  GetStringTypeA(LOCALE_USER_DEFAULT, CT_CTYPE1, &ch, 1, &t1);
  GetStringTypeA(LOCALE_USER_DEFAULT, CT_CTYPE3, &ch, 1, &t3);
  *ctype1 = t1;
  *ctype3 = t3;
}

// CharLowerA/CharUpperA take a single character in the low word of the pointer.
u8 PlatCharLower(u8 c) {
  return static_cast<u8>(reinterpret_cast<uintptr_t>(CharLowerA(reinterpret_cast<LPSTR>(static_cast<uintptr_t>(c)))));
}

u8 PlatCharUpper(u8 c) {
  return static_cast<u8>(reinterpret_cast<uintptr_t>(CharUpperA(reinterpret_cast<LPSTR>(static_cast<uintptr_t>(c)))));
}

int PlatAnsiToWide(const char *src, int len, u16 *dst, int cap) {
  if (len <= 0 || cap <= 0) return 0;
  return MultiByteToWideChar(CP_ACP, 0, src, len, reinterpret_cast<LPWSTR>(dst), cap);
}

int PlatWideToAnsi(const u16 *src, int len, char *dst, int cap) {
  if (len <= 0 || cap <= 0) return 0;
  return WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(src), len, dst, cap, nullptr, nullptr);
}

int PlatFormatV(char *out, const char *format, va_list args) {
  return wvsprintfA(out, format, args);
}

int PlatFormatWV(u16 *out, const u16 *format, va_list args) {
  return wvsprintfW(reinterpret_cast<LPWSTR>(out), reinterpret_cast<LPCWSTR>(format), args);
}

// ---- code pages ----

int PlatMultiByteToWide(u32 codePage, const char *src, int len, u16 *dst, int cap) {
  if (len <= 0) return 0;
  return MultiByteToWideChar(codePage, 0, src, len, reinterpret_cast<LPWSTR>(dst), cap);
}

int PlatWideToMultiByte(u32 codePage, const u16 *src, int len, char *dst, int cap) {
  if (len <= 0) return 0;
  return WideCharToMultiByte(codePage, 0, reinterpret_cast<LPCWSTR>(src), len, dst, cap, nullptr, nullptr);
}

// ---- files ----

static int WithTrailingSeparator(char *buf, int n, int cap);

PlatFile PlatFileOpen(const char *path, PlatOpenMode mode) {
  if (FaultFires(kFaultOpen)) return nullptr;
  HANDLE h = INVALID_HANDLE_VALUE;
  switch (mode) {
    case kPlatOpenRead:
      h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
      break;
    case kPlatOpenRewrite:
      // OPEN_ALWAYS and then truncating keeps the attributes of an existing
      // file (hidden, say), which CREATE_ALWAYS would refuse or reset.
      h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h != INVALID_HANDLE_VALUE && !SetEndOfFile(h)) {
        CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
      }
      break;
    case kPlatOpenAlways:
      h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      break;
    case kPlatOpenCreateNew:
      h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      break;
  }
  return h == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<PlatFile>(h);
}

void PlatFileClose(PlatFile file) {
  if (file) CloseHandle(reinterpret_cast<HANDLE>(file));
}

bool PlatFileSize(PlatFile file, u64 *size) {
  LARGE_INTEGER li;
  if (!GetFileSizeEx(reinterpret_cast<HANDLE>(file), &li)) return false;
  *size = static_cast<u64>(li.QuadPart);
  return true;
}

bool PlatFileRead(PlatFile file, void *buf, u32 n, u32 *got) {
  *got = 0;
  if (FaultFires(kFaultRead)) return false;
  // A long read into memory perhaps never touched yet: its pages are made
  // present first by a write. The read costs the same faults either way on
  // Windows; under Wine, reading into untouched pages costs several times
  // as much as touching them and reading.
  if (n >= 65536) {
    volatile char *p = static_cast<volatile char *>(buf);
    for (u32 i = 0; i < n; i += 4096) p[i] = 0;
    p[n - 1] = 0;
  }
  DWORD read = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(file), buf, n, &read, nullptr)) return false;
  *got = read;
  return true;
}

bool PlatFileWrite(PlatFile file, const void *buf, u32 n) {
  if (FaultFires(kFaultWrite)) return false;
  DWORD written = 0;
  return WriteFile(reinterpret_cast<HANDLE>(file), buf, n, &written, nullptr) && written == n;
}

bool PlatFileFlush(PlatFile file) {
  if (FaultFires(kFaultFlush)) return false;
  return FlushFileBuffers(reinterpret_cast<HANDLE>(file)) != 0;
}

bool PlatFileExists(const char *path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool PlatFileReplace(const char *from, const char *to) {
  if (FaultFires(kFaultRename)) return false;
  // ReplaceFile keeps the attributes of the file it replaces; a file that is
  // not there yet is simply moved.
  if (GetFileAttributesA(to) != INVALID_FILE_ATTRIBUTES &&
      ReplaceFileA(to, from, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
    return true;
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool PlatGetAttributes(const char *path, u32 *attributes) {
  DWORD a = GetFileAttributesA(path);
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  *attributes = a;
  return true;
}

bool PlatSetAttributes(const char *path, u32 attributes) { return SetFileAttributesA(path, attributes) != 0; }

bool PlatLastWriteTime(const char *path, u64 *time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
  *time = (static_cast<u64>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  return true;
}

int PlatCopyFile(const char *from, const char *to) {
  if (FaultFires(kFaultWrite)) return 2;
  if (CopyFileA(from, to, FALSE)) return 0;
  DWORD e = GetLastError();
  return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? 1 : 2;
}

bool PlatCreateFolder(const char *path) {
  return CreateDirectoryA(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

int PlatAppDataFolder(char *buf, int cap) {
  char path[MAX_PATH];
  if (SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, path) != S_OK) return 0;
  int n = lstrlenA(path);
  if (n >= cap - 1) return 0;
  lstrcpyA(buf, path);
  return WithTrailingSeparator(buf, n, cap);
}

bool PlatFileDelete(const char *path) {
  if (FaultFires(kFaultRename)) return false;
  return DeleteFileA(path) != 0;
}

static int WithTrailingSeparator(char *buf, int n, int cap) {
  if (n <= 0 || n >= cap - 1) return 0;
  if (buf[n - 1] != '\\') {
    buf[n++] = '\\';
    buf[n] = 0;
  }
  return n;
}

bool PlatFullPath(const char *path, char *out, int cap) {
  char full[MAX_PATH + 1];
  DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) {
    lstrcpynA(out, path, cap);
    return false;
  }
  char longer[MAX_PATH + 1];
  DWORD m = GetLongPathNameA(full, longer, sizeof longer);
  lstrcpynA(out, m > 0 && m < sizeof longer ? longer : full, cap);
  return true;
}

bool PlatFileTitle(const char *path, char *out, int cap) {
  if (GetFileTitleA(path, out, static_cast<WORD>(cap)) == 0) return true;
  // Fall back to the name after the last separator.
  const char *name = path;
  for (const char *p = path; *p; p++)
    if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
  lstrcpynA(out, name, cap);
  return false;
}

int PlatModuleFolder(char *buf, int cap) {
  DWORD n = GetModuleFileNameA(nullptr, buf, static_cast<DWORD>(cap));
  if (n == 0 || n >= static_cast<DWORD>(cap)) return 0;
  while (n > 0 && buf[n - 1] != '\\' && buf[n - 1] != '/') n--;
  buf[n] = 0;
  return static_cast<int>(n);
}

int PlatUserFolder(char *buf, int cap) {
  char path[MAX_PATH];
  if (SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, 0, path) != S_OK &&
      SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, path) != S_OK)
    return 0;
  int n = lstrlenA(path);
  if (n >= cap - 1) return 0;
  lstrcpyA(buf, path);
  return WithTrailingSeparator(buf, n, cap);
}

// ---- mutex ----

PlatMutex PlatMutexOpen(const char *name) { return reinterpret_cast<PlatMutex>(CreateMutexA(nullptr, FALSE, name)); }

bool PlatMutexWait(PlatMutex mutex) {
  DWORD r = WaitForSingleObject(reinterpret_cast<HANDLE>(mutex), INFINITE);
  // An abandoned mutex is ours now: the process that held it has died.
  return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

void PlatMutexRelease(PlatMutex mutex) { ReleaseMutex(reinterpret_cast<HANDLE>(mutex)); }

void PlatMutexClose(PlatMutex mutex) {
  if (mutex) CloseHandle(reinterpret_cast<HANDLE>(mutex));
}

// ---- registry ----

PlatRegKey PlatRegOpen(PlatRegKey parent, const char *path, bool create) {
  HKEY base = parent ? reinterpret_cast<HKEY>(parent) : HKEY_CURRENT_USER;
  HKEY key = nullptr;
  LONG r = create ? RegCreateKeyExA(base, path, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr)
                  : RegOpenKeyExA(base, path, 0, KEY_READ | KEY_WRITE, &key);
  if (r != ERROR_SUCCESS && !create) r = RegOpenKeyExA(base, path, 0, KEY_READ, &key);
  return r == ERROR_SUCCESS ? reinterpret_cast<PlatRegKey>(key) : nullptr;
}

void PlatRegClose(PlatRegKey key) {
  if (key) RegCloseKey(reinterpret_cast<HKEY>(key));
}

bool PlatRegQuery(PlatRegKey key, const char *name, u32 *type, void *data, u32 *size) {
  DWORD t = 0, n = *size;
  LONG r = RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, &t, static_cast<LPBYTE>(data), &n);
  *type = t;
  *size = n;
  return r == ERROR_SUCCESS;
}

bool PlatRegSet(PlatRegKey key, const char *name, u32 type, const void *data, u32 size) {
  if (FaultFires(kFaultWrite)) return false;
  return RegSetValueExA(reinterpret_cast<HKEY>(key), name, 0, type, static_cast<const BYTE *>(data), size) ==
         ERROR_SUCCESS;
}

bool PlatRegDeleteValue(PlatRegKey key, const char *name) {
  return RegDeleteValueA(reinterpret_cast<HKEY>(key), name) == ERROR_SUCCESS;
}

bool PlatRegEnumValue(PlatRegKey key, u32 index, char *name, u32 cap) {
  DWORD n = cap;
  return RegEnumValueA(reinterpret_cast<HKEY>(key), index, name, &n, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

bool PlatRegDeleteTree(PlatRegKey parent, const char *path) {
  HKEY base = parent ? reinterpret_cast<HKEY>(parent) : HKEY_CURRENT_USER;
  HKEY key;
  if (RegOpenKeyExA(base, path, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) return false;
  char sub[256];
  // Deleting changes the indexes: always take the first sub-key.
  for (;;) {
    DWORD n = sizeof sub;
    if (RegEnumKeyExA(key, 0, sub, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (!PlatRegDeleteTree(reinterpret_cast<PlatRegKey>(key), sub)) break;
  }
  RegCloseKey(key);
  return RegDeleteKeyA(base, path) == ERROR_SUCCESS;
}

// ---- locale and colours ----

int PlatLocaleInfo(PlatLocaleItem item, char *buf, int cap) {
  static const LCTYPE kTypes[] = {LOCALE_SDECIMAL, LOCALE_STHOUSAND, LOCALE_INEGNUMBER, LOCALE_SNEGATIVESIGN,
                                  LOCALE_SPOSITIVESIGN};
  if (cap <= 0) return 0;
  buf[0] = 0;
  int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, kTypes[item], buf, cap);
  if (n <= 0) {
    buf[0] = 0;
    return 0;
  }
  return lstrlenA(buf);
}

u32 PlatSysColor(int index) { return GetSysColor(index); }

// ---- code pages: the list, their names, characters ----

int PlatWideToMultiByteChecked(u32 codePage, const u16 *src, int len, char *dst, int cap, bool *usedDefault) {
  *usedDefault = false;
  if (len <= 0) return 0;
  BOOL used = FALSE;
  // UTF-8 (and UTF-7) refuse the default-character arguments. Elsewhere a
  // character without an equivalent becomes the default character and is
  // reported, rather than being quietly replaced by a look-alike ("best fit":
  // e-acute saved as "e" in a Cyrillic code page).
  bool utf = codePage == CP_UTF8 || codePage == CP_UTF7;
  int n = WideCharToMultiByte(codePage, utf ? 0 : WC_NO_BEST_FIT_CHARS, reinterpret_cast<LPCWSTR>(src), len, dst,
                              cap, nullptr, utf ? nullptr : &used);
  *usedDefault = used != FALSE;
  return n;
}

namespace {
struct CodePageVisit {
  bool (*visit)(void *, u32);
  void *context;
  bool stopped;
};
CodePageVisit *g_codePageVisit;

BOOL CALLBACK OnCodePage(LPSTR text) {
  CodePageVisit *v = g_codePageVisit;
  if (v->stopped) return FALSE;
  u32 cp = 0;
  for (const char *p = text; *p >= '0' && *p <= '9'; p++) cp = cp * 10 + static_cast<u32>(*p - '0');
  if (!v->visit(v->context, cp)) v->stopped = true;
  return !v->stopped;
}
}  // namespace

void PlatEnumCodePages(bool (*visit)(void *context, u32 codePage), void *context) {
  CodePageVisit v = {visit, context, false};
  g_codePageVisit = &v;  // the enumeration has no context argument; start-up runs it once
  EnumSystemCodePagesA(OnCodePage, CP_INSTALLED);
  g_codePageVisit = nullptr;
}

bool PlatCodePageInfo(u32 codePage, u32 *maxCharSize, char *name, int cap) {
  CPINFOEXA info;
  if (!GetCPInfoExA(codePage, 0, &info)) return false;
  *maxCharSize = info.MaxCharSize;
  if (cap > 0) lstrcpynA(name, info.CodePageName, cap);
  return true;
}

bool PlatIsLeadByte(u32 codePage, u8 c) { return IsDBCSLeadByteEx(codePage, c) != FALSE; }

const char *PlatCharNext(u32 codePage, const char *p) {
  return CharNextExA(static_cast<WORD>(codePage), p, 0);
}

bool PlatIsTextUnicode(const void *bytes, int size, int *flags) {
  INT f = *flags;
  BOOL r = IsTextUnicode(bytes, size, &f);
  *flags = f;
  return r != FALSE;
}

// ---- pipes ----

bool PlatCreatePipe(PlatFile *readEnd, PlatFile *writeEnd) {
  HANDLE r, w;
  if (!CreatePipe(&r, &w, nullptr, 0)) return false;
  *readEnd = reinterpret_cast<PlatFile>(r);
  *writeEnd = reinterpret_cast<PlatFile>(w);
  return true;
}

PlatPipeResult PlatPipeRead(PlatFile end, void *buf, u32 n, u32 *got) {
  *got = 0;
  if (FaultFires(kFaultRead)) return kPipeFailed;
  DWORD read = 0;
  if (ReadFile(reinterpret_cast<HANDLE>(end), buf, n, &read, nullptr)) {
    *got = read;
    return read ? kPipeOk : kPipeBroken;
  }
  return GetLastError() == ERROR_BROKEN_PIPE ? kPipeBroken : kPipeFailed;
}

PlatPipeResult PlatPipeWrite(PlatFile end, const void *buf, u32 n) {
  if (FaultFires(kFaultWrite)) return kPipeFailed;
  const char *p = static_cast<const char *>(buf);
  while (n > 0) {
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(end), p, n, &written, nullptr)) {
      DWORD e = GetLastError();
      return e == ERROR_BROKEN_PIPE || e == ERROR_NO_DATA ? kPipeBroken : kPipeFailed;
    }
    p += written;
    n -= written;
  }
  return kPipeOk;
}
