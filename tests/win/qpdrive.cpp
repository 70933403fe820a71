// A small driver for scripts and end-to-end tests: waits for and closes
// top-level windows by class name, and gives real input through SendInput.
//
//   qpdrive wait CLASS [TIMEOUT_MS]    exit 0 once a visible window exists
//   qpdrive close CLASS [TIMEOUT_MS]   posts WM_CLOSE, exit 0 once none is left
//   qpdrive click X Y [COUNT]          COUNT left clicks (default 1) at a screen
//                                      point, quick enough to count as one
//                                      multi-click
//   qpdrive ctrl KEY                   Ctrl+KEY (a letter or a digit)
#include <windows.h>

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

int Send(INPUT *in, UINT n) { return SendInput(n, in, sizeof(INPUT)) == n ? 0 : 1; }

int Click(int x, int y, int count) {
  if (!SetCursorPos(x, y)) return 1;
  for (int i = 0; i < count; i++) {
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    if (Send(in, 2)) return 1;
  }
  return 0;
}

int CtrlKey(char key) {
  const WORD vk = static_cast<WORD>(toupper(static_cast<unsigned char>(key)));
  INPUT in[4] = {};
  for (INPUT &i : in) i.type = INPUT_KEYBOARD;
  in[0].ki.wVk = VK_CONTROL;
  in[1].ki.wVk = vk;
  in[2].ki.wVk = vk;
  in[2].ki.dwFlags = KEYEVENTF_KEYUP;
  in[3].ki.wVk = VK_CONTROL;
  in[3].ki.dwFlags = KEYEVENTF_KEYUP;
  return Send(in, 4);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: qpdrive wait|close CLASS [TIMEOUT_MS] | click X Y [COUNT] | ctrl KEY\n");
    return 2;
  }
  if (strcmp(argv[1], "click") == 0 && argc >= 4) return Click(atoi(argv[2]), atoi(argv[3]), argc > 4 ? atoi(argv[4]) : 1);
  if (strcmp(argv[1], "ctrl") == 0 && argv[2][0] && !argv[2][1]) return CtrlKey(argv[2][0]);
  DWORD timeout = argc > 3 ? static_cast<DWORD>(atoi(argv[3])) : 20000;
  DWORD start = GetTickCount();
  if (strcmp(argv[1], "wait") == 0) {
    for (;;) {
      HWND h = FindWindowA(argv[2], nullptr);
      if (h && IsWindowVisible(h)) return 0;
      if (GetTickCount() - start > timeout) return 1;
      Sleep(50);
    }
  }
  if (strcmp(argv[1], "close") == 0) {
    for (;;) {
      HWND h = FindWindowA(argv[2], nullptr);
      if (!h) return 0;
      PostMessageA(h, WM_CLOSE, 0, 0);
      if (GetTickCount() - start > timeout) return 1;
      Sleep(100);
    }
  }
  fprintf(stderr, "unknown command %s\n", argv[1]);
  return 2;
}
