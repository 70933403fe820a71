// Batches among single edits: the input drives a document through Replace
// selection, edit batches (ascending edits that may change newlines), undo
// and redo, at tiny and small group sizes, with every invariant checked after
// each step and the text compared with a string after each edit.
#include <string>
#include <vector>

#include "document/batch_edit.h"
#include "document/undo.h"
#include "fuzz/fuzz_document.h"

namespace {

// A text of n bytes from a small alphabet rich in newlines.
std::string Piece(Script &in, unsigned n) {
  std::string t;
  for (unsigned i = 0; i < n; i++) t.push_back("ab\r\n x\n."[in.Byte() % 8]);
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size) {
  Script in{data, data + size};
  SetStoreLimitsForTesting(in.Byte() % 2 ? 4 : 16);
  Document *d = CreateDocument();
  if (!d) return 0;
  std::string model;
  while (in.p < in.end) {
    const unsigned op = in.Byte() % 4;
    const u32 len = d->store.length;
    if (op == 0) {
      // One edit, now and then a long one: it shifts the groups after it.
      u32 a, b;
      in.Range(len, &a, &b);
      const unsigned n = in.Byte() % 8 == 0 ? 300 + in.Word() % 3000 : in.Byte() % 32;
      ReplaceAt(d, &model, a, b, Piece(in, n));
    } else if (op == 1) {
      // A batch of ascending edits, some next to each other.
      std::vector<BatchRequest> edits;
      std::string text;
      const unsigned count = 1 + in.Byte() % 24;
      u32 p = 0;
      for (unsigned i = 0; i < count && p <= len; i++) {
        const u32 gap = in.Byte() % 4 == 0 ? 0 : in.Word() % (len / 4 + 2);
        if (p + gap > len) break;
        const u32 from = p + gap, to = from + (in.Byte() % 3 ? in.Byte() % (len - from + 1 < 40 ? len - from + 1 : 40) : 0);
        const std::string t = Piece(in, in.Byte() % 6);
        edits.push_back({from, to, static_cast<u32>(text.size()), static_cast<u32>(t.size())});
        text += t;
        p = to;
      }
      if (edits.empty()) continue;
      const EditBatch batch = {0, static_cast<u32>(edits.size()), edits.data(), text.data(), static_cast<u32>(text.size()), 0};
      if (ApplyEditBatch(d, &batch) != 0) __builtin_trap();
      for (size_t i = edits.size(); i-- > 0;)
        model.replace(edits[i].from, edits[i].to - edits[i].from, text.substr(edits[i].offset, edits[i].length));
    } else {
      (void)UndoRedo(d, op == 2 ? kUndo : kRedo);
      model = Text(d);
    }
    CheckDocument(d);
    if (Text(d) != model) __builtin_trap();
  }
  while (UndoRedo(d, kUndo)) CheckDocument(d);
  if (d->store.length != 0) __builtin_trap();
  DestroyDocument(d);
  SetStoreLimitsForTesting(0);
  return 0;
}
