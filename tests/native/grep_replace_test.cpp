// Grep against a model built from per-line PCRE2 matches (random texts of
// every newline kind, random patterns of the shared dialect, empty matches,
// matches across the 128 steps) over keep/remove x only parts x numbers x
// context x empty lines; the rules' examples as a table; Extended Replace
// against the search's replace-all on the same text; Escape/UnEscape; the
// questions; faults and cancel.
#include <gtest/gtest.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <stdio.h>
#include <stdlib.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <memory>
#include <string>
#include <vector>

#include "config/config_state.h"
#include "document/edit.h"
#include "document/undo.h"
#include "search/search_run.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/tool_support.h"
#include "tools/grep_tools.h"

namespace {

using Line = TextLine;


// Every match of a line, as the search loop finds them: after an empty
// match, none empty at the same place.
std::vector<std::pair<size_t, size_t>> PcreMatches(pcre2_code *code, const std::string &s) {
  std::vector<std::pair<size_t, size_t>> out;
  pcre2_match_data *md = pcre2_match_data_create_from_pattern(code, nullptr);
  size_t start = 0;
  bool notEmpty = false;
  while (start <= s.size()) {
    const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(s.data()), s.size(), start,
                               notEmpty ? PCRE2_NOTEMPTY_ATSTART : 0, md, nullptr);
    if (rc < 0) break;
    const PCRE2_SIZE *v = pcre2_get_ovector_pointer(md);
    out.push_back({v[0], v[1]});
    notEmpty = v[0] == v[1];
    start = v[1];
  }
  pcre2_match_data_free(md);
  return out;
}

std::string Model(const std::string &t, pcre2_code *code, const GrepSettings &s, u32 *count) {
  const std::vector<Line> lines = SplitTextLines(t);
  const long n = static_cast<long>(lines.size());
  std::vector<std::vector<std::pair<size_t, size_t>>> m;
  *count = 0;
  for (const Line &l : lines) {
    m.push_back(PcreMatches(code, l.text));
    *count += static_cast<u32>(m.back().size());
  }
  auto num = [&](long i) { return s.numbers ? std::to_string(s.base + static_cast<u32>(i)) + ":" : std::string(); };
  std::string out;
  if (s.onlyParts) {
    for (long i = 0; i < n; i++) {
      const Line &l = lines[i];
      if (s.remove) {
        std::string kept;
        size_t from = 0;
        for (auto [a, b] : m[i]) kept += l.text.substr(from, a - from), from = b > from ? b : from;
        out += num(i) + kept + l.text.substr(from) + l.newline;
      } else if (!m[i].empty()) {
        out += num(i);
        for (auto [a, b] : m[i]) out += l.text.substr(a, b - a);
        out += l.newline;
      }
    }
    return out;
  }
  const long before = s.before > 0 ? s.before : 0, after = s.after > 0 ? s.after : 0;
  std::vector<std::pair<long, long>> blocks;
  for (long i = 0; i < n; i++) {
    if (m[i].empty()) continue;
    const long a = i - before < 0 ? 0 : i - before, b = i + after >= n ? n - 1 : i + after;
    if (!blocks.empty() && a <= blocks.back().second + 1) {
      if (b > blocks.back().second) blocks.back().second = b;
    } else {
      blocks.push_back({a, b});
    }
  }
  std::vector<bool> in(static_cast<size_t>(n));
  for (auto [a, b] : blocks)
    for (long i = a; i <= b; i++) in[i] = true;
  for (long i = 0; i < n; i++) {
    const Line &l = lines[i];
    bool blank = true;
    for (char c : l.text) blank &= c == ' ' || c == '\t';
    const bool between = !blocks.empty() && i > blocks.front().second && i < blocks.back().first;
    if (s.remove ? !in[i] : (in[i] || (s.keepEmpty && blank && between))) out += num(i) + l.text + l.newline;
  }
  return out;
}

