#include "tests/support/document_support.h"

#include <vector>

#include "foundation/platform.h"

size_t HeapBlockSize(const void *block) { return PlatHeapSize(block); }

std::string StoreText(const TextStore *s) {
  std::string t;
  t.reserve(s->length);
  for (u32 i = 0; i < s->blocks.count; i++) t.append(s->blocks.entries[i].data, s->blocks.entries[i].length);
  return t;
}

::testing::AssertionResult StoreOk(const TextStore *store, bool exactBuffers, bool softRows) {
  char why[512];
  StoreCheckOptions opt = {};
#if defined(__SANITIZE_ADDRESS__) || defined(_WIN32)
  // Both report the size that was asked for; glibc's malloc rounds up.
  opt.bufferSize = HeapBlockSize;
  opt.exactBuffers = exactBuffers;
#else
  opt.bufferSize = HeapBlockSize;
  opt.exactBuffers = false;
#endif
  opt.allowSoftRows = softRows;
  if (CheckStore(store, opt, why, sizeof why)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << why;
}

std::vector<ScannedRow> ScanRows(const std::string &t) {
  std::vector<ScannedRow> rows;
  unsigned cur = 0;
  for (size_t i = 0; i < t.size(); i++) {
    char c = t[i];
    if (c == '\n') {
      rows.push_back({cur, 1, kNewlineLF});
      cur = 0;
    } else if (c == '\r') {
      if (i + 1 < t.size() && t[i + 1] == '\n') {
        rows.push_back({cur, 2, kNewlineCRLF});
        i++;
      } else {
        rows.push_back({cur, 1, kNewlineCR});
      }
      cur = 0;
    } else {
      cur++;
    }
  }
  rows.push_back({cur, 0, 0});
  return rows;
}

std::string RandomText(TestRandom &rng, size_t n, unsigned lineLength) {
  std::string t;
  t.reserve(n);
  while (t.size() < n) {
    unsigned k = rng.Below(lineLength * 2 + 1);
    for (unsigned i = 0; i < k && t.size() < n; i++) {
      unsigned r = rng.Below(64);
      t.push_back(r < 52 ? static_cast<char>(r < 26 ? 'a' + r : 'A' + r - 26) : r < 60 ? ' ' : r == 60 ? '\0' : '.');
    }
    if (t.size() >= n) break;
    switch (rng.Below(4)) {
      case 0: t.push_back('\r'); break;
      case 1: t.push_back('\n'); break;
      default: t.append("\r\n"); break;
    }
  }
  t.resize(n);
  return t;
}

#include "document/document.h"
#include "document/range_set.h"

std::string DocText(const Document *doc) { return StoreText(&doc->store); }

static ::testing::AssertionResult JournalOk(const Journal *j, const char *name, u32 length, bool newestInText) {
  if (j->count > j->capacity || j->capacity < 8) {
    return ::testing::AssertionFailure() << name << ": " << j->count << " steps, capacity " << j->capacity;
  }
  if (j->savedIndex < -1 || j->savedIndex > static_cast<i32>(j->count)) {
    return ::testing::AssertionFailure() << name << ": saved index " << j->savedIndex << " of " << j->count;
  }
  for (u32 i = 0; i < j->count; i++) {
    const Step &st = j->steps[i];
    if (!st.deleted) continue;
    const CompactText *c = st.deleted;
    if (IsBatch(st)) {
      // The table: ascending entries whose deletions add up to the text.
      const BatchTable *t = BatchTableOf(st);
      u64 del = 0, ins = 0, end = 0;
      for (u32 e = 0; e < t->count; e++) {
        const BatchEdit b = BatchEditAt(t, e);
        if (b.position < end) return ::testing::AssertionFailure() << name << " step " << i << ": entry " << e;
        end = static_cast<u64>(b.position) + b.insertedLength;
        del += b.deletedLength;
        ins += b.insertedLength;
      }
      if (t->format == kBatchUniform) del = t->deletedLength;  // held once
      if (t->count == 0 || del != c->length || ins != st.insertedLength || st.position != BatchEditAt(t, 0).position ||
          (newestInText && i + 1 == j->count && end > length)) {
        return ::testing::AssertionFailure() << name << " step " << i << ": batch table";
      }
      if (c->length == 0) continue;
    }
    if (c->length == 0) return ::testing::AssertionFailure() << name << " step " << i << ": empty text";
    CompactStoreView view;
    CompactView(c, &view);
    char why[256];
    StoreCheckOptions opt = {};
    if (!CheckStore(&view.store, opt, why, sizeof why)) {
      return ::testing::AssertionFailure() << name << " step " << i << ": " << why;
    }
    for (u32 b = 0; b < c->blockCount; b++) {
      size_t real = HeapBlockSize(c->blocks[b].data);
      size_t want = (b == 0 || b + 1 == c->blockCount) ? c->blocks[b].length
                                                        : (c->blocks[b].length <= 4096 ? 4096u : 8192u);
      if (real && real < want) {
        return ::testing::AssertionFailure() << name << " step " << i << " block " << b << ": buffer " << real;
      }
    }
  }
  if (newestInText && j->count) {
    const Step &st = j->steps[j->count - 1];
    if (static_cast<u64>(st.position) + st.insertedLength > length) {
      return ::testing::AssertionFailure() << name << ": newest step " << st.position << "+" << st.insertedLength
                                           << " past " << length;
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult DocOk(const Document *doc, bool exactBuffers) {
  ::testing::AssertionResult r = StoreOk(&doc->store, exactBuffers, doc->wordWrap != 0);
  if (!r) return r;
  r = JournalOk(&doc->undo, "undo", doc->store.length, true);
  if (!r) return r;
  r = JournalOk(&doc->redo, "redo", doc->store.length, true);
  if (!r) return r;
  if (doc->selStart->position > doc->selEnd->position || doc->selEnd->position > doc->store.length) {
    return ::testing::AssertionFailure() << "selection " << doc->selStart->position << ".." << doc->selEnd->position;
  }
  return ::testing::AssertionSuccess();
}

std::vector<RangeTriple> SetRanges(const Document *doc, unsigned k) {
  std::vector<RangeTriple> v;
  const RangeSet *set = &doc->store.rangeSets[k];
  for (u32 c = 0; c < set->chunks.count; c++) {
    const RangeChunk &ch = set->chunks.entries[c];
    for (u32 i = 0; i < ch.count; i++) v.push_back({ch.start + ch.ranges[i].start, ch.ranges[i].length, ch.ranges[i].payload});
  }
  return v;
}

unsigned GroupStarts(const Document *doc, bool redo) {
  const Journal *j = redo ? &doc->redo : &doc->undo;
  unsigned n = 0;
  for (u32 i = 0; i < j->count; i++) n += StartsGroup(j->steps[i]) ? 1 : 0;
  return n;
}

#include "document/edit.h"
#include "document/position.h"

TestDocument::TestDocument() : doc(CreateDocument()) {
  EXPECT_NE(doc, nullptr);
  doc->events.context = this;
  doc->events.notify = [](void *c, Document *, DocumentNotification what) {
    static_cast<TestDocument *>(c)->events += what == kNotifyChange ? 'C' : what == kNotifyUpdate ? 'U' : 'E';
  };
  doc->events.checkOccurrences = [](void *c, Document *) { static_cast<TestDocument *>(c)->events += 'O'; };
  doc->events.savedStateReached = [](void *c, Document *) { static_cast<TestDocument *>(c)->events += 'S'; };
  doc->events.relayout = [](void *c, Document *, u32, u32) {
    TestDocument *t = static_cast<TestDocument *>(c);
    t->events += 'L';
    return t->relayoutResult;
  };
  doc->events.repaint = [](void *c, Document *, u32 first, u32 last, bool toEnd, u32) {
    TestDocument *t = static_cast<TestDocument *>(c);
    t->events += 'R';
    t->lastRepaintFirst = first;
    t->lastRepaintLast = last;
    t->lastRepaintToEnd = toEnd;
  };
}

TestDocument::~TestDocument() { DestroyDocument(doc); }

void TestDocument::Load(const std::string &text) {
  EXPECT_EQ(InsertText(&doc->store, kPositionEnd, text.data(), static_cast<u32>(text.size()), 0), 0);
  SetSelection(doc, 0, 0);
}

void TestDocument::Select(unsigned anchor, unsigned caret) { SetSelection(doc, anchor, caret); }

int TestDocument::Replace(const std::string &text, unsigned flags, int *outCount) {
  i32 out = 0;
  int r = ReplaceSelectionCounted(doc, text.data(), static_cast<u32>(text.size()), flags, &out);
  if (outCount) *outCount = out;
  return r;
}

void TestDocument::Type(const std::string &text) {
  for (char c : text) EXPECT_EQ(Replace(std::string(1, c), kReplaceCountTyped), 1);
}

void TestDocument::Backspace(int times) {
  for (int i = 0; i < times; i++) {
    u32 p = doc->caret.position;
    Select(p - 1, p);
    EXPECT_EQ(Replace(""), 1);
  }
}
