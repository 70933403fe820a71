#include "config/ini_file.h"

#include "foundation/bytes.h"
#include "foundation/platform.h"
#include "foundation/safe_writer.h"

namespace {

char *CopyText(const char *text, size_t n) {
  char *copy = static_cast<char *>(Allocate(n + 1));
  if (!copy) return nullptr;
  MemCopy(copy, text, n);
  copy[n] = 0;
  return copy;
}

void FreeEntry(IniEntry *e) {
  Free(e->key);
  Free(e->value);
}

IniEntry *Entries(const IniSection *s) { return static_cast<IniEntry *>(s->entries.entries); }

// Appends an entry that takes over key and value; frees both on failure.
int AppendEntry(IniSection *s, char *key, u32 keyLength, char *value, u32 valueLength) {
  if (!GrowArray(&s->entries, sizeof(IniEntry), s->entries.count + 1)) {
    Free(key);
    Free(value);
    return -1;
  }
  Entries(s)[s->entries.count++] = {key, keyLength, value, valueLength};
  return 0;
}

bool SameText(const char *a, size_t an, const char *b, size_t bn) { return an == bn && MemCompare(a, b, an) == 0; }

// Converts text in a code page (or UTF-16 when codePage is 1200) to ANSI.
int ToAnsi(const char *bytes, size_t n, u32 codePage, ByteBuffer *out) {
  if (n > 0x7FFFFFFF / 2) return -1;
  int units = codePage == 1200 ? static_cast<int>(n / 2)
                               : PlatMultiByteToWide(codePage, bytes, static_cast<int>(n), nullptr, 0);
  if (units <= 0) return 0;
  u16 *wide = static_cast<u16 *>(Allocate(static_cast<size_t>(units) * 2));
  if (!wide) return -1;
  if (codePage == 1200)
    MemCopy(wide, bytes, static_cast<size_t>(units) * 2);
  else
    PlatMultiByteToWide(codePage, bytes, static_cast<int>(n), wide, units);
  int length = PlatWideToMultiByte(kCodePageAnsi, wide, units, nullptr, 0);
  int r = 0;
  if (length > 0 && BufferReserve(out, static_cast<size_t>(length))) {
    out->length = static_cast<size_t>(PlatWideToMultiByte(kCodePageAnsi, wide, units, out->data, length));
  } else if (length > 0) {
    r = -1;
  }
  Free(wide);
  return r;
}

// Converts ANSI text to UTF-8, or to UTF-16 little-endian, appending to out.
bool FromAnsi(const char *text, size_t n, bool utf16, ByteBuffer *out) {
  if (n == 0) return true;
  if (n > 0x7FFFFFFF / 4) return false;
  int units = PlatMultiByteToWide(kCodePageAnsi, text, static_cast<int>(n), nullptr, 0);
  u16 *wide = static_cast<u16 *>(Allocate(static_cast<size_t>(units) * 2));
  if (!wide) return false;
  PlatMultiByteToWide(kCodePageAnsi, text, static_cast<int>(n), wide, units);
  bool ok;
  if (utf16) {
    ok = BufferAppend(out, wide, static_cast<size_t>(units) * 2);
  } else {
    int length = PlatWideToMultiByte(kCodePageUtf8, wide, units, nullptr, 0);
    ok = BufferReserve(out, static_cast<size_t>(length));
    if (ok) out->length += static_cast<size_t>(PlatWideToMultiByte(kCodePageUtf8, wide, units, out->data + out->length, length));
  }
  Free(wide);
  return ok;
}

// Decodes the escapes of a value into a new block.
char *Unescape(const char *p, size_t n, u32 *length) {
  char *v = static_cast<char *>(Allocate(n + 1));
  if (!v) return nullptr;
  u32 k = 0;
  for (size_t i = 0; i < n; i++) {
    char c = p[i];
    if (c == '\\' && i + 1 < n) {
      char e = p[i + 1];
      char decoded = e == '0' ? '\0' : e == '\\' ? '\\' : e == 'n' ? '\n' : e == 'r' ? '\r' : 'x';
      if (decoded != 'x') {
        v[k++] = decoded;
        i++;
        continue;
      }
    }
    v[k++] = c;
  }
  v[k] = 0;
  *length = k;
  return v;
}

int ParseLine(IniFile *ini, int *section, const char *line, size_t n) {
  if (line[0] == ';') {
    char *text = CopyText(line + 1, n - 1);
    if (!text) return -1;
    return AppendEntry(IniSectionAt(ini, *section), nullptr, 0, text, static_cast<u32>(n - 1));
  }
  if (line[0] == '[') {
    size_t end = 1;
    while (end < n && line[end] != ']') end++;
    char *name = CopyText(line + 1, end - 1);
    if (!name) return -1;
    // A section named twice gathers the entries of both.
    int index = IniFindSection(ini, name);
    if (index < 0) index = IniAddSection(ini, name);
    Free(name);
    if (index < 0) return -1;
    *section = index;
    return 0;
  }
  size_t eq = 0;
  while (eq < n && line[eq] != '=') eq++;
  char *key = CopyText(line, eq);
  if (!key) return -1;
  u32 length = 0;
  char *value = eq < n ? Unescape(line + eq + 1, n - eq - 1, &length) : CopyText("", 0);
  if (!value) {
    Free(key);
    return -1;
  }
  return AppendEntry(IniSectionAt(ini, *section), key, static_cast<u32>(eq), value, length);
}

}  // namespace

