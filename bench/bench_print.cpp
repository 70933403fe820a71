// Printing's pages (EDM_PAGINATE) of the 256 MiB text: A4 at 300 dpi, 25 mm
// margins, a 10-point font, against the editor's own full wrap of the same
// text at the same width with the same font, in the same run; and the memory
// the pages take beside the store. Then 300 pages printed by the print job
// on a printer of Wine's PostScript driver against a bare ExtTextOutA loop
// of the same rows on the same printer (PrinterFigures).
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "bench/win_bench.h"
#include "app/common_dialogs.h"
#include "app/print_job.h"
#include "config/config_state.h"
#include "document/document.h"
#include "document/text_store.h"
#include "editor/editor_layout.h"
#include "editor/editor_messages.h"
#include "editor/editor_pages.h"
#include "editor/editor_window.h"
#include "files/load.h"
#include "tests/win/wine_printer.h"

namespace {

u64 StoreBytes(const TextStore *s) {
  StoreMemory m;
  StoreMemoryStatistics(s, &m);
  return m.markers + m.lineIndex + m.blockIndex + m.textBuffers;
}

}  // namespace

void PrintFigures(HWND editor, const char *path) {
  EditorWindow *ed = EditorOf(editor);
  FileHooks hooks = {};
  const OpenRequest request = {path, kDetectEncoding, 0, kOpenAsked | kOpenNoRecent};
  SendMessageA(editor, EDM_SETWORDWRAP, 0, 0);
  if (OpenFile(ed->doc, request, hooks) != 0) {
    printf("print: open failed\n");
    return;
  }
  // 10 points at 300 dpi; the width between 25 mm margins of A4 inside
  // the PostScript driver's border of 75 pixels.
  const int pixels = (10 * 300 + 36) / 72;
  const int width = 2480 - 2 * ((2500 * 300 + 1270) / 2540);
  HFONT font = CreateFontA(-pixels, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FIXED_PITCH, "Courier New");
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA tm;
  GetTextMetricsA(dc, &tm);
  const int rowsPerPage = (3508 - 2 * ((2500 * 300 + 1270) / 2540)) / (tm.tmHeight + tm.tmExternalLeading);

  // The editor's full wrap with the same font, at the same width.
  SendMessageA(editor, EDM_SETFONTS, reinterpret_cast<WPARAM>(font), reinterpret_cast<LPARAM>(font));
  ed->doc->wordWrap = 1;
  double wrap = 1e30, paginate = 1e30;
  u32 rows = 0, pageRows = 0, pages = 0;
  u64 layoutBytes = 0;
  for (int run = 0; run < 3; run++) {
    ed->wrapWidth = width;
    ed->wrapMargin = 0x7FFFFFFF;
    double t0 = Now();
    if (!WrapLines(ed, 0, ed->doc->store.length, true)) printf("print: wrap failed\n");
    wrap = std::min(wrap, Now() - t0);
    rows = RowCount(&ed->doc->store);
    // Back to one row a line, so that each layout starts alike.
    ed->doc->wordWrap = 0;
    (void)WrapLines(ed, 0, ed->doc->store.length, true);
    ed->doc->wordWrap = 1;

    PageLayout layout = {};
    layout.dc = dc;
    layout.width = width;
    layout.rowsPerPage = rowsPerPage;
    t0 = Now();
    if (!SendMessageA(editor, EDM_PAGINATE, 0, reinterpret_cast<LPARAM>(&layout))) printf("print: paginate failed\n");
    paginate = std::min(paginate, Now() - t0);
    pageRows = layout.rows;
    pages = layout.pages;
    layoutBytes = PageLayoutBytes(&layout);
    FreePageLayout(&layout);
  }
  const u64 storeBytes = StoreBytes(&ed->doc->store);
  printf("print_pages %u of %d rows (%u rows; the editor's wrap %u rows: %s)\n", pages, rowsPerPage, pageRows, rows,
         pageRows == rows ? "the same" : "DIFFERENT");
  Report("editor_full_wrap_print_width_256MiB", wrap, "s");
  Report("paginate_256MiB", paginate, "s");
  Ratio("paginate_vs_editor_full_wrap", paginate, wrap);
  Goal("paginate_vs_editor_full_wrap", paginate / wrap, 1.3, "x");
  // While the job runs, the document's store and the pages are held.
  const double peak = static_cast<double>(storeBytes + layoutBytes) / static_cast<double>(storeBytes);
  printf("paginate_store_bytes %llu layout_bytes %llu\n", static_cast<unsigned long long>(storeBytes),
         static_cast<unsigned long long>(layoutBytes));
  printf("paginate_peak_vs_store ratio %.2f x\n", peak);
  Goal("paginate_peak_vs_store", peak, 2.2, "x");
  SendMessageA(editor, EDM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
  SelectObject(dc, old);
  DeleteDC(dc);
}

// ---- printing to Wine's PostScript printer ----

namespace {

const char kBenchPrinter[] = "Quillpad Bench Printer";

// The print dialog: Print, on the bench printer.
HRESULT AnswerPrint(void *, PRINTDLGEXA *pd) {
  pd->hDC = CreateDCA(nullptr, kBenchPrinter, nullptr, nullptr);
  pd->dwResultAction = PD_RESULT_PRINT;
  return S_OK;
}

u64 FileBytes(const char *path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &a)) return 0;
  return (static_cast<u64>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

}  // namespace

void PrinterFigures(HWND editor) {
  char folder[MAX_PATH], output[MAX_PATH + 32];
  GetTempPathA(MAX_PATH, folder);
  snprintf(output, sizeof output, "%squillpad-bench.ps", folder);
  const std::string unixOutput = WineUnixPath(output);
  if (unixOutput.empty() || !AddWinePostScriptPrinter(kBenchPrinter, "quillpad-bench.ppd", unixOutput)) {
    printf("print_300_pages SKIPPED: no printer of Wine's PostScript driver could be added\n");
    return;
  }
  // The device, the frame of the margins and the print font, as the job
  // finds them.
  HDC probe = CreateDCA(nullptr, kBenchPrinter, nullptr, nullptr);
  PrintDevice device = {GetDeviceCaps(probe, LOGPIXELSX),      GetDeviceCaps(probe, LOGPIXELSY),
                        GetDeviceCaps(probe, PHYSICALWIDTH),   GetDeviceCaps(probe, PHYSICALHEIGHT),
                        GetDeviceCaps(probe, PHYSICALOFFSETX), GetDeviceCaps(probe, PHYSICALOFFSETY),
                        GetDeviceCaps(probe, HORZRES),         GetDeviceCaps(probe, VERTRES)};
  const EditSettings &e = g_settings.edit;
  PageFrame frame;
  if (!ComputePageFrame(device, e.PrnLeft, e.PrnTop, e.PrnRght, e.PrnBott, &frame)) return;
  LOGFONTA lf;
  memcpy(&lf, &e.LFP_, sizeof lf);
  lf.lfHeight = -PrintFontPixels(e.LFP_.height, device.dpiY);
  lf.lfWidth = 0;
  HFONT font = CreateFontIndirectA(&lf);
  HGDIOBJ old = SelectObject(probe, font);
  TEXTMETRICA tm;
  GetTextMetricsA(probe, &tm);
  const int rowHeight = tm.tmHeight + tm.tmExternalLeading;

  // A text of 300 full pages: the benchmark lines, cut at the end of the
  // line that ends the 300th page.
  const std::vector<char> lines = AnsiLines(3u << 20);
  std::string text(lines.begin(), lines.end());
  PageLayout layout = {};
  layout.dc = probe;
  layout.width = frame.width;
  layout.rowsPerPage = frame.height / rowHeight;
  SendMessageA(editor, EDM_SETTEXT, text.size(), reinterpret_cast<LPARAM>(text.c_str()));
  if (!SendMessageA(editor, EDM_PAGINATE, 0, reinterpret_cast<LPARAM>(&layout)) || layout.pages <= 300) {
    printf("print_300_pages: paginate failed\n");
    return;
  }
  text.resize(text.rfind("\r\n", layout.starts[300].position - 2));
  FreePageLayout(&layout);
  SendMessageA(editor, EDM_SETTEXT, text.size(), reinterpret_cast<LPARAM>(text.c_str()));
  // The rows of every page, for the bare loop.
  std::vector<std::vector<std::string>> pages;
  if (SendMessageA(editor, EDM_PAGINATE, 0, reinterpret_cast<LPARAM>(&layout))) {
    for (u32 p = 0; p < layout.pages; p++) {
      u32 count = 0;
      const PageRow *rows = LayPage(&layout, p, &count);
      pages.emplace_back();
      for (u32 k = 0; k < count; k++) pages.back().emplace_back(text.substr(rows[k].start, rows[k].end - rows[k].start));
    }
  }
  FreePageLayout(&layout);
  SelectObject(probe, old);
  DeleteDC(probe);

  const PrintDialogAnswerer answerer = {AnswerPrint, nullptr, nullptr};
  InstallPrintDialogAnswerer(&answerer);
  double job = 1e30, bare = 1e30;
  u64 jobBytes = 0, bareBytes = 0;
  for (int run = 0; run < 3; run++) {
    DeleteFileA(output);
    double t0 = Now();
    if (PrintJob(GetParent(editor), editor, "bench") != 0) printf("print_300_pages: the job failed\n");
    job = std::min(job, Now() - t0);
    jobBytes = FileBytes(output);

    // The same rows, one ExtTextOutA each, on the same printer.
    DeleteFileA(output);
    t0 = Now();
    HDC dc = CreateDCA(nullptr, kBenchPrinter, nullptr, nullptr);
    DOCINFOA info = {};
    info.cbSize = sizeof info;
    info.lpszDocName = "bench";
    StartDocA(dc, &info);
    for (const std::vector<std::string> &page : pages) {
      StartPage(dc);
      HGDIOBJ pageFont = SelectObject(dc, font);
      SetBkMode(dc, TRANSPARENT);
      int y = frame.top;
      for (const std::string &row : page) {
        ExtTextOutA(dc, frame.left, y, 0, nullptr, row.data(), static_cast<UINT>(row.size()), nullptr);
        y += rowHeight;
      }
      SelectObject(dc, pageFont);
      EndPage(dc);
    }
    EndDoc(dc);
    DeleteDC(dc);
    bare = std::min(bare, Now() - t0);
    bareBytes = FileBytes(output);
  }
  InstallPrintDialogAnswerer(nullptr);
  printf("print_300_pages %zu pages of %d rows, PostScript %llu bytes (the bare loop's %llu)\n", pages.size(),
         frame.height / rowHeight, static_cast<unsigned long long>(jobBytes),
         static_cast<unsigned long long>(bareBytes));
  Report("print_300_pages_to_postscript", job, "s");
  Report("bare_exttextout_loop_300_pages", bare, "s");
  Ratio("print_300_pages_vs_bare_loop", job, bare);
  Goal("print_300_pages_vs_bare_loop", job / bare, 1.1, "x");
  DeleteObject(font);
  DeleteFileA(output);
  DeleteNamedPrinter(kBenchPrinter);
  SendMessageA(editor, EDM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
}
