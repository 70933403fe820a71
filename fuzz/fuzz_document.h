// What the document fuzz targets share: the script read from the input, the
// text compared with a string, an edit through the selection as typing makes
// it, and the checks after every step.
#pragma once

#include <string>

#include "document/document.h"
#include "document/edit.h"
#include "document/store_check.h"
#include "document/text_store.h"

struct Script {
  const unsigned char *p, *end;
  unsigned Byte() { return p < end ? *p++ : 0; }
  unsigned Word() { return Byte() | (Byte() << 8); }
  // A range [*a, *b) of a text of len bytes.
  void Range(u32 len, u32 *a, u32 *b) {
    *a = len ? Word() % (len + 1) : 0;
    *b = *a + (len - *a ? Word() % (len - *a + 1) : 0);
  }
};

inline std::string Text(const Document *d) {
  std::string t;
  for (u32 i = 0; i < d->store.blocks.count; i++) t.append(d->store.blocks.entries[i].data, d->store.blocks.entries[i].length);
  return t;
}

// [a, b) replaced by t through the selection, and in the model.
inline void ReplaceAt(Document *d, std::string *model, u32 a, u32 b, const std::string &t) {
  SetSelection(d, a, b);
  if (ReplaceSelectionCounted(d, t.data(), static_cast<u32>(t.size()), kReplaceCloseBefore, nullptr) != 1)
    __builtin_trap();
  model->replace(a, b - a, t);
}

// Every invariant of the store, and every row found by its positions (a
// sample of them on a long text).
inline void CheckDocument(const Document *d) {
  StoreCheckOptions opt = {};
  if (!CheckStore(&d->store, opt, nullptr, 0)) __builtin_trap();
  const TextStore *s = &d->store;
  const u32 step = s->length / 64 + 1;
  for (u32 p = 0; p <= s->length; p += step) {
    const u32 r = RowOfPosition(s, p);
    if (RowStart(s, r) > p || (r + 1 < RowCount(s) && RowStart(s, r + 1) <= p)) __builtin_trap();
  }
}
