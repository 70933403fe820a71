// Stands in for the browser and the file manager in the shell tests: appends
// its command line, one line per start, to the file named by QP_SHELL_RECORD.
#include <windows.h>

int main() {
  char path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("QP_SHELL_RECORD", path, sizeof path);
  if (!n || n >= sizeof path) return 2;
  HANDLE f = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 3;
  const char *line = GetCommandLineA();
  DWORD written;
  WriteFile(f, line, lstrlenA(line), &written, nullptr);
  WriteFile(f, "\n", 1, &written, nullptr);
  CloseHandle(f);
  return 0;
}
