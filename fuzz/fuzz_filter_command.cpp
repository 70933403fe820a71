// The filter command line against a plain reference expander: the first
// bytes choose parameter and selection lengths, the rest is the template and
// the values. The expansion must equal the reference (cut at the limit) and
// report the same forms and the same result.
#include <string.h>

#include <string>

#include "tools/filter_command.h"

namespace {

std::string Doubled(const std::string &v) {
  std::string r = "\"";
  size_t run = 0;
  for (char c : v) {
    if (c == '\\') {
      run++;
      r += c;
      continue;
    }
    if (c == '"') r += std::string(run, '\\') + "\"";
    run = 0;
    r += c;
  }
  return r + std::string(run, '\\') + "\"";
}

std::string Escaped(const std::string &v) {
  std::string r = "\"";
  for (char c : v) {
    if (c == '"' || c == '\\') r += '\\';
    r += c;
  }
  return r + "\"";
}

// The ANSI code page of the fuzzing machine is single-byte: no pairs.
std::string Reference(const std::string &t, const std::string params[9], const std::string &path,
                      const std::string &sel, FilterCommandUse *use) {
  std::string r;
  *use = {0, false, false};
  for (size_t i = 0; i < t.size(); i++) {
    if (t[i] != '%') {
      r += t[i];
      continue;
    }
    if (i + 1 < t.size() && t[i + 1] == '%') {
      r += '%';
      i++;
      continue;
    }
    size_t k = i + 1;
    char q = 0;
    if (k < t.size() && (t[k] == '~' || t[k] == '\\')) q = t[k++];
    const char x = k < t.size() ? t[k] : 0;
    std::string v;
    if (x >= '1' && x <= '9') {
      v = params[x - '1'];
      use->params |= 1u << (x - '1');
    } else if (x == 'S') {
      v = sel;
      use->selection = true;
    } else if (x == 'F') {
      v = path;
      use->file = true;
    } else {
      r += '%';
      continue;
    }
    r += q == '~' ? Doubled(v) : q == '\\' ? Escaped(v) : x == 'F' ? "\"" + v + "\"" : v;
    i = k;
  }
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size) {
  if (size < 11) return 0;
  // Ten lengths: nine parameters and the selection, taken from the end of
  // the data; scaled so that long lines are reached now and then.
  std::string bytes(reinterpret_cast<const char *>(data + 11), size - 11);
  std::string params[9];
  size_t at = 0;
  auto take = [&](size_t n) {
    n = n < bytes.size() - at ? n : bytes.size() - at;
    std::string s = bytes.substr(at, n);
    at += n;
    return s;
  };
  const bool wide = data[10] & 1;
  for (int i = 0; i < 9; i++) {
    params[i] = take(data[i] % 16 * (wide ? 64 : 1));
    params[i] = params[i].substr(0, strlen(params[i].c_str()));  // a parameter is a C string
  }
  const std::string sel = take(data[9] % 32);
  const std::string path = "C:\\a b\\c";
  std::string templ = bytes.substr(at);
  templ = templ.substr(0, strlen(templ.c_str()));
  FilterCommandInput in = {};
  in.templ = templ.c_str();
  for (int i = 0; i < 9; i++) in.params[i] = params[i].c_str();
  in.path = path.c_str();
  in.selection = sel.data();
  in.selectionLength = static_cast<u32>(sel.size());
  static char out[kFilterCommandChars + 2];
  out[kFilterCommandChars + 1] = 0x55;
  FilterCommandUse use, want;
  const int r = ExpandFilterCommand(in, out, &use);
  const std::string ref = Reference(templ, params, path, sel, &want);
  if (use.params != want.params || use.selection != want.selection || use.file != want.file) __builtin_trap();
  if (out[kFilterCommandChars + 1] != 0x55) __builtin_trap();
  if (ref.size() > kFilterCommandChars) {
    if (r != kFilterCommandTooLong) __builtin_trap();
    if (memcmp(out, ref.data(), kFilterCommandChars) != 0 || out[kFilterCommandChars]) __builtin_trap();
    return 0;
  }
  const int expected = ref.find('\0') != std::string::npos ? kFilterCommandHasNul : kFilterCommandOk;
  if (r != expected || memcmp(out, ref.data(), ref.size()) != 0 || out[ref.size()] != 0) __builtin_trap();
  return 0;
}
