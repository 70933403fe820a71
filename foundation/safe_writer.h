// Writing a file so that a failure never destroys the old one.
//
// The bytes go into a new file beside the target; only when all of them are
// written (and flushed, when asked) does the new file take the target's place,
// in one step, keeping the target's attributes. On any failure the temporary
// file is removed and the target is exactly as it was.
#pragma once

#include "foundation/platform.h"
#include "foundation/types.h"

constexpr u32 kSafePathChars = 300;

struct SafeWriter {
  PlatFile file;
  char target[kSafePathChars];
  char temp[kSafePathChars];
  bool targetExists;
  u32 targetAttributes;  // as they were before the save
  u32 addAttributes;     // hidden, for recovery files
  bool forceReadOnly;    // a read-only target may be replaced, and stays read-only
  u64 written;
};

// Starts writing `path`. A read-only target is refused unless forceReadOnly.
// Returns 0, or 523 when the file cannot be written there.
[[nodiscard]] int SafeWriterOpen(SafeWriter *w, const char *path, u32 addAttributes, bool forceReadOnly);
// 0, or 524 when the write failed or was short.
[[nodiscard]] int SafeWriterWrite(SafeWriter *w, const void *bytes, u32 n);
// Flushes (when asked), closes and puts the new file in the target's place.
// 0; 524 when the flush fails; 523 when the target cannot be replaced. On
// failure the writer has been aborted.
[[nodiscard]] int SafeWriterCommit(SafeWriter *w, bool flush);
// Closes and removes the temporary file; the target is untouched.
void SafeWriterAbort(SafeWriter *w);
