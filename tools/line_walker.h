// Walking the lines of a flat text: the line tools, sorting and the other
// tools that take a text line by line share this walker.
#pragma once

#include <string.h>

#include "foundation/bytes.h"
#include "foundation/types.h"

// One line: its text [start, textEnd) and its newline [textEnd, end).
struct LineBounds {
  u32 start, textEnd, end;
};

// Walks the lines of a text in order. Lines end with CR LF, a lone CR or a
// lone LF; the text after the last newline is the last line (empty when the
// text ends with a newline, and an empty text is one empty line). The next
// CR and the next LF are found by MemFindByte and kept until passed, so that a
// text of one newline kind costs one scan.
class LineWalker {
 public:
  LineWalker(const char *text, u32 length) : t_(text), n_(length) {}
  bool Next(LineBounds *line) {
    if (done_) return false;
    if (nextLF_ < pos_ || !lfKnown_) nextLF_ = Find('\n'), lfKnown_ = true;
    if (nextCR_ < pos_ || !crKnown_) nextCR_ = Find('\r'), crKnown_ = true;
    const u32 e = nextCR_ < nextLF_ ? nextCR_ : nextLF_;
    if (e >= n_) {
      *line = LineBounds{pos_, n_, n_};
      done_ = true;
      return true;
    }
    const u32 newline = (t_[e] == '\r' && e + 1 < n_ && t_[e + 1] == '\n') ? 2 : 1;
    *line = LineBounds{pos_, e, e + newline};
    pos_ = e + newline;
    return true;
  }

 private:
  u32 Find(char c) const {
    if (pos_ >= n_) return n_;
    const void *p = MemFindByte(t_ + pos_, static_cast<u8>(c), n_ - pos_);
    return p ? static_cast<u32>(static_cast<const char *>(p) - t_) : n_;
  }
  const char *t_;
  u32 n_;
  u32 pos_ = 0;
  u32 nextCR_ = 0, nextLF_ = 0;
  bool crKnown_ = false, lfKnown_ = false;
  bool done_ = false;
};
