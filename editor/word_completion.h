// Complete Word (21837, Ctrl+Space): the partial word before the caret is
// completed from the words of the document (tools/complete_word.h), gathered
// through the tool runner. One candidate: its remainder is inserted. Several:
// - with Longest auto-completion (CWLong) on, when every candidate continues
//   the partial word with the same bytes (as written, one whole character at
//   least), those bytes are inserted and no list is shown, so that the next
//   Ctrl+Space goes on from where the candidates part;
// - otherwise (CWLong off, or the candidates part right after the partial
//   word) dialog 170, a caption-less pop-up with the list below the caret,
//   offers them: Enter or a double-click chooses, Esc cancels.
// The insertion is one edit at the caret. Without a partial word or a
// candidate the command beeps and does nothing else.
#pragma once

#include "editor/editor_window.h"

// A result code: 0 inserted, 32 nothing inserted, 48 failed and reported,
// -1 out of memory.
int CompleteWord(EditorWindow *ed);
