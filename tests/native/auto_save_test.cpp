// Auto-save and recovery: which ticks write what where, what a failed write
// leaves, and what opening a file with a recovery file beside it does.
#include <gtest/gtest.h>

#include <string>

#include "config/config_state.h"
#include "document/document.h"
#include "document/edit.h"
#include "files/auto_save.h"
#include "files/load.h"
#include "files/save.h"
#include "foundation/fault.h"
#include "foundation/platform.h"
#include "tests/support/document_support.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"

namespace {

class AutoSave : public testing::Test {
 protected:
  void SetUp() override {
    SetDefaultSettings(&g_settings, true);
    g_settings.file.BAK = 1;  // backups on: an auto-save over the file still makes none
    g_settings.file.Limit = 0;
    snprintf(g_settings.file.TmpPath, sizeof g_settings.file.TmpPath, "%stemp", dir_.path().c_str());
    doc_ = CreateDocument();
    ASSERT_NE(doc_, nullptr);
    file_ = dir_.File("F.txt");
    ASSERT_TRUE(WriteBytes(file_, "hello\r\n"));
  }
  void TearDown() override { DestroyDocument(doc_); }

  FileHooks Hooks() {
    FileHooks h = {};
    h.context = this;
    h.recoveryFor = [](void *, const char *path, char *out) { return RecoveryNameFor(path, out); };
    h.deleteRecovery = [](void *c) { DeleteRecoveryFile(&static_cast<AutoSave *>(c)->recovery_); };
    h.adoptRecovery = [](void *c, const char *path) {
      snprintf(static_cast<AutoSave *>(c)->recovery_.path, kPathChars, "%s", path);
    };
    h.proposeName = [](void *, char *name) {
      snprintf(name, kPathChars, "first line");
      return true;
    };
    return h;
  }
  int Open(const std::string &path) {
    OpenRequest request = {path.c_str(), kDetectEncoding, 0, kOpenAsked};
    return OpenFile(doc_, request, Hooks());
  }
  int Tick() {
    AutoSaveView view = {this, [](void *c, bool r) { static_cast<AutoSave *>(c)->fields += r ? "$" : "M"; }, nullptr};
    return AutoSaveNow(doc_, &recovery_, Hooks(), view);
  }
  void Type(const char *text) { ASSERT_NE(ReplaceSelectionString(doc_, text, kReplaceCloseBefore, nullptr), 0); }
  std::string Text() { return StoreText(&doc_->store); }

  TempFolder dir_;
  std::string file_;
  Document *doc_ = nullptr;
  RecoveryFile recovery_ = {};
  std::string fields;
};

// Over the settings: an unmodified document makes no file call; a modified
// one is written where the settings say, once, and only the auto-save flag
// is cleared (the file itself is the document's only with ASOrig).
TEST_F(AutoSave, TicksWriteWhereTheSettingsSay) {
  enum Where { kNone, kBeside, kTemp, kOriginal, kUntitled };
  const struct {
    const char *name;
    i32 AS, ASOrig, ASTemp, ASNoNm;
    bool named;
    Where where;
  } kCases[] = {
      {"beside", 1, 0, 0, 1, true, kBeside},    {"temp", 1, 0, 1, 1, true, kTemp},
      {"original", 1, 1, 0, 1, true, kOriginal}, {"untitled", 1, 0, 0, 1, false, kUntitled},
      {"untitled off", 1, 0, 0, 0, false, kNone}, {"off", 0, 0, 0, 1, true, kNone},
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.name);
    g_settings.file.AS = c.AS;
    g_settings.file.ASOrig = c.ASOrig;
    g_settings.file.ASTemp = c.ASTemp;
    g_settings.file.ASNoNm = c.ASNoNm;
    recovery_ = {};
    (void)PlatFileDelete((file_ + ".~").c_str());  // the last case's save made one
    ASSERT_EQ(Open(c.named ? file_ : ""), 0);
    FaultInjector fi = {};
    {
      ScopedFaultInjector scope(&fi);
      EXPECT_EQ(Tick(), 0) << "unmodified";
    }
    EXPECT_EQ(fi.calls[kFaultOpen] + fi.calls[kFaultWrite] + fi.calls[kFaultRename], 0u);
    Type("edit ");
    const std::string text = Text();
    EXPECT_EQ(Tick(), c.where == kNone ? 0 : 940);
    EXPECT_EQ(doc_->modifiedSinceAutoSave, c.where == kNone ? 1u : 0u);
    EXPECT_EQ(doc_->modified, c.where == kOriginal ? 0u : 1u);
    std::string expected;
    if (c.where == kBeside) expected = file_ + ".$";
    if (c.where == kTemp) expected = dir_.path() + "temp" + kPlatPathSeparator;
    if (c.where == kTemp) {
      for (char ch : file_) expected += ch == ':' || ch == '\\' || ch == '/' ? '_' : ch;
      expected += ".$";
    }
    if (c.where == kUntitled) EXPECT_EQ(std::string(recovery_.path).find(dir_.path() + "temp"), 0u) << recovery_.path;
    if (!expected.empty()) EXPECT_EQ(recovery_.path, expected);
    if (c.where == kOriginal) {
      EXPECT_EQ(ReadBytes(file_), text);
      EXPECT_FALSE(PlatFileExists((file_ + ".~").c_str())) << "no backup";
    }
    if (c.where == kBeside || c.where == kTemp || c.where == kUntitled) {
      EXPECT_EQ(ReadBytes(recovery_.path), text);
      EXPECT_EQ(ReadBytes(file_), "hello\r\n") << "the file itself untouched";
      EXPECT_EQ(doc_->filePath, std::string(c.named ? file_ : "")) << "the document keeps its name";
    }
    EXPECT_EQ(fields, c.where == kNone ? "" : "$");
    fields.clear();
    EXPECT_EQ(Tick(), 0) << "nothing new to save";
    // Saving the document deletes its recovery file.
    const std::string written = recovery_.path;
    if (c.named) {
      ASSERT_EQ(SaveAs(doc_, file_.c_str(), kDocumentEncoding, 0, 0, Hooks()), 0);
      EXPECT_FALSE(written.size() && PlatFileExists(written.c_str()));
      EXPECT_EQ(recovery_.path[0], 0);
    }
    DeleteRecoveryFile(&recovery_);
    ASSERT_TRUE(WriteBytes(file_, "hello\r\n"));
  }
}

