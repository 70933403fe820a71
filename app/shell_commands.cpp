#include "app/shell_commands.h"

#include <shellapi.h>

#include "app/app_state.h"
#include "app/file_commands.h"
#include "app/shell_text.h"
#include "document/document.h"
#include "document/text_store.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/format.h"
#include "foundation/texts.h"
#include "resources/resource.h"

#ifndef QP_MAKER_HOST
#define QP_MAKER_HOST ""
#endif
#ifndef QP_SEARCH_HOST
#define QP_SEARCH_HOST ""
#endif

namespace {

const ShellHook *g_shellHook;
char g_makerHost[256] = QP_MAKER_HOST;
char g_searchHost[256] = QP_SEARCH_HOST;

bool SystemRun(const ShellRequest &r) {
  SHELLEXECUTEINFOA sei = {};
  sei.cbSize = sizeof sei;
  // The system's own failure box is replaced by ours, which names the error.
  sei.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | r.mask;
  sei.hwnd = r.owner;
  sei.lpVerb = r.verb;
  sei.lpFile = r.file;
  sei.lpParameters = r.parameters;
  sei.lpDirectory = r.directory;
  sei.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExA(&sei)) return true;
  // Some failures come back without a last error: the instance value says it.
  if (GetLastError() == 0) {
    const INT_PTR code = reinterpret_cast<INT_PTR>(sei.hInstApp);
    SetLastError(code == SE_ERR_NOASSOC ? ERROR_NO_ASSOCIATION : code > 0 && code < 32 ? static_cast<DWORD>(code)
                                                                                       : ERROR_GEN_FAILURE);
  }
  return false;
}

// The path of the document, or null when it has no file.
const char *DocumentPath() {
  Document *doc = AppDocument();
  return doc && doc->filePath[0] ? doc->filePath : nullptr;
}

int ContainingFolder(HWND hwnd) {
  const char *path = DocumentPath();
  if (!path) return kResultCancelled;
  char parameters[MAX_PATH + 16];
  if (StrLen(path) + 11 > sizeof parameters) return ReportSystemError(hwnd, ERROR_FILENAME_EXCED_RANGE);
  char *p = StrCopy(parameters, "/select,\"");
  p = StrCopy(p, path);
  StrCopy(p, "\"");
  return ShellRun(ShellRequest{hwnd, nullptr, "explorer.exe", parameters, nullptr, 0, false});
}

int CommandPrompt(HWND hwnd) {
  const char *path = DocumentPath();
  if (!path) return kResultCancelled;
  char folder[MAX_PATH + 8];
  if (!FolderOfFile(path, folder, sizeof folder)) return kResultCancelled;
  return ShellRun(ShellRequest{hwnd, nullptr, "cmd.exe", nullptr, folder, 0, false});
}

int Properties(HWND hwnd) {
  const char *path = DocumentPath();
  if (!path) return kResultCancelled;
  return ShellRun(ShellRequest{hwnd, "properties", path, nullptr, nullptr, SEE_MASK_INVOKEIDLIST, false});
}

int Manual(HWND hwnd) {
  char exe[MAX_PATH];
  if (!ProgramPath(exe, sizeof exe)) return ReportSystemError(hwnd, GetLastError());
  size_t n = StrLen(exe);
  while (n && exe[n - 1] != '\\') n--;
  exe[n] = 0;
  char url[3 * MAX_PATH + 32];
  if (!BuildManualUrl(exe, url, sizeof url)) return ReportSystemError(hwnd, ERROR_FILENAME_EXCED_RANGE);
  return ShellRun(ShellRequest{hwnd, nullptr, url, nullptr, nullptr, 0, false});
}

int OpenMakerPage(HWND hwnd, const char *path) {
  char url[512];
  if (!MakerAddress(path, url, sizeof url)) return kResultCancelled;
  return ShellRun(ShellRequest{hwnd, nullptr, url, nullptr, nullptr, 0, false});
}

int WebSearch(HWND hwnd) {
  Document *doc = AppDocument();
  if (!doc || !SearchHost()[0]) return kResultCancelled;
  const u32 from = doc->selStart->position, to = doc->selEnd->position;
  if (from >= to) return kResultCancelled;
  // No more of the selection than the address can hold.
  char text[kSearchUrlMost + 2];
  const u32 last = to - from > kSearchUrlMost + 1 ? from + static_cast<u32>(kSearchUrlMost) + 1 : to;
  const u32 got = ReadText(&doc->store, from, last, text, sizeof text, 0, nullptr);
  char url[kSearchUrlMost + 1];
  if (!BuildSearchUrl(SearchHost(), text, got, url, sizeof url)) return kResultCancelled;
  return ShellRun(ShellRequest{hwnd, nullptr, url, nullptr, nullptr, 0, false});
}

}  // namespace

