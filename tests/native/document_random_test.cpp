// The document engine against a model: a string, a stack of snapshots for
// undo and redo, the saved state, and the eight range sets as plain vectors.
// Every operation goes through the editor-layer entry points (Replace
// selection, undo, redo, groups, mark saved, journal clearing), with a full
// invariant check after each one.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/edit.h"
#include "document/position.h"
#include "document/range_set.h"
#include "document/store_internal.h"
#include "document/undo.h"
#include "foundation/char_class.h"
#include "tests/support/document_support.h"

namespace {

#ifdef _WIN32
// Under Wine a quarter of the operations still crosses every path.
constexpr unsigned kScale = 4;
#else
constexpr unsigned kScale = 1;
#endif

constexpr unsigned long long kUnreachable = ~0ull;

struct Model {
  struct Snapshot {
    std::string text;
    unsigned long long id;
  };
  std::string text;
  std::vector<Snapshot> undo, redo;
  unsigned long long id = 1, nextId = 2, savedId = kUnreachable;
  bool modified = false;
  std::vector<RangeTriple> sets[kRangeSetCount];

  // The rules by which edits cut and shift the range sets.
  void SetsInsert(unsigned p, unsigned n, unsigned lengthBefore) {
    for (unsigned k = 0; k < kRangeSetCount; k++) {
      bool endCounts = k == 1 || k == 3 || k >= 5 || p == lengthBefore;
      auto &v = sets[k];
      for (size_t i = 0; i < v.size(); i++) {
        unsigned end = v[i].start + v[i].length;
        if ((v[i].start <= p && p < end) || (endCounts && end == p)) {
          v.erase(v.begin() + static_cast<long>(i));
          break;
        }
      }
      for (auto &r : v)
        if (r.start >= p) r.start += n;
    }
  }
  void SetsDelete(unsigned a, unsigned b) {
    for (auto &v : sets) {
      std::vector<RangeTriple> kept;
      for (auto r : v) {
        if (r.start + r.length >= a && r.start <= b) continue;
        if (r.start > b) r.start -= b - a;
        kept.push_back(r);
      }
      v = kept;
    }
  }
  void SetsAdd(unsigned k, unsigned start, unsigned length, unsigned payload) {
    if (length == 0) return;
    auto &v = sets[k];
    std::vector<RangeTriple> kept;
    for (auto r : v)
      if (!(r.start < start + length && r.start + r.length > start)) kept.push_back(r);
    kept.push_back({start, length, payload});
    std::sort(kept.begin(), kept.end(), [](const RangeTriple &x, const RangeTriple &y) { return x.start < y.start; });
    v = kept;
  }
  void SetsRemove(unsigned k, unsigned from, unsigned to) {
    auto &v = sets[k];
    std::vector<RangeTriple> kept;
    for (auto r : v)
      if (!(r.start < to && r.start + r.length > from)) kept.push_back(r);
    v = kept;
  }
};

// What Read text gives for a text without wrapped rows, worked out from the
// text alone.
// softBreaks: the positions where a wrapped row ends (taken from the store).
std::string ReadModel(const std::string &t, unsigned from, unsigned to, unsigned flags, unsigned cap, unsigned *out,
                      const std::vector<unsigned> &softBreaks) {
  if (from > to) std::swap(from, to);
  to = std::min<unsigned>(to, static_cast<unsigned>(t.size()));
  from = std::min(from, to);
  *out = 0;
  std::string r;
  if (cap == 0) return r;
  unsigned room = (flags & kReadTerminate) ? cap - 1 : cap;
  const unsigned hard = flags & 3;
  auto put = [&](const std::string &piece, bool whole) {
    if (r.size() + piece.size() > room) {
      if (!whole) r += piece.substr(0, room - r.size());
      return false;
    }
    r += piece;
    return true;
  };
  auto newline = [&](bool crlf) {
    if (!put(hard == 1 ? "\r" : hard == 2 ? "\n" : "\r\n", true)) return false;
    if (hard == 3 && !crlf) *out |= kReadOutNotCRLF;
    return true;
  };
  unsigned i = from;
  if (hard && from < to && from > 0 && t[from - 1] == '\r' && t[from] == '\n') {
    i++;  // inside a CR LF: written converted with 64, else skipped
    if ((flags & kReadPartialNewline) && !newline(true)) i = to;
  }
  const unsigned soft = (flags & kReadSoftCR ? 1u : 0u) | (flags & kReadSoftLF ? 2u : 0u);
  size_t sb = std::lower_bound(softBreaks.begin(), softBreaks.end(), i) - softBreaks.begin();
  for (; i < to; i++) {
    while (sb < softBreaks.size() && softBreaks[sb] < i) sb++;
    if (soft && sb < softBreaks.size() && softBreaks[sb] == i && i > from &&
        !put(soft == 1 ? "\r" : soft == 2 ? "\n" : "\r\n", true)) {
      break;
    }
    char c = t[i];
    if (hard && (c == '\r' || c == '\n')) {
      bool crlf = c == '\r' && i + 1 < t.size() && t[i + 1] == '\n';
      if (!newline(crlf)) break;
      if (crlf) i++;
      continue;
    }
    bool nul = c == 0 && (flags & kReadNulToSpace);
    if (!put(std::string(1, nul ? ' ' : c), false)) break;
    if (nul) *out |= kReadOutNul;
  }
  // A soft end right at the end of the range.
  if (i == to && soft && std::binary_search(softBreaks.begin(), softBreaks.end(), to) && to > from) {
    put(soft == 1 ? "\r" : soft == 2 ? "\n" : "\r\n", true);
  }
  if (flags & kReadTerminate) r.push_back('\0');
  return r;
}

class Harness {
 public:
  Harness(unsigned long long seed, unsigned maxLength, bool wrap = false)
      : rng_(seed), maxLength_(maxLength), doc_(CreateDocument()), wrap_(wrap) {
    if (doc_) doc_->wordWrap = wrap ? 1 : 0;
  }
  ~Harness() { DestroyDocument(doc_); }

