// A replace-all in miniature for the tests and the benchmarks of long
// operations: every occurrence of a word becomes another, found by a plain
// scan of the document and handed over in batches (EditBatcher), checking
// the cancel counter every 64 KiB.
#pragma once

#include "document/batch_edit.h"
#include "document/long_operation.h"

struct WordJob {
  const Document *doc;  // read only: the changes go through `send`
  const char *word;
  const char *replacement;
  int (*send)(void *context, const EditBatch *batch);
  void *context;
  u32 replaced;  // edits handed over
  u32 batches;
};

// The baseline of the benchmarks: the same replacement by a plain scan that
// copies the text with the replacements into `out` (sized by the caller:
// enough for the result). Returns the bytes written; *count the replacements.
size_t ScanAndCopyWords(const char *in, size_t n, const char *word, const char *replacement, char *out, size_t *count);

// The job (op->context is the WordJob): 0 done, 32 cancelled (the batches
// handed over stay; the edits collected since are dropped), -1 out of
// memory, or a failed batch's code.
int RunWordJob(LongOperation *op);
