// Writing files without ever destroying the old one, and backups.
#include <gtest/gtest.h>

#include <string>

#include "files/backup.h"
#include "foundation/safe_writer.h"
#include "foundation/fault.h"
#include "foundation/platform.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"

namespace {

int Write(const std::string &path, const std::string &bytes, u32 add = 0, bool forceReadOnly = false,
          bool flush = true) {
  SafeWriter w;
  int r = SafeWriterOpen(&w, path.c_str(), add, forceReadOnly);
  if (r != 0) return r;
  // In two pieces, as a streamed save writes.
  size_t half = bytes.size() / 2;
  r = SafeWriterWrite(&w, bytes.data(), static_cast<u32>(half));
  if (r == 0) r = SafeWriterWrite(&w, bytes.data() + half, static_cast<u32>(bytes.size() - half));
  if (r != 0) {
    SafeWriterAbort(&w);
    return r;
  }
  return SafeWriterCommit(&w, flush);
}

// Temporary files a writer left beside `name` (it tries 100 names from one
// derived from the process id).
int LeftBehind(const TempFolder &dir, const std::string &name) {
  int n = 0;
  for (u32 k = 0; k < 100; k++) {
    std::string temp = dir.File(name) + ".~q" + std::to_string((PlatCurrentProcessId() + k) % 100000u);
    n += PlatFileExists(temp.c_str());
  }
  return n;
}

TEST(SafeWriter, CreatesAndReplaces) {
  TempFolder dir;
  std::string path = dir.File("a.txt");
  ASSERT_EQ(Write(path, "first"), 0);
  EXPECT_EQ(ReadBytes(path), "first");
  ASSERT_EQ(Write(path, "second, longer"), 0);
  EXPECT_EQ(ReadBytes(path), "second, longer");
  ASSERT_EQ(Write(path, ""), 0);
  EXPECT_EQ(ReadBytes(path), "");
  EXPECT_EQ(LeftBehind(dir, "a.txt"), 0);
}

TEST(SafeWriter, EveryFailureLeavesTheOldFileWhole) {
  TempFolder dir;
  std::string path = dir.File("keep.txt");
  ASSERT_TRUE(WriteBytes(path, "precious"));
  struct {
    FaultKind kind;
    u32 n;
    int result;
  } cases[] = {
      {kFaultOpen, 1, 523},    // the new file cannot be made
      {kFaultWrite, 1, 524},   // the first piece
      {kFaultWrite, 2, 524},   // the second piece: disk full half-way
      {kFaultFlush, 1, 524},   // the flush
      {kFaultRename, 1, 523},  // the replacement
  };
  for (auto c : cases) {
    FaultInjector fi = {};
    FaultPlan(&fi, c.kind, c.n, false);
    {
      ScopedFaultInjector scope(&fi);
      EXPECT_EQ(Write(path, "replacement text"), c.result) << c.kind;
    }
    EXPECT_EQ(ReadBytes(path), "precious") << c.kind;
    EXPECT_EQ(LeftBehind(dir, "keep.txt"), 0) << c.kind;
  }
}

TEST(SafeWriter, ReadOnlyFilesNeedTheForceAndStayReadOnly) {
  TempFolder dir;
  std::string path = dir.File("ro.txt");
  ASSERT_TRUE(WriteBytes(path, "old"));
  ASSERT_TRUE(PlatSetAttributes(path.c_str(), kAttrReadOnly));
  EXPECT_EQ(Write(path, "new"), 523);
  EXPECT_EQ(ReadBytes(path), "old");
  ASSERT_EQ(Write(path, "new", 0, true), 0);
  EXPECT_EQ(ReadBytes(path), "new");
  u32 a = 0;
  ASSERT_TRUE(PlatGetAttributes(path.c_str(), &a));
  EXPECT_TRUE(a & kAttrReadOnly);
  ASSERT_TRUE(PlatSetAttributes(path.c_str(), kAttrNormal));
}

TEST(SafeWriter, AttributesSurviveAndRecoveryFilesAreHidden) {
  TempFolder dir;
  std::string path = dir.File("hidden.txt");
  ASSERT_TRUE(WriteBytes(path, "x"));
  ASSERT_TRUE(PlatSetAttributes(path.c_str(), kAttrHidden));
  ASSERT_EQ(Write(path, "y"), 0);
  u32 a = 0;
  ASSERT_TRUE(PlatGetAttributes(path.c_str(), &a));
  EXPECT_TRUE(a & kAttrHidden);
  std::string recovery = dir.File("doc.txt.$");
  ASSERT_EQ(Write(recovery, "saved", kAttrHidden), 0);
  ASSERT_TRUE(PlatGetAttributes(recovery.c_str(), &a));
  EXPECT_TRUE(a & kAttrHidden);
}

TEST(Backup, NamesBesideTheFileAndInTheTemporaryFolder) {
  TempFolder dir, temp;
  char name[kBackupNameChars];
  std::string path = dir.File("notes.txt");
  ASSERT_TRUE(BackupName(path.c_str(), BackupOptions{false, false, false, ""}, name));
  EXPECT_EQ(std::string(name), path + ".~");
  ASSERT_TRUE(BackupName("C:\\Texts\\sub\\a\tb.txt", BackupOptions{false, true, false, temp.path().c_str()}, name));
  EXPECT_EQ(std::string(name), temp.path() + "C__Texts_sub_a b.txt.~");
}

TEST(Backup, TenKeptThenTheOldestIsReused) {
  TempFolder dir;
  std::string path = dir.File("k.txt");
  BackupOptions keep = {true, false, false, ""};
  char name[kBackupNameChars];
  for (int i = 0; i < 10; i++) {
    ASSERT_TRUE(WriteBytes(path, "version " + std::to_string(i)));
    ASSERT_EQ(MakeBackup(nullptr, path.c_str(), keep, name), 0);
    EXPECT_EQ(std::string(name), path + ".~" + std::to_string(i));
    EXPECT_EQ(ReadBytes(name), "version " + std::to_string(i));
  }
  // Make backup 3 the oldest.
  ASSERT_TRUE(WriteBytes(path + ".~3", "old"));
  for (int d : {0, 1, 2, 4, 5, 6, 7, 8, 9}) ASSERT_TRUE(WriteBytes(path + ".~" + std::to_string(d), "newer"));
  ASSERT_TRUE(WriteBytes(path, "version 10"));
  ASSERT_EQ(MakeBackup(nullptr, path.c_str(), keep, name), 0);
  EXPECT_EQ(std::string(name), path + ".~3");
  EXPECT_EQ(ReadBytes(name), "version 10");
}

TEST(Backup, MissingFileNeedsNoneAndFailuresAsk) {
  TempFolder dir;
  std::string path = dir.File("new.txt");
  char name[kBackupNameChars];
  BackupOptions plain = {false, false, true, ""};
  EXPECT_EQ(MakeBackup(nullptr, path.c_str(), plain, name), 0);
  EXPECT_STREQ(name, "");
  ASSERT_TRUE(WriteBytes(path, "data"));
  for (int answer : {kAnswerNo, kAnswerYes}) {
    FaultInjector fi = {};
    FaultPlan(&fi, kFaultWrite, 1, false);
    ScriptedAnswerer answers;
    answers.Expect("Could not create backup file. Continue?", kAskYesNo, answer);
    ScopedFaultInjector scope(&fi);
    EXPECT_EQ(MakeBackup(nullptr, path.c_str(), plain, name), answer == kAnswerNo ? 523 : 0);
  }
  ASSERT_EQ(MakeBackup(nullptr, path.c_str(), plain, name), 0);
  u32 a = 0;
  ASSERT_TRUE(PlatGetAttributes(name, &a));
  EXPECT_TRUE(a & kAttrHidden);
}

}  // namespace
