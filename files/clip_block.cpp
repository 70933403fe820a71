#include "files/clip_block.h"

#include <string.h>

#include "foundation/bytes.h"

bool ReadPrivateBlock(const void *block, size_t size, const char **text, u32 *length) {
  if (!block || size < kClipHeader) return false;
  u32 words[2];
  memcpy(words, block, sizeof words);
  if (words[1] != 0 || words[0] > kClipMostBytes) return false;
  const size_t room = size - kClipHeader;
  *text = static_cast<const char *>(block) + kClipHeader;
  *length = words[0] < room ? words[0] : static_cast<u32>(room < kClipMostBytes ? room : kClipMostBytes);
  return true;
}

u32 PlainTextLength(const void *block, size_t size) {
  if (!block) return 0;
  if (size > kClipMostBytes) size = kClipMostBytes;
  const void *zero = MemFindByte(block, 0, size);
  return static_cast<u32>(zero ? static_cast<const char *>(zero) - static_cast<const char *>(block) : size);
}

bool ClipBlockSizes(const TextStore *store, u32 from, u32 to, u64 plainBefore, u64 privateBefore, u64 *plainSize,
                    u64 *privateSize) {
  // Sums in 64 bits: on the 32-bit build an older text plus a selection
  // near 2 GiB would wrap.
  *plainSize = plainBefore + MeasureText(store, from, to, kReadClipboard) + 1;
  *privateSize = kClipHeader + privateBefore + (to - from) + 1;
  return *plainSize <= kClipMostBytes && *privateSize <= kClipMostBytes;
}

u32 FillClipBlocks(const TextStore *store, u32 from, u32 to, const ClipBlock &plain, const ClipBlock &exact) {
  if (to < from) {
    const u32 t = to;
    to = from;
    from = t;
  }
  const u32 length = exact.beforeLength + (to - from);
  const u32 words[2] = {length, 0};
  memcpy(exact.block, words, sizeof words);
  if (exact.beforeLength) memcpy(exact.block + kClipHeader, exact.before, exact.beforeLength);
  if (plain.beforeLength) memcpy(plain.block, plain.before, plain.beforeLength);
  const u32 room = static_cast<u32>(plain.size - 1 - plain.beforeLength);
  const u32 n = plain.beforeLength + ReadTextAndCopy(store, from, to, plain.block + plain.beforeLength, room,
                                                     kReadClipboard, exact.block + kClipHeader + exact.beforeLength,
                                                     nullptr);
  memset(plain.block + n, 0, static_cast<size_t>(plain.size - n));
  memset(exact.block + kClipHeader + length, 0, static_cast<size_t>(exact.size - kClipHeader - length));
  return n;
}
