// Loading a large file that needs no conversion without a copy of it: a
// first pass through a small buffer detects the encoding and the newlines
// and counts the rows; a second appends the file to the store piece by
// piece into tables made at their full size. Peak memory is the document
// plus one piece; no block of the file's size is ever needed.
#pragma once

#include "document/document.h"
#include "files/encoding.h"
#include "files/file_ops.h"

// Files of this size and more take the streamed route when they can (a
// variable so that tests can stream small files).
extern u32 g_streamLoadMinimum;

constexpr int kNotStreamed = 1;
// Loads that took the streamed route so far (for tests).
extern u32 g_streamedLoads;

struct StreamScan {
  u32 id;               // the encoding the file is read in (ANSI or UTF-8 without a multi-byte character)
  u32 rows;             // the rows the text adds to an empty document
  NewlineScan newlines;
  bool diary;           // the text begins with ".LOG"
};

// The first pass over the file's `size` bytes: 0 with *out filled when the
// file can be streamed, kNotStreamed when it needs the whole-buffer route
// (a byte-order mark, characters to convert, the UTF-16 test, a read
// error, which that route then reports). forcedId 0..4 or -1 (detect).
[[nodiscard]] int ScanForStreaming(const char *path, u32 size, int forcedId, const DetectOptions &options,
                                   u32 defaultNewlines, bool noMixedNewlines, const FileHooks &hooks, StreamScan *out);

// The second pass: an empty store (made beside the document, which stays
// as it is until the load succeeds) filled piece by piece. 0, or 513 / 517
// with the store partly filled (the caller frees it).
[[nodiscard]] int StreamIntoStore(TextStore *store, const char *path, u32 size, u32 rows, const FileHooks &hooks);

// Tells the view that the whole text changed (relayout, repaint, EN_CHANGE).
void AnnounceText(Document *doc);
