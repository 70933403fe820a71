// A handle on one section of the configuration store: a section of an INI
// file, or a key in the registry under HKEY_CURRENT_USER.
//
// Reading a value that is missing, of the wrong registry type or of the wrong
// size leaves the field as it was, so defaults survive. Writing compares with
// the baseline record (when one is given) and writes only what differs; each
// written value also goes into the pending record and counts in the store's
// change counter, which decides whether an INI file is rewritten at close.
#pragma once

#include "config/ini_file.h"
#include "config/key_tables.h"
#include "foundation/platform.h"
#include "foundation/types.h"

struct ConfigStore {
  u32 isRegistry;
  u32 *changeCounter;  // shared by a root and its sub-sections
  PlatRegKey key;      // registry
  int section;         // INI: index of the section
  IniFile *file;       // INI
  bool ownsFile;       // the root of an INI store
  u32 counter;         // the root's change counter
  char name[64];       // INI: the section's full name
};

enum StoreMode : int {
  kStoreRead,    // an existing file; the registry opened for reading
  kStoreWrite,   // an existing file; the registry created for writing
  kStoreExport,  // a new empty file (an existing one is replaced); no registry
};

// The registry key of the store ("Software\Orvendel\QuilPad5"); tests point
// it elsewhere.
const char *RegistryRoot();
void SetRegistryRoot(const char *path);

// Opens the store: the INI file at path when it is not empty (pathUsed, of
// kConfigPathChars, receives it), else, or when the file does not exist and
// allowRegistry is set, the registry key. Returns 0; 96 for an empty file
// (opened as an empty configuration); 64 when there is no file and no
// registry fallback; 48 when the file cannot be read whole or has no
// byte-order mark; -1 out of memory.
[[nodiscard]] int OpenStore(const char *path, StoreMode mode, bool allowRegistry, char *pathUsed,
                            ConfigStore *out);
// Opens the section `name` below parent: for reading (64 when it does not
// exist) or for writing (created when missing). 0, 64 or -1.
[[nodiscard]] int OpenSection(const ConfigStore *parent, const char *name, bool forWriting, ConfigStore *out);
void CloseSection(ConfigStore *section);
// Closes the root: an INI file whose change counter is not zero is written to
// path (when path is not null). 0, or 48 when the file cannot be written.
[[nodiscard]] int CloseStore(ConfigStore *store, const char *path);

// Reads every row of a table into the record at base.
void ReadTable(const ConfigStore *section, const KeyTable &table, void *base);
// The same for a numbered table: the key names take n ("%d", "%.2d"); base is
// the n-th record of the array the table describes.
void ReadNumberedTable(const ConfigStore *section, const KeyTable &table, int n, void *base);
// Writes every row that is not an alias. With baseline set, a row equal in
// live and baseline is skipped (unless forceAll or the row's write flags say
// otherwise); pending (optional) receives what was written. 0, -1 or 48.
[[nodiscard]] int WriteTable(const ConfigStore *section, const KeyTable &table, const void *live,
                             const void *baseline, void *pending, bool forceAll);
[[nodiscard]] int WriteNumberedTable(const ConfigStore *section, const KeyTable &table, int n, const void *live,
                                     const void *baseline, void *pending, bool forceAll);
// Deletes every value of the section.
[[nodiscard]] int ClearSection(const ConfigStore *section);

// Single values. Readers return false (and leave the field) when the value is
// missing or unusable. The forms with a pattern format the key with n.
bool ReadInt(const ConfigStore *section, const char *key, u32 *value);
bool ReadInt(const ConfigStore *section, const char *pattern, int n, u32 *value);
bool ReadPair(const ConfigStore *section, const char *key, u32 value[2]);
bool ReadString(const ConfigStore *section, const char *key, char *buf, u32 size);
bool ReadString(const ConfigStore *section, const char *pattern, int n, char *buf, u32 size);
bool ReadBinary(const ConfigStore *section, const char *key, void *bytes, u32 size);
// A text of any length and any bytes, in a block of its own (terminated; the
// caller frees it). False when missing or out of memory (*outOfMemory tells
// which).
bool ReadBlob(const ConfigStore *section, const char *key, char **text, u32 *length, bool *outOfMemory);
[[nodiscard]] int WriteInt(const ConfigStore *section, const char *key, u32 value);
[[nodiscard]] int WriteInt(const ConfigStore *section, const char *pattern, int n, u32 value);
[[nodiscard]] int WritePair(const ConfigStore *section, const char *key, const u32 value[2]);
[[nodiscard]] int WriteString(const ConfigStore *section, const char *key, const char *text, u32 length);
[[nodiscard]] int WriteString(const ConfigStore *section, const char *pattern, int n, const char *text, u32 length);
[[nodiscard]] int WriteBinary(const ConfigStore *section, const char *key, const void *bytes, u32 size);
