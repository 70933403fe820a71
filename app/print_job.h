// Printing: Page Setup (13611) and Print (13612, also run by /p).
//
// The printer and paper chosen in either dialog (its device-mode and
// device-names handles) are kept for the rest of the process and handed to
// the next dialog; they are never saved. Margins (PrnLeft, PrnTop, PrnRght,
// PrnBott, hundredths of a millimetre) count from the paper's edge; the part
// of them that the printer cannot print on anyway is taken off, and the text
// never leaves the printable area. Paper gets the text alone (editor_pages.h).
#pragma once

#include <windows.h>

#include "foundation/types.h"

// What a print job asks of the device. The product uses the printer's device
// context itself; tests put in a sink of their own (one metafile per page,
// say, with the caps of a printer of their choice), and fail any step.
struct PrintSink {
  int (*caps)(void *context, HDC dc, int index);  // GetDeviceCaps
  int (*startDoc)(void *context, HDC dc, const DOCINFOA *info);
  // The device context the page is drawn on (*page); > 0 on success.
  int (*startPage)(void *context, HDC dc, HDC *page);
  int (*endPage)(void *context, HDC dc, HDC page);
  int (*endDoc)(void *context, HDC dc);
  int (*abortDoc)(void *context, HDC dc);
  void *context;
};
// Installs a sink (null: the device itself); returns the old one.
const PrintSink *InstallPrintSink(const PrintSink *sink);

// The device's facts that place the text (pixels, from GetDeviceCaps).
struct PrintDevice {
  int dpiX, dpiY;                 // LOGPIXELSX, LOGPIXELSY
  int paperWidth, paperHeight;    // PHYSICALWIDTH, PHYSICALHEIGHT (0: the printable area)
  int offsetX, offsetY;           // PHYSICALOFFSETX, PHYSICALOFFSETY
  int printWidth, printHeight;    // HORZRES, VERTRES
};

// Where the text goes on a page, in the device context's coordinates (whose
// origin is the printable area's corner).
struct PageFrame {
  int left, top;       // the first row's top left corner
  int width, height;   // the printable width and the usable height
};

// A margin (hundredths of a millimetre; below 0 counts as 0) in pixels at
// dpi, rounded to the nearest.
i64 MarginPixels(i32 margin, int dpi);
// The frame of the margins on the device; false when no room is left.
bool ComputePageFrame(const PrintDevice &device, i32 left, i32 top, i32 right, i32 bottom, PageFrame *frame);
// The print font's height in pixels for LFP_'s size in points (10 when the
// size is 0 or less), rounded to the nearest; capped so that it stays a
// usable LOGFONT height.
int PrintFontPixels(i32 points, int dpiY);

// Page Setup: 0 when the margins and the printer were taken, 32 when
// cancelled.
int CommandPageSetup(HWND owner);
// Print: 0 printed, 32 cancelled at any point (or no printer), 48 when
// "Could not print the document!" has been shown, -1 out of memory.
int PrintJob(HWND owner, HWND editor, const char *documentName);
// Whether a print job is under way (its pages read the document's text,
// which nothing may change meanwhile).
bool PrintJobRunning();
// Forgets the kept printer choice (the end of the process, and tests).
void ForgetPrinterChoice();
// The kept device-mode and device-names handles (null until a dialog gave
// them).
void KeptPrinterChoice(HGLOBAL *devMode, HGLOBAL *devNames);
