#include "tools/complete_word.h"

#include <algorithm>

#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/memory.h"
#include "tools/word_chars.h"

namespace {

// Whether the word begins with the prefix. Ignoring case, single bytes are
// compared lowered and double-byte characters as they are (a trail byte may
// look like a letter).
bool BeginsWith(const char *word, u32 wordLength, const CompleteWordRequest &r) {
  const u32 n = r.prefixLength;
  if (wordLength <= n) return false;
  if (!r.ignoreCase) return MemCompare(word, r.prefix, n) == 0;
  for (u32 i = 0; i < n;) {
    const TextChar ch = ReadTextChar(word, i, wordLength);
    if (ch.length == 2) {
      if (i + 1 >= n || word[i] != r.prefix[i] || word[i + 1] != r.prefix[i + 1]) return false;
    } else if (ToLower(static_cast<u8>(word[i])) != ToLower(static_cast<u8>(r.prefix[i]))) {
      return false;
    }
    i += ch.length;
  }
  return true;
}

struct Entry {
  u32 offset;    // in the pool
  u32 length;
  u32 distance;  // of the nearest occurrence from the prefix's start
  u32 position;  // of that occurrence
};

u32 Hash(const char *p, u32 n) {
  u32 h = 2166136261u;
  for (u32 i = 0; i < n; i++) h = (h ^ static_cast<u8>(p[i])) * 16777619u;
  return h;
}

// The distinct words met so far: their bytes in a pool, entries in order of
// discovery, and an open-addressing table of entry numbers (0: empty slot).
class Dictionary {
 public:
  ~Dictionary() {
    ToolDocumentFree(&pool_);
    Free(entries_.entries);
    Free(slots_);
  }
  const Entry *entries() const { return static_cast<const Entry *>(entries_.entries); }
  u32 count() const { return entries_.count; }
  const char *Bytes(const Entry &e) const { return pool_.text + e.offset; }

  // Adds an occurrence; false when memory ran out.
  bool Add(const char *word, u32 length, u32 position, u32 distance) {
    if ((entries_.count + 1) * 2 > slotCount_ && !Rehash(slotCount_ ? slotCount_ * 2 : 64)) return false;
    Entry *all = static_cast<Entry *>(entries_.entries);
    u32 i = Hash(word, length) & (slotCount_ - 1);
    for (; slots_[i]; i = (i + 1) & (slotCount_ - 1)) {
      Entry &e = all[slots_[i] - 1];
      if (e.length == length && MemCompare(pool_.text + e.offset, word, length) == 0) {
        if (distance < e.distance) {
          e.distance = distance;
          e.position = position;
        }
        return true;
      }
    }
    if (!GrowArray(&entries_, sizeof(Entry), entries_.count + 1)) return false;
    const u32 offset = pool_.length;
    if (ToolDocumentAppend(&pool_, word, length) != 0) return false;
    static_cast<Entry *>(entries_.entries)[entries_.count++] = Entry{offset, length, distance, position};
    slots_[i] = entries_.count;
    return true;
  }

 private:
  bool Rehash(u32 slotCount) {
    if (slotCount > 0x40000000u) return false;
    u32 *slots = static_cast<u32 *>(Allocate(static_cast<size_t>(slotCount) * sizeof(u32)));
    if (!slots) return false;
    MemZero(slots, static_cast<size_t>(slotCount) * sizeof(u32));
    const Entry *all = entries();
    for (u32 k = 0; k < entries_.count; k++) {
      u32 i = Hash(pool_.text + all[k].offset, all[k].length) & (slotCount - 1);
      while (slots[i]) i = (i + 1) & (slotCount - 1);
      slots[i] = k + 1;
    }
    Free(slots_);
    slots_ = slots;
    slotCount_ = slotCount;
    return true;
  }

