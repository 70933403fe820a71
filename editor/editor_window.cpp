#include "editor/editor_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include "config/config_state.h"
#include "document/batch_edit.h"
#include "document/edit.h"
#include "document/long_operation.h"
#include "document/position.h"
#include "document/range_set.h"
#include "document/undo.h"
#include "editor/editor_caches.h"
#include "editor/editor_commands.h"
#include "editor/editor_keyboard.h"
#include "editor/editor_layout.h"
#include "editor/editor_pages.h"
#include "editor/editor_messages.h"
#include "editor/editor_mouse.h"
#include "editor/editor_paint.h"
#include "editor/editor_scroll.h"
#include "editor/tool_commands.h"
#include "editor/wait_window.h"
#include "files/encoding.h"
#include "files/load.h"
#include "files/save.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/memory.h"
#include "foundation/platform.h"
#include "foundation/texts.h"
#include "resources/resource.h"
#include "search/text_caches.h"
#include "tools/text_tools.h"

const char kEditorClassName[] = "QilEdiA";
const char kEditorProperty[] = "QLPED1";

namespace {

WNDPROC g_baseProc;

// Newline modes of the text readers: the system messages' mode, the
// document's type, as stored.
constexpr u32 kModeSystem = 7;
// The most text another thread (another program, above all) gets through
// WM_GETTEXT, and the most WM_GETTEXTLENGTH tells it: its first 16 MiB. The
// system carries such an answer back as one message; under Wine a Unicode
// caller's WM_GETTEXTLENGTH even fetches the whole text to count it, and a
// gigabyte so carried took minutes, or killed the process past 2^31 bytes.
constexpr u32 kForeignTextMax = 0x01000000u;
constexpr u32 kModeRaw = 0;
u32 DocumentMode(const Document *doc) { return 3 - (doc->newlineType & 3); }

LRESULT Base(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcA(g_baseProc, hwnd, msg, wParam, lParam);
}

// ---- the document's events ----

void OnNotify(void *context, Document *, DocumentNotification what) {
  EditorWindow *ed = static_cast<EditorWindow *>(context);
  switch (what) {
    case kNotifyChange:
      NotifyParentPrivate(ed, EDN_PROGRESSEND, 0);
      NotifyParent(ed, kEditorChange);
      NotifyParentPrivate(ed, EDN_MODIFIED, ed->doc->modified);
      break;
    case kNotifyUpdate:
      NotifyParent(ed, kEditorUpdate);
      break;
    case kNotifyOutOfMemory:
      MessageBeep(0);
      NotifyParent(ed, kEditorOutOfMemory);
      break;
  }
}

void OnStatus(void *context, Document *, TextSlot text) {
  NotifyParentPrivate(static_cast<EditorWindow *>(context), EDN_PROGRESSBEGIN, reinterpret_cast<LPARAM>(Text(text)));
}

int OnRelayout(void *context, Document *, u32 firstRow, u32 lastPosition) {
  EditorWindow *ed = static_cast<EditorWindow *>(context);
  if (!ed->hwnd) return 0;
  // Line numbers may have gained or lost a digit: the text width changes
  // first, and when that lays out the whole text (which covers the lines of
  // this change) nothing is left to do.
  const u32 wholeLayouts = ed->wholeLayouts;
  if (g_settings.opts.LnNums) UpdateGeometry(ed, false, 0, 0);
  if (ed->wholeLayouts != wholeLayouts && ed->laidOut.valid) return 0;
  // A failure is the edit's to report (once).
  return WrapLines(ed, firstRow, lastPosition, true) ? 0 : -1;
}

void OnRepaint(void *context, Document *, u32 firstRow, u32 lastRow, bool toEnd, u32) {
  EditorWindow *ed = static_cast<EditorWindow *>(context);
  RECT rc;
  GetClientRect(ed->hwnd, &rc);
  i64 top = (static_cast<i64>(firstRow) - ed->topLine) * ed->lineHeight;
  if (top > rc.top) rc.top = static_cast<LONG>(top > rc.bottom ? rc.bottom : top);
  if (!toEnd) {
    i64 bottom = (static_cast<i64>(lastRow) - ed->topLine + 1) * ed->lineHeight;
    if (bottom < rc.bottom) rc.bottom = static_cast<LONG>(bottom < 0 ? 0 : bottom);
  }
  rc.left = 0;
  if (rc.bottom > rc.top) InvalidateRect(ed->hwnd, &rc, FALSE);
  UpdateScrollBars(ed, 0);
}

void OnCheckOccurrences(void *context, Document *) { CheckSelectionHighlighter(static_cast<EditorWindow *>(context)); }

void OnSavedState(void *context, Document *doc) {
  EditorWindow *ed = static_cast<EditorWindow *>(context);
  NotifyParentPrivate(ed, EDN_MODIFIED, doc->modified);
}

// ---- reading the text ----

LRESULT ReadInto(EditorWindow *ed, u32 from, u32 to, char *buffer, size_t size, u32 mode) {
  if (!buffer || size == 0) return 0;
  u32 n = ReadText(&ed->doc->store, from, to, buffer, static_cast<u32>(size - 1 > 0xFFFFFFFEu ? 0xFFFFFFFEu : size - 1),
                   mode, nullptr);
  buffer[n] = 0;
  return n;
}

LRESULT Measure(EditorWindow *ed, u32 from, u32 to, u32 mode) { return MeasureText(&ed->doc->store, from, to, mode); }

// Whether a position lies between the CR and the LF of one newline.
bool InsideCrLf(const Document *doc, u32 p) {
  const TextStore *s = &doc->store;
  if (p == 0 || p >= s->length) return false;
  char two[2];
  return ReadText(s, p - 1, p + 1, two, 2, 0, nullptr) == 2 && two[0] == '\r' && two[1] == '\n';
}

// A position between the CR and the LF of one newline moves back before the CR.
u32 OffNewlineMiddle(const Document *doc, u32 p) {
  const TextStore *s = &doc->store;
  if (p >= s->length) return s->length;
  return InsideCrLf(doc, p) ? p - 1 : p;
}

// ---- the view after a change of the selection ----

void AfterSelection(EditorWindow *ed, UINT caretFlags) {
  UpdateCaret(ed, caretFlags);
  NotifyCaret(ed);
}

void InvalidateSelectionRows(EditorWindow *ed, u32 rowA, u32 rowB) {
  if (rowA > rowB) {
    u32 t = rowA;
    rowA = rowB;
    rowB = t;
  }
  RECT rc;
  GetClientRect(ed->hwnd, &rc);
  i64 top = (static_cast<i64>(rowA) - ed->topLine) * ed->lineHeight;
  i64 bottom = (static_cast<i64>(rowB) - ed->topLine + 1) * ed->lineHeight;
  if (bottom <= 0 || top >= rc.bottom) return;
  rc.top = static_cast<LONG>(top < 0 ? 0 : top);
  rc.bottom = static_cast<LONG>(bottom > rc.bottom ? rc.bottom : bottom);
  InvalidateRect(ed->hwnd, &rc, FALSE);
}

// Sets the selection and repaints what changed.
void Select(EditorWindow *ed, u32 anchor, u32 caret, UINT caretFlags) {
  Document *doc = ed->doc;
  u32 oldA = doc->selStart->row, oldB = doc->selEnd->row;
  SetSelection(doc, anchor, caret);
  InvalidateSelectionRows(ed, oldA, oldB);
  InvalidateSelectionRows(ed, doc->selStart->row, doc->selEnd->row);
  AfterSelection(ed, caretFlags);
}

// ---- private messages ----

LRESULT SetEncoding(EditorWindow *ed, WPARAM request, LPARAM codePageIndex) {
  Document *doc = ed->doc;
  SetDocumentEncoding(doc, static_cast<u32>(request), static_cast<u32>(codePageIndex));
  NotifyParentPrivate(ed, EDN_ENCODING, reinterpret_cast<LPARAM>(EncodingName(doc->encoding, doc->codePageIndex)));
  NotifyParentPrivate(ed, EDN_BOM, doc->bomInEffect);
  if (doc->filePath[0]) {
    doc->modified = 1;
    doc->modifiedSinceAutoSave = 1;
    NotifyParentPrivate(ed, EDN_MODIFIED, 1);
  }
  return doc->encoding;
}

const char *NewlineName(u32 type) {
  static const TextSlot kNames[] = {TXT_NL_WIN, TXT_NL_UNIX, TXT_NL_MAC, TXT_NL_MIXED};
  return Text(kNames[type & 3]);
}

LRESULT Goto(EditorWindow *ed, i64 number, UINT flags) {
  Document *doc = ed->doc;
  const TextStore *s = &doc->store;
  u32 position;
  if (flags & kGotoLine) {
    i64 line = number;
    if (flags & kGotoRelative) line += doc->caret.hardLine;
    else if (line < 0) line += HardLineCount(s);
    if (line < 0) line = 0;
    u32 l = line > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<u32>(line);
    u32 row = FirstRowOfHardLine(s, l);
    position = row >= RowCount(s) ? s->length : RowStart(s, row);
  } else {
    i64 p = number;
    if (flags & kGotoRelative) p += doc->caret.position;
    else if (p < 0) p += static_cast<i64>(s->length) + 1;
    if (p < 0) p = 0;
    position = p > s->length ? s->length : static_cast<u32>(p);
  }
  u32 anchor = (flags & kGotoExtend) ? doc->anchor.position : position;
  Select(ed, anchor, position, 0);
  return 0;
}

LRESULT SuggestFileName(EditorWindow *ed, char *out, bool fromSelection) {
  const Document *doc = ed->doc;
  const TextStore *s = &doc->store;
  u32 p = fromSelection ? doc->selStart->position : 0;
  u32 end = fromSelection && doc->selEnd->position > doc->selStart->position ? doc->selEnd->position : s->length;
  TextCursor cur;
  CursorAt(&cur, s, p);
  u32 n = 0;
  for (; p < end && n < 259; p++) {
    u8 c = CursorByte(&cur, p);
    if (c >= 10 && c <= 13) {
      if (n) break;
      continue;
    }
    if (c < 32 && c != '\t') continue;
    if (c == '\t') c = ' ';
    if (c == 34 || c == 42 || c == 47 || c == 58 || c == 60 || c == 62 || c == 63 || c == 92 || c == 124 || c == 127)
      c = '-';
    if (n == 0 && (CharType(c) & kC1Space)) continue;
    out[n++] = static_cast<char>(c);
  }
  while (n > 0 && (CharType(static_cast<u8>(out[n - 1])) & kC1Space)) n--;
  out[n] = 0;
  return n;
}

void Refresh(EditorWindow *ed, UINT flags) {
  if (flags & kRefreshResetLayout) {
    RangeSetClear(&ed->doc->store.rangeSets[kSetRowCache]);
    ed->doc->codePageIndex = 0xFFFFFFFFu;
  }
  if (flags & kRefreshDropCaches) {
    TextStore *s = &ed->doc->store;
    if (!g_settings.opts.Urls) {
      RangeSetClear(&s->rangeSets[kSetLinks]);
      RangeSetClear(&s->rangeSets[kSetLinksScanned]);
    }
    RangeSetClear(&s->rangeSets[kSetOccurrences]);
    RangeSetClear(&s->rangeSets[kSetOccurrencesScanned]);
    SetSelection(ed->doc, ed->doc->anchor.position, ed->doc->caret.position);
  }
  if (flags & kRefreshDecorations) ComputeDecorations(ed);
  if (flags & kRefreshMeasure) UpdateGeometry(ed, false, 0, 0);
  if (flags & kRefreshWrapAlways)
    RewrapAll(ed, true);
  else if ((flags & kRefreshWrapIfWrapping) && ed->doc->wordWrap)
    RewrapAll(ed);
  if (flags & kRefreshCaret) UpdateCaret(ed, (flags & kRefreshRecreateCaret) ? kCaretRecreate : 0);
  if (flags & kRefreshHorizontalRange) {
    ed->lastHorizontal = {};
    UpdateScrollBars(ed, 0);
    ApplyScroll(ed, kScrollPastEnd);
  }
  if (flags & kRefreshInvalidate) InvalidateRect(ed->hwnd, nullptr, FALSE);
  if (flags & kRefreshUpdateWindow) UpdateWindow(ed->hwnd);
}

// The view of a text set anew: at its top, the caret at the start.
void AfterNewText(EditorWindow *ed) {
  ed->topLine = 0;
  ed->hScroll = 0;
  ed->widestRow = 0;
  ApplyScroll(ed, 0);
  UpdateGeometry(ed, false, 0, 0);
  InvalidateRect(ed->hwnd, nullptr, FALSE);
  AfterSelection(ed, 0);
  NotifyParentPrivate(ed, EDN_MODIFIED, ed->doc->modified);
}

LRESULT SetText(EditorWindow *ed, const char *text, u32 length) {
  FileHooks hooks = {};
  int ok = SetDocumentText(ed->doc, text, length, hooks);
  AfterNewText(ed);
  return ok;
}

LRESULT ReplaceSel(EditorWindow *ed, const char *text, u32 length) {
  int r = ReplaceSelectionCounted(ed->doc, text, length, kReplaceFromBytes | 0xC000, nullptr);
  AfterSelection(ed, 0);
  return r;
}

// ---- long operations ----

// A question of the worker, asked on this thread.
struct WorkerQuestion {
  WindowRef owner;
  const char *text;
  AskKind kind;
};

int RouteWorkerQuestion(void *context, WindowRef owner, const char *text, AskKind kind) {
  WorkerQuestion q = {owner, text, kind};
  return static_cast<int>(SendMessageA(static_cast<EditorWindow *>(context)->hwnd, EDM_WORKERASK, 0,
                                       reinterpret_cast<LPARAM>(&q)));
}

void WaitHook(void *context, PlatThread thread, LongOperation *op) {
  EditorWindow *ed = static_cast<EditorWindow *>(context);
  WaitTexts texts = {{op->waitText ? op->waitText : Text(TXT_PLEASE_WAIT), op->waitDetail[0], op->waitDetail[1]}};
  HWND owner = GetAncestor(ed->hwnd, GA_ROOT);
  if (op->statusText) NotifyParentPrivate(ed, EDN_PROGRESSBEGIN, reinterpret_cast<LPARAM>(op->statusText));
  const AskRoute route = {RouteWorkerQuestion, ed, PlatCurrentThreadId()};
  const AskRoute *previous = InstallAskRoute(&route);
  WaitForThread(static_cast<HANDLE>(PlatThreadWaitHandle(thread)), op, owner, texts, GetParent(ed->hwnd),
                EDN_PROGRESS, !op->waitAtOnce, ed->hwnd);
  InstallAskRoute(previous);
  if (op->statusText) NotifyParentPrivate(ed, EDN_PROGRESSEND, 0);
}

void SaveViewHook(void *context, u32 *caret, i32 *topOffset) {
  EditorWindow *ed = static_cast<EditorWindow *>(context);
  *caret = ed->doc->caret.position;
  *topOffset = static_cast<i32>(static_cast<i64>(ed->topLine) - ed->doc->caret.row);
}

void RestoreViewHook(void *context, u32 caret, i32 topOffset) {
  EditorWindow *ed = static_cast<EditorWindow *>(context);
  Select(ed, caret, caret, kCaretNoScroll);
  const i64 top = static_cast<i64>(ed->doc->caret.row) + topOffset;
  ed->topLine = top < 0 ? 0 : static_cast<u32>(top);
  ApplyScroll(ed, 0);
  Refresh(ed, kRefreshResetLayout);
}

void ClearHighlightHook(void *context, u32 set) {
  EditorWindow *ed = static_cast<EditorWindow *>(context);
  RangeSetClear(&ed->doc->store.rangeSets[set == 5 ? kSetPrimaryMatches : kSetSecondaryMatches]);
  InvalidateRect(ed->hwnd, nullptr, FALSE);
}

void RepaintHighlightHook(void *context, u32) {
  InvalidateRect(static_cast<EditorWindow *>(context)->hwnd, nullptr, FALSE);
}

LRESULT RunLongOperation(EditorWindow *ed, u32 flags, LongOperation *op) {
  if (!op || !op->work) return 0;
  const LongOperationHooks hooks = {ed, WaitHook, SaveViewHook, RestoreViewHook, ClearHighlightHook,
                                    RepaintHighlightHook};
  const LRESULT r = RunLong(ed->doc, op, flags, hooks);
  if (!LongOperationRunning() && g_afterLongOperation) g_afterLongOperation();
  return r;
}

// The caller's operation over the selection (or the whole text), through a
// buffer of 64 KiB.
LRESULT RunBlocks(EditorWindow *ed, const BlockRun *run, UINT flags) {
  if (!run || !run->block) return 0;
  Document *doc = ed->doc;
  u32 from = doc->selStart->position, to = doc->selEnd->position;
  if (from == to) {
    if (flags & kRunBlocksCollapse) Select(ed, to, to, kCaretNoScroll);
    from = 0;
    to = doc->store.length;
  }
  char *buffer = static_cast<char *>(Allocate(kRunBlockBytes));
  if (!buffer) return kResultOutOfMemory;
  int r = 0;
  for (u32 p = from; p < to && r == 0;) {
    const u32 n = to - p < kRunBlockBytes ? to - p : kRunBlockBytes;
    ReadText(&doc->store, p, p + n, buffer, kRunBlockBytes, 0, nullptr);
    r = run->block(run->context, buffer, n, p - from);
    p += n;
  }
  Free(buffer);
  return r;
}

LRESULT OnPrivate(EditorWindow *ed, UINT msg, WPARAM wParam, LPARAM lParam) {
  Document *doc = ed->doc;
  const TextStore *s = &doc->store;
  switch (msg) {
    case EDM_REFRESH:
      Refresh(ed, static_cast<UINT>(wParam));
      return 0;
    case EDM_SETFONTS:
      ed->textFont = reinterpret_cast<HFONT>(wParam);
      ed->auxFont = lParam ? reinterpret_cast<HFONT>(lParam) : ed->textFont;
      MeasureFont(ed);
      Refresh(ed, 998);
      return 0;
    case EDM_SETTEXT:
      return SetText(ed, reinterpret_cast<const char *>(lParam), static_cast<u32>(wParam));
    case EDM_SETTEXTMAPPED: {
      char *buffer = reinterpret_cast<char *>(wParam);
      FileHooks hooks = {};
      int ok = SetDocumentTextFromLargeBuffer(doc, &buffer, static_cast<u32>(lParam), hooks);
      AfterNewText(ed);
      return ok;
    }
    case EDM_GETTEXTLENGTHDOC: return Measure(ed, 0, s->length, DocumentMode(doc));
    case EDM_GETTEXTLENGTHRAW: return s->length;
    case EDM_GETTEXTDOC:
      return ReadInto(ed, 0, s->length, reinterpret_cast<char *>(lParam), wParam, DocumentMode(doc));
    case EDM_GETTEXT7: return ReadInto(ed, 0, s->length, reinterpret_cast<char *>(lParam), wParam, kModeSystem);
    case EDM_GETTEXTRAW: return ReadInto(ed, 0, s->length, reinterpret_cast<char *>(lParam), wParam, kModeRaw);
    case EDM_GETSELLENGTHDOC:
      return Measure(ed, doc->selStart->position, doc->selEnd->position, DocumentMode(doc));
    case EDM_GETSELLENGTHRAW: return doc->selEnd->position - doc->selStart->position;
    case EDM_GETSELTEXT7:
      return ReadInto(ed, doc->selStart->position, doc->selEnd->position, reinterpret_cast<char *>(lParam), wParam,
                      kModeSystem);
    case EDM_GETSELTEXTRAW:
      return ReadInto(ed, doc->selStart->position, doc->selEnd->position, reinterpret_cast<char *>(lParam), wParam,
                      kModeRaw);
    case EDM_REPLACESEL:
      return ReplaceSel(ed, reinterpret_cast<const char *>(lParam), static_cast<u32>(wParam));
    case EDM_JOURNALBREAK:
      CloseStep(&doc->undo);
      CloseStep(&doc->redo);
      return 0;
    case EDM_JOURNALSET:
      BeginGroup(doc, static_cast<u32>(wParam), static_cast<u32>(lParam));
      return 0;
    case EDM_JOURNALSTATE: return doc->undo.groupMode;
    case EDM_JOURNALTRIM:
      ReduceJournals(&doc->undo, &doc->redo);
      return 0;
    case EDM_JOURNALCLEAR:
      ClearJournal(&doc->undo);
      ClearJournal(&doc->redo);
      return 0;
    case EDM_SETSELQUIET: {
      u32 oldA = doc->selStart->row, oldB = doc->selEnd->row;
      SetSelection(doc, static_cast<u32>(wParam), static_cast<u32>(lParam));
      InvalidateSelectionRows(ed, oldA, oldB);
      InvalidateSelectionRows(ed, doc->selStart->row, doc->selEnd->row);
      AfterSelection(ed, 0);
      return 0;
    }
    case EDM_GOTO: return Goto(ed, static_cast<i32>(wParam), static_cast<UINT>(lParam));
    case EDM_GETCARETVISUAL:
      if (wParam) *reinterpret_cast<u32 *>(wParam) = doc->caret.row;
      if (lParam) *reinterpret_cast<u32 *>(lParam) = doc->caret.column;
      return 0;
    case EDM_GETCARETLOGICAL:
      if (wParam) *reinterpret_cast<u32 *>(wParam) = doc->caret.hardLine;
      if (lParam) *reinterpret_cast<u32 *>(lParam) = doc->caret.offsetInHardLine;
      return 0;
    case EDM_SETCARETLOGICAL: {
      PositionRecord rec = {};
      SetFromHardLine(doc, &rec, static_cast<u32>(wParam), static_cast<u32>(lParam), 0);
      Select(ed, rec.position, rec.position, 0);
      return 0;
    }
    case EDM_GETTOPOFFSET: return static_cast<LRESULT>(static_cast<i64>(ed->topLine) - doc->caret.row);
    case EDM_SETTOPOFFSET: {
      i64 top = static_cast<i64>(doc->caret.row) + static_cast<i32>(wParam);
      ed->topLine = top > 0 ? static_cast<u32>(top) : 0;
      ApplyScroll(ed, 0);
      return 0;
    }
    case EDM_SETWORDWRAP:
      doc->wordWrap = wParam ? 1 : 0;
      UpdateScrollBars(ed, 0x800);
      NotifyParentPrivate(ed, EDN_WORDWRAP, doc->wordWrap);
      UpdateGeometry(ed, false, 0, 0);
      RewrapAll(ed);
      return 0;
    case EDM_GETWORDWRAP: return doc->wordWrap;
    case EDM_SETOVERWRITE:
      doc->overwriteMode = wParam && !g_settings.edit.NoOver ? 1 : 0;
      NotifyParentPrivate(ed, EDN_OVERWRITE, doc->overwriteMode);
      UpdateCaret(ed, kCaretRecreate | kCaretNoScroll);
      return 0;
    case EDM_GETOVERWRITE: return doc->overwriteMode;
    case EDM_SETNEWLINES:
      doc->newlineType = ReduceNewlineType(static_cast<u32>(wParam), g_settings.file.NoMixNl != 0);
      NotifyParentPrivate(ed, EDN_NEWLINES, reinterpret_cast<LPARAM>(NewlineName(doc->newlineType)));
      if (doc->filePath[0]) {
        doc->modified = 1;
        doc->modifiedSinceAutoSave = 1;
        NotifyParentPrivate(ed, EDN_MODIFIED, 1);
      }
      return doc->newlineType;
    case EDM_GETNEWLINES: return doc->newlineType;
    case EDM_SETENCODING: return SetEncoding(ed, wParam, lParam);
    case EDM_NEXTENCODING: {
      EncodingState st = {doc->encoding, doc->codePageIndex, doc->bomWanted, doc->bomInEffect, doc->encodingFlags};
      return SetEncoding(ed, NextEncodingRequest(st), doc->codePageIndex);
    }
    case EDM_TOGGLEBOM: {
      EncodingState st = {doc->encoding, doc->codePageIndex, doc->bomWanted, doc->bomInEffect, doc->encodingFlags};
      return SetEncoding(ed, ToggleBomRequest(st), doc->codePageIndex);
    }
    case EDM_GETENCODING: return doc->encoding;
    case EDM_GETBOM: return doc->bomWanted;
    case EDM_GETEFFECTIVEBOM: return doc->bomInEffect;
    case EDM_GETCODEPAGE: return doc->codePageIndex;
    case EDM_GETENCODINGFLAG: return doc->encodingFlags;
    case EDM_SETFILENAME:
      StrCopyN(doc->filePath, wParam ? reinterpret_cast<const char *>(wParam) : "", kPathChars);
      StrCopyN(doc->fileTitle, lParam ? reinterpret_cast<const char *>(lParam) : "", kPathChars);
      return 0;
    case EDM_HASFILENAME: return doc->filePath[0] != 0;
    case EDM_GETFILENAME:
      if (wParam) StrCopyN(reinterpret_cast<char *>(wParam), doc->filePath, kPathChars);
      if (lParam) StrCopyN(reinterpret_cast<char *>(lParam), doc->fileTitle, kPathChars);
      return 0;
    case EDM_GETMEMINFO:
      if (lParam) DocumentStatisticsOf(doc, reinterpret_cast<DocumentStatistics *>(lParam));
      return 0;
    case EDM_GETCHARWIDTH: return ed->charWidth;
    case EDM_COMPACT:
      CompactCaches(doc);
      InvalidateRect(ed->hwnd, nullptr, FALSE);
      return 0;
    case EDM_SETSELUPDATE:
      Select(ed, static_cast<u32>(wParam), static_cast<u32>(lParam), 0);
      return 0;
    case EDM_SETSELRESET:
      Select(ed, static_cast<u32>(wParam), static_cast<u32>(lParam), 0);
      return 0;
    case EDM_COLLAPSESEL: {
      u32 end = doc->selEnd->position;
      Select(ed, end, end, 0);
      return 0;
    }
    case EDM_UPDATE:
      SetSelection(doc, doc->anchor.position, doc->caret.position);
      AfterSelection(ed, 0);
      InvalidateRect(ed->hwnd, nullptr, FALSE);
      return 0;
    case EDM_RUNLASTTOOL: {
      ed->toolNesting++;
      ed->toolText = reinterpret_cast<const char *>(lParam);
      ed->toolFlags = (wParam & 4) ? 0x40000 : 0;
      HWND parent = GetParent(ed->hwnd);
      LRESULT r = parent ? SendMessageA(parent, WM_COMMAND, 30050, 0) : 1;
      ed->toolNesting--;
      return r == 0 ? 1 : 0;
    }
    case EDM_TRANSLATE: {
      // wParam: the Translate settings record; lParam: the run's tool flags
      // (0: Translate's own). The run's result code.
      if (!wParam) return kResultCancelled;
      ToolDescriptor tool = {};
      tool.transformDocument = TranslateChars;
      tool.param = static_cast<ToolParam>(wParam);
      tool.flags = lParam ? static_cast<u32>(lParam) : kTranslateToolFlags;
      return RunEditorTool(ed, &tool);
    }
    case EDM_SETHIGHLIGHT1:
    case EDM_SETHIGHLIGHT2: {
      u32 a = static_cast<u32>(wParam), b = static_cast<u32>(lParam);
      if (a == b) return 0;
      if (a > b) {
        u32 t = a;
        a = b;
        b = t;
      }
      RangeSet *set = &doc->store.rangeSets[msg == EDM_SETHIGHLIGHT1 ? kSetPrimaryMatches : kSetSecondaryMatches];
      if (RangeSetAdd(set, a, b - a, 0) != 0) {
        MessageBeep(0);
        NotifyParent(ed, kEditorOutOfMemory);
      }
      PositionRecord ra = {}, rb = {};
      SetFromPosition(doc, &ra, a, 0);
      SetFromPosition(doc, &rb, b, 0);
      InvalidateSelectionRows(ed, ra.row, rb.row);
      return 0;
    }
    case EDM_PAGINATE: return Paginate(ed, wParam == 1, reinterpret_cast<PageLayout *>(lParam));
    case EDM_RUNLONG: return RunLongOperation(ed, static_cast<u32>(wParam), reinterpret_cast<LongOperation *>(lParam));
    case EDM_EDIT: {
      const EditBatch *batch = reinterpret_cast<const EditBatch *>(wParam);
      const int r = ApplyEditBatch(doc, batch);
      if (r == 0 && batch->target != 0) InvalidateRect(ed->hwnd, nullptr, FALSE);
      if (r == 0 && batch->target == 0) AfterSelection(ed, 0);
      return r;
    }
    case EDM_RUNBLOCKS: return RunBlocks(ed, reinterpret_cast<const BlockRun *>(wParam), static_cast<UINT>(lParam));
    case EDM_WRITETEXT: {
      const WriteTextRequest *request = reinterpret_cast<const WriteTextRequest *>(lParam);
      if (!request) return 0;
      FileHooks hooks = {};
      hooks.context = ed;
      hooks.owner = GetAncestor(ed->hwnd, GA_ROOT);
      hooks.phase = [](void *c, int slot) {
        if (slot >= 0) {
          NotifyParentPrivate(static_cast<EditorWindow *>(c), EDN_PROGRESSBEGIN,
                              reinterpret_cast<LPARAM>(Text(static_cast<TextSlot>(slot))));
        }
      };
      hooks.progress = [](void *c, u64 done, u64 total) {
        // In KiB, so that both fit a message's words in a 32-bit process.
        SendMessageA(GetParent(static_cast<EditorWindow *>(c)->hwnd), EDN_PROGRESS, static_cast<WPARAM>(done >> 10),
                     static_cast<LPARAM>(total >> 10));
      };
      const int r = WriteDocumentText(doc, reinterpret_cast<SafeWriter *>(wParam), *request, hooks);
      NotifyParentPrivate(ed, EDN_PROGRESSEND, 0);
      return r;
    }
    case EDM_WORKERASK: {
      // With the wait window up, so that the question has an owner and the
      // user sees what waits for the answer.
      const WorkerQuestion *q = reinterpret_cast<const WorkerQuestion *>(lParam);
      HWND wait = RevealWaitWindow();
      return AskUserAsIs(wait ? wait : q->owner, q->text, q->kind);
    }
    case EDM_CLEARHIGHLIGHT1:
    case EDM_CLEARHIGHLIGHT2:
      RangeSetClear(&doc->store.rangeSets[msg == EDM_CLEARHIGHLIGHT1 ? kSetPrimaryMatches : kSetSecondaryMatches]);
      InvalidateRect(ed->hwnd, nullptr, FALSE);
      return 0;
    case EDM_SUGGESTFILENAME:
      return wParam ? SuggestFileName(ed, reinterpret_cast<char *>(wParam), lParam == 1) : 0;
    case EDM_CANREINSERTDELETED:
      for (u32 i = doc->undo.count; i-- > 0;)
        if (doc->undo.steps[i].deleted && doc->undo.steps[i].deleted->length) return 1;
      return 0;
    case EDM_CANREINSERTINSERTED:
      for (u32 i = doc->undo.count; i-- > 0;)
        if (doc->undo.steps[i].insertedLength) return 1;
      return 0;
    case EDM_SELISURL: {
      u32 a = doc->selStart->position, b = doc->selEnd->position, start = 0, length = 0;
      return a < b && LinkAt(doc, a, &start, &length) && start == a && length == b - a;
    }
    default:
      // Messages whose work arrives with printing, long operations, the
      // general edit request and the tools answer 0 until then.
      return 0;
  }
}

EditorWindow *Create(HWND hwnd, const CREATESTRUCTA *cs) {
  EditorWindow *ed = static_cast<EditorWindow *>(Allocate(sizeof(EditorWindow)));
  if (!ed) return nullptr;
  MemZero(ed, sizeof *ed);
  ed->doc = CreateDocument();
  if (!ed->doc) {
    Free(ed);
    return nullptr;
  }
  ed->hwnd = hwnd;
  ed->controlId = static_cast<int>(reinterpret_cast<INT_PTR>(cs->hMenu));
  ed->lineHeight = 16;
  ed->averageWidth = ed->charWidth = ed->maxCharWidth = ed->digitWidth = 8;
  ed->visibleRows = ed->visibleColumns = 1;
  ed->wrapMargin = 0x7FFFFFFF;
  ed->lastTopLine = 0xFFFFFFFFu;
  for (int c = 128; c < 256; c++) {
    ed->leadByte[c] = PlatIsLeadByte(kCodePageAnsi, static_cast<u8>(c)) ? 1 : 0;
    ed->doubleByte = ed->doubleByte || ed->leadByte[c];
  }
  DocumentEvents &e = ed->doc->events;
  e.context = ed;
  e.notify = OnNotify;
  e.status = OnStatus;
  e.relayout = OnRelayout;
  e.repaint = OnRepaint;
  e.savedStateReached = OnSavedState;
  e.checkOccurrences = OnCheckOccurrences;
  return ed;
}

void Destroy(EditorWindow *ed) {
  if (ed->caretCreated) DestroyCaret();
  ForgetPairWidths(ed);
  DestroyDocument(ed->doc);
  Free(ed->occurrenceText);
  Free(ed);
}

LRESULT CALLBACK EditorWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CREATE) {
    EditorWindow *ed = Create(hwnd, reinterpret_cast<const CREATESTRUCTA *>(lParam));
    if (!ed || !SetPropA(hwnd, kEditorProperty, ed)) {
      if (ed) Destroy(ed);
      return -1;
    }
    Refresh(ed, kRefreshResetLayout);
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(SYSTEM_FIXED_FONT)), TRUE);
    return 0;
  }
  EditorWindow *ed = EditorOf(hwnd);
  if (!ed) return Base(hwnd, msg, wParam, lParam);
  Document *doc = ed->doc;
  if (msg >= 0x0E00 && msg <= EDM_WORKERASK) return OnPrivate(ed, msg, wParam, lParam);
  switch (msg) {
    case WM_DESTROY:
      RemovePropA(hwnd, kEditorProperty);
      Destroy(ed);
      return Base(hwnd, msg, wParam, lParam);
    case WM_MOVE:
      ed->x = static_cast<short>(LOWORD(lParam));
      ed->y = static_cast<short>(HIWORD(lParam));
      return Base(hwnd, msg, wParam, lParam);
    case WM_SIZE:
      UpdateGeometry(ed, true, LOWORD(lParam), HIWORD(lParam));
      UpdateCaret(ed, kCaretNoScroll);
      return Base(hwnd, msg, wParam, lParam);
    case WM_SETFOCUS:
      ed->hasFocus = true;
      UpdateCaret(ed, kCaretRecreate | kCaretNoScroll);
      NotifyParent(ed, kEditorFocus);
      return 0;
    case WM_KILLFOCUS:
      ed->hasFocus = false;
      if (ed->caretCreated) DestroyCaret();
      ed->caretCreated = ed->caretShown = false;
      NotifyParent(ed, kEditorBlur);
      CancelMouse(ed);
      if (GetCapture() == hwnd) ReleaseCapture();
      return 0;
    case WM_SETTEXT: {
      const char *text = reinterpret_cast<const char *>(lParam);
      return SetText(ed, text ? text : "", text ? static_cast<u32>(StrLen(text)) : 0);
    }
    case WM_GETTEXT: {
      // Another thread's request (another program's, above all) is answered
      // with at most kForeignTextMax characters: the system carries the
      // answer back to it, in UTF-16 for a Unicode caller, as one message.
      size_t cap = wParam;
      if (InSendMessage() && cap > kForeignTextMax + 1) cap = kForeignTextMax + 1;
      return ReadInto(ed, 0, doc->store.length, reinterpret_cast<char *>(lParam), cap, kModeSystem);
    }
    case WM_GETTEXTLENGTH: {
      // The length with CR LF newlines: a bound of what WM_GETTEXT gives,
      // as the message allows. It must read as a positive LRESULT, and for
      // another thread it stays within what WM_GETTEXT will give it (a
      // Unicode caller's system may fetch that much to count it).
      const u32 n = MeasureText(&doc->store, 0, doc->store.length, kModeSystem);
      const u32 most = InSendMessage() ? kForeignTextMax : 0x7FFFFFFEu;
      return n > most ? most : n;
    }
    case WM_PAINT:
      PaintWindow(ed);
      return 0;
    case WM_PRINTCLIENT:
      PaintRect(ed, reinterpret_cast<HDC>(wParam), nullptr);
      return 0;
    case WM_ERASEBKGND: return 0;
    case WM_SYSCOLORCHANGE:
      Refresh(ed, 0x0060);
      return Base(hwnd, msg, wParam, lParam);
    case WM_SETFONT:
      ed->textFont = ed->auxFont = reinterpret_cast<HFONT>(wParam);
      MeasureFont(ed);
      UpdateGeometry(ed, false, 0, 0);
      if (doc->wordWrap) RewrapAll(ed);
      if (lParam) InvalidateRect(hwnd, nullptr, FALSE);
      return Base(hwnd, msg, wParam, lParam);
    case WM_INPUTLANGCHANGE:
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_ENDCOMPOSITION:
    case WM_IME_COMPOSITION:
      PlaceComposition(ed, msg == WM_IME_STARTCOMPOSITION);
      return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_IME_SETCONTEXT:
    case WM_IME_REQUEST:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_CONTEXTMENU: {
      HWND parent = GetParent(hwnd);
      if (parent) {
        struct {
          NMHDR header;
          POINT point;
        } note = {};
        note.header.hwndFrom = hwnd;
        note.header.idFrom = static_cast<UINT_PTR>(ed->controlId);
        note.header.code = static_cast<UINT>(NM_RCLICK);
        note.point.x = ed->caretX + 8 + ed->x;
        note.point.y = ed->caretY + 8 + ed->y;
        SendMessageA(parent, WM_NOTIFY, static_cast<WPARAM>(ed->controlId), reinterpret_cast<LPARAM>(&note));
      }
      return 0;
    }
    case WM_GETDLGCODE: return 0x8D;
    case WM_KEYDOWN:
      OnKeyDown(ed, wParam);
      return 0;
    case WM_SYSKEYDOWN:
      if (lParam & (1 << 29)) OnKeyDown(ed, wParam);
      return Base(hwnd, msg, wParam, lParam);
    case WM_CHAR:
      OnChar(ed, wParam, lParam);
      return 0;
    case WM_COMMAND:
      // While EDM_RUNLASTTOOL is served, the Last Tool that the parent hands
      // back runs; any other command is refused, its id going to the
      // vertical scroll handler.
      if (ed->toolNesting && LOWORD(wParam) != IDM_TOOLS_LAST_TOOL) {
        VScroll(ed, LOWORD(wParam));
        return kCommandNothing;
      }
      return RunEditorCommand(ed, LOWORD(wParam));
    case WM_VSCROLL:
      VScroll(ed, LOWORD(wParam));
      return 0;
    case WM_HSCROLL:
      HScroll(ed, LOWORD(wParam));
      return 0;
    case WM_MOUSEWHEEL:
      Wheel(ed, wParam, false);
      return 0;
    case WM_MOUSEHWHEEL:
      Wheel(ed, wParam, true);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      ButtonDown(ed, msg == WM_RBUTTONDOWN, wParam, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      ButtonUp(ed, msg == WM_RBUTTONUP, wParam, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_MOUSEMOVE:
      MouseMove(ed, wParam, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
      return 0;
    case WM_CAPTURECHANGED:
      CancelMouse(ed);
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT && reinterpret_cast<HWND>(wParam) == hwnd) {
        POINT pt;
        GetCursorPos(&pt);
        ScreenToClient(hwnd, &pt);
        SetMouseCursor(ed, pt.x, pt.y);
        return TRUE;
      }
      return Base(hwnd, msg, wParam, lParam);
    case WM_CUT: return RunEditorCommand(ed, IDM_EDIT_CUT);
    case WM_COPY: return RunEditorCommand(ed, IDM_EDIT_COPY);
    case WM_PASTE: return RunEditorCommand(ed, IDM_EDIT_PASTE);
    case WM_CLEAR: {
      int r = ReplaceSelectionString(doc, "", kReplaceCloseBefore | kReplaceCloseAfter, nullptr);
      AfterSelection(ed, 0);
      return r;
    }
    case WM_UNDO:
    case EM_UNDO: {
      int r = UndoRedo(doc, msg == WM_UNDO ? kUndo : kUndoToggle);
      AfterSelection(ed, 0);
      return r;
    }
    case EM_GETSEL:
      if (wParam) *reinterpret_cast<DWORD *>(wParam) = doc->anchor.position;
      if (lParam) *reinterpret_cast<DWORD *>(lParam) = doc->caret.position;
      return 0;
    case EM_SETSEL:
      Select(ed, OffNewlineMiddle(doc, static_cast<u32>(wParam)), OffNewlineMiddle(doc, static_cast<u32>(lParam)), 0);
      return 0;
    case EM_SCROLLCARET:
      UpdateCaret(ed, 0);
      return 0;
    case EM_GETMODIFY: return lParam ? doc->modifiedSinceAutoSave : doc->modified;
    case EM_SETMODIFY:
      if (lParam) return doc->modifiedSinceAutoSave = static_cast<u32>(wParam);
      // The saved state: undo or redo back to it clears the flag again. The
      // steps are closed, so that typing on starts a step of its own.
      if (!wParam) MarkSaved(doc);
      doc->modified = static_cast<u32>(wParam);
      doc->modifiedSinceAutoSave = static_cast<u32>(wParam);
      NotifyParentPrivate(ed, EDN_MODIFIED, doc->modified);
      return doc->modified;
    case EM_REPLACESEL: {
      const char *text = reinterpret_cast<const char *>(lParam);
      return ReplaceSel(ed, text ? text : "", text ? static_cast<u32>(StrLen(text)) : 0);
    }
    case EM_CANUNDO: return doc->undo.count > 0;
    case 0x043E:  // EM_GETSELTEXT
      return ReadInto(ed, doc->selStart->position, doc->selEnd->position, reinterpret_cast<char *>(lParam), 0x7FFFFFFF,
                      DocumentMode(doc));
    case 0x0454: {  // EM_REDO
      int r = UndoRedo(doc, kRedo);
      AfterSelection(ed, 0);
      return r;
    }
    case 0x0455: return doc->redo.count > 0;  // EM_CANREDO
    default:
      return Base(hwnd, msg, wParam, lParam);
  }
}

}  // namespace

