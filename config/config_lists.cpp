#include "config/config_lists.h"

#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/memory.h"
#include "foundation/platform.h"

SettingsBlock g_settings;
SettingsBlock g_baseline;
SettingsBlock g_pending;
ConfigSession g_config;
const char kConfigMutexName[] = "QuilPad";

u32 ConfigTimeStamp() { return static_cast<u32>((PlatSystemTimeAsFileTime() >> 23) - 0x7E000000u); }

bool TextsEqualNoCase(const char *a, const char *b) {
  // The lowercase table is the system's answer for every byte, asked once.
  const u8 *lower = LowerTable();
  for (;; a++, b++) {
    if (lower[static_cast<u8>(*a)] != lower[static_cast<u8>(*b)]) return false;
    if (!*a) return true;
  }
}

namespace {

// The same for two texts each terminated within cap bytes (the fields of
// records): runs of equal bytes are passed eight at a time, so that equal
// records of kilobytes compare at the speed of memory.
bool FieldsEqualNoCase(const char *a, const char *b, size_t cap) {
  const u8 *lower = LowerTable();
  for (size_t i = 0; i < cap; i += 8) {
    if (i + 8 <= cap) {
      u64 x, y;
      MemCopy(&x, a + i, 8);
      MemCopy(&y, b + i, 8);
      // Equal, and no terminator among them: on to the next eight.
      if (x == y && ((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) == 0) continue;
    }
    for (size_t j = i; j < i + 8 && j < cap; j++) {
      if (lower[static_cast<u8>(a[j])] != lower[static_cast<u8>(b[j])]) return false;
      if (!a[j]) return true;
    }
  }
  return true;
}

// The ordered insertion shared by recent files and search history. Slots are
// `stride` bytes apart; each starts with its text, its time stamp lies at
// timeOffset.
void AddByTime(char *slots, size_t stride, int count, size_t timeOffset, const void *entry, u32 time) {
  auto text = [&](int i) { return slots + static_cast<size_t>(i) * stride; };
  auto stamp = [&](int i) {
    u32 t;
    MemCopy(&t, text(i) + timeOffset, 4);
    return t;
  };
  const char *newText = static_cast<const char *>(entry);
  int i = 0;
  for (int k = 0; k < count; k++) {
    if (text(k)[0] && FieldsEqualNoCase(text(k), newText, timeOffset)) {
      i = k;
      break;
    }
  }
  if (stamp(i) > time) return;
  while (i + 1 < count && stamp(i + 1) <= time) {
    MemCopy(text(i), text(i + 1), stride);
    i++;
  }
  MemCopy(text(i), entry, stride);
  MemCopy(text(i) + timeOffset, &time, 4);
}

bool FilterEqual(const FilterRecord &a, const FilterRecord &b) {
  return FieldsEqualNoCase(a.name, b.name, sizeof a.name) && FieldsEqualNoCase(a.Cmd, b.Cmd, sizeof a.Cmd) &&
         FieldsEqualNoCase(a.Desc, b.Desc, sizeof a.Desc) &&
         a.SkipDlg == b.SkipDlg && a.NoIn == b.NoIn && a.NoOut == b.NoOut && a.MixOuts == b.MixOuts &&
         a.MsgOut == b.MsgOut && a.Utf8 == b.Utf8 && a.IRet == b.IRet && a.Wait == b.Wait && a.Exit == b.Exit &&
         a.ExitWS == b.ExitWS;
}

}  // namespace

void AddRecentFile(SettingsBlock *s, const char *path, u32 time) {
  if (!path[0]) return;
  // The slots are a path followed by nothing: carry the time stamps in step.
  struct Slot {
    char path[kPathChars];
    u32 time;
  } slots[kRecentFiles];
  for (int i = 0; i < kRecentFiles; i++) {
    MemCopy(slots[i].path, s->lists.recent[i], kPathChars);
    slots[i].time = s->lists.recentTime[i];
  }
  Slot entry = {};
  StrCopyN(entry.path, path, kPathChars);
  AddByTime(reinterpret_cast<char *>(slots), sizeof(Slot), kRecentFiles, offsetof(Slot, time), &entry, time);
  for (int i = 0; i < kRecentFiles; i++) {
    MemCopy(s->lists.recent[i], slots[i].path, kPathChars);
    s->lists.recentTime[i] = slots[i].time;
  }
  g_config.recent.dirty = 1;
}

void ClearRecentFiles(SettingsBlock *s) {
  MemZero(s->lists.recent, sizeof s->lists.recent);
  MemZero(s->lists.recentTime, sizeof s->lists.recentTime);
  g_config.recent.dirty = 1;
}

void AddFindHistory(SettingsBlock *s, const FindEntry &entry) {
  if (!entry.Fnd[0]) return;
  AddByTime(reinterpret_cast<char *>(s->lists.find), sizeof(FindEntry), kSearchHistory, offsetof(FindEntry, FTx),
            &entry, entry.FTx);
  g_config.search.dirty = 1;
}

void AddReplaceHistory(SettingsBlock *s, const ReplaceEntry &entry) {
  if (!entry.Rep[0]) return;
  AddByTime(reinterpret_cast<char *>(s->lists.replace), sizeof(ReplaceEntry), kSearchHistory,
            offsetof(ReplaceEntry, RTx), &entry, entry.RTx);
  g_config.search.dirty = 1;
}

bool IsFavouriteSeparator(const char *path) {
  return path[0] == '-' && (!path[1] || (path[1] == '-' && !path[2]));
}

bool AddFavourite(SettingsBlock *s, const char *path) {
  if (!path[0]) return false;
  int free = -1;
  for (int i = 0; i < kFavourites; i++) {
    const char *slot = s->lists.favourites[i];
    if (!slot[0]) {
      if (free < 0) free = i;
    } else if (!IsFavouriteSeparator(path) && TextsEqualNoCase(slot, path)) {
      return true;  // a separator, though, is one more each time
    }
  }
  if (free < 0) return false;
  StrCopyN(s->lists.favourites[free], path, kPathChars);
  g_config.favourites.dirty = 1;
  return true;
}

bool FilterPresent(const SettingsBlock *s, const FilterRecord &filter) {
  for (const FilterRecord &f : s->lists.filters)
    if (f.name[0] && FilterEqual(f, filter)) return true;
  return false;
}

int FreeFilterSlots(const SettingsBlock *s) {
  int n = 0;
  for (const FilterRecord &f : s->lists.filters) n += f.name[0] == 0;
  return n;
}

bool AddFilter(SettingsBlock *s, const FilterRecord &filter) {
  if (!filter.name[0]) return false;
  if (FilterPresent(s, filter)) return true;
  for (FilterRecord &f : s->lists.filters) {
    if (f.name[0]) continue;
    f = filter;
    g_config.filters.dirty = 1;
    return true;
  }
  return false;
}

bool SetClip(int n, const char *text, u32 length) {
  if (n < 0 || n >= kClipCount || length == 0) return true;
  // The copy first: without memory for it the old text stays.
  char *copy = static_cast<char *>(Allocate(static_cast<size_t>(length) + 1));
  if (!copy) return false;
  MemCopy(copy, text, length);
  copy[length] = 0;
  TakeClip(n, copy, length);
  return true;
}

void TakeClip(int n, char *text, u32 length) {
  if (n < 0 || n >= kClipCount || length == 0) {
    Free(text);
    return;
  }
  ClipSlot &clip = g_config.clips[n];
  Free(clip.text);
  clip.text = text;
  clip.length = length;
  clip.dirty = 1;
  clip.longAccepted = 0;
  g_config.clipsChanged = 1;
}

char *ReclaimClipBlock(int n, size_t bytes) {
  if (n < 0 || n >= kClipCount || !g_config.clips[n].text) return nullptr;
  ClipSlot &clip = g_config.clips[n];
  const size_t size = PlatHeapSize(clip.text);
  if (size < bytes || size / 2 >= bytes) return nullptr;
  char *text = clip.text;
  clip.text = nullptr;
  clip.length = 0;
  return text;
}

void ClearAllClips() {
  for (ClipSlot &clip : g_config.clips) {
    Free(clip.text);
    clip.text = nullptr;
    clip.length = 0;
    clip.dirty = 1;
  }
  g_config.clipsChanged = 1;
}

void FreeClips() {
  for (ClipSlot &clip : g_config.clips) {
    Free(clip.text);
    clip = {};
  }
}
