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
// The usable size of a block (0 for null).
size_t PlatHeapSize(const void *block);
// Gives free heap memory back where the system can (HeapCompact).
void PlatHeapCompact();
// Whether blocks come from the top of the address space (a test mode of the
// Win32 backend, QP_TOP_DOWN=1); *lowest receives the lowest block handed
// out so far, *straddling the number of blocks that lay across 2 GiB (a
// 32-bit process gives one at a time that place).
bool PlatHeapTopDown(const void **lowest, u32 *straddling);

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

// ---- threads ---------------------------------------------------------------
typedef struct PlatThreadRec *PlatThread;
// Runs fn(arg) on a new thread; null when it cannot be made.
PlatThread PlatThreadStart(u32 (*fn)(void *arg), void *arg);
// Waits for the thread to end and frees it.
void PlatThreadJoin(PlatThread thread);
// What a Win32 wait can wait on (the thread's HANDLE); null in the POSIX backend.
void *PlatThreadWaitHandle(PlatThread thread);
// An event that one thread sets and another waits for; a wait takes the
// setting back (auto-reset). Null when it cannot be made.
typedef struct PlatEventRec *PlatEvent;
PlatEvent PlatEventCreate();
void PlatEventSet(PlatEvent event);
void PlatEventWait(PlatEvent event);
void PlatEventClose(PlatEvent event);

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

// ---- code pages ----------------------------------------------------------------
constexpr u32 kCodePageAnsi = 0;      // CP_ACP: the system's ANSI code page
constexpr u32 kCodePageUtf8 = 65001;  // CP_UTF8
// MultiByteToWideChar / WideCharToMultiByte of len units (no terminator is
// added or expected). With cap 0 they return the length needed. Invalid input
// becomes U+FFFD (to wide) or "?" (to bytes). Return 0 on failure.
int PlatMultiByteToWide(u32 codePage, const char *src, int len, u16 *dst, int cap);
int PlatWideToMultiByte(u32 codePage, const u16 *src, int len, char *dst, int cap);
// As PlatWideToMultiByte, and *usedDefault tells whether some character had
// no equivalent (never set for UTF-8, which has one for every character). No
// look-alike stands in for a missing character: it becomes "?" and is
// reported.
int PlatWideToMultiByteChecked(u32 codePage, const u16 *src, int len, char *dst, int cap, bool *usedDefault);
// The installed code pages (EnumSystemCodePagesA, CP_INSTALLED): calls
// visit with each number until it returns false.
void PlatEnumCodePages(bool (*visit)(void *context, u32 codePage), void *context);
// GetCPInfoExA: the longest character in bytes and the code page's name.
// False when the code page is not available.
bool PlatCodePageInfo(u32 codePage, u32 *maxCharSize, char *name, int cap);
// IsDBCSLeadByteEx: the byte starts a two-byte character of the code page.
bool PlatIsLeadByte(u32 codePage, u8 byte);
// CharNextExA: past one character of a multi-byte code page.
const char *PlatCharNext(u32 codePage, const char *p);
// IsTextUnicode: *flags holds the tests to run on entry and the tests that
// passed on return (IS_TEXT_UNICODE_*). The result of the call.
bool PlatIsTextUnicode(const void *bytes, int size, int *flags);

// ---- files -------------------------------------------------------------------
typedef struct PlatFileRec *PlatFile;
constexpr char kPlatPathSeparator =
#ifdef _WIN32
    '\\';
#else
    '/';
