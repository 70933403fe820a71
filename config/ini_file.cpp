#include "config/ini_file.h"

#include <string.h>

#include <initializer_list>

#include "foundation/bytes.h"
#include "foundation/platform.h"
#include "foundation/safe_writer.h"

namespace {

// The file's texts: chunks of this size shared by short texts, one of its
// own for a longer one, all freed with the file.
constexpr size_t kChunkBytes = 65536;

}  // namespace

struct IniChunk {
  IniChunk *next;
  char *data;
};

namespace {

// Makes a block of Allocate one of the file's chunks. False out of memory,
// the block freed.
bool AdoptChunk(IniFile *ini, char *data) {
  IniChunk *c = static_cast<IniChunk *>(Allocate(sizeof(IniChunk)));
  if (!c) {
    Free(data);
    return false;
  }
  c->next = ini->chunks;
  c->data = data;
  ini->chunks = c;
  return true;
}

char *TakeRoom(IniFile *ini, size_t n) {
  if (n <= ini->roomLeft) {
    char *p = ini->room;
    ini->room += n;
    ini->roomLeft -= n;
    return p;
  }
  // A long text does not end the shared chunk being filled.
  const bool own = n > kChunkBytes / 4;
  char *data = static_cast<char *>(Allocate(own ? n : kChunkBytes));
  if (!data || !AdoptChunk(ini, data)) return nullptr;
  if (!own) {
    ini->room = data + n;
    ini->roomLeft = kChunkBytes - n;
  }
  return data;
}

// The n bytes of text, terminated, in room for n + 1 (null: none).
char *Terminated(char *room, const char *text, size_t n) {
  if (!room) return nullptr;
  MemCopy(room, text, n);
  room[n] = 0;
  return room;
}

// A copy among the file's texts.
char *CopyText(IniFile *ini, const char *text, size_t n) { return Terminated(TakeRoom(ini, n + 1), text, n); }

// A section name: a block of its own.
char *NewName(const char *text, size_t n) { return Terminated(static_cast<char *>(Allocate(n + 1)), text, n); }

// The value of a key line without '='.
char g_noValue[1];

IniEntry *Entries(const IniSection *s) { return static_cast<IniEntry *>(s->entries.entries); }

bool SameText(const char *a, size_t an, const char *b, size_t bn) { return an == bn && MemCompare(a, b, an) == 0; }

u32 HashOf(const char *key, size_t n) {
  u32 h = 2166136261u;
  for (size_t i = 0; i < n; i++) h = (h ^ static_cast<u8>(key[i])) * 16777619u;
  return h;
}

// The slot of the index where the key stands, or the empty one where it
// would go.
u32 SlotOf(const IniSection *s, const char *key, size_t n) {
  u32 i = HashOf(key, n) & s->indexMask;
  const IniEntry *e = Entries(s);
  while (s->index[i]) {
    const IniEntry &x = e[s->index[i] - 1];
    if (SameText(x.key, x.keyLength, key, n)) break;
    i = (i + 1) & s->indexMask;
  }
  return i;
}

// Puts entry k into the index unless its key is there already (a twin: the
// first counts).
void IndexEntry(IniSection *s, u32 k) {
  const IniEntry &e = Entries(s)[k];
  if (!e.key) return;
  const u32 slot = SlotOf(s, e.key, e.keyLength);
  if (!s->index[slot]) s->index[slot] = k + 1;
}

// After entry k was appended: from eight entries on the section has an
// index, made anew (four slots an entry) whenever it is half full.
void IndexAppended(IniSection *s, u32 k) {
  const u32 count = s->entries.count;
  if (count < 8) return;
  if (s->index && count * 2 <= s->indexMask + 1) {
    IndexEntry(s, k);
    return;
  }
  Free(s->index);
  u32 slots = 32;
  while (slots < count * 4) slots *= 2;
  s->index = static_cast<u32 *>(Allocate(static_cast<size_t>(slots) * sizeof(u32)));
  if (!s->index) return;
  MemZero(s->index, static_cast<size_t>(slots) * sizeof(u32));
  s->indexMask = slots - 1;
  for (u32 i = 0; i < count; i++) IndexEntry(s, i);
}

// Appends an entry whose texts are the file's.
int AppendEntry(IniSection *s, char *key, u32 keyLength, char *value, u32 valueLength) {
  if (!GrowArray(&s->entries, sizeof(IniEntry), s->entries.count + 1)) return -1;
  Entries(s)[s->entries.count++] = {key, keyLength, value, valueLength};
  IndexAppended(s, s->entries.count - 1);
  return 0;
}

// Converts the text through UTF-16 with the platform, appending to out.
bool ThroughWide(const char *text, size_t n, u32 from, u32 to, ByteBuffer *out) {
  if (n == 0) return true;
  if (n > 0x7FFFFFFF / 4) return false;
  int units = from == 1200 ? static_cast<int>(n / 2) : PlatMultiByteToWide(from, text, static_cast<int>(n), nullptr, 0);
  if (units <= 0) return true;
  u16 *wide = static_cast<u16 *>(Allocate(static_cast<size_t>(units) * 2));
  if (!wide) return false;
  if (from == 1200)
    MemCopy(wide, text, static_cast<size_t>(units) * 2);
  else
    PlatMultiByteToWide(from, text, static_cast<int>(n), wide, units);
  bool ok = true;
  if (to == 1200) {
    ok = BufferAppend(out, wide, static_cast<size_t>(units) * 2);
  } else {
    const int length = PlatWideToMultiByte(to, wide, units, nullptr, 0);
    ok = length <= 0 || BufferReserve(out, static_cast<size_t>(length));
    if (ok && length > 0)
      out->length += static_cast<size_t>(PlatWideToMultiByte(to, wide, units, out->data + out->length, length));
  }
  Free(wide);
  return ok;
}

// The same for two byte code pages (UTF-8 and the ANSI code page), where
// every ASCII byte that starts a character stands for itself in both: runs
// of them are copied, and only the characters between go through UTF-16.
bool BySegments(const char *text, size_t n, u32 from, u32 to, ByteBuffer *out) {
  if (from == 1200 || to == 1200) return ThroughWide(text, n, from, to, out);
  if (!BufferReserve(out, n)) return false;
  size_t i = 0;
  while (i < n) {
    size_t j = i;
    while (j < n && static_cast<u8>(text[j]) < 0x80) j++;
    if (j > i && !BufferAppend(out, text + i, j - i)) return false;
    if (j == n) break;
    // The characters up to the next ASCII one (a lead byte takes its trail).
    size_t k = j;
    while (k < n && static_cast<u8>(text[k]) >= 0x80)
      k += from != kCodePageUtf8 && k + 1 < n && PlatIsLeadByte(from, static_cast<u8>(text[k])) ? 2 : 1;
    if (!ThroughWide(text + j, k - j, from, to, out)) return false;
    i = k;
  }
  return true;
}

// Converts text in a code page (or UTF-16 when codePage is 1200) to ANSI.
int ToAnsi(const char *bytes, size_t n, u32 codePage, ByteBuffer *out) {
  return BySegments(bytes, n, codePage, kCodePageAnsi, out) ? 0 : -1;
}

// Converts ANSI text to UTF-8, or to UTF-16 little-endian, appending to out.
bool FromAnsi(const char *text, size_t n, bool utf16, ByteBuffer *out) {
  return BySegments(text, n, kCodePageAnsi, utf16 ? 1200 : kCodePageUtf8, out);
}

// The first of p[0, n) that is one of the bytes C, or n. Eight bytes at a
// time: a lane of x ^ c is zero where the byte is c, and the lowest lane the
// zero test flags is always a true one.
template <char... C>
size_t FirstOf(const char *p, size_t n) {
  constexpr u64 kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    u64 w;
    MemCopy(&w, p + i, 8);
    u64 hit = 0;
    for (const u64 v : {(w ^ (kOnes * static_cast<u8>(C)))...}) hit |= (v - kOnes) & ~v & kHigh;
    if (hit) return i + static_cast<size_t>(__builtin_ctzll(hit)) / 8;
  }
  for (; i < n; i++)
    for (const char c : {C...})
      if (p[i] == c) return i;
  return n;
}

