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

struct IniEntry {
  char *key;  // null for a comment
  u32 keyLength;
  char *value;  // the comment's text for a comment; always terminated
  u32 valueLength;
};

struct IniSection {
  char *name;  // "" for the head; "parent\child" for a sub-section
  GrowableArray entries;  // of IniEntry
  // Where the last lookup found its key: keys are mostly read and written in
  // the order they stand, so the next lookup starts after it. Only while
  // no key stands twice (a file may hold twins; the first one counts).
  mutable u32 lookupHint;
  bool uniqueKeys;
};

struct IniFile {
  GrowableArray sections;  // of IniSection
  bool utf16;              // written back as UTF-16 when read as UTF-16
  ByteBuffer original;     // the bytes read from disk, to put back if a rewrite fails
};

// An empty file with its head section. 0 or -1.
[[nodiscard]] int IniInit(IniFile *ini);
void IniFree(IniFile *ini);

// Parses the bytes of a file. 0; 96 for an empty file (an empty
// configuration); 48 without a byte-order mark; -1 out of memory.
[[nodiscard]] int IniParse(IniFile *ini, const char *bytes, size_t n);
// Reads and parses a file: the codes of IniParse, and 64 when the file does
// not exist or cannot be opened, 48 when it cannot be read whole.
[[nodiscard]] int IniLoad(IniFile *ini, const char *path);
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
