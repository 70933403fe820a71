#include "app/settings_pages.h"

#include "app/app_state.h"
#include "app/common_dialogs.h"
#include "app/file_commands.h"
#include "app/settings_dialog.h"
#include "config/config_io.h"
#include "config/config_lists.h"
#include "config/config_state.h"
#include "config/settings_bindings.h"
#include "editor/editor_messages.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/format.h"
#include "foundation/memory.h"
#include "foundation/random.h"
#include "foundation/texts.h"
#include "resources/resource.h"

namespace {

bool Checked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }

// ---- pages made of bound controls ----

void ShowBinding(HWND page, const ControlBinding &b) {
  switch (b.kind) {
    case kBindCheck:
    case kBindBitOff:
    case kBindLevel:
      CheckDlgButton(page, b.control, BindingChecked(g_settings, b) ? BST_CHECKED : BST_UNCHECKED);
      break;
    case kBindRadio: {
      const i32 chosen = BindingRadioIndex(g_settings, b);
      for (int i = 0; i < b.arg; i++) CheckDlgButton(page, b.control + i, i == chosen ? BST_CHECKED : BST_UNCHECKED);
      break;
    }
    case kBindNumber:
    case kBindMiB: {
      bool isSigned = false;
      const u32 v = BindingShownNumber(g_settings, b, &isSigned);
      char text[16];
      Format(text, sizeof text, isSigned ? "%d" : "%u", v);
      SetDlgItemTextA(page, b.control, text);
      break;
    }
    case kBindText: {
      const u32 size = BindingTextSize(b);
      SendDlgItemMessageA(page, b.control, EM_LIMITTEXT, size - 1, 0);
      char text[1024];
      StrCopyN(text, static_cast<const char *>(BindingField(&g_settings, b)), size < sizeof text ? size : sizeof text);
      SetDlgItemTextA(page, b.control, text);
      break;
    }
    default:
      break;  // colours and fonts change at once
  }
}

void ReadBinding(HWND page, const ControlBinding &b) {
  switch (b.kind) {
    case kBindCheck:
    case kBindBitOff:
    case kBindLevel:
      StoreBindingCheck(&g_settings, b, Checked(page, b.control));
      break;
    case kBindRadio:
      for (int i = 0; i < b.arg; i++)
        if (Checked(page, b.control + i)) StoreBindingRadio(&g_settings, b, i);
      break;
    case kBindNumber:
    case kBindMiB: {
      char text[64];
      GetDlgItemTextA(page, b.control, text, sizeof text);
      (void)StoreBindingNumber(&g_settings, b, text);  // no number: the value stays
      break;
    }
    case kBindText: {
      char text[1024];
      GetDlgItemTextA(page, b.control, text, sizeof text);
      StoreBindingText(&g_settings, b, text);
      break;
    }
    default:
      break;
  }
}

void ShowBindings(HWND page, int resource) {
  for (int i = 0; i < kControlBindingCount; i++)
    if (kControlBindings[i].page == resource) ShowBinding(page, kControlBindings[i]);
}

void ReadBindings(HWND page, int resource) {
  for (int i = 0; i < kControlBindingCount; i++)
    if (kControlBindings[i].page == resource) ReadBinding(page, kControlBindings[i]);
}

// What a page does with its own buttons: true when handled.
using ButtonHandler = bool (*)(HWND page, int id);

// The common part of the pages of bound controls: shown when made, applied
// on 1; they change nothing live, so 2 and 3 have nothing to undo.
INT_PTR BoundPage(int resource, ButtonHandler buttons, HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      ShowBindings(page, resource);
      if (buttons) buttons(page, 0);  // the enabled states
      return FALSE;
    case WM_COMMAND:
      if (lParam == 0 && HIWORD(wParam) == 0) {
        if (LOWORD(wParam) == kPageApply) ReadBindings(page, resource);
        return TRUE;
      }
      if (buttons && HIWORD(wParam) == BN_CLICKED) return buttons(page, LOWORD(wParam)) ? TRUE : FALSE;
      return FALSE;
    default:
      return FALSE;
  }
}

