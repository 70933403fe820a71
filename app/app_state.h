// The process-wide state of the application shell: one record, zeroed at
// start-up, owned by the GUI thread.
#pragma once

#include <windows.h>

#include "app/command_line.h"

struct AppState {
  HINSTANCE instance;
  StartupOptions options;
  HWND mainWindow;
  HWND editorWindow;
  HWND statusBar;  // null when it could not be created
  HWND searchBar;  // null while the search bar is closed
  HWND lastFocus;  // the child that gets the focus when the frame is activated
  HACCEL accelMain;
  HACCEL accelEdit;
  HACCEL accelSearchBar;
  int sessionOnTop;
  int fullscreen;
  int inTray;             // hidden, with an icon in the notification area
  UINT taskbarCreated;    // the registered message that the taskbar came back
  UINT handOver;          // the registered QLP.AE message         // the window is in fullscreen (its placement remembered in the settings)
  POINTS position;         // the window's last position (WM_MOVE)
  int hardToClose;        // Session Hard to Close: the window refuses to close
  int exitWithoutSaving;
  int exitCode;           // of a normal session: 32 or 48 when /p was cancelled or failed
};

extern AppState g_app;
