#include "app/status_bar.h"

#include <commctrl.h>

#include "app/app_state.h"
#include "config/config_state.h"
#include "editor/editor_caches.h"
#include "files/encoding.h"
#include "foundation/bytes.h"
#include "foundation/format.h"
#include "foundation/texts.h"
#include "resources/resource.h"

StatusBarState g_statusBar;

namespace {

// The minimum widths of fields 0 to 10, in sixths of an average character
// width beyond a fixed 8 pixels.
constexpr int kMinimumWidth[kStatusFieldCount - 1] = {70, 75, 100, 90, 95, 55, 40, 40, 40, 35, 40};

// After this many milliseconds without a forced repaint, a change is painted
// at once: a long operation may keep the message loop from painting.
constexpr u32 kRepaintInterval = 1024;
// From this many idle clear requests in a row on, the new-version note may
// take the empty field.
constexpr int kIdleBeforeNote = 9;
constexpr u32 kNewVersionFound = 200;

u32 NowMilliseconds() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  u64 t = (static_cast<u64>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<u32>(t / 10000);
}

void RepaintThrottle() {
  HWND bar = g_statusBar.hwnd;
  if (!bar) return;
  u32 now = NowMilliseconds();
  if (now - g_statusBar.lastRepaint <= kRepaintInterval) return;
  if (IsWindowVisible(bar)) SendMessageA(bar, WM_PAINT, 0, 0);
  g_statusBar.lastRepaint = now;
}

void SetFieldText(int index, const char *text) {
  HWND bar = g_statusBar.hwnd;
  if (!bar) return;
  // A field that already shows the text is left alone: setting it again
  // would paint it again (most caret moves change two or three fields).
  const size_t n = StrLen(text);
  char shown[kStatusMessageChars];
  if (LOWORD(SendMessageA(bar, SB_GETTEXTLENGTHA, static_cast<WPARAM>(index), 0)) == n && n < sizeof shown) {
    SendMessageA(bar, SB_GETTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(shown));
    if (MemCompare(shown, text, n) == 0) return;
  }
  SendMessageA(bar, SB_SETTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
}

bool SameText(const char *a, const char *b) {
  size_t n = StrLen(a);
  return n == StrLen(b) && MemCompare(a, b, n) == 0;
}

void SetMessageField(const char *text) {
  SetFieldText(kFieldMessage, text);
  StrCopyN(g_statusBar.message, text, sizeof g_statusBar.message);
  RepaintThrottle();
}

bool FieldFreeHook(HWND) { return StatusFieldFree(); }

void SelectionText(char *out, size_t cap, const CaretRecord &info) {
  if (info.selectionLength == 0) {
    out[0] = 0;
    return;
  }
  // "Sel: %d|(%d lines)": the bar is a space before the line count of a
  // selection over several lines, and the end of a one-line one.
  char format[64];
  StrCopyN(format, Text(TXT_STATUS_SELECTION), sizeof format);
  for (char *p = format; *p; p++) {
    if (*p != '|') continue;
    if (info.selectionLines > 0) *p = ' ';
    else *p = 0;
    break;
  }
  Format(out, cap, format, static_cast<int>(info.selectionLength), static_cast<int>(info.selectionLines + 1));
}

const char *NewlineTypeName(u32 type) {
  static const TextSlot kNames[] = {TXT_NL_WIN, TXT_NL_UNIX, TXT_NL_MAC, TXT_NL_MIXED};
  return Text(kNames[type & 3]);
}

// A percentage by the system's rounding MulDiv, with both numbers brought
// into its range first.
int Percentage(u64 done, u64 total) {
  while (done > 0x7FFFFFFF || total > 0x7FFFFFFF) {
    done >>= 1;
    total >>= 1;
  }
  int divisor = total ? static_cast<int>(total) : done ? static_cast<int>(done) : 1;
  return MulDiv(static_cast<int>(done), 100, divisor);
}

}  // namespace

HWND CreateStatusBar(HWND parent) {
  // A new bar shows nothing yet.
  MemZero(&g_statusBar, sizeof g_statusBar);
  EndProgress();
  HWND bar = CreateWindowExA(0, STATUSCLASSNAMEA, nullptr, WS_CHILD | SBARS_SIZEGRIP, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_BAR)), g_app.instance, nullptr);
  g_statusBar.hwnd = bar;
  g_app.statusBar = bar;
  if (!bar) return nullptr;
  // The bar places itself along the parent's bottom edge on WM_SIZE.
  SendMessageA(bar, WM_SIZE, 0, 0);
  ComputeFieldWidths();
  RECT rc;
  GetWindowRect(bar, &rc);
  g_statusBar.height = rc.bottom - rc.top;
  ShowWindow(bar, g_settings.opts.Status > 0 ? SW_SHOW : SW_HIDE);
  g_statusFieldFree = FieldFreeHook;
  return bar;
}

