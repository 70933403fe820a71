#include "editor/clipboard.h"

#include "config/config_lists.h"
#include "config/config_state.h"
#include "document/edit.h"
#include "document/undo.h"
#include "editor/editor_commands.h"
#include "editor/editor_editing.h"
#include "files/clip_block.h"
#include "foundation/memory.h"

#include <string.h>
#include "resources/resource.h"

const ClipboardApi kSystemClipboardApi = {RegisterClipboardFormatA, OpenClipboard, CloseClipboard, EmptyClipboard,
                                          GetClipboardData,         SetClipboardData, GlobalAlloc,   GlobalLock,
                                          GlobalUnlock,             GlobalFree,       GlobalSize};
ClipboardApi g_clipboardApi = kSystemClipboardApi;

namespace {

UINT g_privateFormat;

void Fail(EditorWindow *ed) {
  MessageBeep(0);
  NotifyParent(ed, kEditorOutOfMemory);
}

// A block the clipboard holds, locked while it is read.
struct Held {
  HGLOBAL handle = nullptr;
  const char *bytes = nullptr;
  size_t size = 0;
};
// False when the clipboard holds the format but its block cannot be locked.
bool Hold(UINT format, Held *h) {
  h->handle = g_clipboardApi.get(format);
  if (!h->handle) return true;
  h->size = g_clipboardApi.size(h->handle);
  h->bytes = static_cast<const char *>(g_clipboardApi.lock(h->handle));
  return h->bytes != nullptr;
}
void Release(Held *h) {
  if (h->bytes) g_clipboardApi.unlock(h->handle);
  h->bytes = nullptr;
}

// A new block, moveable and zero-filled.
HGLOBAL NewBlock(u64 size) { return g_clipboardApi.alloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(size)); }

// CASel: the unit selected around the caret when Copy finds no selection.
void AutoSelect(EditorWindow *ed) {
  static const int kUnits[] = {0, IDM_EDIT_SELECT_WORD, IDM_EDIT_SELECT_LINE, IDM_EDIT_SELECT_PARAGRAPH,
                               IDM_EDIT_SELECT_ALL};
  const i32 unit = g_settings.edit.CASel;
  if (unit > 0 && unit < 5) RunEditingCommand(ed, kUnits[unit]);
}

}  // namespace

UINT PrivateClipboardFormat() {
  if (!g_privateFormat) g_privateFormat = g_clipboardApi.registerFormat("QLP_A64");
  return g_privateFormat;
}

bool ClipboardHoldsText() {
  return IsClipboardFormatAvailable(CF_TEXT) || (g_privateFormat && IsClipboardFormatAvailable(g_privateFormat));
}

u32 ClipboardFlagsOfCommand(int id) {
  switch (id) {
    case IDM_EDIT_CUT: return kClipCopy | kClipDelete;
    case IDM_EDIT_CUT_APPEND: return kClipCopy | kClipDelete | kClipAppend;
    case IDM_EDIT_COPY: return kClipCopy;
    case IDM_EDIT_COPY_APPEND: return kClipCopy | kClipAppend;
    case IDM_EDIT_PASTE: return kClipPaste;
    case IDM_EDIT_SWAP: return kClipCopy | kClipPaste;
    default: return 0;
  }
}