int IniInit(IniFile *ini) {
  MemZero(ini, sizeof *ini);
  return IniAddSection(ini, "") == 0 ? 0 : -1;
}

void IniFree(IniFile *ini) {
  for (u32 i = 0; i < ini->sections.count; i++) {
    IniSection *s = IniSectionAt(ini, static_cast<int>(i));
    IniClearSection(ini, static_cast<int>(i));
    Free(s->entries.entries);
    Free(s->name);
  }
  Free(ini->sections.entries);
  BufferFree(&ini->original);
  MemZero(ini, sizeof *ini);
}

int IniParse(IniFile *ini, const char *bytes, size_t n) {
  if (n == 0) return 96;
  ByteBuffer text = {};
  int r;
  if (n >= 3 && MemCompare(bytes, "\xEF\xBB\xBF", 3) == 0) {
    r = ToAnsi(bytes + 3, n - 3, kCodePageUtf8, &text);
    ini->utf16 = false;
  } else if (n >= 2 && MemCompare(bytes, "\xFF\xFE", 2) == 0) {
    // A last odd byte is half a character: it is dropped.
    r = ToAnsi(bytes + 2, n - 2, 1200, &text);
    ini->utf16 = true;
  } else {
    return 48;
  }
  if (r != 0) {
    BufferFree(&text);
    return r;
  }
  int section = 0;
  size_t i = 0;
  while (i < text.length && r == 0) {
    char c = text.data[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      i++;
      continue;
    }
    size_t end = i;
    while (end < text.length && text.data[end] != '\r' && text.data[end] != '\n') end++;
    r = ParseLine(ini, &section, text.data + i, end - i);
    i = end;
  }
  BufferFree(&text);
  return r;
}

int IniLoad(IniFile *ini, const char *path) {
  PlatFile f = PlatFileOpen(path, kPlatOpenRead);
  if (!f) return 64;
  u64 size = 0;
  int r = 0;
  ByteBuffer bytes = {};
  if (!PlatFileSize(f, &size) || size > 0x40000000u) {
    r = 48;
  } else if (!BufferReserve(&bytes, static_cast<size_t>(size) + 1)) {
    r = -1;
  } else {
    while (bytes.length < size) {
      u32 got = 0;
      if (!PlatFileRead(f, bytes.data + bytes.length, static_cast<u32>(size - bytes.length), &got) || got == 0) {
        r = 48;
        break;
      }
      bytes.length += got;
    }
  }
  PlatFileClose(f);
  if (r == 0) r = IniParse(ini, bytes.data, bytes.length);
  if (r == 0 || r == 96) {
    BufferFree(&ini->original);
    ini->original = bytes;
  } else {
    BufferFree(&bytes);
  }
  return r;
}

int IniSerialize(const IniFile *ini, ByteBuffer *out) {
  ByteBuffer text = {};
  bool ok = true;
  for (u32 s = 0; s < ini->sections.count && ok; s++) {
    const IniSection *sec = IniSectionAt(ini, static_cast<int>(s));
    if (sec->entries.count == 0) continue;
    if (sec->name[0]) {
      ok = BufferAppendText(&text, "\n[") && BufferAppendText(&text, sec->name) && BufferAppendText(&text, "]\n");
    }
    for (u32 e = 0; e < sec->entries.count && ok; e++) {
      const IniEntry &entry = Entries(sec)[e];
      if (!entry.key) {
        ok = BufferAppendByte(&text, ';') && BufferAppend(&text, entry.value, entry.valueLength) &&
             BufferAppendByte(&text, '\n');
        continue;
      }
      ok = BufferAppend(&text, entry.key, entry.keyLength) && BufferAppendByte(&text, '=') &&
           BufferReserve(&text, entry.valueLength * 2 + 1);
      for (u32 i = 0; i < entry.valueLength && ok; i++) {
        char c = entry.value[i];
        const char *escape = c == '\0' ? "\\0" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\\' ? "\\\\" : nullptr;
        ok = escape ? BufferAppend(&text, escape, 2) : BufferAppendByte(&text, c);
      }
      ok = ok && BufferAppendByte(&text, '\n');
    }
  }
  if (ok) {
    ok = ini->utf16 ? BufferAppend(out, "\xFF\xFE", 2) : BufferAppend(out, "\xEF\xBB\xBF", 3);
    ok = ok && FromAnsi(text.data, text.length, ini->utf16, out);
  }
  BufferFree(&text);
  return ok ? 0 : -1;
}

