// Text streamed through pipes: what an external filter writes is appended to
// a document as it comes, and a range of a document is written to a filter
// in pieces, each converted on the way (the ANSI code page, or UTF-8).
#pragma once

#include "document/document.h"
#include "foundation/platform.h"

// How many bytes at the end of p[0, n) begin a UTF-8 character that has not
// come whole yet (0 to 3): what a reader keeps for its next read.
u32 Utf8Unfinished(const u8 *p, u32 n);

struct PipeControl {
  const volatile u32 *cancel;  // stop when it becomes nonzero (may be null)
  u32 *errors;                 // counts failures (may be null)
};

// Reads the pipe to its end, appending to the end of the document (store
// only: no undo step). With utf8 the bytes are UTF-8; a character cut between
// two reads is kept for the next one. Returns 0; 1 when some character had no
// ANSI form (reading stops there when stopOnUntranslatable); -1 out of
// memory; -2 a read failed (counted in *errors).
[[nodiscard]] int PipeReader(Document *doc, PlatFile pipe, bool utf8, bool stopOnUntranslatable,
                             const PipeControl &control);

// Writes [from, to) of the document with the newline flags of a read (see
// ReadText) in pieces of at most a megabyte, converted to UTF-8 when asked,
// reporting (bytes done, bytes in range) to the store's progress sink. A
// closed pipe ends the writing quietly when ignoreBrokenPipe. 0, -1 out of
// memory, -2 a write failed (counted).
[[nodiscard]] int PipeWriter(Document *doc, PlatFile pipe, bool utf8, u32 from, u32 to, u32 newlineFlags,
                             bool ignoreBrokenPipe, const PipeControl &control);
