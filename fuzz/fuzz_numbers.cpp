// Number parsing and base64 on any input: decoding never writes more than
// 3/4 of the text, and encoding then decoding gives the bytes back.
#include <string.h>

#include <string>
#include <vector>

#include "foundation/numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size) {
  std::string text(reinterpret_cast<const char *>(data), size);
  for (unsigned base : {2u, 10u, 16u, 36u}) ParseNumber(text.c_str(), base);

  std::vector<char> decoded(size * 3 / 4 + 1);
  size_t n = Base64Decode(decoded.data(), text.c_str());
  if (n > strlen(text.c_str()) * 3 / 4) __builtin_trap();

  std::vector<char> encoded(Base64EncodedLength(size) + 1);
  Base64Encode(encoded.data(), data, size);
  std::vector<unsigned char> back(size + 1);
  if (Base64Decode(back.data(), encoded.data()) != size || memcmp(back.data(), data, size) != 0) __builtin_trap();
  return 0;
}
