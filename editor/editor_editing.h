// The editing commands the editor runs for the accelerator keys and the Edit
// menu: returns, tabs, deletions, line pushing, unit selection, completion of
// lines, dates and names, re-insertion through the journal.
#pragma once

#include "editor/editor_window.h"

// kCommandUnknown when the id is not one of them; otherwise the command
// result (editor_commands.h).
LRESULT RunEditingCommand(EditorWindow *ed, int id);
