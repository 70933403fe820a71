// The key tables: one row per configuration key, naming the key, the field it
// fills (as an offset from a base record) and its type. The same rows drive
// reading, writing, defaults, export and the Settings dialog's bindings.
#pragma once

#include "foundation/types.h"

enum KeyType : u8 {
  kKeyInt = 1,       // a 32-bit integer
  kKeyPair = 2,      // two 32-bit integers: low under the key, high under the key and "*"
  kKeyFlag = 3,      // an integer used as a flag (stored as an integer)
  kKeyString = 4,    // a string buffer of `size` bytes (at most size - 1 characters)
  kKeyBinary = 8,    // exactly `size` bytes
  kKeyAlias = 0x10,  // an old name: read, never written; it comes before its new name
};
constexpr u8 kKeyTypeMask = 0x0F;

enum KeyWriteFlag : u8 {
  kWriteAlways = 1,         // write even when unchanged
  kWriteSkipZero = 2,       // do not write the value when it is 0
  kWritePairFirstOnly = 4,  // for a pair: only the low word
  kWritePairSkipZeroHigh = 8,  // for a pair: not the high word when it is 0
};

struct KeyEntry {
  char name[8];  // at most 7 characters; may hold "%d" or start with "%.2d"
  u32 offset;    // of the field from the table's base record
  u8 type;
  u8 writeFlags;
  u16 size;  // strings: buffer size; binaries: exact size; integers: 4; pairs: 8
};

struct KeyTable {
  const KeyEntry *rows;
  int count;
};

// Sections of SettingsBlock (base: the SettingsBlock).
extern const KeyTable kSaveKeys;       // Save
extern const KeyTable kPlacePositionKeys;  // Place: Top, Left
extern const KeyTable kPlaceSizeKeys;      // Place: Width, Height, Maxed, FulScr
extern const KeyTable kOptsKeys;       // Opts
extern const KeyTable kMainKeys;       // Setts (main)
extern const KeyTable kEditKeys;       // Setts (edit)
extern const KeyTable kFileKeys;       // Setts (file)
extern const KeyTable kToolKeys;       // Tools
extern const KeyTable kCompareKeys;    // Tools: CmpStr1, CmpStr2
extern const KeyTable kUpdateKeys;     // Update (base: the SettingsBlock)

// Numbered tables: the base is one element of the array they describe.
extern const KeyTable kSearchBarKeys;  // Opts, n = 1, 2; base: SearchBarSettings
extern const KeyTable kSortKeys;       // Tools, n = 0..4; base: SortKey
extern const KeyTable kColumnKeys;     // Tools, n = 0..8; base: ColumnDef
extern const KeyTable kFindKeys;       // Search, n = 0..49; base: FindEntry
extern const KeyTable kReplaceKeys;    // Search, n = 0..49; base: ReplaceEntry
extern const KeyTable kFindTimeKeys;   // Search\Tx; base: FindEntry
extern const KeyTable kReplaceTimeKeys;  // Search\Tx; base: ReplaceEntry
extern const KeyTable kFilterKeys;     // Filters\NN; base: FilterRecord

// Every table above, for checks over all keys.
struct NamedTable {
  const char *section;
  const KeyTable *table;
};
extern const NamedTable kAllTables[];
extern const int kAllTableCount;

// The key of a row for number n ("F%dPatt" and 2 give "F2Patt"); a name
// without a number is copied. out holds at least 16 characters.
void KeyName(const KeyEntry &row, int n, char *out);
