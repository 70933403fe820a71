#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

TEST(CommandLine, FlagsAreCountersAndCaseSensitive) {
  StartupOptions o = Parse("q.exe /A /U /W /F /H /M /T /b /m /p /u /v /? /nl /ns //p //s /A");
  EXPECT_EQ(o.encodingAnsi, 2);
  EXPECT_EQ(o.encodingUtf8, 1);
  EXPECT_EQ(o.encodingUnicode, 1);
  EXPECT_EQ(o.fullscreen, 1);
  EXPECT_EQ(o.hidden, 1);
  EXPECT_EQ(o.maximized, 1);
  EXPECT_EQ(o.onTop, 1);
  EXPECT_EQ(o.createSilently, 1);
  EXPECT_EQ(o.minimized, 1);
  EXPECT_EQ(o.print, 1);
  EXPECT_EQ(o.updateCheck, 1);
  EXPECT_EQ(o.paste, 1);
  EXPECT_EQ(o.help, 1);
  EXPECT_EQ(o.noConfigLoad, 1);
  EXPECT_EQ(o.noConfigSave, 1);
  EXPECT_EQ(o.forgetPosition, 1);
  EXPECT_EQ(o.forgetSize, 1);
  EXPECT_STREQ(o.fileName, "");
}

TEST(CommandLine, NumericArguments) {
  StartupOptions o = Parse("q.exe /l 10 /c 5 /x -20 /y 30 /w 640 /h480 /d 55911 f");
  EXPECT_EQ(o.hasLine, 1);
  EXPECT_EQ(o.line, 10);
  EXPECT_EQ(o.hasColumn, 1);
  EXPECT_EQ(o.column, 5);
  EXPECT_EQ(o.hasLeft, 1);
  EXPECT_EQ(o.left, -20);
  EXPECT_EQ(o.top, 30);
  EXPECT_EQ(o.hasWidth, 1);
  EXPECT_EQ(o.width, 640);
  EXPECT_EQ(o.hasHeight, 1);
  EXPECT_EQ(o.height, 480);
  EXPECT_EQ(o.command, 55911);
  EXPECT_STREQ(o.fileName, "f");
  // A number with no digits is 0; the text after it goes on being parsed.
  o = Parse("q.exe /l /c 2");
  EXPECT_EQ(o.line, 0);
  EXPECT_EQ(o.column, 2);
}

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

TEST(CommandLine, UnknownOptionsAreReportedAndSkipped) {
  std::string line = "q.exe /Q /l 2 x.txt";
  ScriptedAnswerer answers;
  answers.Expect(UnknownMessage("/Q /l 2 x.txt", line), kAskWarning, kAnswerOk);
  StartupOptions o = Parse(line);
  EXPECT_EQ(o.line, 2);
  EXPECT_STREQ(o.fileName, "x.txt");
}

TEST(CommandLine, UnknownSecondLetters) {
  ScriptedAnswerer answers;
  std::string line = "q.exe /nq //z /l 3";
  answers.Expect(UnknownMessage("/nq //z /l 3", line), kAskWarning, kAnswerOk)
      .Expect(UnknownMessage("//z /l 3", line), kAskWarning, kAnswerOk);
  StartupOptions o = Parse(line);
  EXPECT_EQ(o.line, 3);
}

TEST(CommandLine, NoWarningsSilencesOnlyWhatFollows) {
  ScriptedAnswerer answers;
  std::string line = "q.exe /Z /nw /Q /l 1";
  answers.Expect(UnknownMessage("/Z /nw /Q /l 1", line), kAskWarning, kAnswerOk);
  StartupOptions o = Parse(line);
  EXPECT_EQ(o.noWarnings, 1);
  EXPECT_EQ(o.line, 1);
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
