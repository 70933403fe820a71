// Character classes, case mapping and the word definition of the ANSI code
// page.
//
// The answers come from the platform one byte at a time (GetStringTypeA,
// CharLowerA, CharUpperA under the user's locale) and are kept in 256-entry
// tables built once by InitCharClasses at start-up. Word navigation, double
// click, the pattern matcher, the case tools, sorting and the match-case
// replacement all read the same tables, so the two word settings change all of
// them together.
//
// Every query works before InitCharClasses too: the first query builds the
// tables (start-up does it on the GUI thread before any worker exists).
#pragma once

#include "foundation/types.h"

// CT_CTYPE1 flags.
constexpr u16 kC1Upper = 0x0001;
constexpr u16 kC1Lower = 0x0002;
constexpr u16 kC1Digit = 0x0004;
constexpr u16 kC1Space = 0x0008;
constexpr u16 kC1Punct = 0x0010;
constexpr u16 kC1Cntrl = 0x0020;
constexpr u16 kC1Blank = 0x0040;
constexpr u16 kC1XDigit = 0x0080;
constexpr u16 kC1Alpha = 0x0100;
// CT_CTYPE3 flags the word definition uses.
constexpr u16 kC3Lexical = 0x0400;
constexpr u16 kC3Alpha = 0x8000;

// The two word settings. Their home is the settings block ("SWord": "Basic
// &word definition (alphanums only)", "_word": "Include &underscores in
// words"); the settings code hands them over with SetWordOptions whenever they
// are loaded or changed. Both default to 1.
struct WordOptions {
  int basicWords;   // SWord: letters and digits only
  int underscores;  // _word: with SWord on, "_" is a word character too
};

// Builds every table from the platform's answers (again, when called again).
void InitCharClasses();
// Rebuilds the word table for new settings.
void SetWordOptions(const WordOptions &options);
WordOptions CurrentWordOptions();

namespace char_class_detail {
struct Tables {
  u16 ctype1[256];
  u16 ctype3[256];
  u8 lower[256];
  u8 upper[256];
  u8 word[256];
  u8 lead[256];  // the lead bytes of a double-byte ANSI code page
  bool anyLead;
};
extern Tables g_tables;
extern bool g_ready;
inline const Tables &T() {
  if (!g_ready) InitCharClasses();
  return g_tables;
}
}  // namespace char_class_detail

// The CT_CTYPE1 flags of the byte (C1_UPPER 1, C1_LOWER 2, C1_DIGIT 4,
// C1_SPACE 8, C1_ALPHA 256, ...).
inline u16 CharType(u8 c) { return char_class_detail::T().ctype1[c]; }
inline u16 CharType3(u8 c) { return char_class_detail::T().ctype3[c]; }
inline bool IsWordChar(u8 c) { return char_class_detail::T().word[c] != 0; }
// A lead byte of the double-byte ANSI code page (never on a single-byte one).
inline bool IsLeadByte(u8 c) { return char_class_detail::T().lead[c] != 0; }
inline bool AnyLeadBytes() { return char_class_detail::T().anyLead; }
inline bool IsSentenceEnd(u8 c) { return c == '.' || c == '?' || c == '!'; }
inline u8 ToLower(u8 c) { return char_class_detail::T().lower[c]; }
inline u8 ToUpper(u8 c) { return char_class_detail::T().upper[c]; }
// The 256-byte lowercase table for case-insensitive comparison
// (MemCompareLower).
inline const u8 *LowerTable() { return char_class_detail::T().lower; }

// 2 for CR followed by LF (when both bytes are available), 1 for a lone CR or
// an LF, 0 otherwise (also when nothing is available).
inline u32 NewlineLengthAt(const char *p, size_t available) {
  if (available == 0) return 0;
  if (p[0] == '\n') return 1;
  if (p[0] != '\r') return 0;
  return (available >= 2 && p[1] == '\n') ? 2 : 1;
}

// The case transforms of the case tools; each works in place.
enum CaseTransform : int {
  kCaseNone = 0,
  kCaseUpper,
  kCaseLower,
  kCaseInvert,
  kCaseCapitalise,  // each run of word characters: first upper, rest lower
  kCaseFirstWord,   // first word character of the buffer upper, later ones lower
  kCaseRandom,      // each byte upper or lower by one random bit
  kCaseFun,         // alternating case with random extra flips
};

// Applies a transform to buf[0, n). kCaseNone leaves the buffer alone. Random
// and fun draw from the calling thread's generator. On a double-byte code
// page a lead byte and the byte after it (unless that is a CR or an LF, or
// the buffer ends) are one character: kept as they are, and a word character.
void ApplyCase(CaseTransform transform, char *buf, size_t n);

// Which transform reproduces the case pattern of a text: kCaseUpper,
// kCaseLower, kCaseCapitalise, kCaseFirstWord, or kCaseNone.
//
// The classifier runs over pieces so that a selection spread over many
// blocks needs no copy: Reset, Feed each piece in order (until Feed returns
// false: the answer is then settled), then Result.
struct CasePatternScanner {
  u32 uppers;
  u32 lowers;
  u32 lateCapitals;    // upper-case letters after an earlier letter
  u32 irregularities;  // words starting lower-case or with a non-letter; inner capitals
  u8 seenLetter;
  u8 inWord;
};
void CasePatternReset(CasePatternScanner *s);
// False once the answer can no longer change.
bool CasePatternFeed(CasePatternScanner *s, const char *p, size_t n);
CaseTransform CasePatternResult(const CasePatternScanner *s);
// One-shot form.
CaseTransform ClassifyCasePattern(const char *p, size_t n);
