// Batches of edits: many replacements (or highlight ranges) handed over at
// once. A replace-all finds its matches on a worker thread; sending each one
// to the GUI thread would cost a cross-thread message per match, so the
// worker collects them and hands over batches of up to 65,536 edits or
// 4 MiB of new text, which the GUI thread applies in one pass over the
// store, as one undo step, all or nothing. The result equals applying the
// edits one by one from the last to the first.
//
// Ownership: a batch borrows its arrays from the sender. Failure: an
// allocation failure leaves the document (text, journals, modified flags)
// exactly as it was and reports EN_ERRSPACE.
#pragma once

#include "document/document.h"

// One edit: [from, to) becomes `length` bytes of the batch's text at
// `offset`. For a highlight batch, [from, to) is a range and `offset` its
// payload.
struct BatchRequest {
  u32 from, to;
  u32 offset, length;
};

// The record of EDM_EDIT: edits (target 0) or ranges for highlight set 5
// or 6, ascending and not overlapping (an edit may end where the next begins).
struct EditBatch {
  u32 target;
  u32 count;
  const BatchRequest *edits;
  const char *text;
  u32 textLength;
  u32 flags;  // kBatchSameDeleted: what the sender knows
};

// What the sender of a batch (or an undo) knows, so that the batch need not
// read the text to find it out: every edit deletes the same bytes (the
// lengths are still compared).
constexpr u32 kBatchSameDeleted = 1u << 22;

constexpr u32 kBatchMaxEdits = 65536;
constexpr u32 kBatchMaxText = 4194304;
// Returned for a batch that is not ascending, overlaps, lies outside the text
// or the text buffer, or breaks the limits: nothing is changed.
constexpr int kBatchRejected = -2;

// Applies edits whose new bytes come from `text` (a buffer, or a store such
// as an undo step's text), recording one batch step in the undo journal (or
// the redo journal with kReplaceIntoRedo; the redo journal is cleared unless
// kReplaceIntoRedo or kReplaceKeepRedo). The caret ends after the last
// edit's new text. 0, -1 out of memory, or kBatchRejected.
[[nodiscard]] int ApplyBatch(Document *doc, const BatchRequest *edits, u32 count, const ByteSource &text, u32 flags);
// Frees the buffer that batches keep from one to the next (a long operation
// and an undo release it when they end).
void ReleaseBatchScratch();
// EDM_EDIT: an EditBatch (edits, or ranges added to set 5 or 6).
[[nodiscard]] int ApplyEditBatch(Document *doc, const EditBatch *batch);

// The worker's side: collects edits and sends a batch when one is full or
// flushed. Positions are those of the text as the worker reads it; the
// batcher tells how far the edits sent so far have moved the text behind them
// (`shift`), so that the worker can go on reading at the right place.
struct EditBatcher {
  int (*send)(void *context, const EditBatch *batch);  // 0, or the failure that ends the job
  void *context;
  u32 target;
  BatchRequest *edits;
  u32 count, editCapacity;
  char *text;
  u32 textLength, textCapacity;
  i64 shift;  // (inserted - deleted) of every edit sent so far
  u32 sends;  // batches sent so far: the text the worker reads changed with each
  u64 deletedKey;  // what every edit of the batch deletes, when all alike (else kNoDeletedKey)
};
// The bytes an edit deletes, up to 7 of them, with their count in the top
// byte: the key that tells the batch they are all alike.
constexpr u64 kNoDeletedKey = ~0ull;
// Sets the batcher up (its buffers grow as edits come). 0.
[[nodiscard]] int BatcherInit(EditBatcher *b, u32 target, int (*send)(void *, const EditBatch *), void *context);
void BatcherFree(EditBatcher *b);
// Adds an edit at positions of the text as it was before the first batch
// was sent (the batcher moves it by `shift`). Sends the batch first when the
// edit would not fit. deletedKey: the key of the bytes it deletes, when the
// caller has them; asBefore: it inserts the same bytes as the edit added
// before it (which it then shares). 0, -1 out of memory, or the failure of a
// send.
[[nodiscard]] int BatcherAdd(EditBatcher *b, u32 from, u32 to, const char *bytes, u32 n,
                             u64 deletedKey = kNoDeletedKey, bool asBefore = false);
[[nodiscard]] int BatcherFlush(EditBatcher *b);
