#include "foundation/safe_writer.h"

#include "foundation/bytes.h"
#include "foundation/format.h"

int SafeWriterOpen(SafeWriter *w, const char *path, u32 addAttributes, bool forceReadOnly) {
  MemZero(w, sizeof *w);
  size_t n = StrLen(path);
  if (n == 0 || n + 16 >= kSafePathChars) return 523;
  StrCopy(w->target, path);
  w->addAttributes = addAttributes;
  w->forceReadOnly = forceReadOnly;
  w->targetExists = PlatGetAttributes(path, &w->targetAttributes);
  if (w->targetExists && (w->targetAttributes & kAttrReadOnly) && !forceReadOnly) return 523;
  // A name beside the target that nothing else uses.
  for (u32 k = 0; k < 100; k++) {
    Format(w->temp, sizeof w->temp, "%s.~q%u", path, (PlatCurrentProcessId() + k) % 100000u);
    w->file = PlatFileOpen(w->temp, kPlatOpenCreateNew);
    if (w->file) return 0;
    if (!PlatFileExists(w->temp)) break;  // not a name clash: the folder refuses
  }
  w->temp[0] = 0;
  return 523;
}

int SafeWriterWrite(SafeWriter *w, const void *bytes, u32 n) {
  if (!w->file) return 524;
  if (n && !PlatFileWrite(w->file, bytes, n)) return 524;
  w->written += n;
  return 0;
}

int SafeWriterCommit(SafeWriter *w, bool flush) {
  if (!w->file) return 523;
  if (flush && !PlatFileFlush(w->file)) {
    SafeWriterAbort(w);
    return 524;
  }
  PlatFileClose(w->file);
  w->file = nullptr;
  // The replacement takes over the target's attributes; a read-only target
  // is opened up only for the moment of the replacement.
  bool wasReadOnly = w->targetExists && (w->targetAttributes & kAttrReadOnly);
  if (wasReadOnly && !PlatSetAttributes(w->target, w->targetAttributes & ~kAttrReadOnly)) {
    SafeWriterAbort(w);
    return 523;
  }
  if (!PlatFileReplace(w->temp, w->target)) {
    if (wasReadOnly) (void)PlatSetAttributes(w->target, w->targetAttributes);
    SafeWriterAbort(w);
    return 523;
  }
  w->temp[0] = 0;
  u32 attributes = w->targetExists ? w->targetAttributes : kAttrArchive;
  attributes |= w->addAttributes;
  if (attributes != kAttrNormal || w->targetExists) (void)PlatSetAttributes(w->target, attributes);
  return 0;
}

void SafeWriterAbort(SafeWriter *w) {
  if (w->file) PlatFileClose(w->file);
  w->file = nullptr;
  if (w->temp[0]) (void)PlatFileDelete(w->temp);
  w->temp[0] = 0;
}
