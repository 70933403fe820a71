#include "files/load.h"

#include "config/config_lists.h"
#include "config/settings.h"
#include "document/edit.h"
#include "document/undo.h"
#include "files/encoding.h"
#include "files/save.h"
#include "files/stream_load.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/memory.h"
#include "foundation/platform.h"

namespace {

constexpr u32 kTwoGiB = 0x80000000u;
constexpr u32 kViewBytes = 8388608;

void Progress(const FileHooks &hooks, u64 done, u64 total) {
  if (hooks.progress) hooks.progress(hooks.context, done, total);
}

void ReportProgress(void *context, u64 done, u64 total) {
  Progress(*static_cast<const FileHooks *>(context), done, total);
}

void PhaseOf(void *context, int textSlot) { ShowPhase(*static_cast<const FileHooks *>(context), textSlot); }

void SetName(Document *doc, const char *path, const FileHooks &hooks) {
  if (path && path[0]) {
    StrCopyN(doc->filePath, path, kPathChars);
    if (!PlatFileTitle(path, doc->fileTitle, kPathChars)) {
      // The name after the last separator will do.
      const char *name = path;
      for (const char *p = path; *p; p++)
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
      StrCopyN(doc->fileTitle, name, kPathChars);
    }
  } else {
    doc->filePath[0] = 0;
    doc->fileTitle[0] = 0;
  }
  if (hooks.titleChanged) hooks.titleChanged(hooks.context);
}

void AddRecent(const char *path) {
  if (path[0]) AddRecentFile(&g_settings, path, ConfigTimeStamp());
}

// The bytes of a file, read whole into one block of size + 3 (three zero
// bytes after the data). 0, 96 (created), 32, 513 or 517.
int ReadWhole(const char *path, u32 flags, const FileHooks &hooks, bool sizeAsked, char **data, u32 *size) {
  *data = nullptr;
  *size = 0;
  ShowPhase(hooks, TXT_READING);
  PlatFile f = PlatFileOpen(path, kPlatOpenRead);
  if (!f) {
    // Include, Revert and Re-open need the file as it is: a missing one is
    // a failed read, never a new empty file.
    if (PlatFileExists(path) || (flags & (kOpenInclude | kOpenRevert | kOpenReopen))) return TextId(TXT_CANNOT_READ);
    if (!(flags & kOpenCreate) && AskUser(hooks.owner, TXT_CREATE_FILE, kAskYesNo, path) != kAnswerYes)
      return TextId(TXT_CANNOT_READ);
    PlatFile created = PlatFileOpen(path, kPlatOpenAlways);
    if (!created) return TextId(TXT_CANNOT_READ);
    PlatFileClose(created);
    return kResultCreated;
  }
  u64 length = 0;
  int r = 0;
  if (!PlatFileSize(f, &length) || length >= kTwoGiB) {
    r = TextId(TXT_CANNOT_READ);
  } else if (!sizeAsked && g_settings.file.Limit > 0 && length >= static_cast<u64>(g_settings.file.Limit) &&
             AskUser(hooks.owner, TXT_FILE_TOO_BIG, kAskYesNo, path) != kAnswerYes) {
    r = kResultCancelled;
  } else {
    char *block = static_cast<char *>(Allocate(static_cast<size_t>(length) + 3));
    if (!block) {
      r = TextId(TXT_OUT_OF_MEMORY);
    } else {
      u64 done = 0;
      while (done < length && r == 0) {
        u32 want = length - done > kViewBytes ? kViewBytes : static_cast<u32>(length - done);
        u32 got = 0;
        if (!PlatFileRead(f, block + done, want, &got) || got == 0)
          r = TextId(TXT_CANNOT_READ);
        done += got;
        Progress(hooks, done, length);
      }
      if (r == 0) {
        block[length] = block[length + 1] = block[length + 2] = 0;
        *data = block;
        *size = static_cast<u32>(length);
      } else {
        Free(block);
      }
    }
  }
  PlatFileClose(f);
  return r;
}

// A text made ready beside the document: a store of its own and what the
// file said about it. The document changes only when the text is put in
// place, which cannot fail, so that a read that fails half-way (a file
// deleted, locked or half-replaced by another program, memory running out)
// leaves the document, its name and its undo steps exactly as they were.
struct StagedText {
  TextStore store;
  bool made;             // the store exists and must be freed if not used
  u32 encodingRequest;   // for SetDocumentEncoding
  u32 newlineType;
  bool diary;
};

// An empty store made as the document's (maintained range sets, progress).
bool MakeStoreLike(const Document *doc, StagedText *staged) {
  if (!InitialiseStore(&staged->store, 64, 512)) return false;
  for (u32 k = 0; k < kRangeSetCount; k++) staged->store.rangeSets[k].maintained = doc->store.rangeSets[k].maintained;
  staged->store.progress = doc->store.progress;
  staged->made = true;
  return true;
}

void DropStaged(StagedText *staged) {
  if (staged->made) FreeStore(&staged->store);
  staged->made = false;
}

// The staged store becomes the document's: journals cleared, caret and
// anchor at 0, the view told, unmodified.
void InstallStore(Document *doc, StagedText *staged) {
  ClearJournal(&doc->undo);
  ClearJournal(&doc->redo);
  FreeStore(&doc->store);
  doc->store = staged->store;
  staged->made = false;
  SetSelection(doc, 0, 0);
  AnnounceText(doc);
  MarkSaved(doc);
  doc->modified = 0;
  doc->modifiedSinceAutoSave = 0;
}

// Fills an empty store from a heap buffer of more than 256 MiB: the text is
// parked in the paging file and the buffer freed (*buffer becomes null)
// first, so that the heap holds either the buffer or the store, never both.
bool FillFromLargeBuffer(TextStore *store, char **buffer, u32 length, const FileHooks &hooks) {
  ShowPhase(hooks, TXT_PAGING);
  PlatMapping mapping = PlatCreateMapping(length);
  bool ok = mapping != nullptr;
  // The rows are counted on the way, so that the row table can be made once
  // at its full size instead of growing view by view.
  u32 newRows = 0;
  bool pendingCR = false;
  for (u32 done = 0; ok && done < length;) {
    u32 n = length - done > kViewBytes ? kViewBytes : length - done;
    void *view = PlatMapView(mapping, done, n);
    if (!view) {
      ok = false;
      break;
    }
    MemCopy(view, *buffer + done, n);
    newRows += CountNewRows(*buffer + done, n, &pendingCR);
    PlatUnmapView(view, n);
    done += n;
    Progress(hooks, done, length);
  }
  Free(*buffer);
  *buffer = nullptr;
  if (!ok) {
    PlatCloseMapping(mapping);
    return false;
  }
  ShowPhase(hooks, TXT_PROCESSING);
  // Without the room reserved the appends still succeed, growing the tables
  // as they go; a shortage shows there.
  (void)ReserveForAppend(store, length, newRows);
  for (u32 done = 0; ok && done < length;) {
    u32 n = length - done > kViewBytes ? kViewBytes : length - done;
    void *view = PlatMapView(mapping, done, n);
    ok = view && StoreInsert(store, done, BytesSource(static_cast<const char *>(view), n), kStoreNoProgress) == 0;
    if (view) PlatUnmapView(view, n);
    done += n;
    Progress(hooks, done, length);
  }
  PlatCloseMapping(mapping);
  return ok;
}

// A large file that needs no conversion is staged without a copy of it
// (stream_load.h). kNotStreamed when it takes the whole-buffer route;
// *sizeAsked tells whether the size question was asked on the way.
int TryStreaming(const Document *doc, const char *path, u32 encoding, const FileHooks &hooks, StagedText *staged,
                 bool *sizeAsked) {
  *sizeAsked = false;
  PlatFile f = PlatFileOpen(path, kPlatOpenRead);
  if (!f) return kNotStreamed;
  u64 length = 0;
  const bool sized = PlatFileSize(f, &length);
  PlatFileClose(f);
  if (!sized || length >= kTwoGiB || length < g_streamLoadMinimum) return kNotStreamed;
  const u32 size = static_cast<u32>(length);
  if (g_settings.file.Limit > 0 && length >= static_cast<u64>(g_settings.file.Limit)) {
    *sizeAsked = true;
    if (AskUser(hooks.owner, TXT_FILE_TOO_BIG, kAskYesNo, path) != kAnswerYes) return kResultCancelled;
  }
  ShowPhase(hooks, TXT_READING);
  StreamScan scan;
  const int forced = encoding < kDetectEncoding ? static_cast<int>(encoding) : -1;
  const u32 crlf = static_cast<u32>(g_settings.file.CRLF) & 3;
  if (ScanForStreaming(path, size, forced, DetectOptions{static_cast<u32>(g_settings.file.Encode), g_settings.file.AutoUni != 0},
                       crlf, g_settings.file.NoMixNl != 0, hooks, &scan) != 0) {
    return kNotStreamed;
  }
  ShowPhase(hooks, TXT_CONVERTING);
  staged->encodingRequest = EncodingRequest(scan.id, 0, forced >= 0 ? kEncodingForced : 0);
  if (scan.newlines.nulCount && g_settings.file.WarnBin) AskUser(hooks.owner, TXT_BINARY_FILE, kAskWarning);
  staged->newlineType = size ? scan.newlines.type : ReduceNewlineType(static_cast<u32>(g_settings.file.CRLF), g_settings.file.NoMixNl != 0);
  staged->diary = scan.diary;
  if (!MakeStoreLike(doc, staged)) return TextId(TXT_OUT_OF_MEMORY);
  return StreamIntoStore(&staged->store, path, size, scan.rows, hooks);
}

// The whole-buffer route up to the decoded text: read, detect, convert to
// ANSI, find the newlines. 0 with *text holding the text (the caller frees
// it), or the code of Read file.
int ReadAndDecode(const char *path, u32 encoding, u32 codePageIndex, u32 flags, const FileHooks &hooks,
                  bool sizeAsked, ByteBuffer *text, u32 *encodingRequest, NewlineScan *scan) {
  *text = ByteBuffer{};
  char *data = nullptr;
  u32 size = 0;
  int r = ReadWhole(path, flags, hooks, sizeAsked, &data, &size);
  if (r != 0) return r;

  ShowPhase(hooks, TXT_CONVERTING);
  DetectedEncoding d = DetectEncoding(reinterpret_cast<const u8 *>(data), size,
                                      encoding < kDetectEncoding ? static_cast<int>(encoding) : -1,
                                      DetectOptions{static_cast<u32>(g_settings.file.Encode), g_settings.file.AutoUni != 0});
  *encodingRequest = EncodingRequest(d.id, d.bom ? 1 : 0, encoding < kDetectEncoding ? kEncodingForced : 0);
  u32 textLength = size - d.textOffset;
  if ((d.id == kEncodingUnicode || d.id == kEncodingUnicodeBigEndian) && (textLength & 1) &&
      AskUser(hooks.owner, TXT_ODD_UNICODE, kAskYesNo, path) != kAnswerYes) {
    Free(data);
    return kResultCancelled;
  }
  if (d.textOffset) MemCopy(data, data + d.textOffset, textLength);
  ByteBuffer decoded = {data, textLength, static_cast<size_t>(size) + 3};
  bool lost = false;
  ProgressSink sink = {ReportProgress, const_cast<FileHooks *>(&hooks), PhaseOf};
  r = DecodeToAnsi(d.id, codePageIndex, &decoded, &lost, &sink);
  if (r != 0) {
    BufferFree(&decoded);
    return r == -1 ? TextId(TXT_OUT_OF_MEMORY) : TextId(TXT_CANNOT_READ);
  }
  if (lost && AskUser(hooks.owner, TXT_UNTRANSLATABLE, kAskYesNo) != kAnswerYes) {
    BufferFree(&decoded);
    return TextId(TXT_CANNOT_READ);
  }
  if (decoded.length > 0xFFFFFFFEu) {
    BufferFree(&decoded);
    return TextId(TXT_CANNOT_READ);
  }
  *scan = DetectNewlines(decoded.data, static_cast<u32>(decoded.length), static_cast<u32>(g_settings.file.CRLF) & 3,
                         g_settings.file.NoMixNl != 0);
  if (scan->nulCount && g_settings.file.WarnBin) AskUser(hooks.owner, TXT_BINARY_FILE, kAskWarning);
  *text = decoded;
  return 0;
}

}  // namespace