// Decodes the escapes of a value where it stands; its new length.
u32 UnescapeInPlace(char *p, size_t n) {
  u32 k = 0;
  for (size_t i = 0; i < n; i++) {
    // The run up to the next backslash goes in whole.
    const void *slash = MemFindByte(p + i, '\\', n - i);
    const size_t run = (slash ? static_cast<const char *>(slash) : p + n) - (p + i);
    if (k != i) MemCopy(p + k, p + i, run);
    k += static_cast<u32>(run);
    i += run;
    if (i == n) break;
    char c = p[i];
    if (c == '\\' && i + 1 < n) {
      char e = p[i + 1];
      char decoded = e == '0' ? '\0' : e == '\\' ? '\\' : e == 'n' ? '\n' : e == 'r' ? '\r' : 'x';
      if (decoded != 'x') {
        p[k++] = decoded;
        i++;
        continue;
      }
    }
    p[k++] = c;
  }
  return k;
}

// Parses a line where it stands: the key ends where its '=' stood, the value
// (decoded) where the newline stood; line[n] is the file's too.
int ParseLine(IniFile *ini, int *section, char *line, size_t n) {
  if (line[0] == ';') {
    line[n] = 0;
    return AppendEntry(IniSectionAt(ini, *section), nullptr, 0, line + 1, static_cast<u32>(n - 1));
  }
  if (line[0] == '[') {
    size_t end = 1;
    while (end < n && line[end] != ']') end++;
    char *name = NewName(line + 1, end - 1);
    if (!name) return -1;
    // A section named twice gathers the entries of both.
    int index = IniFindSection(ini, name);
    if (index < 0) index = IniAddSection(ini, name);
    Free(name);
    if (index < 0) return -1;
    *section = index;
    return 0;
  }
  const void *equals = MemFindByte(line, '=', n);
  const size_t eq = equals ? static_cast<size_t>(static_cast<const char *>(equals) - line) : n;
  u32 length = 0;
  char *value = g_noValue;
  if (eq < n) {
    value = line + eq + 1;
    length = UnescapeInPlace(value, n - eq - 1);
    value[length] = 0;
  }
  line[eq] = 0;
  return AppendEntry(IniSectionAt(ini, *section), line, static_cast<u32>(eq), value, length);
}

