// Loading a large file that needs no conversion (ANSI, or ASCII read as
// UTF-8) without ever holding a copy of it: one pass reads the file through
// a small buffer to detect its encoding and newlines and count its rows, a
// second pass appends it to the store piece by piece, with the tables made
// at their full size first. The heap then holds the store and one buffer,
// never the file as well, and the address space never needs one block of
// the file's size, which a 32-bit process with a gigabyte-sized file cannot
// count on. Anything that needs conversion takes the whole-buffer route.
#include "files/stream_load.h"

#include "document/edit.h"
#include "document/undo.h"
#include "files/encoding.h"
#include "files/load.h"
#include "foundation/bytes.h"
#include "foundation/memory.h"
#include "foundation/platform.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

u32 g_streamLoadMinimum = 64u << 20;
u32 g_streamedLoads = 0;

namespace {

constexpr u32 kPiece = 1u << 20;

// UTF-8 validity across pieces, with the rules of ValidateUtf8.
struct Utf8Stream {
  u32 need = 0;        // continuation bytes still due
  u8 lead = 0;         // the lead byte of the sequence under way
  bool second = false; // the next byte is the sequence's second
  u64 sequences = 0;
  bool invalid = false;

  void Feed(const u8 *b, size_t n) {
    size_t i = 0;
    while (i < n && !invalid) {
      if (need) {
        const u8 c = b[i++];
        if ((c & 0xC0) != 0x80 ||
            (second && ((lead == 0xE0 && c < 0xA0) || (lead == 0xED && c >= 0xA0) || (lead == 0xF0 && c < 0x90) ||
                        (lead == 0xF4 && c >= 0x90)))) {
          invalid = true;
          return;
        }
        second = false;
        if (--need == 0) sequences++;
        continue;
      }
      while (i + 16 <= n) {
        u64 w[2];
        MemCopy(w, b + i, 16);
        if ((w[0] | w[1]) & 0x8080808080808080ull) break;
        i += 16;
      }
      if (i >= n) break;
      const u8 c = b[i++];
      if (c < 0x80) continue;
      if (c < 0xC2 || c >= 0xF5) {
        invalid = true;
        return;
      }
      lead = c;
      need = c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
      second = true;
    }
  }
  // -1 invalid, else the number of multi-byte sequences.
  i64 Result() const { return invalid || need ? -1 : static_cast<i64>(sequences); }
};

// The first NUL, CR or LF at or after p (end when none).
const char *FindNulOrNewline(const char *p, const char *end) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, zero), _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
    const int mask = _mm_movemask_epi8(hit);
    if (mask) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  while (p < end && *p != '\0' && *p != '\n' && *p != '\r') p++;
  return p;
}

// DetectNewlines across pieces.
struct NewlineStream {
  u64 nul = 0, lf = 0, cr = 0;
  bool allPairs = true;
  bool lastCR = false;  // the previous piece ended with a CR

  void Feed(const char *t, size_t n) {
    if (n == 0) return;
    if (lastCR && t[0] != '\n') allPairs = false;
    for (size_t i = 0; i < n; i++) {
      i = static_cast<size_t>(FindNulOrNewline(t + i, t + n) - t);
      if (i >= n) break;
      const char c = t[i];
      if (c == '\0') {
        nul++;
      } else if (c == '\n') {
        lf++;
        if (i == 0 ? !lastCR : t[i - 1] != '\r') allPairs = false;
      } else if (c == '\r') {
        cr++;
        if (i + 1 < n && t[i + 1] != '\n') allPairs = false;
      }
    }
    lastCR = t[n - 1] == '\r';
  }
  NewlineScan Result(u32 defaultType, bool noMixed) const {
    NewlineScan scan = {defaultType, nul};
    const bool pairs = allPairs && !lastCR;
    if (lf && !cr)
      scan.type = kNewlineUnix;
    else if (cr && !lf)
      scan.type = kNewlineMac;
    else if (cr && lf)
      scan.type = pairs ? kNewlineWin : noMixed ? defaultType : kNewlineMixed;
    return scan;
  }
};

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
  Utf8Stream utf8;
  NewlineStream newlines;
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

int StreamIntoDocument(Document *doc, const char *path, u32 size, u32 rows, const FileHooks &hooks) {
  g_streamedLoads++;
  ShowPhase(hooks, TXT_PROCESSING);
  ClearJournal(&doc->undo);
  ClearJournal(&doc->redo);
  int r = 0;
  char *buffer = nullptr;
  PlatFile f = PlatFileOpen(path, kPlatOpenRead);
  if (!f) r = TextId(TXT_CANNOT_READ);
  if (r == 0 && ResetStore(doc, 64, 512) != 0) r = TextId(TXT_OUT_OF_MEMORY);
  // Without the room reserved the pieces still go in, growing the tables as
  // they go: a shortage shows there.
  if (r == 0) (void)ReserveForAppend(&doc->store, size, rows);
  if (r == 0 && !(buffer = static_cast<char *>(Allocate(kPiece)))) r = TextId(TXT_OUT_OF_MEMORY);
  for (u32 done = 0; r == 0 && done < size;) {
    const u32 want = size - done > kPiece ? kPiece : size - done;
    u32 got = 0;
    // A file cut short since the first pass fails as a short read does;
    // one grown since is read up to the size it had.
    if (!PlatFileRead(f, buffer, want, &got) || got == 0) {
      r = TextId(TXT_CANNOT_READ);
    } else if (StoreInsert(&doc->store, doc->store.length, BytesSource(buffer, got), kStoreNoProgress) != 0) {
      r = TextId(TXT_OUT_OF_MEMORY);
    } else {
      done += got;
      Progress(hooks, done, size);
    }
  }
  Free(buffer);
  if (f) PlatFileClose(f);
  if (r != 0) {
    (void)SetDocumentText(doc, "", 0, hooks);
    doc->modified = 1;
    return r;
  }
  SetSelection(doc, 0, 0);
  AnnounceText(doc);
  MarkSaved(doc);
  doc->modified = 0;
  return 0;
}
