// The Document: one per editor window. Its text store (text, row index, the
// eight range sets), its undo and redo journals, its file state, the anchor
// and caret, and the record of callbacks through which it reports upwards.
//
// The engine never talks to windows: everything the editor window has to
// hear about (changes, memory failures, progress, status texts, re-layout and
// repaint requests) goes through DocumentEvents. The editor window turns the
// notifications into WM_COMMAND codes for its parent (EN_CHANGE, EN_UPDATE and
// EN_ERRSPACE as windows.h defines them, the last one after MessageBeep(0)).
//
// Ownership: CreateDocument allocates the record and everything in it;
// DestroyDocument frees it all.
#pragma once

#include "document/journal.h"
#include "document/text_store.h"
#include "foundation/texts.h"

struct Document;

// A place in the text seen three ways at once: position, row and column,
// hard line and offset (position.h computes it).
struct PositionRecord {
  u32 wantedColumn;      // the column asked for; kNoColumn: none
  u32 row;
  u32 column;            // the wanted column clamped to the row's text
  u32 effectiveColumn;   // column, or column + 1 between the CR and LF of the row's newline
  u32 position;          // row start + effective column
  u32 hardLine;
  u32 offsetInHardLine;  // position - start of the hard line's first row
  u32 hardLineLength;    // the hard line's first row start to its last row's text end
  u32 rowLength;         // text length of the row
  u32 firstRow;          // first and last rows of the hard line
  u32 lastRow;
};
static_assert(sizeof(PositionRecord) == 44, "a position record is eleven words");
constexpr u32 kNoColumn = 0xFFFFFFFFu;

// What a Document reports upwards.
enum DocumentNotification : u32 {
  kNotifyChange,      // the text changed (EN_CHANGE)
  kNotifyUpdate,      // the view is about to show the change (EN_UPDATE)
  kNotifyOutOfMemory, // a change failed or fell short for lack of memory (EN_ERRSPACE)
};

struct DocumentEvents {
  void *context;
  void (*notify)(void *context, Document *doc, DocumentNotification what);
  // A status-bar text of a long change ("Replacing..").
  void (*status)(void *context, Document *doc, TextSlot text);
  // Re-lays out the rows of the hard lines from the one of firstRow to the
  // one holding lastPosition (word wrap, over-long lines); 0, or -1 when
  // memory ran out.
  int (*relayout)(void *context, Document *doc, u32 firstRow, u32 lastPosition);
  // Repaints rows firstRow to lastRow, or from firstRow to the end of the view;
  // viewFlags are the edit's flags 1 and 32.
  void (*repaint)(void *context, Document *doc, u32 firstRow, u32 lastRow, bool toEnd, u32 viewFlags);
  // Re-checks the highlighting of occurrences of the selection (edit flag 16).
  void (*checkOccurrences)(void *context, Document *doc);
  // Undo or redo brought the document back to its saved state.
  void (*savedStateReached)(void *context, Document *doc);
};

struct Document {
  TextStore store;
  Journal undo;
  Journal redo;
  u32 wordWrap;        // nonzero: rows are wrapped
  u32 overwriteMode;   // nonzero: typing replaces characters
  u32 newlineType;     // 0 Win (CR LF), 1 Unix (LF), 2 Mac (CR), 3 Mixed
  u32 encoding;        // 0 ANSI, 1 UTF-8, 2 Unicode, 3 Unicode Big Endian, 4 other code page
  u8 bomWanted;
  u8 bomInEffect;
  u8 encodingFlags;    // the top byte of the last set-encoding request
  u8 reserved;
  u32 codePageIndex;   // into the installed code pages, for encoding 4
  char filePath[kPathChars];   // empty for an untitled document
  char fileTitle[kPathChars];
  u32 modified;                // since the last save or load
  u32 modifiedSinceAutoSave;
  PositionRecord anchor;
  PositionRecord caret;
  PositionRecord *selStart;    // the anchor or the caret, whichever comes first
  PositionRecord *selEnd;
  u32 typedCount;              // characters typed ("Trip" in the Info dialog)
  DocumentEvents events;
};

// A zeroed Document with a store (block hint 64, row hint 512), all eight
// range sets maintained, both journals (8 steps each), the caret and anchor at
// position 0. Null when memory ran out (nothing is left allocated).
[[nodiscard]] Document *CreateDocument();
void DestroyDocument(Document *doc);

// Builds a fresh store with the given hints and puts it in place of the old
// one (freed), keeping the maintained flags and the progress sink; when the
// fresh store cannot be built, all text is deleted and it is tried once more.
// The caret and anchor go to position 0. 0, or -1 when out of memory (the
// old store is then kept, emptied).
[[nodiscard]] int ResetStore(Document *doc, u32 blockHint, u32 rowHint);

// What the Info dialog shows.
struct DocumentStatistics {
  StoreMemory memory;
  u32 length;
  u32 rows;
  u32 hardLines;
  u32 undoSteps, redoSteps;
  u64 undoIndexBytes, redoIndexBytes;  // step arrays and compact text indexes
  u64 undoTextBytes, redoTextBytes;    // compact text buffers
};
void DocumentStatisticsOf(const Document *doc, DocumentStatistics *out);

// Empties range sets 0, 1 and 2 (the Info dialog's "&Compact"); their owners
// refill them when needed.
void CompactCaches(Document *doc);