// (Kept out of line: inlined into calls with short constant texts, the eight-byte
// loop draws false bounds warnings.)
[[gnu::noinline]] bool IsAscii(const char *p, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    u64 word;
    MemCopy(&word, p + i, 8);
    if (word & 0x8080808080808080ull) return false;
  }
  for (; i < n; i++)
    if (static_cast<u8>(p[i]) >= 0x80) return false;
  return true;
}

}  // namespace

int IniInit(IniFile *ini) {
  MemZero(ini, sizeof *ini);
  return IniAddSection(ini, "") == 0 ? 0 : -1;
}

void IniFree(IniFile *ini) {
  for (u32 i = 0; i < ini->sections.count; i++) {
    IniSection *s = IniSectionAt(ini, static_cast<int>(i));
    Free(s->index);
    Free(s->entries.entries);
    Free(s->name);
  }
  Free(ini->sections.entries);
  for (IniChunk *c = ini->chunks; c;) {
    IniChunk *next = c->next;
    Free(c->data);
    Free(c);
    c = next;
  }
  BufferFree(&ini->original);
  MemZero(ini, sizeof *ini);
}

namespace {

int ParseLines(IniFile *ini, char *lines, size_t length) {
  int section = 0;
  size_t i = 0;
  int r = 0;
  while (i < length && r == 0) {
    char c = lines[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      i++;
      continue;
    }
    const size_t end = i + FirstOf<'\r', '\n'>(lines + i, length - i);
    r = ParseLine(ini, &section, lines + i, end - i);
    i = end + 1;  // past the newline, which may now end a value
  }
  return r;
}

// Parses the bytes of in: in place when the file may take them (mayTake,
// ASCII after a UTF-8 mark, room for one byte more: in is then left empty),
// or in a copy, converted to ANSI when they are not ASCII.
int ParseBytes(IniFile *ini, ByteBuffer *in, bool mayTake) {
  const char *bytes = in->data;
  const size_t n = in->length;
  if (n == 0) return 96;
  ByteBuffer text = {};
  size_t skip = 0;
  if (n >= 3 && MemCompare(bytes, "\xEF\xBB\xBF", 3) == 0) {
    ini->utf16 = false;
    // ASCII reads the same in UTF-8 and ANSI: no conversion.
    if (!IsAscii(bytes + 3, n - 3)) {
      if (ToAnsi(bytes + 3, n - 3, kCodePageUtf8, &text) != 0) {
        BufferFree(&text);
        return -1;
      }
    } else if (mayTake && in->capacity > n) {
      text = *in;
      *in = {};
      skip = 3;
    } else {
      text.data = static_cast<char *>(Allocate(n - 2));
      if (!text.data) return -1;
      MemCopy(text.data, bytes + 3, n - 3);
      text.length = n - 3;
      text.capacity = n - 2;
    }
  } else if (n >= 2 && MemCompare(bytes, "\xFF\xFE", 2) == 0) {
    // A last odd byte is half a character: it is dropped.
    ini->utf16 = true;
    if (ToAnsi(bytes + 2, n - 2, 1200, &text) != 0) {
      BufferFree(&text);
      return -1;
    }
  } else {
    return 48;
  }
  // Room for the terminator of a last line without a newline.
  if (!BufferReserve(&text, 1)) {
    BufferFree(&text);
    return -1;
  }
  size_t length = 0;
  char *data = BufferRelease(&text, &length);
  if (!AdoptChunk(ini, data)) return -1;
  return ParseLines(ini, data + skip, length - skip);
}

}  // namespace

