// Batches of edits: against a string model and against the same edits made
// one by one, through undo and redo, re-insertion, the worker's batcher, the
// highlight batches and the undo memory they cost.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/batch_edit.h"
#include "document/edit.h"
#include "document/range_set.h"
#include "document/store_internal.h"
#include "document/undo.h"
#include "tests/support/document_support.h"

namespace {

struct Edits {
  std::vector<BatchRequest> list;
  std::string text;
  void Add(u32 from, u32 to, const std::string &t) {
    list.push_back({from, to, static_cast<u32>(text.size()), static_cast<u32>(t.size())});
    text += t;
  }
  int Apply(Document *d, u32 target = 0) const {
    EditBatch b = {target, static_cast<u32>(list.size()), list.data(), text.data(), static_cast<u32>(text.size())};
    return ApplyEditBatch(d, &b);
  }
  std::string On(std::string s) const {
    for (size_t i = list.size(); i-- > 0;) s.replace(list[i].from, list[i].to - list[i].from, text.substr(list[i].offset, list[i].length));
    return s;
  }
};

// Random ascending edits: short and long gaps, adjacent edits, empty ones,
// newlines in what is deleted and what is inserted, rarely a very long one.
Edits RandomEdits(TestRandom &rng, u32 length, u32 count) {
  static const char *const kTexts[] = {"", "x", "\r", "\n", "\r\n", "word", "two\nlines", "\rCR", "a much longer replacement"};
  Edits e;
  u32 p = 0;
  for (u32 i = 0; i < count && p <= length; i++) {
    const u32 gap = rng.OneIn(4) ? 0 : rng.OneIn(8) ? rng.Below(20000) : rng.Below(40);
    if (p + gap > length) break;
    const u32 from = p + gap;
    const u32 del = rng.OneIn(3) ? 0 : rng.Below(12);
    const u32 to = from + del > length ? length : from + del;
    // Now and then one longer than 65,535 bytes (the table can not be narrow).
    e.Add(from, to, rng.OneIn(1000) ? std::string(65536 + rng.Below(9000), 'z') : kTexts[rng.Below(9)]);
    p = to;
  }
  if (e.list.empty()) e.Add(length, length, "x");
  return e;
}

// Random ascending edits that change no newline: nothing deleted or
// inserted is a CR or an LF (what is next to one may be), new texts short and
// long enough to outgrow a block's buffer. With `pairs`, each edit replaces
// two bytes with "QQ" (lengths all alike, the bytes not). minGap keeps edits
// apart and close (then a long batch is cut between most of them).
Edits PlainEdits(TestRandom &rng, const std::string &model, u32 count, bool pairs, u32 minGap = 0) {
  static const char *const kTexts[] = {"", "x", "word", "a much longer replacement"};
  const u32 length = static_cast<u32>(model.size());
  Edits e;
  u32 p = 0;
  for (u32 i = 0; i < count; i++) {
    const u32 gap = minGap ? minGap + rng.Below(60) : rng.OneIn(4) ? 0 : rng.OneIn(8) ? rng.Below(20000) : rng.Below(40);
    if (p + gap > length) break;
    const u32 from = p + gap;
    u32 to = from;
    for (u32 del = pairs ? 2 : rng.OneIn(3) ? 0 : rng.Below(12); del && to < length && model[to] != '\r' && model[to] != '\n'; del--) to++;
    if (pairs && to != from + 2) continue;
    e.Add(from, to, pairs ? "QQ" : rng.OneIn(60) ? std::string(1500 + rng.Below(3000), 'L') : kTexts[rng.Below(4)]);
    p = to;
  }
  if (e.list.empty()) e.Add(length, length, "x");
  return e;
}

TEST(Batch, AgreesWithTheModelAndWithEditsMadeOneByOneThroughUndoAndRedo) {
  const u64 inPlaceBefore = g_storeBatchesInPlace;
  u32 plainBatches = 0;
  for (unsigned groupMax : {0u, 16u}) {
    ScopedStoreLimits limits(groupMax ? groupMax : 0);
    for (unsigned seed = 1; seed <= 40; seed++) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " groupMax " + std::to_string(groupMax));
      TestRandom rng(seed);
      // Most batches in two halves at once, where they can be cut.
      const u32 twoThreads = g_batchTwoThreadEdits;
      g_batchTwoThreadEdits = seed % 3 ? 2 : twoThreads;
      struct Restore {
        u32 value;
        ~Restore() { g_batchTwoThreadEdits = value; }
      } restore{twoThreads};
      const std::string base = RandomText(rng, seed % 5 ? 60000 : 300, 25);
      TestDocument d, one;
      d.Load(base);
      one.Load(base);
      // A run of batches is one group, as a replace-all makes it.
      BeginGroup(d, 1, 0);
      std::string model = base;
      for (int round = 0; round < 3; round++) {
        const bool plain = seed % 2 == 0;
        plainBatches += plain;
        const Edits e = plain ? PlainEdits(rng, model, 1 + rng.Below(400), seed % 4 == 0, seed % 6 == 2 ? 30 : 0)
                              : RandomEdits(rng, static_cast<u32>(model.size()), 1 + rng.Below(400));
        ASSERT_EQ(e.Apply(d), 0);
        model = e.On(model);
        ASSERT_EQ(d.Text(), model);
        ASSERT_TRUE(DocOk(d));
        const BatchRequest &last = e.list.back();
        i64 moved = 0;
        for (const BatchRequest &r : e.list) moved += static_cast<i64>(r.length) - (r.to - r.from);
        EXPECT_EQ(d->caret.position, last.to + moved) << "the caret after the last edit's new text";
        // The same edits one by one, from the last to the first.
        for (size_t i = e.list.size(); i-- > 0;) {
          const BatchRequest &r = e.list[i];
          one.Select(r.from, r.to);
          ASSERT_EQ(one.Replace(e.text.substr(r.offset, r.length)), 1);
        }
        ASSERT_EQ(one.Text(), model);
        ASSERT_TRUE(StoreOk(&one->store) && StoreOk(&d->store)) << "same row index";
        EXPECT_EQ(RowCount(&one->store), RowCount(&d->store));
        EXPECT_EQ(HardLineCount(&one->store), HardLineCount(&d->store));
      }
      BeginGroup(d, 0, 0);
      EXPECT_EQ(GroupStarts(d, false), 1u);
      ASSERT_EQ(UndoRedo(d, kUndo), 1);
      EXPECT_EQ(d.Text(), base) << "one undo takes the whole run back";
      ASSERT_TRUE(DocOk(d));
      ASSERT_EQ(UndoRedo(d, kRedo), 1);
      EXPECT_EQ(d.Text(), model);
      ASSERT_TRUE(DocOk(d));
      ASSERT_EQ(UndoRedo(d, kUndo), 1);
      EXPECT_EQ(d.Text(), base);
    }
  }
  // Each plain batch, its undo and its redo: most of them in place (those
  // next to a CR LF or with a block outgrown go the general way).
  EXPECT_GT(g_storeBatchesInPlace - inPlaceBefore, 3u * plainBatches / 2) << plainBatches << " plain batches";
}

