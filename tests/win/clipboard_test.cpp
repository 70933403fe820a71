// The clipboard operation in the editor harness: both formats written,
// pasting the private block or the plain text, the Appends, Swap, CASel and
// MiPaste; hostile blocks another program may leave; a fault at every
// allocation, lock and hand-over of the clipboard layer.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "document/undo.h"
#include "editor/clipboard.h"
#include "foundation/fault.h"
#include "resources/resource.h"
#include "tests/win/editor_harness.h"
#include "tests/win/gui_helpers.h"

namespace {

std::string Block(UINT format) {
  std::string out;
  if (!OpenClipboardWhenFree()) return "<not open>";
  if (HANDLE h = GetClipboardData(format)) {
    const char *p = static_cast<const char *>(GlobalLock(h));
    if (p) out.assign(p, GlobalSize(h));
    GlobalUnlock(h);
  } else {
    out = "<none>";
  }
  CloseClipboard();
  return out;
}

// Sets the clipboard to exactly these blocks.
void PutBlocks(const std::vector<std::pair<UINT, std::string>> &blocks) {
  ASSERT_TRUE(OpenClipboardWhenFree());
  EmptyClipboard();
  for (const auto &b : blocks) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, b.second.size());
    memcpy(GlobalLock(h), b.second.data(), b.second.size());
    GlobalUnlock(h);
    SetClipboardData(b.first, h);
  }
  CloseClipboard();
}

std::string Exact(const std::string &text) {
  const u32 words[2] = {static_cast<u32>(text.size()), 0};
  return std::string(reinterpret_cast<const char *>(words), 8) + text + std::string(1, '\0');
}
std::string Plain(const std::string &text) { return text + std::string(1, '\0'); }
// The clipboard's blocks as written: the plain text up to its zero byte
// (the block may be longer), the private block up to its zero byte.
std::string PlainBlock() {
  const std::string b = Block(CF_TEXT);
  return b.find('\0') == std::string::npos ? "<no zero byte>" : b.substr(0, b.find('\0') + 1);
}
std::string ExactBlock() {
  const std::string b = Block(PrivateClipboardFormat());
  u32 n = 0;
  if (b.size() >= 8) memcpy(&n, b.data(), 4);
  return b.size() >= 9 + static_cast<size_t>(n) ? b.substr(0, 9 + n) : "<short: " + b + ">";
}

class ClipboardTest : public EditorTest {
 protected:
  LRESULT Run(int id) { return SendMessageA(editor_, WM_COMMAND, static_cast<WPARAM>(id), 0); }
  UINT Private() { return PrivateClipboardFormat(); }
  size_t OutOfMemoryNotices() {
    size_t n = 0;
    for (WORD code : CommandCodes()) n += code == kEditorOutOfMemory;
    return n;
  }
  void TearDown() override {
    g_clipboardApi = kSystemClipboardApi;
    EditorTest::TearDown();
  }
};

TEST_F(ClipboardTest, BothFormatsWrittenAndThePrivateOnePastedExactly) {
  const std::string text("a\0b\rc\nd\r\ne", 10);
  SetText(text);
  Select(0, static_cast<u32>(text.size()));
  EXPECT_EQ(Run(IDM_EDIT_COPY), 0);
  EXPECT_EQ(PlainBlock(), Plain("a b\r\nc\r\nd\r\ne"));
  EXPECT_EQ(ExactBlock(), Exact(text));
  SetText("[]");
  Select(1, 1);
  EXPECT_EQ(Run(IDM_EDIT_PASTE), 0);
  EXPECT_EQ(Text(), "[" + text + "]");
  EXPECT_EQ(doc()->caret.position, 1 + text.size());
  SendMessageA(editor_, WM_UNDO, 0, 0);
  EXPECT_EQ(Text(), "[]");
  // WM_CUT and WM_PASTE are the same operation; a plain-text clipboard is
  // pasted up to its zero byte.
  SetText("cut me");
  Select(0, 4);
  EXPECT_EQ(SendMessageA(editor_, WM_CUT, 0, 0), 0);
  EXPECT_EQ(Text(), "me");
  EXPECT_EQ(ExactBlock(), Exact("cut "));
  PutBlocks({{CF_TEXT, std::string("x\r\ny\0z", 6)}});
  EXPECT_EQ(SendMessageA(editor_, WM_PASTE, 0, 0), 0);
  EXPECT_EQ(Text(), "x\r\nyme");
}

