// Loading and saving the configuration, shared by every window of the program.
//
// Every load and save holds the mutex "QuilPad" from before the store is
// opened until after it is written and closed. A save writes only the keys
// whose live value differs from the baseline (the values last loaded or
// saved), so sessions that change different settings keep each other's
// changes. Lists carry a change counter ("Inc"): a session that finds the
// stored counter moved on merges the stored list into its own before writing.
// The odometer is added to, never overwritten.
#pragma once

#include "config/config_state.h"
#include "config/config_store.h"

// Start-up: unless /nl, reads the /i file, or QuilPad.ini beside the program,
// then in the user's folder (IniUPF), then in the current folder (IniCWD,
// with the registry instead when no file could be read so far). The last file
// read is where saves go. Then the live settings become the baseline.
void LoadConfigAtStartup();

// Saves what changed to `path` (empty: the registry). With erase, every
// table-driven section is emptied (Restore defaults); with exportFile, every
// key and list is written to a new file and the baseline stays. Questions go
// to owner. Returns 0, 48 (the store could not be opened or written) or -1.
[[nodiscard]] int SaveConfig(WindowRef owner, const char *path, bool erase, bool exportFile);

// Reads a chosen file into the live settings as a start-up load does, without
// the mutex and without touching the baseline. 0 or the store's code.
[[nodiscard]] int ImportConfig(const char *path);

// Restore defaults: the settings (not the lists) back to their defaults, the
// table-driven sections of the store emptied, then the whole start-up load
// again. 0 or the save's code.
[[nodiscard]] int RestoreDefaultSettings(WindowRef owner);

// The reading part of the start-up load, under the mutex, with the folders
// given (the program's and the user's, each with a trailing separator, or
// null). Leaves the baseline alone.
void LoadConfigFrom(const char *programFolder, const char *userFolder);

// Reads every section of an open store into the live settings.
void ReadStore(const ConfigStore *store);
