#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "foundation/texts.h"
#include "tests/support/scripted_answerer.h"

namespace {

StartupOptions Parse(const std::string &line) {
  StartupOptions o;
  memset(&o, 0, sizeof o);
  ParseCommandLineText(line.c_str(), &o);
  return o;
}

std::string UnknownMessage(const std::string &option, const std::string &line) {
  return "Unknown command line parameter:\n\n" + option + "\n\nCommand line:\n\n" + line;
}

TEST(CommandLine, ProgramNameAloneOpensNothing) {
  EXPECT_STREQ(Parse("quillpad.exe").fileName, "");
  EXPECT_STREQ(Parse("\"C:\\Program Files\\Quillpad\\quillpad.exe\"").fileName, "");
  EXPECT_STREQ(Parse("\"C:\\Program Files\\Quillpad\\quillpad.exe\"   ").fileName, "");
  EXPECT_STREQ(Parse("").fileName, "");
  // A quoted program name right before the file name.
  EXPECT_STREQ(Parse("\"C:\\q p\\quillpad.exe\" a.txt").fileName, "a.txt");
  EXPECT_STREQ(Parse("\"unterminated").fileName, "");
}

TEST(CommandLine, FileNameQuotedOrUnquotedWithSpaces) {
  EXPECT_STREQ(Parse("q.exe C:\\My Texts\\a b.txt").fileName, "C:\\My Texts\\a b.txt");
  EXPECT_STREQ(Parse("q.exe \"C:\\My Texts\\a b.txt\"").fileName, "C:\\My Texts\\a b.txt");
  EXPECT_STREQ(Parse("q.exe \"C:\\My Texts\\a b.txt\" trailing").fileName, "C:\\My Texts\\a b.txt");
  EXPECT_STREQ(Parse("q.exe /l 3 notes.txt").fileName, "notes.txt");
  // Options end at the first text without "/": a later "/x" is part of the name.
  StartupOptions o = Parse("q.exe a.txt /x 5");
  EXPECT_STREQ(o.fileName, "a.txt /x 5");
  EXPECT_EQ(o.hasLeft, 0);
}

struct Field {
  const char *name;
  int got, want;
};
#define D(field, value) {#field, o.field, value}

TEST(CommandLine, FlagsAreCountersAndCaseSensitive) {
  StartupOptions o = Parse("q.exe /A /U /W /F /H /M /T /b /m /p /u /v /? /nl /ns //p //s /A");
  const Field fields[] = {
      D(encodingAnsi, 2), D(encodingUtf8, 1),   D(encodingUnicode, 1), D(fullscreen, 1),     D(hidden, 1),
      D(maximized, 1),    D(onTop, 1),          D(createSilently, 1),  D(minimized, 1),      D(print, 1),
      D(updateCheck, 1),  D(paste, 1),          D(help, 1),            D(noConfigLoad, 1),   D(noConfigSave, 1),
      D(forgetPosition, 1), D(forgetSize, 1),
  };
  for (const Field &f : fields) EXPECT_EQ(f.got, f.want) << f.name;
  EXPECT_STREQ(o.fileName, "");
}

TEST(CommandLine, NumericArguments) {
  StartupOptions o = Parse("q.exe /l 10 /c 5 /x -20 /y 30 /w 640 /h480 /d 55911 f");
  const Field fields[] = {
      D(hasLine, 1),  D(line, 10),      D(hasColumn, 1), D(column, 5),    D(hasLeft, 1),      D(left, -20),
      D(top, 30),     D(hasWidth, 1),   D(width, 640),   D(hasHeight, 1), D(height, 480),     D(command, 55911),
  };
  for (const Field &f : fields) EXPECT_EQ(f.got, f.want) << f.name;
  EXPECT_STREQ(o.fileName, "f");
  // A number with no digits is 0; the text after it goes on being parsed.
  o = Parse("q.exe /l /c 2");
  EXPECT_EQ(o.line, 0);
  EXPECT_EQ(o.column, 2);
}
#undef D

TEST(CommandLine, SelectionPairs) {
  StartupOptions o = Parse("q.exe /s 3,7 x");
  EXPECT_EQ(o.hasSelection, 1);
  EXPECT_EQ(o.selectionStart, 3);
  EXPECT_EQ(o.selectionEnd, 7);
  o = Parse("q.exe /s 3 , 7");
  EXPECT_EQ(o.selectionStart, 3);
  EXPECT_EQ(o.selectionEnd, 7);
  // Without a comma the second number keeps its previous value.
  o = Parse("q.exe /s 3");
  EXPECT_EQ(o.selectionStart, 3);
  EXPECT_EQ(o.selectionEnd, 0);
  o = Parse("q.exe /s 4,9 /s 5 f.txt");
  EXPECT_EQ(o.selectionStart, 5);
  EXPECT_EQ(o.selectionEnd, 9);
  EXPECT_STREQ(o.fileName, "f.txt");
  o = Parse("q.exe /a");  // from the start (1) to the end (0)
  EXPECT_EQ(o.hasSelection, 1);
  EXPECT_EQ(o.selectionStart, 1);
  EXPECT_EQ(o.selectionEnd, 0);
  o = Parse("q.exe /s 4,9 /E");  // the end to the end
  EXPECT_EQ(o.selectionStart, 0);
  EXPECT_EQ(o.selectionEnd, 0);
}

TEST(CommandLine, StringArguments) {
  StartupOptions o = Parse("q.exe /i \"C:\\cfg dir\\my.ini\" /nn \"a comment\" file.txt");
  EXPECT_STREQ(o.configFile, "C:\\cfg dir\\my.ini");
  EXPECT_STREQ(o.fileName, "file.txt");
  o = Parse("q.exe /i C:\\q.ini /nn note file.txt");
  EXPECT_STREQ(o.configFile, "C:\\q.ini");
  EXPECT_STREQ(o.fileName, "file.txt");
  // /nf names the file; the rest of the line is ignored.
  o = Parse("q.exe /nf \"first one.txt\" second.txt");
  EXPECT_STREQ(o.fileName, "first one.txt");
  o = Parse("q.exe /nf plain.txt /l 5");
  EXPECT_STREQ(o.fileName, "plain.txt");
  EXPECT_EQ(o.hasLine, 0);
  // /nm stops: nothing after it counts.
  o = Parse("q.exe /nm /l 4 some file.txt");
  EXPECT_STREQ(o.fileName, "");
  EXPECT_EQ(o.hasLine, 0);
  o = Parse("q.exe /i \"unterminated");
  EXPECT_STREQ(o.configFile, "unterminated");
}

TEST(CommandLine, LongArgumentsAreCut) {
  std::string longName(1000, 'n');
  StartupOptions o = Parse("q.exe " + longName);
  EXPECT_EQ(strlen(o.fileName), 262u);
  o = Parse("q.exe \"" + longName + "\"");
  EXPECT_EQ(strlen(o.fileName), 262u);
  o = Parse("q.exe /nf " + longName);
  EXPECT_EQ(strlen(o.fileName), 262u);
  o = Parse("q.exe /i " + longName + " after.txt");
  EXPECT_EQ(strlen(o.configFile), 263u);
  EXPECT_STREQ(o.fileName, "after.txt");
}

// An unknown option is reported with the rest of the line and skipped, an
// unknown second letter too; /nw silences only what follows it.
TEST(CommandLine, UnknownOptionsAreReportedAndSkipped) {
  struct {
    const char *line;
    std::vector<std::string> reported;
    int lineNumber, noWarnings;
    const char *file;
  } cases[] = {
      {"q.exe /Q /l 2 x.txt", {"/Q /l 2 x.txt"}, 2, 0, "x.txt"},
      {"q.exe /nq //z /l 3", {"/nq //z /l 3", "//z /l 3"}, 3, 0, ""},
      {"q.exe /Z /nw /Q /l 1", {"/Z /nw /Q /l 1"}, 1, 1, ""},
  };
  for (const auto &c : cases) {
    ScriptedAnswerer answers;
    for (const std::string &rest : c.reported) answers.Expect(UnknownMessage(rest, c.line), kAskWarning, kAnswerOk);
    StartupOptions o = Parse(c.line);
    EXPECT_EQ(o.line, c.lineNumber) << c.line;
    EXPECT_EQ(o.noWarnings, c.noWarnings) << c.line;
    EXPECT_STREQ(o.fileName, c.file) << c.line;
  }
}

TEST(CommandLine, OptionCutOffAtTheEndOfTheLine) {
  // "/", "/n" and "//" with nothing after them are reported; nothing is read
  // past the end of the line (the sanitizer build would see it).
  for (const char *option : {"/", "/n", "//"}) {
    std::string line = std::string("q.exe ") + option;
    ScriptedAnswerer answers;
    answers.Expect(UnknownMessage(option, line), kAskWarning, kAnswerOk);
    EXPECT_STREQ(Parse(line).fileName, "");
  }
  for (const char *line : {"q.exe /l", "q.exe /s 1,", "q.exe /i", "q.exe /nf", "q.exe /nn"}) {
    StartupOptions o = Parse(line);
    EXPECT_STREQ(o.fileName, "") << line;
  }
}

}  // namespace