bool GeneralButtons(HWND, int id) {
  if (id != IDC_ST_CLEAR_RECENT) return false;
  ClearRecentFiles(&g_settings);
  return true;
}

bool SaveLoadButtons(HWND page, int id) {
  if (id == IDC_ST_AREVERT) {
    if (Checked(page, IDC_ST_AREVERT)) AskUser(GetParent(page), TXT_AREVERT_WARNING, kAskWarning);
    return true;
  }
  if (id == IDC_ST_EXPLORE) {
    char path[kPathChars];
    GetDlgItemTextA(page, IDC_ST_TMPPATH, path, sizeof path);
    if (ChooseFolder(GetParent(page), path)) {
      path[BindingTextSize(ControlBinding{0, 0, "TmpPath", kBindText, 0}) - 1] = 0;
      SetDlgItemTextA(page, IDC_ST_TMPPATH, path);
    }
    return true;
  }
  return false;
}

bool ClipboardButtons(HWND page, int) {
  // Only when Ctrl is pressed: a kind of auto-copy.
  EnableWindow(GetDlgItem(page, IDC_ST_AMCOPY_CTRL), Checked(page, IDC_ST_AMCOPY));
  return false;
}

// ---- Appearance: colours and fonts in effect at once, undone by Cancel ----

struct Appearance {
  u32 colours[15];  // as when the page was made or last applied, in the order of the bindings
  FontRecord fonts[3];
};

Appearance *AppearanceOf(HWND page) { return reinterpret_cast<Appearance *>(GetWindowLongPtrA(page, DWLP_USER)); }

// The colour and font bindings of the page, in table order.
template <typename Visit>
void ForEachLook(Visit visit) {
  int colour = 0, font = 0;
  for (int i = 0; i < kControlBindingCount; i++) {
    const ControlBinding &b = kControlBindings[i];
    if (b.kind == kBindColour && colour < 15) visit(b, colour++, -1);
    else if (b.kind == kBindFont && font < 3) visit(b, -1, font++);
  }
}

void KeepLook(Appearance *a) {
  ForEachLook([&](const ControlBinding &b, int colour, int font) {
    if (colour >= 0) MemCopy(&a->colours[colour], BindingField(&g_settings, b), sizeof(u32));
    else MemCopy(&a->fonts[font], BindingField(&g_settings, b), sizeof(FontRecord));
  });
}

void RepaintEditor() {
  if (g_app.editorWindow) SendMessageA(g_app.editorWindow, EDM_REFRESH, kRefreshInvalidate, 0);
}

void PutBackLook(HWND page, const Appearance *a) {
  ForEachLook([&](const ControlBinding &b, int colour, int font) {
    if (colour >= 0) MemCopy(BindingField(&g_settings, b), &a->colours[colour], sizeof(u32));
    else MemCopy(BindingField(&g_settings, b), &a->fonts[font], sizeof(FontRecord));
  });
  ApplyEditorFonts();
  RepaintEditor();
  InvalidateRect(page, nullptr, TRUE);
}

const ControlBinding *LookBinding(int control) {
  for (int i = 0; i < kControlBindingCount; i++) {
    const ControlBinding &b = kControlBindings[i];
    if (b.control == control && b.page == IDD_APPEARANCE_PAGE) return &b;
  }
  return nullptr;
}

void DrawColourButton(const DRAWITEMSTRUCT *di) {
  const ControlBinding *b = LookBinding(static_cast<int>(di->CtlID));
  if (!b || b->kind != kBindColour) return;
  u32 colour;
  MemCopy(&colour, BindingField(&g_settings, *b), sizeof colour);
  RECT r = di->rcItem;
  DrawEdge(di->hDC, &r, (di->itemState & ODS_SELECTED) ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);
  HBRUSH brush = CreateSolidBrush(colour & 0xFFFFFF);
  if (brush) {
    FillRect(di->hDC, &r, brush);
    DeleteObject(brush);
  }
  if (di->itemState & ODS_FOCUS) {
    RECT focus = di->rcItem;
    InflateRect(&focus, -1, -1);
    DrawFocusRect(di->hDC, &focus);
  }
}