  void Run(unsigned operations) {
    ASSERT_NE(doc_, nullptr);
    for (op_ = 0; op_ < operations; op_++) {
      Step();
      if (::testing::Test::HasFatalFailure()) return;
      Check();
      if (::testing::Test::HasFatalFailure()) return;
    }
  }

 private:
  // ---- choosing places and texts -----------------------------------------------
  unsigned Length() const { return static_cast<unsigned>(m_.text.size()); }

  // Positions near the places where things go wrong: newlines, block and
  // buffer boundaries, the ends.
  unsigned Place() {
    unsigned n = Length();
    if (n == 0) return 0;
    unsigned p;
    switch (rng_.Below(10)) {
      case 0: return 0;
      case 1: return n;
      case 2:
      case 3: {
        size_t at = m_.text.find_first_of("\r\n", rng_.Below(n));
        if (at == std::string::npos) at = m_.text.find_last_of("\r\n");
        if (at == std::string::npos) return rng_.Below(n + 1);
        p = static_cast<unsigned>(at) + rng_.Below(3);
        break;
      }
      case 4: {
        u32 blocks = doc_->store.blocks.count;
        if (!blocks) return 0;
        p = BlockStart(&doc_->store, rng_.Below(blocks)) + rng_.Below(3);
        break;
      }
      case 5: p = 4096 * (rng_.Below(n / 4096 + 1)) + rng_.Below(5); break;
      default: return rng_.Below(n + 1);
    }
    p = p >= 1 ? p - 1 : 0;
    return p > n ? n : p;
  }