void SelectAndShow(EditorWindow *ed, u32 anchor, u32 caret, UINT caretFlags) { Select(ed, anchor, caret, caretFlags); }

void ShowSelectionChange(EditorWindow *ed, u32 oldStartRow, u32 oldEndRow, UINT caretFlags) {
  Document *doc = ed->doc;
  InvalidateSelectionRows(ed, oldStartRow, oldEndRow);
  InvalidateSelectionRows(ed, doc->selStart->row, doc->selEnd->row);
  AfterSelection(ed, caretFlags);
}

int ReplaceAndShow(EditorWindow *ed, const char *bytes, u32 length, u32 flags) {
  int r = ReplaceSelectionCounted(ed->doc, bytes, length, kReplaceFromBytes | flags, nullptr);
  AfterSelection(ed, 0);
  return r;
}

u32 PositionOffNewlineMiddle(const Document *doc, u32 p) { return OffNewlineMiddle(doc, p); }

bool RegisterEditorClass(HINSTANCE instance) {
  WNDCLASSA wc;
  if (!GetClassInfoA(nullptr, "edit", &wc)) return false;
  g_baseProc = wc.lpfnWndProc;
  wc.style &= ~0x408Bu;
  wc.lpfnWndProc = EditorWndProc;
  wc.hInstance = instance;
  wc.lpszClassName = kEditorClassName;
  wc.lpszMenuName = nullptr;
  return RegisterClassA(&wc) != 0;
}

