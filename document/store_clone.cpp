// A copy of a whole store, made table by table and block by block: no text
// is scanned for newlines and no row is looked up, so it costs about what
// copying its memory costs.
#include "document/store_internal.h"
#include "foundation/memory.h"

namespace {

// A table with the same capacity and the same entries: `used` of them, from
// the first (all of them where free entries lie between the used ones).
template <class T>
bool CopyTable(Table<T> *to, const Table<T> &from, u32 used) {
  *to = Table<T>{};
  if (from.capacity == 0) return true;
  T *entries = static_cast<T *>(Allocate(static_cast<size_t>(from.capacity) * sizeof(T)));
  if (!entries) return false;
  if (used) memcpy(entries, from.entries, static_cast<size_t>(used) * sizeof(T));
  to->entries = entries;
  to->capacity = from.capacity;
  to->count = from.count;
  return true;
}

}  // namespace

int CloneStore(const TextStore *src, TextStore *dst) {
  memset(dst, 0, sizeof *dst);
  dst->length = src->length;
  dst->noRowIndex = src->noRowIndex;
  dst->rowGaps = src->rowGaps;
  dst->rowGapIndex = src->rowGapIndex;
  for (u32 k = 0; k < kRangeSetCount; k++) dst->rangeSets[k].maintained = src->rangeSets[k].maintained;
  // The row table's free entries are gaps among the rows: it is copied whole.
  bool ok = CopyTable(&dst->blockGroups, src->blockGroups, src->blockGroups.count) &&
            CopyTable(&dst->rowGroups, src->rowGroups, src->rowGroups.count) &&
            CopyTable(&dst->rows, src->rows, src->rows.capacity) &&
            CopyTable(&dst->rowShifts, src->rowShifts, src->rowShifts.count) &&
            CopyTable(&dst->blocks, src->blocks, src->blocks.count);
  // Each block gets a buffer of its own; the count says how many have one.
  const u32 blocks = dst->blocks.count;
  dst->blocks.count = 0;
  for (u32 i = 0; ok && i < blocks; i++) {
    const TextBlock &from = src->blocks.entries[i];
    char *data = static_cast<char *>(Allocate(BufferSize(from.length)));
    if (!data) {
      ok = false;
      break;
    }
    memcpy(data, from.data, from.length);
    dst->blocks.entries[i].data = data;
    dst->blocks.count = i + 1;
  }
  if (!ok) {
    FreeStore(dst);
    return -1;
  }
  return 0;
}
