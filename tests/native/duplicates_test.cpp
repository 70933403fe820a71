// Unique, Unique ignoring case and Find Duplicates through the runner,
// against a model that finds first occurrences with a map and deletes from
// the last line to the first, over every job, case, empty-line and count
// option; the rules' examples; awk's '!seen[$0]++'; faults and cancel.
#include <gtest/gtest.h>

#include <stdio.h>

#include <map>
#include <string>
#include <vector>

#include "config/config_state.h"
#include "foundation/char_class.h"
#include "tests/support/tool_support.h"
#include "tools/sort_tools.h"

namespace {

using Line = TextLine;

std::string Model(const std::string &t, const DuplicatesSettings &s) {
  std::vector<Line> lines = SplitTextLines(t);
  std::map<std::string, int> seen, total;
  std::vector<bool> duplicate;
  auto key = [&](std::string k) {
    if (s.ignoreCase)
      for (char &c : k) c = static_cast<char>(ToLower(static_cast<u8>(c)));
    return k;
  };
  for (const Line &l : lines) total[key(l.text)]++;
  for (const Line &l : lines) duplicate.push_back(seen[key(l.text)]++ > 0);
  for (size_t k = lines.size(); k-- > 0;) {
    Line &l = lines[k];
    bool blank = true;
    for (char c : l.text) blank &= (CharType(static_cast<u8>(c)) & kC1Space) != 0;
    if (s.leaveEmpty && blank) continue;
    const int others = total[key(l.text)] - 1;
    const bool del = duplicate[k] || (s.job == 1 && others > 0) || (s.job == 2 && others == 0);
    if (del) {
      if (l.newline.empty() && k > 0) lines[k - 1].newline.clear();
      lines.erase(lines.begin() + static_cast<long>(k));
    } else if (s.count && s.job != 1) {
      l.text = "(" + std::to_string(others + 1) + ") " + l.text;
    }
  }
  std::string out;
  for (const Line &l : lines) out += l.text + l.newline;
  return out;
}

class Duplicates : public testing::Test {
 protected:
  void SetUp() override { saved_ = g_settings; }
  void TearDown() override { g_settings = saved_; }
  std::string Run(int id, const std::string &text, const DuplicatesSettings &s = {}) {
    g_settings.tools.UniJob = s.job;
    g_settings.tools.UniIC = s.ignoreCase;
    g_settings.tools.UniEmpt = s.leaveEmpty;
    g_settings.tools.UniDup = s.count;
    TestDocument d;
    d.Load(text);
    d.Select(0, static_cast<unsigned>(text.size()));
    ToolDescriptor tool;
    EXPECT_TRUE(DescribeTool(id, &tool));
    tool.flags |= kToolNoPullBack;  // the whole text, a newline at its end included
    ToolTestHost host;
    EXPECT_EQ(RunTool(d, &tool, host.Make(d), ToolRunSettings{2, 0, 0, 0}), 0);
    return d.Text();
  }
  SettingsBlock saved_;
};

TEST_F(Duplicates, TheExamplesOfTheRules) {
  EXPECT_EQ(Run(32510, "b\na\nb\na\nc"), "b\na\nc");
  EXPECT_EQ(Run(32520, "x\ny\nx\nx", {2, 0, 0, 1}), "(3) x");
  EXPECT_EQ(Run(32511, "A\na"), "A");
  EXPECT_EQ(Run(32510, "A\na"), "A\na");
  EXPECT_EQ(Run(32520, "x\r\ny\r\nx\r\nz", {1, 0, 0, 0}), "y\r\nz");
  EXPECT_EQ(Run(32520, "a\n\nb\n\n", {0, 0, 1, 1}), "(1) a\n\n(1) b\n\n");
  EXPECT_EQ(Run(32520, "a\nb\na", {0, 0, 0, 0}), "a\nb");
}

TEST_F(Duplicates, RandomLinesAgainstTheModel) {
  TestRandom rng(2520);
  const char *words[] = {"a", "A", "b", "", " ", "ab", "a\0b", "B"};
  const char *newlines[] = {"\n", "\r\n", "\r"};
  for (int round = 0; round < 1500; round++) {
    std::string text;
    for (unsigned i = 1 + rng.Below(12); i > 0; i--) {
      const unsigned w = rng.Below(8);
      text += w == 6 ? std::string("a\0b", 3) : words[w];
      if (i > 1 || rng.OneIn(3)) text += newlines[rng.Below(3)];
    }
    if (text.empty()) continue;  // nothing to run on
    const DuplicatesSettings s = {static_cast<int>(rng.Below(3)), static_cast<int>(rng.Below(2)),
                                  static_cast<int>(rng.Below(2)), static_cast<int>(rng.Below(2))};
    EXPECT_EQ(Run(32520, text, s), Model(text, s))
        << "job " << s.job << " ic " << s.ignoreCase << " empty " << s.leaveEmpty << " count " << s.count
        << " text '" << text << "'";
    if (HasFailure()) break;
  }
}

// Unique keeps what awk '!seen[$0]++' keeps, on lines with a final newline.
TEST_F(Duplicates, UniqueAgreesWithAwk) {
  TestRandom rng(32510);
  std::string text;
  for (int i = 0; i < 3000; i++) text += "w" + std::to_string(rng.Below(400)) + (rng.OneIn(5) ? " x" : "") + "\n";
  FILE *f = fopen("/tmp/quillpad-unique.txt", "wb");
  if (!f) GTEST_SKIP() << "no temporary file";
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
  FILE *p = popen("LC_ALL=C awk '!seen[$0]++' /tmp/quillpad-unique.txt 2>/dev/null", "r");
  std::string awk;
  char buffer[4096];
  for (size_t n; p && (n = fread(buffer, 1, sizeof buffer, p)) > 0;) awk.append(buffer, n);
  if (!p || pclose(p) != 0 || awk.empty()) GTEST_SKIP() << "no awk";
  remove("/tmp/quillpad-unique.txt");
  // The empty line after the final newline is the text's only empty line:
  // it stays, so the result ends with a newline as awk's output does.
  EXPECT_EQ(Run(32510, text), awk);
}

TEST_F(Duplicates, FaultsAndCancelChangeNothing) {
  std::string text;
  for (int i = 0; i < 2000; i++) text += "line " + std::to_string(i % 300) + "\n";
  g_settings.tools.UniJob = 2;
  g_settings.tools.UniDup = 1;
  for (int id : {32510, 32520}) ExpectFaultsAndCancelChangeNothing(id, text, 1, nullptr);
}

}  // namespace
