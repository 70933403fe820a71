// Undo and redo.
//
// Each Document has an undo and a redo journal (journal.h). Replace selection
// records every change in one of them; consecutive typing and deleting merge
// into one step; groups make many steps one undo. The saved index of each
// journal says at which step count the document was last saved, so that undo
// and redo can tell when the document is back at its saved state.
//
// No limit on steps: memory is the only bound. Failure: recording fails only
// for lack of memory (the change is then not made); a failed undo leaves the
// remaining steps in place.
#pragma once

#include "document/document.h"

// Zeroes the journal and reserves 8 steps; 1, or 0 when out of memory.
[[nodiscard]] int CreateJournal(Journal *j);
// Frees every step and the array.
void FreeJournal(Journal *j);

// Records the deletion of [start, end) of `source` (null only when start ==
// end) and inserted bytes at start: extends the last step when it is open and
// the change continues it (deleting backwards up to its position, or going on
// at its end), otherwise appends a step. 1, or 0 when out of memory (the
// journal then is as before).
[[nodiscard]] int Record(Journal *j, const TextStore *source, u32 start, u32 end, u32 inserted);
// Whether Record would add this change to the newest step rather than start
// a new one.
bool RecordExtends(const Journal *j, u32 start, u32 end, u32 inserted);
// Records the deletion of [start, end) whose bytes come as a compact text
// (taken over): as a new step (the step array must have room for it), or in
// the newest step when the deletion extends it and it holds no deleted bytes
// yet (an insertion just made after the deleted text). CanRecordTaken tells
// whether it can; Record does the rest.
bool CanRecordTaken(const Journal *j, u32 start, u32 end);
void RecordTaken(Journal *j, CompactText *text, u32 start, u32 end);
// Removes the newest step; the journal becomes closed; a saved index above the
// count becomes -1.
void PopStep(Journal *j);
// Frees every step: count 0, saved index -1, the four flags 0; a capacity over
// 32 shrinks to 8 (kept when that fails).
void ClearJournal(Journal *j);
// Keeps only the newest group of the undo journal (closed, flags cleared,
// saved index -1) and clears the redo journal.
void ReduceJournals(Journal *undo, Journal *redo);
// Closes the current step unless the journal is in a group that keeps steps open.
void CloseStep(Journal *j);

// Both journals: group mode and group start pending = groupMode,
// close-inside-group = closeInside, closed = 1. A replacing search run begins
// with (1, 0) and ends with (0, 0).
void BeginGroup(Document *doc, u32 groupMode, u32 closeInside);
// Both journals: closed = 1, except one in group mode without close-inside-group.
void EndGroup(Document *doc);
// Journals not in group mode: closed, saved index = count; the document is
// no longer modified.
void MarkSaved(Document *doc);

enum UndoMode : int { kUndo, kRedo, kUndoToggle };
// Undoes or redoes the newest step (the whole group it ends). 1 when something
// was undone or redone, 0 otherwise (nothing to do, or memory ran out).
[[nodiscard]] int UndoRedo(Document *doc, UndoMode mode);

// The undo and redo commands by the NoMUndo setting ("Suppress multi-le&vel
// Undo/Redo"; the caller passes it).
enum UndoCommand : int { kCmdUndo, kCmdRedo, kCmdWmUndo, kCmdEmUndo };
UndoMode UndoModeForCommand(UndoCommand command, bool noMultiLevelUndo);
// Whether the Undo and Redo menu items are enabled: with NoMUndo on, Undo
// when either journal has steps, and Redo never.
bool UndoEnabled(const Document *doc, bool noMultiLevelUndo);
bool RedoEnabled(const Document *doc, bool noMultiLevelUndo);

// The saved state can no longer be reached (the encoding of a named document
// changed): both saved indices become -1 and the document is modified.
void ForgetSavedState(Document *doc);

struct JournalStatistics {
  u32 steps;
  u64 indexBytes;  // capacity x step size, plus the compact texts' records and arrays
  u64 textBytes;   // the compact texts' buffers
};
void JournalStatisticsOf(const Journal *j, JournalStatistics *out);

// Re-insert via the undo journal (commands 21313 and 21317): replaces the
// selection with the most recently deleted text, or with the text most
// recently inserted (taken from the document where it still is), as a step of
// its own. 0 done, 32 nothing to re-insert, -1 out of memory.
[[nodiscard]] int ReinsertDeleted(Document *doc);
[[nodiscard]] int ReinsertInserted(Document *doc);
