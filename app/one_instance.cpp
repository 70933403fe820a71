#include "app/one_instance.h"

#include "app/app_state.h"
#include "app/file_commands.h"
#include "app/main_window.h"
#include "config/settings.h"
#include "files/save.h"
#include "foundation/ask_user.h"

namespace {

constexpr UINT kTrayCallback = 0x8100;  // the value 24 brings a window forward
constexpr LPARAM kBringForward = 24;

ATOM g_fileAtom;
bool g_waiting;  // announced; an answer is expected

// A main window of the program in another process: what a sender must be.
bool IsOtherMainWindow(HWND hwnd) {
  if (!hwnd || !IsWindow(hwnd)) return false;
  char name[16] = "";
  if (!GetClassNameA(hwnd, name, sizeof name) || lstrcmpA(name, kMainClassName) != 0) return false;
  DWORD process = 0;
  return GetWindowThreadProcessId(hwnd, &process) && process != GetCurrentProcessId();
}

// Hands over to `other`: it is shown, restored and brought forward, and
// this window closes without asking about its changes.
void HandOver(HWND hwnd, HWND other) {
  ForgetRecoveryFile();
  // A hung window must not hang this one as well: nothing here waits for
  // the other window longer than a second.
  ShowWindowAsync(other, SW_SHOW);
  if (IsIconic(other)) ShowWindowAsync(other, SW_RESTORE);
  DWORD_PTR answer = 0;
  SendMessageTimeoutA(other, kTrayCallback, 0, kBringForward, SMTO_ABORTIFHUNG, 1000, &answer);
  SetForegroundWindow(other);
  SetCloseWithoutAsking(true);
  PostMessageA(hwnd, WM_CLOSE, 0, 0);
}

}  // namespace

void RegisterFile(const char *path) {
  const ATOM atom = path && path[0] ? GlobalAddAtomA(path) : 0;
  if (atom && atom == g_fileAtom) {
    GlobalDeleteAtom(atom);  // one reference per window is enough
    return;
  }
  ReleaseFile();
  g_fileAtom = atom;
  if (!atom || !g_settings.file.OnlyOne || !g_app.mainWindow || !g_app.handOver) return;
  g_waiting = true;
  PostMessageA(HWND_BROADCAST, g_app.handOver, reinterpret_cast<WPARAM>(g_app.mainWindow), 0);
}

void ReleaseFile() {
  if (g_fileAtom) GlobalDeleteAtom(g_fileAtom);
  g_fileAtom = 0;
  g_waiting = false;
}

void OnHandOverMessage(HWND hwnd, WPARAM sender, LPARAM atom) {
  HWND other = reinterpret_cast<HWND>(sender);
  if (other == hwnd || atom < 0 || atom > 0xFFFF || !IsOtherMainWindow(other)) return;
  if (atom == 0) {
    // An announcement: tell the sender which file this window has.
    if (g_fileAtom) PostMessageA(other, g_app.handOver, reinterpret_cast<WPARAM>(hwnd), g_fileAtom);
    return;
  }
  if (static_cast<ATOM>(atom) != g_fileAtom || !g_waiting) return;
  g_waiting = false;
  if (AskUser(hwnd, TXT_ALREADY_OPEN, kAskYesNo) == kAnswerYes) HandOver(hwnd, other);
}
