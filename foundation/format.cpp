#include "foundation/format.h"

#include "foundation/platform.h"

namespace {

// Copies the format into work and checks it; false when it must be refused.
template <typename Ch>
bool CheckFormat(const Ch *format, Ch *work, Ch wideZ) {
  int n = 0;
  while (format[n] && n < kFormatWorkChars) {
    work[n] = format[n];
    n++;
  }
  work[n] = 0;
  int args = 0;
  for (int i = 0; i < n; i++) {
    if (work[i] != '%') continue;
    i++;
    if (work[i] == '%') continue;
    while (work[i] == '#' || work[i] == '-' || work[i] == '.' || (work[i] >= '0' && work[i] <= '9')) i++;
    switch (work[i]) {
      case 'd': case 'i': case 'u': case 'x': case 'X': case 's': case 'S': case 'p':
        break;
      case 'Z':
        work[i] = wideZ;
        break;
      default:  // includes the end of the format
        return false;
    }
    if (++args > kFormatMaxArgs) return false;
  }
  return true;
}

// The formatted length: the system's count is not to be trusted when the
// output was cut at its limit.
template <typename Ch>
int Measure(const Ch *out) {
  int n = 0;
  while (n < kPlatFormatMax && out[n]) n++;
  return n;
}

template <typename Ch>
int Finish(Ch *dst, size_t capacity, const Ch *text, int len) {
  if (capacity == 0) return 1;
  size_t n = static_cast<size_t>(len) < capacity - 1 ? static_cast<size_t>(len) : capacity - 1;
  for (size_t i = 0; i < n; i++) dst[i] = text[i];
  dst[n] = 0;
  return static_cast<int>(n) + 1;
}

}  // namespace

int FormatV(char *dst, size_t capacity, const char *format, va_list args) {
  char work[kFormatWorkChars + 1];
  if (!CheckFormat<char>(format, work, 's')) return Finish<char>(dst, capacity, "", 0);
  char out[kPlatFormatMax + 2];
  out[0] = 0;
  PlatFormatV(out, work, args);
  return Finish<char>(dst, capacity, out, Measure(out));
}

int Format(char *dst, size_t capacity, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int r = FormatV(dst, capacity, format, args);
  va_end(args);
  return r;
}

int FormatWV(u16 *dst, size_t capacity, const u16 *format, va_list args) {
  u16 work[kFormatWorkChars + 1];
  static const u16 kEmpty[1] = {0};
  if (!CheckFormat<u16>(format, work, 'S')) return Finish<u16>(dst, capacity, kEmpty, 0);
  u16 out[kPlatFormatMax + 2];
  out[0] = 0;
  PlatFormatWV(out, work, args);
  return Finish<u16>(dst, capacity, out, Measure(out));
}

int FormatW(u16 *dst, size_t capacity, const u16 *format, ...) {
  va_list args;
  va_start(args, format);
  int r = FormatWV(dst, capacity, format, args);
  va_end(args);
  return r;
}
