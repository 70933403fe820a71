// Several processes sharing one configuration store through the mutex.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config_io.h"
#include "config/config_lists.h"
#include "foundation/bytes.h"
#include "foundation/platform.h"
#include "tests/support/test_files.h"
#include "tests/win/gui_helpers.h"

namespace {

const std::string kBom = "\xEF\xBB\xBF";

class ConfigSharing : public testing::Test {
 protected:
  void SetUp() override {
    ini_ = dir_.File("QuilPad.ini");
    ASSERT_TRUE(WriteBytes(ini_, kBom));
    static int counter;
    registry_ = "Software\\QuillpadTests\\S" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
  }
  void TearDown() override { PlatRegDeleteTree(nullptr, registry_.c_str()); }

  std::string Session(const std::string &actions) {
    return "\"" + ExeDir() + "qp_config_session.exe\" " + actions;
  }
  std::string Store() { return "--ini \"" + ini_ + "\""; }
  std::string Flag(const char *name) { return "\"" + dir_.File(name) + "\""; }

  // Runs the sessions at the same time; each must end with exit code 0.
  void Run(const std::vector<std::string> &sessions) {
    std::vector<Program *> running;
    for (const std::string &s : sessions) running.push_back(new Program(Session(s)));
    for (Program *p : running) {
      EXPECT_TRUE(p->started());
      EXPECT_EQ(p->WaitExit(60000), 0u);
      delete p;
    }
  }

  // Two sessions that both load before either saves; the first does `first`
  // and saves, then the second (with `secondOptions`) does `second` and saves.
  std::vector<std::string> Overlapping(const std::string &store, const std::string &first, const std::string &second,
                                       const std::string &secondOptions = "") {
    return {store + " load signal " + Flag("a") + " wait " + Flag("b") + " " + first + " save signal " + Flag("a.saved"),
            store + secondOptions + " load signal " + Flag("b") + " wait " + Flag("a.saved") + " " + second + " save"};
  }

  // The store as a fresh session of this process sees it.
  void LoadHere(bool registry = false) {
    FreeClips();
    MemZero(&g_config, sizeof g_config);
    SetDefaultSettings(&g_settings, true);
    if (registry)
      SetRegistryRoot(registry_.c_str());
    else
      StrCopyN(g_config.configFile, ini_.c_str(), sizeof g_config.configFile);
    LoadConfigFrom(nullptr, nullptr);
  }

  TempFolder dir_;
  std::string ini_;
  std::string registry_;
};

// Keys alone and lists alone (the registry store below does both at once).
TEST_F(ConfigSharing, TwoSessionsChangingDifferentKeysBothSurvive) {
  Run(Overlapping(Store(), "tab 4", "font Consolas"));
  LoadHere();
  EXPECT_EQ(g_settings.edit.Tab, 4);
  EXPECT_STREQ(g_settings.edit.LF1_.faceName, "Consolas");
}

TEST_F(ConfigSharing, TwoSessionsAddingFavouritesBothSurvive) {
  Run(Overlapping(Store(), "fav C:\\a.txt", "fav C:\\b.txt"));
  LoadHere();
  EXPECT_STREQ(g_settings.lists.favourites[0], "C:\\b.txt");
  EXPECT_STREQ(g_settings.lists.favourites[1], "C:\\a.txt");
}

TEST_F(ConfigSharing, ClipChangedInBothAsksTheSessionThatSavesSecond) {
  std::string log = dir_.File("questions.txt");
  Run(Overlapping(Store(), "clip 0 first", "clip 0 second", " log \"" + log + "\" answer no"));
  EXPECT_EQ(ReadBytes(log),
            "Text stored in Clip 1 conflicts with text recently changed in Config by another session. Do you want "
            "to overwrite the one in the Config?\n\nClick Yes to save the new text from this session.\nClick No to "
            "keep the text already in the Config.\n--\n");
  LoadHere();
  ASSERT_NE(g_config.clips[0].text, nullptr);
  EXPECT_STREQ(g_config.clips[0].text, "first");
  FreeClips();
}

TEST_F(ConfigSharing, CounterThatWouldWrapBecomesOne) {
  ASSERT_TRUE(WriteBytes(ini_, kBom + "[Favs]\nInc=4294967295\n"));
  Run({Store() + " load fav x.txt save"});
  EXPECT_NE(ReadBytes(ini_).find("\nInc=1\n"), std::string::npos);
}

TEST_F(ConfigSharing, RegistryStoreIsSharedToo) {
  Run(Overlapping("--registry " + registry_, "tab 6 fav one", "font Tahoma fav two"));
  LoadHere(true);
  EXPECT_EQ(g_settings.edit.Tab, 6);
  EXPECT_STREQ(g_settings.edit.LF1_.faceName, "Tahoma");
  EXPECT_STREQ(g_settings.lists.favourites[0], "two");
  EXPECT_STREQ(g_settings.lists.favourites[1], "one");
}

// Saves that overlap in time: the mutex orders them, so that no session's
// typing or favourite is lost.
TEST_F(ConfigSharing, OverlappingSavesLoseNothing) {
  std::vector<std::string> sessions;
  for (int s = 0; s < 3; s++) {
    std::string actions = Store() + " load";
    for (int k = 0; k < 8; k++) actions += " trip 1 fav s" + std::to_string(s) + "_" + std::to_string(k) + " save";
    sessions.push_back(actions);
  }
  Run(sessions);
  LoadHere();
  EXPECT_EQ(g_settings.opts.ODO[0], 24u);
  int favourites = 0;
  for (const auto &f : g_settings.lists.favourites) favourites += f[0] != 0;
  EXPECT_EQ(favourites, 24);
}

}  // namespace
