// Reading the text out of the store: with newline conversion, NUL
// replacement and soft row ends; measuring; direct pointers; runs.
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "document/store_internal.h"
#include "foundation/bytes.h"

namespace {

void Order(const TextStore *s, u32 *from, u32 *to) {
  if (*from > *to) {
    u32 t = *from;
    *from = *to;
    *to = t;
  }
  if (*to > s->length) *to = s->length;
  if (*from > *to) *from = *to;
}

// Output with a fixed capacity; once something does not fit, everything
// after it is refused too.
struct Out {
  char *dest;
  u32 cap;
  u32 n;
  bool full;
  u32 outFlags;
  bool nulToSpace;

  // Copies as much as fits; false once the capacity is exhausted. `mayHoldNul`
  // false: the caller knows the bytes hold no zero byte.
  bool Bytes(const char *p, u32 len, bool mayHoldNul = true) {
    if (full) return false;
    u32 take = cap - n < len ? cap - n : len;
    memcpy(dest + n, p, take);
    if (nulToSpace && mayHoldNul) {
      // Zero bytes are rare: found by the wide scan, not byte by byte.
      char *q = dest + n, *end = q + take;
      while (q < end && (q = MemFindByte(q, 0, static_cast<size_t>(end - q))) != nullptr) {
        *q++ = ' ';
        outFlags |= kReadOutNul;
      }
    }
    n += take;
    if (take < len) full = true;
    return !full;
  }

  // A newline is written whole or not at all.
  bool Newline(u32 kind) {
    if (full) return false;
    u32 len = kind == 3 ? 2 : 1;
    if (cap - n < len) {
      full = true;
      return false;
    }
    if (kind & 1) dest[n++] = '\r';
    if (kind & 2) dest[n++] = '\n';
    return true;
  }
};

// Writes the bytes of a range with every newline (CR LF, CR, LF) in one
// kind and, with nul, every zero byte as a space, deciding by the bytes
// alone: for ranges whose soft row ends are not written and whose output
// is known to fit, this replaces the walk along the rows. A CR at the end
// of one piece takes the LF at the start of the next.
struct NewlineWriter {
  char *d;
  u32 kind;
  bool nul;
  bool afterCR;  // the byte before was a CR, whose LF is still to come
  u32 outFlags;

  void Put(const char *p, u32 len) {
    const char *end = p + len;
    char *q = d;
    while (p < end) {
      if (!afterCR) {
#if defined(__SSE2__)
        // Sixteen bytes at a time are stored as they are; the first byte to
        // convert, if any, is then written over.
        const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
        const __m128i zero = nul ? _mm_setzero_si128() : cr;
        while (end - p >= 16) {
          const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
          const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                           _mm_cmpeq_epi8(v, zero));
          const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(hit));
          _mm_storeu_si128(reinterpret_cast<__m128i *>(q), v);
          if (bits) {
            const unsigned i = static_cast<unsigned>(__builtin_ctz(bits));
            p += i;
            q += i;
            break;
          }
          p += 16;
          q += 16;
        }
#endif
        while (p < end && *p != '\r' && *p != '\n' && (*p || !nul)) *q++ = *p++;
        if (p == end) break;
      }
      const char c = *p++;
      if (afterCR) {
        afterCR = false;
        if (c == '\n') continue;  // the LF of a CR LF
        outFlags |= kReadOutNotCRLF;  // the CR stood alone
      }
      if (c == '\r' || c == '\n') {
        if (kind & 1) *q++ = '\r';
        if (kind & 2) *q++ = '\n';
        afterCR = c == '\r';
        if (c == '\n') outFlags |= kReadOutNotCRLF;
      } else if (c == 0 && nul) {
        *q++ = ' ';
        outFlags |= kReadOutNul;
      } else {
        *q++ = c;
      }
    }
    d = q;
  }
};

int ByteAt(StoreCursor &cursor, u32 p) {
  int c = -1;
  cursor.Pieces(p, 1, [&](const char *piece, u32) {
    c = static_cast<u8>(*piece);
    return true;
  });
  return c;
}

