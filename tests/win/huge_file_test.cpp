// The built program on a file of a gigabyte: opened, edited at its end,
// undone, saved byte for byte; and asked for its text by another program
// (this one) without dying or copying the whole document. And loads of it
// in this process that run out of memory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "document/document.h"
#include "editor/editor_messages.h"
#include "files/load.h"
#include "foundation/fault.h"
#include "resources/resource.h"
#include "tests/support/scripted_answerer.h"
#include "tests/support/test_files.h"
#include "tests/win/gui_helpers.h"

namespace {

const DWORD kWait = 240000;

// A gigabyte, or QP_HUGE_MIB mebibytes: what probes the largest file a
// build opens.
u64 HugeSize() {
  char value[16] = "";
  const DWORD n = GetEnvironmentVariableA("QP_HUGE_MIB", value, sizeof value);
  const u64 mib = n > 0 && n < sizeof value ? strtoull(value, nullptr, 10) : 0;
  return (mib ? mib : 1024) << 20;
}
const u64 kSize = HugeSize();

// The first `n` bytes of the test's text: short CR LF lines.
void MakeLines(std::vector<char> *chunk, u64 offset) {
  for (size_t i = 0; i < chunk->size(); i++) {
    const u64 at = offset + i;
    const u64 column = at % 62;
    (*chunk)[i] = column == 60 ? '\r' : column == 61 ? '\n' : static_cast<char>('a' + (at / 62 + column) % 26);
  }
}

bool WriteHuge(const std::string &path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::vector<char> chunk(8u << 20);
  bool ok = true;
  for (u64 done = 0; ok && done < kSize; done += chunk.size()) {
    MakeLines(&chunk, done);
    // The last piece only up to the size asked for.
    const DWORD n = static_cast<DWORD>(kSize - done < chunk.size() ? kSize - done : chunk.size());
    DWORD wrote = 0;
    ok = WriteFile(h, chunk.data(), n, &wrote, nullptr) && wrote == n;
  }
  CloseHandle(h);
  return ok;
}

// Whether the file holds the test's text followed by `tail`.
bool HoldsLinesThen(const std::string &path, const std::string &tail) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(h, &size) && static_cast<u64>(size.QuadPart) == kSize + tail.size();
  std::vector<char> want(8u << 20), got(want.size());
  for (u64 done = 0; ok && done < kSize; done += want.size()) {
    MakeLines(&want, done);
    const DWORD n = static_cast<DWORD>(kSize - done < want.size() ? kSize - done : want.size());
    DWORD read = 0;
    ok = ReadFile(h, got.data(), n, &read, nullptr) && read == n && memcmp(want.data(), got.data(), n) == 0;
  }
  std::string rest(tail.size() + 1, '\0');
  DWORD read = 0;
  ok = ok && ReadFile(h, &rest[0], static_cast<DWORD>(rest.size()), &read, nullptr) && read == tail.size() &&
       rest.compare(0, read, tail) == 0;
  CloseHandle(h);
  return ok;
}

