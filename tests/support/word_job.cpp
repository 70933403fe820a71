#include "tests/support/word_job.h"

#include <string.h>

#include "foundation/memory.h"

namespace {

constexpr u32 kPiece = 65536;

int Send(void *context, const EditBatch *batch) {
  WordJob *job = static_cast<WordJob *>(context);
  const int r = job->send(job->context, batch);
  if (r == 0) {
    job->replaced += batch->count;
    job->batches++;
  }
  return r;
}

}  // namespace

int RunWordJob(LongOperation *op) {
  WordJob *job = static_cast<WordJob *>(op->context);
  const u32 wl = static_cast<u32>(strlen(job->word)), rl = static_cast<u32>(strlen(job->replacement));
  if (wl == 0 || wl > kPiece) return 0;
  char *piece = static_cast<char *>(Allocate(kPiece));
  if (!piece) return kResultOutOfMemory;
  EditBatcher b;
  (void)BatcherInit(&b, 0, Send, job);
  const u32 length = job->doc->store.length;
  int r = 0;
  for (u32 p = 0; p + wl <= length && r == 0;) {
    if (LongOperationCancelled(op)) {
      r = kResultCancelled;
      break;
    }
    const u32 n = length - p < kPiece ? length - p : kPiece;
    const u32 at = static_cast<u32>(p + b.shift);
    ReadText(&job->doc->store, at, at + n, piece, kPiece, 0, nullptr);
    u32 i = 0;
    while (i + wl <= n && r == 0) {
      const char *hit = static_cast<const char *>(memchr(piece + i, job->word[0], n - wl + 1 - i));
      if (!hit) {
        i = n - wl + 1;
        break;
      }
      i = static_cast<u32>(hit - piece);
      if (memcmp(hit, job->word, wl) == 0) {
        r = BatcherAdd(&b, p + i, p + i + wl, job->replacement, rl);
        i += wl;
      } else {
        i++;
      }
    }
    p += n < kPiece ? n : i;
  }
  // A cancelled job hands over nothing more: Cancel takes effect at once.
  if (r == 0) r = BatcherFlush(&b);
  BatcherFree(&b);
  Free(piece);
  return r;
}

size_t ScanAndCopyWords(const char *in, size_t n, const char *word, const char *replacement, char *out, size_t *count) {
  const size_t wl = strlen(word), rl = strlen(replacement);
  const char *p = in, *end = in + n;
  char *o = out;
  *count = 0;
  while (wl && static_cast<size_t>(end - p) >= wl) {
    const char *hit = static_cast<const char *>(memchr(p, word[0], static_cast<size_t>(end - p) - wl + 1));
    if (!hit) break;
    memcpy(o, p, static_cast<size_t>(hit - p));
    o += hit - p;
    if (memcmp(hit, word, wl) == 0) {
      memcpy(o, replacement, rl);
      o += rl;
      p = hit + wl;
      ++*count;
    } else {
      *o++ = *hit;
      p = hit + 1;
    }
  }
  memcpy(o, p, static_cast<size_t>(end - p));
  return static_cast<size_t>(o + (end - p) - out);
}
