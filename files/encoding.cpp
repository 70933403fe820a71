#include "files/encoding.h"

#include <string.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/bytes.h"
#include "foundation/platform.h"
#include "foundation/texts.h"

namespace {

constexpr u32 kCodePageWide = 1200;  // UTF-16 little-endian, as the wide functions take it

struct CodePageList {
  u32 count;
  u32 number[kMaxCodePages];
  char name[kMaxCodePages][kCodePageNameChars];
};
CodePageList g_codePages;

bool ListCodePage(void *, u32 codePage) {
  CodePageList &list = g_codePages;
  if (list.count >= kMaxCodePages) return false;
  u32 maxSize = 0;
  if (codePage == kCodePageUtf8) return true;  // that is id 1
  char *name = list.name[list.count];
  if (!PlatCodePageInfo(codePage, &maxSize, name, kCodePageNameChars) || !name[0]) return true;
  list.number[list.count++] = codePage;
  return true;
}

// ---- the in-place conversion ----

// One direction of conversion, a chunk at a time. Sizes are in bytes.
struct Converter {
  u32 codePage;
  bool fromWide;  // input is UTF-16 (else bytes of codePage)
  bool toWide;    // output is UTF-16 (else bytes of codePage)
  bool checkLost; // report characters without an equivalent
};

size_t InputUnit(const Converter &c) { return c.fromWide ? 2 : 1; }

// The length of a chunk cut back so that it ends on a character boundary.
size_t AlignChunk(const Converter &c, const char *p, size_t n, size_t available) {
  if (n >= available) return available;
  if (c.fromWide) {
    n &= ~static_cast<size_t>(1);
    u16 last;
    MemCopy(&last, p + n - 2, 2);
    if (n > 2 && last >= 0xD800 && last < 0xDC00) n -= 2;  // keep a surrogate pair together
    return n;
  }
  if (c.codePage == kCodePageUtf8) {
    size_t back = 0;
    while (back < 6 && n - back > 1 && (static_cast<u8>(p[n - back]) & 0xC0) == 0x80) back++;
    return n - back;
  }
  if (!IsMultiByteCodePage(c.codePage)) return n;
  // Lead bytes depend on what came before: walk from the start.
  const char *q = p, *end = p + n;
  for (const char *next; (next = PlatCharNext(c.codePage, q)) <= end && next > q;) q = next;
  return q > p ? static_cast<size_t>(q - p) : n;
}

// Output bytes of converting n input bytes, or 0 on failure. dst null counts.
size_t ConvertChunk(const Converter &c, const char *src, size_t n, char *dst, size_t cap, bool *lost) {
  int units = static_cast<int>(n / InputUnit(c));
  if (units == 0) return 0;
  if (c.toWide) {
    int r = PlatMultiByteToWide(c.codePage, src, units, reinterpret_cast<u16 *>(dst), static_cast<int>(cap / 2));
    return static_cast<size_t>(r) * 2;
  }
  // The wide functions want aligned units: the chunk starts at an even offset.
  bool used = false;
  int r = PlatWideToMultiByteChecked(c.codePage, reinterpret_cast<const u16 *>(src), units, dst,
                                     static_cast<int>(cap), &used);
  if (used && c.checkLost) *lost = true;
  return static_cast<size_t>(r);
}

void Report(const ProgressSink *progress, u64 done, u64 total) {
  if (progress && progress->report) progress->report(progress->context, done, total);
}

void Phase(const ProgressSink *progress, TextSlot slot) {
  if (progress && progress->phase) progress->phase(progress->context, slot);
}

// Converts buf in place: the input is moved behind room for the whole output,
// then taken in chunks from the front. Returns 0, -1 or 1.
int ConvertInPlace(const Converter &c, ByteBuffer *buf, bool *lost, const ProgressSink *progress) {
  const size_t in = buf->length - buf->length % InputUnit(c);
  if (in == 0) {
    buf->length = 0;
    return 0;
  }
  const size_t chunkBytes = kConvertChunk * InputUnit(c);
  // How much the output will take.
  size_t out = 0;
  for (size_t pos = 0; pos < in;) {
    size_t k = AlignChunk(c, buf->data + pos, chunkBytes, in - pos);
    size_t n = ConvertChunk(c, buf->data + pos, k, nullptr, 0, lost);
    if (n == 0) return 1;
    out += n;
    pos += k;
  }
  *lost = false;
  // The input moves behind room for the whole output, on an 8-byte boundary
  // so that UTF-16 units stay aligned.
  if (out > SIZE_MAX - in - 8) return -1;
  const size_t start = (out + 7) & ~static_cast<size_t>(7);
  const size_t end = start + in;
  if (buf->capacity < end) {
    Phase(progress, TXT_PAGING);
    if (!BufferReserve(buf, end - buf->length)) {
      // A fragmented address space may still have room once the bytes wait
      // in the paging file; if even that fails, the bytes are gone with it.
      void *grown = ReallocateThroughPagingFile(buf->data, buf->length, end, progress);
      buf->data = static_cast<char *>(grown);
      buf->capacity = grown ? end : 0;
      if (!grown) {
        buf->length = 0;
        return -1;
      }
    }
    Phase(progress, TXT_CONVERTING);
  }
  char *base = buf->data;
  MemCopyBackward(base + start, base, in);
  size_t src = start, w = 0;
  while (src < end) {
    size_t k = AlignChunk(c, base + src, chunkBytes, end - src);
    size_t n = 0;
    while ((n = ConvertChunk(c, base + src, k, base + w, src - w, lost)) == 0) {
      // Never expected with room for the whole output; smaller pieces once more.
      k = AlignChunk(c, base + src, k / 2, end - src);
      if (k < 2) return 1;
    }
    w += n;
    src += k;
    Report(progress, src - start, in);
  }
  buf->length = w;
  return 0;
}

// ---- UTF-8 straight to a single-byte ANSI code page ----
//
// The usual route goes through UTF-16 and needs room for it. Valid UTF-8 of
// characters below U+10000 goes straight to ANSI instead, in place (each
// character takes no more bytes than it had), with runs of ASCII skipped at
// memory speed. The result is the one the two-step route gives.

struct AnsiTable {
  bool ready;
  bool singleByte;
  u16 byteOf[65536];  // the ANSI byte + 1 of a character; 0: none
};
AnsiTable g_ansi;

const AnsiTable &Ansi() {
  if (!g_ansi.ready) {
    g_ansi.singleByte = !IsMultiByteCodePage(kCodePageAnsi);
    if (g_ansi.singleByte) {
      for (int b = 255; b >= 0; b--) {
        char c = static_cast<char>(b);
        u16 wide = 0;
        if (b == 0 || PlatMultiByteToWide(kCodePageAnsi, &c, 1, &wide, 1) == 1) g_ansi.byteOf[wide] = static_cast<u16>(b + 1);
      }
      g_ansi.byteOf[0] = 1;
    }
    g_ansi.ready = true;
  }
  return g_ansi;
}

// How many bytes of an eight-byte group come before the first one above 127
// (the group's high bits, little-endian order).
inline size_t LeadingAscii(u64 highBits) { return static_cast<size_t>(__builtin_ctzll(highBits) >> 3); }

// True when the bytes are valid UTF-8 without four-byte sequences: the
// straight route then gives exactly what the route through UTF-16 gives.
bool FastUtf8(const u8 *b, size_t n) {
  size_t i = 0;
  while (i < n) {
    while (i + 8 <= n) {
      u64 word;
      memcpy(&word, b + i, 8);
      u64 high = word & 0x8080808080808080ull;
      if (high) {
        i += LeadingAscii(high);
        break;
      }
      i += 8;
    }
    if (i >= n) break;
    u8 lead = b[i];
    if (lead < 0x80) {
      i++;
      continue;
    }
    if (lead < 0xC2 || lead >= 0xF0) return false;
    if (lead < 0xE0) {
      if (i + 1 >= n || (b[i + 1] & 0xC0) != 0x80) return false;
      i += 2;
      continue;
    }
    if (i + 2 >= n || (b[i + 1] & 0xC0) != 0x80 || (b[i + 2] & 0xC0) != 0x80) return false;
    if ((lead == 0xE0 && b[i + 1] < 0xA0) || (lead == 0xED && b[i + 1] >= 0xA0)) return false;
    i += 3;
  }
  return true;
}

// Converts the valid UTF-8 of [r, end) to ANSI at w (w <= r).
void Utf8BlockToAnsi(u8 *p, size_t r, size_t end, size_t *written, bool *lost) {
  const AnsiTable &t = Ansi();
  size_t w = *written;
  while (r < end) {
    // ASCII eight bytes at a time; nothing moves until the first character
    // that shrinks. Only what has been read is overwritten (w <= r).
    while (r + 8 <= end) {
      u64 word;
      memcpy(&word, p + r, 8);  // inline loads: this loop runs at memory speed
      u64 high = word & 0x8080808080808080ull;
      if (high) {
        size_t k = LeadingAscii(high);
        if (w != r) memmove(p + w, p + r, k);
        r += k;
        w += k;
        break;
      }
      if (w != r) memcpy(p + w, &word, 8);
      r += 8;
      w += 8;
    }
    if (r >= end) break;
    u8 lead = p[r];
    if (lead < 0x80) {
      p[w++] = lead;
      r++;
      continue;
    }
    u32 cp;
    if (lead < 0xE0) {
      cp = ((lead & 0x1Fu) << 6) | (p[r + 1] & 0x3Fu);
      r += 2;
    } else {
      cp = ((lead & 0x0Fu) << 12) | ((p[r + 1] & 0x3Fu) << 6) | (p[r + 2] & 0x3Fu);
      r += 3;
    }
    u16 b = t.byteOf[cp];
    if (!b) *lost = true;
    p[w++] = b ? static_cast<u8>(b - 1) : '?';
  }
  *written = w;
}

// The straight route, a cache-sized block at a time: each block is checked,
// then converted while it is still in the cache. Stops at the first block
// that must take the long way; returns where (n when everything was done).
constexpr size_t kUtf8Block = 65536;

size_t Utf8ToAnsiBlocks(u8 *p, size_t n, size_t *written, bool *lost, const ProgressSink *progress) {
  size_t r = 0;
  *written = 0;
  size_t nextReport = kConvertChunk;
  while (r < n) {
    size_t end = n - r > kUtf8Block ? r + kUtf8Block : n;
    for (int k = 0; k < 3 && end < n && (p[end] & 0xC0) == 0x80; k++) end++;  // finish the character
    if (!FastUtf8(p + r, end - r)) break;
    Utf8BlockToAnsi(p, r, end, written, lost);
    r = end;
    if (r >= nextReport) {
      Report(progress, r, n);
      nextReport += kConvertChunk;
    }
  }
  return r;
}

}  // namespace

