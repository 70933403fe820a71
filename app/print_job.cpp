#include "app/print_job.h"

#include <commdlg.h>

#include "app/common_dialogs.h"
#include "app/startup.h"
#include "config/config_state.h"
#include "editor/editor_messages.h"
#include "editor/editor_pages.h"
#include "editor/wait_window.h"
#include "foundation/ask_user.h"
#include "foundation/bytes.h"
#include "foundation/format.h"
#include "foundation/texts.h"
#include "resources/resource.h"

namespace {

// ---- the device, or the tests' sink ----

int DeviceCaps(void *, HDC dc, int index) { return GetDeviceCaps(dc, index); }
int DeviceStartDoc(void *, HDC dc, const DOCINFOA *info) { return StartDocA(dc, info); }
int DeviceStartPage(void *, HDC dc, HDC *page) {
  *page = dc;
  return StartPage(dc);
}
int DeviceEndPage(void *, HDC dc, HDC) { return EndPage(dc); }
int DeviceEndDoc(void *, HDC dc) { return EndDoc(dc); }
int DeviceAbortDoc(void *, HDC dc) { return AbortDoc(dc); }

const PrintSink kDevice = {DeviceCaps, DeviceStartDoc, DeviceStartPage, DeviceEndPage, DeviceEndDoc, DeviceAbortDoc,
                           nullptr};
const PrintSink *g_sink = &kDevice;

// ---- the kept printer choice ----

HGLOBAL g_devMode, g_devNames;

// A dialog hands back the handles it was given, or new ones: the old ones
// are then freed.
void Keep(HGLOBAL devMode, HGLOBAL devNames) {
  if (g_devMode && g_devMode != devMode) GlobalFree(g_devMode);
  if (g_devNames && g_devNames != devNames) GlobalFree(g_devNames);
  g_devMode = devMode;
  g_devNames = devNames;
}

// ---- the progress window ----

struct Progress {
  HWND window;
  HWND owner;
  volatile unsigned cancelled;
};
Progress *g_progress;  // the job under way (the abort procedure has no context)

INT_PTR CALLBACK PrintingDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) {
        Progress *p = reinterpret_cast<Progress *>(GetWindowLongPtrA(dialog, DWLP_USER));
        if (p) p->cancelled = 1;
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// Pumps what is pending (the Cancel button among it); false once cancelled.
bool KeepAlive(Progress *p) {
  PumpPendingMessages(p->window, &p->cancelled);
  return !p->cancelled;
}

BOOL CALLBACK PrintAbortProc(HDC, int) { return g_progress ? KeepAlive(g_progress) : TRUE; }

bool OpenProgress(Progress *p, HWND owner, const char *name) {
  p->owner = owner;
  p->window = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_WAIT), owner, PrintingDlgProc,
                                 reinterpret_cast<LPARAM>(p));
  if (!p->window) return false;
  SetWindowTextA(p->window, Text(TXT_PRINTING));
  SetDlgItemTextA(p->window, IDC_WAIT_LINE1, Text(TXT_PRINTING));
  SetDlgItemTextA(p->window, IDC_WAIT_LINE2, name);
  SetDlgItemTextA(p->window, IDC_WAIT_LINE3, "");
  if (owner) EnableWindow(owner, FALSE);
  ShowWindow(p->window, SW_SHOW);
  return true;
}

void CloseProgress(Progress *p) {
  if (!p->window) return;
  if (p->owner) EnableWindow(p->owner, TRUE);  // first, so that the focus can go back
  DestroyWindow(p->window);
  p->window = nullptr;
}

PrintDevice ReadDevice(HDC dc) {
  PrintDevice d;
  d.dpiX = g_sink->caps(g_sink->context, dc, LOGPIXELSX);
  d.dpiY = g_sink->caps(g_sink->context, dc, LOGPIXELSY);
  d.paperWidth = g_sink->caps(g_sink->context, dc, PHYSICALWIDTH);
  d.paperHeight = g_sink->caps(g_sink->context, dc, PHYSICALHEIGHT);
  d.offsetX = g_sink->caps(g_sink->context, dc, PHYSICALOFFSETX);
  d.offsetY = g_sink->caps(g_sink->context, dc, PHYSICALOFFSETY);
  d.printWidth = g_sink->caps(g_sink->context, dc, HORZRES);
  d.printHeight = g_sink->caps(g_sink->context, dc, VERTRES);
  return d;
}

// One axis: the paper's span [0, paper) holds the printable one [offset,
// offset + printable); the text goes between the margins, inside the
// printable span. Start (in device coordinates) and length.
bool Axis(int paper, int offset, int printable, i64 before, i64 after, int *start, int *length) {
  if (printable < 1) return false;
  if (offset < 0) offset = 0;
  if (paper < offset + printable) paper = offset + printable;
  i64 from = before > offset ? before : offset;
  i64 to = static_cast<i64>(paper) - after;
  if (to > static_cast<i64>(offset) + printable) to = static_cast<i64>(offset) + printable;
  if (to - from < 1) return false;
  *start = static_cast<int>(from - offset);
  *length = static_cast<int>(to - from);
  return true;
}

