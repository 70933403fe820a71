#include "app/startup.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/shell_commands.h"
#include "app/update_check.h"
#include "config/config_io.h"
#include "files/encoding.h"
#include "editor/editor_window.h"
#include "foundation/ask_user.h"
#include "files/encoding.h"
#include "foundation/bytes.h"
#include "foundation/char_class.h"
#include "foundation/format.h"
#include "foundation/random.h"
#include "foundation/texts.h"
#include "resources/resource.h"
#include "search/pattern.h"

AppState g_app;

namespace {

int LoadResourceText(void *context, u16 id, char *buf, int cap) {
  return LoadStringA(static_cast<HINSTANCE>(context), id, buf, cap);
}

}  // namespace

void ParseCommandLine() { ParseCommandLineText(GetCommandLineA(), &g_app.options); }

int RunQuillpad(HINSTANCE instance) {
  InitCommonControls();
  MemZero(&g_app, sizeof g_app);
  InstallMessageBoxAnswerer();
  if (ThreadSlotInit() != 0) return -1;
  g_app.instance = instance ? instance : GetModuleHandleA(nullptr);

  TextLoader loader = {LoadResourceText, g_app.instance};
  if (LoadTexts(&loader) != 0) return -1;

  InitCharClasses();
  SetDefaultSettings(&g_settings, true);
  // The installed code pages: encoding 4 of a document needs one of them.
  (void)BuildCodePageList();

  if (!RegisterEditorClass(g_app.instance)) return -1;
  SetLoopbackHostsFromEnvironment();
  ParseCommandLine();

  const StartupOptions &o = g_app.options;
  g_config.noLoad = o.noConfigLoad;
  g_config.noSave = o.noConfigSave;
  g_config.forgetPosition = o.forgetPosition;
  g_config.forgetSize = o.forgetSize;
  StrCopyN(g_config.configFile, o.configFile, sizeof g_config.configFile);
  LoadConfigAtStartup();
  ClampSettings(&g_settings);
  // The word definition of the loaded settings.
  SetWordOptions(WordOptions{g_settings.edit.SWord, g_settings.edit._word});
  BuildPatternClassTables();

  if (o.updateCheck) return RunUpdateCheckJob();
  if (g_app.options.help) return OpenOnlineManual(nullptr, true) ? 0 : 1;

  if (!RegisterMainClass(g_app.instance)) {
    AskUser(nullptr, TXT_OUT_OF_MEMORY, kAskWarning);
    return -2;
  }
  int created = CreateMainWindow();
  if (created != 0) return created;
  g_app.accelMain = LoadAcceleratorsA(g_app.instance, MAKEINTRESOURCEA(IDR_ACCEL_MAIN));
  g_app.accelEdit = LoadAcceleratorsA(g_app.instance, MAKEINTRESOURCEA(IDR_ACCEL_EDIT));
  const int loop = RunMessageLoop();
  return loop != 0 ? loop : g_app.exitCode;
}

int RunMessageLoop() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    HWND bar = g_app.searchBar;
    HWND main = g_app.mainWindow;
    if (bar && IsChild(bar, msg.hwnd)) {
      if (g_app.accelSearchBar && TranslateAcceleratorA(bar, g_app.accelSearchBar, &msg)) continue;
      if (g_app.accelMain && TranslateAcceleratorA(main, g_app.accelMain, &msg)) continue;
      if (IsDialogMessageA(bar, &msg)) continue;
    } else if (main) {
      if (g_app.accelMain && TranslateAcceleratorA(main, g_app.accelMain, &msg)) continue;
      if (g_app.accelEdit && TranslateAcceleratorA(main, g_app.accelEdit, &msg)) continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

void PumpPendingMessages(HWND dialog, const volatile unsigned *cancel) {
  MSG msg;
  while (!(cancel && *cancel) && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Leave it for the main loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (dialog && IsDialogMessageA(dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}
