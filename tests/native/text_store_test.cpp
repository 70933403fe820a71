// The text store and row index: layout rules, lookups, reading, and a
// randomized comparison of the store layer with a string.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "document/store_internal.h"
#include "document/text_store.h"
#include "foundation/fault.h"
#include "tests/support/document_support.h"

namespace {

class Store {
 public:
  explicit Store(u32 rowHint = 512) { EXPECT_TRUE(InitialiseStore(&s, 64, rowHint)); }
  ~Store() { FreeStore(&s); }
  Store(const Store &) = delete;
  Store &operator=(const Store &) = delete;
  void Insert(u32 p, const std::string &t) {
    ASSERT_EQ(StoreInsert(&s, p, BytesSource(t.data(), static_cast<u32>(t.size())), 0), 0);
  }
  void Delete(u32 a, u32 b) { StoreDelete(&s, a, b, 0); }
  std::string Text() const { return StoreText(&s); }
  u32 BufferOf(u32 block) const { return static_cast<u32>(HeapBlockSize(s.blocks.entries[block].data)); }
  TextStore s;
};

std::string Read(const TextStore *s, u32 from, u32 to, u32 flags, u32 *out = nullptr, u32 cap = 1 << 20) {
  std::string buf(cap, '#');
  u32 n = ReadText(s, from, to, &buf[0], cap, flags, out);
  buf.resize(n);
  return buf;
}

TEST(TextStore, LookupsAtTheEnds) {
  Store st;
  EXPECT_EQ(st.s.blocks.count, 0u);
  EXPECT_EQ(RowCount(&st.s), 1u);
  EXPECT_EQ(HardLineCount(&st.s), 1u);
  EXPECT_EQ(BlockOfPosition(&st.s, 0), 0u);
  EXPECT_EQ(RowOfPosition(&st.s, 0), 0u);
  EXPECT_TRUE(StoreOk(&st.s));
  Store undoText(0);  // no row index, still one row
  EXPECT_EQ(undoText.s.noRowIndex, 1u);
  EXPECT_EQ(RowCount(&undoText.s), 1u);

  st.Insert(0, "ab\ncd\r\nef");
  EXPECT_EQ(BlockOfPosition(&st.s, st.s.length), st.s.blocks.count);
  EXPECT_EQ(BlockOfPosition(&st.s, st.s.length - 1), st.s.blocks.count - 1);
  EXPECT_EQ(RowOfPosition(&st.s, st.s.length), 2u);
  EXPECT_EQ(RowOfPosition(&st.s, 9999), 2u);
  // Between CR and LF: the row of that newline.
  EXPECT_EQ(RowOfPosition(&st.s, 6), 1u);
  EXPECT_EQ(RowOfPosition(&st.s, 7), 2u);
}

TEST(TextStore, InitialiseFailureLeavesNothingAllocated) {
  for (u32 n = 1; n <= 4; n++) {
    FaultInjector fi = {};
    FaultPlan(&fi, kFaultAlloc, n, false);
    ScopedFaultInjector scope(&fi);
    TextStore s;
    EXPECT_EQ(InitialiseStore(&s, 64, 512), 0) << n;
    EXPECT_EQ(s.rows.entries, nullptr);
    EXPECT_EQ(s.blocks.entries, nullptr);
    EXPECT_EQ(s.rowGroups.entries, nullptr);
    EXPECT_EQ(s.blockGroups.entries, nullptr);
  }
}

TEST(TextStore, LoadingFillsBlocksOf4096) {
  Store st;
  std::string t(100000, 'x');
  for (size_t i = 0; i < t.size(); i += 61) t[i] = '\n';
  st.Insert(0, t);
  ASSERT_EQ(st.s.blocks.count, 25u);
  for (u32 i = 0; i < 24; i++) EXPECT_EQ(st.s.blocks.entries[i].length, 4096u) << i;
  EXPECT_EQ(st.s.blocks.entries[24].length, 100000u - 24 * 4096);
  EXPECT_TRUE(StoreOk(&st.s));
  EXPECT_EQ(st.Text(), t);
  // Text appended piece by piece leaves no partly filled block behind.
  Store app;
  for (int i = 0; i < 40; i++) app.Insert(app.s.length, std::string(1000 + 37 * i, 'a' + i % 26));
  for (u32 i = 0; i + 1 < app.s.blocks.count; i++) {
    u32 len = app.s.blocks.entries[i].length;
    EXPECT_TRUE(len == 4096u || len == 8192u) << i << ": " << len;
  }
  EXPECT_TRUE(StoreOk(&app.s));
}

TEST(TextStore, BufferGrowsPast4096AndShrinksBack) {
  Store st;
  st.Insert(0, std::string(4000, 'a'));
  ASSERT_EQ(st.s.blocks.count, 1u);
  EXPECT_EQ(st.BufferOf(0), 4096u);
  st.Insert(2000, std::string(200, 'b'));
  ASSERT_EQ(st.s.blocks.count, 1u);
  EXPECT_EQ(st.s.blocks.entries[0].length, 4200u);
  EXPECT_EQ(st.BufferOf(0), 8192u);
  st.Delete(100, 204);
  EXPECT_EQ(st.s.blocks.entries[0].length, 4096u);
  EXPECT_EQ(st.BufferOf(0), 4096u);
  EXPECT_TRUE(StoreOk(&st.s));
}

TEST(TextStore, NewlineJoinsAcrossTheEdgesOfAnEdit) {
  Store st;
  st.Insert(0, "ab\rcd");
  ASSERT_EQ(RowCount(&st.s), 2u);
  EXPECT_EQ(RowAt(&st.s, 0).newlineType, kNewlineCR);
  // An LF right after a stored CR joins it: no new row, the type becomes 3.
  st.Insert(3, "\n");
  ASSERT_EQ(RowCount(&st.s), 2u);
  EXPECT_EQ(RowAt(&st.s, 0).newlineLength, 2u);
  EXPECT_EQ(RowAt(&st.s, 0).newlineType, kNewlineCRLF);
  EXPECT_TRUE(StoreOk(&st.s));
  // Deleting the LF leaves a row ending in CR.
  st.Delete(3, 4);
  ASSERT_EQ(RowCount(&st.s), 2u);
  EXPECT_EQ(RowAt(&st.s, 0).newlineLength, 1u);
  EXPECT_EQ(RowAt(&st.s, 0).newlineType, kNewlineCR);
  // Text inserted between CR and LF splits the newline; deleting it joins again.
  st.Insert(3, "\n");
  st.Insert(3, "xy");
  EXPECT_EQ(st.Text(), "ab\rxy\ncd");
  EXPECT_EQ(RowCount(&st.s), 3u);
  EXPECT_TRUE(StoreOk(&st.s));
  st.Delete(3, 5);
  EXPECT_EQ(RowCount(&st.s), 2u);
  EXPECT_EQ(RowAt(&st.s, 0).newlineType, kNewlineCRLF);
  // A CR ending an insertion joins an LF after it.
  st.Insert(0, "1\r");
  st.Insert(0, "\n");
  EXPECT_EQ(st.Text(), "\n1\rab\r\ncd");
  st.Insert(3, "\r\n\r");
  EXPECT_EQ(st.Text(), "\n1\r\r\n\rab\r\ncd");
  EXPECT_TRUE(StoreOk(&st.s));
  EXPECT_EQ(RowCount(&st.s), 6u);
}

TEST(TextStore, HardLinesAndContinuationRowsWithWrap) {
  Store st;
  st.Insert(0, "first line\nsecond one here\r\nthird");
  // Wrap "second one here" into rows of 7, 4, 4.
  u32 lengths[] = {7, 4, 4};
  ASSERT_EQ(SetHardLineRows(&st.s, 1, lengths, 3), 0);
  EXPECT_TRUE(StoreOk(&st.s, true, true));
  ASSERT_EQ(RowCount(&st.s), 5u);
  for (u32 r = 1; r <= 3; r++) {
    EXPECT_EQ(RowHardLine(&st.s, r), 1u) << r;
    EXPECT_EQ(LastRowOfHardLine(&st.s, r), 3u);
  }
  EXPECT_EQ(FirstRowOfHardLine(&st.s, 1), 1u);
  EXPECT_EQ(FirstRowOfHardLine(&st.s, 2), 4u);
  EXPECT_EQ(FirstRowOfHardLine(&st.s, 3), 5u);
  EXPECT_EQ(HardLineCount(&st.s), 3u);
  EXPECT_EQ(RowLengthWithContinuation(&st.s, 1), 15u);
  EXPECT_EQ(RowLengthWithContinuation(&st.s, 2), 8u);
  // Soft row ends read as CR LF with 16 + 32, hard ones converted by 1 + 2.
  EXPECT_EQ(Read(&st.s, 0, st.s.length, kReadSoftCR | kReadSoftLF), "first line\nsecond \r\none \r\nhere\r\nthird");
  EXPECT_EQ(Read(&st.s, 0, st.s.length, 3 | kReadSoftLF), "first line\r\nsecond \none \nhere\r\nthird");
  // A soft end at the end of the range counts; at its start it does not.
  EXPECT_EQ(Read(&st.s, 11, 18, kReadSoftLF), "second \n");
  EXPECT_EQ(Read(&st.s, 18, 22, kReadSoftLF), "one \n");
  EXPECT_EQ(Read(&st.s, 17, 20, kReadSoftLF), " \non");
  // Bad layouts are refused.
  u32 bad[] = {7, 4, 3};
  EXPECT_EQ(SetHardLineRows(&st.s, 1, bad, 3), -2);
  u32 empty[] = {0, 15};
  EXPECT_EQ(SetHardLineRows(&st.s, 1, empty, 2), -2);
  EXPECT_EQ(SetHardLineRows(&st.s, 2, lengths, 3), -2);
  // Editing inside the wrapped line keeps the structure sound.
  st.Insert(20, "\n");
  EXPECT_TRUE(StoreOk(&st.s, true, true));
  EXPECT_EQ(HardLineCount(&st.s), 4u);
  u32 one[] = {7};
  ASSERT_EQ(SetHardLineRows(&st.s, FirstRowOfHardLine(&st.s, 1), one, 1), -2);
}

// Rows of a run of hard lines at once give the same table as one hard line at
// a time, across small row groups; bad layouts and memory failures change
// nothing.
TEST(TextStore, RowsOfManyHardLinesAtOnceMatchOneLineAtATime) {
  ScopedStoreLimits limits(8);
  std::mt19937 rng(11);
  for (int round = 0; round < 40; round++) {
    std::string text;
    const int lines = 1 + static_cast<int>(rng() % 30);
    static const char *kNewlines[] = {"\r\n", "\n", "\r"};
    for (int i = 0; i < lines; i++) {
      text += std::string(rng() % 12, static_cast<char>('a' + i % 26));
      if (i + 1 < lines || rng() % 2) text += kNewlines[rng() % 3];
    }
    Store a, b;
    a.Insert(0, text);
    b.Insert(0, text);
    const u32 hardLines = HardLineCount(&a.s);
    const u32 firstLine = rng() % hardLines;
    const u32 lastLine = firstLine + rng() % (hardLines - firstLine);
    // Random rows for each hard line of the run.
    std::vector<u32> batch;
    std::vector<std::vector<u32>> perLine;
    for (u32 line = firstLine; line <= lastLine; line++) {
      const u32 r = FirstRowOfHardLine(&a.s, line);
      u32 rest = RowLengthWithContinuation(&a.s, r);
      std::vector<u32> rows;
      while (rest > 0 && rng() % 3) {
        u32 n = 1 + rng() % rest;
        if (n == rest) break;
        rows.push_back(n);
        rest -= n;
      }
      rows.push_back(rest);
      perLine.push_back(rows);
      for (size_t i = 0; i < rows.size(); i++) batch.push_back(rows[i] | (i + 1 == rows.size() ? kRowEndsLine : 0));
    }
    const u32 firstRow = FirstRowOfHardLine(&a.s, firstLine);
    const u32 lastRow = LastRowOfHardLine(&a.s, FirstRowOfHardLine(&a.s, lastLine));
    ASSERT_EQ(SetRowsOfHardLines(&a.s, firstRow, lastRow, batch.data(), static_cast<u32>(batch.size())), 0);
    for (u32 line = firstLine; line <= lastLine; line++) {
      const std::vector<u32> &rows = perLine[line - firstLine];
      ASSERT_EQ(SetHardLineRows(&b.s, FirstRowOfHardLine(&b.s, line), rows.data(), static_cast<u32>(rows.size())), 0);
    }
    ASSERT_TRUE(StoreOk(&a.s, true, true)) << round;
    ASSERT_EQ(RowCount(&a.s), RowCount(&b.s));
    for (u32 r = 0; r < RowCount(&a.s); r++) {
      const Row &x = RowAt(&a.s, r), &y = RowAt(&b.s, r);
      ASSERT_EQ(RowStart(&a.s, r), RowStart(&b.s, r)) << round << " row " << r;
      ASSERT_EQ(x.textLength, y.textLength);
      ASSERT_EQ(x.newlineLength, y.newlineLength);
      ASSERT_EQ(x.newlineType, y.newlineType);
      ASSERT_EQ(RowHardLine(&a.s, r), RowHardLine(&b.s, r));
    }
    EXPECT_EQ(a.Text(), text);
  }
}

TEST(TextStore, RowsOfManyHardLinesRefuseBadLayoutsAndKeepTheTableOnFailure) {
  Store st;
  st.Insert(0, "aaaa\r\nbbbbbb\nc");
  const u32 good[] = {2, 2 | kRowEndsLine, 3, 3 | kRowEndsLine, 1 | kRowEndsLine};
  const u32 wrongSum[] = {2, 1 | kRowEndsLine, 3, 3 | kRowEndsLine, 1 | kRowEndsLine};
  const u32 emptyInside[] = {0, 4 | kRowEndsLine, 6 | kRowEndsLine, 1 | kRowEndsLine};
  const u32 tooFew[] = {4 | kRowEndsLine, 6 | kRowEndsLine};
  EXPECT_EQ(SetRowsOfHardLines(&st.s, 0, 2, wrongSum, 5), -2);
  EXPECT_EQ(SetRowsOfHardLines(&st.s, 0, 2, emptyInside, 4), -2);
  EXPECT_EQ(SetRowsOfHardLines(&st.s, 0, 2, tooFew, 2), -2);
  EXPECT_EQ(SetRowsOfHardLines(&st.s, 1, 3, good, 5), -2);
  EXPECT_EQ(RowCount(&st.s), 3u);
  for (u32 n = 1;; n++) {
    FaultInjector fi = {};
    FaultPlan(&fi, kFaultAlloc, n, false);
    int r;
    {
      ScopedFaultInjector scope(&fi);
      r = SetRowsOfHardLines(&st.s, 0, 2, good, 5);
    }
    ASSERT_TRUE(StoreOk(&st.s, false, true));
    if (r == 0) break;
    ASSERT_EQ(r, -1);
    EXPECT_EQ(RowCount(&st.s), 3u) << "a failure leaves the rows as they were";
  }
  EXPECT_EQ(RowCount(&st.s), 5u);
  EXPECT_EQ(RowAt(&st.s, 1).newlineLength, 2);
  EXPECT_EQ(RowAt(&st.s, 3).newlineType, kNewlineLF);
  EXPECT_EQ(RowHardLine(&st.s, 4), 2u);
}

TEST(TextStore, ReadTextFlags) {
  Store st;
  st.Insert(0, std::string("a\rb\nc\r\nd\0e", 10));
  u32 out = 0;
  EXPECT_EQ(Read(&st.s, 0, 10, 0, &out), std::string("a\rb\nc\r\nd\0e", 10));
  EXPECT_EQ(out, 0u);
  EXPECT_EQ(Read(&st.s, 0, 10, kReadHardCR | kReadHardLF, &out), std::string("a\r\nb\r\nc\r\nd\0e", 12));
  EXPECT_EQ(out, kReadOutNotCRLF);
  EXPECT_EQ(Read(&st.s, 4, 10, kReadHardCR | kReadHardLF, &out), std::string("c\r\nd\0e", 6));
  EXPECT_EQ(out, 0u);
  EXPECT_EQ(Read(&st.s, 0, 10, kReadHardLF | kReadNulToSpace, &out), "a\nb\nc\nd e");
  EXPECT_EQ(out, kReadOutNul);
  EXPECT_EQ(Read(&st.s, 0, 10, kReadHardCR), std::string("a\rb\rc\rd\0e", 9));
  // A range starting between CR and LF: the half newline is skipped, or
  // written converted with 64.
  EXPECT_EQ(Read(&st.s, 6, 10, kReadHardCR | kReadHardLF), std::string("d\0e", 3));
  EXPECT_EQ(Read(&st.s, 6, 10, 3 | kReadPartialNewline), std::string("\r\nd\0e", 5));
  EXPECT_EQ(Read(&st.s, 6, 10, 0), std::string("\nd\0e", 4));
  // Reversed and clamped ranges.
  EXPECT_EQ(Read(&st.s, 99, 8, 0), std::string("\0e", 2));
  // Termination takes one byte of the capacity and counts.
  char buf[4];
  EXPECT_EQ(ReadText(&st.s, 0, 10, buf, 4, kReadTerminate, nullptr), 4u);
  EXPECT_EQ(std::string(buf, 4), std::string("a\rb\0", 4));
  // A converted newline is not cut in half.
  EXPECT_EQ(ReadText(&st.s, 0, 10, buf, 2, 3, nullptr), 1u);
  // Measure is an upper bound.
  for (u32 f = 0; f < 128; f++) {
    for (u32 a = 0; a <= 10; a++) {
      for (u32 b = a; b <= 10; b++) {
        EXPECT_LE(Read(&st.s, a, b, f, nullptr, 64).size(), MeasureText(&st.s, a, b, f)) << f << " " << a << " " << b;
      }
    }
  }
}

TEST(TextStore, DirectPointerAndCountRun) {
  Store st;
  std::string t(9000, 'q');
  t.replace(4090, 20, std::string(20, ' '));
  st.Insert(0, t);
  char scratch[64];
  const char *p = DirectPointer(&st.s, 10, 20, scratch, sizeof scratch);
  EXPECT_NE(p, scratch);
  EXPECT_EQ(std::string(p, 10), t.substr(10, 10));
  p = DirectPointer(&st.s, 4080, 4120, scratch, sizeof scratch);
  EXPECT_EQ(p, scratch);
  EXPECT_EQ(std::string(p, 40), t.substr(4080, 40));
  EXPECT_EQ(CountRun(&st.s, 4090, ' ', 100), 20u);
  EXPECT_EQ(CountRun(&st.s, 4090, ' ', 7), 7u);
  EXPECT_EQ(CountRun(&st.s, 4095, ' ', 100), 15u);
  EXPECT_EQ(CountRun(&st.s, 8990, 'q', 100), 10u);
  EXPECT_EQ(CountRun(&st.s, 9000, 'q', 100), 0u);
}

// The store layer against a string, with every invariant checked after each
// edit, at the real group sizes and at tiny ones.
void RandomEdits(unsigned seed, unsigned steps, unsigned maxLength) {
  TestRandom rng(seed);
  Store st;
  std::string model;
  bool exactBuffers = true;
  for (unsigned step = 0; step < steps; step++) {
    unsigned op = rng.Below(10);
    if (op < 6 || model.empty()) {
      u32 p = model.empty() ? 0 : rng.Below(static_cast<unsigned>(model.size()) + 1);
      unsigned n;
      switch (rng.Below(6)) {
        case 0: n = 1; break;
        case 1: n = 2; break;
        case 2: n = rng.Below(100) + 1; break;
        case 3: n = rng.Below(5000) + 1; break;
        case 4: n = 4096 * (rng.Below(3) + 1) + rng.Below(3) - 1; break;
        default: n = rng.Below(20000) + 1; break;
      }
      std::string t = RandomText(rng, n, rng.OneIn(3) ? 2 : 30);
      if (model.size() + t.size() > maxLength) {
        op = 9;
      } else if (rng.OneIn(3)) {
        // In pieces the store takes, now and then with the k-th allocation
        // failing: then nothing changes and the pieces stay the caller's.
        std::vector<char *> pieces;
        for (u32 at = 0; at < n; at += kBlockSmall) {
          pieces.push_back(static_cast<char *>(Allocate(kBlockSmall)));
          memcpy(pieces.back(), t.data() + at, std::min<u32>(kBlockSmall, n - at));
        }
        FaultInjector fi;
        FaultReset(&fi);
        if (rng.OneIn(4)) FaultPlan(&fi, kFaultAlloc, 1 + rng.Below(3), false);
        int r;
        {
          ScopedFaultInjector scope(&fi);
          r = StoreInsert(&st.s, p, PiecesSource(pieces.data(), n), 0);
        }
        for (char *piece : pieces) {
          ASSERT_EQ(piece == nullptr, r == 0);
          Free(piece);
        }
        if (r == 0) model.insert(p, t);
        // A buffer that failed to shrink stays bigger, which is harmless.
        if (r == 0 && fi.fired[kFaultAlloc]) exactBuffers = false;
      } else {
        ASSERT_EQ(StoreInsert(&st.s, p, BytesSource(t.data(), n), 0), 0);
        model.insert(p, t);
      }
    }
    if (op >= 6 && !model.empty()) {
      u32 a = rng.Below(static_cast<unsigned>(model.size()));
      u32 len = rng.OneIn(4) ? rng.Below(static_cast<unsigned>(model.size() - a)) + 1
                             : rng.Below(std::min<unsigned>(static_cast<unsigned>(model.size() - a), 30)) + 1;
      st.Delete(a, a + len);
      model.erase(a, len);
    }
    ASSERT_TRUE(StoreOk(&st.s, exactBuffers)) << "step " << step;
    ASSERT_EQ(st.s.length, model.size());
    ASSERT_EQ(st.Text(), model) << "step " << step;
    std::vector<ScannedRow> rows = ScanRows(model);
    ASSERT_EQ(RowCount(&st.s), rows.size());
    // Spot-check lookups.
    for (int k = 0; k < 4; k++) {
      u32 p = rng.Below(static_cast<unsigned>(model.size()) + 1);
      u32 r = RowOfPosition(&st.s, p);
      ASSERT_LE(RowStart(&st.s, r), p);
      ASSERT_TRUE(r + 1 == RowCount(&st.s) || RowEnd(&st.s, r) > p);
      u32 b = BlockOfPosition(&st.s, p);
      if (p < model.size()) {
        ASSERT_LE(BlockStart(&st.s, b), p);
        ASSERT_GT(BlockStart(&st.s, b) + st.s.blocks.entries[b].length, p);
      } else {
        ASSERT_EQ(b, st.s.blocks.count);
      }
      u32 h = rng.Below(HardLineCount(&st.s) + 1);
      u32 fr = FirstRowOfHardLine(&st.s, h);
      ASSERT_EQ(fr, h < HardLineCount(&st.s) ? h : RowCount(&st.s));
    }
  }
}

// The gaps among the rows. Newline edits scattered over a text of thousands
// of rows: the rows stay right, only the rows between the edit and the gap
// next to it on one side move, growth leaves room in every gap, and large
// insertions and deletions (more rows than a gap holds, ranges that hold
// gaps) still come out right.
TEST(TextStoreRowGaps, ScatteredNewlineEditsMoveOnlyTheRowsUpToTheNextGap) {
  TestRandom rng(41);
  Store st(1);
  std::string model;
  for (int i = 0; i < 4000; i++) model += i % 7 ? "row text\r\n" : "x\n";
  st.Insert(0, model);
  const char *pieces[] = {"\n", "\r", "a\r\nb", "\n\n\n", "q"};
  u32 checkedMoves = 0, grew = 0;
  for (int step = 0; step < 1000; step++) {
    const u32 rowsBefore = RowCount(&st.s), capBefore = st.s.rows.capacity;
    const RowGaps gaps = st.s.rowGaps;
    std::vector<const Row *> where(rowsBefore);
    for (u32 r = 0; r < rowsBefore; r++) where[r] = &RowAt(&st.s, r);
    const u32 kind = rng.Below(20);
    u32 p, n = 0;
    if (kind == 0) {
      // Many rows at once: more than a gap's room.
      p = rng.Below(static_cast<u32>(model.size()) + 1);
      std::string t = RandomText(rng, 4000, 8);
      st.Insert(p, t);
      model.insert(p, t);
    } else if (kind == 1 && model.size() > 8000) {
      // A range of hundreds of rows, with gaps inside.
      p = rng.Below(static_cast<u32>(model.size()) - 3000);
      st.Delete(p, p + 3000);
      model.erase(p, 3000);
    } else if (kind < 12) {
      p = rng.Below(static_cast<u32>(model.size()) + 1);
      std::string t = pieces[rng.Below(5)];
      n = static_cast<u32>(t.size());
      st.Insert(p, t);
      model.insert(p, t);
    } else {
      p = rng.Below(static_cast<u32>(model.size()));
      n = std::min<u32>(rng.Below(3) + 1, static_cast<u32>(model.size()) - p);
      st.Delete(p, p + n);
      model.erase(p, n);
    }
    ASSERT_TRUE(StoreOk(&st.s)) << "step " << step;
    ASSERT_EQ(st.Text(), model) << "step " << step;
    ASSERT_EQ(RowCount(&st.s), ScanRows(model).size()) << "step " << step;
    const u32 rowsAfter = RowCount(&st.s);
    if (st.s.rows.capacity != capBefore) {
      // The new room is where the edit was: one gap right after its rows.
      grew++;
      const u32 endRow = RowOfPosition(&st.s, p + static_cast<u32>(n ? n : 0)) + 1;
      u32 near = 0;
      for (u32 j = 0; j < kRowGaps; j++) {
        if (st.s.rowGaps.at[j] + 8 >= RowOfPosition(&st.s, p) && st.s.rowGaps.at[j] <= endRow + 4000)
          near = std::max(near, st.s.rowGaps.length[j]);
      }
      ASSERT_GE(near, st.s.rows.capacity - capBefore - (rowsAfter - rowsBefore)) << "step " << step;
      continue;
    }
    if (n == 0 || rowsAfter == rowsBefore) continue;
    // A small edit that added or removed rows, at rows [lo, hi] before it:
    // rows outside the nearest gaps on either side stay where they were
    // (when one of them had the room it needed).
    const u32 need = rowsAfter > rowsBefore ? rowsAfter - rowsBefore : 0;
    const u32 ra = RowOfPosition(&st.s, p);
    const u32 lo = ra > 1 ? ra - 2 : 0, hi = ra + 4;
    u32 below = 0, above = rowsBefore;
    bool room = false, between = false;
    for (u32 j = 0; j < kRowGaps; j++) {
      if (gaps.at[j] <= lo) {
        below = gaps.at[j];
        room = gaps.length[j] >= need;  // the last one counts
      } else if (gaps.at[j] < hi) {
        between = true;
      }
    }
    for (u32 j = 0; j < kRowGaps; j++) {
      if (gaps.at[j] >= hi) {
        above = gaps.at[j];
        room = room || gaps.length[j] >= need;
        break;
      }
    }
    if (between) continue;
    if (!room) continue;
    checkedMoves++;
    const u32 delta = rowsAfter - rowsBefore;  // modulo 2^32
    for (u32 r = 0; r < rowsBefore; r++) {
      if (r >= below && r <= above) continue;
      const u32 now = r < lo ? r : r + delta;
      ASSERT_EQ(&RowAt(&st.s, now), where[r]) << "step " << step << ": row " << r << " moved";
    }
  }
  EXPECT_GT(checkedMoves, 300u);
  EXPECT_GT(grew, 1u);
}

// Appending is linear: a text appended in 4 KiB pieces to a freshly loaded
// 1 GiB store moves no more rows (gaps moved, tables grown) than appending it
// to an empty store, give or take twice; and a large text appended in views
// of 8 MiB moves a bounded number of rows per row added. Counted in rows
// moved, so that nothing depends on the machine's speed.
TEST(TextStoreScaling, AppendingInPiecesCostsTheSameOnAHugeStore) {
#ifdef _WIN32
  GTEST_SKIP() << "measured by the native build: a 32-bit test process has no room for 2 GiB of test text";
#endif
  const u32 kPiece = 4096;
  std::string piece;
  auto append = [&](TextStore *s, u64 bytes, u32 lineSeed) {
    for (u64 done = 0; done < bytes; done += kPiece) {
      piece.assign(kPiece, 'x');
      for (u32 k = (lineSeed + static_cast<u32>(done)) % 61; k + 1 < kPiece; k += 61) piece[k] = '\r', piece[k + 1] = '\n';
      ASSERT_EQ(StoreInsert(s, s->length, BytesSource(piece.data(), kPiece), kStoreNoProgress), 0);
    }
  };
  const u64 kAppended = 64ull << 20;
  u64 alone = 0;
  {
    Store empty(1);
    const u64 before = g_storeRowsMoved;
    append(&empty.s, kAppended, 0);
    alone = g_storeRowsMoved - before;
    EXPECT_TRUE(StoreOk(&empty.s));
  }
  {
    Store big(1);
    std::string text(1ull << 30, 'y');
    for (size_t k = 59; k + 1 < text.size(); k += 61) text[k] = '\r', text[k + 1] = '\n';
    big.Insert(0, text);
    text = std::string();
    const u32 rows = RowCount(&big.s);
    const u64 before = g_storeRowsMoved;
    append(&big.s, kAppended, 7);
    const u64 onTop = g_storeRowsMoved - before;
    EXPECT_LE(onTop, 2 * alone + 4096) << "appended alone " << alone << ", on " << rows << " rows " << onTop;
    // One more such series after an edit in the middle (the room then lies
    // there): the gaps are spread anew a logarithmic number of times.
    ASSERT_EQ(StoreInsert(&big.s, big.s.length / 2, BytesSource("\n", 1), 0), 0);
    const u64 middle = g_storeRowsMoved;
    append(&big.s, kAppended, 3);
    EXPECT_LE(g_storeRowsMoved - middle, 40ull * RowCount(&big.s)) << "after an edit in the middle";
  }
  {
    // 256 MiB in views of 8 MiB, the way a large file is loaded, without
    // the room reserved first: rows moved per row added stay bounded.
    Store views(1);
    std::string view(8u << 20, 'z');
    for (size_t k = 40; k + 1 < view.size(); k += 61) view[k] = '\r', view[k + 1] = '\n';
    const u64 before = g_storeRowsMoved;
    for (int i = 0; i < 32; i++)
      ASSERT_EQ(StoreInsert(&views.s, views.s.length, BytesSource(view.data(), static_cast<u32>(view.size())), kStoreNoProgress), 0);
    EXPECT_LE(g_storeRowsMoved - before, 12ull * RowCount(&views.s));
  }
}

// Rows counted in pieces (a load's views) and in bulk: texts dense in CRs
// and LFs, cut anywhere, against the rows a scan finds.
TEST(TextStore, CountingNewRowsInPieces) {
  TestRandom rng(77);
  for (int round = 0; round < 3000; round++) {
    std::string text;
    for (unsigned n = rng.Below(round % 10 ? 80 : 20000); n > 0; n--) text += "ab\r\n"[rng.Below(4)];
    bool pending = false;
    u32 rows = 0;
    for (size_t at = 0; at < text.size();) {
      const size_t n = std::min<size_t>(rng.OneIn(3) ? text.size() : 1 + rng.Below(40), text.size() - at);
      rows += CountNewRows(text.data() + at, static_cast<u32>(n), &pending);
      at += n;
    }
    ASSERT_EQ(rows + 1, ScanRows(text).size()) << testing::PrintToString(text);
  }
}

TEST(TextStore, ReservingForAnAppendGrowsNothingOnTheWay) {
  Store st(1);
  std::string text;
  for (int i = 0; i < 50000; i++) text += i % 3 ? "abc\r\n" : "de\r";
  bool pending = false;
  u32 rows = 0;
  for (size_t at = 0; at < text.size(); at += 7777)
    rows += CountNewRows(text.data() + at, static_cast<u32>(std::min<size_t>(7777, text.size() - at)), &pending);
  ASSERT_EQ(rows + 1, ScanRows(text).size());
  ASSERT_TRUE(ReserveForAppend(&st.s, static_cast<u32>(text.size()), rows));
  const u32 rowCap = st.s.rows.capacity, blockCap = st.s.blocks.capacity;
  for (size_t at = 0; at < text.size(); at += 4000)
    st.Insert(st.s.length, text.substr(at, 4000));
  EXPECT_EQ(st.s.rows.capacity, rowCap);
  EXPECT_EQ(st.s.blocks.capacity, blockCap);
  EXPECT_EQ(st.Text(), text);
  EXPECT_TRUE(StoreOk(&st.s));
}

TEST(TextStoreRandom, AtProductTinyAndSmallGroupSizes) {
  RandomEdits(1, 1500, 200000);
  for (u32 limit : {4u, 16u}) {
    ScopedStoreLimits limits(limit);
    RandomEdits(limit == 4 ? 2 : 3, 3000, 60000);
  }
}

// Joining two lines across a row group boundary keeps both groups, however
// few rows they hold: one group fewer would renumber every row after them.
TEST(TextStore, EditsAcrossARowGroupBoundaryKeepTheGroups) {
  Store st;
  std::string model;
  for (int i = 0; i < 3000; i++) model += "line\n";
  st.Insert(0, model);
  for (int k = 0; k < 40; k++) {
    const TextStore *s = &st.s;
    u32 r = 0;
    while (r + 1 < RowCount(s) && RowAt(s, r + 1).group == RowAt(s, r).group) r++;
    for (int skip = k % 5; skip > 0 && r + 1 < RowCount(s); skip--) {
      do r++;
      while (r + 1 < RowCount(s) && RowAt(s, r + 1).group == RowAt(s, r).group);
    }
    ASSERT_LT(r + 1, RowCount(s));
    const u32 groups = s->rowGroups.count;
    // The newline between the two rows, or the group's last row.
    const u32 from = k % 2 ? RowTextEnd(s, r) : RowStart(s, r), to = RowEnd(s, r);
    st.Delete(from, to);
    model.erase(from, to - from);
    EXPECT_EQ(s->rowGroups.count, groups) << k;
    ASSERT_TRUE(StoreOk(s));
    ASSERT_TRUE(st.Text() == model) << k;
  }
}

// A span of row groups keeps a shift of its groups' starts that edits before
// it add to. A deletion from the last group of one span into the first group
// of the next keeps its two groups; the second may then begin below that
// shift (the bytes it held went with the deletion): the rows must still be
// found, whatever the shift.
TEST(TextStore, ADeletionOverASpanBoundaryKeepsEveryRowFound) {
  ScopedStoreLimits limits(4);  // two rows a group, two groups a span
  const u32 spanGroups = 1u << g_storeLimits.rowSpanBits;
  for (u32 g = spanGroups - 1; g < 3 * spanGroups; g += spanGroups) {
    for (u32 run = 1; run < 200; run += 3) {
      Store st;
      std::string model;
      for (int i = 0; i < 40; i++) model += "abcdefghij\n";
      st.Insert(0, model);
      const TextStore *s = &st.s;
      u32 r = 0;  // the last row of group g
      while (r + 1 < RowCount(s) && RowAt(s, r + 1).group <= g) r++;
      ASSERT_EQ(RowAt(s, r).group, g);
      // A run without a newline in the group: the later spans' shift.
      const u32 at = RowStart(s, r) + 1;
      st.Insert(at, std::string(run, 'x'));
      model.insert(at, std::string(run, 'x'));
      const u32 groups = s->rowGroups.count;
      const u32 to = RowStart(s, r + 1) + 1;
      st.Delete(at, to);
      model.erase(at, to - at);
      ASSERT_EQ(s->rowGroups.count, groups) << "group " << g;
      ASSERT_TRUE(StoreOk(s)) << "group " << g << ", run " << run;
      ASSERT_EQ(st.Text(), model);
      u32 row = 0;
      for (u32 p = 0; p <= model.size(); p++) {
        if (p > 0 && model[p - 1] == '\n') row++;
        ASSERT_EQ(RowOfPosition(s, p), row) << "group " << g << ", run " << run << ", position " << p;
      }
    }
  }
}

// Every insertion's rows found in two halves at once, cut wherever a group
// allows (one LF, CR LF split across pieces, a lone CR at the cut), and the
// rows after a change of the groups renumbered in two halves.
TEST(TextStoreRandom, RowsOfAnInsertionInTwoHalves) {
  const u32 saved = g_rowHalvesBytes, renumber = splice::g_renumberHalves;
  splice::g_renumberHalves = 2;
  for (u32 bytes : {1u, 64u}) {
    g_rowHalvesBytes = bytes;
    for (u32 limit : {4u, 16u}) {
      ScopedStoreLimits limits(limit);
      RandomEdits(4 + limit + bytes, 500, 60000);
    }
  }
  g_rowHalvesBytes = saved;
  splice::g_renumberHalves = renumber;
}

}  // namespace