enum JobEnd : int { kJobDone, kJobCancelled, kJobFailed, kJobNoMemory };

// Jobs under way: the pages read the document's own text, so the main
// window puts off what could change it until the job ends.
int g_printing;

// Steps 2-11 on the chosen device.
JobEnd PrintOn(HDC dc, HWND owner, HWND editor, bool selection, const char *name) {
  // 2-3. The margins on this device.
  const SettingsBlock &g = g_settings;
  const PrintDevice device = ReadDevice(dc);
  PageFrame frame;
  if (!ComputePageFrame(device, g.edit.PrnLeft, g.edit.PrnTop, g.edit.PrnRght, g.edit.PrnBott, &frame))
    return kJobFailed;
  // 4-5. The print font and the rows of a page.
  const int pixels = PrintFontPixels(g.edit.LFP_.height, device.dpiY);
  if (pixels > frame.height) return kJobFailed;
  LOGFONTA lf;
  static_assert(sizeof lf == sizeof g.edit.LFP_, "the font record is a LOGFONTA");
  MemCopy(&lf, &g.edit.LFP_, sizeof lf);
  lf.lfFaceName[LF_FACESIZE - 1] = 0;
  lf.lfHeight = -pixels;
  lf.lfWidth = 0;
  HFONT font = CreateFontIndirectA(&lf);
  if (!font) return kJobFailed;
  HGDIOBJ oldFont = SelectObject(dc, font);
  TEXTMETRICA tm;
  int rowHeight = GetTextMetricsA(dc, &tm) ? tm.tmHeight + tm.tmExternalLeading : 0;
  const int rowsPerPage = rowHeight > 0 ? frame.height / rowHeight : 0;
  JobEnd end = kJobDone;
  PageLayout layout = {};
  Progress progress = {};
  bool started = false;
  if (rowsPerPage < 1) {
    end = kJobFailed;
  } else {
    // 6-7. The copy, laid out on this device.
    layout.dc = dc;
    layout.width = frame.width;
    layout.rowsPerPage = rowsPerPage;
    if (!SendMessageA(editor, EDM_PAGINATE, selection ? 1 : 0, reinterpret_cast<LPARAM>(&layout))) end = kJobNoMemory;
  }
  // 8. The progress window and the abort procedure.
  if (end == kJobDone && !OpenProgress(&progress, owner, name)) end = kJobNoMemory;
  Progress *outer = g_progress;
  g_progress = &progress;
  if (end == kJobDone) {
    SetAbortProc(dc, PrintAbortProc);
    // 9.
    DOCINFOA info = {};
    info.cbSize = sizeof info;
    info.lpszDocName = name;
    if (g_sink->startDoc(g_sink->context, dc, &info) <= 0) end = kJobFailed;
    else started = true;
  }
  // 10. The pages.
  for (u32 page = 0; end == kJobDone && page < layout.pages; page++) {
    if (!KeepAlive(&progress)) {
      end = kJobCancelled;
      break;
    }
    char count[64];
    Format(count, sizeof count, Text(TXT_RUNNING_COUNT), static_cast<int>(page + 1), static_cast<int>(layout.pages));
    SetDlgItemTextA(progress.window, IDC_WAIT_LINE3, count);
    HDC target = nullptr;
    if (g_sink->startPage(g_sink->context, dc, &target) <= 0 || !target) {
      end = kJobFailed;
      break;
    }
    // A page's device context may start afresh (the font and modes of the
    // last page are not kept by every driver).
    HGDIOBJ pageFont = SelectObject(target, font);
    SetBkMode(target, TRANSPARENT);
    SetTextColor(target, RGB(0, 0, 0));
    SetTextAlign(target, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    u32 rows = 0;
    const PageRow *row = LayPage(&layout, page, &rows);
    for (u32 k = 0; k < rows; k++)
      DrawPageRow(&layout, target, row[k], frame.left, frame.top + static_cast<int>(k) * rowHeight);
    if (target != dc) SelectObject(target, pageFont);
    if (g_sink->endPage(g_sink->context, dc, target) <= 0) end = kJobFailed;
  }
  // 11. A job that did not end well is taken back from the spooler: what
  // EndDoc would print of it is a torso.
  // A Cancel pressed while the last page went out still counts.
  if (end == kJobDone && started) (void)KeepAlive(&progress);
  if (started) {
    if (end == kJobDone && !progress.cancelled) {
      if (g_sink->endDoc(g_sink->context, dc) <= 0) end = kJobFailed;
    } else {
      g_sink->abortDoc(g_sink->context, dc);
    }
  }
  // A cancelled job ends as cancelled, whatever else happened.
  if (progress.cancelled) end = kJobCancelled;
  g_progress = outer;
  CloseProgress(&progress);
  FreePageLayout(&layout);
  SelectObject(dc, oldFont);
  DeleteObject(font);
  return end;
}

}  // namespace