void AnnounceText(Document *doc) {
  const DocumentEvents &e = doc->events;
  if (e.relayout) (void)e.relayout(e.context, doc, 0, doc->store.length);
  if (e.repaint) e.repaint(e.context, doc, 0, 0, true, 0);
  if (e.notify) e.notify(e.context, doc, kNotifyChange);
}

void SetDocumentEncoding(Document *doc, u32 request, u32 codePageIndex) {
  EncodingState st = {doc->encoding, doc->codePageIndex, doc->bomWanted, doc->bomInEffect, doc->encodingFlags};
  ApplyEncodingRequest(&st, request, codePageIndex);
  doc->encoding = st.id;
  doc->codePageIndex = st.codePageIndex;
  doc->bomWanted = st.bomWanted;
  doc->bomInEffect = st.bomInEffect;
  doc->encodingFlags = st.flags;
}

void SetDefaultFileState(Document *doc) {
  const FileSettings &f = g_settings.file;
  SetDocumentEncoding(doc, EncodingRequest(static_cast<u32>(f.Encode) % 4, f.BOM ? 1 : 0, 0), 0xFFFFFFFFu);
  doc->newlineType = ReduceNewlineType(static_cast<u32>(f.CRLF), g_settings.file.NoMixNl != 0);
}

int SetDocumentText(Document *doc, const char *text, u32 length, const FileHooks &hooks) {
  ShowPhase(hooks, TXT_PROCESSING);
  ClearJournal(&doc->undo);
  ClearJournal(&doc->redo);
  int ok = ResetStore(doc, 64, 512) == 0 &&
           (length == 0 || StoreInsert(&doc->store, 0, BytesSource(text, length), 0) == 0);
  SetSelection(doc, 0, 0);
  AnnounceText(doc);
  if (!ok) {
    doc->modified = 1;
    return 0;
  }
  MarkSaved(doc);
  doc->modified = 0;
  doc->modifiedSinceAutoSave = 0;
  return 1;
}

