// File encodings and newline types, and the conversions between a file's
// bytes and the document's ANSI text.
//
// The document always holds text in the system ANSI code page, one byte per
// character, with newlines as read. A file is ANSI (0), UTF-8 (1), UTF-16
// little-endian "Unicode" (2), UTF-16 big-endian (3), or any installed code
// page (4, by its index in the code page list).
#pragma once

#include "foundation/byte_buffer.h"
#include "foundation/memory.h"
#include "foundation/types.h"

enum EncodingId : u32 {
  kEncodingAnsi = 0,
  kEncodingUtf8 = 1,
  kEncodingUnicode = 2,
  kEncodingUnicodeBigEndian = 3,
  kEncodingCodePage = 4,
};

enum NewlineType : u32 {
  kNewlineWin = 0,    // CR LF
  kNewlineUnix = 1,   // LF
  kNewlineMac = 2,    // CR
  kNewlineMixed = 3,  // every newline as stored
};

// ---- the code page list ----

constexpr u32 kMaxCodePages = 896;
constexpr u32 kCodePageNameChars = 260;

// Enumerates the installed code pages once at start-up: 65001 is left out (it
// is UTF-8), and a code page is kept only when the system gives it a name.
// Returns how many were listed.
u32 BuildCodePageList();
u32 CodePageCount();
// The number and the name of entry `index`; 0 and "" beyond the list.
u32 CodePageNumber(u32 index);
const char *CodePageName(u32 index);

// The group of the Import, Export and Re-open menus a code page's name
// belongs to: 0 "ANSI", 1 "ISO", 2 "OEM", 3 "IBM", 4 "MAC", 5 "ANSI/OEM",
// 6 "ISCII", 7 "Other". The text after the name's "(" begins with the
// group's name; when several do, the later one wins ("ANSI/OEM" over
// "ANSI"); a name without "(" or a match is Other.
constexpr u32 kCodePageGroups = 8;
u32 CodePageGroup(const char *name);

// The name of an encoding as the status bar and the menus show it: "ANSI",
// "UTF-8", "Unicode", "Unicode, Big Endian", or the code page's name.
const char *EncodingName(u32 id, u32 codePageIndex);
// The code page that converts an encoding's bytes: 0 (ANSI), 65001, 1200
// (UTF-16, either order after swapping) or the listed code page.
u32 EncodingCodePage(u32 id, u32 codePageIndex);

// ---- the encoding of a document ----

struct EncodingState {
  u32 id;
  u32 codePageIndex;
  u8 bomWanted;
  u8 bomInEffect;  // wanted, and the encoding has one (UTF-8 and UTF-16)
  u8 flags;        // bit 0: the user forced this encoding when opening
};

constexpr u32 kBomDefault = 255;  // the BOM wish that means "this encoding's default"
constexpr u8 kEncodingForced = 1;

// The set-encoding request word: the id in bits 0-15, the BOM wish in 16-23
// (0, 1, or 255 for the default: on for UTF-16, off otherwise), the encoding
// flags in 24-31.
inline u32 EncodingRequest(u32 id, u32 bomWish, u32 flags) {
  return (id & 0xFFFF) | ((bomWish & 0xFF) << 16) | ((flags & 0xFF) << 24);
}
// Applies a request: the id is taken modulo 5 when codePageIndex names a
// listed code page, modulo 4 otherwise.
void ApplyEncodingRequest(EncodingState *state, u32 request, u32 codePageIndex);
// The request for the next encoding (id + 1, the default BOM).
u32 NextEncodingRequest(const EncodingState &state);
// The request that flips the BOM wish.
u32 ToggleBomRequest(const EncodingState &state);

// The newline type modulo 4, or modulo 3 when mixed newlines are not allowed.
u32 ReduceNewlineType(u32 type, bool noMixedNewlines);
// The text-reading flags that write newlines of a type: 3 (CR LF) for Win,
// 2 (LF) for Unix, 1 (CR) for Mac, 0 (as stored) for Mixed.
inline u32 NewlineFlagsForOutput(u32 type) { return 3 - (type & 3); }

