// Edit scripts: the input drives a document through Replace selection, undo,
// redo, groups, saving and range sets, with every invariant checked after
// each step, the text compared with a string for plain edits, and undoing
// everything at the end giving back the empty document.
#include <string>

#include "document/document.h"
#include "document/edit.h"
#include "document/range_set.h"
#include "document/store_check.h"
#include "document/text_store.h"
#include "document/undo.h"

namespace {

struct Script {
  const unsigned char *p, *end;
  unsigned Byte() { return p < end ? *p++ : 0; }
  unsigned Word() { return Byte() | (Byte() << 8); }
};

// Every row found by its positions (a sample of them on a long text).
void CheckRowsFound(const Document *d) {
  const TextStore *s = &d->store;
  const u32 step = s->length / 64 + 1;
  for (u32 p = 0; p <= s->length; p += step) {
    const u32 r = RowOfPosition(s, p);
    if (RowStart(s, r) > p || (r + 1 < RowCount(s) && RowStart(s, r + 1) <= p)) __builtin_trap();
  }
}

void Check(const Document *d) {
  StoreCheckOptions opt = {};
  if (!CheckStore(&d->store, opt, nullptr, 0)) __builtin_trap();
  CheckRowsFound(d);
}

std::string Text(const Document *d) {
  std::string t;
  for (u32 i = 0; i < d->store.blocks.count; i++) t.append(d->store.blocks.entries[i].data, d->store.blocks.entries[i].length);
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size) {
  Script in{data, data + size};
  SetStoreLimitsForTesting(in.Byte() % 2 ? 4 : 0);
  Document *d = CreateDocument();
  if (!d) return 0;
  std::string model;
  bool exact = true;  // the model follows plain edits only
  bool group = false;
  while (in.p < in.end) {
    unsigned op = in.Byte() % 8;
    u32 len = d->store.length;
    u32 a = len ? in.Word() % (len + 1) : 0;
    u32 b = a + (len - a ? in.Word() % (len - a + 1) : 0);
    if (op <= 2) {
      unsigned n = op == 1 ? 0 : in.Byte() % 64;
      if (in.Byte() % 8 == 0) n = 5000 + in.Word();
      std::string t;
      for (unsigned i = 0; i < n; i++) t.push_back("ab\r\n \x00Z."[in.Byte() % 8]);
      if (op == 0) b = a;
      SetSelection(d, a, b);
      if (ReplaceSelectionCounted(d, t.data(), static_cast<u32>(t.size()), kReplaceCloseBefore, nullptr) != 1) {
        __builtin_trap();
      }
      model.replace(a, b - a, t);
    } else if (op == 3 || op == 4) {
      if (UndoRedo(d, op == 3 ? kUndo : kRedo)) exact = false;
    } else if (op == 5) {
      group = !group;
      BeginGroup(d, group ? 1 : 0, 0);
    } else if (op == 6) {
      MarkSaved(d);
    } else if (b > a) {
      if (RangeSetAdd(&d->store.rangeSets[in.Byte() % kRangeSetCount], a, b - a, 0) != 0) __builtin_trap();
    }
    Check(d);
    if (exact && Text(d) != model) __builtin_trap();
    if (!exact) model = Text(d);
    exact = true;
  }
  if (group) BeginGroup(d, 0, 0);
  while (UndoRedo(d, kUndo)) Check(d);
  if (d->store.length != 0 || d->modified) {
    // Undoing everything reaches the empty document; it is unmodified only
    // when it was saved empty, which this check does not track.
    if (d->store.length != 0) __builtin_trap();
  }
  DestroyDocument(d);
  SetStoreLimitsForTesting(0);
  return 0;
}
