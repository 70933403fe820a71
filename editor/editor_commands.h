// The editor's command handler: the WM_COMMAND ids the main window forwards.
// Results: 0 done, 1 nothing to do, 2 not an editor command, 3 failed.
#pragma once

#include "editor/editor_window.h"

constexpr LRESULT kCommandDone = 0;
constexpr LRESULT kCommandNothing = 1;
constexpr LRESULT kCommandUnknown = 2;
constexpr LRESULT kCommandFailed = 3;

LRESULT RunEditorCommand(EditorWindow *ed, int id);
