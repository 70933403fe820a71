// The clipboard's blocks as another program may leave them: the readers stay
// inside the block, and a block built from any text gives the text back
// exactly (private) or converted and ending at the zero byte (plain).
#include <string.h>

#include <vector>

#include "document/document.h"
#include "document/edit.h"
#include "files/clip_block.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size) {
  // The input as a block: copied into a buffer of exactly its size, so that
  // the sanitizer sees any read past it.
  std::vector<unsigned char> block(data, data + size);
  const char *text = nullptr;
  u32 length = 0;
  if (ReadPrivateBlock(block.data(), size, &text, &length)) {
    if (size < kClipHeader || text != reinterpret_cast<const char *>(block.data()) + kClipHeader) __builtin_trap();
    if (length > size - kClipHeader) __builtin_trap();
    volatile char sink = 0;
    for (u32 i = 0; i < length; i++) sink = sink ^ text[i];
  }
  const u32 plain = PlainTextLength(block.data(), size);
  if (plain > size || (plain < size && block[plain] != 0) || (plain > 0 && memchr(block.data(), 0, plain)))
    __builtin_trap();

  // The input as a document's text: both blocks of it, read back.
  Document *doc = CreateDocument();
  if (!doc) return 0;
  if (InsertText(&doc->store, 0, reinterpret_cast<const char *>(data), static_cast<u32>(size), 0) == 0) {
    u64 plainSize = 0, exactSize = 0;
    const char before[] = "old";
    if (!ClipBlockSizes(&doc->store, 0, doc->store.length, 3, 3, &plainSize, &exactSize)) __builtin_trap();
    std::vector<char> p(plainSize), e(exactSize);
    const u32 n = FillClipBlocks(&doc->store, 0, doc->store.length, {before, 3, p.data(), plainSize},
                                 {before, 3, e.data(), exactSize});
    if (PlainTextLength(p.data(), p.size()) != n || memcmp(p.data(), before, 3) != 0) __builtin_trap();
    if (!ReadPrivateBlock(e.data(), e.size(), &text, &length) || length != size + 3 ||
        memcmp(text, before, 3) != 0 || memcmp(text + 3, data, size) != 0 || text[length] != 0)
      __builtin_trap();
  }
  DestroyDocument(doc);
  return 0;
}
