// Reading the text out of the store: with newline conversion, NUL
// replacement and soft row ends; measuring; direct pointers; runs.
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "document/store_internal.h"
#include "foundation/bytes.h"
#include "foundation/platform.h"

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

#if defined(__SSE2__)
  static void Copy64(char *q, const char *p) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 32));
    const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 48));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(q), a);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(q + 16), b);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(q + 32), c);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(q + 48), e);
  }
  static u64 Hits16(const char *p, __m128i cr, __m128i lf, __m128i zero) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, zero));
    return static_cast<u32>(_mm_movemask_epi8(hit));
  }
  // Newlines to CR LF, 64 bytes at a time while 128 are left (a window's
  // later stores read up to 64 bytes past it): the window is stored as it
  // is, then from each LF on once more, a byte further, after a CR. A CR LF
  // stays. Stops at the first other byte to convert (a lone CR, a zero byte),
  // p and q at it.
  void WindowsToCRLF(const char *&p, const char *end, char *&q, __m128i cr, __m128i lf, __m128i zero) {
    while (end - p >= 128) {
      u64 m = Hits16(p, cr, lf, zero) | Hits16(p + 16, cr, lf, zero) << 16 | Hits16(p + 32, cr, lf, zero) << 32 |
              Hits16(p + 48, cr, lf, zero) << 48;
      Copy64(q, p);
      while (m) {
        const unsigned i = static_cast<unsigned>(__builtin_ctzll(m));
        m &= m - 1;
        if (p[i] == '\n') {  // stood alone: a CR LF's LF goes with its CR
          q[i] = '\r';
          q++;
          Copy64(q + i, p + i);
          outFlags |= kReadOutNotCRLF;
        } else if (p[i] == '\r' && i < 63 && p[i + 1] == '\n') {
          m &= m - 1;
        } else {
          p += i;
          q += i;
          return;
        }
      }
      p += 64;
      q += 64;
    }
  }
