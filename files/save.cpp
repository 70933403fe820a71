#include "files/save.h"

#include "config/config_lists.h"
#include "config/settings.h"
#include "document/edit.h"
#include "document/undo.h"
#include "files/backup.h"
#include "files/encoding.h"
#include "files/load.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/memory.h"
#include "foundation/safe_writer.h"

namespace {

constexpr u32 kPieceBytes = 1048576;
bool g_closeWithoutAsking;

void ReportProgress(void *context, u64 done, u64 total) {
  const FileHooks &hooks = *static_cast<const FileHooks *>(context);
  if (hooks.progress) hooks.progress(hooks.context, done, total);
}

void PhaseOf(void *context, int textSlot) { ShowPhase(*static_cast<const FileHooks *>(context), textSlot); }

void Range(const Document *doc, u32 flags, u32 *from, u32 *to) {
  if (flags & kSaveSelection) {
    *from = doc->selStart->position;
    *to = doc->selEnd->position;
  } else {
    *from = 0;
    *to = doc->store.length;
  }
}

// The whole text (or the selection) with the newline type applied, in the
// file's encoding. 0, 32 (declined), 513 or 523.
int EncodeAll(const Document *doc, u32 id, u32 codePageIndex, u32 flags, const FileHooks &hooks, ByteBuffer *out) {
  u32 from, to;
  Range(doc, flags, &from, &to);
  const u32 newlines = NewlineFlagsForOutput(doc->newlineType);
  u32 measured = MeasureText(&doc->store, from, to, newlines);
  if (!BufferReserve(out, static_cast<size_t>(measured) + 1)) return TextId(TXT_OUT_OF_MEMORY);
  out->length = ReadText(&doc->store, from, to, out->data, measured + 1, newlines, nullptr);
  if (id == kEncodingAnsi) return 0;
  ShowPhase(hooks, TXT_CONVERTING);
  size_t before = out->length;
  bool lost = false;
  ProgressSink sink = {ReportProgress, const_cast<FileHooks *>(&hooks), PhaseOf};
  int r = EncodeFromAnsi(id, codePageIndex, out, &lost, &sink);
  if (r == -1) return TextId(TXT_OUT_OF_MEMORY);
  if (r != 0 || (before > 0 && out->length == 0)) return TextId(TXT_CANNOT_SAVE);
  if (lost && !(flags & kSaveNoQuestion) && AskUser(hooks.owner, TXT_UNTRANSLATABLE, kAskYesNo) != kAnswerYes)
    return TextId(TXT_CANNOT_SAVE);
  return 0;
}

// The text straight from the store into the file, a megabyte at a time.
int WriteStreamed(const Document *doc, u32 id, u32 flags, const FileHooks &hooks, SafeWriter *w) {
  u32 from, to;
  Range(doc, flags, &from, &to);
  const u32 newlines = NewlineFlagsForOutput(doc->newlineType);
  ByteBuffer piece = {};
  if (!BufferReserve(&piece, kPieceBytes + 8)) return TextId(TXT_OUT_OF_MEMORY);
  int r = 0;
  for (u32 pos = from; pos < to && r == 0;) {
    u32 n = to - pos < kPieceBytes ? to - pos : kPieceBytes;
    while (n > 1 && MeasureText(&doc->store, pos, pos + n, newlines) > kPieceBytes) n /= 2;
    // A newline split between two pieces is written whole by the first (a
    // range ending inside one writes it); the next, starting inside it,
    // writes nothing of it.
    piece.length = ReadText(&doc->store, pos, pos + n, piece.data, kPieceBytes + 8, newlines, nullptr);
    if (id == kEncodingUtf8) {
      bool lost = false;
      int e = EncodeFromAnsi(kEncodingUtf8, 0, &piece, &lost, nullptr);
      if (e != 0) r = e == -1 ? TextId(TXT_OUT_OF_MEMORY) : TextId(TXT_CANNOT_SAVE);
    }
    if (r == 0) r = SafeWriterWrite(w, piece.data, static_cast<u32>(piece.length));
    pos += n;
    ReportProgress(const_cast<FileHooks *>(&hooks), pos - from, to - from);
  }
  BufferFree(&piece);
  return r;
}

bool SingleByteAnsi() { return !IsMultiByteCodePage(kCodePageAnsi); }

int ShowSaveFailure(const FileHooks &hooks, int r, const char *path) {
  int slot = TextSlotOfId(static_cast<u16>(r));
  if (slot >= 0) AskUser(hooks.owner, static_cast<TextSlot>(slot), kAskWarning, path);
  if (r != TextId(TXT_CANNOT_SAVE)) AskUser(hooks.owner, TXT_CANNOT_SAVE, kAskWarning, path);
  return kResultReported;
}

}  // namespace