// ReadText of [from, to) through the writer when no soft end is written and
// the output cannot outgrow the capacity (then nothing can be cut); false
// when the rows must be walked.
bool ConvertByBytes(const TextStore *s, u32 from, u32 to, u32 flags, u32 hardKind, u32 softKind, Out *out) {
  if (softKind || !hardKind || from >= to) return false;
  u64 most = to - from;
  // As MeasureText bounds it: one byte more for each newline the range may write.
  if (hardKind == 3) most += RowHardLine(s, RowOfPosition(s, to)) - RowHardLine(s, RowOfPosition(s, from)) + 1;
  if (most > out->cap - out->n) return false;
  NewlineWriter w = {out->dest + out->n, hardKind, out->nulToSpace, false, 0};
  // A range that starts between the CR and the LF of a CR LF: that newline
  // is written with kReadPartialNewline, left out without.
  StoreCursor cursor(s);
  if (from > 0 && ByteAt(cursor, from - 1) == '\r' && ByteAt(cursor, from) == '\n') {
    from++;
    if (flags & kReadPartialNewline) {
      if (hardKind & 1) *w.d++ = '\r';
      if (hardKind & 2) *w.d++ = '\n';
    }
  }
  if (from < to) {
    cursor.Pieces(from, to - from, [&](const char *p, u32 len) {
      w.Put(p, len);
      return true;
    });
  }
  // A CR that ends the range stood alone unless an LF follows it outside.
  if (w.afterCR && (to >= s->length || ByteAt(cursor, to) != '\n')) w.outFlags |= kReadOutNotCRLF;
  if (hardKind != 3) w.outFlags &= ~kReadOutNotCRLF;
  out->n = static_cast<u32>(w.d - out->dest);
  out->outFlags |= w.outFlags;
  return true;
}

bool CopyStored(const TextStore *s, u32 from, u32 to, Out *out) {
  bool ok = true;
  if (to > from) {
    ForEachPiece(s, from, to - from, [&](const char *p, u32 len) {
      if (ok) ok = out->Bytes(p, len);
    });
  }
  return ok;
}


}  // namespace

