// The tool runner: every text tool (the Case, Lines, Text, Reverse, Sort and
// Wrap menus, and the external filters) runs through RunTool.
//
// A tool is described by a ToolDescriptor: one transform function of five
// kinds, its parameter, and flags that say how the input is taken and how the
// result goes back. The runner decides the input range (the selection, or a
// unit around the caret chosen automatically), hands a copy of the text to the
// function (on the worker thread or inline), and replaces the selection with
// the result as one undo step. The document changes only there, on the
// caller's thread; a failure, a cancel or a tool's own error leaves it as it
// was.
//
// The runner is engine code: what it needs of the window (the status text,
// the worker's wait window, showing the new selection, a preview window)
// comes through a ToolHost, so that tests run it natively.
#pragma once

#include "document/document.h"
#include "document/long_operation.h"
#include "foundation/helper_thread.h"
#include "foundation/types.h"

// The private text a document tool works on: a copy of the selection (or a
// text a tool builds), with newlines as they were read. Its lines are what
// lies between the newlines (CR LF, a lone CR, a lone LF); an empty text is
// one empty line. The buffer belongs to the record (foundation allocator).
struct ToolDocument {
  char *text;
  u32 length;
  u32 capacity;
};

void ToolDocumentFree(ToolDocument *doc);
// Room for `bytes` bytes in all (the text kept). Sizes are 64-bit so that a
// result that would pass what a document can hold is refused, not wrapped.
// 0, or -1 with the record unchanged.
[[nodiscard]] int ToolDocumentReserve(ToolDocument *doc, u64 bytes);
// Appends bytes (growing the buffer by half again when it must). 0 or -1.
[[nodiscard]] int ToolDocumentAppend(ToolDocument *doc, const char *bytes, u32 n);
// Puts `other`'s text in place of doc's (doc's buffer freed, other emptied).
void ToolDocumentTake(ToolDocument *doc, ToolDocument *other);

// The parameter of a tool: a pointer to its settings record, or a small
// integer mode.
using ToolParam = uintptr_t;

// Tool flags.
enum ToolFlag : u32 {
  kToolEmptyOk = 0x0001,          // runs on an empty selection (no automatic selection)
  kToolAtOnce = 0x0002,           // runs at once on a non-empty selection
  kToolWholeDocument = 0x0004,    // the input is the whole text; no automatic selection, no pull-back
  kToolNoInput = 0x0008,          // takes no input text
  kToolNoPullBack = 0x0010,       // the selection's end is not pulled back
  kToolNoPullBackAll = 0x0020,    // nor when the selection covers the whole text
  kToolPreview = 0x0040,          // at most kToolPreviewChars of input
  kToolEmptyLine = 0x0080,        // an empty selection gives the input one empty line
  kToolReadOnly = 0x0100,         // nothing is put back
  kToolNoPersistent = 0x0200,     // Persistent selection does not apply
  kToolNoKeepView = 0x0400,       // Do not scroll to the results does not apply
  kToolNeverInline = 0x0800,      // on the worker even when tools run without a thread (a child process)
  kToolWorker = 0x1000,           // may run on the worker thread
  kToolWaitAtOnce = 0x2000,       // the wait window shows at once
  kToolCounted = 0x4000,          // the wait window shows a running count
  kToolReadsInput = 0x8000,       // reads its input from the document, leaves its result in pieces (below)
  kToolDocumentDefault = 0x5000,  // the flags of a tool that works on a copy or builds a text
};
constexpr u32 kToolPreviewChars = 8192;
// The input's newline mode that puts the document's newline sequence at
// every wrap point (CR LF in a mixed document) and keeps the stored ones.
constexpr u32 kToolSoftNewlines = 0x80000000u;

// Replace flags the caller may add to a tool's put-back: keep the selection
// over the new text with its direction (Indent, Quote, Close).
constexpr u32 kToolKeepSelection = 0x10000000;