TEST(Batch, KeepsWrappedRowsWhenMadeInPlace) {
  // One hard line in rows of 10 bytes, then an LF line.
  TestDocument d;
  const std::string base = std::string(95, 'a') + "\nend";
  d.Load(base);
  std::vector<u32> rows(9, 10);
  rows.push_back(5 | kRowEndsLine);
  rows.push_back(3 | kRowEndsLine);
  ASSERT_EQ(SetRowsOfHardLines(&d->store, 0, RowCount(&d->store) - 1, rows.data(), static_cast<u32>(rows.size())), 0);
  struct Case {
    u32 from, to;
    const char *text;
    bool inPlace;
  } const kCases[] = {
      {3, 5, "BCD", true},   // inside a row
      {10, 10, "E", true},   // at a row's start
      {8, 12, "", false},    // across a wrap
      {20, 30, "", false},   // a wrapped row emptied
      {90, 95, "", true},    // the hard line's last row emptied
      {96, 99, "X", true},   // the last row
      {8, 12, "WXYZ", true}, // across a wrap, as many bytes: written over
      {94, 96, "yz", false}, // as many bytes, but the LF among them
  };
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.from);
    TestDocument t;
    t.Load(base);
    ASSERT_EQ(SetRowsOfHardLines(&t->store, 0, RowCount(&t->store) - 1, rows.data(), static_cast<u32>(rows.size())), 0);
    Edits e;
    e.Add(c.from, c.to, c.text);
    const u64 before = g_storeBatchesInPlace;
    ASSERT_EQ(e.Apply(t), 0);
    EXPECT_EQ(g_storeBatchesInPlace - before, c.inPlace ? 1u : 0u);
    EXPECT_EQ(t.Text(), e.On(base));
    EXPECT_TRUE(StoreOk(&t->store, true, true));
    if (c.inPlace) EXPECT_EQ(RowCount(&t->store), 11u) << "the rows stay";
    ASSERT_EQ(UndoRedo(t, kUndo), 1);
    EXPECT_EQ(t.Text(), base);
    EXPECT_TRUE(StoreOk(&t->store, true, true));
  }
}

