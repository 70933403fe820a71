// A growable run of bytes from the foundation allocator.
//
// Appending doubles the capacity as needed; a failed growth returns false
// and leaves the buffer (data, length, capacity) exactly as it was.
#pragma once

#include "foundation/types.h"

struct ByteBuffer {
  char *data;
  size_t length;
  size_t capacity;
};

// Makes room for `extra` more bytes. False when out of memory.
[[nodiscard]] bool BufferReserve(ByteBuffer *b, size_t extra);
[[nodiscard]] bool BufferAppend(ByteBuffer *b, const void *bytes, size_t n);
[[nodiscard]] bool BufferAppendByte(ByteBuffer *b, char c);
[[nodiscard]] bool BufferAppendText(ByteBuffer *b, const char *text);
void BufferFree(ByteBuffer *b);
// Hands the bytes over to the caller (who frees them) and empties the buffer.
char *BufferRelease(ByteBuffer *b, size_t *length);
