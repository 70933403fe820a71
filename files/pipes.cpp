#include "files/pipes.h"

#include "document/edit.h"
#include "files/encoding.h"
#include "foundation/bytes.h"
#include "foundation/memory.h"

namespace {

constexpr u32 kPipeBlock = 4096;
constexpr u32 kPieceBytes = 1048576;

bool Cancelled(const PipeControl &c) { return (c.cancel && *c.cancel) || (c.errors && *c.errors); }

void CountError(const PipeControl &c) {
  if (c.errors) ++*c.errors;
}


// 1 when the last byte of p[0, n) is the lead byte of a two-byte character
// of the ANSI code page whose second byte has not come yet.
u32 AnsiUnfinished(const char *p, u32 n) {
  u32 i = 0;
  while (i < n) {
    if (PlatIsLeadByte(kCodePageAnsi, static_cast<u8>(p[i]))) {
      if (i + 1 == n) return 1;
      i += 2;
    } else {
      i++;
    }
  }
  return 0;
}

bool Append(Document *doc, const char *bytes, u32 n) {
  return n == 0 || InsertText(&doc->store, doc->store.length, bytes, n, 0) == 0;
}

}  // namespace

u32 Utf8Unfinished(const u8 *p, u32 n) {
  u32 back = 0;
  while (back < n && back < 4 && (p[n - 1 - back] & 0xC0) == 0x80) back++;
  if (back == n) return 0;
  u8 lead = p[n - 1 - back];
  u32 need = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  return need > back ? back + 1 : 0;
}

int PipeReader(Document *doc, PlatFile pipe, bool utf8, bool stopOnUntranslatable, const PipeControl &control) {
  const bool multiByte = !utf8 && IsMultiByteCodePage(kCodePageAnsi);
  char buf[kPipeBlock + 4];
  u16 wide[kPipeBlock];
  char ansi[kPipeBlock * 2];
  u32 pending = 0;  // bytes kept from the last read
  int result = 0;
  for (;;) {
    if (Cancelled(control)) break;
    u32 got = 0;
    PlatPipeResult r = PlatPipeRead(pipe, buf + pending, kPipeBlock, &got);
    if (r == kPipeBroken && got == 0) break;  // the other end is done
    if (r == kPipeFailed) {
      CountError(control);
      return -2;
    }
    u32 n = pending + got;
    u32 keep = utf8 ? Utf8Unfinished(reinterpret_cast<u8 *>(buf), n) : multiByte ? AnsiUnfinished(buf, n) : 0;
    u32 ready = n - keep;
    if (!utf8) {
      if (!Append(doc, buf, ready)) return -1;
    } else if (ready) {
      int units = PlatMultiByteToWide(kCodePageUtf8, buf, static_cast<int>(ready), wide, kPipeBlock);
      bool lost = false;
      int bytes = PlatWideToMultiByteChecked(kCodePageAnsi, wide, units, ansi, sizeof ansi, &lost);
      if (!Append(doc, ansi, static_cast<u32>(bytes))) return -1;
      if (lost) {
        result = 1;
        if (stopOnUntranslatable) return 1;
      }
    }
    MemCopy(buf, buf + ready, keep);
    pending = keep;
  }
  // Whatever was kept back at the end is appended as it is.
  if (pending && !Append(doc, buf, pending)) return -1;
  return result;
}

int PipeWriter(Document *doc, PlatFile pipe, bool utf8, u32 from, u32 to, u32 newlineFlags, bool ignoreBrokenPipe,
               const PipeControl &control) {
  TextStore *store = &doc->store;
  if (to > store->length) to = store->length;
  ByteBuffer piece = {};
  if (!BufferReserve(&piece, kPieceBytes + 8)) return -1;
  int result = 0;
  for (u32 pos = from; pos < to;) {
    if (Cancelled(control)) break;
    u32 n = to - pos < kPieceBytes ? to - pos : kPieceBytes;
    while (n > 1 && MeasureText(store, pos, pos + n, newlineFlags) > kPieceBytes) n /= 2;
    // A newline cut between two pieces goes out whole with the first, once.
    piece.length =
        ReadText(store, pos, pos + n, piece.data, static_cast<u32>(piece.capacity), newlineFlags, nullptr);
    if (utf8) {
      bool lost = false;
      int e = EncodeFromAnsi(kEncodingUtf8, 0, &piece, &lost, nullptr);
      if (e != 0) {
        result = e == -1 ? -1 : -2;
        break;
      }
    }
    PlatPipeResult w = PlatPipeWrite(pipe, piece.data, static_cast<u32>(piece.length));
    if (w == kPipeBroken && ignoreBrokenPipe) break;
    if (w != kPipeOk) {
      CountError(control);
      result = -2;
      break;
    }
    pos += n;
    if (store->progress.report) store->progress.report(store->progress.context, pos - from, to - from);
  }
  BufferFree(&piece);
  return result;
}
