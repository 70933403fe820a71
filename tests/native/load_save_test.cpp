// Loading files into the document and saving them back: every encoding,
// newline type and mark round trip byte for byte, the questions come in
// their order, and no failure ever damages the file on disk.
#include <gtest/gtest.h>

#include <algorithm>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <string>
#include <vector>

#include "config/config_state.h"
#include "document/document.h"
#include "document/edit.h"
#include "files/encoding.h"
#include "files/load.h"
#include "files/save.h"
#include "files/stream_load.h"
#include "foundation/fault.h"
#include "foundation/platform.h"
#include "tests/support/document_support.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"

namespace {

// Records what loading and saving tell the window.
struct Window {
  std::vector<int> phases;
  std::vector<int> messages;
  int dates = 0;
  int titles = 0;
  std::string saveName;  // what the Save dialog answers; empty: Cancel

  FileHooks Hooks() {
    FileHooks h = {};
    h.context = this;
    h.phase = [](void *c, int slot) { static_cast<Window *>(c)->phases.push_back(slot); };
    h.insertDateTime = [](void *c, bool) { static_cast<Window *>(c)->dates++; };
    h.titleChanged = [](void *c) { static_cast<Window *>(c)->titles++; };
    h.statusMessage = [](void *c, int slot) { static_cast<Window *>(c)->messages.push_back(slot); };
    h.chooseSaveName = [](void *c, char *path) {
      Window *w = static_cast<Window *>(c);
      if (w->saveName.empty()) return false;
      snprintf(path, kPathChars, "%s", w->saveName.c_str());
      return true;
    };
    return h;
  }
};

class LoadSave : public testing::Test {
 protected:
  void SetUp() override {
    SetDefaultSettings(&g_settings, true);
    g_settings.file.Limit = 0;
    BuildCodePageList();
    doc_ = CreateDocument();
    ASSERT_NE(doc_, nullptr);
  }
  void TearDown() override { DestroyDocument(doc_); }

  int Open(const std::string &path, u32 encoding = kDetectEncoding, u32 cpIndex = 0, u32 flags = kOpenAsked) {
    OpenRequest request = {path.c_str(), encoding, cpIndex, flags};
    FileHooks hooks = window_.Hooks();
    return OpenFile(doc_, request, hooks);
  }
  int Save(const std::string &path, u32 encoding = kDocumentEncoding, u32 cpIndex = 0, u32 flags = 0) {
    return SaveAs(doc_, path.c_str(), encoding, cpIndex, flags, window_.Hooks());
  }
  std::string Text() { return StoreText(&doc_->store); }
  u32 CodePageIndex(u32 cp) {
    for (u32 i = 0; i < CodePageCount(); i++)
      if (CodePageNumber(i) == cp) return i;
    return 0xFFFFFFFF;
  }

  TempFolder dir_;
  Document *doc_ = nullptr;
  Window window_;
};

std::string WithNewlines(const std::string &text, const char *nl) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string(nl) : std::string(1, c);
  return out;
}

std::string Utf16(const std::string &ansi, bool bigEndian) {
  std::string out;
  for (unsigned char c : ansi) {
    unsigned unit = c == 0xE9 ? 0xE9 : c;  // the text keeps to Latin-1
    std::string pair = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    if (bigEndian) std::swap(pair[0], pair[1]);
    out += pair;
  }
  return out;
}

std::string Utf8(const std::string &ansi) {
  std::string out;
  for (unsigned char c : ansi) out += c == 0xE9 ? std::string("\xC3\xA9") : std::string(1, static_cast<char>(c));
  return out;
}

