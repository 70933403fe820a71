// A child process for the filter tests: does what its arguments say, in
// order, with its standard handles.
//
//   copy           standard input to standard output (1 MiB buffers)
//   upper          the same with ASCII letters made capitals
//   count          reads all input, writes the number of bytes
//   drain          reads all input
//   out TEXT       writes TEXT to standard output; err TEXT to standard error
//   outn N, errn N writes N bytes of a pattern (standard output / error)
//   mixn N         N bytes each to output and error, in alternating writes of 4 KiB
//   hex HEX        writes the bytes given in hexadecimal to standard output
//   args ...       writes every following argument as [argument] and a newline
//   pidfile PATH   writes the process id into the file PATH
//   sleep MS       waits
//   forever        waits for ever
//   grandchild P   starts "qpchild pidfile P forever" with the same standard handles
//   exit K         ends with exit code K (decimal, or hexadecimal after 0x)
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

HANDLE In() { return GetStdHandle(STD_INPUT_HANDLE); }
HANDLE Out() { return GetStdHandle(STD_OUTPUT_HANDLE); }
HANDLE Err() { return GetStdHandle(STD_ERROR_HANDLE); }

void Write(HANDLE h, const void *p, DWORD n) {
  const char *c = static_cast<const char *>(p);
  while (n) {
    DWORD done = 0;
    if (!WriteFile(h, c, n, &done, nullptr)) ExitProcess(90);
    c += done;
    n -= done;
  }
}

// Reads all of standard input, handing each piece to `take`.
template <typename Take>
unsigned long long ReadAll(char *buf, DWORD size, Take take) {
  unsigned long long total = 0;
  DWORD got = 0;
  while (ReadFile(In(), buf, size, &got, nullptr) && got) {
    total += got;
    take(buf, got);
  }
  return total;
}

void Pattern(HANDLE h, unsigned long long n, DWORD piece) {
  static char block[(1 << 20) + 4096];
  if (!block[0])
    for (DWORD i = 0; i < sizeof block; i++) block[i] = (i % 61 == 60) ? '\n' : static_cast<char>('a' + i % 26);
  for (unsigned long long at = 0; at < n;) {
    const DWORD k = static_cast<DWORD>(n - at < piece ? n - at : piece);
    Write(h, block + at % 4096, k);
    at += k;
  }
}

}  // namespace

int main(int argc, char **argv) {
  static char buf[1 << 20];
  for (int i = 1; i < argc; i++) {
    const char *op = argv[i];
    const char *arg = i + 1 < argc ? argv[i + 1] : "";
    if (!strcmp(op, "copy")) {
      ReadAll(buf, sizeof buf, [](char *p, DWORD n) { Write(Out(), p, n); });
    } else if (!strcmp(op, "upper")) {
      ReadAll(buf, sizeof buf, [](char *p, DWORD n) {
        for (DWORD k = 0; k < n; k++)
          if (p[k] >= 'a' && p[k] <= 'z') p[k] = static_cast<char>(p[k] - 32);
        Write(Out(), p, n);
      });
    } else if (!strcmp(op, "count")) {
      char text[32];
      const int n = snprintf(text, sizeof text, "%llu", ReadAll(buf, sizeof buf, [](char *, DWORD) {}));
      Write(Out(), text, static_cast<DWORD>(n));
    } else if (!strcmp(op, "drain")) {
      ReadAll(buf, sizeof buf, [](char *, DWORD) {});
    } else if (!strcmp(op, "out") || !strcmp(op, "err")) {
      Write(op[0] == 'o' ? Out() : Err(), arg, static_cast<DWORD>(strlen(arg)));
      i++;
    } else if (!strcmp(op, "outn") || !strcmp(op, "errn")) {
      Pattern(op[0] == 'o' ? Out() : Err(), strtoull(arg, nullptr, 10), 1 << 20);
      i++;
    } else if (!strcmp(op, "mixn")) {
      const unsigned long long n = strtoull(arg, nullptr, 10);
      for (unsigned long long at = 0; at < n; at += 4096) {
        const DWORD k = static_cast<DWORD>(n - at < 4096 ? n - at : 4096);
        Pattern(Out(), k, k);
        Pattern(Err(), k, k);
      }
      i++;
    } else if (!strcmp(op, "hex")) {
      for (const char *h = arg; h[0] && h[1]; h += 2) {
        char pair[3] = {h[0], h[1], 0};
        const char byte = static_cast<char>(strtoul(pair, nullptr, 16));
        Write(Out(), &byte, 1);
      }
      i++;
    } else if (!strcmp(op, "args")) {
      for (int k = i + 1; k < argc; k++) {
        Write(Out(), "[", 1);
        Write(Out(), argv[k], static_cast<DWORD>(strlen(argv[k])));
        Write(Out(), "]\n", 2);
      }
      break;
    } else if (!strcmp(op, "pidfile")) {
      FILE *f = fopen(arg, "w");
      if (f) {
        fprintf(f, "%lu", GetCurrentProcessId());
        fclose(f);
      }
      i++;
    } else if (!strcmp(op, "sleep")) {
      Sleep(static_cast<DWORD>(strtoul(arg, nullptr, 10)));
      i++;
    } else if (!strcmp(op, "forever")) {
      Sleep(INFINITE);
    } else if (!strcmp(op, "grandchild")) {
      char self[MAX_PATH];
      GetModuleFileNameA(nullptr, self, sizeof self);
      char line[2 * MAX_PATH + 32];
      snprintf(line, sizeof line, "\"%s\" pidfile \"%s\" forever", self, arg);
      i++;
      STARTUPINFOA si = {};
      si.cb = sizeof si;
      si.dwFlags = STARTF_USESTDHANDLES;
      si.hStdInput = In();
      si.hStdOutput = Out();
      si.hStdError = Err();
      PROCESS_INFORMATION pi = {};
      if (!CreateProcessA(nullptr, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return 91;
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
    } else if (!strcmp(op, "exit")) {
      return static_cast<int>(strtoul(arg, nullptr, 0));
    } else {
      return 92;  // an unknown step: the test is wrong
    }
  }
  return 0;
}
