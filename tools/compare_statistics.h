// The two read-only tools of the Text menu: Statistics counts a text in one
// pass, Compare finds where two texts start to differ. Neither changes
// anything.
//
// Characters are those of the ANSI code page: on a double-byte code page a
// lead byte and the byte after it (unless that is a CR or an LF, or the text
// ends) are one character, a word character and a letter, never a space and
// never upper-case.
#pragma once

#include "tools/tool_runner.h"

// The counts, in the order the Statistics dialog shows them.
enum TextStatistic : int {
  kStatCharacters,        // every character, a CR LF counting 2
  kStatWithoutSpaces,     // characters not of the space type
  kStatLettersDigits,     // characters of the alpha or digit type
  kStatWords,             // runs of word characters
  kStatLines,             // newlines, and one for a last line without one (0 for an empty text)
  kStatNonEmptyLines,     // lines with a character that is not a space
  kStatParagraphs,        // non-space characters after two newlines, or the first one
  kStatSentences,         // . ? ! after a first word that began upper-case
  kStatAverageLine,       // of the non-empty lines' lengths (to their last non-space), whole division
  kStatShortestLine,      // of the non-empty lines; 0 when there is none
  kStatLongestLine,
  kStatCount
};

struct TextStatistics {
  u32 count[kStatCount];
};

// Counts text[0, length) into *s (cleared first). Always 0.
int CountTextStatistics(const char *text, u32 length, TextStatistics *s);
// The tool function (read-only, in place kind): param is a TextStatistics
// to fill. Polls the cancel flag and reports progress in lines.
int StatisticsTool(char *text, u32 length, ToolParam param);

struct CompareOptions {
  int ignoreCase;      // CmpIC: single-byte characters compared lowered (the lowercase table)
  int ignoreSpaces;    // CmpIS: space-type characters other than CR and LF are skipped
  int ignoreNewlines;  // CmpIN: every CR and LF is skipped
};

// Walks both texts together, skipping what the options ignore on each side.
// True when they end together (ignored characters left at one text's end
// count as nothing); false when they differ, with *at1 and *at2 the offsets
// of the first characters that differ (a text's length where it ran out).
bool CompareTexts(const char *a, u32 na, const char *b, u32 nb, const CompareOptions &options, u32 *at1, u32 *at2);