bool AppearanceButton(HWND page, int id) {
  const ControlBinding *b = LookBinding(id);
  HWND owner = GetParent(page);
  if (b && b->kind == kBindColour) {
    u32 colour;
    MemCopy(&colour, BindingField(&g_settings, *b), sizeof colour);
    if (!ChooseColour(owner, &colour)) return true;
    colour &= 0xFFFFFF;
    MemCopy(BindingField(&g_settings, *b), &colour, sizeof colour);
    InvalidateRect(GetDlgItem(page, id), nullptr, FALSE);
    RepaintEditor();
    return true;
  }
  if (b && b->kind == kBindFont) {
    FontRecord record;
    MemCopy(&record, BindingField(&g_settings, *b), sizeof record);
    record.faceName[sizeof record.faceName - 1] = 0;
    if (!ChooseFontRecord(owner, &record)) return true;
    MemCopy(BindingField(&g_settings, *b), &record, sizeof record);
    ApplyEditorFonts();
    return true;
  }
  if (id == IDC_ST_RANDOM_COLORS) {
    ForEachLook([&](const ControlBinding &c, int colour, int) {
      if (colour < 0) return;
      const u32 value = static_cast<u32>(Random()) & 0xFFFFFF;
      MemCopy(BindingField(&g_settings, c), &value, sizeof value);
    });
    InvalidateRect(page, nullptr, TRUE);
    RepaintEditor();
    return true;
  }
  return false;
}

// ---- Favourites ----

constexpr int kMaxEntry = kPathChars;

struct Favourites {
  bool changed;
};

HWND FavouriteList(HWND page) { return GetDlgItem(page, IDC_FAV_LIST); }

void UpdateFavouriteButtons(HWND page) {
  HWND list = FavouriteList(page);
  const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  const int sel = static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0));
  EnableWindow(GetDlgItem(page, IDC_FAV_NEW), count < kFavourites);
  EnableWindow(GetDlgItem(page, IDC_FAV_EDIT), sel >= 0);
  EnableWindow(GetDlgItem(page, IDC_FAV_DELETE), sel >= 0);
  EnableWindow(GetDlgItem(page, IDC_FAV_UP), sel > 0);
  EnableWindow(GetDlgItem(page, IDC_FAV_DOWN), sel >= 0 && sel < count - 1);
}

void ShowFavourites(HWND page) {
  HWND list = FavouriteList(page);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  for (const char *path : g_settings.lists.favourites)
    if (path[0]) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path));
  UpdateFavouriteButtons(page);
}

void ListText(HWND list, int i, char *out) {
  out[0] = 0;
  const LRESULT n = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
  if (n >= 0 && n < kMaxEntry) SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(out));
}

void PutItem(HWND list, int at, const char *text, bool replace) {
  if (replace) SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(at), 0);
  SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(text));
  SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
}

bool EditFavourite(HWND page, char *text) {
  return RunEntryDialog(GetParent(page), Text(TXT_FAVOURITE_PROMPT), Text(TXT_FAVOURITE_HINT), text) && text[0];
}

bool FavouriteButton(HWND page, Favourites *f, int id) {
  HWND list = FavouriteList(page);
  const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  const int sel = static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0));
  char text[kMaxEntry];
  switch (id) {
    case IDC_FAV_NEW:
      if (count >= kFavourites) return true;
      text[0] = 0;
      if (!EditFavourite(page, text)) return true;
      PutItem(list, sel >= 0 ? sel + 1 : count, text, false);
      break;
    case IDC_FAV_EDIT:
      if (sel < 0) return true;
      ListText(list, sel, text);
      if (!EditFavourite(page, text)) return true;
      PutItem(list, sel, text, true);
      break;
    case IDC_FAV_DELETE:
      if (sel < 0) return true;
      SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(sel), 0);
      if (count > 1) SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(sel < count - 1 ? sel : sel - 1), 0);
      break;
    case IDC_FAV_UP:
    case IDC_FAV_DOWN: {
      const int to = id == IDC_FAV_UP ? sel - 1 : sel + 1;
      if (sel < 0 || to < 0 || to >= count) return true;
      ListText(list, sel, text);
      SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(sel), 0);
      PutItem(list, to, text, false);
      break;
    }
    default:
      return false;
  }
  f->changed = true;
  UpdateFavouriteButtons(page);
  return true;
}