// A pattern of the shared dialect that keeps to one line, in both notations.
struct Two {
  std::string ours, pcre;
};

Two RandomPattern(TestRandom &rng, bool regExps) {
  Two p;
  if (!regExps) {
    static const char kPlain[] = "abA ";
    for (unsigned k = 1 + rng.Below(3); k-- > 0;) p.ours += kPlain[rng.Below(4)];
    p.pcre = "\\Q" + p.ours + "\\E";
    return p;
  }
  static const char *const kOurs[] = {"a", "b", "A", ".", "[ab]", "[^a]", " ", "\\w"};
  static const char *const kPcre[] = {"a", "b", "A", "[^\\r\\n]", "[ab]", "[^a\\r\\n]", " ", "\\w"};
  static const char *const kQuant[] = {"", "", "*", "+", "?", "{0,2}", "*?", "+?", "{2}"};
  auto seq = [&]() {
    Two s;
    for (unsigned k = 1 + rng.Below(3); k-- > 0;) {
      const unsigned a = rng.Below(8), q = rng.Below(9);
      s.ours += std::string(kOurs[a]) + kQuant[q];
      s.pcre += std::string(kPcre[a]) + kQuant[q];
    }
    return s;
  };
  p = seq();
  if (rng.Below(4) == 0) {
    const Two alt = seq();
    p = {"(?:" + p.ours + "|" + alt.ours + ")", "(?:" + p.pcre + "|" + alt.pcre + ")"};
  }
  switch (rng.Below(8)) {
    case 0: p = {"^" + p.ours, "^" + p.pcre}; break;
    case 1: p = {p.ours + "$", p.pcre + "$"}; break;
    case 2: p = {"\\b" + p.ours, "\\b" + p.pcre}; break;
    default: break;
  }
  return p;
}

struct GrepRun {
  std::string out;
  int result;
  u32 matches;
};

GrepRun RunGrep(const std::string &text, const GrepSettings &settings) {
  GrepSettings s = settings;
  char message[1024] = "";
  s.message = message;
  ToolDocument in = {}, out = {};
  EXPECT_EQ(ToolDocumentAppend(&in, text.data(), static_cast<u32>(text.size())), 0);
  GrepRun r;
  r.result = GrepTool(&in, &out, reinterpret_cast<ToolParam>(&s));
  r.out.assign(out.text ? out.text : "", out.length);
  r.matches = 0;
  sscanf(message, "Total matches: %u", &r.matches);
  ToolDocumentFree(&in);
  ToolDocumentFree(&out);
  return r;
}

// Grep through the runner over the whole document, which it reads where it
// lies (with halves: cut in two after the line after the middle, where it
// may): the document's new text and the count.
GrepRun RunGrepInDocument(const std::string &text, const GrepSettings &s, bool pullBack, bool halves) {
  ScopedToolStreaming streaming(g_toolInputChunk, halves ? 1 : g_toolHalves);
  const ToolSettings saved = g_settings.tools;
  const u32 savedBase = g_grepLineBase;
  ToolSettings &t = g_settings.tools;
  snprintf(t.GrFind, sizeof t.GrFind, "%s", s.find);
  t.GrRem = s.remove;
  t.GrOnly = s.onlyParts;
  t.GrCase = s.matchCase;
  t.GrWWord = s.wholeWords;
  t.GrWLine = s.wholeLines;
  t.GrEsc = s.escapes;
  t.GrRgEx = s.regExps;
  t.GrNmbr = s.numbers;
  t.GrEmpty = s.keepEmpty;
  t.GrBefor = s.before;
  t.GrAfter = s.after;
  g_grepLineBase = s.base;
  TestDocument d;
  d.Load(text);
  d.Select(0, static_cast<unsigned>(text.size()));
  ToolDescriptor tool;
  EXPECT_TRUE(DescribeTool(32620, &tool));
  if (!pullBack) tool.flags |= kToolNoPullBack;
  ToolTestHost host;
  GrepRun r;
  r.result = RunTool(d, &tool, host.Make(d), ToolRunSettings{2, 0, 0, 0});
  r.out = d.Text();
  r.matches = 0;
  sscanf(host.messages.c_str(), "Total matches: %u", &r.matches);
  EXPECT_TRUE(DocOk(d));
  g_settings.tools = saved;
  g_grepLineBase = savedBase;
  return r;
}

