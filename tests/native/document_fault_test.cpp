// Fault loops: every document operation with allocation N failing, once and
// from N on, for N = 1, 2, ... until no failure fires. Each run must end with
// the promised result (the text unchanged, or for a replacement the deletion
// done and recorded and nothing inserted), every invariant holding, and undo
// still taking the text back to where it started.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "document/batch_edit.h"
#include "document/document.h"
#include "document/edit.h"
#include "document/position.h"
#include "document/range_set.h"
#include "document/undo.h"
#include "foundation/fault.h"
#include "tests/support/document_support.h"

namespace {

struct Fixture {
  Document *doc = nullptr;
  std::string base;    // the text that undoing everything gives back
  std::string before;  // the text right before the operation
};

// The set-up runs without faults: a document holding `base` (not recorded)
// and whatever recorded edits `prepare` makes.
using Prepare = std::function<void(Fixture &)>;
// The operation under faults; returns its result.
using Operation = std::function<int(Fixture &)>;
// Checks the outcome (fired: whether a fault fired).
using Verify = std::function<void(Fixture &, int result, bool fired)>;

void UndoAll(Fixture &f) {
  int guard = 0;
  while (UndoRedo(f.doc, kUndo) && ++guard < 100000) {
  }
  EXPECT_EQ(DocText(f.doc), f.base) << "undo takes the text back";
  EXPECT_TRUE(DocOk(f.doc, false));
}

// Returns how many allocations the operation made (the N at which no fault fired).
u32 FaultLoop(const std::string &base, const Prepare &prepare, const Operation &op, const Verify &verify) {
  u32 allocations = 0;
  for (int persistent = 0; persistent < 2; persistent++) {
    for (u32 n = 1;; n++) {
      SCOPED_TRACE(std::string(persistent ? "from allocation " : "allocation ") + std::to_string(n));
      Fixture f;
      f.doc = CreateDocument();
      if (!f.doc) {
        ADD_FAILURE() << "no document";
        return 0;
      }
      f.base = base;
      EXPECT_EQ(InsertText(&f.doc->store, 0, base.data(), static_cast<u32>(base.size()), 0), 0);
      if (prepare) prepare(f);
      if (::testing::Test::HasFatalFailure()) return 0;
      f.before = DocText(f.doc);
      FaultInjector fi = {};
      FaultPlan(&fi, kFaultAlloc, n, persistent != 0);
      int result;
      {
        ScopedFaultInjector scope(&fi);
        result = op(f);
      }
      const bool fired = fi.fired[kFaultAlloc] > 0;
      EXPECT_TRUE(DocOk(f.doc, false));
      verify(f, result, fired);
      UndoAll(f);
      DestroyDocument(f.doc);
      if (::testing::Test::HasFailure() || !fired) {
        allocations = n - 1;
        break;
      }
    }
  }
  return allocations;
}

std::string Base(unsigned seed, size_t n) {
  TestRandom rng(seed);
  return RandomText(rng, n, 30);
}

// A Replace selection of [a, b) with t: done, or not done at all, or the
// deletion done and recorded with nothing inserted.
u32 ReplaceLoop(const std::string &base, const Prepare &prepare, u32 a, u32 b, const std::string &t, u32 flags) {
  i32 out = 0;
  return FaultLoop(
      base, prepare,
      [&](Fixture &f) {
        SetSelection(f.doc, a, b);
        out = -9;
        return ReplaceSelectionCounted(f.doc, t.data(), static_cast<u32>(t.size()), flags, &out);
      },
      [&](Fixture &f, int result, bool fired) {
        std::string expected = f.before;
        expected.replace(a, b - a, t);
        if (result == 1) {
          EXPECT_EQ(out, 0);
          if (!(flags & kReplaceMatchCase)) {
            EXPECT_EQ(DocText(f.doc), expected);
          }
          EXPECT_EQ(f.doc->caret.position, a + t.size());
        } else {
          EXPECT_TRUE(fired);
          EXPECT_EQ(result, 0);
          std::string text = DocText(f.doc);
          if (out == -1) {
            EXPECT_EQ(text, f.before) << "nothing changes when the deletion cannot be recorded";
          } else {
            EXPECT_LT(a, b) << "a failed insertion into an empty selection changes nothing";
            EXPECT_EQ(out, static_cast<i32>(t.size()));
            std::string cut = f.before;
            cut.erase(a, b - a);
            EXPECT_EQ(text, cut) << "the deletion stays, nothing is inserted";
            // The deletion alone is undone by one step.
            ASSERT_EQ(UndoRedo(f.doc, kUndo), 1);
            EXPECT_EQ(DocText(f.doc), f.before);
          }
        }
      });
}

// Recorded edits made before the operation: typing, a deletion, a group.
void SomeHistory(Fixture &f) {
  TextStore *s = &f.doc->store;
  SetSelection(f.doc, 100, 100);
  ASSERT_EQ(ReplaceSelectionString(f.doc, "typed\r", kReplaceCloseBefore, nullptr), 1);
  SetSelection(f.doc, 5000, 9100);
  ASSERT_EQ(ReplaceSelectionString(f.doc, nullptr, kReplaceCloseBefore, nullptr), 1);
  BeginGroup(f.doc, 1, 0);
  for (u32 p = 200; p < 4000 && p < s->length; p += 300) {
    SetSelection(f.doc, p, p + 3);
    ASSERT_EQ(ReplaceSelectionString(f.doc, "\nRR\r", kReplaceCloseBefore | kReplaceCloseAfter, nullptr), 1);
  }
  BeginGroup(f.doc, 0, 0);
}

TEST(DocumentFault, TypingIntoTheMiddle) {
  // Typing into a full 4096-byte block enlarges its buffer: one allocation.
  std::string base = Base(1, 4096) + std::string("\n") + Base(1, 9000);
  EXPECT_EQ(ReplaceLoop(base, nullptr, 1000, 1000, "x", kReplaceCloseBefore | kReplaceCountTyped), 1u);
}

TEST(DocumentFault, ReplacingWithManyBlocks) {
  EXPECT_GT(ReplaceLoop(Base(2, 30000), SomeHistory, 4090, 12300, Base(3, 30000), kReplaceCloseBefore), 10u);
}

TEST(DocumentFault, DeletingAcrossBlocks) {
  EXPECT_GT(ReplaceLoop(Base(4, 40000), SomeHistory, 3000, 25000, "", kReplaceCloseBefore), 5u);
}

TEST(DocumentFault, MatchCaseReplacement) {
  std::string base = "Hello World and GOOD morning\r\n" + Base(5, 9000);
  EXPECT_GE(ReplaceLoop(base, nullptr, 16, 20, "great", kReplaceCloseBefore | kReplaceMatchCase), 3u);
}

TEST(DocumentFault, NewlineJoiningTheEdges) {
  std::string base = "ab\rcd\r\nef" + Base(6, 9000);
  ReplaceLoop(base, SomeHistory, 3, 3, "\n", kReplaceCloseBefore);
  ReplaceLoop(base, SomeHistory, 6, 6, "x\r", kReplaceCloseBefore);
  EXPECT_GE(ReplaceLoop(base, nullptr, 2, 7, "\n\r", kReplaceCloseBefore), 4u);
}

TEST(DocumentFault, BackspaceGrowingADeletedText) {
  // The step's deleted text already spans blocks; each backspace adds at its front.
  Prepare prepare = [](Fixture &f) {
    SetSelection(f.doc, 9000, 18000);
    ASSERT_EQ(ReplaceSelectionString(f.doc, nullptr, kReplaceCloseBefore, nullptr), 1);
  };
  FaultLoop(
      Base(7, 30000), prepare,
      [](Fixture &f) {
        int r = 1;
        for (u32 p = 9000; p > 8990 && r == 1; p--) {
          SetSelection(f.doc, p - 1, p);
          r = ReplaceSelectionString(f.doc, nullptr, 0, nullptr);
        }
        return r;
      },
      [](Fixture &f, int result, bool fired) {
        if (result == 1) {
          std::string expected = f.before;
          expected.erase(8990, 10);
          EXPECT_EQ(DocText(f.doc), expected);
          EXPECT_EQ(f.doc->undo.count, 1u) << "the backspaces joined the deletion's step";
        }
      });
}

TEST(DocumentFault, DeletingForwardAndBackIntoSmallTexts) {
  // Small deleted texts live in exactly sized buffers: adding at either end
  // first brings them back to full size.
  for (u32 deleted : {10u, 5000u}) {
    for (bool forward : {false, true}) {
      Prepare prepare = [=](Fixture &f) {
        SetSelection(f.doc, 9000, 9000 + deleted);
        ASSERT_EQ(ReplaceSelectionString(f.doc, nullptr, kReplaceCloseBefore, nullptr), 1);
      };
      u32 allocations = FaultLoop(
          Base(16, 30000), prepare,
          [=](Fixture &f) {
            int r = 1;
            for (u32 i = 0; i < 5 && r == 1; i++) {
              u32 p = forward ? 9000 : 9000 - i;
              SetSelection(f.doc, forward ? p : p - 1, forward ? p + 1 : p);
              r = ReplaceSelectionString(f.doc, nullptr, 0, nullptr);
            }
            return r;
          },
          [=](Fixture &f, int result, bool fired) {
            if (result == 1) {
              std::string expected = f.before;
              expected.erase(forward ? 9000 : 8995, 5);
              EXPECT_EQ(DocText(f.doc), expected);
              EXPECT_EQ(f.doc->undo.count, 1u);
              EXPECT_EQ(f.doc->undo.steps[0].deleted->length, deleted + 5);
            }
          });
      EXPECT_GE(allocations, 2u);
    }
  }
}

TEST(DocumentFault, UndoAndRedoOfAGroup) {
  FaultLoop(
      Base(8, 30000), SomeHistory, [](Fixture &f) { return UndoRedo(f.doc, kUndo); },
      [](Fixture &f, int result, bool fired) {
        if (result == 0) {
          EXPECT_TRUE(fired);
          // Undo again without faults: the rest of the group goes.
          ASSERT_EQ(UndoRedo(f.doc, kUndo), 1);
        }
        // Redo everything that was undone, then the text is as before.
        while (UndoRedo(f.doc, kRedo)) {
        }
        EXPECT_EQ(DocText(f.doc), f.before);
      });
  Prepare undone = [](Fixture &f) {
    SomeHistory(f);
    ASSERT_EQ(UndoRedo(f.doc, kUndo), 1);
    ASSERT_EQ(UndoRedo(f.doc, kUndo), 1);
  };
  FaultLoop(
      Base(8, 30000), undone, [](Fixture &f) { return UndoRedo(f.doc, kRedo); },
      [](Fixture &f, int result, bool fired) {
        if (result == 0) {
          EXPECT_TRUE(fired);
          ASSERT_EQ(UndoRedo(f.doc, kRedo), 1);
        }
        EXPECT_EQ(f.doc->redo.count > 0, true);
        ASSERT_EQ(UndoRedo(f.doc, kRedo), 1);
        EXPECT_EQ(f.doc->redo.count, 0u);
      });
}

// A batch of edits in clusters (close edits, far ones, long new texts) is all
// or nothing, and so is undoing it.
// With `plain` no edit changes a newline (the batch is made in place; long
// texts outgrow their blocks' buffers).
struct TestBatch {
  std::vector<BatchRequest> edits;
  std::string text;
  explicit TestBatch(const std::string &base = std::string()) {
    static const char *const kTexts[] = {"R", "\r\n", "", "\n--\r"};
    static const char *const kPlain[] = {"R", "xy", "", "--"};
    const bool plain = !base.empty();
    for (u32 p = 300, i = 0; p + 10 < 40000; p += (i % 7 == 0 ? 5000 : 60), i++) {
      std::string t = i % 11 == 0 ? std::string(plain ? 3000 : 9000, 'L') : (plain ? kPlain : kTexts)[i % 4];
      u32 to = p + (i % 5);
      while (plain && to > p && base.find_first_of("\r\n", p) < to) to--;
      while (plain && p > 0 && base[p - 1] == '\r') p++;
      edits.push_back({p, to < p ? p : to, static_cast<u32>(text.size()), static_cast<u32>(t.size())});
      text += t;
    }
  }
  int Apply(Document *d) const {
    EditBatch b = {0, static_cast<u32>(edits.size()), edits.data(), text.data(), static_cast<u32>(text.size())};
    return ApplyEditBatch(d, &b);
  }
  std::string On(std::string s) const {
    for (size_t i = edits.size(); i-- > 0;) s.replace(edits[i].from, edits[i].to - edits[i].from, text.substr(edits[i].offset, edits[i].length));
    return s;
  }
};

TEST(DocumentFault, BatchesAreAllOrNothing) {
  static TestBatch batch;
  static bool plain;
  for (bool p : {false, true}) {
  plain = p;
  SCOPED_TRACE(plain ? "in place" : "in clusters");
  batch = TestBatch();
  const u64 inPlace = g_storeBatchesInPlace;
  static u32 steps;
  const u32 allocations[2] = {FaultLoop(
      Base(21, 45000),
      [](Fixture &f) {
        SomeHistory(f);
        if (plain) batch = TestBatch(DocText(f.doc));
        steps = f.doc->undo.count;
        f.doc->modified = 0;
      },
      [](Fixture &f) { return batch.Apply(f.doc); },
      [](Fixture &f, int result, bool fired) {
        if (result == 0) {
          EXPECT_EQ(DocText(f.doc), batch.On(f.before));
          EXPECT_EQ(f.doc->undo.count, steps + 1);
        } else {
          EXPECT_TRUE(fired);
          EXPECT_EQ(result, kResultOutOfMemory);
          EXPECT_EQ(DocText(f.doc), f.before);
          EXPECT_EQ(f.doc->undo.count, steps) << "no step";
          EXPECT_EQ(f.doc->modified, 0u);
        }
      }),
  FaultLoop(
      Base(21, 45000),
      [](Fixture &f) {
        SomeHistory(f);
        if (plain) batch = TestBatch(DocText(f.doc));
        ASSERT_EQ(batch.Apply(f.doc), 0);
      },
      [](Fixture &f) { return UndoRedo(f.doc, kUndo); },
      [](Fixture &f, int result, bool fired) {
        if (result == 0) {
          EXPECT_TRUE(fired);
          EXPECT_EQ(DocText(f.doc), f.before) << "the batch stays whole";
          ASSERT_EQ(UndoRedo(f.doc, kUndo), 1);
        }
        ASSERT_EQ(UndoRedo(f.doc, kRedo), 1);
        EXPECT_EQ(DocText(f.doc), f.before);
      })};
  EXPECT_GT(allocations[0], plain ? 5u : 10u) << "failures in several clusters, or at each step in place";
  EXPECT_GT(allocations[1], plain ? 5u : 10u);
  EXPECT_EQ(g_storeBatchesInPlace > inPlace, plain);
  }
}

TEST(DocumentFault, ReinsertFromTheJournal) {
  FaultLoop(
      Base(9, 20000), SomeHistory,
      [](Fixture &f) {
        SetSelection(f.doc, 50, 50);
        return ReinsertDeleted(f.doc);
      },
      [](Fixture &f, int result, bool fired) {
        std::string text = DocText(f.doc);
        if (result == kResultDone) {
          EXPECT_EQ(text.size(), f.before.size() + 3) << "the newest deleted text: 3 bytes";
        } else {
          EXPECT_EQ(result, kResultOutOfMemory);
          EXPECT_EQ(text, f.before);
        }
      });
  FaultLoop(
      Base(10, 20000), SomeHistory,
      [](Fixture &f) {
        SetSelection(f.doc, 50, 50);
        return ReinsertInserted(f.doc);
      },
      [](Fixture &f, int result, bool fired) {
        if (result != kResultDone) {
          EXPECT_EQ(result, kResultOutOfMemory);
          EXPECT_EQ(DocText(f.doc), f.before);
        }
      });
}

TEST(DocumentFault, StoreLayerInsertions) {
  std::string big = Base(11, 1 << 20);
  FaultLoop(
      "", nullptr,
      [&](Fixture &f) { return InsertText(&f.doc->store, 0, big.data(), static_cast<u32>(big.size()), 0); },
      [&](Fixture &f, int result, bool fired) {
        EXPECT_EQ(DocText(f.doc), result == 0 ? big : std::string()) << "all or nothing";
        if (result) {
          EXPECT_EQ(result, static_cast<int>(big.size()));
        }
        // Not recorded: the test's baseline is what is there now.
        f.base = DocText(f.doc);
      });
  FaultLoop(
      Base(12, 9000), nullptr,
      [](Fixture &f) { return InsertRun(&f.doc->store, 4000, ' ', 5000, 0); },
      [](Fixture &f, int result, bool fired) {
        // Pieces of 1024 that went in stay in.
        u32 inserted = 5000 - static_cast<u32>(result);
        EXPECT_EQ(inserted % 1024 == 0 || result == 0, true);
        std::string expected = f.before;
        expected.insert(4000, std::string(inserted, ' '));
        EXPECT_EQ(DocText(f.doc), expected);
        f.base = DocText(f.doc);
      });
}

TEST(DocumentFault, CachesAndSets) {
  FaultLoop(
      Base(13, 20000), nullptr,
      [](Fixture &f) {
        RangeSet *set = &f.doc->store.rangeSets[kSetPrimaryMatches];
        for (u32 p = 0; p + 3 < f.doc->store.length; p += 5) {
          if (RangeSetAdd(set, p, 3, p) != 0) return -1;
        }
        return 0;
      },
      [](Fixture &f, int result, bool fired) {
        std::vector<RangeTriple> r = SetRanges(f.doc, kSetPrimaryMatches);
        for (size_t i = 0; i < r.size(); i++) EXPECT_EQ(r[i].start, i * 5);
        if (result == 0) {
          EXPECT_EQ(r.size(), (f.doc->store.length + 1) / 5);
        }
      });
  LineScanner scanner = {[](void *, Document *doc, u32 from, u32 to, RangeSet *results) {
                           for (u32 p = from; p + 2 <= to; p += 7) {
                             if (RangeSetAdd(results, p, 2, 1) != 0) return -1;
                           }
                           return 0;
                         },
                         nullptr};
  FaultLoop(
      Base(14, 20000), nullptr,
      [&](Fixture &f) {
        for (u32 row = 0; row < 40; row++) {
          if (RowCachePut(f.doc, row, row + 1) != 0) return -1;
        }
        return EnsureScanned(f.doc, kSetLinks, kSetLinksScanned, 0, 60, 0, scanner) < 0 ? -1 : 0;
      },
      [](Fixture &f, int result, bool fired) {
        if (result == 0) {
          for (u32 row = 0; row < 40; row++) EXPECT_EQ(RowCacheGet(f.doc, row), row + 1);
        }
      });
}

TEST(DocumentFault, CreatingAndResetting) {
  for (u32 n = 1;; n++) {
    FaultInjector fi = {};
    FaultPlan(&fi, kFaultAlloc, n, false);
    Document *d;
    {
      ScopedFaultInjector scope(&fi);
      d = CreateDocument();
    }
    if (d) {
      EXPECT_TRUE(DocOk(d));
      DestroyDocument(d);
    }
    if (!fi.fired[kFaultAlloc]) {
      EXPECT_NE(d, nullptr);
      break;
    }
    EXPECT_EQ(d, nullptr) << n;
  }
  FaultLoop(
      Base(15, 50000), SomeHistory,
      [](Fixture &f) {
        // As a load does: the journals go with the old text.
        ClearJournal(&f.doc->undo);
        ClearJournal(&f.doc->redo);
        return ResetStore(f.doc, 64, 512);
      },
      [](Fixture &f, int result, bool fired) {
        EXPECT_EQ(DocText(f.doc), "") << "reset or emptied";
        EXPECT_EQ(f.doc->store.rangeSets[3].maintained, 1u);
        if (!fired) {
          EXPECT_EQ(result, 0);
        }
        f.base = "";
      });
}

}  // namespace