  std::string Text() {
    switch (rng_.Below(12)) {
      case 0: return "\n";
      case 1: return "\r";
      case 2: return "\r\n";
      case 3: return "";
      case 4: return RandomText(rng_, rng_.Below(5000) + 1, rng_.OneIn(2) ? 3 : 60);
      case 5: return RandomText(rng_, 4096 + rng_.Below(5) - 2, 40);
      case 6:
        if (Length() < maxLength_ / 4) return RandomText(rng_, rng_.Below(20000) + 8000, 50);
        return "x";
      case 7: return std::string(1, "aB.\r\n x"[rng_.Below(7)]);
      default: return RandomText(rng_, rng_.Below(40) + 1, 4);
    }
  }

  // ---- the operations ----------------------------------------------------------------
  void Step() {
    if (Length() > maxLength_) {
      Replace(0, Length(), "", kReplaceCloseBefore);  // back to an empty document
      return;
    }
    unsigned r = rng_.Below(100);
    if (r < 3) {
      OverwritePieces();
    } else if (r < 22) {
      unsigned a = Place(), b = Place();
      if (rng_.OneIn(2)) b = a;
      Replace(std::min(a, b), std::max(a, b), Text(), kReplaceCloseBefore | (rng_.OneIn(8) ? kReplaceMatchCase : 0));
    } else if (r < 32) {
      unsigned a = Place();
      unsigned b = std::min(Length(), a + (rng_.OneIn(4) ? rng_.Below(9000) : rng_.Below(6)));
      Replace(a, b, "", kReplaceCloseBefore);
    } else if (r < 40) {
      TypingRun();
    } else if (r < 46) {
      BackspaceRun();
    } else if (r < 49) {
      ForwardDeleteRun();
    } else if (r < 54) {
      Group();
    } else if (r < 66) {
      Undo(kUndo);
    } else if (r < 74) {
      Undo(kRedo);
    } else if (r < 76) {
      Undo(kUndoToggle);
    } else if (r < 80) {
      MarkSaved(doc_);
      m_.savedId = m_.id;
      m_.modified = false;
    } else if (r < 81) {
      ClearJournal(&doc_->undo);
      ClearJournal(&doc_->redo);
      m_.undo.clear();
      m_.redo.clear();
      m_.savedId = kUnreachable;
    } else if (r < 82) {
      // Saving with "Reduce Undo/Redo upon Save".
      ReduceJournals(&doc_->undo, &doc_->redo);
      MarkSaved(doc_);
      if (m_.undo.size() > 1) m_.undo.erase(m_.undo.begin(), m_.undo.end() - 1);
      m_.redo.clear();
      m_.savedId = m_.id;
      m_.modified = false;
    } else if (r < 86) {
      ReplaceFromStore();
    } else if (wrap_ && r < 93) {
      Rewrap();
    } else {
      SetOperation();
    }
  }

  // The layout wraps one hard line into rows of random lengths.
  void Rewrap() {
    TextStore *s = &doc_->store;
    u32 first = FirstRowOfHardLine(s, RowHardLine(s, rng_.Below(RowCount(s))));
    u32 length = RowLengthWithContinuation(s, first);
    std::vector<u32> rows;
    for (u32 left = length; left > 0;) {
      u32 n = std::min(left, rng_.Below(12) + 1);
      rows.push_back(n);
      left -= n;
    }
    if (rows.empty()) rows.push_back(0);
    ASSERT_EQ(SetHardLineRows(s, first, rows.data(), static_cast<u32>(rows.size())), 0) << "op " << op_;
    ASSERT_EQ(RowLengthWithContinuation(s, first), length);
    ASSERT_EQ(LastRowOfHardLine(s, first), first + rows.size() - 1);
  }

  std::vector<unsigned> SoftBreaks() const {
    std::vector<unsigned> v;
    const TextStore *s = &doc_->store;
    for (u32 r = 0; r + 1 < RowCount(s); r++)
      if (RowAt(s, r).newlineLength == 0) v.push_back(RowEnd(s, r));
    return v;
  }