void SetCloseWithoutAsking(bool on) { g_closeWithoutAsking = on; }

int WriteDocumentText(const Document *doc, SafeWriter *out, const WriteTextRequest &request, const FileHooks &hooks) {
  u32 id = request.encoding < kDocumentEncoding ? request.encoding : doc->encoding;
  const u32 codePage = request.encoding < kDocumentEncoding ? request.codePageIndex : doc->codePageIndex;
  ShowPhase(hooks, out ? TXT_WRITING : TXT_CONVERTING);
  int r = 0;
  if (id == kEncodingAnsi || (id == kEncodingUtf8 && SingleByteAnsi())) {
    // Nothing can go untranslated on this route: without an output there is
    // nothing to do.
    if (out) r = WriteStreamed(doc, id, request.flags, hooks, out);
  } else {
    ByteBuffer bytes = {};
    r = EncodeAll(doc, id, codePage, request.flags, hooks, &bytes);
    if (r == 0 && out) r = SafeWriterWrite(out, bytes.data, static_cast<u32>(bytes.length));
    BufferFree(&bytes);
  }
  if (r == 523 || r == 524) r = r == 523 ? TextId(TXT_CANNOT_SAVE) : TextId(TXT_DISK_FULL);
  return r;
}

int SaveFile(Document *doc, const char *path, u32 encoding, u32 codePageIndex, u32 flags, const FileHooks &hooks) {
  const FileSettings &f = g_settings.file;
  ShowPhase(hooks, TXT_PROCESSING);
  // The document's encoding and mark, unless this save names an encoding (then no mark).
  u32 id = doc->encoding;
  bool bom = doc->bomInEffect != 0;
  if (encoding < kDocumentEncoding) {
    id = encoding;
    bom = false;
  } else {
    codePageIndex = doc->codePageIndex;
  }
  const bool streamed = f.SStream && (id == kEncodingAnsi || (id == kEncodingUtf8 && SingleByteAnsi()));

  ByteBuffer bytes = {};
  int r = 0;
  if (!streamed) {
    r = EncodeAll(doc, id, codePageIndex, flags, hooks, &bytes);
    if (r != 0) {
      BufferFree(&bytes);
      return r;
    }
  }

  char backup[kBackupNameChars] = "";
  if (!(flags & kSaveNoBackup) && f.BAK) {
    BackupOptions options = {f.BAKKeep != 0, f.BAKTemp != 0, f.BAKHid != 0, f.TmpPath};
    r = MakeBackup(hooks.owner, path, options, backup);
    if (r != 0) {
      BufferFree(&bytes);
      return r;
    }
  }

  ShowPhase(hooks, TXT_WRITING);
  SafeWriter w;
  u32 hidden = (flags & kSaveRecovery) && f.ASHid ? kAttrHidden : 0;
  r = SafeWriterOpen(&w, path, hidden, f.SaveRO != 0);
  if (r == 0 && bom) {
    u32 n = 0;
    const char *mark = ByteOrderMark(id, &n);
    r = SafeWriterWrite(&w, mark, n);
  }
  if (r == 0) r = streamed ? WriteStreamed(doc, id, flags, hooks, &w) : SafeWriterWrite(&w, bytes.data, static_cast<u32>(bytes.length));
  BufferFree(&bytes);
  if (r == 0) {
    r = SafeWriterCommit(&w, f.SFlush && !(flags & kSaveNoFlush));
  } else {
    SafeWriterAbort(&w);
  }
  if (r == 523 || r == 524) r = r == 523 ? TextId(TXT_CANNOT_SAVE) : TextId(TXT_DISK_FULL);
  if (r != 0) return r;

  if (!(flags & kSaveNoBackup) && f.BAK && f.BAKDel && backup[0]) (void)PlatFileDelete(backup);
  if (!bom && (id == kEncodingUnicode || id == kEncodingUnicodeBigEndian)) return kResultStatusWarning;
  return 0;
}

