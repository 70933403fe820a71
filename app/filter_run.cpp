#include "app/filter_run.h"

#include "files/pipes.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/fault.h"
#include "foundation/format.h"
#include "foundation/memory.h"
#include "foundation/platform.h"
#include "foundation/random.h"
#include "foundation/texts.h"
#include "resources/resource.h"

namespace {

constexpr u32 kPieceBytes = 1048576;  // what one read or write moves at most
constexpr DWORD kWaitMs = 256;
constexpr u32 kMessageBytes = 65536;  // the most of a filter's text a message shows

// ---- the pipe threads ----

struct PipeThread {
  HANDLE pipe;  // the program's end; the thread closes it
  const char *text;  // the writer's input
  u32 length;
  ToolDocument *into;  // a reader's text
  bool utf8;
  int result;
};

// Each pipe thread has a generator record of its own, as every thread of the
// program does.
struct OwnRecord {
  ThreadRecord *record;
  OwnRecord() {
    const u32 words[5] = {GetCurrentThreadId(), GetTickCount(), 0, 0, 0};
    record = ThreadRecordCreateOwn(words);
  }
  ~OwnRecord() {
    if (record) ThreadRecordReleaseOwn(record);
  }
};

PlatFile Plat(HANDLE h) { return reinterpret_cast<PlatFile>(h); }

bool Lead(char c) { return IsDBCSLeadByte(static_cast<BYTE>(c)) != FALSE; }

// The end of the piece starting at `from`: at most kPieceBytes, never inside
// a double-byte character.
u32 PieceEnd(const char *text, u32 from, u32 length, bool multiByte) {
  const u32 end = length - from > kPieceBytes ? from + kPieceBytes : length;
  if (!multiByte || end == length) return end;
  u32 i = from;
  while (i < end) {
    if (Lead(text[i])) {
      if (i + 2 > end) break;
      i += 2;
    } else {
      i++;
    }
  }
  return i > from ? i : end;
}

int WriteAll(HANDLE pipe, const char *bytes, u32 n) {
  const PlatPipeResult w = PlatPipeWrite(Plat(pipe), bytes, n);
  if (w == kPipeBroken) return 1;  // the child stopped reading: quietly done
  return w == kPipeOk ? 0 : -2;
}

// Writes the input, converted to UTF-8 when asked, in pieces of at most a
// megabyte; then closes the pipe so that the child sees the end. 0, or -1
// out of memory, -2 a write failed.
DWORD WINAPI WriterMain(void *arg) {
  PipeThread *t = static_cast<PipeThread *>(arg);
  OwnRecord own;
  int result = 0;
  if (!t->utf8) {
    for (u32 at = 0; at < t->length && result == 0;) {
      const u32 n = t->length - at > kPieceBytes ? kPieceBytes : t->length - at;
      const int w = WriteAll(t->pipe, t->text + at, n);
      if (w) result = w < 0 ? w : 0;
      if (w > 0) break;
      at += n;
    }
  } else if (t->length) {
    CPINFO cp = {};
    const bool multiByte = GetCPInfo(CP_ACP, &cp) && cp.MaxCharSize > 1;
    u16 *wide = static_cast<u16 *>(Allocate(kPieceBytes * sizeof(u16)));
    char *bytes = static_cast<char *>(Allocate(kPieceBytes * 3));
    if (!wide || !bytes) result = -1;
    for (u32 at = 0; at < t->length && result == 0;) {
      const u32 end = PieceEnd(t->text, at, t->length, multiByte);
      const int units = MultiByteToWideChar(CP_ACP, 0, t->text + at, static_cast<int>(end - at),
                                            reinterpret_cast<wchar_t *>(wide), static_cast<int>(kPieceBytes));
      const int n = units > 0 ? WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<wchar_t *>(wide), units, bytes,
                                                    static_cast<int>(kPieceBytes * 3), nullptr, nullptr)
                              : 0;
      if (n <= 0) {
        result = -2;
        break;
      }
      const int w = WriteAll(t->pipe, bytes, static_cast<u32>(n));
      if (w > 0) break;
      result = w;
      at = end;
    }
    Free(wide);
    Free(bytes);
  }
  CloseHandle(t->pipe);
  t->pipe = nullptr;
  t->result = result;
  return 0;
}

