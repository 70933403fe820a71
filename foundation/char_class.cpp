#include "foundation/char_class.h"

#include "foundation/bytes.h"
#include "foundation/platform.h"
#include "foundation/random.h"

namespace char_class_detail {
Tables g_tables;
bool g_ready;
}  // namespace char_class_detail

using char_class_detail::g_ready;
using char_class_detail::g_tables;
using char_class_detail::Tables;

namespace {

WordOptions g_options = {1, 1};

void BuildWordTable() {
  for (int c = 0; c < 256; c++) {
    u16 t1 = g_tables.ctype1[c];
    bool word;
    if (g_options.basicWords) {
      word = (t1 & (kC1Alpha | kC1Digit)) != 0 || (g_options.underscores && c == '_');
    } else {
      word = (g_tables.ctype3[c] & (kC3Alpha | kC3Lexical)) != 0 || (t1 & (kC1Alpha | kC1Digit)) != 0;
    }
    g_tables.word[c] = word ? 1 : 0;
  }
}

}  // namespace

void InitCharClasses() {
  for (int c = 0; c < 256; c++) {
    u8 b = static_cast<u8>(c);
    PlatCharTypes(b, &g_tables.ctype1[c], &g_tables.ctype3[c]);
    g_tables.lower[c] = PlatCharLower(b);
    g_tables.upper[c] = PlatCharUpper(b);
    g_tables.lead[c] = c >= 128 && PlatIsLeadByte(kCodePageAnsi, b) ? 1 : 0;
  }
  g_tables.anyLead = false;
  for (int c = 0; c < 256; c++) g_tables.anyLead = g_tables.anyLead || g_tables.lead[c];
  BuildWordTable();
  g_ready = true;
}

void SetWordOptions(const WordOptions &options) {
  if (!g_ready) InitCharClasses();
  g_options = options;
  BuildWordTable();
}

WordOptions CurrentWordOptions() { return g_options; }

namespace {

// Fun Case's state: whether a word run goes on, and its phase (the case of
// its next character: lower when odd).
struct FunState {
  bool inWord;
  u32 phase;
};

// One single-byte character of a transform that walks the text.
u8 CaseStep(CaseTransform transform, u8 c, bool *inWord, bool *first, FunState *fun) {
  switch (transform) {
    case kCaseInvert: {
      const u16 t = CharType(c);
      return (t & kC1Upper) ? ToLower(c) : (t & kC1Lower) ? ToUpper(c) : c;
    }
    case kCaseCapitalise: {
      if (!IsWordChar(c)) {
        *inWord = false;
        return c;
      }
      const u8 r = *inWord ? ToLower(c) : ToUpper(c);
      *inWord = true;
      return r;
    }
    case kCaseFirstWord: {
      if (!IsWordChar(c)) return c;
      const u8 r = *first ? ToUpper(c) : ToLower(c);
      *first = false;
      return r;
    }
    case kCaseRandom: return (Random() & 1) ? ToLower(c) : ToUpper(c);
    case kCaseFun: {
      if (!IsWordChar(c)) {
        fun->inWord = false;
        return ToLower(c);
      }
      if (!fun->inWord) {
        fun->inWord = true;
        fun->phase = static_cast<u32>(Random()) & 1;
      } else {
        // An extra step now and then: always when r is 0, otherwise when a
        // second draw is a multiple of r; so a word mostly alternates.
        const u32 r = static_cast<u32>(Random()) % 33u;
        if (r == 0 || static_cast<u32>(Random()) % r == 0) fun->phase++;
        fun->phase++;
      }
      return (fun->phase & 1) ? ToLower(c) : ToUpper(c);
    }
    case kCaseUpper: return ToUpper(c);
    case kCaseLower: return ToLower(c);
    case kCaseNone: break;
  }
  return c;
}

}  // namespace

void ApplyCase(CaseTransform transform, char *buf, size_t n) {
  if (transform == kCaseNone) return;
  u8 *p = reinterpret_cast<u8 *>(buf);
  const Tables &t = char_class_detail::T();
  if (!t.anyLead && (transform == kCaseUpper || transform == kCaseLower)) {
    const u8 *map = transform == kCaseUpper ? t.upper : t.lower;
    MemCopyMapped(p, p, map, n);
    return;
  }
  bool inWord = false, first = true;
  FunState fun = {false, 0};
  for (size_t i = 0; i < n; i++) {
    // A double-byte character stays as it is and counts as a word character.
    if (t.lead[p[i]] && i + 1 < n && p[i + 1] != '\r' && p[i + 1] != '\n') {
      i++;
      inWord = true;
      first = false;
      fun.inWord = true;
      continue;
    }
    p[i] = CaseStep(transform, p[i], &inWord, &first, &fun);
  }
}

void CasePatternReset(CasePatternScanner *s) { *s = CasePatternScanner{}; }

bool CasePatternFeed(CasePatternScanner *s, const char *text, size_t n) {
  const u8 *p = reinterpret_cast<const u8 *>(text);
  for (size_t i = 0; i < n; i++) {
    u8 c = p[i];
    u16 t = CharType(c);
    bool word = IsWordChar(c);
    bool wordStart = word && !s->inWord;
    if (t & kC1Upper) {
      s->uppers++;
      if (s->seenLetter) s->lateCapitals++;
      if (!wordStart) s->irregularities++;
    } else if (t & kC1Lower) {
      s->lowers++;
    }
    if (wordStart && ((t & kC1Lower) || !(t & kC1Alpha))) s->irregularities++;
    if (t & kC1Alpha) s->seenLetter = 1;
    s->inWord = word ? 1 : 0;
    // With both cases, a late capital and an irregularity present, the
    // answer is "none" whatever follows. Without a lower-case letter yet it
    // could still be "upper", so the pass goes on.
    if (s->irregularities && s->lateCapitals && s->lowers) return false;
  }
  return true;
}

CaseTransform CasePatternResult(const CasePatternScanner *s) {
  if (s->uppers == 0) return s->lowers ? kCaseLower : kCaseNone;
  if (s->lowers == 0) return kCaseUpper;
  if (s->lateCapitals == 0) return kCaseFirstWord;
  return s->irregularities ? kCaseNone : kCaseCapitalise;
}

CaseTransform ClassifyCasePattern(const char *p, size_t n) {
  CasePatternScanner s;
  CasePatternReset(&s);
  CasePatternFeed(&s, p, n);
  return CasePatternResult(&s);
}