// ---- detection ----

struct DetectedEncoding {
  u32 id;
  bool bom;        // a byte-order mark was found (and is skipped)
  u32 textOffset;  // where the text starts after the mark
  bool swap;       // UTF-16 big-endian: its units are swapped (DecodeToAnsi does it)
};

struct DetectOptions {
  u32 defaultEncoding;  // Encode: for pure ASCII and empty files, 1 means UTF-8
  bool autoUnicode;     // AutoUni: try the statistical UTF-16 test
};

// The encoding of a file's bytes. forcedId 0..4 is taken as it is (no mark
// is looked for; id 3 swaps); -1 detects.
DetectedEncoding DetectEncoding(const u8 *bytes, size_t size, int forcedId, const DetectOptions &options);

// -1 when the bytes are not valid UTF-8, otherwise how many multi-byte
// sequences they hold.
i64 ValidateUtf8(const u8 *bytes, size_t size);
// The same over bytes that come in pieces (a sequence may span two).
struct Utf8Validator {
  u32 need = 0;         // continuation bytes still due
  u8 lead = 0;          // the lead byte of the sequence under way
  bool second = false;  // the next byte is the sequence's second
  u64 sequences = 0;
  bool invalid = false;  // stays once set: nothing more is looked at
  void Feed(const u8 *bytes, size_t n);
  // -1 invalid (or cut off by the end), else the number of multi-byte sequences.
  i64 Result() const { return invalid || need ? -1 : static_cast<i64>(sequences); }
};

// Past one character: for 65001 by the UTF-8 rule (a lead byte counts its
// leading 1-bits after the first, at most 6, then takes that many
// continuation bytes, stopping at any other byte or a NUL); otherwise as the
// system steps through the code page.
const char *NextCharacter(u32 codePage, const char *p);
bool IsMultiByteCodePage(u32 codePage);

struct NewlineScan {
  u32 type;
  u64 nulCount;
};

// The newline type of ANSI text: only LF newlines is Unix, only CRs is Mac,
// every newline CR LF is Win, anything else Mixed (or defaultType when
// mixed newlines are not allowed); no newline at all is defaultType.
NewlineScan DetectNewlines(const char *text, size_t size, u32 defaultType, bool noMixedNewlines);
// The same over text that comes in pieces (a CR LF may span two).
struct NewlineCounter {
  u64 nul = 0, lf = 0, cr = 0;
  bool allPairs = true;  // every newline so far a CR LF
  bool lastCR = false;   // the last piece ended with a CR
  void Feed(const char *text, size_t n);
  NewlineScan Result(u32 defaultType, bool noMixedNewlines) const;
};

// ---- conversion in place ----

// Chunks hold at most this many characters.
constexpr size_t kConvertChunk = 8388608;

// Converts buf (the file's bytes after the BOM; big-endian UTF-16 is
// swapped here) to ANSI text in place: the buffer grows to hold the result in
// front of the unconverted bytes, which are taken in chunks that end on a
// character boundary. *untranslatable is set when some character has no ANSI
// form. Returns 0; -1 out of memory; 1 when the conversion failed. After a
// failure the buffer holds nothing of use. progress (optional) counts input
// bytes.
[[nodiscard]] int DecodeToAnsi(u32 id, u32 codePageIndex, ByteBuffer *buf, bool *untranslatable,
                               const ProgressSink *progress);
// The mirror: ANSI text in buf becomes the encoding's bytes (UTF-16
// big-endian swapped), without a BOM. *untranslatable only for code pages.
[[nodiscard]] int EncodeFromAnsi(u32 id, u32 codePageIndex, ByteBuffer *buf, bool *untranslatable,
                                 const ProgressSink *progress);
// The byte-order mark of an encoding (UTF-8 and UTF-16), or "" with length 0.
const char *ByteOrderMark(u32 id, u32 *length);