TEST(Grep, AgreesWithPerLinePcreMatches) {
  TestRandom rng(20);
  static const char *const kPieces[] = {"a", "b", "A", " ", "ab", "ba", "\t", "\n", "\r", "\r\n", "\n\n", "aaa"};
  int cases = 0, nonEmptyOutputs = 0;
  for (int round = 0; round < 300; round++) {
    const bool regExps = round % 5 != 0;
    const Two p = RandomPattern(rng, regExps);
    const bool ignoreCase = rng.Below(2) == 0;
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code *code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p.pcre.c_str()), PCRE2_ZERO_TERMINATED,
                                     ignoreCase ? PCRE2_CASELESS : 0, &error, &offset, nullptr);
    ASSERT_TRUE(code) << p.pcre;
    std::unique_ptr<pcre2_code, void (*)(pcre2_code *)> owner(code, pcre2_code_free);
    std::string text;
    const unsigned pieces = rng.Below(4) == 0 ? rng.Below(4) : 20 + rng.Below(120);
    for (unsigned k = 0; k < pieces; k++) text += kPieces[rng.Below(12)];
    for (int mode = 0; mode < 8; mode++) {
      GrepSettings s = {};
      s.find = p.ours.c_str();
      s.regExps = regExps;
      s.matchCase = !ignoreCase;
      s.remove = mode & 1;
      s.onlyParts = (mode >> 1) & 1;
      s.numbers = (mode >> 2) & 1;
      s.keepEmpty = rng.Below(2);
      s.before = static_cast<int>(rng.Below(4)) - 1;
      s.after = static_cast<int>(rng.Below(4)) - 1;
      s.base = rng.Below(3);
      u32 count = 0;
      const std::string expected = Model(text, code, s, &count);
      const GrepRun got = RunGrep(text, s);
      SCOPED_TRACE(testing::Message() << "pattern " << p.ours << " mode " << mode << " B" << s.before << " A"
                                      << s.after << " empty " << s.keepEmpty << " text "
                                      << testing::PrintToString(text));
      ASSERT_EQ(got.result, 0);
      ASSERT_EQ(got.out, expected);
      ASSERT_EQ(got.matches, count);
      if (round % 2 == 0 && !text.empty() && PulledBack(text, 0, text.size()) > 0) {
        // The selection's end pulled back before a last newline, or not.
        const bool pullBack = round % 4 == 0;
        const size_t end = pullBack ? PulledBack(text, 0, text.size()) : text.size();
        u32 inDocument = 0;
        const std::string want = pullBack ? Model(text.substr(0, end), code, s, &inDocument) + text.substr(end) : expected;
        const GrepRun whole = RunGrepInDocument(text, s, pullBack, round % 8 < 4);
        ASSERT_EQ(whole.result, 0);
        ASSERT_EQ(whole.out, want) << "in the document";
        ASSERT_EQ(whole.matches, pullBack ? inDocument : count) << "in the document";
      }
      nonEmptyOutputs += !expected.empty();
      cases++;
    }
  }
  EXPECT_EQ(cases, 2400);
  EXPECT_GT(nonEmptyOutputs, 1000);
}

GrepSettings Settings(const char *find, int regExps = 0) {
  GrepSettings s = {};
  s.find = find;
  s.regExps = regExps;
  s.base = 1;
  return s;
}