int ClipboardOperation(EditorWindow *ed, u32 flags) {
  Document *doc = ed->doc;
  const UINT format = PrivateClipboardFormat();
  if (!format || !g_clipboardApi.open(ed->hwnd)) {
    Fail(ed);
    return 0;
  }
  u32 from = 0, to = 0;
  if (flags & kClipCopy) {
    if (doc->selStart->position == doc->selEnd->position) AutoSelect(ed);
    from = doc->selStart->position;
    to = doc->selEnd->position;
  }
  const bool copying = from != to, appending = copying && (flags & kClipAppend);
  // What the clipboard holds before this operation: for an append, and for
  // a paste (which reads it before a Swap replaces it).
  Held oldPrivate, oldPlain;
  bool ok = true, reported = false;
  if (appending || (flags & kClipPaste)) ok = Hold(format, &oldPrivate) && Hold(CF_TEXT, &oldPlain);
  const char *privateText = nullptr;
  u32 privateLength = 0;
  const bool privateValid = ok && oldPrivate.bytes &&
                            ReadPrivateBlock(oldPrivate.bytes, oldPrivate.size, &privateText, &privateLength);
  const u32 plainLength = ok && oldPlain.bytes ? PlainTextLength(oldPlain.bytes, oldPlain.size) : 0;

  HGLOBAL plain = nullptr, exact = nullptr;  // new blocks not yet the clipboard's
  if (ok && copying) {
    // The older texts of an append: the private one, or the plain text
    // standing in for a missing private block.
    const char *beforePlain = appending ? oldPlain.bytes : nullptr;
    const u32 beforePlainLength = appending ? plainLength : 0;
    const char *beforeExact = !appending ? nullptr : privateValid ? privateText : oldPlain.bytes;
    const u32 beforeExactLength = !appending ? 0 : privateValid ? privateLength : plainLength;
    u64 plainSize, exactSize;
    ok = ClipBlockSizes(&doc->store, from, to, beforePlainLength, beforeExactLength, &plainSize, &exactSize);
    if (ok) plain = NewBlock(plainSize);
    if (plain) exact = NewBlock(exactSize);
    ok = plain && exact;
    // Both are filled in one read of the text.
    char *p = ok ? static_cast<char *>(g_clipboardApi.lock(plain)) : nullptr;
    char *e = p ? static_cast<char *>(g_clipboardApi.lock(exact)) : nullptr;
    if (e) FillClipBlocks(&doc->store, from, to, {beforePlain, beforePlainLength, p, plainSize},
                          {beforeExact, beforeExactLength, e, exactSize});
    if (p) g_clipboardApi.unlock(plain);
    if (e) g_clipboardApi.unlock(exact);
    ok = e != nullptr;
  }
  // The text to paste: straight from the clipboard's block, or for a Swap
  // from a copy taken before the clipboard is replaced, so that a failure to
  // replace it leaves the document alone.
  const bool pasting = ok && (flags & kClipPaste);
  const char *pasteText = privateValid ? privateText : oldPlain.bytes;
  const u32 pasteLength = privateValid ? privateLength : plainLength;
  char *pasteCopy = nullptr;
  auto paste = [&](const char *text) {
    u32 edit = kReplaceFromBytes | kReplaceCloseBefore | kReplaceCloseAfter;
    if (flags & kClipPasteFlag) edit |= kReplaceSelectInserted;
    if (g_settings.edit.MiPaste) edit |= kReplaceMatchCase;
    // An empty clipboard pastes nothing; a failed edit has reported itself.
    i32 missing = 0;
    if (!pasteLength || ReplaceSelectionCounted(doc, text, pasteLength, edit, &missing)) return;
    ok = false;
    reported = true;
    // The selection went but the text could not come in: undone at once,
    // so that a failed paste leaves the document as it was.
    if (missing > 0 && UndoRedo(doc, kUndo)) PopStep(&doc->redo);
  };
  if (pasting && !plain) {
    paste(pasteText);
  } else if (pasting && pasteLength) {
    pasteCopy = static_cast<char *>(Allocate(pasteLength));
    if (pasteCopy) memcpy(pasteCopy, pasteText, pasteLength);
    ok = pasteCopy != nullptr;
  }
  Release(&oldPrivate);
  Release(&oldPlain);
  if (ok && plain) {
    g_clipboardApi.empty();
    if (g_clipboardApi.set(CF_TEXT, plain)) {
      plain = nullptr;
      if (g_clipboardApi.set(format, exact)) exact = nullptr;
    }
    ok = !plain && !exact;
    if (ok && pasting) paste(pasteCopy);
    if (ok && (flags & kClipDelete) &&
        !ReplaceSelectionString(doc, "", kReplaceCloseBefore | kReplaceCloseAfter, nullptr))
      ok = false, reported = true;
  }
  Free(pasteCopy);
  if (plain) g_clipboardApi.free(plain);
  if (exact) g_clipboardApi.free(exact);
  g_clipboardApi.close();
  if (!ok && !reported) Fail(ed);
  return ok ? 1 : 0;
}

int StoreClip(EditorWindow *ed, int n) {
  Document *doc = ed->doc;
  if (doc->selStart->position == doc->selEnd->position) AutoSelect(ed);
  const u32 from = doc->selStart->position, to = doc->selEnd->position, length = to - from;
  if (!length) return kResultCancelled;
  // The clip's old block takes the new text when it fits (a clip stored
  // again and again stays in its memory); else a new one.
  char *text = ReclaimClipBlock(n, static_cast<size_t>(length) + 1);
  if (!text) text = static_cast<char *>(Allocate(static_cast<size_t>(length) + 1));
  if (!text) return kResultOutOfMemory;
  ReadText(&doc->store, from, to, text, length, 0, nullptr);
  text[length] = 0;
  TakeClip(n, text, length);
  return kResultDone;
}

int InsertClip(EditorWindow *ed, int n) {
  if (n < 0 || n >= kClipCount || !g_config.clips[n].length) return kResultCancelled;
  const ClipSlot &clip = g_config.clips[n];
  Document *doc = ed->doc;
  u32 edit = kReplaceFromBytes | kReplaceCloseBefore | kReplaceCloseAfter;
  if (g_settings.edit.MiPaste) edit |= kReplaceMatchCase;
  i32 missing = 0;
  if (ReplaceSelectionCounted(doc, clip.text, clip.length, edit, &missing)) return kResultDone;
  // The selection went but the clip could not come in: undone at once. The
  // edit has reported the failure.
  if (missing > 0 && UndoRedo(doc, kUndo)) PopStep(&doc->redo);
  return kResultReported;
}
