// qpfind: the pattern engine on a file, from the command line.
//
//   qpfind [--escapes] [--regex] [--icase] [--words] [--lines] [--anynl]
//          [--backward] [--dump] PATTERN FILE
//
// Reads FILE into a text store, compiles PATTERN with the flags the options
// name, and prints every match of a full scan, one per line: the start and
// end of the match, then of groups 1-9 (-1 -1 for a group that did not take
// part). A forward scan continues at the end of each match, one position
// further after an empty one; --backward scans from the end towards the
// start, continuing before each match's start position. A compile error
// prints "error N: message", a warning "warning N: message" (and the scan
// goes on). Exit status: 0 found, 1 none, 2 error.
#include <stdio.h>
#include <string.h>

#include <vector>

#include "document/text_store.h"
#include "foundation/char_class.h"
#include "foundation/memory.h"
#include "foundation/texts.h"
#include "search/matcher.h"
#include "search/pattern.h"

namespace {

int Usage() {
  fprintf(stderr,
          "usage: qpfind [--escapes] [--regex] [--icase] [--words] [--lines] [--anynl] [--backward] [--dump] "
          "PATTERN FILE\n");
  return 2;
}

bool ReadFile(const char *path, TextStore *store) {
  FILE *f = fopen(path, "rb");
  if (!f) return false;
  std::vector<char> buf(1 << 20);
  bool ok = true;
  for (size_t n; (n = fread(buf.data(), 1, buf.size(), f)) > 0;) {
    if (StoreInsert(store, store->length, BytesSource(buf.data(), static_cast<u32>(n)), kStoreNoProgress) != 0) {
      ok = false;
      break;
    }
  }
  fclose(f);
  return ok;
}

long Signed(u32 v) { return v == kNoPosition ? -1L : static_cast<long>(v); }

void PrintMatch(const MatchGroups &g) {
  printf("%ld %ld", Signed(g.group[0].start), Signed(g.group[0].end));
  for (int k = 1; k < 10; k++) printf(" %ld %ld", Signed(g.group[k].start), Signed(g.group[k].end));
  printf("\n");
}

}  // namespace

int main(int argc, char **argv) {
  u32 flags = 0;
  bool backward = false, dump = false;
  const char *args[2];
  int count = 0;
  for (int i = 1; i < argc; i++) {
    const char *a = argv[i];
    if (!strcmp(a, "--escapes")) flags |= kPatternEscapes;
    else if (!strcmp(a, "--regex")) flags |= kPatternRegExps;
    else if (!strcmp(a, "--icase")) flags |= kPatternIgnoreCase;
    else if (!strcmp(a, "--words")) flags |= kPatternWholeWords;
    else if (!strcmp(a, "--lines")) flags |= kPatternWholeLines;
    else if (!strcmp(a, "--anynl")) flags |= kPatternAnyNewline;
    else if (!strcmp(a, "--backward")) backward = true;
    else if (!strcmp(a, "--dump")) dump = true;
    else if (count < 2) args[count++] = a;
    else return Usage();
  }
  if (count != 2) return Usage();
  InitCharClasses();
  BuildPatternClassTables();
  if (LoadTexts(&kBuiltinTextLoader) != 0) return 2;

  Document *doc = CreateDocument();
  if (!doc) return 2;
  TextStore &store = doc->store;
  if (!ReadFile(args[1], &store)) {
    fprintf(stderr, "qpfind: cannot read %s\n", args[1]);
    DestroyDocument(doc);
    return 2;
  }
  CompiledPattern *cp = static_cast<CompiledPattern *>(Allocate(sizeof(CompiledPattern)));
  if (!cp) return 2;
  PatternSettings settings = {0, 128};
  int r = CompilePattern(cp, args[0], flags | kPatternWholeContext, settings);
  int status = 1;
  if (r != 0) {
    printf("error %d: %s\n", r, Text(PatternErrorText(r)));
    status = 2;
  } else {
    if (cp->warning) printf("warning %d: %s\n", cp->warning, Text(PatternWarningText(cp->warning)));
    if (dump) {
      std::vector<char> text(DumpPattern(cp, nullptr, 0) + 1);
      DumpPattern(cp, text.data(), static_cast<u32>(text.size()));
      printf("%s\n", text.data());
    }
    const u32 length = store.length;
    MatchGroups g;
    u32 at;
    if (!backward) {
      u32 p = 0;
      for (;;) {
        int f = FindMatch(cp, doc, p, length, length, false, false, &g, &at);
        if (f < 0) {
          printf("error -1: %s\n", Text(PatternErrorText(-1)));
          status = 2;
          break;
        }
        if (f != kMatchFound) break;
        PrintMatch(g);
        status = 0;
        u32 next = g.group[0].end > g.group[0].start ? g.group[0].end : g.group[0].end + 1;
        if (next <= at) next = at + 1;
        if (next > length) break;
        p = next;
      }
    } else {
      u32 p = length;
      for (;;) {
        int f = FindMatch(cp, doc, p, 0, length, true, false, &g, &at);
        if (f < 0) {
          printf("error -1: %s\n", Text(PatternErrorText(-1)));
          status = 2;
          break;
        }
        if (f != kMatchFound) break;
        PrintMatch(g);
        status = 0;
        if (at == 0) break;
        p = at - 1;
      }
    }
  }
  FreePattern(cp);
  Free(cp);
  DestroyDocument(doc);
  FreeTexts();
  return status;
}