TEST(Grep, Cases) {
  struct Case {
    const char *name;
    std::string text;
    GrepSettings s;
    std::string expected;
    u32 matches;
  };
  auto with = [](GrepSettings s, auto f) {
    f(s);
    return s;
  };
  const Case kCases[] = {
      {"one line after", "ok\nerr1\nok2\nok3", with(Settings("err"), [](GrepSettings &s) { s.after = 1; }),
       "err1\nok2\n", 1},
      {"negative context is none", "a\nerr\nb", with(Settings("err"), [](GrepSettings &s) { s.before = s.after = -5; }),
       "err\n", 1},
      {"touching blocks merge", "x\na\ny\nz\na\nw", with(Settings("a"), [](GrepSettings &s) { s.after = 1; s.before = 1; }),
       "x\na\ny\nz\na\nw", 2},
      {"empty matches end", "ab\n\nc", Settings("^", 1), "ab\n\nc", 3},
      {"^$ counts empty lines", "a\n\n\nb", Settings("^$", 1), "\n\n", 2},
      {"x* on CR LF", "ab\r\ncd", with(Settings("x*", 1), [](GrepSettings &s) { s.onlyParts = 1; }), "\r\n", 6},
      {"a match across lines", "ab\ncd\nef", Settings("b\\nc", 1), "ab\ncd\n", 1},
      {"across lines, only parts", "ab\ncd\nef", with(Settings("b\\nc", 1), [](GrepSettings &s) { s.onlyParts = 1; }),
       "b\nc\n", 1},
      {"across lines, cut, numbered", "ab\ncd\nef",
       with(Settings("b\\nc", 1), [](GrepSettings &s) { s.onlyParts = s.remove = s.numbers = 1; }), "1:ad\n3:ef", 1},
      {"numbers from the base", "q\nq", with(Settings("q"), [](GrepSettings &s) { s.numbers = 1; s.base = 7; }),
       "7:q\n8:q", 2},
      {"remove keeps no empty lines", "a\n\nb\n\na",
       with(Settings("a"), [](GrepSettings &s) { s.remove = 1; s.keepEmpty = 1; }), "\nb\n\n", 2},
      {"keep with empty lines between", "a\n \nb\n\na\n\n",
       with(Settings("a"), [](GrepSettings &s) { s.keepEmpty = 1; }), "a\n \n\na\n", 2},
      {"whole lines", "ab\nab c\nAB", with(Settings("ab"), [](GrepSettings &s) { s.wholeLines = 1; }), "ab\nAB", 2},
      {"match case", "ab\nAB", with(Settings("ab"), [](GrepSettings &s) { s.matchCase = 1; }), "ab\n", 1},
      {"whole words", "cab\nab\nabc", with(Settings("ab"), [](GrepSettings &s) { s.wholeWords = 1; }), "ab\n", 1},
      {"escapes", "a\tb\nab", with(Settings("\\t"), [](GrepSettings &s) { s.escapes = 1; }), "a\tb\n", 1},
      {"a newline stands for any", "a\r\nb\rc\nd", with(Settings("\\n", 1), [](GrepSettings &s) { s.onlyParts = 1; }),
       "\r\n\r\n", 3},
      {"no final newline, removed", "a\nb", with(Settings("b"), [](GrepSettings &s) { s.remove = 1; }), "a\n", 1},
      {"NUL bytes", std::string("a\0b\nc", 5), Settings("b"), std::string("a\0b\n", 4), 1},
      {"paragraph starts and ends (the rows)", "a\nb\n\nc\n \nd\ne", Settings("\\p.|.\\P", 1), "a\nb\nc\nd\ne", 5},
  };
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.name);
    const GrepRun r = RunGrep(c.text, c.s);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.out, c.expected);
    EXPECT_EQ(r.matches, c.matches);
  }
}