EditorWindow *EditorOf(HWND hwnd) { return static_cast<EditorWindow *>(GetPropA(hwnd, kEditorProperty)); }

void NotifyParent(EditorWindow *ed, WORD code) {
  HWND parent = GetParent(ed->hwnd);
  if (parent)
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(ed->controlId, code), reinterpret_cast<LPARAM>(ed->hwnd));
}

LRESULT NotifyParentPrivate(EditorWindow *ed, UINT message, LPARAM lParam) {
  HWND parent = GetParent(ed->hwnd);
  return parent ? SendMessageA(parent, message, reinterpret_cast<WPARAM>(ed->hwnd), lParam) : 0;
}

void SendProgress(EditorWindow *ed, u64 done, u64 total) {
  HWND parent = GetParent(ed->hwnd);
  if (parent) SendMessageA(parent, EDN_PROGRESS, static_cast<WPARAM>(done), static_cast<LPARAM>(total));
}

void NotifyCaret(EditorWindow *ed) {
  const Document *doc = ed->doc;
  const TextStore *s = &doc->store;
  const PositionRecord &caret = doc->caret;
  CaretRecord &info = ed->caretInfo;
  info.line = caret.hardLine;
  info.lineCount = RowCount(s) ? HardLineCount(s) : 1;
  info.column = caret.offsetInHardLine;
  info.lineLength = caret.hardLineLength;
  info.position = caret.position;
  info.textLength = s->length;
  info.selectionLines = doc->selEnd->hardLine - doc->selStart->hardLine;
  info.selectionLength = doc->selEnd->position - doc->selStart->position;
  info.character = 0;
  u8 bytes[2];
  u32 got = 0;
  if (caret.position < s->length)
    got = ReadText(s, caret.position, caret.position + 2, reinterpret_cast<char *>(bytes), 2, 0, nullptr);
  if (got > 0) info.character = bytes[0];
  if (got == 2 && PlatIsLeadByte(kCodePageAnsi, bytes[0])) info.character = bytes[0] * 256u + bytes[1];
  NotifyParentPrivate(ed, EDN_CARET, reinterpret_cast<LPARAM>(&info));
  if (InsideCrLf(doc, doc->anchor.position) || InsideCrLf(doc, caret.position)) NotifyParentPrivate(ed, EDN_BREAKSNEWLINE, 0);
  NotifyParent(ed, kEditorMoved);
}

InputMetrics g_inputMetrics;

void ReadInputMetrics() {
  // "A page at a time" (WHEEL_PAGESCROLL) counts as more than any window holds.
  auto clamp = [](UINT n) { return n > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(n); };
  UINT n = 3;
  if (!SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &n, 0)) n = 3;
  g_inputMetrics.wheelLines = clamp(n);
  n = 3;
  if (!SystemParametersInfoA(0x006C /* SPI_GETWHEELSCROLLCHARS */, 0, &n, 0)) n = 3;
  g_inputMetrics.wheelChars = clamp(n);
  g_inputMetrics.doubleClickWidth = GetSystemMetrics(SM_CXDOUBLECLK);
  g_inputMetrics.doubleClickHeight = GetSystemMetrics(SM_CYDOUBLECLK);
  g_inputMetrics.doubleClickTime = GetDoubleClickTime();
  g_inputMetrics.read = true;
}