int IniParse(IniFile *ini, const char *bytes, size_t n) {
  ByteBuffer view = {};
  view.data = const_cast<char *>(bytes);
  view.length = view.capacity = n;
  return ParseBytes(ini, &view, false);
}

int IniLoad(IniFile *ini, const char *path, bool keepOriginal) {
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
  if (r == 0) r = ParseBytes(ini, &bytes, !keepOriginal);
  if (keepOriginal && (r == 0 || r == 96)) {
    BufferFree(&ini->original);
    ini->original = bytes;
  } else {
    BufferFree(&bytes);
  }
  return r;
}

int IniSerialize(const IniFile *ini, ByteBuffer *out) {
  // Escaped and converted in one pass, straight into the file's bytes.
  const bool utf16 = ini->utf16;
  // ASCII is the same in UTF-8 and ANSI: it goes in as it is.
  auto put = [&](const char *p, size_t n) {
    return !utf16 && IsAscii(p, n) ? BufferAppend(out, p, n) : FromAnsi(p, n, utf16, out);
  };
  auto text = [&](const char *p) { return put(p, StrLen(p)); };
  // Room for the bytes as they stand, at once: growing by doubling would
  // copy the text and touch twice its memory. (Escapes or conversions that
  // make it longer grow it as they go; a failure here shows in the appends.)
  size_t estimate = 4;
  for (u32 s = 0; s < ini->sections.count; s++) {
    const IniSection *sec = IniSectionAt(ini, static_cast<int>(s));
    estimate += StrLen(sec->name) + 4;
    for (u32 e = 0; e < sec->entries.count; e++) estimate += Entries(sec)[e].keyLength + Entries(sec)[e].valueLength + 2;
  }
  (void)BufferReserve(out, utf16 ? 2 * estimate : estimate);
  bool ok = utf16 ? BufferAppend(out, "\xFF\xFE", 2) : BufferAppend(out, "\xEF\xBB\xBF", 3);
  for (u32 s = 0; s < ini->sections.count && ok; s++) {
    const IniSection *sec = IniSectionAt(ini, static_cast<int>(s));
    if (sec->entries.count == 0) continue;
    if (sec->name[0]) ok = text("\n[") && text(sec->name) && text("]\n");
    for (u32 e = 0; e < sec->entries.count && ok; e++) {
      const IniEntry &entry = Entries(sec)[e];
      if (!entry.key) {
        ok = text(";") && put(entry.value, entry.valueLength) && text("\n");
        continue;
      }
      ok = put(entry.key, entry.keyLength) && text("=");
      // Runs without NUL, LF, CR or backslash go in whole; those four escaped.
      for (u32 i = 0; i < entry.valueLength && ok;) {
        const u32 j = i + static_cast<u32>(FirstOf<'\0', '\n', '\r', '\\'>(entry.value + i, entry.valueLength - i));
        ok = put(entry.value + i, j - i);
        if (j == entry.valueLength || !ok) break;
        const char c = entry.value[j];
        const char escape[2] = {'\\', c == '\0' ? '0' : c == '\n' ? 'n' : c == '\r' ? 'r' : '\\'};
        ok = put(escape, 2);
        i = j + 1;
      }
      ok = ok && text("\n");
    }
  }
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
  // A read-only file is never written over.
  u32 attributes = 0;
  const bool readOnly = PlatGetAttributes(path, &attributes) && (attributes & kAttrReadOnly);
  if (besideFailed && !readOnly && PlatFileExists(path)) {
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
  char *copy = NewName(name, StrLen(name));
  if (!copy) return -1;
  if (!GrowArray(&ini->sections, sizeof(IniSection), ini->sections.count + 1)) {
    Free(copy);
    return -1;
  }
  IniSection *s = IniSectionAt(ini, static_cast<int>(ini->sections.count));
  s->name = copy;
  s->entries = {};
  s->index = nullptr;
  s->indexMask = 0;
  return static_cast<int>(ini->sections.count++);
}

IniEntry *IniFind(const IniFile *ini, int section, const char *key) {
  const IniSection *s = IniSectionAt(ini, section);
  const size_t n = StrLen(key);
  if (s->index) {
    const u32 k = s->index[SlotOf(s, key, n)];
    return k ? Entries(s) + k - 1 : nullptr;
  }
  for (u32 i = 0; i < s->entries.count; i++) {
    IniEntry *e = Entries(s) + i;
    if (e->key && SameText(e->key, e->keyLength, key, n)) return e;
  }
  return nullptr;
}

int IniSet(IniFile *ini, int section, const char *key, const char *value, u32 length) {
  IniEntry *e = IniFind(ini, section, key);
  if (e && SameText(e->value, e->valueLength, value, length)) return 0;
  char *copy = CopyText(ini, value, length);
  if (!copy) return -1;
  if (e) {
    e->value = copy;
    e->valueLength = length;
    return 0;
  }
  const size_t keyLength = StrLen(key);
  char *keyCopy = CopyText(ini, key, keyLength);
  if (!keyCopy) return -1;
  return AppendEntry(IniSectionAt(ini, section), keyCopy, static_cast<u32>(keyLength), copy, length);
}

void IniClearSection(IniFile *ini, int section) {
  IniSection *s = IniSectionAt(ini, section);
  s->entries.count = 0;
  Free(s->index);
  s->index = nullptr;
}