// Through the runner: the dialog's settings, the message, errors, warnings.
void SetGrep(const char *find, int regExps) {
  ToolSettings &t = g_settings.tools;
  t = ToolSettings{};
  snprintf(t.GrFind, sizeof t.GrFind, "%s", find);
  t.GrRgEx = regExps;
}

#ifndef _WIN32
// The same files through GNU grep where both mean the same: a literal
// pattern matched with case, keep (-F), remove (-v), numbers (-n) and
// context (-A, -B; blocks apart follow each other with nothing between).
TEST(Grep, AgreesWithGnuGrepOnFiles) {
  if (system("grep --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no grep here";
  TestRandom rng(20261207);
  static const char *const kWords[] = {"alpha", "beta", "gamma", "Alpha", "delta beta", ""};
  char path[] = "/tmp/qp-grep-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  for (int round = 0; round < 40; round++) {
    std::string text;
    for (unsigned n = 1 + rng.Below(60); n; n--) text += std::string(kWords[rng.Below(6)]) + "\n";
    ASSERT_EQ(pwrite(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(text.size())), 0);
    const char *word = kWords[rng.Below(3)];
    const int mode = round % 4;
    GrepSettings s = Settings(word);
    s.matchCase = 1;
    std::string options = "-F";
    if (mode == 1) s.remove = 1, options += " -v";
    if (mode == 2) s.numbers = 1, options += " -n";
    if (mode == 3) {
      s.before = static_cast<int>(rng.Below(3));
      s.after = static_cast<int>(rng.Below(3));
      options += " -B" + std::to_string(s.before) + " -A" + std::to_string(s.after) + " --no-group-separator";
    }
    const std::string command = "grep " + options + " -- '" + word + "' " + path;
    std::string gnu;
    if (FILE *p = popen(command.c_str(), "r")) {
      char buf[4096];
      for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) gnu.append(buf, n);
      pclose(p);
    }
    const std::string ours = RunGrep(text, s).out;
    EXPECT_EQ(ours, gnu) << command << "\n" << text;
  }
  close(fd);
  unlink(path);
}
#endif

TEST(Grep, RunnerMessagesErrorsAndWarnings) {
  const ToolSettings saved = g_settings.tools;
  {
    SetGrep("err", 0);
    TestDocument d;
    d.Load("ok\nerr1\nok2\nerr3");
    ToolTestHost host;
    EXPECT_EQ(RunTableTool(d, 32620, 0, 16, &host), 0);
    EXPECT_EQ(d.Text(), "err1\nerr3");
    EXPECT_EQ(host.messages, "Total matches: 2|");
    EXPECT_EQ(UndoRedo(d, kUndo), 1);
    EXPECT_EQ(d.Text(), "ok\nerr1\nok2\nerr3");
  }
  {
    SetGrep("(a", 1);
    TestDocument d;
    d.Load("a(a");
    ToolTestHost host;
    EXPECT_EQ(RunTableTool(d, 32620, 0, 3, &host), 530);
    EXPECT_EQ(host.messages, "Pattern error: Bleeding group!|");
    EXPECT_EQ(d.Text(), "a(a");
  }
  for (int answer : {kAnswerNo, kAnswerYes}) {
    SetGrep("[b-a]", 1);
    TestDocument d;
    d.Load("ab\nc");
    ScriptedAnswerer script;
    script.Expect("Pattern warning: Reversed range.\nDo you want to continue?", kAskYesNo, answer);
    ToolTestHost host;
    const int r = RunTableTool(d, 32620, 0, 4, &host);
    EXPECT_EQ(r, answer == kAnswerYes ? 0 : kResultCancelled);
    if (answer == kAnswerNo) {
      EXPECT_EQ(d.Text(), "ab\nc");
    }
  }
  SetGrep("[ab]", 1);
  g_settings.tools.GrNmbr = 1;
  g_settings.tools.GrAfter = 1;
  ExpectFaultsAndCancelChangeNothing(32620, "xa\ny\nz\nb\nq", 0, "1:xa\n2:y\n4:b\n5:q");
  g_settings.tools = saved;
}

