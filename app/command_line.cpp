#include "app/command_line.h"

#include "foundation/ask_user.h"
#include "foundation/texts.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

const char *SkipBlanks(const char *p) {
  while (IsBlank(*p)) p++;
  return p;
}

// Reads `count` numbers separated by commas into values[]. Each number is
// reset to 0 before it is read; when no comma follows, the remaining numbers
// keep their values. Returns where parsing goes on.
const char *ReadNumbers(const char *p, i32 *const *values, int count) {
  for (int i = 0; i < count; i++) {
    if (i > 0) {
      p = SkipBlanks(p);
      if (*p != ',') return p;
      p++;
    }
    p = SkipBlanks(p);
    bool negative = false;
    if (*p == '-') {
      negative = true;
      p++;
    }
    u32 value = 0;  // wraps like the 32-bit value it is
    while (*p >= '0' && *p <= '9') value = value * 10u + static_cast<u32>(*p++ - '0');
    *values[i] = static_cast<i32>(negative ? 0u - value : value);
  }
  return p;
}

// A quoted string (to the closing quote, which is consumed) or a word (to the
// next blank, which is consumed). At most cap - 1 characters are kept.
const char *ReadString(const char *p, char *dst, u32 cap) {
  p = SkipBlanks(p);
  u32 n = 0;
  char end = 0;
  if (*p == '"') {
    end = '"';
    p++;
  }
  while (*p && (end ? *p != end : !IsBlank(*p))) {
    if (n + 1 < cap) dst[n++] = *p;
    p++;
  }
  dst[n] = 0;
  if (*p) p++;  // the closing quote or the blank
  return p;
}

void TakeFileName(const char *p, StartupOptions *o) {
  u32 n = 0;
  if (*p == '"') {
    for (p++; *p && *p != '"'; p++)
      if (n + 1 < kFileNameChars) o->fileName[n++] = *p;
  } else {
    for (; *p; p++)
      if (n + 1 < kFileNameChars) o->fileName[n++] = *p;
  }
  o->fileName[n] = 0;
}

void ReportUnknown(const char *option, const char *line, const StartupOptions *o) {
  if (o->noWarnings) return;
  AskUserFormat(nullptr, kAskWarning, Text(TXT_UNKNOWN_OPTION), option, line);
}

// Skips `n` characters of an option, but never past the end of the line.
const char *Advance(const char *p, int n) {
  while (n-- > 0 && *p) p++;
  return p;
}

}  // namespace

void ParseCommandLineText(const char *line, StartupOptions *o) {
  const char *p = line;
  if (*p == '"') {
    p++;
    while (*p && *p != '"') p++;
    if (*p) p++;
  } else {
    while (*p && !IsBlank(*p)) p++;
  }

  for (;;) {
    p = SkipBlanks(p);
    if (!*p) return;
    if (*p != '/') break;
    const char *option = p;
    char letter = p[1];
    // Options with a second letter: "/n?" and "//?".
    if (letter == 'n' || letter == '/') {
      char second = p[2];
      bool known = true;
      if (letter == '/') {
        if (second == 'p') o->forgetPosition++;
        else if (second == 's') o->forgetSize++;
        else known = false;
        p = Advance(p, 3);
      } else {
        p = Advance(p, 3);
        switch (second) {
          case 'f':
            ReadString(p, o->fileName, kFileNameChars);
            return;  // the rest of the line is ignored
          case 'l': o->noConfigLoad++; break;
          case 'm': return;  // the file name stays empty
          case 'n': {
            char comment[kFileNameChars];
            p = ReadString(p, comment, sizeof comment);
            break;
          }
          case 's': o->noConfigSave++; break;
          case 'w': o->noWarnings++; break;
          default: known = false;
        }
      }
      if (!known) ReportUnknown(option, line, o);
      continue;
    }

    p = Advance(p, 2);
    i32 *one[2];
    switch (letter) {
      case '?': o->help++; break;
      case 'A': o->encodingAnsi++; break;
      case 'U': o->encodingUtf8++; break;
      case 'W': o->encodingUnicode++; break;
      case 'E':  // the caret to the end: a selection from the end to the end
        o->hasSelection++;
        o->selectionStart = 0;
        o->selectionEnd = 0;
        break;
      case 'F': o->fullscreen++; break;
      case 'H': o->hidden++; break;
      case 'M': o->maximized++; break;
      case 'T': o->onTop++; break;
      case 'a':  // from position 1 (the start) to position 0 (the end)
        o->hasSelection++;
        o->selectionStart = 1;
        o->selectionEnd = 0;
        break;
      case 'b': o->createSilently++; break;
      case 'm': o->minimized++; break;
      case 'p': o->print++; break;
      case 'u': o->updateCheck++; break;
      case 'v': o->paste++; break;
      case 'c': o->hasColumn++; one[0] = &o->column; p = ReadNumbers(p, one, 1); break;
      case 'd': one[0] = &o->command; p = ReadNumbers(p, one, 1); break;
      case 'h': o->hasHeight++; one[0] = &o->height; p = ReadNumbers(p, one, 1); break;
      case 'l': o->hasLine++; one[0] = &o->line; p = ReadNumbers(p, one, 1); break;
      case 'w': o->hasWidth++; one[0] = &o->width; p = ReadNumbers(p, one, 1); break;
      case 'x': o->hasLeft++; one[0] = &o->left; p = ReadNumbers(p, one, 1); break;
      case 'y': o->hasTop++; one[0] = &o->top; p = ReadNumbers(p, one, 1); break;
      case 's':
        o->hasSelection++;
        one[0] = &o->selectionStart;
        one[1] = &o->selectionEnd;
        p = ReadNumbers(p, one, 2);
        break;
      case 'i': p = ReadString(p, o->configFile, kConfigPathChars); break;
      default: ReportUnknown(option, line, o);
    }
  }
  TakeFileName(p, o);
}