const ShellHook *InstallShellHook(const ShellHook *hook) {
  const ShellHook *previous = g_shellHook;
  g_shellHook = hook;
  return previous;
}

int ShellRun(const ShellRequest &request) {
  SetLastError(0);
  const bool started = g_shellHook ? g_shellHook->run(g_shellHook->context, request) : SystemRun(request);
  if (started) return 0;
  const DWORD code = GetLastError();
  if (request.quiet) return kResultReported;
  return ReportSystemError(request.owner, code ? code : ERROR_GEN_FAILURE);
}

int ReportSystemError(HWND owner, DWORD code) {
  char text[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                           sizeof text, nullptr);
  while (n && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) text[--n] = 0;
  if (!n) Format(text, sizeof text, "Error %u", static_cast<unsigned>(code));
  AskUserAsIs(owner, text, kAskWarning);
  return kResultReported;
}

bool ProgramPath(char *out, DWORD cap) {
  SetLastError(0);
  const DWORD n = GetModuleFileNameA(nullptr, out, cap);
  if (n == 0) return false;
  if (n >= cap || GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    // Cut to the buffer: a shorter path is another file, never to be run.
    out[0] = 0;
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  return true;
}

namespace {

// A loopback host ("127.x.x.x[:port]" or "localhost[:port]"), the only kind
// the environment may name.
bool LoopbackHost(const char *host, size_t n) {
  return (n >= 4 && MemCompare(host, "127.", 4) == 0) ||
         (n >= 9 && MemCompare(host, "localhost", 9) == 0 && (n == 9 || host[9] == ':'));
}

}  // namespace

void SetLoopbackHostsFromEnvironment() {
  char value[512];
  const DWORD n = GetEnvironmentVariableA("QP_LOOPBACK_HOSTS", value, sizeof value);
  if (!n || n >= sizeof value) return;
  size_t bar = 0;
  while (value[bar] && value[bar] != '|') bar++;
  const char *search = value[bar] ? value + bar + 1 : "";
  value[bar] = 0;
  if (LoopbackHost(value, bar)) StrCopyN(g_makerHost, value, sizeof g_makerHost);
  if (LoopbackHost(search, StrLen(search))) StrCopyN(g_searchHost, search, sizeof g_searchHost);
}

const char *MakerHost() { return g_makerHost; }
const char *SearchHost() { return g_searchHost; }

void SetShellHosts(const char *maker, const char *search) {
  if (maker) StrCopyN(g_makerHost, maker, sizeof g_makerHost);
  if (search) StrCopyN(g_searchHost, search, sizeof g_searchHost);
}

bool MakerAddress(const char *path, char *out, size_t cap) {
  if (!g_makerHost[0] || StrLen(g_makerHost) + StrLen(path) + 8 > cap) {
    if (cap) out[0] = 0;
    return false;
  }
  char *p = StrCopy(out, "http://");
  p = StrCopy(p, g_makerHost);
  StrCopy(p, path);
  return true;
}

bool WebSearchPossible() {
  Document *doc = AppDocument();
  return SearchHost()[0] && doc && doc->selStart->position < doc->selEnd->position;
}

int OfferNewVersion(HWND owner) {
  if (AskUser(owner, TXT_NEW_VERSION, kAskYesNoCancel) != kAnswerYes) return kResultCancelled;
  char path[128];
  Format(path, sizeof path, Text(TXT_UPDATE_PATH), "down");
  return OpenMakerPage(owner, path);
}

bool OpenOnlineManual(HWND owner, bool quiet) {
  char url[512];
  if (!MakerAddress("/quillpad/manual/", url, sizeof url)) return false;
  return ShellRun(ShellRequest{owner, nullptr, url, nullptr, nullptr, 0, quiet}) == 0;
}

int ShellCommand(HWND hwnd, int id) {
  switch (id) {
    case IDM_FILE_CONTAINING_FOLDER: return ContainingFolder(hwnd);
    case IDM_FILE_COMMAND_LINE: return CommandPrompt(hwnd);
    case IDM_FILE_PROPERTIES: return Properties(hwnd);
    case IDM_HELP_MANUAL: return Manual(hwnd);
    case IDM_HELP_ONLINE_MANUAL:
      return MakerHost()[0] ? (OpenOnlineManual(hwnd, false) ? 0 : kResultReported) : kResultCancelled;
    case IDM_HELP_HOMEPAGE: return OpenMakerPage(hwnd, "/quillpad/");
    case IDM_EDIT_WEB_SEARCH: return WebSearch(hwnd);
    default: return kResultNotHandled;
  }
}