TEST(Batch, RejectsBadBatchesAndKeepsTheSavedState) {
  TestDocument d;
  d.Load("0123456789");
  MarkSaved(d);
  Edits overlap, descending, outside, pastText, tooMany;
  overlap.Add(2, 5, "a");
  overlap.Add(4, 6, "b");
  descending.Add(6, 7, "");
  descending.Add(1, 2, "");
  outside.Add(8, 11, "");
  pastText.Add(1, 2, "x");
  pastText.list[0].length = 5;
  for (u32 i = 0; i <= kBatchMaxEdits; i++) tooMany.Add(0, 0, "");
  for (const Edits *e : {&overlap, &descending, &outside, &pastText, &tooMany}) EXPECT_EQ(e->Apply(d), kBatchRejected);
  Edits sets;
  sets.Add(1, 2, "");
  EXPECT_EQ(sets.Apply(d, kSetOccurrences), kBatchRejected) << "only sets 5 and 6 take ranges";
  EXPECT_EQ(d.Text(), "0123456789");
  EXPECT_EQ(d->undo.count, 0u);
  EXPECT_EQ(d->modified, 0u);

  // An edit may end where the next begins; the batch is one step; undo
  // brings back the saved state.
  Edits e;
  e.Add(0, 2, "AB");
  e.Add(2, 2, "-");
  e.Add(9, 10, "");
  d.events.clear();
  ASSERT_EQ(e.Apply(d), 0);
  EXPECT_EQ(d.Text(), "AB-2345678");
  EXPECT_EQ(d.events, "LRCU");
  EXPECT_EQ(d->undo.count, 1u);
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  EXPECT_EQ(d.Text(), "0123456789");
  EXPECT_EQ(d->modified, 0u);
  EXPECT_EQ(d->anchor.position, 0u) << "the first edit's restored text is selected";
  EXPECT_EQ(d->caret.position, 2u);
}

TEST(Batch, ReinsertsItsLastDeletionAndInsertion) {
  TestDocument d;
  d.Load("one two three four");
  Edits e;
  e.Add(0, 3, "1");
  e.Add(8, 13, "3");
  e.Add(14, 18, "");
  ASSERT_EQ(e.Apply(d), 0);
  ASSERT_EQ(d.Text(), "1 two 3 ");
  d.Select(0, 0);
  ASSERT_EQ(ReinsertDeleted(d), kResultDone);
  EXPECT_EQ(d.Text(), "four1 two 3 ") << "the batch's last deletion";
  d.Select(4, 4);
  ASSERT_EQ(ReinsertInserted(d), kResultDone);
  EXPECT_EQ(d.Text(), "fourfour1 two 3 ") << "the newest insertion is the re-inserted text";
  // Through a newer batch that only deletes: the range moves with the
  // deletions before it.
  TestDocument f;
  f.Load("aaaa bbbb cccc");
  Edits first, second;
  first.Add(5, 9, "XY");
  ASSERT_EQ(first.Apply(f), 0);
  second.Add(0, 4, "");
  second.Add(8, 12, "");
  ASSERT_EQ(second.Apply(f), 0);
  ASSERT_EQ(f.Text(), " XY ");
  f.Select(4, 4);
  ASSERT_EQ(ReinsertInserted(f), kResultDone);
  EXPECT_EQ(f.Text(), " XY XY");
  // The same through batches that delete the same bytes each time (their
  // steps keep those bytes once).
  TestDocument u;
  u.Load("aaaa bbbb aaaa");
  ASSERT_EQ(first.Apply(u), 0);
  Edits same;
  same.Add(0, 4, "");
  same.Add(8, 12, "");
  ASSERT_EQ(same.Apply(u), 0);
  ASSERT_EQ(u.Text(), " XY ");
  u.Select(4, 4);
  ASSERT_EQ(ReinsertInserted(u), kResultDone);
  EXPECT_EQ(u.Text(), " XY XY");
  u.Select(0, 0);
  ASSERT_EQ(ReinsertDeleted(u), kResultDone);
  EXPECT_EQ(u.Text(), "aaaa XY XY");
}