int SaveAs(Document *doc, const char *path, u32 encoding, u32 codePageIndex, u32 flags, const FileHooks &hooks) {
  FileOperation busy;
  if (!busy.taken()) return kResultCancelled;
  const bool exclude = (flags & kSaveSelection) != 0;
  char target[kPathChars];
  if (path && path[0]) {
    StrCopyN(target, path, kPathChars);
  } else {
    StrCopyN(target, exclude ? "" : doc->filePath, kPathChars);
    if (!target[0] && !exclude &&
        !(g_settings.file.GTitle && hooks.proposeName && hooks.proposeName(hooks.context, target)))
      StrCopyN(target, Text(TXT_UNTITLED), kPathChars);
    if (!hooks.chooseSaveName || !hooks.chooseSaveName(hooks.context, target)) return kResultCancelled;
  }
  if (!exclude && hooks.stopWatch) hooks.stopWatch(hooks.context);
  int r = SaveFile(doc, target, encoding, codePageIndex, flags, hooks);
  ShowPhase(hooks, -1);
  if (r == kResultStatusWarning) {
    if (hooks.statusMessage) hooks.statusMessage(hooks.context, TXT_NO_BOM_WARNING);
    r = 0;
  }
  if (r == kResultCancelled) return r;
  if (r != 0) {
    // The document keeps its name; a watch stopped for the save goes on.
    if (!exclude && doc->filePath[0] && hooks.startWatch) hooks.startWatch(hooks.context, doc->filePath);
    return ShowSaveFailure(hooks, r, target);
  }
  if (!exclude) {
    if (g_settings.edit.RedUndo) ReduceJournals(&doc->undo, &doc->redo);
    MarkSaved(doc);
    doc->modified = 0;
    doc->modifiedSinceAutoSave = 0;
    if (hooks.deleteRecovery) hooks.deleteRecovery(hooks.context);
    if (encoding < kDocumentEncoding) SetDocumentEncoding(doc, EncodingRequest(encoding, 0, kEncodingForced), codePageIndex);
    char full[kPathChars];
    (void)PlatFullPath(target, full, kPathChars);
    if (hooks.registerInstance) hooks.registerInstance(hooks.context, full);
    StrCopyN(doc->filePath, full, kPathChars);
    if (!PlatFileTitle(full, doc->fileTitle, kPathChars)) StrCopyN(doc->fileTitle, full, kPathChars);
    if (hooks.startWatch) hooks.startWatch(hooks.context, full);
    if (hooks.titleChanged) hooks.titleChanged(hooks.context);
  } else if (ReplaceSelectionString(doc, "", kReplaceCloseBefore | kReplaceCloseAfter, nullptr) == 0) {
    AskUser(hooks.owner, TXT_OUT_OF_MEMORY, kAskWarning);
  }
  if (!(flags & kSaveNoRecent)) AddRecentFile(&g_settings, doc->filePath[0] && !exclude ? doc->filePath : target,
                                              ConfigTimeStamp());
  return 0;
}

int AskToSaveChanges(Document *doc, const FileHooks &hooks) {
  if (!doc->modified || g_closeWithoutAsking) return 0;
  char title[kPathChars];
  if (doc->filePath[0]) {
    StrCopyN(title, doc->fileTitle[0] ? doc->fileTitle : doc->filePath, kPathChars);
  } else {
    // An untitled document whose first line gives no name is not worth asking about.
    title[0] = 0;
    if (!hooks.proposeName || !hooks.proposeName(hooks.context, title) || !title[0]) return 0;
    StrCopyN(title, Text(TXT_UNTITLED), kPathChars);
  }
  switch (AskUser(hooks.owner, TXT_SAVE_CHANGES, kAskYesNoCancel, title)) {
    case kAnswerYes: {
      int r = SaveAs(doc, doc->filePath, kDocumentEncoding, 0, 0, hooks);
      return r == 0 ? 0 : r == kResultCancelled ? kResultCancelled : kResultReported;
    }
    case kAnswerNo:
      return 0;
    default:
      return kResultCancelled;
  }
}
