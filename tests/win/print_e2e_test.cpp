// Real printing: the built quillpad.exe with /p on a printer of Wine's
// PostScript driver (its built-in generic PPD) whose port LPT1: is sent to a
// file, the test pressing the buttons of the system's Print dialog; then the
// PostScript read back: title, pages, rows and their texts by glyph names.
// Without a printer, and when cancelled, nothing is printed and /p exits 32.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/print_job.h"
#include "tests/support/test_files.h"
#include "tests/win/gui_helpers.h"
#include "tests/win/wine_printer.h"

namespace {

const char kPrinter[] = "Quillpad Test Printer";
const DWORD kWait = 20000;

// Adds the printer, spooled to `output`, as the default printer.
bool AddTestPrinter(const std::string &output) {
  return AddWinePostScriptPrinter(kPrinter, "quillpad-test.ppd", WineUnixPath(output)) &&
         SetDefaultPrinterA(kPrinter) != FALSE;
}

// The buttons of the program's dialogs: the Print dialog's (Selection when
// `selection`, then Print when `ok`, else Cancel), and OK for any message box.
// Returns the exit code of the program.
DWORD Drive(Program &p, bool ok, bool selection, std::vector<std::string> *boxes) {
  DWORD start = GetTickCount();
  bool pressed = false;
  while (GetTickCount() - start < kWait) {
    DWORD code = p.WaitExit(50);
    if (code != STILL_ACTIVE) return code;
    HWND dialog = FindProcessWindow(p.pid(), "#32770");
    if (!dialog) continue;
    if (GetDlgItem(dialog, 0x421) && GetDlgItem(dialog, IDOK) && !pressed) {  // the Print dialog
      pressed = true;
      if (selection) SendMessageA(GetDlgItem(dialog, 0x421), BM_CLICK, 0, 0);
      PostMessageA(dialog, WM_COMMAND, ok ? IDOK : IDCANCEL, 0);
    } else if (!GetDlgItem(dialog, 0x421) && GetDlgItem(dialog, 0xFFFF)) {  // a message box
      boxes->push_back(MessageBoxText(dialog));
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
      Sleep(200);
    }
  }
  return STILL_ACTIVE;
}

// The PostScript's pages: the runs of glyphs drawn from each moveto.
struct Page {
  std::vector<std::pair<int, int>> at;  // x, y (device pixels from the top left of the printable area)
  std::vector<std::string> text;
};
std::vector<Page> ReadPages(const std::string &ps, std::string *title, int *pagesAtEnd) {
  static const std::map<std::string, char> kNames = {
      {"zero", '0'}, {"one", '1'}, {"two", '2'},   {"three", '3'}, {"four", '4'},  {"five", '5'},
      {"six", '6'},  {"seven", '7'}, {"eight", '8'}, {"nine", '9'}, {"hyphen", '-'}, {"period", '.'},
      {"space", ' '}};
  std::vector<Page> pages;
  std::istringstream in(ps);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("%%Title: ", 0) == 0) *title = line.substr(9);
    if (line.rfind("%%Pages: ", 0) == 0 && line.find("atend") == std::string::npos) *pagesAtEnd = atoi(line.c_str() + 9);
    if (line.rfind("%%Page: ", 0) == 0) pages.emplace_back();
    int x, y;
    char tail[16];
    if (!pages.empty() && sscanf(line.c_str(), "%d %d %15s", &x, &y, tail) == 3 && std::string(tail) == "moveto") {
      pages.back().at.push_back({x, y});
      pages.back().text.emplace_back();
    }
    const size_t show = line.find(" glyphshow");
    if (!pages.empty() && line[0] == '/' && show != std::string::npos && !pages.back().text.empty()) {
      const std::string name = line.substr(1, show - 1);
      auto it = kNames.find(name);
      pages.back().text.back() += name.size() == 1 ? name[0] : it != kNames.end() ? it->second : '?';
    }
  }
  return pages;
}

class RealPrinting : public testing::Test {
 protected:
  void SetUp() override {
    out_ = folder_.File("out.ps");
    file_ = folder_.File("print-e2e.txt");
    for (int i = 1; i <= 150; i++) text_ += "Line " + std::to_string(i) + " of the printed text\r\n";
    ASSERT_TRUE(WriteBytes(file_, text_));
  }
  void TearDown() override { DeleteNamedPrinter(kPrinter); }
  DWORD Run(const std::string &options, bool ok, bool selection) {
    DeleteFileA(out_.c_str());
    boxes_.clear();
    Program p("\"" + ExeDir() + "quillpad.exe\" /nl /ns " + options + " \"" + file_ + "\"");
    EXPECT_TRUE(p.started());
    return Drive(p, ok, selection, &boxes_);
  }
  TempFolder folder_;
  std::string out_, file_, text_;
  std::vector<std::string> boxes_;
};