  // A long stretch written over by as many bytes in pieces (its case
  // turned; now and then a newline changed too, which the pieces may not
  // do): the old blocks go to the step and the rows stay.
  void OverwritePieces() {
    const unsigned n = Length();
    if (n < 16384) return;
    const unsigned len = 16384 + rng_.Below(n - 16384 + 1), a = rng_.Below(n - len + 1), b = a + len;
    std::string t = m_.text.substr(a, len);
    for (char &c : t) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    if (rng_.OneIn(5)) t[rng_.Below(len)] = "\n\rx"[rng_.Below(3)];
    bool newlinesKept = true;
    for (unsigned i = 0; i < len; i++) {
      const char o = m_.text[a + i];
      if ((o == '\r' || o == '\n' || t[i] == '\r' || t[i] == '\n') && o != t[i]) newlinesKept = false;
    }
    std::vector<char *> pieces((len + kBlockSmall - 1) / kBlockSmall);
    for (size_t i = 0; i < pieces.size(); i++) {
      pieces[i] = static_cast<char *>(Allocate(kBlockSmall));
      memcpy(pieces[i], t.data() + i * kBlockSmall, std::min<size_t>(kBlockSmall, len - i * kBlockSmall));
    }
    SetSelection(doc_, b, a);
    const u32 same = newlinesKept && rng_.OneIn(2) ? kReplaceSameNewlines : 0;
    const int r = OverwriteSelectionPieces(doc_, pieces.data(), nullptr, len, kReplaceCloseBefore | kReplaceCloseAfter | same);
    for (char *p : pieces) Free(p);  // those taken are null
    if (!newlinesKept) {
      ASSERT_EQ(r, -2) << "op " << op_;  // nothing changed, no step
      return;
    }
    ASSERT_EQ(r, 1) << "op " << op_;
    PushUndo();
    pending_ = false;
    m_.SetsInsert(a, len, Length() - len);
    m_.SetsDelete(a + len, b + len);
    m_.text.replace(a, len, t);
    m_.modified = true;
    ASSERT_EQ(doc_->caret.position, b) << "op " << op_;
    ASSERT_EQ(doc_->anchor.position, b) << "op " << op_;
  }

  // One Replace selection of [a, b) with t, as one undoable action when
  // `flags` closes the step before it.
  void Replace(unsigned a, unsigned b, const std::string &t, u32 flags, bool newAction = true) {
    if (newAction) pending_ = true;
    std::string inserted = t;
    if ((flags & kReplaceMatchCase) && a < b && !t.empty()) {
      ApplyCase(ClassifyCasePattern(m_.text.data() + a, b - a), &inserted[0], inserted.size());
    }
    if (a == b && t.empty()) {
      SetSelection(doc_, a, a);
      ASSERT_EQ(ReplaceSelectionCounted(doc_, t.data(), 0, flags, nullptr), 1);
      return;
    }
    if (pending_) {
      PushUndo();
      pending_ = false;
    }
    if (rng_.OneIn(2)) {
      SetSelection(doc_, a, b);
    } else {
      SetSelection(doc_, b, a);
    }
    bool select = rng_.OneIn(4), atStart = rng_.OneIn(4);
    u32 f = flags | (select ? kReplaceSelectInserted : 0) | (atStart ? kReplaceCaretAtStart : 0);
    i32 out = -5;
    ASSERT_EQ(ReplaceSelectionCounted(doc_, t.data(), static_cast<u32>(t.size()), f, &out), 1) << "op " << op_;
    ASSERT_EQ(out, 0);
    if (a < b) m_.SetsDelete(a, b);
    m_.text.replace(a, b - a, inserted);
    if (!inserted.empty()) m_.SetsInsert(a, static_cast<unsigned>(inserted.size()), Length() - static_cast<unsigned>(inserted.size()));
    m_.modified = true;
    unsigned end = a + static_cast<unsigned>(inserted.size());
    unsigned caret = atStart ? a : end;
    unsigned anchor = select ? (atStart ? end : a) : caret;
    ASSERT_EQ(doc_->caret.position, caret) << "op " << op_;
    ASSERT_EQ(doc_->anchor.position, anchor) << "op " << op_;
  }

