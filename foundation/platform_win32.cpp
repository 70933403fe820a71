// Win32 backend of the platform layer: the product's.
#include <windows.h>

#include "foundation/fault.h"
#include "foundation/platform.h"

void *PlatHeapAlloc(size_t size) {
  if (FaultFires(kFaultAlloc)) return nullptr;
  return HeapAlloc(GetProcessHeap(), 0, size);
}

void *PlatHeapRealloc(void *block, size_t size) {
  if (FaultFires(kFaultAlloc)) return nullptr;
  if (!block) return HeapAlloc(GetProcessHeap(), 0, size);
  return HeapReAlloc(GetProcessHeap(), 0, block, size);
}

void PlatHeapFree(void *block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

void PlatHeapCompact() { HeapCompact(GetProcessHeap(), 0); }

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
