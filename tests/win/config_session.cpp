// One session of the configuration code as a program of its own, so that the
// tests can run several at once against one store. The arguments are actions,
// done in order:
//
//   --ini PATH | --registry KEY     the store
//   load | save                     the start-up load; a save (result printed)
//   signal FILE | wait FILE         create a file; wait until one exists
//   tab N | font NAME | fav PATH | clip N TEXT | trip N
//   answer yes|no|cancel|ok         the answer to every later question
//   log FILE                        questions are appended to FILE
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "config/config_io.h"
#include "config/config_lists.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/random.h"
#include "foundation/texts.h"

namespace {

int g_answer = kAnswerOk;
char g_log[MAX_PATH];

int Answer(void *, WindowRef, const char *text, AskKind) {
  if (g_log[0]) {
    if (FILE *f = fopen(g_log, "ab")) {
      fprintf(f, "%s\n--\n", text);
      fclose(f);
    }
  }
  return g_answer;
}

int LoadResourceText(void *, u16 id, char *buf, int cap) {
  for (u32 i = 0, n = 0; i < 1; i++) {
    const BuiltinString *all = BuiltinStrings(&n);
    for (u32 k = 0; k < n; k++)
      if (all[k].id == id) return static_cast<int>(StrCopyN(buf, all[k].text, static_cast<size_t>(cap)) - buf);
  }
  buf[0] = 0;
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  static const Answerer answerer = {Answer, nullptr};
  InstallAnswerer(&answerer);
  TextLoader loader = {LoadResourceText, nullptr};
  if (ThreadSlotInit() != 0 || LoadTexts(&loader) != 0) return 90;
  SetDefaultSettings(&g_settings, true);
  for (int i = 1; i < argc; i++) {
    const char *a = argv[i];
    const char *next = i + 1 < argc ? argv[i + 1] : "";
    if (!strcmp(a, "--ini")) {
      StrCopyN(g_config.configFile, next, sizeof g_config.configFile);
      i++;
    } else if (!strcmp(a, "--registry")) {
      SetRegistryRoot(next);
      i++;
    } else if (!strcmp(a, "load")) {
      LoadConfigFrom(nullptr, nullptr);
      MemCopy(&g_baseline, &g_settings, sizeof g_settings);
    } else if (!strcmp(a, "save")) {
      int r = SaveConfig(nullptr, g_config.path, false, false);
      printf("save %d\n", r);
      if (r != 0) return 10;
    } else if (!strcmp(a, "signal")) {
      if (FILE *f = fopen(next, "wb")) fclose(f);
      i++;
    } else if (!strcmp(a, "wait")) {
      DWORD start = GetTickCount();
      while (GetFileAttributesA(next) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > 30000) return 20;
        Sleep(10);
      }
      i++;
    } else if (!strcmp(a, "tab")) {
      g_settings.edit.Tab = atoi(next);
      i++;
    } else if (!strcmp(a, "font")) {
      StrCopyN(g_settings.edit.LF1_.faceName, next, sizeof g_settings.edit.LF1_.faceName);
      i++;
    } else if (!strcmp(a, "fav")) {
      if (!AddFavourite(&g_settings, next)) return 30;
      i++;
    } else if (!strcmp(a, "clip") && i + 2 < argc) {
      if (!SetClip(atoi(next), argv[i + 2], static_cast<u32>(strlen(argv[i + 2])))) return 31;
      i += 2;
    } else if (!strcmp(a, "trip")) {
      g_config.tripCount += static_cast<u64>(atoi(next));
      i++;
    } else if (!strcmp(a, "answer")) {
      g_answer = !strcmp(next, "yes") ? kAnswerYes : !strcmp(next, "no") ? kAnswerNo
                                                   : !strcmp(next, "cancel") ? kAnswerCancel : kAnswerOk;
      i++;
    } else if (!strcmp(a, "log")) {
      StrCopyN(g_log, next, sizeof g_log);
      i++;
    } else {
      fprintf(stderr, "unknown action %s\n", a);
      return 2;
    }
  }
  return 0;
}