TEST_F(LoadSave, EveryEncodingNewlineAndMarkRoundTrips) {
  const std::string ansi = "Caf\xE9 au lait\nsecond line\n\nlast";
  struct Newline {
    const char *bytes;
    u32 type;
  } newlines[] = {{"\r\n", kNewlineWin}, {"\n", kNewlineUnix}, {"\r", kNewlineMac}};
  struct Form {
    u32 encoding;  // forced, or detected when kDetectEncoding
    const char *codePage;
    std::string (*bytes)(const std::string &);
    u32 expectedId;
    bool bom;
  } forms[] = {
      {kDetectEncoding, nullptr, [](const std::string &s) { return s; }, kEncodingAnsi, false},
      {kDetectEncoding, nullptr, [](const std::string &s) { return Utf8(s); }, kEncodingUtf8, false},
      {kDetectEncoding, nullptr, [](const std::string &s) { return "\xEF\xBB\xBF" + Utf8(s); }, kEncodingUtf8, true},
      {kDetectEncoding, nullptr, [](const std::string &s) { return "\xFF\xFE" + Utf16(s, false); }, kEncodingUnicode, true},
      {kDetectEncoding, nullptr, [](const std::string &s) { return "\xFE\xFF" + Utf16(s, true); },
       kEncodingUnicodeBigEndian, true},
      {kEncodingUnicode, nullptr, [](const std::string &s) { return Utf16(s, false); }, kEncodingUnicode, false},
      {kEncodingCodePage, "850",
       [](const std::string &s) {
         std::string out;
         for (unsigned char c : s) out += c == 0xE9 ? '\x82' : static_cast<char>(c);
         return out;
       },
       kEncodingCodePage, false},
      {kEncodingCodePage, "1250", [](const std::string &s) { return s; }, kEncodingCodePage, false},
  };
  std::string path = dir_.File("round.txt");
  for (const Form &form : forms) {
    u32 cp = form.codePage ? CodePageIndex(static_cast<u32>(atoi(form.codePage))) : 0;
    for (const Newline &nl : newlines) {
      std::string bytes = form.bytes(WithNewlines(ansi, nl.bytes));
      ASSERT_TRUE(WriteBytes(path, bytes));
      ASSERT_EQ(Open(path, form.encoding, cp), 0) << form.expectedId << " " << nl.type;
      EXPECT_EQ(doc_->encoding, form.expectedId);
      EXPECT_EQ(doc_->bomInEffect, form.bom ? 1 : 0);
      EXPECT_EQ(doc_->newlineType, nl.type);
      EXPECT_EQ(Text(), WithNewlines(ansi, nl.bytes));
      EXPECT_EQ(doc_->modified, 0u);
      ASSERT_EQ(Save(path), 0);
      EXPECT_EQ(ReadBytes(path), bytes) << "encoding " << form.expectedId << " newline " << nl.type;
    }
  }
}

TEST_F(LoadSave, MixedNewlinesAreKeptAndWinAppliesOnSave) {
  std::string path = dir_.File("mixed.txt");
  ASSERT_TRUE(WriteBytes(path, "a\r\nb\nc\rd"));
  ASSERT_EQ(Open(path), 0);
  EXPECT_EQ(doc_->newlineType, kNewlineMixed);
  ASSERT_EQ(Save(path), 0);
  EXPECT_EQ(ReadBytes(path), "a\r\nb\nc\rd");
  doc_->newlineType = kNewlineWin;
  ASSERT_EQ(Save(path), 0);
  EXPECT_EQ(ReadBytes(path), "a\r\nb\r\nc\r\nd");
  // With mixed newlines not allowed, the default type is taken.
  g_settings.file.NoMixNl = 1;
  g_settings.file.CRLF = kNewlineUnix;
  ASSERT_TRUE(WriteBytes(path, "a\r\nb\nc"));
  ASSERT_EQ(Open(path), 0);
  EXPECT_EQ(doc_->newlineType, kNewlineUnix);
}

TEST_F(LoadSave, GrowingTheConversionBufferShowsPaging) {
  std::string path = dir_.File("grow.txt");
  ASSERT_TRUE(WriteBytes(path, std::string(5000, '\xE9')));  // each becomes two UTF-8 bytes
  ASSERT_EQ(Open(path, kEncodingAnsi), 0);
  g_settings.file.SStream = 0;  // the whole text converted in one buffer
  window_.phases.clear();
  ASSERT_EQ(Save(path, kEncodingUtf8), 0);
  const std::vector<int> &p = window_.phases;
  auto paging = std::find(p.begin(), p.end(), static_cast<int>(TXT_PAGING));
  ASSERT_NE(paging, p.end()) << "Paging.. while the buffer grows";
  ASSERT_NE(paging + 1, p.end());
  EXPECT_EQ(paging[1], static_cast<int>(TXT_CONVERTING)) << "then the conversion goes on";
  EXPECT_EQ(ReadBytes(path).size(), 10000u) << "a save naming its encoding writes no mark";
}

TEST_F(LoadSave, MissingFilesAreCreatedOnlyWhenWanted) {
  std::string path = dir_.File("new.txt");
  {
    ScriptedAnswerer answers;
    answers.Expect("Could not find file " + path + ".\nDo you want to create a new file?", kAskYesNo, kAnswerNo)
        .Expect("Could not read file " + path + "!", kAskWarning, kAnswerOk);
    EXPECT_EQ(Open(path), kResultReported);
  }
  EXPECT_FALSE(PlatFileExists(path.c_str()));
  EXPECT_STREQ(doc_->filePath, "");
  {
    ScriptedAnswerer answers;
    answers.Expect("Could not find file " + path + ".\nDo you want to create a new file?", kAskYesNo, kAnswerYes);
    EXPECT_EQ(Open(path), 0);
  }
  EXPECT_TRUE(PlatFileExists(path.c_str()));
  EXPECT_EQ(std::string(doc_->filePath), path);
  EXPECT_STREQ(doc_->fileTitle, "new.txt");
  EXPECT_EQ(doc_->store.length, 0u);
  EXPECT_EQ(g_settings.lists.recent[9], path);
  std::string quiet = dir_.File("quiet.txt");
  EXPECT_EQ(Open(quiet, kDetectEncoding, 0, kOpenAsked | kOpenCreate), 0);
  EXPECT_TRUE(PlatFileExists(quiet.c_str()));
}