u32 ReadText(const TextStore *s, u32 from, u32 to, char *dest, u32 capacity, u32 flags, u32 *outFlags) {
  Order(s, &from, &to);
  if (outFlags) *outFlags = 0;
  if (capacity == 0 || ((flags & kReadTerminate) && capacity == 1)) {
    if ((flags & kReadTerminate) && capacity == 1) {
      dest[0] = 0;
      return 1;
    }
    return 0;
  }
  Out out = {dest, (flags & kReadTerminate) ? capacity - 1 : capacity, 0, false, 0, (flags & kReadNulToSpace) != 0};
  const u32 hardKind = flags & (kReadHardCR | kReadHardLF);
  const u32 softKind = (flags & kReadSoftCR ? 1u : 0u) | (flags & kReadSoftLF ? 2u : 0u);
  if (s->noRowIndex || (!hardKind && !softKind)) {
    CopyStored(s, from, to, &out);
  } else if (from < to && !ConvertByBytes(s, from, to, flags, hardKind, softKind, &out)) {
    // Stored bytes that already read as the output (row texts, and newlines
    // stored as the kind asked for) are gathered into one run and copied at
    // once; the run is cut only where a newline is converted or a soft end
    // written.
    const u32 lastRow = s->rows.count - 1;
    u32 pos = from;
    u32 run = from;
    bool ok = true;
    // Each row's run starts where the last one ended: a cursor, not a
    // search of the block table per row.
    StoreCursor cursor(s);
    // Whether the cursor's block holds a zero byte, found once per block
    // rather than once per row.
    u32 scanned = 0xFFFFFFFFu;
    bool blockNul = true;
    auto flush = [&](u32 end) {
      if (!ok || end <= run) return;
      const u32 before = out.n;
      ok = cursor.Pieces(run, end - run, [&](const char *p, u32 len) {
        if (out.nulToSpace && cursor.block != scanned) {
          const TextBlock &b = s->blocks.entries[cursor.block];
          scanned = cursor.block;
          blockNul = MemFindByte(b.data, 0, b.length) != nullptr;
        }
        return out.Bytes(p, len, blockNul);
      });
      // A kept CR LF cut by the capacity is taken back: newlines are written
      // whole or not at all.
      if (!ok && hardKind == 3 && out.n > before && out.dest[out.n - 1] == '\r') out.n--;
      run = end;
    };
    // Rows follow one another: each starts where the one before ended.
    const u32 firstRow = RowOfPosition(s, from);
    u32 rs = RowStart(s, firstRow);
    for (u32 r = firstRow; r <= lastRow && ok; r++) {
      const Row &row = RowAt(s, r);
      const u32 te = rs + row.textLength, re = te + row.newlineLength;
      if (pos < te) pos = te < to ? te : to;
      if (row.newlineLength) {
        if (te >= to) break;
        if (hardKind) {
          bool inRange = pos == te || (flags & kReadPartialNewline);
          if (inRange && pos == te && row.newlineType == hardKind && re <= to) {
            pos = re;  // stored as asked: part of the run
          } else {
            flush(pos);
            if (inRange && ok) {
              ok = out.Newline(hardKind);
              if (ok && hardKind == 3 && row.newlineType != kNewlineCRLF) out.outFlags |= kReadOutNotCRLF;
            }
            pos = run = re;
          }
        } else {
          pos = re < to ? re : to;
          if (pos < re) {
            flush(pos);
            pos = run = re;
          }
        }
      } else {
        // A soft end lies between this row and the next one.
        if (r == lastRow || re > to) break;
        if (softKind && re > from) {
          flush(pos);
          if (ok) ok = out.Newline(softKind);
          run = re;
        }
        pos = re;
      }
      if (pos >= to && (row.newlineLength || r == lastRow)) break;
      rs = re;
    }
    flush(pos < to ? pos : to);
  }
  u32 n = out.n;
  if (flags & kReadTerminate) dest[n++] = 0;
  if (outFlags) *outFlags = out.outFlags;
  return n;
}

u32 MeasureText(const TextStore *s, u32 from, u32 to, u32 flags) {
  Order(s, &from, &to);
  u64 bound = to - from;
  if (!s->noRowIndex && (flags & (kReadHardCR | kReadHardLF | kReadSoftCR | kReadSoftLF))) {
    u32 r1 = RowOfPosition(s, from), r2 = RowOfPosition(s, to);
    u32 hard = RowHardLine(s, r2) - RowHardLine(s, r1);
    u32 soft = (r2 - r1) - hard;
    // A CR LF conversion adds at most one byte per newline.
    if ((flags & (kReadHardCR | kReadHardLF)) == (kReadHardCR | kReadHardLF)) bound += hard + 1;
    if (flags & (kReadSoftCR | kReadSoftLF)) bound += 2ull * soft + 2;
  }
  if (flags & kReadTerminate) bound++;
  return bound > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<u32>(bound);
}

const char *DirectPointer(const TextStore *s, u32 from, u32 to, char *scratch, u32 capacity) {
  Order(s, &from, &to);
  if (from == to) return scratch;
  u32 b = BlockOfPosition(s, from);
  u32 bs = BlockStart(s, b);
  const TextBlock &blk = s->blocks.entries[b];
  if (to <= bs + blk.length) return blk.data + (from - bs);
  u32 n = to - from < capacity ? to - from : capacity;
  char *d = scratch;
  ForEachPiece(s, from, n, [&](const char *p, u32 len) {
    memcpy(d, p, len);
    d += len;
  });
  return scratch;
}

u32 CountRun(const TextStore *s, u32 position, u8 byte, u32 limit) {
  if (position >= s->length) return 0;
  u32 avail = s->length - position;
  if (limit > avail) limit = avail;
  u32 count = 0;
  bool done = false;
  ForEachPiece(s, position, limit, [&](const char *p, u32 len) {
    if (done) return;
    u32 i = 0;
    while (i < len && static_cast<u8>(p[i]) == byte) i++;
    count += i;
    if (i < len) done = true;
  });
  return count;
}
