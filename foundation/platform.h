// The only door from the engine to the operating system.
//
// Engine code (foundation, document, files, search, tools, config) never
// includes <windows.h>; it calls these functions instead. platform_win32.cpp
// is the product's backend. platform_posix.cpp lets the engine build and run
// natively for the sanitizer tests, the fuzzers and the benchmarks; it answers
// as Windows does under code page 1252 (character types, case mapping, the
// wsprintf dialect).
//
// Every call that can fail consults the fault injector (fault.h) first, so that
// tests can make the N-th allocation, mapping, open, read, write, flush or
// rename fail.
#pragma once

#include <stdarg.h>

#include "foundation/types.h"

// ---- process heap ----------------------------------------------------------
// Null on failure; PlatHeapRealloc leaves the old block valid on failure.
void *PlatHeapAlloc(size_t size);
void *PlatHeapRealloc(void *block, size_t size);
void PlatHeapFree(void *block);
// Gives free heap memory back where the system can (HeapCompact).
void PlatHeapCompact();

// ---- paging-file mappings --------------------------------------------------
// An unnamed read-write mapping backed by the paging file (POSIX: anonymous
// memory). Views are taken at offsets that are multiples of 65536.
typedef struct PlatMappingRec *PlatMapping;
PlatMapping PlatCreateMapping(u64 bytes);
void *PlatMapView(PlatMapping mapping, u64 offset, size_t bytes);
void PlatUnmapView(void *view, size_t bytes);
void PlatCloseMapping(PlatMapping mapping);

// ---- time and identity -------------------------------------------------------
// The system time in 100-nanosecond units since 1601-01-01 (a FILETIME).
u64 PlatSystemTimeAsFileTime();
// Milliseconds since an arbitrary start, wrapping at 2^32 (GetTickCount).
u32 PlatTickCount();
u32 PlatCurrentThreadId();
u32 PlatCurrentProcessId();

// ---- thread-local slots ----------------------------------------------------
// PlatTlsAlloc returns kPlatTlsNone when no slot is left.
constexpr u32 kPlatTlsNone = 0xFFFFFFFFu;
u32 PlatTlsAlloc();
void PlatTlsFree(u32 slot);
bool PlatTlsSet(u32 slot, void *value);
void *PlatTlsGet(u32 slot);

// ---- characters of the ANSI code page -----------------------------------------
// CT_CTYPE1 and CT_CTYPE3 flags of one byte under the user's default locale.
void PlatCharTypes(u8 c, u16 *ctype1, u16 *ctype3);
// CharLowerA / CharUpperA of one character.
u8 PlatCharLower(u8 c);
u8 PlatCharUpper(u8 c);
// The ANSI code page's conversion of one string to and from UTF-16
// (MultiByteToWideChar / WideCharToMultiByte with CP_ACP). Both return the
// number of units written, without a terminator; at most cap units.
int PlatAnsiToWide(const char *src, int len, u16 *dst, int cap);
int PlatWideToAnsi(const u16 *src, int len, char *dst, int cap);

// ---- the system's wsprintf ----------------------------------------------------
// wvsprintfA / wvsprintfW on a format already checked by Format (format.h):
// flags "#-0", width, precision, conversions d i u x X s S p. out receives at
// most kPlatFormatMax characters and a terminator (the system formatter's
// buffer is 1024 bytes). The result may count past a cut: callers measure.
constexpr int kPlatFormatMax = 1023;
int PlatFormatV(char *out, const char *format, va_list args);
int PlatFormatWV(u16 *out, const u16 *format, va_list args);