// ---- Extended Replace ----

void SetReplace(const char *find, const char *replace, int matchCase, int words, int regExps, int mimic) {
  ToolSettings &t = g_settings.tools;
  snprintf(t.RepPatt, sizeof t.RepPatt, "%s", find);
  snprintf(t.RepRepl, sizeof t.RepRepl, "%s", replace);
  t.RepCase = matchCase;
  t.RepWrds = words;
  t.RepRgEx = regExps;
  t.RepMim = mimic;
}

struct SearchHostOf {
  Document *doc;
  static int Edit(void *c, const EditBatch *b) { return ApplyEditBatch(static_cast<SearchHostOf *>(c)->doc, b); }
  static void Select(void *c, u32 a, u32 b, bool) { SetSelection(static_cast<SearchHostOf *>(c)->doc, a, b); }
};

TEST(ExtendedReplace, EqualsReplaceAllOfTheSearch) {
  static const struct {
    const char *find;
    int words, regExps;
  } kPatterns[] = {
      {"a", 0, 0}, {"ab", 0, 0}, {"a*", 0, 1}, {"b+", 0, 1}, {"\\bab", 0, 1}, {"^a", 0, 1}, {"a$", 0, 1},
      {"(?<=a)b", 0, 1}, {"\\n", 0, 1}, {"(a)(b)?", 0, 1}, {"ba", 1, 0}, {"x*", 0, 1}, {"(?=b)", 0, 1}, {"\n", 0, 0},
  };
  static const char *const kReplacements[] = {"", "X", "\\&\\&", "[\\1\\2]", "\\n", "\\#d.", "Yz", "a\r"};
  const ToolSettings saved = g_settings.tools;
  TestRandom rng(34320);
  static const char kAlphabet[] = {'a', 'b', 'A', 'B', ' ', '\r', '\n', '\0', 'a'};
  int cases = 0;
  for (const auto &p : kPatterns) {
    for (const char *replacement : kReplacements) {
      for (int round = 0; round < 3; round++) {
        std::string text;
        const unsigned n = round == 2 ? 500 + rng.Below(1500) : rng.Below(60);
        for (unsigned i = 0; i < n; i++) text += kAlphabet[rng.Below(sizeof kAlphabet)];
        const int matchCase = rng.Below(2), mimic = rng.Below(2);
        SetReplace(p.find, replacement, matchCase, p.words, p.regExps, mimic);
        SCOPED_TRACE(std::string(p.find) + " -> " + replacement + " over " + testing::PrintToString(text));
        // The search, with the tool's flags, over the same text.
        std::unique_ptr<CompiledPattern> cp(new CompiledPattern());
        const u32 flags = kPatternAnyNewline | (matchCase ? 0 : kPatternIgnoreCase) |
                          (p.words ? kPatternWholeWords : 0) | (p.regExps ? kPatternRegExps : 0);
        ASSERT_EQ(CompilePattern(cp.get(), p.find, flags), 0);
        snprintf(cp->replace, sizeof cp->replace, "%s", replacement);
        cp->flags |= kPatternUndefinedEmpty;
        TestDocument model, ours;
        model.Load(text);
        ours.Load(text);
        model->newlineType = ours->newlineType = static_cast<u32>(round);
        SetSelection(model, 0, n);  // the tool's selection: no empty match is refused at the start
        SearchHostOf h{model};
        SearchRun run = {model, cp.get(), kSearchReplaceAll | kSearchFromStart | (mimic ? kSearchMimic : 0u),
                         SearchHost{&h, SearchHostOf::Select, SearchHostOf::Edit, nullptr}, nullptr, false};
        const int count = RunSearchLoop(&run);
        FreePattern(cp.get());
        ScriptedAnswerer script;
        script.Allow("Undefined back-reference in the replace pattern!\n\nClick Yes to replace it with empty "
                     "strings.\nClick No to skip such occurrences.",
                     kAskYesNoCancel, kAnswerYes);
        ToolTestHost host;
        const int r = RunTableTool(ours, 34320, 0, n, &host);
        if (n == 0) {
          EXPECT_EQ(r, kResultCancelled) << "nothing to select";
          continue;
        }
        if (count < 0) {
          EXPECT_EQ(host.messages, "Error in the replace pattern!|");
          EXPECT_EQ(ours.Text(), text);
          continue;
        }
        ASSERT_EQ(r, 0);
        ASSERT_EQ(ours.Text(), model.Text());
        EXPECT_LE(script.asked().size(), 1u);
        cases++;
      }
    }
  }
  EXPECT_GT(cases, 250);
  g_settings.tools = saved;
}

