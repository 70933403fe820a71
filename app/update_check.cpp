#include "app/update_check.h"

#include <wininet.h>

#include "app/app_state.h"
#include "app/shell_commands.h"
#include "app/shell_text.h"
#include "config/config_io.h"
#include "config/config_state.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/format.h"
#include "foundation/random.h"
#include "foundation/texts.h"

namespace {

DWORD g_requestMs = 10000;
DWORD g_deadlineMs = 15000;
u32 (*g_clock)();
bool g_checking;
bool g_quitting;  // the program is ending: the check's answer is dropped

u32 Now() {
  if (g_clock) return g_clock();
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return ft.dwHighDateTime;
}

// One request, shared by the worker and the waiter: whichever lets go last
// frees it, so that an abandoned worker never writes into freed memory.
struct UpdateJob {
  volatile LONG refs;
  volatile LONG status;
  DWORD timeoutMs;
  char host[256];
  INTERNET_PORT port;
  char path[128];
  char url[512];  // the address the reply must come from
  char agent[128];
};

void Release(UpdateJob *job) {
  if (InterlockedDecrement(&job->refs) == 0) HeapFree(GetProcessHeap(), 0, job);
}

bool IsLoopback(const char *host) {
  const size_t n = StrLen(host);
  return (n >= 4 && MemCompare(host, "127.", 4) == 0) || (n == 9 && MemCompare(host, "localhost", 9) == 0);
}

bool HasField(HINTERNET request, DWORD field) {
  char value[64];
  DWORD size = sizeof value, index = 0;
  return HttpQueryInfoA(request, field, value, &size, &index) || GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// A 200 made up by the library for a reply that was not HTTP has no header
// fields; a real one has at least one of these.
bool RealReply(HINTERNET request) {
  static const DWORD kFields[] = {HTTP_QUERY_DATE, HTTP_QUERY_SERVER, HTTP_QUERY_CONTENT_TYPE,
                                  HTTP_QUERY_CONTENT_LENGTH, HTTP_QUERY_CONNECTION, HTTP_QUERY_LAST_MODIFIED};
  for (DWORD f : kFields)
    if (HasField(request, f)) return true;
  return false;
}

bool SameText(const char *a, const char *b) {
  const size_t n = StrLen(a);
  return n == StrLen(b) && MemCompare(a, b, n) == 0;
}

// The address the answer finally came from is the one asked for (the
// library may spell out the default port).
bool SameAddress(HINTERNET request, const UpdateJob *job) {
  char final[1024];
  DWORD size = sizeof final;
  if (!InternetQueryOptionA(request, INTERNET_OPTION_URL, final, &size)) return false;
  final[size < sizeof final ? size : sizeof final - 1] = 0;
  if (SameText(final, job->url)) return true;
  char spelled[600];
  Format(spelled, sizeof spelled, "http://%s:%d%s", job->host, static_cast<int>(job->port), job->path);
  return SameText(final, spelled);
}

void SetTimeouts(HINTERNET handle, DWORD ms) {
  InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof ms);
  InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &ms, sizeof ms);
  InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
}

int Request(const UpdateJob *job) {
  DWORD connected = 0;
  if (!IsLoopback(job->host) && !InternetGetConnectedState(&connected, 0)) return 0;
  HINTERNET session = InternetOpenA(job->agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!session) return 0;
  SetTimeouts(session, job->timeoutMs);
  int status = 0;
  HINTERNET connection =
      InternetConnectA(session, job->host, job->port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  if (connection) {
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTH |
                        INTERNET_FLAG_NO_AUTO_REDIRECT;
    HINTERNET request = HttpOpenRequestA(connection, "HEAD", job->path, nullptr, nullptr, nullptr, flags, 0);
    if (request) {
      SetTimeouts(request, job->timeoutMs);
      DWORD code = 0, size = sizeof code, index = 0;
      if (HttpSendRequestA(request, nullptr, 0, nullptr, 0) &&
          HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, &index)) {
        status = static_cast<int>(code);
        if (status == 200 && !(RealReply(request) && SameAddress(request, job))) status = 0;
      }
      InternetCloseHandle(request);
    }
    InternetCloseHandle(connection);
  }
  InternetCloseHandle(session);
  return status;
}

DWORD WINAPI Worker(void *context) {
  UpdateJob *job = static_cast<UpdateJob *>(context);
  InterlockedExchange(&job->status, Request(job));
  Release(job);
  return 0;
}

// Splits "host" or "host:port".
bool SetHost(UpdateJob *job, const char *host) {
  size_t n = StrLen(host), colon = n;
  for (size_t i = 0; i < n; i++)
    if (host[i] == ':') colon = i;
  if (!n || colon == 0 || colon >= sizeof job->host) return false;
  MemCopy(job->host, host, colon);
  job->host[colon] = 0;
  job->port = INTERNET_DEFAULT_HTTP_PORT;
  if (colon < n) {
    u32 port = 0;
    for (size_t i = colon + 1; i < n; i++) {
      if (host[i] < '0' || host[i] > '9' || port > 65535) return false;
      port = port * 10 + static_cast<u32>(host[i] - '0');
    }
    if (!port || port > 65535) return false;
    job->port = static_cast<INTERNET_PORT>(port);
  }
  return true;
}

