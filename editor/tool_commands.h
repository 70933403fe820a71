// The text tools as the editor's commands (31010-39030) and the Last Tool
// (30050): the editor's side of the tool runner.
//
// A tool command finds its row in the tool table; a row with a dialog has the
// dialog shown first (its OK stores the settings, Cancel runs nothing); Fun
// Case may refuse first. The runner then takes the input, runs the tool
// (on the worker with the wait window, or inline) and puts the result back as
// one undo step; its status text goes to the status bar and its messages to
// the user. The command id of every tool that reached the runner becomes the
// Last Tool, which runs it again without the dialog.
#pragma once

#include "editor/editor_window.h"
#include "tools/tool_runner.h"

enum ToolCommandMode : int {
  kToolFromCommand,  // a menu item or a key: the dialog first; becomes the Last Tool
  kToolAgain,        // the Last Tool: no dialog
  kToolFromTabKey,   // Tab and Shift+Tab over lines: no dialog, not the Last Tool
};

// Runs the tool of command `id`. A result code: 0 done, 32 cancelled or
// nothing to do, 48 failed with its message shown, -1 out of memory (for the
// caller's beep and notification); 64 when no tool has that id.
int RunToolCommand(EditorWindow *ed, int id, ToolCommandMode mode);

// Runs a descriptor made by the caller (Complete Word's) with the editor's
// host and the tool settings; it never becomes the Last Tool. The runner's
// result code.
int RunEditorTool(EditorWindow *ed, ToolDescriptor *tool);

// The tool dialogs (Quote, Close, ...) are the application's: it installs
// the function that shows them. 0: OK stored the settings and the tool runs;
// 32: cancelled. Without one, a tool runs with its settings as they are.
using ToolDialogHook = int (*)(HWND owner, int id);
void SetToolDialogHook(ToolDialogHook hook);

// Whether a tool run is under way, from the choice of its input to its last
// message (questions and message boxes dispatch what is posted): the main
// window holds posted commands back meanwhile, as during a long operation,
// and g_afterLongOperation replays them when the outermost run ends.
bool ToolRunning();
