// Loading a file into the document: Open, Revert, Re-open in another
// encoding, Import, Include (the file's text in place of the selection), and
// the ".LOG" diary.
//
// The file is read with one allocation of its size plus 3, converted in place
// to ANSI, and handed to the store in one insertion; above 256 MiB the text
// waits in a paging-file mapping while the heap buffer is freed, so that the
// heap never holds the file and the store at once.
#pragma once

#include "document/document.h"
#include "files/file_ops.h"

enum OpenFlag : u32 {
  kOpenAsked = 1,            // the unsaved-changes question has been asked
  kOpenInclude = 2,          // the file's text replaces the selection
  kOpenNoRecent = 64,        // not added to the recent files
  kOpenRevert = 256,         // reload the current file
  kOpenRevertChanged = 512,  // ... because it changed on disk
  kOpenReopen = 1024,        // reload the current file in the given encoding
  kOpenCreate = 2048,        // a missing file is created without asking
};
constexpr u32 kDetectEncoding = 5;  // an encoding of 5 or more: detect it
constexpr u32 kLargeText = 268435456;

struct OpenRequest {
  const char *path;  // "" for a new untitled document
  u32 encoding;      // 0..4 forces one
  u32 codePageIndex;
  u32 flags;
};

// Runs the whole Open: questions, the path, recovery, Read file, and naming
// the document. 0 done; 32 cancelled (nothing shown); 48 failed and shown.
// Returns 32 at once while another file operation runs.
[[nodiscard]] int OpenFile(Document *doc, const OpenRequest &request, const FileHooks &hooks);

// Reads, decodes and hands over the text. 0; 96 a missing file was created
// empty; 32 the user declined; or the string id of what went wrong (513,
// 517). *diary is set when the text begins with ".LOG".
[[nodiscard]] int ReadFileIntoDocument(Document *doc, const char *path, u32 encoding, u32 codePageIndex, u32 flags,
                                       const FileHooks &hooks, bool *diary);

// Replaces the whole text: the journals are cleared, the store is made anew,
// the text goes in as one insertion, caret and anchor go to 0, the view is
// told. Nonzero on success (the document is then unmodified); after a
// failure the document counts as modified.
[[nodiscard]] int SetDocumentText(Document *doc, const char *text, u32 length, const FileHooks &hooks);
// The same for a text in a heap buffer of more than 256 MiB: the buffer is
// parked in a paging-file mapping and freed (*buffer becomes null) before the
// store is filled from the mapping. Any failure leaves an empty document.
[[nodiscard]] int SetDocumentTextFromLargeBuffer(Document *doc, char **buffer, u32 length, const FileHooks &hooks);

// Applies a set-encoding request word (files/encoding.h) to the document.
void SetDocumentEncoding(Document *doc, u32 request, u32 codePageIndex);
// The default encoding (Encode, BOM) and newline type (CRLF) of new documents.
void SetDefaultFileState(Document *doc);
