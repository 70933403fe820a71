// Resource and command ids. Shared by the .rc files and the code: no bare
// resource number appears anywhere else.
#pragma once

// ---- icons, menus, accelerator tables, dialogs ----
#define IDI_QUILLPAD 51
#define IDR_MAIN_MENU 20
#define IDR_ACCEL_MAIN 30  // frame and tool keys
#define IDR_ACCEL_EDIT 31  // editing keys

// ---- child windows of the main window ----
#define IDC_EDITOR 1020
#define IDC_STATUS_BAR 1030

// ---- commands ----
#define IDM_STARTUP_OPEN 10011  // posted by the main window to itself once created
#define IDM_FILE_NEW 13111
#define IDM_FILE_OPEN 13131
#define IDM_FILE_SAVE 13311
#define IDM_FILE_SAVE_AS 13315
#define IDM_FILE_PRINT 13612
#define IDM_FILE_EXIT 13811
#define IDM_OPT_WRAP_MARGIN 55211
#define IDM_ZOOM_IN 55411
#define IDM_ZOOM_OUT 55413
#define IDM_ZOOM_RESET 55415
#define IDM_OPT_WORD_WRAP 55531

// ---- version ----
#define QP_VERSION_TEXT "6.4.1.beta"
#define QP_VERSION_BINARY 6, 4, 1, 0
