#include "config/config_store.h"

#include "foundation/bytes.h"
#include "foundation/format.h"
#include "foundation/memory.h"
#include "foundation/numbers.h"

namespace {

char g_registryRoot[128] = "Software\\Orvendel\\QuilPad5";

void Count(const ConfigStore *s) { ++*s->changeCounter; }

// The INI integer: decimal after white space, an optional sign, wrapping at
// 32 bits (so 4294967295 reads back as -1). A value without a digit is not a
// number: the field keeps what it had.
bool ParseIniInt(const char *text, u32 *value) {
  const char *end = nullptr;
  i64 v = ParseNumber(text, 10, &end);
  if (end == text || end[-1] < '0' || end[-1] > '9') return false;
  *value = static_cast<u32>(static_cast<u64>(v));
  return true;
}

bool IniRead(const ConfigStore *s, const char *key, const char **value, u32 *length) {
  IniEntry *e = IniFind(s->file, s->section, key);
  if (!e) return false;
  *value = e->value;
  *length = e->valueLength;
  return true;
}

bool ReadRow(const ConfigStore *s, const KeyEntry &row, const char *key, char *field) {
  u8 type = row.type & kKeyTypeMask;
  switch (type) {
    case kKeyInt:
    case kKeyFlag:
      return ReadInt(s, key, reinterpret_cast<u32 *>(field));
    case kKeyPair:
      return ReadPair(s, key, reinterpret_cast<u32 *>(field));
    case kKeyString:
      return ReadString(s, key, field, row.size);
    case kKeyBinary:
      return ReadBinary(s, key, field, row.size);
  }
  return false;
}

int WriteBinaryValue(const ConfigStore *s, const char *key, const void *bytes, u32 size) {
  Count(s);
  if (s->isRegistry) return PlatRegSet(s->key, key, kRegBinary, bytes, size) ? 0 : 48;
  char text[1024];
  if (Base64EncodedLength(size) >= sizeof text) return 48;
  char *end = Base64Encode(text, bytes, size);
  return IniSet(s->file, s->section, key, text, static_cast<u32>(end - text));
}

}  // namespace

const char *RegistryRoot() { return g_registryRoot; }

void SetRegistryRoot(const char *path) { StrCopyN(g_registryRoot, path, sizeof g_registryRoot); }

int OpenStore(const char *path, StoreMode mode, bool allowRegistry, char *pathUsed, ConfigStore *out) {
  MemZero(out, sizeof *out);
  out->changeCounter = &out->counter;
  if (path && *path) {
    IniFile *ini = static_cast<IniFile *>(Allocate(sizeof(IniFile)));
    if (!ini) return -1;
    if (IniInit(ini) != 0) {
      Free(ini);
      return -1;
    }
    int r = mode == kStoreExport ? 0 : IniLoad(ini, path, mode == kStoreWrite);
    if (r == 0 || r == 96) {
      out->file = ini;
      out->ownsFile = true;
      out->section = 0;
      if (pathUsed && pathUsed != path) StrCopyN(pathUsed, path, 264);
      return r;
    }
    IniFree(ini);
    Free(ini);
    if (r != 64 || !allowRegistry || mode == kStoreExport) return r;
    // Only a missing file sends the settings to the registry; a file that is
    // there but locked must not lose them elsewhere.
    if (PlatFileExists(path)) return 48;
  } else if (!allowRegistry) {
    return 64;
  }
  out->isRegistry = 1;
  out->key = PlatRegOpen(nullptr, g_registryRoot, mode != kStoreRead);
  if (!out->key) return 64;
  if (pathUsed) pathUsed[0] = 0;
  return 0;
}

int OpenSection(const ConfigStore *parent, const char *name, bool forWriting, ConfigStore *out) {
  MemZero(out, sizeof *out);
  out->isRegistry = parent->isRegistry;
  out->changeCounter = parent->changeCounter;
  out->file = parent->file;
  if (parent->isRegistry) {
    out->key = PlatRegOpen(parent->key, name, forWriting);
    return out->key ? 0 : (forWriting ? -1 : 64);
  }
  if (parent->name[0])
    Format(out->name, sizeof out->name, "%s\\%s", parent->name, name);
  else
    StrCopyN(out->name, name, sizeof out->name);
  out->section = IniFindSection(parent->file, out->name);
  if (out->section < 0) {
    if (!forWriting) return 64;
    out->section = IniAddSection(parent->file, out->name);
    if (out->section < 0) return -1;
  }
  return 0;
}

void CloseSection(ConfigStore *section) {
  if (section->isRegistry) PlatRegClose(section->key);
  section->key = nullptr;
}