const PrintSink *InstallPrintSink(const PrintSink *sink) {
  const PrintSink *old = g_sink == &kDevice ? nullptr : g_sink;
  g_sink = sink ? sink : &kDevice;
  return old;
}

i64 MarginPixels(i32 margin, int dpi) {
  if (margin < 0) margin = 0;
  if (dpi < 0) dpi = 0;
  return (static_cast<i64>(margin) * dpi + 1270) / 2540;
}

bool ComputePageFrame(const PrintDevice &d, i32 left, i32 top, i32 right, i32 bottom, PageFrame *frame) {
  return Axis(d.paperWidth, d.offsetX, d.printWidth, MarginPixels(left, d.dpiX), MarginPixels(right, d.dpiX),
              &frame->left, &frame->width) &&
         Axis(d.paperHeight, d.offsetY, d.printHeight, MarginPixels(top, d.dpiY), MarginPixels(bottom, d.dpiY),
              &frame->top, &frame->height);
}

int PrintFontPixels(i32 points, int dpiY) {
  if (points <= 0) points = 10;
  if (dpiY < 1) dpiY = 1;
  i64 pixels = (static_cast<i64>(points) * dpiY + 36) / 72;
  if (pixels < 1) pixels = 1;
  // Far beyond any page; a LOGFONT height must stay a positive int.
  if (pixels > 0x3FFFFFFF) pixels = 0x3FFFFFFF;
  return static_cast<int>(pixels);
}

bool PrintJobRunning() { return g_printing > 0; }

void ForgetPrinterChoice() { Keep(nullptr, nullptr); }

void KeptPrinterChoice(HGLOBAL *devMode, HGLOBAL *devNames) {
  *devMode = g_devMode;
  *devNames = g_devNames;
}

int CommandPageSetup(HWND owner) {
  PAGESETUPDLGA psd = {};
  psd.lStructSize = sizeof psd;
  psd.hwndOwner = owner;
  psd.hDevMode = g_devMode;
  psd.hDevNames = g_devNames;
  psd.Flags = PSD_MARGINS | PSD_INHUNDREDTHSOFMILLIMETERS;
  const SettingsBlock &g = g_settings;
  // The dialog refuses margins below zero: it starts from none there.
  auto clamp = [](i32 v) { return static_cast<LONG>(v > 0 ? v : 0); };
  psd.rtMargin = {clamp(g.edit.PrnLeft), clamp(g.edit.PrnTop), clamp(g.edit.PrnRght), clamp(g.edit.PrnBott)};
  if (!ShowPageSetupDialog(&psd)) {
    // A cancelled dialog may still have made handles of its own.
    if (psd.hDevMode != g_devMode || psd.hDevNames != g_devNames) Keep(psd.hDevMode, psd.hDevNames);
    return 32;
  }
  Keep(psd.hDevMode, psd.hDevNames);
  g_settings.edit.PrnLeft = psd.rtMargin.left;
  g_settings.edit.PrnTop = psd.rtMargin.top;
  g_settings.edit.PrnRght = psd.rtMargin.right;
  g_settings.edit.PrnBott = psd.rtMargin.bottom;
  return 0;
}

int PrintJob(HWND owner, HWND editor, const char *documentName) {
  // 1. The dialog.
  PRINTDLGEXA pd = {};
  pd.lStructSize = sizeof pd;
  pd.hwndOwner = owner;
  pd.hDevMode = g_devMode;
  pd.hDevNames = g_devNames;
  pd.Flags = PD_RETURNDC | PD_NOPAGENUMS | PD_NOCURRENTPAGE | PD_HIDEPRINTTOFILE | PD_USEDEVMODECOPIESANDCOLLATE;
  const bool hasSelection = SendMessageA(editor, EDM_GETSELLENGTHRAW, 0, 0) != 0;
  if (!hasSelection) pd.Flags |= PD_NOSELECTION;
  pd.nStartPage = START_PAGE_GENERAL;
  const HRESULT shown = ShowPrintDialog(&pd);
  if (pd.hDevMode != g_devMode || pd.hDevNames != g_devNames) Keep(pd.hDevMode, pd.hDevNames);
  HDC dc = pd.hDC;
  if (FAILED(shown) || pd.dwResultAction != PD_RESULT_PRINT || !dc) {
    if (dc) DeleteDC(dc);
    return 32;
  }
  const bool selection = hasSelection && (pd.Flags & PD_SELECTION);
  g_printing++;
  const JobEnd end = PrintOn(dc, owner, editor, selection, documentName ? documentName : "");
  // What came meanwhile is handled now.
  if (--g_printing == 0 && g_afterLongOperation) g_afterLongOperation();
  DeleteDC(dc);
  switch (end) {
    case kJobDone: return 0;
    case kJobCancelled: return 32;
    case kJobNoMemory: return -1;
    case kJobFailed: break;
  }
  AskUser(owner, TXT_CANNOT_PRINT, kAskWarning);
  return 48;
}