TEST_F(LoadSave, DiaryFilesGetADateLine) {
  std::string path = dir_.File("diary.txt");
  ASSERT_TRUE(WriteBytes(path, ".LOG\r\nfirst entry\r\n"));
  ASSERT_EQ(Open(path), 0);
  EXPECT_EQ(window_.dates, 1);
  ASSERT_TRUE(WriteBytes(path, ".log\r\nnot a diary\r\n"));
  ASSERT_EQ(Open(path), 0);
  EXPECT_EQ(window_.dates, 1);
}

TEST_F(LoadSave, EmptyAndBinaryFiles) {
  g_settings.file.CRLF = kNewlineMac;
  std::string path = dir_.File("empty.txt");
  ASSERT_TRUE(WriteBytes(path, ""));
  ASSERT_EQ(Open(path), 0);
  EXPECT_EQ(doc_->newlineType, kNewlineMac);
  EXPECT_EQ(std::string(doc_->filePath), path);
  ASSERT_TRUE(WriteBytes(path, std::string("bin\0ary\n", 8)));
  {
    ScriptedAnswerer answers;
    answers.Expect("Warning: Loaded file is binary. Edit with care.", kAskWarning, kAnswerOk);
    ASSERT_EQ(Open(path), 0);
  }
  EXPECT_EQ(Text(), std::string("bin\0ary\n", 8));
  g_settings.file.WarnBin = 0;
  ASSERT_EQ(Open(path), 0);
}

TEST_F(LoadSave, DecliningLeavesAnUntitledDocument) {
  std::string path = dir_.File("big.txt");
  ASSERT_TRUE(WriteBytes(path, "0123456789"));
  g_settings.file.Limit = 10;
  {
    ScriptedAnswerer answers;
    answers.Expect("File " + path + " is too big and might take some time to open. Continue?", kAskYesNo, kAnswerNo);
    EXPECT_EQ(Open(path), kResultCancelled);
  }
  // Never an empty document carrying the name of a file it was not read from.
  EXPECT_STREQ(doc_->filePath, "");
  g_settings.file.Limit = 0;
  std::string odd = dir_.File("odd.txt");
  ASSERT_TRUE(WriteBytes(odd, std::string("\xFF\xFEh\0i", 5)));
  {
    ScriptedAnswerer answers;
    answers.Expect("File " + odd + " has an odd number of bytes. Unicode files are expected to have even number "
                   "of bytes. Continue?",
                   kAskYesNo, kAnswerYes);
    ASSERT_EQ(Open(odd), 0);
  }
  EXPECT_EQ(Text(), "h");
}

TEST_F(LoadSave, IncludeKeepsTheDocumentsFileState) {
  std::string main = dir_.File("main.txt"), part = dir_.File("part.txt");
  ASSERT_TRUE(WriteBytes(main, "one\ntwo\n"));
  ASSERT_TRUE(WriteBytes(part, "\xEF\xBB\xBFinserted\r\n"));
  ASSERT_EQ(Open(main), 0);
  SetSelection(doc_, 4, 4);
  ASSERT_EQ(Open(part, kDetectEncoding, 0, kOpenInclude), 0);
  EXPECT_EQ(Text(), "one\ninserted\r\ntwo\n");
  EXPECT_EQ(std::string(doc_->filePath), main);
  EXPECT_EQ(doc_->encoding, kEncodingAnsi);
  EXPECT_EQ(doc_->newlineType, kNewlineUnix);
  EXPECT_EQ(doc_->modified, 1u);
}