int CloseStore(ConfigStore *store, const char *path) {
  int r = 0;
  if (store->isRegistry) {
    PlatRegClose(store->key);
  } else if (store->file) {
    if (store->counter && path && *path) r = IniSave(store->file, path);
    if (r == -1) r = 48;
    if (store->ownsFile) {
      IniFree(store->file);
      Free(store->file);
    }
  }
  MemZero(store, sizeof *store);
  return r;
}

void ReadNumberedTable(const ConfigStore *section, const KeyTable &table, int n, void *base) {
  for (int i = 0; i < table.count; i++) {
    const KeyEntry &row = table.rows[i];
    char key[16];
    KeyName(row, n, key);
    ReadRow(section, row, key, static_cast<char *>(base) + row.offset);
  }
}

void ReadTable(const ConfigStore *section, const KeyTable &table, void *base) {
  ReadNumberedTable(section, table, 0, base);
}

int WriteNumberedTable(const ConfigStore *section, const KeyTable &table, int n, const void *live,
                       const void *baseline, void *pending, bool forceAll) {
  for (int i = 0; i < table.count; i++) {
    const KeyEntry &row = table.rows[i];
    if (row.type & kKeyAlias) continue;
    u8 flags = row.writeFlags | (forceAll ? kWriteAlways | kWritePairSkipZeroHigh : 0);
    const char *field = static_cast<const char *>(live) + row.offset;
    u32 size = row.size;
    u8 type = row.type & kKeyTypeMask;
    if (type == kKeyString) size = static_cast<u32>(StrLenN(field, row.size - 1u)) + 1;
    if (!(flags & kWriteAlways) && baseline &&
        MemCompare(field, static_cast<const char *>(baseline) + row.offset, size) == 0)
      continue;
    if (pending) MemCopy(static_cast<char *>(pending) + row.offset, field, size);
    char key[16];
    KeyName(row, n, key);
    int r = 0;
    switch (type) {
      case kKeyInt:
      case kKeyFlag: {
        u32 v;
        MemCopy(&v, field, 4);
        if ((flags & kWriteSkipZero) && v == 0) break;
        r = WriteInt(section, key, v);
        break;
      }
      case kKeyPair: {
        u32 v[2];
        MemCopy(v, field, 8);
        r = WriteInt(section, key, v[0]);
        if (r == 0 && !(flags & kWritePairFirstOnly) && !((flags & kWritePairSkipZeroHigh) && v[1] == 0)) {
          char high[24];
          Format(high, sizeof high, "%s*", key);
          r = WriteInt(section, high, v[1]);
        }
        break;
      }
      case kKeyString:
        r = WriteString(section, key, field, size - 1);
        break;
      case kKeyBinary:
        r = WriteBinaryValue(section, key, field, row.size);
        break;
    }
    if (r != 0) return r;
  }
  return 0;
}

int WriteTable(const ConfigStore *section, const KeyTable &table, const void *live, const void *baseline,
               void *pending, bool forceAll) {
  return WriteNumberedTable(section, table, 0, live, baseline, pending, forceAll);
}

int ClearSection(const ConfigStore *section) {
  Count(section);
  if (!section->isRegistry) {
    IniClearSection(section->file, section->section);
    return 0;
  }
  // Deleting renumbers the values: always take the first one.
  char name[512];
  while (PlatRegEnumValue(section->key, 0, name, sizeof name)) {
    if (!PlatRegDeleteValue(section->key, name)) return 48;
  }
  return 0;
}

bool ReadInt(const ConfigStore *s, const char *key, u32 *value) {
  if (s->isRegistry) {
    u32 t = 0, v = 0, size = 4;
    if (!PlatRegQuery(s->key, key, &t, &v, &size) || t != kRegDword || size != 4) return false;
    *value = v;
    return true;
  }
  const char *text;
  u32 length;
  if (!IniRead(s, key, &text, &length)) return false;
  return ParseIniInt(text, value);
}

bool ReadString(const ConfigStore *s, const char *key, char *buf, u32 size) {
  if (size == 0) return false;
  if (s->isRegistry) {
    u32 t = 0, need = 0;
    PlatRegQuery(s->key, key, &t, nullptr, &need);
    if (t != kRegString && t != kRegExpandString) return false;
    char *tmp = static_cast<char *>(Allocate(need + 1));
    if (!tmp) return false;
    u32 got = need;
    bool ok = PlatRegQuery(s->key, key, &t, tmp, &got) && (t == kRegString || t == kRegExpandString);
    if (ok) {
      tmp[got < need ? got : need] = 0;
      StrCopyN(buf, tmp, size);
    }
    Free(tmp);
    return ok;
  }
  const char *text;
  u32 length;
  if (!IniRead(s, key, &text, &length)) return false;
  u32 n = length < size - 1 ? length : size - 1;
  MemCopy(buf, text, n);
  buf[n] = 0;
  return true;
}

