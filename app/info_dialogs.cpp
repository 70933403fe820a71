// Utility Info (the document's memory) and About.
#include "app/info_dialogs.h"
#include "app/shell_commands.h"

#include "app/app_state.h"
#include "config/config_state.h"
#include "document/document.h"
#include "editor/editor_messages.h"
#include "foundation/ask_user.h"
#include "foundation/format.h"
#include "foundation/numbers.h"
#include "foundation/random.h"
#include "foundation/texts.h"
#include "resources/resource.h"


namespace {

// Bytes as whole KiB, rounded up (0 stays 0), in 64 bits: a document of
// gigabytes has more than 2^31 bytes of memory around it.
void SetKiB(HWND dialog, int id, u64 bytes) {
  char text[48];
  const u64 kib = (bytes + 1023) / 1024;
  if (kib <= 0x7FFFFFFFu) {
    Format(text, sizeof text, Text(TXT_INFO_KIB), static_cast<int>(kib));
  } else {
    char digits[24];
    FormatNumber(digits, kib, 10, false);
    Format(text, sizeof text, "%s KiB", digits);
  }
  SetDlgItemTextA(dialog, id, text);
}

void SetUnsigned(HWND dialog, int id, u64 n) {
  char digits[24];
  FormatNumber(digits, n, 10, false);
  SetDlgItemTextA(dialog, id, digits);
}

void Refresh(HWND dialog) {
  DocumentStatistics st = {};
  if (g_app.editorWindow) SendMessageA(g_app.editorWindow, EDM_GETMEMINFO, 0, reinterpret_cast<LPARAM>(&st));
  const StoreMemory &m = st.memory;
  const u64 editbox = m.textBuffers + m.blockIndex + m.lineIndex + m.markers;
  const u64 journals = st.undoTextBytes + st.redoTextBytes + st.undoIndexBytes + st.redoIndexBytes;
  SetUnsigned(dialog, IDC_INFO_LENGTH, st.length);
  SetKiB(dialog, IDC_INFO_SIZE, st.length);
  SetKiB(dialog, IDC_INFO_MEMORY, editbox + journals);
  SetKiB(dialog, IDC_INFO_TEXT, m.textBuffers);
  SetKiB(dialog, IDC_INFO_BLOCKS, m.blockIndex);
  SetKiB(dialog, IDC_INFO_LINES, m.lineIndex);
  SetKiB(dialog, IDC_INFO_MARKERS, m.markers);
  char steps[48];
  Format(steps, sizeof steps, Text(TXT_INFO_STEPS), static_cast<int>(st.undoSteps), static_cast<int>(st.redoSteps));
  SetDlgItemTextA(dialog, IDC_INFO_STEPS, steps);
  SetKiB(dialog, IDC_INFO_UNDO_TEXT, st.undoTextBytes + st.redoTextBytes);
  SetKiB(dialog, IDC_INFO_UNDO_INDEX, st.undoIndexBytes + st.redoIndexBytes);
  const u64 odometer = (static_cast<u64>(g_settings.opts.ODO[1]) << 32) | g_settings.opts.ODO[0];
  SetUnsigned(dialog, IDC_INFO_ODOMETER, odometer + g_config.tripCount);
  SetUnsigned(dialog, IDC_INFO_TRIP, g_config.tripCount);
  EnableWindow(GetDlgItem(dialog, IDC_INFO_CLEAR), st.undoSteps + st.redoSteps > 0);
  SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDOK)), TRUE);
}

INT_PTR CALLBACK InfoDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      Refresh(dialog);
      return FALSE;  // the focus is set
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case IDC_INFO_COMPACT: {
          if (g_app.editorWindow) SendMessageA(g_app.editorWindow, EDM_COMPACT, 0, 0);
          Refresh(dialog);
          static const TextSlot kQuips[] = {TXT_REFUSAL_1, TXT_REFUSAL_2, TXT_REFUSAL_3, TXT_REFUSAL_4};
          AskUser(dialog, kQuips[RandomStep(ThreadRecordCurrent()) % 4], kAskInfo);
          return TRUE;
        }
        case IDC_INFO_CLEAR:
          if (AskUser(dialog, TXT_ARE_YOU_SURE, kAskYesNo) == kAnswerYes && g_app.editorWindow) {
            SendMessageA(g_app.editorWindow, EDM_JOURNALCLEAR, 0, 0);
          }
          Refresh(dialog);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

// The banner: the product's name in letters of slashes and bars.
const char kBanner[] =
    "  ___       _ _ _                  _\r\n"
    " / _ \\ _  _(_) | |_ __  __ _ __| |\r\n"
    "| (_) | || | | | | '_ \\/ _` / _` |\r\n"
    " \\__\\_\\\\_,_|_|_|_| .__/\\__,_\\__,_|\r\n"
    "                 |_|";

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  static HFONT s_banner;
  switch (msg) {
    case WM_INITDIALOG: {
      HDC dc = GetDC(dialog);
      const int height = -MulDiv(7, GetDeviceCaps(dc, LOGPIXELSY), 72);
      ReleaseDC(dialog, dc);
      s_banner = CreateFontA(height, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FIXED_PITCH, "Courier New");
      if (s_banner) SendDlgItemMessageA(dialog, IDC_ABOUT_BANNER, WM_SETFONT, reinterpret_cast<WPARAM>(s_banner), FALSE);
      SetDlgItemTextA(dialog, IDC_ABOUT_BANNER, kBanner);
      SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, Text(TXT_VERSION));
      {
        char address[512];
        if (MakerAddress("/quillpad/", address, sizeof address)) SetDlgItemTextA(dialog, IDC_ABOUT_ADDRESS, address);
      }
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
      return TRUE;
    case WM_DESTROY:
      if (s_banner) DeleteObject(s_banner);
      s_banner = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

int RunInfoDialog(HWND owner) {
  DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_INFO), owner, InfoDlgProc, 0);
  return 0;
}

int RunAboutDialog(HWND owner) {
  DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutDlgProc, 0);
  return 0;
}