TEST_F(LoadSave, RevertAsksAndKeepsTheCaret) {
  std::string path = dir_.File("revert.txt");
  ASSERT_TRUE(WriteBytes(path, "hello world\n"));
  ASSERT_EQ(Open(path), 0);
  ASSERT_EQ(ReplaceSelectionString(doc_, "XX", 0, nullptr), 1);
  SetSelection(doc_, 6, 8);
  {
    ScriptedAnswerer answers;
    answers.Expect("Do you realy want to revert the document? All changes will be lost!", kAskYesNo, kAnswerNo);
    EXPECT_EQ(Open(path, kDetectEncoding, 0, kOpenRevert), kResultCancelled);
  }
  EXPECT_EQ(Text(), "XXhello world\n");
  {
    ScriptedAnswerer answers;
    answers.Expect("Do you realy want to revert the document? All changes will be lost!", kAskYesNo, kAnswerYes);
    EXPECT_EQ(Open(path, kDetectEncoding, 0, kOpenRevert), 0);
  }
  EXPECT_EQ(Text(), "hello world\n");
  EXPECT_EQ(doc_->anchor.position, 6u);
  EXPECT_EQ(doc_->caret.position, 8u);
  EXPECT_EQ(doc_->modified, 0u);
}

TEST_F(LoadSave, UnsavedChangesAreAskedAbout) {
  std::string path = dir_.File("a.txt"), other = dir_.File("b.txt");
  ASSERT_TRUE(WriteBytes(path, "a"));
  ASSERT_TRUE(WriteBytes(other, "b"));
  ASSERT_EQ(Open(path), 0);
  ASSERT_EQ(ReplaceSelectionString(doc_, "edit ", 0, nullptr), 1);
  {
    ScriptedAnswerer answers;
    answers.Expect("Save current changes to a.txt?", kAskYesNoCancel, kAnswerCancel);
    EXPECT_EQ(Open(other, kDetectEncoding, 0, 0), kResultCancelled);
  }
  EXPECT_EQ(Text(), "edit a");
  {
    ScriptedAnswerer answers;
    answers.Expect("Save current changes to a.txt?", kAskYesNoCancel, kAnswerYes);
    EXPECT_EQ(Open(other, kDetectEncoding, 0, 0), 0);
  }
  EXPECT_EQ(ReadBytes(path), "edit a");
  EXPECT_EQ(Text(), "b");
}

TEST_F(LoadSave, SaveFailuresLeaveTheFileAndTheDocumentAsTheyWere) {
  std::string path = dir_.File("keep.txt");
  const std::string original = "original contents\r\n";
  ASSERT_TRUE(WriteBytes(path, original));
  ASSERT_EQ(Open(path), 0);
  ASSERT_EQ(ReplaceSelectionString(doc_, "changed ", 0, nullptr), 1);
  g_settings.file.SFlush = 1;
  for (FaultKind kind : {kFaultAlloc, kFaultWrite, kFaultFlush, kFaultRename, kFaultOpen}) {
    for (u32 n = 1;; n++) {
      FaultInjector fi = {};
      FaultPlan(&fi, kind, n, false);
      int r;
      {
        ScriptedAnswerer answers;
        answers.Allow("Could not save file " + path + "!", kAskWarning, kAnswerOk)
            .Allow("Could not complete file writing! Disk out of space?", kAskWarning, kAnswerOk)
            .Allow("Out of Memory!", kAskWarning, kAnswerOk);
        ScopedFaultInjector scope(&fi);
        r = Save(path);
      }
      if (!fi.fired[kind]) {
        ASSERT_EQ(r, 0);
        break;
      }
      EXPECT_EQ(r, kResultReported) << kind << " " << n;
      EXPECT_EQ(ReadBytes(path), original) << kind << " " << n;
      EXPECT_EQ(doc_->modified, 1u);
    }
    EXPECT_EQ(ReadBytes(path), "changed " + original);
    ASSERT_TRUE(WriteBytes(path, original));
    ASSERT_EQ(ReplaceSelectionString(doc_, "", 0, nullptr), 1);  // modified again
    doc_->modified = 1;
  }
}

TEST_F(LoadSave, BackupsAndTheUnicodeWarning) {
  std::string path = dir_.File("b.txt");
  ASSERT_TRUE(WriteBytes(path, "first"));
  ASSERT_EQ(Open(path), 0);
  g_settings.file.BAK = 1;
  ASSERT_EQ(ReplaceSelectionString(doc_, "second ", 0, nullptr), 1);
  ASSERT_EQ(Save(path), 0);
  EXPECT_EQ(ReadBytes(path + ".~"), "first");
  g_settings.file.BAKDel = 1;
  ASSERT_EQ(Save(path, kEncodingUnicode), 0);  // a chosen encoding is saved without a mark
  EXPECT_EQ(ReadBytes(path), Utf16("second first", false));
  ASSERT_FALSE(window_.messages.empty());
  EXPECT_EQ(window_.messages.back(), TXT_NO_BOM_WARNING);
  EXPECT_EQ(doc_->encoding, kEncodingUnicode);
  EXPECT_TRUE(doc_->encodingFlags & kEncodingForced);
}

