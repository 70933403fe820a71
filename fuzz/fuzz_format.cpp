// The checked formatter on any format: it either refuses (result 1, empty
// output) or formats within the capacity, terminated.
#include <string.h>

#include <string>

#include "foundation/format.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size) {
  if (size == 0) return 0;
  size_t capacity = data[0];
  std::string format(reinterpret_cast<const char *>(data + 1), size - 1);
  // Arguments must match what a format may ask for: every one is a valid
  // string, which also serves as an int or a pointer.
  static const char arg[8] = "arg";  // zero-padded: also a valid wide string
  char out[300];
  memset(out, 0x55, sizeof out);
  int r = Format(out, capacity, format.c_str(), arg, arg, arg, arg, arg, arg, arg, arg, arg, arg, arg, arg, arg,
                 arg, arg, arg);
  if (r < 1 || static_cast<size_t>(r) > (capacity ? capacity : 1)) __builtin_trap();
  if (capacity && strlen(out) != static_cast<size_t>(r - 1)) __builtin_trap();
  if (capacity < sizeof out && static_cast<unsigned char>(out[capacity]) != 0x55) __builtin_trap();
  return 0;
}