int SetDocumentTextFromLargeBuffer(Document *doc, char **buffer, u32 length, const FileHooks &hooks) {
  // The old text goes first: the heap never holds it beside the new one.
  (void)SetDocumentText(doc, "", 0, hooks);
  StagedText staged = {};
  const bool ok = MakeStoreLike(doc, &staged) && FillFromLargeBuffer(&staged.store, buffer, length, hooks);
  if (*buffer) {
    Free(*buffer);
    *buffer = nullptr;
  }
  if (!ok) {
    DropStaged(&staged);
    doc->modified = 1;
    return 0;
  }
  InstallStore(doc, &staged);
  return 1;
}

int ReadFileIntoDocument(Document *doc, const char *path, u32 encoding, u32 codePageIndex, u32 flags,
                         const FileHooks &hooks, bool *diary) {
  *diary = false;
  const bool include = (flags & kOpenInclude) != 0;
  StagedText staged = {};
  bool sizeAsked = false;
  int r = kNotStreamed;
  if (!include) r = TryStreaming(doc, path, encoding, hooks, &staged, &sizeAsked);
  if (r == kNotStreamed) {
    ByteBuffer text;
    NewlineScan scan;
    r = ReadAndDecode(path, encoding, codePageIndex, flags, hooks, sizeAsked, &text, &staged.encodingRequest, &scan);
    if (r != 0) return r;
    const u32 length = static_cast<u32>(text.length);
    if (include) {
      const int done = ReplaceSelectionCounted(doc, text.data, length, kReplaceFromBytes, nullptr);
      BufferFree(&text);
      return done != 0 ? 0 : TextId(TXT_OUT_OF_MEMORY);
    }
    staged.newlineType = length ? scan.type : ReduceNewlineType(static_cast<u32>(g_settings.file.CRLF), g_settings.file.NoMixNl != 0);
    staged.diary = length >= 4 && MemCompare(text.data, ".LOG", 4) == 0;
    bool ok = MakeStoreLike(doc, &staged);
    if (ok && length > kLargeText) {
      ok = FillFromLargeBuffer(&staged.store, &text.data, length, hooks);
    } else if (ok && length > 0) {
      ShowPhase(hooks, TXT_PROCESSING);
      ok = StoreInsert(&staged.store, 0, BytesSource(text.data, length), 0) == 0;
    }
    BufferFree(&text);
    r = ok ? 0 : TextId(TXT_OUT_OF_MEMORY);
  }
  if (r != 0) {
    DropStaged(&staged);
    return r;
  }
  SetDocumentEncoding(doc, staged.encodingRequest, codePageIndex);
  doc->newlineType = staged.newlineType;
  InstallStore(doc, &staged);
  *diary = staged.diary;
  return 0;
}

