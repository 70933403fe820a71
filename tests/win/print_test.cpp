// Printing in this process: Print and Page Setup through the scripted print
// dialogs, every page recorded as a metafile on a device of the test's
// choosing; the rows checked against a model of the word wrap, the page
// geometry against a table, and every step of the job failed in turn.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/common_dialogs.h"
#include "app/main_window.h"
#include "app/print_job.h"
#include "config/config_state.h"
#include "document/document.h"
#include "editor/editor_layout.h"
#include "editor/editor_messages.h"
#include "editor/editor_pages.h"
#include "foundation/fault.h"
#include "resources/resource.h"
#include "tests/support/scripted_answerer.h"
#include "tests/win/gui_helpers.h"

namespace {

// One text output of a page: where, and what.
struct TextRun {
  int x, y;
  std::string text;
};

// A printer made of a memory device context with the caps of a real one;
// each page goes into a metafile drawn on it. Any step can be made to fail.
struct Printer {
  int dpi = 300;
  int paperWidth = 2480, paperHeight = 3508;  // A4
  int offsetX = 75, offsetY = 75;
  int printWidth = 2329, printHeight = 3358;
  enum Step { kStartDoc, kStartPage, kEndPage, kEndDoc, kSteps };
  int failStep = -1, failAt = 0;  // which call (1-based) of which step fails
  int cancelAtPage = 0;           // Cancel pressed in the progress window before this page's end
  int calls[kSteps] = {};
  int aborts = 0;
  std::string docName;
  std::vector<std::vector<TextRun>> pages;
  HENHMETAFILE current = nullptr;

  bool Fails(Step s) { return ++calls[s] == failAt && failStep == s; }

  static int Caps(void *c, HDC dc, int index) {
    Printer *p = static_cast<Printer *>(c);
    switch (index) {
      case LOGPIXELSX:
      case LOGPIXELSY: return p->dpi;
      case PHYSICALWIDTH: return p->paperWidth;
      case PHYSICALHEIGHT: return p->paperHeight;
      case PHYSICALOFFSETX: return p->offsetX;
      case PHYSICALOFFSETY: return p->offsetY;
      case HORZRES: return p->printWidth;
      case VERTRES: return p->printHeight;
      default: return GetDeviceCaps(dc, index);
    }
  }
  static int StartDoc(void *c, HDC, const DOCINFOA *info) {
    Printer *p = static_cast<Printer *>(c);
    p->docName = info->lpszDocName ? info->lpszDocName : "";
    return p->Fails(kStartDoc) ? SP_ERROR : 1;
  }
  static int StartPage(void *c, HDC dc, HDC *page) {
    Printer *p = static_cast<Printer *>(c);
    if (p->Fails(kStartPage)) return SP_ERROR;
    *page = CreateEnhMetaFileA(dc, nullptr, nullptr, nullptr);
    return *page ? 1 : SP_ERROR;
  }
  static int CALLBACK EnumRecord(HDC, HANDLETABLE *, const ENHMETARECORD *rec, int, LPARAM context) {
    auto *runs = reinterpret_cast<std::vector<TextRun> *>(context);
    if (rec->iType == EMR_EXTTEXTOUTW || rec->iType == EMR_EXTTEXTOUTA) {
      const auto *t = reinterpret_cast<const EMREXTTEXTOUTW *>(rec);
      const char *base = reinterpret_cast<const char *>(rec) + t->emrtext.offString;
      std::string text;
      for (DWORD i = 0; i < t->emrtext.nChars; i++)
        text += rec->iType == EMR_EXTTEXTOUTW ? static_cast<char>(reinterpret_cast<const WCHAR *>(base)[i])
                                              : base[i];
      runs->push_back({t->emrtext.ptlReference.x, t->emrtext.ptlReference.y, text});
    }
    return 1;
  }
  static BOOL CALLBACK PressCancel(HWND w, LPARAM) {
    if (GetDlgItem(w, IDCANCEL) && GetDlgItem(w, IDC_WAIT_LINE1)) PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
  }
  static int EndPage(void *c, HDC, HDC page) {
    Printer *p = static_cast<Printer *>(c);
    HENHMETAFILE emf = CloseEnhMetaFile(page);
    std::vector<TextRun> runs;
    EnumEnhMetaFile(nullptr, emf, EnumRecord, &runs, nullptr);
    DeleteEnhMetaFile(emf);
    p->pages.push_back(runs);
    if (p->cancelAtPage == static_cast<int>(p->pages.size())) {
      // The Cancel button of the progress window, as a click sends it.
      EnumThreadWindows(GetCurrentThreadId(), PressCancel, 0);
    }
    return p->Fails(kEndPage) ? SP_ERROR : 1;
  }
  static int EndDoc(void *c, HDC) { return static_cast<Printer *>(c)->Fails(kEndDoc) ? SP_ERROR : 1; }
  static int AbortDoc(void *c, HDC) {
    static_cast<Printer *>(c)->aborts++;
    return 1;
  }
};

// The print dialog answered: Print (with Selection when asked), or Cancel.
struct Dialogs {
  bool print = true, selection = false;
  int shown = 0, setups = 0;
  DWORD flags = 0;
  HGLOBAL devModeIn = nullptr;  // what the last dialog was given
  HGLOBAL devModeOut = nullptr; // what a dialog hands back (null: what it was given)
  RECT margins = {};            // Page Setup: the margins given, and those chosen
  bool setupOk = true;