// ---- code pages ----

u32 BuildCodePageList() {
  g_codePages.count = 0;
  PlatEnumCodePages(ListCodePage, nullptr);
  return g_codePages.count;
}

u32 CodePageCount() { return g_codePages.count; }

u32 CodePageNumber(u32 index) { return index < g_codePages.count ? g_codePages.number[index] : 0; }

const char *CodePageName(u32 index) { return index < g_codePages.count ? g_codePages.name[index] : ""; }

const char *EncodingName(u32 id, u32 codePageIndex) {
  switch (id) {
    case kEncodingAnsi: return Text(TXT_ENC_ANSI);
    case kEncodingUtf8: return Text(TXT_ENC_UTF8);
    case kEncodingUnicode: return Text(TXT_ENC_UNICODE);
    case kEncodingUnicodeBigEndian: return Text(TXT_ENC_UNICODE_BE);
    default: return CodePageName(codePageIndex);
  }
}

u32 EncodingCodePage(u32 id, u32 codePageIndex) {
  switch (id) {
    case kEncodingAnsi: return kCodePageAnsi;
    case kEncodingUtf8: return kCodePageUtf8;
    case kEncodingUnicode:
    case kEncodingUnicodeBigEndian: return kCodePageWide;
    default: return CodePageNumber(codePageIndex);
  }
}

