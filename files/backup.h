// Backup copies made before a file is overwritten.
//
// The backup of "C:\dir\a.txt" is "C:\dir\a.txt.~"; kept in the temporary
// folder, the whole path is folded into one name there ("C__dir_a.txt.~");
// with several kept, a digit 0-9 follows, the first one free, else the oldest.
#pragma once

#include "foundation/types.h"

struct BackupOptions {
  bool keepSeveral;     // BAKKeep
  bool inTemp;          // BAKTemp
  bool hidden;          // BAKHid (not with BAKTemp)
  const char *tmpPath;  // TmpPath: the temporary folder when not empty
};

constexpr u32 kBackupNameChars = 300;

// The name a copy of `path` takes in the temporary folder (TmpPath, else the
// program's folder in the user's application data, made when missing): the
// folder, the path with ":", "\" and "/" as "_" and control characters as
// spaces, then `suffix`. False when there is no folder or the name would not
// fit `capacity` bytes with its zero (never cut: it could name another file).
bool TempCopyName(const char *tmpPath, const char *path, const char *suffix, char *name, size_t capacity);

// The backup's name for `path`. False when no name can be made (the
// temporary folder is missing and cannot be created, or the name is too long).
bool BackupName(const char *path, const BackupOptions &options, char *name);

// Copies the file to its backup. A file that does not exist yet needs none.
// When the copy fails the user is asked "Could not create backup file.
// Continue?": No gives 523; otherwise 0. `name` receives the backup's name.
[[nodiscard]] int MakeBackup(WindowRef owner, const char *path, const BackupOptions &options, char *name);
