// Loading a large file that needs no conversion (ANSI, or ASCII read as
// UTF-8) without ever holding a copy of it: one pass reads the file through
// a small buffer to detect its encoding and newlines and count its rows, a
// second pass appends it to the store piece by piece, with the tables made
// at their full size first. The heap then holds the store and one buffer,
// never the file as well, and the address space never needs one block of
// the file's size, which a 32-bit process with a gigabyte-sized file cannot
// count on. Anything that needs conversion takes the whole-buffer route.
#include "files/stream_load.h"

#include "files/encoding.h"
#include "files/load.h"
#include "foundation/bytes.h"
#include "foundation/memory.h"
#include "foundation/platform.h"


u32 g_streamLoadMinimum = 64u << 20;
u32 g_streamedLoads = 0;

namespace {

constexpr u32 kPiece = 1u << 20;

void Progress(const FileHooks &hooks, u64 done, u64 total) {
  if (hooks.progress) hooks.progress(hooks.context, done, total);
}

}  // namespace

int ScanForStreaming(const char *path, u32 size, int forcedId, const DetectOptions &options, u32 defaultNewlines,
                     bool noMixedNewlines, const FileHooks &hooks, StreamScan *out) {
  *out = StreamScan{};
  if (forcedId > static_cast<int>(kEncodingUtf8)) return kNotStreamed;  // UTF-16 and code pages convert
  PlatFile f = PlatFileOpen(path, kPlatOpenRead);
  if (!f) return kNotStreamed;  // the whole-buffer route reports it
  char *buffer = static_cast<char *>(Allocate(kPiece));
  if (!buffer) {
    PlatFileClose(f);
    return kNotStreamed;
  }
  Utf8Validator utf8;
  NewlineCounter newlines;
  bool pendingCR = false;
  u32 rows = 0;
  int r = 0;
  u32 done = 0;
  while (done < size && r == 0) {
    const u32 want = size - done > kPiece ? kPiece : size - done;
    u32 got = 0;
    if (!PlatFileRead(f, buffer, want, &got) || got == 0) {
      r = kNotStreamed;  // read again, the usual way, which reports it
      break;
    }
    const u8 *b = reinterpret_cast<const u8 *>(buffer);
    if (done == 0) {
      if (forcedId < 0 && got >= 2 &&
          ((got >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) || (b[0] == 0xFF && b[1] == 0xFE) ||
           (b[0] == 0xFE && b[1] == 0xFF))) {
        r = kNotStreamed;  // a byte-order mark: converted
        break;
      }
      out->diary = got >= 4 && MemCompare(buffer, ".LOG", 4) == 0;
    }
    if (forcedId != kEncodingAnsi && !utf8.invalid) {
      utf8.Feed(b, got);
      // Characters of more than one byte are converted; so is anything at
      // all in a file forced to UTF-8.
      // Not UTF-8 with the statistical UTF-16 test due: that test needs
      // the whole text.
      const bool utf16Test = forcedId < 0 && utf8.invalid && options.autoUnicode && size % 2 == 0 && size < 1073741824u;
      if (utf8.sequences > 0 || (forcedId == kEncodingUtf8 && utf8.invalid) || utf16Test) {
        r = kNotStreamed;
        break;
      }
    }
    newlines.Feed(buffer, got);
    rows += CountNewRows(buffer, got, &pendingCR);
    done += got;
    Progress(hooks, done, size);
  }
  Free(buffer);
  PlatFileClose(f);
  if (r != 0) return r;
  if (forcedId == kEncodingUtf8 && utf8.Result() != 0) return kNotStreamed;
  if (forcedId >= 0) {
    out->id = static_cast<u32>(forcedId);
  } else if (utf8.Result() == 0) {
    out->id = options.defaultEncoding == kEncodingUtf8 ? kEncodingUtf8 : kEncodingAnsi;
  } else {
    // Not UTF-8: ANSI, unless the statistical UTF-16 test is due, which
    // needs the whole text.
    if (options.autoUnicode && size % 2 == 0 && size < 1073741824u) return kNotStreamed;
    out->id = kEncodingAnsi;
  }
  out->rows = rows;
  out->newlines = newlines.Result(defaultNewlines, noMixedNewlines);
  return 0;
}

int StreamIntoStore(TextStore *store, const char *path, u32 size, u32 rows, const FileHooks &hooks) {
  g_streamedLoads++;
  ShowPhase(hooks, TXT_PROCESSING);
  int r = 0;
  char *buffer = nullptr;
  PlatFile f = PlatFileOpen(path, kPlatOpenRead);
  if (!f) r = TextId(TXT_CANNOT_READ);
  // Without the room reserved the pieces still go in, growing the tables as
  // they go: a shortage shows there.
  if (r == 0) (void)ReserveForAppend(store, size, rows);
  if (r == 0 && !(buffer = static_cast<char *>(Allocate(kPiece)))) r = TextId(TXT_OUT_OF_MEMORY);
  for (u32 done = 0; r == 0 && done < size;) {
    const u32 want = size - done > kPiece ? kPiece : size - done;
    u32 got = 0;
    // A file cut short since the first pass fails as a short read does;
    // one grown since is read up to the size it had.
    if (!PlatFileRead(f, buffer, want, &got) || got == 0) {
      r = TextId(TXT_CANNOT_READ);
    } else if (StoreInsert(store, store->length, BytesSource(buffer, got), kStoreNoProgress) != 0) {
      r = TextId(TXT_OUT_OF_MEMORY);
    } else {
      done += got;
      Progress(hooks, done, size);
    }
  }
  Free(buffer);
  if (f) PlatFileClose(f);
  return r;
}
