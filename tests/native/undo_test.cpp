// Undo and redo: merging, groups, the saved state, reducing and clearing,
// statistics and re-insertion.
#include <gtest/gtest.h>

#include <string>

#include "document/edit.h"
#include "document/position.h"
#include "document/undo.h"
#include "tests/support/document_support.h"

namespace {

std::string Deleted(const Step &st) {
  if (!st.deleted) return "";
  CompactStoreView v;
  CompactView(st.deleted, &v);
  return StoreText(&v.store);
}

TEST(Undo, BackspacingCollectsTheTextInOrder) {
  TestDocument d;
  d.Type("abc");
  d.Backspace(2);
  EXPECT_EQ(d.Text(), "a");
  ASSERT_EQ(d->undo.count, 2u) << "the backspaces are a step of their own";
  const Step &st = d->undo.steps[1];
  EXPECT_EQ(st.position, 1u);
  EXPECT_EQ(st.insertedLength, 0u);
  EXPECT_EQ(Deleted(st), "bc");
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  EXPECT_EQ(d.Text(), "abc");
  EXPECT_EQ(d->anchor.position, 1u) << "the restored text is selected";
  EXPECT_EQ(d->caret.position, 3u);
  // Deleting forwards appends at the back.
  TestDocument f;
  f.Load("0123456789");
  for (int i = 0; i < 3; i++) {
    f.Select(4, 5);
    ASSERT_EQ(f.Replace(""), 1);
  }
  ASSERT_EQ(f->undo.count, 1u);
  EXPECT_EQ(Deleted(f->undo.steps[0]), "456");
  ASSERT_EQ(UndoRedo(f, kUndo), 1);
  EXPECT_EQ(f.Text(), "0123456789");
}

TEST(Undo, ClosedStepsDoNotMerge) {
  TestDocument d;
  d.Type("ab");
  d.Select(2, 2);
  ASSERT_EQ(d.Replace("c", kReplaceCloseBefore), 1);
  ASSERT_EQ(d.Replace("d", kReplaceCloseAfter), 1);
  ASSERT_EQ(d.Replace("e"), 1);
  EXPECT_EQ(d->undo.count, 3u);
  EXPECT_EQ(d->undo.steps[1].insertedLength, 2u);
  // A replacement of a selection at the end of the step goes on with it.
  d.Select(5, 5);
  ASSERT_EQ(d.Replace("f"), 1);
  EXPECT_EQ(d->undo.count, 3u);
}

TEST(Undo, DeletionJoinsAStepItsInsertionCannot) {
  // Deleting backwards up to a typed run extends its step; what is typed in
  // the same replacement then needs a step of its own.
  TestDocument d;
  d.Load("0123456789");
  d.Select(5, 5);
  d.Type("abc");
  d.Select(3, 5);
  ASSERT_EQ(d.Replace("XY"), 1);
  EXPECT_EQ(d.Text(), "012XYabc56789");
  ASSERT_EQ(d->undo.count, 2u);
  EXPECT_EQ(d->undo.steps[0].position, 3u);
  EXPECT_EQ(Deleted(d->undo.steps[0]), "34");
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  EXPECT_EQ(d.Text(), "012abc56789");
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  EXPECT_EQ(d.Text(), "0123456789");
  ASSERT_EQ(UndoRedo(d, kRedo), 1);
  ASSERT_EQ(UndoRedo(d, kRedo), 1);
  EXPECT_EQ(d.Text(), "012XYabc56789");
}

TEST(Undo, GroupIsOneUndo) {
  TestDocument d;
  std::string text;
  for (int i = 0; i < 100; i++) text += "cat dog ";
  d.Load(text);
  BeginGroup(d, 1, 0);
  for (u32 p = 0;;) {
    std::string t = d.Text();
    size_t at = t.find("cat", p);
    if (at == std::string::npos) break;
    d.Select(static_cast<u32>(at), static_cast<u32>(at) + 3);
    ASSERT_EQ(d.Replace("tiger", kReplaceCloseBefore | kReplaceCloseAfter), 1);
    p = static_cast<u32>(at) + 5;
  }
  BeginGroup(d, 0, 0);
  EXPECT_EQ(d->undo.count, 100u);
  EXPECT_EQ(GroupStarts(d, false), 1u);
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  EXPECT_EQ(d.Text(), text);
  EXPECT_EQ(d->undo.count, 0u);
  EXPECT_EQ(GroupStarts(d, true), 1u) << "the inverse steps form one group";
  ASSERT_EQ(UndoRedo(d, kRedo), 1);
  EXPECT_EQ(d.Text().find("cat"), std::string::npos);
  EXPECT_EQ(UndoRedo(d, kRedo), 0);
}

TEST(Undo, SavedState) {
  TestDocument d;
  d.Type("one");
  d.Select(3, 3);
  ASSERT_EQ(d.Replace(" two", kReplaceCloseBefore), 1);
  MarkSaved(d);
  EXPECT_EQ(d->modified, 0u);
  // Undo right after saving, then Redo: unmodified again.
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  EXPECT_EQ(d->modified, 1u);
  d.events.clear();
  ASSERT_EQ(UndoRedo(d, kRedo), 1);
  EXPECT_EQ(d->modified, 0u);
  EXPECT_NE(d.events.find('S'), std::string::npos);
  // Redo past it and back.
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  ASSERT_EQ(UndoRedo(d, kRedo), 1);
  EXPECT_EQ(d->modified, 1u);
  ASSERT_EQ(UndoRedo(d, kRedo), 1);
  EXPECT_EQ(d->modified, 0u);
  // Undo past the save point and a new edit: unreachable until saved.
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  d.Select(0, 0);
  ASSERT_EQ(d.Replace("x", kReplaceCloseBefore), 1);
  EXPECT_EQ(d->undo.savedIndex, -1);
  EXPECT_EQ(d->undo.count, 2u) << "as many steps as at the save, but another text";
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  EXPECT_EQ(d->modified, 1u);
  ASSERT_EQ(UndoRedo(d, kRedo), 1);
  EXPECT_EQ(d->modified, 1u);
  MarkSaved(d);
  EXPECT_EQ(d->modified, 0u);
  // A new encoding: the saved text is gone for good.
  ForgetSavedState(d);
  EXPECT_EQ(d->modified, 1u);
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  ASSERT_EQ(UndoRedo(d, kRedo), 1);
  EXPECT_EQ(d->modified, 1u);
}

TEST(Undo, ClearingAndReducing) {
  TestDocument d;
  d.Type("abc");
  ClearJournal(&d->undo);
  ClearJournal(&d->redo);
  EXPECT_EQ(d->modified, 1u) << "Clear All Steps leaves a modified document modified";
  MarkSaved(d);
  ClearJournal(&d->undo);
  EXPECT_EQ(d->modified, 0u);
  // A large journal shrinks back to 8 steps.
  for (int i = 0; i < 40; i++) {
    d.Select(0, 0);
    ASSERT_EQ(d.Replace("x", kReplaceCloseBefore), 1);
  }
  EXPECT_EQ(d->undo.capacity, 64u);
  ClearJournal(&d->undo);
  EXPECT_EQ(d->undo.capacity, 8u);
  EXPECT_EQ(d->undo.count, 0u);
  EXPECT_EQ(d->undo.savedIndex, -1);
  // Reduce keeps the newest group.
  d.Select(0, 0);
  ASSERT_EQ(d.Replace("1", kReplaceCloseBefore), 1);
  BeginGroup(d, 1, 0);
  d.Select(5, 5);
  ASSERT_EQ(d.Replace("2", kReplaceCloseBefore), 1);
  d.Select(9, 9);
  ASSERT_EQ(d.Replace("3", kReplaceCloseBefore), 1);
  BeginGroup(d, 0, 0);
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  ASSERT_EQ(UndoRedo(d, kRedo), 1);
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  ASSERT_EQ(UndoRedo(d, kRedo), 1);
  EXPECT_EQ(d->undo.count, 3u);
  d.Select(0, 0);
  ASSERT_EQ(d.Replace("4", kReplaceCloseBefore), 1);
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  ASSERT_EQ(d->redo.count, 1u);
  ReduceJournals(&d->undo, &d->redo);
  EXPECT_EQ(d->undo.count, 2u) << "the newest group: the two replacements";
  EXPECT_EQ(d->undo.steps[0].groupStart, 1u);
  EXPECT_EQ(d->undo.closed, 1u);
  EXPECT_EQ(d->undo.savedIndex, -1);
  EXPECT_EQ(d->redo.count, 0u);
  std::string before = d.Text();
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  EXPECT_EQ(UndoRedo(d, kUndo), 0);
  EXPECT_EQ(d.Text(), "1" + before.substr(1, 4) + before.substr(6, 3) + before.substr(10));
}

TEST(Undo, GroupFlags) {
  TestDocument d;
  BeginGroup(d, 1, 0);
  EXPECT_EQ(d->undo.groupMode, 1u);
  EXPECT_EQ(d->undo.groupStartPending, 1u);
  EXPECT_EQ(d->redo.closed, 1u);
  d.Type("ab");
  EXPECT_EQ(d->undo.groupStartPending, 0u);
  EXPECT_EQ(d->undo.closed, 0u);
  // Inside a group that keeps steps open, closing requests are ignored.
  EndGroup(d);
  CloseStep(&d->undo);
  EXPECT_EQ(d->undo.closed, 0u);
  BeginGroup(d, 1, 1);
  d.Type("c");
  EndGroup(d);
  EXPECT_EQ(d->undo.closed, 1u);
  BeginGroup(d, 0, 0);
  EXPECT_EQ(d->undo.groupMode, 0u);
  EXPECT_EQ(d->undo.closed, 1u);
  // Marking saved skips a journal in group mode.
  BeginGroup(d, 1, 0);
  d->undo.savedIndex = -1;
  MarkSaved(d);
  EXPECT_EQ(d->undo.savedIndex, -1);
  EXPECT_EQ(d->modified, 0u);
  BeginGroup(d, 0, 0);
}

TEST(Undo, SuppressedMultiLevelUndoToggles) {
  EXPECT_EQ(UndoModeForCommand(kCmdUndo, false), kUndo);
  EXPECT_EQ(UndoModeForCommand(kCmdRedo, false), kRedo);
  EXPECT_EQ(UndoModeForCommand(kCmdUndo, true), kUndoToggle);
  EXPECT_EQ(UndoModeForCommand(kCmdRedo, true), kUndoToggle);
  EXPECT_EQ(UndoModeForCommand(kCmdWmUndo, true), kUndo);
  EXPECT_EQ(UndoModeForCommand(kCmdEmUndo, false), kUndoToggle);
  TestDocument d;
  d.Type("one");
  d.Select(3, 3);
  ASSERT_EQ(d.Replace(" two", kReplaceCloseBefore), 1);
  EXPECT_TRUE(UndoEnabled(d, true));
  EXPECT_FALSE(RedoEnabled(d, true));
  // Pressing Undo twice restores the text as before the first Undo.
  ASSERT_EQ(UndoRedo(d, UndoModeForCommand(kCmdUndo, true)), 1);
  EXPECT_EQ(d.Text(), "one");
  EXPECT_TRUE(RedoEnabled(d, false));
  EXPECT_FALSE(RedoEnabled(d, true));
  EXPECT_TRUE(UndoEnabled(d, true));
  ASSERT_EQ(UndoRedo(d, UndoModeForCommand(kCmdUndo, true)), 1);
  EXPECT_EQ(d.Text(), "one two");
}

TEST(Undo, Statistics) {
  TestDocument d;
  d.Load(std::string(10000, 'q'));
  d.Select(0, 9000);
  ASSERT_EQ(d.Replace("x", kReplaceCloseBefore), 1);
  JournalStatistics u;
  JournalStatisticsOf(&d->undo, &u);
  EXPECT_EQ(u.steps, 1u);
  // 9000 bytes: blocks of 8192 and 808; first and last exact.
  EXPECT_EQ(u.textBytes, 8192u + 808u);
  EXPECT_EQ(u.indexBytes, 8 * sizeof(Step) + sizeof(CompactText) + 2 * sizeof(TextBlock) + sizeof(BlockGroup));
  DocumentStatistics s;
  DocumentStatisticsOf(d, &s);
  EXPECT_EQ(s.length, 1001u);
  EXPECT_EQ(s.undoSteps, 1u);
  EXPECT_EQ(s.redoSteps, 0u);
  EXPECT_EQ(s.undoTextBytes, u.textBytes);
  EXPECT_EQ(s.memory.textBuffers, 4096u);
  EXPECT_EQ(s.memory.lineIndex, (512 + 1) * 16u);
}

TEST(Undo, ReinsertDeletedText) {
  TestDocument d;
  d.Load("alpha beta gamma");
  EXPECT_EQ(ReinsertDeleted(d), kResultCancelled);
  d.Select(6, 11);
  ASSERT_EQ(d.Replace("", kReplaceCloseBefore), 1);
  d.Select(0, 0);
  ASSERT_EQ(d.Replace(">", kReplaceCloseBefore), 1);
  d.Select(16, 16);
  ASSERT_EQ(ReinsertDeleted(d), kResultDone);
  EXPECT_EQ(d.Text(), ">alpha gammabeta ");
  EXPECT_EQ(d->undo.count, 3u);
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  EXPECT_EQ(d.Text(), ">alpha gamma");
}

TEST(Undo, ReinsertInsertedTextFollowsLaterEdits) {
  // The newest step that inserted something; the newer ones only deleted:
  // one before the range (or ending at its start) moves it back, one after it
  // does not.
  TestDocument d;
  d.Load("0123456789");
  d.Select(5, 5);
  ASSERT_EQ(d.Replace("XYZ", kReplaceCloseBefore), 1);  // 01234XYZ56789
  d.Select(3, 5);
  ASSERT_EQ(d.Replace("", kReplaceCloseBefore), 1);     // 012XYZ56789
  d.Select(9, 11);
  ASSERT_EQ(d.Replace("", kReplaceCloseBefore), 1);     // 012XYZ567
  d.Select(0, 0);
  EXPECT_EQ(ReinsertInserted(d), kResultDone);
  EXPECT_EQ(d.Text(), "XYZ012XYZ567");
  EXPECT_EQ(d->undo.count, 4u);
  // A newer step reaching into the range spoils it: nothing happens.
  TestDocument f;
  f.Load("0123456789");
  f.Select(5, 5);
  ASSERT_EQ(f.Replace("XYZ", kReplaceCloseBefore), 1);
  f.Select(6, 9);
  ASSERT_EQ(f.Replace("", kReplaceCloseBefore), 1);
  EXPECT_EQ(ReinsertInserted(f), kResultCancelled);
  EXPECT_EQ(f.Text(), "01234X6789");
}

}  // namespace
