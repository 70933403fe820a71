#include "tools/filter_command.h"

#include "foundation/platform.h"

namespace {

// The line being written: characters past the limit are counted, not stored,
// so that the result can say the line was too long.
struct Line {
  char *out;
  u32 length;
  bool nul;
  void Put(char c) {
    if (c == 0) nul = true;
    if (length < kFilterCommandChars) out[length] = c;
    length++;
  }
  void Put(const char *s, u32 n) {
    for (u32 i = 0; i < n; i++) Put(s[i]);
  }
};

bool Lead(char c) { return PlatIsLeadByte(kCodePageAnsi, static_cast<u8>(c)); }

u32 Length(const char *s) {
  u32 n = 0;
  if (s)
    while (s[n]) n++;
  return n;
}

// %~: in quotes, each quote doubled. A run of backslashes before a quote the
// child's runtime reads (a doubled one or the closing one) is doubled too,
// so that the run stays backslashes and the quote stays a quote: "C:\dir\"
// arrives as C:\dir\, not as C:\dir" and the rest of the line.
void PutDoubled(Line *line, const char *value, u32 n) {
  line->Put('"');
  u32 run = 0;
  for (u32 i = 0; i < n; i++) {
    const char c = value[i];
    if (Lead(c) && i + 1 < n) {
      // A double-byte character: its trail byte may be 0x5C or 0x22 and is
      // neither a backslash nor a quote.
      line->Put(c);
      line->Put(value[++i]);
      run = 0;
    } else if (c == '\\') {
      line->Put(c);
      run++;
    } else if (c == '"') {
      for (; run; run--) line->Put('\\');
      line->Put("\"\"", 2);
    } else {
      line->Put(c);
      run = 0;
    }
  }
  for (; run; run--) line->Put('\\');
  line->Put('"');
}

// %\: in quotes, each quote and each backslash preceded by a backslash.
void PutEscaped(Line *line, const char *value, u32 n) {
  line->Put('"');
  for (u32 i = 0; i < n; i++) {
    const char c = value[i];
    if (Lead(c) && i + 1 < n) {
      line->Put(c);
      line->Put(value[++i]);
      continue;
    }
    if (c == '"' || c == '\\') line->Put('\\');
    line->Put(c);
  }
  line->Put('"');
}

}  // namespace

int ExpandFilterCommand(const FilterCommandInput &in, char *out, FilterCommandUse *use) {
  Line line = {out, 0, false};
  FilterCommandUse found = {0, false, false};
  const char *t = in.templ ? in.templ : "";
  while (*t) {
    if (*t != '%') {
      line.Put(*t++);
      continue;
    }
    // A % form: %%, %x, %~x or %\x with x a digit 1-9, F or S.
    const char *form = t + 1;
    if (*form == '%') {
      line.Put('%');
      t += 2;
      continue;
    }
    const char quoting = (*form == '~' || *form == '\\') ? *form : 0;
    const char letter = quoting ? form[1] : form[0];
    const char *value = nullptr;
    u32 n = 0;
    if (letter >= '1' && letter <= '9') {
      found.params |= 1u << (letter - '1');
      value = in.params[letter - '1'] ? in.params[letter - '1'] : "";
      n = Length(value);
    } else if (letter == 'S') {
      found.selection = true;
      value = in.selection ? in.selection : "";
      n = in.selection ? in.selectionLength : 0;
    } else if (letter == 'F') {
      found.file = true;
      value = in.path ? in.path : "";
      n = Length(value);
    } else {
      line.Put(*t++);  // the % alone; what follows is copied as it comes
      continue;
    }
    if (quoting == '~') {
      PutDoubled(&line, value, n);
    } else if (quoting == '\\') {
      PutEscaped(&line, value, n);
    } else if (letter == 'F') {
      line.Put('"');
      line.Put(value, n);
      line.Put('"');
    } else {
      line.Put(value, n);
    }
    t = form + (quoting ? 2 : 1);
  }
  out[line.length < kFilterCommandChars ? line.length : kFilterCommandChars] = 0;
  if (use) *use = found;
  if (line.length > kFilterCommandChars) return kFilterCommandTooLong;
  return line.nul ? kFilterCommandHasNul : kFilterCommandOk;
}

u32 FilterSelectionBytes(const char *text, u32 length) {
  if (length <= kFilterSelectionBytes) return length;
  u32 i = 0;
  while (i < kFilterSelectionBytes) {
    const u32 step = Lead(text[i]) ? 2 : 1;
    if (i + step > kFilterSelectionBytes) break;
    i += step;
  }
  return i;
}
