// The editing commands the editor runs for the accelerator keys and the Edit
// menu: returns, tabs, deletions, line pushing, unit selection, completion of
// lines, dates and names, re-insertion through the journal.
#pragma once

#include "editor/editor_window.h"

// kCommandUnknown when the id is not one of them; otherwise the command
// result (editor_commands.h).
LRESULT RunEditingCommand(EditorWindow *ed, int id);

// The unit around a position as Select Word, Select Line and Select
// Paragraph take it (kinds 0, 1, 2); false when there is none (no paragraph
// at or after an empty line).
bool UnitAround(const Document *doc, int kind, u32 p, u32 *a, u32 *b);
