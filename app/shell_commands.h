// The jobs the program hands to the system's shell: the file's folder, a
// command prompt, the property sheet, the manuals, the product page, a web
// search for the selection, the download page and further processes of the
// program itself.
//
// Every one of them goes through ShellRun, the one choke point that tests
// replace with a recorder. A failure shows the system's own message for it
// (a warning titled "Quillpad") and gives 48; a command with nothing to act
// on (no file, no selection, no host) gives 32 and starts nothing.
#pragma once

#include <windows.h>

struct ShellRequest {
  HWND owner;              // null for the one-shot jobs without a window
  const char *verb;        // null for the default verb
  const char *file;
  const char *parameters;  // null for none
  const char *directory;   // null for the current folder
  ULONG mask;              // SEE_MASK_* flags beyond the usual ones
  bool quiet;              // a failure is not shown (the caller reports it)
};

// Stands in for ShellExecuteExA: true when the job was started; on failure
// it sets the thread's last error.
struct ShellHook {
  bool (*run)(void *context, const ShellRequest &request);
  void *context;
};
// Installs a hook (or null for the system) and returns the one it replaces.
const ShellHook *InstallShellHook(const ShellHook *hook);

// Starts the job (show state normal). Returns 0, or 48 after the failure was
// shown (or kept quiet).
int ShellRun(const ShellRequest &request);

// Shows the system's text of an error code as a warning; returns 48.
int ReportSystemError(HWND owner, DWORD code);

// The full path of the program; false (with the last error set) when the
// system gave none or cut it to the buffer.
bool ProgramPath(char *out, DWORD cap);

// The host names of the maker's web server and of the search engine (build
// settings); empty means the commands that need one do nothing. Tests set
// others (null keeps a name as it is).
const char *MakerHost();
const char *SearchHost();
void SetShellHosts(const char *maker, const char *search);
// Tests of the built program: QP_LOOPBACK_HOSTS="maker|search" replaces
// either host, but only with one on the loopback interface, so that no other
// server can be named from outside.
void SetLoopbackHostsFromEnvironment();

// "http://<maker host><path>" into out; false when there is no maker host.
bool MakerAddress(const char *path, char *out, size_t cap);

// The shell commands of the main window (13653, 13655, 13657, 58111, 58131,
// 58311) and the editor's context menu (Web Search); 64 for any other id.
int ShellCommand(HWND hwnd, int id);

// Whether Web Search has something to search and somewhere to search it.
bool WebSearchPossible();

// The new-version question ("New version is available..", Yes/No/Cancel)
// and, on Yes, the download page. Shared by the update check and the status
// bar's note. Returns 0, 32 or 48.
int OfferNewVersion(HWND owner);

// The online manual in the browser (/?): true when it could be launched.
bool OpenOnlineManual(HWND owner, bool quiet);