TEST_F(ClipboardTest, AppendsSwapAutoSelectionAndMimicCase) {
  SetText("one two three");
  PutBlocks({{CF_TEXT, Plain("old")}});  // no private block: the plain text stands in
  Select(0, 3);
  Run(IDM_EDIT_COPY_APPEND);
  Select(4, 7);
  Run(IDM_EDIT_CUT_APPEND);
  EXPECT_EQ(Text(), "one  three");
  EXPECT_EQ(PlainBlock(), Plain("oldonetwo"));
  EXPECT_EQ(ExactBlock(), Exact("oldonetwo"));
  EXPECT_EQ(doc()->undo.count, 1u) << "the Cut Append deleted as one step";

  // Swap with an empty clipboard deletes nothing and keeps the selection.
  ASSERT_TRUE(OpenClipboardWhenFree());
  EmptyClipboard();
  CloseClipboard();
  Select(0, 3);
  EXPECT_EQ(Run(IDM_EDIT_SWAP), 0);
  EXPECT_EQ(Text(), "one  three");
  EXPECT_EQ(doc()->selStart->position, 0u);
  EXPECT_EQ(doc()->selEnd->position, 3u);
  EXPECT_EQ(ExactBlock(), Exact("one"));
  Select(5, 10);
  Run(IDM_EDIT_SWAP);
  EXPECT_EQ(Text(), "one  one");
  EXPECT_EQ(ExactBlock(), Exact("three"));

  // CASel 2 copies the caret's line and leaves it selected; 0 copies nothing.
  SetText("l1\r\nl2\r\nl3");
  g_settings.edit.CASel = 2;
  Select(5, 5);
  Run(IDM_EDIT_COPY);
  EXPECT_EQ(ExactBlock(), Exact("l2\r\n"));
  EXPECT_EQ(doc()->selStart->position, 4u);
  EXPECT_EQ(doc()->selEnd->position, 8u);
  g_settings.edit.CASel = 0;
  Select(0, 0);
  Run(IDM_EDIT_COPY);
  EXPECT_EQ(ExactBlock(), Exact("l2\r\n"));

  g_settings.edit.MiPaste = 1;
  PutBlocks({{CF_TEXT, Plain("abc")}});
  SetText("x XYZ");
  Select(2, 5);
  Run(IDM_EDIT_PASTE);
  EXPECT_EQ(Text(), "x ABC");
}

// Blocks as another program may leave them: nothing is read past a block,
// an invalid private block gives way to the plain text.
TEST_F(ClipboardTest, HostileBlocks) {
  const std::string plain = Plain("plain");
  auto header = [](u32 length, u32 second) {
    const u32 words[2] = {length, second};
    return std::string(reinterpret_cast<const char *>(words), 8);
  };
  const struct {
    const char *name;
    std::vector<std::pair<UINT, std::string>> blocks;
    std::string pasted;
  } kCases[] = {
      {"private under 8 bytes", {{0, "\x03\0\0\0"}, {CF_TEXT, plain}}, "plain"},
      {"second word not 0", {{0, header(3, 1) + "abc"}, {CF_TEXT, plain}}, "plain"},
      {"negative length", {{0, header(0x80000000u, 0) + "abc"}, {CF_TEXT, plain}}, "plain"},
      {"length past the block", {{0, header(100, 0) + "abc"}, {CF_TEXT, plain}}, "abc"},
      {"empty private block", {{0, header(0, 0)}, {CF_TEXT, plain}}, ""},
      {"plain text empty", {{CF_TEXT, std::string(1, '\0')}}, ""},
  };
  for (const auto &c : kCases) {
    std::vector<std::pair<UINT, std::string>> blocks = c.blocks;
    for (auto &b : blocks)
      if (b.first == 0) b.first = Private();
    PutBlocks(blocks);
    SetText("");
    EXPECT_EQ(Run(IDM_EDIT_PASTE), 0) << c.name;
    EXPECT_EQ(Text(), c.pasted) << c.name;
    EXPECT_EQ(OutOfMemoryNotices(), 0u) << c.name;
  }
}

