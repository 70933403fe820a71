// The Go to dialog (command 21413, Ctrl+G; dialog resource 150): a Line box
// and a Position box, each prefilled with the caret's, either of them usable.
// The box that last had the focus is the one that counts on OK.
//
// What a box accepts (spaces around are ignored):
//   n        line or position n, counting from 1
//   +n, -n   n lines or positions after or before the caret's
//   0, $     the last line, the end of the text
//   $-n      n lines or positions before those
// Anything else beeps and keeps the dialog open with the box selected.
#pragma once

#include <windows.h>

#include "foundation/types.h"

enum GotoBox : int { kGotoBoxLine, kGotoBoxPosition };

// A box's text as the editor's go-to request: the number and the flags
// (line or position, relative) of EDM_GOTO.
struct GotoRequest {
  i32 number;
  u32 flags;
};

// false when the text is none of the accepted forms, or a number beyond
// 2,147,483,647.
bool ParseGotoEntry(const char *text, GotoBox box, GotoRequest *out);

// Runs the dialog over the editor, with `focus` focused and selected.
// 0 when the caret went somewhere, 32 when cancelled.
int RunGotoDialog(HWND owner, HWND editor, GotoBox focus);