#endif
enum PlatOpenMode : int {
  kPlatOpenRead,       // an existing file, shared for reading
  kPlatOpenRewrite,    // created, or an existing file truncated keeping its attributes
  kPlatOpenCreateNew,  // a new file; fails when it exists
  kPlatOpenAlways,     // an existing file as it is, or a new empty one
};
// Null when the file cannot be opened (missing, locked, read-only, ...).
PlatFile PlatFileOpen(const char *path, PlatOpenMode mode);
void PlatFileClose(PlatFile file);
bool PlatFileSize(PlatFile file, u64 *size);
// Reads up to n bytes; *got receives how many were read (0 at the end). The
// bytes of buf after those read may be overwritten.
bool PlatFileRead(PlatFile file, void *buf, u32 n, u32 *got);
// Writes all n bytes or fails.
bool PlatFileWrite(PlatFile file, const void *buf, u32 n);
bool PlatFileFlush(PlatFile file);
bool PlatFileExists(const char *path);
// Puts file `from` in the place of file `to`, which keeps its attributes when
// it exists; `from` is gone afterwards.
bool PlatFileReplace(const char *from, const char *to);
bool PlatFileDelete(const char *path);
// File attributes (FILE_ATTRIBUTE_*). False when the file cannot be examined.
constexpr u32 kAttrReadOnly = 0x01;
constexpr u32 kAttrHidden = 0x02;
constexpr u32 kAttrArchive = 0x20;
constexpr u32 kAttrNormal = 0x80;
bool PlatGetAttributes(const char *path, u32 *attributes);
bool PlatSetAttributes(const char *path, u32 attributes);
// The last-write time (100-ns units); false when it cannot be read.
bool PlatLastWriteTime(const char *path, u64 *time);
// Copies a file over another. 0 copied, 1 the source does not exist, 2 failed.
int PlatCopyFile(const char *from, const char *to);
bool PlatCreateFolder(const char *path);
// The application-data folder with a trailing separator; 0 on failure.
int PlatAppDataFolder(char *buf, int cap);
// The full, long form of a path (GetFullPathNameA, then GetLongPathNameA);
// false when it cannot be made (out then keeps what could be made, or path).
bool PlatFullPath(const char *path, char *out, int cap);
// The file's title as the shell shows it (GetFileTitleA).
bool PlatFileTitle(const char *path, char *out, int cap);
// The folder of the running program, with a trailing separator; 0 on failure.
int PlatModuleFolder(char *buf, int cap);
// The user's profile folder (or, failing that, the application-data folder),
// with a trailing separator; 0 on failure.
int PlatUserFolder(char *buf, int cap);

// ---- pipes ---------------------------------------------------------------------
// An anonymous pipe; both ends are PlatFiles (closed with PlatFileClose).
bool PlatCreatePipe(PlatFile *readEnd, PlatFile *writeEnd);
enum PlatPipeResult : int {
  kPipeOk = 0,
  kPipeBroken = 1,  // the other end is closed (ERROR_BROKEN_PIPE, ERROR_NO_DATA, EPIPE)
  kPipeFailed = 2,
};
// Reads up to n bytes (got 0 only at the end).
PlatPipeResult PlatPipeRead(PlatFile end, void *buf, u32 n, u32 *got);
PlatPipeResult PlatPipeWrite(PlatFile end, const void *buf, u32 n);

// ---- named mutex shared by every process of the program --------------------------
typedef struct PlatMutexRec *PlatMutex;
// Creates or opens the mutex (not owned); null on failure.
PlatMutex PlatMutexOpen(const char *name);
bool PlatMutexWait(PlatMutex mutex);  // without a time limit
void PlatMutexRelease(PlatMutex mutex);
void PlatMutexClose(PlatMutex mutex);

// ---- registry (HKEY_CURRENT_USER) ----------------------------------------------------
typedef struct PlatRegKeyRec *PlatRegKey;
constexpr u32 kRegString = 1;   // REG_SZ
constexpr u32 kRegExpandString = 2;  // REG_EXPAND_SZ
constexpr u32 kRegBinary = 3;   // REG_BINARY
constexpr u32 kRegDword = 4;    // REG_DWORD
// Opens (create false) or creates (create true) the sub-key `path` of parent
// (null: HKEY_CURRENT_USER). Null on failure.
PlatRegKey PlatRegOpen(PlatRegKey parent, const char *path, bool create);
void PlatRegClose(PlatRegKey key);
// Reads a value. *size is the buffer size in, the value's size out. Returns
// false when the value is missing or does not fit (then *size tells the need).
bool PlatRegQuery(PlatRegKey key, const char *name, u32 *type, void *data, u32 *size);
bool PlatRegSet(PlatRegKey key, const char *name, u32 type, const void *data, u32 size);
bool PlatRegDeleteValue(PlatRegKey key, const char *name);
// The name of value `index`, or false when there is none.
bool PlatRegEnumValue(PlatRegKey key, u32 index, char *name, u32 cap);
// Deletes the sub-key `path` of parent (null: HKEY_CURRENT_USER) with
// everything below it.
bool PlatRegDeleteTree(PlatRegKey parent, const char *path);

// ---- user locale and system colours ------------------------------------------------
enum PlatLocaleItem : int {
  kLocaleDecimal,        // LOCALE_SDECIMAL
  kLocaleThousand,       // LOCALE_STHOUSAND
  kLocaleNegativeMode,   // LOCALE_INEGNUMBER
  kLocaleNegativeSign,   // LOCALE_SNEGATIVESIGN
  kLocalePositiveSign,   // LOCALE_SPOSITIVESIGN
};
// The text of a locale item, terminated; its length, 0 when the locale gives none.
int PlatLocaleInfo(PlatLocaleItem item, char *buf, int cap);
// GetSysColor (0x00BBGGRR) of a COLOR_* index.
u32 PlatSysColor(int index);