  void PushUndo() {
    m_.undo.push_back({m_.text, m_.id});
    m_.redo.clear();
    m_.id = m_.nextId++;
  }

  // Typing at an advancing caret: one step for the whole run.
  void TypingRun() {
    unsigned p = Place();
    unsigned k = rng_.Below(30) + 1;
    u32 typed = doc_->typedCount;
    u32 steps = doc_->undo.count;
    for (unsigned i = 0; i < k; i++) {
      char c = "abc \r\nXYZ."[rng_.Below(10)];
      Replace(p, p, std::string(1, c), (i == 0 ? kReplaceCloseBefore : 0) | kReplaceCountTyped, i == 0);
      if (::testing::Test::HasFatalFailure()) return;
      p++;
    }
    ASSERT_EQ(doc_->typedCount, typed + k);
    ASSERT_EQ(doc_->undo.count, steps + 1) << "a typing run makes one step";
  }

  void BackspaceRun() {
    unsigned p = Place();
    unsigned k = std::min(p, rng_.Below(20) + 1);
    if (k == 0) return;
    u32 steps = doc_->undo.count;
    for (unsigned i = 0; i < k; i++) {
      Replace(p - 1, p, "", i == 0 ? kReplaceCloseBefore : 0, i == 0);
      if (::testing::Test::HasFatalFailure()) return;
      p--;
    }
    ASSERT_EQ(doc_->undo.count, steps + 1) << "a backspace run makes one step";
  }