#endif

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
        if (kind == 3) WindowsToCRLF(p, end, q, cr, lf, zero);
        while (end - p >= 16) {
          const unsigned bits = static_cast<unsigned>(Hits16(p, cr, lf, zero));
          _mm_storeu_si128(reinterpret_cast<__m128i *>(q), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
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

// The most that [from, to) writes with its newlines in hardKind, as
// MeasureText bounds it: one byte more for each newline when they become CR LF.
u64 ConvertedBound(const TextStore *s, u32 from, u32 to, u32 hardKind) {
  u64 most = to - from;
  if (hardKind == 3) most += RowHardLine(s, RowOfPosition(s, to)) - RowHardLine(s, RowOfPosition(s, from)) + 1;
  return most;
}

// The writer's flags at the end of [.., to): a CR that ends the range stood
// alone unless an LF follows it outside; "not CR LF" only counts for CR LF.
u32 FinishedFlags(const NewlineWriter &w, StoreCursor &cursor, u32 to, u32 hardKind) {
  u32 flags = w.outFlags;
  const TextStore *s = cursor.s;
  if (w.afterCR && (to >= s->length || ByteAt(cursor, to) != '\n')) flags |= kReadOutNotCRLF;
  if (hardKind != 3) flags &= ~kReadOutNotCRLF;
  return flags;
}

// ReadText of [from, to) through the writer when no soft end is written and
// the output cannot outgrow the capacity (then nothing can be cut); false
// when the rows must be walked.
bool ConvertByBytes(const TextStore *s, u32 from, u32 to, u32 flags, u32 hardKind, u32 softKind, Out *out) {
  if (softKind || !hardKind || from >= to) return false;
  if (ConvertedBound(s, from, to, hardKind) > out->cap - out->n) return false;
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
  out->n = static_cast<u32>(w.d - out->dest);
  out->outFlags |= FinishedFlags(w, cursor, to, hardKind);
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

// Reads this long go in two parts at once, the second on a thread of its own.
constexpr u32 kSplitReadBytes = 8u << 20;
// Outputs this long are written past the cache: they are far larger than
// it, and whoever reads them next does so later.
constexpr u32 kStreamBytes = 4u << 20;

// Where a long read of [from, to) can be cut, and how many bytes its first
// part [from, mid) writes; false when it is read in one go. The output must
// fit whole (nothing is cut off), and with newlines converted the cut lies at
// the start of a line (no CR LF is parted) and the first part's newlines,
// counted by the rows, give its length exactly.
bool SplitRead(const TextStore *s, u32 from, u32 to, u32 capacity, u32 hardKind, u32 softKind, u32 *mid,
               u32 *firstLength) {
  if (to - from < kSplitReadBytes) return false;
  if (s->noRowIndex || (!hardKind && !softKind)) {
    if (capacity < to - from) return false;
    *mid = from + (to - from) / 2;
    *firstLength = *mid - from;
    return true;
  }
  if (softKind) return false;
  u32 r1 = RowOfPosition(s, from);
  const u32 r2 = RowOfPosition(s, to);
  // Too long, or from inside a CR LF.
  if (ConvertedBound(s, from, to, hardKind) > capacity || from > RowTextEnd(s, r1)) return false;
  // The line holding the middle ends where the second part starts.
  u32 r = RowOfPosition(s, from + (to - from) / 2);
  for (u32 steps = 0; r < r2 && RowAt(s, r).newlineLength == 0; r++)
    if (++steps > 4096) return false;  // a very long line: not worth the walk
  if (r >= r2) return false;
  *mid = RowTextEnd(s, r) + RowAt(s, r).newlineLength;
  if (*mid <= from || *mid >= to) return false;
  const i64 written = hardKind == 3 ? 2 : 1;
  i64 n = *mid - from;
  for (; r1 <= r; r1++) {
    const Row &row = RowAt(s, r1);
    if (row.newlineLength) n += written - row.newlineLength;
  }
  if (n < 0 || n > capacity) return false;
  *firstLength = static_cast<u32>(n);
  return true;
}

// Writes a long output in aligned 16-byte stores that pass the cache by; a
// short one as memcpy does.
struct StreamOut {
  char *d;
  bool stream;
  u32 pending = 0;
  alignas(16) char held[16];

  StreamOut(char *dest, u32 total) : d(dest), stream(total >= kStreamBytes) {}
  void Put(const char *p, u32 n) {
#if defined(__SSE2__)
    if (stream) {
      // The bytes up to the first 16-byte boundary go as they are.
      while (!pending && n && (reinterpret_cast<uintptr_t>(d) & 15)) {
        *d++ = *p++;
        n--;
      }
      if (pending) {
        const u32 take = 16 - pending < n ? 16 - pending : n;
        memcpy(held + pending, p, take);
        pending += take;
        p += take;
        n -= take;
        if (pending < 16) return;
        _mm_stream_si128(reinterpret_cast<__m128i *>(d), _mm_load_si128(reinterpret_cast<const __m128i *>(held)));
        d += 16;
        pending = 0;
      }
      for (; n >= 16; n -= 16, p += 16, d += 16)
        _mm_stream_si128(reinterpret_cast<__m128i *>(d), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
      memcpy(held, p, n);
      pending = n;
      return;
    }
#endif
    memcpy(d, p, n);
    d += n;
  }
  void End() {
    memcpy(d, held, pending);
    d += pending;
    pending = 0;
#if defined(__SSE2__)
    if (stream) _mm_sfence();
#endif
  }
};

// One part of a read that writes the converted text and the stored bytes
// at once: [from, to) does not start inside a CR LF and its converted text
// fits dest.
struct ReadPart {
  const TextStore *s;
  u32 from, to;
  char *dest;  // the converted text
  char *copy;  // the stored bytes
  u32 hardKind;
  bool nul;
  u32 n, outFlags;  // what was written
};

u32 ReadBoth(void *arg) {
  ReadPart *part = static_cast<ReadPart *>(arg);
  const TextStore *s = part->s;
  // The writer converts a piece at a time into a buffer the cache holds,
  // which then goes out whole: at most twice its input, and the writer's
  // stores may pass its end by 64.
  constexpr u32 kPiece = 4096;
  char stage[2 * kPiece + 64];
  NewlineWriter w = {stage, part->hardKind, part->nul, false, 0};
  StreamOut text(part->dest, part->to - part->from), raw(part->copy, part->to - part->from);
  char *start = part->dest;
  StoreCursor cursor(s);
  if (part->from < part->to) {
    cursor.Pieces(part->from, part->to - part->from, [&](const char *p, u32 len) {
      raw.Put(p, len);
      while (len) {
        const u32 take = len < kPiece ? len : kPiece;
        w.d = stage;
        w.Put(p, take);
        text.Put(stage, static_cast<u32>(w.d - stage));
        p += take;
        len -= take;
      }
      return true;
    });
  }
  text.End();
  raw.End();
  part->n = static_cast<u32>(text.d - start);
  part->outFlags = FinishedFlags(w, cursor, part->to, part->hardKind);
  return 0;
}

}  // namespace

u32 ReadTextAndCopy(const TextStore *s, u32 from, u32 to, char *dest, u32 capacity, u32 flags, char *copy,
                    u32 *outFlags) {
  Order(s, &from, &to);
  const u32 hardKind = flags & (kReadHardCR | kReadHardLF);
  const u32 softKind = (flags & kReadSoftCR ? 1u : 0u) | (flags & kReadSoftLF ? 2u : 0u);
  const u32 terminate = (flags & kReadTerminate) ? 1 : 0;
  // One pass over the text where its newlines are converted by the bytes
  // alone and all of it fits; the read is shared with a second thread when
  // long (cut where SplitRead says), else done in one part.
  if (from < to && hardKind && !softKind && !s->noRowIndex && capacity > terminate) {
    const u32 room = capacity - terminate;
    if (ConvertedBound(s, from, to, hardKind) <= room && from <= RowTextEnd(s, RowOfPosition(s, from))) {
      const bool nul = (flags & kReadNulToSpace) != 0;
      ReadPart first = {s, from, to, dest, copy, hardKind, nul, 0, 0};
      ReadPart second = first;
      u32 mid = 0, firstLength = 0;
      PlatThread thread = nullptr;
      if (SplitRead(s, from, to, room, hardKind, softKind, &mid, &firstLength)) {
        first.to = second.from = mid;
        second.dest = dest + firstLength;
        second.copy = copy + (mid - from);
        thread = PlatThreadStart(ReadBoth, &second);
        if (!thread) ReadBoth(&second);
      }
      ReadBoth(&first);
      if (thread) PlatThreadJoin(thread);
      const bool cut = second.from != from;
      if (!cut || first.n == firstLength) {
        u32 n = first.n + (cut ? second.n : 0);
        if (terminate) dest[n++] = 0;
        if (outFlags) *outFlags = first.outFlags | (cut ? second.outFlags : 0);
        return n;
      }
      // The rows promised another length than the bytes gave: read again.
    }
  }
  ReadText(s, from, to, copy, to - from, 0, nullptr);
  return ReadText(s, from, to, dest, capacity, flags, outFlags);
}

namespace {

u32 ReadTextAlone(const TextStore *s, u32 from, u32 to, char *dest, u32 capacity, u32 flags, u32 *outFlags);

// The second part of a long ReadText, read on its own thread.
struct TextPart {
  const TextStore *s;
  u32 from, to;
  char *dest;
  u32 capacity, flags;
  u32 n, outFlags;
};

u32 ReadTextPart(void *arg) {
  TextPart *part = static_cast<TextPart *>(arg);
  part->n = ReadTextAlone(part->s, part->from, part->to, part->dest, part->capacity, part->flags, &part->outFlags);
  return 0;
}

}  // namespace

u32 ReadText(const TextStore *s, u32 from, u32 to, char *dest, u32 capacity, u32 flags, u32 *outFlags) {
  Order(s, &from, &to);
  const u32 terminate = (flags & kReadTerminate) ? 1 : 0;
  const u32 hardKind = flags & (kReadHardCR | kReadHardLF);
  const u32 softKind = (flags & kReadSoftCR ? 1u : 0u) | (flags & kReadSoftLF ? 2u : 0u);
  u32 mid = 0, firstLength = 0;
  if (capacity > terminate && SplitRead(s, from, to, capacity - terminate, hardKind, softKind, &mid, &firstLength)) {
    const u32 partFlags = flags & ~kReadTerminate;
    TextPart second = {s, mid, to, dest + firstLength, capacity - terminate - firstLength, partFlags, 0, 0};
    PlatThread thread = PlatThreadStart(ReadTextPart, &second);
    if (!thread) ReadTextPart(&second);
    u32 firstFlags = 0;
    u32 n = ReadTextAlone(s, from, mid, dest, firstLength, partFlags, &firstFlags);
    if (thread) PlatThreadJoin(thread);
    if (n == firstLength) {
      n += second.n;
      if (terminate) dest[n++] = 0;
      if (outFlags) *outFlags = firstFlags | second.outFlags;
      return n;
    }
    // The rows promised another length than the bytes gave: read in one go.
  }
  return ReadTextAlone(s, from, to, dest, capacity, flags, outFlags);
}

namespace {

u32 ReadTextAlone(const TextStore *s, u32 from, u32 to, char *dest, u32 capacity, u32 flags, u32 *outFlags) {
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

}  // namespace


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