void ApplyEncodingRequest(EncodingState *state, u32 request, u32 codePageIndex) {
  // The index is kept as given; only a listed one makes encoding 4 possible.
  bool listed = codePageIndex < CodePageCount();
  u32 id = (request & 0xFFFF) % (listed ? 5 : 4);
  u32 bom = (request >> 16) & 0xFF;
  bom = bom == kBomDefault ? (id == kEncodingUnicode || id == kEncodingUnicodeBigEndian) : (bom & 1);
  state->id = id;
  state->codePageIndex = codePageIndex;
  state->bomWanted = bom ? 1 : 0;
  state->bomInEffect = state->bomWanted && id >= kEncodingUtf8 && id <= kEncodingUnicodeBigEndian;
  state->flags = static_cast<u8>(request >> 24);
}

u32 NextEncodingRequest(const EncodingState &state) { return EncodingRequest(state.id + 1, kBomDefault, 0); }

u32 ToggleBomRequest(const EncodingState &state) { return EncodingRequest(state.id, state.bomWanted ? 0 : 1, 0); }

u32 ReduceNewlineType(u32 type, bool noMixedNewlines) { return type % (noMixedNewlines ? 3 : 4); }

// ---- detection ----

void Utf8Validator::Feed(const u8 *b, size_t n) {
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
    // Runs of ASCII sixteen bytes at a time.
    while (i + 16 <= n) {
      u64 w[2];
      memcpy(w, b + i, 16);
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

i64 ValidateUtf8(const u8 *b, size_t size) {
  Utf8Validator v;
  v.Feed(b, size);
  return v.Result();
}

u32 CodePageGroup(const char *name) {
  static const char *const kGroups[kCodePageGroups - 1] = {"ANSI", "ISO", "OEM", "IBM", "MAC", "ANSI/OEM", "ISCII"};
  const char *open = name;
  while (*open && *open != '(') open++;
  if (!*open) return kCodePageGroups - 1;
  const char *after = open + 1;
  u32 group = kCodePageGroups - 1;
  for (u32 g = 0; g < kCodePageGroups - 1; g++) {
    const size_t n = StrLen(kGroups[g]);
    if (StrLen(after) >= n && MemCompare(after, kGroups[g], n) == 0) group = g;
  }
  return group;
}

DetectedEncoding DetectEncoding(const u8 *b, size_t size, int forcedId, const DetectOptions &options) {
  DetectedEncoding d = {kEncodingAnsi, false, 0, false};
  if (forcedId >= 0 && forcedId <= 4) {
    d.id = static_cast<u32>(forcedId);
    d.swap = forcedId == kEncodingUnicodeBigEndian;
    return d;
  }
  if (size >= 2) {
    if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return {kEncodingUtf8, true, 3, false};
    if (b[0] == 0xFF && b[1] == 0xFE) return {kEncodingUnicode, true, 2, false};
    if (b[0] == 0xFE && b[1] == 0xFF) return {kEncodingUnicodeBigEndian, true, 2, true};
  }
  i64 utf8 = ValidateUtf8(b, size);
  if (utf8 > 0) {
    d.id = kEncodingUtf8;
  } else if (utf8 == 0) {
    d.id = options.defaultEncoding == kEncodingUtf8 ? kEncodingUtf8 : kEncodingAnsi;
  } else if (options.autoUnicode && size % 2 == 0 && size < 1073741824u) {
    int flags = 938;  // statistics, reverse statistics, signatures, illegal characters, odd length
    PlatIsTextUnicode(b, static_cast<int>(size), &flags);
    // Illegal characters, reverse statistics, statistics: only the last is
    // little-endian, only the middle one big-endian.
    if ((flags & 290) == 2) d.id = kEncodingUnicode;
    if ((flags & 290) == 32) {
      d.id = kEncodingUnicodeBigEndian;
      d.swap = true;
    }
  }
  return d;
}

const char *NextCharacter(u32 codePage, const char *p) {
  if (codePage != kCodePageUtf8) return PlatCharNext(codePage, p);
  u8 lead = static_cast<u8>(*p);
  if (lead < 0x80) return p + 1;
  int extra = 0;
  for (u8 bit = 0x40; bit && (lead & bit); bit >>= 1) extra++;
  if (extra > 6 || (lead == 0xFF)) return p + 1;
  const char *q = p + 1;
  for (int k = 0; k < extra && *q && (static_cast<u8>(*q) & 0xC0) == 0x80; k++) q++;
  return q;
}

bool IsMultiByteCodePage(u32 codePage) {
  u32 maxSize = 0;
  char name[kCodePageNameChars];
  return PlatCodePageInfo(codePage, &maxSize, name, sizeof name) && maxSize > 1;
}

namespace {

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

}  // namespace

void NewlineCounter::Feed(const char *t, size_t n) {
  if (n == 0) return;
  if (lastCR && t[0] != '\n') allPairs = false;
  for (size_t i = 0;; i++) {
    i = static_cast<size_t>(FindNulOrNewline(t + i, t + n) - t);
    if (i >= n) break;
    const char c = t[i];
    if (c == '\0') {
      nul++;
    } else if (c == '\n') {
      lf++;
      if (i == 0 ? !lastCR : t[i - 1] != '\r') allPairs = false;
    } else {
      cr++;
      if (i + 1 < n && t[i + 1] != '\n') allPairs = false;
    }
  }
  lastCR = t[n - 1] == '\r';
}

NewlineScan NewlineCounter::Result(u32 defaultType, bool noMixedNewlines) const {
  NewlineScan scan = {defaultType, nul};
  const bool pairs = allPairs && !lastCR;  // a CR at the very end stands alone
  if (lf && !cr)
    scan.type = kNewlineUnix;
  else if (cr && !lf)
    scan.type = kNewlineMac;
  else if (cr && lf)
    scan.type = pairs ? kNewlineWin : noMixedNewlines ? defaultType : kNewlineMixed;
  return scan;
}

NewlineScan DetectNewlines(const char *text, size_t size, u32 defaultType, bool noMixedNewlines) {
  NewlineCounter counter;
  counter.Feed(text, size);
  return counter.Result(defaultType, noMixedNewlines);
}

// ---- conversion ----

int DecodeToAnsi(u32 id, u32 codePageIndex, ByteBuffer *buf, bool *untranslatable, const ProgressSink *progress) {
  *untranslatable = false;
  if (id == kEncodingAnsi) return 0;
  bool lost = false;
  if (id == kEncodingUtf8 && Ansi().singleByte) {
    u8 *p = reinterpret_cast<u8 *>(buf->data);
    const size_t n = buf->length;
    size_t w = 0;
    size_t r = Utf8ToAnsiBlocks(p, n, &w, &lost, progress);
    if (r < n) {
      // From here on the long way, for the rest only. Its ANSI text is never
      // longer than its UTF-8 (each character or invalid byte gives at most
      // as many bytes as it took), so it fits behind what is done.
      ByteBuffer tail = {};
      if (!BufferAppend(&tail, p + r, n - r)) return -1;
      bool tailLost = false;
      int rc = ConvertInPlace(Converter{kCodePageUtf8, false, true, false}, &tail, &tailLost, nullptr);
      if (rc == 0) rc = ConvertInPlace(Converter{kCodePageAnsi, true, false, true}, &tail, &tailLost, nullptr);
      if (rc == 0 && w + tail.length > buf->capacity) rc = 1;
      if (rc == 0) MemCopy(buf->data + w, tail.data, tail.length);
      w += tail.length;
      lost = lost || tailLost;
      BufferFree(&tail);
      if (rc != 0) return rc;
    }
    buf->length = w;
    *untranslatable = lost;
    Report(progress, n, n);
    return 0;
  }
  if (id == kEncodingUtf8 || id == kEncodingCodePage) {
    u32 cp = EncodingCodePage(id, codePageIndex);
    if (cp == 0) return 1;
    int r = ConvertInPlace(Converter{cp, false, true, false}, buf, &lost, progress);
    if (r != 0) return r;
  } else {
    buf->length &= ~static_cast<size_t>(1);  // a last odd byte is half a character
    if (id == kEncodingUnicodeBigEndian) MemSwap16(buf->data, buf->length / 2);
  }
  int r = ConvertInPlace(Converter{kCodePageAnsi, true, false, true}, buf, &lost, progress);
  *untranslatable = lost;
  return r;
}

int EncodeFromAnsi(u32 id, u32 codePageIndex, ByteBuffer *buf, bool *untranslatable, const ProgressSink *progress) {
  *untranslatable = false;
  if (id == kEncodingAnsi) return 0;
  bool lost = false;
  int r = ConvertInPlace(Converter{kCodePageAnsi, false, true, false}, buf, &lost, progress);
  if (r != 0) return r;
  if (id == kEncodingUnicodeBigEndian) MemSwap16(buf->data, buf->length / 2);
  if (id == kEncodingUtf8 || id == kEncodingCodePage) {
    u32 cp = EncodingCodePage(id, codePageIndex);
    if (cp == 0) return 1;
    bool check = id == kEncodingCodePage && cp != 65000;
    r = ConvertInPlace(Converter{cp, true, false, check}, buf, &lost, progress);
    *untranslatable = lost;
  }
  return r;
}

const char *ByteOrderMark(u32 id, u32 *length) {
  switch (id) {
    case kEncodingUtf8: *length = 3; return "\xEF\xBB\xBF";
    case kEncodingUnicode: *length = 2; return "\xFF\xFE";
    case kEncodingUnicodeBigEndian: *length = 2; return "\xFE\xFF";
    default: *length = 0; return "";
  }
}
