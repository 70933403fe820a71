// Saving the document: Save, Save As, Export (another encoding), Exclude (the
// selection into a file), and the question about unsaved changes.
//
// The file is written beside its old self and replaces it in one step (see
// foundation/safe_writer.h): a failure at any point leaves the old file on
// disk exactly as it was and the document modified.
#pragma once

#include "document/document.h"
#include "files/file_ops.h"
#include "foundation/safe_writer.h"

enum SaveFlag : u32 {
  kSaveSelection = 4,     // only the selection (Exclude)
  kSaveRecovery = 8,      // a recovery file: hidden when ASHid is on
  kSaveNoQuestion = 16,   // no question about characters without an equivalent
  kSaveNoBackup = 32,
  kSaveNoRecent = 64,
  kSaveNoFlush = 128,
};
constexpr u32 kDocumentEncoding = 5;  // an encoding of 5 or more: the document's

// The record of EDM_WRITETEXT: what to write and how.
struct WriteTextRequest {
  u32 flags;     // kSaveSelection: only the selection; kSaveNoQuestion
  u32 encoding;  // 0 to 4, or kDocumentEncoding and above: the document's (with its mark)
  u32 codePageIndex;
};

// Writes the text (or the selection) with the document's newline type in an
// encoding to `out`, or with no output only converts it (to learn whether
// every character has an equivalent): streamed a megabyte at a time for ANSI
// and, with a single-byte ANSI code page, UTF-8; else converted whole first.
// The phase is "Writing.." with an output, "Converting.." without. 0, 32
// (declined), 513, 523 or 524 (the save's codes).
[[nodiscard]] int WriteDocumentText(const Document *doc, SafeWriter *out, const WriteTextRequest &request,
                                    const FileHooks &hooks);

// Writes the document (or its selection) to path. 0; 944 saved, but as UTF-16
// without a byte-order mark; 32 cancelled; 513, 523 or 524 failed (nothing
// shown yet).
[[nodiscard]] int SaveFile(Document *doc, const char *path, u32 encoding, u32 codePageIndex, u32 flags,
                           const FileHooks &hooks);

// Saves under a name (asked for when path is null or empty), reports a
// failure, and on success names the document after the file (unless Exclude,
// which deletes the selection instead). 0, 32, or 48 (failed and shown).
[[nodiscard]] int SaveAs(Document *doc, const char *path, u32 encoding, u32 codePageIndex, u32 flags,
                         const FileHooks &hooks);

// Before New, Open and Close: "Save current changes to %s?". 0 go on; 32 the
// user cancelled; 48 the save failed (shown).
[[nodiscard]] int AskToSaveChanges(Document *doc, const FileHooks &hooks);

// A document that was saved or is not to be asked about again (after handing
// over to another window that has the file open).
void SetCloseWithoutAsking(bool on);
