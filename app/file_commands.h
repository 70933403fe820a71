// The File commands of the main window and what loading and saving need of
// the window (the hooks of files/file_ops.h).
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "files/file_ops.h"

// The hooks for the editor's document.
FileHooks AppFileHooks();
// The document of the editor window.
Document *AppDocument();

// After a load: the view catches up with the document (layout, scroll bars,
// caret), a queued ".LOG" line is added, the caption follows.
void SyncViewAfterLoad();

// New (13111), Open (13131), Save (13311), Save As (13315): result codes.
int CommandNew();
int CommandOpen();
int CommandSave();
int CommandSaveAs();
// Opens a named file (a recent file, a favourite) as Open does, with the
// questions of an open (unsaved changes first, a missing file).
int CommandOpenPath(const char *path);
// Revert (13151): the file again, the changes dropped; Include (13171): a
// chosen file's text in place of the selection; Exclude (13331): the
// selection saved as a chosen file and deleted.
int CommandRevert();
// Import (open a chosen file), Export (save under a chosen name) and Re-open
// (read the document's file again) in an encoding, with the code page index
// for encoding 4.
int CommandImport(u32 encoding, u32 codePageIndex);
int CommandExport(u32 encoding, u32 codePageIndex);
int CommandReopen(u32 encoding, u32 codePageIndex);
// Files dropped on the window: the first is opened (with the question about
// unsaved changes); when that succeeds and more were dropped, "join them?"
// and on Yes each further one is included at the end, in drop order. A
// path too long for the program is reported, never cut into another name.
// Releases the drop.
int OpenDroppedFiles(HDROP drop);
int CommandInclude();
int CommandExclude();

// The main window's caption: "*" while modified, the file's name (or
// "Untitled"), the full path with FulPath, and the program's name.
void UpdateCaption();

// Before the window closes: 0 go on, 32 or 48 refuse.
int AskBeforeClosing();
// When the window closes: the file's registration, its watch and its recovery
// file end.
void ReleaseFileState();

// The fonts of the editor from LF1_/LF2_ (CFont picks), Zoom added to the
// height; sent with EDM_SETFONTS. The old fonts are deleted.
void ApplyEditorFonts();
void FreeEditorFonts();

// Auto-save: timer 5 runs with the period of ASTime while AS is on (started,
// restarted or killed by this); each tick auto-saves a modified document.
constexpr UINT_PTR kAutoSaveTimer = 5;
void ApplyAutoSaveTimer();
void AutoSaveTick();
// Handing the file over to another window forgets the current recovery file
// instead of deleting it when the window closes (that window may need it).
void ForgetRecoveryFile();
// The current recovery file ("" when none).
const char *CurrentRecoveryFile();