// The favourites rebuilt from the list, in its order.
void ApplyFavourites(HWND page) {
  HWND list = FavouriteList(page);
  const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  MemZero(g_settings.lists.favourites, sizeof g_settings.lists.favourites);
  char text[kMaxEntry];
  for (int i = 0; i < count; i++) {
    ListText(list, i, text);
    if (text[0]) (void)AddFavourite(&g_settings, text);
  }
  g_config.favourites.dirty = 1;
}

// ---- Settings: categories and the configuration actions ----

void UpdateConfigPage(HWND page) {
  const bool noSave = g_config.noSave != 0;
  const bool categories = Checked(page, IDC_ST_SAVE) && !noSave;
  for (int i = 0; i < kControlBindingCount; i++) {
    const ControlBinding &b = kControlBindings[i];
    if (b.page == IDD_CONFIG_PAGE && b.control != IDC_ST_SAVE) EnableWindow(GetDlgItem(page, b.control), categories);
  }
  EnableWindow(GetDlgItem(page, IDC_ST_SAVE), !noSave);
  EnableWindow(GetDlgItem(page, IDC_ST_SAVE_NOW), !noSave);
}

void Report(HWND owner, int r, TextSlot success) {
  AskUser(owner, r == 0 ? success : TXT_ERROR, r == 0 ? kAskInfo : kAskWarning);
}

bool ConfigButton(HWND page, int id) {
  HWND frame = GetParent(page);
  switch (id) {
    case IDC_ST_SAVE:
      UpdateConfigPage(page);
      return true;
    case IDC_ST_SAVE_NOW:
      AskSettingsFrame(page, kPageApply);
      Report(frame, SaveConfig(frame, g_config.path, false, false), TXT_SETTINGS_SAVED);
      return true;
    case IDC_ST_RESTORE:
      if (AskUser(frame, TXT_ARE_YOU_SURE, kAskYesNo) != kAnswerYes) return true;
      if (g_config.noSave) {
        // Nothing may be written: the defaults go into the live settings only.
        SetDefaultSettings(&g_settings, false);
      } else {
        Report(frame, RestoreDefaultSettings(frame), TXT_SETTINGS_SAVED);
      }
      AskSettingsFrame(page, kPageClose);
      return true;
    case IDC_ST_EXPORT: {
      char path[kPathChars];
      StrCopy(path, Text(TXT_CONFIG_DEFAULT_NAME));
      if (!ChooseConfigFile(frame, path, true)) return true;
      AskSettingsFrame(page, kPageApply);
      Report(frame, SaveConfig(frame, path, false, true), TXT_SETTINGS_SAVED);
      return true;
    }
    case IDC_ST_IMPORT: {
      char path[kPathChars];
      StrCopy(path, Text(TXT_CONFIG_DEFAULT_NAME));
      if (!ChooseConfigFile(frame, path, false)) return true;
      Report(frame, ImportConfig(path), TXT_SETTINGS_IMPORTED);
      AskSettingsFrame(page, kPageClose);
      return true;
    }
    default:
      return false;
  }
}

// ---- the entry dialog ----

struct Entry {
  const char *prompt, *hint;
  char *text;
};

INT_PTR CALLBACK EntryProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      const Entry *e = reinterpret_cast<const Entry *>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SetWindowTextA(dialog, Text(TXT_PRODUCT));
      SetDlgItemTextA(dialog, IDC_ENTRY_PROMPT, e->prompt);
      SetDlgItemTextA(dialog, IDC_ENTRY_HINT, e->hint);
      SendDlgItemMessageA(dialog, IDC_ENTRY_TEXT, EM_LIMITTEXT, kMaxEntry - 1, 0);
      SetDlgItemTextA(dialog, IDC_ENTRY_TEXT, e->text);
      SendDlgItemMessageA(dialog, IDC_ENTRY_TEXT, EM_SETSEL, 0, -1);
      SetFocus(GetDlgItem(dialog, IDC_ENTRY_TEXT));
      return FALSE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        const Entry *e = reinterpret_cast<const Entry *>(GetWindowLongPtrA(dialog, DWLP_USER));
        GetDlgItemTextA(dialog, IDC_ENTRY_TEXT, e->text, kMaxEntry);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR CALLBACK GeneralPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  return BoundPage(IDD_GENERAL_PAGE, GeneralButtons, page, msg, wParam, lParam);
}

