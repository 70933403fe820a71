#include "foundation/char_class.h"

#include "foundation/platform.h"
#include "foundation/random.h"

namespace char_class_detail {
Tables g_tables;
bool g_ready;
}  // namespace char_class_detail

using char_class_detail::g_ready;
using char_class_detail::g_tables;

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
  }
  BuildWordTable();
  g_ready = true;
}

void SetWordOptions(const WordOptions &options) {
  if (!g_ready) InitCharClasses();
  g_options = options;
  BuildWordTable();
}

WordOptions CurrentWordOptions() { return g_options; }

void ApplyCase(CaseTransform transform, char *buf, size_t n) {
  u8 *p = reinterpret_cast<u8 *>(buf);
  switch (transform) {
    case kCaseNone:
      return;
    case kCaseUpper:
      for (size_t i = 0; i < n; i++) p[i] = ToUpper(p[i]);
      return;
    case kCaseLower:
      for (size_t i = 0; i < n; i++) p[i] = ToLower(p[i]);
      return;
    case kCaseInvert:
      for (size_t i = 0; i < n; i++) {
        u16 t = CharType(p[i]);
        if (t & kC1Upper) {
          p[i] = ToLower(p[i]);
        } else if (t & kC1Lower) {
          p[i] = ToUpper(p[i]);
        }
      }
      return;
    case kCaseCapitalise: {
      bool inWord = false;
      for (size_t i = 0; i < n; i++) {
        if (!IsWordChar(p[i])) {
          inWord = false;
          continue;
        }
        p[i] = inWord ? ToLower(p[i]) : ToUpper(p[i]);
        inWord = true;
      }
      return;
    }
    case kCaseFirstWord: {
      bool first = true;
      for (size_t i = 0; i < n; i++) {
        if (!IsWordChar(p[i])) continue;
        p[i] = first ? ToUpper(p[i]) : ToLower(p[i]);
        first = false;
      }
      return;
    }
    case kCaseRandom:
      for (size_t i = 0; i < n; i++) p[i] = (Random() & 1) ? ToUpper(p[i]) : ToLower(p[i]);
      return;
    case kCaseFun: {
      bool inWord = false;
      bool upper = false;
      for (size_t i = 0; i < n; i++) {
        if (!IsWordChar(p[i])) {
          inWord = false;
          p[i] = ToLower(p[i]);
          continue;
        }
        if (!inWord) {
          upper = (Random() & 1) != 0;
          inWord = true;
        } else {
          upper = !upper;
          u32 r = static_cast<u32>(Random()) % 33u;
          // An extra flip now and then: always when r is 0, otherwise when a
          // second draw is a multiple of r.
          if (r == 0 || static_cast<u32>(Random()) % r == 0) upper = !upper;
        }
        p[i] = upper ? ToUpper(p[i]) : ToLower(p[i]);
      }
      return;
    }
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
