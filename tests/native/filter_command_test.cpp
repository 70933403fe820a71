// The filter command line: every form of the template, the limits, and the
// quoting that a child's runtime must split back into the same argument.
#include <stdlib.h>

#include <string>

#include <gtest/gtest.h>

#include "foundation/char_class.h"
#include "tools/filter_command.h"

namespace {

struct Expanded {
  int result;
  std::string line;
  FilterCommandUse use;
};

Expanded Expand(const std::string &templ, const std::string &p1 = "", const char *path = nullptr,
                const std::string &selection = "") {
  FilterCommandInput in = {};
  in.templ = templ.c_str();
  in.params[0] = p1.c_str();
  in.params[4] = "five";
  in.path = path;
  in.selection = selection.data();
  in.selectionLength = static_cast<u32>(selection.size());
  Expanded e = {};
  char out[kFilterCommandChars + 1];
  e.result = ExpandFilterCommand(in, out, &e.use);
  e.line = out;
  return e;
}

TEST(FilterCommand, FormsOfTheTemplate) {
  const struct {
    const char *templ, *p1, *path, *selection, *line;
  } kCases[] = {
      {"prog %1 %5 %2.", "a b", nullptr, "", "prog a b five ."},
      {"%~1", "a\"b", nullptr, "", "\"a\"\"b\""},
      {"%\\1", "a\"b\\c", nullptr, "", "\"a\\\"b\\\\c\""},
      {"%F", "", "C:\\My Files\\a.txt", "", "\"C:\\My Files\\a.txt\""},
      {"x %F y", "", nullptr, "", "x \"\" y"},
      {"%~F|%\\F", "", "C:\\a b", "", "\"C:\\a b\"|\"C:\\\\a b\""},
      {"%S", "", nullptr, "sel \"q\"", "sel \"q\""},
      {"%~S", "", nullptr, "", "\"\""},
      {"100%% %x %~z %\\ %", "", nullptr, "", "100% %x %~z %\\ %"},
      {"%0%~%", "", nullptr, "", "%0%~%"},
      {"%f %s", "", "p", "s", "%f %s"},  // the letters are capitals
      // A backslash run before a quote the runtime reads is doubled.
      {"%~1", "C:\\dir\\", nullptr, "", "\"C:\\dir\\\\\""},
      {"%~1", "a\\\"b", nullptr, "", "\"a\\\\\"\"b\""},
      {"%~1", "a\\b", nullptr, "", "\"a\\b\""},
  };
  for (const auto &c : kCases) {
    const Expanded e = Expand(c.templ, c.p1, c.path, c.selection);
    EXPECT_EQ(e.result, kFilterCommandOk) << c.templ;
    EXPECT_EQ(e.line, c.line) << c.templ;
  }
  const Expanded e = Expand("%3 %~9 x %\\S %F");
  EXPECT_EQ(e.use.params, (1u << 2) | (1u << 8));
  EXPECT_TRUE(e.use.selection);
  EXPECT_TRUE(e.use.file);
  const Expanded none = Expand("%%1 %%S %%F %~");
  EXPECT_EQ(none.use.params, 0u);
  EXPECT_FALSE(none.use.selection || none.use.file);
}

TEST(FilterCommand, LimitsAndNul) {
  const std::string full(kFilterCommandChars, 'x');
  EXPECT_EQ(Expand(full).result, kFilterCommandOk);
  EXPECT_EQ(Expand(full).line, full);
  const Expanded over = Expand(full + "%%");
  EXPECT_EQ(over.result, kFilterCommandTooLong);
  EXPECT_EQ(over.line.size(), kFilterCommandChars);
  // 8,192 quotes, each doubled: far over, written no further than the buffer.
  const Expanded quotes = Expand("%~S %~S", "", nullptr, std::string(8192, '"'));
  EXPECT_EQ(quotes.result, kFilterCommandTooLong);
  // Nine parameters of 1,023 characters make 9,207: too long.
  FilterCommandInput in = {};
  const std::string p(kFilterParamChars, 'p');
  for (auto &param : in.params) param = p.c_str();
  in.templ = "%1%2%3%4%5%6%7%8%9";
  char out[kFilterCommandChars + 1];
  EXPECT_EQ(ExpandFilterCommand(in, out, nullptr), kFilterCommandTooLong);
  in.templ = "%1%2%3%4%5%6%7%8";
  EXPECT_EQ(ExpandFilterCommand(in, out, nullptr), kFilterCommandOk);
  EXPECT_EQ(Expand("a %S b", "", nullptr, std::string("x\0y", 3)).result, kFilterCommandHasNul);
  EXPECT_EQ(FilterSelectionBytes("abc", 3), 3u);
  EXPECT_EQ(FilterSelectionBytes(std::string(9000, 'a').c_str(), 9000), kFilterSelectionBytes);
}

// On a double-byte code page a trail byte 0x5C or 0x22 is part of its
// character: never escaped, never the end of a backslash run; the 8,192-byte
// cut of the selection never splits a pair.
TEST(FilterCommand, DoubleByteCharactersStayWhole) {
#ifndef _WIN32
  setenv("QP_ANSI_CODEPAGE", "932", 1);
  InitCharClasses();
#endif
  if (!IsLeadByte(0x81)) GTEST_SKIP() << "no double-byte code page here";
  EXPECT_EQ(Expand("%\\1", "\x95\x5C\\").line, "\"\x95\x5C\\\\\"");
  EXPECT_EQ(Expand("%~1", "\x95\x5C").line, "\"\x95\x5C\"");
  EXPECT_EQ(Expand("%~1", "\x95\x5C\"").line, "\"\x95\x5C\"\"\"");
  std::string text(8191, 'a');
  text += "\x95\x5C" "b";
  EXPECT_EQ(FilterSelectionBytes(text.data(), static_cast<u32>(text.size())), 8191u);
  text = std::string(8190, 'a') + "\x95\x5C" "b";
  EXPECT_EQ(FilterSelectionBytes(text.data(), static_cast<u32>(text.size())), 8192u);
#ifndef _WIN32
  unsetenv("QP_ANSI_CODEPAGE");
  InitCharClasses();
#endif
}

}  // namespace
