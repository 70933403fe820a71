// One search request over a document: the loop that finds, selects to,
// highlights, replaces or runs the Last Tool on occurrences, and the
// replace-pattern language.
//
// The loop reads the document and never changes it: selections, edits and
// the Last Tool go through the host (the editor window's messages, on its
// own thread). Replace all and highlight all hand their occurrences over in
// batches (batch_edit.h); the loop goes on searching the text as it was
// behind the edits not yet handed over, and hands them over first whenever
// the next match could depend on them (the text before a match, for \b, ^,
// look-behinds and \G, or a newline joined across an edit), so that the
// result is that of replacing one occurrence after another.
#pragma once

#include "document/batch_edit.h"
#include "document/long_operation.h"
#include "foundation/byte_buffer.h"
#include "foundation/random.h"
#include "search/matcher.h"

// Request flags (one word per request).
enum SearchRequestFlag : u32 {
  kSearchFromStart = 0x0001,   // from the document's start (end, backwards)
  kSearchBackward = 0x0002,
  kSearchSelectTo = 0x0004,
  kSearchNoRepeat = 0x0008,    // with 0x0001: the pass after wrapping around
  kSearchReplace = 0x0010,
  kSearchReplaceAll = 0x0040,
  kSearchLastTool = 0x0100,
  kSearchLastToolAll = 0x0400,
  kSearchHighlight = 0x1000,
  kSearchSecondary = 0x2000,
  kSearchInline = 0x4000,
  kSearchMimic = 0x8000,
};

// Results of the loop besides a count of occurrences.
constexpr int kSearchToolFailed = -5;
constexpr int kSearchAskCancelled = -4;
constexpr int kSearchReplaceError = -3;
constexpr int kSearchEditFailed = -2;
constexpr int kSearchNoMemory = -1;

// Results of ExpandReplacement.
constexpr int kExpandDone = 0;
constexpr int kExpandSkip = 1;        // an undefined back-reference, and such occurrences are skipped
constexpr int kExpandNoMemory = -1;
constexpr int kExpandError = -3;
constexpr int kExpandUndefined = -4;  // an undefined back-reference: ask

// The replacement for one occurrence: cp->replace with its escapes (all of
// them with RegExps, \0 \\ \n \t with Escapes only, none otherwise),
// appended to out. newline: the document's newline sequence. *constant
// (may be null) tells whether the result is the same for every occurrence.
[[nodiscard]] int ExpandReplacement(const CompiledPattern *cp, const TextStore *store, const MatchGroups &groups,
                                    const char *newline, u32 occurrence, ByteBuffer *out, bool *constant);

// The newline sequence of a document's newline type (Mixed: CR LF).
const char *NewlineSequence(u32 newlineType);

// What the loop asks of the window.
struct SearchHost {
  void *context;
  // Selects [anchor, caret], bringing it into view when asked.
  void (*select)(void *context, u32 anchor, u32 caret, bool scroll);
  // Applies a batch of edits or highlight ranges: 0, or its failure.
  int (*edit)(void *context, const EditBatch *batch);
  // Runs the Last Tool on the selection; 0 done (*end: where its result
  // ends), nonzero failed or cancelled. Null: there is no Last Tool.
  int (*lastTool)(void *context, u32 *end);
};

struct SearchRun {
  const Document *doc;  // read only
  CompiledPattern *cp;  // compiled, its replace text filled in
  u32 request;          // SearchRequestFlag
  SearchHost host;
  LongOperation *op;    // its cancel counter stops the loop (may be null)
  // Out: for a single replace or Last Tool, whether a next occurrence was
  // found and selected.
  bool foundNext;
};

// Replacing or highlighting every occurrence of a literal on a long text,
// the loop finds them ahead a stretch at a time, the stretch's two halves at
// once: from minBytes of text left, halves of `half` bytes to begin with (then
// as many as `most` occurrences a half projects to), at most `most`
// occurrences a half. Tests make them small.
struct SearchAheadLimits {
  u32 minBytes;
  u32 half;
  u32 most;
};
extern SearchAheadLimits g_searchAhead;

// Runs the request: the number of occurrences handled (0: none found), or
// one of the negative results above.
int RunSearchLoop(SearchRun *run);