TEST(Batch, TheBatcherSendsFullBatchesAndTracksTheShift) {
  // Every 'e' of a text of 200,000 bytes becomes "EE": more edits than one batch holds.
  std::string base;
  for (int i = 0; i < 40000; i++) base += "abcde";
  TestDocument d;
  d.Load(base);
  struct Context {
    Document *doc;
    int batches = 0;
  } c = {d};
  EditBatcher b;
  ASSERT_EQ(BatcherInit(&b, 0, [](void *p, const EditBatch *batch) {
              Context *context = static_cast<Context *>(p);
              context->batches++;
              EXPECT_LE(batch->count, kBatchMaxEdits);
              return ApplyEditBatch(context->doc, batch);
            }, &c), 0);
  for (u32 p = 0; p < base.size(); p++) {
    // The worker reads the document where its position has moved to.
    char at = 0;
    ReadText(&d->store, static_cast<u32>(p + b.shift), static_cast<u32>(p + b.shift + 1), &at, 1, 0, nullptr);
    ASSERT_EQ(at, base[p]);
    if (at == 'e') {
      ASSERT_EQ(BatcherAdd(&b, p, p + 1, "EE", 2), 0);
    }
  }
  ASSERT_EQ(BatcherFlush(&b), 0);
  BatcherFree(&b);
  EXPECT_EQ(c.batches, 1 + 40000 / static_cast<int>(kBatchMaxEdits));
  std::string model;
  for (int i = 0; i < 40000; i++) model += "abcdEE";
  EXPECT_EQ(d.Text(), model);
  EXPECT_EQ(b.shift, 40000);
}

TEST(Batch, HighlightBatchesAddRangesToSetFiveOrSix) {
  TestDocument d;
  d.Load("find the finds in this fine text");
  Edits e;
  e.Add(0, 4, "");
  e.Add(9, 13, "");
  e.list[1].offset = 7;  // the payload
  ASSERT_EQ(e.Apply(d, kSetSecondaryMatches), 0);
  EXPECT_EQ(SetRanges(d, kSetSecondaryMatches), (std::vector<RangeTriple>{{0, 4, 0}, {9, 4, 7}}));
  EXPECT_TRUE(SetRanges(d, kSetPrimaryMatches).empty());
  EXPECT_EQ(d->undo.count, 0u) << "not an edit";
  EXPECT_EQ(d.Text(), "find the finds in this fine text");
}

TEST(Batch, UndoGrowsByTheRemovedTextAndLessThanSixteenBytesAnEdit) {
  std::string base;
  for (int i = 0; i < 100000; i++) base += "seven7 ";
  TestDocument d;
  d.Load(base);
  DocumentStatistics before, after;
  DocumentStatisticsOf(d, &before);
  BeginGroup(d, 1, 0);
  EditBatcher b;
  ASSERT_EQ(BatcherInit(&b, 0, [](void *p, const EditBatch *batch) { return ApplyEditBatch(static_cast<Document *>(p), batch); }, d.doc), 0);
  for (u32 p = 0; p < base.size(); p += 7) ASSERT_EQ(BatcherAdd(&b, p, p + 6, "ninenine9", 9), 0);
  ASSERT_EQ(BatcherFlush(&b), 0);
  BatcherFree(&b);
  BeginGroup(d, 0, 0);
  DocumentStatisticsOf(d, &after);
  const u64 growth = after.undoIndexBytes + after.undoTextBytes - before.undoIndexBytes - before.undoTextBytes;
  EXPECT_LE(growth, 600000u + 16u * 100000u);
  EXPECT_LE(growth, 4u * 100000u + 65536u) << "the same bytes replaced each time: a position an edit";
  ASSERT_EQ(UndoRedo(d, kUndo), 1);
  EXPECT_EQ(d.Text(), base);
}

}  // namespace