TEST(ExtendedReplace, QuestionsFaultsAndCancel) {
  const ToolSettings saved = g_settings.tools;
  const std::string question =
      "Undefined back-reference in the replace pattern!\n\nClick Yes to replace it with empty strings.\nClick No "
      "to skip such occurrences.";
  static const struct {
    int answer;
    const char *expected;
  } kAnswers[] = {{kAnswerYes, "[a][]x[a]"}, {kAnswerNo, "[a]bx[a]"}, {kAnswerCancel, "abxa"}};
  for (const auto &a : kAnswers) {
    SetReplace("(a)|(b)", "[\\1]", 0, 0, 1, 0);
    TestDocument d;
    d.Load("abxa");
    ScriptedAnswerer script;
    script.Expect(question, kAskYesNoCancel, a.answer);
    RunTableTool(d, 34320, 0, 4);
    EXPECT_EQ(d.Text(), a.expected);
  }
  // Without RegExps the replace text goes in as it stands; mimic case.
  SetReplace("bumuk", "\\n&x", 0, 0, 0, 0);
  {
    TestDocument d;
    d.Load("a BUMUK b");
    EXPECT_EQ(RunTableTool(d, 34320, 0, 9), 0);
    EXPECT_EQ(d.Text(), "a \\n&x b");
  }
  SetReplace("bumuk", "other", 0, 0, 0, 1);
  {
    TestDocument d;
    d.Load("BUMUK Bumuk bumuk");
    EXPECT_EQ(RunTableTool(d, 34320, 0, 17), 0);
    EXPECT_EQ(d.Text(), "OTHER Other other");
  }
  SetReplace("b", "[\\&]", 1, 0, 1, 0);
  ExpectFaultsAndCancelChangeNothing(34320, "abcb\r\nb", 0, "a[b]c[b]\r\n[b]");
  g_settings.tools = saved;
}

TEST(ExtendedReplace, EscapeAndUnEscapeRoundTrip) {
  TestRandom rng(300);
  static const char kAlphabet[] = "ab\\\\\t\n\rnt x";
  char escaped[512], back[512];
  for (int round = 0; round < 2000; round++) {
    std::string s;
    for (unsigned k = rng.Below(40); k-- > 0;) s += kAlphabet[rng.Below(sizeof kAlphabet - 1)];
    const u32 n = EscapeText(s.c_str(), escaped, sizeof escaped);
    ASSERT_EQ(n, strlen(escaped));
    EXPECT_EQ(strpbrk(escaped, "\t\r\n"), nullptr);
    EXPECT_EQ(UnEscapeText(escaped, back, sizeof back), s.size());
    ASSERT_EQ(back, s);
  }
  EXPECT_EQ(UnEscapeText("a\\qb\\", back, sizeof back), 5u);
  EXPECT_STREQ(back, "a\\qb\\");
  EXPECT_EQ(EscapeText("\\\\\\", escaped, 4), 6u);  // does not fit: the length it needs
  EXPECT_STREQ(escaped, "\\\\\\");
}

}  // namespace
