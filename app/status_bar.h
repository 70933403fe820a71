// The status bar at the bottom of the main window: a common-controls status
// window ("msctls_statusbar32", control id 1030) with twelve fields.
//
//   0 "Ln: %d/%d"   1 "Col: %d/%d"   2 "Pos: %d/%d"   3 selection   4 character
//   5 encoding      6 "BOM"          7 newline type   8 "Mod"       9 "Ins"/"REP"
//   10 "Wrap"       11 the message field (progress and short messages)
//
// Fields 0 to 10 are as wide as their minimum width or their text, whichever
// is wider; field 11 takes the rest. The editor feeds the bar through its
// private notifications (0xB000 to 0xB00B), which the main window hands to
// the functions here.
//
// The message field has a keep counter: a message survives that many clear
// requests minus one (keep 0 or 1: gone at the first, keep 2: at the second).
// While a progress caption is set (a long operation runs) nothing clears it.
//
// Everything runs on the GUI thread. Without a bar (it could not be created)
// every function still keeps the message state but shows nothing.
#pragma once

#include <windows.h>

#include "editor/editor_messages.h"
#include "foundation/types.h"

constexpr int kStatusFieldCount = 12;
enum StatusField : int {
  kFieldLine,
  kFieldColumn,
  kFieldPosition,
  kFieldSelection,
  kFieldCharacter,
  kFieldEncoding,
  kFieldBom,
  kFieldNewlines,
  kFieldModified,
  kFieldOverwrite,
  kFieldWrap,
  kFieldMessage,
};

constexpr u32 kStatusMessageChars = 1024;
constexpr u32 kProgressCaptionChars = 128;

struct StatusBarState {
  HWND hwnd;   // null when the bar could not be created
  int height;  // in pixels, taken once after creation
  char message[kStatusMessageChars];           // what field 11 shows
  int keep;                                    // clear requests the message survives
  int idle;                                    // consecutive idle clear requests
  u32 lastRepaint;                             // milliseconds, of the last forced repaint
  char progress[kProgressCaptionChars];        // "caption %d%%"; empty: no long operation
};

extern StatusBarState g_statusBar;

// Creates the bar as a child of `parent` (hidden unless the setting Status
// is above 0) and installs the editor's "is the message field free" hook.
// Returns the window, or null: the program then runs without a bar.
HWND CreateStatusBar(HWND parent);
// Stores Status and shows or hides the bar; the caller lays out again.
void ShowStatusBar(bool on);
// The height the bar takes from the client area: 0 while hidden.
int StatusBarVisibleHeight();
// The bar follows a new size of its parent.
void ResizeStatusBar();

// Sets one field's text; with recompute, the field widths follow the texts.
void SetField(int index, const char *text, bool recompute);
// Computes the widths of fields 0 to 10 from their texts and sets the parts.
void ComputeFieldWidths();

// Fields 0 to 4 from the editor's caret record (notification 0xB00A).
void UpdatePositionFields(const CaretRecord *info);
// Fields 5 to 10 from the editor's state: after a document was opened, made
// or saved, when no notification told of each change.
void UpdateDocumentFields(HWND editor);

void ShowMessage(const char *text, int keep);
// The format filled with the number; kind 0, 1, 2 keep it 0, 2, 16 clear
// requests; any other kind shows nothing.
void ShowNumberMessage(const char *format, int number, int kind);
// A long operation starts: its caption followed by " %d%%" becomes the
// progress caption. showNow also puts the caption into the field at once.
void BeginProgress(const char *caption, bool showNow);
// The progress caption with done/total as a percentage (never dividing by 0:
// 0/0 is 0 %, n/0 is 100 %). Nothing without a progress caption.
void ShowProgress(u64 done, u64 total);
void EndProgress();
// A clear request. force drops the keep count; idle calls are the ones made
// while the user only moves around (from the ninth in a row on they may show
// the new-version note).
void ClearMessage(bool force, bool idle);
// A message kept for two requests is kept for one.
void HoldMessage();
// Whether the message field is free for the editor's short texts: no
// progress caption and no kept message.
bool StatusFieldFree();

// The notifications 0xB000 to 0xB00B; false for any other message.
bool OnEditorStatusNotification(UINT msg, WPARAM wParam, LPARAM lParam);

// The field under a point in the bar's client coordinates, or -1.
int StatusFieldAt(POINT pt);