// A write failing at any step: "Auto-save error!", "Mod" back, the flag
// kept and the last recovery file whole; the next tick writes it.
TEST_F(AutoSave, AFailedWriteKeepsTheLastVersionAndTriesAgain) {
  ASSERT_EQ(Open(file_), 0);
  Type("one ");
  ASSERT_EQ(Tick(), 940);
  const std::string first = Text();
  for (FaultKind kind : {kFaultOpen, kFaultWrite, kFaultRename}) {
    for (u32 k = 1;; k++) {
      Type("x");
      FaultInjector fi = {};
      FaultPlan(&fi, kind, k, false);
      fields.clear();
      int r;
      {
        ScopedFaultInjector scope(&fi);
        r = Tick();
      }
      if (!fi.fired[kind]) {
        EXPECT_EQ(r, 940);
        break;
      }
      EXPECT_EQ(r, 941) << kind << " " << k;
      EXPECT_EQ(fields, "$M");
      EXPECT_EQ(doc_->modifiedSinceAutoSave, 1u);
      const std::string kept = ReadBytes(recovery_.path);
      EXPECT_TRUE(kept == first || kept.size() < Text().size()) << "a whole earlier version";
      ASSERT_EQ(Tick(), 940) << "the next tick writes it";
      EXPECT_EQ(ReadBytes(recovery_.path), Text());
      ASSERT_LT(k, 20u);
    }
  }
  // A name past 260 characters is never cut: an error, no file.
  RecoveryFile none = {};
  char name[kPathChars];
  EXPECT_FALSE(RecoveryNameFor(std::string(259, 'a').c_str(), name));
  g_settings.file.ASTime = 0;
  EXPECT_EQ(AutoSavePeriod(), 1000u);
  g_settings.file.ASTime = -5;
  EXPECT_EQ(AutoSavePeriod(), 1000u);
  DeleteRecoveryFile(&none);
}

// Opening a file whose recovery file exists: Yes loads the recovery file
// under the file's name, modified, as the current recovery file; No loads
// the file and keeps the recovery file; Cancel leaves an empty untitled
// document; an unreadable recovery file is reported and the file loads.
TEST_F(AutoSave, RecoveryAtOpen) {
  const std::string recovered = file_ + ".$";
  const std::string question = "An auto-saved copy of file " + file_ +
                               " was found. Quillpad may have been closed unexpectedly.\nDo you want to open the "
                               "auto-saved copy instead?";
  for (int answer : {kAnswerYes, kAnswerNo, kAnswerCancel}) {
    ASSERT_TRUE(WriteBytes(recovered, "recovered text"));
    recovery_ = {};
    ScriptedAnswerer answers;
    answers.Expect(question, kAskYesNoCancel, answer);
    if (answer == kAnswerYes)
      answers.Expect("The auto-saved copy has been opened. Save the document now to keep the recovered text.",
                     kAskInfo, kAnswerOk);
    if (answer == kAnswerNo)
      answers.Expect("The auto-saved copy was ignored, but it has not been deleted. It stays until the next auto-save "
                     "of this file.",
                     kAskInfo, kAnswerOk);
    EXPECT_EQ(Open(file_), answer == kAnswerCancel ? 32 : 0);
    EXPECT_EQ(Text(), answer == kAnswerYes ? "recovered text" : answer == kAnswerNo ? "hello\r\n" : "");
    EXPECT_EQ(doc_->filePath, answer == kAnswerCancel ? std::string() : file_);
    EXPECT_EQ(doc_->modified, answer == kAnswerYes ? 1u : 0u);
    EXPECT_EQ(recovery_.path, answer == kAnswerYes ? recovered : std::string());
    EXPECT_TRUE(PlatFileExists(recovered.c_str()));
  }
  // Saving the recovered document deletes the recovery file.
  ASSERT_TRUE(WriteBytes(recovered, "recovered text"));
  {
    ScriptedAnswerer answers;
    answers.Expect(question, kAskYesNoCancel, kAnswerYes);
    answers.Expect("The auto-saved copy has been opened. Save the document now to keep the recovered text.", kAskInfo,
                   kAnswerOk);
    ASSERT_EQ(Open(file_), 0);
  }
  ASSERT_EQ(SaveAs(doc_, file_.c_str(), kDocumentEncoding, 0, 0, Hooks()), 0);
  EXPECT_EQ(ReadBytes(file_), "recovered text");
  EXPECT_FALSE(PlatFileExists(recovered.c_str()));
  // A recovery file that cannot be read (a folder): its message, then the file.
  ASSERT_TRUE(PlatCreateFolder(recovered.c_str()));
  ScriptedAnswerer answers;
  answers.Expect(question, kAskYesNoCancel, kAnswerYes);
  answers.Expect("Could not read file " + recovered + "!", kAskWarning, kAnswerOk);
  EXPECT_EQ(Open(file_), 0);
  EXPECT_EQ(Text(), "recovered text");
  EXPECT_EQ(doc_->modified, 0u);
  EXPECT_EQ(recovery_.path[0], 0);
}

}  // namespace