INT_PTR CALLBACK EditPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  return BoundPage(IDD_EDIT_PAGE, nullptr, page, msg, wParam, lParam);
}

INT_PTR CALLBACK FilePageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  return BoundPage(IDD_FILE_PAGE, nullptr, page, msg, wParam, lParam);
}

INT_PTR CALLBACK SaveLoadPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  return BoundPage(IDD_SAVE_LOAD_PAGE, SaveLoadButtons, page, msg, wParam, lParam);
}

INT_PTR CALLBACK ClipboardPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  return BoundPage(IDD_CLIPBOARD_PAGE, ClipboardButtons, page, msg, wParam, lParam);
}

INT_PTR CALLBACK SearchPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  return BoundPage(IDD_SEARCH_PAGE, nullptr, page, msg, wParam, lParam);
}

INT_PTR CALLBACK ToolsPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  return BoundPage(IDD_TOOLS_PAGE, nullptr, page, msg, wParam, lParam);
}

INT_PTR CALLBACK ConfigPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) SetDlgItemTextA(page, IDC_ST_CONFIG_PATH, g_config.path[0] ? g_config.path : Text(TXT_SYSTEM_REGISTRY));
  return BoundPage(IDD_CONFIG_PAGE, [](HWND p, int id) { return id == 0 ? (UpdateConfigPage(p), true) : ConfigButton(p, id); },
                   page, msg, wParam, lParam);
}

INT_PTR CALLBACK AppearancePageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  Appearance *a = AppearanceOf(page);
  switch (msg) {
    case WM_INITDIALOG: {
      Appearance *made = static_cast<Appearance *>(Allocate(sizeof(Appearance)));
      if (!made) return FALSE;  // no undo then: what is chosen stays
      KeepLook(made);
      SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(made));
      return FALSE;
    }
    case WM_DRAWITEM:
      DrawColourButton(reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (lParam == 0 && HIWORD(wParam) == 0) {
        if (a && LOWORD(wParam) == kPageApply) KeepLook(a);
        if (a && LOWORD(wParam) == kPageCancel) PutBackLook(page, a);
        return TRUE;
      }
      if (HIWORD(wParam) == BN_CLICKED) return AppearanceButton(page, LOWORD(wParam)) ? TRUE : FALSE;
      return FALSE;
    case WM_NCDESTROY:
      if (a) Free(a);
      SetWindowLongPtrA(page, DWLP_USER, 0);
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK FavouritesPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  Favourites *f = reinterpret_cast<Favourites *>(GetWindowLongPtrA(page, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      static Favourites state;
      state = Favourites{};
      SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
      SetDlgItemTextA(page, IDC_FAV_NOTE, Text(TXT_FAVOURITES_NOTE));
      ShowFavourites(page);
      return FALSE;
    }
    case WM_COMMAND:
      if (!f) return FALSE;
      if (lParam == 0 && HIWORD(wParam) == 0) {
        if (LOWORD(wParam) == kPageApply && f->changed) {
          ApplyFavourites(page);
          f->changed = false;
        }
        return TRUE;
      }
      if (LOWORD(wParam) == IDC_FAV_LIST) {
        if (HIWORD(wParam) == LBN_SELCHANGE) UpdateFavouriteButtons(page);
        if (HIWORD(wParam) == LBN_DBLCLK) FavouriteButton(page, f, IDC_FAV_EDIT);
        return TRUE;
      }
      if (HIWORD(wParam) == BN_CLICKED) return FavouriteButton(page, f, LOWORD(wParam)) ? TRUE : FALSE;
      return FALSE;
    default:
      return FALSE;
  }
}

bool RunEntryDialog(HWND owner, const char *prompt, const char *hint, char *text) {
  Entry e = {prompt, hint, text};
  return DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_ENTRY), owner, EntryProc, reinterpret_cast<LPARAM>(&e)) ==
         IDOK;
}