struct ToolDescriptor {
  // Exactly one of the five, or none (the text goes out and back unchanged,
  // with newlines as newlineMode writes them: Commit Wrapping).
  int (*transformInPlace)(char *text, u32 length);
  int (*transformInPlaceWithParam)(char *text, u32 length, ToolParam param);
  int (*buildFromText)(const char *text, u32 length, ToolDocument *out, ToolParam param);
  int (*transformDocument)(ToolDocument *doc, ToolParam param);
  int (*buildFromDocument)(const ToolDocument *in, ToolDocument *out, ToolParam param);
  u32 flags;
  u32 newlineMode;   // the read flags of the input's newlines (0: as stored), or kToolSoftNewlines
  u32 replaceFlags;  // added to the put-back's flags (kToolKeepSelection among them)
  ToolParam param;
  // The result: 0 done, 32 cancelled, 48 failed quietly, 80 nothing to
  // change, kToolMessageText (the text below), a string id, or -1 (out of
  // memory).
  int result;
  // With kToolMessageText: the message the tool leaves, shown by the runner.
  char message[1024];
  WindowRef target;  // when set, the result becomes this window's text (a preview)
  // When set, and marked by the tool, the part of the result that is
  // selected after the put-back (else the whole result).
  struct ToolResultSelection *resultSelection;
  // When set: called on the caller's thread after the function succeeded,
  // before anything goes back, with the result (null for the in-place kinds);
  // it may ask and show what it must. Its result replaces the function's:
  // 0 puts the result back, 80 leaves the document as it is, anything else
  // is a failure as the function's would be.
  int (*afterRun)(ToolDocument *result, ToolParam param);
};

// The part of its result a tool asks to have selected (offsets into it).
struct ToolResultSelection {
  bool set;
  u32 from, to;
};

// The result of a tool that leaves its message as text in the descriptor.
constexpr int kToolMessageText = 112;

// What the runner needs of the window.
struct ToolHost {
  void *context;
  WindowRef owner;  // of the questions and messages
  // The status bar's text (null: cleared).
  void (*status)(void *context, const char *text);
  // Runs the operation: on the worker with the wait window, or inline with
  // kRunInline; the job's result, or -1 when no thread could be made.
  int (*runLong)(void *context, LongOperation *op, u32 runFlags);
  // The document's selection changed (an automatic selection, the put-back):
  // show it; kReplaceView1 in `flags`: do not scroll to it.
  void (*selectionShown)(void *context, u32 flags);
  // A preview: the text becomes the target window's. 0, or a result code.
  int (*setTargetText)(void *context, WindowRef target, const char *text, u32 length);
  // A message the tool left (a string id or text) shown to the user.
  void (*message)(void *context, const char *text);
};

// Settings the runner reads at each run.
struct ToolRunSettings {
  int autoSelect;    // TASel: 0 ask, 1 word, 2 line, 3 paragraph, 4 all (other values: 2)
  int noThread;      // TNoThrd
  int persistent;    // TPerSel
  int noScroll;      // TPerScr
};

// Runs the tool on the document; the result code is also left in tool->result.
int RunTool(Document *doc, ToolDescriptor *tool, const ToolHost &host, const ToolRunSettings &settings);