// Room for another piece at the end of the text; the buffer doubles (from
// 4 MiB), so that a long output is copied only a few times: each copy of a
// big block measured dear under Wine, where growing by half again made a
// 256 MiB output take 1.6 times as long as a bare harness's reads.
int MakeRoom(ToolDocument *doc, u32 piece) {
  if (doc->capacity - doc->length >= piece) return 0;
  u64 want = static_cast<u64>(doc->capacity) * 2;
  if (want < 4u * kPieceBytes) want = 4u * kPieceBytes;
  if (want < static_cast<u64>(doc->length) + piece) want = static_cast<u64>(doc->length) + piece;
  if (want > 0xFFFFFFF0u) want = 0xFFFFFFF0u;
  if (want < static_cast<u64>(doc->length) + piece) return -1;
  return ToolDocumentReserve(doc, want);
}

// Reads the pipe to its end into the text, converted from UTF-8 when asked.
// 0; the number of pieces that held characters without an ANSI form; -1 out
// of memory; -2 a read failed.
DWORD WINAPI ReaderMain(void *arg) {
  PipeThread *t = static_cast<PipeThread *>(arg);
  OwnRecord own;
  ToolDocument *doc = t->into;
  int result = 0;
  int lost = 0;
  char *raw = static_cast<char *>(Allocate(kPieceBytes + 4));
  u16 *wide = t->utf8 ? static_cast<u16 *>(Allocate((kPieceBytes + 4) * sizeof(u16))) : nullptr;
  if (!raw || (t->utf8 && !wide)) result = -1;
  u32 pending = 0;  // UTF-8 bytes kept for the next read
  while (result == 0) {
    u32 got = 0;
    PlatPipeResult r;
    if (!t->utf8) {
      // Through a buffer that stays warm: a read straight into the text's
      // fresh pages measured slower than this copy.
      r = PlatPipeRead(Plat(t->pipe), raw, kPieceBytes, &got);
      if (got && MakeRoom(doc, got) != 0) {
        result = -1;
        break;
      }
      MemCopy(doc->text + doc->length, raw, got);
      doc->length += got;
    } else {
      r = PlatPipeRead(Plat(t->pipe), raw + pending, kPieceBytes, &got);
    }
    if (r == kPipeFailed) {
      result = -2;
      break;
    }
    if (r == kPipeBroken && got == 0) break;  // the other end is closed: all is read
    if (!t->utf8) continue;
    const u32 n = pending + got;
    const u32 keep = Utf8Unfinished(reinterpret_cast<u8 *>(raw), n);
    const u32 ready = n - keep;
    if (ready) {
      const int units = MultiByteToWideChar(CP_UTF8, 0, raw, static_cast<int>(ready),
                                            reinterpret_cast<wchar_t *>(wide), static_cast<int>(kPieceBytes + 4));
      // At most two bytes a unit in a double-byte code page.
      if (units > 0 && MakeRoom(doc, static_cast<u32>(units) * 2) != 0) {
        result = -1;
        break;
      }
      BOOL usedDefault = FALSE;
      const int bytes = units > 0 ? WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<wchar_t *>(wide), units,
                                                        doc->text + doc->length, units * 2, nullptr, &usedDefault)
                                  : 0;
      if (units > 0 && bytes <= 0) {
        result = -2;
        break;
      }
      doc->length += static_cast<u32>(bytes);
      if (usedDefault) lost++;
    }
    MemCopy(raw, raw + ready, keep);
    pending = keep;
  }
  if (result == 0 && pending) {
    // A character cut off at the very end: its bytes as they are.
    if (MakeRoom(doc, pending) != 0) {
      result = -1;
    } else {
      MemCopy(doc->text + doc->length, raw, pending);
      doc->length += pending;
    }
  }
  Free(raw);
  Free(wide);
  CloseHandle(t->pipe);
  t->pipe = nullptr;
  t->result = result < 0 ? result : lost;
  return 0;
}

// ---- the run ----

// Both ends of a pipe, the child's inheritable and the program's not.
struct PipeEnds {
  HANDLE child = nullptr;
  HANDLE mine = nullptr;
};

