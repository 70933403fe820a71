// Loading and saving the configuration: round trips through both stores, only
// what changed written, lists merged between sessions, and failures that lose
// nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "config/config_io.h"
#include "config/config_lists.h"
#include "foundation/bytes.h"
#include "foundation/fault.h"
#include "foundation/numbers.h"
#include "foundation/platform.h"
#include "foundation/random.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"

namespace {

const std::string kBom = "\xEF\xBB\xBF";

// Everything one session of the program holds, to run two in one process.
struct Session {
  SettingsBlock live, baseline;
  ConfigSession config;
};

class ConfigTest : public testing::Test {
 protected:
  void SetUp() override {
    static int counter;
    registry_ = "Software\\QuillpadTests\\P" + std::to_string(PlatCurrentProcessId()) + "_" + std::to_string(++counter);
    SetRegistryRoot(registry_.c_str());
    ini_ = dir_.File("QuilPad.ini");
    Fresh();
  }
  void TearDown() override {
    FreeClips();
    for (auto *s : {&a_, &b_})
      if (*s)
        for (ClipSlot &clip : (*s)->config.clips) Free(clip.text);
    PlatRegDeleteTree(nullptr, registry_.c_str());
  }

  // A session that has just started: defaults, then the load.
  void Fresh(const char *configFile = nullptr) {
    FreeClips();
    MemZero(&g_config, sizeof g_config);
    SetDefaultSettings(&g_settings, true);
    if (configFile) StrCopyN(g_config.configFile, configFile, sizeof g_config.configFile);
    LoadConfigFrom(nullptr, nullptr);
    MemCopy(&g_baseline, &g_settings, sizeof g_settings);
  }
  void Start(const std::string &file) { Fresh(file.c_str()); }

  std::unique_ptr<Session> Park() {
    std::unique_ptr<Session> s(new Session);
    s->live = g_settings;
    s->baseline = g_baseline;
    s->config = g_config;
    MemZero(&g_config, sizeof g_config);  // the clips now belong to the parked session
    return s;
  }
  void Resume(std::unique_ptr<Session> &s) {
    FreeClips();
    g_settings = s->live;
    g_baseline = s->baseline;
    g_config = s->config;
    MemZero(&s->config, sizeof s->config);
    s.reset();
  }
  // Two sessions started on the same file; the first one is live.
  void TwoSessions() {
    Start(ini_);
    a_ = Park();
    Start(ini_);
    b_ = Park();
    Resume(a_);
  }
  int Save() { return SaveConfig(nullptr, g_config.path, false, false); }
  std::string File() { return ReadBytes(ini_); }
  bool Has(const std::string &line) { return File().find("\n" + line + "\n") != std::string::npos; }