TEST(HugeFile, AGigabyteOpensEditsUndoesAndSavesByteForByte) {
  TempFolder dir;
  const std::string file = dir.File("huge.txt");
  const DWORD begun = GetTickCount();
  ASSERT_TRUE(WriteHuge(file));
  printf("written in %.1f s\n", (GetTickCount() - begun) / 1000.0);
  fflush(stdout);
  // No size limit, so that nothing is asked.
  const std::string ini = dir.File("QuilPad.ini");
  ASSERT_TRUE(WriteBytes(ini, "\xEF\xBB\xBF[Setts]\r\nLimit=0\r\n"));
  Program program("\"" + ExeDir() + "quillpad.exe\" /i \"" + ini + "\" /ns \"" + file + "\"");
  HWND main = WaitForWindow(program.pid(), "QuilPad", kWait);
  ASSERT_NE(main, nullptr);
  HWND editor = GetDlgItem(main, 1020);
  ASSERT_NE(editor, nullptr);
  // Loaded when the whole text is in (the window answers meanwhile).
  const DWORD start = GetTickCount();
  ASSERT_TRUE(PumpUntil([&] { return SendMessageA(editor, EDM_GETTEXTLENGTHRAW, 0, 0) == static_cast<LRESULT>(kSize); },
                        kWait));
  printf("opened in %.1f s\n", (GetTickCount() - start) / 1000.0);
  fflush(stdout);
  EXPECT_EQ(WindowText(main), "huge.txt - Quillpad");

  // Asked from another program: its first 16 MiB at most, the length and
  // the text alike, cut at the caller's buffer, in ANSI and in Unicode.
  const LRESULT length = SendMessageA(editor, WM_GETTEXTLENGTH, 0, 0);
  EXPECT_EQ(length, kSize < 0x01000000 ? static_cast<LRESULT>(kSize) : 0x01000000);
  std::vector<char> all(0x01000100);
  EXPECT_EQ(SendMessageA(editor, WM_GETTEXT, all.size(), reinterpret_cast<LPARAM>(all.data())), 0x01000000);
  char head[100];
  EXPECT_EQ(SendMessageA(editor, WM_GETTEXT, sizeof head, reinterpret_cast<LPARAM>(head)), 99);
  std::vector<char> want(99);
  MakeLines(&want, 0);
  EXPECT_EQ(std::string(head, 99), std::string(want.data(), 99));
  wchar_t wide[100];
  EXPECT_EQ(SendMessageW(editor, WM_GETTEXT, 100, reinterpret_cast<LPARAM>(wide)), 99);
  EXPECT_EQ(wide[61], L'\n');
  EXPECT_EQ(SendMessageW(editor, WM_GETTEXTLENGTH, 0, 0), 0x01000000);

  // The end, typing there, undoing it; saved each time.
  SendMessageA(editor, EDM_GOTO, static_cast<WPARAM>(-1), 0x02);
  for (char c : std::string("The end.")) SendMessageA(editor, WM_CHAR, static_cast<u8>(c), 1);
  EXPECT_EQ(WindowText(main), "*huge.txt - Quillpad");
  EXPECT_EQ(SendMessageA(main, WM_COMMAND, IDM_FILE_SAVE, 0), 0);
  EXPECT_TRUE(HoldsLinesThen(file, "The end."));
  for (int i = 0; i < 8 && SendMessageA(editor, EM_CANUNDO, 0, 0); i++) SendMessageA(editor, WM_UNDO, 0, 0);
  EXPECT_EQ(SendMessageA(editor, EM_CANUNDO, 0, 0), 0);
  EXPECT_EQ(SendMessageA(main, WM_COMMAND, IDM_FILE_SAVE, 0), 0);
  EXPECT_TRUE(HoldsLinesThen(file, ""));
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitExit(kWait), 0u);
}

// The address space this process can still reserve, in MiB: taken in pieces,
// largest first, then given back.
u64 FreeAddressSpaceMiB() {
  static void *taken[1 << 16];
  u32 count = 0;
  u64 total = 0;
  for (size_t size = 0x40000000; size >= 0x10000; size >>= 1) {
    while (count < sizeof taken / sizeof taken[0]) {
      void *p = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
      if (!p) break;
      taken[count++] = p;
      total += size;
    }
  }
  while (count) VirtualFree(taken[--count], 0, MEM_RELEASE);
  return total >> 20;
}

// Loads of the gigabyte that run out of memory at the 64th, 128th, 256th ...
// allocation: each ends with the message and an untitled, empty document,
// the last one loads the whole file, and once the document is gone the
// 32-bit address space is whole again. (In the 64-bit build the address
// space cannot be measured by taking it.)
TEST(HugeFile, LoadsThatRunOutOfMemoryGiveTheAddressSpaceBack) {
  if (sizeof(void *) != 4) GTEST_SKIP() << "the 64-bit address space cannot be measured by taking it";
  TempFolder dir;
  const std::string file = dir.File("huge.txt");
  ASSERT_TRUE(WriteHuge(file));
  const u64 before = FreeAddressSpaceMiB();
  Document *doc = CreateDocument();
  ASSERT_NE(doc, nullptr);
  const OpenRequest request = {file.c_str(), kDetectEncoding, 0, kOpenAsked | kOpenNoRecent};
  const FileHooks hooks = {};
  u32 failed = 0;
  for (u32 n = 64;; n *= 2) {
    FaultInjector fi = {};
    FaultPlan(&fi, kFaultAlloc, n, false);
    int r;
    {
      ScriptedAnswerer answers;
      answers.Allow("Out of Memory!", kAskWarning, kAnswerOk).Allow("Could not read file " + file + "!", kAskWarning, kAnswerOk);
      ScopedFaultInjector scope(&fi);
      r = OpenFile(doc, request, hooks);
    }
    if (!fi.fired[kFaultAlloc]) {
      EXPECT_EQ(r, 0);
      EXPECT_EQ(doc->store.length, kSize);
      break;
    }
    if (r != 0) {
      failed++;
      EXPECT_EQ(r, 48) << n;
      EXPECT_EQ(doc->store.length, 0u) << n;
      EXPECT_STREQ(doc->filePath, "") << n;
    }
  }
  EXPECT_GE(failed, 10u);
  DestroyDocument(doc);
  const u64 after = FreeAddressSpaceMiB();
  printf("free address space %llu MiB before, %llu MiB after\n", static_cast<unsigned long long>(before),
         static_cast<unsigned long long>(after));
  EXPECT_GE(after + 16, before);
}

}  // namespace