void Close(HANDLE *h) {
  if (*h) CloseHandle(*h);
  *h = nullptr;
}

// A pipe whose child end (the read end when childReads) is inherited.
bool MakePipe(PipeEnds *p, bool childReads) {
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE r = nullptr, w = nullptr;
  if (!CreatePipe(&r, &w, &sa, 0)) return false;
  p->child = childReads ? r : w;
  HANDLE mine = childReads ? w : r;
  // The program's end is a copy that no child inherits.
  if (!DuplicateHandle(GetCurrentProcess(), mine, GetCurrentProcess(), &p->mine, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    CloseHandle(r);
    CloseHandle(w);
    p->child = nullptr;
    return false;
  }
  CloseHandle(mine);
  return true;
}

HANDLE MakeThread(LPTHREAD_START_ROUTINE main, PipeThread *t) {
  if (FaultFires(kFaultThread)) return nullptr;
  return CreateThread(nullptr, 0, main, t, CREATE_SUSPENDED, nullptr);
}

// Expands the command line; with %S in it, again with the selection.
int Expand(FilterJob *job, const char *input, u32 length) {
  FilterCommandInput in = {};
  in.templ = job->record.Cmd;
  for (int i = 0; i < kFilterParams; i++) in.params[i] = job->params.text[i];
  in.path = job->path;
  FilterCommandUse use;
  int r = ExpandFilterCommand(in, job->command, &use);
  if (use.selection) {
    const bool pushed = !job->record.NoIn;
    in.selection = pushed ? input : job->selection;
    const u32 n = pushed ? length : job->selectionLength;
    in.selectionLength = FilterSelectionBytes(in.selection, n);
    r = ExpandFilterCommand(in, job->command, nullptr);
  }
  return r;
}

// CancelSynchronousIo is there from Vista on; looked up once.
using CancelIoFn = BOOL(WINAPI *)(HANDLE);
CancelIoFn CancelBlockedIo() {
  static CancelIoFn fn = reinterpret_cast<CancelIoFn>(
      reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CancelSynchronousIo")));
  return fn;
}

}  // namespace

u32 FilterToolFlags(const FilterRecord &record) {
  u32 flags = kToolWorker | kToolNeverInline | kToolNoPullBack;
  if (record.NoIn) flags |= kToolNoInput;
  if (record.NoOut) flags |= kToolReadOnly;  // nothing comes back to put in
  return flags;
}

int RunFilter(const char *input, u32 length, ToolDocument *out, ToolParam param) {
  FilterJob *job = reinterpret_cast<FilterJob *>(param);
  const FilterRecord &f = job->record;
  job->failure = 0;
  job->started = job->waited = job->threadMissing = false;
  job->exitCode = 0;
  for (int i = 0; i < kFilterThreads; i++) {
    job->threadRan[i] = false;
    job->threadResult[i] = 0;
  }
  ToolDocumentFree(&job->error);
  if (f.NoIn) input = nullptr, length = 0;
  // 1. The command line.
  const int expanded = Expand(job, input, length);
  if (job->launchDialog) SetDlgItemTextA(job->launchDialog, IDC_LAUNCH_EXECUTE, job->command);
  if (expanded != kFilterCommandOk) {
    job->failure = expanded == kFilterCommandTooLong ? TXT_COMMAND_TOO_LONG : TXT_CANNOT_LAUNCH;
    return 0;
  }
  // 2, 3. The pipes.
  PipeEnds in, outPipe, errPipe;
  HANDLE nul = nullptr, errChild = nullptr;
  bool ok = MakePipe(&in, true);
  const bool separate = !f.NoOut && !f.MixOuts;
  if (ok && f.NoOut) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
    ok = nul != INVALID_HANDLE_VALUE &&
         DuplicateHandle(GetCurrentProcess(), nul, GetCurrentProcess(), &errChild, 0, TRUE, DUPLICATE_SAME_ACCESS);
    if (nul == INVALID_HANDLE_VALUE) nul = nullptr;
  } else if (ok) {
    ok = MakePipe(&outPipe, false);
    if (ok && separate) {
      ok = MakePipe(&errPipe, false);
      errChild = errPipe.child;
      errPipe.child = nullptr;
    } else if (ok) {
      ok = DuplicateHandle(GetCurrentProcess(), outPipe.child, GetCurrentProcess(), &errChild, 0, TRUE,
                           DUPLICATE_SAME_ACCESS) != FALSE;
    }
  }
  // 4. The process.
  PROCESS_INFORMATION pi = {};
  if (ok) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in.child;
    si.hStdOutput = f.NoOut ? nul : outPipe.child;
    si.hStdError = errChild;
    if (!CreateProcessA(nullptr, job->command, nullptr, nullptr, TRUE,
                        DETACHED_PROCESS | NORMAL_PRIORITY_CLASS | CREATE_DEFAULT_ERROR_MODE, nullptr, nullptr, &si,
                        &pi)) {
      const DWORD e = GetLastError();
      job->failure = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? TXT_EXE_NOT_FOUND : TXT_CANNOT_LAUNCH;
      ok = false;
    }
  } else {
    job->failure = TXT_CANNOT_LAUNCH;
  }
  // 5. The child's ends are the child's now.
  Close(&in.child);
  Close(&outPipe.child);
  Close(&errChild);
  Close(&nul);
  if (!ok) {
    Close(&in.mine);
    Close(&outPipe.mine);
    Close(&errPipe.mine);
    return 0;
  }
  job->started = true;
  CloseHandle(pi.hThread);
  const bool waitProcess = !f.IRet || f.Wait;
  // 6, 7, 8. The threads, made suspended and started together.
  PipeThread threads[kFilterThreads] = {};
  HANDLE handles[kFilterThreads + 1];
  HANDLE threadHandle[kFilterThreads] = {};
  threads[kFilterWriter] = PipeThread{in.mine, input, length, nullptr, f.Utf8 != 0, 0};
  threads[kFilterOutput] = PipeThread{outPipe.mine, nullptr, 0, out, f.Utf8 != 0, 0};
  threads[kFilterError] = PipeThread{errPipe.mine, nullptr, 0, &job->error, f.Utf8 != 0, 0};
  const bool wanted[kFilterThreads] = {!f.NoIn, !f.NoOut, separate};
  if (f.NoIn) Close(&threads[kFilterWriter].pipe);  // the child sees the end of its input at once
  // A filter mostly gives back about what it was given: room for that much
  // at once saves copying the output as it grows (without it the reader
  // grows the buffer as it must).
  if (!f.NoIn && !f.NoOut && length) (void)ToolDocumentReserve(out, static_cast<u64>(length) + kPieceBytes);
  for (int i = 0; i < kFilterThreads; i++) {
    if (!wanted[i]) continue;
    threadHandle[i] = MakeThread(i == kFilterWriter ? WriterMain : ReaderMain, &threads[i]);
    if (!threadHandle[i]) {
      job->threadMissing = true;
      Close(&threads[i].pipe);
    }
  }
  int count = 0;
  if (waitProcess) handles[count++] = pi.hProcess;
  for (int i = 0; i < kFilterThreads; i++) {
    if (!threadHandle[i]) continue;
    job->threadRan[i] = true;
    handles[count++] = threadHandle[i];
    ResumeThread(threadHandle[i]);
  }
  // 9. Wait for all of it, a quarter of a second at a time.
  bool cancelled = false, terminated = false;
  while (count > 0) {
    const DWORD r = WaitForMultipleObjects(static_cast<DWORD>(count), handles, TRUE, kWaitMs);
    if (r != WAIT_TIMEOUT) break;
    if (ToolCancelled()) {
      cancelled = true;
      if (!terminated) TerminateProcess(pi.hProcess, 1);
      terminated = true;
      // A grandchild may hold the output pipe open: the readers' blocked
      // reads are cancelled until they end.
      if (CancelIoFn cancelIo = CancelBlockedIo())
        for (int i = 0; i < kFilterThreads; i++)
          if (threadHandle[i] && WaitForSingleObject(threadHandle[i], 0) == WAIT_TIMEOUT) cancelIo(threadHandle[i]);
      continue;
    }
    // Sent, not posted: the window's thread serves sent messages while it
    // waits, before its wait window is up.
    if (job->threadMissing && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT && job->notify)
      SendMessageTimeoutA(job->notify, kFilterMemoryWarning, 0, 0, SMTO_NORMAL, 1000, nullptr);
  }
  if (ToolCancelled()) cancelled = true;
  for (int i = 0; i < kFilterThreads; i++) {
    if (!threadHandle[i]) continue;
    WaitForSingleObject(threadHandle[i], INFINITE);
    CloseHandle(threadHandle[i]);
    job->threadResult[i] = threads[i].result;
  }
  if (waitProcess && GetExitCodeProcess(pi.hProcess, &job->exitCode)) job->waited = true;
  // 13.
  CloseHandle(pi.hProcess);
  for (PipeThread &t : threads) Close(&t.pipe);
  return cancelled ? kResultCancelled : 0;
}