TEST_F(LoadSave, ReadOnlyFilesAndExclude) {
  std::string path = dir_.File("ro.txt");
  ASSERT_TRUE(WriteBytes(path, "locked"));
  ASSERT_EQ(Open(path), 0);
  ASSERT_TRUE(PlatSetAttributes(path.c_str(), kAttrReadOnly));
  ASSERT_EQ(ReplaceSelectionString(doc_, "x", 0, nullptr), 1);
  {
    ScriptedAnswerer answers;
    answers.Expect("Could not save file " + path + "!", kAskWarning, kAnswerOk);
    EXPECT_EQ(Save(path), kResultReported);
  }
  g_settings.file.SaveRO = 1;
  ASSERT_EQ(Save(path), 0);
  EXPECT_EQ(ReadBytes(path), "xlocked");
  u32 a = 0;
  ASSERT_TRUE(PlatGetAttributes(path.c_str(), &a));
  EXPECT_TRUE(a & kAttrReadOnly);
  ASSERT_TRUE(PlatSetAttributes(path.c_str(), kAttrNormal));

  std::string cut = dir_.File("cut.txt");
  SetSelection(doc_, 1, 4);
  window_.saveName = cut;
  ASSERT_EQ(SaveAs(doc_, nullptr, kDocumentEncoding, 0, kSaveSelection, window_.Hooks()), 0);
  EXPECT_EQ(ReadBytes(cut), "loc");
  EXPECT_EQ(Text(), "xked");
  EXPECT_EQ(std::string(doc_->filePath), path);
}

TEST_F(LoadSave, StreamedSavingWritesTheSameBytes) {
  // Over a megabyte of CR LF lines, so that pieces end inside newlines.
  std::string text;
  for (int i = 0; text.size() < 3 * 1024 * 1024; i++) text += "line " + std::to_string(i) + " caf\xE9\n";
  std::string path = dir_.File("s.txt");
  ASSERT_TRUE(WriteBytes(path, WithNewlines(text, "\r\n")));
  ASSERT_EQ(Open(path), 0);
  doc_->newlineType = kNewlineUnix;
  for (u32 encoding : {kEncodingAnsi, kEncodingUtf8}) {
    g_settings.file.SStream = 0;
    std::string plain = dir_.File("plain.txt"), streamed = dir_.File("streamed.txt");
    ASSERT_EQ(Save(plain, encoding), 0);
    g_settings.file.SStream = 1;
    ASSERT_EQ(Save(streamed, encoding), 0);
    EXPECT_TRUE(ReadBytes(plain) == ReadBytes(streamed)) << encoding;
  }
  EXPECT_TRUE(ReadBytes(dir_.File("plain.txt")).find('\r') == std::string::npos);
}

TEST_F(LoadSave, OutOfMemoryWhileLoadingLeavesAnEmptyUntitledDocument) {
  std::string path = dir_.File("m.txt");
  ASSERT_TRUE(WriteBytes(path, "caf\xC3\xA9 \xF0\x9F\x98\x80 text\r\n"));
  for (u32 n = 1;; n++) {
    FaultInjector fi = {};
    FaultPlan(&fi, kFaultAlloc, n, false);
    int r;
    {
      ScriptedAnswerer answers;
      answers.Allow("Out of Memory!", kAskWarning, kAnswerOk)
          .Allow("Could not read file " + path + "!", kAskWarning, kAnswerOk)
          .Allow("The document contains Unicode characters, which cannot be translated.\nContinue anyway?",
                 kAskYesNo, kAnswerYes);
      ScopedFaultInjector scope(&fi);
      r = Open(path);
    }
    EXPECT_TRUE(StoreOk(&doc_->store, false));
    if (!fi.fired[kFaultAlloc]) {
      EXPECT_EQ(r, 0);
      break;
    }
    if (r != 0) {
      EXPECT_EQ(r, kResultReported);
      EXPECT_STREQ(doc_->filePath, "");
    }
  }
}

TEST_F(LoadSave, LargeBufferRouteParksTheTextInThePagingFile) {
  std::string text = "large\r\ntext\r\n";
  char *buffer = static_cast<char *>(Allocate(text.size()));
  ASSERT_NE(buffer, nullptr);
  memcpy(buffer, text.data(), text.size());
  ASSERT_TRUE(SetDocumentTextFromLargeBuffer(doc_, &buffer, static_cast<u32>(text.size()), window_.Hooks()));
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(Text(), text);
  EXPECT_EQ(doc_->modified, 0u);
  // A mapping that cannot be made leaves an empty document.
  buffer = static_cast<char *>(Allocate(text.size()));
  memcpy(buffer, text.data(), text.size());
  FaultInjector fi = {};
  FaultPlan(&fi, kFaultMap, 1, false);
  ScopedFaultInjector scope(&fi);
  EXPECT_FALSE(SetDocumentTextFromLargeBuffer(doc_, &buffer, static_cast<u32>(text.size()), window_.Hooks()));
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(doc_->store.length, 0u);
}

