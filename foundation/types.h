// Fixed-width names used throughout the program, and the result codes that
// file operations, commands and tools share.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef uint64_t u64;
typedef int8_t i8;
typedef int16_t i16;
typedef int32_t i32;
typedef int64_t i64;

// A window handle as the engine sees it: opaque, never dereferenced.
typedef void *WindowRef;

// Result codes. Any other positive value is a string-table id (or a message
// text) that the caller shows as a warning.
enum ResultCode : int {
  kResultDone = 0,
  kResultCancelled = 32,    // cancelled by the user or nothing to do (silent)
  kResultReported = 48,     // failed and already reported (silent)
  kResultNotHandled = 64,   // not handled here: forward the command
  kResultNoChange = 80,     // nothing to change
  kResultCreated = 96,      // a file was created
  kResultOutOfMemory = -1,  // out of memory ("Out of Memory!")
  kResultStatusWarning = 944,  // success with a status-bar warning
};

// A file path: at most 260 characters and a terminator.
constexpr u32 kPathChars = 261;

#define QP_ARRAY_COUNT(a) (sizeof(a) / sizeof((a)[0]))