  void ForwardDeleteRun() {
    unsigned p = Place();
    unsigned k = std::min(Length() - p, rng_.Below(20) + 1);
    if (k == 0) return;
    for (unsigned i = 0; i < k; i++) {
      Replace(p, p + 1, "", i == 0 ? kReplaceCloseBefore : 0, i == 0);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }

  // A replacing search run: many replacements undone by one Undo.
  void Group() {
    pending_ = true;
    BeginGroup(doc_, 1, 0);
    unsigned k = rng_.Below(12) + 1;
    for (unsigned i = 0; i < k; i++) {
      unsigned a = Place(), b = std::min(Length(), a + rng_.Below(4));
      Replace(a, b, Text(), kReplaceCloseBefore | kReplaceCloseAfter, false);
      if (::testing::Test::HasFatalFailure()) return;
    }
    BeginGroup(doc_, 0, 0);
    pending_ = false;
  }

  void Undo(UndoMode mode) {
    bool redo = mode == kRedo || (mode == kUndoToggle && !m_.redo.empty());
    auto &from = redo ? m_.redo : m_.undo;
    auto &to = redo ? m_.undo : m_.redo;
    int r = UndoRedo(doc_, mode);
    if (from.empty()) {
      ASSERT_EQ(r, 0) << "op " << op_;
      return;
    }
    ASSERT_EQ(r, 1) << "op " << op_;
    to.push_back({m_.text, m_.id});
    m_.text = from.back().text;
    m_.id = from.back().id;
    from.pop_back();
    if (m_.id == m_.savedId) m_.modified = false; else m_.modified = true;
    // The range sets went through replacements the model does not replay:
    // they were checked for soundness; take them over.
    for (unsigned k = 0; k < kRangeSetCount; k++) m_.sets[k] = SetRanges(doc_, k);
  }

  // The source of a replacement can be another store, or the document itself.
  void ReplaceFromStore() {
    unsigned a = Place(), b = std::min(Length(), a + rng_.Below(10));
    if (rng_.OneIn(3) && Length()) {
      std::string whole = m_.text;
      // The whole document is the source; its text is copied before the
      // selection goes.
      SetSelection(doc_, a, b);
      ASSERT_EQ(ReplaceSelectionStore(doc_, &doc_->store, kReplaceCloseBefore, nullptr), 1);
      PushUndo();
      if (a < b) m_.SetsDelete(a, b);
      m_.text.replace(a, b - a, whole);
      if (!whole.empty()) m_.SetsInsert(a, static_cast<unsigned>(whole.size()), Length() - static_cast<unsigned>(whole.size()));
      m_.modified = true;
      return;
    }
    std::string t = Text();
    TextStore other;
    ASSERT_TRUE(InitialiseStore(&other, 1, rng_.OneIn(2) ? 0 : 8));
    ASSERT_EQ(StoreInsert(&other, 0, BytesSource(t.data(), static_cast<u32>(t.size())), 0), 0);
    if (!(t.empty() && a == b)) PushUndo();
    SetSelection(doc_, a, b);
    int r = ReplaceSelectionStore(doc_, &other, kReplaceCloseBefore, nullptr);
    FreeStore(&other);
    ASSERT_EQ(r, 1);
    if (t.empty() && a == b) return;
    if (a < b) m_.SetsDelete(a, b);
    m_.text.replace(a, b - a, t);
    if (!t.empty()) m_.SetsInsert(a, static_cast<unsigned>(t.size()), Length() - static_cast<unsigned>(t.size()));
    m_.modified = true;
  }

  // Owners filling and emptying the range sets.
  void SetOperation() {
    unsigned k = rng_.Below(kRangeSetCount);
    RangeSet *set = &doc_->store.rangeSets[k];
    switch (rng_.Below(8)) {
      case 0:
      case 1:
      case 2:
      case 3: {
        for (int i = rng_.Below(6) + 1; i > 0; i--) {
          unsigned a = Place(), len = std::min(Length() - a, rng_.Below(3) ? rng_.Below(12) : rng_.Below(400));
          unsigned payload = rng_.Below(1000);
          ASSERT_EQ(RangeSetAdd(set, a, len, payload), 0);
          m_.SetsAdd(k, a, len, payload);
        }
        break;
      }
      case 4: {
        unsigned row = rng_.Below(RowCount(&doc_->store));
        unsigned payload = rng_.Below(1000) + 1;
        ASSERT_EQ(RowCachePut(doc_, row, payload), 0);
        unsigned start = RowStart(&doc_->store, row);
        const Row &rw = RowAt(&doc_->store, row);
        m_.SetsAdd(0, start, rw.textLength + rw.newlineLength, payload);
        bool wholeLine = RowHardLine(&doc_->store, row) == row &&
                         (row + 1 == RowCount(&doc_->store) || RowHardLine(&doc_->store, row + 1) == row + 1);
        ASSERT_EQ(RowCacheGet(doc_, row), wholeLine && rw.textLength + rw.newlineLength ? payload : 0u);
        break;
      }
      case 5: {
        unsigned a = Place(), b = std::min(Length(), a + rng_.Below(100) + 1);
        RangeSetRemove(set, a, b);
        m_.SetsRemove(k, a, b);
        break;
      }
      case 6:
        if (rng_.OneIn(4)) {
          RangeSetClear(set);
          m_.sets[k].clear();
        }
        break;
      default:
        if (rng_.OneIn(8)) {
          CompactCaches(doc_);
          for (unsigned s = 0; s < 3; s++) m_.sets[s].clear();
        }
        break;
    }
  }

  // ---- the check after every operation ---------------------------------------------------
  void Check() {
    ASSERT_TRUE(DocOk(doc_)) << "op " << op_;
    ASSERT_EQ(doc_->store.length, Length()) << "op " << op_;
    ASSERT_TRUE(DocText(doc_) == m_.text) << "op " << op_;
    // (DocOk has matched every row against the newlines of the text.)
    size_t newlines = 0;
    for (size_t i = 0; i < m_.text.size(); i++) {
      newlines += m_.text[i] == '\n' || (m_.text[i] == '\r' && (i + 1 == m_.text.size() || m_.text[i + 1] != '\n'));
    }
    ASSERT_EQ(HardLineCount(&doc_->store), newlines + 1) << "op " << op_;
    ASSERT_EQ(GroupStarts(doc_, false), m_.undo.size()) << "op " << op_;
    ASSERT_EQ(GroupStarts(doc_, true), m_.redo.size()) << "op " << op_;
    ASSERT_EQ(doc_->modified != 0, m_.modified) << "op " << op_;
    if (!doc_->modified && m_.savedId != kUnreachable) {
      ASSERT_EQ(m_.id, m_.savedId);
    }
    for (unsigned k = 0; k < kRangeSetCount; k++) {
      ASSERT_EQ(SetRanges(doc_, k), m_.sets[k]) << "set " << k << " op " << op_;
      ASSERT_EQ(doc_->store.rangeSets[k].maintained, 1u);
    }
    // Reading a piece of the text, converted, into a buffer of some size.
    {
      unsigned a = Place(), b = rng_.OneIn(20) ? Length() : std::min(Length(), a + rng_.Below(300));
      if (rng_.OneIn(2)) std::swap(a, b);
      unsigned flags = rng_.Below(128);
      unsigned cap = rng_.OneIn(4) ? rng_.Below(40) : 1u << 16;
      std::string buf(cap, '#');
      u32 out = 99;
      u32 n = ReadText(&doc_->store, a, b, &buf[0], cap, flags, &out);
      unsigned expectedOut;
      std::string expected = ReadModel(m_.text, a, b, flags, cap, &expectedOut, SoftBreaks());
      ASSERT_EQ(buf.substr(0, n), expected) << "read " << a << ".." << b << " flags " << flags << " op " << op_;
      ASSERT_EQ(out, expectedOut) << "read " << a << ".." << b << " flags " << flags << " cap " << cap << " op " << op_ << " text " << ::testing::PrintToString(m_.text.substr(std::min(a, b), 12));
      if (cap == 1u << 16 && expected.size() < cap) {
        ASSERT_LE(n, MeasureText(&doc_->store, a, b, flags));
      }
    }
    // The positions agree with the rows.
    for (int i = 0; i < 2; i++) {
      unsigned p = Place();
      PositionRecord rec;
      SetFromPosition(doc_, &rec, p, 0);
      ASSERT_EQ(rec.position, p) << "op " << op_;
      if (!wrap_) {
        ASSERT_EQ(rec.hardLine, rec.row);
      }
      ASSERT_EQ(rec.firstRow, FirstRowOfHardLine(&doc_->store, rec.hardLine));
      ASSERT_EQ(rec.offsetInHardLine, p - RowStart(&doc_->store, rec.firstRow));
    }
  }

  TestRandom rng_;
  unsigned maxLength_;
  Document *doc_;
  Model m_;
  bool wrap_;
  unsigned op_ = 0;
  bool pending_ = false;  // the next real change starts a new undoable action
};

TEST(DocumentRandom, ProductGroupSizesA) { Harness(11, 40000).Run(60000 / kScale); }
TEST(DocumentRandom, ProductGroupSizesB) { Harness(12, 20000).Run(50000 / kScale); }
TEST(DocumentRandom, TinyGroups) {
  ScopedStoreLimits limits(4);
  Harness(13, 30000).Run(50000 / kScale);
}
TEST(DocumentRandom, SmallGroups) {
  ScopedStoreLimits limits(16);
  Harness(14, 25000).Run(50000 / kScale);
}
TEST(DocumentRandom, WrappedRows) {
  ScopedStoreLimits limits(16);
  Harness(15, 8000, true).Run(30000 / kScale);
}
// Every insertion (undo and redo putting texts of a store back among them)
// finds its rows in two halves, and rows are renumbered in two halves.
TEST(DocumentRandom, RowsInTwoHalves) {
  ScopedStoreLimits limits(16);
  const u32 saved = g_rowHalvesBytes, renumber = splice::g_renumberHalves;
  g_rowHalvesBytes = 2;
  splice::g_renumberHalves = 2;
  Harness(16, 8000, true).Run(20000 / kScale);
  g_rowHalvesBytes = saved;
  splice::g_renumberHalves = renumber;
}

}  // namespace
