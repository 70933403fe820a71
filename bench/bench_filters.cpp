// External filters: 256 MiB of CR LF text through a child that copies its
// input with 1 MiB buffers, against a bare harness pushing the same bytes
// through the same child in the same run (1 MiB writes and reads, a writer
// thread and the reading thread); the same for UTF-8 text with 5% non-ASCII
// letters, for 128 MiB of output plus 128 MiB of error output, and for a
// child given nothing that writes ten bytes against a bare start-and-wait.
// The peak of private memory during the ANSI run against the output it
// holds.
#include <windows.h>

#include <algorithm>
#include <string>

#include "app/filter_run.h"
#include "bench/win_bench.h"
#include "foundation/memory.h"

namespace {

constexpr DWORD kPiece = 1u << 20;

struct Bare {
  HANDLE pipe;
  const char *text;
  size_t length;
  std::string *into;
};

DWORD WINAPI BareWriter(void *p) {
  Bare *b = static_cast<Bare *>(p);
  for (size_t at = 0; at < b->length;) {
    DWORD n = static_cast<DWORD>(b->length - at < kPiece ? b->length - at : kPiece), done = 0;
    if (!WriteFile(b->pipe, b->text + at, n, &done, nullptr)) break;
    at += done;
  }
  CloseHandle(b->pipe);
  return 0;
}

DWORD WINAPI BareReader(void *p) {
  Bare *b = static_cast<Bare *>(p);
  static thread_local char buf[kPiece];
  DWORD got = 0;
  while (ReadFile(b->pipe, buf, kPiece, &got, nullptr) && got) b->into->append(buf, got);
  CloseHandle(b->pipe);
  return 0;
}

// The child run bare: input written by a thread (when there is any), output
// and error read by threads; the seconds it took, the bytes that came back.
double BareRun(const std::string &command, const std::string *input, size_t *outBytes) {
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE inR, inW, outR, outW, errR, errW;
  CreatePipe(&inR, &inW, &sa, 0);
  CreatePipe(&outR, &outW, &sa, 0);
  CreatePipe(&errR, &errW, &sa, 0);
  SetHandleInformation(inW, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(outR, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errR, HANDLE_FLAG_INHERIT, 0);
  std::string out, err;
  out.reserve(input ? input->size() + kPiece : 0);
  const double t0 = Now();
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = inR;
  si.hStdOutput = outW;
  si.hStdError = errW;
  PROCESS_INFORMATION pi = {};
  std::string line = command;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi))
    return -1;
  CloseHandle(inR);
  CloseHandle(outW);
  CloseHandle(errW);
  CloseHandle(pi.hThread);
  Bare w = {inW, input ? input->data() : nullptr, input ? input->size() : 0, nullptr};
  Bare r = {outR, nullptr, 0, &out}, e = {errR, nullptr, 0, &err};
  HANDLE threads[3] = {CreateThread(nullptr, 0, BareWriter, &w, 0, nullptr),
                       CreateThread(nullptr, 0, BareReader, &r, 0, nullptr),
                       CreateThread(nullptr, 0, BareReader, &e, 0, nullptr)};
  WaitForMultipleObjects(3, threads, TRUE, INFINITE);
  WaitForSingleObject(pi.hProcess, INFINITE);
  const double t = Now() - t0;
  for (HANDLE h : threads) CloseHandle(h);
  CloseHandle(pi.hProcess);
  *outBytes = out.size() + err.size();
  return t;
}

double FilterRun(FilterJob *job, const std::string *input, size_t *outBytes) {
  ToolDocument out = {};
  const double t0 = Now();
  RunFilter(input ? input->data() : nullptr, input ? static_cast<u32>(input->size()) : 0, &out,
            reinterpret_cast<ToolParam>(job));
  const double t = Now() - t0;
  *outBytes = out.length + job->error.length;
  ToolDocumentFree(&out);
  ReleaseFilterJob(job);
  return t;
}