// Waits for the worker until the deadline, dispatching the owner thread's
// messages meanwhile. False when the deadline passed (or the program is
// quitting).
bool Wait(HANDLE thread, bool pump) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD spent = GetTickCount() - start;
    if (spent >= g_deadlineMs) return false;
    const DWORD left = g_deadlineMs - spent;
    const DWORD r = pump ? MsgWaitForMultipleObjects(1, &thread, FALSE, left, QS_ALLINPUT)
                         : WaitForSingleObject(thread, left);
    if (r == WAIT_OBJECT_0) return true;
    if (!pump || r != WAIT_OBJECT_0 + 1) continue;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        g_quitting = true;
        return false;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

int RunRequest(const char *tag, bool pump) {
  UpdateJob *job = static_cast<UpdateJob *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(UpdateJob)));
  if (!job) return 0;
  if (!SetHost(job, MakerHost())) {
    HeapFree(GetProcessHeap(), 0, job);
    return 0;
  }
  job->refs = 2;
  job->timeoutMs = g_requestMs;
  Format(job->path, sizeof job->path, Text(TXT_UPDATE_PATH), tag);
  Format(job->agent, sizeof job->agent, "%s %s", Text(TXT_PRODUCT), Text(TXT_VERSION));
  if (job->port == INTERNET_DEFAULT_HTTP_PORT)
    Format(job->url, sizeof job->url, "http://%s%s", job->host, job->path);
  else
    Format(job->url, sizeof job->url, "http://%s:%d%s", job->host, static_cast<int>(job->port), job->path);
  HANDLE thread = CreateThread(nullptr, 0, Worker, job, 0, nullptr);
  if (!thread) {
    HeapFree(GetProcessHeap(), 0, job);
    return 0;
  }
  const bool done = Wait(thread, pump);
  CloseHandle(thread);
  const int status = done ? static_cast<int>(job->status) : 0;
  Release(job);
  return status;
}

int SaveForPeriodic(void *) { return SaveConfig(g_app.mainWindow, g_config.path, false, false); }

void SpawnChecker(void *context) {
  char exe[MAX_PATH];
  if (!ProgramPath(exe, sizeof exe)) return;
  // The child keeps the configuration file it was named, or it would check
  // and record into another one (and this one would start it every time).
  char parameters[kConfigPathChars + 16] = "/u";
  if (g_app.options.configFile[0]) Format(parameters, sizeof parameters, "/u /i \"%s\"", g_app.options.configFile);
  (void)ShellRun(ShellRequest{static_cast<HWND>(context), nullptr, exe, parameters, nullptr, 0, true});
}

u32 DrawRandom(void *) { return static_cast<u32>(Random()); }

}  // namespace

int RequestUpdateStatus(const char *tag) { return RunRequest(tag, true); }

int CheckForUpdate(HWND owner, bool silent, const char *tag) {
  if (g_checking) return kResultCancelled;
  g_checking = true;
  g_quitting = false;
  const int status = RunRequest(tag, owner != nullptr);
  g_checking = false;
  // The window was closed meanwhile: nothing to tell, nowhere to keep it.
  if (g_quitting || (owner && !IsWindow(owner))) return kResultCancelled;
  switch (ApplyUpdateStatus(&g_settings.lists.update, status, Now(), silent)) {
    case kNoticeNewVersion: (void)OfferNewVersion(owner); break;
    case kNoticeNoUpdate: AskUser(owner, TXT_NO_UPDATE, kAskInfo); break;
    case kNoticeConnectionError: AskUser(owner, TXT_CONNECTION_ERROR, kAskWarning); break;
    case kNoticeNone: break;
  }
  return 0;
}

int RunUpdateCheckJob() {
  const char *hash = g_settings.lists.update.Hash;
  (void)CheckForUpdate(nullptr, true, hash[0] ? hash : "none");
  (void)SaveConfig(nullptr, g_config.path, false, false);
  return 0;
}

void RunPeriodicUpdateCheck(HWND owner) {
  const UpdateSettings &u = g_settings.lists.update;
  if (!u.Auto || !MakerHost()[0]) return;
  // A due check saves the configuration and starts a process: the window is
  // painted first, so that the user never waits for them.
  if (owner && UpdateCheckDue(Now(), u.Last, u.Fail)) RedrawWindow(owner, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  const PeriodicHooks hooks = {SaveForPeriodic, SpawnChecker, DrawRandom, owner};
  (void)RunPeriodicCheck(&g_settings.lists.update, Now(), hooks);
}

void SetUpdateTimeouts(DWORD requestMs, DWORD deadlineMs) {
  g_requestMs = requestMs ? requestMs : 10000;
  g_deadlineMs = deadlineMs ? deadlineMs : 15000;
}

void SetUpdateClock(u32 (*now)()) { g_clock = now; }
