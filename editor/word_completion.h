// Complete Word (21837, Ctrl+Space): the partial word before the caret is
// completed from the words of the document (tools/complete_word.h), gathered
// through the tool runner. One candidate: its remainder is inserted. Several:
// with Longest auto-completion (CWLong) the continuation they all share is
// inserted when there is one; otherwise dialog 170 (a caption-less pop-up
// with the list, below the caret) offers them, Enter or a double-click
// choosing and Esc cancelling. The insertion is one edit. Without a partial
// word or a candidate the command beeps and does nothing else.
#pragma once

#include "editor/editor_window.h"

// A result code: 0 inserted, 32 nothing inserted, 48 failed and reported,
// -1 out of memory.
int CompleteWord(EditorWindow *ed);