  static HRESULT Print(void *c, PRINTDLGEXA *pd) {
    Dialogs *d = static_cast<Dialogs *>(c);
    d->shown++;
    d->flags = pd->Flags;
    d->devModeIn = pd->hDevMode;
    if (d->devModeOut) pd->hDevMode = d->devModeOut;
    if (!d->print) {
      pd->dwResultAction = PD_RESULT_CANCEL;
      return S_OK;
    }
    pd->hDC = CreateCompatibleDC(nullptr);
    if (d->selection) pd->Flags |= PD_SELECTION;
    pd->dwResultAction = PD_RESULT_PRINT;
    return S_OK;
  }
  static BOOL Setup(void *c, PAGESETUPDLGA *psd) {
    Dialogs *d = static_cast<Dialogs *>(c);
    d->setups++;
    d->flags = psd->Flags;
    d->devModeIn = psd->hDevMode;
    std::swap(d->margins, psd->rtMargin);
    if (d->devModeOut) psd->hDevMode = d->devModeOut;
    return d->setupOk;
  }
};

// The row lengths of one hard line by the word-wrap rule, measured with the
// widths of the print font (letters, spaces and hyphens only).
std::vector<size_t> ModelRows(const std::string &line, const int *widths, int wrap) {
  auto sep = [](char c) { return c == ' ' || c == '-'; };
  std::vector<size_t> rows;
  size_t pos = 0;
  do {
    size_t accepted = 0, row = 0;
    int x = 0;
    for (;;) {
      size_t seg = pos + accepted;
      if (seg >= line.size()) {
        row = accepted;
        break;
      }
      size_t i = seg;
      while (i < line.size() && sep(line[i])) i++;
      while (i < line.size() && !sep(line[i])) i++;
      int w = 0;
      for (size_t k = seg; k < i; k++) w += widths[static_cast<unsigned char>(line[k])];
      if (x + w <= wrap) {
        accepted = i - pos;
        x += w;
        if (i >= line.size()) {
          row = accepted;
          break;
        }
        continue;
      }
      if (accepted > 0) {
        row = accepted + 1;
        break;
      }
      size_t fit = 0;
      for (int cx = 0; pos + fit < line.size(); fit++) {
        int a = widths[static_cast<unsigned char>(line[pos + fit])];
        if (cx + a > wrap) break;
        cx += a;
      }
      row = fit > 0 ? fit : 1;
      break;
    }
    row = std::min(row, line.size() - pos);
    rows.push_back(row);
    pos += row;
  } while (pos < line.size());
  return rows;
}

std::string WithoutBlanks(const std::string &s) {
  std::string out;
  for (char c : s)
    if (c != ' ' && c != '\r' && c != '\n') out += c;
  return out;
}

// Each character the runs draw, at its place (a space draws nothing): rows
// drawn word by word or whole at the same advances give the same glyphs.
std::vector<TextRun> Glyphs(const std::vector<TextRun> &runs, const int *widths) {
  std::vector<TextRun> out;
  for (const TextRun &r : runs) {
    int x = r.x;
    for (char c : r.text) {
      if (c != ' ') out.push_back({x, r.y, std::string(1, c)});
      x += widths[static_cast<unsigned char>(c)];
    }
  }
  return out;
}

class Printing : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ResetFrameGlobals());
    ASSERT_EQ(CreateMainWindow(), 0);
    PumpMessages();
    ASSERT_NE(g_app.editorWindow, nullptr);
    sink_ = {Printer::Caps, Printer::StartDoc, Printer::StartPage, Printer::EndPage, Printer::EndDoc,
             Printer::AbortDoc, &printer_};
    answerer_ = {Dialogs::Print, Dialogs::Setup, &dialogs_};
    InstallPrintSink(&sink_);
    InstallPrintDialogAnswerer(&answerer_);
  }
  void TearDown() override {
    InstallPrintSink(nullptr);
    InstallPrintDialogAnswerer(nullptr);
    ForgetPrinterChoice();
    DestroyFrame();
    SetDefaultSettings(&g_settings, true);
  }
  void SetText(const std::string &text) {
    SendMessageA(g_app.editorWindow, EDM_SETTEXT, text.size(), reinterpret_cast<LPARAM>(text.c_str()));
  }
  std::string EditorText() {
    std::string s(SendMessageA(g_app.editorWindow, EDM_GETTEXTLENGTHRAW, 0, 0), '\0');
    SendMessageA(g_app.editorWindow, EDM_GETTEXTRAW, s.size() + 1, reinterpret_cast<LPARAM>(&s[0]));
    return s;
  }
  // Runs Print and returns the command's result (0 printed, 1 cancelled, 3
  // failed as the frame answers it).
  LRESULT Print() {
    printer_.pages.clear();
    for (int &c : printer_.calls) c = 0;
    printer_.aborts = 0;
    return SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_PRINT, 0);
  }
  // All text runs of all pages, in order, without the spaces (which draw
  // nothing, whether a run holds them or not).
  std::string Printed() const {
    std::string all;
    for (const auto &page : printer_.pages)
      for (const TextRun &r : page) all += WithoutBlanks(r.text);
    return all;
  }
  PrintSink sink_;
  PrintDialogAnswerer answerer_;
  Printer printer_;
  Dialogs dialogs_;
};