namespace {

// Shows "Filter return code: %d.\n\n" (when code is given) and at most
// 64 KiB of the text, never cutting a double-byte character; the text is
// shown as it is, never used as a format.
void ShowFilterText(HWND owner, const int *code, const ToolDocument *text) {
  char head[64] = "";
  if (code) Format(head, sizeof head, Text(TXT_FILTER_RETURN_CODE), *code);
  u32 n = text->length < kMessageBytes ? text->length : kMessageBytes;
  if (n < text->length) {
    u32 i = 0;
    for (u32 step; i < n; i += step) {
      step = Lead(text->text[i]) ? 2 : 1;
      if (i + step > n) break;
    }
    n = i;
  }
  const u32 headLength = static_cast<u32>(StrLen(head));
  char *shown = static_cast<char *>(Allocate(headLength + n + 1));
  if (!shown) {
    AskUser(owner, TXT_OUT_OF_MEMORY, kAskWarning);
    return;
  }
  MemCopy(shown, head, headLength);
  for (u32 i = 0; i < n; i++) shown[headLength + i] = text->text[i] ? text->text[i] : ' ';
  shown[headLength + n] = 0;
  AskUserAsIs(owner, shown, kAskWarning);
  Free(shown);
}

}  // namespace

int JudgeFilter(ToolDocument *out, ToolParam param) {
  FilterJob *job = reinterpret_cast<FilterJob *>(param);
  const FilterRecord &f = job->record;
  if (job->failure) {
    AskUser(job->owner, static_cast<TextSlot>(job->failure), kAskWarning);
    return kResultReported;
  }
  // A pipe thread that failed leaves cut output: nothing of it is used.
  for (int i = 0; i < kFilterThreads; i++) {
    if (job->threadRan[i] && job->threadResult[i] < 0) {
      AskUser(job->owner, job->threadResult[i] == -1 ? TXT_OUT_OF_MEMORY : TXT_ERROR, kAskWarning);
      return kResultReported;
    }
  }
  if (job->threadMissing) {
    AskUser(job->owner, TXT_OUT_OF_MEMORY, kAskWarning);
    return kResultReported;
  }
  // 11. Characters that had no form on the way: asked once.
  for (int i = 0; i < kFilterThreads; i++) {
    if (job->threadRan[i] && job->threadResult[i] > 0) {
      if (AskUser(job->owner, TXT_UNTRANSLATABLE, kAskYesNo) != kAnswerYes) return kResultReported;
      break;
    }
  }
  // 12.
  const ToolDocument empty = {};
  const ToolDocument &output = out ? *out : empty;
  const bool errorText = !f.NoOut && !f.MixOuts && job->error.length > 0;
  const int code = static_cast<int>(job->exitCode);
  if (!f.IRet && job->waited && job->exitCode != 0) {
    ShowFilterText(job->owner, &code, errorText ? &job->error : &output);
    return kResultReported;
  }
  if (f.NoOut) return 0;
  if (errorText) {
    if (f.IRet) {
      ShowFilterText(job->owner, nullptr, &job->error);
      return kResultNoChange;
    }
    ShowFilterText(job->owner, &code, &job->error);
    return output.length && !f.MsgOut ? 0 : kResultReported;
  }
  if (f.MsgOut) {
    if (output.length) ShowFilterText(job->owner, nullptr, &output);
    return kResultNoChange;
  }
  return 0;
}

void ReleaseFilterJob(FilterJob *job) { ToolDocumentFree(&job->error); }