// Large files that need no conversion are streamed into the store; the
// result is the whole-buffer route's, file by file: text, encoding, newline
// type, questions. Pieces of 1 MiB end inside CR LF pairs and lone CRs.
TEST_F(LoadSave, StreamedLoadingGivesTheWholeBufferRoutesDocument) {
  struct Case {
    const char *name;
    std::string bytes;
    u32 encoding;  // forced, or kDetectEncoding
    int encodeSetting;
    bool streams;
  };
  std::string big;
  for (int i = 0; big.size() < (1u << 20) - 1; i++) big += "line " + std::to_string(i) + "\r\n";
  big.resize((1u << 20) - 1);
  big += "\r\nnext\rmac\nunix";  // a CR LF across the first piece's end
  const std::string utf8 = "caf\xC3\xA9 " + big;
  const std::string bad = big + "\xE9\xC3 x";  // not UTF-8: ANSI
  const Case cases[] = {
      {"ansi mixed", big, kDetectEncoding, 0, true},
      {"ascii as utf-8", std::string(300000, 'a') + "\n" + big, kDetectEncoding, 1, true},
      {"crlf only", WithNewlines(std::string(2000000, 'x') + "\nz\n", "\r\n"), kDetectEncoding, 0, true},
      {"diary", ".LOG\r\n" + big, kDetectEncoding, 0, true},
      {"binary", big + std::string(3, '\0') + "tail", kDetectEncoding, 0, true},
      {"utf-8 converts", utf8, kDetectEncoding, 0, false},
      {"utf-8 forced ansi", utf8, kEncodingAnsi, 0, true},
      {"ascii forced utf-8", big, kEncodingUtf8, 0, true},
      {"mark", "\xEF\xBB\xBF" + big, kDetectEncoding, 0, false},
      {"not utf-8", bad, kDetectEncoding, 0, true},
  };
  const u32 minimum = g_streamLoadMinimum;
  for (const Case &c : cases) {
    const std::string path = dir_.File("stream.txt");
    ASSERT_TRUE(WriteBytes(path, c.bytes));
    struct Result {
      std::string text;
      u32 encoding, newlines, rows, rowCapacity, streamedLoads;
      int dates, r;
    } results[2];
    for (int streamed = 0; streamed < 2; streamed++) {
      DestroyDocument(doc_);
      doc_ = CreateDocument();
      window_ = Window();
      SetDefaultSettings(&g_settings, true);
      g_settings.file.Limit = 0;
      g_settings.file.Encode = c.encodeSetting;
      g_settings.file.AutoUni = 0;
      g_streamLoadMinimum = streamed ? 1 : 0xFFFFFFFFu;
      ScriptedAnswerer answers;
      answers.Allow("Warning: Loaded file is binary. Edit with care.", kAskWarning, kAnswerOk);
      Result &res = results[streamed];
      res.r = Open(path, c.encoding);
      res.text = Text();
      res.encoding = doc_->encoding;
      res.newlines = doc_->newlineType;
      res.rows = RowCount(&doc_->store);
      res.rowCapacity = doc_->store.rows.capacity;
      res.dates = window_.dates;
      res.streamedLoads = g_streamedLoads;
      EXPECT_TRUE(StoreOk(&doc_->store, false)) << c.name;
    }
    g_streamLoadMinimum = minimum;
    EXPECT_EQ(results[1].r, 0) << c.name;
    EXPECT_TRUE(results[0].text == results[1].text) << c.name;
    EXPECT_EQ(results[0].encoding, results[1].encoding) << c.name;
    EXPECT_EQ(results[0].newlines, results[1].newlines) << c.name;
    EXPECT_EQ(results[0].rows, results[1].rows) << c.name;
    EXPECT_EQ(results[0].dates, results[1].dates) << c.name;
    // A streamed load made its row table once, at the size it needed.
    EXPECT_EQ(results[1].streamedLoads - results[0].streamedLoads, c.streams ? 1u : 0u) << c.name;
    EXPECT_EQ(results[1].rowCapacity, std::max(512u, results[1].rows)) << c.name;
  }
}

