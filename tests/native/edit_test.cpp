// Edit primitives: Replace selection's flags, order of steps and
// notifications, and the store layer's cutting and shifting of range sets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/edit.h"
#include "document/position.h"
#include "document/range_set.h"
#include "document/undo.h"
#include "foundation/fault.h"
#include "tests/support/document_support.h"

namespace {

TEST(Edit, EmptyForEmptyChangesAndRecordsNothing) {
  TestDocument d;
  d.Load("abc");
  d.Select(1, 1);
  EXPECT_EQ(d.Replace("", kReplaceCloseBefore), 1);
  EXPECT_EQ(ReplaceSelection(d, nullptr, 0, nullptr), 1);
  EXPECT_EQ(d->undo.count, 0u);
  EXPECT_EQ(d->modified, 0u);
  EXPECT_EQ(d.events, "");
  EXPECT_EQ(d.Text(), "abc");
}

TEST(Edit, TypingMakesOneStep) {
  TestDocument d;
  d.Type("abc");
  EXPECT_EQ(d.Text(), "abc");
  ASSERT_EQ(d->undo.count, 1u);
  EXPECT_EQ(d->undo.steps[0].position, 0u);
  EXPECT_EQ(d->undo.steps[0].insertedLength, 3u);
  EXPECT_EQ(d->typedCount, 3u);
  EXPECT_EQ(d->modified, 1u);
  EXPECT_EQ(UndoRedo(d, kUndo), 1);
  EXPECT_EQ(d.Text(), "");
}

TEST(Edit, SelectionAfterTheEdit) {
  TestDocument d;
  d.Load("0123456789");
  d.Select(2, 5);
  ASSERT_EQ(d.Replace("abcd", kReplaceSelectInserted), 1);
  EXPECT_EQ(d->anchor.position, 2u);
  EXPECT_EQ(d->caret.position, 6u);
  d.Select(0, 1);
  ASSERT_EQ(d.Replace("xy", kReplaceSelectInserted | kReplaceCaretAtStart), 1);
  EXPECT_EQ(d->anchor.position, 2u);
  EXPECT_EQ(d->caret.position, 0u);
  d.Select(3, 3);
  ASSERT_EQ(d.Replace("--", kReplaceCaretAtStart), 1);
  EXPECT_EQ(d->anchor.position, 3u);
  EXPECT_EQ(d->caret.position, 3u);
  d.Select(3, 3);
  ASSERT_EQ(d.Replace("++"), 1);
  EXPECT_EQ(d->caret.position, 5u);
  EXPECT_EQ(d->selStart, d->selEnd == &d->caret ? &d->anchor : &d->caret);
}

TEST(Edit, NewlineBetweenCrAndText) {
  TestDocument d;
  d.Load("ab\rcd");
  d.Select(3, 3);
  ASSERT_EQ(d.Replace("\n"), 1);
  EXPECT_EQ(RowCount(&d->store), 2u);
  EXPECT_EQ(RowAt(&d->store, 0).newlineType, kNewlineCRLF);
  EXPECT_EQ(d->caret.row, 1u);
  EXPECT_EQ(d->caret.position, 4u);
  EXPECT_TRUE(DocOk(d));
}

TEST(Edit, RedoJournalClearedOnlyByOrdinaryEdits) {
  TestDocument d;
  d.Type("one");
  d.Select(3, 3);
  ASSERT_EQ(d.Replace(" two", kReplaceCloseBefore), 1);
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  EXPECT_EQ(d->redo.count, 1u) << "the undo itself keeps the redo journal";
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  EXPECT_EQ(d->redo.count, 2u);
  ASSERT_EQ(UndoRedo(d, kRedo), 1);
  EXPECT_EQ(d->redo.count, 1u);
  d.Select(0, 0);
  ASSERT_EQ(d.Replace("x", kReplaceCloseBefore), 1);
  EXPECT_EQ(d->redo.count, 0u);
  EXPECT_EQ(d->redo.savedIndex, -1);
}

TEST(Edit, NotificationsInOrder) {
  TestDocument d;
  d.Load("abc");
  std::vector<int> status;
  d->events.status = [](void *c, Document *, TextSlot t) {
    static_cast<TestDocument *>(c)->events += t == TXT_REPLACING ? 'P' : '?';
  };
  d.Select(1, 2);
  d.events.clear();
  ASSERT_EQ(d.Replace("x", kReplaceCheckOccurrences), 1);
  EXPECT_EQ(d.events, "PLRCOU");
  d.events.clear();
  ASSERT_EQ(d.Replace("y"), 1);
  EXPECT_EQ(d.events, "PLRCU");
  // A re-layout without memory: done, but reported.
  d.relayoutResult = -1;
  d.events.clear();
  EXPECT_EQ(d.Replace("z"), 2);
  EXPECT_EQ(d.events, "PLRCUE");
  EXPECT_EQ(d.Text(), "axyzc");
}

TEST(Edit, RepaintReachesTheEndWhenLinesMove) {
  TestDocument d;
  d.Load("a\nb\nc\nd");
  d.Select(2, 2);
  ASSERT_EQ(d.Replace("x"), 1);
  EXPECT_FALSE(d.lastRepaintToEnd);
  EXPECT_EQ(d.lastRepaintFirst, 0u) << "the row before: a CR there could have joined";
  EXPECT_EQ(d.lastRepaintLast, 1u);
  ASSERT_EQ(d.Replace("\n"), 1);
  EXPECT_TRUE(d.lastRepaintToEnd);
  d.Select(0, 4);
  ASSERT_EQ(d.Replace("q\r"), 1);
  EXPECT_TRUE(d.lastRepaintToEnd);
}

// With every allocation failing, a replacement whose deletion cannot be
// recorded and a keystroke into a full block (its buffer must grow) both
// change nothing, record nothing, report, and leave the redo journal.
TEST(Edit, AFailedEditChangesNothing) {
  for (bool keystroke : {false, true}) {
    SCOPED_TRACE(keystroke ? "keystroke" : "replacement");
    TestDocument d;
    const std::string text = keystroke ? std::string(4096, 'a') : "abcdef";
    d.Load(text);
    if (keystroke) {
      d.Select(10, 10);
      ASSERT_EQ(d.Replace("z", kReplaceCloseBefore), 1);
      ASSERT_EQ(UndoRedo(d, kUndo), 1);
      MarkSaved(d);
    }
    FaultInjector fi = {};
    FaultPlan(&fi, kFaultAlloc, 1, true);
    int out = 0;
    keystroke ? d.Select(20, 20) : d.Select(1, 4);
    d.events.clear();
    {
      ScopedFaultInjector scope(&fi);
      EXPECT_EQ(d.Replace(keystroke ? "q" : "xyz", keystroke ? 0 : kReplaceCloseBefore, &out), 0);
    }
    EXPECT_GT(fi.fired[kFaultAlloc], 0u);
    EXPECT_EQ(out, -1);
    EXPECT_EQ(d.events, "E");
    EXPECT_EQ(d.Text(), text);
    EXPECT_EQ(d->modified, 0u);
    EXPECT_EQ(d->undo.count, 0u);
    if (keystroke) {
      EXPECT_EQ(d->redo.count, 1u) << "the redo journal is still there";
      ASSERT_EQ(UndoRedo(d, kRedo), 1);
      EXPECT_EQ(d.Text()[10], 'z');
    }
  }
}

TEST(Edit, MatchCase) {
  struct {
    const char *replaced, *text, *expected;
  } cases[] = {
      {"HELLO", "world", "WORLD"}, {"hello", "World", "world"}, {"Hello There", "big world", "Big World"},
      {"Hello there", "big World", "Big world"}, {"hELLO", "wOrLd", "wOrLd"}, {"123", "aBc", "aBc"},
  };
  for (auto &c : cases) {
    TestDocument d;
    d.Load(std::string("<") + c.replaced + ">");
    d.Select(1, 1 + static_cast<unsigned>(strlen(c.replaced)));
    ASSERT_EQ(d.Replace(c.text, kReplaceMatchCase), 1);
    EXPECT_EQ(d.Text(), std::string("<") + c.expected + ">") << c.replaced;
  }
}

TEST(Edit, ReplaceWithAStoreAndWithItself) {
  TestDocument d;
  d.Load("0123456789");
  TextStore other;
  ASSERT_TRUE(InitialiseStore(&other, 1, 0));
  ASSERT_EQ(InsertText(&other, 0, "ab\r\ncd", 6, 0), 0);
  d.Select(2, 4);
  ASSERT_EQ(ReplaceSelectionStore(d, &other, 0, nullptr), 1);
  EXPECT_EQ(d.Text(), "01ab\r\ncd456789");
  FreeStore(&other);
  d.Select(0, 0);
  ASSERT_EQ(ReplaceSelectionStore(d, &d->store, 0, nullptr), 1);
  EXPECT_EQ(d.Text(), "01ab\r\ncd45678901ab\r\ncd456789");
  ASSERT_EQ(InsertRange(&d->store, 2, &d->store, 0, 2, 0), 0);
  EXPECT_EQ(d.Text().substr(0, 6), "0101ab");
  EXPECT_TRUE(DocOk(d));
}

TEST(Edit, StoreLayerEditsCutAndShiftRanges) {
  TestDocument d;
  d.Load("0123456789012345678901234567890123456789");
  auto fill = [&](unsigned set) {
    RangeSetClear(&d->store.rangeSets[set]);
    for (u32 p = 0; p < 40; p += 10) ASSERT_EQ(RangeSetAdd(&d->store.rangeSets[set], p, 5, p), 0);
  };
  auto starts = [&](unsigned set) {
    std::string out;
    for (auto &r : SetRanges(d, set)) out += std::to_string(r.start) + "/" + std::to_string(r.length) + " ";
    return out;
  };
  // An insertion at the end of a range: sets 1, 3, 5, 6, 7 drop it.
  fill(1);
  fill(0);
  ASSERT_EQ(InsertText(&d->store, 15, "xx", 2, 0), 0);
  EXPECT_EQ(starts(1), "0/5 22/5 32/5 ");
  EXPECT_EQ(starts(0), "0/5 10/5 22/5 32/5 ");
  // Inside a range: every set drops it.
  ASSERT_EQ(InsertText(&d->store, 2, "y", 1, 0), 0);
  EXPECT_EQ(starts(0), "11/5 23/5 33/5 ");
  // At the end of the text, sets 0, 2, 4 drop a range ending there too.
  ASSERT_EQ(RangeSetAdd(&d->store.rangeSets[0], 38, 5, 0), 0);
  u32 end = d->store.length;
  ASSERT_EQ(InsertText(&d->store, end, "z", 1, 0), 0);
  EXPECT_EQ(starts(0), "11/5 23/5 33/5 ");
  // A deletion drops the ranges it reaches, one ending at its start and one
  // starting at its end included, and pulls the later ones back.
  fill(2);
  EXPECT_EQ(DeleteRange(&d->store, 15, 10, 0), 5u) << "ordered first";
  EXPECT_EQ(starts(2), "0/5 15/5 25/5 ");
  fill(2);
  EXPECT_EQ(DeleteRange(&d->store, 6, 8, 0), 2u);
  EXPECT_EQ(starts(2), "0/5 8/5 18/5 28/5 ");
  u32 tail = d->store.length - 30;
  EXPECT_EQ(DeleteRange(&d->store, 30, 9999, 0), tail);
  EXPECT_EQ(DeleteRange(&d->store, 5, 5, 0), 0u);
  // Unmaintained sets are left alone.
  d->store.rangeSets[7].maintained = 0;
  fill(7);
  ASSERT_EQ(InsertText(&d->store, 0, "w", 1, 0), 0);
  EXPECT_EQ(starts(7), "0/5 10/5 20/5 30/5 ");
  RangeSetClear(&d->store.rangeSets[7]);
  d->store.rangeSets[7].maintained = 1;
  EXPECT_TRUE(DocOk(d));
}

TEST(Edit, InsertRunInPieces) {
  TestDocument d;
  d.Load("ab");
  ASSERT_EQ(InsertRun(&d->store, 1, '-', 3000, 0), 0);
  EXPECT_EQ(d.Text(), "a" + std::string(3000, '-') + "b");
  // The first piece fits the block as it is; the second needs memory, which
  // fails: the first piece stays, the rest is reported.
  FaultInjector fi = {};
  FaultPlan(&fi, kFaultAlloc, 1, true);
  {
    ScopedFaultInjector scope(&fi);
    EXPECT_EQ(InsertRun(&d->store, 0, '+', 3000, 0), 3000 - 1024);
  }
  EXPECT_EQ(d.Text().substr(0, 1026), std::string(1024, '+') + "a-");
  EXPECT_TRUE(DocOk(d, false));
}

}  // namespace