  ToolDocument pool_ = {};
  GrowableArray entries_ = {};
  u32 *slots_ = nullptr;
  u32 slotCount_ = 0;
};

// Byte order, optionally of the lowered bytes first (then as written, so that
// the order is total).
int CompareWords(const char *a, u32 an, const char *b, u32 bn, bool lowered) {
  const u32 n = an < bn ? an : bn;
  if (lowered) {
    for (u32 i = 0; i < n; i++) {
      const u8 x = ToLower(static_cast<u8>(a[i])), y = ToLower(static_cast<u8>(b[i]));
      if (x != y) return x < y ? -1 : 1;
    }
    if (an != bn) return an < bn ? -1 : 1;
  }
  for (u32 i = 0; i < n; i++) {
    const u8 x = static_cast<u8>(a[i]), y = static_cast<u8>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return an == bn ? 0 : an < bn ? -1 : 1;
}

// How often the scan looks at the cancel flag.
constexpr u32 kCancelCheckBytes = 65536;

}  // namespace

u32 PartialWordStart(const char *line, u32 length) {
  u32 runStart = length;
  bool inRun = false;
  for (u32 i = 0; i < length;) {
    const TextChar ch = ReadTextChar(line, i, length);
    if (ch.word && !inRun) runStart = i;
    inRun = ch.word;
    i += ch.length;
  }
  return inRun ? runStart : length;
}

int CollectCompletions(const char *text, u32 length, ToolDocument *, ToolParam param) {
  CompleteWordRequest *r = reinterpret_cast<CompleteWordRequest *>(param);
  ToolDocumentFree(&r->words);
  r->count = 0;
  if (r->prefixLength == 0) return 0;
  Dictionary words;
  u32 nextCheck = kCancelCheckBytes;
  for (u32 i = 0; i < length;) {
    if (i >= nextCheck) {
      if (ToolCancelled()) return 0;
      nextCheck = i + kCancelCheckBytes;
    }
    TextChar ch = ReadTextChar(text, i, length);
    if (!ch.word) {
      i += ch.length;
      continue;
    }
    const u32 start = i;
    while (i < length && ch.word) {
      i += ch.length;
      if (i < length) ch = ReadTextChar(text, i, length);
    }
    if (start == r->ownStart || !BeginsWith(text + start, i - start, *r)) continue;
    const u32 distance = start < r->ownStart ? r->ownStart - start : start - r->ownStart;
    if (!words.Add(text + start, i - start, start, distance)) return kResultOutOfMemory;
  }
  // The order, over entry numbers.
  const u32 n = words.count();
  if (n == 0) return 0;
  u32 *order = static_cast<u32 *>(Allocate(static_cast<size_t>(n) * sizeof(u32)));
  if (!order) return kResultOutOfMemory;
  for (u32 k = 0; k < n; k++) order[k] = k;
  const Entry *all = words.entries();
  if (r->sorted) {
    const bool lowered = r->ignoreCase != 0;
    std::sort(order, order + n, [&](u32 x, u32 y) {
      return CompareWords(words.Bytes(all[x]), all[x].length, words.Bytes(all[y]), all[y].length, lowered) < 0;
    });
  } else {
    std::sort(order, order + n, [&](u32 x, u32 y) {
      if (all[x].distance != all[y].distance) return all[x].distance < all[y].distance;
      return all[x].position < all[y].position;
    });
  }
  u64 bytes = 0;
  for (u32 k = 0; k < n; k++) bytes += all[k].length + 1ull;
  int result = ToolDocumentReserve(&r->words, bytes);
  for (u32 k = 0; k < n && result == 0; k++) {
    const Entry &e = all[order[k]];
    MemCopy(r->words.text + r->words.length, words.Bytes(e), e.length);
    r->words.length += e.length;
    r->words.text[r->words.length++] = 0;
  }
  Free(order);
  if (result != 0) {
    ToolDocumentFree(&r->words);
    return kResultOutOfMemory;
  }
  r->count = n;
  return 0;
}

const char *CompletionAt(const CompleteWordRequest &request, u32 index) {
  if (index >= request.count) return nullptr;
  const char *p = request.words.text;
  for (u32 k = 0; k < index; k++) p += StrLen(p) + 1;
  return p;
}

u32 CommonContinuation(const CompleteWordRequest &request) {
  if (request.count == 0) return 0;
  const u32 skip = request.prefixLength;
  const char *first = request.words.text;
  const u32 firstLength = static_cast<u32>(StrLen(first));
  u32 common = firstLength - skip;
  const char *p = first + firstLength + 1;
  for (u32 k = 1; k < request.count && common > 0; k++) {
    const u32 length = static_cast<u32>(StrLen(p));
    u32 i = 0;
    while (i < common && skip + i < length && p[skip + i] == first[skip + i]) i++;
    common = i;
    p += length + 1;
  }
  // Whole characters of the first word only: a pair is kept or dropped whole.
  u32 whole = 0;
  for (u32 i = skip; i < firstLength;) {
    const u32 next = i + ReadTextChar(first, i, firstLength).length;
    if (next - skip > common) break;
    whole = next - skip;
    i = next;
  }
  return whole;
}

void FreeCompleteWordRequest(CompleteWordRequest *request) {
  ToolDocumentFree(&request->words);
  request->count = 0;
}
