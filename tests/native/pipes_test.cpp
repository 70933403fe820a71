// Text through pipes, as external filters exchange it.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "document/document.h"
#include "document/edit.h"
#include "files/pipes.h"
#include "foundation/fault.h"
#include "tests/support/document_support.h"

namespace {

struct Pipe {
  PlatFile read = nullptr, write = nullptr;
  Pipe() { EXPECT_TRUE(PlatCreatePipe(&read, &write)); }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  void CloseRead() {
    if (read) PlatFileClose(read);
    read = nullptr;
  }
  void CloseWrite() {
    if (write) PlatFileClose(write);
    write = nullptr;
  }
};

class Pipes : public testing::Test {
 protected:
  void SetUp() override {
    doc_ = CreateDocument();
    ASSERT_NE(doc_, nullptr);
  }
  void TearDown() override { DestroyDocument(doc_); }
  std::string Text() { return StoreText(&doc_->store); }
  void SetText(const std::string &text) {
    SetSelection(doc_, 0, doc_->store.length);
    ASSERT_EQ(ReplaceSelectionCounted(doc_, text.data(), static_cast<u32>(text.size()), kReplaceFromBytes, nullptr), 1);
  }
  Document *doc_ = nullptr;
};

// Feeds bytes into the pipe in pieces of the given sizes, then closes it.
void Feed(Pipe *p, const std::string &bytes, size_t step) {
  for (size_t i = 0; i < bytes.size(); i += step) {
    size_t n = std::min(step, bytes.size() - i);
    ASSERT_EQ(PlatPipeWrite(p->write, bytes.data() + i, static_cast<u32>(n)), kPipeOk);
  }
  p->CloseWrite();
}

std::string Drain(Pipe *p) {
  std::string out;
  char buf[65536];
  for (u32 got; PlatPipeRead(p->read, buf, sizeof buf, &got) == kPipeOk;) out.append(buf, got);
  return out;
}

TEST_F(Pipes, ReaderAppendsBytesAsTheyCome) {
  std::string text;
  for (int i = 0; i < 3000; i++) text += "line " + std::to_string(i) + "\r\n";
  Pipe p;
  std::thread feeder(Feed, &p, text, 777);
  EXPECT_EQ(PipeReader(doc_, p.read, false, false, PipeControl{nullptr, nullptr}), 0);
  feeder.join();
  EXPECT_TRUE(Text() == text);
  EXPECT_TRUE(StoreOk(&doc_->store));
}

TEST_F(Pipes, ReaderKeepsUtf8CharactersWhole) {
  // Pieces of 3 bytes cut most of the two- and three-byte characters.
  std::string utf8, ansi;
  for (int i = 0; i < 2000; i++) {
    utf8 += "caf\xC3\xA9 \xE2\x82\xAC ";
    ansi += "caf\xE9 \x80 ";
  }
  Pipe p;
  std::thread feeder(Feed, &p, utf8, 3);
  EXPECT_EQ(PipeReader(doc_, p.read, true, false, PipeControl{nullptr, nullptr}), 0);
  feeder.join();
  EXPECT_TRUE(Text() == ansi);
}

TEST_F(Pipes, ReaderReportsCharactersWithoutAnAnsiForm) {
  {
    Pipe p;
    std::thread feeder(Feed, &p, std::string("ok \xD0\x94 more"), 100);
    EXPECT_EQ(PipeReader(doc_, p.read, true, false, PipeControl{nullptr, nullptr}), 1);
    feeder.join();
    EXPECT_EQ(Text(), "ok ? more");
  }
  {
    // Asked to stop on it: the pipe is left unread after that block.
    Pipe p;
    std::thread feeder(Feed, &p, std::string("\xD0\x94"), 100);
    EXPECT_EQ(PipeReader(doc_, p.read, true, true, PipeControl{nullptr, nullptr}), 1);
    feeder.join();
  }
}

TEST_F(Pipes, ReaderStopsOnCancelAndCountsFailures) {
  Pipe p;
  volatile u32 cancel = 1;
  u32 errors = 0;
  EXPECT_EQ(PipeReader(doc_, p.read, false, false, PipeControl{&cancel, &errors}), 0);
  EXPECT_EQ(doc_->store.length, 0u);
  FaultInjector fi = {};
  FaultPlan(&fi, kFaultRead, 1, false);
  ScopedFaultInjector scope(&fi);
  EXPECT_EQ(PipeReader(doc_, p.read, false, false, PipeControl{nullptr, &errors}), -2);
  EXPECT_EQ(errors, 1u);
}

TEST_F(Pipes, WriterConvertsNewlinesAndEncoding) {
  SetText("one\ntwo\r\nthree\rcaf\xE9");
  struct {
    u32 flags;
    bool utf8;
    std::string expected;
  } cases[] = {
      {0, false, "one\ntwo\r\nthree\rcaf\xE9"},
      {3, false, "one\r\ntwo\r\nthree\r\ncaf\xE9"},
      {2, true, "one\ntwo\nthree\ncaf\xC3\xA9"},
  };
  for (auto c : cases) {
    Pipe p;
    std::string got;
    std::thread drain([&] { got = Drain(&p); });
    EXPECT_EQ(PipeWriter(doc_, p.write, c.utf8, 0, doc_->store.length, c.flags, false, PipeControl{nullptr, nullptr}), 0);
    p.CloseWrite();
    drain.join();
    EXPECT_EQ(got, c.expected) << c.flags;
  }
}

TEST_F(Pipes, WriterPiecesKeepNewlinesWhole) {
  // More than a megabyte of lines, shifted so that pieces end before, inside
  // and after CR LF pairs: each newline goes out once.
  for (size_t shift = 0; shift < 12; shift++) {
    for (u32 flags : {2u, 3u}) {
      std::string text(shift, 'x'), expected(shift, 'x');
      for (int i = 0; text.size() < 2500000; i++) {
        text += "row " + std::to_string(i) + "\r\n";
        expected += "row " + std::to_string(i) + (flags == 2 ? "\n" : "\r\n");
      }
      SetText(text);
      Pipe p;
      std::string got;
      std::thread drain([&] { got = Drain(&p); });
      EXPECT_EQ(PipeWriter(doc_, p.write, false, 0, doc_->store.length, flags, false, PipeControl{nullptr, nullptr}), 0);
      p.CloseWrite();
      drain.join();
      ASSERT_TRUE(got == expected) << got.size() << " vs " << expected.size() << ", shift " << shift;
    }
  }
}

TEST_F(Pipes, WriterAndAClosedPipe) {
  SetText("nobody reads this");
  u32 errors = 0;
  {
    Pipe p;
    p.CloseRead();
    EXPECT_EQ(PipeWriter(doc_, p.write, false, 0, doc_->store.length, 0, true, PipeControl{nullptr, &errors}), 0);
    EXPECT_EQ(errors, 0u);
  }
  {
    Pipe p;
    p.CloseRead();
    EXPECT_EQ(PipeWriter(doc_, p.write, false, 0, doc_->store.length, 0, false, PipeControl{nullptr, &errors}), -2);
    EXPECT_EQ(errors, 1u);
  }
}

}  // namespace
