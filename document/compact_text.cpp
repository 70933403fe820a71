#include "document/compact_text.h"

#include <string.h>

#include "document/store_internal.h"

namespace {

// Resizes a buffer; false (buffer kept) when the heap refuses.
bool ResizeBuffer(TextBlock *b, u32 size) {
  void *p = Reallocate(b->data, size ? size : 1);
  if (!p) return false;
  b->data = static_cast<char *>(p);
  return true;
}

// Trims the first and last buffers to their exact length and the arrays to
// their counts. Every step may be refused: the text then keeps a bigger buffer
// or array, which is harmless.
void Pack(TextStore *t) {
  if (t->blocks.count) {
    ResizeBuffer(&t->blocks.entries[0], t->blocks.entries[0].length);
    if (t->blocks.count > 1) {
      TextBlock &last = t->blocks.entries[t->blocks.count - 1];
      ResizeBuffer(&last, last.length);
    }
  }
  if (t->blocks.capacity > t->blocks.count && t->blocks.count) {
    if (void *p = Reallocate(t->blocks.entries, t->blocks.count * sizeof(TextBlock))) {
      t->blocks.entries = static_cast<TextBlock *>(p);
      t->blocks.capacity = t->blocks.count;
    }
  }
  if (t->blockGroups.capacity > t->blockGroups.count && t->blockGroups.count) {
    if (void *p = Reallocate(t->blockGroups.entries, t->blockGroups.count * sizeof(BlockGroup))) {
      t->blockGroups.entries = static_cast<BlockGroup *>(p);
      t->blockGroups.capacity = t->blockGroups.count;
    }
  }
}

// Brings the first and last buffers back to their full size; false (with
// nothing changed that matters) when refused.
bool Unpack(TextStore *t) {
  u32 n = t->blocks.count;
  if (n == 0) return true;
  TextBlock &first = t->blocks.entries[0];
  if (!ResizeBuffer(&first, BufferSize(first.length))) return false;
  if (n > 1) {
    TextBlock &last = t->blocks.entries[n - 1];
    if (!ResizeBuffer(&last, BufferSize(last.length))) {
      ResizeBuffer(&first, first.length);
      return false;
    }
  }
  return true;
}

void ToStore(const CompactText *c, TextStore *t) {
  memset(t, 0, sizeof *t);
  t->length = c->length;
  t->noRowIndex = 1;
  t->blocks = Table<TextBlock>{c->blockCount, c->blockCount, c->blocks};
  t->blockGroups = Table<BlockGroup>{c->groupCount, c->groupCount, c->groups};
}

void FromStore(const TextStore *t, CompactText *c) {
  c->length = t->length;
  c->blockCount = t->blocks.count;
  c->blocks = t->blocks.entries;
  c->groupCount = t->blockGroups.count;
  c->groups = t->blockGroups.entries;
}

}  // namespace

// The length of every block of a compact text made whole but the last.
constexpr u32 kCompactStride = kBlockLarge;

CompactText *CompactAllocate(u32 n, u32 extraBytes) {
  const u32 blocks = (n + kCompactStride - 1) / kCompactStride;
  const u32 fill = g_storeLimits.blockGroupFill;
  const u32 groups = (blocks + fill - 1) / fill;
  CompactText *c = static_cast<CompactText *>(Allocate(sizeof(CompactText) + extraBytes));
  if (!c) return nullptr;
  memset(c, 0, sizeof *c);
  if (blocks) {
    c->blocks = static_cast<TextBlock *>(Allocate(blocks * sizeof(TextBlock)));
    c->groups = static_cast<BlockGroup *>(Allocate(groups * sizeof(BlockGroup)));
    if (!c->blocks || !c->groups) {
      CompactFree(c);
      return nullptr;
    }
  }
  // Full blocks of 8192 bytes (half the allocations of 4096-byte ones; the
  // last exactly as long as it is).
  for (u32 i = 0; i < blocks; i++) {
    u32 len = i + 1 < blocks ? kCompactStride : n - i * kCompactStride;
    char *data = static_cast<char *>(Allocate(len));
    if (!data) {
      CompactFree(c);
      return nullptr;
    }
    u32 g = i / fill;
    c->blocks[i] = TextBlock{g, (i % fill) * kCompactStride, len, data};
    c->blockCount = i + 1;
  }
  for (u32 g = 0; g < groups; g++) {
    u32 first = g * fill;
    u32 count = blocks - first < fill ? blocks - first : fill;
    c->groups[g] = BlockGroup{first, first * kCompactStride, count, 0};
  }
  c->groupCount = groups;
  c->length = n;
  return c;
}

void CompactWrite(CompactText *c, u32 offset, const char *p, u32 len) {
  while (len) {
    TextBlock &b = c->blocks[offset / kCompactStride];
    u32 off = offset % kCompactStride;
    u32 take = b.length - off < len ? b.length - off : len;
    memcpy(b.data + off, p, take);
    p += take;
    len -= take;
    offset += take;
  }
}

CompactText *CompactCreate(const TextStore *src, u32 from, u32 to) {
  CompactText *c = CompactAllocate(to - from, 0);
  if (!c) return nullptr;
  u32 i = 0;
  ForEachPiece(src, from, to - from, [&](const char *p, u32 len) {
    CompactWrite(c, i, p, len);
    i += len;
  });
  return c;
}

int CompactAdd(CompactText *c, const TextStore *src, u32 from, u32 to, bool front) {
  if (from >= to) return 0;
  TextStore t;
  ToStore(c, &t);
  if (!Unpack(&t)) return -1;
  int r = StoreInsert(&t, front ? 0 : t.length, StoreSource(src, from, to - from), kStoreNoProgress);
  Pack(&t);
  FromStore(&t, c);
  return r == 0 ? 0 : -1;
}

void CompactFree(CompactText *c) {
  if (!c) return;
  for (u32 i = 0; i < c->blockCount; i++) Free(c->blocks[i].data);
  Free(c->blocks);
  Free(c->groups);
  Free(c);
}

void CompactView(const CompactText *c, CompactStoreView *v) {
  ToStore(c, &v->store);
  v->row = Row{0, 0, 0, 0, 0, 0};
  v->group = RowGroup{0, 0, 0, 1};
  v->store.rows = Table<Row>{1, 1, &v->row};
  v->store.rowGroups = Table<RowGroup>{1, 1, &v->group};
  v->shift = RowGroupShift{0, 0, 0, 0};
  v->store.rowShifts = Table<RowGroupShift>{1, 1, &v->shift};
  v->store.rowGaps = RowGaps{};
  IndexRowGaps(&v->store);
}

void CompactMemory(const CompactText *c, u64 *indexBytes, u64 *textBytes) {
  *indexBytes = sizeof(CompactText) + static_cast<u64>(c->blockCount) * sizeof(TextBlock) +
                static_cast<u64>(c->groupCount) * sizeof(BlockGroup);
  u64 text = 0;
  for (u32 i = 0; i < c->blockCount; i++) {
    u32 len = c->blocks[i].length;
    text += (i == 0 || i + 1 == c->blockCount) ? len : BufferSize(len);
  }
  *textBytes = text;
}
