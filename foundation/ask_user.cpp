#include "foundation/ask_user.h"

#include "foundation/bytes.h"
#include "foundation/format.h"
#include "foundation/platform.h"

static const Answerer *g_answerer;
static const AskRoute *g_route;

const AskRoute *InstallAskRoute(const AskRoute *route) {
  const AskRoute *previous = g_route;
  g_route = route;
  return previous;
}

const Answerer *InstallAnswerer(const Answerer *answerer) {
  const Answerer *previous = g_answerer;
  g_answerer = answerer;
  return previous;
}

static int Ask(WindowRef owner, const char *text, AskKind kind) {
  const AskRoute *route = g_route;
  if (route && PlatCurrentThreadId() != route->thread) return route->ask(route->context, owner, text, kind);
  return AskUserAsIs(owner, text, kind);
}

int AskUserAsIs(WindowRef owner, const char *text, AskKind kind) {
  if (g_answerer) return g_answerer->answer(g_answerer->context, owner, text, kind);
  switch (kind) {
    case kAskYesNo:
      return kAnswerNo;
    case kAskYesNoCancel:
      return kAnswerCancel;
    default:
      return kAnswerOk;
  }
}

static bool HasDirective(const char *text) {
  for (const char *p = text; *p; p++) {
    if (*p != '%') continue;
    if (p[1] != '%') return true;
    p++;
  }
  return false;
}

int AskUser(WindowRef owner, const char *text, AskKind kind, const char *detail) {
  if (!HasDirective(text)) return Ask(owner, text, kind);
  char buf[kFormatMaxOutput + 1];
  // A refused format shows the text as it stands rather than nothing.
  if (Format(buf, sizeof buf, text, detail ? detail : "") <= 1 && *text) return Ask(owner, text, kind);
  return Ask(owner, buf, kind);
}

int AskUser(WindowRef owner, TextSlot text, AskKind kind, const char *detail) {
  return AskUser(owner, Text(text), kind, detail);
}

int AskUserFormat(WindowRef owner, AskKind kind, const char *format, ...) {
  char buf[kFormatMaxOutput + 1];
  va_list args;
  va_start(args, format);
  int r = FormatV(buf, sizeof buf, format, args);
  va_end(args);
  return Ask(owner, r <= 1 ? format : buf, kind);
}
