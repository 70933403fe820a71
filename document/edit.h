// Edit primitives: the store layer (insert, delete: blocks, row index and
// range sets) and the one editor-layer operation, Replace selection, through
// which typing, paste, tools, search and replace, undo and redo all change
// the text.
#pragma once

#include "document/document.h"
#include "foundation/char_class.h"

// ---- store layer ---------------------------------------------------------------------
// Positions are clamped to 0 .. length; an insertion position past the end
// (kPositionEnd included) means the end. Every maintained range set is cut
// and shifted: an insertion removes the range at the position (a range ending
// there counts in sets 1, 3, 5, 6, 7, and in sets 0, 2, 4 at the end of the
// document) and shifts the later ones; a deletion removes the ranges it
// reaches (ending at its start or starting at its end included).

// 0 when all was inserted; otherwise the count of bytes not inserted for lack
// of memory (the text is then unchanged: an insertion is all or nothing).
// (-2, "inserted but a range set not updated", cannot happen here: cutting and
// shifting ranges needs no memory.)
[[nodiscard]] int InsertText(TextStore *store, u32 position, const char *bytes, u32 length, u32 flags);
// The same for [from, to) of another store (the same store is copied first).
[[nodiscard]] int InsertRange(TextStore *store, u32 position, const TextStore *source, u32 from, u32 to, u32 flags);
// count copies of one byte, in pieces of at most 1024: after a failure, the
// pieces before it stay inserted and the rest is returned.
[[nodiscard]] int InsertRun(TextStore *store, u32 position, u8 byte, u32 count, u32 flags);
// The case pattern of [from, to) of a store (ClassifyCasePattern over its
// pieces, without a copy): what Match case and Mimic case give a new text.
CaseTransform CasePatternOf(const TextStore *store, u32 from, u32 to);
// Deletes [from, to) (ordered, clamped); returns the bytes deleted. Never fails.
u32 DeleteRange(TextStore *store, u32 from, u32 to, u32 flags);
// The range sets' side alone of an insertion of `length` bytes at `position`
// into a text that was `lengthBefore` long, and of a deletion of [from, to):
// for edits whose bytes the store has already taken.
void RangeSetsOnInsert(TextStore *store, u32 position, u32 length, u32 lengthBefore);
void RangeSetsOnDelete(TextStore *store, u32 from, u32 to);

// ---- Replace selection -------------------------------------------------------------
constexpr u32 kReplaceView1 = 1;                // passed on to the view update
constexpr u32 kReplaceCheckOccurrences = 16;
constexpr u32 kReplaceView32 = 32;
constexpr u32 kReplaceIntoRedo = 4096;          // record in the redo journal (while undoing)
constexpr u32 kReplaceKeepRedo = 8192;          // do not clear the redo journal
constexpr u32 kReplaceCloseBefore = 16384;      // start a new journal step
constexpr u32 kReplaceCloseAfter = 32768;       // close the step afterwards
constexpr u32 kReplaceSelectInserted = 65536;   // select the inserted text
constexpr u32 kReplaceMatchCase = 131072;       // give it the case pattern of the replaced text
constexpr u32 kReplaceCaretAtStart = 262144;    // caret at its start (anchor at its end with 65536)
constexpr u32 kReplaceFromBytes = 524288;       // the source is a byte buffer, not a store
constexpr u32 kReplaceCountTyped = 1048576;     // add to the typed-character counter
constexpr u32 kReplaceSameNewlines = 2097152;   // every CR and LF stays where it is (OverwriteSelectionPieces)

struct ReplaceSource {
  u32 length;               // with kReplaceFromBytes: the bytes
  const char *bytes;
  const TextStore *store;   // otherwise: the whole of this store
  char **pieces;            // with kReplaceFromBytes and bytes null: pieces the store takes (PiecesSource)
  const u32 *pieceLengths;  // and their lengths (null: kBlockSmall each but the last)
};

// Replaces the selection with the source (null: nothing), recording the change
// in the undo journal (or the redo journal). Returns 1 when done, 2 when done
// but re-laying out the rows failed for lack of memory, 0 on failure.
// outCount (may be null) receives 0 once the change is recorded, the number of
// bytes not inserted when the insertion fell short (the deletion then stays
// done and recorded), or -1 when nothing was changed (the document, its
// modified flag and its journals are then as before; this includes an
// insertion into an empty selection that could not be made). An empty source
// with an empty selection changes and records nothing (returns 1).
[[nodiscard]] int ReplaceSelection(Document *doc, const ReplaceSource *source, u32 flags, i32 *outCount);
[[nodiscard]] int ReplaceSelectionString(Document *doc, const char *text, u32 flags, i32 *outCount);
[[nodiscard]] int ReplaceSelectionCounted(Document *doc, const char *bytes, u32 length, u32 flags, i32 *outCount);
[[nodiscard]] int ReplaceSelectionStore(Document *doc, const TextStore *store, u32 flags, i32 *outCount);
// With `length` bytes in pieces that the insertion takes (see PiecesSource;
// lengths null: kBlockSmall each but the last): those it took are set null,
// the rest stay the caller's.
[[nodiscard]] int ReplaceSelectionPieces(Document *doc, char **pieces, u32 length, u32 flags, i32 *outCount,
                                         const u32 *lengths = nullptr);

// Replace selection with as many bytes as are selected, written over the
// selected ones where they lie: no block is made or freed and every row keeps
// its place, so a whole-text case change costs a copy, not an insertion and a
// deletion. Recorded, laid out, repainted and reported as Replace selection
// does it, with the same flags. It applies only when no newline changes
// (every CR and LF stays and no byte becomes one): otherwise it changes
// nothing and returns -2. 1 when done, 2 when done but re-laying out the rows
// failed for lack of memory, 0 when memory ran out (nothing changed).
[[nodiscard]] int OverwriteSelection(Document *doc, const char *bytes, u32 flags);
// The same with as many bytes in pieces (lengths null: kBlockSmall each but
// the last), which take the old bytes' place in the blocks: the old blocks
// go to the step as they are, the row index stays, nothing is copied, and
// the step is undone the same way. For a long selection only (else -2, as
// when a newline would change; with kReplaceSameNewlines the caller knows
// none does and the bytes are not compared). The pieces are taken as
// ReplaceSelectionPieces takes them. 1, 2 or 0 as OverwriteSelection.
[[nodiscard]] int OverwriteSelectionPieces(Document *doc, char **pieces, const u32 *lengths, u32 length, u32 flags);

// Sets the selection (anchor, caret), both clamped to the text.
void SetSelection(Document *doc, u32 anchor, u32 caret);