// Streamed loading and its failures: allocation N failing (once, and from N
// on) gives "Out of Memory!" and an empty untitled document, never a leak;
// a file that grows while it loads is read as it was; one cut short after
// the first pass fails like a short read; files of 2 GiB and more are refused
// unread.
TEST_F(LoadSave, StreamedLoadingFailsCleanly) {
  const u32 minimum = g_streamLoadMinimum;
  g_streamLoadMinimum = 1;
  std::string text;
  for (int i = 0; text.size() < (3u << 20) / 2; i++) text += "row " + std::to_string(i) + "\r\n";
  const std::string path = dir_.File("f.txt");
  ASSERT_TRUE(WriteBytes(path, text));
  for (bool persistent : {false, true}) {
    // Densely among the first allocations, then every 37th (the blocks).
    for (u32 n = 1;; n += n < 40 ? 1 : 37) {
      FaultInjector fi = {};
      FaultPlan(&fi, kFaultAlloc, n, persistent);
      int r;
      {
        ScriptedAnswerer answers;
        answers.Allow("Out of Memory!", kAskWarning, kAnswerOk)
            .Allow("Could not read file " + path + "!", kAskWarning, kAnswerOk);
        ScopedFaultInjector scope(&fi);
        r = Open(path);
      }
      ASSERT_TRUE(StoreOk(&doc_->store, false)) << n;
      if (!fi.fired[kFaultAlloc]) {
        EXPECT_EQ(r, 0);
        EXPECT_TRUE(Text() == text);
        break;
      }
      if (r != 0) {
        EXPECT_EQ(r, kResultReported) << n;
        EXPECT_EQ(doc_->store.length, 0u) << n;
        EXPECT_STREQ(doc_->filePath, "") << n;
      } else {
        EXPECT_TRUE(Text() == text) << n;  // a failure it could get round
      }
    }
  }
  // Growing while it loads: the bytes the file had when it was opened.
  static std::string s_path;
  static bool s_changed;
  s_path = path;
  s_changed = false;
  FileHooks hooks = window_.Hooks();
  hooks.progress = [](void *, u64, u64) {
    if (s_changed) return;
    s_changed = true;
    FILE *f = fopen(s_path.c_str(), "ab");
    fputs("more text appended meanwhile\r\n", f);
    fclose(f);
  };
  OpenRequest request = {path.c_str(), kDetectEncoding, 0, kOpenAsked};
  ASSERT_EQ(OpenFile(doc_, request, hooks), 0);
  EXPECT_TRUE(s_changed);
  EXPECT_TRUE(Text() == text);
  // Cut short between the passes: "Could not read file", an empty document.
  ASSERT_TRUE(WriteBytes(path, text));
  s_changed = false;
  hooks.progress = [](void *, u64 done, u64 total) {
    if (done == total && !s_changed) {
      s_changed = true;
      FILE *f = fopen(s_path.c_str(), "wb");
      fputs("short", f);
      fclose(f);
    }
  };
  {
    ScriptedAnswerer answers;
    answers.Expect("Could not read file " + path + "!", kAskWarning, kAnswerOk);
    EXPECT_EQ(OpenFile(doc_, request, hooks), kResultReported);
  }
  EXPECT_TRUE(s_changed);
  EXPECT_EQ(doc_->store.length, 0u);
  g_streamLoadMinimum = minimum;
#ifndef _WIN32
  // 2 GiB and one byte more: refused before anything is read (sparse files).
  for (u64 size : {0x80000000ull, 0x80000001ull}) {
    const std::string huge = dir_.File("huge.txt");
    FILE *f = fopen(huge.c_str(), "wb");
    ASSERT_EQ(ftruncate(fileno(f), static_cast<off_t>(size)), 0);
    fclose(f);
    ScriptedAnswerer answers;
    answers.Expect("Could not read file " + huge + "!", kAskWarning, kAnswerOk);
    EXPECT_EQ(Open(huge), kResultReported);
    EXPECT_EQ(doc_->store.length, 0u);
    remove(huge.c_str());
  }
#endif
}