std::string Blanked(const std::string &s) {
  std::string out;
  for (char c : s)
    if (c != ' ' && c != '\r' && c != '\n') out += c;
  return out;
}

// /p prints the file on the PostScript printer: its name as the title, the
// rows of each page one row height apart from the top margin, every page but
// the last full, the glyphs of all rows joined the file's text; nothing else.
// Cancel prints nothing; without a printer, /p exits 32.
TEST_F(RealPrinting, SlashPPrintsTheFileOnAPostScriptPrinter) {
  DeleteNamedPrinter(kPrinter);
  // Without a printer (only where Wine found none of the host's: the test
  // never prints on a real one).
  DWORD needed = 0, printers = 0;
  EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &needed, &printers);
  if (needed == 0) {
    EXPECT_EQ(Run("/p", true, false), 32u);
  }
  ASSERT_TRUE(AddTestPrinter(out_));

  // The device as the job sees it: the frame and the rows of a page.
  HDC dc = CreateDCA(nullptr, kPrinter, nullptr, nullptr);
  ASSERT_NE(dc, nullptr);
  PrintDevice device = {GetDeviceCaps(dc, LOGPIXELSX),      GetDeviceCaps(dc, LOGPIXELSY),
                        GetDeviceCaps(dc, PHYSICALWIDTH),   GetDeviceCaps(dc, PHYSICALHEIGHT),
                        GetDeviceCaps(dc, PHYSICALOFFSETX), GetDeviceCaps(dc, PHYSICALOFFSETY),
                        GetDeviceCaps(dc, HORZRES),         GetDeviceCaps(dc, VERTRES)};
  PageFrame frame;
  ASSERT_TRUE(ComputePageFrame(device, 2500, 2500, 2500, 2500, &frame));
  HFONT font = CreateFontA(-PrintFontPixels(10, device.dpiY), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "");
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA tm;
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
  const int rowHeight = tm.tmHeight + tm.tmExternalLeading;
  const int perPage = frame.height / rowHeight;
  ASSERT_GT(perPage, 10);

  ASSERT_EQ(Run("/p", true, false), 0u);
  EXPECT_TRUE(boxes_.empty()) << boxes_[0];
  std::string title;
  int pagesAtEnd = 0;
  const std::vector<Page> pages = ReadPages(ReadBytes(out_), &title, &pagesAtEnd);
  const int want = (150 + 1 + perPage - 1) / perPage;  // the empty row after the last newline
  EXPECT_EQ(title, "print-e2e.txt");
  EXPECT_EQ(pagesAtEnd, want);
  ASSERT_EQ(static_cast<int>(pages.size()), want);
  std::string all;
  int line = 0;
  for (const Page &page : pages) {
    ASSERT_FALSE(page.at.empty());
    const int firstY = page.at[0].second;
    std::string row;
    int rowY = firstY, rows = 1;
    for (size_t k = 0; k < page.at.size(); k++) {
      all += page.text[k];
      if (page.at[k].second != rowY) {
        EXPECT_EQ(page.at[k].second - rowY, rowHeight) << "rows one row height apart";
        rowY = page.at[k].second;
        rows++;
      }
      // Each row starts at the left margin with its "Line".
      if (page.text[k].rfind("Line", 0) == 0) {
        EXPECT_EQ(page.at[k].first, frame.left) << "row " << line++;
      }
    }
    EXPECT_EQ(firstY - frame.top, tm.tmAscent) << "the first row at the top margin";
    if (&page != &pages.back()) {
      EXPECT_EQ(rows, perPage);
    }
  }
  EXPECT_EQ(Blanked(all), Blanked(text_));

  // The selection: Wine's PrintDlgExA hands back the flags it was given, so
  // that the Selection button never reaches the program (checked in process
  // through the dialog hook instead). A selection made by /s leaves a /p of
  // the whole file as it was.
  ASSERT_EQ(Run("/s 8,48 /p", true, false), 0u);
  std::string again;
  for (const Page &page : ReadPages(ReadBytes(out_), &title, &pagesAtEnd))
    for (const std::string &t : page.text) again += t;
  EXPECT_EQ(Blanked(again), Blanked(text_));

  // Cancel: nothing is spooled.
  EXPECT_EQ(Run("/p", false, false), 32u);
  EXPECT_EQ(GetFileAttributesA(out_.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
