#include "editor/editor_commands.h"

#include "config/config_state.h"
#include "document/edit.h"
#include "document/position.h"
#include "document/undo.h"
#include "editor/clipboard.h"
#include "editor/editor_editing.h"
#include "editor/editor_scroll.h"
#include "editor/tool_commands.h"
#include "editor/word_completion.h"
#include "foundation/bytes.h"
#include "foundation/texts.h"
#include "resources/resource.h"
#include "tools/tool_table.h"

namespace {

// A command runs with its id and answers with a result code of the shared
// convention (0 done, 32 nothing to do, 48 failed quietly, -1 out of memory,
// a string id when it failed with that message).
using CommandFn = int (*)(EditorWindow *ed, int id);

// The view after a command moved the caret or changed the text.
void AfterCommand(EditorWindow *ed) {
  UpdateCaret(ed, 0);
  NotifyCaret(ed);
}

int Undo(EditorWindow *ed, int id) {
  const UndoCommand command = id == 21113 ? kCmdUndo : id == 21115 ? kCmdRedo : kCmdEmUndo;
  UndoMode mode = UndoModeForCommand(command, g_settings.edit.NoMUndo != 0);
  int r = UndoRedo(ed->doc, mode);
  AfterCommand(ed);
  return r ? kResultDone : kResultCancelled;
}

const LastToolEntry *g_lastTool;

// Last Tool runs the tool that ran last; nothing to do before one has.
int LastTool(EditorWindow *ed, int) {
  if (!g_lastTool || !g_lastTool->run) return kResultCancelled;
  const int r = g_lastTool->run(g_lastTool->context, ed);
  AfterCommand(ed);
  return r;
}

// A tool of the Tools menu or its keys.
int Tool(EditorWindow *ed, int id) { return RunToolCommand(ed, id, kToolFromCommand); }

int CompleteWordCommand(EditorWindow *ed, int) { return CompleteWord(ed); }

// Cut, Copy, Paste, Swap and the Appends.
int Clipboard(EditorWindow *ed, int id) {
  if (!ClipboardOperation(ed, ClipboardFlagsOfCommand(id))) return kResultReported;
  AfterCommand(ed);
  return kResultDone;
}

// Alt+1..9 and Ctrl+1..9: a clip stored or inserted.
int Clip(EditorWindow *ed, int id) {
  const int r = id >= 45301 ? InsertClip(ed, id - 45301) : StoreClip(ed, id - 45201);
  if (r == kResultDone) AfterCommand(ed);
  return r;
}

struct CommandRange {
  int first, last;
  CommandFn run;  // null: an editing command (editor_editing), or one whose subsystem is not built yet
};

// The ids the main window forwards to the editor. Commands whose work is not
// built yet answer "not an editor command", as an unknown id does.
const CommandRange kCommands[] = {
    {21113, 21117, Undo},         // Undo, Redo, single-level undo toggle (21114, 21116: none)
    {21212, 21218, Clipboard},    // Cut, Cut Append, Copy, Copy Append, Paste, Swap
    {21313, 21313, nullptr},      // Insert Recently Deleted
    {21317, 21317, nullptr},      // Insert Recently Inserted
    {21321, 21322, nullptr},      // Insert File Name, Full Path
    {21344, 21349, nullptr},      // date and time
    {21423, 21447, nullptr},      // Select Word, Line, Paragraph and their extending variants
    {21453, 21453, nullptr},      // Select All
    {21611, 21674, nullptr},      // Delete, Backspace, the cut-off commands, Push Line
    {21733, 21773, nullptr},      // Return, Smart Return, Copying Return
    {21833, 21833, nullptr},      // Complete Line
    {21837, 21837, CompleteWordCommand},
    {21920, 21921, nullptr},      // Tab, Shift+Tab
    {30050, 30050, LastTool},     // Last Tool
    {31010, 39030, Tool},         // the text tools (those of the tool table)
    {45201, 45209, Clip},         // selection into clip 1 to 9
    {45301, 45309, Clip},         // insert clip 1 to 9
};

// Ids inside a range that belong to no command (tool ids without a tool
// among them).
bool IsGap(int id) {
  if (id >= IDM_TOOLS_FIRST && id <= IDM_TOOLS_LAST) return !FindToolRow(id);
  return id == 21114 || id == 21116 || id == 21217;
}

}  // namespace

LRESULT RunEditorCommand(EditorWindow *ed, int id) {
  const LRESULT editing = RunEditingCommand(ed, id);
  if (editing != kCommandUnknown) return editing;
  CommandFn run = nullptr;
  for (const CommandRange &c : kCommands)
    if (id >= c.first && id <= c.last) run = c.run;
  if (!run || IsGap(id)) return kCommandUnknown;
  return FinishEditorCommand(ed, run(ed, id));
}

LRESULT FinishEditorCommand(EditorWindow *ed, int result) {
  switch (result) {
    case kResultDone: return kCommandDone;
    case kResultCancelled: return kCommandNothing;
    case kResultReported: return kCommandFailed;
    case kResultOutOfMemory:
      MessageBeep(0);
      NotifyParent(ed, kEditorOutOfMemory);
      return kCommandFailed;
    default: {
      int slot = result > 0 && result < 0x10000 ? TextSlotOfId(static_cast<u16>(result)) : -1;
      if (slot == TXT_OUT_OF_MEMORY) return FinishEditorCommand(ed, kResultOutOfMemory);
      if (slot >= 0) NotifyParentPrivate(ed, EDN_FAILED, reinterpret_cast<LPARAM>(Text(static_cast<TextSlot>(slot))));
      return kCommandFailed;
    }
  }
}

void SetLastTool(const LastToolEntry *entry) { g_lastTool = entry; }
bool HasLastTool() { return g_lastTool && g_lastTool->run; }
