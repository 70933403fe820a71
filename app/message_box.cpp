#include "app/message_box.h"

#include <windows.h>

#include "foundation/ask_user.h"
#include "foundation/texts.h"

static int ShowMessageBox(void *, WindowRef owner, const char *text, AskKind kind) {
  UINT flags = MB_OK | MB_ICONINFORMATION;
  switch (kind) {
    case kAskInfo: break;
    case kAskWarning: flags = MB_OK | MB_ICONWARNING; break;
    case kAskYesNo: flags = MB_YESNO | MB_ICONQUESTION; break;
    case kAskYesNoCancel: flags = MB_YESNOCANCEL | MB_ICONQUESTION; break;
  }
  int answer = MessageBoxA(static_cast<HWND>(owner), text, Text(TXT_PRODUCT), flags);
  // A box that could not be shown changes nothing.
  if (answer == 0) return kind == kAskYesNo ? kAnswerNo : kind == kAskYesNoCancel ? kAnswerCancel : kAnswerOk;
  return answer;
}

static const Answerer kMessageBoxAnswerer = {ShowMessageBox, nullptr};

void InstallMessageBoxAnswerer() { InstallAnswerer(&kMessageBoxAnswerer); }
