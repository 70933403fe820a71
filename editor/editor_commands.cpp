#include "editor/editor_commands.h"

#include "config/config_state.h"
#include "document/undo.h"
#include "editor/editor_editing.h"
#include "editor/editor_scroll.h"

namespace {

enum : int {
  kCmdUndoId = 21113,
  kCmdRedoId = 21115,
  kCmdToggleId = 21117,
};

LRESULT RunUndo(EditorWindow *ed, UndoCommand command) {
  UndoMode mode = UndoModeForCommand(command, g_settings.edit.NoMUndo != 0);
  int r = UndoRedo(ed->doc, mode);
  UpdateCaret(ed, 0);
  NotifyCaret(ed);
  return r ? kCommandDone : kCommandNothing;
}

}  // namespace

LRESULT RunEditorCommand(EditorWindow *ed, int id) {
  switch (id) {
    case kCmdUndoId: return RunUndo(ed, kCmdUndo);
    case kCmdRedoId: return RunUndo(ed, kCmdRedo);
    case kCmdToggleId: return RunUndo(ed, kCmdEmUndo);
    default:
      // Clipboard, tool, clip and filter commands join this table as they
      // are built.
      return RunEditingCommand(ed, id);
  }
}
