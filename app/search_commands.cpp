#include "app/search_commands.h"

#include <string.h>

#include "app/app_state.h"
#include "app/file_commands.h"
#include "app/search_bar.h"
#include "app/status_bar.h"
#include "config/config_state.h"
#include "document/motion.h"
#include "editor/editor_commands.h"
#include "editor/editor_messages.h"
#include "foundation/ask_user.h"
#include "foundation/format.h"
#include "foundation/memory.h"
#include "search/search_run.h"

namespace {

bool g_cutOff;  // the last pass ended at its time limit

// The worker's side: every change goes to the editor window as a message.
struct Worker {
  SearchRun run;
  HWND editor;
};

void SelectOnWindow(void *context, u32 anchor, u32 caret, bool scroll) {
  HWND editor = static_cast<Worker *>(context)->editor;
  SendMessageA(editor, EDM_SETSELQUIET, anchor, caret);
  if (scroll) SendMessageA(editor, EM_SCROLLCARET, 0, 0);
}

int EditOnWindow(void *context, const EditBatch *batch) {
  const LRESULT r = SendMessageA(static_cast<Worker *>(context)->editor, EDM_EDIT, reinterpret_cast<WPARAM>(batch), 0);
  return r == 0 ? 0 : r == kResultOutOfMemory ? kSearchNoMemory : kSearchEditFailed;
}

// The Last Tool on the selected occurrence, through the editor's command;
// where its result ends.
int LastToolOnWindow(void *context, u32 *end) {
  HWND editor = static_cast<Worker *>(context)->editor;
  if (SendMessageA(editor, WM_COMMAND, 30050, 0) != 0) return kSearchToolFailed;
  DWORD a = 0, b = 0;
  SendMessageA(editor, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
  *end = b;
  return 0;
}

int SearchWork(LongOperation *op) {
  Worker *w = static_cast<Worker *>(op->context);
  w->run.op = op;
  return RunSearchLoop(&w->run);
}

// The pattern as the not-found message shows it: as typed, unless the
// compiled copy holds a decoded newline.
const char *ShownPattern(const SearchBarSettings &record, const CompiledPattern *cp) {
  return strpbrk(cp->pattern, "\r\n") ? cp->pattern : record.Patt;
}

// One pass of a request; the loop's result.
int Pass(const SearchBarSettings &record, CompiledPattern *cp, u32 request, bool *foundNext) {
  HWND editor = g_app.editorWindow;
  Document *doc = AppDocument();
  // \G is the caret when nothing is selected.
  cp->scan.searchStart = doc->selStart->position == doc->selEnd->position ? doc->caret.position : kNoPosition;
  Worker w = {};
  w.editor = editor;
  w.run.doc = doc;
  w.run.cp = cp;
  w.run.request = request;
  w.run.host = SearchHost{&w, SelectOnWindow, EditOnWindow, HasLastTool() ? LastToolOnWindow : nullptr};
  LongOperation op = {};
  // The matcher polls its own flag: Cancel and the time limit reach a long
  // scan through it.
  volatile i32 scanCancel = 0;
  cp->scan.cancel = &scanCancel;
  op.scanCancel = &scanCancel;
  op.work = SearchWork;
  op.context = &w;
  op.waitText = Text(TXT_SEARCHING_FOR);
  op.waitDetail[0] = record.Patt;
  op.waitDetail[1] = (request & kSearchReplaceAll) ? Text(TXT_REPLACING_TOO_MANY) : nullptr;
  const bool inlineRun = g_settings.main.FNoThrd || (request & kSearchInline);
  if ((request & (kSearchHighlight | kSearchInline)) == (kSearchHighlight | kSearchInline)) op.limitMs = kInlineHighlightLimitMs;
  StartSearchClock(cp, op.limitMs);
  u32 flags = inlineRun ? static_cast<u32>(kRunInline) : 0u;
  if (request & (kSearchReplace | kSearchReplaceAll | kSearchLastTool | kSearchLastToolAll)) flags |= kRunChanges;
  // A single replace or Last Tool selects the next occurrence.
  if ((request & (kSearchReplace | kSearchLastTool)) && !(request & (kSearchReplaceAll | kSearchLastToolAll))) {
    flags |= kRunKeepView;
  }
  if (request & kSearchHighlight) flags |= (request & kSearchSecondary) ? kRunHighlight6 : kRunHighlight5;
  const int r = static_cast<int>(SendMessageA(editor, EDM_RUNLONG, flags, reinterpret_cast<LPARAM>(&op)));
  cp->scan.cancel = nullptr;
  g_cutOff = op.limitMs && (op.cancel.load() != 0 || scanCancel != 0);
  *foundNext = w.run.foundNext;
  return r;
}

// A total in the status bar and on the search bar's note line.
void Total(TextSlot format, int n) {
  char note[96];
  Format(note, sizeof note, Text(format), n);
  ShowMessage(note, 2);
  SetSearchBarNote(note);
}

}  // namespace

int RunSearch(int which, u32 request) {
  SearchBarSettings &record = g_settings.opts.bar[which];
  if (!g_app.editorWindow || !AppDocument()) return kResultCancelled;
  if (which == 1) request |= kSearchSecondary;
  if (record.Mim) request |= kSearchMimic;
  // 1-2. The record compiled, its replace text copied.
  CompiledPattern *cp = static_cast<CompiledPattern *>(Allocate(sizeof(CompiledPattern)));
  if (!cp) return kSearchNoMemory;
  u32 flags = 0;
  if (!record.Case) flags |= kPatternIgnoreCase;
  if (record.Wrds) flags |= kPatternWholeWords;
  if (record.RgEx) flags |= kPatternRegExps;
  if (record.Escs) flags |= kPatternEscapes;
  const int compiled = CompilePattern(cp, record.Patt, flags);
  if (compiled != 0) {
    // While typing with Highlight all, the note line says it; otherwise a box.
    if ((request & (kSearchHighlight | kSearchInline)) == (kSearchHighlight | kSearchInline)) {
      SetSearchBarNote(Text(PatternErrorText(compiled)));
    } else {
      AskUser(g_app.mainWindow, PatternErrorText(compiled), kAskWarning);
      NoteSearchOutcome(true, false);
    }
    FreePattern(cp);
    Free(cp);
    return kPatternCompileFailed;
  }
  if (cp->warning) ShowMessage(Text(PatternWarningText(cp->warning)), 2);
  memcpy(cp->replace, record.Repl, sizeof record.Repl);
  cp->replace[sizeof cp->replace - 1] = 0;
  // 3-6. The request, and again from the start when it wraps around.
  bool foundNext = false;
  int r = Pass(record, cp, request, &foundNext);
  const bool single = (request & (kSearchReplace | kSearchLastTool)) && !(request & (kSearchReplaceAll | kSearchLastToolAll));
  const bool mayWrap = !(request & (kSearchFromStart | kSearchSelectTo)) && !record.NWA && !(request & kSearchHighlight);
  if (mayWrap && (r == 0 || (single && r > 0 && !foundNext))) {
    ShowMessage(Text(TXT_WRAPPED_AROUND), 2);
    // The second pass only finds.
    const u32 again = (request & ~(kSearchReplace | kSearchLastTool)) | kSearchFromStart | kSearchNoRepeat;
    const int second = Pass(record, cp, again, &foundNext);
    if (!(single && r > 0)) r = second;
    else if (second < 0) r = second;
  } else if (single && r > 0 && !foundNext) {
    SetSearchBarNote(Text(TXT_NO_MORE_MATCHES));
    NoteSearchOutcome(true, true);
    AskUser(g_app.mainWindow, TXT_NO_MORE_MATCHES, kAskInfo);
  }
  switch (r) {
    case kSearchToolFailed:
    case kSearchAskCancelled:
    case kSearchEditFailed:
      break;
    case kSearchReplaceError:
      NoteSearchOutcome(true, false);
      AskUser(g_app.mainWindow, TXT_REPLACE_PATTERN_ERROR, kAskWarning);
      break;
    case kSearchNoMemory:
      NoteSearchOutcome(true, false);
      AskUser(g_app.mainWindow, TXT_OUT_OF_MEMORY, kAskWarning);
      break;
    case 0:
      if (request & kSearchHighlight) {
        Total(TXT_TOTAL_MATCHES, 0);
      } else {
        char note[kFormatMaxOutput + 1];
        Format(note, sizeof note, Text(TXT_NOT_FOUND), ShownPattern(record, cp));
        SetSearchBarNote(note);
        NoteSearchOutcome(true, false);
        AskUserAsIs(g_app.mainWindow, note, kAskInfo);
      }
      break;
    default:
      if (request & kSearchHighlight) {
        Total(TXT_TOTAL_MATCHES, r);
      } else if (request & (kSearchReplaceAll | kSearchLastToolAll)) {
        char note[96];
        Format(note, sizeof note, Text(TXT_TOTAL_REPLACEMENTS), r);
        SetSearchBarNote(note);
        AskUserAsIs(g_app.mainWindow, note, kAskInfo);
      }
      break;
  }
  FreePattern(cp);
  Free(cp);
  return r;
}

bool LastSearchCutOff() { return g_cutOff; }

bool TakeSelectionAsPattern(SearchBarSettings *record) {
  HWND editor = g_app.editorWindow;
  Document *doc = AppDocument();
  if (!editor || !doc) return false;
  // 1. The word at the caret when nothing is selected.
  if (doc->selStart->position == doc->selEnd->position) {
    u32 a = 0, b = 0;
    WordUnitAt(doc, doc->caret.position, &a, &b);
    if (a == b) return false;
    SendMessageA(editor, EM_SETSEL, a, b);
  }
  // 2. At most 65,536 bytes, newlines as line feeds, escaped; cut at 65,534
  // characters, never inside an escape or a double-byte character.
  struct Taken {
    char *bytes;
    u32 n;
    bool afterCR;
  } taken = {static_cast<char *>(Allocate(65536)), 0, false};
  if (!taken.bytes) return false;
  BlockRun run = {[](void *c, const char *p, u32 length, u32 offset) {
                    Taken *t = static_cast<Taken *>(c);
                    for (u32 i = 0; i < length && offset + i < 65536; i++) {
                      const char b = p[i];
                      if (b == '\n' && t->afterCR) {
                        t->afterCR = false;
                        continue;
                      }
                      t->afterCR = b == '\r';
                      t->bytes[t->n++] = b == '\r' ? '\n' : b;
                    }
                    return offset + length >= 65536 ? 1 : 0;
                  },
                  &taken};
  SendMessageA(editor, EDM_RUNBLOCKS, reinterpret_cast<WPARAM>(&run), 0);
  const char *raw = taken.bytes;
  const u32 n = taken.n;
  char *out = record->Patt;
  const u32 limit = 65534 < sizeof record->Patt - 1 ? 65534 : static_cast<u32>(sizeof record->Patt - 1);
  u32 k = 0;
  bool escaped = false;
  for (u32 i = 0; i < n && i < 65536; i++) {
    const char c = raw[i];
    const char *esc = c == 0 ? "\\0" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\\' ? "\\\\" : nullptr;
    const bool pair = !esc && PlatIsLeadByte(0, static_cast<u8>(c)) && i + 1 < n;
    const u32 need = esc || pair ? 2 : 1;
    if (k + need > limit) break;
    if (esc) {
      out[k++] = esc[0];
      out[k++] = esc[1];
      escaped = true;
    } else {
      out[k++] = c;
      if (pair) out[k++] = raw[++i];
    }
  }
  out[k] = 0;
  Free(taken.bytes);
  // 3. The options of a plain search.
  record->Case = 0;
  record->Wrds = 0;
  record->RgEx = 0;
  record->Escs = escaped || (g_settings.main.FSgKEsc && record->Escs) ? 1 : 0;
  return true;
}

int CommandSearch(int id) {
  if (id < 25100 || id > 25360) return 64;
  const int which = id >= 25300 ? 1 : 0;
  const int item = (id - 25100) % 200;
  SearchBarSettings &record = g_settings.opts.bar[which];
  switch (item) {
    case 10: case 20: case 50: case 60: {
      static const u32 kRequests[] = {0, kSearchBackward, 0, 0, kSearchSelectTo, kSearchSelectTo | kSearchBackward};
      if (!record.Patt[0]) return OpenSearchBar(which ? kBarSecondary : 0);  // nothing to look for yet
      const int r = RunSearch(which, kRequests[item / 10 - 1]);
      return r == kPatternCompileFailed || r < 0 ? kResultReported : 0;
    }
    case 30:
    case 40:
      if (!TakeSelectionAsPattern(&record)) return kResultCancelled;
      if (g_settings.main.FHist && g_settings.main.FHistSL) AddToSearchHistory(record, false);
      ReloadSearchBar(which);
      if (item == 40) {
        ShowMessage(Text(TXT_SEARCH_LATER), 2);
        return 0;
      }
      return RunSearch(which, 0) < 0 ? kResultReported : 0;
    default:
      return 64;
  }
}
