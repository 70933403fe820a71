#include "config/config_io.h"

#include "config/config_lists.h"
#include "config/config_store.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/format.h"
#include "foundation/memory.h"
#include "foundation/platform.h"
#include "foundation/texts.h"

namespace {

const char kIniName[] = "QuilPad.ini";

// The mutex for one load or save; a mutex that cannot be made does not stop a
// load (there is nothing to lose), but it does stop a save.
struct MutexHold {
  PlatMutex mutex = nullptr;
  bool held = false;
  bool Take() {
    mutex = PlatMutexOpen(kConfigMutexName);
    held = mutex && PlatMutexWait(mutex);
    return held;
  }
  ~MutexHold() {
    if (held) PlatMutexRelease(mutex);
    PlatMutexClose(mutex);
  }
};

void Key(char *out, const char *format, int n) { Format(out, 16, format, n); }

u32 ReadStoredInc(const ConfigStore *section) {
  u32 inc = 0;
  ReadInt(section, "Inc", &inc);
  return inc;
}

u32 NextInc(u32 stored) { return stored + 1 == 0 ? 1 : stored + 1; }

// ---- reading the lists ----

// Loading keeps every stored slot where it is, separators and gaps
// included; merging another session's list adds only its paths that are
// missing here (its separators belong to its own order).
void ReadFavourites(const ConfigStore *section, SettingsBlock *s, bool merge) {
  for (int n = 0; n < kFavourites; n++) {
    char path[kPathChars] = "";
    if (!ReadString(section, "%.2d", n, path, kPathChars) || !path[0]) continue;
    if (!merge) StrCopyN(s->lists.favourites[n], path, kPathChars);
    else if (!IsFavouriteSeparator(path)) AddFavourite(s, path);
  }
}

void ReadRecent(const ConfigStore *section, const ConfigStore *tx, SettingsBlock *s) {
  u32 now = ConfigTimeStamp();
  for (int n = 0; n < kRecentFiles; n++) {
    char path[kPathChars] = "";
    if (!ReadString(section, "%.2d", n, path, kPathChars) || !path[0]) continue;
    u32 time = 0;
    if (tx) ReadInt(tx, "%.2dTx", n, &time);
    AddRecentFile(s, path, time > now ? 0 : time);
  }
}

void ReadSearchHistory(const ConfigStore *section, const ConfigStore *tx, SettingsBlock *s) {
  u32 now = ConfigTimeStamp();
  for (int n = 0; n < kSearchHistory; n++) {
    FindEntry find = {};
    ReadNumberedTable(section, kFindKeys, n, &find);
    if (tx) ReadNumberedTable(tx, kFindTimeKeys, n, &find);
    if (find.FTx > now) find.FTx = 0;
    AddFindHistory(s, find);
    ReplaceEntry replace = {};
    ReadNumberedTable(section, kReplaceKeys, n, &replace);
    if (tx) ReadNumberedTable(tx, kReplaceTimeKeys, n, &replace);
    if (replace.RTx > now) replace.RTx = 0;
    AddReplaceHistory(s, replace);
  }
}

// Reads the stored filters; each one with a name is handed to `take`.
template <typename Take>
void ReadFilters(const ConfigStore *section, Take take) {
  FilterRecord *f = static_cast<FilterRecord *>(Allocate(sizeof(FilterRecord)));
  if (!f) return;
  for (int n = 0; n < kFilters; n++) {
    char key[16];
    Key(key, "%.2d", n);
    ConfigStore sub;
    if (OpenSection(section, key, false, &sub) != 0) continue;
    MemZero(f, sizeof *f);
    ReadString(section, key, f->name, sizeof f->name);
    ReadTable(&sub, kFilterKeys, f);
    CloseSection(&sub);
    if (f->name[0]) take(*f);
  }
  Free(f);
}

void ReadClips(const ConfigStore *section, const ConfigStore *tx) {
  for (int n = 0; n < kClipCount; n++) {
    char key[16];
    Key(key, "%.2d", n);
    char *text = nullptr;
    u32 length = 0;
    bool outOfMemory = false;
    if (ReadBlob(section, key, &text, &length, &outOfMemory)) {
      ClipSlot &clip = g_config.clips[n];
      Free(clip.text);
      clip.text = text;
      clip.length = length;
      clip.longAccepted = length > kLongClipBytes;
    }
    if (tx) ReadInt(tx, "%.2dInc", n, &g_config.clips[n].inc);
  }
}

// Opens section/sub for reading and runs fn(section, sub or null).
template <typename Fn>
void WithSection(const ConfigStore *store, const char *name, const char *subName, Fn fn) {
  ConfigStore section;
  if (OpenSection(store, name, false, &section) != 0) return;
  ConfigStore sub;
  bool hasSub = subName && OpenSection(&section, subName, false, &sub) == 0;
  fn(&section, hasSub ? &sub : nullptr);
  if (hasSub) CloseSection(&sub);
  CloseSection(&section);
}

// ---- writing the lists ----

// Empties a section that may not exist yet.
int EmptySection(const ConfigStore *parent, const char *name) {
  ConfigStore section;
  int r = OpenSection(parent, name, false, &section);
  if (r == 64) return 0;
  if (r != 0) return r;
  r = ClearSection(&section);
  CloseSection(&section);
  return r;
}

// Writes one list that carries a change counter ("Inc", in the Tx
// sub-section when there is one). When another session has rewritten the
// list since this one last saw it, merge(section, tx) folds the stored
// entries in; it returns false when this session's list must not be written
// at all. Then the section is emptied, entries(section, tx) writes the whole
// list, and the counter goes up (never to 0).
template <typename Merge, typename Entries>
int WriteCountedList(const ConfigStore *store, const char *name, bool withTx, ListState *state, bool exportFile,
                     Merge merge, Entries entries) {
  ConfigStore section, tx;
  int r = OpenSection(store, name, true, &section);
  if (r != 0) return r;
  if (withTx && (r = OpenSection(&section, "Tx", true, &tx)) != 0) {
    CloseSection(&section);
    return r;
  }
  const ConfigStore *sub = withTx ? &tx : nullptr;
  const ConfigStore *counter = withTx ? &tx : &section;
  u32 stored = ReadStoredInc(counter);
  bool write = !(stored && stored != state->inc) || merge(&section, sub);
  u32 inc = NextInc(stored);
  if (write) {
    r = ClearSection(&section);
    if (r == 0 && withTx) r = ClearSection(&tx);
    if (r == 0) r = entries(&section, sub);
    if (r == 0) r = WriteInt(counter, "Inc", inc);
  }
  if (withTx) CloseSection(&tx);
  CloseSection(&section);
  if (r == 0) {
    if (write) state->inc = inc;
    if (!exportFile) state->dirty = 0;
  }
  return r;
}

int WriteFavourites(const ConfigStore *store, bool exportFile) {
  return WriteCountedList(
      store, "Favs", false, &g_config.favourites, exportFile,
      [](const ConfigStore *section, const ConfigStore *) {
        ReadFavourites(section, &g_settings, true);
        return true;
      },
      [](const ConfigStore *section, const ConfigStore *) {
        int r = 0;
        for (int n = 0; n < kFavourites && r == 0; n++) {
          const char *path = g_settings.lists.favourites[n];
          if (path[0]) r = WriteString(section, "%.2d", n, path, static_cast<u32>(StrLen(path)));
        }
        return r;
      });
}

int WriteRecent(const ConfigStore *store, bool exportFile) {
  return WriteCountedList(
      store, "Recent", true, &g_config.recent, exportFile,
      [](const ConfigStore *section, const ConfigStore *tx) {
        ReadRecent(section, tx, &g_settings);
        return true;
      },
      [](const ConfigStore *section, const ConfigStore *tx) {
        int r = 0;
        for (int n = 0; n < kRecentFiles && r == 0; n++) {
          const char *path = g_settings.lists.recent[n];
          if (!path[0]) continue;
          r = WriteString(section, "%.2d", n, path, static_cast<u32>(StrLen(path)));
          if (r == 0) r = WriteInt(tx, "%.2dTx", n, g_settings.lists.recentTime[n]);
        }
        return r;
      });
}

int WriteSearchHistory(const ConfigStore *store, bool exportFile) {
  return WriteCountedList(
      store, "Search", true, &g_config.search, exportFile,
      [](const ConfigStore *section, const ConfigStore *tx) {
        ReadSearchHistory(section, tx, &g_settings);
        return true;
      },
      [](const ConfigStore *section, const ConfigStore *tx) {
        int r = 0;
        for (int n = 0; n < kSearchHistory && r == 0; n++) {
          const FindEntry &find = g_settings.lists.find[n];
          if (find.Fnd[0]) {
            r = WriteNumberedTable(section, kFindKeys, n, &find, nullptr, nullptr, true);
            if (r == 0) r = WriteNumberedTable(tx, kFindTimeKeys, n, &find, nullptr, nullptr, true);
          }
          const ReplaceEntry &replace = g_settings.lists.replace[n];
          if (r == 0 && replace.Rep[0]) {
            r = WriteNumberedTable(section, kReplaceKeys, n, &replace, nullptr, nullptr, true);
            if (r == 0) r = WriteNumberedTable(tx, kReplaceTimeKeys, n, &replace, nullptr, nullptr, true);
          }
        }
        return r;
      });
}

int WriteFilters(WindowRef owner, const ConfigStore *store, bool exportFile) {
  auto merge = [owner](const ConfigStore *section, const ConfigStore *) {
    // Another session rewrote the filters: count the stored ones we lack.
    int missing = 0;
    ReadFilters(section, [&](const FilterRecord &f) { missing += !FilterPresent(&g_settings, f); });
    if (missing == 0) return true;
    if (missing <= FreeFilterSlots(&g_settings)) {
      ReadFilters(section, [&](const FilterRecord &f) { AddFilter(&g_settings, f); });
      AskUser(owner, TXT_FILTERS_MERGED, kAskInfo);
      return true;
    }
    // No room for both: No keeps theirs and writes nothing of ours.
    if (AskUser(owner, TXT_FILTERS_CONFLICT, kAskYesNoCancel) == kAnswerNo) return false;
    ReadFilters(section, [&](const FilterRecord &f) { AddFilter(&g_settings, f); });
    return true;
  };
  auto entries = [](const ConfigStore *section, const ConfigStore *) {
    int r = 0;
    for (int n = 0; n < kFilters && r == 0; n++) {
      char key[16];
      Key(key, "%.2d", n);
      r = EmptySection(section, key);
      const FilterRecord &f = g_settings.lists.filters[n];
      if (r != 0 || !f.name[0]) continue;
      r = WriteString(section, key, f.name, static_cast<u32>(StrLen(f.name)));
      ConfigStore sub;
      if (r == 0) r = OpenSection(section, key, true, &sub);
      if (r == 0) {
        r = WriteTable(&sub, kFilterKeys, &f, nullptr, nullptr, true);
        CloseSection(&sub);
      }
    }
    return r;
  };
  return WriteCountedList(store, "Filters", false, &g_config.filters, exportFile, merge, entries);
}

int WriteClips(WindowRef owner, const ConfigStore *store, bool exportFile) {
  ConfigStore section, tx;
  int r = OpenSection(store, "Clips", true, &section);
  if (r != 0) return r;
  r = OpenSection(&section, "Tx", true, &tx);
  if (r != 0) {
    CloseSection(&section);
    return r;
  }
  for (int n = 0; n < kClipCount && r == 0; n++) {
    ClipSlot &clip = g_config.clips[n];
    if (exportFile ? clip.length == 0 : !clip.dirty) continue;
    u32 stored = 0;
    ReadInt(&tx, "%.2dInc", n, &stored);
    if (stored && stored != clip.inc &&
        AskUserFormat(owner, kAskYesNo, Text(TXT_CLIP_CONFLICT), n + 1) == kAnswerNo)
      continue;
    if (clip.length > kLongClipBytes && !clip.longAccepted) {
      int answer = AskUserFormat(owner, kAskYesNoCancel, Text(TXT_CLIP_TOO_LONG), n + 1);
      if (answer == kAnswerYes) {
        clip.longAccepted = 1;
      } else if (answer == kAnswerNo) {
        clip.length = kLongClipBytes;
        clip.text[clip.length] = 0;
      } else {
        Free(clip.text);
        clip.text = nullptr;
        clip.length = 0;
      }
    }
    u32 inc = NextInc(stored);
    r = WriteString(&section, "%.2d", n, clip.text ? clip.text : "", clip.length);
    if (r == 0) r = WriteInt(&tx, "%.2dInc", n, inc);
    if (r == 0) clip.inc = inc;
  }
  CloseSection(&tx);
  CloseSection(&section);
  if (r == 0 && !exportFile) {
    for (ClipSlot &clip : g_config.clips) clip.dirty = 0;
    g_config.clipsChanged = 0;
  }
  return r;
}

// ---- writing the table-driven sections ----

struct SaveRun {
  const ConfigStore *store;
  bool erase;
  bool exportFile;
};

// Writes tables into one section; with erase the section is emptied at the end.
template <typename Fn>
int WriteSection(const SaveRun &run, const char *name, Fn fn) {
  ConfigStore section;
  int r = OpenSection(run.store, name, true, &section);
  if (r != 0) return r;
  r = fn(&section);
  if (r == 0 && run.erase) r = ClearSection(&section);
  CloseSection(&section);
  return r;
}

int Write(const ConfigStore *section, const KeyTable &table, bool exportFile, int n = 0, size_t offset = 0) {
  const char *live = reinterpret_cast<const char *>(&g_settings) + offset;
  const char *base = reinterpret_cast<const char *>(&g_baseline) + offset;
  char *pending = reinterpret_cast<char *>(&g_pending) + offset;
  return WriteNumberedTable(section, table, n, live, base, pending, exportFile);
}

int WritePlace(const SaveRun &run) {
  SettingsBlock &s = g_settings;
  if (g_config.hooks.capturePlacement) g_config.hooks.capturePlacement(g_config.hooks.context, &s.place);
  return WriteSection(run, "Place", [&](const ConfigStore *section) {
    int r = 0;
    if (s.save.Place || g_config.forgetPosition) {
      if (g_config.forgetPosition) s.place.Top = s.place.Left = kNotSaved;
      r = Write(section, kPlacePositionKeys, run.exportFile);
    }
    if (r == 0 && (s.save.Size || g_config.forgetSize)) {
      if (g_config.forgetSize) {
        s.place.Width = s.place.Height = kNotSaved;
        s.place.Maxed = s.place.FulScr = 0;
      }
      r = Write(section, kPlaceSizeKeys, run.exportFile);
    }
    return r;
  });
}

int WriteOpts(const SaveRun &run) {
  SettingsBlock &s = g_settings;
  return WriteSection(run, "Opts", [&](const ConfigStore *section) {
    int r = 0;
    if (s.save.Opts && run.exportFile) {
      // An export holds the total as this session knows it; the shared store
      // and the trip count stay as they are.
      u32 odo[2] = {s.opts.ODO[0], s.opts.ODO[1]};
      u64 total = ((static_cast<u64>(odo[1]) << 32) | odo[0]) + g_config.tripCount;
      s.opts.ODO[0] = static_cast<u32>(total);
      s.opts.ODO[1] = static_cast<u32>(total >> 32);
      r = Write(section, kOptsKeys, true);
      s.opts.ODO[0] = odo[0];
      s.opts.ODO[1] = odo[1];
    } else if (s.save.Opts) {
      // The odometer: what the store holds now plus this session's typing.
      u32 stored[2] = {0, 0};
      ReadPair(section, "ODO", stored);
      u64 total = ((static_cast<u64>(stored[1]) << 32) | stored[0]) + g_config.tripCount;
      s.opts.ODO[0] = static_cast<u32>(total);
      s.opts.ODO[1] = static_cast<u32>(total >> 32);
      r = Write(section, kOptsKeys, false);
      if (r == 0) g_config.tripCount = 0;
    }
    for (int n = 1; n <= 2 && r == 0 && s.save.Search; n++)
      r = Write(section, kSearchBarKeys, run.exportFile, n,
                offsetof(SettingsBlock, opts.bar) + static_cast<size_t>(n - 1) * sizeof(SearchBarSettings));
    return r;
  });
}

int WriteSetts(const SaveRun &run) {
  SettingsBlock &s = g_settings;
  return WriteSection(run, "Setts", [&](const ConfigStore *section) {
    int r = 0;
    if (s.save.MSetts) r = Write(section, kMainKeys, run.exportFile);
    if (r == 0 && s.save.ESetts) r = Write(section, kEditKeys, run.exportFile);
    if (r == 0 && s.save.FSetts) r = Write(section, kFileKeys, run.exportFile);
    return r;
  });
}

int WriteTools(const SaveRun &run) {
  SettingsBlock &s = g_settings;
  return WriteSection(run, "Tools", [&](const ConfigStore *section) {
    if (!s.save.Tools) return 0;
    int r = Write(section, kToolKeys, run.exportFile);
    for (int n = 0; n < 5 && r == 0 && s.main.TSortSv; n++)
      r = Write(section, kSortKeys, run.exportFile, n,
                offsetof(SettingsBlock, tools.sort) + static_cast<size_t>(n) * sizeof(SortKey));
    for (int n = 0; n < 9 && r == 0 && s.main.TColsSv; n++)
      r = Write(section, kColumnKeys, run.exportFile, n,
                offsetof(SettingsBlock, tools.columns) + static_cast<size_t>(n) * sizeof(ColumnDef));
    if (r == 0 && s.main.TCmpSv) r = Write(section, kCompareKeys, run.exportFile);
    return r;
  });
}

int WriteUpdate(const SaveRun &run) {
  return WriteSection(SaveRun{run.store, false, run.exportFile}, "Update", [&](const ConfigStore *section) {
    int r = Write(section, kUpdateKeys, run.exportFile);
    u32 version = g_settings.lists.update.Version;
    if (r == 0 && (run.exportFile || version != g_baseline.lists.update.Version)) {
      r = WriteInt(section, Text(TXT_VERSION), version);
      g_pending.lists.update.Version = version;
    }
    return r;
  });
}

int WriteEverything(WindowRef owner, const SaveRun &run) {
  SettingsBlock &s = g_settings;
  if (g_config.forgetPosition) s.save.Place = 0;
  if (g_config.forgetSize) s.save.Size = 0;
  int r = WriteSection(run, "Save", [&](const ConfigStore *section) {
    return Write(section, kSaveKeys, run.exportFile);
  });
  if (r == 0 && s.save.Save) {
    r = WritePlace(run);
    if (r == 0) r = WriteOpts(run);
    if (r == 0) r = WriteSetts(run);
    if (r == 0) r = WriteTools(run);
    if (r == 0 && (g_config.favourites.dirty || run.exportFile)) r = WriteFavourites(run.store, run.exportFile);
    if (r == 0 && (g_config.recent.dirty || run.exportFile)) r = WriteRecent(run.store, run.exportFile);
    if (r == 0 && (g_config.search.dirty || run.exportFile)) r = WriteSearchHistory(run.store, run.exportFile);
    if (r == 0 && s.save.Clips && (g_config.clipsChanged || run.exportFile))
      r = WriteClips(owner, run.store, run.exportFile);
    if (r == 0 && s.save.Filters && (g_config.filters.dirty || run.exportFile))
      r = WriteFilters(owner, run.store, run.exportFile);
  } else if (r == 0 && run.erase) {
    // Restore defaults empties the settings sections whatever the flags say.
    static const char *const kSections[] = {"Place", "Opts", "Setts", "Tools"};
    for (const char *name : kSections) {
      if (r == 0) r = EmptySection(run.store, name);
    }
  }
  if (r == 0) r = WriteUpdate(run);
  return r;
}

// Reads one file (or the registry) into the live settings; 0 or 96 on success.
int ReadFrom(const char *path, bool allowRegistry) {
  ConfigStore store;
  char used[kConfigPathChars] = "";
  int r = OpenStore(path, kStoreRead, allowRegistry, used, &store);
  if (r != 0 && r != 96) return r;
  ReadStore(&store);
  StrCopyN(g_config.path, used, kConfigPathChars);
  (void)CloseStore(&store, nullptr);
  return r;
}

bool Joined(char *out, const char *folder, const char *name) {
  size_t n = StrLen(folder);
  if (n == 0 || n + StrLen(name) + 1 > kConfigPathChars) return false;
  StrCopy(StrCopy(out, folder), name);
  return true;
}

}  // namespace

