// The clipboard's two texts as blocks of bytes.
//
// The program's private block carries an exact length, so that text with
// zero bytes and any mixture of newlines travels unchanged between windows:
//
//   offset 0   u32  text length, below 2^31
//   offset 4   u32  0
//   offset 8        the text exactly as stored
//   8 + length      a zero byte
//
// The plain-text block (CF_TEXT) holds the text as other programs read it
// (CR LF newlines, no zero bytes inside) and a zero byte.
//
// The readers take blocks of any size and content, as another program may
// have left them: nothing is read outside [block, block + size).
#pragma once

#include <stddef.h>

#include "document/text_store.h"
#include "foundation/types.h"

constexpr u32 kClipHeader = 8;
// A clipboard text is below 2^31 bytes, with its zero byte and header.
constexpr u64 kClipMostBytes = 0x7FFFFFFFu;

// The text of a private block: false when the block is invalid (under 8
// bytes, a nonzero second word, a length negative as a signed value);
// otherwise *text points at offset 8 and *length is min(length, size - 8).
bool ReadPrivateBlock(const void *block, size_t size, const char **text, u32 *length);
// The text of a plain-text block: up to its first zero byte or its end.
u32 PlainTextLength(const void *block, size_t size);

// The reader's clipboard mode: CR LF newlines, a zero byte as a space, a
// range that starts inside a newline writing it whole.
constexpr u32 kReadClipboard = kReadHardCR | kReadHardLF | kReadNulToSpace | kReadPartialNewline;

// The sizes of the two blocks that hold `before` bytes (of an older text,
// appended to) and then [from, to) of the store, terminator and header
// included; false when either would pass kClipMostBytes.
bool ClipBlockSizes(const TextStore *store, u32 from, u32 to, u64 plainBefore, u64 privateBefore, u64 *plainSize,
                    u64 *privateSize);
// Fills a plain block of plainSize bytes (the older text plainBefore,
// [from, to) in the clipboard mode, zero bytes to the end) and a private
// block of privateSize bytes (the header, the older text privateBefore,
// [from, to) as stored, a zero byte), reading the text once. Returns the
// plain text's length.
struct ClipBlock {
  const char *before;  // the older text of an append, or null
  u32 beforeLength;
  char *block;
  u64 size;
};
u32 FillClipBlocks(const TextStore *store, u32 from, u32 to, const ClipBlock &plain, const ClipBlock &exact);
