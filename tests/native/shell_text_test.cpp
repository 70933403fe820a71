// The addresses and folders the shell hands to the system, and the rules of
// the update check: its due rule, the answer's effect on the Update keys, and
// the periodic check against a model of saves and spawns.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/shell_text.h"

namespace {

TEST(ShellText, ManualUrlAndCommandFolder) {
  struct Case {
    const char *folder, *url;
  } const kManual[] = {
      {"C:\\Quillpad\\", "file:///C:/Quillpad/QuilPad.htm"},
      {"C:\\Program Files\\Q #1\\100%\\", "file:///C:/Program%20Files/Q%20%231/100%25/QuilPad.htm"},
      {"\\\\srv\\share\\", "file://///srv/share/QuilPad.htm"},
  };
  char out[300];
  for (const Case &c : kManual) {
    ASSERT_TRUE(BuildManualUrl(c.folder, out, sizeof out)) << c.folder;
    EXPECT_STREQ(out, c.url);
  }
  // One byte short of the whole address: refused, nothing half-built.
  const size_t whole = strlen(kManual[1].url) + 1;
  EXPECT_FALSE(BuildManualUrl(kManual[1].folder, out, whole - 1));
  EXPECT_STREQ(out, "");
  EXPECT_TRUE(BuildManualUrl(kManual[1].folder, out, whole));

  struct Folder {
    const char *path, *folder;
  } const kFolders[] = {
      {"C:\\x.txt", "C:\\"},          {"C:\\a\\b.txt", "C:\\a"}, {"C:\\a b\\c\\d.txt", "C:\\a b\\c"},
      {"\\\\srv\\share\\x", "\\\\srv\\share"}, {"\\x.txt", "\\"},
  };
  for (const Folder &f : kFolders) {
    ASSERT_TRUE(FolderOfFile(f.path, out, sizeof out)) << f.path;
    EXPECT_STREQ(out, f.folder);
  }
  EXPECT_FALSE(FolderOfFile("x.txt", out, sizeof out));
  EXPECT_FALSE(FolderOfFile("", out, sizeof out));
}

// The characters of the model's alphabet: code page 1252 bytes and their UTF-8.
struct Letter {
  char ansi;
  std::string utf8;
};
const Letter kAlphabet[] = {{'a', "a"}, {'Z', "Z"}, {'7', "7"},  {'-', "-"},  {'~', "~"},
                            {' ', " "}, {'\r', " "}, {'\n', " "}, {'\t', " "}, {'"', "\""},
                            {'&', "&"}, {'#', "#"},  {'%', "%"},  {'+', "+"},  {'/', "/"},
                            {'\xE9', "\xC3\xA9"},    {'\x80', "\xE2\x82\xAC"}};

std::string Decode(const std::string &s, bool *wellFormed) {
  std::string out;
  *wellFormed = true;
  for (size_t i = 0; i < s.size(); i++) {
    const char c = s[i];
    if (c == '%') {
      if (i + 2 >= s.size()) {
        *wellFormed = false;
        return out;
      }
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else if (isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      *wellFormed = false;
    }
  }
  return out;
}

TEST(ShellText, SearchUrlEncodesEveryCharacterAndCutsOnlyBetweenThem) {
  char out[4096];
  // Two lines and the injection text: one query argument, nothing raw.
  const std::string twoLines = "a\" --x \"b\r\nc&d#e%f";
  ASSERT_TRUE(BuildSearchUrl("s.test", twoLines.data(), twoLines.size(), out, sizeof out));
  EXPECT_STREQ(out, "http://s.test/search?q=a%22%20--x%20%22b%20%20c%26d%23e%25f");
  EXPECT_FALSE(BuildSearchUrl("", "a", 1, out, sizeof out));
  EXPECT_FALSE(BuildSearchUrl("s.test", "", 0, out, sizeof out));

  std::mt19937 rng(23);
  for (int round = 0; round < 300; round++) {
    const size_t n = round < 100 ? rng() % 40 + 1 : rng() % 3000 + 1;
    std::string ansi, utf8;
    std::vector<size_t> ends;  // where each character's UTF-8 ends
    for (size_t i = 0; i < n; i++) {
      const Letter &l = kAlphabet[rng() % (sizeof kAlphabet / sizeof kAlphabet[0])];
      ansi += l.ansi;
      utf8 += l.utf8;
      ends.push_back(utf8.size());
    }
    ASSERT_TRUE(BuildSearchUrl("h", ansi.data(), ansi.size(), out, sizeof out));
    const std::string url = out, prefix = "http://h/search?q=";
    ASSERT_EQ(url.compare(0, prefix.size(), prefix), 0);
    ASSERT_LE(url.size(), kSearchUrlMost);
    bool wellFormed;
    const std::string query = url.substr(prefix.size());
    const std::string decoded = Decode(query, &wellFormed);
    ASSERT_TRUE(wellFormed) << url;
    ASSERT_EQ(utf8.compare(0, decoded.size(), decoded), 0) << "round " << round;
    if (decoded.size() == utf8.size()) continue;
    // Cut: at a character's end, and the next character would not have fitted.
    size_t k = 0;
    while (k < ends.size() && ends[k] < decoded.size()) k++;
    ASSERT_TRUE(decoded.empty() || (k < ends.size() && ends[k] == decoded.size())) << "cut inside a character";
    const size_t next = decoded.empty() ? 0 : k + 1;
    const size_t from = next == 0 ? 0 : ends[next - 1];
    size_t cost = 0;
    for (size_t b = from; b < ends[next]; b++) {
      const char c = utf8[b];
      cost += isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' || c == '~' ? 1 : 3;
    }
    EXPECT_GT(url.size() + cost, kSearchUrlMost) << "cut although the next character fitted";
  }
}

TEST(ShellText, DueRuleAndAnswers) {
  struct Due {
    u32 now, last, fail;
    bool due;
  } const kDue[] = {
      {2000, 592, 0, true},   {2000, 593, 0, false},  // 1408 units without failures
      {1024, 1000, 3, true},  {1023, 1000, 3, false},  // three failures: 24 units
      {100, 200, 0, true},                              // Last in the future: due, not stuck
      {0x10, 0xFFFFFFF0u, 4, true},                     // across the wrap of the clock: 32 units
      {0x0F, 0xFFFFFFF0u, 4, false},
      {5, 4, 0x40000000u, false},                       // Fail x 8 past 32 bits is never due early
      {0, 0, 0, false},
  };
  for (const Due &d : kDue)
    EXPECT_EQ(UpdateCheckDue(d.now, d.last, d.fail), d.due) << d.now << " " << d.last << " " << d.fail;

  struct Answer {
    int status;
    bool silent;
    UpdateNotice notice;
    u32 fail, version;
  } const kAnswers[] = {
      {200, false, kNoticeNewVersion, 0, 200}, {200, true, kNoticeNewVersion, 0, 200},
      {404, false, kNoticeNoUpdate, 0, 0},     {404, true, kNoticeNone, 0, 0},
      {500, false, kNoticeConnectionError, 4, 77}, {0, true, kNoticeNone, 4, 77},
      {302, false, kNoticeConnectionError, 4, 77},
  };
  for (const Answer &a : kAnswers) {
    UpdateSettings u = {};
    u.Fail = 3;
    u.Version = 77;
    EXPECT_EQ(ApplyUpdateStatus(&u, a.status, 9999, a.silent), a.notice) << a.status;
    EXPECT_EQ(u.Fail, a.fail);
    EXPECT_EQ(u.Version, a.version);
    EXPECT_EQ(u.Last, 9999u);
  }
}

// The periodic check against a model: saves that succeed or fail by a script,
// spawns counted, the random draw given.
struct PeriodicModel {
  std::vector<int> saves;  // results of the saves in turn; 0 when the script ends
  size_t saved = 0;
  int spawns = 0;
  u32 draw = 1;
  PeriodicHooks Hooks() {
    return {[](void *c) {
              auto *m = static_cast<PeriodicModel *>(c);
              return m->saved < m->saves.size() ? m->saves[m->saved++] : (m->saved++, 0);
            },
            [](void *c) { static_cast<PeriodicModel *>(c)->spawns++; },
            [](void *c) { return static_cast<PeriodicModel *>(c)->draw; }, this};
  }
};

TEST(ShellText, PeriodicCheckFirstRunDueSpawnAndFailedSaves) {
  // First start: a hash is made, Last goes 1400 back, nothing is started.
  UpdateSettings u = {};
  PeriodicModel first;
  EXPECT_EQ(RunPeriodicCheck(&u, 50000, first.Hooks()), kPeriodicFirstRun);
  EXPECT_EQ(strlen(u.Hash), 15u);
  for (int i = 0; i < 15; i++) EXPECT_TRUE(u.Hash[i] >= 'a' && u.Hash[i] <= 'z');
  EXPECT_EQ(u.Last, 50000u - 1400);
  EXPECT_EQ(u.Inc, 1u);
  EXPECT_EQ(first.saved, 2u);
  EXPECT_EQ(first.spawns, 0);
  const std::string hash = u.Hash;
  // Seven units later not yet; eight units later the process is started.
  PeriodicModel early, due;
  EXPECT_EQ(RunPeriodicCheck(&u, 50007, early.Hooks()), kPeriodicNotDue);
  EXPECT_EQ(early.saved, 0u);
  EXPECT_EQ(RunPeriodicCheck(&u, 50008, due.Hooks()), kPeriodicSpawned);
  EXPECT_EQ(due.spawns, 1);
  EXPECT_EQ(due.saved, 1u);
  EXPECT_EQ(u.Inc, 2u);
  EXPECT_EQ(u.Hash, hash);  // kept

  // A failed save starts the process only on a draw of one in 32.
  for (u32 draw : {0u, 1u, 31u, 32u, 64u}) {
    UpdateSettings v = {};
    strcpy(v.Hash, "abcdefghijklmno");
    v.Last = 10;
    PeriodicModel failed;
    failed.saves = {48};
    failed.draw = draw;
    EXPECT_EQ(RunPeriodicCheck(&v, 10 + 1408, failed.Hooks()), kPeriodicSaveFailed);
    EXPECT_EQ(failed.spawns, draw % 32 == 0 ? 1 : 0) << draw;
  }
  // First run whose second save fails: the same draw.
  UpdateSettings w = {};
  PeriodicModel second;
  second.saves = {0, 48};
  second.draw = 64;
  EXPECT_EQ(RunPeriodicCheck(&w, 9000, second.Hooks()), kPeriodicSaveFailed);
  EXPECT_EQ(second.spawns, 1);
}

}  // namespace