// For the tool functions, while they run: whether the run is cancelled (they
// stop at once and return 0; the runner sees the flag) and their progress
// (counted in lines).
bool ToolCancelled();
void ToolProgress(u32 units);
// The document's newline sequence (CR LF, LF or CR by its newline type; CR LF
// for a mixed document), for tools that write newlines of their own.
const char *ToolNewline();
// A result in pieces that the document takes as its blocks, rather than a
// text it copies: each piece holds kBlockSmall bytes but the last (see
// PiecesSource). A large result is then made once, in memory the document
// keeps, and two halves of one made at once need not be joined.
struct ToolPieces {
  char **piece;
  u32 count, capacity;
  u32 length;
  // Null, or each piece's length (a block's, 1 to kBlockLarge, in a buffer
  // of a block's size): pieces handed over by a store (ToolPiecesOfStore),
  // to which nothing is appended.
  u32 *lengths;
  // Set by a tool that changed no CR or LF and kept the length: then the
  // result takes the old text's place with no comparing.
  u32 sameNewlines;
};
void ToolPiecesFree(ToolPieces *pieces);
// The whole text of a store as pieces: its blocks, handed over as they are
// (the store keeps no bytes; it is freed as ever). 0, or -1 out of memory
// with the store as it was.
[[nodiscard]] int ToolPiecesOfStore(TextStore *store, ToolPieces *pieces);
// Appends bytes, filling the last piece, then new ones. 0, or -1 (out of
// memory, or past what a document holds) with the bytes not appended.
[[nodiscard]] int ToolPiecesAppend(ToolPieces *pieces, const char *bytes, u32 n);
// The input of a tool with kToolReadsInput, which the runner does not copy:
// the range and the newline mode it would have been read with. The document
// does not change while the tool runs, and may be read from two threads.
struct ToolInput {
  const TextStore *store;
  u32 from, to;
  u32 newlineMode;
};
// Null outside a run of such a tool.
const ToolInput *ToolInputRange();
// Reads [from, to) of the input, with its newline mode, into the buffer (its
// length; a zero after it). 0 or -1 (out of memory).
[[nodiscard]] int ToolInputRead(const ToolInput *input, u32 from, u32 to, ToolDocument *buffer);
// The start of the line after the one that holds p; at most the input's end.
u32 ToolInputNextLine(const ToolInput *input, u32 p);
// A tool that reads the document takes g_toolInputChunk bytes of whole lines
// at a time (a longer line whole); one whose lines do not depend on each
// other cuts an input of g_toolHalves bytes or more in two halves worked at
// once (tests lower both).
extern u32 g_toolInputChunk;
extern u32 g_toolHalves;
// Where such a tool cuts its input: the start of the line after the middle;
// the input's end when the input is shorter than g_toolHalves or no line
// starts after the middle.
u32 ToolInputCut(const ToolInput *input);
// Reads [from, to) of the input a chunk at a time into *chunk and calls
// fn(text, length, atEnd) for each, the text in the chunk's buffer (atEnd:
// the chunk ends at `to`); the
// first nonzero result fn gives, or -1 when memory ran out.
template <class F>
int ForEachInputChunk(const ToolInput *input, u32 from, u32 to, ToolDocument *chunk, F &&fn) {
  const u32 size = g_toolInputChunk ? g_toolInputChunk : 1;
  for (u32 pos = from;;) {
    const u32 end = to - pos > size ? ToolInputNextLine(input, pos + size - 1) : to;
    if (ToolInputRead(input, pos, end, chunk) != 0) return kResultOutOfMemory;
    const int r = fn(chunk->text, chunk->length, end >= to);
    if (r || end >= to) return r;
    pos = end;
  }
}

// Where a build tool may write its result in pieces: two parts, which follow
// `out` in order as one text; and where a tool with kToolReadsInput that
// rewrites its private text writes it instead (the text left empty). Null
// outside a run of such tools.
ToolPieces *ToolResultPieces();

// The result of work done in two halves: out of memory when either ran out,
// else the first half's result when not 0, else the second's.
inline int HalvesResult(int first, int second) {
  return first == kResultOutOfMemory || second == kResultOutOfMemory ? kResultOutOfMemory : first ? first : second;
}

// For a tool that changes each byte (or double-byte character) alone, the
// length staying: the input read a chunk of whole lines at a time, in two
// halves at once, each chunk changed where it was read by map(text, length)
// and added to its half's part of the result's pieces (marked sameNewlines
// when the map never makes, moves or changes a CR or LF). 0,
// kResultCancelled, or -1 (out of memory).
template <class Map>
int MapInputToPieces(const ToolInput *input, ToolPieces *pieces, Map map, bool sameNewlines) {
  pieces[0].sameNewlines = pieces[1].sameNewlines = sameNewlines;
  struct Half {
    const ToolInput *input;
    u32 from, to;
    ToolPieces *pieces;
    Map *map;
    int result;
    static u32 Run(void *context) {
      Half *h = static_cast<Half *>(context);
      ToolDocument chunk = {};
      h->result = ForEachInputChunk(h->input, h->from, h->to, &chunk, [&](const char *, u32 length, bool) -> int {
        (*h->map)(chunk.text, length);
        if (ToolPiecesAppend(h->pieces, chunk.text, length) != 0) return kResultOutOfMemory;
        return ToolCancelled() ? kResultCancelled : 0;
      });
      ToolDocumentFree(&chunk);
      return 0;
    }
  };
  const u32 cut = ToolInputCut(input);
  Half half[2] = {{input, input->from, cut, &pieces[0], &map, 0}, {input, cut, input->to, &pieces[1], &map, 0}};
  RunBeside(Half::Run, &half[0], cut < input->to ? &half[1] : nullptr);
  return HalvesResult(half[0].result, half[1].result);
}
