#include "app/file_commands.h"

#include "app/app_state.h"
#include "app/common_dialogs.h"
#include "app/file_watch.h"
#include "app/one_instance.h"
#include "app/search_bar.h"
#include "app/status_bar.h"
#include "config/config_state.h"
#include "editor/editor_messages.h"
#include "editor/editor_scroll.h"
#include "editor/editor_window.h"
#include "files/auto_save.h"
#include "files/load.h"
#include "files/save.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/format.h"
#include "foundation/texts.h"
#include "resources/resource.h"

namespace {

HFONT g_textFont, g_auxFont;

u32 FirstVisibleLine(void *) {
  EditorWindow *ed = EditorOf(g_app.editorWindow);
  return ed ? ed->topLine : 0;
}

void SetFirstVisibleLine(void *, u32 line) {
  EditorWindow *ed = EditorOf(g_app.editorWindow);
  if (!ed) return;
  ed->topLine = line;
  ApplyScroll(ed, 0);
}

void TitleChanged(void *) { UpdateCaption(); }

bool ChooseSave(void *, char *path) { return ChooseFileToSave(g_app.mainWindow, path); }

bool ProposeName(void *, char *name) {
  return g_app.editorWindow &&
         SendMessageA(g_app.editorWindow, EDM_SUGGESTFILENAME, reinterpret_cast<WPARAM>(name), 0) > 0;
}

// Loading and saving run on this thread: their phase texts show at once.
void Phase(void *, int slot) {
  if (slot >= 0) BeginProgress(Text(static_cast<TextSlot>(slot)), true);
  else EndProgress();
}

// The ".LOG" diary line waiting for the view to show the loaded text: 0
// none, 1 time first, 2 date first.
int g_diaryPending;

// The recovery file of the document: auto-save writes it, saving and
// opening another file delete it.
RecoveryFile g_recovery;

void DeleteRecovery(void *) { DeleteRecoveryFile(&g_recovery); }
bool RecoveryFor(void *, const char *path, char *out) { return RecoveryNameFor(path, out); }
void AdoptRecovery(void *, const char *path) {
  StrCopyN(g_recovery.path, path, kPathChars);
  SetField(kFieldModified, Text(TXT_AUTO_SAVE_MARK), true);
}

void AutoSaveField(void *, bool recovery) {
  SetField(kFieldModified, Text(recovery ? TXT_AUTO_SAVE_MARK : TXT_MODIFIED), true);
}
void AutoSaveMessage(void *, int slot) {
  if (slot >= 0) ShowMessage(Text(static_cast<TextSlot>(slot)), 2);
}

void QueueDiary(void *, bool dateFirst) { g_diaryPending = dateFirst ? 2 : 1; }

void AfterLoad() {
  StopHighlightRetry();
  SyncViewAfterLoad();
}

void Progress(void *, u64 done, u64 total) { ShowProgress(done, total); }

void RegisterInstance(void *, const char *path) { RegisterFile(path); }
void ReleaseInstance(void *) { ReleaseFile(); }
void StartWatch(void *, const char *path) { StartWatching(path); }
void StopWatch(void *) { StopWatching(); }

// Warnings of a successful operation outlive the end of the command.
void StatusText(void *, int slot) { ShowMessage(Text(static_cast<TextSlot>(slot)), 2); }

HFONT MakeFont(const FontRecord &record, bool underline) {
  LOGFONTA lf;
  static_assert(sizeof lf == sizeof record, "a font record is a LOGFONTA");
  MemCopy(&lf, &record, sizeof lf);
  // A stored record may come without the face name's terminator, or with
  // any height.
  lf.lfFaceName[LF_FACESIZE - 1] = 0;
  const u32 size = lf.lfHeight < 0 ? 0u - static_cast<u32>(lf.lfHeight) : static_cast<u32>(lf.lfHeight);
  int points = size > static_cast<u32>(kMaxFontPoints) ? kMaxFontPoints : static_cast<int>(size);
  points += g_settings.opts.Zoom;
  if (points < 1) points = 1;
  if (points > kMaxFontPoints) points = kMaxFontPoints;
  HDC dc = GetDC(nullptr);
  lf.lfHeight = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
  ReleaseDC(nullptr, dc);
  lf.lfWidth = 0;
  if (underline) lf.lfUnderline = 1;
  return CreateFontIndirectA(&lf);
}

}  // namespace

