#include "editor/tool_commands.h"

#include "config/config_state.h"
#include "document/edit.h"
#include "document/long_operation.h"
#include "editor/editor_caches.h"
#include "editor/editor_commands.h"
#include "editor/editor_messages.h"
#include "editor/editor_scroll.h"
#include "editor/wait_window.h"
#include "foundation/ask_user.h"
#include "foundation/memory.h"
#include "resources/resource.h"
#include "tools/text_tools.h"
#include "tools/tool_table.h"

namespace {

ToolDialogHook g_dialogHook;
int g_running;  // tool runs under way (one inside another: Last Tool on occurrences)

// ---- the host ----

EditorWindow *Ed(void *context) { return static_cast<EditorWindow *>(context); }

WindowRef Owner(EditorWindow *ed) { return GetAncestor(ed->hwnd, GA_ROOT); }

// "Processing.." shows at once and stays as the caption of the progress
// the wait window reports; null ends it.
void Status(void *context, const char *text) {
  EditorWindow *ed = Ed(context);
  if (!text) {
    NotifyParentPrivate(ed, EDN_PROGRESSEND, 0);
    return;
  }
  StatusMessage message = {text, 0, 0};
  NotifyParentPrivate(ed, EDN_STATUSMESSAGE, reinterpret_cast<LPARAM>(&message));
  NotifyParentPrivate(ed, EDN_PROGRESSBEGIN, reinterpret_cast<LPARAM>(text));
}

// The run goes through the editor's long operations: the worker with the
// wait window, or inline; either way the window counts as busy meanwhile.
int RunLongHook(void *context, LongOperation *op, u32 runFlags) {
  return static_cast<int>(SendMessageA(Ed(context)->hwnd, EDM_RUNLONG, runFlags, reinterpret_cast<LPARAM>(op)));
}

// The runner has set the selection itself (an automatic one, the new text,
// or the old one back): the whole view is repainted, since rows selected in
// between may have been painted.
void SelectionShown(void *context, u32 flags) {
  EditorWindow *ed = Ed(context);
  InvalidateRect(ed->hwnd, nullptr, FALSE);
  SelectAndShow(ed, ed->doc->anchor.position, ed->doc->caret.position, (flags & kReplaceView1) ? kCaretNoScroll : 0);
  CheckSelectionHighlighter(ed);
}

// A preview's text becomes the target control's, as an edit control shows
// lines: every newline (CR LF, LF or CR) as CR LF, and a NUL as a space.
int SetTargetText(void *, WindowRef target, const char *text, u32 length) {
  const size_t room = static_cast<size_t>(length) * 2 + 1;
  char *shown = static_cast<char *>(Allocate(room));
  if (!shown) return kResultOutOfMemory;
  size_t n = 0;
  for (u32 i = 0; i < length; i++) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      shown[n++] = '\r';
      shown[n++] = '\n';
      if (c == '\r' && i + 1 < length && text[i + 1] == '\n') i++;
    } else {
      shown[n++] = c ? c : ' ';
    }
  }
  shown[n] = 0;
  SetWindowTextA(static_cast<HWND>(target), shown);
  Free(shown);
  return 0;
}

// A tool's message, shown as it stands (it may hold a "%").
void Message(void *context, const char *text) { AskUserFormat(Owner(Ed(context)), kAskWarning, "%s", text); }

ToolHost HostOf(EditorWindow *ed) {
  ToolHost host = {};
  host.context = ed;
  host.owner = Owner(ed);
  host.status = Status;
  host.runLong = RunLongHook;
  host.selectionShown = SelectionShown;
  host.setTargetText = SetTargetText;
  host.message = Message;
  return host;
}

ToolRunSettings RunSettings() {
  const MainSettings &m = g_settings.main;
  return ToolRunSettings{m.TASel, m.TNoThrd, m.TPerSel, m.TPerScr};
}

// Brackets a run, so that what is posted meanwhile waits for its end.
struct RunScope {
  RunScope() { g_running++; }
  ~RunScope() {
    if (--g_running == 0 && !LongOperationRunning() && g_afterLongOperation) g_afterLongOperation();
  }
};

// ---- the Last Tool ----

int g_lastToolId;

int RunLastTool(void *, EditorWindow *ed) { return RunToolCommand(ed, g_lastToolId, kToolAgain); }

const LastToolEntry kLastTool = {RunLastTool, nullptr};

}  // namespace

int RunEditorTool(EditorWindow *ed, ToolDescriptor *tool) {
  RunScope scope;
  return RunTool(ed->doc, tool, HostOf(ed), RunSettings());
}

int RunToolCommand(EditorWindow *ed, int id, ToolCommandMode mode) {
  const ToolRow *row = FindToolRow(id);
  if (!row) return kResultNotHandled;
  if (mode == kToolFromCommand && (row->rowFlags & kToolRowDialog) && g_dialogHook &&
      g_dialogHook(static_cast<HWND>(Owner(ed)), id) != kResultDone)
    return kResultCancelled;
  // Fun Case counts its uses and now and then refuses, before any run.
  if (id == IDM_TOOL_FUN_CASE) {
    if (const char *refusal = FunCaseRefusal()) {
      Message(ed, refusal);
      return kResultCancelled;
    }
  }
  ToolDescriptor tool;
  if (!DescribeTool(id, &tool)) return kResultNotHandled;
  const int r = RunEditorTool(ed, &tool);
  if (mode != kToolFromTabKey) {
    g_lastToolId = id;
    SetLastTool(&kLastTool);
  }
  switch (r) {
    case kResultDone:
    case kResultCancelled:
    case kResultReported:
    case kResultOutOfMemory:
      return r;
    default:
      return kResultReported;  // the runner has shown the tool's message
  }
}

void SetToolDialogHook(ToolDialogHook hook) { g_dialogHook = hook; }

bool ToolRunning() { return g_running > 0; }
