// Every common dialog of the program goes through one function each; tests
// install a scripted answerer instead of the system dialogs.
#pragma once

#include <windows.h>

struct DialogAnswerer {
  // Receive the proposed path (261 bytes) and answer with the chosen one;
  // false for Cancel.
  bool (*open)(void *context, char *path);
  bool (*save)(void *context, char *path);
  void *context;
};

// Installs an answerer (or null for the system dialogs); returns the old one.
const DialogAnswerer *InstallDialogAnswerer(const DialogAnswerer *answerer);

// The Open dialog: the filter from FFilter, the folder DefPath, the file
// must exist. path (261 bytes) receives the choice; false when cancelled.
bool ChooseFileToOpen(HWND owner, char *path);
// The Save dialog: path holds the proposal and receives the choice.
bool ChooseFileToSave(HWND owner, char *path);
