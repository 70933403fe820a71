// A small driver for scripts (make run): waits for and closes top-level
// windows by class name.
//
//   qpdrive wait CLASS [TIMEOUT_MS]    exit 0 once a visible window exists
//   qpdrive close CLASS [TIMEOUT_MS]   posts WM_CLOSE, exit 0 once none is left
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: qpdrive wait|close CLASS [TIMEOUT_MS]\n");
    return 2;
  }
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
