// Auto-save and recovery on the 256 MiB text, under Wine: an auto-save
// against the Save of the same document and against writing its bytes with
// plain calls; an unmodified tick; an open that loads the recovery file
// against a plain open of the same bytes.
#include <algorithm>
#include <string>

#include "bench/bench.h"
#include "bench/win_bench.h"
#include "config/config_state.h"
#include "document/edit.h"
#include "document/text_store.h"
#include "editor/editor_window.h"
#include "files/auto_save.h"
#include "files/load.h"
#include "files/save.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/fault.h"
#include "foundation/memory.h"

namespace {

RecoveryFile g_recovery;

FileHooks Hooks() {
  FileHooks h = {};
  h.recoveryFor = [](void *, const char *path, char *out) { return RecoveryNameFor(path, out); };
  h.deleteRecovery = [](void *) { DeleteRecoveryFile(&g_recovery); };
  h.adoptRecovery = [](void *, const char *path) { StrCopyN(g_recovery.path, path, kPathChars); };
  return h;
}

void Modify(Document *doc) {
  SetSelection(doc, 0, 0);
  (void)ReplaceSelectionString(doc, "x", kReplaceCloseBefore | kReplaceCloseAfter, nullptr);
}

}  // namespace

void AutoSave(HWND editor, const char *path) {
  Document *doc = EditorOf(editor)->doc;
  const Answerer yes = {[](void *, WindowRef, const char *, AskKind kind) {
                          return kind == kAskYesNoCancel ? static_cast<int>(kAnswerYes) : static_cast<int>(kAnswerOk);
                        },
                        nullptr};
  const Answerer *previous = InstallAnswerer(&yes);
  const OpenRequest plain = {path, kDetectEncoding, 0, kOpenAsked | kOpenNoRecent};
  if (OpenFile(doc, plain, Hooks()) != 0) {
    printf("open failed\n");
    InstallAnswerer(previous);
    return;
  }
  const AutoSaveView view = {};
  double autoSave = 1e30, save = 1e30, write = 1e30;
  const u32 length = doc->store.length;
  char *bytes = static_cast<char *>(Allocate(length));
  for (int i = 0; bytes && i < 3; i++) {
    Modify(doc);
    double t0 = Now();
    if (AutoSaveNow(doc, &g_recovery, Hooks(), view) != 940) printf("(the auto-save failed)\n");
    autoSave = std::min(autoSave, Now() - t0);
    Modify(doc);
    t0 = Now();
    if (SaveAs(doc, path, kDocumentEncoding, 0, kSaveNoRecent, Hooks()) != 0) printf("(the save failed)\n");
    save = std::min(save, Now() - t0);
    // The bytes as they are in the file, written with plain calls.
    const u32 n = ReadText(&doc->store, 0, length, bytes, length, 0, nullptr);
    const std::string copy = std::string(path) + ".copy";
    t0 = Now();
    HANDLE f = CreateFileA(copy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (f == INVALID_HANDLE_VALUE || !WriteFile(f, bytes, n, &written, nullptr) || written != n) printf("(write failed)\n");
    CloseHandle(f);
    write = std::min(write, Now() - t0);
    DeleteFileA(copy.c_str());
  }
  Free(bytes);
  Report("auto_save_256MiB", autoSave, "s");
  Report("save_256MiB", save, "s");
  Report("write_the_bytes_256MiB", write, "s");
  Ratio("auto_save_vs_save", autoSave, save);
  Goal("auto_save_vs_save", autoSave / save, 1.1, "x");
  Ratio("auto_save_vs_writing_the_bytes", autoSave, write);
  Goal("auto_save_vs_writing_the_bytes", autoSave / write, 1.5, "x");
  // A tick with nothing modified touches no file.
  FaultInjector fi = {};
  {
    ScopedFaultInjector scope(&fi);
    (void)AutoSaveNow(doc, &g_recovery, Hooks(), view);
  }
  u32 calls = 0;
  for (u32 c : fi.calls) calls += c;
  Report("unmodified_tick_file_calls", calls, "");
  // Opening with the recovery file (loaded on Yes) against a plain open.
  Modify(doc);
  if (AutoSaveNow(doc, &g_recovery, Hooks(), view) != 940) printf("(the auto-save failed)\n");
  const std::string recovery = g_recovery.path;
  g_recovery.path[0] = 0;  // kept on disk for the opens below
  double recovered = 1e30, opened = 1e30;
  for (int i = 0; i < 3; i++) {
    const OpenRequest request = {path, kDetectEncoding, 0, kOpenAsked | kOpenNoRecent};
    double t0 = Now();
    (void)OpenFile(doc, request, Hooks());
    recovered = std::min(recovered, Now() - t0);
    if (g_recovery.path[0] == 0) printf("(the recovery file was not loaded)\n");
    g_recovery.path[0] = 0;
    t0 = Now();
    (void)OpenFile(doc, plain, FileHooks{});
    opened = std::min(opened, Now() - t0);
  }
  DeleteFileA(recovery.c_str());
  InstallAnswerer(previous);
  Report("open_with_recovery_256MiB", recovered, "s");
  Report("plain_open_256MiB", opened, "s");
  Ratio("open_with_recovery_vs_plain_open", recovered, opened);
  Goal("open_with_recovery_vs_plain_open", recovered / opened, 1.05, "x");
}
