#include "app/list_menus.h"

#include "app/app_state.h"
#include "app/file_commands.h"
#include "app/main_window.h"
#include "config/config_lists.h"
#include "config/config_state.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/format.h"
#include "foundation/memory.h"
#include "foundation/texts.h"
#include "resources/resource.h"

namespace {

// What an edit field shows of a clip at most.
constexpr u32 kClipShown = 32767;

bool ClipHasText(int n) { return g_config.clips[n].length > 0; }

// File > Recent Files: newest first, numbered 0 to 9; "(none)" alone when
// empty; then Clear.
void BuildRecentMenu(HMENU menu) {
  int added = 0;
  for (int slot = 0; slot < kRecentFiles; slot++) {
    const char *path = g_settings.lists.recent[slot];
    if (!path[0]) continue;
    char text[2 * kPathChars + 8];
    NumberedItemText(text, sizeof text, 9 - slot, path);
    InsertMenuA(menu, 0, MF_BYPOSITION | MF_STRING, IDM_RECENT_FIRST + slot, text);
    added++;
  }
  if (!added) AppendMenuA(menu, MF_STRING | MF_GRAYED, 0, "(none)");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, IDM_RECENT_CLEAR, "Clear");
}

// Favourites: Add this File, Manage List.., a separator, then the slots in
// order ("-" and "--" as separators), the first nine numbered 1-9 and the
// rest 0; "(none)" when there is no file in the list.
void BuildFavouritesMenu(HMENU menu, const Document *doc) {
  AppendMenuA(menu, MF_STRING | (doc && doc->filePath[0] ? 0 : MF_GRAYED), IDM_FAVOURITES_ADD, "&Add this File");
  AppendMenuA(menu, MF_STRING | (CommandPending(IDM_FAVOURITES_MANAGE) ? MF_GRAYED : 0), IDM_FAVOURITES_MANAGE,
              "&Manage List..");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  int added = 0;
  for (int slot = 0; slot < kFavourites; slot++) {
    const char *path = g_settings.lists.favourites[slot];
    if (!path[0]) continue;
    if (IsFavouriteSeparator(path)) {
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    char text[2 * kPathChars + 8];
    NumberedItemText(text, sizeof text, slot < 9 ? slot + 1 : 0, path);
    AppendMenuA(menu, MF_STRING, IDM_FAVOURITE_FIRST + slot, text);
    added++;
  }
  if (!added) AppendMenuA(menu, MF_STRING | MF_GRAYED, 0, "(none)");
}

// The Clips Roster: Copy to 1-9 and, in a second column, Paste from 1-9.
void BuildClipsRoster(HMENU menu) {
  if (GetMenuItemCount(menu) != 2 * kClipCount) {
    while (GetMenuItemCount(menu) > 0) DeleteMenu(menu, 0, MF_BYPOSITION);
    char text[64];
    for (int n = 0; n < kClipCount; n++) {
      Format(text, sizeof text, "Copy to &%d\tAlt+%d", n + 1, n + 1);
      AppendMenuA(menu, MF_STRING, IDM_CLIP_STORE + n, text);
    }
    for (int n = 0; n < kClipCount; n++) {
      Format(text, sizeof text, "Paste from &%d\tCtrl+%d", n + 1, n + 1);
      AppendMenuA(menu, MF_STRING | (n == 0 ? MF_MENUBARBREAK : 0), IDM_CLIP_INSERT + n, text);
    }
  }
  for (int n = 0; n < kClipCount; n++)
    EnableMenuItem(menu, IDM_CLIP_INSERT + n, MF_BYCOMMAND | (ClipHasText(n) ? MF_ENABLED : MF_GRAYED));
}

// Opens a path of a list: a copy, since opening changes the lists.
int OpenListed(const char *listed) {
  char path[kPathChars];
  StrCopyN(path, listed, sizeof path);
  if (!path[0] || IsFavouriteSeparator(path)) return kResultCancelled;
  return CommandOpenPath(path);
}

int AddThisFile(HWND hwnd) {
  const Document *doc = AppDocument();
  if (!doc || !doc->filePath[0]) return kResultCancelled;
  if (AddFavourite(&g_settings, doc->filePath)) return kResultDone;
  AskUser(hwnd, TXT_CANNOT_ADD_ITEM, kAskWarning);
  return kResultReported;
}

INT_PTR CALLBACK ClipsDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG: {
      char *shown = static_cast<char *>(Allocate(kClipShown + 1));
      for (int n = 0; n < kClipCount; n++) {
        const ClipSlot &clip = g_config.clips[n];
        HWND field = GetDlgItem(dialog, IDC_CLIP_TEXT + n);
        if (shown && clip.length) {
          // Whole characters only: a double-byte one is never cut in half.
          u32 length = 0;
          while (length < clip.length) {
            const u32 step = IsDBCSLeadByte(static_cast<BYTE>(clip.text[length])) && length + 1 < clip.length ? 2 : 1;
            if (length + step > kClipShown) break;
            length += step;
          }
          for (u32 i = 0; i < length; i++) shown[i] = clip.text[i] ? clip.text[i] : ' ';
          shown[length] = 0;
          SendMessageA(field, EM_SETLIMITTEXT, kClipShown, 0);
          SetWindowTextA(field, shown);
        }
        EnableWindow(field, ClipHasText(n));
        EnableWindow(GetDlgItem(dialog, IDC_CLIP_PASTE + n), ClipHasText(n));
      }
      Free(shown);
      return TRUE;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id >= IDC_CLIP_PASTE && id < IDC_CLIP_PASTE + kClipCount) {
        EndDialog(dialog, id - IDC_CLIP_PASTE + 1);
        return TRUE;
      }
      if (id == IDCANCEL || id == IDOK) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

void NumberedItemText(char *out, size_t size, int number, const char *path) {
  (void)Format(out, size, "&%d. ", number);
  size_t at = StrLen(out);
  for (const char *p = path; *p && at + 2 < size; p++) {
    if (*p == '&') out[at++] = '&';
    out[at++] = *p;
  }
  out[at < size ? at : size - 1] = 0;
}

void BuildListMenus(HMENU bar, const Document *doc) {
  if (HMENU menu = Submenu(bar, IDM_RECENT_MENU, true)) BuildRecentMenu(menu);
  if (HMENU menu = Submenu(bar, IDM_FAVOURITES_MENU, true)) BuildFavouritesMenu(menu, doc);
  if (HMENU menu = Submenu(bar, IDM_CLIPS_ROSTER, false)) BuildClipsRoster(menu);
}

int ListCommand(HWND hwnd, int id) {
  if (id >= IDM_RECENT_FIRST && id < IDM_RECENT_FIRST + kRecentFiles)
    return OpenListed(g_settings.lists.recent[id - IDM_RECENT_FIRST]);
  if (id >= IDM_FAVOURITE_FIRST && id < IDM_FAVOURITE_FIRST + kFavourites)
    return OpenListed(g_settings.lists.favourites[id - IDM_FAVOURITE_FIRST]);
  switch (id) {
    case IDM_RECENT_CLEAR:
      ClearRecentFiles(&g_settings);
      return kResultDone;
    case IDM_FAVOURITES_ADD: return AddThisFile(hwnd);
    case IDM_CLIPS_VIEW: return RunClipsDialog(hwnd);
    case IDM_CLIPS_CLEAR:
      ClearAllClips();
      return kResultDone;
    default: return 64;
  }
}

int RunClipsDialog(HWND owner) {
  const INT_PTR chosen = DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_CLIPS), owner, ClipsDlgProc, 0);
  if (chosen <= 0 || chosen > kClipCount) return kResultCancelled;
  SendMessageA(owner, WM_COMMAND, IDM_CLIP_INSERT + static_cast<int>(chosen) - 1, 0);
  return kResultDone;
}
