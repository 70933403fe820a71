#include "foundation/byte_buffer.h"

#include "foundation/bytes.h"
#include "foundation/memory.h"

bool BufferReserve(ByteBuffer *b, size_t extra) {
  if (extra > SIZE_MAX - b->length) return false;
  size_t need = b->length + extra;
  if (need <= b->capacity && b->data) return true;
  size_t cap = b->capacity ? b->capacity : 64;
  while (cap < need) {
    if (cap > SIZE_MAX / 2) {
      cap = need;
      break;
    }
    cap *= 2;
  }
  void *grown = Reallocate(b->data, cap);
  if (!grown) return false;
  b->data = static_cast<char *>(grown);
  b->capacity = cap;
  return true;
}

bool BufferAppend(ByteBuffer *b, const void *bytes, size_t n) {
  if (!BufferReserve(b, n)) return false;
  if (n) MemCopy(b->data + b->length, bytes, n);
  b->length += n;
  return true;
}

bool BufferAppendByte(ByteBuffer *b, char c) { return BufferAppend(b, &c, 1); }

bool BufferAppendText(ByteBuffer *b, const char *text) { return BufferAppend(b, text, StrLen(text)); }

void BufferFree(ByteBuffer *b) {
  Free(b->data);
  b->data = nullptr;
  b->length = b->capacity = 0;
}

char *BufferRelease(ByteBuffer *b, size_t *length) {
  char *data = b->data;
  if (length) *length = b->length;
  b->data = nullptr;
  b->length = b->capacity = 0;
  return data;
}