// Every call of the clipboard layer that can fail, failing in turn, for each
// operation: the document, its undo depth and selection are as before, and
// the parent hears of it once.
int g_callsLeft;
bool Fails() { return --g_callsLeft == 0; }
// The layer's calls with the system's calling convention (which a lambda
// cannot take on the 32-bit build), each failing in its turn.
BOOL WINAPI FailingOpen(HWND h) { return Fails() ? FALSE : kSystemClipboardApi.open(h); }
HGLOBAL WINAPI FailingAlloc(UINT f, SIZE_T n) { return Fails() ? nullptr : kSystemClipboardApi.alloc(f, n); }
LPVOID WINAPI FailingLock(HGLOBAL h) { return Fails() ? nullptr : kSystemClipboardApi.lock(h); }
HANDLE WINAPI FailingSet(UINT f, HANDLE h) { return Fails() ? nullptr : kSystemClipboardApi.set(f, h); }

TEST_F(ClipboardTest, EveryFailureLeavesTheDocumentAndIsReportedOnce) {
  ClipboardApi api = kSystemClipboardApi;
  api.open = FailingOpen;
  api.alloc = FailingAlloc;
  api.lock = FailingLock;
  api.set = FailingSet;
  const std::string text("ab\0de\r\nfg", 9);
  for (int id : {IDM_EDIT_COPY, IDM_EDIT_CUT, IDM_EDIT_COPY_APPEND, IDM_EDIT_CUT_APPEND, IDM_EDIT_PASTE,
                 IDM_EDIT_SWAP}) {
    for (int k = 1;; k++) {
      PutBlocks({{CF_TEXT, Plain("old")}, {Private(), Exact("old")}});
      SetText(text);
      Select(2, 7);
      const u32 steps = doc()->undo.count;
      g_callsLeft = k;
      g_clipboardApi = api;
      const LRESULT r = Run(id);
      g_clipboardApi = kSystemClipboardApi;
      if (g_callsLeft > 0) {
        EXPECT_EQ(r, 0) << id << " without a fault";
        break;
      }
      EXPECT_EQ(r, 3) << id << " fault " << k;
      EXPECT_EQ(Text(), text) << id << " fault " << k;
      EXPECT_EQ(doc()->undo.count, steps) << id << " fault " << k;
      EXPECT_EQ(doc()->anchor.position, 2u);
      EXPECT_EQ(doc()->caret.position, 7u);
      EXPECT_EQ(OutOfMemoryNotices(), 1u) << id << " fault " << k;
      ASSERT_LT(k, 20);
    }
  }
  // Memory failing in the paste edit: its own report only.
  FaultInjector fi = {};
  for (u32 k = 1;; k++) {
    PutBlocks({{CF_TEXT, Plain(std::string(100000, 'x'))}});
    SetText(text);
    Select(2, 7);
    FaultReset(&fi);
    FaultPlan(&fi, kFaultAlloc, k, false);
    LRESULT r;
    {
      ScopedFaultInjector scope(&fi);
      r = Run(IDM_EDIT_PASTE);
    }
    if (!fi.fired[kFaultAlloc]) break;
    // Pasted (a failed layout of the new rows is reported, the text stays
    // in), or not at all.
    if (r == 0) {
      EXPECT_EQ(Text().size(), text.size() - 5 + 100000) << "fault " << k;
    } else {
      EXPECT_EQ(r, 3);
      EXPECT_EQ(Text(), text) << "fault " << k;
      EXPECT_EQ(doc()->undo.count, 0u) << "fault " << k;
      EXPECT_EQ(doc()->redo.count, 0u) << "fault " << k;
    }
    EXPECT_EQ(OutOfMemoryNotices(), 1u) << "fault " << k;
    ASSERT_LT(k, 200u);
  }
}

}  // namespace
