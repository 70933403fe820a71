// The case tools and the line tools: the functions the tool table hands to
// the runner.
//
// On a double-byte code page every tool keeps each lead byte and the byte
// after it whole and unchanged: case mapping skips the pair, and nothing cuts
// one in two.
#pragma once

#include "tools/tool_runner.h"

// ---- case ----

// Upper, lower and inverted case change each character alone. Under the
// runner (a tool with kToolReadsInput) they read the document a chunk of
// lines at a time, in two halves at once, and leave the result in pieces;
// otherwise they change the private text in place. 0, or -1 out of memory.
int ToUpperCase(ToolDocument *doc, ToolParam);
int ToLowerCase(ToolDocument *doc, ToolParam);
int InvertCase(ToolDocument *doc, ToolParam);
// The others, in place; each returns 0.
int WordCapitals(char *text, u32 length);
int FirstCapital(char *text, u32 length);
int MakeSentences(char *text, u32 length);
int RandomCase(char *text, u32 length);
int FunCase(char *text, u32 length);

// Fun Case's refusal, asked before every run: counts the use and, from the
// 33rd use on, refuses one time in eight. Null, or the refusal's text
// ("Knock it off!", ...), after which the tool is cancelled.
const char *FunCaseRefusal();
// Starts the counters afresh (tests).
void ResetFunCaseCounters();

// ---- lines (document tools) ----

// Quote (at the start) and Close (at the end); Indent has no options.
struct LinePhraseSettings {
  const char *phrase;   // at most 1,023 characters
  int nonEmptyOnly;     // blank lines get nothing
  int skipSpaces;       // after the leading (Quote) or before the trailing (Close) whitespace
  int atEnd;            // Close
};
// param: a LinePhraseSettings; 0 for Indent (a tab, or Tab spaces with
// NoTabs, on every line).
int AddLinePhrase(ToolDocument *doc, ToolParam param);
// Modes: 1 Shift Right (last character), 2 Unclose (last, when it is the
// first non-empty line's last), 4 Shift Left (first), 8 Unquote (first, when
// it is the first non-empty line's first), 16 Unindent (a leading blank, or
// up to Tab leading spaces with NoTabs).
int RemoveLineChar(ToolDocument *doc, ToolParam mode);
// Modes: 0 trailing whitespace of every line, 1 the whitespace of blank lines.
int TrimLines(ToolDocument *doc, ToolParam mode);
// Modes: 0 every blank line, 1 a blank line after a blank line.
int RemoveEmptyLines(ToolDocument *doc, ToolParam mode);
// Modes: 1 Tabify, 0 Untabify (the leading whitespace, same width).
int RetabLines(ToolDocument *doc, ToolParam mode);

// The Quote and Close settings as the tools take them, from the settings
// block.
LinePhraseSettings QuoteSettings();
LinePhraseSettings CloseSettings();

// ---- reverse and wrap ----

// In place: the characters in reverse order, CR LF newlines kept as CR LF.
int ReverseText(char *text, u32 length);
// In place: each run of word characters reversed; the rest stays.
int ReverseEachWord(char *text, u32 length);
// In place: words and what lies between them in reverse order, each word
// reading forwards.
int ReverseWordOrder(char *text, u32 length);
// Each line's text (without its newline) through ReverseText, or with
// kReverseLineWords through ReverseWordOrder.
constexpr ToolParam kReverseLineWords = 1;
int ReverseEachLine(ToolDocument *doc, ToolParam function);
// The lines in reverse order, written with the document's newline sequence,
// none after the last.
int ReverseLineOrder(const ToolDocument *in, ToolDocument *out, ToolParam);
// Joins lines: mode 1 every newline goes, mode 0 only one between two
// non-blank lines; a newline that goes after a non-empty line leaves a space
// unless the line ends or the next begins with whitespace.
int UnwrapLines(ToolDocument *doc, ToolParam mode);
// Commit Wrapping: the selection as its input is read, with the document's
// newline sequence at every wrap point, a chunk of lines at a time in two
// halves, into the result's pieces (under the runner; anything else is left
// as it is).
int CommitWrappingText(ToolDocument *doc, ToolParam);

// ---- translate, enclose, tag ----

struct TranslateSettings {
  const char *find, *replace;  // at most 1,023 characters each
  int escapes;                 // escapes and ranges
  int deleteOthers;            // every character not found is deleted
};
// The table: each character's new value, or kTranslateDelete.
constexpr u16 kTranslateDelete = 256;
void BuildTranslateTable(const TranslateSettings &settings, u16 table[256]);
// param: a TranslateSettings.
int TranslateChars(ToolDocument *doc, ToolParam param);
// Its run's flags: on the worker with a running count, an empty selection
// one empty line, the whole text not pulled back.
constexpr u32 kTranslateToolFlags =
    kToolWorker | kToolCounted | kToolEmptyLine | kToolNoPullBackAll | kToolReadsInput;

struct EncloseSettings {
  const char *before, *after;
  ToolResultSelection *selection;  // an empty selection: the caret between the two
};
int EncloseText(const char *text, u32 length, ToolDocument *out, ToolParam param);

struct TagSettings {
  const char *name;                // empty: nothing to change
  const char *attributes;
  int empty;                       // an empty element after the text
  ToolResultSelection *selection;  // the enclosed text is selected
};
int TagText(const char *text, u32 length, ToolDocument *out, ToolParam param);

// Extract Words: the words of the text in order, duplicates kept, one per
// line with the document's newline sequence, no newline after the last.
int ExtractWords(const char *text, u32 length, ToolDocument *out, ToolParam);
