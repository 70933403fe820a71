#include "files/backup.h"

#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/platform.h"

namespace {

// The folder backups go to with BAKTemp, with a trailing separator.
bool TempFolder(const char *tmpPath, char *folder) {
  if (tmpPath && tmpPath[0]) {
    size_t n = StrLen(tmpPath);
    if (n + 2 >= kBackupNameChars) return false;
    StrCopy(folder, tmpPath);
    if (folder[n - 1] != kPlatPathSeparator && folder[n - 1] != '/') {
      folder[n] = kPlatPathSeparator;
      folder[n + 1] = 0;
    }
  } else {
    int n = PlatAppDataFolder(folder, static_cast<int>(kBackupNameChars) - 10);
    if (n <= 0) return false;
    StrCopy(folder + n, "QuilPad");
    folder[n + 7] = kPlatPathSeparator;
    folder[n + 8] = 0;
  }
  // Created when missing (the folder without its separator).
  size_t n = StrLen(folder);
  folder[n - 1] = 0;
  bool ok = PlatCreateFolder(folder);
  folder[n - 1] = kPlatPathSeparator;
  return ok;
}

}  // namespace

bool TempCopyName(const char *tmpPath, const char *path, const char *suffix, char *name, size_t capacity) {
  char folder[kBackupNameChars];
  if (!TempFolder(tmpPath, folder)) return false;
  size_t n = StrLen(folder), pathLength = StrLen(path), suffixLength = StrLen(suffix);
  if (n + pathLength + suffixLength >= capacity) return false;
  StrCopy(name, folder);
  for (size_t i = 0; i < pathLength; i++) {
    u8 c = static_cast<u8>(path[i]);
    name[n++] = c == ':' || c == '\\' || c == '/' ? '_' : c < 32 ? ' ' : static_cast<char>(c);
  }
  StrCopy(name + n, suffix);
  return true;
}

bool BackupName(const char *path, const BackupOptions &options, char *name) {
  if (options.inTemp) {
    if (!TempCopyName(options.tmpPath, path, ".~", name, kBackupNameChars)) return false;
  } else {
    if (StrLen(path) + 3 >= kBackupNameChars) return false;
    StrCopy(name, path);
    StrCopy(name + StrLen(name), ".~");
  }
  size_t n = StrLen(name);
  if (!options.keepSeveral || n >= 260 || n + 2 >= kBackupNameChars) return true;
  // The first free digit; when all ten are taken, the oldest of them.
  int oldest = -1;
  u64 oldestTime = ~0ull;
  name[n + 1] = 0;
  for (int d = 0; d < 10; d++) {
    name[n] = static_cast<char>('0' + d);
    if (!PlatFileExists(name)) return true;
    u64 time;
    if (PlatLastWriteTime(name, &time) && time < oldestTime) {
      oldestTime = time;
      oldest = d;
    }
  }
  if (oldest < 0)
    name[n] = 0;  // none could be examined: no digit
  else
    name[n] = static_cast<char>('0' + oldest);
  return true;
}

int MakeBackup(WindowRef owner, const char *path, const BackupOptions &options, char *name) {
  int copied = 2;
  if (BackupName(path, options, name)) {
    (void)PlatSetAttributes(name, kAttrNormal);
    copied = PlatCopyFile(path, name);
  } else {
    name[0] = 0;
  }
  if (copied == 1) {
    name[0] = 0;  // nothing to back up yet
    return 0;
  }
  if (copied != 0) {
    if (AskUser(owner, TXT_BACKUP_FAILED, kAskYesNo) == kAnswerNo) return 523;
    return 0;
  }
  if (options.hidden && !options.inTemp) (void)PlatSetAttributes(name, kAttrHidden);
  return 0;
}