int OpenFile(Document *doc, const OpenRequest &request, const FileHooks &hooks) {
  FileOperation busy;
  if (!busy.taken()) return kResultCancelled;
  const u32 flags = request.flags;
  const bool include = (flags & kOpenInclude) != 0;
  const bool reverting = (flags & (kOpenRevert | kOpenReopen)) != 0;

  // 1. Unsaved changes.
  if (!(flags & (kOpenAsked | kOpenInclude | kOpenRevert | kOpenReopen))) {
    busy.Suspend();
    int r = AskToSaveChanges(doc, hooks);
    busy.Resume();
    if (r != 0) return r;
  }

  // 2. Revert and Re-open: the question, the encoding, what to keep.
  u32 encoding = request.encoding, codePageIndex = request.codePageIndex;
  u32 keptAnchor = 0, keptCaret = 0, keptLine = 0;
  if (reverting) {
    if (!doc->filePath[0]) return kResultCancelled;  // nothing to read again
    if ((flags & kOpenRevertChanged) && !g_settings.file.ARevert) {
      int answer = AskUser(hooks.owner, TXT_CHANGED_ON_DISK, kAskYesNoCancel, doc->filePath);
      if (answer == kAnswerCancel && hooks.stopWatch) hooks.stopWatch(hooks.context);
      if (answer != kAnswerYes) return kResultCancelled;
    } else if (!(flags & kOpenRevertChanged) && AskUser(hooks.owner, TXT_REVERT, kAskYesNo) != kAnswerYes) {
      return kResultCancelled;
    }
    if ((flags & kOpenRevert) && (doc->encodingFlags & kEncodingForced)) {
      encoding = doc->encoding;
      codePageIndex = doc->codePageIndex;
    }
    keptAnchor = doc->anchor.position;
    keptCaret = doc->caret.position;
    if (hooks.firstVisibleLine) keptLine = hooks.firstVisibleLine(hooks.context);
  }

  // 3-4. The path; the old file let go of; an empty document named anew. A
  // Revert or Re-open keeps everything until the file has been read whole:
  // the file may be gone, locked or half-written by the program that
  // changed it, and the document must then stay as it is.
  char path[kPathChars];
  StrCopyN(path, reverting ? doc->filePath : (request.path ? request.path : ""), kPathChars);
  if (path[0]) (void)PlatFullPath(path, path, kPathChars);
  if (!include && !reverting) {
    if (hooks.releaseInstance) hooks.releaseInstance(hooks.context);
    if (hooks.stopWatch) hooks.stopWatch(hooks.context);
    if (hooks.deleteRecovery) hooks.deleteRecovery(hooks.context);
    SetName(doc, path, hooks);
    (void)SetDocumentText(doc, "", 0, hooks);
    doc->overwriteMode = 0;
  }

  // 5. One window per file, and a recovery file left by a crash.
  const char *readPath = path;
  char recovery[kPathChars] = "";
  bool recovered = false, ignoredRecovery = false;
  if (!include && !reverting && path[0]) {
    if (hooks.registerInstance) hooks.registerInstance(hooks.context, path);
    if (hooks.recoveryFor && hooks.recoveryFor(hooks.context, path, recovery) && PlatFileExists(recovery)) {
      int answer = AskUser(hooks.owner, TXT_RECOVERY_FOUND, kAskYesNoCancel, path);
      if (answer == kAnswerCancel) {
        if (hooks.releaseInstance) hooks.releaseInstance(hooks.context);
        SetName(doc, "", hooks);
        ShowPhase(hooks, -1);
        return kResultCancelled;
      }
      recovered = answer == kAnswerYes;
      ignoredRecovery = !recovered;
      if (recovered) readPath = recovery;
    }
  }

  // 6. Read the file.
  bool diary = false;
  int r = 0;
  if (path[0]) r = ReadFileIntoDocument(doc, readPath, encoding, codePageIndex, flags, hooks, &diary);
  if (recovered && r != 0 && r != kResultCancelled) {
    // The recovery file cannot be read: its message, then the file itself
    // (the recovery file stays where it is).
    const int slot = TextSlotOfId(static_cast<u16>(r));
    if (slot >= 0) AskUser(hooks.owner, static_cast<TextSlot>(slot), kAskWarning, recovery);
    recovered = false;
    diary = false;
    r = ReadFileIntoDocument(doc, path, encoding, codePageIndex, flags, hooks, &diary);
  }
  ShowPhase(hooks, -1);

  // 7. Failure: the document ends empty and untitled with the defaults.
  if (r != 0 && r != kResultCreated) {
    if (r != kResultCancelled) {
      int slot = TextSlotOfId(static_cast<u16>(r));
      if (slot >= 0) AskUser(hooks.owner, static_cast<TextSlot>(slot), kAskWarning, path);
      if (r != TextId(TXT_CANNOT_READ) && r != TextId(TXT_BINARY_FILE))
        AskUser(hooks.owner, TXT_CANNOT_READ, kAskWarning, path);
    }
    if (!include && !reverting) {
      // Also after a cancel: an empty document must never carry the name of
      // a file it was not read from, or saving it would empty that file.
      if (hooks.releaseInstance) hooks.releaseInstance(hooks.context);
      SetDefaultFileState(doc);
      SetName(doc, "", hooks);
    }
    return r == kResultCancelled ? kResultCancelled : kResultReported;
  }

  // 8. A new file, or no file at all.
  if (r == kResultCreated || !path[0]) {
    if (!include) {
      SetDefaultFileState(doc);
      SetName(doc, path, hooks);
    }
    if (path[0] && !(flags & kOpenNoRecent)) AddRecent(path);
    if (!include && g_settings.file.Templ[0]) {
      busy.Suspend();
      OpenRequest templ = {g_settings.file.Templ, kDetectEncoding, 0, flags | kOpenInclude | kOpenNoRecent};
      (void)OpenFile(doc, templ, hooks);
      busy.Resume();
      MarkSaved(doc);  // a template is where a new document starts, not a change
      doc->modified = 0;
    }
    return 0;
  }

  // 9. Success.
  if (!include) {
    // The recovery file of the changes just dropped is of no use any more.
    if (reverting && hooks.deleteRecovery) hooks.deleteRecovery(hooks.context);
    SetName(doc, path, hooks);
    if (!(flags & kOpenRevert) && hooks.startWatch) hooks.startWatch(hooks.context, path);
    if (reverting) {
      u32 length = doc->store.length;
      SetSelection(doc, keptAnchor < length ? keptAnchor : length, keptCaret < length ? keptCaret : length);
      if (hooks.setFirstVisibleLine) hooks.setFirstVisibleLine(hooks.context, keptLine);
      if ((flags & kOpenRevertChanged) && g_settings.file.ARevert && hooks.statusMessage)
        hooks.statusMessage(hooks.context, TXT_RELOADED);
    }
  }
  if (diary && hooks.insertDateTime) hooks.insertDateTime(hooks.context, g_settings.main.LOGDate != 0);
  if (recovered) {
    // The recovered text is not the file's: modified, with the recovery
    // file as the current one (saving deletes it).
    doc->modified = 1;
    if (hooks.adoptRecovery) hooks.adoptRecovery(hooks.context, recovery);
    AskUser(hooks.owner, TXT_RECOVERY_LOADED, kAskInfo);
  }
  if (ignoredRecovery) AskUser(hooks.owner, TXT_RECOVERY_IGNORED, kAskInfo);
  if (!include && !(flags & kOpenNoRecent)) AddRecent(path);
  return 0;
}
