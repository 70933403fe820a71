#include "app/file_watch.h"

#include "app/app_state.h"
#include "app/file_commands.h"
#include "app/search_bar.h"
#include "app/status_bar.h"
#include "config/settings.h"
#include "files/load.h"
#include "foundation/bytes.h"
#include "foundation/memory.h"
#include "resources/resource.h"

namespace {

constexpr DWORD kWaitMs = 256;

struct WatchRecord {
  char path[kPathChars];
  char folder[kPathChars];
  HWND window;
  FILETIME known;  // the last-write time when the watch began
  volatile LONG stop;
  volatile LONG owners;  // the window and the thread; the last one frees the record
};

volatile LONG g_threadsRunning;

// The window's side (GUI thread only).
WatchRecord *g_watch;
FILETIME g_ownTime, g_askedTime;
bool g_hasOwnTime, g_hasAskedTime;
bool g_asking, g_askAgain;

void Release(WatchRecord *w) {
  if (InterlockedDecrement(&w->owners) == 0) Free(w);
}

// Opens the file for reading as a reader would and takes its last-write
// time. False when it cannot be opened just now (gone, locked, being
// replaced): that is no change. *missing tells that it is not there.
bool LastWriteTime(const char *path, FILETIME *out, bool *missing = nullptr) {
  HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (missing) *missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return false;
  }
  const bool ok = GetFileTime(f, nullptr, nullptr, out) != 0;
  CloseHandle(f);
  return ok;
}

bool SameTime(const FILETIME &a, const FILETIME &b) { return CompareFileTime(&a, &b) == 0; }

// The folder of a full path: "C:\dir\file" -> "C:\dir", "C:\file" -> "C:\".
bool FolderOf(const char *path, char *folder) {
  char full[kPathChars];
  const DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) return false;
  char *cut = nullptr;
  for (char *p = full; *p; p = CharNextA(p))
    if (*p == '\\' || *p == '/') cut = p;
  if (!cut) return false;
  if (cut == full + 2 && full[1] == ':') cut++;  // keep the root's separator
  *cut = 0;
  StrCopyN(folder, full, kPathChars);
  return true;
}

DWORD WINAPI WatchThread(void *arg) {
  WatchRecord *w = static_cast<WatchRecord *>(arg);
  FILETIME known = w->known;
  HANDLE change = FindFirstChangeNotificationA(w->folder, FALSE, FILE_NOTIFY_CHANGE_LAST_WRITE);
  // The file is looked at again at the next turn when it could not be
  // opened after a notification (the writer may still hold it), and after a
  // change was told: what happened during the pause that follows may not
  // leave a notification behind. A quiet turn only asks whether the file is
  // still there: its deletion changes no last-write time. The first turn
  // looks in any case, for a change made before the notification began.
  bool lookAgain = true;
  while (change != INVALID_HANDLE_VALUE && !w->stop) {
    const DWORD waited = WaitForSingleObject(change, kWaitMs);
    if (w->stop || waited == WAIT_FAILED) break;
    if (waited == WAIT_TIMEOUT && !lookAgain && GetFileAttributesA(w->path) != INVALID_FILE_ATTRIBUTES) continue;
    FILETIME now;
    bool missing = false;
    lookAgain = !LastWriteTime(w->path, &now, &missing);
    if (missing) {
      // The file may have gone with its folder. A folder removed while
      // this watch holds it may stay until that handle is let go, so the
      // watch lets go and begins anew; a folder that is gone ends it.
      FindCloseChangeNotification(change);
      change = FindFirstChangeNotificationA(w->folder, FALSE, FILE_NOTIFY_CHANGE_LAST_WRITE);
      continue;
    }
    if (!lookAgain && !SameTime(now, known) && g_settings.file.Watch) {
      known = now;
      PostMessageA(w->window, WM_COMMAND, IDM_FILE_CHANGED, 0);
      Sleep(kWaitMs);
      lookAgain = true;
    }
    if (waited == WAIT_OBJECT_0 && !FindNextChangeNotification(change)) break;
  }
  if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
  InterlockedDecrement(&g_threadsRunning);
  Release(w);
  return 0;
}

}  // namespace

void StopWatching() {
  if (!g_watch) return;
  InterlockedExchange(&g_watch->stop, 1);
  Release(g_watch);
  g_watch = nullptr;
}

void NoteOwnFileTime(const char *path) {
  g_hasOwnTime = path && path[0] && LastWriteTime(path, &g_ownTime);
}

void StartWatching(const char *path) {
  StopWatching();
  FILETIME now;
  if (!path || !path[0] || !LastWriteTime(path, &now)) return;
  // Started after a load or a save, a watch finds the document matching its
  // file; after a failed save (the watch goes on) the file is not this
  // window's, and a change made meanwhile must still be asked about.
  Document *doc = AppDocument();
  if (doc && !doc->modified) {
    g_ownTime = now;
    g_hasOwnTime = true;
  }
  if (!g_settings.file.Watch || !g_app.mainWindow) return;
  WatchRecord *w = static_cast<WatchRecord *>(Allocate(sizeof(WatchRecord)));
  if (!w) return;
  w->known = now;
  StrCopyN(w->path, path, kPathChars);
  if (!FolderOf(path, w->folder)) {
    Free(w);
    return;
  }
  w->window = g_app.mainWindow;
  w->stop = 0;
  w->owners = 2;
  InterlockedIncrement(&g_threadsRunning);
  HANDLE thread = CreateThread(nullptr, 0, WatchThread, w, 0, nullptr);
  if (!thread) {
    InterlockedDecrement(&g_threadsRunning);
    Free(w);
    return;
  }
  CloseHandle(thread);
  g_watch = w;
}

int CommandFileChanged() {
  Document *doc = AppDocument();
  // A request of a watch stopped since (Cancel, another file) is stale.
  if (!doc || !doc->filePath[0] || !g_watch) return kResultCancelled;
  FILETIME now;
  if (!LastWriteTime(doc->filePath, &now)) return kResultCancelled;
  if ((g_hasOwnTime && SameTime(now, g_ownTime)) || (g_hasAskedTime && SameTime(now, g_askedTime)))
    return kResultCancelled;
  if (g_asking) {
    g_askAgain = true;
    return kResultCancelled;
  }
  g_asking = true;
  g_askedTime = now;
  g_hasAskedTime = true;
  OpenRequest request = {doc->filePath, kDetectEncoding, 0, kOpenRevert | kOpenRevertChanged};
  FileHooks hooks = AppFileHooks();
  // "File reloaded from the disk." goes up once the view has caught up: the
  // caret's return would count as a request to clear it.
  static int s_status;
  s_status = -1;
  hooks.statusMessage = [](void *, int slot) { s_status = slot; };
  const int r = OpenFile(doc, request, hooks);
  StopHighlightRetry();
  SyncViewAfterLoad();
  if (s_status >= 0) ShowMessage(Text(static_cast<TextSlot>(s_status)), 2);
  // The time read before the load: a change made while it read is newer
  // and is asked about in its turn.
  if (r == 0) {
    g_ownTime = now;
    g_hasOwnTime = true;
  }
  g_asking = false;
  if (g_askAgain) {
    g_askAgain = false;
    if (g_app.mainWindow) PostMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_CHANGED, 0);
  }
  return r;
}

bool Watching() { return g_watch != nullptr; }

long WatchThreadsRunning() { return InterlockedCompareExchange(&g_threadsRunning, 0, 0); }
