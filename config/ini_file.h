// The configuration file of the program's own INI dialect.
//
// On disk: a UTF-8 (EF BB BF) or UTF-16 little-endian (FF FE) byte-order
// mark, then lines ending at CR or LF; an empty file is a valid empty
// configuration. In memory the text is in the ANSI code page: a list of
// sections (index 0 is the unnamed head of the file), each a list of entries.
// An entry is a key and a value of any bytes (NUL included); a comment is an
// entry without a key. Keys and section names are compared case-sensitively
// and never trimmed. Values are written with NUL, LF, CR and backslash escaped
// as \0 \n \r \\.
//
// Every function that allocates reports out of memory as -1 and leaves the
// file as it was.
#pragma once

#include "foundation/byte_buffer.h"
#include "foundation/memory.h"
#include "foundation/types.h"

// Keys and values live in the file's chunks of text (below): an entry owns
// no memory of its own, and a value set anew leaves the old one there until
// the file is freed.
struct IniEntry {
  char *key;  // null for a comment
  u32 keyLength;
  char *value;  // the comment's text for a comment; always terminated
  u32 valueLength;
};

struct IniSection {
  char *name;  // "" for the head; "parent\child" for a sub-section
  GrowableArray entries;  // of IniEntry
  // From eight keys on, a hash table of entry numbers + 1 (0: empty slot)
  // over the keys; a key that stands twice is in it once, as its first entry
  // (a file may hold twins; the first one counts). Null: lookups go through
  // the entries (a table that could not be made only makes them slower).
  u32 *index;
  u32 indexMask;  // slots - 1
};

struct IniChunk;

struct IniFile {
  GrowableArray sections;  // of IniSection
  bool utf16;              // written back as UTF-16 when read as UTF-16
  ByteBuffer original;     // the bytes read from disk, to put back if a rewrite fails
  IniChunk *chunks;        // the texts of the entries; the newest first
  char *room;              // the free end of the newest shared chunk
  size_t roomLeft;
};

// An empty file with its head section. 0 or -1.
[[nodiscard]] int IniInit(IniFile *ini);
void IniFree(IniFile *ini);

// Parses the bytes of a file. 0; 96 for an empty file (an empty
// configuration); 48 without a byte-order mark; -1 out of memory.
[[nodiscard]] int IniParse(IniFile *ini, const char *bytes, size_t n);
// Reads and parses a file: the codes of IniParse, and 64 when the file does
// not exist or cannot be opened, 48 when it cannot be read whole. With
// keepOriginal the bytes read are kept for IniSave to put back; without, the
// entries are parsed inside them (a file only read needs no copy).
[[nodiscard]] int IniLoad(IniFile *ini, const char *path, bool keepOriginal);
// The bytes of the file: byte-order mark, sections, entries. 0 or -1.
[[nodiscard]] int IniSerialize(const IniFile *ini, ByteBuffer *out);
// Rewrites the file whole (created or truncated, keeping its attributes).
// When the write fails after the file was truncated, the bytes it was read
// from are written back. 0, 48 (cannot be opened or written) or -1.
[[nodiscard]] int IniSave(IniFile *ini, const char *path);

IniSection *IniSectionAt(const IniFile *ini, int index);
// The index of a section, or -1.
int IniFindSection(const IniFile *ini, const char *name);
// The index of a section, appended at the end when missing; -1 out of memory.
[[nodiscard]] int IniAddSection(IniFile *ini, const char *name);
// The first entry with this key in the section, or null.
IniEntry *IniFind(const IniFile *ini, int section, const char *key);
// Sets the first entry with this key, or appends one. Setting the value an
// entry already holds changes nothing. 0 or -1.
[[nodiscard]] int IniSet(IniFile *ini, int section, const char *key, const char *value, u32 length);
// Removes every entry (comments too) of the section.
void IniClearSection(IniFile *ini, int section);
