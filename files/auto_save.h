// Auto-save and the recovery file.
//
// At each tick of the main window's timer a document modified since its
// last auto-save is written to its recovery file (the file's path + ".$",
// or a name in the temporary folder), or with ASOrig over the file itself.
// The recovery file goes through the same write-beside-and-replace path as a
// save, so a program killed mid-write leaves the previous version whole; it
// never renames the document or changes its encoding, saved state or the
// recent files. An auto-save never shows a box: the status bar tells.
#pragma once

#include "document/document.h"
#include "files/file_ops.h"

// The recovery file the window knows of ("" when none): the one auto-save
// writes to, or the one a recovery loaded.
struct RecoveryFile {
  char path[kPathChars];
};

// What an auto-save shows: the modification field as ".$" while it writes
// ("Mod" again after a failure), then a status-bar text.
struct AutoSaveView {
  void *context;
  void (*modificationField)(void *context, bool recovery);
  void (*message)(void *context, int textSlot);
};

// The recovery file of a named document's full path: the path + ".$", or
// with ASTemp a name in the temporary folder. False when there is none (a
// name past 260 characters is never cut: it could be another file's).
bool RecoveryNameFor(const char *path, char *out);

// One tick. Nothing happens while a file operation runs, with AS off, for a
// document not modified since its last auto-save, or for an untitled one
// without ASNoNm. Untitled documents get a name in the temporary folder from
// the proposal of their first line, made once and claimed by creating it.
// Returns 0 when nothing was due, else the text shown: 940, 941 or 944.
int AutoSaveNow(Document *doc, RecoveryFile *recovery, const FileHooks &hooks, const AutoSaveView &view);

// Deletes the current recovery file, if any, and forgets it.
void DeleteRecoveryFile(RecoveryFile *recovery);

// Timer 5's period in milliseconds from ASTime (clamped to 1..131072 s).
u32 AutoSavePeriod();