bool ReadBlob(const ConfigStore *s, const char *key, char **text, u32 *length, bool *outOfMemory) {
  *outOfMemory = false;
  const char *source = nullptr;
  u32 n = 0;
  u32 t = 0;
  if (s->isRegistry) {
    if (!PlatRegQuery(s->key, key, &t, nullptr, &n) && n == 0) return false;
    if (t != kRegString && t != kRegExpandString) return false;
  } else {
    const IniEntry *e = IniFind(s->file, s->section, key);
    if (!e) return false;
    source = e->value;
    n = e->valueLength;
  }
  char *copy = static_cast<char *>(Allocate(n + 1));
  if (!copy) {
    *outOfMemory = true;
    return false;
  }
  if (s->isRegistry) {
    u32 got = n;
    if (!PlatRegQuery(s->key, key, &t, copy, &got)) {
      Free(copy);
      return false;
    }
    // A registry string counts its terminator.
    n = got > 0 && copy[got - 1] == 0 ? got - 1 : got;
  } else {
    MemCopy(copy, source, n);
  }
  copy[n] = 0;
  *text = copy;
  *length = n;
  return true;
}

int WriteInt(const ConfigStore *s, const char *key, u32 value) {
  Count(s);
  if (s->isRegistry) return PlatRegSet(s->key, key, kRegDword, &value, 4) ? 0 : 48;
  char text[16];
  char *end = FormatNumber(text, value, 10, false);
  return IniSet(s->file, s->section, key, text, static_cast<u32>(end - text));
}

int WriteString(const ConfigStore *s, const char *key, const char *text, u32 length) {
  Count(s);
  if (s->isRegistry) {
    // The stored string counts its terminator; NUL bytes inside survive.
    char *copy = static_cast<char *>(Allocate(length + 1));
    if (!copy) return -1;
    MemCopy(copy, text, length);
    copy[length] = 0;
    bool ok = PlatRegSet(s->key, key, kRegString, copy, length + 1);
    Free(copy);
    return ok ? 0 : 48;
  }
  return IniSet(s->file, s->section, key, text, length);
}

namespace {
// A key from a pattern: "%.2dFnd" with 7 gives "07Fnd".
void PatternKey(char *out, const char *pattern, int n) { Format(out, 24, pattern, n); }
}  // namespace

bool ReadInt(const ConfigStore *section, const char *pattern, int n, u32 *value) {
  char key[24];
  PatternKey(key, pattern, n);
  return ReadInt(section, key, value);
}

bool ReadPair(const ConfigStore *section, const char *key, u32 value[2]) {
  char high[24];
  Format(high, sizeof high, "%s*", key);
  bool low = ReadInt(section, key, &value[0]);
  return ReadInt(section, high, &value[1]) || low;
}

bool ReadString(const ConfigStore *section, const char *pattern, int n, char *buf, u32 size) {
  char key[24];
  PatternKey(key, pattern, n);
  return ReadString(section, key, buf, size);
}

bool ReadBinary(const ConfigStore *s, const char *key, void *bytes, u32 size) {
  char buf[768];
  if (size > sizeof buf) return false;
  if (s->isRegistry) {
    u32 t = 0, got = sizeof buf;
    if (!PlatRegQuery(s->key, key, &t, buf, &got) || t != kRegBinary || got != size) return false;
  } else {
    const char *value;
    u32 length;
    if (!IniRead(s, key, &value, &length)) return false;
    // Decoding never gives more than 3/4 of the text.
    if (length / 4 * 3 + 3 > sizeof buf || Base64Decode(buf, value) != size) return false;
  }
  MemCopy(bytes, buf, size);
  return true;
}

int WriteInt(const ConfigStore *section, const char *pattern, int n, u32 value) {
  char key[24];
  PatternKey(key, pattern, n);
  return WriteInt(section, key, value);
}

int WritePair(const ConfigStore *section, const char *key, const u32 value[2]) {
  int r = WriteInt(section, key, value[0]);
  char high[24];
  Format(high, sizeof high, "%s*", key);
  return r == 0 ? WriteInt(section, high, value[1]) : r;
}

int WriteString(const ConfigStore *section, const char *pattern, int n, const char *text, u32 length) {
  char key[24];
  PatternKey(key, pattern, n);
  return WriteString(section, key, text, length);
}

int WriteBinary(const ConfigStore *section, const char *key, const void *bytes, u32 size) {
  return WriteBinaryValue(section, key, bytes, size);
}