void LoadConfigFrom(const char *programFolder, const char *userFolder) {
  // Another window may be saving: its file is whole only under the mutex.
  MutexHold hold;
  hold.Take();
  if (g_config.configFile[0]) {
    int r = ReadFrom(g_config.configFile, false);
    if (r == -1)
      AskUser(nullptr, TXT_OUT_OF_MEMORY, kAskWarning);
    else if (r != 0 && r != 96)
      AskUser(nullptr, TXT_CANNOT_READ, kAskWarning, g_config.configFile);
    return;
  }
  bool read = false;
  char path[kConfigPathChars];
  if (programFolder && Joined(path, programFolder, kIniName)) {
    int r = ReadFrom(path, false);
    read = r == 0 || r == 96;
  }
  if (g_settings.save.IniUPF && userFolder && Joined(path, userFolder, kIniName)) {
    int r = ReadFrom(path, false);
    read = read || r == 0 || r == 96;
  }
  if (g_settings.save.IniCWD) {
    char here[16];
    Format(here, sizeof here, ".%c%s", kPlatPathSeparator, kIniName);
    (void)ReadFrom(here, !read);
  }
}

void ReadStore(const ConfigStore *store) {
  SettingsBlock &s = g_settings;
  WithSection(store, "Save", nullptr, [&](const ConfigStore *c, const ConfigStore *) { ReadTable(c, kSaveKeys, &s); });
  WithSection(store, "Place", nullptr, [&](const ConfigStore *c, const ConfigStore *) {
    ReadTable(c, kPlacePositionKeys, &s);
    ReadTable(c, kPlaceSizeKeys, &s);
  });
  WithSection(store, "Opts", nullptr, [&](const ConfigStore *c, const ConfigStore *) {
    ReadTable(c, kOptsKeys, &s);
    for (int n = 1; n <= 2; n++) ReadNumberedTable(c, kSearchBarKeys, n, &s.opts.bar[n - 1]);
  });
  WithSection(store, "Setts", nullptr, [&](const ConfigStore *c, const ConfigStore *) {
    ReadTable(c, kMainKeys, &s);
    ReadTable(c, kEditKeys, &s);
    ReadTable(c, kFileKeys, &s);
  });
  ClampSettings(&s);
  WithSection(store, "Tools", nullptr, [&](const ConfigStore *c, const ConfigStore *) {
    ReadTable(c, kToolKeys, &s);
    for (int n = 0; n < 5; n++) ReadNumberedTable(c, kSortKeys, n, &s.tools.sort[n]);
    for (int n = 0; n < 9; n++) ReadNumberedTable(c, kColumnKeys, n, &s.tools.columns[n]);
    ReadTable(c, kCompareKeys, &s);
  });
  WithSection(store, "Favs", nullptr, [&](const ConfigStore *c, const ConfigStore *) {
    ReadFavourites(c, &s, false);
    g_config.favourites.inc = ReadStoredInc(c);
  });
  WithSection(store, "Recent", "Tx", [&](const ConfigStore *c, const ConfigStore *tx) {
    ReadRecent(c, tx, &s);
    g_config.recent.inc = tx ? ReadStoredInc(tx) : 0;
  });
  WithSection(store, "Search", "Tx", [&](const ConfigStore *c, const ConfigStore *tx) {
    ReadSearchHistory(c, tx, &s);
    g_config.search.inc = tx ? ReadStoredInc(tx) : 0;
  });
  WithSection(store, "Clips", "Tx", [&](const ConfigStore *c, const ConfigStore *tx) { ReadClips(c, tx); });
  WithSection(store, "Filters", nullptr, [&](const ConfigStore *c, const ConfigStore *) {
    ReadFilters(c, [&](const FilterRecord &f) { AddFilter(&s, f); });
    g_config.filters.inc = ReadStoredInc(c);
  });
  WithSection(store, "Update", nullptr, [&](const ConfigStore *c, const ConfigStore *) {
    ReadTable(c, kUpdateKeys, &s);
    ReadInt(c, Text(TXT_VERSION), &s.lists.update.Version);
  });
  g_config.favourites.dirty = g_config.recent.dirty = g_config.search.dirty = g_config.filters.dirty = 0;
  for (ClipSlot &clip : g_config.clips) clip.dirty = 0;
  g_config.clipsChanged = 0;
}

