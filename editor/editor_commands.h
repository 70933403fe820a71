// The editor's command handler: the WM_COMMAND ids the main window forwards.
// Results: 0 done, 1 nothing to do, 2 not an editor command, 3 failed.
//
// A command fails either quietly (its edit failed and was reported) or with
// a message: the out-of-memory message becomes the notification 0x500 after a
// beep, any other the notification 0xB00F with its text, which the main
// window shows as a warning.
#pragma once

#include "editor/editor_window.h"

constexpr LRESULT kCommandDone = 0;
constexpr LRESULT kCommandNothing = 1;
constexpr LRESULT kCommandUnknown = 2;
constexpr LRESULT kCommandFailed = 3;

LRESULT RunEditorCommand(EditorWindow *ed, int id);
// Turns a command's result code (0, 32, 48, -1 or a string id) into the
// handler's answer and reports a failure to the parent.
LRESULT FinishEditorCommand(EditorWindow *ed, int result);

// The Last Tool (30050): the tool that ran last, run again on the selection
// (its result replaces the selection as one step and stays selected). The
// tool framework sets it whenever a tool runs; null: none has run.
struct LastToolEntry {
  int (*run)(void *context, EditorWindow *ed);  // a result code: 0 done, 32 nothing, 48 or -1 failed
  void *context;
};
void SetLastTool(const LastToolEntry *entry);
bool HasLastTool();
