// Running a tool of the table on a test document: a host that runs the job
// inline (or on the worker) and records messages, and a loop that fails the
// k-th allocation of a run (once, and from k on) and checks that a failed
// run changed nothing.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/undo.h"
#include "foundation/fault.h"
#include "tests/support/document_support.h"
#include "tools/tool_table.h"

// Where the runner pulls back a selection [a, b) of the text that ends
// with a newline (not before a).
inline size_t PulledBack(const std::string &t, size_t a, size_t b) {
  size_t to = b;
  if (b > 0 && t[b - 1] == '\r' && b < t.size() && t[b] == '\n') {
    to = b - 1;
  } else if (b > 0 && (t[b - 1] == '\n' || t[b - 1] == '\r')) {
    to = (t[b - 1] == '\n' && b >= 2 && t[b - 2] == '\r') ? b - 2 : b - 1;
  }
  return to < a ? a : to;
}

// A text's lines with their newlines (CR LF, CR or LF); the last has none.
struct TextLine {
  std::string text, newline;
};
inline std::vector<TextLine> SplitTextLines(const std::string &t) {
  std::vector<TextLine> lines(1);
  for (size_t i = 0; i < t.size(); i++) {
    if (t[i] == '\r' || t[i] == '\n') {
      lines.back().newline = t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n' ? "\r\n" : std::string(1, t[i]);
      i += lines.back().newline.size() - 1;
      lines.push_back({});
    } else {
      lines.back().text += t[i];
    }
  }
  return lines;
}

struct ToolTestHost {
  std::string messages;
  int shown = 0;
  bool thread = false;
  bool cancel = false;
  Document *doc = nullptr;
  ToolHost Make(Document *d) {
    doc = d;
    ToolHost h = {};
    h.context = this;
    h.message = [](void *c, const char *text) { static_cast<ToolTestHost *>(c)->messages += std::string(text) + "|"; };
    h.selectionShown = [](void *c, u32) { static_cast<ToolTestHost *>(c)->shown++; };
    h.runLong = [](void *c, LongOperation *op, u32 flags) {
      ToolTestHost *host = static_cast<ToolTestHost *>(c);
      if (host->cancel) op->cancel.store(1);
      LongOperationHooks hooks = {};
      hooks.wait = [](void *, PlatThread, LongOperation *) {};
      return RunLong(host->doc, op, host->thread ? flags : flags | kRunInline, hooks);
    };
    return h;
  }
};

// For its lifetime, tools that read the document take `chunk` bytes of lines
// at a time and cut inputs of `halves` bytes or more in two.
struct ScopedToolStreaming {
  const u32 chunk = g_toolInputChunk, halves = g_toolHalves;
  ScopedToolStreaming(u32 newChunk, u32 newHalves) {
    g_toolInputChunk = newChunk;
    g_toolHalves = newHalves;
  }
  ~ScopedToolStreaming() {
    g_toolInputChunk = chunk;
    g_toolHalves = halves;
  }
};

// Runs tool `id` over [anchor, caret) of the document; the result code.
inline int RunTableTool(TestDocument &d, int id, unsigned anchor, unsigned caret, ToolTestHost *host = nullptr) {
  ToolTestHost own;
  if (!host) host = &own;
  d.Select(anchor, caret);
  ToolDescriptor tool;
  EXPECT_TRUE(DescribeTool(id, &tool)) << id;
  return RunTool(d, &tool, host->Make(d), ToolRunSettings{2, 0, 0, 0});
}

// Allocation k failing once, and from k on, for every k until a run sees no
// failure: a run that fails leaves the text, undo steps and modified flag as
// they were; one that succeeds gives `expected` (when not null) and its Undo
// gives the text back. A cancelled run changes nothing either.
inline void ExpectFaultsAndCancelChangeNothing(int id, const std::string &text, u32 newlineType,
                                               const char *expected) {
  for (int persistent = 0; persistent < 2; persistent++) {
    for (u32 n = 1;; n++) {
      TestDocument d;
      d.Load(text);
      d->newlineType = newlineType;
      FaultInjector fi;
      FaultReset(&fi);
      FaultPlan(&fi, kFaultAlloc, n, persistent != 0);
      int r;
      {
        ScopedFaultInjector scope(&fi);
        r = RunTableTool(d, id, 0, static_cast<unsigned>(text.size()));
      }
      SCOPED_TRACE(testing::Message() << id << " allocation " << n << " persistent " << persistent);
      if (r == 0) {
        if (expected) {
          EXPECT_EQ(d.Text(), expected);
        }
        EXPECT_TRUE(UndoRedo(d, kUndo));
      } else {
        EXPECT_TRUE(r == kResultOutOfMemory || r == kResultReported) << r;
        EXPECT_EQ(d->undo.count, 0u);
        EXPECT_EQ(d->modified, 0u);
      }
      EXPECT_EQ(d.Text(), text);
      if (fi.fired[kFaultAlloc] == 0 || ::testing::Test::HasFailure()) break;
    }
  }
  TestDocument d;
  d.Load(text);
  ToolTestHost host;
  host.cancel = true;
  EXPECT_EQ(RunTableTool(d, id, 0, static_cast<unsigned>(text.size()), &host), kResultCancelled) << id;
  EXPECT_EQ(d.Text(), text);
}
