// A full check of a text store's invariants against its text, for tests,
// fuzzers and debugging. It reads everything (linear in the text), allocates
// nothing, and changes nothing.
#pragma once

#include "document/text_store.h"

struct StoreCheckOptions {
  // The real size of a heap block, or null to skip the buffer-size checks.
  size_t (*bufferSize)(const void *block);
  // Buffers must be exactly their nominal size (false where a shrinking
  // reallocation may have failed, as in fault tests).
  bool exactBuffers;
  // Rows may end by wrapping (word wrap); otherwise every row but the last
  // ends with a newline.
  bool allowSoftRows;
};

// True when every invariant holds; otherwise false with a description of the
// first violation in why (capacity whyCap, may be 0).
bool CheckStore(const TextStore *store, const StoreCheckOptions &options, char *why, size_t whyCap);
