// The editor window (class "QilEdiA"): the child of the main window that shows
// and edits the document.
//
// The class is made from the system "edit" class: its description, with the
// edit procedure kept as the base procedure for every message the editor does
// not handle, the style bits 0x408B cleared (so no CS_DBLCLKS: the editor
// counts multi-clicks itself) and its own procedure and name.
//
// The window's state is one EditorWindow record, made at WM_CREATE, attached
// as the window property "QLPED1" and freed at WM_DESTROY. It owns the
// Document; the view fields (fonts, metrics, geometry, scrolling, caret) are
// its own.
#pragma once

#include <windows.h>

#include "document/document.h"
#include "editor/editor_messages.h"

// The system's wheel and double-click metrics, read when the main window is
// created and again when the system's settings or colours change.
struct InputMetrics {
  int wheelLines, wheelChars;
  int doubleClickWidth, doubleClickHeight;
  u32 doubleClickTime;
  bool read;
};
extern InputMetrics g_inputMetrics;
void ReadInputMetrics();

extern const char kEditorClassName[];
extern const char kEditorProperty[];

struct EditorWindow {
  Document *doc;
  HWND hwnd;
  int controlId;
  short x, y;  // position in the parent, from WM_MOVE

  // Fonts and the metrics of the text font.
  HFONT textFont;
  HFONT auxFont;
  int lineHeight;        // character height plus external leading
  int externalLeading;
  int internalLeading;
  int charWidth;         // average character width plus one: the caret and column unit
  int maxCharWidth;
  int digitWidth;        // the widest of "0" to "9" as drawn
  int averageWidth;      // average character width (tab stops)
  bool variablePitch;
  bool batchRuns;        // the font draws a string as its characters one by one at their advances
  int glyphWidth[256];   // the advance of each character in the text font
  u32 fontGeneration;    // counts the measurements of fonts

  // A double-byte ANSI code page (known at creation): a lead byte and the
  // byte after it are one character with one glyph, unless that byte is a CR
  // or an LF or the text ends (then the lead byte stands alone). Layout,
  // hit-testing and painting never cut such a pair. With a single-byte code
  // page every table below stays empty and the per-byte widths are exact.
  bool doubleByte;
  u8 leadByte[256];      // 1 for the lead bytes of the ANSI code page
  // The width of each pair in the text font, one row of 256 trail bytes per
  // lead byte, measured as the drawer measures (GetTextExtentPoint32A) when
  // the lead byte is first met; null until then. Forgotten with the font.
  i16 *pairWidth[256];

  // Geometry (pixels unless stated).
  int clientWidth, clientHeight;
  int gutterWidth;
  int leftMargin;
  int textWidth;
  int visibleColumns, visibleRows;
  int decorationUnits;   // in maximum character widths
  int wrapWidth;
  int wrapMargin;        // 0x7FFFFFFF: none

  // What the whole text was last laid out with. A re-wrap of the whole text
  // with the same parameters would give the same rows (edits re-lay out the
  // lines they touch with the parameters in force), so it is skipped.
  struct LayoutKey {
    bool valid;
    u32 wordWrap;
    int wrapWidth, wrapMargin, tabPixels;
    u32 fontGeneration;
  } laidOut;
  u32 wholeLayouts;      // counts the layouts of the whole text
  int maxAdvance;        // the widest character of the text font

  // Scrolling and the caret.
  u32 topLine, lastTopLine;
  int hScroll, lastHScroll;  // in columns
  int hScrollPixels;
  int caretX, caretY;
  bool hasFocus, caretCreated, caretShown;
  int widestRow;
  int wheelAccumulator, hWheelAccumulator;
  SCROLLINFO lastVertical, lastHorizontal;

  int toolNesting;     // raised while EDM_RUNLASTTOOL is served
  const char *toolText;
  u32 toolFlags;

  // The selection highlighter's text.
  char *occurrenceText;
  u32 occurrenceLength;
  bool occurrenceMatchCase;

  // The mouse (editor_mouse): the mode, the button that began it, the
  // click counters of the left and right buttons, the unit count and the
  // fixed span of the selection being made, the drop position of a text
  // drag.
  int mouseMode;
  int mouseButton;
  struct ClickCount {
    u32 count, time;
    int x, y;
  } clicks[2];
  u32 mouseUnits;
  u32 fixedFrom, fixedTo;
  PositionRecord drop;

  u32 lastPaintStatus;  // tick of the last status repaint of a slow paint
  CaretRecord caretInfo;  // what the last caret notification carried

  // Set only in the view of a print job's pages (editor_pages): the
  // printer's device context, with the print font selected, that measures
  // instead of the window's; its rows have no wrap margin.
  HDC measureDc;
};

// Registers the class; false when "edit" cannot be described.
bool RegisterEditorClass(HINSTANCE instance);

// The record of an editor window, or null.
EditorWindow *EditorOf(HWND hwnd);

// Sends the parent a WM_COMMAND notification (code in the high word).
void NotifyParent(EditorWindow *ed, WORD code);
// Sends the parent a private notification.
LRESULT NotifyParentPrivate(EditorWindow *ed, UINT message, LPARAM lParam);
// Progress of a long operation (0xB002).
void SendProgress(EditorWindow *ed, u64 done, u64 total);
// Sets the selection (positions clamped) and repaints what changed; the
// caret and the status facts follow.
void SelectAndShow(EditorWindow *ed, u32 anchor, u32 caret, UINT caretFlags);
// After the anchor or caret records were changed in place: repaints the old
// selection rows and the new ones, then the caret and the status facts.
void ShowSelectionChange(EditorWindow *ed, u32 oldStartRow, u32 oldEndRow, UINT caretFlags);
// Replaces the selection with bytes (edit flags added to the byte-source
// flag); the caret and the status facts follow. The edit's result.
int ReplaceAndShow(EditorWindow *ed, const char *bytes, u32 length, u32 flags);
// A position between the CR and the LF of one newline moves back before the CR.
u32 PositionOffNewlineMiddle(const Document *doc, u32 p);

// The status-bar facts that follow every caret or selection move: the caret
// record (0xB00A), the warning when an end of the selection lies between the
// CR and the LF of one newline (0xB00B), and the moved notification (0x401).
void NotifyCaret(EditorWindow *ed);
