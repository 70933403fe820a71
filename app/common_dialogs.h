// Every common dialog of the program goes through one function each; tests
// install a scripted answerer instead of the system dialogs.
#pragma once

#include <windows.h>

#include "config/settings.h"
#include <commdlg.h>

struct DialogAnswerer {
  // Receive the proposed path (261 bytes) and answer with the chosen one;
  // false for Cancel.
  bool (*open)(void *context, char *path);
  bool (*save)(void *context, char *path);
  void *context;
  // The colour chooser (the colour shown first, then the one chosen), the
  // font chooser (a font record, height in points) and the folder chooser
  // (the folder shown first, then the one chosen, 261 bytes). Null: Cancel.
  bool (*color)(void *context, u32 *color);
  bool (*font)(void *context, FontRecord *record);
  bool (*folder)(void *context, char *path);
};

// Installs an answerer (or null for the system dialogs); returns the old one.
const DialogAnswerer *InstallDialogAnswerer(const DialogAnswerer *answerer);

// The Open dialog: the filter from FFilter, the folder DefPath, the file
// must exist. path (261 bytes) receives the choice; false when cancelled.
bool ChooseFileToOpen(HWND owner, char *path);
// The Save dialog: path holds the proposal and receives the choice.
bool ChooseFileToSave(HWND owner, char *path);

// The configuration files of Export (save: overwrite prompt, extension "ini")
// and Import (open: the file must exist), with the filter "Config (*.ini)";
// path holds the proposal ("qlpcfg.ini") and receives the choice.
bool ChooseConfigFile(HWND owner, char *path, bool forSave);
// The colour chooser: full open, any colour, the one list of 16 custom
// colours of the process; *color is shown first and receives the choice.
bool ChooseColour(HWND owner, u32 *color);
// The font chooser for a font record whose height is in points.
bool ChooseFontRecord(HWND owner, FontRecord *record);
// A folder chooser; path (261 bytes) receives the folder.
bool ChooseFolder(HWND owner, char *path);
// The print and page-setup dialogs go through here too. A test answerer
// fills the record as the system dialog would (hDC, Flags, dwResultAction,
// the device handles, the margins) and returns what the system would.
struct PrintDialogAnswerer {
  HRESULT (*print)(void *context, PRINTDLGEXA *pd);
  BOOL (*pageSetup)(void *context, PAGESETUPDLGA *psd);
  void *context;
};
const PrintDialogAnswerer *InstallPrintDialogAnswerer(const PrintDialogAnswerer *answerer);

// PrintDlgExA and PageSetupDlgA, or the installed answerer's.
HRESULT ShowPrintDialog(PRINTDLGEXA *pd);
BOOL ShowPageSetupDialog(PAGESETUPDLGA *psd);