// Committed private memory, summed over the address space.
size_t PrivateNow() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION m;
  for (char *p = nullptr; VirtualQuery(p, &m, sizeof m) == sizeof m; p = static_cast<char *>(m.BaseAddress) + m.RegionSize) {
    if (m.State == MEM_COMMIT && m.Type == MEM_PRIVATE) total += m.RegionSize;
    if (static_cast<char *>(m.BaseAddress) + m.RegionSize < p) break;
  }
  return total;
}

// The highest of it while a run goes on, sampled every 10 ms.
struct PeakWatch {
  volatile LONG stop = 0;
  size_t peak = 0;
  HANDLE thread = nullptr;
  static DWORD WINAPI Main(void *p) {
    PeakWatch *w = static_cast<PeakWatch *>(p);
    while (!w->stop) {
      w->peak = std::max(w->peak, PrivateNow());
      Sleep(10);
    }
    return 0;
  }
  void Start() { thread = CreateThread(nullptr, 0, Main, this, 0, nullptr); }
  size_t Stop() {
    stop = 1;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return peak;
  }
};

}  // namespace

void FilterFigures(const char *child) {
  const std::string exe = std::string("\"") + child + "\"";
  const size_t size = 256u << 20;
  std::string text;
  text.reserve(size);
  while (text.size() + 80 <= size) text += "The filter bench pushes this line through a child and back again. 0123\r\n";
  std::string utf8Text = text;
  for (size_t i = 7; i < utf8Text.size(); i += 20)
    if (utf8Text[i] >= 'a' && utf8Text[i] <= 'z') utf8Text[i] = '\xE9';
  FilterJob *job = static_cast<FilterJob *>(Allocate(sizeof(FilterJob)));
  if (!job) return;
  auto define = [&](const char *steps, bool noIn, bool utf8) {
    *job = FilterJob{};
    snprintf(job->record.Cmd, sizeof job->record.Cmd, "%s %s", exe.c_str(), steps);
    job->record.NoIn = noIn;
    job->record.Utf8 = utf8;
  };
  size_t bareBytes = 0, filterBytes = 0;
  // ANSI first, while the peak is still this run's.
  define("copy", false, false);
  const size_t before = PrivateNow();
  PeakWatch watch;
  watch.Start();
  double filterAnsi = FilterRun(job, &text, &filterBytes);
  const size_t peak = watch.Stop();
  printf("filter_peak_over_input_mib %.1f output %.1f MiB\n", (peak - before) / 1048576.0, filterBytes / 1048576.0);
  Goal("filter_peak_over_output_mib", (static_cast<double>(peak) - before - filterBytes) / 1048576.0, 16, "MiB");
  // Each figure the better of two runs, the filter and the bare harness
  // taking turns, so that what else the machine does weighs on both alike.
  auto pair = [&](const char *name, const char *steps, bool noIn, bool utf8, const std::string *input,
                  double floor) {
    double f = 1e9, b = 1e9;
    for (int round = 0; round < 2; round++) {
      b = std::min(b, BareRun(exe + " " + steps, input, &bareBytes));
      define(steps, noIn, utf8);
      f = std::min(f, FilterRun(job, input, &filterBytes));
    }
    printf("%s_s %.3f bare %.3f (%zu / %zu bytes back) speed %.2f of the bare run: goal at least %.2f: %s\n", name,
           f, b, filterBytes, bareBytes, b / f, floor, b / f >= floor ? "met" : "MISSED");
  };
  pair("filter_ansi_256mib", "copy", false, false, &text, 0.8);
  pair("filter_utf8_256mib", "copy", false, true, &utf8Text, 0.6);
  pair("filter_out_err_256mib", "outn 134217728 errn 134217728", true, false, nullptr, 0.8);
  (void)filterAnsi;
  std::vector<double> f, b;
  for (int i = 0; i < 9; i++) {
    define("out 0123456789", true, false);
    f.push_back(FilterRun(job, nullptr, &filterBytes));
    b.push_back(BareRun(exe + " out 0123456789", nullptr, &bareBytes));
  }
  printf("filter_start_ms %.1f bare %.1f\n", Median(f) * 1000, Median(b) * 1000);
  Goal("filter_start_vs_bare", Median(f) / Median(b), 1.3, "x");
  Free(job);
}