  TempFolder dir_;
  std::string ini_;
  std::string registry_;
  std::unique_ptr<Session> a_, b_;
};

// ---- every key survives the trip through each store ----

void Randomize(SettingsBlock *s) {
  for (int t = 0; t < kAllTableCount; t++) {
    const KeyTable &table = *kAllTables[t].table;
    if (table.rows != kSaveKeys.rows && table.rows != kMainKeys.rows && table.rows != kEditKeys.rows &&
        table.rows != kFileKeys.rows && table.rows != kOptsKeys.rows && table.rows != kToolKeys.rows &&
        table.rows != kPlacePositionKeys.rows && table.rows != kPlaceSizeKeys.rows && table.rows != kCompareKeys.rows)
      continue;
    for (int i = 0; i < table.count; i++) {
      const KeyEntry &row = table.rows[i];
      char *field = reinterpret_cast<char *>(s) + row.offset;
      switch (row.type & kKeyTypeMask) {
        case kKeyString: {
          u32 n = static_cast<u32>(Random() % (row.size > 40 ? 40 : row.size - 1));
          for (u32 k = 0; k < n; k++) field[k] = static_cast<char>(1 + Random() % 255);
          field[n] = 0;
          break;
        }
        default:
          for (u32 k = 0; k < row.size; k++) field[k] = static_cast<char>(Random());
      }
    }
  }
  // What the save itself decides, or the load clamps, stays in range.
  s->save = SaveSettings{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1};
  s->main.TSortSv = s->main.TColsSv = s->main.TCmpSv = 1;
  s->edit.Tab = 1 + static_cast<i32>(Random() % 1023);
  s->edit.HiSelLn = 1 + static_cast<i32>(Random() % 100);
  s->file.ASTime = static_cast<i32>(Random() % 131072);
  s->opts.ODO[0] = s->opts.ODO[1] = 0;  // the odometer is merged, not overwritten
  for (int n = 0; n < 5; n++) s->tools.sort[n].Use = n & 1;
  strcpy(s->tools.columns[8].CD, "last\\column\n");
  strcpy(s->opts.bar[1].Patt, "find \\n me");
}

void ExpectSameKeys(const SettingsBlock &a, const SettingsBlock &b) {
  for (int t = 0; t < kAllTableCount; t++) {
    const KeyTable &table = *kAllTables[t].table;
    if (table.rows == kUpdateKeys.rows || strcmp(kAllTables[t].section, "Setts") && strcmp(kAllTables[t].section, "Tools") &&
                                              strcmp(kAllTables[t].section, "Opts") && strcmp(kAllTables[t].section, "Save") &&
                                              strcmp(kAllTables[t].section, "Place"))
      continue;
    if (table.rows == kSearchBarKeys.rows || table.rows == kSortKeys.rows || table.rows == kColumnKeys.rows) continue;
    for (int i = 0; i < table.count; i++) {
      const KeyEntry &row = table.rows[i];
      const char *x = reinterpret_cast<const char *>(&a) + row.offset;
      const char *y = reinterpret_cast<const char *>(&b) + row.offset;
      size_t n = (row.type & kKeyTypeMask) == kKeyString ? strlen(x) + 1 : row.size;
      EXPECT_EQ(MemCompare(x, y, n), 0u) << kAllTables[t].section << " " << row.name;
    }
  }
  EXPECT_EQ(memcmp(a.tools.sort, b.tools.sort, sizeof a.tools.sort), 0);
  EXPECT_EQ(memcmp(a.tools.columns, b.tools.columns, sizeof a.tools.columns), 0);
  EXPECT_STREQ(a.opts.bar[1].Patt, b.opts.bar[1].Patt);
  EXPECT_EQ(a.opts.bar[0].Case, b.opts.bar[0].Case);
}

TEST_F(ConfigTest, EveryKeyRoundTripsThroughTheIniFileAndTheRegistry) {
  static SettingsBlock written;
  for (bool file : {true, false}) {
    SCOPED_TRACE(file ? "ini file" : "registry");
    if (file) {
      ASSERT_TRUE(WriteBytes(ini_, ""));  // an empty file switches to file storage
      Start(ini_);
      EXPECT_EQ(g_config.path, ini_);
    } else {
      Fresh();
      EXPECT_EQ(g_config.path[0], 0);
    }
    Randomize(&g_settings);
    written = g_settings;
    ASSERT_EQ(Save(), 0);
    if (file) EXPECT_EQ(File().compare(0, 3, kBom), 0);
    file ? Start(ini_) : Fresh();  // no file anywhere: the registry
    ExpectSameKeys(g_settings, written);
  }
}

TEST_F(ConfigTest, IntegersWrapAndBadValuesKeepTheField) {
  ASSERT_TRUE(WriteBytes(ini_, kBom +
                                   "[Setts]\nCLTBack=4294967295\nLcNM=-1\nLMargin=abc\nKeepX= +12\n"
                                   "Suffix=averyveryverylongsuffixthatdoesnotfit\nLF2_=AAAA\n"
                                   "Backup=1\nLogF1=" +
                                   std::string(80, 'A') + "\nLF1_=" + std::string(80, 'B') + "\n"));
  Start(ini_);
  EXPECT_EQ(g_settings.edit.CLTBack, 0xFFFFFFFFu);
  EXPECT_EQ(g_settings.main.LcNM, -1);
  EXPECT_EQ(g_settings.edit.LMargin, 8);  // not a number: the default stays
  EXPECT_EQ(g_settings.edit.KeepX, 12);
  EXPECT_EQ(strlen(g_settings.file.Suffix), 31u);
  EXPECT_EQ(g_settings.file.BAK, 1);  // the old name
  EXPECT_STREQ(g_settings.edit.LF2_.faceName, "Arial");  // three bytes, not a font record
  // The new name overrides the alias: "BBBB" decodes to 04 10 41.
  EXPECT_EQ(reinterpret_cast<u8 *>(&g_settings.edit.LF1_)[0], 0x04u);
  g_settings.edit.CLTBack = 0xFFFFFFFF;
  g_settings.edit.CLTText = static_cast<u32>(-1);
  ASSERT_EQ(Save(), 0);
  EXPECT_TRUE(Has("CLTText=4294967295"));
}

TEST_F(ConfigTest, RegistryValuesOfTheWrongTypeAreIgnored) {
  PlatRegKey setts = PlatRegOpen(nullptr, (registry_ + "\\Setts").c_str(), true);
  ASSERT_NE(setts, nullptr);
  ASSERT_TRUE(PlatRegSet(setts, "Tab", kRegString, "4", 2));
  u32 seven = 7;
  ASSERT_TRUE(PlatRegSet(setts, "KeepX", kRegDword, &seven, 4));
  ASSERT_TRUE(PlatRegSet(setts, "LF2_", kRegBinary, "short", 5));
  PlatRegClose(setts);
  Fresh();
  EXPECT_EQ(g_settings.edit.Tab, 8);
  EXPECT_EQ(g_settings.edit.KeepX, 7);
  EXPECT_STREQ(g_settings.edit.LF2_.faceName, "Arial");
}

TEST_F(ConfigTest, OnlyChangedKeysAreWrittenAndTheFileIsOtherwiseLeftAlone) {
  const std::string original = kBom + "; mine\n[Setts]\nTab=4\nUnknown=kept\n";
  ASSERT_TRUE(WriteBytes(ini_, original));
  Start(ini_);
  EXPECT_EQ(g_settings.edit.Tab, 4);
  ASSERT_EQ(Save(), 0);
  EXPECT_EQ(File(), original);  // nothing changed: not even rewritten
  g_settings.edit.KeepY = 3;
  ASSERT_EQ(Save(), 0);
  EXPECT_EQ(File(), kBom + "; mine\n\n[Setts]\nTab=4\nUnknown=kept\nKeepY=3\n");
  g_settings.edit.KeepY = 1;  // back to the default: written, since it differs from the last save
  ASSERT_EQ(Save(), 0);
  EXPECT_TRUE(Has("KeepY=1"));
  // With the no-save option nothing is written at all.
  const std::string saved = File();
  g_config.noSave = 1;
  g_settings.edit.Tab = 2;
  EXPECT_EQ(Save(), 0);
  EXPECT_EQ(File(), saved);
}

TEST_F(ConfigTest, ForgetPositionAndSizeEraseThePlacement) {
  ASSERT_TRUE(WriteBytes(ini_, kBom + "[Save]\nPlace=1\nSize=1\n[Place]\nTop=10\nLeft=20\nWidth=300\nHeight=200\n"));
  Start(ini_);
  EXPECT_EQ(g_settings.place.Left, 20);
  g_config.forgetPosition = g_config.forgetSize = 1;
  ASSERT_EQ(Save(), 0);
  EXPECT_TRUE(Has("Place=0"));
  EXPECT_TRUE(Has("Size=0"));
  EXPECT_TRUE(Has("Top=2147483648"));
  EXPECT_TRUE(Has("Width=2147483648"));
  Start(ini_);
  EXPECT_EQ(g_settings.place.Top, kNotSaved);
  EXPECT_EQ(g_settings.save.Place, 0);
}

TEST_F(ConfigTest, PlacementComesFromTheWindowWhenSaved) {
  ASSERT_TRUE(WriteBytes(ini_, kBom + "[Save]\nPlace=1\n"));
  Start(ini_);
  g_config.hooks.capturePlacement = [](void *, PlaceSettings *p) {
    p->Top = 11;
    p->Left = 22;
    p->Width = 333;
  };
  ASSERT_EQ(Save(), 0);
  EXPECT_TRUE(Has("Top=11"));
  EXPECT_TRUE(Has("Left=22"));
  EXPECT_FALSE(Has("Width=333"));  // the size is not saved unless Size is on
}

// ---- two sessions sharing one file ----

TEST_F(ConfigTest, TwoSessionsChangingDifferentKeysKeepBoth) {
  ASSERT_TRUE(WriteBytes(ini_, kBom));
  TwoSessions();
  g_settings.edit.Tab = 4;
  ASSERT_EQ(Save(), 0);
  Resume(b_);
  strcpy(g_settings.edit.LF1_.faceName, "Lucida Console");
  ASSERT_EQ(Save(), 0);
  Start(ini_);
  EXPECT_EQ(g_settings.edit.Tab, 4);
  EXPECT_STREQ(g_settings.edit.LF1_.faceName, "Lucida Console");
}

TEST_F(ConfigTest, TwoSessionsAddingFavouritesKeepBoth) {
  ASSERT_TRUE(WriteBytes(ini_, kBom));
  TwoSessions();
  ASSERT_TRUE(AddFavourite(&g_settings, "C:\\a.txt"));
  ASSERT_EQ(Save(), 0);
  Resume(b_);
  ASSERT_TRUE(AddFavourite(&g_settings, "C:\\b.txt"));
  ASSERT_TRUE(AddFavourite(&g_settings, "c:\\B.TXT"));  // already there, in another case
  ASSERT_EQ(Save(), 0);
  EXPECT_STREQ(g_settings.lists.favourites[0], "C:\\b.txt");
  EXPECT_STREQ(g_settings.lists.favourites[1], "C:\\a.txt");
  Start(ini_);
  EXPECT_STREQ(g_settings.lists.favourites[0], "C:\\b.txt");
  EXPECT_STREQ(g_settings.lists.favourites[1], "C:\\a.txt");
  EXPECT_STREQ(g_settings.lists.favourites[2], "");
  EXPECT_EQ(g_config.favourites.inc, 2u);
}

// Separators and gaps stay in their slots through loads and saves; a merge
// brings the other session's missing paths, never its separators.
TEST_F(ConfigTest, FavouriteSeparatorsSurviveLoadsSavesAndMerges) {
  ASSERT_TRUE(WriteBytes(ini_, kBom + "[Favs]\n00=C:\\a\n01=-\n02=C:\\b\n03=--\n05=--\n06=C:\\c\nInc=1\n"));
  TwoSessions();
  const char *const kLoaded[] = {"C:\\a", "-", "C:\\b", "--", "", "--", "C:\\c", ""};
  for (int n = 0; n < 8; n++) EXPECT_STREQ(g_settings.lists.favourites[n], kLoaded[n]) << n;
  ASSERT_TRUE(AddFavourite(&g_settings, "C:\\d"));  // the first free slot: 4
  ASSERT_EQ(Save(), 0);
  Resume(b_);
  StrCopyN(g_settings.lists.favourites[7], "-", kPathChars);
  StrCopyN(g_settings.lists.favourites[8], "C:\\e", kPathChars);
  g_config.favourites.dirty = 1;
  ASSERT_EQ(Save(), 0);  // merges A's list: "C:\\d" comes in, no separator
  Start(ini_);
  const char *const kMerged[] = {"C:\\a", "-", "C:\\b", "--", "C:\\d", "--", "C:\\c", "-", "C:\\e", ""};
  for (int n = 0; n < 10; n++) EXPECT_STREQ(g_settings.lists.favourites[n], kMerged[n]) << n;
}

// A clip whose copy cannot be made keeps its old text and is not marked.
TEST_F(ConfigTest, AFailedClipKeepsTheOldText) {
  ASSERT_TRUE(SetClip(4, "old", 3));
  g_config.clips[4].dirty = 0;
  g_config.clipsChanged = 0;
  FaultInjector fi = {};
  FaultPlan(&fi, kFaultAlloc, 1, false);
  {
    ScopedFaultInjector scope(&fi);
    EXPECT_FALSE(SetClip(4, "new text", 8));
  }
  EXPECT_EQ(std::string(g_config.clips[4].text, g_config.clips[4].length), "old");
  EXPECT_EQ(g_config.clips[4].dirty, 0);
  EXPECT_EQ(g_config.clipsChanged, 0);
}

// A clip's block is handed over for a new text that fits it without
// wasting half of it; otherwise the clip stays as it was.
TEST_F(ConfigTest, AClipBlockIsReclaimedOnlyWhenItFits) {
  std::string text(1000, 'c');
  ASSERT_TRUE(SetClip(2, text.data(), 1000));
  const char *block = g_config.clips[2].text;
  const size_t size = PlatHeapSize(block);
  EXPECT_EQ(ReclaimClipBlock(2, size + 1), nullptr);  // too small
  EXPECT_EQ(ReclaimClipBlock(2, size / 2), nullptr);  // twice as large as needed
  EXPECT_EQ(ReclaimClipBlock(3, 1), nullptr);         // an empty clip
  EXPECT_EQ(ReclaimClipBlock(9, 1), nullptr);
  EXPECT_EQ(std::string(g_config.clips[2].text, g_config.clips[2].length), text);
  char *reclaimed = ReclaimClipBlock(2, size);
  EXPECT_EQ(reclaimed, block);
  EXPECT_EQ(g_config.clips[2].text, nullptr);
  EXPECT_EQ(g_config.clips[2].length, 0u);
  memcpy(reclaimed, "new", 4);
  TakeClip(2, reclaimed, 3);
  EXPECT_EQ(std::string(g_config.clips[2].text, 3), "new");
}

TEST_F(ConfigTest, RecentFilesMergeByTime) {
  ASSERT_TRUE(WriteBytes(ini_, kBom));
  TwoSessions();
  u32 now = ConfigTimeStamp();
  AddRecentFile(&g_settings, "one", now - 30);
  AddRecentFile(&g_settings, "three", now - 10);
  ASSERT_EQ(Save(), 0);
  Resume(b_);
  AddRecentFile(&g_settings, "two", now - 20);
  AddRecentFile(&g_settings, "ONE", now - 5);  // the same file, reopened later
  ASSERT_EQ(Save(), 0);
  Start(ini_);
  const auto &r = g_settings.lists.recent;
  EXPECT_STREQ(r[9], "ONE");
  EXPECT_STREQ(r[8], "three");
  EXPECT_STREQ(r[7], "two");
  EXPECT_STREQ(r[6], "");
}

TEST_F(ConfigTest, ClipChangedInBothSessionsAsksTheSecondSaver) {
  ASSERT_TRUE(WriteBytes(ini_, kBom));
  for (int answer : {kAnswerNo, kAnswerYes}) {
    TwoSessions();
    ASSERT_TRUE(SetClip(2, "from A", 6));
    ASSERT_EQ(Save(), 0);
    Resume(b_);
    ASSERT_TRUE(SetClip(2, std::string("from\0B", 6).data(), 6));
    {
      ScriptedAnswerer answers;
      answers.Expect("Text stored in Clip 3 conflicts with text recently changed in Config by another session. Do "
                     "you want to overwrite the one in the Config?\n\nClick Yes to save the new text from this "
                     "session.\nClick No to keep the text already in the Config.",
                     kAskYesNo, answer);
      ASSERT_EQ(Save(), 0);
    }
    EXPECT_EQ(std::string(g_config.clips[2].text, 6), std::string("from\0B", 6));  // kept in memory either way
    Start(ini_);
    std::string stored(g_config.clips[2].text, g_config.clips[2].length);
    EXPECT_EQ(stored, answer == kAnswerNo ? std::string("from A") : std::string("from\0B", 6));
  }
}

TEST_F(ConfigTest, LongClipsAskBeforeTheyAreSaved) {
  ASSERT_TRUE(WriteBytes(ini_, kBom));
  std::string text(70000, 'c');
  struct {
    int answer;
    size_t stored;
  } cases[] = {{kAnswerYes, 70000}, {kAnswerNo, 65536}, {kAnswerCancel, 0}};
  for (auto c : cases) {
    Start(ini_);
    ASSERT_TRUE(SetClip(0, text.data(), static_cast<u32>(text.size())));
    {
      ScriptedAnswerer answers;
      answers.Expect("Text stored in Clip 1 is quite long. Do you want to save it anyway?\n\nClick Yes to save the "
                     "whole text.\nClick No to shorten the text to 64 KiB.\nClick Cancel to discard the text.",
                     kAskYesNoCancel, c.answer);
      ASSERT_EQ(Save(), 0);
    }
    Start(ini_);
    EXPECT_EQ(g_config.clips[0].length, c.stored);
    EXPECT_EQ(g_config.clips[0].longAccepted, c.stored > 65536);
    if (c.stored) {
      // Accepted once loaded: saving again asks nothing.
      g_config.clips[0].dirty = 1;
      g_config.clipsChanged = 1;
      ASSERT_EQ(Save(), 0);
    }
  }
}

FilterRecord Filter(const std::string &name) {
  FilterRecord f = {};
  strcpy(f.name, name.c_str());
  strcpy(f.Cmd, ("sort.exe /" + name).c_str());
  strcpy(f.Desc, "line one\nline two");
  f.Utf8 = 1;
  return f;
}

TEST_F(ConfigTest, FiltersCompareWithoutCaseUpToTheirTerminators) {
  FilterRecord stored = Filter("Upper");
  strcpy(stored.Desc, "Makes every letter of the text upper case, line by line");
  ASSERT_TRUE(AddFilter(&g_settings, stored));
  struct Case {
    size_t at;  // in Desc
    char c;
    bool junkAfter;
    bool present;
  } cases[] = {{0, 'm', false, true},  {12, 'L', true, true},  {13, 'x', false, false}, {3, 'E', false, true},
               {54, 0, true, false},   {55, '!', false, false}, {55, 0, true, true},     {40, '_', false, false}};
  for (const Case &c : cases) {
    FilterRecord f = stored;
    f.Desc[c.at] = c.c;
    if (c.junkAfter) memset(f.Desc + strlen(f.Desc) + 1, 'j', 40);
    EXPECT_EQ(FilterPresent(&g_settings, f), c.present) << c.at << " " << c.c;
  }
}

TEST_F(ConfigTest, FiltersMergeWhenTheyFitAndAskWhenTheyDoNot) {
  ASSERT_TRUE(WriteBytes(ini_, kBom));
  TwoSessions();
  ASSERT_TRUE(AddFilter(&g_settings, Filter("upper")));
  ASSERT_EQ(Save(), 0);
  Resume(b_);
  ASSERT_TRUE(AddFilter(&g_settings, Filter("lower")));
  {
    ScriptedAnswerer answers;
    answers.Expect("New filters configuration conflicts with filters recently changed in Config by another session. "
                   "The two sets of filters are now being merged in the Config. Please review the filters "
                   "afterwards.",
                   kAskInfo, kAnswerOk);
    ASSERT_EQ(Save(), 0);
  }
  Start(ini_);
  EXPECT_STREQ(g_settings.lists.filters[0].name, "lower");
  EXPECT_STREQ(g_settings.lists.filters[1].name, "upper");
  EXPECT_STREQ(g_settings.lists.filters[1].Desc, "line one\nline two");
  EXPECT_EQ(g_settings.lists.filters[1].Utf8, 1);

  // Fifty different filters on each side: no room, the user decides.
  for (int answer : {kAnswerNo, kAnswerYes}) {
    TwoSessions();
    for (int i = 0; i < 50; i++) g_settings.lists.filters[i] = Filter("a" + std::to_string(i));
    g_config.filters.dirty = 1;
    ASSERT_EQ(Save(), 0);
    Resume(b_);
    for (int i = 0; i < 50; i++) g_settings.lists.filters[i] = Filter("b" + std::to_string(i));
    g_config.filters.dirty = 1;
    {
      ScriptedAnswerer answers;
      answers.Expect("New filters configuration conflicts with filters recently changed in Config by another "
                     "session. There is not enough room to fully merge the two sets of filters. Do you want to "
                     "overwrite the filters in the Config?\n\nClick Yes to save the filters configured in this "
                     "session.\nClick No to keep the filters already in the Config.",
                     kAskYesNoCancel, answer);
      ASSERT_EQ(Save(), 0);
    }
    Start(ini_);
    EXPECT_STREQ(g_settings.lists.filters[0].name, answer == kAnswerNo ? "a0" : "b0");
    EXPECT_STREQ(g_settings.lists.filters[49].name, answer == kAnswerNo ? "a49" : "b49");
  }
}

TEST_F(ConfigTest, ChangeCounterThatWouldWrapBecomesOne) {
  ASSERT_TRUE(WriteBytes(ini_, kBom + "[Favs]\n00=x.txt\nInc=4294967295\n"));
  Start(ini_);
  EXPECT_EQ(g_config.favourites.inc, 0xFFFFFFFFu);
  ASSERT_TRUE(AddFavourite(&g_settings, "y.txt"));
  ASSERT_EQ(Save(), 0);
  EXPECT_TRUE(Has("Inc=1"));
  EXPECT_EQ(g_config.favourites.inc, 1u);
}

TEST_F(ConfigTest, OdometerAddsEverySessionsTyping) {
  ASSERT_TRUE(WriteBytes(ini_, kBom + "[Opts]\nODO=100\n"));
  TwoSessions();
  g_config.tripCount = 10;
  ASSERT_EQ(Save(), 0);
  EXPECT_EQ(g_config.tripCount, 0u);
  Resume(b_);
  g_config.tripCount = 0xFFFFFFFFull;  // carries into the high word
  ASSERT_EQ(Save(), 0);
  Start(ini_);
  u64 total = (static_cast<u64>(g_settings.opts.ODO[1]) << 32) | g_settings.opts.ODO[0];
  EXPECT_EQ(total, 110u + 0xFFFFFFFFull);
}

// ---- failures ----

TEST_F(ConfigTest, FailedSaveReportsAndTriesAgainNextTime) {
  const std::string original = kBom + "[Setts]\nTab=4\n";
  ASSERT_TRUE(WriteBytes(ini_, original));
  Start(ini_);
  g_settings.edit.Tab = 6;
  g_config.tripCount = 5;
  for (FaultKind kind : {kFaultOpen, kFaultWrite}) {
    FaultInjector fi = {};
    FaultPlan(&fi, kind, 1, true);
    ScopedFaultInjector scope(&fi);
    EXPECT_EQ(Save(), 48);
  }
  EXPECT_EQ(File(), original);
  EXPECT_EQ(g_baseline.edit.Tab, 4);
  EXPECT_EQ(g_config.tripCount, 5u);
  ASSERT_EQ(Save(), 0);
  EXPECT_TRUE(Has("Tab=6"));
  EXPECT_TRUE(Has("ODO=5"));
}

TEST_F(ConfigTest, SaveFaultLoopKeepsSettingsAndFileConsistent) {
  const std::string original = kBom + ";c\n[Setts]\nTab=4\n[Favs]\n00=a\nInc=3\n";
  std::string clean;
  for (u32 n = 1;; n++) {
    ASSERT_TRUE(WriteBytes(ini_, original));
    Start(ini_);
    g_settings.edit.Tab = 6;
    ASSERT_TRUE(AddFavourite(&g_settings, "b"));
    ASSERT_TRUE(SetClip(4, "clip", 4));
    FaultInjector fi = {};
    FaultPlan(&fi, kFaultAlloc, n, false);
    int r;
    {
      ScopedFaultInjector scope(&fi);
      r = Save();
    }
    if (!fi.fired[kFaultAlloc]) {
      ASSERT_EQ(r, 0);
      clean = File();
      break;
    }
    if (r != 0) {
      EXPECT_TRUE(r == -1 || r == 48) << r;
      EXPECT_EQ(File(), original) << "allocation " << n;
      EXPECT_EQ(g_baseline.edit.Tab, 4);
      ASSERT_EQ(Save(), 0);  // the next save does the whole job
    }
    Start(ini_);
    EXPECT_EQ(g_settings.edit.Tab, 6) << n;
    EXPECT_STREQ(g_settings.lists.favourites[1], "b") << n;
    EXPECT_EQ(std::string(g_config.clips[4].text ? g_config.clips[4].text : ""), "clip") << n;
  }
  EXPECT_NE(clean.find("Tab=6"), std::string::npos);
}

TEST_F(ConfigTest, LoadFaultLoopNeverCrashes) {
  ASSERT_TRUE(WriteBytes(ini_, kBom + "[Setts]\nTab=4\n[Favs]\n00=a\n[Clips]\n00=x\n[Filters]\n00=f\n[Filters\\00]\nCmd=c\n"));
  ScriptedAnswerer answers;
  answers.Allow("Out of Memory!", kAskWarning, kAnswerOk);
  for (u32 n = 1;; n++) {
    FaultInjector fi = {};
    FaultPlan(&fi, kFaultAlloc, n, true);
    {
      ScopedFaultInjector scope(&fi);
      Start(ini_);
    }
    if (!fi.fired[kFaultAlloc]) {
      EXPECT_EQ(g_settings.edit.Tab, 4);
      EXPECT_STREQ(g_settings.lists.filters[0].Cmd, "c");
      break;
    }
    EXPECT_TRUE(g_settings.edit.Tab == 4 || g_settings.edit.Tab == 8);
  }
}

TEST_F(ConfigTest, NamedFileThatCannotBeReadIsReported) {
  std::string missing = dir_.File("none.ini");
  ScriptedAnswerer answers;
  answers.Expect("Could not read file " + missing + "!", kAskWarning, kAnswerOk);
  Start(missing);
  EXPECT_EQ(g_settings.edit.Tab, 8);
  ASSERT_TRUE(WriteBytes(ini_, "[Setts]\nTab=4\n"));  // no byte-order mark
  answers.Expect("Could not read file " + ini_ + "!", kAskWarning, kAnswerOk);
  Start(ini_);
  EXPECT_EQ(g_settings.edit.Tab, 8);
}

// ---- where the store is ----

TEST_F(ConfigTest, ProgramFolderThenUserFolderThenRegistry) {
  TempFolder program, user;
  ASSERT_TRUE(WriteBytes(program.File("QuilPad.ini"), kBom + "[Save]\nIniUPF=1\nIniCWD=0\n[Setts]\nTab=3\nKeepX=9\n"));
  ASSERT_TRUE(WriteBytes(user.File("QuilPad.ini"), kBom + "[Setts]\nTab=5\n"));
  Fresh();
  LoadConfigFrom(program.path().c_str(), user.path().c_str());
  EXPECT_EQ(g_settings.edit.Tab, 5);    // the later file wins key by key
  EXPECT_EQ(g_settings.edit.KeepX, 9);  // and keeps what it does not name
  EXPECT_EQ(std::string(g_config.path), user.File("QuilPad.ini"));

  // Nothing readable: the registry.
  PlatRegKey setts = PlatRegOpen(nullptr, (registry_ + "\\Setts").c_str(), true);
  u32 tab = 7;
  ASSERT_TRUE(PlatRegSet(setts, "Tab", kRegDword, &tab, 4));
  PlatRegClose(setts);
  TempFolder empty;
  Fresh();
  LoadConfigFrom(empty.path().c_str(), empty.path().c_str());
  EXPECT_EQ(g_settings.edit.Tab, 7);
  EXPECT_EQ(g_config.path[0], 0);
}

TEST_F(ConfigTest, ExportWritesEverythingAndImportReadsItBack) {
  g_settings.edit.Tab = 3;
  ASSERT_TRUE(AddFavourite(&g_settings, "fav.txt"));
  g_config.tripCount = 4;
  std::string out = dir_.File("qlpcfg.ini");
  ASSERT_EQ(SaveConfig(nullptr, out.c_str(), false, true), 0);
  std::string bytes = ReadBytes(out);
  EXPECT_NE(bytes.find("\nTab=3\n"), std::string::npos);
  EXPECT_NE(bytes.find("\nKeepX=5\n"), std::string::npos);  // unchanged keys too
  EXPECT_NE(bytes.find("\nODO=4\n"), std::string::npos);
  EXPECT_NE(bytes.find("\n00=fav.txt\n"), std::string::npos);
  EXPECT_EQ(g_config.tripCount, 4u);  // still to be added to the shared total
  EXPECT_EQ(g_baseline.edit.Tab, 8);  // an export is not a save

  Fresh();
  ASSERT_EQ(ImportConfig(out.c_str()), 0);
  EXPECT_EQ(g_settings.edit.Tab, 3);
  EXPECT_STREQ(g_settings.lists.favourites[0], "fav.txt");
  EXPECT_EQ(g_baseline.edit.Tab, 8);
  EXPECT_EQ(g_config.path[0], 0);  // saves still go where they went
}

TEST_F(ConfigTest, RestoreDefaultsEmptiesTheSettingsButKeepsTheLists) {
  ASSERT_TRUE(WriteBytes(ini_, kBom + "[Setts]\nTab=4\n[Tools]\nCtMask=x\n[Favs]\n00=keep.txt\nInc=1\n"));
  Start(ini_);
  ASSERT_EQ(RestoreDefaultSettings(nullptr), 0);
  EXPECT_EQ(g_settings.edit.Tab, 8);
  EXPECT_STREQ(g_settings.lists.favourites[0], "keep.txt");
  std::string bytes = File();
  EXPECT_EQ(bytes.find("Tab="), std::string::npos);
  EXPECT_EQ(bytes.find("CtMask"), std::string::npos);
  EXPECT_NE(bytes.find("00=keep.txt"), std::string::npos);
}

}  // namespace
