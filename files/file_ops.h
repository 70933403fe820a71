// What loading and saving share: the busy flag that keeps Open, Save and
// Auto-save apart, and the hooks through which they reach the window and the
// parts of the program above the engine.
//
// Every hook may be null: the operation then simply leaves that step out.
#pragma once

#include "document/document.h"
#include "foundation/texts.h"
#include "foundation/types.h"

struct FileHooks {
  void *context;
  WindowRef owner;  // the window that owns the questions
  // The phase text of a long operation ("Reading..", ...), or none (-1).
  void (*phase)(void *context, int textSlot);
  // (done, total) of the current phase.
  void (*progress)(void *context, u64 done, u64 total);
  // The first visible line of the view, kept across a Revert.
  u32 (*firstVisibleLine)(void *context);
  void (*setFirstVisibleLine)(void *context, u32 line);
  // The document's name changed: the caption follows.
  void (*titleChanged)(void *context);
  // One window per file and watching the file for changes by others.
  void (*releaseInstance)(void *context);
  void (*registerInstance)(void *context, const char *path);
  void (*stopWatch)(void *context);
  void (*startWatch)(void *context, const char *path);
  // Recovery files: the current one is deleted; recoveryFor names the
  // recovery file of a path (false: none is used).
  void (*deleteRecovery)(void *context);
  bool (*recoveryFor)(void *context, const char *path, char *out);
  // The recovery file was loaded in place of the file: it is the current one.
  void (*adoptRecovery)(void *context, const char *path);
  // The ".LOG" diary: the date and time go at the end of the document.
  void (*insertDateTime)(void *context, bool dateFirst);
  // The Save dialog: path holds the proposal and receives the choice (261
  // characters); false when cancelled.
  bool (*chooseSaveName)(void *context, char *path);
  // The first line of the document as a file name, for an untitled one.
  bool (*proposeName)(void *context, char *name);
  // Shows a status-bar message (944 "Warning: Saving Unicode...").
  void (*statusMessage)(void *context, int textSlot);
};

// Open, Save and Auto-save run one at a time.
bool FileOperationBusy();
// Called when a file operation has ended (the main window replays what it
// put off meanwhile); null for nothing.
extern void (*g_afterFileOperation)();
// Takes the busy flag for a scope; `taken` is false when it was already held.
class FileOperation {
 public:
  FileOperation();
  ~FileOperation();
  FileOperation(const FileOperation &) = delete;
  FileOperation &operator=(const FileOperation &) = delete;
  bool taken() const { return taken_; }
  // Lets a nested save run (Yes to "Save current changes") while held.
  void Suspend();
  void Resume();

 private:
  bool taken_;
};

// Shows the phase text, when a hook is there.
void ShowPhase(const FileHooks &hooks, int textSlot);
