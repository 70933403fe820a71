#include "editor/word_completion.h"

#include "config/config_state.h"
#include "document/edit.h"
#include "document/motion.h"
#include "document/text_store.h"
#include "editor/tool_commands.h"
#include "foundation/bytes.h"
#include "foundation/memory.h"
#include "resources/resource.h"
#include "tools/complete_word.h"

namespace {

// How far back from the caret the partial word is looked for: a word longer
// than this is completed from its last part.
constexpr u32 kPrefixReach = 65536;

// ---- the list of candidates (dialog 170) ----

struct Choice {
  const CompleteWordRequest *request;
  POINT at;  // the screen point below the caret
};

// Below the caret, or above its row when the work area ends first; never
// off the work area's left or right edge.
void PlaceAtCaret(HWND dialog, const Choice *choice) {
  RECT box, work;
  GetWindowRect(dialog, &box);
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) SetRect(&work, 0, 0, 1 << 15, 1 << 15);
  const int w = box.right - box.left, h = box.bottom - box.top;
  int x = choice->at.x, y = choice->at.y;
  if (y + h > work.bottom && y - h >= work.top) y = y - h;
  if (x + w > work.right) x = work.right - w;
  if (x < work.left) x = work.left;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void Choose(HWND dialog) {
  const LRESULT selected = SendDlgItemMessageA(dialog, IDC_COMPLETE_LIST, LB_GETCURSEL, 0, 0);
  EndDialog(dialog, selected == LB_ERR ? 0 : selected + 1);
}

INT_PTR CALLBACK CompleteWordDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      const Choice *choice = reinterpret_cast<const Choice *>(lParam);
      HWND list = GetDlgItem(dialog, IDC_COMPLETE_LIST);
      const char *word = choice->request->words.text;
      for (u32 k = 0; k < choice->request->count; k++, word += StrLen(word) + 1)
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(word));
      SendMessageA(list, LB_SETCURSEL, 0, 0);
      PlaceAtCaret(dialog, choice);
      SetFocus(list);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          Choose(dialog);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case IDC_COMPLETE_LIST:
          if (HIWORD(wParam) == LBN_DBLCLK) Choose(dialog);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

// The candidate chosen in the list (its number), or -1 when cancelled.
int ChooseCandidate(EditorWindow *ed, const CompleteWordRequest &request) {
  Choice choice = {&request, {ed->caretX, ed->caretY + ed->lineHeight}};
  ClientToScreen(ed->hwnd, &choice.at);
  const INT_PTR chosen = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_COMPLETE_WORD),
                                         GetAncestor(ed->hwnd, GA_ROOT), CompleteWordDlgProc,
                                         reinterpret_cast<LPARAM>(&choice));
  return chosen > 0 ? static_cast<int>(chosen - 1) : -1;
}

// ---- the command ----

// The partial word before the caret: [*from, caret) of the text, copied
// into a new block (Free it). Null with *from == caret when there is none,
// and with *from != caret when memory ran out.
char *PartialWord(const Document *doc, u32 *from) {
  const u32 caret = doc->caret.position;
  *from = caret;
  const PositionRecord &c = doc->caret;
  if (c.wantedColumn != kNoColumn && c.wantedColumn > c.rowLength && c.wantedColumn < 1048576) return nullptr;
  u32 start = HardLineStart(doc, c.hardLine);
  if (caret - start > kPrefixReach) start = caret - kPrefixReach;
  char *line = static_cast<char *>(Allocate(caret - start + 1));
  if (!line) {
    *from = start;
    return nullptr;
  }
  const u32 n = ReadText(&doc->store, start, caret, line, caret - start, 0, nullptr);
  const u32 at = PartialWordStart(line, n);
  if (at == n) {
    Free(line);
    return nullptr;
  }
  MemCopy(line, line + at, n - at);
  line[n - at] = 0;
  *from = start + at;
  return line;
}

}  // namespace

int CompleteWord(EditorWindow *ed) {
  Document *doc = ed->doc;
  const u32 caret = doc->caret.position;
  u32 from = caret;
  char *prefix = PartialWord(doc, &from);
  if (!prefix) {
    if (from != caret) return kResultOutOfMemory;
    MessageBeep(0);
    return kResultCancelled;
  }
  CompleteWordRequest request = {};
  request.prefix = prefix;
  request.prefixLength = caret - from;
  request.ownStart = from;
  request.ignoreCase = g_settings.edit.CWICase;
  request.sorted = g_settings.edit.CWSort;
  ToolDescriptor tool = {};
  tool.buildFromText = CollectCompletions;
  tool.flags = kToolWholeDocument | kToolReadOnly | kToolWorker;
  tool.param = reinterpret_cast<ToolParam>(&request);
  int r = RunEditorTool(ed, &tool);
  if (r == kResultDone && request.count == 0) {
    MessageBeep(0);
    r = kResultCancelled;
  }
  if (r == kResultDone) {
    // One candidate, the continuation they all share, or the one chosen.
    const char *word = CompletionAt(request, 0);
    u32 length = request.count == 1 ? static_cast<u32>(StrLen(word)) - request.prefixLength : 0;
    if (request.count > 1 && g_settings.edit.CWLong) length = CommonContinuation(request);
    if (length == 0) {
      const int chosen = ChooseCandidate(ed, request);
      word = chosen >= 0 ? CompletionAt(request, static_cast<u32>(chosen)) : nullptr;
      if (word) length = static_cast<u32>(StrLen(word)) - request.prefixLength;
    }
    if (word && length) {
      SetSelection(doc, caret, caret);  // the remainder goes in at the caret, whatever is selected
      r = ReplaceAndShow(ed, word + request.prefixLength, length, kReplaceCloseBefore | kReplaceCloseAfter)
              ? kResultDone
              : kResultReported;
    } else {
      r = kResultCancelled;
    }
  }
  FreeCompleteWordRequest(&request);
  Free(prefix);
  return r == kResultDone || r == kResultCancelled || r == kResultOutOfMemory ? r : kResultReported;
}