void ShowStatusBar(bool on) {
  g_settings.opts.Status = on ? 1 : 0;
  if (g_statusBar.hwnd) ShowWindow(g_statusBar.hwnd, on ? SW_SHOW : SW_HIDE);
}

int StatusBarVisibleHeight() {
  HWND bar = g_statusBar.hwnd;
  return bar && (GetWindowLongA(bar, GWL_STYLE) & WS_VISIBLE) ? g_statusBar.height : 0;
}

void ResizeStatusBar() {
  if (g_statusBar.hwnd) SendMessageA(g_statusBar.hwnd, WM_SIZE, 0, 0);
}

void SetField(int index, const char *text, bool recompute) {
  SetFieldText(index, text);
  if (recompute) ComputeFieldWidths();
  RepaintThrottle();
}

void ComputeFieldWidths() {
  HWND bar = g_statusBar.hwnd;
  if (!bar) return;
  HDC dc = GetDC(bar);
  if (!dc) return;
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(bar, WM_GETFONT, 0, 0));
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  TEXTMETRICA tm;
  if (!GetTextMetricsA(dc, &tm)) tm.tmAveCharWidth = 6;
  const int average = tm.tmAveCharWidth;
  int edges[kStatusFieldCount];
  int right = 0;
  for (int i = 0; i < kStatusFieldCount - 1; i++) {
    int width = (kMinimumWidth[i] - 8) * average / 6 + 8;
    char text[512];
    LRESULT length = LOWORD(SendMessageA(bar, SB_GETTEXTLENGTHA, static_cast<WPARAM>(i), 0));
    if (length > 0 && static_cast<size_t>(length) < sizeof text) {
      SendMessageA(bar, SB_GETTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      SIZE extent;
      if (GetTextExtentPoint32A(dc, text, static_cast<int>(length), &extent) && extent.cx + average > width)
        width = extent.cx + average;
    }
    right += width;
    edges[i] = right;
  }
  edges[kStatusFieldCount - 1] = -1;
  if (old) SelectObject(dc, old);
  ReleaseDC(bar, dc);
  // New parts paint the whole bar again: only when a field's width changed.
  int now[kStatusFieldCount];
  if (SendMessageA(bar, SB_GETPARTS, kStatusFieldCount, reinterpret_cast<LPARAM>(now)) == kStatusFieldCount &&
      MemCompare(now, edges, sizeof edges) == 0)
    return;
  SendMessageA(bar, SB_SETPARTS, kStatusFieldCount, reinterpret_cast<LPARAM>(edges));
}

void UpdatePositionFields(const CaretRecord *info) {
  if (!info) return;
  char text[128];
  Format(text, sizeof text, Text(TXT_STATUS_LINE), static_cast<int>(info->line + 1), static_cast<int>(info->lineCount));
  SetField(kFieldLine, text, false);
  Format(text, sizeof text, Text(TXT_STATUS_COLUMN), static_cast<int>(info->column + 1),
         static_cast<int>(info->lineLength));
  SetField(kFieldColumn, text, false);
  Format(text, sizeof text, Text(TXT_STATUS_POSITION), static_cast<int>(info->position + 1),
         static_cast<int>(info->textLength));
  SetField(kFieldPosition, text, false);
  SelectionText(text, sizeof text, *info);
  SetField(kFieldSelection, text, false);
  text[0] = 0;
  if (!g_settings.main.SBNoAsc && info->position < info->textLength)
    Format(text, sizeof text, Text(TXT_STATUS_CHARACTER), static_cast<int>(info->character),
           static_cast<int>(info->character));
  SetField(kFieldCharacter, text, false);
  ComputeFieldWidths();
}

void UpdateDocumentFields(HWND editor) {
  if (!editor) return;
  u32 encoding = static_cast<u32>(SendMessageA(editor, EDM_GETENCODING, 0, 0));
  u32 codePage = static_cast<u32>(SendMessageA(editor, EDM_GETCODEPAGE, 0, 0));
  SetField(kFieldEncoding, EncodingName(encoding, codePage), false);
  SetField(kFieldBom, SendMessageA(editor, EDM_GETEFFECTIVEBOM, 0, 0) ? Text(TXT_BOM) : "", false);
  SetField(kFieldNewlines, NewlineTypeName(static_cast<u32>(SendMessageA(editor, EDM_GETNEWLINES, 0, 0))), false);
  SetField(kFieldModified, SendMessageA(editor, EM_GETMODIFY, 0, 0) ? Text(TXT_MODIFIED) : "", false);
  SetField(kFieldOverwrite, Text(SendMessageA(editor, EDM_GETOVERWRITE, 0, 0) ? TXT_OVERWRITE : TXT_INSERT), false);
  SetField(kFieldWrap, SendMessageA(editor, EDM_GETWORDWRAP, 0, 0) ? Text(TXT_WRAP) : "", false);
  ComputeFieldWidths();
}