// Random texts on random margins and fonts: each page holds the rows the
// page's height gives, each row the runs the word wrap of the print font on
// the printable width gives, at their x and y; nothing is lost at page ends.
TEST_F(Printing, PagesHoldTheRowsOfTheWordWrapOnThePrinter) {
  std::mt19937 rng(23);
  const char *faces[] = {"", "Courier New", "Times New Roman"};
  for (int round = 0; round < 9; round++) {
    // A text of words (some longer than a row), spaces, hyphens, newlines.
    std::string text;
    const int words = 200 + static_cast<int>(rng() % 400);
    for (int w = 0; w < words; w++) {
      int len = rng() % 20 == 0 ? 80 + static_cast<int>(rng() % 120) : 1 + static_cast<int>(rng() % 12);
      for (int k = 0; k < len; k++) text += static_cast<char>('a' + rng() % 26);
      int sep = static_cast<int>(rng() % 12);
      text += sep < 7 ? " " : sep < 8 ? "  " : sep < 9 ? "-" : sep < 10 ? "\r\n" : sep < 11 ? "\n" : "\r\n\r\n";
    }
    SetText(text);
    SendMessageA(g_app.editorWindow, EM_SETSEL, 0, 0);
    auto &e = g_settings.edit;
    const i32 margins[] = {0, 1000, 2500, 6000};
    e.PrnLeft = margins[rng() % 4];
    e.PrnRght = margins[rng() % 4];
    e.PrnTop = margins[rng() % 4];
    e.PrnBott = margins[rng() % 4];
    e.LFP_.height = 6 + static_cast<i32>(rng() % 10);
    snprintf(e.LFP_.faceName, sizeof e.LFP_.faceName, "%s", faces[round % 3]);
    printer_.dpi = round % 2 ? 300 : 150;
    printer_.paperWidth = 2480 * printer_.dpi / 300;
    printer_.paperHeight = 3508 * printer_.dpi / 300;
    printer_.offsetX = printer_.offsetY = 75 * printer_.dpi / 300;
    printer_.printWidth = printer_.paperWidth - 2 * printer_.offsetX;
    printer_.printHeight = printer_.paperHeight - 2 * printer_.offsetY;
    SCOPED_TRACE("round " + std::to_string(round) + " font " + faces[round % 3] + " " +
                 std::to_string(e.LFP_.height) + " pt");

    // The model: the frame, the font's widths and height on a like device.
    PrintDevice device = {printer_.dpi, printer_.dpi, printer_.paperWidth, printer_.paperHeight,
                          printer_.offsetX, printer_.offsetY, printer_.printWidth, printer_.printHeight};
    PageFrame frame;
    ASSERT_TRUE(ComputePageFrame(device, e.PrnLeft, e.PrnTop, e.PrnRght, e.PrnBott, &frame));
    LOGFONTA lf;
    memcpy(&lf, &e.LFP_, sizeof lf);
    lf.lfHeight = -PrintFontPixels(e.LFP_.height, printer_.dpi);
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontIndirectA(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    int widths[256];
    ASSERT_TRUE(GetCharWidth32A(dc, 0, 255, widths));
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    const int rowHeight = tm.tmHeight + tm.tmExternalLeading;
    const int perPage = frame.height / rowHeight;
    ASSERT_GE(perPage, 1);

    // Expected runs of each row: the words of the model's rows.
    std::vector<std::vector<TextRun>> rows;
    size_t start = 0;
    while (start <= text.size()) {
      size_t nl = text.find_first_of("\r\n", start);
      const std::string line = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
      size_t at = 0;
      for (size_t n : ModelRows(line, widths, frame.width)) {
        std::vector<TextRun> runs;
        int x = frame.left;
        for (size_t k = at; k < at + n; k++) {
          if (line[k] != ' ') {
            if (k == at || line[k - 1] == ' ') runs.push_back({x, 0, ""});
            runs.back().text += line[k];
          }
          x += widths[static_cast<unsigned char>(line[k])];
        }
        rows.push_back(runs);
        at += n;
      }
      if (nl == std::string::npos) break;
      start = nl + (text.compare(nl, 2, "\r\n") == 0 ? 2 : 1);
    }

    ASSERT_EQ(Print(), 0);
    const size_t pages = (rows.size() + perPage - 1) / perPage;
    ASSERT_EQ(printer_.pages.size(), pages);
    for (size_t p = 0; p < pages; p++) {
      std::vector<TextRun> want;
      for (size_t r = p * perPage; r < std::min(rows.size(), (p + 1) * perPage); r++)
        for (TextRun run : rows[r]) {
          run.y = frame.top + static_cast<int>(r - p * perPage) * rowHeight;
          want.push_back(run);
        }
      const std::vector<TextRun> got = Glyphs(printer_.pages[p], widths);
      want = Glyphs(want, widths);
      ASSERT_EQ(got.size(), want.size()) << "page " << p;
      for (size_t k = 0; k < want.size(); k++) {
        ASSERT_EQ(got[k].text, want[k].text) << "page " << p << " glyph " << k;
        ASSERT_EQ(got[k].x, want[k].x) << "page " << p << " glyph " << k << " " << want[k].text;
        ASSERT_EQ(got[k].y, want[k].y) << "page " << p << " glyph " << k << " " << want[k].text;
      }
    }
    EXPECT_EQ(Printed(), WithoutBlanks(text));
    EXPECT_EQ(printer_.calls[Printer::kEndDoc], 1);
    EXPECT_EQ(printer_.aborts, 0);
  }
}

// Print with Selection prints the selection alone, from the top of the
// first page; without a selection the dialog offers none. The document name
// is the file's.
TEST_F(Printing, TheSelectionPrintsAloneFromTheTopOfTheFirstPage) {
  std::string text;
  for (int i = 0; i < 300; i++) text += "line" + std::to_string(i) + " of text\r\n";
  SetText(text);
  SendMessageA(g_app.editorWindow, EM_SETSEL, 0, 0);
  dialogs_.selection = true;  // ignored: there is no selection
  ASSERT_EQ(Print(), 0);
  EXPECT_TRUE(dialogs_.flags & PD_NOSELECTION);
  EXPECT_TRUE(dialogs_.flags & PD_RETURNDC);
  EXPECT_TRUE(dialogs_.flags & PD_NOPAGENUMS);
  EXPECT_EQ(Printed(), WithoutBlanks(text));
  EXPECT_EQ(printer_.docName, "Untitled");

  const size_t from = text.find("line150"), to = text.find("line170");
  SendMessageA(g_app.editorWindow, EM_SETSEL, from + 2, to);
  ASSERT_EQ(Print(), 0);
  EXPECT_FALSE(dialogs_.flags & PD_NOSELECTION);
  ASSERT_EQ(printer_.pages.size(), 1u);
  ASSERT_FALSE(printer_.pages[0].empty());
  PageFrame frame;
  PrintDevice device = {300, 300, 2480, 3508, 75, 75, 2329, 3358};
  ASSERT_TRUE(ComputePageFrame(device, 2500, 2500, 2500, 2500, &frame));
  EXPECT_EQ(printer_.pages[0][0].text.substr(0, 5), "ne150");
  EXPECT_EQ(printer_.pages[0][0].y, frame.top);
  EXPECT_EQ(printer_.pages[0][0].x, frame.left);
  EXPECT_EQ(Printed(), WithoutBlanks(text.substr(from + 2, to - from - 2)));

  dialogs_.selection = false;  // the whole text, the selection kept
  ASSERT_EQ(Print(), 0);
  EXPECT_EQ(Printed(), WithoutBlanks(text));
  EXPECT_EQ(EditorText(), text);
}

// The pages against the layout they replace: the printed text copied into a
// store of its own and word-wrapped there by the editor's WrapLines on the
// same device. Random texts of words, tabs and every newline, selections
// that start or end inside a CR LF, widths down to one pixel (a line of
// thousands of rows), pages of one row and more.
TEST_F(Printing, PagesAreTheRowsOfTheTextWrappedOnItsOwn) {
  std::mt19937 rng(8);
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font = CreateFontA(-17, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Times New Roman");
  HGDIOBJ oldFont = SelectObject(dc, font);
  EditorWindow *ed = EditorOf(g_app.editorWindow);
  g_settings.opts.RWrap = 50;  // the screen's wrap margin does not reach paper
  for (int round = 0; round < 40; round++) {
    // (The last two are pairs under a double-byte code page.)
    const char *pieces[] = {"a", "word", "ab-cd", " ", "  ", "\t", "-", "\r\n", "\n", "\r", "\r\n\r\n", "\x88\xE0",
                            "\x81" "a"};
    std::string text;
    const int n = round == 0 ? 0 : static_cast<int>(rng() % 400);
    for (int i = 0; i < n; i++) text += rng() % 30 ? pieces[rng() % 13] : std::string(60 + rng() % 300, 'x');
    if (round == 1) text = std::string(9000, 'w');  // 1 px wide below: more rows than one piece of the layout
    SetText(text);
    u32 from = 0, to = static_cast<u32>(text.size());
    if (round % 2 && !text.empty()) {
      from = rng() % (text.size() + 1);
      to = rng() % (text.size() + 1);
      if (from > to) std::swap(from, to);
      // Now and then an end inside a CR LF for sure.
      const size_t cr = text.find("\r\n", round % 4 == 1 ? 0 : from);
      if (cr != std::string::npos && round % 4 == 1) from = static_cast<u32>(cr + 1);
      if (cr != std::string::npos && round % 4 == 3) to = static_cast<u32>(cr + 1);
      if (from > to) std::swap(from, to);
      SendMessageA(g_app.editorWindow, EM_SETSEL, from, to);
      // The editor keeps a selection end off the middle of a CR LF; the store reads it as it lies.
      from = ed->doc->selStart->position;
      to = ed->doc->selEnd->position;
    }
    PageLayout layout = {};
    layout.dc = dc;
    const int widths[] = {1, 25, 180, 900};
    layout.width = round == 1 ? 1 : widths[rng() % 4];
    layout.rowsPerPage = 1 + static_cast<int>(rng() % 70);
    SCOPED_TRACE("round " + std::to_string(round) + " width " + std::to_string(layout.width) + " from " +
                 std::to_string(from) + " to " + std::to_string(to));
    ASSERT_EQ(SendMessageA(g_app.editorWindow, EDM_PAGINATE, round % 2, reinterpret_cast<LPARAM>(&layout)), 1);

    // The reference: the copy, wrapped.
    EditorWindow view = {};
    view.doc = CreateDocument();
    ASSERT_NE(view.doc, nullptr);
    if (to > from) {
      ASSERT_EQ(StoreInsert(&view.doc->store, 0, StoreSource(&ed->doc->store, from, to - from), 0), 0);
    }
    view.hwnd = g_app.editorWindow;
    view.measureDc = dc;
    view.doubleByte = ed->doubleByte;
    memcpy(view.leadByte, ed->leadByte, sizeof view.leadByte);
    MeasureFontOn(&view, dc, false);
    view.doc->wordWrap = 1;
    view.wrapWidth = layout.width;
    ASSERT_EQ(WrapLines(&view, 0, view.doc->store.length, true), 1);
    const TextStore *copy = &view.doc->store;
    ASSERT_EQ(layout.rows, RowCount(copy));
    ASSERT_EQ(layout.pages, (RowCount(copy) + layout.rowsPerPage - 1) / layout.rowsPerPage);
    for (u32 page = 0, r = 0; page < layout.pages; page++) {
      u32 count = 0;
      const PageRow *rows = LayPage(&layout, page, &count);
      ASSERT_EQ(count, std::min<u32>(layout.rowsPerPage, RowCount(copy) - r)) << "page " << page;
      for (u32 k = 0; k < count; k++, r++) {
        ASSERT_EQ(rows[k].start, from + RowStart(copy, r)) << "row " << r;
        ASSERT_EQ(rows[k].end, from + RowTextEnd(copy, r)) << "row " << r;
      }
    }
    ForgetPairWidths(&view);
    DestroyDocument(view.doc);
    // A text changed under the pages: they draw nothing rather than read past it.
    SetText(text + "more");
    u32 count = 1;
    LayPage(&layout, 0, &count);
    EXPECT_EQ(count, 0u);
    FreePageLayout(&layout);
  }
  SelectObject(dc, oldFont);
  DeleteObject(font);
  DeleteDC(dc);
}

// What the main window is sent while a job prints (a command that changes
// the text, say) waits for the end of the job: every page holds the text
// as it was when printing began.
TEST_F(Printing, ACommandSentDuringTheJobWaitsForItsEnd) {
  std::string text;
  for (int i = 0; i < 400; i++) text += "row " + std::to_string(i) + "\r\n";
  SetText(text);
  g_settings.edit.LFP_.height = 40;
  static HWND main;
  main = g_app.mainWindow;
  sink_.endPage = [](void *c, HDC dc, HDC page) {
    PostMessageA(main, WM_COMMAND, IDM_EDIT_DATE, 0);
    return Printer::EndPage(c, dc, page);
  };
  ASSERT_EQ(Print(), 0);
  ASSERT_GE(printer_.pages.size(), 3u);
  EXPECT_EQ(Printed(), WithoutBlanks(text));
  EXPECT_EQ(EditorText(), text);
  PumpMessages();
  EXPECT_GT(EditorText().size(), text.size());  // then it ran
}

// The margins count from the paper's edge: the printer's own unprintable
// border is taken off them, and the text stays inside the printable area.
TEST(PrintGeometry, MarginsCountFromThePaperEdgeInsideThePrintableArea) {
  struct Case {
    PrintDevice d;
    i32 left, top, right, bottom;
    bool fits;
    PageFrame want;
  } cases[] = {
      // Letter at 600 dpi without an unprintable border: 25 mm are 591 pixels.
      {{600, 600, 5100, 6600, 0, 0, 5100, 6600}, 2500, 2500, 2500, 2500, true, {591, 591, 3918, 5418}},
      // A4 at 300 dpi with Wine's PostScript border of 75 pixels.
      {{300, 300, 2479, 3508, 75, 75, 2329, 3358}, 2500, 2500, 2500, 2500, true, {220, 220, 1889, 2918}},
      // No margins: the printable area, not the paper.
      {{300, 300, 2479, 3508, 75, 75, 2329, 3358}, 0, 0, 0, 0, true, {0, 0, 2329, 3358}},
      // Negative margins count as none.
      {{300, 300, 2479, 3508, 75, 75, 2329, 3358}, -500, -1, -2147483647, 0, true, {0, 0, 2329, 3358}},
      // A margin inside the border on one side only.
      {{300, 300, 2479, 3508, 75, 75, 2329, 3358}, 300, 5000, 0, 1000, true, {0, 516, 2329, 2799}},
      // A device without paper size: its printable area is the paper.
      {{96, 96, 0, 0, 0, 0, 800, 1000}, 2540, 0, 2540, 0, true, {96, 0, 608, 1000}},
      // Margins that meet or pass each other, or pass the page.
      {{300, 300, 2479, 3508, 75, 75, 2329, 3358}, 10490, 2500, 10490, 2500, true, {1164, 220, 1, 2918}},
      {{300, 300, 2479, 3508, 75, 75, 2329, 3358}, 10500, 2500, 10500, 2500, false, {}},
      {{300, 300, 2479, 3508, 75, 75, 2329, 3358}, 2147483647, 0, 0, 0, false, {}},
      {{300, 300, 2479, 3508, 75, 75, 2329, 3358}, 0, 0, 0, 2147483647, false, {}},
      {{300, 300, 2479, 3508, 75, 75, 0, 3358}, 0, 0, 0, 0, false, {}},
  };
  for (const Case &c : cases) {
    PageFrame got = {};
    ASSERT_EQ(ComputePageFrame(c.d, c.left, c.top, c.right, c.bottom, &got), c.fits) << c.left << " " << c.top;
    if (!c.fits) continue;
    EXPECT_EQ(got.left, c.want.left);
    EXPECT_EQ(got.top, c.want.top);
    EXPECT_EQ(got.width, c.want.width);
    EXPECT_EQ(got.height, c.want.height);
  }
  // Points to pixels, rounded; none or fewer than none are 10 points.
  EXPECT_EQ(PrintFontPixels(10, 300), 42);
  EXPECT_EQ(PrintFontPixels(0, 300), 42);
  EXPECT_EQ(PrintFontPixels(-7, 600), 83);
  EXPECT_EQ(PrintFontPixels(9, 96), 12);
  EXPECT_EQ(PrintFontPixels(2147483647, 2400), 0x3FFFFFFF);
  EXPECT_EQ(MarginPixels(2500, 600), 591);
  EXPECT_EQ(MarginPixels(-1, 600), 0);
}

// What cannot be printed says so once and prints nothing: margins that leave
// no room, a font taller than the page. The dialog cancelled, or not given a
// printer, is a silent 32.
TEST_F(Printing, NoRoomOrNoPrinterPrintsNothing) {
  SetText("some text");
  struct Case {
    i32 left, top, fontPoints;
    bool print;
    LRESULT result;
  } cases[] = {
      {2500, 2500, 10, false, 1},         // cancelled
      {15000, 2500, 10, true, 3},         // no width
      {2500, 20000, 10, true, 3},         // no height
      {2500, 2500, 3000, true, 3},        // one row is taller than the page
      {2500, 2500, 0x7FFFFFFF, true, 3},  // a size beyond any
      {-5000, -5000, -3, true, 0},        // clamped: prints, at 10 points
  };
  for (const Case &c : cases) {
    g_settings.edit.PrnLeft = g_settings.edit.PrnRght = c.left;
    g_settings.edit.PrnTop = g_settings.edit.PrnBott = c.top;
    g_settings.edit.LFP_.height = c.fontPoints;
    dialogs_.print = c.print;
    ScriptedAnswerer answers;
    if (c.result == 3) answers.Expect("Could not print the document!", kAskWarning, kAnswerOk);
    EXPECT_EQ(Print(), c.result) << c.left << " " << c.top << " " << c.fontPoints;
    EXPECT_EQ(printer_.calls[Printer::kStartDoc], c.result == 0 ? 1 : 0);
    EXPECT_EQ(Printed(), c.result == 0 ? "sometext" : "");
  }
  // The dialog gave no device context (no printer): cancelled.
  answerer_.print = [](void *, PRINTDLGEXA *pd) -> HRESULT {
    pd->dwResultAction = PD_RESULT_PRINT;
    return S_OK;
  };
  EXPECT_EQ(Print(), 1);
  answerer_.print = [](void *, PRINTDLGEXA *) -> HRESULT { return E_FAIL; };
  EXPECT_EQ(Print(), 1);
}

// Each step of the job failed in turn, and Cancel pressed between pages: a
// started job is taken back (AbortDoc), never ended; a failure says so once,
// a cancel says nothing; the document stays as it was.
TEST_F(Printing, FailedOrCancelledStepsAbortTheJob) {
  std::string text;
  for (int i = 0; i < 400; i++) text += "row " + std::to_string(i) + "\r\n";
  SetText(text);
  g_settings.edit.LFP_.height = 40;  // a few pages
  ASSERT_EQ(Print(), 0);
  const int pages = static_cast<int>(printer_.pages.size());
  ASSERT_GE(pages, 3);
  struct Case {
    int step, at, cancelAtPage;
  } cases[] = {
      {Printer::kStartDoc, 1, 0},  {Printer::kStartPage, 1, 0}, {Printer::kStartPage, 2, 0},
      {Printer::kEndPage, 1, 0},   {Printer::kEndPage, pages, 0}, {Printer::kEndDoc, 1, 0},
      {-1, 0, 1},                  {-1, 0, pages},               {Printer::kEndDoc, 1, pages},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("step " + std::to_string(c.step) + " call " + std::to_string(c.at) + " cancel " +
                 std::to_string(c.cancelAtPage));
    printer_.failStep = c.step;
    printer_.failAt = c.at;
    printer_.cancelAtPage = c.cancelAtPage;
    const bool cancelled = c.cancelAtPage > 0;
    ScriptedAnswerer answers;
    if (!cancelled) answers.Expect("Could not print the document!", kAskWarning, kAnswerOk);
    EXPECT_EQ(Print(), cancelled ? 1 : 3);
    const bool started = !(c.step == Printer::kStartDoc);
    const bool endDocFailed = c.step == Printer::kEndDoc && !cancelled;
    EXPECT_EQ(printer_.aborts, started && !endDocFailed ? 1 : 0);
    EXPECT_EQ(printer_.calls[Printer::kEndDoc], endDocFailed ? 1 : 0);
    if (cancelled) {
      EXPECT_EQ(static_cast<int>(printer_.pages.size()), c.cancelAtPage);
    }
    EXPECT_EQ(FindWindowA(nullptr, "Printing.."), nullptr);
    EXPECT_TRUE(IsWindowEnabled(g_app.mainWindow));
  }
  printer_.failStep = -1;
  printer_.cancelAtPage = 0;
  EXPECT_EQ(EditorText(), text);

  // Allocations failed one after another: out of memory before anything is
  // sent to the device, or the whole job.
  for (u32 n = 1;; n++) {
    FaultInjector fi;
    FaultReset(&fi);
    FaultPlan(&fi, kFaultAlloc, n, false);
    LRESULT r;
    {
      ScriptedAnswerer answers;
      answers.Allow("Out of Memory!", kAskWarning, kAnswerOk);
      ScopedFaultInjector scope(&fi);
      r = Print();
    }
    if (!fi.fired[kFaultAlloc]) {
      EXPECT_EQ(r, 0);
      EXPECT_EQ(static_cast<int>(printer_.pages.size()), pages);
      break;
    }
    ASSERT_EQ(r, 3) << n;
    EXPECT_EQ(printer_.calls[Printer::kStartDoc], 0) << n;
    ASSERT_LT(n, 1000u);
  }
  EXPECT_EQ(EditorText(), text);
}

// Page Setup edits the margins and keeps the printer for later dialogs of
// the session; Cancel keeps the margins.
TEST_F(Printing, PageSetupKeepsTheMarginsAndThePrinter) {
  SetText("x");
  g_settings.edit.PrnLeft = -40;
  dialogs_.margins = {1000, 1100, 1200, 1300};
  HGLOBAL mode = GlobalAlloc(GMEM_MOVEABLE, 64);
  dialogs_.devModeOut = mode;
  ASSERT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_PAGE_SETUP, 0), 0);
  EXPECT_TRUE(dialogs_.flags & PSD_MARGINS);
  EXPECT_TRUE(dialogs_.flags & PSD_INHUNDREDTHSOFMILLIMETERS);
  EXPECT_EQ(dialogs_.margins.left, 0);  // what the dialog was given: below 0 is none
  EXPECT_EQ(dialogs_.margins.top, 2500);
  EXPECT_EQ(g_settings.edit.PrnLeft, 1000);
  EXPECT_EQ(g_settings.edit.PrnTop, 1100);
  EXPECT_EQ(g_settings.edit.PrnRght, 1200);
  EXPECT_EQ(g_settings.edit.PrnBott, 1300);
  dialogs_.devModeOut = nullptr;
  ASSERT_EQ(Print(), 0);
  EXPECT_EQ(dialogs_.devModeIn, mode);  // the print dialog starts from it
  dialogs_.setupOk = false;
  dialogs_.margins = {1, 2, 3, 4};
  EXPECT_EQ(SendMessageA(g_app.mainWindow, WM_COMMAND, IDM_FILE_PAGE_SETUP, 0), 1);
  EXPECT_EQ(g_settings.edit.PrnLeft, 1000);
  EXPECT_EQ(dialogs_.devModeIn, mode);
  HGLOBAL devMode, devNames;
  KeptPrinterChoice(&devMode, &devNames);
  EXPECT_EQ(devMode, mode);
  EXPECT_EQ(devNames, nullptr);
}

// /p prints the start-up document and exits: 0 when printed, 32 cancelled,
// 48 failed, the window closed each time.
TEST_F(Printing, StartupPrintExitsWithTheJobsResult) {
  struct Case {
    bool print;
    int failStep;
    int exitCode;
  } cases[] = {{true, -1, 0}, {false, -1, 32}, {true, Printer::kEndDoc, 48}};
  for (const Case &c : cases) {
    DestroyFrame();
    ASSERT_TRUE(ResetFrameGlobals());
    g_app.options.print = 1;
    ASSERT_EQ(CreateMainWindow(), 0);
    dialogs_.print = c.print;
    printer_.failStep = c.failStep;
    printer_.failAt = 1;
    printer_.pages.clear();
    for (int &calls : printer_.calls) calls = 0;
    ScriptedAnswerer answers;
    if (c.exitCode == 48) answers.Expect("Could not print the document!", kAskWarning, kAnswerOk);
    ASSERT_TRUE(PumpUntil([] { return !g_app.mainWindow; }, 5000));
    EXPECT_EQ(g_app.exitCode, c.exitCode);
    EXPECT_EQ(printer_.pages.size(), c.print ? 1u : 0u);
  }
}

}  // namespace