void SyncViewAfterLoad() {
  HWND editor = g_app.editorWindow;
  if (!editor || !EditorOf(editor)) {
    g_diaryPending = 0;
    return;
  }
  SendMessageA(editor, EDM_REFRESH, 1270, 0);
  SendMessageA(editor, EDM_UPDATE, 0, 0);
  UpdateDocumentFields(editor);
  if (g_diaryPending) {
    // The date and time go at the end of the text, as one edit.
    const int id = g_diaryPending == 2 ? IDM_EDIT_DATE_TIME : IDM_EDIT_TIME_DATE;
    g_diaryPending = 0;
    LRESULT length = SendMessageA(editor, EDM_GETTEXTLENGTHRAW, 0, 0);
    SendMessageA(editor, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageA(editor, WM_COMMAND, id, 0);
  }
  UpdateCaption();
}

Document *AppDocument() {
  EditorWindow *ed = g_app.editorWindow ? EditorOf(g_app.editorWindow) : nullptr;
  return ed ? ed->doc : nullptr;
}

FileHooks AppFileHooks() {
  FileHooks h = {};
  h.owner = g_app.mainWindow;
  h.phase = Phase;
  h.progress = Progress;
  h.statusMessage = StatusText;
  h.firstVisibleLine = FirstVisibleLine;
  h.setFirstVisibleLine = SetFirstVisibleLine;
  h.titleChanged = TitleChanged;
  h.chooseSaveName = ChooseSave;
  h.proposeName = ProposeName;
  h.insertDateTime = QueueDiary;
  h.deleteRecovery = DeleteRecovery;
  h.recoveryFor = RecoveryFor;
  h.adoptRecovery = AdoptRecovery;
  h.registerInstance = RegisterInstance;
  h.releaseInstance = ReleaseInstance;
  h.startWatch = StartWatch;
  h.stopWatch = StopWatch;
  return h;
}

int CommandNew() {
  Document *doc = AppDocument();
  if (!doc) return kResultReported;
  OpenRequest request = {"", kDetectEncoding, 0, 0};
  int r = OpenFile(doc, request, AppFileHooks());
  AfterLoad();
  return r == kResultReported ? kResultReported : r;
}

int CommandOpen() { return CommandImport(kDetectEncoding, 0); }

int CommandOpenPath(const char *path) {
  Document *doc = AppDocument();
  if (!doc) return kResultReported;
  OpenRequest request = {path, kDetectEncoding, 0, 0};
  int r = OpenFile(doc, request, AppFileHooks());
  AfterLoad();
  return r;
}

int CommandSave() {
  Document *doc = AppDocument();
  if (!doc) return kResultReported;
  int r = SaveAs(doc, doc->filePath, kDocumentEncoding, 0, 0, AppFileHooks());
  UpdateDocumentFields(g_app.editorWindow);
  UpdateCaption();
  return r;
}

int CommandSaveAs() {
  Document *doc = AppDocument();
  if (!doc) return kResultReported;
  int r = SaveAs(doc, nullptr, kDocumentEncoding, 0, 0, AppFileHooks());
  UpdateDocumentFields(g_app.editorWindow);
  UpdateCaption();
  return r;
}

int CommandRevert() {
  Document *doc = AppDocument();
  if (!doc || !doc->filePath[0]) return kResultCancelled;
  OpenRequest request = {doc->filePath, kDetectEncoding, 0, kOpenRevert};
  int r = OpenFile(doc, request, AppFileHooks());
  AfterLoad();
  if (r == 0) NoteOwnFileTime(doc->filePath);  // the watch goes on
  return r;
}

int OpenDroppedFiles(HDROP drop) {
  Document *doc = AppDocument();
  const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  FileHooks hooks = AppFileHooks();
  int r = doc ? 0 : kResultReported;
  for (UINT i = 0; i < count && r == 0; i++) {
    char path[kPathChars];
    const UINT length = DragQueryFileA(drop, i, nullptr, 0);
    if (length >= sizeof path) {
      // Too long to open: say which file, in full, rather than open another.
      char name[2048];
      DragQueryFileA(drop, i, name, sizeof name);
      AskUser(g_app.mainWindow, TXT_CANNOT_READ, kAskWarning, name);
      r = kResultReported;
      break;
    }
    DragQueryFileA(drop, i, path, sizeof path);
    if (i == 0) {
      OpenRequest request = {path, kDetectEncoding, 0, 0};
      r = OpenFile(doc, request, hooks);
      AfterLoad();
      if (r != 0 || count < 2) break;
      if (AskUser(g_app.mainWindow, TXT_JOIN_DROPPED, kAskYesNo) != kAnswerYes) break;
      continue;
    }
    const u32 end = doc->store.length;
    SendMessageA(g_app.editorWindow, EM_SETSEL, end, end);
    OpenRequest request = {path, kDetectEncoding, 0, kOpenInclude | kOpenNoRecent};
    r = OpenFile(doc, request, hooks);
    AfterLoad();
  }
  DragFinish(drop);
  return r;
}

int CommandImport(u32 encoding, u32 codePageIndex) {
  Document *doc = AppDocument();
  if (!doc) return kResultReported;
  FileHooks hooks = AppFileHooks();
  int r = AskToSaveChanges(doc, hooks);
  if (r != 0) return r;
  char path[kPathChars];
  if (!ChooseFileToOpen(g_app.mainWindow, path)) return kResultCancelled;
  OpenRequest request = {path, encoding, codePageIndex, kOpenAsked};
  r = OpenFile(doc, request, hooks);
  AfterLoad();
  return r;
}

int CommandExport(u32 encoding, u32 codePageIndex) {
  Document *doc = AppDocument();
  if (!doc) return kResultReported;
  int r = SaveAs(doc, nullptr, encoding, codePageIndex, 0, AppFileHooks());
  UpdateDocumentFields(g_app.editorWindow);
  UpdateCaption();
  return r;
}

int CommandReopen(u32 encoding, u32 codePageIndex) {
  Document *doc = AppDocument();
  if (!doc || !doc->filePath[0]) return kResultCancelled;
  OpenRequest request = {doc->filePath, encoding, codePageIndex, kOpenReopen};
  int r = OpenFile(doc, request, AppFileHooks());
  AfterLoad();
  UpdateDocumentFields(g_app.editorWindow);
  return r;
}

int CommandInclude() {
  Document *doc = AppDocument();
  if (!doc) return kResultReported;
  char path[kPathChars];
  if (!ChooseFileToOpen(g_app.mainWindow, path)) return kResultCancelled;
  OpenRequest request = {path, kDetectEncoding, 0, kOpenInclude | kOpenNoRecent};
  int r = OpenFile(doc, request, AppFileHooks());
  AfterLoad();
  return r;
}

int CommandExclude() {
  Document *doc = AppDocument();
  if (!doc || doc->selStart->position == doc->selEnd->position) return kResultCancelled;
  int r = SaveAs(doc, nullptr, kDocumentEncoding, 0, kSaveSelection, AppFileHooks());
  UpdateDocumentFields(g_app.editorWindow);
  UpdateCaption();
  return r;
}

void ReleaseFileState() {
  ReleaseFile();
  StopWatching();
  DeleteRecoveryFile(&g_recovery);  // forgotten first when the file was handed over
}

int AskBeforeClosing() {
  Document *doc = AppDocument();
  if (!doc || g_app.exitWithoutSaving) return 0;
  return AskToSaveChanges(doc, AppFileHooks());
}

void UpdateCaption() {
  if (!g_app.mainWindow) return;
  Document *doc = AppDocument();
  char caption[kPathChars * 2 + 64];
  const char *name = doc && doc->fileTitle[0] ? doc->fileTitle : Text(TXT_UNTITLED);
  char *p = caption;
  if (doc && doc->modified) *p++ = '*';
  size_t room = sizeof caption - static_cast<size_t>(p - caption);
  if (g_settings.main.FulPath && doc && doc->filePath[0])
    Format(p, room, Text(TXT_CAPTION_FULL_PATH), name, doc->filePath, Text(TXT_PRODUCT));
  else
    Format(p, room, Text(TXT_CAPTION), name, Text(TXT_PRODUCT));
  SetWindowTextA(g_app.mainWindow, caption);
}

void ApplyEditorFonts() {
  const FontRecord &record = g_settings.opts.CFont ? g_settings.edit.LF2_ : g_settings.edit.LF1_;
  HFONT text = MakeFont(record, false);
  HFONT aux = MakeFont(record, true);
  if (!text) {
    if (aux) DeleteObject(aux);
    return;
  }
  if (g_app.editorWindow)
    SendMessageA(g_app.editorWindow, EDM_SETFONTS, reinterpret_cast<WPARAM>(text), reinterpret_cast<LPARAM>(aux));
  FreeEditorFonts();
  g_textFont = text;
  g_auxFont = aux;
}

void FreeEditorFonts() {
  if (g_textFont) DeleteObject(g_textFont);
  if (g_auxFont) DeleteObject(g_auxFont);
  g_textFont = g_auxFont = nullptr;
}

void ApplyAutoSaveTimer() {
  if (!g_app.mainWindow) return;
  if (g_settings.file.AS)
    SetTimer(g_app.mainWindow, kAutoSaveTimer, AutoSavePeriod(), nullptr);
  else
    KillTimer(g_app.mainWindow, kAutoSaveTimer);
}

void AutoSaveTick() {
  Document *doc = AppDocument();
  if (!doc) return;
  const AutoSaveView view = {nullptr, AutoSaveField, AutoSaveMessage};
  if (AutoSaveNow(doc, &g_recovery, AppFileHooks(), view) && !doc->modified) {
    // Saved over the file itself: nothing is modified any more.
    SetField(kFieldModified, "", true);
  }
}

void ForgetRecoveryFile() { g_recovery.path[0] = 0; }

const char *CurrentRecoveryFile() { return g_recovery.path; }