// A Revert or Re-open that cannot read the file leaves the document as it
// was: bytes, name, encoding, newlines, undo steps and modified flag. The
// file is missing, cannot be opened or read, or memory runs out at any
// allocation (once and from then on), on the whole-buffer and the streamed
// route; when the read succeeds after all, the document is the file's.
TEST_F(LoadSave, FailedRevertAndReopenChangeNothing) {
  const std::string path = dir_.File("keep.txt"), away = dir_.File("away.txt");
  const std::string disk = "caf\xC3\xA9 on disk\r\nline two\r\n";
  ASSERT_TRUE(WriteBytes(path, disk));
  auto state = [&] {
    return std::to_string(doc_->encoding) + "/" + std::to_string(doc_->newlineType) + "/" +
           std::to_string(doc_->undo.count) + "/" + std::to_string(doc_->redo.count) + "/" +
           std::to_string(doc_->modified) + "/" + std::to_string(doc_->caret.position) + "/" + doc_->filePath +
           "/" + Text();
  };
  const u32 minimum = g_streamLoadMinimum;
  g_settings.file.ARevert = 1;  // flag 512 then asks nothing
  struct Case {
    const char *name;
    u32 flags, encoding;
    bool edited, streamed;
  } cases[] = {
      {"revert", kOpenRevert, kDetectEncoding, true, false},
      {"revert, unmodified", kOpenRevert, kDetectEncoding, false, false},
      {"changed on disk", kOpenRevert | kOpenRevertChanged, kDetectEncoding, true, false},
      {"re-open ansi", kOpenReopen, kEncodingAnsi, true, false},
      {"re-open utf-8", kOpenReopen, kEncodingUtf8, false, false},
      {"revert, streamed", kOpenRevert, kEncodingAnsi, true, true},
  };
  for (const Case &c : cases) {
    g_streamLoadMinimum = c.streamed ? 1 : 0xFFFFFFFFu;
    auto prepare = [&] {
      ASSERT_EQ(Open(path, c.encoding), 0) << c.name;
      if (!c.edited) return;
      ASSERT_EQ(ReplaceSelectionString(doc_, "edit ", 0, nullptr), 1);
      ASSERT_EQ(ReplaceSelectionString(doc_, "more ", 0, nullptr), 1);
      SetSelection(doc_, 7, 7);
      SetDocumentEncoding(doc_, EncodingRequest(kEncodingUnicode, 1, 0), 0);  // chosen from the menu
      doc_->newlineType = kNewlineMac;
    };
    prepare();
    const std::string before = state();
    auto revert = [&] {
      ScriptedAnswerer answers;
      answers.Allow("Do you realy want to revert the document? All changes will be lost!", kAskYesNo, kAnswerYes)
          .Allow("Could not read file " + path + "!", kAskWarning, kAnswerOk)
          .Allow("Out of Memory!", kAskWarning, kAnswerOk);
      return Open(path, c.encoding, 0, c.flags);
    };
    // Missing: no question about creating it, no new file.
    ASSERT_EQ(rename(path.c_str(), away.c_str()), 0);
    EXPECT_EQ(revert(), kResultReported) << c.name;
    EXPECT_FALSE(PlatFileExists(path.c_str())) << c.name;
    EXPECT_EQ(state(), before) << c.name << " missing";
    ASSERT_EQ(rename(away.c_str(), path.c_str()), 0);
    for (FaultKind kind : {kFaultOpen, kFaultRead, kFaultAlloc}) {
      for (bool persistent : {false, true}) {
        for (u32 n = 1;; n++) {
          FaultInjector fi = {};
          FaultPlan(&fi, kind, n, persistent);
          int r;
          {
            ScopedFaultInjector scope(&fi);
            r = revert();
          }
          ASSERT_TRUE(StoreOk(&doc_->store, false)) << c.name << " " << kind << " " << n;
          if (r != 0) {
            EXPECT_EQ(r, kResultReported) << c.name << " " << kind << " " << n;
            EXPECT_EQ(state(), before) << c.name << " fault " << kind << " at " << n;
          } else {  // got round the fault: the file's text
            EXPECT_TRUE(Text() == (c.encoding == kEncodingAnsi ? disk : "caf\xE9 on disk\r\nline two\r\n")) << c.name;
            EXPECT_EQ(doc_->modified, 0u);
            prepare();
          }
          if (!fi.fired[kind]) break;
        }
      }
    }
  }
  g_streamLoadMinimum = minimum;
}

}  // namespace

namespace {

// Streamed saves of megabytes of CR LF lines, with the pieces' boundaries
// falling before, inside and after a CR LF: every byte once.
TEST_F(LoadSave, StreamedSavesKeepNewlinesSplitBetweenPieces) {
  std::string text;
  for (int i = 0; text.size() < (3u << 20); i++) text += "line " + std::to_string(i) + " of the text\r\n";
  for (size_t shift = 0; shift < 20; shift++) {
    const std::string in = dir_.File("in.txt"), out = dir_.File("out.txt");
    ASSERT_TRUE(WriteBytes(in, std::string(shift, 'x') + text));
    ASSERT_EQ(Open(in), 0);
    ASSERT_EQ(Save(out), 0);
    const std::string back = ReadBytes(out);
    ASSERT_EQ(back.size(), shift + text.size()) << "shift " << shift;
    ASSERT_TRUE(back == std::string(shift, 'x') + text) << "shift " << shift;
  }
}

}  // namespace