void LoadConfigAtStartup() {
  if (!g_config.noLoad) {
    char programFolder[kConfigPathChars], userFolder[kConfigPathChars];
    bool hasProgram = PlatModuleFolder(programFolder, sizeof programFolder) > 0;
    bool hasUser = PlatUserFolder(userFolder, sizeof userFolder) > 0;
    LoadConfigFrom(hasProgram ? programFolder : nullptr, hasUser ? userFolder : nullptr);
  }
  MemCopy(&g_baseline, &g_settings, sizeof g_settings);
}

int SaveConfig(WindowRef owner, const char *path, bool erase, bool exportFile) {
  if (g_config.noSave && !exportFile) return 0;
  MemCopy(&g_pending, &g_baseline, sizeof g_pending);
  MutexHold hold;
  if (!hold.Take()) return 48;
  ConfigStore store;
  int r = OpenStore(path, exportFile ? kStoreExport : kStoreWrite, !exportFile, nullptr, &store);
  if (r == 96) r = 0;
  if (r != 0) return r == -1 ? -1 : 48;
  // What the lists know of the store, kept in case the save fails: then
  // nothing of it reached the file, and the next save must try it all again.
  u64 trip = g_config.tripCount;
  ListState lists[4] = {g_config.favourites, g_config.recent, g_config.search, g_config.filters};
  ClipSlot clips[kClipCount];
  MemCopy(clips, g_config.clips, sizeof clips);
  u8 clipsChanged = g_config.clipsChanged;
  r = WriteEverything(owner, SaveRun{&store, erase, exportFile});
  // A save that failed halfway leaves the file as it was.
  int closed = CloseStore(&store, r == 0 && !store.isRegistry ? path : nullptr);
  if (r == 0) r = closed;
  if (r != 0) {
    g_config.tripCount = trip;
    g_config.favourites = lists[0];
    g_config.recent = lists[1];
    g_config.search = lists[2];
    g_config.filters = lists[3];
    for (int n = 0; n < kClipCount; n++) {
      g_config.clips[n].dirty = clips[n].dirty;
      g_config.clips[n].inc = clips[n].inc;
    }
    g_config.clipsChanged = clipsChanged;
    return r == -1 ? -1 : 48;
  }
  if (!exportFile) MemCopy(&g_baseline, &g_pending, sizeof g_baseline);
  return 0;
}