void ShowMessage(const char *text, int keep) {
  SetMessageField(text ? text : "");
  g_statusBar.keep = keep;
}

void ShowNumberMessage(const char *format, int number, int kind) {
  static const int kKeep[] = {0, 2, 16};
  if (kind < 0 || kind > 2 || !format) return;
  char text[kStatusMessageChars];
  Format(text, sizeof text, format, number);
  ShowMessage(text, kKeep[kind]);
}

void BeginProgress(const char *caption, bool showNow) {
  if (!caption) caption = "";
  char *end = StrCopyN(g_statusBar.progress, caption, sizeof g_statusBar.progress - 8);
  StrCopy(end, Text(TXT_PROGRESS_PERCENT));
  if (showNow) ShowMessage(caption, 0);
}

void ShowProgress(u64 done, u64 total) {
  if (!g_statusBar.progress[0]) return;
  char text[kProgressCaptionChars + 16];
  Format(text, sizeof text, g_statusBar.progress, Percentage(done, total));
  ShowMessage(text, 0);
}

void EndProgress() {
  g_statusBar.progress[0] = 0;
  g_statusBar.idle = 0;
  if (g_statusBar.keep > -1) g_statusBar.keep--;
  if (g_statusBar.keep < 1 && g_statusBar.message[0]) SetMessageField("");
}

void ClearMessage(bool force, bool idle) {
  if (g_statusBar.progress[0]) return;
  int keep = force ? 0 : g_statusBar.keep;
  // Any value below 1 means "not kept": the count stops at -1.
  g_statusBar.keep = keep > -1 ? keep - 1 : -1;
  if (g_statusBar.keep >= 1) return;
  const char *text = "";
  if (idle) {
    if (g_statusBar.idle < kIdleBeforeNote) g_statusBar.idle++;
    if (g_statusBar.idle >= kIdleBeforeNote && g_settings.lists.update.Auto &&
        g_settings.lists.update.Version == kNewVersionFound)
      text = Text(TXT_NEW_VERSION);
  } else {
    g_statusBar.idle = 0;
  }
  if (!SameText(text, g_statusBar.message)) SetMessageField(text);
}

void HoldMessage() {
  if (g_statusBar.keep == 2) g_statusBar.keep = 1;
}

bool StatusFieldFree() { return !g_statusBar.progress[0] && g_statusBar.keep < 1; }

bool OnEditorStatusNotification(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case EDN_STATUSMESSAGE: {
      const StatusMessage *m = reinterpret_cast<const StatusMessage *>(lParam);
      if (m) ShowNumberMessage(m->format, m->number, m->kind);
      return true;
    }
    case EDN_PROGRESSBEGIN:
      BeginProgress(reinterpret_cast<const char *>(lParam), false);
      return true;
    case EDN_PROGRESS:
      ShowProgress(static_cast<u64>(wParam), static_cast<u64>(lParam));
      return true;
    case EDN_PROGRESSEND:
      // The end of a long operation takes its caption away; without one this
      // is a plain clear request (lParam: forced).
      if (g_statusBar.progress[0]) EndProgress();
      else ClearMessage(lParam != 0, false);
      return true;
    case EDN_MODIFIED:
      SetField(kFieldModified, lParam ? Text(TXT_MODIFIED) : "", true);
      return true;
    case EDN_OVERWRITE:
      SetField(kFieldOverwrite, Text(lParam ? TXT_OVERWRITE : TXT_INSERT), true);
      return true;
    case EDN_WORDWRAP:
      SetField(kFieldWrap, lParam ? Text(TXT_WRAP) : "", true);
      return true;
    case EDN_NEWLINES:
    case EDN_ENCODING: {
      const char *name = reinterpret_cast<const char *>(lParam);
      SetField(msg == EDN_NEWLINES ? kFieldNewlines : kFieldEncoding, name ? name : "", true);
      return true;
    }
    case EDN_BOM:
      SetField(kFieldBom, lParam ? Text(TXT_BOM) : "", true);
      return true;
    case EDN_CARET:
      UpdatePositionFields(reinterpret_cast<const CaretRecord *>(lParam));
      return true;
    case EDN_BREAKSNEWLINE:
      ShowMessage(Text(TXT_BREAKS_NEWLINE), 2);
      return true;
    default:
      return false;
  }
}

int StatusFieldAt(POINT pt) {
  HWND bar = g_statusBar.hwnd;
  if (!bar) return -1;
  for (int i = 0; i < kStatusFieldCount; i++) {
    RECT rc;
    if (SendMessageA(bar, SB_GETRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&rc)) && PtInRect(&rc, pt))
      return i;
  }
  return -1;
}
