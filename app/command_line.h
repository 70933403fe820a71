// The command line and the start-up options it yields.
//
// Options begin with "/" and are case-sensitive; the first text that does not
// begin with "/" is the file name, taken to the end of the line (so that an
// unquoted path with spaces works) unless it is quoted. Every flag is a counter:
// giving an option twice leaves it set. Numbers are kept as given (1-based);
// the document opener passes them on as value - 1, so 0 means "the end".
//
// This file does not depend on Windows: the parser is tested natively.
#pragma once

#include "config/config_state.h"  // kConfigPathChars: 263 characters and a terminator
#include "foundation/types.h"

constexpr u32 kFileNameChars = 263;  // 262 characters and a terminator

struct StartupOptions {
  i32 forgetPosition;  // //p
  i32 forgetSize;      // //s
  i32 noConfigLoad;    // /nl
  i32 noConfigSave;    // /ns
  char configFile[kConfigPathChars];  // /i; empty when not given
  i32 help;            // /?
  i32 updateCheck;     // /u
  i32 encodingAnsi;    // /A
  i32 encodingUtf8;    // /U
  i32 encodingUnicode; // /W
  i32 createSilently;  // /b
  i32 hasLine, line;        // /l N
  i32 hasColumn, column;    // /c N
  i32 hasSelection, selectionStart, selectionEnd;  // /s A,B  /a  /E
  i32 command;         // /d N: menu command to run once the document is open; 0 = none
  i32 print;           // /p
  i32 paste;           // /v
  i32 fullscreen;      // /F
  i32 hidden;          // /H
  i32 maximized;       // /M
  i32 minimized;       // /m
  i32 onTop;           // /T
  i32 hasLeft, left;        // /x N
  i32 hasTop, top;          // /y N
  i32 hasWidth, width;      // /w N
  i32 hasHeight, height;    // /h N
  i32 noWarnings;      // /nw
  char fileName[kFileNameChars];
};

// Parses a whole command line (program name first) into *options, which the
// caller has zeroed. An unknown option shows message 567 through AskUser
// (unless /nw came earlier) and is skipped.
void ParseCommandLineText(const char *line, StartupOptions *options);
