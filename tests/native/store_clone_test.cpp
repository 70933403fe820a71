// A whole store copied (CloneStore): random texts, edited into many groups
// and gaps, and wrapped into soft rows, copy to an identical store that then
// lives on its own; a failed allocation leaves an empty store and no leak.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/store_check.h"
#include "document/text_store.h"
#include "foundation/fault.h"
#include "tests/support/document_support.h"

namespace {

std::vector<Row> Rows(const TextStore *s) {
  std::vector<Row> rows;
  for (u32 r = 0; r < RowCount(s); r++) {
    Row row = RowAt(s, r);
    row.group = RowStart(s, r);  // compared by position: groups may lie alike anywhere
    row.start = RowHardLine(s, r);
    rows.push_back(row);
  }
  return rows;
}

bool SameRows(const TextStore *a, const TextStore *b) {
  std::vector<Row> x = Rows(a), y = Rows(b);
  if (x.size() != y.size()) return false;
  for (size_t i = 0; i < x.size(); i++)
    if (x[i].group != y[i].group || x[i].start != y[i].start || x[i].textLength != y[i].textLength ||
        x[i].newlineLength != y[i].newlineLength || x[i].newlineType != y[i].newlineType)
      return false;
  return true;
}

TEST(StoreClone, CopiesTextAndRowsAndThenLivesOnItsOwn) {
  ScopedStoreLimits small(16);  // many block and row groups, spans and gaps
  TestRandom rng(2311);
  for (int round = 0; round < 40; round++) {
    TextStore s;
    ASSERT_TRUE(InitialiseStore(&s, 4, round % 3 == 0 ? 0 : 8));
    std::string model;
    for (int edit = 0; edit < 30; edit++) {
      const u32 p = rng.Below(static_cast<unsigned>(model.size()) + 1);
      if (!model.empty() && rng.OneIn(3)) {
        const u32 q = p + rng.Below(static_cast<unsigned>(model.size() - p) + 1);
        if (q > p) {
          StoreDelete(&s, p, q, 0);
          model.erase(p, q - p);
        }
      } else {
        const std::string t = RandomText(rng, rng.Below(round % 5 == 0 ? 30000 : 600), 12);
        ASSERT_EQ(StoreInsert(&s, p, BytesSource(t.data(), static_cast<u32>(t.size())), 0), 0);
        model.insert(p, t);
      }
    }
    // Soft rows too, as a layout leaves them: long lines cut in two.
    bool soft = false;
    if (!s.noRowIndex && round % 2) {
      for (u32 r = 0; r + 1 < RowCount(&s); r++) {
        const u32 n = RowAt(&s, r).textLength;
        if (n < 4 || RowAt(&s, r).newlineLength == 0) continue;
        const u32 cut[2] = {n / 2, (n - n / 2) | kRowEndsLine};
        ASSERT_EQ(SetRowsOfHardLines(&s, r, r, cut, 2), 0);
        soft = true;
        r++;
      }
    }
    TextStore c;
    ASSERT_EQ(CloneStore(&s, &c), 0);
    ASSERT_TRUE(StoreOk(&c, true, soft)) << "round " << round;
    EXPECT_EQ(StoreText(&c), model);
    EXPECT_EQ(c.noRowIndex, s.noRowIndex);
    if (!s.noRowIndex) EXPECT_TRUE(SameRows(&s, &c));
    // Each goes its own way: an edit of the copy leaves the original alone.
    FreeStore(&s);
    const std::string more = RandomText(rng, 2000, 7);
    ASSERT_EQ(StoreInsert(&c, c.length / 2, BytesSource(more.data(), static_cast<u32>(more.size())), 0), 0);
    model.insert(model.size() / 2, more);
    EXPECT_TRUE(StoreOk(&c, true, soft));
    EXPECT_EQ(StoreText(&c), model);
    FreeStore(&c);
  }
}

TEST(StoreClone, AFailedAllocationLeavesAnEmptyStore) {
  ScopedStoreLimits small(16);
  TestRandom rng(7);
  TextStore s;
  ASSERT_TRUE(InitialiseStore(&s, 4, 8));
  const std::string t = RandomText(rng, 20000, 10);
  ASSERT_EQ(StoreInsert(&s, 0, BytesSource(t.data(), static_cast<u32>(t.size())), 0), 0);
  for (u32 n = 1;; n++) {
    FaultInjector fi;
    FaultReset(&fi);
    FaultPlan(&fi, kFaultAlloc, n, false);
    TextStore c;
    int r;
    {
      ScopedFaultInjector scope(&fi);
      r = CloneStore(&s, &c);
    }
    if (!fi.fired[kFaultAlloc]) {
      ASSERT_EQ(r, 0);
      EXPECT_EQ(StoreText(&c), t);
      FreeStore(&c);
      break;
    }
    ASSERT_EQ(r, -1) << n;
    EXPECT_EQ(c.length, 0u);
    EXPECT_EQ(c.blocks.count, 0u);
    EXPECT_EQ(c.rows.entries, nullptr);
    FreeStore(&c);
  }
  EXPECT_EQ(StoreText(&s), t);
  FreeStore(&s);
}

// A store laid over a text (StoreBorrow) reads as that text with the rows an
// insertion lays; freeing it leaves the text (ASan would see a bad free); a
// failed allocation leaves the store empty.
TEST(StoreBorrow, LaysTheRowsOfAnInsertionOverTheTextItself) {
  ScopedStoreLimits small(16);
  TestRandom rng(4096);
  for (int round = 0; round < 24; round++) {
    const std::string t = RandomText(rng, round == 0 ? 0 : rng.Below(3 * kBlockSmall + 9), 12);
    const u32 n = static_cast<u32>(t.size());
    TextStore inserted, borrowed;
    ASSERT_TRUE(InitialiseStore(&inserted, 4, 8));
    ASSERT_EQ(StoreInsert(&inserted, 0, BytesSource(t.data(), n), 0), 0);
    for (u32 k = 1;; k++) {
      ASSERT_TRUE(InitialiseStore(&borrowed, 4, 8));
      FaultInjector fi;
      FaultReset(&fi);
      FaultPlan(&fi, kFaultAlloc, k, false);
      int r;
      {
        ScopedFaultInjector scope(&fi);
        r = StoreBorrow(&borrowed, t.data(), n);
      }
      if (!fi.fired[kFaultAlloc]) {
        ASSERT_EQ(r, 0);
        break;
      }
      // Whole (an allocation the store can do without failed) or empty.
      EXPECT_EQ(StoreText(&borrowed), r == 0 ? t : std::string()) << k;
      FreeStore(&borrowed);
    }
    StoreCheckOptions opt = {};  // no heap blocks to measure
    char why[256] = "";
    EXPECT_TRUE(CheckStore(&borrowed, opt, why, sizeof why)) << why;
    EXPECT_EQ(StoreText(&borrowed), t);
    EXPECT_TRUE(SameRows(&inserted, &borrowed)) << round;
    if (n) EXPECT_TRUE(borrowed.blocks.entries[0].data == t.data());
    EXPECT_EQ(StoreBorrow(&borrowed, t.data(), n), n ? -1 : 0);  // only into an empty store
    FreeStore(&borrowed);
    FreeStore(&inserted);
  }
}

}  // namespace