int IniSave(IniFile *ini, const char *path) {
  // The whole file is made in memory first: running out of memory never
  // leaves a truncated file behind.
  ByteBuffer bytes = {};
  if (IniSerialize(ini, &bytes) != 0 || bytes.length > 0xFFFFFFFFu) {
    BufferFree(&bytes);
    return -1;
  }
  const u32 n = static_cast<u32>(bytes.length);
  // Written beside the file first, then put in its place: a failed write
  // leaves the old file whole.
  SafeWriter w;
  int r = SafeWriterOpen(&w, path, 0, false);
  bool besideFailed = r != 0;
  if (r == 0) {
    r = SafeWriterWrite(&w, bytes.data, n);
    if (r == 0)
      r = SafeWriterCommit(&w, false);
    else
      SafeWriterAbort(&w);
    if (r != 0) r = 48;
  }
  // Without room for a file beside it (a folder we may not write to), the
  // file is rewritten in place, and what was read is put back on failure.
  if (besideFailed && PlatFileExists(path)) {
    r = 48;
    PlatFile f = PlatFileOpen(path, kPlatOpenRewrite);
    if (f) {
      bool ok = PlatFileWrite(f, bytes.data, n);
      PlatFileClose(f);
      if (ok) {
        r = 0;
      } else if (ini->original.length && (f = PlatFileOpen(path, kPlatOpenRewrite)) != nullptr) {
        (void)PlatFileWrite(f, ini->original.data, static_cast<u32>(ini->original.length));
        PlatFileClose(f);
      }
    }
  }
  BufferFree(&bytes);
  return r == 0 ? 0 : 48;
}

IniSection *IniSectionAt(const IniFile *ini, int index) {
  return static_cast<IniSection *>(ini->sections.entries) + index;
}

int IniFindSection(const IniFile *ini, const char *name) {
  size_t n = StrLen(name);
  for (u32 i = 0; i < ini->sections.count; i++) {
    const char *s = IniSectionAt(ini, static_cast<int>(i))->name;
    if (SameText(s, StrLen(s), name, n)) return static_cast<int>(i);
  }
  return -1;
}

int IniAddSection(IniFile *ini, const char *name) {
  char *copy = CopyText(name, StrLen(name));
  if (!copy) return -1;
  if (!GrowArray(&ini->sections, sizeof(IniSection), ini->sections.count + 1)) {
    Free(copy);
    return -1;
  }
  IniSection *s = IniSectionAt(ini, static_cast<int>(ini->sections.count));
  s->name = copy;
  s->entries = {};
  return static_cast<int>(ini->sections.count++);
}

IniEntry *IniFind(const IniFile *ini, int section, const char *key) {
  const IniSection *s = IniSectionAt(ini, section);
  size_t n = StrLen(key);
  for (u32 i = 0; i < s->entries.count; i++) {
    IniEntry *e = Entries(s) + i;
    if (e->key && SameText(e->key, e->keyLength, key, n)) return e;
  }
  return nullptr;
}

int IniSet(IniFile *ini, int section, const char *key, const char *value, u32 length) {
  IniEntry *e = IniFind(ini, section, key);
  if (e && SameText(e->value, e->valueLength, value, length)) return 0;
  char *copy = CopyText(value, length);
  if (!copy) return -1;
  if (e) {
    Free(e->value);
    e->value = copy;
    e->valueLength = length;
    return 0;
  }
  size_t keyLength = StrLen(key);
  char *keyCopy = CopyText(key, keyLength);
  if (!keyCopy) {
    Free(copy);
    return -1;
  }
  return AppendEntry(IniSectionAt(ini, section), keyCopy, static_cast<u32>(keyLength), copy, length);
}

void IniClearSection(IniFile *ini, int section) {
  IniSection *s = IniSectionAt(ini, section);
  for (u32 i = 0; i < s->entries.count; i++) FreeEntry(Entries(s) + i);
  s->entries.count = 0;
}
