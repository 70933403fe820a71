// Helpers for the document engine's tests: the text of a store as a string,
// invariant checks that report through GoogleTest, seeded random texts.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "document/store_check.h"
#include "document/text_store.h"

// The real size of a heap block (0 where the platform cannot say).
size_t HeapBlockSize(const void *block);

// The whole text of a store.
std::string StoreText(const TextStore *store);

// Checks every invariant; exactBuffers is false where a shrinking reallocation
// may have been refused (fault tests).
::testing::AssertionResult StoreOk(const TextStore *store, bool exactBuffers = true, bool softRows = false);

// Row boundaries by a fresh scan of the text: (text length, newline length,
// newline type) per hard line.
struct ScannedRow {
  unsigned textLength, newlineLength, newlineType;
};
std::vector<ScannedRow> ScanRows(const std::string &text);

// Deterministic pseudo-random numbers for tests (xorshift64*).
class TestRandom {
 public:
  explicit TestRandom(unsigned long long seed) : s_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
  unsigned long long Next() {
    s_ ^= s_ >> 12;
    s_ ^= s_ << 25;
    s_ ^= s_ >> 27;
    return s_ * 2685821657736338717ull;
  }
  // 0 .. n - 1 (n > 0).
  unsigned Below(unsigned n) { return static_cast<unsigned>(Next() % n); }
  bool OneIn(unsigned n) { return Below(n) == 0; }

 private:
  unsigned long long s_;
};

// A text of n bytes biased toward newlines (CR, LF, CR LF) and lines of
// `lineLength` bytes on average.
std::string RandomText(TestRandom &rng, size_t n, unsigned lineLength = 20);

// Store set-up for tests that want small groups: shrinks the group limits for
// the lifetime of the object.
class ScopedStoreLimits {
 public:
  explicit ScopedStoreLimits(unsigned groupMax) { SetStoreLimitsForTesting(groupMax); }
  ~ScopedStoreLimits() { SetStoreLimitsForTesting(0); }
};

// ---- documents ----------------------------------------------------------------------

struct Document;

// The document's text.
std::string DocText(const Document *doc);
// The store's invariants plus the journals': step arrays, compact texts (exact
// first and last buffers), saved indices within 0 .. count or -1, the newest
// undo step inside the text.
::testing::AssertionResult DocOk(const Document *doc, bool exactBuffers = true);
// The ranges of a set as (start, length, payload).
struct RangeTriple {
  unsigned start, length, payload;
  bool operator==(const RangeTriple &o) const { return start == o.start && length == o.length && payload == o.payload; }
};
std::vector<RangeTriple> SetRanges(const Document *doc, unsigned set);
// Steps of a journal that start a group.
unsigned GroupStarts(const Document *doc, bool redo);

// A document for a test, with its notifications collected as letters
// (C change, U update, E out of memory, O occurrences, S saved state, R
// repaint, L re-layout).
class TestDocument {
 public:
  TestDocument();
  ~TestDocument();
  TestDocument(const TestDocument &) = delete;
  TestDocument &operator=(const TestDocument &) = delete;
  Document *operator->() const { return doc; }
  operator Document *() const { return doc; }

  // Puts text in without recording it.
  void Load(const std::string &text);
  std::string Text() const { return DocText(doc); }
  void Select(unsigned anchor, unsigned caret);
  // Replace selection with counted text; returns its result.
  int Replace(const std::string &text, unsigned flags = 0, int *outCount = nullptr);
  // Types the text one character at a time at the caret.
  void Type(const std::string &text);
  // Backspace: deletes the character before the caret.
  void Backspace(int times = 1);

  Document *doc;
  std::string events;
  int relayoutResult = 0;
  unsigned lastRepaintFirst = 0, lastRepaintLast = 0;
  bool lastRepaintToEnd = false;
};
