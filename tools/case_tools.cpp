// The case tools: in place, the length stays.
#include "foundation/char_class.h"
#include "foundation/random.h"
#include "foundation/texts.h"
#include "tools/text_tools.h"

namespace {

// A chunk of whole lines never cuts a double-byte character in two.
template <CaseTransform kCase>
int EachCharacter(ToolDocument *doc) {
  const ToolInput *input = ToolInputRange();
  ToolPieces *pieces = ToolResultPieces();
  if (input && pieces) {
    // A case changes letters alone.
    const int r = MapInputToPieces(input, pieces, [](char *text, u32 length) { ApplyCase(kCase, text, length); }, true);
    return r == kResultCancelled ? 0 : r;  // the runner sees the cancel
  }
  ApplyCase(kCase, doc->text, doc->length);
  return 0;
}

}  // namespace

int ToUpperCase(ToolDocument *doc, ToolParam) { return EachCharacter<kCaseUpper>(doc); }
int ToLowerCase(ToolDocument *doc, ToolParam) { return EachCharacter<kCaseLower>(doc); }
int InvertCase(ToolDocument *doc, ToolParam) { return EachCharacter<kCaseInvert>(doc); }

int WordCapitals(char *text, u32 length) {
  ApplyCase(kCaseCapitalise, text, length);
  return 0;
}

int FirstCapital(char *text, u32 length) {
  ApplyCase(kCaseFirstWord, text, length);
  return 0;
}

int RandomCase(char *text, u32 length) {
  ApplyCase(kCaseRandom, text, length);
  return 0;
}

int FunCase(char *text, u32 length) {
  ApplyCase(kCaseFun, text, length);
  return 0;
}

// After a sentence end (and at the start) the next word character becomes
// upper case; nothing is lowered. A double-byte character is a word
// character that has no case.
int MakeSentences(char *text, u32 length) {
  u8 *p = reinterpret_cast<u8 *>(text);
  bool capital = true;
  for (u32 i = 0; i < length; i++) {
    const u8 c = p[i];
    if (IsLeadByte(c) && i + 1 < length && p[i + 1] != '\r' && p[i + 1] != '\n') {
      i++;
      capital = false;
    } else if (IsSentenceEnd(c)) {
      capital = true;
    } else if (capital && IsWordChar(c)) {
      p[i] = ToUpper(c);
      capital = false;
    }
  }
  return 0;
}

// ---- Fun Case's refusal ----

namespace {

struct FunCounters {
  u32 uses;
  u32 previous;  // the threshold before the current one
  u32 current;
};
FunCounters g_fun;

}  // namespace

void ResetFunCaseCounters() { g_fun = FunCounters{}; }

const char *FunCaseRefusal() {
  g_fun.uses++;
  if (g_fun.uses <= g_fun.current + 32) return nullptr;
  if ((static_cast<u32>(Random()) & 7) != 0) return nullptr;
  // A second number picks the text: the first one's low bits are all zero
  // here, and would always pick the same one.
  static const TextSlot kRefusals[4] = {TXT_REFUSAL_1, TXT_REFUSAL_2, TXT_REFUSAL_3, TXT_REFUSAL_4};
  const TextSlot text = kRefusals[static_cast<u32>(Random()) & 3];
  const u32 next = g_fun.previous + 1 + g_fun.current;
  g_fun.previous = g_fun.current;
  g_fun.current = next;
  return Text(text);
}