int ImportConfig(const char *path) {
  // Saves keep going where they went, and the counters stay those of that
  // store; what the file brought counts as this session's change.
  char savedPath[kConfigPathChars];
  StrCopy(savedPath, g_config.path);
  u32 incs[4] = {g_config.favourites.inc, g_config.recent.inc, g_config.search.inc, g_config.filters.inc};
  u32 clipIncs[kClipCount];
  for (int n = 0; n < kClipCount; n++) clipIncs[n] = g_config.clips[n].inc;
  int r = ReadFrom(path, false);
  StrCopy(g_config.path, savedPath);
  g_config.favourites.inc = incs[0];
  g_config.recent.inc = incs[1];
  g_config.search.inc = incs[2];
  g_config.filters.inc = incs[3];
  for (int n = 0; n < kClipCount; n++) g_config.clips[n].inc = clipIncs[n];
  if (r != 0 && r != 96) return r;
  g_config.favourites.dirty = g_config.recent.dirty = g_config.search.dirty = g_config.filters.dirty = 1;
  for (ClipSlot &clip : g_config.clips) clip.dirty = clip.length > 0;
  g_config.clipsChanged = 1;
  return 0;
}

int RestoreDefaultSettings(WindowRef owner) {
  SetDefaultSettings(&g_settings, false);
  int r = SaveConfig(owner, g_config.path, true, false);
  if (r != 0) return r;
  SetDefaultSettings(&g_settings, false);
  LoadConfigAtStartup();
  return 0;
}
