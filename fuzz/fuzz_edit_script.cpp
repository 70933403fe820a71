// Edit scripts: the input drives a document through Replace selection, undo,
// redo, groups, saving and range sets, with every invariant checked after
// each step, the text compared with a string for plain edits, and undoing
// everything at the end giving back the empty document.
#include <string>

#include "document/range_set.h"
#include "document/undo.h"
#include "fuzz/fuzz_document.h"

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
    u32 a, b;
    in.Range(len, &a, &b);
    if (op <= 2) {
      unsigned n = op == 1 ? 0 : in.Byte() % 64;
      if (in.Byte() % 8 == 0) n = 5000 + in.Word();
      std::string t;
      for (unsigned i = 0; i < n; i++) t.push_back("ab\r\n \x00Z."[in.Byte() % 8]);
      if (op == 0) b = a;
      ReplaceAt(d, &model, a, b, t);
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
    CheckDocument(d);
    if (exact && Text(d) != model) __builtin_trap();
    if (!exact) model = Text(d);
    exact = true;
  }
  if (group) BeginGroup(d, 0, 0);
  while (UndoRedo(d, kUndo)) CheckDocument(d);
  if (d->store.length != 0 || d->modified) {
    // Undoing everything reaches the empty document; it is unmodified only
    // when it was saved empty, which this check does not track.
    if (d->store.length != 0) __builtin_trap();
  }
  DestroyDocument(d);
  SetStoreLimitsForTesting(0);
  return 0;
}
