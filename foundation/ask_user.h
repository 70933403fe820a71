// Every question the program asks the user goes through AskUser.
//
// The product installs an answerer that shows a message box titled "Quillpad";
// tests install a scripted one, so that an unexpected question fails the test
// instead of waiting for a click. With no answerer installed, a question gets
// the answer that changes nothing (OK, No, Cancel).
#pragma once

#include <stdarg.h>

#include "foundation/texts.h"
#include "foundation/types.h"

enum AskKind : int {
  kAskInfo,         // information, OK
  kAskWarning,      // warning, OK
  kAskYesNo,        // question, Yes/No
  kAskYesNoCancel,  // question, Yes/No/Cancel
};

// The answers are the system's button ids.
enum AskAnswer : int { kAnswerOk = 1, kAnswerCancel = 2, kAnswerYes = 6, kAnswerNo = 7 };

struct Answerer {
  int (*answer)(void *context, WindowRef owner, const char *text, AskKind kind);
  void *context;
};

// Installs an answerer (or null) and returns the one it replaces.
const Answerer *InstallAnswerer(const Answerer *answerer);

// Questions asked on another thread than the route's (a worker's, while the
// GUI thread waits for it) go through the route, which asks them on its own
// thread. Installs a route (or null) and returns the one it replaces.
struct AskRoute {
  int (*ask)(void *context, WindowRef owner, const char *text, AskKind kind);
  void *context;
  u32 thread;
};
const AskRoute *InstallAskRoute(const AskRoute *route);
// Asks a text as it stands (already formatted), on this thread.
int AskUserAsIs(WindowRef owner, const char *text, AskKind kind);

// Asks `text`, formatted with `detail` when it has a directive (a file path,
// say). Returns the answer.
int AskUser(WindowRef owner, const char *text, AskKind kind, const char *detail = nullptr);
int AskUser(WindowRef owner, TextSlot text, AskKind kind, const char *detail = nullptr);
// Asks a text formatted with any arguments (see format.h).
int AskUserFormat(WindowRef owner, AskKind kind, const char *format, ...);
